// Device fonts: faces read from the system's font files, laid out in whole pixels, so
// textWidth/textHeight, wrapping and autoSize have real values in every run.
#include <gtest/gtest.h>

#include <cmath>

#include "../movie_test_support.h"
#include "flash/avm1/display_binding.h"
#include "flash/avm1/movie_host.h"
#include "flash/character/device_font.h"
#include "flash/display/text_field.h"

namespace vantrel::flash {
namespace {

// A 200 x 100 pixel field "f" in the device font, multiline.
std::unique_ptr<RunningMovie> FieldMovie(const std::string& text) {
  return StartFieldMovie({.widthPx = 200, .heightPx = 100, .flagsHigh = 0x20, .text = text});
}

struct Field {
  std::unique_ptr<RunningMovie> run;
  avm1::Interpreter& m = avm1::HostOf(*run->player).Machine();
  TextField* field = static_cast<TextField*>(run->player->Root().ChildByName("f", true));
  avm1::Object* self() { return avm1::ScriptObjectOf(field); }
  double Num(const char* name) { return m.ToNumber(m.Get(self(), name)); }
  void Set(const char* name, avm1::Value v) { m.Set(self(), name, v); }
  void Format(const char* font, double size) {
    avm1::Object* ctor = m.Get(m.Rt().global, "TextFormat").AsObject();
    avm1::Object* format = m.Construct(ctor, {});
    m.Set(format, "font", m.Str(font));
    m.Set(format, "size", avm1::Value::Number(size));
    const std::vector<avm1::Value> args{avm1::Value::Obj(format)};
    m.CallMethod(avm1::DisplayValue(field), "setTextFormat", args);
  }
};

bool HaveDeviceFont() { return DeviceFont("_sans", false, false) != nullptr; }

TEST(DeviceFont, MeasuresInWholePixelsFromTheFontFile) {
  if (!HaveDeviceFont()) GTEST_SKIP() << "no device font file installed";
  Field f{FieldMovie("Qe")};
  ASSERT_TRUE(f.field);
  f.Format("Noto Sans", 12);
  EXPECT_EQ(f.Num("textWidth"), 16);
  EXPECT_EQ(f.Num("textHeight"), 16);
  f.Format("Noto Sans", 30);
  EXPECT_EQ(f.Num("textWidth"), 40);
  EXPECT_EQ(f.Num("textHeight"), 40);
}

TEST(DeviceFont, GetTextExtentReportsTheDeviceFontsPixelMetrics) {
  if (!HaveDeviceFont()) GTEST_SKIP() << "no device font file installed";
  Field f{FieldMovie("")};
  ASSERT_TRUE(f.field);
  avm1::Object* ctor = f.m.Get(f.m.Rt().global, "TextFormat").AsObject();
  const std::vector<avm1::Value> fontArg{f.m.Str("Noto Sans")};
  avm1::Object* format = f.m.Construct(ctor, fontArg);
  const auto extent = [&](std::vector<avm1::Value> args) {
    return f.m.CallMethod(avm1::Value::Obj(format), "getTextExtent", args).AsObject();
  };
  const auto read = [&](avm1::Object* o, const char* name) { return f.m.ToNumber(f.m.Get(o, name)); };
  // One line: advances rounded to whole pixels per glyph, the field two pixels around.
  avm1::Object* one = extent({f.m.Str("Ruffle")});
  ASSERT_TRUE(one);
  EXPECT_EQ(read(one, "ascent"), 13);
  EXPECT_EQ(read(one, "descent"), 4);
  EXPECT_EQ(read(one, "width"), 32);
  EXPECT_EQ(read(one, "height"), 17);
  EXPECT_EQ(read(one, "textFieldWidth"), 36);
  EXPECT_EQ(read(one, "textFieldHeight"), 21);
  // A width wraps the text: the field keeps that width, each line adds its height.
  avm1::Object* wrapped = extent({f.m.Str("Lorem ipsum dolor sit amet, consectetur adipiscing elit."), avm1::Value::Number(100)});
  ASSERT_TRUE(wrapped);
  EXPECT_EQ(read(wrapped, "textFieldWidth"), 100);
  EXPECT_LE(read(wrapped, "width"), 96);
  EXPECT_GE(read(wrapped, "height"), 3 * 17);
  EXPECT_EQ(std::fmod(read(wrapped, "height"), 17), 0);
}

TEST(DeviceFont, NamesFallBackToTheSansFaceAndStylesToTheirFiles) {
  const auto sans = DeviceFont("_sans", false, false);
  if (!sans) GTEST_SKIP() << "no device font file installed";
  EXPECT_TRUE(sans->device);
  EXPECT_EQ(DeviceFont("No Such Font", false, false), sans);
  EXPECT_EQ(DeviceFont("Times New Roman", false, false), sans);
  const auto bold = DeviceFont("_sans", true, false);
  ASSERT_TRUE(bold);
  EXPECT_TRUE(bold->bold);
  // Outlines and advances are in font units: 'W' is wider than 'i' and has a shape.
  const int w = sans->GlyphForCode('W'), i = sans->GlyphForCode('i');
  ASSERT_GE(w, 0);
  ASSERT_GE(i, 0);
  EXPECT_GT(sans->Advance(static_cast<std::size_t>(w)), sans->Advance(static_cast<std::size_t>(i)));
  EXPECT_FALSE(sans->glyphs[static_cast<std::size_t>(w)].isEmpty());
  EXPECT_GT(sans->ascent, 0);
  EXPECT_GT(sans->descent, 0);
  std::string error;
  EXPECT_EQ(LoadFontFile("/nonexistent/font.ttf", &error), nullptr);
  EXPECT_NE(error.find("cannot read font file"), std::string::npos);
}

// The width of "ab" followed by spaces, in a field of the given SWF version aligned so.
double TrailingWidth(int version, const char* align, const std::string& text) {
  Field f{StartFieldMovie({.widthPx = 200, .heightPx = 100, .flagsHigh = 0x20, .text = text, .version = version})};
  if (!f.field) return -1;
  avm1::Object* ctor = f.m.Get(f.m.Rt().global, "TextFormat").AsObject();
  avm1::Object* format = f.m.Construct(ctor, {});
  f.m.Set(format, "font", f.m.Str("Noto Sans"));
  f.m.Set(format, "size", avm1::Value::Number(20));
  f.m.Set(format, "align", f.m.Str(align));
  const std::vector<avm1::Value> args{avm1::Value::Obj(format)};
  f.m.CallMethod(avm1::DisplayValue(f.field), "setTextFormat", args);
  return f.Num("textWidth");
}

TEST(DeviceFont, TrailingSpacesWidenLeftAlignedLinesAndEveryLineBeforeSwf8) {
  if (!HaveDeviceFont()) GTEST_SKIP() << "no device font file installed";
  const double bare = TrailingWidth(8, "left", "ab");
  ASSERT_GT(bare, 0);
  EXPECT_GT(TrailingWidth(8, "left", "ab  "), bare);
  EXPECT_EQ(TrailingWidth(8, "right", "ab  "), bare);
  EXPECT_EQ(TrailingWidth(8, "center", "ab  "), bare);
  EXPECT_GT(TrailingWidth(7, "right", "ab  "), bare);
  // A paragraph that goes on (here after a line break) keeps its own end's rule.
  EXPECT_EQ(TrailingWidth(8, "right", "ab  \rab"), bare);
  EXPECT_GT(TrailingWidth(8, "left", "ab  \rab"), bare);
}

}  // namespace
}  // namespace vantrel::flash
