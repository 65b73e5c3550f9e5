#include "flash/movie_clip.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "flash/audio/sound_events.h"
#include "flash/movie_player.h"

namespace vantrel::flash {

namespace {

std::string LowerAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

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

MovieClip::MovieClip(MoviePlayer& player, const Timeline* timeline, MovieClip* parent)
    : player_(player), timeline_(timeline), parent_(parent), nesting_(parent ? parent->nesting_ + 1 : 0) {}

MovieClip::~MovieClip() {
  for (auto& [depth, object] : displayList_) DetachObject(object);
  if (player_.sounds) player_.sounds->ClipRemoved(this);
}

void MovieClip::ApplyProperties(DisplayObject& object, const PlaceCommand& command) {
  if (command.matrix) object.matrix = *command.matrix;
  if (command.colorTransform) object.colorTransform = *command.colorTransform;
  if (command.ratio) object.ratio = *command.ratio;
  if (command.name) object.name = *command.name;
  if (command.clipDepth) object.clipDepth = *command.clipDepth;
  if (command.filters) object.filters = *command.filters;
  if (command.blendMode) object.blendMode = *command.blendMode;
  if (command.cacheAsBitmap) object.cacheAsBitmap = *command.cacheAsBitmap;
  if (command.visible) object.visible = *command.visible;
  if (command.opaqueBackground) object.opaqueBackground = *command.opaqueBackground;
}

void MovieClip::CreateObject(const PlaceCommand& command, int frame) {
  if (!command.characterId) return;
  auto character = player_.GetDictionary().Find(*command.characterId);
  if (!character) return;  // an unknown character places nothing
  const bool container = character->Kind() == CharacterKind::Sprite || character->Kind() == CharacterKind::Button;
  // A sprite that places itself, or trees that double at every level, stop here.
  if ((container && nesting_ >= kMaxNesting) || !player_.CountCreation()) return;
  DisplayObject& object = displayList_[command.depth];
  DetachObject(object);
  object = DisplayObject{};
  object.depth = command.depth;
  object.characterId = *command.characterId;
  object.character = character;
  object.placeFrame = frame;
  object.createdTick = player_.TickCount();
  ApplyProperties(object, command);
  // Objects the timeline places without a name are "instance1", "instance2", ... in the
  // order the movie makes them; the states a button shows are not counted.
  if (object.name.empty() && timeline_) object.name = "instance" + std::to_string(player_.NextInstanceNumber());
  if (character->Kind() == CharacterKind::Sprite) {
    const auto* sprite = static_cast<const SpriteCharacter*>(character.get());
    object.clip = std::make_shared<MovieClip>(player_, &sprite->timeline, this);
    object.clip->SetOwner(&object);
    object.clipActions = command.clipActions;
    object.clip->GotoFrame(0, true);  // a new clip shows its first frame at once
    QueueClipEvent(object, ClipAction::kLoad);
  } else if (character->Kind() == CharacterKind::Button) {
    object.clip = std::make_shared<MovieClip>(player_, nullptr, this);
    object.clip->SetOwner(&object);
    object.clip->ShowButtonState(static_cast<const ButtonCharacter&>(*character), ButtonCharacter::kUp);
  }
}

void MovieClip::Place(const PlaceCommand& command, int frame) {
  auto it = displayList_.find(command.depth);
  if (!command.move || it == displayList_.end()) {
    CreateObject(command, frame);  // a move with a character onto an empty depth places it
    return;
  }
  DisplayObject& object = it->second;
  if (command.characterId && *command.characterId != object.characterId) {
    auto character = player_.GetDictionary().Find(*command.characterId);
    // Replacing keeps the instance and its properties; only drawable characters swap.
    if (character && character->Kind() != CharacterKind::Sprite && !object.clip) {
      object.character = character;
      object.characterId = *command.characterId;
    }
  }
  ApplyProperties(object, command);
}

void MovieClip::Remove(std::uint16_t depth) {
  const auto it = displayList_.find(depth);
  if (it == displayList_.end()) return;
  DetachObject(it->second);
  displayList_.erase(it);
}

void MovieClip::QueueFrameActions(int frame) {
  if (!timeline_) return;
  if (player_.sounds) player_.sounds->FrameShown(this, timeline_, frame);
  const Frame& commands = timeline_->FrameAt(frame);
  for (const auto& [sprite, block] : commands.initActions) player_.QueueInitActions(*this, sprite, block);
  for (const ActionBlock& block : commands.actions) player_.QueueActions(*this, block);
}

void MovieClip::QueueClipEvent(const DisplayObject& object, std::uint32_t event) {
  if (!object.clip) return;
  for (const ClipAction& action : object.clipActions) {
    if (action.events & event) player_.QueueActions(*object.clip, action.actions);
  }
}

void MovieClip::ApplyFrameDirect(int frame) {
  for (const DisplayCommand& command : timeline_->FrameAt(frame).commands) {
    if (command.type == DisplayCommand::Type::Remove)
      Remove(command.place.depth);
    else
      Place(command.place, frame);
  }
}

void MovieClip::GotoFrame(int frame, bool play) {
  if (!timeline_) return;
  frame = std::clamp(frame, 0, FramesLoaded() - 1);
  playing_ = play;
  if (frame == current_) return;
  if (frame == current_ + 1) {  // the common step: the frame's commands as they are
    current_ = frame;
    ApplyFrameDirect(frame);
    QueueFrameActions(frame);
    return;
  }
  // A jump: gather what each depth ends up with between the start and the target, then
  // change the display list once. Backwards starts from an empty list at frame 0.
  const bool backward = frame < current_;
  const int first = backward ? 0 : current_ + 1;
  std::map<std::uint16_t, GotoEntry> entries;
  for (int f = first; f <= frame; ++f) {
    const Frame& commands = timeline_->FrameAt(f);
    if (f != frame) {
      for (const auto& [sprite, block] : commands.initActions) player_.QueueInitActions(*this, sprite, block);
    }
    for (const DisplayCommand& command : commands.commands) {
      const std::uint16_t depth = command.place.depth;
      if (command.type == DisplayCommand::Type::Remove) {
        entries[depth] = GotoEntry{GotoEntry::Kind::Removed, {}, f};
        continue;
      }
      const PlaceCommand& place = command.place;
      auto it = entries.find(depth);
      if (!place.move) {
        entries[depth] = GotoEntry{GotoEntry::Kind::Created, place, f};
      } else if (it != entries.end()) {
        if (it->second.kind != GotoEntry::Kind::Removed) MergeInto(it->second.place, place);
      } else if (!backward && displayList_.count(depth)) {
        entries[depth] = GotoEntry{GotoEntry::Kind::Modified, place, f};
      } else if (place.characterId) {
        entries[depth] = GotoEntry{GotoEntry::Kind::Created, place, f};
      }
    }
  }
  if (backward) {
    // Objects the target frame does not have go; those it has from the same placement
    // stay (a sprite keeps its own playhead) with their properties reset to the
    // timeline's.
    for (auto it = displayList_.begin(); it != displayList_.end();) {
      const auto entry = entries.find(it->first);
      const bool keep = entry != entries.end() && entry->second.kind == GotoEntry::Kind::Created &&
                        entry->second.place.characterId == it->second.characterId &&
                        entry->second.frame == it->second.placeFrame;
      if (!keep) {
        DetachObject(it->second);
        it = displayList_.erase(it);
        continue;
      }
      DisplayObject& object = it->second;
      const PlaceCommand& place = entry->second.place;
      object.matrix = place.matrix.value_or(Matrix{});
      object.colorTransform = place.colorTransform.value_or(ColorTransform{});
      object.ratio = place.ratio.value_or(0);
      object.clipDepth = place.clipDepth.value_or(0);
      ApplyProperties(object, place);
      entries.erase(entry);
      ++it;
    }
  }
  for (const auto& [depth, entry] : entries) {
    switch (entry.kind) {
      case GotoEntry::Kind::Removed:
        Remove(depth);
        break;
      case GotoEntry::Kind::Created:
        CreateObject(entry.place, entry.frame);
        break;
      case GotoEntry::Kind::Modified:
        Place(entry.place, entry.frame);
        break;
    }
  }
  current_ = frame;
  QueueFrameActions(frame);
}

void MovieClip::AdvanceTimeline() {
  if (!timeline_ || !playing_) return;
  if (current_ + 1 < FramesLoaded()) {
    GotoFrame(current_ + 1, true);
    return;
  }
  // A single frame never repeats its actions; a file that ends early waits at its last
  // frame.
  if (TotalFrames() <= 1 || FramesLoaded() < TotalFrames()) return;
  if (!parent_ && !player_.loop) {
    playing_ = false;
    return;
  }
  GotoFrame(0, true);
}

void MovieClip::RunFrame() {
  const std::uint64_t tick = player_.TickCount();
  AdvanceTimeline();
  // Children created during this tick have shown their first frame already. A child's
  // frame can remove its siblings, so walk by depth and look each one up again.
  std::vector<std::uint16_t> depths;
  depths.reserve(displayList_.size());
  for (const auto& [depth, object] : displayList_) {
    if (object.clip && object.createdTick < tick) depths.push_back(depth);
  }
  for (const std::uint16_t depth : depths) {
    auto it = displayList_.find(depth);
    if (it == displayList_.end() || !it->second.clip || it->second.createdTick >= tick) continue;
    const auto clip = it->second.clip;  // stays alive while it runs
    QueueClipEvent(it->second, ClipAction::kEnterFrame);
    if (clip->HasVariable("onEnterFrame")) player_.QueueHandler(*clip, "onEnterFrame");
    clip->RunFrame();
  }
}

void MovieClip::ShowButtonState(const ButtonCharacter& button, std::uint8_t state) {
  for (auto& [depth, object] : displayList_) DetachObject(object);
  displayList_.clear();
  for (const ButtonRecord& record : button.records) {
    if (!(record.states & state)) continue;
    PlaceCommand place;
    place.depth = record.depth;
    place.characterId = record.characterId;
    place.matrix = record.matrix;
    place.colorTransform = record.colorTransform;
    place.filters = record.filters;
    place.blendMode = record.blendMode;
    CreateObject(place, 0);
  }
}

MovieClip* MovieClip::FindChild(const std::string& name) const {
  const std::string wanted = LowerAscii(name);
  for (const auto& [depth, object] : displayList_) {
    if (object.clip && LowerAscii(object.name) == wanted) return object.clip.get();
  }
  return nullptr;
}

DisplayObject* MovieClip::ObjectAt(std::uint16_t depth) {
  const auto it = displayList_.find(depth);
  return it == displayList_.end() ? nullptr : &it->second;
}

std::string MovieClip::VariableKey(const std::string& name) const {
  return player_.SwfVersion() >= 7 ? name : LowerAscii(name);
}

avm1::Value MovieClip::GetVariable(const std::string& name) const {
  const auto it = variables_.find(VariableKey(name));
  return it == variables_.end() ? avm1::Value::Undefined() : it->second;
}

bool MovieClip::HasVariable(const std::string& name) const { return variables_.count(VariableKey(name)) != 0; }

void MovieClip::SetVariable(const std::string& name, avm1::Value value) {
  // Bounded by the scripts' own budget; a variable is a name and a value.
  variables_[VariableKey(name)] = std::move(value);
}

std::string MovieClip::TargetPath() const {
  if (!parent_) return "_level0";
  return parent_->TargetPath() + "." + (owner_ ? owner_->name : std::string());
}

}  // namespace vantrel::flash
