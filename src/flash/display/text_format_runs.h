// The text of a field as runs of character formats: what setTextFormat changes,
// getTextFormat reads, and htmlText writes and parses. Both script machines use it.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "flash/character/text.h"

namespace vantrel::flash {

// A text format: unset fields are "mixed" (when read over a range) or "leave as it is"
// (when applied).
struct TextFormat {
  std::optional<QString> font;
  std::optional<double> size;  // pixels
  std::optional<std::uint32_t> color;
  std::optional<bool> bold, italic, underline;
  std::optional<QString> url, target;
  // Paragraph fields: they hold for whole paragraphs.
  std::optional<TextAlign> align;
  std::optional<double> leftMargin, rightMargin, indent, leading, blockIndent;  // pixels
  std::optional<std::vector<double>> tabStops;
  std::optional<bool> bullet;
  std::optional<bool> kerning;
  std::optional<double> letterSpacing;
  std::optional<QString> display;

  // Takes every field o sets.
  void MergeFrom(const TextFormat& o);
  // Unsets every field whose value differs in o.
  void KeepCommon(const TextFormat& o);
  // Only the paragraph fields, or only the character fields.
  TextFormat ParagraphPart() const;
  TextFormat CharacterPart() const;
  bool operator==(const TextFormat&) const = default;

  // A format with every field set: the player's defaults (Times New Roman 12, black).
  static TextFormat Defaults();
};

QString AlignName(TextAlign align);  // "left", "center", ...
std::optional<TextAlign> AlignFromName(const QString& name);

// A simple style sheet: selectors ("p", ".class", "a:hover") with the text format
// their CSS gives.
struct TextStyles {
  std::vector<std::pair<QString, TextFormat>> styles;
  const TextFormat* Find(const QString& selector) const;
};

class FormattedText {
 public:
  struct Span {
    int length = 0;
    TextFormat format;  // every field set
  };

  const QString& Text() const { return text_; }
  const std::vector<Span>& Spans() const { return spans_; }
  int Length() const { return static_cast<int>(text_.size()); }

  // Replaces everything with text in one format (line ends become '\r').
  void SetText(const QString& text, const TextFormat& format);
  // Replaces [begin, end) with text in format; paragraph fields of a new paragraph
  // come from the one it splits.
  void Replace(int begin, int end, const QString& text, const TextFormat& format);
  // Sets the fields format sets on [begin, end); paragraph fields on the whole
  // paragraphs the range touches.
  void ApplyFormat(int begin, int end, const TextFormat& format);
  // The fields every character of [begin, end) shares (the character at begin when
  // the range is empty); nullopt when the text is empty.
  std::optional<TextFormat> FormatOf(int begin, int end) const;
  // The format of the character at index (clamped to the text).
  TextFormat FormatAt(int index) const;

  // The HTML text as the player writes it: one <P> (or <LI> for bullets) per
  // paragraph, <TEXTFORMAT> around it when its margins, indents, leading or tab stops
  // are set, nested <FONT> tags for font changes and <A>, <B>, <I>, <U> around runs.
  QString ToHtml() const;

  struct HtmlOptions {
    bool multiline = false;       // <br>, <p> and <li> start new lines
    bool condenseWhite = false;   // runs of white space become one space
    const TextStyles* styles = nullptr;
    // Before version 8 white space alone between tags is dropped and KERNING is not read.
    int version = 8;
  };
  // Parses HTML text into runs starting from base (a complete format).
  static FormattedText FromHtml(const QString& html, const TextFormat& base, const HtmlOptions& options);

 private:
  void SplitAt(int index);
  void Normalize();
  std::vector<Span> spans_;
  QString text_;
};

// A style sheet's CSS as rules: selectors and the properties their block sets, names
// as scripts see them ("font-size" is "fontSize"), values as written.
struct CssRule {
  QStringList selectors;
  std::vector<std::pair<QString, QString>> properties;
};
// Reads "sel1, sel2 { name: value; ... }" rules into rules; false (and nothing read) for
// CSS the player refuses. ActionScript 3 style sheets keep empty selectors and property
// names (keepEmptyNames), which ActionScript 1/2 ones refuse and drop.
bool ParseCss(const QString& css, std::vector<CssRule>& rules, bool keepEmptyNames = false);

// The leading whole number of text as parseInt reads it ("1.2" gives 1, " -3px" -3);
// nullopt when there is none.
std::optional<double> LeadingInteger(const QString& text);
// The faces of a CSS font-family list: each without its leading spaces, empty ones left out.
QStringList CssFaceList(const QString& family);

// Decodes one HTML entity name ("amp", "#65", "#x41"); empty when unknown.
QString DecodeHtmlEntity(const QString& entity);

}  // namespace vantrel::flash
