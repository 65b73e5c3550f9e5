// The resource-extraction walk on arbitrary tags: the input follows a fixed movie header
// and every category is switched on, so the JPEG repair and merge, the PNG and FLV
// writers and the sound streams all see the bytes. Files go to one scratch folder that
// is emptied after each run.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "media/extract_resources.h"

namespace {

const std::string& Scratch() {
  static const std::string folder = [] {
    // Memory-backed when there is one: the walk creates and renames files on every run.
    std::error_code ec;
    const std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm", ec) ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
    std::string pattern = (base / "vantrel-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern + "/";
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // "FWS", version 10, length, an empty RECT, 12 fps, one frame: the first tag is at 14.
  std::vector<std::uint8_t> movie = {'F', 'W', 'S', 10, 0, 0, 0, 0, 0, 0, 12, 1, 0};
  movie.insert(movie.end(), data, data + size);
  const auto length = static_cast<std::uint32_t>(movie.size());
  for (int i = 0; i < 4; ++i) movie[4 + i] = static_cast<std::uint8_t>(length >> (8 * i));

  vantrel::media::MediaRecord record;
  record.FileName = "fuzz.swf";
  record.HeaderEnd = 14;
  record.MovieSize = length;
  record.FrameRate = 12;
  vantrel::media::ExtractCounters counters = vantrel::media::CountersFor({true, true, true, true, true});
  vantrel::media::ExtractResourcesFrom(movie, record, Scratch(), {}, counters, nullptr);

  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(Scratch(), ec)) std::filesystem::remove(entry.path(), ec);
  return 0;
}
