// The Flash screen saver: which movie the "vantrel-saver" module plays, kept in the
// options under "ScreenSaver" ("FileName", and the one before it in "FileOld").
#pragma once

#include <string>
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

// The saver module beside the player (build tree) or in the XScreenSaver folder of the
// installation; "" when it cannot be found.
std::string SaverProgramPath();

}  // namespace vantrel::system
