// SharedObject: local shared objects kept as .sol files (the AMF0 form with its
// "TCSO" header), one per name and path of the movie, under the player's folder for
// them. Without a folder (tests, tools) flushed data stays in memory for the process.
#include <optional>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/builtins/shared_object.h"
#include "flash/script/shared_object_store.h"

namespace vantrel::flash::avm1 {

namespace {

class SharedObjectData final : public NativeData {
 public:
  std::string name;  // as the movie named it
  std::string key;   // "<domain>/<path>/<name>.sol", relative to the folder
  Object* data = nullptr;
  void Trace(gc::Tracer& tracer) const override { tracer.Mark(data); }
};

SharedObjectData* SoOf(Call& call) { return call.self ? call.self->Data<SharedObjectData>() : nullptr; }

}  // namespace

namespace data {

std::string SolFile(MachineInterface& machine, std::string_view name, Object* dataObject) {
  AmfWriter body(machine);
  body.CountRoot(dataObject);
  std::vector<std::string> names;
  for (const Property& p : dataObject->Properties()) {
    if (!(p.attributes & kDontEnum)) names.push_back(p.name);
  }
  for (const std::string& entry : names) {
    const Value value = machine.Get(dataObject, entry);
    if (machine.Throwing()) return {};
    body.WriteEntry(entry, value);
    body.Bytes().push_back('\0');
  }
  return script::SolFile(name, 0, body.Bytes());
}

bool ReadSolFile(MachineInterface& machine, std::string_view bytes, Object* data) {
  const auto contents = script::ReadSolFile(bytes);
  if (!contents) return false;
  AmfReader reader(machine, contents->body);
  reader.CountRoot(data);
  while (!reader.AtEnd()) {
    const auto name = reader.ReadShortString();
    if (!name) return false;
    const auto value = reader.ReadValue();
    if (!value) return false;
    machine.Set(data, *name, *value);
    if (!reader.ReadU8()) return false;
  }
  // A file cut between two entries reads cleanly but is shorter than its header says.
  return !contents->damaged;
}

}  // namespace data

namespace {

Object* Cache(MachineInterface& machine) {
  Object* ctor = data::ConstructorOf(machine.Rt(), "SharedObject");
  if (!ctor) return nullptr;
  Property* p = ctor->FindOwn("_cache", true);
  if (p && p->value.IsObject()) return p->value.AsObject();
  Object* cache = machine.NewObject();
  ctor->Define("_cache", Value::Obj(cache), kDontEnum | kDontDelete);
  return cache;
}

// The player defines this class in script: its constructor sets up `this` and returns
// nothing (super() of a subclass answers undefined).
Value Construct(Call&) { return {}; }

Value GetLocal(Call& call) {
  MachineInterface& m = call.machine;
  const std::string name = m.ToString(call.Arg(0));
  if (!script::ValidSharedObjectName(name)) return Value::Null();
  const Value localPath = call.Arg(1);
  const auto found = script::SharedObjectKey(
      m.MovieUrl(), localPath.IsNullish() ? std::nullopt : std::optional<std::string>(m.ToString(localPath)), name);
  if (!found) return Value::Null();
  const std::string& key = *found;

  Object* cache = Cache(m);
  if (cache) {
    if (const Property* known = cache->FindOwn(key, true); known && known->value.IsObject()) return known->value;
  }
  Object* object = data::NewInstance(m, "SharedObject");
  auto native = std::make_unique<SharedObjectData>();
  native->name = name;
  native->key = key;
  native->data = m.NewObject();
  Object* dataObject = native->data;
  object->kind = NativeKind::Other;
  object->native = std::move(native);
  object->Define("data", Value::Obj(dataObject), kDontDelete);

  // A damaged file reads as far as it goes; the movie starts from what it holds.
  std::string bytes;
  if (script::ReadSharedObject(m.SharedObjectFolder(), key, bytes)) data::ReadSolFile(m, bytes, dataObject);
  if (cache) cache->Define(key, Value::Obj(object), kDontEnum);
  return Value::Obj(object);
}

bool HasData(const SharedObjectData& so) {
  for (const Property& p : so.data->Properties()) {
    if (!(p.attributes & kDontEnum)) return true;
  }
  return false;
}

Value Flush(Call& call) {
  SharedObjectData* so = SoOf(call);
  if (!so) return Value();
  MachineInterface& m = call.machine;
  const std::string bytes = data::SolFile(m, so->name, so->data);
  if (m.Throwing()) return Value();
  return Value::Bool(script::WriteSharedObject(m.SharedObjectFolder(), so->key, bytes));
}

Value GetSize(Call& call) {
  SharedObjectData* so = SoOf(call);
  if (!so) return Value();
  if (!HasData(*so)) return Value::Number(0);
  return Value::Number(static_cast<double>(data::SolFile(call.machine, so->name, so->data).size()));
}

Value Clear(Call& call) {
  SharedObjectData* so = SoOf(call);
  if (!so) return Value();
  std::vector<std::string> names;
  for (const Property& p : so->data->Properties()) names.push_back(p.name);
  for (const std::string& name : names) so->data->DeleteOwn(name, true);
  script::RemoveSharedObject(call.machine.SharedObjectFolder(), so->key);
  return Value();
}

}  // namespace

void FlushSharedObjects(MachineInterface& machine) {
  Object* cache = Cache(machine);
  if (!cache) return;
  std::vector<Object*> objects;
  for (const Property& p : cache->Properties()) {
    if (Object* o = p.value.AsObject()) objects.push_back(o);
  }
  for (Object* object : objects) {
    SharedObjectData* so = object->Data<SharedObjectData>();
    if (!so || !HasData(*so)) continue;
    const std::string bytes = data::SolFile(machine, so->name, so->data);
    if (machine.Throwing() || bytes.empty()) continue;
    script::WriteSharedObject(machine.SharedObjectFolder(), so->key, bytes);
  }
}

void InstallSharedObject(Runtime& rt) {
  Object* sharedObject = rt.MakeClass(Construct, nullptr);
  data::RegisterClass(rt, rt.global, "SharedObject", sharedObject);
  static const Member statics[] = {
      {"getLocal", GetLocal},
  };
  rt.AddMembers(sharedObject, statics);
  static const Member members[] = {
      {"flush", Flush},
      {"getSize", GetSize},
      {"clear", Clear},
  };
  rt.AddMembers(data::PrototypeOf(sharedObject), members);
}

}  // namespace vantrel::flash::avm1
