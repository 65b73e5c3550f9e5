// Offscreen layers (masks, blend modes, filters) drawn every frame: their pixels come
// from buffers kept between frames, so a stage-sized layer costs a clear, not fresh
// memory pages from the system each time.
#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <vector>

namespace vantrel::flash::render {

class LayerImage {
 public:
  // A transparent premultiplied image of size; a null image when size is empty or
  // larger than the renderer draws offscreen (reported once).
  explicit LayerImage(QSize size);
  ~LayerImage();
  LayerImage(const LayerImage&) = delete;
  LayerImage& operator=(const LayerImage&) = delete;

  QImage& Image() { return image_; }

 private:
  std::vector<std::uint32_t> buffer_;
  QImage image_;
};

}  // namespace vantrel::flash::render
