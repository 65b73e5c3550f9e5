// The verbs that run movies (render, trace, audio, thumbs, export) need the engine, and with it QtGui. They
// live in the helper "vantrel-tool-engine", so that every other verb starts without
// loading those libraries; here they hand the whole command over to it.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/tool/tool_support.h"
#include "app/tool/verbs.h"

namespace fs = std::filesystem;

namespace vantrel::tool {

namespace {

// Beside this program in a build tree, in <prefix>/libexec/vantrel/ when installed.
std::string EngineHelperPath() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const fs::path folder = self.parent_path();
  for (const fs::path& candidate :
       {folder / "vantrel-tool-engine", folder.parent_path() / "libexec" / "vantrel" / "vantrel-tool-engine"}) {
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

int ForwardToEngine(const char* verb, const Args& args) {
  const std::string helper = EngineHelperPath();
  if (helper.empty()) {
    PrintError(std::string(verb) + " needs the engine helper vantrel-tool-engine, which is not installed");
    return kExitFailed;
  }
  std::vector<std::string> words = {helper, verb};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  execv(helper.c_str(), argv.data());
  PrintError("cannot start " + helper);
  return kExitFailed;
}

}  // namespace

int RunRender(const Args& args) { return ForwardToEngine("render", args); }
int RunTrace(const Args& args) { return ForwardToEngine("trace", args); }
int RunAudio(const Args& args) { return ForwardToEngine("audio", args); }
int RunThumbs(const Args& args) { return ForwardToEngine("thumbs", args); }
int RunExport(const Args& args) { return ForwardToEngine("export", args); }

}  // namespace vantrel::tool
