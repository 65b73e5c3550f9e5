// The value types of the movie model: rectangles, matrices, colour transforms and
// colours, as SWF records hold them. The byte reader makes them; everything above uses them.
#pragma once

#include <cstdint>

namespace vantrel::flash {

struct Rect {  // twips
  std::int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
  std::int32_t Width() const { return xMax - xMin; }
  std::int32_t Height() const { return yMax - yMin; }
};

// x' = a*x + c*y + tx ; y' = b*x + d*y + ty (tx, ty in twips)
struct Matrix {
  double a = 1, b = 0, c = 0, d = 1;
  double tx = 0, ty = 0;
  Matrix operator*(const Matrix& inner) const;  // this applied after inner
  bool IsIdentity() const { return a == 1 && b == 0 && c == 0 && d == 1 && tx == 0 && ty == 0; }
};

// Colour transform: channel' = channel * mul + add (add in 0..255 units).
struct ColorTransform {
  double mulR = 1, mulG = 1, mulB = 1, mulA = 1;
  double addR = 0, addG = 0, addB = 0, addA = 0;
  ColorTransform operator*(const ColorTransform& inner) const;  // this applied after inner
  bool IsIdentity() const {
    return mulR == 1 && mulG == 1 && mulB == 1 && mulA == 1 && addR == 0 && addG == 0 && addB == 0 && addA == 0;
  }
};

struct Rgba {
  std::uint8_t r = 0, g = 0, b = 0, a = 255;
  bool operator==(const Rgba&) const = default;
};

}  // namespace vantrel::flash
