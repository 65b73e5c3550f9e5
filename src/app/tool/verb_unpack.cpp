// vantrel-tool unpack PROJECTOR OUT [--any-exe]: writes the movie inside a projector.
#include <cstdio>
#include <filesystem>
#include <fcntl.h>
#include <unistd.h>

#include "app/tool/tool_support.h"
#include "app/tool/verbs.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/text.h"
#include "media/decompress.h"
#include "media/output_file.h"
#include "media/projector.h"

namespace fs = std::filesystem;

namespace vantrel::tool {

namespace {

// True when the file starts like a movie ("FWS", "CWS" or "ZWS" and a length field).
bool HoldsMovie(const std::string& path, std::uint64_t& size) {
  std::error_code ec;
  size = fs::file_size(path, ec);
  if (ec || size < 8) return false;
  char head[3] = {};
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  const bool read = std::fread(head, 1, 3, file) == 3;
  std::fclose(file);
  return read && (head[0] == 'F' || head[0] == 'C' || head[0] == 'Z') && head[1] == 'W' && head[2] == 'S';
}

}  // namespace

int RunUnpack(const Args& args) {
  bool anyExe = false;
  std::vector<std::string> names;
  for (const std::string& arg : args) {
    if (IsFlag(arg, {"--any-exe"})) anyExe = true;
    else if (arg.size() > 1 && arg[0] == '-') return UsageError("unpack", "unknown option " + arg);
    else names.push_back(arg);
  }
  if (names.size() != 2) return UsageError("unpack", "expected PROJECTOR and OUT");
  std::error_code ec;
  const std::string exe = fs::absolute(names[0], ec).lexically_normal().string();
  const std::string& out = names[1];
  if (!core::FileExists(exe) || core::FolderExists(exe)) {
    PrintError(names[0] + ": no such file");
    return kExitFailed;
  }
  if (core::FolderExists(out)) {
    PrintError(out + ": is a folder");
    return kExitFailed;
  }
  if (fs::exists(out, ec) && fs::equivalent(exe, out, ec)) {
    PrintError("OUT must not be PROJECTOR: the source file is never changed");
    return kExitFailed;
  }

  const core::Paths paths = core::LayoutPaths(core::FindAppPath(), "Flash Player");
  fs::create_directories(paths.CachePath, ec);
  core::OptionsStore options(core::OptionsStore::DefaultFilePath());
  media::ExtractRequest request;
  request.target = media::CachePathFor(paths.CachePath, exe, ".swf", true, false);
  request.skipDoubtful = !anyExe && options.ReadBoolOption("System", "GenericProjectors");

  std::string lastError;
  const std::string movie = media::ExtractProjectorMovie(exe, request, lastError, nullptr);
  if (movie.empty()) {
    PrintError(names[0] + ": " + core::PlainText(lastError));
    return kExitFailed;
  }
  std::uint64_t size = 0;
  if (!HoldsMovie(movie, size)) {
    PrintError(names[0] + ": Not a Flash Movie (there is no movie inside this executable)");
    return kExitFailed;
  }

  // The copy appears under OUT only when it is complete.
  const int source = ::open(movie.c_str(), O_RDONLY | O_CLOEXEC);
  media::OutputFile copy;
  std::string failure = source < 0 ? "cannot read " + movie : copy.Open(out);
  if (failure.empty() && !media::CopyRange(source, 0, size, copy))
    failure = copy.Error().empty() ? "cannot read " + movie : copy.Error();
  if (source >= 0) ::close(source);
  if (failure.empty()) failure = copy.Commit();
  if (!failure.empty()) {
    PrintError(failure);
    return kExitFailed;
  }
  std::printf("%s: movie of %llu bytes%s\n", out.c_str(), static_cast<unsigned long long>(size),
              lastError == media::kFileAlreadyCached ? " (from the cache)" : "");
  return kExitOk;
}

}  // namespace vantrel::tool
