// Flash video: the tag index, pictures against FFmpeg's own decoding, the playhead
// (seeking to key frames, the end), damaged frames, and the video page's variables.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/language.h"
#include "core/text.h"
#include "flash/audio/mixer.h"
#include "flash/av_reference.h"
#include "flash/control/flash_control.h"
#include "flash/video/flv_playback.h"
#include "flash/video/video_page.h"
#include "support/swf_writer.h"
#include "support/temp_home.h"

namespace vantrel::flash::video {
namespace {

namespace fs = std::filesystem;

std::string Corpus() { return vantrel::testing::CorpusDir(); }

std::vector<std::uint8_t> Read(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  core::ReadFileBytes(path, bytes);
  return bytes;
}

TEST(FlvIndexTest, WalksTagsAndStopsAtACutTag) {
  vantrel::testing::FlvWriter writer;
  writer.Audio(0, std::string("\x2F\xFF\xFB", 3)).Video(0, vantrel::testing::H263VideoData(3));
  writer.Video(40, std::string("\x22\x00", 2)).Video(80, std::string("\x52\x00", 2));  // inter frame, command frame
  std::string bytes = writer.Bytes();
  FlvIndex index;
  ASSERT_TRUE(IndexFlv({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, index, nullptr));
  EXPECT_EQ(index.audio.size(), 1u);
  EXPECT_EQ(index.audioFlags, 0x2F);
  ASSERT_EQ(index.video.size(), 2u) << "a command frame carries no picture";
  EXPECT_TRUE(index.video[0].keyFrame);
  EXPECT_FALSE(index.video[1].keyFrame);
  EXPECT_EQ(index.videoCodec, 2);
  EXPECT_FALSE(index.truncated);
  bytes.resize(bytes.size() - 5);
  ASSERT_TRUE(IndexFlv({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, index, nullptr));
  EXPECT_TRUE(index.truncated);
  EXPECT_EQ(index.video.size(), 2u);
  const std::string notFlv = "FWS\x08";
  EXPECT_FALSE(IndexFlv({reinterpret_cast<const std::uint8_t*>(notFlv.data()), notFlv.size()}, index, nullptr));
}

class FlvPictures : public ::testing::TestWithParam<const char*> {};

// Frames of the corpus videos, decoded the way `render` does, against FFmpeg's decoding
// of the same file: at least 40 dB at the video's own size.
TEST_P(FlvPictures, MatchFfmpegsDecoding) {
  if (Corpus().empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is absent";
  const std::string path = Corpus() + "flv/" + GetParam();
  if (!fs::exists(path)) GTEST_SKIP() << path << " is absent";
  std::vector<QImage> reference;
  std::string error;
  ASSERT_TRUE(vantrel::testing::ReferenceVideo(path, reference, &error)) << error;
  FlvPlayback playback;
  ASSERT_TRUE(playback.OpenBytes(Read(path))) << playback.Error();
  ASSERT_EQ(playback.VideoFrames(), static_cast<int>(reference.size()));
  const int count = playback.VideoFrames();
  for (const int n : {0, count / 2, count - 1}) {
    QImage ours;
    ASSERT_TRUE(playback.DecodeFrame(n, ours)) << playback.Error();
    ASSERT_EQ(ours.size(), reference[static_cast<std::size_t>(n)].size()) << "frame " << n;
    EXPECT_GE(vantrel::testing::Psnr(ours, reference[static_cast<std::size_t>(n)]), 40.0) << "frame " << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, FlvPictures,
                         ::testing::Values("h263_128x96_15fps.flv", "h263_160x120_code0_nometa.flv",
                                           "h263_400x300_25fps_mp3_44k.flv", "h263_320x240_29.97fps_adpcm_22k.flv",
                                           "screen_160x120_12fps.flv", "screen2_160x120_12fps.flv",
                                           "screen_320x240_15fps_nometa.flv"));

TEST(FlvPlaybackTest, PlayheadSeeksToKeyFramesAndStopsAtTheEnd) {
  if (Corpus().empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is absent";
  const std::string path = Corpus() + "flv/h263_400x300_25fps_mp3_44k.flv";
  if (!fs::exists(path)) GTEST_SKIP() << path << " is absent";
  audio::Mixer mixer;
  FlvPlayback playback(&mixer, false);
  ASSERT_TRUE(playback.Open(path)) << playback.Error();
  EXPECT_EQ(playback.FrameShown(), 0);
  EXPECT_EQ(playback.Picture().size(), QSize(400, 300));
  playback.Play();
  EXPECT_EQ(mixer.SourceCount(), 1u);
  const QImage first = playback.Picture();
  for (int i = 0; i < 25; ++i) playback.Advance(40);
  EXPECT_NEAR(playback.Time(), 1.0, 1e-9);
  EXPECT_GE(playback.FrameShown(), 24);
  EXPECT_NE(playback.Picture(), first);
  // Seeking lands on the last key frame at or before the target.
  playback.Seek(1.5);
  const auto& video = playback.Index().video;
  const FlvTag& shown = video[static_cast<std::size_t>(playback.FrameShown())];
  EXPECT_TRUE(shown.keyFrame);
  EXPECT_LE(shown.time, 1500u);
  EXPECT_DOUBLE_EQ(playback.Time(), shown.time / 1000.0);
  for (int i = 0; i < 100 && playback.Playing(); ++i) playback.Advance(40);
  EXPECT_TRUE(playback.Ended());
  EXPECT_FALSE(playback.Playing());
  EXPECT_EQ(playback.FrameShown(), playback.VideoFrames() - 1);
  playback.Play();  // from the start again
  EXPECT_LT(playback.Time(), 0.1);
}

TEST(FlvPlaybackTest, ADamagedFrameIsSkippedAndPlayingGoesOn) {
  if (Corpus().empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is absent";
  const std::string path = Corpus() + "flv/h263_176x144_12fps.flv";
  if (!fs::exists(path)) GTEST_SKIP() << path << " is absent";
  std::vector<std::uint8_t> bytes = Read(path);
  FlvIndex index;
  ASSERT_TRUE(IndexFlv(bytes, index, nullptr));
  const FlvTag& victim = index.video[5];
  for (std::size_t i = 1; i < victim.size; ++i) bytes[victim.offset + i] = static_cast<std::uint8_t>(i * 131);
  FlvPlayback playback;
  ASSERT_TRUE(playback.OpenBytes(bytes));
  playback.Play();
  for (int i = 0; i < 40; ++i) playback.Advance(100);
  EXPECT_EQ(playback.FrameShown(), playback.VideoFrames() - 1);
  EXPECT_FALSE(playback.Picture().isNull());
  QImage last;
  EXPECT_TRUE(playback.DecodeFrame(playback.VideoFrames() - 1, last));
}

// A movie carrying the frames of a corpus video as an embedded video stream: the frame
// drawn is the one the placement's ratio names, as the timeline moves it.
TEST(EmbeddedVideoTest, RatioPicksTheFrameDrawn) {
  if (Corpus().empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is absent";
  const std::string path = Corpus() + "flv/h263_128x96_15fps.flv";
  if (!fs::exists(path)) GTEST_SKIP() << path << " is absent";
  const std::vector<std::uint8_t> flv = Read(path);
  FlvIndex index;
  ASSERT_TRUE(IndexFlv(flv, index, nullptr));
  using vantrel::testing::Le16;
  constexpr int kFrames = 20;
  vantrel::testing::SwfWriter swf(8, 128, 96, 15, kFrames);
  swf.Tag(60, Le16(1) + Le16(kFrames) + Le16(128) + Le16(96) + std::string(1, '\0') + std::string(1, '\x02'));
  for (int frame = 0; frame < kFrames; ++frame) {
    const FlvTag& tag = index.video[static_cast<std::size_t>(frame)];
    swf.Tag(61, Le16(1) + Le16(static_cast<std::uint16_t>(frame)) +
                    std::string(reinterpret_cast<const char*>(flv.data() + tag.offset + 1), tag.size - 1), true);
    if (frame == 0)
      swf.Tag(26, std::string(1, '\x12') + Le16(1) + Le16(1) + Le16(0));  // place with ratio 0
    else
      swf.Tag(26, std::string(1, '\x11') + Le16(1) + Le16(static_cast<std::uint16_t>(frame)));  // move, new ratio
    swf.ShowFrame();
  }
  const std::string movie = swf.End().Compressed();  // the video is read from the loader's decompressed body
  FlashControl control;
  ASSERT_TRUE(control.LoadMovieData({reinterpret_cast<const std::uint8_t*>(movie.data()), movie.size()}));
  for (int i = 0; i < 12; ++i) control.Tick();
  ASSERT_EQ(control.FrameNum(), 12);
  QImage drawn(128, 96, QImage::Format_ARGB32_Premultiplied);
  control.PaintTo(drawn);
  FlvPlayback playback;
  ASSERT_TRUE(playback.OpenBytes(flv));
  QImage expected, other;
  ASSERT_TRUE(playback.DecodeFrame(12, expected));
  ASSERT_TRUE(playback.DecodeFrame(3, other));
  const double psnr = vantrel::testing::Psnr(drawn, expected);
  EXPECT_GE(psnr, 35.0);
  EXPECT_GT(psnr, vantrel::testing::Psnr(drawn, other) + 3) << "another frame fits as well";
  control.GotoFrame(3);  // backwards: decoding starts again from the first frame
  control.PaintTo(drawn);
  EXPECT_GE(vantrel::testing::Psnr(drawn, other), 35.0);
}

TEST(VideoPageTest, WrapperUrlDescriptionAndVariables) {
  if (Corpus().empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is absent";
  const std::string flv = Corpus() + "flv/h263_176x144_12fps.flv";
  if (!fs::exists(flv)) GTEST_SKIP() << flv << " is absent";
  vantrel::testing::TempHome home;
  const std::string xml = home.WriteFile("video.xml", "<?xml version=\"1.0\"?><VIDEO>\r\n<SOURCE>" + flv +
                                                           "</SOURCE>\r\n<WIDTH>176</WIDTH>\r\n<HEIGHT>144</HEIGHT>\r\n"
                                                           "<TIME>0</TIME>\r\n</VIDEO>\r\n");
  std::string xmlPath;
  EXPECT_TRUE(IsVideoWrapperUrl("/app/Media/Flash/video.swf?myXML=" + core::EscapeText(xml) + "&time=14:03:59",
                                "/app/Media/Flash/video.swf", &xmlPath));
  EXPECT_EQ(xmlPath, xml);
  EXPECT_FALSE(IsVideoWrapperUrl("/elsewhere/video.swf?myXML=x", "/app/Media/Flash/video.swf", nullptr));

  VideoPage page(nullptr, false);
  ASSERT_TRUE(page.Open(xmlPath)) << page.Error();
  EXPECT_EQ(page.Description().width, 176);
  EXPECT_EQ(page.GetVariable("playing"), "0");
  EXPECT_EQ(page.GetVariable("myVideo.playheadTime"), "0.000");
  page.SetVariable("playing", "1");
  page.Advance(1250);
  EXPECT_EQ(page.GetVariable("playing"), "1");
  EXPECT_EQ(page.GetVariable("myVideo.playheadTime"), "1.250");
  page.SetVariable("playing", "0");
  page.Advance(500);
  EXPECT_EQ(page.GetVariable("myVideo.playheadTime"), "1.250") << "a paused page keeps its time";
  // 500 per mille of 3 s: the key frame at or before 1.5 s.
  page.SetVariable("seeking", "500");
  EXPECT_LE(std::stod(page.GetVariable("myVideo.playheadTime")), 1.5);
  page.GotoFrame(20);
  EXPECT_EQ(page.CurrentFrame(), 20);
  page.Step(-1);
  EXPECT_EQ(page.CurrentFrame(), 19);
  page.Rewind();
  EXPECT_EQ(page.CurrentFrame(), 0);
  EXPECT_FALSE(page.Playing());

  VideoPage missing(nullptr, false);
  EXPECT_FALSE(missing.Open(home.Path() + "nothing.xml"));
  EXPECT_FALSE(missing.Error().empty());
}

}  // namespace
}  // namespace vantrel::flash::video
