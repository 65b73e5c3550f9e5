#include "player/system_shell.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "core/paths.h"

extern char** environ;

namespace vantrel::player {

namespace fs = std::filesystem;

namespace {

// Copies from to a temporary name beside to, then renames it over to, so a failed copy
// leaves no half-written target.
bool CopyAtomically(const std::string& from, const std::string& to) {
  const std::string temp = to + ".vantrel-copy";
  std::error_code error;
  if (!fs::copy_file(from, temp, fs::copy_options::overwrite_existing, error)) {
    fs::remove(temp, error);
    return false;
  }
  if (std::rename(temp.c_str(), to.c_str()) != 0) {
    fs::remove(temp, error);
    return false;
  }
  return true;
}

// Percent-escapes a path for the Path= line of a trash record (RFC 2396 style, "/" kept).
std::string EscapeTrashPath(const std::string& path) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : path) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
                       c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string DeletionDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

}  // namespace

std::string HomeTrashFolder() {
  return core::AddSlash(core::AddSlash(core::SpecialFolder(core::kFolderAppData)) + "Trash");
}

bool SystemShell::Open(const std::string& target) {
  if (target.empty()) return false;
  // A short-lived shell starts the opener in the background and exits, so the opener is
  // not our child and never lingers as a zombie (and no fork happens in this process).
  const char* const argv[] = {"sh", "-c", "xdg-open \"$1\" >/dev/null 2>&1 &", "sh", target.c_str(), nullptr};
  pid_t shell = 0;
  if (::posix_spawnp(&shell, "sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return false;
  int status = 0;
  while (::waitpid(shell, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool SystemShell::MoveFile(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) return false;
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  if (errno != EXDEV) return false;
  if (!CopyAtomically(from, to)) return false;
  std::error_code error;
  fs::remove(from, error);
  return true;
}

bool SystemShell::CopyFile(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) return false;
  return CopyAtomically(from, to);
}

bool SystemShell::MoveToTrash(const std::string& path) {
  std::error_code error;
  const fs::path source = fs::absolute(path, error);
  if (error || !fs::exists(fs::symlink_status(source, error))) return false;
  const std::string trash = HomeTrashFolder();
  fs::create_directories(trash + "files", error);
  fs::create_directories(trash + "info", error);

  // The record is created first and exclusively: it reserves the name in the trash.
  const std::string base = source.filename().string();
  for (int attempt = 1; attempt <= 1000; ++attempt) {
    const std::string name = attempt == 1 ? base : base + "." + std::to_string(attempt);
    const std::string infoPath = trash + "info/" + name + ".trashinfo";
    const int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    const std::string record =
        "[Trash Info]\nPath=" + EscapeTrashPath(source.string()) + "\nDeletionDate=" + DeletionDate() + "\n";
    const bool written = ::write(fd, record.data(), record.size()) == static_cast<ssize_t>(record.size());
    ::close(fd);
    const std::string target = trash + "files/" + name;
    if (written && !fs::exists(fs::symlink_status(target, error))) {
      if (std::rename(source.c_str(), target.c_str()) == 0) return true;
      if (errno == EXDEV && fs::is_regular_file(source, error) && CopyAtomically(source.string(), target)) {
        fs::remove(source, error);
        return true;
      }
    }
    ::unlink(infoPath.c_str());
    return false;
  }
  return false;
}

}  // namespace vantrel::player
