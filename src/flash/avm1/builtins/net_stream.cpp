// NetConnection and NetStream: Flash videos played from files next to the movie or
// from web addresses while they download (NetConnection.connect(null), then
// NetStream.play(url)). The stream's clock moves
// with the movie's frames; its picture is shared with the Video objects attached to
// it and its sound plays on the movie's mixer. Status events, metadata and cue points
// reach the script from the frame loop.
#include <cctype>
#include <cmath>
#include <cstring>

#include "flash/audio/sound_events.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/builtins/net_stream.h"
#include "flash/display/player.h"
#include "flash/video/flv_playback.h"

namespace vantrel::flash::avm1 {

namespace {

class ConnectionData final : public NativeData {
 public:
  bool connected = false;
  // Connected to a web address for remote calls: nothing is reached until a call.
  bool remote = false;
};

ConnectionData* ConnectionOf(Call& call) { return call.self ? call.self->Data<ConnectionData>() : nullptr; }

// Calls object.onStatus({code, level}) (the code defined first, as the player does).
void SendStatus(MachineInterface& machine, Object* object, const char* code, const char* level = "status") {
  Object* info = machine.NewObject();
  machine.Set(info, "code", machine.Str(code));
  machine.Set(info, "level", machine.Str(level));
  const Value arg = Value::Obj(info);
  machine.CallMethod(Value::Obj(object), "onStatus", std::span<const Value>(&arg, 1));
}

// The player defines this class in script: its constructor sets up `this` and returns
// nothing (super() of a subclass answers undefined).
Value ConstructConnection(Call& call) {
  if (!call.self) return {};
  call.self->kind = NativeKind::Other;
  call.self->native = std::make_unique<ConnectionData>();
  return {};
}

// The status events of connect and close come at once, inside the call.
void CloseIfOpen(Call& call, ConnectionData& data) {
  if (!data.connected) return;
  const bool remote = data.remote;
  data.connected = false;
  data.remote = false;
  SendStatus(call.machine, call.self, "NetConnection.Connect.Closed");
  // Closing a remote connection tells onStatus once more, with nothing to say.
  if (remote) call.machine.CallMethod(Value::Obj(call.self), "onStatus", {});
}

bool IsWebAddress(const std::string& url) {
  const auto starts = [&](const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    if (url.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
      if (std::tolower(static_cast<unsigned char>(url[i])) != prefix[i]) return false;
    return true;
  };
  return starts("http://") || starts("https://");
}

Value Connect(Call& call) {
  ConnectionData* data = ConnectionOf(call);
  if (!data) return Value::Bool(false);
  CloseIfOpen(call, *data);
  // Local playback is connect(null); a web address takes remote calls. Streaming servers
  // are not reached.
  if (!call.Arg(0).IsNullish()) {
    if (!IsWebAddress(call.machine.ToString(call.Arg(0)))) return Value::Bool(false);
    data->connected = true;
    data->remote = true;
    return Value::Bool(true);
  }
  data->connected = true;
  SendStatus(call.machine, call.self, "NetConnection.Connect.Success");
  return Value::Bool(true);
}

Value CloseConnection(Call& call) {
  ConnectionData* data = ConnectionOf(call);
  if (data) CloseIfOpen(call, *data);
  return {};
}

Value IsConnected(Call& call) {
  ConnectionData* data = ConnectionOf(call);
  // Remote calls over the web keep no lasting connection.
  return data ? Value::Bool(data->connected && !data->remote) : Value();
}

const Member kConnectionMembers[] = {
    {"connect", Connect, nullptr, kDontEnum | kDontDelete | kReadOnly},
    {"close", CloseConnection, nullptr, kDontEnum | kDontDelete | kReadOnly},
    {"isConnected", IsConnected, nullptr, kDontEnum | kDontDelete | kGetterOnly},
};

class StreamData final : public NativeData {
 public:
  std::unique_ptr<video::FlvPlayback> playback;
  std::shared_ptr<video::StreamPicture> picture = std::make_shared<video::StreamPicture>();
  double bufferTime = 0.1;
  std::uint64_t playSerial = 0;  // which play() the running watcher belongs to
  std::uint64_t load = 0;        // the player's number of the transfer still running
  std::size_t nextScript = 0;    // next script data tag to hand to the script
  double bytesLoaded = 0;
  double bytesTotal = 0;         // as the server announced it; 0 while unknown
  bool waiting = true;           // buffering: the playhead waits for data
  bool begun = false;            // the buffer was full once (the watcher runs)
  bool userPaused = false;       // pause() by the script
  bool stopped = false;          // the end was reported
  double lastTime = 0;           // the playhead as of the last frame, seconds
};

StreamData* StreamOf(Call& call) { return call.self ? call.self->Data<StreamData>() : nullptr; }

// Hands the script tags up to the playhead to their handlers: onMetaData(info),
// onCuePoint(info), or any other name the tag carries.
void DeliverScripts(MachineInterface& machine, Object* self, StreamData& data, double milliseconds) {
  const video::FlvIndex& index = data.playback->Index();
  const auto bytes = data.playback->Bytes();
  while (data.nextScript < index.scripts.size() && index.scripts[data.nextScript].time <= milliseconds) {
    const video::FlvTag& tag = index.scripts[data.nextScript++];
    const std::string_view body(reinterpret_cast<const char*>(bytes.data() + tag.offset), tag.size);
    data::AmfReader reader(machine, body);
    const auto name = reader.ReadValue();
    if (!name || !name->IsString()) continue;
    std::vector<Value> args;
    while (!reader.AtEnd()) {
      const auto value = reader.ReadValue();
      if (!value) break;
      args.push_back(*value);
    }
    const std::string handler = name->Text();
    machine.CallMethod(Value::Obj(self), handler, args);
    if (!self->Data<StreamData>()) return;
  }
}

// Whether what has arrived ahead of the playhead fills the buffer the script asked for
// (a whole file always does).
bool BufferFilled(const StreamData& data) {
  const video::FlvPlayback& playback = *data.playback;
  if (playback.Complete()) return true;
  const double ahead = playback.LoadedMs() / 1000.0 - playback.Time();
  return ahead >= std::max(data.bufferTime, 0.1);
}

void Watch(MachineInterface& machine, Object* self, std::uint64_t serial);

// While buffering: once enough has arrived, playing starts (or goes on) with
// Buffer.Full; the first time, the script tags at the start are handed out and the
// watcher starts.
void CheckBuffer(MachineInterface& m, Object* self, std::uint64_t serial) {
  StreamData* d = self->Data<StreamData>();
  if (!d || d->playSerial != serial || !d->playback || !d->waiting || !d->playback->Started()) return;
  if (!BufferFilled(*d)) return;
  d->waiting = false;
  if (!d->userPaused && !d->playback->Ended()) d->playback->Play();
  d->picture->image = d->playback->Picture();
  SendStatus(m, self, "NetStream.Buffer.Full");
  d = self->Data<StreamData>();
  if (!d || d->playSerial != serial || !d->playback || d->begun) return;
  d->begun = true;
  DeliverScripts(m, self, *d, 0);
  Watch(m, self, serial);
}

void Watch(MachineInterface& machine, Object* self, std::uint64_t serial) {
  machine.RunLater(
      [self, serial](MachineInterface& m) {
        StreamData* data = self->Data<StreamData>();
        if (!data || data->playSerial != serial || !data->playback || !m.HasPlayer()) return;
        const double frameMs = 1000.0 / m.GetPlayer().GetMovie().FrameRate();
        if (data->waiting) CheckBuffer(m, self, serial);
        data = self->Data<StreamData>();
        if (!data || data->playSerial != serial || !data->playback) return;
        if (!data->waiting && data->playback->Playing()) data->playback->Advance(frameMs);
        data->picture->image = data->playback->Picture();
        data->lastTime = data->playback->Time();
        if (!data->waiting && data->playback->Starved()) {
          // The playhead caught up with the download: it waits for the buffer to fill.
          data->waiting = true;
          data->playback->Pause();
          SendStatus(m, self, "NetStream.Buffer.Empty");
          data = self->Data<StreamData>();
          if (!data || data->playSerial != serial || !data->playback) return;
        }
        DeliverScripts(m, self, *data, data->playback->Time() * 1000.0);
        data = self->Data<StreamData>();
        if (!data || data->playSerial != serial) return;
        if (data->playback->Ended() && !data->stopped) {
          data->stopped = true;
          SendStatus(m, self, "NetStream.Buffer.Flush");
          SendStatus(m, self, "NetStream.Play.Stop");
          SendStatus(m, self, "NetStream.Buffer.Empty");
        }
        data = self->Data<StreamData>();
        if (data && data->playSerial == serial) Watch(m, self, serial);
      },
      self);
}

// The player defines this class in script: its constructor sets up `this` and returns
// nothing (super() of a subclass answers undefined).
Value ConstructStream(Call& call) {
  if (!call.self) return {};
  call.self->kind = NativeKind::Other;
  call.self->native = std::make_unique<StreamData>();
  return {};
}

void CancelTransfer(MachineInterface& machine, StreamData& data) {
  if (data.load && machine.HasPlayer()) machine.GetPlayer().CancelLoad(data.load);
  data.load = 0;
}

// The video is read piece by piece (a web address plays while it downloads; a local
// file arrives whole): Play.Start once its header is there, Buffer.Full when the
// buffer time is covered, StreamNotFound when nothing playable came.
Value Play(Call& call) {
  StreamData* data = StreamOf(call);
  if (!data || call.Count() == 0 || !call.machine.HasPlayer()) return {};
  const std::string url = call.machine.ToString(call.Arg(0));
  CancelTransfer(call.machine, *data);
  const std::uint64_t serial = ++data->playSerial;
  audio::SoundEvents* sounds = call.machine.GetPlayer().sounds;
  data->playback = std::make_unique<video::FlvPlayback>(sounds ? &sounds->SoundMixer() : nullptr, false);
  data->playback->OpenStream();
  data->stopped = data->begun = data->userPaused = false;
  data->waiting = true;
  data->nextScript = 0;
  data->bytesLoaded = data->bytesTotal = 0;
  Object* self = call.self;
  MachineInterface* machine = &call.machine;
  auto notFound = [self, serial](MachineInterface& m) {
    StreamData* d = self->Data<StreamData>();
    if (!d || d->playSerial != serial) return;
    CancelTransfer(m, *d);
    d->playback.reset();
    SendStatus(m, self, "NetStream.Play.StreamNotFound", "error");
  };
  data->load = call.machine.GetPlayer().Fetch(
      url, "GET", "", nullptr, call.self,
      [self, serial](std::int64_t, std::int64_t total) {
        StreamData* d = self->Data<StreamData>();
        if (d && d->playSerial == serial && total > 0) d->bytesTotal = static_cast<double>(total);
      },
      [self, serial, machine, notFound](bool ok, const std::string&) {
        StreamData* d = self->Data<StreamData>();
        if (!d || d->playSerial != serial || !d->playback) return;  // a later play() or close() came first
        d->load = 0;
        // A transfer cut off (at a limit, or by the network) plays what it brought.
        if (!d->playback->Started() || (!ok && d->bytesLoaded == 0)) {
          notFound(*machine);
          return;
        }
        d->playback->EndOfData();
        d->bytesTotal = d->bytesLoaded;
        CheckBuffer(*machine, self, serial);
      },
      [self, serial, machine, notFound](const std::string& chunk) {
        StreamData* d = self->Data<StreamData>();
        if (!d || d->playSerial != serial || !d->playback) return;
        const bool started = d->playback->Started();
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(chunk.data());
        if (!d->playback->Append(std::span<const std::uint8_t>(bytes, chunk.size()))) {
          notFound(*machine);
          return;
        }
        d->bytesLoaded += static_cast<double>(chunk.size());
        if (!started && d->playback->Started()) {
          d->picture->image = d->playback->Picture();
          SendStatus(*machine, self, "NetStream.Play.Start");
        }
        CheckBuffer(*machine, self, serial);
      });
  return {};
}

Value Pause(Call& call) {
  StreamData* data = StreamOf(call);
  if (!data || !data->playback || !data->playback->Started()) return {};
  // pause() toggles; pause(true) and pause(false) pause and resume.
  const bool playing = data->waiting ? !data->userPaused : data->playback->Playing();
  const bool pause = call.Count() > 0 && !call.Arg(0).IsUndefined() ? call.machine.ToBoolean(call.Arg(0)) : playing;
  data->userPaused = pause;
  if (pause)
    data->playback->Pause();
  else if (!data->waiting && !data->playback->Ended())
    data->playback->Play();
  return {};
}

Value Seek(Call& call) {
  StreamData* data = StreamOf(call);
  if (!data || !data->playback || !data->playback->Started()) return {};
  double seconds = call.machine.ToNumber(call.Arg(0));
  if (std::isnan(seconds) || seconds < 0) seconds = 0;
  const bool wasPlaying = data->playback->Playing() || (data->playback->Ended() && !data->stopped);
  data->playback->Seek(seconds);
  if (wasPlaying && !data->waiting && !data->playback->Playing()) data->playback->Play();
  data->stopped = false;
  data->picture->image = data->playback->Picture();
  data->lastTime = data->playback->Time();
  // Script tags up to the new playhead are not handed out again (the metadata at the
  // start is heard once); the later ones come as the playhead reaches them.
  const video::FlvIndex& index = data->playback->Index();
  data->nextScript = 0;
  while (data->nextScript < index.scripts.size() && index.scripts[data->nextScript].time <= data->lastTime * 1000.0)
    ++data->nextScript;
  SendStatus(call.machine, call.self, "NetStream.Seek.Notify");
  return {};
}

Value Close(Call& call) {
  StreamData* data = StreamOf(call);
  if (!data) return {};
  ++data->playSerial;  // the watcher ends
  CancelTransfer(call.machine, *data);
  data->playback.reset();
  data->picture->image = QImage();
  data->lastTime = 0;
  return {};
}

Value SetBufferTime(Call& call) {
  StreamData* data = StreamOf(call);
  const double seconds = call.machine.ToNumber(call.Arg(0));
  if (data && !std::isnan(seconds)) data->bufferTime = std::max(0.0, seconds);
  return {};
}

Value Time(Call& call) {
  StreamData* data = StreamOf(call);
  return data ? Value::Number(data->lastTime) : Value();
}

Value BufferTime(Call& call) {
  StreamData* data = StreamOf(call);
  return data ? Value::Number(data->bufferTime) : Value();
}

// What has arrived ahead of the playhead is buffered; a whole file reaches its end.
Value BufferLength(Call& call) {
  StreamData* data = StreamOf(call);
  if (!data) return {};
  if (!data->playback) return Value::Number(0);
  const double loaded = data->playback->LoadedMs() / 1000.0;
  return Value::Number(std::max(0.0, loaded - data->lastTime));
}

Value BytesLoaded(Call& call) {
  StreamData* data = StreamOf(call);
  return data ? Value::Number(data->playback ? data->bytesLoaded : 0) : Value();
}

// Unknown while the server has not said: what has arrived so far.
Value BytesTotal(Call& call) {
  StreamData* data = StreamOf(call);
  return data ? Value::Number(data->playback ? std::max(data->bytesTotal, data->bytesLoaded) : 0) : Value();
}

Value CurrentFps(Call& call) {
  StreamData* data = StreamOf(call);
  if (!data || !data->playback || !data->playback->Playing()) return Value::Number(0);
  return Value::Number(std::round(1000.0 / data->playback->Index().FrameInterval()));
}

constexpr std::uint16_t kMethod = kDontEnum | kDontDelete | kReadOnly;

const Member kStreamMembers[] = {
    {"play", Play, nullptr, kMethod},
    {"pause", Pause, nullptr, kMethod},
    {"seek", Seek, nullptr, kMethod},
    {"close", Close, nullptr, kMethod},
    {"setBufferTime", SetBufferTime, nullptr, kMethod},
    {"time", Time, nullptr, kDontEnum | kDontDelete | kGetterOnly},
    {"bufferTime", BufferTime, nullptr, kDontEnum | kDontDelete | kGetterOnly},
    {"bufferLength", BufferLength, nullptr, kDontEnum | kDontDelete | kGetterOnly},
    {"bytesLoaded", BytesLoaded, nullptr, kDontEnum | kDontDelete | kGetterOnly},
    {"bytesTotal", BytesTotal, nullptr, kDontEnum | kDontDelete | kGetterOnly},
    {"currentFps", CurrentFps, nullptr, kDontEnum | kDontDelete | kGetterOnly},
};

}  // namespace

std::shared_ptr<const video::StreamPicture> NetStreamPicture(Object* stream) {
  StreamData* data = stream ? stream->Data<StreamData>() : nullptr;
  return data ? data->picture : nullptr;
}

void InstallNetStream(Runtime& rt) {
  Object* connection = rt.MakeClass(ConstructConnection, nullptr);
  rt.AddMembers(Runtime::PrototypeOf(connection), kConnectionMembers);
  rt.global->Define("NetConnection", Value::Obj(connection), kDontEnum);
  rt.prototypes["NetConnection"] = Runtime::PrototypeOf(connection);

  Object* stream = rt.MakeClass(ConstructStream, nullptr);
  rt.AddMembers(Runtime::PrototypeOf(stream), kStreamMembers);
  rt.global->Define("NetStream", Value::Obj(stream), kDontEnum);
  rt.prototypes["NetStream"] = Runtime::PrototypeOf(stream);
}

}  // namespace vantrel::flash::avm1
