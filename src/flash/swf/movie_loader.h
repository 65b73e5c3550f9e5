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

// Decompresses and parses a whole movie. Returns nullptr with the reason in *error when
// the file is not a movie; malformed tags are skipped and listed in Movie::warnings.
// Every tag is read once, here: sounds and embedded video become data of the model.
std::shared_ptr<Movie> LoadMovieFromBytes(std::span<const std::uint8_t> file, std::string* error);

// Parses the tags of a movie body (after the header fields) into movie. Used by
// LoadMovieFromBytes; exposed for tests.
void ParseMovieTags(std::span<const std::uint8_t> tags, Movie& movie);

}  // namespace vantrel::flash
