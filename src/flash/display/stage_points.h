// Points carried between a display object's space and the stage for localToGlobal and
// globalToLocal. The player keeps translations in whole twips: each matrix of the chain is
// joined with its translation rounded, the inverse's translation is rounded too, and the
// mapped point lands on a whole twip.
#pragma once

#include <QPointF>
#include <QRectF>

#include <optional>

#include "flash/swf/types.h"

namespace vantrel::flash {

class DisplayObject;

// outer applied after inner, the joined translation rounded to a whole twip.
Matrix JoinInTwips(const Matrix& outer, const Matrix& inner);

// The object's matrix joined with those of its parents up to its level, in twips.
Matrix ObjectToStageInTwips(const DisplayObject& object);

// The inverse with its translation rounded to a whole twip; nothing when the matrix
// squashes the plane (a zero scale).
std::optional<Matrix> InvertInTwips(const Matrix& m);

// The point (pixels) mapped from the object's space to the stage, or back; nothing when the
// object's matrix cannot be inverted.
QPointF ObjectPointToStage(const DisplayObject& object, QPointF point);
std::optional<QPointF> StagePointToObject(const DisplayObject& object, QPointF point);

// The box (twips) around what the object draws, seen through toSpace: each shape, text or
// bitmap box is carried through the whole chain of matrices down to it, so a clip holding
// a turned clip gets no wider than what that one draws. Null when the object draws nothing.
QRectF BoundsThrough(const DisplayObject& object, const Matrix& toSpace);

// getBounds: the object's own box, then that box carried into the space of another object
// (the stage of its level when space is null). Null when the object draws nothing.
QRectF BoundsInSpace(const DisplayObject& object, const DisplayObject* space);

}  // namespace vantrel::flash
