#include "media/bit_stream.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace vantrel::media {
namespace {

TEST(BitStream, ReadsFieldsInBothDirections) {
  const std::vector<std::uint8_t> bits = {1, 0, 0, 0};
  EXPECT_EQ(ReadBits(bits, 3, 0), 1u);  // bit 3 is read first and is the most significant
  EXPECT_EQ(ReadBits(bits, 0, 3), 8u);
  EXPECT_EQ(ReadBits(bits, 0, 0), 1u);
  const std::vector<std::uint8_t> bytes = {0xA5, 0x3C};
  const std::vector<std::uint8_t> expanded = ExpandBits(bytes);
  ASSERT_EQ(expanded.size(), 16u);
  EXPECT_EQ(ReadBits(expanded, 0, 7), 0xA5u);
  EXPECT_EQ(ReadBits(expanded, 4, 11), 0x53u);
  EXPECT_EQ(ExpandBits(bytes, 1).size(), 8u);
}

TEST(BitStream, ShiftingAgreesWithTheBitArrayEverywhere) {
  std::mt19937 random(7);
  std::vector<std::uint8_t> bytes(12);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
  const std::vector<std::uint8_t> bits = ExpandBits(bytes);
  const BitStream stream(bytes);
  for (std::size_t first = 0; first < bits.size() + 4; ++first) {
    for (std::size_t last = first >= 31 ? first - 31 : 0; last < first + 32; ++last) {
      ASSERT_EQ(stream.ReadBits(first, last), ReadBits(bits, first, last)) << first << ".." << last;
      ASSERT_EQ(stream.ReadBitFraction(first, last), ReadBitFraction(bits, first, last)) << first << ".." << last;
    }
  }
}

TEST(BitStream, FractionReadBackwardsIsTheBinaryFraction) {
  // 0.1100... read from the field's last bit towards its first.
  const std::vector<std::uint8_t> bits = {1, 1, 0, 0};
  EXPECT_DOUBLE_EQ(ReadBitFraction(bits, 3, 0), 0.75);
  EXPECT_DOUBLE_EQ(ReadBitFraction(bits, 0, 3), 0.1875);  // read forwards it is 0.0011
}

TEST(BitStream, ByteHelpers) {
  std::vector<std::uint8_t> two = {0x34, 0x12};
  ReverseBytes(two);
  EXPECT_EQ(ReadBigEndian(two, 2), 0x1234u);
  std::vector<std::uint8_t> three = {1, 2, 3};
  ReverseBytes(three);
  EXPECT_EQ(three, (std::vector<std::uint8_t>{1, 2, 3}));
  std::vector<std::uint8_t> four = {0x78, 0x56, 0x34, 0x12};
  ReverseBytes(four);
  EXPECT_EQ(ReadBigEndian(four, 4), 0x12345678u);
  EXPECT_EQ(ReadBigEndian(four, 1), 0x12u);
  EXPECT_EQ(PowerOfTwo(0), 1.0);
  EXPECT_EQ(PowerOfTwo(10), 1024.0);
  EXPECT_EQ(PowerOfTwo(-2), 0.25);
  EXPECT_GT(PowerOfTwo(-1074), 0.0);
}

}  // namespace
}  // namespace vantrel::media
