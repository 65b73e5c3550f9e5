// Boolean: conversion as a function, a box with new, toString and valueOf.
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/native_support.h"

namespace vantrel::flash::avm1 {

namespace {

Value BooleanCall(Call& call) {
  // Boolean() without an argument is undefined in the player, not false.
  if (call.Count() == 0) return Value();
  return Value::Bool(call.machine.ToBoolean(call.Arg(0)));
}

Value BooleanConstruct(Call& call) {
  const bool b = call.Count() > 0 && call.machine.ToBoolean(call.Arg(0));
  Object* box = call.self ? call.self : call.machine.NewObject();
  MakeBox(box, NativeKind::Boolean, Value::Bool(b));
  return Value::Obj(box);
}

bool ThisBoolean(Call& call, bool& out) {
  if (call.thisValue.IsBoolean()) {
    out = call.thisValue.boolean;
    return true;
  }
  const Value boxed = BoxedValue(call.self, NativeKind::Boolean);
  if (!boxed.IsBoolean()) return false;
  out = boxed.boolean;
  return true;
}

Value ToStringMethod(Call& call) {
  bool b = false;
  if (!ThisBoolean(call, b)) return Value();
  return call.machine.Str(b ? "true" : "false");
}

Value ValueOf(Call& call) {
  bool b = false;
  if (!ThisBoolean(call, b)) return Value();
  return Value::Bool(b);
}

constexpr std::uint16_t kMethod = kDontEnum | kDontDelete;

const Member kPrototypeMembers[] = {
    {"valueOf", ValueOf, nullptr, kMethod, 107, 0},
    {"toString", ToStringMethod, nullptr, kMethod, 107, 1},
};

}  // namespace

void InstallBoolean(Runtime& rt) {
  Object* ctor = rt.MakeClass(BooleanCall, BooleanConstruct);
  Object* proto = ctor->FindOwn("prototype", true)->value.AsObject();
  MakeBox(proto, NativeKind::Boolean, Value::Bool(false));
  rt.booleanProto = proto;
  Install(rt, proto, kPrototypeMembers);
  rt.RegisterNative(107, 2, ctor);
  rt.global->Define("Boolean", Value::Obj(ctor), kDontEnum);
  rt.prototypes["Boolean"] = proto;
}

}  // namespace vantrel::flash::avm1
