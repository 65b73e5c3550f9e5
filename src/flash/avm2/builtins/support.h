// Helpers for the built-in classes: arguments with defaults, receivers of the right kind.
#pragma once

#include <algorithm>
#include <cmath>

#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {

inline Value Arg(const Value* args, int argc, int index) { return index < argc ? args[index] : Value(); }
inline double NumArg(Machine& m, const Value* args, int argc, int index, double fallback) {
  return index < argc && !args[index].IsUndefined() ? m.ToNumber(args[index]) : fallback;
}
inline std::string StrArg(Machine& m, const Value* args, int argc, int index, const std::string& fallback = "undefined") {
  return index < argc ? m.ToString(args[index]) : fallback;
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

}  // namespace vantrel::flash::avm2
