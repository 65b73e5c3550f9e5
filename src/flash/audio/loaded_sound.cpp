#include "flash/audio/loaded_sound.h"

#include <algorithm>
#include <cmath>

#include "flash/audio/sound_decoder.h"

namespace vantrel::flash::audio {

namespace {

// An ID3v2 tag is at most 256 MiB by its own size field; a file's tag larger than the
// file is cut to the file.
std::uint32_t SyncSafe(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0] & 0x7F) << 21) | (static_cast<std::uint32_t>(p[1] & 0x7F) << 14) |
         (static_cast<std::uint32_t>(p[2] & 0x7F) << 7) | static_cast<std::uint32_t>(p[3] & 0x7F);
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
         (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

void AppendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Text in one of the four ID3 encodings, up to its terminator; position moves past the
// terminator (or to the end).
std::string ReadText(std::span<const std::uint8_t> body, std::size_t& position, std::uint8_t encoding) {
  std::string out;
  if (encoding == 1 || encoding == 2) {
    bool bigEndian = encoding == 2;
    if (encoding == 1 && position + 1 < body.size()) {
      if (body[position] == 0xFF && body[position + 1] == 0xFE) {
        bigEndian = false;
        position += 2;
      } else if (body[position] == 0xFE && body[position + 1] == 0xFF) {
        bigEndian = true;
        position += 2;
      }
    }
    std::uint32_t high = 0;
    while (position + 1 < body.size()) {
      const std::uint32_t unit = bigEndian ? (body[position] << 8 | body[position + 1])
                                           : (body[position + 1] << 8 | body[position]);
      position += 2;
      if (unit == 0) return out;
      if (unit >= 0xD800 && unit < 0xDC00) {
        high = unit;
        continue;
      }
      if (unit >= 0xDC00 && unit < 0xE000) {
        if (high) AppendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
        high = 0;
        continue;
      }
      high = 0;
      AppendUtf8(out, unit);
    }
    position = body.size();
    return out;
  }
  while (position < body.size()) {
    const std::uint8_t byte = body[position++];
    if (byte == 0) return out;
    if (encoding == 3)
      out.push_back(static_cast<char>(byte));
    else
      AppendUtf8(out, byte);  // ISO-8859-1
  }
  return out;
}

bool IsFrameIdChar(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

struct MpegHeader {
  int sampleRate = 0;
  int samples = 0;      // per frame
  std::size_t bytes = 0;  // frame length
};

// The MPEG audio frame header at p (four bytes); false when it is not one.
bool ReadMpegHeader(const std::uint8_t* p, MpegHeader& header) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  const int version = (p[1] >> 3) & 3;  // 0 MPEG 2.5, 2 MPEG 2, 3 MPEG 1
  const int layer = (p[1] >> 1) & 3;    // 1 layer III, 2 layer II, 3 layer I
  const int bitrateIndex = p[2] >> 4;
  const int rateIndex = (p[2] >> 2) & 3;
  const int padding = (p[2] >> 1) & 1;
  if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
  static const int kRates[3] = {44100, 48000, 32000};
  static const int kBitrates[2][3][15] = {
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
  const bool mpeg1 = version == 3;
  const int layerNumber = 4 - layer;  // 1, 2 or 3
  const int bitrate = kBitrates[mpeg1 ? 0 : 1][layerNumber - 1][bitrateIndex] * 1000;
  header.sampleRate = kRates[rateIndex] >> (mpeg1 ? 0 : (version == 2 ? 1 : 2));
  if (layerNumber == 1) {
    header.samples = 384;
    header.bytes = static_cast<std::size_t>((12 * bitrate / header.sampleRate + padding) * 4);
  } else {
    header.samples = layerNumber == 3 && !mpeg1 ? 576 : 1152;
    header.bytes = static_cast<std::size_t>(header.samples / 8 * bitrate / header.sampleRate + padding);
  }
  return header.bytes >= 4;
}

// Walks the MPEG frames after the ID3 tag: the total of their samples and the first
// frame's header. Bytes between frames that are no header are passed over.
std::uint64_t WalkFrames(std::span<const std::uint8_t> bytes, MpegHeader& first, double& milliseconds) {
  std::size_t position = Id3Size(bytes);
  std::uint64_t frames = 0;
  milliseconds = 0;
  while (position + 4 <= bytes.size()) {
    MpegHeader header;
    if (!ReadMpegHeader(bytes.data() + position, header)) {
      ++position;
      continue;
    }
    if (frames == 0) first = header;
    ++frames;
    milliseconds += header.samples * 1000.0 / header.sampleRate;
    position += header.bytes;
  }
  return frames;
}

}  // namespace

std::size_t Id3Size(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 10 || bytes[0] != 'I' || bytes[1] != 'D' || bytes[2] != '3') return 0;
  std::size_t size = 10 + SyncSafe(bytes.data() + 6);
  if (bytes[5] & 0x10) size += 10;  // footer
  return std::min(size, bytes.size());
}

std::vector<Id3Frame> ReadId3(std::span<const std::uint8_t> bytes) {
  std::vector<Id3Frame> frames;
  const std::size_t tagSize = Id3Size(bytes);
  if (tagSize == 0) return frames;
  const int major = bytes[3];
  if (major != 3 && major != 4) return frames;
  const std::uint8_t flags = bytes[5];
  std::vector<std::uint8_t> body(bytes.begin() + 10, bytes.begin() + static_cast<std::ptrdiff_t>(tagSize));
  // A version 2.3 tag may be unsynchronised as a whole: every 0xFF 0x00 stands for 0xFF.
  if (major == 3 && (flags & 0x80)) {
    std::vector<std::uint8_t> plain;
    plain.reserve(body.size());
    for (std::size_t i = 0; i < body.size(); ++i) {
      plain.push_back(body[i]);
      if (body[i] == 0xFF && i + 1 < body.size() && body[i + 1] == 0) ++i;
    }
    body.swap(plain);
  }
  std::size_t position = 0;
  if (flags & 0x40) {  // extended header
    if (body.size() < 4) return frames;
    const std::uint32_t extended = major == 3 ? BigEndian32(body.data()) + 4 : SyncSafe(body.data());
    position = extended;
  }
  while (position + 10 <= body.size()) {
    const std::uint8_t* header = body.data() + position;
    if (!IsFrameIdChar(header[0]) || !IsFrameIdChar(header[1]) || !IsFrameIdChar(header[2]) ||
        !IsFrameIdChar(header[3]))
      break;  // padding or damage: the frames end here
    const std::string id(reinterpret_cast<const char*>(header), 4);
    const std::uint32_t size = major == 4 ? SyncSafe(header + 4) : BigEndian32(header + 4);
    const std::uint16_t frameFlags = static_cast<std::uint16_t>(header[8] << 8 | header[9]);
    position += 10;
    if (size > body.size() - position) break;
    std::span<const std::uint8_t> content(body.data() + position, size);
    position += size;
    // Compressed or encrypted frames are not read.
    const bool packed = major == 3 ? (frameFlags & 0x00C0) != 0 : (frameFlags & 0x000C) != 0;
    if (packed || content.empty()) continue;
    const std::uint8_t encoding = content[0];
    if (encoding > 3) continue;
    std::size_t at = 1;
    if (id == "COMM") {
      if (content.size() < 4) continue;
      at = 4;  // language
      ReadText(content, at, encoding);  // description
      frames.push_back({id, ReadText(content, at, encoding)});
    } else if (id[0] == 'T' && id != "TXXX") {
      frames.push_back({id, ReadText(content, at, encoding)});
    }
  }
  return frames;
}

double Mp3Milliseconds(std::span<const std::uint8_t> bytes) {
  MpegHeader first;
  double milliseconds = 0;
  WalkFrames(bytes, first, milliseconds);
  return milliseconds;
}

bool DecodeMp3File(std::span<const std::uint8_t> bytes, LoadedSound& out, std::string* error) {
  out = LoadedSound();
  out.hasId3 = Id3Size(bytes) > 0;
  out.id3 = ReadId3(bytes);
  MpegHeader first;
  if (WalkFrames(bytes, first, out.milliseconds) == 0) {
    if (error) *error = "no MPEG audio frame in the file";
    return false;
  }
  SoundFormat format;
  format.codec = static_cast<std::uint8_t>(SoundCodec::Mp3);
  format.rate = first.sampleRate;
  format.stereo = true;
  const std::size_t start = Id3Size(bytes);
  PcmBuffer pcm = DecodeWholeSound(format, bytes.subspan(start), nullptr);
  // The sound lasts as long as its frames say: frames the decoder could not read are
  // silence, and what the decoder adds at the end is cut.
  const auto frames = static_cast<std::size_t>(std::llround(out.milliseconds * kMixRate / 1000.0));
  pcm.samples.resize(std::min(frames, SoundDecoder::kMaxFrames) * 2, 0.0f);
  if (pcm.Frames() > 0) out.pcm = std::make_shared<const PcmBuffer>(std::move(pcm));
  return true;
}

}  // namespace vantrel::flash::audio
