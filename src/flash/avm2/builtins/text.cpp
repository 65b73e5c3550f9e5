// flash.text: TextField over the player's text fields, StaticText, StyleSheet, and
// TextFormat, whose fields are null until set (a format read from a field has null where
// its characters differ).
#include <algorithm>
#include <cmath>
#include <iterator>

#include "flash/avm2/builtins/support.h"
#include "flash/character/font.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"
#include "flash/display/text_field.h"
#include "flash/script/number_conversions.h"
#include "flash/script/string_utils.h"

namespace vantrel::flash::avm2 {

namespace {

// ---- TextFormat: its fields in the object's list, by these numbers ----
enum FormatField {
  kAlign, kBlockIndent, kBold, kBullet, kColor, kFont, kIndent, kItalic, kKerning, kLeading, kLeftMargin,
  kLetterSpacing, kRightMargin, kSize, kTabStops, kTarget, kUnderline, kUrl, kDisplay, kFormatFields
};
enum class FieldType { String, Number, Boolean, Color, Array };
constexpr FieldType kTypes[kFormatFields] = {
    FieldType::String,  FieldType::Number,  FieldType::Boolean, FieldType::Boolean, FieldType::Color,
    FieldType::String,  FieldType::Number,  FieldType::Boolean, FieldType::Boolean, FieldType::Number,
    FieldType::Number,  FieldType::Number,  FieldType::Number,  FieldType::Number,  FieldType::Array,
    FieldType::String,  FieldType::Boolean, FieldType::String,  FieldType::String};
constexpr const char* kFieldNames[kFormatFields] = {
    "align",   "blockIndent", "bold",    "bullet",    "color",  "font",   "indent",    "italic", "kerning", "leading",
    "leftMargin", "letterSpacing", "rightMargin", "size", "tabStops", "target", "underline", "url", "display"};
// The constructor's arguments, in order.
constexpr FormatField kConstructorOrder[] = {kFont,  kSize,  kColor,      kBold,        kItalic,  kUnderline, kUrl,
                                             kTarget, kAlign, kLeftMargin, kRightMargin, kIndent, kLeading};

Object* AllocateFormat(Machine& m, ClassObject*) {
  auto* o = m.heap.Make<NativeObject>(ObjectKind::Other, nullptr, nullptr);
  o->list.assign(kFormatFields, Value::Null());
  // A new format displays as a block; display is never null.
  o->list[kDisplay] = m.StrValue("block");
  return o;
}

bool IsFormat(Machine& m, const Value& v) {
  if (!v.IsObject() || v.object->kind != ObjectKind::Other) return false;
  for (ClassObject* c = static_cast<NativeObject*>(v.object)->cls; c; c = c->base)
    if (c->package == "flash.text" && c->name == "TextFormat") return true;
  (void)m;
  return false;
}

std::vector<Value>& FormatFields(Machine& m, const Value& v) {
  if (!IsFormat(m, v))
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(v) + " to flash.text.TextFormat.");
  auto& list = static_cast<NativeObject*>(v.object)->list;
  if (list.size() != kFormatFields) list.assign(kFormatFields, Value::Null());
  return list;
}

Value ConvertField(Machine& m, int field, const Value& v) {
  if (v.IsNull() || v.IsUndefined()) return Value::Null();
  if (field == kFont) {
    // A format keeps at most 64 units of a font name; the names html gives are kept whole.
    constexpr std::size_t kFontNameUnits = 64;
    const std::u16string units = script::Utf16Units(m.ToString(v));
    if (units.size() > kFontNameUnits) return m.StrValue(script::Utf8FromUnits(std::u16string_view(units).substr(0, kFontNameUnits)));
  }
  switch (kTypes[field]) {
    case FieldType::String: return m.StrValue(m.ToString(v));
    case FieldType::Number: return Value::Number(m.ToNumber(v));
    case FieldType::Boolean: return Value::Bool(m.ToBoolean(v));
    case FieldType::Color: return Value::Number(m.ToUint32(v));
    case FieldType::Array: return v;
  }
  return v;
}

template <int F>
Value GetFormatField(Machine& m, const Value& self, const Value*, int) {
  return FormatFields(m, self)[F];
}
template <int F>
Value SetFormatField(Machine& m, const Value& self, const Value* args, int argc) {
  const Value v = Arg(args, argc, 0);
  if (F == kAlign && !v.IsNull() && !v.IsUndefined() && !AlignFromName(QString::fromStdString(m.ToString(v))))
    m.ThrowError("ArgumentError", 2008, "Parameter align must be one of the accepted values.");
  if (F == kDisplay) {
    // display is "block", "inline" or "none"; any other text leaves it unset.
    if (v.IsNull() || v.IsUndefined()) m.ThrowError("TypeError", 2007, "Parameter display must be non-null.", true);
    const std::string mode = m.ToString(v);
    FormatFields(m, self)[F] = mode == "block" || mode == "inline" || mode == "none" ? m.StrValue(mode) : Value::Null();
    return Value();
  }
  FormatFields(m, self)[F] = ConvertField(m, F, v);
  return Value();
}

Value FormatConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  std::vector<Value>& fields = FormatFields(m, self);
  for (int i = 0; i < argc && i < static_cast<int>(std::size(kConstructorOrder)); ++i)
    fields[kConstructorOrder[i]] = ConvertField(m, kConstructorOrder[i], args[i]);
  return Value::Obj(self.object);
}

// The engine's format from a script one (null fields stay unset).
TextFormat ReadFormat(Machine& m, const Value& v) {
  const std::vector<Value>& f = FormatFields(m, v);
  TextFormat t;
  const auto str = [&](int i) { return QString::fromStdU16String(script::Utf16Units(m.ToString(f[i]))); };
  const auto num = [&](int i) { return m.ToNumber(f[i]); };
  if (!f[kAlign].IsNull()) t.align = AlignFromName(str(kAlign));
  // A field keeps indents in whole pixels, halves going to the even one.
  if (!f[kBlockIndent].IsNull()) t.blockIndent = std::nearbyint(num(kBlockIndent));
  if (!f[kBold].IsNull()) t.bold = m.ToBoolean(f[kBold]);
  if (!f[kBullet].IsNull()) t.bullet = m.ToBoolean(f[kBullet]);
  if (!f[kColor].IsNull()) t.color = m.ToUint32(f[kColor]) & 0xFFFFFF;
  // An empty font name leaves the font as it is.
  if (!f[kFont].IsNull() && !str(kFont).isEmpty()) t.font = str(kFont);
  if (!f[kIndent].IsNull()) t.indent = std::nearbyint(num(kIndent));
  if (!f[kItalic].IsNull()) t.italic = m.ToBoolean(f[kItalic]);
  if (!f[kKerning].IsNull()) t.kerning = m.ToBoolean(f[kKerning]);
  if (!f[kLeading].IsNull()) t.leading = num(kLeading);
  if (!f[kLeftMargin].IsNull()) t.leftMargin = num(kLeftMargin);
  if (!f[kLetterSpacing].IsNull()) t.letterSpacing = num(kLetterSpacing);
  if (!f[kRightMargin].IsNull()) t.rightMargin = num(kRightMargin);
  if (!f[kSize].IsNull()) t.size = num(kSize);
  if (!f[kTarget].IsNull()) t.target = str(kTarget);
  if (!f[kUnderline].IsNull()) t.underline = m.ToBoolean(f[kUnderline]);
  if (!f[kUrl].IsNull()) t.url = str(kUrl);
  if (!f[kDisplay].IsNull()) t.display = str(kDisplay);
  if (f[kTabStops].IsObject() && f[kTabStops].object->kind == ObjectKind::Array) {
    std::vector<double> stops;
    for (const Value& s : static_cast<ArrayObject*>(f[kTabStops].object)->elements) stops.push_back(m.ToNumber(s));
    t.tabStops = stops;
  }
  return t;
}

Value MakeFormat(Machine& m, const TextFormat& t) {
  const Value v = Value::Obj(m.ConstructClass(m.FindClass("flash.text.TextFormat"), nullptr, 0));
  std::vector<Value>& f = FormatFields(m, v);
  const auto str = [&](const QString& s) { return m.StrValue(script::Utf8FromUnits(s.toStdU16String())); };
  if (t.align) f[kAlign] = str(AlignName(*t.align));
  if (t.blockIndent) f[kBlockIndent] = Value::Number(*t.blockIndent);
  if (t.bold) f[kBold] = Value::Bool(*t.bold);
  if (t.bullet) f[kBullet] = Value::Bool(*t.bullet);
  if (t.color) f[kColor] = Value::Number(*t.color);
  if (t.font) f[kFont] = str(*t.font);
  if (t.indent) f[kIndent] = Value::Number(*t.indent);
  if (t.italic) f[kItalic] = Value::Bool(*t.italic);
  if (t.kerning) f[kKerning] = Value::Bool(*t.kerning);
  if (t.leading) f[kLeading] = Value::Number(*t.leading);
  if (t.leftMargin) f[kLeftMargin] = Value::Number(*t.leftMargin);
  if (t.letterSpacing) f[kLetterSpacing] = Value::Number(*t.letterSpacing);
  if (t.rightMargin) f[kRightMargin] = Value::Number(*t.rightMargin);
  if (t.size) f[kSize] = Value::Number(*t.size);
  if (t.target) f[kTarget] = str(*t.target);
  if (t.underline) f[kUnderline] = Value::Bool(*t.underline);
  if (t.url) f[kUrl] = str(*t.url);
  if (t.display) f[kDisplay] = str(*t.display);
  if (t.tabStops) {
    std::vector<Value> stops;
    for (double s : *t.tabStops) stops.push_back(Value::Number(s));
    f[kTabStops] = Value::Obj(m.NewArray(std::move(stops)));
  }
  return v;
}

// ---- TextField ----
TextField* FieldOf(Machine& m, const Value& self) {
  if (self.IsObject() && self.object->kind == ObjectKind::Display) {
    DisplayObject* d = static_cast<NativeObject*>(self.object)->display;
    if (d && d->Kind() == DisplayKind::EditText) return static_cast<TextField*>(d);
  }
  m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.text.TextField.");
}

// `new TextField()`: a dynamic field of 100 by 100 pixels in the default format.
Object* AllocateTextField(Machine& m, ClassObject*) {
  auto* o = m.heap.Make<NativeObject>(ObjectKind::Display, nullptr, nullptr);
  if (!m.player) return o;
  DisplayObject* d = m.bindNext;
  m.bindNext = nullptr;
  if (!d) {
    EditText definition;
    definition.bounds = Rect{0, 2000, 0, 2000};
    definition.fontHeight = 240;
    definition.readOnly = true;
    auto* field = m.heap.Make<TextField>(*m.player, m.player->RootMovie(), definition);
    field->serial = m.player->NextSerial();
    field->name = "instance" + std::to_string(m.player->NextInstanceNumber());
    field->placedByScript = true;
    d = field;
  }
  o->display = d;
  m.displayObjects[d] = o;
  return o;
}

std::uint32_t RgbOf(const Rgba& c) { return (static_cast<std::uint32_t>(c.r) << 16) | (c.g << 8) | c.b; }
Rgba RgbFrom(std::uint32_t v) {
  return Rgba{static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v), 255};
}
// Script strings hold UTF-16 units (a lone surrogate too), converted unit by unit.
std::string Utf8(const QString& s) { return script::Utf8FromUnits(s.toStdU16String()); }
QString QStr(Machine& m, const Value& v) { return QString::fromStdU16String(script::Utf16Units(m.ToString(v))); }

// Boolean and colour properties: the getter and setter of each by number.
enum FieldFlag {
  kBorder, kBackground, kMultiline, kWordWrap, kPassword, kSelectable, kEmbedFonts, kCondenseWhite, kAlwaysShowSelection,
  kRichClipboard, kFlagCount
};
bool& FlagOf(TextField* f, int flag) {
  switch (flag) {
    case kBorder: return f->Field().border;
    case kBackground: return f->background;
    case kMultiline: return f->Field().multiline;
    case kWordWrap: return f->Field().wordWrap;
    case kPassword: return f->Field().password;
    case kSelectable: return f->selectable;
    case kEmbedFonts: return f->Field().useOutlines;
    case kAlwaysShowSelection: return f->alwaysShowSelection;
    case kRichClipboard: return f->useRichTextClipboard;
    default: return f->condenseWhite;
  }
}
template <int F>
Value GetFlag(Machine& m, const Value& self, const Value*, int) {
  return Value::Bool(FlagOf(FieldOf(m, self), F));
}
template <int F>
Value SetFlag(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  FlagOf(f, F) = m.ToBoolean(Arg(args, argc, 0));
  f->Changed();
  return Value();
}

Value GetText(Machine& m, const Value& self, const Value*, int) {
  // Line ends read back as carriage returns.
  return m.StrValue(Utf8(FieldOf(m, self)->Text()));
}
// A field a style sheet styles takes text and HTML alike as HTML, parsed once (giving it
// the same HTML again changes nothing) and read back as given.
std::shared_ptr<const TextStyles> StylesOf(Machine& m, gc::Cell* sheet);
void SetStyledHtml(Machine& m, TextField* f, const QString& html) {
  if (f->styledSource == html) return;
  f->styledSource = html;
  // The sheet's styles as they are now.
  f->styles = StylesOf(m, f->styleSheetObject);
  f->Field().html = true;
  f->SetHtmlText(html);
}
Value SetText(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const Value v = Arg(args, argc, 0);
  if (v.IsNull() || v.IsUndefined()) m.ThrowTypeError(2007, "Parameter text must be non-null.");
  if (f->styles) SetStyledHtml(m, f, QStr(m, v));
  else f->SetText(QStr(m, v));
  return Value();
}
Value AppendText(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const int length = f->Formatted().Length();
  f->ReplaceRange(length, length, QStr(m, Arg(args, argc, 0)));
  return Value();
}
Value GetHtmlText(Machine& m, const Value& self, const Value*, int) {
  TextField* f = FieldOf(m, self);
  if (f->styles && f->styledSource) return m.StrValue(Utf8(*f->styledSource));
  return m.StrValue(Utf8(f->Formatted().ToHtml()));
}
Value SetHtmlText(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const Value v = Arg(args, argc, 0);
  if (v.IsNull() || v.IsUndefined()) m.ThrowTypeError(2007, "Parameter text must be non-null.");
  if (f->styles) {
    SetStyledHtml(m, f, QStr(m, v));
    return Value();
  }
  f->Field().html = true;
  f->SetHtmlText(QStr(m, v));
  return Value();
}
Value GetLength(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(FieldOf(m, self)->Formatted().Length());
}
Value GetType(Machine& m, const Value& self, const Value*, int) {
  return m.StrValue(FieldOf(m, self)->Field().readOnly ? "dynamic" : "input");
}
Value SetType(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const std::string type = StrArg(m, args, argc, 0);
  if (type == "input") f->Field().readOnly = false;
  else if (type == "dynamic") f->Field().readOnly = true;
  else m.ThrowError("ArgumentError", 2008, "Parameter type must be one of the accepted values.");
  f->Changed();
  return Value();
}
Value GetTextColor(Machine& m, const Value& self, const Value*, int) {
  TextField* f = FieldOf(m, self);
  return Value::Number(f->NewTextFormat().color.value_or(RgbOf(f->Field().color)));
}
Value SetTextColor(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  TextFormat color;
  color.color = m.ToUint32(Arg(args, argc, 0)) & 0xFFFFFF;
  f->Field().color = RgbFrom(*color.color);
  TextFormat next = f->NewTextFormat();
  next.MergeFrom(color);
  f->SetNewTextFormat(next);
  f->ApplyTextFormat(0, f->Formatted().Length(), color);
  f->Changed();
  return Value();
}
template <bool Border>
Value GetBoxColor(Machine& m, const Value& self, const Value*, int) {
  TextField* f = FieldOf(m, self);
  return Value::Number(RgbOf(Border ? f->borderColor : f->backgroundColor));
}
template <bool Border>
Value SetBoxColor(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  (Border ? f->borderColor : f->backgroundColor) = RgbFrom(m.ToUint32(Arg(args, argc, 0)));
  f->Changed();
  return Value();
}
Value GetMaxChars(Machine& m, const Value& self, const Value*, int) { return Value::Number(FieldOf(m, self)->Field().maxLength); }
Value SetMaxChars(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const double n = NumArg(m, args, argc, 0, 0);
  f->Field().maxLength = static_cast<std::uint16_t>(std::isnan(n) || n < 0 ? 0 : std::min(n, 65535.0));
  return Value();
}
Value GetAutoSize(Machine& m, const Value& self, const Value*, int) { return m.StrValue(FieldOf(m, self)->autoSize); }
Value SetAutoSize(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const std::string mode = StrArg(m, args, argc, 0);
  if (mode != "none" && mode != "left" && mode != "right" && mode != "center")
    m.ThrowError("ArgumentError", 2008, "Parameter autoSize must be one of the accepted values.");
  f->autoSize = mode;
  f->Field().autoSize = mode != "none";
  f->Changed();
  return Value();
}
Value GetRestrict(Machine& m, const Value& self, const Value*, int) {
  TextField* f = FieldOf(m, self);
  return f->restrictSet ? m.StrValue(Utf8(f->restrict)) : Value::Null();
}
Value SetRestrict(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const Value v = Arg(args, argc, 0);
  f->restrictSet = !v.IsNull() && !v.IsUndefined();
  f->restrict = f->restrictSet ? QStr(m, v) : QString();
  return Value();
}
Value GetTextWidth(Machine& m, const Value& self, const Value*, int) { return Value::Number(FieldOf(m, self)->Measure().width); }
Value GetTextHeight(Machine& m, const Value& self, const Value*, int) { return Value::Number(FieldOf(m, self)->Measure().height); }
Value GetNumLines(Machine& m, const Value& self, const Value*, int) { return Value::Number(FieldOf(m, self)->Measure().lines); }
Value GetScrollV(Machine& m, const Value& self, const Value*, int) { return Value::Number(FieldOf(m, self)->scroll); }
Value SetScrollV(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const double n = NumArg(m, args, argc, 0, NAN);
  if (!std::isnan(n)) f->scroll = std::clamp(m.ToInt32(Value::Number(n)), 1, std::max(1, f->MaxScroll()));
  f->Changed();
  return Value();
}
Value GetMaxScrollV(Machine& m, const Value& self, const Value*, int) { return Value::Number(FieldOf(m, self)->MaxScroll()); }
Value GetBottomScrollV(Machine& m, const Value& self, const Value*, int) { return Value::Number(FieldOf(m, self)->BottomScroll()); }
Value GetScrollH(Machine& m, const Value& self, const Value*, int) { return Value::Number(FieldOf(m, self)->hscroll); }
Value SetScrollH(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const double n = NumArg(m, args, argc, 0, NAN);
  // Whole pixels up to maxScrollH; a negative number scrolls as far as its size says.
  if (!std::isnan(n)) {
    const std::int64_t pixels = m.ToInt32(Value::Number(n));
    f->hscroll = static_cast<int>(std::min<std::int64_t>(pixels < 0 ? -pixels : pixels, f->MaxHScroll()));
  }
  f->Changed();
  return Value();
}

Value GetDefaultFormat(Machine& m, const Value& self, const Value*, int) { return MakeFormat(m, FieldOf(m, self)->NewTextFormat()); }
Value SetDefaultFormat(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const Value v = Arg(args, argc, 0);
  if (v.IsNull() || v.IsUndefined()) m.ThrowTypeError(2007, "Parameter format must be non-null.");
  TextFormat next = f->NewTextFormat();
  next.MergeFrom(ReadFormat(m, v));
  f->SetNewTextFormat(next);
  return Value();
}

// A character index: -1 stands for "from the start" or "to the end".
int IndexArg(Machine& m, const Value* args, int argc, int index, int fallback) {
  return script::SaturatedInt32(NumArg(m, args, argc, index, fallback));
}
void CheckRange(Machine& m, int begin, int end, int length) {
  if (begin < 0 || end > length || begin > end) m.ThrowError("RangeError", 2006, "The supplied index is out of bounds.", true);
}
Value GetTextFormat(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const int length = f->Formatted().Length();
  int begin = IndexArg(m, args, argc, 0, -1), end = IndexArg(m, args, argc, 1, -1);
  if (begin == -1) begin = 0;
  if (end == -1) end = length;
  // An empty field has no characters to tell a format: every member is null. Otherwise
  // the range must hold a character.
  if (length == 0) return MakeFormat(m, TextFormat());
  CheckRange(m, begin, end, length);
  if (begin >= end) m.ThrowError("RangeError", 2006, "The supplied index is out of bounds.", true);
  const std::optional<TextFormat> format = f->Formatted().FormatOf(begin, end);
  return MakeFormat(m, format ? *format : f->NewTextFormat());
}
Value SetTextFormat(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const Value v = Arg(args, argc, 0);
  if (v.IsNull() || v.IsUndefined()) m.ThrowTypeError(2007, "Parameter format must be non-null.");
  const TextFormat format = ReadFormat(m, v);
  const int length = f->Formatted().Length();
  int begin = IndexArg(m, args, argc, 1, -1), end = IndexArg(m, args, argc, 2, -1);
  if (begin == -1) {
    begin = 0;
    end = length;
  } else if (end == -1) {
    end = begin + 1;
  }
  CheckRange(m, begin, end, length);
  if (begin < end) f->ApplyTextFormat(begin, end, format);
  return Value();
}
Value ReplaceText(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const int length = f->Formatted().Length();
  const int begin = IndexArg(m, args, argc, 0, 0), end = IndexArg(m, args, argc, 1, 0);
  if (begin < 0 || end < begin || begin > length) return Value();
  f->ReplaceRange(begin, std::min(end, length), QStr(m, Arg(args, argc, 2)));
  return Value();
}
Value ReplaceSelectedText(Machine& m, const Value& self, const Value* args, int argc) {
  FieldOf(m, self)->ReplaceSelection(QStr(m, Arg(args, argc, 0)));
  return Value();
}
Value SetSelection(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const int length = f->Formatted().Length();
  const int begin = std::clamp(IndexArg(m, args, argc, 0, 0), 0, length);
  const int end = std::clamp(IndexArg(m, args, argc, 1, 0), 0, length);
  f->SetSelection(begin, end);
  return Value();
}
// The selection's ends (the caret at its end); 0 without one.
template <int Which>
Value GetSelectionIndex(Machine& m, const Value& self, const Value*, int) {
  TextField* f = FieldOf(m, self);
  if (f->selectionBegin < 0) return Value::Number(0);
  const int low = std::min(f->selectionBegin, f->selectionEnd), high = std::max(f->selectionBegin, f->selectionEnd);
  return Value::Number(Which == 0 ? low : Which == 1 ? high : f->selectionEnd);
}
// ---- Lines and characters, as laid out now ----
using LineBoxes = std::vector<EditText::LineBox>;

const EditText::LineBox& LineArg(Machine& m, const LineBoxes& lines, const Value* args, int argc) {
  const int index = IndexArg(m, args, argc, 0, 0);
  if (index < 0 || index >= static_cast<int>(lines.size()))
    m.ThrowError("RangeError", 2006, "The supplied index is out of bounds.");
  return lines[static_cast<std::size_t>(index)];
}
Value GetLineText(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const LineBoxes lines = f->Lines();
  const EditText::LineBox& line = LineArg(m, lines, args, argc);
  return m.StrValue(Utf8(f->Text().mid(line.offset, line.length)));
}
Value GetLineLength(Machine& m, const Value& self, const Value* args, int argc) {
  return Value::Number(LineArg(m, FieldOf(m, self)->Lines(), args, argc).length);
}
Value GetLineOffset(Machine& m, const Value& self, const Value* args, int argc) {
  return Value::Number(LineArg(m, FieldOf(m, self)->Lines(), args, argc).offset);
}
Value GetLineMetrics(Machine& m, const Value& self, const Value* args, int argc) {
  const LineBoxes lines = FieldOf(m, self)->Lines();
  const EditText::LineBox& line = LineArg(m, lines, args, argc);
  const Value values[] = {Value::Number(line.left / 20), Value::Number(line.width / 20),
                          Value::Number((line.ascent + line.descent + line.leading) / 20), Value::Number(line.ascent / 20),
                          Value::Number(line.descent / 20), Value::Number(line.leading / 20)};
  return Value::Obj(m.ConstructClass(m.FindClass("flash.text.TextLineMetrics"), values, 6));
}
// The line holding a character (a paragraph end belongs to the line it ends); -1 past the text.
int LineOfChar(const LineBoxes& lines, int index) {
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (index >= lines[i].offset && index < lines[i].offset + lines[i].length) return static_cast<int>(i);
  return -1;
}
Value GetLineIndexOfChar(Machine& m, const Value& self, const Value* args, int argc) {
  return Value::Number(LineOfChar(FieldOf(m, self)->Lines(), IndexArg(m, args, argc, 0, 0)));
}

// The lines the field shows: from the top line of its scroll to the first one past the
// last whole line (the one it shows cut off at the bottom). Their tops count from there.
struct ShownLines {
  std::size_t first = 0, last = 0;  // inclusive
  double scrolledTop = 0;           // twips of text above the first
};
ShownLines Shown(TextField* f, const LineBoxes& lines) {
  ShownLines shown;
  shown.first = static_cast<std::size_t>(std::max(0, std::min(f->scroll, f->MaxScroll()) - 1));
  shown.last = static_cast<std::size_t>(std::max(0, f->BottomScroll()));
  if (shown.first < lines.size()) shown.scrolledTop = lines[shown.first].top;
  return shown;
}
constexpr double kGutterTwips = 40;

Value GetCharBoundaries(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const LineBoxes lines = f->Lines();
  const int index = IndexArg(m, args, argc, 0, 0);
  const int at = LineOfChar(lines, index);
  const ShownLines shown = Shown(f, lines);
  if (at < 0 || static_cast<std::size_t>(at) < shown.first || static_cast<std::size_t>(at) > shown.last) return Value::Null();
  const EditText::LineBox& line = lines[static_cast<std::size_t>(at)];
  const auto column = static_cast<std::size_t>(index - line.offset);
  // Paragraph ends and characters the font has no glyph for have no box.
  if (column >= line.chars.size() || !line.chars[column].drawn) return Value::Null();
  const EditText::LineBox::Char& c = line.chars[column];
  const Value values[] = {Value::Number((line.left + c.x) / 20), Value::Number((kGutterTwips + line.top - shown.scrolledTop) / 20),
                          Value::Number(c.advance / 20), Value::Number((line.ascent + line.descent) / 20)};
  return Value::Obj(m.ConstructClass(m.FindClass("flash.geom.Rectangle"), values, 4));
}

// The shown line under a point of the field (its own pixels), -1 when none is.
// The line shown at a height (y in the field's pixels); -1 above the first line or
// between lines. With nearest, any point inside the box left and right of the gutter and
// above its bottom edge finds a line: below the text it is the last line shown.
int LineAtPoint(TextField* f, const LineBoxes& lines, double x, double y, bool nearest) {
  const ShownLines shown = Shown(f, lines);
  if (nearest) {
    const QRectF box = f->Field().Bounds();
    if (!(x > 0 && x < box.width() / 20) || !(y < box.height() / 20)) return -1;
  }
  const double at = y * 20 - kGutterTwips + shown.scrolledTop;
  if (nearest && (shown.first >= lines.size() || at < lines[shown.first].top)) return -1;
  for (std::size_t i = shown.first; i < lines.size() && i <= shown.last; ++i) {
    const EditText::LineBox& line = lines[i];
    if (at >= line.top && at < line.top + line.ascent + line.descent + line.leading) return static_cast<int>(i);
  }
  if (!nearest || lines.empty()) return -1;
  return static_cast<int>(std::min(shown.last, lines.size() - 1));
}
Value GetLineIndexAtPoint(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  return Value::Number(LineAtPoint(f, f->Lines(), NumArg(m, args, argc, 0, NAN), NumArg(m, args, argc, 1, NAN), true));
}
Value GetCharIndexAtPoint(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const LineBoxes lines = f->Lines();
  const int at = LineAtPoint(f, lines, NumArg(m, args, argc, 0, NAN), NumArg(m, args, argc, 1, NAN), false);
  if (at < 0) return Value::Number(-1);
  const EditText::LineBox& line = lines[static_cast<std::size_t>(at)];
  const double x = (NumArg(m, args, argc, 0, NAN) + f->hscroll) * 20 - line.left;
  for (std::size_t i = 0; i < line.chars.size(); ++i)
    if (x >= line.chars[i].x && x < line.chars[i].x + line.chars[i].advance) return Value::Number(line.offset + static_cast<int>(i));
  return Value::Number(-1);
}

// getTextRuns: the spans of one format, as TextRun objects.
Value GetTextRuns(Machine& m, const Value& self, const Value*, int) {
  TextField* f = FieldOf(m, self);
  std::vector<Value> runs;
  ClassObject* run = m.FindClass("flash.text.TextRun");
  int begin = 0;
  for (const FormattedText::Span& span : f->Formatted().Spans()) {
    const Value values[] = {Value::Number(begin), Value::Number(begin + span.length), MakeFormat(m, span.format)};
    runs.push_back(Value::Obj(m.ConstructClass(run, values, 3)));
    begin += span.length;
  }
  return Value::Obj(m.NewArray(std::move(runs)));
}
Value GetRawText(Machine& m, const Value& self, const Value*, int) { return m.StrValue(Utf8(FieldOf(m, self)->Text())); }

Value GetSelectedText(Machine& m, const Value& self, const Value*, int) {
  TextField* f = FieldOf(m, self);
  if (f->selectionBegin < 0) return m.StrValue("");
  const QString text = f->Text();
  const int low = std::clamp(std::min(f->selectionBegin, f->selectionEnd), 0, static_cast<int>(text.size()));
  const int high = std::clamp(std::max(f->selectionBegin, f->selectionEnd), low, static_cast<int>(text.size()));
  return m.StrValue(Utf8(text.mid(low, high - low)));
}
// Selection by touch is a mode of mobile players: here fields always interact normally.
Value GetTextInteractionMode(Machine& m, const Value& self, const Value*, int) {
  FieldOf(m, self);
  return m.StrValue("normal");
}
Value GetMaxScrollH(Machine& m, const Value& self, const Value*, int) { return Value::Number(FieldOf(m, self)->MaxHScroll()); }

// Paragraphs end after each carriage return. The index just past the text belongs to the
// last paragraph, which then counts one character more; any other index outside is -1.
template <bool Length>
Value Paragraph(Machine& m, const Value& self, const Value* args, int argc) {
  const QString text = FieldOf(m, self)->Text();
  const int size = static_cast<int>(text.size());
  const int index = IndexArg(m, args, argc, 0, 0);
  if (index < 0 || index > size) return Value::Number(-1);
  const int start = index == 0 ? 0 : static_cast<int>(text.lastIndexOf(QChar('\r'), index - 1)) + 1;
  if (!Length) return Value::Number(start);
  if (index == size) return Value::Number(size - start + 1);
  const int end = static_cast<int>(text.indexOf(QChar('\r'), start));
  return Value::Number(end < 0 ? size - start : end - start + 1);
}

Value GetMouseWheelEnabled(Machine& m, const Value& self, const Value*, int) {
  return Value::Bool(FieldOf(m, self)->mouseWheelEnabled);
}
Value SetMouseWheelEnabled(Machine& m, const Value& self, const Value* args, int argc) {
  FieldOf(m, self)->mouseWheelEnabled = m.ToBoolean(Arg(args, argc, 0));
  return Value();
}
// The rendering settings read back as set: an unknown anti-aliasing type is ignored, an
// unknown grid fitting is "none", sharpness is held to -400..400 and thickness to -200..200.
Value GetAntiAliasType(Machine& m, const Value& self, const Value*, int) { return m.StrValue(FieldOf(m, self)->antiAliasType); }
Value SetAntiAliasType(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const std::string type = StrArg(m, args, argc, 0);
  if (type == "normal" || type == "advanced") f->antiAliasType = type;
  return Value();
}
Value GetGridFitType(Machine& m, const Value& self, const Value*, int) { return m.StrValue(FieldOf(m, self)->gridFitType); }
Value SetGridFitType(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const std::string type = StrArg(m, args, argc, 0);
  f->gridFitType = type == "pixel" || type == "subpixel" ? type : "none";
  return Value();
}
template <bool Sharpness>
Value GetRenderNumber(Machine& m, const Value& self, const Value*, int) {
  TextField* f = FieldOf(m, self);
  return Value::Number(Sharpness ? f->sharpness : f->thickness);
}
template <bool Sharpness>
Value SetRenderNumber(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const double limit = Sharpness ? 400 : 200;
  double v = m.ToNumber(Arg(args, argc, 0));
  if (!std::isnan(v)) v = std::clamp(v, -limit, limit);
  (Sharpness ? f->sharpness : f->thickness) = v;
  return Value();
}

// ---- StyleSheet ----

// A sheet keeps each style twice, by its name in lower case: a copy of the object the
// script gave (getStyle copies it out again) and the TextFormat transform made of it
// (what fields style their HTML text with).
class StyleSheetObject final : public NativeObject {
 public:
  using NativeObject::NativeObject;
  std::vector<std::pair<std::string, Value>> css, formats;
  void Trace(gc::Tracer& tracer) const override {
    NativeObject::Trace(tracer);
    for (const auto& [name, v] : css) TraceValue(tracer, v);
    for (const auto& [name, v] : formats) TraceValue(tracer, v);
  }
};

Object* AllocateStyleSheet(Machine& m, ClassObject*) {
  return m.heap.Make<StyleSheetObject>(ObjectKind::Display, nullptr, nullptr);
}
StyleSheetObject& SheetOf(Machine& m, const Value& self) {
  auto* o = self.IsObject() ? dynamic_cast<StyleSheetObject*>(self.object) : nullptr;
  if (!o) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.text.StyleSheet.");
  return *o;
}
Value* Entry(std::vector<std::pair<std::string, Value>>& table, const std::string& name) {
  for (auto& [key, v] : table)
    if (key == name) return &v;
  return nullptr;
}
void Put(std::vector<std::pair<std::string, Value>>& table, const std::string& name, const Value& v) {
  if (Value* at = Entry(table, name)) *at = v;
  else table.emplace_back(name, v);
}
std::string Lower(const std::string& text) {
  return script::Utf8FromUnits(QString::fromStdU16String(script::Utf16Units(text)).toLower().toStdU16String());
}

// A shallow copy of an object's enumerable properties; anything else copies as {}.
Value CopyStyle(Machine& m, const Value& style) {
  Object* copy = m.NewObject();
  if (style.IsObject() && style.object->kind != ObjectKind::Function) {
    for (const Object::Property& p : style.object->properties)
      if (!p.removed && p.enumerable) copy->SetOwn(p.name, p.value);
  }
  return Value::Obj(copy);
}

// The leading number of a text as parseFloat reads it; NaN when there is none.
double LeadingNumber(const QString& text) {
  const std::string s = text.trimmed().toStdString();
  if (s.empty() || !(std::isdigit(static_cast<unsigned char>(s[0])) || s[0] == '-' || s[0] == '+' || s[0] == '.')) return NAN;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  return end == s.c_str() ? NAN : v;
}

// transform(style): the TextFormat a style object stands for. Kerning and display are
// always set; the other fields only from properties that are there (non-empty), numbers
// read as parseInt reads them (letter spacing as parseFloat does), a colour from "#"
// and up to six hexadecimal digits, white space around them (anything else is black).
Value TransformStyle(Machine& m, const Value& style) {
  if (style.IsNull() || style.IsUndefined()) return Value::Null();
  const Value format = Value::Obj(m.ConstructClass(m.FindClass("flash.text.TextFormat"), nullptr, 0));
  const auto read = [&](const char* name) { return m.GetPublic(style, name); };
  const auto text = [&](const Value& v) { return QStr(m, v); };
  const auto set = [&](const char* name, const Value& v) { m.SetPublic(format, name, v); };
  // Whole numbers the way the player's int conversion makes them: no number is the
  // smallest int.
  const auto whole = [&](const Value& v) {
    const double n = LeadingInteger(text(v)).value_or(NAN);
    return Value::Number(std::isnan(n) ? INT32_MIN : script::SaturatedInt32(n));
  };
  if (const Value v = read("textAlign"); m.ToBoolean(v)) set("align", v);
  if (const Value v = read("fontSize"); m.ToBoolean(v)) {
    const double size = LeadingInteger(text(v)).value_or(NAN);
    if (size > 0) set("size", Value::Number(size));
  }
  if (const QString v = text(read("textDecoration")); v == "none" || v == "underline") set("underline", Value::Bool(v == "underline"));
  if (const Value v = read("marginLeft"); m.ToBoolean(v)) set("leftMargin", whole(v));
  if (const Value v = read("marginRight"); m.ToBoolean(v)) set("rightMargin", whole(v));
  if (const Value v = read("leading"); m.ToBoolean(v)) set("leading", whole(v));
  if (const Value v = read("textIndent"); m.ToBoolean(v)) set("indent", whole(v));
  {
    const QString v = text(read("kerning"));
    const double n = LeadingInteger(v).value_or(NAN);
    set("kerning", Value::Bool(v == "true" || (!std::isnan(n) && n != 0)));
  }
  if (const Value v = read("letterSpacing"); m.ToBoolean(v)) set("letterSpacing", Value::Number(LeadingNumber(text(v))));
  if (const Value v = read("fontFamily"); m.ToBoolean(v)) {
    // The generic families name the player's device fonts.
    QStringList faces = CssFaceList(text(v));
    for (QString& face : faces) {
      if (face == "mono" || face == "monospace") face = "_typewriter";
      else if (face == "sans-serif") face = "_sans";
      else if (face == "serif") face = "_serif";
    }
    set("font", m.StrValue(Utf8(faces.join(','))));
  }
  set("display", m.StrValue("block"));
  // The format keeps "inline", "block" and "none", and no display for any other text.
  if (const Value v = read("display"); m.ToBoolean(v)) set("display", v);
  if (const QString v = text(read("fontWeight")); v == "bold" || v == "normal") set("bold", Value::Bool(v == "bold"));
  if (const QString v = text(read("fontStyle")); v == "italic" || v == "normal") set("italic", Value::Bool(v == "italic"));
  if (const Value v = read("color"); m.ToBoolean(v)) {
    const QString c = text(v).trimmed();
    bool ok = false;
    const uint rgb = c.mid(1).toUInt(&ok, 16);
    set("color", Value::Number(c.startsWith('#') && c.size() <= 7 && ok ? rgb : 0));
  }
  return format;
}

Value SheetTransform(Machine& m, const Value&, const Value* args, int argc) { return TransformStyle(m, Arg(args, argc, 0)); }

void PutStyle(Machine& m, const Value& self, const std::string& name, const Value& style) {
  StyleSheetObject& sheet = SheetOf(m, self);
  const Value copy = style.IsNull() || style.IsUndefined() ? style : CopyStyle(m, style);
  Put(sheet.css, name, copy);
  // The sheet's own transform, which a subclass may replace.
  const Value format = m.Call(m.GetPublic(self, "transform"), self, &copy, 1);
  Put(sheet.formats, name, format);
}
Value SheetSetStyle(Machine& m, const Value& self, const Value* args, int argc) {
  PutStyle(m, self, Lower(StrArg(m, args, argc, 0)), Arg(args, argc, 1));
  return Value();
}
Value SheetGetStyle(Machine& m, const Value& self, const Value* args, int argc) {
  const Value* style = Entry(SheetOf(m, self).css, Lower(StrArg(m, args, argc, 0)));
  return CopyStyle(m, style ? *style : Value::Null());
}
Value SheetStyleNames(Machine& m, const Value& self, const Value*, int) {
  std::vector<Value> names;
  for (const auto& [name, v] : SheetOf(m, self).css) names.push_back(m.StrValue(name));
  return Value::Obj(m.NewArray(std::move(names)));
}
Value SheetClear(Machine& m, const Value& self, const Value*, int) {
  StyleSheetObject& sheet = SheetOf(m, self);
  sheet.css.clear();
  sheet.formats.clear();
  return Value();
}
// parseCSS: the rules join the sheet (selectors in lower case, later ones replacing
// earlier ones whole); CSS the player refuses changes nothing.
Value SheetParseCss(Machine& m, const Value& self, const Value* args, int argc) {
  std::vector<CssRule> rules;
  if (!ParseCss(QStr(m, Arg(args, argc, 0)), rules, true)) return Value();
  for (const CssRule& rule : rules) {
    for (const QString& selector : rule.selectors) {
      Object* style = m.NewObject();
      for (const auto& [name, value] : rule.properties) style->SetOwn(Utf8(name), m.StrValue(Utf8(value)));
      PutStyle(m, self, Lower(Utf8(selector)), Value::Obj(style));
    }
  }
  return Value();
}

// The styles a field takes from a sheet: the TextFormats its transform made.
std::shared_ptr<const TextStyles> StylesOf(Machine& m, gc::Cell* cell) {
  auto styles = std::make_shared<TextStyles>();
  auto* sheet = dynamic_cast<StyleSheetObject*>(cell);
  if (!sheet) return styles;
  for (const auto& [name, format] : sheet->formats)
    if (IsFormat(m, format)) styles->styles.emplace_back(QString::fromStdU16String(script::Utf16Units(name)), ReadFormat(m, format));
  return styles;
}
Value GetStyleSheet(Machine& m, const Value& self, const Value*, int) {
  TextField* f = FieldOf(m, self);
  return f->styleSheetObject ? Value::Obj(static_cast<Object*>(f->styleSheetObject)) : Value::Null();
}
Value SetStyleSheet(Machine& m, const Value& self, const Value* args, int argc) {
  TextField* f = FieldOf(m, self);
  const Value v = Arg(args, argc, 0);
  if (v.IsNull() || v.IsUndefined()) {
    f->styleSheetObject = nullptr;
    f->styles.reset();
    f->styledSource.reset();
    return Value();
  }
  StyleSheetObject& sheet = SheetOf(m, v);
  f->styleSheetObject = &sheet;
  f->styles = StylesOf(m, &sheet);
  // Setting a sheet styles the HTML the field holds again.
  if (f->styledSource) {
    const QString source = *f->styledSource;
    f->styledSource.reset();
    SetStyledHtml(m, f, source);
  }
  return Value();
}

// ---- StaticText ----

// The characters of a static text object, record after record; null when it has none or
// a font it draws with has no character codes to tell them.
Value StaticTextText(Machine& m, const Value& self, const Value*, int) {
  DisplayObject* d = self.IsObject() && self.object->kind == ObjectKind::Display ? static_cast<NativeObject*>(self.object)->display : nullptr;
  if (!d || d->Kind() != DisplayKind::StaticText || !d->character) return Value::Null();
  QString text;
  for (const TextRecord& record : static_cast<const StaticText&>(*d->character).records) {
    for (const TextRecord::Glyph& glyph : record.glyphs) {
      if (!record.font || glyph.index >= record.font->codes.size()) return Value::Null();
      text += QChar(record.font->codes[glyph.index]);
    }
  }
  return text.isEmpty() ? Value::Null() : m.StrValue(Utf8(text));
}
Value StaticTextConstruct(Machine& m, const Value&, const Value*, int) {
  m.ThrowError("ArgumentError", 2012, "StaticText$ class cannot be instantiated.");
}

// ---- Font ----

// A Font stands for one of the movie's embedded fonts (by its character id in `c`, 0 for
// none): an instance of a class linked to a font symbol, one enumerateFonts gives, or one
// a script made with new Font() (which stands for no font: its names are null).
Object* AllocateFont(Machine& m, ClassObject* cls) {
  auto* o = m.heap.Make<NativeObject>(ObjectKind::Other, nullptr, nullptr);
  o->c = Value::Number(0);
  for (ClassObject* c = cls; c; c = c->base) {
    const auto it = m.symbolOf.find(c);
    if (it == m.symbolOf.end()) continue;
    o->c = Value::Number(it->second);
    break;
  }
  return o;
}

std::shared_ptr<const Font> FontOf(Machine& m, const Value& self) {
  if (!self.IsObject() || !m.player) return nullptr;
  const auto* o = static_cast<const NativeObject*>(self.object);
  if (!o->c.IsNumber() || o->c.number <= 0) return nullptr;
  return std::dynamic_pointer_cast<const Font>(m.player->RootMovie()->Find(static_cast<std::uint16_t>(o->c.number)));
}

enum FontTag { kFontName, kFontStyle, kFontType };

Value FontGetter(Machine& m, const Value& self, const Value*, int) {
  const std::shared_ptr<const Font> font = FontOf(m, self);
  if (!font) return Value::Null();
  switch (NativeTag(m)) {
    case kFontName: return m.StrValue(font->name.toStdString());
    case kFontStyle:
      return m.StrValue(font->bold && font->italic ? "boldItalic" : font->bold ? "bold" : font->italic ? "italic" : "regular");
    default: return m.StrValue(font->device ? "device" : "embedded");
  }
}

Value FontHasGlyphs(Machine& m, const Value& self, const Value* args, int argc) {
  const std::shared_ptr<const Font> font = FontOf(m, self);
  if (!font) return Value::Bool(false);
  for (const char16_t unit : script::Utf16Units(StrArg(m, args, argc, 0)))
    if (font->GlyphForCode(unit) < 0) return Value::Bool(false);
  return Value::Bool(true);
}

// The fonts the movie embeds with their layout (those a text field can use by name), and
// those scripts registered, in the order of their ids; device fonts are not listed.
Value FontEnumerate(Machine& m, const Value& self, const Value*, int) {
  std::vector<Value> fonts;
  if (m.player) {
    ClassObject* cls = self.IsObject() && self.object->kind == ObjectKind::Class ? static_cast<ClassObject*>(self.object)
                                                                                  : m.FindClass("flash.text.Font");
    m.player->RootMovie()->movie->dictionary.ForEach([&](const std::shared_ptr<Character>& c) {
      const auto* font = dynamic_cast<const Font*>(c.get());
      if (!font || font->device || !font->hasLayout || font->name.isEmpty()) return;
      auto* o = static_cast<NativeObject*>(m.ConstructClass(cls, nullptr, 0));
      o->c = Value::Number(font->id);
      fonts.push_back(Value::Obj(o));
    });
  }
  return Value::Obj(m.NewArray(std::move(fonts)));
}

Value FontRegister(Machine& m, const Value&, const Value* args, int argc) {
  const Value cls = Arg(args, argc, 0);
  if (!cls.IsObject() || cls.object->kind != ObjectKind::Class)
    m.ThrowError("ArgumentError", 1508, "The value specified for argument font is invalid.");
  return Value();
}

Value FontConstruct(Machine&, const Value&, const Value*, int) { return Value(); }

}  // namespace

void InstallText(Machine& m) {
  ClassObject* font = m.DefineClass("flash.text", "Font", m.objectClass, FontConstruct);
  font->allocate = AllocateFont;
  static const Member kFontMembers[] = {
      {"fontName", FontGetter, nullptr, kAccessor, kFontName},
      {"fontStyle", FontGetter, nullptr, kAccessor, kFontStyle},
      {"fontType", FontGetter, nullptr, kAccessor, kFontType},
      {"hasGlyphs", FontHasGlyphs, nullptr, 0, 0, 1},
      {"enumerateFonts", FontEnumerate, nullptr, kStatic, 0, 1},
      {"registerFont", FontRegister, nullptr, kStatic, 0, 1},
  };
  Install(m, font, kFontMembers);

  ClassObject* format = m.DefineClass("flash.text", "TextFormat", m.objectClass, FormatConstruct);
  format->allocate = AllocateFormat;
  // The fields in the order of kFieldNames: GetFormatField<i> reads field i.
  static const Member kFormatMembers[] = {
      {"align", GetFormatField<0>, SetFormatField<0>, kAccessor, 0},
      {"blockIndent", GetFormatField<1>, SetFormatField<1>, kAccessor, 0},
      {"bold", GetFormatField<2>, SetFormatField<2>, kAccessor, 0},
      {"bullet", GetFormatField<3>, SetFormatField<3>, kAccessor, 0},
      {"color", GetFormatField<4>, SetFormatField<4>, kAccessor, 0},
      {"font", GetFormatField<5>, SetFormatField<5>, kAccessor, 0},
      {"indent", GetFormatField<6>, SetFormatField<6>, kAccessor, 0},
      {"italic", GetFormatField<7>, SetFormatField<7>, kAccessor, 0},
      {"kerning", GetFormatField<8>, SetFormatField<8>, kAccessor, 0},
      {"leading", GetFormatField<9>, SetFormatField<9>, kAccessor, 0},
      {"leftMargin", GetFormatField<10>, SetFormatField<10>, kAccessor, 0},
      {"letterSpacing", GetFormatField<11>, SetFormatField<11>, kAccessor, 0},
      {"rightMargin", GetFormatField<12>, SetFormatField<12>, kAccessor, 0},
      {"size", GetFormatField<13>, SetFormatField<13>, kAccessor, 0},
      {"tabStops", GetFormatField<14>, SetFormatField<14>, kAccessor, 0},
      {"target", GetFormatField<15>, SetFormatField<15>, kAccessor, 0},
      {"underline", GetFormatField<16>, SetFormatField<16>, kAccessor, 0},
      {"url", GetFormatField<17>, SetFormatField<17>, kAccessor, 0},
      {"display", GetFormatField<18>, SetFormatField<18>, kAccessor, 0},
  };
  static_assert(std::size(kFormatMembers) == kFormatFields);
  Install(m, format, kFormatMembers);

  ClassObject* align = m.DefineClass("flash.text", "TextFormatAlign", m.objectClass);
  static const TextConstant kAlignConstants[] = {
      {"LEFT", "left"}, {"RIGHT", "right"}, {"CENTER", "center"}, {"JUSTIFY", "justify"}, {"START", "start"}, {"END", "end"},
  };
  Install(m, align, kAlignConstants);
  ClassObject* autoSize = m.DefineClass("flash.text", "TextFieldAutoSize", m.objectClass);
  static const TextConstant kAutoSizeConstants[] = {
      {"NONE", "none"}, {"LEFT", "left"}, {"RIGHT", "right"}, {"CENTER", "center"},
  };
  Install(m, autoSize, kAutoSizeConstants);
  ClassObject* fieldType = m.DefineClass("flash.text", "TextFieldType", m.objectClass);
  static const TextConstant kFieldTypeConstants[] = {
      {"DYNAMIC", "dynamic"},
      {"INPUT", "input"},
  };
  Install(m, fieldType, kFieldTypeConstants);
  ClassObject* antiAlias = m.DefineClass("flash.text", "AntiAliasType", m.objectClass);
  static const TextConstant kAntiAliasConstants[] = {{"ADVANCED", "advanced"}, {"NORMAL", "normal"}};
  Install(m, antiAlias, kAntiAliasConstants);
  ClassObject* gridFit = m.DefineClass("flash.text", "GridFitType", m.objectClass);
  static const TextConstant kGridFitConstants[] = {{"NONE", "none"}, {"PIXEL", "pixel"}, {"SUBPIXEL", "subpixel"}};
  Install(m, gridFit, kGridFitConstants);
  ClassObject* fontStyle = m.DefineClass("flash.text", "FontStyle", m.objectClass);
  static const TextConstant kFontStyleConstants[] = {
      {"BOLD", "bold"}, {"BOLD_ITALIC", "boldItalic"}, {"ITALIC", "italic"}, {"REGULAR", "regular"}};
  Install(m, fontStyle, kFontStyleConstants);
  ClassObject* fontType = m.DefineClass("flash.text", "FontType", m.objectClass);
  static const TextConstant kFontTypeConstants[] = {
      {"DEVICE", "device"}, {"EMBEDDED", "embedded"}, {"EMBEDDED_CFF", "embeddedCFF"}};
  Install(m, fontType, kFontTypeConstants);

  ClassObject* sheet = m.DefineClass("flash.text", "StyleSheet", m.FindClass("flash.events.EventDispatcher"), Nothing);
  sheet->allocate = AllocateStyleSheet;
  static const Member kSheetMembers[] = {
      {"styleNames", SheetStyleNames, nullptr, kAccessor, 0},
      {"getStyle", SheetGetStyle, nullptr, 0, 0, 1},
      {"setStyle", SheetSetStyle, nullptr, 0, 0, 2},
      {"clear", SheetClear, nullptr, 0, 0},
      {"parseCSS", SheetParseCss, nullptr, 0, 0, 1},
      {"transform", SheetTransform, nullptr, 0, 0, 1},
  };
  Install(m, sheet, kSheetMembers);

  ClassObject* interactive = m.FindClass("flash.display.InteractiveObject");
  if (!interactive) return;
  ClassObject* staticText = m.DefineClass("flash.text", "StaticText", m.FindClass("flash.display.DisplayObject"), StaticTextConstruct);
  static const Member kStaticTextMembers[] = {{"text", StaticTextText, nullptr, kAccessor, 0}};
  Install(m, staticText, kStaticTextMembers);

  ClassObject* field = m.DefineClass("flash.text", "TextField", interactive, Nothing);
  field->allocate = AllocateTextField;
  static const Member kFieldMembers[] = {
      {"text", GetText, SetText, kAccessor, 0},
      {"htmlText", GetHtmlText, SetHtmlText, kAccessor, 0},
      {"appendText", AppendText, nullptr, 0, 0},
      {"length", GetLength, nullptr, kAccessor, 0},
      {"type", GetType, SetType, kAccessor, 0},
      {"textColor", GetTextColor, SetTextColor, kAccessor, 0},
      {"borderColor", GetBoxColor<true>, SetBoxColor<true>, kAccessor, 0},
      {"backgroundColor", GetBoxColor<false>, SetBoxColor<false>, kAccessor, 0},
      {"border", GetFlag<kBorder>, SetFlag<kBorder>, kAccessor, 0},
      {"background", GetFlag<kBackground>, SetFlag<kBackground>, kAccessor, 0},
      {"multiline", GetFlag<kMultiline>, SetFlag<kMultiline>, kAccessor, 0},
      {"wordWrap", GetFlag<kWordWrap>, SetFlag<kWordWrap>, kAccessor, 0},
      {"displayAsPassword", GetFlag<kPassword>, SetFlag<kPassword>, kAccessor, 0},
      {"selectable", GetFlag<kSelectable>, SetFlag<kSelectable>, kAccessor, 0},
      {"embedFonts", GetFlag<kEmbedFonts>, SetFlag<kEmbedFonts>, kAccessor, 0},
      {"condenseWhite", GetFlag<kCondenseWhite>, SetFlag<kCondenseWhite>, kAccessor, 0},
      {"maxChars", GetMaxChars, SetMaxChars, kAccessor, 0},
      {"autoSize", GetAutoSize, SetAutoSize, kAccessor, 0},
      {"restrict", GetRestrict, SetRestrict, kAccessor, 0},
      {"textWidth", GetTextWidth, nullptr, kAccessor, 0},
      {"textHeight", GetTextHeight, nullptr, kAccessor, 0},
      {"numLines", GetNumLines, nullptr, kAccessor, 0},
      {"scrollV", GetScrollV, SetScrollV, kAccessor, 0},
      {"maxScrollV", GetMaxScrollV, nullptr, kAccessor, 0},
      {"bottomScrollV", GetBottomScrollV, nullptr, kAccessor, 0},
      {"scrollH", GetScrollH, SetScrollH, kAccessor, 0},
      {"defaultTextFormat", GetDefaultFormat, SetDefaultFormat, kAccessor, 0},
      {"getTextFormat", GetTextFormat, nullptr, 0, 0},
      {"setTextFormat", SetTextFormat, nullptr, 0, 0},
      {"replaceText", ReplaceText, nullptr, 0, 0},
      {"replaceSelectedText", ReplaceSelectedText, nullptr, 0, 0},
      {"setSelection", SetSelection, nullptr, 0, 0},
      {"selectionBeginIndex", GetSelectionIndex<0>, nullptr, kAccessor, 0},
      {"selectionEndIndex", GetSelectionIndex<1>, nullptr, kAccessor, 0},
      {"caretIndex", GetSelectionIndex<2>, nullptr, kAccessor, 0},
      {"getLineText", GetLineText, nullptr, 0, 0},
      {"getLineLength", GetLineLength, nullptr, 0, 0},
      {"getLineOffset", GetLineOffset, nullptr, 0, 0},
      {"getLineMetrics", GetLineMetrics, nullptr, 0, 0},
      {"getLineIndexOfChar", GetLineIndexOfChar, nullptr, 0, 0},
      {"getCharBoundaries", GetCharBoundaries, nullptr, 0, 0},
      {"getLineIndexAtPoint", GetLineIndexAtPoint, nullptr, 0, 0},
      {"getCharIndexAtPoint", GetCharIndexAtPoint, nullptr, 0, 0},
      {"getTextRuns", GetTextRuns, nullptr, 0, 0},
      {"getRawText", GetRawText, nullptr, 0, 0},
      {"styleSheet", GetStyleSheet, SetStyleSheet, kAccessor, 0},
      {"alwaysShowSelection", GetFlag<kAlwaysShowSelection>, SetFlag<kAlwaysShowSelection>, kAccessor, 0},
      {"useRichTextClipboard", GetFlag<kRichClipboard>, SetFlag<kRichClipboard>, kAccessor, 0},
      {"selectedText", GetSelectedText, nullptr, kAccessor, 0},
      {"maxScrollH", GetMaxScrollH, nullptr, kAccessor, 0},
      {"textInteractionMode", GetTextInteractionMode, nullptr, kAccessor, 0},
      {"getFirstCharInParagraph", Paragraph<false>, nullptr, 0, 0, 1},
      {"getParagraphLength", Paragraph<true>, nullptr, 0, 0, 1},
      {"mouseWheelEnabled", GetMouseWheelEnabled, SetMouseWheelEnabled, kAccessor, 0},
      {"antiAliasType", GetAntiAliasType, SetAntiAliasType, kAccessor, 0},
      {"gridFitType", GetGridFitType, SetGridFitType, kAccessor, 0},
      {"sharpness", GetRenderNumber<true>, SetRenderNumber<true>, kAccessor, 0},
      {"thickness", GetRenderNumber<false>, SetRenderNumber<false>, kAccessor, 0},
  };
  Install(m, field, kFieldMembers);
}

}  // namespace vantrel::flash::avm2
