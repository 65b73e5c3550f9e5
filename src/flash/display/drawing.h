// The drawing API's shape: what scripts draw into a clip (moveTo, lineTo, curveTo, fills
// and lines), kept as a shape character the renderer draws under the clip's children.
// Both script machines build it through these functions.
#pragma once

#include <QPointF>
#include <QRectF>
#include <cstddef>
#include <cstdint>

#include "flash/character/shape.h"

namespace vantrel::flash {

class MovieClip;

class ScriptDrawing : public Shape {
 public:
  QPointF pen, fillStart;
  bool fillOpen = false;
  // The last op is the edge back to the fill's start that the player draws while a fill
  // is still open (a frame drawn before endFill shows the fill closed); the next op
  // replaces it.
  bool provisionalClose = false;
  std::uint32_t line = 0;
  // Widens the extent by p with margin (half the line's width) on each side.
  void Grow(QPointF p, double margin);
  // Half the current line's width in twips (0 without a line).
  double LineMargin() const;
  QRectF extent;
  bool hasExtent = false;
};

// Most ops one drawing keeps; later ones are dropped.
constexpr std::size_t kMaxDrawingOps = 1u << 20;

// The clip's drawing, made empty when create; null when there is none (or the clip holds
// a drawing of another kind).
ScriptDrawing* DrawingOf(MovieClip& clip, bool create);
void DropProvisionalClose(ScriptDrawing& d);
void AddProvisionalClose(ScriptDrawing& d);
// A straight edge (control null) or a quadratic curve from the pen to `to` (twips).
void AddEdge(ScriptDrawing& d, QPointF to, const QPointF* control);
// Closes an open fill back to where it started.
void CloseFill(ScriptDrawing& d);
// Switches fill (index into the fills, 0 none) and/or line (index into the lines).
void StyleOp(ScriptDrawing& d, bool setFill, std::uint32_t fill, bool setLine, std::uint32_t line);

}  // namespace vantrel::flash
