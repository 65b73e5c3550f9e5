// vantrel-tool export MOVIE|VIDEO -o OUT [--format mp4|webm|mkv|gif|apng|png]
//   [--size WxH | --scale F] [--fps N] [--from FRAME|TIME] [--to FRAME|TIME | --frames N]
//   [--quality high|medium|low] [--background #RRGGBB] [--input FILE] [--no-sound] [--copy]
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/tool/tool_session.h"
#include "app/tool/tool_support.h"
#include "app/tool/verbs.h"
#include "media/identify.h"

#if VANTREL_HAS_FLASH
#include "browser/video_export.h"
#endif

namespace vantrel::tool {

#if VANTREL_HAS_FLASH
namespace {

std::atomic<bool> gStop{false};  // Ctrl+C: the export ends before its next picture

extern "C" void StopExport(int) { gStop = true; }

// "frames done, speed, time left" on one line of a terminal; nothing elsewhere.
class ExportProgressLine {
 public:
  ExportProgressLine() : enabled_(::isatty(STDERR_FILENO) == 1), start_(std::chrono::steady_clock::now()) {}
  ~ExportProgressLine() {
    if (drawn_) std::fprintf(stderr, "\r%*s\r", 72, "");
  }
  void operator()(const browser::ExportProgress& progress) {
    if (!enabled_) return;
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    if (elapsed < 0.3 && progress.done < progress.total) return;
    const double speed = elapsed > 0 ? progress.seconds / elapsed : 0;
    const double left = progress.done > 0 ? elapsed * static_cast<double>(progress.total - progress.done) / progress.done : 0;
    const long secondsLeft = std::lround(left);
    std::fprintf(stderr, "\r%ld/%ld frames  %.1fx  %ld:%02ld left   ", progress.done, progress.total, speed,
                 secondsLeft / 60, secondsLeft % 60);
    std::fflush(stderr);
    drawn_ = true;
  }

 private:
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_;
};

// A projector's movie, taken out into the cache as the player takes it; other files
// as they are. "" with why when the projector does not give up its movie.
std::string MovieOfProjector(const std::string& path, std::string& why) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  char head[4] = {};
  const std::size_t got = file ? std::fread(head, 1, sizeof head, file) : 0;
  if (file) std::fclose(file);
  const bool program = (got >= 2 && head[0] == 'M' && head[1] == 'Z') || (got == 4 && std::string(head, 4) == "\x7f" "ELF");
  if (!program) return path;
  ToolSession session;
  media::MediaRecord record;
  why = media::IdentifyMedia(session.context, path, record, true);
  if (why.empty() && session.context.Error.Pending()) why = session.context.Error.description;
  if (why.empty() && !record.IsProjector) why = "not a Flash projector";
  return why.empty() ? record.MoviePath : std::string();
}

bool ParsePositive(const std::string& text, double limit, double& out) {
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && out > 0 && out <= limit;
}

bool ParseColour(std::string text, std::string& out) {
  if (!text.empty() && text[0] == '#') text.erase(0, 1);
  if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
  out = text;
  return true;
}

}  // namespace
#endif

int RunExport(const Args& args) {
#if VANTREL_HAS_FLASH
  browser::ExportSettings settings;
  std::string formatName, sizeText, scaleText, qualityName = "high";
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    std::string why;
    if (IsFlag(arg, {"-o", "--output"}) && hasValue) {
      settings.target = args[++i];
    } else if (arg == "--format" && hasValue) {
      formatName = args[++i];
    } else if (arg == "--size" && hasValue) {
      sizeText = args[++i];
      if (!browser::ParseExportSize(sizeText, settings.width, settings.height))
        return UsageError("export", "--size needs WIDTHxHEIGHT, each 1 to 16384");
    } else if (arg == "--scale" && hasValue) {
      scaleText = args[++i];
      if (!ParsePositive(scaleText, 16, settings.scale)) return UsageError("export", "--scale needs a factor above 0, at most 16");
    } else if (arg == "--fps" && hasValue) {
      if (!ParsePositive(args[++i], 120, settings.fps)) return UsageError("export", "--fps needs a rate above 0, at most 120");
    } else if (arg == "--from" && hasValue) {
      if (!browser::ParseMoviePoint(args[++i], settings.from, why)) return UsageError("export", "--from: " + why);
    } else if (arg == "--to" && hasValue) {
      if (!browser::ParseMoviePoint(args[++i], settings.to, why)) return UsageError("export", "--to: " + why);
    } else if (arg == "--frames" && hasValue) {
      if (!ParseCount(args[++i], settings.frames) || settings.frames < 1 || settings.frames > (1L << 24))
        return UsageError("export", "--frames needs a count from 1");
    } else if (arg == "--quality" && hasValue) {
      qualityName = args[++i];
    } else if (arg == "--background" && hasValue) {
      if (!ParseColour(args[++i], settings.background)) return UsageError("export", "--background needs a colour #RRGGBB");
    } else if (arg == "--input" && hasValue) {
      settings.inputPath = args[++i];
    } else if (arg == "--no-sound") {
      settings.sound = false;
    } else if (arg == "--copy") {
      settings.copy = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return UsageError("export", "unknown option " + arg);
    } else if (settings.source.empty()) {
      settings.source = arg;
    } else {
      return UsageError("export", "more than one movie given");
    }
  }
  if (settings.source.empty() || settings.target.empty()) return UsageError("export", "a movie or video and -o OUT are needed");
  if (!sizeText.empty() && !scaleText.empty()) return UsageError("export", "give --size or --scale, not both");
  if (settings.to.set && settings.frames > 0) return UsageError("export", "give --to or --frames, not both");
  if (!browser::ExportQualityFromName(qualityName, settings.quality))
    return UsageError("export", "--quality is high, medium or low");
  if (!formatName.empty()) {
    if (!browser::ExportFormatFromName(formatName, settings.format))
      return UsageError("export", "unknown format '" + formatName + "' (mp4, webm, mkv, gif, apng or png)");
  } else if (!browser::ExportFormatFromTarget(settings.target, settings.format)) {
    return UsageError("export", "cannot tell the format from " + settings.target +
                                    ": name it .mp4, .webm, .mkv, .gif, .apng or .png, or give --format");
  }
  if (settings.copy && (settings.width > 0 || settings.scale > 0 || settings.fps > 0 || settings.from.set ||
                        settings.to.set || settings.frames > 0 || !settings.background.empty() || !settings.inputPath.empty()))
    return UsageError("export", "--copy writes the whole video as it is: it takes no size, rate, range or input");
  if (const std::string reason = UnreadableReason(settings.source.substr(0, settings.source.find('?'))); !reason.empty()) {
    PrintError(reason);
    return kExitFailed;
  }

  std::string why;
  const std::string movie = MovieOfProjector(settings.source, why);
  if (movie.empty()) {
    PrintError(settings.source + ": " + why);
    return kExitFailed;
  }
  settings.source = movie;

  gStop = false;
  const auto previousInt = std::signal(SIGINT, StopExport);
  const auto previousTerm = std::signal(SIGTERM, StopExport);
  browser::ExportResult result;
  {
    ExportProgressLine line;
    result = browser::ExportVideo(settings, &gStop, std::ref(line));
  }
  std::signal(SIGINT, previousInt);
  std::signal(SIGTERM, previousTerm);

  if (!result.note.empty()) PrintError(settings.source + ": " + result.note);
  if (result.stopped) {
    PrintError("export stopped; " + settings.target + " was not written");
    return kExitFailed;
  }
  if (!result.error.empty()) {
    if (result.usage) return UsageError("export", result.error);
    PrintError(result.error);
    return kExitFailed;
  }
  if (settings.copy) {
    std::printf("%s: copied\n", settings.target.c_str());
  } else {
    std::printf("%s: %ld frames, %dx%d at %.6g fps, %.3f s\n", settings.target.c_str(), result.pictures, result.width,
                result.height, result.fps, result.seconds);
  }
  return kExitOk;
#else
  (void)args;
  PrintError("export: this build has no Flash engine");
  return kExitFailed;
#endif
}

}  // namespace vantrel::tool
