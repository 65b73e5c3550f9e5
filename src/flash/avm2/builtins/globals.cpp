// The top level's functions and constants, and the flash.utils functions.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "flash/avm2/builtins/support.h"
#include "flash/script/string_utils.h"
#include "flash/script/utf16.h"

namespace vantrel::flash::avm2 {

namespace {

Value Trace(Machine& m, const Value&, const Value* args, int argc) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    if (i) line += ' ';
    line += m.ToString(args[i]);
  }
  // The player's log leaves out zero characters (a ByteArray's text keeps them).
  line.erase(std::remove(line.begin(), line.end(), '\0'), line.end());
  if (m.onTrace) m.onTrace(script::PrintableUtf8(line));
  return Value();
}

Value IsNaN(Machine& m, const Value&, const Value* args, int argc) { return Value::Bool(std::isnan(NumArg(m, args, argc, 0, std::nan("")))); }
Value IsFinite(Machine& m, const Value&, const Value* args, int argc) { return Value::Bool(std::isfinite(NumArg(m, args, argc, 0, std::nan("")))); }

// The spaces parseInt and parseFloat skip before a number: the ASCII ones and Unicode's.
bool IsNumberSpace(char16_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0xA0 || c == 0x1680 || c == 0x180E || (c >= 0x2000 && c <= 0x200B) ||
         c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

// The text parseInt and parseFloat read: their parameter is a String, so undefined arrives
// as null (read as "null") and a missing one as its default, "NaN".
std::u16string NumberText(Machine& m, const Value* args, int argc) {
  if (argc == 0) return u"NaN";
  return script::Utf16Units(args[0].IsUndefined() ? std::string("null") : m.ToString(args[0]));
}

Value ParseInt(Machine& m, const Value&, const Value* args, int argc) {
  const std::u16string text = NumberText(m, args, argc);
  int radix = static_cast<int>(m.ToInt32(Arg(args, argc, 1)));
  std::size_t i = 0;
  while (i < text.size() && IsNumberSpace(text[i])) ++i;
  if (i == text.size()) return Value::Number(std::nan(""));
  bool negative = false;
  if (text[i] == '-' || text[i] == '+') negative = text[i++] == '-';
  if ((radix == 0 || radix == 16) && i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    i += 2;
    radix = 16;
  }
  if (radix == 0) radix = 10;
  if (radix < 2 || radix > 36) return Value::Number(std::nan(""));
  double value = 0;
  bool any = false;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    int digit = 99;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'z') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'Z') digit = c - 'A' + 10;
    if (digit >= radix) break;
    value = value * radix + digit;
    any = true;
  }
  if (!any) return Value::Number(std::nan(""));
  return Value::Number(negative ? -value : value);
}

// Ten to the power n by repeated squaring, as the player scales a decimal: the result
// is not always the nearest double (1e100 is one of them), which parseFloat shows.
double PowerOfTen(std::uint32_t n) {
  double result = 1, base = 10;
  for (; n; n >>= 1, base *= base)
    if (n & 1) result *= base;
  return result;
}

bool IsAsciiDigit(char16_t c) { return c >= '0' && c <= '9'; }

// parseFloat reads the digits as one whole number, then multiplies or divides it by a power
// of ten; the exponent is kept in 32 bits and wraps. "e" without digits after it ends the
// number, but a sign without digits after "e" makes it NaN. Where no number starts, an
// "Infinity" later in the text that no letter or digit follows gives an infinity.
Value ParseFloat(Machine& m, const Value&, const Value* args, int argc) {
  const std::u16string text = NumberText(m, args, argc);
  std::size_t i = 0;
  while (i < text.size() && IsNumberSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  double mantissa = 0;
  std::int32_t exponent = 0;
  bool digits = false, dot = false, secondPoint = false;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (IsAsciiDigit(c)) {
      mantissa = mantissa * 10 + (c - '0');
      if (dot) --exponent;
      digits = true;
    } else if (c == '.' && !dot) {
      dot = true;
    } else if (c == '.' && m.swfVersion <= 10) {
      // Movies of SWF 10 and before take the last point of several as the decimal point,
      // and read no exponent after them.
      exponent = 0;
      secondPoint = true;
    } else {
      break;
    }
  }
  if (!digits) {
    const std::size_t at = text.find(u"Infinity", i);
    if (at == std::u16string::npos) return Value::Number(std::nan(""));
    const std::size_t after = at + 8;
    if (after < text.size() && (IsAsciiDigit(text[after]) || std::isalpha(text[after] < 128 ? text[after] : 'a')))
      return Value::Number(std::nan(""));
    return Value::Number(negative ? -INFINITY : INFINITY);
  }
  if (!secondPoint && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t k = i + 1;
    bool negativeExponent = false, signed_ = false;
    if (k < text.size() && (text[k] == '-' || text[k] == '+')) {
      negativeExponent = text[k++] == '-';
      signed_ = true;
    }
    if (k < text.size() && IsAsciiDigit(text[k])) {
      std::uint32_t written = 0;
      for (; k < text.size() && IsAsciiDigit(text[k]); ++k) written = written * 10 + (text[k] - '0');
      const auto wrapped = static_cast<std::int32_t>(negativeExponent ? 0u - written : written);
      exponent = static_cast<std::int32_t>(static_cast<std::uint32_t>(exponent) + static_cast<std::uint32_t>(wrapped));
    } else if (signed_) {
      return Value::Number(std::nan(""));
    }
  }
  double value = mantissa;
  if (value == 0) exponent = 0;  // zero stays zero whatever the exponent
  if (exponent > 0) value *= PowerOfTen(static_cast<std::uint32_t>(exponent));
  else if (exponent < 0) value /= PowerOfTen(0u - static_cast<std::uint32_t>(exponent));
  return Value::Number(negative ? -value : value);
}

Value Escape(Machine& m, const Value&, const Value* args, int argc) {
  const std::u16string u = script::Utf16Units(StrArg(m, args, argc, 0));
  static const char* kept = "@-_.*+/";
  std::string out;
  char buffer[8];
  for (char16_t c : u) {
    if ((c < 128 && std::isalnum(c)) || (c < 128 && std::strchr(kept, static_cast<char>(c)) && c)) {
      out += static_cast<char>(c);
    } else if (c < 256) {
      std::snprintf(buffer, sizeof buffer, "%%%02X", c);
      out += buffer;
    } else {
      std::snprintf(buffer, sizeof buffer, "%%u%04X", c);
      out += buffer;
    }
  }
  return m.StrValue(out);
}

Value EncodeUri(Machine& m, const Value&, const Value* args, int argc, const char* kept) {
  const std::string text = StrArg(m, args, argc, 0);
  std::string out;
  char buffer[8];
  for (unsigned char c : text) {
    if (c < 128 && (std::isalnum(c) || std::strchr(kept, static_cast<char>(c)))) {
      out += static_cast<char>(c);
    } else {
      std::snprintf(buffer, sizeof buffer, "%%%02X", c);
      out += buffer;
    }
  }
  return m.StrValue(out);
}
Value EncodeUriComponent(Machine& m, const Value& s, const Value* a, int n) { return EncodeUri(m, s, a, n, "-_.!~*'()"); }
Value EncodeUriWhole(Machine& m, const Value& s, const Value* a, int n) { return EncodeUri(m, s, a, n, "-_.!~*'();/?:@&=+$,#"); }

Value Unescape(Machine& m, const Value&, const Value* args, int argc) {
  const std::string text = StrArg(m, args, argc, 0);
  std::u16string out;
  const std::u16string u = script::Utf16Units(text);
  auto hex = [](char16_t c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < u.size(); ++i) {
    if (u[i] == '%' && i + 5 < u.size() && u[i + 1] == 'u' && hex(u[i + 2]) >= 0 && hex(u[i + 3]) >= 0 && hex(u[i + 4]) >= 0 && hex(u[i + 5]) >= 0) {
      out.push_back(static_cast<char16_t>(hex(u[i + 2]) << 12 | hex(u[i + 3]) << 8 | hex(u[i + 4]) << 4 | hex(u[i + 5])));
      i += 5;
    } else if (u[i] == '%' && i + 2 < u.size() && hex(u[i + 1]) >= 0 && hex(u[i + 2]) >= 0) {
      out.push_back(static_cast<char16_t>(hex(u[i + 1]) << 4 | hex(u[i + 2])));
      i += 2;
    } else {
      out.push_back(u[i]);
    }
  }
  return m.StrValue(script::Utf8FromUnits(out));
}

// escapeMultiByte: the text's bytes in the system's code page (UTF-8 here), every one but
// an ASCII letter or digit written as %XX; the text ends at its first NUL.
Value EscapeMultiByte(Machine& m, const Value&, const Value* args, int argc) {
  const std::string text = StrArg(m, args, argc, 0);
  std::string out;
  char buffer[4];
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 0) break;
    if (byte < 128 && std::isalnum(byte)) {
      out += c;
    } else {
      std::snprintf(buffer, sizeof buffer, "%%%02X", byte);
      out += buffer;
    }
  }
  return m.StrValue(out);
}

// The UTF-16 units of bytes read as UTF-8, where a surrogate's own three-byte form stands
// for the lone surrogate; false when the bytes are not UTF-8.
bool UnitsOfMultiByte(const std::string& bytes, std::u16string& out) {
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    int extra = 0;
    std::uint32_t code = 0;
    if (b0 < 0x80) {
      code = b0;
    } else if ((b0 & 0xE0) == 0xC0 && b0 >= 0xC2) {
      extra = 1;
      code = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
      extra = 2;
      code = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0 && b0 <= 0xF4) {
      extra = 3;
      code = b0 & 0x07;
    } else {
      return false;
    }
    if (i + static_cast<std::size_t>(extra) >= bytes.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto b = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
      if ((b & 0xC0) != 0x80) return false;
      code = code << 6 | (b & 0x3F);
    }
    // Overlong forms and code points past Unicode are not UTF-8.
    if ((extra == 2 && code < 0x800) || (extra == 3 && (code < 0x10000 || code > 0x10FFFF))) return false;
    if (code >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(code));
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

// unescapeMultiByte: %XX gives the byte XX. A "%" takes the character after it and, when
// that is a hex digit, the one after that too; what is not two hex digits is dropped. The
// text ends at a NUL that no "%" takes. The bytes are read as UTF-8, or one character a
// byte when they are not UTF-8.
Value UnescapeMultiByte(Machine& m, const Value&, const Value* args, int argc) {
  const std::string text = StrArg(m, args, argc, 0);
  const auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == 0) break;
    if (text[i] != '%') {
      bytes += text[i];
      continue;
    }
    if (i + 1 >= text.size()) break;
    const int high = hex(text[++i]);
    if (high < 0 || i + 1 >= text.size()) continue;
    const int low = hex(text[++i]);
    if (low >= 0) bytes += static_cast<char>(high << 4 | low);
  }
  std::u16string units;
  if (!UnitsOfMultiByte(bytes, units)) {
    units.clear();
    for (const char c : bytes) units.push_back(static_cast<unsigned char>(c));
  }
  return m.StrValue(script::Utf8FromUnits(units));
}

Value DecodeUri(Machine& m, const Value&, const Value* args, int argc) {
  const std::string text = StrArg(m, args, argc, 0);
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return m.StrValue(out);
}

Value DefinitionByName(Machine& m, const Value&, const Value* args, int argc) {
  const std::string name = StrArg(m, args, argc, 0);
  if (ClassObject* c = m.FindClass(name)) return Value::Obj(c);
  // Functions and other definitions of the domain.
  std::string package, local = name;
  std::size_t split = name.rfind("::");
  if (split != std::string::npos) {
    package = name.substr(0, split);
    local = name.substr(split + 2);
  } else if ((split = name.rfind('.')) != std::string::npos) {
    package = name.substr(0, split);
    local = name.substr(split + 1);
  }
  Multiname mn;
  mn.id = m.FindId(local);
  mn.text = &local;
  const NsId ns = m.InternNs(kNsNamespace, package);
  mn.ns = &ns;
  mn.nsCount = 1;
  bool found = false;
  const Value v = m.LookupDomain(mn, found);
  if (found) return v;
  m.ThrowReferenceError(1065, "Variable " + local + " is not defined.");
}

// flash.crypto.generateRandomBytes: 1 to 1024 bytes from the system's random source.
Value GenerateRandomBytes(Machine& m, const Value&, const Value* args, int argc) {
  const std::uint32_t count = m.ToUint32(Arg(args, argc, 0));
  if (count < 1 || count > 1024) m.ThrowError("Error", 2004, "One of the parameters is invalid.");
  std::random_device source;
  std::string bytes(count, '\0');
  for (char& b : bytes) b = static_cast<char>(source() & 0xFF);
  Object* array = m.ConstructClass(m.FindClass("flash.utils.ByteArray"), nullptr, 0);
  static_cast<NativeObject*>(array)->text = std::move(bytes);
  return Value::Obj(array);
}

Value GetTimer(Machine& m, const Value&, const Value*, int) { return Value::Number(std::floor(m.Now())); }

Value AddTimer(Machine& m, const Value* args, int argc, bool repeat) {
  Machine::Timer t;
  t.id = ++m.nextTimer;
  t.function = Arg(args, argc, 0);
  t.interval = std::max(1.0, NumArg(m, args, argc, 1, 0));
  t.due = m.TimerBase() + t.interval;
  t.repeat = repeat;
  for (int i = 2; i < argc; ++i) t.args.push_back(args[i]);
  m.timers.push_back(std::move(t));
  return Value::Number(m.nextTimer);
}
Value SetTimeout(Machine& m, const Value&, const Value* args, int argc) { return AddTimer(m, args, argc, false); }
Value SetInterval(Machine& m, const Value&, const Value* args, int argc) { return AddTimer(m, args, argc, true); }
Value ClearTimer(Machine& m, const Value&, const Value* args, int argc) {
  const int id = m.ToInt32(Arg(args, argc, 0));
  for (auto it = m.timers.begin(); it != m.timers.end(); ++it) {
    if (it->id == id) {
      m.timers.erase(it);
      break;
    }
  }
  return Value();
}

}  // namespace

void InstallGlobals(Machine& m) {
  m.DefineGlobal("", "NaN", Value::Number(std::nan("")));
  m.DefineGlobal("", "Infinity", Value::Number(INFINITY));
  m.DefineGlobal("", "undefined", Value());
  struct Entry {
    const char* package;
    const char* name;
    Native fn;
    int length;  // the parameters it declares
  };
  static const Entry functions[] = {
      {"", "trace", Trace, 0}, {"", "isNaN", IsNaN, 1}, {"", "isFinite", IsFinite, 1}, {"", "parseInt", ParseInt, 2},
      {"", "parseFloat", ParseFloat, 1}, {"", "escape", Escape, 1}, {"", "unescape", Unescape, 1},
      {"", "encodeURIComponent", EncodeUriComponent, 1}, {"", "encodeURI", EncodeUriWhole, 1},
      {"", "decodeURIComponent", DecodeUri, 1}, {"", "decodeURI", DecodeUri, 1},
      {"flash.utils", "escapeMultiByte", EscapeMultiByte, 1}, {"flash.utils", "unescapeMultiByte", UnescapeMultiByte, 1},
      {"flash.utils", "getDefinitionByName", DefinitionByName, 1}, {"flash.crypto", "generateRandomBytes", GenerateRandomBytes, 1}, {"flash.utils", "getTimer", GetTimer, 0},
      {"flash.utils", "setTimeout", SetTimeout, 2}, {"flash.utils", "setInterval", SetInterval, 2},
      {"flash.utils", "clearTimeout", ClearTimer, 1}, {"flash.utils", "clearInterval", ClearTimer, 1}};
  for (const Entry& e : functions) {
    FunctionObject* f = m.NewNativeFunction(e.name, e.fn);
    f->method->nativeLength = e.length;
    m.DefineGlobal(e.package, e.name, Value::Obj(f));
  }
}

}  // namespace vantrel::flash::avm2
