// Object actions: members, literals, enumeration and the class machinery.
#include <cmath>
#include <string>
#include <vector>

#include "flash/avm1/interpreter_internal.h"

namespace vantrel::flash::avm1 {

namespace {

// Whether addProperty put a getter on the object itself (it then wins over array elements).
bool HasAccessor(const Object* object) {
  for (const Property& p : object->Properties()) {
    if (p.getter) return true;
  }
  return false;
}

}  // namespace

void Interpreter::ActionGetMember(Step&) {
  const Value nameValue = Pop();
  const Value object = Pop();
  if (nameValue.IsNumber() && object.IsObject() && object.object->kind == NativeKind::Array &&
      !HasAccessor(object.object)) {
    const double n = nameValue.number;
    ArrayData* array = object.object->Array();
    if (n >= 0 && n < static_cast<double>(array->elements.size()) && n == std::trunc(n) &&
        array->Has(static_cast<std::size_t>(n))) {
      Push(array->elements[static_cast<std::size_t>(n)]);
      return;
    }
  }
  const std::string name = nameValue.IsString() ? nameValue.string->Text() : ToString(nameValue);
  Push(GetMember(object, name));
}

void Interpreter::ActionSetMember(Step&) {
  const Value v = Pop();
  const Value nameValue = Pop();
  const Value object = Pop();
  Object* o = object.AsObject();
  if (!o) return;
  if (nameValue.IsNumber() && o->kind == NativeKind::Array && !o->Watchers() && !HasAccessor(o)) {
    const double n = nameValue.number;
    ArrayData* array = o->Array();
    // An element that exists takes the value in place (the slow path creates,
    // grows the length and honours read-only elements).
    if (n >= 0 && n < static_cast<double>(array->elements.size()) && n == std::trunc(n) &&
        n < array->Length() && array->Has(static_cast<std::size_t>(n)) &&
        !(array->Attributes(static_cast<std::size_t>(n)) & kReadOnly)) {
      array->elements[static_cast<std::size_t>(n)] = v;
      return;
    }
  }
  const std::string name = nameValue.IsString() ? nameValue.string->Text() : ToString(nameValue);
  // A member without a name is never made.
  if (name.empty()) return;
  Set(o, name, v);
}

void Interpreter::ActionInitArray(Step&) {
  const double count = ToNumber(Pop());
  // A count the stack cannot hold makes undefined and takes nothing.
  if (count > static_cast<double>(stack_.size() - frames_.back()->stackBase)) {
    Push(Value());
    return;
  }
  std::vector<Value> elements;
  const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
  elements.reserve(n);
  for (std::size_t i = 0; i < n; ++i) elements.push_back(Pop());
  Push(Value::Obj(rt_.MakeArray(std::move(elements))));
}

void Interpreter::ActionInitObject(Step&) {
  const double count = ToNumber(Pop());
  if (count * 2 > static_cast<double>(stack_.size() - frames_.back()->stackBase)) {
    Push(Value());
    return;
  }
  Object* o = rt_.MakeObject();
  const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
  // Members are made in the order they come off the stack: the last one written first.
  for (std::size_t i = 0; i < n; ++i) {
    const Value v = Pop();
    const std::string key = ToString(Pop());
    if (key == "__proto__") {
      Set(o, key, v);
    } else {
      o->Define(key, v);
    }
  }
  Push(Value::Obj(o));
}

void Interpreter::ActionEnumerate(Step&) {
  const std::string name = ToString(Pop());
  const Value object = GetVariable(name);
  PushEnumeration(object);
}

void Interpreter::ActionEnumerate2(Step&) {
  PushEnumeration(Pop());
}

void Interpreter::ActionInstanceOf(Step&) {
  const Value ctor = Pop();
  const Value object = Pop();
  Push(Value::Bool(IsInstance(object, ctor)));
}

void Interpreter::ActionCastOp(Step&) {
  const Value object = Pop();
  const Value ctor = Pop();
  // The object is boxed first (a script's String class sees "abc" go by), though a
  // primitive still casts to nothing.
  if (!object.IsObject() && !object.IsNullish()) BoxPrimitive(object);
  Push(IsInstance(object, ctor) ? object : Value::Null());
}

void Interpreter::ActionImplementsOp(Step&) {
  const Value ctor = Pop();
  const double count = ToNumber(Pop());
  const std::size_t n = count > 0 ? static_cast<std::size_t>(std::min(count, 1e4)) : 0;
  // The stored prototypes, as they are at this moment: one that is no object (or not
  // there yet) stays a hole in the list. Primitives are not boxed here.
  const auto storedPrototype = [this](const Value& v) -> Object* {
    const Property* p = StoredPrototype(v.AsObject());
    return p ? p->value.AsObject() : nullptr;
  };
  std::vector<Object*> interfaces;
  for (std::size_t i = 0; i < n; ++i) interfaces.push_back(storedPrototype(Pop()));
  Object* p = storedPrototype(ctor);
  // A class implements its interfaces once; later lists are ignored.
  if (p && p->interfaces.empty()) p->interfaces = std::move(interfaces);
}

void Interpreter::ActionExtends(Step&) {
  const Value superclass = Pop();
  const Value subclass = Pop();
  Object* sup = superclass.AsObject();
  Object* sub = subclass.AsObject();
  if (!sup || !sub) return;
  Object* proto = rt_.MakeObject(Get(sup, "prototype").AsObject());
  proto->Define("__constructor__", superclass, kDontEnum);
  proto->Define("constructor", superclass, kDontEnum);
  Set(sub, "prototype", Value::Obj(proto));
}

}  // namespace vantrel::flash::avm1
