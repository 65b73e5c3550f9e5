// Button: the script object of button characters placed on a timeline.
#include "flash/avm1/builtins/builtins.h"
#include "flash/display/display_object.h"

namespace vantrel::flash::avm1 {

namespace {

Value ButtonConstructor(Call&) { return {}; }

Value GetDepth(Call& call) {
  DisplayObject* d = call.machine.AsDisplay(call.self);
  return d ? Value::Number(d->depth) : Value();
}

// Unlike the clip's, the button's getDepth, tabIndex, enabled and useHandCursor show
// in for..in.
const Member kMethods[] = {
    {"getDepth", GetDepth, nullptr, kVersion6},
    {"tabIndex", GetDisplayTabIndex, SetDisplayTabIndex, kDontDelete | kVersion6},
};

}  // namespace

void InstallButton(Runtime& rt) {
  Object* ctor = rt.MakeClass(ButtonConstructor, nullptr);
  rt.buttonProto = Runtime::PrototypeOf(ctor);
  rt.AddMembers(rt.buttonProto, kMethods);
  rt.buttonProto->Define("enabled", Value::Bool(true));
  rt.buttonProto->Define("useHandCursor", Value::Bool(true));
  rt.global->Define("Button", Value::Obj(ctor), kDontEnum);
  rt.prototypes["Button"] = rt.buttonProto;
}

}  // namespace vantrel::flash::avm1
