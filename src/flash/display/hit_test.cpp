#include "flash/display/hit_test.h"

#include <QTransform>
#include <optional>
#include <vector>

#include "flash/character/text.h"
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

bool Hit(const DisplayObject& object, QPointF stage, bool children, const Reach* parentReach, int nesting,
         bool evenHidden = false);

// The children of a clip, topmost last: a child under a mask layer (a child placed with a
// clip depth) is hit only where the layer is too.
bool ChildrenHit(const MovieClip& clip, QPointF stage, const Reach* own, int nesting) {
  struct Layer {
    const DisplayObject* mask;
    std::int32_t upTo;
  };
  std::vector<Layer> layers;
  for (const auto& [depth, child] : clip.Children()) {
    std::erase_if(layers, [depth](const Layer& layer) { return depth > layer.upTo; });
    if (child->clipDepth != 0) {
      layers.push_back({child, child->clipDepth});
      continue;
    }
    if (!Hit(*child, stage, true, own, nesting + 1)) continue;
    bool shows = true;
    for (const Layer& layer : layers) shows = shows && Hit(*layer.mask, stage, true, nullptr, nesting + 1);
    if (shows) return true;
  }
  return false;
}

bool Hit(const DisplayObject& object, QPointF stage, bool children, const Reach* parentReach, int nesting,
         bool evenHidden) {
  if ((!object.visible && !evenHidden) || nesting > MovieClip::kMaxNesting) return false;
  std::optional<Reach> own;
  if (const std::optional<GridSlicing> slicing = GridSlicing::Of(object)) own = Reach{&object, *slicing};
  // A parent's grid reaches its shapes (timeline shapes and scripts' Shapes) only.
  const bool shapeLike = !object.IsContainer() ? object.Kind() == DisplayKind::Shape : object.scriptShape;
  const Reach* reach = own ? &*own : (parentReach && shapeLike && object.Parent() == parentReach->owner ? parentReach : nullptr);
  QPointF local;
  if (object.IsContainer()) {
    const auto& clip = static_cast<const MovieClip&>(object);
    if (clip.drawing && LocalPoint(object, stage, reach, local) && clip.drawing->HitTest(local)) return true;
    return children && ChildrenHit(clip, stage, own ? &*own : nullptr, nesting);
  }
  const Drawable* drawn = object.Drawn();
  // Text drawn the advanced way is hit anywhere in its box as the stage sees it: the
  // upright box around the turned text, wider than its own box.
  if (drawn && drawn->Kind() == CharacterKind::Text && static_cast<const StaticText*>(drawn)->advancedRendering)
    return ObjectToStage(object).mapRect(drawn->Bounds(object.ratio)).contains(stage);
  return drawn && LocalPoint(object, stage, object.Kind() == DisplayKind::Shape ? reach : nullptr, local) &&
         drawn->HitTest(local, object.ratio);
}

}  // namespace

bool ShapeHit(const DisplayObject& object, QPointF stage, const ShapeHitRules& rules) {
  const DisplayObject* mask = object.maskClip;
  if (rules.ownMaskCounts && mask && mask->maskedBy == &object && !ShapeHit(*mask, stage, ShapeHitRules{true, true, false}))
    return false;
  return Hit(object, stage, rules.children, nullptr, 0, rules.hiddenObjectCounts);
}

bool ShapeHit(const DisplayObject& object, QPointF stage, bool children) {
  return ShapeHit(object, stage, ShapeHitRules{children, false, false});
}

}  // namespace vantrel::flash
