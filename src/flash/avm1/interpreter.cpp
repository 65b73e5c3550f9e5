#include "flash/avm1/interpreter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unordered_map>
#include <unordered_set>

#include "flash/avm1/display_binding.h"
#include "flash/avm1/interpreter_internal.h"
#include "flash/avm1/movie_host.h"
#include "flash/display/display_object.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"
#include "flash/script/string_utils.h"
#include "flash/script/utf16.h"

namespace vantrel::flash::avm1 {

namespace {

// Where super.name looks: above the prototype the running method stands for (the
// object's own prototype when the method was found on the object itself); a clip
// there, or nothing, ends the search.
Object* SuperLookupStart(const SuperData* data) {
  Object* base = data->Base();
  Object* holder = base && data->baseIsHolder ? base->proto : base;
  if (!holder || holder->kind == NativeKind::Display) return nullptr;
  return holder->proto;
}

}  // namespace

Interpreter::Interpreter(Runtime& rt, MovieRuntime* player)
    : rt_(rt), player_(player), cache_(std::make_unique<StringCache>()) {
  debugOps_ = std::getenv("VANTREL_DEBUG_ACTIONS") != nullptr;
  stack_.reserve(1024);
  if (player_) clock_ = &player_->Clock();
}

Interpreter::~Interpreter() = default;

MovieRuntime& Interpreter::GetPlayer() { return *player_; }

int Interpreter::Version() const { return frames_.empty() ? defaultVersion_ : frames_.back()->version; }

void Interpreter::Trace(const std::string& line) {
  if (onTrace) onTrace(script::PrintableUtf8(line));
}

void Interpreter::TraceRoots(gc::Tracer& tracer) const {
  for (const Value& v : stack_) TraceValue(tracer, v);
  for (const Value& v : carried_) TraceValue(tracer, v);
  for (const auto& frame : frames_) {
    TraceValue(tracer, frame->thisValue);
    tracer.Mark(frame->callee);
    tracer.Mark(frame->locals);
    for (const Object* o : frame->scope) tracer.Mark(o);
    tracer.Mark(frame->target);
    tracer.Mark(frame->originalTarget);
    tracer.Mark(frame->superBase);
    tracer.Mark(frame->newObject);
    for (const Value& v : frame->registers) TraceValue(tracer, v);
    for (const TryBlock& t : frame->tries) TraceValue(tracer, t.pending);
  }
  TraceValue(tracer, thrown_);
  for (const auto& [key, pool] : cache_->pools)
    for (const String* s : pool->cells) tracer.Mark(s);
  for (const auto& [key, s] : cache_->literals) tracer.Mark(s);
}

// ---------------------------------------------------------------------------------
// Conversions

std::string Interpreter::ToString(const Value& value) {
  switch (value.type) {
    case Value::Type::Undefined: return Version() >= 7 ? "undefined" : "";
    case Value::Type::Null: return "null";
    // SWF 4 code has no boolean type of its own: true and false print as 1 and 0.
    case Value::Type::Boolean:
      if (Version() < 5) return value.boolean ? "1" : "0";
      return value.boolean ? "true" : "false";
    case Value::Type::Number: return NumberToString(value.number);
    case Value::Type::String: return value.string->Text();
    case Value::Type::Object: {
      Object* o = value.object;
      if (o->kind == NativeKind::Display) {
        // A clip, button or text field prints as its path; a removed one that nothing
        // replaced as "".
        DisplayObject* display = DisplayOf(*this, o);
        if (!display) return "";
        return DisplayDotPath(display);
      }
      const Value fn = GetOf(o, nullptr, "toString", false);
      if (Object* f = fn.AsObject(); f && f->IsFunction()) {
        const Value result = CallFunction(fn, value, {});
        if (throwing_) return "";
        // A toString that gives anything but a string leaves the object's type name.
        if (result.IsString()) return result.string->Text();
      }
      return o->IsFunction() ? "[type Function]" : "[type Object]";
    }
  }
  return "";
}

double Interpreter::ToNumber(const Value& value) {
  switch (value.type) {
    case Value::Type::Undefined:
    case Value::Type::Null: return Version() >= 7 ? std::nan("") : 0;
    case Value::Type::Boolean: return value.boolean ? 1 : 0;
    case Value::Type::Number: return value.number;
    case Value::Type::String: return StringToNumber(value.string->Text(), Version());
    case Value::Type::Object: {
      const Value primitive = ToPrimitive(value, false);
      // SWF 4 numbers are never NaN: an object without a number value reads as 0.
      if (primitive.type == Value::Type::Object) return Version() < 5 ? 0 : std::nan("");
      if (primitive.type == Value::Type::Undefined || primitive.type == Value::Type::Null) return ToNumber(primitive);
      return ToNumber(primitive);
    }
  }
  return 0;
}

bool Interpreter::ToBoolean(const Value& value) {
  switch (value.type) {
    case Value::Type::Undefined:
    case Value::Type::Null: return false;
    case Value::Type::Boolean: return value.boolean;
    case Value::Type::Number: return value.number != 0 && !std::isnan(value.number);
    case Value::Type::String: {
      if (Version() >= 7) return !value.string->Text().empty();
      const double number = StringToNumber(value.string->Text(), Version());
      return number != 0 && !std::isnan(number);
    }
    case Value::Type::Object: return true;
  }
  return false;
}

Value Interpreter::ToPrimitive(const Value& value, bool preferString) {
  Object* o = value.AsObject();
  if (!o) return value;
  // A clip, button or text field stands for its path.
  if (preferString && o->kind == NativeKind::Display) return Str(ToString(value));
  // One method only: valueOf, or toString when a string is preferred. An object whose
  // method is missing or no function (such as _global's valueOf) has the primitive value
  // undefined; one whose method gives an object stays the object itself, so what
  // converts it next (ToString, ToNumber) asks it again.
  const Value fn = GetOf(o, o->kind == NativeKind::Display ? DisplayOf(*this, o) : nullptr, preferString ? "toString" : "valueOf", false);
  if (Object* f = fn.AsObject(); f && f->IsFunction()) {
    const Value result = CallFunction(fn, value, {});
    if (throwing_) return Value();
    return result.IsObject() ? value : result;
  }
  return Value();
}

Object* Interpreter::ToObject(const Value& value) {
  if (value.IsObject()) return value.object;
  return BoxPrimitive(value);
}

Object* Interpreter::NativeBox(const Value& value) {
  switch (value.type) {
    case Value::Type::Undefined:
    case Value::Type::Null: return nullptr;
    case Value::Type::Object: return value.object;
    case Value::Type::Boolean:
    case Value::Type::Number:
    case Value::Type::String: {
      Object* proto = value.type == Value::Type::Boolean ? rt_.booleanProto
                      : value.type == Value::Type::Number ? rt_.numberProto
                                                          : rt_.stringProto;
      Object* box = rt_.MakeObject(proto ? proto : rt_.objectProto);
      box->kind = value.type == Value::Type::Boolean ? NativeKind::Boolean
                  : value.type == Value::Type::Number ? NativeKind::Number
                                                      : NativeKind::String;
      box->native = std::make_unique<PrimitiveData>(value);
      return box;
    }
  }
  return nullptr;
}

namespace {
const char* BoxingClassName(Value::Type type) {
  switch (type) {
    case Value::Type::Boolean: return "Boolean";
    case Value::Type::Number: return "Number";
    case Value::Type::String: return "String";
    default: return nullptr;
  }
}
}  // namespace

bool Interpreter::BoxesNatively(Value::Type type) {
  const char* name = BoxingClassName(type);
  if (!name) return true;
  Object* builtin = type == Value::Type::Boolean ? rt_.booleanProto
                    : type == Value::Type::Number ? rt_.numberProto
                                                  : rt_.stringProto;
  const bool cs = CaseSensitive();
  const int version = Version();
  int depth = 0;
  for (Object* at = rt_.global; at && depth < 256; at = at->proto, ++depth) {
    const Property* p = at->FindOwn(name, cs);
    if (!p || !VisibleIn(p->attributes, version)) continue;
    if (p->getter) return false;
    Object* ctor = p->value.AsObject();
    if (!ctor || !ctor->IsFunction() || ctor->Function()->script) return false;
    const Property* proto = ctor->FindOwn("prototype", true);
    return proto && !proto->getter && proto->value.AsObject() == builtin;
  }
  return false;
}

Object* Interpreter::BoxPrimitive(const Value& value) {
  const char* name = BoxingClassName(value.type);
  if (!name) return nullptr;
  if (BoxesNatively(value.type)) return NativeBox(value);
  // The class is looked up on _global and its prototypes, getters run, without
  // asking __resolve.
  const bool cs = CaseSensitive();
  const int version = Version();
  Value ctor;
  int depth = 0;
  for (Object* at = rt_.global; at && depth < 256; at = at->proto, ++depth) {
    const Property* p = at->FindOwn(name, cs);
    if (!p || !VisibleIn(p->attributes, version)) continue;
    ctor = p->getter ? CallGetter(at, p->name, p->getter, Value::Obj(rt_.global)) : p->value;
    break;
  }
  Object* c = ctor.AsObject();
  if (!c || !c->IsFunction()) return nullptr;
  const Value args[] = {value};
  return Construct(c, args);
}

Value Interpreter::BoxedForLookup(const Value& value) {
  if (value.IsObject() || value.IsNullish() || BoxesNatively(value.type)) return value;
  Object* box = BoxPrimitive(value);
  return box ? Value::Obj(box) : Value();
}

std::string Interpreter::TypeOf(const Value& value) {
  switch (value.type) {
    case Value::Type::Undefined: return "undefined";
    case Value::Type::Null: return "null";
    case Value::Type::Boolean: return "boolean";
    case Value::Type::Number: return "number";
    case Value::Type::String: return "string";
    case Value::Type::Object: {
      if (value.object->IsFunction()) return "function";
      if (value.object->kind == NativeKind::Display) {
        // A reference keeps the type of what it was made for, even once that clip has gone.
        const auto* data = value.object->Data<DisplayData>();
        return DisplayTypeOf(data ? data->object : nullptr);
      }
      return "object";
    }
  }
  return "undefined";
}

const Property* Interpreter::StoredPrototype(Object* ctor) {
  if (!ctor) return nullptr;
  if (ctor->kind == NativeKind::Display) {
    // A clip's properties live on its script object; a removed clip has none.
    DisplayObject* display = DisplayOf(*this, ctor);
    if (!display) return nullptr;
    if (Object* own = ScriptObjectOf(display)) ctor = own;
  }
  return ctor->FindOwn("prototype", CaseSensitive());
}

Object* Interpreter::ClassPrototype(Object* ctor) {
  const Property* p = StoredPrototype(ctor);
  if (!p) return nullptr;
  Value proto = p->value;
  if (!proto.IsObject() && !proto.IsNullish()) {
    Object* box = BoxPrimitive(proto);  // never one of the prototypes, but boxing may run a script's class
    proto = box ? Value::Obj(box) : Value();
  }
  Object* o = proto.AsObject();
  return o && o->kind != NativeKind::Display ? o : nullptr;
}

bool Interpreter::IsInstance(const Value& object, const Value& ctor) {
  if (!object.IsObject()) return false;
  Object* c = ctor.AsObject();
  if (!c && !ctor.IsNullish()) c = BoxPrimitive(ctor);
  return InstanceOf(object.object, c);
}

bool Interpreter::InstanceOf(Object* object, Object* ctor) {
  if (!object || !ctor) return false;
  Object* proto = ClassPrototype(ctor);
  if (!proto) return false;
  if (object->kind == NativeKind::Display) {
    DisplayObject* display = DisplayOf(*this, object);
    if (!display) return false;
    if (Object* own = ScriptObjectOf(display)) object = own;
  }
  int guard = 0;
  for (Object* at = object->proto; at && guard < 256; at = at->proto, ++guard) {
    if (at == proto) return true;
    for (Object* i : at->interfaces) {
      // Interfaces extend each other through their own prototypes' interfaces.
      std::vector<Object*> pending{i};
      int steps = 0;
      while (!pending.empty() && steps++ < 256) {
        Object* p = pending.back();
        pending.pop_back();
        if (!p) continue;
        if (p == proto) return true;
        for (Object* q : p->interfaces) pending.push_back(q);
      }
    }
  }
  return false;
}

void Interpreter::Throw(const Value& value) {
  throwing_ = true;
  thrown_ = value;
}

DisplayObject* Interpreter::AsDisplay(Object* object) { return object ? DisplayOf(*this, object) : nullptr; }

Object* Interpreter::Target() {
  if (frames_.empty()) return nullptr;
  return frames_.back()->target;
}

bool Interpreter::Constructing() { return !frames_.empty() && frames_.back()->construct; }

// ---------------------------------------------------------------------------------
// Properties

namespace {
constexpr int kMaxChain = 256;

// What a watcher sees as the old value: the stored value along the prototype chain,
// without calling getters (a property added by addProperty keeps its earlier value).
Value StoredValue(Object* object, std::string_view name, bool cs, int version) {
  Object* at = object;
  for (int depth = 0; at && depth < kMaxChain; at = at->proto, ++depth) {
    if (const Property* p = at->FindOwn(name, cs); p && VisibleIn(p->attributes, version)) return p->value;
  }
  return Value();
}

// An array's names newest first: its elements and named properties interleaved in the
// order they were created, as the player keeps both as properties of the object.
void EnumerateArray(Object& array, std::unordered_set<std::string>& seen, std::vector<std::string>& level) {
  ArrayData& data = *array.Array();
  std::vector<std::pair<std::uint32_t, std::uint32_t>> elements;  // (creation stamp, index)
  for (const std::size_t i : data.Indices()) {
    if (!(data.Attributes(i) & kDontEnum)) elements.emplace_back(data.Order(i), static_cast<std::uint32_t>(i));
  }
  if (!std::is_sorted(elements.begin(), elements.end())) std::sort(elements.begin(), elements.end());
  // Named properties are kept in creation order already.
  const auto& props = array.Properties();
  std::vector<std::uint32_t> stamps(props.size());
  for (std::size_t i = 0; i < props.size(); ++i) stamps[i] = std::max(props[i].order, i ? stamps[i - 1] : 0u);
  auto element = elements.rbegin();
  std::size_t named = props.size();
  const auto add = [&](std::string name) {
    if (seen.insert(name).second) level.push_back(std::move(name));
  };
  while (element != elements.rend() || named > 0) {
    if (named > 0 && (element == elements.rend() || stamps[named - 1] > element->first)) {
      const Property& p = props[--named];
      if (!(p.attributes & kDontEnum)) add(p.name);
    } else {
      add(std::to_string(element->second));
      ++element;
    }
  }
}

}

Value Interpreter::Get(Object* object, std::string_view name) {
  return GetOf(object, object && object->kind == NativeKind::Display ? DisplayOf(*this, object) : nullptr, name);
}

Value Interpreter::GetOf(Object* object, DisplayObject* display, std::string_view name, bool withResolve) {
  if (!object) return Value();
  const bool cs = CaseSensitive();
  const int version = Version();
  if (display) object = ScriptObjectOf(display) ? ScriptObjectOf(display) : object;
  if (object->kind == NativeKind::Super) {
    Object* from = SuperLookupStart(static_cast<SuperData*>(object->native.get()));
    if (!from) return Value();
    object = from;
  }
  const Property* own = object->kind == NativeKind::Array ? object->FindOwn(name, cs) : nullptr;
  if (object->kind == NativeKind::Array && !(own && own->getter)) {  // a property added over an index or length wins
    ArrayData* array = object->Array();
    const long index = ArrayIndex(name);
    if (index >= 0) {
      if (array->Has(static_cast<std::size_t>(index))) return array->Get(static_cast<std::size_t>(index));
    } else if (SameName(name, "length", cs)) {
      return Value::Number(array->Length());
    }
  }
  if (object->kind == NativeKind::String && SameName(name, "length", cs) && !object->FindOwn(name, cs)) {
    return Value::Number(static_cast<double>(Utf16Length(static_cast<PrimitiveData*>(object->native.get())->value.Text())));
  }
  if (name.size() == 9 && SameName(name, "__proto__", cs)) return object->ProtoValue();
  Object* at = object;
  for (int depth = 0; at && depth < kMaxChain; at = at->proto, ++depth) {
    if (const Property* p = at->FindOwn(name, cs); p && VisibleIn(p->attributes, version)) {
      if (!p->getter) return p->value;
      return CallGetter(at, p->name, p->getter, Value::Obj(object));
    }
    if (depth > 0 && at->kind == NativeKind::Array) {  // an array up the chain lends its elements
      const long index = ArrayIndex(name);
      if (index >= 0 && at->Array()->Has(static_cast<std::size_t>(index))) return at->Array()->Get(static_cast<std::size_t>(index));
    }
    // The clip found above is the one this object stands for (a removed clip's own
    // object stands for nothing, or for what took its path). After the object's own
    // properties come levels and children by name, then the clip's properties (_x,
    // ...), then the prototypes: a child named "_x" hides the clip's _x.
    if (depth == 0 && display) {
      Value out;
      if (GetDisplayMember(*this, *display, name, out)) return out;
      const int index = DisplayPropertyIndex(name);
      if (index >= 0 && GetDisplayProperty(*this, *display, index, out)) return out;
    }
  }
  if (at) {
    // A prototype chain that loops: the lookup overflows and the whole script stops.
    std::fprintf(stderr, "vantrel: a prototype chain is 256 objects long; the action list was stopped\n");
    aborting_ = true;
    return Value();
  }
  if (withResolve && name != "__resolve") {
    // The nearest __resolve that is an object answers; primitives and clips on the way
    // are passed over, and one made by addProperty ends the search.
    Value resolve;
    int depth = 0;
    for (Object* on = object; on && depth < kMaxChain; on = on->proto, ++depth) {
      const Property* p = on->FindOwn("__resolve", cs);
      if (!p) continue;
      if (p->getter) break;
      if (Object* o = p->value.AsObject(); o && o->kind != NativeKind::Display) {
        resolve = p->value;
        break;
      }
    }
    if (Object* f = resolve.AsObject(); f && f->IsFunction()) {
      const Value args[] = {Str(std::string(name))};
      return CallFunction(resolve, Value::Obj(object), args);
    }
  }
  return Value();
}

Value Interpreter::GetMember(const Value& target, std::string_view name) {
  if (!target.IsObject() && !target.IsNullish() && !BoxesNatively(target.type)) {
    const Value box = BoxedForLookup(target);
    return box.IsObject() ? Get(box.object, name) : Value();
  }
  switch (target.type) {
    case Value::Type::Object: return Get(target.object, name);
    case Value::Type::String: {
      if (SameName(name, "length", CaseSensitive()))
        return Value::Number(static_cast<double>(Utf16Length(target.string->Text())));
      return rt_.stringProto ? GetWithThis(rt_.stringProto, name, target) : Value();
    }
    case Value::Type::Number: return rt_.numberProto ? GetWithThis(rt_.numberProto, name, target) : Value();
    case Value::Type::Boolean: return rt_.booleanProto ? GetWithThis(rt_.booleanProto, name, target) : Value();
    default: return Value();
  }
}

namespace {
// Calls of one property's getter and setter (counted together), or of one watcher, that
// may run nested in SWF 7 and later; in SWF 6 and earlier one at a time.
constexpr int kNestedAccessors = 65;
int NestedAccessorLimit(int version) { return version <= 6 ? 1 : kNestedAccessors; }
}

std::uint64_t Interpreter::EnterAccessor(Object* holder, std::string_view name, int Reentry::*count, int limit) {
  Reentry* entry = nullptr;
  for (Reentry& r : reentries_) {
    if (r.holder == holder && r.name == name) entry = &r;
  }
  if (!entry) entry = &reentries_.emplace_back(Reentry{holder, std::string(name), nextReentry_++});
  // Getters and setters share one count; a watcher has its own.
  const int running = count == &Reentry::watch ? entry->watch : entry->get + entry->set;
  if (running >= limit) {
    if (entry->get == 0 && entry->set == 0 && entry->watch == 0) reentries_.pop_back();
    return 0;
  }
  ++(entry->*count);
  return entry->id;
}

void Interpreter::LeaveAccessor(std::uint64_t id, int Reentry::*count) {
  for (auto it = reentries_.begin(); it != reentries_.end(); ++it) {
    if (it->id != id) continue;
    if (--((*it).*count) == 0 && it->get == 0 && it->set == 0 && it->watch == 0) reentries_.erase(it);
    return;
  }
}

void Interpreter::ForgetAccessors(Object* holder, std::string_view name, bool caseSensitive) {
  for (Reentry& r : reentries_) {
    if (r.holder == holder && SameName(r.name, name, caseSensitive)) r.holder = nullptr;
  }
}

Value Interpreter::CallGetter(Object* holder, std::string_view propertyName, Object* getter, const Value& thisValue) {
  const std::string name(propertyName);  // the property may move while its getter runs
  const std::uint64_t id = EnterAccessor(holder, name, &Reentry::get, NestedAccessorLimit(Version()));
  if (id == 0) {
    const Property* p = holder->FindOwn(name, true);
    return p ? p->value : Value();
  }
  const Value result = CallFunction(Value::Obj(getter), thisValue, {});
  LeaveAccessor(id, &Reentry::get);
  return result;
}

void Interpreter::CallSetter(Object* holder, std::string_view propertyName, Object* setter, const Value& thisValue,
                             const Value& value) {
  const std::string name(propertyName);
  if (const std::uint64_t id = EnterAccessor(holder, name, &Reentry::set, NestedAccessorLimit(Version()))) {
    const Value args[] = {value};
    if (setter) CallFunction(Value::Obj(setter), thisValue, args);
    LeaveAccessor(id, &Reentry::set);
  }
  // What was given is kept underneath: a nested read past the limit answers it, the
  // outermost assignment's value last.
  if (Property* p = holder->FindOwn(name, true); p && p->getter) p->value = value;
}

Value Interpreter::GetWithThis(Object* start, std::string_view name, const Value& thisValue) {
  const bool cs = CaseSensitive();
  const int version = Version();
  Object* at = start;
  for (int depth = 0; at && depth < kMaxChain; at = at->proto, ++depth) {
    if (const Property* p = at->FindOwn(name, cs); p && VisibleIn(p->attributes, version)) {
      if (!p->getter) return p->value;
      return CallGetter(at, p->name, p->getter, thisValue);
    }
  }
  return Value();
}

bool Interpreter::Has(Object* object, std::string_view name) {
  if (!object) return false;
  const bool cs = CaseSensitive();
  const int version = Version();
  if (object->kind == NativeKind::Display) {
    if (DisplayObject* display = DisplayOf(*this, object)) {
      if (DisplayPropertyIndex(name) >= 0) return true;
      Value out;
      // SWF 4 code sees no _root, _parent, _levelN or children on a timeline.
      if (version >= 5 && object->FindOwn(name, cs) == nullptr && GetDisplayMember(*this, *display, name, out)) return true;
    }
  }
  if (object->kind == NativeKind::Array && SameName(name, "length", cs)) return true;
  if (object->kind == NativeKind::String && SameName(name, "length", cs)) return true;
  if (SameName(name, "__proto__", cs)) return !object->ProtoValue().IsUndefined();
  Object* at = object;
  for (int depth = 0; at && depth < kMaxChain; at = at->proto, ++depth) {
    if (const Property* p = at->FindOwn(name, cs); p && VisibleIn(p->attributes, version)) return true;
    if (at->kind == NativeKind::Array) {
      const long index = ArrayIndex(name);
      if (index >= 0 && at->Array()->Has(static_cast<std::size_t>(index))) return true;
    }
  }
  return false;
}

void Interpreter::Set(Object* object, std::string_view name, const Value& value) {
  SetProperty(object, name, value);
  // Text fields bound to a clip's variable show its new value at once.
  if (object && object->kind == NativeKind::Display && host_) host_->VariableSet(object, name);
}

void Interpreter::SetProperty(Object* object, std::string_view name, const Value& value) {
  if (!object) return;
  const bool cs = CaseSensitive();
  const int version = Version();
  if (object->kind == NativeKind::Display) {
    if (DisplayObject* display = DisplayOf(*this, object)) {
      const int index = DisplayPropertyIndex(name);
      if (index >= 0 && SetDisplayProperty(*this, *display, index, value)) return;
      if (SetDisplayMember(*this, *display, name, value)) return;
      if (ScriptObjectOf(display)) object = ScriptObjectOf(display);
    } else {
      return;  // a removed clip takes no properties
    }
  }
  const bool isProto = name.size() == 9 && SameName(name, "__proto__", cs);
  Value stored = value;
  // Watchers see the old and new value and decide what is stored.
  if (auto* watchers = object->Watchers()) {
    for (std::size_t i = 0; i < watchers->size(); ++i) {
      if (!SameName((*watchers)[i].name, name, cs)) continue;
      const Watcher w = (*watchers)[i];
      // A watcher that assigns its own property runs again for it, up to the limit (not
      // at all in SWF 6 and earlier); past it the assignment is a plain one.
      const std::uint64_t id = EnterAccessor(object, w.name, &Reentry::watch, NestedAccessorLimit(version));
      if (id == 0) break;
      // While its watcher runs, the property's own getter and setter count as running.
      const std::uint64_t asSetter = EnterAccessor(object, w.name, &Reentry::set, 1 << 30);
      const Value old = StoredValue(object, name, cs, version);
      const Value args[] = {Str(std::string(name)), old, value, w.userData};
      stored = CallFunction(Value::Obj(w.callback), Value::Obj(object), args);
      LeaveAccessor(asSetter, &Reentry::set);
      LeaveAccessor(id, &Reentry::watch);
      break;
    }
  }
  if (isProto) {
    object->SetProtoValue(stored);
    return;
  }
  const Property* own = object->kind == NativeKind::Array ? object->FindOwn(name, cs) : nullptr;
  if (object->kind == NativeKind::Array && !(own && own->getter)) {  // a property added over an index or length wins
    ArrayData* array = object->Array();
    const long index = ArrayIndex(name);
    if (index >= 0 && static_cast<std::size_t>(index) < ArrayData::kDenseLimit) {
      const std::size_t before = array->Bytes();
      array->Put(static_cast<std::size_t>(index), stored);
      rt_.heap.NoteGrowth(before, array->Bytes());
      return;
    }
    if (SameName(name, "length", cs)) {
      array->SetLength(ToInt32(ToNumber(stored)));
      return;
    }
    // Other index-like names are plain properties that still move the length.
    if (std::int32_t wrapped = 0; WrappedIndex(name, wrapped) && wrapped >= array->Length())
      array->SetLength(static_cast<std::int32_t>(static_cast<std::uint32_t>(wrapped) + 1u));
  }
  // A getter/setter pair on the object or its prototypes takes the assignment.
  Object* at = object;
  for (int depth = 0; at && depth < kMaxChain; at = at->proto, ++depth) {
    Property* p = at->FindOwn(name, cs);
    if (!p) continue;
    if (!VisibleIn(p->attributes, version)) {
      // A property hidden from this version is replaced by a plain one.
      if (at != object) continue;
      *p = Property{p->name, stored, nullptr, nullptr, 0};
      return;
    }
    if (p->getter) {
      CallSetter(at, p->name, p->setter, Value::Obj(object), stored);
      return;
    }
    if (at == object) {
      if (!(p->attributes & kReadOnly)) p->value = stored;
      return;
    }
    break;
  }
  object->Define(name, stored);
}

std::vector<std::string> Interpreter::Enumerate(Object* object) {
  std::vector<std::string> names;
  if (!object) return names;
  std::unordered_set<std::string> seen;
  // The names of each object of the chain, the object's own first; a name shadowed by
  // a nearer object is listed there only. The player lists the farthest prototype's
  // names first and the object's own last.
  std::vector<std::vector<std::string>> levels;
  int guard = 0;
  for (Object* at = object; at && guard < kMaxChain; at = at->proto, ++guard) {
    std::vector<std::string>& level = levels.emplace_back();
    if (at->kind == NativeKind::Array) {
      EnumerateArray(*at, seen, level);
      continue;
    }
    const auto& props = at->Properties();
    for (auto it = props.rbegin(); it != props.rend(); ++it) {
      // Properties hidden from this version still enumerate (they read as undefined).
      if (it->attributes & kDontEnum) continue;
      if (!seen.insert(it->name).second) continue;
      level.push_back(it->name);
    }
  }
  for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
    for (std::string& name : *level) names.push_back(std::move(name));
  }
  // A clip's named children come after its properties.
  if (object->kind == NativeKind::Display) {
    if (DisplayObject* display = DisplayOf(*this, object)) EnumerateDisplay(*display, names);
  }
  return names;
}

// ---------------------------------------------------------------------------------
// Calls

Value Interpreter::CallFunction(const Value& fn, const Value& thisValue, std::span<const Value> args) {
  Object* f = fn.AsObject();
  if (!f || !f->IsFunction()) return Value();
  return Invoke(f, thisValue, args, false, nullptr, nullptr);
}

Value Interpreter::CallMethod(const Value& given, std::string_view name, std::span<const Value> args) {
  const Value target = BoxedForLookup(given);
  Object* holder = nullptr;
  const Value fn = FindMethod(target, name, holder);
  Object* f = fn.AsObject();
  if (!f || !f->IsFunction()) return Value();
  Value self = target;
  if (Object* o = target.AsObject(); o && o->kind == NativeKind::Super) self = static_cast<SuperData*>(o->native.get())->thisValue;
  return Invoke(f, self, args, false, nullptr, holder);
}

Value Interpreter::FindMethod(const Value& target, std::string_view name, Object*& holder) {
  holder = nullptr;
  Object* start = nullptr;
  switch (target.type) {
    case Value::Type::Object: start = target.object; break;
    case Value::Type::String: start = rt_.stringProto; break;
    case Value::Type::Number: start = rt_.numberProto; break;
    case Value::Type::Boolean: start = rt_.booleanProto; break;
    default: return Value();
  }
  if (!start) return Value();
  if (start->kind == NativeKind::Super) {
    start = SuperLookupStart(static_cast<SuperData*>(start->native.get()));
    if (!start) return Value();
  }
  if (start->kind == NativeKind::Display) {
    // Display objects answer with their own members first (a child named like a method).
    const Value v = Get(start, name);
    holder = start->proto;
    // Find where along the prototypes the method sits, for super.
    const bool cs = CaseSensitive();
    for (Object* at = start; at; at = at->proto) {
      if (at->FindOwn(name, cs)) {
        holder = at;
        break;
      }
    }
    return v;
  }
  const bool cs = CaseSensitive();
  const int version = Version();
  Object* at = start;
  for (int depth = 0; at && depth < kMaxChain; at = at->proto, ++depth) {
    if (const Property* p = at->FindOwn(name, cs); p && VisibleIn(p->attributes, version)) {
      holder = at;
      if (!p->getter) return p->value;
      return CallGetter(at, p->name, p->getter, target);
    }
  }
  if (target.type == Value::Type::Object) return Get(target.object, name);  // arrays, __resolve
  return Value();
}

Object* Interpreter::Construct(Object* ctor, std::span<const Value> args) {
  if (!ctor || !ctor->IsFunction()) return nullptr;
  Object* instance = NewInstance(ctor);
  const Value result = Invoke(ctor, Value::Obj(instance), args, true, instance, instance->proto);
  if (Object* o = result.AsObject()) return o;
  // A built-in constructor that refuses its arguments (new BitmapData(0, 0)) gives undefined.
  if (result.IsUndefined() && ctor->Function()->constructor) return nullptr;
  return instance;
}

Object* Interpreter::NewInstance(Object* ctor) {
  const Value protoValue = Get(ctor, "prototype");
  Object* proto = protoValue.AsObject();
  Object* instance = rt_.MakeObject(proto ? proto : rt_.objectProto);
  // A prototype that is a primitive becomes the instance's __proto__ as it is.
  if (!proto && !protoValue.IsNullish()) instance->SetProtoValue(protoValue);
  instance->Define("__constructor__", Value::Obj(ctor), kDontEnum);
  if (Version() < 7) instance->Define("constructor", Value::Obj(ctor), kDontEnum);
  return instance;
}

Object* Interpreter::MakeSuper(const Value& thisValue, Object* base) {
  Object* s = rt_.MakeObject(nullptr);
  s->kind = NativeKind::Super;
  auto data = std::make_unique<SuperData>();
  data->thisValue = thisValue;
  data->base = base;
  Object* at = thisValue.AsObject();
  for (int depth = 0; at && depth < 256; ++depth, at = at->proto) {
    if (at != base) continue;
    data->depth = depth;
    break;
  }
  s->native = std::move(data);
  return s;
}

Value Interpreter::Invoke(Object* fn, const Value& thisValue, std::span<const Value> args, bool construct,
                          Object* newObject, Object* holder) {
  FunctionData* data = fn->Function();
  if (!data) return Value();
  if (!data->script) {
    NativeFunction native = construct && data->constructor ? data->constructor : data->native;
    if (!native) return Value();
    std::vector<Value> copy(args.begin(), args.end());
    Call call{*this, thisValue, thisValue.AsObject(), copy, fn, construct};
    return native(call);
  }
  if (aborting_) return Value();
  const std::size_t base = frames_.size();
  if (!PushFunctionFrame(fn, thisValue, args, construct, newObject, holder, false)) return Value();
  return Run(base);
}

namespace {
// Whether one more frame of actions may start with frames running now; says why not.
// Too deep: the whole script stops, as the reference player does.
bool CallDepthLeft(std::size_t frames, int movieLimit) {
  const int limit = std::min(movieLimit, kMaxCallDepth);
  if (frames < static_cast<std::size_t>(limit)) return true;
  std::fprintf(stderr, "vantrel: a script went %d calls deep; its action list was stopped\n", limit);
  return false;
}
}  // namespace

bool Interpreter::PushFunctionFrame(Object* fn, const Value& thisValue, std::span<const Value> args, bool construct,
                                    Object* newObject, Object* holder, bool pushResult, std::vector<Value>* ownArgs) {
  FunctionData* data = fn->Function();
  const ScriptFunction& script = *data->script;
  if (!CallDepthLeft(frames_.size(), maxCallDepth_)) {
    aborting_ = true;
    return false;
  }
  auto frame = NewFrame();
  frame->block = script.code;
  frame->code = script.code->data();
  frame->pc = script.start;
  frame->end = std::min(script.start + script.length, script.code->size());
  // Functions are SWF 5 actions: even in a SWF 4 movie their bodies run by SWF 5 rules.
  frame->version = std::max(5, script.swfVersion);
  frame->pool = script.pool;
  frame->callee = fn;
  frame->construct = construct;
  frame->newObject = newObject;
  frame->pushResult = pushResult;
  frame->stackBase = stack_.size();
  frame->scope = data->scope;
  if (frame->scope.size() < 2) {
    frame->scope.resize(2, nullptr);
    frame->scope[0] = rt_.global;
  }
  Object* definedIn = frame->scope[1];
  frame->target = definedIn;
  // A call by the actions of SWF 5 code closes over nothing, whatever SWF made the
  // function: it acts on `this` when that is a clip, else on the caller's clip, and runs
  // by the version of the movie that clip came from.
  Frame* caller = frames_.empty() ? nullptr : frames_.back().get();
  const bool callFromSwf5 = pushResult && caller && caller->version <= 5 && script.swfVersion >= 6;
  if (callFromSwf5) {
    Object* t = thisValue.AsObject();
    frame->target = t && t->kind == NativeKind::Display ? t : caller->target;
    const DisplayObject* clip = AsDisplay(frame->target);
    frame->version = clip && clip->Movie() ? std::max(5, clip->Movie()->Version()) : 5;
  } else if (script.swfVersion <= 5) {
    if (Object* t = thisValue.AsObject(); t && t->kind == NativeKind::Display) frame->target = t;
  }
  // A function whose clip has left the display list, with nothing standing at its path
  // since, acts on `this` when that is a clip, else on the root.
  auto gone = [this](Object* o) { return o && o->kind == NativeKind::Display && !AsDisplay(o); };
  if (gone(frame->target)) {
    Object* t = thisValue.AsObject();
    if (t && t->kind == NativeKind::Display && !gone(t))
      frame->target = t;
    else if (player_)
      frame->target = ScriptObjectOf(&player_->Root());
  }
  frame->originalTarget = frame->target;
  // SWF 5 functions close over nothing: they see their own locals, the clip they act on
  // and _global, whatever scope they were defined in.
  if ((script.swfVersion <= 5 || callFromSwf5) && frame->target) frame->scope = {rt_.global, frame->target};
  frame->thisValue = thisValue;
  frame->superBase = holder ? holder : (thisValue.AsObject() ? thisValue.AsObject()->proto : nullptr);
  // A method found on the object itself: its super() looks from the object's prototype.
  frame->superBaseIsHolder = holder != nullptr && holder == thisValue.AsObject() && !construct && !superConstructorCall_;
  superConstructorCall_ = false;
  Object* locals = rt_.MakeObject(nullptr);
  // this, arguments, super and the parameters: room for them at once.
  locals->Properties().reserve(3 + script.params.size());
  frame->locals = locals;
  frame->scope.push_back(locals);

  const bool v2 = script.v2;
  const std::uint16_t flags = script.flags;
  frame->registers.assign(v2 ? std::max<std::size_t>(script.registerCount, 1) : 4, Value());
  Object* arguments = nullptr;
  const bool wantsArguments = !v2 || !(flags & 0x08) || (flags & 0x04);
  if (wantsArguments) {
    if (ownArgs) {
      arguments = rt_.MakeArray(std::move(*ownArgs));
      args = arguments->Array()->elements;
    } else {
      arguments = rt_.MakeArray(std::vector<Value>(args.begin(), args.end()));
    }
    arguments->Properties().reserve(2);
    arguments->Define("callee", Value::Obj(fn), kDontEnum);
    arguments->Define("caller", frames_.empty() || !frames_.back()->callee ? Value::Null() : Value::Obj(frames_.back()->callee),
                      kDontEnum);
  }
  Object* super = nullptr;
  if (!v2 || !(flags & 0x20) || (flags & 0x10)) {
    super = MakeSuper(frame->thisValue, frame->superBase);
    static_cast<SuperData*>(super->native.get())->baseIsHolder = frame->superBaseIsHolder;
  }
  if (v2) {
    std::size_t reg = 1;
    auto preload = [&](Value v) {
      if (reg < frame->registers.size()) frame->registers[reg] = v;
      ++reg;
    };
    frame->thisHidden = (flags & 0x03) != 0;
    // Preloaded and suppressed at once: this and super keep their register but stay
    // undefined; arguments are preloaded all the same.
    if (flags & 0x01) preload((flags & 0x02) ? Value() : frame->thisValue);
    if (flags & 0x04) preload(Value::Obj(arguments));
    if (flags & 0x10) preload((flags & 0x20) || !super ? Value() : Value::Obj(super));
    if (flags & 0x40) preload(RootOf(frame->target));
    // A root has no _parent: the player then gives its register to the next value.
    if (flags & 0x80) {
      if (const Value parent = ParentOf(frame->target); !parent.IsUndefined()) preload(parent);
    }
    if (flags & 0x100) preload(Value::Obj(rt_.global));
    if (!(flags & 0x08) && !(flags & 0x04)) locals->Define("arguments", Value::Obj(arguments));
    // An unsuppressed `this` is a variable of the activation: scripts may even assign it.
    if (!(flags & 0x02) && !(flags & 0x01)) locals->Define("this", frame->thisValue, kDontEnum);
    if (!(flags & 0x20) && !(flags & 0x10)) locals->Define("super", Value::Obj(super));
    for (std::size_t i = 0; i < script.params.size(); ++i) {
      const Value arg = i < args.size() ? args[i] : Value();
      const std::uint8_t r = i < script.paramRegisters.size() ? script.paramRegisters[i] : 0;
      if (r != 0 && r < frame->registers.size())
        frame->registers[r] = arg;
      else if (r == 0)
        locals->Define(script.params[i], arg);
    }
  } else {
    locals->Define("this", frame->thisValue, kDontEnum);
    locals->Define("arguments", Value::Obj(arguments));
    locals->Define("super", Value::Obj(super));
    for (std::size_t i = 0; i < script.params.size(); ++i) locals->Define(script.params[i], i < args.size() ? args[i] : Value());
  }
  frames_.push_back(std::move(frame));
  return true;
}

Value Interpreter::CallTopLevel(const Value& fn, const Value& thisValue, std::span<const Value> args, Object* target,
                                int version) {
  const int saved = defaultVersion_;
  defaultVersion_ = version;
  Value result;
  if (frames_.empty()) aborting_ = false;
  if (Object* f = fn.AsObject(); f && f->IsFunction()) {
    (void)target;
    result = Invoke(f, thisValue, args, false, nullptr, nullptr);
  }
  if (frames_.empty()) EndOutermostRun();
  defaultVersion_ = saved;
  return result;
}

Value Interpreter::CallHandler(const Value& target, std::string_view name, std::span<const Value> args) {
  if (throwing_) return Value();
  const Value result = CallMethod(target, name, args);
  if (throwing_ && !aborting_) {
    const Value error = thrown_;
    throwing_ = false;
    thrown_ = Value();
    Trace("Warning: Uncaught exception, " + ToString(error));
  }
  return result;
}

// An exception no script caught ends at the player, which reports it in the trace log.
void Interpreter::EndOutermostRun() {
  if (throwing_ && !aborting_) {
    const Value error = thrown_;
    throwing_ = false;
    thrown_ = Value();
    const std::string text = ToString(error);
    Trace("Warning: Uncaught exception, " + text);
  }
  throwing_ = false;
  thrown_ = Value();
  aborting_ = false;
}

bool Interpreter::DropThrown() {
  if (!throwing_ || aborting_) return false;
  throwing_ = false;
  thrown_ = Value();
  return true;
}

void Interpreter::RunBlock(const ActionBlock& block, Object* target, int version) {
  if (!block || block->empty() || !target) return;
  if (frames_.empty()) aborting_ = false;
  // A frame's actions run by call() count like a function call: a frame that calls
  // itself stops at the same depth.
  if (!CallDepthLeft(frames_.size(), maxCallDepth_)) {
    aborting_ = true;
    return;
  }
  auto frame = NewFrame();
  frame->block = block;
  frame->code = block->data();
  frame->pc = 0;
  frame->end = block->size();
  frame->version = version;
  frame->scope = {rt_.global, target};
  frame->target = target;
  frame->originalTarget = target;
  frame->thisValue = Value::Obj(target);
  frame->registers.assign(4, Value());
  frame->stackBase = stack_.size();
  if (frames_.empty()) {
    frame->carriesStack = true;
    stack_.insert(stack_.end(), carried_.begin(), carried_.end());
    carried_.clear();
  }
  const std::size_t base = frames_.size();
  frames_.push_back(std::move(frame));
  Run(base);
  if (frames_.empty()) EndOutermostRun();
}

std::unique_ptr<Interpreter::Frame> Interpreter::NewFrame() {
  if (spareFrames_.empty()) return std::make_unique<Frame>();
  std::unique_ptr<Frame> frame = std::move(spareFrames_.back());
  spareFrames_.pop_back();
  return frame;
}

void Interpreter::Recycle(std::unique_ptr<Frame> frame) {
  constexpr std::size_t kSpareFrames = 32;
  if (spareFrames_.size() >= kSpareFrames) return;
  std::vector<Object*> scope = std::move(frame->scope);
  std::vector<Value> registers = std::move(frame->registers);
  std::vector<TryBlock> tries = std::move(frame->tries);
  std::vector<WithBlock> withs = std::move(frame->withs);
  *frame = Frame{};
  scope.clear();
  registers.clear();
  tries.clear();
  withs.clear();
  frame->scope = std::move(scope);
  frame->registers = std::move(registers);
  frame->tries = std::move(tries);
  frame->withs = std::move(withs);
  spareFrames_.push_back(std::move(frame));
}

void Interpreter::PopFrame() {
  std::unique_ptr<Frame> frame = std::move(frames_.back());
  frames_.pop_back();
  Recycle(std::move(frame));
}

void Interpreter::PushHostFrame(Object* target, int version) {
  auto frame = NewFrame();
  static const ActionBlock empty = std::make_shared<const std::vector<std::uint8_t>>();
  frame->block = empty;
  frame->code = empty->data();
  frame->version = version;
  frame->scope = {rt_.global, target};
  frame->target = target;
  frame->originalTarget = target;
  frame->thisValue = Value::Obj(target);
  frame->stackBase = stack_.size();
  frames_.push_back(std::move(frame));
}

Value Interpreter::GetVariableFrom(Object* target, std::string_view path, int version) {
  if (!target) return Value();
  PushHostFrame(target, version);
  const Value v = GetVariable(path);
  PopFrame();
  return v;
}

void Interpreter::SetVariableFrom(Object* target, std::string_view path, const Value& value, int version) {
  if (!target) return;
  PushHostFrame(target, version);
  SetVariable(path, value);
  PopFrame();
}

std::string Interpreter::ToStringAt(const Value& value, int version) {
  const int saved = defaultVersion_;
  defaultVersion_ = version;
  std::string text = frames_.empty() ? ToString(value) : ToString(value);
  defaultVersion_ = saved;
  return text;
}

void Interpreter::ConstructOn(Object* constructor, Object* object, std::span<const Value> args, int version) {
  if (!constructor || !constructor->IsFunction() || !object) return;
  const int saved = defaultVersion_;
  defaultVersion_ = version;
  if (frames_.empty()) aborting_ = false;
  object->Define("__constructor__", Value::Obj(constructor), kDontEnum);
  if (version < 7) object->Define("constructor", Value::Obj(constructor), kDontEnum);
  Invoke(constructor, Value::Obj(object), args, true, object, object->proto);
  if (frames_.empty()) EndOutermostRun();
  defaultVersion_ = saved;
}

void Interpreter::RunLater(Later callback, Object* keepAlive) {
  if (host_) host_->RunLater(std::move(callback), keepAlive);
}

void Interpreter::LoadData(const std::string& url, const std::string& method, const std::string& formData, Loaded done,
                           Object* keepAlive) {
  if (host_) host_->LoadData(url, method, formData, std::move(done), keepAlive);
}

std::string Interpreter::MovieUrl() { return player_ ? player_->RootMovie()->url : std::string(); }

std::string Interpreter::SharedObjectFolder() { return player_ ? player_->Hooks().sharedObjectFolder : std::string(); }

Value Interpreter::RootOf(Object* target) {
  DisplayObject* d = AsDisplay(target);
  if (!d) return Value();
  return DisplayValue(LevelRoot(d));
}

Value Interpreter::ParentOf(Object* target) {
  DisplayObject* d = AsDisplay(target);
  if (!d) return Value();
  Value out;
  GetDisplayMember(*this, *d, "_parent", out);
  return out;
}

}  // namespace vantrel::flash::avm1

// ---------------------------------------------------------------------------------
// The loop

namespace vantrel::flash::avm1 {

Value Interpreter::Less(const Value& a, const Value& b) {
  // An operand whose valueOf gives an object makes the comparison false at once;
  // clips are a type of their own there and count as no number (undefined).
  const auto plainObject = [](const Value& v) { return v.IsObject() && v.object->kind != NativeKind::Display; };
  const Value pa = ToPrimitive(a, false);
  if (plainObject(pa)) return Value::Bool(false);
  const Value pb = ToPrimitive(b, false);
  if (plainObject(pb)) return Value::Bool(false);
  if (pa.IsString() && pb.IsString()) return Value::Bool(CodePointLess(pa.string->Text(), pb.string->Text()));
  const double x = ToNumber(pa), y = ToNumber(pb);
  if (std::isnan(x) || std::isnan(y)) return Value();
  return Value::Bool(x < y);
}

// A clip removed under the running code no longer holds variables: its names live on
// the clip whose code runs when a tellTarget's clip went, else on the root of its movie.
// Any other scope stands for itself.
static Object* StandInForRemoved(Interpreter& in, Object* target, Object* originalTarget, Object* scope) {
  if (!scope || scope->kind != NativeKind::Display || in.AsDisplay(scope)) return scope;
  if (scope == target && target != originalTarget && in.AsDisplay(originalTarget)) return originalTarget;
  auto* data = scope->Data<DisplayData>();
  if (!data || !data->object) return scope;
  DisplayObject* at = data->object;
  for (int guard = 0; at->Parent() && guard < 1000; ++guard) at = at->Parent();
  if (at->Removed() || at == data->object) at = &data->object->GetPlayer().Root();
  Object* root = ScriptObjectOf(at);
  return root ? root : scope;
}

// Where most variable reads end: an own data property of a plain object, or of a clip
// that is in place (no stand-in for a removed one). Has and then Get would find the same
// value the long way (display members, prototypes, getters), so the lookup takes it here.
static const Property* PlainOwnVariable(Object* scope, std::string_view name, bool cs, int version) {
  switch (scope->kind) {
    case NativeKind::Array:
    case NativeKind::String:
    case NativeKind::Super: return nullptr;
    case NativeKind::Display: {
      const auto* data = static_cast<const DisplayData*>(scope->native.get());
      if (!data || !data->object || data->object->Removed() || ScriptObjectOf(data->object) != scope) return nullptr;
      break;
    }
    default: break;
  }
  if (name.size() == 9 && SameName(name, "__proto__", cs)) return nullptr;
  const Property* p = scope->FindOwn(name, cs);
  return p && !p->getter && VisibleIn(p->attributes, version) ? p : nullptr;
}

Value Interpreter::LookupVariable(std::string_view name, bool& found) {
  found = true;
  Frame& frame = *frames_.back();
  const bool cs = frame.version >= 7;
  // "this" and "_global" answer unless a script made a variable of that name.
  // SWF 4 code knows neither: there they are plain timeline variables, as are _root,
  // _parent and _levelN.
  const bool swf4 = frame.version < 5;
  const bool isThis = !swf4 && SameName(name, "this", cs);
  if (isThis && !frame.locals && !Has(frame.target ? frame.target : rt_.global, name)) return frame.thisValue;
  const bool isGlobal = !swf4 && SameName(name, "_global", cs);
  for (std::size_t i = frame.scope.size(); i-- > 0;) {
    Object* scope = frame.scope[i];
    if (!scope) continue;
    // SWF 4 code has no objects: the globals (NaN, Infinity, the classes) are not there.
    if (scope == rt_.global && frame.version < 5) continue;
    if (i == 1 && frame.target && frame.target != scope) scope = frame.target;
    scope = StandInForRemoved(*this, frame.target, frame.originalTarget, scope);
    if (!isGlobal) {
      if (const Property* p = PlainOwnVariable(scope, name, cs, frame.version)) return p->value;
    }
    // A variable named _global counts only where it was set, never through a prototype.
    if (isGlobal ? scope->FindOwn(name, cs) != nullptr : Has(scope, name)) return Get(scope, name);
    if (i == 1 && scope->kind == NativeKind::Display && !swf4) {
      // _root, _parent, _levelN and children answer on the timeline.
      if (DisplayObject* d = AsDisplay(scope)) {
        Value out;
        if (GetDisplayMember(*this, *d, name, out)) return out;
      }
    }
  }
  if (isThis && !frame.thisHidden) return frame.thisValue;
  // With `this` in a register only, the name finds the timeline's `this` (nothing in SWF 5).
  if (isThis && frame.version >= 6 && frame.target) return Value::Obj(frame.target);
  if (isGlobal) return Value::Obj(rt_.global);
  // A script whose clip was removed under it by a tellTarget goto, and that set its
  // target back, still finds the root through the clip's last parents.
  if (player_ && frame.targetRestored && frame.target == frame.originalTarget && SameName(name, "_root", false)) {
    if (auto* data = frame.originalTarget->Data<DisplayData>(); data && data->object && data->object->Removed()) {
      DisplayObject* at = data->object;
      for (int guard = 0; at->Parent() && guard < 1000; ++guard) at = at->Parent();
      if (!at->Removed() && at != data->object) return DisplayValue(at);
    }
  }
  found = false;
  return Value();
}

Value Interpreter::GetVariable(std::string_view name) {
  if (HasPathCharacters(name)) {
    // SWF 4 has no clip values: a path to a clip reads as nothing there.
    const auto clipIn4 = [this](const Value& v) {
      return Version() < 5 && v.IsObject() && v.object->kind == NativeKind::Display;
    };
    Value owner;
    std::string_view member;
    // SWF 4 knows only "target:name"; any other text is one name.
    const bool swf4 = Version() < 5;
    if (name.find_first_of(swf4 ? ":" : ":.") != std::string_view::npos) {
      // "path:name" or "path.name": the member of the first scope's path that holds it.
      if (!SplitPath(name, owner, member, true)) return Value();
      const Value v = GetMember(owner, member);
      return clipIn4(v) ? Value() : v;
    }
    // A slash path without a member names a clip (or an object on the way), else it is
    // a plain name.
    if (Object* o = swf4 ? nullptr : PathFromScopes(name, false, {}, false))
      return clipIn4(Value::Obj(o)) ? Value() : Value::Obj(o);
  }
  // After a tellTarget that found nothing, the properties of the missing clip read as
  // undefined (its variables are the root's).
  if (!frames_.empty() && frames_.back()->targetLost && DisplayPropertyIndex(name) >= 0) return Value();
  bool found = false;
  return LookupVariable(name, found);
}

Object* Interpreter::PathFromScopes(std::string_view path, bool opening, std::string_view member, bool needMember) {
  Frame& frame = *frames_.back();
  PathStart start;
  start.opening = opening;
  start.thisValue = frame.thisValue;
  DisplayObject* base = AsDisplay(frame.target) ? AsDisplay(frame.target) : AsDisplay(frame.originalTarget);
  start.root = base ? LevelRoot(base) : (player_ ? &player_->Root() : nullptr);
  for (std::size_t i = frame.scope.size(); i-- > 0;) {
    Object* scope = frame.scope[i];
    if (!scope || (scope == rt_.global && frame.version < 5)) continue;
    if (i == 1 && frame.target && frame.target != scope) scope = frame.target;
    start.object = StandInForRemoved(*this, frame.target, frame.originalTarget, scope);
    start.activation = scope == frame.locals;
    Object* found = WalkPath(*this, start, path);
    if (found && (!needMember || Has(found, member))) return found;
  }
  return nullptr;
}

bool Interpreter::SplitPath(std::string_view path, Value& owner, std::string_view& member, bool reading) {
  Frame& frame = *frames_.back();
  if (frame.version < 5) {
    // SWF 4: a target path (never empty) before the last colon, from the timeline only.
    const std::size_t colon = path.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    member = path.substr(colon + 1);
    DisplayObject* base = AsDisplay(frame.target) ? AsDisplay(frame.target) : AsDisplay(frame.originalTarget);
    DisplayObject* found = ResolveTarget(*this, base, path.substr(0, colon));
    owner = DisplayValue(found);
    return owner.IsObject();
  }
  const std::size_t split = path.find_last_of(":.");
  if (split == std::string_view::npos) return false;
  member = path.substr(split + 1);
  Object* found = PathFromScopes(path.substr(0, split), true, member, reading);
  if (!found) return false;
  owner = Value::Obj(found);
  return true;
}

// A clip's child of that name, ahead of a variable of the same name: the steps of a
// path go through the display list first (a shape or static text stands for its
// clip). Undefined when there is no such child.
static Value ChildOnPath(Interpreter& in, Object* holder, std::string_view name) {
  DisplayObject* display = holder ? in.AsDisplay(holder) : nullptr;
  if (!display || !display->IsContainer()) return Value();
  DisplayObject* child = static_cast<MovieClip*>(display)->ChildByName(name, in.CaseSensitive());
  if (!child) return Value();
  return ScriptObjectOf(child) ? DisplayValue(child) : Value::Obj(holder);
}

Value Interpreter::ResolveDotPath(std::string_view path) {
  std::size_t start = 0;
  Value at;
  bool first = true;
  while (start <= path.size()) {
    std::size_t dot = path.find('.', start);
    if (dot == std::string_view::npos) dot = path.size();
    const std::string_view part = path.substr(start, dot - start);
    if (part.empty()) return Value();
    if (first) {
      // Before a dot, a child of the running timeline wins over its variable (a local
      // variable of a function still comes first).
      const Frame& frame = *frames_.back();
      const bool local = frame.locals && frame.locals->FindOwn(part, frame.version >= 7);
      at = local ? Value() : ChildOnPath(*this, frame.target, part);
      if (at.IsUndefined()) {
        bool found = false;
        at = LookupVariable(part, found);
      }
      first = false;
    } else {
      const Value child = ChildOnPath(*this, at.AsObject(), part);
      at = child.IsUndefined() ? GetMember(at, part) : child;
    }
    if (at.IsNullish()) return Value();
    start = dot + 1;
    if (dot == path.size()) break;
  }
  return at;
}

void Interpreter::SetVariable(std::string_view name, const Value& value) {
  Frame& frame = *frames_.back();
  if (name.find_first_of(frame.version < 5 ? ":" : ":.") != std::string_view::npos) {
    // "path:name" and "path.name" set the member on what the path names from the first
    // scope it names something from; a path to nothing sets nothing. Slashes alone make
    // a plain name ("a/b" is a variable of that name). SWF 4 splits at colons only.
    Value owner;
    std::string_view member;
    if (SplitPath(name, owner, member, false)) Set(owner.object, member, value);
    return;
  }
  for (std::size_t i = frame.scope.size(); i-- > 2;) {
    Object* scope = frame.scope[i];
    if (scope && Has(scope, name)) {
      Set(scope, name, value);
      return;
    }
  }
  Object* target = frame.target ? frame.target : (frame.scope.size() > 1 ? frame.scope[1] : nullptr);
  // Where reading finds names, writing puts them.
  target = StandInForRemoved(*this, frame.target, frame.originalTarget, target);
  if (target) Set(target, name, value);
}

void Interpreter::DefineLocal(std::string_view name, const Value& value, bool onlyDeclare) {
  Frame& frame = *frames_.back();
  Object* where = frame.locals ? frame.locals : frame.target;
  if (!where) return;
  // Outside functions "var /:a" and "var _root.a" follow the path; inside one the
  // whole text names a local.
  if (!frame.locals && HasPathCharacters(name)) {
    Value owner;
    std::string_view member;
    if (!SplitPath(name, owner, member, false) || member.empty()) return;  // nothing there: nothing made
    if (!onlyDeclare) {
      SetVariable(name, value);
      return;
    }
    if (Object* o = owner.AsObject(); o && !Has(o, member)) o->Define(member, Value());
    return;
  }
  if (onlyDeclare) {
    if (where->FindOwn(name, frame.version >= 7)) return;
    if (!frame.locals) {
      if (Has(where, name)) return;
    }
    where->Define(name, Value());
    return;
  }
  if (frame.locals) {
    frame.locals->Define(name, value);
    return;
  }
  // Outside functions, a `with` object that has the name as its own takes the value.
  for (std::size_t i = frame.scope.size(); i-- > 2;) {
    if (Object* scope = frame.scope[i]; scope && scope->FindOwn(name, frame.version >= 7)) {
      Set(scope, name, value);
      return;
    }
  }
  Set(where, name, value);
}

namespace {

// The strings in the code of movies before SWF 6 are in the system's code page.
std::string CodeText(std::string_view text, int version) {
  return version < 6 ? script::Utf8FromWindows1252(text) : std::string(text);
}

}  // namespace

const String* Interpreter::Literal(const std::uint8_t* at, std::string_view text, const ActionBlock& block,
                                   int version) {
  StringCache& cache = *cache_;
  auto it = cache.literals.find(at);
  if (it != cache.literals.end()) return it->second;
  cache.Pin(block);
  const String* s = rt_.Str(CodeText(text, version));
  cache.literals.emplace(at, s);
  return s;
}

void Interpreter::Abort() { aborting_ = true; }

// Leaves frames down to base after an abort; the stack goes with them.
void Interpreter::UnwindAll(std::size_t base) {
  while (frames_.size() > base) {
    stack_.resize(std::min(stack_.size(), frames_.back()->stackBase));
    PopFrame();
  }
}

// Pops the top frame with its result; true when the run that started at base is done.
bool Interpreter::ReturnFrom(std::size_t base, Value result, Value& runResult) {
  std::unique_ptr<Frame> frame = std::move(frames_.back());
  frames_.pop_back();
  if (frame->carriesStack && stack_.size() > frame->stackBase) {
    carried_.assign(stack_.begin() + static_cast<std::ptrdiff_t>(frame->stackBase), stack_.end());
  }
  stack_.resize(std::min(stack_.size(), frame->stackBase));
  if (frame->construct && !result.IsObject()) result = Value::Obj(frame->newObject);
  const bool pushResult = frame->pushResult;
  Recycle(std::move(frame));
  if (frames_.size() <= base || !pushResult) {
    runResult = result;
    return frames_.size() <= base;
  }
  Push(result);
  return false;
}

// Finds a handler for the pending exception in the frames of this run. True when one
// took it (execution goes on there), false when it leaves the run.
bool Interpreter::HandleThrow(std::size_t base) {
  while (frames_.size() > base) {
    Frame& frame = *frames_.back();
    while (!frame.tries.empty()) {
      TryBlock& t = frame.tries.back();
      if (t.state == TryBlock::State::Try && t.hasCatch) {
        t.state = TryBlock::State::Catch;
        stack_.resize(std::min(stack_.size(), t.stackDepth));
        frame.scope.resize(std::min(frame.scope.size(), t.scopeDepth));
        frame.withs.clear();
        const Value error = thrown_;
        throwing_ = false;
        thrown_ = Value();
        if (t.catchInRegister) {
          if (t.catchRegister < frame.registers.size()) frame.registers[t.catchRegister] = error;
        } else if (frame.locals) {
          frame.locals->Define(t.catchName, error);
        } else {
          SetVariable(t.catchName, error);
        }
        frame.pc = t.tryEnd;
        return true;
      }
      if ((t.state == TryBlock::State::Try || t.state == TryBlock::State::Catch) && t.hasFinally) {
        t.state = TryBlock::State::Finally;
        t.rethrow = true;
        t.pending = thrown_;
        throwing_ = false;
        thrown_ = Value();
        stack_.resize(std::min(stack_.size(), t.stackDepth));
        frame.pc = t.catchEnd;
        return true;
      }
      frame.tries.pop_back();
    }
    if (frames_.size() == base + 1) {
      // The exception leaves this run; the frame goes, the caller sees Throwing().
      stack_.resize(std::min(stack_.size(), frame.stackBase));
      PopFrame();
      return false;
    }
    stack_.resize(std::min(stack_.size(), frame.stackBase));
    PopFrame();
  }
  return false;
}

void Interpreter::SetBudget(long instructions) {
  budget_ = instructions;
  // The player starts its clock with the movie's own limit; alone, the default.
  if (clock_ == &ownClock_) ownClock_.Start(kDefaultScriptSeconds);
}

bool Interpreter::TimeLeft() {
  // The processor time only: a sort's comparisons or a walk's elements are not actions,
  // and a legitimate sort of a large array may take millions of them.
  if (budget_ >= 0 && (++nativeSteps_ & 0xFFF) == 0 && !clock_->TimeLeft()) budget_ = -1;
  if (budget_ >= 0) return true;
  OutOfTime();
  return false;
}

void Interpreter::OutOfTime() {
  if (!budgetReported_) {
    budgetReported_ = true;
    ReportStop("a script in this movie was running too long; it was stopped");
  }
  aborting_ = true;
}

void Interpreter::ReportStop(const char* message) {
  std::fprintf(stderr, "vantrel: %s\n", message);
  if (player_) player_->ScriptStopped(message);
}

bool Interpreter::MemoryLeft() {
  // Garbage counts until a collection. Once a script has made enough of it, collect
  // where the host allows it (the outermost run of a frame's script) and go on while
  // the live data fits the budget; elsewhere go on up to the heap's hard limit.
  gc::Heap& heap = rt_.heap;
  const bool collected = runDepth_ == 1 && collectDuringScript && collectDuringScript();
  if (!collected && !heap.OverBudget()) {
    heap.DeferSoftLimit();  // garbage under the budget waits for a place to collect
    return true;
  }
  if (collected ? !heap.LiveOverBudget() : !heap.StopWithoutCollection()) return true;
  if (!memoryReported_) {
    memoryReported_ = true;
    const std::string message = "a script in this movie used more than " + std::to_string(heap.Budget() >> 20) +
                                " MB of memory; it was stopped";
    ReportStop(message.c_str());
  }
  return false;
}

Value Interpreter::Run(std::size_t base) {
  try {
    return RunFrames(base);
  } catch (const std::exception&) {
    if (!memoryReported_) {
      memoryReported_ = true;
      ReportStop("a script in this movie ran out of memory; it was stopped");
    }
    aborting_ = true;
    UnwindAll(base);
    return Value();
  }
}

// A return inside try or catch runs the finally blocks first; the value waits in the
// innermost one. False when no finally block is left to run.
bool Interpreter::DeferReturn(Frame& frame, const Value& v) {
  while (!frame.tries.empty()) {
    TryBlock& t = frame.tries.back();
    if (t.state != TryBlock::State::Finally && t.hasFinally) {
      t.state = TryBlock::State::Finally;
      t.rethrow = false;
      t.returning = true;
      t.pending = v;
      stack_.resize(std::min(stack_.size(), t.stackDepth));
      frame.pc = t.catchEnd;
      return true;
    }
    frame.tries.pop_back();
  }
  return false;
}

bool Interpreter::BaseClipGone(const Frame& frame) const {
  const auto* data = frame.originalTarget ? frame.originalTarget->Data<DisplayData>() : nullptr;
  const DisplayObject* clip = data ? data->object : nullptr;
  // One that waits for its unload handlers is not gone yet.
  return clip && clip->Removed();
}

Value Interpreter::RunFrames(std::size_t base) {
  struct Depth {
    int& depth;
    explicit Depth(int& d) : depth(d) { ++depth; }
    ~Depth() { --depth; }
  } depth(runDepth_);
  Value runResult;
  while (frames_.size() > base) {
    if (aborting_) {
      UnwindAll(base);
      return Value();
    }
    if (throwing_) {
      if (!HandleThrow(base)) return Value();
      continue;
    }
    Frame& frame = *frames_.back();
    // Once a call made from this frame has returned, a frame whose clip went meanwhile
    // (the call removed it, or moved a timeline to where it is gone) stops there.
    if (frame.callMade) {
      frame.callMade = false;
      if (BaseClipGone(frame)) {
        frame.tries.clear();
        frame.pc = frame.end;
        continue;
      }
    }
    // Leaving try, catch, finally and with blocks at their ends.
    if (!frame.withs.empty() && frame.pc >= frame.withs.back().end) {
      frame.withs.pop_back();
      frame.scope.pop_back();
      continue;
    }
    if (!frame.tries.empty()) {
      TryBlock& t = frame.tries.back();
      if (t.state == TryBlock::State::Try && frame.pc >= t.tryEnd) {
        t.state = TryBlock::State::Finally;
        frame.pc = t.catchEnd;
        continue;
      }
      if (t.state == TryBlock::State::Catch && frame.pc >= t.catchEnd) {
        t.state = TryBlock::State::Finally;
        continue;
      }
      if (t.state == TryBlock::State::Finally && frame.pc >= t.finallyEnd) {
        const bool rethrow = t.rethrow;
        const bool returning = t.returning;
        const Value pending = t.pending;
        frame.tries.pop_back();
        if (rethrow) Throw(pending);
        if (returning && !DeferReturn(frame, pending) && ReturnFrom(base, pending, runResult)) return runResult;
        continue;
      }
    }
    if (frame.pc >= frame.end) {
      if (ReturnFrom(base, Value(), runResult)) return runResult;
      continue;
    }
    if ((budget_ & 0xFFF) == 0 && budget_ > 0 && !clock_->TimeLeft()) budget_ = 0;
    if (--budget_ < 0) {
      OutOfTime();
      continue;
    }
    if (rt_.heap.PastSoftLimit() && !MemoryLeft()) {
      aborting_ = true;
      continue;
    }
    const std::uint8_t* code = frame.code;
    const std::size_t at = frame.pc;
    const std::uint8_t op = code[at];
    std::size_t length = 0;
    std::size_t next = at + 1;
    if (op >= 0x80) {
      if (at + 3 > frame.end) {
        frame.pc = frame.end;
        continue;
      }
      length = code[at + 1] | (code[at + 2] << 8);
      next = at + 3 + length;
      if (next > frame.end) {
        frame.pc = frame.end;
        continue;
      }
    }
    frame.pc = next;
    if (debugOps_) {
      std::string top;
      if (stack_.size() > frame.stackBase) {
        const Value& t = stack_.back();
        switch (t.type) {
          case Value::Type::Undefined: top = "undefined"; break;
          case Value::Type::Null: top = "null"; break;
          case Value::Type::Boolean: top = t.boolean ? "true" : "false"; break;
          case Value::Type::Number: top = std::to_string(t.number); break;
          case Value::Type::String: top = '"' + t.string->Text().substr(0, 40) + '"'; break;
          case Value::Type::Object: top = "object"; break;
        }
      }
      std::fprintf(stderr, "%*s%02X @%zu stack=%zu top=%s\n", static_cast<int>(frames_.size()), "", op, at, stack_.size(), top.c_str());
    }
    Step step{frame, ActionReader(code + at + 3, op >= 0x80 ? length : 0), code, at, length, base, runResult};
    (this->*kActions[op].run)(step);  // unknown actions do nothing: they are skipped by their length
    if (step.finished) return runResult;
  }
  return runResult;
}

bool Interpreter::StringTooLong(std::size_t bytes) {
  if (bytes <= kMaxStringBytes) return false;
  if (!aborting_) {
    ReportStop(("a script built a string over " + std::to_string(kMaxStringBytes) + " bytes; it was stopped").c_str());
    aborting_ = true;
  }
  return true;
}

void Interpreter::PushJoined(const std::string& a, const std::string& b) {
  // A doubling loop stops here instead of taking all memory: the script ends.
  if (StringTooLong(a.size() + b.size())) {
    Push(Value());
    return;
  }
  Push(Str(script::JoinUtf16(a, b)));
}

void Interpreter::PushBool(int version, bool value) {
  // SWF 4 comparisons give real booleans too (typeof says "boolean"); only their
  // printing differs, see ToString.
  (void)version;
  Push(Value::Bool(value));
}

std::vector<Value> Interpreter::PopArguments() {
  const double count = ToNumber(Pop());
  std::vector<Value> args;
  const Frame& frame = *frames_.back();
  const std::size_t available = stack_.size() - std::min(stack_.size(), frame.stackBase);
  const std::size_t n = count > 0 ? std::min(static_cast<std::size_t>(std::min(count, 1e6)), available) : 0;
  args.reserve(n);
  for (std::size_t i = 0; i < n; ++i) args.push_back(Pop());
  return args;
}

void Interpreter::PushEnumeration(const Value& object) {
  Push(Value());
  Object* o = object.AsObject();
  if (!o) return;
  // The loop pops names from the top: the first name goes on last.
  const std::vector<std::string> names = Enumerate(o);
  for (auto it = names.rbegin(); it != names.rend(); ++it) Push(Str(*it));
}

std::size_t Interpreter::JumpTarget(const Frame& frame, std::int16_t offset) {
  const long target = static_cast<long>(frame.pc) + offset;
  if (target < 0) return frame.end;
  return std::min(static_cast<std::size_t>(target), frame.end);
}

void Interpreter::SkipActions(Frame& frame, int count) {
  for (int i = 0; i < count && frame.pc < frame.end; ++i) {
    const std::uint8_t op = frame.code[frame.pc];
    if (op >= 0x80 && frame.pc + 3 <= frame.end)
      frame.pc += 3 + (frame.code[frame.pc + 1] | (frame.code[frame.pc + 2] << 8));
    else
      frame.pc += 1;
  }
  frame.pc = std::min(frame.pc, frame.end);
}

void Interpreter::SetTargetPath(Frame& frame, std::string_view path) {
  frame.targetLost = false;
  if (path.empty()) {
    frame.targetRestored = true;
    frame.target = frame.originalTarget;
    // When the code's own clip was removed meanwhile, it goes on acting on its movie's root.
    if (DisplayObject* own = AsDisplay(frame.originalTarget); own && own->Removed()) {
      DisplayObject* top = own;
      for (int guard = 0; top->Parent() && guard < 1000; ++guard) top = top->Parent();
      if (top != own) frame.target = DisplayValue(top).AsObject();
    }
    if (frame.scope.size() > 1) frame.scope[1] = frame.target;
    return;
  }
  DisplayObject* base = AsDisplay(frame.originalTarget);
  DisplayObject* found = ResolveTarget(*this, AsDisplay(frame.target) ? AsDisplay(frame.target) : base, path);
  if (!found) {
    // Any path from a clip that is gone leaves actions without a target (they do nothing).
    if (!base) {
      frame.target = nullptr;
      return;
    }
    // A path that names nothing from a clip that is still there leads to the root.
    Object* root = RootOf(frame.originalTarget).AsObject();
    frame.target = root;
    if (frame.scope.size() > 1 && root) frame.scope[1] = root;
    frame.targetLost = true;
    return;
  }
  Object* o = DisplayValue(found).AsObject();
  frame.target = o;
  if (frame.scope.size() > 1 && o) frame.scope[1] = o;
}

DisplayObject* Interpreter::TargetOf(Frame& frame, const Value& target) {
  // A display object stands for itself; another object names a target by its text
  // (toString runs).
  if (Object* o = target.AsObject(); o && o->kind == NativeKind::Display) return AsDisplay(o);
  const std::string path = ToString(target);
  DisplayObject* base = AsDisplay(frame.target);
  if (path.empty()) return base;
  // A path names clips from the target down (variables in scope and globals play no
  // part); when the target is gone, from the timeline the code belongs to.
  if (!base) base = AsDisplay(frame.originalTarget);
  return ResolveTarget(*this, base, path);
}

void Interpreter::CallFrameAction(Frame& frame, const Value& f) {
  DisplayObject* clip = AsDisplay(frame.target);
  // A tellTarget's clip that went leaves the call to the clip whose code runs. When that
  // clip went too, the root of its movie answers, and the call is the last thing the
  // removed clip's actions do.
  bool lastAction = false;
  if (!clip && frame.target) {
    clip = AsDisplay(StandInForRemoved(*this, frame.target, frame.originalTarget, frame.target));
    lastAction = clip && !AsDisplay(frame.originalTarget);
  }
  // An object names its frame by its text.
  Value frameValue = f.IsObject() ? Str(ToString(f)) : f;
  if (frameValue.IsString()) {
    const std::string text = frameValue.string->Text();
    const std::size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
      clip = ResolveTarget(*this, clip, std::string_view(text).substr(0, colon));
      frameValue = Str(text.substr(colon + 1));
    }
  }
  if (clip) CallFrame(*this, clip, frameValue);
  if (lastAction) frame.pc = frame.end;
}

void Interpreter::PushValues(Frame& frame, Reader& r, const std::uint8_t* data) {
  while (!r.AtEnd()) {
    const std::uint8_t type = r.U8();
    switch (type) {
      case 0: {
        const std::size_t start = r.Pos();
        const std::string_view text = r.StringView();
        Push(Value::Str(Literal(data + start, text, frame.block, frame.version)));
        break;
      }
      case 1: Push(Value::Number(r.Float())); break;
      case 2: Push(Value::Null()); break;
      case 3: Push(Value()); break;
      case 4: {
        const std::uint8_t reg = r.U8();
        // A register beyond a function's own count is the one of the outermost code.
        const auto& outer = frames_.front()->registers;
        Push(reg < frame.registers.size() ? frame.registers[reg] : reg < outer.size() ? outer[reg] : Value());
        break;
      }
      case 5: Push(Value::Bool(r.U8() != 0)); break;
      case 6: Push(Value::Number(r.Double())); break;
      case 7: Push(Value::Number(static_cast<std::int32_t>(r.U32()))); break;
      case 8:
      case 9: {
        const std::size_t index = type == 8 ? r.U8() : r.U16();
        if (frame.pool && index < frame.pool->cells.size())
          Push(Value::Str(frame.pool->cells[index]));
        else
          Push(Value());
        break;
      }
      default: return;  // a malformed push stops here
    }
  }
}

void Interpreter::DefinePool(Frame& frame, Reader& r, const std::uint8_t* at) {
  StringCache& cache = *cache_;
  auto it = cache.pools.find(at);
  if (it == cache.pools.end()) {
    auto pool = std::make_shared<Pool>();
    const std::size_t count = r.U16();
    for (std::size_t i = 0; i < count && !r.AtEnd(); ++i) pool->cells.push_back(rt_.Str(CodeText(r.StringView(), frame.version)));
    cache.Pin(frame.block);
    it = cache.pools.emplace(at, std::move(pool)).first;
  }
  frame.pool = it->second;
}

void Interpreter::DefineFunctionAction(Frame& frame, Reader& r, bool v2, std::size_t bodyStart) {
  auto script = std::make_shared<ScriptFunction>();
  script->name = std::string(r.StringView());
  const std::size_t paramCount = r.U16();
  script->v2 = v2;
  if (v2) {
    script->registerCount = r.U8();
    script->flags = r.U16();
    for (std::size_t i = 0; i < paramCount && !r.AtEnd(); ++i) {
      script->paramRegisters.push_back(r.U8());
      script->params.emplace_back(r.StringView());
    }
  } else {
    for (std::size_t i = 0; i < paramCount && !r.AtEnd(); ++i) script->params.emplace_back(r.StringView());
  }
  const std::size_t codeSize = r.U16();
  script->code = frame.block;
  script->start = bodyStart;
  script->length = std::min(codeSize, frame.end - std::min(frame.end, bodyStart));
  script->swfVersion = frame.version;
  script->pool = frame.pool;
  frame.pc = std::min(bodyStart + codeSize, frame.end);

  Object* fn = rt_.MakeFunction(nullptr);
  FunctionData* data = fn->Function();
  data->script = script;
  data->scope = frame.scope;
  if (data->scope.size() > 1 && frame.target) data->scope[1] = frame.target;
  Object* proto = rt_.MakeObject();
  proto->Define("constructor", Value::Obj(fn), kDontEnum);
  fn->Define("prototype", Value::Obj(proto), kDontEnum | kDontDelete);
  if (script->name.empty()) {
    Push(Value::Obj(fn));
  } else {
    DefineLocal(script->name, Value::Obj(fn), false);
  }
}

void Interpreter::TryAction(Frame& frame, Reader& r, std::size_t bodyStart) {
  TryBlock t;
  const std::uint8_t flags = r.U8();
  const std::size_t trySize = r.U16();
  const std::size_t catchSize = r.U16();
  const std::size_t finallySize = r.U16();
  t.catchInRegister = flags & 4;
  t.hasFinally = flags & 2;
  t.hasCatch = flags & 1;
  if (t.catchInRegister)
    t.catchRegister = r.U8();
  else
    t.catchName = std::string(r.StringView());
  t.tryEnd = std::min(bodyStart + trySize, frame.end);
  t.catchEnd = std::min(t.tryEnd + catchSize, frame.end);
  t.finallyEnd = std::min(t.catchEnd + finallySize, frame.end);
  t.stackDepth = stack_.size();
  t.scopeDepth = frame.scope.size();
  frame.tries.push_back(std::move(t));
}

// The base class's constructor super(...) runs: __constructor__ on the prototypes above
// the method's holder (getters answer, __resolve never does; a clip there, or a primitive,
// ends the search; a super object there stands for the prototypes above its own holder).
static Value SuperConstructor(Interpreter& in, Object* from, const Value& thisValue, Object*& holder) {
  holder = nullptr;
  for (int depth = 0; from && depth < 256; ++depth) {
    if (from->kind == NativeKind::Display) return Value();
    if (from->kind == NativeKind::Super) {
      const auto* data = static_cast<SuperData*>(from->native.get());
      Object* base = data->Base();
      from = base && data->baseIsHolder ? base->proto : base;
      continue;
    }
    if (const Property* p = from->FindOwn("__constructor__", in.CaseSensitive())) {
      holder = from;
      return p->getter ? in.CallFunction(Value::Obj(p->getter), thisValue, {}) : p->value;
    }
    from = from->proto;
  }
  return Value();
}

void Interpreter::CallValue(const Value& fn, const Value& self, std::vector<Value>&& args, Object* holder) {
  // Calling a primitive boxes it first (a script's class for it runs), then calls nothing.
  if (!fn.IsObject() && !fn.IsNullish()) BoxedForLookup(fn);
  Object* f = fn.AsObject();
  if (f && f->kind == NativeKind::Super) {
    // super(...) runs the base class's constructor on this object.
    auto* data = static_cast<SuperData*>(f->native.get());
    Object* base = data->Base();
    Object* at = nullptr;
    const Value ctor = SuperConstructor(*this, base && data->baseIsHolder ? base->proto : base, data->thisValue, at);
    Object* ctorObject = ctor.AsObject();
    if (ctorObject && ctorObject->IsFunction() && !ctorObject->Function()->script && data->thisValue.IsObject()) {
      // A built-in class's constructor runs as a constructor on this object (a plain
      // object becomes an array, ...).
      const Value result = Invoke(ctorObject, data->thisValue, args, true, data->thisValue.object, at ? at->proto : nullptr);
      if (!throwing_) Push(result);
      return;
    }
    superConstructorCall_ = ctorObject && ctorObject->IsFunction() && ctorObject->Function()->script;
    CallValue(ctor, data->thisValue, std::move(args), at ? at->proto : nullptr);
    superConstructorCall_ = false;
    return;
  }
  if (!f || !f->IsFunction()) {
    Push(Value());
    return;
  }
  FunctionData* data = f->Function();
  if (data->script) {
    if (!PushFunctionFrame(f, self, args, false, nullptr, holder, true, &args)) Push(Value());
    return;
  }
  const Value result = Invoke(f, self, args, false, nullptr, holder);
  if (!throwing_) Push(result);
}

void Interpreter::ConstructValue(const Value& ctorValue, const std::vector<Value>& args) {
  if (!ctorValue.IsObject() && !ctorValue.IsNullish()) BoxedForLookup(ctorValue);
  Object* ctor = ctorValue.AsObject();
  if (!ctor || !ctor->IsFunction()) {
    Push(Value());
    return;
  }
  Object* instance = NewInstance(ctor);
  FunctionData* data = ctor->Function();
  if (data->script) {
    if (!PushFunctionFrame(ctor, Value::Obj(instance), args, true, instance, instance->proto, true)) Push(Value());
    return;
  }
  const Value result = Invoke(ctor, Value::Obj(instance), args, true, instance, instance->proto);
  if (throwing_) return;
  // A built-in constructor that refuses its arguments (new BitmapData(0, 0)) gives undefined.
  if (result.IsUndefined() && data->constructor) {
    Push(Value());
    return;
  }
  Push(result.IsObject() ? result : Value::Obj(instance));
}

}  // namespace vantrel::flash::avm1
