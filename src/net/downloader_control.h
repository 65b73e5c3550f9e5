// `DownloaderControl`: fetches one web address into a file of the cache folder and
// reports the transfer's stages. The file appears (atomically) only when the whole
// body arrived; a cancelled or failed transfer leaves nothing behind.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "net/transfer_rules.h"

class QNetworkAccessManager;
class QSaveFile;

namespace vantrel::net {

class Transfer;

class DownloaderControl : public QObject {
  Q_OBJECT

 public:
  // Files land in cacheFolder (created when missing).
  explicit DownloaderControl(QString cacheFolder, TransferLimits limits = MovieLimits(), QObject* parent = nullptr);
  ~DownloaderControl() override;

  // Starts fetching address, stopping a transfer still running. Progress events follow;
  // Complete or Failed ends it.
  void Download(const QString& address);
  // Stops the running transfer without an end event and removes its partial file.
  void Cancel();

  bool Busy() const;
  // Captured from the stages that carry them; cleared once a transfer has ended.
  QString MimeType() const { return mimeType_; }
  QString CacheFileName() const { return cacheFile_; }

  // Bounds for whole movies: 512 MB, 30 s without data, one hour in all.
  static TransferLimits MovieLimits();

 signals:
  void Progress(qint64 bytesRead, qint64 bytesTotal, int statusCode, const QString& statusText);
  void Complete();
  void Failed(const QString& reason);

 private:
  void End(const QString& error);
  void Discard();

  QString cacheFolder_;
  TransferLimits limits_;
  std::unique_ptr<QNetworkAccessManager> manager_;
  Transfer* transfer_ = nullptr;
  std::unique_ptr<QSaveFile> file_;
  QString mimeType_;
  QString cacheFile_;
};

}  // namespace vantrel::net
