// Taking the movie out of an arbitrary executable: the trailer, the length checks, the
// copy into the cache, and the version-resource test on the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "media/projector.h"

using namespace vantrel::media;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string folder = [] {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "vantrel-projector-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern + "/";
  }();
  const std::string exe = folder + "game.exe";
  {
    std::ofstream out(exe, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  ExtractRequest request;
  request.target = folder + "game.swf";
  request.skipDoubtful = size > 0 && (data[size - 1] & 0x80);
  std::error_code ec;
  std::filesystem::remove(request.target, ec);
  std::string lastError;
  const std::string movie = ExtractProjectorMovie(exe, request, lastError, nullptr);
  // A movie is never larger than the executable it came from.
  if (!movie.empty() && std::filesystem::file_size(movie, ec) > size) __builtin_trap();
  IsGenericProjector(exe, true);
  return 0;
}
