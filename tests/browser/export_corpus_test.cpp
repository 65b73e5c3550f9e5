// Exports of real movies from the corpus (shapes, gradients, filters, blend modes, text,
// scripts, recorded input) against `vantrel-tool render` of the same frames: a PNG
// sequence byte for byte, an MP4 within 40 dB.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <filesystem>

#include "core/text.h"
#include "export_test_support.h"
#include "flash/av_reference.h"
#include "flash/corpus_toml.h"
#include "support/temp_home.h"

namespace vantrel::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kMovies[] = {
    "visual/simple_shapes/winding_rule",       "visual/gradient_issue_9892",
    "visual/filters/color_matrix",             "visual/filters/blur_scales_with_screen",
    "visual/blend_modes/multiply",             "visual/edittext/edittext_border_filters",
    "visual/fonts/advance_u16",                "avm1/color",
    "avm1/mouse_events_visible_enabled",       "visual/focus_highlight/focus_highlight_render",
};

struct CorpusMovie {
  std::string folder, movie, input;
  int frames = 1;
};

std::vector<CorpusMovie> Movies(const std::string& corpus) {
  std::vector<CorpusMovie> movies;
  for (const char* name : kMovies) {
    CorpusMovie m;
    m.folder = corpus + name + "/";
    m.movie = m.folder + "test.swf";
    if (!fs::exists(m.movie)) continue;
    if (fs::exists(m.folder + "input.json")) m.input = m.folder + "input.json";
    const std::string toml = core::ReadTextFile(m.folder + "test.toml");
    // Enough frames to see a movie move, and those its recorded input needs.
    m.frames = std::clamp(flash::ParseCorpusToml(toml).frames, 3, 40);
    movies.push_back(m);
  }
  return movies;
}

std::vector<std::string> WithInput(std::vector<std::string> args, const CorpusMovie& m) {
  if (!m.input.empty()) {
    args.push_back("--input");
    args.push_back(m.input);
  }
  return args;
}

std::string Render(const CorpusMovie& m, int frame, const std::string& out, const std::string& size = "") {
  std::vector<std::string> args = {"render", m.movie, "-o", out, "--frame", std::to_string(frame)};
  if (!size.empty()) args.insert(args.end(), {"--size", size});
  const auto run = RunTool(WithInput(args, m));
  return run.exitCode == 0 ? std::string() : run.err;
}

TEST(ExportCorpus, PictureSequencesEqualRenderAndMp4FramesAreWithin40Db) {
  const std::string corpus = CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is absent";
  const std::vector<CorpusMovie> movies = Movies(corpus);
  ASSERT_EQ(movies.size(), std::size(kMovies));
  TempHome home;
  for (const CorpusMovie& m : movies) {
    SCOPED_TRACE(m.movie);
    const std::string seq = home.Path() + "seq/";
    std::error_code ignored;
    fs::remove_all(seq, ignored);
    auto run = RunTool(WithInput({"export", m.movie, "-o", seq + "%03d.png", "--frames", std::to_string(m.frames)}, m));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(FilesIn(seq).size(), static_cast<std::size_t>(m.frames));
    const QImage first(QString::fromStdString(seq + "001.png"));
    // Video pictures have even sides: the MP4 and its references are drawn at that size.
    const std::string size = std::to_string(first.width() & ~1) + "x" + std::to_string(first.height() & ~1);
    const std::string mp4 = home.Path() + "movie.mp4";
    run = RunTool(WithInput({"export", m.movie, "-o", mp4, "--frames", std::to_string(m.frames), "--size", size}, m));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<QImage> decoded;
    ASSERT_TRUE(DecodeVideoInto(mp4, decoded));
    ASSERT_EQ(decoded.size(), static_cast<std::size_t>(m.frames));
    double worst = 99, worstCeiling = 99;
    for (const int n : {1, (m.frames + 1) / 2, m.frames}) {
      const std::string rendered = home.Path() + "render.png";
      ASSERT_EQ(Render(m, n, rendered), "");
      std::vector<std::uint8_t> exported, expected;
      char name[16];
      std::snprintf(name, sizeof name, "%03d.png", n);
      ASSERT_TRUE(core::ReadFileBytes(seq + name, exported));
      ASSERT_TRUE(core::ReadFileBytes(rendered, expected));
      EXPECT_EQ(exported, expected) << "frame " << n << " of the PNG sequence";
      ASSERT_EQ(Render(m, n, rendered, size), "");
      const QImage reference(QString::fromStdString(rendered));
      const double psnr = Psnr(decoded[static_cast<std::size_t>(n - 1)], reference);
      // 40 dB, or as close as 4:2:0 colour itself lets a picture come (saturated edges
      // one pixel wide, as in blend modes and coloured text borders).
      const double ceiling = Yuv420Ceiling(reference);
      EXPECT_GE(psnr, std::min(40.0, ceiling - 1.0)) << "frame " << n << " of the MP4; 4:2:0 allows " << ceiling << " dB";
      if (psnr < worst) {
        worst = psnr;
        worstCeiling = ceiling;
      }
    }
    std::printf("[ export ] %-48s %2d frames %s  MP4 PSNR (worst of 3) %.1f dB, 4:2:0 alone %.1f dB\n",
                m.movie.substr(corpus.size()).c_str(), m.frames, size.c_str(), worst, worstCeiling);
  }
}

TEST(ExportCorpus, SoundOfCorpusMoviesMatchesTheAudioVerb) {
  const std::string corpus = CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is absent";
  TempHome home;
  int checked = 0;
  for (const char* name : {"audio/stream_incomplete_loop", "audio/g711_event_alaw", "audio/g711_event_mulaw"}) {
    const std::string movie = corpus + name + "/test.swf";
    if (!fs::exists(movie)) continue;
    SCOPED_TRACE(movie);
    const std::string wav = home.Path() + "audio.wav", mp4 = home.Path() + "sound.mp4";
    ASSERT_EQ(RunTool({"audio", movie, "-o", wav}).exitCode, 0);
    const auto run = RunTool({"export", movie, "-o", mp4});
    if (run.exitCode == 2) continue;  // a movie of one frame has no length of its own
    ASSERT_EQ(run.exitCode, 0) << run.err;
    flash::audio::PcmBuffer exported, reference;
    ASSERT_TRUE(ReferenceAudio(mp4, exported));
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(core::ReadFileBytes(wav, bytes));
    for (std::size_t at = 44; at + 1 < bytes.size(); at += 2)
      reference.samples.push_back(static_cast<float>(static_cast<std::int16_t>(bytes[at] | bytes[at + 1] << 8)) / 32767.0f);
    const MediaProbe probe = ProbeMedia(mp4);
    const int frame = static_cast<int>(44100 / std::max(1.0, probe.frameRate));
    int lag = 0;
    const double correlation = AlignedCorrelation(exported, reference, frame, &lag);
    EXPECT_GE(correlation, 0.99);
    EXPECT_LE(std::abs(lag), frame) << "the sound starts within one frame";
    std::printf("[ export ] %-40s sound correlation %.4f, lag %d samples (a frame is %d)\n", name, correlation, lag, frame);
    ++checked;
  }
  if (checked == 0) GTEST_SKIP() << "no sound movie of the corpus has frames of its own";
}

}  // namespace
}  // namespace vantrel::testing
