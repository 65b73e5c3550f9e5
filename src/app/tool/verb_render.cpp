// vantrel-tool render MOVIE -o OUT.png [--frame N] [--size WxH] [--scale MODE]
//                      [--quality high|medium|low|autohigh|autolow] [--input FILE]
//                      [--script-timeout SECONDS]
#include <algorithm>
#include <cstdio>
#include <string>

#include "app/tool/tool_support.h"
#include "app/tool/verbs.h"

#if VANTREL_HAS_FLASH
#include <QImage>

#include "browser/video_export.h"
#include "core/surface_limit.h"
#include "core/text.h"
#include "flash/control/flash_control.h"
#include "flash/control/input_script.h"
#include "flash/video/flv_playback.h"
#endif

namespace vantrel::tool {

#if VANTREL_HAS_FLASH
namespace {

// The same encoding as the pictures of `export --format png`, so their bytes agree.
int WritePng(const QImage& image, const std::string& out) {
  const std::string png = browser::EncodePng(image);
  if (png.empty()) {
    PrintError("cannot encode the picture as PNG");
    return kExitFailed;
  }
  const std::string failure = core::WriteFileAtomic(out, png);
  if (!failure.empty()) {
    PrintError(failure);  // it names OUT
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace
#endif

int RunRender(const Args& args) {
#if VANTREL_HAS_FLASH
  std::string movie, out, scale = "showall", quality = "high", inputPath;
  long frame = 1, width = 0, height = 0;
  double scriptSeconds = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (IsFlag(arg, {"-o", "--output"}) && hasValue) {
      out = args[++i];
    } else if (arg == "--frame" && hasValue) {
      if (!ParseCount(args[++i], frame) || frame < 1) return UsageError("render", "--frame needs a frame number from 1");
    } else if (arg == "--size" && hasValue) {
      const std::string size = args[++i];
      const auto x = size.find('x');
      if (x == std::string::npos || !ParseCount(size.substr(0, x), width) || !ParseCount(size.substr(x + 1), height) ||
          width < 1 || height < 1 || width > 16384 || height > 16384)
        return UsageError("render", "--size needs WIDTHxHEIGHT, each 1 to 16384");
    } else if (arg == "--scale" && hasValue) {
      scale = args[++i];
    } else if (arg == "--input" && hasValue) {
      inputPath = args[++i];
    } else if (arg == "--script-timeout" && hasValue) {
      if (!ParseSeconds(args[++i], scriptSeconds)) return UsageError("render", "--script-timeout needs seconds above 0");
    } else if (arg == "--quality" && hasValue) {
      quality = args[++i];
    } else if (!arg.empty() && arg[0] == '-') {
      return UsageError("render", "unknown option " + arg);
    } else if (movie.empty()) {
      movie = arg;
    } else {
      return UsageError("render", "more than one movie given");
    }
  }
  if (movie.empty() || out.empty()) return UsageError("render", "a movie and -o OUT.png are needed");
  int scaleMode = -1;
  if (scale == "showall") scaleMode = 0;
  if (scale == "noborder") scaleMode = 1;
  if (scale == "exactfit") scaleMode = 2;
  if (scale == "noscale") scaleMode = 3;
  if (scaleMode < 0) return UsageError("render", "--scale is showall, noborder, exactfit or noscale");
  // The auto qualities start where the player starts them: auto-high at high, auto-low at low.
  if (quality != "high" && quality != "medium" && quality != "low" && quality != "autohigh" && quality != "autolow")
    return UsageError("render", "--quality is high, medium, low, autohigh or autolow");

  if (const std::string reason = MovieFileProblem(movie); !reason.empty()) {
    PrintError(reason);
    return kExitFailed;
  }
  QImage image;
  std::vector<std::uint8_t> bytes;
  if (core::ReadFileBytes(movie, bytes) && bytes.size() >= 3 && bytes[0] == 'F' && bytes[1] == 'L' && bytes[2] == 'V') {
    // A Flash video: frame N is its Nth video frame.
    flash::video::FlvPlayback video;
    if (!video.OpenBytes(std::move(bytes)) || !video.DecodeFrame(static_cast<int>(frame - 1), image)) {
      PrintError(movie + ": " + (video.Error().empty() ? "the video has no frame " + std::to_string(frame) : video.Error()));
      return kExitFailed;
    }
    if (width > 0) image = image.scaled(static_cast<int>(width), static_cast<int>(height),
                                        scaleMode == 2 ? Qt::IgnoreAspectRatio : Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return WritePng(image, out);
  }
  flash::InputScript input;
  std::string inputError;
  if (!inputPath.empty() && !flash::LoadInputScript(inputPath, input, inputError)) {
    PrintError(inputPath + ": " + inputError);
    return kExitFailed;
  }
  flash::FlashControl control;
  control.SetScriptSeconds(scriptSeconds);
  if (!control.LoadMovie(0, movie)) {
    PrintError(movie + ": " + control.LastError());
    return kExitFailed;
  }
  control.SetScaleMode(scaleMode);
  control.SetQuality2(quality);
  // Frame N is shown after N - 1 ticks past the first frame; recorded input arrives
  // after each frame in movie pixels, so the control has the movie's size meanwhile.
  const flash::Movie* model = control.GetMovie();
  control.SetSize(model->Width(), model->Height());
  flash::RunRecorded(control, static_cast<int>(std::min(frame, 1L << 30)), inputPath.empty() ? nullptr : &input);
  if (width == 0) {
    width = std::max(1, model->Width());
    height = std::max(1, model->Height());
  }
  // A movie may declare a frame of 65535 pixels a side: the picture is drawn within the
  // program's drawing limit, scaled down with its shape kept.
  const core::SurfaceSize bounded = core::BoundSurface(width, height);
  if (!bounded.Usable()) {
    PrintError(movie + ": " + bounded.refusal);
    return kExitFailed;
  }
  if (bounded.reduced) PrintError(movie + ": " + core::ReducedSurfaceNote(width, height, bounded));
  width = bounded.width;
  height = bounded.height;
  image = QImage(static_cast<int>(width), static_cast<int>(height), QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) {
    PrintError("not enough memory for a " + std::to_string(width) + "x" + std::to_string(height) + " picture");
    return kExitFailed;
  }
  control.PaintTo(image);
  return WritePng(image, out);
#else
  PrintError("render: this build has no Flash engine");
  return kExitFailed;
#endif
}

}  // namespace vantrel::tool
