// What the ActionScript 1/2 machine asks of display objects: their script-visible
// properties (_x, _alpha, _currentframe, ...), children by instance name, target paths,
// and the timeline actions (play, gotoAndStop, ...). Implemented on the display side.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "flash/avm1/object.h"
#include "flash/avm1/value.h"

namespace vantrel::flash {
class DisplayObject;
class EditText;
struct LoadedMovie;
class MovieClip;
struct Rect;
}  // namespace vantrel::flash

namespace vantrel::flash::avm1 {

class Interpreter;

// The native slot of a display object's script object.
class DisplayData final : public NativeData {
 public:
  explicit DisplayData(DisplayObject* object) : object(object) {}
  DisplayObject* object;
  std::string removedPath;  // the path it had when it was removed
  std::string namedPath;    // the path it had before a script first renamed it
  void Trace(gc::Tracer& tracer) const override;
};

// Number of a display property name ("_x" 0 ... "_ymouse" 21, ignoring case), -1 for
// other names.
int DisplayPropertyIndex(std::string_view name);
// Reads or writes property index of object; false when the object has no such property.
bool GetDisplayProperty(Interpreter& machine, DisplayObject& object, int index, Value& out);
bool SetDisplayProperty(Interpreter& machine, DisplayObject& object, int index, const Value& value);
// Names that display objects answer besides the numbered properties (_parent, _root,
// _level0, _lockroot, children by instance name, text field variables); false when
// the name is none of them.
bool GetDisplayMember(Interpreter& machine, DisplayObject& object, std::string_view name, Value& out);
bool SetDisplayMember(Interpreter& machine, DisplayObject& object, std::string_view name, const Value& value);
// Names for for..in: the children with instance names.
void EnumerateDisplay(DisplayObject& object, std::vector<std::string>& names);

// What _root names from object: its level, or the nearest clip above it with _lockroot.
DisplayObject* LevelRoot(DisplayObject* object);
// How a path is walked from its start: what a leading "/" names, and whether "this"
// and "_root" may open it (they do in variable paths such as "this.a:x", not in target
// paths such as tellTarget's).
struct PathStart {
  Object* object = nullptr;         // the scope or clip the walk starts from
  DisplayObject* display = nullptr;  // its display object, when the walk starts on a clip
  DisplayObject* root = nullptr;     // "/" and an opening "_root"
  Value thisValue;                   // an opening "this"
  bool opening = false;              // "this" and "_root" are recognised first
  bool activation = false;           // object is a function's activation
};
// The object a path names: parts split by ":", "." and "/" (after a slash a dot is part
// of the name), any number of colons before a part skipped, "..", "../" and "..:" the
// parent clip. Each part is a child clip first, then a member of the object so far; null
// when a part names nothing or no object.
Object* WalkPath(Interpreter& machine, const PathStart& start, std::string_view path);
// The display object a target path names seen from base ("" is base itself, "/" its
// root, "..", "_parent", "_levelN", children and variables holding clips); null when
// the path names nothing or ends on something other than a clip.
DisplayObject* ResolveTarget(Interpreter& machine, DisplayObject* base, std::string_view path);
// The display object the script object stands for, re-resolved by its path when the
// object was removed and another took its place; null for other objects.
DisplayObject* DisplayOf(Interpreter& machine, Object* object);
// The value a display object stands for in scripts (its script object, or undefined).
Value DisplayValue(DisplayObject* object);

// "_level0.a.b" for a clip (targetPath and how clips print), "movieclip" or "object"
// for typeof.
std::string DisplayDotPath(DisplayObject* object);
std::string DisplayTypeOf(DisplayObject* object);

// unloadMovie on a clip: its unload handlers are queued and its content goes; the
// clip itself stays with its name, place and variables.
void UnloadClipMovie(DisplayObject* clip);

// Timeline actions on a clip (nothing for other objects).
enum class TimelineOp { Play, Stop, NextFrame, PrevFrame };
void TimelineAction(Interpreter& machine, DisplayObject* clip, TimelineOp op);
// gotoAndPlay/gotoAndStop with a 0-based frame (frame numbers) or a label (with an
// optional "path:" prefix for GotoFrame2 strings).
void GotoFrame(Interpreter& machine, DisplayObject* clip, int frame, bool play);
void GotoLabel(Interpreter& machine, DisplayObject* clip, const std::string& label, bool play);
// gotoAndPlay/gotoAndStop (the methods and GotoFrame2, whose scene bias adds to frame
// numbers) with the frame as the script gave it. An integral number counts as a 32-bit
// integer (wrapping) and, from frame 1 on, goes there, to the last loaded frame when it
// is past it; frame 0 and below do nothing, not even stop or play. Anything else is
// text: an optional "path:" prefix names the clip, then a number goes to that frame
// (one with a fraction goes nowhere) and other text to the frame of that label.
void GotoFrameValue(Interpreter& machine, DisplayObject* clip, const Value& frame, bool play, int bias);
// Whether WaitForFrame finds the frame of 0-based index loaded (negative ones are).
bool FrameLoaded(DisplayObject* clip, std::int64_t index);
// WaitForFrame2: whether the frame a value names (as GotoFrameValue reads it) is loaded;
// a value that names no frame counts as loaded.
bool FrameValueLoaded(Interpreter& machine, DisplayObject* clip, const Value& frame);
// duplicateMovieClip / removeMovieClip / startDrag / stopDrag of the timeline actions.
void CloneSprite(Interpreter& machine, DisplayObject* source, const std::string& name, int depth);
// duplicateMovieClip: a copy of source's clip (or text field) beside it at a script
// depth; null when source is neither or has no parent.
DisplayObject* DuplicateClip(Interpreter& machine, DisplayObject* source, const std::string& name, int depth,
                             Object* initObject);
// The definition of a text field a script makes (createTextField, copies of such
// fields): box in twips, a 12-point default font.
EditText ScriptFieldDefinition(const LoadedMovie* movie, const Rect& box);
void RemoveSprite(Interpreter& machine, DisplayObject* clip);
void StartDrag(Interpreter& machine, DisplayObject* clip, bool lockCenter, const double* rect);
void StopDrag(Interpreter& machine);
// getURL and its variants (FSCommand:, loadMovie to a level or target, loadVariables).
// method: 0 none, 1 GET, 2 POST.
void GetUrl(Interpreter& machine, DisplayObject* base, const std::string& url, const std::string& target,
            int method, bool loadTarget, bool loadVariables);
// Runs a frame's actions of clip (the Call action), by frame number or label.
void CallFrame(Interpreter& machine, DisplayObject* clip, const Value& frame);
// toggleHighQuality, stopAllSounds.
void ToggleQuality(Interpreter& machine);
void StopSounds(Interpreter& machine);
// Milliseconds since the movie started (getTimer).
double Timer(Interpreter& machine);
// A pseudo-random integer in [0, max) as the random() action gives it.
int RandomNumber(Interpreter& machine, int max);

}  // namespace vantrel::flash::avm1
