// Properties: get, set and delete by name or slot, super, lookups along the scope
// chain, descendants and enumeration.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "flash/avm2/interpreter_internal.h"

namespace vantrel::flash::avm2 {

void Machine::OpGetSuper(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  const Multiname name = PopName(f, ins.a, nullptr);
  const Value object = Pop(f);
  ClassObject* base = SuperTraits(f);
  const Binding* b = base && name.id != kNoName ? base->instanceTraits->Find(name.id, name, *this) : nullptr;
  if (!b) {
    stack.push_back(GetProperty(object, name));
    return;
  }
  if (b->kind == Binding::Kind::Method) stack.push_back(Value::Obj(MethodClosure(b->method, object)));
  else if (b->kind == Binding::Kind::Accessor && b->getter) stack.push_back(Invoke(b->getter, object, nullptr, 0, &b->getter->declaringClass->scope));
  else if (object.IsObject() && b->slot < object.object->slotValues.size()) stack.push_back(object.object->slotValues[b->slot]);
  else stack.push_back(Value());
}

void Machine::OpSetSuper(Frame& f, const Instruction& ins) {
  const Value value = Pop(f);
  const Multiname name = PopName(f, ins.a, nullptr);
  const Value object = Pop(f);
  ClassObject* base = SuperTraits(f);
  const Binding* b = base && name.id != kNoName ? base->instanceTraits->Find(name.id, name, *this) : nullptr;
  if (b && b->kind == Binding::Kind::Accessor && b->setter) Invoke(b->setter, object, &value, 1, &b->setter->declaringClass->scope);
  else SetProperty(object, name, value);
}

void Machine::OpNextName(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value index = Pop(f);
  const Value object = Pop(f);
  stack.push_back(object.IsObject() ? NameAt(object.object, ToInt32(index)) : Value());
}

void Machine::OpNextValue(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value index = Pop(f);
  const Value object = Pop(f);
  stack.push_back(object.IsObject() ? ValueAt(object.object, ToInt32(index)) : Value());
}

void Machine::OpHasNext(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value index = Pop(f);
  const Value object = Pop(f);
  stack.push_back(Value::Number(object.IsObject() ? NextIndex(object.object, ToInt32(index)) : 0));
}

void Machine::OpHasNext2(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  std::vector<Value>& locals = f.locals;
  Value& objectReg = locals[ins.a];
  Value& indexReg = locals[ins.b];
  Object* o = objectReg.AsObject();
  int index = ToInt32(indexReg);
  int next = 0;
  while (o) {
    next = NextIndex(o, index);
    if (next > 0) break;
    o = o->proto;
    index = 0;
    // Prototypes of built-in classes hold only hidden names.
    if (o && o->properties.empty()) o = nullptr;
  }
  objectReg = o ? Value::Obj(o) : Value::Null();
  indexReg = Value::Number(next);
  stack.push_back(Value::Bool(next > 0));
}

void Machine::OpGetDescendants(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  const Multiname name = PopName(f, ins.a, nullptr);
  const Value object = Pop(f);
  if (object.IsObject() && object.object->kind == ObjectKind::Proxy) {
    const Value qname = ProxyName(*this, name);
    stack.push_back(ProxyCall(*this, object.object, kProxyDescendants, &qname, 1));
    return;
  }
  stack.push_back(XmlDescendants(*this, object, name));
}

void Machine::OpFindProperty(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  const Multiname name = PopName(f, ins.a, nullptr);
  stack.push_back(FindProperty(f, name, ins.op == OP_findpropstrict));
}

void Machine::OpFindDef(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  AbcUnit& unit = f.unit;
  const Multiname& name = unit.multinames[ins.a];
  Object* d = FindDefinition(name);
  if (!d) ThrowReferenceError(1065, "Variable " + (name.text ? *name.text : std::string("*")) + " is not defined.");
  stack.push_back(Value::Obj(d));
}

void Machine::OpGetLex(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  AbcUnit& unit = f.unit;
  const Multiname& name = unit.multinames[ins.a];
  const Value holder = FindProperty(f, name, true);
  stack.push_back(GetProperty(holder, name));
}

void Machine::OpSetProperty(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  const AbcFile& abc = f.abc;
  const Value value = Pop(f);
  const AbcMultiname& raw = abc.multinames[ins.a];
  if (raw.RuntimeName() && !raw.RuntimeNamespace() && stack.size() >= 2 && stack.back().IsNumber() &&
      stack[stack.size() - 2].IsObject() && stack[stack.size() - 2].object->kind == ObjectKind::Array) {
    const double d = stack.back().number;
    auto* a = static_cast<ArrayObject*>(stack[stack.size() - 2].object);
    if (d >= 0 && d < a->elements.size() && d == std::floor(d)) {
      a->elements[static_cast<std::size_t>(d)] = value;
      stack.resize(stack.size() - 2);
      return;
    }
  }
  if (raw.RuntimeName() && !raw.RuntimeNamespace() && stack.size() >= 2 &&
      IsDictionaryKey(stack[stack.size() - 2], stack.back())) {
    *DictionaryEntry(stack[stack.size() - 2], stack.back(), true) = value;
    stack.resize(stack.size() - 2);
    return;
  }
  const Multiname name = PopName(f, ins.a, nullptr);
  const Value object = Pop(f);
  SetProperty(object, name, value, ins.op == OP_initproperty);
}

void Machine::OpGetProperty(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  const AbcFile& abc = f.abc;
  const AbcMultiname& raw = abc.multinames[ins.a];
  if (raw.RuntimeName() && !raw.RuntimeNamespace() && stack.size() >= 2 && stack.back().IsNumber() &&
      stack[stack.size() - 2].IsObject() && stack[stack.size() - 2].object->kind == ObjectKind::Array) {
    const double d = stack.back().number;
    auto* a = static_cast<ArrayObject*>(stack[stack.size() - 2].object);
    if (d >= 0 && d < a->elements.size() && d == std::floor(d) &&
        a->elements[static_cast<std::size_t>(d)].type != Value::Type::Hole) {
      const Value v = a->elements[static_cast<std::size_t>(d)];
      stack.resize(stack.size() - 2);
      stack.push_back(v);
      return;
    }
  }
  if (raw.RuntimeName() && !raw.RuntimeNamespace() && stack.size() >= 2 &&
      IsDictionaryKey(stack[stack.size() - 2], stack.back())) {
    const Value* entry = DictionaryEntry(stack[stack.size() - 2], stack.back(), false);
    const Value v = entry ? *entry : Value();
    stack.resize(stack.size() - 2);
    stack.push_back(v);
    return;
  }
  const Multiname name = PopName(f, ins.a, nullptr);
  const Value object = Pop(f);
  stack.push_back(GetProperty(object, name));
}

void Machine::OpDeleteProperty(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  const AbcFile& abc = f.abc;
  const AbcMultiname& raw = abc.multinames[ins.a];
  if (raw.RuntimeName() && !raw.RuntimeNamespace() && stack.size() >= 2 &&
      IsDictionaryKey(stack[stack.size() - 2], stack.back())) {
    // deleting a key the dictionary does not hold succeeds too
    DictionaryDelete(stack[stack.size() - 2], stack.back());
    stack.resize(stack.size() - 2);
    stack.push_back(Value::Bool(true));
    return;
  }
  const Multiname name = PopName(f, ins.a, nullptr);
  const Value object = Pop(f);
  stack.push_back(Value::Bool(DeleteProperty(object, name)));
}

void Machine::OpGetSlot(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  MethodInfo* method = f.method;
  const Value object = Pop(f);
  Object* o = object.AsObject();
  if (!o) ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
  if (ins.a == 0 || ins.a > o->slotValues.size()) ThrowError("VerifyError", 1026, "Slot " + std::to_string(ins.a) + " exceeds slotCount=" + std::to_string(o->slotValues.size()) + " of " + QualifiedClassName(object) + ".");
  stack.push_back(o->slotValues[ins.a - 1]);
}

void Machine::OpSetSlot(Frame& f, const Instruction& ins) {
  MethodInfo* method = f.method;
  const Value value = Pop(f);
  const Value object = Pop(f);
  Object* o = object.AsObject();
  if (!o) ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
  if (ins.a == 0 || ins.a > o->slotValues.size()) ThrowError("VerifyError", 1026, "Slot " + std::to_string(ins.a) + " exceeds slotCount=" + std::to_string(o->slotValues.size()) + " of " + QualifiedClassName(object) + ".");
  o->slotValues[ins.a - 1] = o->traits && ins.a - 1 < o->traits->slotValues.size() ? CoerceSlot(o->traits->slotValues[ins.a - 1], value) : value;
}

void Machine::OpGlobalSlot(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  ScopeChain& scopes = f.scopes;
  const ScopeChain& outerScope = f.outerScope;
  const Value global = !outerScope.empty() ? outerScope[0].value : !scopes.empty() ? scopes[0].value : Value();
  Object* o = global.AsObject();
  if (!o || ins.a == 0 || ins.a > o->slotValues.size()) ThrowError("VerifyError", 1026, "Slot " + std::to_string(ins.a) + " exceeds slotCount.");
  if (ins.op == OP_getglobalslot) stack.push_back(o->slotValues[ins.a - 1]);
  else o->slotValues[ins.a - 1] = Pop(f);
}

void Machine::OpIn(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  AbcUnit& unit = f.unit;
  MethodInfo* method = f.method;
  const Value object = Pop(f);
  const Value name = Pop(f);
  if (object.IsNullish()) ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
  if (IsDictionaryKey(object, name)) {
    stack.push_back(Value::Bool(DictionaryEntry(object, name, false) != nullptr));
    return;
  }
  std::string text;
  NsId ns = 0;
  Multiname m;
  if (name.IsObject() && name.object->kind == ObjectKind::QName) {
    m = ResolveName(unit, 0, &name, nullptr, text, ns);
  } else {
    text = ToString(name);
    m = PublicName(text);
    m.text = &text;
    m.id = FindId(text);
  }
  stack.push_back(Value::Bool(HasProperty(object, m)));
}

}  // namespace vantrel::flash::avm2
