// Mouse, keyboard and focus input of an ActionScript 3 movie: the object under the
// pointer is found on the display list (mouseEnabled, mouseChildren, hitArea, masks),
// and the events go to it through the capture and bubble phases as the player sends
// them: mouseOut/rollOut/rollOver/mouseOver as the pointer moves, mouseFocusChange and
// the focus change before mouseDown, click and doubleClick after mouseUp, keyDown and
// keyUp to the focus (or the stage), Tab through the tab order after keyFocusChange.
#include <algorithm>
#include <cmath>
#include <string_view>

#include "flash/avm2/as3_movie.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"
#include "flash/display/text_field.h"

namespace vantrel::flash::avm2 {

namespace {

// Two clicks on the same object within this time (milliseconds of the player's clock)
// make a double click.
constexpr double kDoubleClickMs = 500;
// The scripts one input event runs get a frame's budget.
constexpr long kInputInstructions = MovieRuntime::kInstructionsPerTick;

bool Inverts(const DisplayObject& object, QPointF stage, QPointF& local) {
  bool invertible = false;
  local = ObjectToStage(object).inverted(&invertible).map(stage);
  return invertible;
}

// Whether the stage point falls on what the object draws (children included). A mask
// or a hit area counts by its shape, shown or not (evenHidden).
bool Covers(DisplayObject& object, QPointF stage, int nesting, bool evenHidden = false) {
  if ((!object.visible && !evenHidden) || object.Removed() || nesting > MovieClip::kMaxNesting) return false;
  QPointF local;
  if (!Inverts(object, stage, local)) return false;
  if (object.scrollRect && !object.scrollRect->contains(local)) return false;
  if (object.Kind() == DisplayKind::EditText) return object.LocalBounds().contains(local);
  if (object.IsContainer()) {
    auto& clip = static_cast<MovieClip&>(object);
    if (clip.keepsStates) {
      DisplayObject* hit = clip.stateObjects[MovieClip::kStateCount - 1];
      return hit && Covers(*hit, stage, nesting + 1, true);
    }
    if (clip.button) {
      for (const ButtonRecord& record : clip.button->records) {
        if (!(record.states & ButtonCharacter::kHitTest)) continue;
        const Drawable* drawn = AsDrawable(clip.Movie()->Find(record.characterId).get());
        if (!drawn) continue;
        bool ok = false;
        const QTransform toRecord = QTransform(record.matrix.a, record.matrix.b, record.matrix.c, record.matrix.d,
                                               record.matrix.tx, record.matrix.ty).inverted(&ok);
        if (ok && drawn->HitTest(toRecord.map(local))) return true;
      }
      return false;
    }
    if (clip.drawing && clip.drawing->HitTest(local)) return true;
    for (const auto& [depth, child] : clip.Children())
      if (child->clipDepth == 0 && !(child->maskedBy && child->maskedBy->maskClip == child) &&
          Covers(*child, stage, nesting + 1, evenHidden))
        return true;
    return false;
  }
  if (object.Kind() == DisplayKind::Bitmap) return object.LocalBounds().contains(local);
  const Drawable* drawn = object.Drawn();
  return drawn && drawn->HitTest(local, object.ratio);
}

// The mask over child among its siblings (a clip-depth layer below it), null when none.
DisplayObject* LayerMask(MovieClip& parent, DisplayObject& child) {
  DisplayObject* mask = nullptr;
  for (const auto& [depth, sibling] : parent.Children()) {
    if (depth >= child.depth) break;
    if (sibling->clipDepth != 0 && sibling->clipDepth >= child.depth) mask = sibling;
  }
  return mask;
}

// The main timeline of a movie (the first one, or one a Loader loaded).
bool IsMovieRoot(const DisplayObject& object) {
  if (object.Kind() != DisplayKind::MovieClip || !object.Movie() || !object.Movie()->movie) return false;
  return static_cast<const MovieClip&>(object).GetTimeline() == &object.Movie()->movie->root;
}

}  // namespace

bool As3Movie::Interactive(DisplayObject& object) {
  if (object.Kind() == DisplayKind::EditText || object.Kind() == DisplayKind::Button) return true;
  if (object.Kind() != DisplayKind::MovieClip) return false;
  // Script-made containers are interactive unless their class says otherwise (a Loader
  // is; a Shape or Bitmap made as an empty clip is not).
  return !IsInstanceOf(*machine_, &object, "flash.display.Shape") && !IsInstanceOf(*machine_, &object, "flash.display.Bitmap");
}

bool As3Movie::TakesPointer(DisplayObject& object, QPointF stage) {
  const auto it = machine_->interactive.find(&object);
  if (it != machine_->interactive.end() && it->second.hitArea) {
    return Covers(*it->second.hitArea, stage, 0, true);
  }
  return Covers(object, stage, 0);
}

// A hit on what an object takes no mouse events for (a shape, a container with
// mouseEnabled off) goes to the nearest container above it that takes them.
As3Movie::Pick As3Movie::PickIn(MovieClip& clip, QPointF stage, int nesting) {
  if (nesting > MovieClip::kMaxNesting) return {};
  QPointF local;
  if (!Inverts(clip, stage, local)) return {};
  if (clip.scrollRect && !clip.scrollRect->contains(local)) return {};
  // An interactive child under the point takes it before anything that takes no mouse
  // events, whatever their order; those make a hit on the container itself.
  bool hit = clip.drawing && clip.drawing->HitTest(local);
  const auto& children = clip.Children();
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    DisplayObject* child = it->second;
    if (!child->visible || child->Removed() || child->clipDepth != 0) continue;
    if (child->maskedBy && child->maskedBy->maskClip == child) continue;  // a mask is not hit
    if (child->maskClip && !Covers(*child->maskClip, stage, 0, true)) continue;
    if (DisplayObject* mask = LayerMask(clip, *child); mask && !Covers(*mask, stage, 0, true)) continue;
    if (!Interactive(*child)) {
      hit = hit || Covers(*child, stage, nesting + 1);
      continue;
    }
    const auto settings = machine_->interactive.find(child);
    const bool hasHitArea = settings != machine_->interactive.end() && settings->second.hitArea;
    if (child->Kind() == DisplayKind::MovieClip && child->mouseChildren && !hasHitArea) {
      const Pick inner = PickIn(static_cast<MovieClip&>(*child), stage, nesting + 1);
      if (inner.target) return inner;
      // A movie's root is never a target itself: a hit on it is its container's (the
      // Loader's).
      if (inner.hit && child->mouseEnabled && !IsMovieRoot(*child)) return {true, child};
      hit = hit || inner.hit;
      continue;
    }
    if (!TakesPointer(*child, stage)) continue;
    if (child->mouseEnabled) return {true, child};
    // A sprite that takes no mouse events, nor its children's, is part of its parent; a
    // text field or button that takes none lets the pointer through.
    hit = hit || child->Kind() == DisplayKind::MovieClip;
  }
  return {hit, nullptr};
}

DisplayObject* As3Movie::ObjectUnderPointer() {
  const QPointF stage = player_.MousePosition();
  DisplayObject* stageHost = StageObject();
  if (!stageHost) return nullptr;
  // The stage's own children lie over the root.
  if (stageHost->mouseChildren) {
    const Pick top = PickIn(*static_cast<MovieClip*>(stageHost), stage, 0);
    if (top.hit) return top.target ? top.target : stageHost;
    MovieClip& root = player_.Root();
    if (root.visible && !root.Removed()) {
      if (!root.mouseChildren) {
        if (root.mouseEnabled && Covers(root, stage, 0)) return &root;
      } else if (const Pick hit = PickIn(root, stage, 0); hit.hit && hit.target) {
        // What the root holds that takes no mouse events is the stage's.
        return hit.target;
      }
    }
  }
  return stageHost;
}

DisplayObject* As3Movie::StageObject() {
  Value stage;
  machine_->Guard([&] { stage = StageValue(*machine_); });
  if (!stage.IsObject() || stage.object->kind != ObjectKind::Display) return nullptr;
  return static_cast<NativeObject*>(stage.object)->display;
}

bool As3Movie::Dispatch(DisplayObject* target, const char* eventClass, std::vector<Value> args) {
  if (!target || (target->Removed() && target != StageObject())) return true;
  bool notPrevented = true;
  machine_->Guard([&] {
    ClassObject* cls = machine_->FindClass(eventClass);
    if (!cls) return;
    const Value event = machine_->Construct(Value::Obj(cls), args.data(), static_cast<int>(args.size()));
    notPrevented = machine_->ToBoolean(machine_->CallPublic(DisplayObjectValue(*machine_, target), "dispatchEvent", {event}));
  });
  return notPrevented;
}

void As3Movie::MouseEvent(DisplayObject* target, const std::string& type, DisplayObject* related, bool bubbles,
                          int delta) {
  if (!target) return;
  QPointF local;
  if (!Inverts(*target, player_.MousePosition(), local)) local = QPointF();
  Machine& m = *machine_;
  const Value relatedValue = related && !related->Removed() ? DisplayObjectValue(m, related) : Value::Null();
  Dispatch(target, "flash.events.MouseEvent",
           {m.StrValue(type), Value::Bool(bubbles), Value::Bool(false), Value::Number(local.x() / 20),
            Value::Number(local.y() / 20), relatedValue, Value::Bool(player_.KeyIsDown(17)), Value::Bool(player_.KeyIsDown(18)),
            Value::Bool(player_.KeyIsDown(16)), Value::Bool(buttonsDown_ != 0), Value::Number(delta)});
}

bool As3Movie::FocusEvent(DisplayObject* target, const char* type, DisplayObject* related, bool cancelable, int keyCode) {
  Machine& m = *machine_;
  const Value relatedValue = related && !related->Removed() ? DisplayObjectValue(m, related) : Value::Null();
  return Dispatch(target, "flash.events.FocusEvent",
                  {m.StrValue(type), Value::Bool(true), Value::Bool(cancelable), relatedValue,
                   Value::Bool(player_.KeyIsDown(16)), Value::Number(keyCode)});
}

// The objects from object up to the stage (left out), nearest first.
static std::vector<DisplayObject*> Chain(DisplayObject* object, DisplayObject* stage) {
  std::vector<DisplayObject*> chain;
  for (DisplayObject* d = object; d && d != stage && chain.size() < 1024; d = d->Parent()) chain.push_back(d);
  return chain;
}

void As3Movie::PointerMoved() {
  machine_->SetBudget(kInputInstructions);
  DisplayObject* stage = StageObject();
  if (!stage) return;
  if (hovered_ && hovered_->Removed() && hovered_ != stage) hovered_ = nullptr;
  DisplayObject* under = ObjectUnderPointer();
  if (under == stage) under = nullptr;  // the stage itself is never rolled over
  MouseEvent(under ? under : stage, "mouseMove", nullptr);
  if (under == hovered_) return;
  const ButtonStatesAfter update{*this};
  DisplayObject* before = hovered_;
  hovered_ = under;
  const std::vector<DisplayObject*> left = Chain(before, stage);
  const std::vector<DisplayObject*> entered = Chain(under, stage);
  const auto contains = [](const std::vector<DisplayObject*>& list, DisplayObject* d) {
    return std::find(list.begin(), list.end(), d) != list.end();
  };
  if (before) {
    MouseEvent(before, "mouseOut", under);
    for (DisplayObject* d : left)
      if (!contains(entered, d) && Interactive(*d)) MouseEvent(d, "rollOut", under, false);
  }
  if (under) {
    for (auto it = entered.rbegin(); it != entered.rend(); ++it)
      if (!contains(left, *it) && Interactive(**it)) MouseEvent(*it, "rollOver", before, false);
    MouseEvent(under, "mouseOver", before);
  }
}

void As3Movie::PointerButton(bool down, int button) {
  machine_->SetBudget(kInputInstructions);
  DisplayObject* stage = StageObject();
  if (!stage) return;
  DisplayObject* target = ObjectUnderPointer();
  if (!target) target = stage;
  static const char* const kDown[] = {"mouseDown", "rightMouseDown", "middleMouseDown"};
  static const char* const kUp[] = {"mouseUp", "rightMouseUp", "middleMouseUp"};
  static const char* const kClick[] = {"click", "rightClick", "middleClick"};
  if (button < 0 || button > 2) return;
  const ButtonStatesAfter update{*this};
  if (down) buttonsDown_ |= 1 << button;
  else buttonsDown_ &= ~(1 << button);
  if (down) {
    if (button == 0) ClickFocus(target == stage ? nullptr : target);
    pressed_[button] = target;
    MouseEvent(target, kDown[button], nullptr);
    return;
  }
  DisplayObject* pressed = pressed_[button];
  pressed_[button] = nullptr;
  MouseEvent(target, kUp[button], nullptr);
  if (pressed == target && !target->Removed()) {
    MouseEvent(target, kClick[button], nullptr);
    if (button == 0 && target->doubleClickEnabled) {
      const double now = player_.Milliseconds();
      if (lastClick_ == target && now - lastClickTime_ <= kDoubleClickMs) {
        MouseEvent(target, "doubleClick", nullptr);
        lastClick_ = nullptr;
      } else {
        lastClick_ = target;
        lastClickTime_ = now;
      }
    } else if (button == 0) {
      lastClick_ = nullptr;
    }
  } else if (button == 0 && pressed && pressed != target && !pressed->Removed()) {
    MouseEvent(pressed, "releaseOutside", nullptr);
  }
}

void As3Movie::UpdateButtonStates() {
  DisplayObject* stage = StageObject();
  if (!stage) return;
  const bool leftDown = buttonsDown_ & 1;
  const auto buttonsIn = [&](DisplayObject* from) {
    std::vector<MovieClip*> buttons;
    if (from && from->Removed()) return buttons;
    for (DisplayObject* d : Chain(from, stage))
      if (d->Kind() == DisplayKind::Button && static_cast<MovieClip*>(d)->keepsStates)
        buttons.push_back(static_cast<MovieClip*>(d));
    return buttons;
  };
  const std::vector<MovieClip*> hovered = buttonsIn(hovered_);
  const std::vector<MovieClip*> pressed = buttonsIn(leftDown ? pressed_[0] : nullptr);
  const auto holds = [](const std::vector<MovieClip*>& list, MovieClip* b) {
    return std::find(list.begin(), list.end(), b) != list.end();
  };
  std::vector<MovieClip*> lit;
  const auto show = [&](MovieClip* b, std::uint8_t state) {
    if (!b->buttonEnabled) state = ButtonCharacter::kUp;
    b->ShowButtonState(state);
    if (state != ButtonCharacter::kUp && !holds(lit, b)) lit.push_back(b);
  };
  for (MovieClip* b : hovered) {
    if (!leftDown) show(b, ButtonCharacter::kOver);
    else if (holds(pressed, b) || b->trackAsMenu) show(b, ButtonCharacter::kDown);
  }
  for (MovieClip* b : pressed)
    if (!holds(hovered, b)) show(b, ButtonCharacter::kOver);
  for (MovieClip* b : litButtons_)
    if (!holds(lit, b) && !b->Removed()) b->ShowButtonState(ButtonCharacter::kUp);
  litButtons_ = std::move(lit);
}

void As3Movie::ClickFocus(DisplayObject* clicked) {
  DisplayObject* focus = player_.Focus();
  if (focus && focus->Removed()) focus = nullptr;
  if (clicked == focus) return;
  DisplayObject* stage = StageObject();
  // The focused object (or the stage) may keep the focus by cancelling the change.
  if (!FocusEvent(focus ? focus : stage, "mouseFocusChange", clicked, true, 0)) return;
  // Text fields take the focus by the mouse, other objects when they are in the tab order.
  DisplayObject* next =
      clicked && (clicked->Kind() == DisplayKind::EditText || TabEnabledOf(*machine_, clicked)) ? clicked : nullptr;
  if (next != player_.Focus()) player_.SetFocus(next);
}

void As3Movie::FocusMoved(DisplayObject* old, DisplayObject* now) {
  machine_->SetBudget(kInputInstructions);
  if (old && !old->Removed()) FocusEvent(old, "focusOut", now, false, 0);
  if (now && !now->Removed() && player_.Focus() == now) FocusEvent(now, "focusIn", old, false, 0);
}

void As3Movie::PointerWheel(int lines) {
  machine_->SetBudget(kInputInstructions);
  DisplayObject* target = ObjectUnderPointer();
  if (target) MouseEvent(target, "mouseWheel", nullptr, true, lines);
}

void As3Movie::KeyPressed(bool down, int keyCode, int charCode) {
  machine_->SetBudget(kInputInstructions);
  DisplayObject* stage = StageObject();
  DisplayObject* focus = player_.Focus();
  if (focus && focus->Removed()) focus = nullptr;
  DisplayObject* target = focus ? focus : stage;
  if (!target) return;
  // The number pad's keys are told apart by their location.
  const int location = (keyCode >= 96 && keyCode <= 111) ? 3 : 0;
  Machine& m = *machine_;
  Dispatch(target, "flash.events.KeyboardEvent",
           {m.StrValue(down ? "keyDown" : "keyUp"), Value::Bool(true), Value::Bool(false), Value::Number(charCode),
            Value::Number(keyCode), Value::Number(location), Value::Bool(player_.KeyIsDown(17)),
            Value::Bool(player_.KeyIsDown(18)), Value::Bool(player_.KeyIsDown(16))});
  if (down && keyCode == 9) TabFocus(player_.KeyIsDown(16));
}

void As3Movie::TabFocus(bool reverse) {
  std::vector<DisplayObject*> order = player_.TabOrder();
  DisplayObject* focus = player_.Focus();
  if (focus && focus->Removed()) focus = nullptr;
  DisplayObject* next = nullptr;
  if (!order.empty()) {
    if (reverse) std::reverse(order.begin(), order.end());
    next = order.front();
    const auto at = std::find(order.begin(), order.end(), focus);
    if (at != order.end() && std::next(at) != order.end()) next = *std::next(at);
  }
  DisplayObject* stage = StageObject();
  if (!FocusEvent(focus ? focus : stage, "keyFocusChange", next, true, 9)) return;
  if (next && next != focus) player_.SetFocus(next);
}

bool As3Movie::TextTyped(TextField& field, const std::string& utf8) {
  machine_->SetBudget(kInputInstructions);
  Machine& m = *machine_;
  return Dispatch(&field, "flash.events.TextEvent", {m.StrValue("textInput"), Value::Bool(true), Value::Bool(true), m.StrValue(utf8)});
}

void As3Movie::TextChanged(TextField& field) {
  machine_->SetBudget(kInputInstructions);
  Machine& m = *machine_;
  Dispatch(&field, "flash.events.Event", {m.StrValue("change"), Value::Bool(true), Value::Bool(false)});
}

std::optional<bool> As3Movie::FlagProperty(DisplayObject& object, const char* name) {
  // The player's tab order asks what the scripts say.
  if (std::string_view(name) == "tabEnabled") return TabEnabledOf(*machine_, &object);
  if (std::string_view(name) == "tabChildren") {
    const auto it = machine_->interactive.find(&object);
    return it == machine_->interactive.end() || it->second.tabChildren;
  }
  return std::nullopt;
}

std::optional<double> As3Movie::NumberProperty(DisplayObject& object, const char* name) {
  if (std::string_view(name) == "tabIndex" && object.tabIndex) return *object.tabIndex;
  return std::nullopt;
}

}  // namespace vantrel::flash::avm2
