#include "flash/swf/sound.h"

#include <algorithm>

#include "flash/swf/stream.h"

namespace vantrel::flash {

namespace {

enum Tag : std::uint16_t {
  kDefineSound = 14,
  kStartSound = 15,
  kDefineButtonSound = 17,
  kSoundStreamHead = 18,
  kSoundStreamBlock = 19,
  kSoundStreamHead2 = 45,
  kStartSound2 = 89,
};

bool IsMp3(const SoundFormat& format) { return format.codec == static_cast<std::uint8_t>(SoundCodec::Mp3); }

}  // namespace

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

bool ReadSoundInfo(std::span<const std::uint8_t> bytes, std::size_t& position, SoundInfo& info) {
  SwfStream in(bytes);
  in.Seek(position);
  const std::uint8_t flags = in.U8();
  info.syncStop = (flags & 0x20) != 0;
  info.syncNoMultiple = (flags & 0x10) != 0;
  if (flags & 0x01) info.inPoint = in.U32();
  if (flags & 0x02) info.outPoint = in.U32();
  if (flags & 0x04) info.loops = in.U16();
  if (flags & 0x08) {
    const std::uint8_t points = in.U8();
    for (int i = 0; i < points && !in.Overrun(); ++i) {
      SoundInfo::Point point;
      point.position = in.U32();
      point.left = std::min<std::uint16_t>(in.U16(), 32768);
      point.right = std::min<std::uint16_t>(in.U16(), 32768);
      info.envelope.push_back(point);
    }
  }
  position = in.Position();
  return !in.Overrun();
}

std::uint16_t MovieSoundData::Named(const std::string& name) const {
  const auto it = names.find(name);
  return it == names.end() ? 0 : it->second;
}

bool ReadSoundTag(std::uint16_t code, std::span<const std::uint8_t> body, std::uint16_t spriteId, int frame,
                  MovieSoundData& data) {
  SwfStream in(body);
  switch (code) {
    case kDefineSound: {
      SoundCharacter sound;
      sound.id = in.U16();
      sound.format = SoundFormat::FromFlags(in.U8());
      sound.sampleCount = in.U32();
      if (IsMp3(sound.format)) sound.seekSamples = in.S16();
      if (in.Overrun()) {
        data.warnings.push_back("DefineSound cut short");
        return true;
      }
      const auto rest = in.Rest();
      sound.data.assign(rest.begin(), rest.end());
      data.sounds[sound.id] = std::move(sound);
      return true;
    }
    case kStartSound:
    case kStartSound2: {
      StartCommand command;
      command.soundId = code == kStartSound ? in.U16() : data.Named(in.String());
      std::size_t position = in.Position();
      if (in.Overrun() || !ReadSoundInfo(body, position, command.info)) {
        data.warnings.push_back("StartSound cut short");
        return true;
      }
      if (command.soundId != 0) data.timelines[spriteId].starts[frame].push_back(std::move(command));
      return true;
    }
    case kSoundStreamHead:
    case kSoundStreamHead2: {
      in.U8();  // the playback format the authoring tool suggested; the stream's own counts
      StreamSound stream;
      stream.format = SoundFormat::FromFlags(in.U8());
      in.U16();  // average samples per block
      if (IsMp3(stream.format)) stream.latencySeek = in.S16();
      if (in.Overrun() && body.size() < 4) return true;
      data.timelines[spriteId].stream = std::move(stream);
      return true;
    }
    case kSoundStreamBlock: {
      auto it = data.timelines.find(spriteId);
      if (it == data.timelines.end() || !it->second.stream) return true;  // a block without a head
      StreamSound& stream = *it->second.stream;
      if (IsMp3(stream.format)) in.Skip(4);
      const auto rest = in.Rest();
      auto& block = stream.blocks[frame];
      block.insert(block.end(), rest.begin(), rest.end());
      return true;
    }
    case kDefineButtonSound: {
      const std::uint16_t button = in.U16();
      std::array<std::optional<StartCommand>, 4> sounds;
      std::size_t position = in.Position();
      for (auto& slot : sounds) {
        SwfStream id(body);
        id.Seek(position);
        const std::uint16_t soundId = id.U16();
        position = id.Position();
        if (id.Overrun()) break;
        if (soundId == 0) continue;
        StartCommand command;
        command.soundId = soundId;
        if (!ReadSoundInfo(body, position, command.info)) break;
        slot = std::move(command);
      }
      data.buttons[button] = std::move(sounds);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace vantrel::flash
