// Shapes: the edge records of DefineShape 1-4 (and of glyphs and morph shapes), their
// assembly into closed fill areas and stroked lines, and the Shape character.
#pragma once

#include <QPainterPath>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "flash/character/style.h"
#include "flash/raster/lanes.h"
#include "flash/raster/drawable.h"
#include "flash/swf/stream.h"
#include "flash/character/definition.h"

namespace vantrel::flash {

// One shape record with absolute coordinates (twips): a style change (with optional
// move, new fill/line styles or a new style set) or an edge ending at (x, y).
struct PathOp {
  enum class Kind : std::uint8_t { Style, Line, Curve };
  Kind kind = Kind::Style;
  bool move = false;
  bool setFill0 = false, setFill1 = false, setLine = false;
  bool newStyles = false;
  std::uint32_t fill0 = 0, fill1 = 0, line = 0;  // 1-based in the current style set, 0 = none
  std::uint32_t styleSet = 0;                     // the set selected by newStyles
  double x = 0, y = 0;                            // anchor (or move target)
  double cx = 0, cy = 0;                          // control point of curves
};

struct ShapeData {
  std::vector<StyleSet> styleSets;  // [0] = the shape's own arrays
  std::vector<PathOp> ops;
  bool nonZeroWinding = false;
};

struct FillPath {
  std::uint32_t style = 0;  // 1-based into the layer's style set
  QPainterPath path;        // closed contours, twips
};

struct StrokePath {
  std::uint32_t style = 0;
  QPainterPath path;
};

// One edge of a layer with the fills on its left (fill0) and right (fill1), twips;
// fills are 1-based in the layer's style set, 0 = none.
struct ShapeEdge {
  QPointF from, control, to;
  bool curve = false;
  std::uint32_t fill0 = 0, fill1 = 0;
};

// Fills and lines of one style set; layers draw in order, fills before lines.
struct ShapeLayer {
  std::uint32_t styleSet = 0;
  std::vector<ShapeEdge> edges;  // every filled edge, for drawing all fills in one pass
  std::vector<FillPath> fills;
  std::vector<StrokePath> strokes;
};

// What drawing a geometry keeps between frames (its edges cut for the transforms it was
// last drawn with, and its paints), once per drawing lane; kept in shape_paths.cpp. A
// copy starts empty.
struct ShapeDrawState;
struct ShapeDrawCache {
  render::PerLane<std::shared_ptr<ShapeDrawState>> state;
};

struct ShapeGeometry {
  std::vector<StyleSet> styleSets;
  std::vector<ShapeLayer> layers;
  bool nonZero = false;  // the shape's fill rule (DefineShape4 may ask for non-zero)
  ShapeDrawCache drawCache;
};

// Reads a FILLSTYLEARRAY / LINESTYLEARRAY of a DefineShape of the given version (1-4).
// Bitmap fills are resolved through the dictionary. Returns false on overrun.
bool ReadFillStyles(SwfStream& in, int shapeVersion, const DefinitionContext& context, std::vector<FillStyle>* out);
bool ReadLineStyles(SwfStream& in, int shapeVersion, const DefinitionContext& context, std::vector<LineStyle>* out);
bool ReadFillStyle(SwfStream& in, int shapeVersion, const DefinitionContext& context, FillStyle* out);

// Reads SHAPE records (after the fill/line bit counts) into data->ops. With styles
// (shapeVersion >= 2 and allowNewStyles), NewStyles records append to data->styleSets.
// Stops at the end record or at the end of data; returns false when the data ran out
// before an end record. Never reads more than a bounded number of records.
bool ReadShapeRecords(SwfStream& in, int shapeVersion, bool allowNewStyles, const DefinitionContext& context,
                      ShapeData* data);

// Assembles closed fill contours (edges with the fill on their left or right side
// joined end to end) and line paths per style, grouped by style set.
ShapeGeometry BuildGeometry(const ShapeData& data);

// Draws the geometry with the context's transform, colour transform and quality.
void DrawGeometry(const RenderContext& context, const ShapeGeometry& geometry);

// The geometry with every point moved by map, and every gradient and bitmap fill (of
// fills and of lines) put through fillSpace after its own matrix: the nine-slice grid
// moves a shape's points but keeps its fills at one scale.
ShapeGeometry MapGeometry(const ShapeGeometry& geometry, const std::function<QPointF(QPointF)>& map,
                          const Matrix& fillSpace);

// The union of the filled areas in twips (for hit tests and clip layers).
QPainterPath FilledArea(const ShapeGeometry& geometry);

// True when the point (twips) lies in a fill or on a line of the geometry.
bool GeometryContains(const ShapeGeometry& geometry, QPointF point);

class Shape : public Drawable {
 public:
  CharacterKind Kind() const override { return CharacterKind::Shape; }
  void Render(const RenderContext& context) const override;
  QRectF Bounds(std::uint16_t ratio = 0) const override;
  bool HitTest(QPointF point, std::uint16_t ratio = 0) const override;
  QPainterPath Outline(std::uint16_t ratio = 0) const override;

  // The assembled paths, built on first use.
  const ShapeGeometry& Geometry() const;
  // Forgets the assembled paths after data changed (shapes drawn by scripts).
  void Invalidate() {
    built_.Set(false);
    outlineBuilt_.Set(false);
    geometry_ = {};
    outline_ = {};
  }

  Rect bounds;
  Rect edgeBounds;  // DefineShape4 only
  ShapeData data;

 private:
  // Built by the first thread that needs them, then only read.
  mutable render::BuiltFlag built_;
  mutable ShapeGeometry geometry_;
  mutable render::BuiltFlag outlineBuilt_;
  mutable QPainterPath outline_;
};

// Parses DefineShape 1-4 (version 1..4). Returns nullptr on malformed data.
std::shared_ptr<Shape> ParseShape(std::span<const std::uint8_t> body, int shapeVersion,
                                  const DefinitionContext& context, std::string* error);

QRectF ToQRectF(const Rect& r);

}  // namespace vantrel::flash
