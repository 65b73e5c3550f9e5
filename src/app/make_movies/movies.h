// The movies the build makes: the program's own interface movies for Media/Flash and
// the demo movie for Media/Demo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::make_movies {

struct MovieFile {
  std::string relativePath;  // below the Media folder, e.g. "Flash/browse.swf"
  std::vector<std::uint8_t> bytes;
};

// "Demo/Orbits.swf": 480x360 at 30 fps, a 120-frame loop of planets circling a sun
// that jumps back to its first frame by itself.
std::vector<std::uint8_t> MakeOrbitsMovie();

// Every movie the build installs, in a fixed order; the same bytes on every run.
std::vector<MovieFile> AllMovies();

}  // namespace vantrel::make_movies
