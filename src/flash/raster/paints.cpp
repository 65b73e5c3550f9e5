#include "flash/raster/paints.h"

#include <cmath>

namespace vantrel::flash::render {
namespace {

constexpr double kHalfSquare = 16384.0;

int Wrap(int v, int size) {
  const int r = v % size;
  return r < 0 ? r + size : r;
}

}  // namespace

GradientPaint::GradientPaint(const std::array<Pixel, 256>& table, const QTransform& toDevice, GradientShape shape,
                             GradientSpread spread, double focalPoint)
    : table_(table), shape_(shape), spread_(spread), focal_(std::clamp(focalPoint, -0.98, 0.98)) {
  toGradient_ = toDevice.inverted(&invertible_);
}

bool GradientPaint::IsSolid(Pixel* color) const {
  if (invertible_) return false;
  // A gradient squeezed to nothing shows its last colour.
  *color = table_[255];
  return true;
}

int GradientPaint::Index(double t) const {
  double position = t * 256.0;
  if (!std::isfinite(position)) return 255;
  switch (spread_) {
    case GradientSpread::Pad:
      break;
    case GradientSpread::Repeat:
      position = std::fmod(position, 256.0);
      if (position < 0) position += 256.0;
      break;
    case GradientSpread::Reflect:
      position = std::fmod(position, 512.0);
      if (position < 0) position += 512.0;
      if (position >= 256.0) position = 511.999 - position;
      break;
  }
  return static_cast<int>(std::clamp(position, 0.0, 255.0));
}

void GradientPaint::Shade(int y, int x0, int x1, Pixel* out) const {
  const double cy = y + 0.5;
  double gx = toGradient_.m11() * (x0 + 0.5) + toGradient_.m21() * cy + toGradient_.dx();
  double gy = toGradient_.m12() * (x0 + 0.5) + toGradient_.m22() * cy + toGradient_.dy();
  const double stepX = toGradient_.m11(), stepY = toGradient_.m12();
  const double focalX = focal_ * kHalfSquare;
  for (int x = x0; x < x1; ++x, gx += stepX, gy += stepY) {
    double t = 0;
    switch (shape_) {
      case GradientShape::Linear:
        t = (gx + kHalfSquare) / (2 * kHalfSquare);
        break;
      case GradientShape::Radial:
        t = std::sqrt(gx * gx + gy * gy) / kHalfSquare;
        break;
      case GradientShape::Focal: {
        // t is how far the point lies along the ray from the focal point to the circle.
        const double dx = gx - focalX, dy = gy;
        const double dd = dx * dx + dy * dy;
        if (dd == 0) break;
        const double fd = focalX * dx;
        const double c = focalX * focalX - kHalfSquare * kHalfSquare;
        const double s = (-fd + std::sqrt(std::max(0.0, fd * fd - dd * c))) / dd;
        t = s > 0 ? 1 / s : 1;
        break;
      }
    }
    *out++ = table_[Index(t)];
  }
}

BitmapPaint::BitmapPaint(const QImage& image, const QTransform& toDevice, bool repeat, bool smooth,
                         const FixedColorTransform& colors)
    : image_(image.format() == QImage::Format_ARGB32_Premultiplied
                 ? image
                 : image.convertToFormat(QImage::Format_ARGB32_Premultiplied)),
      repeat_(repeat),
      smooth_(smooth),
      colors_(colors),
      identity_(colors.IsIdentity()) {
  toBitmap_ = toDevice.inverted(&invertible_);
}

Pixel BitmapPaint::At(int x, int y) const {
  if (repeat_) {
    x = Wrap(x, image_.width());
    y = Wrap(y, image_.height());
  } else {
    x = std::clamp(x, 0, image_.width() - 1);
    y = std::clamp(y, 0, image_.height() - 1);
  }
  return reinterpret_cast<const Pixel*>(image_.constScanLine(y))[x];
}

Pixel BitmapPaint::Nearest(double u, double v) const {
  return At(static_cast<int>(std::floor(u)), static_cast<int>(std::floor(v)));
}

Pixel BitmapPaint::Bilinear(double u, double v) const {
  u -= 0.5;
  v -= 0.5;
  const double fu = std::floor(u), fv = std::floor(v);
  const int x = static_cast<int>(fu), y = static_cast<int>(fv);
  const auto wx = static_cast<std::uint32_t>((u - fu) * 256), wy = static_cast<std::uint32_t>((v - fv) * 256);
  const Pixel p00 = At(x, y), p10 = At(x + 1, y), p01 = At(x, y + 1), p11 = At(x + 1, y + 1);
  const auto mix = [&](int shift) {
    const std::uint32_t top = ((p00 >> shift) & 0xff) * (256 - wx) + ((p10 >> shift) & 0xff) * wx;
    const std::uint32_t bottom = ((p01 >> shift) & 0xff) * (256 - wx) + ((p11 >> shift) & 0xff) * wx;
    return ((top * (256 - wy) + bottom * wy) + (1u << 15)) >> 16;
  };
  return Pack(mix(24), mix(16), mix(8), mix(0));
}

void BitmapPaint::Shade(int y, int x0, int x1, Pixel* out) const {
  if (!invertible_ || image_.isNull()) {
    std::fill(out, out + (x1 - x0), 0);
    return;
  }
  const double cy = y + 0.5;
  double u = toBitmap_.m11() * (x0 + 0.5) + toBitmap_.m21() * cy + toBitmap_.dx();
  double v = toBitmap_.m12() * (x0 + 0.5) + toBitmap_.m22() * cy + toBitmap_.dy();
  const double stepU = toBitmap_.m11(), stepV = toBitmap_.m12();
  for (int x = x0; x < x1; ++x, u += stepU, v += stepV) {
    // Coordinates far outside the bitmap only repeat; keep them small enough for int.
    const double su = std::clamp(u, -1e9, 1e9), sv = std::clamp(v, -1e9, 1e9);
    const Pixel p = smooth_ ? Bilinear(su, sv) : Nearest(su, sv);
    *out++ = identity_ ? p : colors_.ApplyPremultiplied(p);
  }
}

}  // namespace vantrel::flash::render
