#include "flash/raster/lanes.h"

#include <cstdint>
#include <functional>

namespace vantrel::flash::render {

namespace {
thread_local int currentLane = 0;
}  // namespace

int CurrentLane() { return currentLane; }

LaneScope::LaneScope(int lane) : previous_(currentLane) { currentLane = lane < 0 || lane >= kMaxLanes ? 0 : lane; }

LaneScope::~LaneScope() { currentLane = previous_; }

std::recursive_mutex& BuildLock(const void* owner) {
  static std::array<std::recursive_mutex, 64> locks;
  const auto address = reinterpret_cast<std::uintptr_t>(owner);
  return locks[(address >> 4) % locks.size()];
}

}  // namespace vantrel::flash::render
