// What the Sound class shares with the engine: the mixer's gains for a clip's sound
// transform (the engine applies them to the sounds a clip's timeline starts).
#pragma once

#include "flash/audio/mixer.h"
#include "flash/display/display_object.h"

namespace vantrel::flash::avm1 {

// The channel gains of a sound transform: volume times the four channel shares (a
// negative volume is silence).
audio::Gains GainsOf(const SoundTransform& transform);
// What a clip's sounds go through: its own transform, then each of its parents'.
audio::Gains ChainGainsOf(const DisplayObject& object);

}  // namespace vantrel::flash::avm1
