#include "ui/about_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/text.h"
#include "core/version.h"
#include "ui/languages_ui.h"
#include "ui/message_window.h"
#include "ui/presentation.h"

namespace vantrel::ui {

namespace {
constexpr int kBandHeight = 96;

QString Text(const std::string& key, const std::string& fallback) { return QString::fromStdString(UiText(key, fallback)); }
}  // namespace

PageWindow::PageWindow(const char* name, QWidget* parent) : StyledDialog(parent) {
  setObjectName(QString::fromLatin1(name));
  setAttribute(Qt::WA_DeleteOnClose);
  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("picLogo"));
  const QImage logo = LoadPicture("tip");
  if (!logo.isNull()) picture->setPixmap(QPixmap::fromImage(logo));
  heading_ = new QLabel(this);
  heading_->setObjectName(QStringLiteral("lblHeading"));
  QFont big = heading_->font();
  big.setPointSizeF(big.pointSizeF() * 1.8);
  big.setBold(true);
  heading_->setFont(big);
  body_ = new QLabel(this);
  body_->setObjectName(QStringLiteral("lblBody"));
  body_->setWordWrap(true);
  body_->setTextFormat(Qt::RichText);
  // Links on the page are the movie's "GOWEB" command.
  connect(body_, &QLabel::linkActivated, this, [this](const QString&) { Command("GOWEB"); });
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setObjectName(QStringLiteral("cbClose"));
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::close);

  auto* top = new QHBoxLayout;
  top->addWidget(picture);
  top->addWidget(heading_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(18, 18, 18, 12);
  layout->addLayout(top);
  layout->addSpacing(kBandHeight - 18 - 48);
  layout->addWidget(body_, 1);
  layout->addLayout(buttons);
  SetVisual(kBandHeight);
}

QString EngineVersionText(int flashVersion) {
  const auto version = static_cast<unsigned>(flashVersion);
  return QString::number(version >> 16) + QLatin1Char('.') + QString::number(version & 0xFFFFu);
}

bool PageWindow::Command(const std::string& command) {
  if (core::UpperAscii(command) != "GOWEB") return false;
  if (onWeb) onWeb();
  return true;
}

AboutWindow::AboutWindow(int flashVersion, const std::string& webHost, QWidget* parent) : PageWindow("frmAbout", parent) {
  setWindowTitle(Text("frmAbout/strTitle", "About Vantrel"));
  heading_->setText(QStringLiteral("Vantrel"));
  const QString web = QString::fromStdString(webHost).toHtmlEscaped();
  body_->setText(QStringLiteral("<p>%1 %2</p><p>%3 %4</p><p>%5</p><p><a href=\"goweb\">%6</a></p>")
                     .arg(Text("frmAbout/strBuild", "Version"))
                     .arg(QString::fromStdString(core::VersionNumberText()))
                     .arg(Text("frmAbout/strEngine", "Flash engine version"))
                     .arg(EngineVersionText(flashVersion))
                     .arg(Text("frmAbout/strAbout",
                               "A player and tool kit for Flash movies, videos and projectors, with its own Flash engine."))
                     .arg(web));
  if (CurrentPresentation().languages) ApplyLanguage(this, *CurrentPresentation().languages);
  resize(440, 300);
}

IntroWindow::IntroWindow(const std::string& webHost, QWidget* parent) : PageWindow("frmIntro", parent) {
  setWindowTitle(Text("frmIntro/strTitle", "Feature Overview"));
  heading_->setText(Text("frmIntro/strHeading", "Welcome to Vantrel"));
  const QString web = QString::fromStdString(webHost).toHtmlEscaped();
  body_->setText(QStringLiteral("<ul><li>%1</li><li>%2</li><li>%3</li><li>%4</li><li>%5</li></ul><p><a href=\"goweb\">%6</a></p>")
                     .arg(Text("frmIntro/strPlay", "Plays Flash movies, Flash videos, projectors and playlists."))
                     .arg(Text("frmIntro/strBrowse", "Browses folders of movies with thumbnails (F3)."))
                     .arg(Text("frmIntro/strTools", "Unpacks projectors, decompresses movies and extracts their images and sounds."))
                     .arg(Text("frmIntro/strSkin", "Wears a skin in your desktop's colours, or none (View, Skin)."))
                     .arg(Text("frmIntro/strKeys", "Ctrl+F plays full screen, Escape leaves it, F8 hides everything but the movie."))
                     .arg(web));
  if (CurrentPresentation().languages) ApplyLanguage(this, *CurrentPresentation().languages);
  resize(480, 340);
}

}  // namespace vantrel::ui
