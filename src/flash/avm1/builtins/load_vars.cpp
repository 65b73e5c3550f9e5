// LoadVars: variables as form data. load/sendAndLoad go through the player's loader
// and hand the body to onData, whose default decodes it and calls onLoad.
#include <cctype>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"

namespace vantrel::flash::avm1 {

namespace {

Value Construct(Call& call) { return call.self ? Value::Obj(call.self) : Value(); }

void StartLoad(MachineInterface& m, Object* target, const std::string& url, const std::string& method,
               const std::string& body) {
  m.Set(target, "loaded", Value::Bool(false));
  target->Define("_bytesLoaded", Value::Number(0), kDontEnum | kDontDelete);
  m.LoadData(
      url, method, body,
      [target](MachineInterface& machine, bool ok, const std::string& text) {
        if (ok) {
          target->Define("_bytesLoaded", Value::Number(static_cast<double>(text.size())), kDontEnum | kDontDelete);
          target->Define("_bytesTotal", Value::Number(static_cast<double>(text.size())), kDontEnum | kDontDelete);
        }
        const Value arg = ok ? machine.Str(text) : Value();
        machine.CallMethod(Value::Obj(target), "onData", std::span<const Value>(&arg, 1));
      },
      target);
}

std::string MethodOf(MachineInterface& m, const Value& v) {
  std::string method = m.ToString(v);
  for (char& c : method) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return method == "GET" ? "GET" : "POST";
}

Value Load(Call& call) {
  if (!call.self || call.Count() == 0) return Value::Bool(false);
  StartLoad(call.machine, call.self, call.machine.ToString(call.Arg(0)), "GET", std::string());
  return Value::Bool(true);
}

Value Send(Call& call) {
  if (!call.self || call.Count() == 0) return Value::Bool(false);
  MachineInterface& m = call.machine;
  const std::string body = data::EncodeVariables(m, call.self);
  if (m.Throwing()) return Value();
  m.LoadData(m.ToString(call.Arg(0)), MethodOf(m, call.Arg(2)), body, [](MachineInterface&, bool, const std::string&) {},
             call.self);
  return Value::Bool(true);
}

Value SendAndLoad(Call& call) {
  MachineInterface& m = call.machine;
  Object* target = call.Arg(1).AsObject();
  if (!call.self || call.Count() < 2 || !target) return Value::Bool(false);
  const std::string body = data::EncodeVariables(m, call.self);
  if (m.Throwing()) return Value();
  StartLoad(m, target, m.ToString(call.Arg(0)), MethodOf(m, call.Arg(2)), body);
  return Value::Bool(true);
}

Value Decode(Call& call) {
  if (call.self) data::DecodeVariables(call.machine, call.self, call.machine.ToString(call.Arg(0)));
  return Value();
}

Value ToString(Call& call) {
  if (!call.self) return call.machine.Str("");
  const std::string text = data::EncodeVariables(call.machine, call.self);
  if (call.machine.Throwing()) return Value();
  return call.machine.Str(text);
}

Value OnData(Call& call) {
  MachineInterface& m = call.machine;
  if (!call.self) return Value();
  if (call.Arg(0).IsUndefined()) {
    const Value no = Value::Bool(false);
    m.CallMethod(Value::Obj(call.self), "onLoad", std::span<const Value>(&no, 1));
    return Value();
  }
  const Value text = call.Arg(0);
  m.CallMethod(Value::Obj(call.self), "decode", std::span<const Value>(&text, 1));
  m.Set(call.self, "loaded", Value::Bool(true));
  const Value yes = Value::Bool(true);
  m.CallMethod(Value::Obj(call.self), "onLoad", std::span<const Value>(&yes, 1));
  return Value();
}

Value Nothing(Call&) { return Value(); }

Value GetBytesLoaded(Call& call) { return call.self ? call.machine.Get(call.self, "_bytesLoaded") : Value(); }
Value GetBytesTotal(Call& call) { return call.self ? call.machine.Get(call.self, "_bytesTotal") : Value(); }

}  // namespace

void InstallLoadVars(Runtime& rt) {
  Object* loadVars = rt.MakeClass(Construct, Construct);
  data::RegisterClass(rt, rt.global, "LoadVars", loadVars);
  Object* proto = data::PrototypeOf(loadVars);
  static const Member members[] = {
      {"load", Load},
      {"send", Send},
      {"sendAndLoad", SendAndLoad},
      {"decode", Decode},
      {"toString", ToString},
      {"onData", OnData},
      {"onLoad", Nothing},
      {"getBytesLoaded", GetBytesLoaded},
      {"getBytesTotal", GetBytesTotal},
      {"addRequestHeader", data::AddRequestHeader},
  };
  rt.AddMembers(proto, members);
  proto->Define("contentType", Value::Str(rt.Str("application/x-www-form-urlencoded")), kDontEnum);
}

}  // namespace vantrel::flash::avm1
