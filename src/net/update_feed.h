// The update feed and the rules of the update check, without windows or network: when
// an automatic check is due, and what a downloaded feed reports.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel::net {

// What one feed says against the known build.
struct FeedReport {
  bool parsed = false;         // false: reason holds the parser's text
  std::string reason;
  bool updateFound = false;    // some item for this program names a build above the known one
  std::string details;         // the lines for the details box, every newer item in feed order
  std::int32_t bestBuild = 0;  // the highest build seen (starts at the known build)
  std::string downloadAddress; // of the highest build; "" when none was found
  std::int64_t length = 0;     // its download size in bytes
};

// Reads the RSS text of the feed. Items count only when their "update/@app" names
// productTitle (any case) and their build is above knownBuild; an item without a build
// never counts. siteBase ("http://host/") gives the default download address.
FeedReport ReadUpdateFeed(std::string_view feedText, std::int32_t knownBuild, std::string_view siteBase,
                          std::string_view productTitle);

// The date as stored under "Update"/"Date": "YYYY-MM-DD".
std::string DateText(std::chrono::sys_days day);

// True when a check should run: always when asked by the user; automatically only when
// the last successful check (lastCheck, as stored) lies 7 or more days away from today,
// or was never made or cannot be read.
bool UpdateCheckDue(bool automatic, std::chrono::sys_days today, std::string_view lastCheck);

}  // namespace vantrel::net
