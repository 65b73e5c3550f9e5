// Making objects, arrays, functions, classes, activations and catch scopes.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "flash/avm2/interpreter_internal.h"

namespace vantrel::flash::avm2 {

void Machine::OpNewFunction(Frame& frame, const Instruction& ins) {
  std::vector<Value>& stack = frame.stack;
  ScopeChain& scopes = frame.scopes;
  const ScopeChain& outerScope = frame.outerScope;
  AbcUnit& unit = frame.unit;
  MethodInfo* method = frame.method;
  ScopeChain chain = outerScope;
  chain.insert(chain.end(), scopes.begin(), scopes.end());
  FunctionObject* f = NewFunction(unit.methods[ins.a].get(), chain);
  f->method->isClosure = true;
  // Functions made inside a class's code print as anonymous in stack traces.
  if (method->declaringClass && f->method->role == MethodInfo::Role::Function)
    f->method->role = MethodInfo::Role::Anonymous;
  Object* proto = NewObject();
  proto->SetOwn("constructor", Value::Obj(f), false);
  f->SetOwn("prototype", Value::Obj(proto), false);
  stack.push_back(Value::Obj(f));
}

void Machine::OpNewObject(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  std::vector<Value>& argv = f.argv;
  PopArgs(f, ins.a * 2, argv);
  Object* o = NewObject();
  for (std::size_t i = 0; i + 1 < argv.size(); i += 2) o->SetOwn(ToString(argv[i]), argv[i + 1]);
  stack.push_back(Value::Obj(o));
}

void Machine::OpNewArray(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  std::vector<Value>& argv = f.argv;
  PopArgs(f, ins.a, argv);
  stack.push_back(Value::Obj(NewArray(argv)));
}

void Machine::OpNewActivation(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  DecodedCode& decoded = f.decoded;
  Traits* traits = decoded.activation.get();
  Object* o = heap.Make<Object>(ObjectKind::Activation, traits, nullptr);
  if (traits) InitSlots(o, *traits);
  o->dynamic = false;
  stack.push_back(Value::Obj(o));
}

void Machine::OpNewClass(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  ScopeChain& scopes = f.scopes;
  const ScopeChain& outerScope = f.outerScope;
  AbcUnit& unit = f.unit;
  const Value base = Pop(f);
  ClassObject* baseClass = base.IsObject() && base.object->kind == ObjectKind::Class ? static_cast<ClassObject*>(base.object) : nullptr;
  ScopeChain chain = outerScope;
  chain.insert(chain.end(), scopes.begin(), scopes.end());
  stack.push_back(Value::Obj(NewClass(unit, ins.a, baseClass, chain)));
}

void Machine::OpNewCatch(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  DecodedCode& decoded = f.decoded;
  Traits* traits = decoded.handlers[ins.a].catchTraits.get();
  Object* o = heap.Make<Object>(ObjectKind::Catch, traits, nullptr);
  InitSlots(o, *traits);
  o->dynamic = false;
  stack.push_back(Value::Obj(o));
}

}  // namespace vantrel::flash::avm2
