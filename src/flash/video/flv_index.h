// The tags of a Flash video as playback needs them: where every audio and video tag's
// data lies, its time and whether it is a key frame. Reads only the tag headers; a file
// cut inside a tag ends the index at the last whole tag.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vantrel::flash::video {

struct FlvTag {
  std::uint32_t time = 0;    // milliseconds
  std::size_t offset = 0;    // first data byte in the file
  std::uint32_t size = 0;    // data bytes
  bool keyFrame = false;     // video: frame type 1 (audio tags: always true)
};

struct FlvIndex {
  std::vector<FlvTag> audio, video;
  std::vector<FlvTag> scripts;   // script data tags (onMetaData, onCuePoint, ...)
  std::uint8_t audioFlags = 0;   // the first audio tag's flag byte
  std::uint8_t videoCodec = 0;   // the first video tag's codec id (0 = no video)
  std::uint32_t lastTime = 0;    // the last tag's time, milliseconds
  double metaDuration = 0;       // onMetaData "duration" in seconds, 0 when absent
  bool truncated = false;        // the data ends inside a tag
  bool closed = false;           // an end marker (an empty tag) was read
  std::size_t next = 0;          // where the next tag header starts (0: header not read)
  // Length in seconds: the metadata's, else the last tag's time plus one frame.
  double Duration() const;
  // Mean milliseconds between video frames (40 when there are fewer than two).
  double FrameInterval() const;
};

// True when a key frame of codec stands alone. Screen video key frames may leave out
// blocks that did not change, so their pictures need every frame from the first.
inline bool KeyFramesStandAlone(std::uint8_t codec) { return codec != 3 && codec != 6; }

// Indexes an FLV file held in memory. False with *error when it is not an FLV file.
bool IndexFlv(std::span<const std::uint8_t> file, FlvIndex& index, std::string* error);
// Goes on indexing a file that has grown since index was made from its start (a video
// still downloading; index starts empty). False with *error once the start shows it is
// not an FLV file; true while too little has arrived to tell.
bool ContinueFlvIndex(std::span<const std::uint8_t> file, FlvIndex& index, std::string* error);

}  // namespace vantrel::flash::video
