// The sounds of one movie, read from its tags: DefineSound characters, the
// StartSound/StartSound2 commands of every frame of the root and of each sprite,
// SoundStreamHead/Head2 with the SoundStreamBlock of every frame, button sounds and
// the exported names scripts attach sounds by. Decoding happens on first use and is
// kept.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "flash/audio/sound_events.h"
#include "flash/audio/sound_format.h"

namespace vantrel::flash::audio {

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

class SoundLibrary {
 public:
  // Reads the sounds of a whole movie file (FWS, CWS or ZWS). Null with *error when the
  // bytes are not a movie; damaged sound tags are skipped.
  static std::shared_ptr<SoundLibrary> FromMovieFile(std::span<const std::uint8_t> file, std::string* error);
  // Reads the sounds from the tags of an uncompressed movie body (after the header's
  // RECT, rate and count).
  static std::shared_ptr<SoundLibrary> FromTags(std::span<const std::uint8_t> tags);

  const SoundCharacter* Sound(std::uint16_t id) const;
  // The sound decoded to the mix format, trimmed to its sample count and without the
  // MP3 encoder delay; null when it does not decode. Decoded once, then kept.
  std::shared_ptr<const PcmBuffer> Decoded(std::uint16_t id) const;
  // Sounds of the root (spriteId 0) or of a sprite; null when it has none.
  const TimelineSounds* Timeline(std::uint16_t spriteId) const;
  // Sprites (and 0 for the root) that have sounds.
  std::vector<std::uint16_t> TimelinesWithSounds() const;
  // A timeline's stream decoded whole, and where each frame's block starts in it.
  struct DecodedStream {
    std::shared_ptr<const PcmBuffer> pcm;
    std::map<int, std::size_t> frameStart;  // 0-based frame -> first 44.1 kHz frame
  };
  const DecodedStream* Stream(std::uint16_t spriteId) const;
  // DefineButtonSound: for each of the four transitions the sound and its info.
  const std::array<std::optional<StartCommand>, 4>* ButtonSounds(std::uint16_t buttonId) const;
  // The character exported (ExportAssets) or bound (SymbolClass) under name; 0 when none.
  std::uint16_t Exported(const std::string& name) const;
  std::size_t SoundCount() const { return sounds_.size(); }
  const std::vector<std::string>& Warnings() const { return warnings_; }

  // Parses a SOUNDINFO record; false when it is cut short.
  static bool ReadSoundInfo(std::span<const std::uint8_t> bytes, std::size_t& position, SoundInfo& info);

 private:
  void Walk(std::span<const std::uint8_t> tags, std::uint16_t spriteId, int depth);

  std::map<std::uint16_t, SoundCharacter> sounds_;
  std::map<std::uint16_t, TimelineSounds> timelines_;
  std::map<std::uint16_t, std::array<std::optional<StartCommand>, 4>> buttons_;
  std::map<std::string, std::uint16_t> exports_;
  std::vector<std::string> warnings_;
  mutable std::map<std::uint16_t, std::shared_ptr<const PcmBuffer>> decoded_;
  mutable std::map<std::uint16_t, DecodedStream> streams_;
};

}  // namespace vantrel::flash::audio
