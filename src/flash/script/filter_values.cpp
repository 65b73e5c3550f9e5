#include "flash/script/filter_values.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "flash/script/number_conversions.h"

namespace vantrel::flash::script {

namespace {

double Clamp(double v, double low, double high) { return std::isnan(v) ? low : std::clamp(v, low, high); }

Rgba ColorOf(std::uint32_t rgb, double alpha) {
  return Rgba{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8), static_cast<std::uint8_t>(rgb),
              static_cast<std::uint8_t>(std::lround(Clamp(alpha, 0, 1) * 255))};
}

// The exact script values follow a record made by a script, after this mark.
constexpr std::uint8_t kExactMark[] = {'V', 'S', 'F', 1};
// The values before the gradient stops, the stops, then the matrix's size.
constexpr std::size_t kFixedValues = 22;
constexpr std::size_t kDisplacementValues = 7;

void PutDouble(std::vector<std::uint8_t>& out, double v) {
  std::uint8_t bytes[8];
  std::memcpy(bytes, &v, 8);
  out.insert(out.end(), bytes, bytes + 8);
}

std::vector<double> ExactValues(const FilterValues& f) {
  std::vector<double> v = {static_cast<double>(f.kind), f.distance, f.angle, f.blurX, f.blurY, f.strength,
                           static_cast<double>(f.quality), static_cast<double>(f.color),
                           static_cast<double>(f.shadowColor), f.alpha, f.shadowAlpha, f.inner ? 1.0 : 0.0,
                           f.knockout ? 1.0 : 0.0, f.hideObject ? 1.0 : 0.0, static_cast<double>(f.type),
                           static_cast<double>(f.count), static_cast<double>(f.matrixX),
                           static_cast<double>(f.matrixY), f.divisor, f.bias, f.preserveAlpha ? 1.0 : 0.0,
                           f.clamp ? 1.0 : 0.0};
  for (int i = 0; i < kMaxGradientStops; ++i) {
    v.push_back(f.colors[i]);
    v.push_back(f.alphas[i]);
    v.push_back(f.ratios[i]);
  }
  v.push_back(static_cast<double>(f.matrix.size()));
  v.insert(v.end(), f.matrix.begin(), f.matrix.end());
  if (f.kind == kDisplacementMapFilter) {
    v.insert(v.end(), {static_cast<double>(f.mapX), static_cast<double>(f.mapY), static_cast<double>(f.componentX),
                       static_cast<double>(f.componentY), f.scaleX, f.scaleY, static_cast<double>(f.mode)});
  }
  return v;
}

}  // namespace

const char* FilterClassName(int kind) {
  static constexpr const char* kNames[kFilterKinds] = {
      "DropShadowFilter",  "BlurFilter",        "GlowFilter",          "BevelFilter",          "GradientGlowFilter",
      "ConvolutionFilter", "ColorMatrixFilter", "GradientBevelFilter", "DisplacementMapFilter"};
  return kind >= 0 && kind < kFilterKinds ? kNames[kind] : "BitmapFilter";
}

const char* BevelTypeName(BevelType type) {
  switch (type) {
    case BevelType::Inner: return "inner";
    case BevelType::Outer: return "outer";
    default: return "full";
  }
}
BevelType BevelTypeByName(std::string_view name) {
  return name == "inner" ? BevelType::Inner : name == "outer" ? BevelType::Outer : BevelType::Full;
}
const char* MapModeName(MapMode mode) {
  switch (mode) {
    case MapMode::Clamp: return "clamp";
    case MapMode::Ignore: return "ignore";
    case MapMode::Color: return "color";
    default: return "wrap";
  }
}
MapMode MapModeByName(std::string_view name) {
  return name == "clamp" ? MapMode::Clamp : name == "ignore" ? MapMode::Ignore : name == "color" ? MapMode::Color : MapMode::Wrap;
}

FilterValues DefaultFilter(int kind) {
  FilterValues f;
  f.kind = kind;
  switch (kind) {
    case kGlowFilter:
      f.color = 0xff0000;
      f.blurX = f.blurY = 6;
      f.strength = 2;
      break;
    case kBevelFilter: f.color = 0xffffff; break;
    case kColorMatrixFilter: f.matrix = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0}; break;
    case kConvolutionFilter:
    case kDisplacementMapFilter: f.alpha = 0; break;
    default: break;
  }
  return f;
}

double FilterBlur(double v) { return Clamp(v, 0, 255); }
double FilterStrength(double v) { return Clamp(v, 0, 255); }
int FilterQuality(std::int32_t v) { return std::clamp(v, 0, 15); }
double FilterAlpha(double v) { return std::floor(Clamp(v, 0, 1) * 255) / 255; }
double GradientAlpha(double v) { return std::isnan(v) ? 1 : std::round(std::clamp(v, 0.0, 1.0) * 255) / 255; }
int GradientRatio(double v) { return std::isnan(v) ? 0 : static_cast<int>(std::clamp(v, 0.0, 255.0)); }
double RadiansFromDegrees(double degrees) { return std::isfinite(degrees) ? std::fmod(degrees, 360.0) * M_PI / 180 : 0; }
double DegreesFromRadians(double radians) { return radians * 180 / M_PI; }
double DisplacementScale(double v) { return Clamp(v, -65535, 65535); }
int KernelSide(std::int32_t v) { return std::clamp(v, 0, 15); }
int MapCoordinate(double v) {
  if (std::isnan(v) || v >= 2147483648.0 || v < -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}
void FitKernel(FilterValues& f) {
  const std::size_t size = static_cast<std::size_t>(f.matrixX * f.matrixY);
  if (f.matrix.size() < size) f.matrix.resize(size, 0.0);
}

bool ToFilterParams(const FilterValues& f, FilterParams& p) {
  p = FilterParams{};
  if (f.kind == kDisplacementMapFilter) return false;
  p.type = static_cast<std::uint8_t>(f.kind);
  p.blurX = f.blurX;
  p.blurY = f.blurY;
  p.angle = f.angle;
  p.distance = f.distance;
  p.strength = f.strength;
  p.passes = f.quality;
  p.inner = f.inner;
  p.knockout = f.knockout;
  p.compositeSource = !f.hideObject;
  switch (f.kind) {
    case kBevelFilter:
      // The record keeps the highlight first, then the shadow.
      p.colors = {ColorOf(f.color, f.alpha), ColorOf(f.shadowColor, f.shadowAlpha)};
      p.inner = f.type == BevelType::Inner;
      p.onTop = f.type == BevelType::Full;
      break;
    case kGradientGlowFilter:
    case kGradientBevelFilter:
      for (int i = 0; i < f.count; ++i) {
        p.colors.push_back(ColorOf(f.colors[i], f.alphas[i]));
        p.ratios.push_back(static_cast<std::uint8_t>(f.ratios[i]));
      }
      p.inner = f.type == BevelType::Inner;
      p.onTop = f.type == BevelType::Full;
      break;
    case kConvolutionFilter:
      p.matrixX = f.matrixX;
      p.matrixY = f.matrixY;
      p.divisor = static_cast<float>(f.divisor);
      p.bias = static_cast<float>(f.bias);
      for (const double v : f.matrix) p.matrix.push_back(static_cast<float>(v));
      p.colors = {ColorOf(f.color, f.alpha)};
      p.clamp = f.clamp;
      p.preserveAlpha = f.preserveAlpha;
      break;
    case kColorMatrixFilter:
      for (const double v : f.matrix) p.matrix.push_back(static_cast<float>(v));
      break;
    default: p.colors = {ColorOf(f.color, f.alpha)}; break;
  }
  return true;
}

Displacement ToDisplacement(const FilterValues& f, const BitmapPixels* map) {
  Displacement d;
  d.map = map;
  d.mapX = f.mapX;
  d.mapY = f.mapY;
  d.componentX = f.componentX;
  d.componentY = f.componentY;
  d.scaleX = f.scaleX;
  d.scaleY = f.scaleY;
  switch (f.mode) {
    case MapMode::Wrap: d.mode = Displacement::Mode::Wrap; break;
    case MapMode::Clamp: d.mode = Displacement::Mode::Clamp; break;
    case MapMode::Ignore: d.mode = Displacement::Mode::Ignore; break;
    case MapMode::Color: d.mode = Displacement::Mode::Color; break;
  }
  d.color = (static_cast<std::uint32_t>(std::lround(Clamp(f.alpha, 0, 1) * 255)) << 24) | (f.color & 0xffffff);
  return d;
}

FilterValues FromFilterParams(const FilterParams& p) {
  FilterValues f;
  f.kind = p.type;
  f.blurX = p.blurX;
  f.blurY = p.blurY;
  f.angle = p.angle;
  f.distance = p.distance;
  f.strength = p.strength;
  f.quality = p.passes;
  f.inner = p.inner;
  f.knockout = p.knockout;
  f.hideObject = !p.compositeSource;
  f.type = p.onTop ? BevelType::Full : p.inner ? BevelType::Inner : BevelType::Outer;
  const auto rgb = [](const Rgba& c) { return (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b; };
  const auto alpha = [](const Rgba& c) { return c.a / 255.0; };
  switch (p.type) {
    case kBevelFilter:
      if (p.colors.size() >= 2) {
        f.color = rgb(p.colors[0]);
        f.alpha = alpha(p.colors[0]);
        f.shadowColor = rgb(p.colors[1]);
        f.shadowAlpha = alpha(p.colors[1]);
      }
      break;
    case kGradientGlowFilter:
    case kGradientBevelFilter:
      f.count = static_cast<int>(std::min<std::size_t>(p.colors.size(), kMaxGradientStops));
      for (int i = 0; i < f.count; ++i) {
        f.colors[i] = rgb(p.colors[i]);
        f.alphas[i] = alpha(p.colors[i]);
        f.ratios[i] = i < static_cast<int>(p.ratios.size()) ? p.ratios[i] : 0;
      }
      break;
    case kConvolutionFilter:
      f.matrixX = p.matrixX;
      f.matrixY = p.matrixY;
      f.divisor = p.divisor;
      f.bias = p.bias;
      f.matrix.assign(p.matrix.begin(), p.matrix.end());
      f.clamp = p.clamp;
      f.preserveAlpha = p.preserveAlpha;
      if (!p.colors.empty()) {
        f.color = rgb(p.colors[0]);
        f.alpha = alpha(p.colors[0]);
      }
      break;
    case kColorMatrixFilter: f.matrix.assign(p.matrix.begin(), p.matrix.end()); break;
    default:
      if (!p.colors.empty()) {
        f.color = rgb(p.colors[0]);
        f.alpha = alpha(p.colors[0]);
      }
      break;
  }
  return f;
}

Filter EncodeScriptFilter(const FilterValues& f) {
  FilterParams params;
  Filter record;
  if (ToFilterParams(f, params)) {
    record = EncodeFilter(params);
  } else {
    record.type = static_cast<std::uint8_t>(f.kind);  // values only: nothing the renderer reads
  }
  record.data.insert(record.data.end(), std::begin(kExactMark), std::end(kExactMark));
  for (const double v : ExactValues(f)) PutDouble(record.data, v);
  return record;
}

// A movie's own filter bytes can hold the mark too, so the values read back may be any
// doubles at all; they are held to what the setters allow.
bool DecodeScriptFilter(const Filter& record, FilterValues& f) {
  FilterParams params;
  const bool drawn = DecodeFilter(record, params);
  if (!drawn && record.type != kDisplacementMapFilter) return false;
  f = drawn ? FromFilterParams(params) : DefaultFilter(kDisplacementMapFilter);
  const auto& bytes = record.data;
  const auto mark = std::search(bytes.begin(), bytes.end(), std::begin(kExactMark), std::end(kExactMark));
  if (mark == bytes.end()) return drawn;
  std::size_t at = static_cast<std::size_t>(mark - bytes.begin()) + sizeof kExactMark;
  std::vector<double> v;
  while (at + 8 <= bytes.size()) {
    double d;
    std::memcpy(&d, bytes.data() + at, 8);
    v.push_back(d);
    at += 8;
  }
  constexpr std::size_t kFixed = kFixedValues + 3 * kMaxGradientStops + 1;
  if (v.size() < kFixed || v[0] != record.type) return drawn;
  std::size_t i = 1;
  f.distance = v[i++];
  f.angle = v[i++];
  f.blurX = v[i++];
  f.blurY = v[i++];
  f.strength = v[i++];
  f.quality = std::clamp(SaturatedInt32(v[i++]), 0, 15);
  f.color = static_cast<std::uint32_t>(ToInt32(v[i++]));
  f.shadowColor = static_cast<std::uint32_t>(ToInt32(v[i++]));
  f.alpha = v[i++];
  f.shadowAlpha = v[i++];
  f.inner = v[i++] != 0;
  f.knockout = v[i++] != 0;
  f.hideObject = v[i++] != 0;
  f.type = static_cast<BevelType>(std::clamp(SaturatedInt32(v[i++]), 0, 2));
  f.count = std::clamp(SaturatedInt32(v[i++]), 0, kMaxGradientStops);
  f.matrixX = std::clamp(SaturatedInt32(v[i++]), 0, 15);
  f.matrixY = std::clamp(SaturatedInt32(v[i++]), 0, 15);
  f.divisor = v[i++];
  f.bias = v[i++];
  f.preserveAlpha = v[i++] != 0;
  f.clamp = v[i++] != 0;
  for (int g = 0; g < kMaxGradientStops; ++g) {
    f.colors[g] = static_cast<std::uint32_t>(ToInt32(v[i++]));
    f.alphas[g] = v[i++];
    f.ratios[g] = std::clamp(SaturatedInt32(v[i++]), 0, 255);
  }
  const double matrixSize = v[i++];
  if (matrixSize >= 0 && matrixSize <= static_cast<double>(v.size() - i)) {
    const auto first = v.begin() + static_cast<long>(i);
    f.matrix.assign(first, first + static_cast<long>(matrixSize));
    i += static_cast<std::size_t>(matrixSize);
  }
  if (record.type == kDisplacementMapFilter && v.size() - i >= kDisplacementValues) {
    f.mapX = SaturatedInt32(v[i++]);
    f.mapY = SaturatedInt32(v[i++]);
    f.componentX = SaturatedInt32(v[i++]);
    f.componentY = SaturatedInt32(v[i++]);
    f.scaleX = DisplacementScale(v[i++]);
    f.scaleY = DisplacementScale(v[i++]);
    f.mode = static_cast<MapMode>(std::clamp(SaturatedInt32(v[i++]), 0, 3));
  }
  return true;
}

}  // namespace vantrel::flash::script
