#include "browser/decompiler_dialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "browser/browser_messages.h"
#include "core/options.h"
#include "core/paths.h"
#include "ui/presentation.h"

namespace vantrel::browser {

QString DecompilerDialog::Text(std::string_view key, std::string_view fallback) const {
  return QString::fromStdString(lookup_ ? lookup_(key, fallback) : std::string(fallback));
}

DecompilerDialog::DecompilerDialog(const media::MediaRecord& record, core::OptionsStore& options,
                                   player::DialogPort* dialogs, media::TextLookup lookup, core::ExecutionLog* log,
                                   QWidget* parent)
    : ui::StyledDialog(parent), record_(record), options_(options), dialogs_(dialogs), lookup_(std::move(lookup)), log_(log) {
  setObjectName(QStringLiteral("frmDecompiler"));
  setWindowTitle(Text("frmDecompiler/Caption", "Resource Extractor"));
  auto* layout = new QVBoxLayout(this);
  // The dialog keeps the size its idle view needs: the busy view's progress bar comes
  // and goes without leaving it larger.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  auto* what = new QLabel(Text("frmDecompiler/lblExtract", "Resources to Extract:"), this);
  what->setObjectName(QStringLiteral("lblExtract"));
  layout->addWidget(what);
  for (std::size_t i = 0; i < media::kExtractCategories; ++i) {
    const std::string name(media::kExtractBoxNames[i]);
    auto* box = new QCheckBox(Text("frmDecompiler/" + name, media::kExtractCaptions[i]), this);
    box->setObjectName(QString::fromStdString(name));
    const std::string key(media::kExtractOptionKeys[i]);
    box->setChecked(options_.ReadBool("Decompiler", key, media::kExtractDefaults[i]));
    boxes_[i] = box;
    layout->addWidget(box);
  }
  destLabel_ = new QLabel(Text("frmDecompiler/lblDest", "Destination Folder:"), this);
  destLabel_->setObjectName(QStringLiteral("lblDest"));
  layout->addWidget(destLabel_);
  auto* destRow = new QHBoxLayout();
  dest_ = new QLineEdit(this);
  dest_->setObjectName(QStringLiteral("txtDest"));
  // Room for a whole path.
  dest_->setMinimumWidth(dest_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 48);
  browse_ = new QPushButton(QStringLiteral("..."), this);
  browse_->setObjectName(QStringLiteral("cbBrowse"));
  browse_->setToolTip(Text("frmDecompiler/cbBrowse", "Browse for Destination Folder"));
  destRow->addWidget(dest_, 1);
  destRow->addWidget(browse_);
  layout->addLayout(destRow);
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("Progress"));
  progress_->setRange(0, 1000);
  progress_->hide();
  layout->addWidget(progress_);
  auto* buttons = new QHBoxLayout();
  auto* help = new QPushButton(Text("Shared/Help", "Help"), this);
  help->setObjectName(QStringLiteral("cbHelp"));
  go_ = new QPushButton(Text("frmDecompiler/cbGo", "Extract"), this);
  go_->setObjectName(QStringLiteral("cbGo"));
  cancel_ = new QPushButton(Text("frmDecompiler/cbCancel", "Stop"), this);
  cancel_->setObjectName(QStringLiteral("cbCancel"));
  cancel_->hide();
  done_ = new QPushButton(Text("Shared/Close", "Close"), this);
  done_->setObjectName(QStringLiteral("cbDone"));
  buttons->addWidget(help);
  buttons->addStretch(1);
  buttons->addWidget(go_);
  buttons->addWidget(cancel_);
  buttons->addWidget(done_);
  layout->addLayout(buttons);

  connect(dest_, &QLineEdit::textChanged, this, [this] { go_->setEnabled(!dest_->text().isEmpty()); });
  connect(browse_, &QPushButton::clicked, this, [this] {
    if (!dialogs_) return;
    const std::string folder = dialogs_->ChooseFolder(
        Text("frmDecompiler/strBrowse", "Select a folder to save extracted resources to:").toStdString(),
        dest_->text().toStdString());
    if (!folder.empty()) SetDestination(core::AddSlash(folder));
  });
  connect(go_, &QPushButton::clicked, this, [this] { Extract(); });
  connect(cancel_, &QPushButton::clicked, this, [this] {
    cancel_->setEnabled(false);
    cancelFlag_ = true;
  });
  connect(done_, &QPushButton::clicked, this, &QDialog::accept);
  connect(help, &QPushButton::clicked, this, [] { ui::OpenHelp("flash-decompiler"); });
  SetDestination(options_.ReadOption(*core::FindOption("Decompiler", "Destination"),
                                     options_.ReadOption(*core::FindOption("Recent", "MyFlash"),
                                                         core::DefaultMyFlashFolder())));
  // Enter extracts: the dialog opens ready for its one job.
  go_->setDefault(true);
  go_->setFocus();
  SetVisual(help);
}

DecompilerDialog::~DecompilerDialog() { StoreChoices(); }

void DecompilerDialog::StoreChoices() {
  options_.BeginBatch();
  for (std::size_t i = 0; i < media::kExtractCategories; ++i)
    options_.WriteBool("Decompiler", media::kExtractOptionKeys[i], boxes_[i]->isChecked());
  options_.WriteText("Decompiler", "Destination", dest_->text().toStdString());
  options_.EndBatch();
}

void DecompilerDialog::SetDestination(const std::string& folder) {
  dest_->setText(QString::fromStdString(folder));
  go_->setEnabled(!folder.empty());
}

void DecompilerDialog::SetBusy(bool busy) {
  for (QWidget* child : findChildren<QWidget*>()) child->setEnabled(!busy);
  progress_->setVisible(busy);
  progress_->setEnabled(true);
  destLabel_->setVisible(!busy);
  dest_->setVisible(!busy);
  browse_->setVisible(!busy);
  done_->setVisible(!busy);
  cancel_->setVisible(busy);
  cancel_->setEnabled(busy);
  findChild<QPushButton*>(QStringLiteral("cbHelp"))->setEnabled(true);
}

bool DecompilerDialog::Extract() {
  const std::string folder = core::AddSlash(dest_->text().toStdString());
  dest_->setText(QString::fromStdString(folder));
  const std::string title = windowTitle().toStdString();
  if (!core::FolderExists(folder)) {
    const int answer = BrowserMessage(
        dialogs_,
        Text("Shared/Nofolder", "Specified path does not exist:").toStdString() + "\r\n" + folder + "\r\n\r\n" +
            Text("Shared/NeedFolder", "Would you like it to be created?").toStdString(),
        title, {Text("Shared/MakeFolder", "Create Folder").toStdString(), Text("Shared/Cancel", "Cancel").toStdString()},
        "folder");
    if (answer != 0) return false;
    core::MakeFolder(folder);
  }
  if (!core::FolderExists(folder)) {
    BrowserMessage(dialogs_,
                   Text("Shared/FailFolder", "Could not create specified path. Please choose a different one")
                       .toStdString(),
                   title, {Text("Shared/Ok", "OK").toStdString()}, "folder");
    return false;
  }
  StoreChoices();
  SetBusy(true);
  QCoreApplication::processEvents();
  cancelFlag_ = false;
  std::array<bool, media::kExtractCategories> chosen{};
  for (std::size_t i = 0; i < media::kExtractCategories; ++i) chosen[i] = boxes_[i]->isChecked();
  counters_ = media::CountersFor(chosen);
  media::ExtractResources(
      record_, folder,
      [this](double value, std::string_view label) {
        progress_->setValue(static_cast<int>(value * 1000));
        progress_->setFormat(QString::fromUtf8(label.data(), static_cast<int>(label.size())));
        QCoreApplication::processEvents();
      },
      counters_, &cancelFlag_, log_);
  SetBusy(false);

  // The summary uses the captions the dialog shows.
  std::string summary;
  for (std::size_t i = 0; i < media::kExtractCategories; ++i)
    if (counters_[i] > 0) summary += "\r\n" + boxes_[i]->text().toStdString() + ": " + std::to_string(counters_[i]);
  lastMessage_ = summary.empty()
                     ? Text("frmDecompiler/strNoResult", "No resources were extracted").toStdString()
                     : Text("frmDecompiler/strDone", "The following resources were extracted:").toStdString() + "\r\n" +
                           summary;
  // The walk ignores write errors: the counters say what it tried to write, and what
  // failed is only in the execution log.
  std::vector<std::string> buttons = {Text("Shared/Close", "Close").toStdString()};
  if (!summary.empty()) buttons.push_back(Text("Shared/ShowFiles", "Show Files").toStdString());
  if (BrowserMessage(dialogs_, lastMessage_, title, buttons, "cubes") == 1 && onShowFiles) onShowFiles(folder);
  return true;
}

}  // namespace vantrel::browser
