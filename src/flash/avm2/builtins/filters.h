// flash.filters for ActionScript 3: what other classes need of a filter object.
#pragma once

#include "flash/avm2/object.h"
#include "flash/render/bitmap_ops.h"
#include "flash/swf/filter.h"

namespace vantrel::flash::avm2 {

// The drawing parameters of a filter object; false for anything else (and for a
// displacement map, which draws nothing).
bool FilterParamsOf(const Value& filter, FilterParams& params);
// The displacement of a DisplacementMapFilter object (its map, null when it has none or
// the map was disposed of); false for anything else.
bool DisplacementOf(const Value& filter, Displacement& displacement);

}  // namespace vantrel::flash::avm2
