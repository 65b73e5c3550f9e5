// Arbitrary bytes through the ADPCM decoder as a whole sound and as stream blocks: the
// first byte picks the rate, size and channel bits.
#include <cstddef>
#include <cstdint>

#include "flash/audio/sound_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel::flash::audio;
  using vantrel::flash::SoundFormat;
  if (size < 1) return 0;
  const SoundFormat format = SoundFormat::FromFlags(static_cast<std::uint8_t>(0x10 | (data[0] & 0x0F)));
  const std::span<const std::uint8_t> coded(data + 1, size - 1);
  DecodeWholeSound(format, coded);
  SoundDecoder blocks(format);
  PcmBuffer out;
  for (std::size_t at = 0; at < coded.size(); at += 97) blocks.Decode(coded.subspan(at, std::min<std::size_t>(97, coded.size() - at)), out);
  blocks.Flush(out);
  return 0;
}
