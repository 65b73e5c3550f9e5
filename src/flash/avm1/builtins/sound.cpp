// Sound: the script side of event sounds (attachSound, start, stop, volume and pan as
// scripts read them back); the mixer plays what starts through the movie's sounds.
#include <cmath>

#include "flash/audio/sound_events.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/display/player.h"

namespace vantrel::flash::avm1 {

namespace {

class SoundData final : public NativeData {
 public:
  DisplayObject* target = nullptr;
  std::uint16_t soundId = 0;
  double volume = 100, pan = 0;
  Object* transform = nullptr;
  void Trace(gc::Tracer& tracer) const override {
    tracer.Mark(target);
    tracer.Mark(transform);
  }
};

SoundData* DataOf(Call& call) { return call.self ? call.self->Data<SoundData>() : nullptr; }

Value Construct(Call& call) {
  if (!call.self) return {};
  auto data = std::make_unique<SoundData>();
  if (Object* o = call.Arg(0).AsObject()) data->target = call.machine.AsDisplay(o);
  call.self->kind = NativeKind::Other;
  call.self->native = std::move(data);
  return Value::Obj(call.self);
}

Value AttachSound(Call& call) {
  SoundData* data = DataOf(call);
  if (!data || !call.machine.HasPlayer()) return {};
  const LoadedMovie* movie =
      data->target ? data->target->Movie() : call.machine.GetPlayer().RootMovie();
  const std::uint16_t id = movie->Exported(call.machine.ToString(call.Arg(0)));
  const auto character = id ? movie->Find(id) : nullptr;
  if (character && character->Kind() == CharacterKind::Sound) data->soundId = id;
  return {};
}

Value Start(Call& call) {
  SoundData* data = DataOf(call);
  if (!data || !data->soundId || !call.machine.HasPlayer()) return {};
  audio::SoundEvents* sounds = call.machine.GetPlayer().sounds;
  if (!sounds) return {};
  audio::SoundInfo info;
  const double offset = call.machine.ToNumber(call.Arg(0));
  if (!std::isnan(offset) && offset > 0) info.inPoint = static_cast<std::uint32_t>(offset * 44100);
  const double loops = call.machine.ToNumber(call.Arg(1));
  if (!std::isnan(loops) && loops > 1) info.loops = static_cast<int>(std::min(loops, 65535.0));
  sounds->StartSound(data->soundId, info);
  return {};
}

Value Stop(Call& call) {
  if (!call.machine.HasPlayer()) return {};
  SoundData* data = DataOf(call);
  audio::SoundEvents* sounds = call.machine.GetPlayer().sounds;
  if (!sounds) return {};
  if (data && call.Count() > 0) {
    const LoadedMovie* movie = data->target ? data->target->Movie() : call.machine.GetPlayer().RootMovie();
    const std::uint16_t id = movie->Exported(call.machine.ToString(call.Arg(0)));
    if (id) {
      audio::SoundInfo info;
      info.syncStop = true;
      sounds->StartSound(id, info);
    }
    return {};
  }
  sounds->StopAll();
  return {};
}

Value GetVolume(Call& call) {
  SoundData* data = DataOf(call);
  return data ? Value::Number(data->volume) : Value();
}
Value SetVolume(Call& call) {
  SoundData* data = DataOf(call);
  const double v = call.machine.ToNumber(call.Arg(0));
  if (data && !std::isnan(v)) data->volume = std::trunc(v);
  return {};
}
Value GetPan(Call& call) {
  SoundData* data = DataOf(call);
  return data ? Value::Number(data->pan) : Value();
}
Value SetPan(Call& call) {
  SoundData* data = DataOf(call);
  const double v = call.machine.ToNumber(call.Arg(0));
  if (data && !std::isnan(v)) data->pan = std::trunc(v);
  return {};
}
Value GetTransform(Call& call) {
  SoundData* data = DataOf(call);
  if (!data) return {};
  Object* t = call.machine.NewObject();
  const double left = data->pan > 0 ? 100 - data->pan : 100, right = data->pan < 0 ? 100 + data->pan : 100;
  t->Define("ll", Value::Number(left));
  t->Define("lr", Value::Number(0));
  t->Define("rr", Value::Number(right));
  t->Define("rl", Value::Number(0));
  return Value::Obj(t);
}
Value SetTransform(Call& call) {
  SoundData* data = DataOf(call);
  Object* t = call.Arg(0).AsObject();
  if (!data || !t) return {};
  const double ll = call.machine.ToNumber(call.machine.Get(t, "ll"));
  const double rr = call.machine.ToNumber(call.machine.Get(t, "rr"));
  if (!std::isnan(ll) && !std::isnan(rr)) data->pan = ll >= rr ? -(100 - rr) : (100 - ll);
  return {};
}
Value Zero(Call&) { return Value::Number(0); }

const Member kMethods[] = {
    {"attachSound", AttachSound, nullptr, kDontEnum, 500, 0},
    {"start", Start, nullptr, kDontEnum, 500, 9},
    {"stop", Stop, nullptr, kDontEnum, 500, 6},
    {"getVolume", GetVolume, nullptr, kDontEnum, 500, 4},
    {"setVolume", SetVolume, nullptr, kDontEnum, 500, 5},
    {"getPan", GetPan, nullptr, kDontEnum, 500, 2},
    {"setPan", SetPan, nullptr, kDontEnum, 500, 3},
    {"getTransform", GetTransform, nullptr, kDontEnum, 500, 7},
    {"setTransform", SetTransform, nullptr, kDontEnum, 500, 8},
    {"getDuration", Zero, nullptr, kDontEnum | kVersion6},
    {"getPosition", Zero, nullptr, kDontEnum | kVersion6},
    {"duration", Zero, nullptr, kDontEnum | kVersion6 | kGetterOnly},
    {"position", Zero, nullptr, kDontEnum | kVersion6 | kGetterOnly},
};

}  // namespace

void InstallSound(Runtime& rt) {
  Object* ctor = rt.MakeClass(Construct, Construct);
  rt.soundProto = Runtime::PrototypeOf(ctor);
  rt.AddMembers(rt.soundProto, kMethods);
  rt.global->Define("Sound", Value::Obj(ctor), kDontEnum);
  rt.prototypes["Sound"] = rt.soundProto;
}

}  // namespace vantrel::flash::avm1
