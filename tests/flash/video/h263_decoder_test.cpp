// The Sorenson H.263 decoder on bitstreams written bit by bit here (so the code tables
// are checked against the standard's, not against themselves), and the edge filter.
#include "flash/video/h263_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace vantrel::flash::video {
namespace {

class Bits {
 public:
  // Appends a string of '0'/'1' (spaces ignored).
  Bits& operator()(const std::string& pattern) {
    for (const char c : pattern)
      if (c == '0' || c == '1') bits_.push_back(c == '1');
    return *this;
  }
  // Appends value in width bits, two's complement for negative values.
  Bits& operator()(int value, int width) {
    for (int i = width - 1; i >= 0; --i) bits_.push_back(((value >> i) & 1) != 0);
    return *this;
  }
  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> out((bits_.size() + 7) / 8, 0);
    for (std::size_t i = 0; i < bits_.size(); ++i)
      if (bits_[i]) out[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
    return out;
  }

 private:
  std::vector<bool> bits_;
};

// Picture header with a custom 8-bit size; type 0 intra, 1 inter, 2 disposable.
Bits Header(int width, int height, int type, int quant, int version = 0, bool deblock = false) {
  Bits b;
  b("0000 0000 0000 0000 1")(version, 5)(0, 8)("000")(width, 8)(height, 8)(type, 2)(deblock ? 1 : 0, 1)(quant, 5);
  b("0");  // no extra information
  return b;
}

// An intra macroblock of flat blocks: MCBPC intra/no chroma AC, CBPY none, six DCs.
void FlatIntraMacroblock(Bits& b, int lumaDc, int chromaDc, bool interPicture) {
  if (interPicture)
    b("0")("00011");  // coded; MCBPC intra, CBPC 00
  else
    b("1");
  b("0011");  // CBPY: no AC coefficients
  for (int i = 0; i < 4; ++i) b(lumaDc, 8);
  b(chromaDc, 8)(chromaDc, 8);
}

int Sample(const PlaneView& plane, int x, int y) { return plane.data[y * plane.stride + x]; }

TEST(H263DecoderTest, FlatIntraMacroblocksReconstructTheirDc) {
  // Two macroblocks; DC 255 stands for 1024 (128 after the transform).
  Bits b = Header(32, 16, 0, 5);
  FlatIntraMacroblock(b, 50, 120, false);
  FlatIntraMacroblock(b, 255, 140, false);
  H263Decoder decoder;
  ASSERT_TRUE(decoder.Decode(b.Bytes())) << decoder.Error();
  const PlaneView y = decoder.Luma(), cb = decoder.Cb();
  ASSERT_EQ(y.width, 32);
  ASSERT_EQ(y.height, 16);
  EXPECT_EQ(cb.width, 16);
  for (int row = 0; row < 16; ++row) {
    EXPECT_EQ(Sample(y, 3, row), 50);
    EXPECT_EQ(Sample(y, 15, row), 50);
    EXPECT_EQ(Sample(y, 16, row), 128);
    EXPECT_EQ(Sample(y, 31, row), 128);
  }
  EXPECT_EQ(Sample(cb, 0, 0), 120);
  EXPECT_EQ(Sample(cb, 15, 7), 140);
  EXPECT_EQ(decoder.Header().quantizer, 5);
  EXPECT_EQ(decoder.Header().type, H263PictureType::Intra);
}

// Reference for three macroblocks side by side: luma 50 | 200 | 50, chroma 128.
std::vector<std::uint8_t> ThreeStripes() {
  Bits b = Header(48, 16, 0, 4);
  FlatIntraMacroblock(b, 50, 128, false);
  FlatIntraMacroblock(b, 200, 128, false);
  FlatIntraMacroblock(b, 50, 128, false);
  return b.Bytes();
}

TEST(H263DecoderTest, MotionVectorsArePredictedAndInterpolatedAtHalfSamples) {
  H263Decoder decoder;
  ASSERT_TRUE(decoder.Decode(ThreeStripes())) << decoder.Error();
  Bits p = Header(48, 16, 1, 4);
  // Macroblock 0: inter, nothing coded, vector (+7.5, 0): MVD 15 = 0000001101, sign 0.
  p("0")("1")("11")("0000001101 0")("1");
  // Macroblock 1: the same vector by prediction from the left (both differences 0).
  p("0")("1")("11")("1")("1");
  // Macroblock 2: skipped.
  p("1");
  ASSERT_TRUE(decoder.Decode(p.Bytes())) << decoder.Error();
  const PlaneView y = decoder.Luma();
  // Half a sample between 50 and 200 rounds up: (50 + 200 + 1) / 2.
  EXPECT_EQ(Sample(y, 0, 0), 50);
  EXPECT_EQ(Sample(y, 8, 0), 125);
  EXPECT_EQ(Sample(y, 9, 5), 200);
  EXPECT_EQ(Sample(y, 16 + 7, 3), 200);
  EXPECT_EQ(Sample(y, 16 + 8, 3), 125) << "the second macroblock takes the predicted vector";
  EXPECT_EQ(Sample(y, 16 + 9, 3), 50);
  EXPECT_EQ(Sample(y, 40, 15), 50) << "a skipped macroblock copies the reference";
}

TEST(H263DecoderTest, DisposableFramesAreNotReferredTo) {
  H263Decoder decoder;
  ASSERT_TRUE(decoder.Decode(ThreeStripes())) << decoder.Error();
  // A disposable frame that replaces the first macroblock by an intra one of 90.
  Bits d = Header(48, 16, 2, 4);
  FlatIntraMacroblock(d, 90, 128, true);
  d("1")("1");
  ASSERT_TRUE(decoder.Decode(d.Bytes())) << decoder.Error();
  EXPECT_EQ(Sample(decoder.Luma(), 0, 0), 90);
  // An inter frame of skipped macroblocks shows the intra frame again.
  Bits p = Header(48, 16, 1, 4);
  p("1")("1")("1");
  ASSERT_TRUE(decoder.Decode(p.Bytes())) << decoder.Error();
  EXPECT_EQ(Sample(decoder.Luma(), 0, 0), 50);
  EXPECT_EQ(Sample(decoder.Luma(), 20, 0), 200);
}

// The transform of a block with DC and one horizontal coefficient, in double precision.
double Expected(int dc, int ac, int x) {
  const double pi = std::acos(-1.0);
  return (dc * 0.5 + ac * std::sqrt(0.5) * std::cos(pi * (x + 0.5) / 8.0)) / 4.0;
}

TEST(H263DecoderTest, EscapedCoefficientsOfBothVersions) {
  for (const int version : {0, 1}) {
    SCOPED_TRACE("version " + std::to_string(version));
    // One macroblock, quantiser 3; the first luma block carries one escaped coefficient
    // at the first horizontal frequency.
    Bits b = Header(16, 16, 0, 3, version);
    b("1")("0001 0");  // MCBPC intra, CBPY: only the first luma block has coefficients
    b(64, 8);          // DC 64 -> 512
    int level;
    if (version == 0) {
      level = -20;
      b("0000011")("1")(0, 6)(level, 8);  // escape: last, run 0, 8-bit level
    } else {
      level = 300;
      b("0000011")("1")("1")(0, 6)(level, 11);  // escape: 11-bit level, last, run 0
    }
    for (int i = 0; i < 5; ++i) b(64, 8);
    H263Decoder decoder;
    ASSERT_TRUE(decoder.Decode(b.Bytes())) << decoder.Error();
    const int magnitude = 3 * (2 * std::abs(level) + 1);
    const int ac = level < 0 ? -magnitude : magnitude;
    const PlaneView y = decoder.Luma();
    for (int x = 0; x < 8; ++x) {
      const int want = std::clamp(static_cast<int>(std::lround(Expected(512, ac, x))), 0, 255);
      EXPECT_NEAR(Sample(y, x, 0), want, 1) << "column " << x;
      EXPECT_EQ(Sample(y, x, 7), Sample(y, x, 0)) << "no vertical frequency";
    }
    EXPECT_EQ(Sample(y, 8, 0), 64) << "the other blocks stay flat";
  }
}

TEST(H263DecoderTest, EvenQuantisersReconstructOneLess) {
  // A table code (last, run 0, level 1 = 0111, sign 0) at quantiser 4 gives 4 * 3 - 1.
  Bits b = Header(16, 16, 0, 4);
  b("1")("0001 0")(64, 8)("0111 0");
  for (int i = 0; i < 5; ++i) b(64, 8);
  H263Decoder decoder;
  ASSERT_TRUE(decoder.Decode(b.Bytes())) << decoder.Error();
  for (int x = 0; x < 8; ++x)
    EXPECT_NEAR(Sample(decoder.Luma(), x, 0), std::lround(Expected(512, 11, x)), 1) << "column " << x;
}

TEST(H263DecoderTest, DamagedStreamsAreRefusedAndKeepThePicture) {
  H263Decoder decoder;
  Bits inter = Header(48, 16, 1, 4);
  inter("1")("1")("1");
  EXPECT_FALSE(decoder.Decode(inter.Bytes())) << "an inter frame needs a reference";
  EXPECT_FALSE(decoder.HasPicture());
  ASSERT_TRUE(decoder.Decode(ThreeStripes()));

  std::vector<std::vector<std::uint8_t>> bad;
  std::vector<std::uint8_t> cut = ThreeStripes();
  cut.resize(cut.size() / 2);
  bad.push_back(cut);
  bad.push_back({0x00, 0x00, 0x84, 0x00});        // version 2
  bad.push_back({0x12, 0x34, 0x56, 0x78, 0x9A});  // no start code
  Bits pastTheEnd = Header(16, 16, 0, 4);         // run 63 after the DC
  pastTheEnd("1")("0001 0")(64, 8)("0000011")("0")(63, 6)(5, 8)("0000011")("1")(0, 6)(5, 8);
  bad.push_back(pastTheEnd.Bytes());
  Bits noCode = Header(48, 16, 1, 4);  // MCBPC 0000 0000 0 is no code
  noCode("0")("0000 0000 0000");
  bad.push_back(noCode.Bytes());
  for (const auto& data : bad) {
    EXPECT_FALSE(decoder.Decode(data));
    EXPECT_FALSE(decoder.Error().empty());
    ASSERT_TRUE(decoder.HasPicture());
    EXPECT_EQ(Sample(decoder.Luma(), 20, 0), 200) << "the last good picture stays";
  }
  // Random bytes after a valid header never crash the decoder.
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i) {
    std::vector<std::uint8_t> data = Header(64 + (i % 5) * 16, 48, i % 3 == 0 ? 0 : 1, 1 + i % 31, i % 2).Bytes();
    for (int n = 0; n < 200; ++n) data.push_back(static_cast<std::uint8_t>(random()));
    decoder.Decode(data);
  }
}

TEST(H263DeblockTest, SmoothsSmallStepsAndLeavesLargeOnes) {
  struct Case {
    int in[4], strength, out[4];
  };
  const Case cases[] = {
      {{0, 0, 4, 4}, 1, {0, 1, 3, 4}},          {{0, 0, 8, 8}, 1, {0, 0, 8, 8}},
      {{0, 0, 8, 8}, 3, {1, 3, 5, 7}},          {{0, 0, 10, 10}, 2, {0, 1, 9, 10}},
      {{10, 10, 0, 0}, 3, {9, 8, 2, 1}},        {{200, 40, 40, 200}, 12, {200, 40, 40, 200}},
      {{0, 0, 100, 100}, 12, {0, 0, 100, 100}},
  };
  for (const Case& c : cases) {
    // A 10 x 1 row with the edge between samples 7 and 8.
    std::uint8_t row[10] = {0,
                            0,
                            0,
                            0,
                            0,
                            0,
                            static_cast<std::uint8_t>(c.in[0]),
                            static_cast<std::uint8_t>(c.in[1]),
                            static_cast<std::uint8_t>(c.in[2]),
                            static_cast<std::uint8_t>(c.in[3])};
    for (int i = 0; i < 6; ++i) row[i] = row[6];
    DeblockPlane(row, 10, 1, 10, c.strength);
    EXPECT_EQ((std::vector<int>{row[6], row[7], row[8], row[9]}),
              (std::vector<int>{c.out[0], c.out[1], c.out[2], c.out[3]}))
        << c.in[0] << "," << c.in[1] << "," << c.in[2] << "," << c.in[3] << " at " << c.strength;
  }
  EXPECT_EQ(DeblockStrength(1), 1);
  EXPECT_EQ(DeblockStrength(11), 5);
  EXPECT_EQ(DeblockStrength(31), 12);
}

TEST(H263DeblockTest, OnlyBlockEdgesInsideThePlaneChange) {
  // 16 x 16 of 8 x 8 blocks alternating 100 and 104: only rows/columns 6..9 move.
  std::uint8_t plane[16 * 16];
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) plane[y * 16 + x] = ((x / 8) + (y / 8)) % 2 ? 104 : 100;
  const std::vector<std::uint8_t> before(plane, plane + 256);
  DeblockPlane(plane, 16, 16, 16, 4);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const bool nearEdge = (x >= 6 && x <= 9) || (y >= 6 && y <= 9);
      if (!nearEdge) {
        EXPECT_EQ(plane[y * 16 + x], before[static_cast<std::size_t>(y * 16 + x)]) << x << "," << y;
      }
    }
  EXPECT_NE(plane[0 * 16 + 7], 100);
  EXPECT_NE(plane[7 * 16 + 0], 100);
}

}  // namespace
}  // namespace vantrel::flash::video
