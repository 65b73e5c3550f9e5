// Movies opened by web address: the player's fetches into the cache, with progress in
// the window's status area.
#pragma once

#include <QObject>
#include <functional>

#include "net/downloader_control.h"
#include "player/web_port.h"

namespace vantrel::core {
class ExecutionLog;
}

namespace vantrel::net {

class WebMovieFetcher final : public QObject, public player::WebPort {
 public:
  WebMovieFetcher(const std::string& cachePath, core::ExecutionLog* log, QObject* parent = nullptr,
                  TransferLimits limits = DownloaderControl::MovieLimits());

  void Fetch(const std::string& address, FetchDone done) override;
  void CancelFetch() override;

  // Hears the progress lines ("Downloading... :: movie.swf 42% of 1.21 MB") and the
  // failure; unset: nothing is shown.
  std::function<void(const QString& line)> status;

 private:
  void OnProgress(qint64 bytesRead, qint64 bytesTotal, int statusCode, const QString& statusText);
  void Show(const QString& line);

  DownloaderControl downloader_;
  core::ExecutionLog* log_;
  FetchDone done_;
  QString address_;
};

}  // namespace vantrel::net
