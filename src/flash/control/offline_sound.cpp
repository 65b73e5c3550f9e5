#include "flash/control/offline_sound.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "flash/audio/mixer.h"
#include "flash/control/flash_control.h"
#include "flash/video/flv_playback.h"

namespace vantrel::flash::audio {

namespace {

// Appends the mixer's output up to total frames rendered.
void PullTo(Mixer& mixer, std::uint64_t total, PcmBuffer& out) {
  const std::size_t have = out.Frames();
  if (total <= have) return;
  out.samples.resize(static_cast<std::size_t>(total) * 2);
  mixer.Render(out.samples.data() + have * 2, static_cast<std::size_t>(total) - have);
}

std::uint64_t FramesFor(double seconds) {
  return static_cast<std::uint64_t>(std::llround(std::clamp(seconds, 0.0, kMaxRenderSeconds) * kMixRate));
}

}  // namespace

bool RenderMovieSound(std::span<const std::uint8_t> movie, double seconds, PcmBuffer& out, std::string* error) {
  Mixer mixer;
  FlashControl control;
  control.SetMixer(&mixer);
  if (!control.LoadMovieData(movie)) {
    if (error) *error = control.LastError();
    return false;
  }
  const double rate = control.GetMovie()->FrameRate();
  if (seconds <= 0) seconds = std::max(1, control.TotalFrames()) / rate;
  const std::uint64_t total = FramesFor(seconds);
  out.samples.clear();
  out.samples.reserve(static_cast<std::size_t>(total) * 2);
  // The first frame is on screen since the load; each later one comes after its
  // share of time, counted from the start so that rounding never adds up.
  for (std::uint64_t frame = 1; out.Frames() < total; ++frame) {
    const auto until = static_cast<std::uint64_t>(std::llround(static_cast<double>(frame) * kMixRate / rate));
    PullTo(mixer, std::min(until, total), out);
    if (out.Frames() < total) control.Tick();
  }
  return true;
}

bool RenderVideoSound(std::span<const std::uint8_t> flv, double seconds, PcmBuffer& out, std::string* error) {
  Mixer mixer;
  video::FlvPlayback playback(&mixer, false);
  if (!playback.OpenBytes(std::vector<std::uint8_t>(flv.begin(), flv.end()))) {
    if (error) *error = playback.Error();
    return false;
  }
  if (seconds <= 0) seconds = playback.Duration();
  const std::uint64_t total = FramesFor(seconds);
  out.samples.clear();
  out.samples.reserve(static_cast<std::size_t>(total) * 2);
  playback.Play();
  constexpr std::uint64_t kStep = kMixRate / 100;  // 10 ms
  while (out.Frames() < total) {
    const std::uint64_t next = std::min(total, out.Frames() + kStep);
    const double milliseconds = static_cast<double>(next - out.Frames()) * 1000.0 / kMixRate;
    PullTo(mixer, next, out);
    playback.Advance(milliseconds);
  }
  return true;
}

std::string EncodeWav(const PcmBuffer& pcm) {
  const std::uint32_t dataBytes = static_cast<std::uint32_t>(pcm.samples.size() * 2);
  std::string wav;
  wav.reserve(44 + dataBytes);
  auto u32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) wav.push_back(static_cast<char>(v >> (8 * i)));
  };
  auto u16 = [&](std::uint16_t v) {
    wav.push_back(static_cast<char>(v));
    wav.push_back(static_cast<char>(v >> 8));
  };
  wav += "RIFF";
  u32(36 + dataBytes);
  wav += "WAVEfmt ";
  u32(16);
  u16(1);  // integer PCM
  u16(2);
  u32(kMixRate);
  u32(kMixRate * 4);
  u16(4);
  u16(16);
  wav += "data";
  u32(dataBytes);
  for (const float sample : pcm.samples) {
    const long value = std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767.0f);
    u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(value)));
  }
  return wav;
}

}  // namespace vantrel::flash::audio
