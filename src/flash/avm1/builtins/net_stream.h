// The script side of video, shared by the NetStream and Video classes.
#pragma once

#include <memory>

#include "flash/avm1/machine.h"
#include "flash/video/stream_video.h"

namespace vantrel::flash::avm1 {

// NetConnection and NetStream.
void InstallNetStream(Runtime& rt);
// Video (attachVideo, clear, width, height, deblocking, smoothing).
void InstallVideo(Runtime& rt);

// The picture of a NetStream object; null when stream is no NetStream.
std::shared_ptr<const video::StreamPicture> NetStreamPicture(Object* stream);

}  // namespace vantrel::flash::avm1
