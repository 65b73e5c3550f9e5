// flash.filters: the bitmap filter classes with their properties clamped the way the
// player clamps them, clone(), and the `filters` property of clips, buttons and text
// fields (which reads and writes copies). A display object keeps its filters as
// PlaceObject3 records, which the renderer draws; records made by scripts carry the
// script's exact values after the record, so what a movie reads back is what it set.
#include "flash/avm1/builtins/filters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <cstring>

#include "flash/avm1/builtins/bitmap_data.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/display/display_object.h"

namespace vantrel::flash::avm1 {

namespace {

// Kinds by their record numbers; the displacement map has no record.
enum Kind : int {
  kDropShadow = 0,
  kBlur = 1,
  kGlow = 2,
  kBevel = 3,
  kGradientGlow = 4,
  kConvolution = 5,
  kColorMatrix = 6,
  kGradientBevel = 7,
  kDisplacementMap = 8,
};

constexpr int kMaxGradient = 16;
constexpr double kDefaultAngle = 0.785398163;  // 45 degrees, as the player keeps it

enum class BevelType { Inner, Outer, Full };
enum class MapMode { Wrap, Clamp, Ignore, Color };

struct ScriptFilter {
  int kind = kBlur;
  double distance = 4, angle = kDefaultAngle, blurX = 4, blurY = 4, strength = 1;
  int quality = 1;
  std::uint32_t color = 0, shadowColor = 0;  // bevels: color is the highlight
  double alpha = 1, shadowAlpha = 1;
  bool inner = false, knockout = false, hideObject = false;
  BevelType type = BevelType::Inner;
  int count = 0;
  std::array<std::uint32_t, kMaxGradient> colors{};
  std::array<double, kMaxGradient> alphas{};
  std::array<int, kMaxGradient> ratios{};
  std::vector<double> matrix;
  int matrixX = 0, matrixY = 0;
  double divisor = 1, bias = 0;
  bool preserveAlpha = true, clamp = true;
  Object* mapBitmap = nullptr;
  int mapX = 0, mapY = 0, componentX = 0, componentY = 0;
  double scaleX = 0, scaleY = 0;
  MapMode mode = MapMode::Wrap;
};

class FilterData final : public NativeData {
 public:
  ScriptFilter filter;
  void Trace(gc::Tracer& tracer) const override { tracer.Mark(filter.mapBitmap); }
};

constexpr const char* kClassNames[] = {"DropShadowFilter", "BlurFilter",        "GlowFilter",
                                       "BevelFilter",      "GradientGlowFilter", "ConvolutionFilter",
                                       "ColorMatrixFilter", "GradientBevelFilter", "DisplacementMapFilter"};

std::string QualifiedName(int kind) { return std::string("flash.filters.") + kClassNames[kind]; }

ScriptFilter* FilterOf(const Value& value) {
  Object* object = value.AsObject();
  FilterData* data = object ? object->Data<FilterData>() : nullptr;
  return data ? &data->filter : nullptr;
}

Object* MakeFilterObject(MachineInterface& m, const ScriptFilter& filter) {
  Object* object = data::NewInstance(m, QualifiedName(filter.kind));
  auto native = std::make_unique<FilterData>();
  native->filter = filter;
  object->kind = NativeKind::Other;
  object->native = std::move(native);
  return object;
}

Value Num(double n) { return Value::Number(n); }
double ToDouble(MachineInterface& m, const Value& v) { return m.ToNumber(v); }
std::int32_t ToInt(MachineInterface& m, const Value& v) { return ToInt32(m.ToNumber(v)); }
double Clamp(double v, double low, double high) { return std::isnan(v) ? low : std::clamp(v, low, high); }

// Alphas of shadows and glows are kept as whole 0..255 steps, truncated.
double AlphaByte(double v) { return std::floor(Clamp(v, 0, 1) * 255) / 255; }
double DegreesToAngle(double degrees) {
  return std::isfinite(degrees) ? std::fmod(degrees, 360.0) * M_PI / 180 : 0;
}
double AngleToDegrees(double radians) { return radians * 180 / M_PI; }

// ---- the properties, as getter/setter pairs on each class's prototype ----

template <double ScriptFilter::*Field>
Value GetNumber(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? Num(f->*Field) : Value();
}

template <bool ScriptFilter::*Field>
Value GetBool(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? Value::Bool(f->*Field) : Value();
}

template <bool ScriptFilter::*Field>
Value SetBool(Call& call) {
  if (ScriptFilter* f = FilterOf(call.thisValue)) f->*Field = call.machine.ToBoolean(call.Arg(0));
  return Value();
}

#define FILTER_SETTER(name, body)                   \
  Value name(Call& call) {                          \
    ScriptFilter* f = FilterOf(call.thisValue);     \
    if (!f) return Value();                         \
    MachineInterface& m = call.machine;                      \
    const Value v = call.Arg(0);                    \
    (void)m;                                        \
    (void)v;                                        \
    body;                                           \
    return Value();                                 \
  }

FILTER_SETTER(SetDistance, f->distance = ToDouble(m, v))
FILTER_SETTER(SetBlurX, f->blurX = Clamp(ToDouble(m, v), 0, 255))
FILTER_SETTER(SetBlurY, f->blurY = Clamp(ToDouble(m, v), 0, 255))
FILTER_SETTER(SetStrength, f->strength = Clamp(ToDouble(m, v), 0, 255))
FILTER_SETTER(SetQuality, f->quality = std::clamp(ToInt(m, v), 0, 15))
FILTER_SETTER(SetAngle, f->angle = DegreesToAngle(ToDouble(m, v)))
FILTER_SETTER(SetColor, f->color = ToUint32(ToDouble(m, v)) & 0xffffff)
FILTER_SETTER(SetAlpha, f->alpha = AlphaByte(ToDouble(m, v)))
FILTER_SETTER(SetShadowColor, f->shadowColor = ToUint32(ToDouble(m, v)) & 0xffffff)
FILTER_SETTER(SetShadowAlpha, f->shadowAlpha = AlphaByte(ToDouble(m, v)))
FILTER_SETTER(SetBias, f->bias = ToDouble(m, v))
FILTER_SETTER(SetDivisor, f->divisor = ToDouble(m, v))
FILTER_SETTER(SetComponentX, f->componentX = ToInt(m, v))
FILTER_SETTER(SetComponentY, f->componentY = ToInt(m, v))
FILTER_SETTER(SetScaleX, f->scaleX = Clamp(ToDouble(m, v), -65535, 65535))
FILTER_SETTER(SetScaleY, f->scaleY = Clamp(ToDouble(m, v), -65535, 65535))

Value GetAngle(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? Num(AngleToDegrees(f->angle)) : Value();
}
Value GetQuality(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? Num(f->quality) : Value();
}
Value GetColor(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? Num(f->color) : Value();
}
Value GetShadowColor(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? Num(f->shadowColor) : Value();
}
Value GetComponentX(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? Num(f->componentX) : Value();
}
Value GetComponentY(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? Num(f->componentY) : Value();
}

const char* BevelTypeName(BevelType type) {
  switch (type) {
    case BevelType::Inner: return "inner";
    case BevelType::Outer: return "outer";
    default: return "full";
  }
}

Value GetType(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? call.machine.Str(BevelTypeName(f->type)) : Value();
}

FILTER_SETTER(SetType, {
  const std::string name = v.IsString() ? v.Text() : std::string();
  f->type = name == "inner" ? BevelType::Inner : name == "outer" ? BevelType::Outer : BevelType::Full;
})

const char* ModeName(MapMode mode) {
  switch (mode) {
    case MapMode::Clamp: return "clamp";
    case MapMode::Ignore: return "ignore";
    case MapMode::Color: return "color";
    default: return "wrap";
  }
}

Value GetMode(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? call.machine.Str(ModeName(f->mode)) : Value();
}

FILTER_SETTER(SetMode, {
  const std::string name = v.IsString() ? v.Text() : std::string();
  f->mode = name == "clamp" ? MapMode::Clamp : name == "ignore" ? MapMode::Ignore : name == "color" ? MapMode::Color : MapMode::Wrap;
})

Value GetMapBitmap(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f && f->mapBitmap ? Value::Obj(f->mapBitmap) : Value();
}

// Only a BitmapData replaces the map.
FILTER_SETTER(SetMapBitmap, {
  if (BitmapPixelsOf(v)) f->mapBitmap = v.AsObject();
})

Value GetMapPoint(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  if (!f) return Value();
  Object* point = data::NewInstance(call.machine, "flash.geom.Point");
  point->Define("x", Num(f->mapX));
  point->Define("y", Num(f->mapY));
  return Value::Obj(point);
}

// A point whose coordinates are not both numbers gives the origin.
// The point's x and y are converted one after the other; the first conversion that
// throws is what the script catches, and a coordinate that is no number (one whose
// conversion threw included) becomes -2^31, as the player's integer conversion makes it.
// A point without x or y (or no object at all) sets (0, 0).
int MapCoordinate(double v) {
  if (std::isnan(v) || v >= 2147483648.0 || v < -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}
void SetPoint(MachineInterface& m, const Value& v, ScriptFilter& f) {
  Object* point = v.AsObject();
  const Value vx = point ? m.GetMember(v, "x") : Value();
  const Value vy = point ? m.GetMember(v, "y") : Value();
  double x = NAN, y = NAN;
  if (point) {
    x = m.ToNumber(vx);
    // Once x has thrown, y's own conversion code does not run (its exception would
    // not be the one caught); a plain value still converts.
    if (!m.Throwing() || !vy.AsObject()) y = m.ToNumber(vy);
  }
  if (!point || vx.IsUndefined() || vy.IsUndefined()) {
    f.mapX = f.mapY = 0;
  } else {
    f.mapX = MapCoordinate(x);
    f.mapY = MapCoordinate(y);
  }
}
FILTER_SETTER(SetMapPoint, SetPoint(m, v, *f))

// ---- matrices ----

Value NumberArray(MachineInterface& m, const std::vector<double>& values) {
  std::vector<Value> elements;
  elements.reserve(values.size());
  for (const double v : values) elements.push_back(Num(v));
  return Value::Obj(m.NewArray(std::move(elements)));
}

Value GetMatrix(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? NumberArray(call.machine, f->matrix) : Value();
}

// The colour matrix takes 20 entries from anything but null and undefined (missing
// entries are NaN).
void SetColorMatrix(MachineInterface& m, ScriptFilter& f, const Value& v) {
  if (v.IsNullish()) return;
  for (int i = 0; i < 20; ++i) f.matrix[i] = m.ToNumber(m.GetMember(v, std::to_string(i)));
}

// The kernel takes value.length entries, and is never shorter than matrixX * matrixY.
void FitKernel(ScriptFilter& f) {
  const std::size_t size = static_cast<std::size_t>(f.matrixX * f.matrixY);
  if (f.matrix.size() < size) f.matrix.resize(size, 0.0);
}

void SetKernel(MachineInterface& m, ScriptFilter& f, const Value& v) {
  if (v.IsNullish()) return;
  const double length = m.ToNumber(m.GetMember(v, "length"));
  const int count = std::isnan(length) ? 0 : std::clamp(ToInt32(length), 0, 15 * 15 * 64);
  f.matrix.assign(static_cast<std::size_t>(count), 0.0);
  for (int i = 0; i < count; ++i) f.matrix[i] = m.ToNumber(m.GetMember(v, std::to_string(i)));
  FitKernel(f);
}

FILTER_SETTER(SetMatrix, {
  if (f->kind == kColorMatrix) {
    SetColorMatrix(m, *f, v);
  } else {
    SetKernel(m, *f, v);
  }
})

Value GetMatrixX(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? Num(f->matrixX) : Value();
}
Value GetMatrixY(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? Num(f->matrixY) : Value();
}
FILTER_SETTER(SetMatrixX, {
  f->matrixX = std::clamp(ToInt(m, v), 0, 15);
  FitKernel(*f);
})
FILTER_SETTER(SetMatrixY, {
  f->matrixY = std::clamp(ToInt(m, v), 0, 15);
  FitKernel(*f);
})

// ---- gradients: up to 16 stops; colors set how many there are, ratios may cut them ----

Value GetColors(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  if (!f) return Value();
  std::vector<double> values;
  for (int i = 0; i < f->count; ++i) values.push_back(f->colors[i]);
  return NumberArray(call.machine, values);
}
Value GetAlphas(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  if (!f) return Value();
  return NumberArray(call.machine, std::vector<double>(f->alphas.begin(), f->alphas.begin() + f->count));
}
Value GetRatios(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  if (!f) return Value();
  std::vector<double> values;
  for (int i = 0; i < f->count; ++i) values.push_back(f->ratios[i]);
  return NumberArray(call.machine, values);
}

int LengthOf(MachineInterface& m, const Value& v) {
  if (v.IsNullish()) return 0;
  const double length = m.ToNumber(m.GetMember(v, "length"));
  return std::isnan(length) ? 0 : std::clamp(ToInt32(length), 0, kMaxGradient);
}

void SetGradientColors(MachineInterface& m, ScriptFilter& f, const Value& v) {
  if (v.IsNullish()) return;
  f.count = LengthOf(m, v);
  for (int i = 0; i < f.count; ++i) f.colors[i] = ToUint32(m.ToNumber(m.GetMember(v, std::to_string(i)))) & 0xffffff;
}

void SetGradientAlphas(MachineInterface& m, ScriptFilter& f, const Value& v) {
  if (v.IsNullish()) return;
  for (int i = 0; i < f.count; ++i) {
    const double a = m.ToNumber(m.GetMember(v, std::to_string(i)));
    f.alphas[i] = std::isnan(a) ? 1 : std::round(std::clamp(a, 0.0, 1.0) * 255) / 255;
  }
}

void SetGradientRatios(MachineInterface& m, ScriptFilter& f, const Value& v) {
  if (v.IsNullish()) return;
  f.count = std::min(f.count, LengthOf(m, v));
  for (int i = 0; i < f.count; ++i) {
    const double r = m.ToNumber(m.GetMember(v, std::to_string(i)));
    f.ratios[i] = std::isnan(r) ? 0 : static_cast<int>(std::clamp(r, 0.0, 255.0));
  }
}

FILTER_SETTER(SetColors, SetGradientColors(m, *f, v))
FILTER_SETTER(SetAlphas, SetGradientAlphas(m, *f, v))
FILTER_SETTER(SetRatios, SetGradientRatios(m, *f, v))

Value Clone(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? Value::Obj(MakeFilterObject(call.machine, *f)) : Value();
}

// ---- constructors: arguments go through the setters, in the class's order ----

using Setter = Value (*)(Call&);

void ApplyArgs(Call& call, std::initializer_list<Setter> setters) {
  std::size_t i = 0;
  for (Setter setter : setters) {
    if (i >= call.Count()) break;
    Value arg = call.Arg(i++);
    Call one{call.machine, Value::Obj(call.self), call.self, std::span<Value>(&arg, 1), call.callee, false};
    setter(one);
  }
}

template <int K>
Value Construct(Call& call) {
  if (!call.self) return Value();
  auto native = std::make_unique<FilterData>();
  ScriptFilter& f = native->filter;
  f.kind = K;
  if (K == kGlow) {
    f.color = 0xff0000;
    f.blurX = f.blurY = 6;
    f.strength = 2;
  }
  if (K == kBevel) f.color = 0xffffff;
  if (K == kColorMatrix) f.matrix = {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0};
  if (K == kConvolution || K == kDisplacementMap) f.alpha = 0;
  // Constructing an object that already is a filter (a subclass calling super() again)
  // converts the arguments as usual but leaves the filter as it was.
  std::unique_ptr<NativeData> before;
  if (call.self->Data<FilterData>()) before = std::move(call.self->native);
  const NativeKind kindBefore = call.self->kind;
  call.self->kind = NativeKind::Other;
  call.self->native = std::move(native);
  struct Restore {
    Object* self;
    std::unique_ptr<NativeData>& before;
    NativeKind kind;
    ~Restore() {
      if (!before) return;
      self->native = std::move(before);
      self->kind = kind;
    }
  } restore{call.self, before, kindBefore};
  switch (K) {
    case kBevel:
      ApplyArgs(call, {SetDistance, SetAngle, SetColor, SetAlpha, SetShadowColor, SetShadowAlpha, SetBlurX, SetBlurY,
                       SetStrength, SetQuality, SetType, SetBool<&ScriptFilter::knockout>});
      break;
    case kBlur: ApplyArgs(call, {SetBlurX, SetBlurY, SetQuality}); break;
    case kColorMatrix: ApplyArgs(call, {SetMatrix}); break;
    case kConvolution:
      // A substitute colour given without its alpha is opaque; with neither, the
      // substitute is transparent black.
      if (call.Count() == 8) f.alpha = 1;
      ApplyArgs(call, {SetMatrixX, SetMatrixY, SetMatrix, SetDivisor, SetBias, SetBool<&ScriptFilter::preserveAlpha>,
                       SetBool<&ScriptFilter::clamp>, SetColor, SetAlpha});
      break;
    case kDisplacementMap:
      ApplyArgs(call, {SetMapBitmap, SetMapPoint, SetComponentX, SetComponentY, SetScaleX, SetScaleY, SetMode, SetColor,
                       SetAlpha});
      break;
    case kDropShadow:
      ApplyArgs(call, {SetDistance, SetAngle, SetColor, SetAlpha, SetBlurX, SetBlurY, SetStrength, SetQuality,
                       SetBool<&ScriptFilter::inner>, SetBool<&ScriptFilter::knockout>,
                       SetBool<&ScriptFilter::hideObject>});
      break;
    case kGlow:
      ApplyArgs(call, {SetColor, SetAlpha, SetBlurX, SetBlurY, SetStrength, SetQuality, SetBool<&ScriptFilter::inner>,
                       SetBool<&ScriptFilter::knockout>});
      break;
    default:  // the gradient filters
      ApplyArgs(call, {SetDistance, SetAngle, SetColors, SetAlphas, SetRatios, SetBlurX, SetBlurY, SetStrength,
                       SetQuality, SetType, SetBool<&ScriptFilter::knockout>});
      break;
  }
  return Value::Obj(call.self);
}

Value BaseConstruct(Call& call) { return call.self ? Value::Obj(call.self) : Value(); }
Value BaseClone(Call&) { return Value(); }

// ---- drawing parameters and records ----

Rgba ColorOf(std::uint32_t rgb, double alpha) {
  return Rgba{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8), static_cast<std::uint8_t>(rgb),
              static_cast<std::uint8_t>(std::lround(Clamp(alpha, 0, 1) * 255))};
}

bool ToParams(const ScriptFilter& f, FilterParams& p) {
  p = FilterParams{};
  if (f.kind == kDisplacementMap) return false;
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
    case kBevel:
      // The record keeps the highlight first, then the shadow.
      p.colors = {ColorOf(f.color, f.alpha), ColorOf(f.shadowColor, f.shadowAlpha)};
      p.inner = f.type == BevelType::Inner;
      p.onTop = f.type == BevelType::Full;
      break;
    case kGradientGlow:
    case kGradientBevel:
      for (int i = 0; i < f.count; ++i) {
        p.colors.push_back(ColorOf(f.colors[i], f.alphas[i]));
        p.ratios.push_back(static_cast<std::uint8_t>(f.ratios[i]));
      }
      p.inner = f.type == BevelType::Inner;
      p.onTop = f.type == BevelType::Full;
      break;
    case kConvolution:
      p.matrixX = f.matrixX;
      p.matrixY = f.matrixY;
      p.divisor = static_cast<float>(f.divisor);
      p.bias = static_cast<float>(f.bias);
      for (const double v : f.matrix) p.matrix.push_back(static_cast<float>(v));
      p.colors = {ColorOf(f.color, f.alpha)};
      p.clamp = f.clamp;
      p.preserveAlpha = f.preserveAlpha;
      break;
    case kColorMatrix:
      for (const double v : f.matrix) p.matrix.push_back(static_cast<float>(v));
      break;
    default: p.colors = {ColorOf(f.color, f.alpha)}; break;
  }
  return true;
}

// A filter record read from a movie (PlaceObject3) as the script sees it.
ScriptFilter FromParams(const FilterParams& p) {
  ScriptFilter f;
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
    case kBevel:
      if (p.colors.size() >= 2) {
        f.color = rgb(p.colors[0]);
        f.alpha = alpha(p.colors[0]);
        f.shadowColor = rgb(p.colors[1]);
        f.shadowAlpha = alpha(p.colors[1]);
      }
      break;
    case kGradientGlow:
    case kGradientBevel:
      f.count = static_cast<int>(std::min<std::size_t>(p.colors.size(), kMaxGradient));
      for (int i = 0; i < f.count; ++i) {
        f.colors[i] = rgb(p.colors[i]);
        f.alphas[i] = alpha(p.colors[i]);
        f.ratios[i] = i < static_cast<int>(p.ratios.size()) ? p.ratios[i] : 0;
      }
      break;
    case kConvolution:
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
    case kColorMatrix: f.matrix.assign(p.matrix.begin(), p.matrix.end()); break;
    default:
      if (!p.colors.empty()) {
        f.color = rgb(p.colors[0]);
        f.alpha = alpha(p.colors[0]);
      }
      break;
  }
  return f;
}

// The exact script values follow a record made by a script, after this mark.
constexpr std::uint8_t kExactMark[] = {'V', 'S', 'F', 1};

void PutDouble(std::vector<std::uint8_t>& out, double v) {
  std::uint8_t bytes[8];
  std::memcpy(bytes, &v, 8);
  out.insert(out.end(), bytes, bytes + 8);
}

std::vector<double> ExactValues(const ScriptFilter& f) {
  std::vector<double> v = {static_cast<double>(f.kind), f.distance, f.angle, f.blurX, f.blurY, f.strength,
                           static_cast<double>(f.quality), static_cast<double>(f.color),
                           static_cast<double>(f.shadowColor), f.alpha, f.shadowAlpha, f.inner ? 1.0 : 0.0,
                           f.knockout ? 1.0 : 0.0, f.hideObject ? 1.0 : 0.0, static_cast<double>(f.type),
                           static_cast<double>(f.count), static_cast<double>(f.matrixX),
                           static_cast<double>(f.matrixY), f.divisor, f.bias, f.preserveAlpha ? 1.0 : 0.0,
                           f.clamp ? 1.0 : 0.0};
  for (int i = 0; i < kMaxGradient; ++i) {
    v.push_back(f.colors[i]);
    v.push_back(f.alphas[i]);
    v.push_back(f.ratios[i]);
  }
  v.push_back(static_cast<double>(f.matrix.size()));
  v.insert(v.end(), f.matrix.begin(), f.matrix.end());
  return v;
}

Filter EncodeScriptFilter(const ScriptFilter& f) {
  FilterParams params;
  ToParams(f, params);
  Filter record = EncodeFilter(params);
  record.data.insert(record.data.end(), std::begin(kExactMark), std::end(kExactMark));
  for (const double v : ExactValues(f)) PutDouble(record.data, v);
  return record;
}

// The script values of a record: the exact ones when a script made it, else decoded. A
// movie's own filter bytes can hold the mark too, so the values read back may be any doubles
// at all; they are held to what the setters allow.
bool DecodeScriptFilter(const Filter& record, ScriptFilter& f) {
  FilterParams params;
  if (!DecodeFilter(record, params)) return false;
  f = FromParams(params);
  const auto& bytes = record.data;
  const auto mark = std::search(bytes.begin(), bytes.end(), std::begin(kExactMark), std::end(kExactMark));
  if (mark == bytes.end()) return true;
  std::size_t at = static_cast<std::size_t>(mark - bytes.begin()) + sizeof kExactMark;
  std::vector<double> v;
  while (at + 8 <= bytes.size()) {
    double d;
    std::memcpy(&d, bytes.data() + at, 8);
    v.push_back(d);
    at += 8;
  }
  constexpr std::size_t kFixed = 22 + 3 * kMaxGradient + 1;
  if (v.size() < kFixed || v[0] != record.type) return true;
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
  f.count = std::clamp(SaturatedInt32(v[i++]), 0, kMaxGradient);
  f.matrixX = std::clamp(SaturatedInt32(v[i++]), 0, 15);
  f.matrixY = std::clamp(SaturatedInt32(v[i++]), 0, 15);
  f.divisor = v[i++];
  f.bias = v[i++];
  f.preserveAlpha = v[i++] != 0;
  f.clamp = v[i++] != 0;
  for (int g = 0; g < kMaxGradient; ++g) {
    f.colors[g] = static_cast<std::uint32_t>(ToInt32(v[i++]));
    f.alphas[g] = v[i++];
    f.ratios[g] = std::clamp(SaturatedInt32(v[i++]), 0, 255);
  }
  const double matrixSize = v[i++];
  if (matrixSize >= 0 && matrixSize <= static_cast<double>(v.size() - i)) {
    const auto first = v.begin() + static_cast<long>(i);
    f.matrix.assign(first, first + static_cast<long>(matrixSize));
  }
  return true;
}

// ---- the filters property of display objects ----

Value GetFilters(Call& call) {
  MachineInterface& m = call.machine;
  DisplayObject* display = call.self ? m.AsDisplay(call.self) : nullptr;
  if (!display) return Value();
  std::vector<Value> list;
  for (const Filter& record : display->filters) {
    ScriptFilter f;
    if (DecodeScriptFilter(record, f)) list.push_back(Value::Obj(MakeFilterObject(m, f)));
  }
  return Value::Obj(m.NewArray(std::move(list)));
}

Value SetFilters(Call& call) {
  MachineInterface& m = call.machine;
  DisplayObject* display = call.self ? m.AsDisplay(call.self) : nullptr;
  Object* array = call.Arg(0).AsObject();
  if (!display || !array || !array->IsArray()) return Value();
  std::vector<Filter> records;
  for (const Value& element : array->Array()->elements) {
    const ScriptFilter* f = FilterOf(element);
    if (f && f->kind != kDisplacementMap) records.push_back(EncodeScriptFilter(*f));
  }
  display->filters = std::move(records);
  return Value();
}

// blendMode: a name or a number (taken modulo 256); null and undefined give normal,
// anything else leaves the mode as it is.
Value GetBlendMode(Call& call) {
  DisplayObject* display = call.self ? call.machine.AsDisplay(call.self) : nullptr;
  return display ? call.machine.Str(BlendModeName(display->blendMode)) : Value();
}

Value SetBlendMode(Call& call) {
  MachineInterface& m = call.machine;
  DisplayObject* display = call.self ? m.AsDisplay(call.self) : nullptr;
  if (!display) return Value();
  const Value v = call.Arg(0);
  int mode = -1;
  if (v.IsNullish()) {
    mode = 1;
  } else if (v.IsString()) {
    mode = BlendModeByName(v.Text());
  } else if (v.IsNumber()) {
    mode = ToInt32(v.number) & 255;
  }
  if (mode >= 1 && mode <= 14) display->blendMode = static_cast<std::uint8_t>(mode);
  return Value();
}

Value GetCacheAsBitmap(Call& call) {
  DisplayObject* display = call.self ? call.machine.AsDisplay(call.self) : nullptr;
  if (!display) return Value();
  // Filters draw through a cached bitmap, so a filtered object reads as cached.
  return Value::Bool(display->cacheAsBitmap || !display->filters.empty());
}

Value SetCacheAsBitmap(Call& call) {
  DisplayObject* display = call.self ? call.machine.AsDisplay(call.self) : nullptr;
  if (display) display->cacheAsBitmap = call.machine.ToBoolean(call.Arg(0));
  return Value();
}

Value GetOpaqueBackground(Call& call) {
  DisplayObject* display = call.self ? call.machine.AsDisplay(call.self) : nullptr;
  if (!display || !display->opaqueBackground) return Value();
  const Rgba& c = *display->opaqueBackground;
  return Num((std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b);
}

Value SetOpaqueBackground(Call& call) {
  MachineInterface& m = call.machine;
  DisplayObject* display = call.self ? m.AsDisplay(call.self) : nullptr;
  if (!display) return Value();
  const Value v = call.Arg(0);
  if (v.IsNullish()) {
    display->opaqueBackground.reset();
    return Value();
  }
  const std::uint32_t rgb = ToUint32(m.ToNumber(v));
  display->opaqueBackground = Rgba{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                                   static_cast<std::uint8_t>(rgb), 255};
  return Value();
}

Value GetScrollRect(Call& call) {
  MachineInterface& m = call.machine;
  DisplayObject* display = call.self ? m.AsDisplay(call.self) : nullptr;
  if (!display || !display->scrollRect) return Value();
  const QRectF& r = *display->scrollRect;
  Object* rect = data::NewInstance(m, "flash.geom.Rectangle");
  rect->Define("x", Num(r.x() / 20));
  rect->Define("y", Num(r.y() / 20));
  rect->Define("width", Num(r.width() / 20));
  rect->Define("height", Num(r.height() / 20));
  return Value::Obj(rect);
}

Value SetScrollRect(Call& call) {
  MachineInterface& m = call.machine;
  DisplayObject* display = call.self ? m.AsDisplay(call.self) : nullptr;
  if (!display) return Value();
  const Value v = call.Arg(0);
  if (!v.AsObject()) {
    display->scrollRect.reset();
    return Value();
  }
  const double x = m.ToNumber(m.GetMember(v, "x")), y = m.ToNumber(m.GetMember(v, "y"));
  const double w = m.ToNumber(m.GetMember(v, "width")), h = m.ToNumber(m.GetMember(v, "height"));
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(w) || !std::isfinite(h)) {
    display->scrollRect.reset();
    return Value();
  }
  display->scrollRect = QRectF(x * 20, y * 20, w * 20, h * 20);
  return Value();
}

}  // namespace

bool FilterParamsOf(MachineInterface&, const Value& value, FilterParams& params) {
  const ScriptFilter* f = FilterOf(value);
  return f && ToParams(*f, params);
}

void InstallFilters(Runtime& rt) {
  Object* package = data::Package(rt, "flash.filters");
  Object* base = rt.MakeClass(BaseConstruct, BaseConstruct);
  data::RegisterClass(rt, package, "flash.filters.BitmapFilter", base);
  static const Member baseMembers[] = {{"clone", BaseClone}};
  rt.AddMembers(data::PrototypeOf(base), baseMembers);
  Object* baseProto = data::PrototypeOf(base);

  constexpr std::uint16_t kEnum = 0;
  static const Member bevel[] = {
      {"distance", GetNumber<&ScriptFilter::distance>, SetDistance, kEnum},
      {"angle", GetAngle, SetAngle, kEnum},
      {"highlightColor", GetColor, SetColor, kEnum},
      {"highlightAlpha", GetNumber<&ScriptFilter::alpha>, SetAlpha, kEnum},
      {"shadowColor", GetShadowColor, SetShadowColor, kEnum},
      {"shadowAlpha", GetNumber<&ScriptFilter::shadowAlpha>, SetShadowAlpha, kEnum},
      {"quality", GetQuality, SetQuality, kEnum},
      {"strength", GetNumber<&ScriptFilter::strength>, SetStrength, kEnum},
      {"knockout", GetBool<&ScriptFilter::knockout>, SetBool<&ScriptFilter::knockout>, kEnum},
      {"blurX", GetNumber<&ScriptFilter::blurX>, SetBlurX, kEnum},
      {"blurY", GetNumber<&ScriptFilter::blurY>, SetBlurY, kEnum},
      {"type", GetType, SetType, kEnum},
      {"clone", Clone, nullptr, kEnum},
  };
  static const Member blur[] = {
      {"blurX", GetNumber<&ScriptFilter::blurX>, SetBlurX, kEnum},
      {"blurY", GetNumber<&ScriptFilter::blurY>, SetBlurY, kEnum},
      {"quality", GetQuality, SetQuality, kEnum},
      {"clone", Clone, nullptr, kEnum},
  };
  static const Member colorMatrix[] = {
      {"matrix", GetMatrix, SetMatrix, kEnum},
      {"clone", Clone, nullptr, kEnum},
  };
  static const Member convolution[] = {
      {"matrixX", GetMatrixX, SetMatrixX, kEnum},
      {"matrixY", GetMatrixY, SetMatrixY, kEnum},
      {"matrix", GetMatrix, SetMatrix, kEnum},
      {"divisor", GetNumber<&ScriptFilter::divisor>, SetDivisor, kEnum},
      {"bias", GetNumber<&ScriptFilter::bias>, SetBias, kEnum},
      {"preserveAlpha", GetBool<&ScriptFilter::preserveAlpha>, SetBool<&ScriptFilter::preserveAlpha>, kEnum},
      {"clamp", GetBool<&ScriptFilter::clamp>, SetBool<&ScriptFilter::clamp>, kEnum},
      {"color", GetColor, SetColor, kEnum},
      {"alpha", GetNumber<&ScriptFilter::alpha>, SetAlpha, kEnum},
      {"clone", Clone, nullptr, kEnum},
  };
  static const Member displacement[] = {
      {"mapBitmap", GetMapBitmap, SetMapBitmap, kEnum},
      {"mapPoint", GetMapPoint, SetMapPoint, kEnum},
      {"componentX", GetComponentX, SetComponentX, kEnum},
      {"componentY", GetComponentY, SetComponentY, kEnum},
      {"scaleX", GetNumber<&ScriptFilter::scaleX>, SetScaleX, kEnum},
      {"scaleY", GetNumber<&ScriptFilter::scaleY>, SetScaleY, kEnum},
      {"mode", GetMode, SetMode, kEnum},
      {"color", GetColor, SetColor, kEnum},
      {"alpha", GetNumber<&ScriptFilter::alpha>, SetAlpha, kEnum},
      {"clone", Clone, nullptr, kEnum},
  };
  static const Member dropShadow[] = {
      {"distance", GetNumber<&ScriptFilter::distance>, SetDistance, kEnum},
      {"angle", GetAngle, SetAngle, kEnum},
      {"color", GetColor, SetColor, kEnum},
      {"alpha", GetNumber<&ScriptFilter::alpha>, SetAlpha, kEnum},
      {"quality", GetQuality, SetQuality, kEnum},
      {"inner", GetBool<&ScriptFilter::inner>, SetBool<&ScriptFilter::inner>, kEnum},
      {"knockout", GetBool<&ScriptFilter::knockout>, SetBool<&ScriptFilter::knockout>, kEnum},
      {"blurX", GetNumber<&ScriptFilter::blurX>, SetBlurX, kEnum},
      {"blurY", GetNumber<&ScriptFilter::blurY>, SetBlurY, kEnum},
      {"strength", GetNumber<&ScriptFilter::strength>, SetStrength, kEnum},
      {"hideObject", GetBool<&ScriptFilter::hideObject>, SetBool<&ScriptFilter::hideObject>, kEnum},
      {"clone", Clone, nullptr, kEnum},
  };
  static const Member glow[] = {
      {"color", GetColor, SetColor, kEnum},
      {"alpha", GetNumber<&ScriptFilter::alpha>, SetAlpha, kEnum},
      {"quality", GetQuality, SetQuality, kEnum},
      {"inner", GetBool<&ScriptFilter::inner>, SetBool<&ScriptFilter::inner>, kEnum},
      {"knockout", GetBool<&ScriptFilter::knockout>, SetBool<&ScriptFilter::knockout>, kEnum},
      {"blurX", GetNumber<&ScriptFilter::blurX>, SetBlurX, kEnum},
      {"blurY", GetNumber<&ScriptFilter::blurY>, SetBlurY, kEnum},
      {"strength", GetNumber<&ScriptFilter::strength>, SetStrength, kEnum},
      {"clone", Clone, nullptr, kEnum},
  };
  static const Member gradient[] = {
      {"distance", GetNumber<&ScriptFilter::distance>, SetDistance, kEnum},
      {"angle", GetAngle, SetAngle, kEnum},
      {"colors", GetColors, SetColors, kEnum},
      {"alphas", GetAlphas, SetAlphas, kEnum},
      {"ratios", GetRatios, SetRatios, kEnum},
      {"blurX", GetNumber<&ScriptFilter::blurX>, SetBlurX, kEnum},
      {"blurY", GetNumber<&ScriptFilter::blurY>, SetBlurY, kEnum},
      {"quality", GetQuality, SetQuality, kEnum},
      {"strength", GetNumber<&ScriptFilter::strength>, SetStrength, kEnum},
      {"knockout", GetBool<&ScriptFilter::knockout>, SetBool<&ScriptFilter::knockout>, kEnum},
      {"type", GetType, SetType, kEnum},
      {"clone", Clone, nullptr, kEnum},
  };
  const struct {
    int kind;
    NativeFunction construct;
    std::span<const Member> members;
  } classes[] = {
      {kBevel, Construct<kBevel>, bevel},
      {kBlur, Construct<kBlur>, blur},
      {kColorMatrix, Construct<kColorMatrix>, colorMatrix},
      {kConvolution, Construct<kConvolution>, convolution},
      {kDisplacementMap, Construct<kDisplacementMap>, displacement},
      {kDropShadow, Construct<kDropShadow>, dropShadow},
      {kGlow, Construct<kGlow>, glow},
      {kGradientBevel, Construct<kGradientBevel>, gradient},
      {kGradientGlow, Construct<kGradientGlow>, gradient},
  };
  for (const auto& c : classes) {
    Object* ctor = rt.MakeClass(c.construct, c.construct, baseProto);
    data::RegisterClass(rt, package, QualifiedName(c.kind), ctor);
    rt.AddMembers(data::PrototypeOf(ctor), c.members);
  }

  static const Member displayMembers[] = {
      {"filters", GetFilters, SetFilters, kDontEnum | kVersion8},
      {"blendMode", GetBlendMode, SetBlendMode, kDontEnum | kVersion8},
      {"cacheAsBitmap", GetCacheAsBitmap, SetCacheAsBitmap, kDontEnum | kVersion8},
  };
  static const Member clipMembers[] = {
      {"opaqueBackground", GetOpaqueBackground, SetOpaqueBackground, kDontEnum | kVersion8},
      {"scrollRect", GetScrollRect, SetScrollRect, kDontEnum | kVersion8},
  };
  if (rt.movieClipProto) rt.AddMembers(rt.movieClipProto, clipMembers);
  InstallClipTransform(rt);
  for (Object* proto : {rt.movieClipProto, rt.buttonProto, rt.textFieldProto}) {
    if (proto) rt.AddMembers(proto, displayMembers);
  }
  // A text field's filters enumerate, where TextField placed them.
  if (Property* filters = rt.textFieldProto ? rt.textFieldProto->FindOwn("filters", true) : nullptr)
    filters->attributes &= ~kDontEnum;
}

}  // namespace vantrel::flash::avm1
