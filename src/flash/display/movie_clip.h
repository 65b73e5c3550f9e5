// Containers: movie clips (a running timeline with children by depth) and buttons (a
// container of the records of their current state). Both have a script object and run
// in the player's execution list, newest first.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "flash/display/display_object.h"

namespace vantrel::flash {

class MovieClip : public DisplayObject {
 public:
  static constexpr int kMaxNesting = 64;
  // Timeline depths as scripts see them: SWF depth 1 is -16383.
  static constexpr std::int32_t kDepthBias = 16384;

  // timeline is null for clips made by createEmptyMovieClip (one empty frame).
  MovieClip(MovieRuntime& player, const LoadedMovie* movie, const Timeline* timeline, DisplayKind kind = DisplayKind::MovieClip);

  // Children in depth order.
  const std::map<std::int32_t, DisplayObject*>& Children() const { return children_; }
  DisplayObject* ChildAt(std::int32_t depth) const;
  // The child with instance name (ASCII case ignored unless caseSensitive), the lowest
  // depth first; null when none.
  DisplayObject* ChildByName(std::string_view name, bool caseSensitive) const;
  // Puts child at depth; an object already there is removed.
  void AddChild(DisplayObject* child, std::int32_t depth);
  // Takes child off the list: it is marked removed, its unload events are queued
  // (unless unloadEvents is false: they ran already).
  void RemoveChild(DisplayObject* child, bool unloadEvents = true);
  // The removal of the timeline and of removeMovieClip: a clip that waits for its own
  // or a child's unload event stays reachable until the next frame, moved below the
  // timeline's depths (see RemovalPending), and goes then.
  void RemoveOrDelay(DisplayObject* child);
  // A clip moved out of the way by RemoveOrDelay.
  bool RemovalPending() const { return parent_ && depth < kLowestDepth; }
  static constexpr std::int32_t kLowestDepth = -16384;
  // Moves child to depth, swapping with what is there.
  void SwapDepths(DisplayObject* child, std::int32_t depth);
  // The depth above every child (0 when there are none), as getNextHighestDepth gives.
  std::int32_t NextHighestDepth() const;
  // Nesting of this container under the stage.
  int Nesting() const;

  // The timeline.
  const Timeline* GetTimeline() const { return timeline_; }
  void SetTimeline(const Timeline* timeline, const LoadedMovie* movie);
  // 0-based current frame; -1 before the first frame ran.
  int CurrentFrame() const { return current_; }
  int TotalFrames() const { return timeline_ ? timeline_->frameCount : 1; }
  // Frames that may play: those the file holds, up to the first whose imported
  // libraries are still on their way.
  int FramesLoaded() const;
  bool Playing() const { return playing_; }
  void Play() { playing_ = true; }
  void Stop() { playing_ = false; }
  // The player's per-tick step for this clip: its load (first time) or enterFrame
  // event, then the next frame's tags when it plays (for ActionScript 3, the placements
  // of the frame AdvanceFrame stepped to).
  void RunFrame();
  // ActionScript 3 splits the step: the playhead moves to the next frame (or back to the
  // first) and what that frame removes goes before the enterFrame event; RunFrame then
  // places the frame's new objects.
  void AdvanceFrame();
  // A clip a script made showed its first frame when it was made; the next step keeps it
  // there, and the one after moves on.
  bool holdsFirstStep = false;
  // Goes to a 0-based frame (clamped to the loaded frames) and, with runActions, queues
  // that frame's actions; the display list is rebuilt as the timeline has it there.
  void GotoFrame(int frame, bool play, bool runActions = true);
  void NextFrame();
  void PrevFrame();
  // Queues the actions of frame (0-based) without moving the playhead (the Call action).
  void CallFrame(int frame);
  // Queues onClipEvent handlers for event bits and the method name (onLoad, ...).
  void QueueEvent(std::uint32_t eventBits, const char* method);
  bool Initialized() const { return initialized_; }

  // onClipEvent handlers of the placement.
  std::vector<ClipAction> clipActions;
  // The sprite's character id (0 for the root and empty clips), for registerClass.
  std::uint16_t spriteId = 0;

  // Buttons: the button character and the state shown (1 up, 2 over, 4 down).
  const ButtonCharacter* button = nullptr;
  std::uint8_t buttonState = 0;
  void ShowButtonState(std::uint8_t state);
  // ActionScript 3 buttons keep one object per state (up, over, down, hit test), made
  // once. The shown state is the button's only child; the hit test state is never shown
  // but names the button as its parent, so that it is hit where the button stands.
  static constexpr int kStateCount = 4;
  std::array<DisplayObject*, kStateCount> stateObjects{};
  bool keepsStates = false;
  // A disabled button keeps its up state (a clip's enabled reads back the same flag); a
  // menu button takes a press that started on another one.
  bool buttonEnabled = true;
  bool trackAsMenu = false;
  // Sets a state's object (null for none); the state shown changes on the spot.
  void SetStateObject(int index, DisplayObject* object);
  // The state (0 up ... 3 hit test) an object stands for, -1 when it is none of them.
  int StateIndexOf(const DisplayObject* object) const;
  // While a button's states are made their objects hang off the button without being
  // its children (they see its stage); Detach lets one go again.
  void HoldUnlisted(DisplayObject* object);
  static void Detach(DisplayObject* object);
  // Makes the object a button record places (named, transformed as the record says) at
  // the record's depth, as a child (listed) or unlisted for a state being made, and tells
  // the scripts; null when it cannot be made.
  DisplayObject* PlaceButtonRecord(const ButtonRecord& record, bool listed);

  // Shapes drawn by the drawing API, as a character the renderer draws under the children.
  std::shared_ptr<Drawable> drawing;

  // Marks this clip and everything under it removed (their scripts see them gone). Each
  // clip keeps the path it had; `path` is this clip's own when the caller has it.
  void MarkRemoved();
  void MarkRemoved(const std::string& path);
  // Frames a goto skipped over still hold sounds and init actions; the renderer only
  // needs children.
  QRectF LocalBounds() const override;

  void Trace(gc::Tracer& tracer) const override;

 private:
  friend class MovieRuntime;
  void RunFrameTags(int frame, bool runActions);
  void Place(const PlaceCommand& command, int frame);
  DisplayObject* Instantiate(const PlaceCommand& command, int frame);
  static void ApplyPlacement(DisplayObject& object, const PlaceCommand& command);
  // A move of an existing object: its placement properties, and its character when both
  // are drawn shapes.
  void Modify(DisplayObject& existing, const PlaceCommand& command);
  // The display list as the timeline has it at frame; with construct false only the
  // removals happen and the placements wait in pending_ for ConstructFrame.
  void Jump(int frame, bool construct, bool runActions = true);
  void ConstructFrame();
  // Removes child as the timeline does: scripts hear of it while it is still in place.
  void RemoveFromTimeline(DisplayObject* child);

  struct PendingPlacement {
    bool created = false;  // else a move of what holds the depth
    std::int32_t depth = 0;
    PlaceCommand place;
    int frame = 0;
  };
  std::vector<PendingPlacement> pending_;
  bool constructPending_ = false;
  // ActionScript 3 objects a batch of placements made (a frame's tags, a goto), told to
  // the scripts once the batch is done: one the same batch removed again is never
  // constructed. Null outside a batch.
  std::vector<DisplayObject*>* placedInBatch_ = nullptr;
  // Starts a batch (batch is where its objects are kept); EndPlacementBatch tells the
  // scripts of the objects still in place, in the order they were placed.
  std::vector<DisplayObject*>* BeginPlacementBatch(std::vector<DisplayObject*>& batch);
  void EndPlacementBatch(std::vector<DisplayObject*>* outer);

  const Timeline* timeline_ = nullptr;
  std::map<std::int32_t, DisplayObject*> children_;
  int current_ = -1;
  bool playing_ = true;
  bool initialized_ = false;
};

// The root of a loaded movie: _level0 or _levelN.
inline bool IsLevel(const DisplayObject& object) { return object.Parent() == nullptr && object.Kind() == DisplayKind::MovieClip; }

}  // namespace vantrel::flash
