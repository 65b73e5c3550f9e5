// The sounds of one movie, as its model holds them (DefineSound characters, the
// StartSound/StartSound2 commands of every frame of the root and of each sprite,
// SoundStreamHead/Head2 with the SoundStreamBlock of every frame, button sounds and
// the exported names scripts attach sounds by), decoded on first use and kept.
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
#include "flash/swf/movie.h"

namespace vantrel::flash::audio {

class SoundLibrary {
 public:
  // The sounds of a loaded movie; the library keeps the movie.
  explicit SoundLibrary(std::shared_ptr<const Movie> movie);
  // Loads a whole movie file (FWS, CWS or ZWS) for its sounds. Null with *error when the
  // bytes are not a movie; damaged sound tags are skipped.
  static std::shared_ptr<SoundLibrary> FromMovieFile(std::span<const std::uint8_t> file, std::string* error);

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
  std::size_t SoundCount() const { return data_.sounds.size(); }
  const std::vector<std::string>& Warnings() const { return data_.warnings; }

 private:
  std::shared_ptr<const Movie> movie_;
  const MovieSoundData& data_;
  mutable std::map<std::uint16_t, std::shared_ptr<const PcmBuffer>> decoded_;
  mutable std::map<std::uint16_t, DecodedStream> streams_;
};

}  // namespace vantrel::flash::audio
