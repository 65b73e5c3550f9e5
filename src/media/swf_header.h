// The records at the start of a plain ("FWS") movie: the frame RECT, frame rate and count,
// tag headers, and the short walk over the first tags that finds the background colour
// and the metadata title and description.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "media/media_file.h"
#include "media/media_record.h"

namespace vantrel::media {

// SWF tag codes the readers look at.
inline constexpr std::uint16_t kTagEnd = 0;
inline constexpr std::uint16_t kTagSetBackgroundColor = 9;
inline constexpr std::uint16_t kTagMetadata = 77;

// The short walk stops after a tag whose body is longer than this.
inline constexpr std::uint32_t kShortWalkLongTag = 10000;

// The four fields of a RECT record in twips, each kept as its low 16 bits.
struct FrameRect {
  std::int16_t Xmin = 0, Xmax = 0, Ymin = 0, Ymax = 0;
};

// Reads a RECT at the file's position, leaving the position just behind it, and sets
// record.Width and record.Height to Xmax / 20 and Ymax / 20 (nearest, halves to even).
// Bytes past the end of the file read as zero.
FrameRect ReadFrameRect(MediaFile& file, MediaRecord& record);

// Reads the movie header at offset 8 (RECT, frame rate, frame count) into record, sets
// HeaderEnd, then runs ReadMovieTags. Never fails: fields it cannot read keep zeros.
void ReadMovieHeader(MediaFile& file, MediaRecord& record);

// A tag header. Positions are 1-based file positions, as HeaderEnd is.
struct TagHeader {
  std::uint16_t Code = 0;
  std::uint32_t Length = 0;        // body length in bytes
  std::int64_t BodyPosition = 0;   // 1-based position of the body
  bool LongHeader = false;         // the length came from the 32-bit field
  std::int64_t NextPosition() const { return BodyPosition + static_cast<std::int64_t>(Length); }
};

// Reads the tag header at the 1-based position: code = upper 10 bits of the 16-bit
// little-endian value, length = its lower 6 bits; a length of 63 means a 32-bit
// little-endian length follows (whatever its value). Bytes past the end read as zero
// (and set file.AtEnd()), so a header at the end of the data reads as End.
TagHeader ReadTagHeader(MediaFile& file, std::int64_t position);
// The same over a movie held in memory (the whole plain movie, header included).
TagHeader ReadTagHeader(std::span<const std::uint8_t> movie, std::int64_t position);

// The short walk from record.HeaderEnd over at most five tags: BackColor ("000000"
// first), then SetBackgroundColor and Metadata fill BackColor, Title and Description.
// Ends at End, at the end of the file, or after a tag longer than 10000 bytes.
void ReadMovieTags(MediaFile& file, MediaRecord& record);

// Six upper-case hex digits for three bytes in file order ("0AFF00"). Fewer than three
// bytes read as zero.
std::string FormatRGB(std::span<const std::uint8_t> bytes);

// Title and description of a Metadata tag body (RDF XML). Bytes that are not valid
// UTF-8 are read as Windows-1252; the text ends at the first NUL. Empty texts when the
// XML is not well formed or an element is missing.
void ReadMetadataText(std::span<const std::uint8_t> body, std::string& title, std::string& description);

// bytes as UTF-8: unchanged when they are valid UTF-8, else read as Windows-1252.
std::string TextFromAnsi(std::string_view bytes);

}  // namespace vantrel::media
