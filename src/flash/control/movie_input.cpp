// Mouse and keyboard input of a running movie: the Key and Mouse listeners, the clip
// events of onClipEvent(mouseDown ...) and onClipEvent(keyDown ...), and the buttons
// (button characters, and clips with onPress/onRelease/... handlers acting as buttons)
// with their up/over/down states and the transitions their actions wait for.
#include <algorithm>
#include <cmath>
#include <vector>

#include "flash/avm1.h"
#include "flash/avm1_object.h"
#include "flash/movie_clip.h"
#include "flash/movie_player.h"

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

// The player sees the pointer on whole pixels of the stage.
QPointF WholePixels(QPointF stage) {
  return QPointF(std::nearbyint(stage.x() / 20) * 20, std::nearbyint(stage.y() / 20) * 20);
}

QTransform ToQt(const Matrix& m) { return QTransform(m.a, m.b, m.c, m.d, m.tx, m.ty); }

const ButtonCharacter* ButtonOf(const DisplayObject& object) {
  if (!object.character || object.character->Kind() != CharacterKind::Button) return nullptr;
  return static_cast<const ButtonCharacter*>(object.character.get());
}

bool ActsAsButton(const MovieClip& clip, const DisplayObject& object) {
  for (const ClipAction& action : object.clipActions) {
    if (action.events & (kPress | kRelease | kReleaseOutside | kRollOver | kRollOut | kDragOver | kDragOut))
      return true;
  }
  for (const char* name : kButtonHandlers) {
    if (clip.HasVariable(name)) return true;
  }
  return false;
}

// True when point (stage twips) falls on a filled part of what the clip shows.
bool ContentHit(const MovieClip& clip, const QTransform& toStage, QPointF point, int nesting) {
  if (nesting > MovieClip::kMaxNesting) return false;
  for (const auto& [depth, object] : clip.DisplayList()) {
    if (!object.visible || object.clipDepth != 0) continue;  // mask layers are not hit
    const QTransform childToStage = ToQt(object.matrix) * toStage;
    if (object.clip) {
      if (ContentHit(*object.clip, childToStage, point, nesting + 1)) return true;
      continue;
    }
    if (!object.character) continue;
    bool invertible = false;
    const QPointF local = childToStage.inverted(&invertible).map(point);
    if (invertible && object.character->HitTest(local, object.ratio)) return true;
  }
  return false;
}

// Buttons and clips set `enabled = false` take no mouse events.
bool Enabled(const MovieClip& clip) {
  if (!clip.HasVariable("enabled")) return true;
  return avm1::ToBoolean(clip.GetVariable("enabled"), clip.Player().SwfVersion());
}

// A button character's hit area (the records of its hit state).
bool ButtonHit(const ButtonCharacter& button, const QTransform& toStage, QPointF point) {
  if (!button.dictionary) return false;
  for (const ButtonRecord& record : button.records) {
    if (!(record.states & ButtonCharacter::kHitTest)) continue;
    const auto character = button.dictionary->Find(record.characterId);
    if (!character || character->Kind() == CharacterKind::Button) continue;
    bool invertible = false;
    const QPointF local = (ToQt(record.matrix) * toStage).inverted(&invertible).map(point);
    if (invertible && character->HitTest(local)) return true;
  }
  return false;
}

// The topmost button (or clip acting as one) under point, searching clip's children
// from the highest depth down. A clip acting as a button takes the pointer for its
// whole content, as the player does.
MovieClip* PickButton(MovieClip& clip, const QTransform& toStage, QPointF point, int nesting) {
  if (nesting > MovieClip::kMaxNesting) return nullptr;
  const auto& list = clip.DisplayList();
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    const DisplayObject& object = it->second;
    if (!object.visible || !object.clip || object.clipDepth != 0) continue;
    const QTransform childToStage = ToQt(object.matrix) * toStage;
    if (const ButtonCharacter* button = ButtonOf(object)) {
      if (Enabled(*object.clip) && ButtonHit(*button, childToStage, point)) return object.clip.get();
      continue;
    }
    if (ActsAsButton(*object.clip, object) && Enabled(*object.clip)) {
      if (ContentHit(*object.clip, childToStage, point, nesting + 1)) return object.clip.get();
      continue;
    }
    if (MovieClip* inner = PickButton(*object.clip, childToStage, point, nesting + 1)) return inner;
  }
  return nullptr;
}

// Every clip of the display tree below clip, parents before children and lower depths
// first.
void CollectClips(MovieClip& clip, std::vector<std::shared_ptr<MovieClip>>& out, int nesting) {
  if (nesting > MovieClip::kMaxNesting) return;
  for (const auto& [depth, object] : clip.DisplayList()) {
    if (!object.clip || ButtonOf(object)) continue;
    out.push_back(object.clip);
    CollectClips(*object.clip, out, nesting + 1);
  }
}

// The clips that hear mouse and key events, in the order the player tells them: the
// highest depth first and children before their parent, the root last.
std::vector<std::shared_ptr<MovieClip>> ClipsInEventOrder(const std::shared_ptr<MovieClip>& root) {
  std::vector<std::shared_ptr<MovieClip>> clips;
  clips.push_back(root);
  CollectClips(*root, clips, 0);
  std::reverse(clips.begin(), clips.end());
  return clips;
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

avm1::Value GlobalObject(MoviePlayer& player, const char* name) {
  const avm1::Value* found = player.Script().global->Find(name, false);
  return found ? *found : avm1::Value::Undefined();
}

}  // namespace

QTransform ClipToStage(const MovieClip& clip) {
  QTransform toStage;
  int guard = 0;
  for (const MovieClip* at = &clip; at && at->Parent() && guard < 1000; at = at->Parent(), ++guard) {
    if (at->Owner()) toStage = toStage * ToQt(at->Owner()->matrix);
  }
  return toStage;
}

void MoviePlayer::ButtonTransition(MovieClip& target, std::uint16_t buttonCondition, std::uint32_t clipEvent,
                                   const char* handler) {
  DisplayObject* object = target.Owner();
  if (!object) return;
  if (const ButtonCharacter* button = ButtonOf(*object)) {
    for (const ButtonCondition& condition : button->conditions) {
      if ((condition.conditions & 0x1FF) & buttonCondition) {
        // A button's actions run on the timeline that holds it.
        if (target.Parent()) QueueActions(*target.Parent(), condition.actions);
      }
    }
    return;
  }
  for (const ClipAction& action : object->clipActions) {
    if (action.events & clipEvent) QueueActions(target, action.actions);
  }
  if (target.HasVariable(handler)) QueueHandler(target, handler);
}

namespace {

void ShowState(MovieClip& target, std::uint8_t state) {
  DisplayObject* object = target.Owner();
  if (!object) return;
  if (const ButtonCharacter* button = ButtonOf(*object)) target.ShowButtonState(*button, state);
}

}  // namespace

void MoviePlayer::UpdateHover() {
  MovieClip* picked = PickButton(*root_, QTransform(), mouse_, 0);
  const auto before = hovered_.lock();
  if (before.get() == picked) return;
  const auto pressed = pressed_.lock();
  if (before) {
    if (mouseDown_ && before == pressed) {
      ButtonTransition(*before, kOverDownToOutDown, kDragOut, "onDragOut");
      ShowState(*before, ButtonCharacter::kOver);
    } else if (!mouseDown_) {
      ButtonTransition(*before, kOverUpToIdle, kRollOut, "onRollOut");
      ShowState(*before, ButtonCharacter::kUp);
    }
  }
  hovered_.reset();
  if (picked) {
    if (mouseDown_ && picked == pressed.get()) {
      ButtonTransition(*picked, kOutDownToOverDown, kDragOver, "onDragOver");
      ShowState(*picked, ButtonCharacter::kDown);
      hovered_ = picked->weak_from_this();
    } else if (!mouseDown_) {
      ButtonTransition(*picked, kIdleToOverUp, kRollOver, "onRollOver");
      ShowState(*picked, ButtonCharacter::kOver);
      hovered_ = picked->weak_from_this();
    }
  }
}

void MoviePlayer::MouseBroadcast(const char* event, std::uint32_t clipEvent) {
  const avm1::Value mouse = GlobalObject(*this, "Mouse");
  if (mouse.type == avm1::Value::Type::Object) avm1::Broadcast(*root_, mouse, event, {});
  const std::vector<std::shared_ptr<MovieClip>> clips = ClipsInEventOrder(root_);
  for (const auto& clip : clips) {
    if (!clip->Parent() && clip != root_) continue;  // removed by an earlier handler
    if (const DisplayObject* object = clip->Owner()) {
      for (const ClipAction& action : object->clipActions) {
        if (action.events & clipEvent) QueueActions(*clip, action.actions);
      }
    }
    if (clip->HasVariable(event)) QueueHandler(*clip, event);
  }
}

void MoviePlayer::MouseMove(QPointF stage) {
  if (!started_) Start();
  ResetBudgets();
  mouse_ = WholePixels(stage);
  MouseBroadcast("onMouseMove", kMouseMove);
  UpdateHover();
  RunQueuedActions();
}

void MoviePlayer::MouseButton(bool down, int button, QPointF stage) {
  if (!started_) Start();
  ResetBudgets();
  stage = WholePixels(stage);
  if (stage != mouse_) {
    mouse_ = stage;
    UpdateHover();
  }
  if (button != 0) return;  // only the left button presses buttons and raises the events
  if (down == mouseDown_) return;
  mouseDown_ = down;
  if (down) {
    MouseBroadcast("onMouseDown", kMouseDown);
    if (const auto target = hovered_.lock()) {
      pressed_ = target;
      ButtonTransition(*target, kOverUpToOverDown, kPress, "onPress");
      ShowState(*target, ButtonCharacter::kDown);
    }
  } else {
    MouseBroadcast("onMouseUp", kMouseUp);
    const auto target = pressed_.lock();
    pressed_.reset();
    if (target) {
      if (hovered_.lock() == target) {
        ButtonTransition(*target, kOverDownToOverUp, kRelease, "onRelease");
        ShowState(*target, ButtonCharacter::kOver);
      } else {
        ButtonTransition(*target, kOutDownToIdle, kReleaseOutside, "onReleaseOutside");
        ShowState(*target, ButtonCharacter::kUp);
      }
    }
    UpdateHover();
  }
  RunQueuedActions();
}

void MoviePlayer::MouseWheel(int lines) {
  if (!started_) Start();
  ResetBudgets();
  const avm1::Value mouse = GlobalObject(*this, "Mouse");
  if (mouse.type == avm1::Value::Type::Object) avm1::Broadcast(*root_, mouse, "onMouseWheel", {avm1::Value::Number(lines)});
  RunQueuedActions();
}

void MoviePlayer::KeyDown(int keyCode, int ascii) {
  if (!started_) Start();
  ResetBudgets();
  if (keysDown_.count(keyCode) == 0 && (keyCode == 20 || keyCode == 144 || keyCode == 145)) {
    // Caps Lock, Num Lock and Scroll Lock flip on each press.
    if (!keysToggled_.erase(keyCode)) keysToggled_.insert(keyCode);
  }
  keysDown_.insert(keyCode);
  lastKeyCode_ = keyCode;
  lastAscii_ = ascii;
  const avm1::Value key = GlobalObject(*this, "Key");
  if (key.type == avm1::Value::Type::Object) avm1::Broadcast(*root_, key, "onKeyDown", {});
  const std::vector<std::shared_ptr<MovieClip>> clips = ClipsInEventOrder(root_);
  const int buttonKey = ButtonKeyFor(keyCode, ascii);
  // Buttons anywhere in the movie react to their key, clips to keyDown and their key press.
  std::vector<std::shared_ptr<MovieClip>> buttons;
  for (const auto& clip : clips) {
    for (const auto& [depth, object] : clip->DisplayList()) {
      const ButtonCharacter* button = ButtonOf(object);
      if (!button || buttonKey == 0) continue;
      for (const ButtonCondition& condition : button->conditions) {
        if (((condition.conditions >> 9) & 0x7F) == buttonKey) QueueActions(*clip, condition.actions);
      }
    }
    if (const DisplayObject* object = clip->Owner()) {
      for (const ClipAction& action : object->clipActions) {
        if (action.events & kKeyDown) QueueActions(*clip, action.actions);
        if ((action.events & kKeyPress) && buttonKey != 0 && action.keyCode == buttonKey)
          QueueActions(*clip, action.actions);
      }
    }
  }
  RunQueuedActions();
}

void MoviePlayer::KeyUp(int keyCode, int ascii) {
  if (!started_) Start();
  ResetBudgets();
  keysDown_.erase(keyCode);
  lastKeyCode_ = keyCode;
  lastAscii_ = ascii;
  const avm1::Value key = GlobalObject(*this, "Key");
  if (key.type == avm1::Value::Type::Object) avm1::Broadcast(*root_, key, "onKeyUp", {});
  const std::vector<std::shared_ptr<MovieClip>> clips = ClipsInEventOrder(root_);
  for (const auto& clip : clips) {
    if (const DisplayObject* object = clip->Owner()) {
      for (const ClipAction& action : object->clipActions) {
        if (action.events & kKeyUp) QueueActions(*clip, action.actions);
      }
    }
  }
  RunQueuedActions();
}

}  // namespace vantrel::flash
