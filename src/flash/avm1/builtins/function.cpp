// Function: the constructor and Function.prototype.call/apply.
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/native_support.h"

#include <vector>

namespace vantrel::flash::avm1 {

namespace {

// Function(x) gives x back, whatever it is (Function("return 5") is that text: scripts
// cannot make code from text); Function() an object without a prototype.
Value FunctionCall(Call& call) {
  if (call.Count() > 0) return call.Arg(0);
  return Value::Obj(call.machine.Rt().MakeObject(nullptr));
}

// An argument is the answer as it is: `new` keeps an object given and makes its own
// instance for anything else, and super(x) of a subclass answers x.
Value FunctionConstruct(Call& call) {
  if (call.Count() > 0) return call.Arg(0);
  return call.self ? Value::Obj(call.self) : Value::Obj(call.machine.NewObject());
}

// The `this` of call and apply: a given undefined or null stands for _global.
Value ThisArgument(Call& call) {
  if (call.Count() == 0) return Value();
  const Value given = call.Arg(0);
  if (given.IsNullish()) return Value::Obj(call.machine.Rt().global);
  const Value boxed = call.machine.BoxedForLookup(given);
  return boxed.IsNullish() ? Value::Obj(call.machine.Rt().global) : boxed;
}

Value CallMethod(Call& call) {
  if (!call.self || !call.self->IsFunction()) return Value();
  const Value thisValue = ThisArgument(call);
  std::span<const Value> rest;
  if (call.Count() > 1) rest = std::span<const Value>(call.args.data() + 1, call.Count() - 1);
  return call.machine.CallFunction(Value::Obj(call.self), thisValue, rest);
}

// The elements of an array-like object: an Array's own elements, or length and indexed
// properties of anything else.
std::vector<Value> ArrayLikeElements(MachineInterface& machine, Object* list) {
  if (!list) return {};
  if (const ArrayData* data = list->Array()) return data->elements;
  const std::int32_t length = ToInt32(machine.ToNumber(machine.Get(list, "length")));
  std::vector<Value> out;
  // A made-up length must not exhaust memory; the player caps arguments too.
  for (std::int32_t i = 0; i < length && i < 0x10000; ++i) out.push_back(machine.Get(list, std::to_string(i)));
  return out;
}

Value ApplyMethod(Call& call) {
  if (!call.self || !call.self->IsFunction()) return Value();
  const Value thisValue = ThisArgument(call);
  const std::vector<Value> args = ArrayLikeElements(call.machine, call.Arg(1).AsObject());
  return call.machine.CallFunction(Value::Obj(call.self), thisValue, args);
}

constexpr std::uint16_t kMethod = kDontEnum | kDontDelete;

const Member kPrototypeMembers[] = {
    {"call", CallMethod, nullptr, kMethod},
    {"apply", ApplyMethod, nullptr, kMethod},
};

}  // namespace

void InstallFunction(Runtime& rt) {
  Object* ctor = rt.MakeFunction(FunctionCall, FunctionConstruct);
  ctor->Define("prototype", Value::Obj(rt.functionProto), kDontEnum | kDontDelete);
  rt.functionProto->Define("constructor", Value::Obj(ctor), kDontEnum | kDontDelete);
  Install(rt, rt.functionProto, kPrototypeMembers);
  // SWF 5 code does not see Function at all.
  rt.global->Define("Function", Value::Obj(ctor), kDontEnum | kVersion6);
  rt.prototypes["Function"] = rt.functionProto;
}

}  // namespace vantrel::flash::avm1
