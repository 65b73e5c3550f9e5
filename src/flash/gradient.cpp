// Gradient fills: SWF gradients live in a square from -16384 to 16384 twips that the
// fill matrix places in the shape; ratios 0..255 run across it (linear) or out from the
// centre (radial and focal).
#include <QLinearGradient>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

#include "flash/style.h"

namespace vantrel::flash {
namespace {

constexpr double kHalfSquare = 16384.0;
// Stops added between two stops when colours blend in linear light; Qt blends in sRGB.
constexpr int kLinearRgbSteps = 8;

double ToLinear(double c) {
  c /= 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double FromLinear(double c) {
  const double v = c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
  return std::clamp(v * 255.0, 0.0, 255.0);
}

QColor MixLinear(const QColor& a, const QColor& b, double t) {
  const auto mix = [t](int x, int y) { return FromLinear(ToLinear(x) * (1 - t) + ToLinear(y) * t); };
  return QColor(static_cast<int>(std::lround(mix(a.red(), b.red()))),
                static_cast<int>(std::lround(mix(a.green(), b.green()))),
                static_cast<int>(std::lround(mix(a.blue(), b.blue()))),
                static_cast<int>(std::lround(a.alpha() * (1 - t) + b.alpha() * t)));
}

QGradientStops MakeStops(const Gradient& gradient, const ColorTransform& transform) {
  QGradientStops stops;
  if (gradient.stops.empty()) return stops;
  // Ratios that go backwards count as the previous ratio; equal ratios make a hard edge.
  double last = -1;
  QColor lastColor;
  for (const auto& stop : gradient.stops) {
    const QColor color = TransformColor(stop.color, transform);
    double position = std::max(stop.ratio / 255.0, std::max(last, 0.0));
    if (gradient.interpolation == InterpolationMode::LinearRgb && last >= 0 && position > last) {
      for (int i = 1; i < kLinearRgbSteps; ++i) {
        const double t = static_cast<double>(i) / kLinearRgbSteps;
        stops.append({last + (position - last) * t, MixLinear(lastColor, color, t)});
      }
    }
    if (last >= 0 && position <= last) position = std::min(1.0, last + 1e-6);
    if (!stops.isEmpty() && position <= stops.back().first) {
      // Already at 1.0: the later stop wins, as in the player.
      stops.back().second = color;
    } else {
      stops.append({position, color});
    }
    last = position;
    lastColor = color;
  }
  return stops;
}

QGradient::Spread ToSpread(SpreadMode mode) {
  switch (mode) {
    case SpreadMode::Reflect:
      return QGradient::ReflectSpread;
    case SpreadMode::Repeat:
      return QGradient::RepeatSpread;
    case SpreadMode::Pad:
      break;
  }
  return QGradient::PadSpread;
}

}  // namespace

QBrush MakeGradientBrush(const FillStyle& fill, const ColorTransform& transform) {
  const QGradientStops stops = MakeStops(fill.gradient, transform);
  if (stops.isEmpty()) return QBrush(Qt::NoBrush);
  if (stops.size() == 1) return QBrush(stops.front().second);
  QBrush brush;
  if (fill.type == FillType::LinearGradient) {
    QLinearGradient linear(-kHalfSquare, 0, kHalfSquare, 0);
    linear.setStops(stops);
    linear.setSpread(ToSpread(fill.gradient.spread));
    brush = QBrush(linear);
  } else {
    double focal = fill.type == FillType::FocalGradient ? std::clamp(fill.gradient.focalPoint, -0.98, 0.98) : 0.0;
    QRadialGradient radial(QPointF(0, 0), kHalfSquare, QPointF(focal * kHalfSquare, 0));
    radial.setStops(stops);
    radial.setSpread(ToSpread(fill.gradient.spread));
    brush = QBrush(radial);
  }
  brush.setTransform(ToQTransform(fill.matrix));
  return brush;
}

}  // namespace vantrel::flash
