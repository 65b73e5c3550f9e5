// Action Message Format 3, the encoding of ByteArray.writeObject and readObject: values
// with their type markers, integers in 29-bit variable length, strings, objects and
// traits sent once and referred to by index afterwards. Arrays keep their named
// members beside the dense part; an object is written with its dynamic properties.
#include <cmath>
#include <cstring>
#include <map>

#include "flash/avm2/builtins/support.h"

namespace vantrel::flash::avm2 {

namespace {

enum Marker : std::uint8_t {
  kUndefined = 0, kNull = 1, kFalse = 2, kTrue = 3, kInteger = 4, kDouble = 5, kString = 6, kXmlDoc = 7,
  kDate = 8, kArray = 9, kObject = 10, kXml = 11, kByteArray = 12,
};

class Writer {
 public:
  Writer(Machine& m, std::string& out) : m_(m), out_(out) {}

  void Value3(const Value& v) {
    switch (v.type) {
      case Value::Type::Undefined: case Value::Type::Hole: out_ += char(kUndefined); return;
      case Value::Type::Null: out_ += char(kNull); return;
      case Value::Type::Boolean: out_ += char(v.boolean ? kTrue : kFalse); return;
      case Value::Type::Number: Number(v.number); return;
      case Value::Type::String: out_ += char(kString); String(m_.ToString(v)); return;
      case Value::Type::Object: Object3(v); return;
    }
  }

 private:
  void U29(std::uint32_t n) {
    n &= 0x1FFFFFFF;
    if (n < 0x80) {
      out_ += char(n);
    } else if (n < 0x4000) {
      out_ += char((n >> 7) | 0x80);
      out_ += char(n & 0x7F);
    } else if (n < 0x200000) {
      out_ += char((n >> 14) | 0x80);
      out_ += char(((n >> 7) & 0x7F) | 0x80);
      out_ += char(n & 0x7F);
    } else {
      out_ += char((n >> 22) | 0x80);
      out_ += char(((n >> 15) & 0x7F) | 0x80);
      out_ += char(((n >> 8) & 0x7F) | 0x80);
      out_ += char(n & 0xFF);
    }
  }
  void Double(double d) {
    unsigned char raw[8];
    std::memcpy(raw, &d, 8);
    for (int i = 7; i >= 0; --i) out_ += char(raw[i]);
  }
  // Whole numbers that fit 29 bits are integers, every other number a double.
  void Number(double d) {
    if (d == std::trunc(d) && d >= -(1 << 28) && d < (1 << 28) && !(d == 0 && std::signbit(d))) {
      out_ += char(kInteger);
      U29(static_cast<std::uint32_t>(static_cast<std::int32_t>(d)));
      return;
    }
    out_ += char(kDouble);
    Double(d);
  }
  // A string once, then by its index; the empty string is never listed.
  void String(const std::string& s) {
    if (s.empty()) {
      U29(1);
      return;
    }
    const auto it = strings_.find(s);
    if (it != strings_.end()) {
      U29(it->second << 1);
      return;
    }
    strings_.emplace(s, static_cast<std::uint32_t>(strings_.size()));
    U29(static_cast<std::uint32_t>(s.size() << 1) | 1);
    out_ += s;
  }
  // An object already written is sent as its index.
  bool Reference(Object* o) {
    const auto it = objects_.find(o);
    if (it != objects_.end()) {
      U29(it->second << 1);
      return true;
    }
    objects_.emplace(o, static_cast<std::uint32_t>(objects_.size()));
    return false;
  }
  void Object3(const Value& v) {
    Object* o = v.object;
    switch (o->kind) {
      case ObjectKind::Date: {
        out_ += char(kDate);
        if (Reference(o)) return;
        U29(1);
        Double(m_.ToNumber(m_.CallPublic(v, "getTime")));
        return;
      }
      case ObjectKind::Xml: {
        out_ += char(kXml);
        if (Reference(o)) return;
        const std::string text = m_.ToString(m_.CallPublic(v, "toXMLString"));
        U29(static_cast<std::uint32_t>(text.size() << 1) | 1);
        out_ += text;
        return;
      }
      case ObjectKind::ByteArray: {
        out_ += char(kByteArray);
        if (Reference(o)) return;
        const std::string& bytes = static_cast<NativeObject*>(o)->text;
        U29(static_cast<std::uint32_t>(bytes.size() << 1) | 1);
        out_ += bytes;
        return;
      }
      case ObjectKind::Number: case ObjectKind::Boolean: case ObjectKind::String:
        Value3(m_.ToPrimitive(v, false));
        return;
      case ObjectKind::Function: case ObjectKind::Class:
        // Functions are not sent: they read back as undefined.
        out_ += char(kUndefined);
        return;
      case ObjectKind::Array: {
        out_ += char(kArray);
        if (Reference(o)) return;
        const double length = m_.ToNumber(m_.GetPublic(v, "length"));
        const auto dense = static_cast<std::uint32_t>(length);
        U29((dense << 1) | 1);
        // Named members (not indices) first, then the dense part.
        for (const Object::Property& p : o->properties) {
          if (p.removed || !p.enumerable || IsIndex(p.name)) continue;
          String(p.name);
          Value3(p.value);
        }
        String("");
        for (std::uint32_t i = 0; i < dense; ++i) Value3(m_.GetPublic(v, std::to_string(i)));
        return;
      }
      default: break;
    }
    out_ += char(kObject);
    if (Reference(o)) return;
    // A dynamic object of no sealed members: traits inline, dynamic, no members.
    U29(0x0B);
    String("");
    for (const Object::Property& p : o->properties) {
      if (p.removed || !p.enumerable) continue;
      const Value value = p.value;
      if (value.IsObject() && (value.object->kind == ObjectKind::Function)) continue;
      String(p.name);
      Value3(value);
    }
    String("");
  }
  static bool IsIndex(const std::string& name) {
    if (name.empty() || name.size() > 10) return false;
    for (char c : name)
      if (c < '0' || c > '9') return false;
    return name == "0" || name[0] != '0';
  }

  Machine& m_;
  std::string& out_;
  std::map<std::string, std::uint32_t> strings_;
  std::map<Object*, std::uint32_t> objects_;
};

class Reader {
 public:
  Reader(Machine& m, const std::string& data, std::size_t& pos) : m_(m), data_(data), pos_(pos) {}

  Value Value3() {
    const std::uint8_t marker = Byte();
    switch (marker) {
      case kUndefined: return Value();
      case kNull: return Value::Null();
      case kFalse: return Value::Bool(false);
      case kTrue: return Value::Bool(true);
      case kInteger: {
        std::uint32_t n = U29();
        if (n & 0x10000000) n |= 0xE0000000;  // sign of the 29 bits
        return Value::Number(static_cast<std::int32_t>(n));
      }
      case kDouble: return Value::Number(Double());
      case kString: return m_.StrValue(String());
      case kDate: {
        const std::uint32_t ref = U29();
        if (!(ref & 1)) return Object(ref >> 1);
        const Value time = Value::Number(Double());
        const Value date = m_.Construct(Value::Obj(m_.FindClass("Date")), &time, 1);
        objects_.push_back(date);
        return date;
      }
      case kXml: case kXmlDoc: {
        const std::uint32_t ref = U29();
        if (!(ref & 1)) return Object(ref >> 1);
        const Value text = m_.StrValue(Raw(ref >> 1));
        const Value xml = m_.Construct(Value::Obj(m_.FindClass("XML")), &text, 1);
        objects_.push_back(xml);
        return xml;
      }
      case kByteArray: {
        const std::uint32_t ref = U29();
        if (!(ref & 1)) return Object(ref >> 1);
        const Value bytes = m_.Construct(Value::Obj(m_.FindClass("flash.utils.ByteArray")), nullptr, 0);
        static_cast<NativeObject*>(bytes.object)->text = Raw(ref >> 1);
        objects_.push_back(bytes);
        return bytes;
      }
      case kArray: {
        const std::uint32_t ref = U29();
        if (!(ref & 1)) return Object(ref >> 1);
        const Value array = Value::Obj(m_.NewArray());
        objects_.push_back(array);
        for (std::string name = String(); !name.empty(); name = String()) m_.SetPublic(array, name, Value3());
        const std::uint32_t dense = ref >> 1;
        for (std::uint32_t i = 0; i < dense; ++i) m_.SetPublic(array, std::to_string(i), Value3());
        return array;
      }
      case kObject: return Object3();
      default:
        m_.ThrowError("Error", 2006, "The supplied index is out of bounds.");
    }
  }

 private:
  std::uint8_t Byte() {
    if (pos_ >= data_.size()) m_.ThrowError("flash.errors.EOFError", 2030, "End of file was encountered.");
    return static_cast<std::uint8_t>(data_[pos_++]);
  }
  std::uint32_t U29() {
    std::uint32_t n = 0;
    for (int i = 0; i < 3; ++i) {
      const std::uint8_t b = Byte();
      n = (n << 7) | (b & 0x7F);
      if (!(b & 0x80)) return n;
    }
    return (n << 8) | Byte();
  }
  double Double() {
    unsigned char raw[8];
    for (int i = 7; i >= 0; --i) raw[i] = Byte();
    double d;
    std::memcpy(&d, raw, 8);
    return d;
  }
  std::string Raw(std::size_t count) {
    if (data_.size() - pos_ < count) m_.ThrowError("flash.errors.EOFError", 2030, "End of file was encountered.");
    std::string out = data_.substr(pos_, count);
    pos_ += count;
    return out;
  }
  std::string String() {
    const std::uint32_t ref = U29();
    if (!(ref & 1)) {
      if ((ref >> 1) >= strings_.size()) m_.ThrowError("RangeError", 2006, "The supplied index is out of bounds.");
      return strings_[ref >> 1];
    }
    std::string s = Raw(ref >> 1);
    if (!s.empty()) strings_.push_back(s);
    return s;
  }
  Value Object(std::uint32_t index) {
    if (index >= objects_.size()) m_.ThrowError("RangeError", 2006, "The supplied index is out of bounds.");
    return objects_[index];
  }
  struct Traits {
    std::string name;
    bool dynamic = false;
    std::vector<std::string> members;
  };
  Value Object3() {
    const std::uint32_t ref = U29();
    if (!(ref & 1)) return Object(ref >> 1);
    Traits traits;
    if (!(ref & 2)) {
      if ((ref >> 2) >= traits_.size()) m_.ThrowError("RangeError", 2006, "The supplied index is out of bounds.");
      traits = traits_[ref >> 2];
    } else {
      if (ref & 4) m_.ThrowError("Error", 2006, "The supplied index is out of bounds.");  // externalizable
      traits.dynamic = (ref & 8) != 0;
      traits.name = String();
      for (std::uint32_t i = 0, n = ref >> 4; i < n; ++i) traits.members.push_back(String());
      traits_.push_back(traits);
    }
    const Value object = Value::Obj(m_.NewObject());
    objects_.push_back(object);
    for (const std::string& member : traits.members) m_.SetPublic(object, member, Value3());
    if (traits.dynamic)
      for (std::string name = String(); !name.empty(); name = String()) m_.SetPublic(object, name, Value3());
    return object;
  }

  Machine& m_;
  const std::string& data_;
  std::size_t& pos_;
  std::vector<std::string> strings_;
  std::vector<Value> objects_;
  std::vector<Traits> traits_;
};

}  // namespace

void WriteAmf3(Machine& m, std::string& out, const Value& value) { Writer(m, out).Value3(value); }

Value ReadAmf3(Machine& m, const std::string& data, std::size_t& position) { return Reader(m, data, position).Value3(); }

}  // namespace vantrel::flash::avm2
