// Built-in classes and objects of the script core, one file each.
#pragma once

#include "flash/avm1_object.h"

namespace vantrel::flash::avm1 {

// AsBroadcaster: initialize(object) gives object a _listeners array and the methods
// addListener, removeListener and broadcastMessage.
void InstallAsBroadcaster(Runtime& runtime);
// Gives object the broadcaster's methods and an empty _listeners array.
void MakeBroadcaster(Runtime& runtime, const ObjectPtr& object);
// Key: the key codes, isDown/isToggled/getCode/getAscii and the key listeners.
void InstallKey(Runtime& runtime);
// Mouse: show/hide and the mouse listeners.
void InstallMouse(Runtime& runtime);
// Stage and System.IME as far as movies use them as broadcasters (their listeners);
// MovieClipLoader as a constructor of broadcasters (loading clips is not there yet).
void InstallStage(Runtime& runtime);
void InstallSystem(Runtime& runtime);
void InstallMovieClipLoader(Runtime& runtime);

}  // namespace vantrel::flash::avm1
