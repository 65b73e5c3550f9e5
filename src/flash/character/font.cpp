#include "flash/character/font.h"

#include "flash/character/shape.h"
#include "flash/raster/lanes.h"
#include "flash/swf/stream.h"

namespace vantrel::flash {
namespace {

// A glyph outline: edge records with fill style 1 on one side.
QPainterPath ParseGlyph(std::span<const std::uint8_t> bytes, const DefinitionContext& context) {
  SwfStream in(bytes);
  ShapeData data;
  StyleSet styles;
  styles.fills.emplace_back();
  data.styleSets.push_back(std::move(styles));
  ReadShapeRecords(in, 1, false, context, &data);
  const ShapeGeometry geometry = BuildGeometry(data);
  QPainterPath path;
  for (const auto& layer : geometry.layers) {
    for (const auto& fill : layer.fills) {
      if (path.isEmpty()) {
        path = fill.path;
      } else {
        path.addPath(fill.path);
      }
    }
  }
  // Drawing threads share the glyphs: their lazily kept bounds are made before that.
  (void)path.boundingRect();
  (void)path.controlPointRect();
  return path;
}

std::string ReadName(SwfStream& in) {
  const std::size_t length = in.U8();
  const auto bytes = in.ReadBytes(length);
  std::string name(bytes.begin(), bytes.end());
  while (!name.empty() && name.back() == '\0') name.pop_back();
  return name;
}

}  // namespace

QString DecodeMovieString(const std::string& text, int swfVersion) {
  if (swfVersion >= 6) return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

int Font::GlyphForCode(std::uint16_t code) const {
  // Device fonts are shared by every movie and every thread that lays out text.
  const std::lock_guard lock(render::BuildLock(this));
  if (codeMapSize_ != codes.size()) {
    codeMap_.clear();
    for (std::size_t i = 0; i < codes.size() && i < glyphs.size(); ++i) codeMap_.emplace(codes[i], static_cast<int>(i));
    codeMapSize_ = codes.size();
  }
  const auto it = codeMap_.find(code);
  return it == codeMap_.end() ? -1 : it->second;
}

double Font::Advance(std::size_t glyph) const {
  if (hasLayout && glyph < advances.size()) return advances[glyph];
  if (glyph >= glyphs.size()) return 0;
  const QRectF box = glyphs[glyph].boundingRect();
  return box.isEmpty() ? emSize / 3 : box.right() + emSize / 20;
}

double Font::Kerning(std::uint16_t left, std::uint16_t right) const {
  const auto it = kerning.find({left, right});
  return it == kerning.end() ? 0 : it->second;
}

std::shared_ptr<Font> ParseFont(std::uint16_t tagCode, std::span<const std::uint8_t> body,
                                const DefinitionContext& context, std::string* error) {
  SwfStream in(body);
  auto font = std::make_shared<Font>();
  font->id = in.U16();
  const auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + " in font " + std::to_string(font->id);
    return nullptr;
  };
  if (tagCode == 10) {
    const std::size_t tableStart = in.Position();
    const std::size_t firstOffset = in.U16();
    if (in.Overrun()) return fail("truncated offset table");
    const std::size_t count = firstOffset / 2;
    if (count * 2 > in.Remaining() + 2) return fail("bad offset table");
    std::vector<std::size_t> offsets{firstOffset};
    for (std::size_t i = 1; i < count; ++i) offsets.push_back(in.U16());
    const std::span<const std::uint8_t> table = body.subspan(tableStart);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t start = std::min(offsets[i], table.size());
      const std::size_t end = i + 1 < count ? std::min(std::max(offsets[i + 1], start), table.size()) : table.size();
      font->glyphs.push_back(ParseGlyph(table.subspan(start, end - start), context));
    }
    return font;
  }
  const std::uint8_t flags = in.U8();
  font->hasLayout = flags & 0x80;
  font->smallText = flags & 0x20;
  const bool wideOffsets = flags & 0x08;
  font->wideCodes = flags & 0x04;
  font->italic = flags & 0x02;
  font->bold = flags & 0x01;
  in.U8();  // language
  font->name = DecodeMovieString(ReadName(in), context.swfVersion);
  if (tagCode == 75) font->emSize = 20480;
  const std::size_t count = in.U16();
  const std::size_t tableStart = in.Position();
  if (count * (wideOffsets ? 4 : 2) > in.Remaining()) return fail("bad glyph count");
  std::vector<std::size_t> offsets;
  offsets.reserve(count + 1);
  for (std::size_t i = 0; i <= count; ++i) offsets.push_back(wideOffsets ? in.U32() : in.U16());  // last: code table
  if (in.Overrun()) {
    if (count > 0) return fail("truncated offset table");
    return font;  // a font without glyphs (device font) may end here
  }
  const std::span<const std::uint8_t> table = body.subspan(tableStart);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t start = std::min(offsets[i], table.size());
    const std::size_t end = std::min(std::max(offsets[i + 1], start), table.size());
    font->glyphs.push_back(ParseGlyph(table.subspan(start, end - start), context));
  }
  in.Seek(tableStart + offsets[count]);
  for (std::size_t i = 0; i < count && !in.Overrun(); ++i) font->codes.push_back(font->wideCodes ? in.U16() : in.U8());
  if (in.Overrun()) {
    font->codes.resize(std::min(font->codes.size(), count));
    return font;
  }
  if (font->hasLayout) {
    font->ascent = in.U16();
    font->descent = in.U16();
    font->leading = in.S16();
    for (std::size_t i = 0; i < count && !in.Overrun(); ++i) font->advances.push_back(in.U16());
    for (std::size_t i = 0; i < count && !in.Overrun(); ++i) in.ReadRect();
    const std::size_t kerningCount = in.U16();
    for (std::size_t i = 0; i < kerningCount && !in.Overrun(); ++i) {
      const std::uint16_t left = font->wideCodes ? in.U16() : in.U8();
      const std::uint16_t right = font->wideCodes ? in.U16() : in.U8();
      const std::int16_t adjust = in.S16();
      if (!in.Overrun()) font->kerning[{left, right}] = adjust;
    }
    if (font->advances.size() < count) font->advances.resize(count, 0);
  }
  return font;
}

bool ApplyFontInfo(std::uint16_t tagCode, std::span<const std::uint8_t> body, DefinitionContext& context,
                   std::string* error) {
  SwfStream in(body);
  const std::uint16_t fontId = in.U16();
  auto character = context.dictionary ? context.dictionary->Find(fontId) : nullptr;
  if (!character || character->Kind() != CharacterKind::Font) {
    if (error) *error = "font info for unknown font " + std::to_string(fontId);
    return false;
  }
  auto font = std::static_pointer_cast<Font>(character);
  const std::string name = ReadName(in);
  const std::uint8_t flags = in.U8();
  if (tagCode == 62) in.U8();  // language
  if (in.Overrun()) {
    if (error) *error = "truncated font info for font " + std::to_string(fontId);
    return false;
  }
  font->name = DecodeMovieString(name, context.swfVersion);
  font->smallText = flags & 0x20;
  font->italic = flags & 0x04;
  font->bold = flags & 0x02;
  font->wideCodes = flags & 0x01;
  std::vector<std::uint16_t> codes;
  for (std::size_t i = 0; i < font->glyphs.size(); ++i) {
    const std::uint16_t code = font->wideCodes ? in.U16() : in.U8();
    if (in.Overrun()) break;
    codes.push_back(code);
  }
  font->codes = std::move(codes);
  return true;
}

}  // namespace vantrel::flash
