// JPEG data as SWF files carry it, decoded with libjpeg-turbo.
#include <QBuffer>
#include <QImageReader>
#include <csetjmp>
#include <cstdio>
#include <cstring>

extern "C" {
#include <jpeglib.h>
}

#include "flash/character/bitmap.h"

namespace vantrel::flash {
namespace {

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnJpegError(j_common_ptr info) {
  auto* error = reinterpret_cast<JpegError*>(info->err);
  (*info->err->format_message)(info, error->message);
  std::longjmp(error->jump, 1);
}

void OnJpegMessage(j_common_ptr, int) {}  // warnings (such as truncated data) are not errors

struct Header {
  int width = 0, height = 0;
};

// The two phases keep only plain data alive across the setjmp points.
bool ReadJpegHeader(const std::vector<std::uint8_t>& stream, Header* header, std::string* error) {
  jpeg_decompress_struct info;
  JpegError jerr;
  info.err = jpeg_std_error(&jerr.manager);
  jerr.manager.error_exit = OnJpegError;
  jerr.manager.emit_message = OnJpegMessage;
  if (setjmp(jerr.jump)) {
    if (error) *error = std::string("JPEG: ") + jerr.message;
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, stream.data(), static_cast<unsigned long>(stream.size()));
  jpeg_read_header(&info, TRUE);
  header->width = static_cast<int>(info.image_width);
  header->height = static_cast<int>(info.image_height);
  jpeg_destroy_decompress(&info);
  return true;
}

bool DecodeJpegInto(const std::vector<std::uint8_t>& stream, unsigned char* bits, std::size_t stride,
                    std::string* error) {
  jpeg_decompress_struct info;
  JpegError jerr;
  info.err = jpeg_std_error(&jerr.manager);
  jerr.manager.error_exit = OnJpegError;
  jerr.manager.emit_message = OnJpegMessage;
  if (setjmp(jerr.jump)) {
    if (error) *error = std::string("JPEG: ") + jerr.message;
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, stream.data(), static_cast<unsigned long>(stream.size()));
  jpeg_read_header(&info, TRUE);
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;  // BGRA is ARGB32 in memory
  jpeg_start_decompress(&info);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = bits + stride * info.output_scanline;
    if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
    if (cmyk) {  // Adobe writes inverted CMYK
      auto* p = row;
      for (JDIMENSION x = 0; x < info.output_width; ++x, p += 4) {
        const int c = p[0], m = p[1], y = p[2], k = p[3];
        p[0] = static_cast<unsigned char>(y * k / 255);
        p[1] = static_cast<unsigned char>(m * k / 255);
        p[2] = static_cast<unsigned char>(c * k / 255);
        p[3] = 255;
      }
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

// Copies the marker segments of one input; returns true once the scan was copied.
bool CopySegments(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out) {
  std::size_t pos = 0;
  while (pos + 1 < in.size()) {
    if (in[pos] != 0xFF) return false;  // not a marker: the rest is not usable
    const std::uint8_t marker = in[pos + 1];
    if (marker == 0xFF) {
      ++pos;
      continue;
    }
    if (marker == 0xD8 || marker == 0xD9 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      pos += 2;
      continue;
    }
    if (marker == 0xDA) {
      out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(pos), in.end());
      return true;
    }
    if (pos + 3 >= in.size()) return false;
    const std::size_t length = (static_cast<std::size_t>(in[pos + 2]) << 8) | in[pos + 3];
    const std::size_t end = std::min(in.size(), pos + 2 + length);
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(out.size()), in.begin() + static_cast<std::ptrdiff_t>(pos),
               in.begin() + static_cast<std::ptrdiff_t>(end));
    pos = end;
  }
  return false;
}

bool StartsWith(std::span<const std::uint8_t> data, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  return data.size() >= n && std::memcmp(data.data(), prefix, n) == 0;
}

}  // namespace

std::vector<std::uint8_t> CleanJpegStream(std::span<const std::uint8_t> tables, std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> out{0xFF, 0xD8};
  out.reserve(tables.size() + data.size() + 2);
  if (!CopySegments(tables, out)) CopySegments(data, out);
  return out;
}

QImage DecodeSwfJpeg(std::span<const std::uint8_t> tables, std::span<const std::uint8_t> data, std::string* error) {
  const std::vector<std::uint8_t> stream = CleanJpegStream(tables, data);
  Header header;
  if (!ReadJpegHeader(stream, &header, error)) return {};
  if (header.width <= 0 || header.height <= 0 ||
      static_cast<std::int64_t>(header.width) * header.height > kMaxBitmapPixels) {
    if (error) *error = "JPEG too large";
    return {};
  }
  QImage image(header.width, header.height, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) {
    if (error) *error = "out of memory for JPEG";
    return {};
  }
  image.fill(0xFF808080);
  if (!DecodeJpegInto(stream, image.bits(), static_cast<std::size_t>(image.bytesPerLine()), error)) return {};
  return image;
}

// Straight ARGB to premultiplied as the player does it: each channel times alpha / 255,
// rounded down (Qt's conversion rounds to nearest, one step brighter over a backdrop).
static QImage PremultiplyDown(QImage image) {
  for (int y = 0; y < image.height(); ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const std::uint32_t p = row[x], a = p >> 24;
      if (a == 255) continue;
      const std::uint32_t r = ((p >> 16) & 0xFF) * a / 255, g = ((p >> 8) & 0xFF) * a / 255, b = (p & 0xFF) * a / 255;
      row[x] = a << 24 | r << 16 | g << 8 | b;
    }
  }
  image.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
  return image;
}

QImage DecodeImageData(std::span<const std::uint8_t> tables, std::span<const std::uint8_t> data, std::string* error) {
  if (StartsWith(data, "\x89PNG") || StartsWith(data, "GIF8")) {
    QByteArray bytes(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (size.isValid() && static_cast<std::int64_t>(size.width()) * size.height() > kMaxBitmapPixels) {
      if (error) *error = "image too large";
      return {};
    }
    QImage image = reader.read();
    if (image.isNull()) {
      if (error) *error = "cannot decode image: " + reader.errorString().toStdString();
      return {};
    }
    return PremultiplyDown(image.convertToFormat(QImage::Format_ARGB32));
  }
  return DecodeSwfJpeg(tables, data, error);
}

}  // namespace vantrel::flash
