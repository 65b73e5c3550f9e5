// flash.utils.ByteArray: the bytes live in the object's text, the position in a (a
// number), little-endian in b. Reads past the end throw EOFError; compress/uncompress
// use zlib (or raw deflate when asked).
#include <zlib.h>

#include <bit>
#include <cmath>
#include <cstring>

#include "flash/avm2/builtins/amf.h"
#include "flash/avm2/builtins/support.h"
#include "flash/display/player.h"
#include "flash/script/charsets.h"
#include "flash/script/string_utils.h"
#include "flash/swf/character.h"

namespace vantrel::flash::avm2 {

namespace {

constexpr double kMaxLength = 0x7FFFFFFF;

struct Bytes {
  NativeObject* o;
  std::string& data() { return o->text; }
  std::size_t position() const { return static_cast<std::size_t>(o->a.IsNumber() ? o->a.number : 0); }
  void setPosition(std::size_t p) { o->a = Value::Number(static_cast<double>(p)); }
  bool little() const { return o->b.IsBoolean() && o->b.boolean; }
};

Object* Allocate(Machine& m, ClassObject* cls) {
  auto* o = m.heap.Make<NativeObject>(ObjectKind::ByteArray, nullptr, nullptr);
  o->a = Value::Number(0);
  o->b = Value::Bool(false);
  o->c = Value::Number(m.defaultObjectEncoding);
  // A class linked to embedded data (DefineBinaryData) starts with its bytes.
  const void* movie = nullptr;
  std::uint16_t id = 0;
  if (FindLinkedSymbol(m, cls, movie, id)) {
    const auto data = std::dynamic_pointer_cast<BinaryDataCharacter>(static_cast<const LoadedMovie*>(movie)->Find(id));
    if (data) o->text.assign(data->bytes.begin(), data->bytes.end());
  }
  return o;
}

Bytes This(Machine& m, const Value& self) {
  return {Receiver<NativeObject>(m, self, ObjectKind::ByteArray, "ByteArray")};
}

Value Construct(Machine&, const Value& self, const Value*, int) { return self; }

void Need(Machine& m, Bytes b, std::size_t count) {
  if (b.position() > b.data().size() || b.data().size() - b.position() < count)
    m.ThrowError("flash.errors.EOFError", 2030, "End of file was encountered.");
}

void Put(Bytes b, const void* raw, std::size_t count) {
  std::string& d = b.data();
  const std::size_t at = b.position();
  if (d.size() < at + count) d.resize(at + count, '\0');
  std::memcpy(d.data() + at, raw, count);
  b.setPosition(at + count);
}

template <typename T>
void PutNumber(Bytes b, T value) {
  unsigned char raw[sizeof(T)];
  std::memcpy(raw, &value, sizeof(T));
  if (!b.little()) std::reverse(raw, raw + sizeof(T));
  Put(b, raw, sizeof(T));
}

template <typename T>
T GetNumber(Machine& m, Bytes b) {
  Need(m, b, sizeof(T));
  unsigned char raw[sizeof(T)];
  std::memcpy(raw, b.data().data() + b.position(), sizeof(T));
  if (!b.little()) std::reverse(raw, raw + sizeof(T));
  b.setPosition(b.position() + sizeof(T));
  T value;
  std::memcpy(&value, raw, sizeof(T));
  return value;
}

// Text of raw bytes: a leading UTF-8 byte order mark is skipped, and the text stops at
// the first zero byte where it is read as a string (toString keeps zeros). The three
// bytes of a surrogate are no UTF-8: they read as U+FFFD, not as a lone surrogate.
std::string Text(std::string bytes, bool stopAtZero = true) {
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  const std::size_t zero = stopAtZero ? bytes.find('\0') : std::string::npos;
  if (zero != std::string::npos) bytes.resize(zero);
  for (std::size_t i = 0; i + 2 < bytes.size(); ++i) {
    const auto lead = static_cast<unsigned char>(bytes[i]), second = static_cast<unsigned char>(bytes[i + 1]);
    const auto third = static_cast<unsigned char>(bytes[i + 2]);
    if (lead == 0xED && second >= 0xA0 && second <= 0xBF && (third & 0xC0) == 0x80) bytes.replace(i, 3, "\xEF\xBF\xBD");
  }
  return script::Utf8FromUnits(script::Utf16Units(bytes));
}

// writeObject and readObject: the value in the object's encoding (builtins/amf.cpp).
Value WriteObject(Machine& m, const Value& self, const Value* args, int argc) {
  Bytes b = This(m, self);
  WriteAmf(m, Arg(args, argc, 0), m.ToUint32(b.o->c), self, [b](const std::string& bytes) { Put(b, bytes.data(), bytes.size()); });
  return Value();
}
Value ReadObject(Machine& m, const Value& self, const Value*, int) {
  Bytes b = This(m, self);
  if (b.position() >= b.data().size()) m.ThrowError("flash.errors.EOFError", 2030, "End of file was encountered.");
  return ReadAmf(m, b.o, m.ToUint32(b.o->c));
}

enum Tag {
  kBool, kByte, kUByte, kShort, kUShort, kInt, kUInt, kFloat, kDouble,
};

Value Read(Machine& m, const Value& self, const Value*, int, int tag) {
  Bytes b = This(m, self);
  switch (tag) {
    case kBool: return Value::Bool(GetNumber<std::uint8_t>(m, b) != 0);
    case kByte: return Value::Number(GetNumber<std::int8_t>(m, b));
    case kUByte: return Value::Number(GetNumber<std::uint8_t>(m, b));
    case kShort: return Value::Number(GetNumber<std::int16_t>(m, b));
    case kUShort: return Value::Number(GetNumber<std::uint16_t>(m, b));
    case kInt: return Value::Number(GetNumber<std::int32_t>(m, b));
    case kUInt: return Value::Number(GetNumber<std::uint32_t>(m, b));
    case kFloat: return Value::Number(GetNumber<float>(m, b));
    default: return Value::Number(GetNumber<double>(m, b));
  }
}

Value Write(Machine& m, const Value& self, const Value* args, int argc, int tag) {
  Bytes b = This(m, self);
  const Value v = Arg(args, argc, 0);
  switch (tag) {
    case kBool: PutNumber<std::uint8_t>(b, m.ToBoolean(v) ? 1 : 0); break;
    case kByte: PutNumber<std::uint8_t>(b, static_cast<std::uint8_t>(m.ToInt32(v))); break;
    case kShort: PutNumber<std::uint16_t>(b, static_cast<std::uint16_t>(m.ToInt32(v))); break;
    case kInt: PutNumber<std::uint32_t>(b, static_cast<std::uint32_t>(m.ToInt32(v))); break;
    case kUInt: PutNumber<std::uint32_t>(b, m.ToUint32(v)); break;
    case kFloat: PutNumber<float>(b, static_cast<float>(m.ToNumber(v))); break;
    default: PutNumber<double>(b, m.ToNumber(v)); break;
  }
  return Value();
}

#define READER(Name, tag) \
  Value Name(Machine& m, const Value& self, const Value* a, int n) { return Read(m, self, a, n, tag); }
#define WRITER(Name, tag) \
  Value Name(Machine& m, const Value& self, const Value* a, int n) { return Write(m, self, a, n, tag); }
READER(ReadBoolean, kBool)
READER(ReadByte, kByte)
READER(ReadUnsignedByte, kUByte)
READER(ReadShort, kShort)
READER(ReadUnsignedShort, kUShort)
READER(ReadInt, kInt)
READER(ReadUnsignedInt, kUInt)
READER(ReadFloat, kFloat)
READER(ReadDouble, kDouble)
WRITER(WriteBoolean, kBool)
WRITER(WriteByte, kByte)
WRITER(WriteShort, kShort)
WRITER(WriteInt, kInt)
WRITER(WriteUnsignedInt, kUInt)
WRITER(WriteFloat, kFloat)
WRITER(WriteDouble, kDouble)
#undef READER
#undef WRITER

Value ReadUtfBytesCount(Machine& m, Bytes b, std::size_t count) {
  Need(m, b, count);
  const std::string raw = b.data().substr(b.position(), count);
  b.setPosition(b.position() + count);
  return m.StrValue(Text(raw));
}

Value ReadUTFBytes(Machine& m, const Value& self, const Value* args, int argc) {
  return ReadUtfBytesCount(m, This(m, self), m.ToUint32(Arg(args, argc, 0)));
}

Value ReadUTF(Machine& m, const Value& self, const Value*, int) {
  Bytes b = This(m, self);
  return ReadUtfBytesCount(m, b, GetNumber<std::uint16_t>(m, b));
}

Value WriteUTFBytes(Machine& m, const Value& self, const Value* args, int argc) {
  const std::string text = StrArg(m, args, argc, 0, "null");
  Put(This(m, self), text.data(), text.size());
  return Value();
}

Value WriteUTF(Machine& m, const Value& self, const Value* args, int argc) {
  const std::string text = StrArg(m, args, argc, 0, "null");
  if (text.size() > 65535) m.ThrowError("RangeError", 2006, "The supplied index is out of bounds.");
  Bytes b = This(m, self);
  PutNumber<std::uint16_t>(b, static_cast<std::uint16_t>(text.size()));
  Put(b, text.data(), text.size());
  return Value();
}

// The UTF-16 character sets by their byte order: 0 for any other set, 1 little-endian,
// 2 big-endian ("unicodeFFFE" is the big-endian one by its Windows name).
int Utf16Order(std::string charset) {
  for (char& c : charset) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (charset == "unicode" || charset == "utf-16" || charset == "utf-16le") return 1;
  if (charset == "utf-16be" || charset == "unicodefffe") return 2;
  return 0;
}

Value WriteMultiByte(Machine& m, const Value& self, const Value* args, int argc) {
  Bytes b = This(m, self);
  const std::string text = StrArg(m, args, argc, 0, "null");
  if (const int order = Utf16Order(StrArg(m, args, argc, 1, ""))) {
    for (const char16_t unit : script::Utf16Units(text)) {
      unsigned char raw[2] = {static_cast<unsigned char>(unit & 0xFF), static_cast<unsigned char>(unit >> 8)};
      if (order == 2) std::swap(raw[0], raw[1]);
      Put(b, raw, 2);
    }
  } else if (const auto encoded = script::EncodeInCharset(text, StrArg(m, args, argc, 1, ""))) {
    Put(b, encoded->data(), encoded->size());
  } else {
    Put(b, text.data(), text.size());
  }
  return Value();
}

Value ReadMultiByte(Machine& m, const Value& self, const Value* args, int argc) {
  Bytes b = This(m, self);
  const std::size_t count = m.ToUint32(Arg(args, argc, 0));
  const std::string charset = StrArg(m, args, argc, 1, "");
  const int order = Utf16Order(charset);
  if (!order) {
    Need(m, b, count);
    std::string raw = b.data().substr(b.position(), count);
    // The text ends at a zero byte, as in UTF-8.
    if (const std::size_t zero = raw.find('\0'); zero != std::string::npos) raw.resize(zero);
    if (const auto decoded = script::DecodeFromCharset(raw, charset)) {
      b.setPosition(b.position() + count);
      return m.StrValue(*decoded);
    }
    return ReadUtfBytesCount(m, b, count);
  }
  Need(m, b, count);
  std::u16string units;
  for (std::size_t i = 0; i + 1 < count; i += 2) {
    auto lo = static_cast<unsigned char>(b.data()[b.position() + i]);
    auto hi = static_cast<unsigned char>(b.data()[b.position() + i + 1]);
    if (order == 2) std::swap(lo, hi);
    const char16_t unit = static_cast<char16_t>(lo | (hi << 8));
    if (unit == 0) break;
    units.push_back(unit);
  }
  b.setPosition(b.position() + count);
  return m.StrValue(script::Utf8FromUnits(units));
}

NativeObject* OtherBytes(Machine& m, const Value& v) {
  if (!v.IsObject() || v.object->kind != ObjectKind::ByteArray)
    m.ThrowTypeError(2007, "Parameter bytes must be non-null.");
  return static_cast<NativeObject*>(v.object);
}

Value WriteBytes(Machine& m, const Value& self, const Value* args, int argc) {
  Bytes b = This(m, self);
  const std::string source = OtherBytes(m, Arg(args, argc, 0))->text;
  const std::size_t offset = m.ToUint32(Arg(args, argc, 1));
  std::size_t length = m.ToUint32(Arg(args, argc, 2));
  if (offset > source.size()) m.ThrowError("RangeError", 2006, "The supplied index is out of bounds.");
  if (length == 0) length = source.size() - offset;
  if (offset + length > source.size()) m.ThrowError("RangeError", 2006, "The supplied index is out of bounds.");
  Put(b, source.data() + offset, length);
  return Value();
}

Value ReadBytes(Machine& m, const Value& self, const Value* args, int argc) {
  Bytes b = This(m, self);
  Bytes target{OtherBytes(m, Arg(args, argc, 0))};
  const std::size_t offset = m.ToUint32(Arg(args, argc, 1));
  std::size_t length = m.ToUint32(Arg(args, argc, 2));
  const std::size_t available = b.position() < b.data().size() ? b.data().size() - b.position() : 0;
  if (length == 0) length = available;
  Need(m, b, length);
  const std::string piece = b.data().substr(b.position(), length);
  b.setPosition(b.position() + length);
  std::string& d = target.data();
  if (d.size() < offset + length) d.resize(offset + length, '\0');
  std::memcpy(d.data() + offset, piece.data(), length);
  return Value();
}

Value GetLength(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(static_cast<double>(This(m, self).data().size()));
}
Value SetLength(Machine& m, const Value& self, const Value* args, int argc) {
  Bytes b = This(m, self);
  const double length = m.ToUint32(Arg(args, argc, 0));
  if (length > kMaxLength / 4) m.ThrowError("Error", 1000, "The system is out of memory.");
  b.data().resize(static_cast<std::size_t>(length), '\0');
  if (b.position() > b.data().size()) b.setPosition(b.data().size());
  return Value();
}
Value GetPosition(Machine& m, const Value& self, const Value*, int) {
  return Value::Number(static_cast<double>(This(m, self).position()));
}
Value SetPosition(Machine& m, const Value& self, const Value* args, int argc) {
  This(m, self).setPosition(m.ToUint32(Arg(args, argc, 0)));
  return Value();
}
Value BytesAvailable(Machine& m, const Value& self, const Value*, int) {
  Bytes b = This(m, self);
  return Value::Number(b.position() < b.data().size() ? static_cast<double>(b.data().size() - b.position()) : 0);
}
Value GetEndian(Machine& m, const Value& self, const Value*, int) {
  return m.StrValue(This(m, self).little() ? "littleEndian" : "bigEndian");
}
Value SetEndian(Machine& m, const Value& self, const Value* args, int argc) {
  Bytes b = This(m, self);
  const std::string endian = StrArg(m, args, argc, 0, "null");
  if (endian == "littleEndian") b.o->b = Value::Bool(true);
  else if (endian == "bigEndian") b.o->b = Value::Bool(false);
  else m.ThrowError("ArgumentError", 2008, "Parameter endian must be one of the accepted values.");
  return Value();
}
Value GetEncoding(Machine& m, const Value& self, const Value*, int) { return This(m, self).o->c; }
Value SetEncoding(Machine& m, const Value& self, const Value* args, int argc) {
  This(m, self).o->c = Value::Number(m.ToUint32(Arg(args, argc, 0)));
  return Value();
}
Value GetDefaultEncoding(Machine& m, const Value&, const Value*, int) { return Value::Number(m.defaultObjectEncoding); }
Value SetDefaultEncoding(Machine& m, const Value&, const Value* args, int argc) {
  m.defaultObjectEncoding = m.ToUint32(Arg(args, argc, 0));
  return Value();
}
Value Clear(Machine& m, const Value& self, const Value*, int) {
  Bytes b = This(m, self);
  b.data().clear();
  b.data().shrink_to_fit();
  b.setPosition(0);
  return Value();
}
Value ToStringMethod(Machine& m, const Value& self, const Value*, int) {
  Bytes b = This(m, self);
  const std::string& d = b.data();
  if (d.size() >= 2 && ((d[0] == '\xFF' && d[1] == '\xFE') || (d[0] == '\xFE' && d[1] == '\xFF'))) {
    const bool littleUnits = d[0] == '\xFF';
    std::u16string units;
    for (std::size_t i = 2; i + 1 < d.size(); i += 2) {
      const auto x = static_cast<unsigned char>(d[i]), y = static_cast<unsigned char>(d[i + 1]);
      units.push_back(static_cast<char16_t>(littleUnits ? (x | (y << 8)) : ((x << 8) | y)));
    }
    return m.StrValue(script::Utf8FromUnits(units));
  }
  return m.StrValue(Text(d, false));
}

// zlib streams by default; "deflate" for raw ones.
bool RawDeflate(Machine& m, const Value* args, int argc) { return StrArg(m, args, argc, 0, "zlib") == "deflate"; }

bool Pack(std::string& data, bool raw) {
  z_stream z{};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, raw ? -15 : 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) return false;
  data = std::move(out);
  return true;
}

bool Unpack(std::string& data, bool raw) {
  z_stream z{};
  if (inflateInit2(&z, raw ? -15 : 15) != Z_OK) return false;
  std::string out;
  char buffer[16384];
  z.next_in = reinterpret_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
    if (out.size() > (1u << 28)) rc = Z_MEM_ERROR;
  }
  inflateEnd(&z);
  if (rc != Z_STREAM_END) return false;
  data = std::move(out);
  return true;
}

Value Compress(Machine& m, const Value& self, const Value* args, int argc, bool raw) {
  Bytes b = This(m, self);
  if (Pack(b.data(), raw)) b.setPosition(b.data().size());
  return Value();
}
Value Uncompress(Machine& m, const Value& self, const Value* args, int argc, bool raw) {
  Bytes b = This(m, self);
  if (!Unpack(b.data(), raw)) m.ThrowError("flash.errors.IOError", 2058, "There was an error decompressing the data.");
  b.setPosition(0);
  return Value();
}
Value CompressMethod(Machine& m, const Value& self, const Value* a, int n) { return Compress(m, self, a, n, RawDeflate(m, a, n)); }
Value UncompressMethod(Machine& m, const Value& self, const Value* a, int n) { return Uncompress(m, self, a, n, RawDeflate(m, a, n)); }
Value DeflateMethod(Machine& m, const Value& self, const Value* a, int n) { return Compress(m, self, a, n, true); }
Value InflateMethod(Machine& m, const Value& self, const Value* a, int n) { return Uncompress(m, self, a, n, true); }

}  // namespace

void InstallByteArray(Machine& m) {
  ClassObject* c = m.DefineClass("flash.utils", "ByteArray", m.objectClass, Construct);
  c->allocate = Allocate;
  static const Member kByteArrayMembers[] = {
      {"readBoolean", ReadBoolean, nullptr, 0, 0},
      {"readByte", ReadByte, nullptr, 0, 0},
      {"readUnsignedByte", ReadUnsignedByte, nullptr, 0, 0},
      {"readShort", ReadShort, nullptr, 0, 0},
      {"readUnsignedShort", ReadUnsignedShort, nullptr, 0, 0},
      {"readInt", ReadInt, nullptr, 0, 0},
      {"readUnsignedInt", ReadUnsignedInt, nullptr, 0, 0},
      {"readFloat", ReadFloat, nullptr, 0, 0},
      {"readDouble", ReadDouble, nullptr, 0, 0},
      {"writeBoolean", WriteBoolean, nullptr, 0, 0},
      {"writeByte", WriteByte, nullptr, 0, 0},
      {"writeShort", WriteShort, nullptr, 0, 0},
      {"writeInt", WriteInt, nullptr, 0, 0},
      {"writeUnsignedInt", WriteUnsignedInt, nullptr, 0, 0},
      {"writeFloat", WriteFloat, nullptr, 0, 0},
      {"writeDouble", WriteDouble, nullptr, 0, 0},
      {"readUTF", ReadUTF, nullptr, 0, 0},
      {"readUTFBytes", ReadUTFBytes, nullptr, 0, 0},
      {"writeUTF", WriteUTF, nullptr, 0, 0},
      {"writeUTFBytes", WriteUTFBytes, nullptr, 0, 0},
      {"readMultiByte", ReadMultiByte, nullptr, 0, 0},
      {"writeMultiByte", WriteMultiByte, nullptr, 0, 0},
      {"readBytes", ReadBytes, nullptr, 0, 0},
      {"writeObject", WriteObject, nullptr, 0, 0, 1},
      {"readObject", ReadObject, nullptr, 0, 0},
      {"writeBytes", WriteBytes, nullptr, 0, 0},
      {"clear", Clear, nullptr, 0, 0},
      {"toString", ToStringMethod, nullptr, 0, 0},
      {"compress", CompressMethod, nullptr, 0, 0},
      {"uncompress", UncompressMethod, nullptr, 0, 0},
      {"deflate", DeflateMethod, nullptr, 0, 0},
      {"inflate", InflateMethod, nullptr, 0, 0},
      {"length", GetLength, SetLength, kAccessor, 0},
      {"position", GetPosition, SetPosition, kAccessor, 0},
      {"bytesAvailable", BytesAvailable, nullptr, kAccessor, 0},
      {"endian", GetEndian, SetEndian, kAccessor, 0},
      {"objectEncoding", GetEncoding, SetEncoding, kAccessor, 0},
      {"defaultObjectEncoding", GetDefaultEncoding, SetDefaultEncoding, kAccessor | kStatic, 0},
  };
  Install(m, c, kByteArrayMembers);
  ClassObject* endian = m.DefineClass("flash.utils", "Endian", m.objectClass);
  static const TextConstant kEndianConstants[] = {
      {"BIG_ENDIAN", "bigEndian"},
      {"LITTLE_ENDIAN", "littleEndian"},
  };
  Install(m, endian, kEndianConstants);
  InstallClassAliases(m);
}

}  // namespace vantrel::flash::avm2
