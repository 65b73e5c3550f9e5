// The entry point from the tag walk to the drawable definitions.
#include "flash/character/definition.h"

#include "flash/character/bitmap.h"
#include "flash/character/font.h"
#include "flash/character/morph_shape.h"
#include "flash/character/shape.h"
#include "flash/character/text.h"
#include "flash/swf/character.h"
#include "flash/swf/stream.h"

namespace vantrel::flash {
namespace {

// CSMTextSettings amends a text field defined before it; of a static text only the
// rendering kind counts (it decides how the text is hit).
void ApplyTextSettings(std::span<const std::uint8_t> body, DefinitionContext& context, std::string* error) {
  SwfStream in(body);
  const std::uint16_t id = in.U16();
  const std::uint8_t flags = in.U8();
  const float thickness = in.Float32();
  const float sharpness = in.Float32();
  if (in.Overrun()) {
    if (error) *error = "truncated text settings for character " + std::to_string(id);
    return;
  }
  auto character = context.dictionary ? context.dictionary->Find(id) : nullptr;
  if (character && character->Kind() == CharacterKind::Text) {
    static_cast<StaticText&>(*character).advancedRendering = (flags >> 6) == 1;
    return;
  }
  if (!character || character->Kind() != CharacterKind::EditText) return;
  auto& field = static_cast<EditText&>(*character);
  field.antiAliasType = (flags >> 6) == 1 ? "advanced" : "normal";
  static const char* const kGridFits[] = {"none", "pixel", "subpixel"};
  const int gridFit = (flags >> 3) & 7;
  if (gridFit < 3) field.gridFitType = kGridFits[gridFit];
  field.thickness = thickness;
  field.sharpness = sharpness;
}

}  // namespace

std::shared_ptr<Character> ParseDefinition(std::uint16_t tagCode, std::span<const std::uint8_t> body,
                                           DefinitionContext& context, std::string* error) {
  switch (tagCode) {
    case 2:
      return ParseShape(body, 1, context, error);
    case 22:
      return ParseShape(body, 2, context, error);
    case 32:
      return ParseShape(body, 3, context, error);
    case 83:
      return ParseShape(body, 4, context, error);
    case 46:
    case 84:
      return ParseMorphShape(tagCode, body, context, error);
    case 6:
    case 21:
    case 35:
    case 90:
    case 20:
    case 36: {
      auto bitmap = ParseBitmap(tagCode, body, context, error);
      // The character exists even when its image is broken; it draws nothing.
      if (!bitmap && body.size() >= 2) {
        bitmap = std::make_shared<Bitmap>();
        bitmap->id = static_cast<std::uint16_t>(body[0] | (body[1] << 8));
      }
      return bitmap;
    }
    case 10:
    case 48:
    case 75: {
      auto font = ParseFont(tagCode, body, context, error);
      if (font && !context.awaitingFonts.empty()) AttachFontToWaitingTexts(font, context);
      return font;
    }
    case 13:
    case 62:
      ApplyFontInfo(tagCode, body, context, error);
      return nullptr;
    case 11:
    case 33:
      return ParseStaticText(tagCode, body, context, error);
    case 37:
      return ParseEditText(body, context, error);
    case 74:
      ApplyTextSettings(body, context, error);
      return nullptr;
    default:
      if (error) *error = "not a drawable definition: tag " + std::to_string(tagCode);
      return nullptr;
  }
}

std::shared_ptr<Character> CharacterReader::Read(std::uint16_t tagCode, std::span<const std::uint8_t> body,
                                                 Movie& movie, std::string* error) {
  context_.swfVersion = movie.header.version;
  // The dictionary is the movie's: texts and shapes find the fonts and bitmaps defined
  // before them, and font infos and text settings amend what is there.
  context_.dictionary = &movie.dictionary;
  if (tagCode == 6) context_.jpegTables = movie.jpegTables;  // DefineBits: the tables seen so far
  return ParseDefinition(tagCode, body, context_, error);
}

std::shared_ptr<Movie> LoadMovieFromBytes(std::span<const std::uint8_t> file, std::string* error) {
  CharacterReader characters;
  return ReadMovie(file, &characters, error);
}

}  // namespace vantrel::flash
