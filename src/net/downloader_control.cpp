#include "net/downloader_control.h"

#include <QDir>
#include <QNetworkAccessManager>
#include <QSaveFile>
#include <QUrl>

#include "net/transfer.h"

namespace vantrel::net {

TransferLimits DownloaderControl::MovieLimits() {
  TransferLimits limits;
  limits.maxBytes = 512LL * 1024 * 1024;
  limits.stallMs = 30000;
  limits.totalMs = 60 * 60 * 1000;
  return limits;
}

DownloaderControl::DownloaderControl(QString cacheFolder, TransferLimits limits, QObject* parent)
    : QObject(parent),
      cacheFolder_(std::move(cacheFolder)),
      limits_(limits),
      manager_(std::make_unique<QNetworkAccessManager>()) {
  setObjectName(QStringLiteral("DownloaderControl"));
}

DownloaderControl::~DownloaderControl() { Discard(); }

bool DownloaderControl::Busy() const { return transfer_ != nullptr; }

void DownloaderControl::Download(const QString& address) {
  Discard();
  mimeType_.clear();
  cacheFile_.clear();
  const QUrl url(address.trimmed(), QUrl::TolerantMode);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
      url.host().isEmpty()) {
    emit Failed(QStringLiteral("Not a web address: %1").arg(address));
    return;
  }
  QDir().mkpath(cacheFolder_);
  const QString target =
      QDir(cacheFolder_).filePath(QString::fromStdString(CacheFileNameFor(url.toString().toStdString())));
  file_ = std::make_unique<QSaveFile>(target);
  if (!file_->open(QIODevice::WriteOnly)) {
    const QString reason = file_->errorString();
    file_.reset();
    emit Failed(QStringLiteral("Cannot write %1: %2").arg(target, reason));
    return;
  }

  transfer_ = new Transfer(*manager_, limits_, this);
  transfer_->callbacks.progress = [this](qint64 read, qint64 total, int code, const QString& text) {
    if (code == kMimeType) mimeType_ = text;
    emit Progress(read, total, code, text);
  };
  transfer_->callbacks.data = [this](const QByteArray& chunk, QString& reason) {
    if (file_->write(chunk) == chunk.size()) return true;
    reason = QStringLiteral("Cannot write %1: %2").arg(file_->fileName(), file_->errorString());
    return false;
  };
  transfer_->callbacks.finished = [this](const QString& error) { End(error); };
  transfer_->Get(url);
  // The place is known from the start; the file appears there once it is complete.
  if (transfer_ && transfer_->Running()) {
    cacheFile_ = target;
    emit Progress(0, 0, kCacheFileName, target);
  }
}

void DownloaderControl::Cancel() {
  Discard();
  mimeType_.clear();
  cacheFile_.clear();
}

void DownloaderControl::End(const QString& error) {
  if (transfer_) {
    transfer_->deleteLater();  // this runs inside the transfer's own call
    transfer_ = nullptr;
  }
  QString failure = error;
  if (failure.isEmpty() && file_ && !file_->commit()) {
    failure = QStringLiteral("Cannot write %1: %2").arg(file_->fileName(), file_->errorString());
  }
  if (file_) {
    if (!failure.isEmpty()) file_->cancelWriting();
    file_.reset();
  }
  if (failure.isEmpty()) {
    emit Complete();
  } else {
    cacheFile_.clear();
    emit Failed(failure);
  }
  mimeType_.clear();
  cacheFile_.clear();
}

void DownloaderControl::Discard() {
  if (transfer_) {
    transfer_->Abort();
    transfer_->deleteLater();
    transfer_ = nullptr;
  }
  if (file_) {
    file_->cancelWriting();
    file_.reset();  // an uncommitted save file removes its temporary file
  }
}

}  // namespace vantrel::net
