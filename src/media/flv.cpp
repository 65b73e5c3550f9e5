#include "media/flv.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <ctime>
#include <string_view>
#include <vector>

#include "core/language.h"
#include "core/text.h"
#include "media/bit_stream.h"
#include "media/rounding.h"

namespace vantrel::media {

namespace {

constexpr std::uint8_t kTagVideo = 9;
constexpr std::uint8_t kTagScript = 18;

constexpr std::uint8_t kAmfNumber = 0;
constexpr std::uint8_t kAmfBoolean = 1;
constexpr std::uint8_t kAmfEcmaArray = 8;

constexpr std::uint8_t kCodecH263 = 2;
constexpr std::uint8_t kCodecScreen = 3;
constexpr std::uint8_t kCodecScreen2 = 6;

// Nesting allowed when passing over object and array values in the metadata.
constexpr int kMaxAmfDepth = 32;

struct H263Size {
  std::int32_t width, height;
};
constexpr H263Size kH263Sizes[8] = {{0, 0}, {0, 0}, {352, 288}, {176, 144}, {128, 96}, {320, 240}, {160, 120}, {640, 480}};

std::string LocalTimeOfDay() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

// The metadata reader: any failure ends the reading of the video at once.
class VideoReader {
 public:
  VideoReader(MediaFile& file, MediaRecord& record) : file_(file), record_(record) {}

  // Reads the whole video; false after a failure (failure() says why).
  bool Run();
  const std::string& failure() const { return failure_; }
  std::uint32_t LastTimestamp() const { return lastTimestamp_; }

 private:
  bool Fail(std::string why) {
    failure_ = std::move(why);
    return false;
  }
  bool ReadName(std::string& name);
  bool ReadFirstVideoTag(std::uint64_t dataPosition, std::uint32_t dataSize);
  bool ReadMetadataArray();
  bool SetNumber(const std::string& key, double value);
  bool SkipValue(std::uint8_t type, int depth);
  bool SkipProperties(int depth);
  bool SkipBytes(std::uint64_t count);

  MediaFile& file_;
  MediaRecord& record_;
  std::uint32_t lastTimestamp_ = 0;
  double duration_ = 0;
  std::string failure_;
};

bool VideoReader::Run() {
  file_.Seek(3);
  record_.Version = file_.ReadByte();
  file_.ReadByte();          // type flags
  file_.ReadBigEndian(4);    // data offset: the header is taken to be 9 bytes
  file_.ReadBigEndian(4);    // previous tag size 0
  record_.FrameRate = 0;
  record_.FrameCount = 0;
  bool firstVideo = true;
  bool metadata = false;
  file_.Seek(13);
  // Every pass reads at least 15 bytes, so the walk ends at the end of the file.
  while (!file_.AtEnd()) {
    std::uint8_t header[11];
    file_.Read(header, sizeof header);
    const std::uint8_t type = header[0];
    if (type == 0) break;
    const std::uint32_t dataSize = (header[1] << 16) | (header[2] << 8) | header[3];
    lastTimestamp_ = static_cast<std::uint32_t>((header[4] << 16) | (header[5] << 8) | header[6]);
    const std::uint64_t dataPosition = file_.Position();
    if (type == kTagScript) {
      std::string name;
      if (!ReadName(name)) return false;
      if (core::EqualsNoCase(name, "onMetaData") && file_.ReadByte() == kAmfEcmaArray) {
        metadata = true;
        break;
      }
    } else if (type == kTagVideo) {
      ++record_.FrameCount;
      if (firstVideo) {
        firstVideo = false;
        if (!ReadFirstVideoTag(dataPosition, dataSize)) return false;
      }
    }
    file_.Seek(dataPosition + dataSize);
    file_.ReadBigEndian(4);  // previous tag size
  }
  if (metadata) {
    if (!ReadMetadataArray()) return false;
    if (record_.FrameRate == 0) record_.FrameRate = 24;
    if (duration_ != 0) {
      const auto frames = RoundTo<std::int32_t>(static_cast<double>(record_.FrameRate) * duration_);
      if (!frames) return Fail("Overflow");
      record_.FrameCount = *frames;
    }
  }
  if (record_.Width == 0) record_.Width = 320;
  if (record_.Height == 0) record_.Height = 240;
  if (lastTimestamp_ != 0) {
    const std::int64_t scaled = static_cast<std::int64_t>(record_.FrameCount) * 1000 - 1000;
    if (scaled < INT32_MIN || scaled > INT32_MAX) return Fail("Overflow");
    record_.FrameRate = static_cast<float>(static_cast<double>(scaled) / lastTimestamp_);
  }
  return true;
}

bool VideoReader::ReadName(std::string& name) {
  file_.ReadByte();  // the name's type byte, not checked
  const std::uint32_t length = file_.ReadBigEndian(2);
  if (length == 0) return Fail("Subscript out of range");
  name.resize(length);
  file_.Read(reinterpret_cast<std::uint8_t*>(name.data()), length);
  return true;
}

bool VideoReader::ReadFirstVideoTag(std::uint64_t dataPosition, std::uint32_t dataSize) {
  const std::uint8_t first = file_.ReadByte();
  record_.VideoCodec = first & 0x0F;
  if (dataSize < 2) return Fail("Subscript out of range");
  std::size_t needed = 0;
  if (record_.VideoCodec == kCodecH263) needed = 9;
  else if (record_.VideoCodec == kCodecScreen || record_.VideoCodec == kCodecScreen2) needed = 4;
  if (needed > dataSize - 1) return Fail("Subscript out of range");
  std::uint8_t bytes[9] = {};
  file_.ReadAt(dataPosition + 1, bytes, needed);
  const BitStream bits(std::span<const std::uint8_t>(bytes, needed));
  if (record_.VideoCodec == kCodecH263) {
    const unsigned code = bits.ReadBits(30, 32);
    if (code == 0) {
      record_.Width = static_cast<std::int32_t>(bits.ReadBits(33, 40));
      record_.Height = static_cast<std::int32_t>(bits.ReadBits(41, 48));
    } else if (code == 1) {
      record_.Width = static_cast<std::int32_t>(bits.ReadBits(33, 48));
      record_.Height = static_cast<std::int32_t>(bits.ReadBits(49, 64));
    } else {
      record_.Width = kH263Sizes[code].width;
      record_.Height = kH263Sizes[code].height;
    }
  } else if (needed == 4) {
    record_.Width = static_cast<std::int32_t>(bits.ReadBits(4, 15));
    record_.Height = static_cast<std::int32_t>(bits.ReadBits(20, 31));
  }
  return true;
}

bool VideoReader::ReadMetadataArray() {
  const std::uint32_t count = file_.ReadBigEndian(4);
  // Each entry takes at least four bytes, and a key read past the end is empty, which
  // fails: the loop cannot outlast the file.
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t keyLength = file_.ReadBigEndian(2);
    if (keyLength == 0) return Fail("Subscript out of range");
    std::string key(keyLength, '\0');
    file_.Read(reinterpret_cast<std::uint8_t*>(key.data()), keyLength);
    const std::uint8_t type = file_.ReadByte();
    if (type == kAmfNumber) {
      std::uint8_t bytes[8];
      file_.Read(bytes, 8);
      const std::optional<double> value = DecodeAmfNumber(bytes);
      if (!value) return Fail("Overflow");
      if (!SetNumber(key, *value)) return false;
    } else if (type == kAmfBoolean) {
      file_.ReadByte();
    } else if (!SkipValue(type, 0)) {
      return false;
    }
  }
  return true;
}

bool VideoReader::SetNumber(const std::string& key, double value) {
  const auto set = [&](auto& field, auto converted) {
    if (!converted) return Fail("Overflow");
    field = *converted;
    return true;
  };
  if (key == "width") return set(record_.Width, RoundTo<std::int32_t>(value));
  if (key == "height") return set(record_.Height, RoundTo<std::int32_t>(value));
  if (key == "videocodecid") return set(record_.VideoCodec, RoundTo<std::uint8_t>(value));
  if (key == "videodatarate") return set(record_.VideoRate, RoundTo<std::int16_t>(value));
  if (key == "audiodatarate") return set(record_.AudioRate, RoundTo<std::int16_t>(value));
  if (key == "duration") duration_ = value;
  if (key == "framerate") {
    if (std::fabs(value) > FLT_MAX) return Fail("Overflow");
    record_.FrameRate = static_cast<float>(value);
  }
  return true;
}

bool VideoReader::SkipBytes(std::uint64_t count) {
  const std::uint64_t target = file_.Position() + count;
  if (target > file_.Size()) return Fail("Input past end of file");
  file_.Seek(target);
  return true;
}

// Passes over object properties up to the end marker (an empty key and type 9).
bool VideoReader::SkipProperties(int depth) {
  for (;;) {
    const std::uint32_t keyLength = file_.ReadBigEndian(2);
    if (file_.AtEnd()) return Fail("Input past end of file");
    if (keyLength == 0) {
      if (file_.ReadByte() == 9 && !file_.AtEnd()) return true;
      return Fail("Bad metadata value");
    }
    if (!SkipBytes(keyLength)) return false;
    const std::uint8_t type = file_.ReadByte();
    if (file_.AtEnd()) return Fail("Input past end of file");
    if (!SkipValue(type, depth + 1)) return false;
  }
}

// Passes over one value of the types other tools write (strings, objects, arrays,
// dates, ...). Types that cannot be passed over fail.
bool VideoReader::SkipValue(std::uint8_t type, int depth) {
  if (depth > kMaxAmfDepth) return Fail("Bad metadata value");
  switch (type) {
    case 0: return SkipBytes(8);                                 // number
    case 1: return SkipBytes(1);                                 // boolean
    case 2: return SkipBytes(file_.ReadBigEndian(2)) && !file_.AtEnd();  // string
    case 3: return SkipProperties(depth);                        // object
    case 5:                                                      // null
    case 6:                                                      // undefined
    case 13: return true;                                        // unsupported
    case 7: return SkipBytes(2);                                 // reference
    case 8:                                                      // ECMA array
      if (!SkipBytes(4)) return false;
      return SkipProperties(depth);
    case 10: {                                                   // strict array
      const std::uint32_t count = file_.ReadBigEndian(4);
      if (file_.AtEnd()) return Fail("Input past end of file");
      for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t itemType = file_.ReadByte();
        if (file_.AtEnd()) return Fail("Input past end of file");
        if (!SkipValue(itemType, depth + 1)) return false;
      }
      return true;
    }
    case 11: return SkipBytes(10);                               // date and time zone
    case 12:                                                     // long string
    case 15: {                                                   // XML document
      const std::uint32_t length = file_.ReadBigEndian(4);
      return !file_.AtEnd() && SkipBytes(length);
    }
    case 16: {                                                   // typed object
      const std::uint32_t length = file_.ReadBigEndian(2);
      if (file_.AtEnd() || !SkipBytes(length)) return Fail("Input past end of file");
      return SkipProperties(depth);
    }
    default:
      return Fail("Bad metadata value");
  }
}

}  // namespace

std::optional<double> DecodeAmfNumber(std::span<const std::uint8_t> bytes) {
  const BitStream bits(bytes);
  const bool negative = bits.Bit(0) != 0;
  const int exponent = static_cast<int>(bits.ReadBits(1, 11));
  if (exponent == 2047) return std::nullopt;
  const double fraction = bits.ReadBitFraction(27, 12);
  const double value = exponent != 0 ? (1 + fraction) * PowerOfTwo(exponent - 1023) : fraction * PowerOfTwo(-1022);
  return negative ? -value : value;
}

std::string VideoXmlText(const std::string& sourcePath, std::int32_t width, std::int32_t height,
                         std::uint32_t lastTimestamp) {
  std::string text = "<?xml version=\"1.0\"?><VIDEO>\r\n";
  text += "<SOURCE>" + sourcePath + "</SOURCE>\r\n";
  text += "<WIDTH>" + std::to_string(width) + "</WIDTH>\r\n";
  text += "<HEIGHT>" + std::to_string(height) + "</HEIGHT>\r\n";
  text += "<TIME>" + std::to_string(lastTimestamp) + "</TIME>\r\n";
  text += "</VIDEO>";
  return text;
}

bool VideoEndsEarly(const std::string& path, double& availableSeconds, double& claimedSeconds) {
  availableSeconds = claimedSeconds = 0;
  MediaFile file;
  if (!file.Open(path) || file.Size() < 9) return false;
  std::uint8_t header[11];
  if (file.ReadAt(5, header, 4) < 4) return false;
  std::uint64_t position = (static_cast<std::uint64_t>(header[0]) << 24) | (header[1] << 16) | (header[2] << 8) | header[3];
  if (position < 9 || position > file.Size()) position = 9;
  position += 4;  // the first previous-tag size
  std::uint32_t lastTime = 0;
  bool cut = false;
  static constexpr std::uint8_t kDurationKey[] = {0x00, 0x08, 'd', 'u', 'r', 'a', 't', 'i', 'o', 'n', kAmfNumber};
  while (position < file.Size()) {
    if (file.ReadAt(position, header, sizeof header) < sizeof header) {
      cut = true;
      break;
    }
    const std::uint32_t dataSize = (header[1] << 16) | (header[2] << 8) | header[3];
    if ((header[0] & 0x1F) == 0 && dataSize == 0) break;  // a closing empty tag
    if (position + sizeof header + dataSize > file.Size()) {
      cut = true;
      break;
    }
    if ((header[0] & 0x1F) == kTagScript && claimedSeconds == 0) {
      // The duration in the first metadata that names one.
      std::vector<std::uint8_t> data(std::min<std::uint32_t>(dataSize, 64 * 1024));
      file.ReadAt(position + sizeof header, data.data(), data.size());
      const auto key = std::search(data.begin(), data.end(), std::begin(kDurationKey), std::end(kDurationKey));
      if (key != data.end() && data.end() - key >= static_cast<std::ptrdiff_t>(sizeof kDurationKey + 8)) {
        const std::optional<double> value = DecodeAmfNumber(std::span(&*key + sizeof kDurationKey, 8));
        if (value && *value > 0 && *value < 1e7) claimedSeconds = *value;
      }
    } else {
      lastTime = static_cast<std::uint32_t>((header[4] << 16) | (header[5] << 8) | header[6]) |
                 (static_cast<std::uint32_t>(header[7]) << 24);
    }
    position += sizeof header + dataSize + 4;
  }
  availableSeconds = lastTime / 1000.0;
  if (cut) return true;
  return claimedSeconds > 0 && availableSeconds + std::max(0.5, claimedSeconds / 20) < claimedSeconds;
}

void ReadVideoInfo(MediaContext& context, MediaFile& file, MediaRecord& record) {
  VideoReader reader(file, record);
  if (!reader.Run()) {
    context.WriteLog(reader.failure());
    return;
  }
  const std::string xmlPath = context.UserPath + "video.xml";
  core::SaveXML(xmlPath, VideoXmlText(record.MoviePath, record.Width, record.Height, reader.LastTimestamp()),
                context.Log);
  const std::string time = context.TimeOfDay ? context.TimeOfDay() : LocalTimeOfDay();
  record.MoviePath = context.FlashPath + "video.swf" + "?myXML=" + core::EscapeText(xmlPath) + "&time=" + time;
}

}  // namespace vantrel::media
