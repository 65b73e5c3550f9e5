#include "ui/aspect_ratio.h"

#include <cmath>

namespace vantrel::ui {

namespace {
std::int32_t RoundEven(double value) { return static_cast<std::int32_t>(std::nearbyint(value)); }
}  // namespace

EdgeRect KeepAspectRatio(EdgeRect r, ResizeEdge edge, const ChromeMargins& m, std::int32_t w, std::int32_t h) {
  if (w <= 0 || h <= 0) return r;
  const double widthInside = r.right - r.left - m.left - m.right;
  const double heightInside = r.bottom - r.top - m.top - m.bottom;
  switch (edge) {
    case ResizeEdge::Left:
    case ResizeEdge::Right:
    case ResizeEdge::BottomLeft:
    case ResizeEdge::BottomRight:
      r.bottom = r.top + RoundEven(widthInside * h / w) + m.top + m.bottom;
      break;
    case ResizeEdge::TopLeft:
      r.top = r.bottom - RoundEven(widthInside * h / w) - m.top - m.bottom;
      break;
    case ResizeEdge::Top:
    case ResizeEdge::TopRight:
    case ResizeEdge::Bottom:
      r.right = r.left + RoundEven(heightInside * w / h) + m.left + m.right;
      break;
  }
  return r;
}

}  // namespace vantrel::ui
