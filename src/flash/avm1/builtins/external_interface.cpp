// flash.external.ExternalInterface: the bridge to a page container. The player runs
// movies on its own, never inside a page, so `available` is false, `call` answers null
// and `addCallback` refuses. The class's helpers that turn script values into the
// bridge's XML form and back (_toXML, _toAS, _escapeXML, ...) work all the same;
// movies call them directly.
#include <algorithm>
#include <string>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/builtins/native_support.h"

namespace vantrel::flash::avm1 {

namespace {

// The escaping helpers answer null for no argument and for an empty text.
bool TextArgument(Call& call, std::string& text) {
  if (call.Count() == 0) return false;
  text = call.machine.ToString(call.Arg(0));
  return !text.empty();
}

std::string EscapeXml(std::string_view text) { return data::EscapeXmlText(text); }

// Only the five entities as written in lower case; everything else stays as it is.
std::string UnescapeXml(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kEntities[] = {
      {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}};
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    bool replaced = false;
    if (text[i] == '&') {
      for (const auto& [entity, c] : kEntities) {
        if (text.substr(i, entity.size()) == entity) {
          out.push_back(c);
          i += entity.size();
          replaced = true;
          break;
        }
      }
    }
    if (!replaced) out.push_back(text[i++]);
  }
  return out;
}

// Quotes for a JavaScript string literal: only double quotes get a backslash.
std::string JsQuote(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

Value EscapeXmlMethod(Call& call) {
  std::string text;
  return TextArgument(call, text) ? call.machine.Str(EscapeXml(text)) : Value::Null();
}

Value UnescapeXmlMethod(Call& call) {
  std::string text;
  return TextArgument(call, text) ? call.machine.Str(UnescapeXml(text)) : Value::Null();
}

Value JsQuoteStringMethod(Call& call) {
  std::string text;
  return TextArgument(call, text) ? call.machine.Str(JsQuote(text)) : Value::Null();
}

// ---- script values to XML ----

std::string ToXml(MachineInterface& machine, const Value& value, int depth);

// Any object may claim any length: a walk goes no further than an array's elements can.
double LengthOf(MachineInterface& machine, const Value& value) {
  const double length = machine.ToNumber(machine.GetMember(value, "length"));
  return length > 0 ? std::min(length, static_cast<double>(kMaxWalkedLength)) : 0;
}

// <array> with every index below value.length, holes included.
std::string ArrayToXml(MachineInterface& machine, const Value& value, int depth) {
  std::string out = "<array>";
  const double length = LengthOf(machine, value);
  for (double i = 0; i < length; ++i) {
    const std::string index = NumberToString(i);
    out += "<property id=\"" + index + "\">" + ToXml(machine, machine.GetMember(value, index), depth + 1) +
           "</property>";
    if (machine.StringTooLong(out.size())) return {};
  }
  return out + "</array>";
}

// <arguments>: the values after the first (the first names the function called).
std::string ArgumentsToXml(MachineInterface& machine, const Value& value, int depth) {
  std::string out = "<arguments>";
  const double length = LengthOf(machine, value);
  for (double i = 1; i < length; ++i) {
    out += ToXml(machine, machine.GetMember(value, NumberToString(i)), depth + 1);
    if (machine.StringTooLong(out.size())) return {};
  }
  return out + "</arguments>";
}

// <object> with the enumerable properties in for..in order; names are written as
// they stand.
std::string ObjectToXml(MachineInterface& machine, const Value& value, int depth) {
  std::string out = "<object>";
  if (Object* object = value.AsObject()) {
    for (const std::string& name : machine.Enumerate(object)) {
      out += "<property id=\"" + name + "\">" + ToXml(machine, machine.Get(object, name), depth + 1) + "</property>";
      if (machine.StringTooLong(out.size())) return {};
    }
  }
  return out + "</object>";
}

// Whether an object goes over the bridge as an array: arrays, strings and anything
// else with a length of its own.
bool ArrayLike(Object* object) {
  if (object->IsArray() || object->kind == NativeKind::String) return true;
  return object->FindOwn("length", true) != nullptr;
}

std::string ToXml(MachineInterface& machine, const Value& value, int depth) {
  // Values nested this deep are cycles (an object holding itself); they end as null.
  if (depth > 64) return "<null/>";
  switch (value.type) {
    case Value::Type::Undefined: return "<undefined/>";
    case Value::Type::Null: return "<null/>";
    case Value::Type::Boolean: return value.boolean ? "<true/>" : "<false/>";
    case Value::Type::Number: return "<number>" + NumberToString(value.number) + "</number>";
    case Value::Type::String:
      return "<string>" + (value.Text().empty() ? std::string("null") : EscapeXml(value.Text())) + "</string>";
    case Value::Type::Object: break;
  }
  if (machine.TypeOf(value) != "object") return "<null/>";  // functions and clips
  return ArrayLike(value.AsObject()) ? ArrayToXml(machine, value, depth) : ObjectToXml(machine, value, depth);
}

Value ToXmlMethod(Call& call) { return call.machine.Str(ToXml(call.machine, call.Arg(0), 0)); }
Value ArrayToXmlMethod(Call& call) { return call.machine.Str(ArrayToXml(call.machine, call.Arg(0), 0)); }
Value ArgumentsToXmlMethod(Call& call) { return call.machine.Str(ArgumentsToXml(call.machine, call.Arg(0), 0)); }
Value ObjectToXmlMethod(Call& call) { return call.machine.Str(ObjectToXml(call.machine, call.Arg(0), 0)); }

// ---- XML nodes to script values ----

Value ToAs(MachineInterface& machine, const Value& node, int depth);

// The child nodes of an XML node (or anything shaped like one), in order.
std::vector<Value> ChildrenOf(MachineInterface& machine, const Value& node) {
  std::vector<Value> children;
  const Value list = machine.GetMember(node, "childNodes");
  const double length = LengthOf(machine, list);
  for (double i = 0; i < length && machine.TimeLeft(); ++i) children.push_back(machine.GetMember(list, NumberToString(i)));
  return children;
}

// The <property id="..."> children of node set on out (an object or an array).
Value PropertiesToAs(MachineInterface& machine, Object* out, const Value& node, int depth) {
  for (const Value& child : ChildrenOf(machine, node)) {
    const Value id = machine.GetMember(machine.GetMember(child, "attributes"), "id");
    machine.Set(out, machine.ToString(id), ToAs(machine, machine.GetMember(child, "firstChild"), depth + 1));
  }
  return Value::Obj(out);
}

Value ObjectToAs(MachineInterface& machine, const Value& node, int depth) {
  return PropertiesToAs(machine, machine.NewObject(), node, depth);
}

Value ArrayToAs(MachineInterface& machine, const Value& node, int depth) {
  return PropertiesToAs(machine, machine.NewArray(), node, depth);
}

Value ArgumentsToAs(MachineInterface& machine, const Value& node, int depth) {
  std::vector<Value> values;
  for (const Value& child : ChildrenOf(machine, node)) values.push_back(ToAs(machine, child, depth + 1));
  return Value::Obj(machine.NewArray(std::move(values)));
}

// A node by its name: <number>, <string>, <true/>, <false/>, <null/>, <undefined/>,
// <object>, <array>; names compare as the == operator does, in lower case only.
Value ToAs(MachineInterface& machine, const Value& node, int depth) {
  if (depth > 64) return {};
  const Value name = machine.GetMember(node, "nodeName");
  auto is = [&](const char* what) { return data::LooselyEqual(machine, name, machine.Str(what)); };
  if (is("number"))
    return Value::Number(machine.ToNumber(machine.Str(machine.ToString(machine.GetMember(node, "firstChild")))));
  if (is("string")) {
    const std::string text = machine.ToString(machine.GetMember(node, "firstChild"));
    return machine.Str(UnescapeXml(text));
  }
  if (is("false")) return Value::Bool(false);
  if (is("true")) return Value::Bool(true);
  if (is("null")) return Value::Null();
  if (is("object")) return ObjectToAs(machine, node, depth);
  if (is("array")) return ArrayToAs(machine, node, depth);
  return {};
}

Value ToAsMethod(Call& call) { return ToAs(call.machine, call.Arg(0), 0); }
Value ObjectToAsMethod(Call& call) { return ObjectToAs(call.machine, call.Arg(0), 0); }
Value ArrayToAsMethod(Call& call) { return ArrayToAs(call.machine, call.Arg(0), 0); }
Value ArgumentsToAsMethod(Call& call) { return ArgumentsToAs(call.machine, call.Arg(0), 0); }

// ---- the bridge itself ----

Value Available(Call&) { return Value::Bool(false); }
Value AddCallback(Call&) { return Value::Bool(false); }
Value CallOut(Call&) { return Value::Null(); }

Value Construct(Call& call) { return Value::Obj(call.self); }

}  // namespace

void InstallExternalInterface(Runtime& rt) {
  Object* ctor = rt.MakeClass(Construct, Construct);
  static const Member kStatics[] = {
      {"available", Available, nullptr, kDontEnum | kDontDelete | kGetterOnly},
      {"addCallback", AddCallback},
      {"call", CallOut},
      {"_escapeXML", EscapeXmlMethod},
      {"_unescapeXML", UnescapeXmlMethod},
      {"_jsQuoteString", JsQuoteStringMethod},
      {"_toXML", ToXmlMethod},
      {"_arrayToXML", ArrayToXmlMethod},
      {"_argumentsToXML", ArgumentsToXmlMethod},
      {"_objectToXML", ObjectToXmlMethod},
      {"_toAS", ToAsMethod},
      {"_arrayToAS", ArrayToAsMethod},
      {"_argumentsToAS", ArgumentsToAsMethod},
      {"_objectToAS", ObjectToAsMethod},
  };
  rt.AddMembers(ctor, kStatics);
  data::RegisterClass(rt, data::Package(rt, "flash.external"), "flash.external.ExternalInterface", ctor);
}

}  // namespace vantrel::flash::avm1
