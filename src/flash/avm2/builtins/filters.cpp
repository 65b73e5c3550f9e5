// flash.filters: BitmapFilter and its nine filters, with the values held to the ranges the
// player keeps them in (script/filter_values.h, shared with ActionScript 1/2), the
// constant classes (BitmapFilterQuality, BitmapFilterType, DisplacementMapFilterMode),
// and DisplayObject.filters, which reads and writes copies. The properties convert what
// they are given to their declared types first (Number, uint, int, Boolean, String,
// Array); fields the player keeps as 32-bit floats (a convolution's divisor, bias and
// kernel, a colour matrix, a displacement's scales) read back as such.
#include "flash/avm2/builtins/filters.h"

#include <cmath>

#include "flash/avm2/builtins/bitmap_data.h"
#include "flash/avm2/builtins/geom.h"
#include "flash/avm2/builtins/support.h"
#include "flash/display/display_object.h"
#include "flash/script/filter_values.h"

namespace vantrel::flash::avm2 {

namespace {

using script::FilterValues;

// A filter object: its values; a displacement map's bitmap is `a`.
class FilterObject final : public NativeObject {
 public:
  using NativeObject::NativeObject;
  FilterValues values;
};

template <int K>
Object* AllocateFilter(Machine& m, ClassObject*) {
  auto* o = m.heap.Make<FilterObject>(ObjectKind::Other, nullptr, nullptr);
  o->values = script::DefaultFilter(K);
  o->a = Value::Null();
  return o;
}

FilterObject* AsFilter(const Value& v) { return v.IsObject() ? dynamic_cast<FilterObject*>(v.object) : nullptr; }

FilterObject& This(Machine& m, const Value& self) {
  FilterObject* f = AsFilter(self);
  if (!f) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.filters.BitmapFilter.");
  return *f;
}

ClassObject* FilterClass(Machine& m, int kind) {
  return m.FindClass(std::string("flash.filters.") + script::FilterClassName(kind));
}

// A new filter object holding values (and a displacement map's bitmap).
Value MakeFilter(Machine& m, const FilterValues& values, const Value& mapBitmap) {
  Object* object = m.ConstructClass(FilterClass(m, values.kind), nullptr, 0);
  FilterObject& f = *static_cast<FilterObject*>(object);
  f.values = values;
  f.a = mapBitmap;
  return Value::Obj(object);
}

Value Num(double v) { return Value::Number(v); }
double Float(double v) { return static_cast<float>(v); }
const Value& First(const Value* args, int argc) {
  static const Value kUndefined;
  return argc > 0 ? args[0] : kUndefined;
}

// ---- properties: one getter and one setter for every field, told apart by its tag ----

enum Field {
  kDistance, kAngle, kBlurX, kBlurY, kStrength, kQuality, kColor, kAlpha, kShadowColor, kShadowAlpha, kInner,
  kKnockout, kHideObject, kType, kMatrixX, kMatrixY, kMatrix, kDivisor, kBias, kPreserveAlpha, kClamp, kColors,
  kAlphas, kRatios, kMapBitmap, kMapPoint, kComponentX, kComponentY, kScaleX, kScaleY, kMode,
};

// The elements of an Array argument; null gives none (and `given` false). Anything else
// fails the coercion to Array.
std::vector<Value> ArrayArg(Machine& m, const Value& v, bool& given) {
  given = !v.IsNullish();
  if (!given) return {};
  if (!v.IsObject() || v.object->kind != ObjectKind::Array)
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(v) + " to Array.");
  return static_cast<ArrayObject*>(v.object)->elements;
}

// A list entry as a number; a hole, a missing entry or anything that is no number counts 0.
double Entry(Machine& m, const std::vector<Value>& list, std::size_t i) {
  if (i >= list.size()) return 0;
  const double v = m.ToNumber(list[i]);
  return std::isnan(v) ? 0 : v;
}

template <typename T>
Value NumberArray(Machine& m, const T* first, std::size_t count) {
  std::vector<Value> elements;
  elements.reserve(count);
  for (std::size_t i = 0; i < count; ++i) elements.push_back(Num(static_cast<double>(first[i])));
  return Value::Obj(m.NewArray(std::move(elements)));
}

Value Read(Machine& m, const FilterObject& object, int field) {
  const FilterValues& f = object.values;
  const auto stops = static_cast<std::size_t>(f.count);
  switch (field) {
    case kDistance: return Num(f.distance);
    case kAngle: return Num(script::DegreesFromRadians(f.angle));
    case kBlurX: return Num(f.blurX);
    case kBlurY: return Num(f.blurY);
    case kStrength: return Num(f.strength);
    case kQuality: return Num(f.quality);
    case kColor: return Num(f.color);
    case kAlpha: return Num(f.alpha);
    case kShadowColor: return Num(f.shadowColor);
    case kShadowAlpha: return Num(f.shadowAlpha);
    case kInner: return Value::Bool(f.inner);
    case kKnockout: return Value::Bool(f.knockout);
    case kHideObject: return Value::Bool(f.hideObject);
    case kType: return m.StrValue(script::BevelTypeName(f.type));
    case kMatrixX: return Num(f.matrixX);
    case kMatrixY: return Num(f.matrixY);
    case kMatrix: return NumberArray(m, f.matrix.data(), f.matrix.size());
    case kDivisor: return Num(f.divisor);
    case kBias: return Num(f.bias);
    case kPreserveAlpha: return Value::Bool(f.preserveAlpha);
    case kClamp: return Value::Bool(f.clamp);
    case kColors: return NumberArray(m, f.colors.data(), stops);
    case kAlphas: return NumberArray(m, f.alphas.data(), stops);
    case kRatios: return NumberArray(m, f.ratios.data(), stops);
    case kMapBitmap: return object.a;
    case kMapPoint: return NewPoint(m, f.mapX, f.mapY);
    case kComponentX: return Num(f.componentX);
    case kComponentY: return Num(f.componentY);
    case kScaleX: return Num(f.scaleX);
    case kScaleY: return Num(f.scaleY);
    case kMode: return m.StrValue(script::MapModeName(f.mode));
    default: return Value();
  }
}

// A String property cannot be set to null.
std::string StringArg(Machine& m, const Value& v, const char* name) {
  if (v.IsNullish()) m.ThrowTypeError(2007, std::string("Parameter ") + name + " must be non-null.");
  return m.ToString(v);
}

void AssignList(Machine& m, FilterValues& f, int field, const Value& v) {
  bool given = false;
  const std::vector<Value> list = ArrayArg(m, v, given);
  if (!given) return;
  const int length = static_cast<int>(std::min<std::size_t>(list.size(), script::kMaxGradientStops));
  switch (field) {
    case kMatrix:
      if (f.kind == script::kColorMatrixFilter) {
        // The colour matrix keeps its 20 entries.
        for (std::size_t i = 0; i < 20; ++i) f.matrix[i] = Float(Entry(m, list, i));
      } else {
        f.matrix.assign(std::min<std::size_t>(list.size(), 15 * 15 * 64), 0.0);
        for (std::size_t i = 0; i < f.matrix.size(); ++i) f.matrix[i] = Float(Entry(m, list, i));
        script::FitKernel(f);
      }
      break;
    case kColors:
      // The colours set how many stops there are; fewer ratios cut them.
      f.count = length;
      for (int i = 0; i < f.count; ++i) f.colors[i] = script::ToUint32(Entry(m, list, i)) & 0xffffff;
      break;
    case kAlphas:
      for (int i = 0; i < f.count; ++i)
        f.alphas[i] = script::GradientAlpha(Entry(m, list, static_cast<std::size_t>(i)));
      break;
    default:
      f.count = std::min(f.count, length);
      for (int i = 0; i < f.count; ++i) f.ratios[i] = script::GradientRatio(m.ToNumber(list[i]));
      break;
  }
}

void Assign(Machine& m, FilterObject& object, int field, const Value& v) {
  FilterValues& f = object.values;
  switch (field) {
    case kDistance: f.distance = m.ToNumber(v); break;
    case kAngle: f.angle = script::RadiansFromDegrees(m.ToNumber(v)); break;
    case kBlurX: f.blurX = script::FilterBlur(m.ToNumber(v)); break;
    case kBlurY: f.blurY = script::FilterBlur(m.ToNumber(v)); break;
    case kStrength: f.strength = script::FilterStrength(m.ToNumber(v)); break;
    case kQuality: f.quality = script::FilterQuality(m.ToInt32(v)); break;
    case kColor: f.color = m.ToUint32(v) & 0xffffff; break;
    case kAlpha: f.alpha = script::FilterAlpha(m.ToNumber(v)); break;
    case kShadowColor: f.shadowColor = m.ToUint32(v) & 0xffffff; break;
    case kShadowAlpha: f.shadowAlpha = script::FilterAlpha(m.ToNumber(v)); break;
    case kInner: f.inner = m.ToBoolean(v); break;
    case kKnockout: f.knockout = m.ToBoolean(v); break;
    case kHideObject: f.hideObject = m.ToBoolean(v); break;
    case kType: f.type = script::BevelTypeByName(StringArg(m, v, "type")); break;
    case kMatrixX:
      f.matrixX = script::KernelSide(m.ToInt32(v));
      script::FitKernel(f);
      break;
    case kMatrixY:
      f.matrixY = script::KernelSide(m.ToInt32(v));
      script::FitKernel(f);
      break;
    case kDivisor: f.divisor = Float(m.ToNumber(v)); break;
    case kBias: f.bias = Float(m.ToNumber(v)); break;
    case kPreserveAlpha: f.preserveAlpha = m.ToBoolean(v); break;
    case kClamp: f.clamp = m.ToBoolean(v); break;
    case kMatrix:
    case kColors:
    case kAlphas:
    case kRatios: AssignList(m, f, field, v); break;
    case kMapBitmap:
      if (!v.IsNullish() && !(v.IsObject() && dynamic_cast<BitmapDataObject*>(v.object)))
        m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(v) + " to flash.display.BitmapData.");
      object.a = v.IsNullish() ? Value::Null() : v;
      break;
    case kMapPoint: {
      double x = 0, y = 0;
      if (!v.IsNullish()) PointOf(m, v, x, y);
      f.mapX = script::MapCoordinate(x);
      f.mapY = script::MapCoordinate(y);
      break;
    }
    case kComponentX: f.componentX = static_cast<int>(m.ToUint32(v)); break;
    case kComponentY: f.componentY = static_cast<int>(m.ToUint32(v)); break;
    case kScaleX: f.scaleX = Float(script::DisplacementScale(m.ToNumber(v))); break;
    case kScaleY: f.scaleY = Float(script::DisplacementScale(m.ToNumber(v))); break;
    case kMode: f.mode = script::MapModeByName(StringArg(m, v, "mode")); break;
    default: break;
  }
}

Value Get(Machine& m, const Value& self, const Value*, int) { return Read(m, This(m, self), NativeTag(m)); }
Value Set(Machine& m, const Value& self, const Value* args, int argc) {
  Assign(m, This(m, self), NativeTag(m), First(args, argc));
  return Value();
}

// ---- constructors: the arguments go through the setters in the class's order ----

// The fields each constructor takes, in order.
std::span<const int> ConstructorFields(int kind) {
  static constexpr int kBevel[] = {kDistance, kAngle,  kColor,    kAlpha,   kShadowColor, kShadowAlpha,
                                   kBlurX,    kBlurY,  kStrength, kQuality, kType,        kKnockout};
  static constexpr int kBlur[] = {kBlurX, kBlurY, kQuality};
  static constexpr int kColorMatrix[] = {kMatrix};
  static constexpr int kConvolution[] = {kMatrixX, kMatrixY, kMatrix, kDivisor, kBias,
                                         kPreserveAlpha, kClamp, kColor, kAlpha};
  static constexpr int kDisplacement[] = {kMapBitmap, kMapPoint, kComponentX, kComponentY, kScaleX,
                                          kScaleY,    kMode,     kColor,      kAlpha};
  static constexpr int kDropShadow[] = {kDistance, kAngle,   kColor, kAlpha,    kBlurX,     kBlurY,
                                        kStrength, kQuality, kInner, kKnockout, kHideObject};
  static constexpr int kGlow[] = {kColor, kAlpha, kBlurX, kBlurY, kStrength, kQuality, kInner, kKnockout};
  static constexpr int kGradient[] = {kDistance, kAngle,    kColors,  kAlphas, kRatios,  kBlurX,
                                      kBlurY,    kStrength, kQuality, kType,   kKnockout};
  switch (kind) {
    case script::kBevelFilter: return kBevel;
    case script::kBlurFilter: return kBlur;
    case script::kColorMatrixFilter: return kColorMatrix;
    case script::kConvolutionFilter: return kConvolution;
    case script::kDisplacementMapFilter: return kDisplacement;
    case script::kDropShadowFilter: return kDropShadow;
    case script::kGlowFilter: return kGlow;
    default: return kGradient;
  }
}

template <int K>
Value Construct(Machine& m, const Value& self, const Value* args, int argc) {
  FilterObject& object = This(m, self);
  int i = 0;
  for (const int field : ConstructorFields(K)) {
    if (i >= argc) break;
    Assign(m, object, field, args[i++]);
  }
  return self;
}

Value Clone(Machine& m, const Value& self, const Value*, int) {
  FilterObject& f = This(m, self);
  return MakeFilter(m, f.values, f.a);
}
Value BaseConstruct(Machine&, const Value& self, const Value*, int) { return self; }
Value BaseClone(Machine&, const Value&, const Value*, int) { return Value::Null(); }

// ---- DisplayObject.filters ----

DisplayObject* DisplayOf(Machine& m, const Value& v) {
  if (!v.IsObject() || v.object->kind != ObjectKind::Display || !static_cast<NativeObject*>(v.object)->display)
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(v) + " to flash.display.DisplayObject.");
  return static_cast<NativeObject*>(v.object)->display;
}

Value GetFilters(Machine& m, const Value& self, const Value*, int) {
  DisplayObject* d = DisplayOf(m, self);
  std::vector<Value> list;
  for (const Filter& record : d->filters) {
    FilterValues values;
    if (script::DecodeScriptFilter(record, values)) list.push_back(MakeFilter(m, values, Value::Null()));
  }
  return Value::Obj(m.NewArray(std::move(list)));
}

// Every element must be a filter; null and undefined clear the list.
Value SetFilters(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = DisplayOf(m, self);
  bool given = false;
  const std::vector<Value> list = ArrayArg(m, First(args, argc), given);
  std::vector<Filter> records;
  for (const Value& element : list) {
    const FilterObject* f = AsFilter(element);
    if (!f) m.ThrowError("ArgumentError", 2005, "Parameter 0 is of the incorrect type. Should be type Filter.");
    records.push_back(script::EncodeScriptFilter(f->values));
  }
  d->filters = std::move(records);
  return Value();
}

}  // namespace

bool FilterParamsOf(const Value& filter, FilterParams& params) {
  const FilterObject* f = AsFilter(filter);
  return f && script::ToFilterParams(f->values, params);
}

bool DisplacementOf(const Value& filter, Displacement& displacement) {
  const FilterObject* object = AsFilter(filter);
  if (!object || object->values.kind != script::kDisplacementMapFilter) return false;
  displacement = script::ToDisplacement(object->values, BitmapPixelsOf(object->a));
  return true;
}

void InstallFilters(Machine& m) {
  ClassObject* base = m.DefineClass("flash.filters", "BitmapFilter", m.objectClass, BaseConstruct);
  static const Member kBaseMembers[] = {{"clone", BaseClone, nullptr, 0, 0}};
  Install(m, base, kBaseMembers);

  const auto property = [](const char* name, int tag) { return Member{name, Get, Set, kAccessor, tag}; };
  const Member clone{"clone", Clone, nullptr, 0, 0};
  const Member bevel[] = {property("distance", kDistance), property("angle", kAngle),
                          property("highlightColor", kColor), property("highlightAlpha", kAlpha),
                          property("shadowColor", kShadowColor), property("shadowAlpha", kShadowAlpha),
                          property("blurX", kBlurX), property("blurY", kBlurY), property("strength", kStrength),
                          property("quality", kQuality), property("type", kType), property("knockout", kKnockout),
                          clone};
  const Member blur[] = {property("blurX", kBlurX), property("blurY", kBlurY), property("quality", kQuality), clone};
  const Member colorMatrix[] = {property("matrix", kMatrix), clone};
  const Member convolution[] = {property("matrixX", kMatrixX), property("matrixY", kMatrixY), property("matrix", kMatrix),
                                property("divisor", kDivisor),  property("bias", kBias),
                                property("preserveAlpha", kPreserveAlpha), property("clamp", kClamp),
                                property("color", kColor),       property("alpha", kAlpha),  clone};
  const Member displacement[] = {property("mapBitmap", kMapBitmap), property("mapPoint", kMapPoint),
                                 property("componentX", kComponentX), property("componentY", kComponentY),
                                 property("scaleX", kScaleX), property("scaleY", kScaleY), property("mode", kMode),
                                 property("color", kColor), property("alpha", kAlpha), clone};
  const Member dropShadow[] = {property("distance", kDistance), property("angle", kAngle), property("color", kColor),
                               property("alpha", kAlpha), property("blurX", kBlurX), property("blurY", kBlurY),
                               property("strength", kStrength), property("quality", kQuality),
                               property("inner", kInner), property("knockout", kKnockout),
                               property("hideObject", kHideObject), clone};
  const Member glow[] = {property("color", kColor), property("alpha", kAlpha), property("blurX", kBlurX),
                         property("blurY", kBlurY), property("strength", kStrength), property("quality", kQuality),
                         property("inner", kInner), property("knockout", kKnockout), clone};
  const Member gradient[] = {property("distance", kDistance), property("angle", kAngle), property("colors", kColors),
                             property("alphas", kAlphas), property("ratios", kRatios), property("blurX", kBlurX),
                             property("blurY", kBlurY), property("strength", kStrength),
                             property("quality", kQuality), property("type", kType), property("knockout", kKnockout),
                             clone};
  const struct {
    int kind;
    Native construct;
    Object* (*allocate)(Machine&, ClassObject*);
    std::span<const Member> members;
  } classes[] = {
      {script::kBevelFilter, Construct<script::kBevelFilter>, AllocateFilter<script::kBevelFilter>, bevel},
      {script::kBlurFilter, Construct<script::kBlurFilter>, AllocateFilter<script::kBlurFilter>, blur},
      {script::kColorMatrixFilter, Construct<script::kColorMatrixFilter>, AllocateFilter<script::kColorMatrixFilter>,
       colorMatrix},
      {script::kConvolutionFilter, Construct<script::kConvolutionFilter>, AllocateFilter<script::kConvolutionFilter>,
       convolution},
      {script::kDisplacementMapFilter, Construct<script::kDisplacementMapFilter>,
       AllocateFilter<script::kDisplacementMapFilter>, displacement},
      {script::kDropShadowFilter, Construct<script::kDropShadowFilter>, AllocateFilter<script::kDropShadowFilter>,
       dropShadow},
      {script::kGlowFilter, Construct<script::kGlowFilter>, AllocateFilter<script::kGlowFilter>, glow},
      {script::kGradientBevelFilter, Construct<script::kGradientBevelFilter>,
       AllocateFilter<script::kGradientBevelFilter>, gradient},
      {script::kGradientGlowFilter, Construct<script::kGradientGlowFilter>,
       AllocateFilter<script::kGradientGlowFilter>, gradient},
  };
  for (const auto& c : classes) {
    ClassObject* cls = m.DefineClass("flash.filters", script::FilterClassName(c.kind), base, c.construct);
    cls->allocate = c.allocate;
    Install(m, cls, c.members);
  }

  static const Constant kQuality[] = {{"LOW", 1}, {"MEDIUM", 2}, {"HIGH", 3}};
  Install(m, m.DefineClass("flash.filters", "BitmapFilterQuality", m.objectClass, BaseConstruct), kQuality);
  static const TextConstant kTypes[] = {{"FULL", "full"}, {"INNER", "inner"}, {"OUTER", "outer"}};
  Install(m, m.DefineClass("flash.filters", "BitmapFilterType", m.objectClass, BaseConstruct), kTypes);
  static const TextConstant kModes[] = {{"CLAMP", "clamp"}, {"COLOR", "color"}, {"IGNORE", "ignore"}, {"WRAP", "wrap"}};
  Install(m, m.DefineClass("flash.filters", "DisplacementMapFilterMode", m.objectClass, BaseConstruct), kModes);

  if (ClassObject* display = m.FindClass("flash.display.DisplayObject")) {
    static const Member kDisplayMembers[] = {{"filters", GetFilters, SetFilters, kAccessor, 0}};
    Install(m, display, kDisplayMembers);
  }
}

}  // namespace vantrel::flash::avm2
