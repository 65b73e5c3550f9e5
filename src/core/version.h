// The program's version and build number.
#pragma once

#include <string>

namespace vantrel::core {

inline constexpr int kVersionMajor = 0;
inline constexpr int kVersionMinor = 1;
inline constexpr int kVersionRevision = 0;
inline constexpr int kBuildNumber = 1;  // stored as "Update"/"Build"; playlists carry it

// "Vantrel 0.1.0"
std::string VersionText();

}  // namespace vantrel::core
