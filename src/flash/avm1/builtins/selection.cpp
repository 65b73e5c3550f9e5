// Selection: keyboard focus and the focus listeners.
#include "flash/avm1/builtins/broadcast_setup.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/display_binding.h"
#include "flash/avm1/interpreter.h"
#include "flash/display/player.h"

namespace vantrel::flash::avm1 {

namespace {

Value GetFocus(Call& call) {
  if (!call.machine.HasPlayer()) return Value::Null();
  DisplayObject* focus = call.machine.GetPlayer().Focus();
  if (!focus || focus->Removed()) return Value::Null();
  return call.machine.Str(DisplayDotPath(focus));
}

Value SetFocus(Call& call) {
  if (!call.machine.HasPlayer()) return Value::Bool(false);
  Player& player = call.machine.GetPlayer();
  const Value target = call.Arg(0);
  DisplayObject* object = nullptr;
  if (Object* o = target.AsObject()) {
    object = call.machine.AsDisplay(o);
  } else if (target.IsString()) {
    object = ResolveTarget(static_cast<Interpreter&>(call.machine), &player.Root(), target.Text());
  }
  DisplayObject* before = player.Focus();
  if (target.IsNullish()) {
    player.SetFocus(nullptr);
  } else if (!object) {
    return Value::Bool(false);
  } else {
    player.SetFocus(object);
  }
  if (before != player.Focus()) {
    Object* selection = call.machine.Get(call.machine.Rt().global, "Selection").AsObject();
    if (selection) {
      const Value args[] = {call.machine.Str("onSetFocus"), DisplayValue(before), DisplayValue(player.Focus())};
      call.machine.CallMethod(Value::Obj(selection), "broadcastMessage", args);
    }
  }
  return Value::Bool(true);
}

Value MinusOne(Call&) { return Value::Number(-1); }
Value Nothing(Call&) { return {}; }

const Member kMethods[] = {
    {"getFocus", GetFocus, nullptr, kDontEnum | kDontDelete | kReadOnly, 600, 3},
    {"setFocus", SetFocus, nullptr, kDontEnum | kDontDelete | kReadOnly, 600, 4},
    {"getBeginIndex", MinusOne, nullptr, kDontEnum | kDontDelete | kReadOnly, 600, 0},
    {"getEndIndex", MinusOne, nullptr, kDontEnum | kDontDelete | kReadOnly, 600, 1},
    {"getCaretIndex", MinusOne, nullptr, kDontEnum | kDontDelete | kReadOnly, 600, 2},
    {"setSelection", Nothing, nullptr, kDontEnum | kDontDelete | kReadOnly, 600, 5},
};

}  // namespace

void InstallSelection(Runtime& rt) {
  Object* selection = rt.MakeObject();
  rt.AddMembers(selection, kMethods);
  GiveBroadcasterMethods(rt, selection);
  rt.global->Define("Selection", Value::Obj(selection), kDontEnum);
}

}  // namespace vantrel::flash::avm1
