#include "browser/thumbnail_worker.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QMetaObject>
#include <random>

namespace vantrel::browser {

ThumbnailWorker::ThumbnailWorker(const media::MediaContext& context, QObject* parent) : QObject(parent) {
  context_.CachePath = context.CachePath;
  context_.UserPath = context.UserPath;
  context_.FlashPath = context.FlashPath;
  context_.ExtractProjector = context.ExtractProjector;
}

ThumbnailWorker::~ThumbnailWorker() { Cancel(); }

void ThumbnailWorker::Cancel() {
  cancel_ = true;
  if (thread_.joinable()) thread_.join();
  busy_ = false;
}


int ThumbnailWorker::Start(std::vector<ThumbnailJob> jobs, const ShotOptions& options) {
  Cancel();
  cancel_ = false;
  const int batch = ++batch_;
  busy_ = true;
  thread_ = std::thread([this, batch, jobs = std::move(jobs), options]() mutable {
    Run(batch, std::move(jobs), std::move(options));
  });
  return batch;
}

void ThumbnailWorker::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void ThumbnailWorker::Run(int batch, std::vector<ThumbnailJob> jobs, ShotOptions options) {
  // Below the window's thread, so clicks and repaints win when the cores are busy.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
  std::mt19937 generator(std::random_device{}());
  std::uniform_real_distribution<double> random(0.0, 1.0);
  int made = 0;
  const int total = static_cast<int>(jobs.size());
  for (int i = 0; i < total; ++i) {
    if (cancel_) break;
    const ThumbnailJob& job = jobs[static_cast<std::size_t>(i)];
    Post([this, batch, i, total, path = job.path] {
      if (onStarting) onStarting(batch, i, total, path);
    });
    media::MediaRecord record;
    const std::string failure = MakeThumbnail(context_, job.path, job.jpegPath, options, random(generator), record);
    if (failure.empty()) ++made;
    Post([this, batch, job, failure] {
      if (onMade) onMade(batch, job, failure);
    });
  }
  const bool cancelled = cancel_;
  Post([this, batch, made, cancelled] {
    if (batch == batch_) busy_ = false;
    if (onFinished) onFinished(batch, made, cancelled);
  });
}

}  // namespace vantrel::browser
