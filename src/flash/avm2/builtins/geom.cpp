// flash.geom: Point, Rectangle, Matrix, ColorTransform and Vector3D. Each keeps its numbers in
// the object's list, in the order of its constructor's arguments.
#include <algorithm>
#include <cmath>

#include "flash/avm2/builtins/geom.h"
#include "flash/avm2/builtins/support.h"

namespace vantrel::flash::avm2 {

namespace {

enum class Geom { Point, Rectangle, Matrix, ColorTransform, Vector3D };

constexpr const char* kClassNames[] = {"Point", "Rectangle", "Matrix", "ColorTransform", "Vector3D"};
constexpr std::size_t kFieldCounts[] = {2, 4, 6, 8, 4};


// The receiver's numbers when it is an object of the class (or of a subclass).
std::vector<Value>& Fields(Machine& m, const Value& self, Geom geom) {
  const std::size_t n = kFieldCounts[static_cast<int>(geom)];
  if (self.IsObject() && self.object->kind == ObjectKind::Other) {
    auto* o = static_cast<NativeObject*>(self.object);
    for (ClassObject* c = o->cls; c; c = c->base) {
      if (c->package == "flash.geom" && c->name == kClassNames[static_cast<int>(geom)]) {
        if (o->list.size() != n) o->list.resize(n, Value::Number(0));
        return o->list;
      }
    }
  }
  m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.geom." +
                             kClassNames[static_cast<int>(geom)] + ".");
}

double Num(Machine& m, const Value& self, Geom geom, int index) { return m.ToNumber(Fields(m, self, geom)[index]); }
void SetNum(Machine& m, const Value& self, Geom geom, int index, double v) { Fields(m, self, geom)[index] = Value::Number(v); }

template <Geom G, int I>
Value GetFieldOf(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(Num(m, self, G, I));
}
template <Geom G, int I>
Value SetFieldOf(Machine& m, const Value& self, const Value* args, int argc) {
  SetNum(m, self, G, I, m.ToNumber(Arg(args, argc, 0)));
  return Value();
}

ClassObject* GeomClass(Machine& m, Geom geom) { return m.FindClass(std::string("flash.geom.") + kClassNames[static_cast<int>(geom)]); }

Value Make(Machine& m, Geom geom, std::initializer_list<double> numbers) {
  std::vector<Value> args;
  for (double n : numbers) args.push_back(Value::Number(n));
  return Value::Obj(m.ConstructClass(GeomClass(m, geom), args.data(), static_cast<int>(args.size())));
}

std::string Format(Machine& m, std::initializer_list<std::pair<const char*, double>> parts) {
  std::string out = "(";
  for (const auto& [name, value] : parts) {
    if (out.size() > 1) out += ", ";
    out += std::string(name) + "=" + m.ToString(Value::Number(value));
  }
  return out + ")";
}

// Fills the receiver from the constructor's arguments (defaults when they are missing).
// The parameters are typed Number, so an undefined argument is NaN, not the default.
template <Geom G>
Value ConstructGeom(Machine& m, const Value& self, const Value* args, int argc) {
  std::vector<Value>& f = Fields(m, self, G);
  for (std::size_t i = 0; i < f.size(); ++i) {
    double fallback = 0;
    if (G == Geom::Matrix && (i == 0 || i == 3)) fallback = 1;
    if (G == Geom::ColorTransform && i < 4) fallback = 1;
    f[i] = Value::Number(static_cast<int>(i) < argc ? m.ToNumber(args[i]) : fallback);
  }
  return Value::Obj(self.object);
}

// ---- Point ----
double PX(Machine& m, const Value& p) { return Num(m, p, Geom::Point, 0); }
double PY(Machine& m, const Value& p) { return Num(m, p, Geom::Point, 1); }

Value PointLength(Machine& m, const Value& s, const Value*, int) { return Value::Number(std::hypot(PX(m, s), PY(m, s))); }
Value PointAdd(Machine& m, const Value& s, const Value* a, int n) {
  const Value o = Arg(a, n, 0);
  return Make(m, Geom::Point, {PX(m, s) + PX(m, o), PY(m, s) + PY(m, o)});
}
Value PointSubtract(Machine& m, const Value& s, const Value* a, int n) {
  const Value o = Arg(a, n, 0);
  return Make(m, Geom::Point, {PX(m, s) - PX(m, o), PY(m, s) - PY(m, o)});
}
Value PointEquals(Machine& m, const Value& s, const Value* a, int n) {
  const Value o = Arg(a, n, 0);
  return Value::Bool(PX(m, s) == PX(m, o) && PY(m, s) == PY(m, o));
}
Value PointNormalize(Machine& m, const Value& s, const Value* a, int n) {
  const double length = std::hypot(PX(m, s), PY(m, s));
  if (length > 0) {
    const double k = NumArg(m, a, n, 0, 0) / length;
    SetNum(m, s, Geom::Point, 0, PX(m, s) * k);
    SetNum(m, s, Geom::Point, 1, PY(m, s) * k);
  }
  return Value();
}
Value PointOffset(Machine& m, const Value& s, const Value* a, int n) {
  SetNum(m, s, Geom::Point, 0, PX(m, s) + NumArg(m, a, n, 0, 0));
  SetNum(m, s, Geom::Point, 1, PY(m, s) + NumArg(m, a, n, 1, 0));
  return Value();
}
Value PointToString(Machine& m, const Value& s, const Value*, int) {
  return m.StrValue(Format(m, {{"x", PX(m, s)}, {"y", PY(m, s)}}));
}
Value PointDistance(Machine& m, const Value&, const Value* a, int n) {
  const Value p = Arg(a, n, 0), q = Arg(a, n, 1);
  return Value::Number(std::hypot(PX(m, p) - PX(m, q), PY(m, p) - PY(m, q)));
}
Value PointInterpolate(Machine& m, const Value&, const Value* a, int n) {
  const Value p = Arg(a, n, 0), q = Arg(a, n, 1);
  const double f = NumArg(m, a, n, 2, 0);
  return Make(m, Geom::Point, {PX(m, q) + f * (PX(m, p) - PX(m, q)), PY(m, q) + f * (PY(m, p) - PY(m, q))});
}
Value PointPolar(Machine& m, const Value&, const Value* a, int n) {
  const double length = NumArg(m, a, n, 0, 0), angle = NumArg(m, a, n, 1, 0);
  return Make(m, Geom::Point, {length * std::cos(angle), length * std::sin(angle)});
}

// ---- Rectangle ----
struct Rect {
  double x, y, w, h;
};
Rect R(Machine& m, const Value& r) {
  const std::vector<Value>& f = Fields(m, r, Geom::Rectangle);
  return {m.ToNumber(f[0]), m.ToNumber(f[1]), m.ToNumber(f[2]), m.ToNumber(f[3])};
}
void SetR(Machine& m, const Value& r, const Rect& v) {
  std::vector<Value>& f = Fields(m, r, Geom::Rectangle);
  f = {Value::Number(v.x), Value::Number(v.y), Value::Number(v.w), Value::Number(v.h)};
}
// NaN sizes are not empty: the player asks whether a size is at most zero.
bool Empty(const Rect& r) { return r.w <= 0 || r.h <= 0; }
Value MakeRect(Machine& m, const Rect& r) { return Make(m, Geom::Rectangle, {r.x, r.y, r.w, r.h}); }

// left/right/top/bottom: 0 left, 1 right, 2 top, 3 bottom (moving an edge keeps the other).
template <int E>
Value RectEdge(Machine& m, const Value& s, const Value*, int) {
  const Rect r = R(m, s);
  return Value::Number(E == 0 ? r.x : E == 1 ? r.x + r.w : E == 2 ? r.y : r.y + r.h);
}
template <int E>
Value SetRectEdge(Machine& m, const Value& s, const Value* a, int n) {
  Rect r = R(m, s);
  const double v = NumArg(m, a, n, 0, NAN);
  if (E == 0) { r.w += r.x - v; r.x = v; }
  if (E == 1) r.w = v - r.x;
  if (E == 2) { r.h += r.y - v; r.y = v; }
  if (E == 3) r.h = v - r.y;
  SetR(m, s, r);
  return Value();
}
Value RectTopLeft(Machine& m, const Value& s, const Value*, int) {
  const Rect r = R(m, s);
  return Make(m, Geom::Point, {r.x, r.y});
}
Value SetRectTopLeft(Machine& m, const Value& s, const Value* a, int n) {
  Rect r = R(m, s);
  const Value p = Arg(a, n, 0);
  const double x = PX(m, p), y = PY(m, p);
  r.w += r.x - x;
  r.h += r.y - y;
  r.x = x;
  r.y = y;
  SetR(m, s, r);
  return Value();
}
Value RectBottomRight(Machine& m, const Value& s, const Value*, int) {
  const Rect r = R(m, s);
  return Make(m, Geom::Point, {r.x + r.w, r.y + r.h});
}
Value SetRectBottomRight(Machine& m, const Value& s, const Value* a, int n) {
  Rect r = R(m, s);
  const Value p = Arg(a, n, 0);
  r.w = PX(m, p) - r.x;
  r.h = PY(m, p) - r.y;
  SetR(m, s, r);
  return Value();
}
Value RectSize(Machine& m, const Value& s, const Value*, int) {
  const Rect r = R(m, s);
  return Make(m, Geom::Point, {r.w, r.h});
}
Value SetRectSize(Machine& m, const Value& s, const Value* a, int n) {
  Rect r = R(m, s);
  const Value p = Arg(a, n, 0);
  r.w = PX(m, p);
  r.h = PY(m, p);
  SetR(m, s, r);
  return Value();
}
Value RectContains(Machine& m, const Value& s, const Value* a, int n) {
  const Rect r = R(m, s);
  const double x = NumArg(m, a, n, 0, NAN), y = NumArg(m, a, n, 1, NAN);
  return Value::Bool(x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h);
}
Value RectContainsPoint(Machine& m, const Value& s, const Value* a, int n) {
  const Value p = Arg(a, n, 0);
  const Value xy[2] = {Value::Number(PX(m, p)), Value::Number(PY(m, p))};
  return RectContains(m, s, xy, 2);
}
Value RectContainsRect(Machine& m, const Value& s, const Value* a, int n) {
  const Rect r = R(m, s), o = R(m, Arg(a, n, 0));
  if (Empty(o)) return Value::Bool(false);
  return Value::Bool(o.x >= r.x && o.y >= r.y && o.x + o.w <= r.x + r.w && o.y + o.h <= r.y + r.h);
}
Value RectEquals(Machine& m, const Value& s, const Value* a, int n) {
  const Rect r = R(m, s), o = R(m, Arg(a, n, 0));
  return Value::Bool(r.x == o.x && r.y == o.y && r.w == o.w && r.h == o.h);
}
Value RectInflate(Machine& m, const Value& s, const Value* a, int n) {
  Rect r = R(m, s);
  const double dx = NumArg(m, a, n, 0, NAN), dy = NumArg(m, a, n, 1, NAN);
  SetR(m, s, {r.x - dx, r.y - dy, r.w + 2 * dx, r.h + 2 * dy});
  return Value();
}
Value RectInflatePoint(Machine& m, const Value& s, const Value* a, int n) {
  const Value p = Arg(a, n, 0);
  const Value d[2] = {Value::Number(PX(m, p)), Value::Number(PY(m, p))};
  return RectInflate(m, s, d, 2);
}
Value RectIntersection(Machine& m, const Value& s, const Value* a, int n) {
  const Rect r = R(m, s), o = R(m, Arg(a, n, 0));
  if (Empty(r) || Empty(o)) return MakeRect(m, {0, 0, 0, 0});
  const double left = std::max(r.x, o.x), top = std::max(r.y, o.y);
  const double right = std::min(r.x + r.w, o.x + o.w), bottom = std::min(r.y + r.h, o.y + o.h);
  if (right <= left || bottom <= top) return MakeRect(m, {0, 0, 0, 0});
  return MakeRect(m, {left, top, right - left, bottom - top});
}
Value RectIntersects(Machine& m, const Value& s, const Value* a, int n) {
  const Value i = RectIntersection(m, s, a, n);
  return Value::Bool(!Empty(R(m, i)));
}
Value RectIsEmpty(Machine& m, const Value& s, const Value*, int) { return Value::Bool(Empty(R(m, s))); }
Value RectOffset(Machine& m, const Value& s, const Value* a, int n) {
  Rect r = R(m, s);
  r.x += NumArg(m, a, n, 0, NAN);
  r.y += NumArg(m, a, n, 1, NAN);
  SetR(m, s, r);
  return Value();
}
Value RectOffsetPoint(Machine& m, const Value& s, const Value* a, int n) {
  const Value p = Arg(a, n, 0);
  const Value d[2] = {Value::Number(PX(m, p)), Value::Number(PY(m, p))};
  return RectOffset(m, s, d, 2);
}
Value RectSetEmpty(Machine& m, const Value& s, const Value*, int) {
  SetR(m, s, {0, 0, 0, 0});
  return Value();
}
Value RectUnion(Machine& m, const Value& s, const Value* a, int n) {
  const Rect r = R(m, s), o = R(m, Arg(a, n, 0));
  if (Empty(r)) return MakeRect(m, o);
  if (Empty(o)) return MakeRect(m, r);
  // The edges are chosen as Math.min and Math.max choose: NaN on either side wins.
  const auto least = [](double a, double b) { return std::isnan(a) || std::isnan(b) ? NAN : std::min(a, b); };
  const auto most = [](double a, double b) { return std::isnan(a) || std::isnan(b) ? NAN : std::max(a, b); };
  const double left = least(r.x, o.x), top = least(r.y, o.y);
  const double right = most(r.x + r.w, o.x + o.w), bottom = most(r.y + r.h, o.y + o.h);
  return MakeRect(m, {left, top, right - left, bottom - top});
}
Value RectToString(Machine& m, const Value& s, const Value*, int) {
  const Rect r = R(m, s);
  return m.StrValue(Format(m, {{"x", r.x}, {"y", r.y}, {"w", r.w}, {"h", r.h}}));
}

// ---- Matrix ----
GeomMatrix M(Machine& m, const Value& v) {
  const std::vector<Value>& f = Fields(m, v, Geom::Matrix);
  return {m.ToNumber(f[0]), m.ToNumber(f[1]), m.ToNumber(f[2]), m.ToNumber(f[3]), m.ToNumber(f[4]), m.ToNumber(f[5])};
}
void SetM(Machine& m, const Value& v, const GeomMatrix& x) {
  Fields(m, v, Geom::Matrix) = {Value::Number(x.a), Value::Number(x.b), Value::Number(x.c),
                                Value::Number(x.d), Value::Number(x.tx), Value::Number(x.ty)};
}
// first, then second.
GeomMatrix Concat(const GeomMatrix& p, const GeomMatrix& q) {
  return {p.a * q.a + p.b * q.c,           p.a * q.b + p.b * q.d,           p.c * q.a + p.d * q.c,
          p.c * q.b + p.d * q.d,           p.tx * q.a + p.ty * q.c + q.tx, p.tx * q.b + p.ty * q.d + q.ty};
}

Value MatrixConcat(Machine& m, const Value& s, const Value* a, int n) {
  SetM(m, s, Concat(M(m, s), M(m, Arg(a, n, 0))));
  return Value();
}
Value MatrixCreateBox(Machine& m, const Value& s, const Value* a, int n) {
  const double sx = NumArg(m, a, n, 0, NAN), sy = NumArg(m, a, n, 1, NAN), r = NumArg(m, a, n, 2, 0);
  const double tx = NumArg(m, a, n, 3, 0), ty = NumArg(m, a, n, 4, 0);
  SetM(m, s, {sx * std::cos(r), sy * std::sin(r), -sx * std::sin(r), sy * std::cos(r), tx, ty});
  return Value();
}
Value MatrixCreateGradientBox(Machine& m, const Value& s, const Value* a, int n) {
  const double w = NumArg(m, a, n, 0, NAN) / 1638.4, h = NumArg(m, a, n, 1, NAN) / 1638.4, r = NumArg(m, a, n, 2, 0);
  const double tx = NumArg(m, a, n, 3, 0) + NumArg(m, a, n, 0, NAN) / 2;
  const double ty = NumArg(m, a, n, 4, 0) + NumArg(m, a, n, 1, NAN) / 2;
  SetM(m, s, {w * std::cos(r), h * std::sin(r), -w * std::sin(r), h * std::cos(r), tx, ty});
  return Value();
}
Value MatrixDeltaTransformPoint(Machine& m, const Value& s, const Value* a, int n) {
  const GeomMatrix x = M(m, s);
  const Value p = Arg(a, n, 0);
  const double px = PX(m, p), py = PY(m, p);
  return Make(m, Geom::Point, {x.a * px + x.c * py, x.b * px + x.d * py});
}
Value MatrixTransformPoint(Machine& m, const Value& s, const Value* a, int n) {
  const GeomMatrix x = M(m, s);
  const Value p = Arg(a, n, 0);
  const double px = PX(m, p), py = PY(m, p);
  return Make(m, Geom::Point, {x.a * px + x.c * py + x.tx, x.b * px + x.d * py + x.ty});
}
Value MatrixIdentity(Machine& m, const Value& s, const Value*, int) {
  SetM(m, s, {1, 0, 0, 1, 0, 0});
  return Value();
}
Value MatrixInvert(Machine& m, const Value& s, const Value*, int) {
  const GeomMatrix x = M(m, s);
  const double det = x.a * x.d - x.b * x.c;
  if (det == 0) {
    SetM(m, s, {1, 0, 0, 1, 0, 0});
    return Value();
  }
  const double a = x.d / det, b = -x.b / det, c = -x.c / det, d = x.a / det;
  SetM(m, s, {a, b, c, d, -(a * x.tx + c * x.ty), -(b * x.tx + d * x.ty)});
  return Value();
}
Value MatrixRotate(Machine& m, const Value& s, const Value* a, int n) {
  const double r = NumArg(m, a, n, 0, NAN);
  SetM(m, s, Concat(M(m, s), {std::cos(r), std::sin(r), -std::sin(r), std::cos(r), 0, 0}));
  return Value();
}
Value MatrixScale(Machine& m, const Value& s, const Value* a, int n) {
  SetM(m, s, Concat(M(m, s), {NumArg(m, a, n, 0, NAN), 0, 0, NumArg(m, a, n, 1, NAN), 0, 0}));
  return Value();
}
Value MatrixTranslate(Machine& m, const Value& s, const Value* a, int n) {
  GeomMatrix x = M(m, s);
  x.tx += NumArg(m, a, n, 0, NAN);
  x.ty += NumArg(m, a, n, 1, NAN);
  SetM(m, s, x);
  return Value();
}
Value MatrixToString(Machine& m, const Value& s, const Value*, int) {
  const GeomMatrix x = M(m, s);
  return m.StrValue(Format(m, {{"a", x.a}, {"b", x.b}, {"c", x.c}, {"d", x.d}, {"tx", x.tx}, {"ty", x.ty}}));
}

// ---- ColorTransform ----
Value ColorGet(Machine& m, const Value& s, const Value*, int) {
  const std::vector<Value>& f = Fields(m, s, Geom::ColorTransform);
  const auto channel = [&](int i) { return static_cast<std::uint32_t>(script::ToInt32(m.ToNumber(f[i]))) & 0xFF; };
  return Value::Number((channel(4) << 16) | (channel(5) << 8) | channel(6));
}
Value ColorSet(Machine& m, const Value& s, const Value* a, int n) {
  std::vector<Value>& f = Fields(m, s, Geom::ColorTransform);
  const std::uint32_t rgb = m.ToUint32(Arg(a, n, 0));
  for (int i = 0; i < 3; ++i) f[i] = Value::Number(0);
  f[4] = Value::Number((rgb >> 16) & 0xFF);
  f[5] = Value::Number((rgb >> 8) & 0xFF);
  f[6] = Value::Number(rgb & 0xFF);
  return Value();
}
Value ColorConcat(Machine& m, const Value& s, const Value* a, int n) {
  const GeomColor p = ColorOf(m, s), q = ColorOf(m, Arg(a, n, 0));
  std::vector<Value>& f = Fields(m, s, Geom::ColorTransform);
  for (int i = 0; i < 4; ++i) {
    f[i] = Value::Number(p.mul[i] * q.mul[i]);
    f[i + 4] = Value::Number(p.add[i] + p.mul[i] * q.add[i]);
  }
  return Value();
}
Value ColorToString(Machine& m, const Value& s, const Value*, int) {
  const GeomColor c = ColorOf(m, s);
  return m.StrValue(Format(m, {{"redMultiplier", c.mul[0]}, {"greenMultiplier", c.mul[1]}, {"blueMultiplier", c.mul[2]},
                               {"alphaMultiplier", c.mul[3]}, {"redOffset", c.add[0]}, {"greenOffset", c.add[1]},
                               {"blueOffset", c.add[2]}, {"alphaOffset", c.add[3]}}));
}


// ---- Matrix rows and columns as Vector3Ds ----
// Row 0 is (a, c, tx), row 1 (b, d, ty) and any other (0, 0, 1); column 0 is (a, b, 0),
// column 1 (c, d, 0) and any other (tx, ty, 1). The vector's w is left alone.
void SetXyz(Machine& m, const Value& v, double x, double y, double z) {
  std::vector<Value>& f = Fields(m, v, Geom::Vector3D);
  f[0] = Value::Number(x);
  f[1] = Value::Number(y);
  f[2] = Value::Number(z);
}
Value MatrixCopyRowTo(Machine& m, const Value& s, const Value* a, int n) {
  const GeomMatrix x = M(m, s);
  const double row = NumArg(m, a, n, 0, 0);
  const Value v = Arg(a, n, 1);
  if (row == 0) SetXyz(m, v, x.a, x.c, x.tx);
  else if (row == 1) SetXyz(m, v, x.b, x.d, x.ty);
  else SetXyz(m, v, 0, 0, 1);
  return Value();
}
Value MatrixCopyColumnTo(Machine& m, const Value& s, const Value* a, int n) {
  const GeomMatrix x = M(m, s);
  const double column = NumArg(m, a, n, 0, 0);
  const Value v = Arg(a, n, 1);
  if (column == 0) SetXyz(m, v, x.a, x.b, 0);
  else if (column == 1) SetXyz(m, v, x.c, x.d, 0);
  else SetXyz(m, v, x.tx, x.ty, 1);
  return Value();
}
// copyRowFrom sets row 0 or 1 from the vector's x, y and z (other rows are fixed);
// copyColumnFrom does exactly the same, rows and not columns, as the player does.
Value MatrixCopyRowFrom(Machine& m, const Value& s, const Value* a, int n) {
  GeomMatrix x = M(m, s);
  const double row = NumArg(m, a, n, 0, 0);
  const std::vector<Value>& f = Fields(m, Arg(a, n, 1), Geom::Vector3D);
  const double vx = m.ToNumber(f[0]), vy = m.ToNumber(f[1]), vz = m.ToNumber(f[2]);
  if (row == 0) {
    x.a = vx, x.c = vy, x.tx = vz;
  } else if (row == 1) {
    x.b = vx, x.d = vy, x.ty = vz;
  }
  SetM(m, s, x);
  return Value();
}

// ---- Vector3D ----
struct V3 {
  double x, y, z, w;
};
V3 V(Machine& m, const Value& v) {
  const std::vector<Value>& f = Fields(m, v, Geom::Vector3D);
  return {m.ToNumber(f[0]), m.ToNumber(f[1]), m.ToNumber(f[2]), m.ToNumber(f[3])};
}
void SetV(Machine& m, const Value& v, const V3& p) {
  std::vector<Value>& f = Fields(m, v, Geom::Vector3D);
  f = {Value::Number(p.x), Value::Number(p.y), Value::Number(p.z), Value::Number(p.w)};
}
Value MakeV(Machine& m, const V3& p) { return Make(m, Geom::Vector3D, {p.x, p.y, p.z, p.w}); }

// add and subtract make a vector of w 0; incrementBy and decrementBy keep the receiver's w.
template <int Sign>
Value V3Add(Machine& m, const Value& s, const Value* a, int n) {
  const V3 p = V(m, s), q = V(m, Arg(a, n, 0));
  return MakeV(m, {p.x + Sign * q.x, p.y + Sign * q.y, p.z + Sign * q.z, 0});
}
template <int Sign>
Value V3IncrementBy(Machine& m, const Value& s, const Value* a, int n) {
  const V3 p = V(m, s), q = V(m, Arg(a, n, 0));
  SetV(m, s, {p.x + Sign * q.x, p.y + Sign * q.y, p.z + Sign * q.z, p.w});
  return Value();
}
Value V3ScaleBy(Machine& m, const Value& s, const Value* a, int n) {
  const V3 p = V(m, s);
  const double k = NumArg(m, a, n, 0, NAN);
  SetV(m, s, {p.x * k, p.y * k, p.z * k, p.w});
  return Value();
}
Value V3Negate(Machine& m, const Value& s, const Value*, int) {
  const V3 p = V(m, s);
  SetV(m, s, {-p.x, -p.y, -p.z, p.w});
  return Value();
}
double Length(const V3& p) { return std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z); }
Value V3Length(Machine& m, const Value& s, const Value*, int) { return Value::Number(Length(V(m, s))); }
Value V3LengthSquared(Machine& m, const Value& s, const Value*, int) {
  const V3 p = V(m, s);
  return Value::Number(p.x * p.x + p.y * p.y + p.z * p.z);
}
// Scales x, y and z to length 1 (a zero vector stays zero) and returns the old length.
Value V3Normalize(Machine& m, const Value& s, const Value*, int) {
  const V3 p = V(m, s);
  const double length = Length(p);
  if (length != 0) SetV(m, s, {p.x / length, p.y / length, p.z / length, p.w});
  return Value::Number(length);
}
Value V3Project(Machine& m, const Value& s, const Value*, int) {
  const V3 p = V(m, s);
  SetV(m, s, {p.x / p.w, p.y / p.w, p.z / p.w, p.w});
  return Value();
}
Value V3DotProduct(Machine& m, const Value& s, const Value* a, int n) {
  const V3 p = V(m, s), q = V(m, Arg(a, n, 0));
  return Value::Number(p.x * q.x + p.y * q.y + p.z * q.z);
}
// The cross product has w 1.
Value V3CrossProduct(Machine& m, const Value& s, const Value* a, int n) {
  const V3 p = V(m, s), q = V(m, Arg(a, n, 0));
  return MakeV(m, {p.y * q.z - p.z * q.y, p.z * q.x - p.x * q.z, p.x * q.y - p.y * q.x, 1});
}
Value V3Equals(Machine& m, const Value& s, const Value* a, int n) {
  const V3 p = V(m, s), q = V(m, Arg(a, n, 0));
  const bool allFour = n > 1 && m.ToBoolean(a[1]);
  return Value::Bool(p.x == q.x && p.y == q.y && p.z == q.z && (!allFour || p.w == q.w));
}
// Each difference must be below the tolerance. With allFour the player compares the other
// vector's w itself, not the difference of the two, with the tolerance; so does this.
Value V3NearEquals(Machine& m, const Value& s, const Value* a, int n) {
  const V3 p = V(m, s), q = V(m, Arg(a, n, 0));
  const double tolerance = NumArg(m, a, n, 1, NAN);
  const bool allFour = n > 2 && m.ToBoolean(a[2]);
  const auto near = [&](double d) { return std::abs(d) < tolerance; };
  return Value::Bool(near(p.x - q.x) && near(p.y - q.y) && near(p.z - q.z) && (!allFour || near(q.w)));
}
Value V3ToString(Machine& m, const Value& s, const Value*, int) {
  const V3 p = V(m, s);
  const auto str = [&](double d) { return m.ToString(Value::Number(d)); };
  return m.StrValue("Vector3D(" + str(p.x) + ", " + str(p.y) + ", " + str(p.z) + ")");
}
Value V3Distance(Machine& m, const Value&, const Value* a, int n) {
  const V3 p = V(m, Arg(a, n, 0)), q = V(m, Arg(a, n, 1));
  return Value::Number(Length({p.x - q.x, p.y - q.y, p.z - q.z, 0}));
}
Value V3AngleBetween(Machine& m, const Value&, const Value* a, int n) {
  const V3 p = V(m, Arg(a, n, 0)), q = V(m, Arg(a, n, 1));
  const double dot = p.x * q.x + p.y * q.y + p.z * q.z;
  return Value::Number(std::acos(dot / (Length(p) * Length(q))));
}

template <Geom G>
Value Clone(Machine& m, const Value& s, const Value*, int) {
  std::vector<Value> f = Fields(m, s, G);
  return Value::Obj(m.ConstructClass(GeomClass(m, G), f.data(), static_cast<int>(f.size())));
}
template <Geom G>
Value CopyFrom(Machine& m, const Value& s, const Value* a, int n) {
  const std::vector<Value> f = Fields(m, Arg(a, n, 0), G);
  std::vector<Value>& to = Fields(m, s, G);
  // A Vector3D copies x, y and z and keeps its own w.
  std::copy_n(f.begin(), G == Geom::Vector3D ? 3 : f.size(), to.begin());
  return Value();
}
template <Geom G>
Value SetTo(Machine& m, const Value& s, const Value* a, int n) {
  std::vector<Value>& f = Fields(m, s, G);
  const std::size_t count = G == Geom::Vector3D ? 3 : f.size();
  for (std::size_t i = 0; i < count; ++i) f[i] = Value::Number(NumArg(m, a, n, static_cast<int>(i), NAN));
  return Value();
}

template <Geom G>
ClassObject* DefineGeom(Machine& m) {
  ClassObject* cls = m.DefineClass("flash.geom", kClassNames[static_cast<int>(G)], m.objectClass, ConstructGeom<G>);
  cls->allocate = AllocateNative<>;
  static const Member kClsMembers[] = {
      {"clone", Clone<G>, nullptr, 0, 0},
  };
  Install(m, cls, kClsMembers);
  if (G != Geom::ColorTransform) {
    static const Member kClsMembers2[] = {
        {"copyFrom", CopyFrom<G>, nullptr, 0, 0},
        {"setTo", SetTo<G>, nullptr, 0, 0},
    };
    Install(m, cls, kClsMembers2);
  }
  return cls;
}

}  // namespace

GeomMatrix MatrixOf(Machine& m, const Value& matrix) { return M(m, matrix); }
Value NewMatrix(Machine& m, const GeomMatrix& x) { return Make(m, Geom::Matrix, {x.a, x.b, x.c, x.d, x.tx, x.ty}); }
Value NewRectangle(Machine& m, double x, double y, double width, double height) {
  return MakeRect(m, {x, y, width, height});
}
Value NewPoint(Machine& m, double x, double y) { return Make(m, Geom::Point, {x, y}); }
bool PointOf(Machine& m, const Value& point, double& x, double& y) {
  x = PX(m, point);
  y = PY(m, point);
  return true;
}
GeomColor ColorOf(Machine& m, const Value& transform) {
  const std::vector<Value>& f = Fields(m, transform, Geom::ColorTransform);
  GeomColor c;
  for (int i = 0; i < 4; ++i) {
    c.mul[i] = m.ToNumber(f[i]);
    c.add[i] = m.ToNumber(f[i + 4]);
  }
  return c;
}

ColorTransform ColorTransformOf(Machine& m, const Value& transform) {
  const GeomColor c = ColorOf(m, transform);
  ColorTransform ct;
  ct.mulR = c.mul[0];
  ct.mulG = c.mul[1];
  ct.mulB = c.mul[2];
  ct.mulA = c.mul[3];
  ct.addR = c.add[0];
  ct.addG = c.add[1];
  ct.addB = c.add[2];
  ct.addA = c.add[3];
  return ct;
}
Value NewColorTransform(Machine& m, const GeomColor& c) {
  return Make(m, Geom::ColorTransform, {c.mul[0], c.mul[1], c.mul[2], c.mul[3], c.add[0], c.add[1], c.add[2], c.add[3]});
}

void InstallGeom(Machine& m) {
  ClassObject* point = DefineGeom<Geom::Point>(m);
  static const Member kPointMembers[] = {
      {"x", GetFieldOf<Geom::Point, 0>, SetFieldOf<Geom::Point, 0>, kAccessor, 0},
      {"y", GetFieldOf<Geom::Point, 1>, SetFieldOf<Geom::Point, 1>, kAccessor, 0},
      {"length", PointLength, nullptr, kAccessor, 0},
      {"add", PointAdd, nullptr, 0, 0},
      {"subtract", PointSubtract, nullptr, 0, 0},
      {"equals", PointEquals, nullptr, 0, 0},
      {"normalize", PointNormalize, nullptr, 0, 0},
      {"offset", PointOffset, nullptr, 0, 0},
      {"toString", PointToString, nullptr, 0, 0},
      {"distance", PointDistance, nullptr, kStatic, 0},
      {"interpolate", PointInterpolate, nullptr, kStatic, 0},
      {"polar", PointPolar, nullptr, kStatic, 0},
  };
  Install(m, point, kPointMembers);

  ClassObject* rect = DefineGeom<Geom::Rectangle>(m);
  static const Member kRectMembers[] = {
      {"x", GetFieldOf<Geom::Rectangle, 0>, SetFieldOf<Geom::Rectangle, 0>, kAccessor, 0},
      {"y", GetFieldOf<Geom::Rectangle, 1>, SetFieldOf<Geom::Rectangle, 1>, kAccessor, 0},
      {"width", GetFieldOf<Geom::Rectangle, 2>, SetFieldOf<Geom::Rectangle, 2>, kAccessor, 0},
      {"height", GetFieldOf<Geom::Rectangle, 3>, SetFieldOf<Geom::Rectangle, 3>, kAccessor, 0},
      {"left", RectEdge<0>, SetRectEdge<0>, kAccessor, 0},
      {"right", RectEdge<1>, SetRectEdge<1>, kAccessor, 0},
      {"top", RectEdge<2>, SetRectEdge<2>, kAccessor, 0},
      {"bottom", RectEdge<3>, SetRectEdge<3>, kAccessor, 0},
      {"topLeft", RectTopLeft, SetRectTopLeft, kAccessor, 0},
      {"bottomRight", RectBottomRight, SetRectBottomRight, kAccessor, 0},
      {"size", RectSize, SetRectSize, kAccessor, 0},
      {"contains", RectContains, nullptr, 0, 0},
      {"containsPoint", RectContainsPoint, nullptr, 0, 0},
      {"containsRect", RectContainsRect, nullptr, 0, 0},
      {"equals", RectEquals, nullptr, 0, 0},
      {"inflate", RectInflate, nullptr, 0, 0},
      {"inflatePoint", RectInflatePoint, nullptr, 0, 0},
      {"intersection", RectIntersection, nullptr, 0, 0},
      {"intersects", RectIntersects, nullptr, 0, 0},
      {"isEmpty", RectIsEmpty, nullptr, 0, 0},
      {"offset", RectOffset, nullptr, 0, 0},
      {"offsetPoint", RectOffsetPoint, nullptr, 0, 0},
      {"setEmpty", RectSetEmpty, nullptr, 0, 0},
      {"union", RectUnion, nullptr, 0, 0},
      {"toString", RectToString, nullptr, 0, 0},
  };
  Install(m, rect, kRectMembers);

  ClassObject* matrix = DefineGeom<Geom::Matrix>(m);
  static const Member kMatrixMembers[] = {
      {"a", GetFieldOf<Geom::Matrix, 0>, SetFieldOf<Geom::Matrix, 0>, kAccessor, 0},
      {"b", GetFieldOf<Geom::Matrix, 1>, SetFieldOf<Geom::Matrix, 1>, kAccessor, 0},
      {"c", GetFieldOf<Geom::Matrix, 2>, SetFieldOf<Geom::Matrix, 2>, kAccessor, 0},
      {"d", GetFieldOf<Geom::Matrix, 3>, SetFieldOf<Geom::Matrix, 3>, kAccessor, 0},
      {"tx", GetFieldOf<Geom::Matrix, 4>, SetFieldOf<Geom::Matrix, 4>, kAccessor, 0},
      {"ty", GetFieldOf<Geom::Matrix, 5>, SetFieldOf<Geom::Matrix, 5>, kAccessor, 0},
      {"concat", MatrixConcat, nullptr, 0, 0},
      {"createBox", MatrixCreateBox, nullptr, 0, 0},
      {"createGradientBox", MatrixCreateGradientBox, nullptr, 0, 0},
      {"deltaTransformPoint", MatrixDeltaTransformPoint, nullptr, 0, 0},
      {"transformPoint", MatrixTransformPoint, nullptr, 0, 0},
      {"identity", MatrixIdentity, nullptr, 0, 0},
      {"invert", MatrixInvert, nullptr, 0, 0},
      {"rotate", MatrixRotate, nullptr, 0, 0},
      {"scale", MatrixScale, nullptr, 0, 0},
      {"translate", MatrixTranslate, nullptr, 0, 0},
      {"toString", MatrixToString, nullptr, 0, 0},
      {"copyRowTo", MatrixCopyRowTo, nullptr, 0, 0},
      {"copyColumnTo", MatrixCopyColumnTo, nullptr, 0, 0},
      {"copyRowFrom", MatrixCopyRowFrom, nullptr, 0, 0},
      {"copyColumnFrom", MatrixCopyRowFrom, nullptr, 0, 0},
  };
  Install(m, matrix, kMatrixMembers);

  ClassObject* color = DefineGeom<Geom::ColorTransform>(m);
  static const Member kColorMembers[] = {
      {"redMultiplier", GetFieldOf<Geom::ColorTransform, 0>, SetFieldOf<Geom::ColorTransform, 0>, kAccessor, 0},
      {"greenMultiplier", GetFieldOf<Geom::ColorTransform, 1>, SetFieldOf<Geom::ColorTransform, 1>, kAccessor, 0},
      {"blueMultiplier", GetFieldOf<Geom::ColorTransform, 2>, SetFieldOf<Geom::ColorTransform, 2>, kAccessor, 0},
      {"alphaMultiplier", GetFieldOf<Geom::ColorTransform, 3>, SetFieldOf<Geom::ColorTransform, 3>, kAccessor, 0},
      {"redOffset", GetFieldOf<Geom::ColorTransform, 4>, SetFieldOf<Geom::ColorTransform, 4>, kAccessor, 0},
      {"greenOffset", GetFieldOf<Geom::ColorTransform, 5>, SetFieldOf<Geom::ColorTransform, 5>, kAccessor, 0},
      {"blueOffset", GetFieldOf<Geom::ColorTransform, 6>, SetFieldOf<Geom::ColorTransform, 6>, kAccessor, 0},
      {"alphaOffset", GetFieldOf<Geom::ColorTransform, 7>, SetFieldOf<Geom::ColorTransform, 7>, kAccessor, 0},
      {"color", ColorGet, ColorSet, kAccessor, 0},
      {"concat", ColorConcat, nullptr, 0, 0},
      {"toString", ColorToString, nullptr, 0, 0},
  };
  Install(m, color, kColorMembers);

  ClassObject* vector = DefineGeom<Geom::Vector3D>(m);
  static const Member kVectorMembers[] = {
      {"x", GetFieldOf<Geom::Vector3D, 0>, SetFieldOf<Geom::Vector3D, 0>, kAccessor, 0},
      {"y", GetFieldOf<Geom::Vector3D, 1>, SetFieldOf<Geom::Vector3D, 1>, kAccessor, 0},
      {"z", GetFieldOf<Geom::Vector3D, 2>, SetFieldOf<Geom::Vector3D, 2>, kAccessor, 0},
      {"w", GetFieldOf<Geom::Vector3D, 3>, SetFieldOf<Geom::Vector3D, 3>, kAccessor, 0},
      {"length", V3Length, nullptr, kAccessor, 0},
      {"lengthSquared", V3LengthSquared, nullptr, kAccessor, 0},
      {"add", V3Add<1>, nullptr, 0, 0, 1},
      {"subtract", V3Add<-1>, nullptr, 0, 0, 1},
      {"incrementBy", V3IncrementBy<1>, nullptr, 0, 0, 1},
      {"decrementBy", V3IncrementBy<-1>, nullptr, 0, 0, 1},
      {"scaleBy", V3ScaleBy, nullptr, 0, 0, 1},
      {"negate", V3Negate, nullptr, 0, 0},
      {"normalize", V3Normalize, nullptr, 0, 0},
      {"project", V3Project, nullptr, 0, 0},
      {"dotProduct", V3DotProduct, nullptr, 0, 0, 1},
      {"crossProduct", V3CrossProduct, nullptr, 0, 0, 1},
      {"equals", V3Equals, nullptr, 0, 0, 2},
      {"nearEquals", V3NearEquals, nullptr, 0, 0, 3},
      {"toString", V3ToString, nullptr, 0, 0},
      {"distance", V3Distance, nullptr, kStatic, 0, 2},
      {"angleBetween", V3AngleBetween, nullptr, kStatic, 0, 2},
  };
  Install(m, vector, kVectorMembers);
  m.AddConstant(vector, "X_AXIS", Make(m, Geom::Vector3D, {1, 0, 0, 0}));
  m.AddConstant(vector, "Y_AXIS", Make(m, Geom::Vector3D, {0, 1, 0, 0}));
  m.AddConstant(vector, "Z_AXIS", Make(m, Geom::Vector3D, {0, 0, 1, 0}));
}

}  // namespace vantrel::flash::avm2
