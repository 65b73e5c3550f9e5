// flash.filters: the bitmap filter classes with their properties clamped the way the
// player clamps them (script/filter_values.h, shared with ActionScript 3), clone(), and
// the `filters` property of clips, buttons and text fields (which reads and writes
// copies). A display object keeps its filters as PlaceObject3 records, which the
// renderer draws.
#include "flash/avm1/builtins/filters.h"

#include <algorithm>
#include <cmath>

#include "flash/avm1/builtins/bitmap_data.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/display/display_object.h"
#include "flash/script/filter_values.h"

namespace vantrel::flash::avm1 {

namespace {

using script::BevelType;
using script::FilterValues;
using script::MapMode;
using ScriptFilter = script::FilterValues;

constexpr int kDropShadow = script::kDropShadowFilter;
constexpr int kBlur = script::kBlurFilter;
constexpr int kGlow = script::kGlowFilter;
constexpr int kBevel = script::kBevelFilter;
constexpr int kGradientGlow = script::kGradientGlowFilter;
constexpr int kConvolution = script::kConvolutionFilter;
constexpr int kColorMatrix = script::kColorMatrixFilter;
constexpr int kGradientBevel = script::kGradientBevelFilter;
constexpr int kDisplacementMap = script::kDisplacementMapFilter;
constexpr int kMaxGradient = script::kMaxGradientStops;

// A filter object's values; a displacement map also holds its map bitmap.
class FilterData final : public NativeData {
 public:
  ScriptFilter filter;
  Object* mapBitmap = nullptr;
  void Trace(gc::Tracer& tracer) const override { tracer.Mark(mapBitmap); }
};

std::string QualifiedName(int kind) { return std::string("flash.filters.") + script::FilterClassName(kind); }

FilterData* DataOf(const Value& value) {
  Object* object = value.AsObject();
  return object ? object->Data<FilterData>() : nullptr;
}

ScriptFilter* FilterOf(const Value& value) {
  FilterData* data = DataOf(value);
  return data ? &data->filter : nullptr;
}

Object* MakeFilterObject(MachineInterface& m, const ScriptFilter& filter, Object* mapBitmap = nullptr) {
  Object* object = data::NewInstance(m, QualifiedName(filter.kind));
  auto native = std::make_unique<FilterData>();
  native->filter = filter;
  native->mapBitmap = mapBitmap;
  object->kind = NativeKind::Other;
  object->native = std::move(native);
  return object;
}

Value Num(double n) { return Value::Number(n); }
double ToDouble(MachineInterface& m, const Value& v) { return m.ToNumber(v); }
std::int32_t ToInt(MachineInterface& m, const Value& v) { return ToInt32(m.ToNumber(v)); }

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
FILTER_SETTER(SetBlurX, f->blurX = script::FilterBlur(ToDouble(m, v)))
FILTER_SETTER(SetBlurY, f->blurY = script::FilterBlur(ToDouble(m, v)))
FILTER_SETTER(SetStrength, f->strength = script::FilterStrength(ToDouble(m, v)))
FILTER_SETTER(SetQuality, f->quality = script::FilterQuality(ToInt(m, v)))
FILTER_SETTER(SetAngle, f->angle = script::RadiansFromDegrees(ToDouble(m, v)))
FILTER_SETTER(SetColor, f->color = ToUint32(ToDouble(m, v)) & 0xffffff)
FILTER_SETTER(SetAlpha, f->alpha = script::FilterAlpha(ToDouble(m, v)))
FILTER_SETTER(SetShadowColor, f->shadowColor = ToUint32(ToDouble(m, v)) & 0xffffff)
FILTER_SETTER(SetShadowAlpha, f->shadowAlpha = script::FilterAlpha(ToDouble(m, v)))
FILTER_SETTER(SetBias, f->bias = ToDouble(m, v))
FILTER_SETTER(SetDivisor, f->divisor = ToDouble(m, v))
FILTER_SETTER(SetComponentX, f->componentX = ToInt(m, v))
FILTER_SETTER(SetComponentY, f->componentY = ToInt(m, v))
FILTER_SETTER(SetScaleX, f->scaleX = script::DisplacementScale(ToDouble(m, v)))
FILTER_SETTER(SetScaleY, f->scaleY = script::DisplacementScale(ToDouble(m, v)))

Value GetAngle(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? Num(script::DegreesFromRadians(f->angle)) : Value();
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

Value GetType(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? call.machine.Str(script::BevelTypeName(f->type)) : Value();
}

FILTER_SETTER(SetType, f->type = script::BevelTypeByName(v.IsString() ? v.Text() : std::string()))

Value GetMode(Call& call) {
  ScriptFilter* f = FilterOf(call.thisValue);
  return f ? call.machine.Str(script::MapModeName(f->mode)) : Value();
}

FILTER_SETTER(SetMode, f->mode = script::MapModeByName(v.IsString() ? v.Text() : std::string()))

Value GetMapBitmap(Call& call) {
  FilterData* data = DataOf(call.thisValue);
  return data && data->mapBitmap ? Value::Obj(data->mapBitmap) : Value();
}

// Only a BitmapData replaces the map.
Value SetMapBitmap(Call& call) {
  FilterData* data = DataOf(call.thisValue);
  if (data && BitmapPixelsOf(call.Arg(0))) data->mapBitmap = call.Arg(0).AsObject();
  return Value();
}

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
    f.mapX = script::MapCoordinate(x);
    f.mapY = script::MapCoordinate(y);
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
void SetKernel(MachineInterface& m, ScriptFilter& f, const Value& v) {
  if (v.IsNullish()) return;
  const double length = m.ToNumber(m.GetMember(v, "length"));
  const int count = std::isnan(length) ? 0 : std::clamp(ToInt32(length), 0, 15 * 15 * 64);
  f.matrix.assign(static_cast<std::size_t>(count), 0.0);
  for (int i = 0; i < count; ++i) f.matrix[i] = m.ToNumber(m.GetMember(v, std::to_string(i)));
  script::FitKernel(f);
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
  f->matrixX = script::KernelSide(ToInt(m, v));
  script::FitKernel(*f);
})
FILTER_SETTER(SetMatrixY, {
  f->matrixY = script::KernelSide(ToInt(m, v));
  script::FitKernel(*f);
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
    f.alphas[i] = script::GradientAlpha(m.ToNumber(m.GetMember(v, std::to_string(i))));
  }
}

void SetGradientRatios(MachineInterface& m, ScriptFilter& f, const Value& v) {
  if (v.IsNullish()) return;
  f.count = std::min(f.count, LengthOf(m, v));
  for (int i = 0; i < f.count; ++i) {
    f.ratios[i] = script::GradientRatio(m.ToNumber(m.GetMember(v, std::to_string(i))));
  }
}

FILTER_SETTER(SetColors, SetGradientColors(m, *f, v))
FILTER_SETTER(SetAlphas, SetGradientAlphas(m, *f, v))
FILTER_SETTER(SetRatios, SetGradientRatios(m, *f, v))

Value Clone(Call& call) {
  FilterData* data = DataOf(call.thisValue);
  return data ? Value::Obj(MakeFilterObject(call.machine, data->filter, data->mapBitmap)) : Value();
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
  f = script::DefaultFilter(K);
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

// ---- the filters property of display objects ----

Value GetFilters(Call& call) {
  MachineInterface& m = call.machine;
  DisplayObject* display = call.self ? m.AsDisplay(call.self) : nullptr;
  if (!display) return Value();
  std::vector<Value> list;
  for (const Filter& record : display->filters) {
    ScriptFilter f;
    if (record.type != kDisplacementMap && script::DecodeScriptFilter(record, f)) list.push_back(Value::Obj(MakeFilterObject(m, f)));
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
    if (f && f->kind != kDisplacementMap) records.push_back(script::EncodeScriptFilter(*f));
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
  return f && script::ToFilterParams(*f, params);
}

bool DisplacementOf(const Value& value, Displacement& displacement) {
  const FilterData* data = DataOf(value);
  if (!data || data->filter.kind != kDisplacementMap) return false;
  displacement = script::ToDisplacement(data->filter, data->mapBitmap ? BitmapPixelsOf(Value::Obj(data->mapBitmap)).get() : nullptr);
  return true;
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
  // The convolution filter's accessors are ASnative(1109, 1) and (1109, 2) on: a
  // getter and its setter per property.
  static const Member convolution[] = {
      {"matrixX", GetMatrixX, SetMatrixX, kEnum, 1109, 1},
      {"matrixY", GetMatrixY, SetMatrixY, kEnum, 1109, 3},
      {"matrix", GetMatrix, SetMatrix, kEnum, 1109, 5},
      {"divisor", GetNumber<&ScriptFilter::divisor>, SetDivisor, kEnum, 1109, 7},
      {"bias", GetNumber<&ScriptFilter::bias>, SetBias, kEnum, 1109, 9},
      {"preserveAlpha", GetBool<&ScriptFilter::preserveAlpha>, SetBool<&ScriptFilter::preserveAlpha>, kEnum, 1109, 11},
      {"clamp", GetBool<&ScriptFilter::clamp>, SetBool<&ScriptFilter::clamp>, kEnum, 1109, 13},
      {"color", GetColor, SetColor, kEnum, 1109, 15},
      {"alpha", GetNumber<&ScriptFilter::alpha>, SetAlpha, kEnum, 1109, 17},
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
