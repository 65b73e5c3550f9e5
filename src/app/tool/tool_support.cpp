#include "app/tool/tool_support.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <initializer_list>

#include "app/tool/verbs.h"
#include "media/identify.h"

namespace vantrel::tool {

int UsageError(std::string_view verb, std::string_view message) {
  std::fprintf(stderr, "vantrel-tool %.*s: %.*s\n", static_cast<int>(verb.size()), verb.data(),
               static_cast<int>(message.size()), message.data());
  for (const Verb& v : Verbs())
    if (verb == v.name) std::fprintf(stderr, "usage: vantrel-tool %s\n", v.synopsis);
  return kExitUsage;
}

void PrintError(std::string_view message) {
  std::fprintf(stderr, "vantrel-tool: %.*s\n", static_cast<int>(message.size()), message.data());
}

bool IsFlag(std::string_view arg, std::initializer_list<std::string_view> names) {
  for (std::string_view name : names)
    if (arg == name) return true;
  return false;
}

bool ParseCount(std::string_view text, long& out) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && out >= 0;
}

bool ParseSeconds(std::string_view text, double& out) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && out > 0 && out <= 86400;
}

std::string UnreadableReason(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "cannot read " + path + ": " + std::strerror(errno);
  struct stat info {};
  const bool folder = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
  ::close(fd);
  return folder ? "cannot read " + path + ": it is a folder" : std::string();
}

std::string MovieFileProblem(const std::string& path) {
  if (const std::string check = media::CheckMediaFile(path); !check.empty()) return path + ": " + check;
  return UnreadableReason(path);
}

}  // namespace vantrel::tool
