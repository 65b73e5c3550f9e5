// How long the scripts of one frame (or of one call from the host) may run before the
// player stops them: the movie's ScriptLimits timeout, or the reference player's 15
// seconds when the movie gives none. Time is the thread's processor time, so that a
// busy machine never cuts a script short. While a script runs long, the host hears of
// it from time to time, so that its window can keep answering.
#pragma once

#include <functional>

namespace vantrel::flash {

// The reference player's limit for movies without a ScriptLimits timeout.
inline constexpr double kDefaultScriptSeconds = 15.0;

// The thread's processor time in seconds.
double ThreadCpuSeconds();

class ScriptClock {
 public:
  // Starts a new run with seconds of processor time (<= 0: the default).
  void Start(double seconds);
  // False once the run's time is up. Calls onRunningLong (with the seconds run so far)
  // once the run has gone on for kNoticeAfter seconds and then every kNoticeEvery.
  bool TimeLeft();
  double Limit() const { return limit_; }
  // Seconds the current run has taken so far.
  double Elapsed() const;

  std::function<void(double seconds)> onRunningLong;

  static constexpr double kNoticeAfter = 0.5;
  static constexpr double kNoticeEvery = 0.25;

 private:
  double start_ = 0;
  double limit_ = kDefaultScriptSeconds;
  double nextNotice_ = 0;
  bool inNotice_ = false;
};

}  // namespace vantrel::flash
