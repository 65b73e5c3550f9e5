// MovieClipLoader: loading movies into clips or levels with progress events for its
// listeners (onLoadStart, onLoadProgress, onLoadComplete, onLoadInit, onLoadError).
#include "flash/avm1/builtins/broadcast_setup.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/display_binding.h"
#include "flash/avm1/interpreter.h"
#include "flash/display/player.h"

namespace vantrel::flash::avm1 {

namespace {

void Broadcast(Machine& machine, Object* loader, const char* event, std::vector<Value> args) {
  std::vector<Value> full{machine.Str(event)};
  full.insert(full.end(), args.begin(), args.end());
  machine.CallMethod(Value::Obj(loader), "broadcastMessage", full);
}

Value LoadClip(Call& call) {
  Object* loader = call.self;
  if (!loader || !call.machine.HasPlayer() || call.Count() < 2) return Value::Bool(false);
  Player& player = call.machine.GetPlayer();
  const std::string url = call.machine.ToString(call.Arg(0));
  const Value targetValue = call.Arg(1);
  DisplayObject* clip = nullptr;
  int level = -1;
  if (targetValue.IsNumber()) {
    level = static_cast<int>(targetValue.number);
  } else if (Object* o = targetValue.AsObject()) {
    clip = call.machine.AsDisplay(o);
  } else {
    const std::string path = call.machine.ToString(targetValue);
    clip = ResolveTarget(static_cast<Interpreter&>(call.machine), &player.Root(), path);
  }
  if (!clip && level < 0) return Value::Bool(false);
  Object* keep = clip ? clip->ScriptObject() : nullptr;
  auto targetOf = [&player, clip, level]() -> Value {
    return clip ? DisplayValue(clip) : DisplayValue(player.Level(level));
  };
  player.RunLater([loader, targetOf](Machine& machine) { Broadcast(machine, loader, "onLoadStart", {targetOf()}); },
                  loader);
  player.LoadMovieInto(url, std::max(level, 0), clip, false, "", "",
                       [&player, loader, targetOf, keep](bool ok, std::size_t bytes) {
                         (void)keep;
                         Machine& machine = player.Machine();
                         if (!ok) {
                           Broadcast(machine, loader, "onLoadError", {targetOf(), machine.Str("URLNotFound")});
                           return;
                         }
                         const Value size = Value::Number(static_cast<double>(bytes));
                         Broadcast(machine, loader, "onLoadProgress", {targetOf(), size, size});
                         Broadcast(machine, loader, "onLoadComplete", {targetOf()});
                         // Init follows once the loaded movie has run its first frame.
                         player.RunLater(
                             [loader, targetOf](Machine& later) { Broadcast(later, loader, "onLoadInit", {targetOf()}); },
                             loader);
                       });
  return Value::Bool(true);
}

Value UnloadClip(Call& call) {
  if (!call.machine.HasPlayer()) return Value::Bool(false);
  const Value target = call.Arg(0);
  if (target.IsNumber()) {
    call.machine.GetPlayer().UnloadLevel(static_cast<int>(target.number));
    return Value::Bool(true);
  }
  DisplayObject* clip = target.IsObject() ? call.machine.AsDisplay(target.object) : nullptr;
  if (!clip) return Value::Bool(false);
  const Value args[] = {};
  call.machine.CallMethod(DisplayValue(clip), "unloadMovie", std::span<const Value>(args, 0));
  return Value::Bool(true);
}

Value GetProgress(Call& call) {
  Object* result = call.machine.NewObject();
  DisplayObject* clip = call.Arg(0).IsObject() ? call.machine.AsDisplay(call.Arg(0).object) : nullptr;
  const double bytes = clip && clip->Movie() ? clip->Movie()->movie->header.fileLength : 0;
  result->Define("bytesLoaded", Value::Number(bytes));
  result->Define("bytesTotal", Value::Number(bytes));
  return Value::Obj(result);
}

Value Construct(Call& call) {
  if (call.self) {
    GiveBroadcasterMethods(call.machine.Rt(), call.self);
    // A loader hears its own events first.
    if (Object* listeners = call.machine.Get(call.self, "_listeners").AsObject(); listeners && listeners->Array())
      listeners->Array()->elements.push_back(Value::Obj(call.self));
  }
  return call.self ? Value::Obj(call.self) : Value();
}

const Member kMethods[] = {
    {"loadClip", LoadClip},
    {"unloadClip", UnloadClip},
    {"getProgress", GetProgress},
};

}  // namespace

void InstallMovieClipLoader(Runtime& rt) {
  Object* ctor = rt.MakeClass(Construct, Construct);
  Object* proto = Runtime::PrototypeOf(ctor);
  rt.AddMembers(proto, kMethods);
  rt.global->Define("MovieClipLoader", Value::Obj(ctor), kDontEnum | kVersion7);
  rt.prototypes["MovieClipLoader"] = proto;
}

}  // namespace vantrel::flash::avm1
