// Reading the style arrays and edge records shared by shapes, glyphs and morph shapes.
#include <algorithm>

#include "flash/character/bitmap.h"
#include "flash/character/shape.h"
#include "flash/swf/stream.h"

namespace vantrel::flash {
namespace {

std::size_t ReadCount(SwfStream& in, bool extended) {
  std::size_t count = in.U8();
  if (count == 0xFF && extended) count = in.U16();
  return count;
}

std::shared_ptr<const Bitmap> FindBitmap(const DefinitionContext& context, std::uint16_t id) {
  if (!context.dictionary) return nullptr;
  auto character = context.dictionary->Find(id);
  if (!character || character->Kind() != CharacterKind::Bitmap) return nullptr;
  return std::static_pointer_cast<const Bitmap>(character);
}

bool ReadGradient(SwfStream& in, int shapeVersion, bool focal, Gradient* out) {
  const std::uint8_t flags = in.U8();
  out->spread = static_cast<SpreadMode>(std::min<int>((flags >> 6) & 3, 2));
  out->interpolation = ((flags >> 4) & 3) == 1 ? InterpolationMode::LinearRgb : InterpolationMode::Rgb;
  const int count = flags & 0x0F;
  out->stops.clear();
  for (int i = 0; i < count; ++i) {
    GradientStop stop;
    stop.ratio = in.U8();
    stop.color = shapeVersion >= 3 ? in.ReadRgba() : in.ReadRgb();
    out->stops.push_back(stop);
  }
  if (focal) out->focalPoint = in.Fixed8();
  return !in.Overrun();
}

}  // namespace

bool ReadFillStyle(SwfStream& in, int shapeVersion, const DefinitionContext& context, FillStyle* out) {
  const std::uint8_t type = in.U8();
  out->type = static_cast<FillType>(type);
  switch (type) {
    case 0x00:
      out->color = shapeVersion >= 3 ? in.ReadRgba() : in.ReadRgb();
      break;
    case 0x10:
    case 0x12:
    case 0x13:
      out->matrix = in.ReadMatrix();
      if (!ReadGradient(in, shapeVersion, type == 0x13, &out->gradient)) return false;
      break;
    case 0x40:
    case 0x41:
    case 0x42:
    case 0x43:
      out->bitmapId = in.U16();
      out->matrix = in.ReadMatrix();
      out->bitmap = FindBitmap(context, out->bitmapId);
      break;
    default:
      return false;
  }
  return !in.Overrun();
}

bool ReadFillStyles(SwfStream& in, int shapeVersion, const DefinitionContext& context, std::vector<FillStyle>* out) {
  const std::size_t count = ReadCount(in, shapeVersion >= 2);
  if (count > in.Remaining()) return false;  // every style takes at least a byte
  out->clear();
  out->reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    FillStyle fill;
    if (!ReadFillStyle(in, shapeVersion, context, &fill)) return false;
    out->push_back(std::move(fill));
  }
  return !in.Overrun();
}

bool ReadLineStyles(SwfStream& in, int shapeVersion, const DefinitionContext& context, std::vector<LineStyle>* out) {
  const std::size_t count = ReadCount(in, true);
  if (count > in.Remaining()) return false;
  out->clear();
  out->reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    LineStyle line;
    line.width = in.U16();
    if (shapeVersion < 4) {
      line.color = shapeVersion >= 3 ? in.ReadRgba() : in.ReadRgb();
    } else {
      const std::uint32_t flags = in.UBits(16);
      line.startCap = static_cast<CapStyle>(std::min<std::uint32_t>((flags >> 14) & 3, 2));
      line.join = static_cast<JoinStyle>(std::min<std::uint32_t>((flags >> 12) & 3, 2));
      line.hasFill = (flags >> 11) & 1;
      line.noHScale = (flags >> 10) & 1;
      line.noVScale = (flags >> 9) & 1;
      line.pixelHinting = (flags >> 8) & 1;
      line.noClose = (flags >> 2) & 1;
      line.endCap = static_cast<CapStyle>(std::min<std::uint32_t>(flags & 3, 2));
      in.AlignBits();
      if (line.join == JoinStyle::Miter) line.miterLimit = in.Fixed8();
      if (line.hasFill) {
        if (!ReadFillStyle(in, shapeVersion, context, &line.fill)) return false;
      } else {
        line.color = in.ReadRgba();
      }
    }
    if (in.Overrun()) return false;
    out->push_back(std::move(line));
  }
  return !in.Overrun();
}

bool ReadShapeRecords(SwfStream& in, int shapeVersion, bool allowNewStyles, const DefinitionContext& context,
                      ShapeData* data) {
  if (data->styleSets.empty()) data->styleSets.emplace_back();
  in.AlignBits();
  unsigned fillBits = in.UBits(4);
  unsigned lineBits = in.UBits(4);
  std::int64_t x = 0, y = 0;
  // Each record takes at least six bits, so the data bounds the loop; the overrun check
  // ends it at the end of the data.
  while (!in.Overrun()) {
    PathOp op;
    if (in.UBits(1) == 0) {
      const std::uint32_t flags = in.UBits(5);
      if (flags == 0) return !in.Overrun();
      if (flags & 0x01) {
        const unsigned bits = in.UBits(5);
        x = in.SBits(bits);
        y = in.SBits(bits);
        op.move = true;
      }
      if (flags & 0x02) {
        op.setFill0 = true;
        op.fill0 = in.UBits(fillBits);
      }
      if (flags & 0x04) {
        op.setFill1 = true;
        op.fill1 = in.UBits(fillBits);
      }
      if (flags & 0x08) {
        op.setLine = true;
        op.line = in.UBits(lineBits);
      }
      if ((flags & 0x10) && allowNewStyles && shapeVersion >= 2) {
        StyleSet set;
        if (!ReadFillStyles(in, shapeVersion, context, &set.fills)) return false;
        if (!ReadLineStyles(in, shapeVersion, context, &set.lines)) return false;
        fillBits = in.UBits(4);
        lineBits = in.UBits(4);
        op.newStyles = true;
        op.styleSet = static_cast<std::uint32_t>(data->styleSets.size());
        data->styleSets.push_back(std::move(set));
      }
      op.kind = PathOp::Kind::Style;
    } else if (in.UBits(1) == 1) {  // straight edge
      const unsigned bits = in.UBits(4) + 2;
      if (in.UBits(1)) {
        x += in.SBits(bits);
        y += in.SBits(bits);
      } else if (in.UBits(1)) {
        y += in.SBits(bits);
      } else {
        x += in.SBits(bits);
      }
      op.kind = PathOp::Kind::Line;
    } else {  // curved edge
      const unsigned bits = in.UBits(4) + 2;
      const std::int64_t cx = x + in.SBits(bits);
      const std::int64_t cy = y + in.SBits(bits);
      x = cx + in.SBits(bits);
      y = cy + in.SBits(bits);
      op.kind = PathOp::Kind::Curve;
      op.cx = static_cast<double>(cx);
      op.cy = static_cast<double>(cy);
    }
    if (in.Overrun()) break;
    op.x = static_cast<double>(x);
    op.y = static_cast<double>(y);
    data->ops.push_back(op);
  }
  return false;
}

}  // namespace vantrel::flash
