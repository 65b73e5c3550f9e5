#include "flash/display/hit_test.h"

#include <QTransform>
#include <optional>

#include "flash/display/movie_clip.h"
#include "flash/display/player.h"
#include "flash/display/scale_grid.h"

namespace vantrel::flash {

namespace {

QTransform ToQt(const Matrix& m) { return QTransform(m.a, m.b, m.c, m.d, m.tx, m.ty); }

// The grid a clip slices its shapes by, with the clip.
struct Reach {
  const DisplayObject* owner = nullptr;
  GridSlicing slicing;
};

// The point in object's own space that shows at the stage point: through the grid when one
// reaches the object, straight otherwise. False when a transform cannot be undone.
bool LocalPoint(const DisplayObject& object, QPointF stage, const Reach* reach, QPointF& local) {
  bool invertible = false;
  if (!reach) {
    local = ObjectToStage(object).inverted(&invertible).map(stage);
    return invertible;
  }
  const QTransform toOwner = ObjectToStage(*reach->owner).inverted(&invertible);
  if (!invertible) return false;
  const QPointF inOwner = reach->slicing.Unmap(reach->slicing.Scale().map(toOwner.map(stage)));
  QTransform ownerFromObject;
  for (const DisplayObject* at = &object; at && at != reach->owner; at = at->Parent())
    ownerFromObject = ownerFromObject * ToQt(at->GetMatrix());
  local = ownerFromObject.inverted(&invertible).map(inOwner);
  return invertible;
}

bool Hit(const DisplayObject& object, QPointF stage, bool children, const Reach* parentReach, int nesting) {
  if (!object.visible || nesting > MovieClip::kMaxNesting) return false;
  std::optional<Reach> own;
  if (const std::optional<GridSlicing> slicing = GridSlicing::Of(object)) own = Reach{&object, *slicing};
  // A parent's grid reaches its shapes (timeline shapes and scripts' Shapes) only.
  const bool shapeLike = !object.IsContainer() ? object.Kind() == DisplayKind::Shape : object.scriptShape;
  const Reach* reach = own ? &*own : (parentReach && shapeLike && object.Parent() == parentReach->owner ? parentReach : nullptr);
  QPointF local;
  if (object.IsContainer()) {
    const auto& clip = static_cast<const MovieClip&>(object);
    if (clip.drawing && LocalPoint(object, stage, reach, local) && clip.drawing->HitTest(local)) return true;
    if (!children) return false;
    for (const auto& [depth, child] : clip.Children())
      if (child->clipDepth == 0 && Hit(*child, stage, true, own ? &*own : nullptr, nesting + 1)) return true;
    return false;
  }
  const Drawable* drawn = object.Drawn();
  return drawn && LocalPoint(object, stage, object.Kind() == DisplayKind::Shape ? reach : nullptr, local) &&
         drawn->HitTest(local, object.ratio);
}

}  // namespace

bool ShapeHit(const DisplayObject& object, QPointF stage, bool children) {
  return Hit(object, stage, children, nullptr, 0);
}

}  // namespace vantrel::flash
