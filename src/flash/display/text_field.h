// Edit text fields as display objects: the text, the HTML form and the formatting
// scripts change, bound variables, and the field copy the renderer draws.
#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "flash/character/text.h"
#include "flash/display/display_object.h"
#include "flash/display/text_format_runs.h"

namespace vantrel::flash {

// What TextFormat.getTextExtent reports for a text in a format, in whole pixels: the
// font's ascent and descent, the laid-out width and height, and the size of a field
// that would show it (wrapped to width when one is given).
struct TextExtent {
  double ascent = 0, descent = 0, width = 0, height = 0, fieldWidth = 0, fieldHeight = 0;
};
TextExtent MeasureTextExtent(const TextFormat& format, const QString& text, std::optional<double> width);

class TextField : public DisplayObject {
 public:
  TextField(MovieRuntime& player, const LoadedMovie* movie, const EditText& definition);

  // The field as it is drawn now; character points at it.
  EditText& Field() { return *field_; }
  const EditText& Field() const { return *field_; }
  // Plain text (HTML fields: their text without tags).
  QString Text() const;
  void SetText(const QString& text);
  // The HTML text of an HTML field ("" for plain fields is their text escaped).
  QString HtmlText() const;
  void SetHtmlText(const QString& html);
  // The variable whose value the field shows ("" when none), relative to its parent.
  std::string variable;
  // Colours and flags scripts read and write.
  bool background = false;
  Rgba backgroundColor{255, 255, 255, 255};
  Rgba borderColor{0, 0, 0, 255};
  bool selectable = true;
  bool autoSizeSet = false;
  std::string autoSize = "none";
  int scroll = 1, hscroll = 0;
  // The selection while the field has the focus, in UTF-16 units of Text(); the caret
  // is at selectionEnd. -1 when the field has no selection.
  int selectionBegin = -1, selectionEnd = -1;
  void SelectAll();
  void ClearSelection() { selectionBegin = selectionEnd = -1; }
  void SetSelection(int begin, int end);
  // Types a character at the caret over the selection (8 Backspace and 127 Delete
  // remove); maxChars, restrict and multiline apply. True when the text changed.
  bool Type(char32_t character);
  // Replaces the selection with text (replaceSel); true when the text changed.
  bool ReplaceSelection(const QString& text);
  // The editing commands of the keyboard and the edit menu: caret moves (a selection
  // collapses to its side), select all, and the clipboard (password fields copy and
  // cut nothing; a paste passes restrict, maxChars and multiline, and an empty one
  // changes nothing). True when the text changed.
  enum class EditCommand {
    MoveLeft, MoveRight, LineStart, LineEnd, TextStart, TextEnd, SelectLeft, SelectRight, SelectAll, Copy, Cut, Paste
  };
  bool Edit(EditCommand command, QString& clipboard);
  // Tells the field's listeners and its onChanged handler that the user changed the
  // text, and writes a bound variable.
  void NotifyChanged();
  // The characters restrict lets in ("" lets all in); null restrict is empty.
  QString restrict;
  bool restrictSet = false;
  // Re-reads the bound variable; true when the text changed.
  bool SyncVariable();
  // Shows text read from the bound variable; true when the field changed.
  bool ShowVariableText(const QString& text);
  // Flash 8 settings scripts read back (the rasterizer draws every field alike).
  bool mouseWheelEnabled = true;
  // ActionScript 3 settings the field keeps: the selection shown without the focus, and
  // copying with formats.
  bool alwaysShowSelection = false, useRichTextClipboard = false;
  std::string antiAliasType = "normal", gridFitType = "pixel";
  double sharpness = 0, thickness = 0;
  // The script's StyleSheet object (kept alive by the field); styles holds its rules.
  gc::Cell* styleSheetObject = nullptr;
  // How many pixels the text can scroll sideways: its width past the visible box.
  int MaxHScroll() const;
  // Makes a new field copy after a property change, so the renderer sees it.
  void Changed();
  // An ActionScript 3 field fits its box to its text (autoSize) when something asks
  // where the box is (its bounds, position or size) or before the frame is drawn, not at
  // once: changes made in between (word wrap, say) are fitted together. Does nothing
  // when no fitting waits.
  void SettleBounds();
  // Gives the box a new width and/or height in twips (negative sizes count as 0),
  // keeping its top-left corner.
  void Resize(std::optional<double> width, std::optional<double> height);

  // The text with its formats, and the format new text gets (typing, text, replaceSel).
  const FormattedText& Formatted() const { return formatted_; }
  const TextFormat& NewTextFormat() const { return newFormat_; }
  void SetNewTextFormat(const TextFormat& format);
  // Sets the fields format sets on [begin, end) (clamped to the text).
  void ApplyTextFormat(int begin, int end, const TextFormat& format);
  // Replaces [begin, end) with text in the new text format (replaceText).
  void ReplaceRange(int begin, int end, const QString& text);
  // The format the field was defined with: every field set.
  TextFormat DefaultFormat() const;
  bool condenseWhite = false;
  // The style sheet HTML text is parsed with (null when none).
  std::shared_ptr<const TextStyles> styles;
  // While an ActionScript 3 style sheet styles the field, the HTML it was last given:
  // htmlText reads it back as it was.
  std::optional<QString> styledSource;
  // The laid-out size of the text in pixels, to the twip (ActionScript 1/2 reads whole
  // pixels), and the lines.
  struct Metrics {
    double width = 0, height = 0;
    int lines = 1;
    std::vector<double> lineHeights;  // pixels, leading included
    std::vector<double> lineLeadings;
  };
  Metrics Measure() const;
  // The lines as laid out now (see EditText::LineBox), the last one ending with the text.
  std::vector<EditText::LineBox> Lines() const;
  // The last line scroll can show at the top, and the last line visible now (1-based).
  int MaxScroll() const;
  int BottomScroll() const;
  QRectF LocalBounds() const override;
  void Trace(gc::Tracer& tracer) const override;

 private:
  bool ReplaceSelectionRange(int begin, int end, const QString& inserted);
  // autoSize: the box takes the text's size (and, not wrapping, its width), growing
  // from the side autoSize names.
  void FitToText();
  bool boundsPending_ = false;
  std::shared_ptr<EditText> field_;
  std::shared_ptr<const EditText> drawn_;  // the copy the renderer draws
  FormattedText formatted_;
  TextFormat newFormat_;
};

}  // namespace vantrel::flash
