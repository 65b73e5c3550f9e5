#include "browser/info_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <cstdio>

#include "core/paths.h"
#include "ui/message_window.h"
#include "ui/presentation.h"

namespace vantrel::browser {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// A small picture of the images folder beside a page's control (none when it does not
// read).
QLabel* PageIcon(QWidget* page, const char* name, const char* picture) {
  auto* icon = new QLabel(page);
  icon->setObjectName(QString::fromLatin1(name));
  const QImage image = ui::LoadPicture(picture);
  if (!image.isNull())
    icon->setPixmap(QPixmap::fromImage(image.scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
  icon->setFixedSize(24, 24);
  return icon;
}

}  // namespace

InfoDialog::InfoDialog(const media::MediaRecord& record, const media::TextLookup& lookup, std::string thumbPath,
                       std::function<void()> makeThumbnail, QWidget* parent)
    : ui::StyledDialog(parent), record_(record), thumbPath_(std::move(thumbPath)), makeThumbnail_(std::move(makeThumbnail)) {
  const auto text = [&lookup](std::string_view key, std::string_view fallback) {
    return Q(lookup ? lookup(key, fallback) : std::string(fallback));
  };
  const media::MovieInfoTexts texts = media::MovieInfoTextsFor(record_, lookup);
  setObjectName(QStringLiteral("frmInfo"));
  setWindowTitle(text("frmInfo/Caption", "Movie Information") + QStringLiteral(" - ") + Q(record_.FileName));

  auto* layout = new QVBoxLayout(this);
  auto* body = new QHBoxLayout();
  pages_ = new QListWidget(this);
  pages_->setObjectName(QStringLiteral("OptSlideBar"));
  pages_->addItems({text("frmInfo/Summary", "Summary"), text("frmInfo/Info", "Info"), text("frmInfo/Options", "Options")});
  pages_->setFixedWidth(110);
  stack_ = new QStackedWidget(this);
  body->addWidget(pages_);
  body->addWidget(stack_, 1);
  layout->addLayout(body, 1);

  // Summary: the thumbnail, the title and the series.
  auto* summary = new QWidget(stack_);
  summary->setObjectName(QStringLiteral("Page0"));
  auto* summaryLayout = new QVBoxLayout(summary);
  picture_ = new QLabel(summary);
  picture_->setObjectName(QStringLiteral("picThumb"));
  picture_->setMinimumSize(120, 90);
  picture_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  summaryLayout->addWidget(picture_);
  const auto value = [](QWidget* page, const char* name, const QString& shown) {
    auto* label = new QLabel(shown, page);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
  };
  QLabel* title = value(summary, "TitleSummary", Q(texts.TitleSummary));
  QFont bold = title->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.3);
  title->setFont(bold);
  summaryLayout->addWidget(title);
  summaryLayout->addWidget(value(summary, "SeriesSummary", Q(texts.SeriesSummary)));
  summaryLayout->addWidget(value(summary, "AuthorSummary", QString()));
  summaryLayout->addWidget(value(summary, "WebSiteSummary", QString()));
  summaryLayout->addStretch(1);
  summary->installEventFilter(this);
  stack_->addWidget(summary);

  // Info: one row per fact.
  auto* info = new QWidget(stack_);
  info->setObjectName(QStringLiteral("Page1"));
  auto* form = new QFormLayout(info);
  const auto row = [&](const char* labelName, const QString& caption, const char* valueName, const std::string& shown) {
    auto* label = new QLabel(caption, info);
    label->setObjectName(QString::fromLatin1(labelName));
    QLabel* field = value(info, valueName, Q(shown));
    form->addRow(label, field);
    return field;
  };
  row("lblType", text("frmInfo/lblType", "File Type:"), "TypeValue", texts.TypeValue);
  row("lblVersion", text("frmInfo/lblVersion", "Version:"), "VersionValue", texts.VersionValue);
  row("lblComp", text("frmInfo/lblComp", "Compression:"), "lblNone", texts.CompressionValue);
  row("lblSize", text("frmInfo/lblSize", "File Size:"), "SizeValue", texts.SizeValue);
  row("lblFrame", text("frmInfo/lblFrame", "Movie Frame:"), "FrameValue", texts.FrameValue);
  row("lblTime", text("frmInfo/lblTime", "Time:"), "TimeValue", texts.TimeValue);
  row("lblBitrate", text("frmInfo/lblBitrate", "Bitrate:"), "BitrateValue", texts.BitrateValue);
  where_ = row("lblWhere", text("frmInfo/lblWhere", "Where:"), "WhereValue", {});
  where_->setToolTip(Q(record_.SourcePath));
  where_->setText(where_->fontMetrics().elidedText(Q(record_.SourcePath), Qt::ElideMiddle, 320));
  where_->installEventFilter(this);
  const QFileInfo file(Q(record_.SourcePath));
  row("lblModif", text("frmInfo/lblModif", "Modifed:"), "ModifiedValue",
      file.exists() ? QLocale().toString(file.lastModified(), QLocale::ShortFormat).toStdString() : std::string());
  row("lblLast", text("frmInfo/lblLast", "Played:"), "PlayedValue", {});
  // The movie's web site: typed or pasted here, opened by the link beside it.
  auto* webRow = new QHBoxLayout();
  webRow->addWidget(PageIcon(info, "imgLink", "link"));
  auto* webLink = new QPushButton(text("frmInfo/WebLink", "Web Site:"), info);
  webLink->setObjectName(QStringLiteral("WebLink"));
  webLink->setFlat(true);
  webLink->setCursor(Qt::PointingHandCursor);
  webSite_ = new QLineEdit(info);
  webSite_->setObjectName(QStringLiteral("WebSiteText"));
  webSite_->setPlaceholderText(QStringLiteral("http://"));
  webRow->addWidget(webLink);
  webRow->addWidget(webSite_, 1);
  form->addRow(webRow);
  connect(webLink, &QPushButton::clicked, this, [this] {
    const std::string address = webSite_->text().trimmed().toStdString();
    if (!address.empty()) ui::OpenAddress(address);
  });
  stack_->addWidget(info);

  // Options: the title and description; editing them is not offered.
  auto* options = new QWidget(stack_);
  options->setObjectName(QStringLiteral("Page2"));
  auto* optionsForm = new QFormLayout(options);
  optionsForm->addRow(text("frmInfo/lblTitle", "Title:"), value(options, "TitleText", Q(texts.TitleText)));
  optionsForm->addRow(text("frmInfo/lblDescription", "Description:"),
                      value(options, "DescriptionText", Q(texts.DescriptionText)));
  auto* disabledRow = new QHBoxLayout();
  disabledRow->addWidget(PageIcon(options, "imgNoMedia", "nomedia"));
  disabledRow->addWidget(value(options, "Label1", text("frmInfo/Label1", "Info modification module is disabled")), 1);
  optionsForm->addRow(disabledRow);
  stack_->addWidget(options);

  auto* buttons = new QHBoxLayout();
  auto* help = new QPushButton(text("Shared/Help", "Help"), this);
  help->setObjectName(QStringLiteral("cbHelp"));
  auto* close = new QPushButton(text("Shared/Close", "Close"), this);
  close->setObjectName(QStringLiteral("cbClose"));
  close->setDefault(true);
  buttons->addWidget(help);
  buttons->addStretch(1);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(help, &QPushButton::clicked, this, [] { ui::OpenHelp("get-info"); });
  connect(pages_, &QListWidget::currentRowChanged, this, &InfoDialog::ShowPage);
  pages_->setCurrentRow(0);
  SetVisual(help);
  SetShadow(picture_);
}

QString InfoDialog::Value(const char* name) const {
  const auto* label = findChild<QLabel*>(QString::fromLatin1(name));
  return label ? label->text() : QString();
}

void InfoDialog::ShowPage(int page) {
  if (page < 0 || page >= stack_->count()) return;
  if (page == 0) ShowThumbnail(false);
  if (pages_->currentRow() != page) pages_->setCurrentRow(page);
  stack_->setCurrentIndex(page);
}

void InfoDialog::ShowThumbnail(bool remake) {
  if (thumbPath_.empty()) return;
  if (remake) std::remove(thumbPath_.c_str());
  if (!core::FileExists(thumbPath_) && makeThumbnail_) makeThumbnail_();
  picture_->setPixmap(QPixmap(Q(thumbPath_)));
}

bool InfoDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick) {
    if (watched == where_) {
      QApplication::clipboard()->setText(Q(record_.SourcePath));
      return true;
    }
    if (watched == stack_->widget(0)) {
      ShowThumbnail(true);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace vantrel::browser
