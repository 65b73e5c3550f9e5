// What the drawing API's shapes look like once drawn: fills left open at the end of a
// frame, gradient fills and gradient lines, and the line options of lineStyle.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <initializer_list>

#include "flash/movie_test_support.h"
#include "flash/render/renderer.h"

namespace vantrel::flash {
namespace {

using testing::Actions;
using testing::Bytes;
using testing::PutBytes;

// Calls _root.method(args...) and drops the result; numbers only.
void CallRoot(Actions& a, const char* method, std::initializer_list<double> args) {
  for (auto it = std::rbegin(args); it != std::rend(args); ++it) a.PushNumber(*it);
  a.PushNumber(static_cast<double>(args.size())).PushString("_root").GetVariable().PushString(method);
  a.Op(0x52).Op(0x17);  // callMethod, pop
}

// Pushes a new array of the numbers.
void PushArray(Actions& a, std::initializer_list<double> values) {
  for (auto it = std::rbegin(values); it != std::rend(values); ++it) a.PushNumber(*it);
  a.PushNumber(static_cast<double>(values.size())).Op(0x42);  // initArray
}

// _root.beginGradientFill("linear", [red, blue], [100, 100], ratios, box over the stage)
// or lineGradientStyle with the same arguments.
void GradientCall(Actions& a, const char* method, std::initializer_list<double> ratios) {
  a.PushString("matrixType").PushString("box").PushString("x").PushNumber(0).PushString("y").PushNumber(0);
  a.PushString("w").PushNumber(100).PushString("h").PushNumber(100).PushString("r").PushNumber(0);
  a.PushNumber(6).Op(0x43);  // initObject
  PushArray(a, ratios);
  PushArray(a, {100, 100});
  PushArray(a, {0xff0000, 0x0000ff});
  a.PushString("linear").PushNumber(5).PushString("_root").GetVariable().PushString(method);
  a.Op(0x52).Op(0x17);
}

QImage Draw(const Actions& actions, Quality quality = Quality::Low) {
  Bytes tags = actions.Tag();
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  return DrawStage(StartMovie(tags, 1), quality);
}

TEST(RenderDrawing, AFillLeftOpenIsDrawnClosedWithItsLine) {
  Actions a;
  CallRoot(a, "beginFill", {0xff0000});
  CallRoot(a, "lineStyle", {2, 0x000000});
  CallRoot(a, "moveTo", {10, 10});
  CallRoot(a, "lineTo", {90, 10});
  CallRoot(a, "lineTo", {90, 90});
  const QImage image = Draw(a);
  EXPECT_EQ(image.pixel(80, 30), 0xffff0000u) << "inside the triangle the fill closes";
  EXPECT_EQ(image.pixel(20, 70), 0xffffffffu);
  EXPECT_EQ(image.pixel(50, 50), 0xff000000u) << "the closing edge carries the line";
}

TEST(RenderDrawing, GradientFillsAndLinesFollowTheirBox) {
  Actions a;
  GradientCall(a, "beginGradientFill", {0, 255});
  CallRoot(a, "moveTo", {0, 0});
  CallRoot(a, "lineTo", {100, 0});
  CallRoot(a, "lineTo", {100, 50});
  CallRoot(a, "lineTo", {0, 50});
  CallRoot(a, "endFill", {});
  // A gradient line along the bottom.
  CallRoot(a, "lineStyle", {10, 0x00ff00});
  GradientCall(a, "lineGradientStyle", {0, 255});
  CallRoot(a, "moveTo", {0, 80});
  CallRoot(a, "lineTo", {100, 80});
  const QImage image = Draw(a);
  const QRgb left = image.pixel(2, 25), right = image.pixel(97, 25);
  EXPECT_GT(qRed(left), 240);
  EXPECT_LT(qBlue(left), 15);
  EXPECT_GT(qBlue(right), 240);
  EXPECT_LT(qRed(right), 15);
  const QRgb middle = image.pixel(50, 25);
  EXPECT_NEAR(qRed(middle), 128, 8);
  EXPECT_NEAR(qBlue(middle), 128, 8);
  EXPECT_GT(qRed(image.pixel(2, 80)), 240) << "the line takes the gradient, not its colour";
  EXPECT_GT(qBlue(image.pixel(97, 80)), 240);
  EXPECT_EQ(qGreen(image.pixel(50, 80)), 0);
}

TEST(RenderDrawing, GradientCallsThatDescribeNoGradientChangeNothing) {
  Actions a;
  CallRoot(a, "beginFill", {0x00ff00});
  GradientCall(a, "beginGradientFill", {0});         // two colours, one ratio
  GradientCall(a, "beginGradientFill", {-1, 255});   // a ratio of -1
  CallRoot(a, "moveTo", {0, 0});
  CallRoot(a, "lineTo", {100, 0});
  CallRoot(a, "lineTo", {100, 100});
  CallRoot(a, "lineTo", {0, 100});
  CallRoot(a, "endFill", {});
  EXPECT_EQ(Draw(a).pixel(50, 50), 0xff00ff00u) << "the solid fill stays";
}

TEST(RenderDrawing, LineStyleTakesCapsAndJoins) {
  // A thick line with no caps ends where its path ends; round caps reach past it.
  const auto endOfLine = [](double caps) {
    Actions a;
    // lineStyle(20, black, 100, false, "normal", caps, "round")
    a.PushString("round").PushString(caps == 0 ? "none" : "round").PushString("normal").PushNumber(0);
    a.PushNumber(100).PushNumber(0x000000).PushNumber(20).PushNumber(7).PushString("_root").GetVariable();
    a.PushString("lineStyle");
    a.Op(0x52).Op(0x17);
    CallRoot(a, "moveTo", {20, 50});
    CallRoot(a, "lineTo", {80, 50});
    return Draw(a);
  };
  EXPECT_EQ(endOfLine(0).pixel(85, 50), 0xffffffffu);
  EXPECT_EQ(endOfLine(1).pixel(85, 50), 0xff000000u);
}

// _root.createTextField(name, depth, x, y, 20, 20) with a border, then name.property = value.
void BorderedField(Actions& a, const char* name, double depth, double x, double y, const char* property, double value) {
  for (double v : {20.0, 20.0, y, x, depth}) a.PushNumber(v);
  a.PushString(name).PushNumber(6).PushString("_root").GetVariable().PushString("createTextField").Op(0x52).Op(0x17);
  a.PushString("_root").GetVariable().PushString(name).Op(0x4E).PushString("border").PushNumber(1).Op(0x4F);
  a.PushString("_root").GetVariable().PushString(name).Op(0x4E).PushString(property).PushNumber(value).Op(0x4F);
}

// Device text fields are drawn upright or not at all: a turn of 45 degrees or a flip
// hides the field with its border, a turn of a fraction of a degree is dropped.
TEST(RenderDrawing, DeviceTextFieldsAreDrawnUprightOrNotAtAll) {
  Actions a;
  BorderedField(a, "upright", 1, 5, 5, "_x", 5);
  BorderedField(a, "turned", 2, 50, 5, "_rotation", 45);
  BorderedField(a, "flipped", 3, 50, 50, "_xscale", -100);
  BorderedField(a, "tilted", 4, 5, 50, "_rotation", 0.3);
  const QImage image = Draw(a);
  EXPECT_EQ(image.pixel(5, 5), 0xff000000u);
  EXPECT_EQ(image.pixel(24, 25), 0xff000000u);
  int dark = 0;
  for (int y = 0; y < 100; ++y)
    for (int x = 30; x < 100; ++x) dark += qRed(image.pixel(x, y)) < 128;
  EXPECT_EQ(dark, 0) << "neither the turned nor the flipped field shows";
  for (int x = 5; x <= 25; ++x) {
    EXPECT_EQ(image.pixel(x, 50), 0xff000000u) << x;
    EXPECT_EQ(image.pixel(x, 51), x == 5 || x == 25 ? 0xff000000u : 0xffffffffu) << x;
  }
}

// At high quality the box of a field of embedded glyphs covers part of its bottom right
// corner pixel, a device text field's box does not; turned, its background is covered
// like a shape, its edges partly.
TEST(RenderDrawing, FieldBoxesOfEmbeddedTextCoverTheCornerAndTurnSmoothly) {
  Actions a;
  BorderedField(a, "device", 1, 5, 5, "_x", 5);
  BorderedField(a, "embedded", 2, 5, 50, "embedFonts", 1);
  BorderedField(a, "turned", 3, 70, 30, "embedFonts", 1);
  a.PushString("_root").GetVariable().PushString("turned").Op(0x4E).PushString("_rotation").PushNumber(45).Op(0x4F);
  a.PushString("_root").GetVariable().PushString("turned").Op(0x4E).PushString("background").PushNumber(1).Op(0x4F);
  a.PushString("_root").GetVariable().PushString("turned").Op(0x4E).PushString("backgroundColor").PushNumber(0xFF).Op(0x4F);
  const QImage image = Draw(a, Quality::High);
  EXPECT_EQ(image.pixel(25, 25), 0xffffffffu);
  const QRgb corner = image.pixel(25, 70);
  EXPECT_GT(qRed(corner), 0);
  EXPECT_LT(qRed(corner), 255);
  int partial = 0;
  for (int y = 20; y < 100; ++y)
    for (int x = 40; x < 100; ++x) {
      const int blue = qBlue(image.pixel(x, y)), red = qRed(image.pixel(x, y));
      partial += blue == 255 && red > 20 && red < 235;  // white blended with the blue background
    }
  EXPECT_GT(partial, 10);
}

}  // namespace
}  // namespace vantrel::flash
