// XMLSocket: a connection to a server that exchanges zero-terminated messages. The
// connection is opened through the program's socket hook (refused where there is
// none); from the frame loop, once a frame, the object hears onConnect with the
// outcome, onData for every complete message that arrived (the default onData parses
// it and hands the document to onXML) and onClose when the server ended the
// connection. A movie's own close() is not announced.
#include <memory>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/display/socket_hook.h"

namespace vantrel::flash::avm1 {

namespace {

constexpr double kDefaultTimeoutMs = 20000;

class SocketData final : public NativeData {
 public:
  std::unique_ptr<SocketConnection> connection;
  bool announced = false;  // onConnect has been called for this connection
  std::string pending;     // bytes of a message whose terminator has not arrived
  double timeoutMs = kDefaultTimeoutMs;
};

SocketData* SocketOf(Object* self) { return self ? self->Data<SocketData>() : nullptr; }

// The player defines this class in script: its constructor sets up `this` and returns
// nothing (super() of a subclass answers undefined).
Value Construct(Call& call) {
  if (!call.self) return {};
  call.self->kind = NativeKind::Other;
  call.self->native = std::make_unique<SocketData>();
  return {};
}

void CallHandler(MachineInterface& machine, Object* self, const char* name, std::span<const Value> args = {}) {
  machine.CallMethod(Value::Obj(self), name, args);
}

// One frame's look at the connection; schedules the next while it stays open.
void Poll(MachineInterface& machine, Object* self, SocketConnection* expected) {
  SocketData* data = SocketOf(self);
  if (!data || data->connection.get() != expected) return;  // closed or replaced meanwhile
  std::string received;
  const SocketConnection::State state = data->connection->Poll(received);
  if (state == SocketConnection::State::Connecting) {
    machine.RunLater([expected, self](MachineInterface& m) { Poll(m, self, expected); }, self);
    return;
  }
  if (!data->announced) {
    data->announced = true;
    const bool open = state == SocketConnection::State::Open ||
                      (state == SocketConnection::State::Closed && !received.empty());
    if (!open) {
      data->connection.reset();
      const Value status = Value::Bool(false);
      CallHandler(machine, self, "onConnect", std::span<const Value>(&status, 1));
      return;
    }
    const Value status = Value::Bool(true);
    CallHandler(machine, self, "onConnect", std::span<const Value>(&status, 1));
    if (SocketOf(self) != data || data->connection.get() != expected) return;
  }
  data->pending += received;
  std::size_t end;
  while ((end = data->pending.find('\0')) != std::string::npos) {
    const Value message = machine.Str(data->pending.substr(0, end));
    data->pending.erase(0, end + 1);
    CallHandler(machine, self, "onData", std::span<const Value>(&message, 1));
    // A handler that closed or reconnected the socket ends this connection's messages.
    if (SocketOf(self) != data || data->connection.get() != expected) return;
  }
  if (state != SocketConnection::State::Open) {
    data->connection.reset();
    data->pending.clear();
    CallHandler(machine, self, "onClose");
    return;
  }
  machine.RunLater([expected, self](MachineInterface& m) { Poll(m, self, expected); }, self);
}

// connect(host, port): host null or undefined means the movie's own host. True when
// the connection is being opened; the outcome arrives through onConnect.
Value Connect(Call& call) {
  SocketData* data = SocketOf(call.self);
  if (!data) return Value::Bool(false);
  MachineInterface& m = call.machine;
  const std::string host = call.Arg(0).IsNullish() ? data::MovieDomain(m) : m.ToString(call.Arg(0));
  const double port = m.ToNumber(call.Arg(1));
  if (data->connection) data->connection->Close();
  data->connection.reset();
  data->pending.clear();
  data->announced = false;
  if (!SocketOpener() || !(port >= 0 && port <= 65535)) return Value::Bool(false);
  data->connection = SocketOpener()(host, static_cast<int>(port));
  if (!data->connection) return Value::Bool(false);
  SocketConnection* connection = data->connection.get();
  Object* self = call.self;
  m.RunLater([connection, self](MachineInterface& machine) { Poll(machine, self, connection); }, self);
  return Value::Bool(true);
}

// send(data): the text of data (an XML object gives its XML text) and a zero byte.
Value Send(Call& call) {
  SocketData* data = SocketOf(call.self);
  if (!data || !data->connection || !data->announced) return {};
  std::string bytes = call.machine.ToString(call.Arg(0));
  bytes.push_back('\0');
  data->connection->Send(bytes);
  return {};
}

Value Close(Call& call) {
  SocketData* data = SocketOf(call.self);
  if (!data || !data->connection) return {};
  data->connection->Close();
  data->connection.reset();
  data->pending.clear();
  return {};
}

// The default onData: the message as a new XML document, to onXML.
Value OnData(Call& call) {
  if (!call.self) return {};
  Object* document = data::ParseXmlDocument(call.machine, call.machine.ToString(call.Arg(0)));
  const Value arg = document ? Value::Obj(document) : Value();
  CallHandler(call.machine, call.self, "onXML", std::span<const Value>(&arg, 1));
  return {};
}

Value GetTimeout(Call& call) {
  SocketData* data = SocketOf(call.self);
  return data ? Value::Number(data->timeoutMs) : Value();
}

Value SetTimeout(Call& call) {
  SocketData* data = SocketOf(call.self);
  if (data && call.Count() > 0) data->timeoutMs = call.machine.ToNumber(call.Arg(0));
  return {};
}

}  // namespace

void InstallXmlSocket(Runtime& rt) {
  Object* socket = rt.MakeClass(Construct, nullptr);
  static const Member kSocket[] = {
      {"connect", Connect, nullptr, kDontEnum},
      {"send", Send, nullptr, kDontEnum},
      {"close", Close, nullptr, kDontEnum},
      {"onData", OnData, nullptr, kDontEnum},
      {"getTimeout", GetTimeout, nullptr, kDontEnum},
      {"setTimeout", SetTimeout, nullptr, kDontEnum},
  };
  rt.AddMembers(data::PrototypeOf(socket), kSocket);
  data::RegisterClass(rt, rt.global, "XMLSocket", socket);
}

}  // namespace vantrel::flash::avm1
