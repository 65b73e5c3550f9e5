#include "flash/video/embedded_video.h"

#include <QPainter>
#include <algorithm>

#include "flash/raster/lanes.h"
#include "flash/swf/movie.h"
#include "flash/video/stream_video.h"

namespace vantrel::flash::video {

EmbeddedVideo::EmbeddedVideo(std::shared_ptr<const VideoStreamData> stream)
    : width(stream->width),
      height(stream->height),
      codec(stream->codec),
      deblocking(stream->deblocking),
      smoothing(stream->smoothing),
      stream_(std::move(stream)) {
  id = stream_->id;
}

QRectF EmbeddedVideo::Bounds(std::uint16_t) const { return QRectF(0, 0, width * 20.0, height * 20.0); }

QPainterPath EmbeddedVideo::Outline(std::uint16_t ratio) const {
  QPainterPath path;
  path.addRect(Bounds(ratio));
  return path;
}

QImage EmbeddedVideo::Frame(int frame) const {
  const QImage none;
  const std::lock_guard lock(render::BuildLock(this));
  const auto& frames = stream_->frames;
  auto wanted = frames.upper_bound(frame);
  if (wanted == frames.begin()) return none;
  --wanted;
  const int target = wanted->first;
  if (target == shownFrame_) return picture_;
  if (!decoder_ || target < decoded_) {
    // Backwards (or the first time): start again from the first frame.
    decoder_ = std::make_unique<VideoDecoder>(codec, false);
    decoder_->SetDeblocking(deblocking);
    decoded_ = -1;
  }
  if (!decoder_->Ok()) return none;
  for (auto it = frames.upper_bound(decoded_); it != frames.end() && it->first <= target; ++it) {
    decoder_->Decode(it->second, nullptr);
    decoded_ = it->first;
  }
  QImage picture;
  if (decoder_->LastPicture(picture)) {
    // The stream's declared size is what shows; coded pictures may be padded.
    if (width > 0 && height > 0 && (picture.width() > width || picture.height() > height))
      picture = picture.copy(0, 0, std::min(width, picture.width()), std::min(height, picture.height()));
    picture_ = picture;
  }
  shownFrame_ = target;
  return picture_;
}

void EmbeddedVideo::Render(const RenderContext& context) const {
  if (!context.painter) return;
  const QImage picture = Frame(context.ratio);
  DrawVideoPicture(context, picture, width, height, smoothing);
}

int AddEmbeddedVideos(Movie& movie) {
  int added = 0;
  for (const auto& [id, stream] : movie.videoStreams) {
    if (movie.dictionary.Find(id)) continue;  // the engine knows this character already
    movie.dictionary.Add(std::make_shared<EmbeddedVideo>(stream));
    ++added;
  }
  return added;
}

}  // namespace vantrel::flash::video
