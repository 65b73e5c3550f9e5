#include "system/desktop_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QScreen>

#include "core/options.h"

namespace vantrel::system {

namespace {
constexpr int kPreviewWidth = 160;
}

DesktopDialog::DesktopDialog(DesktopDialogSetup setup, core::OptionsStore& options, QWidget* parent)
    : ui::StyledDialog(parent), setup_(std::move(setup)), options_(options), folder_(DesktopFolder(setup_.userPath)) {
  setObjectName(QStringLiteral("frmDesktop"));
  setWindowTitle(QStringLiteral("Flash Desktop"));

  picDesktop_ = new QLabel(this);
  picDesktop_->setObjectName(QStringLiteral("picDesktop"));
  chkEnable_ = new QCheckBox(QStringLiteral("Show this movie on the desktop"), this);
  chkEnable_->setObjectName(QStringLiteral("chkEnable"));
  chkHideIcons_ = new QCheckBox(QStringLiteral("Hide desktop icons"), this);
  chkHideIcons_->setObjectName(QStringLiteral("chkHideIcons"));
  chkMute_ = new QCheckBox(QStringLiteral("Mute"), this);
  chkMute_->setObjectName(QStringLiteral("chkMute"));
  chkTransparent_ = new QCheckBox(QStringLiteral("Transparent background"), this);
  chkTransparent_->setObjectName(QStringLiteral("chkTransparent"));
  auto* cbGo = new QPushButton(QStringLiteral("Go"), this);
  cbGo->setObjectName(QStringLiteral("cbGo"));
  cbGo->setDefault(true);
  auto* cbClose = new QPushButton(QStringLiteral("Close"), this);
  cbClose->setObjectName(QStringLiteral("cbClose"));

  chkEnable_->setChecked(DesktopItemEnabled(setup_.dirs));
  chkHideIcons_->setChecked(options_.ReadBool("Desktop", "HideIcons", false));
  chkMute_->setChecked(options_.ReadBoolOption("Desktop", "Mute"));
  chkTransparent_->setChecked(options_.ReadBoolOption("Desktop", "Transparent"));
  if (setup_.saverProgram.empty()) {
    chkEnable_->setEnabled(false);
    chkEnable_->setToolTip(QStringLiteral("vantrel-saver, which shows the movie, is not installed"));
  }

  auto* grid = new QGridLayout(this);
  grid->addWidget(picDesktop_, 0, 0, 5, 1);
  grid->addWidget(chkEnable_, 0, 1);
  grid->addWidget(chkHideIcons_, 1, 1);
  grid->addWidget(chkMute_, 2, 1);
  grid->addWidget(chkTransparent_, 3, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cbGo);
  buttons->addWidget(cbClose);
  grid->addLayout(buttons, 5, 0, 1, 2);

  connect(cbGo, &QPushButton::clicked, this, [this] { Go(); });
  connect(cbClose, &QPushButton::clicked, this, &QDialog::accept);
  connect(chkEnable_, &QCheckBox::toggled, this, [this] { DrawMiniDesktop(); });
  DrawMiniDesktop();
  SetVisual(cbGo);
  SetShadow(picDesktop_);
}

DesktopResult DesktopDialog::Go(bool startWindow) {
  options_.BeginBatch();
  options_.WriteBool("Desktop", "HideIcons", chkHideIcons_->isChecked());
  options_.WriteBool("Desktop", "Mute", chkMute_->isChecked());
  options_.WriteBool("Desktop", "Transparent", chkTransparent_->isChecked());
  options_.EndBatch();
  QSize screen(1024, 768);
  if (QScreen* primary = QGuiApplication::primaryScreen()) screen = primary->size();

  DesktopRequest request;
  request.enable = chkEnable_->isChecked() && chkEnable_->isEnabled();
  request.hideIcons = chkHideIcons_->isChecked();
  request.moviePath = setup_.moviePath;
  request.soundMovie = setup_.flashPath + "sound.swf";
  request.templatePath = setup_.mediaPath + "Desktop.html";
  request.saverProgram = setup_.saverProgram;
  request.page.title = setup_.caption;
  request.page.dataPath = setup_.userPath;
  request.page.backColor = setup_.backColor;
  request.page.width = screen.width();
  request.page.height = screen.height();
  request.page.transparent = chkTransparent_->isChecked();
  request.page.mute = chkMute_->isChecked();
  DesktopResult result = ApplyDesktop(setup_.dirs, folder_, request);
  if (startWindow && !result.startCommand.empty()) {
    QStringList arguments;
    for (std::size_t i = 1; i < result.startCommand.size(); ++i) {
      arguments << QString::fromStdString(result.startCommand[i]);
    }
    QProcess::startDetached(QString::fromStdString(result.startCommand.front()), arguments);
  }
  DrawMiniDesktop();
  return result;
}

void DesktopDialog::DrawMiniDesktop() {
  QSize screen(1024, 768);
  if (QScreen* primary = QGuiApplication::primaryScreen()) screen = primary->size();
  const int height = std::max(1, kPreviewWidth * screen.height() / std::max(1, screen.width()));
  QPixmap picture(kPreviewWidth, height);
  QPainter painter(&picture);
  QColor movieColour(QString::fromStdString("#" + setup_.backColor));
  if (chkEnable_->isChecked() && movieColour.isValid()) {
    painter.fillRect(picture.rect(), movieColour);
  } else {
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(0x3a, 0x6e, 0xa5));
    sky.setColorAt(1, QColor(0x12, 0x2a, 0x4a));
    painter.fillRect(picture.rect(), sky);
  }
  if (!chkHideIcons_->isChecked()) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 180));
    for (int row = 0; row < 3; ++row) painter.drawRect(6, 6 + row * 14, 8, 8);
  }
  painter.fillRect(0, height - 8, kPreviewWidth, 8, QColor(0x20, 0x20, 0x20));
  painter.setPen(QColor(0x80, 0x80, 0x80));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(picture.rect().adjusted(0, 0, -1, -1));
  painter.end();
  picDesktop_->setPixmap(picture);
}

}  // namespace vantrel::system
