#include "net/frm_download.h"

#include <QHBoxLayout>
#include <algorithm>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "net/downloader_control.h"
#include "net/transfer_rules.h"

namespace vantrel::net {

frmDownload::frmDownload(NetContext context, QWidget* parent) : ui::StyledDialog(parent), context_(std::move(context)) {
  setObjectName(QStringLiteral("frmDownload"));
  setWindowTitle(QStringLiteral("Download Movie"));
  setAttribute(Qt::WA_DeleteOnClose);

  downloader_ = new DownloaderControl(QString::fromStdString(context_.cachePath), DownloaderControl::MovieLimits(), this);
  auto* lblSource = new QLabel(QStringLiteral("Address:"), this);
  lblSource->setObjectName(QStringLiteral("lblSource"));
  txtSource_ = new QLineEdit(this);
  txtSource_->setObjectName(QStringLiteral("txtSource"));
  txtSource_->setPlaceholderText(QStringLiteral("http://"));
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("Progress"));
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(true);
  progress_->setFormat(QString());
  cbGo_ = new QPushButton(QStringLiteral("Download"), this);
  cbGo_->setObjectName(QStringLiteral("cbGo"));
  cbGo_->setEnabled(false);
  cbGo_->setDefault(true);
  cbCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cbCancel_->setObjectName(QStringLiteral("cbCancel"));
  cbCancel_->setEnabled(false);
  cbDone_ = new QPushButton(QStringLiteral("Done"), this);
  cbDone_->setObjectName(QStringLiteral("cbDone"));

  auto* source = new QHBoxLayout;
  source->addWidget(lblSource);
  source->addWidget(txtSource_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(cbGo_);
  buttons->addWidget(cbCancel_);
  buttons->addWidget(cbDone_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(source);
  layout->addWidget(progress_);
  layout->addLayout(buttons);
  setMinimumWidth(460);

  connect(txtSource_, &QLineEdit::textChanged, this, [this](const QString& text) {
    cbGo_->setEnabled(!downloader_->Busy() && DownloadGoEnabled(text.toStdString()));
  });
  connect(cbGo_, &QPushButton::clicked, this, &frmDownload::Go);
  connect(cbCancel_, &QPushButton::clicked, this, &frmDownload::CancelClicked);
  connect(cbDone_, &QPushButton::clicked, this, &QDialog::close);
  connect(downloader_, &DownloaderControl::Progress, this, &frmDownload::OnProgress);
  connect(downloader_, &DownloaderControl::Complete, this, &frmDownload::OnComplete);
  connect(downloader_, &DownloaderControl::Failed, this, &frmDownload::OnFailed);

  if (context_.applyLanguage) context_.applyLanguage(this);
  SetVisual(cbGo_);
}

frmDownload::~frmDownload() { downloader_->Cancel(); }

QString frmDownload::StatusLine() const { return statusLine_; }

void frmDownload::Go() {
  if (!DownloadGoEnabled(txtSource_->text().toStdString())) return;
  progress_->setValue(0);
  SetCaption(QString());
  cbGo_->setEnabled(false);
  cbCancel_->setEnabled(true);
  cbDone_->hide();
  downloader_->Download(txtSource_->text());
}

void frmDownload::CancelClicked() {
  downloader_->Cancel();
  RestoreButtons();
}

void frmDownload::OnProgress(qint64 bytesRead, qint64 bytesTotal, int statusCode, const QString& statusText) {
  const QString line = QString::fromStdString(DownloadStatusLine(statusCode, statusText.toStdString()));
  context_.Log(line.toStdString());
  SetCaption(line);
  if (bytesTotal != 0) {
    const float percent = static_cast<float>(bytesRead) / static_cast<float>(bytesTotal) * 100.0f;
    progress_->setValue(std::clamp(static_cast<int>(percent), 0, 100));
  }
}

void frmDownload::OnComplete() {
  progress_->setValue(progress_->maximum());
  cbGo_->setEnabled(DownloadGoEnabled(txtSource_->text().toStdString()));
  cbCancel_->setEnabled(false);
  cbDone_->show();
  cbDone_->setEnabled(true);
  const QString text =
      QStringLiteral("MIME: ") + downloader_->MimeType() + QStringLiteral("\r\nCache: ") + downloader_->CacheFileName();
  context_.Message(this, text, QStringLiteral("Download Complete"), {QStringLiteral("OK")}, QStringLiteral("info"));
}

// A failed transfer ends without the completion message; the reason stays in view.
void frmDownload::OnFailed(const QString& reason) {
  context_.Log("Download failed: " + reason.toStdString());
  SetCaption(statusLine_.isEmpty() ? reason : statusLine_ + QStringLiteral(" :: ") + reason);
  RestoreButtons();
}

void frmDownload::RestoreButtons() {
  cbGo_->setEnabled(DownloadGoEnabled(txtSource_->text().toStdString()));
  cbCancel_->setEnabled(false);
  cbDone_->show();
  cbDone_->setEnabled(true);
}

void frmDownload::SetCaption(const QString& line) {
  statusLine_ = line;
  // The bar's caption is a format, but its "%p", "%v" and "%m" never occur in an
  // encoded address (p, v and m are no hexadecimal digits).
  progress_->setFormat(line);
  progress_->setToolTip(line);
}

}  // namespace vantrel::net
