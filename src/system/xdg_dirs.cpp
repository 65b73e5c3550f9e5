#include "system/xdg_dirs.h"

#include "core/paths.h"
#include "core/text.h"

namespace vantrel::system {

namespace {

std::vector<std::string> SplitList(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    if (end > start) parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::vector<std::string> FolderList(const std::string& text, std::vector<std::string> fallback) {
  std::vector<std::string> folders;
  for (const std::string& part : SplitList(text, ':')) {
    // Relative entries are invalid in the base-directory rules and are ignored.
    if (!part.empty() && part[0] == '/') folders.push_back(core::AddSlash(part));
  }
  return folders.empty() ? fallback : folders;
}

std::string HomeFolderOr(const char* variable, const std::string& fallback) {
  const std::string value = core::EnvText(variable);
  if (!value.empty() && value[0] == '/') return core::AddSlash(value);
  return fallback;
}

}  // namespace

XdgDirs XdgDirsFromEnvironment() {
  XdgDirs dirs;
  const std::string home = core::HomeFolder();
  dirs.configHome = HomeFolderOr("XDG_CONFIG_HOME", home + ".config/");
  dirs.dataHome = HomeFolderOr("XDG_DATA_HOME", home + ".local/share/");
  dirs.configDirs = FolderList(core::EnvText("XDG_CONFIG_DIRS"), {"/etc/xdg/"});
  dirs.dataDirs = FolderList(core::EnvText("XDG_DATA_DIRS"), {"/usr/local/share/", "/usr/share/"});
  dirs.currentDesktop = core::EnvText("XDG_CURRENT_DESKTOP");
  return dirs;
}

std::vector<std::string> DesktopNames(const XdgDirs& dirs) {
  std::vector<std::string> names;
  for (const std::string& name : SplitList(dirs.currentDesktop, ':')) names.push_back(core::LowerAscii(name));
  return names;
}

}  // namespace vantrel::system
