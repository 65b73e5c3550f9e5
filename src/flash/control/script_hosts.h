// The script machines a movie can ask for: the control starts every runtime with this.
#pragma once

#include <memory>

#include "flash/display/script_host.h"

namespace vantrel::flash {

// The ActionScript 3 machine's host for an ActionScript 3 movie, else the ActionScript
// 1/2 one.
std::unique_ptr<MovieScriptHost> MakeScriptHost(MovieRuntime& runtime, bool actionScript3);

}  // namespace vantrel::flash
