// Whether a point falls on what a display object draws (hitTest with its shape flag,
// hitTestPoint, getObjectsUnderPoint): both script machines ask here.
#pragma once

#include <QPointF>

namespace vantrel::flash {

class DisplayObject;

// How the object asked about is taken: children are always hit only where they show
// (hidden ones never, those under a mask layer only inside it).
struct ShapeHitRules {
  bool children = true;  // false: the object's own content only
  // hitTest in ActionScript 1/2 hits a hidden clip (not its hidden children) and keeps a
  // mask set on it by script.
  bool hiddenObjectCounts = false;
  bool ownMaskCounts = false;
};

// True when the stage point (twips) lies on the object's own content (its shape, glyphs,
// field box or bitmap; a clip's drawing) or, with children, on what it holds (masks
// left out). Shapes under a nine-slice grid are hit where they show.
bool ShapeHit(const DisplayObject& object, QPointF stage, const ShapeHitRules& rules);
bool ShapeHit(const DisplayObject& object, QPointF stage, bool children = true);

}  // namespace vantrel::flash
