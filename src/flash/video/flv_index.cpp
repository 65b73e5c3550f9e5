#include "flash/video/flv_index.h"

#include <algorithm>
#include <cstring>

namespace vantrel::flash::video {

namespace {

std::uint32_t Be(std::span<const std::uint8_t> bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
  return value;
}

// The "duration" number of an onMetaData script tag, or 0. Looks for the key and reads
// the AMF0 number after it; a script tag is small, so a plain search is enough.
double MetaDuration(std::span<const std::uint8_t> data) {
  static constexpr char kKey[] = "\x00\x08" "duration";
  const std::size_t keyLength = sizeof(kKey) - 1;
  if (data.size() < keyLength + 9) return 0;
  for (std::size_t i = 0; i + keyLength + 9 <= data.size(); ++i) {
    if (std::memcmp(data.data() + i, kKey, keyLength) != 0 || data[i + keyLength] != 0) continue;
    std::uint64_t bits = 0;
    for (int b = 0; b < 8; ++b) bits = bits << 8 | data[i + keyLength + 1 + static_cast<std::size_t>(b)];
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value > 0 && value < 1e7 ? value : 0;
  }
  return 0;
}

}  // namespace

double FlvIndex::Duration() const {
  if (metaDuration > 0) return metaDuration;
  const double frame = video.empty() ? 0 : FrameInterval();
  return (lastTime + frame) / 1000.0;
}

double FlvIndex::FrameInterval() const {
  if (video.size() < 2) return 40;
  const double span = static_cast<double>(video.back().time) - video.front().time;
  return span > 0 ? span / static_cast<double>(video.size() - 1) : 40;
}

bool IndexFlv(std::span<const std::uint8_t> file, FlvIndex& index, std::string* error) {
  index = FlvIndex{};
  if (file.size() < 9) {
    if (error) *error = "not a Flash video";
    return false;
  }
  return ContinueFlvIndex(file, index, error);
}

bool ContinueFlvIndex(std::span<const std::uint8_t> file, FlvIndex& index, std::string* error) {
  const std::size_t prefix = std::min<std::size_t>(file.size(), 3);
  if (std::memcmp(file.data(), "FLV", prefix) != 0) {
    if (error) *error = "not a Flash video";
    return false;
  }
  if (index.next == 0) {
    if (file.size() < 9) return true;
    std::size_t position = Be(file, 5, 4);
    if (position < 9 || position > file.size()) position = 9;
    index.next = position + 4;  // the first previous-tag size
  }
  std::size_t position = index.next;
  index.truncated = false;
  while (!index.closed && position + 11 <= file.size()) {
    const std::uint8_t type = file[position] & 0x1F;
    const std::uint32_t size = Be(file, position + 1, 3);
    const std::uint32_t time = Be(file, position + 4, 3) | static_cast<std::uint32_t>(file[position + 7]) << 24;
    const std::size_t data = position + 11;
    if (data + size > file.size()) break;
    if (type == 0 && size == 0) {
      index.closed = true;
      break;
    }
    FlvTag tag{time, data, size, true};
    if (type == 8 && size > 0) {
      if (index.audio.empty()) index.audioFlags = file[data];
      index.audio.push_back(tag);
    } else if (type == 9 && size > 0) {
      const std::uint8_t first = file[data];
      if (index.video.empty()) index.videoCodec = first & 0x0F;
      const int frameType = first >> 4;
      if (frameType == 5) {  // a command frame carries no picture
        position = data + size + 4;
        continue;
      }
      // Decoding has to start somewhere: the first frame counts as a key frame.
      tag.keyFrame = frameType == 1 || index.video.empty();
      index.video.push_back(tag);
    } else if (type == 18 && size > 0) {
      index.scripts.push_back(tag);
      if (index.metaDuration == 0) index.metaDuration = MetaDuration(file.subspan(data, size));
    }
    index.lastTime = time;
    position = data + size + 4;
  }
  index.next = position;
  index.truncated = !index.closed && position < file.size();
  return true;
}

}  // namespace vantrel::flash::video
