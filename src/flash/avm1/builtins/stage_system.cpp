#include "flash/avm1/builtins/builtins.h"

namespace vantrel::flash::avm1 {

void InstallStage(Runtime& rt) {
  const ObjectPtr stage = rt.Make(Object::Kind::Plain, rt.objectProto);
  if (!stage) return;
  rt.global->Set("Stage", Value::Obj(stage), false);
  MakeBroadcaster(rt, stage);
}

void InstallSystem(Runtime& rt) {
  const ObjectPtr system = rt.Make(Object::Kind::Plain, rt.objectProto);
  const ObjectPtr ime = rt.Make(Object::Kind::Plain, rt.objectProto);
  if (!system || !ime) return;
  rt.global->Set("System", Value::Obj(system), false);
  system->Set("IME", Value::Obj(ime), false);
  MakeBroadcaster(rt, ime);
}

void InstallMovieClipLoader(Runtime& rt) {
  const ObjectPtr proto = rt.Make(Object::Kind::Plain, rt.objectProto);
  Runtime* runtime = &rt;
  const ObjectPtr constructor = rt.MakeNative([runtime](Machine&, const Value& self, std::vector<Value>&) -> Value {
    if (self.type == Value::Type::Object) MakeBroadcaster(*runtime, self.object);
    return Value::Undefined();
  });
  if (!proto || !constructor) return;
  constructor->className = "MovieClipLoader";
  constructor->Set("prototype", Value::Obj(proto), false);
  proto->Set("constructor", Value::Obj(constructor), false);
  rt.global->Set("MovieClipLoader", Value::Obj(constructor), false);
}

}  // namespace vantrel::flash::avm1
