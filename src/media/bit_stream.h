// Bit- and byte-level reading for the packed fields of SWF and FLV records.
//
// Bit numbering: a byte sequence is one string of bits numbered from 0, where bit 0 is
// the most significant bit of the first byte and bit 8 the most significant bit of the
// second. Fields are addressed by the numbers of their first and last bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vantrel::media {

// Expands the first count bytes (0 = all) into a bit array of count * 8 elements, each
// 0 or 1, in the bit order above. A count beyond the bytes given is cut to their size.
std::vector<std::uint8_t> ExpandBits(std::span<const std::uint8_t> bytes, std::size_t count = 0);

// Reads bits[first..last] as one binary number, the bit at first being the most
// significant. When first > last the bits are read in descending index order (the bit at
// first is still the most significant). Indexes outside the array read as 0; only the
// low 32 bits of a wider field are kept.
std::uint32_t ReadBits(std::span<const std::uint8_t> bits, std::size_t first, std::size_t last);

// Starting from 0, for each index from first to last (either direction) the value
// becomes (bit + value) / 2. Read from a field's last bit to its first, this gives the
// binary fraction 0.b1b2b3... whose first digit is the field's first bit.
double ReadBitFraction(std::span<const std::uint8_t> bits, std::size_t first, std::size_t last);

// Combines the first count bytes (1 to 4, cut to the bytes given) with the first byte
// most significant. 0 for an empty range.
std::uint32_t ReadBigEndian(std::span<const std::uint8_t> bytes, std::size_t count);

// Reverses a two- or four-byte array in place; any other length is left unchanged.
void ReverseBytes(std::span<std::uint8_t> bytes);

// 2 raised to the integer n, exact for every n a double can hold (0 below, +inf above).
double PowerOfTwo(int n);

// The same reads done by shifting over packed bytes, without expanding them. Every
// result equals the bit-array routine's result on ExpandBits(bytes).
class BitStream {
 public:
  explicit BitStream(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::size_t BitCount() const { return bytes_.size() * 8; }
  // The bit at index (0 beyond the end).
  unsigned Bit(std::size_t index) const {
    return index / 8 < bytes_.size() ? (bytes_[index / 8] >> (7 - index % 8)) & 1u : 0u;
  }
  std::uint32_t ReadBits(std::size_t first, std::size_t last) const;
  double ReadBitFraction(std::size_t first, std::size_t last) const;

 private:
  std::span<const std::uint8_t> bytes_;
};

}  // namespace vantrel::media
