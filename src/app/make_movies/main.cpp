// vantrel-make-movies MEDIA_FOLDER: writes the program's own interface movies into
// MEDIA_FOLDER/Flash and the demo movie into MEDIA_FOLDER/Demo. The build runs it; a
// file whose bytes are already right is left alone so its time stamp does not change.
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/make_movies/movies.h"
#include "core/text.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vantrel-make-movies MEDIA_FOLDER\n");
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path media = argv[1];
  int failures = 0;
  for (const auto& movie : vantrel::make_movies::AllMovies()) {
    const fs::path target = media / movie.relativePath;
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    std::vector<std::uint8_t> present;
    if (vantrel::core::ReadFileBytes(target.string(), present) && present == movie.bytes) continue;
    const std::string error = vantrel::core::WriteFileAtomic(
        target.string(), std::string_view(reinterpret_cast<const char*>(movie.bytes.data()), movie.bytes.size()));
    if (!error.empty()) {
      std::fprintf(stderr, "vantrel-make-movies: %s: %s\n", target.c_str(), error.c_str());
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
