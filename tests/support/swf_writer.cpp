#include "support/swf_writer.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include <lzma.h>
#include <zlib.h>

namespace vantrel::testing {

std::string Le16(std::uint32_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string Le32(std::uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }
std::string Be16(std::uint32_t v) { return {static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)}; }
std::string Be24(std::uint32_t v) { return static_cast<char>((v >> 16) & 0xFF) + Be16(v & 0xFFFF); }
std::string Be32(std::uint32_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }

void BitWriter::Bits(std::uint32_t value, unsigned count) {
  for (unsigned i = count; i-- > 0;) {
    if (used_ == 0) bytes_ += '\0';
    if ((value >> i) & 1u) bytes_.back() = static_cast<char>(bytes_.back() | (0x80 >> used_));
    used_ = (used_ + 1) % 8;
  }
}

std::string BitWriter::Finish() {
  used_ = 0;
  return std::move(bytes_);
}

std::string SwfRect(std::int32_t xMin, std::int32_t xMax, std::int32_t yMin, std::int32_t yMax, unsigned nbits) {
  if (nbits == 0) {
    for (const std::int32_t v : {xMin, xMax, yMin, yMax}) {
      unsigned need = 1;
      while (need < 31 && (v < -(1 << (need - 1)) || v >= (1 << (need - 1)))) ++need;
      if (need > nbits) nbits = need;
    }
  }
  BitWriter bits;
  bits.Bits(nbits, 5);
  for (const std::int32_t v : {xMin, xMax, yMin, yMax}) bits.SignedBits(v, nbits);
  return bits.Finish();
}

std::string SwfTag(std::uint16_t code, std::string_view body, bool longHeader) {
  if (!longHeader && body.size() < 63) return Le16((code << 6) | static_cast<std::uint32_t>(body.size())) + std::string(body);
  return Le16((code << 6) | 63u) + Le32(static_cast<std::uint32_t>(body.size())) + std::string(body);
}

std::string ZlibCompress(std::string_view data, int level) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                static_cast<uLong>(data.size()), level) != Z_OK)
    throw std::runtime_error("compress2 failed");
  out.resize(size);
  return out;
}

std::string LzmaCompressForSwf(std::string_view data) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 6);
  lzma_stream stream = LZMA_STREAM_INIT;
  if (lzma_alone_encoder(&stream, &options) != LZMA_OK) throw std::runtime_error("lzma_alone_encoder failed");
  std::string out(data.size() + data.size() / 2 + 1024, '\0');
  stream.next_in = reinterpret_cast<const std::uint8_t*>(data.data());
  stream.avail_in = data.size();
  stream.next_out = reinterpret_cast<std::uint8_t*>(out.data());
  stream.avail_out = out.size();
  const lzma_ret result = lzma_code(&stream, LZMA_FINISH);
  out.resize(out.size() - stream.avail_out);
  lzma_end(&stream);
  if (result != LZMA_STREAM_END) throw std::runtime_error("lzma_code failed");
  // The .lzma header: 5 property bytes, then 8 bytes of size, which a movie leaves out.
  return out.substr(0, 5) + out.substr(13);
}

SwfWriter::SwfWriter(std::uint8_t version, std::int32_t widthPx, std::int32_t heightPx, double frameRate,
                     std::uint16_t frameCount)
    : version_(version), rect_(SwfRect(0, widthPx * 20, 0, heightPx * 20)), frameCount_(frameCount) {
  const auto fixed = static_cast<std::uint32_t>(std::lround(frameRate * 256));
  rateFraction_ = static_cast<std::uint8_t>(fixed & 0xFF);
  rateInteger_ = static_cast<std::uint8_t>((fixed >> 8) & 0xFF);
}

SwfWriter& SwfWriter::Version(std::uint8_t version) { version_ = version; return *this; }
SwfWriter& SwfWriter::Rect(std::string rectBytes) { rect_ = std::move(rectBytes); return *this; }
SwfWriter& SwfWriter::RateBytes(std::uint8_t fraction, std::uint8_t integer) {
  rateFraction_ = fraction;
  rateInteger_ = integer;
  return *this;
}
SwfWriter& SwfWriter::FrameCount(std::uint16_t count) { frameCount_ = count; return *this; }
SwfWriter& SwfWriter::LengthField(std::uint32_t length) {
  lengthOverridden_ = true;
  lengthField_ = length;
  return *this;
}
SwfWriter& SwfWriter::Tag(std::uint16_t code, std::string_view body, bool longHeader) {
  tags_ += SwfTag(code, body, longHeader);
  return *this;
}
SwfWriter& SwfWriter::Raw(std::string_view bytes) { tags_ += bytes; return *this; }
SwfWriter& SwfWriter::FileAttributes(std::uint32_t flags) { return Tag(69, Le32(flags)); }
SwfWriter& SwfWriter::BackgroundColor(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return Tag(9, std::string{static_cast<char>(r), static_cast<char>(g), static_cast<char>(b)});
}
SwfWriter& SwfWriter::Metadata(std::string_view xml) { return Tag(77, std::string(xml) + '\0'); }
SwfWriter& SwfWriter::ShowFrame() { return Tag(1, {}); }
SwfWriter& SwfWriter::End() { return Tag(0, {}); }

std::string SwfWriter::Body() const {
  return rect_ + static_cast<char>(rateFraction_) + static_cast<char>(rateInteger_) + Le16(frameCount_) + tags_;
}

std::string SwfWriter::Header(const char* signature) const {
  const std::uint32_t length = lengthOverridden_ ? lengthField_ : PlainLength();
  return std::string(signature, 3) + static_cast<char>(version_) + Le32(length);
}

std::string SwfWriter::Plain() const { return Header("FWS") + Body(); }
std::string SwfWriter::Compressed() const { return Header("CWS") + ZlibCompress(Body()); }
std::string SwfWriter::CompressedLzma() const {
  const std::string packed = LzmaCompressForSwf(Body());
  // After the usual header: the length of the LZMA data (without its 5 property bytes).
  return Header("ZWS") + Le32(static_cast<std::uint32_t>(packed.size() - 5)) + packed;
}

AmfValue AmfValue::Number(double value) {
  return AmfValue{0, Be32(static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(value) >> 32)) +
                         Be32(static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(value)))};
}
AmfValue AmfValue::Boolean(bool value) { return AmfValue{1, std::string(1, value ? '\1' : '\0')}; }
AmfValue AmfValue::String(std::string_view text) {
  return AmfValue{2, Be16(static_cast<std::uint32_t>(text.size())) + std::string(text)};
}

std::string FlvMetaData(const AmfEntries& entries, bool endMarker) {
  std::string data = std::string(1, '\2') + Be16(10) + "onMetaData";
  data += '\x08';
  data += Be32(static_cast<std::uint32_t>(entries.size()));
  for (const auto& [key, value] : entries) {
    data += Be16(static_cast<std::uint32_t>(key.size())) + key;
    data += static_cast<char>(value.type);
    data += value.bytes;
  }
  if (endMarker) data += std::string("\0\0\x09", 3);
  return data;
}

std::string H263VideoData(unsigned sizeCode, unsigned width, unsigned height) {
  BitWriter bits;
  bits.Bits(1, 17);  // picture start code
  bits.Bits(0, 5);   // version
  bits.Bits(0, 8);   // temporal reference
  bits.Bits(sizeCode, 3);
  if (sizeCode == 0) {
    bits.Bits(width, 8);
    bits.Bits(height, 8);
  } else if (sizeCode == 1) {
    bits.Bits(width, 16);
    bits.Bits(height, 16);
  }
  bits.Bits(0, 2);   // picture type: intra
  bits.Bits(0, 1);   // deblocking
  bits.Bits(4, 5);   // quantizer
  bits.Bits(0, 1);   // no extra information
  bits.Bits(0, 32);  // some macroblock bits, so the data is never shorter than a header
  return std::string(1, '\x12') + bits.Finish();
}

std::string ScreenVideoData(unsigned width, unsigned height, std::uint8_t codec) {
  BitWriter bits;
  bits.Bits(3, 4);  // block width (64 / 16 - 1)
  bits.Bits(width, 12);
  bits.Bits(3, 4);
  bits.Bits(height, 12);
  return std::string(1, static_cast<char>(0x10 | codec)) + bits.Finish() + std::string(4, '\0');
}

FlvWriter::FlvWriter(std::uint8_t version, std::uint8_t flags) {
  bytes_ = std::string("FLV") + static_cast<char>(version) + static_cast<char>(flags) + Be32(9) + Be32(0);
}

FlvWriter& FlvWriter::Tag(std::uint8_t type, std::uint32_t timestampMs, std::string_view data) {
  bytes_ += static_cast<char>(type);
  bytes_ += Be24(static_cast<std::uint32_t>(data.size()));
  bytes_ += Be24(timestampMs & 0xFFFFFF);
  bytes_ += static_cast<char>((timestampMs >> 24) & 0xFF);
  bytes_ += Be24(0);
  bytes_ += data;
  bytes_ += Be32(static_cast<std::uint32_t>(11 + data.size()));
  return *this;
}

}  // namespace vantrel::testing
