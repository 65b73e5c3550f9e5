// The command-line splitter that takes a second instance's command line and "/exec"
// statements: items never hold more text than the line they came from.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  vantrel::core::IsExecCommand(text);
  std::size_t total = 0;
  for (const auto& item : vantrel::core::SplitCommandItems(text)) total += item.size();
  if (total > size) __builtin_trap();
  return 0;
}
