#include "flash/avm1/object.h"

#include <algorithm>

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
  if (a.size() != b.size()) return false;
  if (caseSensitive) return a == b;
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

void FunctionData::Trace(gc::Tracer& tracer) const {
  for (const Object* o : scope) tracer.Mark(o);
  tracer.Mark(definedIn);
}

void ArrayData::Trace(gc::Tracer& tracer) const {
  for (const Value& v : elements) TraceValue(tracer, v);
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
  properties_.push_back(Property{std::string(name), value, nullptr, nullptr, attributes});
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
  properties_.push_back(Property{std::string(name), Value(), getter, setter, attributes});
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
