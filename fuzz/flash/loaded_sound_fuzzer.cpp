// Arbitrary bytes as an MP3 file a script loads: the ID3v2 tag reader, the frame-header
// walk and the decoder behind them.
#include <cstddef>
#include <cstdint>

#include "flash/audio/loaded_sound.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel::flash::audio;
  const std::span<const std::uint8_t> bytes(data, size);
  ReadId3(bytes);
  LoadedSound sound;
  DecodeMp3File(bytes, sound, nullptr);
  return 0;
}
