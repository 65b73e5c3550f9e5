// The global functions of the language: escape/unescape, parseInt/parseFloat,
// isNaN/isFinite, NaN and Infinity, and the player's back doors to its own tables:
// ASSetPropFlags, ASnative, ASSetNative and ASSetNativeAccessor.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/native_support.h"
#include "flash/script/string_utils.h"

namespace vantrel::flash::avm1 {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool IsSpace(char16_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

int DigitValue(char16_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// escape: letters and digits stay, every other byte of the UTF-8 text becomes %XX.
Value Escape(Call& call) {
  if (call.Count() == 0) return Value();
  std::string out = script::PercentEncode(ArgString(call, 0));
  return call.machine.Str(std::move(out));
}

// unescape: %XX gives the byte, '+' a space; a '%' without two hex digits is dropped
// with the characters it took. The bytes then read as UTF-8.
Value Unescape(Call& call) {
  if (call.Count() == 0) return Value();
  const std::string text = ArgString(call, 0);
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      bytes += ' ';
      continue;
    }
    if (c != '%') {
      bytes += c;
      continue;
    }
    if (i + 1 >= text.size()) break;
    const int high = DigitValue(static_cast<unsigned char>(text[i + 1]));
    if (high >= 16) {
      ++i;
      continue;
    }
    if (i + 2 >= text.size()) break;
    const int low = DigitValue(static_cast<unsigned char>(text[i + 2]));
    i += 2;
    if (low >= 16) continue;
    const char byte = static_cast<char>(high * 16 + low);
    // A zero byte ends a string in the player.
    if (byte == 0) break;
    bytes += byte;
  }
  return call.machine.Str(script::Utf8FromUnits(script::Utf16Units(bytes)));
}

// parseInt with the player's rules: "0x" at the very start is skipped whatever the
// radix; a signed "0x" only parses in radix 34 or more, and then without its sign; a
// number of octal digits with a leading 0 (and no spaces) is octal.
Value ParseInt(Call& call) {
  if (call.Count() == 0) return Value();
  int radix = 0;
  if (call.Count() > 1) {
    radix = ArgInt(call, 1);
    if (radix < 2 || radix > 36) return Value::Number(kNaN);
  }
  const std::u16string text = script::Utf16Units(ArgString(call, 0));
  std::size_t i = 0;
  bool ignoreSign = false;
  const auto at = [&](std::size_t k) -> char16_t { return k < text.size() ? text[k] : 0; };
  const auto isX = [](char16_t c) { return c == 'x' || c == 'X'; };
  const auto octalFrom = [&](std::size_t k) {
    for (; k < text.size(); ++k) {
      if (text[k] < '0' || text[k] > '7') return false;
    }
    return true;
  };
  if ((at(0) == '+' || at(0) == '-') && at(1) == '0' && isX(at(2))) {
    if (radix <= 33) return Value::Number(kNaN);
    ignoreSign = true;
  } else if (at(0) == '0' && isX(at(1))) {
    i = 2;
    if (radix == 0) radix = 16;
  } else if (radix == 0 && ((at(0) == '0' && octalFrom(1)) || ((at(0) == '+' || at(0) == '-') && at(1) == '0' && octalFrom(2)))) {
    radix = 8;
  }
  if (radix == 0) radix = 10;
  while (i < text.size() && IsSpace(text[i])) ++i;
  double sign = 1;
  if (at(i) == '+' || at(i) == '-') {
    if (at(i) == '-') sign = -1;
    ++i;
  }
  if (ignoreSign) sign = 1;
  bool any = false;
  double result = 0;
  for (; i < text.size(); ++i) {
    const int d = DigitValue(text[i]);
    if (d >= radix) break;
    result = result * radix + d;
    any = true;
  }
  if (!any) return Value::Number(kNaN);
  return Value::Number(sign < 0 ? -result : result);
}

// parseFloat as the player reads numbers: integer digits gathered into one number,
// each fraction digit added at its tenth (so ".1499999" is 0.14999990000000005 as in
// the player), a second point skipped (and no exponent after it), the exponent
// wrapping at 32 bits.
Value ParseFloat(Call& call) {
  if (call.Count() == 0) return Value();
  const std::u16string text = script::Utf16Units(ArgString(call, 0));
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  double value = 0;
  double place = 1;
  int points = 0;
  bool any = false;
  std::uint32_t exponent = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= '0' && c <= '9') {
      if (points) {
        place /= 10;
        value += (c - '0') * place;
      } else {
        value = value * 10 + (c - '0');
      }
      any = true;
      continue;
    }
    if (c == '.') {
      ++points;
      continue;
    }
    if ((c == 'e' || c == 'E') && any && points < 2) {
      std::size_t k = i + 1;
      bool negativeExponent = false;
      if (k < text.size() && (text[k] == '+' || text[k] == '-')) {
        negativeExponent = text[k] == '-';
        ++k;
      }
      if (k >= text.size() || text[k] < '0' || text[k] > '9') break;
      for (; k < text.size() && text[k] >= '0' && text[k] <= '9'; ++k) exponent = exponent * 10 + (text[k] - '0');
      if (negativeExponent) exponent = 0u - exponent;
    }
    break;
  }
  if (!any) return Value::Number(kNaN);
  const auto power = static_cast<std::int32_t>(exponent);
  if (power > 0) value *= std::pow(10.0, power);
  if (power < 0) value /= std::pow(10.0, -static_cast<double>(power));
  return Value::Number(negative ? -value : value);
}

// Without an argument there is no number at all (not undefined, which SWF 6 counts as 0).
double ArgOrNaN(Call& call) { return call.args.empty() ? std::nan("") : ArgNumber(call, 0); }
Value IsNaN(Call& call) { return Value::Bool(std::isnan(ArgOrNaN(call))); }
Value IsFinite(Call& call) { return Value::Bool(std::isfinite(ArgOrNaN(call))); }

// The names a property list stands for: null for all, a comma list, or an array.
std::vector<std::string> NameList(MachineInterface& machine, const Value& list, bool& all) {
  all = list.IsNull();
  std::vector<std::string> names;
  if (all) return names;
  if (Object* array = list.AsObject(); array && array->IsArray()) {
    for (const Value& v : array->Array()->elements) names.push_back(machine.ToString(v));
    return names;
  }
  const std::string text = machine.ToString(list);
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    names.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return names;
}

Value ASSetPropFlags(Call& call) {
  Object* object = call.Arg(0).AsObject();
  if (!object || call.Count() < 2) return Value();
  // The player converts the flags before the names (valueOf, valueOf, then toString).
  const auto set = static_cast<std::uint16_t>(ToUint32(ArgNumber(call, 2)));
  const auto clear = call.Count() > 3 ? static_cast<std::uint16_t>(ToUint32(ArgNumber(call, 3))) : std::uint16_t{0};
  bool all = false;
  const std::vector<std::string> names = NameList(call.machine, call.Arg(1), all);
  const auto apply = [&](Property& p) { p.attributes = static_cast<std::uint16_t>((p.attributes & ~clear) | set); };
  // An array's elements are properties too.
  ArrayData* elements = object->Array();
  const auto applyElement = [&](std::size_t i) {
    elements->SetAttributes(i, static_cast<std::uint16_t>((elements->Attributes(i) & ~clear) | set));
  };
  if (all) {
    for (Property& p : object->Properties()) apply(p);
    if (elements) {
      for (const std::size_t i : elements->Indices()) applyElement(i);
    }
    return Value();
  }
  for (const std::string& name : names) {
    if (Property* p = object->FindOwn(name, call.machine.CaseSensitive())) {
      apply(*p);
    } else if (const long index = ArrayIndex(name); elements && index >= 0) {
      applyElement(static_cast<std::size_t>(index));
    }
  }
  return Value();
}

// ASnative(2, 0): whether the script function that runs was called by `new`.
Value AsNew(Call& call) { return Value::Bool(call.machine.Constructing()); }

Value ASnative(Call& call) {
  if (call.Count() != 2) return Value();
  const std::int32_t classNumber = ArgInt(call, 0);
  Object* fn = call.machine.Rt().Native(classNumber, ArgInt(call, 1));
  if (!fn && classNumber == 200) fn = call.machine.Rt().Native(200, kUnknownMathNative);
  return fn ? Value::Obj(fn) : Value();
}

// A name of ASSetNative's list may start with the SWF version it needs: "6name" to
// "9name", "10name"; a leading "1" alone is dropped.
std::uint16_t TakeVersion(std::string& name) {
  if (name.empty()) return 0;
  const char c = name[0];
  if (c >= '6' && c <= '9') {
    name.erase(0, 1);
    static const std::uint16_t kFlags[] = {kVersion6, kVersion7, kVersion8, kVersion9};
    return kFlags[c - '6'];
  }
  if (c == '1') {
    if (name.size() > 1 && name[1] == '0') {
      name.erase(0, 2);
      return kVersion10;
    }
    name.erase(0, 1);
  }
  return 0;
}

template <bool Accessor>
Value SetNatives(Call& call) {
  Object* object = call.Arg(0).AsObject();
  if (!object || call.Count() < 3) return Value();
  const std::int32_t classNumber = ArgInt(call, 1);
  const std::string list = ArgString(call, 2);
  std::int32_t index = call.Count() > 3 ? ArgInt(call, 3) : 0;
  if (call.machine.Throwing()) return Value();
  Runtime& rt = call.machine.Rt();
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const std::uint16_t version = TakeVersion(name);
    if (!name.empty()) {
      const bool exists = object->FindOwn(name, true) != nullptr;
      if (Accessor) {
        // The property takes the version its name gives, even one that was there
        // (hidden from older code, it leaves a prototype's value showing); numbers
        // without a native still make the property, reading undefined.
        constexpr std::uint16_t kVersions = kVersion6 | kVersion7 | kVersion8 | kVersion9 | kVersion10;
        const std::uint16_t attributes =
            static_cast<std::uint16_t>((exists ? object->FindOwn(name, true)->attributes & ~kVersions : 0) | version);
        Object* getter = rt.Native(classNumber, index);
        Object* setter = rt.Native(classNumber, index + 1);
        if (getter) {
          object->DefineAccessor(name, getter, setter, attributes);
        } else {
          object->Define(name, Value(), attributes).attributes = attributes;
        }
      } else if (Object* fn = rt.Native(classNumber, index)) {
        if (exists) {
          object->Define(name, Value::Obj(fn));
        } else {
          object->Define(name, Value::Obj(fn), version);
        }
      }
    }
    index += Accessor ? 2 : 1;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return Value();
}

// trace through ASnative(100, 4): the same text the trace action prints.
Value TraceNative(Call& call) {
  call.machine.Trace(ArgString(call, 0));
  return Value();
}

const Member kGlobalMembers[] = {
    {"escape", Escape, nullptr, kDontEnum, 100, 0},
    {"unescape", Unescape, nullptr, kDontEnum, 100, 1},
    {"parseInt", ParseInt, nullptr, kDontEnum, 100, 2},
    {"parseFloat", ParseFloat, nullptr, kDontEnum, 100, 3},
    {"isNaN", IsNaN, nullptr, kDontEnum, 200, 18},
    {"isFinite", IsFinite, nullptr, kDontEnum, 200, 19},
    {"ASSetPropFlags", ASSetPropFlags, nullptr, kDontEnum},
    {"ASnative", ASnative, nullptr, kDontEnum},
    {"ASSetNative", SetNatives<false>, nullptr, kDontEnum},
    {"ASSetNativeAccessor", SetNatives<true>, nullptr, kDontEnum},
};

}  // namespace

void InstallGlobals(Runtime& rt) {
  Install(rt, rt.global, kGlobalMembers);
  rt.RegisterNative(100, 4, rt.MakeFunction(TraceNative));
  rt.RegisterNative(2, 0, rt.MakeFunction(AsNew));
  rt.global->Define("NaN", Value::Number(kNaN), kDontEnum);
  rt.global->Define("Infinity", Value::Number(std::numeric_limits<double>::infinity()), kDontEnum);
  // The player declares a global "o" holding null.
  rt.global->Define("o", Value::Null(), kDontEnum);
}

}  // namespace vantrel::flash::avm1
