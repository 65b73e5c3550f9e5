// vantrel-tool pack MOVIE OUT [--stub FILE]: builds a projector from a movie.
#include <cstdio>
#include <filesystem>

#include "app/tool/tool_session.h"
#include "app/tool/tool_support.h"
#include "app/tool/verbs.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/text.h"
#include "media/identify.h"
#include "media/projector.h"

namespace fs = std::filesystem;

namespace vantrel::tool {

int RunPack(const Args& args) {
  std::string stub;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (IsFlag(args[i], {"--stub"})) {
      if (i + 1 >= args.size()) return UsageError("pack", "--stub needs a FILE");
      stub = args[++i];
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      return UsageError("pack", "unknown option " + args[i]);
    } else {
      names.push_back(args[i]);
    }
  }
  if (names.size() != 2) return UsageError("pack", "expected MOVIE and OUT");
  const std::string& out = names[1];
  std::error_code ec;
  const std::string movie = fs::absolute(names[0], ec).lexically_normal().string();
  if (!core::FileExists(movie) || core::FolderExists(movie)) {
    PrintError(names[0] + ": no such file");
    return kExitFailed;
  }
  if (core::FolderExists(out)) {
    PrintError(out + ": is a folder");
    return kExitFailed;
  }
  if (fs::exists(out, ec) && fs::equivalent(movie, out, ec)) {
    PrintError("OUT must not be MOVIE: the source file is never changed");
    return kExitFailed;
  }

  const core::Paths paths = core::LayoutPaths(core::FindAppPath(), "Flash Player");
  if (stub.empty()) stub = media::DefaultStubPath(paths.BinaryPath);
  if (!core::FileExists(stub) || core::FolderExists(stub)) {
    PrintError("no projector stub at " + stub + " (name one with --stub FILE)");
    return kExitFailed;
  }
  ToolSession session;
  media::MediaContext& context = session.context;

  // Identification (header only) names what goes into the projector: the file itself,
  // or the movie taken out of a projector; a compressed movie stays compressed.
  media::MediaRecord record;
  std::string error = media::CheckMediaFile(movie);
  if (error.empty()) error = core::PlainText(media::IdentifyMedia(context, movie, record, false));
  if (error.empty() && record.IsVideo) error = "a Flash video cannot be packed into a projector";
  if (!error.empty()) {
    PrintError(names[0] + ": " + error);
    return kExitFailed;
  }
  if (const std::string failure = media::CreateProjector(context, out, record, stub); !failure.empty()) {
    PrintError(failure);
    return kExitFailed;
  }
  std::printf("%s: projector with a movie of %.0f bytes\n", out.c_str(),
              static_cast<double>(fs::file_size(record.MoviePath, ec)));
  return kExitOk;
}

}  // namespace vantrel::tool
