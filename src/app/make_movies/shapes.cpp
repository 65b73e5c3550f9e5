#include "app/make_movies/shapes.h"

#include <cmath>
#include <numbers>

namespace vantrel::make_movies {

namespace {
std::int32_t Round(double v) { return static_cast<std::int32_t>(std::lround(v)); }
}  // namespace

std::vector<PathPoint> RectPath(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1) {
  return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

std::vector<PathPoint> RoundedRectPath(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                                       std::int32_t radius) {
  const std::int32_t r = radius;
  return {
      {x0 + r, y0}, {x1 - r, y0}, {x1, y0, true}, {x1, y0 + r}, {x1, y1 - r}, {x1, y1, true},
      {x1 - r, y1}, {x0 + r, y1}, {x0, y1, true}, {x0, y1 - r}, {x0, y0 + r}, {x0, y0, true},
  };
}

std::vector<PathPoint> EllipsePath(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry) {
  std::vector<PathPoint> points;
  const double step = std::numbers::pi / 4;
  const double reach = 1.0 / std::cos(step / 2);  // control points sit outside the curve
  for (int k = 0; k < 8; ++k) {
    const double a = k * step;
    points.push_back({Round(cx + rx * std::cos(a)), Round(cy + ry * std::sin(a))});
    const double m = a + step / 2;
    points.push_back({Round(cx + rx * reach * std::cos(m)), Round(cy + ry * reach * std::sin(m)), true});
  }
  return points;
}

std::vector<PathPoint> StarPath(std::int32_t cx, std::int32_t cy, std::int32_t outer, std::int32_t inner, int points) {
  std::vector<PathPoint> result;
  for (int k = 0; k < points * 2; ++k) {
    const double a = -std::numbers::pi / 2 + k * std::numbers::pi / points;
    const double r = (k % 2 == 0) ? outer : inner;
    result.push_back({Round(cx + r * std::cos(a)), Round(cy + r * std::sin(a))});
  }
  return result;
}

std::vector<PathPoint> PolygonPath(std::initializer_list<std::pair<std::int32_t, std::int32_t>> corners) {
  std::vector<PathPoint> result;
  for (const auto& [x, y] : corners) result.push_back({x, y});
  return result;
}

Fill SolidFill(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
  Fill f;
  f.kind = Fill::Solid;
  f.colour = {r, g, b, a};
  return f;
}

Fill RadialFill(std::int32_t cx, std::int32_t cy, std::int32_t radius, std::vector<GradientStop> stops) {
  Fill f;
  f.kind = Fill::Radial;
  f.stops = std::move(stops);
  f.scaleX = f.scaleY = radius / 16384.0;
  f.centreX = cx;
  f.centreY = cy;
  return f;
}

Fill LinearFill(std::int32_t cx, std::int32_t cy, std::int32_t length, double angle, std::vector<GradientStop> stops) {
  Fill f;
  f.kind = Fill::Linear;
  f.stops = std::move(stops);
  f.scaleX = f.scaleY = length / 32768.0;
  f.rotation = angle;
  f.centreX = cx;
  f.centreY = cy;
  return f;
}

}  // namespace vantrel::make_movies
