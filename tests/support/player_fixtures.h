// Small movie files for player tests: plain SWF movies with a chosen frame count, size,
// rate and background, and a projector-like executable that carries one.
#pragma once

#include <cstdint>
#include <string>

namespace vantrel::testing {

struct MovieSpec {
  int frames = 10;
  int width = 550;   // pixels
  int height = 400;  // pixels
  int rate = 12;     // frames per second (whole)
  std::uint32_t background = 0x336699;  // red, green, blue
};

// The bytes of a plain ("FWS", version 6) movie: the header, SetBackgroundColor, one
// ShowFrame per frame and End.
std::string MakeMovie(const MovieSpec& spec = {});

// The bytes of an executable stub ("MZ" and padding) with movie appended, followed by
// the marker 0xFA123456 and the movie's length, as Flash projectors end.
std::string MakeProjector(const std::string& movie);

}  // namespace vantrel::testing
