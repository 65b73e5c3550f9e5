// The classes of what the player offers movies none of: a screen reader (Accessibility
// answers that none is active), cameras and microphones (get() finds no device, names
// lists none) and advanced anti-aliasing (flash.text.TextRenderer keeps its settings,
// which change nothing the player draws). XMLSocket has its own file; it is installed
// here, in the place of the classes of the world around the player.
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"

namespace vantrel::flash::avm1 {

namespace {

Value Refuse(Call&) { return Value::Bool(false); }
Value Nothing(Call&) { return {}; }
Value NoDevice(Call&) { return Value::Null(); }
Value NoNames(Call& call) { return Value::Obj(call.machine.NewArray()); }

Value Construct(Call& call) { return Value::Obj(call.self); }

// Camera and Microphone: classes whose get() finds no device and whose names are none.
void InstallDeviceClass(Runtime& rt, const char* name) {
  Object* ctor = rt.MakeClass(Construct, Construct);
  static const Member kStatics[] = {
      {"get", NoDevice, nullptr, kDontEnum},
      {"names", NoNames, nullptr, kGetterOnly | kDontEnum},
  };
  rt.AddMembers(ctor, kStatics);
  data::RegisterClass(rt, rt.global, name, ctor);
}

}  // namespace

void InstallDevices(Runtime& rt) {
  Object* accessibility = rt.MakeObject();
  static const Member kAccessibility[] = {
      {"isActive", Refuse, nullptr, kDontEnum},
      {"updateProperties", Nothing, nullptr, kDontEnum},
      {"sendEvent", Nothing, nullptr, kDontEnum},
  };
  rt.AddMembers(accessibility, kAccessibility);
  rt.global->Define("Accessibility", Value::Obj(accessibility), kDontEnum);

  InstallDeviceClass(rt, "Camera");
  InstallDeviceClass(rt, "Microphone");

  InstallXmlSocket(rt);

  Object* renderer = rt.MakeClass(Construct, Construct);
  static const Member kRenderer[] = {{"setAdvancedAntialiasingTable", Nothing, nullptr, kDontEnum}};
  rt.AddMembers(renderer, kRenderer);
  renderer->Define("maxLevel", Value::Number(4), kDontEnum);
  renderer->Define("displayMode", Value::Str(rt.Str("default")), kDontEnum);
  data::RegisterClass(rt, data::Package(rt, "flash.text"), "flash.text.TextRenderer", renderer);
}

}  // namespace vantrel::flash::avm1
