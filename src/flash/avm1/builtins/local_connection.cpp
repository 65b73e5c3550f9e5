// LocalConnection between the movies of this player: a registry of connection names
// (one per runtime, which every movie of the player shares). A message is delivered
// after the running code, from the frame loop: the sender hears onStatus first, then
// the receiver's method runs with arguments that went through AMF0 as between two
// players (dates and XML survive, functions become plain objects, clips undefined).
#include <algorithm>
#include <cctype>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"

namespace vantrel::flash::avm1 {

namespace {

// Connected objects by their full name, kept on the constructor (DontEnum) so that
// the collector sees them.
Object* Registry(MachineInterface& machine) {
  Object* ctor = data::ConstructorOf(machine.Rt(), "LocalConnection");
  if (!ctor) return nullptr;
  Property* p = ctor->FindOwn("_connections", true);
  if (p && p->value.IsObject()) return p->value.AsObject();
  Object* registry = machine.NewObject();
  ctor->Define("_connections", Value::Obj(registry), kDontEnum | kDontDelete);
  return registry;
}

// Names starting with '_' are shared by every domain; others belong to the domain.
// Names compare without case.
std::string FullName(MachineInterface& machine, std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (!name.empty() && name[0] == '_') return name;
  if (name.find(':') != std::string::npos) return name;
  return data::MovieDomain(machine) + ":" + name;
}

Object* Receiver(MachineInterface& machine, const std::string& fullName) {
  Object* registry = Registry(machine);
  const Property* p = registry ? registry->FindOwn(fullName, true) : nullptr;
  return p ? p->value.AsObject() : nullptr;
}

// The name this object is connected under ("" when it is not).
std::string ConnectedName(Object* self) {
  const Property* p = self ? self->FindOwn("_connectedName", true) : nullptr;
  return p && p->value.IsString() ? p->value.Text() : std::string();
}

Value Construct(Call& call) { return call.self ? Value::Obj(call.self) : Value(); }

Value Connect(Call& call) {
  MachineInterface& m = call.machine;
  if (!call.self || !call.Arg(0).IsString() || call.Arg(0).Text().empty()) return Value::Bool(false);
  if (!ConnectedName(call.self).empty()) return Value::Bool(false);
  const std::string name = call.Arg(0).Text();
  if (name.find(':') != std::string::npos) return Value::Bool(false);
  const std::string full = FullName(m, name);
  Object* registry = Registry(m);
  if (!registry || Receiver(m, full)) return Value::Bool(false);
  registry->Define(full, Value::Obj(call.self));
  call.self->Define("_connectedName", m.Str(full), kDontEnum);
  call.self->Define("_domain", m.Str(data::MovieDomain(m)), kDontEnum);
  return Value::Bool(true);
}

Value Close(Call& call) {
  MachineInterface& m = call.machine;
  const std::string name = ConnectedName(call.self);
  if (name.empty()) return Value();
  if (Object* registry = Registry(m); registry && Receiver(m, name) == call.self) registry->DeleteOwn(name, true);
  call.self->DeleteOwn("_connectedName", true);
  call.self->DeleteOwn("_domain", true);
  return Value();
}

bool ReservedMethod(std::string_view name) {
  for (const char* reserved : {"send", "connect", "close", "allowDomain", "allowInsecureDomain", "domain"}) {
    if (name == reserved) return true;
  }
  return false;
}

Value Send(Call& call) {
  MachineInterface& m = call.machine;
  if (!call.self || !call.Arg(0).IsString() || !call.Arg(1).IsString() || call.Arg(0).Text().empty())
    return Value::Bool(false);
  const std::string method = call.Arg(1).Text();
  if (method.empty() || ReservedMethod(method)) return Value::Bool(false);
  const std::string full = FullName(m, call.Arg(0).Text());
  const bool listening = Receiver(m, full) != nullptr;

  data::AmfWriter writer(m);
  for (std::size_t i = 2; i < call.Count(); ++i) writer.WriteValue(call.Arg(i));
  if (m.Throwing()) return Value();
  const std::string payload = writer.Bytes();
  const std::size_t count = call.Count() > 2 ? call.Count() - 2 : 0;
  Object* sender = call.self;
  const std::string senderDomain = data::MovieDomain(m);

  m.RunLater(
      [sender, full, method, payload, count, listening, senderDomain](MachineInterface& machine) {
        Object* receiver = listening ? Receiver(machine, full) : nullptr;
        // A receiver of another domain decides through its allowDomain whether it
        // takes messages from this one.
        if (receiver) {
          const Property* own = receiver->FindOwn("_domain", true);
          const std::string receiverDomain = own && own->value.IsString() ? own->value.Text() : senderDomain;
          const Value allow = machine.Get(receiver, "allowDomain");
          if (receiverDomain != senderDomain && allow.IsObject() && allow.AsObject()->IsFunction()) {
            const Value domain = machine.Str(senderDomain);
            if (!machine.ToBoolean(machine.CallFunction(allow, Value::Obj(receiver), std::span<const Value>(&domain, 1))))
              receiver = nullptr;
          }
        }
        Object* status = machine.NewObject();
        machine.Set(status, "level", machine.Str(receiver ? "status" : "error"));
        const Value statusValue = Value::Obj(status);
        machine.CallMethod(Value::Obj(sender), "onStatus", std::span<const Value>(&statusValue, 1));
        if (!receiver) return;
        data::AmfReader reader(machine, payload);
        std::vector<Value> args;
        for (std::size_t i = 0; i < count; ++i) {
          const auto v = reader.ReadValue();
          args.push_back(v ? *v : Value());
        }
        machine.CallMethod(Value::Obj(receiver), method, args);
      },
      sender);
  return Value::Bool(true);
}

Value DomainMethod(Call& call) { return call.machine.Str(data::MovieDomain(call.machine)); }

}  // namespace

void InstallLocalConnection(Runtime& rt) {
  Object* localConnection = rt.MakeClass(Construct, Construct);
  data::RegisterClass(rt, rt.global, "LocalConnection", localConnection);
  static const Member members[] = {
      {"connect", Connect, nullptr, kDontEnum | kDontDelete},
      {"send", Send, nullptr, kDontEnum | kDontDelete},
      {"close", Close, nullptr, kDontEnum | kDontDelete},
      {"domain", DomainMethod, nullptr, kDontEnum | kDontDelete},
  };
  rt.AddMembers(data::PrototypeOf(localConnection), members);
}

}  // namespace vantrel::flash::avm1
