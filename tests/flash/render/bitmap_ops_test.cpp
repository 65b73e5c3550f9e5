// The displacement map filter on bitmaps: where each pixel comes from, mixes between
// pixels for fractional moves, and what each mode does with pixels pointing outside.
#include <gtest/gtest.h>

#include "flash/render/bitmap_ops.h"

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

}  // namespace
}  // namespace vantrel::flash
