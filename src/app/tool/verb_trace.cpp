// vantrel-tool trace MOVIE [--frames N] [--input FILE] [--socket FILE] [--script-timeout SECONDS]:
// the movie's trace() output, one line per call, with recorded input (the corpus's
// input.json format) after each frame and a scripted server (its socket.json format)
// answering the movie's socket.
#include <algorithm>
#include <cstdio>
#include <string>

#include "app/tool/tool_support.h"
#include "app/tool/verbs.h"

#if VANTREL_HAS_FLASH
#include "flash/control/flash_control.h"
#include "flash/control/input_script.h"
#include "flash/control/socket_script.h"
#endif

namespace vantrel::tool {

int RunTrace(const Args& args) {
#if VANTREL_HAS_FLASH
  std::string movie, inputPath, socketPath;
  long frames = 1;
  double scriptSeconds = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--frames" && i + 1 < args.size()) {
      if (!ParseCount(args[++i], frames) || frames < 1) return UsageError("trace", "--frames needs a count from 1");
    } else if (arg == "--input" && i + 1 < args.size()) {
      inputPath = args[++i];
    } else if (arg == "--socket" && i + 1 < args.size()) {
      socketPath = args[++i];
    } else if (arg == "--script-timeout" && i + 1 < args.size()) {
      if (!ParseSeconds(args[++i], scriptSeconds)) return UsageError("trace", "--script-timeout needs seconds above 0");
    } else if (!arg.empty() && arg[0] == '-') {
      return UsageError("trace", "unknown option " + arg);
    } else if (movie.empty()) {
      movie = arg;
    } else {
      return UsageError("trace", "more than one movie given");
    }
  }
  if (movie.empty()) return UsageError("trace", "a movie is needed");
  if (const std::string reason = MovieFileProblem(movie); !reason.empty()) {
    PrintError(reason);
    return kExitFailed;
  }
  flash::InputScript input;
  std::string inputError;
  if (!inputPath.empty() && !flash::LoadInputScript(inputPath, input, inputError)) {
    PrintError(inputPath + ": " + inputError);
    return kExitFailed;
  }
  flash::SocketScript socket;
  if (!socketPath.empty()) {
    if (!flash::LoadSocketScript(socketPath, socket, inputError)) {
      PrintError(socketPath + ": " + inputError);
      return kExitFailed;
    }
    flash::SocketOpener() = flash::ScriptedSocketHook(socket);
  }
  flash::FlashControl control;
  control.OnTrace = [](const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
  };
  control.SetScriptSeconds(scriptSeconds);
  if (!control.LoadMovie(0, movie)) {
    PrintError(movie + ": " + control.LastError());
    return kExitFailed;
  }
  control.SetSize(control.GetMovie()->Width(), control.GetMovie()->Height());
  flash::RunRecorded(control, static_cast<int>(std::min(frames, 1L << 30)), inputPath.empty() ? nullptr : &input);
  std::fflush(stdout);
  return kExitOk;
#else
  PrintError("trace: this build has no Flash engine");
  return kExitFailed;
#endif
}

}  // namespace vantrel::tool
