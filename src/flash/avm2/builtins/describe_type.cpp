// flash.utils.describeType and avmplus.describeTypeJSON: what a value's class declares,
// as the player lists it. The movie's own classes are read from their ABC traits, the
// player's classes from the declared API (and, for the top level's classes it does not
// list, from the facts below and the machine's own traits).
#include <optional>
#include <unordered_map>

#include "flash/avm2/abc.h"
#include "flash/avm2/api/declared_api.h"
#include "flash/avm2/builtins/support.h"
#include "flash/avm2/builtins/xml.h"

namespace vantrel::flash::avm2 {

namespace {

// The flags of describeTypeJSON (the avmplus package's constants).
constexpr std::uint32_t kHideNsUriMethods = 0x0001, kIncludeBases = 0x0002, kIncludeInterfaces = 0x0004,
                        kIncludeVariables = 0x0008, kIncludeAccessors = 0x0010, kIncludeMethods = 0x0020,
                        kIncludeMetadata = 0x0040, kIncludeConstructor = 0x0080, kIncludeTraits = 0x0100,
                        kUseItraits = 0x0200, kHideObject = 0x0400;
// What describeType asks for: everything but the instance side, and the members of a
// namespace that a base class also uses hidden, as the first players did.
constexpr std::uint32_t kFlash10Flags = kHideNsUriMethods | kIncludeBases | kIncludeInterfaces | kIncludeVariables |
                                        kIncludeAccessors | kIncludeMethods | kIncludeMetadata | kIncludeConstructor |
                                        kIncludeTraits | kHideObject;

struct Param {
  std::string type;
  bool optional = false;
};
struct Meta {
  std::string name;
  std::vector<std::pair<std::string, std::string>> args;
};
struct MemberInfo {
  enum Kind : std::uint8_t { kVariable, kConstant, kMethod, kAccessor } kind = kVariable;
  std::string name, uri;
  std::string type;  // a variable's or accessor's type, a method's return type
  std::string declaredBy;
  bool getter = false, setter = false;
  std::string getterBy, setterBy, getterType, setterType;
  std::vector<Param> params;
  std::vector<Meta> metadata, setterMetadata;
};
// The public members one class (or its class side) declares, in declaration order.
struct Layer {
  std::string owner;
  std::vector<MemberInfo> members;
};
struct Description {
  std::string name;
  bool isDynamic = false, isFinal = false, isStatic = false;
  std::vector<std::string> bases, interfaces;
  std::optional<std::vector<Param>> constructor;
  std::vector<MemberInfo> members;
  std::vector<Meta> metadata;
};

// Facts of the top-level classes the declared API does not list: the constructor's
// parameters ("?" marks an optional one) and the class's `length` constant.
struct TopLevelFacts {
  const char* name;
  const char* constructor;
  int length;  // -1: none
};
constexpr TopLevelFacts kTopLevel[] = {
    {"Object", "", 1},        {"Class", "", 1},          {"Function", "", 1},      {"Boolean", "*?", 1},
    {"Number", "*?", 1},      {"int", "*?", 1},          {"uint", "*?", 1},        {"String", "*?", 1},
    {"Array", "", 1},         {"Namespace", "*? *?", 2}, {"QName", "*? *?", 2},    {"XML", "*?", 1},
    {"XMLList", "*?", 1},     {"Date", "*? *? *? *? *? *? *?", 7}, {"RegExp", "*? *?", 1},
    {"Error", "*? *?", 1},    {"DefinitionError", "*? *?", 1}, {"EvalError", "*? *?", 1},
    {"RangeError", "*? *?", 1}, {"ReferenceError", "*? *?", 1}, {"SecurityError", "*? *?", 1},
    {"SyntaxError", "*? *?", 1}, {"TypeError", "*? *?", 1}, {"URIError", "*? *?", 1},
    {"VerifyError", "*? *?", 1}, {"ArgumentError", "*? *?", 1},
    {"flash.utils::Dictionary", "Boolean?", -1},
};
// The types of the top-level classes' members (the machine's own traits do not say).
struct MemberType {
  const char* cls;
  const char* name;
  const char* type;
};
constexpr MemberType kTopLevelTypes[] = {{"Error", "errorID", "int"}, {"Error", "getStackTrace", "String"}};

const TopLevelFacts* FactsOf(const std::string& name) {
  for (const TopLevelFacts& f : kTopLevel)
    if (name == f.name) return &f;
  return nullptr;
}

std::vector<std::string> SplitTypes(const char* text) {
  std::vector<std::string> out;
  std::string word;
  for (const char* p = text ? text : ""; ; ++p) {
    if (*p == ' ' || *p == 0) {
      if (!word.empty()) out.push_back(word);
      word.clear();
      if (*p == 0) break;
    } else {
      word += *p;
    }
  }
  return out;
}

std::vector<Param> ParamsOf(const char* types, int optional) {
  std::vector<Param> params;
  const std::vector<std::string> words = SplitTypes(types);
  for (std::size_t i = 0; i < words.size(); ++i)
    params.push_back({words[i], static_cast<int>(i) >= static_cast<int>(words.size()) - optional});
  return params;
}

// Parameters written as "Type?" for an optional one.
std::vector<Param> ParamsOfFacts(const char* text) {
  std::vector<Param> params;
  for (std::string word : SplitTypes(text)) {
    const bool optional = !word.empty() && word.back() == '?';
    if (optional) word.pop_back();
    params.push_back({word, optional});
  }
  return params;
}

// ---- the movie's classes, from their ABC ----

std::string PoolText(const AbcFile& abc, std::uint32_t index) { return index < abc.strings.size() ? abc.strings[index] : ""; }

// A type as a multiname names it: "*" for any, "flash.display::Sprite", "__AS3__.vec::Vector.<int>".
std::string TypeNameOf(const AbcFile& abc, std::uint32_t index, int depth = 0) {
  if (index == 0 || index >= abc.multinames.size() || depth > 8) return "*";
  const AbcMultiname& mn = abc.multinames[index];
  if (mn.kind == kTypeName) {
    std::string text = TypeNameOf(abc, mn.typeName, depth + 1) + ".<";
    for (std::size_t i = 0; i < mn.typeParams.size(); ++i) {
      if (i) text += ",";
      text += TypeNameOf(abc, mn.typeParams[i], depth + 1);
    }
    return text + ">";
  }
  const std::string name = PoolText(abc, mn.name);
  if (mn.kind == kQName || mn.kind == kQNameA) {
    const std::string uri = mn.ns < abc.namespaces.size() ? PoolText(abc, abc.namespaces[mn.ns].name) : "";
    return uri.empty() ? name : uri + "::" + name;
  }
  return name.empty() ? "*" : name;
}

std::vector<Meta> MetadataOf(const AbcFile& abc, const std::vector<std::uint32_t>& indices) {
  std::vector<Meta> out;
  for (std::uint32_t i : indices) {
    if (i >= abc.metadata.size()) continue;
    Meta meta{PoolText(abc, abc.metadata[i].name), {}};
    for (const auto& [key, value] : abc.metadata[i].items) meta.args.emplace_back(PoolText(abc, key), PoolText(abc, value));
    out.push_back(std::move(meta));
  }
  return out;
}

std::vector<Param> SignatureOf(const AbcFile& abc, std::uint32_t method, std::string* returnType) {
  std::vector<Param> params;
  if (method >= abc.methods.size()) return params;
  const AbcMethod& info = abc.methods[method];
  const std::size_t required = info.paramTypes.size() - std::min(info.paramTypes.size(), info.optionals.size());
  for (std::size_t i = 0; i < info.paramTypes.size(); ++i) params.push_back({TypeNameOf(abc, info.paramTypes[i]), i >= required});
  if (returnType) *returnType = TypeNameOf(abc, info.returnType);
  return params;
}

// Where a class was defined in an ABC file: its unit and index, or null.
const AbcFile* AbcOf(const Machine& m, const ClassObject* cls, std::uint32_t& index) {
  if (!cls->init || !cls->init->unit) return nullptr;
  const AbcUnit* unit = cls->init->unit;
  for (std::size_t i = 0; i < unit->classes.size(); ++i) {
    if (unit->classes[i] == cls) {
      index = static_cast<std::uint32_t>(i);
      return unit->abc.get();
    }
  }
  (void)m;
  return nullptr;
}

void AddAbcTraits(const AbcFile& abc, const std::vector<AbcTrait>& traits, Layer& layer) {
  for (const AbcTrait& t : traits) {
    if (t.name >= abc.multinames.size()) continue;
    const AbcMultiname& mn = abc.multinames[t.name];
    if (mn.ns >= abc.namespaces.size()) continue;
    const AbcNamespace& ns = abc.namespaces[mn.ns];
    if (ns.kind != kNsNamespace && ns.kind != kNsPackage) continue;  // only public members are listed
    MemberInfo info;
    info.name = PoolText(abc, mn.name);
    info.uri = PoolText(abc, ns.name);
    info.declaredBy = layer.owner;
    std::vector<Meta> meta = (t.attributes & 4) ? MetadataOf(abc, t.metadata) : std::vector<Meta>{};
    switch (t.kind) {
      case kTraitSlot:
      case kTraitConst:
        info.kind = t.kind == kTraitConst ? MemberInfo::kConstant : MemberInfo::kVariable;
        info.type = TypeNameOf(abc, t.index);
        info.metadata = std::move(meta);
        break;
      case kTraitMethod:
      case kTraitFunction:
        info.kind = MemberInfo::kMethod;
        info.params = SignatureOf(abc, t.index, &info.type);
        info.metadata = std::move(meta);
        break;
      case kTraitGetter:
      case kTraitSetter: {
        info.kind = MemberInfo::kAccessor;
        std::string returnType;
        const std::vector<Param> params = SignatureOf(abc, t.index, &returnType);
        if (t.kind == kTraitGetter) {
          info.getter = true;
          info.getterBy = layer.owner;
          info.getterType = returnType;
          info.metadata = std::move(meta);
        } else {
          info.setter = true;
          info.setterBy = layer.owner;
          info.setterType = params.empty() ? "*" : params[0].type;
          info.setterMetadata = std::move(meta);
        }
        break;
      }
      default:
        continue;
    }
    layer.members.push_back(std::move(info));
  }
}

// ---- the player's classes ----

MemberInfo FromDeclared(const DeclaredMember& d, const std::string& owner) {
  MemberInfo info;
  info.name = d.name;
  info.uri = d.uri ? d.uri : "";
  info.declaredBy = owner;
  switch (d.kind) {
    case DeclaredKind::kMethod:
      info.kind = MemberInfo::kMethod;
      info.type = d.type;
      info.params = ParamsOf(d.paramTypes, d.optional);
      break;
    case DeclaredKind::kConstant:
    case DeclaredKind::kVariable:
      info.kind = d.kind == DeclaredKind::kConstant ? MemberInfo::kConstant : MemberInfo::kVariable;
      info.type = d.type;
      break;
    default:
      info.kind = MemberInfo::kAccessor;
      info.getter = d.kind != DeclaredKind::kWriteonly;
      info.setter = d.kind != DeclaredKind::kReadonly;
      if (info.getter) info.getterBy = owner, info.getterType = d.type;
      if (info.setter) info.setterBy = owner, info.setterType = d.type;
      break;
  }
  return info;
}

// What Object and Class declare themselves (the player lists them from its own code).
Layer ObjectLayer(bool isStatic) {
  Layer layer{"Object", {}};
  if (isStatic) {
    MemberInfo length;
    length.kind = MemberInfo::kConstant;
    length.name = "length";
    length.type = "int";
    layer.members.push_back(length);
    return layer;
  }
  for (const char* name : {"hasOwnProperty", "isPrototypeOf", "propertyIsEnumerable"}) {
    MemberInfo method;
    method.kind = MemberInfo::kMethod;
    method.name = name;
    method.uri = "http://adobe.com/AS3/2006/builtin";
    method.type = "Boolean";
    method.declaredBy = "Object";
    method.params = {{"*", true}};
    layer.members.push_back(method);
  }
  return layer;
}

Layer ClassInstanceLayer() {
  Layer layer{"Class", {}};
  MemberInfo prototype;
  prototype.kind = MemberInfo::kAccessor;
  prototype.name = "prototype";
  prototype.getter = true;
  prototype.getterBy = "Class";
  prototype.getterType = "*";
  layer.members.push_back(prototype);
  return layer;
}

// The members of a player class the declared API does not list, from its traits.
void AddNativeTraits(Machine& m, ClassObject* cls, bool isStatic, Layer& layer) {
  const Traits* traits = isStatic ? cls->staticTraits.get() : cls->instanceTraits.get();
  if (!traits) return;
  std::vector<std::pair<std::uint32_t, const Binding*>> found;
  for (const auto& [id, list] : traits->bindings)
    for (const Binding& b : list) found.emplace_back(id, &b);
  std::sort(found.begin(), found.end(), [&](const auto& a, const auto& b) { return m.NameText(a.first) < m.NameText(b.first); });
  for (const auto& [id, b] : found) {
    const NamespaceInfo& ns = m.Ns(b->ns);
    if (ns.kind != kNsNamespace || ns.unique) continue;
    MemberInfo info;
    info.name = m.NameText(id);
    if (isStatic && (info.name == "prototype" || info.name == "length")) continue;
    info.uri = ns.uri;
    info.declaredBy = layer.owner;
    switch (b->kind) {
      case Binding::Kind::Method:
        if (!b->method || (b->method->declaringClass && b->method->declaringClass != cls)) continue;
        info.kind = MemberInfo::kMethod;
        info.type = "*";
        break;
      case Binding::Kind::Accessor: {
        const MethodInfo* any = b->getter ? b->getter : b->setter;
        if (!any || (any->declaringClass && any->declaringClass != cls)) continue;
        info.kind = MemberInfo::kAccessor;
        info.getter = b->getter != nullptr;
        info.setter = b->setter != nullptr;
        info.getterBy = info.setterBy = layer.owner;
        info.getterType = info.setterType = "*";
        break;
      }
      case Binding::Kind::Slot:
      case Binding::Kind::Const: {
        if (!isStatic && cls->base && cls->base->instanceTraits && cls->base->instanceTraits->bindings.count(id)) continue;
        info.kind = b->kind == Binding::Kind::Const ? MemberInfo::kConstant : MemberInfo::kVariable;
        static const char* const kKinds[] = {"*", "int", "uint", "Number", "Boolean", "String"};
        const Traits::SlotInfo* slot = b->slot < traits->slotValues.size() ? &traits->slotValues[b->slot] : nullptr;
        info.type = slot && slot->typeKind >= 1 && slot->typeKind <= 5 ? kKinds[slot->typeKind]
                    : slot && slot->type                             ? slot->type->QualifiedName()
                                                                     : "*";
        // Constants made by the natives carry their value only: its type is theirs.
        if (info.type == "*" && slot && info.kind == MemberInfo::kConstant) {
          const Value& v = slot->initial;
          if (v.IsNumber()) info.type = cls == m.intClass || cls == m.uintClass ? cls->name : "Number";
          if (v.IsString()) info.type = "String";
          if (v.IsBoolean()) info.type = "Boolean";
        }
        break;
      }
      default:
        continue;
    }
    for (const MemberType& t : kTopLevelTypes)
      if (layer.owner == t.cls && info.name == t.name) info.type = info.getterType = info.setterType = t.type;
    layer.members.push_back(std::move(info));
  }
}

// The members one class declares on one side.
Layer LayerOf(Machine& m, ClassObject* cls, bool isStatic, std::vector<Meta>* classMetadata) {
  Layer layer{cls->QualifiedName(), {}};
  std::uint32_t index = 0;
  if (const AbcFile* abc = AbcOf(m, cls, index)) {
    if (isStatic) {
      if (index < abc->classes.size()) AddAbcTraits(*abc, abc->classes[index].traits, layer);
    } else {
      if (index < abc->instances.size()) AddAbcTraits(*abc, abc->instances[index].traits, layer);
      // The class's own metadata stands on the class trait of its script.
      if (classMetadata) {
        for (const AbcScript& script : abc->scripts)
          for (const AbcTrait& t : script.traits)
            if (t.kind == kTraitClass && t.index == index && (t.attributes & 4))
              *classMetadata = MetadataOf(*abc, t.metadata);
      }
    }
    return layer;
  }
  if (cls == m.objectClass) return ObjectLayer(isStatic);
  if (cls == m.classClass && !isStatic) return ClassInstanceLayer();
  if (const DeclaredClass* d = FindDeclaredClass(layer.owner)) {
    const auto members = DeclaredMembers();
    for (std::uint32_t i = d->firstMember; i < d->firstMember + d->memberCount && i < members.size(); ++i) {
      const DeclaredMember& member = members[i];
      if (member.isStatic != isStatic || member.version > m.swfVersion) continue;
      layer.members.push_back(FromDeclared(member, layer.owner));
    }
    return layer;
  }
  const TopLevelFacts* facts = FactsOf(layer.owner);
  if (isStatic && facts && facts->length >= 0) {
    MemberInfo length;
    length.kind = MemberInfo::kConstant;
    length.name = "length";
    length.type = "int";
    layer.members.push_back(length);
  }
  AddNativeTraits(m, cls, isStatic, layer);
  return layer;
}

// Adds a layer's members over those of the classes below it: a member declared again
// takes the place of the base's, an accessor declared again keeps the half it does not
// declare.
void Merge(std::vector<MemberInfo>& members, std::unordered_map<std::string, std::size_t>& byKey, Layer&& layer) {
  for (MemberInfo& info : layer.members) {
    const std::string key = info.uri + '\n' + info.name;
    const auto it = byKey.find(key);
    if (it == byKey.end()) {
      byKey.emplace(key, members.size());
      members.push_back(std::move(info));
      continue;
    }
    MemberInfo& old = members[it->second];
    if (old.kind == MemberInfo::kAccessor && info.kind == MemberInfo::kAccessor) {
      if (info.getter) old.getter = true, old.getterBy = info.getterBy, old.getterType = info.getterType, old.metadata = info.metadata;
      if (info.setter)
        old.setter = true, old.setterBy = info.setterBy, old.setterType = info.setterType, old.setterMetadata = info.setterMetadata;
    } else {
      old = std::move(info);
    }
  }
}

std::string ClassName(ClassObject* c) { return c ? c->QualifiedName() : "*"; }

// Whether a number is stored as an integer by the player's machine (29 bits).
bool IsSmallInteger(double d) {
  return d == std::trunc(d) && d >= -268435456.0 && d <= 268435455.0 && !(d == 0 && std::signbit(d));
}

// The description of value (a class: its class side; USE_ITRAITS: its instance side,
// none for values that are not classes).
std::optional<Description> Describe(Machine& m, const Value& value, std::uint32_t flags) {
  Description d;
  ClassObject* cls = nullptr;
  bool classSide = false;
  if (value.IsUndefined() || value.IsNull()) {
    if (flags & kUseItraits) return std::nullopt;
    d.name = value.IsNull() ? "null" : "void";
    d.isFinal = true;
    return d;
  }
  if (value.IsObject() && value.object->kind == ObjectKind::Class) {
    cls = static_cast<ClassObject*>(value.object);
    classSide = !(flags & kUseItraits);
  } else {
    if (flags & kUseItraits) return std::nullopt;
    cls = value.IsNumber() ? (IsSmallInteger(value.number) ? m.intClass : m.numberClass) : m.ClassOf(value);
  }
  if (!cls) return std::nullopt;
  d.name = cls->QualifiedName();
  d.isStatic = classSide;
  d.isDynamic = classSide || !cls->sealed;
  d.isFinal = classSide || cls->isFinal;
  if (!(flags & kIncludeTraits)) return d;

  // The chain of classes whose members the side has, the most basic first.
  std::vector<std::pair<ClassObject*, bool>> chain;  // class, its class side
  if (classSide) {
    chain = {{m.objectClass, false}, {m.classClass, false}, {cls, true}};
    d.bases = {"Class", "Object"};
  } else {
    for (ClassObject* c = cls; c; c = c->base) chain.insert(chain.begin(), {c, false});
    for (ClassObject* c = cls->base; c; c = c->base) d.bases.push_back(ClassName(c));
    // The interfaces: what the classes of the chain name (a movie's class may name one
    // its script defines after it), and what those extend.
    const auto addInterface = [&](const std::string& name) {
      if (std::find(d.interfaces.begin(), d.interfaces.end(), name) == d.interfaces.end()) d.interfaces.push_back(name);
    };
    for (ClassObject* c = cls; c; c = c->base) {
      std::uint32_t index = 0;
      const AbcFile* abc = AbcOf(m, c, index);
      if (!abc || index >= abc->instances.size()) {
        for (ClassObject* i : c->interfaces) addInterface(ClassName(i));
        continue;
      }
      for (std::uint32_t iface : abc->instances[index].interfaces) {
        ClassObject* i = m.ResolveType(*c->init->unit, iface);
        addInterface(i ? ClassName(i) : TypeNameOf(*abc, iface));
        if (i)
          for (ClassObject* inherited : i->interfaces) addInterface(ClassName(inherited));
      }
    }
  }
  const bool interface = !classSide && cls->isInterface;
  std::vector<MemberInfo> members;
  std::unordered_map<std::string, std::size_t> byKey;
  std::vector<std::string> hiddenUris;
  std::vector<Meta> classMetadata;
  for (std::size_t i = 0; i < chain.size(); ++i) {
    const auto [c, side] = chain[i];
    const bool last = i + 1 == chain.size();
    if ((flags & kHideObject) && c == m.objectClass && !side && !interface) continue;
    Layer layer = LayerOf(m, c, side, last ? &classMetadata : nullptr);
    if (!last) {
      for (const MemberInfo& info : layer.members)
        if (!info.uri.empty() && std::find(hiddenUris.begin(), hiddenUris.end(), info.uri) == hiddenUris.end())
          hiddenUris.push_back(info.uri);
    }
    Merge(members, byKey, std::move(layer));
  }
  for (MemberInfo& info : members) {
    if ((flags & kHideNsUriMethods) && std::find(hiddenUris.begin(), hiddenUris.end(), info.uri) != hiddenUris.end()) continue;
    if (info.kind == MemberInfo::kAccessor) {
      if (!(flags & kIncludeAccessors)) continue;
      info.declaredBy = info.getter ? info.getterBy : info.setterBy;
      info.type = info.getter ? info.getterType : info.setterType;
    } else if (info.kind == MemberInfo::kMethod) {
      if (!(flags & kIncludeMethods)) continue;
    } else if (!(flags & kIncludeVariables)) {
      continue;
    }
    if (!(flags & kIncludeMetadata)) info.metadata.clear(), info.setterMetadata.clear();
    d.members.push_back(std::move(info));
  }
  if (!classSide && (flags & kIncludeConstructor)) {
    std::vector<Param> params;
    std::uint32_t index = 0;
    if (const AbcFile* abc = AbcOf(m, cls, index)) {
      if (index < abc->instances.size()) params = SignatureOf(*abc, abc->instances[index].init, nullptr);
    } else if (const DeclaredClass* declared = FindDeclaredClass(d.name)) {
      params = ParamsOf(declared->ctorTypes, declared->ctorOptional);
    } else if (const TopLevelFacts* facts = FactsOf(d.name)) {
      params = ParamsOfFacts(facts->constructor);
    }
    if (!params.empty()) d.constructor = std::move(params);
  }
  if (flags & kIncludeMetadata) d.metadata = std::move(classMetadata);
  return d;
}

// ---- describeType: the description as XML ----

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

void Attribute(std::string& out, const char* name, const std::string& value) {
  out += ' ';
  out += name;
  out += "=\"" + Escaped(value) + "\"";
}

void WriteMetadata(std::string& out, const std::vector<Meta>& list) {
  for (const Meta& meta : list) {
    out += "<metadata";
    Attribute(out, "name", meta.name);
    out += ">";
    for (const auto& [key, value] : meta.args) {
      out += "<arg";
      Attribute(out, "key", key);
      Attribute(out, "value", value);
      out += "/>";
    }
    out += "</metadata>";
  }
}

void WriteParams(std::string& out, const std::vector<Param>& params) {
  for (std::size_t i = 0; i < params.size(); ++i) {
    out += "<parameter";
    Attribute(out, "index", std::to_string(i + 1));
    Attribute(out, "type", params[i].type);
    Attribute(out, "optional", params[i].optional ? "true" : "false");
    out += "/>";
  }
}

// An element with its children, or an empty one.
void Close(std::string& out, const char* tag, const std::string& children) {
  if (children.empty()) {
    out += "/>";
  } else {
    out += ">" + children + "</" + tag + ">";
  }
}

void WriteTraits(std::string& out, const Description& d) {
  for (const std::string& base : d.bases) out += "<extendsClass type=\"" + Escaped(base) + "\"/>";
  for (const std::string& i : d.interfaces) out += "<implementsInterface type=\"" + Escaped(i) + "\"/>";
  if (d.constructor) {
    out += "<constructor>";
    WriteParams(out, *d.constructor);
    out += "</constructor>";
  }
  const auto uriAndMetadata = [](const MemberInfo& info) {
    std::string children;
    WriteMetadata(children, info.metadata);
    WriteMetadata(children, info.setterMetadata);
    return children;
  };
  for (const MemberInfo& info : d.members) {
    if (info.kind != MemberInfo::kVariable && info.kind != MemberInfo::kConstant) continue;
    const char* tag = info.kind == MemberInfo::kConstant ? "constant" : "variable";
    out += std::string("<") + tag;
    Attribute(out, "name", info.name);
    Attribute(out, "type", info.type);
    if (!info.uri.empty()) Attribute(out, "uri", info.uri);
    Close(out, tag, uriAndMetadata(info));
  }
  for (const MemberInfo& info : d.members) {
    if (info.kind != MemberInfo::kAccessor) continue;
    out += "<accessor";
    Attribute(out, "name", info.name);
    Attribute(out, "access", info.getter && info.setter ? "readwrite" : info.getter ? "readonly" : "writeonly");
    Attribute(out, "type", info.type);
    Attribute(out, "declaredBy", info.declaredBy);
    if (!info.uri.empty()) Attribute(out, "uri", info.uri);
    Close(out, "accessor", uriAndMetadata(info));
  }
  for (const MemberInfo& info : d.members) {
    if (info.kind != MemberInfo::kMethod) continue;
    out += "<method";
    Attribute(out, "name", info.name);
    Attribute(out, "declaredBy", info.declaredBy);
    Attribute(out, "returnType", info.type);
    if (!info.uri.empty()) Attribute(out, "uri", info.uri);
    std::string children;
    WriteParams(children, info.params);
    children += uriAndMetadata(info);
    Close(out, "method", children);
  }
  WriteMetadata(out, d.metadata);
}

// describeType(value) of flash.utils; avmplus's takes the flags as its second argument.
Value DescribeType(Machine& m, const Value&, const Value* args, int argc) {
  const Value value = Arg(args, argc, 0);
  const std::uint32_t flags = NativeTag(m) ? m.ToUint32(Arg(args, argc, 1)) : kFlash10Flags;
  const std::optional<Description> d = Describe(m, value, flags);
  std::string out = "<type";
  Attribute(out, "name", d->name);
  if (!d->bases.empty()) Attribute(out, "base", d->bases.front());
  Attribute(out, "isDynamic", d->isDynamic ? "true" : "false");
  Attribute(out, "isFinal", d->isFinal ? "true" : "false");
  Attribute(out, "isStatic", d->isStatic ? "true" : "false");
  std::string children;
  WriteTraits(children, *d);
  if (const std::optional<Description> instance = Describe(m, value, flags | kUseItraits)) {
    children += "<factory";
    Attribute(children, "type", instance->name);
    std::string inner;
    WriteTraits(inner, *instance);
    Close(children, "factory", inner);
  }
  Close(out, "type", children);
  return Value::Obj(ParseXml(m, out));
}

// ---- describeTypeJSON: the description as objects ----

Value TextOrNull(Machine& m, const std::string& text) { return text.empty() ? Value::Null() : m.StrValue(text); }

Value MetadataArray(Machine& m, const std::vector<Meta>& list) {
  std::vector<Value> items;
  for (const Meta& meta : list) {
    Object* o = m.NewObject();
    m.SetPublic(Value::Obj(o), "name", m.StrValue(meta.name));
    std::vector<Value> values;
    for (const auto& [key, value] : meta.args) {
      Object* pair = m.NewObject();
      m.SetPublic(Value::Obj(pair), "key", m.StrValue(key));
      m.SetPublic(Value::Obj(pair), "value", m.StrValue(value));
      values.push_back(Value::Obj(pair));
    }
    m.SetPublic(Value::Obj(o), "value", Value::Obj(m.NewArray(std::move(values))));
    items.push_back(Value::Obj(o));
  }
  return Value::Obj(m.NewArray(std::move(items)));
}

Value ParamArray(Machine& m, const std::vector<Param>& params) {
  std::vector<Value> items;
  for (const Param& p : params) {
    Object* o = m.NewObject();
    m.SetPublic(Value::Obj(o), "type", m.StrValue(p.type));
    m.SetPublic(Value::Obj(o), "optional", Value::Bool(p.optional));
    items.push_back(Value::Obj(o));
  }
  return Value::Obj(m.NewArray(std::move(items)));
}

Value StringArray(Machine& m, const std::vector<std::string>& list) {
  std::vector<Value> items;
  for (const std::string& s : list) items.push_back(m.StrValue(s));
  return Value::Obj(m.NewArray(std::move(items)));
}

Value DescribeTypeJson(Machine& m, const Value&, const Value* args, int argc) {
  const std::uint32_t flags = m.ToUint32(Arg(args, argc, 1));
  const std::optional<Description> d = Describe(m, Arg(args, argc, 0), flags);
  if (!d) return Value::Null();
  const Value result = Value::Obj(m.NewObject());
  m.SetPublic(result, "name", m.StrValue(d->name));
  m.SetPublic(result, "isDynamic", Value::Bool(d->isDynamic));
  m.SetPublic(result, "isFinal", Value::Bool(d->isFinal));
  m.SetPublic(result, "isStatic", Value::Bool(d->isStatic));
  if (!(flags & kIncludeTraits)) {
    m.SetPublic(result, "traits", Value::Null());
    return result;
  }
  const Value traits = Value::Obj(m.NewObject());
  m.SetPublic(traits, "bases", (flags & kIncludeBases) ? StringArray(m, d->bases) : Value::Null());
  m.SetPublic(traits, "interfaces", (flags & kIncludeInterfaces) ? StringArray(m, d->interfaces) : Value::Null());
  m.SetPublic(traits, "metadata", (flags & kIncludeMetadata) ? MetadataArray(m, d->metadata) : Value::Null());
  std::vector<Value> variables, accessors, methods;
  for (const MemberInfo& info : d->members) {
    const Value o = Value::Obj(m.NewObject());
    if (info.kind == MemberInfo::kMethod) {
      m.SetPublic(o, "declaredBy", m.StrValue(info.declaredBy));
      m.SetPublic(o, "returnType", m.StrValue(info.type));
      m.SetPublic(o, "parameters", ParamArray(m, info.params));
      methods.push_back(o);
    } else if (info.kind == MemberInfo::kAccessor) {
      m.SetPublic(o, "declaredBy", m.StrValue(info.declaredBy));
      m.SetPublic(o, "access", m.StrValue(info.getter && info.setter ? "readwrite" : info.getter ? "readonly" : "writeonly"));
      m.SetPublic(o, "type", m.StrValue(info.type));
      accessors.push_back(o);
    } else {
      m.SetPublic(o, "access", m.StrValue(info.kind == MemberInfo::kConstant ? "readonly" : "readwrite"));
      m.SetPublic(o, "type", m.StrValue(info.type));
      variables.push_back(o);
    }
    m.SetPublic(o, "name", m.StrValue(info.name));
    m.SetPublic(o, "uri", TextOrNull(m, info.uri));
    std::vector<Meta> all = info.metadata;
    all.insert(all.end(), info.setterMetadata.begin(), info.setterMetadata.end());
    m.SetPublic(o, "metadata", all.empty() ? Value::Null() : MetadataArray(m, all));
  }
  const auto listOrNull = [&](std::vector<Value>& list) {
    return list.empty() ? Value::Null() : Value::Obj(m.NewArray(std::move(list)));
  };
  m.SetPublic(traits, "accessors", listOrNull(accessors));
  m.SetPublic(traits, "methods", listOrNull(methods));
  m.SetPublic(traits, "variables", listOrNull(variables));
  m.SetPublic(traits, "constructor", d->constructor ? ParamArray(m, *d->constructor) : Value::Null());
  m.SetPublic(result, "traits", traits);
  return result;
}

Value QualifiedClassName(Machine& m, const Value&, const Value* args, int argc) {
  const Value v = Arg(args, argc, 0);
  // Numbers name the class the player stores them as: int up to 29 bits, else Number.
  if (v.IsNumber()) return m.StrValue(IsSmallInteger(v.number) ? "int" : "Number");
  return m.StrValue(m.QualifiedClassName(v));
}

Value QualifiedSuperclassName(Machine& m, const Value&, const Value* args, int argc) {
  const Value v = Arg(args, argc, 0);
  ClassObject* c = v.IsObject() && v.object->kind == ObjectKind::Class ? static_cast<ClassObject*>(v.object) : m.ClassOf(v);
  if (!c || !c->base) return Value::Null();
  return m.StrValue(c->base->QualifiedName());
}

}  // namespace

void InstallDescribeType(Machine& m) {
  for (const char* package : {"flash.utils", "avmplus"}) {
    m.DefineGlobal(package, "getQualifiedClassName", Value::Obj(m.NewNativeFunction("getQualifiedClassName", QualifiedClassName)));
    m.DefineGlobal(package, "getQualifiedSuperclassName",
                   Value::Obj(m.NewNativeFunction("getQualifiedSuperclassName", QualifiedSuperclassName)));
  }
  m.DefineGlobal("flash.utils", "describeType", Value::Obj(m.NewNativeFunction("describeType", DescribeType)));
  m.DefineGlobal("avmplus", "describeType", Value::Obj(m.NewNativeFunction("describeType", DescribeType, 1)));
  // describeTypeJSON is internal to the avmplus package: its own code (and code a movie
  // puts in that package) sees it.
  const Value json = Value::Obj(m.NewNativeFunction("describeTypeJSON", DescribeTypeJson));
  m.DefineGlobal("avmplus", "describeTypeJSON", json);
  m.DefineGlobal(m.InternNs(kNsPackageInternal, "avmplus"), "describeTypeJSON", json);
  const struct {
    const char* name;
    std::uint32_t value;
  } flags[] = {{"HIDE_NSURI_METHODS", kHideNsUriMethods}, {"INCLUDE_BASES", kIncludeBases},
               {"INCLUDE_INTERFACES", kIncludeInterfaces}, {"INCLUDE_VARIABLES", kIncludeVariables},
               {"INCLUDE_ACCESSORS", kIncludeAccessors},   {"INCLUDE_METHODS", kIncludeMethods},
               {"INCLUDE_METADATA", kIncludeMetadata},     {"INCLUDE_CONSTRUCTOR", kIncludeConstructor},
               {"INCLUDE_TRAITS", kIncludeTraits},         {"USE_ITRAITS", kUseItraits},
               {"HIDE_OBJECT", kHideObject},               {"FLASH10_FLAGS", kFlash10Flags}};
  for (const auto& f : flags) m.DefineGlobal("avmplus", f.name, Value::Number(f.value));
}

}  // namespace vantrel::flash::avm2
