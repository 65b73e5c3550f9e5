// Date: a time value in milliseconds since 1970 UTC (fractions kept, as the player
// keeps them), read and written in local time or UTC with the calendar rules of
// ECMA-262, the local offset from the system's time zone, and the player's toString.
#include <cmath>
#include <limits>
#include <string>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/native_support.h"
#include "flash/script/date_math.h"

namespace vantrel::flash::avm1 {

namespace {

using namespace script;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A date keeps its time value as a boxed number, so any code can read it.
struct DateRef {
  PrimitiveData* data = nullptr;
  explicit operator bool() const { return data != nullptr; }
  double& Time() { return data->value.number; }
};

DateRef ThisDate(Call& call) {
  if (!call.self || call.self->kind != NativeKind::Date) return {};
  PrimitiveData* data = call.self->Data<PrimitiveData>();
  if (data && !data->value.IsNumber()) data->value = Value::Number(kNaN);
  return DateRef{data};
}

std::string DateText(double t) { return FormatDate(t, DateFormat::Full); }

// The time value of constructor-style arguments (year, month[, date, hours, minutes,
// seconds, ms]) read as local time or UTC; a year below 100 counts from 1900 (the
// player reads -1 as 1899 too).
double TimeFromParts(Call& call, bool utc) {
  double parts[7] = {kNaN, 0, 1, 0, 0, 0, 0};
  for (std::size_t i = 0; i < 7 && i < call.Count(); ++i) parts[i] = ArgNumber(call, i);
  double year = parts[0];
  if (std::isfinite(year) && std::trunc(year) < 100) year = 1900 + std::trunc(year);
  const double local = MakeDate(MakeDay(year, parts[1], parts[2]), MakeTime(parts[3], parts[4], parts[5], parts[6]));
  return TimeClip(utc ? local : UtcFromLocal(local));
}

Value DateCall(Call& call) { return call.machine.Str(DateText(Now())); }

Value DateConstruct(Call& call) {
  Object* date = call.self ? call.self : call.machine.NewObject();
  double t = kNaN;
  if (call.Count() == 0) {
    t = Now();
  } else if (call.Count() == 1) {
    t = TimeClip(ArgNumber(call, 0));
  } else {
    t = TimeFromParts(call, false);
  }
  if (Fresh(date)) {
    date->kind = NativeKind::Date;
    date->native = std::make_unique<PrimitiveData>(Value::Number(t));
  }
  return Value::Obj(date);
}

Value Utc(Call& call) {
  if (call.Count() < 2) return Value();
  return Value::Number(TimeFromParts(call, true));
}

// Getters: the part of the time in local time (Local) or UTC.
enum class Part { FullYear, Year, Month, Date, Day, Hours, Minutes, Seconds, Milliseconds };

template <Part P, bool Utc>
Value Get(Call& call) {
  DateRef d = ThisDate(call);
  if (!d) return Value();
  if (std::isnan(d.Time())) return Value::Number(kNaN);
  const double t = Utc ? d.Time() : LocalTime(d.Time());
  switch (P) {
    case Part::FullYear: return Value::Number(YearFromTime(t));
    case Part::Year: return Value::Number(YearFromTime(t) - 1900);
    case Part::Month: return Value::Number(MonthFromTime(t));
    case Part::Date: return Value::Number(DateFromTime(t));
    case Part::Day: return Value::Number(WeekDay(t));
    case Part::Hours: return Value::Number(HourFromTime(t));
    case Part::Minutes: return Value::Number(MinFromTime(t));
    case Part::Seconds: return Value::Number(SecFromTime(t));
    case Part::Milliseconds: return Value::Number(MsFromTime(t));
  }
  return Value();
}

Value GetTime(Call& call) {
  DateRef d = ThisDate(call);
  return d ? Value::Number(d.Time()) : Value();
}

Value GetTimezoneOffset(Call& call) {
  DateRef d = ThisDate(call);
  if (!d) return Value();
  if (std::isnan(d.Time())) return Value::Number(kNaN);
  return Value::Number(-LocalOffset(d.Time()) / 60000.0);
}

Value ToStringMethod(Call& call) {
  DateRef d = ThisDate(call);
  if (!d) return call.machine.Str("[object Object]");
  return call.machine.Str(DateText(d.Time()));
}

Value SetTime(Call& call) {
  DateRef d = ThisDate(call);
  if (!d) return Value();
  d.Time() = TimeClip(std::trunc(ArgNumber(call, 0)));
  return Value::Number(d.Time());
}

// Setters take the parts they name in order and keep the others; an argument that is
// not given keeps its part too.
enum class First { FullYear, Year, Month, Date, Hours, Minutes, Seconds, Milliseconds };

template <First F, bool Utc>
Value Set(Call& call) {
  DateRef d = ThisDate(call);
  if (!d) return Value();
  double t = Utc ? d.Time() : LocalTime(d.Time());
  const bool yearSetter = F == First::FullYear || F == First::Year;
  if (std::isnan(t)) {
    if (!yearSetter) return Value::Number(kNaN);
    t = 0;
  }
  double part[7] = {YearFromTime(t), MonthFromTime(t), DateFromTime(t), HourFromTime(t),
                    MinFromTime(t),  SecFromTime(t),   MsFromTime(t)};
  int start = 0;
  int count = 1;
  switch (F) {
    case First::FullYear: start = 0, count = 3; break;
    case First::Year: start = 0, count = 3; break;
    case First::Month: start = 1, count = 2; break;
    case First::Date: start = 2, count = 1; break;
    case First::Hours: start = 3, count = 4; break;
    case First::Minutes: start = 4, count = 3; break;
    case First::Seconds: start = 5, count = 2; break;
    case First::Milliseconds: start = 6, count = 1; break;
  }
  if (call.Count() == 0) {
    part[start] = kNaN;
  } else {
    for (int i = 0; i < count && static_cast<std::size_t>(i) < call.Count(); ++i) part[start + i] = ArgNumber(call, i);
  }
  if (F == First::Year && std::isfinite(part[0]) && std::trunc(part[0]) >= 0 && std::trunc(part[0]) <= 99) {
    part[0] = 1900 + std::trunc(part[0]);
  }
  const double value = MakeDate(MakeDay(part[0], part[1], part[2]), MakeTime(part[3], part[4], part[5], part[6]));
  d.Time() = TimeClip(Utc ? value : UtcFromLocal(value));
  return Value::Number(d.Time());
}

constexpr std::uint16_t kMethod = kDontEnum | kDontDelete;

const Member kPrototypeMembers[] = {
    {"getFullYear", Get<Part::FullYear, false>, nullptr, kMethod, 103, 0},
    {"getYear", Get<Part::Year, false>, nullptr, kMethod, 103, 1},
    {"getMonth", Get<Part::Month, false>, nullptr, kMethod, 103, 2},
    {"getDate", Get<Part::Date, false>, nullptr, kMethod, 103, 3},
    {"getDay", Get<Part::Day, false>, nullptr, kMethod, 103, 4},
    {"getHours", Get<Part::Hours, false>, nullptr, kMethod, 103, 5},
    {"getMinutes", Get<Part::Minutes, false>, nullptr, kMethod, 103, 6},
    {"getSeconds", Get<Part::Seconds, false>, nullptr, kMethod, 103, 7},
    {"getMilliseconds", Get<Part::Milliseconds, false>, nullptr, kMethod, 103, 8},
    {"setFullYear", Set<First::FullYear, false>, nullptr, kMethod, 103, 9},
    {"setMonth", Set<First::Month, false>, nullptr, kMethod, 103, 10},
    {"setDate", Set<First::Date, false>, nullptr, kMethod, 103, 11},
    {"setHours", Set<First::Hours, false>, nullptr, kMethod, 103, 12},
    {"setMinutes", Set<First::Minutes, false>, nullptr, kMethod, 103, 13},
    {"setSeconds", Set<First::Seconds, false>, nullptr, kMethod, 103, 14},
    {"setMilliseconds", Set<First::Milliseconds, false>, nullptr, kMethod, 103, 15},
    {"getTime", GetTime, nullptr, kMethod, 103, 16},
    {"setTime", SetTime, nullptr, kMethod, 103, 17},
    {"getTimezoneOffset", GetTimezoneOffset, nullptr, kMethod, 103, 18},
    {"toString", ToStringMethod, nullptr, kMethod, 103, 19},
    {"setYear", Set<First::Year, false>, nullptr, kMethod, 103, 20},
    {"getUTCFullYear", Get<Part::FullYear, true>, nullptr, kMethod, 103, 128},
    {"getUTCYear", Get<Part::Year, true>, nullptr, kMethod, 103, 129},
    {"getUTCMonth", Get<Part::Month, true>, nullptr, kMethod, 103, 130},
    {"getUTCDate", Get<Part::Date, true>, nullptr, kMethod, 103, 131},
    {"getUTCDay", Get<Part::Day, true>, nullptr, kMethod, 103, 132},
    {"getUTCHours", Get<Part::Hours, true>, nullptr, kMethod, 103, 133},
    {"getUTCMinutes", Get<Part::Minutes, true>, nullptr, kMethod, 103, 134},
    {"getUTCSeconds", Get<Part::Seconds, true>, nullptr, kMethod, 103, 135},
    {"getUTCMilliseconds", Get<Part::Milliseconds, true>, nullptr, kMethod, 103, 136},
    {"setUTCFullYear", Set<First::FullYear, true>, nullptr, kMethod, 103, 137},
    {"setUTCMonth", Set<First::Month, true>, nullptr, kMethod, 103, 138},
    {"setUTCDate", Set<First::Date, true>, nullptr, kMethod, 103, 139},
    {"setUTCHours", Set<First::Hours, true>, nullptr, kMethod, 103, 140},
    {"setUTCMinutes", Set<First::Minutes, true>, nullptr, kMethod, 103, 141},
    {"setUTCSeconds", Set<First::Seconds, true>, nullptr, kMethod, 103, 142},
    {"setUTCMilliseconds", Set<First::Milliseconds, true>, nullptr, kMethod, 103, 143},
    {"valueOf", GetTime, nullptr, kMethod},
};

const Member kClassMembers[] = {
    {"UTC", Utc, nullptr, kMethod | kReadOnly, 103, 257},
};

}  // namespace

void InstallDate(Runtime& rt) {
  Object* ctor = rt.MakeClass(DateCall, DateConstruct);
  Object* proto = ctor->FindOwn("prototype", true)->value.AsObject();
  rt.dateProto = proto;
  Install(rt, proto, kPrototypeMembers);
  Install(rt, ctor, kClassMembers);
  ctor->FindOwn("prototype", true)->attributes |= kReadOnly;
  rt.RegisterNative(103, 256, ctor);
  rt.global->Define("Date", Value::Obj(ctor), kDontEnum);
  rt.prototypes["Date"] = proto;
}

}  // namespace vantrel::flash::avm1
