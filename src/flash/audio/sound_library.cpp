#include "flash/audio/sound_library.h"

#include <algorithm>

#include "flash/audio/sound_decoder.h"
#include "flash/swf/movie_loader.h"

namespace vantrel::flash::audio {

namespace {

std::size_t ToMixFrames(std::uint64_t samples, int rate) {
  return rate > 0 ? static_cast<std::size_t>(samples * kMixRate / static_cast<std::uint64_t>(rate)) : 0;
}

}  // namespace

SoundLibrary::SoundLibrary(std::shared_ptr<const Movie> movie) : movie_(std::move(movie)), data_(movie_->sounds) {}

std::shared_ptr<SoundLibrary> SoundLibrary::FromMovieFile(std::span<const std::uint8_t> file, std::string* error) {
  std::shared_ptr<const Movie> movie = ReadMovie(file, nullptr, error);  // sounds only: no shapes
  return movie ? std::make_shared<SoundLibrary>(std::move(movie)) : nullptr;
}

const SoundCharacter* SoundLibrary::Sound(std::uint16_t id) const {
  const auto it = data_.sounds.find(id);
  return it == data_.sounds.end() ? nullptr : &it->second;
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
  const auto it = data_.timelines.find(spriteId);
  return it == data_.timelines.end() ? nullptr : &it->second;
}

std::vector<std::uint16_t> SoundLibrary::TimelinesWithSounds() const {
  std::vector<std::uint16_t> ids;
  for (const auto& [id, sounds] : data_.timelines) ids.push_back(id);
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
  const auto it = data_.buttons.find(buttonId);
  return it == data_.buttons.end() ? nullptr : &it->second;
}

std::uint16_t SoundLibrary::Exported(const std::string& name) const {
  return data_.Named(name);
}

}  // namespace vantrel::flash::audio
