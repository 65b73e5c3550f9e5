// Morph shapes (DefineMorphShape 1-2): a start and an end shape with matching edges,
// drawn at a ratio between them.
#pragma once

#include <map>

#include "flash/character/shape.h"

namespace vantrel::flash {

struct MorphFillStyle {
  FillStyle start, end;
};

struct MorphLineStyle {
  LineStyle start, end;
};

class MorphShape : public Drawable {
 public:
  CharacterKind Kind() const override { return CharacterKind::MorphShape; }
  void Render(const RenderContext& context) const override;
  QRectF Bounds(std::uint16_t ratio = 0) const override;
  bool HitTest(QPointF point, std::uint16_t ratio = 0) const override;
  QPainterPath Outline(std::uint16_t ratio = 0) const override;

  // The shape at a ratio (0 = start, 65535 = end), built on first use and kept (a few
  // ratios at a time; the holder keeps its geometry alive when older ones are dropped).
  std::shared_ptr<const ShapeGeometry> GeometryAt(std::uint16_t ratio) const;
  // The shape records and styles at a ratio, before assembly.
  ShapeData DataAt(std::uint16_t ratio) const;

  Rect startBounds, endBounds;
  std::vector<MorphFillStyle> fills;
  std::vector<MorphLineStyle> lines;
  std::vector<PathOp> startOps, endOps;

 private:
  mutable std::map<std::uint16_t, std::shared_ptr<const ShapeGeometry>> cache_;  // under BuildLock(this)
};

// Parses DefineMorphShape (46) or DefineMorphShape2 (84). Returns nullptr on malformed data.
std::shared_ptr<MorphShape> ParseMorphShape(std::uint16_t tagCode, std::span<const std::uint8_t> body,
                                            const DefinitionContext& context, std::string* error);

}  // namespace vantrel::flash
