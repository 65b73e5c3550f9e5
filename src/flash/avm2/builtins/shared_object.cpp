// flash.net.SharedObject: local shared objects, kept as .sol files in the store both
// machines share (script/shared_object_store.h) in the object's encoding, AMF3 unless a
// script asks for AMF0. getLocal gives the one object of a name and path for as long as
// the player runs; what its data holds is written by flush() and when the movie goes.
// Remote shared objects need a media server: getRemote, connect and send stay without
// behaviour.
#include <optional>

#include "flash/avm2/builtins/amf.h"
#include "flash/avm2/builtins/support.h"
#include "flash/display/player.h"
#include "flash/script/shared_object_store.h"

namespace vantrel::flash::avm2 {

namespace {

// a: the data object; b: the name; c: the object encoding; text: the place in the store;
// list: the client and the update rate a remote object would have.
NativeObject* Shared(Machine& m, const Value& self) {
  return Receiver<NativeObject>(m, self, ObjectKind::Other, "SharedObject");
}

std::string Folder(Machine& m) { return m.player ? m.player->Hooks().sharedObjectFolder : std::string(); }

// A ByteArray in the encoding, holding bytes, for the entries to be written and read
// the way writeObject and readObject do.
Value EntryBytes(Machine& m, std::uint32_t encoding, const std::string& bytes = {}) {
  Value array = Value::Obj(m.ConstructClass(m.FindClass("flash.utils.ByteArray"), nullptr, 0));
  auto* o = static_cast<NativeObject*>(array.object);
  o->c = Value::Number(encoding);
  o->text = bytes;
  return array;
}

// The enumerable names of the data object, in order.
std::vector<std::string> EntryNames(Object* data) {
  std::vector<std::string> names;
  for (const Object::Property& p : data->properties)
    if (!p.removed && p.enumerable) names.push_back(p.name);
  return names;
}

// The .sol file of the object: each entry's name, its value, a zero byte.
std::string SolOf(Machine& m, NativeObject* so) {
  const auto encoding = static_cast<std::uint32_t>(m.ToUint32(so->c));
  const Value bytes = EntryBytes(m, encoding);
  auto* out = static_cast<NativeObject*>(bytes.object);
  for (const std::string& name : EntryNames(so->a.object)) {
    if (encoding == kAmf3) {
      // The name as an AMF3 string written out (no reference): its length, shifted, and a 1.
      AppendU29(out->text, static_cast<std::uint32_t>(name.size()) << 1 | 1);
      out->text += name;
    } else {
      out->text.push_back(static_cast<char>(name.size() >> 8 & 0xFF));
      out->text.push_back(static_cast<char>(name.size() & 0xFF));
      out->text += name;
    }
    out->a = Value::Number(static_cast<double>(out->text.size()));
    m.CallPublic(bytes, "writeObject", {m.GetPublic(so->a, name)});
    out->text.push_back('\0');
    out->a = Value::Number(static_cast<double>(out->text.size()));
  }
  return script::SolFile(so->b.IsString() ? so->b.string->Text() : std::string(), static_cast<int>(encoding), out->text);
}

// Sets the entries of a .sol file on data, as far as they read cleanly.
void ReadEntries(Machine& m, const std::string& file, const Value& data) {
  const auto contents = script::ReadSolFile(file);
  if (!contents || (contents->amfVersion != 0 && contents->amfVersion != 3)) return;
  const auto encoding = static_cast<std::uint32_t>(contents->amfVersion);
  const Value bytes = EntryBytes(m, encoding, std::string(contents->body));
  auto* in = static_cast<NativeObject*>(bytes.object);
  const std::string& body = in->text;
  std::size_t at = 0;
  while (at < body.size()) {
    std::size_t length = 0;
    if (encoding == kAmf3) {
      // A name written out (a reference to an earlier one is past what this reads).
      std::uint32_t header = 0;
      if (!ReadU29(body, at, header) || !(header & 1)) return;
      length = header >> 1;
    } else {
      if (at + 2 > body.size()) return;
      length = static_cast<std::size_t>(static_cast<unsigned char>(body[at]) << 8 | static_cast<unsigned char>(body[at + 1]));
      at += 2;
    }
    if (at + length > body.size()) return;
    const std::string name = body.substr(at, length);
    at += length;
    in->a = Value::Number(static_cast<double>(at));
    Value value;
    try {
      value = m.CallPublic(bytes, "readObject", {});
    } catch (const Thrown&) {
      return;  // a damaged entry: what came before it stays
    }
    at = static_cast<std::size_t>(in->a.number);
    m.SetPublic(data, name, value);
    if (at >= body.size()) return;
    ++at;  // the zero after each entry
  }
}

// getLocal(name, localPath = null, secure = false): the object of that name for the
// movie's path (or the part of it localPath names), filled from the store.
Value GetLocal(Machine& m, const Value&, const Value* args, int argc) {
  const std::string name = StrArg(m, args, argc, 0, "null");
  const Value localPath = Arg(args, argc, 1);
  const std::string movieUrl = m.player && m.player->RootMovie() ? m.player->RootMovie()->url : std::string();
  const auto key = script::ValidSharedObjectName(name)
                       ? script::SharedObjectKey(movieUrl,
                                                 localPath.IsNullish() ? std::nullopt : std::optional<std::string>(m.ToString(localPath)),
                                                 name)
                       : std::nullopt;
  if (!key) m.ThrowError("Error", 2134, "Cannot create SharedObject.");
  if (const auto known = m.sharedObjects.find(*key); known != m.sharedObjects.end()) return Value::Obj(known->second);
  ClassObject* cls = m.FindClass("flash.net.SharedObject");
  Value self = Value::Obj(m.ConstructClass(cls, nullptr, 0));
  NativeObject* so = Shared(m, self);
  so->a = Value::Obj(m.NewObject());
  so->b = m.StrValue(name);
  so->text = *key;
  m.sharedObjects[*key] = so;
  std::string file;
  if (script::ReadSharedObject(Folder(m), *key, file)) ReadEntries(m, file, so->a);
  return self;
}

Object* AllocateShared(Machine& m, ClassObject* cls) {
  auto* o = m.heap.Make<NativeObject>(ObjectKind::Other, nullptr, nullptr);
  o->a = Value::Null();
  o->b = Value::Null();
  o->c = m.GetPublic(Value::Obj(cls), "defaultObjectEncoding");
  o->list = {Value::Obj(o), Value::Number(0)};
  return o;
}

Value Data(Machine& m, const Value& self, const Value*, int) { return Shared(m, self)->a; }

// flush(minDiskSpace = 0): "flushed", or Error #2130 when the store cannot take it.
Value Flush(Machine& m, const Value& self, const Value*, int) {
  NativeObject* so = Shared(m, self);
  if (!so->a.IsObject()) return m.StrValue("flushed");
  if (!script::WriteSharedObject(Folder(m), so->text, SolOf(m, so))) m.ThrowError("Error", 2130, "Unable to flush SharedObject.");
  return m.StrValue("flushed");
}

// size: the bytes the object takes in the store (0 while its data is empty).
Value Size(Machine& m, const Value& self, const Value*, int) {
  NativeObject* so = Shared(m, self);
  if (!so->a.IsObject() || EntryNames(so->a.object).empty()) return Value::Number(0);
  return Value::Number(static_cast<double>(SolOf(m, so).size()));
}

// clear(): empties the data and removes the object from the store.
Value Clear(Machine& m, const Value& self, const Value*, int) {
  NativeObject* so = Shared(m, self);
  if (so->a.IsObject())
    for (const std::string& name : EntryNames(so->a.object)) so->a.object->DeleteOwn(name);
  if (!so->text.empty()) script::RemoveSharedObject(Folder(m), so->text);
  return Value();
}

// setProperty(name, value = null): data[name] = value. setDirty tells a remote object's
// server of a change; a local object has none. close() ends a remote connection.
Value SetProperty(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* so = Shared(m, self);
  if (so->a.IsObject()) m.SetPublic(so->a, StrArg(m, args, argc, 0), argc > 1 ? args[1] : Value::Null());
  return Value();
}

Value GetEncoding(Machine& m, const Value& self, const Value*, int) { return Shared(m, self)->c; }
std::uint32_t EncodingArg(Machine& m, const Value* args, int argc) {
  const std::uint32_t encoding = m.ToUint32(Arg(args, argc, 0));
  if (encoding != kAmf0 && encoding != kAmf3) m.ThrowError("ArgumentError", 2008, "Parameter objectEncoding must be one of the accepted values.");
  return encoding;
}
Value SetEncoding(Machine& m, const Value& self, const Value* args, int argc) {
  Shared(m, self)->c = Value::Number(EncodingArg(m, args, argc));
  return Value();
}

// client (the object itself at first) and fps: kept for a remote object's server, which
// a local object does not have.
Value GetClient(Machine& m, const Value& self, const Value*, int) { return Shared(m, self)->list[0]; }
Value SetClient(Machine& m, const Value& self, const Value* args, int argc) {
  const Value client = Arg(args, argc, 0);
  if (!client.IsObject()) m.ThrowTypeError(2004, "One of the parameters is invalid.");
  Shared(m, self)->list[0] = client;
  return Value();
}
Value SetFps(Machine& m, const Value& self, const Value* args, int argc) {
  Shared(m, self)->list[1] = Value::Number(NumArg(m, args, argc, 0, NAN));
  return Value();
}

}  // namespace

void FlushSharedObjects(Machine& m) {
  const std::string folder = Folder(m);
  for (const auto& [key, object] : m.sharedObjects) {
    auto* so = static_cast<NativeObject*>(object);
    if (!so->a.IsObject() || EntryNames(so->a.object).empty()) continue;
    script::WriteSharedObject(folder, key, SolOf(m, so));
  }
}

void InstallSharedObject(Machine& m) {
  ClassObject* dispatcher = m.FindClass("flash.events.EventDispatcher");
  if (!dispatcher) return;
  ClassObject* cls = m.DefineClass("flash.net", "SharedObject", dispatcher);
  cls->allocate = AllocateShared;
  static const Member kMembers[] = {
      {"getLocal", GetLocal, nullptr, kStatic, 0, 3},
      {"data", Data, nullptr, kAccessor, 0},
      {"flush", Flush, nullptr, 0, 0, 1},
      {"size", Size, nullptr, kAccessor, 0},
      {"clear", Clear, nullptr, 0, 0},
      {"setProperty", SetProperty, nullptr, 0, 0, 2},
      {"setDirty", Nothing, nullptr, 0, 0, 1},
      {"close", Nothing, nullptr, 0, 0},
      {"objectEncoding", GetEncoding, SetEncoding, kAccessor, 0},
      {"client", GetClient, SetClient, kAccessor, 0},
      {"fps", nullptr, SetFps, kAccessor, 0},
  };
  Install(m, cls, kMembers);
  // defaultObjectEncoding: what new objects take (AMF3).
  AddStaticVariable(m, cls, "defaultObjectEncoding", Value::Number(kAmf3));
}

}  // namespace vantrel::flash::avm2
