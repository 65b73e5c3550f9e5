// The program's version and build number: the one place every window, tool and file
// that names the program's version reads them from.
#pragma once

#include <string>

namespace vantrel::core {

inline constexpr int kVersionMajor = 0;
inline constexpr int kVersionMinor = 1;
inline constexpr int kVersionRevision = 0;
// The program's build: shown by About and --version, stored as "Update"/"Build" (the
// update check compares it with the feed's), written into "Flash Info.xml", and the
// newest playlist build the player accepts.
inline constexpr int kBuildNumber = 760;
// The build stamp of the playlist format: every ".vantrel" file is written with it, so
// that playlists stay readable by every player since the format began.
inline constexpr int kPlaylistFormatBuild = 680;

// "Vantrel 0.1.0"
std::string VersionText();

// "0.1.0 (build 760)": the version as About and the programs' --version show it.
std::string VersionNumberText();

}  // namespace vantrel::core
