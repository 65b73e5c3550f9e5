#include "media/png_output.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>
#include <zlib.h>

#include "media/output_file.h"

namespace vantrel::media {

namespace {

// Inflates a zlib stream a few bytes at a time.
class Inflater {
 public:
  explicit Inflater(std::span<const std::uint8_t> input) {
    stream_.next_in = const_cast<Bytef*>(input.data());
    stream_.avail_in = static_cast<uInt>(std::min<std::size_t>(input.size(), 0xFFFFFFFFu));
    ok_ = inflateInit(&stream_) == Z_OK;
  }
  ~Inflater() {
    if (ok_) inflateEnd(&stream_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Fills exactly count bytes; false when the stream is damaged or ends first.
  bool Read(std::uint8_t* out, std::size_t count) {
    if (!ok_ || done_) return count == 0;
    stream_.next_out = out;
    stream_.avail_out = static_cast<uInt>(count);
    while (stream_.avail_out > 0) {
      const int result = inflate(&stream_, Z_NO_FLUSH);
      if (result == Z_STREAM_END) {
        done_ = true;
        break;
      }
      if (result != Z_OK) return false;
    }
    return stream_.avail_out == 0;
  }

 private:
  z_stream stream_{};
  bool ok_ = false;
  bool done_ = false;
};

// Produces an image one row at a time.
class RowSource {
 public:
  virtual ~RowSource() = default;
  std::uint32_t width = 0, height = 0;
  bool alpha = false;
  // Fills row with width RGB or RGBA pixels; false when the data runs out.
  virtual bool NextRow(std::uint8_t* row) = 0;
};

struct PngErrorText {
  char text[200] = "";
};

void PngError(png_structp png, png_const_charp message) {
  auto* error = static_cast<PngErrorText*>(png_get_error_ptr(png));
  std::snprintf(error->text, sizeof error->text, "%s", message ? message : "PNG error");
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<OutputFile*>(png_get_io_ptr(png));
  if (!out->Write(std::span<const std::uint8_t>(data, length))) png_error(png, "write failed");
}

void PngFlush(png_structp) {}

// The part that libpng may leave by longjmp: no objects with destructors live here.
bool WriteRows(png_structp png, png_infop info, RowSource& rows, std::uint8_t* row, bool& sourceFailed) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, rows.width, rows.height, 8, rows.alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (std::uint32_t y = 0; y < rows.height; ++y) {
    if (!rows.NextRow(row)) {
      sourceFailed = true;
      return false;
    }
    png_write_row(png, row);
  }
  png_write_end(png, nullptr);
  return true;
}

std::string WritePng(RowSource& rows, OutputFile& out) {
  if (rows.width == 0 || rows.height == 0) return "The image is empty";
  if (static_cast<std::uint64_t>(rows.width) * rows.height > kMaxImagePixels) return "The image is too large";
  std::vector<std::uint8_t> row(static_cast<std::size_t>(rows.width) * (rows.alpha ? 4 : 3));
  PngErrorText error;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, PngError, PngWarning);
  if (!png) return "Out of memory";
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return "Out of memory";
  }
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  bool sourceFailed = false;
  const bool written = WriteRows(png, info, rows, row.data(), sourceFailed);
  png_destroy_write_struct(&png, &info);
  if (written) return {};
  if (sourceFailed) return "The image data is damaged or incomplete";
  if (!out.Error().empty()) return out.Error();
  return std::string("PNG: ") + error.text;
}

std::uint8_t Unmultiply(std::uint8_t colour, std::uint8_t alpha) {
  if (alpha == 0) return 0;
  return static_cast<std::uint8_t>(std::min(255u, (colour * 255u + alpha / 2u) / alpha));
}

// DefineBitsLossless(2): 8-bit colour-mapped (3), 15-bit RGB (4) or 32-bit (5) pixels in
// zlib data; rows padded to 32 bits.
class LosslessRows final : public RowSource {
 public:
  LosslessRows(std::span<const std::uint8_t> body, bool withAlpha)
      : inflater_(body.size() > 8 ? body.subspan(body[2] == 3 ? 8 : 7) : std::span<const std::uint8_t>{}) {
    alpha = withAlpha;
    if (body.size() < 7) return;
    format_ = body[2];
    width = static_cast<std::uint32_t>(body[3] | (body[4] << 8));
    height = static_cast<std::uint32_t>(body[5] | (body[6] << 8));
    switch (format_) {
      case 3:
        if (body.size() < 8) return;
        rowBytes_ = (width + 3u) & ~3u;
        palette_.assign((body[7] + 1u) * (withAlpha ? 4u : 3u), 0);
        valid_ = inflater_.Read(palette_.data(), palette_.size());
        break;
      case 4:
        rowBytes_ = (width * 2u + 3u) & ~3u;
        valid_ = true;
        break;
      case 5:
        rowBytes_ = width * 4u;
        valid_ = true;
        break;
      default:
        break;
    }
  }

  bool Valid() const { return valid_; }
  int Format() const { return format_; }

  bool NextRow(std::uint8_t* row) override {
    raw_.resize(rowBytes_);
    if (!inflater_.Read(raw_.data(), raw_.size())) return false;
    const std::size_t step = alpha ? 4 : 3;
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t* px = row + x * step;
      std::uint8_t r = 0, g = 0, b = 0, a = 255;
      if (format_ == 3) {
        const std::size_t entry = raw_[x] * step;
        if (entry + step <= palette_.size()) {
          r = palette_[entry];
          g = palette_[entry + 1];
          b = palette_[entry + 2];
          if (alpha) a = palette_[entry + 3];
        } else if (alpha) {
          a = 0;  // an index past the table is transparent
        }
      } else if (format_ == 4) {
        const unsigned value = (raw_[x * 2] << 8) | raw_[x * 2 + 1];
        auto widen = [](unsigned five) { return static_cast<std::uint8_t>((five << 3) | (five >> 2)); };
        r = widen((value >> 10) & 31);
        g = widen((value >> 5) & 31);
        b = widen(value & 31);
      } else {
        a = alpha ? raw_[x * 4] : 255;
        r = raw_[x * 4 + 1];
        g = raw_[x * 4 + 2];
        b = raw_[x * 4 + 3];
      }
      if (alpha) {
        // Lossless2 colours are premultiplied; PNG wants straight alpha.
        px[0] = Unmultiply(r, a);
        px[1] = Unmultiply(g, a);
        px[2] = Unmultiply(b, a);
        px[3] = a;
      } else {
        px[0] = r;
        px[1] = g;
        px[2] = b;
      }
    }
    return true;
  }

 private:
  Inflater inflater_;
  int format_ = -1;
  bool valid_ = false;
  std::size_t rowBytes_ = 0;
  std::vector<std::uint8_t> palette_;
  std::vector<std::uint8_t> raw_;
};

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  bool truncated = false;
};

void JpegErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1); }

void JpegMessage(j_common_ptr info, int level) {
  // A stream that ends early would otherwise be padded with grey rows forever.
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) reinterpret_cast<JpegError*>(info->err)->truncated = true;
}

// libjpeg's longjmp lands in the frame of each call below; none keeps C++ objects.
bool JpegStart(jpeg_decompress_struct& info, JpegError& error, const std::uint8_t* data, unsigned long size) {
  if (setjmp(error.jump)) return false;
  jpeg_mem_src(&info, data, size);
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;
  info.out_color_space = JCS_RGB;
  jpeg_calc_output_dimensions(&info);
  if (static_cast<std::uint64_t>(info.output_width) * info.output_height > kMaxImagePixels) return false;
  jpeg_start_decompress(&info);
  return info.output_components == 3;
}

bool JpegReadRow(jpeg_decompress_struct& info, JpegError& error, std::uint8_t* row) {
  if (setjmp(error.jump)) return false;
  JSAMPROW rows[1] = {row};
  return jpeg_read_scanlines(&info, rows, 1) == 1 && !error.truncated;
}

class JpegAlphaRows final : public RowSource {
 public:
  JpegAlphaRows(std::span<const std::uint8_t> jpeg, std::span<const std::uint8_t> alphaData) : inflater_(alphaData) {
    alpha = true;
    info_.err = jpeg_std_error(&error_.manager);
    error_.manager.error_exit = JpegErrorExit;
    error_.manager.emit_message = JpegMessage;
    jpeg_create_decompress(&info_);
    created_ = true;
    if (jpeg.empty() || !JpegStart(info_, error_, jpeg.data(), static_cast<unsigned long>(jpeg.size()))) return;
    width = info_.output_width;
    height = info_.output_height;
    rgb_.resize(static_cast<std::size_t>(width) * 3);
    mask_.resize(width);
    started_ = true;
  }
  ~JpegAlphaRows() override {
    if (created_) jpeg_destroy_decompress(&info_);
  }

  bool Started() const { return started_; }

  bool NextRow(std::uint8_t* row) override {
    if (!started_ || !JpegReadRow(info_, error_, rgb_.data())) return false;
    if (!alphaEnded_ && !inflater_.Read(mask_.data(), mask_.size())) {
      // Missing alpha: the rest of the picture is opaque.
      alphaEnded_ = true;
    }
    for (std::uint32_t x = 0; x < width; ++x) {
      row[x * 4] = rgb_[x * 3];
      row[x * 4 + 1] = rgb_[x * 3 + 1];
      row[x * 4 + 2] = rgb_[x * 3 + 2];
      row[x * 4 + 3] = alphaEnded_ ? 255 : mask_[x];
    }
    return true;
  }

 private:
  jpeg_decompress_struct info_{};
  JpegError error_{};
  bool created_ = false, started_ = false, alphaEnded_ = false;
  Inflater inflater_;
  std::vector<std::uint8_t> rgb_, mask_;
};

}  // namespace

std::string WriteLosslessPng(std::span<const std::uint8_t> body, bool withAlpha, OutputFile& out) {
  LosslessRows rows(body, withAlpha);
  if (rows.Format() != 3 && rows.Format() != 4 && rows.Format() != 5) return "Unknown bitmap format";
  if (!rows.Valid()) return "The image data is damaged or incomplete";
  return WritePng(rows, out);
}

std::string WriteJpegAlphaPng(std::span<const std::uint8_t> jpeg, std::span<const std::uint8_t> alpha,
                              OutputFile& out) {
  JpegAlphaRows rows(jpeg, alpha);
  if (!rows.Started()) return "The JPEG data cannot be decoded";
  return WritePng(rows, out);
}

}  // namespace vantrel::media
