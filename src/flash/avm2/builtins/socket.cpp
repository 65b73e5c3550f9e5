// flash.net.Socket and XMLSocket: connections the program around the engine opens for
// the movie (the socket hook; none: every connect fails). The frame loop polls them:
// connect, then the data as it arrives (socketData with the bytes, or one data event per
// zero-terminated message), close when the peer closes, ioError when no connection came.
// A Socket reads and writes as a ByteArray does: it keeps one for what arrived and one
// for what waits for flush, and its read and write methods are theirs.
#include <algorithm>

#include "flash/avm2/builtins/amf.h"
#include "flash/avm2/builtins/media.h"
#include "flash/avm2/builtins/support.h"
#include "flash/display/socket_hook.h"

namespace vantrel::flash::avm2 {

namespace {

constexpr double kDefaultTimeout = 20000;
constexpr double kShortestTimeout = 250;

class SocketObject final : public MediaObject {
 public:
  bool xml = false;  // an XMLSocket: zero-terminated text messages
  std::unique_ptr<SocketConnection> connection;
  bool connected = false;
  bool refused = false;  // connect found no way out: ioError at the next poll
  std::string host;
  int port = 0;
  double timeout = kDefaultTimeout;
  NativeObject* input = nullptr;   // a ByteArray of what arrived, read from its position
  NativeObject* output = nullptr;  // a ByteArray of what waits for flush
  std::string pending;             // an XMLSocket's message so far

  bool Tick(Machine& m) override;
  void Trace(gc::Tracer& tracer) const override {
    MediaObject::Trace(tracer);
    tracer.Mark(input);
    tracer.Mark(output);
  }
  void Drop() {
    if (connection) connection->Close();
    connection.reset();
    connected = false;
    pending.clear();
  }
};

SocketObject* This(Machine& m, const Value& self) {
  auto* o = self.IsObject() && self.object->kind == ObjectKind::Display ? dynamic_cast<SocketObject*>(self.object) : nullptr;
  if (!o) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.net.Socket.");
  return o;
}

[[noreturn]] void InvalidSocket(Machine& m) {
  m.ThrowError("flash.errors.IOError", 2002, "Operation attempted on invalid socket.");
}

SocketObject* Open(Machine& m, const Value& self) {
  SocketObject* s = This(m, self);
  if (!s->connected) InvalidSocket(m);
  return s;
}

NativeObject* NewByteArray(Machine& m) {
  return static_cast<NativeObject*>(m.ConstructClass(m.FindClass("flash.utils.ByteArray"), nullptr, 0));
}

void Connect(Machine& m, SocketObject* s, const Value& hostValue, const Value& portValue) {
  s->Drop();
  s->refused = false;
  s->host = hostValue.IsNullish() ? std::string("localhost") : m.ToString(hostValue);
  const double port = m.ToNumber(portValue);
  s->port = port >= 0 && port <= 65535 ? static_cast<int>(port) : -1;
  if (s->port >= 0 && SocketOpener()) s->connection = SocketOpener()(s->host, s->port);
  if (!s->connection) s->refused = true;
  KeepTicking(m, s);
}

Object* Allocate(Machine& m, ClassObject*) { return m.heap.Make<SocketObject>(); }

Value Construct(Machine& m, const Value& self, const Value* args, int argc) {
  SocketObject* s = This(m, self);
  s->input = NewByteArray(m);
  s->output = NewByteArray(m);
  if (argc > 0 && !args[0].IsNullish()) Connect(m, s, args[0], Arg(args, argc, 1));
  return Value();
}

Value XmlConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  This(m, self)->xml = true;
  return Construct(m, self, args, argc);
}

bool SocketObject::Tick(Machine& m) {
  if (refused) {
    refused = false;
    const std::string text = "Error #2031: Socket Error. URL: " + host;
    DispatchNew(m, this, "flash.events.IOErrorEvent",
                {m.StrValue("ioError"), Value::Bool(false), Value::Bool(false), m.StrValue(text), Value::Number(2031)});
    return false;
  }
  if (!connection) return false;
  SocketConnection* const current = connection.get();
  std::string received;
  const SocketConnection::State state = current->Poll(received);
  if (state == SocketConnection::State::Connecting) return true;
  // Handlers may close or reconnect the socket: this poll's news end there.
  const auto same = [&] { return connection.get() == current; };
  if (!connected) {
    if (state != SocketConnection::State::Open && received.empty()) {
      connection.reset();
      refused = true;
      return Tick(m);
    }
    connected = true;
    DispatchNew(m, this, "flash.events.Event", {m.StrValue("connect")});
    if (!same()) return connection != nullptr;
  }
  if (!received.empty() && xml) {
    pending += received;
    std::size_t end;
    while ((end = pending.find('\0')) != std::string::npos) {
      const Value message = m.StrValue(pending.substr(0, end));
      pending.erase(0, end + 1);
      DispatchNew(m, this, "flash.events.DataEvent", {m.StrValue("data"), Value::Bool(false), Value::Bool(false), message});
      if (!same()) return connection != nullptr;
    }
  } else if (!received.empty()) {
    // What was read already goes; the rest stays readable after the new bytes' arrival.
    std::string& bytes = input->text;
    const auto position = static_cast<std::size_t>(input->a.IsNumber() && input->a.number > 0 ? input->a.number : 0);
    bytes.erase(0, std::min(position, bytes.size()));
    input->a = Value::Number(0);
    bytes += received;
    DispatchNew(m, this, "flash.events.ProgressEvent",
                {m.StrValue("socketData"), Value::Bool(false), Value::Bool(false),
                 Value::Number(static_cast<double>(received.size())), Value::Number(0)});
    if (!same()) return connection != nullptr;
  }
  if (state == SocketConnection::State::Open) return true;
  connection.reset();
  connected = false;
  DispatchNew(m, this, "flash.events.Event", {m.StrValue("close")});
  return connection != nullptr;
}

Value ConnectMethod(Machine& m, const Value& self, const Value* args, int argc) {
  Connect(m, This(m, self), Arg(args, argc, 0), Arg(args, argc, 1));
  return Value();
}

Value Close(Machine& m, const Value& self, const Value*, int) {
  SocketObject* s = This(m, self);
  if (!s->connection) InvalidSocket(m);
  s->Drop();
  return Value();
}

Value Flush(Machine& m, const Value& self, const Value*, int) {
  SocketObject* s = Open(m, self);
  if (!s->output->text.empty()) s->connection->Send(s->output->text);
  s->output->text.clear();
  s->output->a = Value::Number(0);
  return Value();
}

Value Connected(Machine& m, const Value& self, const Value*, int) { return Value::Bool(This(m, self)->connected); }

Value BytesAvailable(Machine& m, const Value& self, const Value*, int) {
  return m.GetPublic(Value::Obj(This(m, self)->input), "bytesAvailable");
}
Value BytesPending(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(static_cast<double>(This(m, self)->output->text.size()));
}

Value GetTimeout(Machine& m, const Value& self, const Value*, int) { return Value::Number(This(m, self)->timeout); }
Value SetTimeout(Machine& m, const Value& self, const Value* args, int argc) {
  This(m, self)->timeout = std::max(kShortestTimeout, static_cast<double>(m.ToUint32(Arg(args, argc, 0))));
  return Value();
}

// endian and objectEncoding are the two byte arrays' alike.
Value GetSetting(Machine& m, const Value& self, const Value*, int) {
  return m.GetPublic(Value::Obj(This(m, self)->input), NativeTag(m) ? "objectEncoding" : "endian");
}
Value SetSetting(Machine& m, const Value& self, const Value* args, int argc) {
  SocketObject* s = This(m, self);
  const char* name = NativeTag(m) ? "objectEncoding" : "endian";
  m.SetPublic(Value::Obj(s->input), name, Arg(args, argc, 0));
  m.SetPublic(Value::Obj(s->output), name, Arg(args, argc, 0));
  return Value();
}

// The read and write methods, by their tag in this table.
constexpr const char* kDataMethods[] = {
    "readBoolean", "readByte", "readBytes", "readDouble", "readFloat", "readInt", "readMultiByte",
    "readObject", "readShort", "readUnsignedByte", "readUnsignedInt", "readUnsignedShort", "readUTF",
    "readUTFBytes", "writeBoolean", "writeByte", "writeBytes", "writeDouble", "writeFloat", "writeInt",
    "writeMultiByte", "writeObject", "writeShort", "writeUnsignedInt", "writeUTF", "writeUTFBytes",
};

Value DataMethod(Machine& m, const Value& self, const Value* args, int argc) {
  SocketObject* s = Open(m, self);
  const std::string name = kDataMethods[NativeTag(m)];
  NativeObject* bytes = name.rfind("read", 0) == 0 ? s->input : s->output;
  return m.CallPublic(Value::Obj(bytes), name, std::vector<Value>(args, args + argc));
}

// send(data): data's text (an XML object's markup, even of simple content) and a zero byte.
Value Send(Machine& m, const Value& self, const Value* args, int argc) {
  SocketObject* s = Open(m, self);
  const Value data = Arg(args, argc, 0);
  std::string bytes = IsXmlKind(data.AsObject()) ? m.ToString(m.CallPublic(data, "toXMLString")) : m.ToString(data);
  bytes.push_back('\0');
  s->connection->Send(bytes);
  return Value();
}

}  // namespace

void InstallSockets(Machine& m) {
  ClassObject* dispatcher = m.FindClass("flash.events.EventDispatcher");
  if (!dispatcher) return;
  ClassObject* socket = m.DefineClass("flash.net", "Socket", dispatcher, Construct);
  socket->allocate = Allocate;
  static const Member kSocketMembers[] = {
      {"connect", ConnectMethod, nullptr, 0, 0, 2},
      {"close", Close, nullptr, 0, 0},
      {"flush", Flush, nullptr, 0, 0},
      {"connected", Connected, nullptr, kAccessor, 0},
      {"bytesAvailable", BytesAvailable, nullptr, kAccessor, 0},
      {"bytesPending", BytesPending, nullptr, kAccessor, 0},
      {"timeout", GetTimeout, SetTimeout, kAccessor, 0},
      {"endian", GetSetting, SetSetting, kAccessor, 0},
      {"objectEncoding", GetSetting, SetSetting, kAccessor, 1},
  };
  Install(m, socket, kSocketMembers);
  for (std::size_t i = 0; i < std::size(kDataMethods); ++i)
    m.AddTraitMethod(socket, kDataMethods[i], DataMethod, false, static_cast<int>(i));

  ClassObject* xmlSocket = m.DefineClass("flash.net", "XMLSocket", dispatcher, XmlConstruct);
  xmlSocket->allocate = Allocate;
  static const Member kXmlSocketMembers[] = {
      {"connect", ConnectMethod, nullptr, 0, 0, 2},
      {"close", Close, nullptr, 0, 0},
      {"send", Send, nullptr, 0, 0, 1},
      {"connected", Connected, nullptr, kAccessor, 0},
      {"timeout", GetTimeout, SetTimeout, kAccessor, 0},
  };
  Install(m, xmlSocket, kXmlSocketMembers);
}

}  // namespace vantrel::flash::avm2
