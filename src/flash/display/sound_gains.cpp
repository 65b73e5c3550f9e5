#include "flash/display/sound_gains.h"

#include <algorithm>

#include "flash/display/movie_clip.h"

namespace vantrel::flash {

audio::Gains GainsOf(const SoundTransform& t) {
  const float volume = static_cast<float>(std::max(0, t.volume)) / 100.0f;
  audio::Gains gains;
  gains.ll = volume * static_cast<float>(t.ll) / 100.0f;
  gains.lr = volume * static_cast<float>(t.lr) / 100.0f;
  gains.rl = volume * static_cast<float>(t.rl) / 100.0f;
  gains.rr = volume * static_cast<float>(t.rr) / 100.0f;
  return gains;
}

audio::Gains DisplayObject::StartGains() const { return ChainGainsOf(*this); }

audio::Gains ChainGainsOf(const DisplayObject& object) {
  audio::Gains gains = GainsOf(object.soundTransform);
  for (const MovieClip* parent = object.Parent(); parent; parent = parent->Parent())
    gains = GainsOf(parent->soundTransform).After(gains);
  return gains;
}

void ApplyChainGains(audio::SoundEvents& sounds, const DisplayObject& object) {
  sounds.SetClipGains(&object, ChainGainsOf(object));
  if (object.Kind() != DisplayKind::MovieClip) return;
  for (const auto& [depth, child] : static_cast<const MovieClip&>(object).Children())
    if (child && child->Kind() == DisplayKind::MovieClip) ApplyChainGains(sounds, *child);
}

}  // namespace vantrel::flash
