// Text fields: parsed fully, drawn simply (no selection, scrolling or styled runs):
// embedded glyphs when the field uses outlines, device fonts otherwise.
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <algorithm>
#include <map>
#include <optional>

#include "flash/character/device_font.h"
#include "flash/raster/target.h"

#include "flash/character/shape.h"
#include "flash/character/style.h"
#include "flash/character/text.h"
#include "flash/swf/stream.h"

namespace vantrel::flash {
namespace {

constexpr double kGutter = 40;        // 2 pixels around the text, in twips
constexpr double kBulletIndent = 720;  // 36 pixels from the margin to a list item's text
constexpr double kDefaultTab = 640;    // tab stops every 32 pixels when a paragraph sets none
constexpr int kMaxLines = 10000;      // a field never lays out more lines than this

QString DecodeEntity(const QString& entity) {
  if (entity == "lt") return "<";
  if (entity == "gt") return ">";
  if (entity == "amp") return "&";
  if (entity == "quot") return "\"";
  if (entity == "apos") return "'";
  if (entity == "nbsp") return QString(QChar(0xA0));
  if (entity.startsWith('#')) {
    bool ok = false;
    const uint code = entity.startsWith("#x") || entity.startsWith("#X") ? entity.mid(2).toUInt(&ok, 16)
                                                                         : entity.mid(1).toUInt(&ok, 10);
    if (ok && code > 0 && code < 0x110000) return QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1);
  }
  return {};
}

struct FieldFont {
  const Font* embedded = nullptr;  // an embedded font, or a device font read from its file
  std::shared_ptr<const Font> keep;
  double scale = 0;  // embedded: twips per font unit
  QFont device;
  double ascent = 0, descent = 0;
  // Embedded outlines were asked for and the movie has none: the text takes no room
  // and shows nothing.
  bool missing = false;
};

}  // namespace

QString HtmlToPlainText(const QString& html) {
  QString out;
  qsizetype i = 0;
  while (i < html.size()) {
    const QChar c = html[i];
    if (c == '<') {
      const qsizetype end = html.indexOf('>', i);
      if (end < 0) break;
      const QString tag = html.mid(i + 1, end - i - 1).trimmed().toLower();
      const QString name = tag.section(' ', 0, 0);
      if (name == "br" || name == "br/" || name == "/p" || name == "/li") out += '\n';
      i = end + 1;
    } else if (c == '&') {
      const qsizetype end = html.indexOf(';', i);
      if (end > i && end - i <= 10) {
        const QString decoded = DecodeEntity(html.mid(i + 1, end - i - 1));
        if (!decoded.isEmpty()) {
          out += decoded;
          i = end + 1;
          continue;
        }
      }
      out += c;
      ++i;
    } else {
      out += c;
      ++i;
    }
  }
  if (out.endsWith('\n')) out.chop(1);  // the last paragraph's end opens no new line
  return out;
}

void EditText::AttachFont(const std::shared_ptr<const Font>& newFont) {
  if (!font && fontId == newFont->id) font = newFont;
}

std::shared_ptr<EditText> ParseEditText(std::span<const std::uint8_t> body, DefinitionContext& context,
                                        std::string* error) {
  SwfStream in(body);
  auto field = std::make_shared<EditText>();
  field->id = in.U16();
  field->swfVersion = context.swfVersion;
  field->bounds = in.ReadRect();
  const std::uint8_t high = in.U8();
  const std::uint8_t low = in.U8();
  const bool hasText = high & 0x80;
  field->wordWrap = high & 0x40;
  field->multiline = high & 0x20;
  field->password = high & 0x10;
  field->readOnly = high & 0x08;
  const bool hasColor = high & 0x04;
  const bool hasMaxLength = high & 0x02;
  const bool hasFont = high & 0x01;
  const bool hasFontClass = low & 0x80;
  field->autoSize = low & 0x40;
  const bool hasLayout = low & 0x20;
  field->noSelect = low & 0x10;
  field->border = low & 0x08;
  field->html = low & 0x02;
  field->useOutlines = low & 0x01;
  if (hasFont) {
    field->fontId = in.U16();
    if (context.dictionary) {
      auto character = context.dictionary->Find(field->fontId);
      if (character && character->Kind() == CharacterKind::Font) {
        field->font = std::static_pointer_cast<const Font>(character);
      }
    }
  }
  if (hasFontClass) field->fontClass = in.String();
  if (hasFont || hasFontClass) field->fontHeight = in.U16();
  if (hasColor) field->color = in.ReadRgba();
  if (hasMaxLength) field->maxLength = in.U16();
  if (hasLayout) {
    field->align = static_cast<TextAlign>(std::min<int>(in.U8(), 3));
    field->leftMargin = in.U16();
    field->rightMargin = in.U16();
    field->indent = in.S16();
    field->leading = in.S16();
  }
  field->variableName = DecodeMovieString(in.String(), context.swfVersion);
  if (hasText) field->initialText = DecodeMovieString(in.String(), context.swfVersion);
  if (in.Overrun() && !hasText) {
    if (error) *error = "truncated text field " + std::to_string(field->id);
    return nullptr;
  }
  if (hasFont && !field->font) context.awaitingFonts.push_back(field);
  if (context.dictionary) {
    context.dictionary->ForEach([&](const std::shared_ptr<Character>& character) {
      if (character && character->Kind() == CharacterKind::Font && field->movieFonts.size() < 256)
        field->movieFonts.push_back(std::static_pointer_cast<const Font>(character));
    });
  }
  return field;
}

QRectF EditText::Bounds(std::uint16_t) const { return ToQRectF(bounds); }

bool EditText::HitTest(QPointF point, std::uint16_t) const { return Bounds().contains(point); }

QPainterPath EditText::Outline(std::uint16_t) const {
  QPainterPath path;
  path.addRect(Bounds());
  return path;
}

void EditText::Render(const RenderContext& context) const { RenderText(context, initialText); }

namespace {

// The look of a stretch of text: what HTML tags and the field's own settings give it.
struct RunStyle {
  QString face;
  double size = 240;  // twips
  Rgba color;
  bool bold = false, italic = false;
  double letterSpacing = 0;  // twips
};

struct StyledChar {
  char16_t code = 0;
  std::uint32_t style = 0;
};

// What a paragraph's TEXTFORMAT says (twips); unset values come from the field.
struct ParagraphFormat {
  std::optional<double> leading, leftMargin, rightMargin, indent, blockIndent;
  bool bullet = false;  // a list item (li)
  std::vector<double> tabStops;  // twips from the margin; none: every kDefaultTab
};

struct StyledParagraph {
  TextAlign align = TextAlign::Left;
  std::vector<StyledChar> chars;
  ParagraphFormat format;
  // The style an empty paragraph's line takes its height from: the last one opened in it.
  std::uint32_t emptyStyle = 0;
  // A list item's bullet has the style the item opened in.
  std::uint32_t bulletStyle = 0;
};

struct StyledText {
  std::vector<RunStyle> styles;
  std::vector<StyledParagraph> paragraphs;
};

constexpr std::size_t kMaxStyles = 4096;   // tags past this many reuse the last style
constexpr std::size_t kMaxChars = 1u << 20;

// The value of attribute name in a tag's text (quoted with " or ', or bare).
QString Attribute(const QString& tag, const QString& name) {
  qsizetype at = 0;
  while ((at = tag.indexOf(name, at, Qt::CaseInsensitive)) >= 0) {
    const bool starts = at == 0 || tag[at - 1].isSpace();
    qsizetype i = at + name.size();
    while (i < tag.size() && tag[i].isSpace()) ++i;
    if (!starts || i >= tag.size() || tag[i] != '=') {
      at += name.size();
      continue;
    }
    ++i;
    while (i < tag.size() && tag[i].isSpace()) ++i;
    if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
      const QChar quote = tag[i];
      const qsizetype end = tag.indexOf(quote, i + 1);
      return tag.mid(i + 1, end < 0 ? -1 : end - i - 1);
    }
    qsizetype end = i;
    while (end < tag.size() && !tag[end].isSpace()) ++end;
    return tag.mid(i, end - i);
  }
  return {};
}

TextAlign AlignFrom(const QString& value, TextAlign fallback) {
  const QString v = value.toLower();
  if (v == "left") return TextAlign::Left;
  if (v == "right") return TextAlign::Right;
  if (v == "center") return TextAlign::Center;
  if (v == "justify") return TextAlign::Justify;
  return fallback;
}

// Splits text into paragraphs of characters with their styles: plain text keeps the
// field's look; HTML text follows p (with align), br, b, i, font (face, size in pixels,
// color, letterSpacing), li and span, and decodes entities. Unknown tags are skipped.
StyledText ParseStyled(const QString& text, bool html, const RunStyle& base, TextAlign align) {
  StyledText out;
  out.styles.push_back(base);
  out.paragraphs.push_back({align, {}, {}});
  std::size_t total = 0;
  const auto put = [&](QChar c, std::uint32_t style) {
    if (c == '\r' || c == '\n') {
      out.paragraphs.push_back({out.paragraphs.back().align, {}, {}});
      return;
    }
    if (++total > kMaxChars) return;
    out.paragraphs.back().chars.push_back({c.unicode(), style});
  };
  if (!html) {
    QString plain = text;
    plain.replace("\r\n", "\n");
    for (const QChar c : plain) put(c, 0);
    return out;
  }
  ParagraphFormat paraFormat;
  std::vector<ParagraphFormat> formats;
  const auto newParagraph = [&](TextAlign a) { out.paragraphs.push_back({a, {}, paraFormat}); };
  std::vector<std::uint32_t> stack{0};
  const auto push = [&](const RunStyle& style) {
    if (out.styles.size() < kMaxStyles) out.styles.push_back(style);
    stack.push_back(static_cast<std::uint32_t>(out.styles.size() - 1));
  };
  const auto pop = [&] {
    if (stack.size() > 1) stack.pop_back();
  };
  bool paragraphOpen = false;
  qsizetype i = 0;
  while (i < text.size()) {
    const QChar c = text[i];
    if (c == '<') {
      const qsizetype end = text.indexOf('>', i);
      if (end < 0) break;
      const QString tag = text.mid(i + 1, end - i - 1).trimmed();
      i = end + 1;
      const QString name = tag.section(' ', 0, 0).toLower().remove('/');
      const bool closing = tag.startsWith('/');
      const RunStyle current = out.styles[stack.back()];
      if (name == "textformat") {
        if (closing) {
          if (!formats.empty()) paraFormat = formats.back(), formats.pop_back();
          continue;
        }
        formats.push_back(paraFormat);
        bool ok = false;
        const auto read = [&](const char* attribute, std::optional<double>& into) {
          const double value = Attribute(tag, attribute).toDouble(&ok);
          if (ok && std::abs(value) < 100000) into = value * 20;
        };
        read("leading", paraFormat.leading);
        read("leftmargin", paraFormat.leftMargin);
        read("rightmargin", paraFormat.rightMargin);
        read("indent", paraFormat.indent);
        read("blockindent", paraFormat.blockIndent);
        const QString stops = Attribute(tag, "tabstops");
        if (!stops.isEmpty()) {
          paraFormat.tabStops.clear();
          for (const QString& stop : stops.split(',')) {
            const double value = stop.trimmed().toDouble(&ok);
            if (ok && std::abs(value) < 100000 && paraFormat.tabStops.size() < 256) paraFormat.tabStops.push_back(value * 20);
          }
        }
        // A format opening before any text belongs to the paragraph already started.
        if (!paragraphOpen && out.paragraphs.back().chars.empty()) out.paragraphs.back().format = paraFormat;
        continue;
      }
      if (name == "p" || name == "li") {
        auto& paragraph = out.paragraphs.back();
        if (closing) {
          newParagraph(align);
          paragraphOpen = false;
        } else {
          if (paragraphOpen || !paragraph.chars.empty()) newParagraph(align);
          out.paragraphs.back().align = AlignFrom(Attribute(tag, "align"), align);
          out.paragraphs.back().format = paraFormat;
          out.paragraphs.back().format.bullet = name == "li";
          out.paragraphs.back().bulletStyle = stack.back();
          paragraphOpen = true;
        }
      } else if (name == "br") {
        newParagraph(out.paragraphs.back().align);
      } else if (name == "b" || name == "i" || name == "font" || name == "span" || name == "u" || name == "a") {
        if (closing) {
          pop();
          continue;
        }
        RunStyle style = current;
        if (name == "b") style.bold = true;
        if (name == "i") style.italic = true;
        if (name == "font") {
          const QString face = Attribute(tag, "face");
          if (!face.isEmpty()) style.face = face;
          bool ok = false;
          const double size = Attribute(tag, "size").toDouble(&ok);
          if (ok && size > 0 && size < 10000) style.size = size * 20;
          const QString color = Attribute(tag, "color");
          if (color.startsWith('#') && color.size() == 7) {
            const uint rgb = color.mid(1).toUInt(&ok, 16);
            if (ok) style.color = Rgba{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                                       static_cast<std::uint8_t>(rgb), style.color.a};
          }
          const double spacing = Attribute(tag, "letterSpacing").toDouble(&ok);
          if (ok && std::abs(spacing) < 1000) style.letterSpacing = spacing * 20;
        }
        push(style);
        if (out.paragraphs.back().chars.empty()) out.paragraphs.back().emptyStyle = stack.back();
      }
      continue;
    }
    if (c == '&') {
      const qsizetype end = text.indexOf(';', i);
      if (end > i && end - i <= 10) {
        const QString decoded = DecodeEntity(text.mid(i + 1, end - i - 1));
        if (!decoded.isEmpty()) {
          for (const QChar d : decoded) put(d, stack.back());
          i = end + 1;
          continue;
        }
      }
    }
    put(c, stack.back());
    ++i;
  }
  // A closed last paragraph opens no new line.
  if (out.paragraphs.size() > 1 && out.paragraphs.back().chars.empty() && !paragraphOpen) out.paragraphs.pop_back();
  return out;
}

QFont DeviceFontFor(const QString& face, const RunStyle& style) {
  QFont font;
  if (face == "_sans" || face.isEmpty()) {
    font.setFamily(face.isEmpty() ? "serif" : "sans-serif");
    font.setStyleHint(face.isEmpty() ? QFont::Serif : QFont::SansSerif);
  } else if (face == "_serif") {
    font.setFamily("serif");
    font.setStyleHint(QFont::Serif);
  } else if (face == "_typewriter") {
    font.setFamily("monospace");
    font.setStyleHint(QFont::Monospace);
  } else {
    font.setFamily(face);
  }
  font.setPixelSize(std::max(1, static_cast<int>(style.size)));
  font.setBold(style.bold);
  font.setItalic(style.italic);
  return font;
}

// The font one style draws with: an embedded font of the face with the style's weight
// and slant when the field uses outlines (any of the face, else the field's own font
// when none matches), a device font otherwise.
FieldFont ResolveFont(const EditText& field, const RunStyle& style) {
  FieldFont f;
  if (field.useOutlines) {
    const Font* best = nullptr;
    int bestScore = -1;
    const auto consider = [&](const Font* font) {
      if (!font || font->glyphs.empty()) return;
      int score = 0;
      if (font->name.compare(style.face, Qt::CaseInsensitive) == 0) score += 4;
      if (font->bold == style.bold) score += 2;
      if (font->italic == style.italic) score += 1;
      if (font == field.font.get()) score = std::max(score, 0) + (style.face.isEmpty() ? 4 : 0);
      if (score > bestScore) best = font, bestScore = score;
    };
    consider(field.font.get());
    for (const auto& font : field.movieFonts) consider(font.get());
    if (best) {
      f.embedded = best;
      f.scale = style.size / best->emSize;
      if (best->hasLayout) {
        // Whole twips, the fraction dropped, as with the glyphs' advances.
        f.ascent = std::trunc(best->ascent * f.scale);
        f.descent = std::trunc(best->descent * f.scale);
      } else {
        f.ascent = style.size * 0.9;
        f.descent = style.size * 0.2;
      }
      return f;
    }
    f.missing = true;
    return f;
  }
  // Device text is drawn from the system's font files like embedded glyphs, so every
  // run lays it out the same way, with or without a display.
  if (const auto device = DeviceFont(style.face, style.bold, style.italic)) {
    f.embedded = device.get();
    f.keep = device;
    f.scale = style.size / device->emSize;
    f.ascent = std::trunc(device->ascent * f.scale);
    f.descent = std::trunc(device->descent * f.scale);
    return f;
  }
  if (!QGuiApplication::instance()) return f;
  f.device = DeviceFontFor(style.face, style);
  const QFontMetricsF metrics(f.device);
  f.ascent = metrics.ascent();
  f.descent = metrics.descent();
  return f;
}

struct PlacedChar {
  char16_t code = 0;
  std::uint32_t style = 0;
  int glyph = -1;    // embedded glyph index
  double x = 0;      // from the line's start, twips
  double advance = 0;
};

struct TextLine {
  std::vector<PlacedChar> chars;
  double width = 0;  // trailing spaces only when left-aligned
  double ascent = 0, descent = 0;
  TextAlign align = TextAlign::Left;
  bool endsParagraph = true;
  double leading = 0;           // below the line, twips
  double left = 0, right = 0;   // margins and block indent, twips
  double indent = 0;            // where the first character would start, twips
};

struct FieldLayout {
  StyledText text;
  std::vector<FieldFont> fonts;  // per style
  std::vector<TextLine> lines;
};

// How far a tab at x moves on: to the next of the paragraph's stops (past the last one
// it stays put), or without stops to the next multiple of the default interval.
double TabAdvance(const std::vector<double>& stops, double x) {
  if (stops.empty()) return (std::floor(x / kDefaultTab) + 1) * kDefaultTab - x;
  for (const double stop : stops) {
    if (stop > x) return stop - x;
  }
  return 0;
}

FieldLayout Layout(const EditText& field, const QString& text) {
  FieldLayout layout;
  RunStyle base;
  base.face = field.font ? field.font->name : QString();
  base.size = field.fontHeight;
  base.color = field.color;
  // HTML text is regular unless its tags say otherwise, whatever font the field names.
  base.bold = !field.html && field.font && field.font->bold;
  base.italic = !field.html && field.font && field.font->italic;
  layout.text = ParseStyled(text, field.html, base, field.align);
  for (const RunStyle& style : layout.text.styles) layout.fonts.push_back(ResolveFont(field, style));
  const auto finish = [&](TextLine& line, bool paragraphEnd, std::uint32_t fallbackStyle,
                          std::optional<std::uint32_t> bulletStyle) {
    line.endsParagraph = paragraphEnd;
    // The spaces a line ends with (those it wraps after too) count for a left-aligned
    // line only: right and centred lines line up their last visible character (movies
    // before SWF 8 count them on every line).
    const bool spacesCount = line.align == TextAlign::Left || field.swfVersion < 8;
    line.width = 0;
    for (const PlacedChar& c : line.chars) {
      if (c.code != ' ' || spacesCount) line.width = c.x + c.advance;
    }
    if (line.chars.empty()) {
      line.ascent = layout.fonts[fallbackStyle].ascent;
      line.descent = layout.fonts[fallbackStyle].descent;
    }
    for (const PlacedChar& c : line.chars) {
      line.ascent = std::max(line.ascent, layout.fonts[c.style].ascent);
      line.descent = std::max(line.descent, layout.fonts[c.style].descent);
    }
    // The bullet stands on the item's first line: that line is at least as tall as it.
    if (bulletStyle) {
      line.ascent = std::max(line.ascent, layout.fonts[*bulletStyle].ascent);
      line.descent = std::max(line.descent, layout.fonts[*bulletStyle].descent);
    }
    layout.lines.push_back(std::move(line));
  };
  for (const StyledParagraph& paragraph : layout.text.paragraphs) {
    if (static_cast<int>(layout.lines.size()) >= kMaxLines) break;
    const ParagraphFormat& pf = paragraph.format;
    TextLine line;
    line.align = paragraph.align;
    line.leading = pf.leading.value_or(field.leading);
    line.left = pf.leftMargin.value_or(field.leftMargin) + pf.blockIndent.value_or(0);
    // A list item's text stands clear of its bullet, whatever the font size.
    if (pf.bullet) line.left += kBulletIndent;
    line.right = pf.rightMargin.value_or(field.rightMargin);
    const double available = field.bounds.Width() - 2 * kGutter - line.left - line.right;
    // A negative indent reaches no further left than the field's edge.
    double x = std::max(pf.indent.value_or(field.indent), -line.left);
    line.indent = x;

    std::size_t lastBreak = 0;  // chars before the last break chance (after a space)
    std::optional<std::uint32_t> bullet;  // until the item's first line is done
    if (pf.bullet) bullet = paragraph.bulletStyle;
    for (const StyledChar& sc : paragraph.chars) {
      const QChar qc(field.password ? u'*' : sc.code);
      const FieldFont& font = layout.fonts[sc.style];
      PlacedChar c{qc.unicode(), sc.style, -1, 0, 0};
      if (font.embedded) {
        c.glyph = font.embedded->GlyphForCode(qc.unicode());
        if (c.glyph >= 0 && font.embedded->device) {
          // Device text advances in whole pixels, letter spacing too (unless it would
          // make the advance vanish).
          const double size = layout.text.styles[sc.style].size;
          c.advance = DeviceTextMetrics::Advance(*font.embedded, static_cast<std::size_t>(c.glyph), size);
          const double spacing = std::nearbyint(layout.text.styles[sc.style].letterSpacing / 20) * 20;
          if (c.advance + spacing > 0) c.advance += spacing;
        } else if (c.glyph >= 0) {
          // Embedded glyphs advance by whole twips, the fraction dropped.
          c.advance = std::trunc(font.embedded->Advance(static_cast<std::size_t>(c.glyph)) * font.scale);
          if (c.advance > 0) c.advance += layout.text.styles[sc.style].letterSpacing;
        }
      } else if (!font.missing && QGuiApplication::instance()) {
        c.advance = QFontMetricsF(font.device).horizontalAdvance(qc);
        if (c.advance > 0) c.advance += layout.text.styles[sc.style].letterSpacing;
      }
      if (qc == '\t') c.advance = TabAdvance(pf.tabStops, x);
      const bool overflows = field.wordWrap && available > 0 && qc != ' ' && x + c.advance > available &&
                             !line.chars.empty();
      if (overflows && static_cast<int>(layout.lines.size()) < kMaxLines) {
        // Break after the last space, or (a word longer than the line) right here.
        const std::size_t cut = lastBreak > 0 ? lastBreak : line.chars.size();
        TextLine next;
        next.align = paragraph.align;
        next.leading = line.leading;
        next.left = line.left;
        next.right = line.right;
        next.chars.assign(line.chars.begin() + static_cast<std::ptrdiff_t>(cut), line.chars.end());
        line.chars.resize(cut);
        const double shift = next.chars.empty() ? x : next.chars.front().x;
        for (PlacedChar& moved : next.chars) moved.x -= shift;
        x -= shift;
        finish(line, false, sc.style, bullet);
        bullet.reset();
        line = std::move(next);
        lastBreak = 0;
      }
      c.x = x;
      x += c.advance;
      line.chars.push_back(c);
      if (qc == ' ') lastBreak = line.chars.size();
    }
    const std::uint32_t style = paragraph.chars.empty() ? paragraph.emptyStyle : paragraph.chars.back().style;
    finish(line, true, style, bullet);
  }
  return layout;
}

// A justified line widens the spaces before its last visible character: how many of
// its characters that reach over, and how much wider each such space gets (twips) to
// fill room. The last line of a paragraph is not justified.
std::size_t JustifiedSpacesEnd(const TextLine& line) {
  std::size_t end = line.chars.size();
  while (end > 0 && line.chars[end - 1].code == ' ') --end;
  return end;
}
double JustifySpaceExtra(const TextLine& line, double room) {
  if (line.align != TextAlign::Justify || line.endsParagraph) return 0;
  const std::size_t end = JustifiedSpacesEnd(line);
  int spaces = 0;
  for (std::size_t i = 0; i < end; ++i) spaces += line.chars[i].code == ' ';
  return spaces > 0 ? std::max(0.0, room - line.width) / spaces : 0;
}

// Everything Layout reads of a field, with the text.
struct LayoutKey {
  QString text;
  Rect bounds;
  TextAlign align = TextAlign::Left;
  Rgba color;
  const Font* font = nullptr;
  std::vector<const Font*> movieFonts;
  double fontHeight = 0, indent = 0, leading = 0, leftMargin = 0, rightMargin = 0;
  bool html = false, password = false, useOutlines = false, wordWrap = false;
  int swfVersion = 0;

  LayoutKey(const EditText& field, const QString& shown)
      : text(shown), bounds(field.bounds), align(field.align), color(field.color), font(field.font.get()),
        fontHeight(field.fontHeight), indent(field.indent), leading(field.leading), leftMargin(field.leftMargin),
        rightMargin(field.rightMargin), html(field.html), password(field.password), useOutlines(field.useOutlines),
        wordWrap(field.wordWrap), swfVersion(field.swfVersion) {
    for (const auto& f : field.movieFonts) movieFonts.push_back(f.get());
  }
  bool operator==(const LayoutKey& o) const {
    return bounds.xMin == o.bounds.xMin && bounds.xMax == o.bounds.xMax && bounds.yMin == o.bounds.yMin &&
           bounds.yMax == o.bounds.yMax && align == o.align && color == o.color && font == o.font && fontHeight == o.fontHeight &&
           indent == o.indent && leading == o.leading && leftMargin == o.leftMargin && rightMargin == o.rightMargin &&
           html == o.html && password == o.password && useOutlines == o.useOutlines && wordWrap == o.wordWrap &&
           swfVersion == o.swfVersion && movieFonts == o.movieFonts && text == o.text;
  }
};

}  // namespace

struct EditText::LaidOut {
  LayoutKey key;
  FieldLayout layout;
};

const EditText::LaidOut& EditText::LayoutToDraw(const QString& text) const {
  std::shared_ptr<const LaidOut>& kept = laidOut_.Mine();
  LayoutKey key(*this, text);
  if (!kept || !(kept->key == key)) {
    auto made = std::make_shared<LaidOut>(LaidOut{std::move(key), FieldLayout{}});
    made->layout = Layout(*this, text);
    kept = std::move(made);
  }
  return *kept;
}

std::vector<QString> EditText::LayoutLines(const QString& text) const {
  std::vector<QString> lines;
  for (const TextLine& line : Layout(*this, text).lines) {
    QString s;
    for (const PlacedChar& c : line.chars) s += QChar(c.code);
    lines.push_back(s);
  }
  return lines;
}

EditText::TextMetrics EditText::Measure(const QString& text, bool isHtml) const {
  EditText copy = *this;
  copy.html = isHtml;
  const FieldLayout layout = Layout(copy, text);
  TextMetrics m;
  for (std::size_t i = 0; i < layout.lines.size(); ++i) {
    const TextLine& line = layout.lines[i];
    m.width = std::max(m.width, line.width);
    m.lineHeights.push_back(line.ascent + line.descent + line.leading);
    // The text's height counts the leading between lines, and a single line its own.
    m.height += line.ascent + line.descent;
    if (i + 1 < layout.lines.size() || layout.lines.size() == 1) m.height += line.leading;
  }
  if (text.isEmpty()) m.height = 0;
  return m;
}

int EditText::CharIndexAt(const QString& text, QPointF point) const {
  const FieldLayout layout = Layout(*this, text);
  const QRectF box = ToQRectF(bounds);
  double y = box.top() + kGutter;
  int index = 0;
  for (std::size_t i = 0; i < layout.lines.size(); ++i) {
    const TextLine& line = layout.lines[i];
    const double bottom = y + line.ascent + line.descent + line.leading;
    const bool last = i + 1 == layout.lines.size();
    if (point.y() < bottom || last) {
      const double left = box.left() + kGutter + line.left;
      double x = left;
      if (line.align == TextAlign::Right) x = box.right() - kGutter - line.right - line.width;
      if (line.align == TextAlign::Center) x = left + (box.right() - kGutter - line.right - left - line.width) / 2;
      int at = 0;
      for (const PlacedChar& c : line.chars) {
        if (point.x() < x + c.x + c.advance / 2) break;
        ++at;
      }
      return index + at;
    }
    index += static_cast<int>(line.chars.size()) + (line.endsParagraph ? 1 : 0);
    y = bottom;
  }
  return index;
}

EditText::Caret EditText::CaretAt(const QString& text, int index) const {
  const FieldLayout layout = Layout(*this, text);
  const QRectF box = ToQRectF(bounds);
  Caret caret;
  caret.color = color;
  double y = box.top() + kGutter;
  int start = 0;
  for (std::size_t i = 0; i < layout.lines.size(); ++i) {
    const TextLine& line = layout.lines[i];
    const int count = static_cast<int>(line.chars.size());
    if (index <= start + count || i + 1 == layout.lines.size()) {
      const int at = std::clamp(index - start, 0, count);
      // An empty line is as wide as its indent: a centred caret sits in the middle of
      // what the indent leaves.
      const double width = count == 0 ? line.indent : line.width;
      const double left = box.left() + kGutter + line.left;
      const double right = box.right() - kGutter - line.right;
      double x = left;
      if (line.align == TextAlign::Right) x = right - width;
      if (line.align == TextAlign::Center) x = left + (right - left - width) / 2;
      if (at < count) {
        x += line.chars[static_cast<std::size_t>(at)].x;
      } else {
        x += count == 0 ? line.indent : line.chars.back().x + line.chars.back().advance;
      }
      const std::size_t style = count == 0 ? 0 : line.chars[static_cast<std::size_t>(std::max(0, at - 1))].style;
      if (style < layout.text.styles.size()) caret.color = layout.text.styles[style].color;
      caret.top = QPointF(x, y);
      caret.height = line.ascent + line.descent;
      return caret;
    }
    start += count + (line.endsParagraph ? 1 : 0);
    y += line.ascent + line.descent + line.leading;
  }
  return caret;
}

std::vector<EditText::LineBox> EditText::LineBoxes(const QString& text) const {
  const FieldLayout& layout = LayoutToDraw(text).layout;
  const QRectF box = ToQRectF(bounds);
  std::vector<LineBox> boxes;
  int offset = 0;
  double top = 0;
  for (const TextLine& line : layout.lines) {
    LineBox out;
    out.offset = offset;
    out.length = static_cast<int>(line.chars.size()) + (line.endsParagraph ? 1 : 0);
    out.top = top;
    out.width = line.width;
    out.ascent = line.ascent;
    out.descent = line.descent;
    out.leading = line.leading;
    const double left = kGutter + line.left;
    const double right = box.width() - kGutter - line.right;
    out.left = left;
    if (line.align == TextAlign::Right) out.left = right - line.width;
    if (line.align == TextAlign::Center) out.left = left + (right - left - line.width) / 2;
    const std::size_t widened = JustifiedSpacesEnd(line);
    const double spaceExtra = JustifySpaceExtra(line, right - left);
    double extra = 0;
    for (std::size_t i = 0; i < line.chars.size(); ++i) {
      const PlacedChar& c = line.chars[i];
      const FieldFont& font = layout.fonts[c.style];
      // A widened space has a box though its font draws nothing for it.
      const bool widens = c.code == ' ' && i < widened && spaceExtra > 0;
      out.chars.push_back({c.x + extra, c.advance + (widens ? spaceExtra : 0), !font.embedded || c.glyph >= 0 || widens});
      if (widens) extra += spaceExtra;
    }
    offset += out.length;
    top += line.ascent + line.descent + line.leading;
    boxes.push_back(std::move(out));
  }
  return boxes;
}

void EditText::RenderText(const RenderContext& context, const QString& text) const {
  QPainter* painter = context.painter;
  if (!painter) return;
  const QRectF box = ToQRectF(bounds);
  painter->save();
  painter->setTransform(context.transform);
  painter->setRenderHint(QPainter::Antialiasing, context.quality != Quality::Low);
  painter->setRenderHint(QPainter::TextAntialiasing, context.quality != Quality::Low);
  // The background and border belong to the field on the stage: the walk draws them.
  // A field masking others masks with its glyphs wherever they reach.
  if (!context.asMask) painter->setClipRect(box, Qt::IntersectClip);
  const FieldLayout& layout = LayoutToDraw(text).layout;
  const auto colors = render::FixedColorTransform::From(context.colorTransform);
  const int samples = render::SamplesPerAxis(static_cast<int>(context.quality));
  // Embedded glyphs go through the rasterizer, one pass per colour; the box clips them.
  std::map<std::uint32_t, render::EdgeList> passes;
  std::map<std::uint32_t, bool> nonZero;
  {
    const QRectF area = context.asMask ? QRectF(-1e7, -1e7, 2e7, 2e7) : context.transform.mapRect(box);
    const render::PainterTarget target(*painter, area);
    // Glyphs wholly above or below the target's rows (a band of a frame drawn on several
    // threads) add no coverage there: their outlines are not even flattened.
    const QRect rows = target.Get().clip;
    const auto outsideRows = [&](const QRectF& r) {
      return !rows.isEmpty() && (r.bottom() < rows.top() - 1 || r.top() > rows.bottom() + 2);
    };
    double y = box.top() + kGutter;
    for (const TextLine& line : layout.lines) {
      y += line.ascent;
      if (y - line.ascent > box.bottom()) break;
      // Below the first line, a line the box cuts off is not drawn at all.
      if (&line != &layout.lines.front() && y + line.descent > box.bottom()) break;
      const double left = box.left() + kGutter + line.left;
      const double right = box.right() - kGutter - line.right;
      double x = left;
      if (line.align == TextAlign::Right) x = right - line.width;
      if (line.align == TextAlign::Center) x = left + (right - left - line.width) / 2;
      const std::size_t widened = JustifiedSpacesEnd(line);
      const double spaceExtra = JustifySpaceExtra(line, right - left);
      double extra = 0;
      for (std::size_t i = 0; i < line.chars.size(); ++i) {
        const PlacedChar& c = line.chars[i];
        const FieldFont& font = layout.fonts[c.style];
        const double at = x + c.x + extra;
        if (c.code == ' ' && i < widened) extra += spaceExtra;
        if (font.embedded) {
          if (!target.Valid() || c.glyph < 0) continue;
          const auto& path = font.embedded->glyphs[static_cast<std::size_t>(c.glyph)];
          if (path.isEmpty()) continue;
          const Rgba color = layout.text.styles[c.style].color;
          const std::uint32_t key = static_cast<std::uint32_t>(color.r) << 24 | color.g << 16 | color.b << 8 | color.a;
          const QTransform toDevice = context.transform * target.FromDevice();
          auto it = passes.try_emplace(key, toDevice).first;
          nonZero[key] = nonZero[key] || path.fillRule() == Qt::WindingFill;
          const QTransform glyph(font.scale, 0, 0, font.scale, at, y);
          if (outsideRows((glyph * toDevice).mapRect(path.controlPointRect()))) continue;
          it->second.AddPath(path, glyph, render::ShapeCurveTolerance(glyph * toDevice));
          continue;
        }
        if (font.missing || !QGuiApplication::instance()) continue;
        painter->setFont(font.device);
        painter->setPen(TransformColor(layout.text.styles[c.style].color, context.colorTransform));
        painter->drawText(QPointF(at, y), QString(QChar(c.code)));
      }
      y += line.descent + line.leading;
    }
    for (auto& [key, edges] : passes) {
      if (edges.Empty()) continue;
      const Rgba color{static_cast<std::uint8_t>(key >> 24), static_cast<std::uint8_t>(key >> 16),
                       static_cast<std::uint8_t>(key >> 8), static_cast<std::uint8_t>(key)};
      const render::SolidPaint paint(render::Premultiply(colors.Apply(color)));
      const render::Paint* paints[] = {&paint};
      render::FillEdges(target.Get(), edges.Edges(), paints,
                        nonZero[key] ? render::FillRule::NonZero : render::FillRule::EvenOdd, samples);
    }
  }
  painter->restore();
}

}  // namespace vantrel::flash
