// vantrel-tool decompress IN OUT: writes the plain movie of a compressed one.
#include <cstdio>
#include <filesystem>

#include "app/tool/tool_support.h"
#include "app/tool/verbs.h"
#include "core/paths.h"
#include "media/decompress.h"

namespace fs = std::filesystem;

namespace vantrel::tool {

int RunDecompress(const Args& args) {
  if (args.size() != 2) return UsageError("decompress", "expected IN and OUT");
  const std::string& in = args[0];
  const std::string& out = args[1];
  std::error_code ec;
  if (!core::FileExists(in) || core::FolderExists(in)) {
    PrintError(in + ": no such file");
    return kExitFailed;
  }
  if (core::FolderExists(out)) {
    PrintError(out + ": is a folder");
    return kExitFailed;
  }
  if (fs::exists(out, ec) && fs::equivalent(in, out, ec)) {
    PrintError("OUT must not be IN: the source movie is never changed");
    return kExitFailed;
  }
  int code = 0;
  const std::string failure = media::WritePlainMovie(in, out, 0, code);
  if (!failure.empty()) {
    PrintError(in + ": " + failure);
    return kExitFailed;
  }
  if (code != media::kUncompressOk) {
    PrintError(in + ": decompression error " + media::UncompressErrorText(code) + " (the partial copy in " + out +
               " is padded with zeros)");
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace vantrel::tool
