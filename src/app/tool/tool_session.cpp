#include "app/tool/tool_session.h"

#include <filesystem>

#include "core/cache.h"
#include "media/projector.h"

namespace vantrel::tool {

ToolSession::ToolSession()
    : paths(core::LayoutPaths(core::FindAppPath(), "Flash Player")),
      options(core::OptionsStore::DefaultFilePath()) {
  std::error_code ec;
  std::filesystem::create_directories(paths.CachePath, ec);
  std::filesystem::create_directories(paths.UserPath, ec);
  core::RemoveStaleTemporaries(paths.CachePath);
  context.CachePath = paths.CachePath;
  context.UserPath = paths.UserPath;
  context.FlashPath = paths.FlashPath;
  context.Options = &options;
  context.ExtractProjector = media::ExtractEXE;
}

WorkerSession::WorkerSession(const ToolSession& session) : options(session.options.FilePath()) {
  context.CachePath = session.context.CachePath;
  context.UserPath = session.context.UserPath;
  context.FlashPath = session.context.FlashPath;
  context.Options = &options;
  context.ExtractProjector = session.context.ExtractProjector;
}

}  // namespace vantrel::tool
