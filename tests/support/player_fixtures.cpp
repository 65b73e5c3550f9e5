#include "support/player_fixtures.h"

#include "support/swf_writer.h"

namespace vantrel::testing {

std::string MakeMovie(const MovieSpec& spec) {
  SwfWriter movie(6, spec.width, spec.height, spec.rate, static_cast<std::uint16_t>(spec.frames));
  movie.BackgroundColor(static_cast<std::uint8_t>(spec.background >> 16), static_cast<std::uint8_t>(spec.background >> 8),
                        static_cast<std::uint8_t>(spec.background));
  for (int i = 0; i < spec.frames; ++i) movie.ShowFrame();
  movie.End();
  return movie.Plain();
}

std::string MakeProjector(const std::string& movie) {
  std::string exe = "MZ";
  exe.append(510, '\0');
  return exe + movie + Le32(0xFA123456u) + Le32(static_cast<std::uint32_t>(movie.size()));
}

}  // namespace vantrel::testing
