#include "flash/audio/movie_sounds.h"

#include <cstdlib>

#include "flash/swf/movie.h"

namespace vantrel::flash::audio {

namespace {
// A stream more than this far from its frame's block is moved there (a quarter second:
// far more than the clocks of sound card and timer drift apart between two frames).
constexpr std::int64_t kMaxStreamDrift = kMixRate / 4;
}  // namespace

PlayParams ToPlayParams(const SoundInfo& info) {
  PlayParams params;
  params.inPoint = info.inPoint.value_or(0);
  params.outPoint = info.outPoint.value_or(0);
  params.loops = info.loops;
  for (const SoundInfo::Point& point : info.envelope) {
    params.envelope.push_back(
        {point.position, static_cast<float>(point.left) / 32768.0f, static_cast<float>(point.right) / 32768.0f});
  }
  return params;
}

std::unique_ptr<MovieSounds> MovieSounds::Make(std::shared_ptr<const Movie> model, Mixer& mixer) {
  const Movie& movie = *model;
  auto library = std::make_shared<const SoundLibrary>(std::move(model));
  std::map<const Timeline*, std::uint16_t> timelines;
  timelines[&movie.root] = 0;
  for (const std::uint16_t id : library->TimelinesWithSounds()) {
    if (id == 0) continue;
    if (auto sprite = std::dynamic_pointer_cast<const SpriteCharacter>(movie.dictionary.Find(id)))
      timelines[&sprite->timeline] = id;
  }
  return std::make_unique<MovieSounds>(std::move(library), std::move(timelines), mixer);
}

MovieSounds::MovieSounds(std::shared_ptr<const SoundLibrary> library, std::map<const Timeline*, std::uint16_t> timelines,
                         Mixer& mixer)
    : library_(std::move(library)), timelines_(std::move(timelines)), mixer_(mixer) {}

MovieSounds::~MovieSounds() { StopAll(); }

bool MovieSounds::StartSound(std::uint16_t soundId, const SoundInfo& info) {
  if (!library_->Sound(soundId)) return false;
  if (info.syncStop) {
    mixer_.StopTag(soundId);
    return true;
  }
  if (info.syncNoMultiple && mixer_.IsTagPlaying(soundId)) return true;
  const auto pcm = library_->Decoded(soundId);
  if (!pcm) return false;
  PlayParams params = ToPlayParams(info);
  params.group = startingClip_;
  if (startingClip_) params.gains = startingClip_->StartGains();
  mixer_.Play(pcm, params, soundId, this);
  return true;
}

std::shared_ptr<const PcmBuffer> MovieSounds::DecodedSound(std::uint16_t soundId) {
  return library_->Sound(soundId) ? library_->Decoded(soundId) : nullptr;
}

std::uint64_t MovieSounds::PlayScriptSound(std::shared_ptr<const PcmBuffer> pcm, std::uint16_t soundId,
                                           const SoundGroup* clip, const Gains& gains, std::uint32_t inPoint, int loops) {
  PlayParams params;
  params.inPoint = inPoint;
  params.loops = loops;
  params.group = clip;
  params.gains = gains;
  params.reportEnd = true;
  return mixer_.Play(std::move(pcm), params, soundId ? soundId : -1, this);
}

bool MovieSounds::InstancePlaying(std::uint64_t instance) const { return instance && mixer_.IsPlaying(instance); }

std::int64_t MovieSounds::InstancePosition(std::uint64_t instance) const {
  return instance ? mixer_.Position(instance) : -1;
}

void MovieSounds::StopInstance(std::uint64_t instance) {
  if (instance) mixer_.Stop(instance);
}

void MovieSounds::StopClip(const SoundGroup* clip) {
  if (clip) mixer_.StopGroup(clip);
}

void MovieSounds::SetClipGains(const SoundGroup* clip, const Gains& gains) {
  if (clip)
    mixer_.SetGroupGains(clip, gains);
  else
    mixer_.SetOwnerGains(this, gains);
}

void MovieSounds::FrameShown(const SoundGroup* clip, const Timeline* timeline, int frame) {
  const auto known = timelines_.find(timeline);
  if (known == timelines_.end()) return;
  const std::uint16_t spriteId = known->second;
  const TimelineSounds* sounds = library_->Timeline(spriteId);
  if (!sounds) return;
  if (const auto starts = sounds->starts.find(frame); starts != sounds->starts.end()) {
    startingClip_ = clip;
    for (const StartCommand& command : starts->second) StartSound(command.soundId, command.info);
    startingClip_ = nullptr;
  }
  if (!sounds->stream) return;
  const SoundLibrary::DecodedStream* stream = library_->Stream(spriteId);
  if (!stream) return;
  PlayingStream& playing = streams_[clip];
  const bool step = frame == playing.lastFrame + 1;
  playing.spriteId = spriteId;
  playing.lastFrame = frame;
  const auto block = stream->frameStart.find(frame);
  if (block == stream->frameStart.end()) {
    // A jump to a frame without sound silences the stream; a step lets it run out.
    if (!step && playing.source) {
      mixer_.Stop(playing.source);
      playing.source = 0;
    }
    return;
  }
  const auto start = static_cast<std::int64_t>(block->second);
  const std::int64_t position = playing.source ? mixer_.Position(playing.source) : -1;
  if (step && position >= 0 && std::llabs(position - start) <= kMaxStreamDrift) return;
  if (playing.source) mixer_.Stop(playing.source);
  PlayParams params;
  params.inPoint = static_cast<std::uint32_t>(start);
  params.group = clip;
  if (clip) params.gains = clip->StartGains();
  const bool resumed = playing.source != 0 || start > 0;
  playing.source = mixer_.Play(stream->pcm, params, -1, this);
  // A stream picked up in the middle (a jump, a restart) fades in rather than clicks.
  if (resumed && playing.source) mixer_.FadeIn(playing.source);
}

void MovieSounds::ClipRemoved(const SoundGroup* clip) {
  const auto it = streams_.find(clip);
  if (it == streams_.end()) return;
  if (it->second.source) mixer_.Stop(it->second.source);
  streams_.erase(it);
}

void MovieSounds::StopStream(const SoundGroup* clip) {
  const auto it = streams_.find(clip);
  if (it == streams_.end() || !it->second.source) return;
  mixer_.Stop(it->second.source);
  it->second.source = 0;
}

void MovieSounds::ButtonTransition(std::uint16_t buttonId, int transition) {
  if (transition < 0 || transition > 3) return;
  const auto* sounds = library_->ButtonSounds(buttonId);
  if (!sounds || !(*sounds)[transition]) return;
  const StartCommand& command = *(*sounds)[transition];
  StartSound(command.soundId, command.info);
}

void MovieSounds::StopAll() {
  mixer_.StopOwner(this);
  for (auto& [clip, stream] : streams_) {
    if (stream.source) mixer_.Stop(stream.source);
    stream.source = 0;
  }
}

std::optional<std::int64_t> MovieSounds::StreamPosition(const SoundGroup* clip) const {
  const auto it = streams_.find(clip);
  if (it == streams_.end() || !it->second.source) return std::nullopt;
  const std::int64_t position = mixer_.Position(it->second.source);
  if (position < 0) return std::nullopt;
  return position;
}

std::optional<int> MovieSounds::StreamFrame(const SoundGroup* clip) const {
  const auto position = StreamPosition(clip);
  if (!position) return std::nullopt;
  const auto it = streams_.find(clip);
  const SoundLibrary::DecodedStream* stream = library_->Stream(it->second.spriteId);
  if (!stream) return std::nullopt;
  std::optional<int> frame;
  for (const auto& [f, start] : stream->frameStart) {
    if (static_cast<std::int64_t>(start) > *position) break;
    frame = f;
  }
  return frame;
}

}  // namespace vantrel::flash::audio
