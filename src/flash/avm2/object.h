// Values and objects of the ActionScript 3 machine. They live on the engine's shared
// garbage-collected heap beside the ActionScript 1/2 ones (strings are the same cells).
// An object has traits (the sealed part its class declares: slots, methods, getters and
// setters, looked up by namespace and name), dynamic properties in insertion order, and a
// prototype chain for dynamic lookup.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "flash/script/heap.h"
#include "flash/script/string.h"

namespace vantrel::flash {
class DisplayObject;
class MovieClip;
}

namespace vantrel::flash::avm2 {

using script::String;
class Object;
class Machine;
class ClassObject;
struct AbcUnit;

struct Value {
  enum class Type : std::uint8_t { Undefined, Null, Boolean, Number, String, Object, Hole };
  Type type = Type::Undefined;
  union {
    bool boolean;
    double number;
    const String* string;
    Object* object;
  };
  Value() : number(0) {}
  static Value Undefined() { return {}; }
  static Value Null() {
    Value v;
    v.type = Type::Null;
    return v;
  }
  static Value Hole() {
    Value v;
    v.type = Type::Hole;
    return v;
  }
  static Value Bool(bool b) {
    Value v;
    v.type = Type::Boolean;
    v.boolean = b;
    return v;
  }
  static Value Number(double n) {
    Value v;
    v.type = Type::Number;
    v.number = n;
    return v;
  }
  static Value Str(const String* s) {
    Value v;
    v.type = Type::String;
    v.string = s;
    return v;
  }
  static Value Obj(Object* o) {
    Value v;
    if (!o) {
      v.type = Type::Null;
      return v;
    }
    v.type = Type::Object;
    v.object = o;
    return v;
  }
  bool IsUndefined() const { return type == Type::Undefined || type == Type::Hole; }
  bool IsNull() const { return type == Type::Null; }
  bool IsNullish() const { return type == Type::Undefined || type == Type::Null || type == Type::Hole; }
  bool IsNumber() const { return type == Type::Number; }
  bool IsString() const { return type == Type::String; }
  bool IsBoolean() const { return type == Type::Boolean; }
  bool IsObject() const { return type == Type::Object; }
  Object* AsObject() const { return type == Type::Object ? object : nullptr; }
};

void TraceValue(gc::Tracer& tracer, const Value& value);

// Namespaces are interned: equal namespaces have equal ids.
using NsId = std::uint32_t;
constexpr std::uint32_t kNoName = 0xFFFFFFFFu;

struct NamespaceInfo {
  std::uint8_t kind = 0;  // kNsNamespace for public and package namespaces
  std::string uri;
  std::uint64_t unique = 0;  // private namespaces: one per declaration
};

// A name to look up: a local name (interned id, or kNoName when the text is not interned
// and can only be dynamic) and the namespaces it may be in.
struct Multiname {
  std::uint32_t id = kNoName;
  const std::string* text = nullptr;  // the local name's text; null = any name
  const NsId* ns = nullptr;
  std::uint32_t nsCount = 0;
  bool publicNs = false;  // one of the namespaces is public: dynamic properties count
  bool attribute = false;
};

// A method as the machine calls it: one of an ABC file's methods, or a native function.
using Native = Value (*)(Machine&, const Value& self, const Value* args, int argc);

struct DecodedCode;
struct MethodInfo {
  AbcUnit* unit = nullptr;
  std::uint32_t index = 0;
  Native native = nullptr;
  int nativeTag = 0;
  int nativeLength = 0;  // a native's "length" (the arguments it declares)  // free for natives that share one function
  std::string name;
  ClassObject* declaringClass = nullptr;
  bool isStatic = false;
  bool isClosure = false;  // made by newfunction: extra arguments are ignored
  // What the method is to its class, for the frames of stack traces.
  enum class Role : std::uint8_t { Function, Anonymous, Method, Getter, Setter, Constructor, ClassInit, ScriptInit };
  Role role = Role::Function;
  std::string nsPrefix;  // "uri::" for methods declared in a namespace of their own
  std::unique_ptr<DecodedCode> code;  // decoded and checked at the first call
  MethodInfo();
  ~MethodInfo();
};

struct Binding {
  enum class Kind : std::uint8_t { Slot, Const, Method, Accessor, Class };
  NsId ns = 0;
  Kind kind = Kind::Slot;
  std::uint32_t slot = 0;
  MethodInfo* method = nullptr;  // Method
  MethodInfo* getter = nullptr;  // Accessor
  MethodInfo* setter = nullptr;  // Accessor
};

// The sealed part of a class's instances (or of a class itself, a script's global, an
// activation): bindings by local name, with the slotValues' types and defaults.
struct Traits {
  std::unordered_map<std::uint32_t, std::vector<Binding>> bindings;
  struct SlotInfo {
    std::uint32_t name = kNoName;
    Value initial;
    ClassObject* type = nullptr;  // coerced to on writes; null = any
    int typeKind = 0;             // 0 any, 1 int, 2 uint, 3 Number, 4 Boolean, 5 String, 6 Object/class
    const std::string* typeName = nullptr;  // resolved lazily from typeUnit/typeIndex
    AbcUnit* typeUnit = nullptr;
    std::uint32_t typeIndex = 0;
  };
  std::vector<SlotInfo> slotValues;
  const Binding* Find(std::uint32_t id, const Multiname& name, const Machine& machine) const;
};

enum class ObjectKind : std::uint8_t {
  Plain, Function, Class, Array, Namespace, QName, Error, Boolean, Number, String, Global, Activation, Catch,
  Dictionary, Date, Display, Event, Vector, ByteArray, RegExp, Xml, XmlList, Proxy, Other
};

class Object : public gc::Cell {
 public:
  Object(ObjectKind kind, Traits* traits, Object* proto) : kind(kind), traits(traits), proto(proto) {}
  ObjectKind kind;
  Traits* traits;        // may be null (plain objects without a class)
  Object* proto;         // prototype chain for dynamic lookup
  ClassObject* cls = nullptr;  // the class the object is an instance of
  bool dynamic = true;
  std::vector<Value> slotValues;

  // Dynamic properties, in insertion order. Removed ones stay as holes in `order`.
  struct Property {
    std::string name;
    Value value;
    bool enumerable = true;
    bool removed = false;
  };
  std::vector<Property> properties;
  std::unordered_map<std::string, std::uint32_t> propertyIndex;

  Property* FindOwn(const std::string& name) {
    if (properties.empty()) return nullptr;
    const auto it = propertyIndex.find(name);
    return it == propertyIndex.end() ? nullptr : &properties[it->second];
  }
  void SetOwn(const std::string& name, Value value, bool enumerable = true);
  bool DeleteOwn(const std::string& name);

  void Trace(gc::Tracer& tracer) const override;
  std::size_t ExtraBytes() const override { return slotValues.capacity() * sizeof(Value) + properties.capacity() * 64; }
};

struct Scope {
  Value value;
  bool with = false;
};
using ScopeChain = std::vector<Scope>;

class FunctionObject : public Object {
 public:
  FunctionObject(Traits* traits, Object* proto) : Object(ObjectKind::Function, traits, proto) {}
  MethodInfo* method = nullptr;
  ScopeChain scope;     // captured at creation
  Value boundThis;      // method closures: the receiver (undefined otherwise)
  bool bound = false;
  void Trace(gc::Tracer& tracer) const override;
};

// A class: its static side is the object itself (traits = classTraits).
class ClassObject : public Object {
 public:
  ClassObject(Traits* traits, Object* proto) : Object(ObjectKind::Class, traits, proto) {}
  std::string name;         // local name
  std::string package;      // package ("" for the top level)
  ClassObject* base = nullptr;
  std::unique_ptr<Traits> instanceTraits;
  std::unique_ptr<Traits> staticTraits;
  Object* prototype = nullptr;
  MethodInfo* init = nullptr;         // instance initialiser
  MethodInfo* callHandler = nullptr;  // what calling the class as a function does (natives)
  // Makes a bare instance (natives give their own kind); inherited by subclasses.
  Object* (*allocate)(Machine&, ClassObject*) = nullptr;
  ScopeChain scope;  // captured by newclass, with the class itself on top for its methods
  std::vector<ClassObject*> interfaces;  // every interface, inherited ones included
  bool sealed = true;
  bool isInterface = false;
  bool isFinal = false;
  bool declaredOnly = false;  // made from the declared API table (no native behind it)
  NsId protectedNs = 0;
  std::vector<Value> typeParams;  // Vector.<T> specialisations
  ClassObject* generic = nullptr;
  std::string QualifiedName() const { return package.empty() ? name : package + "::" + name; }
  void Trace(gc::Tracer& tracer) const override;
};

class ArrayObject : public Object {
 public:
  ArrayObject(Traits* traits, Object* proto) : Object(ObjectKind::Array, traits, proto) {}
  std::vector<Value> elements;  // Hole for missing ones
  void Trace(gc::Tracer& tracer) const override;
  std::size_t ExtraBytes() const override { return Object::ExtraBytes() + elements.capacity() * sizeof(Value); }
};

// Objects that carry one primitive or a native payload: Error (message, id), boxed
// primitives, namespaces, QNames, display objects.
class NativeObject : public Object {
 public:
  using Object::Object;
  Value a, b, c;
  DisplayObject* display = nullptr;
  std::vector<Value> list;  // Vector elements, event listeners, ...
  std::string text;
  void Trace(gc::Tracer& tracer) const override;
};

}  // namespace vantrel::flash::avm2
