// MovieClipLoader: loading movies into clips or levels with progress events for its
// listeners (onLoadStart, onLoadProgress, onLoadComplete, onLoadInit, onLoadError).
#include "flash/avm1/builtins/broadcast_setup.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/display_binding.h"
#include "flash/avm1/interpreter.h"
#include "flash/avm1/movie_host.h"
#include "flash/display/player.h"

#include <cmath>

namespace vantrel::flash::avm1 {

namespace {

void Broadcast(MachineInterface& machine, Object* loader, const char* event, std::vector<Value> args) {
  std::vector<Value> full{machine.Str(event)};
  full.insert(full.end(), args.begin(), args.end());
  machine.CallMethod(Value::Obj(loader), "broadcastMessage", full);
}

// The clip or level a loader method names: a level number (rounded down), a target
// path, or a display object. Null when there is none; level is set for numbers.
DisplayObject* TargetOf(Call& call, const Value& target, int* level, bool makeLevel) {
  MovieRuntime& player = call.machine.GetPlayer();
  if (target.IsNumber()) {
    if (!std::isfinite(target.number) || target.number >= 2147483648.0) return nullptr;
    const int number = static_cast<int>(std::floor(target.number));
    if (number < 0) return nullptr;
    if (level) *level = number;
    return makeLevel ? player.EnsureLevel(number) : player.Level(number);
  }
  if (target.IsString()) {
    return ResolveTarget(static_cast<Interpreter&>(call.machine), &player.Root(), call.machine.ToString(target));
  }
  if (Object* o = target.AsObject()) return call.machine.AsDisplay(o);
  return nullptr;
}

Value LoadClip(Call& call) {
  Object* loader = call.self;
  if (!loader || !call.machine.HasPlayer() || call.Count() < 2) return Value();
  if (!call.Arg(0).IsString()) return Value::Bool(false);
  MovieRuntime& player = call.machine.GetPlayer();
  const std::string url = call.machine.ToString(call.Arg(0));
  int level = -1;
  DisplayObject* clip = TargetOf(call, call.Arg(1), &level, true);
  if (!clip || !clip->IsContainer()) return Value::Bool(false);
  MovieRuntime::MovieLoadEvents events;
  events.progress = [&player, loader, clip](std::int64_t loaded, std::int64_t total) {
    MachineInterface& machine = HostOf(player).Machine();
    Broadcast(machine, loader, "onLoadProgress",
              {DisplayValue(clip), Value::Number(static_cast<double>(loaded)),
               Value::Number(static_cast<double>(total > 0 ? total : loaded))});
  };
  // The movie has taken its place when the loader hears of it: what onLoadStart set on
  // the clip stays.
  events.done = [&player, loader, clip](bool ok, std::size_t bytes) {
    MachineInterface& machine = HostOf(player).Machine();
    const Value target = DisplayValue(clip);
    if (!ok) {
      Broadcast(machine, loader, "onLoadError", {target, machine.Str("URLNotFound"), Value::Number(0)});
      return;
    }
    const Value size = Value::Number(static_cast<double>(bytes));
    Broadcast(machine, loader, "onLoadProgress", {target, size, size});
    Broadcast(machine, loader, "onLoadComplete", {target, Value::Number(0)});
  };
  events.start = [&player, loader, clip] {
    Broadcast(HostOf(player).Machine(), loader, "onLoadStart", {DisplayValue(clip)});
  };
  events.init = [&player, loader, clip] {
    Broadcast(HostOf(player).Machine(), loader, "onLoadInit", {DisplayValue(clip)});
  };
  player.LoadMovieInto(url, std::max(level, 0), clip, false, "", "", std::move(events));
  return Value::Bool(true);
}

Value UnloadClip(Call& call) {
  if (!call.machine.HasPlayer() || call.Count() < 1) return Value();
  const Value target = call.Arg(0);
  int level = -1;
  DisplayObject* clip = TargetOf(call, target, &level, false);
  if (!clip) return Value::Bool(false);
  if (level >= 0) {
    call.machine.GetPlayer().UnloadLevel(level);
    return Value::Bool(true);
  }
  call.machine.GetPlayer().CancelLoads(clip);
  const Value args[] = {};
  call.machine.CallMethod(DisplayValue(clip), "unloadMovie", std::span<const Value>(args, 0));
  return Value::Bool(true);
}

Value GetProgress(Call& call) {
  if (!call.machine.HasPlayer() || call.Count() < 1) return Value();
  const Value target = call.Arg(0);
  if (!target.IsNumber() && !target.IsString() && !(target.IsObject() && call.machine.AsDisplay(target.object)))
    return Value();
  DisplayObject* clip = TargetOf(call, target, nullptr, false);
  Object* result = call.machine.NewObject();
  Value bytes;
  if (clip && clip->Movie()) bytes = Value::Number(static_cast<double>(clip->Movie()->movie->fileSize));
  result->Define("bytesLoaded", bytes);
  result->Define("bytesTotal", bytes);
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
  rt.global->Define("MovieClipLoader", Value::Obj(ctor), kDontEnum | kVersion6);
  rt.prototypes["MovieClipLoader"] = proto;
}

}  // namespace vantrel::flash::avm1
