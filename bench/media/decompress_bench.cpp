// Full decompression of a compressed movie of about 50 MB (made here, not stored),
// compared with the baseline: zlib's uncompress of the same stream from memory into a
// buffer allocated once. The movie path includes reading the file and writing the plain
// copy into the cache.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <zlib.h>

#include "media/decompress.h"
#include "media/identify.h"

namespace fs = std::filesystem;
using namespace vantrel;

namespace {

struct Movie {
  std::string folder;
  std::string path;
  std::vector<unsigned char> stream;  // the zlib stream after the 8-byte header
  std::size_t plainBody = 0;

  Movie() {
    char pattern[] = "/tmp/vantrel-bench-XXXXXX";
    folder = std::string(mkdtemp(pattern)) + "/";
    // Movie-like bytes: a 64-letter alphabet with repeats, which deflate packs to about
    // half, so the stream is close to 50 MB.
    std::mt19937 random(1);
    std::string body(96u << 20, '\0');
    // A plain movie header first: RECT of 550x400, 12 fps, 1 frame.
    const unsigned char header[] = {0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00, 0x00, 0x0C, 0x01, 0x00};
    std::copy(std::begin(header), std::end(header), body.begin());
    for (std::size_t i = sizeof header; i < body.size();) {
      if (random() % 64 == 0 && i > 4096) {
        const std::size_t length = 4 + random() % 60, from = i - 1 - random() % 4000;
        for (std::size_t k = 0; k < length && i < body.size(); ++k) body[i++] = body[from + k];
      } else {
        body[i++] = static_cast<char>('0' + random() % 64);
      }
    }
    plainBody = body.size();
    uLongf size = compressBound(body.size());
    stream.resize(size);
    compress2(stream.data(), &size, reinterpret_cast<const Bytef*>(body.data()), body.size(), 6);
    stream.resize(size);
    path = folder + "big.swf";
    std::ofstream out(path, std::ios::binary);
    const std::uint32_t length = static_cast<std::uint32_t>(plainBody + 8);
    const char fileHeader[8] = {'C', 'W', 'S', 10, static_cast<char>(length), static_cast<char>(length >> 8),
                                static_cast<char>(length >> 16), static_cast<char>(length >> 24)};
    out.write(fileHeader, 8);
    out.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
  }
  ~Movie() {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
};

Movie& TheMovie() {
  static Movie movie;
  return movie;
}

void BM_ZlibUncompressBaseline(benchmark::State& state) {
  Movie& movie = TheMovie();
  std::vector<unsigned char> out(movie.plainBody);
  for (auto _ : state) {
    uLongf size = out.size();
    const int result = uncompress(out.data(), &size, movie.stream.data(), movie.stream.size());
    if (result != Z_OK) state.SkipWithError("uncompress failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["stream_MB"] = movie.stream.size() / 1048576.0;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * movie.plainBody));
}

// The whole road: read the compressed file, decompress, write the plain copy under a
// temporary name and rename it into the cache. cacheRoot picks the file system the
// copy goes to: RAM (tmpfs) shows the cost of the work, the disk adds what writing
// 100 MB costs there.
void DecompressFlashFull(benchmark::State& state, const std::string& cacheRoot) {
  Movie& movie = TheMovie();
  media::MediaContext context;
  char pattern[] = "vantrel-bench-cache-XXXXXX";
  const std::string base = cacheRoot + "/" + pattern;
  std::string folder = base;
  if (!mkdtemp(folder.data())) {
    state.SkipWithError("no cache folder");
    return;
  }
  context.CachePath = folder + "/";
  for (auto _ : state) {
    media::MediaRecord record;
    record.SourcePath = record.MoviePath = movie.path;
    record.MovieSize = static_cast<double>(movie.plainBody + 8);
    record.IsCompressed = true;
    if (media::DecompressFlash(context, record, false).empty()) state.SkipWithError("DecompressFlash failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * movie.plainBody));
  std::error_code ec;
  fs::remove_all(folder, ec);
}

void BM_DecompressFlashFullToRam(benchmark::State& state) { DecompressFlashFull(state, "/dev/shm"); }
void BM_DecompressFlashFullToDisk(benchmark::State& state) { DecompressFlashFull(state, TheMovie().folder); }

void BM_IdentifyHeaderOnlyCold(benchmark::State& state) {
  // Header-only identification of the big movie without a cached copy: only the first
  // 10001 bytes are inflated, whatever the movie's size.
  Movie& movie = TheMovie();
  media::MediaContext context;
  context.CachePath = movie.folder + "cache2/";
  fs::create_directories(context.CachePath);
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(context.CachePath);
    fs::create_directories(context.CachePath);
    state.ResumeTiming();
    media::MediaRecord record;
    if (!media::IdentifyMedia(context, movie.path, record, false).empty()) state.SkipWithError("identify failed");
  }
}

}  // namespace

BENCHMARK(BM_ZlibUncompressBaseline)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_DecompressFlashFullToRam)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_DecompressFlashFullToDisk)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_IdentifyHeaderOnlyCold)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
