// AMF0, the encoding shared objects (.sol files) and local connections store values in.
#include <algorithm>
#include <bit>
#include <cstring>

#include "flash/avm1/builtins/data_support.h"

namespace vantrel::flash::avm1::data {

namespace {

enum Marker : std::uint8_t {
  kNumber = 0x00,
  kBoolean = 0x01,
  kString = 0x02,
  kObject = 0x03,
  kNull = 0x05,
  kUndefined = 0x06,
  kReference = 0x07,
  kEcmaArray = 0x08,
  kObjectEnd = 0x09,
  kStrictArray = 0x0A,
  kDate = 0x0B,
  kLongString = 0x0C,
  kUnsupported = 0x0D,
  kXml = 0x0F,
  kTypedObject = 0x10,
};

constexpr int kMaxDepth = 256;

// The alias a class was registered under with Object.registerClass by code of the
// version's movies, or "".
std::string AliasOf(Runtime& rt, int version, Object* object) {
  if (!object->proto) return {};
  for (const auto& [name, ctor] : rt.RegisteredClasses(version)) {
    if (ctor && PrototypeOf(ctor) == object->proto) return name;
  }
  return {};
}

}  // namespace

void AmfWriter::WriteU16(std::uint16_t v) {
  WriteU8(static_cast<std::uint8_t>(v >> 8));
  WriteU8(static_cast<std::uint8_t>(v));
}

void AmfWriter::WriteU32(std::uint32_t v) {
  WriteU16(static_cast<std::uint16_t>(v >> 16));
  WriteU16(static_cast<std::uint16_t>(v));
}

void AmfWriter::WriteDouble(double v) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  WriteU32(static_cast<std::uint32_t>(bits >> 32));
  WriteU32(static_cast<std::uint32_t>(bits));
}

void AmfWriter::WriteShortString(std::string_view text) {
  if (text.size() > 0xFFFF) text = text.substr(0, 0xFFFF);
  WriteU16(static_cast<std::uint16_t>(text.size()));
  out_.append(text);
}

void AmfWriter::WriteEntry(std::string_view name, const Value& value) {
  WriteShortString(name);
  WriteValue(value);
}

void AmfWriter::WriteObjectBody(Object* object) {
  // Own enumerable properties in the order they were made; getters are read.
  std::vector<std::string> names;
  for (const Property& p : object->Properties()) {
    if (!(p.attributes & kDontEnum)) names.push_back(p.name);
  }
  for (const std::string& name : names) {
    const Value value = machine_.Get(object, name);
    if (machine_.Throwing()) return;
    WriteEntry(name, value);
  }
}

void AmfWriter::WriteValue(const Value& value) {
  switch (value.type) {
    case Value::Type::Undefined:
      WriteU8(kUndefined);
      return;
    case Value::Type::Null:
      WriteU8(kNull);
      return;
    case Value::Type::Boolean:
      WriteU8(kBoolean);
      WriteU8(value.boolean ? 1 : 0);
      return;
    case Value::Type::Number:
      WriteU8(kNumber);
      WriteDouble(value.number);
      return;
    case Value::Type::String: {
      const std::string& text = value.Text();
      if (text.size() > 0xFFFF) {
        WriteU8(kLongString);
        WriteU32(static_cast<std::uint32_t>(text.size()));
        out_.append(text);
      } else {
        WriteU8(kString);
        WriteShortString(text);
      }
      return;
    }
    case Value::Type::Object:
      break;
  }
  Object* object = value.object;
  if (machine_.AsDisplay(object) || depth_ >= kMaxDepth) {
    WriteU8(kUndefined);
    return;
  }
  for (std::size_t i = 0; i < seen_.size() && i <= 0xFFFF; ++i) {
    if (seen_[i] == object) {
      WriteU8(kReference);
      WriteU16(static_cast<std::uint16_t>(i));
      return;
    }
  }
  if (IsXmlNode(object)) {
    const std::string text = XmlToString(machine_, object);
    WriteU8(kXml);
    WriteU32(static_cast<std::uint32_t>(text.size()));
    out_.append(text);
    return;
  }
  if (object->kind == NativeKind::Date) {
    WriteU8(kDate);
    WriteDouble(machine_.ToNumber(machine_.CallMethod(value, "getTime", {})));
    WriteU16(0);
    return;
  }
  seen_.push_back(object);
  ++depth_;
  if (ArrayData* array = object->Array()) {
    WriteU8(kEcmaArray);
    WriteU32(static_cast<std::uint32_t>(std::max(array->Length(), 0)));
    // Holes are not written; the reader makes them again from the length.
    std::vector<std::pair<std::size_t, Value>> elements;
    for (const std::size_t i : array->Indices()) {
      if (const Value element = array->Get(i); !element.IsUndefined()) elements.emplace_back(i, element);
    }
    for (const auto& [index, element] : elements) WriteEntry(std::to_string(index), element);
    WriteObjectBody(object);
  } else {
    const std::string alias = AliasOf(machine_.Rt(), machine_.Version(), object);
    if (alias.empty()) {
      WriteU8(kObject);
    } else {
      WriteU8(kTypedObject);
      WriteShortString(alias);
    }
    WriteObjectBody(object);
  }
  --depth_;
  WriteU16(0);
  WriteU8(kObjectEnd);
}

bool AmfReader::Skip(std::size_t count) {
  if (bytes_.size() - pos_ < count) {
    failed_ = true;
    return false;
  }
  pos_ += count;
  return true;
}

std::optional<std::uint8_t> AmfReader::ReadU8() {
  if (pos_ >= bytes_.size()) {
    failed_ = true;
    return std::nullopt;
  }
  return static_cast<std::uint8_t>(bytes_[pos_++]);
}

std::optional<std::uint16_t> AmfReader::ReadU16() {
  const auto hi = ReadU8(), lo = ReadU8();
  if (!hi || !lo) return std::nullopt;
  return static_cast<std::uint16_t>((*hi << 8) | *lo);
}

std::optional<std::uint32_t> AmfReader::ReadU32() {
  const auto hi = ReadU16(), lo = ReadU16();
  if (!hi || !lo) return std::nullopt;
  return (static_cast<std::uint32_t>(*hi) << 16) | *lo;
}

std::optional<double> AmfReader::ReadDouble() {
  const auto hi = ReadU32(), lo = ReadU32();
  if (!hi || !lo) return std::nullopt;
  return std::bit_cast<double>((static_cast<std::uint64_t>(*hi) << 32) | *lo);
}

std::optional<std::string> AmfReader::ReadBytes(std::size_t count) {
  if (bytes_.size() - pos_ < count) {
    failed_ = true;
    return std::nullopt;
  }
  std::string out(bytes_.substr(pos_, count));
  pos_ += count;
  return out;
}

std::optional<std::string> AmfReader::ReadShortString() {
  const auto length = ReadU16();
  if (!length) return std::nullopt;
  return ReadBytes(*length);
}

bool AmfReader::ReadProperties(Object* object) {
  while (true) {
    const auto name = ReadShortString();
    if (!name) return false;
    if (name->empty()) {
      const auto end = ReadU8();
      if (!end || *end != kObjectEnd) {
        failed_ = true;
        return false;
      }
      return true;
    }
    const auto value = ReadValue();
    if (!value) return false;
    machine_.Set(object, *name, *value);
  }
}

std::optional<Value> AmfReader::ReadValue() {
  if (failed_) return std::nullopt;
  const auto marker = ReadU8();
  if (!marker) return std::nullopt;
  // Containers nest no deeper than the writer writes them.
  const bool container = *marker == kObject || *marker == kTypedObject || *marker == kEcmaArray ||
                         *marker == kStrictArray;
  if (container && depth_ >= kMaxDepth) {
    failed_ = true;
    return std::nullopt;
  }
  switch (*marker) {
    case kNumber: {
      const auto n = ReadDouble();
      if (!n) return std::nullopt;
      return Value::Number(*n);
    }
    case kBoolean: {
      const auto b = ReadU8();
      if (!b) return std::nullopt;
      return Value::Bool(*b != 0);
    }
    case kString: {
      const auto s = ReadShortString();
      if (!s) return std::nullopt;
      return machine_.Str(*s);
    }
    case kLongString:
    case kXml: {
      const auto length = ReadU32();
      if (!length) return std::nullopt;
      const auto s = ReadBytes(*length);
      if (!s) return std::nullopt;
      if (*marker == kLongString) return machine_.Str(*s);
      return Value::Obj(ParseXmlDocument(machine_, *s));
    }
    case kNull:
      return Value::Null();
    case kUndefined:
    case kUnsupported:
      return Value();
    case kReference: {
      const auto index = ReadU16();
      if (!index) return std::nullopt;
      if (*index >= seen_.size()) {
        failed_ = true;
        return std::nullopt;
      }
      return Value::Obj(seen_[*index]);
    }
    case kDate: {
      const auto time = ReadDouble();
      if (!time || !ReadU16()) return std::nullopt;
      Object* dateCtor = machine_.Get(machine_.Rt().global, "Date").AsObject();
      const Value arg = Value::Number(*time);
      Object* date = dateCtor ? machine_.Construct(dateCtor, std::span<const Value>(&arg, 1)) : nullptr;
      return Value::Obj(date);
    }
    case kObject:
    case kTypedObject: {
      Object* proto = machine_.Rt().objectProto;
      if (*marker == kTypedObject) {
        const auto alias = ReadShortString();
        if (!alias) return std::nullopt;
        const auto& classes = machine_.Rt().RegisteredClasses(machine_.Version());
        const auto it = classes.find(*alias);
        if (it != classes.end() && PrototypeOf(it->second)) proto = PrototypeOf(it->second);
      }
      Object* object = machine_.Rt().MakeObject(proto);
      seen_.push_back(object);
      ++depth_;
      const bool ok = ReadProperties(object);
      --depth_;
      if (!ok) return std::nullopt;
      return Value::Obj(object);
    }
    case kEcmaArray: {
      const auto length = ReadU32();
      if (!length) return std::nullopt;
      Object* array = machine_.NewArray();
      seen_.push_back(array);
      ++depth_;
      const bool ok = ReadProperties(array);
      --depth_;
      if (!ok) return std::nullopt;
      // A length beyond the entries read gives holes (they take no memory).
      if (ArrayData* elements = array->Array();
          elements && *length <= 0x7fffffffu && static_cast<std::int64_t>(*length) > elements->Length()) {
        machine_.Set(array, "length", Value::Number(*length));
      }
      return Value::Obj(array);
    }
    case kStrictArray: {
      const auto count = ReadU32();
      if (!count || *count > bytes_.size() - pos_) {
        failed_ = true;
        return std::nullopt;
      }
      Object* array = machine_.NewArray();
      seen_.push_back(array);
      ++depth_;
      std::vector<Value> elements;
      for (std::uint32_t i = 0; i < *count; ++i) {
        const auto v = ReadValue();
        if (!v) {
          --depth_;
          return std::nullopt;
        }
        elements.push_back(*v);
      }
      --depth_;
      if (ArrayData* data = array->Array()) data->Assign(std::move(elements));
      return Value::Obj(array);
    }
    default:
      failed_ = true;
      return std::nullopt;
  }
}

}  // namespace vantrel::flash::avm1::data
