// Actions on display objects and the host: properties, duplicates, dragging, trace,
// random numbers and the clock.
#include <algorithm>
#include <cmath>
#include <string>

#include "flash/avm1/display_binding.h"
#include "flash/avm1/interpreter_internal.h"
#include "flash/display/display_object.h"

namespace vantrel::flash::avm1 {

namespace {

// Whether getProperty/setProperty's number can name a property: NaN and numbers past the
// int range name none (their conversion to int is undefined), and are passed over.
bool PropertyNumber(double index) { return index > -2147483649.0 && index < 2147483648.0; }

}  // namespace

void Interpreter::ActionTargetPath(Step&) {
  const Value v = Pop();
  DisplayObject* d = v.IsObject() ? AsDisplay(v.object) : nullptr;
  if (d) {
    Push(Str(DisplayDotPath(d)));
  } else {
    Push(Value());
  }
}

void Interpreter::ActionGetProperty(Step& step) {
  Frame& frame = step.frame;
  const double index = ToNumber(Pop());
  const Value t = Pop();
  // After a tellTarget that found nothing, the missing clip's own properties ("" names
  // it) read as undefined, as they do by name.
  const bool lost = frame.targetLost && t.IsString() && t.string->Text().empty();
  DisplayObject* d = lost ? nullptr : TargetOf(frame, t);
  Value out;
  if (d && PropertyNumber(index)) GetDisplayProperty(*this, *d, static_cast<int>(index), out);
  Push(out);
}

void Interpreter::ActionSetProperty(Step& step) {
  Frame& frame = step.frame;
  const Value v = Pop();
  const double index = ToNumber(Pop());
  const Value t = Pop();
  DisplayObject* d = TargetOf(frame, t);
  if (d && PropertyNumber(index)) SetDisplayProperty(*this, *d, static_cast<int>(index), v);
}

void Interpreter::ActionCloneSprite(Step& step) {
  Frame& frame = step.frame;
  const double depth = ToNumber(Pop());
  const std::string name = ToString(Pop());
  const Value source = Pop();
  CloneSprite(*this, TargetOf(frame, source), name, ToInt32(depth));
}

void Interpreter::ActionRemoveSprite(Step& step) {
  Frame& frame = step.frame;
  RemoveSprite(*this, TargetOf(frame, Pop()));
}

void Interpreter::ActionStartDrag(Step& step) {
  Frame& frame = step.frame;
  const Value t = Pop();
  const bool lockCenter = ToBoolean(Pop());
  const bool constrain = ToBoolean(Pop());
  double rect[4];
  if (constrain) {
    rect[3] = ToNumber(Pop());
    rect[2] = ToNumber(Pop());
    rect[1] = ToNumber(Pop());
    rect[0] = ToNumber(Pop());
  }
  StartDrag(*this, TargetOf(frame, t), lockCenter, constrain ? rect : nullptr);
}

void Interpreter::ActionEndDrag(Step&) {
  StopDrag(*this);
}

void Interpreter::ActionTrace(Step&) {
  const Value v = Pop();
  Trace(v.IsUndefined() ? "undefined" : ToString(v));
}

void Interpreter::ActionRandomNumber(Step&) {
  // The limit converts as the integer actions convert: modulo 2^32, and 0 for what
  // is no finite number.
  Push(Value::Number(RandomNumber(*this, ToInt32(ToNumber(Pop())))));
}

void Interpreter::ActionGetTime(Step&) {
  Push(Value::Number(std::floor(Timer(*this))));
}

}  // namespace vantrel::flash::avm1
