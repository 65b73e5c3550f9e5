// Objects of the display side that broadcast to listeners (Key, Mouse, Stage,
// Selection, text fields, MovieClipLoader): the methods AsBroadcaster gives them.
#pragma once

#include "flash/avm1/machine.h"

namespace vantrel::flash::avm1 {

// Gives object an empty _listeners array and AsBroadcaster's addListener,
// removeListener and broadcastMessage (when AsBroadcaster is installed), all DontEnum.
void GiveBroadcasterMethods(Runtime& rt, Object* object);

}  // namespace vantrel::flash::avm1
