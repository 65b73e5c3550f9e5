// Number conversions both script machines make the same way.
#pragma once

#include <cstdint>

namespace vantrel::flash::script {

// ToInt32 of ECMA-262: NaN and infinities give 0, others wrap modulo 2^32.
std::int32_t ToInt32(double number);
std::uint32_t ToUint32(double number);
// A number held to the int range: NaN is 0, fractions truncate, and what lies past either end
// stops there. The natives that take a character index or a count do this, not ToInt32's wrap.
std::int32_t SaturatedInt32(double number);

}  // namespace vantrel::flash::script
