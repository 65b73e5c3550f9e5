// The desktop shell as the player uses it: opening documents and addresses, and moving
// files (to a new name, or to the trash).
#pragma once

#include <string>

namespace vantrel::player {

class ShellPort {
 public:
  virtual ~ShellPort() = default;
  // Opens a file or web address with the desktop's handler. False when none ran.
  virtual bool Open(const std::string& target) = 0;
  // Moves a file to a new path (replacing nothing). False on failure, source untouched.
  virtual bool MoveFile(const std::string& from, const std::string& to) = 0;
  // Copies a file, replacing the target. False on failure.
  virtual bool CopyFile(const std::string& from, const std::string& to) = 0;
  // Sends a file to the user's trash, where it can be restored. False on failure.
  virtual bool MoveToTrash(const std::string& path) = 0;
};

}  // namespace vantrel::player
