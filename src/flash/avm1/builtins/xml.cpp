// XMLNode and XML: a tree of nodes in native slots (type, name or value, parent,
// children, attributes object), the player's own forgiving parser with its status
// codes, and its text form. Nodes made by parsing take XMLNode.prototype as it is at
// that moment, so a movie may replace it.
#include <algorithm>
#include <optional>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/script/xml_scan.h"

namespace vantrel::flash::avm1 {

namespace {

constexpr int kElement = 1;
constexpr int kText = 3;

class XmlNodeData final : public NativeData {
 public:
  int type = kElement;
  Value name;   // elements: the tag name (null for a document)
  Value value;  // text nodes: the text
  Object* parent = nullptr;
  std::vector<Object*> children;
  Object* attributes = nullptr;
  Object* childArray = nullptr;  // what childNodes gives, refreshed on every change

  void Trace(gc::Tracer& tracer) const override {
    TraceValue(tracer, name);
    TraceValue(tracer, value);
    tracer.Mark(parent);
    for (const Object* child : children) tracer.Mark(child);
    tracer.Mark(attributes);
    tracer.Mark(childArray);
  }
  std::size_t Bytes() const override { return children.capacity() * sizeof(Object*); }
};

XmlNodeData* NodeOf(const Object* object) { return object ? object->Data<XmlNodeData>() : nullptr; }

// The prototype XMLNode instances get now (scripts may replace XMLNode.prototype).
Object* NodePrototype(MachineInterface& machine) {
  Runtime& rt = machine.Rt();
  if (Object* ctor = data::ConstructorOf(rt, "XMLNode")) {
    if (Object* proto = machine.Get(ctor, "prototype").AsObject()) return proto;
  }
  return rt.xmlNodeProto ? rt.xmlNodeProto : rt.objectProto;
}

void InitNode(MachineInterface& machine, Object* object, int type, const Value& text) {
  auto native = std::make_unique<XmlNodeData>();
  native->type = type;
  native->name = Value::Null();
  native->value = Value::Null();
  if (type == kElement) {
    native->name = text;
  } else {
    native->value = text;
  }
  native->attributes = machine.NewObject();
  object->kind = NativeKind::Other;
  object->native = std::move(native);
}

Object* MakeNode(MachineInterface& machine, int type, const Value& text) {
  Object* node = machine.Rt().MakeObject(NodePrototype(machine));
  InitNode(machine, node, type, text);
  return node;
}

void RefreshChildArray(XmlNodeData* node) {
  if (!node || !node->childArray) return;
  if (ArrayData* array = node->childArray->Array()) {
    std::vector<Value> children;
    children.reserve(node->children.size());
    for (Object* child : node->children) children.push_back(Value::Obj(child));
    array->Assign(std::move(children));
  }
}

void Detach(Object* child) {
  XmlNodeData* data = NodeOf(child);
  if (!data || !data->parent) return;
  XmlNodeData* parent = NodeOf(data->parent);
  if (parent) {
    auto& siblings = parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), child), siblings.end());
    RefreshChildArray(parent);
  }
  data->parent = nullptr;
}

// Whether candidate is node itself or one of its ancestors.
bool IsSelfOrAncestor(Object* candidate, Object* node) {
  for (int guard = 0; node && guard < 1000000; ++guard) {
    if (node == candidate) return true;
    XmlNodeData* data = NodeOf(node);
    node = data ? data->parent : nullptr;
  }
  return false;
}

// Inserts child into parent before `before` (at the end when null).
// A node already among parent's children stays where it is (the player moves nodes
// between parents only).
void Insert(Object* parent, Object* child, Object* before) {
  if (!NodeOf(parent) || !NodeOf(child) || IsSelfOrAncestor(child, parent)) return;
  if (NodeOf(child)->parent == parent) return;
  Detach(child);
  XmlNodeData* data = NodeOf(parent);
  auto at = before ? std::find(data->children.begin(), data->children.end(), before) : data->children.end();
  data->children.insert(at, child);
  NodeOf(child)->parent = parent;
  RefreshChildArray(data);
}

// Attributes in the order scripts enumerate them (the most recent first): the parser
// defines them last to first, so this is also their order in the document.
std::vector<const Property*> AttributeOrder(const Object* attributes) {
  std::vector<const Property*> out;
  if (!attributes) return out;
  const auto& props = attributes->Properties();
  for (auto it = props.rbegin(); it != props.rend(); ++it) {
    if (!it->IsAccessor() && !(it->attributes & kDontEnum)) out.push_back(&*it);
  }
  return out;
}

// ---- Text ----

void Serialise(MachineInterface& machine, Object* node, std::string& out, int depth) {
  XmlNodeData* data = NodeOf(node);
  // Many nodes can hold one long string: the text stops growing past the longest string.
  if (!data || depth > 10000 || machine.StringTooLong(out.size())) return;
  if (data->type != kElement) {
    if (!data->value.IsNullish()) script::AppendXmlEscaped(out, machine.ToString(data->value));
    return;
  }
  const bool named = !data->name.IsNullish();
  if (named) {
    out += "<" + machine.ToString(data->name);
    for (const Property* p : AttributeOrder(data->attributes)) {
      out += " " + p->name + "=\"";
      script::AppendXmlEscaped(out, machine.ToString(p->value));
      out += "\"";
    }
    if (data->children.empty()) {
      out += " />";
      return;
    }
    out += ">";
  }
  for (Object* child : data->children) {
    Serialise(machine, child, out, depth + 1);
    if (machine.StringTooLong(out.size())) return;
  }
  if (named) out += "</" + machine.ToString(data->name) + ">";
}

// ---- Parsing ----

// Builds the nodes the scanner reports under the document.
class Builder final : public script::XmlSink {
 public:
  Builder(MachineInterface& machine, Object* document, bool ignoreWhite)
      : machine_(machine), ignoreWhite_(ignoreWhite), open_{document} {}

  // CDATA stays whatever it holds, unless it holds nothing.
  void Text(std::string text, bool cdata) override {
    if (cdata ? text.empty() : ignoreWhite_ && script::XmlAllSpace(text)) return;
    Insert(open_.back(), MakeNode(machine_, kText, machine_.Str(std::move(text))), nullptr);
  }
  void Open(std::string_view name, const std::vector<std::pair<std::string_view, std::string>>& attributes,
            bool empty) override {
    Object* element = MakeNode(machine_, kElement, machine_.Str(std::string(name)));
    // Defined last to first, so that for..in (most recent first) gives document order.
    Object* defined = NodeOf(element)->attributes;
    for (auto it = attributes.rbegin(); it != attributes.rend(); ++it) defined->Define(it->first, machine_.Str(it->second));
    if (std::any_of(attributes.begin(), attributes.end(), [](const auto& a) { return a.first == "id"; }))
      elementsWithId.push_back(element);
    Insert(open_.back(), element, nullptr);
    if (!empty) open_.push_back(element);
  }
  bool Close(std::string_view name) override {
    if (machine_.ToString(NodeOf(open_.back())->name) != name) return false;
    open_.pop_back();
    return true;
  }
  bool InElement() const override { return open_.size() > 1; }

  std::vector<Object*> elementsWithId;

 private:
  MachineInterface& machine_;
  bool ignoreWhite_;
  std::vector<Object*> open_;
};

void ParseInto(MachineInterface& machine, Object* document, const std::string& text) {
  XmlNodeData* doc = NodeOf(document);
  if (!doc) return;
  for (Object* child : std::vector<Object*>(doc->children)) Detach(child);
  const bool ignoreWhite = machine.ToBoolean(machine.Get(document, "ignoreWhite"));
  Builder builder(machine, document, ignoreWhite);
  const script::XmlScan scan = script::ScanXml(text, builder);
  if (!scan.xmlDecl.empty()) machine.Set(document, "xmlDecl", machine.Str(scan.xmlDecl));
  if (!scan.docTypeDecl.empty()) machine.Set(document, "docTypeDecl", machine.Str(scan.docTypeDecl));
  machine.Set(document, "status", Value::Number(scan.status));
  if (!builder.elementsWithId.empty() && machine.Version() >= 8) {
    Object* idMap = machine.Get(document, "idMap").AsObject();
    if (idMap) {
      for (Object* element : builder.elementsWithId) {
        const Property* id = NodeOf(element)->attributes->FindOwn("id", true);
        if (id) machine.Set(idMap, machine.ToString(id->value), Value::Obj(element));
      }
    }
  }
}

// ---- XMLNode members ----

Value NodeConstruct(Call& call) {
  if (!call.self) return Value();
  MachineInterface& m = call.machine;
  const int type = ToInt32(m.ToNumber(call.Arg(0)));
  const Value text = call.Arg(1).IsNullish() ? Value::Null() : m.Str(m.ToString(call.Arg(1)));
  InitNode(m, call.self, type == kElement ? kElement : type, text);
  return Value::Obj(call.self);
}

XmlNodeData* Self(Call& call) { return NodeOf(call.self); }

Value GetNodeType(Call& call) {
  XmlNodeData* node = Self(call);
  return node ? Value::Number(node->type) : Value();
}
Value GetNodeName(Call& call) {
  XmlNodeData* node = Self(call);
  return node ? node->name : Value();
}
Value SetNodeName(Call& call) {
  XmlNodeData* node = Self(call);
  // Setting undefined leaves the name as it was.
  if (node && node->type == kElement && !call.Arg(0).IsUndefined()) {
    node->name = call.Arg(0).IsNull() ? Value::Null() : call.machine.Str(call.machine.ToString(call.Arg(0)));
  }
  return Value();
}
Value GetNodeValue(Call& call) {
  XmlNodeData* node = Self(call);
  return node ? node->value : Value();
}
Value SetNodeValue(Call& call) {
  XmlNodeData* node = Self(call);
  if (node && !call.Arg(0).IsUndefined())
    node->value = call.Arg(0).IsNull() ? Value::Null() : call.machine.Str(call.machine.ToString(call.Arg(0)));
  return Value();
}
Value GetAttributes(Call& call) {
  XmlNodeData* node = Self(call);
  return node ? Value::Obj(node->attributes) : Value();
}
Value SetAttributes(Call& call) {
  XmlNodeData* node = Self(call);
  if (node && call.Arg(0).IsObject()) node->attributes = call.Arg(0).AsObject();
  return Value();
}
Value GetChildNodes(Call& call) {
  XmlNodeData* node = Self(call);
  if (!node) return Value();
  if (!node->childArray) {
    node->childArray = call.machine.NewArray();
    RefreshChildArray(node);
  }
  return Value::Obj(node->childArray);
}
Value GetParentNode(Call& call) {
  XmlNodeData* node = Self(call);
  return node ? Value::Obj(node->parent) : Value();
}
Value GetFirstChild(Call& call) {
  XmlNodeData* node = Self(call);
  if (!node) return Value();
  return Value::Obj(node->children.empty() ? nullptr : node->children.front());
}
Value GetLastChild(Call& call) {
  XmlNodeData* node = Self(call);
  if (!node) return Value();
  return Value::Obj(node->children.empty() ? nullptr : node->children.back());
}
Value Sibling(Call& call, int step) {
  XmlNodeData* node = Self(call);
  if (!node) return Value();
  XmlNodeData* parent = NodeOf(node->parent);
  if (!parent) return Value::Null();
  const auto it = std::find(parent->children.begin(), parent->children.end(), call.self);
  if (it == parent->children.end()) return Value::Null();
  const auto index = (it - parent->children.begin()) + step;
  if (index < 0 || index >= static_cast<long>(parent->children.size())) return Value::Null();
  return Value::Obj(parent->children[static_cast<std::size_t>(index)]);
}
Value GetNextSibling(Call& call) { return Sibling(call, 1); }
Value GetPreviousSibling(Call& call) { return Sibling(call, -1); }

// Namespaces: "prefix:local" names, declared by xmlns and xmlns:prefix attributes on
// the node or its ancestors.
std::string NameOf(MachineInterface& m, XmlNodeData* node) {
  return node && node->type == kElement && !node->name.IsNullish() ? m.ToString(node->name) : std::string();
}
Value GetPrefix(Call& call) {
  XmlNodeData* node = Self(call);
  if (!node || node->type != kElement || node->name.IsNullish()) return Value::Null();
  const std::string name = NameOf(call.machine, node);
  const std::size_t colon = name.find(':');
  return call.machine.Str(colon == std::string::npos ? std::string() : name.substr(0, colon));
}
Value GetLocalName(Call& call) {
  XmlNodeData* node = Self(call);
  if (!node || node->type != kElement || node->name.IsNullish()) return Value::Null();
  const std::string name = NameOf(call.machine, node);
  const std::size_t colon = name.find(':');
  return call.machine.Str(colon == std::string::npos ? name : name.substr(colon + 1));
}
// The prefix an attribute declares: "xmlns:p" declares p; "xmlns", "xmlns:" and any
// other name that starts with "xmlns" declare the default namespace (""), as the
// player reads them. Nullopt for other attributes.
std::optional<std::string> DeclaredPrefix(std::string_view attribute) {
  if (attribute.substr(0, 5) != "xmlns") return std::nullopt;
  if (attribute.size() > 5 && attribute[5] == ':') return std::string(attribute.substr(6));
  return std::string();
}

Value NamespaceFor(MachineInterface& m, Object* start, const std::string& prefix) {
  for (Object* o = start; o;) {
    XmlNodeData* node = NodeOf(o);
    if (!node) break;
    for (const Property* p : AttributeOrder(node->attributes)) {
      const auto declared = DeclaredPrefix(p->name);
      if (declared && *declared == prefix) return m.Str(m.ToString(p->value));
    }
    o = node->parent;
  }
  return Value::Null();
}
Value GetNamespaceUri(Call& call) {
  XmlNodeData* node = Self(call);
  if (!node || node->type != kElement || node->name.IsNullish()) return Value::Null();
  const std::string name = NameOf(call.machine, node);
  const std::size_t colon = name.find(':');
  return NamespaceFor(call.machine, call.self, colon == std::string::npos ? std::string() : name.substr(0, colon));
}
Value GetNamespaceForPrefix(Call& call) {
  XmlNodeData* node = Self(call);
  if (!node || node->type != kElement || node->name.IsNullish()) return Value::Null();
  return NamespaceFor(call.machine, call.self, call.machine.ToString(call.Arg(0)));
}
Value GetPrefixForNamespace(Call& call) {
  XmlNodeData* node = Self(call);
  if (!node || node->type != kElement || node->name.IsNullish()) return Value::Null();
  const std::string uri = call.machine.ToString(call.Arg(0));
  for (Object* o = call.self; o;) {
    XmlNodeData* data = NodeOf(o);
    if (!data) break;
    for (const Property* p : AttributeOrder(data->attributes)) {
      if (call.machine.ToString(p->value) != uri) continue;
      if (const auto declared = DeclaredPrefix(p->name)) return call.machine.Str(*declared);
    }
    o = data->parent;
  }
  return Value::Null();
}

Value AppendChild(Call& call) {
  if (Self(call)) Insert(call.self, call.Arg(0).AsObject(), nullptr);
  return Value();
}

Value InsertBefore(Call& call) {
  XmlNodeData* node = Self(call);
  Object* before = call.Arg(1).AsObject();
  if (!node || !before || call.Arg(0).AsObject() == before) return Value();
  if (std::find(node->children.begin(), node->children.end(), before) == node->children.end()) return Value();
  Insert(call.self, call.Arg(0).AsObject(), before);
  return Value();
}

Value RemoveNode(Call& call) {
  if (Self(call)) Detach(call.self);
  return Value();
}

Value HasChildNodes(Call& call) {
  XmlNodeData* node = Self(call);
  return Value::Bool(node && !node->children.empty());
}

Object* Clone(MachineInterface& m, Object* original, bool deep, int depth) {
  XmlNodeData* source = NodeOf(original);
  Object* copy = m.Rt().MakeObject(NodePrototype(m));
  InitNode(m, copy, source->type, source->type == kElement ? source->name : source->value);
  XmlNodeData* data = NodeOf(copy);
  if (source->attributes) {
    for (const Property& p : source->attributes->Properties()) {
      if (!p.IsAccessor()) data->attributes->Define(p.name, p.value, p.attributes);
    }
  }
  if (deep && depth < 10000) {
    for (Object* child : source->children) Insert(copy, Clone(m, child, true, depth + 1), nullptr);
  }
  return copy;
}

Value CloneNode(Call& call) {
  if (!Self(call)) return Value();
  return Value::Obj(Clone(call.machine, call.self, call.machine.ToBoolean(call.Arg(0)), 0));
}

Value NodeToString(Call& call) {
  if (!Self(call)) return call.machine.Str("[object Object]");
  return call.machine.Str(data::XmlToString(call.machine, call.self));
}

// ---- XML members ----

Value XmlConstruct(Call& call) {
  if (!call.self) return Value();
  MachineInterface& m = call.machine;
  InitNode(m, call.self, kElement, Value::Null());
  call.self->Define("idMap", Value::Obj(m.NewObject()), kDontEnum);
  if (!call.Arg(0).IsNullish()) ParseInto(m, call.self, m.ToString(call.Arg(0)));
  return Value::Obj(call.self);
}

Value CreateElement(Call& call) {
  MachineInterface& m = call.machine;
  return Value::Obj(MakeNode(m, kElement, m.Str(m.ToString(call.Arg(0)))));
}

Value CreateTextNode(Call& call) {
  MachineInterface& m = call.machine;
  return Value::Obj(MakeNode(m, kText, m.Str(m.ToString(call.Arg(0)))));
}

Value ParseXml(Call& call) {
  if (Self(call)) ParseInto(call.machine, call.self, call.machine.ToString(call.Arg(0)));
  return Value();
}

Value XmlToStringMethod(Call& call) {
  MachineInterface& m = call.machine;
  if (!Self(call)) return m.Str("[object Object]");
  std::string out;
  const Value decl = m.Get(call.self, "xmlDecl");
  if (!decl.IsNullish()) out += m.ToString(decl);
  const Value docType = m.Get(call.self, "docTypeDecl");
  if (!docType.IsNullish()) out += m.ToString(docType);
  Serialise(m, call.self, out, 0);
  if (m.StringTooLong(out.size())) return Value();
  return m.Str(out);
}

// Loading: the body goes to onData (whose default parses it and calls onLoad).
void StartLoad(MachineInterface& m, Object* target, const std::string& url, const std::string& method,
               const std::string& body) {
  m.Set(target, "loaded", Value::Bool(false));
  target->Define("_bytesLoaded", Value::Number(0), kDontEnum | kDontDelete);
  m.LoadData(
      url, method, body,
      [target](MachineInterface& machine, bool ok, const std::string& text) {
        if (ok) {
          target->Define("_bytesLoaded", Value::Number(static_cast<double>(text.size())), kDontEnum | kDontDelete);
          target->Define("_bytesTotal", Value::Number(static_cast<double>(text.size())), kDontEnum | kDontDelete);
        }
        const Value arg = ok ? machine.Str(text) : Value();
        machine.CallMethod(Value::Obj(target), "onData", std::span<const Value>(&arg, 1));
      },
      target);
}

Value XmlLoad(Call& call) {
  if (!Self(call) || call.Count() == 0) return Value::Bool(false);
  StartLoad(call.machine, call.self, call.machine.ToString(call.Arg(0)), "GET", std::string());
  return Value::Bool(true);
}

Value XmlSend(Call& call) {
  // Sending without waiting for an answer goes through the same loader; the answer is
  // dropped (a browser window target is not something this player opens).
  if (!Self(call) || call.Count() == 0) return Value::Bool(false);
  MachineInterface& m = call.machine;
  m.LoadData(m.ToString(call.Arg(0)), "POST", data::XmlToString(m, call.self),
             [](MachineInterface&, bool, const std::string&) {}, call.self);
  return Value::Bool(true);
}

Value XmlSendAndLoad(Call& call) {
  MachineInterface& m = call.machine;
  Object* target = call.Arg(1).AsObject();
  if (!Self(call) || call.Count() < 2 || !target) return Value::Bool(false);
  StartLoad(m, target, m.ToString(call.Arg(0)), "POST", data::XmlToString(m, call.self));
  return Value::Bool(true);
}

Value XmlOnData(Call& call) {
  MachineInterface& m = call.machine;
  if (!call.self) return Value();
  if (call.Arg(0).IsUndefined()) {
    const Value no = Value::Bool(false);
    m.CallMethod(Value::Obj(call.self), "onLoad", std::span<const Value>(&no, 1));
    return Value();
  }
  const Value text = call.Arg(0);
  m.CallMethod(Value::Obj(call.self), "parseXML", std::span<const Value>(&text, 1));
  m.Set(call.self, "loaded", Value::Bool(true));
  const Value yes = Value::Bool(true);
  m.CallMethod(Value::Obj(call.self), "onLoad", std::span<const Value>(&yes, 1));
  return Value();
}

Value Nothing(Call&) { return Value(); }

Value GetBytesLoaded(Call& call) {
  return call.self ? call.machine.Get(call.self, "_bytesLoaded") : Value();
}
Value GetBytesTotal(Call& call) {
  return call.self ? call.machine.Get(call.self, "_bytesTotal") : Value();
}


}  // namespace

namespace data {

bool IsXmlNode(const Object* object) { return NodeOf(object) != nullptr; }

std::string EscapeXmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  script::AppendXmlEscaped(out, text);
  return out;
}

std::string XmlToString(MachineInterface& machine, Object* node) {
  std::string out;
  Serialise(machine, node, out, 0);
  return out;
}

Object* ParseXmlDocument(MachineInterface& machine, const std::string& text) {
  Object* ctor = ConstructorOf(machine.Rt(), "XML");
  if (!ctor) return nullptr;
  const Value arg = machine.Str(text);
  return machine.Construct(ctor, std::span<const Value>(&arg, 1));
}

}  // namespace data

void InstallXml(Runtime& rt) {
  Object* node = rt.MakeClass(NodeConstruct, NodeConstruct);
  rt.xmlNodeProto = data::PrototypeOf(node);
  data::RegisterClass(rt, rt.global, "XMLNode", node);
  static const Member nodeMembers[] = {
      {"nodeType", GetNodeType, nullptr, kDontEnum | kGetterOnly},
      {"nodeName", GetNodeName, SetNodeName},
      {"nodeValue", GetNodeValue, SetNodeValue},
      {"attributes", GetAttributes, SetAttributes},
      {"childNodes", GetChildNodes, nullptr, kDontEnum | kGetterOnly},
      {"parentNode", GetParentNode, nullptr, kDontEnum | kGetterOnly},
      {"firstChild", GetFirstChild, nullptr, kDontEnum | kGetterOnly},
      {"lastChild", GetLastChild, nullptr, kDontEnum | kGetterOnly},
      {"nextSibling", GetNextSibling, nullptr, kDontEnum | kGetterOnly},
      {"previousSibling", GetPreviousSibling, nullptr, kDontEnum | kGetterOnly},
      {"prefix", GetPrefix, nullptr, kDontEnum | kGetterOnly},
      {"localName", GetLocalName, nullptr, kDontEnum | kGetterOnly},
      {"namespaceURI", GetNamespaceUri, nullptr, kDontEnum | kGetterOnly},
      {"cloneNode", CloneNode},
      {"removeNode", RemoveNode},
      {"insertBefore", InsertBefore},
      {"appendChild", AppendChild},
      {"hasChildNodes", HasChildNodes},
      {"toString", NodeToString},
      {"getNamespaceForPrefix", GetNamespaceForPrefix},
      {"getPrefixForNamespace", GetPrefixForNamespace},
  };
  rt.AddMembers(rt.xmlNodeProto, nodeMembers);

  Object* xml = rt.MakeClass(XmlConstruct, XmlConstruct, rt.xmlNodeProto);
  rt.xmlProto = data::PrototypeOf(xml);
  data::RegisterClass(rt, rt.global, "XML", xml);
  static const Member xmlMembers[] = {
      {"createElement", CreateElement},
      {"createTextNode", CreateTextNode},
      {"parseXML", ParseXml},
      {"toString", XmlToStringMethod},
      {"load", XmlLoad},
      {"send", XmlSend},
      {"sendAndLoad", XmlSendAndLoad},
      {"onData", XmlOnData},
      {"onLoad", Nothing},
      {"getBytesLoaded", GetBytesLoaded},
      {"getBytesTotal", GetBytesTotal},
      {"addRequestHeader", data::AddRequestHeader},
  };
  rt.AddMembers(rt.xmlProto, xmlMembers);
  rt.xmlProto->Define("contentType", Value::Str(rt.Str("application/x-www-form-urlencoded")), kDontEnum);
  rt.xmlProto->Define("ignoreWhite", Value::Bool(false), kDontEnum);
  rt.xmlProto->Define("loaded", Value(), kDontEnum);
  rt.xmlProto->Define("status", Value::Number(0), kDontEnum);
}

}  // namespace vantrel::flash::avm1
