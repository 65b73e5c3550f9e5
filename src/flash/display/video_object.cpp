#include "flash/display/video_object.h"

#include "flash/video/embedded_video.h"

namespace vantrel::flash {

video::StreamVideo& VideoObject::View() {
  if (view_ && character == view_) return *view_;
  // A Video the timeline placed keeps its declared size; one without a stream behind
  // it is the player's default 160 x 120.
  int width = 160, height = 120;
  bool smoothing = false;
  int deblocking = 0;
  if (const auto* embedded = dynamic_cast<const video::EmbeddedVideo*>(character.get())) {
    width = embedded->width;
    height = embedded->height;
    smoothing = embedded->smoothing;
    deblocking = embedded->deblocking;
  }
  auto view = std::make_shared<video::StreamVideo>(character, width, height);
  view->smoothing = smoothing;
  view->deblocking = deblocking;
  if (view_) {  // the timeline put a new character here: keep what scripts set
    view->stream = view_->stream;
    view->smoothing = view_->smoothing;
    view->deblocking = view_->deblocking;
  }
  view_ = view;
  character = view_;
  return *view_;
}

void VideoObject::MakeView(int width, int height) {
  view_ = std::make_shared<video::StreamVideo>(nullptr, width, height);
  character = view_;
}

}  // namespace vantrel::flash
