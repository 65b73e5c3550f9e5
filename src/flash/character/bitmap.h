// Bitmap characters: DefineBits (with JPEGTables), DefineBitsJPEG2/3/4 and
// DefineBitsLossless 1-2, decoded to premultiplied ARGB images.
#pragma once

#include <QImage>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "flash/raster/lanes.h"
#include "flash/raster/drawable.h"
#include "flash/character/definition.h"

namespace vantrel::flash {

// The largest decoded bitmap, in pixels (any shape: the player loads 524288 x 2 too).
inline constexpr std::int64_t kMaxBitmapPixels = 16777215;

class Bitmap : public Drawable {
 public:
  CharacterKind Kind() const override { return CharacterKind::Bitmap; }
  // Draws the bitmap at 20 twips per pixel from the origin.
  void Render(const RenderContext& context) const override;
  QRectF Bounds(std::uint16_t ratio = 0) const override;
  bool HitTest(QPointF point, std::uint16_t ratio = 0) const override;
  QPainterPath Outline(std::uint16_t ratio = 0) const override;

  // The image with a colour transform applied to every pixel; the last result is kept
  // (once per drawing lane).
  QImage Transformed(const ColorTransform& transform) const;

  QImage image;  // Format_ARGB32_Premultiplied

  // Draws a premultiplied image at 20 twips per pixel from the origin, as a rectangle
  // filled with it (so its edges sample like a shape's and its colours take the same
  // colour maths); smooth asks for bilinear sampling at high quality.
  static void DrawImage(const QImage& image, const RenderContext& context, bool smooth);

 private:
  struct LastTransformed {
    ColorTransform transform;
    QImage image;
  };
  render::PerLane<LastTransformed> last_;
};

// The pixels of a script's BitmapData: premultiplied 0xAARRGGBB as the player keeps
// them (an opaque bitmap keeps every alpha at 255), read and written as straight ARGB.
// Every operation clips to the bitmap; a disposed bitmap has no pixels.
class BitmapPixels {
 public:
  BitmapPixels(int width, int height, bool transparent, std::uint32_t fillArgb);
  // A copy of a premultiplied image (a library bitmap); opaque when transparent is false.
  BitmapPixels(const QImage& image, bool transparent);

  int Width() const { return image_.width(); }
  int Height() const { return image_.height(); }
  bool Transparent() const { return transparent_; }
  bool Disposed() const { return disposed_; }
  void Dispose();
  // Counts changes, so a drawing can keep its converted copy until the pixels change.
  std::uint64_t Version() const { return version_; }
  void Changed() { ++version_; }
  const QImage& Image() const { return image_; }
  // Writable pixels; call Changed() after writing.
  QImage& MutableImage() { return image_; }

  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < Width() && y < Height(); }
  // Premultiplied pixel (0 outside).
  std::uint32_t Raw(int x, int y) const {
    return Contains(x, y) ? reinterpret_cast<const std::uint32_t*>(image_.constScanLine(y))[x] : 0;
  }
  void SetRaw(int x, int y, std::uint32_t premultiplied) {
    reinterpret_cast<std::uint32_t*>(image_.scanLine(y))[x] = premultiplied;
  }
  // Straight ARGB (0 outside).
  std::uint32_t GetPixel32(int x, int y) const;
  // Writes straight ARGB (the alpha forced to 255 in an opaque bitmap); outside is ignored.
  void SetPixel32(int x, int y, std::uint32_t argb);
  // The premultiplied form of argb as this bitmap stores it.
  std::uint32_t Store(std::uint32_t argb) const;

  void FillRect(int x, int y, int width, int height, std::uint32_t argb);
  // Replaces the 4-connected area of the colour at (x, y) with argb.
  void FloodFill(int x, int y, std::uint32_t argb);
  // Shifts the pixels by (dx, dy); what moves in keeps the old pixels.
  void Scroll(int dx, int dy);
  // Fills with random channels from low to high (channels: 1 red, 2 green, 4 blue, 8 alpha).
  void Noise(std::int32_t seed, int low, int high, int channels, bool grayScale);
  // Perlin turbulence (fractal noise when fractal is set) over the whole bitmap; offsets
  // move each octave (x, y pairs, missing ones are 0).
  void PerlinNoise(double baseX, double baseY, int octaves, std::int32_t seed, bool stitch, bool fractal,
                   int channels, bool grayScale, const std::vector<double>& offsets);


 private:
  QImage image_;
  bool transparent_ = true;
  bool disposed_ = false;
  std::uint64_t version_ = 0;
};

// The order in which pixelDissolve visits the pixels of an area. Position 0 is the
// area's first pixel, written on every call; positions 1 to count - 1 are the states of
// a shift register just wide enough for them, the larger states skipped.
class DissolveSequence {
 public:
  explicit DissolveSequence(std::uint32_t count);
  // The position after position (1 to count - 1, a cycle of count - 1 positions).
  std::uint32_t Next(std::uint32_t position) const;
  // Where a seed starts: the register shifted until it holds a position (a zero seed
  // starts with every bit set).
  std::uint32_t Start(std::uint32_t seed) const;

 private:
  std::uint32_t Step(std::uint32_t state) const;
  std::uint32_t count_, taps_ = 0, mask_ = 0;
};

// Straight and premultiplied ARGB, rounded as the player rounds them.
std::uint32_t PremultiplyArgb(std::uint32_t argb);
std::uint32_t UnmultiplyArgb(std::uint32_t premultiplied);

// A BitmapData shown on the stage (attachBitmap, a Bitmap): draws the pixels as they are
// now. It keeps the size the pixels had when it was made: disposing of them leaves an
// empty area of that size.
class BitmapDataCharacter : public Drawable {
 public:
  BitmapDataCharacter(std::shared_ptr<BitmapPixels> pixels, bool smoothing)
      : pixels(std::move(pixels)), smoothing(smoothing) {
    if (this->pixels && !this->pixels->Disposed()) size_ = QSize(this->pixels->Width(), this->pixels->Height());
  }
  CharacterKind Kind() const override { return CharacterKind::Bitmap; }
  void Render(const RenderContext& context) const override;
  QRectF Bounds(std::uint16_t ratio = 0) const override;
  bool HitTest(QPointF point, std::uint16_t ratio = 0) const override;
  QPainterPath Outline(std::uint16_t ratio = 0) const override;

  std::shared_ptr<BitmapPixels> pixels;
  bool smoothing = false;

 private:
  QSize size_;
};

// Decodes a JPEG stream as found in SWF files: the tables may come separately
// (DefineBits), and the stream may carry stray FF D9 FF D8 markers before its frame.
// Returns a null image on failure, with the reason in *error.
QImage DecodeSwfJpeg(std::span<const std::uint8_t> tables, std::span<const std::uint8_t> data, std::string* error);

// Puts JPEG tables and image data together into one clean stream: a single SOI, the
// segments before the scan without extra SOI/EOI markers, then the scan as is.
std::vector<std::uint8_t> CleanJpegStream(std::span<const std::uint8_t> tables, std::span<const std::uint8_t> data);

// Decodes the image data of DefineBitsJPEG2/3/4: JPEG, PNG or GIF.
QImage DecodeImageData(std::span<const std::uint8_t> tables, std::span<const std::uint8_t> data, std::string* error);

// Inflates zlib data of at most maxSize bytes; returns false when the data is broken.
// Data shorter than expected is not an error (the caller checks the size).
bool InflateBounded(std::span<const std::uint8_t> in, std::size_t maxSize, std::vector<std::uint8_t>* out);

// Parses a bitmap tag (6, 21, 35, 90, 20, 36). Returns nullptr on malformed data or an
// image that cannot be decoded.
std::shared_ptr<Bitmap> ParseBitmap(std::uint16_t tagCode, std::span<const std::uint8_t> body,
                                    const DefinitionContext& context, std::string* error);

}  // namespace vantrel::flash
