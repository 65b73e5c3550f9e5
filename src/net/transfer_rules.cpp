#include "net/transfer_rules.h"

#include "core/text.h"

namespace vantrel::net {

namespace {

constexpr std::size_t kMaxCacheNameLength = 160;

bool SafeNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
         c == '_';
}

}  // namespace

bool DownloadGoEnabled(std::string_view text) {
  return text.size() > 9 && core::EqualsNoCase(text.substr(0, 7), "http://");
}

std::string DownloadStatusLine(int code, std::string_view text) {
  std::string prefix;
  switch (code) {
    case kFindingResource: prefix = "Finding Resource... :: "; break;
    case kConnecting: prefix = "Connecting... :: "; break;
    case kRedirecting: prefix = "Redirecting... :: "; break;
    case kBeginDownload:
    case kDownloading: prefix = "Downloading... :: "; break;
    case kSendingRequest: prefix = "Sending Request... :: "; break;
    default: prefix = std::to_string(code) + " :: "; break;
  }
  return prefix + std::string(text);
}

std::string CacheFileNameFor(std::string_view address) {
  std::string_view rest = address;
  if (const auto scheme = rest.find("://"); scheme != std::string_view::npos) rest.remove_prefix(scheme + 3);
  rest = rest.substr(0, rest.find_first_of("?#"));
  // Credentials never reach a file name.
  if (const auto at = rest.find('@'); at != std::string_view::npos && at < rest.find('/')) rest.remove_prefix(at + 1);

  std::string name;
  for (const char c : rest) {
    const char safe = SafeNameCharacter(c) ? c : '_';
    // Runs of separators fold into one.
    if (safe == '_' && !name.empty() && name.back() == '_') continue;
    name += safe;
  }
  while (!name.empty() && (name.back() == '_' || name.back() == '.')) name.pop_back();
  while (!name.empty() && name.front() == '.') name.erase(0, 1);
  if (name.empty()) name = "download";
  if (name.size() > kMaxCacheNameLength) {
    // Keep the end: the extension tells what the file is.
    name = name.substr(name.size() - kMaxCacheNameLength);
    while (!name.empty() && name.front() == '.') name.erase(0, 1);
  }
  return name;
}

std::string CheckAccess(const AccessPolicy& policy, std::string_view scheme, std::string_view localPath) {
  if (scheme == "http" || scheme == "https") {
    if (!policy.movieIsLocal) return {};
    if (!policy.useNetwork) return "A movie opened from a file that reads local files may not use the network";
    if (!policy.localMayUseNetwork) return "A movie opened from a file may not use the network";
    return {};
  }
  if (scheme == "file") {
    if (!policy.movieIsLocal) return "A movie from the web may not read local files";
    if (policy.useNetwork) return "A movie opened from a file that uses the network may not read local files";
    if (localPath.empty()) return "File Not Found";
    // The folder ends with "/": "/m/games/" is no prefix of "/m/games2/x".
    if (policy.movieFolder.size() < 2 || policy.movieFolder.back() != '/' || !localPath.starts_with(policy.movieFolder))
      return "A movie may only read files beside it";
    return {};
  }
  return "Unsupported address";
}

bool BrowserMayOpen(std::string_view scheme) {
  return core::EqualsNoCase(scheme, "http") || core::EqualsNoCase(scheme, "https") ||
         core::EqualsNoCase(scheme, "mailto");
}

}  // namespace vantrel::net
