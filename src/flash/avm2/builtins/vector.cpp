// Vector.<T>: typed, optionally fixed-length lists. Each element type gets its own class
// ("__AS3__.vec::Vector.<int>"); the methods live on the generic's prototype.
#include <algorithm>
#include <cmath>

#include "flash/avm2/builtins/support.h"
#include "flash/script/string_utils.h"

namespace vantrel::flash::avm2 {

namespace {

constexpr std::size_t kMaxLength = 1u << 26;

NativeObject* This(Machine& m, const Value& self, const char* name) {
  if (!self.IsObject() || self.object->kind != ObjectKind::Vector)
    m.ThrowTypeError(1034, std::string("Type Coercion failed: cannot convert ") + m.ClassNameForError(self) + " to __AS3__.vec.Vector.");
  (void)name;
  return static_cast<NativeObject*>(self.object);
}

ClassObject* ElementType(NativeObject* v) {
  if (!v->cls || v->cls->typeParams.empty() || !v->cls->typeParams[0].IsObject()) return nullptr;
  return static_cast<ClassObject*>(v->cls->typeParams[0].object);
}

// An element as a vector keeps it: of the vector's type; Vector.<*> keeps undefined as null.
Value Element(Machine& m, const Value& value, ClassObject* type) {
  if (!type && value.IsUndefined()) return Value::Null();
  return m.Coerce(value, type);
}

Value DefaultElement(Machine& m, ClassObject* type) {
  if (type == m.intClass || type == m.uintClass || type == m.numberClass) return Value::Number(0);
  if (!type) return Value();
  return Value::Null();  // Vector.<Boolean> keeps its elements as objects too
}

// What pop and shift give on an empty vector: 0 for the number vectors, else undefined.
Value EmptyElement(Machine& m, ClassObject* type) {
  if (type == m.intClass || type == m.uintClass || type == m.numberClass) return Value::Number(0);
  return Value();
}

bool Fixed(NativeObject* v) { return v->b.IsBoolean() && v->b.boolean; }
void CheckFixed(Machine& m, NativeObject* v) {
  if (Fixed(v)) m.ThrowError("RangeError", 1126, "Cannot change the length of a fixed Vector.");
}

Object* AllocateVector(Machine& m, ClassObject*) {
  auto* v = m.heap.Make<NativeObject>(ObjectKind::Vector, nullptr, nullptr);
  v->b = Value::Bool(false);
  return v;
}

Value VectorConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  auto* v = static_cast<NativeObject*>(self.object);
  const double length = NumArg(m, args, argc, 0, 0);
  if (length < 0 || length > kMaxLength || std::isnan(length))
    m.ThrowError("RangeError", 1005, "Array index is not a positive integer (" + NumberToString(length) + ").");
  v->list.assign(static_cast<std::size_t>(length), DefaultElement(m, ElementType(v)));
  v->b = Value::Bool(m.ToBoolean(Arg(args, argc, 1)));
  return Value();
}

// Vector.<T>(array): a new vector of the array's (or vector's) elements, converted.
Value VectorCall(Machine& m, const Value& self, const Value* args, int argc) {
  auto* cls = static_cast<ClassObject*>(self.object);
  const Value source = Arg(args, argc, 0);
  if (source.IsObject() && source.object->cls == cls) return source;
  std::vector<Value> items;
  if (source.IsObject() && source.object->kind == ObjectKind::Array) items = static_cast<ArrayObject*>(source.object)->elements;
  else if (source.IsObject() && source.object->kind == ObjectKind::Vector) items = static_cast<NativeObject*>(source.object)->list;
  else if (source.IsObject() && source.object->kind == ObjectKind::ByteArray) {
    // A ByteArray converts as a list of its bytes.
    const double length = m.ToNumber(m.GetPublic(source, "length"));
    for (double i = 0; i < length && i < kMaxLength; ++i) items.push_back(m.GetPublic(source, NumberToString(i)));
  } else {
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(source) + " to " + cls->QualifiedName() + ".");
  }
  auto* v = static_cast<NativeObject*>(m.ConstructClass(cls, nullptr, 0));
  ClassObject* type = ElementType(v);
  for (const Value& item : items) v->list.push_back(Element(m, item.type == Value::Type::Hole ? Value() : item, type));
  return Value::Obj(v);
}

Value Length(Machine& m, const Value& self, const Value*, int) { return Value::Number(static_cast<double>(This(m, self, "length")->list.size())); }
Value SetLength(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* v = This(m, self, "length");
  CheckFixed(m, v);
  const double n = NumArg(m, args, argc, 0, 0);
  if (n < 0 || n > kMaxLength || std::isnan(n)) m.ThrowError("RangeError", 1005, "Array index is not a positive integer (" + NumberToString(n) + ").");
  v->list.resize(static_cast<std::size_t>(n), DefaultElement(m, ElementType(v)));
  return Value();
}
Value GetFixed(Machine& m, const Value& self, const Value*, int) { return Value::Bool(Fixed(This(m, self, "fixed"))); }
Value SetFixed(Machine& m, const Value& self, const Value* args, int argc) {
  This(m, self, "fixed")->b = Value::Bool(m.ToBoolean(Arg(args, argc, 0)));
  return Value();
}

Value Push(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* v = This(m, self, "push");
  CheckFixed(m, v);
  ClassObject* type = ElementType(v);
  for (int i = 0; i < argc; ++i) v->list.push_back(Element(m, args[i], type));
  return Value::Number(static_cast<double>(v->list.size()));
}
Value Pop(Machine& m, const Value& self, const Value*, int) {
  NativeObject* v = This(m, self, "pop");
  CheckFixed(m, v);
  if (v->list.empty()) return EmptyElement(m, ElementType(v));
  const Value last = v->list.back();
  v->list.pop_back();
  return last;
}
Value Shift(Machine& m, const Value& self, const Value*, int) {
  NativeObject* v = This(m, self, "shift");
  CheckFixed(m, v);
  if (v->list.empty()) return EmptyElement(m, ElementType(v));
  const Value first = v->list.front();
  v->list.erase(v->list.begin());
  return first;
}
Value Unshift(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* v = This(m, self, "unshift");
  CheckFixed(m, v);
  ClassObject* type = ElementType(v);
  std::vector<Value> items;
  for (int i = 0; i < argc; ++i) items.push_back(Element(m, args[i], type));
  v->list.insert(v->list.begin(), items.begin(), items.end());
  return Value::Number(static_cast<double>(v->list.size()));
}
std::string Join(Machine& m, NativeObject* v, const std::string& separator) {
  std::string out;
  for (std::size_t i = 0; i < v->list.size(); ++i) {
    if (i) out += separator;
    out += m.ToString(v->list[i]);
    m.CheckStringRoom(out.size());
  }
  return out;
}
Value JoinMethod(Machine& m, const Value& self, const Value* args, int argc) {
  return m.StrValue(Join(m, This(m, self, "join"), argc > 0 && !args[0].IsUndefined() ? m.ToString(args[0]) : ","));
}
Value ToStringMethod(Machine& m, const Value& self, const Value*, int) { return m.StrValue(Join(m, This(m, self, "toString"), ",")); }
// Each element's own toLocaleString: Boolean and String have none but Object's.
Value ToLocaleStringMethod(Machine& m, const Value& self, const Value*, int) {
  NativeObject* v = This(m, self, "toLocaleString");
  std::string out;
  for (std::size_t i = 0; i < v->list.size(); ++i) {
    if (i) out += ",";
    if (!v->list[i].IsNullish()) out += m.ToString(m.CallPublic(v->list[i], "toLocaleString"));
  }
  return m.StrValue(out);
}
// A vector's indexOf and lastIndexOf take their start as a Number, held within the vector.
Value IndexOf(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* v = This(m, self, "indexOf");
  for (std::size_t i = SearchStart(NumArg(m, args, argc, 1, 0), v->list.size()); i < v->list.size(); ++i)
    if (m.StrictEquals(v->list[i], Arg(args, argc, 0))) return Value::Number(static_cast<double>(i));
  return Value::Number(-1);
}
Value LastIndexOf(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* v = This(m, self, "lastIndexOf");
  const std::size_t length = v->list.size();
  std::size_t start = SearchStart(NumArg(m, args, argc, 1, 0x7FFFFFFF), length);
  if (start == length) {
    if (length == 0) return Value::Number(-1);
    --start;
  }
  for (std::size_t i = start + 1; i-- > 0;)
    if (m.StrictEquals(v->list[i], Arg(args, argc, 0))) return Value::Number(static_cast<double>(i));
  return Value::Number(-1);
}
Value NewLike(Machine& m, NativeObject* v, std::vector<Value> items) {
  auto* out = static_cast<NativeObject*>(m.ConstructClass(v->cls, nullptr, 0));
  out->list = std::move(items);
  return Value::Obj(out);
}
Value Slice(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* v = This(m, self, "slice");
  const double length = static_cast<double>(v->list.size());
  auto rel = [&](int i, double fallback) {
    double d = NumArg(m, args, argc, i, fallback);
    if (std::isnan(d)) d = 0;
    d = std::trunc(d);
    if (d < 0) d = std::max(0.0, length + d);
    return std::min(d, length);
  };
  const double start = rel(0, 0), end = rel(1, length);
  std::vector<Value> items;
  for (double i = start; i < end; ++i) items.push_back(v->list[static_cast<std::size_t>(i)]);
  return NewLike(m, v, std::move(items));
}
Value Splice(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* v = This(m, self, "splice");
  const double length = static_cast<double>(v->list.size());
  double start = NumArg(m, args, argc, 0, 0);
  if (std::isnan(start)) start = 0;
  start = std::trunc(start);
  if (start < 0) start = std::max(0.0, length + start);
  start = std::min(start, length);
  double remove = argc > 1 ? NumArg(m, args, argc, 1, 0) : length - start;
  // A negative count counts back from what follows start, as a negative start does.
  remove = std::isnan(remove) ? 0.0 : std::trunc(remove);
  if (remove < 0) remove += length - start;
  remove = std::clamp(remove, 0.0, length - start);
  // A fixed vector refuses to grow here but lets splice shorten it.
  if (Fixed(v) && remove < std::max(0, argc - 2)) CheckFixed(m, v);
  const auto s = static_cast<std::size_t>(start), r = static_cast<std::size_t>(remove);
  std::vector<Value> removed(v->list.begin() + static_cast<long>(s), v->list.begin() + static_cast<long>(s + r));
  v->list.erase(v->list.begin() + static_cast<long>(s), v->list.begin() + static_cast<long>(s + r));
  ClassObject* type = ElementType(v);
  std::vector<Value> added;
  for (int i = 2; i < argc; ++i) added.push_back(Element(m, args[i], type));
  v->list.insert(v->list.begin() + static_cast<long>(s), added.begin(), added.end());
  return NewLike(m, v, std::move(removed));
}
Value Concat(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* v = This(m, self, "concat");
  std::vector<Value> items = v->list;
  for (int i = 0; i < argc; ++i) {
    if (!args[i].IsObject() || args[i].object->kind != ObjectKind::Vector)
      m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(args[i]) + " to " + v->cls->QualifiedName() + ".");
    const auto& other = static_cast<NativeObject*>(args[i].object)->list;
    for (const Value& item : other) items.push_back(Element(m, item, ElementType(v)));
  }
  return NewLike(m, v, std::move(items));
}
Value Reverse(Machine& m, const Value& self, const Value*, int) {
  NativeObject* v = This(m, self, "reverse");
  std::reverse(v->list.begin(), v->list.end());
  return self;
}
Value Iterate(Machine& m, const Value& self, const Value* args, int argc, int tag) {
  NativeObject* v = This(m, self, "forEach");
  const Value callback = Arg(args, argc, 0);
  if (!IsCallable(callback) && !callback.IsNullish())
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(callback) + " to Function.");
  std::vector<Value> out;
  const std::vector<Value> items = v->list;
  for (std::size_t i = 0; i < items.size(); ++i) {
    // A null callback is never called: map gives empty elements, the others see nothing.
    if (callback.IsNullish()) {
      if (tag == 1) out.push_back(Element(m, Value(), ElementType(v)));
      continue;
    }
    const Value callArgs[3] = {items[i], Value::Number(static_cast<double>(i)), self};
    const Value r = m.Call(callback, Arg(args, argc, 1), callArgs, 3);
    if (tag == 1) out.push_back(Element(m, r, ElementType(v)));
    if (tag == 2 && m.ToBoolean(r)) out.push_back(items[i]);
    if (tag == 3 && m.ToBoolean(r)) return Value::Bool(true);
    if (tag == 4 && !m.ToBoolean(r)) return Value::Bool(false);
  }
  if (tag == 1 || tag == 2) return NewLike(m, v, std::move(out));
  if (tag == 3) return Value::Bool(false);
  if (tag == 4) return Value::Bool(true);
  return Value();
}
Value ForEach(Machine& m, const Value& s, const Value* a, int n) { return Iterate(m, s, a, n, 0); }
Value Map(Machine& m, const Value& s, const Value* a, int n) { return Iterate(m, s, a, n, 1); }
Value Filter(Machine& m, const Value& s, const Value* a, int n) { return Iterate(m, s, a, n, 2); }
Value Some(Machine& m, const Value& s, const Value* a, int n) { return Iterate(m, s, a, n, 3); }
Value Every(Machine& m, const Value& s, const Value* a, int n) { return Iterate(m, s, a, n, 4); }

// The same sort as Array's; the vector is sorted in place and returned whatever the flags.
Value Sort(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* v = This(m, self, "sort");
  const Value how = Arg(args, argc, 0);
  const int flags = IsCallable(how) ? 0 : m.ToInt32(how);
  // A Vector has no indexed form to return: asked for one, the player leaves it unsorted.
  constexpr int kReturnIndexedArray = 8;
  if (flags & kReturnIndexedArray) return self;
  SortValues(m, v->list, flags, IsCallable(how) ? how : Value());
  return self;
}

Value InsertAt(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* v = This(m, self, "insertAt");
  CheckFixed(m, v);
  double at = NumArg(m, args, argc, 0, 0);
  if (at < 0) at = std::max(0.0, at + static_cast<double>(v->list.size()));
  at = std::min(at, static_cast<double>(v->list.size()));
  v->list.insert(v->list.begin() + static_cast<long>(at), Element(m, Arg(args, argc, 1), ElementType(v)));
  return Value();
}
Value RemoveAt(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* v = This(m, self, "removeAt");
  CheckFixed(m, v);
  double at = NumArg(m, args, argc, 0, 0);
  if (at < 0) at = std::max(0.0, at + static_cast<double>(v->list.size()));  // far back removes the first
  if (at >= v->list.size()) m.ThrowError("RangeError", 1125, "The index " + NumberToString(at) + " is out of range " + std::to_string(v->list.size()) + ".");
  const Value removed = v->list[static_cast<std::size_t>(at)];
  v->list.erase(v->list.begin() + static_cast<long>(at));
  return removed;
}

}  // namespace

ClassObject* ApplyVector(Machine& m, ClassObject* param) {
  ClassObject* generic = m.vectorClass;
  const Value key = param ? Value::Obj(param) : Value::Null();
  for (const Object::Property& p : generic->properties) {
    if (p.name.rfind("$vector:", 0) == 0 && p.value.IsObject()) {
      auto* c = static_cast<ClassObject*>(p.value.object);
      if (!c->typeParams.empty() && m.StrictEquals(c->typeParams[0], key)) return c;
    }
  }
  const std::string paramName = param ? param->QualifiedName() : "*";
  auto* c = m.heap.Make<ClassObject>(nullptr, m.classClass->prototype);
  c->cls = m.classClass;
  c->name = "Vector.<" + paramName + ">";
  c->package = "__AS3__.vec";
  c->base = m.objectClass;
  c->sealed = true;
  c->instanceTraits = std::make_unique<Traits>(*generic->instanceTraits);
  c->staticTraits = std::make_unique<Traits>();
  c->traits = c->staticTraits.get();
  c->allocate = AllocateVector;
  // A vector of a class's objects is a Vector.<*> to instanceof too.
  const bool numbers = param == m.intClass || param == m.uintClass || param == m.numberClass;
  Object* above = param && !numbers && m.vectorObjectClass ? m.vectorObjectClass->prototype : generic->prototype;
  c->prototype = m.heap.Make<Object>(ObjectKind::Plain, nullptr, above);
  c->prototype->cls = m.objectClass;
  c->prototype->SetOwn("constructor", Value::Obj(c), false);
  c->SetOwn("prototype", Value::Obj(c->prototype), false);
  c->init = generic->init;
  c->callHandler = generic->callHandler;
  c->typeParams.push_back(key);
  c->generic = generic;
  generic->SetOwn("$vector:" + paramName, Value::Obj(c), false);
  return c;
}

namespace {
Object* AllocateDictionary(Machine& m, ClassObject*) { return m.heap.Make<NativeObject>(ObjectKind::Dictionary, nullptr, nullptr); }
}  // namespace

void InstallVector(Machine& m) {
  ClassObject* dictionary = m.DefineClass("flash.utils", "Dictionary", m.objectClass, [](Machine&, const Value&, const Value*, int) { return Value(); }, false);
  dictionary->allocate = AllocateDictionary;

  ClassObject* generic = m.DefineClass("__AS3__.vec", "Vector", m.objectClass, VectorConstruct);
  m.vectorClass = generic;
  generic->allocate = AllocateVector;
  generic->callHandler = m.NativeMethod("Vector", VectorCall);
  static const Member kVectorMembers[] = {
      {"length", Length, SetLength, kAccessor, 0},
      {"fixed", GetFixed, SetFixed, kAccessor, 0},
      {"push", Push, nullptr, kPrototype, 0},
      {"pop", Pop, nullptr, kPrototype, 0},
      {"shift", Shift, nullptr, kPrototype, 0},
      {"unshift", Unshift, nullptr, kPrototype, 0},
      {"join", JoinMethod, nullptr, kPrototype, 0},
      {"toString", ToStringMethod, nullptr, kPrototype, 0},
      {"toLocaleString", ToLocaleStringMethod, nullptr, kPrototype, 0},
      {"indexOf", IndexOf, nullptr, kPrototype, 0},
      {"lastIndexOf", LastIndexOf, nullptr, kPrototype, 0},
      {"slice", Slice, nullptr, kPrototype, 0},
      {"splice", Splice, nullptr, kPrototype, 0},
      {"concat", Concat, nullptr, kPrototype, 0},
      {"reverse", Reverse, nullptr, kPrototype, 0},
      {"forEach", ForEach, nullptr, kPrototype, 0},
      {"map", Map, nullptr, kPrototype, 0},
      {"filter", Filter, nullptr, kPrototype, 0},
      {"some", Some, nullptr, kPrototype, 0},
      {"every", Every, nullptr, kPrototype, 0},
      {"sort", Sort, nullptr, kPrototype, 0},
      {"insertAt", InsertAt, nullptr, kPrototype, 0},
      {"removeAt", RemoveAt, nullptr, kPrototype, 0},
  };
  Install(m, generic, kVectorMembers);
  m.vectorObjectClass = ApplyVector(m, nullptr);
  for (ClassObject* t : {m.intClass, m.uintClass, m.numberClass}) ApplyVector(m, t);
  // The specialisations' names inside their package, which older compilers wrote.
  const NsId internal = m.InternNs(kNsPackageInternal, "__AS3__.vec");
  m.DefineGlobal(internal, "Vector$int", Value::Obj(ApplyVector(m, m.intClass)));
  m.DefineGlobal(internal, "Vector$uint", Value::Obj(ApplyVector(m, m.uintClass)));
  m.DefineGlobal(internal, "Vector$double", Value::Obj(ApplyVector(m, m.numberClass)));
  m.DefineGlobal(internal, "Vector$object", Value::Obj(m.vectorObjectClass));
}

}  // namespace vantrel::flash::avm2
