// flash.display.Loader: loads a movie or a picture (JPEG, PNG, GIF) by address, through
// the player's loads, or from a ByteArray, and holds what it made as its one child. Its
// contentLoaderInfo tells the progress and sends the events in the player's order: open
// (loads by address only), progress as the bytes arrive and once more when all are
// there, then the content is made (an ActionScript 3 movie runs its first frame and its
// document class), init, httpStatus (by address), complete. A file that cannot be read
// sends ioError #2035, data that is no movie or picture ioError #2124.
#include <cstring>

#include "flash/avm2/builtins/support.h"
#include "flash/character/definition.h"
#include "flash/character/loaded_image.h"
#include "flash/display/movie_clip.h"
#include "flash/display/player.h"
#include "flash/swf/movie_loader.h"

namespace vantrel::flash::avm2 {

namespace {

using Parts = Machine::LoaderInfoParts;

// The Loader's LoaderInfo record, made with the Loader.
Parts& LoaderParts(Machine& m, const Value& self) {
  ClassObject* loaderClass = m.FindClass("flash.display::Loader");
  if (!self.IsObject() || !m.IsInstance(self, loaderClass))
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ToString(self) + " to flash.display.Loader.");
  for (auto& [key, parts] : m.loaderInfos)
    if (parts.loader == self.object) return parts;
  Object* info = m.ConstructClass(m.FindClass("flash.display::LoaderInfo"), nullptr, 0);
  Parts& parts = m.loaderInfos[info];
  parts.info = info;
  parts.loader = self.object;
  return parts;
}

DisplayObject* LoaderDisplay(const Parts& parts) {
  return parts.loader && parts.loader->kind == ObjectKind::Display ? static_cast<NativeObject*>(parts.loader)->display : nullptr;
}

Value Dispatch(Machine& m, Parts& parts, const char* cls, std::vector<Value> args) {
  const Value event = m.Construct(Value::Obj(m.FindClass(cls)), args.data(), static_cast<int>(args.size()));
  return m.CallPublic(Value::Obj(parts.info), "dispatchEvent", {event});
}

void Progress(Machine& m, Parts& parts) {
  Dispatch(m, parts, "flash.events.ProgressEvent",
           {m.StrValue("progress"), Value::Bool(false), Value::Bool(false), Value::Number(parts.bytesLoaded),
            Value::Number(parts.bytesTotal)});
}

// Takes away what the Loader holds (its content leaves the display list).
void Unload(Machine& m, Parts& parts) {
  ++parts.generation;
  if (parts.load && m.player) m.player->CancelLoad(parts.load);
  parts.load = 0;
  DisplayObject* holder = LoaderDisplay(parts);
  if (parts.content.IsObject() && holder && holder->IsContainer()) {
    const Value content = parts.content;
    auto* display = content.object->kind == ObjectKind::Display ? static_cast<NativeObject*>(content.object)->display : nullptr;
    if (display && display->Parent() == holder && !display->Removed()) RemoveChildOf(m, holder, display);
  }
  parts.content = Value::Null();
  parts.contentDisplay = nullptr;
  parts.movie = nullptr;
  parts.parameters = Value();
  parts.hasUrl = false;
  parts.url.clear();
  parts.contentType.clear();
  parts.bytesLoaded = parts.bytesTotal = 0;
  parts.width = parts.height = 0;
  parts.ready = false;
}

bool IsMovie(const std::string& body) {
  return body.size() >= 8 && (body.compare(0, 3, "FWS") == 0 || body.compare(0, 3, "CWS") == 0 || body.compare(0, 3, "ZWS") == 0);
}

const char* PictureType(const std::string& body) {
  const auto* b = reinterpret_cast<const unsigned char*>(body.data());
  if (body.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8) return "image/jpeg";
  if (body.size() >= 8 && std::memcmp(b, "\x89PNG", 4) == 0) return "image/png";
  if (body.size() >= 6 && std::memcmp(b, "GIF8", 4) == 0) return "image/gif";
  return nullptr;
}

std::string PlainBytes(const std::string& body) {
  if (!IsMovie(body) || body[0] == 'F') return body;
  MovieHeader header;
  std::vector<std::uint8_t> plain;
  std::string error;
  if (!DecompressMovie(std::span(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()), header, plain, &error))
    return body;
  const std::uint32_t length = static_cast<std::uint32_t>(8 + plain.size());
  std::string out = "FWS";
  out += static_cast<char>(header.version);
  for (int i = 0; i < 4; ++i) out += static_cast<char>((length >> (8 * i)) & 0xFF);
  out.append(reinterpret_cast<const char*>(plain.data()), plain.size());
  return out;
}

// The settings of a load (flash.system.LoaderContext): kept as given; the machine runs
// every movie in one application domain.
Value ContextConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  m.SetPublic(self, "checkPolicyFile", Value::Bool(argc > 0 && m.ToBoolean(args[0])));
  m.SetPublic(self, "applicationDomain", argc > 1 ? args[1] : Value::Null());
  m.SetPublic(self, "securityDomain", argc > 2 ? args[2] : Value::Null());
  m.SetPublic(self, "allowCodeImport", Value::Bool(true));
  m.SetPublic(self, "allowLoadBytesCodeExecution", Value::Bool(true));
  m.SetPublic(self, "parameters", Value::Null());
  m.SetPublic(self, "requestedContentParent", Value::Null());
  m.SetPublic(self, "imageDecodingPolicy", m.StrValue("onDemand"));
  return Value();
}

// A LoaderContext for JPEG pictures: (deblockingFilter, checkPolicyFile, applicationDomain,
// securityDomain). The filter strength is kept; pictures are decoded without it.
Value JpegContextConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  const Value rest[] = {argc > 1 ? args[1] : Value(), argc > 2 ? args[2] : Value(), argc > 3 ? args[3] : Value()};
  ContextConstruct(m, self, rest, std::max(0, argc - 1));
  m.SetPublic(self, "deblockingFilter", Value::Number(argc > 0 ? m.ToNumber(args[0]) : 0));
  return Value();
}

// All the bytes are there: progress tells so, and the bytes can be read. Data that is no
// movie or picture fails with ioError; false then. byAddress: a load() (open and
// httpStatus belong to it, ioError names the address).
bool Arrived(Machine& m, Parts& parts, const std::string& body, const std::string& url, bool byAddress) {
  const int generation = parts.generation;
  parts.bytesTotal = static_cast<double>(body.size());
  parts.bytesLoaded = 0;
  Progress(m, parts);
  if (parts.generation != generation) return false;
  parts.bytesLoaded = parts.bytesTotal;
  const bool known = IsMovie(body) || PictureType(body);
  if (known) {
    // The bytes are those of the plain movie (a compressed one is kept uncompressed), and
    // the parameters those of its address.
    Object* bytes = m.ConstructClass(m.FindClass("flash.utils.ByteArray"), nullptr, 0);
    static_cast<NativeObject*>(bytes)->text = PlainBytes(body);
    parts.bytes = Value::Obj(bytes);
    parts.url = url;
    parts.parameters = Value();
  }
  Progress(m, parts);
  if (parts.generation != generation) return false;
  if (known) return true;
  std::string text = "Error #2124: Loaded file is an unknown type.";
  if (byAddress) text += " URL: " + AddressAsUrl(url);
  Dispatch(m, parts, "flash.events.IOErrorEvent", {m.StrValue("ioError"), Value::Bool(false), Value::Bool(false), m.StrValue(text)});
  return false;
}

// The content is made from the bytes and the rest of the events go out.
void Make(Machine& m, Parts& parts, const std::string& body, const std::string& url, bool byAddress) {
  const int generation = parts.generation;
  std::shared_ptr<Movie> movie;
  const char* picture = PictureType(body);
  std::string error;
  const std::span data(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
  if (IsMovie(body)) {
    picture = nullptr;
    movie = LoadMovieFromBytes(data, &error);
  } else if (picture && IsLoadableImage(data)) {
    movie = MovieFromImage(data, &error);
  }
  if (!movie) {
    std::string text = "Error #2124: Loaded file is an unknown type.";
    if (byAddress) text += " URL: " + AddressAsUrl(url);
    Dispatch(m, parts, "flash.events.IOErrorEvent", {m.StrValue("ioError"), Value::Bool(false), Value::Bool(false), m.StrValue(text)});
    return;
  }
  const LoadedMovie* loaded = m.player->AdoptMovie(movie, url);
  parts.movie = loaded;
  if (picture) {
    parts.width = static_cast<int>(std::round((movie->header.frameSize.xMax - movie->header.frameSize.xMin) / 20.0));
    parts.height = static_cast<int>(std::round((movie->header.frameSize.yMax - movie->header.frameSize.yMin) / 20.0));
  }
  MovieClip* root = m.player->CreateMovieRoot(loaded);
  parts.contentDisplay = root;
  bool ok = true;
  if (picture || !movie->actionScript3) {
    // A picture is a Bitmap; a movie of ActionScript 1 or 2 an AVM1Movie whose code the
    // ActionScript 3 player does not run.
    ClassObject* cls = m.FindClass(picture ? "flash.display.Bitmap" : "flash.display.AVM1Movie");
    m.bindNext = root;
    if (cls) m.ConstructClass(cls, nullptr, 0);
    m.bindNext = nullptr;
    m.player->AddToExecList(root);
    root->RunFrame();
    parts.content = DisplayObjectValue(m, root);
  } else {
    // The movie's own code runs before its LoaderInfo tells the address and the content.
    ok = m.runLoadedMovie && m.runLoadedMovie(root);
    parts.content = DisplayObjectValue(m, root);
  }
  if (parts.generation != generation) return;
  parts.hasUrl = true;
  parts.contentType = picture ? picture : "application/x-shockwave-flash";
  if (DisplayObject* holder = LoaderDisplay(parts); holder && holder->IsContainer() && !root->Parent())
    AddChildOf(m, holder, root);
  // The first frame's scripts run before init.
  if (!picture && movie->actionScript3 && ok) RunChangedFrameScripts(m);
  // A document class whose constructor failed leaves the load without init and complete.
  if (!ok || parts.generation != generation) return;
  parts.ready = true;
  Dispatch(m, parts, "flash.events.Event", {m.StrValue("init")});
  if (parts.generation != generation) return;
  if (byAddress) {
    Dispatch(m, parts, "flash.events.HTTPStatusEvent", {m.StrValue("httpStatus"), Value::Bool(false), Value::Bool(false), Value::Number(0)});
    if (parts.generation != generation) return;
  }
  Dispatch(m, parts, "flash.events.Event", {m.StrValue("complete")});
}

// Runs fn at the loader stage of a later frame (the frames-th from now) unless the load
// was replaced by then.
void Later(Machine& m, Parts& parts, int frames, std::function<void(Machine&, Parts&)> fn) {
  Machine* machine = &m;
  Object* info = parts.info;
  const int generation = parts.generation;
  m.player->RunLater(
      [machine, info, generation, frames, fn = std::move(fn)] {
        Machine& mm = *machine;
        const auto it = mm.loaderInfos.find(info);
        if (it == mm.loaderInfos.end() || it->second.generation != generation) return;
        if (frames > 1) {
          Later(mm, it->second, frames - 1, fn);
          return;
        }
        mm.Guard([&] { fn(mm, it->second); });
      },
      parts.loader);
}

Value Construct(Machine& m, const Value& self, const Value*, int) {
  LoaderParts(m, self);
  return Value();
}

Value Load(Machine& m, const Value& self, const Value* args, int argc) {
  Parts& parts = LoaderParts(m, self);
  const Value request = Arg(args, argc, 0);
  if (request.IsNullish()) m.ThrowTypeError(2007, "Parameter request must be non-null.");
  const std::string url = m.ToString(m.GetPublic(request, "url"));
  Unload(m, parts);
  Object* bytes = m.ConstructClass(m.FindClass("flash.utils.ByteArray"), nullptr, 0);
  parts.bytes = Value::Obj(bytes);
  if (!m.player) return Value();
  const int generation = parts.generation;
  const std::string resolved = m.player->ResolveUrl(url);
  Machine* machine = &m;
  Object* info = parts.info;
  parts.load = m.player->Fetch(
      url, "GET", "", nullptr, parts.loader, {},
      [machine, info, generation, resolved](bool ok, const std::string& body) {
        Machine& mm = *machine;
        const auto it = mm.loaderInfos.find(info);
        if (it == mm.loaderInfos.end() || it->second.generation != generation) return;
        Parts& p = it->second;
        p.load = 0;
        mm.Guard([&] {
          if (!ok) {
            Dispatch(mm, p, "flash.events.IOErrorEvent",
                     {mm.StrValue("ioError"), Value::Bool(false), Value::Bool(false),
                      mm.StrValue("Error #2035: URL Not Found. URL: " + AddressAsUrl(resolved))});
            return;
          }
          Dispatch(mm, p, "flash.events.Event", {mm.StrValue("open")});
          if (p.generation != generation) return;
          if (Arrived(mm, p, body, resolved, true) && p.generation == generation) Make(mm, p, body, resolved, true);
        });
      });
  return Value();
}

Value LoadBytes(Machine& m, const Value& self, const Value* args, int argc) {
  Parts& parts = LoaderParts(m, self);
  const Value source = Arg(args, argc, 0);
  if (source.IsNullish()) m.ThrowTypeError(2007, "Parameter bytes must be non-null.");
  ClassObject* byteArray = m.FindClass("flash.utils.ByteArray");
  if (!m.IsInstance(source, byteArray))
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ToString(source) + " to flash.utils.ByteArray.");
  const std::string body = static_cast<NativeObject*>(source.object)->text;
  Unload(m, parts);
  parts.bytes = Value::Obj(m.ConstructClass(byteArray, nullptr, 0));
  if (!m.player) return Value();
  // The movie's bytes keep the address of the movie that loaded them.
  const std::string url = m.player->RootMovie() ? m.player->RootMovie()->url : std::string();
  // The bytes are there at once; the content is made at the next frame (a picture is
  // decoded a frame later still).
  if (!Arrived(m, parts, body, url, false)) return Value();
  Later(m, parts, PictureType(body) && !IsMovie(body) ? 2 : 1,
        [body, url](Machine& mm, Parts& p) { Make(mm, p, body, url, false); });
  return Value();
}

Value UnloadMethod(Machine& m, const Value& self, const Value*, int) {
  Unload(m, LoaderParts(m, self));
  return Value();
}

Value Close(Machine& m, const Value& self, const Value*, int) {
  Parts& parts = LoaderParts(m, self);
  if (parts.load && m.player) m.player->CancelLoad(parts.load);
  parts.load = 0;
  ++parts.generation;
  return Value();
}

Value ContentLoaderInfo(Machine& m, const Value& self, const Value*, int) { return Value::Obj(LoaderParts(m, self).info); }
Value Content(Machine& m, const Value& self, const Value*, int) {
  const Parts& parts = LoaderParts(m, self);
  return parts.content.IsObject() ? parts.content : Value::Null();
}

// The Loader holds only what it loaded.
Value NotImplemented(Machine& m, const Value&, const Value*, int) {
  m.ThrowError("IllegalOperationError", 2069, "The Loader class does not implement this method.");
}

}  // namespace

void InstallLoader(Machine& m) {
  ClassObject* container = m.FindClass("flash.display.DisplayObjectContainer");
  if (!container || !m.FindClass("flash.display::LoaderInfo")) return;
  ClassObject* loader = m.DefineClass("flash.display", "Loader", container, Construct);
  static const Member kMembers[] = {
      {"load", Load, nullptr, 0, 0, 2},
      {"loadBytes", LoadBytes, nullptr, 0, 0, 2},
      {"unload", UnloadMethod, nullptr, 0, 0},
      {"unloadAndStop", UnloadMethod, nullptr, 0, 0, 1},
      {"close", Close, nullptr, 0, 0},
      {"content", Content, nullptr, kAccessor, 0},
      {"contentLoaderInfo", ContentLoaderInfo, nullptr, kAccessor, 0},
      {"addChild", NotImplemented, nullptr, 0, 0, 1},
      {"addChildAt", NotImplemented, nullptr, 0, 0, 2},
      {"removeChild", NotImplemented, nullptr, 0, 0, 1},
      {"removeChildAt", NotImplemented, nullptr, 0, 0, 1},
      {"setChildIndex", NotImplemented, nullptr, 0, 0, 2},
  };
  Install(m, loader, kMembers);
  ClassObject* context = m.FindClass("flash.system.LoaderContext");
  if (!context) context = m.DefineClass("flash.system", "LoaderContext", m.objectClass, ContextConstruct, false);
  if (!m.FindClass("flash.system.JPEGLoaderContext"))
    m.DefineClass("flash.system", "JPEGLoaderContext", context, JpegContextConstruct, false);
}

}  // namespace vantrel::flash::avm2
