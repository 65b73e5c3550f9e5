// Bitmap characters: DefineBits (with JPEGTables), DefineBitsJPEG2/3/4 and
// DefineBitsLossless 1-2, decoded to premultiplied ARGB images.
#pragma once

#include <QImage>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "flash/character.h"

namespace vantrel::flash {

// The largest decoded bitmap, in pixels (any shape: the player loads 524288 x 2 too).
inline constexpr std::int64_t kMaxBitmapPixels = 16777215;

class Bitmap : public Character {
 public:
  CharacterKind Kind() const override { return CharacterKind::Bitmap; }
  // Draws the bitmap at 20 twips per pixel from the origin.
  void Render(const RenderContext& context) const override;
  QRectF Bounds(std::uint16_t ratio = 0) const override;
  bool HitTest(QPointF point, std::uint16_t ratio = 0) const override;
  QPainterPath Outline(std::uint16_t ratio = 0) const override;

  // The image with a colour transform applied to every pixel; the last result is kept.
  QImage Transformed(const ColorTransform& transform) const;

  QImage image;  // Format_ARGB32_Premultiplied

 private:
  mutable ColorTransform lastTransform_;
  mutable QImage lastImage_;
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
