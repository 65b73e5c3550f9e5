#include "flash/render/layer_image.h"

#include <algorithm>

#include "flash/render/rasterizer.h"

namespace vantrel::flash::render {
namespace {

// The most pixels one layer may take (about 64 MB), as for any offscreen drawing.
constexpr std::int64_t kMaxLayerPixels = 16 * 1024 * 1024;
// Buffers kept for the next frame; nested layers rarely go deeper.
constexpr std::size_t kKeptBuffers = 8;

// Per thread: each drawing thread (the player, a thumbnail maker) has its own frames.
std::vector<std::vector<std::uint32_t>>& Pool() {
  thread_local std::vector<std::vector<std::uint32_t>> pool;
  return pool;
}

}  // namespace

LayerImage::LayerImage(QSize size) {
  if (size.isEmpty()) return;
  const std::int64_t pixels = static_cast<std::int64_t>(size.width()) * size.height();
  if (pixels > kMaxLayerPixels) {
    ReportLimit("a layer larger than 16 million pixels was left out");
    return;
  }
  auto& pool = Pool();
  // The smallest kept buffer that is big enough, else the biggest one grown.
  auto best = pool.end();
  for (auto it = pool.begin(); it != pool.end(); ++it) {
    if (it->capacity() >= static_cast<std::size_t>(pixels) &&
        (best == pool.end() || it->capacity() < best->capacity()))
      best = it;
  }
  if (best == pool.end() && !pool.empty())
    best = std::max_element(pool.begin(), pool.end(),
                            [](const auto& a, const auto& b) { return a.capacity() < b.capacity(); });
  if (best != pool.end()) {
    buffer_ = std::move(*best);
    pool.erase(best);
  }
  buffer_.assign(static_cast<std::size_t>(pixels), 0);
  image_ = QImage(reinterpret_cast<uchar*>(buffer_.data()), size.width(), size.height(), size.width() * 4,
                  QImage::Format_ARGB32_Premultiplied);
}

LayerImage::~LayerImage() {
  image_ = QImage();
  if (buffer_.capacity() == 0) return;
  auto& pool = Pool();
  if (pool.size() < kKeptBuffers) pool.push_back(std::move(buffer_));
}

}  // namespace vantrel::flash::render
