#include "flash/display/scale_grid.h"

#include <cmath>

#include "flash/display/display_object.h"

namespace vantrel::flash {

namespace {

// The player still slices an object whose matrix is turned or skewed by less than this (an
// authoring tool stores "upright" matrices to 1/65536).
constexpr double kSkewTolerance = 1.0 / 4096;

}  // namespace

std::optional<GridSlicing> GridSlicing::Of(const DisplayObject& object) {
  if (!object.scale9Grid) return std::nullopt;
  const Matrix& m = object.GetMatrix();
  if (!(m.a > 0) || !(m.d > 0) || std::abs(m.b) > kSkewTolerance || std::abs(m.c) > kSkewTolerance)
    return std::nullopt;
  const QRectF bounds = object.LocalBounds();
  const QRectF& grid = *object.scale9Grid;
  if (bounds.isNull() || !(grid.left() > bounds.left()) || !(grid.right() < bounds.right()) ||
      !(grid.top() > bounds.top()) || !(grid.bottom() < bounds.bottom()) || grid.width() < 0 || grid.height() < 0)
    return std::nullopt;
  return GridSlicing(bounds, grid, m.a, m.d);
}

GridSlicing::GridSlicing(const QRectF& bounds, const QRectF& grid, double sx, double sy)
    : x_{bounds.left(), grid.left(), grid.right(), bounds.right(), sx},
      y_{bounds.top(), grid.top(), grid.bottom(), bounds.bottom(), sy} {}

// The object spans low..high scaled to (high - low) * scale. The parts before gridLow and
// after gridHigh keep their size and the middle takes what is left; when the scaled span
// is shorter than the two ends, the ends shrink to fit and the middle has no width.
double GridSlicing::Axis::Map(double v) const {
  const double start = low * scale, span = (high - low) * scale;
  const double before = gridLow - low, after = high - gridHigh;
  if (before + after >= span) {
    const double shrink = span / (before + after);
    if (v <= gridLow) return start + (v - low) * shrink;
    if (v >= gridHigh) return start + span - (high - v) * shrink;
    return start + before * shrink;
  }
  if (v <= gridLow) return start + (v - low);
  if (v >= gridHigh) return start + span - (high - v);
  const double middle = gridHigh - gridLow;
  return start + before + (v - gridLow) * (span - before - after) / middle;
}

double GridSlicing::Axis::Unmap(double v) const {
  const double start = low * scale, span = (high - low) * scale;
  const double before = gridLow - low, after = high - gridHigh;
  if (before + after >= span) {
    const double shrink = span / (before + after);
    if (!(shrink > 0)) return low;
    if (v <= start + before * shrink) return low + (v - start) / shrink;
    return high - (start + span - v) / shrink;
  }
  if (v <= start + before) return low + (v - start);
  if (v >= start + span - after) return high - (start + span - v);
  const double stretched = span - before - after;
  return gridLow + (v - start - before) * (gridHigh - gridLow) / stretched;
}

QTransform UnscaledTransform(const GridSlicing& slicing, const QTransform& full) {
  return slicing.Scale().inverted() * full;
}

}  // namespace vantrel::flash
