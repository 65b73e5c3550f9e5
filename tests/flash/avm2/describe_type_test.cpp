// describeType and its kin: a movie's classes as their ABC declares them (overrides,
// accessors made of two halves, namespaces, metadata), the player's classes from the
// declared API, the class names of numbers, and the classes a movie's version sees.
#include <gtest/gtest.h>

#include "abc_writer.h"
#include "flash/avm2/api/declared_api.h"
#include "flash/avm2/builtins/xml.h"
#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {
namespace {

using testing::AbcWriter;
using Bytes = AbcWriter::Bytes;

class DescribeType : public ::testing::Test {
 protected:
  gc::Heap heap;
  Machine m{heap};

  Value Function(const std::string& package, const std::string& name) {
    Multiname mn;
    const std::string text = name;
    mn.id = m.Intern(text);
    mn.text = &text;
    const NsId ns = m.InternNs(kNsNamespace, package);
    mn.ns = &ns;
    mn.nsCount = 1;
    return m.GetProperty(Value::Obj(m.globalObject), mn);
  }
  std::string Call(const std::string& package, const std::string& name, std::vector<Value> args) {
    const Value result = m.Call(Function(package, name), Value(), args.data(), static_cast<int>(args.size()));
    if (result.IsObject() && result.object->kind == ObjectKind::Xml) {
      m.xmlSettings.prettyPrinting = false;
      return XmlToXmlString(m, static_cast<XmlObject*>(result.object));
    }
    return m.ToString(result);
  }
};

// package pkg { class Base { [Inspectable(kind="x")] var count:int; const LIMIT:String;
//   function run(a:String, b:* = null):Boolean; AS3 function tool():void;
//   function get size():Number; private function secret(); static function make():Base }
//   class Sub extends Base { override function run(...); function set size(v:Number);
//   AS3 function extra(); function own(); } }
Bytes TwoClasses() {
  AbcWriter w;
  const std::uint32_t pkg = w.Namespace(0x16, "pkg");
  const std::uint32_t as3 = w.Namespace(0x08, "http://adobe.com/AS3/2006/builtin");
  const std::uint32_t hidden = w.Namespace(0x05, "pkg:Base");
  const std::uint32_t object = w.Name("Object");
  const std::uint32_t base = w.NameIn(pkg, "Base"), sub = w.NameIn(pkg, "Sub");
  const std::uint32_t intType = w.Name("int"), stringType = w.Name("String"), numberType = w.Name("Number");
  const std::uint32_t booleanType = w.Name("Boolean"), voidType = w.Name("void");
  const std::uint32_t run = w.Name("run"), size = w.Name("size");
  const Bytes empty = {0xD0, 0x30, 0x47};  // getlocal0 pushscope returnvoid
  const std::uint32_t runMethod = w.Declared({stringType, 0}, booleanType, 1);
  w.Class({base, object, 0x01, {}, w.Declared({intType}, 0, 1), w.Method(empty),
           {{w.Name("count"), 0, intType, {w.Metadata("Inspectable", {{"kind", "x"}})}},
            {w.Name("LIMIT"), 6, stringType},
            {run, 1, runMethod},
            {w.NameIn(as3, "tool"), 1, w.Declared({}, voidType)},
            {size, 2, w.Declared({}, numberType)},
            {w.NameIn(hidden, "secret"), 1, w.Declared({}, 0)}},
           {{w.Name("make"), 1, w.Declared({}, base)}}});
  w.Class({sub, base, 0x01, {}, w.Declared({}, 0), w.Method(empty),
           {{run, 1, w.Declared({stringType, 0}, booleanType, 1)},
            {size, 3, w.Declared({numberType}, voidType)},
            {w.NameIn(as3, "extra"), 1, w.Declared({}, 0)},
            {w.Name("own"), 1, w.Declared({}, 0)}},
           {}});
  Bytes code = {0xD0, 0x30};
  for (const auto& [name, super, index] : {std::tuple{base, object, 0u}, std::tuple{sub, base, 1u}}) {
    code.insert(code.end(), {0x65, 0x00, 0x60});  // getscopeobject 0, getlex super
    AbcWriter::U30(code, super);
    code.push_back(0x58);  // newclass
    AbcWriter::U30(code, index);
    code.push_back(0x68);  // initproperty name
    AbcWriter::U30(code, name);
  }
  code.push_back(0x47);
  w.Script(w.Method(code));
  w.scriptClasses[0] = {{base, 4, 0, {w.Metadata("Event", {{"name", "change"}})}}, {sub, 4, 1}};
  return w.Finish();
}

TEST_F(DescribeType, AMoviesClassesListTheirPublicMembersWithTheirDeclarers) {
  std::string error;
  ASSERT_TRUE(m.LoadAbc(TwoClasses(), false, error)) << error;
  ClassObject* sub = m.FindClass("pkg.Sub");
  ClassObject* base = m.FindClass("pkg.Base");
  ASSERT_TRUE(sub && base);

  // The class side: its statics, Class's prototype, and the instance side as its factory
  // (the class's metadata there); private members are left out; a member of a namespace
  // with a URI is listed with it.
  EXPECT_EQ(Call("flash.utils", "describeType", {Value::Obj(base)}),
            "<type name=\"pkg::Base\" base=\"Class\" isDynamic=\"true\" isFinal=\"true\" isStatic=\"true\">"
            "<extendsClass type=\"Class\"/><extendsClass type=\"Object\"/>"
            "<accessor name=\"prototype\" access=\"readonly\" type=\"*\" declaredBy=\"Class\"/>"
            "<method name=\"make\" declaredBy=\"pkg::Base\" returnType=\"pkg::Base\"/>"
            "<factory type=\"pkg::Base\"><extendsClass type=\"Object\"/>"
            "<constructor><parameter index=\"1\" type=\"int\" optional=\"true\"/></constructor>"
            "<variable name=\"count\" type=\"int\"><metadata name=\"Inspectable\"><arg key=\"kind\" value=\"x\"/></metadata></variable>"
            "<constant name=\"LIMIT\" type=\"String\"/>"
            "<accessor name=\"size\" access=\"readonly\" type=\"Number\" declaredBy=\"pkg::Base\"/>"
            "<method name=\"run\" declaredBy=\"pkg::Base\" returnType=\"Boolean\">"
            "<parameter index=\"1\" type=\"String\" optional=\"false\"/><parameter index=\"2\" type=\"*\" optional=\"true\"/></method>"
            "<method name=\"tool\" declaredBy=\"pkg::Base\" returnType=\"void\" uri=\"http://adobe.com/AS3/2006/builtin\"/>"
            "<metadata name=\"Event\"><arg key=\"name\" value=\"change\"/></metadata></factory></type>");

  // An instance of the subclass: the override is the subclass's, the accessor whose
  // setter it adds is read-write and still the base's (its getter's declarer), and the
  // members of a namespace its base uses too are hidden, its own included.
  const Value instance = Value::Obj(m.heap.Make<Object>(ObjectKind::Plain, sub->instanceTraits.get(), sub->prototype));
  instance.object->cls = sub;
  EXPECT_EQ(Call("flash.utils", "describeType", {instance}),
            "<type name=\"pkg::Sub\" base=\"pkg::Base\" isDynamic=\"false\" isFinal=\"false\" isStatic=\"false\">"
            "<extendsClass type=\"pkg::Base\"/><extendsClass type=\"Object\"/>"
            "<variable name=\"count\" type=\"int\"><metadata name=\"Inspectable\"><arg key=\"kind\" value=\"x\"/></metadata></variable>"
            "<constant name=\"LIMIT\" type=\"String\"/>"
            "<accessor name=\"size\" access=\"readwrite\" type=\"Number\" declaredBy=\"pkg::Base\"/>"
            "<method name=\"run\" declaredBy=\"pkg::Sub\" returnType=\"Boolean\">"
            "<parameter index=\"1\" type=\"String\" optional=\"false\"/><parameter index=\"2\" type=\"*\" optional=\"true\"/></method>"
            "<method name=\"own\" declaredBy=\"pkg::Sub\" returnType=\"*\"/></type>");

  // describeTypeJSON with only some parts asked for: the rest is null.
  const Value json = m.Call(Function("avmplus", "describeTypeJSON"), Value(),
                            std::array<Value, 2>{instance, Value::Number(0x100 | 0x02)}.data(), 2);
  const Value traits = m.GetPublic(json, "traits");
  EXPECT_EQ(m.ToString(m.GetPublic(traits, "bases")), "pkg::Base,Object");
  EXPECT_TRUE(m.GetPublic(traits, "methods").IsNull());
  EXPECT_EQ(m.ToString(m.GetPublic(json, "name")), "pkg::Sub");
}

TEST_F(DescribeType, ThePlayersClassesComeFromTheDeclaredApi) {
  const std::string event = Call("flash.utils", "describeType", {Value::Obj(m.FindClass("flash.events.MouseEvent"))});
  // The constructor's parameters in order (the listings print them sorted as text).
  EXPECT_NE(event.find("<constructor><parameter index=\"1\" type=\"String\" optional=\"false\"/>"
                       "<parameter index=\"2\" type=\"Boolean\" optional=\"true\"/>"
                       "<parameter index=\"3\" type=\"Boolean\" optional=\"true\"/>"
                       "<parameter index=\"4\" type=\"Number\" optional=\"true\"/>"),
            std::string::npos)
      << event;
  EXPECT_NE(event.find("<accessor name=\"type\" access=\"readonly\" type=\"String\" declaredBy=\"flash.events::Event\"/>"),
            std::string::npos);
  EXPECT_NE(event.find("<constant name=\"CLICK\" type=\"String\"/>"), std::string::npos);
  // A top-level class: its constructor and the members the machine's traits hold.
  const std::string error = Call("flash.utils", "describeType", {Value::Obj(m.errorClass)});
  EXPECT_NE(error.find("<method name=\"getStackTrace\" declaredBy=\"Error\" returnType=\"String\"/>"), std::string::npos)
      << error;
  EXPECT_EQ(Call("flash.utils", "describeType", {Value::Null()}),
            "<type name=\"null\" isDynamic=\"false\" isFinal=\"true\" isStatic=\"false\"/>");
}

TEST_F(DescribeType, NumbersAreIntUpTo29Bits) {
  for (const auto& [n, name] : {std::pair{268435455.0, "int"}, {268435456.0, "Number"}, {-268435456.0, "int"},
                                {-268435457.0, "Number"}, {1.5, "Number"}, {-0.0, "Number"}}) {
    EXPECT_EQ(Call("flash.utils", "getQualifiedClassName", {Value::Number(n)}), name) << n;
    EXPECT_EQ(Call("avmplus", "getQualifiedClassName", {Value::Number(n)}), name) << n;
  }
}

TEST_F(DescribeType, AMovieSeesTheClassesAndMembersOfItsVersion) {
  // The player's own Shader came with version 10; before 9 a movie sees version 9's API.
  m.swfVersion = 9;
  HideNewerDeclaredClasses(m, 9);
  EXPECT_EQ(m.FindClass("flash.display.Shader"), nullptr);
  EXPECT_NE(m.FindClass("flash.display.Sprite"), nullptr);
  const std::string mouse = Call("flash.utils", "describeType", {Value::Obj(m.FindClass("flash.events.MouseEvent"))});
  EXPECT_EQ(mouse.find("name=\"movementX\""), std::string::npos) << "a member of a later version";
  EXPECT_NE(mouse.find("name=\"localX\""), std::string::npos);
}

}  // namespace
}  // namespace vantrel::flash::avm2
