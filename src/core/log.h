// The execution log: its HTML head, the (switched-off) line writer, error reports and
// the stopwatch.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::core {

// A run-time error as the error handlers see it: number, source and description.
// Number 0 means no error is pending.
struct RunError {
  long number = 0;
  std::string source;
  std::string description;

  bool Pending() const { return number != 0 || !description.empty(); }
  void Clear() { *this = RunError{}; }
};

// Seconds since local midnight, with fractions (the system timer the stopwatch reads).
double SecondsSinceMidnight();

class ExecutionLog {
 public:
  using Clock = std::function<double()>;

  explicit ExecutionLog(Clock clock = SecondsSinceMidnight);

  // Recreates the log file at logPath with its five head lines. Returns false when the
  // file cannot be written.
  static bool CreateLogFile(const std::string& logPath);

  // The line writer. It is switched off: every line handed to it is discarded.
  void WriteLog(std::string_view text, bool lineBreak = true);

  // Composes the error report lines for error, hands them to WriteLog and clears error.
  // Returns the composed lines (what the writer was given).
  std::vector<std::string> ReportError(RunError& error, std::string_view context,
                                       std::string_view detail = {});

  // Stopwatch. The first call with reset only starts it; a call with text hands
  // "text in N ms" to WriteLog (time since start with reset, since the last call
  // without) and returns that line; every call moves the lap mark. Returns "" when no
  // line was composed.
  std::string LogTime(std::string_view text, bool reset = false);

 private:
  Clock clock_;
  float lapMark_ = 0;
  float startMark_ = 0;
};

}  // namespace vantrel::core
