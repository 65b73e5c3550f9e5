#include "flash/render/draw_pool.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "flash/raster/lanes.h"

namespace vantrel::flash::render {

namespace {

// Whether the machine has a core that no thread is waiting for: the count of runnable
// threads (the kernel's, which counts the caller) is at most the count of cores. Read
// at most every 50 ms.
bool SpareCores() {
  using Clock = std::chrono::steady_clock;
  static std::atomic<Clock::rep> checked{0};
  static std::atomic<bool> spare{true};
  static const long cores = std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN));
  const Clock::rep now = Clock::now().time_since_epoch().count();
  Clock::rep last = checked.load(std::memory_order_relaxed);
  if (now - last < std::chrono::duration_cast<Clock::duration>(std::chrono::milliseconds(50)).count() ||
      !checked.compare_exchange_strong(last, now, std::memory_order_relaxed))
    return spare.load(std::memory_order_relaxed);
  // "/proc/loadavg": "0.50 0.40 0.30 RUNNABLE/THREADS LASTPID".
  long running = 0;
  if (std::FILE* file = std::fopen("/proc/loadavg", "re")) {
    double averages[3];
    long threads = 0;
    if (std::fscanf(file, "%lf %lf %lf %ld/%ld", &averages[0], &averages[1], &averages[2], &running, &threads) != 5)
      running = 0;
    std::fclose(file);
  }
  spare.store(running <= cores, std::memory_order_relaxed);
  return spare.load(std::memory_order_relaxed);
}

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
    // Borders move only after a few uneven drawings in a row, by the times of all of
    // them (one short frame's times are mostly noise): each move makes every lane's
    // kept edges and masks (kept per band) start again. Bands down to 20 microseconds
    // are balanced too: at full screen most of such a frame is filling the background,
    // and a little shape in one band is what makes the other thread wait.
    const auto [fastest, slowest] = std::minmax_element(seconds_.begin(), seconds_.end());
    if (*slowest > 0.00002 && *slowest > 1.2 * *fastest) {
      if (unevenRuns_++ == 0) unevenSeconds_.assign(seconds_.size(), 0.0);
      for (std::size_t i = 0; i < seconds_.size(); ++i) unevenSeconds_[i] += seconds_[i];
      if (unevenRuns_ >= 3) {
        borders_ = BalanceBands(borders_, unevenSeconds_);
        unevenRuns_ = 0;
      }
    } else {
      unevenRuns_ = 0;
    }
    return true;
  }

 private:
  // How long a thread that waits spins before it sleeps: frames come one after another
  // and a small band takes less time than waking a sleeping thread (and its idle core)
  // does, so a lane that has just drawn looks for the next frame a little while, and
  // the thread that asked waits for the last band the same way. Past that both sleep,
  // so an idle player costs nothing; and on a machine whose cores are all taken they do
  // not spin at all, since spinning would only take time from the drawing threads.
  static constexpr auto kSpin = std::chrono::microseconds(300);

  // Spins until ready() or kSpin has passed; says whether ready() came true.
  template <typename Ready>
  static bool SpinFor(const Ready& ready) {
    if (ready()) return true;
    if (!SpareCores()) return false;
    const auto until = std::chrono::steady_clock::now() + kSpin;
    for (int turn = 1;; ++turn) {
      if (ready()) return true;
      // No pause instruction: in a virtual machine a loop of them makes the host take
      // the core away, which is what spinning is meant to avoid.
      if (turn % 64 == 0 && std::chrono::steady_clock::now() >= until) return ready();
    }
  }

  // Runs part(0..parts-1), part 0 on the calling thread, part i in lane i.
  void Run(int parts, const std::function<void(int)>& part) {
    bool sleepers = false;
    {
      const std::lock_guard lock(mutex_);
      while (threads_ < parts - 1) {
        const int lane = ++threads_;
        std::thread([this, lane] { Serve(lane); }).detach();
      }
      part_ = &part;
      parts_ = parts;
      pending_.store(parts - 1, std::memory_order_relaxed);
      generation_.fetch_add(1, std::memory_order_release);
      sleepers = sleepers_ > 0;
    }
    if (sleepers) wake_.notify_all();
    std::exception_ptr failure;
    try {
      const LaneScope scope(0);
      part(0);
    } catch (...) {
      failure = std::current_exception();
    }
    if (!SpinFor([&] { return pending_.load(std::memory_order_acquire) == 0; })) {
      std::unique_lock lock(mutex_);
      done_.wait(lock, [&] { return pending_.load(std::memory_order_acquire) == 0; });
    }
    if (failure) std::rethrow_exception(failure);
  }

  void Serve(int lane) {
    const LaneScope scope(lane);
    std::uint64_t seen = 0;
    for (;;) {
      const std::function<void(int)>* part = nullptr;
      {
        const auto fresh = [&] { return generation_.load(std::memory_order_acquire) != seen; };
        const bool spun = SpinFor(fresh);
        std::unique_lock lock(mutex_);
        if (!spun) {
          ++sleepers_;
          wake_.wait(lock, fresh);
          --sleepers_;
        }
        // Read under the lock, so that the frame's part and its count belong together.
        seen = generation_.load(std::memory_order_relaxed);
        if (lane >= parts_) continue;
        part = part_;
      }
      try {
        (*part)(lane);
      } catch (...) {
        // A band that cannot be drawn (out of memory) stays as it was.
      }
      if (pending_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        // Under the lock: the asking thread either sees the count at 0 before it sleeps or
        // is asleep and gets this.
        const std::lock_guard lock(mutex_);
        done_.notify_one();
      }
    }
  }

  std::mutex busy_;  // held by the thread whose drawing the pool runs
  std::vector<int> borders_;
  std::vector<double> seconds_;
  std::vector<double> unevenSeconds_;  // the times of the uneven drawings in a row so far
  int unevenRuns_ = 0;

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  int threads_ = 0;   // thread i (from 1) draws in lane i
  int sleepers_ = 0;  // lanes asleep on wake_
  const std::function<void(int)>* part_ = nullptr;
  int parts_ = 0;
  std::atomic<int> pending_{0};
  std::atomic<std::uint64_t> generation_{0};
};

// Forks of this process so far, as seen by a child (counted by a pthread_atfork handler).
std::atomic<unsigned> forks{0};

// The pool of this process. A child forked by the tools' workers (or the thumbnail
// generator) has none of its parent's threads, and its parent's locks may be held
// there: it starts a pool of its own. Pools are never destroyed, so no thread is
// joined while the program exits. (A count of forks, not the process id, tells a child
// from its parent: asking for the id is a system call on every frame.)
DrawPool& Pool() {
  static const bool counting = [] {
    ::pthread_atfork(nullptr, nullptr, [] { forks.fetch_add(1, std::memory_order_relaxed); });
    return true;
  }();
  (void)counting;
  static std::mutex mutex;
  static std::atomic<DrawPool*> pool{nullptr};
  static std::atomic<unsigned> owner{0};  // the count of forks the pool was made after
  const unsigned self = forks.load(std::memory_order_relaxed);
  DrawPool* current = pool.load(std::memory_order_acquire);
  if (current != nullptr && owner.load(std::memory_order_acquire) == self) return *current;
  const std::lock_guard lock(mutex);
  if (pool.load(std::memory_order_acquire) == nullptr || owner.load(std::memory_order_acquire) != self) {
    owner.store(self, std::memory_order_release);
    pool.store(new DrawPool, std::memory_order_release);  // the parent's pool stays behind, unused
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
