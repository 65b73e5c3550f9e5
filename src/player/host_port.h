// Facilities of the rest of the program that player operations start: the update
// check, help, tips, the screen-saver state, file types and the tool dialogs.
#pragma once

#include <string>

namespace vantrel::player {

class HostPort {
 public:
  virtual ~HostPort() = default;
  // The update check; automatic is true at start-up.
  virtual void WebUpdate(bool automatic) = 0;
  // Opens the help (topic "" for its start page).
  virtual void OpenHelp(const std::string& topic) = 0;
  // Offers the tip keyed by key, when tips are on.
  virtual void OfferTip(const std::string& key) = 0;
  // Restores the screen-saver state read at start.
  virtual void RestoreScreenSaver() = 0;
  // Removes the program's file-type registrations.
  virtual void ClearFileTypes() = 0;
  // True while the named tool dialog ("frmDecompiler", "frmDesktop") is open.
  virtual bool DialogOpen(const std::string& name) = 0;
  // Ends the process at once (after an uninstall).
  virtual void EndProcess() = 0;
};

}  // namespace vantrel::player
