// Embedded fonts: DefineFont 1-3 glyph outlines with their code table and layout, and
// DefineFontInfo 1-2 which names a DefineFont and maps its glyphs to characters.
#pragma once

#include <QPainterPath>
#include <QString>
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "flash/swf/character.h"
#include "flash/character/definition.h"

namespace vantrel::flash {

class Font : public Character {
 public:
  CharacterKind Kind() const override { return CharacterKind::Font; }

  // The glyph index for a character code, or -1 when the font has no such glyph.
  int GlyphForCode(std::uint16_t code) const;
  // The advance of a glyph in font units (from the layout, else from its outline).
  double Advance(std::size_t glyph) const;
  // Kerning between two character codes in font units (0 without a kerning pair).
  double Kerning(std::uint16_t left, std::uint16_t right) const;

  QString name;
  bool bold = false, italic = false, smallText = false, wideCodes = false;
  double emSize = 1024;  // glyph units per em: 1024, or 20480 for DefineFont3
  std::vector<QPainterPath> glyphs;  // font units, y down, baseline at 0
  std::vector<std::uint16_t> codes;  // character code of each glyph (may be empty)
  bool hasLayout = false;
  double ascent = 0, descent = 0, leading = 0;  // font units
  std::vector<double> advances;
  std::map<std::pair<std::uint16_t, std::uint16_t>, std::int16_t> kerning;
  // A font of the system (see device_font.h), not one the movie embeds: fields lay it
  // out in whole pixels.
  bool device = false;

 private:
  mutable std::map<std::uint16_t, int> codeMap_;
  mutable std::size_t codeMapSize_ = 0;
};

// Parses DefineFont (10), DefineFont2 (48) or DefineFont3 (75). Returns nullptr on
// malformed data; glyphs that fail to parse stay empty.
std::shared_ptr<Font> ParseFont(std::uint16_t tagCode, std::span<const std::uint8_t> body,
                                const DefinitionContext& context, std::string* error);

// Applies DefineFontInfo (13) or DefineFontInfo2 (62) to the font it names. Returns
// false (with the reason) when the font is unknown or the data is malformed.
bool ApplyFontInfo(std::uint16_t tagCode, std::span<const std::uint8_t> body, DefinitionContext& context,
                   std::string* error);

// A string of the movie decoded for display: UTF-8 from SWF 6 on, Latin-1 before.
QString DecodeMovieString(const std::string& text, int swfVersion);

}  // namespace vantrel::flash
