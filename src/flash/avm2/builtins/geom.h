// flash.geom values as the display classes read and make them.
#pragma once

#include "flash/avm2/machine.h"
#include "flash/swf/types.h"

namespace vantrel::flash::avm2 {

struct GeomMatrix {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
};
struct GeomColor {
  double mul[4] = {1, 1, 1, 1};  // red, green, blue, alpha
  double add[4] = {0, 0, 0, 0};
};

// Each reads a value of its class or throws the TypeError of a failed coercion.
GeomMatrix MatrixOf(Machine& machine, const Value& matrix);
GeomColor ColorOf(Machine& machine, const Value& transform);
// A ColorTransform as the renderer applies it.
ColorTransform ColorTransformOf(Machine& machine, const Value& transform);
bool PointOf(Machine& machine, const Value& point, double& x, double& y);
Value NewMatrix(Machine& machine, const GeomMatrix& matrix);
Value NewColorTransform(Machine& machine, const GeomColor& color);
Value NewRectangle(Machine& machine, double x, double y, double width, double height);
Value NewPoint(Machine& machine, double x, double y);
void InstallGeom(Machine& machine);

}  // namespace vantrel::flash::avm2
