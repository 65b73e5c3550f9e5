// Where ActionScript 1/2 puts a text field (_x and _y name the corner of its box, which
// may lie away from the field's origin) and what duplicateMovieClip copies of a field;
// and what SWF 5 scripts get for a button.
#include <gtest/gtest.h>

#include "../movie_test_support.h"
#include "flash/avm1/display_binding.h"

namespace vantrel::flash {
namespace {

using testing::Bytes;
using testing::PutBytes;

struct FieldMovie {
  std::unique_ptr<RunningMovie> run;
  FieldMovie() {
    // An input field whose box starts at (6, 7) pixels, with text, placed as "field".
    Bytes body, tags;
    testing::PutU16(body, 1);
    PutBytes(body, testing::RectRecord(120, 920, 140, 380));
    PutBytes(body, Bytes{0x80, 0, 0, 'o', 'n', 'e', 0});
    PutBytes(tags, testing::Tag(37, body));
    run = StartMovie(testing::WithOneFramePlacing(tags, 1, "field"), 1);
  }
  avm1::Interpreter& Machine() { return avm1::HostOf(*run->player).Machine(); }
  DisplayObject* Child(const std::string& name) { return run->player->Root().ChildByName(name, true); }
  std::string Get(DisplayObject* o, const char* name) { return Machine().ToString(Machine().Get(avm1::ScriptObjectOf(o), name)); }
  void Set(DisplayObject* o, const char* name, avm1::Value v) { Machine().Set(avm1::ScriptObjectOf(o), name, v); }
  DisplayObject* Copy(DisplayObject* source, const char* name) { return avm1::DuplicateClip(Machine(), source, name, 20, nullptr); }
};

TEST(TextDuplicate, ACopyStartsFromTheDefinitionWithThePlacementAndColour) {
  FieldMovie m;
  DisplayObject* field = m.Child("field");
  ASSERT_TRUE(field);
  EXPECT_EQ(m.Get(field, "_x") + "," + m.Get(field, "_y"), "6,7");
  m.Set(field, "_y", avm1::Value::Number(20));  // the box's corner goes there
  EXPECT_EQ(field->GetMatrix().ty, 260);
  m.Set(field, "text", m.Machine().Str("changed"));
  m.Set(field, "_alpha", avm1::Value::Number(50));
  DisplayObject* copy = m.Copy(field, "copy");
  ASSERT_TRUE(copy && m.Child("copy") == copy);
  EXPECT_EQ(m.Get(copy, "_x") + "," + m.Get(copy, "_y") + " " + m.Get(copy, "text") + " " + m.Get(copy, "_alpha"),
            "6,20 one " + m.Get(field, "_alpha"));
}

TEST(TextDuplicate, ScriptFieldsAutoSizeTheirBoxAndCopyToAnEmptyInputBox) {
  FieldMovie m;
  const avm1::Value args[] = {m.Machine().Str("made"), avm1::Value::Number(12), avm1::Value::Number(-4),
                              avm1::Value::Number(16), avm1::Value::Number(100), avm1::Value::Number(13)};
  m.Machine().CallMethod(avm1::Value::Obj(avm1::ScriptObjectOf(&m.run->player->Root())), "createTextField", args);
  DisplayObject* made = m.Child("made");
  ASSERT_TRUE(made);
  // Empty, it shrinks to its gutters towards its right edge: the box moves, not the field.
  m.Set(made, "autoSize", m.Machine().Str("right"));
  EXPECT_EQ(m.Get(made, "_x") + " " + m.Get(made, "_width"), "92 4");
  DisplayObject* copy = m.Copy(made, "madeCopy");
  ASSERT_TRUE(copy);
  EXPECT_EQ(m.Get(copy, "_x") + "," + m.Get(copy, "_y") + " " + m.Get(copy, "_width") + " " + m.Get(copy, "type"),
            "-4,16 0 input");
}

TEST(ButtonValue, SwfFiveScriptsReachTheClipAButtonIsIn) {
  for (const int version : {5, 6}) {
    auto run = StartMovie(testing::WithOneFramePlacing(testing::DefineButton2(1, {}, {}), 1, "b"), 1, version);
    ASSERT_TRUE(run->player);
    DisplayObject* button = run->player->Root().ChildByName("b", true);
    ASSERT_TRUE(button);
    DisplayObject* expected = version < 6 ? &run->player->Root() : button;
    EXPECT_EQ(avm1::DisplayValue(button).AsObject(), avm1::ScriptObjectOf(expected)) << version;
  }
}

}  // namespace
}  // namespace vantrel::flash
