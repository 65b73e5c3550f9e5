// Drawing speed of shape-heavy corpus movies at 550x400, one frame drawn per
// iteration without advancing the timeline, at high and low quality, on one thread
// (CPU time). Then full screen: 1920x1080 and 3840x2160 at high quality, drawn by 1, 2
// and all threads (one per core), timed by the clock on the wall. Counters:
// "x_realtime" = frames drawn per second / the movie's frame rate. With
// VANTREL_BENCH_DUMP=FOLDER each movie's last frame is saved there as a PNG. This file uses
// only the control's public calls, so bench/flash/render_vs_qpainter.sh builds the
// same file against the first release's QPainter renderer and compares the two (that
// build, without drawing threads, has the 550x400 rows only).
#include <benchmark/benchmark.h>

#include <QImage>
#include <QString>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/text.h"
#include "flash/control/flash_control.h"
#if __has_include("flash/render/draw_pool.h")
#include <thread>
#define VANTREL_DRAWING_THREADS 1
#endif

namespace {

using vantrel::flash::FlashControl;
namespace fs = std::filesystem;

// Shape-heavy movies first (many curves, strokes, masks, gradients), then the
// filtered and blended ones.
const char* const kMovies[] = {
    "visual/simple_shapes/heavy_tesselation", "visual/simple_shapes/masks", "visual/simple_shapes/strokes/scale",
    "visual/simple_shapes/gradients/focal_radial", "visual/drawing_api/fills_and_lines", "visual/cache_as_bitmap/morph",
    "visual/fonts/advance_u16", "visual/filters/glow", "visual/filters/bevel", "visual/blend_modes/multiply",
};

void DrawMovie(benchmark::State& state, const std::vector<std::uint8_t>& bytes, const char* quality,
               const std::string& name, int width = 550, int height = 400, int threads = 1) {
  FlashControl control;
  if (!control.LoadMovieData(bytes)) {
    state.SkipWithError("movie does not load");
    return;
  }
  control.SetQuality2(quality);
#ifdef VANTREL_DRAWING_THREADS
  control.SetDrawingThreads(threads);
#endif
  control.Tick();
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  // The first drawing builds what the renderer keeps per shape (its outlines); the
  // timing is of the frames after it, as a playing movie draws them.
  control.PaintTo(image);
  for (auto _ : state) {
    control.PaintTo(image);
    benchmark::DoNotOptimize(image.constBits());
  }
  // The last frame drawn, to compare the pictures of two builds byte for byte.
  if (const char* folder = std::getenv("VANTREL_BENCH_DUMP")) {
    std::string file = name + "_" + quality + (width == 550 ? "" : "_" + std::to_string(width));
    std::replace(file.begin(), file.end(), '/', '_');
    image.save(QString::fromStdString(std::string(folder) + "/" + file + ".png"));
  }
  const double rate = std::max(1.0, static_cast<double>(control.GetMovie()->FrameRate()));
  state.counters["x_realtime"] =
      benchmark::Counter(static_cast<double>(state.iterations()) / rate, benchmark::Counter::kIsRate);
}

// Seconds each movie is drawn for: VANTREL_BENCH_MIN_TIME, 0.2 unless set (longer
// runs for profiling).
double MinTime() {
  const char* text = std::getenv("VANTREL_BENCH_MIN_TIME");
  const double seconds = text ? std::atof(text) : 0;
  return seconds > 0 ? seconds : 0.2;
}

void RegisterMovies() {
  const fs::path corpus = VANTREL_CORPUS_DIR;
  for (const char* name : kMovies) {
    std::vector<std::uint8_t> bytes;
    if (!vantrel::core::ReadFileBytes((corpus / name / "test.swf").string(), bytes)) continue;
    for (const char* quality : {"High", "Low"}) {
      benchmark::RegisterBenchmark((std::string("BM_Draw/") + name + "/" + quality).c_str(),
                                   [bytes, quality, name = std::string(name)](benchmark::State& state) {
                                     DrawMovie(state, bytes, quality, name);
                                   })
          ->Unit(benchmark::kMillisecond)
          ->MinTime(MinTime());
    }
  }
#ifdef VANTREL_DRAWING_THREADS
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  std::vector<int> counts{1, 2};
  if (cores > 2) counts.push_back(cores);
  for (const auto& [width, height] : {std::pair{1920, 1080}, std::pair{3840, 2160}}) {
    for (const char* name : kMovies) {
      std::vector<std::uint8_t> bytes;
      if (!vantrel::core::ReadFileBytes((corpus / name / "test.swf").string(), bytes)) continue;
      for (const int threads : counts) {
        const std::string row = "BM_Screen" + std::to_string(height) + "/" + name + "/High/threads:" +
                                std::to_string(threads);
        benchmark::RegisterBenchmark(row.c_str(),
                                     [=, name = std::string(name)](benchmark::State& state) {
                                       DrawMovie(state, bytes, "High", name, width, height, threads);
                                     })
            ->Unit(benchmark::kMillisecond)
            ->MinTime(MinTime())
            ->UseRealTime();
      }
    }
  }
#endif
}

}  // namespace

int main(int argc, char** argv) {
  RegisterMovies();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
