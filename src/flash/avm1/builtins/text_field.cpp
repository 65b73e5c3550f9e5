// TextField: the script side of edit text fields (their text, HTML text, colours,
// flags and formats), as accessors on TextField.prototype.
#include <cmath>

#include "flash/avm1/builtins/broadcast_setup.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/text_format.h"
#include "flash/avm1/display_binding.h"
#include "flash/avm1/movie_host.h"
#include "flash/character/font.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"
#include "flash/display/text_field.h"

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

// styleSheet: a StyleSheet object styles the field's HTML text from now on; anything
// else takes the style sheet away.
void SetFieldStyleSheet(MachineInterface& machine, TextField& field, const Value& value) {
  Object* sheet = value.AsObject();
  if (sheet && sheet->kind == NativeKind::Display) sheet = nullptr;  // a clip is no style sheet
  field.styleSheetObject = sheet;
  if (!sheet) {
    field.styles.reset();
    field.styledSource.reset();
    return;
  }
  field.styles = std::make_shared<const TextStyles>(ReadStyleSheet(machine, sheet));
  // The HTML the field was given under a sheet is styled again by the new one.
  if (field.styledSource) field.SetHtmlText(*field.styledSource);
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
  const QString text = QString::fromStdString(call.machine.ToString(call.Arg(0)));
  // Under a style sheet, text is read as HTML too.
  if (f->styles) {
    f->styledSource = text;
    f->SetHtmlText(text);
  } else {
    f->SetText(text);
  }
  if (!f->variable.empty() && call.machine.HasPlayer()) HostOf(call.machine).StoreTextVariable(*f);
  return {};
}
// While a style sheet styles the field, htmlText reads back the HTML it was given as
// it was, or the field's text as HTML when it was given none, even in a plain field.
Value GetHtmlText(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  if (f->styles && f->styledSource) return call.machine.Str(f->styledSource->toStdString());
  const QString html = f->styles ? f->Formatted().ToHtml() : f->HtmlText();
  return call.machine.Str(html.toStdString());
}
Value SetHtmlText(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  const QString html = QString::fromStdString(call.machine.ToString(call.Arg(0)));
  if (f->styles) f->styledSource = html;
  f->SetHtmlText(html);
  return {};
}
FIELD_GETTER(GetHtml, Value::Bool(f->Field().html))
FIELD_SETTER(SetHtml, {
  const bool html = call.machine.ToBoolean(v);
  // Before version 8 a field turned into HTML starts its new text left-aligned; an HTML
  // field turned into plain text does in every version.
  const bool toHtml = html && !f->Field().html && f->Movie() && f->Movie()->Version() < 8;
  if (toHtml || (!html && f->Field().html)) {
    flash::TextFormat left;
    left.align = TextAlign::Left;
    f->SetNewTextFormat(left);
  }
  f->Field().html = html;
})
// textColor reads the colour of the text to come (setNewTextFormat changes it; a format
// set on the text alone does not).
FIELD_GETTER(GetTextColor, Value::Number(f->NewTextFormat().color.value_or(RgbOf(f->Field().color)) & 0xFFFFFF))
// textColor colours the whole text and the text to come.
FIELD_SETTER(SetTextColor, {
  f->Field().color = RgbFrom(call.machine.ToNumber(v));
  flash::TextFormat color;
  color.color = RgbOf(f->Field().color);
  f->SetNewTextFormat(color);
  f->ApplyTextFormat(0, f->Formatted().Length(), color);
})
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
  if (f->variable.empty()) return {};
  // A field bound anew starts from its defined text: a variable that does not exist yet
  // takes that text, one that does shows its own value.
  const LoadedMovie* movie = f->Movie();
  const auto defined = movie && f->Field().id != 0 ? movie->Find(f->Field().id) : nullptr;
  if (defined && defined->Kind() == CharacterKind::EditText) {
    const auto& definition = static_cast<const EditText&>(*defined);
    if (definition.html) f->SetHtmlText(definition.initialText);
    else f->SetText(definition.initialText);
  }
  f->SyncVariable();
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
FIELD_GETTER(GetScroll, Value::Number(std::min(f->scroll, f->MaxScroll())))
FIELD_SETTER(SetScroll, {
  // The player counts lines from 0 in 32-bit integers: the number wraps to 32 bits and
  // the step to 0-based wraps too (so -2^31 scrolls to the end) before the clamp.
  const std::uint32_t line = static_cast<std::uint32_t>(ToInt32(call.machine.ToNumber(v))) - 1u;
  f->scroll = std::clamp(static_cast<std::int32_t>(line), 0, f->MaxScroll() - 1) + 1;
})
FIELD_GETTER(GetHScroll, Value::Number(f->hscroll))
FIELD_SETTER(SetHScroll, {
  // Whole pixels from 0 to maxhscroll; numbers wrap to 32 bits first.
  f->hscroll = std::clamp(ToInt32(call.machine.ToNumber(v)), 0, f->MaxHScroll());
})
FIELD_GETTER(GetMaxScroll, Value::Number(f->MaxScroll()))
FIELD_GETTER(GetBottomScroll, Value::Number(f->BottomScroll()))
// ActionScript 1/2 reads the text's size in whole pixels.
FIELD_GETTER(GetTextWidth, Value::Number(std::floor(f->Measure().width)))
FIELD_GETTER(GetTextHeight, Value::Number(std::floor(f->Measure().height)))
FIELD_GETTER(GetCondenseWhite, Value::Bool(f->condenseWhite))
FIELD_SETTER(SetCondenseWhite, f->condenseWhite = call.machine.ToBoolean(v))

FIELD_GETTER(GetMaxHScroll, Value::Number(f->MaxHScroll()))
Value GetTabIndex(Call& call) {
  TextField* f = FieldOf(call);
  if (!f || !f->tabIndex) return {};
  return Value::Number(*f->tabIndex);
}
Value SetTabIndex(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  const Value v = call.Arg(0);
  // Kept as an unsigned 32-bit number: -4 reads back as 4294967292, NaN as 0.
  if (v.IsNullish()) f->tabIndex.reset();
  else f->tabIndex = ToUint32(call.machine.ToNumber(v));
  return {};
}
FIELD_GETTER(GetMouseWheelEnabled, Value::Bool(f->mouseWheelEnabled))
FIELD_SETTER(SetMouseWheelEnabled, f->mouseWheelEnabled = call.machine.ToBoolean(v))
FIELD_GETTER(GetAntiAliasType, call.machine.Str(f->antiAliasType))
Value SetAntiAliasType(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  // Only the two known names are taken, in any case.
  const std::string type = call.machine.ToString(call.Arg(0));
  for (const char* known : {"normal", "advanced"})
    if (SameName(type, known, false)) f->antiAliasType = known;
  return {};
}
FIELD_GETTER(GetGridFitType, call.machine.Str(f->gridFitType))
Value SetGridFitType(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  const std::string type = call.machine.ToString(call.Arg(0));
  for (const char* known : {"none", "pixel", "subpixel"})
    if (SameName(type, known, false)) f->gridFitType = known;
  return {};
}
// sharpness and thickness read back as set (the drawing bounds them).
FIELD_GETTER(GetSharpness, Value::Number(f->sharpness))
FIELD_SETTER(SetSharpness, f->sharpness = call.machine.ToNumber(v))
FIELD_GETTER(GetThickness, Value::Number(f->thickness))
FIELD_SETTER(SetThickness, f->thickness = call.machine.ToNumber(v))
Value GetStyleSheet(Call& call) {
  TextField* f = FieldOf(call);
  if (!f || !f->styleSheetObject) return {};
  return Value::Obj(static_cast<Object*>(f->styleSheetObject));
}
Value SetStyleSheet(Call& call) {
  TextField* f = FieldOf(call);
  if (!f) return {};
  SetFieldStyleSheet(call.machine, *f, call.Arg(0));
  return {};
}

// A character index argument: whole numbers, anything else (NaN) as 0.
int IndexArg(Call& call, std::size_t i) { return SaturatedInt32(call.machine.ToNumber(call.Arg(i))); }

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
  // An empty range shares nothing either.
  if (call.Count() >= 2 && begin == end) return MakeTextFormat(call.machine, flash::TextFormat());
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

// The accessors enumerate (for..in lists them, newest first); the methods do not.
constexpr std::uint16_t kAccessor = kDontDelete;
constexpr std::uint16_t kMethod = kDontEnum;

// In the order of definition, which is the reverse of how for..in lists them. "filters"
// only reserves its place here: the filters module gives it its accessor.
const Member kProperties[] = {
    {"gridFitType", GetGridFitType, SetGridFitType, kAccessor | kVersion8},
    {"antiAliasType", GetAntiAliasType, SetAntiAliasType, kAccessor | kVersion8},
    {"thickness", GetThickness, SetThickness, kAccessor | kVersion8},
    {"sharpness", GetSharpness, SetSharpness, kAccessor | kVersion8},
};
const Member kMembers[] = {
    {"scroll", GetScroll, SetScroll, kAccessor},
    {"maxscroll", GetMaxScroll, nullptr, kAccessor | kGetterOnly},
    {"borderColor", GetBorderColor, SetBorderColor, kAccessor},
    {"backgroundColor", GetBackgroundColor, SetBackgroundColor, kAccessor},
    {"textColor", GetTextColor, SetTextColor, kAccessor},
    {"tabIndex", GetTabIndex, SetTabIndex, kAccessor},
    {"autoSize", GetAutoSize, SetAutoSize, kAccessor},
    {"text", GetText, SetText, kAccessor},
    {"type", GetType, SetType, kAccessor},
    {"htmlText", GetHtmlText, SetHtmlText, kAccessor},
    {"variable", GetVariable, SetVariable, kAccessor},
    {"hscroll", GetHScroll, SetHScroll, kAccessor},
    {"maxhscroll", GetMaxHScroll, nullptr, kAccessor | kGetterOnly},
    {"maxChars", GetMaxChars, SetMaxChars, kAccessor},
    {"embedFonts", GetEmbedFonts, SetEmbedFonts, kAccessor},
    {"html", GetHtml, SetHtml, kAccessor},
    {"border", GetBorder, SetBorder, kAccessor},
    {"background", GetBackground, SetBackground, kAccessor},
    {"wordWrap", GetWordWrap, SetWordWrap, kAccessor},
    {"password", GetPassword, SetPassword, kAccessor},
    {"multiline", GetMultiline, SetMultiline, kAccessor},
    {"selectable", GetSelectable, SetSelectable, kAccessor},
    {"length", GetLength, nullptr, kAccessor | kGetterOnly},
    {"bottomScroll", GetBottomScroll, nullptr, kAccessor | kGetterOnly},
    {"textWidth", GetTextWidth, nullptr, kAccessor | kGetterOnly},
    {"textHeight", GetTextHeight, nullptr, kAccessor | kGetterOnly},
    {"restrict", GetRestrict, SetRestrict, kAccessor},
    {"condenseWhite", GetCondenseWhite, SetCondenseWhite, kAccessor},
    {"mouseWheelEnabled", GetMouseWheelEnabled, SetMouseWheelEnabled, kAccessor},
    {"styleSheet", GetStyleSheet, SetStyleSheet, kAccessor},
    {"replaceSel", ReplaceSel, nullptr, kMethod},
    {"getTextFormat", GetTextFormat, nullptr, kMethod},
    {"setTextFormat", SetTextFormat, nullptr, kMethod},
    {"removeTextField", RemoveTextField, nullptr, kMethod},
    {"getNewTextFormat", GetNewTextFormat, nullptr, kMethod},
    {"setNewTextFormat", SetNewTextFormat, nullptr, kMethod},
    {"getDepth", GetDepth, nullptr, kMethod},
    {"replaceText", ReplaceText, nullptr, kMethod | kVersion7},
};

}  // namespace

void InstallTextSnapshot(Runtime& rt);

void InstallTextField(Runtime& rt) {
  Object* ctor = rt.MakeClass(TextFieldConstructor, nullptr);
  rt.textFieldProto = Runtime::PrototypeOf(ctor);
  rt.AddMembers(rt.textFieldProto, kProperties);
  rt.textFieldProto->Define("filters", Value(), kAccessor | kVersion8);
  rt.AddMembers(rt.textFieldProto, kMembers);
  static const Member kStatics[] = {{"getFontList", GetFontList}};
  rt.AddMembers(ctor, kStatics);
  InstallStyleSheet(rt, ctor);
  rt.global->Define("TextField", Value::Obj(ctor), kDontEnum);
  rt.prototypes["TextField"] = rt.textFieldProto;
  InstallTextSnapshot(rt);
}

}  // namespace vantrel::flash::avm1
