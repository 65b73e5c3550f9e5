#include "core/version.h"

#include "core/paths.h"

namespace vantrel::core {

std::string VersionText() {
  return std::string(kProductTitle) + " " + std::to_string(kVersionMajor) + "." +
         std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision);
}

std::string VersionNumberText() {
  return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
         std::to_string(kVersionRevision) + " (build " + std::to_string(kBuildNumber) + ")";
}

}  // namespace vantrel::core
