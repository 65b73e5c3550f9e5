// What the verbs need to identify files the way the player does: the program's folders
// (the cache and user folders created when missing), the user's options, and a media
// context wired to both with projector extraction plugged in.
#pragma once

#include "core/options.h"
#include "core/paths.h"
#include "media/media_context.h"

namespace vantrel::tool {

struct ToolSession {
  ToolSession();
  ToolSession(const ToolSession&) = delete;
  ToolSession& operator=(const ToolSession&) = delete;

  core::Paths paths;
  core::OptionsStore options;
  media::MediaContext context;  // points at options
};

// What a worker thread of a verb needs: the session's folders and projector hook with
// an options store and a media context of its own (neither may be shared by threads).
struct WorkerSession {
  explicit WorkerSession(const ToolSession& session);
  WorkerSession(const WorkerSession&) = delete;
  WorkerSession& operator=(const WorkerSession&) = delete;

  core::OptionsStore options;
  media::MediaContext context;  // points at options
};

}  // namespace vantrel::tool
