#include "media/jpeg_repair.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vantrel::media {

namespace {

constexpr std::uint8_t kSOI = 0xD8, kEOI = 0xD9, kSOS = 0xDA, kTEM = 0x01;

bool IsRestart(std::uint8_t marker) { return marker >= 0xD0 && marker <= 0xD7; }

// Frame headers: C0-CF except DHT (C4), JPG (C8) and DAC (CC).
bool IsFrameHeader(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// One step of the marker walk.
struct Segment {
  std::uint8_t marker = 0;
  std::size_t start = 0;  // the 0xFF of the marker
  std::size_t end = 0;    // one past the segment, scan data included for SOS
};

// Reads the segment at i (after any fill bytes). False on a structural error.
bool NextSegment(std::span<const std::uint8_t> b, std::size_t i, Segment& segment) {
  const std::size_t n = b.size();
  if (i >= n || b[i] != 0xFF) return false;
  while (i + 1 < n && b[i + 1] == 0xFF) ++i;  // fill bytes
  if (i + 1 >= n) return false;
  segment.start = i;
  segment.marker = b[i + 1];
  if (segment.marker == 0x00) return false;
  if (segment.marker == kSOI || segment.marker == kEOI || segment.marker == kTEM || IsRestart(segment.marker)) {
    segment.end = i + 2;
    return true;
  }
  if (i + 4 > n) return false;
  const std::size_t length = (static_cast<std::size_t>(b[i + 2]) << 8) | b[i + 3];
  if (length < 2 || i + 2 + length > n) return false;
  std::size_t end = i + 2 + length;
  if (segment.marker == kSOS) {
    // Entropy-coded data runs to the next marker that is neither a stuffed 0x00 nor a
    // restart marker (or to the end of the bytes).
    while (end < n) {
      if (b[end] == 0xFF && end + 1 < n && b[end + 1] != 0x00 && !IsRestart(b[end + 1]) && b[end + 1] != 0xFF) break;
      ++end;
    }
  }
  segment.end = end;
  return true;
}

}  // namespace

bool RepairJpeg(std::span<std::uint8_t> file) {
  constexpr std::size_t kTable = kRepairTableLength, kMoved = kRepairMovedLength;
  if (file.size() < kTable + kMoved + 2) return false;
  if (file[kTable] != 0xFF || file[kTable + 1] != kSOI || file[1] == kSOI) return false;
  std::array<std::uint8_t, kMoved> moved;
  std::array<std::uint8_t, kTable> tables;
  std::memcpy(moved.data(), file.data() + kTable, kMoved);
  std::memcpy(tables.data(), file.data(), kTable);
  std::memcpy(file.data() + kMoved + 1, tables.data(), kTable);
  std::memcpy(file.data(), moved.data(), kMoved);
  file[kMoved] = 0xDB;
  file[kTable + kMoved] = kSOS;
  file[kTable + kMoved + 1] = 0x00;
  return true;
}

bool IsWellFormedJpeg(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != kSOI) return false;
  bool frame = false, scan = false;
  std::size_t i = 2;
  // Every segment is at least two bytes long, so the walk ends.
  while (i < bytes.size()) {
    Segment s;
    if (!NextSegment(bytes, i, s)) return false;
    if (s.marker == kSOI) return false;
    if (s.marker == kEOI) return scan;
    if (IsFrameHeader(s.marker)) frame = true;
    if (s.marker == kSOS && !frame) return false;
    if (s.marker == kSOS) scan = true;
    if (s.marker == kSOS && s.end >= bytes.size()) return true;  // a stream cut before its EOI
    i = s.end;
  }
  return false;
}

std::vector<std::uint8_t> MergeJpegStreams(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> out = {0xFF, kSOI};
  std::size_t i = 0;
  bool scan = false;
  while (i < bytes.size()) {
    Segment s;
    if (!NextSegment(bytes, i, s)) return {};
    if (s.marker != kSOI && s.marker != kEOI) out.insert(out.end(), bytes.begin() + s.start, bytes.begin() + s.end);
    if (s.marker == kSOS) scan = true;
    i = s.end;
  }
  if (!scan) return {};
  out.push_back(0xFF);
  out.push_back(kEOI);
  return out;
}

ImageData SniffImageData(std::span<const std::uint8_t> bytes) {
  static constexpr std::uint8_t kPng[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (bytes.size() >= sizeof kPng && std::equal(std::begin(kPng), std::end(kPng), bytes.begin())) return ImageData::Png;
  if (bytes.size() >= 6 && std::memcmp(bytes.data(), "GIF89a", 6) == 0) return ImageData::Gif;
  return ImageData::Jpeg;
}

}  // namespace vantrel::media
