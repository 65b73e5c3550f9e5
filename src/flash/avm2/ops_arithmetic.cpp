// Arithmetic, bitwise operations, comparisons and logic.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "flash/avm2/interpreter_internal.h"

namespace vantrel::flash::avm2 {

void Machine::OpSxi1(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(Value::Number((ToInt32(v) & 1) ? -1 : 0));
}

void Machine::OpSxi8(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(Value::Number(static_cast<std::int8_t>(ToInt32(v))));
}

void Machine::OpSxi16(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(Value::Number(static_cast<std::int16_t>(ToInt32(v))));
}

void Machine::OpNot(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(Value::Bool(!ToBoolean(v)));
}

void Machine::OpBitNot(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(Value::Number(~ToInt32(v)));
}

void Machine::OpNegate(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(Value::Number(-ToNumber(v)));
}

void Machine::OpNegateI(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(Value::Number(static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(ToInt32(v)))));
}

void Machine::OpIncrement(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(Value::Number(ToNumber(v) + 1));
}

void Machine::OpDecrement(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(Value::Number(ToNumber(v) - 1));
}

void Machine::OpIncrementI(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(v)) + 1u)));
}

void Machine::OpDecrementI(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value v = Pop(f);
  stack.push_back(Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(v)) - 1u)));
}

void Machine::OpIncLocal(Frame& f, const Instruction& ins) {
  std::vector<Value>& locals = f.locals;
  locals[ins.a] = Value::Number(ToNumber(locals[ins.a]) + 1);
}

void Machine::OpDecLocal(Frame& f, const Instruction& ins) {
  std::vector<Value>& locals = f.locals;
  locals[ins.a] = Value::Number(ToNumber(locals[ins.a]) - 1);
}

void Machine::OpIncLocalI(Frame& f, const Instruction& ins) {
  std::vector<Value>& locals = f.locals;
  locals[ins.a] = Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(locals[ins.a])) + 1u));
}

void Machine::OpDecLocalI(Frame& f, const Instruction& ins) {
  std::vector<Value>& locals = f.locals;
  locals[ins.a] = Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(locals[ins.a])) - 1u));
}

void Machine::OpAdd(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f);
  Value& a = stack.empty() ? (stack.push_back(Value()), stack.back()) : stack.back();
  if (a.IsNumber() && b.IsNumber()) a.number += b.number;
  else a = Add(a, b);
}

void Machine::OpAddI(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(a)) + static_cast<std::uint32_t>(ToInt32(b)))));
}

void Machine::OpSubtractI(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(a)) - static_cast<std::uint32_t>(ToInt32(b)))));
}

void Machine::OpMultiplyI(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(a)) * static_cast<std::uint32_t>(ToInt32(b)))));
}

void Machine::OpSubtract(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Number(ToNumber(a) - ToNumber(b)));
}

void Machine::OpMultiply(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Number(ToNumber(a) * ToNumber(b)));
}

void Machine::OpDivide(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Number(ToNumber(a) / ToNumber(b)));
}

void Machine::OpModulo(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Number(std::fmod(ToNumber(a), ToNumber(b))));
}

void Machine::OpLshift(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(ToInt32(a)) << (ToUint32(b) & 31))));
}

void Machine::OpRshift(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Number(ToInt32(a) >> (ToUint32(b) & 31)));
}

void Machine::OpUrshift(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Number(ToUint32(a) >> (ToUint32(b) & 31)));
}

void Machine::OpBitAnd(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Number(ToInt32(a) & ToInt32(b)));
}

void Machine::OpBitOr(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Number(ToInt32(a) | ToInt32(b)));
}

void Machine::OpBitXor(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Number(ToInt32(a) ^ ToInt32(b)));
}

void Machine::OpEquals(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Bool(LooseEquals(a, b)));
}

void Machine::OpStrictEquals(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Bool(StrictEquals(a, b)));
}

void Machine::OpLessThan(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Bool(Compare(a, b) == 1));
}

void Machine::OpLessEquals(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Bool(Compare(b, a) == 0));
}

void Machine::OpGreaterThan(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Bool(Compare(b, a) == 1));
}

void Machine::OpGreaterEquals(Frame& f, const Instruction&) {
  std::vector<Value>& stack = f.stack;
  const Value b = Pop(f), a = Pop(f);
  stack.push_back(Value::Bool(Compare(a, b) == 0));
}

}  // namespace vantrel::flash::avm2
