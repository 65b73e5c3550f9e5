// The verbs of vantrel-tool. Each takes the arguments after the verb and returns the
// process exit code: 0 success, 1 the work failed, 2 usage error.
#pragma once

#include <string>
#include <vector>

namespace vantrel::tool {

using Args = std::vector<std::string>;

struct Verb {
  const char* name;
  const char* synopsis;  // one line for --help
  int (*run)(const Args& args);
};

int RunInfo(const Args& args);
int RunDecompress(const Args& args);
int RunUnpack(const Args& args);
int RunPack(const Args& args);
int RunExtract(const Args& args);

// Every verb, in the order --help lists them.
const std::vector<Verb>& Verbs();

int RunRender(const Args& args);
int RunTrace(const Args& args);
int RunImage(const Args& args);
int RunAudio(const Args& args);
int RunThumbs(const Args& args);
int RunExport(const Args& args);

}  // namespace vantrel::tool
