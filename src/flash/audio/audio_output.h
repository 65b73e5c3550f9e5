// The sound card: an SDL2 audio device (the real one, or the "dummy" driver when
// SDL_AUDIODRIVER says so, as in tests) whose callback pulls 44.1 kHz stereo float
// from a mixer.
#pragma once

#include <cstdint>
#include <string>

#include "flash/audio/mixer.h"

namespace vantrel::flash::audio {

class AudioOutput {
 public:
  explicit AudioOutput(Mixer& mixer);
  ~AudioOutput();
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;

  // Opens the device and starts pulling. False with Error() when there is no sound
  // device; the mixer then simply is not heard.
  bool Open();
  void Close();
  bool IsOpen() const { return device_ != 0; }
  const std::string& Error() const { return error_; }
  // The driver SDL chose ("pulseaudio", "alsa", "dummy", ...); "" when closed.
  std::string Driver() const;

 private:
  static void Callback(void* self, std::uint8_t* stream, int length);

  Mixer& mixer_;
  std::uint32_t device_ = 0;
  bool initialised_ = false;
  std::string error_;
};

}  // namespace vantrel::flash::audio
