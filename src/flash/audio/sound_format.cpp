#include "flash/audio/sound_format.h"

namespace vantrel::flash::audio {

int SoundFormat::RateFromCode(unsigned code) {
  static constexpr int kRates[4] = {5512, 11025, 22050, 44100};
  return kRates[code & 3];
}

SoundFormat SoundFormat::FromFlags(std::uint8_t flags) {
  SoundFormat format;
  format.codec = flags >> 4;
  format.rate = RateFromCode((flags >> 2) & 3);
  format.sixteenBit = (flags & 2) != 0;
  format.stereo = (flags & 1) != 0;
  switch (static_cast<SoundCodec>(format.codec)) {
    case SoundCodec::Nelly16k:
    case SoundCodec::Speex:
      format.rate = 16000;
      format.stereo = false;
      break;
    case SoundCodec::Nelly8k:
    case SoundCodec::Mp3_8k:
      format.rate = 8000;
      break;
    case SoundCodec::Nelly:
      format.stereo = false;
      break;
    case SoundCodec::Alaw:
    case SoundCodec::Mulaw:
      format.rate = 8000;  // G.711 is telephone sound: 8 kHz whatever the rate bits say
      break;
    default:
      break;
  }
  return format;
}

}  // namespace vantrel::flash::audio
