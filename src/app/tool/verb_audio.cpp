// vantrel-tool audio MOVIE|VIDEO -o OUT.wav [--seconds S]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/tool/tool_support.h"
#include "app/tool/verbs.h"
#include "core/text.h"

#if VANTREL_HAS_FLASH
#include "flash/control/offline_sound.h"
#endif

namespace vantrel::tool {

int RunAudio(const Args& args) {
#if VANTREL_HAS_FLASH
  std::string input, out;
  double seconds = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (IsFlag(arg, {"-o", "--output"}) && hasValue) {
      out = args[++i];
    } else if (arg == "--seconds" && hasValue) {
      char* end = nullptr;
      const std::string& text = args[++i];
      seconds = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || !(seconds > 0) || seconds > flash::audio::kMaxRenderSeconds)
        return UsageError("audio", "--seconds needs a number of seconds above 0, at most 600");
    } else if (!arg.empty() && arg[0] == '-') {
      return UsageError("audio", "unknown option " + arg);
    } else if (input.empty()) {
      input = arg;
    } else {
      return UsageError("audio", "more than one file given");
    }
  }
  if (input.empty() || out.empty()) return UsageError("audio", "a movie or video and -o OUT.wav are needed");
  std::vector<std::uint8_t> bytes;
  if (!core::ReadFileBytes(input, bytes)) {
    PrintError(input + ": cannot read the file");
    return kExitFailed;
  }
  flash::audio::PcmBuffer pcm;
  std::string error;
  const bool video = bytes.size() >= 3 && bytes[0] == 'F' && bytes[1] == 'L' && bytes[2] == 'V';
  const bool ok = video ? flash::audio::RenderVideoSound(bytes, seconds, pcm, &error)
                        : flash::audio::RenderMovieSound(bytes, seconds, pcm, &error);
  if (!ok) {
    PrintError(input + ": " + error);
    return kExitFailed;
  }
  const std::string failure = core::WriteFileAtomic(out, flash::audio::EncodeWav(pcm));
  if (!failure.empty()) {
    PrintError(out + ": " + failure);
    return kExitFailed;
  }
  return kExitOk;
#else
  (void)args;
  PrintError("audio: this build has no Flash engine");
  return kExitFailed;
#endif
}

}  // namespace vantrel::tool
