// The plain copy of a compressed movie ("CWS" zlib or "ZWS" LZMA, forced by the first
// byte) written from a file, whole and header-only: whatever the header claims, the
// copy stays within the data's real length plus the padding limit.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "media/decompress.h"

using namespace vantrel::media;

namespace {

const std::string& Scratch() {
  static const std::string folder = [] {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "vantrel-decompress-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern + "/";
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  if (bytes.size() >= 3) bytes.replace(0, 3, (data[0] & 1) ? "ZWS" : "CWS");
  const std::string source = Scratch() + "movie.swf";
  const std::string target = Scratch() + "copy.tmp";
  {
    std::ofstream out(source, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  for (const std::size_t limit : {std::size_t{0}, kHeaderOnlyBody}) {
    int code = 0;
    if (!WritePlainMovie(source, target, limit, code).empty()) continue;
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0) __builtin_trap();
    // zlib and LZMA expand at most about a thousand times; the padding adds a bounded run.
    const std::uint64_t bound = 8 + std::uint64_t{bytes.size()} * 1100 + kMaxCopyPadding + kHeaderOnlyBody;
    if (static_cast<std::uint64_t>(info.st_size) > bound) __builtin_trap();
  }
  return 0;
}
