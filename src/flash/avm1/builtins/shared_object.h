// What the player asks of shared objects besides the script class.
#pragma once

namespace vantrel::flash::avm1 {

class MachineInterface;

// Writes every shared object the movies of this runtime opened and filled, as the
// reference player does when a movie is unloaded or the player closes (movies often
// never call flush()). Failures leave the previous files as they were.
void FlushSharedObjects(MachineInterface& machine);

}  // namespace vantrel::flash::avm1
