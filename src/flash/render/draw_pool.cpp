#include "flash/render/draw_pool.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "flash/raster/lanes.h"

namespace vantrel::flash::render {

namespace {

class DrawPool {
 public:
  bool Draw(int height, int parts, const std::function<void(int, int, int)>& band) {
    const std::unique_lock busy(busy_, std::try_to_lock);
    if (!busy.owns_lock()) return false;
    parts = std::clamp(std::min(parts, height), 1, kMaxLanes);
    if (static_cast<int>(borders_.size()) != parts + 1 || borders_.back() != height) {
      borders_.assign(static_cast<std::size_t>(parts) + 1, 0);
      for (int i = 0; i <= parts; ++i) borders_[static_cast<std::size_t>(i)] = static_cast<int>(std::int64_t{height} * i / parts);
      unevenRuns_ = 0;
    }
    seconds_.assign(static_cast<std::size_t>(parts), 0.0);
    const auto timed = [&](int part) {
      const auto start = std::chrono::steady_clock::now();
      band(part, borders_[static_cast<std::size_t>(part)], borders_[static_cast<std::size_t>(part) + 1]);
      seconds_[static_cast<std::size_t>(part)] =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    Run(parts, timed);
    // Borders move only after a few uneven drawings in a row: each move makes every
    // lane's kept edges and masks (kept per band) start again.
    const auto [fastest, slowest] = std::minmax_element(seconds_.begin(), seconds_.end());
    if (*slowest > 0.002 && *slowest > 1.2 * *fastest) {
      if (++unevenRuns_ >= 3) {
        borders_ = BalanceBands(borders_, seconds_);
        unevenRuns_ = 0;
      }
    } else {
      unevenRuns_ = 0;
    }
    return true;
  }

 private:
  // Runs part(0..parts-1), part 0 on the calling thread, part i in lane i.
  void Run(int parts, const std::function<void(int)>& part) {
    {
      const std::lock_guard lock(mutex_);
      while (threads_ < parts - 1) {
        const int lane = ++threads_;
        std::thread([this, lane] { Serve(lane); }).detach();
      }
      part_ = &part;
      parts_ = parts;
      pending_ = parts - 1;
      ++generation_;
    }
    wake_.notify_all();
    std::exception_ptr failure;
    try {
      const LaneScope scope(0);
      part(0);
    } catch (...) {
      failure = std::current_exception();
    }
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&] { return pending_ == 0; });
    part_ = nullptr;
    if (failure) std::rethrow_exception(failure);
  }

  void Serve(int lane) {
    const LaneScope scope(lane);
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return generation_ != seen; });
      seen = generation_;
      if (lane >= parts_) continue;
      const auto* part = part_;
      lock.unlock();
      try {
        (*part)(lane);
      } catch (...) {
        // A band that cannot be drawn (out of memory) stays as it was.
      }
      lock.lock();
      if (--pending_ == 0) done_.notify_one();
    }
  }

  std::mutex busy_;  // held by the thread whose drawing the pool runs
  std::vector<int> borders_;
  std::vector<double> seconds_;
  int unevenRuns_ = 0;

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  int threads_ = 0;  // thread i (from 1) draws in lane i
  const std::function<void(int)>* part_ = nullptr;
  int parts_ = 0;
  int pending_ = 0;
  std::uint64_t generation_ = 0;
};

// The pool of this process. A child forked by the tools' workers (or the thumbnail
// generator) has none of its parent's threads, and its parent's locks may be held
// there: it starts a pool of its own. Pools are never destroyed, so no thread is
// joined while the program exits.
DrawPool& Pool() {
  static std::mutex mutex;
  static std::atomic<DrawPool*> pool{nullptr};
  static std::atomic<pid_t> owner{0};
  const pid_t self = ::getpid();
  if (owner.load(std::memory_order_acquire) == self) return *pool.load(std::memory_order_acquire);
  const std::lock_guard lock(mutex);
  if (owner.load(std::memory_order_acquire) != self) {
    pool.store(new DrawPool, std::memory_order_release);  // the parent's pool stays behind, unused
    owner.store(self, std::memory_order_release);
  }
  return *pool.load(std::memory_order_acquire);
}

}  // namespace

int DefaultDrawingThreads() {
  static const int threads = [] {
    if (const char* text = std::getenv("VANTREL_DRAWING_THREADS")) {
      const int asked = std::atoi(text);
      if (asked > 0) return std::min(asked, kMaxLanes);
    }
    const unsigned cores = std::thread::hardware_concurrency();
    return std::clamp(static_cast<int>(cores == 0 ? 1 : cores), 1, kMaxLanes);
  }();
  return threads;
}

bool DrawInBands(int height, int parts, const std::function<void(int, int, int)>& band) {
  if (height <= 0) return true;
  if (parts <= 1) {
    const LaneScope scope(0);
    band(0, 0, height);
    return true;
  }
  return Pool().Draw(height, parts, band);
}

std::vector<int> BalanceBands(const std::vector<int>& borders, const std::vector<double>& seconds) {
  const std::size_t parts = seconds.size();
  if (parts == 0 || borders.size() != parts + 1) return borders;
  double total = 0;
  for (double s : seconds) total += std::max(0.0, s);
  const int height = borders.back();
  if (total <= 0 || height < static_cast<int>(parts)) return borders;
  std::vector<int> next(parts + 1, 0);
  next[parts] = height;
  // Walk the old bands, spending each band's time evenly over its rows, and put a
  // border wherever a share of the total has been spent.
  std::size_t band = 0;
  double spentBefore = 0;  // time of the bands above `band`
  for (std::size_t k = 1; k < parts; ++k) {
    const double goal = total * static_cast<double>(k) / static_cast<double>(parts);
    while (band + 1 < parts && spentBefore + std::max(0.0, seconds[band]) < goal) spentBefore += std::max(0.0, seconds[band++]);
    const int top = borders[band], rows = borders[band + 1] - top;
    const double time = std::max(0.0, seconds[band]);
    const double share = time > 0 ? (goal - spentBefore) / time : 0;
    int border = top + static_cast<int>(std::lround(std::clamp(share, 0.0, 1.0) * rows));
    // Every band keeps at least one row.
    border = std::clamp(border, next[k - 1] + 1, height - static_cast<int>(parts - k));
    next[k] = border;
  }
  return next;
}

}  // namespace vantrel::flash::render
