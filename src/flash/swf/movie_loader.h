// Loading a movie from its file bytes: the FWS/CWS/ZWS header, decompression in memory
// and the walk over the tags into the movie model.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "flash/swf/movie.h"

namespace vantrel::flash {

// The largest uncompressed movie we accept; a header that claims more is cut to this.
inline constexpr std::size_t kMaxMovieBytes = 256u * 1024 * 1024;

// Reads the 8-byte header and returns the uncompressed movie after it (from the RECT
// on) in body. False with the reason in *error for a file that is not a movie or whose
// compressed data is broken before any tag could be read; a compressed stream that
// ends early yields what it had.
bool DecompressMovie(std::span<const std::uint8_t> file, MovieHeader& header, std::vector<std::uint8_t>& body,
                     std::string* error);

// The tags of an uncompressed movie body: what follows the frame RECT, rate and count.
// Empty when those fields are cut short.
std::span<const std::uint8_t> MovieBodyTags(std::span<const std::uint8_t> body);

// True for the definitions of drawable characters: shapes, morph shapes, bitmaps, fonts
// and font infos, static and edit texts, text settings.
bool IsDrawableDefinition(std::uint16_t tagCode);

// Makes the drawable characters of the definitions the tag walk meets. The characters
// and their parsers live in character/; the walk knows them only through this.
class DefinitionReader {
 public:
  virtual ~DefinitionReader() = default;
  // Called in file order for every drawable definition tag, with the movie read so far
  // (its version, dictionary and JPEG tables). Returns the character for the dictionary,
  // or nullptr: for tags that amend a character already defined, or for malformed data
  // with the reason in *error.
  virtual std::shared_ptr<Character> Read(std::uint16_t tagCode, std::span<const std::uint8_t> body,
                                          Movie& movie, std::string* error) = 0;
};

// Decompresses and parses a whole movie. Returns nullptr with the reason in *error when
// the file is not a movie; malformed tags are skipped and listed in Movie::warnings.
// Every tag is read once, here: sounds and embedded video become data of the model, and
// drawable definitions go to definitions (skipped when it is null: a reader of sounds
// or timelines needs no shapes).
std::shared_ptr<Movie> ReadMovie(std::span<const std::uint8_t> file, DefinitionReader* definitions,
                                 std::string* error);

// Parses the tags of a movie body (after the header fields) into movie. Used by
// ReadMovie; exposed for tests.
void ParseMovieTags(std::span<const std::uint8_t> tags, Movie& movie, DefinitionReader* definitions = nullptr);

}  // namespace vantrel::flash
