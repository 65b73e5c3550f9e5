#include "flash/avm1/object.h"

#include <algorithm>

#include "flash/script/string_utils.h"

namespace vantrel::flash::avm1 {

bool VisibleIn(std::uint16_t attributes, int swfVersion) {
  if ((attributes & kVersion6) && swfVersion < 6) return false;
  if ((attributes & kVersion7Only) && swfVersion < 7) return false;
  if ((attributes & kHiddenInSwf6) && swfVersion == 6) return false;
  if ((attributes & kVersion8) && swfVersion < 8) return false;
  if ((attributes & kVersion9) && swfVersion < 9) return false;
  if ((attributes & kVersion10) && swfVersion < 10) return false;
  return true;
}

bool SameName(std::string_view a, std::string_view b, bool caseSensitive) {
  if (caseSensitive) return a == b;
  // Letters past ASCII fold by the player's older table (their UTF-8 lengths may differ).
  const auto ascii = [](std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  };
  if (!ascii(a) || !ascii(b)) return script::EqualIgnoringCase(a, b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

long ArrayIndex(std::string_view name) {
  if (name.empty() || name.size() > 10) return -1;
  if (name.size() > 1 && name[0] == '0') return -1;
  long index = 0;
  for (const char c : name) {
    if (c < '0' || c > '9') return -1;
    index = index * 10 + (c - '0');
  }
  return index <= 0x7fffffffL ? index : -1;
}

bool WrappedIndex(std::string_view name, std::int32_t& index) {
  const bool negative = !name.empty() && name[0] == '-';
  if (negative) name.remove_prefix(1);
  if (name.empty()) return false;
  std::uint32_t value = 0;
  for (const char c : name) {
    if (c < '0' || c > '9') return false;
    value = value * 10u + static_cast<std::uint32_t>(c - '0');
  }
  if (negative) value = 0u - value;
  index = static_cast<std::int32_t>(value);
  return true;
}

void FunctionData::Trace(gc::Tracer& tracer) const {
  for (const Object* o : scope) tracer.Mark(o);
  tracer.Mark(definedIn);
}

void ArrayData::Trace(gc::Tracer& tracer) const {
  for (const Value& v : elements) TraceValue(tracer, v);
  for (const auto& [index, element] : far_) TraceValue(tracer, element.value);
}

void ArrayData::Sync() {
  if (order_.size() == elements.size()) return;
  if (order_.size() > elements.size()) {
    // Engine code rebuilt the list: start over with what is there now.
    order_.clear();
    attributes_.clear();
    far_.clear();
    length_ = 0;
  }
  order_.reserve(elements.size());
  while (order_.size() < elements.size()) order_.push_back(owner_->NextOrder());
  if (!attributes_.empty()) attributes_.resize(elements.size(), 0);
  // Appended values replace far elements at the same indices.
  far_.erase(far_.begin(), far_.lower_bound(static_cast<std::uint32_t>(elements.size())));
  if (static_cast<std::int64_t>(elements.size()) > length_) length_ = static_cast<std::int32_t>(elements.size());
}

void ArrayData::Grow(std::size_t size) {
  elements.resize(size);
  order_.resize(size, 0);
  if (!attributes_.empty()) attributes_.resize(size, 0);
  const auto end = far_.lower_bound(static_cast<std::uint32_t>(size));
  for (auto it = far_.begin(); it != end; ++it) {
    const std::size_t i = it->first;
    elements[i] = it->second.value;
    order_[i] = it->second.order;
    if (it->second.attributes) {
      attributes_.resize(size, 0);
      attributes_[i] = it->second.attributes;
    }
  }
  far_.erase(far_.begin(), end);
}

ArrayData::FarElement* ArrayData::Far(std::size_t i) {
  if (far_.empty()) return nullptr;
  const auto it = far_.find(static_cast<std::uint32_t>(i));
  return it == far_.end() ? nullptr : &it->second;
}

std::int32_t ArrayData::Length() {
  Sync();
  return length_;
}

void ArrayData::StoreLength(std::int32_t length) {
  Sync();
  length_ = length;
}

bool ArrayData::Has(std::size_t i) {
  Sync();
  if (i < order_.size()) return order_[i] != 0;
  return Far(i) != nullptr;
}

Value ArrayData::Get(std::size_t i) {
  Sync();
  if (i < order_.size()) return elements[i];
  const FarElement* far = Far(i);
  return far ? far->value : Value();
}

std::uint32_t ArrayData::Order(std::size_t i) {
  Sync();
  if (i < order_.size()) return order_[i];
  const FarElement* far = Far(i);
  return far ? far->order : 0;
}

std::uint16_t ArrayData::Attributes(std::size_t i) {
  Sync();
  if (i >= order_.size()) {
    const FarElement* far = Far(i);
    return far ? far->attributes : 0;
  }
  return i < attributes_.size() ? attributes_[i] : 0;
}

void ArrayData::SetAttributes(std::size_t i, std::uint16_t attributes) {
  if (!Has(i)) return;
  if (i >= order_.size()) {
    Far(i)->attributes = attributes;
    return;
  }
  if (attributes_.empty() && attributes == 0) return;
  attributes_.resize(elements.size(), 0);
  attributes_[i] = attributes;
}

bool ArrayData::Put(std::size_t i, const Value& value) {
  if (i >= kDenseLimit) return false;
  Sync();
  // Setting an index at or past the end moves the length first, as any index does.
  if (static_cast<std::int64_t>(i) >= length_) length_ = static_cast<std::int32_t>(i + 1);
  if (i >= elements.size()) {
    if (FarElement* far = Far(i)) {
      if (far->attributes & kReadOnly) return false;
      far->value = value;
      return true;
    }
    if (i - elements.size() >= std::max(elements.size(), kDenseReach)) {
      far_.emplace(static_cast<std::uint32_t>(i), FarElement{value, owner_->NextOrder(), 0});
      return true;
    }
    Grow(i + 1);
  }
  if (order_[i] == 0) {
    order_[i] = owner_->NextOrder();
  } else if (i < attributes_.size() && (attributes_[i] & kReadOnly)) {
    return false;
  }
  elements[i] = value;
  return true;
}

bool ArrayData::Remove(std::size_t i) {
  if (!Has(i) || (Attributes(i) & kDontDelete)) return false;
  if (i >= order_.size()) {
    far_.erase(static_cast<std::uint32_t>(i));
    return true;
  }
  elements[i] = Value();
  order_[i] = 0;
  if (i < attributes_.size()) attributes_[i] = 0;
  // A hole at the end holds nothing: the vector ends at the last element.
  std::size_t size = order_.size();
  while (size > 0 && order_[size - 1] == 0) --size;
  if (size < order_.size()) {
    elements.resize(size);
    order_.resize(size);
    if (!attributes_.empty()) attributes_.resize(size);
  }
  return true;
}

void ArrayData::SetLength(std::int32_t length) {
  Sync();
  const std::int64_t from = std::max(length, 0);
  const std::int64_t old = length_;
  if (from < old) {
    std::erase_if(far_, [&](const auto& entry) {
      return entry.first >= from && entry.first < old && !(entry.second.attributes & kDontDelete);
    });
    for (std::int64_t i = std::min<std::int64_t>(old, static_cast<std::int64_t>(elements.size())); i-- > from;)
      Remove(static_cast<std::size_t>(i));
    if (old > static_cast<std::int64_t>(kDenseLimit)) {
      // Indices from kDenseLimit on are ordinary properties of the array.
      auto& properties = owner_->Properties();
      std::erase_if(properties, [&](const Property& p) {
        const long index = ArrayIndex(p.name);
        return index >= from && index < old && !(p.attributes & kDontDelete);
      });
    }
  }
  length_ = length;
}

void ArrayData::Assign(std::vector<Value> values) {
  elements = std::move(values);
  order_.clear();
  attributes_.clear();
  far_.clear();
  length_ = 0;
  Sync();
}

std::vector<std::size_t> ArrayData::Indices() {
  Sync();
  std::vector<std::size_t> out;
  for (std::size_t i = 0; i < order_.size(); ++i) {
    if (order_[i] != 0) out.push_back(i);
  }
  for (const auto& [index, element] : far_) out.push_back(index);
  return out;
}

Property* Object::FindOwn(std::string_view name, bool caseSensitive) {
  // Exact matches first: a SWF 7 movie may hold "a" and "A" side by side.
  for (Property& p : properties_) {
    if (p.name == name) return &p;
  }
  if (caseSensitive) return nullptr;
  for (Property& p : properties_) {
    if (SameName(p.name, name, false)) return &p;
  }
  return nullptr;
}

Property& Object::Define(std::string_view name, Value value, std::uint16_t attributes) {
  for (Property& p : properties_) {
    if (p.name == name) {
      p.value = value;
      p.getter = p.setter = nullptr;
      if (attributes) p.attributes = attributes;
      return p;
    }
  }
  properties_.push_back(Property{std::string(name), value, nullptr, nullptr, attributes, NextOrder()});
  return properties_.back();
}

Property& Object::DefineAccessor(std::string_view name, Object* getter, Object* setter, std::uint16_t attributes) {
  for (Property& p : properties_) {
    if (p.name == name) {
      p.getter = getter;  // the earlier value stays in the property (watchers see it)
      p.setter = setter;
      p.attributes = attributes;
      return p;
    }
  }
  properties_.push_back(Property{std::string(name), Value(), getter, setter, attributes, NextOrder()});
  return properties_.back();
}

bool Object::DeleteOwn(std::string_view name, bool caseSensitive) {
  Property* p = FindOwn(name, caseSensitive);
  if (!p || (p->attributes & kDontDelete)) return false;
  properties_.erase(properties_.begin() + (p - properties_.data()));
  return true;
}

void Object::AddWatcher(Watcher watcher) {
  if (!watchers_) watchers_ = std::make_unique<std::vector<Watcher>>();
  for (Watcher& w : *watchers_) {
    if (w.name == watcher.name) {
      w = watcher;
      return;
    }
  }
  watchers_->push_back(std::move(watcher));
}

bool Object::RemoveWatcher(std::string_view name, bool caseSensitive) {
  if (!watchers_) return false;
  auto& list = *watchers_;
  const auto it = std::find_if(list.begin(), list.end(), [&](const Watcher& w) { return SameName(w.name, name, caseSensitive); });
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

void Object::Trace(gc::Tracer& tracer) const {
  tracer.Mark(proto);
  TraceValue(tracer, protoValue);
  for (const Object* i : interfaces) tracer.Mark(i);
  for (const Property& p : properties_) {
    TraceValue(tracer, p.value);
    tracer.Mark(p.getter);
    tracer.Mark(p.setter);
  }
  if (watchers_) {
    for (const Watcher& w : *watchers_) {
      tracer.Mark(w.callback);
      TraceValue(tracer, w.userData);
    }
  }
  if (native) native->Trace(tracer);
}

std::size_t Object::ExtraBytes() const {
  std::size_t bytes = properties_.capacity() * sizeof(Property);
  if (native) bytes += native->Bytes();
  return bytes;
}

}  // namespace vantrel::flash::avm1
