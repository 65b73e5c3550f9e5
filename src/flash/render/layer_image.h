// Offscreen layers (masks, blend modes, filters) drawn every frame: their pixels come
// from buffers kept between frames, so a stage-sized layer costs a clear, not fresh
// memory pages from the system each time. A layer cleared by its user where it drew
// goes back clean, so the next one needs no clear at all.
#pragma once

#include <QImage>
#include <QSize>
#include <cstddef>
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

  // Every pixel of the image is transparent again (the caller cleared what it drew):
  // the buffer goes back to be kept clean.
  void MarkClean() { dirty_ = 0; }

 private:
  std::vector<std::uint32_t> buffer_;
  // The leading pixels of buffer_ that may be other than zero (the rest are zero).
  std::size_t dirty_ = 0;
  QImage image_;
};

}  // namespace vantrel::flash::render
