// Object: the constructor, Object.prototype's methods and Object.registerClass.
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/native_support.h"

namespace vantrel::flash::avm1 {

namespace {

// Object() without a value gives an object without even Object.prototype.
Value ObjectCall(Call& call) {
  const Value arg = call.Arg(0);
  if (arg.IsNullish()) return Value::Obj(call.machine.Rt().MakeObject(nullptr));
  return Value::Obj(call.machine.ToObject(arg));
}

Value ObjectConstruct(Call& call) {
  const Value arg = call.Arg(0);
  // new Object(x) wraps a primitive (or gives the object itself); otherwise the fresh one.
  if (!arg.IsNullish()) {
    if (Object* object = call.machine.ToObject(arg)) return Value::Obj(object);
  }
  return call.self ? Value::Obj(call.self) : Value::Obj(call.machine.NewObject());
}

// Whether the property is own and visible to the running code.
const Property* OwnVisible(Call& call, Object* object, const std::string& name) {
  const Property* p = object->FindOwn(name, call.machine.CaseSensitive());
  if (p && !VisibleIn(p->attributes, call.machine.Version())) return nullptr;
  return p;
}

bool IsOwnArrayElement(Object* object, const std::string& name) {
  ArrayData* data = object->Array();
  if (!data) return false;
  const long index = ArrayIndex(name);
  return index >= 0 && data->Has(static_cast<std::size_t>(index));
}

Value HasOwnProperty(Call& call) {
  if (!call.self || call.Count() == 0) return Value::Bool(false);
  const std::string name = ArgString(call, 0);
  // __proto__ is every object's own property in the player.
  if (SameName(name, "__proto__", call.machine.CaseSensitive())) return Value::Bool(!call.self->ProtoValue().IsUndefined());
  // Properties hidden from this version still count as own.
  return Value::Bool(call.self->FindOwn(name, call.machine.CaseSensitive()) != nullptr ||
                     IsOwnArrayElement(call.self, name));
}

Value IsPropertyEnumerable(Call& call) {
  if (!call.self || call.Count() == 0) return Value::Bool(false);
  const std::string name = ArgString(call, 0);
  if (IsOwnArrayElement(call.self, name)) return Value::Bool(true);
  const Property* p = OwnVisible(call, call.self, name);
  return Value::Bool(p && !(p->attributes & kDontEnum));
}

Value IsPrototypeOf(Call& call) {
  if (!call.self || call.Count() == 0) return Value::Bool(false);
  const Object* object = call.machine.ToObject(call.Arg(0));
  if (!object) return Value::Bool(false);
  // A chain that loops back on itself must not hang the movie.
  int steps = 0;
  for (const Object* p = object->proto; p && steps < 10000; p = p->proto, ++steps) {
    if (p == call.self) return Value::Bool(true);
  }
  return Value::Bool(false);
}

Value AddProperty(Call& call) {
  if (!call.self) return Value::Bool(false);
  const std::string name = ArgString(call, 0);
  Object* getter = call.Arg(1).AsObject();
  const Value setterArg = call.Arg(2);
  if (name.empty() || !getter || !getter->IsFunction()) return Value::Bool(false);
  Object* setter = setterArg.AsObject();
  if (setter && !setter->IsFunction()) setter = nullptr;
  // The setter must be a function or null; anything else refuses the property.
  if (!setter && !setterArg.IsNull()) return Value::Bool(false);
  std::uint16_t attributes = setter ? 0 : kReadOnly;
  if (const Property* existing = call.self->FindOwn(name, call.machine.CaseSensitive())) {
    attributes = static_cast<std::uint16_t>((existing->attributes & ~kReadOnly) | attributes);
    const std::string ownName = existing->name;
    call.self->DefineAccessor(ownName, getter, setter, attributes);
  } else {
    call.self->DefineAccessor(name, getter, setter, attributes);
  }
  return Value::Bool(true);
}

Value Watch(Call& call) {
  if (!call.self || call.Count() == 0) return Value::Bool(false);
  const std::string name = ArgString(call, 0);
  Object* callback = call.Arg(1).AsObject();
  if (!callback || !callback->IsFunction()) return Value::Bool(false);
  call.self->AddWatcher(Watcher{name, callback, call.Arg(2)});
  return Value::Bool(true);
}

Value Unwatch(Call& call) {
  if (!call.self || call.Count() == 0) return Value::Bool(false);
  return Value::Bool(call.self->RemoveWatcher(ArgString(call, 0), call.machine.CaseSensitive()));
}

Value ToStringMethod(Call& call) {
  if (call.self && call.self->IsFunction()) return call.machine.Str("[type Function]");
  return call.machine.Str("[object Object]");
}

// toLocaleString is toString, as the script sees it (a movie may replace toString).
Value ToLocaleString(Call& call) {
  const ConversionNesting nesting;
  if (nesting.TooDeep()) return call.machine.Str("");
  return call.machine.CallMethod(call.thisValue, "toString", {});
}

Value ValueOf(Call& call) { return call.self ? Value::Obj(call.self) : call.thisValue; }

Value RegisterClass(Call& call) {
  if (call.Count() < 2) return Value::Bool(false);
  const Value ctor = call.Arg(1);
  Object* function = ctor.AsObject();
  if (!ctor.IsNullish() && !(function && function->IsFunction())) return Value::Bool(false);
  const std::string name = ArgString(call, 0);
  auto& classes = call.machine.Rt().RegisteredClasses(call.machine.Version());
  if (function) {
    classes[name] = function;
  } else {
    classes.erase(name);
  }
  return Value::Bool(true);
}

constexpr std::uint16_t kMethod = kDontEnum | kDontDelete;

const Member kPrototypeMembers[] = {
    {"watch", Watch, nullptr, kMethod | kVersion6, 101, 0},
    {"unwatch", Unwatch, nullptr, kMethod | kVersion6, 101, 1},
    {"addProperty", AddProperty, nullptr, kMethod | kVersion6, 101, 2},
    {"valueOf", ValueOf, nullptr, kMethod, 101, 3},
    {"toString", ToStringMethod, nullptr, kMethod, 101, 4},
    {"hasOwnProperty", HasOwnProperty, nullptr, kMethod | kVersion6, 101, 5},
    {"isPrototypeOf", IsPrototypeOf, nullptr, kMethod | kVersion6, 101, 6},
    {"isPropertyEnumerable", IsPropertyEnumerable, nullptr, kMethod | kVersion6, 101, 7},
    {"toLocaleString", ToLocaleString, nullptr, kMethod},
};

const Member kClassMembers[] = {
    {"registerClass", RegisterClass, nullptr, kMethod | kReadOnly, 101, 8},
};

}  // namespace

void InstallObject(Runtime& rt) {
  Object* ctor = rt.MakeFunction(ObjectCall, ObjectConstruct);
  ctor->Define("prototype", Value::Obj(rt.objectProto), kDontEnum | kDontDelete);
  rt.objectProto->Define("constructor", Value::Obj(ctor), kDontEnum | kDontDelete);
  Install(rt, rt.objectProto, kPrototypeMembers);
  Install(rt, ctor, kClassMembers);
  rt.global->Define("Object", Value::Obj(ctor), kDontEnum);
  rt.prototypes["Object"] = rt.objectProto;
}

}  // namespace vantrel::flash::avm1
