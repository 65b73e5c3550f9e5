// Video frames of Flash videos and embedded video streams: Sorenson H.263 by our own
// decoder, screen video 1 and 2, On2 VP6 (with and without alpha) and H.264 by FFmpeg. Pictures
// come out as QImages (premultiplied ARGB for VP6 with alpha, RGB otherwise).
#pragma once

#include <QImage>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace vantrel::flash::video {

class VideoDecoder {
 public:
  // codec: the FLV/SWF codec id (2 H.263, 3 screen video, 4 VP6, 5 VP6 alpha, 6 screen
  // video 2, 7 H.264). flvFraming: VP6 frames start with the FLV's size-adjustment byte
  // (movies' VideoFrame tags have none).
  explicit VideoDecoder(std::uint8_t codec, bool flvFraming = true);
  ~VideoDecoder();
  VideoDecoder(const VideoDecoder&) = delete;
  VideoDecoder& operator=(const VideoDecoder&) = delete;

  bool Ok() const;
  const std::string& Error() const { return error_; }
  std::uint8_t Codec() const { return codec_; }

  // Decodes one frame's data: an FLV video tag's data after its frame-type/codec byte,
  // or a VideoFrame tag's data. With picture non-null, the picture is converted into it
  // when one came out; skipping the conversion for frames nobody sees saves most of
  // the cost of catching up. Returns true when the decoder produced a picture. A
  // damaged frame returns false and the decoder goes on with the next. keyFrame: the
  // container marks the frame as a key frame (screen video 2 keeps those for later
  // frames to refer to).
  bool Decode(std::span<const std::uint8_t> data, QImage* picture, bool keyFrame = false);
  // Converts the last decoded picture (false when there is none).
  bool LastPicture(QImage& picture);
  // Forgets the reference pictures (after a seek); the next frame should be a key frame.
  void Reset();
  // The block-edge filter of Sorenson H.263 pictures, as a DefineVideoStream or a Video
  // object sets it: 0 as each frame asks, 1 off, 2 and above on.
  void SetDeblocking(int mode) { deblocking_ = mode; }

  // The largest picture side accepted; bigger frames are refused.
  static constexpr int kMaxSide = 4096;

 private:
  struct State;
  std::uint8_t codec_;
  bool flvFraming_;
  int deblocking_ = 0;
  std::unique_ptr<State> state_;
  std::string error_;
};

}  // namespace vantrel::flash::video
