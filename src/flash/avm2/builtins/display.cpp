// flash.events (EventDispatcher, Event) and flash.display (DisplayObject, the
// containers, Sprite, MovieClip, Shape, Stage) over the player's shared display objects.
#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>

#include "flash/avm2/builtins/geom.h"
#include "flash/avm2/builtins/media.h"
#include "flash/avm2/builtins/support.h"
#include "flash/character/bitmap.h"
#include "flash/display/hit_test.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"
#include "flash/display/text_field.h"
#include "flash/render/effects.h"

namespace vantrel::flash::avm2 {

namespace {

// The stage's own children beside the root live in a level of their own above it (the
// host); the stage's script object stands for that level.
constexpr int kStageHostLevel = 1 << 20;

MovieClip* StageHost(Machine& m) { return m.player ? m.player->Level(kStageHostLevel) : nullptr; }
bool IsStageHost(Machine& m, const DisplayObject* d) { return d && d == StageHost(m); }
// What the stage refuses of the display object properties it inherits.
[[noreturn]] void StageLacks(Machine& m) {
  m.ThrowError("flash.errors.IllegalOperationError", 2071, "The Stage class does not implement this property or method.");
}

// ---- events ----
// Listeners live in the dispatcher's list as (type, function, capture, priority).

Object* AllocateDispatcher(Machine& m, ClassObject*) { return m.heap.Make<NativeObject>(ObjectKind::Display, nullptr, nullptr); }
Object* AllocateEvent(Machine& m, ClassObject*) { return m.heap.Make<NativeObject>(ObjectKind::Event, nullptr, nullptr); }

NativeObject* Dispatcher(Machine& m, const Value& self) {
  if (!self.IsObject() || self.object->kind != ObjectKind::Display)
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.events.IEventDispatcher.");
  return static_cast<NativeObject*>(self.object);
}

Value AddEventListener(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* d = Dispatcher(m, self);
  const std::string type = StrArg(m, args, argc, 0);
  const Value listener = Arg(args, argc, 1);
  if (!IsCallable(listener)) m.ThrowTypeError(2007, "Parameter listener must be non-null.");
  const bool capture = m.ToBoolean(Arg(args, argc, 2));
  const double priority = NumArg(m, args, argc, 3, 0);
  for (std::size_t i = 0; i + 3 < d->list.size(); i += 4) {
    if (m.ToString(d->list[i]) == type && m.StrictEquals(d->list[i + 1], listener) && m.ToBoolean(d->list[i + 2]) == capture)
      return Value();
  }
  // Higher priorities first; equal ones in the order they were added.
  std::size_t at = d->list.size();
  for (std::size_t i = 0; i + 3 < d->list.size(); i += 4) {
    if (m.ToNumber(d->list[i + 3]) < priority) {
      at = i;
      break;
    }
  }
  const Value entry[4] = {m.StrValue(type), listener, Value::Bool(capture), Value::Number(priority)};
  d->list.insert(d->list.begin() + static_cast<long>(at), entry, entry + 4);
  if (type == "enterFrame" || type == "exitFrame" || type == "frameConstructed" || type == "render") {
    std::vector<Object*>& listeners = m.frameListeners[type];
    if (std::find(listeners.begin(), listeners.end(), d) == listeners.end()) listeners.push_back(d);
  }
  return Value();
}

Value RemoveEventListener(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* d = Dispatcher(m, self);
  const std::string type = StrArg(m, args, argc, 0);
  const Value listener = Arg(args, argc, 1);
  const bool capture = m.ToBoolean(Arg(args, argc, 2));
  for (std::size_t i = 0; i + 3 < d->list.size(); i += 4) {
    if (m.ToString(d->list[i]) == type && m.StrictEquals(d->list[i + 1], listener) && m.ToBoolean(d->list[i + 2]) == capture) {
      d->list.erase(d->list.begin() + static_cast<long>(i), d->list.begin() + static_cast<long>(i) + 4);
      break;
    }
  }
  return Value();
}

Value HasEventListener(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* d = Dispatcher(m, self);
  const std::string type = StrArg(m, args, argc, 0);
  for (std::size_t i = 0; i + 3 < d->list.size(); i += 4)
    if (m.ToString(d->list[i]) == type) return Value::Bool(true);
  return Value::Bool(false);
}

NativeObject* EventOf(Machine& m, const Value& self) {
  return Receiver<NativeObject>(m, self, ObjectKind::Event, "Event");
}

// Event fields: text = type, a = target, b = currentTarget, list = bubbles, cancelable,
// phase, default prevented, propagation stopped (0 no, 1 after this object, 2 at once).
enum { kBubbles, kCancelable, kPhase, kPrevented, kStopped, kEventFields };

Value EventConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  auto* e = static_cast<NativeObject*>(self.object);
  e->text = StrArg(m, args, argc, 0);
  e->a = Value::Null();
  e->b = Value::Null();
  e->list = {Value::Bool(m.ToBoolean(Arg(args, argc, 1))), Value::Bool(m.ToBoolean(Arg(args, argc, 2))), Value::Number(2),
             Value::Bool(false), Value::Number(0)};
  return Value();
}

Value EventType(Machine& m, const Value& self, const Value*, int) { return m.StrValue(EventOf(m, self)->text); }
Value EventTarget(Machine& m, const Value& self, const Value*, int) { return EventOf(m, self)->a; }
Value EventCurrentTarget(Machine& m, const Value& self, const Value*, int) { return EventOf(m, self)->b; }
Value EventField(Machine& m, const Value& self, int field) {
  NativeObject* e = EventOf(m, self);
  return field < static_cast<int>(e->list.size()) ? e->list[field] : Value();
}
Value EventBubbles(Machine& m, const Value& self, const Value*, int) { return EventField(m, self, kBubbles); }
Value EventCancelable(Machine& m, const Value& self, const Value*, int) { return EventField(m, self, kCancelable); }
Value EventPhase(Machine& m, const Value& self, const Value*, int) { return EventField(m, self, kPhase); }
Value EventIsDefaultPrevented(Machine& m, const Value& self, const Value*, int) { return EventField(m, self, kPrevented); }
Value EventPreventDefault(Machine& m, const Value& self, const Value*, int) {
  NativeObject* e = EventOf(m, self);
  if (e->list.size() == kEventFields && m.ToBoolean(e->list[kCancelable])) e->list[kPrevented] = Value::Bool(true);
  return Value();
}
Value EventStop(Machine& m, const Value& self, const Value*, int) {
  NativeObject* e = EventOf(m, self);
  if (e->list.size() == kEventFields && m.ToNumber(e->list[kStopped]) < 1) e->list[kStopped] = Value::Number(1);
  return Value();
}
Value EventStopNow(Machine& m, const Value& self, const Value*, int) {
  NativeObject* e = EventOf(m, self);
  if (e->list.size() == kEventFields) e->list[kStopped] = Value::Number(2);
  return Value();
}
Value EventClone(Machine& m, const Value& self, const Value*, int) {
  NativeObject* e = EventOf(m, self);
  const Value args[3] = {m.StrValue(e->text), EventField(m, self, kBubbles), EventField(m, self, kCancelable)};
  // A subclass that does not override clone gets a plain Event.
  return m.Construct(Value::Obj(m.FindClass("flash.events.Event")), args, 3);
}
Value EventToString(Machine& m, const Value& self, const Value*, int) {
  NativeObject* e = EventOf(m, self);
  return m.StrValue("[" + (e->cls ? e->cls->name : std::string("Event")) + " type=\"" + e->text + "\" bubbles=" +
                    m.ToString(EventField(m, self, kBubbles)) + " cancelable=" + m.ToString(EventField(m, self, kCancelable)) +
                    " eventPhase=" + m.ToString(EventField(m, self, kPhase)) + "]");
}
Value EventFormatToString(Machine& m, const Value& self, const Value* args, int argc) {
  std::string out = "[" + StrArg(m, args, argc, 0);
  for (int i = 1; i < argc; ++i) {
    // Each name is taken as a String: undefined becomes null.
    const std::string name = args[i].IsUndefined() ? "null" : m.ToString(args[i]);
    const Value v = m.GetPublic(self, name);
    out += " " + name + "=" + (v.IsString() ? "\"" + v.string->Text() + "\"" : m.ToString(v));
  }
  return m.StrValue(out + "]");
}

// Calls the listeners of object for the event in one phase.
// Whether a listener heard it.
bool Notify(Machine& m, NativeObject* object, NativeObject* event, int phase) {
  if (event->list.size() != kEventFields) return false;
  bool heard = false;
  const std::vector<Value> listeners = object->list;
  for (std::size_t i = 0; i + 3 < listeners.size(); i += 4) {
    if (m.ToString(listeners[i]) != event->text) continue;
    const bool capture = m.ToBoolean(listeners[i + 2]);
    if ((phase == 1) != capture) continue;
    const Value arg = Value::Obj(event);
    // The event keeps the last object whose listeners heard it as its currentTarget.
    event->b = Value::Obj(object);
    event->list[kPhase] = Value::Number(phase);
    heard = true;
    // The dispatcher is the player's own code: a function closure it calls runs on the
    // player's global object, not on that of the script that made the closure.
    m.Call(listeners[i + 1], Value::Obj(m.globalObject), &arg, 1);
    if (m.ToNumber(event->list[kStopped]) >= 2) return heard;
  }
  return heard;
}

// The display objects from the target's parent up to the top, nearest first.
std::vector<NativeObject*> Ancestors(Machine& m, NativeObject* target) {
  std::vector<NativeObject*> out;
  DisplayObject* d = target->display;
  while (d && !d->Removed() && d->Parent() && out.size() < 256) {
    d = d->Parent();
    // A parent the timeline is still making has no script object yet, and so no
    // listeners: the event passes it by.
    const auto it = m.displayObjects.find(d);
    if (it != m.displayObjects.end()) out.push_back(static_cast<NativeObject*>(it->second));
  }
  // Above the root: the stage (once a script has seen it).
  if (m.player && d == &m.player->Root() && StageHost(m)) {
    const auto it = m.displayObjects.find(StageHost(m));
    if (it != m.displayObjects.end()) out.push_back(static_cast<NativeObject*>(it->second));
  }
  return out;
}

// An EventDispatcher made for another object (new EventDispatcher(target)) sends its
// events as that object's: the target and its parents are on their way.
Value DispatcherConstruct(Machine&, const Value& self, const Value* args, int argc) {
  auto* o = static_cast<NativeObject*>(self.object);
  const Value target = Arg(args, argc, 0);
  if (!o->display && target.IsObject() && target.object != o && target.object->kind == ObjectKind::Display) o->a = target;
  return Value();
}

// The object events of dispatcher go out for: the target it was made for, or itself.
NativeObject* EventSource(NativeObject* dispatcher) {
  if (dispatcher->display || !dispatcher->a.IsObject() || dispatcher->a.object->kind != ObjectKind::Display) return dispatcher;
  return static_cast<NativeObject*>(dispatcher->a.object);
}

// willTrigger: a listener for the type on the object or on its way up the display list.
Value WillTrigger(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* d = Dispatcher(m, self);
  const std::string type = StrArg(m, args, argc, 0);
  const auto listens = [&](NativeObject* o) {
    for (std::size_t i = 0; i + 3 < o->list.size(); i += 4)
      if (m.ToString(o->list[i]) == type) return true;
    return false;
  };
  if (listens(d)) return Value::Bool(true);
  for (NativeObject* a : Ancestors(m, EventSource(d)))
    if (listens(a)) return Value::Bool(true);
  return Value::Bool(false);
}

Value DispatchEvent(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* dispatcher = Dispatcher(m, self);
  NativeObject* target = EventSource(dispatcher);
  const Value eventValue = Arg(args, argc, 0);
  if (!eventValue.IsObject() || eventValue.object->kind != ObjectKind::Event)
    m.ThrowTypeError(2007, "Parameter event must be non-null.");
  auto* event = static_cast<NativeObject*>(eventValue.object);
  // An event dispatched before goes out as its clone; a clone that is no event is refused
  // as a missing one. The target is asked through the property (a subclass may override
  // it).
  const Value before = event->cls && event->cls->package == "flash.events" ? event->a : m.GetPublic(eventValue, "target");
  if (!before.IsNull() && !before.IsUndefined()) {
    const Value copy = m.CallPublic(eventValue, "clone");
    if (!copy.IsObject() || copy.object->kind != ObjectKind::Event) m.ThrowTypeError(2007, "Parameter event must be non-null.");
    event = static_cast<NativeObject*>(copy.object);
  }
  if (event->list.size() != kEventFields) return Value::Bool(true);
  event->a = Value::Obj(target);
  event->list[kStopped] = Value::Number(0);
  const std::vector<NativeObject*> ancestors = Ancestors(m, target);
  bool heard = false;
  for (auto it = ancestors.rbegin(); it != ancestors.rend() && m.ToNumber(event->list[kStopped]) == 0; ++it)
    heard = Notify(m, *it, event, 1) || heard;
  if (m.ToNumber(event->list[kStopped]) == 0) heard = Notify(m, dispatcher, event, 2) || heard;
  if (m.ToBoolean(event->list[kBubbles])) {
    for (NativeObject* a : ancestors) {
      if (m.ToNumber(event->list[kStopped]) != 0) break;
      heard = Notify(m, a, event, 3) || heard;
    }
  }
  // An event no listener heard counts as never dispatched: sending it again needs no copy.
  if (!heard) {
    event->a = Value::Null();
    event->b = Value::Null();
  }
  return Value::Bool(!m.ToBoolean(event->list[kPrevented]));
}

// ---- display objects ----

// `new` of a class linked to a library symbol (or of a subclass of one) makes a copy of
// the symbol for object, its first frame placed; null when the class has no symbol.
DisplayObject* NewSymbolInstance(Machine& m, ClassObject* cls, NativeObject* object) {
  const void* linked = nullptr;
  std::uint16_t id = 0;
  if (FindLinkedSymbol(m, cls, linked, id)) {
    const auto* movie = static_cast<const LoadedMovie*>(linked);
    DisplayObject* d = m.player->Create(movie, movie->Find(id), id);
    if (!d) return nullptr;
    d->name = "instance" + std::to_string(m.player->NextInstanceNumber());
    // The object stands for it before its first frame places children, so that their
    // constructors see their parent's.
    object->display = d;
    m.displayObjects[d] = object;
    if (d->Kind() == DisplayKind::MovieClip || d->Kind() == DisplayKind::Button) {
      m.player->Scripts().ClipPlaced(*static_cast<MovieClip*>(d));
      static_cast<MovieClip*>(d)->holdsFirstStep = true;
    }
    return d;
  }
  return nullptr;
}

// Script-made display objects get a fresh clip (or shape) of the player.
Object* AllocateDisplay(Machine& m, ClassObject* cls) {
  auto* o = m.heap.Make<NativeObject>(ObjectKind::Display, nullptr, nullptr);
  if (m.player) {
    DisplayObject* d = nullptr;
    if (m.bindNext) {
      d = m.bindNext;
      m.bindNext = nullptr;
    } else {
      d = NewSymbolInstance(m, cls, o);
      bool isDisplay = false, isBitmap = false, isButton = false;
      for (ClassObject* c = cls; c; c = c->base) {
        isDisplay = isDisplay || (c->name == "DisplayObject" && c->package == "flash.display");
        isBitmap = isBitmap || (c->name == "Bitmap" && c->package == "flash.display");
        isButton = isButton || (c->name == "SimpleButton" && c->package == "flash.display");
      }
      // A button of no symbol starts with no states.
      if (!d && isButton) {
        MovieClip* button = m.player->CreateEmptyClip(m.player->RootMovie(), DisplayKind::Button);
        button->keepsStates = true;
        button->name = "instance" + std::to_string(m.player->NextInstanceNumber());
        d = button;
      }
      // A Bitmap shows a BitmapData's pixels (none until it is given some).
      if (!d && isBitmap) {
        d = m.player->Create(m.player->RootMovie(), std::make_shared<BitmapDataCharacter>(nullptr, false), 0);
        if (d) d->name = "instance" + std::to_string(m.player->NextInstanceNumber());
      }
      // Every display object a script makes is named for the next instance number.
      if (!d && isDisplay) {
        d = m.player->CreateEmptyClip(m.player->RootMovie());
        d->name = "instance" + std::to_string(m.player->NextInstanceNumber());
        d->scriptShape = m.IsSubclass(cls, m.FindClass("flash.display.Shape"));
      }
    }
    if (d) {
      o->display = d;
      m.displayObjects[d] = o;
    }
  }
  return o;
}

DisplayObject* Display(Machine& m, const Value& self) {
  NativeObject* o = Dispatcher(m, self);
  if (!o->display) m.ThrowError("Error", 2012, "Display objects cannot be made without a player.");
  return o->display;
}

MovieClip* Container(Machine& m, const Value& self) {
  DisplayObject* d = Display(m, self);
  if (!d->IsContainer()) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert to flash.display.DisplayObjectContainer.");
  return static_cast<MovieClip*>(d);
}

// The script object of a display object (made on first use for timeline objects).
Value ObjectFor(Machine& m, DisplayObject* d) {
  if (!d) return Value::Null();
  const auto it = m.displayObjects.find(d);
  if (it != m.displayObjects.end()) return Value::Obj(it->second);
  const char* className = d->Kind() == DisplayKind::MovieClip ? "flash.display.MovieClip"
                          : d->Kind() == DisplayKind::Button  ? "flash.display.SimpleButton"
                          : d->Kind() == DisplayKind::EditText ? "flash.text.TextField"
                          : d->Kind() == DisplayKind::Bitmap ? "flash.display.Bitmap"
                          : d->Kind() == DisplayKind::Morph ? "flash.display.MorphShape"
                          : d->Kind() == DisplayKind::StaticText ? "flash.text.StaticText"
                                                                 : "flash.display.Shape";
  ClassObject* cls = m.FindClass(className);
  if (!cls) cls = m.FindClass("flash.display.DisplayObject");
  auto* o = m.heap.Make<NativeObject>(ObjectKind::Display, cls->instanceTraits.get(), cls->prototype);
  o->cls = cls;
  o->dynamic = !cls->sealed;
  m.InitSlots(o, *cls->instanceTraits);
  o->display = d;
  m.displayObjects[d] = o;
  return Value::Obj(o);
}


// The stage's script object (made with its host on first use).
Value StageObject(Machine& m) {
  ClassObject* stage = m.FindClass("flash.display.Stage");
  if (!stage || !m.player) return Value::Null();
  MovieClip* host = m.player->EnsureLevel(kStageHostLevel);
  const auto it = m.displayObjects.find(host);
  if (it != m.displayObjects.end()) return Value::Obj(it->second);
  auto* o = m.heap.Make<NativeObject>(ObjectKind::Display, stage->instanceTraits.get(), stage->prototype);
  o->cls = stage;
  m.InitSlots(o, *stage->instanceTraits);
  o->display = host;
  m.displayObjects[host] = o;
  return Value::Obj(o);
}

// A container's children from the bottom up; the stage's start with the root.
std::vector<DisplayObject*> ChildList(Machine& m, MovieClip* clip) {
  std::vector<DisplayObject*> out;
  if (IsStageHost(m, clip)) out.push_back(&m.player->Root());
  for (const auto& [depth, child] : clip->Children()) out.push_back(child);
  return out;
}
std::vector<DisplayObject*> ChildList(MovieClip* clip) {
  std::vector<DisplayObject*> out;
  for (const auto& [depth, child] : clip->Children()) out.push_back(child);
  return out;
}

// The stage has no name.
Value GetName(Machine& m, const Value& self, const Value*, int) {
  DisplayObject* d = Display(m, self);
  return IsStageHost(m, d) ? Value::Null() : m.StrValue(d->name);
}
// Objects the timeline placed, and movies' roots, keep the names their movie gave them.
bool TimelinePlaced(const DisplayObject* d) {
  if (d->placeFrame >= 0) return true;
  if (d->Kind() != DisplayKind::MovieClip || !d->Movie() || !d->Movie()->movie) return false;
  return static_cast<const MovieClip*>(d)->GetTimeline() == &d->Movie()->movie->root;
}
Value SetName(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = Display(m, self);
  if (TimelinePlaced(d))
    m.ThrowError("flash.errors.IllegalOperationError", 2078, "The name property of a Timeline-placed object cannot be modified.");
  d->name = StrArg(m, args, argc, 0);
  return Value();
}
Value GetParent(Machine& m, const Value& self, const Value*, int) {
  DisplayObject* d = Display(m, self);
  if (m.player && d == &m.player->Root()) return StageObject(m);
  // A button holds its states out of the scripts' sight.
  if (d->Removed() || !d->Parent() || d->Parent()->Kind() == DisplayKind::Button) return Value::Null();
  return ObjectFor(m, d->Parent());
}
Value GetRoot(Machine& m, const Value& self, const Value*, int) {
  DisplayObject* d = Display(m, self);
  if (d->Removed()) return Value::Null();
  if (IsStageHost(m, d)) return self;
  // An object placed on the stage itself is the root of its own branch.
  while (d->Parent() && !IsStageHost(m, d->Parent())) d = d->Parent();
  if (d->Parent()) return ObjectFor(m, d);
  if (m.player && d != &m.player->Root()) return Value::Null();
  return ObjectFor(m, d);
}
bool OnStage(Machine& m, DisplayObject* d);
Value GetStage(Machine& m, const Value& self, const Value*, int) {
  return OnStage(m, Display(m, self)) ? StageObject(m) : Value::Null();
}

// x, y, scaleX, scaleY, rotation, alpha, visible (tag).
Value GetTransform(Machine& m, const Value& self, const Value*, int, int tag) {
  DisplayObject* d = Display(m, self);
  // A text field's position waits for its box to fit its text.
  if (tag <= 1 && d->Kind() == DisplayKind::EditText) static_cast<TextField*>(d)->SettleBounds();
  const Matrix& matrix = d->GetMatrix();
  switch (tag) {
    case 0: return Value::Number(matrix.tx / 20.0);
    case 1: return Value::Number(matrix.ty / 20.0);
    case 2: return Value::Number(d->XScale() / 100.0);
    case 3: return Value::Number(d->YScale() / 100.0);
    case 4: return Value::Number(d->Rotation());
    case 5: return Value::Number(d->GetColorTransform().mulA);
    case 6: return Value::Bool(d->visible);
    default: return Value();
  }
}
Value SetTransform(Machine& m, const Value& self, const Value* args, int argc, int tag) {
  DisplayObject* d = Display(m, self);
  const double v = NumArg(m, args, argc, 0, 0);
  d->transformedByScript = true;
  Matrix matrix = d->GetMatrix();
  switch (tag) {
    // NaN places at 0; infinities leave the position.
    case 0: if (!std::isinf(v)) { matrix.tx = std::isnan(v) ? 0 : std::round(v * 20); d->SetMatrix(matrix); } break;
    case 1: if (!std::isinf(v)) { matrix.ty = std::isnan(v) ? 0 : std::round(v * 20); d->SetMatrix(matrix); } break;
    case 2: d->SetXScale(v * 100); break;
    case 3: d->SetYScale(v * 100); break;
    case 4: d->SetRotation(v); break;
    case 5: { ColorTransform c = d->GetColorTransform(); c.mulA = v; d->SetColorTransform(c); break; }
    case 6: d->visible = m.ToBoolean(Arg(args, argc, 0)); break;
    default: break;
  }
  return Value();
}
#define TRANSFORM(NAME, TAG)                                                                                     \
  Value Get##NAME(Machine& m, const Value& s, const Value* a, int n) { return GetTransform(m, s, a, n, TAG); } \
  Value Set##NAME(Machine& m, const Value& s, const Value* a, int n) { return SetTransform(m, s, a, n, TAG); }
TRANSFORM(X, 0)
TRANSFORM(Y, 1)
TRANSFORM(ScaleX, 2)
TRANSFORM(ScaleY, 3)
TRANSFORM(Rotation, 4)
TRANSFORM(Alpha, 5)
TRANSFORM(Visible, 6)
#undef TRANSFORM

Value GetWidth(Machine& m, const Value& self, const Value*, int) {
  DisplayObject* d = Display(m, self);
  const QRectF r = d->LocalBounds();
  return Value::Number(r.width() / 20.0 * std::fabs(d->XScale() / 100.0));
}
Value GetHeight(Machine& m, const Value& self, const Value*, int) {
  DisplayObject* d = Display(m, self);
  const QRectF r = d->LocalBounds();
  return Value::Number(r.height() / 20.0 * std::fabs(d->YScale() / 100.0));
}

Value SetWidth(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = Display(m, self);
  const double width = NumArg(m, args, argc, 0, 0);
  // A text field's width changes its box, whatever its scale.
  if (d->Kind() == DisplayKind::EditText) {
    if (std::isfinite(width)) static_cast<TextField*>(d)->Resize(width * 20, std::nullopt);
    return Value();
  }
  const QRectF r = d->LocalBounds();
  if (r.width() > 0 && std::isfinite(width)) d->SetXScale(width * 20.0 / r.width() * 100.0);
  d->transformedByScript = true;
  return Value();
}
Value SetHeight(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = Display(m, self);
  const double height = NumArg(m, args, argc, 0, 0);
  if (d->Kind() == DisplayKind::EditText) {
    if (std::isfinite(height)) static_cast<TextField*>(d)->Resize(std::nullopt, height * 20);
    return Value();
  }
  const QRectF r = d->LocalBounds();
  if (r.height() > 0 && std::isfinite(height)) d->SetYScale(height * 20.0 / r.height() * 100.0);
  d->transformedByScript = true;
  return Value();
}

// opaqueBackground: the colour (0xRRGGBB) filled behind the object's bounds, or null.
Value GetOpaqueBackground(Machine& m, const Value& self, const Value*, int) {
  DisplayObject* d = Display(m, self);
  if (!d->opaqueBackground) return Value::Null();
  const Rgba& c = *d->opaqueBackground;
  return Value::Number((std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b);
}
Value SetOpaqueBackground(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = Display(m, self);
  const Value v = Arg(args, argc, 0);
  if (v.IsNullish()) {
    d->opaqueBackground.reset();
    return Value();
  }
  const std::uint32_t rgb = m.ToUint32(v);
  d->opaqueBackground = Rgba{static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8), static_cast<std::uint8_t>(rgb), 255};
  return Value();
}

// scrollRect: the part of the object shown, its edges snapped to whole pixels (the
// nearest, halves to the even one); null shows all of it.
Value GetScrollRect(Machine& m, const Value& self, const Value*, int) {
  DisplayObject* d = Display(m, self);
  if (!d->scrollRect) return Value::Null();
  const QRectF& r = *d->scrollRect;
  return NewRectangle(m, r.x() / 20, r.y() / 20, r.width() / 20, r.height() / 20);
}
Value SetScrollRect(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = Display(m, self);
  const Value v = Arg(args, argc, 0);
  if (v.IsNullish()) {
    d->scrollRect.reset();
    return Value();
  }
  const double x = m.ToNumber(m.GetPublic(v, "x")), y = m.ToNumber(m.GetPublic(v, "y"));
  const double w = m.ToNumber(m.GetPublic(v, "width")), h = m.ToNumber(m.GetPublic(v, "height"));
  const auto edge = [](double e) { return std::isfinite(e) ? std::nearbyint(std::clamp(e, -1e7, 1e7)) : 0.0; };
  const double left = edge(x), top = edge(y);
  d->scrollRect = QRectF(left * 20, top * 20, (edge(x + w) - left) * 20, (edge(y + h) - top) * 20);
  return Value();
}

// The mouse flags of interactive objects (the stage's are its own: it always takes
// mouse events).
template <bool DisplayObject::*Flag>
Value GetFlag(Machine& m, const Value& self, const Value*, int) {
  return Value::Bool(Display(m, self)->*Flag);
}
template <bool DisplayObject::*Flag>
Value SetFlag(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = Display(m, self);
  if (Flag == &DisplayObject::mouseEnabled && IsStageHost(m, d)) return Value();
  d->*Flag = m.ToBoolean(Arg(args, argc, 0));
  return Value();
}

void DispatchSimple(Machine& m, const Value& target, const std::string& type, bool bubbles);
// The events of a child leaving its parent: removed (bubbling), then removedFromStage
// through its subtree when it was on the stage; the child is still in place.
void Removing(Machine& m, const Value& child);

// Tab order: tabEnabled (unset, it is true for buttons and input fields and follows
// buttonMode for sprites), tabIndex (-1 when none), a container's tabChildren. A change
// tells the object's listeners (tabEnabledChange, tabIndexChange, tabChildrenChange).
Value GetTabEnabled(Machine& m, const Value& self, const Value*, int) {
  return Value::Bool(TabEnabledOf(m, Display(m, self)));
}
Value SetTabEnabled(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = Display(m, self);
  const bool value = m.ToBoolean(Arg(args, argc, 0));
  const bool before = TabEnabledOf(m, d);
  m.interactive[d].tabEnabled = value;
  if (before != value) DispatchSimple(m, self, "tabEnabledChange", true);
  return Value();
}
Value GetTabIndex(Machine& m, const Value& self, const Value*, int) {
  const DisplayObject* d = Display(m, self);
  return Value::Number(d->tabIndex ? *d->tabIndex : -1);
}
Value SetTabIndex(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = Display(m, self);
  const std::int32_t value = m.ToInt32(Arg(args, argc, 0));
  if (value < 0) m.ThrowError("RangeError", 2027, "Parameter tabIndex must be a non-negative number; got " + std::to_string(value) + ".");
  const bool changed = !d->tabIndex || *d->tabIndex != value;
  d->tabIndex = value;
  if (changed) DispatchSimple(m, self, "tabIndexChange", true);
  return Value();
}
// The stage's own tabChildren is always true: setting it sets the root's.
Value GetTabChildren(Machine& m, const Value& self, const Value*, int) {
  DisplayObject* d = Display(m, self);
  if (IsStageHost(m, d)) return Value::Bool(true);
  const auto it = m.interactive.find(d);
  return Value::Bool(it == m.interactive.end() || it->second.tabChildren);
}
Value SetTabChildren(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = Display(m, self);
  if (IsStageHost(m, d) && m.player) return SetTabChildren(m, ObjectFor(m, &m.player->Root()), args, argc);
  const bool value = m.ToBoolean(Arg(args, argc, 0));
  bool& children = m.interactive[d].tabChildren;
  const bool changed = children != value;
  children = value;
  if (changed) DispatchSimple(m, self, "tabChildrenChange", true);
  return Value();
}
// hitArea: another sprite whose shape takes the pointer for this one.
Value GetHitArea(Machine& m, const Value& self, const Value*, int) {
  const auto it = m.interactive.find(Display(m, self));
  return it == m.interactive.end() || !it->second.hitArea ? Value::Null() : ObjectFor(m, it->second.hitArea);
}
Value SetHitArea(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = Display(m, self);
  const Value v = Arg(args, argc, 0);
  DisplayObject* area = nullptr;
  if (!v.IsNullish()) {
    if (!v.IsObject() || v.object->kind != ObjectKind::Display)
      m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(v) + " to flash.display.Sprite.");
    area = static_cast<NativeObject*>(v.object)->display;
  }
  m.interactive[d].hitArea = area;
  return Value();
}

// focusRect: null (the stage's setting decides), true, or false for any other value;
// the stage has none of its own.
Value GetFocusRect(Machine& m, const Value& self, const Value*, int) {
  DisplayObject* d = Display(m, self);
  if (IsStageHost(m, d) || !d->focusRect) return Value::Null();
  return Value::Bool(*d->focusRect);
}
Value SetFocusRect(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = Display(m, self);
  if (IsStageHost(m, d)) StageLacks(m);
  const Value v = Arg(args, argc, 0);
  if (v.IsNullish())
    d->focusRect.reset();
  else
    d->focusRect = v.IsBoolean() && v.boolean;
  return Value();
}


// blendMode by name ("normal", "multiply", ...); the stage has none of its own.
// "shader" is accepted and draws as normal (there is no shader blending).
Value GetBlendMode(Machine& m, const Value& self, const Value*, int) { return m.StrValue(BlendModeName(Display(m, self)->blendMode)); }
Value SetBlendMode(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = Display(m, self);
  if (IsStageHost(m, d)) StageLacks(m);
  const Value v = Arg(args, argc, 0);
  if (v.IsNullish()) m.ThrowTypeError(2007, "Parameter blendMode must be non-null.");
  const std::string name = m.ToString(v);
  if (name == "shader") return Value();
  const std::uint8_t mode = BlendModeByName(name);
  if (mode == 0) m.ThrowError("ArgumentError", 2008, "Parameter blendMode must be one of the accepted values.");
  d->blendMode = mode;
  return Value();
}

Value NumChildren(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(static_cast<double>(ChildList(m, Container(m, self)).size()));
}

DisplayObject* ChildArg(Machine& m, const Value* args, int argc) {
  const Value v = Arg(args, argc, 0);
  if (!v.IsObject() || v.object->kind != ObjectKind::Display || !static_cast<NativeObject*>(v.object)->display)
    m.ThrowTypeError(2007, "Parameter child must be non-null.");
  return static_cast<NativeObject*>(v.object)->display;
}

// Puts child at index among parent's children; false when it was a child already (it
// only moved). A child of another parent leaves it first, with the removal's events.
bool Insert(Machine& m, MovieClip* parent, DisplayObject* child, std::size_t index) {
  if (child == parent) m.ThrowError("ArgumentError", 2024, "An object cannot be added as a child of itself.");
  for (DisplayObject* p = parent; p; p = p->Parent())
    if (p == child) m.ThrowError("ArgumentError", 2150, "An object cannot be added as a child to one of it's children (or children's children, etc.).");
  if (m.player && child == &m.player->Root()) m.ThrowError("ArgumentError", 2025, "The supplied DisplayObject must be a child of the caller.");
  if (IsStageHost(m, parent) && index > 0) --index;
  if (child->Parent() && !child->Removed() && child->Parent() != parent) {
    MovieClip* old = child->Parent();
    const auto it = m.displayObjects.find(child);
    if (it != m.displayObjects.end()) Removing(m, Value::Obj(it->second));
    // A listener may have placed the child elsewhere meanwhile.
    if (child->Parent() == old && !child->Removed()) old->RemoveChild(child);
  }
  const bool moved = child->Parent() == parent && !child->Removed();
  std::vector<DisplayObject*> children = ChildList(parent);
  children.erase(std::remove(children.begin(), children.end(), child), children.end());
  index = std::min(index, children.size());
  children.insert(children.begin() + static_cast<long>(index), child);
  // Depths follow the order: the first child keeps its depth, the others follow it. The
  // child comes in above the others, then each takes its depth by swapping with what is
  // there (placing at a taken depth would remove the object there).
  std::int32_t depth = children.size() > 1 && children[0] != child ? children[0]->depth : (parent->Children().empty() ? 0 : parent->Children().begin()->first);
  if (child->Parent() != parent || child->Removed()) {
    const std::int32_t top = parent->Children().empty() ? depth : parent->Children().rbegin()->first;
    const std::int32_t above = std::max(top + 1, depth + static_cast<std::int32_t>(children.size()));
    // A removed child still names this parent: its old depth may hold another object now.
    if (child->Parent() == parent) child->depth = above;
    parent->AddChild(child, above);
  }
  for (DisplayObject* c : children) {
    if (c->depth != depth) parent->SwapDepths(c, depth);
    ++depth;
  }
  if (child->IsContainer()) {
    std::vector<DisplayObject*> pending{child};
    while (!pending.empty()) {
      DisplayObject* at = pending.back();
      pending.pop_back();
      if (!at->IsContainer()) continue;
      for (const auto& [d, c] : static_cast<MovieClip*>(at)->Children()) {
        (void)d;
        pending.push_back(c);
      }
    }
  }
  return !moved;
}

void DispatchSimple(Machine& m, const Value& target, const std::string& type, bool bubbles) {
  ClassObject* eventClass = m.FindClass("flash.events.Event");
  if (!eventClass) return;
  const Value args[2] = {m.StrValue(type), Value::Bool(bubbles)};
  const Value event = m.Construct(Value::Obj(eventClass), args, 2);
  m.CallPublic(target, "dispatchEvent", {event});
}

// Whether d is under the root of the movie (what the stage shows).
bool OnStage(Machine& m, DisplayObject* d) {
  if (!m.player) return false;
  for (int i = 0; d && i < 10000; ++i) {
    if (d->Removed()) return false;
    if (d == &m.player->Root() || IsStageHost(m, d)) return true;
    d = d->Parent();
  }
  return false;
}

void Removing(Machine& m, const Value& child) {
  DispatchSimple(m, child, "removed", true);
  DisplayObject* d = static_cast<NativeObject*>(child.object)->display;
  if (d && OnStage(m, d)) DispatchStageEvents(m, d, false);
}

void Added(Machine& m, const Value& child) {
  DispatchSimple(m, child, "added", true);
  DisplayObject* d = static_cast<NativeObject*>(child.object)->display;
  if (d && OnStage(m, d)) DispatchStageEvents(m, d, true);
}

Value AddChildAt(Machine& m, const Value& self, const Value* args, int argc) {
  MovieClip* parent = Container(m, self);
  DisplayObject* child = ChildArg(m, args, argc);
  const std::size_t count = ChildList(m, parent).size();
  const double index = NumArg(m, args, argc, 1, static_cast<double>(count));
  if (!(index >= 0 && index <= count))
    m.ThrowError("RangeError", 2006, "The supplied index is out of bounds.");
  if (Insert(m, parent, child, static_cast<std::size_t>(index))) Added(m, args[0]);
  return args[0];
}
Value AddChild(Machine& m, const Value& self, const Value* args, int argc) {
  MovieClip* parent = Container(m, self);
  DisplayObject* child = ChildArg(m, args, argc);
  if (Insert(m, parent, child, ChildList(m, parent).size())) Added(m, args[0]);
  return args[0];
}
Value RemoveChild(Machine& m, const Value& self, const Value* args, int argc) {
  MovieClip* parent = Container(m, self);
  DisplayObject* child = ChildArg(m, args, argc);
  if (child->Parent() != parent || child->Removed())
    m.ThrowError("ArgumentError", 2025, "The supplied DisplayObject must be a child of the caller.");
  Removing(m, args[0]);
  parent->RemoveChild(child);
  return args[0];
}
Value GetChildAt(Machine& m, const Value& self, const Value* args, int argc) {
  MovieClip* parent = Container(m, self);
  const double index = NumArg(m, args, argc, 0, 0);
  const std::vector<DisplayObject*> children = ChildList(m, parent);
  if (index < 0 || index >= children.size() || std::isnan(index))
    m.ThrowError("RangeError", 2006, "The supplied index is out of bounds.");
  return ObjectFor(m, children[static_cast<std::size_t>(index)]);
}
Value RemoveChildAt(Machine& m, const Value& self, const Value* args, int argc) {
  const Value child = GetChildAt(m, self, args, argc);
  return RemoveChild(m, self, &child, 1);
}
// removeChildren(beginIndex = 0, endIndex = 0x7FFFFFFF): the children from begin to end
// (to the last one, if any, for the largest end); a range outside the children is a
// RangeError.
Value RemoveChildren(Machine& m, const Value& self, const Value* args, int argc) {
  MovieClip* parent = Container(m, self);
  const int count = static_cast<int>(ChildList(m, parent).size());
  const std::int32_t begin = argc > 0 ? m.ToInt32(args[0]) : 0;
  std::int32_t end = argc > 1 ? m.ToInt32(args[1]) : 0x7FFFFFFF;
  if (end == 0x7FFFFFFF) {
    end = count - 1;
    if (begin > end) return Value();  // nothing from begin on
  }
  if (begin < 0 || end < 0 || begin >= count || end >= count || begin > end)
    m.ThrowError("RangeError", 2006, "The supplied index is out of bounds.");
  for (std::int32_t i = begin; i <= end; ++i) {
    const Value index = Value::Number(begin);
    RemoveChildAt(m, self, &index, 1);
  }
  return Value();
}
Value GetChildIndex(Machine& m, const Value& self, const Value* args, int argc) {
  MovieClip* parent = Container(m, self);
  DisplayObject* child = ChildArg(m, args, argc);
  const std::vector<DisplayObject*> children = ChildList(m, parent);
  const auto it = std::find(children.begin(), children.end(), child);
  if (it == children.end()) m.ThrowError("ArgumentError", 2025, "The supplied DisplayObject must be a child of the caller.");
  return Value::Number(static_cast<double>(it - children.begin()));
}
Value SetChildIndex(Machine& m, const Value& self, const Value* args, int argc) {
  MovieClip* parent = Container(m, self);
  DisplayObject* child = ChildArg(m, args, argc);
  if (child->Parent() != parent) m.ThrowError("ArgumentError", 2025, "The supplied DisplayObject must be a child of the caller.");
  const double index = NumArg(m, args, argc, 1, 0);
  if (index < 0 || index >= ChildList(m, parent).size()) m.ThrowError("RangeError", 2006, "The supplied index is out of bounds.");
  Insert(m, parent, child, static_cast<std::size_t>(index));
  return Value();
}
Value GetChildByName(Machine& m, const Value& self, const Value* args, int argc) {
  MovieClip* parent = Container(m, self);
  const std::string name = StrArg(m, args, argc, 0);
  for (DisplayObject* c : ChildList(m, parent))
    if (c->name == name) return ObjectFor(m, c);
  return Value::Null();
}
Value SwapChildrenAt(Machine& m, const Value& self, const Value* args, int argc) {
  MovieClip* parent = Container(m, self);
  const std::vector<DisplayObject*> children = ChildList(m, parent);
  const double a = NumArg(m, args, argc, 0, -1), b = NumArg(m, args, argc, 1, -1);
  if (a < 0 || b < 0 || a >= children.size() || b >= children.size())
    m.ThrowError("RangeError", 2006, "The supplied index is out of bounds.");
  DisplayObject* x = children[static_cast<std::size_t>(a)];
  DisplayObject* y = children[static_cast<std::size_t>(b)];
  if (x != y) parent->SwapDepths(x, y->depth);
  return Value();
}
Value SwapChildren(Machine& m, const Value& self, const Value* args, int argc) {
  MovieClip* parent = Container(m, self);
  const std::vector<DisplayObject*> children = ChildList(m, parent);
  DisplayObject* x = ChildArg(m, args, argc);
  DisplayObject* y = ChildArg(m, args + 1, argc - 1);
  if (x->Parent() != parent || y->Parent() != parent)
    m.ThrowError("ArgumentError", 2025, "The supplied DisplayObject must be a child of the caller.");
  if (x != y) parent->SwapDepths(x, y->depth);
  return Value();
}

Value Contains(Machine& m, const Value& self, const Value* args, int argc) {
  MovieClip* parent = Container(m, self);
  const Value v = Arg(args, argc, 0);
  if (!v.IsObject() || v.object->kind != ObjectKind::Display) return Value::Bool(false);
  for (DisplayObject* d = static_cast<NativeObject*>(v.object)->display; d; d = d->Removed() ? nullptr : d->Parent())
    if (d == parent) return Value::Bool(true);
  return Value::Bool(false);
}

// MovieClip.
// A timeline's scenes: name, first 0-based frame and frame count. Without scene data
// the whole timeline is one scene without a name.
struct SceneSpan {
  std::string name;
  int first = 0, count = 0;
};
std::vector<SceneSpan> ScenesOf(MovieClip* clip) {
  const Timeline* t = clip->GetTimeline();
  const int total = clip->TotalFrames();
  if (!t || t->scenes.empty()) return {{"", 0, total}};
  std::vector<SceneSpan> out;
  for (std::size_t i = 0; i < t->scenes.size(); ++i) {
    const int first = t->scenes[i].firstFrame;
    const int next = i + 1 < t->scenes.size() ? t->scenes[i + 1].firstFrame : total;
    out.push_back({t->scenes[i].name, first, std::max(0, next - first)});
  }
  return out;
}
// The scene the 0-based frame is in.
std::size_t SceneAt(const std::vector<SceneSpan>& scenes, int frame) {
  std::size_t at = 0;
  for (std::size_t i = 0; i < scenes.size(); ++i)
    if (scenes[i].first <= frame) at = i;
  return at;
}
// The clip's labels in the scene, frame order (a name given twice included).
std::vector<std::pair<int, std::string>> LabelsIn(MovieClip* clip, const SceneSpan& scene, bool wholeTimeline) {
  std::vector<std::pair<int, std::string>> out;
  if (const Timeline* t = clip->GetTimeline())
    for (const auto& [frame, name] : t->allLabels)
      if (wholeTimeline || (frame >= scene.first && frame < scene.first + scene.count)) out.emplace_back(frame, name);
  return out;
}
// FrameLabel objects for the labels, numbered from the scene's first frame.
Value LabelArray(Machine& m, const std::vector<std::pair<int, std::string>>& labels, int first) {
  std::vector<Value> out;
  ClassObject* cls = m.FindClass("flash.display.FrameLabel");
  for (const auto& [frame, name] : labels) {
    const Value args[2] = {m.StrValue(name), Value::Number(frame - first + 1)};
    out.push_back(Value::Obj(m.ConstructClass(cls, args, 2)));
  }
  return Value::Obj(m.NewArray(std::move(out)));
}
Value SceneObject(Machine& m, MovieClip* clip, const SceneSpan& scene, bool onlyScene) {
  const Value args[3] = {m.StrValue(scene.name), LabelArray(m, LabelsIn(clip, scene, !onlyScene), scene.first),
                         Value::Number(scene.count)};
  return Value::Obj(m.ConstructClass(m.FindClass("flash.display.Scene"), args, 3));
}

// currentFrame counts from the first frame of the current scene.
Value CurrentFrame(Machine& m, const Value& self, const Value*, int) {
  // A clip made by `new MovieClip()` has no frames to be on.
  MovieClip* clip = Container(m, self);
  if (!clip->GetTimeline()) return Value::Number(0);
  const int frame = std::max(0, clip->CurrentFrame());
  const std::vector<SceneSpan> scenes = ScenesOf(clip);
  return Value::Number(frame - scenes[SceneAt(scenes, frame)].first + 1);
}
Value CurrentScene(Machine& m, const Value& self, const Value*, int) {
  MovieClip* clip = Container(m, self);
  const std::vector<SceneSpan> scenes = ScenesOf(clip);
  const bool one = scenes.size() == 1;
  return SceneObject(m, clip, scenes[SceneAt(scenes, std::max(0, clip->CurrentFrame()))], !one);
}
Value Scenes(Machine& m, const Value& self, const Value*, int) {
  MovieClip* clip = Container(m, self);
  const std::vector<SceneSpan> scenes = ScenesOf(clip);
  std::vector<Value> out;
  for (const SceneSpan& scene : scenes) out.push_back(SceneObject(m, clip, scene, scenes.size() > 1));
  return Value::Obj(m.NewArray(std::move(out)));
}
// A movie's main timeline counts the frames its header declares, even where the file
// holds more (they still play).
int DeclaredFrames(const MovieClip* clip) {
  if (!clip->Movie() || !clip->Movie()->movie || clip->GetTimeline() != &clip->Movie()->movie->root) return -1;
  return clip->Movie()->movie->header.frameCount > 0 ? clip->Movie()->movie->header.frameCount : -1;
}
Value TotalFrames(Machine& m, const Value& self, const Value*, int) {
  const MovieClip* clip = Container(m, self);
  const int declared = DeclaredFrames(clip);
  return Value::Number(declared > 0 ? declared : clip->TotalFrames());
}
Value FramesLoaded(Machine& m, const Value& self, const Value*, int) {
  const MovieClip* clip = Container(m, self);
  const int declared = DeclaredFrames(clip);
  return Value::Number(declared > 0 ? std::min(declared, clip->FramesLoaded()) : clip->FramesLoaded());
}
// A main timeline its header gives one frame counts as stopped, whatever it plays.
Value IsPlaying(Machine& m, const Value& self, const Value*, int) {
  const MovieClip* clip = Container(m, self);
  return Value::Bool(clip->Playing() && DeclaredFrames(clip) != 1);
}
Value Play(Machine& m, const Value& self, const Value*, int) {
  Container(m, self)->Play();
  return Value();
}
Value Stop(Machine& m, const Value& self, const Value*, int) {
  Container(m, self)->Stop();
  return Value();
}
// currentLabel: the last label at or before the current frame in its scene;
// currentFrameLabel: the label of the current frame itself (null when it has none).
Value LabelAt(Machine& m, const Value& self, bool exact) {
  MovieClip* clip = Container(m, self);
  if (!clip->GetTimeline()) return Value::Null();
  const int frame = clip->CurrentFrame();
  const std::vector<SceneSpan> scenes = ScenesOf(clip);
  std::optional<std::string> found;
  for (const auto& [at, name] : LabelsIn(clip, scenes[SceneAt(scenes, std::max(0, frame))], scenes.size() == 1)) {
    if (exact ? at != frame : at > frame) continue;
    found = name;
    if (exact) break;
  }
  return found ? m.StrValue(*found) : Value::Null();
}
// startDrag(lockCenter, bounds): the sprite follows the pointer (its registration point
// on it when locked), kept inside bounds (a Rectangle in its parent's space) when given.
Value StartDrag(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = Display(m, self);
  const Value bounds = Arg(args, argc, 1);
  double rect[4];
  const bool constrained = bounds.IsObject();
  if (constrained) {
    const double x = m.ToNumber(m.GetPublic(bounds, "x")), y = m.ToNumber(m.GetPublic(bounds, "y"));
    rect[0] = x;
    rect[1] = y;
    rect[2] = x + m.ToNumber(m.GetPublic(bounds, "width"));
    rect[3] = y + m.ToNumber(m.GetPublic(bounds, "height"));
  }
  m.player->StartDrag(d, m.ToBoolean(Arg(args, argc, 0)), constrained ? rect : nullptr);
  return Value();
}
// One object is dragged at a time: any sprite's stopDrag ends the drag.
Value StopDrag(Machine& m, const Value& self, const Value*, int) {
  Display(m, self);
  if (m.player) m.player->StopDrag();
  return Value();
}
Value DropTarget(Machine& m, const Value& self, const Value*, int) {
  Display(m, self);
  return m.player && m.player->Dragged() ? ObjectFor(m, m.player->DropTarget()) : Value::Null();
}
// Filters draw an object through a cached bitmap whatever the flag says.
Value GetCacheAsBitmap(Machine& m, const Value& self, const Value*, int) {
  const DisplayObject* d = Display(m, self);
  return Value::Bool(d->cacheAsBitmap || !d->filters.empty());
}

// Properties kept for scripts to read back (tag: the index of the name).
constexpr const char* kKeptProperties[] = {"metaData", "accessibilityProperties", "accessibilityImplementation",
                                           "contextMenu"};
template <int tag>
Value GetKept(Machine& m, const Value& self, const Value*, int) {
  const auto it = m.keptOnDisplay.find(Display(m, self));
  if (it == m.keptOnDisplay.end()) return Value::Null();
  const auto kept = it->second.find(kKeptProperties[tag]);
  return kept == it->second.end() ? Value::Null() : kept->second;
}
template <int tag>
Value SetKept(Machine& m, const Value& self, const Value* args, int argc) {
  const Value v = Arg(args, argc, 0);
  m.keptOnDisplay[Display(m, self)][kKeptProperties[tag]] = v.IsUndefined() ? Value::Null() : v;
  return Value();
}

// getObjectsUnderPoint(point): what the container holds that draws under the stage point
// itself, back to front; a clip whose own drawing is hit comes before what it holds.
void ObjectsUnder(Machine& m, DisplayObject* object, QPointF stage, std::vector<Value>& out, int nesting) {
  if (!object->visible || object->clipDepth != 0 || nesting > MovieClip::kMaxNesting) return;
  if (ShapeHit(*object, stage, false)) out.push_back(ObjectFor(m, object));
  if (!object->IsContainer()) return;
  for (const auto& [depth, child] : static_cast<MovieClip*>(object)->Children())
    ObjectsUnder(m, child, stage, out, nesting + 1);
}
Value GetObjectsUnderPoint(Machine& m, const Value& self, const Value* args, int argc) {
  MovieClip* clip = Container(m, self);
  double x = 0, y = 0;
  PointOf(m, Arg(args, argc, 0), x, y);
  std::vector<Value> out;
  for (const auto& [depth, child] : clip->Children()) ObjectsUnder(m, child, QPointF(x * 20, y * 20), out, 1);
  return Value::Obj(m.NewArray(std::move(out)));
}

Value ClipEnabled(Machine& m, const Value& self, const Value*, int) { return Value::Bool(Container(m, self)->buttonEnabled); }
Value SetClipEnabled(Machine& m, const Value& self, const Value* args, int argc) {
  Container(m, self)->buttonEnabled = m.ToBoolean(Arg(args, argc, 0));
  return Value();
}
Value CurrentLabel(Machine& m, const Value& self, const Value*, int) { return LabelAt(m, self, false); }
Value CurrentFrameLabel(Machine& m, const Value& self, const Value*, int) { return LabelAt(m, self, true); }

// FrameLabel(name, frame): name in text, frame in a. Scene(name, labels, numFrames):
// name in text, labels in a, numFrames in b.
Value FrameLabelConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  auto* o = static_cast<NativeObject*>(self.object);
  o->text = StrArg(m, args, argc, 0, "null");
  o->a = Value::Number(m.ToInt32(Arg(args, argc, 1)));
  return Value();
}
Value FrameLabelName(Machine& m, const Value& self, const Value*, int) {
  return m.StrValue(Receiver<NativeObject>(m, self, ObjectKind::Display, "FrameLabel")->text);
}
Value FrameLabelFrame(Machine& m, const Value& self, const Value*, int) {
  return Receiver<NativeObject>(m, self, ObjectKind::Display, "FrameLabel")->a;
}
Value SceneConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  auto* o = static_cast<NativeObject*>(self.object);
  o->text = StrArg(m, args, argc, 0, "null");
  o->a = Arg(args, argc, 1).IsObject() ? args[1] : Value::Null();
  o->b = Value::Number(m.ToInt32(Arg(args, argc, 2)));
  return Value();
}
NativeObject* SceneOf(Machine& m, const Value& self) { return Receiver<NativeObject>(m, self, ObjectKind::Other, "Scene"); }
Value SceneName(Machine& m, const Value& self, const Value*, int) { return m.StrValue(SceneOf(m, self)->text); }
Value SceneLabels(Machine& m, const Value& self, const Value*, int) { return SceneOf(m, self)->a; }
Value SceneNumFrames(Machine& m, const Value& self, const Value*, int) { return SceneOf(m, self)->b; }

// currentLabels: the labels of the current scene in frame order, as FrameLabel objects.
Value CurrentLabels(Machine& m, const Value& self, const Value*, int) {
  MovieClip* clip = Container(m, self);
  const std::vector<SceneSpan> scenes = ScenesOf(clip);
  const SceneSpan& scene = scenes[SceneAt(scenes, std::max(0, clip->CurrentFrame()))];
  return LabelArray(m, LabelsIn(clip, scene, scenes.size() == 1), scene.first);
}

void RunFrameScript(Machine& m, NativeObject* clipObject, CallerHolds holds = CallerHolds::Values);

void GotoIndex(Machine& m, const Value& self, int frame, bool play);

// gotoAndPlay/gotoAndStop(frame, scene): a frame number counts from the first frame of
// the scene (the current one when none is named); a label is looked for in that scene.
Value Goto(Machine& m, const Value& self, const Value* args, int argc, bool play) {
  MovieClip* clip = Container(m, self);
  const Value target = Arg(args, argc, 0);
  const std::vector<SceneSpan> scenes = ScenesOf(clip);
  std::size_t scene = SceneAt(scenes, std::max(0, clip->CurrentFrame()));
  const Value sceneName = Arg(args, argc, 1);
  const bool named = !sceneName.IsNullish();
  if (named) {
    const std::string name = m.ToString(sceneName);
    const auto it = std::find_if(scenes.begin(), scenes.end(), [&](const SceneSpan& s) { return s.name == name; });
    if (it == scenes.end()) m.ThrowError("ArgumentError", 2108, "Scene " + name + " was not found.");
    scene = static_cast<std::size_t>(it - scenes.begin());
  }
  // A frame number counts from the scene's first frame in 32-bit arithmetic: it is
  // saturated to the int range and the sum wraps (so the most negative number lands past
  // the last frame); the result clamps to the timeline. NaN is the scene's first frame.
  const auto numbered = [&](double n) {
    if (std::isnan(n)) return scenes[scene].first;
    const std::int64_t saturated = static_cast<std::int64_t>(std::clamp(n, -2147483648.0, 2147483647.0));
    const std::uint32_t sum = static_cast<std::uint32_t>(scenes[scene].first) + static_cast<std::uint32_t>(saturated) - 1u;
    return static_cast<int>(static_cast<std::int32_t>(sum));
  };
  int frame = 0;
  // A whole number (or a string that reads as one) is a frame number; anything else (a
  // number with a fraction too) names a label. An object counts as its string.
  const bool text = target.IsString() || target.IsObject();
  const std::string label = text || target.IsNumber() ? m.ToString(target) : std::string();
  const double asNumber = text ? m.ToNumber(m.StrValue(label)) : 0;
  const bool numberString = text && !std::isnan(asNumber) && (!std::isfinite(asNumber) || asNumber == std::trunc(asNumber));
  const bool fraction = target.IsNumber() && std::isfinite(target.number) && target.number != std::trunc(target.number);
  if ((text && !numberString) || fraction) {
    frame = -1;
    if (scenes.size() > 1) {
      for (const auto& [at, name] : LabelsIn(clip, scenes[scene], false))
        if (name == label) {
          frame = at;
          break;
        }
    }
    if (frame < 0 && (scenes.size() == 1 || !named) && clip->GetTimeline()) frame = clip->GetTimeline()->FindLabel(label);
    if (frame < 0 && m.swfVersion <= 10) frame = 0;  // older movies go to the first frame
    if (frame < 0)
      m.ThrowError("ArgumentError", 2109, "Frame label " + label + " not found in scene " + scenes[scene].name + ".");
  } else {
    frame = numbered(numberString ? asNumber : m.ToNumber(target));
  }
  GotoIndex(m, self, frame, play);
  return Value();
}
// Moves the playhead to the 0-based frame (clamped to the timeline).
void GotoIndex(Machine& m, const Value& self, int frame, bool play) {
  MovieClip* clip = Container(m, self);
  frame = std::clamp(frame, 0, std::max(0, clip->TotalFrames() - 1));
  // A clip running its own frame script stays where it is until the script returns
  // (the script's entry in the queue has no frame).
  const bool ownScript = std::any_of(m.queuedGotos.begin(), m.queuedGotos.end(),
                                     [&](const Machine::QueuedGoto& g) { return g.clip == self.object && g.frame < 0; });
  if (ownScript) {
    m.queuedGotos.push_back({self.object, frame, play});
    return;
  }
  const int before = clip->CurrentFrame();
  clip->GotoFrame(frame, play);
  // The frame the clip went to has its script run even when it ran there last time
  // (the clip may have passed through frames whose scripts never ran).
  if (clip->CurrentFrame() != before) {
    for (auto& [object, last] : m.scriptedClips)
      if (object == self.object) last = -2;
  }
  RunGotoFrame(m);
}
Value GotoAndStop(Machine& m, const Value& s, const Value* a, int n) { return Goto(m, s, a, n, false); }
Value GotoAndPlay(Machine& m, const Value& s, const Value* a, int n) { return Goto(m, s, a, n, true); }
Value NextFrame(Machine& m, const Value& self, const Value*, int) {
  GotoIndex(m, self, Container(m, self)->CurrentFrame() + 1, false);
  return Value();
}
Value PrevFrame(Machine& m, const Value& self, const Value*, int) {
  GotoIndex(m, self, std::max(0, Container(m, self)->CurrentFrame() - 1), false);
  return Value();
}
// nextScene/prevScene: gotoAndPlay(1) in the scene after (before) the current one; in
// the last (first) scene, in the current one.
Value SceneStep(Machine& m, const Value& self, int step) {
  MovieClip* clip = Container(m, self);
  const std::vector<SceneSpan> scenes = ScenesOf(clip);
  long at = static_cast<long>(SceneAt(scenes, std::max(0, clip->CurrentFrame())));
  if (at + step >= 0 && at + step < static_cast<long>(scenes.size())) at += step;
  GotoIndex(m, self, scenes[static_cast<std::size_t>(at)].first, true);
  return Value();
}
Value NextScene(Machine& m, const Value& self, const Value*, int) { return SceneStep(m, self, 1); }
Value PrevScene(Machine& m, const Value& self, const Value*, int) { return SceneStep(m, self, -1); }

// Frame scripts: kept on the clip's object by frame number (the `c` value holds an
// Array of functions).
Value AddFrameScript(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* o = Dispatcher(m, self);
  Container(m, self);
  if (!o->c.IsObject()) o->c = Value::Obj(m.NewArray());
  auto* scripts = static_cast<ArrayObject*>(o->c.object);
  for (int i = 0; i + 1 < argc; i += 2) {
    const double frame = m.ToNumber(args[i]);
    if (frame < 0 || frame > 65535 || std::isnan(frame)) continue;
    const auto index = static_cast<std::size_t>(frame);
    if (scripts->elements.size() <= index) scripts->elements.resize(index + 1, Value::Hole());
    scripts->elements[index] = args[i + 1];
  }
  bool known = false;
  for (auto& [object, frame] : m.scriptedClips) known = known || object == o;
  if (!known) m.scriptedClips.emplace_back(o, -1);
  return Value();
}

void RunFrameScript(Machine& m, NativeObject* o, CallerHolds holds) {
  if (!o->display || !o->c.IsObject()) return;
  auto* clip = static_cast<MovieClip*>(o->display);
  const int frame = clip->CurrentFrame();
  for (auto& [object, last] : m.scriptedClips) {
    if (object == o) last = frame;
  }
  auto* scripts = static_cast<ArrayObject*>(o->c.object);
  if (frame < 0 || static_cast<std::size_t>(frame) >= scripts->elements.size()) return;
  const Value f = scripts->elements[frame];
  if (!IsCallable(f)) return;
  // The gotos the script makes run once it returned (or threw), in the order it made them.
  struct ScriptScope {
    Machine& m;
    std::vector<Machine::QueuedGoto> outer;
    ScriptScope(Machine& machine, Object* clip) : m(machine) {
      outer.swap(m.queuedGotos);
      m.queuedGotos.push_back({clip, -1, false});
    }
    ~ScriptScope() {
      std::vector<Machine::QueuedGoto> made;
      made.swap(m.queuedGotos);
      m.queuedGotos.swap(outer);
      // While unwinding (an uncaught error) the gotos are dropped: the caller's guard
      // stops the script and the frame goes on without them.
      if (std::uncaught_exceptions() > 0) return;
      for (const Machine::QueuedGoto& g : made)
        if (g.frame >= 0) m.queuedGotos.push_back(g);
    }
  };
  std::size_t first = 0;
  {
    ScriptScope scope(m, o);
    first = scope.outer.size();
    m.Call(f, Value::Obj(o), nullptr, 0, holds);
  }
  std::vector<Machine::QueuedGoto> made(m.queuedGotos.begin() + static_cast<long>(first), m.queuedGotos.end());
  m.queuedGotos.resize(first);
  for (const Machine::QueuedGoto& g : made) {
    const auto it = m.displayObjects.find(static_cast<NativeObject*>(g.clip)->display);
    if (it == m.displayObjects.end() || it->second != g.clip) continue;
    m.Guard([&] { GotoIndex(m, Value::Obj(g.clip), g.frame, g.play); });
  }
}

// Stage.
Value StageWidth(Machine& m, const Value&, const Value*, int) { return Value::Number(m.player ? m.player->GetMovie().Width() : 550); }
Value StageHeight(Machine& m, const Value&, const Value*, int) { return Value::Number(m.player ? m.player->GetMovie().Height() : 400); }

}  // namespace

namespace {
// Sets the parent's property named for a child its timeline placed.
void BindName(Machine& m, NativeObject* parent, DisplayObject* child) {
  if (child->name.empty() || child->placedByScript) return;
  const std::uint32_t id = m.FindId(child->name);
  const Binding* b = nullptr;
  if (parent->traits && id != kNoName) {
    const Multiname name = m.PublicName(child->name);
    b = parent->traits->Find(id, name, m);
  }
  if (b && (b->kind == Binding::Kind::Slot) && b->slot < parent->slotValues.size()) {
    const Value v = ObjectFor(m, child);
    if (!m.StrictEquals(parent->slotValues[b->slot], v)) parent->slotValues[b->slot] = v;
  } else if (!b && parent->dynamic) {
    const Object::Property* p = parent->FindOwn(child->name);
    const Value v = ObjectFor(m, child);
    if (!p || !m.StrictEquals(p->value, v)) parent->SetOwn(child->name, v);
  }
}

// Sets the parent's property named name to null where it holds child.
void UnbindName(Machine& m, NativeObject* parent, const std::string& name, Object* child) {
  const std::uint32_t id = m.FindId(name);
  const Binding* b = parent->traits && id != kNoName ? parent->traits->Find(id, m.PublicName(name), m) : nullptr;
  if (b && b->kind == Binding::Kind::Slot && b->slot < parent->slotValues.size()) {
    Value& slot = parent->slotValues[b->slot];
    if (slot.IsObject() && slot.object == child) slot = Value::Null();
  } else if (!b && parent->dynamic) {
    const Object::Property* p = parent->FindOwn(name);
    if (p && p->value.IsObject() && p->value.object == child) parent->SetOwn(name, Value::Null());
  }
}

void BindNames(Machine& m, Object* parentObject) {
  auto* parent = static_cast<NativeObject*>(parentObject);
  if (!parent->display || !parent->display->IsContainer()) return;
  for (DisplayObject* child : ChildList(static_cast<MovieClip*>(parent->display))) BindName(m, parent, child);
}
}  // namespace

void BindTimelineNames(Machine& m, DisplayObject* root) {
  std::vector<DisplayObject*> pending{root};
  while (!pending.empty()) {
    DisplayObject* at = pending.back();
    pending.pop_back();
    if (!at->IsContainer()) continue;
    const auto it = m.displayObjects.find(at);
    if (it != m.displayObjects.end()) BindNames(m, it->second);
    for (const auto& [depth, child] : static_cast<MovieClip*>(at)->Children()) pending.push_back(child);
  }
}

namespace {
// One pass over the clips with frame scripts; true when a script ran.
bool RunChangedFrameScriptsOnce(Machine& m, CallerHolds holds) {
  // Clips on the stage first, each before its children and children from the bottom
  // up; then the ones off the stage in the order they got their scripts.
  std::vector<Object*> order;
  if (m.player) {
    std::vector<DisplayObject*> pending{&m.player->Root()};
    while (!pending.empty() && order.size() < m.scriptedClips.size()) {
      DisplayObject* at = pending.back();
      pending.pop_back();
      const auto it = m.displayObjects.find(at);
      if (it != m.displayObjects.end() &&
          std::any_of(m.scriptedClips.begin(), m.scriptedClips.end(), [&](const auto& c) { return c.first == it->second; }))
        order.push_back(it->second);
      if (!at->IsContainer()) continue;
      const auto& children = static_cast<MovieClip*>(at)->Children();
      for (auto child = children.rbegin(); child != children.rend(); ++child) pending.push_back(child->second);
    }
  }
  for (const auto& [object, last] : m.scriptedClips)
    if (std::find(order.begin(), order.end(), object) == order.end()) order.push_back(object);
  bool ran = false;
  for (Object* object : order) {
    auto* o = static_cast<NativeObject*>(object);
    const auto known = std::find_if(m.scriptedClips.begin(), m.scriptedClips.end(), [&](const auto& c) { return c.first == object; });
    if (known == m.scriptedClips.end()) continue;
    const int last = known->second;
    if (!o->display || o->display->Removed()) continue;
    const int frame = static_cast<MovieClip*>(o->display)->CurrentFrame();
    // A collection may free clips further down the list; each is looked up in the
    // traced list before it is touched.
    if (frame == last) continue;
    m.Guard([&] { RunFrameScript(m, o, holds); });
    ran = true;
  }
  return ran;
}
}  // namespace

// Called by the player after each frame: the frame scripts of clips whose frame changed.
// A script that goes to another frame has that frame's script run after it, in a further
// pass (a chain of such gotos ends after a few).
void RunChangedFrameScripts(Machine& m, CallerHolds holds) {
  for (int pass = 0; pass < 16 && RunChangedFrameScriptsOnce(m, holds); ++pass) {
  }
}

void RunGotoFrame(Machine& m) {
  using Phase = Machine::FramePhase;
  if (m.swfVersion < 10) return;
  // A listener that goes to a frame from the exitFrame it hears would go on for ever.
  if (m.gotoFrameDepth >= 16) return;
  const Phase outer = m.framePhase;
  ++m.gotoFrameDepth;
  m.framePhase = Phase::Construct;
  BroadcastFrameEvent(m, "frameConstructed");
  m.framePhase = Phase::Scripts;
  RunChangedFrameScripts(m);
  m.framePhase = Phase::Exit;
  BroadcastFrameEvent(m, "exitFrame");
  m.framePhase = outer;
  --m.gotoFrameDepth;
}

void TimelineRemoving(Machine& m, DisplayObject* object) {
  const auto it = m.displayObjects.find(object);
  if (it == m.displayObjects.end()) return;
  m.Guard([&] { Removing(m, Value::Obj(it->second)); });
  // The parent's property for a child the timeline takes away is cleared (one a script
  // took away keeps it).
  MovieClip* parent = object->Parent();
  if (!parent || object->name.empty() || object->placedByScript) return;
  const auto parentObject = m.displayObjects.find(parent);
  if (parentObject == m.displayObjects.end()) return;
  UnbindName(m, static_cast<NativeObject*>(parentObject->second), object->name, it->second);
}

// Tells every enterFrame (or other frame event) listener.
void BroadcastFrameEvent(Machine& m, const std::string& type) {
  const auto found = m.frameListeners.find(type);
  if (found == m.frameListeners.end()) return;
  const std::vector<Object*> listeners = found->second;
  for (Object* o : listeners) {
    auto* d = static_cast<NativeObject*>(o);
    bool has = false;
    for (std::size_t i = 0; i + 3 < d->list.size(); i += 4) has = has || m.ToString(d->list[i]) == type;
    if (!has) continue;
    m.Guard([&] {
      ClassObject* eventClass = m.FindClass("flash.events.Event");
      const Value args[1] = {m.StrValue(type)};
      const Value event = m.Construct(Value::Obj(eventClass), args, 1);
      auto* e = static_cast<NativeObject*>(event.object);
      e->a = Value::Obj(d);
      Notify(m, d, e, 2);
    });
  }
}

Value DisplayObjectValue(Machine& m, DisplayObject* d) { return ObjectFor(m, d); }

void AddChildOf(Machine& m, DisplayObject* parent, DisplayObject* child) {
  auto* clip = static_cast<MovieClip*>(parent);
  if (Insert(m, clip, child, ChildList(m, clip).size())) Added(m, ObjectFor(m, child));
}

void RemoveChildOf(Machine& m, DisplayObject* parent, DisplayObject* child) {
  Removing(m, ObjectFor(m, child));
  static_cast<MovieClip*>(parent)->RemoveChild(child);
}
Value StageValue(Machine& m) { return StageObject(m); }

void InitEvent(Machine& m, NativeObject* event, const std::string& type, bool bubbles, bool cancelable) {
  const Value args[3] = {m.StrValue(type), Value::Bool(bubbles), Value::Bool(cancelable)};
  EventConstruct(m, Value::Obj(event), args, 3);
}

void DispatchStageEvents(Machine& m, DisplayObject* object, bool added) {
  // Only objects with a script object can have listeners; the others are passed through.
  std::vector<DisplayObject*> order;
  std::vector<DisplayObject*> pending{object};
  while (!pending.empty() && order.size() < 100000) {
    DisplayObject* at = pending.back();
    pending.pop_back();
    order.push_back(at);
    if (!at->IsContainer()) continue;
    const auto& children = static_cast<MovieClip*>(at)->Children();
    for (auto it = children.rbegin(); it != children.rend(); ++it) pending.push_back(it->second);
  }
  for (DisplayObject* d : order) {
    const auto it = m.displayObjects.find(d);
    if (it != m.displayObjects.end()) DispatchSimple(m, Value::Obj(it->second), added ? "addedToStage" : "removedFromStage", false);
  }
}

void ConstructPlaced(Machine& m, DisplayObject* d, ClassObject* linked, bool announce) {
  m.Guard([&] {
    ClassObject* displayClass = m.FindClass("flash.display.DisplayObject");
    if (linked && !m.displayObjects.count(d) && m.IsSubclass(linked, displayClass)) {
      m.bindNext = d;
      m.ConstructClass(linked, nullptr, 0);
    }
    m.bindNext = nullptr;
    if (!announce) return;
    // The parent's property for the child is set once the child is made.
    if (MovieClip* parent = d->Parent(); parent && !d->Removed() && parent->ChildAt(d->depth) == d) {
      const auto it = m.displayObjects.find(parent);
      if (it != m.displayObjects.end()) BindName(m, static_cast<NativeObject*>(it->second), d);
    }
    DispatchSimple(m, ObjectFor(m, d), "added", true);
    // What a clip's own first frame placed was on the stage already and heard it then; a
    // button's shown state joins the stage with the button.
    if (OnStage(m, d)) {
      if (d->Kind() == DisplayKind::Button) DispatchStageEvents(m, d, true);
      else DispatchSimple(m, ObjectFor(m, d), "addedToStage", false);
    }
  });
  m.bindNext = nullptr;
}

void InstallUtils(Machine&) {}

// The display object properties the stage refuses to have set (and textSnapshot, which
// it refuses to give): they throw once every class has its members.
void RefuseStageProperties(Machine& m) {
  ClassObject* stage = m.FindClass("flash.display.Stage");
  if (!stage) return;
  static const char* const kRefusedSetters[] = {
      "accessibilityImplementation", "accessibilityProperties", "alpha", "blendMode", "cacheAsBitmap", "contextMenu",
      "filters", "focusRect", "height", "mask", "name", "opaqueBackground", "rotation", "rotationX", "rotationY",
      "rotationZ", "scale9Grid", "scaleX", "scaleY", "scaleZ", "scrollRect", "tabEnabled", "tabIndex", "transform",
      "visible", "width", "x", "y", "z"};
  const auto refuse = [&](const char* name, bool getter) {
    const auto it = stage->instanceTraits->bindings.find(m.Intern(name));
    if (it == stage->instanceTraits->bindings.end()) return;
    for (Binding& b : it->second) {
      if (b.ns != m.PublicNs() || b.kind != Binding::Kind::Accessor) continue;
      MethodInfo* refusal = m.NativeMethod(name, [](Machine& mm, const Value&, const Value*, int) -> Value { StageLacks(mm); });
      refusal->declaringClass = stage;
      refusal->role = getter ? MethodInfo::Role::Getter : MethodInfo::Role::Setter;
      (getter ? b.getter : b.setter) = refusal;
    }
  };
  for (const char* name : kRefusedSetters) refuse(name, false);
  refuse("textSnapshot", true);
}

double Machine::Now() const { return player ? player->Milliseconds() : 0; }

Value IgnoreSize(Machine&, const Value&, const Value*, int) { return Value(); }
// invalidate(): the display objects hear render before the next drawing of the stage.
Value StageInvalidate(Machine& m, const Value&, const Value*, int) {
  m.stageInvalidated = true;
  return Value();
}

void InstallDisplay(Machine& m) {
  m.bindChildren = BindNames;
  ClassObject* dispatcher = m.DefineClass("flash.events", "EventDispatcher", m.objectClass, DispatcherConstruct);
  dispatcher->allocate = AllocateDispatcher;
  static const Member kDispatcherMembers[] = {
      {"addEventListener", AddEventListener, nullptr, 0, 0},
      {"removeEventListener", RemoveEventListener, nullptr, 0, 0},
      {"hasEventListener", HasEventListener, nullptr, 0, 0},
      {"willTrigger", WillTrigger, nullptr, 0, 0},
      {"dispatchEvent", DispatchEvent, nullptr, 0, 0},
  };
  Install(m, dispatcher, kDispatcherMembers);

  ClassObject* event = m.DefineClass("flash.events", "Event", m.objectClass, EventConstruct);
  event->allocate = AllocateEvent;
  static const Member kEventMembers[] = {
      {"type", EventType, nullptr, kAccessor, 0},
      {"target", EventTarget, nullptr, kAccessor, 0},
      {"currentTarget", EventCurrentTarget, nullptr, kAccessor, 0},
      {"bubbles", EventBubbles, nullptr, kAccessor, 0},
      {"cancelable", EventCancelable, nullptr, kAccessor, 0},
      {"eventPhase", EventPhase, nullptr, kAccessor, 0},
      {"isDefaultPrevented", EventIsDefaultPrevented, nullptr, 0, 0},
      {"preventDefault", EventPreventDefault, nullptr, 0, 0},
      {"stopPropagation", EventStop, nullptr, 0, 0},
      {"stopImmediatePropagation", EventStopNow, nullptr, 0, 0},
      {"clone", EventClone, nullptr, 0, 0},
      {"toString", EventToString, nullptr, 0, 0},
      {"formatToString", EventFormatToString, nullptr, 0, 0},
  };
  Install(m, event, kEventMembers);
  static const TextConstant kEventTypes[] = {
      {"ENTER_FRAME", "enterFrame"}, {"EXIT_FRAME", "exitFrame"}, {"FRAME_CONSTRUCTED", "frameConstructed"},
      {"ADDED", "added"}, {"ADDED_TO_STAGE", "addedToStage"}, {"REMOVED", "removed"},
      {"REMOVED_FROM_STAGE", "removedFromStage"}, {"COMPLETE", "complete"}, {"CHANGE", "change"}, {"INIT", "init"},
      {"RENDER", "render"}, {"RESIZE", "resize"}, {"ACTIVATE", "activate"}, {"DEACTIVATE", "deactivate"},
      {"OPEN", "open"}, {"CLOSE", "close"}, {"CANCEL", "cancel"}, {"SELECT", "select"}, {"UNLOAD", "unload"},
      {"SCROLL", "scroll"}, {"TAB_CHILDREN_CHANGE", "tabChildrenChange"}, {"TAB_ENABLED_CHANGE", "tabEnabledChange"},
      {"TAB_INDEX_CHANGE", "tabIndexChange"}, {"FULLSCREEN", "fullScreen"}, {"MOUSE_LEAVE", "mouseLeave"},
      {"SOUND_COMPLETE", "soundComplete"}, {"ID3", "id3"}, {"CONNECT", "connect"}, {"COPY", "copy"},
      {"CUT", "cut"}, {"PASTE", "paste"}, {"CLEAR", "clear"}, {"SELECT_ALL", "selectAll"}};
  Install(m, event, kEventTypes);

  ClassObject* frameLabel = m.DefineClass("flash.display", "FrameLabel", dispatcher, FrameLabelConstruct);
  static const Member kFrameLabelMembers[] = {
      {"name", FrameLabelName, nullptr, kAccessor, 0},
      {"frame", FrameLabelFrame, nullptr, kAccessor, 0},
  };
  Install(m, frameLabel, kFrameLabelMembers);
  ClassObject* scene = m.DefineClass("flash.display", "Scene", m.objectClass, SceneConstruct);
  scene->allocate = AllocateNative<>;
  static const Member kSceneMembers[] = {
      {"name", SceneName, nullptr, kAccessor, 0},
      {"labels", SceneLabels, nullptr, kAccessor, 0},
      {"numFrames", SceneNumFrames, nullptr, kAccessor, 0},
  };
  Install(m, scene, kSceneMembers);

  ClassObject* displayObject = m.DefineClass("flash.display", "DisplayObject", dispatcher, [](Machine&, const Value&, const Value*, int) { return Value(); });
  displayObject->allocate = AllocateDisplay;
  static const Member kDisplayObjectMembers[] = {
      {"name", GetName, SetName, kAccessor, 0},
      {"parent", GetParent, nullptr, kAccessor, 0},
      {"root", GetRoot, nullptr, kAccessor, 0},
      {"stage", GetStage, nullptr, kAccessor, 0},
      {"x", GetX, SetX, kAccessor, 0},
      {"y", GetY, SetY, kAccessor, 0},
      {"scaleX", GetScaleX, SetScaleX, kAccessor, 0},
      {"scaleY", GetScaleY, SetScaleY, kAccessor, 0},
      {"rotation", GetRotation, SetRotation, kAccessor, 0},
      {"alpha", GetAlpha, SetAlpha, kAccessor, 0},
      {"visible", GetVisible, SetVisible, kAccessor, 0},
      {"width", GetWidth, SetWidth, kAccessor, 0},
      {"height", GetHeight, SetHeight, kAccessor, 0},
      {"opaqueBackground", GetOpaqueBackground, SetOpaqueBackground, kAccessor, 0},
      {"scrollRect", GetScrollRect, SetScrollRect, kAccessor, 0},
      {"blendMode", GetBlendMode, SetBlendMode, kAccessor, 0},
      {"cacheAsBitmap", GetCacheAsBitmap, SetFlag<&DisplayObject::cacheAsBitmap>, kAccessor, 0},
      {"metaData", GetKept<0>, SetKept<0>, kAccessor, 0},
      {"accessibilityProperties", GetKept<1>, SetKept<1>, kAccessor, 0},
  };
  Install(m, displayObject, kDisplayObjectMembers);
  InstallDisplayGeometry(m);
  ClassObject* interactive = m.DefineClass("flash.display", "InteractiveObject", displayObject, [](Machine&, const Value&, const Value*, int) { return Value(); });
  static const Member kInteractiveMembers[] = {
      {"mouseEnabled", GetFlag<&DisplayObject::mouseEnabled>, SetFlag<&DisplayObject::mouseEnabled>, kAccessor, 0},
      {"doubleClickEnabled", GetFlag<&DisplayObject::doubleClickEnabled>, SetFlag<&DisplayObject::doubleClickEnabled>, kAccessor, 0},
      {"focusRect", GetFocusRect, SetFocusRect, kAccessor, 0},
      {"tabEnabled", GetTabEnabled, SetTabEnabled, kAccessor, 0},
      {"tabIndex", GetTabIndex, SetTabIndex, kAccessor, 0},
      {"accessibilityImplementation", GetKept<2>, SetKept<2>, kAccessor, 0},
      // The window shows the program's own pop-up menu: a movie's menu is kept for its
      // scripts.
      {"contextMenu", GetKept<3>, SetKept<3>, kAccessor, 0},
  };
  Install(m, interactive, kInteractiveMembers);
  ClassObject* container = m.DefineClass("flash.display", "DisplayObjectContainer", interactive, [](Machine&, const Value&, const Value*, int) { return Value(); });
  static const Member kContainerMembers[] = {
      {"numChildren", NumChildren, nullptr, kAccessor, 0},
      {"addChild", AddChild, nullptr, 0, 0},
      {"addChildAt", AddChildAt, nullptr, 0, 0},
      {"removeChild", RemoveChild, nullptr, 0, 0},
      {"removeChildAt", RemoveChildAt, nullptr, 0, 0},
      {"removeChildren", RemoveChildren, nullptr, 0, 0},
      {"mouseChildren", GetFlag<&DisplayObject::mouseChildren>, SetFlag<&DisplayObject::mouseChildren>, kAccessor, 0},
      {"tabChildren", GetTabChildren, SetTabChildren, kAccessor, 0},
      {"getChildAt", GetChildAt, nullptr, 0, 0},
      {"getChildIndex", GetChildIndex, nullptr, 0, 0},
      {"setChildIndex", SetChildIndex, nullptr, 0, 0},
      {"getChildByName", GetChildByName, nullptr, 0, 0},
      {"contains", Contains, nullptr, 0, 0},
      {"swapChildren", SwapChildren, nullptr, 0, 0},
      {"swapChildrenAt", SwapChildrenAt, nullptr, 0, 0},
      {"getObjectsUnderPoint", GetObjectsUnderPoint, nullptr, 0, 0},
  };
  Install(m, container, kContainerMembers);
  ClassObject* sprite = m.DefineClass("flash.display", "Sprite", container, [](Machine&, const Value&, const Value*, int) { return Value(); });
  static const Member kSpriteMembers[] = {
      {"hitArea", GetHitArea, SetHitArea, kAccessor, 0},
      {"startDrag", StartDrag, nullptr, 0, 0, 2},
      {"stopDrag", StopDrag, nullptr, 0, 0},
      {"dropTarget", DropTarget, nullptr, kAccessor, 0},
      {"soundTransform", GetObjectSoundTransform, SetObjectSoundTransform, kAccessor, 0},
  };
  Install(m, sprite, kSpriteMembers);
  ClassObject* clip = m.DefineClass("flash.display", "MovieClip", sprite, [](Machine&, const Value&, const Value*, int) { return Value(); }, false);
  static const Member kClipMembers[] = {
      {"currentFrame", CurrentFrame, nullptr, kAccessor, 0},
      {"isPlaying", IsPlaying, nullptr, kAccessor, 0},
      {"currentLabels", CurrentLabels, nullptr, kAccessor, 0},
      {"totalFrames", TotalFrames, nullptr, kAccessor, 0},
      {"framesLoaded", FramesLoaded, nullptr, kAccessor, 0},
      {"currentLabel", CurrentLabel, nullptr, kAccessor, 0},
      {"currentFrameLabel", CurrentFrameLabel, nullptr, kAccessor, 0},
      {"currentScene", CurrentScene, nullptr, kAccessor, 0},
      {"scenes", Scenes, nullptr, kAccessor, 0},
      {"nextScene", NextScene, nullptr, 0, 0},
      {"prevScene", PrevScene, nullptr, 0, 0},
      {"play", Play, nullptr, 0, 0},
      {"stop", Stop, nullptr, 0, 0},
      {"gotoAndStop", GotoAndStop, nullptr, 0, 0},
      {"gotoAndPlay", GotoAndPlay, nullptr, 0, 0},
      {"nextFrame", NextFrame, nullptr, 0, 0},
      {"prevFrame", PrevFrame, nullptr, 0, 0},
      {"addFrameScript", AddFrameScript, nullptr, 0, 0},
      {"enabled", ClipEnabled, SetClipEnabled, kAccessor, 0},
  };
  Install(m, clip, kClipMembers);
  m.DefineClass("flash.display", "Shape", displayObject, [](Machine&, const Value&, const Value*, int) { return Value(); });
  // Morph shapes come only from the timeline: scripts cannot make one.
  m.DefineClass("flash.display", "MorphShape", displayObject, [](Machine& machine, const Value&, const Value*, int) -> Value {
    machine.ThrowError("ArgumentError", 2012, "MorphShape$ class cannot be instantiated.");
  });
  InstallSimpleButton(m);
  m.DefineClass("flash.display", "Bitmap", displayObject, [](Machine&, const Value&, const Value*, int) { return Value(); });
  ClassObject* stage = m.DefineClass("flash.display", "Stage", container);
  static const Member kStageMembers[] = {
      // A standalone player keeps its window's size: what a script sets is ignored.
      {"stageWidth", StageWidth, IgnoreSize, kAccessor, 0},
      {"stageHeight", StageHeight, IgnoreSize, kAccessor, 0},
      {"invalidate", StageInvalidate, nullptr, 0, 0},
  };
  Install(m, stage, kStageMembers);
}

bool IsInstanceOf(Machine& m, const DisplayObject* d, const char* qualifiedClass) {
  const auto it = m.displayObjects.find(d);
  if (it == m.displayObjects.end()) return false;
  ClassObject* cls = m.FindClass(qualifiedClass);
  return cls && it->second->kind == ObjectKind::Display && static_cast<NativeObject*>(it->second)->cls &&
         m.IsSubclass(static_cast<NativeObject*>(it->second)->cls, cls);
}

bool TabEnabledOf(Machine& m, DisplayObject* d) {
  const auto it = m.interactive.find(d);
  if (it != m.interactive.end() && it->second.tabEnabled) return *it->second.tabEnabled;
  if (d->Kind() == DisplayKind::Button || IsInstanceOf(m, d, "flash.display.SimpleButton")) return true;
  if (d->Kind() == DisplayKind::EditText) return !static_cast<TextField*>(d)->Field().readOnly;
  if (IsInstanceOf(m, d, "flash.display.Sprite"))
    return m.ToBoolean(m.GetPublic(Value::Obj(m.displayObjects.at(d)), "buttonMode"));
  return false;
}

bool FindLinkedSymbol(Machine& m, const ClassObject* cls, const void*& movie, std::uint16_t& id) {
  for (const ClassObject* c = cls; c && m.player; c = c->base) {
    const auto it = m.symbolOf.find(c);
    if (it == m.symbolOf.end()) continue;
    const auto other = m.symbolMovie.find(c);
    movie = other != m.symbolMovie.end() ? other->second : m.player->RootMovie();
    id = it->second;
    return true;
  }
  return false;
}

}  // namespace vantrel::flash::avm2
