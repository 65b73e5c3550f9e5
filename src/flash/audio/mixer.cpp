#include "flash/audio/mixer.h"

#include <algorithm>
#include <cmath>

namespace vantrel::flash::audio {

namespace {
constexpr std::size_t kLevelWindow = kMixRate / 10;
// Master gain glides by this much per frame at most: a full swing in 10 ms.
constexpr float kGainStep = 1.0f / static_cast<float>(Mixer::kFadeFrames);
}  // namespace

Mixer::Source* Mixer::Find(SourceId id) {
  for (Source& source : sources_)
    if (source.id == id) return &source;
  return nullptr;
}

const Mixer::Source* Mixer::Find(SourceId id) const {
  for (const Source& source : sources_)
    if (source.id == id) return &source;
  return nullptr;
}

Mixer::SourceId Mixer::Play(std::shared_ptr<const PcmBuffer> sound, const PlayParams& params, int tag,
                            const void* owner) {
  if (!sound || sound->Frames() == 0) return 0;
  const std::size_t frames = sound->Frames();
  Source source;
  source.tag = tag;
  source.owner = owner;
  source.params = params;
  if (source.params.outPoint == 0 || source.params.outPoint > frames)
    source.params.outPoint = static_cast<std::uint32_t>(frames);
  if (source.params.inPoint >= source.params.outPoint) return 0;
  source.position = source.params.inPoint;
  source.loopsLeft = std::max(1, params.loops);
  source.sound = std::move(sound);
  std::lock_guard lock(mutex_);
  source.id = nextId_++;
  sources_.push_back(std::move(source));
  return sources_.back().id;
}

Mixer::SourceId Mixer::OpenQueue(const void* owner, bool fadeIn) {
  Source source;
  source.owner = owner;
  source.fadeInLeft = fadeIn ? kFadeFrames : 0;
  std::lock_guard lock(mutex_);
  source.id = nextId_++;
  sources_.push_back(std::move(source));
  return sources_.back().id;
}

void Mixer::Feed(SourceId id, const float* interleaved, std::size_t frames) {
  std::lock_guard lock(mutex_);
  Source* source = Find(id);
  if (!source || source->sound || source->stopping) return;
  source->queue.insert(source->queue.end(), interleaved, interleaved + frames * 2);
}

bool Mixer::IsPlaying(SourceId id) const {
  std::lock_guard lock(mutex_);
  const Source* source = Find(id);
  return source && !source->stopping;
}

bool Mixer::TakeEnded(SourceId id) {
  std::lock_guard lock(mutex_);
  const auto it = std::find(ended_.begin(), ended_.end(), id);
  if (it == ended_.end()) return false;
  ended_.erase(it);
  return true;
}

bool Mixer::IsTagPlaying(int tag) const {
  std::lock_guard lock(mutex_);
  return std::any_of(sources_.begin(), sources_.end(),
                     [tag](const Source& s) { return s.tag == tag && !s.stopping; });
}

std::uint64_t Mixer::Played(SourceId id) const {
  std::lock_guard lock(mutex_);
  const Source* source = Find(id);
  return source ? source->played : 0;
}

std::size_t Mixer::Queued(SourceId id) const {
  std::lock_guard lock(mutex_);
  const Source* source = Find(id);
  return source ? source->queue.size() / 2 : 0;
}

std::int64_t Mixer::Position(SourceId id) const {
  std::lock_guard lock(mutex_);
  const Source* source = Find(id);
  return source && source->sound && !source->stopping ? static_cast<std::int64_t>(source->position) : -1;
}

void Mixer::BeginStop(Source& source) {
  if (source.stopping) return;
  source.stopping = true;
  source.fadeLeft = kFadeFrames;
}

void Mixer::FadeIn(SourceId id) {
  std::lock_guard lock(mutex_);
  if (Source* source = Find(id)) source->fadeInLeft = kFadeFrames;
}

void Mixer::Stop(SourceId id) {
  std::lock_guard lock(mutex_);
  if (Source* source = Find(id)) BeginStop(*source);
}

void Mixer::StopTag(int tag) {
  std::lock_guard lock(mutex_);
  for (Source& source : sources_)
    if (source.tag == tag) BeginStop(source);
}

void Mixer::StopOwner(const void* owner) {
  std::lock_guard lock(mutex_);
  for (Source& source : sources_)
    if (source.owner == owner) BeginStop(source);
}

void Mixer::StopGroup(const SoundGroup* group) {
  std::lock_guard lock(mutex_);
  for (Source& source : sources_)
    if (group && source.params.group == group) BeginStop(source);
}

void Mixer::SetGroupGains(const SoundGroup* group, const Gains& gains) {
  std::lock_guard lock(mutex_);
  for (Source& source : sources_)
    if (group && source.params.group == group) source.params.gains = gains;
}

void Mixer::SetOwnerGains(const void* owner, const Gains& gains) {
  std::lock_guard lock(mutex_);
  for (auto& [known, value] : ownerGains_) {
    if (known == owner) {
      value = gains;
      return;
    }
  }
  ownerGains_.emplace_back(owner, gains);
}

Gains Mixer::EffectiveGains(const Source& source) const {
  for (const auto& [owner, gains] : ownerGains_)
    if (owner == source.owner) return gains.After(source.params.gains);
  return source.params.gains;
}

void Mixer::StopAll() {
  std::lock_guard lock(mutex_);
  for (Source& source : sources_) BeginStop(source);
}

std::size_t Mixer::SourceCount() const {
  std::lock_guard lock(mutex_);
  return sources_.size();
}

void Mixer::SetVolume(int volume, int pan) {
  volume = std::clamp(volume, 0, 100);
  pan = std::clamp(pan, -100, 100);
  const float gain = static_cast<float>(volume) / 100.0f;
  std::lock_guard lock(mutex_);
  volume_ = volume;
  targetLeft_ = gain * std::min(1.0f, static_cast<float>(100 - pan) / 100.0f);
  targetRight_ = gain * std::min(1.0f, static_cast<float>(100 + pan) / 100.0f);
}

int Mixer::Volume() const {
  std::lock_guard lock(mutex_);
  return volume_;
}

void Mixer::EnvelopeAt(const std::vector<EnvelopePoint>& envelope, std::uint64_t position, float& left,
                       float& right) {
  if (position <= envelope.front().position) {
    left = envelope.front().left;
    right = envelope.front().right;
    return;
  }
  for (std::size_t i = 1; i < envelope.size(); ++i) {
    const EnvelopePoint& b = envelope[i];
    if (position >= b.position) continue;
    const EnvelopePoint& a = envelope[i - 1];
    const float t = static_cast<float>(position - a.position) / static_cast<float>(b.position - a.position);
    left = a.left + (b.left - a.left) * t;
    right = a.right + (b.right - a.right) * t;
    return;
  }
  left = envelope.back().left;
  right = envelope.back().right;
}

bool Mixer::MixSource(Source& source, float* mix, std::size_t frames) {
  const bool enveloped = !source.params.envelope.empty();
  const Gains gains = EffectiveGains(source);
  const bool transformed = !gains.IsIdentity();
  for (std::size_t i = 0; i < frames; ++i) {
    float left = 0, right = 0;
    if (source.sound) {
      if (source.position >= source.params.outPoint) {
        if (--source.loopsLeft <= 0) return false;
        source.position = source.params.inPoint;
      }
      const float* frame = source.sound->samples.data() + source.position * 2;
      left = frame[0];
      right = frame[1];
      if (enveloped) {
        float envelopeLeft, envelopeRight;
        EnvelopeAt(source.params.envelope, source.played, envelopeLeft, envelopeRight);
        left *= envelopeLeft;
        right *= envelopeRight;
      }
      ++source.position;
      ++source.played;
    } else if (source.queue.size() >= 2) {
      left = source.queue.front();
      source.queue.pop_front();
      right = source.queue.front();
      source.queue.pop_front();
      ++source.played;
    } else if (!source.stopping) {
      continue;  // a queue that ran dry waits in silence
    }
    if (source.fadeInLeft > 0) {
      const float fade = 1.0f - static_cast<float>(source.fadeInLeft) / static_cast<float>(kFadeFrames);
      --source.fadeInLeft;
      left *= fade;
      right *= fade;
    }
    if (source.stopping) {
      if (source.fadeLeft == 0) return false;
      const float fade = static_cast<float>(source.fadeLeft) / static_cast<float>(kFadeFrames);
      --source.fadeLeft;
      left *= fade;
      right *= fade;
    }
    if (transformed) {
      const float inLeft = left;
      left = inLeft * gains.ll + right * gains.lr;
      right = right * gains.rr + inLeft * gains.rl;
    }
    mix[i * 2] += left;
    mix[i * 2 + 1] += right;
  }
  return !(source.stopping && source.fadeLeft == 0);
}

void Mixer::Render(float* out, std::size_t frames) {
  std::lock_guard lock(mutex_);
  std::fill(out, out + frames * 2, 0.0f);
  for (auto it = sources_.begin(); it != sources_.end();) {
    if (MixSource(*it, out, frames)) {
      ++it;
      continue;
    }
    if (it->params.reportEnd && !it->stopping) ended_.push_back(it->id);
    it = sources_.erase(it);
  }
  for (std::size_t i = 0; i < frames; ++i) {
    // The gain glides towards its target so that volume changes do not click.
    gainLeft_ += std::clamp(targetLeft_ - gainLeft_, -kGainStep, kGainStep);
    gainRight_ += std::clamp(targetRight_ - gainRight_, -kGainStep, kGainStep);
    const float left = std::clamp(out[i * 2] * gainLeft_, -1.0f, 1.0f);
    const float right = std::clamp(out[i * 2 + 1] * gainRight_, -1.0f, 1.0f);
    out[i * 2] = left;
    out[i * 2 + 1] = right;
    levelSquares_ += static_cast<double>(left) * left + static_cast<double>(right) * right;
    if (++levelFrames_ == kLevelWindow) {
      level_ = static_cast<float>(std::sqrt(levelSquares_ / (2.0 * kLevelWindow)));
      levelSquares_ = 0;
      levelFrames_ = 0;
    }
  }
  rendered_ += frames;
}

float Mixer::OutputLevel() const {
  std::lock_guard lock(mutex_);
  return level_;
}

std::uint64_t Mixer::FramesRendered() const {
  std::lock_guard lock(mutex_);
  return rendered_;
}

}  // namespace vantrel::flash::audio
