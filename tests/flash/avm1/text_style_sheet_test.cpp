// TextField.StyleSheet: what parseCSS takes and refuses, how transform reads a style
// into a TextFormat, and a field's HTML text styled by the sheet.
#include <gtest/gtest.h>

#include "../movie_test_support.h"
#include "flash/avm1/display_binding.h"
#include "flash/avm1/movie_host.h"
#include "flash/display/text_field.h"
#include "script_fixture.h"

namespace vantrel::flash::avm1 {
namespace {

struct Sheet : testing::ScriptFixture {
  Object* sheet = nullptr;
  Sheet() {
    Object* textField = Global("TextField").AsObject();
    sheet = machine.Construct(machine.Get(textField, "StyleSheet").AsObject(), {});
  }
  Value Call(const char* method, std::vector<Value> args) { return machine.CallMethod(Value::Obj(sheet), method, args); }
  // A property of getStyle(name), or "no style" when getStyle gives null.
  std::string StyleField(const char* name, const char* field) {
    const Value style = Call("getStyle", {Str(name)});
    return style.IsObject() ? Text(machine.Get(style.AsObject(), field)) : "no style";
  }
};

TEST(TextStyleSheet, ParseCssReadsRulesAndRefusesWhatThePlayerRefuses) {
  Sheet s;
  ASSERT_TRUE(s.sheet);
  EXPECT_TRUE(s.Call("parseCSS", {s.Str("p, .note { font-size: 14px; color: #FF0000 }\nh1{text-align:center;}")}).boolean);
  EXPECT_EQ(s.StyleField("p", "fontSize"), "14px");      // dashes become capitals
  EXPECT_EQ(s.StyleField(".note", "color"), "#FF0000 ");  // values keep trailing spaces
  EXPECT_EQ(s.StyleField("h1", "textAlign"), "center");
  EXPECT_EQ(s.Text(s.Call("getStyleNames", {})), "p,.note,h1");

  // Refused text changes nothing: a selector with a space, a property without a colon,
  // a value the text cuts off.
  for (const char* bad : {"a b { color: red }", "a { color red }", "a { color: red"}) {
    EXPECT_FALSE(s.Call("parseCSS", {s.Str(bad)}).boolean) << bad;
    EXPECT_EQ(s.StyleField("a", "color"), "no style") << bad;
  }
  // A block left open after its last ';' is taken.
  EXPECT_TRUE(s.Call("parseCSS", {s.Str("a { color: red;")}).boolean);
  EXPECT_EQ(s.StyleField("a", "color"), "red");

  s.Call("clear", {});
  EXPECT_EQ(s.StyleField("p", "fontSize"), "no style");
}

TEST(TextStyleSheet, TransformReadsStylesAsThePlayerDoes) {
  Sheet s;
  ASSERT_TRUE(s.sheet);
  EXPECT_TRUE(s.Call("transform", {Value::Null()}).IsNull());
  const auto transformed = [&](const char* name, Value value, const char* field) {
    Object* style = s.machine.NewObject();
    s.machine.Set(style, name, value);
    const Value format = s.Call("transform", {Value::Obj(style)});
    return format.IsObject() ? s.Text(s.machine.Get(format.AsObject(), field)) : "null format";
  };
  EXPECT_EQ(transformed("color", s.Str("#faFAfa"), "color"), "16448250");
  EXPECT_EQ(transformed("color", s.Str(" #faFAfa"), "color"), "null");  // exactly "#" and six digits
  EXPECT_EQ(transformed("fontSize", s.Str("\t10suffix"), "size"), "10");
  EXPECT_EQ(transformed("fontSize", s.Num(0.5), "size"), "null");  // sizes below 1 are left out
  EXPECT_EQ(transformed("fontFamily", s.Str("  A  ,, B "), "font"), "A  ,B ");
  EXPECT_EQ(transformed("fontWeight", s.Str("Bold"), "bold"), "null");  // keywords are case-sensitive
  EXPECT_EQ(transformed("textAlign", s.Str("CenTeR"), "align"), "center");  // but alignment is not
  EXPECT_EQ(transformed("kerning", Value::Bool(true), "kerning"), "false");
  EXPECT_EQ(transformed("kerning", s.Str("-10"), "kerning"), "true");
  EXPECT_EQ(transformed("leading", s.Str("x"), "leading"), "0");
  EXPECT_EQ(transformed("letterSpacing", s.Str("x"), "letterSpacing"), "NaN");
  EXPECT_EQ(transformed("marginLeft", s.Num(-5), "leftMargin"), "0");
  EXPECT_EQ(transformed("display", s.Str("Inline"), "display"), "block");
}

TEST(TextStyleSheet, AFieldStylesItsHtmlTextByClass) {
  FieldSpec html;  // multiline HTML
  html.flagsHigh = 0x20;
  html.flagsLow = 0x02;
  auto run = StartFieldMovie(html);
  ASSERT_TRUE(run->player);
  Interpreter& m = avm1::HostOf(*run->player).Machine();
  auto* field = static_cast<TextField*>(run->player->Root().ChildByName("f", true));
  ASSERT_TRUE(field);
  Object* textField = m.Get(m.Rt().global, "TextField").AsObject();
  Object* sheet = m.Construct(m.Get(textField, "StyleSheet").AsObject(), {});
  // (a value ended by the brace keeps its space, and "bold " would be no weight)
  const Value css = m.Str(".red { color: #FF0000; font-weight: bold;}");
  m.CallMethod(Value::Obj(sheet), "parseCSS", std::span<const Value>(&css, 1));
  m.Set(avm1::ScriptObjectOf(field), "styleSheet", Value::Obj(sheet));
  EXPECT_EQ(m.Get(avm1::ScriptObjectOf(field), "styleSheet").AsObject(), sheet);
  m.Set(avm1::ScriptObjectOf(field), "htmlText", m.Str("a<span class=\"red\">b</span>"));
  const flash::TextFormat plain = field->Formatted().FormatAt(0);
  const flash::TextFormat styled = field->Formatted().FormatAt(1);
  EXPECT_EQ(plain.color.value_or(1), 0u);
  EXPECT_EQ(styled.color.value_or(0), 0xFF0000u);
  EXPECT_TRUE(styled.bold.value_or(false));
}

TEST(TextStyleSheet, UnderASheetAPlainFieldReadsHtmlAndGivesItBackAsItWas) {
  FieldSpec plain;  // a plain (not HTML) field
  auto run = StartFieldMovie(plain);
  ASSERT_TRUE(run->player);
  Interpreter& m = avm1::HostOf(*run->player).Machine();
  auto* field = static_cast<TextField*>(run->player->Root().ChildByName("f", true));
  ASSERT_TRUE(field);
  Object* object = avm1::ScriptObjectOf(field);
  const auto text = [&](const char* name) { return m.ToString(m.Get(object, name)); };
  Object* textField = m.Get(m.Rt().global, "TextField").AsObject();
  Object* sheet = m.Construct(m.Get(textField, "StyleSheet").AsObject(), {});
  // A clip is no style sheet.
  m.Set(object, "styleSheet", m.Get(m.Rt().global, "_root"));
  EXPECT_TRUE(m.Get(object, "styleSheet").IsUndefined());

  m.Set(object, "styleSheet", Value::Obj(sheet));
  m.Set(object, "text", m.Str("<b>a</b>b"));
  EXPECT_EQ(text("text"), "ab");
  EXPECT_EQ(text("htmlText"), "<b>a</b>b");
  EXPECT_FALSE(m.Get(object, "html").boolean);
  // Setting the sheet again keeps the HTML; taking it away leaves plain text.
  m.Set(object, "styleSheet", Value::Obj(sheet));
  EXPECT_EQ(text("htmlText"), "<b>a</b>b");
  m.Set(object, "styleSheet", Value::Null());
  EXPECT_EQ(text("htmlText"), "ab");
  m.Set(object, "text", m.Str("<b>c</b>"));
  EXPECT_EQ(text("text"), "<b>c</b>");
  // A sheet set over plain text shows it as HTML, escaped.
  m.Set(object, "styleSheet", Value::Obj(sheet));
  EXPECT_NE(text("htmlText").find("&lt;b&gt;c"), std::string::npos);
}

}  // namespace
}  // namespace vantrel::flash::avm1
