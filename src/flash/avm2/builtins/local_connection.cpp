// flash.net.LocalConnection between the movies of this player's ActionScript 3 machine.
// connect() takes a name ("localhost:" and the name, or a name starting with "_" as it
// is; names compare without case); send() checks its arguments at once and delivers from
// the frame loop, after the frame's scripts: the sender hears "status" when a connection
// of that name held it when it was sent and still does, "error" otherwise; then the
// receiver's client gets the call with copies of the arguments (through AMF, as between
// two players), or the receiver hears asyncError when the client has no such method.
#include <algorithm>
#include <cctype>

#include "flash/avm2/builtins/support.h"
#include "flash/display/player.h"

namespace vantrel::flash::avm2 {

namespace {

enum Field { kName, kClient, kPerUser };

std::uint32_t firstSlot = 0;

Value& FieldOf(Machine& m, const Value& self, Field f) {
  if (!self.IsObject() || !m.IsInstance(self, m.FindClass("flash.net.LocalConnection")))
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.net.LocalConnection.");
  return self.object->slotValues[firstSlot + f];
}

// The movie's domain: the host of its web address, "localhost" for a file.
std::string Domain(Machine& m) {
  std::string url = m.player ? m.player->RootMovie()->url : std::string();
  const std::size_t scheme = url.find("://");
  if (scheme == std::string::npos || url.compare(0, scheme, "file") == 0) return "localhost";
  std::string host = url.substr(scheme + 3);
  host = host.substr(0, host.find_first_of("/?#"));
  host = host.substr(host.find('@') == std::string::npos ? 0 : host.find('@') + 1);
  return host.substr(0, host.find(':'));
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// What a name sent to stands for: a shared name (with "_") as it is, a name with a domain
// as it is, any other in the movie's domain.
std::string FullName(Machine& m, const std::string& name) {
  if (name[0] == '_' || name.find(':') != std::string::npos) return Lower(name);
  return Lower(Domain(m) + ":" + name);
}

// A name argument: null and empty names are errors.
std::string NameArg(Machine& m, const Value* args, int argc, int index, const char* parameter) {
  const Value v = Arg(args, argc, index);
  if (v.IsNullish()) m.ThrowTypeError(2007, std::string("Parameter ") + parameter + " must be non-null.");
  const std::string name = m.ToString(v);
  if (name.empty()) m.ThrowError("ArgumentError", 2085, std::string("Parameter ") + parameter + " must be non-empty string.");
  return name;
}

Value Construct(Machine& m, const Value& self, const Value*, int) {
  FieldOf(m, self, kName) = Value::Null();
  FieldOf(m, self, kClient) = self;
  FieldOf(m, self, kPerUser) = Value::Bool(false);
  return Value();
}

Value Connect(Machine& m, const Value& self, const Value* args, int argc) {
  const std::string name = NameArg(m, args, argc, 0, "connectionName");
  if (name.find(':') != std::string::npos) m.ThrowError("ArgumentError", 2004, "One of the parameters is invalid.");
  Value& connected = FieldOf(m, self, kName);
  const std::string full = FullName(m, name);
  if (!connected.IsNull() || m.localConnections.count(full))
    m.ThrowError("ArgumentError", 2082, "Connect failed because the object is already connected.");
  m.localConnections[full] = self.object;
  connected = m.StrValue(full);
  return Value();
}

Value Close(Machine& m, const Value& self, const Value*, int) {
  Value& connected = FieldOf(m, self, kName);
  if (connected.IsNull()) m.ThrowError("ArgumentError", 2083, "Close failed because the object is not connected.");
  m.localConnections.erase(m.ToString(connected));
  connected = Value::Null();
  return Value();
}

void DispatchNew(Machine& m, const Value& target, const char* cls, std::vector<Value> args) {
  ClassObject* eventClass = m.FindClass(cls);
  if (!eventClass) return;
  const Value event = m.Construct(Value::Obj(eventClass), args.data(), static_cast<int>(args.size()));
  m.CallPublic(target, "dispatchEvent", {event});
}

// A copy of a value as another player would receive it.
Value Copied(Machine& m, const Value& value) {
  ClassObject* bytesClass = m.FindClass("flash.utils.ByteArray");
  if (!bytesClass) return value;
  const Value bytes = m.Construct(Value::Obj(bytesClass), nullptr, 0);
  m.CallPublic(bytes, "writeObject", {value});
  m.SetPublic(bytes, "position", Value::Number(0));
  return m.CallPublic(bytes, "readObject");
}

// One message: (sender, full name, method, held when sent, arguments).
void Deliver(Machine& m, const Value* args) {
  const Value sender = args[0];
  const std::string full = m.ToString(args[1]);
  const auto it = m.localConnections.find(full);
  const bool reached = m.ToBoolean(args[3]) && it != m.localConnections.end();
  DispatchNew(m, sender, "flash.events.StatusEvent",
              {m.StrValue("status"), Value::Bool(false), Value::Bool(false), Value::Null(), m.StrValue(reached ? "status" : "error")});
  if (!reached) return;
  const Value receiver = Value::Obj(m.localConnections.at(full));
  const Value client = FieldOf(m, receiver, kClient);
  const std::string method = m.ToString(args[2]);
  const Value function = m.GetPublic(client, method);
  if (!function.IsObject() || function.object->kind != ObjectKind::Function) {
    ClassObject* errorClass = m.FindClass("ReferenceError");
    const Value text = m.StrValue("Error #1069: Property " + method + " not found on " + m.ClassNameForError(client) +
                                  " and there is no default value.");
    const Value idArgs[2] = {text, Value::Number(1069)};
    const Value error = errorClass ? m.Construct(Value::Obj(errorClass), idArgs, 2) : Value::Null();
    DispatchNew(m, receiver, "flash.events.AsyncErrorEvent",
                {m.StrValue("asyncError"), Value::Bool(false), Value::Bool(false), m.StrValue(""), error});
    return;
  }
  const Value copies = Copied(m, args[4]);
  std::vector<Value> callArgs;
  if (copies.IsObject() && copies.object->kind == ObjectKind::Array)
    callArgs = static_cast<ArrayObject*>(copies.object)->elements;
  m.Call(function, client, callArgs.data(), static_cast<int>(callArgs.size()));
}

Value Send(Machine& m, const Value& self, const Value* args, int argc) {
  FieldOf(m, self, kName);  // only a LocalConnection sends
  const std::string name = NameArg(m, args, argc, 0, "connectionName");
  const std::string method = NameArg(m, args, argc, 1, "methodName");
  static const char* const kReserved[] = {"send", "connect", "close", "allowDomain", "allowInsecureDomain", "domain"};
  if (std::find(std::begin(kReserved), std::end(kReserved), method) != std::end(kReserved))
    m.ThrowError("ArgumentError", 2004, "One of the parameters is invalid.");
  const std::string full = FullName(m, name);
  // A frame's messages are bounded: a script sending in a loop is not kept past them.
  constexpr std::size_t kMostMessages = 4096;
  if (m.localMessages.size() >= kMostMessages) return Value();
  std::vector<Value> rest(args + std::min(argc, 2), args + argc);
  m.localMessages.push_back({self, m.StrValue(full), m.StrValue(method), Value::Bool(m.localConnections.count(full) > 0),
                             Value::Obj(m.NewArray(std::move(rest)))});
  return Value();
}

Value GetClient(Machine& m, const Value& self, const Value*, int) { return FieldOf(m, self, kClient); }
Value SetClient(Machine& m, const Value& self, const Value* args, int argc) {
  const Value v = Arg(args, argc, 0);
  if (v.IsNullish()) m.ThrowTypeError(2007, "Parameter client must be non-null.");
  FieldOf(m, self, kClient) = v;
  return Value();
}
Value GetPerUser(Machine& m, const Value& self, const Value*, int) { return FieldOf(m, self, kPerUser); }
Value SetPerUser(Machine& m, const Value& self, const Value* args, int argc) {
  FieldOf(m, self, kPerUser) = Value::Bool(m.ToBoolean(Arg(args, argc, 0)));
  return Value();
}
Value GetDomain(Machine& m, const Value& self, const Value*, int) {
  FieldOf(m, self, kName);
  return m.StrValue(Domain(m));
}
// allowDomain/allowInsecureDomain: every movie of this player may already send to every
// other.
Value Allow(Machine&, const Value&, const Value*, int) { return Value(); }
Value IsSupported(Machine&, const Value&, const Value*, int) { return Value::Bool(true); }

}  // namespace

void DeliverLocalMessages(Machine& m) {
  std::vector<std::vector<Value>> messages;
  messages.swap(m.localMessages);
  for (const std::vector<Value>& message : messages) m.Guard([&] { Deliver(m, message.data()); });
}

void InstallLocalConnection(Machine& m) {
  ClassObject* dispatcher = m.FindClass("flash.events.EventDispatcher");
  if (!dispatcher) return;
  ClassObject* cls = m.DefineClass("flash.net", "LocalConnection", dispatcher, Construct);
  firstSlot = AddHiddenSlots(m, cls, {"connectionName", "client", "isPerUser"}, 0x10CA1);
  static const Member kMembers[] = {
      {"connect", Connect, nullptr, 0, 0},
      {"close", Close, nullptr, 0, 0},
      {"send", Send, nullptr, 0, 0},
      {"client", GetClient, SetClient, kAccessor, 0},
      {"isPerUser", GetPerUser, SetPerUser, kAccessor, 0},
      {"domain", GetDomain, nullptr, kAccessor, 0},
      {"allowDomain", Allow, nullptr, 0, 0},
      {"allowInsecureDomain", Allow, nullptr, 0, 0},
      {"isSupported", IsSupported, nullptr, kAccessor | kStatic, 0},
  };
  Install(m, cls, kMembers);
}

}  // namespace vantrel::flash::avm2
