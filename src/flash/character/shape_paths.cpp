// Fill assembly: every edge carries the fill on its left (fill0) and right (fill1)
// side. Edges of one fill, turned so the fill is always on the same side, join end to
// end into closed contours; lines are stroked in record order per line style.
#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

#include "flash/character/bitmap.h"
#include "flash/character/fill_paint.h"
#include "flash/character/shape.h"
#include "flash/raster/rasterizer.h"
#include "flash/raster/target.h"

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

// Joins the edges of one fill into closed contours. A contour that does not come back
// to its start is closed by a straight edge, added to gaps (from, to).
QPainterPath JoinContours(const std::vector<Edge>& edges, bool nonZero, std::vector<std::pair<QPointF, QPointF>>* gaps) {
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
    if (at != start) gaps->emplace_back(at, start);
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
  std::vector<ShapeEdge> edges;
  std::map<std::uint32_t, std::vector<Edge>> fills;
  std::map<std::uint32_t, LineBuilder> lines;
};

void FlushLayer(LayerBuilder& builder, std::uint32_t styleSet, bool nonZero, ShapeGeometry& geometry) {
  if (builder.fills.empty() && builder.lines.empty()) return;
  ShapeLayer layer;
  layer.styleSet = styleSet;
  layer.edges = std::move(builder.edges);
  for (auto& [style, edges] : builder.fills) {
    std::vector<std::pair<QPointF, QPointF>> gaps;
    layer.fills.push_back({style, JoinContours(edges, nonZero, &gaps)});
    // The joined edges all have the fill on their right.
    for (const auto& [from, to] : gaps) layer.edges.push_back({from, from, to, false, 0, style});
  }
  for (auto& [style, line] : builder.lines) {
    line.Finish();
    layer.strokes.push_back({style, std::move(line.path)});
  }
  geometry.layers.push_back(std::move(layer));
  builder = LayerBuilder();
}

double DeviceScale(const QTransform& t) { return std::sqrt(std::abs(t.determinant())); }

const LineStyle* FindLine(const ShapeGeometry& geometry, const ShapeLayer& layer, std::uint32_t style) {
  if (layer.styleSet >= geometry.styleSets.size()) return nullptr;
  const auto& lines = geometry.styleSets[layer.styleSet].lines;
  return style >= 1 && style <= lines.size() ? &lines[style - 1] : nullptr;
}

// The miters of a line's corners: past limit times half its width from the corner
// (along the corner's bisector) the player cuts a miter off square to the bisector.
// Each subpath's corners, and its start when it comes back there; the wedges lie
// beyond the bevels of a bevelled stroke of the same path and complete it.
QPainterPath MiterWedges(const QPainterPath& path, double width, double limit) {
  QPainterPath wedges;
  const double half = width / 2;
  const double reach = std::max(1.0, limit) * half;
  const auto unit = [](QPointF d) {
    const double length = std::hypot(d.x(), d.y());
    return length > 1e-9 ? d / length : QPointF();
  };
  const auto dot = [](QPointF a, QPointF b) { return a.x() * b.x() + a.y() * b.y(); };
  const auto corner = [&](QPointF v, QPointF in, QPointF out) {
    const double cross = in.x() * out.y() - in.y() * out.x();
    if (std::abs(cross) < 1e-6 || dot(in, out) < -0.9999) return;  // straight on, or turning back
    const double side = cross > 0 ? -1 : 1;  // the outer side, away from the turn
    const QPointF n1 = side * QPointF(-in.y(), in.x()), n2 = side * QPointF(-out.y(), out.x());
    const QPointF bisector = unit(n1 + n2);
    const double cosine = dot(bisector, n1);
    if (cosine <= 1e-9) return;
    const QPointF a = v + n1 * half, b = v + n2 * half;
    // Beyond the bevel from a to b only: the wedge must not overlap the stroke, whose
    // winding may run the other way.
    QPolygonF wedge;
    wedge << a;
    if (half / cosine <= reach) {
      wedge << v + bisector * (half / cosine);
    } else {
      const double along = dot(in, bisector);
      if (along <= 1e-9) return;
      const double t = (reach - dot(a - v, bisector)) / along;
      wedge << a + in * t << b - out * t;
    }
    wedge << b;
    wedges.addPolygon(wedge);
    wedges.closeSubpath();
  };
  // Every segment's ends and directions there, subpath by subpath.
  struct Segment {
    QPointF from, to, startDirection, endDirection;
  };
  std::vector<Segment> segments;
  const auto flush = [&] {
    for (std::size_t i = 1; i < segments.size(); ++i)
      corner(segments[i].from, segments[i - 1].endDirection, segments[i].startDirection);
    if (segments.size() > 1 && segments.back().to == segments.front().from)
      corner(segments.front().from, segments.back().endDirection, segments.front().startDirection);
    segments.clear();
  };
  QPointF at;
  for (int i = 0; i < path.elementCount(); ++i) {
    const QPainterPath::Element e = path.elementAt(i);
    if (e.isMoveTo()) {
      flush();
      at = e;
    } else if (e.isLineTo()) {
      const QPointF to = e, d = unit(to - at);
      if (d != QPointF()) segments.push_back({at, to, d, d});
      at = to;
    } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
      const QPointF c1 = e, c2 = path.elementAt(i + 1), to = path.elementAt(i + 2);
      QPointF start = unit(c1 - at), end = unit(to - c2);
      if (start == QPointF()) start = unit(c2 - at);
      if (end == QPointF()) end = unit(to - c1);
      if (start != QPointF() && end != QPointF()) segments.push_back({at, to, start, end});
      at = to;
      i += 2;
    }
  }
  flush();
  return wedges;
}

// path with its curves cut into straight pieces that stray at most tolerance from them.
// A line is stroked along these pieces: the stroker's own offset curves stray by a few
// hundredths of a pixel, which at low quality moves a line's edge across pixel centres.
QPainterPath CurvesCut(const QPainterPath& path, double tolerance) {
  QPainterPath cut;
  QPointF at;
  const int count = path.elementCount();
  for (int i = 0; i < count; ++i) {
    const QPainterPath::Element& e = path.elementAt(i);
    const QPointF p(e.x, e.y);
    if (e.isMoveTo()) {
      cut.moveTo(p);
    } else if (e.isLineTo()) {
      cut.lineTo(p);
    } else if (e.isCurveTo() && i + 2 < count) {
      const QPointF c2 = path.elementAt(i + 1), end = path.elementAt(i + 2);
      i += 2;
      QPointF control;
      if (render::QuadraticOfCubic(at, p, c2, end, control))
        render::FlattenQuadratic(at, control, end, tolerance, [&](QPointF point) { cut.lineTo(point); });
      else
        cut.cubicTo(p, c2, end);
      at = end;
      continue;
    }
    at = p;
  }
  return cut;
}

// The outline of a line in device pixels. Lines never get thinner than one pixel;
// lines that do not scale keep their width in pixels (a line that keeps its width in
// one direction takes the scale of the other); hairlines are one pixel wide.
QPainterPath StrokeOutline(const QPainterPath& path, const LineStyle& line, const QTransform& toDevice) {
  QPainterPathStroker stroker;
  switch (line.startCap) {
    case CapStyle::None: stroker.setCapStyle(Qt::FlatCap); break;
    case CapStyle::Square: stroker.setCapStyle(Qt::SquareCap); break;
    case CapStyle::Round: stroker.setCapStyle(Qt::RoundCap); break;
  }
  // Miters are added to a bevelled stroke: the stroker cuts them otherwise than the player.
  const bool miter = line.join == JoinStyle::Miter;
  switch (line.join) {
    case JoinStyle::Bevel:
    case JoinStyle::Miter: stroker.setJoinStyle(Qt::BevelJoin); break;
    case JoinStyle::Round: stroker.setJoinStyle(Qt::RoundJoin); break;
  }
  // Curves are cut as the shape's fills are: in the shape's own space (twips here).
  double cutTolerance = render::ShapeCurveTolerance(toDevice);
  const auto stroke = [&](const QPainterPath& p, double width) {
    stroker.setWidth(width);
    QPainterPath outline = stroker.createStroke(CurvesCut(p, cutTolerance));
    if (miter) outline.addPath(MiterWedges(p, width, line.miterLimit));
    return outline;
  };
  const bool scales = !line.noHScale && !line.noVScale;
  if (scales && line.width * DeviceScale(toDevice) >= 1.0) {
    // Stroked in the shape's space, so a line under a squashing matrix squashes too.
    return toDevice.map(stroke(path, line.width));
  }
  double pixels = line.width * DeviceScale(toDevice);
  if (!scales) {
    const double xScale = std::hypot(toDevice.m11(), toDevice.m12());
    const double yScale = std::hypot(toDevice.m21(), toDevice.m22());
    pixels = line.width / 20.0;
    if (!line.noHScale) pixels = line.width * xScale;
    if (!line.noVScale) pixels = line.width * yScale;
  }
  cutTolerance *= DeviceScale(toDevice);
  return stroke(toDevice.map(path), std::max(1.0, pixels));
}

std::unique_ptr<render::Paint> StrokePaint(const LineStyle& line, const QTransform& toDevice,
                                           const render::FixedColorTransform& colors, Quality quality) {
  if (line.hasFill) return render::MakeFillPaint(line.fill, colors, toDevice, quality);
  return std::make_unique<render::SolidPaint>(render::Premultiply(colors.Apply(line.color)));
}

void PrepareStroke(render::PreparedEdges& prepared, const QPainterPath& path, const LineStyle& line,
                   const QTransform& toDevice, int samples) {
  const QPainterPath outline = StrokeOutline(path, line, toDevice);
  render::EdgeList edges{QTransform()};
  edges.AddPath(outline);
  prepared.Prepare(edges.Edges(), 1, samples);
}

}  // namespace

// The edges of a geometry cut for one transform and sample grid, and the paints of
// its fills and lines for one colour transform: a shape that stays where it is draws
// again without cutting curves, stroking lines or sorting edges.
struct ShapeDrawState {
  struct Layer {
    render::PreparedEdges fills;
    std::vector<render::PreparedEdges> strokes;
    std::vector<std::unique_ptr<render::Paint>> ownedPaints;  // per fill style
    std::vector<const render::Paint*> paints;
    std::vector<std::unique_ptr<render::Paint>> strokePaints;  // per stroke
  };
  struct Entry {
    QTransform toDevice;
    int samples = 0;
    bool asMask = false;  // masks have no lines
    bool hasPaints = false;
    render::FixedColorTransform colors;
    Quality quality = Quality::High;
    std::uint64_t lastUse = 0;
    std::size_t edgeCount = 0;
    std::vector<Layer> layers;
  };
  // A few transforms, for a shape placed several times or drawn as a mask and as itself.
  static constexpr std::size_t kEntries = 4;
  // Edges kept per shape at most (about 16 MB); a larger shape is cut again each time.
  static constexpr std::size_t kMaxKeptEdges = 1u << 18;
  std::vector<Entry> entries;
  std::uint64_t uses = 0;
};

namespace {

ShapeDrawState::Entry& DrawEntry(const ShapeGeometry& geometry, const QTransform& toDevice, int samples, bool asMask,
                                 bool* fresh) {
  auto& state = geometry.drawCache.state.Mine();
  if (!state) state = std::make_shared<ShapeDrawState>();
  ++state->uses;
  ShapeDrawState::Entry* pick = nullptr;
  for (auto& entry : state->entries) {
    if (entry.toDevice == toDevice && entry.samples == samples && entry.asMask == asMask) {
      entry.lastUse = state->uses;
      *fresh = false;
      return entry;
    }
    if (!pick || entry.lastUse < pick->lastUse) pick = &entry;
  }
  if (state->entries.size() < ShapeDrawState::kEntries) pick = &state->entries.emplace_back();
  *fresh = true;
  pick->toDevice = toDevice;
  pick->samples = samples;
  pick->asMask = asMask;
  pick->hasPaints = false;
  pick->lastUse = state->uses;
  pick->edgeCount = 0;
  pick->layers.resize(geometry.layers.size());
  return *pick;
}

// Cuts the geometry's edges and lines into entry for its transform.
void PrepareEntry(ShapeDrawState::Entry& entry, const ShapeGeometry& geometry) {
  const QTransform& toDevice = entry.toDevice;
  for (std::size_t i = 0; i < geometry.layers.size(); ++i) {
    const ShapeLayer& layer = geometry.layers[i];
    ShapeDrawState::Layer& out = entry.layers[i];
    out.fills = render::PreparedEdges();
    out.strokes.clear();
    if (layer.styleSet >= geometry.styleSets.size()) continue;
    const std::size_t fillCount = geometry.styleSets[layer.styleSet].fills.size();
    if (!layer.edges.empty()) {
      render::EdgeList edges(toDevice, render::ShapeCurveTolerance(toDevice));
      for (const ShapeEdge& edge : layer.edges) {
        if (edge.curve) {
          edges.AddCurve(edge.from, edge.control, edge.to, edge.fill0, edge.fill1);
        } else {
          edges.AddLine(edge.from, edge.to, edge.fill0, edge.fill1);
        }
      }
      out.fills.Prepare(edges.Edges(), fillCount, entry.samples);
      entry.edgeCount += out.fills.Size();
    }
    if (entry.asMask) continue;
    out.strokes.resize(layer.strokes.size());
    for (std::size_t k = 0; k < layer.strokes.size(); ++k) {
      const LineStyle* style = FindLine(geometry, layer, layer.strokes[k].style);
      if (!style) continue;
      PrepareStroke(out.strokes[k], layer.strokes[k].path, *style, toDevice, entry.samples);
      entry.edgeCount += out.strokes[k].Size();
    }
  }
}

// The paints of entry's fills and lines under colors.
void PreparePaints(ShapeDrawState::Entry& entry, const ShapeGeometry& geometry, const render::FixedColorTransform& colors,
                   Quality quality) {
  if (entry.hasPaints && entry.colors == colors && entry.quality == quality) return;
  // Fills no edge uses have no paint; the rasterizer never asks for them.
  static const render::SolidPaint kNothing(0);
  for (std::size_t i = 0; i < geometry.layers.size(); ++i) {
    const ShapeLayer& layer = geometry.layers[i];
    ShapeDrawState::Layer& out = entry.layers[i];
    out.ownedPaints.clear();
    out.paints.clear();
    out.strokePaints.clear();
    if (layer.styleSet >= geometry.styleSets.size()) continue;
    const auto& fills = geometry.styleSets[layer.styleSet].fills;
    out.ownedPaints.resize(fills.size());
    out.paints.assign(fills.size(), &kNothing);
    for (const ShapeEdge& edge : layer.edges) {
      for (const std::uint32_t fill : {edge.fill0, edge.fill1}) {
        if (fill == 0 || fill > fills.size() || out.ownedPaints[fill - 1]) continue;
        out.ownedPaints[fill - 1] = render::MakeFillPaint(fills[fill - 1], colors, entry.toDevice, quality);
        out.paints[fill - 1] = out.ownedPaints[fill - 1].get();
      }
    }
    if (entry.asMask) continue;
    out.strokePaints.resize(layer.strokes.size());
    for (std::size_t k = 0; k < layer.strokes.size(); ++k) {
      if (const LineStyle* style = FindLine(geometry, layer, layer.strokes[k].style))
        out.strokePaints[k] = StrokePaint(*style, entry.toDevice, colors, quality);
    }
  }
  entry.colors = colors;
  entry.quality = quality;
  entry.hasPaints = true;
}

// Device-pixel bounds of what the geometry draws.
QRectF GeometryDeviceBounds(const ShapeGeometry& geometry, const QTransform& toDevice) {
  double minX = 0, minY = 0, maxX = -1, maxY = -1;
  const auto add = [&](const QPointF& p, double reach) {
    if (maxX < minX) {
      minX = p.x() - reach, maxX = p.x() + reach, minY = p.y() - reach, maxY = p.y() + reach;
      return;
    }
    minX = std::min(minX, p.x() - reach), maxX = std::max(maxX, p.x() + reach);
    minY = std::min(minY, p.y() - reach), maxY = std::max(maxY, p.y() + reach);
  };
  double lineReach = 0;
  for (const ShapeLayer& layer : geometry.layers) {
    for (const ShapeEdge& edge : layer.edges) {
      add(edge.from, 0);
      add(edge.to, 0);
      if (edge.curve) add(edge.control, 0);
    }
    for (const StrokePath& stroke : layer.strokes) {
      const LineStyle* style = FindLine(geometry, layer, stroke.style);
      const QRectF r = stroke.path.controlPointRect();
      const double width = style ? style->width : 0;
      lineReach = std::max(lineReach, width * std::max(1.0, style ? style->miterLimit : 1.0));
      add(r.topLeft(), width);
      add(r.bottomRight(), width);
    }
  }
  if (maxX < minX) return {};
  // Lines reach at least a pixel (and miters further) past their path in any scale.
  const double pixelReach = 2 + (lineReach > 0 ? 2 : 0);
  return toDevice.mapRect(QRectF(QPointF(minX - lineReach, minY - lineReach), QPointF(maxX + lineReach, maxY + lineReach)))
      .adjusted(-pixelReach, -pixelReach, pixelReach, pixelReach);
}

}  // namespace

ShapeGeometry BuildGeometry(const ShapeData& data) {
  ShapeGeometry geometry;
  geometry.styleSets = data.styleSets;
  geometry.nonZero = data.nonZeroWinding;
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
    if (fill0 != fill1 && (validFill(fill0) || validFill(fill1))) {
      builder.edges.push_back({edge.from, edge.control, edge.to, edge.curve, validFill(fill0) ? fill0 : 0,
                               validFill(fill1) ? fill1 : 0});
    }
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
  if (!painter || geometry.layers.empty()) return;
  const render::PainterTarget target(*painter, GeometryDeviceBounds(geometry, context.transform));
  if (!target.Valid()) return;
  const QTransform toDevice = context.transform * target.FromDevice();
  const auto colors = render::FixedColorTransform::From(context.colorTransform);
  const int samples = render::SamplesPerAxis(static_cast<int>(context.quality));
  bool fresh = false;
  ShapeDrawState::Entry& entry = DrawEntry(geometry, toDevice, samples, context.asMask, &fresh);
  if (fresh) PrepareEntry(entry, geometry);
  PreparePaints(entry, geometry, colors, context.quality);
  const auto rule = geometry.nonZero ? render::FillRule::NonZero : render::FillRule::EvenOdd;
  for (std::size_t i = 0; i < geometry.layers.size(); ++i) {
    const ShapeDrawState::Layer& layer = entry.layers[i];
    // Every fill of the layer in one pass.
    if (!layer.fills.Empty()) render::FillPrepared(target.Get(), layer.fills, layer.paints, rule);
    if (context.asMask) continue;
    for (std::size_t k = 0; k < layer.strokes.size() && k < layer.strokePaints.size(); ++k) {
      if (layer.strokes[k].Empty() || !layer.strokePaints[k]) continue;
      const render::Paint* paints[] = {layer.strokePaints[k].get()};
      render::FillPrepared(target.Get(), layer.strokes[k], paints, render::FillRule::NonZero);
    }
  }
  // A shape too large to keep is cut again next time rather than held in memory.
  if (entry.edgeCount > ShapeDrawState::kMaxKeptEdges) geometry.drawCache.state.Mine().reset();
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
