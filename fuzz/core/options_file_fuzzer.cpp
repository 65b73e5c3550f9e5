// Feeds arbitrary bytes to the options file reader, then reads typed values back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto parsed = vantrel::core::ParseOptionsText(text);
  for (const auto& entry : parsed.entries) {
    if (entry.section.empty() && entry.key.size() > size) __builtin_trap();
  }
  return 0;
}
