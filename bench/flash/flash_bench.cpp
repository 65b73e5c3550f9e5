// Frames rendered per second at 550x400 for corpus movies, reported as "x_realtime":
// rendered frames per second divided by the movie's own frame rate (1 = just real
// time). And GotoFrame to the last frame of a 1000-frame movie, next to the baseline
// of stepping there one frame at a time.
#include <benchmark/benchmark.h>

#include <QImage>
#include <filesystem>
#include <string>
#include <vector>

#include "core/text.h"
#include "flash/control/flash_control.h"
#include "support/swf_movie_writer.h"

namespace {

using vantrel::flash::FlashControl;
namespace fs = std::filesystem;

// Movies drawn with shapes, gradients, masks, text and sprites, and some with filters
// and blend modes.
const char* const kMovies[] = {
    "visual/gradient_same_ratios",        "visual/gradient_radial_same_ratios", "visual/simple_shapes/masks",
    "visual/simple_shapes/winding_rule",  "visual/cache_as_bitmap/nested_matrix", "visual/fonts/advance_u16",
    "visual/cache_as_bitmap/morph",       "visual/color_transform_issue_9698",
    // drawn through offscreen layers: filters and blend modes
    "visual/filters/glow",                "visual/filters/drop_shadow",         "visual/filters/bevel",
    "visual/blend_modes/multiply",
};

void RenderMovie(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
  FlashControl control;
  if (!control.LoadMovieData(bytes)) {
    state.SkipWithError("movie does not load");
    return;
  }
  QImage image(550, 400, QImage::Format_RGB32);
  for (auto _ : state) {
    control.Tick();
    control.PaintTo(image);
    benchmark::DoNotOptimize(image.constBits());
  }
  const double rate = control.GetMovie()->FrameRate();
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["x_realtime"] =
      benchmark::Counter(static_cast<double>(state.iterations()) / rate, benchmark::Counter::kIsRate);
}

// 1000 frames; every frame moves ten squares, and every tenth frame replaces them.
std::vector<std::uint8_t> ThousandFrames() {
  using namespace vantrel::testing;
  Bytes tags = SetBackgroundColor(255, 255, 255);
  for (std::uint16_t id = 1; id <= 2; ++id) PutBytes(tags, DefineRectangle(id, 0, 0, 400, 400, id * 100, 0, 0));
  for (int frame = 0; frame < 1000; ++frame) {
    for (std::uint16_t depth = 1; depth <= 10; ++depth) {
      Place place;
      place.depth = depth;
      place.hasMatrix = true;
      place.x = (frame * 7 + depth * 300) % 10000;
      place.y = depth * 600;
      if (frame % 10 == 0) {
        if (frame > 0) PutBytes(tags, RemoveObject2(depth));
        place.character = 1 + (frame / 10) % 2;
      } else {
        place.move = true;
      }
      PutBytes(tags, PlaceObject2(place));
    }
    PutBytes(tags, ShowFrame());
  }
  PutBytes(tags, End());
  return MakeMovie(tags, 550, 400, 1000, 8, 30);
}

void BM_GotoLastFrame(benchmark::State& state) {
  FlashControl control;
  control.LoadMovieData(ThousandFrames());
  control.Stop();
  for (auto _ : state) {
    state.PauseTiming();
    control.Rewind();
    state.ResumeTiming();
    control.GotoFrame(999);
  }
  if (control.FrameNum() != 999) state.SkipWithError("did not reach the last frame");
}
BENCHMARK(BM_GotoLastFrame)->Unit(benchmark::kMillisecond);

// The baseline: the same frames played one at a time.
void BM_StepToLastFrame(benchmark::State& state) {
  FlashControl control;
  control.LoadMovieData(ThousandFrames());
  for (auto _ : state) {
    state.PauseTiming();
    control.Rewind();
    control.Play();
    state.ResumeTiming();
    for (int i = 0; i < 999; ++i) control.Tick();
  }
  if (control.FrameNum() != 999) state.SkipWithError("did not reach the last frame");
}
BENCHMARK(BM_StepToLastFrame)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  const fs::path corpus = VANTREL_CORPUS_DIR;
  std::vector<std::vector<std::uint8_t>> movies;
  movies.reserve(std::size(kMovies));
  for (const char* name : kMovies) {
    std::vector<std::uint8_t> bytes;
    if (!vantrel::core::ReadFileBytes((corpus / name / "test.swf").string(), bytes)) continue;
    movies.push_back(std::move(bytes));
    const auto& stored = movies.back();
    benchmark::RegisterBenchmark((std::string("BM_Render550x400/") + name).c_str(),
                                 [&stored](benchmark::State& state) { RenderMovie(state, stored); });
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
