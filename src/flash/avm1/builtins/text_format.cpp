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
std::optional<Value> Convert(Machine& m, Kind kind, const Value& given, bool fromSetter) {
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
}

}  // namespace vantrel::flash::avm1
