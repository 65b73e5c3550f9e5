// Identification of an arbitrary file the way the player and `info` do it: the
// signature, the movie header with its metadata XML, header-only and full decompression
// into the cache, projectors (doubtful ones allowed) and videos, then the facts shown to
// the user. The first byte picks header-only or full identification; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "media/identify.h"
#include "media/movie_facts.h"
#include "media/projector.h"

using namespace vantrel::media;

namespace {

const std::string& Scratch() {
  static const std::string folder = [] {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "vantrel-identify-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    std::filesystem::create_directories(pattern + "/cache");
    return pattern + "/";
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const bool full = data[0] & 1;
  const std::string path = Scratch() + "input.bin";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  }
  MediaContext context;
  context.CachePath = Scratch() + "cache/";
  context.UserPath = Scratch();
  context.FlashPath = Scratch();
  context.TimeOfDay = [] { return std::string("00:00:00"); };
  context.ExtractProjector = [](MediaContext& c, const std::string& exe) {
    ExtractRequest request;
    request.target = c.CachePath + "projector.swf";
    request.skipDoubtful = false;
    std::filesystem::remove(request.target);
    return ExtractProjectorMovie(exe, request, c.LastError, nullptr);
  };
  MediaRecord record;
  IdentifyMedia(context, path, record, full);
  MovieInfoTextsFor(record);
  // The cache copy of one input must not stand for the next one.
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(context.CachePath, ec))
    std::filesystem::remove(entry.path(), ec);
  return 0;
}
