// Inside the PNG reader: row filters, Adam7 passes and the conversion of file samples
// into the decoded bitmap layout. Not for use outside src/browser.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "browser/png_reader.h"

namespace vantrel::browser {

// How the samples of one file row become decoded pixels.
enum class PngPlaceMode {
  PackedCopy,   // grey or palette at 1, 4 or 8 bits: same packing as the bitmap
  Grey2,        // 2-bit grey widened to 8-bit grey levels
  Index2,       // 2-bit palette index widened to an 8-bit index
  Grey16,       // 16-bit grey: high byte
  Rgb8,
  Rgb16,
  PaletteAlpha, // palette with tRNS: 32-bit pixels from the palette and alpha table
  GreyAlpha8,
  GreyAlpha16,
  Rgba8,
  Rgba16,
};

struct PngRowFormat {
  int colorType = 0;
  int depth = 0;
  int fileBitsPerPixel = 0;
  int outBitsPerPixel = 0;
  PngPlaceMode mode = PngPlaceMode::PackedCopy;
  // Palette with tRNS: blue, green, red, alpha of each of the 256 possible indexes.
  std::array<std::array<std::uint8_t, 4>, 256> colours{};

  // Bytes of one file row of the given width, without its filter byte.
  std::size_t RowBytes(std::uint64_t width) const {
    return static_cast<std::size_t>((width * fileBitsPerPixel + 7) / 8);
  }
  // The byte distance of the Sub, Average and Paeth filters.
  int FilterDistance() const { return fileBitsPerPixel < 8 ? 1 : fileBitsPerPixel / 8; }
};

// One Adam7 pass (or the whole image): where its pixels go and how many there are.
struct PngPass {
  std::uint32_t x0 = 0, y0 = 0, dx = 1, dy = 1;
  std::uint32_t width = 0, height = 0;
};

// hasTrns: the file had a tRNS chunk (its entries are trns, possibly none).
PngRowFormat MakeRowFormat(int colorType, int depth, const std::vector<std::uint8_t>& palette,
                           bool hasTrns, const std::vector<std::uint8_t>& trns);

// The seven Adam7 passes, or one pass covering the image.
std::vector<PngPass> MakePasses(std::uint32_t width, std::uint32_t height, bool interlaced);

// An empty (zeroed) decoded image in the layout of format, with its palette. Throws
// std::bad_alloc when the memory cannot be had.
PngImage MakeImage(const PngRowFormat& format, std::uint32_t width, std::uint32_t height,
                   const std::vector<std::uint8_t>& palette);

// Undoes one row's filter in place: cur and above are rowBytes bytes without the filter
// byte (above is all zeros for the first row). The filter must be 0..4.
using UnfilterFunction = void (*)(std::uint8_t filter, std::uint8_t* cur, const std::uint8_t* above,
                                  std::size_t rowBytes);

// The unfilter routine for a byte distance of 1, 2, 3, 4, 6 or 8.
UnfilterFunction UnfilterFor(int distance);

// Converts row r of a pass (unfiltered file samples) into image.
void PlaceRow(const PngRowFormat& format, const std::uint8_t* samples, const PngPass& pass, std::uint32_t r,
              PngImage& image);

}  // namespace vantrel::browser
