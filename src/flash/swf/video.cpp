#include "flash/swf/video.h"

#include "flash/swf/stream.h"

namespace vantrel::flash {

bool ReadVideoTag(std::uint16_t code, std::span<const std::uint8_t> body,
                  std::map<std::uint16_t, std::shared_ptr<VideoStreamData>>& streams) {
  constexpr std::uint16_t kDefineVideoStream = 60, kVideoFrame = 61;
  SwfStream data(body);
  if (code == kDefineVideoStream) {
    auto video = std::make_shared<VideoStreamData>();
    video->id = data.U16();
    data.U16();  // frame count
    video->width = data.U16();
    video->height = data.U16();
    const std::uint8_t flags = data.U8();
    video->deblocking = (flags >> 1) & 7;
    video->smoothing = (flags & 1) != 0;
    video->codec = data.U8();
    if (!data.Overrun()) streams[video->id] = std::move(video);
    return true;
  }
  if (code == kVideoFrame) {
    const std::uint16_t stream = data.U16();
    const std::uint16_t frame = data.U16();
    const auto it = streams.find(stream);
    if (it == streams.end() || data.Overrun()) return true;
    const auto rest = data.Rest();
    it->second->frames[frame].assign(rest.begin(), rest.end());
    return true;
  }
  return false;
}

}  // namespace vantrel::flash
