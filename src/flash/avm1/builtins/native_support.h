// Small helpers shared by the language's built-in classes: argument conversions as the
// player does them and access to the value a boxed primitive holds.
#pragma once

#include <cstdint>
#include <string>

#include "flash/avm1/machine.h"

namespace vantrel::flash::avm1 {

// The most elements an array holds, and so the furthest a native walks an object that
// claims a length: a length a script gives is bounded by it so that `new Array(1e9)` or
// `{length: 1e300}` cannot take the memory or the time.
inline constexpr std::int32_t kMaxWalkedLength = 1 << 24;

// Where the Math table keeps its answer for ASnative(200, n) with an unknown n.
inline constexpr int kUnknownMathNative = 0x7fffffff;

// Argument i as a number (undefined when absent, which converts to NaN).
inline double ArgNumber(Call& call, std::size_t i) { return call.machine.ToNumber(call.Arg(i)); }
// Argument i as an integer the way the player's natives take indices: ToInt32.
inline std::int32_t ArgInt(Call& call, std::size_t i) { return ToInt32(call.machine.ToNumber(call.Arg(i))); }
inline std::string ArgString(Call& call, std::size_t i) { return call.machine.ToString(call.Arg(i)); }

// The primitive a boxed Number, String or Boolean holds, or undefined.
inline Value BoxedValue(const Object* object, NativeKind kind) {
  if (!object || object->kind != kind) return Value();
  const auto* data = object->Data<PrimitiveData>();
  return data ? data->value : Value();
}

// Whether a constructor may make object its own kind: an object that is already an
// array, a box, a date or a display object keeps what it is (the player initializes
// a native object once).
inline bool Fresh(const Object* object) { return object && object->kind == NativeKind::None && !object->native; }

// Makes object a box of value (new Number(1), new String("a"), ...) unless it already
// is something native.
inline void MakeBox(Object* object, NativeKind kind, const Value& value) {
  if (!Fresh(object)) return;
  object->kind = kind;
  object->native = std::make_unique<PrimitiveData>(value);
}

// Counts natives that convert `this` or elements back through script-visible methods
// (join of an array holding itself, toString set to a String method): past a depth the
// conversion gives up with an empty text instead of overflowing the C++ stack.
class ConversionNesting {
 public:
  ConversionNesting() { ++Depth(); }
  ~ConversionNesting() { --Depth(); }
  ConversionNesting(const ConversionNesting&) = delete;
  ConversionNesting& operator=(const ConversionNesting&) = delete;
  bool TooDeep() const { return Depth() > kMaxDepth; }

 private:
  static constexpr int kMaxDepth = 200;
  static int& Depth() {
    thread_local int depth = 0;
    return depth;
  }
};

// Defines the members of a table on an object.
template <std::size_t N>
void Install(Runtime& rt, Object* on, const Member (&members)[N]) {
  rt.AddMembers(on, std::span<const Member>(members, N));
}

}  // namespace vantrel::flash::avm1
