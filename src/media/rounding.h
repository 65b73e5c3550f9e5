// Number conversions with the program's rounding: to the nearest integer, halves to even.
#pragma once

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace vantrel::media {

// value rounded to the nearest whole number, halves to even (2.5 -> 2, 3.5 -> 4).
inline double RoundHalfEven(double value) { return std::nearbyint(value); }

// value rounded half to even and converted to T; nullopt when it does not fit (or is
// not a number), which the readers treat as an overflow.
template <typename T>
std::optional<T> RoundTo(double value) {
  const double rounded = RoundHalfEven(value);
  if (!(rounded >= static_cast<double>(std::numeric_limits<T>::min()) &&
        rounded <= static_cast<double>(std::numeric_limits<T>::max())))
    return std::nullopt;
  return static_cast<T>(rounded);
}

// value rounded to digits decimal places, halves to even on the scaled value.
inline double RoundDecimals(double value, int digits) {
  const double scale = std::pow(10.0, digits);
  return RoundHalfEven(value * scale) / scale;
}

}  // namespace vantrel::media
