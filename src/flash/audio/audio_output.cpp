#include "flash/audio/audio_output.h"

#include <SDL.h>

namespace vantrel::flash::audio {

AudioOutput::AudioOutput(Mixer& mixer) : mixer_(mixer) {}

AudioOutput::~AudioOutput() { Close(); }

bool AudioOutput::Open() {
  if (device_) return true;
  if (!initialised_) {
    // SDL would otherwise take SIGINT and SIGTERM for its own quit event, which nobody
    // here reads: the player would ignore a plain `kill`.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      error_ = std::string("no sound: ") + SDL_GetError();
      return false;
    }
    initialised_ = true;
  }
  SDL_AudioSpec wanted{};
  wanted.freq = kMixRate;
  wanted.format = AUDIO_F32SYS;
  wanted.channels = 2;
  wanted.samples = 1024;  // 23 ms: short enough for button clicks, long enough not to starve
  wanted.callback = &AudioOutput::Callback;
  wanted.userdata = this;
  SDL_AudioSpec got{};
  // SDL converts for us when the card wants another format; the mixer always speaks one.
  device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &got, 0);
  if (device_ == 0) {
    error_ = std::string("no sound device: ") + SDL_GetError();
    return false;
  }
  SDL_PauseAudioDevice(device_, 0);
  error_.clear();
  return true;
}

void AudioOutput::Close() {
  if (device_) SDL_CloseAudioDevice(device_);
  device_ = 0;
  if (initialised_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  initialised_ = false;
}

std::string AudioOutput::Driver() const {
  const char* name = device_ ? SDL_GetCurrentAudioDriver() : nullptr;
  return name ? name : "";
}

void AudioOutput::Callback(void* self, std::uint8_t* stream, int length) {
  auto* output = static_cast<AudioOutput*>(self);
  const std::size_t frames = static_cast<std::size_t>(length) / (2 * sizeof(float));
  output->mixer_.Render(reinterpret_cast<float*>(stream), frames);
}

}  // namespace vantrel::flash::audio
