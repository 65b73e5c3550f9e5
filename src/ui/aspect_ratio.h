// Keeping the movie's proportions while the user drags a window edge.
#pragma once

#include <cstdint>

namespace vantrel::ui {

enum class ResizeEdge { Left, Right, Top, Bottom, TopLeft, TopRight, BottomLeft, BottomRight };

struct EdgeRect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const EdgeRect&) const = default;
};

struct ChromeMargins {
  std::int32_t left = 0, right = 0, top = 0, bottom = 0;
};

// The window rectangle after dragging edge, changed so that the movie area inside the
// margins keeps movieWidth:movieHeight (rounded halves to even). Dragging a side edge
// or a bottom corner moves the bottom, the top-left corner moves the top, and the top,
// top-right and bottom edges move the right side. A movie without a size changes
// nothing.
EdgeRect KeepAspectRatio(EdgeRect rect, ResizeEdge edge, const ChromeMargins& margins, std::int32_t movieWidth,
                         std::int32_t movieHeight);

// rect brought inside area (the screen's available part) keeping the movie's proportions:
// a window taller or wider than the area shrinks to it (its other side following the
// movie's shape), then moves up or left (down or right) until it lies inside. A rect
// that fits is returned unchanged.
EdgeRect FitInside(EdgeRect rect, const EdgeRect& area, const ChromeMargins& margins, std::int32_t movieWidth,
                   std::int32_t movieHeight);

}  // namespace vantrel::ui
