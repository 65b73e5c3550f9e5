// The one mixer of the engine: every playing sound (event sounds, timeline streams,
// the sound of a Flash video) is a source; Render adds them up at 44.1 kHz stereo in
// float, applies the player's volume and pan, and clips once at the end. The output
// thread calls Render while the program's thread starts and stops sources, so every
// member locks.
#pragma once

#include <cstdint>
#include <deque>
#include <utility>
#include <memory>
#include <mutex>
#include <vector>

#include "flash/audio/sound_format.h"

namespace vantrel::flash::audio {

// A point of a sound's volume envelope: from `position` (44.1 kHz frames since the
// sound started) the levels are `left` and `right` (0 to 1), interpolated between points.
struct EnvelopePoint {
  std::uint32_t position = 0;
  float left = 1, right = 1;
};

// How much of each input channel reaches each output channel (a sound transform):
// left out = left * ll + right * lr, right out = right * rr + left * rl.
struct Gains {
  float ll = 1, lr = 0, rl = 0, rr = 1;
  bool IsIdentity() const { return ll == 1 && lr == 0 && rl == 0 && rr == 1; }
  // This transform applied after inner.
  Gains After(const Gains& inner) const {
    return {ll * inner.ll + lr * inner.rl, ll * inner.lr + lr * inner.rr, rl * inner.ll + rr * inner.rl,
            rl * inner.lr + rr * inner.rr};
  }
};

// What sounds belong to, so that they stop together and follow one transform: a clip
// (the sounds of its timeline and of its scripts) or a script's sound channel. A group
// also gives the gains the sounds its timeline starts begin with.
class SoundGroup {
 public:
  virtual ~SoundGroup() = default;
  // The gains a sound the group's timeline starts begins with; identity for a group
  // without a timeline.
  virtual Gains StartGains() const { return {}; }
};

struct PlayParams {
  std::uint32_t inPoint = 0;   // first frame played (44.1 kHz frames into the sound)
  std::uint32_t outPoint = 0;  // frame where playing stops; 0 = the sound's end
  int loops = 1;               // times played (values below 1 play once)
  std::vector<EnvelopePoint> envelope;
  // The clip the sound belongs to (SetGroupGains and StopGroup act on it), and its
  // transform when it starts.
  const SoundGroup* group = nullptr;
  Gains gains;
  // Remember that the sound played to its end (TakeEnded tells), as opposed to stopped.
  bool reportEnd = false;
};

class Mixer {
 public:
  using SourceId = std::uint64_t;

  // Starts a decoded sound. tag groups instances (a sound character's id) for
  // IsPlaying and StopTag; owner groups them for StopOwner (a clip's stream). Returns
  // the source's id (0 for an empty sound, which plays nothing).
  SourceId Play(std::shared_ptr<const PcmBuffer> sound, const PlayParams& params, int tag = -1,
                const void* owner = nullptr);
  // A source whose samples arrive while it plays (a video's sound): Feed appends to it.
  // It plays silence when it runs dry and ends only with Stop. With fadeIn it starts
  // with a short fade (a sound picked up in the middle: play after pause, a seek).
  SourceId OpenQueue(const void* owner = nullptr, bool fadeIn = false);
  void Feed(SourceId id, const float* interleaved, std::size_t frames);

  bool IsPlaying(SourceId id) const;
  // True once for a source started with reportEnd that played to its end (not stopped).
  bool TakeEnded(SourceId id);
  bool IsTagPlaying(int tag) const;
  // Frames of the source played so far (loops and queue included); 0 once it ended.
  std::uint64_t Played(SourceId id) const;
  // Frames fed to a queue source and not yet played.
  std::size_t Queued(SourceId id) const;
  // Frame position inside a buffer source's sound (its loop position); -1 when it ended.
  std::int64_t Position(SourceId id) const;

  // Fades the source in over a few milliseconds (a sound started mid-way, after a jump).
  void FadeIn(SourceId id);
  // Stopping fades the source out over a few milliseconds so that it does not click.
  void Stop(SourceId id);
  void StopTag(int tag);
  void StopOwner(const void* owner);
  void StopGroup(const SoundGroup* group);
  void StopAll();
  // The transform of every playing source of group (a clip whose volume changed).
  void SetGroupGains(const SoundGroup* group, const Gains& gains);
  // A transform over all sources of owner, after their own (a movie's global sound
  // transform); it also holds for sources the owner starts later.
  void SetOwnerGains(const void* owner, const Gains& gains);
  std::size_t SourceCount() const;

  // Player volume 0..100 and pan -100 (left only) .. 100 (right only); changes glide
  // over a few milliseconds.
  void SetVolume(int volume, int pan = 0);
  int Volume() const;

  // Mixes frames of output into out (interleaved stereo, clipped to [-1, 1]).
  void Render(float* out, std::size_t frames);
  // Root mean square of the last rendered output (about a tenth of a second): what a
  // level meter shows and what tests read to hear the volume.
  float OutputLevel() const;
  // Frames rendered since the mixer was made.
  std::uint64_t FramesRendered() const;

  static constexpr std::size_t kFadeFrames = 441;  // 10 ms

 private:
  struct Source {
    SourceId id = 0;
    int tag = -1;
    const void* owner = nullptr;
    std::shared_ptr<const PcmBuffer> sound;  // null for a queue
    PlayParams params;
    std::size_t position = 0;      // frame inside the sound
    int loopsLeft = 1;
    std::uint64_t played = 0;
    std::deque<float> queue;       // queue sources: pending interleaved samples
    std::size_t fadeLeft = 0;      // > 0: stopping, frames of fade left
    std::size_t fadeInLeft = 0;    // frames of fade-in left
    bool stopping = false;
  };
  Gains EffectiveGains(const Source& source) const;
  Source* Find(SourceId id);
  const Source* Find(SourceId id) const;
  void BeginStop(Source& source);
  // Mixes one source into mix; false when it has ended.
  bool MixSource(Source& source, float* mix, std::size_t frames);
  static void EnvelopeAt(const std::vector<EnvelopePoint>& envelope, std::uint64_t position, float& left,
                         float& right);

  mutable std::mutex mutex_;
  std::vector<Source> sources_;
  SourceId nextId_ = 1;
  float gainLeft_ = 1, gainRight_ = 1;              // current master gains
  float targetLeft_ = 1, targetRight_ = 1;
  int volume_ = 100;
  std::vector<float> scratch_;
  std::vector<std::pair<const void*, Gains>> ownerGains_;
  std::vector<SourceId> ended_;
  double levelSquares_ = 0;
  std::size_t levelFrames_ = 0;
  float level_ = 0;
  std::uint64_t rendered_ = 0;
};

}  // namespace vantrel::flash::audio
