// Nine-slice scaling: an object with a grid keeps the corners of its shapes at their own
// size when it is scaled, stretches the edges along them and the middle both ways.
#pragma once

#include <QPointF>
#include <QRectF>
#include <QTransform>
#include <optional>

#include "flash/swf/types.h"

namespace vantrel::flash {

class DisplayObject;

class GridSlicing {
 public:
  // How object slices its shapes at its current matrix; nothing when it scales them
  // normally: no grid, a grid not strictly inside its bounds, or a matrix that turns,
  // skews or flips it.
  static std::optional<GridSlicing> Of(const DisplayObject& object);
  // Builds the slicing of content bounds by grid (twips) under scale (sx, sy > 0).
  GridSlicing(const QRectF& bounds, const QRectF& grid, double sx, double sy);

  // A point of the object's space to where it shows, still in the object's space but
  // scaled (the object is then drawn without its own scale), and back.
  QPointF Map(QPointF p) const { return {x_.Map(p.x()), y_.Map(p.y())}; }
  QPointF Unmap(QPointF p) const { return {x_.Unmap(p.x()), y_.Unmap(p.y())}; }
  // The scale the slicing takes out of the object's transform.
  QTransform Scale() const { return QTransform::fromScale(x_.scale, y_.scale); }

 private:
  struct Axis {
    double low = 0, gridLow = 0, gridHigh = 0, high = 0, scale = 1;
    double Map(double v) const;
    double Unmap(double v) const;
  };
  Axis x_, y_;
};

// The transform from the object's space to where it draws under parent (stage pixels or
// twips), keeping the object's scale out when it slices: its shapes' points go through
// GridSlicing::Map first.
QTransform UnscaledTransform(const GridSlicing& slicing, const QTransform& full);

}  // namespace vantrel::flash
