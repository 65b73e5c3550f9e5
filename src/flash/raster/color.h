// Colour maths of the renderer: premultiplied 8-bit pixels in QImage's
// ARGB32_Premultiplied layout and colour transforms in the player's fixed-point form
// (multipliers in 8.8, additions in whole steps, clamped per channel).
#pragma once

#include <algorithm>
#include <cstdint>

#include "flash/swf/types.h"

namespace vantrel::flash::render {

using Pixel = std::uint32_t;  // 0xAARRGGBB, premultiplied

constexpr std::uint32_t Alpha(Pixel p) { return p >> 24; }
constexpr std::uint32_t Red(Pixel p) { return (p >> 16) & 0xff; }
constexpr std::uint32_t Green(Pixel p) { return (p >> 8) & 0xff; }
constexpr std::uint32_t Blue(Pixel p) { return p & 0xff; }
constexpr Pixel Pack(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return (a << 24) | (r << 16) | (g << 8) | b;
}

// x / 255 rounded to nearest, exact for x in 0..65535.
constexpr std::uint32_t Div255(std::uint32_t x) { return (x + 128 + ((x + 128) >> 8)) >> 8; }

// The premultiplied pixel of a straight colour.
constexpr Pixel Premultiply(const Rgba& c) {
  return Pack(c.a, Div255(c.r * c.a), Div255(c.g * c.a), Div255(c.b * c.a));
}

// The straight colour of a premultiplied pixel.
Rgba Unpremultiply(Pixel p);

// Source over destination, both premultiplied.
constexpr Pixel SourceOver(Pixel src, Pixel dst) {
  const std::uint32_t sa = Alpha(src);
  if (sa == 255) return src;
  if (sa == 0 && src == 0) return dst;
  const std::uint32_t inv = 255 - sa;
  return Pack(std::min<std::uint32_t>(255, sa + Div255(Alpha(dst) * inv)),
              std::min<std::uint32_t>(255, Red(src) + Div255(Red(dst) * inv)),
              std::min<std::uint32_t>(255, Green(src) + Div255(Green(dst) * inv)),
              std::min<std::uint32_t>(255, Blue(src) + Div255(Blue(dst) * inv)));
}

// A colour transform as the player applies it: channel * mul + add, rounded down and
// clamped to 0..255, on straight (not premultiplied) colour. Multipliers are kept in
// 16.16 so the 8.8 values of movies come out exact and script values (fractions such
// as 0.3) lose nothing that shows in 8 bits.
struct FixedColorTransform {
  std::int64_t mul[4] = {65536, 65536, 65536, 65536};  // r, g, b, a in 16.16
  std::int32_t add[4] = {0, 0, 0, 0};

  static FixedColorTransform From(const ColorTransform& t);
  bool IsIdentity() const;
  bool operator==(const FixedColorTransform&) const = default;
  Rgba Apply(const Rgba& c) const;
  // The transform of a premultiplied pixel (unpremultiplied, transformed, premultiplied).
  Pixel ApplyPremultiplied(Pixel p) const;
};

}  // namespace vantrel::flash::render
