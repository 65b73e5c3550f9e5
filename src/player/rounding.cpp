#include "player/rounding.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace vantrel::player {

std::int32_t RoundHalfEven(double x) {
  if (std::isnan(x)) return 0;
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  constexpr double kMin = std::numeric_limits<std::int32_t>::min();
  if (x >= kMax) return std::numeric_limits<std::int32_t>::max();
  if (x <= kMin) return std::numeric_limits<std::int32_t>::min();
  double whole = std::floor(x);
  const double fraction = x - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  return static_cast<std::int32_t>(whole);
}

double ReadDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  // Copy the longest plausible number prefix, turning a comma into a point, so strtod
  // never reads past what we allow and never depends on the locale's separator.
  std::string number;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
  bool digits = false, separator = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      number += c;
      digits = true;
    } else if ((c == '.' || c == ',') && !separator) {
      number += '.';
      separator = true;
    } else {
      break;
    }
  }
  if (!digits) return 0.0;
  if (i + 1 < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (text[j] == '+' || text[j] == '-') exponent += text[j++];
    const std::size_t start = j;
    while (j < text.size() && text[j] >= '0' && text[j] <= '9' && j - start < 4) exponent += text[j++];
    if (j > start) number += exponent;
  }
  const double value = std::strtod(number.c_str(), nullptr);
  return std::isfinite(value) ? value : 0.0;
}

}  // namespace vantrel::player
