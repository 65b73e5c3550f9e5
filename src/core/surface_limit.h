// How large a picture the program draws. A movie states its own frame size (up to
// 65535 pixels a side) and a user may ask for any size; whatever is asked, a drawing
// surface never holds more than kMaxSurfacePixels pixels (kMaxSurfaceBytes bytes at
// four bytes a pixel) nor a side longer than kMaxSurfaceSide. Larger pictures are drawn
// scaled down with their shape kept. Used by the command line's render verb and by the
// shots and thumbnails of movies.
#pragma once

#include <cstdint>
#include <string>

namespace vantrel::core {

inline constexpr std::int64_t kMaxSurfaceSide = 16384;
inline constexpr std::int64_t kMaxSurfacePixels = 3840 * 2160;  // a 4K frame
inline constexpr std::int64_t kMaxSurfaceBytes = kMaxSurfacePixels * 4;

struct SurfaceSize {
  int width = 0;
  int height = 0;
  bool reduced = false;  // smaller than asked for
  std::string refusal;   // why nothing can be drawn; "" when width and height are usable
  bool Usable() const { return refusal.empty(); }
};

// The size to draw a width x height picture at: the same size when it is within the
// limits, else the largest size within them with the same shape (each side at least 1).
// A side of 0 or less is refused with the reason.
SurfaceSize BoundSurface(std::int64_t width, std::int64_t height);

// The note for a reduced size: "the 65535 x 65535 picture is larger than the drawing
// limit of 8294400 pixels; drawn at 2880 x 2880". "" when size is not reduced.
std::string ReducedSurfaceNote(std::int64_t width, std::int64_t height, const SurfaceSize& size);

}  // namespace vantrel::core
