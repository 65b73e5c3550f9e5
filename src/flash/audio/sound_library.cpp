#include "flash/audio/sound_library.h"

#include <algorithm>

#include "flash/audio/sound_decoder.h"
#include "flash/movie_loader.h"
#include "flash/swf_stream.h"

namespace vantrel::flash::audio {

namespace {

enum Tag : std::uint16_t {
  kEnd = 0,
  kShowFrame = 1,
  kDefineSound = 14,
  kStartSound = 15,
  kDefineButtonSound = 17,
  kSoundStreamHead = 18,
  kSoundStreamBlock = 19,
  kDefineSprite = 39,
  kSoundStreamHead2 = 45,
  kExportAssets = 56,
  kSymbolClass = 76,
  kStartSound2 = 89,
};

constexpr int kMaxSpriteNesting = 8;

std::size_t ToMixFrames(std::uint64_t samples, int rate) {
  return rate > 0 ? static_cast<std::size_t>(samples * kMixRate / static_cast<std::uint64_t>(rate)) : 0;
}

}  // namespace

bool SoundLibrary::ReadSoundInfo(std::span<const std::uint8_t> bytes, std::size_t& position, SoundInfo& info) {
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

std::shared_ptr<SoundLibrary> SoundLibrary::FromMovieFile(std::span<const std::uint8_t> file, std::string* error) {
  MovieHeader header;
  std::vector<std::uint8_t> body;
  if (!DecompressMovie(file, header, body, error)) return nullptr;
  const auto tags = MovieBodyTags(body);
  if (tags.data() == nullptr) {
    if (error) *error = "the movie header is cut short";
    return nullptr;
  }
  return FromTags(tags);
}

std::shared_ptr<SoundLibrary> SoundLibrary::FromTags(std::span<const std::uint8_t> tags) {
  auto library = std::make_shared<SoundLibrary>();
  library->Walk(tags, 0, 0);
  return library;
}

void SoundLibrary::Walk(std::span<const std::uint8_t> tags, std::uint16_t spriteId, int depth) {
  SwfStream stream(tags);
  int frame = 0;
  while (stream.Remaining() >= 2) {
    const std::uint16_t codeAndLength = stream.U16();
    const std::uint16_t code = codeAndLength >> 6;
    std::size_t length = codeAndLength & 0x3F;
    if (length == 0x3F) {
      if (stream.Remaining() < 4) return;
      length = stream.U32();
    }
    const std::span<const std::uint8_t> body = stream.ReadBytes(std::min(length, stream.Remaining()));
    SwfStream in(body);
    switch (code) {
      case kEnd:
        return;
      case kShowFrame:
        ++frame;
        break;
      case kDefineSound: {
        SoundCharacter sound;
        sound.id = in.U16();
        sound.format = SoundFormat::FromFlags(in.U8());
        sound.sampleCount = in.U32();
        if (sound.format.codec == static_cast<std::uint8_t>(SoundCodec::Mp3)) sound.seekSamples = in.S16();
        if (in.Overrun()) {
          warnings_.push_back("DefineSound cut short");
          break;
        }
        const auto rest = in.Rest();
        sound.data.assign(rest.begin(), rest.end());
        sounds_[sound.id] = std::move(sound);
        break;
      }
      case kStartSound:
      case kStartSound2: {
        StartCommand command;
        if (code == kStartSound) {
          command.soundId = in.U16();
        } else {
          command.soundId = Exported(in.String());
        }
        std::size_t position = in.Position();
        if (in.Overrun() || !ReadSoundInfo(body, position, command.info)) {
          warnings_.push_back("StartSound cut short");
          break;
        }
        if (command.soundId != 0) timelines_[spriteId].starts[frame].push_back(std::move(command));
        break;
      }
      case kSoundStreamHead:
      case kSoundStreamHead2: {
        in.U8();  // the playback format the authoring tool suggested; the stream's own counts
        StreamSound stream;
        stream.format = SoundFormat::FromFlags(in.U8());
        in.U16();  // average samples per block
        if (stream.format.codec == static_cast<std::uint8_t>(SoundCodec::Mp3)) stream.latencySeek = in.S16();
        if (in.Overrun() && body.size() < 4) break;
        timelines_[spriteId].stream = std::move(stream);
        break;
      }
      case kSoundStreamBlock: {
        auto it = timelines_.find(spriteId);
        if (it == timelines_.end() || !it->second.stream) break;  // a block without a head
        StreamSound& stream = *it->second.stream;
        if (stream.format.codec == static_cast<std::uint8_t>(SoundCodec::Mp3)) in.Skip(4);
        const auto rest = in.Rest();
        auto& block = stream.blocks[frame];
        block.insert(block.end(), rest.begin(), rest.end());
        break;
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
        buttons_[button] = std::move(sounds);
        break;
      }
      case kExportAssets:
      case kSymbolClass: {
        const std::uint16_t count = in.U16();
        for (int i = 0; i < count && !in.Overrun(); ++i) {
          const std::uint16_t id = in.U16();
          std::string name = in.String();
          if (!in.Overrun()) exports_[std::move(name)] = id;
        }
        break;
      }
      case kDefineSprite:
        if (spriteId == 0 && depth < kMaxSpriteNesting) {
          const std::uint16_t id = in.U16();
          in.U16();  // frame count
          if (!in.Overrun()) Walk(in.Rest(), id, depth + 1);
        }
        break;
      default:
        break;
    }
  }
}

const SoundCharacter* SoundLibrary::Sound(std::uint16_t id) const {
  const auto it = sounds_.find(id);
  return it == sounds_.end() ? nullptr : &it->second;
}

std::shared_ptr<const PcmBuffer> SoundLibrary::Decoded(std::uint16_t id) const {
  if (const auto it = decoded_.find(id); it != decoded_.end()) return it->second;
  const SoundCharacter* sound = Sound(id);
  std::shared_ptr<const PcmBuffer> result;
  if (sound) {
    auto pcm = std::make_shared<PcmBuffer>(DecodeWholeSound(sound->format, sound->data));
    // The encoder's delay goes, and the sound ends where its sample count says, so that
    // looped sounds join without a gap.
    const std::size_t skip = std::min(pcm->Frames(), ToMixFrames(std::max<int>(0, sound->seekSamples), sound->format.rate));
    pcm->samples.erase(pcm->samples.begin(), pcm->samples.begin() + static_cast<std::ptrdiff_t>(skip * 2));
    const std::size_t length = ToMixFrames(sound->sampleCount, sound->format.rate);
    if (length > 0 && length < pcm->Frames()) pcm->samples.resize(length * 2);
    if (pcm->Frames() > 0) result = std::move(pcm);
  }
  decoded_[id] = result;
  return result;
}

const TimelineSounds* SoundLibrary::Timeline(std::uint16_t spriteId) const {
  const auto it = timelines_.find(spriteId);
  return it == timelines_.end() ? nullptr : &it->second;
}

std::vector<std::uint16_t> SoundLibrary::TimelinesWithSounds() const {
  std::vector<std::uint16_t> ids;
  for (const auto& [id, sounds] : timelines_) ids.push_back(id);
  return ids;
}

const SoundLibrary::DecodedStream* SoundLibrary::Stream(std::uint16_t spriteId) const {
  if (const auto it = streams_.find(spriteId); it != streams_.end()) return &it->second;
  const TimelineSounds* timeline = Timeline(spriteId);
  if (!timeline || !timeline->stream || timeline->stream->blocks.empty()) return nullptr;
  const StreamSound& stream = *timeline->stream;
  DecodedStream decoded;
  auto pcm = std::make_shared<PcmBuffer>();
  SoundDecoder decoder(stream.format);
  if (!decoder.Ok()) return nullptr;
  for (const auto& [frame, block] : stream.blocks) {
    decoded.frameStart[frame] = pcm->Frames();
    decoder.Decode(block, *pcm);
  }
  decoder.Flush(*pcm);
  const std::size_t skip = std::min(pcm->Frames(), ToMixFrames(std::max<int>(0, stream.latencySeek), stream.format.rate));
  if (skip > 0) {
    pcm->samples.erase(pcm->samples.begin(), pcm->samples.begin() + static_cast<std::ptrdiff_t>(skip * 2));
    for (auto& [frame, start] : decoded.frameStart) start = start > skip ? start - skip : 0;
  }
  decoded.pcm = std::move(pcm);
  return &(streams_[spriteId] = std::move(decoded));
}

const std::array<std::optional<StartCommand>, 4>* SoundLibrary::ButtonSounds(std::uint16_t buttonId) const {
  const auto it = buttons_.find(buttonId);
  return it == buttons_.end() ? nullptr : &it->second;
}

std::uint16_t SoundLibrary::Exported(const std::string& name) const {
  const auto it = exports_.find(name);
  return it == exports_.end() ? 0 : it->second;
}

}  // namespace vantrel::flash::audio
