// String: the constructor (a conversion as a function, a box with new), the methods of
// String.prototype counted in UTF-16 units, and String.fromCharCode. Code of SWF 5 and
// earlier gets the player's older split().
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/native_support.h"
#include "flash/script/string_utils.h"
#include "flash/script/utf16.h"

namespace vantrel::flash::avm1 {

namespace {

// The text a method works on: a String box's value, a primitive `this`, or whatever
// `this` converts to.
std::string ThisText(Call& call) {
  if (call.thisValue.IsString()) return call.thisValue.Text();
  const Value boxed = BoxedValue(call.self, NativeKind::String);
  if (boxed.IsString()) return boxed.Text();
  const ConversionNesting nesting;
  if (nesting.TooDeep()) return std::string();
  return call.machine.ToString(call.thisValue);
}

void DefineLength(Object* object, const std::string& text) {
  object->Define("length", Value::Number(static_cast<double>(script::Utf16UnitCount(text))), kDontEnum | kDontDelete);
}

Value StringCall(Call& call) {
  if (call.Count() == 0) return call.machine.Str("");
  return call.machine.Str(ArgString(call, 0));
}

Value StringConstruct(Call& call) {
  const std::string text = call.Count() == 0 ? std::string() : ArgString(call, 0);
  Object* box = call.self ? call.self : call.machine.NewObject();
  if (!Fresh(box)) return Value::Obj(box);
  MakeBox(box, NativeKind::String, call.machine.Str(text));
  DefineLength(box, text);
  return Value::Obj(box);
}

Value ValueOf(Call& call) {
  const Value boxed = BoxedValue(call.self, NativeKind::String);
  if (boxed.IsString()) return boxed;
  if (call.thisValue.IsString()) return call.thisValue;
  return call.machine.Str(ThisText(call));
}

Value ToUpperCase(Call& call) { return call.machine.Str(script::ToUpperText(ThisText(call))); }
Value ToLowerCase(Call& call) { return call.machine.Str(script::ToLowerText(ThisText(call))); }

Value CharAt(Call& call) {
  const std::u16string text = script::Utf16Units(ThisText(call));
  const std::int32_t i = ArgInt(call, 0);
  if (i < 0 || static_cast<std::size_t>(i) >= text.size()) return call.machine.Str("");
  return call.machine.Str(script::Utf8FromUnits(text.substr(i, 1)));
}

Value CharCodeAt(Call& call) {
  const std::u16string text = script::Utf16Units(ThisText(call));
  const std::int32_t i = ArgInt(call, 0);
  if (i < 0) return Value::Number(std::nan(""));
  // Past the end the player of SWF 5 code answers 0, later ones NaN.
  if (static_cast<std::size_t>(i) >= text.size()) return Value::Number(call.machine.Version() < 6 ? 0 : std::nan(""));
  return Value::Number(text[i]);
}

Value Concat(Call& call) {
  std::string out = ThisText(call);
  for (const Value& v : call.args) {
    out = script::JoinUtf16(out, call.machine.ToString(v));
    if (call.machine.StringTooLong(out.size())) return Value();
  }
  return call.machine.Str(std::move(out));
}

Value IndexOf(Call& call) {
  if (call.Count() == 0) return Value();
  const std::u16string text = script::Utf16Units(ThisText(call));
  const std::u16string needle = script::Utf16Units(ArgString(call, 0));
  std::int32_t from = call.Count() > 1 ? ArgInt(call, 1) : 0;
  if (from < 0) from = 0;
  if (static_cast<std::size_t>(from) > text.size()) return Value::Number(-1);
  const std::size_t at = text.find(needle, from);
  return Value::Number(at == std::u16string::npos ? -1.0 : static_cast<double>(at));
}

Value LastIndexOf(Call& call) {
  if (call.Count() == 0) return Value();
  const std::u16string text = script::Utf16Units(ThisText(call));
  const std::u16string needle = script::Utf16Units(ArgString(call, 0));
  std::size_t from = std::u16string::npos;
  if (call.Count() > 1 && !call.Arg(1).IsUndefined()) {
    const std::int32_t i = ArgInt(call, 1);
    if (i < 0) return Value::Number(-1);
    from = static_cast<std::size_t>(i);
  }
  const std::size_t at = text.rfind(needle, from);
  return Value::Number(at == std::u16string::npos ? -1.0 : static_cast<double>(at));
}

std::int32_t FromEnd(std::int32_t index, std::int32_t length) {
  if (index < 0) return std::max(index + length, 0);
  return std::min(index, length);
}

Value Slice(Call& call) {
  if (call.Count() == 0) return Value();
  const std::u16string text = script::Utf16Units(ThisText(call));
  const auto length = static_cast<std::int32_t>(text.size());
  const std::int32_t start = FromEnd(ArgInt(call, 0), length);
  const std::int32_t end = call.Arg(1).IsUndefined() ? length : FromEnd(ArgInt(call, 1), length);
  if (start >= end) return call.machine.Str("");
  return call.machine.Str(script::Utf8FromUnits(text.substr(start, end - start)));
}

Value Substring(Call& call) {
  if (call.Count() == 0) return Value();
  const std::u16string text = script::Utf16Units(ThisText(call));
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t start = std::clamp(ArgInt(call, 0), 0, length);
  std::int32_t end = call.Arg(1).IsUndefined() ? length : std::clamp(ArgInt(call, 1), 0, length);
  if (end < start) std::swap(start, end);
  return call.machine.Str(script::Utf8FromUnits(text.substr(start, end - start)));
}

Value Substr(Call& call) {
  if (call.Count() == 0) return Value();
  const std::u16string text = script::Utf16Units(ThisText(call));
  const auto length = static_cast<std::int32_t>(text.size());
  const std::int32_t start = FromEnd(ArgInt(call, 0), length);
  std::int32_t count = call.Arg(1).IsUndefined() ? length : ArgInt(call, 1);
  if (count < 0) {
    // A negative count counts back from the end; one that would reach the end gives
    // nothing at all in the player.
    count += length;
    if (count < 0 || start + count >= length) return call.machine.Str("");
  }
  count = std::min(count, length - start);
  if (count <= 0) return call.machine.Str("");
  return call.machine.Str(script::Utf8FromUnits(text.substr(start, count)));
}

Value Split(Call& call) {
  MachineInterface& m = call.machine;
  const std::u16string text = script::Utf16Units(ThisText(call));
  const bool old = m.Version() < 6;
  std::int32_t limit = 0x7fffffff;
  if (!call.Arg(1).IsUndefined()) limit = std::max(ArgInt(call, 1), 0);
  std::vector<Value> parts;
  const auto add = [&](std::u16string_view part) {
    if (static_cast<std::int32_t>(parts.size()) < limit) parts.push_back(m.Str(script::Utf8FromUnits(part)));
  };
  const Value separatorArg = call.Arg(0);
  if (separatorArg.IsUndefined() && !old) {
    // No separator: the whole text, whatever the limit.
    parts.push_back(m.Str(script::Utf8FromUnits(text)));
    return Value::Obj(m.NewArray(std::move(parts)));
  }
  // SWF 5 code splits at commas when it gives no separator.
  const std::u16string separator = separatorArg.IsUndefined() ? u"," : script::Utf16Units(m.ToString(separatorArg));
  if (separator.empty()) {
    if (old) {
      add(text);
    } else {
      for (std::size_t i = 0; i < text.size() && static_cast<std::int32_t>(parts.size()) < limit; ++i) add(std::u16string_view(text).substr(i, 1));
    }
    return Value::Obj(m.NewArray(std::move(parts)));
  }
  std::size_t start = 0;
  for (;;) {
    if (static_cast<std::int32_t>(parts.size()) >= limit) break;
    const std::size_t at = text.find(separator, start);
    if (at == std::u16string::npos) {
      add(std::u16string_view(text).substr(start));
      break;
    }
    add(std::u16string_view(text).substr(start, at - start));
    start = at + separator.size();
  }
  return Value::Obj(m.NewArray(std::move(parts)));
}

// Each argument is one UTF-16 unit (ToUint16); a 0 ends the text, as in the player.
Value FromCharCode(Call& call) {
  std::u16string units;
  for (std::size_t i = 0; i < call.Count(); ++i) {
    const auto unit = static_cast<char16_t>(ToUint32(call.machine.ToNumber(call.args[i])) & 0xFFFF);
    if (unit == 0) break;
    units += unit;
  }
  return call.machine.Str(script::Utf8FromUnits(units));
}

constexpr std::uint16_t kMethod = kDontEnum | kDontDelete;

const Member kPrototypeMembers[] = {
    {"valueOf", ValueOf, nullptr, kMethod, 251, 1},
    {"toString", ValueOf, nullptr, kMethod, 251, 2},
    {"toUpperCase", ToUpperCase, nullptr, kMethod, 251, 3},
    {"toLowerCase", ToLowerCase, nullptr, kMethod, 251, 4},
    {"charAt", CharAt, nullptr, kMethod, 251, 5},
    {"charCodeAt", CharCodeAt, nullptr, kMethod, 251, 6},
    {"concat", Concat, nullptr, kMethod, 251, 7},
    {"indexOf", IndexOf, nullptr, kMethod, 251, 8},
    {"lastIndexOf", LastIndexOf, nullptr, kMethod, 251, 9},
    {"slice", Slice, nullptr, kMethod, 251, 10},
    {"substring", Substring, nullptr, kMethod, 251, 11},
    {"split", Split, nullptr, kMethod, 251, 12},
    {"substr", Substr, nullptr, kMethod, 251, 13},
};

const Member kClassMembers[] = {
    {"fromCharCode", FromCharCode, nullptr, kMethod, 251, 14},
};

}  // namespace

void InstallString(Runtime& rt) {
  Object* ctor = rt.MakeClass(StringCall, StringConstruct);
  Object* proto = ctor->FindOwn("prototype", true)->value.AsObject();
  rt.stringProto = proto;
  Install(rt, proto, kPrototypeMembers);
  Install(rt, ctor, kClassMembers);
  rt.RegisterNative(251, 0, ctor);
  rt.global->Define("String", Value::Obj(ctor), kDontEnum);
  rt.prototypes["String"] = proto;
}

}  // namespace vantrel::flash::avm1
