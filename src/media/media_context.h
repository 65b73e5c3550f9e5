// The state the media layer shares across calls: the folders it writes to, the text of
// the last conversion failure, the log, and the hook through which projectors are opened.
#pragma once

#include <functional>
#include <string>

#include "core/log.h"

namespace vantrel::core {
class OptionsStore;
}

namespace vantrel::media {

struct MediaContext;

// Turns a projector executable into a movie file: returns the path of the movie it wrote
// (or found already cached), or "" after setting context.LastError to the reason.
using ProjectorExtractor = std::function<std::string(MediaContext& context, const std::string& exePath)>;

// One per program (and one per test): owned by whoever owns the folders, passed by
// reference to every media call that needs it.
struct MediaContext {
  std::string CachePath;  // conversions write here; ends with "/"
  std::string UserPath;   // per-user data folder: "video.xml" goes here; ends with "/"
  std::string FlashPath;  // the program's own movies ("video.swf"); ends with "/"

  // Text of the last conversion failure. Set by decompression and projector extraction,
  // read by IdentifyMedia; never cleared between calls.
  std::string LastError;

  // The unexpected run-time error of the last IdentifyMedia call (a missing or short
  // file, an unwritable cache), cleared when the next call starts. IdentifyMedia's result
  // text can be empty after such an error; this says what happened.
  core::RunError Error;

  core::ExecutionLog* Log = nullptr;        // optional; lines go to its (silent) writer
  core::OptionsStore* Options = nullptr;    // optional; for hooks that read options

  // Called by IdentifyMedia for a file that starts with "MZ". Unset: projectors are
  // refused with LastError "Projector Support Missing".
  ProjectorExtractor ExtractProjector;

  // Time of day as text for the video wrapper's query ("14:03:59"). Unset: the local time.
  std::function<std::string()> TimeOfDay;

  void WriteLog(std::string_view text) const {
    if (Log) Log->WriteLog(text, true);
  }
};

}  // namespace vantrel::media
