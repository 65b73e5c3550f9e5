#include "ui/export_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDoubleValidator>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>
#include <filesystem>
#include <thread>

#include "core/options.h"
#include "core/paths.h"
#include "ui/languages_ui.h"
#include "ui/message_window.h"
#include "ui/presentation.h"

namespace vantrel::ui {

namespace {

constexpr int kBandHeight = 58;

struct FormatChoice {
  browser::ExportFormat format;
  const char* key;
  const char* caption;
};

constexpr FormatChoice kFormats[] = {
    {browser::ExportFormat::Mp4, "frmExport/strMp4", "MP4 Video (H.264)"},
    {browser::ExportFormat::WebM, "frmExport/strWebM", "WebM Video (VP9)"},
    {browser::ExportFormat::Mkv, "frmExport/strMkv", "Matroska Video (H.264)"},
    {browser::ExportFormat::Gif, "frmExport/strGif", "Animated GIF"},
    {browser::ExportFormat::Apng, "frmExport/strApng", "Animated PNG"},
    {browser::ExportFormat::Png, "frmExport/strPng", "PNG Pictures"},
};

QString Text(const std::string& key, const std::string& fallback) {
  return QString::fromStdString(UiText(key, fallback));
}

QString RateText(double rate) { return QString::number(rate, 'g', 6); }

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

QString Clock(double seconds) {
  const long whole = std::lround(std::max(0.0, seconds));
  return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

// ---- frmExport -------------------------------------------------------------------------

ExportDialog::ExportDialog(const ExportMovie& movie, core::OptionsStore& options, QWidget* parent)
    : StyledDialog(parent), movie_(movie), options_(options) {
  setObjectName(QStringLiteral("frmExport"));
  setWindowTitle(Text("frmExport/Caption", "Export Video"));

  auto* heading = new QLabel(Text("frmExport/lblTitle", "Export Video"), this);
  heading->setObjectName(QStringLiteral("lblTitle"));
  QFont big = heading->font();
  big.setPointSizeF(big.pointSizeF() * 1.5);
  big.setBold(true);
  heading->setFont(big);
  auto* what = new QLabel(QString::fromStdString(movie_.title), this);
  what->setObjectName(QStringLiteral("lblMovie"));

  cmbFormat_ = new QComboBox(this);
  cmbFormat_->setObjectName(QStringLiteral("cmbFormat"));
  for (const FormatChoice& choice : kFormats) cmbFormat_->addItem(Text(choice.key, choice.caption));

  const int width = std::max(1, movie_.width), height = std::max(1, movie_.height);
  spnWidth_ = new QSpinBox(this);
  spnWidth_->setObjectName(QStringLiteral("spnWidth"));
  spnHeight_ = new QSpinBox(this);
  spnHeight_->setObjectName(QStringLiteral("spnHeight"));
  for (QSpinBox* side : {spnWidth_, spnHeight_}) side->setRange(1, 16384);
  spnWidth_->setValue(width);
  spnHeight_->setValue(height);
  auto* times = new QLabel(QStringLiteral("x"), this);
  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(spnWidth_);
  sizeRow->addWidget(times);
  sizeRow->addWidget(spnHeight_);
  sizeRow->addStretch(1);

  cmbRate_ = new QComboBox(this);
  cmbRate_->setObjectName(QStringLiteral("cmbRate"));
  cmbRate_->setEditable(true);
  cmbRate_->setValidator(new QDoubleValidator(0.1, 120, 3, cmbRate_));
  cmbRate_->addItem(RateText(movie_.rate > 0 ? movie_.rate : 30));
  for (const int rate : {12, 15, 24, 25, 30, 50, 60})
    if (std::abs(rate - movie_.rate) > 0.001) cmbRate_->addItem(QString::number(rate));

  optWhole_ = new QRadioButton(Text("frmExport/optWhole", "Whole Movie"), this);
  optWhole_->setObjectName(QStringLiteral("optWhole"));
  optCurrent_ = new QRadioButton(this);
  optCurrent_->setObjectName(QStringLiteral("optCurrent"));
  optWhole_->setChecked(true);
  optCurrent_->setEnabled(movie_.currentFrame > 1);
  spnLength_ = new QDoubleSpinBox(this);
  spnLength_->setObjectName(QStringLiteral("spnLength"));
  spnLength_->setRange(0, 3600);
  spnLength_->setDecimals(1);
  spnLength_->setSuffix(QStringLiteral(" s"));
  spnLength_->setSpecialValueText(Text("frmExport/strToEnd", "To the End"));
  // A movie of one frame runs on in its clips and scripts: it needs a length.
  spnLength_->setValue(!movie_.isVideo && movie_.frames <= 1 ? 10 : 0);
  auto* rangeBox = new QVBoxLayout;
  rangeBox->addWidget(optWhole_);
  rangeBox->addWidget(optCurrent_);

  chkSound_ = new QCheckBox(Text("frmExport/chkSound", "Include Sound"), this);
  chkSound_->setObjectName(QStringLiteral("chkSound"));
  chkSound_->setChecked(options_.ReadBoolOption("Export", "Sound"));

  txtTarget_ = new QLineEdit(this);
  txtTarget_->setObjectName(QStringLiteral("txtTarget"));
  auto* cbBrowse = new QPushButton(QStringLiteral("..."), this);
  cbBrowse->setObjectName(QStringLiteral("cbBrowse"));
  cbBrowse->setToolTip(Text("frmExport/strBrowse", "Choose Where to Save the Video"));
  cbBrowse->setAutoDefault(false);
  cbBrowse->setFixedWidth(32);
  auto* targetRow = new QHBoxLayout;
  targetRow->addWidget(txtTarget_, 1);
  targetRow->addWidget(cbBrowse);

  auto* form = new QFormLayout;
  const auto label = [this](const char* name, const std::string& key, const char* caption) {
    auto* text = new QLabel(Text(key, caption), this);
    text->setObjectName(QString::fromLatin1(name));
    return text;
  };
  form->addRow(label("lblFormat", "frmExport/lblFormat", "Format:"), cmbFormat_);
  form->addRow(label("lblSize", "frmExport/lblSize", "Size:"), sizeRow);
  form->addRow(label("lblRate", "frmExport/lblRate", "Frames per Second:"), cmbRate_);
  form->addRow(label("lblRange", "frmExport/lblRange", "Range:"), rangeBox);
  form->addRow(label("lblLength", "frmExport/lblLength", "Length:"), spnLength_);
  form->addRow(label("lblSound", "frmExport/lblSound", "Sound:"), chkSound_);
  form->addRow(label("lblTarget", "frmExport/lblTarget", "Save As:"), targetRow);

  auto* cbGo = new QPushButton(Text("frmExport/cbGo", "Export"), this);
  cbGo->setObjectName(QStringLiteral("cbGo"));
  cbGo->setDefault(true);
  auto* cbCancel = new QPushButton(Text("frmExport/cbCancel", "Cancel"), this);
  cbCancel->setObjectName(QStringLiteral("cbCancel"));
  cbCancel->setAutoDefault(false);
  auto* cbHelp = new QPushButton(QStringLiteral("?"), this);
  cbHelp->setObjectName(QStringLiteral("cbHelp"));
  cbHelp->setFixedWidth(32);
  cbHelp->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cbHelp);
  buttons->addStretch(1);
  buttons->addWidget(cbGo);
  buttons->addWidget(cbCancel);

  auto* top = new QVBoxLayout;
  top->setSpacing(2);
  top->addWidget(heading);
  top->addWidget(what);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(14, 10, 14, 12);
  layout->addLayout(top);
  layout->addSpacing(std::max(8, kBandHeight - 10 - heading->sizeHint().height() - what->sizeHint().height()));
  layout->addLayout(form, 1);
  layout->addSpacing(8);
  layout->addLayout(buttons);

  connect(cmbFormat_, &QComboBox::currentIndexChanged, this, [this] { FormatChanged(); });
  connect(spnWidth_, &QSpinBox::valueChanged, this,
          [this] { SideChanged(spnWidth_, spnHeight_, movie_.width, movie_.height); });
  connect(spnHeight_, &QSpinBox::valueChanged, this,
          [this] { SideChanged(spnHeight_, spnWidth_, movie_.height, movie_.width); });
  connect(cbBrowse, &QPushButton::clicked, this, [this] { Browse(); });
  connect(cbGo, &QPushButton::clicked, this, [this] {
    if (!txtTarget_->text().trimmed().isEmpty()) accept();
  });
  connect(cbCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(cbHelp, &QPushButton::clicked, this, [] { OpenHelp("export"); });

  browser::ExportFormat stored = browser::ExportFormat::Mp4;
  browser::ExportFormatFromName(options_.ReadTextOption("Export", "Format"), stored);
  const std::string folder = options_.ReadOption(*core::FindOption("Export", "Folder"),
                                                 options_.ReadOption(*core::FindOption("Recent", "MyFlash"),
                                                                     core::DefaultMyFlashFolder()));
  txtTarget_->setText(QString::fromStdString(browser::ExportTargetFor(folder, movie_.title, stored)));
  for (std::size_t i = 0; i < std::size(kFormats); ++i)
    if (kFormats[i].format == stored) cmbFormat_->setCurrentIndex(static_cast<int>(i));
  FormatChanged();

  if (CurrentPresentation().languages) ApplyLanguage(this, *CurrentPresentation().languages);
  // The frame number follows the translated caption.
  optCurrent_->setText(Text("frmExport/optCurrent", "From the Current Frame") +
                       QStringLiteral(" (%1)").arg(movie_.currentFrame));
  resize(460, sizeHint().height());
  SetVisual(kBandHeight);
}

browser::ExportFormat ExportDialog::Format() const {
  const int index = std::clamp(cmbFormat_->currentIndex(), 0, static_cast<int>(std::size(kFormats)) - 1);
  return kFormats[static_cast<std::size_t>(index)].format;
}

void ExportDialog::FormatChanged() {
  const browser::ExportFormat format = Format();
  chkSound_->setEnabled(browser::ExportHasSound(format));
  const QString target = txtTarget_->text();
  if (!target.isEmpty())
    txtTarget_->setText(QString::fromStdString(browser::RetargetExport(target.toStdString(), format)));
  // Video pictures have even sides.
  if (browser::ExportNeedsEvenSize(format)) SideChanged(spnWidth_, spnHeight_, movie_.width, movie_.height);
}

void ExportDialog::SideChanged(QSpinBox* changed, QSpinBox* other, int movieSide, int movieOther) {
  if (linking_) return;
  linking_ = true;
  const bool even = browser::ExportNeedsEvenSize(Format());
  int side = changed->value();
  if (even && side % 2) changed->setValue(side = std::max(2, side - 1));
  other->setValue(browser::AspectSide(side, movieSide, movieOther, even));
  linking_ = false;
}

void ExportDialog::Browse() {
  const browser::ExportFormat format = Format();
  const std::string current = txtTarget_->text().toStdString();
  QString chosen;
  if (format == browser::ExportFormat::Png) {
    chosen = QFileDialog::getExistingDirectory(this, Text("frmExport/strBrowse", "Choose Where to Save the Video"),
                                               QString::fromStdString(FolderOf(current)));
    if (!chosen.isEmpty()) chosen += QStringLiteral("/%05d.png");
  } else {
    const QString extension = QString::fromUtf8(browser::ExportExtension(format).data(),
                                                static_cast<int>(browser::ExportExtension(format).size()));
    chosen = QFileDialog::getSaveFileName(this, Text("frmExport/strBrowse", "Choose Where to Save the Video"),
                                          QString::fromStdString(current), cmbFormat_->currentText() +
                                              QStringLiteral(" (*") + extension + QStringLiteral(")"));
    if (!chosen.isEmpty() && !chosen.endsWith(extension, Qt::CaseInsensitive)) chosen += extension;
  }
  if (!chosen.isEmpty()) txtTarget_->setText(chosen);
}

browser::ExportSettings ExportDialog::Settings() const {
  browser::ExportSettings settings;
  settings.source = movie_.source;
  settings.target = txtTarget_->text().trimmed().toStdString();
  settings.format = Format();
  settings.width = spnWidth_->value();
  settings.height = spnHeight_->value();
  const double rate = cmbRate_->currentText().toDouble();
  settings.fps = rate > 0 && std::abs(rate - movie_.rate) > 0.001 ? rate : 0;
  const bool fromCurrent = optCurrent_->isChecked() && optCurrent_->isEnabled();
  if (fromCurrent) {
    settings.from.set = true;
    settings.from.frame = movie_.currentFrame;
  }
  if (spnLength_->value() > 0) {
    const double start = fromCurrent && movie_.rate > 0 ? static_cast<double>(movie_.currentFrame - 1) / movie_.rate : 0;
    settings.to.set = true;
    settings.to.isTime = true;
    settings.to.seconds = start + spnLength_->value();
  }
  settings.sound = chkSound_->isChecked();
  return settings;
}

void ExportDialog::StoreChoices() const {
  options_.WriteText("Export", "Format", browser::ExportFormatName(Format()));
  options_.WriteBool("Export", "Sound", chkSound_->isChecked());
  std::string folder = FolderOf(txtTarget_->text().trimmed().toStdString());
  if (Format() == browser::ExportFormat::Png && folder.size() > 1) folder = FolderOf(folder.substr(0, folder.size() - 1));
  if (!folder.empty()) options_.WriteText("Export", "Folder", folder);
}

// ---- frmProgress -----------------------------------------------------------------------

ProgressWindow::ProgressWindow(const QString& what, QWidget* parent) : StyledDialog(parent) {
  setObjectName(QStringLiteral("frmProgress"));
  setWindowTitle(Text("frmProgress/Caption", "Exporting"));
  setModal(true);
  lblWait_ = new QLabel(what, this);
  lblWait_->setObjectName(QStringLiteral("lblWait"));
  QFont bold = lblWait_->font();
  bold.setBold(true);
  lblWait_->setFont(bold);
  lblStatus_ = new QLabel(Text("frmProgress/strStarting", "Starting..."), this);
  lblStatus_->setObjectName(QStringLiteral("lblStatus"));
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("Progress"));
  progress_->setRange(0, 0);
  cbCancel_ = new QPushButton(Text("frmProgress/cbCancel", "Cancel"), this);
  cbCancel_->setObjectName(QStringLiteral("cbCancel"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cbCancel_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(14, 12, 14, 12);
  layout->addWidget(lblWait_);
  layout->addSpacing(18);
  layout->addWidget(progress_);
  layout->addWidget(lblStatus_);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  connect(cbCancel_, &QPushButton::clicked, this, &ProgressWindow::reject);
  resize(400, sizeHint().height());
  SetVisual(lblWait_->sizeHint().height() + 24);
  clock_.start();
}

void ProgressWindow::SetProgress(const browser::ExportProgress& progress) {
  if (progress.total <= 0) return;
  progress_->setRange(0, static_cast<int>(std::min<long>(progress.total, 1 << 30)));
  progress_->setValue(static_cast<int>(std::min(progress.done, progress.total)));
  const double elapsed = static_cast<double>(clock_.elapsed()) / 1000.0;
  const double left = progress.done > 0 ? elapsed * static_cast<double>(progress.total - progress.done) / progress.done : 0;
  if (cancel_) return;
  // After the last picture the encoders empty their queues and the file is closed.
  if (progress.done >= progress.total) {
    lblStatus_->setText(Text("frmProgress/strFinishing", "Finishing the file..."));
    return;
  }
  lblStatus_->setText(Text("frmProgress/strFrames", "Frame %1 of %2, %3 left")
                          .arg(progress.done)
                          .arg(progress.total)
                          .arg(Clock(left)));
}

void ProgressWindow::Done() {
  done_ = true;
  QDialog::accept();
}

void ProgressWindow::reject() {
  // The work stops before its next picture; the window waits for it.
  if (done_) {
    QDialog::reject();
    return;
  }
  cancel_ = true;
  cbCancel_->setEnabled(false);
  lblStatus_->setText(Text("frmProgress/strStopping", "Stopping..."));
}

browser::ExportResult RunExportWithProgress(const browser::ExportSettings& settings, const QString& what,
                                            QWidget* parent) {
  ProgressWindow window(what, parent);
  browser::ExportResult result;
  std::thread worker([&] {
    result = browser::ExportVideo(settings, &window.CancelFlag(), [&window](const browser::ExportProgress& progress) {
      QMetaObject::invokeMethod(&window, [&window, progress] { window.SetProgress(progress); }, Qt::QueuedConnection);
    });
    QMetaObject::invokeMethod(&window, [&window] { window.Done(); }, Qt::QueuedConnection);
  });
  window.exec();
  worker.join();
  return result;
}

// ---- The command -----------------------------------------------------------------------

std::string ExportVideo(const ExportMovie& movie, core::OptionsStore& options, QWidget* owner,
                        const std::function<void(const std::string& folder)>& showFolder) {
  ExportDialog dialog(movie, options, owner);
  const std::string caption = UiText("frmExport/Caption", "Export Video");
  while (dialog.exec() == QDialog::Accepted) {
    dialog.StoreChoices();
    const browser::ExportSettings settings = dialog.Settings();
    const bool sequence = settings.format == browser::ExportFormat::Png;
    const std::string first = sequence ? browser::FramePatternName(settings.target, 1) : settings.target;
    // A file's folder is made on request, as the extractor makes its destination; a
    // sequence makes the folder of its pictures itself.
    const std::string folder = FolderOf(settings.target);
    if (!sequence && !folder.empty() && !core::FolderExists(folder)) {
      if (ShowMessage(&dialog,
                      UiText("Shared/Nofolder", "Specified path does not exist:") + "\r\n" + folder + "\r\n\r\n" +
                          UiText("Shared/NeedFolder", "Would you like it to be created?"),
                      caption, "folder", UiText("Shared/MakeFolder", "Create Folder"), UiText("Shared/Cancel", "Cancel")))
        continue;
      std::error_code made;
      std::filesystem::create_directories(folder, made);
      if (!core::FolderExists(folder)) {
        ShowMessage(&dialog, UiText("Shared/FailFolder", "Could not create specified path. Please choose a different one"),
                    caption, "folder", UiText("Shared/Ok", "OK"));
        continue;
      }
    }
    std::error_code ignored;
    if (std::filesystem::exists(first, ignored) &&
        !ShowMessage(&dialog,
                     UiText("frmExport/strExists", "This file exists already:") + "\r\n" + first + "\r\n\r\n" +
                         UiText("frmExport/strReplace", "Would you like to replace it?"),
                     caption, "info", UiText("Shared/Cancel", "Cancel"), UiText("frmExport/strReplaceButton", "Replace")))
      continue;
    const QString what = Text("frmProgress/strExporting", "Exporting %1").arg(QString::fromStdString(movie.title));
    const browser::ExportResult result = RunExportWithProgress(settings, what, &dialog);
    if (result.stopped) continue;
    if (!result.error.empty()) {
      ShowMessage(&dialog, UiText("frmExport/strFailed", "The video could not be made:") + "\r\n\r\n" + result.error,
                  caption, "error", UiText("Shared/Close", "Close"));
      continue;
    }
    if (showFolder) showFolder(sequence ? FolderOf(first) : FolderOf(settings.target));
    return first;
  }
  return {};
}

}  // namespace vantrel::ui
