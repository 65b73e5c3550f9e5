// Display objects and the timelines that place them. A MovieClip is a running timeline
// (the root's or a sprite instance's) with its display list ordered by depth; buttons
// are clips without a timeline whose list holds the records of their current state.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "flash/avm1_value.h"
#include "flash/movie.h"

namespace vantrel::flash {

class MovieClip;
class MoviePlayer;

struct DisplayObject {
  std::uint16_t depth = 0;
  std::uint16_t characterId = 0;
  std::shared_ptr<Character> character;
  Matrix matrix;
  ColorTransform colorTransform;
  std::uint16_t ratio = 0;
  std::string name;
  std::uint16_t clipDepth = 0;  // non-zero: a mask over the depths up to clipDepth
  std::vector<Filter> filters;  // drawn through an offscreen layer by the renderer
  std::uint8_t blendMode = 0;
  bool cacheAsBitmap = false;
  bool visible = true;
  std::optional<Rgba> opaqueBackground;  // filled behind the object's bounds
  int placeFrame = -1;                // timeline frame that created it
  std::uint64_t createdTick = 0;      // player tick of creation
  std::shared_ptr<MovieClip> clip;    // sprites and buttons
  std::vector<ClipAction> clipActions;  // onClipEvent handlers of sprite instances
};

class MovieClip : public std::enable_shared_from_this<MovieClip> {
 public:
  static constexpr int kMaxNesting = 64;
  // timeline may be null (a button's state container).
  MovieClip(MoviePlayer& player, const Timeline* timeline, MovieClip* parent);
  ~MovieClip();
  MovieClip(const MovieClip&) = delete;
  MovieClip& operator=(const MovieClip&) = delete;
  // Cuts the clip from its parent and owner once it leaves the display list; a script
  // that still holds it then finds no parent instead of a freed one.
  void Detach() {
    parent_ = nullptr;
    owner_ = nullptr;
  }

  MoviePlayer& Player() const { return player_; }
  MovieClip* Parent() const { return parent_; }
  DisplayObject* Owner() const { return owner_; }
  void SetOwner(DisplayObject* owner) { owner_ = owner; }
  const Timeline* GetTimeline() const { return timeline_; }

  // 0-based current frame, -1 before the first frame is shown.
  int CurrentFrame() const { return current_; }
  int TotalFrames() const { return timeline_ ? timeline_->frameCount : 1; }
  int FramesLoaded() const { return timeline_ ? timeline_->framesLoaded : 1; }
  bool IsPlaying() const { return playing_; }
  void Play() { playing_ = true; }
  void Stop() { playing_ = false; }

  // Shows frame (0-based, clamped to the timeline) with its display list rebuilt as the
  // timeline has it there, and queues that frame's actions. Skipped frames' actions do
  // not run. play sets the playing state afterwards.
  void GotoFrame(int frame, bool play);
  // One step of the playhead for a tick: the next frame when playing; at the end the
  // timeline loops, unless it is the root with looping off, which stops there.
  void AdvanceTimeline();
  // A whole tick for this clip and its children: the own timeline, then every child
  // that existed before this tick.
  void RunFrame();

  const std::map<std::uint16_t, DisplayObject>& DisplayList() const { return displayList_; }
  // The child placed under instance name (ignoring ASCII case); null when none.
  MovieClip* FindChild(const std::string& name) const;
  // The display object at depth; null when the depth is empty.
  DisplayObject* ObjectAt(std::uint16_t depth);

  // Variables of this timeline (identifiers ignore case before SWF 7).
  avm1::Value GetVariable(const std::string& name) const;
  bool HasVariable(const std::string& name) const;
  void SetVariable(const std::string& name, avm1::Value value);
  // Removes the variable; false when there was none.
  bool RemoveVariable(const std::string& name) { return variables_.erase(VariableKey(name)) != 0; }
  const std::map<std::string, avm1::Value>& Variables() const { return variables_; }

  // A button's container: places the records for state (ButtonCharacter::kUp, ...).
  void ShowButtonState(const ButtonCharacter& button, std::uint8_t state);

  // "_level0" for the root, else the parent's path and "." and the instance name.
  std::string TargetPath() const;

 private:
  struct GotoEntry {
    enum class Kind { Created, Modified, Removed };
    Kind kind = Kind::Modified;
    PlaceCommand place;
    int frame = 0;
  };
  void ApplyFrameDirect(int frame);
  void Place(const PlaceCommand& command, int frame);
  void Remove(std::uint16_t depth);
  static void DetachObject(DisplayObject& object) {
    if (object.clip) object.clip->Detach();
  }
  void CreateObject(const PlaceCommand& command, int frame);
  static void ApplyProperties(DisplayObject& object, const PlaceCommand& command);
  void QueueFrameActions(int frame);
  void QueueClipEvent(const DisplayObject& object, std::uint32_t event);
  std::string VariableKey(const std::string& name) const;

  MoviePlayer& player_;
  const Timeline* timeline_;
  MovieClip* parent_;
  int nesting_;
  DisplayObject* owner_ = nullptr;
  int current_ = -1;
  bool playing_ = true;
  std::map<std::uint16_t, DisplayObject> displayList_;
  std::map<std::string, avm1::Value> variables_;
};

}  // namespace vantrel::flash
