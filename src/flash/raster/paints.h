// Gradient and bitmap fills for the rasterizer: each pixel centre is mapped back into
// the fill's own space (the gradient square or the bitmap's pixels).
#pragma once

#include <QImage>
#include <QTransform>
#include <array>

#include "flash/raster/color.h"
#include "flash/raster/rasterizer.h"

namespace vantrel::flash::render {

enum class GradientShape { Linear, Radial, Focal };
enum class GradientSpread { Pad, Reflect, Repeat };

// A gradient through its 256-entry table of premultiplied colours. toDevice maps the
// gradient square (-16384..16384 twips on both axes) to device pixels.
class GradientPaint : public Paint {
 public:
  GradientPaint(const std::array<Pixel, 256>& table, const QTransform& toDevice, GradientShape shape,
                GradientSpread spread, double focalPoint);
  void Shade(int y, int x0, int x1, Pixel* out) const override;
  bool IsSolid(Pixel* color) const override;

 private:
  int Index(double t) const;
  std::array<Pixel, 256> table_;
  QTransform toGradient_;
  bool invertible_ = true;
  GradientShape shape_;
  GradientSpread spread_;
  double focal_;
};

// A bitmap (premultiplied pixels) placed by toDevice (bitmap pixels to device pixels),
// repeating or clamped at its edges, sampled nearest or bilinear, with a colour
// transform applied to every sampled pixel.
class BitmapPaint : public Paint {
 public:
  BitmapPaint(const QImage& image, const QTransform& toDevice, bool repeat, bool smooth,
              const FixedColorTransform& colors);
  void Shade(int y, int x0, int x1, Pixel* out) const override;

 private:
  Pixel Nearest(double u, double v) const;
  Pixel Bilinear(double u, double v) const;
  Pixel At(int x, int y) const;
  QImage image_;
  QTransform toBitmap_;
  bool invertible_ = true;
  bool repeat_;
  bool smooth_;
  FixedColorTransform colors_;
  bool identity_;
};

}  // namespace vantrel::flash::render
