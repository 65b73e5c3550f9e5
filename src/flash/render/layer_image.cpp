#include "flash/render/layer_image.h"

#include <algorithm>

#include "flash/raster/rasterizer.h"

namespace vantrel::flash::render {
namespace {

// The most pixels one layer may take (about 64 MB), as for any offscreen drawing.
constexpr std::int64_t kMaxLayerPixels = 16 * 1024 * 1024;
// Buffers kept for the next frame; nested layers rarely go deeper.
constexpr std::size_t kKeptBuffers = 8;

struct KeptBuffer {
  std::vector<std::uint32_t> pixels;
  std::size_t dirty = 0;  // leading pixels that may be other than zero
};

// Per thread: each drawing thread (the player, a thumbnail maker) has its own frames.
std::vector<KeptBuffer>& Pool() {
  thread_local std::vector<KeptBuffer> pool;
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
  const auto wanted = static_cast<std::size_t>(pixels);
  auto& pool = Pool();
  // The smallest kept buffer that is big enough, else the biggest one grown.
  auto best = pool.end();
  for (auto it = pool.begin(); it != pool.end(); ++it) {
    if (it->pixels.size() >= wanted && (best == pool.end() || it->pixels.size() < best->pixels.size())) best = it;
  }
  if (best == pool.end() && !pool.empty())
    best = std::max_element(pool.begin(), pool.end(),
                            [](const auto& a, const auto& b) { return a.pixels.size() < b.pixels.size(); });
  if (best != pool.end()) {
    buffer_ = std::move(best->pixels);
    std::fill_n(buffer_.begin(), std::min(best->dirty, buffer_.size()), 0u);
    pool.erase(best);
  }
  // Pixels past the old size come zero; the buffer is now zero throughout.
  if (buffer_.size() < wanted) buffer_.resize(wanted, 0);
  dirty_ = wanted;
  image_ = QImage(reinterpret_cast<uchar*>(buffer_.data()), size.width(), size.height(), size.width() * 4,
                  QImage::Format_ARGB32_Premultiplied);
}

LayerImage::~LayerImage() {
  image_ = QImage();
  if (buffer_.empty()) return;
  auto& pool = Pool();
  if (pool.size() < kKeptBuffers) pool.push_back({std::move(buffer_), dirty_});
}

}  // namespace vantrel::flash::render
