#include "core/version.h"

#include "core/paths.h"

namespace vantrel::core {

std::string VersionText() {
  return std::string(kProductTitle) + " " + std::to_string(kVersionMajor) + "." +
         std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision);
}

}  // namespace vantrel::core
