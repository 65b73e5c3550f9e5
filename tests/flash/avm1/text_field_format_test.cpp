// Text formats as scripts use them on a field of a running movie: ranged
// setTextFormat/getTextFormat through TextFormat objects, the new text format that
// text, replaceText and typing use, and htmlText of an HTML field.
#include <gtest/gtest.h>

#include "../movie_test_support.h"
#include "flash/avm1/display_binding.h"
#include "flash/avm1/movie_host.h"
#include "flash/display/text_field.h"

namespace vantrel::flash {
namespace {

// A 100 x 20 field "f" without a font, HTML and multiline when asked.
std::unique_ptr<RunningMovie> FieldMovie(bool html, const std::string& text) {
  return StartFieldMovie({.flagsHigh = static_cast<std::uint8_t>(html ? 0x20 : 0),
                          .flagsLow = static_cast<std::uint8_t>(html ? 0x02 : 0), .text = text});
}

struct Script {
  RunningMovie& run;
  avm1::Interpreter& m = avm1::HostOf(*run.player).Machine();
  TextField* field = static_cast<TextField*>(run.player->Root().ChildByName("f", true));

  avm1::Value Call(const char* method, std::vector<avm1::Value> args) {
    return m.CallMethod(avm1::DisplayValue(field), method, args);
  }
  avm1::Value Format(std::initializer_list<std::pair<const char*, avm1::Value>> fields) {
    avm1::Object* ctor = m.Get(m.Rt().global, "TextFormat").AsObject();
    avm1::Object* format = m.Construct(ctor, {});
    for (const auto& [name, value] : fields) m.Set(format, name, value);
    return avm1::Value::Obj(format);
  }
  std::string Read(const avm1::Value& format, const char* name) {
    return m.ToString(m.Get(format.AsObject(), name));
  }
  avm1::Value Str(const char* s) { return m.Str(s); }
  static avm1::Value Num(double n) { return avm1::Value::Number(n); }
};

TEST(TextFieldFormat, RangedFormatsReadBackPerCharacterAndNullWhereTheyDiffer) {
  auto run = FieldMovie(false, "hello world");
  ASSERT_TRUE(run->player);
  Script s{*run};
  ASSERT_TRUE(s.field);
  s.Call("setTextFormat", {Script::Num(0), Script::Num(5), s.Format({{"bold", avm1::Value::Bool(true)}, {"size", Script::Num(20)}})});
  EXPECT_EQ(s.Read(s.Call("getTextFormat", {Script::Num(1)}), "bold"), "true");
  EXPECT_EQ(s.Read(s.Call("getTextFormat", {Script::Num(1)}), "size"), "20");
  const avm1::Value whole = s.Call("getTextFormat", {});
  EXPECT_EQ(s.Read(whole, "bold"), "null");
  EXPECT_EQ(s.Read(whole, "font"), "Times New Roman");  // shared by every character
  // A plain object is not a format: nothing changes.
  avm1::Object* plain = s.m.NewObject();
  s.m.Set(plain, "bold", avm1::Value::Bool(false));
  s.Call("setTextFormat", {avm1::Value::Obj(plain)});
  EXPECT_EQ(s.Read(s.Call("getTextFormat", {Script::Num(0)}), "bold"), "true");

  // Emptied, the field has no character formats to share.
  s.m.Set(avm1::ScriptObjectOf(s.field), "text", s.Str(""));
  EXPECT_EQ(s.Read(s.Call("getTextFormat", {}), "size"), "null");
}

TEST(TextFieldFormat, NewTextGetsTheNewTextFormatAndTheRestKeepsItsOwn) {
  auto run = FieldMovie(false, "abcdef");
  ASSERT_TRUE(run->player);
  Script s{*run};
  s.Call("setTextFormat", {Script::Num(0), Script::Num(2), s.Format({{"color", Script::Num(0xFF0000)}})});
  s.Call("setNewTextFormat", {s.Format({{"italic", avm1::Value::Bool(true)}})});
  EXPECT_EQ(s.Read(s.Call("getNewTextFormat", {}), "italic"), "true");
  EXPECT_EQ(s.Read(s.Call("getNewTextFormat", {}), "size"), "12");  // merged, not replaced
  s.Call("replaceText", {Script::Num(2), Script::Num(4), s.Str("XY")});
  EXPECT_EQ(s.field->Text(), "abXYef");
  EXPECT_EQ(s.Read(s.Call("getTextFormat", {Script::Num(0)}), "color"), std::to_string(0xFF0000));
  EXPECT_EQ(s.Read(s.Call("getTextFormat", {Script::Num(2)}), "italic"), "true");
  EXPECT_EQ(s.Read(s.Call("getTextFormat", {Script::Num(5)}), "italic"), "false");
  s.m.Set(avm1::ScriptObjectOf(s.field), "text", s.Str("new"));
  EXPECT_EQ(s.Read(s.Call("getTextFormat", {}), "italic"), "true");

  // textColor colours the text there is and the text to come.
  s.m.Set(avm1::ScriptObjectOf(s.field), "textColor", Script::Num(0x404040));
  EXPECT_EQ(s.Read(s.Call("getTextFormat", {}), "color"), std::to_string(0x404040));
  EXPECT_EQ(s.Read(s.Call("getNewTextFormat", {}), "color"), std::to_string(0x404040));
}

// textColor reads the colour of the text to come; an HTML field turned into plain text
// starts its new text left-aligned.
TEST(TextFieldFormat, TextColorReadsTheNewFormatAndPlainTextStartsLeftAligned) {
  auto run = FieldMovie(true, "");
  ASSERT_TRUE(run->player);
  Script s{*run};
  avm1::Object* self = avm1::ScriptObjectOf(s.field);
  s.m.Set(self, "textColor", Script::Num(0xFFFFFF));
  s.Call("setTextFormat", {s.Format({{"color", Script::Num(0x808080)}})});
  EXPECT_EQ(s.m.ToNumber(s.m.Get(self, "textColor")), 0xFFFFFF);
  s.Call("setNewTextFormat", {s.Format({{"color", Script::Num(0x404040)}, {"align", s.Str("center")}})});
  EXPECT_EQ(s.m.ToNumber(s.m.Get(self, "textColor")), 0x404040);

  s.m.Set(self, "html", avm1::Value::Bool(true));  // no change: the alignment stays
  EXPECT_EQ(s.Read(s.Call("getNewTextFormat", {}), "align"), "center");
  s.m.Set(self, "html", avm1::Value::Bool(false));
  EXPECT_EQ(s.Read(s.Call("getNewTextFormat", {}), "align"), "left");
}

TEST(TextFieldFormat, HtmlFieldsWriteTheirRunsAndDrawThem) {
  auto run = FieldMovie(true, "<p align=\"center\"><b>bold</b> plain</p>");
  ASSERT_TRUE(run->player);
  Script s{*run};
  const std::string html = s.m.ToString(s.m.Get(avm1::ScriptObjectOf(s.field), "htmlText"));
  EXPECT_EQ(html,
            R"(<P ALIGN="CENTER"><FONT FACE="Times New Roman" SIZE="12" COLOR="#000000" LETTERSPACING="0" KERNING="0"><B>bold</B> plain</FONT></P>)");
  EXPECT_EQ(s.field->Text(), "bold plain\r");
  // What the renderer gets holds the same runs, and the empty line after the last line end.
  ASSERT_TRUE(s.field->character);
  EXPECT_EQ(static_cast<const EditText&>(*s.field->character).initialText.toStdString(),
            html + R"(<P ALIGN="CENTER"><FONT FACE="Times New Roman" SIZE="12" COLOR="#000000" LETTERSPACING="0" KERNING="0"></FONT></P>)");
  s.Call("setTextFormat", {Script::Num(5), Script::Num(10), s.Format({{"url", s.Str("a.html")}})});
  EXPECT_NE(s.m.ToString(s.m.Get(avm1::ScriptObjectOf(s.field), "htmlText")).find(R"(<A HREF="a.html" TARGET="">plain</A>)"),
            std::string::npos);
}

// A text ending with a line end shows an empty line after it: a line of its own (the
// layout gives it one, scripts can scroll to it) that adds nothing to the text's height.
// (In a dynamic field: an input one counts the line its caret can stand on.)
TEST(TextFieldFormat, ALastLineEndAddsALineButNoHeight) {
  auto run = StartFieldMovie({.flagsHigh = 0x08, .text = "a"});
  ASSERT_TRUE(run->player);
  Script s{*run};
  ASSERT_TRUE(s.field);
  const std::string height = s.m.ToString(s.m.Get(avm1::ScriptObjectOf(s.field), "textHeight"));
  s.m.Set(avm1::ScriptObjectOf(s.field), "text", s.Str("a\r"));
  EXPECT_EQ(s.m.ToString(s.m.Get(avm1::ScriptObjectOf(s.field), "textHeight")), height);
  const auto lines = s.field->Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].length, 2);  // "a" and its line end
  EXPECT_EQ(lines[1].offset, 2);
  EXPECT_EQ(lines[1].length, 0);
  EXPECT_GT(lines[1].top, lines[0].top);
}

}  // namespace
}  // namespace vantrel::flash
