// Shared by the export tests: small movies made here, running `vantrel-tool`, and
// reading what an export wrote with FFmpeg's own demuxers and decoders.
#pragma once

#include <QImage>
#include <string>
#include <vector>

#include "flash/audio/sound_format.h"
#include "flash/av_reference.h"
#include "support/run_process.h"

namespace vantrel::testing {

// What libavformat reads from a media file: each stream's codec name in order and the
// length in seconds ("" codecs when it does not open).
struct MediaProbe {
  std::vector<std::string> codecs;
  double duration = 0;
  double videoStart = 0, audioStart = 0;  // first timestamps, seconds
  double frameRate = 0;                   // the video stream's average rate
};
MediaProbe ProbeMedia(const std::string& path);

// The normalised correlation of two sounds' mono mixes at the lag (within maxLag frames
// either way) that lines up their first second best, found from where the reference
// first sounds; lag receives it (positive: a is late).
double AlignedCorrelation(const flash::audio::PcmBuffer& a, const flash::audio::PcmBuffer& reference, int maxLag,
                          int* lag);

// How close a picture comes back from 4:2:0 colour alone (FFmpeg's most careful
// conversion there and back), as PSNR in dB over R, G and B: saturated edges one pixel
// wide lose colour that no encoder setting returns.
double Yuv420Ceiling(const QImage& picture);

// The file's video frames as a careful player shows them.
inline bool DecodeVideoInto(const std::string& path, std::vector<QImage>& frames) {
  return ReferenceVideo(path, frames, nullptr, true);
}

// A movie of width x height at rate with frames frames: a white stage and a red box
// moving 5 pixels right each frame. stopAt > 0 puts stop() on that frame (1-based).
// beepAt > 0 starts a half-second 440 Hz event sound on that frame.
std::string MovingBoxMovie(int frames, double rate = 10, int width = 160, int height = 120, int stopAt = 0,
                           int beepAt = 0);

// vantrel-tool with args.
ProcessResult RunTool(const std::vector<std::string>& args);

// The files in folder (names only), sorted.
std::vector<std::string> FilesIn(const std::string& folder);

}  // namespace vantrel::testing
