// Pictures and sound into a file through FFmpeg's libraries: H.264 with AAC sound in
// MP4 and Matroska, VP9 with Opus sound in WebM, animated GIF (one palette made for the
// whole clip) and animated PNG. The file is written under a temporary name beside the
// target and renamed over it by Finish, so a failure or a stop leaves nothing behind.
#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "browser/export_format.h"

namespace vantrel::browser {

// A temporary file beside a target (named by core::TemporaryPatternFor, so a later
// start removes it when this process was killed); Commit renames it over the target,
// anything else removes it.
class TemporaryTarget {
 public:
  TemporaryTarget() = default;
  ~TemporaryTarget();
  TemporaryTarget(const TemporaryTarget&) = delete;
  TemporaryTarget& operator=(const TemporaryTarget&) = delete;

  // Creates the empty temporary file; "" or why it cannot be made.
  std::string Create(const std::string& target);
  const std::string& Path() const { return temp_; }
  // Flushes the file to the disk and renames it over the target; "" or why not (the
  // temporary file is then removed).
  std::string Commit();
  void Remove();

 private:
  std::string target_;
  std::string temp_;
};

struct EncoderSetup {
  ExportFormat format = ExportFormat::Mp4;  // not Png: sequences are single pictures
  int width = 0, height = 0;                // even for the video formats
  double fps = 30;                          // pictures per second
  bool sound = false;                       // a sound track (formats that carry one)
  ExportQuality quality = ExportQuality::High;
  int threads = 0;                          // encoder threads; 0 lets FFmpeg choose
};

class VideoEncoder {
 public:
  VideoEncoder();
  ~VideoEncoder();
  VideoEncoder(const VideoEncoder&) = delete;
  VideoEncoder& operator=(const VideoEncoder&) = delete;

  // Opens the encoders and the temporary file beside target. "" or why not (no such
  // encoder in this FFmpeg, a folder that cannot be written).
  std::string Open(const std::string& target, const EncoderSetup& setup);
  // Adds the next picture, which has the setup's size (any QImage format).
  std::string AddPicture(const QImage& picture);
  // Adds sound: interleaved stereo float frames at 44.1 kHz, the track starting with
  // the first picture. Ignored without a sound track.
  std::string AddSound(const float* samples, std::size_t frames);
  // Ends the streams, writes the file's index and renames it over the target.
  std::string Finish();
  // Drops everything written (also what the destructor does without Finish).
  void Abandon();

  // Pictures added so far.
  long Pictures() const;

 private:
  struct State;
  std::string FinishGif();
  std::unique_ptr<State> state_;
};

// Copies the pictures and sound of an FLV file into an MP4 or Matroska file without
// coding them again; only H.264 pictures and AAC sound (or none) can go this way.
// "" or why not.
std::string RemuxVideo(const std::string& source, const std::string& target, ExportFormat format);

}  // namespace vantrel::browser
