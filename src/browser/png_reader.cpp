#include "browser/png_reader.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

#include <zlib.h>

#include "browser/png_rows.h"
#include "core/paths.h"

namespace vantrel::browser {

namespace {

constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};

// Files larger than this are not read at all: no picture the program draws comes close.
constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t{512} << 20;

// Deflate cannot expand better than about 1032 to 1; image data that would need more
// than that from the IDAT bytes at hand is short for certain, and we say so before
// allocating anything for it.
constexpr std::uint64_t kMaxInflateRatio = 1032;

std::uint32_t ReadU32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

bool IsLetter(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool ValidDepth(int colorType, int depth) {
  switch (colorType) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2: case 4: case 6: return depth == 8 || depth == 16;
    default: return false;
  }
}

}  // namespace

void cPNG::Reset() {
  width_ = height_ = 0;
  bitDepth_ = colorType_ = interlace_ = 0;
  hasTrns_ = false;
  rejectReason_.clear();
  chunks_.clear();
  keys_.clear();
  image_ = PngImage{};
  idat_.clear();
  palette_.clear();
  trns_.clear();
}

int cPNG::Reject(std::string reason) {
  Reset();
  rejectReason_ = std::move(reason);
  return kPngRejected;
}

int cPNG::ChunkIndex(std::string_view key) const {
  const auto found = keys_.find(key);
  return found == keys_.end() ? -1 : found->second;
}

int cPNG::LoadPNGFile(const std::string& path) {
  Reset();
  if (!core::FileExists(path)) return kPngMissing;
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return Reject("cannot read the file");
  if (size > kMaxFileBytes) return Reject("file too large");
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  std::ifstream in(path, std::ios::binary);
  if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
    return Reject("cannot read the file");
  return LoadPNGData(bytes);
}

int cPNG::LoadPNGData(std::span<const std::uint8_t> bytes) {
  Reset();
  if (Progress) Progress(0.0);
  const int parsed = Parse(bytes);
  if (parsed != kPngLoaded) return parsed;
  if (Progress) Progress(0.25);
  if (interlace_ != 0 && !decodeInterlaced_) {
    idat_.clear();
    if (Progress) Progress(1.0);
    return kPngLoaded;
  }
  const int decoded = Decode();
  idat_.clear();
  if (decoded == kPngLoaded && Progress) Progress(1.0);
  return decoded;
}

int cPNG::Parse(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < 8 || std::memcmp(bytes.data(), kSignature, 8) != 0)
    return Reject("not a PNG file (wrong signature)");

  std::size_t pos = 8;
  int number = 0;
  bool seenIdat = false, lastWasIdat = false, seenPlte = false;
  std::map<std::string, int, std::less<>> occurrences;
  while (true) {
    if (bytes.size() - pos < 12) return Reject("truncated file (no IEND chunk)");
    const std::uint8_t* head = bytes.data() + pos;
    const std::uint32_t length = ReadU32(head);
    if (length > 0x7FFFFFFFu) return Reject("chunk length out of range");
    if (length > bytes.size() - pos - 12) return Reject("truncated chunk");
    ++number;
    const std::string type(reinterpret_cast<const char*>(head + 4), 4);
    for (const char c : type)
      if (!IsLetter(static_cast<std::uint8_t>(c))) return Reject("invalid chunk type");
    if (type[2] & 0x20) return Reject("reserved bit set in chunk type " + type);
    const std::uint8_t* data = head + 8;
    const bool isIdat = type == "IDAT";

    if (type == "IHDR") {
      if (number != 1) return Reject("IHDR is not the first chunk");
      if (length != 13) return Reject("IHDR is not 13 bytes long");
      width_ = ReadU32(data);
      height_ = ReadU32(data + 4);
      bitDepth_ = data[8];
      colorType_ = data[9];
      interlace_ = data[12];
      if (width_ < 1 || height_ < 1) return Reject("empty image size");
      if (width_ > 0x7FFFFFFFu || height_ > 0x7FFFFFFFu) return Reject("image size out of range");
      if (!ValidDepth(colorType_, bitDepth_)) return Reject("bad colour type or bit depth");
      if (data[10] != 0 || data[11] != 0) return Reject("unknown compression or filter method");
      if (interlace_ > 1) return Reject("unknown interlace method");
    } else if (number == 1) {
      return Reject("IHDR is not the first chunk");
    } else if (type == "PLTE") {
      if (seenIdat) return Reject("PLTE after IDAT");
      if (seenPlte) return Reject("second PLTE");
      if (length % 3 != 0) return Reject("PLTE length not a multiple of 3");
      if (colorType_ != 2 && colorType_ != 3 && colorType_ != 6)
        return Reject("PLTE in an image without colour");
      if (length / 3 > (std::uint32_t{1} << std::min(bitDepth_, 16)))
        return Reject("PLTE has too many entries");
      seenPlte = true;
      palette_.assign(data, data + length);
    } else if (type == "tRNS") {
      if (seenIdat) return Reject("tRNS after IDAT");
      if (colorType_ == 4 || colorType_ == 6) return Reject("tRNS in an image with alpha");
      if (colorType_ == 3) {
        if (!seenPlte) return Reject("tRNS before PLTE");
        if (length > palette_.size() / 3) return Reject("tRNS longer than the palette");
      }
      hasTrns_ = true;
      trns_.assign(data, data + length);
    } else if (type == "bKGD") {
      if (seenIdat) return Reject("bKGD after IDAT");
      if (colorType_ == 3 && !seenPlte) return Reject("bKGD before PLTE");
    } else if (isIdat) {
      if (seenIdat && !lastWasIdat) return Reject("chunks between IDAT chunks");
      seenIdat = true;
      idat_.emplace_back(data, length);
    } else if (type == "IEND") {
      if (pos + 12 + length != bytes.size()) return Reject("data after IEND");
    } else if (!(type[0] & 0x20)) {
      return Reject("unknown critical chunk " + type);
    }
    lastWasIdat = isIdat;

    PngChunk chunk;
    chunk.Length = length;
    chunk.Type = type;
    chunk.Data.assign(data, data + length);
    chunk.CRC = ReadU32(data + length);
    const int occurrence = ++occurrences[type];
    keys_.emplace(type + std::to_string(occurrence), static_cast<int>(chunks_.size()));
    chunks_.push_back(std::move(chunk));

    if (type == "IEND") break;
    pos += 12 + std::size_t{length};
  }
  return kPngLoaded;
}

namespace {

// Feeds the joined IDAT parts through one inflate stream, a row at a time: rows are
// unfiltered and placed while they are still in the cache.
class RowInflater {
 public:
  explicit RowInflater(const std::vector<std::span<const std::uint8_t>>& parts) : parts_(parts) {
    ok_ = inflateInit(&stream_) == Z_OK;
  }
  ~RowInflater() {
    if (ok_) inflateEnd(&stream_);
  }
  RowInflater(const RowInflater&) = delete;
  RowInflater& operator=(const RowInflater&) = delete;

  bool Started() const { return ok_; }
  // True when the stream is corrupt rather than merely short.
  bool Corrupt() const { return corrupt_; }

  // Fills out with exactly size bytes; false when the data ends or is corrupt first.
  bool Read(std::uint8_t* out, std::size_t size) {
    stream_.next_out = out;
    stream_.avail_out = static_cast<uInt>(size);
    while (stream_.avail_out > 0) {
      if (stream_.avail_in == 0) {
        if (next_ == parts_.size()) return false;
        stream_.next_in = const_cast<Bytef*>(parts_[next_].data());
        stream_.avail_in = static_cast<uInt>(parts_[next_].size());
        ++next_;
        continue;
      }
      const int status = inflate(&stream_, Z_NO_FLUSH);
      if (status == Z_STREAM_END) return stream_.avail_out == 0;
      if (status != Z_OK) {
        corrupt_ = status != Z_BUF_ERROR;
        return false;
      }
    }
    return true;
  }

 private:
  const std::vector<std::span<const std::uint8_t>>& parts_;
  std::size_t next_ = 0;
  z_stream stream_{};
  bool ok_ = false;
  bool corrupt_ = false;
};

}  // namespace

int cPNG::Decode() {
  if (colorType_ == 3 && palette_.empty()) return Reject("palette image without PLTE");
  if (idat_.empty()) return Reject("no image data");
  const std::uint64_t pixels = std::uint64_t{width_} * height_;
  if (pixels > kMaxPixels) return Reject("image too large");

  const PngRowFormat format = MakeRowFormat(colorType_, bitDepth_, palette_, hasTrns_, trns_);
  const std::vector<PngPass> passes = MakePasses(width_, height_, interlace_ != 0);
  std::uint64_t rawSize = 0;
  for (const PngPass& pass : passes)
    if (pass.width > 0 && pass.height > 0) rawSize += pass.height * (1 + format.RowBytes(pass.width));
  std::uint64_t compressedSize = 0;
  for (const auto& part : idat_) compressedSize += part.size();
  if (rawSize > compressedSize * kMaxInflateRatio + 1024) return Reject("image data too short");

  std::vector<std::uint8_t> rows;
  try {
    image_ = MakeImage(format, width_, height_, palette_);
    // Two rows (the current one and the one above), each with its filter byte.
    rows.resize(2 * (1 + format.RowBytes(width_)));
  } catch (const std::bad_alloc&) {
    return Reject("out of memory");
  }

  RowInflater inflater(idat_);
  if (!inflater.Started()) return Reject("cannot start inflating");
  const UnfilterFunction unfilter = UnfilterFor(format.FilterDistance());
  for (const PngPass& pass : passes) {
    if (pass.width == 0 || pass.height == 0) continue;
    const std::size_t rowBytes = format.RowBytes(pass.width);
    std::uint8_t* current = rows.data();
    std::uint8_t* above = rows.data() + rowBytes + 1;
    // Each pass starts with a row of zeros above its first row.
    std::fill(above, above + rowBytes + 1, 0);
    for (std::uint32_t r = 0; r < pass.height; ++r) {
      if (!inflater.Read(current, rowBytes + 1))
        return Reject(inflater.Corrupt() ? "image data is corrupt" : "image data too short");
      if (current[0] > 4) return Reject("unknown row filter");
      unfilter(current[0], current + 1, above + 1, rowBytes);
      PlaceRow(format, current + 1, pass, r, image_);
      std::swap(current, above);
    }
  }
  // Extra data after the last row, or a bad checksum once every row is in, costs nothing:
  // the picture is whole.
  return kPngLoaded;
}

}  // namespace vantrel::browser
