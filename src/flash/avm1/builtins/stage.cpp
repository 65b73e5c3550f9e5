// Stage: the movie's size, scale mode and alignment, and the resize listeners.
#include "flash/avm1/builtins/broadcast_setup.h"
#include "flash/avm1/builtins/broadcaster.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/display/player.h"

namespace vantrel::flash::avm1 {

namespace {

Value GetScaleMode(Call& call);

// The stage's size: the movie's, or under noScale the view's, which the stage then fills.
QSizeF StageSize(Call& call) {
  if (!call.machine.HasPlayer()) return {};
  const MovieRuntime& player = call.machine.GetPlayer();
  if (!player.viewSize.isEmpty() && call.machine.ToString(GetScaleMode(call)) == "noScale") return player.viewSize;
  return QSizeF(player.GetMovie().Width(), player.GetMovie().Height());
}
Value Width(Call& call) { return Value::Number(StageSize(call).width()); }
Value Height(Call& call) { return Value::Number(StageSize(call).height()); }

// scaleMode, align, showMenu and displayState keep what scripts set, in the slot below.
Value GetSlot(Call& call, const char* name, Value fallback) {
  Object* stage = call.self;
  if (!stage) return fallback;
  const Property* p = stage->FindOwn(name, true);
  return p ? p->value : fallback;
}
void SetSlot(Call& call, const char* name, const Value& v) {
  if (call.self) call.self->Define(name, v, kDontEnum);
}

Value GetScaleMode(Call& call) { return GetSlot(call, "$scaleMode", call.machine.Str("showAll")); }
Value SetScaleMode(Call& call) {
  const std::string mode = call.machine.ToString(call.Arg(0));
  // A mode the player does not know sets the default.
  const char* chosen = "showAll";
  for (const char* known : {"showAll", "noBorder", "exactFit", "noScale"}) {
    if (SameName(mode, known, false)) chosen = known;
  }
  const QSizeF before = StageSize(call);
  SetSlot(call, "$scaleMode", call.machine.Str(chosen));
  // A mode that resizes the stage tells the listeners at once.
  if (call.self && StageSize(call) != before) BroadcastMessage(call.machine, call.self, "onResize");
  return {};
}
Value GetAlign(Call& call) { return GetSlot(call, "$align", call.machine.Str("")); }
Value SetAlign(Call& call) {
  std::string align = call.machine.ToString(call.Arg(0));
  std::string out;
  // The player keeps the letters it knows, in its own order.
  for (const char letter : std::string("LTRB")) {
    for (char c : align) {
      if ((c & ~0x20) == letter) {
        out.push_back(letter);
        break;
      }
    }
  }
  SetSlot(call, "$align", call.machine.Str(out));
  return {};
}
Value GetShowMenu(Call& call) { return GetSlot(call, "$showMenu", Value::Bool(true)); }
Value SetShowMenu(Call& call) {
  SetSlot(call, "$showMenu", Value::Bool(call.machine.ToBoolean(call.Arg(0))));
  return {};
}
Value GetDisplayState(Call& call) { return GetSlot(call, "$displayState", call.machine.Str("normal")); }
Value SetDisplayState(Call& call) {
  const std::string state = call.machine.ToString(call.Arg(0));
  const bool normal = SameName(state, "normal", false);
  if (!normal && !SameName(state, "fullScreen", false)) return {};
  const bool wasFull = call.machine.ToString(GetDisplayState(call)) == "fullScreen";
  SetSlot(call, "$displayState", call.machine.Str(normal ? "normal" : "fullScreen"));
  // The listeners hear of a change at once.
  if (wasFull == normal && call.self) {
    const Value full[] = {Value::Bool(!normal)};
    BroadcastMessage(call.machine, call.self, "onFullScreen", full);
  }
  return {};
}

const Member kMembers[] = {
    {"width", Width, nullptr, kDontEnum | kDontDelete | kGetterOnly},
    {"height", Height, nullptr, kDontEnum | kDontDelete | kGetterOnly},
    {"scaleMode", GetScaleMode, SetScaleMode, kDontEnum | kDontDelete},
    {"align", GetAlign, SetAlign, kDontEnum | kDontDelete},
    {"showMenu", GetShowMenu, SetShowMenu, kDontEnum | kDontDelete},
    {"displayState", GetDisplayState, SetDisplayState, kDontEnum | kDontDelete | kVersion8},
};

}  // namespace

void InstallStage(Runtime& rt) {
  Object* stage = rt.MakeObject();
  rt.AddMembers(stage, kMembers);
  GiveBroadcasterMethods(rt, stage);
  rt.global->Define("Stage", Value::Obj(stage), kDontEnum);
}

}  // namespace vantrel::flash::avm1
