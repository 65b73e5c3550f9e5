// RegExp: patterns are compiled by PCRE2's 16-bit library, so indices are UTF-16 units
// as the language counts them. The flags are g (global), i, m, s (dotall) and x
// (extended); named groups are written (?P<name>...) and show up as properties of exec's
// result. A pattern that does not compile makes a RegExp that matches nothing.
#define PCRE2_CODE_UNIT_WIDTH 16
#include "flash/avm2/builtins/regexp.h"

#include <pcre2.h>

#include <cmath>

#include "flash/avm2/builtins/support.h"
#include "flash/script/string_utils.h"

namespace vantrel::flash::avm2 {

namespace {

class RegExpObject : public Object {
 public:
  using Object::Object;
  ~RegExpObject() override {
    if (code) pcre2_code_free(code);
  }
  std::string source;
  bool global = false, ignoreCase = false, multiline = false, dotall = false, extended = false;
  double lastIndex = 0;
  pcre2_code* code = nullptr;
  std::vector<std::pair<std::string, int>> groupNames;  // name, group number
  int groups = 0;
};

PCRE2_SPTR16 Ptr(const std::u16string& s) { return reinterpret_cast<PCRE2_SPTR16>(s.data()); }

void Compile(RegExpObject* re, const std::string& flags) {
  for (const char f : flags) {
    if (f == 'g') re->global = true;
    else if (f == 'i') re->ignoreCase = true;
    else if (f == 'm') re->multiline = true;
    else if (f == 's') re->dotall = true;
    else if (f == 'x') re->extended = true;
  }
  std::uint32_t options = PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS | PCRE2_MATCH_UNSET_BACKREF;
  if (re->ignoreCase) options |= PCRE2_CASELESS;
  if (re->multiline) options |= PCRE2_MULTILINE;
  else options |= PCRE2_DOLLAR_ENDONLY;
  if (re->dotall) options |= PCRE2_DOTALL;
  if (re->extended) options |= PCRE2_EXTENDED;
  const std::u16string pattern = script::Utf16Units(re->source);
  pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
  pcre2_set_compile_extra_options(context, PCRE2_EXTRA_ALT_BSUX);
  int error = 0;
  PCRE2_SIZE offset = 0;
  re->code = pcre2_compile(Ptr(pattern), pattern.size(), options, &error, &offset, context);
  pcre2_compile_context_free(context);
  if (!re->code) return;
  std::uint32_t count = 0, entrySize = 0;
  PCRE2_SPTR table = nullptr;
  pcre2_pattern_info(re->code, PCRE2_INFO_CAPTURECOUNT, &count);
  re->groups = static_cast<int>(count);
  pcre2_pattern_info(re->code, PCRE2_INFO_NAMECOUNT, &count);
  pcre2_pattern_info(re->code, PCRE2_INFO_NAMEENTRYSIZE, &entrySize);
  pcre2_pattern_info(re->code, PCRE2_INFO_NAMETABLE, &table);
  for (std::uint32_t i = 0; i < count; ++i) {
    const PCRE2_SPTR entry = table + i * entrySize;
    std::u16string name;
    for (std::uint32_t k = 1; k < entrySize && entry[k]; ++k) name.push_back(static_cast<char16_t>(entry[k]));
    re->groupNames.emplace_back(script::Utf8FromUnits(name), static_cast<int>(entry[0]));
  }
}

// One match at or after start: the groups' [begin, end) pairs (begin -1 when unset).
struct Match {
  std::vector<long> spans;
  long Begin(int g) const { return spans[static_cast<std::size_t>(g) * 2]; }
  long End(int g) const { return spans[static_cast<std::size_t>(g) * 2 + 1]; }
};

bool Find(const RegExpObject* re, const std::u16string& subject, std::size_t start, Match& out) {
  if (!re->code || start > subject.size()) return false;
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(re->code, nullptr);
  const int rc = pcre2_match(re->code, Ptr(subject), subject.size(), start, 0, data, nullptr);
  if (rc < 0) {
    pcre2_match_data_free(data);
    return false;
  }
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
  out.spans.assign(static_cast<std::size_t>(re->groups + 1) * 2, -1);
  for (int g = 0; g <= re->groups && g < rc; ++g) {
    if (ovector[2 * g] == PCRE2_UNSET) continue;
    out.spans[static_cast<std::size_t>(g) * 2] = static_cast<long>(ovector[2 * g]);
    out.spans[static_cast<std::size_t>(g) * 2 + 1] = static_cast<long>(ovector[2 * g + 1]);
  }
  pcre2_match_data_free(data);
  return true;
}

Value Units(Machine& m, const std::u16string& s, long begin, long end) {
  return m.StrValue(script::Utf8FromUnits(std::u16string_view(s).substr(static_cast<std::size_t>(begin),
                                                                     static_cast<std::size_t>(end - begin))));
}

Value Group(Machine& m, const std::u16string& s, const Match& match, int g) {
  return match.Begin(g) < 0 ? Value() : Units(m, s, match.Begin(g), match.End(g));
}

// exec's result: the match and its groups, with index, input and the named groups.
Value ResultArray(Machine& m, const RegExpObject* re, const std::u16string& s, const std::string& input, const Match& match) {
  std::vector<Value> elements;
  for (int g = 0; g <= re->groups; ++g) elements.push_back(Group(m, s, match, g));
  ArrayObject* a = m.NewArray(std::move(elements));
  for (const auto& [name, number] : re->groupNames) {
    const Value v = Group(m, s, match, number);
    a->SetOwn(name, v.IsUndefined() ? m.StrValue("") : v);
  }
  a->SetOwn("index", Value::Number(static_cast<double>(match.Begin(0))));
  a->SetOwn("input", m.StrValue(input));
  return Value::Obj(a);
}

RegExpObject* This(Machine& m, const Value& self, const char* method) {
  return Receiver<RegExpObject>(m, self, ObjectKind::RegExp, method);
}

Value Exec(Machine& m, RegExpObject* re, const std::string& input) {
  const std::u16string s = script::Utf16Units(input);
  double start = re->global ? re->lastIndex : 0;
  if (std::isnan(start) || start < 0) start = 0;
  Match match;
  if (start > static_cast<double>(s.size()) || !Find(re, s, static_cast<std::size_t>(start), match)) {
    if (re->global) re->lastIndex = 0;
    return Value::Null();
  }
  if (re->global) re->lastIndex = static_cast<double>(match.End(0));
  return ResultArray(m, re, s, input, match);
}

Object* AllocateRegExp(Machine& m, ClassObject*) { return m.heap.Make<RegExpObject>(ObjectKind::RegExp, nullptr, nullptr); }

Value RegExpConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  auto* re = static_cast<RegExpObject*>(self.object);
  const Value pattern = Arg(args, argc, 0);
  const Value flags = Arg(args, argc, 1);
  if (IsRegExp(pattern)) {
    if (!flags.IsUndefined()) m.ThrowTypeError(1100, "Cannot supply flags when constructing one RegExp from another.");
    const auto* from = static_cast<RegExpObject*>(pattern.object);
    re->source = from->source;
    std::string copied;
    if (from->global) copied += 'g';
    if (from->ignoreCase) copied += 'i';
    if (from->multiline) copied += 'm';
    if (from->dotall) copied += 's';
    if (from->extended) copied += 'x';
    Compile(re, copied);
    return Value::Obj(re);
  }
  re->source = pattern.IsUndefined() ? "" : m.ToString(pattern);
  Compile(re, flags.IsUndefined() ? "" : m.ToString(flags));
  return Value::Obj(re);
}

Value RegExpCall(Machine& m, const Value&, const Value* args, int argc) {
  if (IsRegExp(Arg(args, argc, 0)) && Arg(args, argc, 1).IsUndefined()) return args[0];
  return Value::Obj(m.ConstructClass(m.FindClass("RegExp"), args, argc));
}

Value ExecMethod(Machine& m, const Value& self, const Value* args, int argc) {
  return Exec(m, This(m, self, "RegExp/exec()"), StrArg(m, args, argc, 0));
}

Value TestMethod(Machine& m, const Value& self, const Value* args, int argc) {
  return Value::Bool(!Exec(m, This(m, self, "RegExp/test()"), StrArg(m, args, argc, 0)).IsNull());
}

Value ToStringMethod(Machine& m, const Value& self, const Value*, int) {
  if (self.IsObject() && self.object == m.FindClass("RegExp")->prototype) return m.StrValue("//");
  // toString takes its receiver as a RegExp: anything else fails that coercion.
  if (!self.IsObject() || self.object->kind != ObjectKind::RegExp)
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to RegExp.");
  const RegExpObject* re = static_cast<const RegExpObject*>(self.object);
  std::string text = "/" + re->source + "/";
  if (re->global) text += 'g';
  if (re->ignoreCase) text += 'i';
  if (re->multiline) text += 'm';
  if (re->dotall) text += 's';
  if (re->extended) text += 'x';
  return m.StrValue(text);
}

Value Flag(Machine& m, const Value& self, const Value*, int, int tag) {
  const RegExpObject* re = This(m, self, "RegExp");
  switch (tag) {
    case 0: return Value::Bool(re->global);
    case 1: return Value::Bool(re->ignoreCase);
    case 2: return Value::Bool(re->multiline);
    case 3: return Value::Bool(re->dotall);
    default: return Value::Bool(re->extended);
  }
}
Value Global(Machine& m, const Value& self, const Value* a, int n) { return Flag(m, self, a, n, 0); }
Value IgnoreCase(Machine& m, const Value& self, const Value* a, int n) { return Flag(m, self, a, n, 1); }
Value Multiline(Machine& m, const Value& self, const Value* a, int n) { return Flag(m, self, a, n, 2); }
Value Dotall(Machine& m, const Value& self, const Value* a, int n) { return Flag(m, self, a, n, 3); }
Value Extended(Machine& m, const Value& self, const Value* a, int n) { return Flag(m, self, a, n, 4); }
Value Source(Machine& m, const Value& self, const Value*, int) { return m.StrValue(This(m, self, "RegExp")->source); }
Value GetLastIndex(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(This(m, self, "RegExp")->lastIndex);
}
Value SetLastIndex(Machine& m, const Value& self, const Value* args, int argc) {
  This(m, self, "RegExp")->lastIndex = m.ToInt32(Arg(args, argc, 0));
  return Value();
}

// The text a replacement pattern stands for: $1..$99, $&, $`, $' and $$.
std::u16string Expand(const std::u16string& pattern, const std::u16string& s, const Match& match, int groups) {
  std::u16string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c != u'$' || i + 1 >= pattern.size()) {
      out += c;
      continue;
    }
    const char16_t next = pattern[i + 1];
    if (next == u'$') {
      out += u'$';
      ++i;
    } else if (next == u'&') {
      out += s.substr(static_cast<std::size_t>(match.Begin(0)), static_cast<std::size_t>(match.End(0) - match.Begin(0)));
      ++i;
    } else if (next == u'`') {
      out += s.substr(0, static_cast<std::size_t>(match.Begin(0)));
      ++i;
    } else if (next == u'\'') {
      out += s.substr(static_cast<std::size_t>(match.End(0)));
      ++i;
    } else if (next >= u'0' && next <= u'9') {
      int g = next - u'0';
      std::size_t used = 1;
      const bool twoDigits = i + 2 < pattern.size() && pattern[i + 2] >= u'0' && pattern[i + 2] <= u'9';
      if (twoDigits && g >= 1 && g * 10 + (pattern[i + 2] - u'0') >= 1 && g * 10 + (pattern[i + 2] - u'0') <= groups) {
        g = g * 10 + (pattern[i + 2] - u'0');
        used = 2;
      } else if (g == 0 && twoDigits && pattern[i + 2] != u'0') {
        g = 0;  // "$0" before another digit stands for the whole match
      } else if (g == 0) {
        g = -1;
      }
      if (g < 0 || g > groups) {
        out += c;
        continue;
      }
      if (match.Begin(g) >= 0)
        out += s.substr(static_cast<std::size_t>(match.Begin(g)), static_cast<std::size_t>(match.End(g) - match.Begin(g)));
      i += used;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

bool IsRegExp(const Value& v) { return v.IsObject() && v.object->kind == ObjectKind::RegExp; }

Value MakeRegExp(Machine& m, const std::string& source, const std::string& flags) {
  const Value args[2] = {m.StrValue(source), m.StrValue(flags)};
  return Value::Obj(m.ConstructClass(m.FindClass("RegExp"), args, 2));
}

Value RegExpMatch(Machine& m, Object* object, const std::string& subject) {
  auto* re = static_cast<RegExpObject*>(object);
  if (!re->global) return Exec(m, re, subject);
  const std::u16string s = script::Utf16Units(subject);
  std::vector<Value> found;
  std::size_t at = 0;
  Match match;
  while ((at < s.size() || at == 0) && Find(re, s, at, match)) {
    found.push_back(Units(m, s, match.Begin(0), match.End(0)));
    at = match.End(0) == match.Begin(0) ? static_cast<std::size_t>(match.End(0)) + 1 : static_cast<std::size_t>(match.End(0));
  }
  re->lastIndex = 0;
  return Value::Obj(m.NewArray(std::move(found)));
}

Value RegExpReplace(Machine& m, Object* object, const std::string& subject, const Value& with) {
  auto* re = static_cast<RegExpObject*>(object);
  const std::u16string s = script::Utf16Units(subject);
  const bool callable = IsCallable(with);
  const std::u16string pattern = callable ? std::u16string() : script::Utf16Units(m.ToString(with));
  std::u16string out;
  std::size_t at = 0, copied = 0;
  Match match;
  while (at <= s.size() && Find(re, s, at, match)) {
    out += s.substr(copied, static_cast<std::size_t>(match.Begin(0)) - copied);
    if (callable) {
      std::vector<Value> args;
      for (int g = 0; g <= re->groups; ++g) {
        const Value v = Group(m, s, match, g);
        args.push_back(v.IsUndefined() ? m.StrValue("") : v);
      }
      args.push_back(Value::Number(static_cast<double>(match.Begin(0))));
      args.push_back(m.StrValue(subject));
      out += script::Utf16Units(m.ToString(m.Call(with, Value::Null(), args.data(), static_cast<int>(args.size()))));
    } else {
      out += Expand(pattern, s, match, re->groups);
    }
    copied = static_cast<std::size_t>(match.End(0));
    if (!re->global) break;
    at = match.End(0) == match.Begin(0) ? copied + 1 : copied;
  }
  if (copied < s.size()) out += s.substr(copied);
  return m.StrValue(script::Utf8FromUnits(out));
}

Value RegExpSearch(Machine&, Object* object, const std::string& subject) {
  const auto* re = static_cast<RegExpObject*>(object);
  Match match;
  if (!Find(re, script::Utf16Units(subject), 0, match)) return Value::Number(-1);
  return Value::Number(static_cast<double>(match.Begin(0)));
}

Value RegExpSplit(Machine& m, Object* object, const std::string& subject, std::size_t limit) {
  const auto* re = static_cast<RegExpObject*>(object);
  const std::u16string s = script::Utf16Units(subject);
  std::vector<Value> out;
  if (limit == 0) return Value::Obj(m.NewArray());
  if (s.empty()) {
    Match match;
    if (!Find(re, s, 0, match)) out.push_back(m.StrValue(""));
    return Value::Obj(m.NewArray(std::move(out)));
  }
  // The language's split: from each position q, the first match at or after it; an
  // empty match where the last piece ended splits nothing and the search moves on by
  // one, so an empty pattern cuts the text into its units.
  std::size_t piece = 0, at = 0;
  Match match;
  while (at < s.size()) {
    if (!Find(re, s, at, match) || static_cast<std::size_t>(match.Begin(0)) >= s.size()) break;
    const auto begin = static_cast<std::size_t>(match.Begin(0));
    const auto end = static_cast<std::size_t>(match.End(0));
    if (end == piece) {
      at = begin + 1;
      continue;
    }
    out.push_back(Units(m, s, static_cast<long>(piece), static_cast<long>(begin)));
    if (out.size() >= limit) return Value::Obj(m.NewArray(std::move(out)));
    for (int g = 1; g <= re->groups; ++g) {
      out.push_back(Group(m, s, match, g));
      if (out.size() >= limit) return Value::Obj(m.NewArray(std::move(out)));
    }
    piece = end;
    at = end;
  }
  out.push_back(Units(m, s, static_cast<long>(piece), static_cast<long>(s.size())));
  return Value::Obj(m.NewArray(std::move(out)));
}

void InstallRegExp(Machine& m) {
  ClassObject* c = m.DefineClass("", "RegExp", m.objectClass, RegExpConstruct, false);
  c->allocate = AllocateRegExp;
  c->callHandler = m.NativeMethod("RegExp", RegExpCall);
  static const Constant kRegExpConstants[] = {
      {"length", 1},
  };
  Install(m, c, kRegExpConstants);
  static const Member kRegExpMembers[] = {
      {"source", Source, nullptr, kAccessor, 0},
      {"global", Global, nullptr, kAccessor, 0},
      {"ignoreCase", IgnoreCase, nullptr, kAccessor, 0},
      {"multiline", Multiline, nullptr, kAccessor, 0},
      {"dotall", Dotall, nullptr, kAccessor, 0},
      {"extended", Extended, nullptr, kAccessor, 0},
      {"lastIndex", GetLastIndex, SetLastIndex, kAccessor, 0},
      {"exec", ExecMethod, nullptr, 0, 0},
      {"test", TestMethod, nullptr, 0, 0},
      {"exec", ExecMethod, nullptr, kPrototype, 0},
      {"test", TestMethod, nullptr, kPrototype, 0},
      {"toString", ToStringMethod, nullptr, kPrototype, 0},
  };
  Install(m, c, kRegExpMembers);
}

}  // namespace vantrel::flash::avm2
