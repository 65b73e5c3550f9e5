// Date: a time value in milliseconds since 1970 UTC, its parts read and written in local
// time or UTC as methods (getMonth, setUTCHours...) and as properties (month,
// hoursUTC...), printed and parsed as the player does; the calendar is the one the
// ActionScript 1/2 Date uses.
#include <cmath>
#include <limits>
#include <string>

#include "flash/avm2/builtins/support.h"
#include "flash/script/date_math.h"

namespace vantrel::flash::avm2 {

namespace {

using namespace script;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class DateObject : public Object {
 public:
  using Object::Object;
  double time = kNaN;
};

Object* AllocateDate(Machine& m, ClassObject*) { return m.heap.Make<DateObject>(ObjectKind::Date, nullptr, nullptr); }

DateObject* This(Machine& m, const Value& self, const char* method) {
  return Receiver<DateObject>(m, self, ObjectKind::Date, method);
}

// The time value of constructor-style arguments (year, month[, date, hours, minutes,
// seconds, ms]) read as local time or UTC; a year from 0 to 99 counts from 1900.
double TimeFromParts(Machine& m, const Value* args, int argc, bool utc) {
  double parts[7] = {kNaN, 0, 1, 0, 0, 0, 0};
  for (int i = 0; i < 7 && i < argc; ++i) parts[i] = m.ToNumber(args[i]);
  double year = parts[0];
  if (std::isfinite(year) && std::trunc(year) >= 0 && std::trunc(year) <= 99) year = 1900 + std::trunc(year);
  const double local = MakeDate(MakeDay(year, parts[1], parts[2]), MakeTime(parts[3], parts[4], parts[5], parts[6]));
  return TimeClip(utc ? local : UtcFromLocal(local));
}

Value DateConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  auto* date = static_cast<DateObject*>(self.object);
  if (argc == 0) {
    date->time = Now();
  } else if (argc == 1) {
    const Value v = m.ToPrimitive(args[0], false);
    date->time = v.IsString() ? ParseDate(m.ToString(v)) : TimeClip(m.ToNumber(v));
  } else {
    date->time = TimeFromParts(m, args, argc, false);
  }
  return Value();
}

// Date(...) called as a function: the time now as text, whatever the arguments.
Value DateCall(Machine& m, const Value&, const Value*, int) { return m.StrValue(FormatDate(Now(), DateFormat::Full)); }

Value Utc(Machine& m, const Value&, const Value* args, int argc) { return Value::Number(TimeFromParts(m, args, argc, true)); }

Value Parse(Machine& m, const Value&, const Value* args, int argc) {
  return Value::Number(ParseDate(StrArg(m, args, argc, 0)));
}

// The parts, by tag: the low bits name the part, kUtc reads it in UTC.
enum Part { kFullYear, kMonth, kDate, kHours, kMinutes, kSeconds, kMilliseconds, kDay };
constexpr int kUtc = 16;

Value GetPart(Machine& m, const Value& self, const Value*, int) {
  const int tag = NativeTag(m);
  const double time = This(m, self, "Date")->time;
  if (std::isnan(time)) return Value::Number(kNaN);
  const double t = tag & kUtc ? time : LocalTime(time);
  switch (tag & ~kUtc) {
    case kFullYear: return Value::Number(YearFromTime(t));
    case kMonth: return Value::Number(MonthFromTime(t));
    case kDate: return Value::Number(DateFromTime(t));
    case kHours: return Value::Number(HourFromTime(t));
    case kMinutes: return Value::Number(MinFromTime(t));
    case kSeconds: return Value::Number(SecFromTime(t));
    case kMilliseconds: return Value::Number(MsFromTime(t));
    default: return Value::Number(WeekDay(t));
  }
}

// Setters take the parts from the one they name on, in order, and keep the others; a
// part not given keeps its value, and no argument at all makes the date invalid.
double SetParts(Machine& m, DateObject* date, int tag, const Value* args, int argc) {
  const bool utc = tag & kUtc;
  const int first = tag & ~kUtc;
  double t = utc ? date->time : LocalTime(date->time);
  if (std::isnan(date->time)) {
    if (first != kFullYear) return kNaN;
    t = 0;  // setFullYear of an invalid date starts from +0
  }
  double part[7] = {YearFromTime(t), MonthFromTime(t), DateFromTime(t), HourFromTime(t),
                    MinFromTime(t),  SecFromTime(t),   MsFromTime(t)};
  // How many parts each setter takes: year, month and date; month and date; hours,
  // minutes, seconds and milliseconds...
  static constexpr int kCount[] = {3, 2, 1, 4, 3, 2, 1};
  if (argc == 0) {
    part[first] = kNaN;
  } else {
    for (int i = 0; i < kCount[first] && i < argc; ++i) part[first + i] = m.ToNumber(args[i]);
  }
  const double value = MakeDate(MakeDay(part[0], part[1], part[2]), MakeTime(part[3], part[4], part[5], part[6]));
  return TimeClip(utc ? value : UtcFromLocal(value));
}

Value SetPart(Machine& m, const Value& self, const Value* args, int argc) {
  DateObject* date = This(m, self, "Date");
  date->time = SetParts(m, date, NativeTag(m), args, argc);
  return Value::Number(date->time);
}

Value GetTime(Machine& m, const Value& self, const Value*, int) { return Value::Number(This(m, self, "Date/getTime()")->time); }

Value SetTime(Machine& m, const Value& self, const Value* args, int argc) {
  DateObject* date = This(m, self, "Date/setTime()");
  date->time = TimeClip(m.ToNumber(Arg(args, argc, 0)));
  if (std::isfinite(date->time)) date->time = std::trunc(date->time) + 0.0;
  return Value::Number(date->time);
}

Value GetTimezoneOffset(Machine& m, const Value& self, const Value*, int) {
  const double time = This(m, self, "Date/getTimezoneOffset()")->time;
  if (std::isnan(time)) return Value::Number(kNaN);
  return Value::Number(-LocalOffset(time) / 60000.0);
}

Value Text(Machine& m, const Value& self, const Value*, int) {
  const auto format = static_cast<DateFormat>(NativeTag(m));
  return m.StrValue(FormatDate(This(m, self, "Date")->time, format));
}

// The accessors: a setter takes its one part.
Value SetPartProperty(Machine& m, const Value& self, const Value* args, int argc) {
  DateObject* date = This(m, self, "Date");
  date->time = SetParts(m, date, NativeTag(m), args, std::min(argc, 1));
  return Value();
}
Value SetTimeProperty(Machine& m, const Value& self, const Value* args, int argc) {
  SetTime(m, self, args, argc);
  return Value();
}

constexpr int kFull = static_cast<int>(DateFormat::Full);
constexpr int kDateText = static_cast<int>(DateFormat::Date);
constexpr int kTimeText = static_cast<int>(DateFormat::Time);
constexpr int kLocale = static_cast<int>(DateFormat::Locale);
constexpr int kLocaleDate = static_cast<int>(DateFormat::LocaleDate);
constexpr int kLocaleTime = static_cast<int>(DateFormat::LocaleTime);
constexpr int kUtcText = static_cast<int>(DateFormat::Utc);

// The methods, as the class's own (AS3) and on the prototype, where the language's
// generic code (Date.prototype.getDay.call(...)) finds them; a setter's length is the
// number of parts it can set.
constexpr Member kMethods[] = {
    {"getFullYear", GetPart, nullptr, 0, kFullYear},
    {"getMonth", GetPart, nullptr, 0, kMonth},
    {"getDate", GetPart, nullptr, 0, kDate},
    {"getDay", GetPart, nullptr, 0, kDay},
    {"getHours", GetPart, nullptr, 0, kHours},
    {"getMinutes", GetPart, nullptr, 0, kMinutes},
    {"getSeconds", GetPart, nullptr, 0, kSeconds},
    {"getMilliseconds", GetPart, nullptr, 0, kMilliseconds},
    {"getUTCFullYear", GetPart, nullptr, 0, kFullYear | kUtc},
    {"getUTCMonth", GetPart, nullptr, 0, kMonth | kUtc},
    {"getUTCDate", GetPart, nullptr, 0, kDate | kUtc},
    {"getUTCDay", GetPart, nullptr, 0, kDay | kUtc},
    {"getUTCHours", GetPart, nullptr, 0, kHours | kUtc},
    {"getUTCMinutes", GetPart, nullptr, 0, kMinutes | kUtc},
    {"getUTCSeconds", GetPart, nullptr, 0, kSeconds | kUtc},
    {"getUTCMilliseconds", GetPart, nullptr, 0, kMilliseconds | kUtc},
    {"setFullYear", SetPart, nullptr, 0, kFullYear, 3},
    {"setMonth", SetPart, nullptr, 0, kMonth, 2},
    {"setDate", SetPart, nullptr, 0, kDate, 1},
    {"setHours", SetPart, nullptr, 0, kHours, 4},
    {"setMinutes", SetPart, nullptr, 0, kMinutes, 3},
    {"setSeconds", SetPart, nullptr, 0, kSeconds, 2},
    {"setMilliseconds", SetPart, nullptr, 0, kMilliseconds, 1},
    {"setUTCFullYear", SetPart, nullptr, 0, kFullYear | kUtc, 3},
    {"setUTCMonth", SetPart, nullptr, 0, kMonth | kUtc, 2},
    {"setUTCDate", SetPart, nullptr, 0, kDate | kUtc, 1},
    {"setUTCHours", SetPart, nullptr, 0, kHours | kUtc, 4},
    {"setUTCMinutes", SetPart, nullptr, 0, kMinutes | kUtc, 3},
    {"setUTCSeconds", SetPart, nullptr, 0, kSeconds | kUtc, 2},
    {"setUTCMilliseconds", SetPart, nullptr, 0, kMilliseconds | kUtc, 1},
    {"getTime", GetTime, nullptr, 0, 0},
    {"setTime", SetTime, nullptr, 0, 0, 1},
    {"valueOf", GetTime, nullptr, 0, 0},
    {"getTimezoneOffset", GetTimezoneOffset, nullptr, 0, 0},
    {"toString", Text, nullptr, 0, kFull},
    {"toDateString", Text, nullptr, 0, kDateText},
    {"toTimeString", Text, nullptr, 0, kTimeText},
    {"toLocaleString", Text, nullptr, 0, kLocale},
    {"toLocaleDateString", Text, nullptr, 0, kLocaleDate},
    {"toLocaleTimeString", Text, nullptr, 0, kLocaleTime},
    {"toUTCString", Text, nullptr, 0, kUtcText},
};

constexpr Member kProperties[] = {
    {"fullYear", GetPart, SetPartProperty, kAccessor, kFullYear},
    {"month", GetPart, SetPartProperty, kAccessor, kMonth},
    {"date", GetPart, SetPartProperty, kAccessor, kDate},
    {"day", GetPart, nullptr, kAccessor, kDay},
    {"hours", GetPart, SetPartProperty, kAccessor, kHours},
    {"minutes", GetPart, SetPartProperty, kAccessor, kMinutes},
    {"seconds", GetPart, SetPartProperty, kAccessor, kSeconds},
    {"milliseconds", GetPart, SetPartProperty, kAccessor, kMilliseconds},
    {"fullYearUTC", GetPart, SetPartProperty, kAccessor, kFullYear | kUtc},
    {"monthUTC", GetPart, SetPartProperty, kAccessor, kMonth | kUtc},
    {"dateUTC", GetPart, SetPartProperty, kAccessor, kDate | kUtc},
    {"dayUTC", GetPart, nullptr, kAccessor, kDay | kUtc},
    {"hoursUTC", GetPart, SetPartProperty, kAccessor, kHours | kUtc},
    {"minutesUTC", GetPart, SetPartProperty, kAccessor, kMinutes | kUtc},
    {"secondsUTC", GetPart, SetPartProperty, kAccessor, kSeconds | kUtc},
    {"millisecondsUTC", GetPart, SetPartProperty, kAccessor, kMilliseconds | kUtc},
    {"time", GetTime, SetTimeProperty, kAccessor, 0},
    {"timezoneOffset", GetTimezoneOffset, nullptr, kAccessor, 0},
    {"UTC", Utc, nullptr, kStatic, 0, 7},
    {"parse", Parse, nullptr, kStatic, 0, 1},
};

}  // namespace

void InstallDate(Machine& m) {
  ClassObject* c = m.DefineClass("", "Date", m.objectClass, DateConstruct, false);
  c->allocate = AllocateDate;
  c->callHandler = m.NativeMethod("Date", DateCall);
  static const Constant kConstants[] = {{"length", 7}};
  Install(m, c, kConstants);
  Install(m, c, kMethods);
  Install(m, c, kProperties);
  // The methods again on the prototype, where the language's generic code finds them.
  for (const Member& method : kMethods) m.AddMethod(c->prototype, method.name, method.native, method.tag, method.length);
  // The prototype is itself an invalid date with the class's methods: Date.prototype.getTime
  // reads the method bound to it (a function taken from there and stored on another object
  // still works on the prototype's own time), and assigning over one of them fails as it
  // does on any date.
  Object* plain = c->prototype;
  auto* proto = m.heap.Make<DateObject>(ObjectKind::Date, c->instanceTraits.get(), plain->proto);
  proto->cls = c;
  proto->dynamic = true;
  proto->properties = plain->properties;
  proto->propertyIndex = plain->propertyIndex;
  c->prototype = proto;
  c->SetOwn("prototype", Value::Obj(proto), false);
}

}  // namespace vantrel::flash::avm2
