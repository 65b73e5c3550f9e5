// flash.filters on the script side, as other built-ins see it: the filter an object
// stands for (BitmapData.applyFilter), and a colour transform object's values.
#pragma once

#include "flash/avm1/machine.h"
#include "flash/render/bitmap_ops.h"
#include "flash/render/effects.h"

namespace vantrel::flash::avm1 {

// The drawing parameters of a filter object (BlurFilter, GlowFilter, ...); false for
// other values and for filters the renderer has no drawing for.
bool FilterParamsOf(MachineInterface& machine, const Value& value, FilterParams& params);
// The displacement of a DisplacementMapFilter object (its map's pixels, or none); false
// for other values.
bool DisplacementOf(const Value& value, Displacement& displacement);
// The values of a flash.geom.ColorTransform object; false (params untouched) for
// other values.
bool ColorTransformOf(const Value& value, ColorTransform& transform);

// MovieClip.transform (from flash.geom), once the clip prototype exists.
void InstallClipTransform(Runtime& rt);

}  // namespace vantrel::flash::avm1
