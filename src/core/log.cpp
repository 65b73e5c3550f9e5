#include "core/log.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <fstream>

#include "core/paths.h"
#include "core/text.h"

namespace vantrel::core {

double SecondsSinceMidnight() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const double fraction =
      duration_cast<microseconds>(now.time_since_epoch()).count() % 1000000 / 1e6;
  return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction;
}

ExecutionLog::ExecutionLog(Clock clock) : clock_(std::move(clock)) {}

bool ExecutionLog::CreateLogFile(const std::string& logPath) {
  if (FileExists(logPath)) std::remove(logPath.c_str());
  std::ofstream out(logPath, std::ios::binary | std::ios::app);
  if (!out) return false;
  const std::string title(kProductTitle);
  for (const std::string& line : {std::string("<html>"), std::string("<head>"),
                                  "<title>" + title + " | Execution Log</title>",
                                  std::string("</head>"), std::string("<body>")}) {
    out << line << "\r\n";
  }
  return static_cast<bool>(out);
}

void ExecutionLog::WriteLog(std::string_view, bool) {
  // Switched off on purpose: the log keeps only its head lines.
}

std::vector<std::string> ExecutionLog::ReportError(RunError& error, std::string_view context,
                                                   std::string_view detail) {
  std::vector<std::string> lines;
  lines.emplace_back("");
  lines.push_back("<B><FONT color=\"#000000\">" + std::to_string(error.number));
  lines.emplace_back(context);
  lines.push_back(error.source);
  lines.push_back(error.description);
  if (!detail.empty()) {
    lines.push_back("</B><I><FONT color=\"#333333\">" + HtmlEncode(detail) + "</FONT></I><B>");
  }
  lines.emplace_back("</FONT></B>");
  lines.push_back("<B>ALERT:</B> " + std::string(context) + "<BR>" + error.description + "<BR>" +
                  error.source);
  for (const std::string& line : lines) WriteLog(line, true);
  error.Clear();
  return lines;
}

std::string ExecutionLog::LogTime(std::string_view text, bool reset) {
  const float now = static_cast<float>(clock_());
  if (reset && startMark_ == 0) {
    startMark_ = now;
    lapMark_ = now;
    return {};
  }
  std::string line;
  if (!text.empty()) {
    const float elapsed = now - (reset ? startMark_ : lapMark_);
    const long ms = std::lround(static_cast<double>(elapsed) * 1000.0);
    line = std::string(text) + " in " + std::to_string(ms) + " ms";
    WriteLog(line, true);
  }
  lapMark_ = now;
  return line;
}

}  // namespace vantrel::core
