// The first-run dialog `frmFirstRun`: the interface language and the user's Flash
// folder, asked once on the first start.
#pragma once

#include <QDialog>

#include "ui/visual_style.h"
#include <functional>

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

  // Called for the help button.
  std::function<void()> onHelp;

  QComboBox* LanguageList() const { return cmbLang_; }
  QLineEdit* FlashFolder() const { return txtMyFlash_; }

  // What "Go" does: stores the language and the Flash folder (created when missing).
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
