// Comparisons, logic and conversions.
#include <cmath>
#include <string>

#include "flash/avm1/interpreter_internal.h"
#include "flash/display/display_object.h"
#include "flash/script/utf16.h"

namespace vantrel::flash::avm1 {

namespace {

// Clips are values by their path: two clips at the same path (one left behind by a
// rewind beside the one the timeline placed again, both named alike) are equal.
bool SameClip(Interpreter& m, Object* a, Object* b) {
  if (a->kind != NativeKind::Display || b->kind != NativeKind::Display) return false;
  DisplayObject* x = m.AsDisplay(a);
  DisplayObject* y = m.AsDisplay(b);
  return x && y && x->Kind() == DisplayKind::MovieClip && y->Kind() == DisplayKind::MovieClip &&
         x->TargetPath() == y->TargetPath();
}

bool StrictEquals(Interpreter& m, const Value& a, const Value& b) {
  if (a.type != b.type) return false;
  switch (a.type) {
    case Value::Type::Undefined:
    case Value::Type::Null: return true;
    case Value::Type::Boolean: return a.boolean == b.boolean;
    case Value::Type::Number: return a.number == b.number || (std::isnan(a.number) && std::isnan(b.number));
    case Value::Type::String: return a.string == b.string || a.string->Text() == b.string->Text();
    case Value::Type::Object: return a.object == b.object || SameClip(m, a.object, b.object);
  }
  return false;
}

bool LooseEquals(Interpreter& m, Value a, Value b, int version) {
  // SWF 5 compares two objects by their primitive values (two boxed 1s are equal).
  if (version <= 5 && a.IsObject() && b.IsObject() && a.object != b.object) {
    a = m.ToPrimitive(a, false);
    b = m.ToPrimitive(b, false);
  }
  for (int round = 0; round < 4; ++round) {
    if (a.type == b.type) return StrictEquals(m, a, b);
    if (a.IsNullish() && b.IsNullish()) return true;
    // An object meets a primitive (undefined and null too) through its valueOf: an
    // object without one, such as _global, equals undefined.
    if (a.IsObject() != b.IsObject()) {
      Value& o = a.IsObject() ? a : b;
      o = m.ToPrimitive(o, false);
      if (o.IsObject()) return false;
      continue;
    }
    if (a.IsNullish() || b.IsNullish()) {
      // SWF 5 and 6 compare undefined with other values by number.
      return false;
    }
    if (a.IsNumber() && b.IsString()) return a.number == m.ToNumber(b);
    if (a.IsString() && b.IsNumber()) return m.ToNumber(a) == b.number;
    if (a.IsBoolean()) {
      a = Value::Number(a.boolean ? 1 : 0);
      continue;
    }
    if (b.IsBoolean()) {
      b = Value::Number(b.boolean ? 1 : 0);
      continue;
    }
    if (a.IsObject() && !b.IsObject()) {
      a = m.ToPrimitive(a, false);
      if (a.IsObject()) return false;
      continue;
    }
    if (b.IsObject() && !a.IsObject()) {
      b = m.ToPrimitive(b, false);
      if (b.IsObject()) return false;
      continue;
    }
    return false;
  }
  return false;
}

}  // namespace

// unlike the arithmetic, the old equality converts its second operand first
void Interpreter::ActionEquals(Step& step) {
  const int version = step.frame.version;
  const double b = ToNumber(Pop());
  const double a = ToNumber(Pop());
  PushBool(version, a == b);
}

void Interpreter::ActionLess(Step& step) {
  const int version = step.frame.version;
  const Value bv = Pop();  // the first operand converts first
  const double a = ToNumber(Pop());
  const double b = ToNumber(bv);
  PushBool(version, a < b);
}

void Interpreter::ActionAnd(Step& step) {
  const int version = step.frame.version;
  const bool b = ToBoolean(Pop());
  const bool a = ToBoolean(Pop());
  PushBool(version, a && b);
}

void Interpreter::ActionOr(Step& step) {
  const int version = step.frame.version;
  const bool b = ToBoolean(Pop());
  const bool a = ToBoolean(Pop());
  PushBool(version, a || b);
}

void Interpreter::ActionNot(Step& step) {
  const int version = step.frame.version;
  PushBool(version, !ToBoolean(Pop()));
}

void Interpreter::ActionLess2(Step&) {
  const Value b = Pop();
  const Value a = Pop();
  Push(Less(a, b));
}

void Interpreter::ActionGreater(Step&) {
  const Value b = Pop();
  const Value a = Pop();
  Push(Less(b, a));
}

void Interpreter::ActionEquals2(Step& step) {
  const int version = step.frame.version;
  const Value b = Pop();
  const Value a = Pop();
  Push(Value::Bool(LooseEquals(*this, a, b, version)));
}

void Interpreter::ActionStrictEquals(Step&) {
  const Value b = Pop();
  const Value a = Pop();
  Push(Value::Bool(StrictEquals(*this, a, b)));
}

void Interpreter::ActionToInteger(Step&) {
  Push(Value::Number(ToInt32(ToNumber(Pop()))));
}

void Interpreter::ActionToNumber(Step&) {
  Push(Value::Number(ToNumber(Pop())));
}

void Interpreter::ActionToString(Step&) {
  Push(Str(ToString(Pop())));
}

void Interpreter::ActionTypeOf(Step&) {
  Push(Str(TypeOf(Pop())));
}

}  // namespace vantrel::flash::avm1
