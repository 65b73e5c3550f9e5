// The PE version-resource reader on arbitrary bytes: it must never read outside the
// image, loop, or allocate without bound.
#include <cstddef>
#include <cstdint>
#include <span>

#include "media/file_versioning.h"
#include "media/projector.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const vantrel::media::VersionInfo info = vantrel::media::ReadVersionInfo(std::span(data, size));
  if (info.values.size() > vantrel::media::kVersionKeys.size()) __builtin_trap();
  vantrel::media::IsGenericProjectorName(info.Value("OriginalFileName"), true);
  return 0;
}
