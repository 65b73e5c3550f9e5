// What the timelines tell the sound side. The engine calls these at the points where
// a movie's sounds start: a timeline showing a frame (its StartSound tags and its
// stream block), a clip going away (its stream stops), a button changing state, and
// stopAllSounds. Everything else (decoding, mixing, the sound library) stays behind
// this interface.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "flash/audio/mixer.h"
#include "flash/swf/sound.h"

namespace vantrel::flash {
struct Timeline;
}

namespace vantrel::flash::audio {

class SoundEvents {
 public:
  virtual ~SoundEvents() = default;
  // timeline (the root's or a sprite's) of clip has just shown frame (0-based): its
  // StartSound tags play and its stream sound follows the frame. clip identifies the
  // running instance (two instances of one sprite have two streams).
  virtual void FrameShown(const SoundGroup* clip, const Timeline* timeline, int frame) = 0;
  // clip is gone: its stream sound stops.
  virtual void ClipRemoved(const SoundGroup* clip) = 0;
  // A button of character buttonId moved along transition (0 over-up to idle, 1 idle
  // to over, 2 over to down, 3 down to over): its DefineButtonSound sound plays.
  virtual void ButtonTransition(std::uint16_t buttonId, int transition) = 0;
  // Starts the DefineSound character soundId with info; false when there is no such sound.
  virtual bool StartSound(std::uint16_t soundId, const SoundInfo& info) = 0;
  // stopAllSounds: every event and stream sound of the movie stops.
  virtual void StopAll() = 0;

  // What the Sound class of scripts asks for. The decoded DefineSound soundId (null
  // when the movie has no such sound).
  virtual std::shared_ptr<const PcmBuffer> DecodedSound(std::uint16_t soundId) = 0;
  // Plays pcm for a script: from inPoint (44.1 kHz frames), loops times, tagged with the
  // sound's id (0 for loaded sounds), belonging to group with its transform gains.
  // Returns the instance (0 when nothing plays).
  virtual std::uint64_t PlayScriptSound(std::shared_ptr<const PcmBuffer> pcm, std::uint16_t soundId,
                                        const SoundGroup* group, const Gains& gains, std::uint32_t inPoint,
                                        int loops) = 0;
  // Whether instance still plays, and where (44.1 kHz frames into its sound; -1 when
  // it has ended).
  virtual bool InstancePlaying(std::uint64_t instance) const = 0;
  // True once after instance played to its end (a stopped one never says so).
  virtual bool InstanceEnded(std::uint64_t instance) = 0;
  virtual std::int64_t InstancePosition(std::uint64_t instance) const = 0;
  virtual void StopInstance(std::uint64_t instance) = 0;
  // Every sound of clip stops (Sound.stop() on a clip's Sound object).
  virtual void StopClip(const SoundGroup* clip) = 0;
  // The transform of clip's sounds changed (setVolume, setPan, setTransform): playing
  // sounds follow at once, sounds the clip starts later begin with it. clip null: the
  // movie's global transform, over every sound.
  virtual void SetClipGains(const SoundGroup* clip, const Gains& gains) = 0;
  // The mixer the movie plays on (for the sound of the videos scripts play).
  virtual Mixer& SoundMixer() = 0;
};

}  // namespace vantrel::flash::audio
