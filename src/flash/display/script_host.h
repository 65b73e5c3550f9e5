// The seam between the display list and the script machine that runs a movie's code.
// The player owns one host, chosen by the movie it starts with: the ActionScript 3
// machine for a movie made for it, the ActionScript 1/2 machine for every other. The
// display list tells the host what happens to its objects and frames and asks it what
// scripts said (handlers, flags, variables); it never sees the machine's values. A
// display object keeps the host's script cell for it, which only its machine reads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "flash/script/heap.h"
#include "flash/swf/movie.h"

namespace vantrel::flash {

class DisplayObject;
struct LoadedMovie;
class MovieClip;
class MovieRuntime;
class TextField;

// The three queues of a frame's actions, run in this order.
enum class ActionPriority { Init = 0, Construct = 1, Normal = 2 };

class MovieScriptHost {
 public:
  virtual ~MovieScriptHost() = default;

  // A run of scripts starts (a frame, an input event, a call from the host): the
  // scripts get their instruction budget afresh.
  virtual void StartRun() = 0;
  // Whether a script is on the C++ stack now (the heap may not be collected then).
  virtual bool Running() const = 0;

  // Objects. A level's clip (the root, a movie loaded into a level, an empty level)
  // gets its script object.
  virtual void LevelMade(MovieClip& clip) = 0;
  // A clip or button the timeline placed: its script object (of the class linked to
  // its symbol), the execution list, its initialize and construct events and, for
  // clips, its first frame.
  virtual void ClipPlaced(MovieClip& clip) = 0;
  virtual void TextFieldPlaced(TextField& field) = 0;
  virtual void VideoPlaced(DisplayObject& video) = 0;
  // Any object the timeline placed, once it has its place and its own setup.
  virtual void Placed(DisplayObject& object) = 0;
  // The object left the display list from path; scripts that still hold it see that
  // path. keepEarlier: a path noted before (the removal of a parent) stays.
  virtual void Removed(DisplayObject& object, const std::string& path, bool keepEarlier) = 0;
  // The timeline is about to remove the object (still in place, so events bubble).
  virtual void TimelineRemoving(DisplayObject& object) { (void)object; }
  // A movie loaded into the clip replaces what it held: its variables go.
  virtual void ClearVariables(DisplayObject& object) = 0;

  // Frames. FrameStarted comes before the timelines move, FrameActionsDone after the
  // first drain of the queue.
  virtual void FrameStarted() = 0;
  virtual void FrameActionsDone() = 0;
  virtual void QueueBlock(DisplayObject& target, ActionBlock block, ActionPriority priority, bool evenIfRemoved) = 0;
  // Queues a call of target's handler method (no arguments).
  virtual void QueueMethod(DisplayObject& target, const char* method, bool evenIfRemoved) = 0;
  // Runs a block at once (DoInitAction, gotos that run a frame's actions now).
  virtual void RunBlockNow(DisplayObject& target, const ActionBlock& block) = 0;
  // DoInitAction of sprite, once per movie and sprite.
  virtual void RunInitAction(MovieClip& clip, std::uint16_t spriteId, const ActionBlock& block) = 0;
  // DoInitAction of a sprite of a shared library, run on clip (the timeline that
  // imports the library) as the library's code, once per library and sprite.
  virtual void RunLibraryInitAction(MovieClip& clip, const LoadedMovie& library, std::uint16_t spriteId,
                                    const ActionBlock& block) {
    (void)library;
    RunInitAction(clip, spriteId, block);
  }
  // Runs the queued actions until the queues are empty (or the budget is spent).
  // frameLoop: the frame loop drains them, so a collection may run in between.
  virtual void RunQueue(bool frameLoop) = 0;
  // Timers that are due (setInterval, setTimeout).
  virtual void RunTimers() = 0;
  // A callback of the player's loader stage, run as the movie's code.
  virtual void RunCallback(const std::function<void()>& callback) = 0;
  // Text fields bound to variables show what the variables hold now.
  virtual void SyncTextFields() = 0;

  // Text fields bound to a variable: SyncTextVariable shows the variable's value in the
  // field (true when the text changed); TextChanged hands typed text to the variable
  // and tells the field's listeners.
  virtual bool SyncTextVariable(TextField& field) = 0;
  virtual void TextChanged(TextField& field) = 0;

  // Input. What scripts set on an object: whether it has the handler or property name,
  // a flag (none while undefined), a number (none while undefined or null).
  virtual bool HasProperty(DisplayObject& object, const char* name) = 0;
  virtual std::optional<bool> FlagProperty(DisplayObject& object, const char* name) = 0;
  virtual std::optional<double> NumberProperty(DisplayObject& object, const char* name) = 0;
  // Tells the listeners of a global broadcaster ("Mouse", "Key") of event, with number
  // as the argument when given.
  virtual void BroadcastInput(const char* broadcaster, const char* event, std::optional<double> number = {}) = 0;
  // Calls object's handler name now (no arguments).
  virtual void CallHandlerNow(DisplayObject& object, const char* name) = 0;
  // The focus moved from old to now (either may be null): their own focus handlers and
  // the Selection listeners hear it.
  virtual void FocusMoved(DisplayObject* old, DisplayObject* now) = 0;
  // The focused object is being removed: the Selection listeners hear it.
  virtual void FocusRemoved(DisplayObject& old) = 0;

  // Input the host sends along its own display list (ActionScript 3 events) instead of
  // the player's buttons, clip events and Key and Mouse listeners. The player keeps the
  // pointer's position (MousePosition), the keys held and the focus; the host is told
  // of each change. Text (typed or pasted, UTF-8): false when the script refused it.
  virtual bool TakesInput() const { return false; }
  virtual void PointerMoved() {}
  virtual void PointerButton(bool down, int button) { (void)down, (void)button; }
  virtual void PointerWheel(int lines) { (void)lines; }
  virtual void KeyPressed(bool down, int keyCode, int charCode) { (void)down, (void)keyCode, (void)charCode; }
  virtual bool TextTyped(TextField& field, const std::string& utf8) {
    (void)field, (void)utf8;
    return true;
  }

  // Loads. The variables of from as form data; one variable of target set to a text.
  virtual std::string EncodeVariables(DisplayObject& from) = 0;
  virtual void SetTextVariable(DisplayObject& target, const std::string& name, const std::string& value) = 0;

  // The host program's calls: a variable by path from the root ("a", "clip.a",
  // "/clip:a"); reading gives "" for undefined.
  virtual std::string GetVariable(std::string_view path) = 0;
  virtual void SetVariable(std::string_view path, const std::string& value) = 0;

  // The movie goes: what it keeps (shared objects) is written.
  virtual void Unloading() = 0;
  // Marks everything the machine keeps alive.
  virtual void TraceRoots(gc::Tracer& tracer) const = 0;
};

// Makes the host of a movie's script machine (ActionScript 3 or 1/2). Whoever starts a
// movie hands the runtime one that knows the machines; display knows neither.
using ScriptHostFactory = std::function<std::unique_ptr<MovieScriptHost>(MovieRuntime& runtime, bool actionScript3)>;

}  // namespace vantrel::flash
