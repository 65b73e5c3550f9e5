// vantrel-tool thumbs FOLDER|MOVIE [-r] [-j N] [--out DIR] [--width W --height H --quality Q
// --overwrite --info-xml]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/tool/tool_support.h"
#include "app/tool/verbs.h"

#if VANTREL_HAS_FLASH
#include "app/tool/tool_session.h"
#include "browser/generator.h"
#include "core/ordered_work.h"
#include "core/paths.h"
#include "core/text.h"
#include "media/projector.h"
#endif

namespace vantrel::tool {

#if VANTREL_HAS_FLASH
namespace {

// One line redrawn in place on a terminal: a bar, the count and the file's name.
void DrawBar(int done, int count, const std::string& path) {
  constexpr int kWidth = 30;
  const int filled = count > 0 ? done * kWidth / count : kWidth;
  std::string name = path.substr(path.find_last_of('/') + 1);
  if (name.size() > 40) name = "..." + name.substr(name.size() - 37);
  std::fprintf(stderr, "\r[%s%s] %d/%d %-40s", std::string(static_cast<std::size_t>(filled), '#').c_str(),
               std::string(static_cast<std::size_t>(kWidth - filled), ' ').c_str(), done, count, name.c_str());
  std::fflush(stderr);
}

}  // namespace
#endif

int RunThumbs(const Args& args) {
#if VANTREL_HAS_FLASH
  browser::GeneratorSettings settings;
  settings.recursive = false;
  settings.overwrite = false;
  settings.info = false;
  settings.jobs = core::DefaultJobs();
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    long value = 0;
    if (const int taken = TakeJobs(args, i, settings.jobs); taken != 0) {
      if (taken < 0) return UsageError("thumbs", "-j needs a number of workers from 1 to 256");
    } else if (arg == "--out") {
      if (!hasValue || args[i + 1].empty()) return UsageError("thumbs", "--out needs a folder");
      settings.outFolder = args[++i];
    } else if (IsFlag(arg, {"-r", "--recursive"})) {
      settings.recursive = true;
    } else if (arg == "--overwrite") {
      settings.overwrite = true;
    } else if (arg == "--info-xml") {
      settings.info = true;
    } else if ((arg == "--width" || arg == "--height") && hasValue) {
      if (!ParseCount(args[++i], value) || value < 1 || value > 4096)
        return UsageError("thumbs", arg + " needs a number of pixels from 1 to 4096");
      (arg == "--width" ? settings.width : settings.height) = static_cast<int>(value);
    } else if (arg == "--quality" && hasValue) {
      if (!ParseCount(args[++i], value) || value > 100) return UsageError("thumbs", "--quality needs 0 to 100");
      settings.quality = static_cast<int>(value);
    } else if (!arg.empty() && arg[0] == '-') {
      return UsageError("thumbs", "unknown option " + arg);
    } else if (settings.source.empty()) {
      settings.source = arg;
    } else {
      return UsageError("thumbs", "more than one folder given");
    }
  }
  if (settings.source.empty()) return UsageError("thumbs", "a folder (or a movie) is needed");
  if (!core::FileExists(settings.source)) {
    PrintError(settings.source + ": no such file or folder");
    return kExitFailed;
  }
  if (!settings.outFolder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(settings.outFolder, ec);
    if (!core::FolderExists(settings.outFolder)) {
      PrintError("cannot create " + settings.outFolder + (ec ? ": " + ec.message() : std::string()));
      return kExitFailed;
    }
  }

  ToolSession session;
  browser::ShotOptions shot;
  shot.highQuality = session.options.ReadBoolOption("Thumbnails", "HQShots");
  shot.sampleFrom = session.options.ReadNumberOption("Thumbnails", "SampleFrom");
  shot.sampleTo = session.options.ReadNumberOption("Thumbnails", "SampleTo");
  shot.noMediaPath = session.paths.ImagesPath + "nomedia";
  // A file that is no movie is reported, not given a blank picture.
  shot.moviesOnly = true;

  const bool terminal = ::isatty(STDERR_FILENO) != 0;
  int failed = 0;
  int current = 0, total = 0;
  std::string currentPath;
  browser::GeneratorEvents events;
  events.status = [&](const std::string& text) {
    if (!terminal) std::fprintf(stderr, "%s\n", text.c_str());
  };
  events.file = [&](int index, int count, const std::string& path) {
    current = index;
    total = count;
    currentPath = path;
    if (terminal) DrawBar(index, count, path);
  };
  events.made = [&](const std::string& path, const std::string& thumb, const std::string& failure) {
    if (!failure.empty()) {
      ++failed;
      if (terminal) std::fprintf(stderr, "\n");
      PrintError(path + ": " + core::PlainText(failure));
    } else if (!terminal) {
      std::printf("%s\n", thumb.c_str());
    }
  };
  const auto started = std::chrono::steady_clock::now();
  const browser::GeneratorReport report =
      browser::RunGenerator(session.context, settings, shot, media::SkipDoubtfulProjectors(session.context),
                            [](const std::string& path) { return media::IsFlashProjector(path); }, {}, events);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (terminal) {
    DrawBar(total, total, currentPath);
    std::fprintf(stderr, "\n");
  }
  (void)current;
  // The summary is the generator window's message text; a terminal wants plain line ends.
  std::string summary = browser::GeneratorSummary(report, settings, {});
  for (std::size_t at = summary.find("\r\n"); at != std::string::npos; at = summary.find("\r\n", at))
    summary.erase(at, 1);
  std::fprintf(stderr, "%s\n", summary.c_str());
  std::fprintf(stderr, "%d found, %d written, %d failed", report.found, report.made, failed);
  if (report.skipped > 0) std::fprintf(stderr, ", %d skipped (not Flash projectors)", report.skipped);
  std::fprintf(stderr, " in %.2f s\n", seconds);
  if (!report.infoPath.empty()) std::fprintf(stderr, "Movie facts: %s\n", report.infoPath.c_str());
  return failed > 0 ? kExitFailed : kExitOk;
#else
  (void)args;
  PrintError("thumbs: this build has no Flash engine");
  return kExitFailed;
#endif
}

}  // namespace vantrel::tool
