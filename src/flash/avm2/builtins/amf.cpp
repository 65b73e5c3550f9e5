// Action Message Format, versions 0 and 3. Objects of a class go with their class's
// alias (registerClassAlias; none: an anonymous object) and its public variables and
// read-write accessors by name order, then, for a dynamic class, their own enumerable
// properties. Functions are never sent: alone they are undefined, in an array or an
// object they are left out. A reader that meets an alias nobody registered makes a
// plain object; a member a class refuses is traced and skipped, as the player does.
#include "flash/avm2/builtins/amf.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "flash/avm2/builtins/support.h"

namespace vantrel::flash::avm2 {

void AppendU29(std::string& out, std::uint32_t n) {
  n &= 0x1FFFFFFF;
  if (n < 0x80) {
    out.push_back(static_cast<char>(n));
  } else if (n < 0x4000) {
    out.push_back(static_cast<char>((n >> 7) | 0x80));
    out.push_back(static_cast<char>(n & 0x7F));
  } else if (n < 0x200000) {
    out.push_back(static_cast<char>((n >> 14) | 0x80));
    out.push_back(static_cast<char>(((n >> 7) & 0x7F) | 0x80));
    out.push_back(static_cast<char>(n & 0x7F));
  } else {
    out.push_back(static_cast<char>((n >> 22) | 0x80));
    out.push_back(static_cast<char>(((n >> 15) & 0x7F) | 0x80));
    out.push_back(static_cast<char>(((n >> 8) & 0x7F) | 0x80));
    out.push_back(static_cast<char>(n & 0xFF));
  }
}

bool ReadU29(std::string_view bytes, std::size_t& at, std::uint32_t& n) {
  n = 0;
  for (int i = 0; i < 4; ++i) {
    if (at >= bytes.size()) return false;
    const auto b = static_cast<unsigned char>(bytes[at++]);
    if (i == 3) {
      n = (n << 8) | b;
      return true;
    }
    n = (n << 7) | (b & 0x7F);
    if (!(b & 0x80)) return true;
  }
  return true;
}

namespace {

enum Marker3 : std::uint8_t {
  kUndefined3 = 0, kNull3 = 1, kFalse3 = 2, kTrue3 = 3, kInteger3 = 4, kDouble3 = 5, kString3 = 6,
  kXmlDoc3 = 7, kDate3 = 8, kArray3 = 9, kObject3 = 10, kXml3 = 11, kByteArray3 = 12,
  kVectorInt3 = 13, kVectorUint3 = 14, kVectorDouble3 = 15, kVectorObject3 = 16, kDictionary3 = 17,
};

enum Marker0 : std::uint8_t {
  kNumber0 = 0, kBoolean0 = 1, kString0 = 2, kObject0 = 3, kMovieClip0 = 4, kNull0 = 5, kUndefined0 = 6,
  kReference0 = 7, kEcmaArray0 = 8, kObjectEnd0 = 9, kStrictArray0 = 10, kDate0 = 11, kLongString0 = 12,
  kUnsupported0 = 13, kXmlDoc0 = 15, kTypedObject0 = 16, kAvmPlus0 = 17,
};

bool IsFunction(const Value& v) {
  return v.IsObject() && (v.object->kind == ObjectKind::Function || v.object->kind == ObjectKind::Class);
}

ClassObject* VectorElementType(const Object* o) {
  if (!o->cls || o->cls->typeParams.empty() || !o->cls->typeParams[0].IsObject()) return nullptr;
  return static_cast<ClassObject*>(o->cls->typeParams[0].object);
}

std::string AliasOf(Machine& m, const ClassObject* cls) {
  const auto it = m.aliasOfClass.find(cls);
  return it == m.aliasOfClass.end() ? std::string() : it->second;
}

ClassObject* ClassOfAlias(Machine& m, const std::string& alias) {
  const auto it = m.classByAlias.find(alias);
  return it == m.classByAlias.end() ? nullptr : it->second;
}

// What a class sends of its instances: its alias, its public variables and read-write
// accessors (inherited ones too) by name, and whether more follows.
struct ClassShape {
  std::string alias;
  std::vector<std::string> sealed;
  bool dynamic = true;
  bool externalizable = false;
};

ClassShape ShapeOf(Machine& m, const Object* o) {
  ClassShape shape;
  shape.dynamic = o->dynamic;
  const ClassObject* cls = o->cls;
  if (!cls || cls == m.objectClass) return shape;
  shape.alias = AliasOf(m, cls);
  if (ClassObject* ext = m.FindClass("flash.utils.IExternalizable"); ext && m.IsInstance(Value::Obj(const_cast<Object*>(o)), ext)) {
    shape.externalizable = true;
    return shape;
  }
  if (!cls->instanceTraits) return shape;
  for (const auto& [id, bindings] : cls->instanceTraits->bindings) {
    for (const Binding& b : bindings) {
      if (b.ns != m.PublicNs()) continue;
      if (b.kind == Binding::Kind::Slot || (b.kind == Binding::Kind::Accessor && b.getter && b.setter))
        shape.sealed.push_back(m.NameText(id));
    }
  }
  std::sort(shape.sealed.begin(), shape.sealed.end());
  return shape;
}

// The enumerable properties an object sends after its sealed ones (a proxy's come from
// its nextName and nextValue), functions left out.
template <typename Visit>
void ForEachDynamic(Machine& m, Object* o, Visit visit) {
  for (int index = m.NextIndex(o, 0); index != 0; index = m.NextIndex(o, index)) {
    const Value name = m.NameAt(o, index);
    const Value value = m.ValueAt(o, index);
    if (IsFunction(value)) continue;
    visit(name, value);
  }
}

// Sets a member of an object being read; what the object refuses (a setter's error, a
// sealed class without the member) is traced and the reading goes on.
void SetMember(Machine& m, const Value& object, const Value& name, const Value& value) {
  try {
    if (m.IsDictionaryKey(object, name)) {
      *m.DictionaryEntry(object, name, true) = value;
      return;
    }
    m.SetPublic(object, m.ToString(name), value);
  } catch (const Thrown& thrown) {
    const std::string text = m.ToString(thrown.value);
    if (m.onTrace) m.onTrace(text);
  }
}

// A new instance of the class an alias names, or a plain object when none does.
Value NewInstance(Machine& m, ClassObject* cls) {
  if (!cls) return Value::Obj(m.NewObject());
  return Value::Obj(m.ConstructClass(cls, nullptr, 0));
}

Value NewVector(Machine& m, ClassObject* elementType, std::uint32_t reserve) {
  ClassObject* cls = ApplyVector(m, elementType);
  auto* v = static_cast<NativeObject*>(m.ConstructClass(cls, nullptr, 0));
  v->list.reserve(std::min<std::uint32_t>(reserve, 1u << 16));
  return Value::Obj(v);
}

class Writer {
 public:
  Writer(Machine& m, const Value& stream, const std::function<void(const std::string&)>& put)
      : m_(m), stream_(stream), put_(put) {}
  ~Writer() = default;

  void Finish() {
    if (!out_.empty()) put_(out_);
    out_.clear();
  }

  void Value3(const Value& v) {
    Machine::WalkDepth depth(m_);
    switch (v.type) {
      case Value::Type::Undefined: case Value::Type::Hole: Byte(kUndefined3); return;
      case Value::Type::Null: Byte(kNull3); return;
      case Value::Type::Boolean: Byte(v.boolean ? kTrue3 : kFalse3); return;
      case Value::Type::Number: Number3(v.number); return;
      case Value::Type::String: Byte(kString3); String3(m_.ToString(v)); return;
      case Value::Type::Object: Object3(v); return;
    }
  }

  void Value0(const Value& v) {
    Machine::WalkDepth depth(m_);
    switch (v.type) {
      case Value::Type::Undefined: case Value::Type::Hole: Byte(kUndefined0); return;
      case Value::Type::Null: Byte(kNull0); return;
      case Value::Type::Boolean: Byte(kBoolean0); Byte(v.boolean ? 1 : 0); return;
      case Value::Type::Number: Byte(kNumber0); Double(v.number); return;
      case Value::Type::String: String0(m_.ToString(v), true); return;
      case Value::Type::Object: Object0(v); return;
    }
  }

 private:
  void Byte(std::uint8_t b) { out_ += static_cast<char>(b); }
  void Raw(const std::string& bytes) { out_ += bytes; }
  void U16(std::uint32_t n) {
    Byte(static_cast<std::uint8_t>(n >> 8));
    Byte(static_cast<std::uint8_t>(n));
  }
  void U32(std::uint32_t n) {
    U16(n >> 16);
    U16(n & 0xFFFF);
  }
  void U29(std::uint32_t n) { AppendU29(out_, n); }

  void Double(double d) {
    unsigned char raw[8];
    std::memcpy(raw, &d, 8);
    for (int i = 7; i >= 0; --i) Byte(raw[i]);
  }
  // Whole numbers that fit 29 bits are integers, every other number a double.
  void Number3(double d) {
    if (d == std::trunc(d) && d >= -(1 << 28) && d < (1 << 28) && !(d == 0 && std::signbit(d))) {
      Byte(kInteger3);
      U29(static_cast<std::uint32_t>(static_cast<std::int32_t>(d)));
      return;
    }
    Byte(kDouble3);
    Double(d);
  }
  // A string once, then by its index; the empty string is never listed.
  void String3(const std::string& s) {
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
    Raw(s);
  }
  void Counted3(const std::string& bytes) {
    U29(static_cast<std::uint32_t>(bytes.size() << 1) | 1);
    Raw(bytes);
  }
  // An object already written is sent as its index.
  bool Reference3(Object* o) {
    const auto it = objects_.find(o);
    if (it != objects_.end()) {
      U29(it->second << 1);
      return true;
    }
    objects_.emplace(o, static_cast<std::uint32_t>(objects_.size()));
    return false;
  }
  // Self-contained kinds both versions send the same way; false for the others.
  bool Common(const Value& v, bool amf3) {
    Object* o = v.object;
    switch (o->kind) {
      case ObjectKind::Number: case ObjectKind::Boolean: case ObjectKind::String: {
        const Value primitive = m_.ToPrimitive(v, false);
        amf3 ? Value3(primitive) : Value0(primitive);
        return true;
      }
      case ObjectKind::Function: case ObjectKind::Class:
        Byte(amf3 ? kUndefined3 : kUndefined0);
        return true;
      default: return false;
    }
  }

  void Object3(const Value& v) {
    if (Common(v, true)) return;
    Object* o = v.object;
    switch (o->kind) {
      case ObjectKind::Date:
        Byte(kDate3);
        if (Reference3(o)) return;
        U29(1);
        Double(m_.ToNumber(m_.CallPublic(v, "getTime")));
        return;
      case ObjectKind::Xml: case ObjectKind::XmlList:
        Byte(kXml3);
        if (Reference3(o)) return;
        Counted3(m_.ToString(m_.CallPublic(v, "toXMLString")));
        return;
      case ObjectKind::ByteArray:
        Byte(kByteArray3);
        if (Reference3(o)) return;
        Counted3(static_cast<NativeObject*>(o)->text);
        return;
      case ObjectKind::Array: Array3(static_cast<ArrayObject*>(o)); return;
      case ObjectKind::Vector: Vector3(static_cast<NativeObject*>(o)); return;
      case ObjectKind::Dictionary: Dictionary3(o); return;
      default: break;
    }
    if (o->cls && o->cls->QualifiedName() == "flash.xml::XMLDocument") {
      Byte(kXmlDoc3);
      if (Reference3(o)) return;
      Counted3(m_.ToString(v));
      return;
    }
    Typed3(v);
  }

  // The dense part runs up to the first missing (or function) element; the elements
  // after it go by name with the array's other members.
  void Array3(ArrayObject* a) {
    Byte(kArray3);
    if (Reference3(a)) return;
    std::size_t dense = 0;
    while (dense < a->elements.size() && a->elements[dense].type != Value::Type::Hole && !IsFunction(a->elements[dense]))
      ++dense;
    U29(static_cast<std::uint32_t>(dense << 1) | 1);
    for (std::size_t i = dense; i < a->elements.size(); ++i) {
      const Value item = a->elements[i];
      if (item.type == Value::Type::Hole || IsFunction(item)) continue;
      String3(std::to_string(i));
      Value3(item);
    }
    for (const Object::Property& p : a->properties) {
      if (p.removed || !p.enumerable || IsFunction(p.value)) continue;
      String3(p.name);
      Value3(p.value);
    }
    String3("");
    for (std::size_t i = 0; i < dense; ++i) Value3(a->elements[i]);
  }

  void Vector3(NativeObject* v) {
    ClassObject* type = VectorElementType(v);
    const std::uint8_t marker = type == m_.intClass ? kVectorInt3 : type == m_.uintClass ? kVectorUint3
                                : type == m_.numberClass ? kVectorDouble3 : kVectorObject3;
    Byte(marker);
    if (Reference3(v)) return;
    const std::vector<Value> items = v->list;
    U29(static_cast<std::uint32_t>(items.size() << 1) | 1);
    Byte(v->b.IsBoolean() && v->b.boolean ? 1 : 0);
    if (marker == kVectorObject3) String3(type ? AliasOf(m_, type) : "");
    for (const Value& item : items) {
      switch (marker) {
        case kVectorInt3: U32(static_cast<std::uint32_t>(m_.ToInt32(item))); break;
        case kVectorUint3: U32(m_.ToUint32(item)); break;
        case kVectorDouble3: Double(m_.ToNumber(item)); break;
        default: Value3(item); break;
      }
    }
  }

  // Keys held by identity and named ones alike, each followed by its value.
  void Dictionary3(Object* d) {
    Byte(kDictionary3);
    if (Reference3(d)) return;
    std::vector<std::pair<Value, Value>> entries;
    ForEachDynamic(m_, d, [&](const Value& key, const Value& value) { entries.emplace_back(key, value); });
    U29(static_cast<std::uint32_t>(entries.size() << 1) | 1);
    Byte(0);
    for (const auto& [key, value] : entries) {
      Value3(key);
      Value3(value);
    }
  }

  void Typed3(const Value& v) {
    Object* o = v.object;
    Byte(kObject3);
    if (Reference3(o)) return;
    const ClassShape shape = ShapeOf(m_, o);
    const ClassObject* key = o->cls;
    const auto known = traits_.find(key);
    if (known != traits_.end()) {
      U29((known->second << 2) | 1);
    } else {
      traits_.emplace(key, static_cast<std::uint32_t>(traits_.size()));
      if (shape.externalizable) {
        U29(7);
        String3(shape.alias);
      } else {
        U29(static_cast<std::uint32_t>(shape.sealed.size() << 4) | (shape.dynamic ? 8 : 0) | 3);
        String3(shape.alias);
        for (const std::string& name : shape.sealed) String3(name);
      }
    }
    if (shape.externalizable) {
      WriteExternal(v);
      return;
    }
    for (const std::string& name : shape.sealed) Value3(m_.GetPublic(v, name));
    if (!shape.dynamic) return;
    ForEachDynamic(m_, o, [&](const Value& name, const Value& value) {
      String3(m_.ToString(name));
      Value3(value);
    });
    String3("");
  }

  // The object writes itself into the stream, after what came before it.
  void WriteExternal(const Value& v) {
    Finish();
    const Value stream = stream_;
    m_.CallPublic(v, "writeExternal", {stream});
  }

  void String0(const std::string& s, bool marker) {
    if (s.size() > 0xFFFF) {
      if (marker) Byte(kLongString0);
      U32(static_cast<std::uint32_t>(s.size()));
    } else {
      if (marker) Byte(kString0);
      U16(static_cast<std::uint32_t>(s.size()));
    }
    Raw(s);
  }
  bool Reference0(Object* o) {
    const auto it = objects0_.find(o);
    if (it != objects0_.end() && it->second <= 0xFFFF) {
      Byte(kReference0);
      U16(it->second);
      return true;
    }
    objects0_.emplace(o, static_cast<std::uint32_t>(objects0_.size()));
    return false;
  }
  void Member0(const std::string& name, const Value& value) {
    String0(name, false);
    Value0(value);
  }
  void End0() {
    U16(0);
    Byte(kObjectEnd0);
  }

  void Object0(const Value& v) {
    if (Common(v, false)) return;
    Object* o = v.object;
    switch (o->kind) {
      case ObjectKind::Date:
        Byte(kDate0);
        Double(m_.ToNumber(m_.CallPublic(v, "getTime")));
        U16(0);
        return;
      case ObjectKind::Array: {
        if (Reference0(o)) return;
        auto* a = static_cast<ArrayObject*>(o);
        Byte(kEcmaArray0);
        U32(static_cast<std::uint32_t>(a->elements.size()));
        for (std::size_t i = 0; i < a->elements.size(); ++i) {
          const Value item = a->elements[i];
          if (item.type == Value::Type::Hole || IsFunction(item)) continue;
          Member0(std::to_string(i), item);
        }
        for (const Object::Property& p : a->properties)
          if (!p.removed && p.enumerable && !IsFunction(p.value)) Member0(p.name, p.value);
        End0();
        return;
      }
      case ObjectKind::Xml: case ObjectKind::XmlList: case ObjectKind::ByteArray: case ObjectKind::Vector:
      case ObjectKind::Dictionary:
        // What the older version cannot say goes in the newer one.
        Byte(kAvmPlus0);
        Value3(v);
        return;
      default: break;
    }
    if (o->cls && o->cls->QualifiedName() == "flash.xml::XMLDocument") {
      Byte(kXmlDoc0);
      const std::string text = m_.ToString(v);
      U32(static_cast<std::uint32_t>(text.size()));
      Raw(text);
      return;
    }
    if (Reference0(o)) return;
    const ClassShape shape = ShapeOf(m_, o);
    if (shape.externalizable) {
      Byte(kAvmPlus0);
      Typed3(v);
      return;
    }
    if (shape.alias.empty()) {
      Byte(kObject0);
    } else {
      Byte(kTypedObject0);
      String0(shape.alias, false);
    }
    for (const std::string& name : shape.sealed) Member0(name, m_.GetPublic(v, name));
    if (shape.dynamic)
      ForEachDynamic(m_, o, [&](const Value& name, const Value& value) { Member0(m_.ToString(name), value); });
    End0();
  }

  Machine& m_;
  Value stream_;
  const std::function<void(const std::string&)>& put_;
  std::string out_;
  std::map<std::string, std::uint32_t> strings_;
  std::map<const Object*, std::uint32_t> objects_;
  std::map<const ClassObject*, std::uint32_t> traits_;
  std::map<const Object*, std::uint32_t> objects0_;
};

class Reader {
 public:
  Reader(Machine& m, NativeObject* stream) : m_(m), stream_(stream) {
    pos_ = static_cast<std::size_t>(stream->a.IsNumber() && stream->a.number > 0 ? stream->a.number : 0);
  }
  // The stream's position moves once the value is whole.
  void Finish() { stream_->a = Value::Number(static_cast<double>(pos_)); }

  Value Value3() {
    Machine::WalkDepth depth(m_);
    const std::uint8_t marker = Byte();
    switch (marker) {
      case kUndefined3: return Value();
      case kNull3: return Value::Null();
      case kFalse3: return Value::Bool(false);
      case kTrue3: return Value::Bool(true);
      case kInteger3: {
        std::uint32_t n = U29();
        if (n & 0x10000000) n |= 0xE0000000;  // sign of the 29 bits
        return Value::Number(static_cast<std::int32_t>(n));
      }
      case kDouble3: return Value::Number(Double());
      case kString3: return m_.StrValue(String3());
      case kDate3: {
        const std::uint32_t ref = U29();
        if (!(ref & 1)) return Object3(ref >> 1);
        const Value time = Value::Number(Double());
        return Keep3(m_.Construct(Value::Obj(m_.FindClass("Date")), &time, 1));
      }
      case kXml3: case kXmlDoc3: {
        const std::uint32_t ref = U29();
        if (!(ref & 1)) return Object3(ref >> 1);
        const Value text = m_.StrValue(Raw(ref >> 1));
        ClassObject* cls = marker == kXml3 ? m_.xmlClass : m_.FindClass("flash.xml.XMLDocument");
        return Keep3(m_.Construct(Value::Obj(cls ? cls : m_.xmlClass), &text, 1));
      }
      case kByteArray3: {
        const std::uint32_t ref = U29();
        if (!(ref & 1)) return Object3(ref >> 1);
        const Value bytes = m_.Construct(Value::Obj(m_.FindClass("flash.utils.ByteArray")), nullptr, 0);
        static_cast<NativeObject*>(bytes.object)->text = Raw(ref >> 1);
        return Keep3(bytes);
      }
      case kArray3: return Array3();
      case kObject3: return Typed3();
      case kVectorInt3: case kVectorUint3: case kVectorDouble3: case kVectorObject3: return Vector3(marker);
      case kDictionary3: return Dictionary3();
      default:
        m_.ThrowError("Error", 2006, "The supplied index is out of bounds.");
    }
  }

  Value Value0() {
    Machine::WalkDepth depth(m_);
    const std::uint8_t marker = Byte();
    switch (marker) {
      case kNumber0: return Value::Number(Double());
      case kBoolean0: return Value::Bool(Byte() != 0);
      case kString0: return m_.StrValue(Raw(U16()));
      case kLongString0: return m_.StrValue(Raw(U32()));
      case kNull0: return Value::Null();
      case kUndefined0: case kUnsupported0: case kMovieClip0: return Value();
      case kReference0: {
        const std::uint32_t index = U16();
        if (index >= objects0_.size()) m_.ThrowError("RangeError", 2006, "The supplied index is out of bounds.");
        return objects0_[index];
      }
      case kObject0: return Members0(Value::Obj(m_.NewObject()));
      case kTypedObject0: {
        const std::string alias = Raw(U16());
        return Members0(NewInstance(m_, ClassOfAlias(m_, alias)));
      }
      case kEcmaArray0: {
        const std::uint32_t count = U32();
        ArrayObject* a = m_.NewArray();
        if (count <= (1u << 24)) a->elements.resize(count, Value::Hole());
        return Members0(Value::Obj(a));
      }
      case kStrictArray0: {
        const std::uint32_t count = U32();
        const Value array = Value::Obj(m_.NewArray());
        objects0_.push_back(array);
        for (std::uint32_t i = 0; i < count; ++i) static_cast<ArrayObject*>(array.object)->elements.push_back(Value0());
        return array;
      }
      case kDate0: {
        const Value time = Value::Number(Double());
        U16();  // the writer's time zone, which the date does not keep
        return m_.Construct(Value::Obj(m_.FindClass("Date")), &time, 1);
      }
      case kXmlDoc0: {
        const Value text = m_.StrValue(Raw(U32()));
        ClassObject* cls = m_.FindClass("flash.xml.XMLDocument");
        return m_.Construct(Value::Obj(cls ? cls : m_.xmlClass), &text, 1);
      }
      case kAvmPlus0: return Value3();
      default:
        m_.ThrowError("Error", 2006, "The supplied index is out of bounds.");
    }
  }

 private:
  std::uint8_t Byte() {
    const std::string& data = stream_->text;
    if (pos_ >= data.size()) m_.ThrowError("flash.errors.EOFError", 2030, "End of file was encountered.");
    return static_cast<std::uint8_t>(data[pos_++]);
  }
  std::uint32_t U16() {
    const std::uint32_t high = Byte();
    return (high << 8) | Byte();
  }
  std::uint32_t U32() {
    const std::uint32_t high = U16();
    return (high << 16) | U16();
  }
  std::uint32_t U29() {
    std::uint32_t n = 0;
    if (!ReadU29(stream_->text, pos_, n)) m_.ThrowError("flash.errors.EOFError", 2030, "End of file was encountered.");
    return n;
  }
  double Double() {
    unsigned char raw[8];
    for (int i = 7; i >= 0; --i) raw[i] = Byte();
    double d;
    std::memcpy(&d, raw, 8);
    return d;
  }
  std::string Raw(std::size_t count) {
    const std::string& data = stream_->text;
    if (pos_ > data.size() || data.size() - pos_ < count)
      m_.ThrowError("flash.errors.EOFError", 2030, "End of file was encountered.");
    std::string out = data.substr(pos_, count);
    pos_ += count;
    return out;
  }
  [[noreturn]] void OutOfBounds() { m_.ThrowError("RangeError", 2006, "The supplied index is out of bounds."); }

  std::string String3() {
    const std::uint32_t ref = U29();
    if (!(ref & 1)) {
      if ((ref >> 1) >= strings_.size()) OutOfBounds();
      return strings_[ref >> 1];
    }
    std::string s = Raw(ref >> 1);
    if (!s.empty()) strings_.push_back(s);
    return s;
  }
  Value Object3(std::uint32_t index) {
    if (index >= objects_.size()) OutOfBounds();
    return objects_[index];
  }
  Value Keep3(const Value& v) {
    objects_.push_back(v);
    return v;
  }

  Value Array3() {
    const std::uint32_t ref = U29();
    if (!(ref & 1)) return Object3(ref >> 1);
    const Value array = Keep3(Value::Obj(m_.NewArray()));
    for (std::string name = String3(); !name.empty(); name = String3()) {
      const Value value = Value3();
      SetMember(m_, array, m_.StrValue(name), value);
    }
    const std::uint32_t dense = ref >> 1;
    for (std::uint32_t i = 0; i < dense; ++i) {
      const Value value = Value3();
      m_.SetPublic(array, std::to_string(i), value);
    }
    return array;
  }

  Value Vector3(std::uint8_t marker) {
    const std::uint32_t ref = U29();
    if (!(ref & 1)) return Object3(ref >> 1);
    const std::uint32_t count = ref >> 1;
    const bool fixed = Byte() != 0;
    ClassObject* type = marker == kVectorInt3 ? m_.intClass : marker == kVectorUint3 ? m_.uintClass
                        : marker == kVectorDouble3 ? m_.numberClass : nullptr;
    if (marker == kVectorObject3) {
      type = ClassOfAlias(m_, String3());
      if (!type) type = m_.objectClass;
    }
    const Value vector = Keep3(NewVector(m_, type, count));
    auto* v = static_cast<NativeObject*>(vector.object);
    for (std::uint32_t i = 0; i < count; ++i) {
      Value item;
      switch (marker) {
        case kVectorInt3: item = Value::Number(static_cast<std::int32_t>(U32())); break;
        case kVectorUint3: item = Value::Number(U32()); break;
        case kVectorDouble3: item = Value::Number(Double()); break;
        default: item = m_.Coerce(Value3(), type); break;
      }
      v->list.push_back(item);
    }
    v->b = Value::Bool(fixed);
    return vector;
  }

  Value Dictionary3() {
    const std::uint32_t ref = U29();
    if (!(ref & 1)) return Object3(ref >> 1);
    Byte();  // weak keys: the dictionary made here holds its keys
    ClassObject* cls = m_.FindClass("flash.utils.Dictionary");
    const Value dictionary = Keep3(NewInstance(m_, cls));
    for (std::uint32_t i = 0, n = ref >> 1; i < n; ++i) {
      const Value key = Value3();
      const Value value = Value3();
      SetMember(m_, dictionary, key, value);
    }
    return dictionary;
  }

  struct Traits3 {
    std::string alias;
    bool dynamic = false;
    bool externalizable = false;
    std::vector<std::string> members;
  };
  Value Typed3() {
    const std::uint32_t ref = U29();
    if (!(ref & 1)) return Object3(ref >> 1);
    Traits3 traits;
    if (!(ref & 2)) {
      if ((ref >> 2) >= traits_.size()) OutOfBounds();
      traits = traits_[ref >> 2];
    } else {
      traits.externalizable = (ref & 4) != 0;
      traits.dynamic = (ref & 8) != 0;
      traits.alias = String3();
      if (!traits.externalizable)
        for (std::uint32_t i = 0, n = ref >> 4; i < n; ++i) traits.members.push_back(String3());
      traits_.push_back(traits);
    }
    ClassObject* cls = traits.alias.empty() ? nullptr : ClassOfAlias(m_, traits.alias);
    if (traits.externalizable) {
      if (!cls) m_.ThrowReferenceError(1014, "Class " + traits.alias + " could not be found.");
      const Value object = Keep3(NewInstance(m_, cls));
      ReadExternal(object);
      return object;
    }
    const Value object = Keep3(NewInstance(m_, cls));
    for (const std::string& member : traits.members) {
      const Value value = Value3();
      SetMember(m_, object, m_.StrValue(member), value);
    }
    if (traits.dynamic) {
      for (std::string name = String3(); !name.empty(); name = String3()) {
        const Value value = Value3();
        SetMember(m_, object, m_.StrValue(name), value);
      }
    }
    return object;
  }

  // The object reads itself from the stream, from where this reader stands.
  void ReadExternal(const Value& object) {
    Finish();
    m_.CallPublic(object, "readExternal", {Value::Obj(stream_)});
    pos_ = static_cast<std::size_t>(stream_->a.IsNumber() && stream_->a.number > 0 ? stream_->a.number : 0);
  }

  // Name and value pairs up to the empty name and the end marker.
  Value Members0(const Value& object) {
    objects0_.push_back(object);
    for (;;) {
      const std::string name = Raw(U16());
      if (name.empty()) {
        const std::uint8_t end = Byte();
        if (end == kObjectEnd0) break;
        m_.ThrowError("Error", 2006, "The supplied index is out of bounds.");
      }
      const Value value = Value0();
      SetMember(m_, object, m_.StrValue(name), value);
    }
    return object;
  }

  Machine& m_;
  NativeObject* stream_;
  std::size_t pos_ = 0;
  std::vector<std::string> strings_;
  std::vector<Value> objects_;
  std::vector<Traits3> traits_;
  std::vector<Value> objects0_;
};

Value RegisterClassAlias(Machine& m, const Value&, const Value* args, int argc) {
  const Value alias = Arg(args, argc, 0);
  const Value cls = Arg(args, argc, 1);
  if (alias.IsNullish()) m.ThrowTypeError(2007, "Parameter aliasName must be non-null.");
  if (cls.IsNullish()) m.ThrowTypeError(2007, "Parameter classObject must be non-null.");
  if (!cls.IsObject() || cls.object->kind != ObjectKind::Class)
    m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(cls) + " to Class.");
  const std::string name = m.ToString(alias);
  auto* c = static_cast<ClassObject*>(cls.object);
  m.classByAlias[name] = c;
  m.aliasOfClass[c] = name;
  return Value();
}

Value GetClassByAlias(Machine& m, const Value&, const Value* args, int argc) {
  const Value alias = Arg(args, argc, 0);
  if (alias.IsNullish()) m.ThrowTypeError(2007, "Parameter aliasName must be non-null.");
  const std::string name = m.ToString(alias);
  ClassObject* cls = ClassOfAlias(m, name);
  if (!cls) m.ThrowReferenceError(1014, "Class " + name + " could not be found.");
  return Value::Obj(cls);
}

}  // namespace

void WriteAmf(Machine& m, const Value& value, std::uint32_t encoding, const Value& stream,
              const std::function<void(const std::string&)>& put) {
  Writer writer(m, stream, put);
  encoding == kAmf0 ? writer.Value0(value) : writer.Value3(value);
  writer.Finish();
}

Value ReadAmf(Machine& m, NativeObject* stream, std::uint32_t encoding) {
  Reader reader(m, stream);
  const Value value = encoding == kAmf0 ? reader.Value0() : reader.Value3();
  reader.Finish();
  return value;
}

void InstallClassAliases(Machine& m) {
  m.DefineGlobal("flash.net", "registerClassAlias",
                 Value::Obj(m.NewNativeFunction("registerClassAlias", RegisterClassAlias)));
  m.DefineGlobal("flash.net", "getClassByAlias", Value::Obj(m.NewNativeFunction("getClassByAlias", GetClassByAlias)));
}

}  // namespace vantrel::flash::avm2
