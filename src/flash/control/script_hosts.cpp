#include "flash/control/script_hosts.h"

#include "flash/avm1/movie_host.h"
#include "flash/avm2/as3_movie.h"

namespace vantrel::flash {

std::unique_ptr<MovieScriptHost> MakeScriptHost(MovieRuntime& runtime, bool actionScript3) {
  return actionScript3 ? MakeActionScript3Host(runtime) : MakeActionScript1Host(runtime);
}

}  // namespace vantrel::flash
