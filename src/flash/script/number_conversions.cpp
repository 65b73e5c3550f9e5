#include "flash/script/number_conversions.h"

#include <algorithm>
#include <cmath>

namespace vantrel::flash::script {

std::int32_t ToInt32(double number) {
  if (std::isnan(number) || std::isinf(number)) return 0;
  if (number >= -2147483648.0 && number <= 2147483647.0) return static_cast<std::int32_t>(number);
  const double wrapped = std::fmod(std::trunc(number), 4294967296.0);
  const auto unsignedValue =
      static_cast<std::uint32_t>(static_cast<std::int64_t>(wrapped < 0 ? wrapped + 4294967296.0 : wrapped));
  return static_cast<std::int32_t>(unsignedValue);
}

std::uint32_t ToUint32(double number) { return static_cast<std::uint32_t>(ToInt32(number)); }

std::int32_t SaturatedInt32(double number) {
  if (std::isnan(number)) return 0;
  return static_cast<std::int32_t>(std::clamp(number, -2147483648.0, 2147483647.0));
}

}  // namespace vantrel::flash::script
