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
Value NewMatrix3D(Machine& m, const Mat& mat) {
  Value out = Value::Obj(m.ConstructClass(m.FindClass("flash.geom.Matrix3D"), nullptr, 0));
  Put(m, out, mat);
  return out;
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
Value Clone(Machine& m, const Value& self, const Value*, int) { return NewMatrix3D(m, Get(m, self)); }
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

// The orientation styles of decompose and recompose.
enum class Orientation { Euler, AxisAngle, Quaternion };
Orientation OrientationArg(Machine& m, const Value* args, int argc, int index) {
  const std::string style = StrArg(m, args, argc, index, "eulerAngles");
  if (style == "eulerAngles") return Orientation::Euler;
  if (style == "axisAngle") return Orientation::AxisAngle;
  if (style == "quaternion") return Orientation::Quaternion;
  m.ThrowError("Error", 2187, "Invalid orientation style " + style +
                                  ".  Value must be one of 'Orientation3D.EULER_ANGLES', 'Orientation3D.AXIS_ANGLE', or "
                                  "'Orientation3D.QUATERNION'.");
}

using Vec3 = std::array<float, 3>;
float Dot(const Vec3& a, const Vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
float Length(const Vec3& a) { return std::sqrt(Dot(a, a)); }
// Three numbers from v on, as the player keeps them.
Vec3 Floats(const double* v) { return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])}; }

// A matrix taken apart as the player does: the translation, the columns made orthonormal
// one after the other (what shear there was is dropped), their lengths the scale (all
// negative when the matrix mirrors), and the rotation as a unit quaternion (x, y, z, w).
struct Parts {
  Vec3 translation{}, scale{};
  std::array<Vec3, 3> axes{};  // the rotation's columns
  std::array<float, 4> quaternion{0, 0, 0, 1};
};
Parts Decompose(const Mat& a) {
  Parts p;
  p.translation = Floats(&a[12]);
  std::array<Vec3, 3> c = {Floats(&a[0]), Floats(&a[4]), Floats(&a[8])};
  const auto normalize = [](Vec3& v, float length) {
    if (length != 0)
      for (float& x : v) x /= length;
  };
  p.scale[0] = Length(c[0]);
  normalize(c[0], p.scale[0]);
  float d = Dot(c[0], c[1]);
  for (int i = 0; i < 3; ++i) c[1][i] -= d * c[0][i];
  p.scale[1] = Length(c[1]);
  normalize(c[1], p.scale[1]);
  d = Dot(c[0], c[2]);
  for (int i = 0; i < 3; ++i) c[2][i] -= d * c[0][i];
  d = Dot(c[1], c[2]);
  for (int i = 0; i < 3; ++i) c[2][i] -= d * c[1][i];
  p.scale[2] = Length(c[2]);
  normalize(c[2], p.scale[2]);
  if (Dot(c[0], Cross(c[1], c[2])) < 0) {
    for (int k = 0; k < 3; ++k) {
      p.scale[k] = -p.scale[k];
      for (float& x : c[k]) x = -x;
    }
  }
  p.axes = c;
  // The quaternion of the rotation (entry (r, k) is c[k][r]), from the largest of the
  // trace and the diagonal entries.
  const float m00 = c[0][0], m11 = c[1][1], m22 = c[2][2], trace = m00 + m11 + m22;
  float x, y, z, w;
  if (trace > 0) {
    const float root = std::sqrt(trace + 1) * 2;
    w = root / 4;
    x = (c[1][2] - c[2][1]) / root;
    y = (c[2][0] - c[0][2]) / root;
    z = (c[0][1] - c[1][0]) / root;
  } else if (m00 > m11 && m00 > m22) {
    const float root = std::sqrt(1 + m00 - m11 - m22) * 2;
    w = (c[1][2] - c[2][1]) / root;
    x = root / 4;
    y = (c[1][0] + c[0][1]) / root;
    z = (c[2][0] + c[0][2]) / root;
  } else if (m11 > m22) {
    const float root = std::sqrt(1 + m11 - m00 - m22) * 2;
    w = (c[2][0] - c[0][2]) / root;
    x = (c[1][0] + c[0][1]) / root;
    y = root / 4;
    z = (c[2][1] + c[1][2]) / root;
  } else {
    const float root = std::sqrt(1 + m22 - m00 - m11) * 2;
    w = (c[0][1] - c[1][0]) / root;
    x = (c[2][0] + c[0][2]) / root;
    y = (c[2][1] + c[1][2]) / root;
    z = root / 4;
  }
  p.quaternion = {x, y, z, w};
  return p;
}

// The rotation of a unit quaternion, as three columns.
std::array<Vec3, 3> QuaternionAxes(const std::array<float, 4>& q) {
  const float x = q[0], y = q[1], z = q[2], w = q[3];
  return {Vec3{1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w)},
          Vec3{2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w)},
          Vec3{2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y)}};
}

Mat Compose(const Vec3& translation, const std::array<Vec3, 3>& axes, const Vec3& scale) {
  Mat out = kIdentity;
  for (int k = 0; k < 3; ++k)
    for (int r = 0; r < 3; ++r) out[k * 4 + r] = axes[k][r] * scale[k];
  for (int r = 0; r < 3; ++r) out[12 + r] = translation[r];
  return out;
}

// decompose(orientationStyle = "eulerAngles"): translation, rotation and scale. Euler
// angles (radians) turn about x, then y, then z; an axis and angle are (x, y, z) and w;
// a quaternion is (x, y, z, w).
Value DecomposeMethod(Machine& m, const Value& self, const Value* args, int argc) {
  const Orientation style = OrientationArg(m, args, argc, 0);
  const Parts p = Decompose(Get(m, self));
  Value rotation;
  if (style == Orientation::Euler) {
    const auto& c = p.axes;
    const float y = std::asin(std::clamp(-c[0][2], -1.0f, 1.0f));
    float x, z;
    if (std::cos(y) != 0) {
      x = std::atan2(c[1][2], c[2][2]);
      z = std::atan2(c[0][1], c[0][0]);
    } else {
      x = std::atan2(-c[2][1], c[1][1]);
      z = 0;
    }
    rotation = NewVector3D(m, x, y, z, 0);
  } else if (style == Orientation::AxisAngle) {
    const auto& q = p.quaternion;
    const float angle = 2 * std::acos(std::clamp(q[3], -1.0f, 1.0f));
    const float s = std::sin(angle / 2);
    if (s == 0) rotation = NewVector3D(m, 0, 0, 0, 0);
    else rotation = NewVector3D(m, q[0] / s, q[1] / s, q[2] / s, angle);
  } else {
    const auto& q = p.quaternion;
    rotation = NewVector3D(m, q[0], q[1], q[2], q[3]);
  }
  const Value parts[] = {NewVector3D(m, p.translation[0], p.translation[1], p.translation[2], 0),
                         rotation,
                         NewVector3D(m, p.scale[0], p.scale[1], p.scale[2], 0)};
  auto* out = static_cast<NativeObject*>(m.ConstructClass(ApplyVector(m, m.FindClass("flash.geom.Vector3D")), nullptr, 0));
  for (const Value& v : parts) out->list.push_back(v);
  return Value::Obj(out);
}

// recompose(components, orientationStyle): the matrix of a translation, rotation and
// scale as decompose gives them; false (the matrix unchanged) without three of them.
Value RecomposeMethod(Machine& m, const Value& self, const Value* args, int argc) {
  const Orientation style = OrientationArg(m, args, argc, 1);
  const Value components = Arg(args, argc, 0);
  if (components.IsNullish()) return Value::Bool(false);
  const NativeObject& list = VectorArg(m, components);
  if (list.list.size() < 3) return Value::Bool(false);
  for (std::size_t i = 0; i < 3; ++i)
    if (list.list[i].IsNullish()) return Value::Bool(false);
  const auto t = Vec(m, list.list[0]), r = Vec(m, list.list[1]), s = Vec(m, list.list[2]);
  std::array<Vec3, 3> axes;
  if (style == Orientation::Euler) {
    const float cx = std::cos(r[0]), sx = std::sin(r[0]), cy = std::cos(r[1]), sy = std::sin(r[1]);
    const float cz = std::cos(r[2]), sz = std::sin(r[2]);
    axes = {Vec3{cy * cz, cy * sz, -sy}, Vec3{sx * sy * cz - cx * sz, sx * sy * sz + cx * cz, sx * cy},
            Vec3{cx * sy * cz + sx * sz, cx * sy * sz - sx * cz, cx * cy}};
  } else if (style == Orientation::AxisAngle) {
    // A turn of w radians about the axis (x, y, z), as appendRotation makes it.
    const float x = r[0], y = r[1], z = r[2], c = std::cos(static_cast<float>(r[3])), sn = std::sin(static_cast<float>(r[3]));
    const float t = 1 - c;
    axes = {Vec3{t * x * x + c, t * x * y + sn * z, t * x * z - sn * y}, Vec3{t * x * y - sn * z, t * y * y + c, t * y * z + sn * x},
            Vec3{t * x * z + sn * y, t * y * z - sn * x, t * z * z + c}};
  } else {
    axes = QuaternionAxes({static_cast<float>(r[0]), static_cast<float>(r[1]), static_cast<float>(r[2]), static_cast<float>(r[3])});
  }
  Put(m, self, Compose(Floats(t.data()), axes, Floats(s.data())));
  return Value::Bool(true);
}

// The matrix percent of the way from a to b: translation and scale in a straight line,
// the rotation along the shorter arc between the two.
Mat Interpolate(const Mat& a, const Mat& b, double percentIn) {
  const auto percent = static_cast<float>(percentIn);
  const Parts pa = Decompose(a), pb = Decompose(b);
  Vec3 translation, scale;
  for (int i = 0; i < 3; ++i) {
    translation[i] = pa.translation[i] + (pb.translation[i] - pa.translation[i]) * percent;
    scale[i] = pa.scale[i] + (pb.scale[i] - pa.scale[i]) * percent;
  }
  auto qa = pa.quaternion, qb = pb.quaternion;
  float cosine = qa[0] * qb[0] + qa[1] * qb[1] + qa[2] * qb[2] + qa[3] * qb[3];
  if (cosine < 0) {
    for (float& v : qb) v = -v;
    cosine = -cosine;
  }
  float wa = 1 - percent, wb = percent;
  if (cosine < 0.9999) {
    const float angle = std::acos(cosine), sine = std::sin(angle);
    wa = std::sin((1 - percent) * angle) / sine;
    wb = std::sin(percent * angle) / sine;
  }
  std::array<float, 4> q;
  float norm = 0;
  for (int i = 0; i < 4; ++i) {
    q[i] = qa[i] * wa + qb[i] * wb;
    norm += q[i] * q[i];
  }
  norm = std::sqrt(norm);
  if (norm > 0)
    for (float& v : q) v /= norm;
  return Compose(translation, QuaternionAxes(q), scale);
}
Value InterpolateStatic(Machine& m, const Value&, const Value* args, int argc) {
  const Mat a = Get(m, NonNull(m, args, argc, 0, "thisMat")), b = Get(m, NonNull(m, args, argc, 1, "toMat"));
  return NewMatrix3D(m, Interpolate(a, b, NumArg(m, args, argc, 2, NAN)));
}
Value InterpolateTo(Machine& m, const Value& self, const Value* args, int argc) {
  const Mat b = Get(m, NonNull(m, args, argc, 0, "toMat"));
  Put(m, self, Interpolate(Get(m, self), b, NumArg(m, args, argc, 1, NAN)));
  return Value();
}

// a turned about its position so that its own `at` direction points at target and its
// own `up` stays as near up as it can; the scale and position stay. a itself when the
// directions are no directions.
Mat PointedAt(const Mat& a, const std::array<double, 4>& target, const Vec3& at, const Vec3& up) {
  const Parts p = Decompose(a);
  const Vec3 direction = {static_cast<float>(target[0] - p.translation[0]), static_cast<float>(target[1] - p.translation[1]),
                          static_cast<float>(target[2] - p.translation[2])};
  // An orthonormal frame of a direction and an up vector: (direction, up made square to it, their cross).
  bool ok = true;
  const auto frame = [&ok](Vec3 f, Vec3 u) {
    std::array<Vec3, 3> out{};
    const float lf = Length(f);
    if (lf == 0) {
      ok = false;
      return out;
    }
    for (float& v : f) v /= lf;
    const float d = Dot(f, u);
    for (int i = 0; i < 3; ++i) u[i] -= d * f[i];
    const float lu = Length(u);
    if (lu == 0) {
      ok = false;
      return out;
    }
    for (float& v : u) v /= lu;
    out = {f, u, Cross(f, u)};
    return out;
  };
  const auto from = frame(at, up), to = frame(direction, up);
  if (!ok) return a;
  // The turn that takes the first frame onto the second: to * transpose(from).
  std::array<Vec3, 3> axes{};
  for (int k = 0; k < 3; ++k)
    for (int r = 0; r < 3; ++r) {
      float sum = 0;
      for (int j = 0; j < 3; ++j) sum += to[j][r] * from[j][k];
      axes[k][r] = sum;
    }
  return Compose(p.translation, axes, p.scale);
}

// The target and the at and up directions of pointAt and pointTowards, from args[first] on.
Mat PointedAt(Machine& m, const Mat& a, const Value* args, int argc, int first) {
  const auto target = Vec(m, NonNull(m, args, argc, first, "pos"));
  const Value atValue = Arg(args, argc, first + 1), upValue = Arg(args, argc, first + 2);
  const auto at = atValue.IsNullish() ? std::array<double, 4>{0, 0, -1, 0} : Vec(m, atValue);
  const auto up = upValue.IsNullish() ? std::array<double, 4>{0, -1, 0, 0} : Vec(m, upValue);
  return PointedAt(a, target, Floats(at.data()), Floats(up.data()));
}

// pointAt(pos, at = (0, 0, -1), up = (0, -1, 0)).
Value PointAt(Machine& m, const Value& self, const Value* args, int argc) {
  Put(m, self, PointedAt(m, Get(m, self), args, argc, 0));
  return Value();
}

// Utils3D.projectVector(m, v): v transformed, x, y and z times the reciprocal of the w that comes out
// (kept as w); the player works in 32-bit floats.
Value ProjectVector(Machine& m, const Value&, const Value* args, int argc) {
  const Mat a = Get(m, NonNull(m, args, argc, 0, "m"));
  const auto v = Vec(m, NonNull(m, args, argc, 1, "v"));
  float out[4];
  for (int r = 0; r < 4; ++r) out[r] = a[r] * v[0] + a[4 + r] * v[1] + a[8 + r] * v[2] + a[12 + r];
  const float reciprocal = 1 / out[3];
  return NewVector3D(m, out[0] * reciprocal, out[1] * reciprocal, out[2] * reciprocal, out[3]);
}

// Utils3D.projectVectors(m, verts, projectedVerts, uvts): each (x, y, z) of verts projected
// to (x / w, y / w) into projectedVerts (made just long enough), and 1 / w into the third
// of each (u, v, t) of uvts (which grows to the length of verts when shorter).
Value ProjectVectors(Machine& m, const Value&, const Value* args, int argc) {
  const Mat a = Get(m, NonNull(m, args, argc, 0, "m"));
  const NativeObject& verts = VectorArg(m, NonNull(m, args, argc, 1, "verts"));
  const Value& projectedValue = NonNull(m, args, argc, 2, "projectedVerts");
  NativeObject& projected = VectorArg(m, projectedValue);
  const Value& uvtsValue = NonNull(m, args, argc, 3, "uvts");
  NativeObject& uvts = VectorArg(m, uvtsValue);
  const std::size_t count = verts.list.size() / 3;
  if (projected.list.size() != count * 2) {
    if (FixedVector(m, projectedValue)) m.ThrowError("RangeError", 1126, "Cannot change the length of a fixed Vector.");
    projected.list.resize(count * 2, Value::Number(0));
  }
  if (uvts.list.size() < verts.list.size()) {
    if (FixedVector(m, uvtsValue)) m.ThrowError("RangeError", 1126, "Cannot change the length of a fixed Vector.");
    uvts.list.resize(verts.list.size(), Value::Number(0));
  }
  for (std::size_t i = 0; i < count; ++i) {
    const float x = m.ToNumber(verts.list[i * 3]), y = m.ToNumber(verts.list[i * 3 + 1]), z = m.ToNumber(verts.list[i * 3 + 2]);
    float out[4];
    for (int r = 0; r < 4; ++r) out[r] = a[r] * x + a[4 + r] * y + a[8 + r] * z + a[12 + r];
    const float reciprocal = 1 / out[3];
    projected.list[i * 2] = Value::Number(static_cast<float>(out[0] * reciprocal));
    projected.list[i * 2 + 1] = Value::Number(static_cast<float>(out[1] * reciprocal));
    uvts.list[i * 3 + 2] = Value::Number(1 / static_cast<double>(out[3]));
  }
  return Value();
}

// Utils3D.pointTowards(percent, mat, pos, at, up): a copy of mat turned percent of the way
// towards pointing at pos.
Value PointTowards(Machine& m, const Value&, const Value* args, int argc) {
  const double percent = NumArg(m, args, argc, 0, NAN);
  const Mat a = Get(m, NonNull(m, args, argc, 1, "mat"));
  return NewMatrix3D(m, Interpolate(a, PointedAt(m, a, args, argc, 2), percent));
}

// flash.geom.PerspectiveProjection: a field of view (degrees, kept) and a projection
// centre, on a stage of 500 x 500 (its focal length is half that width over the tangent of
// half the field, in 32-bit floats).
constexpr double kProjectionWidth = 500;
NativeObject& Projection(Machine& m, const Value& v) {
  auto* o = v.IsObject() ? dynamic_cast<NativeObject*>(v.object) : nullptr;
  if (!o || o->list.size() != 3 || !m.IsInstance(v, m.FindClass("flash.geom.PerspectiveProjection")))
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(v) + " to flash.geom.PerspectiveProjection.");
  return *o;
}
Object* AllocateProjection(Machine& m, ClassObject*) {
  auto* o = m.heap.Make<NativeObject>(ObjectKind::Other, nullptr, nullptr);
  o->list = {Value::Number(55), Value::Number(kProjectionWidth / 2), Value::Number(kProjectionWidth / 2)};
  return o;
}
double FocalLength(double fieldOfView) {
  return static_cast<float>(kProjectionWidth / 2 / std::tan(fieldOfView * M_PI / 360));
}
Value GetFieldOfView(Machine& m, const Value& self, const Value*, int) { return Projection(m, self).list[0]; }
Value SetFieldOfView(Machine& m, const Value& self, const Value* args, int argc) {
  const double fov = NumArg(m, args, argc, 0, NAN);
  if (!(fov > 0 && fov < 180))
    m.ThrowError("ArgumentError", 2182, "Invalid fieldOfView value.  The value must be greater than 0 and less than 180.");
  Projection(m, self).list[0] = Value::Number(fov);
  return Value();
}
Value GetFocalLength(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(FocalLength(Projection(m, self).list[0].number));
}
Value SetFocalLength(Machine& m, const Value& self, const Value* args, int argc) {
  const double length = NumArg(m, args, argc, 0, NAN);
  if (!(length > 0)) m.ThrowError("ArgumentError", 2186, "Invalid focalLength " + m.ToString(Value::Number(length)) + ".");
  Projection(m, self).list[0] = Value::Number(2 * std::atan(kProjectionWidth / 2 / length) * 180 / M_PI);
  return Value();
}
Value GetCenter(Machine& m, const Value& self, const Value*, int) {
  const NativeObject& o = Projection(m, self);
  const Value xy[] = {o.list[1], o.list[2]};
  return Value::Obj(m.ConstructClass(m.FindClass("flash.geom.Point"), xy, 2));
}
Value SetCenter(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject& o = Projection(m, self);
  const Value& point = NonNull(m, args, argc, 0, "p");
  o.list[1] = Value::Number(m.ToNumber(m.GetPublic(point, "x")));
  o.list[2] = Value::Number(m.ToNumber(m.GetPublic(point, "y")));
  return Value();
}
// toMatrix3D(): the projection as a matrix: x and y scaled by the focal length, w = z.
Value ProjectionMatrix(Machine& m, const Value& self, const Value*, int) {
  const double focal = FocalLength(Projection(m, self).list[0].number);
  return NewMatrix3D(m, Mat{focal, 0, 0, 0, 0, focal, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0});
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
      {"decompose", DecomposeMethod, nullptr, 0, 0, 1},
      {"recompose", RecomposeMethod, nullptr, 0, 0, 2},
      {"interpolateTo", InterpolateTo, nullptr, 0, 0, 2},
      {"pointAt", PointAt, nullptr, 0, 0, 3},
      {"interpolate", InterpolateStatic, nullptr, kStatic, 0, 3},
  };
  Install(m, cls, kMembers);
  ClassObject* utils = m.DefineClass("flash.geom", "Utils3D", m.objectClass);
  static const Member kUtilsMembers[] = {
      {"projectVector", ProjectVector, nullptr, kStatic, 0, 2},
      {"projectVectors", ProjectVectors, nullptr, kStatic, 0, 4},
      {"pointTowards", PointTowards, nullptr, kStatic, 0, 5},
  };
  Install(m, utils, kUtilsMembers);
  ClassObject* projection = m.DefineClass("flash.geom", "PerspectiveProjection", m.objectClass);
  projection->allocate = AllocateProjection;
  static const Member kProjectionMembers[] = {
      {"fieldOfView", GetFieldOfView, SetFieldOfView, kAccessor, 0},
      {"focalLength", GetFocalLength, SetFocalLength, kAccessor, 0},
      {"projectionCenter", GetCenter, SetCenter, kAccessor, 0},
      {"toMatrix3D", ProjectionMatrix, nullptr, 0, 0},
  };
  Install(m, projection, kProjectionMembers);
}

}  // namespace vantrel::flash::avm2
