#include "app/tool/tool_support.h"

#include <dirent.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <initializer_list>

#include "app/tool/verbs.h"
#include "core/text.h"
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

int TakeJobs(const std::vector<std::string>& args, std::size_t& i, int& jobs) {
  const std::string& arg = args[i];
  std::string value;
  if (arg == "-j" || arg == "--jobs") {
    if (i + 1 >= args.size()) return -1;
    value = args[++i];
  } else if (arg.rfind("--jobs=", 0) == 0) {
    value = arg.substr(7);
  } else if (arg.size() > 2 && arg.rfind("-j", 0) == 0) {
    value = arg.substr(2);
  } else {
    return 0;
  }
  long count = 0;
  if (!ParseCount(value, count) || count < 1 || count > 256) return -1;
  jobs = static_cast<int>(count);
  return 1;
}

ProgressLine::ProgressLine() : enabled_(::isatty(STDERR_FILENO) == 1) {
  winsize size{};
  if (enabled_ && ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 10) width_ = size.ws_col - 1u;
}

ProgressLine::~ProgressLine() { Clear(); }

void ProgressLine::Show(std::string_view text, bool force) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  std::string line(text.substr(0, width_));
  std::fprintf(stderr, "\r%s\033[K", line.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressLine::Clear() {
  if (!drawn_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  drawn_ = false;
}

FolderWalk::FolderWalk(const std::string& folder, bool recursive, std::initializer_list<std::string_view> extensions)
    : recursive_(recursive) {
  for (std::string_view extension : extensions) extensions_.push_back(core::LowerAscii(std::string(extension)));
  Enter(folder);
}

void FolderWalk::Enter(const std::string& folderIn) {
  Level level;
  level.folder = folderIn.empty() || folderIn.back() == '/' ? folderIn : folderIn + "/";
  DIR* dir = ::opendir(level.folder.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool folder = entry->d_type == DT_DIR;
    bool file = entry->d_type == DT_REG;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      // A link counts as the file it names; links to folders are not followed.
      struct stat info {};
      if (::stat((level.folder + name).c_str(), &info) != 0) continue;
      file = S_ISREG(info.st_mode);
      folder = entry->d_type == DT_UNKNOWN && S_ISDIR(info.st_mode);
    }
    if (folder && recursive_) {
      level.entries.emplace_back(name, true);
    } else if (file) {
      const auto dot = name.rfind('.');
      if (dot == std::string::npos) continue;
      const std::string extension = core::LowerAscii(name.substr(dot));
      if (std::find(extensions_.begin(), extensions_.end(), extension) != extensions_.end())
        level.entries.emplace_back(name, false);
    }
  }
  ::closedir(dir);
  // A folder sorts as its name and "/", so the walk gives the order of whole sorted paths.
  std::sort(level.entries.begin(), level.entries.end(), [](const auto& a, const auto& b) {
    return (a.second ? a.first + "/" : a.first) < (b.second ? b.first + "/" : b.first);
  });
  stack_.push_back(std::move(level));
}

bool FolderWalk::Next(std::string& path) {
  while (!stack_.empty()) {
    Level& level = stack_.back();
    if (level.next >= level.entries.size()) {
      stack_.pop_back();
      continue;
    }
    const auto& [name, folder] = level.entries[level.next++];
    const std::string full = level.folder + name;
    if (folder) {
      Enter(full);
      continue;
    }
    path = full;
    return true;
  }
  return false;
}

std::string RelativeTo(const std::string& folder, const std::string& file) {
  const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  if (!base.empty() && file.rfind(base, 0) == 0) return file.substr(base.size());
  const auto slash = file.find_last_of('/');
  return slash == std::string::npos ? file : file.substr(slash + 1);
}

}  // namespace vantrel::tool
