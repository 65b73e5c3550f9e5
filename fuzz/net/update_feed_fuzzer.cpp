// The update feed comes from the network: any bytes must give a report (or the
// parser's reason), never a crash or a hang, and the report must keep its promises.
// The same bytes also serve as a web address for the cache naming rule.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/transfer_rules.h"
#include "net/update_feed.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const vantrel::net::FeedReport report = vantrel::net::ReadUpdateFeed(text, 5, "http://host.test/", "Vantrel");
  if (report.bestBuild < 5) __builtin_trap();
  if (report.updateFound != (report.bestBuild > 5)) __builtin_trap();
  if (!report.parsed && report.updateFound) __builtin_trap();

  const std::string name = vantrel::net::CacheFileNameFor(text);
  if (name.empty() || name.find('/') != std::string::npos || name.front() == '.') __builtin_trap();
  return 0;
}
