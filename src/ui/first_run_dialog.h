// The first-run dialog `frmFirstRun`: the interface language and the user's Flash
// folder, asked once on the first start.
#pragma once

#include <QDialog>

#include "ui/visual_style.h"
#include <functional>

#include "system/xdg_dirs.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace vantrel::core {
class Languages;
class OptionsStore;
}  // namespace vantrel::core

namespace vantrel::ui {

class FirstRunDialog : public StyledDialog {
  Q_OBJECT

 public:
  // languages: the table to choose from (its current language changes with the list);
  // options: where "Go" stores the choices.
  FirstRunDialog(core::Languages& languages, core::OptionsStore& options, QWidget* parent = nullptr);

  // The folders the associations of "Make Vantrel default Flash Player" go to.
  system::XdgDirs dirs = system::XdgDirsFromEnvironment();

  // Called for the help button.
  std::function<void()> onHelp;

  QComboBox* LanguageList() const { return cmbLang_; }
  QLineEdit* FlashFolder() const { return txtMyFlash_; }
  QCheckBox* MakeDefault() const { return chkDefault_; }

  // What "Go" does: makes Vantrel the opener of movies, videos and playlists when the
  // box is ticked, stores the language and the Flash folder (created when missing).
  void Confirm();

 private:
  void LanguageChosen(int index);

  core::Languages& languages_;
  core::OptionsStore& options_;
  QComboBox* cmbLang_;
  QLineEdit* txtMyFlash_;
  QCheckBox* chkDefault_;
};

}  // namespace vantrel::ui
