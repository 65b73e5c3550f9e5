// The bitmap filters as both script machines see them: the values a filter object
// holds, held to the ranges the player keeps them in, and the filter records a display
// object draws, to and from those values. A record made by a script carries the
// script's exact values after it, so what a movie reads back is what it set.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "flash/render/bitmap_ops.h"
#include "flash/swf/filter.h"

namespace vantrel::flash::script {

// Kinds by their record numbers; the displacement map has no record of its own.
enum FilterKind : int {
  kDropShadowFilter = 0,
  kBlurFilter = 1,
  kGlowFilter = 2,
  kBevelFilter = 3,
  kGradientGlowFilter = 4,
  kConvolutionFilter = 5,
  kColorMatrixFilter = 6,
  kGradientBevelFilter = 7,
  kDisplacementMapFilter = 8,
};
inline constexpr int kFilterKinds = 9;
inline constexpr int kMaxGradientStops = 16;

// The class name of a kind ("BlurFilter").
const char* FilterClassName(int kind);

enum class BevelType { Inner, Outer, Full };
enum class MapMode { Wrap, Clamp, Ignore, Color };
const char* BevelTypeName(BevelType type);
BevelType BevelTypeByName(std::string_view name);  // anything unknown is full
const char* MapModeName(MapMode mode);
MapMode MapModeByName(std::string_view name);  // anything unknown wraps

struct FilterValues {
  int kind = kBlurFilter;
  double distance = 4, angle = 0.785398163, blurX = 4, blurY = 4, strength = 1;  // angle in radians
  int quality = 1;
  std::uint32_t color = 0, shadowColor = 0;  // bevels: color is the highlight
  double alpha = 1, shadowAlpha = 1;
  bool inner = false, knockout = false, hideObject = false;
  BevelType type = BevelType::Inner;
  int count = 0;  // gradient stops
  std::array<std::uint32_t, kMaxGradientStops> colors{};
  std::array<double, kMaxGradientStops> alphas{};
  std::array<int, kMaxGradientStops> ratios{};
  std::vector<double> matrix;  // convolution kernel or the 20 colour-matrix entries
  int matrixX = 0, matrixY = 0;
  double divisor = 1, bias = 0;
  bool preserveAlpha = true, clamp = true;
  int mapX = 0, mapY = 0, componentX = 0, componentY = 0;
  double scaleX = 0, scaleY = 0;
  MapMode mode = MapMode::Wrap;
};

// A new filter of kind with the constructor's defaults.
FilterValues DefaultFilter(int kind);

// The ranges the setters hold values to.
double FilterBlur(double v);      // 0..255, NaN 0
double FilterStrength(double v);  // 0..255
int FilterQuality(std::int32_t v);  // 0..15
// Alphas of shadows, glows and bevels are whole 0..255 steps, truncated.
double FilterAlpha(double v);
// A gradient stop's alpha: rounded to a 0..255 step, NaN opaque.
double GradientAlpha(double v);
int GradientRatio(double v);  // 0..255, NaN 0
double RadiansFromDegrees(double degrees);
double DegreesFromRadians(double radians);
double DisplacementScale(double v);  // -65535..65535
int KernelSide(std::int32_t v);      // 0..15
// A map point coordinate as an integer: what is no number, or out of range, is -2^31.
int MapCoordinate(double v);
// The kernel is never shorter than matrixX * matrixY.
void FitKernel(FilterValues& f);

// The drawing parameters of a filter; false for a displacement map, which draws nothing.
bool ToFilterParams(const FilterValues& f, FilterParams& params);
// What a displacement map filter does to a bitmap, with its map's pixels (or none).
Displacement ToDisplacement(const FilterValues& f, const BitmapPixels* map);
// A record read from a movie, as scripts see it.
FilterValues FromFilterParams(const FilterParams& params);
// The record of a filter a script made, with its exact values after it.
Filter EncodeScriptFilter(const FilterValues& f);
// The values of a record: the exact ones when a script made it, else decoded. False when
// the record is not one a script can read.
bool DecodeScriptFilter(const Filter& record, FilterValues& f);

}  // namespace vantrel::flash::script
