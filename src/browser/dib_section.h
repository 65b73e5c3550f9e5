// cDIBSection: the program's 24-bit drawing surface. Shots are painted into it, PNG
// pictures are drawn onto it and the JPEG writer saves it. No display is needed: the
// surface is plain memory, so the thumbnail generator and the tool kit use it headless.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vantrel::browser {

// Raster operations understood by PaintPicture (the usual GDI codes).
inline constexpr std::uint32_t kSrcCopy = 0x00CC0020;     // dest = source
inline constexpr std::uint32_t kSrcPaint = 0x00EE0086;    // dest = source OR dest
inline constexpr std::uint32_t kSrcAnd = 0x008800C6;      // dest = source AND dest
inline constexpr std::uint32_t kSrcInvert = 0x00660046;   // dest = source XOR dest
inline constexpr std::uint32_t kNotSrcCopy = 0x00330008;  // dest = NOT source
inline constexpr std::uint32_t kBlackness = 0x00000042;   // dest = 0
inline constexpr std::uint32_t kWhiteness = 0x00FF0062;   // dest = all bits set

// Pixel layouts a picture handed to CreateFromPicture may have. Bytes are in memory
// order: Bgr24 is blue, green, red; Bgrx32 is blue, green, red and one ignored byte
// (what a little-endian 0xAARRGGBB word looks like, e.g. QImage::Format_RGB32);
// Rgb24 and Rgba32 are red first (what decoders and libraries hand out). Alpha, where
// present, is ignored: a picture is drawn into the surface opaque.
enum class PictureFormat { Bgr24, Bgrx32, Rgb24, Rgba32 };

// A view of someone else's pixels: rows top-down, `stride` bytes apart.
struct PictureView {
  int width = 0;
  int height = 0;
  const std::uint8_t* bits = nullptr;
  std::size_t stride = 0;
  PictureFormat format = PictureFormat::Bgr24;
};

class cDIBSection {
 public:
  // The largest surface we agree to make: either side at most kMaxSide pixels and at
  // most kMaxPixels pixels in all (a 16K display shot still fits).
  static constexpr int kMaxSide = 65535;
  static constexpr std::int64_t kMaxPixels = std::int64_t{1} << 27;

  cDIBSection() = default;

  // Makes a black width x height surface, clearing any previous one first. Returns
  // false, and keeps nothing (the surface is empty afterwards), when a side is below 1,
  // the size is over the limits above or the memory cannot be had.
  bool Create(int width, int height);

  // Makes a surface of the picture's size with the picture copied into it. Returns
  // false (surface empty) when the view is malformed or Create fails.
  bool CreateFromPicture(const PictureView& picture);

  // Frees the pixels; the surface is empty (0 x 0) afterwards.
  void ClearUp();

  // True while the surface holds no pixels.
  bool Empty() const { return bits_.empty(); }

  int Width() const { return width_; }
  int Height() const { return height_; }

  // Bytes per row: 3 x width rounded up to a multiple of 4 (1 pixel -> 4, 4 -> 12).
  int BytesPerScanLine() const { return BytesPerScanLineFor(width_); }
  static int BytesPerScanLineFor(int width) { return (3 * width + 3) & ~3; }

  // Address of the first pixel byte (row 0 is the top row; each row is blue, green,
  // red per pixel followed by the padding). nullptr when the surface is empty.
  std::uint8_t* DIBSectionBitsPtr() { return bits_.empty() ? nullptr : bits_.data(); }
  const std::uint8_t* DIBSectionBitsPtr() const { return bits_.empty() ? nullptr : bits_.data(); }

  // Address of row y (0 = top). y must be in 0..Height()-1.
  std::uint8_t* ScanLine(int y) { return bits_.data() + static_cast<std::size_t>(y) * BytesPerScanLine(); }
  const std::uint8_t* ScanLine(int y) const {
    return bits_.data() + static_cast<std::size_t>(y) * BytesPerScanLine();
  }

  // The pixel at (x, y) as 0xRRGGBB; 0 outside the surface.
  std::uint32_t Pixel(int x, int y) const;
  // Sets the pixel at (x, y) from 0xRRGGBB; ignored outside the surface.
  void SetPixel(int x, int y, std::uint32_t rgb);
  // Sets every pixel to 0xRRGGBB (the padding bytes stay 0).
  void Fill(std::uint32_t rgb);

  // Copies the surface's area (srcX, srcY, width, height) to target at (x, y) with the
  // raster operation rop (one of the k... codes above). -1 for width or height means the
  // surface's own size. Parts that fall outside either surface are clipped. Returns false
  // (target unchanged) for an empty surface or an unknown raster operation.
  bool PaintPicture(cDIBSection& target, int x, int y, int width = -1, int height = -1,
                    int srcX = 0, int srcY = 0, std::uint32_t rop = kSrcCopy) const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> bits_;
};

}  // namespace vantrel::browser
