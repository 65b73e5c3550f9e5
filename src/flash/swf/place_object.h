// Readers of the PlaceObject tags and of the filter lists they and button records carry.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "flash/swf/movie.h"
#include "flash/swf/stream.h"

namespace vantrel::flash {

// Parses PlaceObject (4), PlaceObject2 (26) or PlaceObject3 (70) into command. Returns
// false when the tag is cut short before its depth and flags.
bool ParsePlaceObject(std::uint16_t tagCode, std::span<const std::uint8_t> body, int swfVersion,
                      PlaceCommand& command);

// Reads a filter list (count byte, then filters). Stops at the first unknown filter type
// or at the end of the data.
std::vector<Filter> ReadFilterList(SwfStream& in);

}  // namespace vantrel::flash
