// The event classes that carry more than a type: MouseEvent, KeyboardEvent, FocusEvent,
// TextEvent, ErrorEvent, IOErrorEvent, ProgressEvent, StatusEvent and the others below.
// Each class's fields follow the Event arguments of its constructor (in order, unless the
// class names them) and live in an array on the event.
#include <array>
#include <cmath>
#include <utility>

#include "flash/avm2/builtins/support.h"
#include "flash/display/display_object.h"

namespace vantrel::flash::avm2 {

namespace {

// Empty: a String that starts empty and reads null as empty; Text: the same, but keeps null.
enum class Default { NaN, Null, False, Zero, Empty, Text };

struct Field {
  const char* name;
  Default value;
};

struct EventClass {
  const char* name;
  const char* base;  // the qualified name of the class it extends
  bool bubbles;      // the default of its bubbles argument
  std::vector<Field> fields;
  std::vector<const char*> shown;  // what toString lists after eventPhase
  std::vector<std::pair<const char*, const char*>> constants;  // event types
  // The fields the constructor's arguments after cancelable set, when they are not all
  // the fields of the chain in order.
  std::vector<const char*> arguments = {};
  const char* type = nullptr;  // the default of its type argument, where it has one
  bool cancelable = false;     // the default of its cancelable argument
};

// Fields are numbered across the chain of classes: a class's own come after its base's.
const std::vector<EventClass>& Classes() {
  static const std::vector<EventClass> classes = {
      {"MouseEvent", "flash.events.Event", true,
       {{"localX", Default::NaN}, {"localY", Default::NaN}, {"relatedObject", Default::Null}, {"ctrlKey", Default::False},
        {"altKey", Default::False}, {"shiftKey", Default::False}, {"buttonDown", Default::False}, {"delta", Default::Zero}},
       {"localX", "localY", "stageX", "stageY", "relatedObject", "ctrlKey", "altKey", "shiftKey", "buttonDown", "delta"},
       {{"CLICK", "click"}, {"DOUBLE_CLICK", "doubleClick"}, {"MOUSE_DOWN", "mouseDown"}, {"MOUSE_UP", "mouseUp"},
        {"MOUSE_MOVE", "mouseMove"}, {"MOUSE_OVER", "mouseOver"}, {"MOUSE_OUT", "mouseOut"}, {"MOUSE_WHEEL", "mouseWheel"},
        {"ROLL_OVER", "rollOver"}, {"ROLL_OUT", "rollOut"}, {"MIDDLE_CLICK", "middleClick"},
        {"MIDDLE_MOUSE_DOWN", "middleMouseDown"}, {"MIDDLE_MOUSE_UP", "middleMouseUp"}, {"RIGHT_CLICK", "rightClick"},
        {"RIGHT_MOUSE_DOWN", "rightMouseDown"}, {"RIGHT_MOUSE_UP", "rightMouseUp"}, {"CONTEXT_MENU", "contextMenu"},
        {"RELEASE_OUTSIDE", "releaseOutside"}}},
      {"KeyboardEvent", "flash.events.Event", true,
       {{"charCode", Default::Zero}, {"keyCode", Default::Zero}, {"keyLocation", Default::Zero}, {"ctrlKey", Default::False},
        {"altKey", Default::False}, {"shiftKey", Default::False}},
       {"charCode", "keyCode", "keyLocation", "ctrlKey", "altKey", "shiftKey"},
       {{"KEY_DOWN", "keyDown"}, {"KEY_UP", "keyUp"}}},
      {"FocusEvent", "flash.events.Event", true,
       {{"relatedObject", Default::Null}, {"shiftKey", Default::False}, {"keyCode", Default::Zero}},
       {"relatedObject", "shiftKey", "keyCode"},
       {{"FOCUS_IN", "focusIn"}, {"FOCUS_OUT", "focusOut"}, {"KEY_FOCUS_CHANGE", "keyFocusChange"},
        {"MOUSE_FOCUS_CHANGE", "mouseFocusChange"}}},
      {"TextEvent", "flash.events.Event", false, {{"text", Default::Empty}}, {"text"}, {{"LINK", "link"}, {"TEXT_INPUT", "textInput"}}},
      // A DataEvent's data is its text under another name.
      {"DataEvent", "flash.events.TextEvent", false, {}, {"data"}, {{"DATA", "data"}, {"UPLOAD_COMPLETE_DATA", "uploadCompleteData"}}},
      {"ErrorEvent", "flash.events.TextEvent", false, {{"errorID", Default::Zero}}, {"text"}, {{"ERROR", "error"}}},
      {"IOErrorEvent", "flash.events.ErrorEvent", false, {}, {"text"}, {{"IO_ERROR", "ioError"}}},
      {"SecurityErrorEvent", "flash.events.ErrorEvent", false, {}, {"text"}, {{"SECURITY_ERROR", "securityError"}}},
      {"ProgressEvent", "flash.events.Event", false, {{"bytesLoaded", Default::Zero}, {"bytesTotal", Default::Zero}},
       {"bytesLoaded", "bytesTotal"}, {{"PROGRESS", "progress"}, {"SOCKET_DATA", "socketData"}}},
      {"TimerEvent", "flash.events.Event", false, {}, {}, {{"TIMER", "timer"}, {"TIMER_COMPLETE", "timerComplete"}}},
      {"StatusEvent", "flash.events.Event", false, {{"code", Default::Text}, {"level", Default::Text}},
       {"code", "level"}, {{"STATUS", "status"}}},
      {"ActivityEvent", "flash.events.Event", false, {{"activating", Default::False}}, {"activating"},
       {{"ACTIVITY", "activity"}}},
      {"FullScreenEvent", "flash.events.ActivityEvent", false,
       {{"fullScreen", Default::False}, {"interactive", Default::False}}, {"fullScreen", "interactive"},
       {{"FULL_SCREEN", "fullScreen"}, {"FULL_SCREEN_INTERACTIVE_ACCEPTED", "fullScreenInteractiveAccepted"}},
       {"fullScreen", "interactive"}},
      {"AsyncErrorEvent", "flash.events.ErrorEvent", false, {{"error", Default::Null}}, {"text", "error"},
       {{"ASYNC_ERROR", "asyncError"}}, {"text", "error"}},
      // What the player dispatches to a movie's uncaughtErrorEvents for an error no script
      // caught; preventing its default keeps the error from being printed.
      {"UncaughtErrorEvent", "flash.events.ErrorEvent", true, {{"error", Default::Null}}, {"text"},
       {{"UNCAUGHT_ERROR", "uncaughtError"}}, {"error"}, "uncaughtError", true},
      {"SyncEvent", "flash.events.Event", false, {{"changeList", Default::Null}}, {"changeList"}, {{"SYNC", "sync"}}},
      {"ContextMenuEvent", "flash.events.Event", false,
       {{"mouseTarget", Default::Null}, {"contextMenuOwner", Default::Null}}, {"mouseTarget", "contextMenuOwner"},
       {{"MENU_ITEM_SELECT", "menuItemSelect"}, {"MENU_SELECT", "menuSelect"}}},
      {"SampleDataEvent", "flash.events.Event", false, {{"position", Default::Zero}, {"data", Default::Null}},
       {"position"}, {{"SAMPLE_DATA", "sampleData"}}},
      {"NetDataEvent", "flash.events.Event", false, {{"timestamp", Default::Zero}, {"info", Default::Null}},
       {"timestamp", "info"}, {{"MEDIA_TYPE_DATA", "mediaTypeData"}}},
      {"ThrottleEvent", "flash.events.Event", false, {{"state", Default::Null}, {"targetFrameRate", Default::Zero}},
       {"state", "targetFrameRate"}, {{"THROTTLE", "throttle"}}},
      {"HTTPStatusEvent", "flash.events.Event", false,
       {{"status", Default::Zero}, {"redirected", Default::False}, {"responseURL", Default::Null}},
       {"status", "redirected", "responseURL"}, {{"HTTP_STATUS", "httpStatus"}, {"HTTP_RESPONSE_STATUS", "httpResponseStatus"}}},
  };
  return classes;
}

const EventClass* Describe(const std::string& name) {
  for (const EventClass& c : Classes())
    if (name == c.name) return &c;
  return nullptr;
}

// The fields of the class and its bases, the bases' first.
std::vector<Field> AllFields(const EventClass& c) {
  std::vector<Field> out;
  const std::string base = c.base;
  if (base.rfind("flash.events.", 0) == 0)
    if (const EventClass* b = Describe(base.substr(13))) out = AllFields(*b);
  out.insert(out.end(), c.fields.begin(), c.fields.end());
  return out;
}

Value DefaultOf(Machine& m, Default d) {
  switch (d) {
    case Default::NaN: return Value::Number(NAN);
    case Default::Null: return Value::Null();
    case Default::False: return Value::Bool(false);
    case Default::Zero: return Value::Number(0);
    case Default::Empty:
    case Default::Text: return m.StrValue("");
  }
  return Value();
}

Value Converted(Machine& m, Default d, const Value& v) {
  switch (d) {
    case Default::NaN:
    case Default::Zero: return Value::Number(m.ToNumber(v));
    case Default::False: return Value::Bool(m.ToBoolean(v));
    case Default::Empty: return v.IsNull() || v.IsUndefined() ? m.StrValue("") : m.StrValue(m.ToString(v));
    case Default::Null: return v.IsUndefined() ? Value::Null() : v;
    case Default::Text: return v.IsNull() ? v : v.IsUndefined() ? m.StrValue("") : m.StrValue(m.ToString(v));
  }
  return v;
}

// The described class nearest to the event's own class (an event of a script subclass
// has the fields of the built-in class it extends).
const EventClass* ClassOfEvent(NativeObject* e) {
  for (ClassObject* c = e->cls; c; c = c->base)
    if (c->package == "flash.events")
      if (const EventClass* d = Describe(c->name)) return d;
  return nullptr;
}

ArrayObject* FieldsOf(Machine& m, NativeObject* e) {
  if (!e->c.IsObject() || e->c.object->kind != ObjectKind::Array) {
    const EventClass* d = ClassOfEvent(e);
    std::vector<Value> values;
    if (d)
      for (const Field& f : AllFields(*d)) values.push_back(DefaultOf(m, f.value));
    e->c = Value::Obj(m.NewArray(std::move(values)));
  }
  return static_cast<ArrayObject*>(e->c.object);
}

int FieldIndex(NativeObject* e, const std::string& name) {
  const EventClass* d = ClassOfEvent(e);
  if (!d) return -1;
  const std::vector<Field> fields = AllFields(*d);
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (name == fields[i].name) return static_cast<int>(i);
  return -1;
}

NativeObject* EventArg(Machine& m, const Value& self) { return Receiver<NativeObject>(m, self, ObjectKind::Event, "Event"); }

// Getters and setters by field name: one instance of each per name.
constexpr const char* kFieldNames[] = {"localX", "localY", "relatedObject", "ctrlKey", "altKey", "shiftKey",
                                       "buttonDown", "delta", "charCode", "keyCode", "keyLocation", "text",
                                       "errorID", "bytesLoaded", "bytesTotal", "status", "redirected", "responseURL",
                                       "code", "level", "activating", "fullScreen", "interactive", "error",
                                       "changeList", "mouseTarget", "contextMenuOwner", "position", "data",
                                       "timestamp", "info", "state", "targetFrameRate"};
constexpr int kFieldCount = sizeof(kFieldNames) / sizeof(kFieldNames[0]);

template <int N>
Value GetField(Machine& m, const Value& self, const Value*, int) {
  NativeObject* e = EventArg(m, self);
  const int index = FieldIndex(e, kFieldNames[N]);
  ArrayObject* fields = FieldsOf(m, e);
  return index >= 0 && static_cast<std::size_t>(index) < fields->elements.size() ? fields->elements[index] : Value();
}
template <int N>
Value SetField(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* e = EventArg(m, self);
  const int index = FieldIndex(e, kFieldNames[N]);
  ArrayObject* fields = FieldsOf(m, e);
  const EventClass* d = ClassOfEvent(e);
  if (index >= 0 && d && static_cast<std::size_t>(index) < fields->elements.size())
    fields->elements[index] = Converted(m, AllFields(*d)[index].value, Arg(args, argc, 0));
  return Value();
}

template <int... N>
constexpr std::array<std::pair<Native, Native>, sizeof...(N)> MakeAccessors(std::integer_sequence<int, N...>) {
  return {std::pair<Native, Native>{GetField<N>, SetField<N>}...};
}
constexpr auto kAccessors = MakeAccessors(std::make_integer_sequence<int, kFieldCount>());

Value Construct(Machine& m, const Value& self, const Value* args, int argc) {
  auto* e = static_cast<NativeObject*>(self.object);
  const EventClass* d = ClassOfEvent(e);
  const bool bubbles = argc > 1 && !args[1].IsUndefined() ? m.ToBoolean(args[1]) : d && d->bubbles;
  const bool cancelable = argc > 2 && !args[2].IsUndefined() ? m.ToBoolean(args[2]) : d && d->cancelable;
  const std::string type = argc > 0 || !d || !d->type ? StrArg(m, args, argc, 0) : std::string(d->type);
  InitEvent(m, e, type, bubbles, cancelable);
  ArrayObject* fields = FieldsOf(m, e);
  if (!d) return Value();
  const std::vector<Field> all = AllFields(*d);
  if (!d->arguments.empty()) {
    for (std::size_t a = 0; a < d->arguments.size() && static_cast<int>(a) + 3 < argc; ++a) {
      const int index = FieldIndex(e, d->arguments[a]);
      if (index >= 0 && !args[a + 3].IsUndefined() && static_cast<std::size_t>(index) < fields->elements.size())
        fields->elements[index] = Converted(m, all[index].value, args[a + 3]);
    }
    return Value();
  }
  for (std::size_t i = 0; i < all.size() && i < fields->elements.size(); ++i)
    if (static_cast<int>(i) + 3 < argc && !args[i + 3].IsUndefined()) fields->elements[i] = Converted(m, all[i].value, args[i + 3]);
  return Value();
}

Value Clone(Machine& m, const Value& self, const Value*, int) {
  NativeObject* e = EventArg(m, self);
  const Value args[3] = {m.GetPublic(self, "type"), m.GetPublic(self, "bubbles"), m.GetPublic(self, "cancelable")};
  // The built-in class the event is of (a script subclass must override clone itself).
  ClassObject* cls = e->cls;
  while (cls && cls->package != "flash.events") cls = cls->base;
  const Value copy = m.Construct(Value::Obj(cls ? cls : e->cls), args, 3);
  if (copy.IsObject() && copy.object->kind == ObjectKind::Event) {
    auto* c = static_cast<NativeObject*>(copy.object);
    c->c = Value::Obj(m.NewArray(FieldsOf(m, e)->elements));
  }
  return copy;
}

Value ToString(Machine& m, const Value& self, const Value*, int) {
  NativeObject* e = EventArg(m, self);
  const EventClass* d = ClassOfEvent(e);
  std::vector<Value> args = {m.StrValue(e->cls ? e->cls->name : "Event"), m.StrValue("type"), m.StrValue("bubbles"),
                             m.StrValue("cancelable"), m.StrValue("eventPhase")};
  if (d)
    for (const char* name : d->shown) args.push_back(m.StrValue(name));
  return m.CallPublic(self, "formatToString", args);
}

// stageX/stageY: the local point through the target's transform (0 without a target,
// NaN while the local point is not set).
Value StagePoint(Machine& m, const Value& self, bool y) {
  NativeObject* e = EventArg(m, self);
  ArrayObject* fields = FieldsOf(m, e);
  if (fields->elements.size() < 2) return Value::Number(NAN);
  const double lx = m.ToNumber(fields->elements[0]), ly = m.ToNumber(fields->elements[1]);
  if (std::isnan(y ? ly : lx)) return Value::Number(NAN);
  if (!e->a.IsObject() || e->a.object->kind != ObjectKind::Display || !static_cast<NativeObject*>(e->a.object)->display)
    return Value::Number(0);
  const QPointF stage = static_cast<NativeObject*>(e->a.object)->display->ToStage().map(QPointF(lx * 20, ly * 20));
  return Value::Number((y ? stage.y() : stage.x()) / 20);
}
Value StageX(Machine& m, const Value& self, const Value*, int) { return StagePoint(m, self, false); }
Value StageY(Machine& m, const Value& self, const Value*, int) { return StagePoint(m, self, true); }
Value ZeroGetter(Machine&, const Value&, const Value*, int) { return Value::Number(0); }
Value FalseGetter(Machine&, const Value&, const Value*, int) { return Value::Bool(false); }
// updateAfterEvent(): the window is drawn again after every input event and after every
// tick that ran timers, so what the call asks for always happens.
Value UpdateAfterEvent(Machine&, const Value&, const Value*, int) { return Value(); }

}  // namespace

void InstallEvents(Machine& m) {
  for (const EventClass& d : Classes()) {
    ClassObject* base = m.FindClass(d.base);
    if (!base) continue;
    ClassObject* cls = m.DefineClass("flash.events", d.name, base, Construct);
    for (const Field& f : d.fields) {
      for (int i = 0; i < kFieldCount; ++i)
        if (std::string(f.name) == kFieldNames[i]) m.AddAccessor(cls, f.name, kAccessors[i].first, kAccessors[i].second);
    }
    if (std::string(d.name) == "DataEvent") {
      constexpr int kText = 11;
      static_assert(kFieldNames[kText][0] == 't');
      m.AddAccessor(cls, "data", kAccessors[kText].first, kAccessors[kText].second);
    }
    const std::string name = d.name;
    if (name == "MouseEvent" || name == "KeyboardEvent" || name == "TimerEvent") {
      static const Member kUpdate[] = {{"updateAfterEvent", UpdateAfterEvent, nullptr, 0, 0}};
      Install(m, cls, kUpdate);
    }
    if (name == "ContextMenuEvent") {
      static const Member kInaccessible[] = {{"isMouseTargetInaccessible", FalseGetter, nullptr, kAccessor, 0}};
      Install(m, cls, kInaccessible);
    }
    if (std::string(d.name) == "MouseEvent") {
      static const Member kMouseEventMembers[] = {
          {"stageX", StageX, nullptr, kAccessor, 0},
          {"stageY", StageY, nullptr, kAccessor, 0},
          {"movementX", ZeroGetter, nullptr, kAccessor, 0},
          {"movementY", ZeroGetter, nullptr, kAccessor, 0},
          {"isRelatedObjectInaccessible", FalseGetter, nullptr, kAccessor, 0},
      };
      Install(m, cls, kMouseEventMembers);
    }
    for (const auto& [constant, value] : d.constants) m.AddConstant(cls, constant, m.StrValue(value));
    static const Member kEventMembers[] = {
        {"clone", Clone, nullptr, 0, 0},
        {"toString", ToString, nullptr, 0, 0},
    };
    Install(m, cls, kEventMembers);
  }
}

}  // namespace vantrel::flash::avm2
