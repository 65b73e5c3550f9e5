// Blend modes and bitmap filters applied to offscreen layers: the per-pixel blend
// maths and the filters themselves (their records are read and written in swf/filter.h).
#pragma once

#include <QImage>
#include <QMargins>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "flash/swf/filter.h"
#include "flash/swf/movie.h"

namespace vantrel::flash {

// Blend mode numbers as PlaceObject3 stores them.
enum class BlendMode : std::uint8_t {
  Normal = 1, Layer = 2, Multiply = 3, Screen = 4, Lighten = 5, Darken = 6, Difference = 7, Add = 8,
  Subtract = 9, Invert = 10, Alpha = 11, Erase = 12, Overlay = 13, HardLight = 14
};

// True when a placement with this blend mode must be drawn through its own layer.
inline bool NeedsLayer(std::uint8_t blendMode) { return blendMode >= 2 && blendMode <= 14; }

// Blend modes by the names scripts use ("normal", "multiply", ...): the number, 0 for
// an unknown name; and the name of a number ("normal" for unknown numbers).
std::uint8_t BlendModeByName(std::string_view name);
const char* BlendModeName(std::uint8_t mode);

// The premultiplied 0xAARRGGBB pixel that src drawn with mode over dst leaves. Unknown
// modes blend as normal.
std::uint32_t BlendPixel(std::uint8_t mode, std::uint32_t src, std::uint32_t dst);

// Blends layer (premultiplied) into target at offset with mode; target must be
// Format_ARGB32_Premultiplied or Format_RGB32. Pixels outside target are skipped.
void BlendInto(QImage& target, QPoint offset, const QImage& layer, std::uint8_t mode);

// How far the filters reach beyond the object's own pixels at the given stage scale.
QMargins FilterMargins(const std::vector<FilterParams>& filters, double scale);

// Blurs the premultiplied image in place with `passes` passes of the player's box blur,
// widthX by widthY pixels (fractional widths included; 1 or less leaves that axis alone).
// Only rows firstRow..lastRow-1 are sure to come out right (the others may be left
// part-way), for a caller that shows only those.
void BoxBlur(QImage& image, double widthX, double widthY, int passes, int firstRow = 0,
             int lastRow = std::numeric_limits<int>::max());

// What applying filters costs per layer pixel, in blur passes over four channels (the
// unit a drawing budget counts in): a blur pass each, a kernel's size for a convolution.
std::uint64_t FilterWorkPerPixel(const std::vector<FilterParams>& filters);

// How many rows above and below a pixel its filtered value depends on: what the filters
// reach (FilterMargins) and a convolution's kernel, which does not grow the layer.
int FilterRowReach(const std::vector<FilterParams>& filters, double scale);

// Applies filters in order to the premultiplied layer in place; scale maps the filters'
// pixel distances to device pixels. Only rows firstRow..lastRow-1 are sure to come out
// right: a band of the frame filters only what it shows and what that depends on.
void ApplyFilters(QImage& layer, const std::vector<FilterParams>& filters, double scale, int firstRow = 0,
                  int lastRow = std::numeric_limits<int>::max());

}  // namespace vantrel::flash
