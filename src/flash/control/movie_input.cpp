// Mouse and keyboard input of a running movie: the Key and Mouse listeners, the clip
// events of onClipEvent(mouseDown ...) and onClipEvent(keyDown ...), and the buttons
// (button characters, and clips with onPress/onRelease/... handlers acting as buttons)
// with their up/over/down states and the transitions their actions wait for.
#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "flash/audio/sound_events.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"
#include "flash/display/text_field.h"
#include "flash/script/number_conversions.h"

namespace vantrel::flash {

namespace {

// onClipEvent flags of PlaceObject2/3, as the file stores them.
constexpr std::uint32_t kMouseMove = 0x08, kMouseDown = 0x10, kMouseUp = 0x20, kKeyDown = 0x40, kKeyUp = 0x80;
constexpr std::uint32_t kPress = 0x400, kRelease = 0x800, kReleaseOutside = 0x1000, kRollOver = 0x2000,
                        kRollOut = 0x4000, kDragOver = 0x8000, kDragOut = 0x10000, kKeyPress = 0x20000;

// Button action conditions of DefineButton2.
constexpr std::uint16_t kIdleToOverUp = 0x01, kOverUpToIdle = 0x02, kOverUpToOverDown = 0x04,
                        kOverDownToOverUp = 0x08, kOverDownToOutDown = 0x10, kOutDownToOverDown = 0x20,
                        kOutDownToIdle = 0x40;

// The handler names that make a clip act as a button.
constexpr const char* kButtonHandlers[] = {"onPress",   "onRelease", "onReleaseOutside", "onRollOver",
                                           "onRollOut", "onDragOver", "onDragOut"};

QTransform ToQt(const Matrix& m) { return QTransform(m.a, m.b, m.c, m.d, m.tx, m.ty); }

MovieClip* AsContainer(DisplayObject* object) {
  return object && object->IsContainer() ? static_cast<MovieClip*>(object) : nullptr;
}

bool ActsAsButton(MovieRuntime& player, MovieClip& clip) {
  for (const ClipAction& action : clip.clipActions) {
    if (action.events & (kPress | kRelease | kReleaseOutside | kRollOver | kRollOut | kDragOver | kDragOut)) return true;
  }
  if (!clip.ScriptCell()) return false;
  for (const char* name : kButtonHandlers) {
    if (player.Scripts().HasProperty(clip, name)) return true;
  }
  return false;
}

// trackAsMenu, set by the script or stored in the button's character.
bool TracksAsMenu(MovieRuntime& player, DisplayObject* object) {
  MovieClip* clip = AsContainer(object);
  if (!clip) return false;
  if (const std::optional<bool> set = player.Scripts().FlagProperty(*clip, "trackAsMenu")) return *set;
  return clip->button && clip->button->trackAsMenu;
}

// Buttons and clips set `enabled = false` take no mouse events.
bool Enabled(MovieRuntime& player, DisplayObject& object) {
  return player.Scripts().FlagProperty(object, "enabled").value_or(true);
}

// True when point (stage twips) falls on a filled part of what the object shows.
bool ContentHit(DisplayObject& object, const QTransform& toStage, QPointF point, int nesting) {
  if (nesting > MovieClip::kMaxNesting) return false;
  if (MovieClip* clip = AsContainer(&object)) {
    if (clip->button) {
      for (const ButtonRecord& record : clip->button->records) {
        if (!(record.states & ButtonCharacter::kHitTest)) continue;
        const auto character = clip->Movie()->Find(record.characterId);
        const Drawable* drawn = AsDrawable(character.get());  // sprites and buttons in buttons are not followed
        if (!drawn) continue;
        bool invertible = false;
        const QPointF local = (ToQt(record.matrix) * toStage).inverted(&invertible).map(point);
        if (invertible && drawn->HitTest(local)) return true;
      }
      return false;
    }
    if (clip->drawing) {
      bool invertible = false;
      const QPointF local = toStage.inverted(&invertible).map(point);
      if (invertible && clip->drawing->HitTest(local)) return true;
    }
    for (const auto& [depth, child] : clip->Children()) {
      if (!child->visible || child->clipDepth != 0) continue;  // mask layers are not hit
      if (ContentHit(*child, ToQt(child->GetMatrix()) * toStage, point, nesting + 1)) return true;
    }
    return false;
  }
  const Drawable* drawn = object.Drawn();
  if (!drawn) return false;
  bool invertible = false;
  const QPointF local = toStage.inverted(&invertible).map(point);
  return invertible && drawn->HitTest(local, object.ratio);
}

// The topmost button (or clip acting as one) under point, searching clip's children
// from the highest depth down. A clip acting as a button takes the pointer for its
// whole content, as the player does.
DisplayObject* PickButton(MovieRuntime& player, MovieClip& clip, const QTransform& toStage, QPointF point, int nesting) {
  if (nesting > MovieClip::kMaxNesting) return nullptr;
  const auto& list = clip.Children();
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    DisplayObject* object = it->second;
    MovieClip* child = AsContainer(object);
    if (!object->visible || !child || object->clipDepth != 0) continue;
    const QTransform childToStage = ToQt(object->GetMatrix()) * toStage;
    if (child->button) {
      // A button shown inside a button's state is in front of its holder.
      if (DisplayObject* inner = PickButton(player, *child, childToStage, point, nesting + 1)) return inner;
      if (Enabled(player, *child) && ContentHit(*child, childToStage, point, nesting + 1)) return child;
      continue;
    }
    if (ActsAsButton(player, *child) && Enabled(player, *child)) {
      if (ContentHit(*child, childToStage, point, nesting + 1)) return child;
      continue;
    }
    if (DisplayObject* inner = PickButton(player, *child, childToStage, point, nesting + 1)) return inner;
  }
  return nullptr;
}

// Every clip of the display tree below clip, parents before children and lower depths
// first.
void CollectClips(MovieClip& clip, std::vector<MovieClip*>& out, int nesting) {
  if (nesting > MovieClip::kMaxNesting) return;
  for (const auto& [depth, object] : clip.Children()) {
    MovieClip* child = AsContainer(object);
    if (!child || child->button) continue;
    out.push_back(child);
    CollectClips(*child, out, nesting + 1);
  }
}

// The Key codes a button's key-press condition names below 32 (the arrows, Home, End,
// Insert, Delete, Backspace, Enter, Up, Down, Page Up, Page Down, Tab, Escape).
int ButtonKeyFor(int keyCode, int ascii) {
  switch (keyCode) {
    case 37: return 1;
    case 39: return 2;
    case 36: return 3;
    case 35: return 4;
    case 45: return 5;
    case 46: return 6;
    case 8: return 8;
    case 13: return 13;
    case 38: return 14;
    case 40: return 15;
    case 33: return 16;
    case 34: return 17;
    case 9: return 18;
    case 27: return 19;
    default: return ascii >= 32 && ascii < 127 ? ascii : 0;
  }
}

// Queues what a key press (a button key code) starts in clip: the first visible button
// waiting for it takes it (and the character it types, the Tab step and the Enter press
// of the focused button), unless one took it already; the clip's own keyPress events
// hear it too. Gives whether a button has taken the key.
bool QueueKeyPress(MovieRuntime& runtime, MovieClip* clip, int buttonKey, bool taken) {
  if (buttonKey == 0) return taken;
  for (const auto& [depth, object] : clip->Children()) {
    MovieClip* child = AsContainer(object);
    if (!child || !child->button || taken || !child->visible) continue;
    for (const ButtonCondition& condition : child->button->conditions) {
      if (((condition.conditions >> 9) & 0x7F) != buttonKey) continue;
      runtime.QueueBlock(clip, condition.actions);
      taken = true;
    }
  }
  for (const ClipAction& action : clip->clipActions) {
    if ((action.events & kKeyPress) && action.keyCode == buttonKey) runtime.QueueBlock(clip, action.actions);
  }
  return taken;
}

void ShowState(DisplayObject* target, std::uint8_t state) {
  if (MovieClip* clip = AsContainer(target); clip && clip->button) clip->ShowButtonState(state);
}

}  // namespace

// The clips that hear mouse and key events, in the order the player tells them: the
// highest depth first and children before their parent, the roots last.
static std::vector<MovieClip*> ClipsInEventOrder(MovieRuntime& player) {
  std::vector<MovieClip*> clips;
  for (const auto& [level, root] : player.Levels()) {
    clips.push_back(root);
    CollectClips(*root, clips, 0);
  }
  std::reverse(clips.begin(), clips.end());
  return clips;
}

void MovieRuntime::ButtonEvent(DisplayObject* target, std::uint16_t buttonCondition, std::uint32_t clipEvent,
                         const char* method) {
  MovieClip* clip = AsContainer(target);
  // Disabled buttons and clips hear no pointer events.
  if (!clip || !Enabled(*this, *clip)) return;
  if (clip->button) {
    for (const ButtonCondition& condition : clip->button->conditions) {
      // A button's actions run on the timeline that holds it.
      if ((condition.conditions & 0x1FF) & buttonCondition) QueueBlock(clip->Parent(), condition.actions);
    }
    if (sounds) {
      const int transition = buttonCondition == kOverUpToIdle        ? 0
                             : buttonCondition == kIdleToOverUp      ? 1
                             : buttonCondition == kOverUpToOverDown  ? 2
                             : buttonCondition == kOverDownToOverUp  ? 3
                                                                     : -1;
      if (transition >= 0) sounds->ButtonTransition(clip->characterId, transition);
    }
    QueueMethod(clip, method);
    return;
  }
  for (const ClipAction& action : clip->clipActions) {
    if (action.events & clipEvent) QueueBlock(clip, action.actions);
  }
  QueueMethod(clip, method);
}

void MovieRuntime::UpdateHover(bool onlyChanges) {
  // A button taken off the stage leaves the pointer's state to the next one found there.
  if (hovered_ && hovered_->Removed()) {
    if (lostButton_ == LostButton::None)
      lostButton_ = mouseDown_ && pressed_ == hovered_ ? LostButton::OverDown : LostButton::Over;
    hovered_ = nullptr;
  }
  if (pressed_ && pressed_->Removed()) {
    if (mouseDown_ && lostButton_ == LostButton::None) lostButton_ = LostButton::OutDown;
    pressed_ = nullptr;
  }
  DisplayObject* picked = nullptr;
  for (auto it = levels_.rbegin(); it != levels_.rend() && !picked; ++it)
    picked = PickButton(*this, *it->second, ToQt(it->second->GetMatrix()), mouse_, 0);
  if (onlyChanges && picked == lastPick_) return;
  lastPick_ = picked;
  DisplayObject* before = hovered_;
  if (before == picked) return;
  // A disabled button keeps the pointer while the pointer stays on it; it leaves without
  // a word.
  if (before && !Enabled(*this, *before)) {
    if (!picked && before->visible && ContentHit(*before, ObjectToStage(*before), mouse_, 0)) return;
    hovered_ = before = nullptr;
  }
  if (!before && lostButton_ != LostButton::None) {
    const LostButton lost = lostButton_;
    lostButton_ = LostButton::None;
    if (!picked) {
      if (lost != LostButton::Over && mouseDown_) lostButton_ = LostButton::OutDown;
      return;
    }
    if (mouseDown_ && lost != LostButton::Over) {
      pressed_ = hovered_ = picked;
      if (lost == LostButton::OutDown) ButtonEvent(picked, kOutDownToOverDown, kDragOver, "onDragOver");
      ShowState(picked, ButtonCharacter::kDown);
      return;
    }
    if (!mouseDown_) {
      hovered_ = picked;
      ShowState(picked, ButtonCharacter::kOver);
      return;
    }
  }
  if (before) {
    if (mouseDown_ && before == pressed_) {
      ButtonEvent(before, kOverDownToOutDown, kDragOut, "onDragOut");
      ShowState(before, ButtonCharacter::kOver);
    } else if (!mouseDown_) {
      ButtonEvent(before, kOverUpToIdle, kRollOut, "onRollOut");
      ShowState(before, ButtonCharacter::kUp);
    }
  }
  hovered_ = nullptr;
  if (picked) {
    if (mouseDown_ && (picked == pressed_ || TracksAsMenu(*this, picked))) {
      // A menu button takes over a press that started anywhere else.
      pressed_ = picked;
      ButtonEvent(picked, kOutDownToOverDown, kDragOver, "onDragOver");
      ShowState(picked, ButtonCharacter::kDown);
      hovered_ = picked;
    } else if (!mouseDown_) {
      ButtonEvent(picked, kIdleToOverUp, kRollOver, "onRollOver");
      ShowState(picked, ButtonCharacter::kOver);
      hovered_ = picked;
    }
  }
}

void MovieRuntime::RecheckPointer() {
  if (!pointerSeen_ || host_->TakesInput()) return;
  UpdateHover(true);
  RunQueue();
}

void MovieRuntime::ClipMouseEvents(std::uint32_t clipEvent) {
  const char* method = clipEvent == kMouseMove ? "onMouseMove" : clipEvent == kMouseDown ? "onMouseDown" : "onMouseUp";
  for (MovieClip* clip : ClipsInEventOrder(*this)) {
    if (clip->Removed()) continue;
    for (const ClipAction& action : clip->clipActions) {
      if (action.events & clipEvent) QueueBlock(clip, action.actions);
    }
    QueueMethod(clip, method);
  }
}

namespace {

// Moving the pointer with the button held after a click in the focused field selects
// from where the click put the caret to the character under the pointer (the nearest
// one when the pointer is outside the field).
void DragSelect(TextField* field, bool buttonDown, QPointF stage) {
  if (!buttonDown || !field || field->Removed() || !field->selectable || field->selectionBegin < 0) return;
  bool invertible = false;
  const QPointF local = ObjectToStage(*field).inverted(&invertible).map(stage);
  if (!invertible) return;
  field->SetSelection(field->selectionBegin, field->Field().CharIndexAt(field->Field().initialText, local));
}

}  // namespace

void MovieRuntime::MouseMove(QPointF stage) {
  ResetBudgets();
  // A move that does not move changes only what a frame would.
  const bool moved = !pointerSeen_ || stage != mouse_;
  pointerSeen_ = true;
  mouse_ = stage;
  if (highlight_ != Highlight::Inactive && focus_) highlight_ = Highlight::Inactive;
  UpdateDrag();
  if (focus_ && focus_->Kind() == DisplayKind::EditText) DragSelect(static_cast<TextField*>(focus_), mouseDown_, stage);
  if (host_->TakesInput()) {
    host_->PointerMoved();
    RunQueue();
    return;
  }
  host_->BroadcastInput("Mouse", "onMouseMove");
  ClipMouseEvents(kMouseMove);
  UpdateHover(!moved);
  RunQueue();
}

void MovieRuntime::MouseButton(bool down, int button, QPointF stage) {
  ResetBudgets();
  // The buttons are keys 1 (left), 2 (right) and 4 (middle) to Key.isToggled, and to
  // Key.isDown while they are held.
  const int keyCode = button == 1 ? 2 : button == 2 ? 4 : 1;
  if (down) {
    if (!keysToggled_.erase(keyCode)) keysToggled_.insert(keyCode);
    keysDown_.insert(keyCode);
  } else {
    keysDown_.erase(keyCode);
  }
  if (host_->TakesInput()) {
    if (stage != mouse_) {
      mouse_ = stage;
      UpdateDrag();
      host_->PointerMoved();
    }
    if (button == 0) {
      if (down == mouseDown_) return;
      mouseDown_ = down;
    }
    host_->PointerButton(down, button);
    RunQueue();
    return;
  }
  pointerSeen_ = true;
  if (stage != mouse_) {
    mouse_ = stage;
    UpdateDrag();
    UpdateHover();
  }
  if (button != 0) return;  // only the left button presses buttons and raises the events
  if (down == mouseDown_) return;
  mouseDown_ = down;
  if (down) {
    host_->BroadcastInput("Mouse", "onMouseDown");
    ClipMouseEvents(kMouseDown);
    RunQueue();
    ClickFocus(stage);
    if (hovered_) {
      pressed_ = hovered_;
      ButtonEvent(pressed_, kOverUpToOverDown, kPress, "onPress");
      ShowState(pressed_, ButtonCharacter::kDown);
    }
  } else {
    host_->BroadcastInput("Mouse", "onMouseUp");
    ClipMouseEvents(kMouseUp);
    DisplayObject* target = pressed_;
    pressed_ = nullptr;
    if (lostButton_ != LostButton::Over) lostButton_ = LostButton::None;
    if (target && !target->Removed()) {
      if (hovered_ == target) {
        ButtonEvent(target, kOverDownToOverUp, kRelease, "onRelease");
        ShowState(target, ButtonCharacter::kOver);
      } else {
        ButtonEvent(target, kOutDownToIdle, kReleaseOutside, "onReleaseOutside");
        ShowState(target, ButtonCharacter::kUp);
      }
    }
    UpdateHover();
  }
  RunQueue();
}

void MovieRuntime::MouseWheel(int lines) {
  ResetBudgets();
  if (host_->TakesInput()) {
    host_->PointerWheel(lines);
    return;
  }
  host_->BroadcastInput("Mouse", "onMouseWheel", lines);
  RunQueue();
}

void MovieRuntime::KeyDown(int keyCode, int ascii) {
  ResetBudgets();
  // Every key's toggle state flips on each press, as the system keeps it (Caps Lock's
  // is the one that shows).
  if (keysDown_.count(keyCode) == 0 && !keysToggled_.erase(keyCode)) keysToggled_.insert(keyCode);
  keysDown_.insert(keyCode);
  keyTaken_ = false;
  lastKeyCode_ = keyCode;
  lastAscii_ = ascii;
  if (host_->TakesInput()) {
    host_->KeyPressed(true, keyCode, ascii);
    RunQueue();
    return;
  }
  FocusKeyEvents(true, keyCode);
  host_->BroadcastInput("Key", "onKeyDown");
  // Key presses of characters wait for the character the key types (a dead key types
  // none, or another one); the keys that type none (and Space) are pressed here.
  int buttonKey = ButtonKeyFor(keyCode, ascii);
  if (buttonKey > 32) buttonKey = 0;
  for (MovieClip* clip : ClipsInEventOrder(*this)) {
    if (clip->Removed()) continue;
    keyTaken_ = QueueKeyPress(*this, clip, buttonKey, keyTaken_);
    for (const ClipAction& action : clip->clipActions) {
      if (action.events & kKeyDown) QueueBlock(clip, action.actions);
    }
  }
  RunQueue();
  if (!keyTaken_) {
    // Enter and Space press and release the focused button while its rectangle shows.
    DisplayObject* focused = focus_;
    if (focused && !focused->Removed() && focused->IsContainer() && focused->Movie()->Version() >= 6 &&
        (keyCode == 13 || keyCode == 32) && highlight_ == Highlight::Visible) {
      ButtonEvent(focused, kOverUpToOverDown, kPress, "onPress");
      ButtonEvent(focused, kOverDownToOverUp, kRelease, "onRelease");
    }
    if (keyCode == 9) CycleFocus(KeyIsDown(16));
  }
  RunQueue();
}

void MovieRuntime::KeyUp(int keyCode, int ascii) {
  ResetBudgets();
  keysDown_.erase(keyCode);
  lastKeyCode_ = keyCode;
  lastAscii_ = ascii;
  if (host_->TakesInput()) {
    host_->KeyPressed(false, keyCode, ascii);
    RunQueue();
    return;
  }
  host_->BroadcastInput("Key", "onKeyUp");
  FocusKeyEvents(false, keyCode);
  for (MovieClip* clip : ClipsInEventOrder(*this)) {
    if (clip->Removed()) continue;
    for (const ClipAction& action : clip->clipActions) {
      if (action.events & kKeyUp) QueueBlock(clip, action.actions);
    }
  }
  RunQueue();
}

DisplayObject* MovieRuntime::ObjectUnder(QPointF stage, bool buttonsOnly) {
  if (buttonsOnly) {
    for (auto it = levels_.rbegin(); it != levels_.rend(); ++it) {
      if (DisplayObject* d = PickButton(*this, *it->second, ToQt(it->second->GetMatrix()), stage, 0)) return d;
    }
    return nullptr;
  }
  // The topmost clip whose content is under the point.
  std::vector<MovieClip*> clips = ClipsInEventOrder(*this);
  for (MovieClip* clip : clips) {
    if (clip->Removed() || !clip->visible || clip == drag_) continue;
    if (clip->Parent() && ContentHit(*clip, ObjectToStage(*clip), stage, 0)) return clip;
  }
  return nullptr;
}

}  // namespace vantrel::flash

// Keyboard focus: Selection.setFocus, the tab order Tab walks, the keys the focused
// clip or button hears, and text typed into the focused input field.
namespace vantrel::flash {

namespace {

// A boolean property of the object, or fallback while it is undefined.
bool Flag(MovieRuntime& player, DisplayObject& object, const char* name, bool fallback) {
  return player.Scripts().FlagProperty(object, name).value_or(fallback);
}

TextField* AsField(DisplayObject* object) {
  return object && object->Kind() == DisplayKind::EditText ? static_cast<TextField*>(object) : nullptr;
}

bool Editable(DisplayObject& object) {
  const TextField* field = AsField(&object);
  return field && !field->Field().readOnly;
}

// tabIndex as a signed 32-bit number; none when undefined or -1.
std::optional<std::int32_t> TabIndex(MovieRuntime& player, DisplayObject& object) {
  const std::optional<double> v = player.Scripts().NumberProperty(object, "tabIndex");
  if (!v) return std::nullopt;
  const std::int32_t index = script::ToInt32(*v);
  if (index == -1) return std::nullopt;
  return index;
}

// Whether Tab stops at the object: input fields and buttons unless tabEnabled is false,
// clips when tabEnabled is true or (left undefined) when they act as buttons or have a
// tabIndex.
bool Tabbable(MovieRuntime& player, DisplayObject& object) {
  if (object.Kind() == DisplayKind::EditText) return Editable(object) && Flag(player, object, "tabEnabled", true);
  if (object.Kind() == DisplayKind::Button) return Flag(player, object, "tabEnabled", true);
  auto& clip = static_cast<MovieClip&>(object);
  if (clip.Parent() == nullptr) return false;
  return Flag(player, object, "tabEnabled", ActsAsButton(player, clip) || TabIndex(player, object).has_value());
}

// Visible objects of the tree under clip in depth order, parents before children;
// tabChildren = false leaves a clip's children out.
void FillTabOrder(MovieRuntime& player, MovieClip& clip, std::vector<DisplayObject*>& out, int nesting) {
  if (nesting > MovieClip::kMaxNesting) return;
  if (!Flag(player, clip, "tabChildren", true)) return;
  for (const auto& [depth, child] : clip.Children()) {
    if (!child->visible || child->Removed()) continue;
    if (child->Kind() == DisplayKind::EditText || child->IsContainer()) {
      if (Tabbable(player, *child)) out.push_back(child);
    }
    if (child->Kind() == DisplayKind::MovieClip) FillTabOrder(player, static_cast<MovieClip&>(*child), out, nesting + 1);
  }
}

QRectF StageBounds(const DisplayObject& object) { return ObjectToStage(object).mapRect(object.LocalBounds()); }

}  // namespace

bool MovieRuntime::Focusable(DisplayObject& object) {
  if (object.Removed()) return false;
  switch (object.Kind()) {
    case DisplayKind::Button: return true;
    case DisplayKind::EditText: return true;
    case DisplayKind::MovieClip: {
      auto& clip = static_cast<MovieClip&>(object);
      if (!clip.Parent()) return false;
      return Flag(*this, clip, "focusEnabled", false) || ActsAsButton(*this, clip);
    }
    default: return false;
  }
}

void MovieRuntime::RollFocusOver(DisplayObject* next) {
  // Even a focus that stays where it is rolls out and over again.
  DisplayObject* before = hovered_;
  if (before && !before->Removed()) {
    ButtonEvent(before, kOverUpToIdle, kRollOut, "onRollOut");
    ShowState(before, ButtonCharacter::kUp);
  }
  hovered_ = nullptr;
  if (next && next->IsContainer()) {
    ButtonEvent(next, kIdleToOverUp, kRollOver, "onRollOver");
    ShowState(next, ButtonCharacter::kOver);
    hovered_ = next;
  }
}

void MovieRuntime::SetFocus(DisplayObject* object) { ChangeFocus(object, true); }

void MovieRuntime::ChangeFocus(DisplayObject* object, bool rollOver) {
  // The pointer's state follows a focus set by script or Tab; its events wait in the
  // queue.
  if (rollOver && !host_->TakesInput()) RollFocusOver(object);
  DisplayObject* old = focus_;
  // A field taking the focus fits its box first.
  if (TextField* field = AsField(object)) field->SettleBounds();
  // ActionScript 3 fields keep their selection as the focus comes and goes.
  const auto keepsSelection = [](const DisplayObject* o) {
    return o && o->Movie() && o->Movie()->movie && o->Movie()->movie->actionScript3;
  };
  if (old == object) {
    if (TextField* field = AsField(object); field && field->selectable && !keepsSelection(field)) field->SelectAll();
    return;
  }
  focus_ = object;
  highlight_ = !object                                 ? Highlight::Inactive
               : object->Kind() == DisplayKind::EditText ? Highlight::Hidden
               : ((object->Movie()->Version() >= 6 ? object->focusRect.value_or(focusRect) : focusRect)
                      ? Highlight::Visible
                      : Highlight::Hidden);
  if (TextField* field = AsField(old); field && !keepsSelection(field)) field->ClearSelection();
  host_->FocusMoved(old, object);
  // A selectable field selects its whole text once the focus handlers have run.
  if (TextField* field = AsField(object); field && field->selectable && focus_ == object && !keepsSelection(field))
    field->SelectAll();
}

void MovieRuntime::FocusLeaving(DisplayObject* object) {
  DisplayObject* at = focus_;
  while (at && at != object) at = at->Parent();
  if (!at) return;
  DisplayObject* old = focus_;
  focus_ = nullptr;
  highlight_ = Highlight::Inactive;
  if (TextField* field = AsField(old)) field->ClearSelection();
  host_->FocusRemoved(*old);
}

void MovieRuntime::WindowFocusLost() {
  ResetBudgets();
  if (hovered_ && !hovered_->Removed() && !mouseDown_) {
    ButtonEvent(hovered_, kOverUpToIdle, kRollOut, "onRollOut");
    ShowState(hovered_, ButtonCharacter::kUp);
  }
  hovered_ = nullptr;
  RunQueue();
  if (focus_ && focus_->IsContainer()) ChangeFocus(nullptr, false);
  RunQueue();
}

std::vector<DisplayObject*> MovieRuntime::TabOrder() {
  std::vector<DisplayObject*> order;
  for (const auto& [level, root] : levels_) FillTabOrder(*this, *root, order, 0);
  std::vector<std::optional<std::int32_t>> indexes;
  bool custom = false;
  for (DisplayObject* object : order) {
    indexes.push_back(TabIndex(*this, *object));
    custom = custom || indexes.back().has_value();
  }
  if (custom) {
    // Objects without a tabIndex drop out; equal indexes keep the tree's order.
    std::vector<std::pair<std::int32_t, DisplayObject*>> indexed;
    for (std::size_t i = 0; i < order.size(); ++i)
      if (indexes[i]) indexed.emplace_back(*indexes[i], order[i]);
    std::stable_sort(indexed.begin(), indexed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    order.clear();
    for (const auto& [index, object] : indexed) order.push_back(object);
    return order;
  }
  // By the top-left corner, weighing rows six times columns; of objects with the same
  // weight only the first in the tree takes part, as in the reference player.
  std::vector<std::pair<std::int64_t, DisplayObject*>> placed;
  for (DisplayObject* object : order) {
    const QRectF bounds = StageBounds(*object);
    placed.emplace_back(static_cast<std::int64_t>(std::floor(bounds.top())) * 6 +
                            static_cast<std::int64_t>(std::floor(bounds.left())),
                        object);
  }
  std::stable_sort(placed.begin(), placed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  order.clear();
  for (std::size_t i = 0; i < placed.size(); ++i) {
    if (i > 0 && placed[i].first == placed[i - 1].first) continue;
    order.push_back(placed[i].second);
  }
  return order;
}

void MovieRuntime::CycleFocus(bool reverse) {
  std::vector<DisplayObject*> order = TabOrder();
  if (order.empty()) return;
  if (reverse) std::reverse(order.begin(), order.end());
  DisplayObject* next = order.front();
  const auto at = std::find(order.begin(), order.end(), focus_);
  if (at != order.end() && std::next(at) != order.end()) next = *std::next(at);
  // Tabbing rolls the pointer's state over to the new object at once.
  RollFocusOver(next);
  RunQueue();
  ChangeFocus(next, false);
}

QRectF MovieRuntime::FocusHighlight() const {
  if (highlight_ != Highlight::Visible || !focus_ || focus_->Removed()) return {};
  return StageBounds(*focus_);
}

void MovieRuntime::FocusKeyEvents(bool down, int keyCode) {
  DisplayObject* focused = focus_;
  if (!focused || focused->Removed() || highlight_ == Highlight::Inactive || !focused->IsContainer()) return;
  if (focused->Movie()->Version() < 6) return;
  // The focused object hears its key before the Key listeners do.
  if (down) host_->CallHandlerNow(*focused, "onKeyDown");
  else QueueMethod(focused, "onKeyUp");
  (void)keyCode;
}

namespace {

// The topmost visible text field under point (stage twips) below clip.
TextField* FieldUnder(MovieClip& clip, QPointF point, int nesting) {
  if (nesting > MovieClip::kMaxNesting) return nullptr;
  const auto& list = clip.Children();
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    DisplayObject* child = it->second;
    if (!child->visible || child->clipDepth != 0) continue;
    if (TextField* field = AsField(child)) {
      bool invertible = false;
      const QPointF local = ObjectToStage(*field).inverted(&invertible).map(point);
      if (invertible && field->LocalBounds().contains(local)) return field;
    } else if (child->Kind() == DisplayKind::MovieClip) {
      if (TextField* inner = FieldUnder(static_cast<MovieClip&>(*child), point, nesting + 1)) return inner;
    }
  }
  return nullptr;
}

}  // namespace

void MovieRuntime::ClickFocus(QPointF stage) {
  // A button over the field takes the click.
  TextField* field = nullptr;
  for (auto it = levels_.rbegin(); it != levels_.rend() && !field && !hovered_; ++it)
    field = FieldUnder(*it->second, stage, 0);
  // Only selectable fields take the focus by the mouse (input ones included).
  if (field && field->selectable) {
    ChangeFocus(field, false);
    // The caret goes where the click was.
    const QPointF local = ObjectToStage(*field).inverted().map(stage);
    const int caret = field->Field().CharIndexAt(field->Field().initialText, local);
    field->SetSelection(caret, caret);
  } else if (focus_) {
    ChangeFocus(nullptr, false);
  }
}

void MovieRuntime::TextInput(char32_t character) {
  if (character > 32 && character < 127 && !host_->TakesInput()) {
    ResetBudgets();
    for (MovieClip* clip : ClipsInEventOrder(*this)) {
      if (!clip->Removed()) keyTaken_ = QueueKeyPress(*this, clip, static_cast<int>(character), keyTaken_);
    }
    RunQueue();
  }
  TextField* field = AsField(focus_);
  if (!field || field->Removed() || !Editable(*field) || keyTaken_) return;
  ResetBudgets();
  // Editing keys type no text: the scripts hear only of characters.
  if (character >= 32 && character != 127 && !host_->TextTyped(*field, QString::fromUcs4(&character, 1).toStdString()))
    return;
  if (field->Removed() || focus_ != field) return;
  const bool changed = field->Type(character);
  // ActionScript 3 hears of a change for every character its textInput let through,
  // though restrict or maxChars kept it out.
  const bool typed = character >= 32 && character != 127 && character != '\r' && character != '\n';
  if (host_->TakesInput() && (changed || typed)) {
    host_->TextChanged(*field);
    RunQueue();
  } else if (changed) {
    field->NotifyChanged();
    RunQueue();
  }
}

}  // namespace vantrel::flash
