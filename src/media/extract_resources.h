// Resource extraction: the walk over a plain movie's tags that writes its images,
// sounds, videos and metadata as files into a folder, with the counters, the output
// names and the summary texts of the extraction dialog.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "media/media_record.h"

namespace vantrel::core {
class ExecutionLog;
}

namespace vantrel::media {

// The five categories, in the dialog's order; also the counters' indexes.
enum ExtractCategory : std::size_t {
  kExtractJpeg = 0,    // DefineBits, DefineBitsJPEG2 image data
  kExtractPng = 1,     // DefineBitsLossless/Lossless2, and JPEG3/4 images with their alpha
  kExtractEvent = 2,   // DefineSound in MP3
  kExtractStream = 3,  // SoundStreamHead/SoundStreamHead2 in MP3 with their blocks
  kExtractVideo = 4,   // DefineVideoStream with its VideoFrame tags, as FLV
};
inline constexpr std::size_t kExtractCategories = 5;

// Check box names, default captions and option keys (section "Decompiler"), by category.
inline constexpr std::array<std::string_view, kExtractCategories> kExtractBoxNames = {
    "chkJPEG", "chkPNG", "chkEvent", "chkStream", "chkVideo"};
inline constexpr std::array<std::string_view, kExtractCategories> kExtractCaptions = {
    "JPEG Compressed Images", "Images with Lossless Compression", "Event MP3 Sounds", "Streaming MP3 Sounds",
    "Video Sorenson H.263"};
inline constexpr std::array<std::string_view, kExtractCategories> kExtractOptionKeys = {"JPEG", "PNG", "Event",
                                                                                       "Stream", "Video"};
inline constexpr std::array<bool, kExtractCategories> kExtractDefaults = {true, false, true, true, false};

// A counter per category: negative switches the category off, otherwise it counts the
// resources the walk attempted to write.
using ExtractCounters = std::array<std::int32_t, kExtractCategories>;

// Counters for the chosen categories: 0 for a chosen one, -1 for the others.
ExtractCounters CountersFor(const std::array<bool, kExtractCategories>& chosen);

// Called at most every 0.1 seconds (always for the first labelled tag) with the
// position in the movie (0 to 1) and the tag's label; the place where a user interface
// repaints and notices its Stop button.
using ExtractProgress = std::function<void(double value, std::string_view label)>;

// What went wrong while writing: the walk goes on after a failed file.
struct ExtractReport {
  int failed = 0;             // files that could not be written completely
  std::string firstFailure;   // the reason for the first of them
  int damaged = 0;            // resources whose data could not be decoded: no file
  std::string firstDamage;    // the reason for the first of them
};

// The walk. Reads record.MoviePath (a plain movie) from record.HeaderEnd and writes into
// destination (a folder path ending in "/") files named after record.FileName:
//   FileName.<id>.jpg   DefineBits (with the JPEGTables), DefineBitsJPEG2 (.png or
//                       .gif when the tag holds PNG or GIF data)          JPEG counter
//   FileName.<id>.png   DefineBitsLossless/Lossless2, DefineBitsJPEG3/4 with their
//                       alpha (.png or .gif data as it is)                PNG counter
//   FileName.<id>.mp3   DefineSound in MP3                                event counter
//   FileName.stream<sprite>.mp3   a MP3 sound stream                      stream counter
//   FileName.<id>.flv   an embedded video stream                          video counter
//   FileName.rdf.xml    the Metadata tag, always
// A run of zero bytes after an End tag (padding) is passed over in one step, so the
// walk's work follows the movie's real tags.
// The cancel flag (may be null) is read before every tag. Nothing is written outside
// destination; each file appears complete or not at all. Never throws.
ExtractReport ExtractResources(const MediaRecord& record, const std::string& destination,
                               const ExtractProgress& progress, ExtractCounters& counters,
                               const std::atomic<bool>* cancel, core::ExecutionLog* log = nullptr);

// The same walk over a plain movie already in memory (its bytes from offset 0, header
// included); record.MoviePath is not read. For fuzzing and for callers that hold the
// movie anyway.
ExtractReport ExtractResourcesFrom(std::span<const std::uint8_t> movie, const MediaRecord& record,
                                   const std::string& destination, const ExtractProgress& progress,
                                   ExtractCounters& counters, const std::atomic<bool>* cancel,
                                   core::ExecutionLog* log = nullptr);

// The summary lines: for each category with a count above 0, CRLF + caption + ": " +
// count. "" when nothing was extracted.
std::string ExtractSummary(const ExtractCounters& counters);

// The closing message: "The following resources were extracted:" + CRLF + summary, or
// "No resources were extracted".
std::string ExtractMessage(const ExtractCounters& counters);

}  // namespace vantrel::media
