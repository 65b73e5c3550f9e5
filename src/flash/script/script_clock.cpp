#include "flash/script/script_clock.h"

#include <ctime>

namespace vantrel::flash {

double ThreadCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void ScriptClock::Start(double seconds) {
  limit_ = seconds > 0 ? seconds : kDefaultScriptSeconds;
  start_ = ThreadCpuSeconds();
  nextNotice_ = start_ + kNoticeAfter;
}

double ScriptClock::Elapsed() const { return ThreadCpuSeconds() - start_; }

bool ScriptClock::TimeLeft() {
  const double now = ThreadCpuSeconds();
  if (now - start_ > limit_) return false;
  // The host may repaint and run its timers here; it must not start scripts of its own
  // (the control refuses them while a run is on), so a notice never nests.
  if (now >= nextNotice_ && onRunningLong && !inNotice_) {
    nextNotice_ = now + kNoticeEvery;
    inNotice_ = true;
    onRunningLong(now - start_);
    inNotice_ = false;
    // What the host did meanwhile is not the script's time.
    const double spent = ThreadCpuSeconds() - now;
    start_ += spent;
    nextNotice_ += spent;
  }
  return true;
}

}  // namespace vantrel::flash
