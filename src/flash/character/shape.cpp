#include "flash/character/shape.h"

namespace vantrel::flash {

QRectF ToQRectF(const Rect& r) { return QRectF(r.xMin, r.yMin, r.Width(), r.Height()); }

const ShapeGeometry& Shape::Geometry() const {
  render::BuildOnce(this, built_, [&] { geometry_ = BuildGeometry(data); });
  return geometry_;
}

void Shape::Render(const RenderContext& context) const { DrawGeometry(context, Geometry()); }

namespace {

void MapPath(QPainterPath& path, const std::function<QPointF(QPointF)>& map) {
  for (int i = 0; i < path.elementCount(); ++i) {
    const QPainterPath::Element e = path.elementAt(i);
    const QPointF p = map(QPointF(e.x, e.y));
    path.setElementPositionAt(i, p.x(), p.y());
  }
}

}  // namespace

ShapeGeometry MapGeometry(const ShapeGeometry& geometry, const std::function<QPointF(QPointF)>& map,
                          const Matrix& fillSpace) {
  ShapeGeometry out;
  out.nonZero = geometry.nonZero;
  out.styleSets = geometry.styleSets;
  for (StyleSet& set : out.styleSets) {
    for (FillStyle& fill : set.fills) fill.matrix = fillSpace * fill.matrix;
    for (LineStyle& line : set.lines)
      if (line.hasFill) line.fill.matrix = fillSpace * line.fill.matrix;
  }
  out.layers = geometry.layers;
  for (ShapeLayer& layer : out.layers) {
    for (ShapeEdge& edge : layer.edges) {
      edge.from = map(edge.from);
      edge.control = map(edge.control);
      edge.to = map(edge.to);
    }
    for (FillPath& fill : layer.fills) MapPath(fill.path, map);
    for (StrokePath& stroke : layer.strokes) MapPath(stroke.path, map);
  }
  return out;
}

QRectF Shape::Bounds(std::uint16_t) const { return ToQRectF(bounds); }

bool Shape::HitTest(QPointF point, std::uint16_t) const {
  if (!Bounds().contains(point)) return false;
  return GeometryContains(Geometry(), point);
}

QPainterPath Shape::Outline(std::uint16_t) const {
  render::BuildOnce(this, outlineBuilt_, [&] { outline_ = FilledArea(Geometry()); });
  return outline_;
}

std::shared_ptr<Shape> ParseShape(std::span<const std::uint8_t> body, int shapeVersion,
                                  const DefinitionContext& context, std::string* error) {
  SwfStream in(body);
  auto shape = std::make_shared<Shape>();
  shape->id = in.U16();
  shape->bounds = in.ReadRect();
  if (shapeVersion >= 4) {
    shape->edgeBounds = in.ReadRect();
    const std::uint8_t flags = in.U8();
    shape->data.nonZeroWinding = (flags & 0x04) != 0;
  }
  StyleSet styles;
  if (!ReadFillStyles(in, shapeVersion, context, &styles.fills) ||
      !ReadLineStyles(in, shapeVersion, context, &styles.lines)) {
    if (error) *error = "bad style arrays in shape " + std::to_string(shape->id);
    return nullptr;
  }
  shape->data.styleSets.push_back(std::move(styles));
  // A shape whose records stop early still draws what it has, as the player does.
  ReadShapeRecords(in, shapeVersion, true, context, &shape->data);
  return shape;
}

}  // namespace vantrel::flash
