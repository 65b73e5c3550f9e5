#include "ui/first_run_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>

#include "core/language.h"
#include "core/options.h"
#include "core/paths.h"
#include "system/associations.h"
#include "system/flash_folder.h"
#include "ui/languages_ui.h"

namespace vantrel::ui {

FirstRunDialog::FirstRunDialog(core::Languages& languages, core::OptionsStore& options, QWidget* parent)
    : StyledDialog(parent), languages_(languages), options_(options) {
  setObjectName(QStringLiteral("frmFirstRun"));
  setWindowTitle(QStringLiteral("Vantrel First Run"));
  setModal(true);

  auto* welcome = new QLabel(
      QStringLiteral("Welcome to Vantrel. Choose the language of the interface and the folder that holds your "
                     "Flash movies."),
      this);
  welcome->setObjectName(QStringLiteral("lblWelcome"));
  welcome->setWordWrap(true);

  auto* langLabel = new QLabel(QStringLiteral("Language:"), this);
  langLabel->setObjectName(QStringLiteral("lblLang"));
  cmbLang_ = new QComboBox(this);
  cmbLang_->setObjectName(QStringLiteral("cmbLang"));
  for (const core::LanguageInfo& info : languages_.Table()) {
    cmbLang_->addItem(QString::fromStdString(info.FileBase + " - " + info.Title));
  }
  cmbLang_->setCurrentIndex(static_cast<int>(languages_.Current()));

  auto* flashLabel = new QLabel(QStringLiteral("My Flash Folder:"), this);
  flashLabel->setObjectName(QStringLiteral("lblFlash"));
  txtMyFlash_ = new QLineEdit(this);
  txtMyFlash_->setObjectName(QStringLiteral("txtMyFlash"));
  // Room for a whole path.
  txtMyFlash_->setMinimumWidth(txtMyFlash_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 48);
  txtMyFlash_->setText(QString::fromStdString(options_.ReadOption(*core::FindOption("Recent", "MyFlash"))));
  auto* cbFlash = new QPushButton(QStringLiteral("..."), this);
  cbFlash->setObjectName(QStringLiteral("cbFlash"));
  cbFlash->setToolTip(QStringLiteral("Select your Flash Folder:"));

  chkDefault_ = new QCheckBox(QStringLiteral("Make Vantrel default Flash Player"), this);
  chkDefault_->setObjectName(QStringLiteral("chkDefault"));
  chkDefault_->setChecked(true);

  auto* cbHelp = new QPushButton(QStringLiteral("?"), this);
  cbHelp->setObjectName(QStringLiteral("cbHelp"));
  auto* cbGo = new QPushButton(QStringLiteral("Go"), this);
  cbGo->setObjectName(QStringLiteral("cbGo"));
  cbGo->setDefault(true);

  auto* grid = new QGridLayout(this);
  grid->addWidget(welcome, 0, 0, 1, 3);
  grid->addWidget(langLabel, 1, 0);
  grid->addWidget(cmbLang_, 1, 1, 1, 2);
  grid->addWidget(flashLabel, 2, 0);
  grid->addWidget(txtMyFlash_, 2, 1);
  grid->addWidget(cbFlash, 2, 2);
  grid->addWidget(chkDefault_, 3, 0, 1, 3);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cbHelp);
  buttons->addStretch(1);
  buttons->addWidget(cbGo);
  grid->addLayout(buttons, 4, 0, 1, 3);

  connect(cmbLang_, &QComboBox::currentIndexChanged, this, &FirstRunDialog::LanguageChosen);
  connect(cbFlash, &QPushButton::clicked, this, [this] {
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Select your Flash Folder:"),
                                                             txtMyFlash_->text());
    if (!folder.isEmpty()) txtMyFlash_->setText(QString::fromStdString(core::AddSlash(folder.toStdString())));
  });
  connect(cbHelp, &QPushButton::clicked, this, [this] {
    if (onHelp) onHelp();
  });
  connect(cbGo, &QPushButton::clicked, this, [this] {
    Confirm();
    accept();
  });
  ApplyLanguage(this, languages_);
  // The welcome text sits on the light band, which ends above the first row.
  grid->setRowMinimumHeight(0, 52);
  SetVisual(grid->contentsMargins().top() + 52 + grid->verticalSpacing() / 2);
}

void FirstRunDialog::LanguageChosen(int index) {
  if (index < 0) return;
  languages_.SetCurrent(static_cast<std::size_t>(index));
  languages_.LoadLanguage();
  ApplyLanguage(this, languages_);
}

void FirstRunDialog::Confirm() {
  if (chkDefault_->isChecked()) {
    system::AssociationRequest request;
    request.movie = request.video = request.playlist = true;
    request.executable = QCoreApplication::applicationFilePath().toStdString();
    request.lookup = [this](std::string_view key, std::string_view defaultText) {
      return languages_.LangText(key, defaultText);
    };
    system::SetAssociations(options_, dirs, request);
  }
  const auto& table = languages_.Table();
  if (languages_.Current() < table.size()) options_.WriteText("System", "Language", table[languages_.Current()].FileBase);
  const std::string folder = txtMyFlash_->text().trimmed().toStdString();
  if (!folder.empty()) {
    const std::string withSlash = core::AddSlash(folder);
    // The documents folder itself may be missing on a fresh account.
    std::error_code ec;
    std::filesystem::create_directories(withSlash, ec);
    system::CustomiseFolder(withSlash, system::FlashFolderTipFor(languages_));
    options_.WriteText("Recent", "MyFlash", withSlash);
    // The file dialogs and the browser start in the Flash folder too.
    options_.WriteText("Recent", "", withSlash);
  }
}

}  // namespace vantrel::ui
