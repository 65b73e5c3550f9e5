// Values of the ActionScript 1/2 machine. Strings and objects live on the engine's
// garbage-collected heap, so a value is a small tag and a word, copied freely.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "flash/script/heap.h"
#include "flash/script/number_conversions.h"
#include "flash/script/string.h"

namespace vantrel::flash::avm1 {

class Object;

// Strings are the cells both machines share (script/string.h).
using script::String;

struct Value {
  enum class Type : std::uint8_t { Undefined, Null, Boolean, Number, String, Object };
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
  // A string value; s must come from the heap (MachineInterface::Str makes one).
  static Value Str(const String* s) {
    Value v;
    v.type = Type::String;
    v.string = s;
    return v;
  }
  // An object value; a null object gives null.
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

  bool IsUndefined() const { return type == Type::Undefined; }
  bool IsNull() const { return type == Type::Null; }
  bool IsNullish() const { return type == Type::Undefined || type == Type::Null; }
  bool IsNumber() const { return type == Type::Number; }
  bool IsString() const { return type == Type::String; }
  bool IsObject() const { return type == Type::Object; }
  bool IsBoolean() const { return type == Type::Boolean; }
  // The object, or null for every other type.
  Object* AsObject() const { return type == Type::Object ? object : nullptr; }
  // The text of a string value ("" for other types).
  const std::string& Text() const;
};

// The number as ActionScript writes it: "NaN", "Infinity", "-Infinity", integers
// without a point, others with up to 15 significant digits ("0.1", "1e+21", "1e-7").
std::string NumberToString(double number);
// The number a string converts to (spaces around it allowed; "0x" hexadecimal; NaN for
// anything else). Before SWF 5 leading digits count and the rest is ignored.
double StringToNumber(std::string_view text, int swfVersion);
using script::SaturatedInt32;
using script::ToInt32;
using script::ToUint32;
// Marks the cell a value refers to.
void TraceValue(gc::Tracer& tracer, const Value& value);

}  // namespace vantrel::flash::avm1
