// The calendar both script machines' Date classes share: a time value is milliseconds
// since 1970 UTC (NaN for an invalid date), split into parts and made from them by the
// rules of ECMA-262, in UTC or in local time (the system's zone as the player applies
// it), printed and read as the player prints and reads dates.
#pragma once

#include <string>

namespace vantrel::flash::script {

inline constexpr double kMsPerDay = 86400000.0;

double Day(double t);
double TimeWithinDay(double t);
double DaysInYear(double year);
double DayFromYear(double year);
double YearFromTime(double t);
double MonthFromTime(double t);  // 0..11
double DateFromTime(double t);   // 1..31
double WeekDay(double t);        // 0 = Sunday
double HourFromTime(double t);
double MinFromTime(double t);
double SecFromTime(double t);
double MsFromTime(double t);

double MakeTime(double hour, double min, double sec, double ms);
double MakeDay(double year, double month, double date);
double MakeDate(double day, double time);
// NaN outside +-8.64e15 ms.
double TimeClip(double t);

// Now, in milliseconds since 1970 UTC.
double Now();
// Offset of local time from UTC at UTC time t, in milliseconds.
double LocalOffset(double t);
double LocalTime(double t);
double UtcFromLocal(double local);

// The player's texts of a time value; "Invalid Date" for NaN.
enum class DateFormat {
  Full,        // "Sat Feb 3 04:05:06 GMT+0545 2001" (toString)
  Date,        // "Sat Feb 3 2001"
  Time,        // "04:05:06 GMT+0545"
  Locale,      // "Sat Feb 3 2001 04:05:06 AM"
  LocaleDate,  // "Sat Feb 3 2001"
  LocaleTime,  // "04:05:06 AM"
  Utc,         // "Sat Feb 3 22:20:06 2001 UTC"
};
std::string FormatDate(double t, DateFormat format);

// Reads a date as the player's Date.parse does: month names and day names (by their
// first three letters), month/day/year, hours:minutes[:seconds], AM and PM, a year,
// and a zone as "GMT" or "UTC" with an optional +hhmm or -hhmm (local time without
// one). NaN when the text is not a date.
double ParseDate(const std::string& text);

}  // namespace vantrel::flash::script
