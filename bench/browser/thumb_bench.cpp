// Thumbnail costs, against bare libjpeg-turbo writes of the same picture size.
//
//   bench_thumbnails --jpeg-writes N DIR   writes N 120x90 JPEGs into DIR with a bare
//                                          libjpeg-turbo loop (the baseline of
//                                          thumbs_bench.sh, which times the whole
//                                          `vantrel-tool thumbs` command)
//   bench_thumbnails --per-movie FOLDER    makes the thumbnail of every movie under
//                                          FOLDER once, timing each on the thread's CPU
//                                          clock (identification, loading, seeking to
//                                          the chosen frame, drawing, JPEG), and the
//                                          same number of bare 120x90 JPEG writes;
//                                          prints median, 90th percentile and totals
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "browser/shots.h"
#include "media/projector.h"

namespace {

double ThreadMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

bool BareJpeg(const std::string& path, const std::vector<unsigned char>& rgb, int width, int height) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, out);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&rgb[static_cast<std::size_t>(cinfo.next_scanline) * width * 3]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return std::fclose(out) == 0;
}

std::vector<unsigned char> Picture(int width, int height) {
  std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      unsigned char* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      p[0] = static_cast<unsigned char>(x * 2);
      p[1] = static_cast<unsigned char>(y * 2);
      p[2] = static_cast<unsigned char>((x + y) & 255);
    }
  return rgb;
}

double Percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

int JpegWrites(long count, const std::string& folder) {
  const std::vector<unsigned char> rgb = Picture(120, 90);
  std::filesystem::create_directories(folder);
  for (long i = 0; i < count; ++i)
    if (!BareJpeg(folder + "/" + std::to_string(i) + ".jpg", rgb, 120, 90)) return 1;
  return 0;
}

int PerMovie(const std::string& folder) {
  const std::string work = std::filesystem::temp_directory_path() / ("vantrel-thumb-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(work + "/cache");
  vantrel::media::MediaContext context;
  context.CachePath = work + "/cache/";
  context.UserPath = work + "/";
  context.ExtractProjector = vantrel::media::ExtractEXE;
  std::vector<std::string> movies;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string ext = entry.path().extension().string();
    if (entry.is_regular_file() && (ext == ".swf" || ext == ".exe")) movies.push_back(entry.path().string());
  }
  std::sort(movies.begin(), movies.end());
  vantrel::browser::ShotOptions options;
  std::vector<double> thumbs, jpegs;
  int failed = 0;
  const std::vector<unsigned char> rgb = Picture(120, 90);
  for (std::size_t i = 0; i < movies.size(); ++i) {
    vantrel::media::MediaRecord record;
    const double start = ThreadMs();
    if (!vantrel::browser::MakeThumbnail(context, movies[i], work + "/t.jpg", options, 0.5, record).empty()) ++failed;
    thumbs.push_back(ThreadMs() - start);
    const double bare = ThreadMs();
    BareJpeg(work + "/b.jpg", rgb, 120, 90);
    jpegs.push_back(ThreadMs() - bare);
  }
  std::filesystem::remove_all(work);
  double total = 0, totalBare = 0;
  for (double t : thumbs) total += t;
  for (double t : jpegs) totalBare += t;
  std::printf("movies: %zu (failed: %d)\n", movies.size(), failed);
  std::printf("thumbnail  CPU ms: median %.2f, p90 %.2f, total %.0f\n", Percentile(thumbs, 0.5), Percentile(thumbs, 0.9),
              total);
  std::printf("bare JPEG  CPU ms: median %.3f, p90 %.3f, total %.0f\n", Percentile(jpegs, 0.5), Percentile(jpegs, 0.9),
              totalBare);
  std::printf("median thumbnail / median bare JPEG write: %.1f\n", Percentile(thumbs, 0.5) / Percentile(jpegs, 0.5));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "--jpeg-writes" && argc == 4) return JpegWrites(std::atol(argv[2]), argv[3]);
  if (mode == "--per-movie" && argc == 3) return PerMovie(argv[2]);
  std::fprintf(stderr, "usage: bench_thumbnails --jpeg-writes N DIR | --per-movie FOLDER\n");
  return 2;
}
