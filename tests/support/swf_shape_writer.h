// Writers for the bodies of SWF definition tags (shapes, bitmaps, fonts, texts) used
// by the drawing tests and the fuzz seeds: a bit writer and shape record helpers.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vantrel::testing {

class SwfBits {
 public:
  std::vector<std::uint8_t> bytes;

  void UB(unsigned count, std::uint32_t value) {
    for (unsigned i = count; i-- > 0;) {
      if (bitPos_ == 0) bytes.push_back(0);
      if ((value >> i) & 1u) bytes.back() |= static_cast<std::uint8_t>(0x80u >> bitPos_);
      bitPos_ = (bitPos_ + 1) & 7;
    }
  }
  void SB(unsigned count, std::int32_t value) { UB(count, static_cast<std::uint32_t>(value) & ((count >= 32) ? ~0u : ((1u << count) - 1))); }
  void Align() { bitPos_ = 0; }
  void U8(std::uint8_t v) {
    Align();
    bytes.push_back(v);
  }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void Bytes(const std::vector<std::uint8_t>& data) {
    Align();
    bytes.insert(bytes.end(), data.begin(), data.end());
  }
  void String(const std::string& s) {
    Align();
    bytes.insert(bytes.end(), s.begin(), s.end());
    bytes.push_back(0);
  }
  void Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    U8(r);
    U8(g);
    U8(b);
  }
  void Rgba(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    Rgb(r, g, b);
    U8(a);
  }
  void Rect(std::int32_t xMin, std::int32_t xMax, std::int32_t yMin, std::int32_t yMax) {
    Align();
    UB(5, 20);
    SB(20, xMin);
    SB(20, xMax);
    SB(20, yMin);
    SB(20, yMax);
    Align();
  }
  // Scale and translation only (twips); scale in 16.16.
  void Matrix(double scaleX = 1, double scaleY = 1, std::int32_t tx = 0, std::int32_t ty = 0) {
    Align();
    const bool scaled = scaleX != 1 || scaleY != 1;
    UB(1, scaled);
    if (scaled) {
      UB(5, 31);
      SB(31, static_cast<std::int32_t>(scaleX * 65536));
      SB(31, static_cast<std::int32_t>(scaleY * 65536));
    }
    UB(1, 0);
    UB(5, 24);
    SB(24, tx);
    SB(24, ty);
    Align();
  }

  // Shape records, with the fill and line bit counts given to StyleBits.
  void StyleBits(unsigned fill, unsigned line) {
    fillBits_ = fill;
    lineBits_ = line;
    UB(4, fill);
    UB(4, line);
  }
  // fill0/fill1/line < 0: unchanged.
  void StyleChange(bool move, std::int32_t x, std::int32_t y, int fill0 = -1, int fill1 = -1, int line = -1) {
    UB(1, 0);
    UB(1, 0);  // new styles
    UB(1, line >= 0);
    UB(1, fill1 >= 0);
    UB(1, fill0 >= 0);
    UB(1, move);
    if (move) {
      UB(5, 24);
      SB(24, x);
      SB(24, y);
    }
    if (fill0 >= 0) UB(fillBits_, static_cast<std::uint32_t>(fill0));
    if (fill1 >= 0) UB(fillBits_, static_cast<std::uint32_t>(fill1));
    if (line >= 0) UB(lineBits_, static_cast<std::uint32_t>(line));
  }
  // A NewStyles record: the caller writes the arrays and then StyleBits.
  void NewStylesFlag() {
    UB(1, 0);
    UB(5, 0x10);
  }
  void Line(std::int32_t dx, std::int32_t dy) {
    UB(1, 1);
    UB(1, 1);
    UB(4, 15);  // 17 bits
    UB(1, 1);
    SB(17, dx);
    SB(17, dy);
  }
  void Curve(std::int32_t cdx, std::int32_t cdy, std::int32_t adx, std::int32_t ady) {
    UB(1, 1);
    UB(1, 0);
    UB(4, 15);
    SB(17, cdx);
    SB(17, cdy);
    SB(17, adx);
    SB(17, ady);
  }
  void EndShape() {
    UB(6, 0);
    Align();
  }

 private:
  unsigned bitPos_ = 0;
  unsigned fillBits_ = 0, lineBits_ = 0;
};

// A rectangle as four straight edges from (x, y), clockwise in screen space.
inline void RectEdges(SwfBits& w, std::int32_t width, std::int32_t height) {
  w.Line(width, 0);
  w.Line(0, height);
  w.Line(-width, 0);
  w.Line(0, -height);
}

}  // namespace vantrel::testing
