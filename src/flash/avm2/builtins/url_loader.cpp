// flash.net.URLLoader: reads a file by address (relative to the movie's own) through the
// player's loads and hands it to scripts as text, bytes (ByteArray) or variables
// (URLVariables). The events come at the loader stage of a frame: open, progress,
// httpStatus and complete, or httpStatus and ioError when the file cannot be read.
// URLLoaderDataFormat, URLVariables and URLStream (the same load read as a stream of
// bytes) come with it.
#include <cstring>
#include "flash/avm2/builtins/media.h"
#include "flash/avm2/builtins/support.h"
#include "flash/display/player.h"
#include "flash/script/string_utils.h"

namespace vantrel::flash::avm2 {

namespace {

class UrlLoaderObject final : public MediaObject {
 public:
  Value data;
  std::string format = "text";
  double bytesLoaded = 0, bytesTotal = 0;
  std::uint64_t load = 0;
  bool loading = false;
  bool Tick(Machine&) override { return loading; }
  void Trace(gc::Tracer& tracer) const override {
    MediaObject::Trace(tracer);
    TraceValue(tracer, data);
  }
};

Object* Allocate(Machine& m, ClassObject*) {
  auto* o = m.heap.Make<UrlLoaderObject>();
  o->data = Value();
  return o;
}

UrlLoaderObject* This(Machine& m, const Value& self) {
  auto* o = dynamic_cast<UrlLoaderObject*>(Receiver<NativeObject>(m, self, ObjectKind::Display, "URLLoader"));
  if (!o) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert object to flash.net.URLLoader.");
  return o;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Form decoding: '+' is a space, %XX a byte.
std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// name=value pairs joined by '&' become properties; a name given twice gathers an Array.
void DecodeVariables(Machine& m, const Value& target, const std::string& source) {
  std::size_t start = 0;
  while (start <= source.size()) {
    const std::size_t end = std::min(source.find('&', start), source.size());
    const std::string pair = source.substr(start, end - start);
    start = end + 1;
    const std::size_t eq = pair.find('=');
    if (eq == std::string::npos)
      m.ThrowError("Error", 2101, "The String passed to URLVariables.decode() must be a URL-encoded query string containing name/value pairs.");
    const std::string name = Unescape(pair.substr(0, eq));
    const Value value = m.StrValue(Unescape(pair.substr(eq + 1)));
    const Value old = m.GetPublic(target, name);
    if (old.IsNullish()) {  // a null variable is replaced too
      m.SetPublic(target, name, value);
    } else if (old.IsObject() && m.IsInstance(old, m.FindClass("Array"))) {
      m.CallPublic(old, "push", {value});
    } else {
      const Value list = m.Construct(Value::Obj(m.FindClass("Array")), nullptr, 0);
      m.CallPublic(list, "push", {old, value});
      m.SetPublic(target, name, list);
    }
    if (end == source.size()) break;
  }
}

// The events of a load that failed: httpStatus, then ioError.
void TellFailed(Machine& m, Object* target) {
  DispatchNew(m, target, "flash.events.HTTPStatusEvent", {m.StrValue("httpStatus")});
  DispatchNew(m, target, "flash.events.IOErrorEvent",
              {m.StrValue("ioError"), Value::Bool(false), Value::Bool(false), m.StrValue("Error #2032: Stream Error")});
}
// The events of all the bytes having come: progress with their count, then httpStatus.
void TellArrived(Machine& m, Object* target, double size) {
  DispatchNew(m, target, "flash.events.ProgressEvent",
              {m.StrValue("progress"), Value::Bool(false), Value::Bool(false), Value::Number(size), Value::Number(size)});
  DispatchNew(m, target, "flash.events.HTTPStatusEvent", {m.StrValue("httpStatus")});
}

void Finish(Machine& m, UrlLoaderObject* o, bool ok, const std::string& body) {
  o->loading = false;
  o->load = 0;
  m.Guard([&] {
    if (!ok) {
      // A binary load receives into a new ByteArray: one that fails leaves it empty.
      if (o->format == "binary") o->data = Value::Obj(m.ConstructClass(m.FindClass("flash.utils.ByteArray"), nullptr, 0));
      TellFailed(m, o);
      return;
    }
    const double size = static_cast<double>(body.size());
    DispatchNew(m, o, "flash.events.Event", {m.StrValue("open")});
    o->bytesLoaded = o->bytesTotal = size;
    TellArrived(m, o, size);
    if (o->format == "binary") {
      Object* bytes = m.ConstructClass(m.FindClass("flash.utils.ByteArray"), nullptr, 0);
      static_cast<NativeObject*>(bytes)->text = body;
      o->data = Value::Obj(bytes);
    } else if (o->format == "variables") {
      const Value source = m.StrValue(body);
      o->data = Value::Obj(m.ConstructClass(m.FindClass("flash.net.URLVariables"), &source, 1));
    } else {
      o->data = m.StrValue(body);
    }
    DispatchNew(m, o, "flash.events.Event", {m.StrValue("complete")});
  });
}

Value Load(Machine& m, const Value& self, const Value* args, int argc) {
  UrlLoaderObject* o = This(m, self);
  const Value request = Arg(args, argc, 0);
  if (request.IsNullish()) m.ThrowTypeError(2007, "Parameter request must be non-null.");
  const std::string url = m.ToString(m.GetPublic(request, "url"));
  if (o->load && m.player) m.player->CancelLoad(o->load);
  o->loading = true;
  o->bytesLoaded = 0;
  o->bytesTotal = 0;
  KeepTicking(m, o);
  if (!m.player) return Value();
  Machine* machine = &m;
  o->load = m.player->Fetch(
      url, "GET", "", nullptr, nullptr,
      [o](std::int64_t loaded, std::int64_t total) {
        o->bytesLoaded = static_cast<double>(loaded);
        if (total > 0) o->bytesTotal = static_cast<double>(total);
      },
      [o, machine](bool ok, const std::string& body) { Finish(*machine, o, ok, body); });
  return Value();
}

Value Construct(Machine& m, const Value& self, const Value* args, int argc) {
  if (argc > 0 && !args[0].IsNullish()) Load(m, self, args, 1);
  return Value();
}

Value Close(Machine& m, const Value& self, const Value*, int) {
  UrlLoaderObject* o = This(m, self);
  if (o->load && m.player) m.player->CancelLoad(o->load);
  o->load = 0;
  o->loading = false;
  return Value();
}

Value GetData(Machine& m, const Value& self, const Value*, int) { return This(m, self)->data; }
Value SetData(Machine& m, const Value& self, const Value* args, int argc) {
  This(m, self)->data = Arg(args, argc, 0);
  return Value();
}
Value GetFormat(Machine& m, const Value& self, const Value*, int) { return m.StrValue(This(m, self)->format); }
Value SetFormat(Machine& m, const Value& self, const Value* args, int argc) {
  This(m, self)->format = StrArg(m, args, argc, 0, "text");
  return Value();
}
Value GetLoaded(Machine& m, const Value& self, const Value*, int) { return Value::Number(This(m, self)->bytesLoaded); }
Value GetTotal(Machine& m, const Value& self, const Value*, int) { return Value::Number(This(m, self)->bytesTotal); }

Value VariablesConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  if (argc > 0 && !args[0].IsNullish()) DecodeVariables(m, self, m.ToString(args[0]));
  return Value();
}
Value VariablesDecode(Machine& m, const Value& self, const Value* args, int argc) {
  DecodeVariables(m, self, StrArg(m, args, argc, 0));
  return Value();
}

// The variables as a query string: name=value for each enumerable property in order, an
// Array's elements each with the name; names and values are percent-encoded as UTF-8,
// letters, digits and "@-_.*+/" as they are.
std::string EncodeComponent(const std::string& text) { return script::PercentEncode(text, "@-_.*+/"); }
Value VariablesToString(Machine& m, const Value& self, const Value*, int) {
  Object* o = self.AsObject();
  std::string out;
  const auto add = [&](const std::string& name, const Value& value) {
    if (!out.empty()) out += '&';
    out += EncodeComponent(name) + "=" + EncodeComponent(m.ToString(value));
  };
  if (o) {
    const std::vector<Object::Property> properties = o->properties;  // the values' text may run scripts
    for (const Object::Property& p : properties) {
      if (p.removed || !p.enumerable) continue;
      if (p.value.IsObject() && p.value.object->kind == ObjectKind::Array) {
        for (const Value& v : static_cast<ArrayObject*>(p.value.object)->elements) add(p.name, v);
      } else {
        add(p.name, p.value);
      }
    }
  }
  return m.StrValue(out);
}

// URLStream: a load whose bytes scripts read as they would a ByteArray's (IDataInput),
// each byte once. The bytes are kept in a ByteArray the reads go through.
class UrlStreamObject final : public MediaObject {
 public:
  Value buffer;  // a ByteArray: the bytes that came, its position where reading stands
  std::uint64_t load = 0;
  bool loading = false, connected = false;
  bool Tick(Machine&) override { return loading; }
  void Trace(gc::Tracer& tracer) const override {
    MediaObject::Trace(tracer);
    TraceValue(tracer, buffer);
  }
};

Object* AllocateStream(Machine& m, ClassObject*) {
  auto* o = m.heap.Make<UrlStreamObject>();
  o->buffer = Value::Obj(m.ConstructClass(m.FindClass("flash.utils.ByteArray"), nullptr, 0));
  return o;
}

UrlStreamObject* Stream(Machine& m, const Value& self) {
  auto* o = dynamic_cast<UrlStreamObject*>(Receiver<NativeObject>(m, self, ObjectKind::Display, "URLStream"));
  if (!o) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert object to flash.net.URLStream.");
  return o;
}

void FinishStream(Machine& m, UrlStreamObject* o, bool ok, const std::string& body) {
  o->loading = false;
  o->load = 0;
  m.Guard([&] {
    if (!ok) {
      o->connected = false;
      TellFailed(m, o);
      return;
    }
    DispatchNew(m, o, "flash.events.Event", {m.StrValue("open")});
    static_cast<NativeObject*>(o->buffer.object)->text += body;
    const double size = static_cast<double>(body.size());
    TellArrived(m, o, size);
    o->connected = false;
    DispatchNew(m, o, "flash.events.Event", {m.StrValue("complete")});
  });
}

Value StreamLoad(Machine& m, const Value& self, const Value* args, int argc) {
  UrlStreamObject* o = Stream(m, self);
  const Value request = Arg(args, argc, 0);
  if (request.IsNullish()) m.ThrowTypeError(2007, "Parameter request must be non-null.");
  const std::string url = m.ToString(m.GetPublic(request, "url"));
  if (o->load && m.player) m.player->CancelLoad(o->load);
  // A new load starts with no bytes.
  o->buffer = Value::Obj(m.ConstructClass(m.FindClass("flash.utils.ByteArray"), nullptr, 0));
  o->loading = o->connected = true;
  KeepTicking(m, o);
  if (!m.player) return Value();
  Machine* machine = &m;
  o->load = m.player->Fetch(url, "GET", "", nullptr, nullptr, nullptr,
                            [o, machine](bool ok, const std::string& body) { FinishStream(*machine, o, ok, body); });
  return Value();
}

Value StreamClose(Machine& m, const Value& self, const Value*, int) {
  UrlStreamObject* o = Stream(m, self);
  if (!o->connected) m.ThrowError("flash.errors.IOError", 2029, "This URLStream object does not have a stream opened.");
  if (o->load && m.player) m.player->CancelLoad(o->load);
  o->load = 0;
  o->loading = o->connected = false;
  return Value();
}

Value StreamConnected(Machine& m, const Value& self, const Value*, int) { return Value::Bool(Stream(m, self)->connected); }
Value StreamAvailable(Machine& m, const Value& self, const Value*, int) {
  return m.GetPublic(Stream(m, self)->buffer, "bytesAvailable");
}

// The reads, endian and objectEncoding are the buffer's own; tag indexes kStreamForwards.
const char* const kStreamForwards[] = {
    "readBoolean", "readByte", "readBytes", "readDouble", "readFloat", "readInt", "readMultiByte", "readObject",
    "readShort", "readUnsignedByte", "readUnsignedInt", "readUnsignedShort", "readUTF", "readUTFBytes",
    "endian", "objectEncoding"};
constexpr int kFirstProperty = 14;
Value StreamForward(Machine& m, const Value& self, const Value* args, int argc) {
  const char* name = kStreamForwards[NativeTag(m)];
  const Value buffer = Stream(m, self)->buffer;
  return m.CallPublic(buffer, name, std::vector<Value>(args, args + argc));
}
Value StreamGet(Machine& m, const Value& self, const Value*, int) {
  const char* name = kStreamForwards[NativeTag(m)];
  return m.GetPublic(Stream(m, self)->buffer, name);
}
Value StreamSet(Machine& m, const Value& self, const Value* args, int argc) {
  const char* name = kStreamForwards[NativeTag(m)];
  m.SetPublic(Stream(m, self)->buffer, name, Arg(args, argc, 0));
  return Value();
}

}  // namespace

void InstallUrlLoader(Machine& m) {
  ClassObject* dispatcher = m.FindClass("flash.events.EventDispatcher");
  if (!dispatcher) return;
  ClassObject* loader = m.DefineClass("flash.net", "URLLoader", dispatcher, Construct);
  loader->allocate = Allocate;
  static const Member kLoaderMembers[] = {
      {"load", Load, nullptr, 0, 0},
      {"close", Close, nullptr, 0, 0},
      {"data", GetData, SetData, kAccessor, 0},
      {"dataFormat", GetFormat, SetFormat, kAccessor, 0},
      {"bytesLoaded", GetLoaded, nullptr, kAccessor, 0},
      {"bytesTotal", GetTotal, nullptr, kAccessor, 0},
  };
  Install(m, loader, kLoaderMembers);

  ClassObject* format = m.DefineClass("flash.net", "URLLoaderDataFormat", m.objectClass, nullptr);
  static const TextConstant kFormatConstants[] = {
      {"BINARY", "binary"},
      {"TEXT", "text"},
      {"VARIABLES", "variables"},
  };
  Install(m, format, kFormatConstants);

  ClassObject* variables = m.DefineClass("flash.net", "URLVariables", m.objectClass, VariablesConstruct, false);
  static const Member kVariablesMembers[] = {
      {"decode", VariablesDecode, nullptr, 0, 0},
      {"toString", VariablesToString, nullptr, 0, 0},
  };
  Install(m, variables, kVariablesMembers);

  ClassObject* stream = m.DefineClass("flash.net", "URLStream", dispatcher);
  stream->allocate = AllocateStream;
  static const Member kStreamMembers[] = {
      {"load", StreamLoad, nullptr, 0, 0, 1},
      {"close", StreamClose, nullptr, 0, 0},
      {"connected", StreamConnected, nullptr, kAccessor, 0},
      {"bytesAvailable", StreamAvailable, nullptr, kAccessor, 0},
  };
  Install(m, stream, kStreamMembers);
  for (int i = 0; i < kFirstProperty; ++i) m.AddTraitMethod(stream, kStreamForwards[i], StreamForward, false, i);
  for (int i = kFirstProperty; i < static_cast<int>(std::size(kStreamForwards)); ++i)
    m.AddAccessor(stream, kStreamForwards[i], StreamGet, StreamSet, false, i);
  InstallSockets(m);
}

}  // namespace vantrel::flash::avm2
