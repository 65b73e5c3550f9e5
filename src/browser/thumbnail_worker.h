// Makes the browser's missing thumbnails on a thread of its own, one batch at a time,
// so the window stays responsive; each finished thumbnail is reported on the thread
// that owns the worker (the window's), where the page fills it in.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "browser/shots.h"
#include "media/media_context.h"

namespace vantrel::browser {

struct ThumbnailJob {
  int index = 0;         // the entry's 0-based position on the page
  std::string path;      // the media file
  std::string jpegPath;  // where its thumbnail goes
};

class ThumbnailWorker : public QObject {
  Q_OBJECT

 public:
  // context gives the folders and the projector hook; the worker keeps its own copy (the
  // options and the log are not shared across threads).
  explicit ThumbnailWorker(const media::MediaContext& context, QObject* parent = nullptr);
  ~ThumbnailWorker() override;

  // Starts a batch, stopping the one running (after its current thumbnail). Returns the
  // batch number the reports carry.
  int Start(std::vector<ThumbnailJob> jobs, const ShotOptions& options);
  // Stops the running batch before its next thumbnail and waits for it.
  void Cancel();
  bool Busy() const { return busy_; }

  // Before each thumbnail: its position (0-based) in the batch of total.
  std::function<void(int batch, int position, int total, const std::string& path)> onStarting;
  // After each thumbnail (failure is "" on success).
  std::function<void(int batch, const ThumbnailJob& job, const std::string& failure)> onMade;
  // When the batch ends: how many were made and whether it was cancelled.
  std::function<void(int batch, int made, bool cancelled)> onFinished;

 private:
  void Run(int batch, std::vector<ThumbnailJob> jobs, ShotOptions options);
  void Post(std::function<void()> call);

  media::MediaContext context_;
  std::thread thread_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> busy_{false};
  int batch_ = 0;
};

}  // namespace vantrel::browser
