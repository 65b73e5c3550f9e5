// The data classes driven from C++ through the machine: XML parsing and its text form,
// LoadVars form data, shared objects (.sol bytes, the in-memory store, the atomic
// writer), AMF0 round trips, TextFormat conversions and System.
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>

#include <unistd.h>

#include <gtest/gtest.h>

#include "flash/script/shared_object_store.h"

#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/builtins/shared_object.h"
#include "flash/avm1/builtins/system_hooks.h"
#include "script_fixture.h"

namespace vantrel::flash::avm1::testing {
namespace {

namespace fs = std::filesystem;

struct DataFixture : ScriptFixture {
  // `new <path>(args)` where path may name a package ("flash.geom.Point").
  Object* New(std::string_view path, std::initializer_list<Value> args = {}) {
    Value at = Value::Obj(rt.global);
    while (!path.empty()) {
      const std::size_t dot = path.find('.');
      at = machine.GetMember(at, path.substr(0, dot));
      path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
    }
    Object* ctor = at.AsObject();
    EXPECT_NE(ctor, nullptr);
    const std::vector<Value> list(args);
    return ctor ? machine.Construct(ctor, list) : nullptr;
  }
  Value Call(const Value& target, std::string_view method, std::initializer_list<Value> args = {}) {
    const std::vector<Value> list(args);
    return machine.CallMethod(target, method, list);
  }
  Value Call(Object* target, std::string_view method, std::initializer_list<Value> args = {}) {
    return Call(Value::Obj(target), method, args);
  }
  std::string Say(const Value& v) { return machine.ToString(v); }
  Value Get(const Value& v, std::string_view name) { return machine.GetMember(v, name); }
  Value Get(Object* o, std::string_view name) { return machine.GetMember(Value::Obj(o), name); }
  Object* Xml(const char* text) { return New("XML", {Str(text)}); }
};

// ---- XML ----

TEST(XmlTest, ParsesAndWritesBackTheSameText) {
  DataFixture f;
  for (const char* text : {
           "<a />",
           "<a b=\"1\" c=\"two words\"><b>text</b><c /></a>",
           "<?xml version=\"1.0\"?><!DOCTYPE note><note>x</note>",
           "<p>I&apos;m &lt;b&gt; &amp; &quot;q&quot;</p>",
           "<продукция>Название</продукция>",
       }) {
    Object* xml = f.Xml(text);
    EXPECT_EQ(f.Say(f.Get(xml, "status")), "0") << text;
    EXPECT_EQ(f.Say(f.Call(xml, "toString")), text);
  }
}

TEST(XmlTest, AttributesEnumerateInDocumentOrder) {
  DataFixture f;
  Object* xml = f.Xml("<t b=\"1\" a=\"2\" b=\"3\" c=\"4\" />");
  Object* attributes = f.Get(f.Get(xml, "firstChild"), "attributes").AsObject();
  EXPECT_EQ(f.machine.Enumerate(attributes), (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_EQ(f.Say(f.Get(attributes, "b")), "1");
  EXPECT_EQ(f.Say(f.Call(xml, "toString")), "<t b=\"1\" a=\"2\" c=\"4\" />");
}

TEST(XmlTest, StatusCodesOfBrokenDocuments) {
  DataFixture f;
  const std::pair<const char*, int> cases[] = {
      {"<a><![CDATA[open</a>", -2}, {"<?xml version", -3},  {"<!DOCTYPE x", -4}, {"<a><!-- open</a>", -5},
      {"<a", -6},                   {"<a b=\"1></a>", -8},   {"<a><b></a>", -9},  {"<a>", -9},
      {"</a>", -10},                {"<a></a></b>", -10},
  };
  for (const auto& [text, status] : cases) {
    Object* xml = f.Xml(text);
    EXPECT_EQ(f.machine.ToNumber(f.Get(xml, "status")), status) << text;
  }
}

TEST(XmlTest, TextNodesEntitiesCdataAndWhitespace) {
  DataFixture f;
  Object* xml = f.Xml("<data label=\"A &amp; &#39; B\">A &&amp; &thing; &#x41;<![CDATA[<raw>&amp;]]></data>");
  const Value data = f.Get(xml, "firstChild");
  EXPECT_EQ(f.Say(f.Get(f.Get(data, "attributes"), "label")), "A & ' B");
  const Value children = f.Get(data, "childNodes");
  ASSERT_EQ(f.machine.ToNumber(f.Get(children, "length")), 2);
  EXPECT_EQ(f.Say(f.Get(f.Get(data, "firstChild"), "nodeValue")), "A && &thing; A");
  EXPECT_EQ(f.Say(f.Get(f.Get(data, "lastChild"), "nodeValue")), "<raw>&amp;");
  EXPECT_EQ(f.machine.ToNumber(f.Get(f.Get(data, "lastChild"), "nodeType")), 3);
  // Comments leave no node.
  EXPECT_EQ(f.Say(f.Call(f.Xml("<a><!-- c -->t</a>"), "toString")), "<a>t</a>");

  const char* spaced = "<root>   <foo> testing </foo>\n</root>";
  Object* keep = f.Xml(spaced);
  EXPECT_EQ(f.machine.ToNumber(f.Get(f.Get(f.Get(keep, "firstChild"), "childNodes"), "length")), 3);
  Object* skip = f.New("XML");
  f.machine.Set(skip, "ignoreWhite", Value::Bool(true));
  f.Call(skip, "parseXML", {f.Str(spaced)});
  EXPECT_EQ(f.Say(f.Call(skip, "toString")), "<root><foo> testing </foo></root>");
}

TEST(XmlTest, DeclarationsAreKeptApartFromTheTree) {
  DataFixture f;
  Object* xml = f.Xml("<?xml version='1.0' ?><!DOCTYPE x [<!ENTITY e \"v\">]><x />");
  EXPECT_EQ(f.Say(f.Get(xml, "xmlDecl")), "<?xml version='1.0' ?>");
  EXPECT_EQ(f.Say(f.Get(xml, "docTypeDecl")), "<!DOCTYPE x [<!ENTITY e \"v\">]>");
  EXPECT_EQ(f.machine.ToNumber(f.Get(f.Get(xml, "childNodes"), "length")), 1);
  EXPECT_TRUE(f.Get(f.Xml("<x />"), "docTypeDecl").IsUndefined());
}

TEST(XmlTest, TreeEditsKeepLinksAndTheLiveChildList) {
  DataFixture f;
  Object* xml = f.Xml("<lst><a /><b /></lst>");
  const Value list = f.Get(xml, "firstChild");
  const Value children = f.Get(list, "childNodes");
  f.Call(list, "appendChild", {Value::Obj(f.Call(xml, "createElement", {f.Str("c")}).AsObject())});
  EXPECT_EQ(f.Say(children), "<a />,<b />,<c />");

  const Value a = f.Get(list, "firstChild");
  const Value c = f.Get(list, "lastChild");
  f.Call(list, "insertBefore", {c, a});  // a child already: it stays where it is
  EXPECT_EQ(f.Say(list), "<lst><a /><b /><c /></lst>");
  f.Call(c, "removeNode");
  f.Call(list, "insertBefore", {c, a});
  EXPECT_EQ(f.Say(list), "<lst><c /><a /><b /></lst>");
  EXPECT_TRUE(f.Get(c, "previousSibling").IsNull());
  EXPECT_EQ(f.Get(c, "nextSibling").AsObject(), a.AsObject());
  EXPECT_EQ(f.Get(a, "parentNode").AsObject(), list.AsObject());

  f.Call(a, "removeNode");
  EXPECT_EQ(f.Say(children), "<c />,<b />");
  EXPECT_TRUE(f.Get(a, "parentNode").IsNull());

  // A node never becomes its own descendant.
  f.Call(f.Get(list, "firstChild"), "appendChild", {list});
  EXPECT_EQ(f.Say(f.Call(xml, "toString")), "<lst><c /><b /></lst>");

  // Moving a node into another document takes it out of the first.
  Object* other = f.Xml("<o />");
  f.Call(f.Get(other, "firstChild"), "appendChild", {c});
  EXPECT_EQ(f.Say(f.Call(xml, "toString")), "<lst><b /></lst>");
  EXPECT_EQ(f.Say(f.Call(other, "toString")), "<o><c /></o>");
  EXPECT_FALSE(f.machine.ToBoolean(f.Call(f.Get(list, "firstChild"), "hasChildNodes")));
}

TEST(XmlTest, CloneCopiesAttributesAndOnlyDeepCopiesChildren) {
  DataFixture f;
  Object* xml = f.Xml("<a k=\"v\"><b>t</b></a>");
  const Value a = f.Get(xml, "firstChild");
  const Value shallow = f.Call(a, "cloneNode", {Value::Bool(false)});
  const Value deep = f.Call(a, "cloneNode", {Value::Bool(true)});
  EXPECT_EQ(f.Say(shallow), "<a k=\"v\" />");
  EXPECT_EQ(f.Say(deep), "<a k=\"v\"><b>t</b></a>");
  EXPECT_TRUE(f.Get(deep, "parentNode").IsNull());
  // The copy's attributes are its own.
  f.machine.Set(f.Get(deep, "attributes").AsObject(), "k", f.Str("w"));
  EXPECT_EQ(f.Say(a), "<a k=\"v\"><b>t</b></a>");
}

TEST(XmlTest, NamespacesComeFromXmlnsAttributesUpTheTree) {
  DataFixture f;
  Object* xml = f.Xml("<r xmlns=\"urn:d\" xmlns:p=\"urn:p\"><p:x><y /></p:x></r>");
  const Value x = f.Get(f.Get(xml, "firstChild"), "firstChild");
  EXPECT_EQ(f.Say(f.Get(x, "prefix")), "p");
  EXPECT_EQ(f.Say(f.Get(x, "localName")), "x");
  EXPECT_EQ(f.Say(f.Get(x, "namespaceURI")), "urn:p");
  const Value y = f.Get(x, "firstChild");
  EXPECT_EQ(f.Say(f.Get(y, "namespaceURI")), "urn:d");
  EXPECT_EQ(f.Say(f.Call(y, "getNamespaceForPrefix", {f.Str("p")})), "urn:p");
  EXPECT_EQ(f.Say(f.Call(y, "getPrefixForNamespace", {f.Str("urn:d")})), "");
  EXPECT_TRUE(f.Call(y, "getPrefixForNamespace", {f.Str("urn:none")}).IsNull());
  EXPECT_TRUE(f.Get(Value::Obj(xml), "prefix").IsNull());
}

TEST(XmlTest, ReparsingReplacesTheTreeAndKeepsTheIdMap) {
  DataFixture f;
  Object* xml = f.Xml("<a id=\"one\"><b id=\"two\" /></a>");
  const Value first = f.Get(xml, "firstChild");
  const Value idMap = f.Get(xml, "idMap");
  EXPECT_EQ(f.Get(idMap, "two").AsObject(), f.Get(first, "firstChild").AsObject());
  f.Call(xml, "parseXML", {f.Str("<c id=\"three\" />text")});
  EXPECT_TRUE(f.Get(first, "parentNode").IsNull());
  EXPECT_EQ(f.Say(f.Call(xml, "toString")), "<c id=\"three\" />text");
  // Ids of earlier documents stay until the movie removes them.
  for (const char* id : {"one", "two", "three"}) EXPECT_TRUE(f.Get(idMap, id).IsObject()) << id;
}

TEST(XmlTest, NodesMadeByScriptsEscapeTheirText) {
  DataFixture f;
  Object* xml = f.New("XML");
  const Value element = f.Call(xml, "createElement", {f.Str("item")});
  const Value text = f.Call(xml, "createTextNode", {f.Str("a < b & \"c\"")});
  f.Call(element, "appendChild", {text});
  f.machine.Set(f.Get(element, "attributes").AsObject(), "title", f.Str("x'y"));
  f.Call(xml, "appendChild", {element});
  EXPECT_EQ(f.Say(f.Call(xml, "toString")), "<item title=\"x&apos;y\">a &lt; b &amp; &quot;c&quot;</item>");
  EXPECT_EQ(f.machine.ToNumber(f.Get(text, "nodeType")), 3);
  EXPECT_TRUE(f.Get(text, "nodeName").IsNull());
  // Renaming an element changes its tags; text nodes have no name to change.
  f.machine.Set(element.AsObject(), "nodeName", f.Str("entry"));
  f.machine.Set(text.AsObject(), "nodeName", f.Str("ignored"));
  EXPECT_EQ(f.Say(element), "<entry title=\"x&apos;y\">a &lt; b &amp; &quot;c&quot;</entry>");

  Object* node = f.New("XMLNode", {Value::Number(1), f.Str("made")});
  EXPECT_EQ(f.Say(Value::Obj(node)), "<made />");
  EXPECT_TRUE(f.Call(xml, "getBytesLoaded").IsUndefined());
}

// ---- LoadVars ----

TEST(LoadVarsTest, FormDataEncodesEveryByteButLettersAndDigits) {
  DataFixture f;
  Object* vars = f.New("LoadVars");
  f.Call(vars, "decode", {f.Str("a=1&b=two%20words&c=x+y&broken=%zz&=skipped&flag")});
  EXPECT_EQ(f.Say(f.Get(vars, "b")), "two words");
  EXPECT_EQ(f.Say(f.Get(vars, "c")), "x y");
  EXPECT_EQ(f.Say(f.Get(vars, "broken")), "%zz");
  EXPECT_EQ(f.Say(f.Get(vars, "flag")), "");

  Object* out = f.New("LoadVars");
  f.machine.Set(out, "k", f.Str("a b!_-.~é"));
  f.machine.Set(out, "n", Value::Number(1.5));
  // Most recent first, as for..in gives them.
  EXPECT_EQ(f.Say(f.Call(out, "toString")), "n=1%2E5&k=a%20b%21%5F%2D%2E%7E%C3%A9");
  EXPECT_EQ(f.Say(f.Call(f.New("LoadVars"), "toString")), "");
  EXPECT_FALSE(f.machine.ToBoolean(f.Call(out, "load")));
  EXPECT_FALSE(f.machine.ToBoolean(f.Call(out, "sendAndLoad", {f.Str("x.txt")})));
}

// ---- Shared objects and AMF ----

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(SharedObjectTest, DataSurvivesAFlushWithinTheProcess) {
  {
    DataFixture f;
    const Value so = f.Call(f.Global("SharedObject"), "getLocal", {f.Str("data_test_store")});
    ASSERT_TRUE(so.IsObject());
    EXPECT_EQ(f.Call(f.Global("SharedObject"), "getLocal", {f.Str("data_test_store")}).AsObject(), so.AsObject());
    f.Call(so, "clear");
    EXPECT_EQ(f.machine.ToNumber(f.Call(so, "getSize")), 0);
    Object* data = f.Get(so, "data").AsObject();
    f.machine.Set(data, "n", Value::Number(10));
    f.machine.Set(data, "s", f.Str("hello"));
    Object* nested = f.machine.NewObject();
    f.machine.Set(nested, "self", Value::Obj(nested));
    f.machine.Set(data, "o", Value::Obj(nested));
    EXPECT_GT(f.machine.ToNumber(f.Call(so, "getSize")), 0);
    EXPECT_TRUE(f.machine.ToBoolean(f.Call(so, "flush")));
    f.machine.Set(data, "unsaved", Value::Bool(true));
  }
  DataFixture again;
  const Value so = again.Call(again.Global("SharedObject"), "getLocal", {again.Str("data_test_store")});
  const Value data = again.Get(so, "data");
  EXPECT_EQ(again.Say(again.Get(data, "n")), "10");
  EXPECT_EQ(again.Say(again.Get(data, "s")), "hello");
  const Value nested = again.Get(data, "o");
  EXPECT_EQ(again.Get(nested, "self").AsObject(), nested.AsObject());
  EXPECT_TRUE(again.Get(data, "unsaved").IsUndefined());
  again.Call(so, "clear");
  for (const char* bad : {"", "a b", "x:y", "../up", "q?"})
    EXPECT_TRUE(again.Call(again.Global("SharedObject"), "getLocal", {again.Str(bad)}).IsNull()) << bad;
}

TEST(SharedObjectTest, UnflushedDataIsWrittenWhenThePlayerSaysSo) {
  {
    DataFixture f;
    const Value so = f.Call(f.Global("SharedObject"), "getLocal", {f.Str("data_test_implicit")});
    f.machine.Set(f.Get(so, "data").AsObject(), "kept", f.Str("yes"));
    FlushSharedObjects(f.machine);
  }
  DataFixture again;
  const Value so = again.Call(again.Global("SharedObject"), "getLocal", {again.Str("data_test_implicit")});
  EXPECT_EQ(again.Say(again.Get(again.Get(so, "data"), "kept")), "yes");
  again.Call(so, "clear");
}

TEST(SharedObjectTest, SolBytesMatchTheReferencePlayersFile) {
  const fs::path file = fs::path(VANTREL_CORPUS_DIR) / "avm1/shared_object/RuffleTest.sol";
  if (!fs::exists(file)) GTEST_SKIP() << "corpus not found at " << file;
  DataFixture f;
  const std::string bytes = ReadAll(file);
  Object* data = f.machine.NewObject();
  ASSERT_TRUE(data::ReadSolFile(f.machine, bytes, data));
  EXPECT_EQ(f.Say(f.Get(data, "str")), "hello");
  EXPECT_EQ(f.Say(f.Get(data, "array")), "elem0,undefined,undefined,undefined,elem4");
  EXPECT_EQ(f.Say(f.Get(f.Get(data, "array"), "prop")), "property");
  EXPECT_EQ(f.Say(f.Get(data, "testxml")), "<test>Test</test>");
  // Written back, the entries give the same bytes.
  EXPECT_EQ(data::SolFile(f.machine, "RuffleTest", data), bytes);
}

TEST(SharedObjectTest, DamagedFilesReadWhatPrecedesTheDamage) {
  DataFixture f;
  Object* source = f.machine.NewObject();
  f.machine.Set(source, "a", Value::Number(1));
  f.machine.Set(source, "b", f.Str("two"));
  const std::string bytes = data::SolFile(f.machine, "x", source);
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    Object* data = f.machine.NewObject();
    EXPECT_FALSE(data::ReadSolFile(f.machine, std::string_view(bytes).substr(0, cut), data)) << cut;
  }
  Object* data = f.machine.NewObject();
  EXPECT_FALSE(data::ReadSolFile(f.machine, bytes.substr(0, bytes.size() - 3), data));
  EXPECT_EQ(f.Say(f.Get(data, "a")), "1");
  EXPECT_FALSE(data::ReadSolFile(f.machine, "not a shared object", data));
}

TEST(SharedObjectTest, AtomicWriteLeavesOnlyTheFinishedFile) {
  const fs::path folder = fs::temp_directory_path() / ("vantrel-data-test-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  const fs::path target = folder / "localhost" / "movie.swf" / "so.sol";
  EXPECT_TRUE(script::WriteFileAtomically(target.string(), "first"));
  EXPECT_TRUE(script::WriteFileAtomically(target.string(), "second"));
  EXPECT_EQ(ReadAll(target), "second");
  std::size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) files += entry.is_regular_file();
  EXPECT_EQ(files, 1u);
  // A folder that cannot be made fails without leaving anything.
  EXPECT_FALSE(script::WriteFileAtomically((target / "below-a-file" / "x.sol").string(), "x"));
  fs::remove_all(folder);
}

TEST(AmfTest, ValuesRoundTrip) {
  DataFixture f;
  Object* array = f.machine.NewArray({Value::Number(1), Value(), f.Str("three")});
  f.machine.Set(array, "extra", Value::Bool(true));
  Object* object = f.machine.NewObject();
  f.machine.Set(object, "array", Value::Obj(array));
  f.machine.Set(object, "again", Value::Obj(array));
  f.machine.Set(object, "null", Value::Null());
  f.machine.Set(object, "xml", Value::Obj(f.Xml("<a b=\"c\">d</a>")));
  f.machine.Set(object, "long", f.Str(std::string(70000, 'x').c_str()));

  data::AmfWriter writer(f.machine);
  writer.WriteValue(Value::Obj(object));
  data::AmfReader reader(f.machine, writer.Bytes());
  const auto read = reader.ReadValue();
  ASSERT_TRUE(read && read->IsObject());
  EXPECT_TRUE(reader.AtEnd());
  const Value copy = *read;
  EXPECT_EQ(f.Say(f.Get(copy, "array")), "1,undefined,three");
  EXPECT_EQ(f.machine.ToNumber(f.Get(f.Get(copy, "array"), "length")), 3);
  EXPECT_EQ(f.Say(f.Get(f.Get(copy, "array"), "extra")), "true");
  EXPECT_EQ(f.Get(copy, "again").AsObject(), f.Get(copy, "array").AsObject());
  EXPECT_TRUE(f.Get(copy, "null").IsNull());
  EXPECT_EQ(f.Say(f.Get(f.Get(f.Get(copy, "xml"), "firstChild"), "nodeName")), "a");
  EXPECT_EQ(f.Get(copy, "long").Text().size(), 70000u);

  // Unknown markers and references to nothing are errors, not crashes.
  for (const std::string& bad : {std::string("\x11", 1), std::string("\x07\x00\x05", 3), std::string("\x03\x00", 2)}) {
    data::AmfReader broken(f.machine, bad);
    EXPECT_FALSE(broken.ReadValue());
    EXPECT_TRUE(broken.Failed());
  }
}

TEST(AmfTest, RegisteredClassesTravelAsTypedObjects) {
  DataFixture f;
  Object* ctor = f.rt.MakeClass(nullptr, nullptr);
  f.rt.RegisteredClasses(f.machine.Version())["com.example.Thing"] = ctor;
  Object* thing = f.machine.Construct(ctor, {});
  ASSERT_NE(thing, nullptr);
  f.machine.Set(thing, "foo", f.Str("bar"));
  data::AmfWriter writer(f.machine);
  writer.WriteValue(Value::Obj(thing));
  EXPECT_EQ(writer.Bytes(), std::string("\x10\x00\x11" "com.example.Thing" "\x00\x03" "foo" "\x02\x00\x03" "bar" "\x00\x00\x09", 34));
  data::AmfReader reader(f.machine, writer.Bytes());
  const auto copy = reader.ReadValue();
  ASSERT_TRUE(copy && copy->IsObject());
  EXPECT_EQ(copy->AsObject()->proto, data::PrototypeOf(ctor));
  EXPECT_EQ(f.Say(f.Get(*copy, "foo")), "bar");
}

TEST(AmfTest, DeepNestingIsCutNotFollowed) {
  DataFixture f;
  Object* root = f.machine.NewObject();
  Object* at = root;
  for (int i = 0; i < 1000; ++i) {
    Object* next = f.machine.NewObject();
    f.machine.Set(at, "next", Value::Obj(next));
    at = next;
  }
  data::AmfWriter writer(f.machine);
  writer.WriteValue(Value::Obj(root));
  data::AmfReader reader(f.machine, writer.Bytes());
  const auto copy = reader.ReadValue();
  ASSERT_TRUE(copy);
  int depth = 0;
  for (Value v = *copy; v.IsObject(); v = f.Get(v, "next")) ++depth;
  EXPECT_EQ(depth, 256);
  // A hostile file nesting deeper than the writer would is refused.
  std::string nested;
  for (int i = 0; i < 5000; ++i) nested += std::string("\x03\x00\x01x", 4);
  data::AmfReader deep(f.machine, nested);
  EXPECT_FALSE(deep.ReadValue());
}

// ---- LocalConnection ----

TEST(LocalConnectionTest, NamesBelongToOneConnectionAtATime) {
  DataFixture f;
  Object* a = f.New("LocalConnection");
  Object* b = f.New("LocalConnection");
  const auto connect = [&](Object* lc, const char* name) {
    return f.machine.ToBoolean(f.Call(lc, "connect", {f.Str(name)}));
  };
  EXPECT_TRUE(connect(a, "channel"));
  EXPECT_FALSE(connect(b, "Channel"));  // names compare without case
  EXPECT_FALSE(connect(a, "elsewhere"));  // one name per connection
  f.Call(a, "close");
  EXPECT_TRUE(connect(b, "channel"));
  EXPECT_TRUE(connect(a, "_global"));
  EXPECT_FALSE(connect(f.New("LocalConnection"), "a:b"));
  EXPECT_FALSE(f.machine.ToBoolean(f.Call(f.New("LocalConnection"), "connect", {Value::Number(1)})));

  // Sending needs a name and a method that is not one of the connection's own.
  EXPECT_FALSE(f.machine.ToBoolean(f.Call(a, "send", {f.Str("channel")})));
  EXPECT_FALSE(f.machine.ToBoolean(f.Call(a, "send", {f.Str("channel"), f.Str("close")})));
  EXPECT_EQ(f.Say(f.Call(a, "domain")), "localhost");
}

// ---- TextFormat ----

TEST(TextFormatTest, PropertiesConvertAsThePlayerStoresThem) {
  DataFixture f;
  Object* format = f.New("TextFormat");
  for (const char* name : {"font", "size", "color", "bold", "align", "leftMargin", "tabStops", "url"})
    EXPECT_TRUE(f.Get(format, name).IsNull()) << name;
  EXPECT_EQ(f.Say(f.Get(format, "display")), "block");

  const auto set = [&](const char* name, const Value& v) {
    f.machine.Set(format, name, v);
    return f.Say(f.Get(format, name));
  };
  // Setters of SWF 8 round half to even; out of range gives the smallest integer.
  EXPECT_EQ(set("size", Value::Number(2.5)), "2");
  EXPECT_EQ(set("size", Value::Number(3.5)), "4");
  EXPECT_EQ(set("size", Value::Number(-3.5)), "-4");
  EXPECT_EQ(set("size", Value::Number(4294967295.0)), "-2147483648");
  EXPECT_EQ(set("leftMargin", Value::Number(-3)), "0");
  EXPECT_EQ(set("color", Value::Number(-3)), "4294967293");
  EXPECT_EQ(set("bold", f.Str("x")), "true");
  EXPECT_EQ(set("align", f.Str("center")), "center");
  EXPECT_EQ(set("align", f.Str("middle")), "center");
  EXPECT_EQ(set("display", f.Str("Inline")), "block");
  EXPECT_EQ(set("letterSpacing", Value::Number(-2.5)), "-2.5");
  EXPECT_EQ(set("size", Value::Null()), "null");
  EXPECT_EQ(set("font", f.Str(std::string(80, 'f').c_str())).size(), 64u);

  // The constructor truncates and leaves margins as given.
  Object* made = f.New("TextFormat", {f.Str("Arial"), Value::Number(10.9), Value::Number(-1), Value::Bool(true),
                                      Value(), Value(), Value(), Value(), f.Str("right"), Value::Number(-5)});
  EXPECT_EQ(f.Say(f.Get(made, "size")), "10");
  EXPECT_EQ(f.Say(f.Get(made, "color")), "4294967295");
  EXPECT_EQ(f.Say(f.Get(made, "leftMargin")), "-5");
  EXPECT_EQ(f.Say(f.Get(made, "align")), "right");
  EXPECT_TRUE(f.Get(made, "italic").IsNull());
}

// ---- System ----

TEST(SystemTest, CapabilitiesDescribeThisPlayer) {
  DataFixture f;
  const Value caps = f.Get(f.Global("System"), "capabilities");
  EXPECT_EQ(f.Say(f.Get(caps, "os")), "Linux");
  EXPECT_EQ(f.Say(f.Get(caps, "version")), "LNX 32,0,0,0");
  Hooks().screenSize = [] { return std::pair<int, int>(1280, 720); };
  EXPECT_EQ(f.Say(f.Get(caps, "screenResolutionX")), "1280");
  EXPECT_NE(f.Say(f.Get(caps, "serverString")).find("R=1280x720"), std::string::npos);
  Hooks().screenSize = nullptr;
  EXPECT_EQ(f.Say(f.Get(caps, "screenResolutionY")), "1080");

  std::string clipboard;
  Hooks().setClipboard = [&](const std::string& text) { clipboard = text; };
  f.Call(f.Global("System"), "setClipboard", {f.Str("copied")});
  Hooks().setClipboard = nullptr;
  EXPECT_EQ(clipboard, "copied");
}

}  // namespace
}  // namespace vantrel::flash::avm1::testing
