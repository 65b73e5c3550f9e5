// `vantrel-tool audio` and `render` on videos, as a user runs them.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>

#include "core/text.h"
#include "support/run_process.h"
#include "support/swf_writer.h"
#include "support/temp_home.h"

namespace {

namespace fs = std::filesystem;
using vantrel::testing::RunProcess;

TEST(AudioTool, WritesTheMovieSoundAsWavAndRefusesBadInput) {
  vantrel::testing::TempHome home;
  using vantrel::testing::Le16;
  using vantrel::testing::Le32;
  std::string pcm;
  for (int i = 0; i < 4410; ++i) pcm += Le16(8192);
  vantrel::testing::SwfWriter swf(8, 100, 100, 10, 1);
  swf.Tag(14, Le16(1) + std::string(1, '\x3E') + Le32(4410) + pcm, true).Tag(15, Le16(1) + std::string(1, '\0')).ShowFrame();
  const std::string movie = home.WriteFile("beep.swf", swf.End().Plain());
  const std::string wav = home.Path() + "beep.wav";
  const auto run = RunProcess(VANTREL_TOOL_PATH, {"audio", movie, "-o", wav, "--seconds", "0.5"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(vantrel::core::ReadFileBytes(wav, bytes));
  ASSERT_EQ(bytes.size(), 44u + 22050u * 4);
  EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "WAVE");
  // A quarter of full scale in the first 0.1 s, silence after.
  const auto sample = [&](std::size_t frame) {
    return static_cast<std::int16_t>(bytes[44 + frame * 4] | bytes[45 + frame * 4] << 8);
  };
  EXPECT_NEAR(sample(2000), 8192, 2);
  EXPECT_EQ(sample(10000), 0);

  const std::string notMovie = home.WriteFile("note.swf", "just text");
  const auto bad = RunProcess(VANTREL_TOOL_PATH, {"audio", notMovie, "-o", home.Path() + "bad.wav"});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_FALSE(fs::exists(home.Path() + "bad.wav")) << "a failure leaves no file";
  EXPECT_EQ(RunProcess(VANTREL_TOOL_PATH, {"audio", movie, "-o", wav, "--seconds", "abc"}).exitCode, 2);
  EXPECT_EQ(RunProcess(VANTREL_TOOL_PATH, {"audio", movie}).exitCode, 2);
}

TEST(AudioTool, RendersTheNthFrameOfAVideo) {
  const std::string corpus = vantrel::testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is absent";
  const std::string video = corpus + "flv/h263_176x144_12fps.flv";
  if (!fs::exists(video)) GTEST_SKIP() << video << " is absent";
  vantrel::testing::TempHome home;
  const auto first = RunProcess(VANTREL_TOOL_PATH, {"render", video, "-o", home.Path() + "1.png"});
  ASSERT_EQ(first.exitCode, 0) << first.err;
  const auto later = RunProcess(VANTREL_TOOL_PATH, {"render", video, "-o", home.Path() + "30.png", "--frame", "30"});
  ASSERT_EQ(later.exitCode, 0) << later.err;
  const QImage a(QString::fromStdString(home.Path() + "1.png")), b(QString::fromStdString(home.Path() + "30.png"));
  EXPECT_EQ(a.size(), QSize(176, 144));
  EXPECT_NE(a, b);
  const auto past = RunProcess(VANTREL_TOOL_PATH, {"render", video, "-o", home.Path() + "x.png", "--frame", "999"});
  EXPECT_EQ(past.exitCode, 1);
  EXPECT_FALSE(fs::exists(home.Path() + "x.png"));
}

}  // namespace
