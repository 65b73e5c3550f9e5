#include "system/desktop.h"

#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "core/paths.h"
#include "core/text.h"
#include "system/associations.h"
#include "system/run_program.h"

namespace fs = std::filesystem;

namespace vantrel::system {

namespace {

void ReplaceAll(std::string& text, std::string_view placeholder, const std::string& value) {
  std::size_t at = 0;
  while ((at = text.find(placeholder, at)) != std::string::npos) {
    text.replace(at, placeholder.size(), value);
    at += value.size();
  }
}

bool HasDesktop(const XdgDirs& dirs, std::initializer_list<std::string_view> names) {
  for (const std::string& desktop : DesktopNames(dirs)) {
    for (std::string_view name : names) {
      if (desktop == name) return true;
    }
  }
  return false;
}

std::string FileUri(const std::string& path) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

bool CopyReplacing(const std::string& from, const std::string& to) {
  std::vector<std::uint8_t> bytes;
  if (!core::ReadFileBytes(from, bytes)) return false;
  return core::WriteFileAtomic(to, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())).empty();
}

std::string ReadWhole(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!core::ReadFileBytes(path, bytes)) return {};
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

std::string FillDesktopTemplate(std::string text, const DesktopPage& page) {
  ReplaceAll(text, "[TITLE]", page.title);
  ReplaceAll(text, "[MOVIEPATH]", page.moviePath);
  ReplaceAll(text, "[DATAPATH]", page.dataPath);
  ReplaceAll(text, "[BGCOLOR]", page.backColor);
  ReplaceAll(text, "[MOVIEWIDTH]", std::to_string(page.width));
  ReplaceAll(text, "[MOVIEHEIGHT]", std::to_string(page.height));
  ReplaceAll(text, "[SCALEMODE]", "showall");
  ReplaceAll(text, "[WMODE]", page.transparent ? "transparent" : "opaque");
  // The box reads "Mute" but a ticked box has always given full volume; pages made
  // with earlier versions rely on it.
  ReplaceAll(text, "[SOUND]", std::string("sound.swf?volume=") + (page.mute ? "100" : "0"));
  return text;
}

std::string DesktopFolder(const std::string& userPath) { return core::AddSlash(userPath) + "Desktop/"; }

std::string DesktopAutostartPath(const XdgDirs& dirs) { return dirs.configHome + "autostart/vantrel-desktop.desktop"; }

bool DesktopItemEnabled(const XdgDirs& dirs) { return core::FileExists(DesktopAutostartPath(dirs)); }

void WriteDesktopPid(const std::string& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  core::WriteFileAtomic(folder + "Desktop.pid", std::to_string(getpid()) + "\n");
}

bool StopDesktopWindow(const std::string& folder) {
  const std::string pidText = ReadWhole(folder + "Desktop.pid");
  const long pid = std::strtol(pidText.c_str(), nullptr, 10);
  if (pid <= 1) return false;
  // Only a desktop window of ours: a stale file may name an unrelated process by now.
  const std::string commandLine = ReadWhole("/proc/" + std::to_string(pid) + "/cmdline");
  const std::string program = commandLine.substr(0, commandLine.find('\0'));
  if (fs::path(program).filename() != "vantrel-saver" || commandLine.find("--desktop") == std::string::npos) {
    return false;
  }
  std::error_code ec;
  fs::remove(folder + "Desktop.pid", ec);
  return kill(static_cast<pid_t>(pid), SIGTERM) == 0;
}

DesktopResult ApplyDesktop(const XdgDirs& dirs, const std::string& folder, const DesktopRequest& request) {
  DesktopResult result;
  auto fail = [&result](std::string why) {
    if (result.error.empty()) result.error = std::move(why);
  };
  for (const auto& command : DesktopIconCommands(dirs, request.hideIcons)) RunProgram(command);

  std::error_code ec;
  const std::string html = folder + "Desktop.html";
  if (request.enable) {
    fs::create_directories(folder, ec);
    fs::remove(folder + "Desktop.swf", ec);
    fs::remove(folder + "sound.swf", ec);
    if (!request.soundMovie.empty() && !CopyReplacing(request.soundMovie, folder + "sound.swf")) {
      fail("cannot copy " + request.soundMovie);
    }
    if (!CopyReplacing(request.moviePath, folder + "Desktop.swf")) fail("cannot copy " + request.moviePath);
    DesktopPage page = request.page;
    page.moviePath = folder + "Desktop.swf";
    const std::string templateText = ReadWhole(request.templatePath);
    if (templateText.empty()) fail("cannot read " + request.templatePath);
    else if (!core::WriteFileAtomic(html, FillDesktopTemplate(templateText, page)).empty()) fail("cannot write " + html);
  }

  // The item goes, then comes back with the new page.
  StopDesktopWindow(folder);
  fs::remove(DesktopAutostartPath(dirs), ec);
  if (!request.enable) return result;
  if (request.saverProgram.empty()) {
    fail("the desktop window program is missing");
    return result;
  }
  const std::string movie = folder + "Desktop.swf";
  const std::string entry = "[Desktop Entry]\nType=Application\nName=Vantrel Flash Desktop\nExec=" +
                            QuoteExecArgument(request.saverProgram) + " --desktop " + QuoteExecArgument(movie) +
                            "\nNoDisplay=true\nX-GNOME-Autostart-enabled=true\n";
  fs::create_directories(dirs.configHome + "autostart", ec);
  if (const std::string why = core::WriteFileAtomic(DesktopAutostartPath(dirs), entry); !why.empty()) fail(why);
  result.startCommand = {request.saverProgram, "--desktop", movie};
  return result;
}

std::vector<std::vector<std::string>> DesktopIconCommands(const XdgDirs& dirs, bool hide) {
  const std::string show = hide ? "false" : "true";
  if (HasDesktop(dirs, {"xfce"})) {
    return {{"xfconf-query", "-c", "xfce4-desktop", "-p", "/desktop-icons/style", "-n", "-t", "int", "-s",
             hide ? "0" : "2"}};
  }
  if (HasDesktop(dirs, {"mate"})) return {{"gsettings", "set", "org.mate.background", "show-desktop-icons", show}};
  if (HasDesktop(dirs, {"x-cinnamon", "cinnamon"})) {
    return {{"gsettings", "set", "org.nemo.desktop", "show-desktop-icons", show}};
  }
  if (HasDesktop(dirs, {"gnome", "unity", "budgie", "pantheon"})) {
    return {{"gsettings", "set", "org.gnome.desktop.background", "show-desktop-icons", show}};
  }
  return {};
}

std::vector<std::vector<std::string>> WallpaperCommands(const XdgDirs& dirs, const std::string& imagePath) {
  const std::string uri = FileUri(imagePath);
  if (HasDesktop(dirs, {"x-cinnamon", "cinnamon"})) {
    return {{"gsettings", "set", "org.cinnamon.desktop.background", "picture-uri", uri}};
  }
  if (HasDesktop(dirs, {"mate"})) return {{"gsettings", "set", "org.mate.background", "picture-filename", imagePath}};
  if (HasDesktop(dirs, {"xfce"})) {
    return {{"xfconf-query", "-c", "xfce4-desktop", "-p", "/backdrop/screen0/monitor0/workspace0/last-image", "-n",
             "-t", "string", "-s", imagePath}};
  }
  if (HasDesktop(dirs, {"kde"})) return {{"plasma-apply-wallpaperimage", imagePath}};
  if (HasDesktop(dirs, {"gnome", "unity", "budgie", "pantheon"})) {
    return {{"gsettings", "set", "org.gnome.desktop.background", "picture-uri", uri},
            {"gsettings", "set", "org.gnome.desktop.background", "picture-uri-dark", uri},
            {"gsettings", "set", "org.gnome.desktop.background", "picture-options", "zoom"}};
  }
  if (ProgramOnPath("feh")) return {{"feh", "--no-fehbg", "--bg-fill", imagePath}};
  if (ProgramOnPath("xwallpaper")) return {{"xwallpaper", "--zoom", imagePath}};
  return {};
}

std::string SetWallpaper(const XdgDirs& dirs, const std::string& imagePath) {
  if (!core::FileExists(imagePath)) return "The picture " + imagePath + " is missing.";
  std::vector<std::vector<std::string>> commands = WallpaperCommands(dirs, imagePath);
  if (commands.empty()) return "This desktop offers no way to set the wallpaper; the picture is " + imagePath + ".";
  // XFCE keeps one picture per monitor and workspace: set every one it knows of.
  if (commands.front().front() == "xfconf-query") {
    const ProgramRun list = RunProgram({"xfconf-query", "-c", "xfce4-desktop", "-l"});
    std::vector<std::vector<std::string>> perMonitor;
    std::size_t start = 0;
    while (start < list.output.size()) {
      std::size_t end = list.output.find('\n', start);
      if (end == std::string::npos) end = list.output.size();
      const std::string property = list.output.substr(start, end - start);
      if (property.ends_with("/last-image")) {
        perMonitor.push_back({"xfconf-query", "-c", "xfce4-desktop", "-p", property, "-s", imagePath});
      }
      start = end + 1;
    }
    if (!perMonitor.empty()) commands = std::move(perMonitor);
  }
  for (const auto& command : commands) {
    const ProgramRun run = RunProgram(command);
    if (!run.started) return "The desktop's settings tool " + command.front() + " is not installed.";
    if (run.exitCode != 0) return "The desktop refused the wallpaper (" + command.front() + " failed).";
  }
  return {};
}

}  // namespace vantrel::system
