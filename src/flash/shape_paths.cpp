// Fill assembly: every edge carries the fill on its left (fill0) and right (fill1)
// side. Edges of one fill, turned so the fill is always on the same side, join end to
// end into closed contours; lines are stroked in record order per line style.
#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

#include "flash/bitmap.h"
#include "flash/shape.h"

namespace vantrel::flash {
namespace {

struct Edge {
  QPointF from, control, to;
  bool curve = false;
  Edge Reversed() const { return {to, control, from, curve}; }
};

struct PointHash {
  std::size_t operator()(const QPointF& p) const {
    const std::hash<double> h;
    return h(p.x()) * 31 + h(p.y());
  }
};

void AddEdge(QPainterPath& path, const Edge& e) {
  if (e.curve) {
    path.quadTo(e.control, e.to);
  } else {
    path.lineTo(e.to);
  }
}

// Joins the edges of one fill into closed contours.
QPainterPath JoinContours(const std::vector<Edge>& edges, bool nonZero) {
  QPainterPath path;
  path.setFillRule(nonZero ? Qt::WindingFill : Qt::OddEvenFill);
  std::unordered_map<QPointF, std::vector<std::uint32_t>, PointHash> starts;
  starts.reserve(edges.size());
  for (std::uint32_t i = 0; i < edges.size(); ++i) starts[edges[i].from].push_back(i);
  std::vector<bool> used(edges.size(), false);
  const auto take = [&](const QPointF& at, std::size_t hint) -> std::int64_t {
    if (hint < edges.size() && !used[hint] && edges[hint].from == at) return static_cast<std::int64_t>(hint);
    const auto it = starts.find(at);
    if (it == starts.end()) return -1;
    auto& list = it->second;
    while (!list.empty() && used[list.back()]) list.pop_back();
    if (list.empty()) return -1;
    return list.back();
  };
  for (std::size_t first = 0; first < edges.size(); ++first) {
    if (used[first]) continue;
    used[first] = true;
    const QPointF start = edges[first].from;
    path.moveTo(start);
    AddEdge(path, edges[first]);
    QPointF at = edges[first].to;
    std::size_t last = first;
    // Each step uses up an edge, so the walk ends after at most edges.size() steps.
    while (at != start) {
      const std::int64_t next = take(at, last + 1);
      if (next < 0) break;
      used[static_cast<std::size_t>(next)] = true;
      AddEdge(path, edges[static_cast<std::size_t>(next)]);
      at = edges[static_cast<std::size_t>(next)].to;
      last = static_cast<std::size_t>(next);
    }
    path.closeSubpath();
  }
  return path;
}

// Strokes of one line style: a new subpath wherever the pen jumps; a subpath that comes
// back to its start is closed so its ends join.
struct LineBuilder {
  QPainterPath path;
  QPointF subpathStart, last;
  int edgesInSubpath = 0;

  void Finish() {
    if (edgesInSubpath > 1 && last == subpathStart) path.closeSubpath();
    edgesInSubpath = 0;
  }
  void Add(const Edge& e) {
    if (edgesInSubpath == 0 || e.from != last) {
      Finish();
      path.moveTo(e.from);
      subpathStart = e.from;
    }
    AddEdge(path, e);
    last = e.to;
    ++edgesInSubpath;
  }
};

struct LayerBuilder {
  std::map<std::uint32_t, std::vector<Edge>> fills;
  std::map<std::uint32_t, LineBuilder> lines;
};

void FlushLayer(LayerBuilder& builder, std::uint32_t styleSet, bool nonZero, ShapeGeometry& geometry) {
  if (builder.fills.empty() && builder.lines.empty()) return;
  ShapeLayer layer;
  layer.styleSet = styleSet;
  for (auto& [style, edges] : builder.fills) layer.fills.push_back({style, JoinContours(edges, nonZero)});
  for (auto& [style, line] : builder.lines) {
    line.Finish();
    layer.strokes.push_back({style, std::move(line.path)});
  }
  geometry.layers.push_back(std::move(layer));
  builder = LayerBuilder();
}

double DeviceScale(const QTransform& t) { return std::sqrt(std::abs(t.determinant())); }

QPen MakePen(const LineStyle& line, const ColorTransform& colors, const QTransform& toDevice) {
  QPen pen(line.hasFill ? MakeBrush(line.fill, colors) : QBrush(TransformColor(line.color, colors)), line.width);
  switch (line.startCap) {
    case CapStyle::None:
      pen.setCapStyle(Qt::FlatCap);
      break;
    case CapStyle::Square:
      pen.setCapStyle(Qt::SquareCap);
      break;
    case CapStyle::Round:
      pen.setCapStyle(Qt::RoundCap);
      break;
  }
  switch (line.join) {
    case JoinStyle::Bevel:
      pen.setJoinStyle(Qt::BevelJoin);
      break;
    case JoinStyle::Miter:
      pen.setJoinStyle(Qt::MiterJoin);
      pen.setMiterLimit(std::max(1.0, line.miterLimit));
      break;
    case JoinStyle::Round:
      pen.setJoinStyle(Qt::RoundJoin);
      break;
  }
  // Lines never get thinner than one pixel; lines that do not scale keep their width
  // in pixels.
  if (line.noHScale || line.noVScale) {
    // A line that keeps its width in one direction takes the scale of the other.
    const double xScale = std::hypot(toDevice.m11(), toDevice.m12());
    const double yScale = std::hypot(toDevice.m21(), toDevice.m22());
    double pixels = line.width / 20.0;
    if (!line.noHScale) pixels = line.width * xScale;
    if (!line.noVScale) pixels = line.width * yScale;
    pen.setCosmetic(true);
    pen.setWidthF(std::max(1.0, pixels));
  } else if (line.width * DeviceScale(toDevice) < 1.0) {
    pen.setCosmetic(true);
    pen.setWidthF(1.0);
  }
  return pen;
}

const FillStyle* FindFill(const ShapeGeometry& geometry, const ShapeLayer& layer, std::uint32_t style) {
  if (layer.styleSet >= geometry.styleSets.size()) return nullptr;
  const auto& fills = geometry.styleSets[layer.styleSet].fills;
  return style >= 1 && style <= fills.size() ? &fills[style - 1] : nullptr;
}

const LineStyle* FindLine(const ShapeGeometry& geometry, const ShapeLayer& layer, std::uint32_t style) {
  if (layer.styleSet >= geometry.styleSets.size()) return nullptr;
  const auto& lines = geometry.styleSets[layer.styleSet].lines;
  return style >= 1 && style <= lines.size() ? &lines[style - 1] : nullptr;
}

}  // namespace

ShapeGeometry BuildGeometry(const ShapeData& data) {
  ShapeGeometry geometry;
  geometry.styleSets = data.styleSets;
  if (geometry.styleSets.empty()) geometry.styleSets.emplace_back();
  const bool nonZero = data.nonZeroWinding;
  LayerBuilder builder;
  std::uint32_t styleSet = 0;
  std::uint32_t fill0 = 0, fill1 = 0, line = 0;
  QPointF at(0, 0);
  const auto validFill = [&](std::uint32_t i) { return i >= 1 && i <= geometry.styleSets[styleSet].fills.size(); };
  const auto validLine = [&](std::uint32_t i) { return i >= 1 && i <= geometry.styleSets[styleSet].lines.size(); };
  for (const PathOp& op : data.ops) {
    if (op.kind == PathOp::Kind::Style) {
      if (op.newStyles && op.styleSet < geometry.styleSets.size()) {
        FlushLayer(builder, styleSet, nonZero, geometry);
        styleSet = op.styleSet;
        fill0 = fill1 = line = 0;
      }
      if (op.setFill0) fill0 = op.fill0;
      if (op.setFill1) fill1 = op.fill1;
      if (op.setLine) line = op.line;
      if (op.move) at = QPointF(op.x, op.y);
      continue;
    }
    const Edge edge{at, QPointF(op.cx, op.cy), QPointF(op.x, op.y), op.kind == PathOp::Kind::Curve};
    at = edge.to;
    if (fill0 != fill1) {
      if (validFill(fill0)) builder.fills[fill0].push_back(edge.Reversed());
      if (validFill(fill1)) builder.fills[fill1].push_back(edge);
    }
    if (validLine(line)) builder.lines[line].Add(edge);
  }
  FlushLayer(builder, styleSet, nonZero, geometry);
  return geometry;
}

void DrawGeometry(const RenderContext& context, const ShapeGeometry& geometry) {
  QPainter* painter = context.painter;
  if (!painter) return;
  painter->save();
  painter->setTransform(context.transform);
  painter->setRenderHint(QPainter::Antialiasing, context.quality != Quality::Low);
  ColorTransform colors = context.colorTransform;
  if (IsAlphaOnly(colors) && colors.mulA != 1) {
    painter->setOpacity(painter->opacity() * colors.mulA);
    colors = ColorTransform();
  }
  for (const ShapeLayer& layer : geometry.layers) {
    for (const FillPath& fill : layer.fills) {
      const FillStyle* style = FindFill(geometry, layer, fill.style);
      if (!style) continue;
      if (style->IsBitmap()) {
        painter->setRenderHint(QPainter::SmoothPixmapTransform,
                               style->IsSmoothed() && context.quality == Quality::High);
        if (style->IsClipped() && style->bitmap && !style->bitmap->image.isNull()) {
          // Drawn as an image under the shape: smoothing then never wraps the far edge
          // of the bitmap into the near one, as a repeating texture would.
          painter->save();
          painter->setClipPath(fill.path, Qt::IntersectClip);
          painter->setTransform(ToQTransform(style->matrix) * context.transform);
          painter->drawImage(0, 0, style->bitmap->Transformed(colors));
          painter->restore();
          continue;
        }
      }
      painter->fillPath(fill.path, MakeBrush(*style, colors));
    }
    for (const StrokePath& stroke : layer.strokes) {
      const LineStyle* style = FindLine(geometry, layer, stroke.style);
      if (!style) continue;
      painter->strokePath(stroke.path, MakePen(*style, colors, context.transform));
    }
  }
  painter->restore();
}

QPainterPath FilledArea(const ShapeGeometry& geometry) {
  QPainterPath area;
  bool first = true;
  // Joining paths is costly; most masks have one fill and need none.
  for (const ShapeLayer& layer : geometry.layers) {
    for (const FillPath& fill : layer.fills) {
      if (first) {
        area = fill.path;
        first = false;
      } else {
        area = area.united(fill.path);
      }
    }
  }
  return area;
}

bool GeometryContains(const ShapeGeometry& geometry, QPointF point) {
  for (const ShapeLayer& layer : geometry.layers) {
    for (const FillPath& fill : layer.fills) {
      if (fill.path.controlPointRect().contains(point) && fill.path.contains(point)) return true;
    }
    for (const StrokePath& stroke : layer.strokes) {
      const LineStyle* style = FindLine(geometry, layer, stroke.style);
      if (!style) continue;
      const double width = std::max<double>(style->width, 20.0);
      if (!stroke.path.controlPointRect().adjusted(-width, -width, width, width).contains(point)) continue;
      QPainterPathStroker stroker;
      stroker.setWidth(width);
      if (stroker.createStroke(stroke.path).contains(point)) return true;
    }
  }
  return false;
}

}  // namespace vantrel::flash
