// The displacement map filter on bitmaps: where each pixel comes from, mixes between
// pixels for fractional moves, and what each mode does with pixels pointing outside.
#include <gtest/gtest.h>

#include "flash/render/bitmap_ops.h"
#include "flash/render/effects.h"

namespace vantrel::flash {
namespace {

constexpr std::uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;

// A row of four opaque pixels moved by a map whose red channels are the given values
// (scale 256: one step of the map moves one pixel).
std::vector<std::uint32_t> Displaced(std::initializer_list<std::uint32_t> reds, Displacement::Mode mode,
                                     int mapX = 0) {
  BitmapPixels source(4, 1, false, 0);
  const std::uint32_t row[] = {kRed, kGreen, kBlue, kWhite};
  for (int x = 0; x < 4; ++x) source.SetPixel32(x, 0, row[x]);
  BitmapPixels map(static_cast<int>(reds.size()), 1, false, 0);
  int x = 0;
  for (const std::uint32_t red : reds) map.SetPixel32(x++, 0, 0xFF000000u | (red << 16));
  Displacement d;
  d.map = &map;
  d.mapX = mapX;
  d.componentX = 1;
  d.componentY = 4;  // blue 0 with scale 0: no move down
  d.scaleX = 256;
  d.mode = mode;
  d.color = 0xFF123456;
  BitmapPixels target(4, 1, false, 0);
  DisplaceInto(target, source, PixelArea{0, 0, 4, 1}, 0, 0, d);
  std::vector<std::uint32_t> out;
  for (int i = 0; i < 4; ++i) out.push_back(target.GetPixel32(i, 0));
  return out;
}

TEST(Displacement, PixelsComeFromWhereTheMapPoints) {
  // 128 stays, 129 takes the next pixel, 127 the one before; a half step mixes two.
  EXPECT_EQ(Displaced({128, 129, 127, 128}, Displacement::Mode::Wrap),
            (std::vector<std::uint32_t>{kRed, kBlue, kGreen, kWhite}));
  // Half a pixel (map 129 at scale 128) mixes black with 200 grey.
  BitmapPixels source(2, 1, false, 0xFFC8C8C8);
  source.SetPixel32(0, 0, 0xFF000000);
  BitmapPixels map(1, 1, false, 0xFF810000);
  Displacement half;
  half.map = &map;
  half.componentX = 1;
  half.scaleX = 128;
  BitmapPixels target(2, 1, false, 0);
  DisplaceInto(target, source, PixelArea{0, 0, 2, 1}, 0, 0, half);
  EXPECT_EQ(target.GetPixel32(0, 0), 0xFF646464u);
  // Past the map, nothing moves: the map starts at the second pixel.
  EXPECT_EQ(Displaced({129}, Displacement::Mode::Wrap, 1), (std::vector<std::uint32_t>{kRed, kBlue, kBlue, kWhite}));
}

TEST(Displacement, ModesForPixelsPointingOutside) {
  // The last pixel points one past the end.
  EXPECT_EQ(Displaced({128, 128, 128, 129}, Displacement::Mode::Wrap)[3], kRed);
  EXPECT_EQ(Displaced({128, 128, 128, 129}, Displacement::Mode::Clamp)[3], kWhite);
  EXPECT_EQ(Displaced({128, 128, 128, 129}, Displacement::Mode::Ignore)[3], kWhite);
  EXPECT_EQ(Displaced({128, 128, 128, 129}, Displacement::Mode::Color)[3], 0xFF123456u);
  EXPECT_EQ(Displaced({127, 128, 128, 128}, Displacement::Mode::Wrap)[0], kWhite);
}

// copyPixels through an alpha bitmap, as the player's pictures and traces show it.
TEST(CopyPixels, AnAlphaBitmapScalesTheSource) {
  // A transparent source: its alpha times the alpha bitmap's over 256 (rounded down),
  // its straight colour times that alpha to the nearest value.
  BitmapPixels source(1, 1, true, 0xAA2288DD);
  BitmapPixels alpha(1, 1, true, 0xEE000000);
  BitmapPixels red(1, 1, false, 0xFFFF0000);
  CopyPixelsInto(red, source, PixelArea{0, 0, 1, 1}, 0, 0, &alpha, 0, 0, false);
  EXPECT_EQ(red.GetPixel32(0, 0), 0xFF775589u);  // 22, 85, 137 at alpha 158 over red

  // An opaque source: every channel times the alpha over 256.
  BitmapPixels opaque(1, 1, false, 0x12345678);
  BitmapPixels faint(1, 1, true, 0x12345678);
  BitmapPixels clear(1, 1, true, 0);
  CopyPixelsInto(clear, opaque, PixelArea{0, 0, 1, 1}, 0, 0, &faint, 0, 0, false);
  EXPECT_EQ(clear.GetPixel32(0, 0), 0x112D5A78u);

  // An opaque alpha bitmap changes nothing: the source is copied as it is.
  BitmapPixels solid(1, 1, false, 0xFF000000);
  BitmapPixels copy(1, 1, true, 0);
  CopyPixelsInto(copy, source, PixelArea{0, 0, 1, 1}, 0, 0, &solid, 0, 0, false);
  EXPECT_EQ(copy.Raw(0, 0), source.Raw(0, 0));
}

TEST(BitmapColorTransform, RaisingOnlyAlphaLeavesThePixels) {
  BitmapPixels pixels(1, 1, true, 0x80FF0000);
  const std::uint32_t before = pixels.Raw(0, 0);
  ColorTransform alphaUp;
  alphaUp.mulA = 2;
  TransformArea(pixels, PixelArea{0, 0, 1, 1}, alphaUp);
  EXPECT_EQ(pixels.Raw(0, 0), before);
  ColorTransform alphaDown;
  alphaDown.mulA = 0.5;
  TransformArea(pixels, PixelArea{0, 0, 1, 1}, alphaDown);
  EXPECT_EQ(pixels.GetPixel32(0, 0) >> 24, 0x40u);
  // With any other change the alpha multiplier counts too.
  ColorTransform both = alphaUp;
  both.mulR = 0.5;
  TransformArea(pixels, PixelArea{0, 0, 1, 1}, both);
  EXPECT_EQ(pixels.GetPixel32(0, 0) >> 24, 0x80u);
}

TEST(BitmapDraw, AlphaAndEraseNeedADisplayObject) {
  EXPECT_FALSE(BitmapDrawShows(static_cast<std::uint8_t>(BlendMode::Alpha)));
  EXPECT_FALSE(BitmapDrawShows(static_cast<std::uint8_t>(BlendMode::Erase)));
  EXPECT_TRUE(BitmapDrawShows(static_cast<std::uint8_t>(BlendMode::Normal)));
  EXPECT_TRUE(BitmapDrawShows(static_cast<std::uint8_t>(BlendMode::Multiply)));
}

}  // namespace
}  // namespace vantrel::flash
