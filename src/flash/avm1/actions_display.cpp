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
  if (!PropertyNumber(index)) return;
  if (d) {
    SetDisplayProperty(*this, *d, static_cast<int>(index), v);
    return;
  }
  // Without a target the value is still read as the property would read it.
  switch (static_cast<int>(index)) {
    case 11:
    case 14:
    case 15: break;  // _target, _droptarget and _url never look at it
    case 13:
    case 19: ToString(v); break;
    default:
      if (index >= 0 && index < 22) ToNumber(v);
      break;
  }
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
  // The target is found first. Each flag is set only by a value whose number is 1 as a
  // 32-bit integer (true, 1, "1", an object whose valueOf gives one of them): 2 or "7"
  // leave it off.
  DisplayObject* target = TargetOf(frame, Pop());
  const bool lockCenter = ToInt32(ToNumber(Pop())) == 1;
  const bool constrain = ToInt32(ToNumber(Pop())) == 1;
  double rect[4];
  if (constrain) {
    rect[3] = ToNumber(Pop());
    rect[2] = ToNumber(Pop());
    rect[1] = ToNumber(Pop());
    rect[0] = ToNumber(Pop());
  }
  StartDrag(*this, target, lockCenter, constrain ? rect : nullptr);
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
