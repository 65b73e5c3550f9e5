// Keyboard focus and typing into text fields: the tab order Tab walks (by position,
// or by tabIndex when any object has one), what setFocus and removal do to the focus,
// the selection a focused input field gets, and what typing lets in.
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

// DefineEditText of a w x h pixel field without a font: input unless readOnly.
Bytes DefineEditText(std::uint16_t id, int w, int h, bool readOnly, const std::string& text = {}) {
  Bytes body;
  PutU16(body, id);
  PutBytes(body, testing::RectRecord(0, w * 20, 0, h * 20));
  PutU8(body, static_cast<std::uint8_t>((text.empty() ? 0 : 0x80) | (readOnly ? 0x08 : 0)));
  PutU8(body, 0);
  PutString(body, "");  // no variable
  if (!text.empty()) PutString(body, text);
  return testing::Tag(37, body);
}

Bytes PlaceField(std::uint16_t id, std::uint16_t depth, const std::string& name, int x, int y) {
  testing::Place place;
  place.depth = depth;
  place.character = id;
  place.name = name;
  place.hasMatrix = true;
  place.x = x * 20;
  place.y = y * 20;
  return testing::PlaceObject2(place);
}

TextField* Field(RunningMovie& run, const std::string& name) {
  DisplayObject* d = run.player->Root().ChildByName(name, true);
  return d && d->Kind() == DisplayKind::EditText ? static_cast<TextField*>(d) : nullptr;
}

std::vector<std::string> Names(const std::vector<DisplayObject*>& objects) {
  std::vector<std::string> names;
  for (const DisplayObject* o : objects) names.push_back(o->name);
  return names;
}

void SetProperty(RunningMovie& run, DisplayObject* object, const char* name, avm1::Value value) {
  avm1::HostOf(*run.player).Machine().Set(avm1::ScriptObjectOf(object), name, value);
}

// Three input fields and a dynamic one in a 2 x 2 grid, placed out of reading order.
std::unique_ptr<RunningMovie> GridMovie() {
  Bytes tags;
  PutBytes(tags, DefineEditText(1, 30, 10, false, "one"));
  PutBytes(tags, DefineEditText(2, 30, 10, true, "fixed"));
  PutBytes(tags, PlaceField(1, 1, "bottomRight", 50, 50));
  PutBytes(tags, PlaceField(1, 2, "topLeft", 0, 0));
  PutBytes(tags, PlaceField(1, 3, "bottomLeft", 0, 50));
  PutBytes(tags, PlaceField(2, 4, "dynamicField", 50, 0));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  return StartMovie(tags, 1);
}

TEST(TextFocus, TabWalksInputFieldsByPositionThenByTabIndex) {
  auto run = GridMovie();
  ASSERT_TRUE(run->player);
  MovieRuntime& player = *run->player;
  // Rows first (a row weighs six columns); dynamic fields are never visited.
  EXPECT_EQ(Names(player.TabOrder()), (std::vector<std::string>{"topLeft", "bottomLeft", "bottomRight"}));

  // Once any object has a tabIndex, only those with one take part, lowest first;
  // -1 counts as none and indexes compare as signed 32-bit numbers.
  SetProperty(*run, Field(*run, "bottomRight"), "tabIndex", avm1::Value::Number(4294967295.0 - 2));  // -3
  SetProperty(*run, Field(*run, "topLeft"), "tabIndex", avm1::Value::Number(5));
  SetProperty(*run, Field(*run, "bottomLeft"), "tabIndex", avm1::Value::Number(-1));
  EXPECT_EQ(Names(player.TabOrder()), (std::vector<std::string>{"bottomRight", "topLeft"}));

  // tabEnabled = false and invisible fields drop out.
  SetProperty(*run, Field(*run, "bottomRight"), "tabEnabled", avm1::Value::Bool(false));
  EXPECT_EQ(Names(player.TabOrder()), (std::vector<std::string>{"topLeft"}));
  // With no tab stop left that has an index, the order goes by position again.
  Field(*run, "topLeft")->visible = false;
  EXPECT_EQ(Names(player.TabOrder()), (std::vector<std::string>{"bottomLeft"}));
}

TEST(TextFocus, TabIndexIsUnsignedOnFieldsAndSaturatedOnButtons) {
  // An input field and a button without states or actions.
  Bytes tags;
  PutBytes(tags, DefineEditText(1, 30, 10, false, "one"));
  Bytes definition;
  PutU16(definition, 2);
  PutU8(definition, 0);   // not a menu
  PutU16(definition, 0);  // no actions
  PutU8(definition, 0);   // no records
  PutBytes(tags, testing::Tag(34, definition));
  PutBytes(tags, PlaceField(1, 1, "field", 0, 0));
  PutBytes(tags, PlaceField(2, 2, "button", 50, 0));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1);
  ASSERT_TRUE(run->player);
  avm1::Interpreter& machine = avm1::HostOf(*run->player).Machine();
  DisplayObject* field = run->player->Root().ChildByName("field", true);
  DisplayObject* button = run->player->Root().ChildByName("button", true);
  ASSERT_TRUE(field && button && button->Kind() == DisplayKind::Button);
  const auto readBack = [&](DisplayObject* object, avm1::Value v) {
    SetProperty(*run, object, "tabIndex", v);
    return machine.ToString(machine.Get(avm1::ScriptObjectOf(object), "tabIndex"));
  };
  // A field keeps an unsigned 32-bit number: negatives wrap, NaN is 0, fractions cut.
  EXPECT_EQ(readBack(field, avm1::Value::Number(-4)), "4294967292");
  EXPECT_EQ(readBack(field, machine.Str("x")), "0");
  EXPECT_EQ(readBack(field, avm1::Value::Number(1.9)), "1");
  EXPECT_EQ(readBack(field, avm1::Value()), "undefined");
  // A button keeps a signed one: NaN and what lies outside the range become the smallest.
  EXPECT_EQ(readBack(button, avm1::Value::Number(-4)), "-4");
  EXPECT_EQ(readBack(button, avm1::Value::Number(2147483648.0)), "-2147483648");
  EXPECT_EQ(readBack(button, machine.Str("x")), "-2147483648");
  EXPECT_EQ(readBack(button, avm1::Value::Number(-1.9)), "-1");
  EXPECT_EQ(readBack(button, avm1::Value()), "undefined");
}

TEST(TextFocus, TabCyclesAndShiftTabGoesBack) {
  auto run = GridMovie();
  ASSERT_TRUE(run->player);
  MovieRuntime& player = *run->player;
  player.KeyDown(9, 9);
  player.KeyUp(9, 9);
  EXPECT_EQ(player.Focus(), Field(*run, "topLeft"));
  player.KeyDown(9, 9);
  player.KeyUp(9, 9);
  player.KeyDown(9, 9);
  player.KeyUp(9, 9);
  EXPECT_EQ(player.Focus(), Field(*run, "bottomRight"));
  player.KeyDown(9, 9);  // wraps round
  player.KeyUp(9, 9);
  EXPECT_EQ(player.Focus(), Field(*run, "topLeft"));
  player.KeyDown(16, 0);
  player.KeyDown(9, 9);
  EXPECT_EQ(player.Focus(), Field(*run, "bottomRight"));
}

TEST(TextFocus, FocusedInputFieldSelectsAllAndLosesFocusWhenRemoved) {
  auto run = GridMovie();
  ASSERT_TRUE(run->player);
  MovieRuntime& player = *run->player;
  TextField* field = Field(*run, "topLeft");
  player.SetFocus(field);
  EXPECT_EQ(field->selectionBegin, 0);
  EXPECT_EQ(field->selectionEnd, 3);
  // A dynamic field selects its text too while it is selectable.
  TextField* fixed = Field(*run, "dynamicField");
  player.SetFocus(fixed);
  EXPECT_EQ(player.Focus(), fixed);
  EXPECT_EQ(fixed->selectionEnd, 5);
  EXPECT_EQ(field->selectionBegin, -1);  // the old field's selection went with the focus
  player.SetFocus(nullptr);
  fixed->selectable = false;
  player.SetFocus(fixed);
  EXPECT_EQ(fixed->selectionBegin, -1);

  player.Root().RemoveChild(fixed);
  EXPECT_EQ(player.Focus(), nullptr);
  EXPECT_TRUE(player.FocusHighlight().isEmpty());
}

TEST(TextFocus, TypingReplacesTheSelectionWithinMaxCharsAndRestrict) {
  auto run = GridMovie();
  ASSERT_TRUE(run->player);
  MovieRuntime& player = *run->player;
  TextField* field = Field(*run, "topLeft");
  player.SetFocus(field);
  player.TextInput(U'x');  // replaces the selected "one"
  player.TextInput(U'y');
  EXPECT_EQ(field->Text(), "xy");
  player.TextInput(8);  // Backspace
  EXPECT_EQ(field->Text(), "x");
  player.TextInput(U'\r');  // a single-line field takes no line break
  EXPECT_EQ(field->Text(), "x");

  field->restrict = "a-c^b";
  field->restrictSet = true;
  player.TextInput(U'b');  // kept out by the ^ part
  player.TextInput(U'C');  // comes in as the allowed lower case
  player.TextInput(U'z');
  EXPECT_EQ(field->Text(), "xc");

  field->restrictSet = false;
  field->Field().maxLength = 3;
  player.TextInput(U'1');
  player.TextInput(U'2');
  EXPECT_EQ(field->Text(), "xc1");
  EXPECT_EQ(field->selectionEnd, 3);

  // A dynamic field with the focus takes nothing.
  TextField* fixed = Field(*run, "dynamicField");
  player.SetFocus(fixed);
  player.TextInput(U'q');
  EXPECT_EQ(fixed->Text(), "fixed");
}

TEST(TextFocus, HighlightShowsAfterTabUntilTheMouseMoves) {
  auto run = GridMovie();
  ASSERT_TRUE(run->player);
  MovieRuntime& player = *run->player;
  // Text fields never show the rectangle themselves.
  player.KeyDown(9, 9);
  EXPECT_TRUE(player.FocusHighlight().isEmpty());

  // A button-like clip does: a sprite with an onRelease handler set by script.
  Bytes tags;
  PutBytes(tags, testing::DefineRectangle(1, 0, 0, 400, 400, 255, 0, 0));
  PutBytes(tags, testing::DefineSprite(2, 1, [] {
             Bytes inner;
             testing::Place p;
             p.character = 1;
             PutBytes(inner, testing::PlaceObject2(p));
             PutBytes(inner, testing::ShowFrame());
             PutBytes(inner, testing::End());
             return inner;
           }()));
  testing::Place place;
  place.character = 2;
  place.name = "clip";
  PutBytes(tags, testing::PlaceObject2(place));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto clipRun = StartMovie(tags, 1);
  ASSERT_TRUE(clipRun->player);
  MovieRuntime& clipPlayer = *clipRun->player;
  DisplayObject* clip = clipPlayer.Root().ChildByName("clip", true);
  ASSERT_NE(clip, nullptr);
  EXPECT_TRUE(clipPlayer.TabOrder().empty());  // a plain clip is no tab stop
  SetProperty(*clipRun, clip, "tabEnabled", avm1::Value::Bool(true));
  clipPlayer.KeyDown(9, 9);
  EXPECT_EQ(clipPlayer.Focus(), clip);
  EXPECT_EQ(clipPlayer.FocusHighlight(), QRectF(0, 0, 400, 400));
  clipPlayer.MouseMove(QPointF(2000, 2000));
  EXPECT_TRUE(clipPlayer.FocusHighlight().isEmpty());
  EXPECT_EQ(clipPlayer.Focus(), clip);  // the focus stays
  // _focusrect = false on the stage hides it the next time.
  clipPlayer.focusRect = false;
  clipPlayer.SetFocus(nullptr);
  clipPlayer.KeyDown(9, 9);
  EXPECT_EQ(clipPlayer.Focus(), clip);
  EXPECT_TRUE(clipPlayer.FocusHighlight().isEmpty());
}

}  // namespace
}  // namespace vantrel::flash
