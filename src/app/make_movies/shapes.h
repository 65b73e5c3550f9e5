// Outlines for the generated movies, in twips.
#pragma once

#include "app/make_movies/swf_builder.h"

namespace vantrel::make_movies {

std::vector<PathPoint> RectPath(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1);
// A rectangle with corners rounded by radius (quadratic curves).
std::vector<PathPoint> RoundedRectPath(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                                       std::int32_t radius);
// An ellipse of eight quadratic segments.
std::vector<PathPoint> EllipsePath(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry);
// A star with the given number of points, the first pointing up.
std::vector<PathPoint> StarPath(std::int32_t cx, std::int32_t cy, std::int32_t outer, std::int32_t inner, int points);
// A polygon from corner points.
std::vector<PathPoint> PolygonPath(std::initializer_list<std::pair<std::int32_t, std::int32_t>> corners);

Fill SolidFill(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255);
// A radial gradient centred on (cx, cy) reaching radius twips.
Fill RadialFill(std::int32_t cx, std::int32_t cy, std::int32_t radius, std::vector<GradientStop> stops);
// A linear gradient along the angle (radians) across length twips centred on (cx, cy).
Fill LinearFill(std::int32_t cx, std::int32_t cy, std::int32_t length, double angle, std::vector<GradientStop> stops);

}  // namespace vantrel::make_movies
