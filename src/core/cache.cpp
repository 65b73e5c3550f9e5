#include "core/cache.h"

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <initializer_list>
#include <string_view>

#include "core/text.h"

namespace fs = std::filesystem;

namespace vantrel::core {

namespace {

bool HasExtension(const std::string& name, std::initializer_list<std::string_view> extensions) {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string_view extension = std::string_view(name).substr(dot);
  for (std::string_view wanted : extensions)
    if (EqualsNoCase(extension, wanted)) return true;
  return false;
}

constexpr std::string_view kTemporaryMark = ".vantrel-";

// The process id in a temporary file's name ("NAME.vantrel-PID-XXXXXX"), or 0 when the
// name is not one of ours.
long TemporaryOwner(std::string_view name) {
  const std::size_t mark = name.rfind(kTemporaryMark);
  if (mark == std::string_view::npos) return 0;
  std::string_view rest = name.substr(mark + kTemporaryMark.size());
  long pid = 0;
  std::size_t digits = 0;
  while (digits < rest.size() && digits < 10 && rest[digits] >= '0' && rest[digits] <= '9')
    pid = pid * 10 + (rest[digits++] - '0');
  if (digits == 0 || digits >= rest.size() || rest[digits] != '-' || rest.size() - digits - 1 < 6) return 0;
  return pid;
}

bool ProcessRuns(long pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

}  // namespace

unsigned CurrentUmask() {
  static const unsigned mask = [] {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("Umask:", 0) == 0) return static_cast<unsigned>(std::stoul(line.substr(6), nullptr, 8)) & 0777u;
    }
    // No /proc: read it the old way, once, before the tools start any worker.
    const mode_t old = ::umask(022);
    ::umask(old);
    return static_cast<unsigned>(old);
  }();
  return mask;
}

std::string TemporaryPatternFor(const std::string& target) {
  return target + std::string(kTemporaryMark) + std::to_string(::getpid()) + "-XXXXXX";
}

int RemoveStaleTemporaries(const std::string& folder) {
  if (folder.empty()) return 0;
  std::error_code ec;
  int deleted = 0;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const long pid = TemporaryOwner(it->path().filename().string());
    if (pid <= 0 || ProcessRuns(pid)) continue;
    std::error_code removeError;
    if (fs::remove(it->path(), removeError)) ++deleted;
  }
  return deleted;
}

int CleanCache(const std::string& cachePath, long mode) {
  if (mode < 1 || mode > 3 || cachePath.empty()) return 0;
  std::error_code ec;
  int deleted = 0;
  for (fs::directory_iterator it(cachePath, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec) && !it->is_symlink(ec)) continue;
    const std::string name = it->path().filename().string();
    const bool match = mode == 2 || (mode == 1 && HasExtension(name, {".swf", ".exe", ".tmp"})) ||
                       (mode == 3 && HasExtension(name, {".jpg"}));
    std::error_code removeError;
    if (match && fs::remove(it->path(), removeError)) ++deleted;
  }
  return deleted;
}

}  // namespace vantrel::core
