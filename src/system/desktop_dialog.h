// The desktop dialog `frmDesktop`: puts the current movie on the desktop, below every
// window, and switches the desktop icons off or on.
#pragma once

#include <string>

#include "system/desktop.h"
#include "system/xdg_dirs.h"
#include "ui/visual_style.h"

class QCheckBox;
class QLabel;

namespace vantrel::core {
class OptionsStore;
}

namespace vantrel::system {

struct DesktopDialogSetup {
  std::string moviePath;    // the current movie
  std::string caption;      // the player window's caption
  std::string backColor;    // the movie's background colour, six hexadecimal digits
  std::string userPath;     // the per-user data folder
  std::string mediaPath;    // the program's "Media/" (the page template)
  std::string flashPath;    // the program's "Media/Flash/" (the sound movie)
  std::string saverProgram; // "vantrel-saver"; "" when it is missing
  XdgDirs dirs;
};

class DesktopDialog : public ui::StyledDialog {
  Q_OBJECT

 public:
  DesktopDialog(DesktopDialogSetup setup, core::OptionsStore& options, QWidget* parent = nullptr);

  // What "Go" does; the desktop window is started unless startWindow is false (tests).
  DesktopResult Go(bool startWindow = true);

  QCheckBox* EnableBox() const { return chkEnable_; }
  QCheckBox* HideIconsBox() const { return chkHideIcons_; }
  QCheckBox* MuteBox() const { return chkMute_; }
  QCheckBox* TransparentBox() const { return chkTransparent_; }

 private:
  void DrawMiniDesktop();

  DesktopDialogSetup setup_;
  core::OptionsStore& options_;
  std::string folder_;
  QCheckBox* chkEnable_;
  QCheckBox* chkHideIcons_;
  QCheckBox* chkMute_;
  QCheckBox* chkTransparent_;
  QLabel* picDesktop_;
};

}  // namespace vantrel::system
