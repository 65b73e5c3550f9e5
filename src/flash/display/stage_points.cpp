#include "flash/display/stage_points.h"

#include <algorithm>
#include <cmath>

#include "flash/display/drawing.h"
#include "flash/display/movie_clip.h"

namespace vantrel::flash {
namespace {

double WholeTwips(double twips) { return std::round(twips); }

// A pixel point applied to m in twips, back in pixels on a whole twip.
QPointF Apply(const Matrix& m, QPointF pixels) {
  const double x = WholeTwips(pixels.x() * 20), y = WholeTwips(pixels.y() * 20);
  return {WholeTwips(m.a * x + m.c * y + m.tx) / 20.0, WholeTwips(m.b * x + m.d * y + m.ty) / 20.0};
}

QRectF MapRect(const Matrix& m, const QRectF& r) {
  const QPointF corners[4] = {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()};
  double left = 0, right = 0, top = 0, bottom = 0;
  for (int i = 0; i < 4; ++i) {
    const double x = m.a * corners[i].x() + m.c * corners[i].y() + m.tx;
    const double y = m.b * corners[i].x() + m.d * corners[i].y() + m.ty;
    left = i ? std::min(left, x) : x;
    right = i ? std::max(right, x) : x;
    top = i ? std::min(top, y) : y;
    bottom = i ? std::max(bottom, y) : y;
  }
  return QRectF(QPointF(WholeTwips(left), WholeTwips(top)), QPointF(WholeTwips(right), WholeTwips(bottom)));
}

void Unite(QRectF& bounds, const QRectF& more) {
  if (more.isNull()) return;
  bounds = bounds.isNull() ? more : bounds.united(more);
}

}  // namespace

Matrix JoinInTwips(const Matrix& outer, const Matrix& inner) {
  Matrix joined = outer * inner;
  joined.tx = WholeTwips(outer.a * inner.tx + outer.c * inner.ty) + WholeTwips(outer.tx);
  joined.ty = WholeTwips(outer.b * inner.tx + outer.d * inner.ty) + WholeTwips(outer.ty);
  return joined;
}

Matrix ObjectToStageInTwips(const DisplayObject& object) {
  Matrix m = object.GetMatrix();
  m.tx = WholeTwips(m.tx);
  m.ty = WholeTwips(m.ty);
  int guard = 0;
  for (const DisplayObject* at = object.Parent(); at && guard < 1000; at = at->Parent(), ++guard) {
    m = JoinInTwips(at->GetMatrix(), m);
  }
  return m;
}

std::optional<Matrix> InvertInTwips(const Matrix& m) {
  const double det = m.a * m.d - m.b * m.c;
  if (det == 0 || !std::isfinite(det)) return std::nullopt;
  Matrix inv;
  inv.a = m.d / det;
  inv.b = -m.b / det;
  inv.c = -m.c / det;
  inv.d = m.a / det;
  inv.tx = WholeTwips(-(inv.a * m.tx + inv.c * m.ty));
  inv.ty = WholeTwips(-(inv.b * m.tx + inv.d * m.ty));
  return inv;
}

QPointF ObjectPointToStage(const DisplayObject& object, QPointF point) {
  return Apply(ObjectToStageInTwips(object), point);
}

std::optional<QPointF> StagePointToObject(const DisplayObject& object, QPointF point) {
  const std::optional<Matrix> inverse = InvertInTwips(ObjectToStageInTwips(object));
  if (!inverse) return std::nullopt;
  return Apply(*inverse, point);
}

QRectF BoundsThrough(const DisplayObject& object, const Matrix& toSpace) {
  const auto* clip = dynamic_cast<const MovieClip*>(&object);
  if (!clip) {
    const QRectF local = object.LocalBounds();
    return local.isNull() ? QRectF() : MapRect(toSpace, local);
  }
  QRectF bounds;
  if (clip->drawing) {
    const QRectF drawn = clip->drawing->Bounds(0);
    if (!drawn.isNull()) bounds = MapRect(toSpace, drawn);
  }
  for (const auto& [depth, child] : clip->Children()) Unite(bounds, BoundsThrough(*child, JoinInTwips(toSpace, child->GetMatrix())));
  return bounds;
}

QRectF BoundsInSpace(const DisplayObject& object, const DisplayObject* space) {
  // The object's own box is measured through the matrices below it; only that box, not
  // its content, is then carried into the other space.
  const QRectF own = BoundsThrough(object, Matrix());
  if (own.isNull() || space == &object) return own;
  Matrix toSpace = ObjectToStageInTwips(object);
  if (space) {
    // A space squashed to nothing has no way back from the stage: the stage stands in.
    const std::optional<Matrix> fromStage = InvertInTwips(ObjectToStageInTwips(*space));
    if (fromStage) toSpace = JoinInTwips(*fromStage, toSpace);
  }
  return MapRect(toSpace, own);
}

}  // namespace vantrel::flash
