// Function actions: definitions, calls, construction and return.
#include <cmath>
#include <string>
#include <vector>

#include "flash/avm1/interpreter_internal.h"

namespace vantrel::flash::avm1 {

void Interpreter::ActionDefineFunction(Step& step) {
  DefineFunctionAction(step.frame, step.r, false, step.at + 3 + step.length);
}

void Interpreter::ActionDefineFunction2(Step& step) {
  DefineFunctionAction(step.frame, step.r, true, step.at + 3 + step.length);
}

void Interpreter::ActionCallFunction(Step& step) {
  Frame& frame = step.frame;
  frame.callMade = true;
  const Value nameValue = Pop();
  std::vector<Value> args = PopArguments();
  const std::string name = ToString(nameValue);
  Value fn;
  Value self = Value::Obj(frame.target);
  Object* holder = nullptr;
  if (HasPathCharacters(name)) {
    Value owner;
    std::string_view member;
    if (SplitPath(name, owner, member, true)) {
      fn = GetMember(owner, member);
      self = owner;
    }
  } else {
    fn = GetVariable(name);
    // A function kept in a local variable runs with the activation as `this`.
    if (frame.locals && frame.locals->FindOwn(name, frame.version >= 7)) self = Value::Obj(frame.locals);
    // One found on the object of a with block (the innermost first) runs on that object.
    const std::size_t withs = std::min(frame.withs.size(), frame.scope.size());
    for (std::size_t i = frame.scope.size(); i-- > frame.scope.size() - withs;) {
      if (Object* o = frame.scope[i]; o && Has(o, name)) {
        self = Value::Obj(o);
        break;
      }
    }
  }
  CallValue(fn, self, std::move(args), holder);
}

void Interpreter::ActionCallMethod(Step& step) {
  const Value nameValue = Pop();
  const Value object = Pop();
  std::vector<Value> args = PopArguments();
  // An undefined name, or one whose text is empty, calls the object itself (a null
  // name is the property "null").
  const std::string methodName = nameValue.IsUndefined() ? std::string() : ToString(nameValue);
  // A method of undefined or null is no call at all.
  step.frame.callMade = methodName.empty() || !object.IsNullish();
  if (methodName.empty()) {
    Value self = Value();
    CallValue(object, self, std::move(args), nullptr);
    return;
  }
  const std::string& name = methodName;
  if (object.IsNullish()) {
    Push(Value());
    return;
  }
  // A primitive whose class a script replaced is boxed by that class first.
  const Value target = BoxedForLookup(object);
  Object* holder = nullptr;
  const Value fn = FindMethod(target, name, holder);
  Value self = target;
  if (Object* o = target.AsObject(); o && o->kind == NativeKind::Super)
    self = static_cast<SuperData*>(o->native.get())->thisValue;
  CallValue(fn, self, std::move(args), holder);
}

void Interpreter::ActionNewObject(Step& step) {
  step.frame.callMade = true;
  const std::string name = ToString(Pop());
  const std::vector<Value> args = PopArguments();
  const Value ctor = GetVariable(name);
  ConstructValue(ctor, args);
}

void Interpreter::ActionNewMethod(Step& step) {
  const Value nameValue = Pop();
  const Value object = Pop();
  step.frame.callMade = !object.IsNullish();
  const std::vector<Value> args = PopArguments();
  Value ctor = object;
  if (!(nameValue.IsUndefined() || (nameValue.IsString() && nameValue.string->Text().empty())))
    ctor = GetMember(object, ToString(nameValue));
  ConstructValue(ctor, args);
}

void Interpreter::ActionReturn(Step& step) {
  const Value v = Pop();
  if (DeferReturn(step.frame, v)) return;
  if (ReturnFrom(step.base, v, step.runResult)) step.finished = true;
}

}  // namespace vantrel::flash::avm1
