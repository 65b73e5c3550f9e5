// Error: name and message on the prototype, a message given to the constructor on the
// instance, toString giving the message.
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/native_support.h"

namespace vantrel::flash::avm1 {

namespace {

Value ErrorConstruct(Call& call) {
  Object* error = call.self;
  if (!error) {
    error = call.machine.NewObject();
    error->proto = call.machine.Rt().errorProto;
  }
  if (!call.Arg(0).IsUndefined()) call.machine.Set(error, "message", call.Arg(0));
  return Value::Obj(error);
}

// Error("x") without new makes an error all the same.
Value ErrorCall(Call& call) {
  Call construct{call.machine, Value(), nullptr, call.args, call.callee, true};
  return ErrorConstruct(construct);
}

Value ToStringMethod(Call& call) {
  if (!call.self) return call.machine.Str("Error");
  return call.machine.Str(call.machine.ToString(call.machine.Get(call.self, "message")));
}

const Member kPrototypeMembers[] = {
    {"toString", ToStringMethod, nullptr, kDontEnum | kDontDelete},
};

}  // namespace

void InstallError(Runtime& rt) {
  Object* ctor = rt.MakeClass(ErrorCall, ErrorConstruct);
  Object* proto = ctor->FindOwn("prototype", true)->value.AsObject();
  rt.errorProto = proto;
  proto->Define("message", Value::Str(rt.Str("Error")), kDontEnum);
  proto->Define("name", Value::Str(rt.Str("Error")), kDontEnum);
  Install(rt, proto, kPrototypeMembers);
  rt.global->Define("Error", Value::Obj(ctor), kDontEnum);
  rt.prototypes["Error"] = proto;
}

}  // namespace vantrel::flash::avm1
