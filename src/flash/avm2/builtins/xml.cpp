// XML and XMLList (E4X): parsing, printing with the settings' pretty printing, property
// access by element and attribute names, descendants, filters, and the methods of both.
#include "flash/avm2/builtins/xml.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <unordered_set>

#include "flash/avm2/builtins/support.h"

namespace vantrel::flash::avm2 {

void XmlObject::Trace(gc::Tracer& tracer) const {
  Object::Trace(tracer);
  tracer.Mark(parent);
  for (const XmlObject* c : children) tracer.Mark(c);
  for (const XmlObject* a : attributes) tracer.Mark(a);
}

void XmlListObject::Trace(gc::Tracer& tracer) const {
  Object::Trace(tracer);
  tracer.Mark(target);
  for (const XmlObject* i : items) tracer.Mark(i);
}

namespace {

using Node = XmlObject::Node;

XmlObject* NewNode(Machine& m, Node kind) {
  ClassObject* c = m.xmlClass;
  auto* x = m.heap.Make<XmlObject>(c->instanceTraits.get(), c->prototype);
  x->cls = c;
  x->dynamic = false;
  x->node = kind;
  return x;
}

XmlListObject* NewList(Machine& m) {
  ClassObject* c = m.xmlListClass;
  auto* l = m.heap.Make<XmlListObject>(c->instanceTraits.get(), c->prototype);
  l->cls = c;
  l->dynamic = false;
  return l;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string Trim(const std::string& s) {
  std::size_t a = 0, b = s.size();
  while (a < b && IsSpace(s[a])) ++a;
  while (b > a && IsSpace(s[b - 1])) --b;
  return s.substr(a, b - a);
}

// ---- parsing ----

class Parser {
 public:
  Parser(Machine& m, const std::string& text) : m_(m), s_(text) {}

  // Parses the children of a virtual parent: the nodes at the top level.
  // A document (the XML constructor's text) says so of an end tag left after its root.
  std::vector<XmlObject*> ParseNodes(bool document = false) {
    std::vector<XmlObject*> nodes;
    ParseContent(nullptr, nodes, {});
    if (pos_ < s_.size()) {
      if (document) Fail(1088, "The markup in the document following the root element must be well-formed.");
      Fail(1090, "XML parser failure: element is malformed.");
    }
    return nodes;
  }

 private:
  using Scope = std::vector<std::pair<std::string, std::string>>;

  [[noreturn]] void Fail(int id, const std::string& text) { m_.ThrowTypeError(id, text); }

  bool StartsWith(const char* t) const { return s_.compare(pos_, std::strlen(t), t) == 0; }

  std::string Decode(const std::string& raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != '&') {
        out += raw[i];
        continue;
      }
      const std::size_t end = raw.find(';', i);
      if (end == std::string::npos) {
        out += raw[i];
        continue;
      }
      const std::string entity = raw.substr(i + 1, end - i - 1);
      std::uint32_t code = 0;
      if (entity == "amp") code = '&';
      else if (entity == "lt") code = '<';
      else if (entity == "gt") code = '>';
      else if (entity == "quot") code = '"';
      else if (entity == "apos") code = '\'';
      else if (entity.size() > 1 && entity[0] == '#') {
        const bool hex = entity[1] == 'x' || entity[1] == 'X';
        code = static_cast<std::uint32_t>(std::strtoul(entity.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10));
      } else {
        // An unknown reference stays as written up to its ";", any "&" inside with it.
        out.append(raw, i, end - i + 1);
        i = end;
        continue;
      }
      AppendUtf8(out, code);
      i = end;
    }
    return out;
  }

  static void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }

  std::string ReadName() {
    const std::size_t start = pos_;
    while (pos_ < s_.size() && !IsSpace(s_[pos_]) && s_[pos_] != '>' && s_[pos_] != '/' && s_[pos_] != '=' &&
           s_[pos_] != '<' && s_[pos_] != '"' && s_[pos_] != '\'')
      ++pos_;
    return s_.substr(start, pos_ - start);
  }

  void SkipSpace() {
    while (pos_ < s_.size() && IsSpace(s_[pos_])) ++pos_;
  }

  static std::string Resolve(const Scope& scope, const std::string& prefix, bool& found) {
    for (auto it = scope.rbegin(); it != scope.rend(); ++it) {
      if (it->first == prefix) {
        found = true;
        return it->second;
      }
    }
    found = prefix.empty();
    if (prefix == "xml") {
      found = true;
      return "http://www.w3.org/XML/1998/namespace";
    }
    return {};
  }

  void AddText(XmlObject* parent, std::vector<XmlObject*>& out, std::string text, bool cdata) {
    if (!cdata && m_.xmlSettings.ignoreWhitespace) {
      text = Trim(text);
      if (text.empty()) return;
    }
    XmlObject* t = NewNode(m_, Node::Text);
    t->value = std::move(text);
    t->cdata = cdata;
    t->parent = parent;
    out.push_back(t);
  }

  // Content up to the parent's end tag (or the end of the text at the top level).
  void ParseContent(XmlObject* parent, std::vector<XmlObject*>& out, const Scope& scope) {
    std::string text;
    while (pos_ < s_.size()) {
      if (s_[pos_] != '<') {
        const std::size_t next = s_.find('<', pos_);
        const std::size_t end = next == std::string::npos ? s_.size() : next;
        text += Decode(s_.substr(pos_, end - pos_));
        pos_ = end;
        continue;
      }
      if (StartsWith("</")) break;
      if (StartsWith("<![CDATA[")) {
        if (!text.empty()) AddText(parent, out, std::move(text), false);
        text.clear();
        const std::size_t end = s_.find("]]>", pos_);
        if (end == std::string::npos) Fail(1091, "XML parser failure: Unterminated CDATA section.");
        AddText(parent, out, s_.substr(pos_ + 9, end - pos_ - 9), true);
        pos_ = end + 3;
        continue;
      }
      if (!text.empty()) AddText(parent, out, std::move(text), false);
      text.clear();
      if (StartsWith("<!--")) {
        const std::size_t end = s_.find("-->", pos_);
        if (end == std::string::npos) Fail(1094, "XML parser failure: Unterminated comment.");
        if (!m_.xmlSettings.ignoreComments) {
          XmlObject* c = NewNode(m_, Node::Comment);
          c->value = s_.substr(pos_ + 4, end - pos_ - 4);
          c->parent = parent;
          out.push_back(c);
        }
        pos_ = end + 3;
      } else if (StartsWith("<!DOCTYPE")) {
        int depth = 0;
        for (; pos_ < s_.size(); ++pos_) {
          if (s_[pos_] == '[') ++depth;
          if (s_[pos_] == ']') --depth;
          if (s_[pos_] == '>' && depth <= 0) break;
        }
        if (pos_ >= s_.size()) Fail(1093, "XML parser failure: Unterminated DOCTYPE declaration.");
        ++pos_;
      } else if (StartsWith("<?")) {
        const std::size_t end = s_.find("?>", pos_);
        if (end == std::string::npos) Fail(1097, "XML parser failure: Unterminated processing instruction.");
        pos_ += 2;
        const std::string target = ReadName();
        SkipSpace();
        const std::string body = s_.substr(pos_, end - pos_);
        pos_ = end + 2;
        if (target == "xml" || m_.xmlSettings.ignoreProcessingInstructions) continue;
        XmlObject* pi = NewNode(m_, Node::Instruction);
        pi->name = target;
        pi->value = body;
        pi->parent = parent;
        out.push_back(pi);
      } else {
        out.push_back(ParseElement(parent, scope));
      }
    }
    if (!text.empty()) AddText(parent, out, std::move(text), false);
  }

  XmlObject* ParseElement(XmlObject* parent, Scope scope) {
    const Machine::WalkDepth walk(m_);
    ++pos_;  // '<'
    const std::string qname = ReadName();
    if (qname.empty()) Fail(1090, "XML parser failure: element is malformed.");
    XmlObject* e = NewNode(m_, Node::Element);
    e->parent = parent;
    std::vector<std::pair<std::string, std::string>> rawAttributes;
    for (;;) {
      SkipSpace();
      if (pos_ >= s_.size()) Fail(1090, "XML parser failure: element is malformed.");
      if (s_[pos_] == '>' || StartsWith("/>")) break;
      const std::string name = ReadName();
      SkipSpace();
      if (name.empty() || pos_ >= s_.size() || s_[pos_] != '=') Fail(1090, "XML parser failure: element is malformed.");
      ++pos_;
      SkipSpace();
      if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\'')) Fail(1090, "XML parser failure: element is malformed.");
      const char quote = s_[pos_++];
      const std::size_t end = s_.find(quote, pos_);
      if (end == std::string::npos) Fail(1095, "XML parser failure: Unterminated attribute.");
      std::string value = Decode(s_.substr(pos_, end - pos_));
      pos_ = end + 1;
      if (name == "xmlns") {
        e->namespaces.emplace_back("", value);
      } else if (name.rfind("xmlns:", 0) == 0) {
        e->namespaces.emplace_back(name.substr(6), value);
      } else {
        for (const auto& a : rawAttributes)
          if (a.first == name) Fail(1104, "Attribute name " + name + " already exists.");
        rawAttributes.emplace_back(name, std::move(value));
      }
    }
    for (const auto& ns : e->namespaces) scope.push_back(ns);
    SplitName(qname, scope, e->prefix, e->name, e->uri, true);
    for (auto& [name, value] : rawAttributes) {
      XmlObject* a = NewNode(m_, Node::Attribute);
      SplitName(name, scope, a->prefix, a->name, a->uri, false);
      a->value = std::move(value);
      a->parent = e;
      e->attributes.push_back(a);
    }
    if (StartsWith("/>")) {
      pos_ += 2;
      return e;
    }
    ++pos_;  // '>'
    ParseContent(e, e->children, scope);
    if (!StartsWith("</"))
      Fail(1085, "The element type \"" + qname + "\" must be terminated by the matching end-tag \"</" + qname + ">\".");
    pos_ += 2;
    const std::string closing = ReadName();
    // After the name the player skips whatever comes before the '>' ("</a/>", "</a x=\"y\">").
    const std::size_t end = s_.find('>', pos_);
    if (closing != qname || end == std::string::npos)
      Fail(1085, "The element type \"" + qname + "\" must be terminated by the matching end-tag \"</" + qname + ">\".");
    pos_ = end + 1;
    return e;
  }

  void SplitName(const std::string& qname, const Scope& scope, std::string& prefix, std::string& local, std::string& uri,
                 bool element) {
    const std::size_t colon = qname.find(':');
    // A name is a local name, or a prefix and a local name around one colon.
    if (colon != std::string::npos && (colon == 0 || colon + 1 == qname.size() || qname.find(':', colon + 1) != std::string::npos))
      Fail(1084, "Element or attribute (\"" + qname + "\") do not match QName production: QName::=(NCName':')?NCName.");
    prefix = colon == std::string::npos ? "" : qname.substr(0, colon);
    local = colon == std::string::npos ? qname : qname.substr(colon + 1);
    if (prefix.empty() && !element) {
      uri.clear();
      return;
    }
    bool found = false;
    uri = Resolve(scope, prefix, found);
    if (!found) Fail(1083, "The prefix \"" + prefix + "\" for element \"" + local + "\" is not bound.");
  }

  Machine& m_;
  const std::string s_;  // a copy: callers may pass a temporary
  std::size_t pos_ = 0;
};

// ---- printing ----

}  // namespace

std::string EscapeText(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else out += c;
  }
  return out;
}

std::string EscapeAttribute(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '"') out += "&quot;";
    else if (c == '\n') out += "&#xA;";
    else if (c == '\r') out += "&#xD;";
    else if (c == '\t') out += "&#x9;";
    else out += c;
  }
  return out;
}

namespace {

using NsList = std::vector<std::pair<std::string, std::string>>;

bool InScope(const NsList& scope, const std::string& prefix, const std::string& uri) {
  for (auto it = scope.rbegin(); it != scope.rend(); ++it)
    if (it->first == prefix) return it->second == uri;
  return prefix.empty() && uri.empty();
}

// inherited: the namespaces of a printed node's ancestors, which the node written on
// its own declares after its own.
void Print(Machine& m, const XmlObject* x, const NsList& ancestors, int indent, std::string& out,
           const NsList* inherited = nullptr) {
  const Machine::WalkDepth walk(m);
  m.CheckStringRoom(out.size());  // many nodes can hold one long string
  // A negative indent turns pretty printing off, as in the reference player.
  const bool pretty = m.xmlSettings.prettyPrinting && m.xmlSettings.prettyIndent >= 0;
  if (pretty) out.append(static_cast<std::size_t>(indent), ' ');
  switch (x->node) {
    case Node::Text:
      if (x->cdata) out += "<![CDATA[" + x->value + "]]>";
      else out += EscapeText(pretty ? Trim(x->value) : x->value);
      return;
    case Node::Attribute: out += EscapeAttribute(x->value); return;
    case Node::Comment: out += "<!--" + x->value + "-->"; return;
    case Node::Instruction: out += "<?" + x->name + (x->value.empty() ? "" : " " + x->value) + "?>"; return;
    case Node::Element: break;
  }
  NsList scope = ancestors;
  NsList declare;
  for (const auto& ns : x->namespaces) {
    if (!InScope(scope, ns.first, ns.second)) declare.push_back(ns);
  }
  if (inherited) {
    for (const auto& ns : *inherited) {
      const bool named = std::any_of(declare.begin(), declare.end(), [&](const auto& d) { return d.first == ns.first; });
      if (!named) declare.push_back(ns);
    }
  }
  for (const auto& ns : declare) scope.push_back(ns);
  auto need = [&](const std::string& prefix, const std::string& uri) {
    if (uri.empty() && prefix.empty()) return;
    if (InScope(scope, prefix, uri)) return;
    if (prefix == "xml") return;
    declare.emplace_back(prefix, uri);
    scope.emplace_back(prefix, uri);
  };
  need(x->prefix, x->uri);
  for (const XmlObject* a : x->attributes)
    if (!a->uri.empty()) need(a->prefix, a->uri);
  const std::string name = x->prefix.empty() ? x->name : x->prefix + ":" + x->name;
  out += "<" + name;
  // The attributes come first, then the namespace declarations.
  for (const XmlObject* a : x->attributes)
    out += " " + (a->prefix.empty() ? a->name : a->prefix + ":" + a->name) + "=\"" + EscapeAttribute(a->value) + "\"";
  for (const auto& ns : declare) out += (ns.first.empty() ? " xmlns" : " xmlns:" + ns.first) + "=\"" + EscapeAttribute(ns.second) + "\"";
  if (x->children.empty()) {
    out += "/>";
    return;
  }
  out += ">";
  const bool indentChildren = x->children.size() > 1 || x->children[0]->node != Node::Text;
  const int next = pretty && indentChildren ? indent + m.xmlSettings.prettyIndent : 0;
  for (const XmlObject* c : x->children) {
    if (pretty && indentChildren) out += "\n";
    Print(m, c, scope, next, out);
  }
  if (pretty && indentChildren) {
    out += "\n";
    out.append(static_cast<std::size_t>(indent), ' ');
  }
  out += "</" + name + ">";
}

bool SimpleContent(const XmlObject* x) {
  if (x->node == Node::Comment || x->node == Node::Instruction) return false;
  for (const XmlObject* c : x->children)
    if (c->node == Node::Element) return false;
  return true;
}

std::string NodeString(Machine& m, const XmlObject* x) {
  if (x->node == Node::Text || x->node == Node::Attribute) return x->value;
  if (!SimpleContent(x)) return XmlToXmlString(m, x);
  std::string out;
  for (const XmlObject* c : x->children)
    if (c->node == Node::Text) out += c->value;
  return out;
}

bool ListSimple(const XmlListObject* l) {
  if (l->items.size() == 1) return SimpleContent(l->items[0]);
  for (const XmlObject* x : l->items)
    if (x->node == Node::Element) return false;
  return true;
}

std::string ListXmlString(Machine& m, const XmlListObject* l) {
  std::string out;
  for (std::size_t i = 0; i < l->items.size(); ++i) {
    if (i) out += "\n";
    out += XmlToXmlString(m, l->items[i]);
    m.CheckStringRoom(out.size());  // a list can hold one node many times
  }
  return out;
}

// Whether the text is a name without a colon as XML writes it (a letter or "_" first,
// then letters, digits, ".", "-" and "_"; letters past ASCII from U+00C0 on, less the
// two signs there).
bool IsNcName(const std::string& text) {
  if (text.empty()) return false;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::uint32_t code = c;
    std::size_t length = 1;
    if (c >= 0xF0) code = c & 0x07, length = 4;
    else if (c >= 0xE0) code = c & 0x0F, length = 3;
    else if (c >= 0xC0) code = c & 0x1F, length = 2;
    for (std::size_t k = 1; k < length && i + k < text.size(); ++k) code = (code << 6) | (text[i + k] & 0x3F);
    const bool letter = (code >= 'a' && code <= 'z') || (code >= 'A' && code <= 'Z') || code == '_' ||
                        (code >= 0xC0 && code != 0xD7 && code != 0xF7);
    const bool other = (code >= '0' && code <= '9') || code == '.' || code == '-' || code == 0xB7;
    if (!letter && (i == 0 || !other)) return false;
    i += length;
  }
  return true;
}

// ---- names ----

bool AnyName(const Multiname& n) { return !n.text || *n.text == "*"; }

bool NsMatches(Machine& m, const Multiname& n, const std::string& uri) {
  if (n.nsCount == 0) return true;
  for (std::uint32_t i = 0; i < n.nsCount; ++i) {
    const std::string& u = m.Ns(n.ns[i]).uri;
    if (u == "*" || u == uri) return true;
  }
  return false;
}

bool Matches(Machine& m, const XmlObject* x, const Multiname& n) {
  if (n.attribute) {
    if (x->node != Node::Attribute) return false;
  } else if (x->node != Node::Element) {
    // * (written, or the text "*") also gives text and other nodes, but *::* (any
    // namespace) gives elements alone.
    if (!AnyName(n)) return false;
    if (n.nsCount == 0) return true;
    bool unnamed = false;
    for (std::uint32_t i = 0; i < n.nsCount; ++i) {
      const std::string& uri = m.Ns(n.ns[i]).uri;
      if (uri == "*") return false;
      unnamed = unnamed || uri.empty();
    }
    return unnamed;
  }
  if (!AnyName(n) && x->name != *n.text) return false;
  // An unqualified @* names the attributes of every namespace; ns::* those of one.
  if (x->node == Node::Attribute && AnyName(n) && (n.nsCount == 0 || n.publicNs)) return true;
  return NsMatches(m, n, x->uri);
}

// The namespace a new element or attribute named n goes into: the one namespace the
// name was written with, when it is not the public one.
std::string NewNameUri(Machine& m, const Multiname& n) {
  if (n.nsCount == 1 && !m.IsPublicLike(n.ns[0])) return m.Ns(n.ns[0]).uri;
  return {};
}

XmlObject* DeepCopy(Machine& m, const XmlObject* x, XmlObject* parent) {
  const Machine::WalkDepth walk(m);
  XmlObject* c = NewNode(m, x->node);
  c->cdata = x->cdata;
  c->uri = x->uri;
  c->prefix = x->prefix;
  c->name = x->name;
  c->value = x->value;
  c->namespaces = x->namespaces;
  c->parent = parent;
  for (const XmlObject* a : x->attributes) c->attributes.push_back(DeepCopy(m, a, c));
  for (const XmlObject* k : x->children) c->children.push_back(DeepCopy(m, k, c));
  return c;
}

XmlListObject* Children(Machine& m, XmlObject* x, const Multiname& n) {
  XmlListObject* l = NewList(m);
  l->target = x;
  l->targetName = n.text ? *n.text : "*";
  l->targetAttribute = n.attribute;
  const auto& source = n.attribute ? x->attributes : x->children;
  for (XmlObject* c : source)
    if (Matches(m, c, n)) l->items.push_back(c);
  return l;
}

void Descendants(Machine& m, XmlObject* x, const Multiname& n, std::vector<XmlObject*>& out) {
  const Machine::WalkDepth walk(m);
  if (n.attribute)
    for (XmlObject* a : x->attributes)
      if (Matches(m, a, n)) out.push_back(a);
  for (XmlObject* c : x->children) {
    if (!n.attribute && Matches(m, c, n)) out.push_back(c);
    Descendants(m, c, n, out);
  }
}

std::vector<XmlObject*> Items(Object* o) {
  if (o->kind == ObjectKind::Xml) return {static_cast<XmlObject*>(o)};
  return static_cast<XmlListObject*>(o)->items;
}

Multiname NameFromValue(Machine& m, const Value& v, std::string& storage, NsId& ns, bool attribute) {
  Multiname n;
  n.attribute = attribute;
  if (v.IsObject() && v.object->kind == ObjectKind::QName) {
    auto* q = static_cast<NativeObject*>(v.object);
    storage = m.ToString(q->a);
    ns = m.InternNs(kNsNamespace, q->text);
    n.ns = &ns;
    n.nsCount = 1;
  } else {
    storage = m.ToString(v);
    if (!storage.empty() && storage[0] == '@') {
      storage.erase(0, 1);
      n.attribute = true;
    }
    if (storage != "*") {
      ns = m.PublicNs();
      n.ns = &ns;
      n.nsCount = 1;
    }
  }
  n.text = &storage;
  n.id = m.FindId(storage);
  n.publicNs = n.nsCount == 0 || m.IsPublicLike(*n.ns);
  return n;
}

// Replaces the content of element x by the value (text, or the given nodes).
void ReplaceContent(Machine& m, XmlObject* x, const Value& value) {
  for (XmlObject* c : x->children) c->parent = nullptr;
  x->children.clear();
  Object* o = value.AsObject();
  if (IsXmlKind(o)) {
    for (XmlObject* item : Items(o)) {
      XmlObject* c = DeepCopy(m, item, x);
      x->children.push_back(c);
    }
    return;
  }
  const std::string text = m.ToString(value);
  if (text.empty()) return;
  XmlObject* t = NewNode(m, Node::Text);
  t->value = text;
  t->parent = x;
  x->children.push_back(t);
}

void SetAttribute(Machine& m, XmlObject* x, const Multiname& n, const Value& value) {
  if (x->node != Node::Element || AnyName(n)) return;
  std::string text;
  if (Object* o = value.AsObject(); o && o->kind == ObjectKind::XmlList) {
    const auto& items = static_cast<XmlListObject*>(o)->items;
    for (std::size_t i = 0; i < items.size(); ++i) text += (i ? " " : "") + NodeString(m, items[i]);
  } else {
    text = m.ToString(value);
  }
  XmlObject* found = nullptr;
  for (auto it = x->attributes.begin(); it != x->attributes.end();) {
    if (Matches(m, *it, n)) {
      if (!found) {
        found = *it;
        ++it;
        continue;
      }
      (*it)->parent = nullptr;
      it = x->attributes.erase(it);
    } else {
      ++it;
    }
  }
  if (!found) {
    found = NewNode(m, Node::Attribute);
    found->name = *n.text;
    found->uri = NewNameUri(m, n);
    found->parent = x;
    x->attributes.push_back(found);
  }
  found->value = text;
}

// True when parent is node or lies inside it: inserting node there would make a loop.
// The walk goes down from node (a node may be a child in more than one element); each
// node it visits costs the script an instruction of its budget, so a script growing a
// tree by inserting it again and again runs out of time as a loop of its own would.
bool Contains(Machine& m, const XmlObject* node, const XmlObject* parent) {
  std::vector<const XmlObject*> pending{node};
  std::unordered_set<const XmlObject*> seen;
  while (!pending.empty()) {
    const XmlObject* x = pending.back();
    pending.pop_back();
    if (x == parent) return true;
    if (!seen.insert(x).second) continue;
    --m.budget_;
    for (const XmlObject* c : x->children) pending.push_back(c);
  }
  return false;
}

void InsertAt(Machine& m, XmlObject* parent, std::size_t index, XmlObject* child) {
  if (child->node == Node::Element && Contains(m, child, parent))
    m.ThrowTypeError(1118, "Illegal cyclical loop between nodes.");
  child->parent = parent;
  parent->children.insert(parent->children.begin() + static_cast<long>(std::min(index, parent->children.size())), child);
}

// The nodes a value stands for when it is added to an element.
std::vector<XmlObject*> NodesOf(Machine& m, const Value& value) {
  if (Object* o = value.AsObject(); IsXmlKind(o)) return Items(o);
  XmlObject* t = NewNode(m, Node::Text);
  t->value = m.ToString(value);
  return {t};
}

void SetElement(Machine& m, XmlObject* x, const Multiname& n, const Value& value) {
  if (x->node != Node::Element) return;
  std::size_t first = x->children.size();
  bool found = false;
  for (std::size_t i = x->children.size(); i-- > 0;) {
    if (!Matches(m, x->children[i], n) || x->children[i]->node != Node::Element) continue;
    if (found) {
      x->children[first]->parent = nullptr;
      x->children.erase(x->children.begin() + static_cast<long>(first));
    }
    first = i;
    found = true;
  }
  Object* o = value.AsObject();
  const bool xmlValue = IsXmlKind(o);
  if (!found) {
    if (AnyName(n)) {
      for (XmlObject* node : NodesOf(m, value)) InsertAt(m, x, x->children.size(), node);
      return;
    }
    if (xmlValue) {
      for (XmlObject* node : Items(o)) InsertAt(m, x, x->children.size(), node);
      return;
    }
    XmlObject* e = NewNode(m, Node::Element);
    e->name = *n.text;
    e->uri = NewNameUri(m, n);
    InsertAt(m, x, x->children.size(), e);
    ReplaceContent(m, e, value);
    return;
  }
  if (xmlValue) {
    x->children[first]->parent = nullptr;
    x->children.erase(x->children.begin() + static_cast<long>(first));
    std::size_t at = first;
    for (XmlObject* node : Items(o)) InsertAt(m, x, at++, node);
    return;
  }
  ReplaceContent(m, x->children[first], value);
}

// ---- methods ----

// XML.prototype is itself XML: an empty text node, which its methods read as such.
Object* ThisAny(Machine& m, const Value& self) {
  Object* o = self.AsObject();
  if (ClassObject* xml = m.FindClass("XML"); o && xml && o == xml->prototype) return NewNode(m, Node::Text);
  if (!IsXmlKind(o)) m.ThrowTypeError(1004, "Method XML was invoked on an incompatible object.");
  return o;
}

Value ListValue(XmlListObject* l) { return Value::Obj(l); }

Value QNameOf(Machine& m, const XmlObject* x) {
  if (x->node == Node::Text || x->node == Node::Comment) return Value::Null();
  Value args[2] = {m.StrValue(x->uri), m.StrValue(x->name)};
  Object* q = m.ConstructClass(m.qnameClass, args, 2);
  // An attribute's name remembers that it names an attribute.
  if (x->node == Node::Attribute) static_cast<NativeObject*>(q)->b = Value::Bool(true);
  return Value::Obj(q);
}

Value NamespaceValue(Machine& m, const std::string& prefix, const std::string& uri) {
  Value args[2] = {m.StrValue(prefix), m.StrValue(uri)};
  return Value::Obj(m.ConstructClass(m.namespaceClass, args, 2));
}

enum Tag {
  kToString, kToXmlString, kValueOf, kChildren, kChild, kAttributes, kAttribute, kName, kLocalName, kNodeKind,
  kLength, kParent, kChildIndex, kCopy, kAppendChild, kPrependChild, kText, kElements, kComments,
  kInstructions, kDescendants, kHasSimple, kHasComplex, kSetName, kSetLocalName, kContains, kNormalize,
  kInsertAfter, kInsertBefore, kSetChildren, kNamespace, kInScope, kDeclarations, kToJson, kSetNamespace,
  kAddNamespace, kReplace
};

XmlListObject* Collect(Machine& m, Object* o, const std::function<void(XmlObject*, XmlListObject*)>& each) {
  XmlListObject* l = NewList(m);
  for (XmlObject* x : Items(o)) each(x, l);
  return l;
}

void Normalize(Machine& m, XmlObject* x);

// Normalizes elements among items, joins neighbouring texts and drops empty ones (blank
// ones too when dropBlank); remove takes the item at an index out.
void NormalizeItems(Machine& m, std::vector<XmlObject*>& items, bool dropBlank,
                    const std::function<void(std::size_t)>& remove) {
  for (std::size_t i = 0; i < items.size();) {
    XmlObject* c = items[i];
    if (c->node == Node::Element) {
      Normalize(m, c);
      ++i;
    } else if (c->node == Node::Text) {
      while (i + 1 < items.size() && items[i + 1]->node == Node::Text) {
        c->value += items[i + 1]->value;
        remove(i + 1);
      }
      const bool drop = dropBlank ? c->value.find_first_not_of(" \t\r\n") == std::string::npos : c->value.empty();
      if (drop) remove(i);
      else ++i;
    } else {
      ++i;
    }
  }
}

// An element's normalize also drops texts of white space only.
void Normalize(Machine& m, XmlObject* x) {
  const Machine::WalkDepth walk(m);
  NormalizeItems(m, x->children, true, [x](std::size_t i) {
    x->children[i]->parent = nullptr;
    x->children.erase(x->children.begin() + static_cast<long>(i));
  });
}

// A list's normalize works on the list's own items, which leave their parents too; it
// keeps blank texts.
void NormalizeList(Machine& m, XmlListObject* l) {
  NormalizeItems(m, l->items, false, [l](std::size_t i) {
    XmlObject* item = l->items[i];
    if (XmlObject* parent = item->parent) {
      parent->children.erase(std::remove(parent->children.begin(), parent->children.end(), item), parent->children.end());
      item->parent = nullptr;
    }
    l->items.erase(l->items.begin() + static_cast<long>(i));
  });
}

Value Method(Machine& m, const Value& self, const Value* args, int argc, int tag) {
  Object* o = ThisAny(m, self);
  const bool list = o->kind == ObjectKind::XmlList;
  auto single = [&](const char* name) -> XmlObject* {
    if (!list) return static_cast<XmlObject*>(o);
    auto* l = static_cast<XmlListObject*>(o);
    if (l->items.size() != 1)
      m.ThrowTypeError(1086, std::string("The ") + name + " method only works on lists containing one item.");
    return l->items[0];
  };
  std::string storage;
  NsId ns = 0;
  switch (tag) {
    case kToString: return m.StrValue(XmlToString(m, o));
    case kToXmlString:
      return m.StrValue(list ? ListXmlString(m, static_cast<XmlListObject*>(o)) : XmlToXmlString(m, static_cast<XmlObject*>(o)));
    case kValueOf: return self;
    case kToJson: return m.StrValue(list ? "XMLList" : "XML");
    case kLength: return Value::Number(static_cast<double>(Items(o).size()));
    case kChildren:
    case kElements:
    case kComments:
    case kText:
    case kInstructions: {
      const Multiname n = tag == kElements && argc > 0 ? NameFromValue(m, args[0], storage, ns, false) : Multiname{};
      return ListValue(Collect(m, o, [&](XmlObject* x, XmlListObject* l) {
        for (XmlObject* c : x->children) {
          const bool keep = tag == kChildren                              ? true
                            : tag == kElements                           ? c->node == Node::Element && (argc == 0 || Matches(m, c, n))
                            : tag == kComments                           ? c->node == Node::Comment
                            : tag == kText                               ? c->node == Node::Text
                                                                         : c->node == Node::Instruction;
          if (keep) l->items.push_back(c);
        }
        if (!list) l->target = x;
      }));
    }
    case kChild:
    case kAttribute:
    case kDescendants: {
      const Value nameValue = argc > 0 ? args[0] : m.StrValue("*");
      if (tag == kChild && nameValue.IsNumber()) {
        const double index = nameValue.number;
        return ListValue(Collect(m, o, [&](XmlObject* x, XmlListObject* l) {
          if (index >= 0 && index < static_cast<double>(x->children.size())) l->items.push_back(x->children[static_cast<std::size_t>(index)]);
        }));
      }
      const Multiname n = NameFromValue(m, nameValue, storage, ns, tag == kAttribute);
      if (tag == kDescendants) return XmlDescendants(m, self, n);
      return XmlGet(m, o, n);
    }
    case kAttributes: {
      return ListValue(Collect(m, o, [&](XmlObject* x, XmlListObject* l) {
        for (XmlObject* a : x->attributes) l->items.push_back(a);
      }));
    }
    case kParent: {
      if (!list) {
        auto* x = static_cast<XmlObject*>(o);
        return x->parent ? Value::Obj(x->parent) : Value();
      }
      XmlObject* parent = nullptr;
      for (XmlObject* x : Items(o)) {
        if (!x->parent || (parent && parent != x->parent)) return Value();
        parent = x->parent;
      }
      return parent ? Value::Obj(parent) : Value();
    }
    case kCopy: {
      if (!list) return Value::Obj(DeepCopy(m, static_cast<XmlObject*>(o), nullptr));
      XmlListObject* l = NewList(m);
      for (XmlObject* x : Items(o)) l->items.push_back(DeepCopy(m, x, nullptr));
      return Value::Obj(l);
    }
    case kHasSimple: return Value::Bool(list ? ListSimple(static_cast<XmlListObject*>(o)) : SimpleContent(static_cast<XmlObject*>(o)));
    case kHasComplex:
      if (list) {
        auto* l = static_cast<XmlListObject*>(o);
        if (l->items.size() == 1) return Value::Bool(l->items[0]->node == Node::Element && !SimpleContent(l->items[0]));
        for (XmlObject* x : l->items)
          if (x->node == Node::Element) return Value::Bool(true);
        return Value::Bool(false);
      } else {
        auto* x = static_cast<XmlObject*>(o);
        return Value::Bool(x->node == Node::Element && !SimpleContent(x));
      }
    case kContains: {
      const Value v = Arg(args, argc, 0);
      // A list compares its items with == (text matches simple content); an XML object is
      // only ever equal to another XML object here.
      if (!list && !(v.IsObject() && v.object->kind == ObjectKind::Xml)) return Value::Bool(false);
      for (XmlObject* x : Items(o))
        if (XmlEquals(m, Value::Obj(x), v)) return Value::Bool(true);
      return Value::Bool(false);
    }
    case kNormalize:
      if (list) {
        NormalizeList(m, static_cast<XmlListObject*>(o));
      } else {
        for (XmlObject* x : Items(o)) Normalize(m, x);
      }
      return self;
    default: break;
  }
  XmlObject* x = single(tag == kName ? "name" : "XML");
  switch (tag) {
    case kName: return QNameOf(m, x);
    case kLocalName:
      return x->node == Node::Text || x->node == Node::Comment ? Value::Null() : m.StrValue(x->name);
    case kNodeKind: {
      static const char* kinds[] = {"element", "text", "comment", "processing-instruction", "attribute"};
      return m.StrValue(kinds[static_cast<int>(x->node)]);
    }
    case kChildIndex: {
      if (!x->parent || x->node == Node::Attribute) return Value::Number(-1);
      const auto& siblings = x->parent->children;
      const auto it = std::find(siblings.begin(), siblings.end(), x);
      return Value::Number(it == siblings.end() ? -1 : static_cast<double>(it - siblings.begin()));
    }
    case kAppendChild:
    case kPrependChild: {
      if (x->node != Node::Element) return Value::Obj(x);
      const Value v = Arg(args, argc, 0);
      std::vector<XmlObject*> nodes;
      if (Object* vo = v.AsObject(); IsXmlKind(vo)) {
        nodes = Items(vo);
      } else if (tag == kAppendChild && !x->children.empty() && x->children.back()->node == Node::Element) {
        // Text appended after an element becomes another element of that name.
        XmlObject* e = NewNode(m, Node::Element);
        e->name = x->children.back()->name;
        e->uri = x->children.back()->uri;
        e->prefix = x->children.back()->prefix;
        ReplaceContent(m, e, v);
        nodes.push_back(e);
      } else {
        nodes = NodesOf(m, v);
      }
      std::size_t at = tag == kAppendChild ? x->children.size() : 0;
      for (XmlObject* node : nodes) InsertAt(m, x, at++, node);
      return Value::Obj(x);
    }
    case kInsertAfter:
    case kInsertBefore: {
      if (x->node != Node::Element) return Value();
      const Value ref = Arg(args, argc, 0);
      std::size_t at;
      if (ref.IsNullish()) {
        at = tag == kInsertAfter ? 0 : x->children.size();
      } else {
        Object* r = ref.AsObject();
        if (!IsXmlKind(r) || Items(r).empty()) return Value();
        const auto it = std::find(x->children.begin(), x->children.end(), Items(r)[0]);
        if (it == x->children.end()) return Value();
        at = static_cast<std::size_t>(it - x->children.begin()) + (tag == kInsertAfter ? 1 : 0);
      }
      for (XmlObject* node : NodesOf(m, Arg(args, argc, 1))) InsertAt(m, x, at++, node);
      return Value::Obj(x);
    }
    case kSetChildren:
      if (x->node == Node::Element) {
        for (XmlObject* c : x->children) c->parent = nullptr;
        x->children.clear();
        for (XmlObject* node : NodesOf(m, Arg(args, argc, 0))) InsertAt(m, x, x->children.size(), node);
      }
      return Value::Obj(x);
    case kReplace: {
      if (x->node != Node::Element) return Value::Obj(x);
      const Value which = Arg(args, argc, 0);
      const Value v = Arg(args, argc, 1);
      if (which.IsNumber()) {
        const double index = which.number;
        if (!(index >= 0 && index < 4294967296.0)) return Value::Obj(x);  // NaN too: no child has that place
        std::size_t at = static_cast<std::size_t>(index);
        if (at < x->children.size()) {
          x->children[at]->parent = nullptr;
          x->children.erase(x->children.begin() + static_cast<long>(at));
        } else {
          at = x->children.size();
        }
        for (XmlObject* node : NodesOf(m, v)) InsertAt(m, x, at++, node);
        return Value::Obj(x);
      }
      const Multiname n = NameFromValue(m, which, storage, ns, false);
      SetElement(m, x, n, v);
      return Value::Obj(x);
    }
    case kSetName:
    case kSetLocalName: {
      const Value v = Arg(args, argc, 0);
      if (x->node == Node::Text || x->node == Node::Comment) return Value();
      if (v.IsObject() && v.object->kind == ObjectKind::QName) {
        auto* q = static_cast<NativeObject*>(v.object);
        x->name = m.ToString(q->a);
        if (tag == kSetName) {
          x->uri = q->text == "*" ? "" : q->text;
          if (x->uri.empty()) x->prefix.clear();
        }
      } else {
        const std::string name = m.ToString(v);
        if (!IsNcName(name)) m.ThrowTypeError(1117, "Invalid XML name: " + name + ".");
        x->name = name;
        // A plain name is a name in no namespace: what the node had goes.
        if (tag == kSetName) {
          x->uri.clear();
          x->prefix.clear();
        }
      }
      return Value();
    }
    case kNamespace: {
      if (argc > 0) {
        const std::string prefix = m.ToString(args[0]);
        for (const XmlObject* p = x; p; p = p->parent)
          for (const auto& d : p->namespaces)
            if (d.first == prefix) return NamespaceValue(m, d.first, d.second);
        return Value();
      }
      if (x->node == Node::Text || x->node == Node::Comment || x->node == Node::Instruction) return Value::Null();
      return NamespaceValue(m, x->prefix, x->uri);
    }
    case kSetNamespace: {
      const Value v = Arg(args, argc, 0);
      if (v.IsObject() && v.object->kind == ObjectKind::Namespace) {
        auto* n = static_cast<NativeObject*>(v.object);
        x->uri = n->text;
        x->prefix = n->a.IsUndefined() ? "" : m.ToString(n->a);
      } else {
        x->uri = m.ToString(v);
      }
      return Value();
    }
    case kAddNamespace: {
      const Value v = Arg(args, argc, 0);
      if (v.IsObject() && v.object->kind == ObjectKind::Namespace) {
        // A namespace without a prefix is not declared; one whose prefix the element
        // declares already takes that declaration's place.
        auto* n = static_cast<NativeObject*>(v.object);
        if (n->a.IsUndefined()) return Value::Obj(x);
        const std::string prefix = m.ToString(n->a);
        auto same = std::find_if(x->namespaces.begin(), x->namespaces.end(), [&](const auto& d) { return d.first == prefix; });
        if (same != x->namespaces.end()) same->second = n->text;
        else x->namespaces.emplace_back(prefix, n->text);
      }
      return Value::Obj(x);
    }
    case kInScope:
    case kDeclarations: {
      std::vector<Value> out;
      std::vector<std::string> seen;
      for (const XmlObject* p = x; p; p = tag == kInScope ? p->parent : nullptr) {
        for (const auto& d : p->namespaces) {
          if (std::find(seen.begin(), seen.end(), d.first) != seen.end()) continue;
          seen.push_back(d.first);
          out.push_back(NamespaceValue(m, d.first, d.second));
        }
      }
      // With no namespace declared on the way up, the unnamed default one is in scope.
      if (tag == kInScope && out.empty()) out.push_back(NamespaceValue(m, "", ""));
      return Value::Obj(m.NewArray(std::move(out)));
    }
    default: break;
  }
  return Value();
}

// ---- classes ----

Object* AllocateXml(Machine& m, ClassObject*) { return NewNode(m, Node::Text); }
Object* AllocateList(Machine& m, ClassObject*) { return NewList(m); }

XmlObject* XmlFromValue(Machine& m, const Value& v, bool copy) {
  Object* o = v.AsObject();
  if (o && o->kind == ObjectKind::Xml) return copy ? DeepCopy(m, static_cast<XmlObject*>(o), nullptr) : static_cast<XmlObject*>(o);
  if (o && o->kind == ObjectKind::XmlList) {
    auto* l = static_cast<XmlListObject*>(o);
    if (l->items.size() != 1) m.ThrowTypeError(1088, "The markup in the document following the root element must be well-formed.");
    return copy ? DeepCopy(m, l->items[0], nullptr) : l->items[0];
  }
  if (v.IsNullish()) return ParseXml(m, "");
  return ParseXml(m, m.ToString(v));
}

XmlListObject* ListFromValue(Machine& m, const Value& v) {
  Object* o = v.AsObject();
  XmlListObject* l = NewList(m);
  if (o && o->kind == ObjectKind::XmlList) {
    l->items = static_cast<XmlListObject*>(o)->items;
  } else if (o && o->kind == ObjectKind::Xml) {
    l->items.push_back(static_cast<XmlObject*>(o));
  } else if (!v.IsNullish()) {
    Parser parser(m, m.ToString(v));
    l->items = parser.ParseNodes();
    for (XmlObject* x : l->items) x->parent = nullptr;
  }
  return l;
}

void CopyInto(XmlObject* to, const XmlObject* from) {
  to->node = from->node;
  to->cdata = from->cdata;
  to->uri = from->uri;
  to->prefix = from->prefix;
  to->name = from->name;
  to->value = from->value;
  to->namespaces = from->namespaces;
  to->attributes = from->attributes;
  to->children = from->children;
  for (XmlObject* a : to->attributes) a->parent = to;
  for (XmlObject* c : to->children) c->parent = to;
}

Value XmlConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  auto* x = static_cast<XmlObject*>(self.object);
  CopyInto(x, XmlFromValue(m, Arg(args, argc, 0), true));
  return Value();
}

Value XmlCallAsFunction(Machine& m, const Value&, const Value* args, int argc) {
  const Value v = Arg(args, argc, 0);
  if (v.IsObject() && v.object->kind == ObjectKind::Xml) return v;
  return Value::Obj(XmlFromValue(m, v, false));
}

Value ListConstruct(Machine& m, const Value& self, const Value* args, int argc) {
  auto* l = static_cast<XmlListObject*>(self.object);
  l->items = ListFromValue(m, Arg(args, argc, 0))->items;
  return Value();
}

Value ListCallAsFunction(Machine& m, const Value&, const Value* args, int argc) {
  const Value v = Arg(args, argc, 0);
  if (v.IsObject() && v.object->kind == ObjectKind::XmlList) return v;
  return Value::Obj(ListFromValue(m, v));
}

enum SettingTag { kIgnoreComments, kIgnorePi, kIgnoreWhite, kPretty, kIndent };

Value GetSetting(Machine& m, const Value&, const Value*, int, int tag) {
  auto& s = m.xmlSettings;
  switch (tag) {
    case kIgnoreComments: return Value::Bool(s.ignoreComments);
    case kIgnorePi: return Value::Bool(s.ignoreProcessingInstructions);
    case kIgnoreWhite: return Value::Bool(s.ignoreWhitespace);
    case kPretty: return Value::Bool(s.prettyPrinting);
    default: return Value::Number(s.prettyIndent);
  }
}

void PutSetting(Machine& m, int tag, const Value& v) {
  auto& s = m.xmlSettings;
  switch (tag) {
    case kIgnoreComments: s.ignoreComments = m.ToBoolean(v); break;
    case kIgnorePi: s.ignoreProcessingInstructions = m.ToBoolean(v); break;
    case kIgnoreWhite: s.ignoreWhitespace = m.ToBoolean(v); break;
    case kPretty: s.prettyPrinting = m.ToBoolean(v); break;
    default: s.prettyIndent = m.ToInt32(v); break;
  }
}

const char* const kSettingNames[] = {"ignoreComments", "ignoreProcessingInstructions", "ignoreWhitespace", "prettyPrinting",
                                     "prettyIndent"};

Value SetSetting(Machine& m, const Value&, const Value* args, int argc, int tag) {
  PutSetting(m, tag, Arg(args, argc, 0));
  return Value();
}

// Natives take one function per member; the tag picks the member.
template <int Tag>
Value SettingGetter(Machine& m, const Value& self, const Value* args, int argc) { return GetSetting(m, self, args, argc, Tag); }
template <int Tag>
Value SettingSetter(Machine& m, const Value& self, const Value* args, int argc) { return SetSetting(m, self, args, argc, Tag); }

Value SettingsObject(Machine& m, const Machine::XmlSettings& s) {
  Object* o = m.NewObject();
  o->SetOwn("ignoreComments", Value::Bool(s.ignoreComments));
  o->SetOwn("ignoreProcessingInstructions", Value::Bool(s.ignoreProcessingInstructions));
  o->SetOwn("ignoreWhitespace", Value::Bool(s.ignoreWhitespace));
  o->SetOwn("prettyIndent", Value::Number(s.prettyIndent));
  o->SetOwn("prettyPrinting", Value::Bool(s.prettyPrinting));
  return Value::Obj(o);
}

Value Settings(Machine& m, const Value&, const Value*, int) { return SettingsObject(m, m.xmlSettings); }
Value DefaultSettings(Machine& m, const Value&, const Value*, int) { return SettingsObject(m, Machine::XmlSettings{}); }
Value SetSettings(Machine& m, const Value&, const Value* args, int argc) {
  const Value v = Arg(args, argc, 0);
  if (v.IsNullish()) {
    m.xmlSettings = Machine::XmlSettings{};
    return Value();
  }
  if (!v.IsObject()) return Value();
  for (int tag = 0; tag < 5; ++tag) {
    const Value s = m.GetPublic(v, kSettingNames[tag]);
    if (tag == kIndent ? s.IsNumber() : s.IsBoolean()) PutSetting(m, tag, s);
  }
  return Value();
}

template <int Tag>
Value MethodOf(Machine& m, const Value& self, const Value* args, int argc) { return Method(m, self, args, argc, Tag); }

struct MethodEntry {
  const char* name;
  Native fn;
  bool xml, list;
};

const MethodEntry kMethods[] = {
    {"toString", MethodOf<kToString>, true, true},
    {"toXMLString", MethodOf<kToXmlString>, true, true},
    {"valueOf", MethodOf<kValueOf>, true, true},
    {"toJSON", MethodOf<kToJson>, true, true},
    {"children", MethodOf<kChildren>, true, true},
    {"child", MethodOf<kChild>, true, true},
    {"attributes", MethodOf<kAttributes>, true, true},
    {"attribute", MethodOf<kAttribute>, true, true},
    {"elements", MethodOf<kElements>, true, true},
    {"comments", MethodOf<kComments>, true, true},
    {"text", MethodOf<kText>, true, true},
    {"processingInstructions", MethodOf<kInstructions>, true, true},
    {"descendants", MethodOf<kDescendants>, true, true},
    {"length", MethodOf<kLength>, true, true},
    {"parent", MethodOf<kParent>, true, true},
    {"copy", MethodOf<kCopy>, true, true},
    {"hasSimpleContent", MethodOf<kHasSimple>, true, true},
    {"hasComplexContent", MethodOf<kHasComplex>, true, true},
    {"contains", MethodOf<kContains>, true, true},
    {"normalize", MethodOf<kNormalize>, true, true},
    {"name", MethodOf<kName>, true, false},
    {"localName", MethodOf<kLocalName>, true, false},
    {"nodeKind", MethodOf<kNodeKind>, true, false},
    {"childIndex", MethodOf<kChildIndex>, true, false},
    {"appendChild", MethodOf<kAppendChild>, true, false},
    {"prependChild", MethodOf<kPrependChild>, true, false},
    {"insertChildAfter", MethodOf<kInsertAfter>, true, false},
    {"insertChildBefore", MethodOf<kInsertBefore>, true, false},
    {"setChildren", MethodOf<kSetChildren>, true, false},
    {"replace", MethodOf<kReplace>, true, false},
    {"setName", MethodOf<kSetName>, true, false},
    {"setLocalName", MethodOf<kSetLocalName>, true, false},
    {"namespace", MethodOf<kNamespace>, true, false},
    {"setNamespace", MethodOf<kSetNamespace>, true, false},
    {"addNamespace", MethodOf<kAddNamespace>, true, false},
    {"inScopeNamespaces", MethodOf<kInScope>, true, false},
    {"namespaceDeclarations", MethodOf<kDeclarations>, true, false},
};

const MethodEntry* FindMethod(const std::string& name, bool list) {
  for (const MethodEntry& e : kMethods)
    if (name == e.name && (list ? e.list : e.xml)) return &e;
  return nullptr;
}

}  // namespace

// ---- what the machine calls ----

XmlObject* ParseXml(Machine& m, const std::string& text) {
  Parser parser(m, text);
  std::vector<XmlObject*> nodes = parser.ParseNodes(true);
  if (nodes.empty()) {
    XmlObject* t = NewNode(m, Node::Text);
    return t;
  }
  // Nodes around the root element do not count (whitespace is dropped above).
  XmlObject* root = nullptr;
  for (XmlObject* n : nodes) {
    if (n->node == Node::Element) {
      if (root) m.ThrowTypeError(1088, "The markup in the document following the root element must be well-formed.");
      root = n;
    }
  }
  // Without an element the text must be one node (one text, comment or instruction).
  if (!root) {
    if (nodes.size() == 1) return nodes[0];
    m.ThrowTypeError(1088, "The markup in the document following the root element must be well-formed.");
  }
  root->parent = nullptr;
  return root;
}

std::string XmlToXmlString(Machine& m, const XmlObject* node) {
  NsList inherited;
  for (const XmlObject* p = node->node == Node::Element ? node->parent : nullptr; p; p = p->parent) {
    for (const auto& ns : p->namespaces) {
      const bool named = std::any_of(inherited.begin(), inherited.end(), [&](const auto& d) { return d.first == ns.first; });
      if (!named) inherited.push_back(ns);
    }
  }
  std::string out;
  Print(m, node, {}, 0, out, &inherited);
  return out;
}

std::string XmlToString(Machine& m, Object* o) {
  if (o->kind == ObjectKind::Xml) return NodeString(m, static_cast<XmlObject*>(o));
  auto* l = static_cast<XmlListObject*>(o);
  if (!ListSimple(l)) return ListXmlString(m, l);
  std::string out;
  for (const XmlObject* x : l->items)
    if (x->node != Node::Comment && x->node != Node::Instruction) out += NodeString(m, x);
  return out;
}

// A name given as text that starts with "@" names an attribute: xml["@a"].
struct TextName {
  std::string text;
  Multiname name;
  TextName(Machine& m, const Multiname& given) : name(given) {
    if (given.attribute || !given.text || given.text->size() < 2 || (*given.text)[0] != '@') return;
    text = given.text->substr(1);
    name.attribute = true;
    name.text = &text;
    name.id = m.FindId(text);
  }
  TextName(const TextName&) = delete;
  TextName& operator=(const TextName&) = delete;
};

Value XmlGet(Machine& m, Object* o, const Multiname& given) {
  const TextName named(m, given);
  const Multiname& n = named.name;
  const long index = n.text && !n.attribute ? Machine::ArrayIndex(*n.text) : -1;
  // A name in the AS3 namespace alone reads the method, not children of that name.
  if (n.text && !n.attribute && n.nsCount == 1 && n.ns[0] == m.As3Ns()) {
    for (Object* p = o->proto; p; p = p->proto)
      if (Object::Property* prop = p->FindOwn(*n.text); prop && IsCallable(prop->value)) return prop->value;
  }
  if (o->kind == ObjectKind::Xml) {
    auto* x = static_cast<XmlObject*>(o);
    if (index >= 0) return index == 0 ? Value::Obj(x) : Value();
    return Value::Obj(Children(m, x, n));
  }
  auto* l = static_cast<XmlListObject*>(o);
  if (index >= 0) return static_cast<std::size_t>(index) < l->items.size() ? Value::Obj(l->items[index]) : Value();
  XmlListObject* out = NewList(m);
  out->target = l->items.size() == 1 ? l->items[0] : nullptr;
  out->targetName = n.text ? *n.text : "*";
  out->targetAttribute = n.attribute;
  for (XmlObject* x : l->items) {
    XmlListObject* part = Children(m, x, n);
    out->items.insert(out->items.end(), part->items.begin(), part->items.end());
  }
  return Value::Obj(out);
}

void XmlSet(Machine& m, Object* o, const Multiname& given, const Value& value) {
  const TextName named(m, given);
  const Multiname& n = named.name;
  const long index = n.text && !n.attribute ? Machine::ArrayIndex(*n.text) : -1;
  if (o->kind == ObjectKind::Xml) {
    auto* x = static_cast<XmlObject*>(o);
    if (index >= 0) m.ThrowTypeError(1087, "Assignment to indexed XML is not allowed.");
    if (n.attribute) SetAttribute(m, x, n, value);
    else SetElement(m, x, n, value);
    return;
  }
  auto* l = static_cast<XmlListObject*>(o);
  if (index >= 0) {
    Object* vo = value.AsObject();
    const std::size_t i = static_cast<std::size_t>(index);
    if (i >= l->items.size()) {
      std::vector<XmlObject*> nodes;
      if (IsXmlKind(vo)) {
        nodes = Items(vo);
      } else {
        XmlObject* e = NewNode(m, l->targetAttribute ? Node::Attribute : Node::Element);
        e->name = l->targetName == "*" ? "" : l->targetName;
        if (e->node == Node::Attribute) e->value = m.ToString(value);
        else ReplaceContent(m, e, value);
        nodes.push_back(e);
      }
      for (XmlObject* node : nodes) {
        if (l->target && l->target->node == Node::Element) {
          if (node->node == Node::Attribute) {
            node->parent = l->target;
            l->target->attributes.push_back(node);
          } else {
            // after the last node of the list in the target, else at its end
            std::size_t at = l->target->children.size();
            if (!l->items.empty()) {
              const auto it = std::find(l->target->children.begin(), l->target->children.end(), l->items.back());
              if (it != l->target->children.end()) at = static_cast<std::size_t>(it - l->target->children.begin()) + 1;
            }
            InsertAt(m, l->target, at, node);
          }
        }
        l->items.push_back(node);
      }
      return;
    }
    XmlObject* item = l->items[i];
    if (IsXmlKind(vo)) {
      const std::vector<XmlObject*> nodes = Items(vo);
      if (nodes.empty()) return;
      if (XmlObject* parent = item->parent) {
        const auto it = std::find(parent->children.begin(), parent->children.end(), item);
        if (it != parent->children.end()) {
          std::size_t at = static_cast<std::size_t>(it - parent->children.begin());
          parent->children.erase(it);
          for (XmlObject* node : nodes) InsertAt(m, parent, at++, node);
        }
      }
      item->parent = nullptr;
      l->items.erase(l->items.begin() + static_cast<long>(i));
      l->items.insert(l->items.begin() + static_cast<long>(i), nodes.begin(), nodes.end());
    } else if (item->node == Node::Element) {
      ReplaceContent(m, item, value);
    } else {
      item->value = m.ToString(value);
    }
    return;
  }
  if (l->items.size() == 1) {
    XmlSet(m, l->items[0], n, value);
    return;
  }
  if (l->items.empty() && l->target && !l->targetAttribute && l->targetName != "*") {
    XmlObject* e = NewNode(m, Node::Element);
    e->name = l->targetName;
    InsertAt(m, l->target, l->target->children.size(), e);
    l->items.push_back(e);
    XmlSet(m, e, n, value);
    return;
  }
  if (!l->items.empty()) m.ThrowTypeError(1089, "Assignment to lists with more than one item is not supported.");
}

bool XmlHas(Machine& m, Object* o, const Multiname& given) {
  const TextName named(m, given);
  const Multiname& n = named.name;
  const long index = n.text && !n.attribute ? Machine::ArrayIndex(*n.text) : -1;
  if (index >= 0) return static_cast<std::size_t>(index) < Items(o).size();
  for (XmlObject* x : Items(o)) {
    for (XmlObject* c : n.attribute ? x->attributes : x->children)
      if (Matches(m, c, n)) return true;
  }
  return false;
}

bool XmlDelete(Machine& m, Object* o, const Multiname& given) {
  const TextName named(m, given);
  const Multiname& n = named.name;
  const long index = n.text && !n.attribute ? Machine::ArrayIndex(*n.text) : -1;
  if (o->kind == ObjectKind::XmlList && index >= 0) {
    auto* l = static_cast<XmlListObject*>(o);
    if (static_cast<std::size_t>(index) >= l->items.size()) return true;
    XmlObject* item = l->items[index];
    if (XmlObject* parent = item->parent) {
      auto& from = item->node == Node::Attribute ? parent->attributes : parent->children;
      from.erase(std::remove(from.begin(), from.end(), item), from.end());
      item->parent = nullptr;
    }
    l->items.erase(l->items.begin() + index);
    return true;
  }
  if (index >= 0) return true;
  for (XmlObject* x : Items(o)) {
    auto& from = n.attribute ? x->attributes : x->children;
    for (auto it = from.begin(); it != from.end();) {
      if (Matches(m, *it, n)) {
        (*it)->parent = nullptr;
        it = from.erase(it);
      } else {
        ++it;
      }
    }
  }
  return true;
}

Value XmlCall(Machine& m, Object* o, const Multiname& n, const Value* args, int argc) {
  const bool list = o->kind == ObjectKind::XmlList;
  if (n.text) {
    // methods added to the prototype by scripts come first, as the player looks there too
    for (Object* p = o->proto; p; p = p->proto) {
      if (Object::Property* prop = p->FindOwn(*n.text); prop && IsCallable(prop->value))
        return m.Call(prop->value, Value::Obj(o), args, argc);
    }
    if (const MethodEntry* e = FindMethod(*n.text, list)) return e->fn(m, Value::Obj(o), args, argc);
    if (list && FindMethod(*n.text, false)) {
      // A list answers XML's own methods for its one item only.
      auto* l = static_cast<XmlListObject*>(o);
      if (l->items.size() == 1) return XmlCall(m, l->items[0], n, args, argc);
      m.ThrowTypeError(1086, "The " + *n.text + " method only works on lists containing one item.");
    }
    // simple content answers String's methods
    bool simple = list ? ListSimple(static_cast<XmlListObject*>(o)) : SimpleContent(static_cast<XmlObject*>(o));
    if (simple) {
      const Value text = m.StrValue(XmlToString(m, o));
      const Value f = m.GetProperty(text, n);
      if (IsCallable(f)) return m.Call(f, text, args, argc);
    }
  }
  m.ThrowTypeError(1006, (n.text ? *n.text : std::string("value")) + " is not a function.");
}

Value XmlDescendants(Machine& m, const Value& object, const Multiname& n) {
  Object* o = object.AsObject();
  if (!IsXmlKind(o))
    m.ThrowTypeError(1016, "Descendants operator (..) not supported on type " + m.QualifiedClassName(object) + ".");
  XmlListObject* out = NewList(m);
  for (XmlObject* x : Items(o)) Descendants(m, x, n, out->items);
  return Value::Obj(out);
}

bool XmlEquals(Machine& m, const Value& a, const Value& b) {
  const Machine::WalkDepth walk(m);
  Object* ao = a.AsObject();
  Object* bo = b.AsObject();
  if (ao && ao->kind == ObjectKind::XmlList) {
    auto* l = static_cast<XmlListObject*>(ao);
    if (bo && bo->kind == ObjectKind::XmlList) {
      auto* r = static_cast<XmlListObject*>(bo);
      if (l->items.size() != r->items.size()) return false;
      for (std::size_t i = 0; i < l->items.size(); ++i)
        if (!XmlEquals(m, Value::Obj(l->items[i]), Value::Obj(r->items[i]))) return false;
      return true;
    }
    if (l->items.empty()) return b.IsUndefined();
    if (l->items.size() == 1) return XmlEquals(m, Value::Obj(l->items[0]), b);
    return false;
  }
  if (bo && bo->kind == ObjectKind::XmlList) return XmlEquals(m, b, a);
  if (ao && ao->kind == ObjectKind::Xml && bo && bo->kind == ObjectKind::Xml) {
    auto* x = static_cast<XmlObject*>(ao);
    auto* y = static_cast<XmlObject*>(bo);
    if (x == y) return true;
    if (x->node != Node::Element && y->node != Node::Element && x->node != Node::Comment && y->node != Node::Comment &&
        x->node != Node::Instruction && y->node != Node::Instruction)
      return x->value == y->value;
    if ((SimpleContent(x) && SimpleContent(y)) && (x->node != Node::Element || y->node != Node::Element))
      return NodeString(m, x) == NodeString(m, y);
    if (x->node != y->node || x->name != y->name || x->uri != y->uri || x->value != y->value) return false;
    if (x->attributes.size() != y->attributes.size() || x->children.size() != y->children.size()) return false;
    for (const XmlObject* attr : x->attributes) {
      bool found = false;
      for (const XmlObject* other : y->attributes)
        if (other->name == attr->name && other->uri == attr->uri && other->value == attr->value) found = true;
      if (!found) return false;
    }
    for (std::size_t i = 0; i < x->children.size(); ++i)
      if (!XmlEquals(m, Value::Obj(x->children[i]), Value::Obj(y->children[i]))) return false;
    return true;
  }
  const Value& xv = ao && ao->kind == ObjectKind::Xml ? a : b;
  const Value& other = ao && ao->kind == ObjectKind::Xml ? b : a;
  auto* x = static_cast<XmlObject*>(xv.object);
  if (other.IsNullish()) return false;
  if (!SimpleContent(x)) return false;
  const std::string text = NodeString(m, x);
  if (other.IsObject()) return text == m.ToString(other);
  if (other.IsString()) return text == other.string->Text();
  // A Boolean compares as its text: <a>true</a> == true.
  if (other.IsBoolean()) return text == (other.boolean ? "true" : "false");
  return m.ToNumber(m.StrValue(text)) == m.ToNumber(other);
}

Value XmlConcat(Machine& m, const Value& a, const Value& b) {
  XmlListObject* l = NewList(m);
  for (const Value* v : {&a, &b})
    for (XmlObject* x : Items(v->object)) l->items.push_back(x);
  return Value::Obj(l);
}

bool IsXmlNameText(const std::string& text) { return IsNcName(text); }

std::size_t XmlItemCount(Object* o) { return Items(o).size(); }
Value XmlItem(Object* o, std::size_t index) {
  const auto items = Items(o);
  return index < items.size() ? Value::Obj(items[index]) : Value();
}

// isXMLName(value).
Value IsXmlName(Machine& m, const Value&, const Value* args, int argc) {
  if (argc == 0 || args[0].IsNullish()) return Value::Bool(false);
  return Value::Bool(IsNcName(m.ToString(args[0])));
}

void InstallXml(Machine& m) {
  m.DefineGlobal("", "isXMLName", Value::Obj(m.NewNativeFunction("isXMLName", IsXmlName)));
  ClassObject* xml = m.DefineClass("", "XML", m.objectClass, XmlConstruct, true);
  m.xmlClass = xml;
  xml->allocate = AllocateXml;
  xml->callHandler = m.NativeMethod("XML", XmlCallAsFunction);
  ClassObject* list = m.DefineClass("", "XMLList", m.objectClass, ListConstruct, true);
  m.xmlListClass = list;
  list->allocate = AllocateList;
  list->callHandler = m.NativeMethod("XMLList", ListCallAsFunction);
  for (const MethodEntry& e : kMethods) {
    if (e.xml) m.AddMethod(xml->prototype, e.name, e.fn);
    if (e.list) m.AddMethod(list->prototype, e.name, e.fn);
  }
  static const Member kXmlMembers[] = {
      {"ignoreComments", SettingGetter<kIgnoreComments>, SettingSetter<kIgnoreComments>, kAccessor | kStatic, 0},
      {"ignoreProcessingInstructions", SettingGetter<kIgnorePi>, SettingSetter<kIgnorePi>, kAccessor | kStatic, 0},
      {"ignoreWhitespace", SettingGetter<kIgnoreWhite>, SettingSetter<kIgnoreWhite>, kAccessor | kStatic, 0},
      {"prettyPrinting", SettingGetter<kPretty>, SettingSetter<kPretty>, kAccessor | kStatic, 0},
      {"prettyIndent", SettingGetter<kIndent>, SettingSetter<kIndent>, kAccessor | kStatic, 0},
      {"settings", Settings, nullptr, kStatic, 0},
      {"defaultSettings", DefaultSettings, nullptr, kStatic, 0},
      {"setSettings", SetSettings, nullptr, kStatic, 0},
  };
  Install(m, xml, kXmlMembers);
  static const Constant kXmlConstants[] = {
      {"length", 1},
  };
  Install(m, xml, kXmlConstants);
  static const Constant kListConstants[] = {
      {"length", 1},
  };
  Install(m, list, kListConstants);
}

}  // namespace vantrel::flash::avm2
