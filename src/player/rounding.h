// Number rules shared by the player: rounding halves to even and the lenient decimal
// reading used for movie command arguments and movie variables.
#pragma once

#include <cstdint>
#include <string_view>

namespace vantrel::player {

// x rounded to the nearest whole number, halves to the even neighbour (2.5 -> 2,
// 3.5 -> 4). Values beyond the 32-bit range are held at its ends; NaN gives 0.
std::int32_t RoundHalfEven(double x);

// The decimal number at the start of text (leading blanks skipped, optional sign,
// digits with a point or a comma as the decimal separator, optional exponent).
// Text that does not start with a number reads as 0.
double ReadDecimal(std::string_view text);

}  // namespace vantrel::player
