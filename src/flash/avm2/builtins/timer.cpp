// flash.utils.Timer: an EventDispatcher that sends "timer" every delay milliseconds of
// the player's clock (at most once a frame) and "timerComplete" after repeatCount ticks.
// It runs on the machine's timer list beside setTimeout/setInterval.
#include <algorithm>
#include <cmath>

#include "flash/avm2/builtins/support.h"

namespace vantrel::flash::avm2 {

namespace {

enum Field { kDelay, kRepeatCount, kCurrentCount, kRunning, kTimerId };

// The fields live in slots of a namespace no script can name.
std::uint32_t firstSlot = 0;

Value& FieldOf(Machine& m, const Value& self, Field f, const char* method) {
  if (!self.IsObject() || !m.IsInstance(self, m.FindClass("flash.utils.Timer")))
    m.ThrowTypeError(1004, std::string("Method ") + method + " was invoked on an incompatible object.");
  return self.object->slotValues[firstSlot + f];
}

double CheckedDelay(Machine& m, const Value& v) {
  const double delay = m.ToNumber(v);
  if (!(delay >= 0) || !std::isfinite(delay)) m.ThrowError("RangeError", 2066, "The Timer delay specified is out of range.");
  return delay;
}

void Dispatch(Machine& m, const Value& timer, const char* type) {
  ClassObject* eventClass = m.FindClass("flash.events.TimerEvent");
  const Value arg = m.StrValue(type);
  const Value event = m.Construct(Value::Obj(eventClass), &arg, 1);
  m.CallPublic(timer, "dispatchEvent", {event});
}

void Unschedule(Machine& m, const Value& self) {
  const int id = m.ToInt32(FieldOf(m, self, kTimerId, "Timer.stop"));
  for (auto it = m.timers.begin(); it != m.timers.end(); ++it) {
    if (it->id == id) {
      m.timers.erase(it);
      break;
    }
  }
  FieldOf(m, self, kTimerId, "Timer.stop") = Value::Number(0);
}

// A timer that reaches its repeat count (one started again past it reaches it at once)
// completes; one whose repeatCount a timer listener lowered to its count completes after
// that tick, one stopped (or lowered) between ticks just stops.
Value Tick(Machine& m, const Value& self, const Value*, int) {
  if (!m.ToBoolean(FieldOf(m, self, kRunning, "Timer"))) {
    Unschedule(m, self);
    return Value();
  }
  Value& count = FieldOf(m, self, kCurrentCount, "Timer");
  count = Value::Number(m.ToNumber(count) + 1);
  Dispatch(m, self, "timer");
  const double repeat = m.ToNumber(FieldOf(m, self, kRepeatCount, "Timer"));
  if (repeat > 0 && m.ToNumber(FieldOf(m, self, kCurrentCount, "Timer")) >= repeat &&
      m.ToNumber(FieldOf(m, self, kTimerId, "Timer")) != 0) {
    Unschedule(m, self);
    FieldOf(m, self, kRunning, "Timer") = Value::Bool(false);
    Dispatch(m, self, "timerComplete");
  }
  return Value();
}

void Schedule(Machine& m, const Value& self) {
  Machine::Timer t;
  const int id = ++m.nextTimer;
  t.id = id;
  FunctionObject* tick = m.NewNativeFunction("tick", Tick);
  tick->bound = true;
  tick->boundThis = self;
  t.function = Value::Obj(tick);
  t.interval = std::max(1.0, m.ToNumber(FieldOf(m, self, kDelay, "Timer.start")));
  t.due = m.TimerBase() + t.interval;
  t.repeat = true;
  m.timers.push_back(std::move(t));
  FieldOf(m, self, kTimerId, "Timer.start") = Value::Number(id);
}

Value Construct(Machine& m, const Value& self, const Value* args, int argc) {
  const double delay = CheckedDelay(m, Arg(args, argc, 0));
  self.object->slotValues[firstSlot + kDelay] = Value::Number(delay);
  self.object->slotValues[firstSlot + kRepeatCount] = Value::Number(m.ToInt32(Arg(args, argc, 1)));
  self.object->slotValues[firstSlot + kCurrentCount] = Value::Number(0);
  self.object->slotValues[firstSlot + kRunning] = Value::Bool(false);
  self.object->slotValues[firstSlot + kTimerId] = Value::Number(0);
  return Value();
}

Value Start(Machine& m, const Value& self, const Value*, int) {
  if (m.ToBoolean(FieldOf(m, self, kRunning, "Timer.start"))) return Value();
  Unschedule(m, self);
  FieldOf(m, self, kRunning, "Timer.start") = Value::Bool(true);
  Schedule(m, self);
  return Value();
}

Value Stop(Machine& m, const Value& self, const Value*, int) {
  Unschedule(m, self);
  FieldOf(m, self, kRunning, "Timer.stop") = Value::Bool(false);
  return Value();
}

Value Reset(Machine& m, const Value& self, const Value* args, int argc) {
  Stop(m, self, args, argc);
  FieldOf(m, self, kCurrentCount, "Timer.reset") = Value::Number(0);
  return Value();
}

Value GetDelay(Machine& m, const Value& self, const Value*, int) { return FieldOf(m, self, kDelay, "Timer.delay"); }
Value SetDelay(Machine& m, const Value& self, const Value* args, int argc) {
  const double delay = CheckedDelay(m, Arg(args, argc, 0));
  FieldOf(m, self, kDelay, "Timer.delay") = Value::Number(delay);
  // A running timer starts its wait over with the new delay.
  if (m.ToBoolean(FieldOf(m, self, kRunning, "Timer.delay"))) {
    Unschedule(m, self);
    Schedule(m, self);
  }
  return Value();
}
Value GetRepeat(Machine& m, const Value& self, const Value*, int) { return FieldOf(m, self, kRepeatCount, "Timer.repeatCount"); }
Value SetRepeat(Machine& m, const Value& self, const Value* args, int argc) {
  FieldOf(m, self, kRepeatCount, "Timer.repeatCount") = Value::Number(m.ToInt32(Arg(args, argc, 0)));
  const double repeat = m.ToNumber(FieldOf(m, self, kRepeatCount, "Timer.repeatCount"));
  if (repeat > 0 && m.ToNumber(FieldOf(m, self, kCurrentCount, "Timer.repeatCount")) >= repeat)
    FieldOf(m, self, kRunning, "Timer.repeatCount") = Value::Bool(false);
  return Value();
}
Value GetCount(Machine& m, const Value& self, const Value*, int) { return FieldOf(m, self, kCurrentCount, "Timer.currentCount"); }
Value GetRunning(Machine& m, const Value& self, const Value*, int) { return FieldOf(m, self, kRunning, "Timer.running"); }

}  // namespace

void InstallTimer(Machine& m) {
  ClassObject* dispatcher = m.FindClass("flash.events.EventDispatcher");
  if (!dispatcher) return;
  ClassObject* timer = m.DefineClass("flash.utils", "Timer", dispatcher, Construct, true);
  firstSlot = AddHiddenSlots(m, timer, {"delay", "repeatCount", "currentCount", "running", "timerId"}, 0xF1A5E);
  static const Member kTimerMembers[] = {
      {"start", Start, nullptr, 0, 0},
      {"stop", Stop, nullptr, 0, 0},
      {"reset", Reset, nullptr, 0, 0},
      {"delay", GetDelay, SetDelay, kAccessor, 0},
      {"repeatCount", GetRepeat, SetRepeat, kAccessor, 0},
      {"currentCount", GetCount, nullptr, kAccessor, 0},
      {"running", GetRunning, nullptr, kAccessor, 0},
  };
  Install(m, timer, kTimerMembers);
}

}  // namespace vantrel::flash::avm2
