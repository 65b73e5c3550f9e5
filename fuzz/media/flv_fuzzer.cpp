// The FLV reader over arbitrary bytes: header, tag walk, metadata and picture sizes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "media/flv.h"
#include "media/media_file.h"

using namespace vantrel::media;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string folder = [] {
    char pattern[] = "/tmp/vantrel-flv-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    return std::string(made ? made : "/tmp") + "/";
  }();
  MediaContext context;
  context.UserPath = folder;
  context.FlashPath = folder;
  context.TimeOfDay = [] { return std::string("00:00:00"); };
  MediaFile file;
  file.OpenMemory(std::span<const std::uint8_t>(data, size));
  MediaRecord record;
  record.MoviePath = "clip.flv";
  ReadVideoInfo(context, file, record);
  return 0;
}
