// Key: key codes, the keyboard state of the player, and the key listeners; also the
// helper that makes the display side's broadcasters.
#include <cmath>

#include "flash/avm1/builtins/broadcast_setup.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/display/player.h"

namespace vantrel::flash::avm1 {

void GiveBroadcasterMethods(Runtime& rt, Object* object) {
  object->Define("_listeners", Value::Obj(rt.MakeArray()), kDontEnum);
  const Property* broadcaster = rt.global->FindOwn("AsBroadcaster", true);
  Object* source = broadcaster ? broadcaster->value.AsObject() : nullptr;
  if (!source) return;
  for (const char* name : {"addListener", "removeListener", "broadcastMessage"}) {
    if (const Property* p = source->FindOwn(name, true)) object->Define(name, p->value, kDontEnum);
  }
}

namespace {

Value IsDown(Call& call) {
  if (!call.machine.HasPlayer()) return Value::Bool(false);
  const double code = call.machine.ToNumber(call.Arg(0));
  return Value::Bool(!std::isnan(code) && call.machine.GetPlayer().KeyIsDown(ToInt32(code)));
}

Value IsToggled(Call& call) {
  if (!call.machine.HasPlayer()) return Value::Bool(false);
  const double code = call.machine.ToNumber(call.Arg(0));
  return Value::Bool(!std::isnan(code) && call.machine.GetPlayer().KeyIsToggled(ToInt32(code)));
}

Value GetCode(Call& call) {
  return Value::Number(call.machine.HasPlayer() ? call.machine.GetPlayer().LastKeyCode() : 0);
}

Value GetAscii(Call& call) {
  return Value::Number(call.machine.HasPlayer() ? call.machine.GetPlayer().LastAscii() : 0);
}

const Member kMethods[] = {
    {"isDown", IsDown, nullptr, kDontEnum | kDontDelete | kReadOnly, 800, 0},
    {"isToggled", IsToggled, nullptr, kDontEnum | kDontDelete | kReadOnly, 800, 1},
    {"getAscii", GetAscii, nullptr, kDontEnum | kDontDelete | kReadOnly, 800, 2},
    {"getCode", GetCode, nullptr, kDontEnum | kDontDelete | kReadOnly, 800, 3},
};

}  // namespace

void InstallKey(Runtime& rt) {
  Object* key = rt.MakeObject();
  static const std::pair<const char*, int> kCodes[] = {
      {"ALT", 18},    {"BACKSPACE", 8}, {"CAPSLOCK", 20}, {"CONTROL", 17}, {"DELETEKEY", 46}, {"DOWN", 40},
      {"END", 35},    {"ENTER", 13},    {"ESCAPE", 27},   {"HOME", 36},    {"INSERT", 45},    {"LEFT", 37},
      {"PGDN", 34},   {"PGUP", 33},     {"RIGHT", 39},    {"SHIFT", 16},   {"SPACE", 32},     {"TAB", 9},
      {"UP", 38},
  };
  for (const auto& [name, code] : kCodes) key->Define(name, Value::Number(code), kDontEnum | kDontDelete | kReadOnly);
  rt.AddMembers(key, kMethods);
  GiveBroadcasterMethods(rt, key);
  rt.global->Define("Key", Value::Obj(key), kDontEnum);
}

}  // namespace vantrel::flash::avm1
