// Mouse: showing and hiding the pointer, and the mouse listeners.
#include "flash/avm1/builtins/broadcast_setup.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/display/player.h"

namespace vantrel::flash::avm1 {

namespace {

Value Show(Call& call) {
  if (!call.machine.HasPlayer()) return Value::Number(0);
  MovieRuntime& player = call.machine.GetPlayer();
  const bool was = player.mouseVisible;
  player.mouseVisible = true;
  return Value::Number(was ? 1 : 0);
}

Value Hide(Call& call) {
  if (!call.machine.HasPlayer()) return Value::Number(0);
  MovieRuntime& player = call.machine.GetPlayer();
  const bool was = player.mouseVisible;
  player.mouseVisible = false;
  return Value::Number(was ? 1 : 0);
}

const Member kMethods[] = {
    {"show", Show, nullptr, kDontEnum | kDontDelete | kReadOnly, 5, 0},
    {"hide", Hide, nullptr, kDontEnum | kDontDelete | kReadOnly, 5, 1},
};

}  // namespace

void InstallMouse(Runtime& rt) {
  Object* mouse = rt.MakeObject();
  rt.AddMembers(mouse, kMethods);
  GiveBroadcasterMethods(rt, mouse);
  rt.global->Define("Mouse", Value::Obj(mouse), kDontEnum);
}

}  // namespace vantrel::flash::avm1
