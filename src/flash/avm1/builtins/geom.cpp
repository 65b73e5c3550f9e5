// flash.geom: Point, Rectangle and Matrix keep their fields as plain properties (a
// script may store anything in them, and clones copy what is there); arithmetic reads
// them as numbers. ColorTransform keeps numbers in its native slot behind accessors;
// Transform works on a display object's matrix and colour transform.
#include <algorithm>
#include <cmath>

#include <QRectF>
#include <QTransform>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/builtins/filters.h"
#include "flash/display/display_object.h"

namespace vantrel::flash::avm1 {

using data::NumberOf;

namespace {

constexpr const char* kPoint = "flash.geom.Point";
constexpr const char* kRectangle = "flash.geom.Rectangle";
constexpr const char* kMatrix = "flash.geom.Matrix";
constexpr const char* kColorTransform = "flash.geom.ColorTransform";
constexpr const char* kTransform = "flash.geom.Transform";

Value Num(double n) { return Value::Number(n); }

double Field(Call& call, std::string_view name) { return NumberOf(call.machine, call.thisValue, name); }
Value Raw(Call& call, std::string_view name) { return call.machine.GetMember(call.thisValue, name); }
void SetField(Call& call, std::string_view name, const Value& value) {
  if (call.self) call.machine.Set(call.self, name, value);
}

bool IsInstance(MachineInterface& machine, const Value& value, const char* className) {
  Object* object = value.AsObject();
  Object* ctor = data::ConstructorOf(machine.Rt(), className);
  return object && ctor && machine.InstanceOf(object, ctor);
}

Object* MakePoint(MachineInterface& machine, const Value& x, const Value& y) {
  Object* point = data::NewInstance(machine, kPoint);
  point->Define("x", x);
  point->Define("y", y);
  return point;
}

Object* MakeRectangle(MachineInterface& machine, const Value& x, const Value& y, const Value& w, const Value& h) {
  Object* rect = data::NewInstance(machine, kRectangle);
  rect->Define("x", x);
  rect->Define("y", y);
  rect->Define("width", w);
  rect->Define("height", h);
  return rect;
}

// ---- Point ----

Value PointConstruct(Call& call) {
  if (!call.self) return Value();
  if (call.Count() == 0) {
    SetField(call, "x", Num(0));
    SetField(call, "y", Num(0));
  } else {
    SetField(call, "x", call.Arg(0));
    SetField(call, "y", call.Arg(1));
  }
  return Value::Obj(call.self);
}

Value PointLength(Call& call) { return Num(std::hypot(Field(call, "x"), Field(call, "y"))); }

Value PointAdd(Call& call) {
  MachineInterface& m = call.machine;
  return Value::Obj(MakePoint(m, Num(Field(call, "x") + NumberOf(m, call.Arg(0), "x")),
                              Num(Field(call, "y") + NumberOf(m, call.Arg(0), "y"))));
}

Value PointSubtract(Call& call) {
  MachineInterface& m = call.machine;
  return Value::Obj(MakePoint(m, Num(Field(call, "x") - NumberOf(m, call.Arg(0), "x")),
                              Num(Field(call, "y") - NumberOf(m, call.Arg(0), "y"))));
}

Value PointEquals(Call& call) {
  MachineInterface& m = call.machine;
  const Value other = call.Arg(0);
  if (!IsInstance(m, other, kPoint)) return Value::Bool(false);
  return Value::Bool(data::LooselyEqual(m, Raw(call, "x"), m.GetMember(other, "x")) &&
                     data::LooselyEqual(m, Raw(call, "y"), m.GetMember(other, "y")));
}

Value PointClone(Call& call) { return Value::Obj(MakePoint(call.machine, Raw(call, "x"), Raw(call, "y"))); }

Value PointOffset(Call& call) {
  SetField(call, "x", Num(Field(call, "x") + call.machine.ToNumber(call.Arg(0))));
  SetField(call, "y", Num(Field(call, "y") + call.machine.ToNumber(call.Arg(1))));
  return Value();
}

Value PointNormalize(Call& call) {
  const double length = std::hypot(Field(call, "x"), Field(call, "y"));
  if (length > 0) {
    const double ratio = call.machine.ToNumber(call.Arg(0)) / length;
    SetField(call, "x", Num(Field(call, "x") * ratio));
    SetField(call, "y", Num(Field(call, "y") * ratio));
  }
  return Value();
}

Value PointToString(Call& call) {
  MachineInterface& m = call.machine;
  return m.Str("(x=" + m.ToString(Raw(call, "x")) + ", y=" + m.ToString(Raw(call, "y")) + ")");
}

Value PointDistance(Call& call) {
  MachineInterface& m = call.machine;
  const Value b = call.Arg(1);
  const Value difference = m.CallMethod(call.Arg(0), "subtract", std::span<const Value>(&b, 1));
  return m.GetMember(difference, "length");
}

Value PointInterpolate(Call& call) {
  MachineInterface& m = call.machine;
  const double f = m.ToNumber(call.Arg(2));
  const double x1 = NumberOf(m, call.Arg(0), "x"), y1 = NumberOf(m, call.Arg(0), "y");
  const double x2 = NumberOf(m, call.Arg(1), "x"), y2 = NumberOf(m, call.Arg(1), "y");
  return Value::Obj(MakePoint(m, Num(x2 + f * (x1 - x2)), Num(y2 + f * (y1 - y2))));
}

Value PointPolar(Call& call) {
  MachineInterface& m = call.machine;
  const double length = m.ToNumber(call.Arg(0)), angle = m.ToNumber(call.Arg(1));
  return Value::Obj(MakePoint(m, Num(length * std::cos(angle)), Num(length * std::sin(angle))));
}

// ---- Rectangle ----

Value RectangleConstruct(Call& call) {
  if (!call.self) return Value();
  const char* names[] = {"x", "y", "width", "height"};
  for (int i = 0; i < 4; ++i) SetField(call, names[i], call.Count() == 0 ? Num(0) : call.Arg(i));
  return Value::Obj(call.self);
}

Value RectLeft(Call& call) { return Raw(call, "x"); }
Value RectSetLeft(Call& call) {
  const double v = call.machine.ToNumber(call.Arg(0));
  SetField(call, "width", Num(Field(call, "width") + Field(call, "x") - v));
  SetField(call, "x", call.Arg(0));
  return Value();
}
Value RectTop(Call& call) { return Raw(call, "y"); }
Value RectSetTop(Call& call) {
  const double v = call.machine.ToNumber(call.Arg(0));
  SetField(call, "height", Num(Field(call, "height") + Field(call, "y") - v));
  SetField(call, "y", call.Arg(0));
  return Value();
}
Value RectRight(Call& call) { return Num(Field(call, "x") + Field(call, "width")); }
Value RectSetRight(Call& call) {
  SetField(call, "width", Num(call.machine.ToNumber(call.Arg(0)) - Field(call, "x")));
  return Value();
}
Value RectBottom(Call& call) { return Num(Field(call, "y") + Field(call, "height")); }
Value RectSetBottom(Call& call) {
  SetField(call, "height", Num(call.machine.ToNumber(call.Arg(0)) - Field(call, "y")));
  return Value();
}
Value RectTopLeft(Call& call) { return Value::Obj(MakePoint(call.machine, Raw(call, "x"), Raw(call, "y"))); }
Value RectSetTopLeft(Call& call) {
  MachineInterface& m = call.machine;
  const Value p = call.Arg(0);
  const double x = NumberOf(m, p, "x"), y = NumberOf(m, p, "y");
  SetField(call, "width", Num(Field(call, "width") + Field(call, "x") - x));
  SetField(call, "height", Num(Field(call, "height") + Field(call, "y") - y));
  SetField(call, "x", m.GetMember(p, "x"));
  SetField(call, "y", m.GetMember(p, "y"));
  return Value();
}
Value RectBottomRight(Call& call) {
  return Value::Obj(MakePoint(call.machine, RectRight(call), RectBottom(call)));
}
Value RectSetBottomRight(Call& call) {
  MachineInterface& m = call.machine;
  const Value p = call.Arg(0);
  SetField(call, "width", Num(NumberOf(m, p, "x") - Field(call, "x")));
  SetField(call, "height", Num(NumberOf(m, p, "y") - Field(call, "y")));
  return Value();
}
Value RectSize(Call& call) { return Value::Obj(MakePoint(call.machine, Raw(call, "width"), Raw(call, "height"))); }
Value RectSetSize(Call& call) {
  MachineInterface& m = call.machine;
  SetField(call, "width", m.GetMember(call.Arg(0), "x"));
  SetField(call, "height", m.GetMember(call.Arg(0), "y"));
  return Value();
}

Value RectClone(Call& call) {
  return Value::Obj(MakeRectangle(call.machine, Raw(call, "x"), Raw(call, "y"), Raw(call, "width"), Raw(call, "height")));
}

// Empty unless both sides are positive numbers (NaN sides make it empty).
bool RectEmpty(MachineInterface& m, const Value& rect) {
  return !(NumberOf(m, rect, "width") > 0) || !(NumberOf(m, rect, "height") > 0);
}

Value RectIsEmpty(Call& call) { return Value::Bool(RectEmpty(call.machine, call.thisValue)); }

Value RectSetEmpty(Call& call) {
  for (const char* name : {"x", "y", "width", "height"}) SetField(call, name, Num(0));
  return Value();
}

// The comparisons of the script language: `<` gives undefined when either side is
// NaN, `>=` is its negation (so NaN counts as true there), and `&&` stops at the first
// value that is not true, giving that value.
Value Less(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return Value();
  return Value::Bool(a < b);
}
Value NotLess(double a, double b) {
  const Value less = Less(a, b);
  return Value::Bool(!(less.IsBoolean() && less.boolean));
}
Value Inside(Call& call, double x, double y) {
  const double left = Field(call, "x"), top = Field(call, "y");
  const double right = left + Field(call, "width"), bottom = top + Field(call, "height");
  // Evaluated lazily in this order, as the player does.
  Value v = NotLess(x, left);
  if (!(v.IsBoolean() && v.boolean)) return v;
  v = NotLess(y, top);
  if (!(v.IsBoolean() && v.boolean)) return v;
  v = Less(x, right);
  if (!(v.IsBoolean() && v.boolean)) return v;
  return Less(y, bottom);
}

Value RectContains(Call& call) {
  MachineInterface& m = call.machine;
  return Inside(call, m.ToNumber(call.Arg(0)), m.ToNumber(call.Arg(1)));
}

Value RectContainsPoint(Call& call) {
  MachineInterface& m = call.machine;
  return Inside(call, NumberOf(m, call.Arg(0), "x"), NumberOf(m, call.Arg(0), "y"));
}

struct Box {
  double left, top, right, bottom;
};
Box BoxOf(MachineInterface& m, const Value& rect) {
  const double x = NumberOf(m, rect, "x"), y = NumberOf(m, rect, "y");
  return {x, y, x + NumberOf(m, rect, "width"), y + NumberOf(m, rect, "height")};
}

Value RectContainsRectangle(Call& call) {
  MachineInterface& m = call.machine;
  const Box a = BoxOf(m, call.thisValue), b = BoxOf(m, call.Arg(0));
  // A rectangle with a side that is no number is neither inside nor outside.
  for (const double v : {b.left, b.top, b.right, b.bottom}) {
    if (std::isnan(v)) return Value();
  }
  return Value::Bool(b.left >= a.left && b.top >= a.top && b.right <= a.right && b.bottom <= a.bottom);
}

Value RectIntersects(Call& call) {
  MachineInterface& m = call.machine;
  const Box a = BoxOf(m, call.thisValue), b = BoxOf(m, call.Arg(0));
  return Value::Bool(a.left < b.right && a.right > b.left && a.top < b.bottom && a.bottom > b.top);
}

Value RectIntersection(Call& call) {
  MachineInterface& m = call.machine;
  if (RectEmpty(m, call.thisValue) || RectEmpty(m, call.Arg(0)))
    return Value::Obj(MakeRectangle(m, Num(0), Num(0), Num(0), Num(0)));
  const Box a = BoxOf(m, call.thisValue), b = BoxOf(m, call.Arg(0));
  const double left = std::max(a.left, b.left), top = std::max(a.top, b.top);
  const double right = std::min(a.right, b.right), bottom = std::min(a.bottom, b.bottom);
  if (!(right > left) || !(bottom > top)) return Value::Obj(MakeRectangle(m, Num(0), Num(0), Num(0), Num(0)));
  return Value::Obj(MakeRectangle(m, Num(left), Num(top), Num(right - left), Num(bottom - top)));
}

// Math.min and Math.max: NaN on either side gives NaN.
double Min(double a, double b) { return std::isnan(a) || std::isnan(b) ? a + b : std::min(a, b); }
double Max(double a, double b) { return std::isnan(a) || std::isnan(b) ? a + b : std::max(a, b); }

Value RectUnion(Call& call) {
  MachineInterface& m = call.machine;
  const Box a = BoxOf(m, call.thisValue), b = BoxOf(m, call.Arg(0));
  const double left = Min(a.left, b.left), top = Min(a.top, b.top);
  const double right = Max(a.right, b.right), bottom = Max(a.bottom, b.bottom);
  return Value::Obj(MakeRectangle(m, Num(left), Num(top), Num(right - left), Num(bottom - top)));
}

void Inflate(Call& call, double dx, double dy) {
  SetField(call, "x", Num(Field(call, "x") - dx));
  SetField(call, "width", Num(Field(call, "width") + 2 * dx));
  SetField(call, "y", Num(Field(call, "y") - dy));
  SetField(call, "height", Num(Field(call, "height") + 2 * dy));
}

Value RectInflate(Call& call) {
  Inflate(call, call.machine.ToNumber(call.Arg(0)), call.machine.ToNumber(call.Arg(1)));
  return Value();
}

Value RectInflatePoint(Call& call) {
  Inflate(call, NumberOf(call.machine, call.Arg(0), "x"), NumberOf(call.machine, call.Arg(0), "y"));
  return Value();
}

void Offset(Call& call, double dx, double dy) {
  SetField(call, "x", Num(Field(call, "x") + dx));
  SetField(call, "y", Num(Field(call, "y") + dy));
}

Value RectOffset(Call& call) {
  Offset(call, call.machine.ToNumber(call.Arg(0)), call.machine.ToNumber(call.Arg(1)));
  return Value();
}

Value RectOffsetPoint(Call& call) {
  Offset(call, NumberOf(call.machine, call.Arg(0), "x"), NumberOf(call.machine, call.Arg(0), "y"));
  return Value();
}

Value RectEquals(Call& call) {
  MachineInterface& m = call.machine;
  const Value other = call.Arg(0);
  if (!IsInstance(m, other, kRectangle)) return Value::Bool(false);
  for (const char* name : {"x", "y", "width", "height"}) {
    if (!data::LooselyEqual(m, Raw(call, name), m.GetMember(other, name))) return Value::Bool(false);
  }
  return Value::Bool(true);
}

Value RectToString(Call& call) {
  MachineInterface& m = call.machine;
  return m.Str("(x=" + m.ToString(Raw(call, "x")) + ", y=" + m.ToString(Raw(call, "y")) +
               ", w=" + m.ToString(Raw(call, "width")) + ", h=" + m.ToString(Raw(call, "height")) + ")");
}

// ---- Matrix ----

constexpr const char* kMatrixFields[] = {"a", "b", "c", "d", "tx", "ty"};

Object* MakeMatrix(MachineInterface& machine, const double (&v)[6]) {
  Object* matrix = data::NewInstance(machine, kMatrix);
  for (int i = 0; i < 6; ++i) matrix->Define(kMatrixFields[i], Num(v[i]));
  return matrix;
}

struct Affine {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
};

Affine AffineOf(MachineInterface& m, const Value& matrix) {
  return {NumberOf(m, matrix, "a"), NumberOf(m, matrix, "b"), NumberOf(m, matrix, "c"),
          NumberOf(m, matrix, "d"), NumberOf(m, matrix, "tx"), NumberOf(m, matrix, "ty")};
}

void Store(Call& call, const Affine& x) {
  const double v[6] = {x.a, x.b, x.c, x.d, x.tx, x.ty};
  for (int i = 0; i < 6; ++i) SetField(call, kMatrixFields[i], Num(v[i]));
}

Value MatrixConstruct(Call& call) {
  if (!call.self) return Value();
  if (call.Count() == 0) {
    Store(call, Affine{});
  } else {
    for (int i = 0; i < 6; ++i) SetField(call, kMatrixFields[i], call.Arg(i));
  }
  return Value::Obj(call.self);
}

Value MatrixClone(Call& call) {
  Object* copy = data::NewInstance(call.machine, kMatrix);
  for (const char* name : kMatrixFields) copy->Define(name, Raw(call, name));
  return Value::Obj(copy);
}

Value MatrixIdentity(Call& call) {
  Store(call, Affine{});
  return Value();
}

// this followed by other (the matrix that maps through this, then through other).
Affine Then(const Affine& x, const Affine& o) {
  return {x.a * o.a + x.b * o.c,          x.a * o.b + x.b * o.d,          x.c * o.a + x.d * o.c,
          x.c * o.b + x.d * o.d,          x.tx * o.a + x.ty * o.c + o.tx, x.tx * o.b + x.ty * o.d + o.ty};
}

Value MatrixConcat(Call& call) {
  MachineInterface& m = call.machine;
  Store(call, Then(AffineOf(m, call.thisValue), AffineOf(m, call.Arg(0))));
  return Value();
}

Value MatrixInvert(Call& call) {
  const Affine x = AffineOf(call.machine, call.thisValue);
  const double det = x.a * x.d - x.b * x.c;
  if (det == 0) {
    Store(call, Affine{});
    return Value();
  }
  Store(call, Affine{x.d / det, -x.b / det, -x.c / det, x.a / det, (x.c * x.ty - x.d * x.tx) / det,
                     (x.b * x.tx - x.a * x.ty) / det});
  return Value();
}

Value MatrixRotate(Call& call) {
  const double angle = call.machine.ToNumber(call.Arg(0));
  const double cos = std::cos(angle), sin = std::sin(angle);
  Store(call, Then(AffineOf(call.machine, call.thisValue), Affine{cos, sin, -sin, cos, 0, 0}));
  return Value();
}

Value MatrixScale(Call& call) {
  const double sx = call.machine.ToNumber(call.Arg(0)), sy = call.machine.ToNumber(call.Arg(1));
  Store(call, Then(AffineOf(call.machine, call.thisValue), Affine{sx, 0, 0, sy, 0, 0}));
  return Value();
}

Value MatrixTranslate(Call& call) {
  SetField(call, "tx", Num(Field(call, "tx") + call.machine.ToNumber(call.Arg(0))));
  SetField(call, "ty", Num(Field(call, "ty") + call.machine.ToNumber(call.Arg(1))));
  return Value();
}

Value MatrixCreateBox(Call& call) {
  MachineInterface& m = call.machine;
  const double sx = m.ToNumber(call.Arg(0)), sy = m.ToNumber(call.Arg(1));
  const double rotation = m.ToNumber(call.Arg(2));
  const double tx = call.Count() > 3 ? m.ToNumber(call.Arg(3)) : 0;
  const double ty = call.Count() > 4 ? m.ToNumber(call.Arg(4)) : 0;
  const double cos = std::cos(rotation), sin = std::sin(rotation);
  Store(call, Affine{sx * cos, sy * sin, -sx * sin, sy * cos, tx, ty});
  return Value();
}

Value MatrixCreateGradientBox(Call& call) {
  MachineInterface& m = call.machine;
  const double width = m.ToNumber(call.Arg(0)), height = m.ToNumber(call.Arg(1));
  const double rotation = call.Count() > 2 ? m.ToNumber(call.Arg(2)) : 0;
  const double tx = call.Count() > 3 ? m.ToNumber(call.Arg(3)) : 0;
  const double ty = call.Count() > 4 ? m.ToNumber(call.Arg(4)) : 0;
  // The gradient square is 1638.4 pixels (32768 twips) wide.
  const double sx = width / 1638.4, sy = height / 1638.4;
  const double cos = std::cos(rotation), sin = std::sin(rotation);
  Store(call, Affine{sx * cos, sy * sin, -sx * sin, sy * cos, tx + width / 2, ty + height / 2});
  return Value();
}

Value MatrixTransformPoint(Call& call) {
  MachineInterface& m = call.machine;
  const Affine x = AffineOf(m, call.thisValue);
  const double px = NumberOf(m, call.Arg(0), "x"), py = NumberOf(m, call.Arg(0), "y");
  return Value::Obj(MakePoint(m, Num(x.a * px + x.c * py + x.tx), Num(x.b * px + x.d * py + x.ty)));
}

Value MatrixDeltaTransformPoint(Call& call) {
  MachineInterface& m = call.machine;
  const Affine x = AffineOf(m, call.thisValue);
  const double px = NumberOf(m, call.Arg(0), "x"), py = NumberOf(m, call.Arg(0), "y");
  return Value::Obj(MakePoint(m, Num(x.a * px + x.c * py), Num(x.b * px + x.d * py)));
}

Value MatrixToString(Call& call) {
  MachineInterface& m = call.machine;
  std::string text = "(";
  for (int i = 0; i < 6; ++i) {
    if (i) text += ", ";
    text += kMatrixFields[i];
    text += "=" + m.ToString(Raw(call, kMatrixFields[i]));
  }
  return m.Str(text + ")");
}

// ---- ColorTransform ----

class ColorTransformData final : public NativeData {
 public:
  ColorTransform value;
};

ColorTransformData* CtOf(const Value& v) {
  Object* o = v.AsObject();
  return o ? o->Data<ColorTransformData>() : nullptr;
}

Object* MakeColorTransform(MachineInterface& machine, const ColorTransform& value) {
  Object* object = data::NewInstance(machine, kColorTransform);
  auto native = std::make_unique<ColorTransformData>();
  native->value = value;
  object->kind = NativeKind::Other;
  object->native = std::move(native);
  return object;
}

Value CtConstruct(Call& call) {
  if (!call.self) return Value();
  auto native = std::make_unique<ColorTransformData>();
  ColorTransform& ct = native->value;
  double* fields[] = {&ct.mulR, &ct.mulG, &ct.mulB, &ct.mulA, &ct.addR, &ct.addG, &ct.addB, &ct.addA};
  for (std::size_t i = 0; i < 8; ++i) {
    if (i < call.Count()) *fields[i] = call.machine.ToNumber(call.Arg(i));
  }
  call.self->kind = NativeKind::Other;
  call.self->native = std::move(native);
  return Value::Obj(call.self);
}

template <double ColorTransform::*Field>
Value CtGet(Call& call) {
  ColorTransformData* data = CtOf(call.thisValue);
  return data ? Num(data->value.*Field) : Value();
}

template <double ColorTransform::*Field>
Value CtSet(Call& call) {
  if (ColorTransformData* data = CtOf(call.thisValue)) data->value.*Field = call.machine.ToNumber(call.Arg(0));
  return Value();
}

Value CtRgb(Call& call) {
  ColorTransformData* data = CtOf(call.thisValue);
  if (!data) return Value();
  const ColorTransform& ct = data->value;
  return Num(static_cast<double>((ToInt32(ct.addR) << 16) | (ToInt32(ct.addG) << 8) | ToInt32(ct.addB)));
}

Value CtSetRgb(Call& call) {
  ColorTransformData* data = CtOf(call.thisValue);
  if (!data) return Value();
  const std::uint32_t rgb = ToUint32(call.machine.ToNumber(call.Arg(0)));
  ColorTransform& ct = data->value;
  ct.mulR = ct.mulG = ct.mulB = 0;
  ct.addR = (rgb >> 16) & 255;
  ct.addG = (rgb >> 8) & 255;
  ct.addB = rgb & 255;
  return Value();
}

Value CtConcat(Call& call) {
  ColorTransformData* data = CtOf(call.thisValue);
  ColorTransformData* other = CtOf(call.Arg(0));
  if (!data || !other) return Value();
  data->value = data->value * other->value;
  return Value();
}

Value CtToString(Call& call) {
  ColorTransformData* data = CtOf(call.thisValue);
  if (!data) return call.machine.Str("[object Object]");
  const ColorTransform& ct = data->value;
  return call.machine.Str("(redMultiplier=" + NumberToString(ct.mulR) + ", greenMultiplier=" + NumberToString(ct.mulG) +
                          ", blueMultiplier=" + NumberToString(ct.mulB) + ", alphaMultiplier=" +
                          NumberToString(ct.mulA) + ", redOffset=" + NumberToString(ct.addR) + ", greenOffset=" +
                          NumberToString(ct.addG) + ", blueOffset=" + NumberToString(ct.addB) +
                          ", alphaOffset=" + NumberToString(ct.addA) + ")");
}

// ---- Transform ----

class TransformData final : public NativeData {
 public:
  Object* clip = nullptr;
  void Trace(gc::Tracer& tracer) const override { tracer.Mark(clip); }
};

DisplayObject* TargetOf(Call& call) {
  Object* self = call.thisValue.AsObject();
  TransformData* data = self ? self->Data<TransformData>() : nullptr;
  return data && data->clip ? call.machine.AsDisplay(data->clip) : nullptr;
}

Value TransformConstruct(Call& call) {
  if (!call.self) return Value();
  Object* clip = call.Arg(0).AsObject();
  if (!clip || !call.machine.AsDisplay(clip)) return Value();
  auto native = std::make_unique<TransformData>();
  native->clip = clip;
  call.self->kind = NativeKind::Other;
  call.self->native = std::move(native);
  return Value::Obj(call.self);
}

// Display matrices keep translations in twips; scripts see pixels.
Object* MatrixFromDisplay(MachineInterface& m, const Matrix& x) {
  const double v[6] = {x.a, x.b, x.c, x.d, x.tx / 20.0, x.ty / 20.0};
  return MakeMatrix(m, v);
}

Value TransformMatrix(Call& call) {
  DisplayObject* target = TargetOf(call);
  return target ? Value::Obj(MatrixFromDisplay(call.machine, target->GetMatrix())) : Value();
}

Value TransformSetMatrix(Call& call) {
  DisplayObject* target = TargetOf(call);
  if (!target || !IsInstance(call.machine, call.Arg(0), kMatrix)) return Value();
  const Affine x = AffineOf(call.machine, call.Arg(0));
  Matrix matrix;
  matrix.a = x.a;
  matrix.b = x.b;
  matrix.c = x.c;
  matrix.d = x.d;
  matrix.tx = std::round(x.tx * 20);
  matrix.ty = std::round(x.ty * 20);
  target->SetMatrix(matrix);
  return Value();
}

Value TransformConcatenatedMatrix(Call& call) {
  DisplayObject* target = TargetOf(call);
  if (!target) return Value();
  const QTransform t = target->ToStage();
  Matrix matrix;
  matrix.a = t.m11();
  matrix.b = t.m12();
  matrix.c = t.m21();
  matrix.d = t.m22();
  matrix.tx = t.dx();
  matrix.ty = t.dy();
  return Value::Obj(MatrixFromDisplay(call.machine, matrix));
}

Value TransformColorTransform(Call& call) {
  DisplayObject* target = TargetOf(call);
  return target ? Value::Obj(MakeColorTransform(call.machine, target->GetColorTransform())) : Value();
}

Value TransformSetColorTransform(Call& call) {
  DisplayObject* target = TargetOf(call);
  ColorTransformData* ct = CtOf(call.Arg(0));
  if (target && ct) target->SetColorTransform(ct->value);
  return Value();
}

// A colour transform as a display object holds it: 8.8 fixed-point multipliers and
// 16-bit offsets, both wrapping.
ColorTransform Stored(const ColorTransform& ct) {
  const auto multiplier = [](double v) { return static_cast<std::int16_t>(ToInt32(std::trunc(v * 256))) / 256.0; };
  const auto offset = [](double v) { return static_cast<double>(static_cast<std::int16_t>(ToInt32(std::floor(v)))); };
  ColorTransform out;
  out.mulR = multiplier(ct.mulR);
  out.mulG = multiplier(ct.mulG);
  out.mulB = multiplier(ct.mulB);
  out.mulA = multiplier(ct.mulA);
  out.addR = offset(ct.addR);
  out.addG = offset(ct.addG);
  out.addB = offset(ct.addB);
  out.addA = offset(ct.addA);
  return out;
}

Value TransformConcatenatedColorTransform(Call& call) {
  DisplayObject* target = TargetOf(call);
  if (!target) return Value();
  ColorTransform combined = target->GetColorTransform();
  // Up the parents through their script objects (_parent), which every container has.
  Object* object = ScriptObjectOf(target);
  for (int depth = 0; object && depth < 10000; ++depth) {
    object = call.machine.Get(object, "_parent").AsObject();
    DisplayObject* parent = object ? call.machine.AsDisplay(object) : nullptr;
    if (!parent) break;
    combined = Stored(parent->GetColorTransform() * combined);
  }
  return Value::Obj(MakeColorTransform(call.machine, combined));
}

Value TransformPixelBounds(Call& call) {
  DisplayObject* target = TargetOf(call);
  if (!target) return Value();
  const QRectF bounds = target->ToStage().mapRect(target->LocalBounds());
  return Value::Obj(MakeRectangle(call.machine, Num(bounds.x() / 20), Num(bounds.y() / 20), Num(bounds.width() / 20),
                                  Num(bounds.height() / 20)));
}

// MovieClip.transform: a new Transform of the clip at every read; setting one copies
// the other clip's matrix and colour transform.
Value ClipTransform(Call& call) {
  MachineInterface& m = call.machine;
  if (!call.self || !m.AsDisplay(call.self)) return Value();
  Object* ctor = data::ConstructorOf(m.Rt(), kTransform);
  if (!ctor) return Value();
  const Value clip = Value::Obj(call.self);
  return Value::Obj(m.Construct(ctor, std::span<const Value>(&clip, 1)));
}

Value SetClipTransform(Call& call) {
  MachineInterface& m = call.machine;
  DisplayObject* target = call.self ? m.AsDisplay(call.self) : nullptr;
  Object* other = call.Arg(0).AsObject();
  TransformData* data = other ? other->Data<TransformData>() : nullptr;
  DisplayObject* source = data && data->clip ? m.AsDisplay(data->clip) : nullptr;
  if (!target || !source) return Value();
  const Matrix matrix = source->GetMatrix();
  const ColorTransform color = source->GetColorTransform();
  target->SetMatrix(matrix);
  target->SetColorTransform(color);
  target->transformedByScript = true;
  return Value();
}

}  // namespace

bool ColorTransformOf(const Value& value, ColorTransform& transform) {
  ColorTransformData* data = CtOf(value);
  if (!data) return false;
  transform = data->value;
  return true;
}

void InstallGeom(Runtime& rt) {
  Object* geom = data::Package(rt, "flash.geom");

  Object* point = rt.MakeClass(PointConstruct, PointConstruct);
  data::RegisterClass(rt, geom, kPoint, point);
  static const Member pointMembers[] = {
      {"length", PointLength, nullptr, kDontEnum | kGetterOnly},
      {"add", PointAdd},
      {"subtract", PointSubtract},
      {"equals", PointEquals},
      {"clone", PointClone},
      {"offset", PointOffset},
      {"normalize", PointNormalize},
      {"toString", PointToString},
  };
  rt.AddMembers(data::PrototypeOf(point), pointMembers);
  static const Member pointStatics[] = {
      {"distance", PointDistance},
      {"interpolate", PointInterpolate},
      {"polar", PointPolar},
  };
  rt.AddMembers(point, pointStatics);

  Object* rectangle = rt.MakeClass(RectangleConstruct, RectangleConstruct);
  data::RegisterClass(rt, geom, kRectangle, rectangle);
  static const Member rectangleMembers[] = {
      {"left", RectLeft, RectSetLeft},
      {"top", RectTop, RectSetTop},
      {"right", RectRight, RectSetRight},
      {"bottom", RectBottom, RectSetBottom},
      {"topLeft", RectTopLeft, RectSetTopLeft},
      {"bottomRight", RectBottomRight, RectSetBottomRight},
      {"size", RectSize, RectSetSize},
      {"clone", RectClone},
      {"isEmpty", RectIsEmpty},
      {"setEmpty", RectSetEmpty},
      {"contains", RectContains},
      {"containsPoint", RectContainsPoint},
      {"containsRectangle", RectContainsRectangle},
      {"intersects", RectIntersects},
      {"intersection", RectIntersection},
      {"union", RectUnion},
      {"inflate", RectInflate},
      {"inflatePoint", RectInflatePoint},
      {"offset", RectOffset},
      {"offsetPoint", RectOffsetPoint},
      {"equals", RectEquals},
      {"toString", RectToString},
  };
  rt.AddMembers(data::PrototypeOf(rectangle), rectangleMembers);

  Object* matrix = rt.MakeClass(MatrixConstruct, MatrixConstruct);
  data::RegisterClass(rt, geom, kMatrix, matrix);
  static const Member matrixMembers[] = {
      {"clone", MatrixClone},
      {"concat", MatrixConcat},
      {"createBox", MatrixCreateBox},
      {"createGradientBox", MatrixCreateGradientBox},
      {"deltaTransformPoint", MatrixDeltaTransformPoint},
      {"identity", MatrixIdentity},
      {"invert", MatrixInvert},
      {"rotate", MatrixRotate},
      {"scale", MatrixScale},
      {"transformPoint", MatrixTransformPoint},
      {"translate", MatrixTranslate},
      {"toString", MatrixToString},
  };
  rt.AddMembers(data::PrototypeOf(matrix), matrixMembers);

  // The colour transform's members are enumerable, in this order of definition.
  Object* colorTransform = rt.MakeClass(CtConstruct, CtConstruct);
  data::RegisterClass(rt, geom, kColorTransform, colorTransform);
  static const Member ctMembers[] = {
      {"alphaMultiplier", CtGet<&ColorTransform::mulA>, CtSet<&ColorTransform::mulA>, 0},
      {"redMultiplier", CtGet<&ColorTransform::mulR>, CtSet<&ColorTransform::mulR>, 0},
      {"greenMultiplier", CtGet<&ColorTransform::mulG>, CtSet<&ColorTransform::mulG>, 0},
      {"blueMultiplier", CtGet<&ColorTransform::mulB>, CtSet<&ColorTransform::mulB>, 0},
      {"alphaOffset", CtGet<&ColorTransform::addA>, CtSet<&ColorTransform::addA>, 0},
      {"redOffset", CtGet<&ColorTransform::addR>, CtSet<&ColorTransform::addR>, 0},
      {"greenOffset", CtGet<&ColorTransform::addG>, CtSet<&ColorTransform::addG>, 0},
      {"blueOffset", CtGet<&ColorTransform::addB>, CtSet<&ColorTransform::addB>, 0},
      {"rgb", CtRgb, CtSetRgb, 0},
      {"concat", CtConcat, nullptr, 0},
      {"toString", CtToString, nullptr, 0},
  };
  rt.AddMembers(data::PrototypeOf(colorTransform), ctMembers);

  Object* transform = rt.MakeClass(TransformConstruct, TransformConstruct);
  data::RegisterClass(rt, geom, kTransform, transform);
  static const Member transformMembers[] = {
      {"matrix", TransformMatrix, TransformSetMatrix},
      {"concatenatedMatrix", TransformConcatenatedMatrix, nullptr, kDontEnum | kGetterOnly},
      {"colorTransform", TransformColorTransform, TransformSetColorTransform},
      {"concatenatedColorTransform", TransformConcatenatedColorTransform, nullptr, kDontEnum | kGetterOnly},
      {"pixelBounds", TransformPixelBounds, nullptr, kDontEnum | kGetterOnly},
  };
  rt.AddMembers(data::PrototypeOf(transform), transformMembers);
}

void InstallClipTransform(Runtime& rt) {
  static const Member clipMembers[] = {
      {"transform", ClipTransform, SetClipTransform, kDontEnum | kVersion8},
  };
  if (rt.movieClipProto) rt.AddMembers(rt.movieClipProto, clipMembers);
}

}  // namespace vantrel::flash::avm1
