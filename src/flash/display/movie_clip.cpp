#include "flash/display/movie_clip.h"

#include <algorithm>
#include <cctype>

#include "flash/audio/sound_events.h"
#include "flash/display/player.h"
#include "flash/display/text_field.h"
#include "flash/script/string_utils.h"

namespace vantrel::flash {

namespace {

// Unnamed objects get an "instanceN" name; in ActionScript 1/2 movies only clips,
// buttons and text fields take a number (shapes, static text, bitmaps and videos the
// timeline placed stay unnamed).
bool NamedByPlayer(const DisplayObject& object) {
  const DisplayKind kind = object.Kind();
  if (object.Movie() && object.Movie()->movie->actionScript3) return true;
  return kind == DisplayKind::MovieClip || kind == DisplayKind::Button || kind == DisplayKind::EditText;
}

constexpr int kStaysHere = -1;
constexpr int kStopsHere = -2;

// The frame a playing clip steps to after its current one: the next loaded frame, or the
// first again at the end. A single frame never repeats its actions, and a file that ends
// early waits at its last frame (kStaysHere); the root of a player that does not loop
// stops at its end (kStopsHere).
int NextPlayedFrame(const MovieClip& clip, bool stopsAtEnd) {
  if (clip.CurrentFrame() + 1 < clip.FramesLoaded()) return clip.CurrentFrame() + 1;
  const Timeline* timeline = clip.GetTimeline();
  if (clip.TotalFrames() <= 1 || clip.FramesLoaded() < clip.TotalFrames() || clip.CurrentFrame() < 0 || !timeline ||
      !timeline->repeats)
    return kStaysHere;
  return stopsAtEnd ? kStopsHere : 0;
}

bool SameNameNoCase(std::string_view a, std::string_view b) { return script::EqualIgnoringCase(a, b); }

// Folds a later move into what a goto has gathered for a depth so far.
void MergeInto(PlaceCommand& into, const PlaceCommand& later) {
  if (later.characterId) into.characterId = later.characterId;
  if (later.matrix) into.matrix = later.matrix;
  if (later.colorTransform) into.colorTransform = later.colorTransform;
  if (later.ratio) into.ratio = later.ratio;
  if (later.name) into.name = later.name;
  if (later.clipDepth) into.clipDepth = later.clipDepth;
  if (later.filters) into.filters = later.filters;
  if (later.blendMode) into.blendMode = later.blendMode;
  if (later.cacheAsBitmap) into.cacheAsBitmap = later.cacheAsBitmap;
  if (later.visible) into.visible = later.visible;
  if (later.opaqueBackground) into.opaqueBackground = later.opaqueBackground;
}

}  // namespace

MovieClip::MovieClip(MovieRuntime& player, const LoadedMovie* movie, const Timeline* timeline, DisplayKind kind)
    : DisplayObject(kind, player, movie), timeline_(timeline) {}

DisplayObject* MovieClip::ChildAt(std::int32_t depth) const {
  const auto it = children_.find(depth);
  return it == children_.end() ? nullptr : it->second;
}

DisplayObject* MovieClip::ChildByName(std::string_view name, bool caseSensitive) const {
  for (const auto& [depth, child] : children_) {
    if (caseSensitive ? child->name == name : SameNameNoCase(child->name, name)) return child;
  }
  return nullptr;
}

void MovieClip::AddChild(DisplayObject* child, std::int32_t depth) {
  if (DisplayObject* old = ChildAt(depth); old && old != child) RemoveChild(old);
  if (child->parent_ && child->parent_ != this) {
    child->parent_->children_.erase(child->depth);
  } else if (child->parent_ == this && child->depth != depth) {
    children_.erase(child->depth);
  }
  child->parent_ = this;
  child->depth = depth;
  child->removed_ = false;
  children_[depth] = child;
  // A container that comes back (ActionScript 3 adds removed objects again) brings what
  // it holds back with it.
  if (child->IsContainer()) {
    std::vector<MovieClip*> pending{static_cast<MovieClip*>(child)};
    while (!pending.empty()) {
      MovieClip* at = pending.back();
      pending.pop_back();
      for (const auto& [childDepth, inner] : at->children_) {
        if (!inner->removed_) continue;
        inner->removed_ = false;
        if (inner->IsContainer()) pending.push_back(static_cast<MovieClip*>(inner));
      }
    }
  }
}

namespace {

// True when removing clip would run an unload handler in it or under it.
bool WaitsForUnload(MovieRuntime& player, MovieClip& clip, int nesting) {
  if (nesting > MovieClip::kMaxNesting) return false;
  for (const ClipAction& action : clip.clipActions) {
    if (action.events & ClipAction::kUnload) return true;
  }
  if (player.Scripts().HasProperty(clip, "onUnload")) return true;
  for (const auto& [depth, child] : clip.Children()) {
    if (child->Kind() == DisplayKind::MovieClip && WaitsForUnload(player, *static_cast<MovieClip*>(child), nesting + 1))
      return true;
  }
  return false;
}

// The clips of root's subtree in the order their unload events run: a clip's children
// (by depth) before the clip itself.
std::vector<MovieClip*> UnloadOrder(DisplayObject* root) {
  std::vector<MovieClip*> clips;
  if (!root->IsContainer()) return clips;
  struct Visit {
    MovieClip* clip;
    bool childrenDone;
  };
  std::vector<Visit> pending{{static_cast<MovieClip*>(root), false}};
  while (!pending.empty() && clips.size() < 100000) {
    Visit visit = pending.back();
    pending.pop_back();
    if (visit.childrenDone) {
      clips.push_back(visit.clip);
      continue;
    }
    pending.push_back({visit.clip, true});
    const auto& children = visit.clip->Children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      if (it->second->IsContainer()) pending.push_back({static_cast<MovieClip*>(it->second), false});
    }
  }
  return clips;
}

}  // namespace

void MovieClip::RemoveOrDelay(DisplayObject* child) {
  if (ChildAt(child->depth) != child) return;
  if (child->Kind() != DisplayKind::MovieClip || child->depth < kLowestDepth ||
      !WaitsForUnload(player_, *static_cast<MovieClip*>(child), 0)) {
    RemoveChild(child);
    return;
  }
  // The unload events run now; the clip answers to its name at the depth
  // -32769 - depth until the next frame removes it.
  const std::vector<MovieClip*> clips = UnloadOrder(child);
  player_.FocusLeaving(child);
  for (MovieClip* clip : clips) clip->QueueEvent(ClipAction::kUnload, "onUnload");
  if (ChildAt(child->depth) != child) return;
  const std::int32_t moved = -32769 - child->depth;
  if (DisplayObject* occupant = ChildAt(moved)) RemoveChild(occupant, false);
  children_.erase(child->depth);
  child->depth = moved;
  children_[moved] = child;
}

void MovieClip::RemoveFromTimeline(DisplayObject* child) {
  player_.Scripts().TimelineRemoving(*child);
  RemoveChild(child);
}

void MovieClip::RemoveChild(DisplayObject* child, bool unloadEvents) {
  if (ChildAt(child->depth) != child) return;
  // The focus leaves first: its listeners still see the object in its place.
  player_.FocusLeaving(child);
  const auto it = children_.find(child->depth);
  if (it == children_.end() || it->second != child) return;
  // Unload handlers run for the clip and everything under it, innermost first.
  const std::vector<MovieClip*> clips = UnloadOrder(child);
  const std::string path = child->TargetPath();
  if (unloadEvents) {
    for (MovieClip* clip : clips) clip->QueueEvent(ClipAction::kUnload, "onUnload");
  }
  children_.erase(it);
  player_.Scripts().Removed(*child, path, false);
  if (child->IsContainer())
    static_cast<MovieClip*>(child)->MarkRemoved(path);
  else
    child->removed_ = true;
  if (player_.sounds) {
    for (MovieClip* clip : clips) player_.sounds->ClipRemoved(clip);
  }
}

void MovieClip::MarkRemoved() { MarkRemoved(TargetPath()); }

// The paths are built downwards from the removed clip's own: asking each clip for its
// path walked up to the root again for every clip of the subtree.
void MovieClip::MarkRemoved(const std::string& path) {
  removed_ = true;
  player_.Scripts().Removed(*this, path, true);
  for (const auto& [depth, child] : children_) {
    if (child->IsContainer())
      static_cast<MovieClip*>(child)->MarkRemoved(path + "." + child->name);
    else
      child->removed_ = true;
  }
}

void MovieClip::SwapDepths(DisplayObject* child, std::int32_t depth) {
  if (child->parent_ != this || child->depth == depth) return;
  const std::int32_t from = child->depth;
  DisplayObject* other = ChildAt(depth);
  children_.erase(from);
  if (other) {
    other->depth = from;
    children_[from] = other;
    other->placedByScript = true;
  }
  child->depth = depth;
  children_[depth] = child;
  child->placedByScript = true;
}

std::int32_t MovieClip::NextHighestDepth() const {
  if (children_.empty()) return 0;
  const std::int32_t top = children_.rbegin()->first;
  return top < 0 ? 0 : top + 1;
}

int MovieClip::Nesting() const {
  int nesting = 0;
  for (const DisplayObject* at = parent_; at && nesting < 1000; at = at->Parent()) ++nesting;
  return nesting;
}

int MovieClip::FramesLoaded() const {
  if (!timeline_) return 1;
  // A movie's own timeline stops before the first frame whose libraries have not arrived.
  if (movie_ && movie_->movie && timeline_ == &movie_->movie->root) return std::min(timeline_->framesLoaded, movie_->framesReady);
  return timeline_->framesLoaded;
}

void MovieClip::SetTimeline(const Timeline* timeline, const LoadedMovie* movie) {
  timeline_ = timeline;
  movie_ = movie;
  current_ = -1;
  playing_ = true;
  initialized_ = false;
}

QRectF MovieClip::LocalBounds() const {
  QRectF bounds;
  if (drawing) bounds = drawing->Bounds(0);
  for (const auto& [depth, child] : children_) {
    const QRectF inner = child->LocalBounds();
    if (inner.isNull()) continue;
    const Matrix& m = child->GetMatrix();
    const QRectF mapped = QTransform(m.a, m.b, m.c, m.d, m.tx, m.ty).mapRect(inner);
    bounds = bounds.isNull() ? mapped : bounds.united(mapped);
  }
  return bounds;
}

void MovieClip::Trace(gc::Tracer& tracer) const {
  DisplayObject::Trace(tracer);
  for (const auto& [depth, child] : children_) tracer.Mark(child);
  for (DisplayObject* state : stateObjects)
    if (state) tracer.Mark(state);
  if (placedInBatch_)
    for (DisplayObject* placed : *placedInBatch_) tracer.Mark(placed);
}

void MovieClip::QueueEvent(std::uint32_t eventBits, const char* method) {
  const bool unload = eventBits & ClipAction::kUnload;
  for (const ClipAction& action : clipActions) {
    if (action.events & eventBits) player_.QueueBlock(this, action.actions, MovieRuntime::Priority::Normal, unload);
  }
  if (method) player_.QueueMethod(this, method, unload);
}

void MovieClip::RunFrame() {
  if (removed_) return;
  if (!initialized_) {
    // A clip's load event comes before its first frame's scripts, and so before those
    // of the clips that frame places. A level is the exception: its first frame's
    // scripts come first, so that _root.onLoad set there is heard.
    initialized_ = true;
    const bool loadFirst = parent_ != nullptr;
    if (loadFirst) QueueEvent(ClipAction::kLoad, kind_ == DisplayKind::MovieClip ? "onLoad" : nullptr);
    if (kind_ == DisplayKind::MovieClip && playing_ && current_ < 0 && FramesLoaded() > 0) RunFrameTags(0, true);
    if (!loadFirst) QueueEvent(ClipAction::kLoad, kind_ == DisplayKind::MovieClip ? "onLoad" : nullptr);
    return;
  }
  // ActionScript 3 clips stepped their playhead before the frame's events (AdvanceFrame):
  // what is left is to place the frame's new objects.
  if (movie_ && movie_->movie && movie_->movie->actionScript3) {
    ConstructFrame();
    return;
  }
  QueueEvent(ClipAction::kEnterFrame, "onEnterFrame");
  if (kind_ != DisplayKind::MovieClip || !playing_) return;
  const int next = NextPlayedFrame(*this, !parent_ && this == &player_.Root() && !player_.loop);
  if (next == kStopsHere) playing_ = false;
  if (next < 0) return;
  if (next == current_ + 1) RunFrameTags(next, true);
  else GotoFrame(next, true);
}

void MovieClip::RunFrameTags(int frame, bool runActions) {
  if (!timeline_) {
    current_ = std::max(current_, 0);
    return;
  }
  current_ = frame;
  if (player_.sounds && runActions) player_.sounds->FrameShown(this, timeline_, frame);
  std::vector<DisplayObject*> batch;
  std::vector<DisplayObject*>* outer = BeginPlacementBatch(batch);
  for (const DisplayCommand& command : timeline_->FrameAt(frame).commands) {
    if (removed_) break;
    switch (command.type) {
      case DisplayCommand::Type::Place: Place(command.place, frame); break;
      case DisplayCommand::Type::Remove: {
        if (DisplayObject* child = ChildAt(static_cast<std::int32_t>(command.place.depth) - kDepthBias)) {
          player_.Scripts().TimelineRemoving(*child);
          RemoveOrDelay(child);
        }
        break;
      }
      case DisplayCommand::Type::Action:
        if (runActions) player_.QueueBlock(this, command.actions);
        break;
      case DisplayCommand::Type::InitAction:
        player_.RunInitAction(this, command.place.characterId.value_or(0), command.actions);
        break;
      case DisplayCommand::Type::Import: player_.RunLibraryInitActions(this, movie_, command.url); break;
    }
  }
  EndPlacementBatch(outer);
}

void MovieClip::ApplyPlacement(DisplayObject& object, const PlaceCommand& command) {
  if (!object.transformedByScript) {
    if (command.matrix) object.SetMatrix(*command.matrix);
    if (command.colorTransform) object.SetColorTransform(*command.colorTransform);
  }
  if (command.ratio) object.ratio = *command.ratio;
  if (command.name) object.name = *command.name;
  if (command.clipDepth) object.clipDepth = *command.clipDepth;
  if (command.filters) object.filters = *command.filters;
  if (command.blendMode) object.blendMode = *command.blendMode;
  if (command.cacheAsBitmap) object.cacheAsBitmap = *command.cacheAsBitmap;
  if (command.visible) object.visible = *command.visible;
  if (command.opaqueBackground) object.opaqueBackground = *command.opaqueBackground;
}

DisplayObject* MovieClip::Instantiate(const PlaceCommand& command, int frame) {
  if (!command.characterId) return nullptr;
  auto character = movie_->Find(*command.characterId);
  if (!character) return nullptr;  // an unknown character places nothing
  const bool container = character->Kind() == CharacterKind::Sprite || character->Kind() == CharacterKind::Button;
  // A sprite that places itself, or trees that double at every level, stop here.
  if ((container && Nesting() >= kMaxNesting) || !player_.CountCreation()) return nullptr;
  DisplayObject* object = player_.Create(movie_, character, *command.characterId);
  if (!object) return nullptr;
  object->placeFrame = frame;
  ApplyPlacement(*object, command);
  object->boundsRatio = object->ratio;
  if (command.clipDepth) object->clipDepth = *command.clipDepth;
  if (object->name.empty() && NamedByPlayer(*object)) object->name = "instance" + std::to_string(player_.NextInstanceNumber());
  const std::int32_t depth = static_cast<std::int32_t>(command.depth) - kDepthBias;
  if (DisplayObject* old = ChildAt(depth)) RemoveFromTimeline(old);
  AddChild(object, depth);
  if (object->Kind() == DisplayKind::MovieClip) {
    auto* clip = static_cast<MovieClip*>(object);
    clip->clipActions = command.clipActions;
    player_.Scripts().ClipPlaced(*clip);
  } else if (object->Kind() == DisplayKind::Button) {
    player_.Scripts().ClipPlaced(*static_cast<MovieClip*>(object));
  } else if (object->Kind() == DisplayKind::EditText) {
    player_.Scripts().TextFieldPlaced(*static_cast<TextField*>(object));
  } else if (object->Kind() == DisplayKind::Video) {
    player_.Scripts().VideoPlaced(*object);
  }
  if (placedInBatch_) placedInBatch_->push_back(object);
  else player_.Scripts().Placed(*object);
  return object;
}

std::vector<DisplayObject*>* MovieClip::BeginPlacementBatch(std::vector<DisplayObject*>& batch) {
  std::vector<DisplayObject*>* outer = placedInBatch_;
  // Only ActionScript 3 constructs what it places after the batch. A batch a script
  // starts inside another (a goto from a removal's event) joins it.
  if (!outer && movie_ && movie_->movie && movie_->movie->actionScript3) placedInBatch_ = &batch;
  return outer;
}

void MovieClip::EndPlacementBatch(std::vector<DisplayObject*>* outer) {
  std::vector<DisplayObject*>* batch = placedInBatch_;
  placedInBatch_ = outer;
  if (!batch || batch == outer) return;
  std::vector<DisplayObject*> placed;
  placed.swap(*batch);
  for (DisplayObject* object : placed) {
    // The scripts of one object may remove the next one: it is still traced here.
    if (object->Removed() || object->Parent() != this || ChildAt(object->depth) != object) continue;
    player_.Scripts().Placed(*object);
  }
}

void MovieClip::Place(const PlaceCommand& command, int frame) {
  const std::int32_t depth = static_cast<std::int32_t>(command.depth) - kDepthBias;
  DisplayObject* existing = ChildAt(depth);
  if (!command.move && existing && !movie_->movie->actionScript3) {
    // ActionScript 1/2 movies keep what holds the depth and say so in the log.
    player_.Trace("Warning: Failed to place object at depth " + std::to_string(command.depth) + ".");
    return;
  }
  if (!command.move || !existing) {
    if (command.move && !command.characterId) return;
    Instantiate(command, frame);
    return;
  }
  Modify(*existing, command);
}

void MovieClip::GotoFrame(int frame, bool play, bool runActions) {
  playing_ = play;
  if (!timeline_ || kind_ != DisplayKind::MovieClip) return;
  // A frame past the loaded ones is never reached: the clip only stops or plays.
  if (frame >= FramesLoaded()) return;
  frame = std::max(frame, 0);
  if (frame == current_) return;
  if (frame == current_ + 1 && !constructPending_) {  // the common step: the frame's tags as they are
    RunFrameTags(frame, runActions);
    return;
  }
  Jump(frame, true, runActions);
}

void MovieClip::AdvanceFrame() {
  if (removed_ || !initialized_ || kind_ != DisplayKind::MovieClip || !playing_ || !timeline_) return;
  if (holdsFirstStep) {
    holdsFirstStep = false;
    return;
  }
  const int target = NextPlayedFrame(*this, !parent_ && this == &player_.Root() && !player_.loop);
  if (target == kStopsHere) playing_ = false;
  if (target >= 0 && target != current_) Jump(target, false);
}

void MovieClip::ConstructFrame() {
  if (!constructPending_) return;
  constructPending_ = false;
  std::vector<PendingPlacement> placements;
  placements.swap(pending_);
  std::vector<DisplayObject*> batch;
  std::vector<DisplayObject*>* outer = BeginPlacementBatch(batch);
  for (const PendingPlacement& placement : placements) {
    if (removed_) break;
    if (placement.created) {
      Instantiate(placement.place, placement.frame);
    } else if (DisplayObject* child = ChildAt(placement.depth)) {
      Modify(*child, placement.place);
    }
  }
  EndPlacementBatch(outer);
}

void MovieClip::Modify(DisplayObject& existing, const PlaceCommand& command) {
  if (command.characterId && *command.characterId != existing.characterId) {
    auto character = movie_->Find(*command.characterId);
    // Replacing keeps the instance and its properties; only drawable characters swap.
    if (character && !existing.IsContainer() && character->Kind() != CharacterKind::Sprite &&
        character->Kind() != CharacterKind::Button && existing.Kind() != DisplayKind::EditText) {
      existing.character = character;
      existing.characterId = *command.characterId;
    }
  }
  ApplyPlacement(existing, command);
}

void MovieClip::Jump(int frame, bool construct, bool runActions) {
  struct Entry {
    enum class Kind { Created, Modified, Removed };
    Kind kind = Kind::Modified;
    PlaceCommand place;
    int frame = 0;
    int order = 0;  // when the depth's current entry was met
  };
  // Gather what each depth ends up with between the start and the target, then change
  // the display list once. Backwards starts from an empty list at frame 0; forwards from
  // the frame after the current one, or from the current one when its placements are
  // still to come.
  const bool backward = frame < current_;
  const int first = backward ? 0 : (constructPending_ ? current_ : current_ + 1);
  // ActionScript 3 scripts that hear of the changes find the playhead at the target;
  // only the plain step to the next frame removes before it moves.
  const bool as3 = movie_->movie->actionScript3;
  if (as3 && (construct || backward)) current_ = frame;
  constructPending_ = false;
  pending_.clear();
  std::map<std::int32_t, Entry> entries;
  int met = 0;
  for (int f = first; f <= frame; ++f) {
    for (const DisplayCommand& command : timeline_->FrameAt(f).commands) {
      const std::int32_t depth = static_cast<std::int32_t>(command.place.depth) - kDepthBias;
      switch (command.type) {
        case DisplayCommand::Type::Remove: entries[depth] = Entry{Entry::Kind::Removed, {}, f, ++met}; break;
        case DisplayCommand::Type::Place: {
          const PlaceCommand& place = command.place;
          auto it = entries.find(depth);
          if (!place.move) {
            entries[depth] = Entry{Entry::Kind::Created, place, f, ++met};
          } else if (it != entries.end()) {
            if (it->second.kind != Entry::Kind::Removed) MergeInto(it->second.place, place);
          } else if (!backward && children_.count(depth)) {
            entries[depth] = Entry{Entry::Kind::Modified, place, f, ++met};
          } else if (place.characterId) {
            entries[depth] = Entry{Entry::Kind::Created, place, f, ++met};
          }
          break;
        }
        case DisplayCommand::Type::InitAction:
          player_.RunInitAction(this, command.place.characterId.value_or(0), command.actions);
          break;
        case DisplayCommand::Type::Import: player_.RunLibraryInitActions(this, movie_, command.url); break;
        case DisplayCommand::Type::Action: break;
      }
    }
  }
  if (backward) {
    // Objects the target frame does not have go; those it has from the same placement
    // stay (a clip keeps its own playhead) with their properties reset to the
    // timeline's. ActionScript 1/2 clears the timeline's depths of what scripts put
    // there too (created there or swapped in); ActionScript 3 leaves those alone.
    std::vector<DisplayObject*> removals;
    for (auto& [depth, child] : children_) {
      if (depth >= 0 || (child->placedByScript && as3)) continue;
      const auto entry = entries.find(depth);
      const bool keep = !child->placedByScript && entry != entries.end() && entry->second.kind == Entry::Kind::Created &&
                        entry->second.place.characterId == child->characterId && entry->second.frame == child->placeFrame;
      if (!keep) {
        removals.push_back(child);
        continue;
      }
      const PlaceCommand& place = entry->second.place;
      if (!child->transformedByScript) {
        child->SetMatrix(place.matrix.value_or(Matrix{}));
        child->SetColorTransform(place.colorTransform.value_or(ColorTransform{}));
      }
      child->ratio = place.ratio.value_or(0);
      ApplyPlacement(*child, place);
      entries.erase(entry);
    }
    for (DisplayObject* child : removals) RemoveFromTimeline(child);
  }
  // What the jump places is placed in the order the timeline met it.
  std::vector<std::pair<std::int32_t, const Entry*>> ordered;
  for (const auto& [depth, entry] : entries) ordered.emplace_back(depth, &entry);
  std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.second->order < b.second->order; });
  if (!construct) {
    // The playhead's step before the frame's events: what goes goes now (with what a
    // new placement replaces), the placements wait for the frame's construction.
    for (const auto& [depth, entry] : ordered) {
      DisplayObject* child = ChildAt(depth);
      if (child && (entry->kind == Entry::Kind::Removed || (entry->kind == Entry::Kind::Created && !backward)))
        RemoveFromTimeline(child);
    }
    current_ = frame;
    if (player_.sounds) player_.sounds->FrameShown(this, timeline_, frame);
    for (const auto& [depth, entry] : ordered) {
      if (entry->kind == Entry::Kind::Removed) continue;
      pending_.push_back(PendingPlacement{entry->kind == Entry::Kind::Created, depth, entry->place, entry->frame});
    }
    constructPending_ = true;
    return;
  }
  auto apply = [&](bool beforeTarget) {
    for (const auto& [depth, entryPointer] : ordered) {
      const Entry& entry = *entryPointer;
      if ((entry.frame < frame) != beforeTarget) continue;
      switch (entry.kind) {
        case Entry::Kind::Removed:
          if (DisplayObject* child = ChildAt(depth)) RemoveFromTimeline(child);
          break;
        case Entry::Kind::Created: Instantiate(entry.place, entry.frame); break;
        case Entry::Kind::Modified:
          if (DisplayObject* child = ChildAt(depth)) Modify(*child, entry.place);
          break;
      }
    }
  };
  std::vector<DisplayObject*> batch;
  std::vector<DisplayObject*>* outer = BeginPlacementBatch(batch);
  apply(true);
  current_ = frame;
  if (player_.sounds) player_.sounds->FrameShown(this, timeline_, frame);
  for (const DisplayCommand& command : timeline_->FrameAt(frame).commands) {
    if (runActions && command.type == DisplayCommand::Type::Action) player_.QueueBlock(this, command.actions);
  }
  apply(false);
  EndPlacementBatch(outer);
}

void MovieClip::NextFrame() {
  if (current_ + 1 < FramesLoaded()) GotoFrame(current_ + 1, false);
  else playing_ = false;
}

void MovieClip::PrevFrame() {
  if (current_ > 0) GotoFrame(current_ - 1, false);
  else playing_ = false;
}

void MovieClip::CallFrame(int frame) {
  if (!timeline_ || frame < 0 || frame >= FramesLoaded()) return;
  for (const DisplayCommand& command : timeline_->FrameAt(frame).commands) {
    if (command.type == DisplayCommand::Type::Action) player_.RunBlockNow(this, command.actions);
  }
}

namespace {

int StateIndex(std::uint8_t state) {
  switch (state) {
    case ButtonCharacter::kOver: return 1;
    case ButtonCharacter::kDown: return 2;
    case ButtonCharacter::kHitTest: return 3;
    default: return 0;
  }
}

}  // namespace

int MovieClip::StateIndexOf(const DisplayObject* object) const {
  for (int i = 0; i < kStateCount; ++i)
    if (object && stateObjects[i] == object) return i;
  return -1;
}

void MovieClip::HoldUnlisted(DisplayObject* object) {
  if (object->parent_ && object->parent_ != this) object->parent_->children_.erase(object->depth);
  object->parent_ = this;
  object->removed_ = false;
}

void MovieClip::Detach(DisplayObject* object) {
  MovieClip* parent = object->parent_;
  if (!parent) return;
  const auto it = parent->children_.find(object->depth);
  if (it != parent->children_.end() && it->second == object) parent->children_.erase(it);
  object->parent_ = nullptr;
}

void MovieClip::SetStateObject(int index, DisplayObject* object) {
  if (index < 0 || index >= kStateCount) return;
  DisplayObject* old = stateObjects[index];
  stateObjects[index] = object;
  // An object that stood for this state and no other leaves the button.
  if (old && old != object && StateIndexOf(old) < 0 && old->parent_ == this) Detach(old);
  if (object && index == kStateCount - 1 && object->parent_ != this) HoldUnlisted(object);
  if (index == StateIndex(buttonState ? buttonState : ButtonCharacter::kUp)) {
    const std::uint8_t shown = buttonState ? buttonState : ButtonCharacter::kUp;
    buttonState = 0;
    ShowButtonState(shown);
  }
}

void MovieClip::ShowButtonState(std::uint8_t state) {
  if (keepsStates) {
    if (state == buttonState) return;
    buttonState = state;
    DisplayObject* shown = stateObjects[StateIndex(state)];
    std::vector<DisplayObject*> old;
    for (const auto& [depth, child] : children_) old.push_back(child);
    for (DisplayObject* child : old) {
      if (child == shown) continue;
      // The hit test state stays attached (unlisted); any other state leaves.
      if (child == stateObjects[kStateCount - 1]) {
        children_.erase(child->depth);
        continue;
      }
      Detach(child);
    }
    if (shown && ChildAt(0) != shown) AddChild(shown, 0);
    return;
  }
  if (!button || state == buttonState) return;
  buttonState = state;
  std::vector<DisplayObject*> old;
  for (const auto& [depth, child] : children_) old.push_back(child);
  for (DisplayObject* child : old) RemoveChild(child);
  for (const ButtonRecord& record : button->records)
    if (record.states & state) PlaceButtonRecord(record, true);
}

DisplayObject* MovieClip::PlaceButtonRecord(const ButtonRecord& record, bool listed) {
  auto character = movie_->Find(record.characterId);
  if (!character || !player_.CountCreation()) return nullptr;
  // A button that shows itself (or a sprite that holds it) stops at the nesting limit.
  const bool container = character->Kind() == CharacterKind::Sprite || character->Kind() == CharacterKind::Button;
  if (container && Nesting() >= kMaxNesting) return nullptr;
  DisplayObject* object = player_.Create(movie_, character, record.characterId);
  if (!object) return nullptr;
  if (object->name.empty() && NamedByPlayer(*object)) object->name = "instance" + std::to_string(player_.NextInstanceNumber());
  object->SetMatrix(record.matrix);
  object->SetColorTransform(record.colorTransform);
  object->filters = record.filters;
  object->blendMode = record.blendMode;
  const std::int32_t depth = static_cast<std::int32_t>(record.depth) - kDepthBias;
  if (listed) {
    AddChild(object, depth);
  } else {
    object->depth = depth;
    HoldUnlisted(object);
  }
  if (object->Kind() == DisplayKind::MovieClip || object->Kind() == DisplayKind::Button)
    player_.Scripts().ClipPlaced(*static_cast<MovieClip*>(object));
  else if (object->Kind() == DisplayKind::EditText)
    player_.Scripts().TextFieldPlaced(*static_cast<TextField*>(object));
  else if (object->Kind() == DisplayKind::Video)
    player_.Scripts().VideoPlaced(*object);
  return object;
}

}  // namespace vantrel::flash
