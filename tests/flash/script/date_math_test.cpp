// The calendar of both machines' Date: the player's texts of a time, and reading them
// back, in UTC and in a zone with a part-hour offset.
#include <gtest/gtest.h>
#include <time.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "flash/script/date_math.h"

namespace vantrel::flash::script {
namespace {

// Sets the process's zone while it lives.
class Zone {
 public:
  explicit Zone(const char* zone) {
    if (const char* old = std::getenv("TZ")) previous_ = old, hadOne_ = true;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~Zone() {
    if (hadOne_) ::setenv("TZ", previous_.c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::string previous_;
  bool hadOne_ = false;
};

constexpr double kFeb3_2001 = 981173106000;  // Sat Feb 3 2001 04:05:06 UTC

TEST(DateMath, PrintsEveryFormatAsThePlayerDoes) {
  const Zone utc("UTC");
  EXPECT_EQ(FormatDate(0, DateFormat::Full), "Thu Jan 1 00:00:00 GMT+0000 1970");
  EXPECT_EQ(FormatDate(kFeb3_2001, DateFormat::Date), "Sat Feb 3 2001");
  EXPECT_EQ(FormatDate(kFeb3_2001, DateFormat::Time), "04:05:06 GMT+0000");
  EXPECT_EQ(FormatDate(kFeb3_2001, DateFormat::Locale), "Sat Feb 3 2001 04:05:06 AM");
  EXPECT_EQ(FormatDate(kFeb3_2001 + 12 * 3600000.0, DateFormat::LocaleTime), "04:05:06 PM");
  EXPECT_EQ(FormatDate(0, DateFormat::LocaleTime), "12:00:00 AM");
  EXPECT_EQ(FormatDate(kFeb3_2001, DateFormat::Utc), "Sat Feb 3 04:05:06 2001 UTC");
  EXPECT_EQ(FormatDate(std::nan(""), DateFormat::Utc), "Invalid Date");
  // Before 1970 and before year 1000.
  EXPECT_EQ(FormatDate(-2208988800000, DateFormat::Full), "Mon Jan 1 00:00:00 GMT+0000 1900");
  EXPECT_EQ(FormatDate(MakeDate(MakeDay(999, 11, 31), 0), DateFormat::Date), "Tue Dec 31 999");
}

TEST(DateMath, ReadsBackWhatItPrintsInAnyZone) {
  for (const char* zone : {"UTC", "Asia/Kathmandu", "America/Los_Angeles"}) {
    const Zone here(zone);
    for (const double t : {0.0, kFeb3_2001, -2208988800000.0, 1.5e12}) {
      for (const DateFormat format : {DateFormat::Full, DateFormat::Locale, DateFormat::Utc}) {
        const std::string text = FormatDate(t, format);
        EXPECT_EQ(ParseDate(text), t) << zone << ": " << text;
      }
    }
  }
  const Zone kathmandu("Asia/Kathmandu");
  EXPECT_EQ(FormatDate(kFeb3_2001, DateFormat::Time), "09:50:06 GMT+0545");
}

TEST(DateMath, ReadsTheFormsScriptsWrite) {
  const Zone utc("UTC");
  const double jan2 = MakeDate(MakeDay(2000, 0, 2), 0);
  EXPECT_EQ(ParseDate("1/2/2000"), jan2);
  EXPECT_EQ(ParseDate("Jan 2 2000"), jan2);
  EXPECT_EQ(ParseDate("January 2, 2000 10:20:30 PM"), jan2 + MakeTime(22, 20, 30, 0));
  EXPECT_EQ(ParseDate("Sun, 02 Jan 2000 22:20:30 GMT+0100"), jan2 + MakeTime(21, 20, 30, 0));
  EXPECT_EQ(ParseDate("Sun Jan 2 22:20:30 GMT-0130 2000"), jan2 + MakeTime(23, 50, 30, 0));
  EXPECT_EQ(ParseDate("12:00:00 AM Jan 2 2000"), jan2);
  for (const char* junk : {"", "hello", "Jan", "2000", "1/2", "13:61 Jan 2 2000", "Jan 2 2000 Feb"})
    EXPECT_TRUE(std::isnan(ParseDate(junk))) << junk;
}

}  // namespace
}  // namespace vantrel::flash::script
