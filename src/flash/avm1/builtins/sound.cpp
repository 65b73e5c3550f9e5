// Sound: the script side of sounds. A Sound object belongs to a clip (or to the whole
// movie when made without one) and acts on that clip's sound transform; it plays one
// sound at a time, either a DefineSound exported by the movie (attachSound) or an MP3
// file (loadSound). Playing sounds are watched from the frame loop: their position is
// taken once a frame and onSoundComplete runs there, never from the sound thread.
#include <climits>
#include <cmath>

#include "flash/audio/loaded_sound.h"
#include "flash/audio/sound_events.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/net_stream.h"
#include "flash/avm1/display_binding.h"
#include "flash/avm1/interpreter.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"
#include "flash/display/sound_gains.h"

namespace vantrel::flash::avm1 {

namespace {

struct QueuedStart {
  double offset = 0;
  int loops = 1;
};

class SoundData final : public NativeData {
 public:
  // The owner is kept as a target path and looked up at each use, so a clip that is
  // renamed or replaced is found (or missed) the way the path names it.
  bool hasOwner = false;
  std::string ownerPath;
  Object* ownerBase = nullptr;  // timeline a relative path starts from; null: absolute
  bool callerRelative = false;  // a path given as text: it starts from the timeline that calls

  enum class State { Empty, Loading, Loaded } state = State::Empty;
  std::shared_ptr<const audio::PcmBuffer> pcm;
  std::uint16_t soundId = 0;
  std::optional<double> duration;  // milliseconds
  double position = 0;             // milliseconds, as of the last frame
  bool streaming = false;
  std::uint64_t instance = 0;
  std::vector<QueuedStart> queued;  // start() calls while loading
  std::uint64_t loadSerial = 0;
  double bytesLoaded = 0;
  std::optional<double> bytesTotal;

  void Trace(gc::Tracer& tracer) const override { tracer.Mark(ownerBase); }
};

// The movie's own transform (Sound objects made without a clip), kept on the prototype
// of the runtime's Sound class.
class GlobalSoundData final : public NativeData {
 public:
  SoundTransform transform;
};

// A movie clip whose registered class derives from Sound is a sound as well: its sound
// data lives on a helper object under a name no script uses.
constexpr std::string_view kClipSound = "\x01sound";

SoundData* SoundDataOf(const Object* object) {
  if (!object) return nullptr;
  if (object->kind == NativeKind::Display) {
    const Property* helper = object->FindOwn(kClipSound, true);
    return helper && helper->value.IsObject() ? helper->value.AsObject()->Data<SoundData>() : nullptr;
  }
  return object->Data<SoundData>();
}

SoundData* DataOf(Call& call) { return SoundDataOf(call.self); }

Interpreter& Interp(MachineInterface& machine) { return static_cast<Interpreter&>(machine); }

audio::SoundEvents* SoundsOf(MachineInterface& machine) {
  return machine.HasPlayer() ? machine.GetPlayer().sounds : nullptr;
}

GlobalSoundData& Global(MachineInterface& machine) {
  Object* proto = machine.Rt().soundProto;
  if (!proto->Data<GlobalSoundData>()) proto->native = std::make_unique<GlobalSoundData>();
  return *proto->Data<GlobalSoundData>();
}

// The clip the sound belongs to now; null when its path names nothing (or it has none).
DisplayObject* Owner(MachineInterface& machine, SoundData& data) {
  if (!data.hasOwner || !machine.HasPlayer()) return nullptr;
  // Outside any script (the host asking) a text path starts where the sound was made.
  DisplayObject* caller = data.callerRelative ? machine.AsDisplay(machine.Target()) : nullptr;
  DisplayObject* base = caller ? caller : data.ownerBase ? machine.AsDisplay(data.ownerBase) : &machine.GetPlayer().Root();
  if (!base) return nullptr;
  DisplayObject* owner = ResolveTarget(Interp(machine), base, data.ownerPath);
  return owner && !owner->Removed() ? owner : nullptr;
}

// What the mixer groups a clip's sounds by: the clip itself, as the timeline reports it.
const audio::SoundGroup* GroupOf(DisplayObject* owner) { return owner; }

// The transform that setVolume and friends act on; null when the owner is gone.
SoundTransform* TransformOf(MachineInterface& machine, SoundData& data) {
  if (!data.hasOwner) return &Global(machine).transform;
  DisplayObject* owner = Owner(machine, data);
  return owner ? &owner->soundTransform : nullptr;
}

void ApplyTransform(MachineInterface& machine, SoundData& data) {
  audio::SoundEvents* sounds = SoundsOf(machine);
  if (!sounds) return;
  if (!data.hasOwner) {
    sounds->SetClipGains(nullptr, GainsOf(Global(machine).transform));
  } else if (DisplayObject* owner = Owner(machine, data)) {
    ApplyChainGains(*sounds, *owner);
  }
}

// The player's conversion of numbers to integers: what does not fit (NaN included)
// becomes the smallest integer.
std::int32_t ClampToInt32(double number) {
  if (std::isnan(number) || number <= -2147483649.0 || number >= 2147483648.0) return INT_MIN;
  return static_cast<std::int32_t>(std::trunc(number));
}

std::int32_t Wrapping(std::int64_t value) { return static_cast<std::int32_t>(static_cast<std::uint32_t>(value)); }

int PanOf(const SoundTransform& t) {
  if (t.ll != 100) return Wrapping(100 - std::llabs(static_cast<std::int64_t>(t.ll)));
  return Wrapping(std::llabs(static_cast<std::int64_t>(t.rr)) - 100);
}

const LoadedMovie* MovieOf(MachineInterface& machine, SoundData& data) {
  DisplayObject* owner = Owner(machine, data);
  return owner ? owner->Movie() : machine.GetPlayer().RootMovie();
}

// Adds the position and duration properties once the object holds a sound; a script
// that set both itself keeps its own values.
Value DurationGetter(Call& call);
Value PositionGetter(Call& call);
void DefineTimes(MachineInterface& machine, Object* self) {
  if (machine.Has(self, "position") && machine.Has(self, "duration")) return;
  Runtime& rt = machine.Rt();
  self->DefineAccessor("position", rt.MakeFunction(PositionGetter), nullptr, kDontEnum | kDontDelete);
  self->DefineAccessor("duration", rt.MakeFunction(DurationGetter), nullptr, kDontEnum | kDontDelete);
}

void Watch(MachineInterface& machine, Object* self, std::uint64_t instance);

void Play(MachineInterface& machine, Object* self, SoundData& data, const QueuedStart& start) {
  audio::SoundEvents* sounds = SoundsOf(machine);
  if (!sounds || !data.pcm) return;
  // A streamed file plays once at a time.
  if (data.streaming && data.instance) sounds->StopInstance(data.instance);
  DisplayObject* owner = Owner(machine, data);
  const SoundTransform transform = owner ? owner->soundTransform : SoundTransform();
  double offset = start.offset > 0 ? start.offset * audio::kMixRate : 0;
  offset = std::min(offset, static_cast<double>(data.pcm->Frames()));
  const std::uint64_t instance = sounds->PlayScriptSound(data.pcm, data.soundId, GroupOf(owner),
                                                         owner ? ChainGainsOf(*owner) : GainsOf(transform),
                                                         static_cast<std::uint32_t>(offset), start.loops);
  if (!instance) return;
  data.instance = instance;
  Watch(machine, self, instance);
}

// Once a frame while instance plays: its position, and onSoundComplete when it ends.
void Watch(MachineInterface& machine, Object* self, std::uint64_t instance) {
  machine.RunLater(
      [self, instance](MachineInterface& m) {
        SoundData* data = SoundDataOf(self);
        audio::SoundEvents* sounds = SoundsOf(m);
        if (!data || !sounds) return;
        if (sounds->InstancePlaying(instance)) {
          if (data->instance == instance) {
            const std::int64_t at = sounds->InstancePosition(instance);
            if (at >= 0) data->position = std::round(static_cast<double>(at) * 1000.0 / audio::kMixRate);
          }
          Watch(m, self, instance);
          return;
        }
        const bool ended = sounds->InstanceEnded(instance);
        if (data->instance == instance) {
          data->instance = 0;
          if (ended && data->duration) data->position = *data->duration;
        }
        // A sound that was stopped (stop(), stopAllSounds) does not complete.
        if (ended) m.CallMethod(Value::Obj(self), "onSoundComplete", {});
      },
      self);
}

Value Construct(Call& call) {
  if (!call.self) return {};
  auto data = std::make_unique<SoundData>();
  const Value target = call.Arg(0);
  if (!target.IsNullish()) {
    data->hasOwner = true;
    DisplayObject* owner = target.IsObject() ? call.machine.AsDisplay(target.AsObject()) : nullptr;
    if (!owner && call.machine.HasPlayer()) {
      const std::string path = call.machine.ToString(target);
      if (call.machine.Throwing()) return {};
      // A path given as text is looked up again at each use, from the timeline whose
      // script uses the sound.
      data->ownerPath = path;
      data->ownerBase = call.machine.Target();
      data->callerRelative = true;
    } else if (owner) {
      data->ownerPath = owner->TargetPath();
    }
  }
  if (call.self->kind == NativeKind::Display) {
    Object* helper = call.machine.NewObject();
    helper->kind = NativeKind::Other;
    helper->native = std::move(data);
    call.self->Define(kClipSound, Value::Obj(helper), kDontEnum | kDontDelete | kReadOnly);
    return Value::Obj(call.self);
  }
  call.self->kind = NativeKind::Other;
  call.self->native = std::move(data);
  return Value::Obj(call.self);
}

Value AttachSound(Call& call) {
  SoundData* data = DataOf(call);
  if (!data || !call.machine.HasPlayer()) return {};
  // A sound whose clip cannot be found (renamed, removed) attaches nothing.
  if (data->hasOwner && !Owner(call.machine, *data)) return {};
  const std::string name = call.machine.ToString(call.Arg(0));
  const LoadedMovie* movie = MovieOf(call.machine, *data);
  const std::uint16_t id = movie ? movie->Exported(name) : 0;
  audio::SoundEvents* sounds = SoundsOf(call.machine);
  // The player's sound library holds the first movie's sounds (not those of movies
  // loaded into it later).
  const auto pcm = id && sounds && movie == call.machine.GetPlayer().RootMovie() ? sounds->DecodedSound(id) : nullptr;
  if (!pcm) return {};
  data->state = SoundData::State::Loaded;
  data->queued.clear();
  data->soundId = id;
  data->pcm = pcm;
  data->streaming = false;
  data->duration = pcm ? std::round(static_cast<double>(pcm->Frames()) * 1000.0 / audio::kMixRate) : 0;
  data->position = 0;
  DefineTimes(call.machine, call.self);
  return {};
}

Value Start(Call& call) {
  SoundData* data = DataOf(call);
  if (!data) return {};
  // Nor does it start while its clip cannot be found.
  if (data->hasOwner && call.machine.HasPlayer() && !Owner(call.machine, *data)) return {};
  QueuedStart start;
  start.offset = call.Count() > 0 ? call.machine.ToNumber(call.Arg(0)) : 0;
  if (std::isnan(start.offset)) start.offset = 0;
  const double loops = call.Count() > 1 ? call.machine.ToNumber(call.Arg(1)) : 1;
  start.loops = std::isnan(loops) || loops < 1 ? 1 : static_cast<int>(std::min(loops, 65535.0));
  if (data->state == SoundData::State::Loading) {
    data->queued.push_back(start);
  } else if (data->state == SoundData::State::Loaded) {
    Play(call.machine, call.self, *data, start);
  }
  return {};
}

Value Stop(Call& call) {
  SoundData* data = DataOf(call);
  audio::SoundEvents* sounds = SoundsOf(call.machine);
  if (!data || !sounds) return {};
  if (call.Count() > 0) {
    // stop(name): every instance of that exported sound.
    const LoadedMovie* movie = MovieOf(call.machine, *data);
    const std::uint16_t id = movie ? movie->Exported(call.machine.ToString(call.Arg(0))) : 0;
    if (id) {
      SoundInfo info;
      info.syncStop = true;
      sounds->StartSound(id, info);
    }
    return {};
  }
  if (!data->hasOwner) {
    sounds->StopAll();
  } else if (DisplayObject* owner = Owner(call.machine, *data)) {
    sounds->StopClip(GroupOf(owner));
  }
  if (data->instance) sounds->StopInstance(data->instance);
  return {};
}

Value GetVolume(Call& call) {
  SoundData* data = DataOf(call);
  const SoundTransform* t = data ? TransformOf(call.machine, *data) : nullptr;
  return t ? Value::Number(t->volume) : Value();
}

Value SetVolume(Call& call) {
  SoundData* data = DataOf(call);
  SoundTransform* t = data ? TransformOf(call.machine, *data) : nullptr;
  if (!t) return {};
  t->volume = call.Count() > 0 ? ClampToInt32(call.machine.ToNumber(call.Arg(0))) : 0;
  ApplyTransform(call.machine, *data);
  return {};
}

Value GetPan(Call& call) {
  SoundData* data = DataOf(call);
  const SoundTransform* t = data ? TransformOf(call.machine, *data) : nullptr;
  return t ? Value::Number(PanOf(*t)) : Value();
}

Value SetPan(Call& call) {
  SoundData* data = DataOf(call);
  SoundTransform* t = data ? TransformOf(call.machine, *data) : nullptr;
  if (!t) return {};
  const std::int32_t pan = call.Count() > 0 ? ClampToInt32(call.machine.ToNumber(call.Arg(0))) : 0;
  if (pan >= 0) {
    t->ll = Wrapping(100 - static_cast<std::int64_t>(pan));
    t->rr = 100;
  } else {
    t->ll = 100;
    t->rr = Wrapping(100 + static_cast<std::int64_t>(pan));
  }
  t->lr = t->rl = 0;
  ApplyTransform(call.machine, *data);
  return {};
}

Value GetTransform(Call& call) {
  SoundData* data = DataOf(call);
  const SoundTransform* t = data ? TransformOf(call.machine, *data) : nullptr;
  if (!t) return {};
  Object* object = call.machine.NewObject();
  call.machine.Set(object, "ll", Value::Number(t->ll));
  call.machine.Set(object, "lr", Value::Number(t->lr));
  call.machine.Set(object, "rr", Value::Number(t->rr));
  call.machine.Set(object, "rl", Value::Number(t->rl));
  return Value::Obj(object);
}

Value SetTransform(Call& call) {
  SoundData* data = DataOf(call);
  SoundTransform* t = data ? TransformOf(call.machine, *data) : nullptr;
  Object* from = call.Arg(0).AsObject();
  if (!t || !from) return {};
  // Only the object's own fields count; a field it lacks keeps its value.
  const bool caseSensitive = call.machine.CaseSensitive();
  auto take = [&](const char* name, int& field) {
    if (!from->FindOwn(name, caseSensitive)) return;
    field = ToInt32(call.machine.ToNumber(call.machine.Get(from, name)));
  };
  take("ll", t->ll);
  take("lr", t->lr);
  take("rl", t->rl);
  take("rr", t->rr);
  ApplyTransform(call.machine, *data);
  return {};
}

Value DurationGetter(Call& call) {
  SoundData* data = DataOf(call);
  return data && data->duration ? Value::Number(*data->duration) : Value();
}

Value PositionGetter(Call& call) {
  SoundData* data = DataOf(call);
  return data && data->state != SoundData::State::Empty ? Value::Number(data->position) : Value();
}

Value SetNothing(Call&) { return {}; }

Value LoadSound(Call& call) {
  SoundData* data = DataOf(call);
  if (!data || call.Count() == 0 || !call.machine.HasPlayer()) return {};
  const std::string url = call.machine.ToString(call.Arg(0));
  const bool streaming = call.machine.ToBoolean(call.Arg(1));
  audio::SoundEvents* sounds = SoundsOf(call.machine);
  if (streaming && sounds && data->instance) sounds->StopInstance(data->instance);
  data->streaming = streaming;
  data->state = SoundData::State::Loading;
  data->queued.clear();
  data->bytesLoaded = 0;
  data->bytesTotal.reset();
  const std::uint64_t serial = ++data->loadSerial;
  Object* self = call.self;
  MachineInterface* machine = &call.machine;
  // Web addresses come through the host's network like every load: the byte counts
  // grow as the file arrives.
  call.machine.GetPlayer().Fetch(
      url, "GET", "", nullptr, call.self,
      [self, serial](std::int64_t loaded, std::int64_t total) {
        SoundData* d = SoundDataOf(self);
        if (!d || d->loadSerial != serial) return;
        d->bytesLoaded = static_cast<double>(loaded);
        if (total > 0) d->bytesTotal = static_cast<double>(total);
      },
      [self, serial, machine](bool ok, const std::string& body) {
        MachineInterface& m = *machine;
        SoundData* d = SoundDataOf(self);
        if (!d || d->loadSerial != serial) return;  // a later loadSound replaced this one
        audio::LoadedSound loaded;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(body.data());
        if (ok) ok = audio::DecodeMp3File(std::span<const std::uint8_t>(bytes, body.size()), loaded, nullptr);
        if (!ok) {
          d->state = SoundData::State::Empty;
          d->queued.clear();
          const Value no = Value::Bool(false);
          m.CallMethod(Value::Obj(self), "onLoad", std::span<const Value>(&no, 1));
          return;
        }
        d->bytesLoaded = static_cast<double>(body.size());
        d->bytesTotal = static_cast<double>(body.size());
        d->state = SoundData::State::Loaded;
        d->soundId = 0;
        d->pcm = loaded.pcm;
        d->position = 0;
        const double length = std::round(loaded.milliseconds);
        // A streamed file starts by itself, and knows its length only once it is all there.
        d->duration = d->streaming ? 0 : length;
        DefineTimes(m, self);
        std::vector<QueuedStart> queued;
        queued.swap(d->queued);
        for (const QueuedStart& start : queued) Play(m, self, *d, start);
        if (d->streaming) Play(m, self, *d, QueuedStart());
        if (loaded.hasId3 && !loaded.id3.empty()) {
          if (!m.Has(self, "id3")) {
            Object* id3 = m.Rt().MakeObject(nullptr);
            for (const audio::Id3Frame& frame : loaded.id3) {
              // The ID3 1.0 names stand beside the frames they come from.
              static const std::pair<const char*, const char*> kAliases[] = {
                  {"COMM", "comment"}, {"TALB", "album"}, {"TCON", "genre"}, {"TIT2", "songname"},
                  {"TPE1", "artist"},  {"TRCK", "track"}, {"TYER", "year"}};
              for (const auto& [id, alias] : kAliases)
                if (frame.id == id) id3->Define(alias, m.Str(frame.text));
              if (frame.id == "COMM") {
                // Every comment of the tag, in order, in one array.
                const Property* known = id3->FindOwn("COMM", true);
                Object* list = known && known->value.IsObject() ? known->value.AsObject() : m.NewArray();
                if (ArrayData* array = list->Array()) array->elements.push_back(m.Str(frame.text));
                id3->Define("COMM", Value::Obj(list));
              } else {
                id3->Define(frame.id, m.Str(frame.text));
              }
            }
            self->Define("id3", Value::Obj(id3), kDontEnum | kDontDelete | kReadOnly);
          }
          const Value yes = Value::Bool(true);
          m.CallMethod(Value::Obj(self), "onID3", std::span<const Value>(&yes, 1));
        }
        d = SoundDataOf(self);
        if (d && d->loadSerial == serial) d->duration = length;
        const Value yes = Value::Bool(true);
        m.CallMethod(Value::Obj(self), "onLoad", std::span<const Value>(&yes, 1));
      });
  return {};
}

Value GetBytesLoaded(Call& call) {
  SoundData* data = DataOf(call);
  return data ? Value::Number(data->bytesLoaded) : Value();
}

Value GetBytesTotal(Call& call) {
  SoundData* data = DataOf(call);
  return data && data->bytesTotal ? Value::Number(*data->bytesTotal) : Value();
}

constexpr std::uint16_t kMethod = kDontEnum | kDontDelete | kReadOnly;

const Member kMethods[] = {
    {"getPan", GetPan, nullptr, kMethod, 500, 2},
    {"getTransform", GetTransform, nullptr, kMethod, 500, 7},
    {"getVolume", GetVolume, nullptr, kMethod, 500, 4},
    {"setPan", SetPan, nullptr, kMethod, 500, 3},
    {"setTransform", SetTransform, nullptr, kMethod, 500, 8},
    {"setVolume", SetVolume, nullptr, kMethod, 500, 5},
    {"stop", Stop, nullptr, kMethod, 500, 6},
    {"attachSound", AttachSound, nullptr, kMethod, 500, 0},
    {"start", Start, nullptr, kMethod, 500, 9},
    {"getDuration", DurationGetter, nullptr, kMethod | kVersion6},
    {"setDuration", SetNothing, nullptr, kMethod | kVersion6},
    {"getPosition", PositionGetter, nullptr, kMethod | kVersion6},
    {"setPosition", SetNothing, nullptr, kMethod | kVersion6},
    {"loadSound", LoadSound, nullptr, kMethod | kVersion6},
    {"getBytesLoaded", GetBytesLoaded, nullptr, kMethod | kVersion6},
    {"getBytesTotal", GetBytesTotal, nullptr, kMethod | kVersion6},
};

}  // namespace

void InstallSound(Runtime& rt) {
  Object* ctor = rt.MakeClass(Construct, Construct);
  rt.soundProto = Runtime::PrototypeOf(ctor);
  rt.AddMembers(rt.soundProto, kMethods);
  rt.global->Define("Sound", Value::Obj(ctor), kDontEnum);
  rt.prototypes["Sound"] = rt.soundProto;
  // The classes of video come with those of sound.
  InstallNetStream(rt);
  InstallVideo(rt);
}

}  // namespace vantrel::flash::avm1
