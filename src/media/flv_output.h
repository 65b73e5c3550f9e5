// Flash video files for the embedded video streams of a movie: each DefineVideoStream
// and its VideoFrame tags become one FLV file with a video track (no sound), so the
// frames play in any FLV player.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "media/output_file.h"

namespace vantrel::media {

// The codecs an embedded stream can use; FLV knows the same ids.
inline constexpr std::uint8_t kCodecSorensonH263 = 2;
inline constexpr std::uint8_t kCodecScreenVideo = 3;
inline constexpr std::uint8_t kCodecVP6 = 4;
inline constexpr std::uint8_t kCodecVP6Alpha = 5;
inline constexpr std::uint8_t kCodecScreenVideo2 = 6;

// True for the codec ids above.
bool IsFlvVideoCodec(std::uint8_t codec);

// True when a frame of codec starts a new picture on its own (an intra frame). For the
// screen-video codecs only the first frame counts as one.
bool IsKeyFrame(std::uint8_t codec, std::span<const std::uint8_t> frame, bool firstFrame);

class FlvVideoWriter {
 public:
  // Starts the file at target with the FLV header and an onMetaData entry naming the
  // picture size, frame rate and codec. Returns "" or the reason.
  std::string Open(const std::string& target, std::uint8_t codec, std::uint16_t width, std::uint16_t height,
                   double frameRate);
  bool IsOpen() const { return out_.IsOpen(); }
  std::uint8_t Codec() const { return codec_; }

  // Appends the frame numbered frameNumber (timestamps follow the frame rate and never
  // go backwards). False when the write fails.
  bool AddFrame(std::uint16_t frameNumber, std::span<const std::uint8_t> frame);
  std::uint32_t FrameCount() const { return frames_; }

  // Finishes the file under its name. Returns "" or the reason.
  std::string Commit();

 private:
  bool WriteTag(std::uint8_t type, std::uint32_t timestamp, std::span<const std::uint8_t> data);

  OutputFile out_;
  std::uint8_t codec_ = 0;
  double frameRate_ = 12;
  std::uint32_t lastTimestamp_ = 0;
  std::uint32_t frames_ = 0;
};

}  // namespace vantrel::media
