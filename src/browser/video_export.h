// Exporting a movie or a Flash video into a video file, an animated picture or a
// sequence of PNG pictures. Movie frames come from the engine exactly as `render` draws
// them (the timeline and its scripts run frame by frame, with recorded input when
// given); the sound comes from the offline mixer, pulled for each frame's share of
// time so that it stays in step with the pictures. The command line's export verb and
// the player's Export Video dialog both run this.
#pragma once

#include <QImage>
#include <atomic>
#include <functional>
#include <string>

#include "browser/export_format.h"

namespace vantrel::browser {

struct ExportSettings {
  std::string source;  // a movie (SWF, compressed or not; "?name=value" may follow) or an FLV video
  std::string target;  // the file, or for a PNG sequence a pattern ("frames/%05d.png")
  ExportFormat format = ExportFormat::Mp4;
  int width = 0, height = 0;  // both 0: the movie's own size, or scaled by scale
  double scale = 0;
  double fps = 0;  // 0: the movie's own frame rate
  MoviePoint from;  // unset: the first frame
  MoviePoint to;    // the last frame (or time) exported; unset: see frames
  long frames = 0;  // > 0 and no `to`: this many frames of the movie from `from`
  ExportQuality quality = ExportQuality::High;
  std::string background;  // "" the movie's own colour, else six hexadecimal digits
  std::string inputPath;   // recorded mouse and keyboard input (input.json), "" for none
  bool sound = true;       // a sound track, in the formats that carry one
  bool copy = false;       // an FLV's H.264 and AAC copied as they are into MP4/Matroska
  int threads = 0;         // encoder threads, 0: FFmpeg's choice
};

struct ExportProgress {
  long done = 0;       // pictures written
  long total = 0;      // pictures the export makes (fewer once the movie stops itself)
  double seconds = 0;  // movie time exported so far
};

struct ExportResult {
  std::string error;     // "" on success
  bool usage = false;    // the settings do not fit the movie (a range outside it, ...)
  bool stopped = false;  // the cancel flag ended it; nothing was kept
  long pictures = 0;
  double seconds = 0;    // length of what was written
  int width = 0, height = 0;
  double fps = 0;
  std::string note;      // something the user should know (a frame drawn smaller)
};

// Runs an export. cancel (may be null) is read before every picture; progress (may be
// empty) hears after every picture. A failure or a stop leaves no file behind (a
// sequence's pictures written so far are removed).
ExportResult ExportVideo(const ExportSettings& settings, const std::atomic<bool>* cancel,
                         const std::function<void(const ExportProgress&)>& progress);

// What an export of source starts from: the picture size, the frame rate, the frame
// count (0 for a video) and the natural length in seconds (0 for a movie that runs on
// by itself); error says why the source does not open.
struct ExportFacts {
  std::string error;
  bool isVideo = false;
  int width = 0, height = 0;
  double rate = 0;
  long frames = 0;
  double length = 0;
};
ExportFacts ReadExportFacts(const std::string& source);

// A picture as the PNG file `vantrel-tool render` writes (RGB, no alpha); "" when
// it cannot be encoded.
std::string EncodePng(const QImage& picture);

// True when the file at path starts like a Flash video ("FLV").
bool LooksLikeFlv(const std::string& path);

}  // namespace vantrel::browser
