// The desktop integration as the running player uses it: the screen saver kept off
// while it plays (option "DisableScreenSaver") and given back at quit, the Flash
// desktop dialog, the Flash screen saver menu item, and clearing the file types at
// uninstall.
#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "core/paths.h"
#include "system/screen_saver_inhibit.h"

class QWidget;

namespace vantrel::core {
class OptionsStore;
}
namespace vantrel::player {
class Player;
}

namespace vantrel::system {

class DesktopDialog;

class SystemIntegration {
 public:
  SystemIntegration(core::OptionsStore& options, const core::Paths& paths, player::Player& player, QWidget* window);
  ~SystemIntegration();

  // After the options are read: switches the screen saver off when the option says so.
  void Started();
  // At quit: gives the screen saver back.
  void RestoreScreenSaver();
  // The options dialog confirmed "Temporarily Disable Screen Saver" (disable) or not:
  // the screen saver goes off, or comes back, at once.
  void ApplyScreenSaverOption(bool disable);
  // The menu items handled here ("mnuDesktop", "mnuScreenSaver"); false for others.
  bool MenuClick(const std::string& name);
  // Makes movie the screen saver's movie and XScreenSaver's choice (the browser's
  // "Flash Screen Saver..." on an entry); nothing for an empty path.
  void SetMovieAsScreenSaver(const std::string& movie);
  // True while the named dialog ("frmDesktop") is open.
  bool DialogOpen(const std::string& name) const;

  // Applies the interface language to a dialog opened here (set by the session).
  std::function<void(QWidget* dialog)> applyLanguage;

  // For the options dialog: the switch behind "Temporarily Disable Screen Saver".
  ScreenSaverInhibitor& Inhibitor() { return inhibitor_; }

  // Gives the three file types back to their previous openers (uninstall).
  static void ClearFileTypes(core::OptionsStore& options);

 private:
  void OpenDesktopDialog();

  core::OptionsStore& options_;
  core::Paths paths_;
  player::Player& player_;
  QWidget* window_;
  ScreenSaverInhibitor inhibitor_;
  QPointer<DesktopDialog> desktop_;
};

}  // namespace vantrel::system
