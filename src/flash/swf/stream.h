// A bounds-checked reader over SWF bytes: little-endian integers, fixed-point numbers,
// bit fields and the common records (RECT, MATRIX, CXFORM, RGB/RGBA, strings).
// Reading past the end never crashes: it yields zeros and sets Overrun().
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "flash/swf/types.h"

namespace vantrel::flash {

class SwfStream {
 public:
  SwfStream() = default;
  explicit SwfStream(std::span<const std::uint8_t> bytes) : data_(bytes) {}

  std::size_t Position() const { return pos_; }
  std::size_t Size() const { return data_.size(); }
  std::size_t Remaining() const { return pos_ < data_.size() ? data_.size() - pos_ : 0; }
  bool AtEnd() const { return pos_ >= data_.size(); }
  bool Overrun() const { return overrun_; }
  void Seek(std::size_t position);
  void Skip(std::size_t count);
  // The bytes from the current position to the end (or count bytes), and skips them.
  std::span<const std::uint8_t> ReadBytes(std::size_t count);
  std::span<const std::uint8_t> Rest() const { return data_.subspan(pos_ < data_.size() ? pos_ : data_.size()); }

  std::uint8_t U8();
  std::uint16_t U16();
  std::uint32_t U32();
  std::int16_t S16() { return static_cast<std::int16_t>(U16()); }
  std::int32_t S32() { return static_cast<std::int32_t>(U32()); }
  double Fixed8();   // 8.8 signed
  double Fixed16();  // 16.16 signed
  float Float32();
  double Float64();  // SWF doubles: two little-endian 32-bit halves, high word first
  std::uint32_t EncodedU32();
  std::string String();  // NUL-terminated

  // Bit fields, most significant bit first; AlignBits drops the rest of a byte.
  std::uint32_t UBits(unsigned count);
  std::int32_t SBits(unsigned count);
  double FBits(unsigned count);  // 16.16 fixed point in count bits
  void AlignBits() { bitCount_ = 0; }

  Rect ReadRect();
  Matrix ReadMatrix();
  ColorTransform ReadColorTransform(bool withAlpha);
  Rgba ReadRgb();
  Rgba ReadRgba();
  Rgba ReadArgb();

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
  std::uint32_t bitBuffer_ = 0;
  unsigned bitCount_ = 0;
  bool overrun_ = false;
};

}  // namespace vantrel::flash
