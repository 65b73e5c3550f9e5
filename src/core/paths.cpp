#include "core/paths.h"

#include "core/cache.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "core/cache.h"
#include "core/log.h"

namespace fs = std::filesystem;

namespace vantrel::core {

std::string AddSlash(std::string_view path) {
  std::string joined(path);
  joined += '/';
  std::string result;
  result.reserve(joined.size());
  for (char c : joined) {
    if (c == '/' && !result.empty() && result.back() == '/') continue;
    result += c;
  }
  return result;
}

std::string EnvText(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::string HomeFolder() {
  std::string home = EnvText("HOME");
  if (home.empty()) {
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) home = entry->pw_dir;
  }
  if (home.empty()) home = "/tmp";
  return AddSlash(home);
}

namespace {

// An XDG base folder: the variable when it holds an absolute path, else home & fallback.
std::string XdgFolder(const char* variable, const char* fallback) {
  std::string value = EnvText(variable);
  if (!value.empty() && value.front() == '/') return AddSlash(value);
  return AddSlash(HomeFolder() + fallback);
}

// The documents folder from user-dirs.dirs (what xdg-user-dir reads), else ~/Documents.
std::string DocumentsFolder() {
  const std::string config = XdgFolder("XDG_CONFIG_HOME", ".config");
  std::error_code ec;
  const std::string dirsFile = config + "user-dirs.dirs";
  if (fs::is_regular_file(dirsFile, ec)) {
    FILE* file = std::fopen(dirsFile.c_str(), "r");
    if (file) {
      char line[1024];
      std::string found;
      while (std::fgets(line, sizeof line, file)) {
        std::string_view text(line);
        constexpr std::string_view key = "XDG_DOCUMENTS_DIR=\"";
        if (text.substr(0, key.size()) != key) continue;
        text.remove_prefix(key.size());
        const auto end = text.find('"');
        if (end == std::string_view::npos) continue;
        std::string value(text.substr(0, end));
        if (value.rfind("$HOME", 0) == 0) value = HomeFolder() + value.substr(value.size() > 5 ? 6 : 5);
        if (!value.empty() && value.front() == '/') found = value;
      }
      std::fclose(file);
      if (!found.empty()) return AddSlash(found);
    }
  }
  return AddSlash(HomeFolder() + "Documents");
}

}  // namespace

std::string SpecialFolder(int id) {
  switch (id) {
    case kFolderAppData: return XdgFolder("XDG_DATA_HOME", ".local/share");
    case kFolderDocuments: return DocumentsFolder();
    default: return {};
  }
}

std::string TempFolder() { return XdgFolder("XDG_CACHE_HOME", ".cache"); }

void MakeFolder(const std::string& path) {
  std::error_code ec;
  fs::create_directory(path, ec);
}

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  const auto status = fs::status(path, ec);
  return !ec && fs::exists(status);
}

bool FolderExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(path, ec);
}

std::string FindAppPath() {
  if (std::string forced = EnvText("VANTREL_APP_PATH"); !forced.empty()) return AddSlash(forced);
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return AddSlash(fs::current_path(ec).string());
  const fs::path exeDir = exe.parent_path();
  // A build tree keeps Media/ beside the executables; an installed program keeps it in
  // <prefix>/share/vantrel/.
  for (const fs::path& candidate : {exeDir, exeDir.parent_path() / "share" / "vantrel", exeDir.parent_path()}) {
    if (fs::is_directory(candidate / "Media", ec)) return AddSlash(candidate.string());
  }
  return AddSlash(exeDir.string());
}

Paths LayoutPaths(const std::string& appPath, const std::string& logBase) {
  Paths p;
  p.AppPath = AddSlash(appPath);
  p.MediaPath = p.AppPath + "Media/";
  p.BinaryPath = p.MediaPath + "Binary/";
  p.FlashPath = p.MediaPath + "Flash/";
  p.ImagesPath = p.MediaPath + "Images/";
  p.MenusPath = p.MediaPath + "Menus/";
  p.GadgetsPath = p.MediaPath + "Gadgets/";
  p.LanguagesPath = p.AppPath + "Languages/";
  p.UserPath = SpecialFolder(kFolderAppData) + std::string(kProductTitle) + "/";
  p.SkinPath = p.MediaPath + "Skin/";
  p.UserSkinPath = p.UserPath + "Skin/";
  p.CachePath = TempFolder() + std::string(kProductTitle) + " Cache/";
  p.LogPath = p.UserPath + logBase + ".Log.html";
  p.LastPlayedPath = p.UserPath + "Last Played" + ".vantrel";
  return p;
}

Paths InitPaths(const std::string& appPath, const std::string& logBase) {
  Paths p = LayoutPaths(appPath, logBase);
  std::error_code ec;
  // The XDG base folder itself may be missing in a fresh home; create the chain up to it.
  fs::create_directories(SpecialFolder(kFolderAppData), ec);
  fs::create_directories(TempFolder(), ec);
  if (!FolderExists(p.UserPath)) MakeFolder(p.UserPath);
  if (!FolderExists(p.UserSkinPath)) MakeFolder(p.UserSkinPath);
  MakeFolder(p.CachePath);
  // A run killed while writing a cache copy leaves its temporary file; it goes now.
  RemoveStaleTemporaries(p.CachePath);
  ExecutionLog::CreateLogFile(p.LogPath);
  return p;
}

}  // namespace vantrel::core
