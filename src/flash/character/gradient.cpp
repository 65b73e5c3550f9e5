// Gradient fills: SWF gradients live in a square from -16384 to 16384 twips that the
// fill matrix places in the shape; ratios 0..255 run across it (linear) or out from the
// centre (radial and focal).
#include <QLinearGradient>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>

#include "flash/character/fill_paint.h"
#include "flash/character/style.h"

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

// The player fills a 256-entry colour table, walking the stops forwards only: entry p
// takes the first segment whose end ratio is not below p. Stops with equal ratios make
// a hard edge, ratios that go backwards skip their segment, entries past the last stop
// take its colour. The table is handed to Qt as the stops of the same piecewise-linear
// ramp.
QGradientStops MakeStops(const Gradient& gradient, const ColorTransform& transform) {
  QGradientStops stops;
  const std::size_t n = gradient.stops.size();
  if (n == 0) return stops;
  std::vector<QColor> colors;
  for (const auto& stop : gradient.stops) colors.push_back(TransformColor(stop.color, transform));
  const bool linearLight = gradient.interpolation == InterpolationMode::LinearRgb;
  const auto mix = [&](std::size_t k, double t) {
    if (t <= 0) return colors[k];
    if (t >= 1) return colors[k + 1];
    if (linearLight) return MixLinear(colors[k], colors[k + 1], t);
    const QColor& a = colors[k];
    const QColor& b = colors[k + 1];
    const auto channel = [t](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * t)); };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()), channel(a.blue(), b.blue()),
                  channel(a.alpha(), b.alpha()));
  };
  const auto colorAt = [&](int p, std::size_t k) {
    if (k + 1 >= n) return colors[n - 1];
    const int a = gradient.stops[k].ratio;
    const int b = gradient.stops[k + 1].ratio;
    const double t = b <= a ? (p >= a ? 1.0 : 0.0) : std::clamp(static_cast<double>(p - a) / (b - a), 0.0, 1.0);
    return mix(k, t);
  };
  const auto add = [&](int p, std::size_t k) {
    const double position = p / 255.0;
    if (!stops.isEmpty() && stops.back().first >= position) return;
    stops.append({position, colorAt(p, k)});
  };
  std::size_t k = 0;
  int rangeStart = 0;
  for (int p = 0; p <= 256; ++p) {
    std::size_t next = k;
    if (p <= 255) {
      while (next + 1 < n && p > gradient.stops[next + 1].ratio) ++next;
    }
    if (p == 256 || next != k) {
      // Entries rangeStart..p-1 use segment k: linear between its stops, flat outside.
      const int rangeEnd = p - 1;
      add(rangeStart, k);
      if (k + 1 < n) {
        const int a = gradient.stops[k].ratio;
        const int b = gradient.stops[k + 1].ratio;
        const int from = std::max(rangeStart, std::min(a, b));
        const int to = std::min(rangeEnd, b);
        if (b <= a && a - 1 > rangeStart && a - 1 < rangeEnd) add(a - 1, k);  // hard edge at a
        if (from > rangeStart && from < rangeEnd) add(from, k);
        if (linearLight && b > a) {
          for (int i = 1; i < kLinearRgbSteps; ++i) {
            const int q = from + (to - from) * i / kLinearRgbSteps;
            if (q > rangeStart && q < rangeEnd) add(q, k);
          }
        }
        if (to > rangeStart && to < rangeEnd) add(to, k);
      }
      add(rangeEnd, k);
      k = next;
      rangeStart = p;
    }
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

namespace render {

std::array<Pixel, 256> GradientTable(const Gradient& gradient, const FixedColorTransform& transform) {
  std::array<Pixel, 256> table{};
  const std::size_t n = gradient.stops.size();
  if (n == 0) return table;
  std::vector<Rgba> colors;
  colors.reserve(n);
  for (const auto& stop : gradient.stops) colors.push_back(transform.Apply(stop.color));
  const bool linearLight = gradient.interpolation == InterpolationMode::LinearRgb;
  // In linear light the player keeps each channel in 8 bits, rounded down, and even
  // the stops' own colours make the trip (sRGB 20 comes back as 13).
  const auto toLight = [](int x) { return static_cast<int>(ToLinear(x) * 255.0); };
  const auto fromLight = [](int v) { return static_cast<std::uint8_t>(std::lround(FromLinear(v / 255.0))); };
  const std::vector<Rgba> original = colors;
  if (linearLight) {
    for (Rgba& c : colors) c = Rgba{fromLight(toLight(c.r)), fromLight(toLight(c.g)), fromLight(toLight(c.b)), c.a};
  }
  const auto mix = [&](std::size_t k, int p) -> Rgba {
    if (k + 1 >= n) return colors[n - 1];
    const int a = gradient.stops[k].ratio;
    const int b = gradient.stops[k + 1].ratio;
    if (b <= a) return p >= a ? colors[k + 1] : colors[k];
    if (p <= a) return colors[k];
    if (p >= b) return colors[k + 1];
    const Rgba& from = colors[k];
    const Rgba& to = colors[k + 1];
    const int span = b - a, at = p - a;
    const auto channel = [&](int x, int y) {
      return static_cast<std::uint8_t>(x + ((y - x) * at + (y >= x ? span / 2 : -span / 2)) / span);
    };
    if (linearLight) {
      const Rgba& a0 = original[k];
      const Rgba& a1 = original[k + 1];
      const auto light = [&](int x, int y) {
        const int lx = toLight(x), ly = toLight(y);
        return fromLight(lx + ((ly - lx) * at + (ly >= lx ? span / 2 : -span / 2)) / span);
      };
      return Rgba{light(a0.r, a1.r), light(a0.g, a1.g), light(a0.b, a1.b), channel(from.a, to.a)};
    }
    return Rgba{channel(from.r, to.r), channel(from.g, to.g), channel(from.b, to.b), channel(from.a, to.a)};
  };
  std::size_t k = 0;
  for (int p = 0; p < 256; ++p) {
    while (k + 1 < n && p > gradient.stops[k + 1].ratio) ++k;
    table[p] = Premultiply(mix(k, p));
  }
  return table;
}

}  // namespace render
}  // namespace vantrel::flash
