// Broadcasting to an object's listeners the way AsBroadcaster does it, for built-in
// classes that announce events (Key, Mouse, Stage, Selection, MovieClipLoader, ...).
#pragma once

#include <span>
#include <string_view>

#include "flash/avm1/machine.h"

namespace vantrel::flash::avm1 {

// Makes object a broadcaster: a fresh `_listeners` array and the addListener,
// removeListener and broadcastMessage methods of AsBroadcaster (all hidden from for..in).
// Does nothing before InstallAsBroadcaster has run.
void InitializeBroadcaster(MachineInterface& machine, Object* object);
void InitializeBroadcaster(Runtime& rt, Object* object);

// Calls method `message` of every listener in object's `_listeners` (a copy taken
// first, so listeners may add or remove themselves) with args. Returns false when the
// object has no listener array.
bool BroadcastMessage(MachineInterface& machine, Object* object, std::string_view message, std::span<const Value> args = {});

}  // namespace vantrel::flash::avm1
