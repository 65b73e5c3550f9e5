// Video embedded in a movie: a DefineVideoStream character whose VideoFrame tags hold
// the frames. The frame drawn is the one the placement's ratio names, as the timeline
// moves it; frames are decoded in order from the last key frame and kept until the
// next one is wanted.
#pragma once

#include <QImage>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "flash/raster/drawable.h"
#include "flash/swf/video.h"
#include "flash/video/video_decoder.h"

namespace vantrel::flash {
struct Movie;
}

namespace vantrel::flash::video {

class EmbeddedVideo final : public Drawable {
 public:
  explicit EmbeddedVideo(std::shared_ptr<const VideoStreamData> stream);
  CharacterKind Kind() const override { return CharacterKind::Video; }
  void Render(const RenderContext& context) const override;
  QRectF Bounds(std::uint16_t ratio = 0) const override;
  bool HitTest(QPointF point, std::uint16_t ratio = 0) const override { return Bounds(ratio).contains(point); }
  QPainterPath Outline(std::uint16_t ratio = 0) const override;

  // The picture of frame (the nearest stored frame at or before it); null when none
  // decodes. Threads drawing parts of one frame share the decoder, one at a time.
  QImage Frame(int frame) const;

  int width = 0, height = 0;  // pixels
  std::uint8_t codec = 0;
  std::uint8_t deblocking = 0;
  bool smoothing = false;

 private:
  std::shared_ptr<const VideoStreamData> stream_;  // the frames, as the movie holds them
  mutable std::unique_ptr<VideoDecoder> decoder_;
  mutable int decoded_ = -1;  // last frame number through the decoder
  mutable int shownFrame_ = -1;
  mutable QImage picture_;
};

// Adds a character to the movie's dictionary for each video stream the tag walk found
// (unless a character has its id already). Returns how many it added.
int AddEmbeddedVideos(Movie& movie);

}  // namespace vantrel::flash::video
