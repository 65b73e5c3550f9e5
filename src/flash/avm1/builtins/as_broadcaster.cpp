#include "flash/avm1/builtins/builtins.h"

namespace vantrel::flash::avm1 {

namespace {

// The _listeners array of self, or null.
Object* ListenersOf(const Value& self) {
  if (self.type != Value::Type::Object || !self.object) return nullptr;
  const Value listeners = GetChain(*self.object, "_listeners", false);
  if (listeners.type != Value::Type::Object || !listeners.object) return nullptr;
  return listeners.object->kind == Object::Kind::Array ? listeners.object.get() : nullptr;
}

bool SameListener(const Value& a, const Value& b) {
  if (a.type != b.type) return false;
  switch (a.type) {
    case Value::Type::Object: return a.object == b.object;
    case Value::Type::Clip:
    case Value::Type::String: return a.string == b.string;
    case Value::Type::Number: return a.number == b.number;
    case Value::Type::Boolean: return a.boolean == b.boolean;
    default: return true;
  }
}

Value AddListener(Machine&, const Value& self, std::vector<Value>& args) {
  Object* listeners = ListenersOf(self);
  if (!listeners) return Value::Bool(false);
  const Value listener = args.empty() ? Value::Undefined() : args[0];
  // A listener is held once: adding it again moves nothing.
  for (const Value& existing : listeners->elements) {
    if (SameListener(existing, listener)) return Value::Bool(true);
  }
  listeners->elements.push_back(listener);
  return Value::Bool(true);
}

Value RemoveListener(Machine&, const Value& self, std::vector<Value>& args) {
  Object* listeners = ListenersOf(self);
  if (!listeners || args.empty()) return Value::Bool(false);
  auto& elements = listeners->elements;
  for (auto it = elements.begin(); it != elements.end(); ++it) {
    if (SameListener(*it, args[0])) {
      elements.erase(it);
      return Value::Bool(true);
    }
  }
  return Value::Bool(false);
}

Value BroadcastMessage(Machine& m, const Value& self, std::vector<Value>& args) {
  Object* listeners = ListenersOf(self);
  if (!listeners || args.empty()) return Value::Undefined();
  const std::string event = ToString(args[0], m.Version());
  const std::vector<Value> rest(args.begin() + 1, args.end());
  // Listeners may add or remove listeners while they run: walk a copy.
  const std::vector<Value> targets = listeners->elements;
  for (const Value& target : targets) m.CallMethodOf(target, event, rest);
  return Value::Bool(!targets.empty());
}

}  // namespace

void MakeBroadcaster(Runtime& rt, const ObjectPtr& object) {
  if (!object) return;
  // Every broadcaster shares AsBroadcaster's own three functions.
  const Value* broadcaster = rt.global->Find("AsBroadcaster", false);
  for (const char* name : {"addListener", "removeListener", "broadcastMessage"}) {
    const Value* method = broadcaster && broadcaster->object ? broadcaster->object->Find(name, false) : nullptr;
    if (method) object->Set(name, *method, false);
  }
  const ObjectPtr listeners = rt.Make(Object::Kind::Array, rt.arrayProto);
  if (listeners) object->Set("_listeners", Value::Obj(listeners), false);
}

void InstallAsBroadcaster(Runtime& rt) {
  const ObjectPtr broadcaster = rt.Make(Object::Kind::Function, rt.functionProto);
  if (!broadcaster) return;
  rt.global->Set("AsBroadcaster", Value::Obj(broadcaster), false);
  Method(rt, broadcaster, "addListener", AddListener);
  Method(rt, broadcaster, "removeListener", RemoveListener);
  Method(rt, broadcaster, "broadcastMessage", BroadcastMessage);
  Runtime* runtime = &rt;
  Method(rt, broadcaster, "initialize", [runtime](Machine&, const Value&, std::vector<Value>& args) -> Value {
    if (!args.empty() && args[0].type == Value::Type::Object) MakeBroadcaster(*runtime, args[0].object);
    return Value::Undefined();
  });
}

}  // namespace vantrel::flash::avm1
