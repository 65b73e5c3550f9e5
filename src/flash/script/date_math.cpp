#include "flash/script/date_math.h"

#include <time.h>

#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace vantrel::flash::script {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// First day of each month in a common year.
constexpr int kMonthStart[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

double MonthStart(int month, bool leap) { return kMonthStart[month] + (leap && month >= 2 ? 1 : 0); }
bool InLeapYear(double t) { return DaysInYear(YearFromTime(t)) == 366; }
double DayWithinYear(double t) { return Day(t) - DayFromYear(YearFromTime(t)); }

}  // namespace


double Day(double t) { return std::floor(t / kMsPerDay); }
double TimeWithinDay(double t) {
  const double r = std::fmod(t, kMsPerDay);
  return r < 0 ? r + kMsPerDay : r;
}
double DaysInYear(double y) {
  if (std::fmod(y, 4) != 0) return 365;
  if (std::fmod(y, 100) != 0) return 366;
  if (std::fmod(y, 400) != 0) return 365;
  return 366;
}
double DayFromYear(double y) {
  return 365 * (y - 1970) + std::floor((y - 1969) / 4) - std::floor((y - 1901) / 100) + std::floor((y - 1601) / 400);
}
double TimeFromYear(double y) { return kMsPerDay * DayFromYear(y); }
double YearFromTime(double t) {
  double y = std::floor(t / (kMsPerDay * 365.2425)) + 1970;
  while (TimeFromYear(y) > t) --y;
  while (TimeFromYear(y + 1) <= t) ++y;
  return y;
}

double MonthFromTime(double t) {
  const double d = DayWithinYear(t);
  const bool leap = InLeapYear(t);
  for (int m = 0; m < 12; ++m) {
    if (d < MonthStart(m + 1, leap)) return m;
  }
  return 11;
}
double DateFromTime(double t) {
  const auto m = static_cast<int>(MonthFromTime(t));
  return DayWithinYear(t) - MonthStart(m, InLeapYear(t)) + 1;
}
double WeekDay(double t) {
  const double r = std::fmod(Day(t) + 4, 7);
  return r < 0 ? r + 7 : r;
}
double HourFromTime(double t) { return std::floor(TimeWithinDay(t) / 3600000.0); }
double MinFromTime(double t) { return std::fmod(std::floor(TimeWithinDay(t) / 60000.0), 60); }
double SecFromTime(double t) { return std::fmod(std::floor(TimeWithinDay(t) / 1000.0), 60); }
double MsFromTime(double t) { return std::floor(std::fmod(TimeWithinDay(t), 1000.0)); }

double MakeTime(double hour, double min, double sec, double ms) {
  if (!std::isfinite(hour) || !std::isfinite(min) || !std::isfinite(sec) || !std::isfinite(ms)) return kNaN;
  return std::trunc(hour) * 3600000.0 + std::trunc(min) * 60000.0 + std::trunc(sec) * 1000.0 + std::trunc(ms);
}
double MakeDay(double year, double month, double date) {
  if (!std::isfinite(year) || !std::isfinite(month) || !std::isfinite(date)) return kNaN;
  year = std::trunc(year);
  month = std::trunc(month);
  date = std::trunc(date);
  const double y = year + std::floor(month / 12);
  double m = std::fmod(month, 12);
  if (m < 0) m += 12;
  if (std::fabs(y) > 400000) return kNaN;
  return DayFromYear(y) + MonthStart(static_cast<int>(m), DaysInYear(y) == 366) + date - 1;
}
double MakeDate(double day, double time) {
  if (!std::isfinite(day) || !std::isfinite(time)) return kNaN;
  return day * kMsPerDay + time;
}
double TimeClip(double t) {
  if (!std::isfinite(t) || std::fabs(t) > 8.64e15) return kNaN;
  return t;
}


// Offset of local time from UTC at UTC time t, in milliseconds. The player applies
// today's rules of the system's zone to every date (with summer time by the date's
// day of the year), not the zone's history: the day is moved into the current year
// before asking the system.
double LocalOffset(double t) {
  if (!std::isfinite(t)) return 0;
  static const double currentYear = YearFromTime(Now());
  const double shift = (DayFromYear(currentYear) - DayFromYear(YearFromTime(t))) * kMsPerDay;
  const auto when = static_cast<time_t>(std::floor((t + shift) / 1000.0));
  struct tm local {};
  if (!localtime_r(&when, &local)) return 0;
  return static_cast<double>(local.tm_gmtoff) * 1000.0;
}
double LocalTime(double t) { return t + LocalOffset(t); }
double UtcFromLocal(double local) {
  if (!std::isfinite(local)) return kNaN;
  const double guess = local - LocalOffset(local);
  return local - LocalOffset(guess);
}

double Now() {
  using namespace std::chrono;
  return static_cast<double>(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}


namespace {

const char* const kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// "GMT+0545" for an offset in milliseconds.
std::string ZoneText(double offset) {
  const auto minutes = static_cast<long>(std::lround(offset / 60000.0));
  const long magnitude = minutes < 0 ? -minutes : minutes;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "GMT%c%02ld%02ld", minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
  return buffer;
}

std::string DayText(double t) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s %s %d %.0f", kDayNames[static_cast<int>(WeekDay(t))],
                kMonthNames[static_cast<int>(MonthFromTime(t))], static_cast<int>(DateFromTime(t)), YearFromTime(t));
  return buffer;
}

std::string ClockText(double t, bool twelveHours) {
  char buffer[32];
  int hour = static_cast<int>(HourFromTime(t));
  const char* half = "";
  if (twelveHours) {
    half = hour < 12 ? " AM" : " PM";
    hour %= 12;
    if (hour == 0) hour = 12;
  }
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d%s", hour, static_cast<int>(MinFromTime(t)),
                static_cast<int>(SecFromTime(t)), half);
  return buffer;
}

}  // namespace

std::string FormatDate(double t, DateFormat format) {
  if (std::isnan(t)) return "Invalid Date";
  const double offset = LocalOffset(t);
  const double local = t + offset;
  char buffer[96];
  switch (format) {
    case DateFormat::Full:
      std::snprintf(buffer, sizeof buffer, "%s %s %d %s %s %.0f", kDayNames[static_cast<int>(WeekDay(local))],
                    kMonthNames[static_cast<int>(MonthFromTime(local))], static_cast<int>(DateFromTime(local)),
                    ClockText(local, false).c_str(), ZoneText(offset).c_str(), YearFromTime(local));
      return buffer;
    case DateFormat::Date:
    case DateFormat::LocaleDate: return DayText(local);
    case DateFormat::Time: return ClockText(local, false) + " " + ZoneText(offset);
    case DateFormat::Locale: return DayText(local) + " " + ClockText(local, true);
    case DateFormat::LocaleTime: return ClockText(local, true);
    case DateFormat::Utc:
      std::snprintf(buffer, sizeof buffer, "%s %s %d %s %.0f UTC", kDayNames[static_cast<int>(WeekDay(t))],
                    kMonthNames[static_cast<int>(MonthFromTime(t))], static_cast<int>(DateFromTime(t)),
                    ClockText(t, false).c_str(), YearFromTime(t));
      return buffer;
  }
  return "Invalid Date";
}

double ParseDate(const std::string& text) {
  double year = kNaN, month = kNaN, date = kNaN;
  double hour = 0, minute = 0, second = 0;
  bool haveTime = false, haveZone = false;
  int half = 0;  // 1 AM, 2 PM
  double zone = 0;  // minutes east of UTC
  const std::size_t n = text.size();
  std::size_t i = 0;
  // A run of digits at i, as a number; count gets how many.
  const auto number = [&](std::size_t& at, int& count) {
    double value = 0;
    count = 0;
    while (at < n && std::isdigit(static_cast<unsigned char>(text[at]))) {
      value = value * 10 + (text[at++] - '0');
      ++count;
    }
    return value;
  };
  std::vector<double> loose;  // numbers that are neither time nor slashed date
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::isspace(c) || c == ',') {
      ++i;
    } else if (std::isalpha(c)) {
      std::string word;
      while (i < n && std::isalpha(static_cast<unsigned char>(text[i])))
        word += static_cast<char>(std::tolower(static_cast<unsigned char>(text[i++])));
      if (word == "am" || word == "pm") {
        if (half != 0) return kNaN;
        half = word == "am" ? 1 : 2;
      } else if (word == "gmt" || word == "utc" || word == "ut" || word == "z") {
        haveZone = true;
      } else if (word.size() >= 3) {
        // By the first three letters ("Sep", "September", "sept").
        const auto sameStart = [&](const char* name) {
          return std::tolower(static_cast<unsigned char>(name[0])) == word[0] && name[1] == word[1] && name[2] == word[2];
        };
        int found = -1;
        for (int m = 0; m < 12; ++m)
          if (sameStart(kMonthNames[m])) found = m;
        bool day = false;
        for (const char* name : kDayNames) day = day || sameStart(name);
        if (found >= 0) {
          if (!std::isnan(month)) return kNaN;
          month = found;
        } else if (!day) {
          return kNaN;
        }
      } else {
        return kNaN;
      }
    } else if ((c == '+' || c == '-') && haveZone && i + 1 < n && std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
      ++i;
      int count = 0;
      double value = number(i, count);
      if (i < n && text[i] == ':') {  // +hh:mm
        ++i;
        int more = 0;
        value = value * 100 + number(i, more);
      } else if (count <= 2) {
        value *= 100;  // +hh
      }
      const double minutes = std::floor(value / 100) * 60 + std::fmod(value, 100);
      zone = c == '-' ? -minutes : minutes;
    } else if (c == '-' && i + 1 < n && std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
      // A negative year.
      ++i;
      int count = 0;
      loose.push_back(-number(i, count));
    } else if (std::isdigit(c)) {
      int count = 0;
      const double value = number(i, count);
      if (i < n && text[i] == ':') {
        if (haveTime) return kNaN;
        haveTime = true;
        hour = value;
        ++i;
        minute = number(i, count);
        if (count == 0) return kNaN;
        if (i < n && text[i] == ':') {
          ++i;
          second = number(i, count);
          if (count == 0) return kNaN;
        }
      } else if (i < n && text[i] == '/') {
        if (!std::isnan(month)) return kNaN;
        month = value - 1;
        ++i;
        date = number(i, count);
        if (count == 0) return kNaN;
        if (i < n && text[i] == '/') {
          ++i;
          year = number(i, count);
          if (count == 0) return kNaN;
        }
      } else {
        loose.push_back(value);
      }
    } else {
      return kNaN;
    }
  }
  // Loose numbers: the day of the month first (a small one), then the year.
  for (const double value : loose) {
    if (std::isnan(date) && value >= 1 && value <= 31 && !std::isnan(month)) {
      date = value;
    } else if (std::isnan(year)) {
      year = value;
    } else if (std::isnan(date) && value >= 1 && value <= 31) {
      date = value;
    } else {
      return kNaN;
    }
  }
  if (std::isnan(year) || std::isnan(month)) return kNaN;
  if (std::isnan(date)) date = 1;
  if (year >= 0 && year < 100) year += 1900;
  if (half != 0) {
    if (hour > 12) return kNaN;
    if (hour == 12) hour = 0;
    if (half == 2) hour += 12;
  }
  if (hour > 24 || minute > 59 || second > 59) return kNaN;
  const double local = MakeDate(MakeDay(year, month, date), MakeTime(hour, minute, second, 0));
  if (haveZone) return TimeClip(local - zone * 60000.0);
  return TimeClip(UtcFromLocal(local));
}

}  // namespace vantrel::flash::script
