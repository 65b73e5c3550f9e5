// Where ActionScript 1/2 puts a text field (_x and _y name the corner of its box, which
// may lie away from the field's origin) and what duplicateMovieClip copies of a field.
#include <gtest/gtest.h>

#include "../movie_test_support.h"
#include "flash/avm1/display_binding.h"
#include "flash/avm1/movie_host.h"
#include "flash/display/text_field.h"

namespace vantrel::flash {
namespace {

using testing::Bytes;
using testing::PutBytes;
using testing::PutString;
using testing::PutU16;
using testing::PutU8;

// DefineEditText of an input field without a font whose box starts at (x, y) pixels.
Bytes DefineOffsetField(std::uint16_t id, int x, int y, int w, int h, const std::string& text) {
  Bytes body;
  PutU16(body, id);
  PutBytes(body, testing::RectRecord(x * 20, (x + w) * 20, y * 20, (y + h) * 20));
  PutU8(body, 0x80);  // has text
  PutU8(body, 0);
  PutString(body, "");  // no variable
  PutString(body, text);
  return testing::Tag(37, body);
}

class TextDuplicateTest : public ::testing::Test {
 protected:
  void Start() {
    Bytes tags;
    PutBytes(tags, DefineOffsetField(1, 6, 7, 40, 12, "defined"));
    testing::Place place;
    place.depth = 1;
    place.character = 1;
    place.name = "field";
    PutBytes(tags, testing::PlaceObject2(place));
    PutBytes(tags, testing::ShowFrame());
    PutBytes(tags, testing::End());
    run = StartMovie(tags, 1);
    ASSERT_TRUE(run->player);
  }
  avm1::Interpreter& Machine() { return avm1::HostOf(*run->player).Machine(); }
  DisplayObject* Child(const std::string& name) { return run->player->Root().ChildByName(name, true); }
  std::string Get(DisplayObject* object, const char* name) {
    return Machine().ToString(Machine().Get(avm1::ScriptObjectOf(object), name));
  }
  void Set(DisplayObject* object, const char* name, avm1::Value value) {
    Machine().Set(avm1::ScriptObjectOf(object), name, value);
  }
  DisplayObject* Duplicate(DisplayObject* source, const char* name, int depth) {
    return avm1::DuplicateClip(Machine(), source, name, depth, nullptr);
  }

  std::unique_ptr<RunningMovie> run;
};

TEST_F(TextDuplicateTest, PositionsCountTheBoxOffsetBothWays) {
  Start();
  DisplayObject* field = Child("field");
  ASSERT_TRUE(field);
  EXPECT_EQ(Get(field, "_x"), "6");
  EXPECT_EQ(Get(field, "_y"), "7");
  // Setting a position puts the box's corner there; the placement takes the rest.
  Set(field, "_x", avm1::Value::Number(10));
  EXPECT_EQ(Get(field, "_x"), "10");
  EXPECT_EQ(field->GetMatrix().tx, 80);
}

TEST_F(TextDuplicateTest, ACopyStartsFromTheDefinitionWithTheOriginalsPlacement) {
  Start();
  DisplayObject* field = Child("field");
  ASSERT_TRUE(field);
  Set(field, "_y", avm1::Value::Number(20));
  Set(field, "text", Machine().Str("changed"));
  Set(field, "textColor", avm1::Value::Number(255));
  Set(field, "_alpha", avm1::Value::Number(50));
  DisplayObject* copy = Duplicate(field, "copy", 3);
  ASSERT_TRUE(copy && copy->Kind() == DisplayKind::EditText);
  EXPECT_EQ(Child("copy"), copy);
  EXPECT_EQ(copy->depth, 3);
  EXPECT_EQ(Get(copy, "_x"), "6");
  EXPECT_EQ(Get(copy, "_y"), "20");
  EXPECT_EQ(Get(copy, "_alpha"), Get(field, "_alpha"));
  EXPECT_EQ(Get(copy, "text"), "defined");
  EXPECT_EQ(Get(copy, "textColor"), "0");
  EXPECT_EQ(Get(copy, "_width"), "40");
  // The copy is a field of its own.
  Set(copy, "text", Machine().Str("copy's"));
  EXPECT_EQ(Get(field, "text"), "changed");
}

TEST_F(TextDuplicateTest, ACopyOfAScriptFieldHasAnEmptyInputBox) {
  Start();
  avm1::Object* root = avm1::ScriptObjectOf(&run->player->Root());
  const avm1::Value args[] = {Machine().Str("made"), avm1::Value::Number(10), avm1::Value::Number(-5),
                              avm1::Value::Number(17), avm1::Value::Number(31), avm1::Value::Number(24)};
  Machine().CallMethod(avm1::Value::Obj(root), "createTextField", args);
  DisplayObject* made = Child("made");
  ASSERT_TRUE(made);
  EXPECT_EQ(Get(made, "type"), "dynamic");
  DisplayObject* copy = Duplicate(made, "madeCopy", 11);
  ASSERT_TRUE(copy);
  EXPECT_EQ(Get(copy, "_x"), "-5");
  EXPECT_EQ(Get(copy, "_y"), "17");
  EXPECT_EQ(Get(copy, "_width"), "0");
  EXPECT_EQ(Get(copy, "_height"), "0");
  EXPECT_EQ(Get(copy, "type"), "input");
}

TEST_F(TextDuplicateTest, AutoSizeMovesTheBoxNotThePlacement) {
  Start();
  avm1::Object* root = avm1::ScriptObjectOf(&run->player->Root());
  const avm1::Value args[] = {Machine().Str("sized"), avm1::Value::Number(12), avm1::Value::Number(-4),
                              avm1::Value::Number(16), avm1::Value::Number(100), avm1::Value::Number(13)};
  Machine().CallMethod(avm1::Value::Obj(root), "createTextField", args);
  DisplayObject* sized = Child("sized");
  ASSERT_TRUE(sized);
  // An empty field shrinks to its gutters (4 pixels) towards its right edge.
  Set(sized, "autoSize", Machine().Str("right"));
  EXPECT_EQ(Get(sized, "_width"), "4");
  EXPECT_EQ(Get(sized, "_x"), "92");
  EXPECT_EQ(sized->GetMatrix().tx, -80);
  // A copy takes the placement, so it sits where the field was made.
  EXPECT_EQ(Get(Duplicate(sized, "sizedCopy", 13), "_x"), "-4");
}

}  // namespace
}  // namespace vantrel::flash
