// The Flash screen saver: which movie the "vantrel-saver" module plays, kept in the
// options under "ScreenSaver" ("FileName", and the one before it in "FileOld").
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel::core {
class OptionsStore;
}

namespace vantrel::system {

// Makes path the screen saver's movie: the old "FileName" moves to "FileOld".
void SetAsSS(core::OptionsStore& options, const std::string& path);

// The movie the screen saver plays ("" when none was chosen).
std::string ScreenSaverMovie(core::OptionsStore& options);

// The command that opens the screen saver's settings, so the user can pick the Flash
// screen saver there: the first of xscreensaver-settings and xscreensaver-demo on
// PATH; empty when neither is installed.
std::vector<std::string> ScreenSaverSettingsCommand();

// XScreenSaver's settings text (~/.xscreensaver) with the Flash screen saver chosen:
// "mode: one", "selected:" pointing at the entry of command in the "programs" list,
// which gets the entry first when it has none. Other lines stay as they are. An
// empty text gives a settings file of just those three resources.
std::string ChooseSaverInSettings(std::string_view settings, const std::string& command);

// Applies ChooseSaverInSettings to the user's ~/.xscreensaver (home ends with "/").
// Returns "" on success, else why the file could not be written.
std::string ChooseSaverModule(const std::string& home, const std::string& command);

// The saver module "vantrel-saver": beside the player (build tree), in the XScreenSaver
// folder of the installation, or else on PATH; "" when it is not installed.
std::string SaverProgramPath();

}  // namespace vantrel::system
