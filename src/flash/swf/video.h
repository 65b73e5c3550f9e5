// Video a movie embeds: each DefineVideoStream with the VideoFrame tags that carry its
// frames, as the tag walk finds them. video/ decodes and draws from it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

namespace vantrel::flash {

struct VideoStreamData {
  std::uint16_t id = 0;
  int width = 0, height = 0;  // pixels
  std::uint8_t codec = 0;
  std::uint8_t deblocking = 0;
  bool smoothing = false;
  std::map<int, std::vector<std::uint8_t>> frames;  // VideoFrame data by frame number
};

// Reads DefineVideoStream (60) or VideoFrame (61) into streams; false for other tags.
// A frame of a stream not defined yet is dropped.
bool ReadVideoTag(std::uint16_t code, std::span<const std::uint8_t> body,
                  std::map<std::uint16_t, std::shared_ptr<VideoStreamData>>& streams);

}  // namespace vantrel::flash
