// Drawing one frame on several threads. Each thread that draws a part of a frame runs
// in a lane of its own (the thread that asked for the drawing is lane 0), and what a
// character keeps between drawings (edges cut for a transform, a colour-transformed
// bitmap) is kept once per lane, so no two threads share such a cache. What a character
// builds once and then only reads (its assembled paths, its outline) is built under a
// lock by whichever thread needs it first.
#pragma once

#include <array>
#include <atomic>
#include <mutex>

namespace vantrel::flash::render {

// Lanes at most; a drawing never splits into more parts than this.
inline constexpr int kMaxLanes = 16;

// The lane of the calling thread (0 unless it draws a part of a frame for a pool).
int CurrentLane();

// Puts the calling thread in a lane while it lives.
class LaneScope {
 public:
  explicit LaneScope(int lane);
  ~LaneScope();
  LaneScope(const LaneScope&) = delete;
  LaneScope& operator=(const LaneScope&) = delete;

 private:
  int previous_;
};

// One T per lane; a copy starts empty (caches are not carried over to a copy).
template <typename T>
class PerLane {
 public:
  PerLane() = default;
  PerLane(const PerLane&) {}
  PerLane& operator=(const PerLane&) {
    items_ = {};
    return *this;
  }
  PerLane(PerLane&&) = default;
  PerLane& operator=(PerLane&&) = default;
  T& Mine() const { return items_[static_cast<std::size_t>(CurrentLane())]; }
  void Clear() { items_ = {}; }

 private:
  mutable std::array<T, kMaxLanes> items_{};
};

// A flag for something built on first use by any thread; copies carry its state.
class BuiltFlag {
 public:
  BuiltFlag() = default;
  BuiltFlag(const BuiltFlag& other) : built_(other.Built()) {}
  BuiltFlag& operator=(const BuiltFlag& other) {
    built_.store(other.Built(), std::memory_order_release);
    return *this;
  }
  bool Built() const { return built_.load(std::memory_order_acquire); }
  void Set(bool built) { built_.store(built, std::memory_order_release); }

 private:
  std::atomic<bool> built_{false};
};

// The lock that guards the lazily built parts of owner (one of a fixed set of locks,
// picked by the owner's address; a thread may take it again while it holds it).
std::recursive_mutex& BuildLock(const void* owner);

// Builds once: runs build() under owner's lock unless flag is already set.
template <typename Build>
void BuildOnce(const void* owner, BuiltFlag& flag, Build&& build) {
  if (flag.Built()) return;
  const std::lock_guard lock(BuildLock(owner));
  if (flag.Built()) return;
  build();
  flag.Set(true);
}

}  // namespace vantrel::flash::render
