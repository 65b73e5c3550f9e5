// Sounds as a movie holds them: the formats its sound tags name, the DefineSound
// characters, the StartSound/StartSound2 commands of every frame of the root and of each
// sprite, SoundStreamHead/Head2 with the SoundStreamBlock of every frame, and the sounds
// of button transitions. The tag walk fills this once; audio/ decodes and plays from it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vantrel::flash {

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

// The SOUNDINFO record of StartSound, StartSound2 and DefineButtonSound.
struct SoundInfo {
  bool syncStop = false;        // stop every instance of the sound instead of starting it
  bool syncNoMultiple = false;  // do not start it while it is already playing
  std::optional<std::uint32_t> inPoint, outPoint;  // 44.1 kHz frames
  int loops = 1;
  struct Point {
    std::uint32_t position = 0;              // 44.1 kHz frames
    std::uint16_t left = 32768, right = 32768;  // 0 .. 32768
  };
  std::vector<Point> envelope;
};

// Parses a SOUNDINFO record at position (moved past it); false when it is cut short.
bool ReadSoundInfo(std::span<const std::uint8_t> bytes, std::size_t& position, SoundInfo& info);

struct SoundCharacter {
  std::uint16_t id = 0;
  SoundFormat format;
  std::uint32_t sampleCount = 0;  // samples per channel in the coded rate
  std::int16_t seekSamples = 0;   // MP3: samples of encoder delay to skip at the start
  std::vector<std::uint8_t> data; // coded bytes (MP3 without the seek field)
};

struct StartCommand {
  std::uint16_t soundId = 0;
  SoundInfo info;
};

struct StreamSound {
  SoundFormat format;
  std::int16_t latencySeek = 0;
  // Block bytes by 0-based frame (MP3 blocks without their sample-count and seek fields).
  std::map<int, std::vector<std::uint8_t>> blocks;
};

struct TimelineSounds {
  std::map<int, std::vector<StartCommand>> starts;  // by 0-based frame
  std::optional<StreamSound> stream;
};

struct MovieSoundData {
  std::map<std::uint16_t, SoundCharacter> sounds;
  std::map<std::uint16_t, TimelineSounds> timelines;  // by sprite id, 0 for the root
  // DefineButtonSound: for each of the four transitions the sound and its info.
  std::map<std::uint16_t, std::array<std::optional<StartCommand>, 4>> buttons;
  // Names from ExportAssets and SymbolClass in file order (a later one wins), by which
  // StartSound2 and scripts find sounds.
  std::map<std::string, std::uint16_t> names;
  std::vector<std::string> warnings;

  // The character exported or bound under name; 0 when none.
  std::uint16_t Named(const std::string& name) const;
};

// Reads one sound tag of the timeline spriteId (0: the root) at its 0-based frame into
// data: DefineSound (14), StartSound (15), DefineButtonSound (17), SoundStreamHead (18),
// SoundStreamBlock (19), SoundStreamHead2 (45), StartSound2 (89). Returns false for other
// tags; damaged tags are skipped with a warning.
bool ReadSoundTag(std::uint16_t code, std::span<const std::uint8_t> body, std::uint16_t spriteId, int frame,
                  MovieSoundData& data);

}  // namespace vantrel::flash
