// flash.media: Sound (library sounds linked to a class, MP3 files loaded by address),
// SoundChannel (one playing sound: position, stop, its transform, soundComplete),
// SoundTransform and SoundMixer (the movie's global transform, bufferTime, stopAll),
// over the movie's mixer.
#include <algorithm>
#include <climits>
#include <cmath>

#include "flash/audio/loaded_sound.h"
#include "flash/audio/movie_sounds.h"
#include "flash/audio/sound_events.h"
#include "flash/avm2/builtins/media.h"
#include "flash/avm2/builtins/support.h"
#include "flash/display/player.h"
#include "flash/display/sound_gains.h"

namespace vantrel::flash::avm2 {

namespace {

// What the machine keeps for its media: the objects under way, the mixer's settings.
class MediaRoot final : public Object {
 public:
  MediaRoot() : Object(ObjectKind::Other, nullptr, nullptr) {}
  std::vector<MediaObject*> active;
  flash::SoundTransform mixerTransform;
  double bufferTime = 5;
  void Trace(gc::Tracer& tracer) const override {
    Object::Trace(tracer);
    for (const MediaObject* o : active) tracer.Mark(o);
  }
};

MediaRoot& RootOf(Machine& m) {
  if (!m.media) m.media = m.heap.Make<MediaRoot>();
  return *static_cast<MediaRoot*>(m.media);
}

class TransformObject final : public NativeObject {
 public:
  TransformObject() : NativeObject(ObjectKind::Other, nullptr, nullptr) {}
  TransformValues values;
};

class SoundObject;

class ChannelObject final : public MediaObject, public audio::SoundGroup {
 public:
  SoundObject* sound = nullptr;  // the sound it plays (null for a bare `new SoundChannel()`)
  std::uint64_t instance = 0;
  double startMs = 0;
  int loops = 1;
  double positionMs = 0;  // as of the last frame
  bool waiting = false;   // made while its sound loads: starts when it has arrived
  bool done = false;
  flash::SoundTransform transform;
  bool Tick(Machine& m) override;
  void Start(Machine& m);
  void Trace(gc::Tracer& tracer) const override;
};

class SoundObject final : public MediaObject {
 public:
  enum class State { Empty, Loading, Loaded, Failed } state = State::Empty;
  std::uint16_t soundId = 0;  // the library sound a linked class stands for
  std::shared_ptr<const audio::PcmBuffer> pcm;
  double lengthMs = 0;
  double bytesLoaded = 0, bytesTotal = 0;
  std::string url;
  bool hasUrl = false;
  std::uint64_t load = 0;
  std::vector<ChannelObject*> waiting;
  Value id3;
  bool Tick(Machine&) override { return state == State::Loading; }
  void Trace(gc::Tracer& tracer) const override {
    MediaObject::Trace(tracer);
    for (const ChannelObject* c : waiting) tracer.Mark(c);
    TraceValue(tracer, id3);
  }
};

void ChannelObject::Trace(gc::Tracer& tracer) const {
  MediaObject::Trace(tracer);
  tracer.Mark(sound);
}

void ChannelObject::Start(Machine& m) {
  waiting = false;
  audio::SoundEvents* sounds = SoundsOf(m);
  if (!sounds || !sound || !sound->pcm) {
    done = true;
    return;
  }
  const double inPoint = std::clamp(startMs * 44.1, 0.0, static_cast<double>(sound->pcm->Frames()));
  instance = sounds->PlayScriptSound(sound->pcm, sound->soundId, this, GainsOf(transform),
                                     static_cast<std::uint32_t>(inPoint), loops);
  positionMs = startMs;
  done = instance == 0;
  if (!done) KeepTicking(m, this);
}

bool ChannelObject::Tick(Machine& m) {
  audio::SoundEvents* sounds = SoundsOf(m);
  if (done || waiting || !sounds || !instance) return waiting;
  const std::int64_t frames = sounds->InstancePosition(instance);
  if (frames >= 0) positionMs = static_cast<double>(frames) / 44.1;
  if (sounds->InstanceEnded(instance)) {
    done = true;
    instance = 0;
    if (sound && sound->pcm) positionMs = static_cast<double>(sound->pcm->Frames()) / 44.1;
    DispatchNew(m, this, "flash.events.Event", {m.StrValue("soundComplete")});
    return false;
  }
  if (!sounds->InstancePlaying(instance)) {
    done = true;
    instance = 0;
    return false;
  }
  return true;
}

Object* AllocateTransform(Machine& m, ClassObject*) { return m.heap.Make<TransformObject>(); }
Object* AllocateSound(Machine& m, ClassObject*) { return m.heap.Make<SoundObject>(); }
Object* AllocateChannel(Machine& m, ClassObject*) { return m.heap.Make<ChannelObject>(); }

TransformObject* TransformArg(Machine& m, const Value& self) {
  return Receiver<TransformObject>(m, self, ObjectKind::Other, "SoundTransform");
}
SoundObject* SoundArg(Machine& m, const Value& self) {
  auto* o = Receiver<NativeObject>(m, self, ObjectKind::Display, "Sound");
  auto* s = dynamic_cast<SoundObject*>(o);
  if (!s) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.media.Sound.");
  return s;
}
ChannelObject* ChannelArg(Machine& m, const Value& self) {
  auto* o = Receiver<NativeObject>(m, self, ObjectKind::Display, "SoundChannel");
  auto* c = dynamic_cast<ChannelObject*>(o);
  if (!c) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.media.SoundChannel.");
  return c;
}

// ---- SoundTransform ----

// Panning moves the two straight shares on the constant-power curve and drops the
// crossed ones.
void SetPan(TransformValues& v, double pan) {
  v.ll = std::sqrt(1 - pan);
  v.rr = std::sqrt(1 + pan);
  v.lr = 0;
  v.rl = 0;
}

// The pan a transform amounts to: none while channels cross, else what the left share
// says.
double PanOf(const TransformValues& v) {
  if (v.lr != 0 || v.rl != 0) return 0;
  return 1 - v.ll * v.ll;
}

Value TransformConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  TransformObject* t = TransformArg(m, self);
  t->values.volume = NumArg(m, args, argc, 0, 1);
  SetPan(t->values, NumArg(m, args, argc, 1, 0));
  return Value();
}

enum TransformField { kVolume, kLeftToLeft, kLeftToRight, kRightToLeft, kRightToRight };

double& FieldOf(TransformValues& v, int field) {
  switch (field) {
    case kVolume: return v.volume;
    case kLeftToLeft: return v.ll;
    case kLeftToRight: return v.lr;
    case kRightToLeft: return v.rl;
    default: return v.rr;
  }
}

template <int Field>
Value GetTransformField(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(FieldOf(TransformArg(m, self)->values, Field));
}
template <int Field>
Value SetTransformField(Machine& m, const Value& self, const Value* args, int argc) {
  FieldOf(TransformArg(m, self)->values, Field) = NumArg(m, args, argc, 0, NAN);
  return Value();
}

// ---- Sound ----

const SoundCharacter* LibrarySound(Machine& m, std::uint16_t id) {
  auto* sounds = dynamic_cast<audio::MovieSounds*>(SoundsOf(m));
  return sounds ? sounds->Library().Sound(id) : nullptr;
}

// A class linked to a library sound makes objects that hold it.
void TakeLibrarySound(Machine& m, SoundObject* s) {
  for (ClassObject* c = s->cls; c; c = c->base) {
    const auto it = m.symbolOf.find(c);
    if (it == m.symbolOf.end()) continue;
    audio::SoundEvents* sounds = SoundsOf(m);
    if (!sounds) return;
    s->soundId = it->second;
    s->pcm = sounds->DecodedSound(s->soundId);
    if (!s->pcm) return;
    s->state = SoundObject::State::Loaded;
    s->lengthMs = static_cast<double>(s->pcm->Frames()) / 44.1;
    if (const SoundCharacter* c = LibrarySound(m, s->soundId)) {
      // What the tag stores of the sound.
      const double bytes = static_cast<double>(c->data.size());
      s->bytesLoaded = s->bytesTotal = bytes;
    }
    return;
  }
}

void FinishLoad(Machine& m, SoundObject* s, bool ok, const std::string& body) {
  s->load = 0;
  audio::LoadedSound loaded;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(body.data());
  if (ok) ok = audio::DecodeMp3File(std::span<const std::uint8_t>(bytes, body.size()), loaded, nullptr);
  if (!ok) {
    s->state = SoundObject::State::Failed;
    for (ChannelObject* c : s->waiting) c->done = true;
    s->waiting.clear();
    m.Guard([&] {
      DispatchNew(m, s, "flash.events.IOErrorEvent",
                  {m.StrValue("ioError"), Value::Bool(false), Value::Bool(false),
                   m.StrValue("Error #2032: Stream Error. URL: " + s->url), Value::Number(2032)});
    });
    return;
  }
  const double size = static_cast<double>(body.size());
  s->state = SoundObject::State::Loaded;
  s->pcm = loaded.pcm;
  s->lengthMs = loaded.milliseconds;
  s->bytesLoaded = s->bytesTotal = size;
  if (loaded.hasId3) {
    Object* info = m.ConstructClass(m.FindClass("flash.media.ID3Info"), nullptr, 0);
    static const std::pair<const char*, const char*> kNames[] = {
        {"COMM", "comment"}, {"TALB", "album"}, {"TCON", "genre"}, {"TIT2", "songName"},
        {"TPE1", "artist"},  {"TRCK", "track"}, {"TYER", "year"}};
    for (const audio::Id3Frame& frame : loaded.id3) {
      for (const auto& [id, name] : kNames)
        if (frame.id == id) m.SetPublic(Value::Obj(info), name, m.StrValue(frame.text));
      m.SetPublic(Value::Obj(info), frame.id, m.StrValue(frame.text));
    }
    s->id3 = Value::Obj(info);
  }
  std::vector<ChannelObject*> waiting;
  waiting.swap(s->waiting);
  for (ChannelObject* c : waiting) c->Start(m);
  m.Guard([&] {
    DispatchNew(m, s, "flash.events.Event", {m.StrValue("open")});
    DispatchNew(m, s, "flash.events.ProgressEvent",
                {m.StrValue("progress"), Value::Bool(false), Value::Bool(false), Value::Number(size), Value::Number(size)});
    if (loaded.hasId3) DispatchNew(m, s, "flash.events.Event", {m.StrValue("id3")});
    DispatchNew(m, s, "flash.events.Event", {m.StrValue("complete")});
  });
}

Value SoundLoad(Machine& m, const Value& self, const Value* args, int argc) {
  SoundObject* s = SoundArg(m, self);
  const Value request = Arg(args, argc, 0);
  if (request.IsNullish()) m.ThrowTypeError(2007, "Parameter stream must be non-null.");
  if (s->state != SoundObject::State::Empty)
    m.ThrowError("Error", 2037, "Functions called in incorrect sequence, or earlier call was unsuccessful.");
  s->url = m.ToString(m.GetPublic(request, "url"));
  s->hasUrl = true;
  s->state = SoundObject::State::Loading;
  KeepTicking(m, s);
  if (!m.player) return Value();
  Machine* machine = &m;
  s->load = m.player->Fetch(
      s->url, "GET", "", nullptr, nullptr,
      [s](std::int64_t loaded, std::int64_t total) {
        s->bytesLoaded = static_cast<double>(loaded);
        if (total > 0) s->bytesTotal = static_cast<double>(total);
      },
      [s, machine](bool ok, const std::string& body) { FinishLoad(*machine, s, ok, body); });
  return Value();
}

Value SoundConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  SoundObject* s = SoundArg(m, self);
  TakeLibrarySound(m, s);
  if (argc > 0 && !args[0].IsNullish() && s->state == SoundObject::State::Empty) SoundLoad(m, self, args, 1);
  return Value();
}

Value SoundPlay(Machine& m, const Value& self, const Value* args, int argc) {
  SoundObject* s = SoundArg(m, self);
  const double start = std::max(0.0, NumArg(m, args, argc, 0, 0));
  const int loops = std::max(1, m.ToInt32(Value::Number(NumArg(m, args, argc, 1, 0))));
  const Value transform = Arg(args, argc, 2);
  if (s->state == SoundObject::State::Loaded && (!s->pcm || start > s->lengthMs)) return Value::Null();
  if (s->state == SoundObject::State::Empty || s->state == SoundObject::State::Failed) return Value::Null();
  auto* c = static_cast<ChannelObject*>(m.ConstructClass(m.FindClass("flash.media.SoundChannel"), nullptr, 0));
  c->sound = s;
  c->startMs = start;
  c->loops = loops;
  if (!transform.IsNullish()) c->transform = ToPercent(SoundTransformOf(m, transform));
  if (s->state == SoundObject::State::Loading) {
    c->waiting = true;
    s->waiting.push_back(c);
  } else {
    c->Start(m);
  }
  return Value::Obj(c);
}

Value SoundClose(Machine& m, const Value& self, const Value*, int) {
  SoundObject* s = SoundArg(m, self);
  if (s->state != SoundObject::State::Loading)
    m.ThrowError("IOError", 2029, "This URLStream object does not have a stream opened.");
  if (m.player && s->load) m.player->CancelLoad(s->load);
  s->load = 0;
  s->state = SoundObject::State::Failed;
  return Value();
}

Value SoundLength(Machine& m, const Value& self, const Value*, int) {
  SoundObject* s = SoundArg(m, self);
  return Value::Number(s->state == SoundObject::State::Loaded ? s->lengthMs : 0);
}
Value SoundBytesLoaded(Machine& m, const Value& self, const Value*, int) { return Value::Number(SoundArg(m, self)->bytesLoaded); }
Value SoundBytesTotal(Machine& m, const Value& self, const Value*, int) { return Value::Number(SoundArg(m, self)->bytesTotal); }
Value SoundUrl(Machine& m, const Value& self, const Value*, int) {
  SoundObject* s = SoundArg(m, self);
  return s->hasUrl ? m.StrValue(s->url) : Value::Null();
}
Value SoundIsBuffering(Machine& m, const Value& self, const Value*, int) {
  return Value::Bool(SoundArg(m, self)->state == SoundObject::State::Loading);
}
Value SoundFalse(Machine& m, const Value& self, const Value*, int) {
  SoundArg(m, self);
  return Value::Bool(false);
}
Value SoundId3(Machine& m, const Value& self, const Value*, int) {
  SoundObject* s = SoundArg(m, self);
  if (!s->id3.IsObject()) s->id3 = Value::Obj(m.ConstructClass(m.FindClass("flash.media.ID3Info"), nullptr, 0));
  return s->id3;
}

// ---- SoundChannel ----

Value ChannelPosition(Machine& m, const Value& self, const Value*, int) { return Value::Number(ChannelArg(m, self)->positionMs); }

Value ChannelStop(Machine& m, const Value& self, const Value*, int) {
  ChannelObject* c = ChannelArg(m, self);
  if (c->instance)
    if (audio::SoundEvents* sounds = SoundsOf(m)) {
      const std::int64_t frames = sounds->InstancePosition(c->instance);
      if (frames >= 0) c->positionMs = static_cast<double>(frames) / 44.1;
      sounds->StopInstance(c->instance);
    }
  c->instance = 0;
  c->done = true;
  if (c->waiting && c->sound) {
    auto& list = c->sound->waiting;
    list.erase(std::remove(list.begin(), list.end(), c), list.end());
  }
  c->waiting = false;
  return Value();
}

Value ChannelGetTransform(Machine& m, const Value& self, const Value*, int) {
  return NewSoundTransform(m, FromPercent(ChannelArg(m, self)->transform));
}
Value ChannelSetTransform(Machine& m, const Value& self, const Value* args, int argc) {
  ChannelObject* c = ChannelArg(m, self);
  c->transform = ToPercent(SoundTransformOf(m, Arg(args, argc, 0)));
  if (audio::SoundEvents* sounds = SoundsOf(m)) sounds->SetClipGains(c, GainsOf(c->transform));
  return Value();
}

// ---- SoundMixer ----

Value MixerGetTransform(Machine& m, const Value&, const Value*, int) {
  return NewSoundTransform(m, FromPercent(RootOf(m).mixerTransform));
}
Value MixerSetTransform(Machine& m, const Value&, const Value* args, int argc) {
  MediaRoot& root = RootOf(m);
  root.mixerTransform = ToPercent(SoundTransformOf(m, Arg(args, argc, 0)));
  if (audio::SoundEvents* sounds = SoundsOf(m)) sounds->SetClipGains(nullptr, GainsOf(root.mixerTransform));
  return Value();
}
Value MixerGetBufferTime(Machine& m, const Value&, const Value*, int) { return Value::Number(RootOf(m).bufferTime); }
Value MixerSetBufferTime(Machine& m, const Value&, const Value* args, int argc) {
  RootOf(m).bufferTime = m.ToInt32(Arg(args, argc, 0));
  return Value();
}
Value MixerStopAll(Machine& m, const Value&, const Value*, int) {
  if (audio::SoundEvents* sounds = SoundsOf(m)) sounds->StopAll();
  // Channels stopped this way never report their end.
  for (MediaObject* o : RootOf(m).active)
    if (auto* c = dynamic_cast<ChannelObject*>(o)) {
      c->instance = 0;
      c->done = true;
    }
  return Value();
}
Value MixerInaccessible(Machine&, const Value&, const Value*, int) { return Value::Bool(false); }

// ---- URLRequest, for the loads here when no other part of the machine gives one ----

Value RequestConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  m.SetPublic(self, "url", argc > 0 && !args[0].IsNullish() ? m.StrValue(m.ToString(args[0])) : Value::Null());
  return Value();
}
// method: "GET" until set; only GET and POST are taken, all in capitals or all in small
// letters.
Value GetRequestMethod(Machine& m, const Value& self, const Value*, int) {
  auto* r = Receiver<NativeObject>(m, self, ObjectKind::Other, "URLRequest/get method()");
  return m.StrValue(r->text.empty() ? "GET" : r->text);
}
Value SetRequestMethod(Machine& m, const Value& self, const Value* args, int argc) {
  auto* r = Receiver<NativeObject>(m, self, ObjectKind::Other, "URLRequest/set method()");
  const Value v = Arg(args, argc, 0);
  if (v.IsNullish()) m.ThrowTypeError(2007, "Parameter method must be non-null.");
  const std::string method = m.ToString(v);
  if (method != "GET" && method != "get" && method != "POST" && method != "post")
    m.ThrowError("ArgumentError", 2008, "Parameter method must be one of the accepted values.");
  r->text = method;
  return Value();
}

Value GetTransformPan(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(PanOf(TransformArg(m, self)->values));
}
Value SetTransformPan(Machine& m, const Value& self, const Value* args, int argc) {
  SetPan(TransformArg(m, self)->values, NumArg(m, args, argc, 0, NAN));
  return Value();
}

}  // namespace

void KeepTicking(Machine& m, MediaObject* object) {
  auto& active = RootOf(m).active;
  object->restarted = true;
  if (std::find(active.begin(), active.end(), object) == active.end()) active.push_back(object);
}

audio::SoundEvents* SoundsOf(Machine& m) { return m.player ? m.player->sounds : nullptr; }

void DispatchNew(Machine& m, Object* target, const std::string& eventClass, std::vector<Value> args) {
  ClassObject* cls = m.FindClass(eventClass);
  if (!cls) return;
  const Value event = m.Construct(Value::Obj(cls), args.data(), static_cast<int>(args.size()));
  m.CallPublic(Value::Obj(target), "dispatchEvent", {event});
}

Value NewSoundTransform(Machine& m, const TransformValues& values) {
  Object* o = m.ConstructClass(m.FindClass("flash.media.SoundTransform"), nullptr, 0);
  static_cast<TransformObject*>(o)->values = values;
  return Value::Obj(o);
}

TransformValues SoundTransformOf(Machine& m, const Value& value) {
  if (value.IsNullish()) m.ThrowTypeError(2007, "Parameter sndTransform must be non-null.");
  return TransformArg(m, value)->values;
}

flash::SoundTransform ToPercent(const TransformValues& v) {
  const auto percent = [](double x) {
    const double p = std::trunc(x * 100);
    return std::isnan(p) || p < INT_MIN || p > INT_MAX ? 0 : static_cast<int>(p);
  };
  return {percent(v.volume), percent(v.ll), percent(v.lr), percent(v.rl), percent(v.rr)};
}

TransformValues FromPercent(const flash::SoundTransform& p) {
  return {p.volume / 100.0, p.ll / 100.0, p.lr / 100.0, p.rl / 100.0, p.rr / 100.0};
}

namespace {
DisplayObject* SoundOwner(Machine& m, const Value& self) {
  auto* o = self.IsObject() && self.object->kind == ObjectKind::Display ? static_cast<NativeObject*>(self.object) : nullptr;
  if (!o || !o->display) m.ThrowError("Error", 2012, "Display objects cannot be made without a player.");
  return o->display;
}
}  // namespace

Value GetObjectSoundTransform(Machine& m, const Value& self, const Value*, int) {
  DisplayObject* d = SoundOwner(m, self);
  const auto kept = m.keptOnDisplay.find(d);
  if (kept != m.keptOnDisplay.end()) {
    const auto set = kept->second.find("soundTransform");
    if (set != kept->second.end()) return NewSoundTransform(m, SoundTransformOf(m, set->second));
  }
  return NewSoundTransform(m, FromPercent(d->soundTransform));
}

Value SetObjectSoundTransform(Machine& m, const Value& self, const Value* args, int argc) {
  DisplayObject* d = SoundOwner(m, self);
  const TransformValues values = SoundTransformOf(m, Arg(args, argc, 0));
  d->soundTransform = ToPercent(values);
  m.keptOnDisplay[d]["soundTransform"] = NewSoundTransform(m, values);
  if (audio::SoundEvents* sounds = SoundsOf(m)) ApplyChainGains(*sounds, *d);
  return Value();
}

void TickMedia(Machine& m) {
  if (!m.media) return;
  // Events may start or finish others: tick what was there when the frame began.
  const std::vector<MediaObject*> now = RootOf(m).active;
  for (MediaObject* o : now) o->restarted = false;
  std::vector<MediaObject*> finished;
  for (MediaObject* o : now) {
    bool going = false;
    m.Guard([&] { going = o->Tick(m); });
    if (!going) finished.push_back(o);
  }
  auto& active = RootOf(m).active;
  for (MediaObject* o : finished)
    if (!o->restarted) active.erase(std::remove(active.begin(), active.end(), o), active.end());
}

void InstallMedia(Machine& m) {
  ClassObject* dispatcher = m.FindClass("flash.events.EventDispatcher");

  ClassObject* transform = m.DefineClass("flash.media", "SoundTransform", m.objectClass, TransformConstruct);
  transform->allocate = AllocateTransform;
  static const Member kTransformMembers[] = {
      {"volume", GetTransformField<kVolume>, SetTransformField<kVolume>, kAccessor, 0},
      {"leftToLeft", GetTransformField<kLeftToLeft>, SetTransformField<kLeftToLeft>, kAccessor, 0},
      {"leftToRight", GetTransformField<kLeftToRight>, SetTransformField<kLeftToRight>, kAccessor, 0},
      {"rightToLeft", GetTransformField<kRightToLeft>, SetTransformField<kRightToLeft>, kAccessor, 0},
      {"rightToRight", GetTransformField<kRightToRight>, SetTransformField<kRightToRight>, kAccessor, 0},
      {"pan", GetTransformPan, SetTransformPan, kAccessor, 0},
  };
  Install(m, transform, kTransformMembers);

  ClassObject* sound = m.DefineClass("flash.media", "Sound", dispatcher, SoundConstruct, false);
  sound->allocate = AllocateSound;
  static const Member kSoundMembers[] = {
      {"load", SoundLoad, nullptr, 0, 0},
      {"play", SoundPlay, nullptr, 0, 0},
      {"close", SoundClose, nullptr, 0, 0},
      {"length", SoundLength, nullptr, kAccessor, 0},
      {"bytesLoaded", SoundBytesLoaded, nullptr, kAccessor, 0},
      {"bytesTotal", SoundBytesTotal, nullptr, kAccessor, 0},
      {"url", SoundUrl, nullptr, kAccessor, 0},
      {"isBuffering", SoundIsBuffering, nullptr, kAccessor, 0},
      {"isURLInaccessible", SoundFalse, nullptr, kAccessor, 0},
      {"id3", SoundId3, nullptr, kAccessor, 0},
  };
  Install(m, sound, kSoundMembers);

  // The tag's text frames by their ids, and the common ones by name.
  m.DefineClass("flash.media", "ID3Info", m.objectClass, [](Machine& m, const Value& self, const Value*, int) {
    for (const char* name : {"album", "artist", "comment", "genre", "songName", "track", "year"}) m.SetPublic(self, name, Value::Null());
    return Value();
  }, false);

  ClassObject* channel = m.DefineClass("flash.media", "SoundChannel", dispatcher, nullptr);
  channel->allocate = AllocateChannel;
  static const Member kChannelMembers[] = {
      {"position", ChannelPosition, nullptr, kAccessor, 0},
      {"soundTransform", ChannelGetTransform, ChannelSetTransform, kAccessor, 0},
      {"stop", ChannelStop, nullptr, 0, 0},
  };
  Install(m, channel, kChannelMembers);

  ClassObject* mixer = m.DefineClass("flash.media", "SoundMixer", m.objectClass, nullptr);
  static const Member kMixerMembers[] = {
      {"soundTransform", MixerGetTransform, MixerSetTransform, kAccessor | kStatic, 0},
      {"bufferTime", MixerGetBufferTime, MixerSetBufferTime, kAccessor | kStatic, 0},
      {"stopAll", MixerStopAll, nullptr, kStatic, 0},
      {"areSoundsInaccessible", MixerInaccessible, nullptr, kStatic, 0},
  };
  Install(m, mixer, kMixerMembers);

  if (!m.FindClass("flash.net.URLRequest")) {
    ClassObject* request = m.DefineClass("flash.net", "URLRequest", m.objectClass, RequestConstruct, false);
    request->allocate = AllocateNative<>;
    static const Member kRequestMembers[] = {
        {"method", GetRequestMethod, SetRequestMethod, kAccessor, 0},
    };
    Install(m, request, kRequestMembers);
  }
}

}  // namespace vantrel::flash::avm2
