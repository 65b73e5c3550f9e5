#include "flash/display/text_format_runs.h"

#include <algorithm>
#include <cmath>

namespace vantrel::flash {

namespace {

template <typename T>
void Take(std::optional<T>& to, const std::optional<T>& from) {
  if (from) to = from;
}

template <typename T>
void Common(std::optional<T>& mine, const std::optional<T>& other) {
  if (mine != other) mine.reset();
}

// Runs every field of a format through f(mine, other).
template <typename F>
void EachField(TextFormat& a, const TextFormat& b, F&& f) {
  f(a.font, b.font);
  f(a.size, b.size);
  f(a.color, b.color);
  f(a.bold, b.bold);
  f(a.italic, b.italic);
  f(a.underline, b.underline);
  f(a.url, b.url);
  f(a.target, b.target);
  f(a.align, b.align);
  f(a.leftMargin, b.leftMargin);
  f(a.rightMargin, b.rightMargin);
  f(a.indent, b.indent);
  f(a.leading, b.leading);
  f(a.blockIndent, b.blockIndent);
  f(a.tabStops, b.tabStops);
  f(a.bullet, b.bullet);
  f(a.kerning, b.kerning);
  f(a.letterSpacing, b.letterSpacing);
  f(a.display, b.display);
}

// A number as the player writes it in HTML attributes: whole numbers without a point.
QString Num(double v) {
  if (std::isnan(v)) return QStringLiteral("NaN");
  if (v == std::floor(v) && std::abs(v) < 1e15) return QString::number(static_cast<long long>(v));
  return QString::number(v, 'g', 15);
}

QString Escape(QStringView text) {
  QString out;
  out.reserve(text.size());
  for (const QChar c : text) {
    if (c == '<') out += QStringLiteral("&lt;");
    else if (c == '>') out += QStringLiteral("&gt;");
    else if (c == '&') out += QStringLiteral("&amp;");
    else if (c == '"') out += QStringLiteral("&quot;");
    else if (c == '\'') out += QStringLiteral("&apos;");
    else out += c;
  }
  return out;
}

// The five font attributes nested <FONT> tags carry, in the order the player writes them.
struct FontState {
  QString face;
  double size = 12;
  std::uint32_t color = 0;
  double letterSpacing = 0;
  bool kerning = false;
  bool operator==(const FontState&) const = default;
};

FontState FontOf(const TextFormat& f) {
  return {f.font.value_or(QString()), f.size.value_or(12), f.color.value_or(0), f.letterSpacing.value_or(0),
          f.kerning.value_or(false)};
}

QString ColorText(std::uint32_t color) {
  return QStringLiteral("#%1").arg(color & 0xFFFFFF, 6, 16, QChar('0')).toUpper();
}

QString FontTag(const FontState& s, const FontState* relativeTo) {
  QString tag = QStringLiteral("<FONT");
  if (!relativeTo || s.face != relativeTo->face) tag += QStringLiteral(" FACE=\"%1\"").arg(Escape(s.face));
  if (!relativeTo || s.size != relativeTo->size) tag += QStringLiteral(" SIZE=\"%1\"").arg(Num(s.size));
  if (!relativeTo || s.color != relativeTo->color) tag += QStringLiteral(" COLOR=\"%1\"").arg(ColorText(s.color));
  if (!relativeTo || s.letterSpacing != relativeTo->letterSpacing)
    tag += QStringLiteral(" LETTERSPACING=\"%1\"").arg(Num(s.letterSpacing));
  if (!relativeTo || s.kerning != relativeTo->kerning)
    tag += QStringLiteral(" KERNING=\"%1\"").arg(s.kerning ? 1 : 0);
  return tag + '>';
}

// The runs of one stretch of text with their A/B/I/U tags (inside the current font).
QString RunTags(const TextFormat& f, QStringView content) {
  QString out;
  const bool link = f.url && !f.url->isEmpty();
  if (link)
    out += QStringLiteral("<A HREF=\"%1\" TARGET=\"%2\">").arg(Escape(*f.url), Escape(f.target.value_or(QString())));
  if (f.bold.value_or(false)) out += QStringLiteral("<B>");
  if (f.italic.value_or(false)) out += QStringLiteral("<I>");
  if (f.underline.value_or(false)) out += QStringLiteral("<U>");
  out += Escape(content);
  if (f.underline.value_or(false)) out += QStringLiteral("</U>");
  if (f.italic.value_or(false)) out += QStringLiteral("</I>");
  if (f.bold.value_or(false)) out += QStringLiteral("</B>");
  if (link) out += QStringLiteral("</A>");
  return out;
}

}  // namespace

void TextFormat::MergeFrom(const TextFormat& o) {
  EachField(*this, o, [](auto& a, const auto& b) { Take(a, b); });
}

void TextFormat::KeepCommon(const TextFormat& o) {
  EachField(*this, o, [](auto& a, const auto& b) { Common(a, b); });
}

TextFormat TextFormat::ParagraphPart() const {
  TextFormat p;
  p.align = align;
  p.leftMargin = leftMargin;
  p.rightMargin = rightMargin;
  p.indent = indent;
  p.leading = leading;
  p.blockIndent = blockIndent;
  p.tabStops = tabStops;
  p.bullet = bullet;
  return p;
}

TextFormat TextFormat::CharacterPart() const {
  TextFormat c = *this;
  c.align.reset();
  c.leftMargin.reset();
  c.rightMargin.reset();
  c.indent.reset();
  c.leading.reset();
  c.blockIndent.reset();
  c.tabStops.reset();
  c.bullet.reset();
  return c;
}

TextFormat TextFormat::Defaults() {
  TextFormat f;
  f.font = QStringLiteral("Times New Roman");
  f.size = 12;
  f.color = 0;
  f.bold = f.italic = f.underline = false;
  f.url = f.target = QString();
  f.align = TextAlign::Left;
  f.leftMargin = f.rightMargin = f.indent = f.leading = f.blockIndent = 0;
  f.tabStops = std::vector<double>();
  f.bullet = false;
  f.kerning = false;
  f.letterSpacing = 0;
  f.display = QStringLiteral("block");
  return f;
}

QString AlignName(TextAlign align) {
  switch (align) {
    case TextAlign::Right: return QStringLiteral("right");
    case TextAlign::Center: return QStringLiteral("center");
    case TextAlign::Justify: return QStringLiteral("justify");
    case TextAlign::Left: break;
  }
  return QStringLiteral("left");
}

std::optional<TextAlign> AlignFromName(const QString& name) {
  const QString n = name.toLower();
  if (n == "left") return TextAlign::Left;
  if (n == "right") return TextAlign::Right;
  if (n == "center") return TextAlign::Center;
  if (n == "justify") return TextAlign::Justify;
  return std::nullopt;
}

const TextFormat* TextStyles::Find(const QString& selector) const {
  for (const auto& [name, format] : styles)
    if (name.compare(selector, Qt::CaseInsensitive) == 0) return &format;
  return nullptr;
}

QString DecodeHtmlEntity(const QString& entity) {
  if (entity == "lt") return QStringLiteral("<");
  if (entity == "gt") return QStringLiteral(">");
  if (entity == "amp") return QStringLiteral("&");
  if (entity == "quot") return QStringLiteral("\"");
  if (entity == "apos") return QStringLiteral("'");
  if (entity == "nbsp") return QString(QChar(0xA0));
  if (entity.startsWith('#')) {
    bool ok = false;
    const uint code = entity.startsWith("#x") || entity.startsWith("#X") ? entity.mid(2).toUInt(&ok, 16)
                                                                         : entity.mid(1).toUInt(&ok, 10);
    if (ok && code > 0 && code < 0x110000) {
      const char32_t c = code;
      return QString::fromUcs4(&c, 1);
    }
  }
  return {};
}

// ---- runs ----

void FormattedText::SplitAt(int index) {
  int at = 0;
  for (std::size_t i = 0; i < spans_.size(); ++i) {
    if (index == at) return;
    if (index < at + spans_[i].length) {
      Span tail{at + spans_[i].length - index, spans_[i].format};
      spans_[i].length = index - at;
      spans_.insert(spans_.begin() + static_cast<std::ptrdiff_t>(i) + 1, tail);
      return;
    }
    at += spans_[i].length;
  }
}

void FormattedText::Normalize() {
  std::vector<Span> merged;
  for (Span& span : spans_) {
    if (span.length <= 0) continue;
    if (!merged.empty() && merged.back().format == span.format) merged.back().length += span.length;
    else merged.push_back(std::move(span));
  }
  spans_ = std::move(merged);
}

void FormattedText::SetText(const QString& text, const TextFormat& format) {
  text_.clear();
  spans_.clear();
  Replace(0, 0, text, format);
}

void FormattedText::Replace(int begin, int end, const QString& inserted, const TextFormat& format) {
  begin = std::clamp(begin, 0, Length());
  end = std::clamp(end, begin, Length());
  QString text = inserted;
  text.replace('\n', '\r');
  SplitAt(begin);
  SplitAt(end);
  // Drop the replaced spans and put the new one where they were.
  int at = 0;
  std::size_t insertAt = 0;
  std::vector<Span> kept;
  for (Span& span : spans_) {
    if (at < begin) {
      kept.push_back(span);
      insertAt = kept.size();
    } else if (at >= end) {
      kept.push_back(span);
    }
    at += span.length;
  }
  if (!text.isEmpty())
    kept.insert(kept.begin() + static_cast<std::ptrdiff_t>(insertAt), Span{static_cast<int>(text.size()), format});
  spans_ = std::move(kept);
  text_.replace(begin, end - begin, text);
  Normalize();
}

void FormattedText::ApplyFormat(int begin, int end, const TextFormat& format) {
  begin = std::clamp(begin, 0, Length());
  end = std::clamp(end, begin, Length());
  if (begin >= end) return;
  const TextFormat characters = format.CharacterPart();
  const TextFormat paragraph = format.ParagraphPart();
  SplitAt(begin);
  SplitAt(end);
  int at = 0;
  for (Span& span : spans_) {
    if (at >= begin && at < end) span.format.MergeFrom(characters);
    at += span.length;
  }
  if (!(paragraph == TextFormat())) {
    // Paragraph fields reach from the start of the first paragraph to the end of the last.
    int first = begin;
    while (first > 0 && text_[first - 1] != '\r') --first;
    int last = end;
    if (last > first && text_[last - 1] == '\r') --last;
    while (last < Length() && text_[last] != '\r') ++last;
    if (last < Length()) ++last;
    SplitAt(first);
    SplitAt(last);
    at = 0;
    for (Span& span : spans_) {
      if (at >= first && at < last) span.format.MergeFrom(paragraph);
      at += span.length;
    }
  }
  Normalize();
}

TextFormat FormattedText::FormatAt(int index) const {
  if (spans_.empty()) return TextFormat();
  index = std::clamp(index, 0, Length() - 1);
  int at = 0;
  for (const Span& span : spans_) {
    if (index < at + span.length) return span.format;
    at += span.length;
  }
  return spans_.back().format;
}

std::optional<TextFormat> FormattedText::FormatOf(int begin, int end) const {
  if (spans_.empty()) return std::nullopt;
  begin = std::clamp(begin, 0, Length());
  end = std::clamp(end, begin, Length());
  if (begin == end) return FormatAt(begin);
  std::optional<TextFormat> common;
  int at = 0;
  for (const Span& span : spans_) {
    if (at < end && at + span.length > begin) {
      if (!common) common = span.format;
      else common->KeepCommon(span.format);
    }
    at += span.length;
  }
  return common;
}

QString FormattedText::ToHtml() const {
  QString out;
  int index = 0;
  const int length = Length();
  while (index < length) {
    int stop = static_cast<int>(text_.indexOf('\r', index));
    const bool closed = stop >= 0;
    if (!closed) stop = length;
    const TextFormat pf = FormatAt(index);
    QString attributes;
    // The player writes the margins first, then the indents, then leading and tab stops.
    if (pf.leftMargin.value_or(0) != 0) attributes += QStringLiteral(" LEFTMARGIN=\"%1\"").arg(Num(*pf.leftMargin));
    if (pf.rightMargin.value_or(0) != 0) attributes += QStringLiteral(" RIGHTMARGIN=\"%1\"").arg(Num(*pf.rightMargin));
    if (pf.indent.value_or(0) != 0) attributes += QStringLiteral(" INDENT=\"%1\"").arg(Num(*pf.indent));
    if (pf.blockIndent.value_or(0) != 0) attributes += QStringLiteral(" BLOCKINDENT=\"%1\"").arg(Num(*pf.blockIndent));
    if (pf.leading.value_or(0) != 0) attributes += QStringLiteral(" LEADING=\"%1\"").arg(Num(*pf.leading));
    if (pf.tabStops && !pf.tabStops->empty()) {
      QStringList stops;
      for (double s : *pf.tabStops) stops << Num(s);
      attributes += QStringLiteral(" TABSTOPS=\"%1\"").arg(stops.join(','));
    }
    if (!attributes.isEmpty()) out += QStringLiteral("<TEXTFORMAT") + attributes + '>';
    const bool bullet = pf.bullet.value_or(false);
    if (bullet) out += QStringLiteral("<LI>");
    else out += QStringLiteral("<P ALIGN=\"%1\">").arg(AlignName(pf.align.value_or(TextAlign::Left)).toUpper());

    // The runs of the paragraph; an empty one writes the tags of its line end.
    std::vector<std::pair<QStringView, TextFormat>> runs;
    {
      int at = 0;
      // The line end counts as a run of its own when its format differs.
      const int through = closed ? stop + 1 : stop;
      for (const Span& span : spans_) {
        const int from = std::max(at, index), to = std::min(at + span.length, through);
        // Runs that differ only in paragraph fields are written as one.
        const QStringView content = QStringView(text_).mid(from, std::min(to, stop) - from);
        if (from < to && !runs.empty() && runs.back().second.CharacterPart() == span.format.CharacterPart() &&
            runs.back().first.data() + runs.back().first.size() == content.data()) {
          runs.back().first = QStringView(runs.back().first.data(), runs.back().first.size() + content.size());
        } else if (from < to) {
          runs.emplace_back(content, span.format);
        }
        at += span.length;
      }
      if (runs.empty()) runs.emplace_back(QStringView(), pf);
    }
    std::vector<FontState> stack{FontOf(runs.front().second)};
    out += FontTag(stack.front(), nullptr);
    for (const auto& [content, format] : runs) {
      const FontState want = FontOf(format);
      // Back to an enclosing font that already looks like this, else one more inside.
      auto found = std::find(stack.rbegin(), stack.rend(), want);
      if (found != stack.rend()) {
        const std::size_t keep = static_cast<std::size_t>(stack.rend() - found);
        while (stack.size() > keep) {
          out += QStringLiteral("</FONT>");
          stack.pop_back();
        }
      } else {
        out += FontTag(want, &stack.back());
        stack.push_back(want);
      }
      out += RunTags(format, content);
    }
    for (std::size_t i = 0; i < stack.size(); ++i) out += QStringLiteral("</FONT>");
    out += bullet ? QStringLiteral("</LI>") : QStringLiteral("</P>");
    if (!attributes.isEmpty()) out += QStringLiteral("</TEXTFORMAT>");
    index = stop + 1;
  }
  return out;
}

// ---- parsing ----

namespace {

struct Tag {
  QString name;  // lower case
  bool closing = false;
  QString body;  // what follows the name
};

QString AttributeOf(const QString& body, const QString& name, bool* found = nullptr) {
  qsizetype at = 0;
  if (found) *found = false;
  while ((at = body.indexOf(name, at, Qt::CaseInsensitive)) >= 0) {
    const bool starts = at == 0 || body[at - 1].isSpace();
    qsizetype i = at + name.size();
    while (i < body.size() && body[i].isSpace()) ++i;
    if (!starts || i >= body.size() || body[i] != '=') {
      at += name.size();
      continue;
    }
    ++i;
    while (i < body.size() && body[i].isSpace()) ++i;
    if (found) *found = true;
    if (i < body.size() && (body[i] == '"' || body[i] == '\'')) {
      const QChar quote = body[i];
      const qsizetype end = body.indexOf(quote, i + 1);
      return body.mid(i + 1, end < 0 ? -1 : end - i - 1);
    }
    qsizetype end = i;
    while (end < body.size() && !body[end].isSpace() && body[end] != '/') ++end;
    return body.mid(i, end - i);
  }
  return {};
}


// "#rrggbb": the hex digits after '#' up to the first other character, of which the
// last six count; nullopt without any digit.
std::optional<std::uint32_t> ParseColor(const QString& text) {
  if (!text.startsWith('#')) return std::nullopt;
  std::uint32_t v = 0;
  qsizetype first = 1;
  while (first < text.size() && text[first].isSpace()) ++first;
  qsizetype i = first;
  for (; i < text.size(); ++i) {
    const int digit = QStringView(text).mid(i, 1).toString().toInt(nullptr, 16);
    const QChar c = text[i].toLower();
    if (!(c.isDigit() || (c >= 'a' && c <= 'f'))) break;
    v = ((v << 4) | static_cast<std::uint32_t>(digit)) & 0xFFFFFF;
  }
  if (i == first) return std::nullopt;
  return v;
}

}  // namespace

FormattedText FormattedText::FromHtml(const QString& html, const TextFormat& base, const HtmlOptions& given) {
  FormattedText out;
  HtmlOptions options = given;
  // Version 6 movies break lines at tags in single-line fields too.
  if (options.version < 7) options.multiline = true;
  struct Open {
    QString name;
    TextFormat format;
    bool hidden = false;    // display: none here or around it
    bool endsLine = false;  // a tag of the style sheet's own that displays as a block
  };
  std::vector<Open> stack{{QString(), base}};
  QString pending;  // characters in the current format, not yet added
  // The line end a list item writes is in the item's format. The one a paragraph writes
  // has the paragraph's fields and the character fields of the last font tag closed
  // (however long ago; one still open does not count), else those the text started
  // with: bold or italic around the paragraph do not reach its line end.
  std::optional<TextFormat> lastFont;
  const auto flush = [&] {
    if (pending.isEmpty()) return;

    out.text_ += pending;
    out.spans_.push_back(Span{static_cast<int>(pending.size()), stack.back().format});
    pending.clear();
  };
  const auto paragraphEmpty = [&] {
    const QString& t = out.text_;
    return pending.isEmpty() ? (t.isEmpty() || t.back() == '\r') : pending.back() == '\r';
  };
  const auto newline = [&] {
    pending += '\r';
    flush();
  };
  // The paragraph format of the open paragraph goes to its first character onwards.
  // Paragraphs do not nest: a <p> inside another leaves the one paragraph open, and the
  // first </p> after it ends its line; the closing tags after that end none.
  bool paragraphOpen = false;
  bool lastWasSpace = false;
  // A style gives its format to the text; how the element displays stays with the
  // element (it hides its text or ends its line) and is no part of the text's format.
  const auto applyStyle = [&](TextFormat& format, const QString& selector) -> std::optional<QString> {
    if (!options.styles) return std::nullopt;
    const TextFormat* style = options.styles->Find(selector);
    if (!style) return std::nullopt;
    TextFormat given = *style;
    given.display.reset();
    format.MergeFrom(given);
    return style->display.value_or(QStringLiteral("block"));
  };
  qsizetype i = 0;
  const qsizetype n = html.size();
  while (i < n) {
    const QChar c = html[i];
    if (c == '<') {
      const qsizetype end = html.indexOf('>', i);
      if (end < 0) break;
      // Before version 8 white space is folded only within one stretch of text.
      if (options.version < 8) lastWasSpace = false;
      QString inside = html.mid(i + 1, end - i - 1);
      i = end + 1;
      if (inside.startsWith(QStringLiteral("!--"))) {
        const qsizetype close = html.indexOf(QStringLiteral("-->"), i - 1 - 2);
        if (!inside.endsWith(QStringLiteral("--")) && close >= 0) i = close + 3;
        continue;
      }
      Tag tag;
      inside = inside.trimmed();
      tag.closing = inside.startsWith('/');
      if (tag.closing) inside = inside.mid(1);
      qsizetype nameEnd = 0;
      while (nameEnd < inside.size() && !inside[nameEnd].isSpace() && inside[nameEnd] != '/') ++nameEnd;
      tag.name = inside.left(nameEnd).toLower();
      tag.body = inside.mid(nameEnd);
      const bool selfClosing = inside.endsWith('/');
      if (tag.name == "br" || tag.name == "sbr") {
        if (options.multiline && !stack.back().hidden) {
          flush();
          newline();
        }
        continue;
      }
      if (tag.closing) {
        if (stack.size() <= 1 || stack.back().name != tag.name) continue;
        flush();
        // A list item always ends its line; a paragraph when it is still open. The line
        // end looks like the text before it.
        const bool endsParagraph = tag.name == "p" && paragraphOpen;
        if (tag.name == "p") paragraphOpen = false;
        const bool outerHidden = stack[stack.size() - 2].hidden;
        const bool blockAround =
            std::any_of(stack.begin(), stack.end() - 1, [](const Open& open) { return open.endsLine; });
        if (stack.back().endsLine && !outerHidden && !blockAround) {
          // The style sheet's own block tags end their line in any field, as paragraphs
          // do: once, for the outermost. The line end looks like the text before it.
          out.text_ += '\r';
          out.spans_.push_back(Span{1, out.spans_.empty() ? stack.back().format : out.spans_.back().format});
        } else if (options.multiline && !stack.back().hidden &&
                   (tag.name == "li" || endsParagraph)) {
          out.text_ += '\r';
          TextFormat lineEnd = stack.back().format;
          if (tag.name == "p") lineEnd.MergeFrom((lastFont ? *lastFont : base).CharacterPart());
          out.spans_.push_back(Span{1, lineEnd});
        }
        if (tag.name == "font") lastFont = stack.back().format;
        stack.pop_back();
        continue;
      }
      TextFormat format = stack.back().format;
      const QString cls = AttributeOf(tag.body, QStringLiteral("class"));
      bool known = true, styleTag = false;
      std::optional<QString> display;
      if (tag.name == "b") format.bold = true;
      else if (tag.name == "i") format.italic = true;
      else if (tag.name == "u") format.underline = true;
      else if (tag.name == "font") {
        bool has = false;
        const QString face = AttributeOf(tag.body, QStringLiteral("face"), &has);
        if (has) format.font = face;
        const QString size = AttributeOf(tag.body, QStringLiteral("size"), &has);
        if (has) {
          if (const auto v = LeadingInteger(size)) {
            const bool relative = size.trimmed().startsWith('+') || size.trimmed().startsWith('-');
            // HTML sizes stay within 1 to 127 pixels.
            format.size = std::clamp(relative ? format.size.value_or(12) + *v : *v, 1.0, 127.0);
          }
        }
        if (const auto color = ParseColor(AttributeOf(tag.body, QStringLiteral("color")))) format.color = *color;
        const QString spacing = AttributeOf(tag.body, QStringLiteral("letterspacing"), &has);
        if (has) {
          bool ok = false;
          const double v = spacing.toDouble(&ok);
          if (ok) format.letterSpacing = v;
        }
        const QString kerning = AttributeOf(tag.body, QStringLiteral("kerning"), &has);
        if (has && options.version >= 8) format.kerning = kerning.toInt() != 0;
      } else if (tag.name == "a") {
        format.url = AttributeOf(tag.body, QStringLiteral("href"));
        format.target = AttributeOf(tag.body, QStringLiteral("target"));
        display = applyStyle(format, QStringLiteral("a"));
      } else if (tag.name == "p" || tag.name == "li") {
        if (options.multiline && !paragraphEmpty() && tag.name == "li") {
          flush();
          newline();
        }
        // The tag's own attributes win over its style.
        display = applyStyle(format, tag.name);
        if (tag.name == "p") {
          paragraphOpen = true;
          bool has = false;
          const QString align = AttributeOf(tag.body, QStringLiteral("align"), &has);
          if (has)
            if (const auto a = AlignFromName(align)) format.align = *a;
        } else {
          format.bullet = true;
        }
      } else if (tag.name == "textformat") {
        bool has = false;
        const auto number = [&](const char* name, std::optional<double>& field) {
          const QString v = AttributeOf(tag.body, QString::fromLatin1(name), &has);
          if (has)
            if (const auto x = LeadingInteger(v)) field = *x;
        };
        number("leftmargin", format.leftMargin);
        number("rightmargin", format.rightMargin);
        number("indent", format.indent);
        number("blockindent", format.blockIndent);
        number("leading", format.leading);
        const QString stops = AttributeOf(tag.body, QStringLiteral("tabstops"), &has);
        if (has) {
          std::vector<double> list;
          for (const QString& s : stops.split(',', Qt::SkipEmptyParts))
            if (const auto x = LeadingInteger(s)) list.push_back(*x);
          format.tabStops = list;
        }
      } else if (tag.name == "span") {
      } else if (options.styles && options.styles->Find(tag.name)) {
        // A tag the style sheet names is an element of its own.
        display = applyStyle(format, tag.name);
        styleTag = true;
      } else {
        known = false;
      }
      if (!known) continue;
      if (!cls.isEmpty())
        if (const auto classDisplay = applyStyle(format, '.' + cls)) display = classDisplay;
      if (selfClosing) continue;
      flush();
      const bool hidden = stack.back().hidden || display == QStringLiteral("none");
      stack.push_back({tag.name, format, hidden, styleTag && display != QStringLiteral("inline")});
      continue;
    }
    if (options.version < 8 && (i == 0 || html[i - 1] == '>')) {
      // Text that is only white space up to the next tag (or the end) is dropped.
      qsizetype end = i;
      while (end < n && (html[end] == ' ' || html[end] == '\t' || html[end] == '\r' || html[end] == '\n')) ++end;
      if (end > i && (end == n || html[end] == '<')) {
        i = end;
        continue;
      }
    }
    if (stack.back().hidden) {
      ++i;
      continue;
    }
    QChar ch = c;
    ++i;
    if (c == '&') {
      const qsizetype end = html.indexOf(';', i);
      if (end > i && end - i <= 10) {
        const QString decoded = DecodeHtmlEntity(html.mid(i, end - i));
        if (!decoded.isEmpty()) {
          pending += decoded;
          lastWasSpace = false;
          i = end + 1;
          continue;
        }
      }
    }
    // In HTML "\r\n" is two line ends.
    if (ch == '\n') ch = '\r';
    if (options.condenseWhite && (ch == ' ' || ch == '\t' || ch == '\r')) {
      // From version 8 a line does not start with folded white space either.
      if (lastWasSpace || (options.version >= 8 && paragraphEmpty())) continue;
      ch = ' ';
      lastWasSpace = true;
    } else {
      lastWasSpace = false;
    }
    pending += ch;
  }
  flush();
  // Paragraph fields stay with the characters the tags gave them: a line end written
  // outside a list item is no bullet, though the item's paragraph shows one (a
  // paragraph reads its fields from its first character).
  out.Normalize();
  return out;
}

// The leading whole number of text ("1.2" gives 1); nullopt when there is none.
std::optional<double> LeadingInteger(const QString& text) {
  qsizetype i = 0;
  while (i < text.size() && text[i].isSpace()) ++i;
  const qsizetype start = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const qsizetype digits = i;
  while (i < text.size() && text[i].isDigit()) ++i;
  if (i == digits) return std::nullopt;
  return text.mid(start, i - start).toDouble();
}

QStringList CssFaceList(const QString& family) {
  QStringList faces;
  for (QString face : family.split(',')) {
    qsizetype i = 0;
    while (i < face.size() && face[i].isSpace()) ++i;
    face = face.mid(i);
    if (!face.isEmpty()) faces.push_back(face);
  }
  return faces;
}

namespace {

// CSS property names as scripts see them: a dash goes and the character after it
// becomes a capital ("font-size" is "fontSize", "a--b" is "a-b").
QString CamelCase(const QString& name) {
  QString out;
  for (qsizetype i = 0; i < name.size(); ++i) {
    if (name[i] == '-' && i + 1 < name.size()) out += name[++i].toUpper();
    else if (name[i] != '-') out += name[i];
  }
  return out;
}

bool HasInnerSpace(const QString& text) {
  for (const QChar c : text)
    if (c.isSpace()) return true;
  return false;
}

}  // namespace

// Reads "sel1, sel2 { name: value; ... }" rules. The player's reader is forgiving in
// its own ways: a block may stay open at the end, names keep stray ';' and braces,
// values run to the next ';', '}' or line end with their trailing spaces. False (and nothing
// read) for text it cannot take: a selector or property name with spaces inside, a
// rule without a block, a property without a colon, a value cut off by the end.
bool ParseCss(const QString& source, std::vector<CssRule>& rules, bool keepEmptyNames) {
  // Comments go first; one left open ends the text.
  QString css;
  for (qsizetype at = 0; at < source.size();) {
    const qsizetype open = source.indexOf(QStringLiteral("/*"), at);
    if (open < 0) {
      css += QStringView(source).mid(at);
      break;
    }
    css += QStringView(source).mid(at, open - at);
    const qsizetype close = source.indexOf(QStringLiteral("*/"), open + 2);
    if (close < 0) break;
    css += ' ';
    at = close + 2;
  }
  const qsizetype n = css.size();
  qsizetype i = 0;
  const auto skipSpace = [&] {
    while (i < n && css[i].isSpace()) ++i;
  };
  while (true) {
    skipSpace();
    if (i >= n) return true;
    const qsizetype open = css.indexOf('{', i);
    if (open < 0) return false;
    CssRule rule;
    for (const QString& part : css.mid(i, open - i).split(',')) {
      const QString selector = part.trimmed();
      if ((selector.isEmpty() && !keepEmptyNames) || HasInnerSpace(selector)) return false;
      rule.selectors.push_back(selector);
    }
    i = open + 1;
    while (true) {
      skipSpace();
      if (i >= n) break;
      if (css[i] == '}') {
        ++i;
        break;
      }
      const qsizetype colon = css.indexOf(':', i);
      if (colon < 0) return false;
      // The name keeps the spaces before its colon.
      const QString name = css.mid(i, colon - i);
      if (HasInnerSpace(name.trimmed())) return false;
      i = colon + 1;
      skipSpace();
      const qsizetype start = i;
      while (i < n && css[i] != ';' && css[i] != '}' && css[i] != '\n' && css[i] != '\r') ++i;
      const QString value = css.mid(start, i - start);
      if (i >= n) return false;
      if (i < n && css[i] == ';') ++i;
      if (keepEmptyNames || !name.trimmed().isEmpty()) rule.properties.emplace_back(CamelCase(name), value);
    }
    rules.push_back(std::move(rule));
  }
}

}  // namespace vantrel::flash
