// The walk over the display list as scripts shape it: masks set by setMask, scroll
// rectangles and opaque backgrounds.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "flash/movie_test_support.h"
#include "flash/render/effects.h"
#include "flash/render/renderer.h"
#include "flash/raster/target.h"

namespace vantrel::flash {
namespace {

using testing::Actions;
using testing::Bytes;
using testing::Call;
using testing::PushTarget;
using testing::PutBytes;

// _root.createEmptyMovieClip(name, depth) with a filled rectangle drawn in it.
void MakeBox(Actions& a, const char* name, int depth, std::uint32_t rgb, double x, double y, double w, double h) {
  a.PushNumber(depth).PushString(name).PushNumber(2);
  PushTarget(a, "_root");
  a.PushString("createEmptyMovieClip").Op(0x52).Op(0x17);
  const std::string target = std::string("_root.") + name;
  Call(a, target.c_str(), "beginFill", {static_cast<double>(rgb)});
  Call(a, target.c_str(), "moveTo", {x, y});
  Call(a, target.c_str(), "lineTo", {x + w, y});
  Call(a, target.c_str(), "lineTo", {x + w, y + h});
  Call(a, target.c_str(), "lineTo", {x, y + h});
  Call(a, target.c_str(), "endFill", {});
}

// target.property = value (a number, or an object left on the stack by push).
void SetMember(Actions& a, const char* target, const char* property, double value) {
  PushTarget(a, target);
  a.PushString(property).PushNumber(value).Op(0x4F);  // setMember
}

QImage Draw(const Actions& actions) {
  Bytes tags = actions.Tag();
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  return DrawStage(StartMovie(tags, 1));
}

// A square movie in a wide view, shown whole ("Show All"): its red box reaches past the
// stage. Cropped, the stripes beside the stage are black and the box shows on the stage
// only; uncropped, the box shows wherever it reaches.
TEST(RenderWalk, CroppingTheViewportBlackensTheStripesBesideTheStage) {
  Actions a;
  MakeBox(a, "wide", 1, 0xff0000, -50, 20, 200, 60);
  Bytes tags = a.Tag();
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1);
  ASSERT_TRUE(run->player);
  const auto draw = [&](bool crop, ScaleMode mode) {
    QImage image(200, 100, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    ViewOptions options;
    options.quality = Quality::Low;
    options.scaleMode = mode;
    options.cropToStage = crop;
    RenderMovie(painter, image.size(), *run->player, options);
    return image;
  };
  const QImage open = draw(false, ScaleMode::ShowAll);
  EXPECT_EQ(open.pixel(20, 50), 0xffff0000u) << "the box beside the stage";
  EXPECT_EQ(open.pixel(20, 5), 0xffffffffu) << "the background";
  const QImage cropped = draw(true, ScaleMode::ShowAll);
  EXPECT_EQ(cropped.pixel(20, 50), 0xff000000u);
  EXPECT_EQ(cropped.pixel(20, 5), 0xff000000u);
  EXPECT_EQ(cropped.pixel(190, 50), 0xff000000u);
  EXPECT_EQ(cropped.pixel(100, 50), 0xffff0000u) << "the stage itself is drawn";
  EXPECT_EQ(cropped.pixel(60, 5), 0xffffffffu);
  // Other scale modes fill the view with the stage or leave it as it is.
  EXPECT_EQ(draw(true, ScaleMode::NoScale).pixel(20, 50), open.pixel(20, 50));
}

TEST(RenderWalk, SetMaskShowsTheMaskedClipOnlyWhereTheMaskCovers) {
  Actions a;
  MakeBox(a, "content", 1, 0xff0000, 0, 0, 100, 100);
  MakeBox(a, "mask", 2, 0x00ff00, 20, 20, 30, 30);
  SetMember(a, "_root.mask", "_x", 10);  // the mask counts where it stands on the stage
  PushTarget(a, "_root.mask");
  a.PushNumber(1);
  PushTarget(a, "_root.content");
  a.PushString("setMask").Op(0x52).Op(0x17);
  const QImage image = Draw(a);
  EXPECT_EQ(image.pixel(40, 30), 0xffff0000u);
  EXPECT_EQ(image.pixel(25, 30), 0xffffffffu) << "left of the moved mask";
  EXPECT_EQ(image.pixel(70, 70), 0xffffffffu);
  EXPECT_NE(image.pixel(45, 45), 0xff00ff00u) << "the mask itself is not drawn";
}

TEST(RenderWalk, ATakenMaskLeavesItsFormerClipUnmasked) {
  Actions a;
  MakeBox(a, "first", 1, 0xff0000, 0, 0, 50, 100);
  MakeBox(a, "second", 2, 0x0000ff, 50, 0, 50, 100);
  MakeBox(a, "mask", 3, 0x00ff00, 0, 0, 100, 10);
  for (const char* clip : {"_root.first", "_root.second"}) {
    PushTarget(a, "_root.mask");
    a.PushNumber(1);
    PushTarget(a, clip);
    a.PushString("setMask").Op(0x52).Op(0x17);
  }
  const QImage image = Draw(a);
  EXPECT_EQ(image.pixel(25, 50), 0xffff0000u) << "first lost its mask";
  EXPECT_EQ(image.pixel(75, 5), 0xff0000ffu);
  EXPECT_EQ(image.pixel(75, 50), 0xffffffffu) << "second is masked";
}

// Two frames: a red box under a clip layer of a green rectangle (scaled, off the pixel
// grid, so its edges cover pixels partly) that moves on the second frame.
Bytes MovingMaskMovie() {
  Bytes tags = testing::DefineRectangle(1, 0, 0, 2000, 2000, 255, 0, 0);
  PutBytes(tags, testing::DefineRectangle(2, 0, 0, 600, 500, 0, 255, 0));
  testing::Place mask;
  mask.depth = 1;
  mask.character = 2;
  mask.clipDepth = 2;
  mask.hasMatrix = true;
  mask.x = 207;
  mask.y = 113;
  mask.scaleX = 1.37;
  mask.scaleY = 0.83;
  PutBytes(tags, testing::PlaceObject2(mask));
  testing::Place box;
  box.depth = 2;
  box.character = 1;
  PutBytes(tags, testing::PlaceObject2(box));
  PutBytes(tags, testing::ShowFrame());
  mask.character = -1;
  mask.move = true;
  mask.clipDepth = -1;
  mask.x = 531;
  mask.y = 377;
  PutBytes(tags, testing::PlaceObject2(mask));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  return tags;
}

QImage DrawHigh(const MovieRuntime& player) {
  QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&image);
  ViewOptions options;
  options.quality = Quality::High;
  RenderMovie(painter, image.size(), player, options);
  return image;
}

TEST(RenderWalk, AMaskDrawnAlikeAgainIsPutBackAndFollowsItsMoves) {
  auto run = StartMovie(MovingMaskMovie(), 2);
  ASSERT_TRUE(run->player);
  const QImage first = DrawHigh(*run->player);
  EXPECT_EQ(first.pixel(20, 12), 0xffff0000u);
  EXPECT_EQ(first.pixel(60, 12), 0xffffffffu);
  const QRgb edge = first.pixel(10, 12);  // the mask's left edge is at 10.35 px
  EXPECT_TRUE(edge != 0xffff0000u && edge != 0xffffffffu) << std::hex << edge;
  // The second drawing keeps the mask, the third puts it back: the same pixels.
  EXPECT_EQ(DrawHigh(*run->player), first);
  EXPECT_EQ(DrawHigh(*run->player), first);
  // Moved, it is drawn where it now stands, as a movie never drawn before shows it.
  run->player->Tick();
  auto fresh = StartMovie(MovingMaskMovie(), 2);
  fresh->player->Tick();
  const QImage moved = DrawHigh(*fresh->player);
  EXPECT_NE(moved, first);
  EXPECT_EQ(DrawHigh(*run->player), moved);
  EXPECT_EQ(DrawHigh(*run->player), moved);
  EXPECT_EQ(DrawHigh(*run->player), moved);
}

TEST(RenderWalk, ScrollRectCropsAndMovesTheContent) {
  Actions a;
  MakeBox(a, "clip", 1, 0xff0000, 0, 0, 40, 40);
  SetMember(a, "_root.clip", "_x", 50);
  SetMember(a, "_root.clip", "_y", 50);
  // clip.scrollRect = new flash.geom.Rectangle(20, 20, 30, 30)
  PushTarget(a, "_root.clip");
  a.PushString("scrollRect");
  a.PushNumber(30).PushNumber(30).PushNumber(20).PushNumber(20).PushNumber(4);
  a.PushString("flash").GetVariable().PushString("geom").Op(0x4E).PushString("Rectangle");
  a.Op(0x53);  // newMethod
  a.Op(0x4F);
  const QImage image = Draw(a);
  EXPECT_EQ(image.pixel(55, 55), 0xffff0000u) << "the box's corner at 20,20 is at the clip's origin";
  EXPECT_EQ(image.pixel(75, 55), 0xffffffffu) << "the box ends 20 pixels in";
  EXPECT_EQ(image.pixel(45, 55), 0xffffffffu);
  EXPECT_EQ(image.pixel(55, 85), 0xffffffffu);
}

TEST(RenderWalk, OpaqueBackgroundFillsTheClipsBoundsAndCanBeRemoved) {
  Actions a;
  MakeBox(a, "clip", 1, 0xff0000, 10, 10, 30, 30);
  // A second box widens the bounds with nothing drawn between them.
  Call(a, "_root.clip", "beginFill", {0xff0000});
  Call(a, "_root.clip", "moveTo", {60, 60});
  Call(a, "_root.clip", "lineTo", {70, 60});
  Call(a, "_root.clip", "lineTo", {70, 70});
  Call(a, "_root.clip", "endFill", {});
  SetMember(a, "_root.clip", "opaqueBackground", 0x0000ff);
  QImage image = Draw(a);
  EXPECT_EQ(image.pixel(50, 50), 0xff0000ffu);
  EXPECT_EQ(image.pixel(20, 20), 0xffff0000u);
  EXPECT_EQ(image.pixel(5, 5), 0xffffffffu);
  PushTarget(a, "_root.clip");
  a.PushString("opaqueBackground").Op(0x96);
  a.Raw({1, 0, 3});  // push undefined
  a.Op(0x4F);
  image = Draw(a);
  EXPECT_EQ(image.pixel(50, 50), 0xffffffffu);
}

TEST(RenderWalk, ACachedClipSitsOnWholePixels) {
  const auto firstColumn = [](bool cached) {
    Actions a;
    MakeBox(a, "clip", 1, 0xff0000, 0, 0, 20, 20);
    SetMember(a, "_root.clip", "_x", 10.5);
    if (cached) SetMember(a, "_root.clip", "cacheAsBitmap", 1);
    const QImage image = Draw(a);
    int x = 0;
    while (x < 100 && image.pixel(x, 10) != 0xffff0000u) ++x;
    return x;
  };
  EXPECT_EQ(firstColumn(false), 10) << "the edge through the pixel centre counts";
  EXPECT_EQ(firstColumn(true), 11) << "the cached bitmap moved to x = 11";
}

TEST(RenderWalk, AnOpaqueBackgroundDoesNotMoveItsObject) {
  const auto firstColumn = [](bool opaque) {
    Actions a;
    MakeBox(a, "clip", 1, 0xff0000, 0, 0, 20, 20);
    SetMember(a, "_root.clip", "_x", 10.75);
    if (opaque) SetMember(a, "_root.clip", "opaqueBackground", 0x0000ff);
    const QImage image = Draw(a);
    int x = 0;
    while (x < 100 && image.pixel(x, 10) != 0xffff0000u) ++x;
    return std::pair(x, image.pixel(10, 10));
  };
  EXPECT_EQ(firstColumn(false).first, 11) << "the box starts right of pixel 10's centre";
  EXPECT_EQ(firstColumn(true).first, 11) << "and stays there with an opaque background";
  EXPECT_EQ(firstColumn(true).second, 0xff0000ffu) << "which fills from pixel 10";
}

TEST(RenderWalk, ATextFieldsBackgroundAndBorderTakeTheScriptsColours) {
  Actions a;
  // _root.createTextField("field", 1, 10, 20, 30, 40)
  for (const double n : {40.0, 30.0, 20.0, 10.0, 1.0}) a.PushNumber(n);
  a.PushString("field").PushNumber(6);
  PushTarget(a, "_root");
  a.PushString("createTextField").Op(0x52).Op(0x17);
  SetMember(a, "_root.field", "background", 1);
  SetMember(a, "_root.field", "backgroundColor", 0x00ff00);
  SetMember(a, "_root.field", "border", 1);
  SetMember(a, "_root.field", "borderColor", 0x0000ff);
  const QImage image = Draw(a);
  EXPECT_EQ(image.pixel(25, 40), 0xff00ff00u) << "inside";
  for (const QPoint p : {QPoint(10, 20), QPoint(40, 20), QPoint(10, 60), QPoint(39, 60), QPoint(40, 59), QPoint(25, 60)})
    EXPECT_EQ(image.pixel(p), 0xff0000ffu) << "border at " << p.x() << "," << p.y();
  EXPECT_EQ(image.pixel(40, 60), 0xffffffffu) << "the outline leaves its bottom right corner out";
  EXPECT_EQ(image.pixel(41, 40), 0xffffffffu) << "outside";
  EXPECT_EQ(image.pixel(25, 61), 0xffffffffu) << "outside";
}

// _root.createTextField("field", 1, x, 20, 30, 40) as an input field holding text, with
// the focus (which selects all of it) when focused.
QImage DrawInputField(double x, const char* text, bool focused) {
  Actions a;
  for (const double n : {40.0, 30.0, 20.0, x, 1.0}) a.PushNumber(n);
  a.PushString("field").PushNumber(6);
  PushTarget(a, "_root");
  a.PushString("createTextField").Op(0x52).Op(0x17);
  PushTarget(a, "_root.field");
  a.PushString("type").PushString("input").Op(0x4F);
  PushTarget(a, "_root.field");
  a.PushString("text").PushString(text).Op(0x4F);
  if (focused) {
    a.PushString("_root.field").PushNumber(1).PushString("Selection").GetVariable();
    a.PushString("setFocus").Op(0x52).Op(0x17);
  }
  return Draw(a);
}

// The dark columns of row y.
std::vector<int> DarkColumns(const QImage& image, int y) {
  std::vector<int> columns;
  for (int x = 0; x < image.width(); ++x) {
    if (qRed(image.pixel(x, y)) < 128) columns.push_back(x);
  }
  return columns;
}

TEST(RenderWalk, AFocusedEmptyInputFieldShowsItsCaretInsideTheGutter) {
  // One pixel wide on the whole pixel at or left of its place, two pixels in.
  EXPECT_EQ(DarkColumns(DrawInputField(10, "", true), 25), std::vector<int>{12});
  EXPECT_EQ(DarkColumns(DrawInputField(10.5, "", true), 25), std::vector<int>{12});
  const QImage image = DrawInputField(10, "", true);
  EXPECT_EQ(qRed(image.pixel(12, 21)), 255) << "the caret starts below the gutter";
  EXPECT_LT(qRed(image.pixel(12, 22)), 128);
  EXPECT_LT(qRed(image.pixel(12, 33)), 128) << "as tall as the line";
  EXPECT_EQ(qRed(image.pixel(12, 45)), 255);
  EXPECT_TRUE(DarkColumns(DrawInputField(10, "", false), 25).empty()) << "no caret without the focus";
}

TEST(RenderWalk, ASelectionHidesTheCaret) {
  // The focus selects the whole text; the glyphs are drawn, the caret is not.
  const QImage selected = DrawInputField(10, "ii", true);
  const QImage unfocused = DrawInputField(10, "ii", false);
  for (int y = 20; y < 60; ++y) EXPECT_EQ(DarkColumns(selected, y), DarkColumns(unfocused, y)) << "row " << y;
}

// Every clip under clip, itself first.
std::vector<MovieClip*> ClipsUnder(MovieClip& clip) {
  std::vector<MovieClip*> all{&clip};
  for (std::size_t i = 0; i < all.size(); ++i)
    for (const auto& [depth, child] : all[i]->Children())
      if (child->IsContainer()) all.push_back(static_cast<MovieClip*>(child));
  return all;
}

Filter Blur(double size, int passes) {
  FilterParams blur;
  blur.type = 1;
  blur.blurX = blur.blurY = size;
  blur.passes = passes;
  return EncodeFilter(blur);
}

// A sprite that shows a box (size twips square) and places itself twice: thousands of
// nested clips (the creation limit stops it), each given filter.
struct NestedBoxes {
  std::unique_ptr<RunningMovie> run;
  MovieClip* outer = nullptr;
  std::vector<MovieClip*> clips;
};
NestedBoxes SelfPlacingBoxes(std::int32_t size, const Filter& filter) {
  Bytes inner;
  testing::Place box;
  box.character = 1;
  PutBytes(inner, testing::PlaceObject2(box));
  for (std::uint16_t depth : {2, 3}) {
    testing::Place self;
    self.depth = depth;
    self.character = 2;
    self.hasMatrix = true;
    self.x = 20 * depth;
    PutBytes(inner, testing::PlaceObject2(self));
  }
  PutBytes(inner, testing::ShowFrame());
  PutBytes(inner, testing::End());
  Bytes tags = testing::DefineRectangle(1, 400, 400, size, size, 0, 0, 200);
  PutBytes(tags, testing::DefineSprite(2, 1, inner));
  testing::Place top;
  top.character = 2;
  PutBytes(tags, testing::PlaceObject2(top));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  NestedBoxes boxes;
  boxes.run = StartMovie(tags, 1);
  if (boxes.run->player) boxes.outer = dynamic_cast<MovieClip*>(ObjectAt(boxes.run->player->Root(), 1));
  if (boxes.outer) boxes.clips = ClipsUnder(*boxes.outer);
  for (MovieClip* clip : boxes.clips) clip->filters = {filter};
  return boxes;
}

// Each blurred clip of such a movie wants a layer of the whole picture plus the blur's
// reach: drawn in full, one frame took hours. Past the drawing's budget the rest are
// drawn plain, and a frame within it is drawn whole.
TEST(RenderWalk, FiltersPastTheDrawingBudgetAreLeftOut) {
  const NestedBoxes boxes = SelfPlacingBoxes(600, Blur(100, 15));
  ASSERT_TRUE(boxes.outer);
  EXPECT_GT(boxes.clips.size(), 10000u);
  QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
  {
    QPainter painter(&image);
    EXPECT_FALSE(RenderMovie(painter, image.size(), *boxes.run->player, ViewOptions{}));
  }
  // One blurred clip is well within the budget: the box's left edge (x = 20) is soft.
  for (MovieClip* clip : boxes.clips) clip->filters.clear();
  boxes.outer->filters = {Blur(8, 1)};
  {
    QPainter painter(&image);
    EXPECT_TRUE(RenderMovie(painter, image.size(), *boxes.run->player, ViewOptions{}));
  }
  EXPECT_GT(qRed(image.pixel(20, 30)), 40);
  EXPECT_LT(qRed(image.pixel(20, 30)), 215);
}

// A layer costs its setting up and blending back however small it is: thousands of
// layers of a pixel fit the budget, not a sixteenth of it.
TEST(RenderWalk, EveryLayerCostsTheDrawingBudgetItsSettingUp) {
  const NestedBoxes boxes = SelfPlacingBoxes(20, Blur(1, 1));
  ASSERT_TRUE(boxes.outer);
  EXPECT_GT(boxes.clips.size(), 10000u);
  QImage image(300, 100, QImage::Format_ARGB32_Premultiplied);  // all the boxes show
  QPainter painter(&image);
  EXPECT_TRUE(RenderMovie(painter, image.size(), *boxes.run->player, ViewOptions{}));
  ViewOptions small;
  small.smallEffectsBudget = true;
  EXPECT_FALSE(RenderMovie(painter, image.size(), *boxes.run->player, small));
}

// A shape scaled to billions of pixels (its bounds pass the int range) still covers the
// picture: as itself, as a mask and with a filter.
TEST(RenderWalk, AShapeScaledPastTheIntRangeStillCoversThePicture) {
  Actions a;
  MakeBox(a, "huge", 1, 0xff0000, -1, -1, 2, 2);
  MakeBox(a, "content", 2, 0x0000ff, 0, 50, 100, 50);
  MakeBox(a, "mask", 3, 0x00ff00, -1, -1, 2, 2);
  for (const char* clip : {"_root.huge", "_root.mask"})
    for (const char* scale : {"_xscale", "_yscale"}) SetMember(a, clip, scale, 1e12);
  PushTarget(a, "_root.mask");
  a.PushNumber(1);
  PushTarget(a, "_root.content");
  a.PushString("setMask").Op(0x52).Op(0x17);
  Bytes tags = a.Tag();
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1);
  ASSERT_TRUE(run->player);
  for (bool blurred : {false, true}) {
    if (blurred) run->player->Root().ChildByName("huge", true)->filters = {Blur(4, 1)};
    QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    RenderMovie(painter, image.size(), *run->player, ViewOptions{});
    EXPECT_EQ(image.pixel(50, 25), 0xffff0000u) << (blurred ? "blurred" : "plain");
    EXPECT_EQ(image.pixel(50, 75), 0xff0000ffu) << "masked by the huge mask";
  }
  // The padded pixel bounds of such a shape stay a valid rectangle (rounding to int and
  // then padding would wrap round).
  const QRect padded = render::PaddedPixelRect(QRectF(-1e10, -1e10, 2e10, 2e10), 2);
  EXPECT_TRUE(padded.isValid());
  EXPECT_TRUE(padded.contains(QRect(-1000000, -1000000, 2000000, 2000000)));
  EXPECT_TRUE(render::PaddedPixelRect(QRectF(0, 0, std::nan(""), 1), 2).isEmpty());
  EXPECT_EQ(render::PaddedPixelRect(QRectF(0.5, 1, 3, 2.5), 1), QRect(-1, 0, 6, 5));
}

}  // namespace
}  // namespace vantrel::flash
