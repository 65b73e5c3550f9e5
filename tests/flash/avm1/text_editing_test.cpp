// Text fields as the user edits and scripts size them: the editing commands and the
// clipboard, the focus selection, _width/_height and autoSize moving the box,
// scroll/hscroll limits, and the TextField prototype's members.
#include <gtest/gtest.h>

#include <algorithm>

#include "../movie_test_support.h"
#include "flash/avm1/display_binding.h"
#include "flash/avm1/movie_host.h"
#include "flash/display/text_field.h"

namespace vantrel::flash {
namespace {

using Edit = TextField::EditCommand;

struct FieldScript {
  std::unique_ptr<RunningMovie> run;
  avm1::Interpreter& m = avm1::HostOf(*run->player).Machine();
  TextField* field = static_cast<TextField*>(run->player->Root().ChildByName("f", true));

  avm1::Object* self() { return avm1::ScriptObjectOf(field); }
  void Set(const char* name, avm1::Value v) { m.Set(self(), name, v); }
  void Set(const char* name, const char* text) { m.Set(self(), name, m.Str(text)); }
  void Set(const char* name, double n) { m.Set(self(), name, avm1::Value::Number(n)); }
  double Num(const char* name) { return m.ToNumber(m.Get(self(), name)); }
  std::string Text() { return field->Text().toStdString(); }
};

FieldScript Input(const std::string& text, int widthPx = 100, int heightPx = 20) {
  // An input field (not read-only) "f".
  return FieldScript{StartFieldMovie({.widthPx = widthPx, .heightPx = heightPx, .text = text})};
}

TEST(TextEditing, PasteFiltersByRestrictAndMaxCharsAndAnEmptyClipboardChangesNothing) {
  FieldScript s = Input("");
  ASSERT_TRUE(s.field);
  s.Set("restrict", "bc");
  s.Set("maxChars", 3);
  s.field->SelectAll();
  QString clipboard = "aAbBcCdD";
  // Letters kept out in one case come in in the other; the rest is cut at maxChars.
  EXPECT_TRUE(s.field->Edit(Edit::Paste, clipboard));
  EXPECT_EQ(s.Text(), "bbc");

  s.Set("text", "test");
  s.field->SelectAll();
  clipboard.clear();
  EXPECT_FALSE(s.field->Edit(Edit::Paste, clipboard));
  EXPECT_EQ(s.Text(), "test");
  EXPECT_EQ(s.field->selectionBegin, 0);  // the selection stays too
  EXPECT_EQ(s.field->selectionEnd, 4);
}

TEST(TextEditing, RestrictRangesDashesEscapesAndCaseAsThePlayerReadsThem) {
  FieldScript s = Input("");
  ASSERT_TRUE(s.field);
  // What pasting the same text leaves under each restrict.
  const auto paste = [&](const char* restrict) {
    s.Set("restrict", restrict);
    s.Set("text", "");
    s.field->SelectAll();
    QString clipboard = QString::fromUtf8("abcABC012^\\-* &\u0105\u03b4\u00df\u0394");
    s.field->Edit(Edit::Paste, clipboard);
    return s.field->Text();
  };
  const auto utf8 = [](const char* text) { return QString::fromUtf8(text); };
  EXPECT_EQ(paste("a-"), "aa");                  // a dash at the end is ignored
  EXPECT_EQ(paste("-b"), "abCABC012^\\-* &");    // a range from character 0
  EXPECT_EQ(paste("-----b"), "abCABC012^\\-* &");  // dashes in a run count as one
  EXPECT_EQ(paste("b-a"), "bb");                 // a reversed range holds nothing
  EXPECT_EQ(paste("--"), "");
  EXPECT_EQ(paste("a-b-A"), "abAb012-* &");      // after a range, the next starts at 0
  EXPECT_EQ(paste("\\^-\\\\"), "^");           // escaped ends, reversed
  EXPECT_EQ(paste("a\\"), "aa");                 // a backslash at the end is nothing
  // Only ASCII letters come in in the other case.
  EXPECT_EQ(paste("A-Z"), "ABCABC");
  EXPECT_EQ(paste("aB*\u0394"), utf8("aBaB*\u0394"));
}

TEST(TextEditing, CopyAndCutTakeTheSelectionExceptFromPasswordFields) {
  FieldScript s = Input("secret");
  ASSERT_TRUE(s.field);
  s.field->SetSelection(1, 4);
  QString clipboard;
  EXPECT_FALSE(s.field->Edit(Edit::Copy, clipboard));
  EXPECT_EQ(clipboard, "ecr");
  EXPECT_TRUE(s.field->Edit(Edit::Cut, clipboard));
  EXPECT_EQ(s.Text(), "set");
  EXPECT_EQ(s.field->selectionEnd, 1);

  s.Set("password", avm1::Value::Bool(true));
  s.field->SelectAll();
  clipboard = "kept";
  EXPECT_FALSE(s.field->Edit(Edit::Cut, clipboard));
  EXPECT_EQ(clipboard, "kept");
  EXPECT_EQ(s.Text(), "set");
}

TEST(TextEditing, ArrowsCollapseTheSelectionToItsSideAndStopAtTheEnds) {
  FieldScript s = Input("ab\rcd");
  ASSERT_TRUE(s.field);
  QString clipboard;
  s.field->SetSelection(1, 4);
  s.field->Edit(Edit::MoveRight, clipboard);
  EXPECT_EQ(s.field->selectionBegin, 4);
  EXPECT_EQ(s.field->selectionEnd, 4);
  s.field->Edit(Edit::LineStart, clipboard);
  EXPECT_EQ(s.field->selectionEnd, 3);
  s.field->SetSelection(4, 1);
  s.field->Edit(Edit::MoveLeft, clipboard);
  EXPECT_EQ(s.field->selectionEnd, 1);
  s.field->SetSelection(0, 0);
  s.field->Edit(Edit::MoveLeft, clipboard);
  EXPECT_EQ(s.field->selectionEnd, 0);
  s.field->Edit(Edit::LineEnd, clipboard);
  EXPECT_EQ(s.field->selectionEnd, 2);
}

TEST(TextEditing, FocusSelectsTheTextAfterTheFocusHandlersAndNewTextKeepsTheSelection) {
  FieldScript s = Input("abcd");
  ASSERT_TRUE(s.field);
  s.Set("type", "dynamic");  // selectable, not editable: still selected
  static TextField* focused;
  static int seenBegin;
  focused = s.field;
  seenBegin = -2;
  avm1::Object* handler = s.m.Rt().MakeFunction([](avm1::Call&) {
    seenBegin = focused->selectionBegin;
    return avm1::Value();
  });
  s.Set("onSetFocus", avm1::Value::Obj(handler));
  s.run->player->SetFocus(s.field);
  EXPECT_EQ(seenBegin, -1);
  EXPECT_EQ(s.field->selectionBegin, 0);
  EXPECT_EQ(s.field->selectionEnd, 4);
  // New text keeps the selection where it was, within its length.
  s.field->SetSelection(1, 3);
  s.Set("text", "longer");
  EXPECT_EQ(s.field->selectionBegin, 1);
  EXPECT_EQ(s.field->selectionEnd, 3);
  s.Set("text", "x");
  EXPECT_EQ(s.field->selectionBegin, 1);
  EXPECT_EQ(s.field->selectionEnd, 1);
}

TEST(TextEditing, WidthAndHeightResizeTheBoxWhateverTheScale) {
  FieldScript s = Input("", 100, 30);
  ASSERT_TRUE(s.field);
  s.Set("_xscale", 200);
  s.Set("_width", 20);
  EXPECT_DOUBLE_EQ(s.Num("_width"), 40);
  EXPECT_DOUBLE_EQ(s.Num("_xscale"), 200);
  s.Set("_xscale", 100);
  s.Set("_width", 100);
  s.Set("_rotation", 20);
  // The turned box is measured with its corners on whole twips.
  EXPECT_DOUBLE_EQ(s.Num("_width"), 104.2);
  EXPECT_DOUBLE_EQ(s.Num("_height"), 62.4);
}

TEST(TextEditing, AutoSizeGrowsTheBoxFromTheSideItNames) {
  for (const char* mode : {"left", "center", "right"}) {
    FieldScript s = Input("", 100, 30);
    ASSERT_TRUE(s.field);
    s.Set("_x", 50);
    s.Set("text", "a line of text that is wider than the box");
    const double textWidth = s.Num("textWidth");
    ASSERT_GT(textWidth, 100) << mode;
    s.Set("autoSize", mode);
    const double width = s.Num("_width");
    EXPECT_NEAR(width, textWidth + 4, 1) << mode;
    EXPECT_LT(s.Num("_height"), 30) << mode;  // one line is less than the box was
    const double left = s.Num("_x");
    const std::string name = mode;
    const double anchor = name == "left" ? left : name == "center" ? left + width / 2 : left + width;
    EXPECT_NEAR(anchor, name == "left" ? 50 : name == "center" ? 100 : 150, 0.05) << mode;
  }
  // Wrapping text keeps its width and takes the height of its lines.
  FieldScript s = Input("", 100, 30);
  s.Set("wordWrap", avm1::Value::Bool(true));
  s.Set("text", "a line of text that is wider than the box");
  s.Set("autoSize", avm1::Value::Bool(true));
  EXPECT_DOUBLE_EQ(s.Num("_width"), 100);
  EXPECT_GT(s.Num("_height"), 30);
}

TEST(TextEditing, ScrollAndHScrollStayWithinTheirLimits) {
  FieldScript s = Input("", 20, 20);
  ASSERT_TRUE(s.field);
  s.Set("text", "1");  // fits: nothing to scroll
  s.Set("hscroll", 10);
  EXPECT_EQ(s.Num("hscroll"), 0);
  s.Set("text", "1234567890");
  const double most = s.Num("maxhscroll");
  EXPECT_GT(most, 0);
  s.Set("hscroll", 100);
  EXPECT_EQ(s.Num("hscroll"), most);
  s.Set("hscroll", 2147483648.0);  // wraps to a negative number
  EXPECT_EQ(s.Num("hscroll"), 0);

  s.Set("multiline", avm1::Value::Bool(true));
  s.Set("text", "1\r2\r3\r4\r5\r6");
  const double maxscroll = s.Num("maxscroll");
  ASSERT_GT(maxscroll, 1);
  s.Set("scroll", 100);
  EXPECT_EQ(s.Num("scroll"), maxscroll);
  s.Set("scroll", -10);
  EXPECT_EQ(s.Num("scroll"), 1);
  s.Set("scroll", 2147483648.0);  // -2^31: one line less wraps past the end
  EXPECT_EQ(s.Num("scroll"), maxscroll);
  s.Set("scroll", 2147483649.0);
  EXPECT_EQ(s.Num("scroll"), 1);
  s.Set("scroll", maxscroll);
  s.Set("text", "one line");
  EXPECT_EQ(s.Num("scroll"), 1);  // a scroll past the text reads as the last line
}

// An input field keeps room to type in: it scrolls a quarter of its width past its text
// and counts the empty line after a last line end, and even an empty one has a line's
// height. Giving a field the text it has keeps its formats.
TEST(TextEditing, InputFieldsKeepRoomToTypeIn) {
  FieldScript input = Input("", 40, 20);
  FieldScript shown = FieldScript{StartFieldMovie({.widthPx = 40, .heightPx = 20, .flagsHigh = 0x08, .text = ""})};
  ASSERT_TRUE(input.field && shown.field);
  EXPECT_GT(input.Num("textHeight"), 0);
  EXPECT_EQ(shown.Num("textHeight"), 0);
  for (FieldScript* s : {&input, &shown}) {
    s->Set("multiline", avm1::Value::Bool(true));
    s->Set("text", "1234567890123456789");
  }
  // 40 pixels less the gutters leave 36 to see; a quarter of that is 9.
  EXPECT_EQ(input.Num("maxhscroll") - shown.Num("maxhscroll"), 9);
  const double oneLine = shown.Num("textHeight");
  shown.Set("text", "1234567890123456789\r");
  input.Set("text", "1234567890123456789\r");
  EXPECT_EQ(shown.Num("textHeight"), oneLine);
  EXPECT_GT(input.Num("textHeight"), oneLine);

  input.field->ApplyTextFormat(0, 3, [] {
    TextFormat bold;
    bold.bold = true;
    return bold;
  }());
  input.Set("text", "1234567890123456789\r");
  EXPECT_TRUE(*input.field->Formatted().FormatAt(0).bold);
}

TEST(TextEditing, ThePrototypeEnumeratesItsPropertiesAndHidesNewerOnesFromOlderMovies) {
  for (int version : {6, 8}) {
    FieldSpec spec;
    spec.version = version;
    auto run = StartFieldMovie(spec);
    ASSERT_TRUE(run->player);
    avm1::Interpreter& m = avm1::HostOf(*run->player).Machine();
    m.SetDefaultVersion(version);
    avm1::Object* proto = m.Rt().textFieldProto;
    const std::vector<std::string> names = m.Enumerate(proto);
    ASSERT_GE(names.size(), 35u);
    EXPECT_EQ(names.front(), "styleSheet");
    EXPECT_EQ(names[17], "maxhscroll");
    EXPECT_EQ(names[30], "filters");
    EXPECT_EQ(names.back(), "gridFitType");
    // Methods never enumerate.
    EXPECT_EQ(std::count(names.begin(), names.end(), "replaceSel"), 0);
    // Newer members read as undefined in older movies.
    EXPECT_EQ(m.Get(proto, "replaceText").IsUndefined(), version < 7);
    EXPECT_EQ(m.Get(proto, "gridFitType").IsUndefined(), true);  // the prototype is no field
  }
}

// A field shown by a button binds its variable on the clip the button is in: buttons
// hold no variables of their own.
TEST(TextEditing, AFieldInAButtonBindsItsVariableOnTheButtonsClip) {
  using testing::Bytes;
  Bytes field;
  testing::PutU16(field, 1);
  testing::PutBytes(field, testing::RectRecord(0, 2000, 0, 400));
  testing::PutU8(field, 0x80);  // has text
  testing::PutU8(field, 0);
  testing::PutString(field, "shown");
  testing::PutString(field, "before");
  Bytes button;
  testing::PutU16(button, 2);
  testing::PutU8(button, 0);  // not a menu
  Bytes record{0x0F};         // every state
  testing::PutU16(record, 1);
  testing::PutU16(record, 1);
  testing::PutBytes(record, testing::MatrixRecord(0, 0));
  testing::PutU8(record, 0);  // no colour transform terms
  record.push_back(0);        // end of records
  testing::PutU16(button, 0);  // no actions
  testing::PutBytes(button, record);
  Bytes tags;
  testing::PutBytes(tags, testing::Tag(37, field));
  testing::PutBytes(tags, testing::Tag(34, button));
  testing::Place place;
  place.depth = 1;
  place.character = 2;
  place.name = "b";
  testing::PutBytes(tags, testing::PlaceObject2(place));
  testing::PutBytes(tags, testing::Actions().PushString("shown").PushString("after").SetVariable().Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1);
  ASSERT_TRUE(run->player);
  run->player->Tick();
  auto* b = static_cast<MovieClip*>(run->player->Root().ChildByName("b", true));
  ASSERT_TRUE(b);
  ASSERT_EQ(b->Children().size(), 1u);
  auto* shown = static_cast<TextField*>(b->Children().begin()->second);
  ASSERT_EQ(shown->Kind(), DisplayKind::EditText);
  EXPECT_EQ(shown->Text().toStdString(), "after");
  EXPECT_EQ(RootVariable(*run, "shown"), "after");
  auto& m = avm1::HostOf(*run->player).Machine();
  EXPECT_FALSE(m.Has(avm1::ScriptObjectOf(b), "shown"));
}

}  // namespace
}  // namespace vantrel::flash
