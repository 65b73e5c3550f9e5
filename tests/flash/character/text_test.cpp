#include "flash/character/text.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include "flash/character/definition.h"
#include "flash/render_helpers.h"
#include "support/swf_shape_writer.h"

namespace vantrel::flash {
namespace {

using testing::Pixel;
using testing::RenderToImage;
using vantrel::testing::SwfBits;

// A square glyph filling the em above the baseline.
std::vector<std::uint8_t> SquareGlyph(std::int32_t em) {
  SwfBits g;
  g.StyleBits(1, 0);
  g.StyleChange(true, 0, -em, -1, 1);
  vantrel::testing::RectEdges(g, em, em);
  g.EndShape();
  return g.bytes;
}

// DefineFont2 named "Test" with one square glyph for code (default 'A') and a layout
// (advance: one em unless given); style adds the bold (1) and italic (2) flags.
std::vector<std::uint8_t> Font2(std::uint16_t id, char16_t code = 'A', std::uint8_t style = 0,
                                std::uint16_t advance = 1024) {
  const auto glyph = SquareGlyph(1024);
  SwfBits w;
  w.U16(id);
  w.U8(static_cast<std::uint8_t>(0x80 | 0x04 | style));  // layout, wide codes
  w.U8(0);
  w.U8(4);
  w.Bytes({'T', 'e', 's', 't'});
  w.U16(1);
  w.U16(4);  // glyph offset
  w.U16(static_cast<std::uint16_t>(4 + glyph.size()));
  w.Bytes(glyph);
  w.U16(code);
  w.U16(1024);  // ascent
  w.U16(0);
  w.U16(0);
  w.U16(advance);
  w.Rect(0, 1024, -1024, 0);
  w.U16(0);
  return w.bytes;
}

// DefineFont2 "Test" with a square 'A' and an empty ' ', advancing by the given font units.
std::vector<std::uint8_t> LetterAndSpaceFont(std::uint16_t id, std::uint16_t advanceA, std::uint16_t advanceSpace) {
  const auto square = SquareGlyph(1024);
  SwfBits blank;
  blank.StyleBits(1, 0);
  blank.EndShape();
  SwfBits w;
  w.U16(id);
  w.U8(0x80 | 0x04);  // layout, wide codes
  w.U8(0);
  w.U8(4);
  w.Bytes({'T', 'e', 's', 't'});
  w.U16(2);
  w.U16(6);  // glyph offsets, then the code table's
  w.U16(static_cast<std::uint16_t>(6 + square.size()));
  w.U16(static_cast<std::uint16_t>(6 + square.size() + blank.bytes.size()));
  w.Bytes(square);
  w.Bytes(blank.bytes);
  w.U16('A');
  w.U16(' ');
  w.U16(1000);  // ascent
  w.U16(100);   // descent
  w.U16(0);
  w.U16(advanceA);
  w.U16(advanceSpace);
  w.Rect(0, 1024, -1024, 0);
  w.Rect(0, 0, 0, 0);
  w.U16(0);
  return w.bytes;
}

SwfBits EditTextBody(std::uint16_t fontId, const std::string& text, bool wordWrap, bool html = false,
                     bool outlines = true);

class TextTest : public ::testing::Test {
 protected:
  TextTest() { context.dictionary = &dictionary; }
  std::shared_ptr<Character> Define(std::uint16_t tag, const std::vector<std::uint8_t>& body) {
    std::string error;
    auto character = ParseDefinition(tag, body, context, &error);
    EXPECT_TRUE(character || tag == 13) << error;
    if (character) dictionary.Add(character);
    return character;
  }
  // An empty HTML field in font 1, which has only 'A', 10 px wide at 10 px.
  std::shared_ptr<EditText> HtmlFieldOfA() {
    Define(48, Font2(1));
    return std::static_pointer_cast<EditText>(Define(37, EditTextBody(1, "", false, true).bytes));
  }
  Dictionary dictionary;
  DefinitionContext context;
};

TEST_F(TextTest, StaticTextDrawsGlyphsAtTheirAdvances) {
  Define(48, Font2(1));
  SwfBits w;
  w.U16(2);
  w.Rect(0, 800, 0, 400);
  w.Matrix();
  w.U8(1);   // glyph bits
  w.U8(12);  // advance bits
  w.U8(0x8F);
  w.U16(1);
  w.Rgb(0, 128, 0);
  w.U16(0);    // x
  w.U16(200);  // y: the baseline
  w.U16(200);  // height: 10 px
  w.U8(2);
  w.UB(1, 0);
  w.SB(12, 400);
  w.UB(1, 0);
  w.SB(12, 400);
  w.U8(0);
  auto text = Define(11, w.bytes);
  ASSERT_TRUE(text);
  const QImage image = RenderToImage(*text, 40, 20);
  EXPECT_EQ(Pixel(image, 5, 5), 0x008000u);
  EXPECT_EQ(Pixel(image, 15, 5), 0xFFFFFFu);
  EXPECT_EQ(Pixel(image, 25, 5), 0x008000u);
  EXPECT_EQ(Pixel(image, 5, 15), 0xFFFFFFu);
  EXPECT_EQ(AsDrawable(text.get())->Outline().boundingRect(), QRectF(0, 0, 600, 200));
}

TEST_F(TextTest, TextDefinedBeforeItsFontGetsItLater) {
  SwfBits w;
  w.U16(2);
  w.Rect(0, 400, 0, 400);
  w.Matrix();
  w.U8(1);
  w.U8(12);
  w.U8(0x8F);
  w.U16(1);
  w.Rgb(0, 128, 0);
  w.U16(0);
  w.U16(200);
  w.U16(200);
  w.U8(1);
  w.UB(1, 0);
  w.SB(12, 400);
  w.U8(0);
  auto text = Define(11, w.bytes);
  auto field = Define(37, EditTextBody(1, "A", false).bytes);
  ASSERT_TRUE(text && field);
  EXPECT_EQ(Pixel(RenderToImage(*text, 20, 20), 5, 5), 0xFFFFFFu);
  Define(48, Font2(1));
  EXPECT_EQ(Pixel(RenderToImage(*text, 20, 20), 5, 5), 0x008000u);
  EXPECT_EQ(Pixel(RenderToImage(*field, 20, 20), 5, 7), 0x0000FFu);
}

TEST_F(TextTest, LayoutAdvancesAreUnsigned) {
  // Wide fonts (DefineFont3 is in 1/20 twips) have advances past 32767.
  auto character = Define(48, Font2(7, 'A', 0, 40000));
  ASSERT_TRUE(character);
  EXPECT_EQ(static_cast<const Font&>(*character).Advance(0), 40000);
}

TEST_F(TextTest, FontInfoNamesGlyphsOfDefineFont) {
  const auto glyph = SquareGlyph(1024);
  SwfBits font;
  font.U16(5);
  font.U16(2);
  font.Bytes(glyph);
  auto character = Define(10, font.bytes);
  ASSERT_TRUE(character);
  SwfBits info;
  info.U16(5);
  info.U8(4);
  info.Bytes({'S', 'a', 'n', 's'});
  info.U8(0x02);  // bold, narrow codes
  info.U8('B');
  EXPECT_EQ(Define(13, info.bytes), nullptr);
  const auto& f = static_cast<const Font&>(*character);
  EXPECT_EQ(f.name, "Sans");
  EXPECT_TRUE(f.bold);
  EXPECT_EQ(f.GlyphForCode('B'), 0);
  EXPECT_EQ(f.GlyphForCode('A'), -1);
}

SwfBits EditTextBody(std::uint16_t fontId, const std::string& text, bool wordWrap, bool html, bool outlines) {
  SwfBits w;
  w.U16(3);
  w.Rect(0, 1000, 0, 600);
  w.U8(static_cast<std::uint8_t>(0x80 | (wordWrap ? 0x60 : 0) | 0x04 | 0x01));  // text, colour, font
  w.U8(static_cast<std::uint8_t>((html ? 0x02 : 0) | (outlines ? 0x01 : 0)));
  w.U16(fontId);
  w.U16(200);
  w.Rgba(0, 0, 255, 255);
  w.String("field");
  w.String(text);
  return w;
}

TEST_F(TextTest, EditTextDrawsEmbeddedGlyphsInsideTheGutter) {
  Define(48, Font2(1));
  auto field = std::static_pointer_cast<EditText>(Define(37, EditTextBody(1, "AA", false).bytes));
  ASSERT_TRUE(field);
  EXPECT_EQ(field->variableName, "field");
  const QImage image = RenderToImage(*field, 60, 40);
  EXPECT_EQ(Pixel(image, 1, 7), 0xFFFFFFu);  // gutter
  EXPECT_EQ(Pixel(image, 5, 7), 0x0000FFu);
  EXPECT_EQ(Pixel(image, 15, 7), 0x0000FFu);
  EXPECT_EQ(Pixel(image, 25, 7), 0xFFFFFFu);
  EXPECT_EQ(Pixel(image, 5, 14), 0xFFFFFFu);
}

// The renderer keeps the last layout of a field: a field changed in place after a
// drawing draws as a new field with the same settings does.
TEST_F(TextTest, EditTextDrawnAgainShowsWhatChangedSince) {
  Define(48, Font2(1));
  auto field = std::static_pointer_cast<EditText>(Define(37, EditTextBody(1, "AA", false).bytes));
  ASSERT_TRUE(field);
  RenderToImage(*field, 60, 40);
  const auto check = [&](const char* what) {
    const EditText fresh = *field;
    EXPECT_EQ(RenderToImage(*field, 60, 40), RenderToImage(fresh, 60, 40)) << what;
  };
  field->initialText = "A";
  check("text");
  field->align = TextAlign::Right;
  check("align");
  field->color = Rgba{255, 0, 0, 255};
  check("colour");
  field->fontHeight = 100;
  check("font height");
  field->leftMargin = 200;
  check("margin");
  field->bounds.xMax -= 200;
  check("bounds");
  field->initialText = "AAA AAA";
  field->wordWrap = true;
  check("word wrap");
  field->html = true;
  field->initialText = "A<br>A";
  check("html");
}

TEST_F(TextTest, EditTextWrapsWordsAndReadsHtml) {
  Define(48, Font2(1));
  auto field = std::static_pointer_cast<EditText>(Define(37, EditTextBody(1, "AAA AAA", true).bytes));
  ASSERT_TRUE(field);
  const auto lines = field->LayoutLines("AAA AAA");  // 46 px of room, 10 px per glyph
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].trimmed(), "AAA");
  EXPECT_EQ(lines[1], "AAA");
  EXPECT_EQ(field->LayoutLines("AAAAAAA").size(), 2u);  // a long word breaks where it must
  EXPECT_EQ(HtmlToPlainText("<p align=\"left\"><font face=\"x\">a &amp; b</font></p><p>c<br>d&#65;</p>"),
            "a & b\nc\ndA");
}

// At 10 px, 1000 font units are 195.3125 twips: each embedded glyph advances 195, and
// the ascent is 195 (the descent of 100 units 19). A line that wraps after a space
// counts that space in its width when it is left-aligned.
TEST_F(TextTest, EmbeddedMetricsDropTheirFractionAndAWrappedLineKeepsItsSpace) {
  Define(48, LetterAndSpaceFont(1, 1000, 512));
  auto field = std::static_pointer_cast<EditText>(Define(37, EditTextBody(1, "", false).bytes));
  ASSERT_TRUE(field);
  const EditText::TextMetrics one = field->Measure("AAAA", false);
  EXPECT_DOUBLE_EQ(one.width, 4 * 195);
  ASSERT_EQ(one.lineHeights.size(), 1u);
  EXPECT_DOUBLE_EQ(one.lineHeights[0], 195 + 19 + field->leading);
  field->wordWrap = true;  // 46 px of room: "AA AA " fits, the last "AA" wraps
  const auto lines = field->LayoutLines("AA AA AA");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "AA");
  EXPECT_DOUBLE_EQ(field->Measure("AA AA AA", false).width, 4 * 195 + 2 * 100);
}

// Where scripts find lines and characters: each line's characters in the text (its line
// end counted), its left edge after alignment, its top, and which characters have a glyph.
TEST_F(TextTest, LineBoxesPlaceLinesAndTheirCharacters) {
  auto field = HtmlFieldOfA();
  ASSERT_TRUE(field);
  const auto boxes = field->LineBoxes("<p align=\"right\">AB</p><p>A</p>");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].offset, 0);
  EXPECT_EQ(boxes[0].length, 3);
  EXPECT_EQ(boxes[1].offset, 3);
  ASSERT_EQ(boxes[0].chars.size(), 2u);
  EXPECT_TRUE(boxes[0].chars[0].drawn);
  EXPECT_FALSE(boxes[0].chars[1].drawn);  // no glyph for 'B', and no advance
  EXPECT_DOUBLE_EQ(boxes[0].chars[1].advance, 0);
  EXPECT_DOUBLE_EQ(boxes[0].left, 1000 - 40 - 200);  // right-aligned inside the gutter
  EXPECT_DOUBLE_EQ(boxes[1].left, 40);
  EXPECT_DOUBLE_EQ(boxes[0].top, 0);
  EXPECT_DOUBLE_EQ(boxes[1].top, boxes[0].ascent + boxes[0].descent + boxes[0].leading);
}

// A list item's lines start 36 px in, at any size, and its first line is as tall as
// the bullet in the style the item opened with, though its text may be smaller.
TEST_F(TextTest, ListItemsStandClearOfTheirBullet) {
  auto field = HtmlFieldOfA();
  ASSERT_TRUE(field);
  const auto boxes = field->LineBoxes("<li>A</li><p>A</p><li><font size=\"5\">A</font></li>");
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_DOUBLE_EQ(boxes[0].left, 40 + 720);
  EXPECT_DOUBLE_EQ(boxes[1].left, 40);
  EXPECT_DOUBLE_EQ(boxes[2].left, 40 + 720);
  EXPECT_DOUBLE_EQ(boxes[2].ascent, boxes[0].ascent);
  field->wordWrap = true;  // 46 px of room, less the bullet's 36: one 'A' a line
  EXPECT_EQ(field->LayoutLines("<li>AA</li>").size(), 2u);
}

// A tab moves on to the paragraph's next stop and, past its last one, not at all;
// without stops it moves to the next multiple of 32 pixels.
TEST_F(TextTest, TabsMoveToTheNextStop) {
  Define(48, Font2(1, '\t', 0, 0));
  Define(48, Font2(2));  // 'A', 10 px wide at 10 px
  auto field = std::static_pointer_cast<EditText>(Define(37, EditTextBody(2, "", false, true).bytes));
  ASSERT_TRUE(field);
  EXPECT_DOUBLE_EQ(field->Measure("<textformat tabstops=\"25,50\"><p>A\tA\tA\tA</p></textformat>", true).width,
                   70 * 20);
  EXPECT_DOUBLE_EQ(field->Measure("A\tA\t\tA", false).width, 106 * 20);  // tabs at 10, 42 and 64
}

TEST_F(TextTest, HtmlRunsTakeTheFontOfTheirStyle) {
  Define(48, Font2(1));                     // regular: only 'A'
  Define(48, Font2(2, 'B', 1));             // bold: only 'B'
  auto field = std::static_pointer_cast<EditText>(Define(37, EditTextBody(1, "A<b>B</b>A<br>A", false, true).bytes));
  ASSERT_TRUE(field);
  const auto lines = field->LayoutLines("A<b>B</b>A<br>A");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "ABA");
  // Each glyph is a 10-pixel square from x = 2: the bold B takes the second place, so
  // the last A lands in the third.
  const QImage image = RenderToImage(*field, 60, 40);
  EXPECT_EQ(Pixel(image, 7, 7), 0x0000FFu);
  EXPECT_EQ(Pixel(image, 17, 7), 0x0000FFu);
  EXPECT_EQ(Pixel(image, 27, 7), 0x0000FFu);
  EXPECT_EQ(Pixel(image, 37, 7), 0xFFFFFFu);
}

TEST_F(TextTest, DeviceFontTextNeedsTheGuiApplication) {
  int argc = 1;
  char name[] = "test";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  const auto coloured = [&](bool outlines) {
    auto field = std::static_pointer_cast<EditText>(Define(37, EditTextBody(99, "Hello", false, false, outlines).bytes));
    const QImage image = RenderToImage(*field, 60, 40);
    int count = 0;
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 50; ++x) count += qBlue(image.pixel(x, y)) > 200 && qRed(image.pixel(x, y)) < 100;
    }
    return count;
  };
  EXPECT_GT(coloured(false), 10);
  // Outlines asked for and none in the movie: nothing shows, and the text takes no room.
  EXPECT_EQ(coloured(true), 0);
  auto field = std::static_pointer_cast<EditText>(Define(37, EditTextBody(99, "", false, false, true).bytes));
  const EditText::TextMetrics m = field->Measure("Hello", false);
  EXPECT_EQ(m.width, 0);
  EXPECT_EQ(m.height, 0);
}

}  // namespace
}  // namespace vantrel::flash
