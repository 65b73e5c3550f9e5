#include "flash/avm2/api/declared_api.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <unordered_map>

#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {

namespace {
#include "flash/avm2/api/declared_api.inc"

// The class whose own members include kDeclaredMembers[index].
const DeclaredClass* OwnerOf(std::size_t index) {
  static const std::vector<const DeclaredClass*> byFirst = [] {
    std::vector<const DeclaredClass*> v;
    for (const DeclaredClass& c : kDeclaredClasses)
      if (c.memberCount) v.push_back(&c);
    std::sort(v.begin(), v.end(), [](auto* a, auto* b) { return a->firstMember < b->firstMember; });
    return v;
  }();
  auto it = std::upper_bound(byFirst.begin(), byFirst.end(), index,
                             [](std::size_t i, const DeclaredClass* c) { return i < c->firstMember; });
  return it == byFirst.begin() ? nullptr : *(it - 1);
}

// What a declared member without behaviour does: throws, naming itself as a stack
// frame would ("flash.media::Camera/setMode()", "Camera$/getCamera()" for the class's own).
Value Unimplemented(Machine& m, const Value&, const Value*, int) {
  const MethodInfo* running = m.callStack.back();
  const std::size_t index = static_cast<std::size_t>(running->nativeTag);
  const DeclaredMember& member = kDeclaredMembers[index];
  const DeclaredClass* owner = OwnerOf(index);
  std::string what = owner ? owner->QualifiedName() : "?";
  if (member.isStatic) what += "$";
  what += "/";
  if (running->role == MethodInfo::Role::Getter) what += "get ";
  if (running->role == MethodInfo::Role::Setter) what += "set ";
  what += member.name;
  what += "()";
  m.ThrowError("flash.errors::IllegalOperationError", 2014, what + " is not implemented.");
}

Value ConstantValue(Machine& m, const DeclaredMember& member) {
  if (!member.value) return Value::Null();
  if (std::string_view(member.type) == "String") return m.StrValue(member.value);
  return Value::Number(std::strtod(member.value, nullptr));
}

int TypeKind(std::string_view type) {
  if (type == "int") return 1;
  if (type == "uint") return 2;
  if (type == "Number") return 3;
  if (type == "Boolean") return 4;
  if (type == "String") return 5;
  return 0;
}
Value DefaultOf(std::string_view type) {
  if (type == "int" || type == "uint") return Value::Number(0);
  if (type == "Number") return Value::Number(NAN);
  if (type == "Boolean") return Value::Bool(false);
  if (type == "*") return Value();
  return Value::Null();
}

void AddSlot(Machine& m, Traits& traits, const DeclaredMember& member) {
  Binding b;
  b.ns = m.PublicNs();
  b.kind = member.kind == DeclaredKind::kConstant ? Binding::Kind::Const : Binding::Kind::Slot;
  b.slot = static_cast<std::uint32_t>(traits.slotValues.size());
  traits.bindings[m.Intern(member.name)].push_back(b);
  Traits::SlotInfo info;
  info.name = m.Intern(member.name);
  info.initial = DefaultOf(member.type);
  info.typeKind = TypeKind(member.type);
  traits.slotValues.push_back(info);
}

// Accessors whose only behaviour is keeping what a script sets (read back, no effect
// on the drawing yet): they become variables of their type with these defaults.
struct StoredProperty {
  const char* cls;
  const char* name;
  Value (*initial)();
};
const StoredProperty kStoredProperties[] = {
    {"flash.display::Sprite", "buttonMode", [] { return Value::Bool(false); }},
    {"flash.display::Sprite", "useHandCursor", [] { return Value::Bool(true); }},
    {"flash.display::SimpleButton", "useHandCursor", [] { return Value::Bool(true); }},
    {"flash.display::GraphicsPath", "commands", [] { return Value::Null(); }},
    {"flash.display::GraphicsPath", "data", [] { return Value::Null(); }},
};
const StoredProperty* StoredPropertyOf(const DeclaredClass& d, const DeclaredMember& member) {
  for (const StoredProperty& p : kStoredProperties)
    if (!member.isStatic && d.QualifiedName() == p.cls && std::string_view(member.name) == p.name) return &p;
  return nullptr;
}

// Whether the name is a dynamic property of object or of its prototypes (toString and
// valueOf of Object.prototype answer for every class that declares them again).
Object::Property* OnPrototypes(Object* object, const std::string& name) {
  for (int depth = 0; object && depth < 64; object = object->proto, ++depth)
    if (Object::Property* p = object->FindOwn(name)) return p;
  return nullptr;
}

// A declared method whose behaviour is the prototypes' function of its name (toString
// of the classes that declare it again answers as Object's does: "[object Loader]").
Value FromPrototypes(Machine& m, const Value& self, const Value* args, int argc) {
  const MethodInfo* running = m.callStack.back();
  const DeclaredMember& member = kDeclaredMembers[static_cast<std::size_t>(running->nativeTag)];
  ClassObject* cls = running->declaringClass;
  Object::Property* p = cls ? OnPrototypes(member.isStatic ? static_cast<Object*>(cls) : cls->prototype, member.name) : nullptr;
  if (running->role == MethodInfo::Role::Getter) return p ? p->value : Value();
  if (!p) m.ThrowTypeError(1006, std::string(member.name) + " is not a function.");
  return m.Call(p->value, self, args, argc);
}

// A copy of a method the class declares again: the same behaviour (a member without
// behaviour now names this class), this class as its declarer.
MethodInfo* Redeclared(Machine& m, const MethodInfo* inherited, ClassObject* cls, int tag) {
  const bool stub = inherited->native == Unimplemented;
  MethodInfo* copy = m.NativeMethod(inherited->name, inherited->native, stub ? tag : inherited->nativeTag);
  copy->declaringClass = cls;
  copy->isStatic = inherited->isStatic;
  copy->role = inherited->role;
  return copy;
}

// A public binding of the name (null when there is none).
Binding* PublicBinding(Machine& m, Traits& traits, const std::string& name) {
  const auto it = traits.bindings.find(m.Intern(name));
  if (it == traits.bindings.end()) return nullptr;
  for (Binding& b : it->second)
    if (b.ns == m.PublicNs()) return &b;
  return nullptr;
}

// The declared members cls lacks (made, fresh, tells whether cls came from the table).
void AddMembers(Machine& m, ClassObject* cls, const DeclaredClass& d, bool fresh) {
  for (std::uint32_t i = d.firstMember; i < d.firstMember + d.memberCount; ++i) {
    const DeclaredMember& member = kDeclaredMembers[i];
    Traits& traits = member.isStatic ? *cls->staticTraits : *cls->instanceTraits;
    const int tag = static_cast<int>(i);
    if (Binding* have = PublicBinding(m, traits, member.name)) {
      // A member the class declares again over its base's.
      if (have->kind == Binding::Kind::Method && have->method && have->method->native &&
          have->method->declaringClass != cls && member.kind == DeclaredKind::kMethod)
        have->method = Redeclared(m, have->method, cls, tag);
      // A native setter where the API has none: writing is an error, as for any
      // read-only property.
      if (have->kind == Binding::Kind::Accessor && member.kind == DeclaredKind::kReadonly) have->setter = nullptr;
      if (have->kind == Binding::Kind::Accessor && member.kind != DeclaredKind::kMethod) {
        if (have->getter && have->getter->native && have->getter->declaringClass != cls)
          have->getter = Redeclared(m, have->getter, cls, tag);
        if (have->setter && have->setter->native && have->setter->declaringClass != cls)
          have->setter = Redeclared(m, have->setter, cls, tag);
      }
      // A native accessor gets the half it lacks.
      if (have->kind == Binding::Kind::Accessor) {
        const bool wantGet = member.kind == DeclaredKind::kReadonly || member.kind == DeclaredKind::kReadwrite;
        const bool wantSet = member.kind == DeclaredKind::kWriteonly || member.kind == DeclaredKind::kReadwrite;
        MethodInfo*& half = wantGet && !have->getter ? have->getter : have->setter;
        if ((wantGet && !have->getter) || (wantSet && !have->setter)) {
          half = m.NativeMethod(member.name, Unimplemented, tag);
          half->declaringClass = cls;
          half->isStatic = member.isStatic;
          half->role = &half == &have->getter ? MethodInfo::Role::Getter : MethodInfo::Role::Setter;
        }
      }
      continue;
    }
    // Natives may keep a method on the prototype (or the class) as a dynamic property.
    if (OnPrototypes(member.isStatic ? static_cast<Object*>(cls) : cls->prototype, member.name)) {
      if (member.kind == DeclaredKind::kMethod) m.AddTraitMethod(cls, member.name, FromPrototypes, member.isStatic, tag);
      // An accessor over a prototype property (Stage's constructor) reads it; writing
      // has no behaviour.
      if (member.kind == DeclaredKind::kReadwrite)
        m.AddAccessor(cls, member.name, FromPrototypes, Unimplemented, member.isStatic, tag);
      if (member.kind == DeclaredKind::kReadonly) m.AddAccessor(cls, member.name, FromPrototypes, nullptr, member.isStatic, tag);
      continue;
    }
    if (const StoredProperty* stored = StoredPropertyOf(d, member)) {
      AddSlot(m, traits, member);
      traits.slotValues.back().initial = stored->initial();
      continue;
    }
    switch (member.kind) {
      case DeclaredKind::kMethod:
        m.AddTraitMethod(cls, member.name, Unimplemented, member.isStatic, tag);
        break;
      case DeclaredKind::kReadonly:
        m.AddAccessor(cls, member.name, Unimplemented, nullptr, member.isStatic, tag);
        break;
      case DeclaredKind::kWriteonly:
        m.AddAccessor(cls, member.name, nullptr, Unimplemented, member.isStatic, tag);
        break;
      case DeclaredKind::kReadwrite:
        m.AddAccessor(cls, member.name, Unimplemented, Unimplemented, member.isStatic, tag);
        break;
      case DeclaredKind::kConstant:
      case DeclaredKind::kVariable:
        if (member.isStatic) {
          m.AddConstant(cls, member.name, ConstantValue(m, member));
          if (member.kind == DeclaredKind::kVariable) {
            for (Binding& b : cls->staticTraits->bindings[m.Intern(member.name)])
              if (b.ns == m.PublicNs()) b.kind = Binding::Kind::Slot;
          }
        } else if (fresh) {
          // A native class keeps its instances' slots as it laid them out.
          AddSlot(m, traits, member);
        }
        break;
    }
  }
}

int Depth(const ClassObject* c) {
  int depth = 0;
  for (; c; c = c->base) ++depth;
  return depth;
}

}  // namespace

bool DeclaredClass::Declares(const DeclaredMember& m) const {
  const auto index = static_cast<std::size_t>(&m - kDeclaredMembers);
  return index >= firstMember && index < firstMember + memberCount;
}

std::span<const DeclaredClass> DeclaredClasses() { return kDeclaredClasses; }
std::span<const DeclaredMember> DeclaredMembers() { return kDeclaredMembers; }

const DeclaredClass* FindDeclaredClass(const std::string& qualifiedName) {
  static const std::unordered_map<std::string, const DeclaredClass*> byName = [] {
    std::unordered_map<std::string, const DeclaredClass*> map;
    for (const DeclaredClass& c : kDeclaredClasses) map.emplace(c.QualifiedName(), &c);
    return map;
  }();
  const auto it = byName.find(qualifiedName);
  return it == byName.end() ? nullptr : it->second;
}

void InstallDeclaredApi(Machine& m) {
  // The table lists bases and interfaces before the classes that use them.
  for (const DeclaredClass& d : kDeclaredClasses) {
    const std::string qualified = d.QualifiedName();
    ClassObject* cls = m.FindClass(qualified);
    const bool fresh = !cls;
    if (fresh) {
      ClassObject* base = nullptr;
      if (!d.isInterface) {
        base = m.FindClass(d.base);
        if (!base) continue;  // a base the machine lacks (not in the table either)
      }
      cls = m.DefineClass(d.package, d.name, base, nullptr, true);
      if (base) {
        cls->init = base->init;  // what the base's constructor does, it does
        cls->interfaces = base->interfaces;
      }
      cls->isInterface = d.isInterface;
      cls->declaredOnly = true;
    }
    for (std::string_view rest = d.interfaces; !rest.empty();) {
      const std::size_t space = rest.find(' ');
      const std::string name(rest.substr(0, space));
      rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
      ClassObject* iface = m.FindClass(name);
      if (iface && std::find(cls->interfaces.begin(), cls->interfaces.end(), iface) == cls->interfaces.end())
        cls->interfaces.push_back(iface);
    }
    AddMembers(m, cls, d, fresh);
  }
  // Natives that let a script write what the API only lets it read (an event class's own
  // copy of its base's errorID): the setter goes.
  for (const DeclaredClass& d : kDeclaredClasses) {
    if (d.isInterface) continue;
    ClassObject* cls = m.FindClass(d.QualifiedName());
    if (!cls) continue;
    for (const DeclaredClass* a = FindDeclaredClass(d.base); a; a = FindDeclaredClass(a->base)) {
      for (std::uint32_t i = a->firstMember; i < a->firstMember + a->memberCount; ++i) {
        const DeclaredMember& member = kDeclaredMembers[i];
        if (member.isStatic || member.kind != DeclaredKind::kReadonly) continue;
        Binding* b = PublicBinding(m, *cls->instanceTraits, member.name);
        if (!b || b->kind != Binding::Kind::Accessor || !b->setter) continue;
        const bool redeclared = std::any_of(kDeclaredMembers + d.firstMember, kDeclaredMembers + d.firstMember + d.memberCount,
                                            [&](const DeclaredMember& own) { return std::string_view(own.name) == member.name; });
        if (!redeclared) b->setter = nullptr;
      }
    }
  }
  // Subclasses copied their bases' members when they were made: give every class the
  // methods and accessors its bases gained since (bases first).
  std::vector<ClassObject*> classes;
  for (const Value& v : m.globalObject->slotValues)
    if (v.IsObject() && v.object->kind == ObjectKind::Class) classes.push_back(static_cast<ClassObject*>(v.object));
  std::stable_sort(classes.begin(), classes.end(), [](auto* a, auto* b) { return Depth(a) < Depth(b); });
  for (ClassObject* cls : classes) {
    if (!cls->base || cls->isInterface) continue;
    Traits& traits = *cls->instanceTraits;
    std::vector<std::pair<std::uint32_t, Binding>> missing;
    for (const auto& [id, list] : cls->base->instanceTraits->bindings) {
      for (const Binding& b : list) {
        if (b.ns != m.PublicNs() || b.kind == Binding::Kind::Class) continue;
        const auto it = traits.bindings.find(id);
        if ((it != traits.bindings.end() &&
             std::any_of(it->second.begin(), it->second.end(), [&](const Binding& o) { return o.ns == b.ns; })) ||
            cls->prototype->FindOwn(m.NameText(id)))
          continue;
        missing.emplace_back(id, b);
      }
    }
    // Slots in their order: one the base gained keeps its place only where the layouts
    // still agree.
    std::sort(missing.begin(), missing.end(), [](const auto& a, const auto& b) { return a.second.slot < b.second.slot; });
    for (const auto& [id, b] : missing) {
      if (b.kind == Binding::Kind::Slot || b.kind == Binding::Kind::Const) {
        if (traits.slotValues.size() != b.slot) continue;
        traits.slotValues.push_back(cls->base->instanceTraits->slotValues[b.slot]);
      }
      traits.bindings[id].push_back(b);
    }
  }
  // Code that holds a built-in object as one of its interfaces calls its methods in the
  // interface's namespace ("flash.events:IEventDispatcher"): the interface declares
  // them there, and its classes answer there with their public ones.
  for (ClassObject* i : classes) {
    if (!i->isInterface || i->package.empty()) continue;
    const NsId ns = m.InternNs(kNsNamespace, i->package + ":" + i->name);
    for (auto& [id, list] : i->instanceTraits->bindings) {
      const bool has = std::any_of(list.begin(), list.end(), [&](const Binding& b) { return b.ns == ns; });
      const auto pub = std::find_if(list.begin(), list.end(), [&](const Binding& b) { return b.ns == m.PublicNs(); });
      if (has || pub == list.end()) continue;
      Binding alias = *pub;
      alias.ns = ns;
      list.push_back(alias);
    }
  }
  for (ClassObject* cls : classes) {
    if (cls->isInterface) continue;
    const std::vector<ClassObject*> interfaces = cls->interfaces;
    for (ClassObject* i : interfaces) m.AddInterface(cls, i);
  }
}

void HideNewerDeclaredClasses(Machine& m, int swfVersion) {
  for (const DeclaredClass& d : kDeclaredClasses) {
    if (d.version <= swfVersion) continue;
    const std::uint32_t id = m.FindId(d.name);
    if (id == kNoName) continue;
    const NsId ns = m.InternNs(kNsNamespace, d.package);
    auto defs = m.domain.find(id);
    if (defs == m.domain.end()) continue;
    auto& list = defs->second;
    const auto it = std::find_if(list.begin(), list.end(), [&](const Machine::Definition& def) {
      return !def.unit && def.ns == ns && def.value.IsObject() && def.value.object->kind == ObjectKind::Class;
    });
    if (it == list.end()) continue;
    list.erase(it);
    auto& bindings = m.globalObject->traits->bindings[id];
    bindings.erase(std::remove_if(bindings.begin(), bindings.end(), [&](const Binding& b) { return b.ns == ns; }),
                   bindings.end());
  }
}

}  // namespace vantrel::flash::avm2
