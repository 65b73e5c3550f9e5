#include "media/bit_stream.h"

#include <cmath>

namespace vantrel::media {

std::vector<std::uint8_t> ExpandBits(std::span<const std::uint8_t> bytes, std::size_t count) {
  if (count == 0 || count > bytes.size()) count = bytes.size();
  std::vector<std::uint8_t> bits(count * 8);
  for (std::size_t i = 0; i < count; ++i)
    for (unsigned b = 0; b < 8; ++b) bits[i * 8 + b] = (bytes[i] >> (7 - b)) & 1u;
  return bits;
}

std::uint32_t ReadBits(std::span<const std::uint8_t> bits, std::size_t first, std::size_t last) {
  const auto at = [&](std::size_t i) -> std::uint32_t { return i < bits.size() ? bits[i] & 1u : 0u; };
  std::uint32_t value = 0;
  if (first <= last) {
    for (std::size_t i = first; i <= last; ++i) value = (value << 1) | at(i);
  } else {
    for (std::size_t i = first + 1; i-- > last;) value = (value << 1) | at(i);
  }
  return value;
}

double ReadBitFraction(std::span<const std::uint8_t> bits, std::size_t first, std::size_t last) {
  const auto at = [&](std::size_t i) -> double { return i < bits.size() ? (bits[i] & 1u) : 0; };
  double value = 0;
  if (first <= last) {
    for (std::size_t i = first; i <= last; ++i) value = (at(i) + value) / 2;
  } else {
    for (std::size_t i = first + 1; i-- > last;) value = (at(i) + value) / 2;
  }
  return value;
}

std::uint32_t ReadBigEndian(std::span<const std::uint8_t> bytes, std::size_t count) {
  if (count > 4) count = 4;
  if (count > bytes.size()) count = bytes.size();
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

void ReverseBytes(std::span<std::uint8_t> bytes) {
  if (bytes.size() != 2 && bytes.size() != 4) return;
  for (std::size_t i = 0, j = bytes.size() - 1; i < j; ++i, --j) std::swap(bytes[i], bytes[j]);
}

double PowerOfTwo(int n) { return std::ldexp(1.0, n); }

std::uint32_t BitStream::ReadBits(std::size_t first, std::size_t last) const {
  if (first > last) {
    // Descending reads are rare (a zero-width RECT field); read them bit by bit.
    std::uint32_t value = 0;
    for (std::size_t i = first + 1; i-- > last;) value = (value << 1) | Bit(i);
    return value;
  }
  // Ascending: gather whole bytes, then cut the field out. Only the low 32 bits of the
  // field are kept, so start no earlier than 32 bits before its end.
  if (last - first >= 32) first = last - 31;
  std::uint64_t window = 0;
  const std::size_t firstByte = first / 8, lastByte = last / 8;
  for (std::size_t b = firstByte; b <= lastByte; ++b)
    window = (window << 8) | (b < bytes_.size() ? bytes_[b] : 0u);
  const unsigned dropLow = static_cast<unsigned>(7 - last % 8);
  const unsigned width = static_cast<unsigned>(last - first + 1);
  window >>= dropLow;
  return static_cast<std::uint32_t>(width >= 32 ? window : window & ((std::uint64_t{1} << width) - 1));
}

double BitStream::ReadBitFraction(std::size_t first, std::size_t last) const {
  double value = 0;
  if (first <= last) {
    for (std::size_t i = first; i <= last; ++i) value = (Bit(i) + value) / 2;
  } else {
    for (std::size_t i = first + 1; i-- > last;) value = (Bit(i) + value) / 2;
  }
  return value;
}

}  // namespace vantrel::media
