#include "support/image_check.h"

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstdio>

#include <jpeglib.h>
#include <png.h>

namespace vantrel::testing {

namespace {

struct ErrorJump {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void ErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1); }
void Silent(j_common_ptr, int) {}

std::string Take(unsigned char*& buffer, unsigned long size) {
  std::string out(reinterpret_cast<char*>(buffer), size);
  std::free(buffer);
  buffer = nullptr;
  return out;
}

bool Decode(jpeg_decompress_struct& info, ErrorJump& error, const std::string& bytes, int* width, int* height) {
  if (setjmp(error.jump)) return false;
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;
  jpeg_start_decompress(&info);
  std::vector<JSAMPLE> row(info.output_width * info.output_components);
  JSAMPROW rows[1] = {row.data()};
  while (info.output_scanline < info.output_height)
    if (jpeg_read_scanlines(&info, rows, 1) != 1) return false;
  jpeg_finish_decompress(&info);
  if (width) *width = static_cast<int>(info.output_width);
  if (height) *height = static_cast<int>(info.output_height);
  return true;
}

}  // namespace

JpegParts EncodeJpeg(int width, int height) {
  JpegParts parts;
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * 3);
  auto encode = [&](bool writeTables) {
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    jpeg_start_compress(&info, writeTables ? TRUE : FALSE);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        row[x * 3] = static_cast<JSAMPLE>(x * 255 / std::max(width - 1, 1));
        row[x * 3 + 1] = static_cast<JSAMPLE>(y * 255 / std::max(height - 1, 1));
        row[x * 3 + 2] = 128;
      }
      JSAMPROW rows[1] = {row.data()};
      jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    return Take(buffer, size);
  };
  parts.whole = encode(true);
  {
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    jpeg_suppress_tables(&info, FALSE);  // the whole image marked them as sent
    jpeg_write_tables(&info);
    parts.tables = Take(buffer, size);
  }
  jpeg_suppress_tables(&info, TRUE);
  parts.image = encode(false);
  jpeg_destroy_compress(&info);
  return parts;
}

bool DecodesAsJpeg(const std::string& bytes, int* width, int* height) {
  if (bytes.empty()) return false;
  jpeg_decompress_struct info{};
  ErrorJump error{};
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = ErrorExit;
  error.manager.emit_message = Silent;
  jpeg_create_decompress(&info);
  const bool ok = Decode(info, error, bytes, width, height);
  jpeg_destroy_decompress(&info);
  return ok;
}

bool DecodePng(const std::string& bytes, int& width, int& height, std::vector<std::uint8_t>& rgba) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
  image.format = PNG_FORMAT_RGBA;
  rgba.assign(PNG_IMAGE_SIZE(image), 0);
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  width = static_cast<int>(image.width);
  height = static_cast<int>(image.height);
  return true;
}

}  // namespace vantrel::testing
