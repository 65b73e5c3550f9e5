#include "media/swf_header.h"

#include <algorithm>
#include <array>
#include <vector>

#include <pugixml.hpp>

#include "core/language.h"
#include "core/text.h"
#include "media/bit_stream.h"
#include "media/rounding.h"

namespace vantrel::media {

namespace {

// The short walk visits at most this many tags.
constexpr int kShortWalkTags = 5;
// A Metadata body is read whole; past this size it is not metadata anyone wrote by hand.
constexpr std::uint64_t kMetadataLimit = 16u << 20;

constexpr const char* kTitlePath = "rdf:RDF/rdf:Description/dc:title";
constexpr const char* kDescriptionPath = "rdf:RDF/rdf:Description/dc:description";

std::int32_t TwipsToPixels(std::int16_t twips) {
  return static_cast<std::int32_t>(RoundHalfEven(twips / 20.0));
}

TagHeader TagHeaderFromBytes(const std::uint8_t* bytes, std::int64_t position) {
  // The 16-bit value is little-endian: code in its upper 10 bits, length in the lower 6.
  const std::uint16_t value = static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
  TagHeader tag;
  tag.Code = static_cast<std::uint16_t>(value >> 6);
  tag.Length = value & 0x3Fu;
  tag.BodyPosition = position + 2;
  return tag;
}

bool IsValidUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t extra = 0;
    std::uint32_t code = 0;
    if (c >= 0xC2 && c <= 0xDF) extra = 1, code = c & 0x1Fu;
    else if (c >= 0xE0 && c <= 0xEF) extra = 2, code = c & 0x0Fu;
    else if (c >= 0xF0 && c <= 0xF4) extra = 3, code = c & 0x07u;
    else return false;
    if (i + extra >= text.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0u) != 0x80u) return false;
      code = (code << 6) | (next & 0x3Fu);
    }
    if ((extra == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
        (extra == 3 && (code < 0x10000 || code > 0x10FFFF)))
      return false;
    i += extra + 1;
  }
  return true;
}

// Windows-1252 code points for the bytes 0x80 to 0x9F; the unassigned ones map to the
// C1 control of the same number, as the Windows conversion does.
constexpr std::array<std::uint16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

FrameRect ReadFrameRect(MediaFile& file, MediaRecord& record) {
  const std::uint64_t start = file.Position();
  const unsigned nbits = file.ReadByte() >> 3;
  const std::size_t length = (5 + 4 * nbits + 7) / 8;
  std::array<std::uint8_t, 17> bytes{};  // at most ceil((5 + 4 * 31) / 8) = 17
  file.ReadAt(start, bytes.data(), length);
  file.Seek(start + length);
  const BitStream bits(std::span<const std::uint8_t>(bytes.data(), length));
  std::int16_t fields[4];
  for (unsigned i = 0; i < 4; ++i)
    fields[i] = static_cast<std::int16_t>(bits.ReadBits(5 + i * nbits, 4 + (i + 1) * nbits) & 0xFFFFu);
  const FrameRect rect{fields[0], fields[1], fields[2], fields[3]};
  record.Width = TwipsToPixels(rect.Xmax);
  record.Height = TwipsToPixels(rect.Ymax);
  return rect;
}

void ReadMovieHeader(MediaFile& file, MediaRecord& record) {
  file.Seek(8);
  ReadFrameRect(file, record);
  std::uint8_t rate[2];
  file.Read(rate, 2);
  record.FrameRate = rate[1];  // the integer part of the 8.8 rate; the fraction is dropped
  record.FrameCount = static_cast<std::int32_t>(file.ReadLittleEndian(2));
  record.HeaderEnd = static_cast<std::int32_t>(file.Position() + 1);
  ReadMovieTags(file, record);
}

TagHeader ReadTagHeader(MediaFile& file, std::int64_t position) {
  std::uint8_t bytes[2];
  const std::uint64_t offset = position > 0 ? static_cast<std::uint64_t>(position - 1) : 0;
  file.ReadAt(offset, bytes, 2);
  TagHeader tag = TagHeaderFromBytes(bytes, position);
  if (tag.Length == 63) {
    std::uint8_t longLength[4];
    file.ReadAt(offset + 2, longLength, 4);
    tag.Length = static_cast<std::uint32_t>(longLength[0] | (longLength[1] << 8) | (longLength[2] << 16)) |
                 (static_cast<std::uint32_t>(longLength[3]) << 24);
    tag.BodyPosition += 4;
    tag.LongHeader = true;
  }
  file.Seek(static_cast<std::uint64_t>(tag.BodyPosition - 1));
  return tag;
}

TagHeader ReadTagHeader(std::span<const std::uint8_t> movie, std::int64_t position) {
  MediaFile file;
  file.OpenMemory(movie);
  return ReadTagHeader(file, position);
}

void ReadMovieTags(MediaFile& file, MediaRecord& record) {
  record.BackColor = "000000";
  std::int64_t position = record.HeaderEnd;
  int visited = 0;
  while (!file.AtEnd() && visited < kShortWalkTags) {
    const TagHeader tag = ReadTagHeader(file, position);
    ++visited;
    if (tag.Length > kShortWalkLongTag) visited = kShortWalkTags;
    if (tag.Code == kTagEnd) break;
    const std::uint64_t body = static_cast<std::uint64_t>(tag.BodyPosition - 1);
    if (tag.Code == kTagSetBackgroundColor) {
      std::uint8_t rgb[3];
      file.ReadAt(body, rgb, 3);
      record.BackColor = FormatRGB(rgb);
    } else if (tag.Code == kTagMetadata && tag.Length > 0) {
      // Only the bytes that exist are read: the rest would read as zeros, and the text
      // ends at the first zero anyway.
      const std::uint64_t available = body < file.Size() ? file.Size() - body : 0;
      const std::uint64_t wanted = std::min<std::uint64_t>(tag.Length, available);
      if (wanted <= kMetadataLimit) {
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(wanted));
        file.ReadAt(body, bytes.data(), bytes.size());
        ReadMetadataText(bytes, record.Title, record.Description);
      }
      file.MarkEnd(tag.Length > available);
    }
    position = tag.NextPosition();
  }
}

std::string FormatRGB(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text(6, '0');
  for (std::size_t i = 0; i < 3 && i < bytes.size(); ++i) {
    text[i * 2] = kDigits[bytes[i] >> 4];
    text[i * 2 + 1] = kDigits[bytes[i] & 15];
  }
  return text;
}

std::string TextFromAnsi(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char ch : bytes) {
    const auto byte = static_cast<unsigned char>(ch);
    if (byte >= 0x80 && byte <= 0x9F) core::AppendUtf8(text, kCp1252High[byte - 0x80]);
    else core::AppendUtf8(text, byte);
  }
  return text;
}

void ReadMetadataText(std::span<const std::uint8_t> body, std::string& title, std::string& description) {
  std::string_view raw(reinterpret_cast<const char*>(body.data()), body.size());
  raw = raw.substr(0, raw.find('\0'));
  const std::string text = TextFromAnsi(raw);
  pugi::xml_document document;
  const bool parsed = document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) {
    title.clear();
    description.clear();
    return;
  }
  title = core::GetNodeValue(document, kTitlePath, "");
  description = core::GetNodeValue(document, kDescriptionPath, "");
}

}  // namespace vantrel::media
