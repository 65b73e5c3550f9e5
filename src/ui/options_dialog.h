// The options dialog `frmOptions`: five pages on a page bar, each control bound to one
// key of the options store. LoadOptions fills the controls from the store; OK runs
// ApplyOptions, which writes them back, applies what takes effect at once and saves.
#pragma once

#include <functional>
#include <string>

#include "ui/visual_style.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QStackedWidget;

namespace vantrel::core {
class OptionsStore;
}

namespace vantrel::ui {

class OptionsDialog : public StyledDialog {
  Q_OBJECT

 public:
  // What confirming the dialog sets off outside the store.
  struct Effects {
    // The Flash folder changed (the new folder exists already).
    std::function<void(const std::string& folder)> flashFolderChanged;
    // The look changed: skin colours, style, crop or centring (the window lays itself
    // out again and rebuilds its skin).
    std::function<void()> relayout;
    // Saves every option (the player's SaveOpts).
    std::function<void()> save;
    // Chooses a folder (unset: the system's folder chooser).
    std::function<std::string(const std::string& prompt, const std::string& start)> chooseFolder;
  };

  OptionsDialog(core::OptionsStore& options, Effects effects, QWidget* parent = nullptr);

  // The page titles in order and the page shown.
  void InitPages();
  void ShowPage(int page);
  int Page() const;
  // Controls from the store.
  void LoadOptions();
  // The store from the controls, then the effects and the save.
  void ApplyOptions();

  // Holds a box within 0..100 (what leaving it does).
  static int ClampPercent(const QString& text);

 private:
  QWidget* AddPage(const char* name, const char* key, const char* title);
  QCheckBox* AddCheck(QWidget* page, const char* name, const char* caption);
  void CheckRange();

  core::OptionsStore& options_;
  Effects effects_;
  QListWidget* pageBar_;
  QStackedWidget* pages_;
  QCheckBox* chkInstance_;
  QCheckBox* chkScreenSaver_;
  QComboBox* cmbCache_;
  QLineEdit* txtMyFlash_;
  QPushButton* cbFlash_;
  QCheckBox* chkFlash_;
  QCheckBox* chkVideo_;
  QCheckBox* chkPlaylist_;
  QComboBox* cmbStyle_;
  QComboBox* cmbSkinColor_;
  QLineEdit* txtFont_;
  QPushButton* cbFont_;
  QLineEdit* txtQuality_;
  QLineEdit* txtFrom_;
  QLineEdit* txtTo_;
  QCheckBox* chkHQShots_;
  QCheckBox* chkStore_;
  QCheckBox* chkFSCommand_;
  QCheckBox* chkProjector_;
  QCheckBox* chkRemoveProj_;
  QCheckBox* chkLocalNetwork_;
  QCheckBox* chkMRU_;
  QCheckBox* chkCentered_;
  QCheckBox* chkCrop_;
  QCheckBox* chkIntro_;
  std::string loadedFlashFolder_;
  int fontSize_ = 8;
};

}  // namespace vantrel::ui
