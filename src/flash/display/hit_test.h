// Whether a point falls on what a display object draws (hitTest with its shape flag,
// hitTestPoint, getObjectsUnderPoint): both script machines ask here.
#pragma once

#include <QPointF>

namespace vantrel::flash {

class DisplayObject;

// True when the stage point (twips) lies on the object's own content (its shape, text or
// bitmap; a clip's drawing) or, with children, on what it holds (masks left out).
// Invisible objects are never hit; shapes under a nine-slice grid are hit where they show.
bool ShapeHit(const DisplayObject& object, QPointF stage, bool children = true);

}  // namespace vantrel::flash
