// The drawable definitions of a movie: the tag walk hands each definition tag here and
// keeps what comes back in the movie's dictionary.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "flash/swf/character.h"
#include "flash/swf/movie.h"
#include "flash/swf/movie_loader.h"

namespace vantrel::flash {

// What the parsers of one movie share while its definitions are read.
struct DefinitionContext {
  int swfVersion = 10;
  Dictionary* dictionary = nullptr;        // characters defined so far (bitmaps, fonts)
  std::vector<std::uint8_t> jpegTables;    // body of the JPEGTables tag, when seen
  // Texts whose fonts come later in the movie; defining the font completes them.
  std::vector<std::weak_ptr<Character>> awaitingFonts;
};

// Parses a drawable definition tag: DefineShape 1-4 (2, 22, 32, 83), DefineMorphShape
// 1-2 (46, 84), DefineBits (6), DefineBitsJPEG2/3/4 (21, 35, 90), DefineBitsLossless 1-2
// (20, 36), DefineFont 1-3 (10, 48, 75) and DefineFontInfo 1-2 (13, 62, which amend a
// font already in the dictionary), DefineText 1-2 (11, 33), DefineEditText (37),
// CSMTextSettings (74, which amends a text field).
// Returns the character (nullptr for the amending tags, for other tags, or for malformed
// data, with the reason in *error). A bitmap whose image cannot be decoded is still
// returned, empty, with the reason in *error.
std::shared_ptr<Character> ParseDefinition(std::uint16_t tagCode, std::span<const std::uint8_t> body,
                                           DefinitionContext& context, std::string* error = nullptr);

// The reader the tag walk calls for one movie's drawable definitions.
class CharacterReader : public DefinitionReader {
 public:
  std::shared_ptr<Character> Read(std::uint16_t tagCode, std::span<const std::uint8_t> body, Movie& movie,
                                  std::string* error) override;

 private:
  DefinitionContext context_;
};

// Decompresses and parses a whole movie with its drawable characters (ReadMovie with a
// CharacterReader). Returns nullptr with the reason in *error when the file is not a
// movie.
std::shared_ptr<Movie> LoadMovieFromBytes(std::span<const std::uint8_t> file, std::string* error);

}  // namespace vantrel::flash
