#include "flash/character/style.h"

#include <algorithm>
#include <cmath>

#include "flash/character/bitmap.h"
#include "flash/raster/lanes.h"

namespace vantrel::flash {

QColor TransformColor(const Rgba& c, const ColorTransform& t) {
  if (t.IsIdentity()) return QColor(c.r, c.g, c.b, c.a);
  return QColor(ChannelByte(c.r * t.mulR + t.addR), ChannelByte(c.g * t.mulG + t.addG),
                ChannelByte(c.b * t.mulB + t.addB), ChannelByte(c.a * t.mulA + t.addA));
}

QTransform ToQTransform(const Matrix& m) { return QTransform(m.a, m.b, m.c, m.d, m.tx, m.ty); }

bool IsAlphaOnly(const ColorTransform& t) {
  return t.mulR == 1 && t.mulG == 1 && t.mulB == 1 && t.addR == 0 && t.addG == 0 && t.addB == 0 && t.addA == 0 &&
         t.mulA >= 0 && t.mulA <= 1;
}

namespace {

QBrush BuildBrush(const FillStyle& fill, const ColorTransform& transform) {
  if (fill.IsGradient()) return MakeGradientBrush(fill, transform);
  if (fill.IsBitmap()) {
    if (!fill.bitmap || fill.bitmap->image.isNull()) return QBrush(Qt::NoBrush);
    QBrush brush(fill.bitmap->Transformed(transform));
    brush.setTransform(ToQTransform(fill.matrix));
    return brush;
  }
  return QBrush(TransformColor(fill.color, transform));
}

}  // namespace

QBrush MakeBrush(const FillStyle& fill, const ColorTransform& transform) {
  if (!transform.IsIdentity()) return BuildBrush(fill, transform);
  const std::lock_guard lock(render::BuildLock(&fill));
  if (!fill.plainBrush) fill.plainBrush = std::make_shared<const QBrush>(BuildBrush(fill, transform));
  return *fill.plainBrush;
}

}  // namespace vantrel::flash
