#include "system/screen_saver.h"

#include <unistd.h>

#include <filesystem>

#include "core/options.h"
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
  return {};
}

}  // namespace vantrel::system
