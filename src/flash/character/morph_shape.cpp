#include "flash/character/morph_shape.h"

#include "flash/raster/lanes.h"

#include <algorithm>

#include "flash/character/bitmap.h"
#include "flash/swf/stream.h"

namespace vantrel::flash {
namespace {

// Ratios kept in the geometry cache; tweens use a few dozen at most.
constexpr std::size_t kCachedRatios = 64;

double Lerp(double a, double b, double t) { return a + (b - a) * t; }

std::uint8_t LerpByte(std::uint8_t a, std::uint8_t b, double t) {
  // The player truncates the mixed colour (a ramp from 0x55 to 0x00 reads 0x54 just past its start).
  return static_cast<std::uint8_t>(std::clamp(Lerp(a, b, t), 0.0, 255.0));
}

Rgba LerpColor(const Rgba& a, const Rgba& b, double t) {
  return {LerpByte(a.r, b.r, t), LerpByte(a.g, b.g, t), LerpByte(a.b, b.b, t), LerpByte(a.a, b.a, t)};
}

Matrix LerpMatrix(const Matrix& a, const Matrix& b, double t) {
  Matrix m;
  m.a = Lerp(a.a, b.a, t);
  m.b = Lerp(a.b, b.b, t);
  m.c = Lerp(a.c, b.c, t);
  m.d = Lerp(a.d, b.d, t);
  m.tx = Lerp(a.tx, b.tx, t);
  m.ty = Lerp(a.ty, b.ty, t);
  return m;
}

FillStyle LerpFill(const FillStyle& a, const FillStyle& b, double t) {
  FillStyle f = a;
  f.plainBrush.reset();
  f.color = LerpColor(a.color, b.color, t);
  f.matrix = LerpMatrix(a.matrix, b.matrix, t);
  f.gradient.focalPoint = Lerp(a.gradient.focalPoint, b.gradient.focalPoint, t);
  for (std::size_t i = 0; i < f.gradient.stops.size() && i < b.gradient.stops.size(); ++i) {
    f.gradient.stops[i].ratio = LerpByte(a.gradient.stops[i].ratio, b.gradient.stops[i].ratio, t);
    f.gradient.stops[i].color = LerpColor(a.gradient.stops[i].color, b.gradient.stops[i].color, t);
  }
  return f;
}

bool ReadMorphFill(SwfStream& in, const DefinitionContext& context, MorphFillStyle* out) {
  const std::uint8_t type = in.U8();
  out->start.type = out->end.type = static_cast<FillType>(type);
  switch (type) {
    case 0x00:
      out->start.color = in.ReadRgba();
      out->end.color = in.ReadRgba();
      break;
    case 0x10:
    case 0x12:
    case 0x13: {
      out->start.matrix = in.ReadMatrix();
      out->end.matrix = in.ReadMatrix();
      const std::uint8_t flags = in.U8();
      for (auto* fill : {&out->start, &out->end}) {
        fill->gradient.spread = static_cast<SpreadMode>(std::min<int>((flags >> 6) & 3, 2));
        fill->gradient.interpolation = ((flags >> 4) & 3) == 1 ? InterpolationMode::LinearRgb : InterpolationMode::Rgb;
      }
      const int count = flags & 0x0F;
      for (int i = 0; i < count; ++i) {
        GradientStop start, end;
        start.ratio = in.U8();
        start.color = in.ReadRgba();
        end.ratio = in.U8();
        end.color = in.ReadRgba();
        out->start.gradient.stops.push_back(start);
        out->end.gradient.stops.push_back(end);
      }
      if (type == 0x13) {
        out->start.gradient.focalPoint = in.Fixed8();
        out->end.gradient.focalPoint = in.Fixed8();
      }
      break;
    }
    case 0x40:
    case 0x41:
    case 0x42:
    case 0x43: {
      const std::uint16_t id = in.U16();
      out->start.bitmapId = out->end.bitmapId = id;
      out->start.matrix = in.ReadMatrix();
      out->end.matrix = in.ReadMatrix();
      if (context.dictionary) {
        auto character = context.dictionary->Find(id);
        if (character && character->Kind() == CharacterKind::Bitmap) {
          out->start.bitmap = out->end.bitmap = std::static_pointer_cast<const Bitmap>(character);
        }
      }
      break;
    }
    default:
      return false;
  }
  return !in.Overrun();
}

bool ReadMorphLine(SwfStream& in, bool version2, const DefinitionContext& context, MorphLineStyle* out) {
  out->start.width = in.U16();
  out->end.width = in.U16();
  if (!version2) {
    out->start.color = in.ReadRgba();
    out->end.color = in.ReadRgba();
    return !in.Overrun();
  }
  const std::uint32_t flags = in.UBits(16);
  in.AlignBits();
  LineStyle& s = out->start;
  s.startCap = static_cast<CapStyle>(std::min<std::uint32_t>((flags >> 14) & 3, 2));
  s.join = static_cast<JoinStyle>(std::min<std::uint32_t>((flags >> 12) & 3, 2));
  s.hasFill = (flags >> 11) & 1;
  s.noHScale = (flags >> 10) & 1;
  s.noVScale = (flags >> 9) & 1;
  s.pixelHinting = (flags >> 8) & 1;
  s.noClose = (flags >> 2) & 1;
  s.endCap = static_cast<CapStyle>(std::min<std::uint32_t>(flags & 3, 2));
  if (s.join == JoinStyle::Miter) s.miterLimit = in.Fixed8();
  if (s.hasFill) {
    MorphFillStyle fill;
    if (!ReadMorphFill(in, context, &fill)) return false;
    s.fill = fill.start;
    const std::uint16_t endWidth = out->end.width;
    out->end = s;
    out->end.width = endWidth;
    out->end.fill = fill.end;
  } else {
    s.color = in.ReadRgba();
    const std::uint16_t endWidth = out->end.width;
    out->end = s;
    out->end.width = endWidth;
    out->end.color = in.ReadRgba();
  }
  return !in.Overrun();
}

}  // namespace

ShapeData MorphShape::DataAt(std::uint16_t ratio) const {
  const double t = ratio / 65535.0;
  ShapeData data;
  StyleSet styles;
  for (const auto& fill : fills) styles.fills.push_back(LerpFill(fill.start, fill.end, t));
  for (const auto& line : lines) {
    LineStyle l = line.start;
    l.width = static_cast<std::uint16_t>(std::clamp(Lerp(line.start.width, line.end.width, t) + 0.5, 0.0, 65535.0));
    l.color = LerpColor(line.start.color, line.end.color, t);
    if (l.hasFill) l.fill = LerpFill(line.start.fill, line.end.fill, t);
    styles.lines.push_back(std::move(l));
  }
  data.styleSets.push_back(std::move(styles));
  data.ops.reserve(startOps.size());
  std::size_t j = 0;
  QPointF startAt(0, 0), endAt(0, 0);
  for (const PathOp& s : startOps) {
    PathOp op = s;
    op.newStyles = false;
    if (s.kind == PathOp::Kind::Style) {
      // The end shape repeats the moves of the start shape (its style changes carry no styles).
      if (j < endOps.size() && endOps[j].kind == PathOp::Kind::Style) {
        if (endOps[j].move) endAt = QPointF(endOps[j].x, endOps[j].y);
        ++j;
      } else if (s.move) {
        endAt = QPointF(s.x, s.y);
      }
      if (s.move) startAt = QPointF(s.x, s.y);
      op.x = Lerp(startAt.x(), endAt.x(), t);
      op.y = Lerp(startAt.y(), endAt.y(), t);
      data.ops.push_back(op);
      continue;
    }
    while (j < endOps.size() && endOps[j].kind == PathOp::Kind::Style) {
      if (endOps[j].move) endAt = QPointF(endOps[j].x, endOps[j].y);
      ++j;
    }
    const PathOp e = j < endOps.size() ? endOps[j++] : s;  // a short end shape keeps the start edge
    // A straight edge against a curve becomes a curve with its control at its middle.
    QPointF sc(s.cx, s.cy), ec(e.cx, e.cy);
    if (s.kind == PathOp::Kind::Line) sc = (startAt + QPointF(s.x, s.y)) / 2;
    if (e.kind == PathOp::Kind::Line) ec = (endAt + QPointF(e.x, e.y)) / 2;
    op.kind = s.kind == PathOp::Kind::Curve || e.kind == PathOp::Kind::Curve ? PathOp::Kind::Curve : PathOp::Kind::Line;
    op.x = Lerp(s.x, e.x, t);
    op.y = Lerp(s.y, e.y, t);
    op.cx = Lerp(sc.x(), ec.x(), t);
    op.cy = Lerp(sc.y(), ec.y(), t);
    startAt = QPointF(s.x, s.y);
    endAt = QPointF(e.x, e.y);
    data.ops.push_back(op);
  }
  return data;
}

std::shared_ptr<const ShapeGeometry> MorphShape::GeometryAt(std::uint16_t ratio) const {
  const std::lock_guard lock(render::BuildLock(this));
  const auto it = cache_.find(ratio);
  if (it != cache_.end()) return it->second;
  if (cache_.size() >= kCachedRatios) cache_.clear();
  return cache_.emplace(ratio, std::make_shared<const ShapeGeometry>(BuildGeometry(DataAt(ratio)))).first->second;
}

void MorphShape::Render(const RenderContext& context) const { DrawGeometry(context, *GeometryAt(context.ratio)); }

QRectF MorphShape::Bounds(std::uint16_t ratio) const {
  const double t = ratio / 65535.0;
  const QRectF a = ToQRectF(startBounds), b = ToQRectF(endBounds);
  return QRectF(QPointF(Lerp(a.left(), b.left(), t), Lerp(a.top(), b.top(), t)),
                QPointF(Lerp(a.right(), b.right(), t), Lerp(a.bottom(), b.bottom(), t)));
}

bool MorphShape::HitTest(QPointF point, std::uint16_t ratio) const {
  return GeometryContains(*GeometryAt(ratio), point);
}

QPainterPath MorphShape::Outline(std::uint16_t ratio) const { return FilledArea(*GeometryAt(ratio)); }

std::shared_ptr<MorphShape> ParseMorphShape(std::uint16_t tagCode, std::span<const std::uint8_t> body,
                                            const DefinitionContext& context, std::string* error) {
  SwfStream in(body);
  auto morph = std::make_shared<MorphShape>();
  morph->id = in.U16();
  const auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + " in morph shape " + std::to_string(morph->id);
    return nullptr;
  };
  const bool version2 = tagCode == 84;
  morph->startBounds = in.ReadRect();
  morph->endBounds = in.ReadRect();
  if (version2) {
    in.ReadRect();  // start edge bounds
    in.ReadRect();  // end edge bounds
    in.U8();        // stroke scaling flags
  }
  const std::uint32_t endOffset = in.U32();
  const std::size_t endStart = in.Position() + endOffset;
  std::size_t count = in.U8();
  if (count == 0xFF) count = in.U16();
  if (count > in.Remaining()) return fail("bad fill count");
  for (std::size_t i = 0; i < count; ++i) {
    MorphFillStyle fill;
    if (!ReadMorphFill(in, context, &fill)) return fail("bad fill style");
    morph->fills.push_back(std::move(fill));
  }
  count = in.U8();
  if (count == 0xFF) count = in.U16();
  if (count > in.Remaining()) return fail("bad line count");
  for (std::size_t i = 0; i < count; ++i) {
    MorphLineStyle line;
    if (!ReadMorphLine(in, version2, context, &line)) return fail("bad line style");
    morph->lines.push_back(std::move(line));
  }
  ShapeData start;
  ReadShapeRecords(in, 3, false, context, &start);
  morph->startOps = std::move(start.ops);
  if (endStart < body.size()) {
    SwfStream endIn(body);
    endIn.Seek(endStart);
    ShapeData end;
    ReadShapeRecords(endIn, 3, false, context, &end);
    morph->endOps = std::move(end.ops);
  }
  return morph;
}

}  // namespace vantrel::flash
