// Arithmetic and bitwise actions.
#include <cmath>
#include <cstdint>
#include <utility>

#include "flash/avm1/interpreter_internal.h"

namespace vantrel::flash::avm1 {

namespace {

bool IsDate(const Value& v) { return v.IsObject() && v.object->kind == NativeKind::Date; }

// The operands of a bitwise action as integers; the first converts first.
std::pair<std::int32_t, std::int32_t> Integers(Interpreter& m, const Value& first, const Value& second) {
  const double a = m.ToNumber(first);
  const double b = m.ToNumber(second);
  return {ToInt32(a), ToInt32(b)};
}

}  // namespace

void Interpreter::ActionAdd(Step&) {
  const Value bv = Pop();  // the first operand converts first
  const double a = ToNumber(Pop());
  const double b = ToNumber(bv);
  Push(Value::Number(a + b));
}

void Interpreter::ActionSubtract(Step&) {
  // Unlike Add and Multiply, the second operand converts first.
  const double b = ToNumber(Pop());
  const double a = ToNumber(Pop());
  Push(Value::Number(a - b));
}

void Interpreter::ActionMultiply(Step&) {
  const Value bv = Pop();  // the first operand converts first
  const double a = ToNumber(Pop());
  const double b = ToNumber(bv);
  Push(Value::Number(a * b));
}

void Interpreter::ActionDivide(Step& step) {
  // Unlike Add and Multiply, the second operand converts first.
  const double b = ToNumber(Pop());
  const double a = ToNumber(Pop());
  if (b == 0 && step.frame.version < 5) {
    Push(Str("#ERROR#"));
    return;
  }
  Push(Value::Number(a / b));
}

void Interpreter::ActionAdd2(Step&) {
  const Value b = Pop();
  const Value a = Pop();
  if (a.IsNumber() && b.IsNumber()) {
    Push(Value::Number(a.number + b.number));
    return;
  }
  // The second operand converts first; from SWF 6 a date prefers its string.
  const int version = Version();
  const Value pb = ToPrimitive(b, version >= 6 && IsDate(b));
  const Value pa = ToPrimitive(a, version >= 6 && IsDate(a));
  if (pa.IsString() || pb.IsString()) {
    PushJoined(ToString(pa), ToString(pb));
  } else {
    Push(Value::Number(ToNumber(pa) + ToNumber(pb)));
  }
}

void Interpreter::ActionModulo(Step&) {
  const Value bv = Pop();  // the first operand converts first
  const double a = ToNumber(Pop());
  const double b = ToNumber(bv);
  Push(Value::Number(std::fmod(a, b)));
}

void Interpreter::ActionIncrement(Step&) {
  Push(Value::Number(ToNumber(Pop()) + 1));
}

void Interpreter::ActionDecrement(Step&) {
  Push(Value::Number(ToNumber(Pop()) - 1));
}

void Interpreter::ActionBitAnd(Step&) {
  const Value b = Pop(), a = Pop();
  const auto [x, y] = Integers(*this, a, b);
  Push(Value::Number(x & y));
}

void Interpreter::ActionBitOr(Step&) {
  const Value b = Pop(), a = Pop();
  const auto [x, y] = Integers(*this, a, b);
  Push(Value::Number(x | y));
}

void Interpreter::ActionBitXor(Step&) {
  const Value b = Pop(), a = Pop();
  const auto [x, y] = Integers(*this, a, b);
  Push(Value::Number(x ^ y));
}

void Interpreter::ActionBitLShift(Step&) {
  const Value b = Pop(), a = Pop();
  const auto [x, y] = Integers(*this, a, b);
  Push(Value::Number(static_cast<std::int32_t>(static_cast<std::uint32_t>(x) << (y & 31))));
}

void Interpreter::ActionBitRShift(Step&) {
  const Value b = Pop(), a = Pop();
  const auto [x, y] = Integers(*this, a, b);
  Push(Value::Number(x >> (y & 31)));
}

void Interpreter::ActionBitURShift(Step& step) {
  const Value b = Pop(), a = Pop();
  const auto [x, y] = Integers(*this, a, b);
  const std::uint32_t shifted = static_cast<std::uint32_t>(x) >> (y & 31);
  // Movies up to SWF 8 get the shifted bits back as a signed integer.
  Push(Value::Number(step.frame.version <= 8 ? static_cast<double>(static_cast<std::int32_t>(shifted)) : shifted));
}

}  // namespace vantrel::flash::avm1
