// The desktop shell on Linux: xdg-open for documents and addresses, renames with a
// copy fallback across file systems, and the freedesktop.org trash in the user's home.
#pragma once

#include <string>

#include "player/shell_port.h"

namespace vantrel::player {

class SystemShell : public ShellPort {
 public:
  bool Open(const std::string& target) override;
  // Replaces an existing target, as a move without confirmation does.
  bool MoveFile(const std::string& from, const std::string& to) override;
  bool CopyFile(const std::string& from, const std::string& to) override;
  // Moves path into $XDG_DATA_HOME/Trash/files with its ".trashinfo" record in
  // Trash/info (original path and deletion date), so a file manager can restore it.
  bool MoveToTrash(const std::string& path) override;
};

// The home trash folder ($XDG_DATA_HOME/Trash/, default ~/.local/share/Trash/).
std::string HomeTrashFolder();

}  // namespace vantrel::player
