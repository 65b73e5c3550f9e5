// The PNG reader's chunk rules, decoded layouts and rejections of hostile files.
#include <gtest/gtest.h>

#include <string>

#include "browser/png_reader.h"
#include "support/png_writer.h"
#include "support/temp_home.h"

namespace vantrel::browser {
namespace {

using testing::BigEndian32;
using testing::Deflate;
using testing::IhdrData;
using testing::PngChunk;
using testing::PngSignature;
using testing::SimplePng;
using testing::UnfilteredRows;

int Load(cPNG& png, const std::string& bytes) {
  return png.LoadPNGData({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

// A 2 x 1 RGB picture: red, blue.
std::string RgbRow() { return UnfilteredRows({std::string("\xFF\0\0\0\0\xFF", 6)}); }
std::string RgbIhdr() { return IhdrData(2, 1, 8, 2); }

TEST(PngReader, MissingFileAndWrongSignature) {
  testing::TempHome home;
  cPNG png;
  EXPECT_EQ(png.LoadPNGFile(home.Path() + "nothing.png"), kPngMissing);
  std::string bytes = SimplePng(RgbIhdr(), RgbRow());
  bytes[1] = 'Q';
  EXPECT_EQ(png.LoadPNGFile(home.WriteFile("bad.png", bytes)), kPngRejected);
  EXPECT_EQ(png.LoadPNGFile(home.WriteFile("empty.png", "")), kPngRejected);
  EXPECT_EQ(png.LoadPNGFile(home.WriteFile("good.png", SimplePng(RgbIhdr(), RgbRow()))), kPngLoaded);
  EXPECT_EQ(png.Width(), 2u);
}

TEST(PngReader, ChunkKeysCountOccurrences) {
  const std::string raw = RgbRow();
  const std::string z = Deflate(raw);
  const std::string bytes = PngSignature() + PngChunk("IHDR", RgbIhdr()) + PngChunk("tEXt", "a\0b") +
                            PngChunk("IDAT", z.substr(0, 3)) + PngChunk("IDAT", z.substr(3)) + PngChunk("IEND", "");
  cPNG png;
  ASSERT_EQ(Load(png, bytes), kPngLoaded) << png.RejectReason();
  EXPECT_EQ(png.ChunkIndex("IHDR1"), 0);
  EXPECT_EQ(png.ChunkIndex("tEXt1"), 1);
  EXPECT_EQ(png.ChunkIndex("IDAT1"), 2);
  EXPECT_EQ(png.ChunkIndex("IDAT2"), 3);
  EXPECT_EQ(png.ChunkIndex("IEND1"), 4);
  EXPECT_EQ(png.ChunkIndex("IDAT3"), -1);
  EXPECT_EQ(png.Chunks()[3].Length, z.size() - 3);
  EXPECT_EQ(png.Image().Bits[0], 0);  // blue byte of the red pixel
  EXPECT_EQ(png.Image().Bits[2], 255);
}

TEST(PngReader, TolerantWhereTheFormatAllows) {
  cPNG png;
  // Unknown ancillary chunk between IHDR and IDAT, and a spoiled CRC: both load.
  EXPECT_EQ(Load(png, SimplePng(RgbIhdr(), RgbRow(), PngChunk("vpAg", "xyz"))), kPngLoaded);
  const std::string badCrc = PngSignature() + PngChunk("IHDR", RgbIhdr(), true) +
                             PngChunk("IDAT", Deflate(RgbRow()), true) + PngChunk("IEND", "");
  EXPECT_EQ(Load(png, badCrc), kPngLoaded);
  // PLTE and tRNS are allowed (and unused) in RGB images.
  EXPECT_EQ(Load(png, SimplePng(RgbIhdr(), RgbRow(), PngChunk("PLTE", "abc") + PngChunk("tRNS", "\0\1\0\2\0\3"))),
            kPngLoaded);
  EXPECT_EQ(png.Image().BitsPerPixel, 24);
}

// Each case breaks exactly one rule; all must be rejected with 3 and leave nothing.
TEST(PngReader, RejectsEveryBrokenRule) {
  const std::string ihdr = PngChunk("IHDR", RgbIhdr());
  const std::string idat = PngChunk("IDAT", Deflate(RgbRow()));
  const std::string iend = PngChunk("IEND", "");
  const std::string sig = PngSignature();
  const std::string palIhdr = PngChunk("IHDR", IhdrData(2, 1, 8, 3));
  const std::string palIdat = PngChunk("IDAT", Deflate(UnfilteredRows({std::string("\0\1", 2)})));
  const std::string plte = PngChunk("PLTE", std::string(6, 'x'));
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"IHDR not first", sig + PngChunk("tEXt", "a") + ihdr + idat + iend},
      {"IHDR 12 bytes", sig + PngChunk("IHDR", RgbIhdr().substr(0, 12)) + idat + iend},
      {"second IHDR", sig + ihdr + ihdr + idat + iend},
      {"unknown critical", sig + ihdr + PngChunk("ZZZZ", "") + idat + iend},
      {"reserved bit", sig + ihdr + PngChunk("vpag", "") + idat + iend},
      {"zero width", sig + PngChunk("IHDR", IhdrData(0, 1, 8, 2)) + idat + iend},
      {"RGB depth 4", sig + PngChunk("IHDR", IhdrData(2, 1, 4, 2)) + idat + iend},
      {"palette depth 16", sig + PngChunk("IHDR", IhdrData(2, 1, 16, 3)) + idat + iend},
      {"colour type 5", sig + PngChunk("IHDR", IhdrData(2, 1, 8, 5)) + idat + iend},
      {"interlace 2", sig + PngChunk("IHDR", IhdrData(2, 1, 8, 2, 2)) + idat + iend},
      {"PLTE after IDAT", sig + palIhdr + plte + palIdat + plte + iend},
      {"two PLTE", sig + palIhdr + plte + plte + palIdat + iend},
      {"PLTE length 5", sig + palIhdr + PngChunk("PLTE", "abcde") + palIdat + iend},
      {"PLTE in grey", sig + PngChunk("IHDR", IhdrData(2, 1, 8, 0)) + plte + palIdat + iend},
      {"PLTE too long", sig + PngChunk("IHDR", IhdrData(2, 1, 1, 3)) + PngChunk("PLTE", std::string(9, 'x')) + palIdat + iend},
      {"tRNS before PLTE", sig + palIhdr + PngChunk("tRNS", "\1") + plte + palIdat + iend},
      {"tRNS past palette", sig + palIhdr + plte + PngChunk("tRNS", "\1\2\3") + palIdat + iend},
      {"tRNS with alpha", sig + PngChunk("IHDR", IhdrData(2, 1, 8, 6)) + PngChunk("tRNS", "\1") + idat + iend},
      {"tRNS after IDAT", sig + ihdr + idat + PngChunk("tRNS", std::string(6, '\0')) + iend},
      {"bKGD before PLTE", sig + palIhdr + PngChunk("bKGD", "\0") + plte + palIdat + iend},
      {"bKGD after IDAT", sig + ihdr + idat + PngChunk("bKGD", std::string(6, '\0')) + iend},
      {"chunk between IDATs", sig + ihdr + idat + PngChunk("tEXt", "a") + idat + iend},
      {"data after IEND", sig + ihdr + idat + iend + "x"},
      {"no IEND", sig + ihdr + idat},
      {"truncated chunk", (sig + ihdr + idat + iend).substr(0, 40)},
      {"palette without PLTE", sig + palIhdr + palIdat + iend},
      {"no IDAT", sig + ihdr + iend},
      {"filter 5", sig + ihdr + PngChunk("IDAT", Deflate(std::string("\5\0\0\0\0\0\0", 7))) + iend},
      {"IDAT inflates short", sig + ihdr + PngChunk("IDAT", Deflate(std::string(4, '\0'))) + iend},
      {"IDAT not zlib", sig + ihdr + PngChunk("IDAT", "not zlib data") + iend},
      {"huge header, tiny data", sig + PngChunk("IHDR", IhdrData(100000, 100000, 8, 6)) + idat + iend},
  };
  for (const auto& c : cases) {
    cPNG png;
    EXPECT_EQ(Load(png, c.bytes), kPngRejected) << c.name;
    EXPECT_FALSE(png.RejectReason().empty()) << c.name;
    EXPECT_TRUE(png.Image().Empty() && png.Chunks().empty() && png.Width() == 0) << c.name;
  }
}

TEST(PngReader, DecodedLayoutsFollowColourTypeAndDepth) {
  const struct {
    int colorType, depth, bitsPerPixel;
    bool withTrns;
  } cases[] = {{3, 8, 32, true} /* an empty tRNS still means alpha */, {0, 1, 1, false}, {0, 2, 8, false}, {0, 4, 4, false},  {0, 8, 8, false},  {0, 16, 8, false},
               {2, 8, 24, false}, {2, 16, 24, false}, {3, 1, 1, false}, {3, 2, 8, false}, {3, 4, 4, false},
               {3, 8, 8, false}, {3, 2, 32, true},  {4, 8, 32, false}, {4, 16, 32, false}, {6, 8, 32, false},
               {6, 16, 32, false}};
  for (const auto& c : cases) {
    const int channels = c.colorType == 2 ? 3 : c.colorType == 4 ? 2 : c.colorType == 6 ? 4 : 1;
    const std::size_t rowBytes = (5 * channels * c.depth + 7) / 8;
    std::string extra;
    if (c.colorType == 3) extra = PngChunk("PLTE", std::string(6, '\x40')) + (c.withTrns ? PngChunk("tRNS", c.depth == 8 ? "" : "\x10") : "");
    cPNG png;
    ASSERT_EQ(Load(png, SimplePng(IhdrData(5, 2, c.depth, c.colorType), UnfilteredRows({std::string(rowBytes, '\0'), std::string(rowBytes, '\0')}), extra)),
              kPngLoaded)
        << c.colorType << "/" << c.depth << ": " << png.RejectReason();
    const PngImage& image = png.Image();
    EXPECT_EQ(image.BitsPerPixel, c.bitsPerPixel) << c.colorType << "/" << c.depth;
    EXPECT_EQ(image.Stride, static_cast<std::size_t>((c.bitsPerPixel * 5 + 31) / 32 * 4));
    EXPECT_EQ(image.Palette.size(), c.bitsPerPixel <= 8 ? (1u << c.bitsPerPixel) : 0u);
  }
}

TEST(PngReader, SampleConversions) {
  cPNG png;
  // 16-bit grey keeps the high byte of each sample.
  ASSERT_EQ(Load(png, SimplePng(IhdrData(2, 1, 16, 0), UnfilteredRows({std::string("\x12\x34\xAB\xCD", 4)}))), kPngLoaded);
  EXPECT_EQ(png.Image().Bits[0], 0x12);
  EXPECT_EQ(png.Image().Bits[1], 0xAB);
  EXPECT_EQ(png.Image().Palette[0xAB][0], 0xAB);
  // 2-bit grey spreads its four levels over 0..255.
  ASSERT_EQ(Load(png, SimplePng(IhdrData(4, 1, 2, 0), UnfilteredRows({std::string("\x1B", 1)}))), kPngLoaded);
  const std::vector<std::uint8_t> grey = png.ToRGBA();
  EXPECT_EQ(grey[0], 0);
  EXPECT_EQ(grey[4], 85);
  EXPECT_EQ(grey[8], 170);
  EXPECT_EQ(grey[12], 255);
  // A tRNS shorter than the palette leaves the other entries opaque.
  const std::string plte = PngChunk("PLTE", std::string("\xFF\0\0\0\xFF\0\0\0\xFF", 9)) + PngChunk("tRNS", "\x80");
  ASSERT_EQ(Load(png, SimplePng(IhdrData(3, 1, 8, 3), UnfilteredRows({std::string("\0\1\2", 3)}), plte)), kPngLoaded);
  const std::vector<std::uint8_t> rgba = png.ToRGBA();
  EXPECT_EQ(std::vector<std::uint8_t>(rgba.begin(), rgba.end()),
            (std::vector<std::uint8_t>{255, 0, 0, 128, 0, 255, 0, 255, 0, 0, 255, 255}));
}

TEST(PngReader, InterlacedFilesDecodeUnlessSwitchedOff) {
  // 3 x 3 grey, Adam7: pass 1 (0,0), pass 4 (2,0), pass 5 (0,2) and (2,2), pass 6 (1,0)
  // (1,2), pass 7 rows 1 with three pixels. Pixel value = 10 * y + x.
  const std::string raw = UnfilteredRows({std::string("\x00", 1), std::string("\x02", 1), std::string("\x14\x16", 2),
                                          std::string("\x01", 1), std::string("\x15", 1),
                                          std::string("\x0A\x0B\x0C", 3)});
  const std::string bytes = SimplePng(IhdrData(3, 3, 8, 0, 1), raw);
  cPNG png;
  ASSERT_EQ(Load(png, bytes), kPngLoaded) << png.RejectReason();
  EXPECT_TRUE(png.Interlaced());
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(png.Image().Bits[y * 4 + x], 10 * y + x) << x << "," << y;
  png.SetDecodeInterlaced(false);
  ASSERT_EQ(Load(png, bytes), kPngLoaded);
  EXPECT_TRUE(png.Image().Empty());
  EXPECT_EQ(png.Height(), 3u);
}

}  // namespace
}  // namespace vantrel::browser
