// XML and XMLList through the machine's property access, as compiled E4X code reaches
// them (getproperty/setproperty/getdescendants by multiname), and Proxy's defaults.
#include <cmath>

#include <gtest/gtest.h>

#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {
namespace {

class Xml : public ::testing::Test {
 protected:
  gc::Heap heap;
  Machine m{heap};

  Value Parse(const std::string& text) {
    Value arg = m.StrValue(text);
    return Value::Obj(m.ConstructClass(m.xmlClass, &arg, 1));
  }
  std::string Str(const Value& v) { return m.ToString(v); }
  std::string XmlString(const Value& v) { return Str(m.CallPublic(v, "toXMLString")); }
  Multiname Attribute(const std::string& name) {
    Multiname n = m.PublicName(name);
    n.attribute = true;
    return n;
  }
  std::string ErrorOf(const std::function<void()>& fn) {
    try {
      fn();
    } catch (const Thrown& thrown) {
      return m.ToString(thrown.value);
    }
    return "";
  }
};

TEST_F(Xml, PrintsWithThePrettyPrintingSettingsAndEscapes) {
  const Value x = Parse("<root a=\"1&amp;2\">\n  <item>A &lt; B</item>\n  <!-- gone -->\n  <e/>\n</root>");
  EXPECT_EQ(XmlString(x), "<root a=\"1&amp;2\">\n  <item>A &lt; B</item>\n  <e/>\n</root>");
  m.xmlSettings.prettyPrinting = false;
  EXPECT_EQ(XmlString(x), "<root a=\"1&amp;2\"><item>A &lt; B</item><e/></root>");
  m.xmlSettings.prettyPrinting = true;

  // An attribute value keeps quotes and line breaks escaped, '>' as it is.
  m.SetProperty(m.GetPublic(x, "item"), Attribute("t"), m.StrValue("<\"x\">\n"));
  EXPECT_EQ(XmlString(m.GetPublic(x, "item")), "<item t=\"&lt;&quot;x&quot;>&#xA;\">A &lt; B</item>");

  m.xmlSettings.ignoreComments = false;
  m.xmlSettings.prettyIndent = 1;
  EXPECT_EQ(XmlString(Parse("<a><!-- c --><b>t</b></a>")), "<a>\n <!-- c -->\n <b>t</b>\n</a>");
}

TEST_F(Xml, SimpleContentPrintsAsTextAndComparesWithStrings) {
  const Value x = Parse("<a><b>5</b><c>x</c><c>y</c></a>");
  const Value b = m.GetPublic(x, "b");
  EXPECT_EQ(Str(b), "5");
  EXPECT_TRUE(m.LooseEquals(b, Value::Number(5)));
  EXPECT_TRUE(m.LooseEquals(b, m.StrValue("5")));
  EXPECT_EQ(Str(m.GetPublic(x, "c")), "<c>x</c>\n<c>y</c>") << "a list with elements prints them";
  EXPECT_TRUE(m.LooseEquals(x, Parse("<a><b>5</b><c>x</c><c>y</c></a>")));
  EXPECT_FALSE(m.LooseEquals(x, Parse("<a><b>5</b><c>x</c><c>z</c></a>")));
  EXPECT_EQ(m.TypeOf(x), "xml");
  EXPECT_EQ(m.ToNumber(m.CallPublic(m.Add(b, m.GetPublic(x, "c")), "length")), 3) << "XML + XML is a list";
}

TEST_F(Xml, AssignmentReplacesContentAddsElementsAndAttributes) {
  m.xmlSettings.prettyPrinting = false;
  const Value x = Parse("<a><b>1</b><b>2</b></a>");
  const Value shared = m.GetPublic(x, "b");
  m.SetPublic(x, "b", m.StrValue("3"));
  EXPECT_EQ(XmlString(x), "<a><b>3</b></a>") << "all but the first match go, the first takes the text";
  EXPECT_EQ(Str(m.GetPublic(shared, "0")), "3") << "the node itself changed";
  m.SetPublic(x, "c", m.StrValue("new"));
  m.SetProperty(x, Attribute("id"), Value::Number(7));
  EXPECT_EQ(XmlString(x), "<a id=\"7\"><b>3</b><c>new</c></a>");
  EXPECT_EQ(Str(m.GetProperty(x, Attribute("id"))), "7");

  // Appending to a list read from a node adds to that node after the list's last item.
  const Value bs = m.GetPublic(x, "b");
  m.SetPublic(bs, "1", Parse("<b>4</b>"));
  EXPECT_EQ(XmlString(x), "<a id=\"7\"><b>3</b><b>4</b><c>new</c></a>");
  EXPECT_TRUE(m.DeleteProperty(x, m.PublicName("b")));
  EXPECT_EQ(XmlString(x), "<a id=\"7\"><c>new</c></a>");
  EXPECT_EQ(Str(m.CallPublic(x, "appendChild", {m.StrValue("more")})), "<a id=\"7\"><c>new</c><c>more</c></a>")
      << "text after an element becomes another element of its name";
}

TEST_F(Xml, DescendantsChildIndexParentAndCopy) {
  m.xmlSettings.prettyPrinting = false;
  const Value x = Parse("<r><a k=\"1\"><b>x</b></a><b k=\"2\">y</b></r>");
  Multiname anyB = m.PublicName("b");
  const Value all = XmlDescendants(m, x, anyB);
  EXPECT_EQ(Str(m.CallPublic(all, "length")), "2");
  EXPECT_EQ(Str(XmlDescendants(m, x, Attribute("k"))), "12");
  const Value inner = m.GetPublic(m.GetPublic(m.GetPublic(x, "a"), "b"), "0");
  EXPECT_EQ(Str(m.CallPublic(inner, "childIndex")), "0");
  EXPECT_EQ(XmlString(m.CallPublic(inner, "parent")), "<a k=\"1\"><b>x</b></a>");
  const Value copy = m.CallPublic(m.GetPublic(x, "a"), "copy");
  EXPECT_TRUE(m.CallPublic(copy, "parent").IsUndefined());
  EXPECT_FALSE(m.StrictEquals(m.GetPublic(copy, "0"), m.GetPublic(m.GetPublic(x, "a"), "0")));
  EXPECT_TRUE(m.CallPublic(x, "parent").IsUndefined());
  EXPECT_EQ(Str(m.CallPublic(m.CallPublic(x, "children"), "length")), "2");
}

// * names text nodes too when its namespaces hold the unnamed one (or it has none, as the
// text "*" does); *::*, any namespace, names elements alone.
TEST_F(Xml, AnyNameInAnyNamespaceLeavesTextOut) {
  m.xmlSettings.ignoreWhitespace = false;
  const Value x = Parse("<a> <b> x <c>y</c></b></a>");
  Multiname star = m.PublicName("*");
  star.text = nullptr;
  EXPECT_EQ(Str(m.CallPublic(XmlDescendants(m, x, star), "length")), "5");  // b, c and three texts
  const NsId any[2] = {m.PublicNs(), m.InternNs(kNsNamespace, "*")};
  star.ns = any;
  star.nsCount = 2;
  EXPECT_EQ(Str(m.CallPublic(XmlDescendants(m, x, star), "length")), "2");
  EXPECT_EQ(Str(m.CallPublic(m.CallPublic(x, "descendants", {m.StrValue("*")}), "length")), "5");
}

// XML.contains takes XML only; XMLList.contains compares its items with ==.
TEST_F(Xml, ContainsOfXmlComparesWithXmlOnly) {
  const Value x = Parse("<item>A</item>");
  EXPECT_FALSE(m.ToBoolean(m.CallPublic(x, "contains", {m.StrValue("A")})));
  EXPECT_TRUE(m.ToBoolean(m.CallPublic(x, "contains", {Parse("<item>A</item>")})));
  const Value list = Value::Obj(m.ConstructClass(m.FindClass("XMLList"), nullptr, 0));
  m.SetPublic(list, "0", x);
  EXPECT_TRUE(m.ToBoolean(m.CallPublic(list, "contains", {m.StrValue("A")})));
  EXPECT_FALSE(m.ToBoolean(m.CallPublic(x, "contains", {list})));
}

// XML.prototype is an empty text node to XML's methods; AS3::name on XML is the method.
TEST_F(Xml, ThePrototypeIsEmptyTextAndAs3NamesReadMethods) {
  const Value proto = m.GetPublic(Value::Obj(m.xmlClass), "prototype");
  EXPECT_EQ(Str(m.CallPublic(proto, "toString")), "");
  EXPECT_EQ(Str(m.CallPublic(proto, "nodeKind")), "text");
  const Value x = Parse("<a><name>child</name></a>");
  Multiname as3Name = m.PublicName("name");
  const NsId as3 = m.As3Ns();
  as3Name.ns = &as3;
  as3Name.nsCount = 1;
  const Value method = XmlGet(m, x.object, as3Name);
  ASSERT_TRUE(method.IsObject());
  EXPECT_EQ(method.object->kind, ObjectKind::Function);
  EXPECT_EQ(Str(m.GetPublic(x, "name")), "child");
}

TEST_F(Xml, NamespacesArePrintedWhereTheyAreDeclaredOrNeeded) {
  m.xmlSettings.prettyPrinting = false;
  const Value x = Parse("<p:a xmlns:p=\"urn:p\"><p:b>t</p:b><c/></p:a>");
  EXPECT_EQ(XmlString(x), "<p:a xmlns:p=\"urn:p\"><p:b>t</p:b><c/></p:a>");
  Multiname plain = m.PublicName("b");
  EXPECT_EQ(Str(m.CallPublic(m.GetProperty(x, plain), "length")), "0") << "b is in urn:p";
  const NsId p = m.InternNs(kNsNamespace, "urn:p");
  Multiname qualified = plain;
  qualified.ns = &p;
  qualified.nsCount = 1;
  const Value b = m.GetProperty(x, qualified);
  EXPECT_EQ(XmlString(b), "<p:b xmlns:p=\"urn:p\">t</p:b>") << "a child printed alone declares its namespace";
  EXPECT_EQ(Str(m.CallPublic(b, "name")), "urn:p::b");
}

TEST_F(Xml, MalformedMarkupThrowsTheParserErrors) {
  EXPECT_EQ(ErrorOf([&] { Parse("<a><b></a>"); }),
            "TypeError: Error #1085: The element type \"b\" must be terminated by the matching end-tag \"</b>\".");
  EXPECT_EQ(ErrorOf([&] { Parse("<a x=1/>"); }), "TypeError: Error #1090: XML parser failure: element is malformed.");
  EXPECT_EQ(ErrorOf([&] { Parse("<a/><b/>"); }),
            "TypeError: Error #1088: The markup in the document following the root element must be well-formed.");
  EXPECT_EQ(Str(m.CallPublic(Parse("plain text"), "nodeKind")), "text");
  // Without an element the text must be a single node; beside one, other nodes drop out.
  m.xmlSettings.ignoreProcessingInstructions = false;
  EXPECT_NE(ErrorOf([&] { Parse("<![CDATA[abcd]]>text"); }).find("#1088"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { Parse("<?pi PI?><?pi2 PI?>"); }).find("#1088"), std::string::npos);
  EXPECT_EQ(XmlString(Parse("<?pi PI?><e/><![CDATA[x]]>")), "<e/>");
  // An end tag is its name and whatever comes before its '>'.
  EXPECT_EQ(XmlString(Parse("<a></a hello=\"world\">")), "<a/>");
  EXPECT_EQ(XmlString(Parse("<a></a/>")), "<a/>");
  EXPECT_NE(ErrorOf([&] { Parse("<a></abc>"); }).find("#1085"), std::string::npos);
}

// The unnamed namespace is in scope only where nothing is declared on the way up;
// addNamespace replaces the URI of a prefix the element declares and ignores a namespace
// without a prefix.
TEST_F(Xml, InScopeNamespacesAndAddNamespace) {
  const Value plain = Parse("<a><b/></a>");
  EXPECT_EQ(Str(m.GetPublic(m.CallPublic(plain, "inScopeNamespaces"), "length")), "1");
  const Value x = Parse("<a xmlns:p=\"urn:old\"><b/></a>");
  const auto namespaceOf = [&](std::vector<Value> args) {
    return Value::Obj(m.ConstructClass(m.FindClass("Namespace"), args.data(), static_cast<int>(args.size())));
  };
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(x, "addNamespace", {namespaceOf({m.StrValue("p"), m.StrValue("urn:new")})}); }), "");
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(x, "addNamespace", {namespaceOf({Value(), m.StrValue("urn:none")})}); }), "");
  const Value scope = m.CallPublic(m.GetPublic(m.GetPublic(x, "b"), "0"), "inScopeNamespaces");
  ASSERT_EQ(Str(m.GetPublic(scope, "length")), "1");
  EXPECT_EQ(Str(m.GetPublic(m.GetPublic(scope, "0"), "uri")), "urn:new");
}

TEST_F(Xml, ChildrenAreInsertedReplacedAndRenamedInPlace) {
  m.xmlSettings.prettyPrinting = false;
  const Value x = Parse("<a><b/><c/></a>");
  m.CallPublic(x, "prependChild", {Parse("<first/>")});
  m.CallPublic(x, "insertChildAfter", {m.GetPublic(m.GetPublic(x, "b"), "0"), Parse("<afterB/>")});
  m.CallPublic(x, "insertChildBefore", {m.GetPublic(m.GetPublic(x, "c"), "0"), Parse("<beforeC/>")});
  EXPECT_EQ(XmlString(x), "<a><first/><b/><afterB/><beforeC/><c/></a>");
  // A null anchor means the start for "after" and the end for "before".
  m.CallPublic(x, "insertChildAfter", {Value::Null(), Parse("<start/>")});
  m.CallPublic(x, "insertChildBefore", {Value::Null(), Parse("<end/>")});
  EXPECT_EQ(XmlString(x), "<a><start/><first/><b/><afterB/><beforeC/><c/><end/></a>");
  // An anchor that is not a child changes nothing and answers undefined.
  EXPECT_TRUE(m.CallPublic(x, "insertChildAfter", {Parse("<stranger/>"), Parse("<lost/>")}).IsUndefined());
  EXPECT_EQ(Str(m.CallPublic(m.CallPublic(x, "children"), "length")), "7");

  // replace by index and by name: every match goes, the first one's place takes the value.
  const Value y = Parse("<r><i>1</i><j/><i>2</i></r>");
  m.CallPublic(y, "replace", {Value::Number(1), Parse("<k/>")});
  EXPECT_EQ(XmlString(y), "<r><i>1</i><k/><i>2</i></r>");
  m.CallPublic(y, "replace", {m.StrValue("i"), Parse("<n/>")});
  EXPECT_EQ(XmlString(y), "<r><n/><k/></r>");
  // A number that names no place (NaN, past the uint range) matches no child, as a name would.
  m.CallPublic(y, "replace", {Value::Number(NAN), Parse("<lost/>")});
  m.CallPublic(y, "replace", {Value::Number(1e300), Parse("<lost/>")});
  EXPECT_EQ(XmlString(y), "<r><n/><k/></r>");
  m.CallPublic(y, "setChildren", {m.StrValue("only text")});
  EXPECT_EQ(XmlString(y), "<r>only text</r>");
  EXPECT_TRUE(m.ToBoolean(m.CallPublic(y, "hasSimpleContent")));

  m.CallPublic(y, "appendChild", {Parse("<moved/>")});
  EXPECT_EQ(XmlString(y), "<r>only text<moved/></r>");
  m.CallPublic(y, "setName", {m.StrValue("renamed")});
  m.CallPublic(m.GetPublic(m.GetPublic(y, "moved"), "0"), "setLocalName", {m.StrValue("m2")});
  EXPECT_EQ(XmlString(y), "<renamed>only text<m2/></renamed>");
  EXPECT_EQ(Str(m.CallPublic(y, "localName")), "renamed");
}

TEST_F(Xml, KindsFiltersAndContentTests) {
  m.xmlSettings.prettyPrinting = false;
  m.xmlSettings.ignoreComments = false;
  m.xmlSettings.ignoreProcessingInstructions = false;
  const Value x = Parse("<a x=\"1\" y=\"2\">t1<!--c--><?pi body?><b>in</b>t2<![CDATA[<raw>]]></a>");
  auto length = [&](const Value& list) { return Str(m.CallPublic(list, "length")); };
  EXPECT_EQ(length(m.CallPublic(x, "children")), "6");
  EXPECT_EQ(length(m.CallPublic(x, "elements")), "1");
  EXPECT_EQ(length(m.CallPublic(x, "comments")), "1");
  EXPECT_EQ(length(m.CallPublic(x, "processingInstructions")), "1");
  EXPECT_EQ(Str(m.CallPublic(x, "text")), "t1t2<raw>");
  EXPECT_EQ(Str(m.CallPublic(x, "attributes")), "12");
  EXPECT_EQ(Str(m.CallPublic(x, "attribute", {m.StrValue("y")})), "2");
  EXPECT_EQ(length(m.CallPublic(x, "attribute", {m.StrValue("none")})), "0");
  std::vector<std::string> kinds;
  const Value children = m.CallPublic(x, "children");
  for (int i = 0; i < 6; ++i) kinds.push_back(Str(m.CallPublic(m.GetPublic(children, std::to_string(i)), "nodeKind")));
  EXPECT_EQ(kinds, (std::vector<std::string>{"text", "comment", "processing-instruction", "element", "text", "text"}));
  EXPECT_EQ(XmlString(m.GetPublic(children, "5")), "<![CDATA[<raw>]]>") << "CDATA prints as it came";
  EXPECT_EQ(Str(m.CallPublic(m.GetPublic(children, "2"), "name")), "pi");
  EXPECT_EQ(Str(m.CallPublic(m.GetPublic(x, "b"), "nodeKind")), "element");
  // Mixed content is complex; an element holding only text is simple, and so is an empty one.
  EXPECT_TRUE(m.ToBoolean(m.CallPublic(x, "hasComplexContent")));
  EXPECT_FALSE(m.ToBoolean(m.CallPublic(x, "hasSimpleContent")));
  EXPECT_TRUE(m.ToBoolean(m.CallPublic(m.GetPublic(x, "b"), "hasSimpleContent")));
  EXPECT_TRUE(m.ToBoolean(m.CallPublic(Parse("<e/>"), "hasSimpleContent")));
  // contains compares by value.
  EXPECT_TRUE(m.ToBoolean(m.CallPublic(m.GetPublic(x, "b"), "contains", {Parse("<b>in</b>")})));
  EXPECT_FALSE(m.ToBoolean(m.CallPublic(m.GetPublic(x, "b"), "contains", {Parse("<b>out</b>")})));

  // Comments and instructions are dropped when the settings say so (the default).
  m.xmlSettings.ignoreComments = true;
  m.xmlSettings.ignoreProcessingInstructions = true;
  EXPECT_EQ(XmlString(Parse("<a><!--c--><?pi x?><b/></a>")), "<a><b/></a>");
  // Whitespace-only text between elements goes; text with words keeps its inner spaces.
  EXPECT_EQ(XmlString(Parse("<a>\n  <b> two  words </b>\n</a>")), "<a><b>two  words</b></a>");
  m.xmlSettings.ignoreWhitespace = false;
  EXPECT_EQ(length(m.CallPublic(Parse("<a> <b/> </a>"), "children")), "3");
}

TEST_F(Xml, NormalizeJoinsTextAndDropsEmptyText) {
  m.xmlSettings.prettyPrinting = false;
  const Value x = Parse("<a><b/></a>");
  m.CallPublic(x, "prependChild", {Parse("one")});
  m.CallPublic(x, "prependChild", {Parse("zero")});
  m.CallPublic(x, "appendChild", {Parse("<c>x</c>")});
  EXPECT_EQ(Str(m.CallPublic(m.CallPublic(x, "children"), "length")), "4");
  m.CallPublic(x, "normalize");
  const Value children = m.CallPublic(x, "children");
  EXPECT_EQ(Str(m.CallPublic(children, "length")), "3");
  EXPECT_EQ(Str(m.GetPublic(children, "0")), "zeroone");
  EXPECT_EQ(XmlString(x), "<a>zeroone<b/><c>x</c></a>");
}

// A negative indent turns pretty printing off (it used to grow the text by 2^64 - 5
// characters and end the process).
TEST_F(Xml, ANegativeIndentPrintsWithoutPrettyPrinting) {
  const Value x = Parse("<a><b>1</b><c>2</c></a>");
  m.xmlSettings.prettyIndent = -1;
  EXPECT_EQ(XmlString(x), "<a><b>1</b><c>2</c></a>");
  m.xmlSettings.prettyIndent = 0;
  EXPECT_EQ(XmlString(x), "<a>\n<b>1</b>\n<c>2</c>\n</a>");
}

// An element put inside itself or one of its descendants would make a loop, which every
// walk of the tree (printing, copying, comparing) followed for ever: #1118 refuses it,
// whichever method adds the node, also when the node sits in two elements.
TEST_F(Xml, ANodeCannotBecomeItsOwnAncestor) {
  const Value a = Parse("<a><b><c/></b></a>");
  const Value c = m.GetPublic(m.GetPublic(a, "b"), "c");
  const std::string loop = "TypeError: Error #1118: Illegal cyclical loop between nodes.";
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(c, "insertChildAfter", {Value::Null(), a}); }), loop);
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(c, "insertChildBefore", {Value::Null(), a}); }), loop);
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(c, "appendChild", {a}); }), loop);
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(c, "prependChild", {a}); }), loop);
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(a, "appendChild", {a}); }), loop);
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(c, "setChildren", {a}); }), loop);
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(c, "replace", {Value::Number(0), a}); }), loop);
  EXPECT_EQ(XmlString(a), "<a>\n  <b>\n    <c/>\n  </b>\n</a>");
  // b also sits in d now; putting a under b is still a loop, seen from below.
  const Value d = Parse("<d/>");
  const Value b = m.GetPublic(a, "b");
  m.CallPublic(d, "appendChild", {b});
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(m.GetPublic(d, "b"), "appendChild", {a}); }), loop);
  // A sibling or a copy is no loop.
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(c, "appendChild", {m.CallPublic(a, "copy")}); }), "");
}

// Trees deeper than a native walk may go (made by a loop of appendChild, or parsed)
// give the script #1023, as the reference's stack check does, instead of a crash.
TEST_F(Xml, WalksOfVeryDeepTreesEndInAStackOverflowError) {
  Value chain = Parse("<n/>");
  for (int i = 0; i < 1500; ++i) {
    const Value outer = Parse("<n/>");
    m.CallPublic(outer, "appendChild", {chain});
    chain = outer;
  }
  const std::string overflow = "Error: Error #1023: Stack overflow occurred.";
  EXPECT_EQ(ErrorOf([&] { XmlString(chain); }).substr(0, overflow.size()), overflow);
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(chain, "copy"); }).substr(0, overflow.size()), overflow);
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<n>";
  for (int i = 0; i < 5000; ++i) deep += "</n>";
  EXPECT_EQ(ErrorOf([&] { Parse(deep); }).substr(0, overflow.size()), overflow);
  // The machine is usable afterwards, and shallow trees print.
  EXPECT_EQ(XmlString(Parse("<a><b/></a>")), "<a>\n  <b/>\n</a>");
}

TEST_F(Xml, ProxyWithoutOverridesRefusesEveryAccess) {
  const Value p = Value::Obj(m.ConstructClass(m.FindClass("flash.utils.Proxy"), nullptr, 0));
  EXPECT_EQ(ErrorOf([&] { m.GetPublic(p, "x"); }),
            "Error: Error #2088: The Proxy class does not implement getProperty. It must be overridden by a subclass.");
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(p, "f"); }),
            "Error: Error #2090: The Proxy class does not implement callProperty. It must be overridden by a subclass.");
  EXPECT_EQ(ErrorOf([&] { m.NextIndex(p.object, 0); }),
            "Error: Error #2105: The Proxy class does not implement nextNameIndex. It must be overridden by a subclass.");
  // Converting one to a primitive calls its toString through callProperty.
  EXPECT_EQ(ErrorOf([&] { m.ToString(p); }),
            "Error: Error #2090: The Proxy class does not implement callProperty. It must be overridden by a subclass.");
}

TEST_F(Xml, ListsParseTextBeforeElementsAndAttributeWildcardsKeepTheirNamespace) {
  Value text = m.StrValue("one<charlie>two</charlie>");
  const Value list = Value::Obj(m.ConstructClass(m.xmlListClass, &text, 1));
  EXPECT_EQ(Str(m.CallPublic(list, "length")), "2");
  EXPECT_EQ(Str(list), "one\n<charlie>two</charlie>");

  const Value x = Parse("<a p=\"1\" ns:p=\"2\" ns:q=\"3\" xmlns:ns=\"http://u/\"/>");
  Multiname all = Attribute("*");
  all.text = nullptr;
  EXPECT_EQ(Str(m.CallPublic(m.GetProperty(x, all), "length")), "3") << "@* is every attribute";
  const NsId u = m.InternNs(kNsNamespace, "http://u/");
  Multiname inU;
  inU.attribute = true;
  inU.ns = &u;
  inU.nsCount = 1;
  EXPECT_EQ(Str(m.CallPublic(m.GetProperty(x, inU), "length")), "2") << "ns::* only those of ns";
  EXPECT_EQ(Str(m.GetProperty(x, Attribute("p"))), "1") << "an unqualified name is of no namespace";
}

TEST_F(Xml, QNamesTakeTheNamespaceOfAQNameAndComeBackWhenCalledWithOne) {
  const auto make = [&](std::vector<Value> args) {
    return Value::Obj(m.ConstructClass(m.qnameClass, args.data(), static_cast<int>(args.size())));
  };
  const Value uri = m.StrValue("http://u/");
  const Value q = make({uri, m.StrValue("a")});
  EXPECT_EQ(Str(make({q, m.StrValue("b")})), "http://u/::b");
  EXPECT_EQ(Str(make({make({m.StrValue("a")}), m.StrValue("b")})), "b");
  EXPECT_TRUE(m.GetPublic(make({m.StrValue("*")}), "uri").IsNull()) << "* is any namespace";
  EXPECT_EQ(Str(make({Value(), q})), "http://u/::a") << "a QName name keeps its own namespace";
  Value one = q;
  EXPECT_EQ(m.Call(Value::Obj(m.qnameClass), Value(), &one, 1).object, q.object);
  Value text = m.StrValue("c");
  EXPECT_EQ(Str(m.Call(Value::Obj(m.qnameClass), Value(), &text, 1)), "c");
}

TEST_F(Xml, BadNamesTrailingMarkupAndOneItemMethodsGiveTheirErrors) {
  EXPECT_EQ(ErrorOf([&] { Parse("<:x>hi</x>"); }).substr(0, 22), "TypeError: Error #1084");
  EXPECT_EQ(ErrorOf([&] { Parse("<x :ns='a'>hi</x>"); }).substr(0, 22), "TypeError: Error #1084");
  EXPECT_EQ(ErrorOf([&] { Parse("<root><a>c</a></root></root>"); }),
            "TypeError: Error #1088: The markup in the document following the root element must be well-formed.");
  const Value x = Parse("<a><b/><b/></a>");
  const Value two = m.GetPublic(x, "b");
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(two, "namespace"); }),
            "TypeError: Error #1086: The namespace method only works on lists containing one item.");
  const Value one = m.GetPublic(Parse("<a><c/></a>"), "c");
  EXPECT_EQ(Str(m.CallPublic(one, "name")), "c") << "a list of one answers for its item";
}

TEST_F(Xml, IsXmlNameAcceptsNamesWithoutColons) {
  Multiname n = m.PublicName("isXMLName");
  const Value f = m.GetProperty(Value::Obj(m.globalObject), n);
  const auto check = [&](const Value& v) {
    Value arg = v;
    return m.ToBoolean(m.Call(f, Value(), &arg, 1));
  };
  EXPECT_TRUE(check(m.StrValue("_a.b-1")));
  EXPECT_TRUE(check(m.StrValue("\xC3\xA9t\xC3\xA9")));
  EXPECT_FALSE(check(m.StrValue("1a")));
  EXPECT_FALSE(check(m.StrValue("a:b")));
  EXPECT_FALSE(check(m.StrValue("")));
  EXPECT_FALSE(check(Value::Null()));
  EXPECT_FALSE(m.ToBoolean(m.Call(f, Value(), nullptr, 0)));
  // Renaming takes names only, and keeps the old one on refusal.
  const Value x = Parse("<a/>");
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(x, "setLocalName", {m.StrValue("@b")}); }), "TypeError: Error #1117: Invalid XML name: @b.");
  EXPECT_EQ(Str(m.CallPublic(x, "localName")), "a");
}

}  // namespace
}  // namespace vantrel::flash::avm2

namespace vantrel::flash::avm2 {
namespace {

// The prefix of a new Namespace: none for a URI alone (but "" for the empty one); of two
// arguments an XML name or "" is kept, another text or null is none, and the empty URI
// refuses any prefix but "".
TEST_F(Xml, NamespacePrefixesFollowThePlayersRules) {
  const auto make = [&](std::vector<Value> args) {
    return Value::Obj(m.ConstructClass(m.namespaceClass, args.data(), static_cast<int>(args.size())));
  };
  const auto prefix = [&](const Value& ns) { return m.ToString(m.GetPublic(ns, "prefix")); };
  const auto uri = [&](const Value& ns) { return m.ToString(m.GetPublic(ns, "uri")); };
  EXPECT_EQ(prefix(make({})) + "|" + uri(make({})), "|");
  EXPECT_EQ(prefix(make({Value()})) + "|" + uri(make({Value()})), "undefined|undefined");
  EXPECT_EQ(uri(make({Value::Null()})), "null");
  EXPECT_EQ(prefix(make({m.StrValue("p"), m.StrValue("u")})), "p");
  EXPECT_EQ(prefix(make({m.StrValue(""), m.StrValue("u")})), "");
  EXPECT_EQ(prefix(make({m.StrValue("not a name"), m.StrValue("u")})), "undefined");
  EXPECT_EQ(prefix(make({Value::Null(), m.StrValue("u")})), "undefined");
  const Value copy = make({make({m.StrValue("p"), m.StrValue("u")})});
  EXPECT_EQ(prefix(copy) + "|" + uri(copy), "p|u");
  EXPECT_EQ(prefix(make({m.StrValue(""), m.StrValue("")})), "");
  for (const Value& bad : {Value(), Value::Null(), m.StrValue("p")}) {
    try {
      make({bad, m.StrValue("")});
      ADD_FAILURE() << "a prefix for no namespace";
    } catch (const Thrown& thrown) {
      EXPECT_EQ(m.ToString(thrown.value).rfind("TypeError: Error #1098: Illegal prefix ", 0), 0u);
    }
  }
  // The classes declare the arguments they take.
  EXPECT_EQ(m.ToString(m.GetPublic(Value::Obj(m.namespaceClass), "length")), "2");
  EXPECT_EQ(m.ToString(m.GetPublic(Value::Obj(m.FindClass("RangeError")), "length")), "1");
}

}  // namespace
// flash.xml.XMLDocument: the older document classes' parser and their linked nodes.
TEST_F(Xml, XmlDocumentParsesLinksMovesAndPrintsNodes) {
  ClassObject* documentClass = m.FindClass("flash.xml.XMLDocument");
  ASSERT_NE(documentClass, nullptr);
  Value source = m.StrValue("<?xml version=\"1.0\"?><r xmlns:p=\"urn:p\"><p:a id=\"one\" k=\"&lt;\"/>t<b><![CDATA[ ]]></b></r>");
  const Value doc = Value::Obj(m.ConstructClass(documentClass, &source, 1));
  const auto text = [&](const Value& v) { return m.ToString(v); };
  const auto get = [&](const Value& v, const char* name) { return m.GetPublic(v, name); };
  const Value root = get(doc, "firstChild");
  const Value a = get(root, "firstChild");
  EXPECT_EQ(text(get(a, "nodeName")), "p:a");
  EXPECT_EQ(text(get(a, "localName")), "a");
  EXPECT_EQ(text(get(a, "prefix")), "p");
  EXPECT_EQ(text(get(a, "namespaceURI")), "urn:p");
  EXPECT_EQ(text(get(get(a, "nextSibling"), "nodeValue")), "t");
  EXPECT_EQ(text(get(get(a, "nextSibling"), "nodeType")), "3");
  EXPECT_TRUE(get(a, "previousSibling").IsNull());
  // The id names the element in idMap; the declaration comes first when printed.
  EXPECT_EQ(get(get(doc, "idMap"), "one").object, a.object);
  EXPECT_EQ(text(doc), "<?xml version=\"1.0\"?><r xmlns:p=\"urn:p\"><p:a id=\"one\" k=\"&lt;\" />t<b> </b></r>");
  // Moving the last child in front of the first relinks every sibling.
  const Value b = get(root, "lastChild");
  m.CallPublic(root, "insertBefore", {b, a});
  EXPECT_EQ(get(root, "firstChild").object, b.object);
  EXPECT_EQ(get(a, "previousSibling").object, b.object);
  EXPECT_TRUE(get(get(root, "lastChild"), "nextSibling").IsNull());
  m.CallPublic(b, "removeNode", {});
  EXPECT_TRUE(get(b, "parentNode").IsNull());
  EXPECT_EQ(get(root, "firstChild").object, a.object);
  // A node never goes under itself; a shallow copy keeps only the attributes.
  m.CallPublic(a, "appendChild", {root});
  EXPECT_TRUE(get(root, "parentNode").IsObject());
  EXPECT_EQ(text(m.CallPublic(root, "cloneNode", {Value::Bool(false)})), "<r xmlns:p=\"urn:p\" />");
  // Parsing again replaces the nodes; white space goes when asked, up to a fault.
  m.SetPublic(doc, "ignoreWhite", Value::Bool(true));
  m.CallPublic(doc, "parseXML", {m.StrValue("<x> <y>z</y> </x><w")});
  EXPECT_EQ(text(doc), "<?xml version=\"1.0\"?><x><y>z</y></x>");
}

}  // namespace vantrel::flash::avm2
