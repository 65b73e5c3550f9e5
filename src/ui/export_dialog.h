// File > Export Video: the dialog `frmExport` (format, size keeping the movie's shape,
// frame rate, range, sound, target file), the progress window `frmProgress` with its
// Cancel button while the export runs on a thread of its own, and the report: the
// written file's folder opens in the file manager, a failure shows in the message
// window. The export itself is browser::ExportVideo, as on the command line.
#pragma once

#include <QElapsedTimer>
#include <atomic>
#include <functional>
#include <string>

#include "browser/video_export.h"
#include "ui/visual_style.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace vantrel::core {
class OptionsStore;
}

namespace vantrel::ui {

// What the player knows of the movie it shows.
struct ExportMovie {
  std::string source;       // what the export loads (the movie, or the FLV file)
  std::string title;        // the file's title, for the target's name
  bool isVideo = false;
  int width = 0, height = 0;
  double rate = 0;          // frames per second
  long frames = 0;          // the movie's frame count (0 for a video)
  long currentFrame = 1;    // 1-based, as the player shows it now
};

class ExportDialog : public StyledDialog {
  Q_OBJECT

 public:
  // The choices start from the options' section "Export" (format, sound, folder).
  ExportDialog(const ExportMovie& movie, core::OptionsStore& options, QWidget* parent = nullptr);

  // The export the controls describe.
  browser::ExportSettings Settings() const;
  // Keeps the format, the sound choice and the target's folder for the next time.
  void StoreChoices() const;

  QComboBox* FormatBox() const { return cmbFormat_; }
  QSpinBox* WidthBox() const { return spnWidth_; }
  QSpinBox* HeightBox() const { return spnHeight_; }
  QLineEdit* TargetBox() const { return txtTarget_; }
  QRadioButton* FromCurrent() const { return optCurrent_; }
  QDoubleSpinBox* LengthBox() const { return spnLength_; }
  QCheckBox* SoundBox() const { return chkSound_; }

 private:
  browser::ExportFormat Format() const;
  void FormatChanged();
  // One side was set: the other follows the movie's shape (both even for video).
  void SideChanged(QSpinBox* changed, QSpinBox* other, int movieSide, int movieOther);
  void Browse();

  ExportMovie movie_;
  core::OptionsStore& options_;
  QComboBox* cmbFormat_;
  QSpinBox* spnWidth_;
  QSpinBox* spnHeight_;
  QComboBox* cmbRate_;
  QRadioButton* optWhole_;
  QRadioButton* optCurrent_;
  QDoubleSpinBox* spnLength_;
  QCheckBox* chkSound_;
  QLineEdit* txtTarget_;
  bool linking_ = false;  // one side is being set from the other
};

// frmProgress: what is being made, how far it is, and Cancel. Closing the window asks
// the work to stop; it closes when the work has ended.
class ProgressWindow : public StyledDialog {
  Q_OBJECT

 public:
  explicit ProgressWindow(const QString& what, QWidget* parent = nullptr);

  void SetProgress(const browser::ExportProgress& progress);
  // The work has ended: the window closes.
  void Done();
  const std::atomic<bool>& CancelFlag() const { return cancel_; }
  QPushButton* CancelButton() const { return cbCancel_; }
  QLabel* Status() const { return lblStatus_; }

 public slots:
  void reject() override;

 private:
  QLabel* lblWait_;
  QLabel* lblStatus_;
  QProgressBar* progress_;
  QPushButton* cbCancel_;
  std::atomic<bool> cancel_{false};
  bool done_ = false;
  QElapsedTimer clock_;
};

// Runs the export on a thread of its own while the progress window shows (modal over
// parent) and returns its result.
browser::ExportResult RunExportWithProgress(const browser::ExportSettings& settings, const QString& what,
                                            QWidget* parent);

// The whole command: the dialog, the question before an existing file is replaced,
// the export, and the report. showFolder opens a folder in the file manager. Returns
// the path written ("" when nothing was).
std::string ExportVideo(const ExportMovie& movie, core::OptionsStore& options, QWidget* owner,
                        const std::function<void(const std::string& folder)>& showFolder);

}  // namespace vantrel::ui
