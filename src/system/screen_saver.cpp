#include "system/screen_saver.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "core/options.h"
#include "core/text.h"
#include "system/run_program.h"

namespace fs = std::filesystem;

namespace vantrel::system {

void SetAsSS(core::OptionsStore& options, const std::string& path) {
  options.BeginBatch();
  options.WriteText("ScreenSaver", "FileOld", options.ReadText("ScreenSaver", "FileName", ""));
  options.WriteText("ScreenSaver", "FileName", path);
  options.EndBatch();
}

std::string ScreenSaverMovie(core::OptionsStore& options) { return options.ReadText("ScreenSaver", "FileName", ""); }

std::vector<std::string> ScreenSaverSettingsCommand() {
  for (const char* program : {"xscreensaver-settings", "xscreensaver-demo"}) {
    if (ProgramOnPath(program)) return {program};
  }
  return {};
}

namespace {

constexpr std::string_view kSaverLabel = "\"Vantrel Flash\"";

bool StartsWithResource(std::string_view line, std::string_view name) {
  std::size_t at = 0;
  while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
  return line.substr(at).starts_with(name);
}

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::string ChooseSaverInSettings(std::string_view settings, const std::string& command) {
  std::vector<std::string> lines = Lines(settings);
  // XScreenSaver runs the command through the shell.
  const std::string quoted = command.find_first_of(" '\"$") == std::string::npos ? command : "'" + command + "'";
  const std::string entry = "\t\t\t\t" + std::string(kSaverLabel) + " " + quoted + " -root\t\t\t    \\n\\";
  // The programs resource runs over continued lines; its entries end with "\n".
  std::size_t programs = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (StartsWithResource(lines[i], "programs:")) {
      programs = i;
      break;
    }
  }
  int selected = 0;
  if (programs == lines.size()) {
    lines.push_back("programs:\t\t\t\t\t\t\t      \\");
    lines.push_back(entry.substr(0, entry.size() - 1));  // the last entry ends the resource
    programs = lines.size() - 2;
  } else {
    // Count the entries before ours, if it is listed already.
    int index = 0;
    bool found = false;
    for (std::size_t i = programs; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      if (line.find(kSaverLabel) != std::string::npos) {
        found = true;
        break;
      }
      for (std::size_t at = line.find("\\n"); at != std::string::npos; at = line.find("\\n", at + 2)) ++index;
      if (line.empty() || line.back() != '\\') break;  // the resource ends here
    }
    if (found) {
      selected = index;
    } else {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(programs) + 1, entry);
    }
  }
  bool hasMode = false, hasSelected = false;
  for (std::string& line : lines) {
    if (StartsWithResource(line, "mode:")) {
      line = "mode:\t\tone";
      hasMode = true;
    } else if (StartsWithResource(line, "selected:")) {
      line = "selected:\t" + std::to_string(selected);
      hasSelected = true;
    }
  }
  std::vector<std::string> head;
  if (!hasMode) head.push_back("mode:\t\tone");
  if (!hasSelected) head.push_back("selected:\t" + std::to_string(selected));
  lines.insert(lines.begin(), head.begin(), head.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::string ChooseSaverModule(const std::string& home, const std::string& command) {
  const std::string path = home + ".xscreensaver";
  std::vector<std::uint8_t> bytes;
  core::ReadFileBytes(path, bytes);  // a missing file reads as empty
  const std::string before(bytes.begin(), bytes.end());
  return core::WriteFileAtomic(path, ChooseSaverInSettings(before, command));
}

std::string SaverProgramPath() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const fs::path folder = exe.parent_path();
  for (const fs::path& candidate :
       {folder / "vantrel-saver", folder.parent_path() / "libexec" / "xscreensaver" / "vantrel-saver",
        folder.parent_path() / "lib" / "xscreensaver" / "vantrel-saver"}) {
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  const char* path = std::getenv("PATH");
  std::string_view folders = path ? path : "";
  while (!folders.empty()) {
    const std::size_t colon = folders.find(':');
    const std::string_view folder = folders.substr(0, colon);
    folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
    if (folder.empty()) continue;  // the current folder is never searched
    const fs::path candidate = fs::path(folder) / "vantrel-saver";
    if (fs::is_regular_file(candidate, ec) && access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

}  // namespace vantrel::system
