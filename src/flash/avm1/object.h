// The one object type of the ActionScript 1/2 machine: an ordered property map (values
// or getter/setter pairs with DontEnum/DontDelete/ReadOnly and version masks), the
// `__proto__` link, watchers, and a slot for native data (array elements, a function,
// a boxed primitive, a date, the display object the object stands for, ...).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "flash/avm1/value.h"

namespace vantrel::flash {
class DisplayObject;
}

namespace vantrel::flash::avm1 {

class MachineInterface;

// Property attributes as ASSetPropFlags sets them.
enum Attribute : std::uint16_t {
  kDontEnum = 1,
  kDontDelete = 2,
  kReadOnly = 4,
  kVersion6 = 0x80,   // hidden from code of SWF 5 and earlier
  kHiddenInSwf6 = 0x100,
  kVersion7Only = 0x400,
  kVersion7 = 0x500,  // hidden before SWF 7
  kVersion8 = 0x1000,
  kVersion9 = 0x2000,
  kVersion10 = 0x4000,
};
// Whether a property with attributes exists for code of swfVersion.
bool VisibleIn(std::uint16_t attributes, int swfVersion);

struct Property {
  std::string name;
  Value value;
  Object* getter = nullptr;  // addProperty: both functions, or getter alone (read-only)
  Object* setter = nullptr;
  std::uint16_t attributes = 0;
  std::uint32_t order = 0;  // when it was created on its object (for..in lists newest first)
  bool IsAccessor() const { return getter != nullptr; }
};

// What the native slot holds; the object's behaviour follows from it.
enum class NativeKind : std::uint8_t {
  None,
  Array,
  Function,
  Boolean,
  Number,
  String,
  Date,
  Display,  // a movie clip, button, text field, ...: the display object's script side
  Super,
  Other,  // XML nodes, sounds, text formats, ...: see the data's own type
};

class NativeData {
 public:
  virtual ~NativeData() = default;
  virtual void Trace(gc::Tracer&) const {}
  virtual std::size_t Bytes() const { return 0; }
};

// Arguments of a native call.
struct Call {
  MachineInterface& machine;
  Value thisValue;         // `this` as the caller gave it
  Object* self;            // `this` as an object (null for a primitive or undefined this)
  std::span<Value> args;
  Object* callee;          // the function object being called
  bool construct = false;  // called by `new`

  std::size_t Count() const { return args.size(); }
  // Argument i, undefined when absent.
  Value Arg(std::size_t i) const { return i < args.size() ? args[i] : Value(); }
};

using NativeFunction = Value (*)(Call& call);

struct ScriptFunction;

class FunctionData final : public NativeData {
 public:
  NativeFunction native = nullptr;   // built-in code
  NativeFunction constructor = nullptr;  // used by `new` when set (Array, Date, ...)
  std::shared_ptr<const ScriptFunction> script;  // code written in the movie
  std::vector<Object*> scope;        // the scope chain a script function closes over
  Object* definedIn = nullptr;       // the timeline's object it was defined on
  std::int32_t tag = 0;              // free for the native (ASnative index, ...)
  void Trace(gc::Tracer& tracer) const override;
};

// The elements of an array. The player keeps elements as ordinary properties of the
// array object, so each one has a creation stamp from the object's counter (its place
// among the named properties in for..in order) and attributes; an index without an
// element is a hole. Indices below kDenseLimit live here: the run from index 0 in a
// vector with per-element stamps, and elements far past its end (a[5000000] in an
// empty array) in an ordered map, so that a far index costs one entry, not millions of
// holes. The vector takes over map entries as it grows to reach them. Other index-like
// names ("-5", "4294967296", "20000000") are ordinary properties of the object that
// only move the length. The length is a number of its own: it can be negative, and
// elements that refuse deletion can outlive it.
class ArrayData final : public NativeData {
 public:
  static constexpr std::size_t kDenseLimit = std::size_t{1} << 24;
  // How far past the vector's end an index may be and still grow the vector (by the
  // vector's own size at least, so a fill from the top down stays cheap).
  static constexpr std::size_t kDenseReach = std::size_t{1} << 16;

  explicit ArrayData(Object* owner) : owner_(owner) {}

  // The run of values from index 0; a hole holds undefined. Engine code may fill a list
  // by appending here directly: those elements count as created after the others, in
  // index order, and extend the length. Elements far past the end are not in it: read
  // them with Get.
  std::vector<Value> elements;

  std::int32_t Length();
  // Stores the length alone (callers delete what it cuts off first: SetArrayLength).
  void StoreLength(std::int32_t length);
  bool Has(std::size_t i);
  Value Get(std::size_t i);  // undefined for a hole
  std::uint32_t Order(std::size_t i);  // 0 for a hole
  std::uint16_t Attributes(std::size_t i);
  void SetAttributes(std::size_t i, std::uint16_t attributes);
  // Sets element i (below kDenseLimit); a missing element is created as the newest
  // property of the array. False when a read-only element keeps its value.
  bool Put(std::size_t i, const Value& value);
  // Deletes element i; false when it is absent or refuses deletion.
  bool Remove(std::size_t i);
  // Sets the length as a script does: elements from the new length up to the old one
  // are deleted (those that refuse stay), then the length is stored.
  void SetLength(std::int32_t length);
  // Replaces every element with values, created in index order; the length follows.
  void Assign(std::vector<Value> values);
  // The indices of all elements, in index order.
  std::vector<std::size_t> Indices();

  void Trace(gc::Tracer& tracer) const override;
  std::size_t Bytes() const override {
    return elements.capacity() * sizeof(Value) + order_.capacity() * sizeof(std::uint32_t) +
           attributes_.capacity() * sizeof(std::uint16_t) + far_.size() * kFarEntryBytes;
  }

 private:
  struct FarElement {
    Value value;
    std::uint32_t order = 0;
    std::uint16_t attributes = 0;
  };
  // A map node: the entry and the tree's links.
  static constexpr std::size_t kFarEntryBytes = sizeof(FarElement) + 48;

  void Sync();
  // Grows the vector to size, taking over the far elements it now reaches.
  void Grow(std::size_t size);
  FarElement* Far(std::size_t i);
  Object* owner_;
  std::vector<std::uint32_t> order_;       // per element; 0 marks a hole
  std::vector<std::uint16_t> attributes_;  // per element, empty while none has any
  std::map<std::uint32_t, FarElement> far_;  // elements past the vector's end
  std::int32_t length_ = 0;
};

class PrimitiveData final : public NativeData {
 public:
  explicit PrimitiveData(Value v) : value(v) {}
  Value value;
  void Trace(gc::Tracer& tracer) const override { TraceValue(tracer, value); }
};

struct Watcher {
  std::string name;
  Object* callback = nullptr;
  Value userData;
};

class Object : public gc::Cell {
 public:
  Object() = default;
  explicit Object(Object* prototype) : proto(prototype) {}

  Object* proto = nullptr;  // __proto__
  // What scripts read as __proto__ while proto is null: a value that is no object set
  // there (123, "abc", null) is kept and read back, though lookups stop at it.
  Value protoValue;
  // __proto__ as scripts read it.
  Value ProtoValue() const { return proto ? Value::Obj(proto) : protoValue; }
  // Sets __proto__: an object becomes the link, anything else is kept as it is.
  void SetProtoValue(const Value& value) {
    proto = value.AsObject();
    protoValue = proto ? Value() : value;
  }
  NativeKind kind = NativeKind::None;
  std::uint32_t lastOrder = 0;  // the last creation stamp given out (NextOrder)
  std::unique_ptr<NativeData> native;
  // Prototypes of the interfaces a class implements (instanceof checks them).
  std::vector<Object*> interfaces;

  // Own property by name, or null. Lookup ignores ASCII case when caseSensitive is
  // false (code of SWF 6 and earlier).
  Property* FindOwn(std::string_view name, bool caseSensitive);
  const Property* FindOwn(std::string_view name, bool caseSensitive) const {
    return const_cast<Object*>(this)->FindOwn(name, caseSensitive);
  }
  // Sets or creates an own data property without looking at ReadOnly or setters
  // (definitions by the engine itself). Keeps the attributes of an existing property
  // unless attributes is given.
  Property& Define(std::string_view name, Value value, std::uint16_t attributes = 0);
  // Creates or replaces an own getter/setter property.
  Property& DefineAccessor(std::string_view name, Object* getter, Object* setter, std::uint16_t attributes = 0);
  // Removes an own property unless it is DontDelete; false when it stays or is absent.
  bool DeleteOwn(std::string_view name, bool caseSensitive);
  // Own properties in order of creation.
  const std::vector<Property>& Properties() const { return properties_; }
  std::vector<Property>& Properties() { return properties_; }

  // A fresh creation stamp: properties and array elements take one when created.
  std::uint32_t NextOrder() { return ++lastOrder; }

  std::vector<Watcher>* Watchers() { return watchers_.get(); }
  void AddWatcher(Watcher watcher);
  bool RemoveWatcher(std::string_view name, bool caseSensitive);

  template <typename T>
  T* Data() const {
    return dynamic_cast<T*>(native.get());
  }
  bool IsFunction() const { return kind == NativeKind::Function; }
  bool IsArray() const { return kind == NativeKind::Array; }
  FunctionData* Function() const { return kind == NativeKind::Function ? static_cast<FunctionData*>(native.get()) : nullptr; }
  ArrayData* Array() const { return kind == NativeKind::Array ? static_cast<ArrayData*>(native.get()) : nullptr; }

  void Trace(gc::Tracer& tracer) const override;
  std::size_t ExtraBytes() const override;

 private:
  std::vector<Property> properties_;
  std::unique_ptr<std::vector<Watcher>> watchers_;
};

// ASCII case-insensitive comparison of names (SWF 6 and earlier).
bool SameName(std::string_view a, std::string_view b, bool caseSensitive);
// The array index a property name stands for, or -1 ("3" is 3, "03" and "-1" are not).
long ArrayIndex(std::string_view name);
// How a name moves an array's length when set: digits with an optional minus sign,
// read modulo 2^32 as the player does ("4294967296" is 0, "-5" is -5); false for
// other names.
bool WrappedIndex(std::string_view name, std::int32_t& index);

// The script object of a display object (null for shapes and static text).
Object* ScriptObjectOf(const DisplayObject* object);

}  // namespace vantrel::flash::avm1
