// The sound side of one running movie: hears the timelines through SoundEvents and
// plays the movie's sounds on a mixer. Event sounds follow their SoundInfo (sync stop,
// no-multiple, in and out points, loops, envelope); a timeline's stream sound plays
// from the position of the frame shown and is restarted where the timeline jumps.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "flash/audio/mixer.h"
#include "flash/audio/sound_events.h"
#include "flash/audio/sound_library.h"

namespace vantrel::flash {
struct Movie;
}

namespace vantrel::flash::audio {

class MovieSounds final : public SoundEvents {
 public:
  // The sounds of the movie, from its model; its timelines are the ones the engine will
  // report.
  static std::unique_ptr<MovieSounds> Make(std::shared_ptr<const Movie> movie, Mixer& mixer);
  MovieSounds(std::shared_ptr<const SoundLibrary> library, std::map<const Timeline*, std::uint16_t> timelines,
              Mixer& mixer);
  ~MovieSounds() override;

  void FrameShown(const SoundGroup* clip, const Timeline* timeline, int frame) override;
  void ClipRemoved(const SoundGroup* clip) override;
  void ButtonTransition(std::uint16_t buttonId, int transition) override;
  bool StartSound(std::uint16_t soundId, const SoundInfo& info) override;
  void StopAll() override;
  std::shared_ptr<const PcmBuffer> DecodedSound(std::uint16_t soundId) override;
  std::uint64_t PlayScriptSound(std::shared_ptr<const PcmBuffer> pcm, std::uint16_t soundId, const SoundGroup* clip,
                                const Gains& gains, std::uint32_t inPoint, int loops) override;
  bool InstancePlaying(std::uint64_t instance) const override;
  bool InstanceEnded(std::uint64_t instance) override { return instance && mixer_.TakeEnded(instance); }
  std::int64_t InstancePosition(std::uint64_t instance) const override;
  void StopInstance(std::uint64_t instance) override;
  void StopClip(const SoundGroup* clip) override;
  void SetClipGains(const SoundGroup* clip, const Gains& gains) override;
  Mixer& SoundMixer() override { return mixer_; }

  const SoundLibrary& Library() const { return *library_; }
  // Stops the stream of clip (its timeline stopped); the next frame it shows starts it
  // again from that frame.
  void StopStream(const SoundGroup* clip);
  // Where the stream of clip plays, in 44.1 kHz frames into the timeline's stream; none
  // when that clip has no stream playing.
  std::optional<std::int64_t> StreamPosition(const SoundGroup* clip) const;
  // The frame the stream of clip has reached: the last frame whose block starts at or
  // before the sound's position. Used to keep the picture with the sound.
  std::optional<int> StreamFrame(const SoundGroup* clip) const;

 private:
  struct PlayingStream {
    std::uint16_t spriteId = 0;
    Mixer::SourceId source = 0;
    int lastFrame = -1;
  };

  std::shared_ptr<const SoundLibrary> library_;
  std::map<const Timeline*, std::uint16_t> timelines_;
  Mixer& mixer_;
  std::map<const SoundGroup*, PlayingStream> streams_;
  // Sounds the movie's frames and buttons start belong to the clip that showed the frame.
  const SoundGroup* startingClip_ = nullptr;
};

// The mixer's playing parameters for a SOUNDINFO record.
PlayParams ToPlayParams(const SoundInfo& info);

}  // namespace vantrel::flash::audio
