// flash.net NetConnection and NetStream, and flash.events NetStatusEvent: Flash videos
// played from files beside the movie (or by web address while they download) through
// NetConnection.connect(null). The stream's clock moves with the movie's frames, its
// sound plays on the movie's mixer, its picture is shared with the Video objects that
// show it; status events, metadata and cue points reach the script between frames.
#include <cmath>
#include <cstring>

#include "flash/audio/sound_events.h"
#include "flash/avm2/builtins/media.h"
#include "flash/avm2/builtins/support.h"
#include "flash/display/player.h"
#include "flash/video/flv_playback.h"
#include "flash/video/stream_video.h"

namespace vantrel::flash::avm2 {

namespace {

// ---- NetStatusEvent: its info object lives in the event's spare field ----

NativeObject* StatusEventArg(Machine& m, const Value& self) {
  return Receiver<NativeObject>(m, self, ObjectKind::Event, "NetStatusEvent");
}

Value StatusEventConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* e = StatusEventArg(m, self);
  InitEvent(m, e, StrArg(m, args, argc, 0), m.ToBoolean(Arg(args, argc, 1)), m.ToBoolean(Arg(args, argc, 2)));
  e->c = argc > 3 && !args[3].IsUndefined() ? args[3] : Value::Null();
  return Value();
}

Value StatusEventInfo(Machine& m, const Value& self, const Value*, int) { return StatusEventArg(m, self)->c; }
Value StatusEventSetInfo(Machine& m, const Value& self, const Value* args, int argc) {
  StatusEventArg(m, self)->c = Arg(args, argc, 0);
  return Value();
}

Value StatusEventClone(Machine& m, const Value& self, const Value*, int) {
  NativeObject* e = StatusEventArg(m, self);
  const Value args[4] = {m.GetPublic(self, "type"), m.GetPublic(self, "bubbles"), m.GetPublic(self, "cancelable"), e->c};
  return m.Construct(Value::Obj(e->cls), args, 4);
}

Value StatusEventToString(Machine& m, const Value& self, const Value*, int) {
  NativeObject* e = StatusEventArg(m, self);
  return m.CallPublic(self, "formatToString",
                      {m.StrValue(e->cls ? e->cls->name : "NetStatusEvent"), m.StrValue("type"), m.StrValue("bubbles"),
                       m.StrValue("cancelable"), m.StrValue("eventPhase"), m.StrValue("info")});
}

// ---- NetFilterEvent: the header and data of a stream message, kept as a pair in the
// event's spare field ----

Value FilterEventConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* e = StatusEventArg(m, self);
  InitEvent(m, e, StrArg(m, args, argc, 0), m.ToBoolean(Arg(args, argc, 1)), m.ToBoolean(Arg(args, argc, 2)));
  const Value header = argc > 3 && !args[3].IsUndefined() ? args[3] : Value::Null();
  e->c = Value::Obj(m.NewArray({header, argc > 4 && !args[4].IsUndefined() ? args[4] : Value::Null()}));
  return Value();
}

Value& FilterField(Machine& m, const Value& self, std::size_t index) {
  NativeObject* e = StatusEventArg(m, self);
  if (!e->c.IsObject() || e->c.object->kind != ObjectKind::Array) e->c = Value::Obj(m.NewArray({Value::Null(), Value::Null()}));
  return static_cast<ArrayObject*>(e->c.object)->elements.at(index);
}

Value FilterEventClone(Machine& m, const Value& self, const Value*, int) {
  NativeObject* e = StatusEventArg(m, self);
  const Value args[5] = {m.GetPublic(self, "type"), m.GetPublic(self, "bubbles"), m.GetPublic(self, "cancelable"),
                         FilterField(m, self, 0), FilterField(m, self, 1)};
  return m.Construct(Value::Obj(e->cls), args, 5);
}

// The player names the class by its older name when it prints one.
Value FilterEventToString(Machine& m, const Value& self, const Value*, int) {
  return m.CallPublic(self, "formatToString",
                      {m.StrValue("NetTransformEvent"), m.StrValue("type"), m.StrValue("bubbles"), m.StrValue("cancelable"),
                       m.StrValue("eventPhase"), m.StrValue("header"), m.StrValue("data")});
}

// Tells target's listeners about a status: info holds code and level (and what more
// is given, in that order).
void SendStatus(Machine& m, Object* target, const std::vector<std::pair<const char*, std::string>>& fields) {
  Object* info = m.NewObject();
  for (const auto& [name, value] : fields) m.SetPublic(Value::Obj(info), name, m.StrValue(value));
  DispatchNew(m, target, "flash.events.NetStatusEvent",
              {m.StrValue("netStatus"), Value::Bool(false), Value::Bool(false), Value::Obj(info)});
}
void SendStatus(Machine& m, Object* target, const char* code, const char* level = "status") {
  SendStatus(m, target, {{"code", code}, {"level", level}});
}

// ---- NetConnection ----

class ConnectionObject final : public MediaObject {
 public:
  enum class State { Closed, Local, Remote } state = State::Closed;
  std::string uri;
  bool hasUri = false;
  Value client;  // null: the connection itself
  void Trace(gc::Tracer& tracer) const override {
    MediaObject::Trace(tracer);
    TraceValue(tracer, client);
  }
};

Object* AllocateConnection(Machine& m, ClassObject*) { return m.heap.Make<ConnectionObject>(); }

ConnectionObject* ConnectionArg(Machine& m, const Value& self) {
  auto* c = dynamic_cast<ConnectionObject*>(Receiver<NativeObject>(m, self, ObjectKind::Display, "NetConnection"));
  if (!c) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.net.NetConnection.");
  return c;
}

// Ends the connection: a local one reports that it closed; a remote one (never
// reached: servers are not offered) also reports the call that did not complete.
void CloseConnection(Machine& m, ConnectionObject* c) {
  const ConnectionObject::State was = c->state;
  c->state = ConnectionObject::State::Closed;
  c->hasUri = false;
  if (was == ConnectionObject::State::Closed) return;
  SendStatus(m, c, "NetConnection.Connect.Closed");
  if (was == ConnectionObject::State::Remote)
    SendStatus(m, c, {{"code", ""}, {"description", ""}, {"details", ""}, {"level", "status"}});
}

Value ConnectionConnect(Machine& m, const Value& self, const Value* args, int argc) {
  ConnectionObject* c = ConnectionArg(m, self);
  CloseConnection(m, c);
  const Value command = Arg(args, argc, 0);
  if (command.IsNullish()) {
    c->state = ConnectionObject::State::Local;
    c->uri = "null";
    c->hasUri = true;
    SendStatus(m, c, "NetConnection.Connect.Success");
    return Value();
  }
  // Only local playback is offered: an address is kept, but no server is reached.
  c->state = ConnectionObject::State::Remote;
  c->uri = m.ToString(command);
  c->hasUri = true;
  return Value();
}

Value ConnectionClose(Machine& m, const Value& self, const Value*, int) {
  CloseConnection(m, ConnectionArg(m, self));
  return Value();
}

ConnectionObject* Connected(Machine& m, const Value& self) {
  ConnectionObject* c = ConnectionArg(m, self);
  if (c->state != ConnectionObject::State::Local) m.ThrowError("ArgumentError", 2126, "NetConnection object must be connected.");
  return c;
}

// The client receives the calls a stream or connection hears; any object will do.
Value ClientOf(NativeObject* self, const Value& client) { return client.IsObject() ? client : Value::Obj(self); }
void SetClient(Machine& m, Value& client, const Value& value) {
  if (!value.IsObject()) m.ThrowTypeError(2004, "One of the parameters is invalid.");
  client = value;
}

Value ConnectionClient(Machine& m, const Value& self, const Value*, int) {
  ConnectionObject* c = ConnectionArg(m, self);
  return ClientOf(c, c->client);
}
Value SetConnectionClient(Machine& m, const Value& self, const Value* args, int argc) {
  SetClient(m, ConnectionArg(m, self)->client, Arg(args, argc, 0));
  return Value();
}
Value ConnectionConnected(Machine& m, const Value& self, const Value*, int) {
  return Value::Bool(ConnectionArg(m, self)->state == ConnectionObject::State::Local);
}
Value ConnectionUri(Machine& m, const Value& self, const Value*, int) {
  ConnectionObject* c = ConnectionArg(m, self);
  return c->hasUri ? m.StrValue(c->uri) : Value::Null();
}
Value ConnectionMaxPeerConnections(Machine& m, const Value& self, const Value*, int) {
  ConnectionArg(m, self);
  return Value::Number(8);
}
Value ConnectionObjectEncoding(Machine& m, const Value& self, const Value*, int) {
  ConnectionArg(m, self);
  return Value::Number(3);
}
Value ConnectionProxyType(Machine& m, const Value& self, const Value*, int) {
  ConnectionArg(m, self);
  return m.StrValue("none");
}
Value ConnectionConnectedProxyType(Machine& m, const Value& self, const Value*, int) {
  Connected(m, self);
  return m.StrValue("none");
}
Value ConnectionProtocol(Machine& m, const Value& self, const Value*, int) {
  Connected(m, self);
  return m.StrValue("rtmp");
}
Value ConnectionUsingTLS(Machine& m, const Value& self, const Value*, int) {
  Connected(m, self);
  return Value::Bool(false);
}
Value ConnectionFarID(Machine& m, const Value& self, const Value*, int) {
  Connected(m, self);
  return m.StrValue("");
}
Value ConnectionNearID(Machine& m, const Value& self, const Value*, int) {
  Connected(m, self);
  return m.StrValue("");
}
Value ConnectionFarNonce(Machine& m, const Value& self, const Value*, int) {
  Connected(m, self);
  return m.StrValue(std::string(64, '0'));
}
Value ConnectionNearNonce(Machine& m, const Value& self, const Value*, int) {
  Connected(m, self);
  return m.StrValue(std::string(64, '0'));
}
Value ConnectionUnconnectedPeerStreams(Machine& m, const Value& self, const Value*, int) {
  Connected(m, self);
  return Value::Obj(m.NewArray());
}

void InstallConnection(Machine& m, ClassObject* dispatcher) {
  ClassObject* cls = m.DefineClass("flash.net", "NetConnection", dispatcher, nullptr);
  cls->allocate = AllocateConnection;
  static const Member kConnectionMembers[] = {
      {"connect", ConnectionConnect, nullptr, 0, 0},
      {"close", ConnectionClose, nullptr, 0, 0},
      {"client", ConnectionClient, SetConnectionClient, kAccessor, 0},
      {"connected", ConnectionConnected, nullptr, kAccessor, 0},
      {"uri", ConnectionUri, nullptr, kAccessor, 0},
      {"maxPeerConnections", ConnectionMaxPeerConnections, nullptr, kAccessor, 0},
      {"objectEncoding", ConnectionObjectEncoding, nullptr, kAccessor, 0},
      {"proxyType", ConnectionProxyType, nullptr, kAccessor, 0},
  };
  Install(m, cls, kConnectionMembers);
  // What only a connection has.
  static const Member kConnectedMembers[] = {
      {"connectedProxyType", ConnectionConnectedProxyType, nullptr, kAccessor, 0},
      {"protocol", ConnectionProtocol, nullptr, kAccessor, 0},
      {"usingTLS", ConnectionUsingTLS, nullptr, kAccessor, 0},
      {"farID", ConnectionFarID, nullptr, kAccessor, 0},
      {"nearID", ConnectionNearID, nullptr, kAccessor, 0},
      {"farNonce", ConnectionFarNonce, nullptr, kAccessor, 0},
      {"nearNonce", ConnectionNearNonce, nullptr, kAccessor, 0},
      {"unconnectedPeerStreams", ConnectionUnconnectedPeerStreams, nullptr, kAccessor, 0},
  };
  Install(m, cls, kConnectedMembers);
}

// ---- AMF0, the values of a video's script tags ----

class Amf0 {
 public:
  Amf0(Machine& m, std::span<const std::uint8_t> bytes) : m_(m), bytes_(bytes) {}
  bool AtEnd() const { return pos_ >= bytes_.size() || failed_; }
  // The next value; undefined (and failed) when the bytes end early or hold an unknown marker.
  Value Read() {
    if (++depth_ > 64) return Fail();
    const Value v = ReadInner();
    --depth_;
    return v;
  }

 private:
  Value Fail() {
    failed_ = true;
    return Value();
  }
  bool Need(std::size_t n) { return !failed_ && bytes_.size() - pos_ >= n; }
  std::uint32_t Be(std::size_t n) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v = (v << 8) | bytes_[pos_++];
    return v;
  }
  bool Text(std::size_t lengthBytes, std::string& out) {
    if (!Need(lengthBytes)) return false;
    const std::size_t n = Be(lengthBytes);
    if (!Need(n)) return false;
    out.assign(reinterpret_cast<const char*>(bytes_.data() + pos_), n);
    pos_ += n;
    return true;
  }
  double Number() {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | bytes_[pos_++];
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
  }
  // Named members up to the end marker (an empty name, then 9).
  bool Members(Object* object) {
    for (;;) {
      std::string name;
      if (!Text(2, name)) return false;
      if (name.empty()) {
        if (!Need(1)) return false;
        if (bytes_[pos_] == 9) {
          ++pos_;
          return true;
        }
      }
      const Value v = Read();
      if (failed_) return false;
      m_.SetPublic(Value::Obj(object), name, v);
    }
  }
  Value ReadInner() {
    if (!Need(1)) return Fail();
    switch (bytes_[pos_++]) {
      case 0: return Need(8) ? Value::Number(Number()) : Fail();
      case 1: return Need(1) ? Value::Bool(bytes_[pos_++] != 0) : Fail();
      case 2:
      case 12: {
        std::string text;
        return Text(bytes_[pos_ - 1] == 2 ? 2 : 4, text) ? m_.StrValue(text) : Fail();
      }
      case 3: {
        Object* o = m_.NewObject();
        return Members(o) ? Value::Obj(o) : Fail();
      }
      case 5: return Value::Null();
      case 6: return Value();
      case 8: {
        if (!Need(4)) return Fail();
        pos_ += 4;  // the count is a hint only
        ArrayObject* a = m_.NewArray();
        return Members(a) ? Value::Obj(a) : Fail();
      }
      case 10: {
        if (!Need(4)) return Fail();
        const std::uint32_t n = Be(4);
        if (n > bytes_.size() - pos_) return Fail();
        std::vector<Value> elements;
        for (std::uint32_t i = 0; i < n && !failed_; ++i) elements.push_back(Read());
        return failed_ ? Value() : Value::Obj(m_.NewArray(std::move(elements)));
      }
      case 11: {
        if (!Need(10)) return Fail();
        const double ms = Number();
        pos_ += 2;  // time zone, unused
        ClassObject* date = m_.FindClass("Date");
        if (!date) return Value::Number(ms);
        const Value arg = Value::Number(ms);
        return m_.Construct(Value::Obj(date), &arg, 1);
      }
      default: return Fail();
    }
  }
  Machine& m_;
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
  int depth_ = 0;
  bool failed_ = false;
};

// ---- NetStream ----

class StreamObject final : public MediaObject {
 public:
  std::unique_ptr<video::FlvPlayback> playback;
  std::shared_ptr<video::StreamPicture> picture = std::make_shared<video::StreamPicture>();
  Value client;
  double bufferTime = 0.1;
  std::uint64_t playSerial = 0;  // which play() the transfer's callbacks belong to
  std::uint64_t load = 0;        // the player's number of the transfer still running
  std::size_t nextScript = 0;    // next script tag to hand to the client
  double bytesLoaded = 0, bytesTotal = 0;
  bool waiting = true;      // buffering: the playhead waits for data
  bool begun = false;       // the buffer was full once
  bool userPaused = false;  // pause() by the script
  bool stopped = false;     // the end was reported
  double lastTime = 0;      // the playhead as of the last frame, seconds
  bool Tick(Machine& m) override;
  void Trace(gc::Tracer& tracer) const override {
    MediaObject::Trace(tracer);
    TraceValue(tracer, client);
  }
};

Object* AllocateStream(Machine& m, ClassObject*) { return m.heap.Make<StreamObject>(); }

StreamObject* StreamArg(Machine& m, const Value& self) {
  auto* s = dynamic_cast<StreamObject*>(Receiver<NativeObject>(m, self, ObjectKind::Display, "NetStream"));
  if (!s) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.net.NetStream.");
  return s;
}

// Hands the script tags up to the playhead to the client: onMetaData(info),
// onCuePoint(info) or whatever name a tag carries. A client without that method is
// passed by.
void DeliverScripts(Machine& m, StreamObject* s, double milliseconds) {
  const std::uint64_t serial = s->playSerial;
  while (s->playback && s->playSerial == serial && s->nextScript < s->playback->Index().scripts.size() &&
         s->playback->Index().scripts[s->nextScript].time <= milliseconds) {
    const video::FlvTag& tag = s->playback->Index().scripts[s->nextScript++];
    Amf0 reader(m, s->playback->Bytes().subspan(tag.offset, tag.size));
    const Value name = reader.Read();
    if (!name.IsString()) continue;
    std::vector<Value> args;
    while (!reader.AtEnd()) {
      const Value v = reader.Read();
      if (reader.AtEnd() && v.IsUndefined()) break;
      args.push_back(v);
    }
    const Value client = ClientOf(s, s->client);
    const Value handler = m.GetPublic(client, m.ToString(name));
    if (IsCallable(handler)) m.Guard([&] { m.Call(handler, client, args.data(), static_cast<int>(args.size())); });
  }
}

bool BufferFilled(const StreamObject& s) {
  if (s.playback->Complete()) return true;
  return s.playback->LoadedMs() / 1000.0 - s.playback->Time() >= std::max(s.bufferTime, 0.1);
}

// While buffering: once enough has arrived, playing starts (or goes on) with
// Buffer.Full; the first time, the script tags at the start are handed out.
void CheckBuffer(Machine& m, StreamObject* s) {
  if (!s->playback || !s->waiting || !s->playback->Started() || !BufferFilled(*s)) return;
  const std::uint64_t serial = s->playSerial;
  s->waiting = false;
  if (!s->userPaused && !s->playback->Ended()) s->playback->Play();
  s->picture->image = s->playback->Picture();
  SendStatus(m, s, "NetStream.Buffer.Full");
  if (s->playSerial != serial || !s->playback || s->begun) return;
  s->begun = true;
  DeliverScripts(m, s, 0);
}

bool StreamObject::Tick(Machine& m) {
  if (!playback) return false;
  const std::uint64_t serial = playSerial;
  const auto same = [&] { return playback && playSerial == serial; };
  if (!begun) return true;  // the transfer's callbacks move it until the buffer fills
  if (waiting) CheckBuffer(m, this);
  if (!same()) return playback != nullptr;
  const double frameMs = m.player ? 1000.0 / m.player->GetMovie().FrameRate() : 1000.0 / 24;
  if (!waiting && playback->Playing()) playback->Advance(frameMs);
  picture->image = playback->Picture();
  lastTime = playback->Time();
  if (!waiting && playback->Starved()) {
    // The playhead caught up with the download: it waits for the buffer to fill.
    waiting = true;
    playback->Pause();
    SendStatus(m, this, "NetStream.Buffer.Empty");
    if (!same()) return playback != nullptr;
  }
  DeliverScripts(m, this, lastTime * 1000.0);
  if (!same()) return playback != nullptr;
  if (playback->Ended() && !stopped) {
    stopped = true;
    SendStatus(m, this, "NetStream.Buffer.Flush");
    if (same()) SendStatus(m, this, "NetStream.Play.Stop");
    if (same()) SendStatus(m, this, "NetStream.Buffer.Empty");
  }
  return playback != nullptr;
}

void CancelTransfer(Machine& m, StreamObject* s) {
  if (s->load && m.player) m.player->CancelLoad(s->load);
  s->load = 0;
}

Value StreamConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  StreamArg(m, self);
  const Value connection = Arg(args, argc, 0);
  if (connection.IsNullish()) m.ThrowTypeError(2007, "Parameter connection must be non-null.");
  ConnectionArg(m, connection);
  return Value();
}

// The video is read piece by piece (a web address plays while it downloads; a local
// file arrives whole): Play.Start once its header is there, Buffer.Full when the
// buffer time is covered, StreamNotFound when nothing playable came.
Value StreamPlay(Machine& m, const Value& self, const Value* args, int argc) {
  StreamObject* s = StreamArg(m, self);
  if (argc == 0 || !m.player) return Value();
  const std::string url = m.ToString(args[0]);
  CancelTransfer(m, s);
  const std::uint64_t serial = ++s->playSerial;
  audio::SoundEvents* sounds = SoundsOf(m);
  s->playback = std::make_unique<video::FlvPlayback>(sounds ? &sounds->SoundMixer() : nullptr, false);
  s->playback->OpenStream();
  s->stopped = s->begun = s->userPaused = false;
  s->waiting = true;
  s->nextScript = 0;
  s->bytesLoaded = s->bytesTotal = 0;
  s->lastTime = 0;
  KeepTicking(m, s);
  Machine* machine = &m;
  auto notFound = [s, machine] {
    CancelTransfer(*machine, s);
    s->playback.reset();
    machine->Guard([&] { SendStatus(*machine, s, "NetStream.Play.StreamNotFound", "error"); });
  };
  s->load = m.player->Fetch(
      url, "GET", "", nullptr, nullptr,
      [s, serial](std::int64_t, std::int64_t total) {
        if (s->playSerial == serial && total > 0) s->bytesTotal = static_cast<double>(total);
      },
      [s, serial, machine, notFound](bool ok, const std::string&) {
        if (s->playSerial != serial || !s->playback) return;  // a later play() or close() came first
        s->load = 0;
        // A transfer cut off (at a limit, or by the network) plays what it brought.
        if (!s->playback->Started() || (!ok && s->bytesLoaded == 0)) {
          notFound();
          return;
        }
        s->playback->EndOfData();
        s->bytesTotal = s->bytesLoaded;
        machine->Guard([&] { CheckBuffer(*machine, s); });
      },
      [s, serial, machine, notFound](const std::string& chunk) {
        if (s->playSerial != serial || !s->playback) return;
        const bool started = s->playback->Started();
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(chunk.data());
        if (!s->playback->Append(std::span<const std::uint8_t>(bytes, chunk.size()))) {
          notFound();
          return;
        }
        s->bytesLoaded += static_cast<double>(chunk.size());
        machine->Guard([&] {
          if (!started && s->playback->Started()) {
            s->picture->image = s->playback->Picture();
            SendStatus(*machine, s, "NetStream.Play.Start");
          }
          if (s->playSerial == serial) CheckBuffer(*machine, s);
        });
      });
  return Value();
}

// pause() and resume() hold and go on; togglePause() does whichever is due.
void SetPaused(StreamObject* s, bool pause) {
  if (!s->playback || !s->playback->Started()) return;
  s->userPaused = pause;
  if (pause)
    s->playback->Pause();
  else if (!s->waiting && !s->playback->Ended())
    s->playback->Play();
}

Value StreamPause(Machine& m, const Value& self, const Value*, int) {
  StreamObject* s = StreamArg(m, self);
  if (s->playback && s->playback->Started() && !s->userPaused) {
    SetPaused(s, true);
    SendStatus(m, s, "NetStream.Pause.Notify");
  }
  return Value();
}
Value StreamResume(Machine& m, const Value& self, const Value*, int) {
  StreamObject* s = StreamArg(m, self);
  if (s->playback && s->playback->Started() && s->userPaused) {
    SetPaused(s, false);
    SendStatus(m, s, "NetStream.Unpause.Notify");
  }
  return Value();
}
Value StreamTogglePause(Machine& m, const Value& self, const Value*, int) {
  StreamObject* s = StreamArg(m, self);
  return s->userPaused ? StreamResume(m, self, nullptr, 0) : StreamPause(m, self, nullptr, 0);
}

Value StreamSeek(Machine& m, const Value& self, const Value* args, int argc) {
  StreamObject* s = StreamArg(m, self);
  if (!s->playback || !s->playback->Started()) return Value();
  double seconds = NumArg(m, args, argc, 0, 0);
  if (std::isnan(seconds) || seconds < 0) seconds = 0;
  const bool wasPlaying = s->playback->Playing() || (s->playback->Ended() && !s->stopped);
  s->playback->Seek(seconds);
  if (wasPlaying && !s->waiting && !s->playback->Playing()) s->playback->Play();
  s->stopped = false;
  s->picture->image = s->playback->Picture();
  s->lastTime = s->playback->Time();
  // Script tags before the new playhead are not handed out again.
  const video::FlvIndex& index = s->playback->Index();
  s->nextScript = 0;
  while (s->nextScript < index.scripts.size() && index.scripts[s->nextScript].time <= s->lastTime * 1000.0) ++s->nextScript;
  SendStatus(m, s, "NetStream.Seek.Notify");
  return Value();
}

Value StreamClose(Machine& m, const Value& self, const Value*, int) {
  StreamObject* s = StreamArg(m, self);
  ++s->playSerial;
  CancelTransfer(m, s);
  s->playback.reset();
  s->picture->image = QImage();
  s->lastTime = 0;
  return Value();
}

Value StreamBytesLoaded(Machine& m, const Value& self, const Value*, int) {
  StreamObject* s = StreamArg(m, self);
  return Value::Number(s->playback ? s->bytesLoaded : 0);
}
Value StreamBytesTotal(Machine& m, const Value& self, const Value*, int) {
  StreamObject* s = StreamArg(m, self);
  return Value::Number(s->playback ? std::max(s->bytesTotal, s->bytesLoaded) : 0);
}
Value StreamBufferLength(Machine& m, const Value& self, const Value*, int) {
  StreamObject* s = StreamArg(m, self);
  if (!s->playback) return Value::Number(0);
  return Value::Number(std::max(0.0, s->playback->LoadedMs() / 1000.0 - s->lastTime));
}
Value StreamCurrentFps(Machine& m, const Value& self, const Value*, int) {
  StreamObject* s = StreamArg(m, self);
  if (!s->playback || !s->playback->Playing()) return Value::Number(0);
  return Value::Number(std::round(1000.0 / s->playback->Index().FrameInterval()));
}

Value StreamClient(Machine& m, const Value& self, const Value*, int) {
  StreamObject* s = StreamArg(m, self);
  return ClientOf(s, s->client);
}
Value SetStreamClient(Machine& m, const Value& self, const Value* args, int argc) {
  SetClient(m, StreamArg(m, self)->client, Arg(args, argc, 0));
  return Value();
}
Value StreamBufferTime(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(StreamArg(m, self)->bufferTime);
}
Value SetStreamBufferTime(Machine& m, const Value& self, const Value* args, int argc) {
  const double seconds = NumArg(m, args, argc, 0, NAN);
  if (!std::isnan(seconds)) StreamArg(m, self)->bufferTime = std::max(0.0, seconds);
  return Value();
}
Value StreamTime(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(StreamArg(m, self)->lastTime);
}

void InstallStream(Machine& m, ClassObject* dispatcher) {
  ClassObject* cls = m.DefineClass("flash.net", "NetStream", dispatcher, StreamConstruct);
  cls->allocate = AllocateStream;
  static const Member kStreamMembers[] = {
      {"play", StreamPlay, nullptr, 0, 0},
      {"pause", StreamPause, nullptr, 0, 0},
      {"resume", StreamResume, nullptr, 0, 0},
      {"togglePause", StreamTogglePause, nullptr, 0, 0},
      {"seek", StreamSeek, nullptr, 0, 0},
      {"close", StreamClose, nullptr, 0, 0},
      {"client", StreamClient, SetStreamClient, kAccessor, 0},
      {"bufferTime", StreamBufferTime, SetStreamBufferTime, kAccessor, 0},
      {"time", StreamTime, nullptr, kAccessor, 0},
      {"bufferLength", StreamBufferLength, nullptr, kAccessor, 0},
      {"bytesLoaded", StreamBytesLoaded, nullptr, kAccessor, 0},
      {"bytesTotal", StreamBytesTotal, nullptr, kAccessor, 0},
      {"currentFPS", StreamCurrentFps, nullptr, kAccessor, 0},
  };
  Install(m, cls, kStreamMembers);
  static const TextConstant kStreamConstants[] = {
      {"CONNECT_TO_FMS", "connectToFMS"},
      {"DIRECT_CONNECTIONS", "directConnections"},
  };
  Install(m, cls, kStreamConstants);
}

Value FilterHeader(Machine& m, const Value& self, const Value*, int) { return FilterField(m, self, 0); }
Value SetFilterHeader(Machine& m, const Value& self, const Value* args, int argc) {
  FilterField(m, self, 0) = Arg(args, argc, 0);
  return Value();
}
Value FilterData(Machine& m, const Value& self, const Value*, int) { return FilterField(m, self, 1); }
Value SetFilterData(Machine& m, const Value& self, const Value* args, int argc) {
  FilterField(m, self, 1) = Arg(args, argc, 0);
  return Value();
}

}  // namespace

std::shared_ptr<const video::StreamPicture> NetStreamPicture(const Value& stream) {
  auto* s = stream.IsObject() ? dynamic_cast<StreamObject*>(stream.object) : nullptr;
  return s ? s->picture : nullptr;
}

void InstallNetStream(Machine& m) {
  ClassObject* dispatcher = m.FindClass("flash.events.EventDispatcher");
  ClassObject* status = m.DefineClass("flash.events", "NetStatusEvent", m.FindClass("flash.events.Event"), StatusEventConstruct);
  static const Member kStatusMembers[] = {
      {"info", StatusEventInfo, StatusEventSetInfo, kAccessor, 0},
      {"clone", StatusEventClone, nullptr, 0, 0},
      {"toString", StatusEventToString, nullptr, 0, 0},
  };
  Install(m, status, kStatusMembers);
  static const TextConstant kStatusConstants[] = {
      {"NET_STATUS", "netStatus"},
  };
  Install(m, status, kStatusConstants);
  ClassObject* filter = m.DefineClass("flash.events", "NetFilterEvent", m.FindClass("flash.events.Event"), FilterEventConstruct);
  static const Member kFilterMembers[] = {
      {"header", FilterHeader, SetFilterHeader, kAccessor, 0},
      {"data", FilterData, SetFilterData, kAccessor, 0},
      {"clone", FilterEventClone, nullptr, 0, 0},
      {"toString", FilterEventToString, nullptr, 0, 0},
  };
  Install(m, filter, kFilterMembers);
  InstallConnection(m, dispatcher);
  InstallStream(m, dispatcher);
}

}  // namespace vantrel::flash::avm2
