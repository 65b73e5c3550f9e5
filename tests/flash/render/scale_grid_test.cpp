// Nine-slice scaling: a grid from DefineScalingGrid or from a script keeps the corners of
// a clip's shapes at their own size while the clip is scaled.
#include <gtest/gtest.h>

#include "flash/display/scale_grid.h"
#include "flash/movie_test_support.h"

namespace vantrel::flash {
namespace {

using testing::Actions;
using testing::Bytes;
using testing::PushTarget;
using testing::PutBytes;
using testing::PutU16;

Bytes DefineScalingGrid(std::uint16_t id, std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) {
  Bytes body;
  PutU16(body, id);
  PutBytes(body, testing::RectRecord(x, x + w, y, y + h));
  return testing::Tag(78, body);
}

QImage Draw(const Bytes& tags) { return DrawStage(StartMovie(tags, 1)); }

bool IsBlue(const QImage& image, int x, int y) { return image.pixel(x, y) == qRgb(0, 0, 255); }
bool IsRed(const QImage& image, int x, int y) { return image.pixel(x, y) == qRgb(255, 0, 0); }

// A sprite of a blue band 10 pixels wide at the left and red to 40 pixels, 40 tall, with
// a grid 10 pixels in from each side, placed at 2.5 times its width (100 pixels).
Bytes GridSprite(bool withGrid) {
  Bytes tags;
  PutBytes(tags, testing::DefineRectangle(1, 0, 0, 200, 800, 0, 0, 255));
  PutBytes(tags, testing::DefineRectangle(2, 200, 0, 600, 800, 255, 0, 0));
  Bytes inner;
  testing::Place band;
  band.character = 1;
  PutBytes(inner, testing::PlaceObject2(band));
  band.character = 2;
  band.depth = 2;
  PutBytes(inner, testing::PlaceObject2(band));
  PutBytes(inner, testing::ShowFrame());
  PutBytes(inner, testing::End());
  PutBytes(tags, testing::DefineSprite(3, 1, inner));
  if (withGrid) PutBytes(tags, DefineScalingGrid(3, 200, 200, 400, 400));
  testing::Place place;
  place.character = 3;
  place.hasMatrix = true;
  place.scaleX = 2.5;
  PutBytes(tags, testing::PlaceObject2(place));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  return tags;
}

TEST(ScaleGrid, ADefinedGridKeepsTheCornersOfTheSpritesShapes) {
  const QImage plain = Draw(GridSprite(false));
  EXPECT_TRUE(IsBlue(plain, 20, 20));  // the band scales to 25 pixels
  EXPECT_TRUE(IsRed(plain, 95, 20));

  const QImage sliced = Draw(GridSprite(true));
  EXPECT_TRUE(IsBlue(sliced, 5, 20));
  EXPECT_TRUE(IsRed(sliced, 12, 20));  // the band keeps its 10 pixels
  EXPECT_TRUE(IsRed(sliced, 95, 20));
}

// Scaled below the size of its two ends, the ends shrink together and the middle goes.
TEST(ScaleGrid, SlicingMapsPointsPiecewiseAndBack) {
  const QRectF bounds(0, 0, 800, 800), grid(200, 200, 400, 400);
  const GridSlicing wide(bounds, grid, 2.5, 1);
  EXPECT_DOUBLE_EQ(wide.Map({100, 0}).x(), 100);   // left end: own size
  EXPECT_DOUBLE_EQ(wide.Map({700, 0}).x(), 1900);  // right end: 100 from the scaled edge
  EXPECT_DOUBLE_EQ(wide.Map({400, 0}).x(), 1000);  // middle: stretched from 400 to 1600
  for (double x : {0.0, 150.0, 200.0, 333.0, 600.0, 799.0})
    EXPECT_NEAR(wide.Unmap(wide.Map({x, 0})).x(), x, 1e-9);

  const GridSlicing narrow(bounds, grid, 0.25, 1);  // 200 twips for 400 of ends
  EXPECT_DOUBLE_EQ(narrow.Map({200, 0}).x(), 100);
  EXPECT_DOUBLE_EQ(narrow.Map({400, 0}).x(), 100);
  EXPECT_DOUBLE_EQ(narrow.Map({800, 0}).x(), 200);
  EXPECT_DOUBLE_EQ(narrow.Unmap({150, 0}).x(), 700);
}

TEST(ScaleGrid, ATurnedSkewedOrMisplacedGridScalesNormally) {
  auto run = StartMovie(GridSprite(true), 1);
  ASSERT_TRUE(run->player);
  DisplayObject* clip = ObjectAt(run->player->Root(), 1);
  ASSERT_TRUE(clip);
  EXPECT_TRUE(GridSlicing::Of(*clip));
  Matrix turned = clip->GetMatrix();
  turned.b = 0.1;
  clip->SetMatrix(turned);
  EXPECT_FALSE(GridSlicing::Of(*clip));
  turned.b = 1.0 / 65536;  // what an authoring tool leaves of "upright"
  clip->SetMatrix(turned);
  EXPECT_TRUE(GridSlicing::Of(*clip));
  clip->scale9Grid = QRectF(0, 200, 400, 400);  // touches the left edge
  EXPECT_FALSE(GridSlicing::Of(*clip));
}

// A script's grid on a drawn clip (SWF 8): read back as a Rectangle, and drawn sliced.
TEST(ScaleGrid, ScriptsSetAndReadTheGridOfADrawing) {
  Actions a;
  a.PushNumber(1).PushString("b").PushNumber(2);
  PushTarget(a, "_root");
  a.PushString("createEmptyMovieClip").Op(0x52).Op(0x17);
  const auto box = [&](double rgb, double x0, double x1) {
    testing::Call(a, "_root.b", "beginFill", {rgb});
    testing::Call(a, "_root.b", "moveTo", {x0, 0});
    testing::Call(a, "_root.b", "lineTo", {x1, 0});
    testing::Call(a, "_root.b", "lineTo", {x1, 40});
    testing::Call(a, "_root.b", "lineTo", {x0, 40});
    testing::Call(a, "_root.b", "endFill", {});
  };
  box(0x0000ff, 0, 10);
  box(0xff0000, 10, 40);
  PushTarget(a, "_root.b");
  a.PushString("scale9Grid");
  a.PushNumber(20).PushNumber(20).PushNumber(10).PushNumber(10).PushNumber(4);
  a.PushString("flash").GetVariable().PushString("geom").Op(0x4E).PushString("Rectangle").Op(0x53);
  a.Op(0x4F);
  PushTarget(a, "_root.b");
  a.PushString("_xscale").PushNumber(250).Op(0x4F);
  PushTarget(a, "_root.b");
  a.PushString("scale9Grid").Op(0x4E).Trace();
  Bytes tags = a.Tag();
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1);
  ASSERT_TRUE(run->player);
  ASSERT_EQ(run->traces.size(), 1u);
  EXPECT_EQ(run->traces[0], "(x=10, y=10, w=20, h=20)");
  const QImage sliced = Draw(tags);
  EXPECT_TRUE(IsBlue(sliced, 5, 20));
  EXPECT_TRUE(IsRed(sliced, 12, 20));
  EXPECT_TRUE(IsRed(sliced, 95, 20));
}

}  // namespace
}  // namespace vantrel::flash
