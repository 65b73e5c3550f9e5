// Helpers for the built-in classes: arguments with defaults, receivers of the right kind.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {

inline Value Arg(const Value* args, int argc, int index) { return index < argc ? args[index] : Value(); }
inline double NumArg(Machine& m, const Value* args, int argc, int index, double fallback) {
  return index < argc && !args[index].IsUndefined() ? m.ToNumber(args[index]) : fallback;
}
inline std::string StrArg(Machine& m, const Value* args, int argc, int index, const std::string& fallback = "undefined") {
  return index < argc ? m.ToString(args[index]) : fallback;
}
// The screen the player reports (Capabilities, the stage's full-screen size): 1536x864.
constexpr double kScreenWidth = 1536, kScreenHeight = 864;

// A static variable of a class (what the script sets, it reads back).
inline void AddStaticVariable(Machine& m, ClassObject* cls, const char* name, const Value& initial) {
  m.AddConstant(cls, name, initial);
  for (Binding& b : cls->staticTraits->bindings[m.Intern(name)])
    if (b.ns == m.PublicNs()) b.kind = Binding::Kind::Slot;
}

// Natives of members whose answer never changes.
inline Value Nothing(Machine&, const Value&, const Value*, int) { return Value(); }
inline Value True(Machine&, const Value&, const Value*, int) { return Value::Bool(true); }
inline Value False(Machine&, const Value&, const Value*, int) { return Value::Bool(false); }
inline Value Null(Machine&, const Value&, const Value*, int) { return Value::Null(); }
inline Value Zero(Machine&, const Value&, const Value*, int) { return Value::Number(0); }

// Adds slots for a native class's own fields to its instances, in a namespace no script
// can name (key tells the classes' namespaces apart); returns the first one's number.
inline std::uint32_t AddHiddenSlots(Machine& m, ClassObject* cls, std::initializer_list<const char*> names,
                                    std::uint32_t key) {
  Traits& traits = *cls->instanceTraits;
  const auto first = static_cast<std::uint32_t>(traits.slotValues.size());
  const NsId hidden = m.InternNs(kNsPrivate, "", key);
  for (const char* name : names) {
    Binding b;
    b.ns = hidden;
    b.kind = Binding::Kind::Slot;
    b.slot = static_cast<std::uint32_t>(traits.slotValues.size());
    traits.bindings[m.Intern(name)].push_back(b);
    Traits::SlotInfo info;
    info.name = m.Intern(name);
    traits.slotValues.push_back(info);
  }
  return first;
}

// Adds a public variable to the class's instances: typeKind as slots keep it (0 any,
// 2 uint, 4 Boolean, 5 String, ...), starting at initial.
inline void AddPublicSlot(Machine& m, ClassObject* cls, const std::string& name, int typeKind = 0, Value initial = Value()) {
  Traits& traits = *cls->instanceTraits;
  Binding b;
  b.ns = m.PublicNs();
  b.kind = Binding::Kind::Slot;
  b.slot = static_cast<std::uint32_t>(traits.slotValues.size());
  traits.bindings[m.Intern(name)].push_back(b);
  Traits::SlotInfo info;
  info.name = m.Intern(name);
  info.typeKind = typeKind;
  info.initial = initial;
  traits.slotValues.push_back(info);
}
// The allocator of a built-in class whose instances are NativeObjects of kind (their
// fields a, b, c, list and text are the class's own).
template <ObjectKind kind = ObjectKind::Other>
Object* AllocateNative(Machine& m, ClassObject*) {
  return m.heap.Make<NativeObject>(kind, nullptr, nullptr);
}
// The receiver as an object of kind, or a TypeError naming the method.
template <typename T = Object>
T* Receiver(Machine& m, const Value& self, ObjectKind kind, const char* method) {
  if (!self.IsObject() || self.object->kind != kind)
    m.ThrowTypeError(1004, std::string("Method ") + method + " was invoked on an incompatible object.");
  return static_cast<T*>(self.object);
}
// Where indexOf and lastIndexOf start: a negative start counts from the end (and stops at
// the first element), a start past the end is the length, NaN is 0; fractions truncate.
inline std::size_t SearchStart(double from, std::size_t length) {
  const double n = static_cast<double>(length);
  if (from < 0) return static_cast<std::size_t>(std::max(0.0, std::trunc(from + n)));
  if (!(from <= n)) return std::isnan(from) ? 0 : length;
  return static_cast<std::size_t>(from);
}
// A callable value (function or class).
inline bool IsCallable(const Value& v) {
  return v.IsObject() && (v.object->kind == ObjectKind::Function || v.object->kind == ObjectKind::Class);
}

// One member of a built-in class in a declaration table: its name, its native (for an
// accessor the getter, with the setter beside it or null), where it goes (attributes) and
// the tag its native reads (NativeTag) when one native serves several members.
struct Member {
  const char* name;
  Native native;
  Native setter;
  std::uint8_t attributes;
  int tag;
  int length = 0;  // a method's "length": the parameters it declares, optional ones too (0 with ...rest)
};
// Member::attributes; without kPrototype or kAccessor a member is a method trait.
inline constexpr std::uint8_t kPrototype = 1;  // a function on the prototype (dynamic, not enumerable)
inline constexpr std::uint8_t kStatic = 2;     // of the class, not of its instances
inline constexpr std::uint8_t kAccessor = 4;   // a getter and setter pair

// Adds the members to the class, in the order of the table.
inline void Install(Machine& m, ClassObject* cls, std::span<const Member> members) {
  for (const Member& e : members) {
    const bool isStatic = e.attributes & kStatic;
    if (e.attributes & kPrototype) {
      m.AddMethod(isStatic ? static_cast<Object*>(cls) : cls->prototype, e.name, e.native, e.tag, e.length);
    } else if (e.attributes & kAccessor) {
      m.AddAccessor(cls, e.name, e.native, e.setter, isStatic, e.tag);
    } else {
      m.AddTraitMethod(cls, e.name, e.native, isStatic, e.tag, e.length);
    }
  }
}

// A number constant of a class (Math.PI).
struct Constant {
  const char* name;
  double value;
};
inline void Install(Machine& m, ClassObject* cls, std::span<const Constant> constants) {
  for (const Constant& c : constants) m.AddConstant(cls, c.name, Value::Number(c.value));
}
// A string constant of a class (Endian.BIG_ENDIAN).
struct TextConstant {
  const char* name;
  const char* text;
};
inline void Install(Machine& m, ClassObject* cls, std::span<const TextConstant> constants) {
  for (const TextConstant& c : constants) m.AddConstant(cls, c.name, m.StrValue(c.text));
}

// The tag of the member whose native runs now (the natives run from a table are on the
// machine's call stack while they run).
inline int NativeTag(Machine& m) { return m.callStack.back()->nativeTag; }

// The library symbol a class (or the nearest base of it) is linked to: the character id
// and its movie (LoadedMovie); false when none is, or there is no player
// (builtins/display.cpp).
bool FindLinkedSymbol(Machine& m, const ClassObject* cls, const void*& movie, std::uint16_t& id);

// Orders values as Array.sort does: by the sort flags, or by comparator when it is
// callable; undefined values go last. False when UNIQUESORT met two equal values, and
// then values is left as it was (builtins/array.cpp).
bool SortValues(Machine& m, std::vector<Value>& values, int flags, const Value& comparator);

}  // namespace vantrel::flash::avm2
