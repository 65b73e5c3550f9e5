// Static text (DefineText 1-2): runs of glyphs of embedded fonts, drawn with the
// glyph outlines; and DefineEditText fields drawn with embedded glyphs or device fonts.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "flash/character/font.h"
#include "flash/raster/lanes.h"
#include "flash/raster/drawable.h"
#include "flash/character/definition.h"

namespace vantrel::flash {

struct TextRecord {
  std::uint16_t fontId = 0;
  std::shared_ptr<const Font> font;
  Rgba color;
  double x = 0, y = 0;  // twips, text space
  double height = 0;    // twips
  struct Glyph {
    std::uint32_t index = 0;
    std::int32_t advance = 0;
  };
  std::vector<Glyph> glyphs;
};

class StaticText : public Drawable {
 public:
  CharacterKind Kind() const override { return CharacterKind::Text; }
  void Render(const RenderContext& context) const override;
  QRectF Bounds(std::uint16_t ratio = 0) const override;
  bool HitTest(QPointF point, std::uint16_t ratio = 0) const override;
  QPainterPath Outline(std::uint16_t ratio = 0) const override;

  // Gives the records that use this font (defined after the text) their glyphs.
  void AttachFont(const std::shared_ptr<const Font>& font);

  Rect bounds;
  Matrix matrix;
  std::vector<TextRecord> records;
  // Set by the movie's CSMTextSettings: text drawn the advanced way is hit anywhere in its
  // box, other text only on its glyphs.
  bool advancedRendering = false;

 private:
  QPainterPath BuildOutline() const;
  mutable render::BuiltFlag outlineBuilt_;
  mutable QPainterPath outline_;
};

// Parses DefineText (11) or DefineText2 (33); fonts come from the dictionary. Returns
// nullptr on malformed data.
std::shared_ptr<StaticText> ParseStaticText(std::uint16_t tagCode, std::span<const std::uint8_t> body,
                                            DefinitionContext& context, std::string* error);

enum class TextAlign : std::uint8_t { Left = 0, Right = 1, Center = 2, Justify = 3 };

class EditText : public Drawable {
 public:
  CharacterKind Kind() const override { return CharacterKind::EditText; }
  // Draws the field with its initial text.
  void Render(const RenderContext& context) const override;
  QRectF Bounds(std::uint16_t ratio = 0) const override;
  bool HitTest(QPointF point, std::uint16_t ratio = 0) const override;
  QPainterPath Outline(std::uint16_t ratio = 0) const override;

  // Draws the field showing the given text (its variable's value, say); HTML fields
  // take HTML and show its text.
  void RenderText(const RenderContext& context, const QString& text) const;
  // The lines the field shows for a text, after HTML and word wrapping.
  std::vector<QString> LayoutLines(const QString& text) const;
  // The caret position (a character index of the laid-out text, line ends counting one)
  // nearest to point, in the field's own twips.
  int CharIndexAt(const QString& text, QPointF point) const;
  // Where the caret stands before character index (counted as CharIndexAt counts): its
  // top in the field's twips and its height, that of the line it is on; its colour is
  // the text's there.
  struct Caret {
    QPointF top;
    double height = 0;
    Rgba color;
  };
  Caret CaretAt(const QString& text, int index) const;
  // The laid-out lines of a text as scripts see them (getLineMetrics, getCharBoundaries):
  // each line's characters in the text, the paragraph end included, where it stands in
  // the box and how tall it is, and where each of its characters stands. Twips; x from
  // the box's left edge, top from the top of the text (the 2-pixel gutter not counted).
  struct LineBox {
    int offset = 0, length = 0;
    double left = 0, top = 0, width = 0, ascent = 0, descent = 0, leading = 0;
    struct Char {
      double x = 0, advance = 0;  // x from the line's left
      bool drawn = false;         // the font has a glyph for it
    };
    std::vector<Char> chars;  // the paragraph end not included
  };
  std::vector<LineBox> LineBoxes(const QString& text) const;
  void AttachFont(const std::shared_ptr<const Font>& font);
  // The size of the laid-out text in twips: the widest line and the lines' heights
  // (each with the leading after it but the last).
  struct TextMetrics {
    double width = 0, height = 0;
    std::vector<double> lineHeights;
  };
  TextMetrics Measure(const QString& text, bool isHtml) const;

  Rect bounds;
  bool wordWrap = false, multiline = false, password = false, readOnly = false;
  bool autoSize = false, noSelect = false, border = false, html = false, useOutlines = false;
  std::uint16_t fontId = 0;
  std::shared_ptr<const Font> font;
  std::string fontClass;
  double fontHeight = 240;  // twips
  Rgba color{0, 0, 0, 255};
  std::uint16_t maxLength = 0;
  TextAlign align = TextAlign::Left;
  double leftMargin = 0, rightMargin = 0, indent = 0, leading = 0;  // twips
  QString variableName;
  QString initialText;
  // From the movie's CSMTextSettings for the field: how its text is anti-aliased and
  // fitted to the pixel grid, and the two tuning numbers scripts read back.
  std::string antiAliasType = "normal", gridFitType = "pixel";
  double thickness = 0, sharpness = 0;
  // The movie's embedded fonts defined before the field: HTML runs that name a face,
  // bold or italic take their glyphs from the matching one.
  std::vector<std::shared_ptr<const Font>> movieFonts;
  // The SWF version of the movie the field belongs to: from 8 on, trailing spaces make
  // only left-aligned lines wider.
  int swfVersion = 10;

 private:
  // The layout RenderText last drew on the calling drawing thread, and what it was made
  // from: a field whose text and settings stay the same is not laid out again every
  // frame (nor once for every band of a frame drawn on several threads).
  struct LaidOut;
  const LaidOut& LayoutToDraw(const QString& text) const;
  mutable render::PerLane<std::shared_ptr<const LaidOut>> laidOut_;
};

std::shared_ptr<EditText> ParseEditText(std::span<const std::uint8_t> body, DefinitionContext& context,
                                        std::string* error);

// Completes the texts waiting for this font.
void AttachFontToWaitingTexts(const std::shared_ptr<const Font>& font, DefinitionContext& context);

// The visible text of simple HTML: tags dropped, <br> and paragraph ends as line
// breaks, entities decoded.
QString HtmlToPlainText(const QString& html);

}  // namespace vantrel::flash
