// Variable actions: get, set, declare and delete by name or path.
#include <algorithm>
#include <string>

#include "flash/avm1/interpreter_internal.h"

namespace vantrel::flash::avm1 {

void Interpreter::ActionGetVariable(Step&) {
  const Value nameValue = Pop();
  if (nameValue.IsString()) {
    Push(GetVariable(nameValue.string->Text()));
  } else {
    Push(GetVariable(ToString(nameValue)));
  }
}

void Interpreter::ActionSetVariable(Step&) {
  const Value v = Pop();
  const Value nameValue = Pop();
  SetVariable(nameValue.IsString() ? std::string_view(nameValue.string->Text()) : std::string_view(ToString(nameValue)),
              v);
}

void Interpreter::ActionDefineLocal(Step&) {
  const Value v = Pop();
  const std::string name = ToString(Pop());
  DefineLocal(name, v, false);
}

void Interpreter::ActionDefineLocal2(Step&) {
  const std::string name = ToString(Pop());
  DefineLocal(name, Value(), true);
}

void Interpreter::ActionDelete(Step& step) {
  const int version = step.frame.version;
  const std::string name = ToString(Pop());
  const Value object = Pop();
  Object* o = object.AsObject();
  if (ArrayData* array = o ? o->Array() : nullptr) {
    if (const long index = ArrayIndex(name); index >= 0 && array->Has(static_cast<std::size_t>(index))) {
      Push(Value::Bool(array->Remove(static_cast<std::size_t>(index))));
      return;
    }
  }
  // Deleting __proto__ cuts the object from its prototypes.
  if (o && SameName(name, "__proto__", version >= 7) && !o->ProtoValue().IsUndefined()) {
    o->SetProtoValue(Value());
    Push(Value::Bool(true));
    return;
  }
  const bool deleted = o && o->DeleteOwn(name, version >= 7);
  if (deleted) ForgetAccessors(o, name, version >= 7);
  Push(Value::Bool(deleted));
}

void Interpreter::ActionDelete2(Step& step) {
  Frame& frame = step.frame;
  const int version = frame.version;
  const std::string name = ToString(Pop());
  bool deleted = false;
  if (const std::size_t split = name.find_last_of(".:");
      split != std::string::npos && split > 0 && split + 1 < name.size() && name.find('/') == std::string::npos) {
    // A path deletes its last member from what the rest names ("o.a", "o:b", "o:c.f").
    std::string owner = name.substr(0, split);
    std::replace(owner.begin(), owner.end(), ':', '.');
    const Value base = ResolveDotPath(owner);
    const std::string member = name.substr(split + 1);
    ArrayData* array = base.IsObject() ? base.object->Array() : nullptr;
    if (const long index = array ? ArrayIndex(member) : -1; index >= 0 && array->Has(static_cast<std::size_t>(index))) {
      deleted = array->Remove(static_cast<std::size_t>(index));
    } else if (base.IsObject()) {
      deleted = base.object->DeleteOwn(member, version >= 7);
      if (deleted) ForgetAccessors(base.object, member, version >= 7);
    } else if (!base.IsNullish()) {
      // The player says so in its log when a path runs through a primitive.
      Trace("Parameters of primitive types are no longer coerced into the required type - Object.");
    }
    Push(Value::Bool(deleted));
    return;
  }
  for (std::size_t i = frame.scope.size(); i-- > 0;) {
    Object* s = frame.scope[i];
    if (s && s->FindOwn(name, version >= 7)) {
      deleted = s->DeleteOwn(name, version >= 7);
      if (deleted) ForgetAccessors(s, name, version >= 7);
      break;
    }
  }
  Push(Value::Bool(deleted));
}

}  // namespace vantrel::flash::avm1
