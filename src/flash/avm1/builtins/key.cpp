#include "flash/avm1/builtins/builtins.h"
#include "flash/movie_clip.h"
#include "flash/movie_player.h"

namespace vantrel::flash::avm1 {

namespace {

MoviePlayer* PlayerOf(Machine& m) { return m.Timeline() ? &m.Timeline()->Player() : nullptr; }

int CodeArgument(Machine& m, const std::vector<Value>& args) {
  return args.empty() ? -1 : ToInt32(ToNumber(args[0], m.Version()));
}

}  // namespace

void InstallKey(Runtime& rt) {
  const ObjectPtr key = rt.Make(Object::Kind::Plain, rt.objectProto);
  if (!key) return;
  rt.global->Set("Key", Value::Obj(key), false);
  static constexpr std::pair<const char*, int> kCodes[] = {
      {"ALT", 18},     {"BACKSPACE", 8}, {"CAPSLOCK", 20}, {"CONTROL", 17}, {"DELETEKEY", 46},
      {"DOWN", 40},    {"END", 35},      {"ENTER", 13},    {"ESCAPE", 27},  {"HOME", 36},
      {"INSERT", 45},  {"LEFT", 37},     {"PGDN", 34},     {"PGUP", 33},    {"RIGHT", 39},
      {"SHIFT", 16},   {"SPACE", 32},    {"TAB", 9},       {"UP", 38},
  };
  for (const auto& [name, code] : kCodes) key->Set(name, Value::Number(code), false);
  MakeBroadcaster(rt, key);
  Method(rt, key, "isDown", [](Machine& m, const Value&, std::vector<Value>& args) -> Value {
    MoviePlayer* player = PlayerOf(m);
    return Value::Bool(player && player->KeyIsDown(CodeArgument(m, args)));
  });
  Method(rt, key, "isToggled", [](Machine& m, const Value&, std::vector<Value>& args) -> Value {
    MoviePlayer* player = PlayerOf(m);
    return Value::Bool(player && player->KeyIsToggled(CodeArgument(m, args)));
  });
  Method(rt, key, "getCode", [](Machine& m, const Value&, std::vector<Value>&) -> Value {
    MoviePlayer* player = PlayerOf(m);
    return Value::Number(player ? player->LastKeyCode() : 0);
  });
  Method(rt, key, "getAscii", [](Machine& m, const Value&, std::vector<Value>&) -> Value {
    MoviePlayer* player = PlayerOf(m);
    return Value::Number(player ? player->LastAscii() : 0);
  });
}

}  // namespace vantrel::flash::avm1
