// Drawing a decoded PNG onto a surface, and DrawPNG for the pictures of the images folder.
#include <algorithm>

#include "browser/png_reader.h"
#include "core/log.h"

namespace vantrel::browser {

namespace {

// Blue, green, red of pixel x of a row in one of the layouts without alpha.
inline const std::uint8_t* OpaqueColour(const PngImage& image, const std::uint8_t* row, int x) {
  switch (image.BitsPerPixel) {
    case 24: return row + 3 * x;
    case 8: return image.Palette[row[x]].data();
    case 4: return image.Palette[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F].data();
    default: return image.Palette[(row[x >> 3] >> (7 - (x & 7))) & 1].data();
  }
}

}  // namespace

std::vector<std::uint8_t> cPNG::ToRGBA() const {
  std::vector<std::uint8_t> out;
  if (image_.Empty()) return out;
  out.resize(static_cast<std::size_t>(image_.Width) * image_.Height * 4);
  std::uint8_t* to = out.data();
  for (int y = 0; y < image_.Height; ++y) {
    const std::uint8_t* row = image_.Bits.data() + static_cast<std::size_t>(y) * image_.Stride;
    for (int x = 0; x < image_.Width; ++x, to += 4) {
      if (image_.BitsPerPixel == 32) {
        const std::uint8_t* p = row + 4 * x;
        to[0] = p[2]; to[1] = p[1]; to[2] = p[0]; to[3] = p[3];
      } else {
        const std::uint8_t* p = OpaqueColour(image_, row, x);
        to[0] = p[2]; to[1] = p[1]; to[2] = p[0]; to[3] = 255;
      }
    }
  }
  return out;
}

void cPNG::DrawToDC(cDIBSection& target, int x, int y, bool half) const {
  if (image_.Empty() || target.Empty()) return;
  // The visible part of the picture, in picture coordinates.
  const int left = std::max(0, -x);
  const int top = std::max(0, -y);
  const int right = static_cast<int>(std::min<long long>(image_.Width, static_cast<long long>(target.Width()) - x));
  const int bottom = static_cast<int>(std::min<long long>(image_.Height, static_cast<long long>(target.Height()) - y));
  if (left >= right || top >= bottom) return;

  for (int py = top; py < bottom; ++py) {
    const std::uint8_t* row = image_.Bits.data() + static_cast<std::size_t>(py) * image_.Stride;
    std::uint8_t* dst = target.ScanLine(py + y) + 3 * static_cast<std::size_t>(left + x);
    if (image_.BitsPerPixel != 32) {
      // No alpha: the picture is copied as it is, half or not.
      for (int px = left; px < right; ++px, dst += 3) {
        const std::uint8_t* c = OpaqueColour(image_, row, px);
        dst[0] = c[0]; dst[1] = c[1]; dst[2] = c[2];
      }
      continue;
    }
    for (int px = left; px < right; ++px, dst += 3) {
      const std::uint8_t* src = row + 4 * px;
      const unsigned a = half ? src[3] / 2u : src[3];
      if (a == 0) continue;
      if (a == 255) {
        dst[0] = src[0]; dst[1] = src[1]; dst[2] = src[2];
        continue;
      }
      for (int c = 0; c < 3; ++c)
        dst[c] = static_cast<std::uint8_t>(((255 - a) * dst[c] + a * src[c] + 255) / 256);
    }
  }
}

bool DrawPNG(const std::string& pathWithoutExtension, cDIBSection& target, int x, int y, bool half,
             core::ExecutionLog& log) {
  const std::string path = pathWithoutExtension + ".png";
  cPNG picture;
  if (picture.LoadPNGFile(path) != kPngLoaded) {
    log.WriteLog("Failed to draw " + path, true);
    return false;
  }
  picture.DrawToDC(target, x, y, half);
  return true;
}

}  // namespace vantrel::browser
