// Calls and construction.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "flash/avm2/interpreter_internal.h"

namespace vantrel::flash::avm2 {

void Machine::OpCall(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  std::vector<Value>& argv = f.argv;
  PopArgs(f, ins.a, argv);
  const Value receiver = Pop(f);
  const Value function = Pop(f);
  stack.push_back(Call(function, receiver, argv.data(), static_cast<int>(argv.size()), CallerHolds::Nothing));
}

void Machine::OpConstruct(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  std::vector<Value>& argv = f.argv;
  PopArgs(f, ins.a, argv);
  const Value constructor = Pop(f);
  if (constructor.IsNullish()) ThrowTypeError(1007, "Instantiation attempted on a non-constructor.");
  stack.push_back(Construct(constructor, argv.data(), static_cast<int>(argv.size()), CallerHolds::Nothing));
}

void Machine::OpCallMethod(Frame& f, const Instruction& ins) {
  MethodInfo* method = f.method;
  std::vector<Value>& argv = f.argv;
  PopArgs(f, ins.b, argv);
  Pop(f);
  ThrowError("VerifyError", 1051, "Illegal early binding access to " + method->name + ".");
}

void Machine::OpCallStatic(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  const ScopeChain& outerScope = f.outerScope;
  AbcUnit& unit = f.unit;
  std::vector<Value>& argv = f.argv;
  PopArgs(f, ins.b, argv);
  const Value receiver = Pop(f);
  stack.push_back(Invoke(unit.methods[ins.a].get(), receiver, argv.data(), static_cast<int>(argv.size()), &outerScope,
                         CallerHolds::Nothing));
}

void Machine::OpCallSuper(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  std::vector<Value>& argv = f.argv;
  PopArgs(f, ins.b, argv);
  const Multiname name = PopName(f, ins.a, nullptr);
  const Value object = Pop(f);
  ClassObject* base = SuperTraits(f);
  const Binding* b = base && name.id != kNoName ? base->instanceTraits->Find(name.id, name, *this) : nullptr;
  Value result;
  if (b && b->kind == Binding::Kind::Method)
    result = Invoke(b->method, object, argv.data(), static_cast<int>(argv.size()),
                    b->method->declaringClass ? &b->method->declaringClass->scope : nullptr, CallerHolds::Nothing);
  else if (b && b->kind == Binding::Kind::Accessor && b->getter)
    result = Call(Invoke(b->getter, object, nullptr, 0, nullptr), object, argv.data(), static_cast<int>(argv.size()));
  else
    ThrowReferenceError(1070, "Method " + (name.text ? *name.text : std::string("*")) + " not found on " +
                                  (base ? base->QualifiedName() : std::string("Object")));
  if (ins.op == OP_callsuper) stack.push_back(result);
}

void Machine::OpCallProperty(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  std::vector<Value>& argv = f.argv;
  PopArgs(f, ins.b, argv);
  const Multiname name = PopName(f, ins.a, nullptr);
  const Value object = Pop(f);
  const Value result =
      CallProperty(object, name, argv.data(), static_cast<int>(argv.size()), ins.op == OP_callproplex, CallerHolds::Nothing);
  if (ins.op != OP_callpropvoid) stack.push_back(result);
}

void Machine::OpConstructSuper(Frame& f, const Instruction& ins) {
  std::vector<Value>& argv = f.argv;
  PopArgs(f, ins.a, argv);
  const Value object = Pop(f);
  ClassObject* base = SuperTraits(f);
  if (base && base->init)
    Invoke(base->init, object, argv.data(), static_cast<int>(argv.size()), &base->scope, CallerHolds::Nothing);
}

void Machine::OpConstructProp(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  std::vector<Value>& argv = f.argv;
  PopArgs(f, ins.b, argv);
  const Multiname name = PopName(f, ins.a, nullptr);
  const Value object = Pop(f);
  // On a primitive the name is looked up on its prototype: one it lacks is undefined,
  // which cannot be constructed (not a missing property).
  const bool primitive = !object.IsObject() && !object.IsNullish();
  const Value constructor = !primitive || HasProperty(object, name) ? GetProperty(object, name) : Value();
  if (!constructor.IsObject())
    ThrowTypeError(1007, "Instantiation attempted on a non-constructor.");
  stack.push_back(Construct(constructor, argv.data(), static_cast<int>(argv.size()), CallerHolds::Nothing));
}

void Machine::OpApplyType(Frame& f, const Instruction& ins) {
  std::vector<Value>& stack = f.stack;
  std::vector<Value>& argv = f.argv;
  PopArgs(f, ins.a, argv);
  const Value factory = Pop(f);
  Value result = factory;
  if (factory.IsObject() && factory.object == vectorClass && argv.size() == 1) {
    ClassObject* param = argv[0].IsObject() && argv[0].object->kind == ObjectKind::Class
                             ? static_cast<ClassObject*>(argv[0].object) : nullptr;
    result = Value::Obj(ApplyVector(*this, param));
  }
  stack.push_back(result);
}

}  // namespace vantrel::flash::avm2
