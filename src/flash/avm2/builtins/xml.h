// XML and XMLList objects (E4X): a tree of nodes, each node a script object of its own
// so that scripts can hold any of them, and lists of nodes that remember where they came
// from (assigning to an empty list adds to its target).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {

// Whether a text is a name XML allows (a letter or "_", then letters, digits, ".", "-", "_").
bool IsXmlNameText(const std::string& text);
// Text as XML writes it between tags (&, <, > escaped) and in an attribute's quotes
// (&, <, " and the tab and line breaks escaped; > is not).
std::string EscapeText(const std::string& text);
std::string EscapeAttribute(const std::string& text);

class XmlObject : public Object {
 public:
  enum class Node : std::uint8_t { Element, Text, Comment, Instruction, Attribute };
  XmlObject(Traits* traits, Object* proto) : Object(ObjectKind::Xml, traits, proto) {}
  Node node = Node::Element;
  bool cdata = false;
  std::string uri;     // the name's namespace ("" for none)
  std::string prefix;  // the prefix the name was written with
  std::string name;    // local name of elements, attributes and instructions
  std::string value;   // text, comment, attribute value, instruction body
  XmlObject* parent = nullptr;
  std::vector<XmlObject*> children;
  std::vector<XmlObject*> attributes;
  std::vector<std::pair<std::string, std::string>> namespaces;  // declared here: prefix, uri
  void Trace(gc::Tracer& tracer) const override;
  std::size_t ExtraBytes() const override {
    return Object::ExtraBytes() + value.capacity() + name.capacity() + (children.capacity() + attributes.capacity()) * 8;
  }
};

class XmlListObject : public Object {
 public:
  XmlListObject(Traits* traits, Object* proto) : Object(ObjectKind::XmlList, traits, proto) {}
  std::vector<XmlObject*> items;
  XmlObject* target = nullptr;  // the node the list was read from
  std::string targetName;       // and the name it was read by
  bool targetAttribute = false;
  void Trace(gc::Tracer& tracer) const override;
  std::size_t ExtraBytes() const override { return Object::ExtraBytes() + items.capacity() * 8; }
};

// Parses text as the XML constructor does (one root element, or text); throws the
// player's TypeError for malformed markup.
XmlObject* ParseXml(Machine& machine, const std::string& text);
// Prints a node as toXMLString does with the current settings.
std::string XmlToXmlString(Machine& machine, const XmlObject* node);

}  // namespace vantrel::flash::avm2
