#include "browser/generator_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "browser/browser_messages.h"
#include "core/options.h"
#include "core/paths.h"
#include "media/projector.h"
#include "ui/presentation.h"

namespace vantrel::browser {

namespace {

int Whole(const QLineEdit* field) { return static_cast<int>(std::lround(field->text().toDouble())); }

}  // namespace

QString GeneratorDialog::Text(std::string_view key, std::string_view fallback) const {
  return QString::fromStdString(services_.lookup ? services_.lookup(key, fallback) : std::string(fallback));
}

GeneratorDialog::GeneratorDialog(GeneratorServices services, QWidget* parent)
    : ui::StyledDialog(parent), services_(std::move(services)) {
  setObjectName(QStringLiteral("frmGenerator"));
  setWindowTitle(Text("frmGenerator/Caption", "Thumbnail Generator"));
  auto* layout = new QVBoxLayout(this);
  // The dialog keeps the size its idle view needs: the busy view's progress and preview
  // come and go without leaving it larger.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  const auto named = [](QWidget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
  };

  auto* sourceRow = new QHBoxLayout();
  sourceLabel_ = new QLabel(Text("frmGenerator/lblSource", "Source Folder:"), this);
  named(sourceLabel_, "lblSource");
  source_ = new QLineEdit(this);
  named(source_, "txtSource");
  browse_ = new QPushButton(QStringLiteral("..."), this);
  named(browse_, "cbBrowse");
  browse_->setToolTip(Text("frmGenerator/cbBrowse", "Browse for Source Folder"));
  sourceRow->addWidget(sourceLabel_);
  sourceRow->addWidget(source_, 1);
  sourceRow->addWidget(browse_);
  layout->addLayout(sourceRow);
  status_ = new QLabel(this);
  named(status_, "lblStatus");
  status_->hide();
  layout->addWidget(status_);

  auto* properties = new QGroupBox(Text("frmGenerator/lblProperties", "Thumbnail Properties:"), this);
  auto* grid = new QGridLayout(properties);
  fixed_ = new QRadioButton(Text("frmGenerator/lblSize", "Size:"), properties);
  named(fixed_, "optSize0");
  width_ = new QLineEdit(properties);
  named(width_, "txtWidth");
  height_ = new QLineEdit(properties);
  named(height_, "txtHeight");
  percentOption_ = new QRadioButton(Text("frmGenerator/optSize1", "Percent:"), properties);
  named(percentOption_, "optSize1");
  percent_ = new QComboBox(properties);
  named(percent_, "cmbSize");
  percent_->setEditable(true);
  percent_->addItems({QStringLiteral("50"), QStringLiteral("100"), QStringLiteral("200")});
  grid->addWidget(fixed_, 0, 0);
  grid->addWidget(width_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("x"), properties), 0, 2);
  grid->addWidget(height_, 0, 3);
  grid->addWidget(new QLabel(Text("frmGenerator/lblPx", "px"), properties), 0, 4);
  grid->addWidget(percentOption_, 1, 0);
  grid->addWidget(percent_, 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("%"), properties), 1, 2);
  color_ = new QCheckBox(Text("frmGenerator/chkColor", "Custom Back Color"), properties);
  named(color_, "chkColor");
  colorText_ = new QLineEdit(properties);
  named(colorText_, "txtColor");
  grid->addWidget(color_, 2, 0);
  grid->addWidget(colorText_, 2, 1);
  grid->addWidget(new QLabel(Text("frmGenerator/lblHex", "Hex"), properties), 2, 2);
  quality_ = new QLineEdit(properties);
  named(quality_, "txtQuality");
  quality_->setToolTip(Text("frmGenerator/txtQuality", "JPEG compression quality"));
  grid->addWidget(new QLabel(Text("frmGenerator/lblQuality", "JPEG Quality:"), properties), 3, 0);
  grid->addWidget(quality_, 3, 1);
  sample_ = new QLabel(properties);
  named(sample_, "picSample");
  sample_->setMinimumSize(120, 90);
  grid->addWidget(sample_, 0, 5, 4, 1);
  layout->addWidget(properties);

  const auto check = [&](const char* name, std::string_view key, std::string_view caption) {
    auto* box = new QCheckBox(Text(key, caption), this);
    named(box, name);
    layout->addWidget(box);
    return box;
  };
  show_ = check("chkShow", "frmGenerator/chkShow", "Show Thumbnails");
  show_->setToolTip(Text("frmGenerator/strShowTip", "Show thumbnails during generation process (a bit slower)"));
  info_ = check("chkInfo", "frmGenerator/chkInfo", "Export Movie Info to XML");
  subfolders_ = check("chkSubfolders", "frmGenerator/chkSubfolders", "Including Movies in Subfolders");
  overwrite_ = check("chkOverwrite", "frmGenerator/chkOverwrite", "Overwrite Existing Thumbnails");
  execute_ = check("chkExecute", "frmGenerator/chkExecute", "Execute an Application Upon Completion");
  execute_->setToolTip(Text("frmGenerator/strExecuteTip",
                            "Automaticaly Launch Specified Application After All Thumbnails are Generated"));
  auto* appRow = new QHBoxLayout();
  app_ = new QLineEdit(this);
  named(app_, "txtApp");
  browseApp_ = new QPushButton(QStringLiteral("..."), this);
  named(browseApp_, "cbBrowseApp");
  appRow->addWidget(app_, 1);
  appRow->addWidget(browseApp_);
  layout->addLayout(appRow);
  watermark_ = check("chkWatermark", "frmGenerator/chkWatermark", "Draw a watermark overlay on all thumbnails");
  auto* logoRow = new QHBoxLayout();
  logo_ = new QLineEdit(this);
  named(logo_, "txtWatermark");
  browseLogo_ = new QPushButton(QStringLiteral("..."), this);
  named(browseLogo_, "cbWatermark");
  logoRow->addWidget(logo_, 1);
  logoRow->addWidget(browseLogo_);
  layout->addLayout(logoRow);

  progress_ = new QProgressBar(this);
  named(progress_, "Progress");
  progress_->hide();
  layout->addWidget(progress_);

  auto* buttons = new QHBoxLayout();
  auto* help = new QPushButton(Text("Shared/Help", "Help"), this);
  named(help, "cbHelp");
  go_ = new QPushButton(Text("frmGenerator/cbGo", "Generate"), this);
  named(go_, "cbGo");
  cancel_ = new QPushButton(Text("frmGenerator/cbCancel", "Stop"), this);
  named(cancel_, "cbCancel");
  done_ = new QPushButton(Text("Shared/Close", "Close"), this);
  named(done_, "cbDone");
  cancel_->hide();
  buttons->addWidget(help);
  buttons->addStretch(1);
  buttons->addWidget(go_);
  buttons->addWidget(cancel_);
  buttons->addWidget(done_);
  layout->addLayout(buttons);

  connect(source_, &QLineEdit::textChanged, this, [this] { go_->setEnabled(!source_->text().isEmpty()); });
  connect(width_, &QLineEdit::editingFinished, this, [this] {
    if (Whole(width_) < 1) width_->setText(QStringLiteral("1"));
  });
  connect(height_, &QLineEdit::editingFinished, this, [this] {
    if (Whole(height_) < 1) height_->setText(QStringLiteral("1"));
  });
  connect(quality_, &QLineEdit::editingFinished, this, [this] {
    if (Whole(quality_) > 100) quality_->setText(QStringLiteral("100"));
    if (Whole(quality_) < 0) quality_->setText(QStringLiteral("0"));
  });
  connect(percent_->lineEdit(), &QLineEdit::editingFinished, this, [this] {
    if (std::lround(percent_->currentText().toDouble()) < 1) percent_->setEditText(QStringLiteral("1"));
  });
  for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{fixed_, percentOption_, color_, execute_, watermark_})
    connect(button, &QAbstractButton::toggled, this, &GeneratorDialog::UpdateEnabled);
  connect(browse_, &QPushButton::clicked, this, [this] {
    if (!services_.dialogs) return;
    const std::string folder = services_.dialogs->ChooseFolder(
        Text("frmGenerator/strBrowse", "Select a folder, which contains movies you wish generate thumbnails for:")
            .toStdString(),
        source_->text().toStdString());
    if (!folder.empty()) source_->setText(QString::fromStdString(folder));
  });
  connect(browseApp_, &QPushButton::clicked, this, [this] {
    if (!services_.dialogs) return;
    const auto files = services_.dialogs->OpenFiles(Text("frmGenerator/strApp", "Select a file to Launch...").toStdString(),
                                                    {{"Any File", "*.*"}}, "exe", "", false);
    if (!files.empty()) app_->setText(QString::fromStdString(files.front()));
  });
  connect(browseLogo_, &QPushButton::clicked, this, [this] {
    if (!services_.dialogs) return;
    const auto files = services_.dialogs->OpenFiles(
        Text("frmGenerator/strWatermark", "Select an image to use as a watermark...").toStdString(),
        {{"PNG Image", "*.png"}}, "png", "", false);
    if (!files.empty()) logo_->setText(QString::fromStdString(files.front()));
  });
  connect(go_, &QPushButton::clicked, this, [this] { Generate(false); });
  connect(cancel_, &QPushButton::clicked, this, [this] { cancel_flag_ = true; });
  connect(done_, &QPushButton::clicked, this, &QDialog::accept);
  connect(help, &QPushButton::clicked, this, [] { ui::OpenHelp("thumbnail-generator"); });

  if (services_.options) SetSettings(LoadGeneratorSettings(*services_.options));
  SetVisual(help);
}

void GeneratorDialog::SetSettings(const GeneratorSettings& s) {
  source_->setText(QString::fromStdString(s.source));
  width_->setText(QString::number(s.width));
  height_->setText(QString::number(s.height));
  percent_->setEditText(QString::number(s.percent));
  (s.fixedSize ? fixed_ : percentOption_)->setChecked(true);
  color_->setChecked(s.customColor);
  colorText_->setText(QString::fromStdString(s.backColor));
  quality_->setText(QString::number(s.quality));
  show_->setChecked(s.show);
  info_->setChecked(s.info);
  subfolders_->setChecked(s.recursive);
  overwrite_->setChecked(s.overwrite);
  execute_->setChecked(s.execute);
  app_->setText(QString::fromStdString(s.app));
  watermark_->setChecked(s.watermark);
  logo_->setText(QString::fromStdString(s.logoPath));
  go_->setEnabled(!source_->text().isEmpty());
  UpdateEnabled();
}

GeneratorSettings GeneratorDialog::Settings() const {
  GeneratorSettings s;
  s.source = source_->text().toStdString();
  s.width = std::max(1, Whole(width_));
  s.height = std::max(1, Whole(height_));
  s.percent = std::max(1, static_cast<int>(std::lround(percent_->currentText().toDouble())));
  s.fixedSize = fixed_->isChecked();
  s.customColor = color_->isChecked();
  s.backColor = colorText_->text().remove(QLatin1Char('#')).toStdString();
  s.quality = std::clamp(Whole(quality_), 0, 100);
  s.show = show_->isChecked();
  s.info = info_->isChecked();
  s.recursive = subfolders_->isChecked();
  s.overwrite = overwrite_->isChecked();
  s.execute = execute_->isChecked();
  s.app = app_->text().toStdString();
  s.watermark = watermark_->isChecked();
  s.logoPath = logo_->text().toStdString();
  return s;
}

void GeneratorDialog::UpdateEnabled() {
  if (busy_) return;
  width_->setEnabled(fixed_->isChecked());
  height_->setEnabled(fixed_->isChecked());
  percent_->setEnabled(percentOption_->isChecked());
  colorText_->setEnabled(color_->isChecked());
  app_->setEnabled(execute_->isChecked());
  browseApp_->setEnabled(execute_->isChecked());
  logo_->setEnabled(watermark_->isChecked());
  browseLogo_->setEnabled(watermark_->isChecked());
}

void GeneratorDialog::SetBusy(bool busy) {
  busy_ = busy;
  for (QWidget* child : findChildren<QWidget*>()) {
    if (child == cancel_ || child == progress_ || child == status_ || child == sample_) continue;
    if (qobject_cast<QLabel*>(child) || qobject_cast<QGroupBox*>(child)) continue;
    child->setEnabled(!busy);
  }
  cancel_->setVisible(busy);
  done_->setVisible(!busy);
  (busy ? cancel_ : done_)->setDefault(true);
  sourceLabel_->setVisible(!busy);
  source_->setVisible(!busy);
  browse_->setVisible(!busy);
  status_->setVisible(busy);
  progress_->setVisible(busy);
  if (!busy) {
    sample_->clear();
    UpdateEnabled();
  }
}

GeneratorReport GeneratorDialog::Generate(bool automatic) {
  const GeneratorSettings settings = Settings();
  if (services_.options) SaveGeneratorSettings(*services_.options, settings);
  cancel_flag_ = false;
  lastSummary_.clear();
  SetBusy(true);
  progress_->setRange(0, 1000);
  progress_->setValue(0);

  GeneratorEvents events;
  events.cancelled = [this] {
    QCoreApplication::processEvents();
    return cancel_flag_;
  };
  events.status = [this](const std::string& text) {
    status_->setText(QString::fromStdString(text));
    QCoreApplication::processEvents();
  };
  events.file = [this](int index, int count, const std::string& path) {
    progress_->setFormat(QString::fromStdString(path.substr(path.find_last_of('/') + 1)));
    progress_->setValue(count > 0 ? index * 1000 / count : 0);
  };
  events.made = [this, &settings](const std::string&, const std::string& thumb, const std::string&) {
    if (settings.show) {
      const QPixmap picture(QString::fromStdString(thumb));
      sample_->setPixmap(picture.width() > 240 ? picture.scaledToWidth(240) : picture);
    }
    QCoreApplication::processEvents();
  };
  const bool skipDoubtful = services_.options && services_.options->ReadBoolOption("System", "GenericProjectors");
  const GeneratorReport report =
      RunGenerator(*services_.media, settings, services_.shot, skipDoubtful,
                   [](const std::string& path) { return media::IsFlashProjector(path); }, services_.lookup,
                   events);
  progress_->setValue(1000);
  SetBusy(false);
  if (settings.execute && !settings.app.empty() && services_.open) services_.open(settings.app);
  if (!automatic) {
    lastSummary_ = GeneratorSummary(report, settings, services_.lookup);
    std::vector<std::string> buttons = {Text("Shared/Close", "Close").toStdString()};
    if (report.made > 0) buttons.push_back(Text("Shared/ShowFiles", "Show Files").toStdString());
    const int answer = BrowserMessage(services_.dialogs, lastSummary_, windowTitle().toStdString(), buttons, "image");
    if (answer == 1 && services_.open) services_.open(core::FolderExists(settings.source) ? settings.source : std::string());
  }
  return report;
}

}  // namespace vantrel::browser
