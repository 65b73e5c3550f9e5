// TextField: the script side of edit text fields (their text, HTML text, colours,
// flags and formats), as accessors on TextField.prototype.
#include <cmath>

#include "flash/avm1/builtins/broadcast_setup.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/text_format.h"
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
  return Value::Number(f->MaxScroll());
}
Value GetBottomScroll(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  return Value::Number(f->BottomScroll());
}
Value GetTextWidth(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  return Value::Number(f->Measure().width);
}
Value GetTextHeight(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  return Value::Number(f->Measure().height);
}
FIELD_GETTER(GetCondenseWhite, Value::Bool(f->condenseWhite))
FIELD_SETTER(SetCondenseWhite, f->condenseWhite = call.machine.ToBoolean(v))

// A character index argument: whole numbers, anything else (NaN) as 0.
int IndexArg(Call& call, std::size_t i) {
  const double n = call.machine.ToNumber(call.Arg(i));
  if (std::isnan(n)) return 0;
  return static_cast<int>(std::clamp(n, -2147483648.0, 2147483647.0));
}

// getTextFormat(), (index) or (begin, end): the fields the characters share.
Value GetTextFormat(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  const int length = f->Formatted().Length();
  int begin = 0, end = length;
  if (call.Count() == 1) {
    begin = IndexArg(call, 0);
    end = begin + 1;
  } else if (call.Count() >= 2) {
    begin = IndexArg(call, 0);
    end = IndexArg(call, 1);
  }
  if (call.Count() >= 1 && (begin < 0 || begin > length || end < begin)) {
    // Out of range: the format of the whole text.
    begin = 0;
    end = length;
  }
  end = std::min(end, length);
  const std::optional<flash::TextFormat> format = f->Formatted().FormatOf(begin, end);
  // An empty field has no characters to share anything: every field is null.
  return MakeTextFormat(call.machine, format ? *format : flash::TextFormat());
}

// setTextFormat(format), (index, format) or (begin, end, format).
Value SetTextFormat(Call& call) {
  TextField* f = FieldOf(call);
  if (!f || call.Count() == 0) return {};
  const std::size_t last = std::min<std::size_t>(call.Count(), 3) - 1;
  const Value formatValue = call.Arg(last);
  if (!IsTextFormat(formatValue)) return {};
  const flash::TextFormat format = ReadTextFormat(call.machine, formatValue);
  const int length = f->Formatted().Length();
  int begin = 0, end = length;
  if (last == 1) {
    begin = IndexArg(call, 0);
    end = begin + 1;
  } else if (last == 2) {
    begin = IndexArg(call, 0);
    end = IndexArg(call, 1);
  }
  if (begin < 0) begin = 0;
  if (end > length) end = length;
  if (begin >= end) return {};
  f->ApplyTextFormat(begin, end, format);
  return {};
}

Value GetNewTextFormat(Call& call) {
  TextField* f = FieldOf(call);
  return f ? MakeTextFormat(call.machine, f->NewTextFormat()) : Value();
}

Value SetNewTextFormat(Call& call) {
  TextField* f = FieldOf(call);
  if (!f || call.Count() == 0) return {};
  if (!IsTextFormat(call.Arg(0))) return {};
  f->SetNewTextFormat(ReadTextFormat(call.machine, call.Arg(0)));
  return {};
}

// replaceText(begin, end, text): the new text takes the new text format.
Value ReplaceText(Call& call) {
  TextField* f = FieldOf(call);
  if (!f || call.Count() < 3) return {};
  const int length = f->Formatted().Length();
  const int begin = IndexArg(call, 0), end = IndexArg(call, 1);
  if (begin < 0 || end < begin || begin > length) return {};
  f->ReplaceRange(begin, std::min(end, length), QString::fromStdString(call.machine.ToString(call.Arg(2))));
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
    {"bottomScroll", GetBottomScroll, nullptr, kAccessor | kGetterOnly},
    {"condenseWhite", GetCondenseWhite, SetCondenseWhite, kAccessor},
    {"getTextFormat", GetTextFormat},
    {"getNewTextFormat", GetNewTextFormat},
    {"setTextFormat", SetTextFormat},
    {"setNewTextFormat", SetNewTextFormat},
    {"replaceText", ReplaceText},
    {"replaceSel", ReplaceSel},
    {"restrict", GetRestrict, SetRestrict, kAccessor},
    {"removeTextField", RemoveTextField},
    {"getDepth", GetDepth},
};

}  // namespace

void InstallTextSnapshot(Runtime& rt);

void InstallTextField(Runtime& rt) {
  Object* ctor = rt.MakeClass(TextFieldConstructor, nullptr);
  rt.textFieldProto = Runtime::PrototypeOf(ctor);
  rt.AddMembers(rt.textFieldProto, kMembers);
  static const Member kStatics[] = {{"getFontList", GetFontList}};
  rt.AddMembers(ctor, kStatics);
  rt.global->Define("TextField", Value::Obj(ctor), kDontEnum);
  rt.prototypes["TextField"] = rt.textFieldProto;
  InstallTextSnapshot(rt);
}

}  // namespace vantrel::flash::avm1
