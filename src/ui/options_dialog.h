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
    // The Flash folder changed from oldFolder ("" when there was none) to newFolder,
    // which exists already: its contents move along.
    std::function<void(const std::string& oldFolder, const std::string& newFolder)> flashFolderChanged;
    // The File Types boxes changed: each ticked type is associated with the program,
    // each unticked one given back to its previous opener.
    std::function<void(bool movie, bool video, bool playlist)> fileTypesChanged;
    // "Temporarily Disable Screen Saver" as confirmed (it takes effect at once).
    std::function<void(bool disable)> screenSaver;
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
  bool loadedFileTypes_[3] = {false, false, false};
  int fontSize_ = 8;
};

}  // namespace vantrel::ui
