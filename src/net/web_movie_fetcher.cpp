#include "net/web_movie_fetcher.h"

#include "core/log.h"
#include "media/movie_facts.h"

namespace vantrel::net {

WebMovieFetcher::WebMovieFetcher(const std::string& cachePath, core::ExecutionLog* log, QObject* parent,
                                 TransferLimits limits)
    : QObject(parent), downloader_(QString::fromStdString(cachePath), limits), log_(log) {
  connect(&downloader_, &DownloaderControl::Progress, this, &WebMovieFetcher::OnProgress);
  connect(&downloader_, &DownloaderControl::Complete, this, [this] {
    const std::string path = downloader_.CacheFileName().toStdString();
    Show(QStringLiteral("Downloaded :: ") + address_);
    FetchDone done = std::move(done_);
    done_ = nullptr;
    if (done) done(path, {});
  });
  connect(&downloader_, &DownloaderControl::Failed, this, [this](const QString& reason) {
    Show(QStringLiteral("Download failed :: ") + address_ + QStringLiteral(" :: ") + reason);
    FetchDone done = std::move(done_);
    done_ = nullptr;
    if (done) done({}, reason.toStdString());
  });
}

void WebMovieFetcher::Fetch(const std::string& address, FetchDone done) {
  downloader_.Cancel();
  address_ = QString::fromStdString(address);
  done_ = std::move(done);
  if (log_) log_->WriteLog("Downloading " + address);
  // A refusal inside Download must still reach the player from the event loop.
  QMetaObject::invokeMethod(
      this, [this, address = address_] {
        if (address_ == address && done_ && !downloader_.Busy()) downloader_.Download(address);
      },
      Qt::QueuedConnection);
}

void WebMovieFetcher::CancelFetch() {
  if (!done_) return;
  done_ = nullptr;
  downloader_.Cancel();
  Show(QString());
}

void WebMovieFetcher::OnProgress(qint64 bytesRead, qint64 bytesTotal, int statusCode, const QString& statusText) {
  if (statusCode != kBeginDownload && statusCode != kDownloading) {
    if (statusCode == kFindingResource || statusCode == kConnecting)
      Show(QString::fromStdString(DownloadStatusLine(statusCode, statusText.toStdString())));
    return;
  }
  QString line = QStringLiteral("Downloading... :: ") + address_.section(QLatin1Char('/'), -1);
  if (bytesTotal > 0) {
    line += QStringLiteral(" %1% of %2")
                .arg(bytesRead * 100 / bytesTotal)
                .arg(QString::fromStdString(media::FormatByteSize(static_cast<double>(bytesTotal))));
  } else {
    line += QStringLiteral(" ") + QString::fromStdString(media::FormatByteSize(static_cast<double>(bytesRead)));
  }
  Show(line);
}

void WebMovieFetcher::Show(const QString& line) {
  if (status) status(line);
}

}  // namespace vantrel::net
