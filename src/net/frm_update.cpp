#include "net/frm_update.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/options.h"
#include "core/paths.h"
#include "media/movie_facts.h"
#include "net/transfer.h"
#include "net/update_feed.h"
#include "player/player.h"

namespace vantrel::net {

namespace {

// A feed is a small document; anything bigger is not ours.
TransferLimits FeedLimits() {
  TransferLimits limits;
  limits.maxBytes = 1024 * 1024;
  limits.stallMs = 20000;
  limits.totalMs = 60000;
  return limits;
}

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

QString frmUpdate::SiteBase(const NetContext& context) {
  return QStringLiteral("http://") + Q(player::ProductWebHost(context.languages)) + QLatin1Char('/');
}

QString frmUpdate::FeedAddress(const NetContext& context) { return SiteBase(context) + QStringLiteral("rss.php"); }

frmUpdate::frmUpdate(NetContext context, bool automatic, QWidget* parent)
    : ui::StyledDialog(parent), context_(std::move(context)), automatic_(automatic) {
  setObjectName(QStringLiteral("frmUpdate"));
  setWindowTitle(QStringLiteral("Check for Updates"));
  setAttribute(Qt::WA_DeleteOnClose);

  imgIcon_ = new QLabel(this);
  imgIcon_->setObjectName(QStringLiteral("imgIcon"));
  const QPixmap icon(Q(context_.imagesPath) + QStringLiteral("update.png"));
  if (!icon.isNull()) imgIcon_->setPixmap(icon);
  lblStatus_ = new QLabel(this);
  lblStatus_->setObjectName(QStringLiteral("lblStatus"));
  QFont bold = lblStatus_->font();
  bold.setBold(true);
  lblStatus_->setFont(bold);
  lblNote_ = new QLabel(this);
  lblNote_->setObjectName(QStringLiteral("lblNote"));
  lblNote_->setWordWrap(true);
  lblSize_ = new QLabel(this);
  lblSize_->setObjectName(QStringLiteral("lblSize"));
  lblSize_->hide();
  txtDetails_ = new QPlainTextEdit(this);
  txtDetails_->setObjectName(QStringLiteral("txtDetails"));
  txtDetails_->setReadOnly(true);
  txtDetails_->hide();
  chkAuto_ = new QCheckBox(QStringLiteral("Check for updates automatically"), this);
  chkAuto_->setObjectName(QStringLiteral("chkAuto"));
  cbUpdate_ = new QPushButton(QStringLiteral("Update"), this);
  cbUpdate_->setObjectName(QStringLiteral("cbUpdate"));
  cbUpdate_->setEnabled(false);
  cbDetails_ = new QPushButton(QStringLiteral("Details"), this);
  cbDetails_->setObjectName(QStringLiteral("cbDetails"));
  cbCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cbCancel_->setObjectName(QStringLiteral("cbCancel"));

  auto* texts = new QVBoxLayout;
  texts->addWidget(lblStatus_);
  texts->addWidget(lblNote_);
  texts->addWidget(lblSize_);
  auto* top = new QHBoxLayout;
  top->addWidget(imgIcon_, 0, Qt::AlignTop);
  top->addLayout(texts, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(chkAuto_);
  buttons->addStretch(1);
  buttons->addWidget(cbUpdate_);
  buttons->addWidget(cbDetails_);
  buttons->addWidget(cbCancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(txtDetails_, 1);
  layout->addLayout(buttons);
  setMinimumWidth(420);

  connect(cbUpdate_, &QPushButton::clicked, this, [this] {
    if (!downloadAddress_.isEmpty()) context_.Open(QUrl(downloadAddress_, QUrl::TolerantMode));
  });
  connect(cbDetails_, &QPushButton::clicked, this, &frmUpdate::ToggleDetails);
  connect(cbCancel_, &QPushButton::clicked, this, &frmUpdate::CancelClicked);

  if (context_.applyLanguage) context_.applyLanguage(this);
  chkAuto_->setChecked(context_.options->ReadBoolOption("Update", "Auto"));
  knownBuild_ = context_.options->ReadNumberOption("Update", "Build");
  bestBuild_ = knownBuild_;
  SetVisual(chkAuto_);
}

frmUpdate::~frmUpdate() {
  if (transfer_) transfer_->Abort();
}

void frmUpdate::StartCheck() {
  manager_ = std::make_unique<QNetworkAccessManager>();
  transfer_ = new Transfer(*manager_, FeedLimits(), this);
  feed_.clear();
  transfer_->callbacks.data = [this](const QByteArray& chunk, QString&) {
    feed_.append(chunk);
    return true;
  };
  transfer_->callbacks.finished = [this](const QString& error) { OnFeed(error); };
  SetStatus("/STRDOWNLOADING", "Downloading Info");
  transfer_->Get(QUrl(FeedAddress(context_)));
}

void frmUpdate::OnFeed(const QString& error) {
  if (transfer_) transfer_->deleteLater();
  transfer_ = nullptr;
  finished_ = true;
  if (!error.isEmpty()) {
    context_.Log("Update check failed: " + error.toStdString());
    ShowFailure(error);
    return;
  }
  const FeedReport report = ReadUpdateFeed(std::string_view(feed_.constData(), static_cast<std::size_t>(feed_.size())),
                                           knownBuild_, SiteBase(context_).toStdString(), core::kProductTitle);
  if (!report.parsed) {
    ShowFailure(Q(report.reason));
    return;
  }
  context_.options->WriteText("Update", "Date", DateText(context_.Today()));
  txtDetails_->setPlainText(txtDetails_->toPlainText() + Q(report.details));
  if (report.bestBuild > bestBuild_) {
    downloadAddress_ = Q(report.downloadAddress);
    lblSize_->setText(Q(context_.LangText("frmInfo/lblSize", "Size")) + QStringLiteral(": ") +
                      Q(media::FormatByteSize(static_cast<double>(report.length))));
    bestBuild_ = report.bestBuild;
  }
  updateFound_ = report.updateFound;
  if (updateFound_) {
    SetStatus("/STRUPDATE", "Update is Available");
    SetNote("/STRUPDATENOTE", "There is a newer version available. Click \"Details\" to check out what's new");
    cbUpdate_->setEnabled(true);
    lblSize_->show();
    emit CheckEnded();
    if (automatic_) show();
    return;
  }
  emit CheckEnded();
  if (automatic_) {
    Unload();
    return;
  }
  SetStatus("/STRNOUPDATE", "No Update Needed");
  SetNote("/STRNOUPDATENOTE", "You have the latest version installed");
}

void frmUpdate::ShowFailure(const QString& reason) {
  emit CheckEnded();
  // An automatic check never troubles the user with a failure.
  if (automatic_) {
    Unload();
    return;
  }
  SetStatus("/STRFAILED", "Check Failed");
  SetNote("/STRFAILEDNOTE",
          "There was an error while trying to download required info. Please verify your Internet Connection.");
  txtDetails_->setPlainText(Q(context_.LangText("frmUpdate/STRREASON", "Failure Reason")) + QStringLiteral(":") +
                            reason);
}

void frmUpdate::SetStatus(const std::string& suffix, const std::string& defaultText) {
  lblStatus_->setText(Q(context_.LangText("frmUpdate" + suffix, defaultText)));
}

void frmUpdate::SetNote(const std::string& suffix, const std::string& defaultText) {
  lblNote_->setText(Q(context_.LangText("frmUpdate" + suffix, defaultText)));
}

void frmUpdate::ToggleDetails() {
  txtDetails_->setVisible(!txtDetails_->isVisible());
  adjustSize();
}

void frmUpdate::CancelClicked() {
  if (updateFound_) {
    const QString question =
        Q(context_.LangText("frmUpdate/STRREMIND", "Remind you about this update next time?"));
    const int answer = context_.Message(this, question, windowTitle(), {QStringLiteral("Yes"), QStringLiteral("No")},
                                        QStringLiteral("question"));
    // "No": this build is never reported again.
    if (answer == 1) knownBuild_ = bestBuild_;
  }
  Unload();
}

void frmUpdate::done(int result) {
  if (!unloading_) {
    unloading_ = true;
    if (transfer_) transfer_->Abort();
    context_.options->WriteBool("Update", "Auto", chkAuto_->isChecked());
    context_.options->WriteNumber("Update", "Build", knownBuild_);
  }
  QDialog::done(result);
  // A dialog that was never shown gets no close event to delete it.
  if (!isVisible()) deleteLater();
}

void frmUpdate::Unload() { done(QDialog::Rejected); }

frmUpdate* WebUpdate(bool automatic, const NetContext& context, QWidget* parent) {
  context.Log(std::string("Checking for updates ( Automatic is ") + (automatic ? "True" : "False") + " )");
  const std::string lastCheck = context.options->ReadText("Update", "Date", "");
  if (!UpdateCheckDue(automatic, context.Today(), lastCheck)) return nullptr;
  auto* dialog = new frmUpdate(context, automatic, parent);
  if (!automatic) dialog->show();
  dialog->StartCheck();
  return dialog;
}

}  // namespace vantrel::net
