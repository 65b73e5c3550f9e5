// Arbitrary bytes as a Flash video: the tag index, every video frame through its
// decoder, and a moment of playback with sound.
#include <QImage>
#include <cstddef>
#include <cstdint>

#include "flash/audio/mixer.h"
#include "flash/video/flv_playback.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel::flash;
  std::vector<std::uint8_t> bytes = {'F', 'L', 'V', 1, 5, 0, 0, 0, 9, 0, 0, 0, 0};
  bytes.insert(bytes.end(), data, data + size);
  audio::Mixer mixer;
  video::FlvPlayback playback(&mixer, false);
  if (!playback.OpenBytes(bytes)) return 0;
  playback.Play();
  std::vector<float> out(2 * 441);
  for (int i = 0; i < 5; ++i) {
    playback.Advance(100);
    mixer.Render(out.data(), 441);
  }
  QImage picture;
  playback.DecodeFrame(playback.VideoFrames() - 1, picture);
  playback.Seek(0.5);
  return 0;
}
