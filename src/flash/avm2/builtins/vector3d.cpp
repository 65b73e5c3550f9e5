// flash.geom.Vector3D: a point or direction in three dimensions with a fourth
// component (w) that the operations on directions leave at 0 and project() divides by.
#include <cmath>

#include "flash/avm2/builtins/support.h"

namespace vantrel::flash::avm2 {

namespace {

// x, y, z and w in `list`.
NativeObject& Vec(Machine& m, const Value& v) {
  auto* o = v.IsObject() ? dynamic_cast<NativeObject*>(v.object) : nullptr;
  if (!o || !o->cls || o->list.size() != 4 || !m.IsSubclass(o->cls, m.FindClass("flash.geom.Vector3D")))
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(v) + " to flash.geom.Vector3D.");
  return *o;
}
// A Vector3D argument; null is an error as the player reports it.
NativeObject& VecArg(Machine& m, const Value* args, int argc, int index) {
  const Value v = Arg(args, argc, index);
  if (v.IsNullish()) m.ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
  return Vec(m, v);
}
double C(const NativeObject& o, int i) { return o.list[static_cast<std::size_t>(i)].number; }

Object* Allocate(Machine& m, ClassObject*) {
  auto* o = m.heap.Make<NativeObject>(ObjectKind::Other, nullptr, nullptr);
  o->list.assign(4, Value::Number(0));
  return o;
}

Value Make(Machine& m, double x, double y, double z, double w) {
  const Value args[] = {Value::Number(x), Value::Number(y), Value::Number(z), Value::Number(w)};
  return Value::Obj(m.ConstructClass(m.FindClass("flash.geom.Vector3D"), args, 4));
}

Value Construct(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject& v = Vec(m, self);
  for (int i = 0; i < 4; ++i) v.list[static_cast<std::size_t>(i)] = Value::Number(NumArg(m, args, argc, i, 0));
  return self;
}

Value Get(Machine& m, const Value& self, const Value*, int) { return Vec(m, self).list[static_cast<std::size_t>(NativeTag(m))]; }
Value Set(Machine& m, const Value& self, const Value* args, int argc) {
  Vec(m, self).list[static_cast<std::size_t>(NativeTag(m))] = Value::Number(m.ToNumber(Arg(args, argc, 0)));
  return Value();
}

double LengthSquared(const NativeObject& v) { return C(v, 0) * C(v, 0) + C(v, 1) * C(v, 1) + C(v, 2) * C(v, 2); }
Value Length(Machine& m, const Value& self, const Value*, int) { return Value::Number(std::sqrt(LengthSquared(Vec(m, self)))); }
Value LengthSq(Machine& m, const Value& self, const Value*, int) { return Value::Number(LengthSquared(Vec(m, self))); }

// add, subtract and crossProduct make new vectors: w is 0 after a sum or difference and
// 1 after a cross product.
Value Add(Machine& m, const Value& self, const Value* args, int argc) {
  const NativeObject &a = Vec(m, self), &b = VecArg(m, args, argc, 0);
  return Make(m, C(a, 0) + C(b, 0), C(a, 1) + C(b, 1), C(a, 2) + C(b, 2), 0);
}
Value Subtract(Machine& m, const Value& self, const Value* args, int argc) {
  const NativeObject &a = Vec(m, self), &b = VecArg(m, args, argc, 0);
  return Make(m, C(a, 0) - C(b, 0), C(a, 1) - C(b, 1), C(a, 2) - C(b, 2), 0);
}
Value Cross(Machine& m, const Value& self, const Value* args, int argc) {
  const NativeObject &a = Vec(m, self), &b = VecArg(m, args, argc, 0);
  return Make(m, C(a, 1) * C(b, 2) - C(a, 2) * C(b, 1), C(a, 2) * C(b, 0) - C(a, 0) * C(b, 2),
              C(a, 0) * C(b, 1) - C(a, 1) * C(b, 0), 1);
}
Value Dot(Machine& m, const Value& self, const Value* args, int argc) {
  const NativeObject &a = Vec(m, self), &b = VecArg(m, args, argc, 0);
  return Value::Number(C(a, 0) * C(b, 0) + C(a, 1) * C(b, 1) + C(a, 2) * C(b, 2));
}
Value Clone(Machine& m, const Value& self, const Value*, int) {
  const NativeObject& a = Vec(m, self);
  return Make(m, C(a, 0), C(a, 1), C(a, 2), C(a, 3));
}

// incrementBy, decrementBy, scaleBy and negate change x, y and z in place.
template <int Sign>
Value IncrementBy(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject &a = Vec(m, self), &b = VecArg(m, args, argc, 0);
  for (int i = 0; i < 3; ++i) a.list[static_cast<std::size_t>(i)] = Value::Number(C(a, i) + Sign * C(b, i));
  return Value();
}
void Scale(NativeObject& a, double s) {
  for (int i = 0; i < 3; ++i) a.list[static_cast<std::size_t>(i)] = Value::Number(C(a, i) * s);
}
Value ScaleBy(Machine& m, const Value& self, const Value* args, int argc) {
  Scale(Vec(m, self), m.ToNumber(Arg(args, argc, 0)));
  return Value();
}
Value Negate(Machine& m, const Value& self, const Value*, int) {
  Scale(Vec(m, self), -1);
  return Value();
}
// normalize(): the length before; a vector of no length stays as it is.
Value Normalize(Machine& m, const Value& self, const Value*, int) {
  NativeObject& a = Vec(m, self);
  const double length = std::sqrt(LengthSquared(a));
  if (length != 0) {
    for (int i = 0; i < 3; ++i) a.list[static_cast<std::size_t>(i)] = Value::Number(C(a, i) / length);
  }
  return Value::Number(length);
}
// project(): x, y and z divided by w.
Value Project(Machine& m, const Value& self, const Value*, int) {
  NativeObject& a = Vec(m, self);
  const double w = C(a, 3);
  for (int i = 0; i < 3; ++i) a.list[static_cast<std::size_t>(i)] = Value::Number(C(a, i) / w);
  return Value();
}

Value Equals(Machine& m, const Value& self, const Value* args, int argc) {
  const NativeObject &a = Vec(m, self), &b = VecArg(m, args, argc, 0);
  const int count = m.ToBoolean(Arg(args, argc, 1)) ? 4 : 3;
  for (int i = 0; i < count; ++i)
    if (C(a, i) != C(b, i)) return Value::Bool(false);
  return Value::Bool(true);
}
Value NearEquals(Machine& m, const Value& self, const Value* args, int argc) {
  const NativeObject &a = Vec(m, self), &b = VecArg(m, args, argc, 0);
  const double tolerance = m.ToNumber(Arg(args, argc, 1));
  const int count = m.ToBoolean(Arg(args, argc, 2)) ? 4 : 3;
  for (int i = 0; i < count; ++i)
    if (!(std::abs(C(a, i) - C(b, i)) < tolerance)) return Value::Bool(false);
  return Value::Bool(true);
}

Value ToString(Machine& m, const Value& self, const Value*, int) {
  const NativeObject& a = Vec(m, self);
  return m.StrValue("Vector3D(" + m.ToString(a.list[0]) + ", " + m.ToString(a.list[1]) + ", " + m.ToString(a.list[2]) + ")");
}

Value AngleBetween(Machine& m, const Value&, const Value* args, int argc) {
  const NativeObject &a = VecArg(m, args, argc, 0), &b = VecArg(m, args, argc, 1);
  const double dot = C(a, 0) * C(b, 0) + C(a, 1) * C(b, 1) + C(a, 2) * C(b, 2);
  return Value::Number(std::acos(dot / std::sqrt(LengthSquared(a) * LengthSquared(b))));
}
Value Distance(Machine& m, const Value&, const Value* args, int argc) {
  const NativeObject &a = VecArg(m, args, argc, 0), &b = VecArg(m, args, argc, 1);
  const double dx = C(a, 0) - C(b, 0), dy = C(a, 1) - C(b, 1), dz = C(a, 2) - C(b, 2);
  return Value::Number(std::sqrt(dx * dx + dy * dy + dz * dz));
}

}  // namespace

void InstallVector3D(Machine& m) {
  ClassObject* cls = m.DefineClass("flash.geom", "Vector3D", m.objectClass, Construct);
  cls->allocate = Allocate;
  static const Member kMembers[] = {
      {"x", Get, Set, kAccessor, 0},
      {"y", Get, Set, kAccessor, 1},
      {"z", Get, Set, kAccessor, 2},
      {"w", Get, Set, kAccessor, 3},
      {"length", Length, nullptr, kAccessor, 0},
      {"lengthSquared", LengthSq, nullptr, kAccessor, 0},
      {"add", Add, nullptr, 0, 0},
      {"subtract", Subtract, nullptr, 0, 0},
      {"crossProduct", Cross, nullptr, 0, 0},
      {"dotProduct", Dot, nullptr, 0, 0},
      {"clone", Clone, nullptr, 0, 0},
      {"incrementBy", IncrementBy<1>, nullptr, 0, 0},
      {"decrementBy", IncrementBy<-1>, nullptr, 0, 0},
      {"scaleBy", ScaleBy, nullptr, 0, 0},
      {"negate", Negate, nullptr, 0, 0},
      {"normalize", Normalize, nullptr, 0, 0},
      {"project", Project, nullptr, 0, 0},
      {"equals", Equals, nullptr, 0, 0},
      {"nearEquals", NearEquals, nullptr, 0, 0},
      {"toString", ToString, nullptr, 0, 0},
      {"angleBetween", AngleBetween, nullptr, kStatic, 0},
      {"distance", Distance, nullptr, kStatic, 0},
  };
  Install(m, cls, kMembers);
  m.AddConstant(cls, "X_AXIS", Make(m, 1, 0, 0, 0));
  m.AddConstant(cls, "Y_AXIS", Make(m, 0, 1, 0, 0));
  m.AddConstant(cls, "Z_AXIS", Make(m, 0, 0, 1, 0));
}

}  // namespace vantrel::flash::avm2
