#include "ui/aspect_ratio.h"

#include <algorithm>
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

EdgeRect FitInside(EdgeRect r, const EdgeRect& area, const ChromeMargins& m, std::int32_t w, std::int32_t h) {
  const std::int32_t areaWidth = area.right - area.left;
  const std::int32_t areaHeight = area.bottom - area.top;
  if (areaWidth <= 0 || areaHeight <= 0) return r;
  if (w > 0 && h > 0) {
    if (r.bottom - r.top > areaHeight) {
      r.bottom = r.top + areaHeight;
      r = KeepAspectRatio(r, ResizeEdge::Bottom, m, w, h);
    }
    if (r.right - r.left > areaWidth) {
      r.right = r.left + areaWidth;
      r = KeepAspectRatio(r, ResizeEdge::Right, m, w, h);
    }
  } else {
    r.bottom = r.top + std::min(r.bottom - r.top, areaHeight);
    r.right = r.left + std::min(r.right - r.left, areaWidth);
  }
  const auto shift = [](std::int32_t& low, std::int32_t& high, std::int32_t areaLow, std::int32_t areaHigh) {
    std::int32_t by = 0;
    if (high > areaHigh) by = areaHigh - high;
    if (low + by < areaLow) by = areaLow - low;
    low += by;
    high += by;
  };
  shift(r.left, r.right, area.left, area.right);
  shift(r.top, r.bottom, area.top, area.bottom);
  return r;
}

}  // namespace vantrel::ui
