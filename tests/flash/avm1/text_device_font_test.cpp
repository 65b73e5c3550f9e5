// Device fonts: faces read from the system's font files, laid out in whole pixels, so
// textWidth/textHeight, wrapping and autoSize have real values in every run.
#include <gtest/gtest.h>

#include "../movie_test_support.h"
#include "flash/avm1/display_binding.h"
#include "flash/device_font.h"
#include "flash/display/text_field.h"

namespace vantrel::flash {
namespace {

using testing::Bytes;
using testing::PutBytes;
using testing::PutString;
using testing::PutU16;
using testing::PutU8;

// A 200 x 100 pixel field "f" in the device font, multiline.
std::unique_ptr<RunningMovie> FieldMovie(const std::string& text) {
  Bytes body;
  PutU16(body, 1);
  PutBytes(body, testing::RectRecord(0, 4000, 0, 2000));
  PutU8(body, 0x80 | 0x20);  // text, multiline
  PutU8(body, 0);
  PutString(body, "");
  PutString(body, text);
  Bytes tags;
  PutBytes(tags, testing::Tag(37, body));
  testing::Place place;
  place.depth = 1;
  place.character = 1;
  place.name = "f";
  PutBytes(tags, testing::PlaceObject2(place));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  return StartMovie(tags, 1);
}

struct Field {
  std::unique_ptr<RunningMovie> run;
  avm1::Interpreter& m = run->player->Machine();
  TextField* field = static_cast<TextField*>(run->player->Root().ChildByName("f", true));
  avm1::Object* self() { return field->ScriptObject(); }
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

}  // namespace
}  // namespace vantrel::flash
