// The pixel operations of a script's BitmapData, one implementation for both script
// machines: each machine reads its arguments (and answers bad ones its own way), then
// calls these on the pixels. Areas clip to the bitmaps as the player clips them.
#pragma once

#include <QImage>
#include <QRect>
#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "flash/character/bitmap.h"
#include "flash/swf/filter.h"

namespace vantrel::flash {

// A rectangle of whole pixels (width and height may be negative: such an area is empty).
struct PixelArea {
  int x = 0, y = 0, width = 0, height = 0;
};

// copyPixels: the source area to (destX, destY); an alpha bitmap (transparent, or it is
// ignored) scales the source by its alpha at (alphaX, alphaY); merge blends the source
// over a transparent target (an opaque target always blends).
void CopyPixelsInto(BitmapPixels& target, const BitmapPixels& source, PixelArea area, int destX, int destY,
                    const BitmapPixels* alpha, int alphaX, int alphaY, bool merge);

// copyChannel: channels are 1 red, 2 green, 4 blue, 8 alpha; an unknown source channel
// copies 0, an unknown destination channel copies nothing (false).
bool CopyChannelInto(BitmapPixels& target, const BitmapPixels& source, PixelArea area, int destX, int destY,
                     int sourceChannel, int destChannel);

// colorTransform over the area (clipped to the bitmap).
void TransformArea(BitmapPixels& pixels, PixelArea area, const ColorTransform& transform);

// compare: null when both have the same pixels, the bitmap of the differences otherwise
// (same sizes expected).
std::shared_ptr<BitmapPixels> ComparePixels(const BitmapPixels& a, const BitmapPixels& b);

// threshold: operation is "<", "<=", ">", ">=", "==" or "!=" (an unknown one tests "<");
// gives the number of pixels that passed the test.
int ThresholdInto(BitmapPixels& target, const BitmapPixels& source, PixelArea area, int destX, int destY,
                  std::string_view operation, std::uint32_t threshold, std::uint32_t color, std::uint32_t mask,
                  bool copySource);
// Whether the operation is one the player knows.
bool IsThresholdOperation(std::string_view operation);

// merge: multipliers (0-256) for red, green, blue, alpha.
void MergeInto(BitmapPixels& target, const BitmapPixels& source, PixelArea area, int destX, int destY,
               const std::array<std::int64_t, 4>& multipliers);

// paletteMap: tables for red, green, blue and alpha, summed per pixel.
using PaletteTables = std::array<std::array<std::uint32_t, 256>, 4>;
// The tables that pass every channel through (to start from when an array is missing).
PaletteTables IdentityPalette();
void PaletteMapInto(BitmapPixels& target, const BitmapPixels& source, PixelArea area, int destX, int destY,
                    const PaletteTables& tables);

// getColorBoundsRect: the pixels whose stored colour under mask is (findColor) or is not
// color; an empty rectangle when there are none.
QRect ColorBounds(const BitmapPixels& pixels, std::uint32_t mask, std::uint32_t color, bool findColor);

// pixelDissolve: writes the area's first pixel and numPixels more along the dissolve
// order from the seed (fill when source is target, the source's pixels otherwise); gives
// the position to continue from, or the seed itself when nothing moved.
std::int32_t DissolveInto(BitmapPixels& target, const BitmapPixels& source, PixelArea area, int destX, int destY,
                          std::int32_t seed, std::int64_t numPixels, std::uint32_t fill);

// hitTest of a bitmap at (x, y) with an alpha threshold against another bitmap, an area
// (where a threshold of 0 counts transparent pixels too) or a point.
bool HitBitmaps(const BitmapPixels& a, int ax, int ay, std::uint32_t aThreshold, const BitmapPixels& b, int bx, int by,
                std::uint32_t bThreshold);
bool HitArea(const BitmapPixels& pixels, int x, int y, std::uint32_t threshold, PixelArea area);
bool HitPoint(const BitmapPixels& pixels, int x, int y, std::uint32_t threshold, int px, int py);

// draw renders display objects at the stage's quality (its name as scripts read it:
// "LOW", "MEDIUM", "HIGH", "BEST", ...).
Quality DrawQuality(std::string_view stageQuality);

// draw of another bitmap's pixels: false for the blend modes that act through a display
// object's layer only (alpha and erase), with which such a draw changes nothing.
bool BitmapDrawShows(std::uint8_t blendMode);

// draw: lays a drawing (premultiplied, the bitmap's size) onto the bitmap through the
// blend mode, inside clip.
void DrawLayerInto(BitmapPixels& target, const QImage& layer, QRect clip, std::uint8_t blendMode);

// applyFilter: the source area, filtered, replaces the target's pixels at (destX, destY)
// (as far as the area reaches; what a filter draws outside it is cut off).
void ApplyFilterInto(BitmapPixels& target, const BitmapPixels& source, PixelArea area, int destX, int destY,
                     const FilterParams& filter);

// A displacement map filter: each pixel takes the source pixel its map pixel points to.
// Channels are 1 red, 2 green, 4 blue, 8 alpha; a map value of 128 moves nothing, and
// the others move by (value - 128) * scale / 256 pixels.
struct Displacement {
  enum class Mode { Wrap, Clamp, Ignore, Color };
  const BitmapPixels* map = nullptr;
  int mapX = 0, mapY = 0;  // where the map's corner lies in the filtered area
  int componentX = 0, componentY = 0;
  double scaleX = 0, scaleY = 0;
  Mode mode = Mode::Wrap;  // for pixels that point outside the area
  std::uint32_t color = 0;  // the colour mode's substitute, straight ARGB
};

// applyFilter with a displacement map.
void DisplaceInto(BitmapPixels& target, const BitmapPixels& source, PixelArea area, int destX, int destY,
                  const Displacement& displacement);

// generateFilterRect: the area a filter's result covers, for a source area.
PixelArea FilterRect(PixelArea area, const FilterParams& filter);

// histogram: 256 counts for each of red, green, blue and alpha over the area.
std::array<std::array<double, 256>, 4> Histogram(const BitmapPixels& pixels, PixelArea area);

}  // namespace vantrel::flash
