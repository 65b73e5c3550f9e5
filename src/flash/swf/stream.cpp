#include "flash/swf/stream.h"

#include <cstring>

namespace vantrel::flash {

void SwfStream::Seek(std::size_t position) {
  bitCount_ = 0;
  if (position > data_.size()) {
    overrun_ = true;
    position = data_.size();
  }
  pos_ = position;
}

void SwfStream::Skip(std::size_t count) {
  bitCount_ = 0;
  if (count > Remaining()) {
    overrun_ = true;
    pos_ = data_.size();
    return;
  }
  pos_ += count;
}

std::span<const std::uint8_t> SwfStream::ReadBytes(std::size_t count) {
  bitCount_ = 0;
  if (count > Remaining()) {
    overrun_ = true;
    count = Remaining();
  }
  const auto out = data_.subspan(pos_, count);
  pos_ += count;
  return out;
}

std::uint8_t SwfStream::U8() {
  bitCount_ = 0;
  if (pos_ >= data_.size()) {
    overrun_ = true;
    return 0;
  }
  return data_[pos_++];
}

std::uint16_t SwfStream::U16() {
  const std::uint16_t lo = U8();
  return static_cast<std::uint16_t>(lo | (U8() << 8));
}

std::uint32_t SwfStream::U32() {
  const std::uint32_t lo = U16();
  return lo | (static_cast<std::uint32_t>(U16()) << 16);
}

double SwfStream::Fixed8() { return static_cast<std::int16_t>(U16()) / 256.0; }

double SwfStream::Fixed16() { return static_cast<std::int32_t>(U32()) / 65536.0; }

float SwfStream::Float32() {
  const std::uint32_t bits = U32();
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

double SwfStream::Float64() {
  const std::uint64_t high = U32();
  const std::uint64_t low = U32();
  const std::uint64_t bits = (high << 32) | low;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::uint32_t SwfStream::EncodedU32() {
  std::uint32_t value = 0;
  for (int i = 0; i < 5; ++i) {
    const std::uint8_t byte = U8();
    value |= static_cast<std::uint32_t>(byte & 0x7F) << (7 * i);
    if (!(byte & 0x80)) break;
  }
  return value;
}

std::string SwfStream::String() {
  bitCount_ = 0;
  std::string out;
  while (pos_ < data_.size()) {
    const char c = static_cast<char>(data_[pos_++]);
    if (c == '\0') return out;
    out += c;
  }
  overrun_ = true;
  return out;
}

std::uint32_t SwfStream::UBits(unsigned count) {
  std::uint32_t value = 0;
  for (unsigned i = 0; i < count; ++i) {
    if (bitCount_ == 0) {
      if (pos_ >= data_.size()) {
        overrun_ = true;
        bitBuffer_ = 0;
      } else {
        bitBuffer_ = data_[pos_++];
      }
      bitCount_ = 8;
    }
    --bitCount_;
    value = (value << 1) | ((bitBuffer_ >> bitCount_) & 1u);
  }
  return value;
}

std::int32_t SwfStream::SBits(unsigned count) {
  if (count == 0) return 0;
  const std::uint32_t raw = UBits(count);
  if (count >= 32) return static_cast<std::int32_t>(raw);
  const std::uint32_t sign = 1u << (count - 1);
  return static_cast<std::int32_t>((raw ^ sign) - sign);
}

double SwfStream::FBits(unsigned count) { return SBits(count) / 65536.0; }

Rect SwfStream::ReadRect() {
  AlignBits();
  const unsigned bits = UBits(5);
  Rect r;
  r.xMin = SBits(bits);
  r.xMax = SBits(bits);
  r.yMin = SBits(bits);
  r.yMax = SBits(bits);
  AlignBits();
  return r;
}

Matrix SwfStream::ReadMatrix() {
  AlignBits();
  Matrix m;
  if (UBits(1)) {
    const unsigned bits = UBits(5);
    m.a = FBits(bits);
    m.d = FBits(bits);
  }
  if (UBits(1)) {
    const unsigned bits = UBits(5);
    m.b = FBits(bits);
    m.c = FBits(bits);
  }
  const unsigned bits = UBits(5);
  m.tx = SBits(bits);
  m.ty = SBits(bits);
  AlignBits();
  return m;
}

ColorTransform SwfStream::ReadColorTransform(bool withAlpha) {
  AlignBits();
  ColorTransform cx;
  const bool hasAdd = UBits(1);
  const bool hasMul = UBits(1);
  const unsigned bits = UBits(4);
  if (hasMul) {
    cx.mulR = SBits(bits) / 256.0;
    cx.mulG = SBits(bits) / 256.0;
    cx.mulB = SBits(bits) / 256.0;
    if (withAlpha) cx.mulA = SBits(bits) / 256.0;
  }
  if (hasAdd) {
    cx.addR = SBits(bits);
    cx.addG = SBits(bits);
    cx.addB = SBits(bits);
    if (withAlpha) cx.addA = SBits(bits);
  }
  AlignBits();
  return cx;
}

Rgba SwfStream::ReadRgb() {
  Rgba c;
  c.r = U8();
  c.g = U8();
  c.b = U8();
  return c;
}

Rgba SwfStream::ReadRgba() {
  Rgba c = ReadRgb();
  c.a = U8();
  return c;
}

Rgba SwfStream::ReadArgb() {
  Rgba c;
  c.a = U8();
  c.r = U8();
  c.g = U8();
  c.b = U8();
  return c;
}

}  // namespace vantrel::flash
