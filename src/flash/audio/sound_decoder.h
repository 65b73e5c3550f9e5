// Sound decoding through FFmpeg's decoders, resampled by libswresample to the mixer's
// 44.1 kHz stereo float. One decoder per sound or per stream: stream codecs (MP3, AAC,
// Nellymoser, ADPCM) keep state from one packet to the next.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "flash/audio/sound_format.h"

namespace vantrel::flash::audio {

class SoundDecoder {
 public:
  explicit SoundDecoder(const SoundFormat& format);
  ~SoundDecoder();
  SoundDecoder(const SoundDecoder&) = delete;
  SoundDecoder& operator=(const SoundDecoder&) = delete;

  // False when FFmpeg has no decoder for the format; Error() says why.
  bool Ok() const;
  const std::string& Error() const { return error_; }
  const SoundFormat& Format() const { return format_; }

  // The codec's setup bytes (AAC's AudioSpecificConfig); resets the decoder.
  void SetConfig(std::span<const std::uint8_t> config);
  // Decodes coded bytes (whole DefineSound data after any MP3 seek field, one stream
  // block, one FLV tag's data after its flag byte) and appends the samples to out.
  // Damaged frames are skipped; the rest still decodes. Returns the frames appended.
  std::size_t Decode(std::span<const std::uint8_t> bytes, PcmBuffer& out);
  // Appends what the decoder and the resampler still hold (call once at the end).
  std::size_t Flush(PcmBuffer& out);
  // Forgets the state (after a seek): the next packet decodes as a fresh start.
  void Reset();

  // The most one decoder hands out in all: ten minutes. More is cut (and a movie that
  // claims more is not worth the memory).
  static constexpr std::size_t kMaxFrames = static_cast<std::size_t>(kMixRate) * 600;

 private:
  struct State;
  SoundFormat format_;
  std::unique_ptr<State> state_;
  std::string error_;
  std::size_t produced_ = 0;
};

// Decodes a whole sound in one go (a DefineSound's data): a fresh decoder, the bytes,
// then the flush. Returns an empty buffer when nothing decodes, with the reason in
// *error when given.
PcmBuffer DecodeWholeSound(const SoundFormat& format, std::span<const std::uint8_t> bytes,
                           std::string* error = nullptr);

}  // namespace vantrel::flash::audio
