#include "app/make_movies/swf_builder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vantrel::make_movies {

void BitWriter::Bits(std::uint32_t value, int count) {
  for (int i = count - 1; i >= 0; --i) {
    pending_ = (pending_ << 1) | ((value >> i) & 1u);
    if (++pendingBits_ == 8) {
      bytes_.push_back(static_cast<std::uint8_t>(pending_));
      pending_ = 0;
      pendingBits_ = 0;
    }
  }
}

void BitWriter::Align() {
  if (pendingBits_ > 0) Bits(0, 8 - pendingBits_);
}

void BitWriter::U8(std::uint8_t value) {
  Align();
  bytes_.push_back(value);
}

void BitWriter::U16(std::uint16_t value) {
  U8(static_cast<std::uint8_t>(value & 0xFF));
  U8(static_cast<std::uint8_t>(value >> 8));
}

void BitWriter::U32(std::uint32_t value) {
  U16(static_cast<std::uint16_t>(value & 0xFFFF));
  U16(static_cast<std::uint16_t>(value >> 16));
}

const std::vector<std::uint8_t>& BitWriter::Bytes() {
  Align();
  return bytes_;
}

int SignedBits(std::initializer_list<std::int32_t> values) {
  int bits = 1;
  for (const std::int32_t v : values) {
    const std::uint32_t magnitude = v < 0 ? static_cast<std::uint32_t>(~v) : static_cast<std::uint32_t>(v);
    int needed = 1;  // the sign bit
    for (std::uint32_t m = magnitude; m != 0; m >>= 1) ++needed;
    bits = std::max(bits, needed);
  }
  return bits;
}

namespace {

int UnsignedBits(std::uint32_t value) {
  int bits = 0;
  for (; value != 0; value >>= 1) ++bits;
  return bits;
}

void WriteRect(BitWriter& out, std::int32_t xMin, std::int32_t xMax, std::int32_t yMin, std::int32_t yMax) {
  const int bits = SignedBits({xMin, xMax, yMin, yMax});
  out.Bits(static_cast<std::uint32_t>(bits), 5);
  for (const std::int32_t v : {xMin, xMax, yMin, yMax}) out.Signed(v, bits);
  out.Align();
}

void WriteRgba(BitWriter& out, const Rgba& c) {
  out.U8(c.r);
  out.U8(c.g);
  out.U8(c.b);
  out.U8(c.a);
}

std::int32_t Fixed16(double value) { return static_cast<std::int32_t>(std::lround(value * 65536.0)); }

void WriteColourTransform(BitWriter& out, const ColourTransform& c) {
  const bool mult = c.mulR != 256 || c.mulG != 256 || c.mulB != 256 || c.mulA != 256;
  const bool add = c.addR != 0 || c.addG != 0 || c.addB != 0 || c.addA != 0;
  out.Bits(add ? 1 : 0, 1);
  out.Bits(mult ? 1 : 0, 1);
  const int bits = SignedBits({c.mulR, c.mulG, c.mulB, c.mulA, c.addR, c.addG, c.addB, c.addA});
  out.Bits(static_cast<std::uint32_t>(bits), 4);
  if (mult) {
    for (const std::int16_t v : {c.mulR, c.mulG, c.mulB, c.mulA}) out.Signed(v, bits);
  }
  if (add) {
    for (const std::int16_t v : {c.addR, c.addG, c.addB, c.addA}) out.Signed(v, bits);
  }
  out.Align();
}

void WriteStraight(BitWriter& out, std::int32_t dx, std::int32_t dy) {
  const int bits = std::max(2, SignedBits({dx, dy}));
  out.Bits(1, 1);  // edge
  out.Bits(1, 1);  // straight
  out.Bits(static_cast<std::uint32_t>(bits - 2), 4);
  out.Bits(1, 1);  // general line
  out.Signed(dx, bits);
  out.Signed(dy, bits);
}

void WriteCurve(BitWriter& out, std::int32_t cx, std::int32_t cy, std::int32_t ax, std::int32_t ay) {
  const int bits = std::max(2, SignedBits({cx, cy, ax, ay}));
  out.Bits(1, 1);  // edge
  out.Bits(0, 1);  // curved
  out.Bits(static_cast<std::uint32_t>(bits - 2), 4);
  for (const std::int32_t v : {cx, cy, ax, ay}) out.Signed(v, bits);
}

}  // namespace

void WriteMatrix(BitWriter& out, double scaleX, double scaleY, double rotation, std::int32_t x, std::int32_t y) {
  const double c = std::cos(rotation), s = std::sin(rotation);
  const std::int32_t a = Fixed16(scaleX * c), d = Fixed16(scaleY * c);
  const std::int32_t b = Fixed16(scaleX * s), cc = Fixed16(-scaleY * s);
  const bool hasScale = a != 65536 || d != 65536;
  const bool hasRotate = b != 0 || cc != 0;
  out.Bits(hasScale ? 1 : 0, 1);
  if (hasScale) {
    const int bits = SignedBits({a, d});
    out.Bits(static_cast<std::uint32_t>(bits), 5);
    out.Signed(a, bits);
    out.Signed(d, bits);
  }
  out.Bits(hasRotate ? 1 : 0, 1);
  if (hasRotate) {
    const int bits = SignedBits({b, cc});
    out.Bits(static_cast<std::uint32_t>(bits), 5);
    out.Signed(b, bits);
    out.Signed(cc, bits);
  }
  const int bits = (x == 0 && y == 0) ? 0 : SignedBits({x, y});
  out.Bits(static_cast<std::uint32_t>(bits), 5);
  if (bits > 0) {
    out.Signed(x, bits);
    out.Signed(y, bits);
  }
  out.Align();
}

SwfBuilder::SwfBuilder(int version, int widthPx, int heightPx, double frameRate)
    : version_(version), widthTwips_(widthPx * 20), heightTwips_(heightPx * 20), frameRate_(frameRate) {}

void SwfBuilder::Tag(std::uint16_t code, const std::vector<std::uint8_t>& body) {
  BitWriter header;
  if (body.size() < 63) {
    header.U16(static_cast<std::uint16_t>((code << 6) | body.size()));
  } else {
    header.U16(static_cast<std::uint16_t>((code << 6) | 0x3F));
    header.U32(static_cast<std::uint32_t>(body.size()));
  }
  const auto& head = header.Bytes();
  tags_.insert(tags_.end(), head.begin(), head.end());
  tags_.insert(tags_.end(), body.begin(), body.end());
}

void SwfBuilder::SetBackground(std::uint8_t r, std::uint8_t g, std::uint8_t b) { Tag(9, {r, g, b}); }

std::uint16_t SwfBuilder::DefineShape(const std::vector<Fill>& fills, const std::vector<LineStyle>& lines,
                                      const std::vector<ShapePath>& paths) {
  const std::uint16_t id = nextId_++;
  std::int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
  bool first = true;
  for (const ShapePath& path : paths) {
    for (const PathPoint& p : path.points) {
      if (first) {
        xMin = xMax = p.x;
        yMin = yMax = p.y;
        first = false;
      }
      xMin = std::min(xMin, p.x);
      xMax = std::max(xMax, p.x);
      yMin = std::min(yMin, p.y);
      yMax = std::max(yMax, p.y);
    }
  }
  std::int32_t pad = 0;
  for (const LineStyle& l : lines) pad = std::max<std::int32_t>(pad, l.width / 2 + 1);

  BitWriter out;
  out.U16(id);
  WriteRect(out, xMin - pad, xMax + pad, yMin - pad, yMax + pad);
  out.U8(static_cast<std::uint8_t>(fills.size()));  // the movies here keep below 255 styles
  for (const Fill& f : fills) {
    out.U8(f.kind);
    if (f.kind == Fill::Solid) {
      WriteRgba(out, f.colour);
      continue;
    }
    WriteMatrix(out, f.scaleX, f.scaleY, f.rotation, f.centreX, f.centreY);
    const std::size_t count = std::min<std::size_t>(f.stops.size(), 15);
    out.U8(static_cast<std::uint8_t>(count));  // pad spread, normal RGB interpolation
    for (std::size_t i = 0; i < count; ++i) {
      out.U8(f.stops[i].ratio);
      WriteRgba(out, f.stops[i].colour);
    }
  }
  out.U8(static_cast<std::uint8_t>(lines.size()));
  for (const LineStyle& l : lines) {
    out.U16(l.width);
    WriteRgba(out, l.colour);
  }
  const int fillBits = UnsignedBits(static_cast<std::uint32_t>(fills.size()));
  const int lineBits = UnsignedBits(static_cast<std::uint32_t>(lines.size()));
  out.Bits(static_cast<std::uint32_t>(fillBits), 4);
  out.Bits(static_cast<std::uint32_t>(lineBits), 4);

  std::int32_t penX = 0, penY = 0;
  for (const ShapePath& path : paths) {
    if (path.points.empty()) continue;
    // Style change: move to the first point and pick this path's fill and line.
    out.Bits(0, 1);
    out.Bits(0, 1);                          // no new styles
    out.Bits(lineBits > 0 ? 1 : 0, 1);       // line style
    out.Bits(0, 1);                          // fill style 1
    out.Bits(fillBits > 0 ? 1 : 0, 1);       // fill style 0
    out.Bits(1, 1);                          // move to
    const PathPoint& start = path.points.front();
    const int moveBits = SignedBits({start.x, start.y});
    out.Bits(static_cast<std::uint32_t>(moveBits), 5);
    out.Signed(start.x, moveBits);
    out.Signed(start.y, moveBits);
    if (fillBits > 0) out.Bits(static_cast<std::uint32_t>(path.fill), fillBits);
    if (lineBits > 0) out.Bits(static_cast<std::uint32_t>(path.line), lineBits);
    penX = start.x;
    penY = start.y;
    const std::size_t n = path.points.size();
    for (std::size_t i = 1; i <= n; ++i) {
      const PathPoint& p = path.points[i % n];
      if (p.control) {
        const PathPoint& anchor = path.points[(i + 1) % n];
        WriteCurve(out, p.x - penX, p.y - penY, anchor.x - p.x, anchor.y - p.y);
        penX = anchor.x;
        penY = anchor.y;
        ++i;
        continue;
      }
      if (p.x == penX && p.y == penY) continue;
      WriteStraight(out, p.x - penX, p.y - penY);
      penX = p.x;
      penY = p.y;
    }
  }
  out.Bits(0, 6);  // end of shape
  Tag(32, out.Bytes());
  return id;
}

void SwfBuilder::PlaceTag(std::uint16_t depth, int character, const Placement& at, const ColourTransform* colour) {
  BitWriter out;
  std::uint8_t flags = 0x04;  // matrix
  if (character < 0) flags |= 0x01;
  else flags |= 0x02;
  if (colour) flags |= 0x08;
  out.U8(flags);
  out.U16(depth);
  if (character >= 0) out.U16(static_cast<std::uint16_t>(character));
  WriteMatrix(out, at.scaleX, at.scaleY, at.rotation, at.x, at.y);
  if (colour) WriteColourTransform(out, *colour);
  Tag(26, out.Bytes());
}

void SwfBuilder::Place(std::uint16_t depth, std::uint16_t character, const Placement& at,
                       const ColourTransform* colour) {
  PlaceTag(depth, character, at, colour);
}

void SwfBuilder::Move(std::uint16_t depth, const Placement& at, const ColourTransform* colour) {
  PlaceTag(depth, -1, at, colour);
}

void SwfBuilder::Remove(std::uint16_t depth) {
  Tag(28, {static_cast<std::uint8_t>(depth & 0xFF), static_cast<std::uint8_t>(depth >> 8)});
}

void SwfBuilder::Stop() { Tag(12, {0x07, 0x00}); }

void SwfBuilder::GotoAndPlay(std::uint16_t frame) {
  Tag(12, {0x81, 0x02, 0x00, static_cast<std::uint8_t>(frame & 0xFF), static_cast<std::uint8_t>(frame >> 8), 0x06, 0x00});
}

void SwfBuilder::ShowFrame() {
  Tag(1, {});
  ++frames_;
}

std::vector<std::uint8_t> SwfBuilder::Finish() {
  Tag(0, {});
  BitWriter head;
  WriteRect(head, 0, widthTwips_, 0, heightTwips_);
  const auto rate = static_cast<std::uint16_t>(std::lround(frameRate_ * 256.0));
  head.U16(rate);
  head.U16(frames_);
  const auto& rest = head.Bytes();
  std::vector<std::uint8_t> file = {'F', 'W', 'S', static_cast<std::uint8_t>(version_), 0, 0, 0, 0};
  file.insert(file.end(), rest.begin(), rest.end());
  file.insert(file.end(), tags_.begin(), tags_.end());
  const auto length = static_cast<std::uint32_t>(file.size());
  for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<std::uint8_t>(length >> (8 * i));
  return file;
}

}  // namespace vantrel::make_movies
