// The reference decoder for our PNG reader: libpng, set up to give what our decoded
// layouts mean as RGBA (tRNS turns into alpha only for palette images; 16-bit samples keep
// their high byte). Used by the conformance tests and the decode benchmark. Link PNG::PNG.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include <png.h>

namespace vantrel::testing {

struct ReferenceImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgba;  // rows top-down, no padding
};

namespace detail {
struct MemoryReader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos;
};
inline void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (count > reader->size - reader->pos) png_error(png, "read past the end");
  std::memcpy(out, reader->data + reader->pos, count);
  reader->pos += count;
}
}  // namespace detail

// Decodes a PNG held in memory to RGBA. Returns false when libpng refuses the file.
inline bool ReferenceDecode(const std::uint8_t* data, std::size_t size, ReferenceImage& image) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  detail::MemoryReader reader{data, size, 0};
  std::vector<png_bytep> rows;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &reader, detail::ReadFromMemory);
  png_read_info(png, info);
  const int colorType = png_get_color_type(png, info);
  const bool hasTrns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(png);
  png_set_strip_16(png);
  if (!(colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
  const bool alpha = (colorType & PNG_COLOR_MASK_ALPHA) || (colorType == PNG_COLOR_TYPE_PALETTE && hasTrns);
  if (!alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  image.width = png_get_image_width(png, info);
  image.height = png_get_image_height(png, info);
  image.rgba.assign(static_cast<std::size_t>(image.width) * image.height * 4, 0);
  rows.resize(image.height);
  for (std::uint32_t y = 0; y < image.height; ++y) rows[y] = image.rgba.data() + std::size_t{y} * image.width * 4;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace vantrel::testing
