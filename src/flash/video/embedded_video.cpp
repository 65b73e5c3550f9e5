#include "flash/video/embedded_video.h"

#include <QPainter>
#include <algorithm>

#include "flash/movie.h"
#include "flash/swf_stream.h"
#include "flash/video/stream_video.h"

namespace vantrel::flash::video {

namespace {

constexpr std::uint16_t kDefineSprite = 39, kDefineVideoStream = 60, kVideoFrame = 61;

// Calls visit(code, body) for every tag of a tag stream and of the sprites in it.
template <typename Visit>
void WalkTags(std::span<const std::uint8_t> tags, Visit&& visit, int depth) {
  SwfStream stream(tags);
  while (stream.Remaining() >= 2) {
    const std::uint16_t codeAndLength = stream.U16();
    const std::uint16_t code = codeAndLength >> 6;
    std::size_t length = codeAndLength & 0x3F;
    if (length == 0x3F) {
      if (stream.Remaining() < 4) return;
      length = stream.U32();
    }
    const auto body = stream.ReadBytes(std::min(length, stream.Remaining()));
    if (code == 0) return;
    if (code == kDefineSprite && depth < 8 && body.size() > 4) WalkTags(body.subspan(4), visit, depth + 1);
    visit(code, body);
  }
}

}  // namespace

QRectF EmbeddedVideo::Bounds(std::uint16_t) const { return QRectF(0, 0, width * 20.0, height * 20.0); }

QPainterPath EmbeddedVideo::Outline(std::uint16_t ratio) const {
  QPainterPath path;
  path.addRect(Bounds(ratio));
  return path;
}

const QImage& EmbeddedVideo::Frame(int frame) const {
  static const QImage none;
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
  const QImage& picture = Frame(context.ratio);
  DrawVideoPicture(context, picture, width, height, smoothing);
}

int AddEmbeddedVideos(Movie& movie, std::span<const std::uint8_t> tags) {
  std::map<std::uint16_t, std::shared_ptr<EmbeddedVideo>> videos;
  WalkTags(
      tags,
      [&](std::uint16_t code, std::span<const std::uint8_t> tag) {
        SwfStream data(tag);
        if (code == kDefineVideoStream) {
          auto video = std::make_shared<EmbeddedVideo>();
          video->id = data.U16();
          data.U16();  // frame count
          video->width = data.U16();
          video->height = data.U16();
          const std::uint8_t flags = data.U8();
          video->deblocking = (flags >> 1) & 7;
          video->smoothing = (flags & 1) != 0;
          video->codec = data.U8();
          if (!data.Overrun()) videos[video->id] = std::move(video);
        } else if (code == kVideoFrame) {
          const std::uint16_t stream = data.U16();
          const std::uint16_t frame = data.U16();
          const auto it = videos.find(stream);
          if (it == videos.end() || data.Overrun()) return;
          const auto rest = data.Rest();
          it->second->frames[frame].assign(rest.begin(), rest.end());
        }
      },
      0);
  int added = 0;
  for (auto& [id, video] : videos) {
    if (movie.dictionary.Find(id)) continue;  // the engine knows this character already
    movie.dictionary.Add(std::move(video));
    ++added;
  }
  return added;
}

}  // namespace vantrel::flash::video
