// Repairs for the JPEG streams stored in SWF image tags: the fix for one known
// table layout (RepairJpeg), a structural check, and the merge of a separate table
// stream and image stream into one stream that any JPEG decoder opens.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vantrel::media {

// The table part that RepairJpeg fits, and how many image bytes it moves.
inline constexpr std::size_t kRepairTableLength = 570;
inline constexpr std::size_t kRepairMovedLength = 40;

// The JPEG repair, on the bytes of a file just written: when byte 570 is 0xFF, byte 571
// is 0xD8 and byte 1 is not 0xD8, the image stream's first 40 bytes move in front of the
// 570 bytes of table data, 0xDB follows them at offset 40, and 0xDA 0x00 are set at
// offsets 610 and 611. The length never changes. Returns true when the bytes were
// repaired; any other layout (or a file shorter than 612 bytes) is left as it is.
bool RepairJpeg(std::span<std::uint8_t> file);

// True when bytes look like one complete JPEG stream: SOI first, well-formed marker
// segments, a frame header before the first scan, no second SOI and no EOI before the
// scan. Only the structure is checked, not the entropy-coded data.
bool IsWellFormedJpeg(std::span<const std::uint8_t> bytes);

// Joins JPEG streams the way SWF stores them (an optional FF D9 FF D8 prefix, a table
// stream, then the image stream) into one stream: one SOI, every marker segment and
// scan in order, one EOI. Returns an empty vector when the bytes do not parse as marker
// segments.
std::vector<std::uint8_t> MergeJpegStreams(std::span<const std::uint8_t> bytes);

// What an image tag's data holds: DefineBitsJPEG2/3/4 may carry PNG or GIF data too.
enum class ImageData { Jpeg, Png, Gif };
ImageData SniffImageData(std::span<const std::uint8_t> bytes);

}  // namespace vantrel::media
