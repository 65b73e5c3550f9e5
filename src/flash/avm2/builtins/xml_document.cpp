// flash.xml.XMLNode and XMLDocument, the document classes ActionScript 3 kept from
// ActionScript 1/2: a tree of element and text nodes whose links (firstChild,
// parentNode, nextSibling, ...) are public variables the player keeps up to date, parsed
// by the same forgiving parser as the older XML class.
#include <algorithm>

#include "flash/avm2/builtins/support.h"
#include "flash/script/xml_scan.h"

namespace vantrel::flash::avm2 {

namespace {

constexpr int kElementNode = 1;
constexpr int kTextNode = 3;

// A node's native side: list holds its children, a its attributes object, b its parent.
NativeObject* NodeOf(Machine& m, const Value& v) {
  ClassObject* node = m.FindClass("flash.xml.XMLNode");
  if (!v.IsObject() || v.object->kind != ObjectKind::Other || !node ||
      !m.IsSubclass(static_cast<NativeObject*>(v.object)->cls, node))
    return nullptr;
  return static_cast<NativeObject*>(v.object);
}
NativeObject* Self(Machine& m, const Value& self) {
  NativeObject* node = NodeOf(m, self);
  if (!node) m.ThrowTypeError(1034, "Type Coercion failed: cannot convert " + m.ClassNameForError(self) + " to flash.xml.XMLNode.");
  return node;
}
NativeObject* NodeArg(Machine& m, const Value* args, int argc, int index) {
  const Value v = Arg(args, argc, index);
  if (v.IsNull() || v.IsUndefined()) return nullptr;
  return Self(m, v);
}

int TypeOf(Machine& m, NativeObject* node) { return static_cast<int>(m.ToNumber(m.GetPublic(Value::Obj(node), "nodeType"))); }
Value Parent(NativeObject* node) { return node->b; }

// Sets the links of parent's children and parent's first and last child.
void Relink(Machine& m, NativeObject* parent) {
  const std::vector<Value>& children = parent->list;
  const Value self = Value::Obj(parent);
  m.SetPublic(self, "firstChild", children.empty() ? Value::Null() : children.front());
  m.SetPublic(self, "lastChild", children.empty() ? Value::Null() : children.back());
  for (std::size_t i = 0; i < children.size(); ++i) {
    m.SetPublic(children[i], "previousSibling", i ? children[i - 1] : Value::Null());
    m.SetPublic(children[i], "nextSibling", i + 1 < children.size() ? children[i + 1] : Value::Null());
    m.SetPublic(children[i], "parentNode", self);
  }
}

void Detach(Machine& m, NativeObject* child) {
  if (!child->b.IsObject()) return;
  auto* parent = static_cast<NativeObject*>(child->b.object);
  auto& siblings = parent->list;
  siblings.erase(std::remove_if(siblings.begin(), siblings.end(), [&](const Value& v) { return v.object == child; }),
                 siblings.end());
  child->b = Value::Null();
  const Value c = Value::Obj(child);
  m.SetPublic(c, "parentNode", Value::Null());
  m.SetPublic(c, "previousSibling", Value::Null());
  m.SetPublic(c, "nextSibling", Value::Null());
  Relink(m, parent);
}

// Puts child under parent before `before` (at the end when null); a node cannot go under
// itself or its own descendants.
void Insert(Machine& m, NativeObject* parent, NativeObject* child, NativeObject* before) {
  for (Value at = Value::Obj(parent); at.IsObject(); at = static_cast<NativeObject*>(at.object)->b)
    if (at.object == child) return;
  Detach(m, child);
  auto& children = parent->list;
  auto where = std::find_if(children.begin(), children.end(), [&](const Value& v) { return before && v.object == before; });
  children.insert(where, Value::Obj(child));
  child->b = Value::Obj(parent);
  Relink(m, parent);
}

void InitNode(Machine& m, NativeObject* node, int type, const Value& text) {
  const Value self = Value::Obj(node);
  m.SetPublic(self, "nodeType", Value::Number(type));
  m.SetPublic(self, "nodeName", type == kElementNode ? text : Value::Null());
  m.SetPublic(self, "nodeValue", type == kElementNode ? Value::Null() : text);
  node->a = Value::Obj(m.NewObject());
}

NativeObject* NewNode(Machine& m, int type, const Value& text) {
  const Value args[2] = {Value::Number(type), text};
  const Value node = m.Construct(Value::Obj(m.FindClass("flash.xml.XMLNode")), args, 2);
  return static_cast<NativeObject*>(node.object);
}

// Attributes in the order they were set (the parser sets them in document order).
std::vector<std::pair<std::string, Value>> Attributes(NativeObject* node) {
  std::vector<std::pair<std::string, Value>> out;
  if (!node->a.IsObject()) return out;
  for (const Object::Property& p : node->a.object->properties)
    if (!p.removed && p.enumerable) out.emplace_back(p.name, p.value);
  return out;
}

void Serialise(Machine& m, NativeObject* node, std::string& out, int depth) {
  if (depth > 10000) return;
  const Value self = Value::Obj(node);
  if (TypeOf(m, node) != kElementNode) {
    const Value value = m.GetPublic(self, "nodeValue");
    if (!value.IsNull() && !value.IsUndefined()) script::AppendXmlEscaped(out, m.ToString(value));
    return;
  }
  const Value name = m.GetPublic(self, "nodeName");
  const bool named = !name.IsNull() && !name.IsUndefined();
  if (named) {
    out += "<" + m.ToString(name);
    for (const auto& [attribute, value] : Attributes(node)) {
      out += " " + attribute + "=\"";
      script::AppendXmlEscaped(out, m.ToString(value));
      out += "\"";
    }
    if (node->list.empty()) {
      out += " />";
      return;
    }
    out += ">";
  }
  for (const Value& child : node->list) Serialise(m, static_cast<NativeObject*>(child.object), out, depth + 1);
  if (named) out += "</" + m.ToString(name) + ">";
}

NativeObject* Clone(Machine& m, NativeObject* node, bool deep) {
  const Value self = Value::Obj(node);
  const int type = TypeOf(m, node);
  NativeObject* copy = NewNode(m, type, m.GetPublic(self, type == kElementNode ? "nodeName" : "nodeValue"));
  for (const auto& [name, value] : Attributes(node)) m.SetPublic(copy->a, name, value);
  if (deep)
    for (const Value& child : node->list) Insert(m, copy, Clone(m, static_cast<NativeObject*>(child.object), true), nullptr);
  return copy;
}

// The namespace a prefix stands for: the nearest xmlns (or xmlns:prefix) attribute up
// the tree; null when there is none.
Value NamespaceFor(Machine& m, NativeObject* node, const std::string& prefix) {
  const std::string attribute = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
  for (Value at = Value::Obj(node); at.IsObject(); at = static_cast<NativeObject*>(at.object)->b)
    for (const auto& [name, value] : Attributes(static_cast<NativeObject*>(at.object)))
      if (name == attribute) return value;
  return Value::Null();
}

// The element's name split at its colon (prefix, local name); none for text nodes.
bool NameParts(Machine& m, NativeObject* node, std::string& prefix, std::string& local) {
  const Value name = m.GetPublic(Value::Obj(node), "nodeName");
  if (TypeOf(m, node) != kElementNode || name.IsNull() || name.IsUndefined()) return false;
  local = m.ToString(name);
  const std::size_t colon = local.find(':');
  prefix = colon == std::string::npos ? "" : local.substr(0, colon);
  if (colon != std::string::npos) local = local.substr(colon + 1);
  return true;
}

Value NodeConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* node = Self(m, self);
  InitNode(m, node, static_cast<int>(m.ToUint32(Arg(args, argc, 0))), argc > 1 ? m.StrValue(m.ToString(args[1])) : Value::Null());
  return Value();
}
Value AppendChild(Machine& m, const Value& self, const Value* args, int argc) {
  if (NativeObject* child = NodeArg(m, args, argc, 0)) Insert(m, Self(m, self), child, nullptr);
  return Value();
}
Value InsertBefore(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* parent = Self(m, self);
  NativeObject* child = NodeArg(m, args, argc, 0);
  NativeObject* before = NodeArg(m, args, argc, 1);
  if (child && (!before || before->b.object == parent)) Insert(m, parent, child, before);
  return Value();
}
Value RemoveNode(Machine& m, const Value& self, const Value*, int) {
  Detach(m, Self(m, self));
  return Value();
}
Value CloneNode(Machine& m, const Value& self, const Value* args, int argc) {
  return Value::Obj(Clone(m, Self(m, self), m.ToBoolean(Arg(args, argc, 0))));
}
Value HasChildNodes(Machine& m, const Value& self, const Value*, int) { return Value::Bool(!Self(m, self)->list.empty()); }
Value ChildNodes(Machine& m, const Value& self, const Value*, int) { return Value::Obj(m.NewArray(Self(m, self)->list)); }
Value GetAttributes(Machine& m, const Value& self, const Value*, int) { return Self(m, self)->a; }
Value SetAttributes(Machine& m, const Value& self, const Value* args, int argc) {
  Self(m, self)->a = Arg(args, argc, 0);
  return Value();
}
Value LocalName(Machine& m, const Value& self, const Value*, int) {
  std::string prefix, local;
  return NameParts(m, Self(m, self), prefix, local) ? m.StrValue(local) : Value::Null();
}
Value Prefix(Machine& m, const Value& self, const Value*, int) {
  std::string prefix, local;
  return NameParts(m, Self(m, self), prefix, local) ? m.StrValue(prefix) : Value::Null();
}
Value NamespaceUri(Machine& m, const Value& self, const Value*, int) {
  NativeObject* node = Self(m, self);
  std::string prefix, local;
  return NameParts(m, node, prefix, local) ? NamespaceFor(m, node, prefix) : Value::Null();
}
Value GetNamespaceForPrefix(Machine& m, const Value& self, const Value* args, int argc) {
  return NamespaceFor(m, Self(m, self), StrArg(m, args, argc, 0));
}
Value GetPrefixForNamespace(Machine& m, const Value& self, const Value* args, int argc) {
  const std::string uri = StrArg(m, args, argc, 0);
  for (Value at = self; at.IsObject(); at = static_cast<NativeObject*>(at.object)->b)
    for (const auto& [name, value] : Attributes(static_cast<NativeObject*>(at.object))) {
      if (m.ToString(value) != uri) continue;
      if (name == "xmlns") return m.StrValue("");
      if (name.rfind("xmlns:", 0) == 0) return m.StrValue(name.substr(6));
    }
  return Value::Null();
}
Value NodeToString(Machine& m, const Value& self, const Value*, int) {
  std::string out;
  Serialise(m, Self(m, self), out, 0);
  return m.StrValue(out);
}

// Builds the nodes the parser reports under a document.
class Builder final : public script::XmlSink {
 public:
  Builder(Machine& m, NativeObject* document, bool ignoreWhite) : m_(m), ignoreWhite_(ignoreWhite), open_{document} {}

  // CDATA stays, even empty or all white.
  void Text(std::string text, bool cdata) override {
    if (!cdata && ignoreWhite_ && script::XmlAllSpace(text)) return;
    Insert(m_, open_.back(), NewNode(m_, kTextNode, m_.StrValue(text)), nullptr);
  }
  void Open(std::string_view name, const std::vector<std::pair<std::string_view, std::string>>& attributes,
            bool empty) override {
    NativeObject* element = NewNode(m_, kElementNode, m_.StrValue(std::string(name)));
    for (const auto& [attribute, value] : attributes) {
      m_.SetPublic(element->a, std::string(attribute), m_.StrValue(value));
      if (attribute == "id") withId.emplace_back(value, element);
    }
    Insert(m_, open_.back(), element, nullptr);
    if (!empty) open_.push_back(element);
  }
  bool Close(std::string_view name) override {
    if (m_.ToString(m_.GetPublic(Value::Obj(open_.back()), "nodeName")) != name) return false;
    open_.pop_back();
    return true;
  }
  bool InElement() const override { return open_.size() > 1; }

  std::vector<std::pair<std::string, NativeObject*>> withId;

 private:
  Machine& m_;
  bool ignoreWhite_;
  std::vector<NativeObject*> open_;
};

// Replaces the document's nodes with those of the text. The parser stops at the first
// fault and keeps what it read up to there.
void Parse(Machine& m, NativeObject* document, const std::string& text) {
  const Value self = Value::Obj(document);
  for (const Value& child : std::vector<Value>(document->list)) Detach(m, static_cast<NativeObject*>(child.object));
  Builder builder(m, document, m.ToBoolean(m.GetPublic(self, "ignoreWhite")));
  const script::XmlScan scan = script::ScanXml(text, builder);
  if (!scan.xmlDecl.empty()) m.SetPublic(self, "xmlDecl", m.StrValue(scan.xmlDecl));
  if (!scan.docTypeDecl.empty()) m.SetPublic(self, "docTypeDecl", m.StrValue(scan.docTypeDecl));
  Value idMap = m.GetPublic(self, "idMap");
  if (!idMap.IsObject()) {
    idMap = Value::Obj(m.NewObject());
    m.SetPublic(self, "idMap", idMap);
  }
  for (const auto& [id, element] : builder.withId) m.SetPublic(idMap, id, Value::Obj(element));
}

Value DocumentConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  NativeObject* document = Self(m, self);
  InitNode(m, document, kElementNode, Value::Null());
  m.SetPublic(self, "idMap", Value::Obj(m.NewObject()));
  const Value source = Arg(args, argc, 0);
  if (!source.IsNull() && !source.IsUndefined()) Parse(m, document, m.ToString(source));
  return Value();
}
Value ParseXml(Machine& m, const Value& self, const Value* args, int argc) {
  Parse(m, Self(m, self), StrArg(m, args, argc, 0));
  return Value();
}
Value CreateElement(Machine& m, const Value&, const Value* args, int argc) {
  return Value::Obj(NewNode(m, kElementNode, m.StrValue(StrArg(m, args, argc, 0))));
}
Value CreateTextNode(Machine& m, const Value&, const Value* args, int argc) {
  return Value::Obj(NewNode(m, kTextNode, m.StrValue(StrArg(m, args, argc, 0))));
}
// The declarations come first, as they were read.
Value DocumentToString(Machine& m, const Value& self, const Value*, int) {
  std::string out;
  for (const char* declaration : {"xmlDecl", "docTypeDecl"}) {
    const Value v = m.GetPublic(self, declaration);
    if (!v.IsNull() && !v.IsUndefined()) out += m.ToString(v);
  }
  Serialise(m, Self(m, self), out, 0);
  return m.StrValue(out);
}

// The public variables of the classes (typeKind as slots keep it: 2 uint, 4 Boolean,
// 5 String, 0 any other), at their types' defaults.
void PublicVariables(Machine& m, ClassObject* cls, std::initializer_list<std::pair<const char*, int>> variables) {
  for (const auto& [name, typeKind] : variables)
    AddPublicSlot(m, cls, name, typeKind,
                  typeKind == 2 ? Value::Number(0) : typeKind == 4 ? Value::Bool(false) : Value::Null());
}

}  // namespace

void InstallXmlDocument(Machine& m) {
  ClassObject* node = m.DefineClass("flash.xml", "XMLNode", m.FindClass("Object"), NodeConstruct);
  node->allocate = AllocateNative<ObjectKind::Other>;
  PublicVariables(m, node, {{"firstChild", 0}, {"lastChild", 0}, {"nextSibling", 0}, {"nodeName", 5}, {"nodeType", 2},
                            {"nodeValue", 5}, {"parentNode", 0}, {"previousSibling", 0}});
  static const Member kNodeMembers[] = {
      {"appendChild", AppendChild, nullptr, 0, 0, 1},
      {"insertBefore", InsertBefore, nullptr, 0, 0, 2},
      {"removeNode", RemoveNode, nullptr, 0, 0},
      {"cloneNode", CloneNode, nullptr, 0, 0, 1},
      {"hasChildNodes", HasChildNodes, nullptr, 0, 0},
      {"getNamespaceForPrefix", GetNamespaceForPrefix, nullptr, 0, 0, 1},
      {"getPrefixForNamespace", GetPrefixForNamespace, nullptr, 0, 0, 1},
      {"toString", NodeToString, nullptr, 0, 0},
      {"childNodes", ChildNodes, nullptr, kAccessor, 0},
      {"attributes", GetAttributes, SetAttributes, kAccessor, 0},
      {"localName", LocalName, nullptr, kAccessor, 0},
      {"prefix", Prefix, nullptr, kAccessor, 0},
      {"namespaceURI", NamespaceUri, nullptr, kAccessor, 0},
  };
  Install(m, node, kNodeMembers);
  ClassObject* document = m.DefineClass("flash.xml", "XMLDocument", node, DocumentConstruct);
  document->allocate = AllocateNative<ObjectKind::Other>;
  PublicVariables(m, document, {{"docTypeDecl", 0}, {"idMap", 0}, {"ignoreWhite", 4}, {"xmlDecl", 0}});
  static const Member kDocumentMembers[] = {
      {"parseXML", ParseXml, nullptr, 0, 0, 1},
      {"createElement", CreateElement, nullptr, 0, 0, 1},
      {"createTextNode", CreateTextNode, nullptr, 0, 0, 1},
      {"toString", DocumentToString, nullptr, 0, 0},
  };
  Install(m, document, kDocumentMembers);
}

}  // namespace vantrel::flash::avm2
