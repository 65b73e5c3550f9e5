// TextField.StyleSheet: CSS rules by selector. Each style is kept twice, as the
// script gave it (_css, what getStyle copies out) and as a TextFormat made by the
// sheet's own transform method (_styles, what fields apply to their HTML text).
#include <QString>
#include <cmath>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/text_format.h"
#include "flash/script/utf16.h"

namespace vantrel::flash::avm1 {

namespace {

Value Construct(Call& call) { return call.self ? Value::Obj(call.self) : Value(); }

// Script strings hold UTF-16 code units (lone surrogates too): converted unit by unit.
QString ToQt(const std::string& text) { return QString::fromStdU16String(script::ToUtf16(text)); }
std::string FromQt(const QString& text) { return script::FromUtf16(text.toStdU16String()); }

// A shallow copy of an object's enumerable properties, in their order.
Object* CopyOf(MachineInterface& m, Object* from) {
  Object* copy = m.NewObject();
  const std::vector<std::string> names = m.Enumerate(from);
  for (auto it = names.rbegin(); it != names.rend(); ++it) m.Set(copy, *it, m.Get(from, *it));
  return copy;
}

// The sheet's _css and _styles, made on first use.
Object* Table(MachineInterface& m, Object* sheet, const char* name) {
  Object* table = m.Get(sheet, name).AsObject();
  if (!table) {
    table = m.NewObject();
    m.Set(sheet, name, Value::Obj(table));
  }
  return table;
}

void PutStyle(MachineInterface& m, Object* sheet, const std::string& name, const Value& style) {
  Object* css = Table(m, sheet, "_css");
  Object* styles = Table(m, sheet, "_styles");
  Object* source = style.IsObject() ? style.AsObject() : nullptr;
  const Value copy = source ? Value::Obj(CopyOf(m, source)) : Value::Null();
  m.Set(css, name, copy);
  const Value transformed = m.CallMethod(Value::Obj(sheet), "transform", std::span<const Value>(&copy, 1));
  if (transformed.IsObject()) m.Set(styles, name, transformed);
  else styles->DeleteOwn(name, true);
}

Value SetStyle(Call& call) {
  if (!call.self || call.Count() == 0) return {};
  PutStyle(call.machine, call.self, call.machine.ToString(call.Arg(0)), call.Arg(1));
  return {};
}

Value GetStyle(Call& call) {
  if (!call.self) return Value::Null();
  Object* css = call.machine.Get(call.self, "_css").AsObject();
  if (!css) return Value::Null();
  const Value style = call.machine.Get(css, call.machine.ToString(call.Arg(0)));
  if (!style.IsObject()) return Value::Null();
  return Value::Obj(CopyOf(call.machine, style.AsObject()));
}

Value GetStyleNames(Call& call) {
  Object* names = call.machine.NewArray();
  Object* css = call.self ? call.machine.Get(call.self, "_css").AsObject() : nullptr;
  if (!css) return Value::Obj(names);
  std::vector<Value> list;
  const std::vector<std::string> keys = call.machine.Enumerate(css);
  for (auto it = keys.rbegin(); it != keys.rend(); ++it) list.push_back(call.machine.Str(*it));
  return Value::Obj(call.machine.NewArray(std::move(list)));
}

Value Clear(Call& call) {
  if (!call.self) return {};
  call.machine.Set(call.self, "_css", Value::Obj(call.machine.NewObject()));
  call.machine.Set(call.self, "_styles", Value::Obj(call.machine.NewObject()));
  return {};
}

// transform(style): the TextFormat a style object stands for. Properties count only
// when they are truthy; numbers are read as parseInt reads them, and the TextFormat's
// own setters then bound them (margins at 0, and so on). null for null/undefined.
Value Transform(Call& call) {
  MachineInterface& m = call.machine;
  const Value style = call.Arg(0);
  if (style.IsNullish()) return Value::Null();
  Object* ctor = m.Get(m.Rt().global, "TextFormat").AsObject();
  Object* format = ctor ? m.Construct(ctor, {}) : nullptr;
  if (!format) return Value::Null();
  const auto read = [&](const char* name) { return m.GetMember(style, name); };
  const auto text = [&](const Value& v) { return ToQt(m.ToString(v)); };
  const auto integer = [&](const Value& v) {
    return v.IsNumber() ? std::trunc(v.number) : LeadingInteger(text(v)).value_or(std::nan(""));
  };
  if (const Value color = read("color"); color.IsString()) {
    const QString c = text(color);
    bool ok = false;
    const uint rgb = c.mid(1).toUInt(&ok, 16);
    if (c.size() == 7 && c[0] == '#' && ok) m.Set(format, "color", Value::Number(rgb));
  }
  const QString display = text(read("display"));
  m.Set(format, "display", m.Str(display == "inline" ? "inline" : display == "none" ? "none" : "block"));
  if (const Value family = read("fontFamily"); m.ToBoolean(family)) {
    m.Set(format, "font", m.Str(FromQt(CssFaceList(text(family)).join(','))));
  }
  if (const Value size = read("fontSize"); m.ToBoolean(size)) {
    const double n = integer(size);
    if (n > 0) m.Set(format, "size", Value::Number(n));
  }
  const auto keyword = [&](const char* name, const char* off, const char* on, const char* field) {
    const QString v = text(read(name));
    if (v == off) m.Set(format, field, Value::Bool(false));
    if (v == on) m.Set(format, field, Value::Bool(true));
  };
  keyword("fontStyle", "normal", "italic", "italic");
  keyword("fontWeight", "normal", "bold", "bold");
  keyword("textDecoration", "none", "underline", "underline");
  const Value kerning = read("kerning");
  const double kern = integer(kerning);
  m.Set(format, "kerning", Value::Bool((kerning.IsString() && text(kerning) == "true") || (!std::isnan(kern) && kern != 0)));
  // Leading that is no number is 0; the others pass NaN on to the format.
  const auto number = [&](const char* name, const char* field, bool nanIsZero = false) {
    const Value v = read(name);
    if (!m.ToBoolean(v)) return;
    const double n = v.IsBoolean() ? std::nan("") : integer(v);
    m.Set(format, field, Value::Number(std::isnan(n) && nanIsZero ? 0 : n));
  };
  number("leading", "leading", true);
  number("letterSpacing", "letterSpacing");
  number("marginLeft", "leftMargin");
  number("marginRight", "rightMargin");
  number("textIndent", "indent");
  if (const Value align = read("textAlign"); align.IsString()) {
    const QString a = text(align).toLower();
    if (a == "left" || a == "center" || a == "right" || a == "justify") m.Set(format, "align", m.Str(a.toStdString()));
  }
  return Value::Obj(format);
}

Value ParseCssMethod(Call& call) {
  MachineInterface& m = call.machine;
  if (!call.self) return Value::Bool(false);
  std::vector<CssRule> rules;
  if (!ParseCss(ToQt(m.ToString(call.Arg(0))), rules)) return Value::Bool(false);
  for (const CssRule& rule : rules) {
    for (const QString& selector : rule.selectors) {
      Object* style = m.NewObject();
      for (const auto& [name, value] : rule.properties) m.Set(style, FromQt(name), m.Str(FromQt(value)));
      PutStyle(m, call.self, FromQt(selector), Value::Obj(style));
    }
  }
  return Value::Bool(true);
}

// load(url): the text goes to onData, whose default parses it and tells onLoad.
Value Load(Call& call) {
  if (!call.self || call.Count() == 0) return Value::Bool(false);
  Object* sheet = call.self;
  call.machine.LoadData(
      call.machine.ToString(call.Arg(0)), "GET", std::string(),
      [sheet](MachineInterface& machine, bool ok, const std::string& text) {
        const Value arg = ok ? machine.Str(text) : Value();
        machine.CallMethod(Value::Obj(sheet), "onData", std::span<const Value>(&arg, 1));
      },
      sheet);
  return Value::Bool(true);
}

Value OnData(Call& call) {
  if (!call.self) return {};
  Value ok = Value::Bool(false);
  if (!call.Arg(0).IsUndefined()) {
    const Value text = call.Arg(0);
    ok = call.machine.CallMethod(Value::Obj(call.self), "parse", std::span<const Value>(&text, 1));
  }
  call.machine.CallMethod(Value::Obj(call.self), "onLoad", std::span<const Value>(&ok, 1));
  return {};
}

constexpr std::uint16_t kFixed = kDontEnum | kDontDelete | kReadOnly;

const Member kMembers[] = {
    {"clear", Clear, nullptr, kFixed},
    {"getStyle", GetStyle, nullptr, kFixed},
    {"getStyleNames", GetStyleNames, nullptr, kFixed},
    {"load", Load, nullptr, kFixed},
    {"parseCSS", ParseCssMethod, nullptr, kFixed},
    {"parse", ParseCssMethod, nullptr, kFixed},
    {"setStyle", SetStyle, nullptr, kFixed},
    {"transform", Transform, nullptr, kFixed},
    {"onData", OnData, nullptr, kDontEnum},
};

}  // namespace

void InstallStyleSheet(Runtime& rt, Object* textFieldClass) {
  Object* ctor = rt.MakeClass(Construct, Construct);
  rt.AddMembers(Runtime::PrototypeOf(ctor), kMembers);
  textFieldClass->Define("StyleSheet", Value::Obj(ctor), kDontEnum | kVersion7);
}

flash::TextStyles ReadStyleSheet(MachineInterface& m, Object* sheet) {
  flash::TextStyles out;
  Object* styles = sheet ? m.Get(sheet, "_styles").AsObject() : nullptr;
  if (!styles) return out;
  const std::vector<std::string> names = m.Enumerate(styles);
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    const Value format = m.Get(styles, *it);
    if (IsTextFormat(format)) out.styles.emplace_back(QString::fromStdString(*it).toLower(), ReadTextFormat(m, format));
  }
  return out;
}

}  // namespace vantrel::flash::avm1
