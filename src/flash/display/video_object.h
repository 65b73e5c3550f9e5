// A Video object on the stage: what a DefineVideoStream placement makes. It draws its
// stream's frames by the timeline until a script attaches a NetStream; its view is
// made on the first script call that needs it.
#pragma once

#include <memory>

#include "flash/display/display_object.h"
#include "flash/video/stream_video.h"

namespace vantrel::flash {

class VideoObject final : public DisplayObject {
 public:
  VideoObject(MovieRuntime& player, const LoadedMovie* movie) : DisplayObject(DisplayKind::Video, player, movie) {}

  // The object's view, put in place of the placed character the first time.
  video::StreamVideo& View();
  // A Video a script made: no stream behind it yet, the size it was made with.
  void MakeView(int width, int height);

 private:
  std::shared_ptr<video::StreamVideo> view_;
};

}  // namespace vantrel::flash
