// The program's own video page: what runs in place of its "video.swf" wrapper movie.
// It reads the "video.xml" the wrapper address names (SOURCE, WIDTH, HEIGHT, TIME),
// plays that FLV file and talks with the player through the wrapper's variables:
// "playing" ("1"/"0", written by the player on play and pause and kept up to date by
// the page), "seeking" (per mille of the length: the page seeks there) and
// "myVideo.playheadTime" (the playhead in seconds, a point as decimal separator).
#pragma once

#include <QImage>
#include <QPainter>
#include <QSize>
#include <memory>
#include <string>

#include "flash/audio/mixer.h"
#include "flash/video/flv_playback.h"

namespace vantrel::flash::video {

struct VideoDescription {
  std::string source;
  int width = 0, height = 0;
  long timeMs = 0;
};

// Reads a "video.xml" file. False with *error when it cannot be read, is not well
// formed or names no SOURCE.
bool ReadVideoDescription(const std::string& path, VideoDescription& description, std::string* error);

// True when url (a path with an optional "?query") addresses the wrapper movie
// wrapperPath; then *xmlPath is the decoded "myXML" parameter.
bool IsVideoWrapperUrl(const std::string& url, const std::string& wrapperPath, std::string* xmlPath);

class VideoPage {
 public:
  VideoPage(audio::Mixer* mixer, bool soundClock);

  // Opens the page for a wrapper url's "video.xml". False with Error() when the
  // description or the video cannot be read; the page then shows its message.
  bool Open(const std::string& xmlPath);
  const std::string& Error() const { return error_; }
  const VideoDescription& Description() const { return description_; }
  FlvPlayback& Playback() { return playback_; }

  // The wrapper's variables.
  void SetVariable(const std::string& name, const std::string& value);
  std::string GetVariable(const std::string& name) const;

  void Play() { playback_.Play(); }
  void Pause() { playback_.Pause(); }
  bool Playing() const { return playback_.Playing(); }
  // Back to the start, paused (the player's Stop).
  void Rewind();
  // One video frame on or back, paused.
  void Step(int frames);
  int FrameCount() const { return std::max(1, playback_.VideoFrames()); }
  int CurrentFrame() const { return std::max(0, playback_.FrameShown()); }
  void GotoFrame(int frame);

  void Advance(double milliseconds) { playback_.Advance(milliseconds); }
  // The picture scaled into viewport with its shape kept, on black.
  void Paint(QPainter& painter, QSize viewport) const;

 private:
  FlvPlayback playback_;
  VideoDescription description_;
  std::string error_;
};

}  // namespace vantrel::flash::video
