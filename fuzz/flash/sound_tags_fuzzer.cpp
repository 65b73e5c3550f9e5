// Arbitrary bytes as a movie's tags: the tag walk reads the sounds into the model, the
// sound library decodes every sound character and every timeline stream, and the
// movie's sound is rendered for a moment.
#include <cstddef>
#include <cstdint>

#include "flash/audio/sound_library.h"
#include "flash/control/offline_sound.h"
#include "flash/swf/movie_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel::flash::audio;
  auto model = std::make_shared<vantrel::flash::Movie>();
  model->header.version = 8;
  vantrel::flash::ParseMovieTags({data, size}, *model);
  const auto library = std::make_shared<SoundLibrary>(model);
  for (std::uint16_t id = 0; id < 8; ++id) library->Decoded(id);
  for (const std::uint16_t sprite : library->TimelinesWithSounds()) library->Stream(sprite);
  // The same bytes behind a movie header, played for a tenth of a second.
  std::vector<std::uint8_t> movie = {'F', 'W', 'S', 8, 0, 0, 0, 0, 0x00, 0x00, 12, 1, 0};
  movie.insert(movie.end(), data, data + size);
  const std::uint32_t length = static_cast<std::uint32_t>(movie.size());
  for (int i = 0; i < 4; ++i) movie[4 + i] = static_cast<std::uint8_t>(length >> (8 * i));
  PcmBuffer out;
  RenderMovieSound(movie, 0.1, out, nullptr);
  return 0;
}
