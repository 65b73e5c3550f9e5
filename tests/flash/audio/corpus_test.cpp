// The sound of corpus videos and movies against FFmpeg's own decoding of the same data:
// what `vantrel-tool audio` writes must correlate at 0.99 or better once the starts
// are aligned.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "core/text.h"
#include "flash/audio/sound_library.h"
#include "flash/av_reference.h"
#include "flash/control/offline_sound.h"
#include "flash/video/flv_index.h"
#include "support/swf_writer.h"
#include "support/temp_home.h"

namespace vantrel::flash::audio {
namespace {

namespace fs = std::filesystem;
using vantrel::testing::BestCorrelation;
using vantrel::testing::ReferenceAudio;

constexpr int kMaxLag = 4096;

std::string Corpus() { return vantrel::testing::CorpusDir(); }

std::vector<std::uint8_t> Read(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  core::ReadFileBytes(path, bytes);
  return bytes;
}

class FlvSound : public ::testing::TestWithParam<const char*> {};

TEST_P(FlvSound, MatchesFfmpegsDecoding) {
  if (Corpus().empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is absent";
  const std::string path = Corpus() + GetParam();
  if (!fs::exists(path)) GTEST_SKIP() << path << " is absent";
  PcmBuffer ours, reference;
  std::string error;
  ASSERT_TRUE(RenderVideoSound(Read(path), 0, ours, &error)) << error;
  ASSERT_TRUE(ReferenceAudio(path, reference, &error)) << error;
  int lag = 0;
  const double correlation = BestCorrelation(ours, reference, kMaxLag, &lag);
  std::printf("%s: correlation %.4f at lag %d frames\n", GetParam(), correlation, lag);
  EXPECT_GE(correlation, 0.99) << "lag " << lag;
  // The sound lasts as long as FFmpeg's (give or take a block at the end).
  EXPECT_NEAR(static_cast<double>(ours.Frames()), static_cast<double>(reference.Frames()), 0.1 * kMixRate);
}

INSTANTIATE_TEST_SUITE_P(Corpus, FlvSound,
                         ::testing::Values("flv/audio_only_mp3_44k.flv", "flv/h263_176x144_15fps_mp3_22k.flv",
                                           "flv/h263_400x300_25fps_mp3_44k.flv", "flv/h263_240x180_15fps_adpcm_44k.flv",
                                           "flv/h263_320x240_29.97fps_adpcm_22k.flv", "audio/aac/tone_stereo_44100hz.flv",
                                           "audio/aac/tone_mono_22050hz.flv", "audio/g711/tone_alaw_mono.flv"));

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(MovieSoundCorpus, Mp3EventSoundMatchesTheMp3File) {
  if (Corpus().empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is absent";
  const std::string folder = Corpus() + "avm1/sound_start_stop/";
  if (!fs::exists(folder + "sound.mp3")) GTEST_SKIP() << folder << " is absent";
  // The movie's MP3 sound character, started by a StartSound of our own movie.
  const auto library = SoundLibrary::FromMovieFile(Read(folder + "test.swf"), nullptr);
  ASSERT_TRUE(library);
  const SoundCharacter* sound = nullptr;
  for (std::uint16_t id = 1; id < 100 && !sound; ++id) sound = library->Sound(id);
  ASSERT_TRUE(sound);
  ASSERT_EQ(sound->format.codec, 2);
  using vantrel::testing::Le16;
  using vantrel::testing::Le32;
  const std::string define = Le16(1) + std::string(1, static_cast<char>(0x2E | (sound->format.stereo ? 1 : 0))) +
                             Le32(sound->sampleCount) + Le16(static_cast<std::uint16_t>(sound->seekSamples)) +
                             std::string(sound->data.begin(), sound->data.end());
  vantrel::testing::SwfWriter swf(8, 100, 100, 12, 1);
  swf.Tag(14, define, true).Tag(15, Le16(1) + std::string(1, '\0')).ShowFrame();
  const std::string movie = swf.End().Plain();
  PcmBuffer ours, reference;
  std::string error;
  const double seconds = static_cast<double>(sound->sampleCount) / sound->format.rate;
  ASSERT_TRUE(RenderMovieSound(Bytes(movie), seconds, ours, &error)) << error;
  ASSERT_TRUE(ReferenceAudio(folder + "sound.mp3", reference, &error)) << error;
  EXPECT_GE(BestCorrelation(ours, reference, kMaxLag), 0.99);
}

TEST(MovieSoundCorpus, Mp3StreamMatchesTheSameFramesInAVideo) {
  if (Corpus().empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is absent";
  const std::string path = Corpus() + "flv/audio_only_mp3_44k.flv";
  if (!fs::exists(path)) GTEST_SKIP() << path << " is absent";
  // The video's MP3 frames become a movie's stream, one 1152-sample frame per movie
  // frame: 44100 / 1152 = 38.28125 frames per second, exact in 8.8 fixed point.
  const std::vector<std::uint8_t> flv = Read(path);
  video::FlvIndex index;
  ASSERT_TRUE(video::IndexFlv(flv, index, nullptr));
  using vantrel::testing::Le16;
  vantrel::testing::SwfWriter swf(8, 100, 100, 38.28125, static_cast<std::uint16_t>(index.audio.size()));
  swf.RateBytes(72, 38);
  swf.Tag(45, std::string(1, '\x2F') + std::string(1, static_cast<char>(index.audioFlags)) + Le16(1152) + Le16(0));
  for (const video::FlvTag& tag : index.audio) {
    const std::string mp3(reinterpret_cast<const char*>(flv.data() + tag.offset + 1), tag.size - 1);
    swf.Tag(19, Le16(1152) + Le16(0) + mp3, true).ShowFrame();
  }
  const std::string movie = swf.End().Plain();
  PcmBuffer ours, reference;
  std::string error;
  ASSERT_TRUE(RenderMovieSound(Bytes(movie), 2.9, ours, &error)) << error;
  ASSERT_TRUE(ReferenceAudio(path, reference, &error)) << error;
  EXPECT_GE(BestCorrelation(ours, reference, kMaxLag), 0.99);
}

}  // namespace
}  // namespace vantrel::flash::audio
