// The sound a movie or a Flash video makes, rendered without a window or a sound card:
// the movie runs frame by frame at its own rate (scripts included) and the mixer is
// pulled for exactly each frame's share of time, so every run gives the same samples.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "flash/audio/sound_format.h"

namespace vantrel::flash::audio {

// Runs the movie (SWF bytes) for seconds (its length when 0) and returns the mix.
// False with *error when the bytes are not a movie.
bool RenderMovieSound(std::span<const std::uint8_t> movie, double seconds, PcmBuffer& out, std::string* error);
// Plays the FLV bytes for seconds (their length when 0) and returns the mix.
bool RenderVideoSound(std::span<const std::uint8_t> flv, double seconds, PcmBuffer& out, std::string* error);

// The longest sound rendered in one go: ten minutes.
inline constexpr double kMaxRenderSeconds = 600;

// A 44.1 kHz 16-bit stereo WAV file of pcm (samples clipped, rounded to nearest).
std::string EncodeWav(const PcmBuffer& pcm);

}  // namespace vantrel::flash::audio
