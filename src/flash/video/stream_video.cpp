#include "flash/video/stream_video.h"

#include <QPainter>
#include <algorithm>

#include "flash/character/style.h"
#include "flash/video/embedded_video.h"

namespace vantrel::flash::video {

void DrawVideoPicture(const RenderContext& context, const QImage& picture, int width, int height, bool smoothing) {
  if (!context.painter || picture.isNull()) return;
  QPainter* painter = context.painter;
  painter->save();
  painter->setTransform(QTransform::fromScale(20, 20) * context.transform);
  painter->setRenderHint(QPainter::SmoothPixmapTransform, smoothing && context.quality != Quality::Low);
  const ColorTransform& t = context.colorTransform;
  const bool alphaOnly = t.mulR == 1 && t.mulG == 1 && t.mulB == 1 && t.addR == 0 && t.addG == 0 && t.addB == 0 && t.addA == 0;
  const QRectF target(0, 0, width > 0 ? width : picture.width(), height > 0 ? height : picture.height());
  if (alphaOnly) {
    painter->setOpacity(painter->opacity() * std::clamp(t.mulA, 0.0, 1.0));
    painter->drawImage(target, picture);
  } else {
    QImage tinted = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < tinted.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(tinted.scanLine(y));
      for (int x = 0; x < tinted.width(); ++x) {
        const QRgb p = row[x];
        auto channel = [](int value, double mul, double add) { return ChannelByte(value * mul + add); };
        row[x] = qRgba(channel(qRed(p), t.mulR, t.addR), channel(qGreen(p), t.mulG, t.addG),
                       channel(qBlue(p), t.mulB, t.addB), channel(qAlpha(p), t.mulA, t.addA));
      }
    }
    painter->drawImage(target, tinted);
  }
  painter->restore();
}

StreamVideo::StreamVideo(std::shared_ptr<const Character> embedded, int width, int height)
    : embedded_(std::dynamic_pointer_cast<const Drawable>(std::move(embedded))), width_(width), height_(height) {
  if (embedded_) id = embedded_->id;
}

const QImage* StreamVideo::Shown() const {
  if (!stream || stream->image.isNull()) return nullptr;
  if (cleared_ && stream->image.cacheKey() == clearedKey_) return nullptr;
  return &stream->image;
}

int StreamVideo::PictureWidth() const {
  const QImage* shown = Shown();
  return shown ? shown->width() : 0;
}

int StreamVideo::PictureHeight() const {
  const QImage* shown = Shown();
  return shown ? shown->height() : 0;
}

void StreamVideo::Clear() {
  cleared_ = stream && !stream->image.isNull();
  if (cleared_) clearedKey_ = stream->image.cacheKey();
}

void StreamVideo::Render(const RenderContext& context) const {
  if (!stream) {
    if (embedded_) embedded_->Render(context);
    return;
  }
  if (const QImage* shown = Shown()) DrawVideoPicture(context, *shown, width_, height_, smoothing);
}

QRectF StreamVideo::Bounds(std::uint16_t) const { return QRectF(0, 0, width_ * 20.0, height_ * 20.0); }

QPainterPath StreamVideo::Outline(std::uint16_t ratio) const {
  QPainterPath path;
  path.addRect(Bounds(ratio));
  return path;
}

}  // namespace vantrel::flash::video
