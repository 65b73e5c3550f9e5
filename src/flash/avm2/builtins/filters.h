// flash.filters for ActionScript 3: what other classes need of a filter object.
#pragma once

#include "flash/avm2/object.h"
#include "flash/swf/filter.h"

namespace vantrel::flash::avm2 {

// The drawing parameters of a filter object; false for anything else (and for a
// displacement map, which draws nothing).
bool FilterParamsOf(const Value& filter, FilterParams& params);

}  // namespace vantrel::flash::avm2
