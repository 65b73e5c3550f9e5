#include "flash/display/text_field.h"

#include "flash/character/device_font.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"

#include <algorithm>
#include <cmath>

namespace vantrel::flash {

TextField::TextField(MovieRuntime& player, const LoadedMovie* movie, const EditText& definition)
    : DisplayObject(DisplayKind::EditText, player, movie), field_(std::make_shared<EditText>(definition)) {
  // Fields made by scripts have no definition that lists the movie's fonts: they may
  // use every font the movie defines or imports.
  if (field_->movieFonts.empty() && movie && movie->movie) {
    const auto add = [&](const std::shared_ptr<Character>& character) {
      if (character && character->Kind() == CharacterKind::Font && field_->movieFonts.size() < 256)
        field_->movieFonts.push_back(std::static_pointer_cast<const Font>(character));
    };
    movie->movie->dictionary.ForEach(add);
    for (const auto& [id, imported] : movie->imported) add(imported.character);
  }
  // A field whose font is imported from a library finds it once the library is there.
  if (!field_->font && field_->fontId != 0 && movie && movie->movie) {
    const auto character = movie->Find(field_->fontId);
    if (character && character->Kind() == CharacterKind::Font) field_->font = std::static_pointer_cast<const Font>(character);
  }
  variable = definition.variableName.toStdString();
  selectable = !definition.noSelect;
  antiAliasType = definition.antiAliasType;
  gridFitType = definition.gridFitType;
  thickness = definition.thickness;
  sharpness = definition.sharpness;
  if (definition.autoSize) autoSize = "left";
  // A field defined with a border also has its (white) background.
  background = definition.border;
  newFormat_ = DefaultFormat();
  // Before version 8 HTML fields start left-aligned whatever the field says.
  if (definition.html && movie && movie->Version() < 8) newFormat_.align = TextAlign::Left;
  // HTML text is regular unless its tags say otherwise, whatever font the field names.
  if (definition.html) newFormat_.bold = newFormat_.italic = false;
  if (definition.html)
    formatted_ = FormattedText::FromHtml(definition.initialText, newFormat_,
                                         {definition.multiline, false, nullptr, movie ? movie->Version() : 8});
  else formatted_.SetText(definition.initialText, newFormat_);
  Changed();
}

TextFormat TextField::DefaultFormat() const {
  TextFormat f = TextFormat::Defaults();
  const EditText& e = *field_;
  if (e.font && !e.font->name.isEmpty()) f.font = e.font->name;
  else if (!e.fontClass.empty()) f.font = QString::fromStdString(e.fontClass);
  f.bold = e.font && e.font->bold;
  f.italic = e.font && e.font->italic;
  f.size = e.fontHeight / 20.0;
  f.color = (static_cast<std::uint32_t>(e.color.r) << 16) | (e.color.g << 8) | e.color.b;
  f.align = e.align;
  // Layout values are kept in whole pixels.
  f.leftMargin = std::trunc(e.leftMargin / 20.0);
  f.rightMargin = std::trunc(e.rightMargin / 20.0);
  f.indent = std::trunc(e.indent / 20.0);
  f.leading = std::trunc(e.leading / 20.0);
  return f;
}

QString TextField::Text() const { return formatted_.Text(); }

void TextField::SetText(const QString& text) {
  // The same text again changes nothing: the formats stay.
  QString lineEnds = text;
  lineEnds.replace(QChar('\n'), QChar('\r'));
  if (lineEnds == formatted_.Text() && !text.isEmpty()) return;
  formatted_.SetText(text, newFormat_);
  // A selection there was stays where it was, within the new text.
  if (selectionBegin >= 0) SetSelection(selectionBegin, selectionEnd);
  Changed();
}

QString TextField::HtmlText() const { return field_->html ? formatted_.ToHtml() : formatted_.Text(); }

void TextField::SetHtmlText(const QString& html) {
  // A style sheet makes even a plain field read HTML.
  if (!field_->html && !styles) {
    SetText(html);
    return;
  }
  // The HTML the field would give back changes nothing.
  if (!styles && html == formatted_.ToHtml() && !html.isEmpty()) return;
  formatted_ = FormattedText::FromHtml(html, newFormat_,
                                       {field_->multiline, condenseWhite, styles.get(), movie_ ? movie_->Version() : 8});
  Changed();
}

void TextField::SetNewTextFormat(const TextFormat& format) { newFormat_.MergeFrom(format); }

void TextField::ApplyTextFormat(int begin, int end, const TextFormat& format) {
  formatted_.ApplyFormat(begin, end, format);
  Changed();
}

void TextField::ReplaceRange(int begin, int end, const QString& text) {
  formatted_.Replace(begin, end, text, newFormat_);
  Changed();
}

void TextField::Changed() {
  // The renderer draws a copy that holds the runs as HTML; the field keeps its settings.
  field_->initialText = field_->html ? formatted_.ToHtml() : formatted_.Text();
  auto copy = std::make_shared<EditText>(*field_);
  copy->initialText = formatted_.ToHtml();
  // A text ending with a line end shows an empty line after it, in that line end's
  // format; the HTML form writes no paragraph for it.
  if (formatted_.Text().endsWith(QChar('\r'))) {
    FormattedText withLastLine = formatted_;
    const int length = formatted_.Length();
    withLastLine.Replace(length, length, QStringLiteral("\r"), formatted_.FormatAt(length - 1));
    copy->initialText = withLastLine.ToHtml();
  }
  // An empty text shows one empty line in the format new text gets.
  if (formatted_.Text().isEmpty()) {
    FormattedText emptyLine;
    emptyLine.SetText(QStringLiteral("\r"), newFormat_);
    copy->initialText = emptyLine.ToHtml();
  }
  copy->html = true;
  // The runs carry every paragraph's margins, indents and leading.
  copy->leftMargin = copy->rightMargin = copy->indent = copy->leading = 0;
  drawn_ = copy;
  character = copy;
  boundsPending_ = false;
  if (autoSize == "none") return;
  if (Movie() && Movie()->movie && Movie()->movie->actionScript3) boundsPending_ = true;
  else FitToText();
}

void TextField::SettleBounds() {
  if (!boundsPending_) return;
  boundsPending_ = false;
  if (autoSize != "none") FitToText();
}

void TextField::FitToText() {
  // The box holds textWidth and textHeight: the empty line after a last line end adds
  // nothing, and an empty text takes no room.
  const Metrics measured = Measure();
  Rect& box = field_->bounds;
  constexpr double kGutters = 80;  // two pixels on either side, in twips
  const auto height = static_cast<std::int32_t>(std::round(measured.height * 20 + kGutters));
  std::int32_t width = box.Width();
  double shift = 0;  // how far the box's left edge moves, in the field's own twips
  if (!field_->wordWrap) {
    width = static_cast<std::int32_t>(std::round(measured.width * 20 + kGutters));
    if (autoSize == "center") shift = (box.Width() - width) / 2.0;
    if (autoSize == "right") shift = box.Width() - width;
  }
  if (width == box.Width() && height == box.Height()) return;
  box.xMax = box.xMin + width;
  box.yMax = box.yMin + height;
  if (shift != 0 && !(Movie() && Movie()->movie && Movie()->movie->actionScript3)) {
    // An ActionScript 1/2 field moves its box and keeps its placement (which copies
    // of the field take): _x reads the box's corner.
    box.xMin += static_cast<std::int32_t>(std::round(shift));
    box.xMax += static_cast<std::int32_t>(std::round(shift));
  } else if (shift != 0) {
    // An ActionScript 3 field keeps its box at the origin: the placement moves instead.
    Matrix m = GetMatrix();
    m.tx += std::round(shift * m.a);
    m.ty += std::round(shift * m.b);
    SetMatrix(m);
  }
  auto copy = std::make_shared<EditText>(*drawn_);
  copy->bounds = box;
  drawn_ = copy;
  character = copy;
}

void TextField::Resize(std::optional<double> width, std::optional<double> height) {
  Rect& box = field_->bounds;
  const auto twips = [](double v) { return static_cast<std::int32_t>(std::clamp(std::trunc(v), 0.0, 1e8)); };
  if (width) box.xMax = box.xMin + twips(*width);
  if (height) box.yMax = box.yMin + twips(*height);
  Changed();
}

std::vector<EditText::LineBox> TextField::Lines() const {
  std::vector<EditText::LineBox> lines = drawn_->LineBoxes(drawn_->initialText);
  // The last paragraph has no end of its own.
  const int length = formatted_.Length();
  for (EditText::LineBox& line : lines) line.length = std::max(0, std::min(line.length, length - line.offset));
  return lines;
}

TextField::Metrics TextField::Measure() const {
  Metrics m;
  const std::vector<EditText::LineBox> lines = Lines();
  // The empty line after a text's last line end adds no height, but in an input field,
  // where the caret can stand on it. The height counts the leading between lines, and a
  // single line its own.
  std::size_t counted = lines.size();
  if (counted > 1 && formatted_.Text().endsWith(QChar('\r')) && field_->readOnly) --counted;
  double width = 0, height = 0;
  for (std::size_t i = 0; i < counted; ++i) {
    width = std::max(width, lines[i].width);
    height += lines[i].ascent + lines[i].descent;
    if (i + 1 < counted || counted == 1) height += lines[i].leading;
  }
  m.width = width / 20.0;
  // An empty text has no height, but for the line an input field types into.
  m.height = formatted_.Text().isEmpty() && field_->readOnly ? 0 : height / 20.0;
  m.lines = std::max<int>(1, static_cast<int>(lines.size()));
  for (const EditText::LineBox& line : lines) {
    m.lineHeights.push_back((line.ascent + line.descent + line.leading) / 20.0);
    m.lineLeadings.push_back(line.leading / 20.0);
  }
  return m;
}

namespace {

// How many of the lines from first on fit into height (at least one): the last one
// that fits needs no room for its leading.
int LinesFitting(const TextField::Metrics& m, std::size_t first, double height) {
  int count = 0;
  double used = 0;
  for (std::size_t i = first; i < m.lineHeights.size(); ++i) {
    if (count > 0 && used + m.lineHeights[i] - m.lineLeadings[i] > height) break;
    used += m.lineHeights[i];
    ++count;
  }
  return std::max(count, 1);
}

}  // namespace

int TextField::MaxScroll() const {
  const Metrics m = Measure();
  const double visible = field_->bounds.Height() / 20.0 - 4;
  const int lines = static_cast<int>(m.lineHeights.size());
  if (Movie() && Movie()->movie && Movie()->movie->actionScript3) {
    // ActionScript 3 (maxScrollV): the first line from which the rest of the text, as
    // tall as textHeight says, fits.
    double top = 0;
    for (int s = 1; s <= lines; ++s) {
      if (m.height - top <= visible) return s;
      top += m.lineHeights[static_cast<std::size_t>(s - 1)];
    }
    return std::max(1, lines);
  }
  // ActionScript 1/2 (maxscroll): as many lines as fit from the bottom, the bottom one
  // needing no room for its leading.
  int fit = 0;
  double used = 0;
  for (std::size_t i = m.lineHeights.size(); i-- > 0;) {
    const double add = fit == 0 ? m.lineHeights[i] - m.lineLeadings[i] : m.lineHeights[i];
    if (fit > 0 && used + add > visible) break;
    used += add;
    ++fit;
  }
  return std::max(1, lines - std::max(fit, 1) + 1);
}

int TextField::BottomScroll() const {
  const Metrics m = Measure();
  const double visible = field_->bounds.Height() / 20.0 - 4;
  // A scroll set before the text shrank shows the last lines.
  const int top = std::min(scroll, MaxScroll());
  const std::size_t first = static_cast<std::size_t>(std::max(0, top - 1));
  const int lines = static_cast<int>(m.lineHeights.size());
  return std::min(std::max(lines, 1), top + LinesFitting(m, first, visible) - 1);
}

TextExtent MeasureTextExtent(const TextFormat& format, const QString& text, std::optional<double> width) {
  TextFormat full = TextFormat::Defaults();
  full.MergeFrom(format);
  EditText field;
  const double fieldWidth = width ? std::clamp(*width, 0.0, 1e6) : 1e6;
  field.bounds = Rect{0, static_cast<std::int32_t>(fieldWidth * 20), 0, 20 * 100};
  field.wordWrap = width.has_value();
  field.multiline = true;
  field.html = true;
  FormattedText runs;
  runs.SetText(text, full);
  const EditText::TextMetrics measured = field.Measure(runs.ToHtml(), true);
  TextExtent extent;
  const double size = full.size.value_or(12) * 20;
  if (const auto font = DeviceFont(full.font.value_or(QString()), full.bold.value_or(false), full.italic.value_or(false))) {
    extent.ascent = DeviceTextMetrics::Ascent(*font, size) / 20;
    extent.descent = DeviceTextMetrics::Descent(*font, size) / 20;
  }
  const double lines = std::max<double>(1, static_cast<double>(measured.lineHeights.size()));
  extent.width = std::floor(measured.width / 20);
  extent.height = lines * (extent.ascent + extent.descent);
  extent.fieldWidth = width ? std::trunc(*width) : extent.width + 4;
  extent.fieldHeight = extent.height + 4;
  return extent;
}

QRectF TextField::LocalBounds() const {
  // Asking for the bounds fits a box that waits for it; the box is the field's own state.
  const_cast<TextField*>(this)->SettleBounds();
  return field_->Bounds(0);
}

void TextField::Trace(gc::Tracer& tracer) const {
  DisplayObject::Trace(tracer);
  tracer.Mark(styleSheetObject);
}

int TextField::MaxHScroll() const {
  // Without word wrap the widest line may pass the box (less its 2-pixel gutters).
  if (field_->wordWrap) return 0;
  const double visible = std::max(0.0, field_->bounds.Width() / 20.0 - 4);
  // An input field scrolls a quarter of its width further, room to type into.
  const double room = field_->readOnly ? 0 : std::floor(visible / 4);
  return std::max(0, static_cast<int>(std::floor(Measure().width + room - visible)));
}

bool TextField::SyncVariable() {
  if (variable.empty() || !parent_ || Removed()) return false;
  return player_.Scripts().SyncTextVariable(*this);
}

bool TextField::ShowVariableText(const QString& text) {
  if (text == (field_->html ? HtmlText() : Text())) return false;
  if (field_->html) SetHtmlText(text);
  else SetText(text);
  return true;
}

namespace {

// Whether restrict lets c in. Characters are let in one by one; "^" switches between
// letting in and keeping out; "\\" takes the next character as it is (a backslash at the
// end counts for nothing). A run of "-" makes a range from the character before it to
// the one after it: a range starts from character 0 when nothing comes before it or the
// character before ended a range, a reversed range holds nothing, and a run at the end
// is ignored.
bool Allowed(const QString& restrict, QChar c) {
  bool allowed = !restrict.isEmpty() && restrict[0] == '^';
  bool excluding = false;
  char16_t before = 0;  // where a range starts
  bool range = false;
  for (qsizetype i = 0; i < restrict.size(); ++i) {
    char16_t at = restrict[i].unicode();
    if (at == '^') {
      excluding = !excluding;
      continue;
    }
    if (at == '-') {
      range = true;
      continue;
    }
    if (at == '\\') {
      if (i + 1 >= restrict.size()) break;
      at = restrict[++i].unicode();
    }
    if (range) {
      if (c.unicode() >= before && c.unicode() <= at) allowed = !excluding;
      before = 0;
      range = false;
    } else {
      if (c.unicode() == at) allowed = !excluding;
      before = at;
    }
  }
  return allowed;
}

// The same letter in the other case, for the ASCII letters only (restrict changes the
// case of no other character); c itself for any other character.
QChar OtherCase(QChar c) {
  const char16_t u = c.unicode();
  if (u >= 'a' && u <= 'z') return QChar(static_cast<char16_t>(u - 32));
  if (u >= 'A' && u <= 'Z') return QChar(static_cast<char16_t>(u + 32));
  return c;
}

}  // namespace

void TextField::SelectAll() {
  selectionBegin = 0;
  selectionEnd = static_cast<int>(Text().size());
}

void TextField::SetSelection(int begin, int end) {
  const int length = static_cast<int>(Text().size());
  selectionBegin = std::clamp(begin, 0, length);
  selectionEnd = std::clamp(end, 0, length);
}

bool TextField::ReplaceSelection(const QString& inserted) {
  QString text = Text();
  const int length = static_cast<int>(text.size());
  int begin = std::clamp(selectionBegin, 0, length);
  int end = std::clamp(selectionEnd, 0, length);
  if (begin > end) std::swap(begin, end);
  text.replace(begin, end - begin, inserted);
  const int caret = begin + static_cast<int>(inserted.size());
  const bool changed = text != Text();
  if (changed) ReplaceRange(begin, end, inserted);
  selectionBegin = selectionEnd = caret;
  return changed;
}

bool TextField::Edit(EditCommand command, QString& clipboard) {
  const QString text = Text();
  const int length = static_cast<int>(text.size());
  const int anchor = selectionBegin < 0 ? length : std::clamp(selectionBegin, 0, length);
  const int caret = selectionEnd < 0 ? length : std::clamp(selectionEnd, 0, length);
  const int low = std::min(anchor, caret), high = std::max(anchor, caret);
  const auto lineStart = [&](int at) {
    while (at > 0 && text[at - 1] != '\r' && text[at - 1] != '\n') --at;
    return at;
  };
  const auto lineEnd = [&](int at) {
    while (at < length && text[at] != '\r' && text[at] != '\n') ++at;
    return at;
  };
  switch (command) {
    case EditCommand::MoveLeft: SetSelection(low == high ? low - 1 : low, low == high ? low - 1 : low); return false;
    case EditCommand::MoveRight: SetSelection(low == high ? high + 1 : high, low == high ? high + 1 : high); return false;
    case EditCommand::LineStart: SetSelection(lineStart(caret), lineStart(caret)); return false;
    case EditCommand::LineEnd: SetSelection(lineEnd(caret), lineEnd(caret)); return false;
    case EditCommand::TextStart: SetSelection(0, 0); return false;
    case EditCommand::TextEnd: SetSelection(length, length); return false;
    case EditCommand::SelectLeft: SetSelection(anchor, caret - 1); return false;
    case EditCommand::SelectRight: SetSelection(anchor, caret + 1); return false;
    case EditCommand::SelectAll: SelectAll(); return false;
    case EditCommand::Copy:
    case EditCommand::Cut:
      if (field_->password || low == high) return false;
      clipboard = text.mid(low, high - low);
      if (command == EditCommand::Copy || field_->readOnly) return false;
      return ReplaceSelectionRange(low, high, QString());
    case EditCommand::Paste: {
      if (field_->readOnly) return false;
      QString pasted;
      for (QChar c : clipboard) {
        if (c == '\n' || c == '\r') {
          if (!field_->multiline) continue;
          c = '\r';
        } else if (restrictSet && !Allowed(restrict, c)) {
          const QChar other = OtherCase(c);
          if (other == c || !Allowed(restrict, other)) continue;
          c = other;
        }
        pasted += c;
      }
      if (field_->maxLength > 0) pasted.truncate(std::max(0, field_->maxLength - (length - (high - low))));
      // A paste restrict let nothing of still replaces the selection; an empty one does not.
      if (clipboard.isEmpty() || (pasted.isEmpty() && low == high)) return false;
      return ReplaceSelectionRange(low, high, pasted);
    }
  }
  return false;
}

bool TextField::Type(char32_t character) {
  QString text = Text();
  const int length = static_cast<int>(text.size());
  int begin = selectionBegin < 0 ? length : std::clamp(selectionBegin, 0, length);
  int end = selectionEnd < 0 ? length : std::clamp(selectionEnd, 0, length);
  if (begin > end) std::swap(begin, end);
  if (character == 8 || character == 127) {
    if (begin == end) {
      if (character == 8 && begin > 0) --begin;
      if (character == 127 && end < length) ++end;
    }
    if (begin == end) return false;
    selectionBegin = selectionEnd = begin;
    return ReplaceSelectionRange(begin, end, QString());
  }
  if (character == '\n' || character == '\r') {
    if (!field_->multiline) return false;
    character = '\r';
  } else if (character < 32 || character == 0x7F) {
    return false;
  }
  QString typed = QString::fromUcs4(&character, 1);
  if (restrictSet && character != '\r') {
    if (!Allowed(restrict, typed[0])) {
      // A letter kept out in one case comes in in the other when that one is allowed.
      const QChar other = OtherCase(typed[0]);
      if (other == typed[0] || !Allowed(restrict, other)) return false;
      typed = QString(other);
    }
  }
  if (field_->maxLength > 0 && length - (end - begin) + typed.size() > field_->maxLength) return false;
  return ReplaceSelectionRange(begin, end, typed);
}

bool TextField::ReplaceSelectionRange(int begin, int end, const QString& inserted) {
  selectionBegin = begin;
  selectionEnd = end;
  ReplaceSelection(inserted);
  return true;
}

void TextField::NotifyChanged() {
  if (!ScriptCell() || Removed()) return;
  player_.Scripts().TextChanged(*this);
}

}  // namespace vantrel::flash
