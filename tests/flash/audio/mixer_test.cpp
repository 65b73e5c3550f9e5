// The mixer: sums in float and clips once, glides volume changes, fades stops, honours
// in/out points, loops and envelopes, and counts what a queue source really played.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "flash/audio/audio_output.h"
#include "flash/audio/mixer.h"
#include "flash/av_reference.h"

namespace vantrel::flash::audio {
namespace {

std::shared_ptr<PcmBuffer> Constant(float value, std::size_t frames) {
  auto pcm = std::make_shared<PcmBuffer>();
  pcm->samples.assign(frames * 2, value);
  return pcm;
}

std::shared_ptr<PcmBuffer> Ramp(std::size_t frames) {
  auto pcm = std::make_shared<PcmBuffer>();
  for (std::size_t i = 0; i < frames; ++i) {
    pcm->samples.push_back(static_cast<float>(i) / 1000.0f);
    pcm->samples.push_back(-static_cast<float>(i) / 1000.0f);
  }
  return pcm;
}

PcmBuffer Pull(Mixer& mixer, std::size_t frames) {
  PcmBuffer out;
  out.samples.resize(frames * 2);
  mixer.Render(out.samples.data(), frames);
  return out;
}

TEST(AudioMixer, SumsInFloatAndClipsOnlyTheResult) {
  Mixer mixer;
  // 0.8 + 0.8 - 0.9 stays 0.7: nothing is clipped on the way.
  mixer.Play(Constant(0.8f, 100), {});
  mixer.Play(Constant(0.8f, 100), {});
  mixer.Play(Constant(-0.9f, 50), {});
  PcmBuffer out = Pull(mixer, 100);
  EXPECT_NEAR(out.samples[0], 0.7f, 1e-6);
  // Once the negative source ended the sum 1.6 is clipped to 1.
  EXPECT_FLOAT_EQ(out.samples[60 * 2], 1.0f);
  EXPECT_EQ(mixer.SourceCount(), 2u);
  Pull(mixer, 1);
  EXPECT_EQ(mixer.SourceCount(), 0u) << "ended sources go";
}

TEST(AudioMixer, VolumeAndPanGlideToTheirLevels) {
  Mixer mixer;
  mixer.Play(Constant(0.5f, 20000), {});
  Pull(mixer, 100);
  mixer.SetVolume(90, 0);
  const PcmBuffer glide = Pull(mixer, 2000);
  // No jump between two frames: the change is spread over the fade time.
  for (std::size_t i = 1; i < glide.Frames(); ++i)
    ASSERT_LT(std::fabs(glide.samples[i * 2] - glide.samples[(i - 1) * 2]), 0.01f);
  EXPECT_NEAR(glide.samples.back(), 0.45f, 1e-5);
  mixer.SetVolume(100, -100);
  const PcmBuffer panned = Pull(mixer, 2000);
  EXPECT_NEAR(panned.samples[1999 * 2], 0.5f, 1e-5);
  EXPECT_NEAR(panned.samples[1999 * 2 + 1], 0.0f, 1e-5);
  EXPECT_EQ(mixer.Volume(), 100);
}

TEST(AudioMixer, OutputLevelFollowsTheVolumeStep) {
  Mixer mixer;
  mixer.Play(Constant(0.5f, kMixRate * 2), {});
  Pull(mixer, kMixRate / 2);
  const float full = mixer.OutputLevel();
  mixer.SetVolume(90);
  Pull(mixer, kMixRate / 2);
  EXPECT_NEAR(mixer.OutputLevel() / full, 0.9f, 1e-3);
}

TEST(AudioMixer, StopFadesOutInsteadOfCutting) {
  Mixer mixer;
  const auto id = mixer.Play(Constant(0.5f, 10000), {}, 7);
  Pull(mixer, 10);
  EXPECT_TRUE(mixer.IsTagPlaying(7));
  mixer.StopTag(7);
  EXPECT_FALSE(mixer.IsPlaying(id));
  const PcmBuffer out = Pull(mixer, Mixer::kFadeFrames + 10);
  EXPECT_GT(out.samples[0], 0.49f);
  EXPECT_LT(out.samples[(Mixer::kFadeFrames / 2) * 2], 0.3f);
  EXPECT_EQ(out.samples[(Mixer::kFadeFrames + 5) * 2], 0.0f);
  EXPECT_EQ(mixer.SourceCount(), 0u);
}

TEST(AudioMixer, InAndOutPointsLoopsAndEnvelope) {
  Mixer mixer;
  PlayParams params;
  params.inPoint = 10;
  params.outPoint = 20;
  params.loops = 2;
  mixer.Play(Ramp(100), params);
  const PcmBuffer out = Pull(mixer, 25);
  for (int i = 0; i < 20; ++i) EXPECT_FLOAT_EQ(out.samples[i * 2], static_cast<float>(10 + i % 10) / 1000.0f) << i;
  EXPECT_EQ(out.samples[22 * 2], 0.0f);

  PlayParams faded;
  faded.envelope = {{0, 0.0f, 1.0f}, {100, 1.0f, 0.0f}};
  mixer.Play(Constant(0.5f, 200), faded);
  const PcmBuffer enveloped = Pull(mixer, 150);
  EXPECT_NEAR(enveloped.samples[50 * 2], 0.25f, 1e-5);      // left rising
  EXPECT_NEAR(enveloped.samples[50 * 2 + 1], 0.25f, 1e-5);  // right falling
  EXPECT_NEAR(enveloped.samples[120 * 2], 0.5f, 1e-5);      // after the last point
  EXPECT_NEAR(enveloped.samples[120 * 2 + 1], 0.0f, 1e-5);
}

TEST(AudioMixer, QueueFadesInAndCountsOnlyFramesItReallyPlayed) {
  Mixer mixer;
  const auto queue = mixer.OpenQueue(nullptr, true);
  const std::vector<float> data(2000, 0.25f);
  mixer.Feed(queue, data.data(), 1000);
  EXPECT_EQ(mixer.Queued(queue), 1000u);
  const PcmBuffer out = Pull(mixer, 1200);
  EXPECT_EQ(mixer.Played(queue), 1000u) << "a dry queue waits in silence";
  EXPECT_LT(out.samples[0], 0.01f) << "a queue picked up mid-sound fades in";
  EXPECT_NEAR(out.samples[220 * 2], 0.125f, 0.01f);
  EXPECT_FLOAT_EQ(out.samples[999 * 2], 0.25f);
  EXPECT_EQ(out.samples[1100 * 2], 0.0f);
  EXPECT_TRUE(mixer.IsPlaying(queue));
}

}  // namespace
}  // namespace vantrel::flash::audio

// Opening the sound device must leave SIGTERM alone: a player with sound still ends on
// a plain `kill`.
TEST(AudioOutputDeathTest, SigtermStillEndsAProcessWithSoundOpen) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        vantrel::flash::audio::Mixer mixer;
        vantrel::flash::audio::AudioOutput output(mixer);
        if (!output.Open()) std::_Exit(3);
        std::raise(SIGTERM);
        std::this_thread::sleep_for(std::chrono::seconds(2));
        std::_Exit(0);
      },
      ::testing::KilledBySignal(SIGTERM), "");
}
