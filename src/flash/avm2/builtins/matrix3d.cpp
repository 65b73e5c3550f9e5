// flash.geom.Matrix3D: a 4 x 4 transformation of column vectors, kept as the player
// keeps it (32-bit floats, rawData column by column, the translation in entries 12 to
// 14). append multiplies from the left (what is appended happens after), prepend from
// the right.
#include <array>
#include <cmath>

#include "flash/avm2/builtins/support.h"

namespace vantrel::flash::avm2 {


namespace {

using Mat = std::array<double, 16>;  // column-major: entry (row r, column c) at c * 4 + r

constexpr Mat kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

Mat Multiply(const Mat& a, const Mat& b) {
  Mat out{};
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += a[k * 4 + r] * b[c * 4 + k];
      out[c * 4 + r] = sum;
    }
  return out;
}

NativeObject& Obj(Machine& m, const Value& v) {
  auto* o = v.IsObject() ? dynamic_cast<NativeObject*>(v.object) : nullptr;
  if (!o || !o->cls || o->list.size() != 16 || !m.IsSubclass(o->cls, m.FindClass("flash.geom.Matrix3D")))
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(v) + " to flash.geom.Matrix3D.");
  return *o;
}
Mat Get(Machine& m, const Value& v) {
  const NativeObject& o = Obj(m, v);
  Mat out;
  for (int i = 0; i < 16; ++i) out[i] = o.list[static_cast<std::size_t>(i)].number;
  return out;
}
void Put(Machine& m, const Value& v, const Mat& mat) {
  NativeObject& o = Obj(m, v);
  for (int i = 0; i < 16; ++i) o.list[static_cast<std::size_t>(i)] = Value::Number(static_cast<float>(mat[i]));
}
const Value& NonNull(Machine& m, const Value* args, int argc, int index, const char* name) {
  static const Value kUndefined;
  const Value& v = index < argc ? args[index] : kUndefined;
  if (v.IsNullish()) m.ThrowTypeError(2007, std::string("Parameter ") + name + " must be non-null.");
  return v;
}
// A Vector.<Number> (or any vector) argument's elements.
NativeObject& VectorArg(Machine& m, const Value& v) {
  if (!v.IsObject() || v.object->kind != ObjectKind::Vector)
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(v) + " to __AS3__.vec.Vector.<Number>.");
  return *static_cast<NativeObject*>(v.object);
}
bool FixedVector(Machine& m, const Value& v) { return m.ToBoolean(m.GetPublic(v, "fixed")); }

// A Vector3D's components (a null vector is the error the player gives for it).
std::array<double, 4> Vec(Machine& m, const Value& v) {
  if (v.IsNullish()) m.ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
  return {m.ToNumber(m.GetPublic(v, "x")), m.ToNumber(m.GetPublic(v, "y")), m.ToNumber(m.GetPublic(v, "z")),
          m.ToNumber(m.GetPublic(v, "w"))};
}
Value NewVector3D(Machine& m, double x, double y, double z, double w) {
  const Value args[] = {Value::Number(x), Value::Number(y), Value::Number(z), Value::Number(w)};
  return Value::Obj(m.ConstructClass(m.FindClass("flash.geom.Vector3D"), args, 4));
}

Object* Allocate(Machine& m, ClassObject*) {
  auto* o = m.heap.Make<NativeObject>(ObjectKind::Other, nullptr, nullptr);
  for (const double v : kIdentity) o->list.push_back(Value::Number(v));
  return o;
}

// A vector of exactly 16 numbers replaces the entries; any other length leaves them.
void SetRaw(Machine& m, const Value& self, const Value& v) {
  if (v.IsNullish()) return;
  const NativeObject& vec = VectorArg(m, v);
  if (vec.list.size() != 16) return;
  Mat mat;
  for (int i = 0; i < 16; ++i) mat[i] = m.ToNumber(vec.list[static_cast<std::size_t>(i)]);
  Put(m, self, mat);
}

Value Construct(Machine& m, const Value& self, const Value* args, int argc) {
  Obj(m, self);
  SetRaw(m, self, Arg(args, argc, 0));
  return self;
}

Value NumberVector(Machine& m, const double* values, std::size_t count) {
  auto* v = static_cast<NativeObject*>(m.ConstructClass(ApplyVector(m, m.FindClass("Number")), nullptr, 0));
  for (std::size_t i = 0; i < count; ++i) v->list.push_back(Value::Number(values[i]));
  return Value::Obj(v);
}

Value GetRawData(Machine& m, const Value& self, const Value*, int) {
  const Mat mat = Get(m, self);
  return NumberVector(m, mat.data(), 16);
}
Value SetRawData(Machine& m, const Value& self, const Value* args, int argc) {
  SetRaw(m, self, Arg(args, argc, 0));
  return Value();
}
Value GetPosition(Machine& m, const Value& self, const Value*, int) {
  const Mat mat = Get(m, self);
  return NewVector3D(m, mat[12], mat[13], mat[14], 0);
}
Value SetPosition(Machine& m, const Value& self, const Value* args, int argc) {
  Mat mat = Get(m, self);
  const auto v = Vec(m, NonNull(m, args, argc, 0, "pos"));
  mat[12] = v[0];
  mat[13] = v[1];
  mat[14] = v[2];
  Put(m, self, mat);
  return Value();
}

double Determinant(const Mat& a) {
  const double s0 = a[0] * a[5] - a[4] * a[1], s1 = a[0] * a[6] - a[4] * a[2], s2 = a[0] * a[7] - a[4] * a[3];
  const double s3 = a[1] * a[6] - a[5] * a[2], s4 = a[1] * a[7] - a[5] * a[3], s5 = a[2] * a[7] - a[6] * a[3];
  const double c5 = a[10] * a[15] - a[14] * a[11], c4 = a[9] * a[15] - a[13] * a[11], c3 = a[9] * a[14] - a[13] * a[10];
  const double c2 = a[8] * a[15] - a[12] * a[11], c1 = a[8] * a[14] - a[12] * a[10], c0 = a[8] * a[13] - a[12] * a[9];
  return s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
}
Value GetDeterminant(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(static_cast<float>(Determinant(Get(m, self))));
}

// invert(): false (and the matrix as it was) when it has no inverse.
Value Invert(Machine& m, const Value& self, const Value*, int) {
  const Mat a = Get(m, self);
  const double det = Determinant(a);
  if (det == 0 || !std::isfinite(det)) return Value::Bool(false);
  // The cofactors, transposed, over the determinant.
  Mat inv{};
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) {
      double minor[9];
      int k = 0;
      for (int cc = 0; cc < 4; ++cc) {
        if (cc == c) continue;
        for (int rr = 0; rr < 4; ++rr)
          if (rr != r) minor[k++] = a[cc * 4 + rr];
      }
      const double d = minor[0] * (minor[4] * minor[8] - minor[7] * minor[5]) -
                       minor[3] * (minor[1] * minor[8] - minor[7] * minor[2]) +
                       minor[6] * (minor[1] * minor[5] - minor[4] * minor[2]);
      inv[r * 4 + c] = (((r + c) % 2) ? -d : d) / det;
    }
  Put(m, self, inv);
  return Value::Bool(true);
}

Mat Transposed(const Mat& a) {
  Mat t;
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) t[r * 4 + c] = a[c * 4 + r];
  return t;
}

Mat Translation(double x, double y, double z) {
  Mat t = kIdentity;
  t[12] = x;
  t[13] = y;
  t[14] = z;
  return t;
}
Mat Scaling(double x, double y, double z) {
  Mat s = kIdentity;
  s[0] = x;
  s[5] = y;
  s[10] = z;
  return s;
}
// A turn of degrees about axis (made unit length) through pivot.
Mat Rotation(double degrees, std::array<double, 4> axis, const std::array<double, 4>* pivot) {
  const double length = std::sqrt(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2]);
  const double x = axis[0] / length, y = axis[1] / length, z = axis[2] / length;
  const double radians = degrees * M_PI / 180, c = std::cos(radians), s = std::sin(radians), t = 1 - c;
  Mat r = {t * x * x + c,     t * x * y + s * z, t * x * z - s * y, 0,
           t * x * y - s * z, t * y * y + c,     t * y * z + s * x, 0,
           t * x * z + s * y, t * y * z - s * x, t * z * z + c,     0,
           0,                 0,                 0,                 1};
  if (pivot) r = Multiply(Translation((*pivot)[0], (*pivot)[1], (*pivot)[2]), Multiply(r, Translation(-(*pivot)[0], -(*pivot)[1], -(*pivot)[2])));
  return r;
}

template <bool Append>
void Combine(Machine& m, const Value& self, const Mat& other) {
  const Mat mat = Get(m, self);
  Put(m, self, Append ? Multiply(other, mat) : Multiply(mat, other));
}
template <bool Append>
Value Concat(Machine& m, const Value& self, const Value* args, int argc) {
  Combine<Append>(m, self, Get(m, NonNull(m, args, argc, 0, Append ? "lhs" : "rhs")));
  return Value();
}
template <bool Append>
Value Translate(Machine& m, const Value& self, const Value* args, int argc) {
  Combine<Append>(m, self, Translation(NumArg(m, args, argc, 0, NAN), NumArg(m, args, argc, 1, NAN), NumArg(m, args, argc, 2, NAN)));
  return Value();
}
template <bool Append>
Value Scale(Machine& m, const Value& self, const Value* args, int argc) {
  Combine<Append>(m, self, Scaling(NumArg(m, args, argc, 0, NAN), NumArg(m, args, argc, 1, NAN), NumArg(m, args, argc, 2, NAN)));
  return Value();
}
template <bool Append>
Value Rotate(Machine& m, const Value& self, const Value* args, int argc) {
  const double degrees = NumArg(m, args, argc, 0, NAN);
  const auto axis = Vec(m, NonNull(m, args, argc, 1, "axis"));
  const Value pivotValue = Arg(args, argc, 2);
  std::array<double, 4> pivot{};
  if (!pivotValue.IsNullish()) pivot = Vec(m, pivotValue);
  Combine<Append>(m, self, Rotation(degrees, axis, pivotValue.IsNullish() ? nullptr : &pivot));
  return Value();
}

Value Identity(Machine& m, const Value& self, const Value*, int) {
  Put(m, self, kIdentity);
  return Value();
}
Value Transpose(Machine& m, const Value& self, const Value*, int) {
  Put(m, self, Transposed(Get(m, self)));
  return Value();
}
Value Clone(Machine& m, const Value& self, const Value*, int) {
  const Mat a = Get(m, self);
  Value copy = Value::Obj(m.ConstructClass(m.FindClass("flash.geom.Matrix3D"), nullptr, 0));
  Put(m, copy, a);
  return copy;
}
Value CopyFrom(Machine& m, const Value& self, const Value* args, int argc) {
  Put(m, self, Get(m, NonNull(m, args, argc, 0, "sourceMatrix3D")));
  return Value();
}
Value CopyTo(Machine& m, const Value& self, const Value* args, int argc) {
  Put(m, NonNull(m, args, argc, 0, "dest"), Get(m, self));
  return Value();
}

// transformVector takes w as 1 and gives the w that comes out; deltaTransformVector
// leaves the translation out.
template <bool Delta>
Value TransformVector(Machine& m, const Value& self, const Value* args, int argc) {
  const Mat a = Get(m, self);
  const auto v = Vec(m, NonNull(m, args, argc, 0, "v"));
  const double w = Delta ? 0 : 1;
  double out[4];
  for (int r = 0; r < 4; ++r) out[r] = a[r] * v[0] + a[4 + r] * v[1] + a[8 + r] * v[2] + a[12 + r] * w;
  return NewVector3D(m, out[0], out[1], out[2], out[3]);
}

// transformVectors(vin, vout): every whole (x, y, z) of vin, transformed, into vout (a
// fixed vout too short is the vector's own error).
Value TransformVectors(Machine& m, const Value& self, const Value* args, int argc) {
  const Mat a = Get(m, self);
  NativeObject& in = VectorArg(m, NonNull(m, args, argc, 0, "vin"));
  const Value& outValue = NonNull(m, args, argc, 1, "vout");
  NativeObject& out = VectorArg(m, outValue);
  const std::size_t count = in.list.size() / 3 * 3;
  if (out.list.size() < count) {
    if (FixedVector(m, outValue)) m.ThrowError("RangeError", 1126, "Cannot change the length of a fixed Vector.");
    out.list.resize(count, Value::Number(0));
  }
  for (std::size_t i = 0; i < count; i += 3) {
    const double x = m.ToNumber(in.list[i]), y = m.ToNumber(in.list[i + 1]), z = m.ToNumber(in.list[i + 2]);
    for (int r = 0; r < 3; ++r)
      out.list[i + static_cast<std::size_t>(r)] = Value::Number(a[r] * x + a[4 + r] * y + a[8 + r] * z + a[12 + r]);
  }
  return Value();
}

// copyRawDataTo(vector, index = 0, transpose = false) and copyRawDataFrom: the 16
// entries from index on (a vector that is not fixed grows to hold them).
Value CopyRawDataTo(Machine& m, const Value& self, const Value* args, int argc) {
  Mat a = Get(m, self);
  const Value& target = NonNull(m, args, argc, 0, "vector");
  NativeObject& out = VectorArg(m, target);
  const auto index = static_cast<std::size_t>(m.ToUint32(Arg(args, argc, 1)));
  if (m.ToBoolean(Arg(args, argc, 2))) a = Transposed(a);
  if (out.list.size() < index + 16) {
    if (FixedVector(m, target)) m.ThrowError("RangeError", 1126, "Cannot change the length of a fixed Vector.");
    out.list.resize(index + 16, Value::Number(0));
  }
  for (int i = 0; i < 16; ++i) out.list[index + static_cast<std::size_t>(i)] = Value::Number(a[i]);
  return Value();
}
Value CopyRawDataFrom(Machine& m, const Value& self, const Value* args, int argc) {
  const NativeObject& in = VectorArg(m, NonNull(m, args, argc, 0, "vector"));
  const auto index = static_cast<std::size_t>(m.ToUint32(Arg(args, argc, 1)));
  if (in.list.size() < index + 16) m.ThrowError("RangeError", 2004, "One of the parameters is invalid.");
  Mat a;
  for (int i = 0; i < 16; ++i) a[i] = m.ToNumber(in.list[index + static_cast<std::size_t>(i)]);
  if (m.ToBoolean(Arg(args, argc, 2))) a = Transposed(a);
  Put(m, self, a);
  return Value();
}

// copyColumnTo/From and copyRowTo/From: columns and rows 0 to 3 as (x, y, z, w).
int Line(Machine& m, const Value* args, int argc) {
  const std::uint32_t line = m.ToUint32(Arg(args, argc, 0));
  if (line > 3) m.ThrowError("ArgumentError", 2004, "One of the parameters is invalid.");
  return static_cast<int>(line);
}
template <bool Column>
Value CopyLineTo(Machine& m, const Value& self, const Value* args, int argc) {
  const Mat a = Get(m, self);
  const int line = Line(m, args, argc);
  const Value& v = NonNull(m, args, argc, 1, "vector3D");
  const char* names[] = {"x", "y", "z", "w"};
  for (int i = 0; i < 4; ++i)
    m.SetPublic(v, names[i], Value::Number(Column ? a[line * 4 + i] : a[i * 4 + line]));
  return Value();
}
template <bool Column>
Value CopyLineFrom(Machine& m, const Value& self, const Value* args, int argc) {
  Mat a = Get(m, self);
  const int line = Line(m, args, argc);
  const auto v = Vec(m, NonNull(m, args, argc, 1, "vector3D"));
  for (int i = 0; i < 4; ++i) (Column ? a[line * 4 + i] : a[i * 4 + line]) = v[i];
  Put(m, self, a);
  return Value();
}

}  // namespace

void InstallMatrix3D(Machine& m) {
  ClassObject* cls = m.DefineClass("flash.geom", "Matrix3D", m.objectClass, Construct);
  cls->allocate = Allocate;
  static const Member kMembers[] = {
      {"rawData", GetRawData, SetRawData, kAccessor, 0},
      {"position", GetPosition, SetPosition, kAccessor, 0},
      {"determinant", GetDeterminant, nullptr, kAccessor, 0},
      {"append", Concat<true>, nullptr, 0, 0},
      {"prepend", Concat<false>, nullptr, 0, 0},
      {"appendTranslation", Translate<true>, nullptr, 0, 0},
      {"prependTranslation", Translate<false>, nullptr, 0, 0},
      {"appendScale", Scale<true>, nullptr, 0, 0},
      {"prependScale", Scale<false>, nullptr, 0, 0},
      {"appendRotation", Rotate<true>, nullptr, 0, 0},
      {"prependRotation", Rotate<false>, nullptr, 0, 0},
      {"identity", Identity, nullptr, 0, 0},
      {"invert", Invert, nullptr, 0, 0},
      {"transpose", Transpose, nullptr, 0, 0},
      {"clone", Clone, nullptr, 0, 0},
      {"copyFrom", CopyFrom, nullptr, 0, 0},
      {"copyToMatrix3D", CopyTo, nullptr, 0, 0},
      {"transformVector", TransformVector<false>, nullptr, 0, 0},
      {"deltaTransformVector", TransformVector<true>, nullptr, 0, 0},
      {"transformVectors", TransformVectors, nullptr, 0, 0},
      {"copyRawDataTo", CopyRawDataTo, nullptr, 0, 0},
      {"copyRawDataFrom", CopyRawDataFrom, nullptr, 0, 0},
      {"copyColumnTo", CopyLineTo<true>, nullptr, 0, 0},
      {"copyColumnFrom", CopyLineFrom<true>, nullptr, 0, 0},
      {"copyRowTo", CopyLineTo<false>, nullptr, 0, 0},
      {"copyRowFrom", CopyLineFrom<false>, nullptr, 0, 0},
  };
  Install(m, cls, kMembers);
}

}  // namespace vantrel::flash::avm2
