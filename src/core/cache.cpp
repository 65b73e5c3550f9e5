#include "core/cache.h"

#include <filesystem>
#include <initializer_list>
#include <string_view>

#include "core/text.h"

namespace fs = std::filesystem;

namespace vantrel::core {

namespace {

bool HasExtension(const std::string& name, std::initializer_list<std::string_view> extensions) {
  const auto dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string_view extension = std::string_view(name).substr(dot);
  for (std::string_view wanted : extensions)
    if (EqualsNoCase(extension, wanted)) return true;
  return false;
}

}  // namespace

int CleanCache(const std::string& cachePath, long mode) {
  if (mode < 1 || mode > 3 || cachePath.empty()) return 0;
  std::error_code ec;
  int deleted = 0;
  for (fs::directory_iterator it(cachePath, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec) && !it->is_symlink(ec)) continue;
    const std::string name = it->path().filename().string();
    const bool match = mode == 2 || (mode == 1 && HasExtension(name, {".swf", ".exe", ".tmp"})) ||
                       (mode == 3 && HasExtension(name, {".jpg"}));
    std::error_code removeError;
    if (match && fs::remove(it->path(), removeError)) ++deleted;
  }
  return deleted;
}

}  // namespace vantrel::core
