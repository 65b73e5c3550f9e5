// Control flow: the end of a block, jumps, with, try and throw.
#include <algorithm>
#include <string>

#include "flash/avm1/interpreter_internal.h"

namespace vantrel::flash::avm1 {

void Interpreter::ActionEnd(Step& step) {
  Frame& frame = step.frame;
  frame.pc = frame.end;
}

void Interpreter::ActionThrow(Step&) {
  Throw(Pop());
}

void Interpreter::ActionTry(Step& step) {
  Frame& frame = step.frame;
  TryAction(frame, step.r, step.at + 3 + step.length);
}

void Interpreter::ActionWith(Step& step) {
  Frame& frame = step.frame;
  Reader& r = step.r;
  const std::size_t size = r.U16();
  const Value object = Pop();
  Object* o = object.AsObject();
  if (!o && !object.IsNullish()) o = ToObject(object);
  if (!o || frame.withs.size() >= 16) {
    frame.pc = std::min(frame.pc + size, frame.end);  // nothing to look into: the body is skipped
    return;
  }
  frame.withs.push_back({std::min(frame.pc + size, frame.end)});
  frame.scope.push_back(o);
}

void Interpreter::ActionJump(Step& step) {
  Frame& frame = step.frame;
  Reader& r = step.r;
  const auto offset = static_cast<std::int16_t>(r.U16());
  frame.pc = JumpTarget(frame, offset);
}

void Interpreter::ActionIf(Step& step) {
  Frame& frame = step.frame;
  Reader& r = step.r;
  const auto offset = static_cast<std::int16_t>(r.U16());
  if (ToBoolean(Pop())) frame.pc = JumpTarget(frame, offset);
}

}  // namespace vantrel::flash::avm1
