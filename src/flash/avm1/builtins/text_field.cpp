// TextField: the script side of edit text fields (their text, HTML text, colours,
// flags and formats), as accessors on TextField.prototype.
#include <cmath>

#include "flash/avm1/builtins/broadcast_setup.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/display_binding.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"
#include "flash/display/text_field.h"
#include "flash/font.h"

namespace vantrel::flash::avm1 {

namespace {

TextField* FieldOf(Call& call) {
  DisplayObject* d = call.machine.AsDisplay(call.self);
  return d && d->Kind() == DisplayKind::EditText ? static_cast<TextField*>(d) : nullptr;
}

std::uint32_t RgbOf(const Rgba& c) { return (static_cast<std::uint32_t>(c.r) << 16) | (c.g << 8) | c.b; }
Rgba RgbFrom(double value) {
  const std::uint32_t v = ToUint32(value);
  return Rgba{static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v), 255};
}

#define FIELD_GETTER(Name, expr)           \
  Value Name(Call& call) {                 \
    TextField* f = FieldOf(call);          \
    if (!f) return {};                     \
    return expr;                           \
  }
#define FIELD_SETTER(Name, stmt)           \
  Value Name(Call& call) {                 \
    TextField* f = FieldOf(call);          \
    if (!f) return {};                     \
    const Value v = call.Arg(0);           \
    stmt;                                  \
    f->Changed();                          \
    return {};                             \
  }

FIELD_GETTER(GetText, call.machine.Str(f->Text().toStdString()))
Value SetText(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  f->SetText(QString::fromStdString(call.machine.ToString(call.Arg(0))));
  if (!f->variable.empty() && f->Parent() && f->Parent()->ScriptObject())
    call.machine.Set(f->Parent()->ScriptObject(), f->variable, call.machine.Str(f->Text().toStdString()));
  return {};
}
FIELD_GETTER(GetHtmlText, call.machine.Str(f->HtmlText().toStdString()))
Value SetHtmlText(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  f->SetHtmlText(QString::fromStdString(call.machine.ToString(call.Arg(0))));
  return {};
}
FIELD_GETTER(GetHtml, Value::Bool(f->Field().html))
FIELD_SETTER(SetHtml, f->Field().html = call.machine.ToBoolean(v))
FIELD_GETTER(GetTextColor, Value::Number(RgbOf(f->Field().color)))
FIELD_SETTER(SetTextColor, f->Field().color = RgbFrom(call.machine.ToNumber(v)))
FIELD_GETTER(GetBorder, Value::Bool(f->Field().border))
FIELD_SETTER(SetBorder, f->Field().border = call.machine.ToBoolean(v))
FIELD_GETTER(GetBorderColor, Value::Number(RgbOf(f->borderColor)))
FIELD_SETTER(SetBorderColor, f->borderColor = RgbFrom(call.machine.ToNumber(v)))
FIELD_GETTER(GetBackground, Value::Bool(f->background))
FIELD_SETTER(SetBackground, f->background = call.machine.ToBoolean(v))
FIELD_GETTER(GetBackgroundColor, Value::Number(RgbOf(f->backgroundColor)))
FIELD_SETTER(SetBackgroundColor, f->backgroundColor = RgbFrom(call.machine.ToNumber(v)))
FIELD_GETTER(GetMultiline, Value::Bool(f->Field().multiline))
FIELD_SETTER(SetMultiline, f->Field().multiline = call.machine.ToBoolean(v))
FIELD_GETTER(GetWordWrap, Value::Bool(f->Field().wordWrap))
FIELD_SETTER(SetWordWrap, f->Field().wordWrap = call.machine.ToBoolean(v))
FIELD_GETTER(GetPassword, Value::Bool(f->Field().password))
FIELD_SETTER(SetPassword, f->Field().password = call.machine.ToBoolean(v))
FIELD_GETTER(GetSelectable, Value::Bool(f->selectable))
FIELD_SETTER(SetSelectable, f->selectable = call.machine.ToBoolean(v))
FIELD_GETTER(GetEmbedFonts, Value::Bool(f->Field().useOutlines))
FIELD_SETTER(SetEmbedFonts, f->Field().useOutlines = call.machine.ToBoolean(v))
FIELD_GETTER(GetType, call.machine.Str(f->Field().readOnly ? "dynamic" : "input"))
Value SetType(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  const std::string type = call.machine.ToString(call.Arg(0));
  if (SameName(type, "input", false)) f->Field().readOnly = false;
  if (SameName(type, "dynamic", false)) f->Field().readOnly = true;
  f->Changed();
  return {};
}
Value GetVariable(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  return f->variable.empty() ? Value::Null() : call.machine.Str(f->variable);
}
Value SetVariable(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  const Value v = call.Arg(0);
  f->variable = v.IsNullish() ? std::string() : call.machine.ToString(v);
  if (!f->variable.empty()) f->SyncVariable();
  return {};
}
FIELD_GETTER(GetLength, Value::Number(f->Text().size()))
FIELD_GETTER(GetMaxChars, f->Field().maxLength ? Value::Number(f->Field().maxLength) : Value::Null())
FIELD_SETTER(SetMaxChars, {
  const double n = call.machine.ToNumber(v);
  f->Field().maxLength = static_cast<std::uint16_t>(std::isnan(n) || n < 0 ? 0 : std::min(n, 65535.0));
})
FIELD_GETTER(GetAutoSize, call.machine.Str(f->autoSize))
Value SetAutoSize(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  const Value v = call.Arg(0);
  std::string mode = "none";
  if (v.IsBoolean()) mode = v.boolean ? "left" : "none";
  else {
    const std::string text = call.machine.ToString(v);
    for (const char* known : {"left", "right", "center", "none"})
      if (SameName(text, known, false)) mode = known;
  }
  f->autoSize = mode;
  f->Field().autoSize = mode != "none";
  f->Changed();
  return {};
}
FIELD_GETTER(GetScroll, Value::Number(f->scroll))
FIELD_SETTER(SetScroll, {
  const double n = call.machine.ToNumber(v);
  if (!std::isnan(n)) f->scroll = std::max(1, static_cast<int>(n));
})
FIELD_GETTER(GetHScroll, Value::Number(f->hscroll))
FIELD_SETTER(SetHScroll, {
  const double n = call.machine.ToNumber(v);
  if (!std::isnan(n)) f->hscroll = std::max(0, static_cast<int>(n));
})
Value GetMaxScroll(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  return Value::Number(1);
}
Value GetTextWidth(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  const QRectF b = f->LocalBounds();
  return Value::Number(std::max(0.0, b.width() / 20.0 - 4));
}
Value GetTextHeight(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  return Value::Number(std::round(f->Field().fontHeight / 20.0 * 1.15));
}

Value MakeFormat(Call& call, TextField& f) {
  Object* ctor = call.machine.Get(call.machine.Rt().global, "TextFormat").AsObject();
  Object* format = ctor ? call.machine.Construct(ctor, {}) : call.machine.NewObject();
  if (!format) return {};
  const EditText& e = f.Field();
  call.machine.Set(format, "font", call.machine.Str(e.font ? e.font->name.toStdString() : std::string("Times New Roman")));
  call.machine.Set(format, "size", Value::Number(std::round(e.fontHeight / 20.0)));
  call.machine.Set(format, "color", Value::Number(RgbOf(e.color)));
  call.machine.Set(format, "bold", Value::Bool(e.font && e.font->bold));
  call.machine.Set(format, "italic", Value::Bool(e.font && e.font->italic));
  call.machine.Set(format, "underline", Value::Bool(false));
  static const char* const kAlign[] = {"left", "right", "center", "justify"};
  call.machine.Set(format, "align", call.machine.Str(kAlign[static_cast<int>(e.align) & 3]));
  call.machine.Set(format, "leftMargin", Value::Number(e.leftMargin / 20.0));
  call.machine.Set(format, "rightMargin", Value::Number(e.rightMargin / 20.0));
  call.machine.Set(format, "indent", Value::Number(e.indent / 20.0));
  call.machine.Set(format, "leading", Value::Number(e.leading / 20.0));
  return Value::Obj(format);
}

Value GetTextFormat(Call& call) {
  TextField* f = FieldOf(call);
  return f ? MakeFormat(call, *f) : Value();
}

Value SetTextFormat(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  Object* format = nullptr;
  for (std::size_t i = 0; i < call.Count(); ++i)
    if (Object* o = call.Arg(i).AsObject()) format = o;
  if (!format) return {};
  EditText& e = f->Field();
  const Value size = call.machine.Get(format, "size");
  if (!size.IsNullish()) e.fontHeight = std::clamp(call.machine.ToNumber(size), 1.0, 1000.0) * 20;
  const Value color = call.machine.Get(format, "color");
  if (!color.IsNullish()) e.color = RgbFrom(call.machine.ToNumber(color));
  const Value align = call.machine.Get(format, "align");
  if (!align.IsNullish()) {
    const std::string a = call.machine.ToString(align);
    e.align = SameName(a, "right", false) ? TextAlign::Right : SameName(a, "center", false) ? TextAlign::Center
             : SameName(a, "justify", false)                                                ? TextAlign::Justify
                                                                                            : TextAlign::Left;
  }
  f->Changed();
  return {};
}

// Replaces the selection of the focused field (the end of the text when the field has
// no selection) and puts the caret after what it inserted.
Value ReplaceSel(Call& call) {
  TextField* f = FieldOf(call);
  if (!f || call.Count() == 0) return {};
  f->ReplaceSelection(QString::fromStdString(call.machine.ToString(call.Arg(0))));
  return {};
}

Value GetRestrict(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  return f->restrictSet ? call.machine.Str(f->restrict.toStdString()) : Value::Null();
}

// restrict: null, undefined and "" let every character in.
Value SetRestrict(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  const Value v = call.Arg(0);
  const std::string text = v.IsNullish() ? std::string() : call.machine.ToString(v);
  f->restrictSet = !text.empty();
  f->restrict = QString::fromStdString(text);
  return {};
}

Value RemoveTextField(Call& call) {
  TextField* f = FieldOf(call);
  if (f && f->Parent() && f->depth >= 0) f->Parent()->RemoveChild(f);
  return {};
}

Value GetDepth(Call& call) {
  DisplayObject* d = call.machine.AsDisplay(call.self);
  return d ? Value::Number(d->depth) : Value();
}

Value GetFontList(Call& call) { return Value::Obj(call.machine.NewArray({call.machine.Str("_sans"), call.machine.Str("_serif"), call.machine.Str("_typewriter")})); }

Value TextFieldConstructor(Call&) { return {}; }

constexpr std::uint16_t kAccessor = kDontEnum | kDontDelete;

const Member kMembers[] = {
    {"text", GetText, SetText, kAccessor},
    {"htmlText", GetHtmlText, SetHtmlText, kAccessor},
    {"html", GetHtml, SetHtml, kAccessor},
    {"textColor", GetTextColor, SetTextColor, kAccessor},
    {"border", GetBorder, SetBorder, kAccessor},
    {"borderColor", GetBorderColor, SetBorderColor, kAccessor},
    {"background", GetBackground, SetBackground, kAccessor},
    {"backgroundColor", GetBackgroundColor, SetBackgroundColor, kAccessor},
    {"multiline", GetMultiline, SetMultiline, kAccessor},
    {"wordWrap", GetWordWrap, SetWordWrap, kAccessor},
    {"password", GetPassword, SetPassword, kAccessor},
    {"selectable", GetSelectable, SetSelectable, kAccessor},
    {"embedFonts", GetEmbedFonts, SetEmbedFonts, kAccessor},
    {"type", GetType, SetType, kAccessor},
    {"variable", GetVariable, SetVariable, kAccessor},
    {"length", GetLength, nullptr, kAccessor | kGetterOnly},
    {"maxChars", GetMaxChars, SetMaxChars, kAccessor},
    {"autoSize", GetAutoSize, SetAutoSize, kAccessor},
    {"scroll", GetScroll, SetScroll, kAccessor},
    {"hscroll", GetHScroll, SetHScroll, kAccessor},
    {"maxscroll", GetMaxScroll, nullptr, kAccessor | kGetterOnly},
    {"textWidth", GetTextWidth, nullptr, kAccessor | kGetterOnly},
    {"textHeight", GetTextHeight, nullptr, kAccessor | kGetterOnly},
    {"getTextFormat", GetTextFormat},
    {"getNewTextFormat", GetTextFormat},
    {"setTextFormat", SetTextFormat},
    {"setNewTextFormat", SetTextFormat},
    {"replaceSel", ReplaceSel},
    {"restrict", GetRestrict, SetRestrict, kAccessor},
    {"removeTextField", RemoveTextField},
    {"getDepth", GetDepth},
};

}  // namespace

void InstallTextField(Runtime& rt) {
  Object* ctor = rt.MakeClass(TextFieldConstructor, nullptr);
  rt.textFieldProto = Runtime::PrototypeOf(ctor);
  rt.AddMembers(rt.textFieldProto, kMembers);
  static const Member kStatics[] = {{"getFontList", GetFontList}};
  rt.AddMembers(ctor, kStatics);
  rt.global->Define("TextField", Value::Obj(ctor), kDontEnum);
  rt.prototypes["TextField"] = rt.textFieldProto;
}

}  // namespace vantrel::flash::avm1
