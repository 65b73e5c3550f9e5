#include "flash/avm1/builtins/data_support.h"
#include "flash/script/string_utils.h"

#include <cmath>

namespace vantrel::flash::avm1::data {

Object* Package(Runtime& rt, std::string_view path) {
  Object* holder = rt.global;
  while (!path.empty()) {
    const std::size_t dot = path.find('.');
    const std::string_view part = path.substr(0, dot);
    Property* existing = holder->FindOwn(part, true);
    Object* next = existing ? existing->value.AsObject() : nullptr;
    if (!next) {
      next = rt.MakeObject();
      // The packages under _global.flash are there for SWF 8 movies on.
      holder->Define(part, Value::Obj(next), holder == rt.global ? kDontEnum | kVersion8 : kDontEnum);
    }
    holder = next;
    path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
  }
  return holder;
}

Object* PrototypeOf(Object* ctor) {
  if (!ctor) return nullptr;
  const Property* p = ctor->FindOwn("prototype", true);
  return p ? p->value.AsObject() : nullptr;
}

void RegisterClass(Runtime& rt, Object* holder, std::string_view qualifiedName, Object* ctor, std::uint16_t attributes) {
  const std::size_t dot = qualifiedName.rfind('.');
  const std::string_view shortName = dot == std::string_view::npos ? qualifiedName : qualifiedName.substr(dot + 1);
  holder->Define(shortName, Value::Obj(ctor), attributes);
  rt.prototypes[std::string(qualifiedName)] = PrototypeOf(ctor);
}

Object* ConstructorOf(Runtime& rt, std::string_view qualifiedName) {
  const auto it = rt.prototypes.find(qualifiedName);
  if (it == rt.prototypes.end() || !it->second) return nullptr;
  const Property* p = it->second->FindOwn("constructor", true);
  return p ? p->value.AsObject() : nullptr;
}

Object* NewInstance(MachineInterface& machine, std::string_view qualifiedName) {
  Runtime& rt = machine.Rt();
  const auto it = rt.prototypes.find(qualifiedName);
  return rt.MakeObject(it == rt.prototypes.end() ? rt.objectProto : it->second);
}

double NumberOf(MachineInterface& machine, const Value& target, std::string_view name) {
  return machine.ToNumber(machine.GetMember(target, name));
}

bool LooselyEqual(MachineInterface& machine, const Value& a, const Value& b) {
  using T = Value::Type;
  if (a.type == b.type) {
    switch (a.type) {
      case T::Undefined:
      case T::Null:
        return true;
      case T::Boolean:
        return a.boolean == b.boolean;
      case T::Number:
        return a.number == b.number;
      case T::String:
        return a.Text() == b.Text();
      case T::Object:
        return a.object == b.object;
    }
  }
  if (a.IsNullish() || b.IsNullish()) return a.IsNullish() && b.IsNullish();
  if (a.IsObject() || b.IsObject()) {
    const Value pa = a.IsObject() ? machine.ToPrimitive(a, false) : a;
    const Value pb = b.IsObject() ? machine.ToPrimitive(b, false) : b;
    if (pa.IsObject() || pb.IsObject()) return false;
    return LooselyEqual(machine, pa, pb);
  }
  return machine.ToNumber(a) == machine.ToNumber(b);
}

std::string MovieDomain(MachineInterface& machine) {
  const std::string url = machine.MovieUrl();
  const std::size_t scheme = url.find("://");
  if (scheme == std::string::npos || url.compare(0, scheme, "file") == 0) return "localhost";
  const std::string rest = url.substr(scheme + 3);
  std::string host = rest.substr(0, rest.find_first_of("/?#"));
  const std::size_t at = host.rfind('@');
  if (at != std::string::npos) host = host.substr(at + 1);
  const std::size_t colon = host.find(':');
  if (colon != std::string::npos) host.resize(colon);
  return host.empty() ? "localhost" : host;
}

std::string UrlEncode(std::string_view text) { return script::PercentEncode(text); }

static int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string UrlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

void DecodeVariables(MachineInterface& machine, Object* object, std::string_view query) {
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (pair.empty()) continue;
    const std::size_t eq = pair.find('=');
    const std::string name = UrlDecode(pair.substr(0, eq));
    const std::string value = eq == std::string_view::npos ? std::string() : UrlDecode(pair.substr(eq + 1));
    if (name.empty()) continue;
    machine.Set(object, name, machine.Str(value));
    if (machine.Throwing()) return;
  }
}

std::string EncodeVariables(MachineInterface& machine, Object* object) {
  std::string out;
  for (const std::string& name : machine.Enumerate(object)) {
    const Value value = machine.Get(object, name);
    if (machine.Throwing()) return {};
    const std::string text = machine.ToString(value);
    if (machine.Throwing()) return {};
    if (!out.empty()) out.push_back('&');
    out += UrlEncode(name);
    out.push_back('=');
    out += UrlEncode(text);
    if (machine.StringTooLong(out.size())) return {};
  }
  return out;
}

Value AddRequestHeader(Call& call) {
  MachineInterface& m = call.machine;
  if (!call.self) return Value();
  Object* headers = m.Get(call.self, "_customHeaders").AsObject();
  if (!headers) {
    headers = m.NewArray();
    call.self->Define("_customHeaders", Value::Obj(headers), kDontEnum);
  }
  ArrayData* list = headers->Array();
  if (!list) return Value();
  if (Object* pairs = call.Arg(0).AsObject(); pairs && pairs->Array()) {
    for (const Value& v : pairs->Array()->elements) list->elements.push_back(m.Str(m.ToString(v)));
  } else if (call.Count() >= 2) {
    list->elements.push_back(m.Str(m.ToString(call.Arg(0))));
    list->elements.push_back(m.Str(m.ToString(call.Arg(1))));
  }
  return Value();
}

}  // namespace vantrel::flash::avm1::data
