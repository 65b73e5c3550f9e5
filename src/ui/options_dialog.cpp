#include "ui/options_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <iterator>

#include "core/options.h"
#include "core/paths.h"
#include "ui/languages_ui.h"
#include "ui/presentation.h"

namespace vantrel::ui {

namespace {
constexpr int kBandHeight = 58;

QLineEdit* PercentBox(QWidget* parent, const char* name) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->setMaximumWidth(60);
  return box;
}
}  // namespace

OptionsDialog::OptionsDialog(core::OptionsStore& options, Effects effects, QWidget* parent)
    : StyledDialog(parent), options_(options), effects_(std::move(effects)) {
  setObjectName(QStringLiteral("frmOptions"));
  setWindowTitle(QStringLiteral("Options"));

  auto* heading = new QLabel(QStringLiteral("Vantrel Options"), this);
  heading->setObjectName(QStringLiteral("lblTitle"));
  QFont big = heading->font();
  big.setPointSizeF(big.pointSizeF() * 1.5);
  big.setBold(true);
  heading->setFont(big);
  pageBar_ = new QListWidget(this);
  pageBar_->setObjectName(QStringLiteral("SlideBar"));
  pageBar_->setFixedWidth(150);
  pages_ = new QStackedWidget(this);
  connect(pageBar_, &QListWidget::currentRowChanged, this, [this](int row) { ShowPage(row); });

  // Start Up & Exit
  QWidget* general = AddPage("picGeneral", "frmOptions/General", "Start Up & Exit");
  chkInstance_ = AddCheck(general, "chkInstance", "One Instance of Vantrel Only");
  chkScreenSaver_ = AddCheck(general, "chkScreenSaver", "Temporarily Disable Screen Saver");
  chkIntro_ = AddCheck(general, "chkIntro", "Show Feature Overview at Start");
  cmbCache_ = new QComboBox(general);
  cmbCache_->setObjectName(QStringLiteral("cmbCache"));
  cmbCache_->addItems({QStringLiteral("Don't Clear Cache Up"), QStringLiteral("Keep Thumbnails Only"),
                       QStringLiteral("Clear Cache Up!")});
  auto* cacheLabel = new QLabel(QStringLiteral("On Exit:"), general);
  cacheLabel->setObjectName(QStringLiteral("lblCache"));
  auto* flashLabel = new QLabel(QStringLiteral("My Flash Folder:"), general);
  flashLabel->setObjectName(QStringLiteral("lblMyFlash"));
  txtMyFlash_ = new QLineEdit(general);
  txtMyFlash_->setObjectName(QStringLiteral("txtMyFlash"));
  cbFlash_ = new QPushButton(QStringLiteral("..."), general);
  cbFlash_->setObjectName(QStringLiteral("cbFlash"));
  cbFlash_->setToolTip(QStringLiteral("Select your Flash Folder:"));
  connect(cbFlash_, &QPushButton::clicked, this, [this] {
    const std::string prompt = UiText("frmOptions/strSelectFolder", "Select your Flash Folder:");
    std::string folder;
    if (effects_.chooseFolder) {
      folder = effects_.chooseFolder(prompt, txtMyFlash_->text().toStdString());
    } else {
      const QString chosen = QFileDialog::getExistingDirectory(this, QString::fromStdString(prompt), txtMyFlash_->text());
      if (!chosen.isEmpty()) folder = core::AddSlash(chosen.toStdString());
    }
    if (!folder.empty()) txtMyFlash_->setText(QString::fromStdString(folder));
  });
  auto* generalLayout = qobject_cast<QVBoxLayout*>(general->layout());
  auto* cacheRow = new QHBoxLayout;
  cacheRow->addWidget(cacheLabel);
  cacheRow->addWidget(cmbCache_, 1);
  generalLayout->addLayout(cacheRow);
  generalLayout->addWidget(flashLabel);
  auto* flashRow = new QHBoxLayout;
  flashRow->addWidget(txtMyFlash_, 1);
  flashRow->addWidget(cbFlash_);
  generalLayout->addLayout(flashRow);
  generalLayout->addStretch(1);

  // Flash Movies
  QWidget* flash = AddPage("picFlash", "frmOptions/Flash", "Flash Movies");
  auto* typesLabel = new QLabel(QStringLiteral("Open these files with Vantrel:"), flash);
  typesLabel->setObjectName(QStringLiteral("lblFileTypes"));
  flash->layout()->addWidget(typesLabel);
  chkFlash_ = AddCheck(flash, "chkFlash", "Macromedia Flash (SWF)");
  chkVideo_ = AddCheck(flash, "chkVideo", "Flash Video (FLV)");
  chkPlaylist_ = AddCheck(flash, "chkPlaylist", "Flash Playlist (vantrel)");
  chkFSCommand_ = AddCheck(flash, "chkFSCommand", "Listen to FS Commands");
  chkLocalNetwork_ = AddCheck(flash, "chkLocalNetwork", "Let Movies Opened from Files Use the Network");
  qobject_cast<QVBoxLayout*>(flash->layout())->addStretch(1);

  // Thumbnails
  QWidget* thumbnails = AddPage("picThumbnails", "frmOptions/Thumbnails", "Thumbnails");
  txtQuality_ = PercentBox(thumbnails, "txtQuality");
  txtFrom_ = PercentBox(thumbnails, "txtFrom");
  txtTo_ = PercentBox(thumbnails, "txtTo");
  auto* form = new QFormLayout;
  auto* qualityLabel = new QLabel(QStringLiteral("JPEG Quality:"), thumbnails);
  qualityLabel->setObjectName(QStringLiteral("lblQuality"));
  form->addRow(qualityLabel, txtQuality_);
  auto* range = new QHBoxLayout;
  range->addWidget(txtFrom_);
  range->addWidget(new QLabel(QStringLiteral("–"), thumbnails));
  range->addWidget(txtTo_);
  range->addStretch(1);
  auto* rangeLabel = new QLabel(QStringLiteral("Sample Range:"), thumbnails);
  rangeLabel->setObjectName(QStringLiteral("lblRange"));
  form->addRow(rangeLabel, range);
  qobject_cast<QVBoxLayout*>(thumbnails->layout())->addLayout(form);
  chkHQShots_ = AddCheck(thumbnails, "chkHQShots", "High Quality Thumbnails");
  chkStore_ = AddCheck(thumbnails, "chkStore", "Save in Movie's Folder");
  qobject_cast<QVBoxLayout*>(thumbnails->layout())->addStretch(1);
  for (QLineEdit* box : {txtQuality_, txtFrom_, txtTo_}) {
    connect(box, &QLineEdit::editingFinished, this, [this, box] {
      box->setText(QString::number(ClampPercent(box->text())));
      CheckRange();
    });
  }

  // Appearance
  QWidget* appearance = AddPage("picAppearance", "frmOptions/Appearance", "Appearance");
  cmbStyle_ = new QComboBox(appearance);
  cmbStyle_->setObjectName(QStringLiteral("cmbStyle"));
  cmbStyle_->addItems({QStringLiteral("Simply Flat"), QStringLiteral("Smooth Gradients"), QStringLiteral("Glassy Look!")});
  cmbSkinColor_ = new QComboBox(appearance);
  cmbSkinColor_->setObjectName(QStringLiteral("cmbSkinColor"));
  cmbSkinColor_->addItems({QStringLiteral("System"), QStringLiteral("Dark!")});
  txtFont_ = new QLineEdit(appearance);
  txtFont_->setObjectName(QStringLiteral("txtFont"));
  txtFont_->setReadOnly(true);
  cbFont_ = new QPushButton(QStringLiteral("..."), appearance);
  cbFont_->setObjectName(QStringLiteral("cbFont"));
  connect(cbFont_, &QPushButton::clicked, this, [this] {
    bool ok = false;
    QFont start(txtFont_->text());
    start.setPointSize(fontSize_);
    const QFont chosen = QFontDialog::getFont(&ok, start, this);
    if (!ok) return;
    txtFont_->setText(chosen.family());
    fontSize_ = std::max(1, chosen.pointSize());
  });
  auto* look = new QFormLayout;
  auto* styleLabel = new QLabel(QStringLiteral("Visual Style:"), appearance);
  styleLabel->setObjectName(QStringLiteral("lblStyle"));
  look->addRow(styleLabel, cmbStyle_);
  auto* skinLabel = new QLabel(QStringLiteral("Skin Colors:"), appearance);
  skinLabel->setObjectName(QStringLiteral("lblSkinColor"));
  look->addRow(skinLabel, cmbSkinColor_);
  auto* fontRow = new QHBoxLayout;
  fontRow->addWidget(txtFont_, 1);
  fontRow->addWidget(cbFont_);
  auto* fontLabel = new QLabel(QStringLiteral("Preferred Font:"), appearance);
  fontLabel->setObjectName(QStringLiteral("lblFont"));
  look->addRow(fontLabel, fontRow);
  qobject_cast<QVBoxLayout*>(appearance->layout())->addLayout(look);
  chkCentered_ = AddCheck(appearance, "chkCentered", "Center Player Window");
  chkCrop_ = AddCheck(appearance, "chkCrop", "Crop Movie Viewport");
  qobject_cast<QVBoxLayout*>(appearance->layout())->addStretch(1);

  // Advanced
  QWidget* advanced = AddPage("picAdvanced", "frmOptions/Advanced", "Advanced");
  chkMRU_ = AddCheck(advanced, "chkMRU", "Keep a List of Recent Files");
  // The projector options sit where the refusal message sends the user: "Tools >
  // Options > Advanced > Skip Doubtful Projectors".
  chkProjector_ = AddCheck(advanced, "chkProjector", "Skip Doubtful Projectors");
  chkRemoveProj_ = AddCheck(advanced, "chkRemoveProj", "Replace Projectors with Movies They Contain");
  qobject_cast<QVBoxLayout*>(advanced->layout())->addStretch(1);

  auto* cbOK = new QPushButton(QStringLiteral("OK"), this);
  cbOK->setObjectName(QStringLiteral("cbOK"));
  cbOK->setDefault(true);
  auto* cbCancel = new QPushButton(QStringLiteral("Cancel"), this);
  cbCancel->setObjectName(QStringLiteral("cbCancel"));
  auto* cbHelp = new QPushButton(QStringLiteral("?"), this);
  cbHelp->setObjectName(QStringLiteral("cbHelp"));
  cbHelp->setFixedWidth(32);
  connect(cbOK, &QPushButton::clicked, this, [this] {
    ApplyOptions();
    accept();
  });
  connect(cbCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(cbHelp, &QPushButton::clicked, this, [] { OpenHelp("options"); });

  auto* middle = new QHBoxLayout;
  middle->addWidget(pageBar_);
  middle->addWidget(pages_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(cbHelp);
  buttons->addStretch(1);
  buttons->addWidget(cbOK);
  buttons->addWidget(cbCancel);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(14, 12, 14, 12);
  layout->addWidget(heading);
  layout->addSpacing(kBandHeight - 12 - heading->sizeHint().height());
  layout->addLayout(middle, 1);
  layout->addLayout(buttons);
  resize(560, 380);

  if (CurrentPresentation().languages) ApplyLanguage(this, *CurrentPresentation().languages);
  InitPages();
  LoadOptions();
  SetVisual(kBandHeight);
}

QWidget* OptionsDialog::AddPage(const char* name, const char* key, const char* title) {
  auto* page = new QWidget(pages_);
  page->setObjectName(QString::fromLatin1(name));
  page->setProperty("titleKey", QString::fromLatin1(key));
  page->setProperty("titleDefault", QString::fromUtf8(title));
  new QVBoxLayout(page);
  pages_->addWidget(page);
  return page;
}

QCheckBox* OptionsDialog::AddCheck(QWidget* page, const char* name, const char* caption) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), page);
  box->setObjectName(QString::fromLatin1(name));
  page->layout()->addWidget(box);
  return box;
}

void OptionsDialog::InitPages() {
  const QSignalBlocker blocker(pageBar_);
  pageBar_->clear();
  for (int i = 0; i < pages_->count(); ++i) {
    const QWidget* page = pages_->widget(i);
    pageBar_->addItem(QString::fromStdString(UiText(page->property("titleKey").toString().toStdString(),
                                                    page->property("titleDefault").toString().toStdString())));
  }
}

void OptionsDialog::ShowPage(int page) {
  if (page < 0 || page >= pages_->count()) page = 0;
  pages_->setCurrentIndex(page);
  if (pageBar_->currentRow() != page) pageBar_->setCurrentRow(page);
}

int OptionsDialog::Page() const { return pages_->currentIndex(); }

int OptionsDialog::ClampPercent(const QString& text) {
  bool ok = false;
  const double value = text.trimmed().toDouble(&ok);
  if (!ok) return 0;
  return static_cast<int>(std::clamp(value, 0.0, 100.0));
}

void OptionsDialog::CheckRange() {
  if (ClampPercent(txtTo_->text()) < ClampPercent(txtFrom_->text())) txtTo_->setText(txtFrom_->text());
}

void OptionsDialog::LoadOptions() {
  core::OptionsStore& o = options_;
  chkInstance_->setChecked(o.ReadBoolOption("System", "OneInstance"));
  chkScreenSaver_->setChecked(o.ReadBoolOption("System", "DisableScreenSaver"));
  chkIntro_->setChecked(o.ReadBoolOption("System", "Intro"));
  cmbCache_->setCurrentIndex(std::clamp(o.ReadNumberOption("System", "CacheMode"), 0, 2));
  loadedFlashFolder_ = o.ReadTextOption("Recent", "MyFlash");
  txtMyFlash_->setText(QString::fromStdString(loadedFlashFolder_));
  loadedFileTypes_[0] = o.ReadBoolOption("FileTypes", "SWF");
  loadedFileTypes_[1] = o.ReadBoolOption("FileTypes", "FLV");
  loadedFileTypes_[2] = o.ReadBoolOption("FileTypes", "PL");
  chkFlash_->setChecked(loadedFileTypes_[0]);
  chkVideo_->setChecked(loadedFileTypes_[1]);
  chkPlaylist_->setChecked(loadedFileTypes_[2]);
  cmbStyle_->setCurrentIndex(static_cast<int>(StyleFromNumber(o.ReadNumberOption("Window", "Style"))));
  cmbSkinColor_->setCurrentIndex(std::clamp(o.ReadNumberOption("Window", "SkinColor"), 0, 1));
  txtFont_->setText(QString::fromStdString(o.ReadText("Window", "FontName", "Century Gothic")));
  fontSize_ = std::max(1, static_cast<int>(o.ReadNumber("Window", "FontSize", 8)));
  txtQuality_->setText(QString::number(std::clamp(o.ReadNumberOption("Thumbnails", "ShotJpeg"), 0, 100)));
  txtFrom_->setText(QString::number(std::clamp(o.ReadNumberOption("Thumbnails", "SampleFrom"), 0, 100)));
  txtTo_->setText(QString::number(std::clamp(o.ReadNumberOption("Thumbnails", "SampleTo"), 0, 100)));
  chkHQShots_->setChecked(o.ReadBoolOption("Thumbnails", "HQShots"));
  chkStore_->setChecked(o.ReadBoolOption("Thumbnails", "Satellite"));
  chkFSCommand_->setChecked(o.ReadBoolOption("System", "FSCommand"));
  chkProjector_->setChecked(o.ReadBoolOption("System", "GenericProjectors"));
  chkRemoveProj_->setChecked(o.ReadBoolOption("System", "RemoveProjectors"));
  chkLocalNetwork_->setChecked(o.ReadBoolOption("System", "LocalNetwork"));
  chkMRU_->setChecked(o.ReadBoolOption("Recent", "History"));
  chkCentered_->setChecked(o.ReadBoolOption("Window", "Centered"));
  chkCrop_->setChecked(o.ReadBoolOption("Window", "Crop"));
  ShowPage(o.ReadNumberOption("System", "OptionsPage"));
}

void OptionsDialog::ApplyOptions() {
  core::OptionsStore& o = options_;
  for (QLineEdit* box : {txtQuality_, txtFrom_, txtTo_}) box->setText(QString::number(ClampPercent(box->text())));
  CheckRange();
  o.BeginBatch();
  o.WriteBool("System", "OneInstance", chkInstance_->isChecked());
  o.WriteBool("System", "DisableScreenSaver", chkScreenSaver_->isChecked());
  o.WriteBool("System", "Intro", chkIntro_->isChecked());
  o.WriteNumber("System", "CacheMode", cmbCache_->currentIndex());
  o.WriteBool("FileTypes", "SWF", chkFlash_->isChecked());
  o.WriteBool("FileTypes", "FLV", chkVideo_->isChecked());
  o.WriteBool("FileTypes", "PL", chkPlaylist_->isChecked());
  o.WriteNumber("Window", "Style", cmbStyle_->currentIndex());
  o.WriteNumber("Window", "SkinColor", cmbSkinColor_->currentIndex());
  o.WriteText("Window", "FontName", txtFont_->text().toStdString());
  o.WriteNumber("Window", "FontSize", fontSize_);
  o.WriteNumber("Thumbnails", "ShotJpeg", ClampPercent(txtQuality_->text()));
  o.WriteNumber("Thumbnails", "SampleFrom", ClampPercent(txtFrom_->text()));
  o.WriteNumber("Thumbnails", "SampleTo", ClampPercent(txtTo_->text()));
  o.WriteBool("Thumbnails", "HQShots", chkHQShots_->isChecked());
  o.WriteBool("Thumbnails", "Satellite", chkStore_->isChecked());
  o.WriteBool("System", "FSCommand", chkFSCommand_->isChecked());
  o.WriteBool("System", "GenericProjectors", chkProjector_->isChecked());
  o.WriteBool("System", "RemoveProjectors", chkRemoveProj_->isChecked());
  o.WriteBool("System", "LocalNetwork", chkLocalNetwork_->isChecked());
  o.WriteBool("Recent", "History", chkMRU_->isChecked());
  o.WriteBool("Window", "Centered", chkCentered_->isChecked());
  o.WriteBool("Window", "Crop", chkCrop_->isChecked());
  o.WriteNumber("System", "OptionsPage", Page());

  std::string folder = txtMyFlash_->text().trimmed().toStdString();
  if (!folder.empty()) folder = core::AddSlash(folder);
  if (!folder.empty() && folder != loadedFlashFolder_) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    o.WriteText("Recent", "MyFlash", folder);
    const std::string old = loadedFlashFolder_;
    loadedFlashFolder_ = folder;
    if (effects_.flashFolderChanged) effects_.flashFolderChanged(old, folder);
  }
  // The desktop's openers change only when the user changed a box: a type another
  // program took meanwhile is not taken back behind the user's back.
  const bool types[3] = {chkFlash_->isChecked(), chkVideo_->isChecked(), chkPlaylist_->isChecked()};
  if (!std::equal(std::begin(types), std::end(types), std::begin(loadedFileTypes_))) {
    std::copy(std::begin(types), std::end(types), std::begin(loadedFileTypes_));
    if (effects_.fileTypesChanged) effects_.fileTypesChanged(types[0], types[1], types[2]);
  }
  // The generated skin is drawn again at its next load.
  o.WriteNumber("View", "ThemeHash", 0);
  o.EndBatch();

  CurrentPresentation().style = cmbStyle_->currentIndex();
  if (effects_.screenSaver) effects_.screenSaver(chkScreenSaver_->isChecked());
  if (effects_.relayout) effects_.relayout();
  if (effects_.save) effects_.save();
}

}  // namespace vantrel::ui
