// The movie header, the short tag walk, a full tag walk with ReadTagHeader, and the
// in-memory decompression of a compressed movie's body, over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "media/decompress.h"
#include "media/media_file.h"
#include "media/swf_header.h"

using namespace vantrel::media;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  MediaFile file;
  file.OpenMemory(bytes);
  MediaRecord record;
  ReadMovieHeader(file, record);

  // Every tag of the movie, the way resource extraction walks them.
  std::int64_t position = record.HeaderEnd;
  for (int tags = 0; tags < 100000 && position > 0 && position <= static_cast<std::int64_t>(size); ++tags) {
    const TagHeader tag = ReadTagHeader(bytes, position);
    if (tag.Code == kTagEnd) break;
    position = tag.NextPosition();
  }

  if (size > 8) {
    std::vector<std::uint8_t> out;
    int code = 0;
    const std::uint32_t length = data[4] | (data[5] << 8) | (data[6] << 16) | (static_cast<std::uint32_t>(data[7]) << 24);
    // 64 KiB of output is plenty to reach every state of the inflater; more would only
    // zero-fill memory under the sanitizers.
    UncompressData(bytes.subspan(8), out, code, length > (1u << 16) ? (1u << 16) : length);
  }
  return 0;
}
