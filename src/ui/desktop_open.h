// Handing files, folders and addresses to the desktop. The desktop's opener (xdg-open)
// runs in the background; when it reports that nothing opens the target, or cannot run
// at all, the program's message window shows the path or address, so the user can open
// it by hand, with a button that copies it.
#pragma once

#include <string>

#include "player/system_shell.h"

class QWidget;

namespace vantrel::ui {

// Starts the desktop's opener for target (a path, a file:// or web address). owner is
// the message window's owner should nothing open it.
void OpenOnDesktop(const std::string& target, QWidget* owner = nullptr);

// The message of a target nothing opened (the presentation's cannotOpen hook, when set,
// hears it instead).
void ShowCannotOpen(const std::string& target, QWidget* owner);

// The player's shell with the desktop's opener behind Open (the rest as SystemShell).
class DesktopShell final : public player::SystemShell {
 public:
  explicit DesktopShell(QWidget* owner = nullptr) : owner_(owner) {}
  void SetOwner(QWidget* owner) { owner_ = owner; }
  // Starts the opener and returns true; a failure is shown when the opener reports it.
  bool Open(const std::string& target) override;

 private:
  QWidget* owner_;
};

}  // namespace vantrel::ui
