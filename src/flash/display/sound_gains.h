// The mixer's gains for a clip's sound transform, as both script machines' sound
// classes and the engine's timeline sounds apply them.
#pragma once

#include "flash/audio/mixer.h"
#include "flash/audio/sound_events.h"
#include "flash/display/display_object.h"

namespace vantrel::flash {

// The channel gains of a sound transform: volume times the four channel shares (a
// negative volume is silence).
audio::Gains GainsOf(const SoundTransform& transform);
// What a clip's sounds go through: its own transform, then each of its parents'.
audio::Gains ChainGainsOf(const DisplayObject& object);
// Gives the mixer the gains of object's sounds and of the sounds of every clip inside it,
// after object's transform changed.
void ApplyChainGains(audio::SoundEvents& sounds, const DisplayObject& object);

}  // namespace vantrel::flash
