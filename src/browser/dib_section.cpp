#include "browser/dib_section.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace vantrel::browser {

bool cDIBSection::Create(int width, int height) {
  ClearUp();
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return false;
  if (std::int64_t{width} * height > kMaxPixels) return false;
  try {
    bits_.assign(static_cast<std::size_t>(BytesPerScanLineFor(width)) * height, 0);
  } catch (const std::bad_alloc&) {
    ClearUp();
    return false;
  }
  width_ = width;
  height_ = height;
  return true;
}

bool cDIBSection::CreateFromPicture(const PictureView& picture) {
  ClearUp();
  if (!picture.bits || picture.width < 1 || picture.height < 1) return false;
  const bool wide = picture.format == PictureFormat::Bgrx32 || picture.format == PictureFormat::Rgba32;
  const std::size_t bytesPerPixel = wide ? 4 : 3;
  if (picture.stride < bytesPerPixel * static_cast<std::size_t>(picture.width)) return false;
  if (!Create(picture.width, picture.height)) return false;
  const bool redFirst = picture.format == PictureFormat::Rgb24 || picture.format == PictureFormat::Rgba32;
  for (int y = 0; y < height_; ++y) {
    const std::uint8_t* from = picture.bits + static_cast<std::size_t>(y) * picture.stride;
    std::uint8_t* to = ScanLine(y);
    if (picture.format == PictureFormat::Bgr24) {
      std::memcpy(to, from, 3 * static_cast<std::size_t>(width_));
      continue;
    }
    for (int x = 0; x < width_; ++x, from += bytesPerPixel, to += 3) {
      to[0] = redFirst ? from[2] : from[0];
      to[1] = from[1];
      to[2] = redFirst ? from[0] : from[2];
    }
  }
  return true;
}

void cDIBSection::ClearUp() {
  std::vector<std::uint8_t>().swap(bits_);
  width_ = 0;
  height_ = 0;
}

std::uint32_t cDIBSection::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const std::uint8_t* p = ScanLine(y) + 3 * x;
  return (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

void cDIBSection::SetPixel(int x, int y, std::uint32_t rgb) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  std::uint8_t* p = ScanLine(y) + 3 * x;
  p[0] = static_cast<std::uint8_t>(rgb);
  p[1] = static_cast<std::uint8_t>(rgb >> 8);
  p[2] = static_cast<std::uint8_t>(rgb >> 16);
}

void cDIBSection::Fill(std::uint32_t rgb) {
  if (Empty()) return;
  std::uint8_t* first = ScanLine(0);
  for (int x = 0; x < width_; ++x) {
    first[3 * x] = static_cast<std::uint8_t>(rgb);
    first[3 * x + 1] = static_cast<std::uint8_t>(rgb >> 8);
    first[3 * x + 2] = static_cast<std::uint8_t>(rgb >> 16);
  }
  for (int y = 1; y < height_; ++y) std::memcpy(ScanLine(y), first, BytesPerScanLine());
}

namespace {

// Combines one row of source bytes into the destination with a raster operation.
void CombineRow(std::uint8_t* to, const std::uint8_t* from, std::size_t count, std::uint32_t rop) {
  switch (rop) {
    case kSrcCopy: std::memmove(to, from, count); break;
    case kSrcPaint: for (std::size_t i = 0; i < count; ++i) to[i] |= from[i]; break;
    case kSrcAnd: for (std::size_t i = 0; i < count; ++i) to[i] &= from[i]; break;
    case kSrcInvert: for (std::size_t i = 0; i < count; ++i) to[i] ^= from[i]; break;
    case kNotSrcCopy:
      for (std::size_t i = 0; i < count; ++i) to[i] = static_cast<std::uint8_t>(~from[i]);
      break;
    case kBlackness: std::memset(to, 0, count); break;
    case kWhiteness: std::memset(to, 0xFF, count); break;
    default: break;
  }
}

bool KnownRop(std::uint32_t rop) {
  switch (rop) {
    case kSrcCopy: case kSrcPaint: case kSrcAnd: case kSrcInvert:
    case kNotSrcCopy: case kBlackness: case kWhiteness: return true;
    default: return false;
  }
}

}  // namespace

bool cDIBSection::PaintPicture(cDIBSection& target, int x, int y, int width, int height, int srcX,
                               int srcY, std::uint32_t rop) const {
  if (Empty() || target.Empty() || !KnownRop(rop)) return false;
  if (width == -1) width = width_;
  if (height == -1) height = height_;
  // Clip against the source, then against the target, moving both corners together.
  std::int64_t sx = srcX, sy = srcY, dx = x, dy = y, w = width, h = height;
  auto clip = [](std::int64_t& a, std::int64_t& b, std::int64_t& size, std::int64_t limitA,
                 std::int64_t limitB) {
    if (a < 0) { b -= a; size += a; a = 0; }
    if (b < 0) { a -= b; size += b; b = 0; }
    size = std::min({size, limitA - a, limitB - b});
  };
  clip(sx, dx, w, width_, target.width_);
  clip(sy, dy, h, height_, target.height_);
  if (w <= 0 || h <= 0) return true;
  const std::size_t count = static_cast<std::size_t>(w) * 3;
  // The same surface may be source and target; walk rows in the safe direction.
  const bool upward = this == &target && dy > sy;
  for (std::int64_t i = 0; i < h; ++i) {
    const std::int64_t row = upward ? h - 1 - i : i;
    const std::uint8_t* from = ScanLine(static_cast<int>(sy + row)) + 3 * sx;
    std::uint8_t* to = target.ScanLine(static_cast<int>(dy + row)) + 3 * dx;
    CombineRow(to, from, count, rop);
  }
  return true;
}

}  // namespace vantrel::browser
