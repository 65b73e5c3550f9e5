// Selection: keyboard focus and the focus listeners.
#include "flash/avm1/builtins/broadcast_setup.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/display_binding.h"
#include "flash/avm1/interpreter.h"
#include "flash/display/player.h"
#include "flash/display/text_field.h"

#include <algorithm>
#include <cstdint>

namespace vantrel::flash::avm1 {

namespace {

// The focused object as a string (its path); null without focus.
Value GetFocus(Call& call) {
  if (!call.machine.HasPlayer()) return Value::Null();
  DisplayObject* focus = call.machine.GetPlayer().Focus();
  if (!focus || focus->Removed()) return Value::Null();
  return call.machine.Str(DisplayDotPath(focus));
}

// Gives the focus to an object or a target path; true when it took it. null and
// undefined take the focus away (true); no argument or a thing that cannot have the
// focus give false.
Value SetFocus(Call& call) {
  if (!call.machine.HasPlayer() || call.Count() == 0) return Value::Bool(false);
  MovieRuntime& player = call.machine.GetPlayer();
  const Value target = call.Arg(0);
  if (target.IsNullish()) {
    player.SetFocus(nullptr);
    return Value::Bool(true);
  }
  DisplayObject* object = nullptr;
  if (Object* o = target.AsObject()) {
    object = call.machine.AsDisplay(o);
  } else if (target.IsString()) {
    auto& machine = static_cast<Interpreter&>(call.machine);
    DisplayObject* base = call.machine.AsDisplay(call.machine.Target());
    object = ResolveTarget(machine, base ? base : &player.Root(), target.Text());
  }
  if (!object || !player.Focusable(*object)) return Value::Bool(false);
  player.SetFocus(object);
  return Value::Bool(true);
}

TextField* FocusedField(Call& call) {
  if (!call.machine.HasPlayer()) return nullptr;
  DisplayObject* focus = call.machine.GetPlayer().Focus();
  if (!focus || focus->Removed() || focus->Kind() != DisplayKind::EditText) return nullptr;
  auto* field = static_cast<TextField*>(focus);
  return field->selectionBegin < 0 ? nullptr : field;
}

Value GetBeginIndex(Call& call) {
  const TextField* f = FocusedField(call);
  return Value::Number(f ? std::min(f->selectionBegin, f->selectionEnd) : -1);
}

Value GetEndIndex(Call& call) {
  const TextField* f = FocusedField(call);
  return Value::Number(f ? std::max(f->selectionBegin, f->selectionEnd) : -1);
}

Value GetCaretIndex(Call& call) {
  const TextField* f = FocusedField(call);
  return Value::Number(f ? f->selectionEnd : -1);
}

// Selects from the first to the second index of the focused field (the caret at the
// second); negative indexes count as 0.
Value SetSelection(Call& call) {
  if (call.Count() == 0 || !call.machine.HasPlayer()) return {};
  DisplayObject* focus = call.machine.GetPlayer().Focus();
  if (!focus || focus->Removed() || focus->Kind() != DisplayKind::EditText) return {};
  auto* field = static_cast<TextField*>(focus);
  const std::int32_t begin = ToInt32(call.machine.ToNumber(call.Arg(0)));
  const std::int32_t end = call.Count() > 1 ? ToInt32(call.machine.ToNumber(call.Arg(1))) : INT32_MAX;
  field->SetSelection(std::max(begin, 0), std::max(end, 0));
  return {};
}

const Member kMethods[] = {
    {"getFocus", GetFocus, nullptr, kDontEnum | kDontDelete | kReadOnly, 600, 3},
    {"setFocus", SetFocus, nullptr, kDontEnum | kDontDelete | kReadOnly, 600, 4},
    {"getBeginIndex", GetBeginIndex, nullptr, kDontEnum | kDontDelete | kReadOnly, 600, 0},
    {"getEndIndex", GetEndIndex, nullptr, kDontEnum | kDontDelete | kReadOnly, 600, 1},
    {"getCaretIndex", GetCaretIndex, nullptr, kDontEnum | kDontDelete | kReadOnly, 600, 2},
    {"setSelection", SetSelection, nullptr, kDontEnum | kDontDelete | kReadOnly, 600, 5},
};

}  // namespace

void InstallSelection(Runtime& rt) {
  Object* selection = rt.MakeObject();
  rt.AddMembers(selection, kMethods);
  GiveBroadcasterMethods(rt, selection);
  rt.global->Define("Selection", Value::Obj(selection), kDontEnum);
}

}  // namespace vantrel::flash::avm1
