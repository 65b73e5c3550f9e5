#include "core/surface_limit.h"

#include <algorithm>
#include <cmath>

namespace vantrel::core {

SurfaceSize BoundSurface(std::int64_t width, std::int64_t height) {
  SurfaceSize size;
  if (width <= 0 || height <= 0) {
    size.refusal = "the picture has no size (" + std::to_string(width) + " x " + std::to_string(height) + ")";
    return size;
  }
  if (width <= kMaxSurfaceSide && height <= kMaxSurfaceSide && width * height <= kMaxSurfacePixels) {
    size.width = static_cast<int>(width);
    size.height = static_cast<int>(height);
    return size;
  }
  // One factor for both sides keeps the shape: the tighter of the side and area limits.
  const double w = static_cast<double>(width);
  const double h = static_cast<double>(height);
  double factor = std::min(static_cast<double>(kMaxSurfaceSide) / std::max(w, h),
                           std::sqrt(static_cast<double>(kMaxSurfacePixels) / (w * h)));
  factor = std::min(factor, 1.0);
  std::int64_t newWidth = std::clamp<std::int64_t>(static_cast<std::int64_t>(w * factor), 1, kMaxSurfaceSide);
  std::int64_t newHeight = std::clamp<std::int64_t>(static_cast<std::int64_t>(h * factor), 1, kMaxSurfaceSide);
  // Rounding up a side of 1 may still leave too many pixels on a very long strip.
  while (newWidth * newHeight > kMaxSurfacePixels) {
    if (newWidth >= newHeight) --newWidth;
    else --newHeight;
  }
  size.width = static_cast<int>(newWidth);
  size.height = static_cast<int>(newHeight);
  size.reduced = true;
  return size;
}

std::string ReducedSurfaceNote(std::int64_t width, std::int64_t height, const SurfaceSize& size) {
  if (!size.reduced) return {};
  return "the " + std::to_string(width) + " x " + std::to_string(height) +
         " picture is larger than the drawing limit of " + std::to_string(kMaxSurfacePixels) + " pixels (" +
         std::to_string(kMaxSurfaceSide) + " a side); drawn at " + std::to_string(size.width) + " x " +
         std::to_string(size.height);
}

}  // namespace vantrel::core
