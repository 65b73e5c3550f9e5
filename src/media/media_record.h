// The media record: what identification learned about one movie, video or projector.
#pragma once

#include <cstdint>
#include <string>

namespace vantrel::media {

// One movie file as the player, the information dialog and the tools see it. Records are
// values: copy them whole and reset them with ResetRecord.
struct MediaRecord {
  std::uint8_t Version = 0;       // byte 3 of the file: SWF version, or the FLV header's version
  bool IsCompressed = false;      // a compressed movie ("CWS" of version 6 or later, or "ZWS")
  double MovieSize = 0;           // the header's uncompressed length; for a video, the file size
  std::int32_t FileSize = 0;      // length of the file at the path passed in
  std::int32_t Width = 0;         // frame width in pixels
  std::int32_t Height = 0;        // frame height in pixels
  float FrameRate = 0;            // frames per second (a movie keeps the integer part)
  std::int32_t FrameCount = 0;    // number of frames
  std::string MoviePath;          // what the Flash control loads
  std::string SourcePath;         // path passed in; after a full decompression, the compressed movie
  std::string HeaderPath;         // after a header-only decompression, the short plain copy
  std::string FileName;           // file name of the passed path, extension kept
  std::int32_t HeaderEnd = 0;     // 1-based file position of the first tag
  bool IsProjector = false;       // the movie was taken out of a projector executable
  bool IsVideo = false;           // the file is a Flash video ("FLV")
  std::uint8_t VideoCodec = 0;    // video: codec id
  std::int16_t VideoRate = 0;     // video: "videodatarate" in kbps
  std::int16_t AudioRate = 0;     // video: "audiodatarate" in kbps
  std::string BackColor;          // six upper-case hex digits, red first ("000000" when the movie
                                  // sets none); empty in a blank record and for a video
  std::string Title;              // metadata title
  std::string Description;        // metadata description

  bool operator==(const MediaRecord&) const = default;
};

// The blank record: every field empty, zero or false.
inline const MediaRecord& BlankRecord() {
  static const MediaRecord blank{};
  return blank;
}

// Sets every field of record to empty, zero or false.
inline void ResetRecord(MediaRecord& record) { record = MediaRecord{}; }

}  // namespace vantrel::media
