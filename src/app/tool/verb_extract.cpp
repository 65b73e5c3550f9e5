// vantrel-tool extract MOVIE DESTDIR [--jpeg --png --event --stream --video | --all]:
// writes a movie's images, sounds, videos and metadata into a folder.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <unistd.h>

#include "app/tool/tool_session.h"
#include "app/tool/tool_support.h"
#include "app/tool/verbs.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/text.h"
#include "media/extract_resources.h"
#include "media/identify.h"
#include "media/projector.h"

namespace fs = std::filesystem;

namespace vantrel::tool {

namespace {

std::atomic<bool> gStop{false};  // set by Ctrl+C: the walk ends before its next tag

extern "C" void StopExtraction(int) { gStop = true; }

// A one-line progress bar on a terminal, shown once the walk has run for a moment.
class ProgressBar {
 public:
  ProgressBar() : enabled_(::isatty(STDERR_FILENO) == 1), start_(std::chrono::steady_clock::now()) {}
  ~ProgressBar() {
    if (drawn_) std::fprintf(stderr, "\r%*s\r", 72, "");
  }
  void operator()(double value, std::string_view label) {
    if (!enabled_ || std::chrono::steady_clock::now() - start_ < std::chrono::milliseconds(300)) return;
    constexpr int kWidth = 40;
    const int filled = static_cast<int>(value * kWidth + 0.5);
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%  %-20.*s", filled, "########################################",
                 kWidth - filled, "", static_cast<int>(value * 100 + 0.5), static_cast<int>(std::min<std::size_t>(label.size(), 20)),
                 label.data());
    std::fflush(stderr);
    drawn_ = true;
  }

 private:
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace

int RunExtract(const Args& args) {
  std::array<bool, media::kExtractCategories> chosen{};
  bool anyChoice = false;
  std::vector<std::string> names;
  static constexpr std::array<std::string_view, media::kExtractCategories> kFlags = {"--jpeg", "--png", "--event",
                                                                                      "--stream", "--video"};
  for (const std::string& arg : args) {
    const auto flag = std::find(kFlags.begin(), kFlags.end(), arg);
    if (flag != kFlags.end()) {
      chosen[static_cast<std::size_t>(flag - kFlags.begin())] = true;
      anyChoice = true;
    } else if (arg == "--all") {
      chosen.fill(true);
      anyChoice = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("extract", "unknown option " + arg);
    } else {
      names.push_back(arg);
    }
  }
  if (names.size() != 2) return UsageError("extract", "expected MOVIE and DESTDIR");
  if (!anyChoice) chosen = media::kExtractDefaults;

  std::error_code ec;
  const std::string movie = fs::absolute(names[0], ec).lexically_normal().string();
  if (!core::FileExists(movie) || core::FolderExists(movie)) {
    PrintError(names[0] + ": no such file");
    return kExitFailed;
  }
  ToolSession session;
  media::MediaContext& context = session.context;

  // The movie is checked before the destination is made, so a file that is not a movie
  // leaves no empty folder behind. A full identification gives the whole plain movie (a
  // compressed movie is decompressed into the cache, a projector's movie taken out).
  media::MediaRecord record;
  std::string error = media::CheckMediaFile(movie);
  if (error.empty()) error = media::IdentifyMedia(context, movie, record, true);
  if (error.empty() && context.Error.Pending()) error = context.Error.description;
  error = core::PlainText(error);
  if (error.empty() && record.IsVideo) error = "resources are extracted from movies, not from Flash videos";
  if (!error.empty()) {
    PrintError(names[0] + ": " + error);
    return kExitFailed;
  }

  const std::string destination = core::AddSlash(names[1]);
  if (!core::FolderExists(destination)) {
    fs::create_directories(destination, ec);
    if (!core::FolderExists(destination)) {
      PrintError("Could not create specified path. Please choose a different one: " + names[1] +
                 (ec ? " (" + ec.message() + ")" : ""));
      return kExitFailed;
    }
  }

  media::ExtractCounters counters = media::CountersFor(chosen);
  gStop = false;
  const auto previous = std::signal(SIGINT, StopExtraction);
  media::ExtractReport report;
  {
    ProgressBar bar;
    report = media::ExtractResources(record, destination, std::ref(bar), counters, &gStop);
  }
  std::signal(SIGINT, previous);

  std::string message = media::ExtractMessage(counters);
  for (std::size_t at = message.find("\r\n"); at != std::string::npos; at = message.find("\r\n", at))
    message.replace(at, 2, "\n");
  std::printf("%s\n", message.c_str());
  if (gStop) PrintError("stopped before the end of the movie");
  if (report.damaged > 0)
    PrintError(std::to_string(report.damaged) + (report.damaged == 1 ? " resource" : " resources") +
               " could not be decoded; the first: " + report.firstDamage);
  if (report.failed > 0)
    PrintError(std::to_string(report.failed) + (report.failed == 1 ? " file" : " files") +
               " could not be written; the first: " + report.firstFailure);
  if (report.failed > 0 || report.damaged > 0) return kExitFailed;
  return gStop ? kExitFailed : kExitOk;
}

}  // namespace vantrel::tool
