#include "flash/avm2/machine.h"

#include "flash/avm2/api/declared_api.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <set>

#include "flash/script/string_utils.h"

namespace vantrel::flash::avm2 {

void TraceValue(gc::Tracer& tracer, const Value& value) {
  if (value.type == Value::Type::String) tracer.Mark(value.string);
  if (value.type == Value::Type::Object) tracer.Mark(value.object);
}



void Object::SetOwn(const std::string& name, Value value, bool enumerable) {
  if (Property* p = FindOwn(name)) {
    p->value = value;
    return;
  }
  propertyIndex.emplace(name, static_cast<std::uint32_t>(properties.size()));
  properties.push_back({name, value, enumerable, false});
}

bool Object::DeleteOwn(const std::string& name) {
  const auto it = propertyIndex.find(name);
  if (it == propertyIndex.end()) return false;
  Property& p = properties[it->second];
  p.removed = true;
  p.value = Value();
  propertyIndex.erase(it);
  // Keep the list short when a script adds and removes many names.
  if (properties.size() > 64 && propertyIndex.size() * 2 < properties.size()) {
    std::vector<Property> kept;
    for (Property& q : properties)
      if (!q.removed) kept.push_back(std::move(q));
    properties = std::move(kept);
    propertyIndex.clear();
    for (std::uint32_t i = 0; i < properties.size(); ++i) propertyIndex.emplace(properties[i].name, i);
  }
  return true;
}

void Object::Trace(gc::Tracer& tracer) const {
  tracer.Mark(proto);
  tracer.Mark(cls);
  for (const Value& v : slotValues) TraceValue(tracer, v);
  for (const Property& p : properties) TraceValue(tracer, p.value);
}

void FunctionObject::Trace(gc::Tracer& tracer) const {
  Object::Trace(tracer);
  for (const Scope& s : scope) TraceValue(tracer, s.value);
  TraceValue(tracer, boundThis);
  if (method && method->declaringClass) tracer.Mark(method->declaringClass);
}

void ClassObject::Trace(gc::Tracer& tracer) const {
  Object::Trace(tracer);
  tracer.Mark(base);
  tracer.Mark(prototype);
  tracer.Mark(generic);
  for (const Scope& s : scope) TraceValue(tracer, s.value);
  for (const ClassObject* i : interfaces) tracer.Mark(i);
  for (const Value& v : typeParams) TraceValue(tracer, v);
  for (const auto* traits : {instanceTraits.get(), staticTraits.get()}) {
    if (!traits) continue;
    for (const auto& slot : traits->slotValues) TraceValue(tracer, slot.initial);
    for (const auto& slot : traits->slotValues) tracer.Mark(slot.type);
  }
}

void ArrayObject::Trace(gc::Tracer& tracer) const {
  Object::Trace(tracer);
  for (const Value& v : elements) TraceValue(tracer, v);
}

void NativeObject::Trace(gc::Tracer& tracer) const {
  Object::Trace(tracer);
  TraceValue(tracer, a);
  TraceValue(tracer, b);
  TraceValue(tracer, c);
  tracer.Mark(reinterpret_cast<const gc::Cell*>(display));
  for (const Value& v : list) TraceValue(tracer, v);
}

const Binding* Traits::Find(std::uint32_t id, const Multiname& name, const Machine& machine) const {
  const auto it = bindings.find(id);
  if (it == bindings.end()) return nullptr;
  const std::vector<Binding>& list = it->second;
  for (const Binding& b : list) {
    for (std::uint32_t i = 0; i < name.nsCount; ++i)
      if (name.ns[i] == b.ns) return &b;
  }
  // Protected members are declared in their class's protected namespace; code of a
  // subclass names them in its own.
  for (const Binding& b : list) {
    const auto kind = machine.Ns(b.ns).kind;
    if (kind != kNsProtected && kind != kNsStaticProtected) continue;
    for (std::uint32_t i = 0; i < name.nsCount; ++i) {
      const auto k = machine.Ns(name.ns[i]).kind;
      if (k == kNsProtected || k == kNsStaticProtected) return &b;
    }
  }
  // The built-in classes declare public what the player declares in the AS3 namespace
  // (String.fromCharCode, for one): a name in that namespace finds their natives.
  for (const Binding& b : list) {
    if (b.ns != machine.PublicNs() || b.kind != Binding::Kind::Method || !b.method || !b.method->native) continue;
    for (std::uint32_t i = 0; i < name.nsCount; ++i)
      if (name.ns[i] == machine.As3Ns()) return &b;
  }
  return nullptr;
}

Machine::Machine(gc::Heap& h) : heap(h) {
  publicNs_ = InternNs(kNsNamespace, "");
  as3Ns_ = InternNs(kNsNamespace, "http://adobe.com/AS3/2006/builtin");
  empty_ = Str("");
  InstallBuiltins();
}

Machine::~Machine() = default;

std::uint32_t Machine::Intern(std::string_view text) {
  const auto it = nameIds_.find(std::string(text));
  if (it != nameIds_.end()) return it->second;
  const auto id = static_cast<std::uint32_t>(names_.size());
  names_.emplace_back(text);
  nameIds_.emplace(std::string(text), id);
  return id;
}

std::uint32_t Machine::FindId(std::string_view text) const {
  const auto it = nameIds_.find(std::string(text));
  return it == nameIds_.end() ? kNoName : it->second;
}

NsId Machine::InternNs(std::uint8_t kind, const std::string& uri, std::uint64_t unique) {
  // Package and plain namespaces with one URI are one namespace.
  if (kind == kNsPackage || kind == kNsExplicit) kind = kNsNamespace;
  const auto key = std::make_tuple(kind, uri, unique);
  const auto it = nsIds_.find(key);
  if (it != nsIds_.end()) return it->second;
  const auto id = static_cast<NsId>(namespaces_.size());
  namespaces_.push_back({kind, uri, unique});
  nsIds_.emplace(key, id);
  return id;
}

Multiname Machine::PublicName(const std::string& text) {
  Multiname m;
  m.id = Intern(text);
  m.text = &names_[m.id];
  static thread_local NsId ns[2];
  ns[0] = publicNs_;
  ns[1] = as3Ns_;
  m.ns = ns;
  m.nsCount = 2;
  m.publicNs = true;
  return m;
}

const String* Machine::Str(std::string text) {
  if (text.size() <= 16) {
    const auto it = stringCache_.find(text);
    if (it != stringCache_.end()) return it->second;
    const String* s = heap.Make<String>(text);
    if (stringCache_.size() < 4096) stringCache_.emplace(std::move(text), s);
    return s;
  }
  heap.Note(text.size());
  return heap.Make<String>(std::move(text));
}

// ---- numbers ----

std::string NumberToString(double d) {
  if (std::isnan(d)) return "NaN";
  if (d == 0) return "0";
  if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::scientific);
  std::string text(buffer, result.ptr);
  bool negative = false;
  if (text[0] == '-') {
    negative = true;
    text.erase(0, 1);
  }
  const std::size_t e = text.find('e');
  std::string digits = text.substr(0, e);
  digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
  const int exponent = std::atoi(text.c_str() + e + 1);
  const int k = static_cast<int>(digits.size());
  const int n = exponent + 1;
  std::string out = negative ? "-" : "";
  if (k <= n && n <= 21) {
    out += digits + std::string(n - k, '0');
  } else if (0 < n && n <= 21) {
    out += digits.substr(0, n) + "." + digits.substr(n);
  } else if (-6 < n && n <= 0) {
    out += "0." + std::string(-n, '0') + digits;
  } else {
    // Past 1e21 the player keeps at most 15 digits, cut rather than rounded, without the
    // zeros the cut leaves at the end; small numbers keep all their digits.
    if (n > 21 && k > 15) {
      digits.resize(15);
      digits.erase(digits.find_last_not_of('0') + 1);
    }
    const int kept = static_cast<int>(digits.size());
    out += digits.substr(0, 1);
    if (kept > 1) out += "." + digits.substr(1);
    out += (n - 1 >= 0 ? "e+" : "e-") + std::to_string(std::abs(n - 1));
  }
  return out;
}

std::string NumberToRadix(double d, int radix) {
  if (radix == 10 || std::isnan(d) || std::isinf(d)) return NumberToString(d);
  const bool negative = d < 0;
  double value = std::floor(std::fabs(d));
  std::string out;
  do {
    const int digit = static_cast<int>(std::fmod(value, radix));
    out.insert(out.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[digit]);
    value = std::floor(value / radix);
  } while (value >= 1 && out.size() < 1100);
  return negative ? "-" + out : out;
}

double Machine::ToNumber(const Value& v) {
  switch (v.type) {
    case Value::Type::Undefined:
    case Value::Type::Hole: return std::nan("");
    case Value::Type::Null: return 0;
    case Value::Type::Boolean: return v.boolean ? 1 : 0;
    case Value::Type::Number: return v.number;
    case Value::Type::String: {
      const std::string& s = v.string->Text();
      std::size_t start = s.find_first_not_of(" \t\n\r\f\v");
      if (start == std::string::npos) return 0;
      std::size_t end = s.find_last_not_of(" \t\n\r\f\v");
      std::string t = s.substr(start, end - start + 1);
      bool negative = false;
      std::string body = t;
      if (!body.empty() && (body[0] == '-' || body[0] == '+')) {
        negative = body[0] == '-';
        body.erase(0, 1);
      }
      if (body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
        double value = 0;
        for (std::size_t i = 2; i < body.size(); ++i) {
          const char c = body[i];
          int digit;
          if (c >= '0' && c <= '9') digit = c - '0';
          else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
          else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
          else return std::nan("");
          value = value * 16 + digit;
        }
        return negative ? -value : value;
      }
      if (body == "Infinity") return negative ? -INFINITY : INFINITY;
      if (body.empty()) return std::nan("");
      for (char c : body) {
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-'))
          return std::nan("");
      }
      char* endp = nullptr;
      const double value = std::strtod(t.c_str(), &endp);
      if (!endp || *endp != '\0') return std::nan("");
      return value;
    }
    case Value::Type::Object: return ToNumber(ToPrimitive(v, false));
  }
  return 0;
}

std::string Machine::ToString(const Value& v) {
  switch (v.type) {
    case Value::Type::Undefined:
    case Value::Type::Hole: return "undefined";
    case Value::Type::Null: return "null";
    case Value::Type::Boolean: return v.boolean ? "true" : "false";
    case Value::Type::Number: return NumberToString(v.number);
    case Value::Type::String: return v.string->Text();
    case Value::Type::Object: return ToString(ToPrimitive(v, true));
  }
  return {};
}

bool Machine::ToBoolean(const Value& v) const {
  switch (v.type) {
    case Value::Type::Undefined:
    case Value::Type::Hole:
    case Value::Type::Null: return false;
    case Value::Type::Boolean: return v.boolean;
    case Value::Type::Number: return !(v.number == 0 || std::isnan(v.number));
    case Value::Type::String: return !v.string->Text().empty();
    case Value::Type::Object: return true;
  }
  return false;
}

Value Machine::ToPrimitive(const Value& v, bool stringHint) {
  Object* o = v.AsObject();
  if (!o) return v;
  if (IsXmlKind(o)) return StrValue(XmlToString(*this, o));
  const char* order[2] = {stringHint ? "toString" : "valueOf", stringHint ? "valueOf" : "toString"};
  for (const char* name : order) {
    // A proxy is asked to call the method (its callProperty), not for it.
    if (o->kind == ObjectKind::Proxy) {
      const Value r = CallProperty(v, PublicName(name), nullptr, 0, false, CallerHolds::Nothing);
      if (!r.IsObject()) return r;
      continue;
    }
    const Value f = GetPublic(v, name);
    if (f.IsObject() && (f.object->kind == ObjectKind::Function || f.object->kind == ObjectKind::Class)) {
      const Value r = Call(f, v, nullptr, 0);
      if (!r.IsObject()) return r;
    }
  }
  ThrowTypeError(1050, "Cannot convert " + QualifiedClassName(v) + " to primitive.");
}

Value Machine::ToDefaultPrimitive(const Value& v) {
  return ToPrimitive(v, v.IsObject() && v.object->kind == ObjectKind::Date);
}

Object* Machine::ToObject(const Value& v) {
  if (v.IsObject()) return v.object;
  if (v.IsNull()) ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
  if (v.IsNullish()) ThrowTypeError(1010, "A term is undefined and has no properties.");
  ClassObject* cls = ClassOf(v);
  auto* boxed = heap.Make<NativeObject>(v.IsString() ? ObjectKind::String : v.IsBoolean() ? ObjectKind::Boolean : ObjectKind::Number,
                                        cls->instanceTraits.get(), cls->prototype);
  boxed->cls = cls;
  boxed->a = v;
  return boxed;
}

std::string Machine::TypeOf(const Value& v) {
  switch (v.type) {
    case Value::Type::Undefined:
    case Value::Type::Hole: return "undefined";
    case Value::Type::Null: return "object";
    case Value::Type::Boolean: return "boolean";
    case Value::Type::Number: return "number";
    case Value::Type::String: return "string";
    case Value::Type::Object:
      if (v.object->kind == ObjectKind::Function) return "function";
      if (IsXmlKind(v.object)) return "xml";
      return "object";
  }
  return "object";
}

bool Machine::StrictEquals(const Value& a, const Value& b) const {
  const auto ta = a.type == Value::Type::Hole ? Value::Type::Undefined : a.type;
  const auto tb = b.type == Value::Type::Hole ? Value::Type::Undefined : b.type;
  if (ta != tb) return false;
  switch (ta) {
    case Value::Type::Undefined:
    case Value::Type::Null: return true;
    case Value::Type::Boolean: return a.boolean == b.boolean;
    case Value::Type::Number: return a.number == b.number;
    case Value::Type::String: return a.string == b.string || a.string->Text() == b.string->Text();
    case Value::Type::Object: {
      if (a.object == b.object) return true;
      // Two closures of one method on one receiver are the same function.
      if (a.object->kind == ObjectKind::Function && b.object->kind == ObjectKind::Function) {
        const auto* fa = static_cast<const FunctionObject*>(a.object);
        const auto* fb = static_cast<const FunctionObject*>(b.object);
        return fa->bound && fb->bound && fa->method == fb->method && StrictEquals(fa->boundThis, fb->boundThis);
      }
      if (a.object->kind == ObjectKind::Namespace && b.object->kind == ObjectKind::Namespace)
        return static_cast<const NativeObject*>(a.object)->text == static_cast<const NativeObject*>(b.object)->text;
      return false;
    }
    default: return false;
  }
}

bool Machine::LooseEquals(const Value& a, const Value& b) {
  const auto ta = a.type == Value::Type::Hole ? Value::Type::Undefined : a.type;
  const auto tb = b.type == Value::Type::Hole ? Value::Type::Undefined : b.type;
  if ((ta == Value::Type::Object && IsXmlKind(a.object)) || (tb == Value::Type::Object && IsXmlKind(b.object)))
    return XmlEquals(*this, a, b);
  if (ta == tb) return StrictEquals(a, b);
  const bool an = ta == Value::Type::Undefined || ta == Value::Type::Null;
  const bool bn = tb == Value::Type::Undefined || tb == Value::Type::Null;
  if (an || bn) return an && bn;
  if (ta == Value::Type::Object && tb == Value::Type::Object) return false;
  if (ta == Value::Type::Object) return LooseEquals(ToDefaultPrimitive(a), b);
  if (tb == Value::Type::Object) return LooseEquals(a, ToDefaultPrimitive(b));
  return ToNumber(a) == ToNumber(b);
}

int Machine::LessThan(const Value& a, const Value& b) {
  const Value pa = ToPrimitive(a, false);
  const Value pb = ToPrimitive(b, false);
  if (pa.IsString() && pb.IsString()) return script::CompareUtf16(pa.string->Text(), pb.string->Text()) < 0 ? 1 : 0;
  const double x = ToNumber(pa), y = ToNumber(pb);
  if (std::isnan(x) || std::isnan(y)) return -1;
  return x < y ? 1 : 0;
}

Value Machine::Add(const Value& a, const Value& b) {
  if (a.IsNumber() && b.IsNumber()) return Value::Number(a.number + b.number);
  if (a.IsString() && b.IsString()) return StrValue(a.string->Text() + b.string->Text());
  if (a.IsObject() && b.IsObject() && IsXmlKind(a.object) && IsXmlKind(b.object)) return XmlConcat(*this, a, b);
  // with a string on either side the other side converts by its toString
  if (a.IsString() || b.IsString()) return StrValue(ToString(a) + ToString(b));
  const Value pa = ToDefaultPrimitive(a);
  const Value pb = ToDefaultPrimitive(b);
  if (pa.IsString() || pb.IsString()) return StrValue(ToString(pa) + ToString(pb));
  return Value::Number(ToNumber(pa) + ToNumber(pb));
}

// ---- types ----

namespace {
bool IsIntValue(double d) { return d == std::trunc(d) && d >= -2147483648.0 && d <= 2147483647.0 && !(d == 0 && std::signbit(d)); }
bool IsUintValue(double d) { return d == std::trunc(d) && d >= 0 && d <= 4294967295.0 && !(d == 0 && std::signbit(d)); }
}  // namespace

ClassObject* Machine::ClassOf(const Value& v) const {
  switch (v.type) {
    case Value::Type::Boolean: return booleanClass;
    case Value::Type::Number: return IsIntValue(v.number) ? intClass : numberClass;
    case Value::Type::String: return stringClass;
    case Value::Type::Object: return v.object->cls ? v.object->cls : objectClass;
    default: return nullptr;
  }
}

Object* Machine::PrimitivePrototype(const Value& v) const {
  if (v.type == Value::Type::Number) return numberClass->prototype;
  ClassObject* c = ClassOf(v);
  return c ? c->prototype : nullptr;
}

bool Machine::IsSubclass(ClassObject* c, ClassObject* base) const {
  for (ClassObject* k = c; k; k = k->base)
    if (k == base) return true;
  // Every Vector.<T> is a Vector.<*>.
  if (base && base == vectorObjectClass && c && c->generic == vectorClass) return true;
  if (base && base->isInterface && c) {
    for (ClassObject* k = c; k; k = k->base)
      for (ClassObject* i : k->interfaces)
        if (i == base) return true;
  }
  return false;
}

bool Machine::IsInstance(const Value& v, ClassObject* type) const {
  if (!type) return true;
  if (v.IsNullish()) return false;
  if (type == objectClass) return true;
  if (v.IsNumber()) {
    if (type == numberClass) return true;
    if (type == intClass) return IsIntValue(v.number);
    if (type == uintClass) return IsUintValue(v.number);
    return false;
  }
  if (v.IsString()) return type == stringClass;
  if (v.IsBoolean()) return type == booleanClass;
  return IsSubclass(v.object->cls, type);
}

Value Machine::Coerce(const Value& v, ClassObject* type) {
  if (!type) return v;
  if (type == intClass) return Value::Number(ToInt32(v));
  if (type == uintClass) return Value::Number(ToUint32(v));
  if (type == numberClass) return Value::Number(ToNumber(v));
  if (type == booleanClass) return Value::Bool(ToBoolean(v));
  if (type == stringClass) return v.IsNullish() ? Value::Null() : v.IsString() ? v : StrValue(ToString(v));
  if (v.IsNullish()) return type == objectClass && v.IsUndefined() ? Value::Null() : Value::Null();
  if (IsInstance(v, type)) return v;
  ThrowTypeError(1034, "Type Coercion failed: cannot convert " + ClassNameForError(v) + " to " +
                           (type->package.empty() ? type->name : type->package + "." + type->name) + ".");
}

std::string Machine::QualifiedClassName(const Value& v) const {
  if (v.IsNull()) return "null";
  if (v.IsUndefined()) return "void";
  if (v.IsObject() && v.object->kind == ObjectKind::Class) return static_cast<ClassObject*>(v.object)->QualifiedName();
  ClassObject* c = ClassOf(v);
  return c ? c->QualifiedName() : "Object";
}

std::string Machine::ClassNameForError(const Value& v) const {
  if (v.IsObject()) {
    ClassObject* c = v.object->kind == ObjectKind::Class ? static_cast<ClassObject*>(v.object) : v.object->cls;
    if (!c) return "Object";
    std::string name = c->package.empty() ? c->name : c->package + "." + c->name;
    if (v.object->kind == ObjectKind::Class) return name + "$";
    // The debugger player prints the object's address; the recorded outputs have it zeroed.
    return name + "@00000000000";
  }
  // Primitives name themselves (strings quoted).
  if (v.IsNumber()) return NumberToString(v.number);
  if (v.IsBoolean()) return v.boolean ? "true" : "false";
  if (v.IsString()) return "\"" + v.string->Text() + "\"";
  return QualifiedClassName(v);
}

// ---- objects ----

Object* Machine::NewObject() {
  auto* o = heap.Make<Object>(ObjectKind::Plain, nullptr, objectClass ? objectClass->prototype : nullptr);
  o->cls = objectClass;
  return o;
}

ArrayObject* Machine::NewArray(std::vector<Value> elements) {
  auto* a = heap.Make<ArrayObject>(arrayClass ? arrayClass->instanceTraits.get() : nullptr,
                                   arrayClass ? arrayClass->prototype : nullptr);
  a->cls = arrayClass;
  a->elements = std::move(elements);
  heap.Note(a->elements.size() * sizeof(Value));
  return a;
}

FunctionObject* Machine::NewFunction(MethodInfo* method, const ScopeChain& scope) {
  auto* f = heap.Make<FunctionObject>(functionClass ? functionClass->instanceTraits.get() : nullptr,
                                      functionClass ? functionClass->prototype : nullptr);
  f->cls = functionClass;
  f->method = method;
  f->scope = scope;
  return f;
}

FunctionObject* Machine::NewNativeFunction(const std::string& name, Native fn, int tag) {
  return NewFunction(NativeMethod(name, fn, tag), {});
}

FunctionObject* Machine::MethodClosure(MethodInfo* method, const Value& receiver) {
  ScopeChain scope;
  if (method->declaringClass) scope = method->declaringClass->scope;
  FunctionObject* f = NewFunction(method, scope);
  f->boundThis = receiver;
  f->bound = true;
  return f;
}

MethodInfo* Machine::NativeMethod(const std::string& name, Native fn, int tag) {
  auto m = std::make_unique<MethodInfo>();
  m->native = fn;
  m->nativeTag = tag;
  m->name = name;
  nativeMethods.push_back(std::move(m));
  return nativeMethods.back().get();
}

namespace {
// Natives that call back into scripts (toString of an array holding itself) nest
// without the interpreter: they count against the same depth.
// A native holds values in C++ locals, so no collection runs while it does.
struct NativeDepth {
  int& depth;
  int& pinned;
  std::vector<const MethodInfo*>& stack;
  NativeDepth(Machine& m, const MethodInfo* method) : depth(m.depth_), pinned(m.pinned_), stack(m.callStack) {
    if (depth >= m.depthLimit_) m.StackOverflow();
    ++depth;
    ++pinned;
    stack.push_back(method);
  }
  ~NativeDepth() {
    --depth;
    --pinned;
    stack.pop_back();
  }
};
struct Pin {
  int& pinned;
  explicit Pin(int& p) : pinned(p) { ++pinned; }
  ~Pin() { --pinned; }
};
}  // namespace

Value Machine::Invoke(MethodInfo* method, const Value& self, const Value* args, int argc, const ScopeChain* scope,
                      CallerHolds holds) {
  if (method->native) {
    NativeDepth depth(*this, method);
    return method->native(*this, self, args, argc);
  }
  return Execute(method, self, args, argc, scope, nullptr, holds);
}

Value Machine::Call(const Value& function, const Value& self, const Value* args, int argc, CallerHolds holds) {
  Object* o = function.AsObject();
  if (o && o->kind == ObjectKind::Function) {
    auto* f = static_cast<FunctionObject*>(o);
    Value receiver = f->bound ? f->boundThis : self;
    // A function closure called without a receiver runs on the global object of the
    // script that made it.
    if (receiver.IsNullish() && f->method->isClosure)
      receiver = !f->scope.empty() && f->scope[0].value.IsObject() ? f->scope[0].value : Value::Obj(globalObject);
    if (f->method->native) {
      NativeDepth depth(*this, f->method);
      return f->method->native(*this, receiver, args, argc);
    }
    return Execute(f->method, receiver, args, argc, &f->scope, f, holds);
  }
  if (o && o->kind == ObjectKind::Class) {
    auto* c = static_cast<ClassObject*>(o);
    if (c->callHandler) {
      Pin pin(pinned_);
      return c->callHandler->native(*this, function, args, argc);
    }
    if (argc != 1)
      ThrowError("ArgumentError", 1112, "Argument count mismatch on class coercion.  Expected 1, got " + std::to_string(argc) + ".");
    return Coerce(args[0], c);
  }
  ThrowTypeError(1006, "value is not a function.");
}

Object* Machine::ConstructClass(ClassObject* cls, const Value* args, int argc, CallerHolds holds) {
  // A movie's interface has a constructor without a body: running it fails verification.
  if (cls->isInterface && cls->init)
    ThrowError("VerifyError", 1001, "The method " + cls->QualifiedName() + "() is not implemented.");
  if (cls->isInterface) ThrowTypeError(1115, cls->QualifiedName() + " is not a constructor.");
  Object* o = cls->allocate ? cls->allocate(*this, cls) : heap.Make<Object>(ObjectKind::Plain, nullptr, nullptr);
  o->traits = cls->instanceTraits.get();
  o->proto = cls->prototype;
  o->cls = cls;
  o->dynamic = !cls->sealed;
  InitSlots(o, *cls->instanceTraits);
  if (o->kind == ObjectKind::Display && bindChildren) bindChildren(*this, o);
  // The constructor keeps the new object alive as its receiver.
  if (cls->init) Invoke(cls->init, Value::Obj(o), args, argc, &cls->scope, holds);
  return o;
}

Value Machine::Construct(const Value& constructor, const Value* args, int argc, CallerHolds holds) {
  Object* c = constructor.AsObject();
  if (c == numberClass || c == intClass || c == uintClass || c == stringClass || c == booleanClass) {
    if (argc == 0) return c == stringClass ? Value::Str(empty_) : c == booleanClass ? Value::Bool(false) : Value::Number(0);
    if (c == stringClass) return StrValue(ToString(args[0]));
    return Coerce(args[0], static_cast<ClassObject*>(c));
  }
  // new Function(...) is Function(...): a function, never a plain instance.
  if (c && c == functionClass && functionClass->callHandler)
    return Invoke(functionClass->callHandler, Value(), args, argc, nullptr);
  if (c && c->kind == ObjectKind::Class) return Value::Obj(ConstructClass(static_cast<ClassObject*>(c), args, argc, holds));
  // A method closure cannot be constructed; any other function can, natives too (the
  // empty one new Function() makes, for one).
  if (c && c->kind == ObjectKind::Function && static_cast<FunctionObject*>(c)->bound)
    ThrowTypeError(1064, "Cannot call method " + FrameName(static_cast<FunctionObject*>(c)->method) + " as constructor.");
  if (c && c->kind == ObjectKind::Function) {
    Object* o = NewObject();
    Value proto = GetPublic(constructor, "prototype");
    if (!proto.IsObject()) {
      proto = Value::Obj(NewObject());
      SetPublic(constructor, "prototype", proto);
    }
    o->proto = proto.object;
    const Value r = Call(constructor, Value::Obj(o), args, argc, holds);
    return r.IsObject() ? r : Value::Obj(o);
  }
  ThrowTypeError(1007, "Instantiation attempted on a non-constructor.");
}

// ---- properties ----

long Machine::ArrayIndex(const std::string& name) {
  if (name.empty() || name.size() > 10) return -1;
  if (name.size() > 1 && name[0] == '0') return -1;
  long value = 0;
  for (char c : name) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value < 4294967295L ? value : -1;
}

namespace {
std::string NameForError(const Multiname& name) { return name.text ? *name.text : "*"; }
}  // namespace

Value Machine::GetProperty(const Value& object, const Multiname& name) {
  Object* o = object.AsObject();
  Traits* traits = nullptr;
  Object* proto = nullptr;
  if (o) {
    if (IsXmlKind(o)) return XmlGet(*this, o, name);
    traits = o->traits;
    proto = o->proto;
    if (name.publicNs && name.text && o->kind == ObjectKind::Array) {
      const long index = ArrayIndex(*name.text);
      if (index >= 0) {
        auto* a = static_cast<ArrayObject*>(o);
        if (static_cast<std::size_t>(index) < a->elements.size() && a->elements[index].type != Value::Type::Hole)
          return a->elements[index];
        for (Object* p = proto; p; p = p->proto)
          if (Object::Property* prop = p->FindOwn(*name.text)) return prop->value;
        return Value();
      }
    }
    if (name.publicNs && name.text && o->kind == ObjectKind::Vector) {
      const long index = ArrayIndex(*name.text);
      auto* v = static_cast<NativeObject*>(o);
      if (index >= 0) {
        if (static_cast<std::size_t>(index) >= v->list.size())
          ThrowError("RangeError", 1125, "The index " + std::to_string(index) + " is out of range " + std::to_string(v->list.size()) + ".");
        return v->list[index];
      }
    }
    if (name.publicNs && name.text && o->kind == ObjectKind::ByteArray) {
      const long index = ArrayIndex(*name.text);
      const std::string& bytes = static_cast<NativeObject*>(o)->text;
      if (index >= 0) return static_cast<std::size_t>(index) < bytes.size() ? Value::Number(static_cast<std::uint8_t>(bytes[index])) : Value();
    }
  } else {
    if (object.IsNull()) ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
    if (object.IsNullish()) ThrowTypeError(1010, "A term is undefined and has no properties.");
    ClassObject* c = ClassOf(object);
    traits = c->instanceTraits.get();
    proto = PrimitivePrototype(object);
  }
  if (traits && name.id != kNoName) {
    if (const Binding* b = traits->Find(name.id, name, *this)) {
      switch (b->kind) {
        case Binding::Kind::Slot:
        case Binding::Kind::Const:
        case Binding::Kind::Class:
          return o && b->slot < o->slotValues.size() ? o->slotValues[b->slot] : Value();
        case Binding::Kind::Method: return Value::Obj(MethodClosure(b->method, object));
        case Binding::Kind::Accessor:
          if (!b->getter)
            ThrowReferenceError(1077, "Illegal read of write-only property " + NameForError(name) + " on " +
                                          ClassNameForError(object) + ".");
          return Invoke(b->getter, object, nullptr, 0, b->getter->declaringClass ? &b->getter->declaringClass->scope : nullptr);
      }
    }
  }
  if (o && o->kind == ObjectKind::Proxy) {
    const Value qname = ProxyName(*this, name);
    return ProxyCall(*this, o, kProxyGet, &qname, 1);
  }
  if (name.publicNs && name.text) {
    if (o && !o->properties.empty())
      if (Object::Property* p = o->FindOwn(*name.text)) return p->value;
    for (Object* p = proto; p; p = p->proto)
      if (Object::Property* prop = p->FindOwn(*name.text)) return prop->value;
  }
  if ((o && !o->dynamic) || (!o && !object.IsNullish())) {
    ThrowReferenceError(1069, "Property " + NameForError(name) + " not found on " +
                                  (ClassOf(object)->package.empty() ? ClassOf(object)->name
                                                                     : ClassOf(object)->package + "." + ClassOf(object)->name) +
                                  " and there is no default value.");
  }
  return Value();
}

namespace {

// A class as the player's error texts name it: its package and name joined by a dot.
std::string DottedClassName(const Machine& m, const Value& object) {
  std::string name = m.QualifiedClassName(object);
  const std::size_t colons = name.find("::");
  if (colons != std::string::npos) name.replace(colons, 2, ".");
  return name;
}

// A class's prototype is a read-only property of every class (Class declares it): it
// can be neither replaced nor deleted.
bool IsClassPrototype(const Object* o, const Multiname& name) {
  return o->kind == ObjectKind::Class && name.text && name.publicNs && *name.text == "prototype";
}

// The top level's primitive classes and Date declare their prototype's methods again in
// the AS3 namespace: code that opens it (as compiled code does) names a method when it
// assigns one of those names, and may not.
void RefuseBuiltinMethodWrite(Machine& m, const Value& object, const Multiname& name) {
  if (!name.text) return;
  ClassObject* c = m.ClassOf(object);
  const bool primitive = !object.IsObject();
  if (!c || !(primitive || object.object->kind == ObjectKind::Date)) return;
  if (primitive && c == m.stringClass && *name.text == "length" && name.publicNs)
    m.ThrowReferenceError(1074, "Illegal write to read-only property length on String.");
  bool as3 = false;
  for (std::uint32_t i = 0; i < name.nsCount; ++i) as3 = as3 || name.ns[i] == m.As3Ns();
  if (!as3 || !c->prototype) return;
  // Date declares all of its methods so; the primitives these (toLocaleString, for one,
  // is only on Number's prototype).
  static const std::set<std::string> kNumber = {"toString", "valueOf", "toFixed", "toExponential", "toPrecision"};
  static const std::set<std::string> kBoolean = {"toString", "valueOf"};
  static const std::set<std::string> kString = {
      "indexOf", "lastIndexOf", "charAt", "charCodeAt", "concat", "localeCompare", "match", "replace", "search",
      "slice", "split", "substring", "substr", "toLowerCase", "toLocaleLowerCase", "toUpperCase", "toLocaleUpperCase",
      "toString", "valueOf"};
  if (primitive) {
    const std::set<std::string>& names = c == m.stringClass ? kString : c == m.booleanClass ? kBoolean : kNumber;
    if (!names.count(*name.text)) return;
  }
  const Object::Property* p = c->prototype->FindOwn(*name.text);
  if (p && !p->removed && p->value.IsObject() && p->value.object->kind == ObjectKind::Function)
    m.ThrowReferenceError(1037, "Cannot assign to a method " + *name.text + " on " + DottedClassName(m, object) + ".");
}

}  // namespace

void Machine::SetProperty(const Value& object, const Multiname& name, const Value& value, bool init) {
  Object* o = object.AsObject();
  if (!o) {
    if (object.IsNull()) ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
    if (object.IsNullish()) ThrowTypeError(1010, "A term is undefined and has no properties.");
    RefuseBuiltinMethodWrite(*this, object, name);
    ThrowReferenceError(1056, "Cannot create property " + NameForError(name) + " on " + DottedClassName(*this, object) + ".");
  }
  if (o->kind == ObjectKind::Date) RefuseBuiltinMethodWrite(*this, object, name);
  if (!init && IsClassPrototype(o, name))
    ThrowReferenceError(1074, "Illegal write to read-only property prototype on " + QualifiedClassName(object) + ".");
  if (IsXmlKind(o)) return XmlSet(*this, o, name, value);
  // A function's prototype set to null is no prototype: it reads undefined, and the next
  // construction gives the function a new one.
  if (o->kind == ObjectKind::Function && value.IsNull() && name.publicNs && name.text && *name.text == "prototype")
    return SetProperty(object, name, Value(), init);
  if (name.publicNs && name.text && o->kind == ObjectKind::Array) {
    const long index = ArrayIndex(*name.text);
    if (index >= 0) {
      auto* a = static_cast<ArrayObject*>(o);
      if (static_cast<std::size_t>(index) >= a->elements.size()) {
        if (index > static_cast<long>(a->elements.size()) + (1 << 22)) {
          a->SetOwn(*name.text, value);  // far past the end: kept sparse
          return;
        }
        a->elements.resize(index + 1, Value::Hole());
      }
      a->elements[index] = value;
      return;
    }
  }
  if (name.publicNs && name.text && o->kind == ObjectKind::Vector) {
    const long index = ArrayIndex(*name.text);
    auto* v = static_cast<NativeObject*>(o);
    if (index >= 0) {
      ClassObject* type = v->cls && !v->cls->typeParams.empty() && v->cls->typeParams[0].IsObject()
                              ? static_cast<ClassObject*>(v->cls->typeParams[0].object) : nullptr;
      // Vector.<*> keeps undefined as null.
      const Value stored = !type && value.IsUndefined() ? Value::Null() : Coerce(value, type);
      if (static_cast<std::size_t>(index) < v->list.size()) {
        v->list[index] = stored;
      } else if (static_cast<std::size_t>(index) == v->list.size() && !v->b.boolean) {
        v->list.push_back(stored);
      } else {
        ThrowError("RangeError", 1125, "The index " + std::to_string(index) + " is out of range " + std::to_string(v->list.size()) + ".");
      }
      return;
    }
  }
  if (name.publicNs && name.text && o->kind == ObjectKind::ByteArray) {
    const long index = ArrayIndex(*name.text);
    std::string& bytes = static_cast<NativeObject*>(o)->text;
    if (index >= 0 && index < 0x10000000) {
      if (static_cast<std::size_t>(index) >= bytes.size()) bytes.resize(static_cast<std::size_t>(index) + 1, '\0');
      bytes[index] = static_cast<char>(ToInt32(value) & 0xFF);
      return;
    }
  }
  if (o->traits && name.id != kNoName) {
    if (const Binding* b = o->traits->Find(name.id, name, *this)) {
      switch (b->kind) {
        case Binding::Kind::Slot:
          o->slotValues[b->slot] = CoerceSlot(o->traits->slotValues[b->slot], value);
          return;
        case Binding::Kind::Const:
        case Binding::Kind::Class:
          if (init) {
            o->slotValues[b->slot] = CoerceSlot(o->traits->slotValues[b->slot], value);
            return;
          }
          ThrowReferenceError(1074, "Illegal write to read-only property " + NameForError(name) + " on " +
                                        QualifiedClassName(object) + ".");
        case Binding::Kind::Method:
          ThrowReferenceError(1037, "Cannot assign to a method " + NameForError(name) + " on " + DottedClassName(*this, object) + ".");
        case Binding::Kind::Accessor:
          if (!b->setter)
            ThrowReferenceError(1074, "Illegal write to read-only property " + NameForError(name) + " on " +
                                          QualifiedClassName(object) + ".");
          Invoke(b->setter, object, &value, 1, b->setter->declaringClass ? &b->setter->declaringClass->scope : nullptr);
          return;
      }
    }
  }
  if (o->kind == ObjectKind::Proxy) {
    const Value pair[2] = {ProxyName(*this, name), value};
    ProxyCall(*this, o, kProxySet, pair, 2);
    return;
  }
  if (!o->dynamic || !name.publicNs || !name.text)
    ThrowReferenceError(1056, "Cannot create property " + NameForError(name) + " on " + DottedClassName(*this, object) + ".");
  o->SetOwn(*name.text, value);
}

Value Machine::CallProperty(const Value& object, const Multiname& name, const Value* args, int argc, bool lex,
                            CallerHolds holds) {
  Object* o = object.AsObject();
  if (IsXmlKind(o)) return XmlCall(*this, o, name, args, argc);
  Traits* traits = o ? o->traits : nullptr;
  if (!o && !object.IsNullish()) traits = ClassOf(object)->instanceTraits.get();
  if (traits && name.id != kNoName) {
    if (const Binding* b = traits->Find(name.id, name, *this); b && b->kind == Binding::Kind::Method) {
      return Invoke(b->method, object, args, argc, b->method->declaringClass ? &b->method->declaringClass->scope : nullptr,
                    holds);
    }
  }
  if (o && o->kind == ObjectKind::Proxy && !(traits && name.id != kNoName && traits->Find(name.id, name, *this))) {
    std::vector<Value> all{ProxyName(*this, name)};
    all.insert(all.end(), args, args + argc);
    return ProxyCall(*this, o, kProxyCall, all.data(), static_cast<int>(all.size()));
  }
  const Value f = GetProperty(object, name);
  if (!f.IsObject() || (f.object->kind != ObjectKind::Function && f.object->kind != ObjectKind::Class)) {
    ThrowTypeError(1006, NameForError(name) + " is not a function.");
  }
  return Call(f, lex ? Value::Null() : object, args, argc, holds);
}

bool Machine::HasProperty(const Value& object, const Multiname& name) {
  Object* o = object.AsObject();
  if (IsXmlKind(o)) {
    if (XmlHas(*this, o, name)) return true;
    // The prototypes' methods count too: "propertyIsEnumerable" in xml.
    if (name.attribute || !name.text || (*name.text)[0] == '@') return false;
    for (Object* p = o->proto; p; p = p->proto)
      if (p->FindOwn(*name.text)) return true;
    return false;
  }
  if (o && o->kind == ObjectKind::Proxy) {
    std::string key = name.text ? *name.text : "*";
    if (name.nsCount == 1 && !IsPublicLike(name.ns[0]) && !Ns(name.ns[0]).uri.empty()) key = Ns(name.ns[0]).uri + "::" + key;
    const Value keyValue = StrValue(key);
    return ToBoolean(ProxyCall(*this, o, kProxyHas, &keyValue, 1));
  }
  Traits* traits = o ? o->traits : nullptr;
  Object* proto = o ? o->proto : nullptr;
  if (!o) {
    ClassObject* c = ClassOf(object);
    if (!c) return false;
    traits = c->instanceTraits.get();
    proto = PrimitivePrototype(object);
  }
  if (traits && name.id != kNoName && traits->Find(name.id, name, *this)) return true;
  if (!name.publicNs || !name.text) return false;
  if (o && o->kind == ObjectKind::Array) {
    const long index = ArrayIndex(*name.text);
    auto* a = static_cast<ArrayObject*>(o);
    if (index >= 0 && static_cast<std::size_t>(index) < a->elements.size() && a->elements[index].type != Value::Type::Hole)
      return true;
  }
  if (o && o->kind == ObjectKind::Vector) {
    const long index = ArrayIndex(*name.text);
    if (index >= 0) return static_cast<std::size_t>(index) < static_cast<NativeObject*>(o)->list.size();
  }
  if (o && o->FindOwn(*name.text)) return true;
  for (Object* p = proto; p; p = p->proto)
    if (p->FindOwn(*name.text)) return true;
  return false;
}

bool Machine::DeleteProperty(const Value& object, const Multiname& name) {
  Object* o = object.AsObject();
  if (!o) {
    if (object.IsNull()) ThrowTypeError(1009, "Cannot access a property or method of a null object reference.");
    if (object.IsNullish()) ThrowTypeError(1010, "A term is undefined and has no properties.");
    return false;
  }
  if (IsXmlKind(o)) return XmlDelete(*this, o, name);
  if (o->traits && name.id != kNoName && o->traits->Find(name.id, name, *this)) return false;
  if (IsClassPrototype(o, name)) return false;
  if (o->kind == ObjectKind::Proxy) {
    const Value qname = ProxyName(*this, name);
    return ToBoolean(ProxyCall(*this, o, kProxyDelete, &qname, 1));
  }
  if (!name.publicNs || !name.text) return false;
  if (o->kind == ObjectKind::Array) {
    const long index = ArrayIndex(*name.text);
    auto* a = static_cast<ArrayObject*>(o);
    if (index >= 0) {
      if (static_cast<std::size_t>(index) < a->elements.size()) a->elements[index] = Value::Hole();
      return true;
    }
  }
  // A sealed object has nothing to delete (a vector still answers true).
  if (!o->dynamic && o->kind != ObjectKind::Vector) return false;
  o->DeleteOwn(*name.text);
  return true;
}

namespace {
// Entries enumerated before the dynamic properties: array and vector elements,
// dictionary keys held by identity.
std::size_t IndexedCount(Object* o) {
  if (o->kind == ObjectKind::Array) return static_cast<ArrayObject*>(o)->elements.size();
  if (o->kind == ObjectKind::Vector) return static_cast<NativeObject*>(o)->list.size();
  if (o->kind == ObjectKind::Dictionary) return static_cast<NativeObject*>(o)->list.size() / 2;
  if (IsXmlKind(o)) return XmlItemCount(o);
  // A QName and a Namespace enumerate their two parts.
  if (o->kind == ObjectKind::QName || o->kind == ObjectKind::Namespace) return 2;
  return 0;
}
// The names of those parts, in the player's order; a QName gives its values the other
// way round (localName first).
const char* PartName(const Object* o, int index) {
  if (index == 1) return "uri";
  return o->kind == ObjectKind::QName ? "localName" : "prefix";
}
int PartOfValue(const Object* o, int index) { return o->kind == ObjectKind::QName ? 3 - index : index; }
}  // namespace

int Machine::NextIndex(Object* o, int index) {
  if (!o || index < 0) return 0;
  if (o->kind == ObjectKind::Proxy) {
    const Value at = Value::Number(index);
    return ToInt32(ProxyCall(*this, o, kProxyNextNameIndex, &at, 1));
  }
  const std::size_t elements = IndexedCount(o);
  for (std::size_t i = index; i < elements; ++i) {
    if (o->kind != ObjectKind::Array || static_cast<ArrayObject*>(o)->elements[i].type != Value::Type::Hole)
      return static_cast<int>(i + 1);
  }
  std::size_t start = static_cast<std::size_t>(index) > elements ? index - elements : 0;
  for (std::size_t i = start; i < o->properties.size(); ++i) {
    const Object::Property& p = o->properties[i];
    if (!p.removed && p.enumerable) return static_cast<int>(elements + i + 1);
  }
  return 0;
}

Value Machine::NameAt(Object* o, int index) {
  if (o->kind == ObjectKind::Proxy) {
    const Value at = Value::Number(index);
    return ProxyCall(*this, o, kProxyNextName, &at, 1);
  }
  const std::size_t elements = IndexedCount(o);
  if (index <= 0) return Value();
  if (static_cast<std::size_t>(index) <= elements) {
    if (o->kind == ObjectKind::Vector) return Value::Number(index - 1);
    if (o->kind == ObjectKind::Dictionary) return static_cast<NativeObject*>(o)->list[2 * (index - 1)];
    if (o->kind == ObjectKind::QName || o->kind == ObjectKind::Namespace) return StrValue(PartName(o, index));
    // An array's elements enumerate as their (int) indices.
    if (o->kind == ObjectKind::Array) return Value::Number(index - 1);
    return StrValue(std::to_string(index - 1));
  }
  const std::size_t i = index - elements - 1;
  if (i >= o->properties.size()) return Value();
  const std::string& name = o->properties[i].name;
  // Dynamic properties with index names enumerate as numbers (arrays' elements do not).
  if (o->kind != ObjectKind::Array && ArrayIndex(name) >= 0) return Value::Number(static_cast<double>(ArrayIndex(name)));
  return StrValue(name);
}

Value Machine::ValueAt(Object* o, int index) {
  if (o->kind == ObjectKind::Proxy) {
    const Value at = Value::Number(index);
    return ProxyCall(*this, o, kProxyNextValue, &at, 1);
  }
  const std::size_t elements = IndexedCount(o);
  if (index <= 0) return Value();
  if (static_cast<std::size_t>(index) <= elements) {
    if (o->kind == ObjectKind::Vector) return static_cast<NativeObject*>(o)->list[index - 1];
    if (o->kind == ObjectKind::Dictionary) return static_cast<NativeObject*>(o)->list[2 * (index - 1) + 1];
    if (IsXmlKind(o)) return XmlItem(o, static_cast<std::size_t>(index - 1));
    if (o->kind == ObjectKind::QName || o->kind == ObjectKind::Namespace)
      return GetPublic(Value::Obj(o), PartName(o, PartOfValue(o, index)));
    return static_cast<ArrayObject*>(o)->elements[index - 1];
  }
  const std::size_t i = index - elements - 1;
  return i < o->properties.size() ? o->properties[i].value : Value();
}

bool Machine::IsDictionaryKey(const Value& object, const Value& key) const {
  return key.IsObject() && object.IsObject() && object.object->kind == ObjectKind::Dictionary;
}

Value* Machine::DictionaryEntry(const Value& object, const Value& key, bool create) {
  auto* d = static_cast<NativeObject*>(object.object);
  for (std::size_t i = 0; i + 1 < d->list.size(); i += 2)
    if (d->list[i].object == key.object) return &d->list[i + 1];
  if (!create) return nullptr;
  d->list.push_back(key);
  d->list.push_back(Value());
  return &d->list.back();
}

bool Machine::DictionaryDelete(const Value& object, const Value& key) {
  auto* d = static_cast<NativeObject*>(object.object);
  for (std::size_t i = 0; i + 1 < d->list.size(); i += 2) {
    if (d->list[i].object == key.object) {
      d->list.erase(d->list.begin() + static_cast<long>(i), d->list.begin() + static_cast<long>(i) + 2);
      return true;
    }
  }
  return false;
}

// ---- errors ----

void Machine::ThrowError(const char* className, int id, const std::string& text, bool direct) {
  ClassObject* cls = FindClass(className);
  if (!cls) cls = errorClass;
  Value args[2] = {StrValue("Error #" + std::to_string(id) + ": " + text), Value::Number(id)};
  Object* error = ConstructClass(cls, args, 2);
  // Built-in methods raise their errors through Error.throwError, which shows in the
  // trace; a method that fails verification has not started, and reports no frames.
  if (error->kind == ObjectKind::Error) {
    std::string& frames = static_cast<NativeObject*>(error)->text;
    if (std::strcmp(className, "VerifyError") == 0) frames.clear();
    else if (!direct && !callStack.empty() && callStack.back()->native) frames.insert(0, "\n\tat Error$/throwError()");
  }
  throw Thrown{Value::Obj(error)};
}

void Machine::StackOverflow() {
  constexpr int kRoom = 16;
  if (overflowing_) throw Halt{"Error: Error #1023: Stack overflow occurred."};
  overflowing_ = true;
  depthLimit_ += kRoom;
  struct Restore {
    Machine& m;
    ~Restore() {
      m.overflowing_ = false;
      m.depthLimit_ -= kRoom;
    }
  } restore{*this};
  ThrowError("Error", 1023, "Stack overflow occurred.");
}

std::string Machine::ErrorText(const Value& error) {
  try {
    if (error.IsObject() && error.object->kind == ObjectKind::Error) {
      const Value stack = CallPublic(error, "getStackTrace");
      if (stack.IsString()) return stack.string->Text();
    }
    return ToString(error);
  } catch (const Thrown&) {
    return "(error while printing an error)";
  }
}

std::string Machine::FrameName(const MethodInfo* m) {
  const ClassObject* c = m->declaringClass;
  const std::string owner = c ? c->QualifiedName() : "";
  switch (m->role) {
    case MethodInfo::Role::ScriptInit: return "global$init()";
    case MethodInfo::Role::ClassInit: return owner + "$cinit()";
    case MethodInfo::Role::Constructor: return owner + "()";
    case MethodInfo::Role::Anonymous: return "Function/<anonymous>()";
    case MethodInfo::Role::Method:
    case MethodInfo::Role::Getter:
    case MethodInfo::Role::Setter: {
      const char* kind = m->role == MethodInfo::Role::Getter ? "get " : m->role == MethodInfo::Role::Setter ? "set " : "";
      if (!c) return kind + m->nsPrefix + m->name + "()";
      return owner + (m->isStatic ? "$/" : "/") + kind + m->nsPrefix + m->name + "()";
    }
    case MethodInfo::Role::Function: break;
  }
  if (m->native) return (c ? owner + (m->isStatic ? "$/" : "/") : std::string()) + m->nsPrefix + m->name + "()";
  return "MethodInfo-" + std::to_string(m->index) + "()";
}

std::string Machine::StackTrace(std::size_t skip) const {
  std::string out;
  for (std::size_t i = callStack.size(); i-- > 0;) {
    if (skip) {
      --skip;
      continue;
    }
    out += "\n\tat " + FrameName(callStack[i]);
  }
  return out;
}

void Machine::CheckStringRoom(std::size_t bytes) {
  if (heap.Bytes() + bytes > heap.HardLimit()) throw Halt{"Error: Error #1000: The system is out of memory."};
}

bool Machine::Guard(const std::function<void()>& fn) {
  // Once a script has been halted, nothing more runs until the next budget.
  if (budget_ <= 0) return false;
  const int depth = depth_;
  const std::size_t frames = callStack.size();
  try {
    fn();
    return true;
  } catch (const Thrown& thrown) {
    callStack.resize(frames);
    depth_ = depth;
    if (HandledByUncaughtListeners(thrown.value)) return false;
    const std::string text = ErrorText(thrown.value);
    if (onUncaught) onUncaught(text);
  } catch (const Halt& halt) {
    callStack.resize(frames);
    depth_ = depth;
    if (onUncaught) onUncaught(halt.reason);
  } catch (const std::exception& e) {
    // The library's own failures (a string or a table past what memory holds) end the
    // script as running out of memory does: every script frame above stops too.
    callStack.resize(frames);
    depth_ = depth;
    budget_ = 0;
    if (onUncaught) onUncaught("Error: Error #1000: The system is out of memory.");
  }
  return false;
}

// ---- natives ----

ClassObject* Machine::DefineClass(const std::string& package, const std::string& name, ClassObject* base,
                                  Native constructor, bool sealed) {
  auto* c = heap.Make<ClassObject>(nullptr, nullptr);
  c->name = name;
  c->package = package;
  c->base = base;
  c->sealed = sealed;
  c->instanceTraits = std::make_unique<Traits>();
  if (base) *c->instanceTraits = *base->instanceTraits;
  c->staticTraits = std::make_unique<Traits>();
  c->traits = c->staticTraits.get();
  c->allocate = base ? base->allocate : nullptr;
  c->cls = classClass;
  c->proto = classClass ? classClass->prototype : nullptr;
  c->prototype = heap.Make<Object>(ObjectKind::Plain, nullptr, base ? base->prototype : nullptr);
  c->prototype->cls = objectClass;
  c->prototype->SetOwn("constructor", Value::Obj(c), false);
  c->SetOwn("prototype", Value::Obj(c->prototype), false);
  if (constructor) c->init = NativeMethod(name, constructor);
  if (c->init) c->init->declaringClass = c;
  if (c->init) c->init->role = MethodInfo::Role::Constructor;
  DefineGlobal(package, name, Value::Obj(c));
  return c;
}

void Machine::DefineGlobal(const std::string& package, const std::string& name, const Value& value) {
  DefineGlobal(InternNs(kNsNamespace, package), name, value);
}

void Machine::DefineGlobal(NsId ns, const std::string& name, const Value& value) {
  const std::uint32_t id = Intern(name);
  Traits* traits = globalObject->traits;
  auto& list = traits->bindings[id];
  for (Binding& b : list) {
    if (b.ns == ns) {
      globalObject->slotValues[b.slot] = value;
      return;
    }
  }
  Binding b;
  b.ns = ns;
  b.kind = Binding::Kind::Const;
  b.slot = static_cast<std::uint32_t>(globalObject->slotValues.size());
  list.push_back(b);
  Traits::SlotInfo info;
  info.name = id;
  traits->slotValues.push_back(info);
  globalObject->slotValues.push_back(value);
  domain[id].push_back({ns, nullptr, 0, value});
}

void Machine::AddMethod(Object* target, const std::string& name, Native fn, int tag, int length) {
  FunctionObject* f = NewNativeFunction(name, fn, tag);
  f->method->nativeLength = length;
  // The player's own prototype functions are function expressions: stack traces show
  // them as anonymous.
  f->method->role = MethodInfo::Role::Anonymous;
  target->SetOwn(name, Value::Obj(f), false);
}

void Machine::AddTraitMethod(ClassObject* cls, const std::string& name, Native fn, bool isStatic, int tag, int length) {
  Traits& traits = isStatic ? *cls->staticTraits : *cls->instanceTraits;
  MethodInfo* m = NativeMethod(name, fn, tag);
  m->nativeLength = length;
  m->declaringClass = cls;
  m->isStatic = isStatic;
  m->role = MethodInfo::Role::Method;
  auto& list = traits.bindings[Intern(name)];
  for (Binding& b : list) {
    if (b.ns == publicNs_) {
      b.kind = Binding::Kind::Method;
      b.method = m;
      return;
    }
  }
  Binding b;
  b.ns = publicNs_;
  b.kind = Binding::Kind::Method;
  b.method = m;
  list.push_back(b);
}

void Machine::AddAccessor(ClassObject* cls, const std::string& name, Native getter, Native setter, bool isStatic, int tag) {
  Traits& traits = isStatic ? *cls->staticTraits : *cls->instanceTraits;
  Binding b;
  b.ns = publicNs_;
  b.kind = Binding::Kind::Accessor;
  if (getter) b.getter = NativeMethod(name, getter, tag);
  if (setter) b.setter = NativeMethod(name, setter, tag);
  if (b.getter) b.getter->declaringClass = cls;
  if (b.setter) b.setter->declaringClass = cls;
  if (b.getter) b.getter->role = MethodInfo::Role::Getter;
  if (b.setter) b.setter->role = MethodInfo::Role::Setter;
  if (b.getter) b.getter->isStatic = isStatic;
  if (b.setter) b.setter->isStatic = isStatic;
  auto& list = traits.bindings[Intern(name)];
  for (Binding& existing : list) {
    if (existing.ns == publicNs_) {
      existing = b;
      return;
    }
  }
  list.push_back(b);
}

void Machine::AddConstant(ClassObject* cls, const std::string& name, const Value& value) {
  Traits& traits = *cls->staticTraits;
  Binding b;
  b.ns = publicNs_;
  b.kind = Binding::Kind::Const;
  b.slot = static_cast<std::uint32_t>(cls->slotValues.size());
  traits.bindings[Intern(name)].push_back(b);
  Traits::SlotInfo info;
  info.name = Intern(name);
  info.initial = value;
  traits.slotValues.push_back(info);
  cls->slotValues.push_back(value);
}

void Machine::InstallBuiltins() {
  auto globalTraits = std::make_unique<Traits>();
  globalObject = heap.Make<Object>(ObjectKind::Global, globalTraits.get(), nullptr);
  ownedTraits.push_back(std::move(globalTraits));
  InstallObjectClasses(*this);
  globalObject->proto = objectClass->prototype;
  InstallErrors(*this);
  InstallArray(*this);
  InstallString(*this);
  InstallNumbers(*this);
  InstallMath(*this);
  InstallVector(*this);
  InstallGlobals(*this);
  InstallDescribeType(*this);
  InstallRegExp(*this);
  InstallDate(*this);
  InstallJson(*this);
  InstallXml(*this);
  InstallXmlDocument(*this);
  InstallProxy(*this);
  InstallByteArray(*this);
  InstallUtils(*this);
  InstallGeom(*this);
  InstallDisplay(*this);
  InstallText(*this);
  InstallStage(*this);
  InstallGraphics(*this);
  InstallEvents(*this);
  InstallMedia(*this);
  InstallNetStream(*this);
  InstallVideo(*this);
  InstallBitmapData(*this);
  InstallFilters(*this);
  InstallUiSystem(*this);
  InstallTextEngine(*this);
  InstallMatrix3D(*this);
  InstallShaders(*this);
  InstallTimer(*this);
  InstallLocalConnection(*this);
  InstallSharedObject(*this);
  InstallUrlLoader(*this);
  InstallPlayerApi(*this);
  InstallLoader(*this);
  InstallDeclaredApi(*this);
  InstallGraphicsData(*this);
  RefuseStageProperties(*this);
}

void Machine::TraceRoots(gc::Tracer& tracer) const {
  tracer.Mark(globalObject);
  tracer.Mark(empty_);
  for (const auto& [text, s] : stringCache_) tracer.Mark(s);
  for (const auto& unit : units) {
    for (const String* s : unit->strings) tracer.Mark(s);
    for (const ClassObject* c : unit->classes) tracer.Mark(c);
    for (const auto& script : unit->scripts) tracer.Mark(script.global);
    for (const auto& m : unit->methods) tracer.Mark(m->declaringClass);
  }
  for (const auto& m : nativeMethods) tracer.Mark(m->declaringClass);
  for (const PendingInterface& p : pendingInterfaces_) tracer.Mark(p.cls);
  for (const auto& [id, list] : domain)
    for (const Definition& d : list) TraceValue(tracer, d.value);
  for (const auto& [display, object] : displayObjects) tracer.Mark(object);
  for (const auto& [display, kept] : keptOnDisplay)
    for (const auto& [name, value] : kept) TraceValue(tracer, value);
  for (const auto& [type, listeners] : frameListeners)
    for (const Object* o : listeners) tracer.Mark(o);
  for (const QueuedGoto& g : queuedGotos) tracer.Mark(g.clip);
  tracer.Mark(media);
  for (const auto& [alias, cls] : classByAlias) tracer.Mark(cls);
  for (const auto& [cls, alias] : aliasOfClass) tracer.Mark(cls);
  for (const auto& [movie, parts] : loaderInfos) {
    tracer.Mark(parts.info);
    TraceValue(tracer, parts.parameters);
    TraceValue(tracer, parts.sharedEvents);
    TraceValue(tracer, parts.uncaughtErrorEvents);
    tracer.Mark(parts.loader);
    TraceValue(tracer, parts.content);
    TraceValue(tracer, parts.bytes);
  }
  for (const auto& [o, frame] : scriptedClips) tracer.Mark(o);
  for (const auto& [name, connection] : localConnections) tracer.Mark(connection);
  if (domainMemory) tracer.Mark(domainMemory);
  for (const auto& [key, object] : sharedObjects) tracer.Mark(object);
  for (const auto& message : localMessages)
    for (const Value& v : message) TraceValue(tracer, v);
  for (const Timer& t : timers) {
    TraceValue(tracer, t.function);
    for (const Value& v : t.args) TraceValue(tracer, v);
  }
  for (const Frame* f : frames_) TraceFrame(tracer, *f);
}

// ---- ABC units ----

Value Machine::PoolString(AbcUnit& unit, std::uint32_t index) {
  if (index >= unit.strings.size()) return Value::Str(empty_);
  if (!unit.strings[index]) unit.strings[index] = Str(unit.abc->strings[index]);
  return Value::Str(unit.strings[index]);
}

Value Machine::DefaultValue(AbcUnit& unit, std::uint8_t kind, std::uint32_t index) {
  const AbcFile& abc = *unit.abc;
  switch (kind) {
    case 0x03: return index < abc.ints.size() ? Value::Number(abc.ints[index]) : Value();
    case 0x04: return index < abc.uints.size() ? Value::Number(abc.uints[index]) : Value();
    case 0x06: return index < abc.doubles.size() ? Value::Number(abc.doubles[index]) : Value();
    case 0x01: return index < abc.strings.size() ? PoolString(unit, index) : Value();
    case 0x0B: return Value::Bool(true);
    case 0x0A: return Value::Bool(false);
    case 0x0C: return Value::Null();
    case 0x00: return Value();
    case 0x08: case 0x16: case 0x17: case 0x18: case 0x19: case 0x1A: case 0x05: {
      if (index >= unit.namespaces.size()) return Value();
      ClassObject* nsClass = namespaceClass;
      auto* ns = heap.Make<NativeObject>(ObjectKind::Namespace, nsClass->instanceTraits.get(), nsClass->prototype);
      ns->cls = nsClass;
      ns->text = Ns(unit.namespaces[index]).uri;
      return Value::Obj(ns);
    }
    default: return Value();
  }
}

Multiname Machine::ResolveName(AbcUnit& unit, std::uint32_t index, const Value* runtimeName, const Value* runtimeNs,
                               std::string& storage, NsId& nsStorage) {
  Multiname m = unit.multinames[index];
  if (runtimeNs) {
    const Value& nsValue = *runtimeNs;
    std::string uri;
    if (nsValue.IsObject() && nsValue.object->kind == ObjectKind::Namespace) uri = static_cast<NativeObject*>(nsValue.object)->text;
    else uri = ToString(nsValue);
    nsStorage = InternNs(kNsNamespace, uri);
    m.ns = &nsStorage;
    m.nsCount = 1;
    m.publicNs = IsPublicLike(nsStorage);
  }
  if (runtimeName) {
    const Value& n = *runtimeName;
    if (n.IsObject() && n.object->kind == ObjectKind::QName) {
      auto* q = static_cast<NativeObject*>(n.object);
      storage = ToString(q->a);
      nsStorage = InternNs(kNsNamespace, q->text);
      m.ns = &nsStorage;
      m.nsCount = 1;
      m.publicNs = IsPublicLike(nsStorage);
      // The name of an attribute (xml.@a.name()) names an attribute again.
      if (q->b.IsBoolean() && q->b.boolean) m.attribute = true;
    } else {
      storage = n.IsNumber() && n.number >= 0 && n.number < 4294967295.0 && n.number == std::floor(n.number)
                    ? std::to_string(static_cast<std::uint64_t>(n.number))
                    : ToString(n);
    }
    m.text = &storage;
    m.id = FindId(storage);
  }
  return m;
}

ClassObject* Machine::ResolveType(AbcUnit& unit, std::uint32_t index) {
  if (index == 0 || index >= unit.multinames.size()) return nullptr;
  const AbcMultiname& raw = unit.abc->multinames[index];
  if (raw.kind == kTypeName) {
    // Vector.<T>: the specialisation (only the generic's own classes are typed).
    ClassObject* param = ResolveType(unit, raw.typeParams.empty() ? 0 : raw.typeParams[0]);
    return ApplyVector(*this, param);
  }
  const Multiname& m = unit.multinames[index];
  if (!m.text) return nullptr;
  bool found = false;
  const Value v = LookupDomain(m, found);
  if (found && v.IsObject() && v.object->kind == ObjectKind::Class) return static_cast<ClassObject*>(v.object);
  return nullptr;
}

Value Machine::LookupDomain(const Multiname& name, bool& found, CallerHolds holds) {
  found = false;
  if (name.id == kNoName) return Value();
  const auto it = domain.find(name.id);
  if (it == domain.end()) return Value();
  for (const Definition& d : it->second) {
    for (std::uint32_t i = 0; i < name.nsCount; ++i) {
      if (name.ns[i] != d.ns) continue;
      found = true;
      if (!d.unit) return d.value;
      // The script may load more definitions of this name (and move the list).
      AbcUnit* unit = d.unit;
      const std::size_t script = d.script;
      RunScript(*unit, script, holds);
      Object* global = unit->scripts[script].global;
      Multiname exact = name;
      exact.ns = &d.ns;
      exact.nsCount = 1;
      return GetProperty(Value::Obj(global), exact);
    }
  }
  return Value();
}

Object* Machine::FindDefinition(const Multiname& name) {
  if (name.id == kNoName) return nullptr;
  const auto it = domain.find(name.id);
  if (it == domain.end()) return nullptr;
  for (const Definition& d : it->second) {
    for (std::uint32_t i = 0; i < name.nsCount; ++i) {
      if (name.ns[i] != d.ns) continue;
      if (!d.unit) return globalObject;
      AbcUnit* unit = d.unit;
      const std::size_t script = d.script;
      RunScript(*unit, script);
      return unit->scripts[script].global;
    }
  }
  return nullptr;
}

ClassObject* Machine::FindClass(const std::string& qualifiedName, CallerHolds holds) {
  std::string package, name = qualifiedName;
  std::size_t split = qualifiedName.rfind("::");
  if (split != std::string::npos) {
    package = qualifiedName.substr(0, split);
    name = qualifiedName.substr(split + 2);
  } else if ((split = qualifiedName.rfind('.')) != std::string::npos) {
    package = qualifiedName.substr(0, split);
    name = qualifiedName.substr(split + 1);
  }
  Multiname m;
  m.id = FindId(name);
  if (m.id == kNoName) return nullptr;
  m.text = &NameText(m.id);
  const NsId ns = InternNs(kNsNamespace, package);
  m.ns = &ns;
  m.nsCount = 1;
  m.publicNs = IsPublicLike(ns);
  bool found = false;
  Value v;
  try {
    v = LookupDomain(m, found, holds);
  } catch (const Thrown& thrown) {
    if (onUncaught) onUncaught(ErrorText(thrown.value));
    return nullptr;
  }
  return found && v.IsObject() && v.object->kind == ObjectKind::Class ? static_cast<ClassObject*>(v.object) : nullptr;
}

void Machine::InitSlots(Object* object, const Traits& traits) {
  object->slotValues.resize(traits.slotValues.size());
  for (std::size_t i = 0; i < traits.slotValues.size(); ++i) object->slotValues[i] = traits.slotValues[i].initial;
}

Value Machine::CoerceSlot(const Traits::SlotInfo& slot, const Value& v) {
  switch (slot.typeKind) {
    case 0: return v;
    case 1: return v.IsNumber() && IsIntValue(v.number) ? v : Value::Number(ToInt32(v));
    case 2: return Value::Number(ToUint32(v));
    case 3: return v.IsNumber() ? v : Value::Number(ToNumber(v));
    case 4: return Value::Bool(ToBoolean(v));
    case 5: return v.IsNullish() ? Value::Null() : v.IsString() ? v : StrValue(ToString(v));
    case 6: return v.IsUndefined() ? Value::Null() : v;
    default: {
      auto& info = const_cast<Traits::SlotInfo&>(slot);
      if (!info.type && info.typeUnit) info.type = ResolveType(*info.typeUnit, info.typeIndex);
      if (!info.type) return v.IsUndefined() ? Value::Null() : v;
      return Coerce(v, info.type);
    }
  }
}

// Methods in a namespace of their own are named with its URI in stack traces.
void Machine::NamePrefix(MethodInfo* method, NsId ns) const {
  const NamespaceInfo& info = Ns(ns);
  method->nsPrefix = info.kind == kNsNamespace && !info.uri.empty() && !IsPublicLike(ns) ? info.uri + "::" : "";
}

// A protected member overridden in a subclass is declared in the subclass's protected
// namespace; code of the base class names it in the base's, and reaches the override.
void Machine::OverrideProtected(std::vector<Binding>& list, NsId ns, Binding::Kind kind, MethodInfo* method,
                                std::uint8_t traitKind) const {
  if (Ns(ns).kind != kNsProtected) return;
  for (Binding& b : list) {
    if (b.ns == ns || b.kind != kind || Ns(b.ns).kind != kNsProtected) continue;
    if (kind == Binding::Kind::Method) b.method = method;
    else if (traitKind == kTraitGetter) b.getter = method;
    else b.setter = method;
  }
}

void Machine::InitTraits(AbcUnit& unit, Traits& traits, const std::vector<AbcTrait>& abcTraits, ClassObject* owner,
                         bool isStatic) {
  const AbcFile& abc = *unit.abc;
  const std::size_t inherited = traits.slotValues.size();
  for (const AbcTrait& t : abcTraits) {
    const std::uint32_t id = unit.multinameIds[t.name];
    const NsId ns = unit.multinames[t.name].nsCount ? unit.multinames[t.name].ns[0] : publicNs_;
    std::vector<Binding>& list = traits.bindings[id];
    Binding* existing = nullptr;
    for (Binding& b : list)
      if (b.ns == ns) existing = &b;
    switch (t.kind) {
      case kTraitSlot:
      case kTraitConst:
      case kTraitClass:
      case kTraitFunction: {
        std::size_t slot = traits.slotValues.size();
        if (t.slotId > 0 && t.slotId - 1 >= inherited && t.slotId <= 65536) {
          slot = t.slotId - 1;
          if (slot < traits.slotValues.size() && traits.slotValues[slot].name != kNoName) slot = traits.slotValues.size();
        }
        if (slot >= traits.slotValues.size()) traits.slotValues.resize(slot + 1);
        Traits::SlotInfo& info = traits.slotValues[slot];
        info.name = id;
        if (t.kind == kTraitSlot || t.kind == kTraitConst) {
          const AbcMultiname& type = abc.multinames[t.index];
          const std::string typeName = type.kind == kQName || type.kind == kQNameA ? abc.strings[type.name] : "";
          const bool topLevel = type.kind == kQName && abc.namespaces[type.ns].name < abc.strings.size() &&
                                abc.strings[abc.namespaces[type.ns].name].empty();
          if (t.index == 0) info.typeKind = 0;
          else if (topLevel && typeName == "int") info.typeKind = 1;
          else if (topLevel && typeName == "uint") info.typeKind = 2;
          else if (topLevel && typeName == "Number") info.typeKind = 3;
          else if (topLevel && typeName == "Boolean") info.typeKind = 4;
          else if (topLevel && typeName == "String") info.typeKind = 5;
          else if (topLevel && typeName == "Object") info.typeKind = 6;
          else {
            info.typeKind = 7;
            info.typeUnit = &unit;
            info.typeIndex = t.index;
          }
          static const Value defaults[] = {Value(), Value::Number(0), Value::Number(0), Value::Number(std::nan("")),
                                           Value::Bool(false), Value::Null(), Value::Null(), Value::Null()};
          info.initial = t.valueIndex ? DefaultValue(unit, t.valueKind, t.valueIndex) : defaults[info.typeKind];
          if (t.valueIndex && info.typeKind != 0 && info.typeKind != 7) info.initial = CoerceSlot(info, info.initial);
        } else if (t.kind == kTraitFunction) {
          info.initial = Value::Obj(NewFunction(unit.methods[t.index].get(), {}));
        } else {
          info.initial = Value::Null();
        }
        Binding b;
        b.ns = ns;
        b.kind = t.kind == kTraitSlot ? Binding::Kind::Slot : t.kind == kTraitClass ? Binding::Kind::Class : Binding::Kind::Const;
        if (t.kind == kTraitFunction) b.kind = Binding::Kind::Slot;
        b.slot = static_cast<std::uint32_t>(slot);
        if (existing) *existing = b;
        else list.push_back(b);
        break;
      }
      case kTraitMethod: {
        MethodInfo* m = unit.methods[t.index].get();
        if (owner) m->declaringClass = owner;
        m->isStatic = isStatic;
        m->name = NameText(id);
        m->role = MethodInfo::Role::Method;
        NamePrefix(m, ns);
        Binding b;
        b.ns = ns;
        b.kind = Binding::Kind::Method;
        b.method = m;
        // The names an overridden method was also reached by (an interface's namespace)
        // reach the override.
        const MethodInfo* overridden = existing && existing->kind == Binding::Kind::Method ? existing->method : nullptr;
        if (existing) *existing = b;
        else list.push_back(b);
        if (overridden)
          for (Binding& other : list)
            if (other.kind == Binding::Kind::Method && other.method == overridden) other.method = m;
        OverrideProtected(list, ns, Binding::Kind::Method, m, t.kind);
        break;
      }
      case kTraitGetter:
      case kTraitSetter: {
        MethodInfo* m = unit.methods[t.index].get();
        if (owner) m->declaringClass = owner;
        m->isStatic = isStatic;
        m->name = NameText(id);
        m->role = t.kind == kTraitGetter ? MethodInfo::Role::Getter : MethodInfo::Role::Setter;
        NamePrefix(m, ns);
        if (!existing || existing->kind != Binding::Kind::Accessor) {
          Binding b;
          b.ns = ns;
          b.kind = Binding::Kind::Accessor;
          if (existing) *existing = b;
          else list.push_back(b);
          existing = &list.back();
          for (Binding& x : list)
            if (x.ns == ns) existing = &x;
        }
        (t.kind == kTraitGetter ? existing->getter : existing->setter) = m;
        OverrideProtected(list, ns, Binding::Kind::Accessor, m, t.kind);
        break;
      }
    }
  }
}

// Adds interface i (with the interfaces it extends) to class c. An interface's methods
// are called through the interface's namespace: they answer with the class's public
// methods of the same name.
void Machine::AddInterface(ClassObject* c, ClassObject* i) {
  std::vector<ClassObject*> added{i};
  added.insert(added.end(), i->interfaces.begin(), i->interfaces.end());
  for (ClassObject* a : added) {
    if (std::find(c->interfaces.begin(), c->interfaces.end(), a) == c->interfaces.end()) c->interfaces.push_back(a);
    for (const auto& [id, list] : a->instanceTraits->bindings) {
      auto& mine = c->instanceTraits->bindings[id];
      const Binding* pub = nullptr;
      for (const Binding& b : mine)
        if (b.ns == publicNs_) pub = &b;
      if (!pub) continue;
      const Binding copy = *pub;
      for (const Binding& ib : list) {
        bool has = false;
        for (const Binding& b : mine) has = has || b.ns == ib.ns;
        if (!has) {
          Binding alias = copy;
          alias.ns = ib.ns;
          mine.push_back(alias);
        }
      }
    }
  }
}

void Machine::ResolvePendingInterfaces(ClassObject* created) {
  for (std::size_t k = 0; k < pendingInterfaces_.size();) {
    const PendingInterface p = pendingInterfaces_[k];
    ClassObject* i = ResolveType(*p.unit, p.name);
    // The interface just made is not yet in its script's slot: it is found by its name.
    const Multiname& wanted = p.unit->multinames[p.name];
    if (!i && wanted.text && *wanted.text == created->name) {
      for (std::uint32_t n = 0; n < wanted.nsCount && !i; ++n)
        if (Ns(wanted.ns[n]).uri == created->package) i = created;
    }
    if (!i) {
      ++k;
      continue;
    }
    pendingInterfaces_.erase(pendingInterfaces_.begin() + static_cast<long>(k));
    AddInterface(p.cls, i);
    // An interface that gained a parent passes it on to the classes that already have it.
    if (p.cls->isInterface) {
      for (const auto& unit : units)
        for (ClassObject* holder : unit->classes)
          if (holder && holder != p.cls &&
              std::find(holder->interfaces.begin(), holder->interfaces.end(), p.cls) != holder->interfaces.end())
            AddInterface(holder, i);
    }
  }
}

ClassObject* Machine::NewClass(AbcUnit& unit, std::uint32_t index, ClassObject* base, const ScopeChain& scope) {
  const AbcFile& abc = *unit.abc;
  const AbcInstance& instance = abc.instances[index];
  const AbcClass& classInfo = abc.classes[index];
  auto* c = heap.Make<ClassObject>(nullptr, classClass->prototype);
  c->cls = classClass;
  const AbcMultiname& name = abc.multinames[instance.name];
  c->name = abc.strings[name.name];
  if (name.kind == kQName || name.kind == kQNameA) c->package = abc.strings[abc.namespaces[name.ns].name];
  if (base && base->isFinal && base != objectClass)
    ThrowError("VerifyError", 1103, "Class " + c->name + " cannot extend final base class.");
  c->base = base;
  c->sealed = (instance.flags & AbcInstance::kSealed) != 0;
  c->isInterface = (instance.flags & AbcInstance::kInterface) != 0;
  c->isFinal = (instance.flags & AbcInstance::kFinal) != 0;
  if (base && !base->sealed) c->sealed = c->sealed && true;
  c->allocate = base ? base->allocate : nullptr;
  if (instance.protectedNs) c->protectedNs = unit.namespaces[instance.protectedNs];
  c->instanceTraits = std::make_unique<Traits>();
  if (base) *c->instanceTraits = *base->instanceTraits;
  c->staticTraits = std::make_unique<Traits>();
  c->traits = c->staticTraits.get();
  c->prototype = heap.Make<Object>(ObjectKind::Plain, nullptr, base ? base->prototype : objectClass->prototype);
  c->prototype->cls = objectClass;
  c->prototype->SetOwn("constructor", Value::Obj(c), false);
  c->SetOwn("prototype", Value::Obj(c->prototype), false);
  c->scope = scope;
  c->scope.push_back({Value::Obj(c), false});
  unit.classes[index] = c;
  InitTraits(unit, *c->instanceTraits, instance.traits, c, false);
  InitTraits(unit, *c->staticTraits, classInfo.traits, c, true);
  for (std::uint32_t iface : instance.interfaces) {
    if (ClassObject* i = ResolveType(unit, iface)) AddInterface(c, i);
    else pendingInterfaces_.push_back({c, &unit, iface});
  }
  if (base)
    for (ClassObject* i : base->interfaces) AddInterface(c, i);
  if (c->isInterface) ResolvePendingInterfaces(c);
  InitSlots(c, *c->staticTraits);
  c->init = unit.methods[instance.init].get();
  c->init->declaringClass = c;
  if (c->init->name.empty()) c->init->name = c->name;
  c->init->role = MethodInfo::Role::Constructor;
  MethodInfo* cinit = unit.methods[classInfo.init].get();
  cinit->declaringClass = c;
  cinit->isStatic = true;
  cinit->role = MethodInfo::Role::ClassInit;
  Invoke(cinit, Value::Obj(c), nullptr, 0, &c->scope);
  return c;
}

void Machine::RunScript(AbcUnit& unit, std::size_t index, CallerHolds holds) {
  if (index >= unit.scripts.size() || unit.scripts[index].state != 0) return;
  unit.scripts[index].state = 1;
  Object* global = unit.scripts[index].global;
  MethodInfo* init = unit.methods[unit.abc->scripts[index].init].get();
  init->role = MethodInfo::Role::ScriptInit;
  ScopeChain scope;
  Invoke(init, Value::Obj(global), nullptr, 0, &scope, holds);
  unit.scripts[index].state = 2;
}

bool Machine::LoadAbc(std::span<const std::uint8_t> bytes, bool lazy, std::string& error, CallerHolds holds) {
  std::shared_ptr<AbcFile> abc = ParseAbc(bytes, &error);
  if (!abc) return false;
  auto unit = std::make_unique<AbcUnit>();
  unit->abc = abc;
  unit->strings.assign(abc->strings.size(), nullptr);
  unit->namespaces.resize(abc->namespaces.size(), publicNs_);
  for (std::size_t i = 1; i < abc->namespaces.size(); ++i) {
    const AbcNamespace& ns = abc->namespaces[i];
    const std::string& uri = abc->strings[ns.name];
    unit->namespaces[i] = ns.kind == kNsPrivate ? InternNs(kNsPrivate, uri, nextPrivate_ + i) : InternNs(ns.kind, uri);
  }
  nextPrivate_ += abc->namespaces.size() + 1;
  unit->nsSets.resize(abc->nsSets.size());
  for (std::size_t i = 1; i < abc->nsSets.size(); ++i)
    for (std::uint32_t ns : abc->nsSets[i]) unit->nsSets[i].push_back(unit->namespaces[ns]);
  unit->multinames.resize(abc->multinames.size());
  unit->multinameIds.assign(abc->multinames.size(), kNoName);
  for (std::size_t i = 1; i < abc->multinames.size(); ++i) {
    const AbcMultiname& raw = abc->multinames[i];
    Multiname& m = unit->multinames[i];
    const AbcMultiname& named = raw.kind == kTypeName ? abc->multinames[raw.typeName] : raw;
    if (!named.RuntimeName() && named.kind != 0) {
      if (named.name != 0 || named.kind == kQName || named.kind == kQNameA || named.kind == kMultiname || named.kind == kMultinameA) {
        m.id = Intern(abc->strings[named.name]);
        m.text = &NameText(m.id);
        // "*" as a name (index 0) stands for any name.
        if (named.name == 0) {
          m.id = kNoName;
          m.text = nullptr;
        }
      }
    }
    unit->multinameIds[i] = m.id;
    if ((named.kind == kQName || named.kind == kQNameA) && named.ns == 0) {
      // *::name: any namespace (the public one for objects, every one for XML).
      if (unit->anyNamespace.empty()) unit->anyNamespace = {publicNs_, InternNs(kNsNamespace, "*")};
      m.ns = unit->anyNamespace.data();
      m.nsCount = 2;
    } else if (named.kind == kQName || named.kind == kQNameA) {
      m.ns = &unit->namespaces[named.ns];
      m.nsCount = 1;
    } else if (named.kind == kMultiname || named.kind == kMultinameA || named.kind == kMultinameL || named.kind == kMultinameLA) {
      m.ns = unit->nsSets[named.nsSet].data();
      m.nsCount = static_cast<std::uint32_t>(unit->nsSets[named.nsSet].size());
    }
    for (std::uint32_t k = 0; k < m.nsCount; ++k) m.publicNs = m.publicNs || IsPublicLike(m.ns[k]);
    m.attribute = named.Attribute();
  }
  // Names used only in method bodies may be missing from the interned table: the ids
  // above cover every multiname of the file, so trait lookups by id always work.
  unit->methods.resize(abc->methods.size());
  for (std::size_t i = 0; i < abc->methods.size(); ++i) {
    unit->methods[i] = std::make_unique<MethodInfo>();
    unit->methods[i]->unit = unit.get();
    unit->methods[i]->index = static_cast<std::uint32_t>(i);
    unit->methods[i]->name = abc->strings[abc->methods[i].name];
  }
  unit->classes.assign(abc->classes.size(), nullptr);
  unit->scripts.resize(abc->scripts.size());
  AbcUnit* raw = unit.get();
  units.push_back(std::move(unit));
  for (std::size_t i = 0; i < abc->scripts.size(); ++i) {
    auto traits = std::make_unique<Traits>();
    InitTraits(*raw, *traits, abc->scripts[i].traits, nullptr, false);
    Object* global = heap.Make<Object>(ObjectKind::Global, traits.get(), objectClass->prototype);
    global->cls = objectClass;
    InitSlots(global, *traits);
    ownedTraits.push_back(std::move(traits));
    raw->scripts[i].global = global;
    for (const AbcTrait& t : abc->scripts[i].traits) {
      const Multiname& name = raw->multinames[t.name];
      if (name.id == kNoName || !name.nsCount) continue;
      domain[name.id].push_back(Definition{name.ns[0], raw, i, Value()});
    }
  }
  if (!lazy && !abc->scripts.empty()) {
    Guard([&] { RunScript(*raw, abc->scripts.size() - 1, holds); });
  }
  return true;
}

}  // namespace vantrel::flash::avm2
