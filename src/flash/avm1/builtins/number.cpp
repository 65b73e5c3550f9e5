// Number: conversion as a function, a box with new, toString(radix), valueOf and the
// constants.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/native_support.h"

namespace vantrel::flash::avm1 {

namespace {

Value NumberCall(Call& call) { return Value::Number(call.Count() == 0 ? 0.0 : ArgNumber(call, 0)); }

Value NumberConstruct(Call& call) {
  const double n = call.Count() == 0 ? 0.0 : ArgNumber(call, 0);
  Object* box = call.self ? call.self : call.machine.NewObject();
  MakeBox(box, NativeKind::Number, Value::Number(n));
  return Value::Obj(box);
}

// The number `this` stands for; false when it is no Number (the methods then give
// undefined, as the player's do).
bool ThisNumber(Call& call, double& out) {
  if (call.thisValue.IsNumber()) {
    out = call.thisValue.number;
    return true;
  }
  const Value boxed = BoxedValue(call.self, NativeKind::Number);
  if (!boxed.IsNumber()) return false;
  out = boxed.number;
  return true;
}

// Integer digits in another base, worked out the way the player does it in 32 bits: the
// value is clamped to 32 bits first (NaN becomes -2^31), a negative one is negated, and
// each digit is the remainder of a division. -2^31 stays negative when negated, so its
// remainders are negative too and come out as the characters below '0'.
std::string IntegerInRadix(double n, int radix) {
  std::int32_t v = std::isnan(n) ? std::numeric_limits<std::int32_t>::min() : SaturatedInt32(n);
  if (v == 0) return "0";
  const bool negative = v < 0;
  if (negative && v != std::numeric_limits<std::int32_t>::min()) v = -v;
  std::string digits;
  while (v != 0) {
    const int d = v % radix;
    digits.insert(digits.begin(), static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10));
    v /= radix;
  }
  return negative ? "-" + digits : digits;
}

Value ToStringMethod(Call& call) {
  double n = 0;
  if (!ThisNumber(call, n)) return Value();
  int radix = 10;
  if (call.Count() > 0) {
    const double r = ArgNumber(call, 0);
    const int asked = std::isnan(r) ? 10 : static_cast<int>(std::clamp(r, -1e9, 1e9));
    if (asked >= 2 && asked <= 36) radix = asked;
  }
  if (radix == 10) return call.machine.Str(NumberToString(n));
  return call.machine.Str(IntegerInRadix(n, radix));
}

Value ValueOf(Call& call) {
  double n = 0;
  if (!ThisNumber(call, n)) return Value();
  return Value::Number(n);
}

constexpr std::uint16_t kMethod = kDontEnum | kDontDelete;

const Member kPrototypeMembers[] = {
    {"valueOf", ValueOf, nullptr, kMethod, 106, 0},
    {"toString", ToStringMethod, nullptr, kMethod, 106, 1},
};

}  // namespace

void InstallNumber(Runtime& rt) {
  Object* ctor = rt.MakeClass(NumberCall, NumberConstruct);
  Object* proto = ctor->FindOwn("prototype", true)->value.AsObject();
  MakeBox(proto, NativeKind::Number, Value::Number(0));
  rt.numberProto = proto;
  Install(rt, proto, kPrototypeMembers);
  constexpr std::uint16_t kConstant = kDontEnum | kDontDelete | kReadOnly;
  ctor->Define("NaN", Value::Number(std::numeric_limits<double>::quiet_NaN()), kConstant);
  ctor->Define("POSITIVE_INFINITY", Value::Number(std::numeric_limits<double>::infinity()), kConstant);
  ctor->Define("NEGATIVE_INFINITY", Value::Number(-std::numeric_limits<double>::infinity()), kConstant);
  ctor->Define("MIN_VALUE", Value::Number(std::numeric_limits<double>::denorm_min()), kConstant);
  ctor->Define("MAX_VALUE", Value::Number(std::numeric_limits<double>::max()), kConstant);
  ctor->FindOwn("prototype", true)->attributes |= kReadOnly;
  rt.RegisterNative(106, 2, ctor);
  rt.global->Define("Number", Value::Obj(ctor), kDontEnum);
  rt.prototypes["Number"] = proto;
}

}  // namespace vantrel::flash::avm1
