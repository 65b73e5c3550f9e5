#include "flash/avm1/builtins/builtins.h"
#include "flash/movie_clip.h"
#include "flash/movie_player.h"

namespace vantrel::flash::avm1 {

void InstallMouse(Runtime& rt) {
  const ObjectPtr mouse = rt.Make(Object::Kind::Plain, rt.objectProto);
  if (!mouse) return;
  rt.global->Set("Mouse", Value::Obj(mouse), false);
  MakeBroadcaster(rt, mouse);
  // show() and hide() answer whether the pointer was shown before the call.
  Method(rt, mouse, "show", [](Machine& m, const Value&, std::vector<Value>&) -> Value {
    if (!m.Timeline()) return Value::Undefined();
    MoviePlayer& player = m.Timeline()->Player();
    const bool was = player.mouseVisible;
    player.mouseVisible = true;
    return Value::Number(was ? 1 : 0);
  });
  Method(rt, mouse, "hide", [](Machine& m, const Value&, std::vector<Value>&) -> Value {
    if (!m.Timeline()) return Value::Undefined();
    MoviePlayer& player = m.Timeline()->Player();
    const bool was = player.mouseVisible;
    player.mouseVisible = false;
    return Value::Number(was ? 1 : 0);
  });
}

}  // namespace vantrel::flash::avm1
