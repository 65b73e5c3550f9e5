// The sound formats a movie or a Flash video can carry, and the decoded form every
// sound takes before it reaches the mixer: 44.1 kHz stereo float, interleaved.
#pragma once

#include <cstdint>
#include <vector>

namespace vantrel::flash::audio {

inline constexpr int kMixRate = 44100;

// Codec numbers as the files store them (DefineSound, SoundStreamHead, FLV audio tags).
enum class SoundCodec : std::uint8_t {
  PcmNative = 0,   // uncompressed, the byte order of the machine that made it (little-endian in practice)
  Adpcm = 1,
  Mp3 = 2,
  PcmLittle = 3,
  Nelly16k = 4,
  Nelly8k = 5,
  Nelly = 6,
  Alaw = 7,
  Mulaw = 8,
  Aac = 10,
  Speex = 11,
  Mp3_8k = 14,
};

struct SoundFormat {
  std::uint8_t codec = 0;      // SoundCodec value
  int rate = 44100;            // samples per second of the coded data
  bool sixteenBit = true;
  bool stereo = false;

  // Reads the flag byte of DefineSound, SoundStreamHead's stream half and FLV audio
  // tags: codec in the upper four bits, then rate code, size and channel bits. The
  // codecs with a fixed rate (Nellymoser 8/16 kHz, Speex, MP3 8 kHz, AAC) get it here.
  static SoundFormat FromFlags(std::uint8_t flags);
  // Samples per second for a two-bit rate code: 5512, 11025, 22050, 44100.
  static int RateFromCode(unsigned code);
};

// Decoded sound: interleaved stereo float frames at kMixRate.
struct PcmBuffer {
  std::vector<float> samples;  // L R L R ...
  std::size_t Frames() const { return samples.size() / 2; }
};

}  // namespace vantrel::flash::audio
