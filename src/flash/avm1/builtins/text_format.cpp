// TextFormat: every property is null until set, and each kind of property converts
// what it is given the way the player does (whole numbers rounded half to even by
// setters from SWF 8 on and truncated before, colours as unsigned 32-bit numbers,
// margins never negative, align and display only from their known words).
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/builtins/text_format.h"
#include "flash/display/text_field.h"

namespace vantrel::flash::avm1 {

namespace {

enum class Kind { Text, Font, Integer, Margin, Indent, Color, Boolean, Align, Number, TabStops, Display };

struct Field {
  const char* name;
  Kind kind;
};

// In the order of the constructor's arguments, then the others.
constexpr Field kFields[] = {
    {"font", Kind::Font},          {"size", Kind::Integer},      {"color", Kind::Color},
    {"bold", Kind::Boolean},       {"italic", Kind::Boolean},    {"underline", Kind::Boolean},
    {"url", Kind::Text},           {"target", Kind::Text},       {"align", Kind::Align},
    {"leftMargin", Kind::Margin},  {"rightMargin", Kind::Margin}, {"indent", Kind::Indent},
    {"leading", Kind::Indent},     {"blockIndent", Kind::Indent}, {"bullet", Kind::Boolean},
    {"kerning", Kind::Boolean},    {"letterSpacing", Kind::Number}, {"tabStops", Kind::TabStops},
    {"display", Kind::Display},
};
constexpr std::size_t kFieldCount = std::size(kFields);
constexpr std::size_t kConstructorArgs = 13;

class TextFormatData final : public NativeData {
 public:
  Value values[kFieldCount];
  void Trace(gc::Tracer& tracer) const override {
    for (const Value& v : values) TraceValue(tracer, v);
  }
};

TextFormatData* FormatOf(const Value& v) {
  Object* o = v.AsObject();
  return o ? o->Data<TextFormatData>() : nullptr;
}

constexpr double kIntMin = std::numeric_limits<std::int32_t>::min();

// A whole number as the player stores it: out of range (NaN and infinities included)
// gives the smallest 32-bit integer.
double Whole(double v, bool roundHalfEven) {
  const double r = roundHalfEven ? std::nearbyint(v) : std::trunc(v);
  if (!std::isfinite(r) || r > 2147483647.0 || r < kIntMin) return kIntMin;
  return r;
}

// The value a property keeps for what a script gives it; nullopt leaves it unchanged.
std::optional<Value> Convert(MachineInterface& m, Kind kind, const Value& given, bool fromSetter) {
  if (kind == Kind::Display) {
    const std::string text = given.IsNullish() ? std::string() : m.ToString(given);
    return m.Str(text == "inline" || text == "none" ? text : "block");
  }
  // align keeps its word when given nothing; the others go back to null.
  if (given.IsNullish()) return kind == Kind::Align ? std::optional<Value>() : Value::Null();
  // Setters round from SWF 8 on; the constructor and older setters truncate.
  const bool round = fromSetter && m.Version() >= 8;
  switch (kind) {
    case Kind::Text:
      return m.Str(m.ToString(given));
    case Kind::Font: {
      std::string text = m.ToString(given);
      // Font names hold at most 64 characters.
      std::size_t units = 0, i = 0;
      for (; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80) continue;
        if (units == 64) break;
        units += c >= 0xF0 ? 2 : 1;
      }
      text.resize(i);
      return m.Str(text);
    }
    case Kind::Integer:
      return Value::Number(Whole(m.ToNumber(given), round));
    case Kind::Indent: {
      double v = m.ToNumber(given);
      if (fromSetter && m.Version() < 8 && v < 0) v = 0;
      return Value::Number(Whole(v, round));
    }
    case Kind::Margin: {
      double v = m.ToNumber(given);
      if (fromSetter) {
        if (std::isnan(v)) v = 0;
        v = std::max(v, 0.0);
      }
      return Value::Number(Whole(v, round));
    }
    case Kind::Color:
      return Value::Number(ToUint32(m.ToNumber(given)));
    case Kind::Boolean:
      return Value::Bool(m.ToBoolean(given));
    case Kind::Number:
      return Value::Number(m.ToNumber(given));
    case Kind::Align: {
      const std::string text = m.ToString(given);
      for (const char* word : {"left", "center", "right", "justify"}) {
        if (text == word) return m.Str(text);
      }
      return std::nullopt;
    }
    case Kind::TabStops: {
      std::vector<Value> stops;
      // Anything with a length is read as a list (arrays and array-like objects).
      if (Object* list = given.AsObject()) {
        const double length = m.ToNumber(m.Get(list, "length"));
        const std::size_t count = length > 0 && length < 100000 ? static_cast<std::size_t>(length) : 0;
        for (std::size_t i = 0; i < count && !m.Throwing(); ++i)
          stops.push_back(Value::Number(Whole(m.ToNumber(m.Get(list, std::to_string(i))), round)));
      } else {
        stops.push_back(Value::Number(Whole(m.ToNumber(given), round)));
      }
      return Value::Obj(m.NewArray(std::move(stops)));
    }
    case Kind::Display:
      break;
  }
  return std::nullopt;
}

template <std::size_t I>
Value Get(Call& call) {
  TextFormatData* data = FormatOf(call.thisValue);
  return data ? data->values[I] : Value();
}

template <std::size_t I>
Value Set(Call& call) {
  TextFormatData* data = FormatOf(call.thisValue);
  if (!data) return Value();
  const auto converted = Convert(call.machine, kFields[I].kind, call.Arg(0), true);
  if (call.machine.Throwing()) return Value();
  if (converted) data->values[I] = *converted;
  return Value();
}

Value Construct(Call& call) {
  if (!call.self) return Value();
  auto native = std::make_unique<TextFormatData>();
  for (std::size_t i = 0; i < kFieldCount; ++i) {
    native->values[i] = Value::Null();
    if (kFields[i].kind == Kind::Display) native->values[i] = call.machine.Str("block");
  }
  for (std::size_t i = 0; i < kConstructorArgs && i < call.Count(); ++i) {
    const auto converted = Convert(call.machine, kFields[i].kind, call.Arg(i), false);
    if (call.machine.Throwing()) return Value();
    if (converted) native->values[i] = *converted;
  }
  call.self->kind = NativeKind::Other;
  call.self->native = std::move(native);
  return Value::Obj(call.self);
}

// getTextExtent(text [, width]): the size the text takes in this format.
Value GetTextExtent(Call& call);

template <std::size_t... I>
void AddAccessors(Runtime& rt, Object* proto, std::index_sequence<I...>) {
  static const Member members[] = {Member{kFields[I].name, Get<I>, Set<I>}...};
  rt.AddMembers(proto, members);
}

}  // namespace

void InstallTextFormat(Runtime& rt) {
  Object* textFormat = rt.MakeClass(Construct, Construct);
  rt.textFormatProto = data::PrototypeOf(textFormat);
  data::RegisterClass(rt, rt.global, "TextFormat", textFormat);
  AddAccessors(rt, rt.textFormatProto, std::make_index_sequence<kFieldCount>());
  static const Member methods[] = {{"getTextExtent", GetTextExtent}};
  rt.AddMembers(rt.textFormatProto, methods);
}

}  // namespace vantrel::flash::avm1

namespace vantrel::flash::avm1 {

namespace {

// Indexes of kFields.
enum : std::size_t {
  kFont, kSize, kColor, kBold, kItalic, kUnderline, kUrl, kTarget, kAlign, kLeftMargin, kRightMargin, kIndent,
  kLeading, kBlockIndent, kBullet, kKerning, kLetterSpacing, kTabStops, kDisplay
};

QString QStr(MachineInterface& m, const Value& v) { return QString::fromStdString(m.ToString(v)); }

}  // namespace

bool IsTextFormat(const Value& value) { return FormatOf(value) != nullptr; }

flash::TextFormat ReadTextFormat(MachineInterface& m, const Value& value) {
  flash::TextFormat f;
  TextFormatData* data = FormatOf(value);
  if (!data) return f;
  const Value* v = data->values;
  const auto set = [&](std::size_t i) { return !v[i].IsNullish(); };
  if (set(kFont)) f.font = QStr(m, v[kFont]);
  if (set(kSize)) f.size = m.ToNumber(v[kSize]);
  if (set(kColor)) f.color = ToUint32(m.ToNumber(v[kColor]));
  if (set(kBold)) f.bold = m.ToBoolean(v[kBold]);
  if (set(kItalic)) f.italic = m.ToBoolean(v[kItalic]);
  if (set(kUnderline)) f.underline = m.ToBoolean(v[kUnderline]);
  if (set(kUrl)) f.url = QStr(m, v[kUrl]);
  if (set(kTarget)) f.target = QStr(m, v[kTarget]);
  if (set(kAlign)) f.align = flash::AlignFromName(QStr(m, v[kAlign]));
  if (set(kLeftMargin)) f.leftMargin = m.ToNumber(v[kLeftMargin]);
  if (set(kRightMargin)) f.rightMargin = m.ToNumber(v[kRightMargin]);
  if (set(kIndent)) f.indent = m.ToNumber(v[kIndent]);
  if (set(kLeading)) f.leading = m.ToNumber(v[kLeading]);
  if (set(kBlockIndent)) f.blockIndent = m.ToNumber(v[kBlockIndent]);
  if (set(kBullet)) f.bullet = m.ToBoolean(v[kBullet]);
  if (set(kKerning)) f.kerning = m.ToBoolean(v[kKerning]);
  if (set(kLetterSpacing)) f.letterSpacing = m.ToNumber(v[kLetterSpacing]);
  if (Object* list = v[kTabStops].AsObject()) {
    std::vector<double> stops;
    const double length = m.ToNumber(m.Get(list, "length"));
    for (int i = 0; i < length && i < 10000; ++i) stops.push_back(m.ToNumber(m.Get(list, std::to_string(i))));
    f.tabStops = std::move(stops);
  }
  if (set(kDisplay)) f.display = QStr(m, v[kDisplay]);
  return f;
}

Value MakeTextFormat(MachineInterface& m, const flash::TextFormat& f) {
  Object* ctor = m.Get(m.Rt().global, "TextFormat").AsObject();
  Object* object = ctor ? m.Construct(ctor, {}) : nullptr;
  TextFormatData* data = object ? object->Data<TextFormatData>() : nullptr;
  if (!data) {
    // A movie that replaced TextFormat still gets a real one.
    object = m.Rt().MakeObject(m.Rt().textFormatProto);
    auto native = std::make_unique<TextFormatData>();
    data = native.get();
    for (Value& value : data->values) value = Value::Null();
    object->kind = NativeKind::Other;
    object->native = std::move(native);
  }
  Value* v = data->values;
  const auto str = [&](const std::optional<QString>& s, std::size_t i) {
    if (s) v[i] = m.Str(s->toStdString());
  };
  const auto num = [&](const std::optional<double>& d, std::size_t i) {
    if (d) v[i] = Value::Number(*d);
  };
  const auto boolean = [&](const std::optional<bool>& b, std::size_t i) {
    if (b) v[i] = Value::Bool(*b);
  };
  str(f.font, kFont);
  num(f.size, kSize);
  if (f.color) v[kColor] = Value::Number(*f.color);
  boolean(f.bold, kBold);
  boolean(f.italic, kItalic);
  boolean(f.underline, kUnderline);
  str(f.url, kUrl);
  str(f.target, kTarget);
  if (f.align) v[kAlign] = m.Str(flash::AlignName(*f.align).toStdString());
  num(f.leftMargin, kLeftMargin);
  num(f.rightMargin, kRightMargin);
  num(f.indent, kIndent);
  num(f.leading, kLeading);
  num(f.blockIndent, kBlockIndent);
  boolean(f.bullet, kBullet);
  boolean(f.kerning, kKerning);
  num(f.letterSpacing, kLetterSpacing);
  if (f.tabStops) {
    std::vector<Value> stops;
    for (double s : *f.tabStops) stops.push_back(Value::Number(s));
    v[kTabStops] = Value::Obj(m.NewArray(std::move(stops)));
  }
  str(f.display, kDisplay);
  return Value::Obj(object);
}

}  // namespace vantrel::flash::avm1

namespace vantrel::flash::avm1 {
namespace {

Value GetTextExtent(Call& call) {
  if (!IsTextFormat(Value::Obj(call.self)) || call.Count() < 1) return {};
  const flash::TextFormat format = ReadTextFormat(call.machine, Value::Obj(call.self));
  const QString text = QString::fromStdString(call.machine.ToString(call.Arg(0)));
  // A width that is not a number is no width.
  std::optional<double> width;
  if (call.Count() > 1 && !call.Arg(1).IsUndefined()) {
    const double w = call.machine.ToNumber(call.Arg(1));
    if (!std::isnan(w)) width = w;
  }
  const flash::TextExtent extent = flash::MeasureTextExtent(format, text, width);
  // The result has no prototype: it prints as "[type Object]".
  Object* result = call.machine.Rt().MakeObject(nullptr);
  const std::pair<const char*, double> fields[] = {
      {"ascent", extent.ascent},         {"descent", extent.descent},
      {"width", extent.width},           {"height", extent.height},
      {"textFieldHeight", extent.fieldHeight}, {"textFieldWidth", extent.fieldWidth}};
  for (const auto& [name, value] : fields) call.machine.Set(result, name, Value::Number(value));
  return Value::Obj(result);
}

}  // namespace
}  // namespace vantrel::flash::avm1
