// What a Video object shows. Placed from a DefineVideoStream it draws the stream's own
// frames as the timeline moves; once a script attaches a NetStream it draws that
// stream's picture instead, at the object's size.
#pragma once

#include <QImage>
#include <cstdint>
#include <memory>

#include "flash/raster/drawable.h"

namespace vantrel::flash::video {

// The picture at a NetStream's playhead, shared with the Video objects attached to it.
struct StreamPicture {
  QImage image;
};

// Draws picture into the rectangle of width x height pixels (twips * 20) of context,
// with its colour transform; smoothing filters the scaling (never at low quality).
void DrawVideoPicture(const RenderContext& context, const QImage& picture, int width, int height, bool smoothing);

class StreamVideo final : public Drawable {
 public:
  // embedded: the character placed (a DefineVideoStream), or null for a bare video.
  explicit StreamVideo(std::shared_ptr<const Character> embedded, int width, int height);

  CharacterKind Kind() const override { return CharacterKind::Video; }
  void Render(const RenderContext& context) const override;
  QRectF Bounds(std::uint16_t ratio = 0) const override;
  bool HitTest(QPointF point, std::uint16_t ratio = 0) const override { return Bounds(ratio).contains(point); }
  QPainterPath Outline(std::uint16_t ratio = 0) const override;

  // The picture the object shows while a stream is attached (null: the embedded frames).
  std::shared_ptr<const StreamPicture> stream;
  bool smoothing = false;
  int deblocking = 0;
  // The size of the picture now shown (0 x 0 when none).
  int PictureWidth() const;
  int PictureHeight() const;
  // Nothing shows until the stream has a new picture.
  void Clear();

 private:
  const QImage* Shown() const;
  std::shared_ptr<const Drawable> embedded_;  // the placed character's frames
  int width_, height_;
  qint64 clearedKey_ = 0;
  bool cleared_ = false;
};

}  // namespace vantrel::flash::video
