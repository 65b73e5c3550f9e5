// vantrel-tool extract MOVIE|FOLDER... DESTDIR [-r] [-j N] [--jpeg --png --event --stream
// --video | --all]: writes movies' images, sounds, videos and metadata into a folder.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include <unistd.h>

#include "app/tool/tool_session.h"
#include "app/tool/tool_support.h"
#include "app/tool/verbs.h"
#include "core/options.h"
#include "core/ordered_work.h"
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

// What extracting one movie gave: the summary for stdout (empty when it failed before
// the walk) and the problems for stderr, each without the program's prefix.
struct Extraction {
  bool failed = false;
  std::string summary;
  std::vector<std::string> problems;
};

// A result travels from a worker as one text: "0" or "1", the summary, then each
// problem, separated by NUL characters.
std::string Pack(const Extraction& e) {
  std::string text = (e.failed ? "1" : "0") + e.summary;
  for (const std::string& problem : e.problems) text += '\0' + problem;
  return text;
}
Extraction Unpack(const std::string& text) {
  Extraction e;
  e.failed = !text.empty() && text[0] == '1';
  std::size_t at = text.empty() ? 0 : 1;
  std::size_t end = text.find('\0', at);
  e.summary = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
  while (end != std::string::npos) {
    at = end + 1;
    end = text.find('\0', at);
    e.problems.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
  }
  return e;
}

// Extracts the resources of movie (named as shown) into destination, creating it.
Extraction ExtractMovie(media::MediaContext& context, const std::string& movie, const std::string& shown,
                        const std::string& destinationIn, const std::array<bool, media::kExtractCategories>& chosen,
                        const std::function<void(double, std::string_view)>& progress) {
  Extraction result;
  const auto fail = [&](const std::string& problem) {
    result.failed = true;
    result.problems.push_back(problem);
    return result;
  };
  if (!core::FileExists(movie) || core::FolderExists(movie)) return fail(shown + ": no such file");
  // The movie is checked before the destination is made, so a file that is not a movie
  // leaves no empty folder behind. A full identification gives the whole plain movie (a
  // compressed movie is decompressed into the cache, a projector's movie taken out).
  media::MediaRecord record;
  std::string error = media::CheckMediaFile(movie);
  if (error.empty()) error = media::IdentifyMedia(context, movie, record, true);
  if (error.empty() && context.Error.Pending()) error = context.Error.description;
  error = core::PlainText(error);
  if (error.empty() && record.IsVideo) error = "resources are extracted from movies, not from Flash videos";
  if (!error.empty()) return fail(shown + ": " + error);

  std::error_code ec;
  const std::string destination = core::AddSlash(destinationIn);
  if (!core::FolderExists(destination)) {
    fs::create_directories(destination, ec);
    if (!core::FolderExists(destination))
      return fail("Could not create specified path. Please choose a different one: " + destinationIn +
                  (ec ? " (" + ec.message() + ")" : ""));
  }

  media::ExtractCounters counters = media::CountersFor(chosen);
  const media::ExtractReport report = media::ExtractResources(record, destination, progress, counters, &gStop);
  result.summary = media::ExtractMessage(counters);
  for (std::size_t at = result.summary.find("\r\n"); at != std::string::npos; at = result.summary.find("\r\n", at))
    result.summary.replace(at, 2, "\n");
  if (gStop) result.problems.push_back("stopped before the end of the movie");
  if (report.damaged > 0)
    result.problems.push_back(std::to_string(report.damaged) + (report.damaged == 1 ? " resource" : " resources") +
                              " could not be decoded; the first: " + report.firstDamage);
  if (report.failed > 0)
    result.problems.push_back(std::to_string(report.failed) + (report.failed == 1 ? " file" : " files") +
                              " could not be written; the first: " + report.firstFailure);
  result.failed = report.failed > 0 || report.damaged > 0 || gStop;
  return result;
}

struct MovieTask {
  std::string movie;        // absolute
  std::string shown;        // as found or given
  std::string destination;  // the folder its resources go to
};

}  // namespace

int RunExtract(const Args& args) {
  std::array<bool, media::kExtractCategories> chosen{};
  bool anyChoice = false;
  bool recursive = false;
  int jobs = core::DefaultJobs();
  std::vector<std::string> names;
  static constexpr std::array<std::string_view, media::kExtractCategories> kFlags = {"--jpeg", "--png", "--event",
                                                                                      "--stream", "--video"};
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const auto flag = std::find(kFlags.begin(), kFlags.end(), arg);
    if (const int taken = TakeJobs(args, i, jobs); taken != 0) {
      if (taken < 0) return UsageError("extract", "-j needs a number of workers from 1 to 256");
    } else if (flag != kFlags.end()) {
      chosen[static_cast<std::size_t>(flag - kFlags.begin())] = true;
      anyChoice = true;
    } else if (arg == "--all") {
      chosen.fill(true);
      anyChoice = true;
    } else if (IsFlag(arg, {"-r", "--recursive"})) {
      recursive = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return UsageError("extract", "unknown option " + arg);
    } else {
      names.push_back(arg);
    }
  }
  if (names.size() < 2) return UsageError("extract", "expected MOVIE and DESTDIR");
  if (!anyChoice) chosen = media::kExtractDefaults;
  const std::string destination = names.back();
  names.pop_back();

  std::error_code ec;
  const auto absolute = [&](const std::string& name) { return fs::absolute(name, ec).lexically_normal().string(); };
  gStop = false;
  const auto previous = std::signal(SIGINT, StopExtraction);
  ToolSession session;
  int status = kExitOk;

  if (names.size() == 1 && !core::FolderExists(names[0])) {
    // One movie: its summary alone, with a bar of the walk on a terminal.
    Extraction result;
    {
      ProgressBar bar;
      result = ExtractMovie(session.context, absolute(names[0]), names[0], destination, chosen, std::ref(bar));
    }
    if (!result.summary.empty()) std::printf("%s\n", result.summary.c_str());
    for (const std::string& problem : result.problems) PrintError(problem);
    status = result.failed ? kExitFailed : kExitOk;
  } else {
    // Several movies, or the movies of folders (the whole tree with -r): each movie's
    // resources go to DESTDIR, in the folder that mirrors where the movie was found.
    std::vector<std::unique_ptr<WorkerSession>> workers;
    if (jobs > 1)
      for (int n = 0; n < jobs; ++n) workers.push_back(std::make_unique<WorkerSession>(session));
    ProgressLine progress;
    const bool sharedTerminal = progress.Enabled() && ::isatty(STDOUT_FILENO) == 1;
    std::size_t given = 0, done = 0;
    std::unique_ptr<FolderWalk> walk;
    std::string walked;  // the folder being walked
    const auto produce = [&](MovieTask& task) {
      while (!gStop) {
        std::string path;
        if (walk && walk->Next(path)) {
          task.shown = path;
          task.movie = absolute(path);
          const std::string relative = RelativeTo(walked, path);
          const auto slash = relative.find_last_of('/');
          task.destination = core::AddSlash(destination) + (slash == std::string::npos ? "" : relative.substr(0, slash + 1));
          return true;
        }
        walk.reset();
        if (given >= names.size()) return false;
        const std::string& name = names[given++];
        if (!core::FolderExists(name)) {
          task = {absolute(name), name, destination};
          return true;
        }
        walked = name;
        walk = std::make_unique<FolderWalk>(name, recursive, std::initializer_list<std::string_view>{".swf", ".spl", ".exe"});
      }
      return false;
    };
    const auto work = [&](const MovieTask& task, int worker) {
      media::MediaContext& context = jobs > 1 ? workers[static_cast<std::size_t>(worker)]->context : session.context;
      return Pack(ExtractMovie(context, task.movie, task.shown, task.destination, chosen, {}));
    };
    const auto deliver = [&](MovieTask& task, core::WorkOutcome& outcome) {
      Extraction result = Unpack(outcome.text);
      if (!outcome.stopped.empty()) result = {true, {}, {task.shown + ": " + outcome.stopped}};
      if (result.failed) status = kExitFailed;
      ++done;
      if (sharedTerminal) progress.Clear();
      if (!result.summary.empty()) {
        // The movie, then its summary indented without the blank line.
        std::string text = task.shown + "\n";
        std::size_t at = 0;
        while (at <= result.summary.size()) {
          std::size_t end = result.summary.find('\n', at);
          if (end == std::string::npos) end = result.summary.size();
          if (end > at) text += "  " + result.summary.substr(at, end - at) + "\n";
          at = end + 1;
        }
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
      }
      for (const std::string& problem : result.problems)
        PrintError(result.summary.empty() ? problem : task.shown + ": " + problem);
      progress.Show("extract: " + std::to_string(done) + (done == 1 ? " movie " : " movies ") +
                    media::FileTitle(task.shown, false));
    };
    core::RunOrdered<MovieTask>(jobs, core::WorkerKind::Threads, produce, work, deliver);
    progress.Clear();
    if (gStop) {
      PrintError("stopped");
      status = kExitFailed;
    }
  }
  std::signal(SIGINT, previous);
  return status;
}

}  // namespace vantrel::tool
