// Byte-level PNG fixtures: chunks with their CRC, IHDR data and zlib-compressed rows, so
// tests can build both good files and files that break one rule at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <zlib.h>

namespace vantrel::testing {

inline std::string PngSignature() { return std::string("\x89PNG\r\n\x1a\n", 8); }

inline std::string BigEndian32(std::uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

// One chunk: length, type, data and the CRC over type and data (spoiled when badCrc).
inline std::string PngChunk(std::string_view type, std::string_view data, bool badCrc = false) {
  std::string body = std::string(type) + std::string(data);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  if (badCrc) crc ^= 0xDEADBEEF;
  return BigEndian32(static_cast<std::uint32_t>(data.size())) + body + BigEndian32(static_cast<std::uint32_t>(crc));
}

inline std::string IhdrData(std::uint32_t width, std::uint32_t height, int depth, int colorType,
                            int interlace = 0) {
  return BigEndian32(width) + BigEndian32(height) + static_cast<char>(depth) + static_cast<char>(colorType) +
         std::string(2, '\0') + static_cast<char>(interlace);
}

inline std::string Deflate(std::string_view raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
           static_cast<uLong>(raw.size()));
  out.resize(size);
  return out;
}

// Rows given as the bytes of each row (no filter byte): each row gets filter 0.
inline std::string UnfilteredRows(const std::vector<std::string>& rows) {
  std::string raw;
  for (const std::string& row : rows) raw += '\0' + row;
  return raw;
}

// A whole file: signature, IHDR, the given chunks before the image data, one IDAT with
// the compressed raw rows (filter bytes included), IEND.
inline std::string SimplePng(const std::string& ihdr, std::string_view rawRows,
                             const std::string& beforeIdat = {}) {
  return PngSignature() + PngChunk("IHDR", ihdr) + beforeIdat + PngChunk("IDAT", Deflate(rawRows)) +
         PngChunk("IEND", "");
}

}  // namespace vantrel::testing
