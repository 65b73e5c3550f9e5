#include "media/flv_output.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <string_view>
#include <vector>

#include "media/bit_stream.h"

namespace vantrel::media {

namespace {

void PutBig(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void PutAmfName(std::vector<std::uint8_t>& out, std::string_view name) {
  PutBig(out, name.size(), 2);
  out.insert(out.end(), name.begin(), name.end());
}

void PutAmfNumber(std::vector<std::uint8_t>& out, std::string_view name, double value) {
  PutAmfName(out, name);
  out.push_back(0x00);  // number
  PutBig(out, std::bit_cast<std::uint64_t>(value), 8);
}

// Sorenson H.263: the picture type follows the 17-bit start code, 5-bit version, 8-bit
// temporal reference and the 3-bit size code (with 16 or 32 bits of custom size).
bool IsH263KeyFrame(std::span<const std::uint8_t> frame) {
  const BitStream bits(frame);
  if (bits.BitCount() < 36 || bits.ReadBits(0, 16) != 1) return false;
  const std::uint32_t sizeCode = bits.ReadBits(30, 32);
  std::size_t typeBit = 33;
  if (sizeCode == 0) typeBit += 16;
  else if (sizeCode == 1) typeBit += 32;
  return bits.ReadBits(typeBit, typeBit + 1) == 0;
}

}  // namespace

bool IsFlvVideoCodec(std::uint8_t codec) { return codec >= kCodecSorensonH263 && codec <= kCodecScreenVideo2; }

bool IsKeyFrame(std::uint8_t codec, std::span<const std::uint8_t> frame, bool firstFrame) {
  switch (codec) {
    case kCodecSorensonH263:
      return IsH263KeyFrame(frame);
    case kCodecVP6:
      return !frame.empty() && (frame[0] & 0x80) == 0;
    case kCodecVP6Alpha:  // a 24-bit offset to the alpha data comes first
      return frame.size() > 3 && (frame[3] & 0x80) == 0;
    default:
      return firstFrame;
  }
}

std::string FlvVideoWriter::Open(const std::string& target, std::uint8_t codec, std::uint16_t width,
                                 std::uint16_t height, double frameRate) {
  codec_ = codec;
  frameRate_ = frameRate > 0 ? frameRate : 12;
  lastTimestamp_ = 0;
  frames_ = 0;
  if (std::string reason = out_.Open(target); !reason.empty()) return reason;
  out_.SetDurable(false);  // an extracted copy, made again at will
  static constexpr std::uint8_t kHeader[] = {'F', 'L', 'V', 1, 0x01, 0, 0, 0, 9, 0, 0, 0, 0};
  std::vector<std::uint8_t> meta;
  meta.push_back(0x02);  // string
  PutAmfName(meta, "onMetaData");
  meta.push_back(0x08);  // ECMA array
  PutBig(meta, 4, 4);
  PutAmfNumber(meta, "width", width);
  PutAmfNumber(meta, "height", height);
  PutAmfNumber(meta, "framerate", frameRate_);
  PutAmfNumber(meta, "videocodecid", codec);
  PutBig(meta, 9, 3);  // end of object
  if (!out_.Write(kHeader) || !WriteTag(18, 0, meta)) {
    std::string reason = out_.Error();
    out_.Abandon();
    return reason;
  }
  return {};
}

bool FlvVideoWriter::WriteTag(std::uint8_t type, std::uint32_t timestamp, std::span<const std::uint8_t> data) {
  if (data.size() > 0xFFFFFF) return false;
  std::vector<std::uint8_t> head;
  head.push_back(type);
  PutBig(head, data.size(), 3);
  PutBig(head, timestamp & 0xFFFFFF, 3);
  head.push_back(static_cast<std::uint8_t>(timestamp >> 24));
  PutBig(head, 0, 3);  // stream id
  std::vector<std::uint8_t> tail;
  PutBig(tail, 11 + data.size(), 4);
  return out_.Write(head) && out_.Write(data) && out_.Write(tail);
}

bool FlvVideoWriter::AddFrame(std::uint16_t frameNumber, std::span<const std::uint8_t> frame) {
  if (!out_.IsOpen()) return false;
  const double milliseconds = std::floor(frameNumber * 1000.0 / frameRate_);
  const std::uint32_t timestamp = std::max(lastTimestamp_, static_cast<std::uint32_t>(milliseconds));
  lastTimestamp_ = timestamp;
  const bool key = IsKeyFrame(codec_, frame, frames_ == 0);
  std::vector<std::uint8_t> data;
  data.reserve(frame.size() + 2);
  data.push_back(static_cast<std::uint8_t>(((key ? 1 : 2) << 4) | codec_));
  // VP6 in FLV carries a byte of picture-size adjustment that SWF leaves out.
  if (codec_ == kCodecVP6 || codec_ == kCodecVP6Alpha) data.push_back(0x00);
  data.insert(data.end(), frame.begin(), frame.end());
  if (!WriteTag(9, timestamp, data)) return false;
  ++frames_;
  return true;
}

std::string FlvVideoWriter::Commit() { return out_.Commit(); }

}  // namespace vantrel::media
