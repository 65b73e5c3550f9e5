#include "flash/avm1/value.h"

#include <algorithm>
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

namespace {

// number * 10^exponent the way the player computes it: the power is built by squaring,
// multiplying for positive exponents and dividing for negative ones, so its rounding
// errors are the player's too.
double DecimalShift(double number, int exponent) {
  double base = 10;
  if (exponent > 0) {
    for (unsigned e = static_cast<unsigned>(exponent); e; e >>= 1, base *= base) {
      if (e & 1) number *= base;
    }
  } else {
    for (unsigned e = 0u - static_cast<unsigned>(exponent); e; e >>= 1, base *= base) {
      if (e & 1) number /= base;
    }
  }
  return number;
}

}  // namespace

// The player's own conversion, kept with its quirks: it moves the number into [0, 10),
// takes 15 digits by multiplying by ten, rounds on the sixteenth (halves away from
// zero) and then lays the digits out, fixed from 1e-5 up to 1e15 and with an exponent
// beyond ("1e-6", "1.5e+15"). Its rounding is not exact: Number.MAX_VALUE prints as
// 1.79769313486231e+308.
std::string NumberToString(double number) {
  if (std::isnan(number)) return "NaN";
  if (std::isinf(number)) return number > 0 ? "Infinity" : "-Infinity";
  if (number == 0) return "0";
  if (number >= -2147483648.0 && number <= 2147483647.0 && number == std::trunc(number)) {
    return std::to_string(static_cast<std::int32_t>(number));
  }
  std::string buf;
  const bool negative = number < 0;
  if (negative) {
    number = -number;
    buf += '-';
  }
  std::uint64_t bits = 0;
  std::memcpy(&bits, &number, sizeof bits);
  int exponent2 = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
  if (exponent2 == -1023) {
    // Subnormal: scale into the normal range to read the exponent.
    const double scaled = number * 18014398509481984.0;  // 2^54
    std::memcpy(&bits, &scaled, sizeof bits);
    exponent2 = static_cast<int>((bits >> 52) & 0x7ff) - 1023 - 54;
  }
  int exponent = static_cast<int>(std::round(exponent2 * 0.301029995663981));
  double mantissa = DecimalShift(number, -exponent);
  if (static_cast<int>(mantissa) == 0) {
    --exponent;
    mantissa = DecimalShift(number, -exponent);
  }
  if (static_cast<int>(mantissa) >= 10) {
    ++exponent;
    mantissa = DecimalShift(number, -exponent);
  }
  const auto digit = [&mantissa]() {
    const int d = static_cast<int>(mantissa);
    mantissa = (mantissa - d) * 10;
    return static_cast<char>('0' + d);
  };
  constexpr int kDigits = 15;
  if (exponent >= 15) {
    buf += digit();
    buf += '.';
    for (int i = 0; i < kDigits - 1; ++i) buf += digit();
  } else if (exponent >= 0) {
    buf += '0';  // room for a carry
    for (int i = 0; i <= exponent; ++i) buf += digit();
    buf += '.';
    for (int i = 0; i < kDigits - exponent - 1; ++i) buf += digit();
    exponent = 0;
  } else if (exponent >= -5) {
    buf += "00.";
    buf.append(static_cast<std::size_t>(-exponent - 1), '0');
    for (int i = 0; i < kDigits; ++i) buf += digit();
    exponent = 0;
  } else {
    buf += '0';
    const char first = digit();
    if (first != '0') buf += first;
    buf += '.';
    for (int i = 0; i < kDigits - 1; ++i) buf += digit();
  }
  if (digit() >= '5') {
    for (auto it = buf.rbegin(); it != buf.rend(); ++it) {
      if (*it == '9') {
        *it = '0';
      } else if (*it >= '0') {
        ++*it;
        break;
      }
    }
  }
  while (!buf.empty() && buf.back() == '0') buf.pop_back();
  if (!buf.empty() && buf.back() == '.') buf.pop_back();
  if (exponent != 0) {
    const std::size_t first = buf.find_first_not_of('0');
    buf.erase(0, first == std::string::npos ? buf.size() : first);
    if (buf.empty()) {
      buf.push_back('1');
      ++exponent;
    } else {
      const std::size_t last = buf.find_last_not_of('0');
      if (last == 0 || last == std::string::npos) {
        exponent += static_cast<int>(buf.size()) - 1;
        buf.resize(1);
      }
    }
    buf += 'e';
    buf += exponent < 0 ? '-' : '+';
    buf += std::to_string(exponent < 0 ? -static_cast<long>(exponent) : exponent);
  }
  std::size_t start = 0;
  const std::size_t i = negative ? 1 : 0;
  // The leading zero kept for a carry goes (the sign moves over it).
  if (buf.size() > i && buf[i] == '0' && (buf.size() == i + 1 || buf[i + 1] != '.')) {
    if (i > 0) buf[i] = buf[i - 1];
    start = 1;
  }
  return buf.substr(start);
}

double StringToNumber(std::string_view text, int swfVersion) {
  // SWF 4 reads the number at the start of the string and ignores what follows;
  // a string that does not start with one is 0.
  if (swfVersion < 5) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
    std::size_t end = i;
    if (end < text.size() && (text[end] == '-' || text[end] == '+')) ++end;
    bool digits = false;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end, digits = true;
    if (end < text.size() && text[end] == '.') {
      ++end;
      while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end, digits = true;
    }
    if (!digits) return 0;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
      std::size_t e = end + 1;
      if (e < text.size() && (text[e] == '-' || text[e] == '+')) ++e;
      if (e < text.size() && text[e] >= '0' && text[e] <= '9') {
        while (e < text.size() && text[e] >= '0' && text[e] <= '9') ++e;
        end = e;
      }
    }
    return std::strtod(std::string(text.substr(i, end - i)).c_str(), nullptr);
  }
  // Spaces, tabs and line ends may lead the number but not follow it.
  std::size_t start = 0;
  while (start < text.size() && (text[start] == ' ' || text[start] == '\t' || text[start] == '\r' || text[start] == '\n')) {
    ++start;
  }
  const std::string_view body = text.substr(start);
  if (body.empty()) return std::nan("");
  if (swfVersion >= 6) {
    // Hexadecimal after "0x" and octal after a leading 0 (sign allowed, no leading
    // space) are 32-bit integers: their value wraps.
    if (start == 0 && body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
      std::uint32_t value = 0;
      std::string_view digits = body.substr(2);
      const bool negative = digits[0] == '-';
      if (digits[0] == '-' || digits[0] == '+') digits.remove_prefix(1);
      if (digits.empty()) return std::nan("");
      for (const char c : digits) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nan("");
        value = value * 16 + static_cast<std::uint32_t>(digit);
      }
      if (negative) value = 0u - value;
      return static_cast<double>(static_cast<std::int32_t>(value));
    }
    if (start == 0) {
      std::size_t i = (body[0] == '-' || body[0] == '+') ? 1 : 0;
      if (body.size() > i + 1 && body[i] == '0' &&
          body.substr(i).find_first_not_of("01234567") == std::string_view::npos) {
        std::uint32_t value = 0;
        for (const char c : body.substr(i)) value = value * 8 + static_cast<std::uint32_t>(c - '0');
        if (body[0] == '-') value = 0u - value;
        return static_cast<double>(static_cast<std::int32_t>(value));
      }
    }
  }
  // strtod would also take "inf", "nan" and hexadecimal floats, which ActionScript does not.
  for (const char c : body) {
    if (!std::strchr("0123456789+-.eE", c) || c == '\0') return std::nan("");
  }
  const std::string digits(body);
  char* stop = nullptr;
  const double parsed = std::strtod(digits.c_str(), &stop);
  if (*stop == '\0') return parsed;
  return std::nan("");
}

}  // namespace vantrel::flash::avm1
