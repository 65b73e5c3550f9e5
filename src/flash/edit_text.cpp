// Text fields: parsed fully, drawn simply (no selection, scrolling or styled runs):
// embedded glyphs when the field uses outlines, device fonts otherwise.
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <algorithm>

#include "flash/shape.h"
#include "flash/style.h"
#include "flash/text.h"

namespace vantrel::flash {
namespace {

constexpr double kGutter = 40;        // 2 pixels around the text, in twips
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
  const Font* embedded = nullptr;
  double scale = 0;  // embedded: twips per font unit
  QFont device;
  double ascent = 0, descent = 0;
};

QFont DeviceFont(const EditText& field) {
  QString family = field.font ? field.font->name : QString();
  QFont font;
  if (family == "_sans" || family.isEmpty()) {
    font.setFamily(family.isEmpty() ? "serif" : "sans-serif");
    font.setStyleHint(family.isEmpty() ? QFont::Serif : QFont::SansSerif);
  } else if (family == "_serif") {
    font.setFamily("serif");
    font.setStyleHint(QFont::Serif);
  } else if (family == "_typewriter") {
    font.setFamily("monospace");
    font.setStyleHint(QFont::Monospace);
  } else {
    font.setFamily(family);
  }
  font.setPixelSize(std::max(1, static_cast<int>(field.fontHeight)));
  if (field.font) {
    font.setBold(field.font->bold);
    font.setItalic(field.font->italic);
  }
  return font;
}

FieldFont MakeFieldFont(const EditText& field) {
  FieldFont f;
  if (field.useOutlines && field.font && !field.font->glyphs.empty()) {
    f.embedded = field.font.get();
    f.scale = field.fontHeight / field.font->emSize;
    if (field.font->hasLayout) {
      f.ascent = field.font->ascent * f.scale;
      f.descent = field.font->descent * f.scale;
    } else {
      f.ascent = field.fontHeight * 0.9;
      f.descent = field.fontHeight * 0.2;
    }
    return f;
  }
  if (!QGuiApplication::instance()) return f;  // device fonts need the GUI application
  f.device = DeviceFont(field);
  const QFontMetricsF metrics(f.device);
  f.ascent = metrics.ascent();
  f.descent = metrics.descent();
  return f;
}

double MeasureText(const FieldFont& f, const QString& text) {
  if (f.embedded) {
    double width = 0;
    for (const QChar c : text) {
      const int glyph = f.embedded->GlyphForCode(c.unicode());
      if (glyph >= 0) width += f.embedded->Advance(static_cast<std::size_t>(glyph)) * f.scale;
    }
    return width;
  }
  if (!QGuiApplication::instance()) return 0;
  return QFontMetricsF(f.device).horizontalAdvance(text);
}

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
    field->indent = in.U16();
    field->leading = in.S16();
  }
  field->variableName = DecodeMovieString(in.String(), context.swfVersion);
  if (hasText) field->initialText = DecodeMovieString(in.String(), context.swfVersion);
  if (in.Overrun() && !hasText) {
    if (error) *error = "truncated text field " + std::to_string(field->id);
    return nullptr;
  }
  if (hasFont && !field->font) context.awaitingFonts.push_back(field);
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

std::vector<QString> EditText::LayoutLines(const QString& text) const {
  QString plain = html ? HtmlToPlainText(text) : text;
  plain.replace("\r\n", "\n");
  plain.replace('\r', '\n');
  if (password) plain = QString(plain.size(), '*');
  std::vector<QString> lines;
  const FieldFont f = MakeFieldFont(*this);
  const double width = bounds.Width() - 2 * kGutter - leftMargin - rightMargin;
  for (const QString& paragraph : plain.split('\n')) {
    if (static_cast<int>(lines.size()) >= kMaxLines) break;
    if (!wordWrap || width <= 0) {
      lines.push_back(paragraph);
      continue;
    }
    // Greedy wrapping at spaces; a word longer than the line breaks where it must.
    QString line;
    double lineIndent = indent;
    qsizetype i = 0;
    while (i < paragraph.size() && static_cast<int>(lines.size()) < kMaxLines) {
      qsizetype wordEnd = i;
      while (wordEnd < paragraph.size() && paragraph[wordEnd] != ' ') ++wordEnd;
      while (wordEnd < paragraph.size() && paragraph[wordEnd] == ' ') ++wordEnd;
      const QString word = paragraph.mid(i, wordEnd - i);
      const QString candidate = line + word;
      if (line.isEmpty() || MeasureText(f, candidate.trimmed()) + lineIndent <= width) {
        if (line.isEmpty() && MeasureText(f, word.trimmed()) + lineIndent > width && word.size() > 1) {
          qsizetype fit = 1;
          while (fit < word.size() && MeasureText(f, word.left(fit + 1)) + lineIndent <= width) ++fit;
          lines.push_back(word.left(fit));
          lineIndent = 0;
          i += fit;
          continue;
        }
        line = candidate;
        i = wordEnd;
      } else {
        lines.push_back(line);
        lineIndent = 0;
        line.clear();
      }
    }
    lines.push_back(line);
  }
  return lines;
}

void EditText::RenderText(const RenderContext& context, const QString& text) const {
  QPainter* painter = context.painter;
  if (!painter) return;
  const QRectF box = ToQRectF(bounds);
  painter->save();
  painter->setTransform(context.transform);
  painter->setRenderHint(QPainter::Antialiasing, context.quality != Quality::Low);
  painter->setRenderHint(QPainter::TextAntialiasing, context.quality != Quality::Low);
  if (border) {
    painter->fillRect(box, TransformColor(Rgba{255, 255, 255, 255}, context.colorTransform));
    QPen pen(TransformColor(Rgba{0, 0, 0, 255}, context.colorTransform), 0);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(box);
  }
  painter->setClipRect(box, Qt::IntersectClip);
  const FieldFont f = MakeFieldFont(*this);
  if (!f.embedded && !QGuiApplication::instance()) {
    painter->restore();
    return;
  }
  const QColor color = TransformColor(this->color, context.colorTransform);
  const double lineHeight = f.ascent + f.descent + leading;
  double y = box.top() + kGutter + f.ascent;
  bool firstLine = true;
  for (const QString& line : LayoutLines(text)) {
    if (y - f.ascent > box.bottom()) break;
    const double left = box.left() + kGutter + leftMargin + (firstLine ? indent : 0);
    const double right = box.right() - kGutter - rightMargin;
    const double width = MeasureText(f, line);
    double x = left;
    if (align == TextAlign::Right) x = right - width;
    if (align == TextAlign::Center) x = left + (right - left - width) / 2;
    if (f.embedded) {
      painter->setPen(Qt::NoPen);
      std::uint16_t previous = 0;
      for (const QChar c : line) {
        const int glyph = f.embedded->GlyphForCode(c.unicode());
        if (glyph < 0) continue;
        if (previous) x += f.embedded->Kerning(previous, c.unicode()) * f.scale;
        const auto& path = f.embedded->glyphs[static_cast<std::size_t>(glyph)];
        if (!path.isEmpty()) {
          painter->setTransform(QTransform(f.scale, 0, 0, f.scale, x, y) * context.transform);
          painter->fillPath(path, color);
        }
        x += f.embedded->Advance(static_cast<std::size_t>(glyph)) * f.scale;
        previous = c.unicode();
      }
      painter->setTransform(context.transform);
    } else {
      painter->setFont(f.device);
      painter->setPen(color);
      painter->drawText(QPointF(x, y), line);
    }
    y += lineHeight;
    firstLine = false;
  }
  painter->restore();
}

}  // namespace vantrel::flash
