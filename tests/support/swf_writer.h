// Byte writers for test fixtures: SWF movies (plain, zlib- or LZMA-compressed) and FLV
// videos with AMF0 metadata and H.263 / screen-video picture headers. Every helper
// returns the file's bytes as a std::string, ready for TempHome::WriteFile.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel::testing {

// Little- and big-endian integers as bytes.
std::string Le16(std::uint32_t value);
std::string Le32(std::uint32_t value);
std::string Be16(std::uint32_t value);
std::string Be24(std::uint32_t value);
std::string Be32(std::uint32_t value);

// Writes bit fields most significant bit first (SWF and H.263 bit order).
class BitWriter {
 public:
  void Bits(std::uint32_t value, unsigned count);
  void SignedBits(std::int32_t value, unsigned count) { Bits(static_cast<std::uint32_t>(value), count); }
  // Pads the last byte with zero bits and returns the bytes.
  std::string Finish();

 private:
  std::string bytes_;
  unsigned used_ = 0;  // bits used in the last byte (0 = none open)
};

// A SWF RECT with nbits-wide fields (0 = the smallest width that holds every field).
std::string SwfRect(std::int32_t xMin, std::int32_t xMax, std::int32_t yMin, std::int32_t yMax, unsigned nbits = 0);

// A tag: header (short when the body is under 63 bytes, unless longHeader) and body.
std::string SwfTag(std::uint16_t code, std::string_view body, bool longHeader = false);

// zlib and LZMA streams of data.
std::string ZlibCompress(std::string_view data, int level = 6);
// Raw LZMA1 data as a "ZWS" movie carries it: the 5 property bytes then the stream
// (without the .lzma header's size field).
std::string LzmaCompressForSwf(std::string_view data);

class SwfWriter {
 public:
  // A movie of version, frame size in pixels (Xmin = Ymin = 0), 8.8 frame rate and frame
  // count, with no tags yet.
  explicit SwfWriter(std::uint8_t version = 8, std::int32_t widthPx = 550, std::int32_t heightPx = 400,
                     double frameRate = 12, std::uint16_t frameCount = 1);

  SwfWriter& Version(std::uint8_t version);
  SwfWriter& Rect(std::string rectBytes);              // replaces the frame RECT bytes
  SwfWriter& RateBytes(std::uint8_t fraction, std::uint8_t integer);
  SwfWriter& FrameCount(std::uint16_t count);
  // Overrides the header's length field (default: the real plain length).
  SwfWriter& LengthField(std::uint32_t length);

  SwfWriter& Tag(std::uint16_t code, std::string_view body, bool longHeader = false);
  SwfWriter& Raw(std::string_view bytes);              // appended as is after the tags so far
  SwfWriter& FileAttributes(std::uint32_t flags = 0x10);
  SwfWriter& BackgroundColor(std::uint8_t r, std::uint8_t g, std::uint8_t b);
  SwfWriter& Metadata(std::string_view xml);           // NUL-terminated body
  SwfWriter& ShowFrame();
  SwfWriter& End();

  // Everything after the 8-byte file header (RECT, rate, count, tags).
  std::string Body() const;
  std::uint32_t PlainLength() const { return static_cast<std::uint32_t>(8 + Body().size()); }
  std::string Plain() const;        // "FWS"
  std::string Compressed() const;   // "CWS": zlib stream of the body
  std::string CompressedLzma() const;  // "ZWS"

 private:
  std::string Header(const char* signature) const;

  std::uint8_t version_;
  std::string rect_;
  std::uint8_t rateFraction_ = 0, rateInteger_ = 12;
  std::uint16_t frameCount_;
  std::string tags_;
  bool lengthOverridden_ = false;
  std::uint32_t lengthField_ = 0;
};

// One AMF0 onMetaData entry's value.
struct AmfValue {
  std::uint8_t type = 0;  // 0 number, 1 boolean, 2 string, or any raw type with raw bytes
  std::string bytes;      // the encoded value without its type byte
  static AmfValue Number(double value);
  static AmfValue Boolean(bool value);
  static AmfValue String(std::string_view text);
  static AmfValue Raw(std::uint8_t type, std::string bytes) { return AmfValue{type, std::move(bytes)}; }
};
using AmfEntries = std::vector<std::pair<std::string, AmfValue>>;

// The onMetaData script data: name "onMetaData" then an ECMA array of entries, with the
// end marker (an empty key and type 9) unless endMarker is false.
std::string FlvMetaData(const AmfEntries& entries, bool endMarker = true);

// The data of a Sorenson H.263 video tag: the codec byte (frame type 1, codec 2) and a
// picture header with the given size code; codes 0 and 1 carry width and height.
std::string H263VideoData(unsigned sizeCode, unsigned width = 0, unsigned height = 0);
// The data of a screen video tag (codec 3 or 6): the codec byte, block sizes 64 and the
// 12-bit width and height.
std::string ScreenVideoData(unsigned width, unsigned height, std::uint8_t codec = 3);

class FlvWriter {
 public:
  explicit FlvWriter(std::uint8_t version = 1, std::uint8_t flags = 5);
  FlvWriter& Tag(std::uint8_t type, std::uint32_t timestampMs, std::string_view data);
  FlvWriter& Script(std::uint32_t timestampMs, std::string_view data) { return Tag(18, timestampMs, data); }
  FlvWriter& Video(std::uint32_t timestampMs, std::string_view data) { return Tag(9, timestampMs, data); }
  FlvWriter& Audio(std::uint32_t timestampMs, std::string_view data) { return Tag(8, timestampMs, data); }
  std::string Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

}  // namespace vantrel::testing
