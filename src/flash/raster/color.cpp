#include "flash/raster/color.h"

#include <cmath>

namespace vantrel::flash::render {
namespace {

std::int64_t ToFixed(double multiplier) {
  if (!std::isfinite(multiplier)) return 0;
  return static_cast<std::int64_t>(std::llround(std::clamp(multiplier, -32768.0, 32767.0) * 65536.0));
}

std::int32_t ToAdd(double add) {
  if (!std::isfinite(add)) return 0;
  return static_cast<std::int32_t>(std::clamp(std::floor(add), -32768.0, 32767.0));
}

std::uint8_t Channel(std::int64_t c, std::int64_t mul, std::int32_t add) {
  return static_cast<std::uint8_t>(std::clamp<std::int64_t>(((c * mul) >> 16) + add, 0, 255));
}

}  // namespace

Rgba Unpremultiply(Pixel p) {
  const std::uint32_t a = Alpha(p);
  if (a == 0) return Rgba{0, 0, 0, 0};
  if (a == 255) return Rgba{static_cast<std::uint8_t>(Red(p)), static_cast<std::uint8_t>(Green(p)),
                            static_cast<std::uint8_t>(Blue(p)), 255};
  const auto un = [a](std::uint32_t c) { return static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (c * 255 + a / 2) / a)); };
  return Rgba{un(Red(p)), un(Green(p)), un(Blue(p)), static_cast<std::uint8_t>(a)};
}

FixedColorTransform FixedColorTransform::From(const ColorTransform& t) {
  FixedColorTransform f;
  f.mul[0] = ToFixed(t.mulR);
  f.mul[1] = ToFixed(t.mulG);
  f.mul[2] = ToFixed(t.mulB);
  f.mul[3] = ToFixed(t.mulA);
  f.add[0] = ToAdd(t.addR);
  f.add[1] = ToAdd(t.addG);
  f.add[2] = ToAdd(t.addB);
  f.add[3] = ToAdd(t.addA);
  return f;
}

bool FixedColorTransform::IsIdentity() const {
  for (int i = 0; i < 4; ++i) {
    if (mul[i] != 65536 || add[i] != 0) return false;
  }
  return true;
}

Rgba FixedColorTransform::Apply(const Rgba& c) const {
  return Rgba{Channel(c.r, mul[0], add[0]), Channel(c.g, mul[1], add[1]), Channel(c.b, mul[2], add[2]),
              Channel(c.a, mul[3], add[3])};
}

Pixel FixedColorTransform::ApplyPremultiplied(Pixel p) const {
  return Premultiply(Apply(Unpremultiply(p)));
}

}  // namespace vantrel::flash::render
