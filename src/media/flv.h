// Flash video (FLV): the header, the onMetaData numbers, the first video tag's picture
// size, and the description "video.xml" that the video wrapper movie plays from.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "media/media_context.h"
#include "media/media_file.h"
#include "media/media_record.h"

namespace vantrel::media {

// Decodes an AMF0 number (8 bytes, big-endian IEEE layout) the way the program always
// has: sign bit, 11-bit exponent and only the 16 most significant mantissa bits, so
// 0.5 and 1.0 are exact and 29.97 reads as 29.96997... nullopt for the exponent of
// infinities and NaNs, which the reader treats as an overflow.
std::optional<double> DecodeAmfNumber(std::span<const std::uint8_t> bytes);

// The text of "video.xml" (CRLF line ends, nothing escaped).
std::string VideoXmlText(const std::string& sourcePath, std::int32_t width, std::int32_t height,
                         std::uint32_t lastTimestamp);

// Whether the video at path ends before it should (a truncated file): its tags, walked
// from the header, stop inside a tag, or the last whole tag comes well before the
// duration onMetaData names (half a second or a twentieth of it). availableSeconds
// receives the time of the last whole tag, claimedSeconds the named duration (0 when
// there is none). False when the file cannot be read.
bool VideoEndsEarly(const std::string& path, double& availableSeconds, double& claimedSeconds);

// Reads the video at file (open, record.MoviePath naming it) into record: Version,
// Width, Height, FrameRate, FrameCount, VideoCodec, VideoRate, AudioRate. When
// onMetaData comes first only it is read; otherwise every tag header is walked. Then
// writes context.UserPath + "video.xml" and sets record.MoviePath to the wrapper
// address context.FlashPath + "video.swf?myXML=...&time=...".
// Malformed metadata (an empty key, an unknown value type, a number out of range) ends
// the reading at once: the fields read so far stay, no video.xml is written and
// MoviePath still names the video. The reason goes to the log.
void ReadVideoInfo(MediaContext& context, MediaFile& file, MediaRecord& record);

}  // namespace vantrel::media
