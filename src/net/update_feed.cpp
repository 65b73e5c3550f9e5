#include "net/update_feed.h"

#include <pugixml.hpp>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/text.h"

namespace vantrel::net {

namespace {

// Channels may hold channels; a hostile feed must not take the stack with it.
constexpr std::size_t kMaxWalkDepth = 64;

std::string Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

std::string NodeText(const pugi::xml_node& item, const char* path, const std::string& defaultText) {
  try {
    const pugi::xpath_node found = item.select_node(path);
    if (found.attribute()) return found.attribute().value();
    if (found.node()) return found.node().text().get();
  } catch (const pugi::xpath_exception&) {
  }
  return defaultText;
}

// The build text as a 32-bit number, rounded as the program rounds; false when the
// text is no number or does not fit.
bool ReadBuild(const std::string& text, std::int32_t& build) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return false;
  char* end = nullptr;
  const double value = std::strtod(trimmed.c_str(), &end);
  if (end == trimmed.c_str() || *end != '\0' || !std::isfinite(value)) return false;
  const double rounded = std::nearbyint(value);
  if (rounded < -2147483648.0 || rounded > 2147483647.0) return false;
  build = static_cast<std::int32_t>(rounded);
  return true;
}

std::int64_t ReadLength(const std::string& text) {
  std::int64_t length = 0;
  const std::string trimmed = Trim(text);
  const auto result = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), length);
  return result.ec == std::errc() && length > 0 ? length : 0;
}

void ReadItem(const pugi::xml_node& item, std::int32_t knownBuild, std::string_view siteBase,
              std::string_view productTitle, FeedReport& report) {
  if (!core::EqualsNoCase(NodeText(item, "update/@app", ""), productTitle)) return;
  std::int32_t build = 0;
  if (!ReadBuild(NodeText(item, "update/@build", std::to_string(report.bestBuild)), build)) return;
  if (build <= knownBuild) return;

  report.updateFound = true;
  report.details += "\r\n\t \u2022 " + NodeText(item, "title", "") + " \u2022 \r\n";
  report.details += "\t" + NodeText(item, "pubDate", "") + "\r\n";
  report.details += NodeText(item, "description", "") + "\r\n";
  if (build > report.bestBuild) {
    report.downloadAddress = NodeText(item, "enclosure/@url", std::string(siteBase) + "get");
    report.length = ReadLength(NodeText(item, "enclosure/@length", "0"));
    report.bestBuild = build;
  }
}

}  // namespace

FeedReport ReadUpdateFeed(std::string_view feedText, std::int32_t knownBuild, std::string_view siteBase,
                          std::string_view productTitle) {
  FeedReport report;
  report.bestBuild = knownBuild;
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_buffer(feedText.data(), feedText.size());
  if (!parsed) {
    report.reason = parsed.description();
    report.reason += " (at byte " + std::to_string(parsed.offset) + ")";
    return report;
  }
  report.parsed = true;

  // Walked in document order: a channel opens its children, an item is a candidate,
  // anything else is passed over.
  struct Step {
    pugi::xml_node node;
    std::size_t depth;
  };
  std::vector<Step> pending;
  if (const pugi::xml_node channel = document.select_node("rss/channel").node()) pending.push_back({channel, 0});
  while (!pending.empty()) {
    const Step step = pending.back();
    pending.pop_back();
    const std::string name = core::UpperAscii(step.node.name());
    if (name == "CHANNEL") {
      if (step.depth >= kMaxWalkDepth) continue;
      std::vector<Step> children;
      for (const pugi::xml_node child : step.node.children()) children.push_back({child, step.depth + 1});
      pending.insert(pending.end(), children.rbegin(), children.rend());
    } else if (name == "ITEM") {
      ReadItem(step.node, knownBuild, siteBase, productTitle, report);
    }
  }
  return report;
}

std::string DateText(std::chrono::sys_days day) {
  const std::chrono::year_month_day date(day);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

bool UpdateCheckDue(bool automatic, std::chrono::sys_days today, std::string_view lastCheck) {
  if (!automatic) return true;
  int year = 0;
  unsigned month = 0;
  unsigned day = 0;
  const std::string text(Trim(lastCheck));
  if (std::sscanf(text.c_str(), "%4d-%2u-%2u", &year, &month, &day) != 3) return true;
  const std::chrono::year_month_day last{std::chrono::year(year), std::chrono::month(month), std::chrono::day(day)};
  if (!last.ok()) return true;
  const auto days = (today - std::chrono::sys_days(last)).count();
  return std::llabs(days) >= 7;
}

}  // namespace vantrel::net
