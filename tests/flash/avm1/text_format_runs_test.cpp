// The per-character format model of text fields: ranged formats, what a range has in
// common, and HTML text written and read back the way the player does it.
#include <gtest/gtest.h>

#include "flash/display/text_format_runs.h"

namespace vantrel::flash {
namespace {

TextFormat Base() {
  TextFormat f = TextFormat::Defaults();
  f.leading = 2;
  return f;
}

TextFormat Only(auto member, auto value) {
  TextFormat f;
  f.*member = value;
  return f;
}

const QString kOpen = R"(<P ALIGN="LEFT"><FONT FACE="Times New Roman" SIZE="12" COLOR="#000000" LETTERSPACING="0" KERNING="0">)";

TEST(TextFormatRuns, RangedFormatsNestFontTagsAndReturnToEnclosingOnes) {
  FormattedText text;
  text.SetText("hello bolded world", TextFormat::Defaults());
  text.ApplyFormat(4, 10, Only(&TextFormat::font, QString("Noto Sans")));
  text.ApplyFormat(8, 15, Only(&TextFormat::size, 14.0));
  text.ApplyFormat(10, 15, Only(&TextFormat::font, QString("Times New Roman")));
  // "ld" is Noto 14, "ed wo" Times 14 (nested, since no enclosing font looks like
  // it), "rld" is the outer font again.
  EXPECT_EQ(text.ToHtml(), kOpen + R"(hell<FONT FACE="Noto Sans">o bo<FONT SIZE="14">ld<FONT FACE="Times New Roman">ed wo</FONT></FONT></FONT>rld</FONT></P>)");

  // Bold and links go around each run, inside its font.
  text.ApplyFormat(0, 4, Only(&TextFormat::bold, true));
  text.ApplyFormat(0, 2, Only(&TextFormat::url, QString("x.html")));
  EXPECT_TRUE(text.ToHtml().startsWith(kOpen + R"(<A HREF="x.html" TARGET=""><B>he</B></A><B>ll</B><FONT)"));
}

TEST(TextFormatRuns, RangeReadsKeepOnlyWhatAllCharactersShare) {
  FormattedText text;
  text.SetText("abcdef", TextFormat::Defaults());
  text.ApplyFormat(2, 4, Only(&TextFormat::color, std::uint32_t{0xFF0000}));
  const auto mixed = text.FormatOf(0, 6);
  ASSERT_TRUE(mixed);
  EXPECT_FALSE(mixed->color);
  EXPECT_EQ(mixed->font, QString("Times New Roman"));
  EXPECT_EQ(text.FormatOf(2, 4)->color, 0xFF0000u);
  EXPECT_EQ(text.FormatOf(3, 3)->color, 0xFF0000u);  // an empty range reads its character
  EXPECT_FALSE(FormattedText().FormatOf(0, 0));
  EXPECT_EQ(text.Spans().size(), 3u);
  text.ApplyFormat(2, 4, Only(&TextFormat::color, std::uint32_t{0}));
  EXPECT_EQ(text.Spans().size(), 1u);  // equal neighbours merge again
}

TEST(TextFormatRuns, ParagraphFieldsCoverWholeParagraphs) {
  FormattedText text;
  text.SetText("one\ntwo\rthree", Base());
  EXPECT_EQ(text.Text(), "one\rtwo\rthree");
  text.ApplyFormat(5, 6, Only(&TextFormat::align, TextAlign::Center));
  text.ApplyFormat(5, 6, Only(&TextFormat::leftMargin, 5.0));
  EXPECT_EQ(text.FormatAt(0).align, TextAlign::Left);
  EXPECT_EQ(text.FormatAt(4).align, TextAlign::Center);
  EXPECT_EQ(text.FormatAt(7).align, TextAlign::Center);  // its line end too
  EXPECT_EQ(text.FormatAt(8).align, TextAlign::Left);
  const QString html = text.ToHtml();
  EXPECT_TRUE(html.contains(R"(<TEXTFORMAT LEFTMARGIN="5" LEADING="2"><P ALIGN="CENTER">)")) << html.toStdString();
  EXPECT_EQ(html.count("<TEXTFORMAT LEADING=\"2\"><P ALIGN=\"LEFT\">"), 2);

  // The paragraph attributes come in the player's order whatever order they were set in.
  text.ApplyFormat(0, 1, Only(&TextFormat::indent, 7.0));
  text.ApplyFormat(0, 1, Only(&TextFormat::rightMargin, 3.0));
  text.ApplyFormat(0, 1, Only(&TextFormat::leftMargin, 1.0));
  EXPECT_TRUE(text.ToHtml().startsWith(R"(<TEXTFORMAT LEFTMARGIN="1" RIGHTMARGIN="3" INDENT="7" LEADING="2">)"))
      << text.ToHtml().toStdString();
}

TEST(TextFormatRuns, ReplacingKeepsTheFormatsAround) {
  FormattedText text;
  text.SetText("abcdef", TextFormat::Defaults());
  text.ApplyFormat(0, 3, Only(&TextFormat::bold, true));
  TextFormat italic = TextFormat::Defaults();
  italic.italic = true;
  text.Replace(2, 4, "XYZ", italic);
  EXPECT_EQ(text.Text(), "abXYZef");
  EXPECT_TRUE(*text.FormatAt(1).bold);
  EXPECT_TRUE(*text.FormatAt(3).italic);
  EXPECT_FALSE(*text.FormatAt(3).bold);
  EXPECT_FALSE(*text.FormatAt(5).bold);
  text.Replace(0, 7, "", italic);
  EXPECT_TRUE(text.Spans().empty());
  EXPECT_EQ(text.ToHtml(), "");
  // Every CR and every LF ends a paragraph: CR LF makes two.
  text.SetText("a\nb\r\nc\rd", TextFormat::Defaults());
  EXPECT_EQ(text.Text(), "a\rb\r\rc\rd");
}

FormattedText Parse(const QString& html, bool multiline = false, bool condense = false) {
  TextFormat base = TextFormat::Defaults();
  base.font = QString("Noto Sans");
  base.size = 6;
  return FormattedText::FromHtml(html, base, {multiline, condense, nullptr});
}

TEST(TextFormatRuns, ParsesTagsTheWayThePlayerDoes) {
  // A closing tag only closes the innermost tag when the names match.
  EXPECT_EQ(Parse("<b>a<i>b</b>c</i>d</b>e").ToHtml(),
            R"(<P ALIGN="LEFT"><FONT FACE="Noto Sans" SIZE="6" COLOR="#000000" LETTERSPACING="0" KERNING="0"><B>a</B><B><I>bc</I></B><B>d</B>e</FONT></P>)");
  // Relative sizes, whole numbers only, and entities.
  const FormattedText sized = Parse("<font size=\"12\">a<font size=\"-1\">b</font><font size='1.7'>&lt;&#65;&amp;</font></font>");
  EXPECT_EQ(sized.Text(), "ab<A&");
  EXPECT_EQ(*sized.FormatAt(1).size, 11);
  EXPECT_EQ(*sized.FormatAt(2).size, 1);
  EXPECT_TRUE(sized.ToHtml().contains("&lt;A&amp;"));
  // Unknown tags are dropped, their text kept; a line feed is a line end.
  EXPECT_EQ(Parse("x<blink>y</blink>\nz").Text(), "xy\rz");
  EXPECT_EQ(Parse("<b></b>").ToHtml(), "");
}

TEST(TextFormatRuns, LineBreakingTagsNeedAMultilineField) {
  EXPECT_EQ(Parse("line 1 <br> line 2").Text(), "line 1  line 2");
  EXPECT_EQ(Parse("line 1 <br> line 2", true).Text(), "line 1 \r line 2");
  EXPECT_EQ(Parse("text<li>a</li>b", true).Text(), "text\ra\rb");
  EXPECT_EQ(Parse("<p>test<p>test</p></p>", true).Text(), "testtest\r");
  // Paragraphs do not nest: the first </p> after a <p> ends the line, later ones none.
  EXPECT_EQ(Parse("<p>a<p>b</p>c<p>d</p>e</p>", true).Text(), "ab\rcd\re");
  EXPECT_EQ(Parse("<p>a<p>b<p>c</p>d</p>e</p>", true).Text(), "abc\rde");
  // A paragraph's line end looks like the last font tag closed, not one still open.
  const FormattedText ends =
      Parse("<p>a<font color=\"#111111\"></font><font color=\"#222222\"><p>b</p></font>", true);
  EXPECT_EQ(ends.Text(), "ab\r");
  EXPECT_EQ(*ends.FormatAt(1).color, 0x222222u);
  EXPECT_EQ(*ends.FormatAt(2).color, 0x111111u);
  const FormattedText list = Parse("<li>test</li>", false);
  EXPECT_TRUE(list.ToHtml().startsWith("<LI><FONT"));
  const FormattedText aligned = Parse("<p align=\"right\">a</p>b", true);
  EXPECT_EQ(*aligned.FormatAt(0).align, TextAlign::Right);
  EXPECT_EQ(*aligned.FormatAt(2).align, TextAlign::Left);
  // The empty paragraph a line end leaves still writes its tags.
  EXPECT_EQ(Parse("<b>\n</b>").ToHtml(),
            R"(<P ALIGN="LEFT"><FONT FACE="Noto Sans" SIZE="6" COLOR="#000000" LETTERSPACING="0" KERNING="0"><B></B></FONT></P>)");
}

TEST(TextFormatRuns, CondenseWhiteFoldsOnlyAsciiWhiteSpace) {
  EXPECT_EQ(Parse("a  \t \n  b", false, true).Text(), "a b");
  EXPECT_EQ(Parse("a \b \v b", false, true).Text(), "a \b \v b");
  EXPECT_EQ(Parse("a  \t \n  b").Text(), "a  \t \r  b");
}

TEST(TextFormatRuns, OlderMoviesReadHtmlByTheirOwnRules) {
  TextFormat base = TextFormat::Defaults();
  const auto parse = [&](const QString& html, int version) {
    FormattedText::HtmlOptions options;
    options.version = version;
    return FormattedText::FromHtml(html, base, options);
  };
  // White space alone between tags only counts from version 8.
  EXPECT_EQ(parse("<p>line 1</p> <p>line 2</p>", 8).Text(), "line 1 line 2");
  EXPECT_EQ(parse("<p>line 1</p> <p>line 2</p>", 7).Text(), "line 1line 2");
  // Version 6 breaks lines at tags even in single-line fields.
  EXPECT_EQ(parse("<p>line 1</p><p>line 2</p>", 6).Text(), "line 1\rline 2\r");
  EXPECT_FALSE(*parse("<font kerning=\"1\">k</font>", 7).FormatAt(0).kerning);
  EXPECT_TRUE(*parse("<font kerning=\"1\">k</font>", 8).FormatAt(0).kerning);
}

// Paragraph fields stay with the characters the tags gave them, and a paragraph shows
// those of its first character; line ends written by closing tags take their format by
// the player's own rules.
TEST(TextFormatRuns, ParagraphFieldsStayWithTheirCharacters) {
  FormattedText::HtmlOptions multiline;
  multiline.multiline = true;
  const TextFormat base = TextFormat::Defaults();
  // The line end from the source text is outside the list item: no bullet.
  const FormattedText item = FormattedText::FromHtml("<li>test</li>\n", base, {});
  EXPECT_EQ(item.Text(), "test\r");
  EXPECT_TRUE(*item.FormatAt(0).bullet);
  EXPECT_FALSE(*item.FormatAt(4).bullet);
  EXPECT_TRUE(item.ToHtml().startsWith("<LI>"));
  // Runs that differ only in paragraph fields are one run in the HTML.
  const QString joined = FormattedText::FromHtml("<i>text<li>text</li></i>", base, {}).ToHtml();
  EXPECT_TRUE(joined.contains("<I>texttext</I>")) << joined.toStdString();

  // A list item's line end is in the item's format; a paragraph's takes the character
  // fields of the last font tag opened, else the text's starting ones.
  const FormattedText inItem = FormattedText::FromHtml("test<li><i>test</i></li>", base, multiline);
  EXPECT_TRUE(*inItem.FormatAt(9).bullet);
  EXPECT_FALSE(*inItem.FormatAt(9).italic);
  const FormattedText emptyFont =
      FormattedText::FromHtml("<p><font color=\"#111111\"><b></b></font></p>", base, multiline);
  EXPECT_EQ(*emptyFont.FormatAt(0).color, 0x111111u);
  EXPECT_FALSE(*emptyFont.FormatAt(0).bold);
  const FormattedText italic = FormattedText::FromHtml("<i><p align=\"right\">text</p></i>", base, multiline);
  EXPECT_FALSE(*italic.FormatAt(4).italic);
  EXPECT_EQ(*italic.FormatAt(4).align, TextAlign::Right);
}

// How HTML text reads what older tools and style sheets write: sizes within 1 to 127,
// CR LF as two line ends, and the elements a style sheet displays its own way.
TEST(TextFormatRuns, HtmlReadsSizesLineEndsAndStyledElements) {
  const TextFormat base = TextFormat::Defaults();
  const FormattedText sizes = FormattedText::FromHtml(
      "<font size=\"300\">a</font><font size=\"1\">b<font size=\"-5\">c</font></font>", base, {});
  EXPECT_EQ(*sizes.FormatAt(0).size, 127);
  EXPECT_EQ(*sizes.FormatAt(2).size, 1);
  EXPECT_EQ(FormattedText::FromHtml("a\r\nb", base, {}).Text(), "a\r\rb");

  TextStyles styles;
  TextFormat hidden, inlined, red;
  hidden.display = QString("none");
  inlined.display = QString("inline");
  red.color = 0xFF0000;
  styles.styles = {{".dn", hidden}, {"di", inlined}, {"db", red}};
  FormattedText::HtmlOptions options;
  options.styles = &styles;
  const auto text = [&](const char* html) { return FormattedText::FromHtml(html, base, options).Text(); };
  EXPECT_EQ(text("x<span class=\"dn\">a</span>y"), "xy");
  // A tag the sheet names is an element: a block ends its line once, even in a
  // single-line field, and an inline one does not.
  EXPECT_EQ(text("x<di>a</di>y<db>b<db>c</db></db>z"), "xayb" "c\rz");
  EXPECT_EQ(text("<as>a</as>"), "a");
  // The style's display is no part of the text's format.
  const FormattedText styled = FormattedText::FromHtml("<di>a</di>", base, options);
  EXPECT_EQ(*styled.FormatAt(0).display, "block");
  EXPECT_EQ(*FormattedText::FromHtml("<db>a</db>", base, options).FormatAt(0).color, 0xFF0000u);
}

// Both machines read style sheets with one CSS reader: values end at a line end as at
// ';' or '}', and keep the spaces before it.
TEST(TextFormatRuns, CssValuesEndAtLineEnds) {
  std::vector<CssRule> rules;
  ASSERT_TRUE(ParseCss(".s { color: #ff0000 \n font-size: 12 }\np, h1 {text-align:center;}", rules));
  ASSERT_EQ(rules.size(), 2u);
  ASSERT_EQ(rules[0].properties.size(), 2u);
  EXPECT_EQ(rules[0].properties[0], std::make_pair(QString("color"), QString("#ff0000 ")));
  EXPECT_EQ(rules[0].properties[1], std::make_pair(QString("fontSize"), QString("12 ")));
  EXPECT_EQ(rules[1].selectors, QStringList({"p", "h1"}));
  EXPECT_FALSE(ParseCss("long key { a: b }", rules));

  // Comments are skipped, and one left open ends the text. ActionScript 3 sheets keep
  // empty selectors and names.
  rules.clear();
  ASSERT_TRUE(ParseCss("/* a { b: c } */ d { e: f } /* g { h: i }", rules));
  ASSERT_EQ(rules.size(), 1u);
  EXPECT_EQ(rules[0].selectors, QStringList({"d"}));
  rules.clear();
  EXPECT_FALSE(ParseCss("{ color: red }", rules));
  ASSERT_TRUE(ParseCss("{ color: red } a { : x }", rules, true));
  ASSERT_EQ(rules.size(), 2u);
  EXPECT_EQ(rules[0].selectors, QStringList({""}));
  ASSERT_EQ(rules[1].properties.size(), 1u);
  EXPECT_EQ(rules[1].properties[0].first, "");
}

}  // namespace
}  // namespace vantrel::flash
