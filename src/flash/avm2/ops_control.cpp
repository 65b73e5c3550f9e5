// Control flow: jumps, branches, switches, returns, throw and the instructions that
// do nothing.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "flash/avm2/interpreter_internal.h"

namespace vantrel::flash::avm2 {

void Machine::OpNop(Frame&, const Instruction&) {}

void Machine::OpDxnsLate(Frame& f, const Instruction&) {
  Pop(f);
}

void Machine::OpThrow(Frame& f, const Instruction&) {
  throw Thrown{Pop(f)};
}

void Machine::OpJump(Frame& f, const Instruction& ins) {
  f.pc = ins.target;
}

void Machine::OpIfTrue(Frame& f, const Instruction& ins) {
  if (ToBoolean(Pop(f))) f.pc = ins.target;
}

void Machine::OpIfFalse(Frame& f, const Instruction& ins) {
  if (!ToBoolean(Pop(f))) f.pc = ins.target;
}

void Machine::OpIfEq(Frame& f, const Instruction& ins) {
  const Value b = Pop(f), a = Pop(f);
  if (LooseEquals(a, b)) f.pc = ins.target;
}

void Machine::OpIfNe(Frame& f, const Instruction& ins) {
  const Value b = Pop(f), a = Pop(f);
  if (!LooseEquals(a, b)) f.pc = ins.target;
}

void Machine::OpIfStrictEq(Frame& f, const Instruction& ins) {
  const Value b = Pop(f), a = Pop(f);
  if (StrictEquals(a, b)) f.pc = ins.target;
}

void Machine::OpIfStrictNe(Frame& f, const Instruction& ins) {
  const Value b = Pop(f), a = Pop(f);
  if (!StrictEquals(a, b)) f.pc = ins.target;
}

void Machine::OpIfLt(Frame& f, const Instruction& ins) {
  const Value b = Pop(f), a = Pop(f);
  if (Compare(a, b) == 1) f.pc = ins.target;
}

void Machine::OpIfLe(Frame& f, const Instruction& ins) {
  const Value b = Pop(f), a = Pop(f);
  if (Compare(b, a) == 0) f.pc = ins.target;
}

void Machine::OpIfGt(Frame& f, const Instruction& ins) {
  const Value b = Pop(f), a = Pop(f);
  if (Compare(b, a) == 1) f.pc = ins.target;
}

void Machine::OpIfGe(Frame& f, const Instruction& ins) {
  const Value b = Pop(f), a = Pop(f);
  if (Compare(a, b) == 0) f.pc = ins.target;
}

void Machine::OpIfNlt(Frame& f, const Instruction& ins) {
  const Value b = Pop(f), a = Pop(f);
  if (Compare(a, b) != 1) f.pc = ins.target;
}

void Machine::OpIfNle(Frame& f, const Instruction& ins) {
  const Value b = Pop(f), a = Pop(f);
  if (Compare(b, a) != 0) f.pc = ins.target;
}

void Machine::OpIfNgt(Frame& f, const Instruction& ins) {
  const Value b = Pop(f), a = Pop(f);
  if (Compare(b, a) != 1) f.pc = ins.target;
}

void Machine::OpIfNge(Frame& f, const Instruction& ins) {
  const Value b = Pop(f), a = Pop(f);
  if (Compare(a, b) != 0) f.pc = ins.target;
}

void Machine::OpLookupSwitch(Frame& f, const Instruction& ins) {
  DecodedCode& decoded = f.decoded;
  const double index = ToNumber(Pop(f));
  const std::uint32_t cases = ins.b;
  if (index >= 0 && index < cases && index == std::floor(index)) f.pc = decoded.switchTargets[ins.a + static_cast<std::uint32_t>(index)];
  else f.pc = ins.target;
}

void Machine::OpReturnVoid(Frame& f, const Instruction&) {
  f.result = Value();
  f.returned = true;
  f.pc = f.decoded.code.size();
}

void Machine::OpReturnValue(Frame& f, const Instruction&) {
  DecodedCode& decoded = f.decoded;
  const Value v = Pop(f);
  f.result = decoded.returnsVoid ? Value() : decoded.returnType ? Coerce(v, decoded.returnType) : v;
  f.returned = true;
  f.pc = decoded.code.size();
}

}  // namespace vantrel::flash::avm2
