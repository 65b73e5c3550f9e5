// The sound formats a movie or a Flash video can carry, and the decoded form every
// sound takes before it reaches the mixer: 44.1 kHz stereo float, interleaved.
#pragma once

#include <cstdint>
#include <vector>

#include "flash/swf/sound.h"

namespace vantrel::flash::audio {

inline constexpr int kMixRate = 44100;

// Decoded sound: interleaved stereo float frames at kMixRate.
struct PcmBuffer {
  std::vector<float> samples;  // L R L R ...
  std::size_t Frames() const { return samples.size() / 2; }
};

}  // namespace vantrel::flash::audio
