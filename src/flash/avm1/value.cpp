#include "flash/avm1/value.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "flash/avm1/object.h"

namespace vantrel::flash::avm1 {

const std::string& Value::Text() const {
  static const std::string empty;
  return type == Type::String ? string->Text() : empty;
}

void TraceValue(gc::Tracer& tracer, const Value& value) {
  if (value.type == Value::Type::String) tracer.Mark(value.string);
  if (value.type == Value::Type::Object) tracer.Mark(value.object);
}

std::string NumberToString(double number) {
  if (std::isnan(number)) return "NaN";
  if (std::isinf(number)) return number > 0 ? "Infinity" : "-Infinity";
  if (number == 0) return "0";
  // The player keeps 15 significant digits, correctly rounded: take them from the C
  // library's exponent form and lay them out again.
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.14e", number);
  const char* p = buffer;
  std::string out;
  if (*p == '-') {
    out += '-';
    ++p;
  }
  std::string digits;
  for (; *p && *p != 'e'; ++p) {
    if (*p != '.') digits += *p;
  }
  const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  // Outside 1e-5 up to 1e15 the player writes an exponent ("1e-6", "1.5e+15").
  if (exponent < -5 || exponent >= 15) {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out.append(digits, 1, std::string::npos);
    }
    out += 'e';
    out += exponent < 0 ? '-' : '+';
    out += std::to_string(exponent < 0 ? -exponent : exponent);
    return out;
  }
  if (exponent < 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += digits;
    return out;
  }
  const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
  if (digits.size() <= integerDigits) {
    out += digits;
    out.append(integerDigits - digits.size(), '0');
    return out;
  }
  out.append(digits, 0, integerDigits);
  out += '.';
  out.append(digits, integerDigits, std::string::npos);
  return out;
}

double StringToNumber(std::string_view text, int swfVersion) {
  std::size_t start = 0;
  while (start < text.size() && std::strchr(" \t\r\n", text[start]) && text[start]) ++start;
  std::size_t end = text.size();
  while (end > start && text[end - 1] && std::strchr(" \t\r\n", text[end - 1])) --end;
  const std::string trimmed(text.substr(start, end - start));
  if (trimmed.empty()) return std::nan("");
  if (swfVersion >= 6 && trimmed.size() > 2 && trimmed[0] == '0' && (trimmed[1] == 'x' || trimmed[1] == 'X')) {
    char* stop = nullptr;
    const long long parsed = std::strtoll(trimmed.c_str() + 2, &stop, 16);
    return *stop == '\0' ? static_cast<double>(static_cast<std::int32_t>(parsed)) : std::nan("");
  }
  // strtod would also take "inf", "nan" and hexadecimal floats, which ActionScript does not.
  for (const char c : trimmed) {
    if (!std::strchr("0123456789+-.eE", c) || c == '\0') return std::nan("");
  }
  char* stop = nullptr;
  const double parsed = std::strtod(trimmed.c_str(), &stop);
  if (*stop == '\0') return parsed;
  return std::nan("");
}

std::int32_t ToInt32(double number) {
  if (std::isnan(number) || std::isinf(number)) return 0;
  if (number >= -2147483648.0 && number <= 2147483647.0) return static_cast<std::int32_t>(number);
  const double wrapped = std::fmod(std::trunc(number), 4294967296.0);
  const auto unsignedValue =
      static_cast<std::uint32_t>(static_cast<std::int64_t>(wrapped < 0 ? wrapped + 4294967296.0 : wrapped));
  return static_cast<std::int32_t>(unsignedValue);
}

std::uint32_t ToUint32(double number) { return static_cast<std::uint32_t>(ToInt32(number)); }

}  // namespace vantrel::flash::avm1
