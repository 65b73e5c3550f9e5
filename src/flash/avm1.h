// The ActionScript 1/2 core: timeline actions, trace, the constant pool, the stack and
// arithmetic, variables of timelines, display-object properties, getURL with the
// "FSCommand:" prefix, functions, objects with prototype chains, arrays and the common
// built-in classes (avm1_object.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "flash/avm1_value.h"

namespace vantrel::flash {
class MovieClip;
struct DisplayObject;
}

namespace vantrel::flash::avm1 {

// Instructions one action block may run before it is stopped (endless loops).
inline constexpr int kMaxInstructions = 1000000;

// Runs one action block with clip as its timeline. Never throws; a malformed block
// stops where it breaks.
void RunActions(MovieClip& clip, std::span<const std::uint8_t> code);

// Calls the function in the clip's variable name (an event handler such as
// "onEnterFrame") with the clip as `this`; nothing when the variable holds no function.
void CallHandler(MovieClip& clip, const std::string& name);

// Calls the method name of object (a clip or a script object) with clip as the running
// timeline; nothing when object has no such function.
void CallMethod(MovieClip& clip, const Value& object, const std::string& name, std::vector<Value> args);

// Sends event with args to every listener in source's _listeners array (the way an
// AsBroadcaster's broadcastMessage does); false when source has no listeners array.
bool Broadcast(MovieClip& clip, const Value& source, const std::string& event, std::vector<Value> args);

// The clip a target path names seen from clip: "" is clip itself; "_root", "_level0"
// and a leading "/" start at the root; "_parent" and ".." go up; names go down, split
// by "." or "/". Null when the path names nothing.
MovieClip* ResolveTarget(MovieClip& clip, const std::string& path);

// Index of a property name ("_x" 0 ... "_ymouse" 21, ignoring case); -1 for others.
int PropertyIndex(const std::string& name);
Value GetProperty(MovieClip& clip, int index);
void SetProperty(MovieClip& clip, int index, const Value& value);

// Variables by path: "name", "path:name", "path.name", or a property name.
Value GetVariable(MovieClip& scope, const std::string& path);
void SetVariable(MovieClip& scope, const std::string& path, const Value& value);

}  // namespace vantrel::flash::avm1
