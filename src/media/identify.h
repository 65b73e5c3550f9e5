// Media identification: what kind of file a path holds, and the media record for it.
#pragma once

#include <string>
#include <string_view>

#include "media/media_context.h"
#include "media/media_record.h"

namespace vantrel::media {

// The text after the last "/" (or "\"); when cut is true and that text contains a
// point, only the part before its last point.
std::string FileTitle(std::string_view path, bool cut);

// The checks made before a file is identified, with the player's texts: "File Not
// Found" when path names nothing, "File is Too Small to Be Valid" for a file shorter
// than the 8 bytes of a movie header, else "" (a folder passes: callers that take a
// folder decide what it means).
std::string CheckMediaFile(const std::string& path);

// Identifies the file at path and fills record (overwritten first). Movies ("FWS"),
// compressed movies ("CWS" of version 6 or later, "ZWS"), Flash videos ("FLV") and
// projectors (Windows executables, "MZ", and our own ELF ones, through
// context.ExtractProjector) are accepted; a compressed movie is decompressed into the
// cache (full, or header only when full is false). Returns "" on success; otherwise the error text, and record is reset:
//   "Not a Flash Movie"                                  unknown signature
//   context.LastError                                    the projector could not be opened
//   "Error Reading Compressed Movie (" + LastError + ")" the copy could not be written
//   context.LastError (may be stale or empty)            missing or short file and other
//                                                        run-time errors; context.Error
//                                                        then holds the description
std::string IdentifyMedia(MediaContext& context, const std::string& path, MediaRecord& record, bool full);

}  // namespace vantrel::media
