// Stack actions: pushes, pops, registers and the constant pool.
#include "flash/avm1/interpreter_internal.h"

namespace vantrel::flash::avm1 {

void Interpreter::ActionPush(Step& step) {
  Frame& frame = step.frame;
  PushValues(frame, step.r, step.code + step.at + 3);
}

void Interpreter::ActionPop(Step&) {
  Pop();
}

void Interpreter::ActionPushDuplicate(Step& step) {
  Frame& frame = step.frame;
  const Value v = stack_.size() > frame.stackBase ? stack_.back() : Value();
  Push(v);
}

void Interpreter::ActionStackSwap(Step&) {
  const Value a = Pop();
  const Value b = Pop();
  Push(a);
  Push(b);
}

void Interpreter::ActionStoreRegister(Step& step) {
  Frame& frame = step.frame;
  Reader& r = step.r;
  const std::uint8_t reg = r.U8();
  const Value v = stack_.size() > frame.stackBase ? stack_.back() : Value();
  if (reg < frame.registers.size()) frame.registers[reg] = v;
  else if (reg < frames_.front()->registers.size()) frames_.front()->registers[reg] = v;  // see PushValues
}

void Interpreter::ActionConstantPool(Step& step) {
  Frame& frame = step.frame;
  DefinePool(frame, step.r, step.code + step.at);
}

}  // namespace vantrel::flash::avm1
