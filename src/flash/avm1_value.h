// Values of the ActionScript 1/2 core and their conversions, which depend on the
// movie's SWF version (undefined reads as "" and 0 before SWF 7).
#pragma once

#include <memory>
#include <string>

namespace vantrel::flash::avm1 {

struct Object;

struct Value {
  // Clip: string holds its path. Object: object holds it.
  enum class Type { Undefined, Null, Boolean, Number, String, Clip, Object };
  Type type = Type::Undefined;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::shared_ptr<Object> object;

  static Value Undefined() { return {}; }
  static Value Null() { return {Type::Null, false, 0, {}, nullptr}; }
  static Value Bool(bool b) { return {Type::Boolean, b, 0, {}, nullptr}; }
  static Value Number(double n) { return {Type::Number, false, n, {}, nullptr}; }
  static Value String(std::string s) { return {Type::String, false, 0, std::move(s), nullptr}; }
  static Value Clip(std::string path) { return {Type::Clip, false, 0, std::move(path), nullptr}; }
  static Value Obj(std::shared_ptr<Object> o) {
    if (!o) return Null();
    return {Type::Object, false, 0, {}, std::move(o)};
  }

  bool IsUndefined() const { return type == Type::Undefined; }
};

// The number as ActionScript writes it: "NaN", "Infinity", "-Infinity", integers
// without a point, others with up to 15 significant digits ("0.1", "1e+21", "1e-7").
std::string NumberToString(double number);

std::string ToString(const Value& value, int swfVersion);
double ToNumber(const Value& value, int swfVersion);
bool ToBoolean(const Value& value, int swfVersion);
// ToInt32 of ECMA-262: NaN and infinities give 0, others wrap modulo 2^32.
int ToInt32(double number);
// "undefined", "null", "boolean", "number", "string", "movieclip", "object", "function".
std::string TypeOf(const Value& value);

}  // namespace vantrel::flash::avm1
