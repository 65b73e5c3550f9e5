// SharedObject: local shared objects kept as .sol files (the AMF0 form with its
// "TCSO" header), one per name and path of the movie, under the player's folder for
// them. Without a folder (tests, tools) flushed data stays in memory for the process.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>

#include <unistd.h>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/builtins/shared_object.h"

namespace vantrel::flash::avm1 {

namespace {

namespace fs = std::filesystem;

// Flushed objects of players that keep no folder, by their storage key.
std::map<std::string, std::string>& MemoryStore() {
  static std::map<std::string, std::string> store;
  return store;
}

class SharedObjectData final : public NativeData {
 public:
  std::string name;  // as the movie named it
  std::string key;   // "<domain>/<path>/<name>.sol", relative to the folder
  Object* data = nullptr;
  void Trace(gc::Tracer& tracer) const override { tracer.Mark(data); }
};

SharedObjectData* SoOf(Call& call) { return call.self ? call.self->Data<SharedObjectData>() : nullptr; }

bool ValidName(std::string_view name) {
  if (name.empty()) return false;
  for (const char c : name) {
    if (std::string_view("~%&\\;:\"',<>?# ").find(c) != std::string_view::npos || static_cast<unsigned char>(c) < 32)
      return false;
  }
  return name.find("..") == std::string_view::npos;
}

// Keeps the parts of a path that are safe as folder names ("." and ".." dropped).
std::string CleanPath(std::string_view path) {
  std::string out;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (!part.empty() && part != "." && part != ".." && part.find(':') == std::string_view::npos) {
      out += std::string(part) + "/";
    }
    start = end + 1;
  }
  return out;
}

// "<domain>/<path>/": the movie's host ("localhost" for files) and its path, or the
// part of it the movie asked for with localPath. Empty when localPath is no prefix of
// the movie's own path.
std::optional<std::string> StoragePrefix(const std::string& movieUrl, const Value& localPathValue, MachineInterface& machine) {
  std::string domain = "localhost";
  std::string path = movieUrl;
  const std::size_t scheme = movieUrl.find("://");
  if (scheme != std::string::npos) {
    const std::string rest = movieUrl.substr(scheme + 3);
    const std::size_t slash = rest.find('/');
    if (movieUrl.compare(0, scheme, "file") != 0) domain = rest.substr(0, slash);
    path = slash == std::string::npos ? std::string("/") : rest.substr(slash);
  }
  const std::size_t query = path.find_first_of("?#");
  if (query != std::string::npos) path.resize(query);
  // A movie opened by a relative path lives at its absolute one.
  if (scheme == std::string::npos && !path.empty() && path[0] != '/') {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    if (!error) path = absolute.lexically_normal().string();
  }
  if (!localPathValue.IsNullish()) {
    const std::string localPath = machine.ToString(localPathValue);
    if (path.compare(0, localPath.size(), localPath) != 0) return std::nullopt;
    path = localPath;
  }
  const std::string cleanDomain = CleanPath(domain);
  return (cleanDomain.empty() ? std::string("localhost/") : cleanDomain) + CleanPath(path);
}

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
  AmfWriter head(machine);
  std::string& h = head.Bytes();
  h.append("TCSO", 4);
  h.append("\x00\x04\x00\x00\x00\x00", 6);
  head.WriteShortString(name);
  h.append("\x00\x00\x00\x00", 4);  // padding and the AMF version (0)
  const std::size_t length = h.size() + body.Bytes().size();
  std::string file("\x00\xBF", 2);
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<char>((length >> shift) & 0xFF));
  return file + h + body.Bytes();
}

bool ReadSolFile(MachineInterface& machine, std::string_view bytes, Object* data) {
  if (bytes.size() < 6 || static_cast<unsigned char>(bytes[0]) != 0x00 || static_cast<unsigned char>(bytes[1]) != 0xBF)
    return false;
  AmfReader reader(machine, bytes.substr(6));
  reader.CountRoot(data);
  std::optional<std::uint8_t> c1 = reader.ReadU8(), c2 = reader.ReadU8(), c3 = reader.ReadU8(), c4 = reader.ReadU8();
  if (!c4 || *c1 != 'T' || *c2 != 'C' || *c3 != 'S' || *c4 != 'O') return false;
  if (!reader.Skip(6) || !reader.ReadShortString() || !reader.Skip(4)) return false;
  while (!reader.AtEnd()) {
    const auto name = reader.ReadShortString();
    if (!name) return false;
    const auto value = reader.ReadValue();
    if (!value) return false;
    machine.Set(data, *name, *value);
    if (!reader.ReadU8()) return false;
  }
  // A file cut between two entries reads cleanly but is shorter than its header says.
  std::uint32_t declared = 0;
  for (int i = 2; i < 6; ++i) declared = (declared << 8) | static_cast<unsigned char>(bytes[i]);
  return declared == bytes.size() - 6;
}

bool WriteFileAtomically(const std::string& target, const std::string& bytes) {
  const fs::path path(target);
  std::error_code error;
  fs::create_directories(path.parent_path(), error);
  if (error) return false;
  const fs::path temp = path.string() + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      out.close();
      fs::remove(temp, error);
      return false;
    }
  }
  fs::rename(temp, path, error);
  if (error) {
    fs::remove(temp, error);
    return false;
  }
  return true;
}

}  // namespace data

namespace {

bool ReadFile(const fs::path& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  out = buffer.str();
  return true;
}

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
  if (!ValidName(name)) return Value::Null();
  const auto prefix = StoragePrefix(m.MovieUrl(), call.Arg(1), m);
  if (!prefix) return Value::Null();
  const std::string key = *prefix + name + ".sol";

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

  std::string bytes;
  const std::string folder = m.SharedObjectFolder();
  bool found = false;
  if (folder.empty()) {
    const auto it = MemoryStore().find(key);
    if (it != MemoryStore().end()) {
      bytes = it->second;
      found = true;
    }
  } else {
    found = ReadFile(fs::path(folder) / key, bytes);
  }
  // A damaged file reads as far as it goes; the movie starts from what it holds.
  if (found) data::ReadSolFile(m, bytes, dataObject);
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
  const std::string folder = m.SharedObjectFolder();
  if (folder.empty()) {
    MemoryStore()[so->key] = bytes;
    return Value::Bool(true);
  }
  return Value::Bool(data::WriteFileAtomically((fs::path(folder) / so->key).string(), bytes));
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
  const std::string folder = call.machine.SharedObjectFolder();
  if (folder.empty()) {
    MemoryStore().erase(so->key);
  } else {
    std::error_code error;
    fs::remove(fs::path(folder) / so->key, error);
  }
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
    const std::string folder = machine.SharedObjectFolder();
    if (folder.empty()) {
      MemoryStore()[so->key] = bytes;
    } else {
      data::WriteFileAtomically((fs::path(folder) / so->key).string(), bytes);
    }
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
