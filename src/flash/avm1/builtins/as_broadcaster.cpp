// AsBroadcaster: initialize, addListener, removeListener and broadcastMessage over the
// `_listeners` array, and the helpers other built-ins broadcast with.
#include <string>
#include <vector>

#include "flash/avm1/builtins/broadcaster.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/native_support.h"

namespace vantrel::flash::avm1 {

namespace {

// Listeners are the same when they are the same object or equal primitives; undefined
// and null count as the same listener, as they do in the player.
bool SameListener(const Value& a, const Value& b) {
  if (a.IsNullish() || b.IsNullish()) return a.IsNullish() && b.IsNullish();
  if (a.type != b.type) return false;
  switch (a.type) {
    case Value::Type::Boolean: return a.boolean == b.boolean;
    case Value::Type::Number: return a.number == b.number;
    case Value::Type::String: return a.Text() == b.Text();
    case Value::Type::Object: return a.object == b.object;
    default: return false;
  }
}

Object* Listeners(MachineInterface& machine, Object* object) {
  if (!object) return nullptr;
  Object* list = machine.Get(object, "_listeners").AsObject();
  return list && list->IsArray() ? list : nullptr;
}

Value AddListener(Call& call) {
  Object* list = Listeners(call.machine, call.self);
  if (!list && call.self) {
    // A broadcaster whose list was taken away gets a new one.
    list = call.machine.NewArray();
    call.machine.Set(call.self, "_listeners", Value::Obj(list));
  }
  if (!list) return Value::Bool(true);
  auto& elements = list->Array()->elements;
  const Value listener = call.Arg(0);
  for (auto it = elements.begin(); it != elements.end(); ++it) {
    if (SameListener(*it, listener)) {
      elements.erase(it);
      break;
    }
  }
  elements.push_back(listener);
  return Value::Bool(true);
}

Value RemoveListener(Call& call) {
  Object* list = Listeners(call.machine, call.self);
  if (!list) return Value::Bool(false);
  auto& elements = list->Array()->elements;
  const Value listener = call.Arg(0);
  for (auto it = elements.begin(); it != elements.end(); ++it) {
    if (SameListener(*it, listener)) {
      elements.erase(it);
      return Value::Bool(true);
    }
  }
  return Value::Bool(false);
}

Value BroadcastMessageMethod(Call& call) {
  if (call.Count() == 0) return Value();
  const std::string message = ArgString(call, 0);
  const std::span<const Value> rest(call.args.data() + 1, call.Count() - 1);
  if (!BroadcastMessage(call.machine, call.self, message, rest)) return Value();
  return Value::Bool(true);
}

Value Initialize(Call& call) {
  InitializeBroadcaster(call.machine, call.Arg(0).AsObject());
  return Value();
}

Value BroadcasterCall(Call&) { return Value(); }
Value BroadcasterConstruct(Call& call) { return call.self ? Value::Obj(call.self) : Value::Obj(call.machine.NewObject()); }

constexpr std::uint16_t kMethod = kDontEnum | kDontDelete;

const Member kClassMembers[] = {
    {"broadcastMessage", BroadcastMessageMethod, nullptr, kMethod},
    {"addListener", AddListener, nullptr, kMethod},
    {"removeListener", RemoveListener, nullptr, kMethod},
    {"initialize", Initialize, nullptr, kMethod, 101, 12},
};

Object* Broadcaster(Runtime& rt) {
  const Property* p = rt.global->FindOwn("AsBroadcaster", true);
  return p ? p->value.AsObject() : nullptr;
}

void CopyMethods(Runtime& rt, Object* from, Object* object) {
  object->Define("_listeners", Value::Obj(rt.MakeArray()), kDontEnum);
  for (const char* name : {"broadcastMessage", "addListener", "removeListener"}) {
    const Property* p = from->FindOwn(name, true);
    if (p) object->Define(name, p->value, kDontEnum);
  }
}

}  // namespace

void InitializeBroadcaster(Runtime& rt, Object* object) {
  Object* from = Broadcaster(rt);
  if (!object || !from) return;
  CopyMethods(rt, from, object);
}

void InitializeBroadcaster(MachineInterface& machine, Object* object) {
  if (!object) return;
  Runtime& rt = machine.Rt();
  // The methods come from AsBroadcaster as the script sees it: a movie may have
  // replaced them.
  Object* from = Broadcaster(rt);
  if (!from) return;
  object->Define("_listeners", Value::Obj(rt.MakeArray()), kDontEnum);
  for (const char* name : {"broadcastMessage", "addListener", "removeListener"}) {
    machine.Set(object, name, machine.Get(from, name));
    if (Property* p = object->FindOwn(name, true)) p->attributes |= kDontEnum;
  }
}

bool BroadcastMessage(MachineInterface& machine, Object* object, std::string_view message, std::span<const Value> args) {
  Object* list = Listeners(machine, object);
  if (!list) return false;
  const std::vector<Value> listeners = list->Array()->elements;
  for (const Value& listener : listeners) {
    // An empty message calls each listener itself, as a method call without a name does.
    if (message.empty()) {
      machine.CallFunction(listener, Value(), args);
    } else {
      machine.CallMethod(listener, message, args);
    }
    if (machine.Throwing()) break;
  }
  return true;
}

void InstallAsBroadcaster(Runtime& rt) {
  Object* ctor = rt.MakeClass(BroadcasterCall, BroadcasterConstruct);
  Install(rt, ctor, kClassMembers);
  ctor->FindOwn("prototype", true)->attributes |= kVersion6;
  rt.global->Define("AsBroadcaster", Value::Obj(ctor), kDontEnum);
  rt.prototypes["AsBroadcaster"] = ctor->FindOwn("prototype", true)->value.AsObject();
}

}  // namespace vantrel::flash::avm1
