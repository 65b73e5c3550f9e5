// Image benchmarks.
//
// PNG decoding: our cPNG::LoadPNGData against libpng on the same bytes in memory, in the
// same run. Two libpng baselines: "native" (the lightest libpng set-up that gives pixels
// comparable to our layouts: 16-bit samples stripped, colour in blue-green-red order,
// palettes left indexed) and "rgba" (everything expanded to RGBA, as the tests compare).
// The files are every PNG of the corpus (../shared/corpus), or generated pictures when the
// corpus is absent.
//
// JPEG output: SaveJPEG against a bare libjpeg-turbo loop (same quality, same blue-green-
// red input, same target folder, jpeg_stdio_dest to an fopen'ed file), for 120x90 and
// 550x400 surfaces.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <unistd.h>

#include "browser/dib_section.h"
#include "browser/jpeg_output.h"
#include "browser/png_reader.h"
#include "support/png_reference.h"
#include "support/png_writer.h"

namespace {

using vantrel::browser::cDIBSection;
using vantrel::browser::cPNG;

std::vector<std::vector<std::uint8_t>> LoadFiles() {
  std::vector<std::vector<std::uint8_t>> files;
  std::error_code ec;
  if (std::filesystem::is_directory(VANTREL_CORPUS_DIR, ec)) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(VANTREL_CORPUS_DIR)) {
      if (entry.path().extension() != ".png") continue;
      std::ifstream in(entry.path(), std::ios::binary);
      files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  if (files.empty()) {
    // No corpus: a few generated RGBA pictures with smooth content.
    for (std::uint32_t size : {64u, 256u, 550u}) {
      std::vector<std::string> rows;
      for (std::uint32_t y = 0; y < size; ++y) {
        std::string row;
        for (std::uint32_t x = 0; x < size; ++x) row += {char(x), char(y), char(x + y), char(255 - x)};
        rows.push_back(row);
      }
      const std::string png = vantrel::testing::SimplePng(vantrel::testing::IhdrData(size, size, 8, 6),
                                                          vantrel::testing::UnfilteredRows(rows));
      files.emplace_back(png.begin(), png.end());
    }
  }
  return files;
}

const std::vector<std::vector<std::uint8_t>>& Files() {
  static const std::vector<std::vector<std::uint8_t>> files = LoadFiles();
  return files;
}

std::int64_t TotalBytes() {
  std::int64_t total = 0;
  for (const auto& f : Files()) total += static_cast<std::int64_t>(f.size());
  return total;
}

void BM_PngDecode_Ours(benchmark::State& state) {
  cPNG png;
  for (auto _ : state)
    for (const auto& file : Files()) {
      benchmark::DoNotOptimize(png.LoadPNGData(file));
      benchmark::DoNotOptimize(png.Image().Bits.data());
    }
  state.SetBytesProcessed(state.iterations() * TotalBytes());
  state.counters["files"] = static_cast<double>(Files().size());
}

struct Reader {
  const std::uint8_t* data;
  std::size_t size, pos;
};
void ReadMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* r = static_cast<Reader*>(png_get_io_ptr(png));
  if (count > r->size - r->pos) png_error(png, "short");
  std::memcpy(out, r->data + r->pos, count);
  r->pos += count;
}

bool LibpngNative(const std::vector<std::uint8_t>& file, std::vector<std::uint8_t>& pixels,
                  std::vector<png_bytep>& rows) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  Reader reader{file.data(), file.size(), 0};
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &reader, ReadMemory);
  png_read_info(png, info);
  png_set_strip_16(png);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const std::size_t rowBytes = png_get_rowbytes(png, info);
  const std::uint32_t height = png_get_image_height(png, info);
  pixels.resize(rowBytes * height);
  rows.resize(height);
  for (std::uint32_t y = 0; y < height; ++y) rows[y] = pixels.data() + y * rowBytes;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

void BM_PngDecode_LibpngNative(benchmark::State& state) {
  for (auto _ : state)
    for (const auto& file : Files()) {
      // Fresh buffers per file, as our reader allocates its image per load.
      std::vector<std::uint8_t> pixels;
      std::vector<png_bytep> rows;
      benchmark::DoNotOptimize(LibpngNative(file, pixels, rows));
      benchmark::DoNotOptimize(pixels.data());
    }
  state.SetBytesProcessed(state.iterations() * TotalBytes());
}

void BM_PngDecode_LibpngRgba(benchmark::State& state) {
  for (auto _ : state)
    for (const auto& file : Files()) {
      vantrel::testing::ReferenceImage image;
      benchmark::DoNotOptimize(vantrel::testing::ReferenceDecode(file.data(), file.size(), image));
    }
  state.SetBytesProcessed(state.iterations() * TotalBytes());
}

BENCHMARK(BM_PngDecode_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDecode_LibpngNative)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDecode_LibpngRgba)->Unit(benchmark::kMillisecond);

// JPEG output. Pictures with real detail (a shot is rarely flat): smooth gradients with
// some noise.
cDIBSection MakeShot(int width, int height) {
  cDIBSection surface;
  surface.Create(width, height);
  std::uint32_t noise = 12345;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      noise = noise * 1103515245u + 12345u;
      surface.SetPixel(x, y, ((x * 255 / width) << 16) | ((y * 255 / height) << 8) | ((noise >> 16) & 0x3F));
    }
  return surface;
}

std::string BenchFolder() {
  std::error_code ec;
  return std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm/" : std::filesystem::temp_directory_path().string() + "/";
}

void BM_Jpeg_SaveJPEG(benchmark::State& state) {
  const cDIBSection surface = MakeShot(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const std::string path = BenchFolder() + "vantrel-bench-ours-" + std::to_string(getpid()) + ".jpg";
  vantrel::core::RunError error;
  for (auto _ : state)
    if (!vantrel::browser::SaveJPEG(surface, path, 90, error)) state.SkipWithError(error.description.c_str());
  std::remove(path.c_str());
  state.counters["writes/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Jpeg_BareLibjpeg(benchmark::State& state) {
  const cDIBSection surface = MakeShot(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const std::string path = BenchFolder() + "vantrel-bench-bare-" + std::to_string(getpid()) + ".jpg";
  for (auto _ : state) {
    FILE* file = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(surface.Width());
    info.image_height = static_cast<JDIMENSION>(surface.Height());
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
      JSAMPROW row = const_cast<JSAMPROW>(surface.ScanLine(static_cast<int>(info.next_scanline)));
      jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
  }
  std::remove(path.c_str());
  state.counters["writes/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_Jpeg_SaveJPEG)->Args({120, 90})->Args({550, 400})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Jpeg_BareLibjpeg)->Args({120, 90})->Args({550, 400})->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
