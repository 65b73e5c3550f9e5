#include "flash/avm1_value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "flash/avm1_object.h"

namespace vantrel::flash::avm1 {

std::string NumberToString(double number) {
  if (std::isnan(number)) return "NaN";
  if (std::isinf(number)) return number > 0 ? "Infinity" : "-Infinity";
  if (number == 0) return "0";
  if (std::fabs(number) < 1e15 && number == std::trunc(number)) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.0f", number);
    return buffer;
  }
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.15g", number);
  std::string text = buffer;
  // C writes exponents with at least two digits ("1e-07"); ActionScript does not.
  const auto e = text.find('e');
  if (e != std::string::npos) {
    std::string mantissa = text.substr(0, e);
    const char sign = text[e + 1];
    std::size_t digits = e + 2;
    while (digits + 1 < text.size() && text[digits] == '0') ++digits;
    text = mantissa + "e" + sign + text.substr(digits);
  }
  return text;
}

namespace {

std::string ObjectToString(const Object& object, int swfVersion, int depth) {
  switch (object.kind) {
    case Object::Kind::Function: return "[type Function]";
    case Object::Kind::Primitive: return ToString(object.primitive, swfVersion);
    case Object::Kind::Array: {
      std::string out;
      for (std::size_t i = 0; i < object.elements.size() && out.size() < (16u << 20); ++i) {
        if (i) out += ",";
        const Value& element = object.elements[i];
        if (element.type == Value::Type::Object && element.object) {
          if (depth < 16) out += ObjectToString(*element.object, swfVersion, depth + 1);
        } else {
          out += ToString(element, swfVersion);
        }
      }
      return out;
    }
    case Object::Kind::Plain: break;
  }
  return "[object Object]";
}

}  // namespace

std::string ToString(const Value& value, int swfVersion) {
  switch (value.type) {
    case Value::Type::Undefined: return swfVersion >= 7 ? "undefined" : "";
    case Value::Type::Null: return "null";
    case Value::Type::Boolean: return value.boolean ? "true" : "false";
    case Value::Type::Number: return NumberToString(value.number);
    case Value::Type::String:
    case Value::Type::Clip: return value.string;
    case Value::Type::Object: return value.object ? ObjectToString(*value.object, swfVersion, 0) : "null";
  }
  return "";
}

namespace {

double StringToNumber(const std::string& text, int swfVersion) {
  std::size_t start = 0;
  while (start < text.size() && std::strchr(" \t\r\n", text[start])) ++start;
  std::size_t end = text.size();
  while (end > start && std::strchr(" \t\r\n", text[end - 1])) --end;
  const std::string trimmed = text.substr(start, end - start);
  if (trimmed.empty()) return std::nan("");
  if (trimmed.size() > 2 && trimmed[0] == '0' && (trimmed[1] == 'x' || trimmed[1] == 'X')) {
    char* stop = nullptr;
    const long long parsed = std::strtoll(trimmed.c_str() + 2, &stop, 16);
    return *stop == '\0' ? static_cast<double>(static_cast<std::int32_t>(parsed)) : std::nan("");
  }
  // strtod would also take "inf", "nan" and hexadecimal floats, which ActionScript does not.
  for (const char c : trimmed) {
    if (!std::strchr("0123456789+-.eE", c)) return std::nan("");
  }
  char* stop = nullptr;
  const double parsed = std::strtod(trimmed.c_str(), &stop);
  return *stop == '\0' ? parsed : std::nan("");
}

}  // namespace

double ToNumber(const Value& value, int swfVersion) {
  switch (value.type) {
    case Value::Type::Undefined:
    case Value::Type::Null: return swfVersion >= 7 ? std::nan("") : 0;
    case Value::Type::Boolean: return value.boolean ? 1 : 0;
    case Value::Type::Number: return value.number;
    case Value::Type::String: return StringToNumber(value.string, swfVersion);
    case Value::Type::Clip: return std::nan("");
    case Value::Type::Object:
      if (value.object && value.object->kind == Object::Kind::Primitive) return ToNumber(value.object->primitive, swfVersion);
      return std::nan("");
  }
  return 0;
}

bool ToBoolean(const Value& value, int swfVersion) {
  switch (value.type) {
    case Value::Type::Undefined:
    case Value::Type::Null: return false;
    case Value::Type::Boolean: return value.boolean;
    case Value::Type::Number: return value.number != 0 && !std::isnan(value.number);
    case Value::Type::String: {
      if (swfVersion >= 7) return !value.string.empty();
      const double number = StringToNumber(value.string, swfVersion);
      return number != 0 && !std::isnan(number);
    }
    case Value::Type::Clip:
    case Value::Type::Object: return true;
  }
  return false;
}

int ToInt32(double number) {
  if (std::isnan(number) || std::isinf(number)) return 0;
  const double wrapped = std::fmod(std::trunc(number), 4294967296.0);
  const auto unsignedValue = static_cast<std::uint32_t>(static_cast<std::int64_t>(wrapped < 0 ? wrapped + 4294967296.0 : wrapped));
  return static_cast<std::int32_t>(unsignedValue);
}

std::string TypeOf(const Value& value) {
  switch (value.type) {
    case Value::Type::Undefined: return "undefined";
    case Value::Type::Null: return "null";
    case Value::Type::Boolean: return "boolean";
    case Value::Type::Number: return "number";
    case Value::Type::String: return "string";
    case Value::Type::Clip: return "movieclip";
    case Value::Type::Object: return value.object && value.object->IsFunction() ? "function" : "object";
  }
  return "undefined";
}

}  // namespace vantrel::flash::avm1
