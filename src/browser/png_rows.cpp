#include "browser/png_rows.h"

#include <cstdlib>
#include <cstring>

namespace vantrel::browser {

PngRowFormat MakeRowFormat(int colorType, int depth, const std::vector<std::uint8_t>& palette,
                           bool hasTrns, const std::vector<std::uint8_t>& trns) {
  PngRowFormat format;
  format.colorType = colorType;
  format.depth = depth;
  const int channels = colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1;
  format.fileBitsPerPixel = channels * depth;
  switch (colorType) {
    case 0:
      format.mode = depth == 2 ? PngPlaceMode::Grey2 : depth == 16 ? PngPlaceMode::Grey16 : PngPlaceMode::PackedCopy;
      format.outBitsPerPixel = depth == 2 || depth == 16 ? 8 : depth;
      break;
    case 2:
      format.mode = depth == 8 ? PngPlaceMode::Rgb8 : PngPlaceMode::Rgb16;
      format.outBitsPerPixel = 24;
      break;
    case 3:
      if (hasTrns) {
        format.mode = PngPlaceMode::PaletteAlpha;
        format.outBitsPerPixel = 32;
        // Indexes past the palette are black, and past the tRNS entries opaque.
        for (std::size_t i = 0; i < 256; ++i) {
          auto& c = format.colours[i];
          if (3 * i + 2 < palette.size()) {
            c[0] = palette[3 * i + 2];
            c[1] = palette[3 * i + 1];
            c[2] = palette[3 * i];
          }
          c[3] = i < trns.size() ? trns[i] : 255;
        }
      } else {
        format.mode = depth == 2 ? PngPlaceMode::Index2 : PngPlaceMode::PackedCopy;
        format.outBitsPerPixel = depth == 2 ? 8 : depth;
      }
      break;
    case 4:
      format.mode = depth == 8 ? PngPlaceMode::GreyAlpha8 : PngPlaceMode::GreyAlpha16;
      format.outBitsPerPixel = 32;
      break;
    default:
      format.mode = depth == 8 ? PngPlaceMode::Rgba8 : PngPlaceMode::Rgba16;
      format.outBitsPerPixel = 32;
      break;
  }
  return format;
}

std::vector<PngPass> MakePasses(std::uint32_t width, std::uint32_t height, bool interlaced) {
  if (!interlaced) return {PngPass{0, 0, 1, 1, width, height}};
  static constexpr std::uint32_t kAdam7[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                                 {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  std::vector<PngPass> passes;
  for (const auto& p : kAdam7) {
    PngPass pass{p[0], p[1], p[2], p[3], 0, 0};
    pass.width = width > pass.x0 ? (width - pass.x0 + pass.dx - 1) / pass.dx : 0;
    pass.height = height > pass.y0 ? (height - pass.y0 + pass.dy - 1) / pass.dy : 0;
    passes.push_back(pass);
  }
  return passes;
}

PngImage MakeImage(const PngRowFormat& format, std::uint32_t width, std::uint32_t height,
                   const std::vector<std::uint8_t>& palette) {
  PngImage image;
  image.Width = static_cast<int>(width);
  image.Height = static_cast<int>(height);
  image.BitsPerPixel = format.outBitsPerPixel;
  image.Stride = static_cast<std::size_t>((std::uint64_t{width} * format.outBitsPerPixel + 31) / 32 * 4);
  image.Bits.assign(image.Stride * height, 0);
  if (format.outBitsPerPixel > 8) return image;
  const std::size_t entries = std::size_t{1} << format.outBitsPerPixel;
  image.Palette.assign(entries, {0, 0, 0, 0});
  if (format.colorType == 0) {
    // A grey ramp: level i of the indexes available maps to the full 0..255 range.
    const unsigned step = 255 / static_cast<unsigned>(entries - 1);
    for (std::size_t i = 0; i < entries; ++i) {
      const auto level = static_cast<std::uint8_t>(i * step);
      image.Palette[i] = {level, level, level, 0};
    }
  } else {
    for (std::size_t i = 0; i < entries && 3 * i + 2 < palette.size(); ++i)
      image.Palette[i] = {palette[3 * i + 2], palette[3 * i + 1], palette[3 * i], 0};
  }
  return image;
}

namespace {

inline std::uint8_t PaethPredict(int a, int b, int c) {
  const int p = b - c;
  const int q = a - c;
  const int pa = std::abs(p);
  const int pb = std::abs(q);
  const int pc = std::abs(p + q);
  if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
  return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

// The distance is a template argument so that the inner loops of the common pixel sizes
// are unrolled by the compiler.
template <int D>
void UnfilterRow(std::uint8_t filter, std::uint8_t* cur, const std::uint8_t* prev, std::size_t n) {
  switch (filter) {
    case 1:
      for (std::size_t i = D; i < n; ++i) cur[i] = static_cast<std::uint8_t>(cur[i] + cur[i - D]);
      break;
    case 2:
      for (std::size_t i = 0; i < n; ++i) cur[i] = static_cast<std::uint8_t>(cur[i] + prev[i]);
      break;
    case 3:
      for (std::size_t i = 0; i < D && i < n; ++i) cur[i] = static_cast<std::uint8_t>(cur[i] + (prev[i] >> 1));
      for (std::size_t i = D; i < n; ++i)
        cur[i] = static_cast<std::uint8_t>(cur[i] + ((cur[i - D] + prev[i]) >> 1));
      break;
    case 4:
      for (std::size_t i = 0; i < D && i < n; ++i) cur[i] = static_cast<std::uint8_t>(cur[i] + prev[i]);
      for (std::size_t i = D; i < n; ++i)
        cur[i] = static_cast<std::uint8_t>(cur[i] + PaethPredict(cur[i - D], prev[i], prev[i - D]));
      break;
    default: break;
  }
}

inline unsigned SampleAt(const std::uint8_t* row, std::size_t i, int depth) {
  const std::size_t bit = i * static_cast<std::size_t>(depth);
  const unsigned shift = 8 - depth - static_cast<unsigned>(bit & 7);
  return (row[bit >> 3] >> shift) & ((1u << depth) - 1);
}

inline void PutPacked(std::uint8_t* row, std::size_t x, int depth, unsigned value) {
  const std::size_t bit = x * static_cast<std::size_t>(depth);
  const unsigned shift = 8 - depth - static_cast<unsigned>(bit & 7);
  row[bit >> 3] = static_cast<std::uint8_t>(row[bit >> 3] | (value << shift));
}

// Converts one file row; Unit is true when the pass covers every pixel of the row.
template <bool Unit>
void PlaceRowAt(const PngRowFormat& f, const std::uint8_t* src, std::uint8_t* dst, const PngPass& pass) {
  const std::size_t n = pass.width;
  auto X = [&](std::size_t i) -> std::size_t { return Unit ? i : pass.x0 + i * pass.dx; };
  switch (f.mode) {
    case PngPlaceMode::PackedCopy:
      if (Unit) {
        std::memcpy(dst, src, f.RowBytes(n));
      } else if (f.depth == 8) {
        for (std::size_t i = 0; i < n; ++i) dst[X(i)] = src[i];
      } else {
        for (std::size_t i = 0; i < n; ++i) PutPacked(dst, X(i), f.depth, SampleAt(src, i, f.depth));
      }
      break;
    case PngPlaceMode::Grey2:
      for (std::size_t i = 0; i < n; ++i) dst[X(i)] = static_cast<std::uint8_t>(SampleAt(src, i, 2) * 85);
      break;
    case PngPlaceMode::Index2:
      for (std::size_t i = 0; i < n; ++i) dst[X(i)] = static_cast<std::uint8_t>(SampleAt(src, i, 2));
      break;
    case PngPlaceMode::Grey16:
      for (std::size_t i = 0; i < n; ++i) dst[X(i)] = src[2 * i];
      break;
    case PngPlaceMode::Rgb8:
      for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t* d = dst + 3 * X(i);
        const std::uint8_t* s = src + 3 * i;
        d[0] = s[2]; d[1] = s[1]; d[2] = s[0];
      }
      break;
    case PngPlaceMode::Rgb16:
      for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t* d = dst + 3 * X(i);
        const std::uint8_t* s = src + 6 * i;
        d[0] = s[4]; d[1] = s[2]; d[2] = s[0];
      }
      break;
    case PngPlaceMode::PaletteAlpha:
      for (std::size_t i = 0; i < n; ++i) {
        const unsigned index = f.depth == 8 ? src[i] : SampleAt(src, i, f.depth);
        std::memcpy(dst + 4 * X(i), f.colours[index].data(), 4);
      }
      break;
    case PngPlaceMode::GreyAlpha8:
    case PngPlaceMode::GreyAlpha16: {
      const std::size_t step = f.depth == 8 ? 2 : 4;
      const std::size_t alpha = f.depth == 8 ? 1 : 2;
      for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t* d = dst + 4 * X(i);
        const std::uint8_t* s = src + step * i;
        d[0] = d[1] = d[2] = s[0];
        d[3] = s[alpha];
      }
      break;
    }
    case PngPlaceMode::Rgba8:
      for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t* d = dst + 4 * X(i);
        const std::uint8_t* s = src + 4 * i;
        d[0] = s[2]; d[1] = s[1]; d[2] = s[0]; d[3] = s[3];
      }
      break;
    case PngPlaceMode::Rgba16:
      for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t* d = dst + 4 * X(i);
        const std::uint8_t* s = src + 8 * i;
        d[0] = s[4]; d[1] = s[2]; d[2] = s[0]; d[3] = s[6];
      }
      break;
  }
}

}  // namespace

UnfilterFunction UnfilterFor(int distance) {
  switch (distance) {
    case 1: return UnfilterRow<1>;
    case 2: return UnfilterRow<2>;
    case 3: return UnfilterRow<3>;
    case 4: return UnfilterRow<4>;
    case 6: return UnfilterRow<6>;
    default: return UnfilterRow<8>;
  }
}

void PlaceRow(const PngRowFormat& format, const std::uint8_t* samples, const PngPass& pass, std::uint32_t r,
              PngImage& image) {
  const std::size_t y = pass.y0 + static_cast<std::size_t>(r) * pass.dy;
  std::uint8_t* dst = image.Bits.data() + y * image.Stride;
  if (pass.x0 == 0 && pass.dx == 1) PlaceRowAt<true>(format, samples, dst, pass);
  else PlaceRowAt<false>(format, samples, dst, pass);
}

}  // namespace vantrel::browser
