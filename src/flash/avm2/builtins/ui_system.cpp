// What applications set up in their first frame beside the display list: the pointer
// (Mouse), the context menu's classes, System, fscommand, what a desktop player has of
// sensors, touch and workers (none), and the small data classes of flash.net,
// flash.text, flash.media and flash.printing (FileFilter, URLRequestHeader,
// TextLineMetrics, TextRun, CSMSettings, SoundLoaderContext, PrintJobOptions). The rest of these
// packages is declared from the API listing (api/declared_api.h).
#include <cmath>

#include "flash/avm2/builtins/record_object.h"
#include "flash/avm2/builtins/support.h"
#include "flash/display/player.h"

namespace vantrel::flash::avm2 {

namespace {

// A field: its name, its type ('s' String, 'b' Boolean, 'n' Number, 'o' an object or
// null) and its default.
struct RecordField {
  const char* name;
  char type;
  double number = 0;
  const char* text = nullptr;  // a String's default; null is null
};

struct RecordClass {
  const char* package;
  const char* name;
  bool dispatcher;  // an EventDispatcher (its listeners live in the object too)
  int constructorArgs;  // the fields the constructor sets, in order
  std::span<const RecordField> fields;
};

const RecordField kMenuItemFields[] = {
    {"caption", 's', 0, ""}, {"separatorBefore", 'b', 0}, {"enabled", 'b', 1}, {"visible", 'b', 1}};
const RecordField kBuiltInFields[] = {{"forwardAndBack", 'b', 1}, {"loop", 'b', 1}, {"play", 'b', 1},
                                      {"print", 'b', 1},          {"quality", 'b', 1}, {"rewind", 'b', 1},
                                      {"save", 'b', 1},           {"zoom", 'b', 1}};
const RecordField kClipboardFields[] = {
    {"clear", 'b', 0}, {"copy", 'b', 0}, {"cut", 'b', 0}, {"paste", 'b', 0}, {"selectAll", 'b', 1}};
const RecordField kMenuFields[] = {{"builtInItems", 'o'}, {"customItems", 'o'}, {"clipboardMenu", 'b', 0},
                                   {"clipboardItems", 'o'}, {"link", 'o'}};
const RecordField kFileFilterFields[] = {{"description", 's', 0, ""}, {"extension", 's', 0, ""}, {"macType", 's'}};
const RecordField kHeaderFields[] = {{"name", 's', 0, ""}, {"value", 's', 0, ""}};
const RecordField kLineMetricsFields[] = {{"x", 'n'},      {"width", 'n'},   {"height", 'n'},
                                          {"ascent", 'n'}, {"descent", 'n'}, {"leading", 'n'}};
const RecordField kCsmFields[] = {{"fontSize", 'n'}, {"insideCutoff", 'n'}, {"outsideCutoff", 'n'}};
const RecordField kPrintOptionsFields[] = {{"printAsBitmap", 'b', 0}};
const RecordField kSoundContextFields[] = {{"bufferTime", 'n', 1000}, {"checkPolicyFile", 'b', 0}};
const RecordField kTextRunFields[] = {{"beginIndex", 'n'}, {"endIndex", 'n'}, {"textFormat", 'o'}};

enum RecordKind {
  kMenuItem, kBuiltInItems, kClipboardItems, kMenu, kFileFilter, kHeader, kLineMetrics, kCsm, kPrintOptions, kSoundContext, kTextRun
};

const RecordClass kRecordClasses[] = {
    {"flash.ui", "ContextMenuItem", true, 4, kMenuItemFields},
    {"flash.ui", "ContextMenuBuiltInItems", false, 0, kBuiltInFields},
    {"flash.ui", "ContextMenuClipboardItems", false, 0, kClipboardFields},
    {"flash.ui", "ContextMenu", true, 0, kMenuFields},
    {"flash.net", "FileFilter", false, 3, kFileFilterFields},
    {"flash.net", "URLRequestHeader", false, 2, kHeaderFields},
    {"flash.text", "TextLineMetrics", false, 6, kLineMetricsFields},
    {"flash.text", "CSMSettings", false, 3, kCsmFields},
    {"flash.printing", "PrintJobOptions", false, 1, kPrintOptionsFields},
    {"flash.media", "SoundLoaderContext", false, 2, kSoundContextFields},
    {"flash.text", "TextRun", false, 3, kTextRunFields},
};

Value Default(Machine& m, const RecordField& f) {
  switch (f.type) {
    case 's': return f.text ? m.StrValue(f.text) : Value::Null();
    case 'b': return Value::Bool(f.number != 0);
    case 'n': return Value::Number(f.number);
    default: return Value::Null();
  }
}

Value Converted(Machine& m, const RecordField& f, const Value& v) {
  switch (f.type) {
    case 's': return v.IsNullish() ? Value::Null() : m.StrValue(m.ToString(v));
    case 'b': return Value::Bool(m.ToBoolean(v));
    case 'n': return Value::Number(m.ToNumber(v));
    default: return v.IsUndefined() ? Value::Null() : v;
  }
}

template <int K>
Object* AllocateRecord(Machine& m, ClassObject*) {
  const RecordClass& c = kRecordClasses[K];
  auto* o = m.heap.Make<RecordObject>(c.dispatcher ? ObjectKind::Display : ObjectKind::Other, nullptr, nullptr);
  for (const RecordField& f : c.fields) o->fields.push_back(Default(m, f));
  return o;
}

RecordObject& Record(Machine& m, const Value& self, int kind) {
  auto* o = self.IsObject() ? dynamic_cast<RecordObject*>(self.object) : nullptr;
  if (!o || o->fields.size() != kRecordClasses[kind].fields.size())
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to " +
                               kRecordClasses[kind].package + "." + kRecordClasses[kind].name + ".");
  return *o;
}

// The tags of the field accessors: the class's kind times 16 plus the field's index.
Value GetField(Machine& m, const Value& self, const Value*, int) {
  const int tag = NativeTag(m);
  return Record(m, self, tag / 16).fields[static_cast<std::size_t>(tag % 16)];
}
Value SetField(Machine& m, const Value& self, const Value* args, int argc) {
  const int tag = NativeTag(m);
  const RecordClass& c = kRecordClasses[tag / 16];
  Record(m, self, tag / 16).fields[static_cast<std::size_t>(tag % 16)] = Converted(m, c.fields[tag % 16], Arg(args, argc, 0));
  return Value();
}

Value NewRecord(Machine& m, int kind) {
  const RecordClass& c = kRecordClasses[kind];
  return Value::Obj(m.ConstructClass(m.FindClass(std::string(c.package) + "." + c.name), nullptr, 0));
}

template <int K>
Value ConstructRecord(Machine& m, const Value& self, const Value* args, int argc) {
  const RecordClass& c = kRecordClasses[K];
  RecordObject& o = Record(m, self, K);
  for (int i = 0; i < c.constructorArgs && i < argc; ++i) o.fields[static_cast<std::size_t>(i)] = Converted(m, c.fields[i], args[i]);
  if (K == kMenu) {
    o.fields[0] = NewRecord(m, kBuiltInItems);
    o.fields[1] = Value::Obj(m.NewArray());
    o.fields[3] = NewRecord(m, kClipboardItems);
  }
  return self;
}

// clone(): a new object of the same class with the same values (a menu's lists and
// items copied too).
template <int K>
Value CloneRecord(Machine& m, const Value& self, const Value*, int) {
  const RecordObject& from = Record(m, self, K);
  Value copy = NewRecord(m, K);
  RecordObject& to = Record(m, copy, K);
  to.fields = from.fields;
  if (K == kMenu) {
    const auto cloneOf = [&](const Value& v) { return v.IsObject() ? m.Call(m.GetPublic(v, "clone"), v, nullptr, 0) : v; };
    to.fields[0] = cloneOf(from.fields[0]);
    to.fields[3] = cloneOf(from.fields[3]);
    if (from.fields[1].IsObject() && from.fields[1].object->kind == ObjectKind::Array) {
      std::vector<Value> items;
      for (const Value& item : static_cast<ArrayObject*>(from.fields[1].object)->elements) items.push_back(cloneOf(item));
      to.fields[1] = Value::Obj(m.NewArray(std::move(items)));
    }
  }
  return copy;
}

// hideBuiltInItems(): every built-in item but the settings is left out.
Value HideBuiltInItems(Machine& m, const Value& self, const Value*, int) {
  const Value items = Record(m, self, kMenu).fields[0];
  if (auto* o = items.IsObject() ? dynamic_cast<RecordObject*>(items.object) : nullptr) {
    for (Value& v : o->fields) v = Value::Bool(false);
  }
  return Value();
}

template <int K>
void DefineRecord(Machine& m, std::span<const Member> extra = {}) {
  const RecordClass& c = kRecordClasses[K];
  ClassObject* base = c.dispatcher ? m.FindClass("flash.events.EventDispatcher") : m.objectClass;
  ClassObject* cls = m.DefineClass(c.package, c.name, base, ConstructRecord<K>);
  cls->allocate = AllocateRecord<K>;
  std::vector<Member> members;
  for (std::size_t i = 0; i < c.fields.size(); ++i)
    members.push_back({c.fields[i].name, GetField, SetField, kAccessor, K * 16 + static_cast<int>(i)});
  Install(m, cls, members);
  Install(m, cls, extra);
}

// ---- Mouse ----

// hide() and show(): the pointer over the movie.
template <bool Visible>
Value ShowMouse(Machine& m, const Value&, const Value*, int) {
  if (m.player) m.player->mouseVisible = Visible;
  return Value();
}

std::string& MouseCursor() {
  static std::string cursor = "auto";
  return cursor;
}
Value GetCursor(Machine& m, const Value&, const Value*, int) { return m.StrValue(MouseCursor()); }
Value SetCursor(Machine& m, const Value&, const Value* args, int argc) {
  const Value v = Arg(args, argc, 0);
  const std::string name = v.IsNullish() ? "" : m.ToString(v);
  if (name != "auto" && name != "arrow" && name != "button" && name != "hand" && name != "ibeam")
    m.ThrowError("ArgumentError", 2008, "Parameter cursor must be one of the accepted values.");
  MouseCursor() = name;
  return Value();
}

// ---- System and fscommand ----

// totalMemory: the bytes the scripts' objects hold (alive at the last collection and
// made since).
Value TotalMemory(Machine& m, const Value&, const Value*, int) { return Value::Number(static_cast<double>(m.heap.Bytes())); }
bool& UseCodePage() {
  static bool use = false;
  return use;
}
Value GetUseCodePage(Machine&, const Value&, const Value*, int) { return Value::Bool(UseCodePage()); }
Value SetUseCodePage(Machine& m, const Value&, const Value* args, int argc) {
  UseCodePage() = m.ToBoolean(Arg(args, argc, 0));
  return Value();
}
// gc() and exit() act in debugger players only; a release player goes on as it was.
Value DebuggerOnly(Machine&, const Value&, const Value*, int) { return Value(); }
Value Self(Machine&, const Value& self, const Value*, int) { return self; }

// fscommand(command, args = ""): handed to the program around the player, as the
// standalone player's commands ("quit", "fullscreen", ...).
Value FsCommand(Machine& m, const Value&, const Value* args, int argc) {
  const std::string command = StrArg(m, args, argc, 0, "");
  const std::string arguments = argc > 1 && !args[1].IsNullish() ? m.ToString(args[1]) : "";
  if (m.player && m.player->Hooks().fsCommand) m.player->Hooks().fsCommand(command, arguments);
  return Value();
}

std::string& InputMode() {
  static std::string mode = "gesture";
  return mode;
}
Value GetInputMode(Machine& m, const Value&, const Value*, int) { return m.StrValue(InputMode()); }
Value SetInputMode(Machine& m, const Value&, const Value* args, int argc) {
  const Value v = Arg(args, argc, 0);
  const std::string mode = v.IsNullish() ? "" : m.ToString(v);
  if (mode != "gesture" && mode != "none" && mode != "touchPoint")
    m.ThrowError("ArgumentError", 2008, "Parameter inputMode must be one of the accepted values.");
  InputMode() = mode;
  return Value();
}

}  // namespace

void InstallUiSystem(Machine& m) {
  DefineRecord<kMenuItem>(m, std::initializer_list<Member>{{"clone", CloneRecord<kMenuItem>, nullptr, 0, 0}});
  DefineRecord<kBuiltInItems>(m, std::initializer_list<Member>{{"clone", CloneRecord<kBuiltInItems>, nullptr, 0, 0}});
  DefineRecord<kClipboardItems>(m, std::initializer_list<Member>{{"clone", CloneRecord<kClipboardItems>, nullptr, 0, 0}});
  DefineRecord<kMenu>(m, std::initializer_list<Member>{{"clone", CloneRecord<kMenu>, nullptr, 0, 0},
                                                        {"hideBuiltInItems", HideBuiltInItems, nullptr, 0, 0}});
  DefineRecord<kFileFilter>(m);
  DefineRecord<kHeader>(m);
  DefineRecord<kLineMetrics>(m);
  DefineRecord<kCsm>(m);
  DefineRecord<kPrintOptions>(m);
  DefineRecord<kSoundContext>(m);
  DefineRecord<kTextRun>(m);

  static const Member kUnsupported[] = {{"isSupported", False, nullptr, kStatic | kAccessor, 0}};
  for (const char* name : {"Accelerometer", "Geolocation"})
    Install(m, m.DefineClass("flash.sensors", name, m.FindClass("flash.events.EventDispatcher"), Self), kUnsupported);
  static const Member kNoWorkers[] = {{"isSupported", False, nullptr, kStatic | kAccessor, 0},
                                      {"current", Null, nullptr, kStatic | kAccessor, 0}};
  Install(m, m.DefineClass("flash.system", "Worker", m.FindClass("flash.events.EventDispatcher"), Self), kNoWorkers);
  Install(m, m.DefineClass("flash.system", "WorkerDomain", m.objectClass, Self), kNoWorkers);
  static const Member kTouch[] = {
      {"inputMode", GetInputMode, SetInputMode, kStatic | kAccessor, 0},
      {"maxTouchPoints", Zero, nullptr, kStatic | kAccessor, 0},
      {"supportedGestures", Null, nullptr, kStatic | kAccessor, 0},
      {"supportsGestureEvents", False, nullptr, kStatic | kAccessor, 0},
      {"supportsTouchEvents", False, nullptr, kStatic | kAccessor, 0},
  };
  Install(m, m.DefineClass("flash.ui", "Multitouch", m.objectClass, Self), kTouch);

  ClassObject* mouse = m.DefineClass("flash.ui", "Mouse", m.objectClass, Self);
  static const Member kMouse[] = {
      {"hide", ShowMouse<false>, nullptr, kStatic, 0},
      {"show", ShowMouse<true>, nullptr, kStatic, 0},
      {"cursor", GetCursor, SetCursor, kStatic | kAccessor, 0},
      {"supportsCursor", True, nullptr, kStatic | kAccessor, 0},
  };
  Install(m, mouse, kMouse);

  ClassObject* system = m.DefineClass("flash.system", "System", m.objectClass, Self);
  static const Member kSystem[] = {
      {"totalMemory", TotalMemory, nullptr, kStatic | kAccessor, 0},
      {"useCodePage", GetUseCodePage, SetUseCodePage, kStatic | kAccessor, 0},
      {"gc", DebuggerOnly, nullptr, kStatic, 0},
      {"exit", DebuggerOnly, nullptr, kStatic, 0},
  };
  Install(m, system, kSystem);

  FunctionObject* fscommand = m.NewNativeFunction("fscommand", FsCommand);
  fscommand->method->nativeLength = 2;
  m.DefineGlobal("flash.system", "fscommand", Value::Obj(fscommand));
}

}  // namespace vantrel::flash::avm2
