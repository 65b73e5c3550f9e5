// flash.net.FileReference and FileReferenceList: files the user picks in the player's
// file dialog (browse), and downloads saved where the user says. Both broadcast their
// events to listeners (addListener): onSelect and onCancel when the dialog closes, then
// for a download onOpen, onProgress, onComplete or onIOError. The dialog is answered
// after the script that opened it, from the frame loop; while it is open, the same
// object opens no second one.
#include <sys/stat.h>

#include <fcntl.h>

#include <cctype>
#include <filesystem>

#include "flash/avm1/builtins/broadcast_setup.h"
#include "flash/avm1/builtins/broadcaster.h"
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/builtins/file_dialog.h"
#include "flash/script/shared_object_store.h"

namespace vantrel::flash::avm1 {

FileDialogHook& FileDialog() {
  static FileDialogHook hook;
  return hook;
}

namespace {

namespace fs = std::filesystem;

// What a FileReference knows of its file once one was chosen.
struct ChosenFile {
  std::string path, name, type;
  double size = 0, created = 0, modified = 0;  // bytes; milliseconds since 1970
};

class FileData final : public NativeData {
 public:
  bool dialogOpen = false;
  bool chosen = false;
  ChosenFile file;
  unsigned transfer = 0;  // numbers the downloads; cancel() moves on so a running one is dropped
};

FileData* DataOf(Object* object) { return object ? object->Data<FileData>() : nullptr; }
FileData* DataOf(Call& call) { return DataOf(call.thisValue.AsObject()); }

ChosenFile Describe(const std::string& path) {
  ChosenFile file;
  file.path = path;
  const fs::path p(path);
  file.name = p.filename().string();
  file.type = p.extension().string();
  struct statx info {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_SIZE | STATX_MTIME | STATX_BTIME, &info) == 0) {
    auto ms = [](const statx_timestamp& t) { return static_cast<double>(t.tv_sec) * 1000 + t.tv_nsec / 1000000; };
    file.size = static_cast<double>(info.stx_size);
    file.modified = ms(info.stx_mtime);
    file.created = (info.stx_mask & STATX_BTIME) ? ms(info.stx_btime) : file.modified;
  }
  return file;
}

Value MakeDate(MachineInterface& machine, double ms) {
  Object* ctor = machine.Get(machine.Rt().global, "Date").AsObject();
  const Value time = Value::Number(ms);
  Object* date = ctor ? machine.Construct(ctor, std::span<const Value>(&time, 1)) : nullptr;
  return date ? Value::Obj(date) : Value();
}

void Tell(MachineInterface& machine, Object* target, const char* event, std::vector<Value> extra = {}) {
  std::vector<Value> args{Value::Obj(target)};
  args.insert(args.end(), extra.begin(), extra.end());
  BroadcastMessage(machine, target, event, args);
}

// ---- the filters of browse ----

// A filter's own field as text: nullopt when it is missing, empty or its getter fails
// (the failure is ignored); an exception of its toString goes on to the script.
std::optional<std::string> FilterField(MachineInterface& machine, Object* filter, const char* name, bool& threw) {
  const Property* own = filter->FindOwn(name, machine.CaseSensitive());
  if (!own) return std::nullopt;
  Value value = own->value;
  if (own->IsAccessor()) {
    value = machine.CallFunction(Value::Obj(own->getter), Value::Obj(filter), {});
    if (machine.Throwing()) {
      if (!machine.DropThrown()) threw = true;
      return std::nullopt;
    }
  }
  if (value.IsUndefined()) return std::nullopt;
  std::string text = machine.ToString(value);
  if (machine.Throwing()) {
    threw = true;
    return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  return text;
}

// Reads browse's type list: no argument means every file; otherwise a non-empty array
// of objects, each with its own non-empty description and extension. False when the
// list is refused (or a conversion threw: then the exception goes on).
bool ReadFilters(Call& call, std::vector<FileDialogRequest::Filter>& filters) {
  if (call.Count() == 0) return true;
  Object* list = call.Arg(0).AsObject();
  if (!list || !list->IsArray()) return false;
  MachineInterface& m = call.machine;
  const double length = m.ToNumber(m.Get(list, "length"));
  if (!(length > 0)) return false;
  bool valid = true;
  for (double i = 0; i < length; ++i) {
    Object* filter = m.Get(list, NumberToString(i)).AsObject();
    if (!filter) return false;
    bool threw = false;
    const auto description = FilterField(m, filter, "description", threw);
    if (threw) return false;
    const auto extension = FilterField(m, filter, "extension", threw);
    if (threw) return false;
    FilterField(m, filter, "macType", threw);  // read as the player does; not used here
    if (threw) return false;
    if (!description || !extension) {
      valid = false;
      continue;
    }
    filters.push_back({*description, *extension});
  }
  return valid;
}

// Opens the dialog for object (once it is answered, chosen gets the files; an empty
// list is a cancel). False when object's dialog is still open.
bool OpenDialog(MachineInterface& machine, Object* object, FileDialogRequest request,
                std::function<void(MachineInterface&, const std::vector<std::string>&)> chosen) {
  FileData* data = DataOf(object);
  if (!data || data->dialogOpen) return false;
  data->dialogOpen = true;
  machine.RunLater(
      [object, request = std::move(request), chosen = std::move(chosen)](MachineInterface& machine) {
        FileData* data = DataOf(object);
        if (!data) return;
        data->dialogOpen = false;
        std::vector<std::string> paths;
        if (FileDialog()) paths = FileDialog()(request);
        chosen(machine, paths);
      },
      object);
  return true;
}

// ---- FileReference ----

Value FileGetter(Call& call, Value (*read)(MachineInterface&, const ChosenFile&)) {
  FileData* data = DataOf(call);
  return data && data->chosen ? read(call.machine, data->file) : Value();
}

Value Name(Call& call) {
  return FileGetter(call, [](MachineInterface& m, const ChosenFile& f) { return m.Str(f.name); });
}
Value Type(Call& call) {
  return FileGetter(call, [](MachineInterface& m, const ChosenFile& f) { return f.type.empty() ? Value() : m.Str(f.type); });
}
Value Size(Call& call) {
  return FileGetter(call, [](MachineInterface&, const ChosenFile& f) { return Value::Number(f.size); });
}
Value CreationDate(Call& call) {
  return FileGetter(call, [](MachineInterface& m, const ChosenFile& f) { return MakeDate(m, f.created); });
}
Value ModificationDate(Call& call) {
  return FileGetter(call, [](MachineInterface& m, const ChosenFile& f) { return MakeDate(m, f.modified); });
}
// Only files of classic Mac systems have a creator.
Value Creator(Call&) { return {}; }

Value Browse(Call& call) {
  Object* self = call.thisValue.AsObject();
  FileDialogRequest request;
  if (!DataOf(self) || !ReadFilters(call, request.filters)) return Value::Bool(false);
  return Value::Bool(OpenDialog(call.machine, self, std::move(request),
                                [self](MachineInterface& machine, const std::vector<std::string>& paths) {
                                  FileData* data = DataOf(self);
                                  if (paths.empty() || !data) return Tell(machine, self, "onCancel");
                                  data->chosen = true;
                                  data->file = Describe(paths.front());
                                  Tell(machine, self, "onSelect");
                                }));
}

// download(url, defaultName): url must be a full address, "scheme://" and more.
bool FullAddress(const std::string& url) {
  const std::size_t end = url.find("://");
  if (end == std::string::npos || end == 0 || !std::isalpha(static_cast<unsigned char>(url[0]))) return false;
  for (std::size_t i = 1; i < end; ++i) {
    const char c = url[i];
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
  }
  return url.size() > end + 3;
}

void Fetch(MachineInterface& machine, Object* self, const std::string& url, const std::string& target) {
  FileData* data = DataOf(self);
  if (!data) return;
  const unsigned transfer = ++data->transfer;
  Tell(machine, self, "onOpen");
  machine.LoadData(
      url, "GET", "",
      [self, target, transfer](MachineInterface& machine, bool ok, const std::string& body) {
        FileData* data = DataOf(self);
        if (!data || data->transfer != transfer) return;  // cancelled meanwhile
        if (!ok || !script::WriteFileAtomically(target, body)) return Tell(machine, self, "onIOError");
        data->file = Describe(target);
        const double size = static_cast<double>(body.size());
        Tell(machine, self, "onProgress", {Value::Number(size), Value::Number(size)});
        Tell(machine, self, "onComplete");
      },
      self);
}

Value Download(Call& call) {
  Object* self = call.thisValue.AsObject();
  if (!DataOf(self) || call.Count() == 0) return Value::Bool(false);
  const std::string url = call.machine.ToString(call.Arg(0));
  if (!FullAddress(url)) return Value::Bool(false);
  FileDialogRequest request;
  request.kind = FileDialogRequest::Kind::Save;
  request.defaultName = call.Count() > 1 ? call.machine.ToString(call.Arg(1)) : fs::path(url).filename().string();
  return Value::Bool(OpenDialog(call.machine, self, std::move(request),
                                [self, url](MachineInterface& machine, const std::vector<std::string>& paths) {
                                  FileData* data = DataOf(self);
                                  if (paths.empty() || !data) return Tell(machine, self, "onCancel");
                                  data->chosen = true;
                                  data->file = Describe(paths.front());
                                  data->file.name = fs::path(paths.front()).filename().string();
                                  data->file.type = fs::path(paths.front()).extension().string();
                                  Tell(machine, self, "onSelect");
                                  Fetch(machine, self, url, paths.front());
                                }));
}

// Uploading needs a multipart request the network layer does not make: refused.
Value Upload(Call&) { return Value::Bool(false); }
// Drops the download under way: its data is neither written nor announced.
Value Cancel(Call& call) {
  if (FileData* data = DataOf(call)) ++data->transfer;
  return {};
}

// The player defines this class in script: its constructor sets up `this` and returns
// nothing (super() of a subclass answers undefined).
Value FileConstruct(Call& call) {
  if (!call.self) return {};
  call.self->kind = NativeKind::Other;
  call.self->native = std::make_unique<FileData>();
  InitializeBroadcaster(call.machine, call.self);
  return {};
}

// ---- FileReferenceList ----

Value ListBrowse(Call& call) {
  Object* self = call.thisValue.AsObject();
  FileDialogRequest request;
  request.kind = FileDialogRequest::Kind::OpenMany;
  if (!DataOf(self) || !ReadFilters(call, request.filters)) return Value::Bool(false);
  return Value::Bool(OpenDialog(
      call.machine, self, std::move(request), [self](MachineInterface& machine, const std::vector<std::string>& paths) {
        if (paths.empty()) return Tell(machine, self, "onCancel");
        Object* ctor = data::ConstructorOf(machine.Rt(), "flash.net.FileReference");
        std::vector<Value> files;
        for (const std::string& path : paths) {
          Object* file = ctor ? machine.Construct(ctor, {}) : nullptr;
          FileData* data = DataOf(file);
          if (!data) continue;
          data->chosen = true;
          data->file = Describe(path);
          files.push_back(Value::Obj(file));
        }
        machine.Set(self, "fileList", Value::Obj(machine.NewArray(std::move(files))));
        Tell(machine, self, "onSelect");
      }));
}

Value ListConstruct(Call& call) {
  if (!call.self) return {};
  call.self->kind = NativeKind::Other;
  call.self->native = std::make_unique<FileData>();
  InitializeBroadcaster(call.machine, call.self);
  return Value::Obj(call.self);
}

}  // namespace

void InstallFileReference(Runtime& rt) {
  Object* net = data::Package(rt, "flash.net");
  Object* file = rt.MakeClass(FileConstruct, nullptr);
  static const Member kFileMembers[] = {
      {"browse", Browse},
      {"upload", Upload},
      {"download", Download},
      {"cancel", Cancel},
      {"creationDate", CreationDate, nullptr, kDontEnum | kGetterOnly},
      {"creator", Creator, nullptr, kDontEnum | kGetterOnly},
      {"modificationDate", ModificationDate, nullptr, kDontEnum | kGetterOnly},
      {"name", Name, nullptr, kDontEnum | kGetterOnly},
      {"size", Size, nullptr, kDontEnum | kGetterOnly},
      {"type", Type, nullptr, kDontEnum | kGetterOnly},
  };
  rt.AddMembers(data::PrototypeOf(file), kFileMembers);
  data::RegisterClass(rt, net, "flash.net.FileReference", file);

  Object* list = rt.MakeClass(ListConstruct, ListConstruct);
  static const Member kListMembers[] = {{"browse", ListBrowse}};
  rt.AddMembers(data::PrototypeOf(list), kListMembers);
  data::RegisterClass(rt, net, "flash.net.FileReferenceList", list);
}

}  // namespace vantrel::flash::avm1
