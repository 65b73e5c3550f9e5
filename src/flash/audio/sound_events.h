// What the timelines tell the sound side. The engine calls these at the points where
// a movie's sounds start: a timeline showing a frame (its StartSound tags and its
// stream block), a clip going away (its stream stops), a button changing state, and
// stopAllSounds. Everything else (decoding, mixing, the sound library) stays behind
// this interface.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace vantrel::flash {
struct Timeline;
}

namespace vantrel::flash::audio {

// The SOUNDINFO record of StartSound, StartSound2 and DefineButtonSound.
struct SoundInfo {
  bool syncStop = false;        // stop every instance of the sound instead of starting it
  bool syncNoMultiple = false;  // do not start it while it is already playing
  std::optional<std::uint32_t> inPoint, outPoint;  // 44.1 kHz frames
  int loops = 1;
  struct Point {
    std::uint32_t position = 0;              // 44.1 kHz frames
    std::uint16_t left = 32768, right = 32768;  // 0 .. 32768
  };
  std::vector<Point> envelope;
};

class SoundEvents {
 public:
  virtual ~SoundEvents() = default;
  // timeline (the root's or a sprite's) of clip has just shown frame (0-based): its
  // StartSound tags play and its stream sound follows the frame. clip identifies the
  // running instance (two instances of one sprite have two streams).
  virtual void FrameShown(const void* clip, const Timeline* timeline, int frame) = 0;
  // clip is gone: its stream sound stops.
  virtual void ClipRemoved(const void* clip) = 0;
  // A button of character buttonId moved along transition (0 over-up to idle, 1 idle
  // to over, 2 over to down, 3 down to over): its DefineButtonSound sound plays.
  virtual void ButtonTransition(std::uint16_t buttonId, int transition) = 0;
  // Starts the DefineSound character soundId with info; false when there is no such sound.
  virtual bool StartSound(std::uint16_t soundId, const SoundInfo& info) = 0;
  // stopAllSounds: every event and stream sound of the movie stops.
  virtual void StopAll() = 0;
};

}  // namespace vantrel::flash::audio
