// String: UTF-16 unit indexing over the machine's UTF-8 strings.
#include <cmath>

#include "flash/avm2/builtins/regexp.h"
#include "flash/avm2/builtins/support.h"
#include "flash/script/string_utils.h"

namespace vantrel::flash::avm2 {

namespace {

std::string Self(Machine& m, const Value& self, const char* name) {
  if (self.IsString()) return self.string->Text();
  if (self.IsObject() && self.object == m.stringClass->prototype) return "";
  if (self.IsObject() && self.object->kind == ObjectKind::String) return m.ToString(static_cast<NativeObject*>(self.object)->a);
  if (std::string(name) == "toString" || std::string(name) == "valueOf")
    m.ThrowTypeError(1004, std::string("Method String.prototype.") + name + " was invoked on an incompatible object.");
  return m.ToString(self);
}

std::u16string Units(Machine& m, const Value& self, const char* name) { return script::Utf16Units(Self(m, self, name)); }
Value FromUnits(Machine& m, std::u16string_view units) { return m.StrValue(script::Utf8FromUnits(units)); }

double Clamp(double d, double length) {
  if (std::isnan(d)) return 0;
  d = std::trunc(d);
  if (d < 0) d = std::max(0.0, length + d);
  return std::min(std::trunc(d), length);
}

Value Length(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(static_cast<double>(script::Utf16UnitCount(Self(m, self, "length"))));
}

// A typed Number parameter: a missing argument is its default, an explicit undefined NaN.
double TypedNum(Machine& m, const Value* args, int argc, int index, double fallback) {
  return index < argc ? m.ToNumber(args[index]) : fallback;
}

Value CharAt(Machine& m, const Value& self, const Value* args, int argc) {
  const std::u16string u = Units(m, self, "charAt");
  double i = NumArg(m, args, argc, 0, 0);
  i = std::isnan(i) ? 0 : std::trunc(i);
  if (i < 0 || i >= u.size()) return m.StrValue("");
  return FromUnits(m, u.substr(static_cast<std::size_t>(i), 1));
}

Value CharCodeAt(Machine& m, const Value& self, const Value* args, int argc) {
  const std::u16string u = Units(m, self, "charCodeAt");
  double i = NumArg(m, args, argc, 0, 0);
  if (std::isnan(i)) i = 0;
  i = std::trunc(i);
  if (i < 0 || i >= u.size()) return Value::Number(std::nan(""));
  return Value::Number(u[static_cast<std::size_t>(i)]);
}

Value IndexOf(Machine& m, const Value& self, const Value* args, int argc) {
  const std::string s = Self(m, self, "indexOf");
  // The needle is a String parameter: undefined and null make it null, found nowhere.
  if (argc > 0 && args[0].IsNullish()) return Value::Number(-1);
  const std::string needle = StrArg(m, args, argc, 0);
  double from = NumArg(m, args, argc, 1, 0);
  if (std::isnan(from) || from < 0) from = 0;
  const double length = static_cast<double>(script::Utf16UnitCount(s));
  if (from > length) from = length;
  return Value::Number(static_cast<double>(script::Utf16IndexOf(s, needle, static_cast<std::size_t>(from))));
}

Value LastIndexOf(Machine& m, const Value& self, const Value* args, int argc) {
  const std::string s = Self(m, self, "lastIndexOf");
  if (argc > 0 && args[0].IsNullish()) return Value::Number(-1);
  const std::string needle = StrArg(m, args, argc, 0);
  double from = NumArg(m, args, argc, 1, 0x7FFFFFFF);
  if (std::isnan(from)) from = 0x7FFFFFFF;
  if (from < 0) return Value::Number(needle.empty() ? 0 : -1);
  from = std::min(from, static_cast<double>(script::Utf16UnitCount(s)));
  return Value::Number(static_cast<double>(script::Utf16LastIndexOf(s, needle, static_cast<std::size_t>(from))));
}

Value Slice(Machine& m, const Value& self, const Value* args, int argc) {
  const std::u16string u = Units(m, self, "slice");
  const double length = static_cast<double>(u.size());
  const double start = Clamp(NumArg(m, args, argc, 0, 0), length);
  const double end = Clamp(argc > 1 ? m.ToNumber(args[1]) : length, length);
  if (end <= start) return m.StrValue("");
  return FromUnits(m, u.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

Value Substring(Machine& m, const Value& self, const Value* args, int argc) {
  const std::u16string u = Units(m, self, "substring");
  const double length = static_cast<double>(u.size());
  auto clamp = [&](double d) { return std::isnan(d) ? 0.0 : std::clamp(std::trunc(d), 0.0, length); };
  double start = clamp(NumArg(m, args, argc, 0, 0));
  double end = clamp(TypedNum(m, args, argc, 1, length));
  if (start > end) std::swap(start, end);
  return FromUnits(m, u.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

Value Substr(Machine& m, const Value& self, const Value* args, int argc) {
  const std::u16string u = Units(m, self, "substr");
  const double length = static_cast<double>(u.size());
  const double start = Clamp(NumArg(m, args, argc, 0, 0), length);
  double count = TypedNum(m, args, argc, 1, length);
  if (std::isnan(count)) count = 0;
  count = std::trunc(count);
  if (count < 0) {  // counts back from the end; nothing when that reaches the end
    count = std::max(0.0, length + count);
    if (start + count >= length) count = 0;
  }  // counts back from the end
  count = std::clamp(std::trunc(count), 0.0, length - start);
  return FromUnits(m, u.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(count)));
}

Value ToLower(Machine& m, const Value& self, const Value*, int) { return m.StrValue(script::ToLowerText(Self(m, self, "toLowerCase"))); }
Value ToUpper(Machine& m, const Value& self, const Value*, int) { return m.StrValue(script::ToUpperText(Self(m, self, "toUpperCase"))); }

Value ToStringMethod(Machine& m, const Value& self, const Value*, int) { return m.StrValue(Self(m, self, "toString")); }
Value ValueOfMethod(Machine& m, const Value& self, const Value*, int) { return m.StrValue(Self(m, self, "valueOf")); }

Value Concat(Machine& m, const Value& self, const Value* args, int argc) {
  std::string s = Self(m, self, "concat");
  for (int i = 0; i < argc; ++i) {
    s += m.ToString(args[i]);
    m.CheckStringRoom(s.size());
  }
  return m.StrValue(s);
}

Value Split(Machine& m, const Value& self, const Value* args, int argc) {
  const std::string s = Self(m, self, "split");
  std::vector<Value> out;
  const double limitArg = NumArg(m, args, argc, 1, 4294967295.0);
  const std::size_t limit = std::isnan(limitArg) ? 0 : static_cast<std::size_t>(std::min(limitArg, 4294967295.0));
  if (argc > 0 && IsRegExp(args[0])) return RegExpSplit(m, args[0].object, s, limit);
  {
    // The separator is read as text, undefined too ("undefined"); an empty one cuts
    // the text into its units, and the empty text into one empty piece.
    const std::string separator = m.ToString(Arg(args, argc, 0));
    if (separator.empty()) {
      const std::u16string u = script::Utf16Units(s);
      for (std::size_t i = 0; i < u.size() && out.size() < limit; ++i) out.push_back(FromUnits(m, u.substr(i, 1)));
      if (u.empty() && limit > 0) out.push_back(m.StrValue(""));
    } else {
      std::size_t start = 0;
      while (out.size() < limit) {
        const std::size_t at = s.find(separator, start);
        if (at == std::string::npos) {
          out.push_back(m.StrValue(s.substr(start)));
          break;
        }
        out.push_back(m.StrValue(s.substr(start, at - start)));
        start = at + separator.size();
      }
    }
  }
  if (out.size() > limit) out.resize(limit);
  return Value::Obj(m.NewArray(std::move(out)));
}

Value Replace(Machine& m, const Value& self, const Value* args, int argc) {
  const std::string s = Self(m, self, "replace");
  if (argc > 0 && IsRegExp(args[0])) return RegExpReplace(m, args[0].object, s, Arg(args, argc, 1));
  const std::string pattern = StrArg(m, args, argc, 0);
  const std::size_t at = s.find(pattern);
  if (at == std::string::npos) return m.StrValue(s);
  const Value with = Arg(args, argc, 1);
  std::string replacement;
  if (IsCallable(with)) {
    const Value callArgs[3] = {m.StrValue(pattern), Value::Number(static_cast<double>(script::Utf16UnitCount(s.substr(0, at)))), m.StrValue(s)};
    replacement = m.ToString(m.Call(with, Value::Null(), callArgs, 3));
  } else {
    const std::string raw = m.ToString(with);
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '$' && i + 1 < raw.size()) {
        const char next = raw[i + 1];
        if (next == '$') { replacement += '$'; ++i; continue; }
        if (next == '&') { replacement += pattern; ++i; continue; }
        if (next == '`') { replacement += s.substr(0, at); ++i; continue; }
        if (next == '\'') { replacement += s.substr(at + pattern.size()); ++i; continue; }
      }
      replacement += raw[i];
    }
  }
  return m.StrValue(s.substr(0, at) + replacement + s.substr(at + pattern.size()));
}

// The difference of the first UTF-16 units that differ, else of the lengths.
Value LocaleCompare(Machine& m, const Value& self, const Value* args, int argc) {
  const std::u16string a = Units(m, self, "localeCompare");
  const std::u16string b = script::Utf16Units(StrArg(m, args, argc, 0));
  // The difference of the first units that differ; when one text begins the other,
  // -1 or 1 (not the difference of the lengths).
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (a[i] != b[i]) return Value::Number(static_cast<int>(a[i]) - static_cast<int>(b[i]));
  return Value::Number(a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0);
}

Value Search(Machine& m, const Value& self, const Value* args, int argc) {
  const std::string s = Self(m, self, "search");
  const Value pattern = Arg(args, argc, 0);
  if (IsRegExp(pattern)) return RegExpSearch(m, pattern.object, s);
  if (!pattern.IsUndefined()) return RegExpSearch(m, MakeRegExp(m, m.ToString(pattern), "").object, s);
  return Value::Number(static_cast<double>(script::Utf16IndexOf(s, StrArg(m, args, argc, 0), 0)));
}

Value MatchMethod(Machine& m, const Value& self, const Value* args, int argc) {
  const std::string s = Self(m, self, "match");
  const Value pattern = Arg(args, argc, 0);
  if (pattern.IsNullish()) return Value::Null();
  const Value re = IsRegExp(pattern) ? pattern : MakeRegExp(m, m.ToString(pattern), "");
  return RegExpMatch(m, re.object, s);
}

Value FromCharCode(Machine& m, const Value&, const Value* args, int argc) {
  std::u16string u;
  for (int i = 0; i < argc; ++i) u.push_back(static_cast<char16_t>(m.ToUint32(args[i]) & 0xFFFF));
  return FromUnits(m, u);
}

Value StringCall(Machine& m, const Value&, const Value* args, int argc) {
  return argc == 0 ? m.StrValue("") : m.StrValue(m.ToString(args[0]));
}

}  // namespace

void InstallString(Machine& m) {
  ClassObject* c = m.DefineClass("", "String", m.objectClass);
  m.stringClass = c;
  c->isFinal = true;
  c->callHandler = m.NativeMethod("String", StringCall);
  static const Member kStringMembers[] = {
      {"length", Length, nullptr, kAccessor, 0},
      {"charAt", CharAt, nullptr, kPrototype, 0, 1},
      {"charCodeAt", CharCodeAt, nullptr, kPrototype, 0, 1},
      {"indexOf", IndexOf, nullptr, kPrototype, 0, 2},
      {"lastIndexOf", LastIndexOf, nullptr, kPrototype, 0, 2},
      {"slice", Slice, nullptr, kPrototype, 0, 2},
      {"substring", Substring, nullptr, kPrototype, 0, 2},
      {"substr", Substr, nullptr, kPrototype, 0, 2},
      {"toLowerCase", ToLower, nullptr, kPrototype, 0},
      {"toUpperCase", ToUpper, nullptr, kPrototype, 0},
      {"toLocaleLowerCase", ToLower, nullptr, kPrototype, 0},
      {"toLocaleUpperCase", ToUpper, nullptr, kPrototype, 0},
      {"toString", ToStringMethod, nullptr, kPrototype, 0},
      {"valueOf", ValueOfMethod, nullptr, kPrototype, 0},
      {"concat", Concat, nullptr, kPrototype, 0},
      {"split", Split, nullptr, kPrototype, 0, 2},
      {"replace", Replace, nullptr, kPrototype, 0, 2},
      {"localeCompare", LocaleCompare, nullptr, kPrototype, 0, 1},
      {"search", Search, nullptr, kPrototype, 0, 1},
      {"match", MatchMethod, nullptr, kPrototype, 0, 1},
      {"fromCharCode", FromCharCode, nullptr, kStatic, 0},
  };
  Install(m, c, kStringMembers);
  static const Constant kStringConstants[] = {
      {"length", 1},
  };
  Install(m, c, kStringConstants);
}

}  // namespace vantrel::flash::avm2
