// frmGenerator: the thumbnail generator's window. Settings come from and go to the
// options; a run makes the thumbnails in the window's own event and keeps the window
// alive between files (Stop is heard before the next file).
#pragma once

#include <functional>
#include <string>

#include "browser/generator.h"
#include "ui/visual_style.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace vantrel::core {
class OptionsStore;
}
namespace vantrel::player {
class DialogPort;
}

namespace vantrel::browser {

struct GeneratorServices {
  core::OptionsStore* options = nullptr;
  media::MediaContext* media = nullptr;
  player::DialogPort* dialogs = nullptr;
  media::TextLookup lookup;
  ShotOptions shot;  // sampling, quality of the engine and the no-media picture
  std::function<void(const std::string& path)> open;  // the shell's open (folders, the App)
};

class GeneratorDialog : public ui::StyledDialog {
  Q_OBJECT

 public:
  explicit GeneratorDialog(GeneratorServices services, QWidget* parent = nullptr);

  // Runs a generation with the fields as they stand. automatic: no summary message.
  GeneratorReport Generate(bool automatic);
  GeneratorSettings Settings() const;
  void SetSettings(const GeneratorSettings& settings);
  bool Busy() const { return busy_; }
  // The summary the last run showed ("" when none was shown).
  const std::string& LastSummary() const { return lastSummary_; }

 private:
  QString Text(std::string_view key, std::string_view fallback) const;
  void SetBusy(bool busy);
  void UpdateEnabled();

  GeneratorServices services_;
  QLineEdit* source_;
  QPushButton* browse_;
  QLabel* sourceLabel_;
  QRadioButton* fixed_;
  QRadioButton* percentOption_;
  QLineEdit* width_;
  QLineEdit* height_;
  QComboBox* percent_;
  QCheckBox* color_;
  QLineEdit* colorText_;
  QLineEdit* quality_;
  QCheckBox* show_;
  QCheckBox* info_;
  QCheckBox* subfolders_;
  QCheckBox* overwrite_;
  QCheckBox* execute_;
  QLineEdit* app_;
  QPushButton* browseApp_;
  QCheckBox* watermark_;
  QLineEdit* logo_;
  QPushButton* browseLogo_;
  QLabel* sample_;
  QLabel* status_;
  QProgressBar* progress_;
  QPushButton* go_;
  QPushButton* cancel_;
  QPushButton* done_;
  bool busy_ = false;
  bool cancel_flag_ = false;
  std::string lastSummary_;
};

}  // namespace vantrel::browser
