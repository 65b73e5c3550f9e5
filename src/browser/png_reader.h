// cPNG: our own PNG reader (zlib does the inflation) and its drawing onto a surface, plus
// DrawPNG, which draws a picture of the images folder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "browser/dib_section.h"

namespace vantrel::core {
class ExecutionLog;
}

namespace vantrel::browser {

// Results of LoadPNGFile.
inline constexpr int kPngLoaded = 0;
inline constexpr int kPngMissing = 1;
inline constexpr int kPngRejected = 3;

// One accepted chunk, in file order. Numbers are big-endian in the file.
struct PngChunk {
  std::uint32_t Length = 0;
  std::string Type;  // four characters
  std::vector<std::uint8_t> Data;
  std::uint32_t CRC = 0;  // as read; never verified
};

// The decoded picture in bitmap layout: rows top-down, each Stride bytes long
// (whole 32-bit words). BitsPerPixel is 1, 4 or 8 (indexes into Palette), 24 (blue,
// green, red) or 32 (blue, green, red, alpha; alpha not premultiplied).
struct PngImage {
  int Width = 0;
  int Height = 0;
  int BitsPerPixel = 0;
  std::size_t Stride = 0;
  std::vector<std::uint8_t> Bits;
  // Blue, green, red, unused; 2^BitsPerPixel entries for the indexed layouts.
  std::vector<std::array<std::uint8_t, 4>> Palette;

  bool Empty() const { return Bits.empty(); }
};

class cPNG {
 public:
  // Images larger than this many pixels are rejected rather than allocated.
  static constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 27;

  // Adam7-interlaced files are decoded unless this is switched off; switched off, they
  // load (result 0) with an empty image and draw nothing.
  void SetDecodeInterlaced(bool on) { decodeInterlaced_ = on; }
  bool DecodeInterlaced() const { return decodeInterlaced_; }

  // Optional load progress (0..1), called between steps of a load.
  std::function<void(double)> Progress;

  // Reads and decodes the PNG file at path. Returns kPngLoaded (0), kPngMissing (1: no
  // such file) or kPngRejected (3: unreadable, or it breaks a rule of the format;
  // RejectReason() says which). On 0 the header properties and Image() are set; on any
  // other result everything is reset to empty.
  int LoadPNGFile(const std::string& path);

  // The same for bytes already in memory (never kPngMissing).
  int LoadPNGData(std::span<const std::uint8_t> bytes);

  // Header properties (0 / false before a successful load).
  std::uint32_t Width() const { return width_; }
  std::uint32_t Height() const { return height_; }
  int BitDepth() const { return bitDepth_; }
  int ColorType() const { return colorType_; }
  bool Interlaced() const { return interlace_ != 0; }
  // True when the file had a tRNS chunk.
  bool HasTransparencyChunk() const { return hasTrns_; }

  // Why the last load returned 3 ("" otherwise).
  const std::string& RejectReason() const { return rejectReason_; }

  // The accepted chunks in file order, and the index of a chunk by its key: its type and
  // occurrence number ("IHDR1", "IDAT2"); -1 when there is no such chunk.
  const std::vector<PngChunk>& Chunks() const { return chunks_; }
  int ChunkIndex(std::string_view key) const;

  // The decoded image (empty for an interlaced file when interlaced decoding is off).
  const PngImage& Image() const { return image_; }

  // The decoded image as red, green, blue, alpha bytes, rows top-down with no padding
  // (alpha 255 for layouts without alpha). Empty when the image is empty.
  std::vector<std::uint8_t> ToRGBA() const;

  // Draws the image with its top-left corner at (x, y) of target; half draws it at half
  // its opacity. Layouts without alpha are copied; 32-bit images are blended with
  // ((255 - a) x dst + a x src + 255) div 256 per colour byte (a halved when half).
  // Parts outside the target are clipped; an empty image draws nothing. Grey and RGB
  // pictures draw opaque even when they carry a tRNS colour key.
  void DrawToDC(cDIBSection& target, int x, int y, bool half) const;

 private:
  void Reset();
  int Reject(std::string reason);
  int Parse(std::span<const std::uint8_t> bytes);
  int Decode();

  bool decodeInterlaced_ = true;
  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
  int bitDepth_ = 0;
  int colorType_ = 0;
  int interlace_ = 0;
  bool hasTrns_ = false;
  std::string rejectReason_;
  std::vector<PngChunk> chunks_;
  std::map<std::string, int, std::less<>> keys_;
  PngImage image_;
  // Only during a load: the IDAT parts (views into the bytes being loaded), the PLTE
  // bytes and the tRNS bytes.
  std::vector<std::span<const std::uint8_t>> idat_;
  std::vector<std::uint8_t> palette_;
  std::vector<std::uint8_t> trns_;
};

// Loads pathWithoutExtension & ".png" with a fresh cPNG and draws it onto target at (x, y)
// (half: at half opacity). Returns true when drawn; when the file does not load, hands
// "Failed to draw <path>.png" to log's WriteLog and returns false. Nothing is cached.
bool DrawPNG(const std::string& pathWithoutExtension, cDIBSection& target, int x, int y,
             bool half, core::ExecutionLog& log);

}  // namespace vantrel::browser
