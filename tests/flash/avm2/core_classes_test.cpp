// The core classes where the player's own algorithm shows through: the order of sort's
// comparisons and of equal elements, holes read through the prototype, Vector.splice's
// counts, ByteArray text with zeros and UTF-16, and the E4X comparisons and printing.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "flash/avm2/builtins/support.h"
#include "flash/avm2/machine.h"
#include "script_error.h"

namespace vantrel::flash::avm2 {
namespace {

class CoreClasses : public ::testing::Test {
 protected:
  gc::Heap heap;
  Machine m{heap};
  std::string Str(const Value& v) { return m.ToString(v); }
  Value Array(const std::vector<double>& numbers) {
    std::vector<Value> values;
    for (double n : numbers) values.push_back(Value::Number(n));
    return Value::Obj(m.NewArray(std::move(values)));
  }
  Value CallGlobal(const std::string& name, std::vector<Value> args, const std::string& package = "") {
    bool found = false;
    Multiname qualified = m.PublicName(name);
    const NsId ns = m.InternNs(kNsNamespace, package);
    if (!package.empty()) {
      qualified.ns = &ns;
      qualified.nsCount = 1;
    }
    const Value function = m.LookupDomain(qualified, found);
    EXPECT_TRUE(found) << name;
    return m.Call(function, Value(), args.data(), static_cast<int>(args.size()));
  }
  double ParseFloat(const std::string& text) { return m.ToNumber(CallGlobal("parseFloat", {m.StrValue(text)})); }
  Value Construct(const std::string& cls, std::vector<Value> args = {}) {
    return Value::Obj(m.ConstructClass(m.FindClass(cls), args.data(), static_cast<int>(args.size())));
  }
};

// A comparator that logs each question and answers "equal".
std::vector<std::string> compared;
Value LogCompare(Machine& m, const Value&, const Value* args, int argc) {
  compared.push_back(m.ToString(Arg(args, argc, 0)) + "?" + m.ToString(Arg(args, argc, 1)));
  return Value::Number(0);
}

Value Subtract(Machine& m, const Value&, const Value* args, int argc) {
  return Value::Number(m.ToNumber(Arg(args, argc, 0)) - m.ToNumber(Arg(args, argc, 1)));
}

// Error.prototype is an Error: its name and message read directly, but a prototype chain
// passing through it finds neither (a class without a name of its own shows undefined).
TEST_F(CoreClasses, ErrorPrototypeKeepsItsNameAndMessageToItself) {
  const Value errorProto = m.GetPublic(Value::Obj(m.FindClass("Error")), "prototype");
  EXPECT_EQ(Str(m.CallPublic(errorProto, "toString")), "Error: Error");
  const Value objectToString = m.GetPublic(m.GetPublic(Value::Obj(m.FindClass("Object")), "prototype"), "toString");
  EXPECT_EQ(Str(m.CallPublic(objectToString, "call", {errorProto})), "[object Error]");
  const Value drmProto = m.GetPublic(Value::Obj(m.FindClass("flash.errors.DRMManagerError")), "prototype");
  EXPECT_TRUE(m.GetPublic(drmProto, "name").IsUndefined());
  EXPECT_EQ(Str(m.GetPublic(m.GetPublic(Value::Obj(m.FindClass("TypeError")), "prototype"), "name")), "TypeError");
  const Value drm = Construct("flash.errors.DRMManagerError", {m.StrValue("Lost"), Value::Number(42), Value::Number(10)});
  EXPECT_EQ(Str(m.CallPublic(drm, "toString")), "DRMManagerError: 'Lost', error ID:'42', subErrorID:'10'");
  EXPECT_EQ(Str(m.GetPublic(drm, "name")), "Error");
  EXPECT_EQ(m.ToNumber(m.GetPublic(drm, "subErrorID")), 10);
}

// parseFloat scales the whole digits by a power of ten made by squaring, so it is not
// always the nearest double; the exponent wraps in 32 bits.
TEST_F(CoreClasses, ParseFloatScalesItsDigitsAsThePlayerDoes) {
  EXPECT_EQ(Str(Value::Number(ParseFloat("+100e-100"))), "9.999999999999998e-99");
  EXPECT_EQ(Str(Value::Number(ParseFloat("-22222222.222222222"))), "-22222222.222222224");
  EXPECT_EQ(ParseFloat("  .2E20E1"), 2e19);
  EXPECT_EQ(ParseFloat("1e4294967297"), 10);
  EXPECT_EQ(ParseFloat("1e2147483648"), 0);
  EXPECT_EQ(ParseFloat("0e999"), 0);
  EXPECT_EQ(ParseFloat("10e"), 10);
  EXPECT_TRUE(std::isnan(ParseFloat("10e-")));
  EXPECT_EQ(ParseFloat("-Infinity"), -INFINITY);
  EXPECT_EQ(ParseFloat(".e10   Infinity"), INFINITY);
  EXPECT_TRUE(std::isnan(ParseFloat("Infinitya")));
  EXPECT_EQ(ParseFloat("1.2345.678"), 1.2345);  // SWF 10 and before read 12345.678
}

// Both parse a String parameter: undefined arrives as "null", a missing one as "NaN".
TEST_F(CoreClasses, ParseIntReadsUndefinedAsNullAndSkipsUnicodeSpaces) {
  EXPECT_EQ(m.ToNumber(CallGlobal("parseInt", {Value(), Value::Number(32)})), 785077);
  EXPECT_TRUE(std::isnan(m.ToNumber(CallGlobal("parseInt", {}))));
  EXPECT_EQ(m.ToNumber(CallGlobal("parseInt", {m.StrValue("\u2000\u3000-0x100")})), -256);
  EXPECT_EQ(m.ToNumber(CallGlobal("parseInt", {m.StrValue("077")})), 77);
}

// reverse turns the elements up to the last one set; holes past it stay at the end.
TEST_F(CoreClasses, ReverseLeavesTrailingHolesInPlace) {
  std::vector<Value> values(5, Value::Hole());
  values[1] = Value::Number(1);
  values[2] = Value::Number(2);
  const Value array = Value::Obj(m.NewArray(std::move(values)));
  m.CallPublic(array, "reverse");
  const auto& elements = static_cast<ArrayObject*>(array.object)->elements;
  EXPECT_EQ(Str(elements[0]), "2");
  EXPECT_EQ(Str(elements[1]), "1");
  EXPECT_EQ(elements[2].type, Value::Type::Hole);
  EXPECT_EQ(elements[4].type, Value::Type::Hole);
}

// Timers started while a timer's function runs count from the time that one was due, not
// from the frame that noticed it, so a chain of timers keeps the player's times.
TEST_F(CoreClasses, TimersStartedByATimerCountFromItsDueTime) {
  m.firingDue = 300;
  CallGlobal("setTimeout", {Value::Obj(m.NewNativeFunction("f", Subtract)), Value::Number(200)}, "flash.utils");
  const Value timer = Construct("flash.utils.Timer", {Value::Number(100), Value::Number(1)});
  m.CallPublic(timer, "start");
  m.firingDue = -1;
  ASSERT_EQ(m.timers.size(), 2u);
  EXPECT_EQ(m.timers[0].due, 500);
  EXPECT_EQ(m.timers[1].due, 400);
}

// call and apply read off a function are bound to it; the prototype functions take the
// global object for a null this, name every number a Number, and int's and uint's
// methods refuse numbers outside their class.
TEST_F(CoreClasses, PrototypeFunctionsAndBoundCall) {
  const Value objectToString = m.GetPublic(m.GetPublic(Value::Obj(m.objectClass), "prototype"), "toString");
  EXPECT_EQ(Str(m.CallPublic(objectToString, "call", {Value::Number(2)})), "[object Number]");
  EXPECT_EQ(Str(m.CallPublic(objectToString, "call", {Value::Null()})), "[object global]");
  const Value boundCall = m.GetPublic(objectToString, "call");
  EXPECT_EQ(Str(m.Call(boundCall, Value(), nullptr, 0)), "[object global]");
  const Value intToString = m.GetPublic(m.GetPublic(Value::Obj(m.intClass), "prototype"), "toString");
  const Value uintToString = m.GetPublic(m.GetPublic(Value::Obj(m.uintClass), "prototype"), "toString");
  const Value uintValueOf = m.GetPublic(m.GetPublic(Value::Obj(m.uintClass), "prototype"), "valueOf");
  EXPECT_NE(ScriptErrorOf(m, [&] { m.CallPublic(intToString, "call", {Value::Number(1.5)}); }), "");
  EXPECT_EQ(Str(m.CallPublic(uintToString, "call", {Value::Number(1.5)})), "1.5");
  EXPECT_NE(ScriptErrorOf(m, [&] { m.CallPublic(uintValueOf, "call", {Value::Number(-2)}); }), "");
}

TEST_F(CoreClasses, SortAsksInThePlayersOrderAndKeepsItsOrderOfEqualElements) {
  compared.clear();
  const Value array = Array({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  m.CallPublic(array, "sort", {Value::Obj(m.NewNativeFunction("compare", LogCompare))});
  // The middle element is the pivot, moved to the front; the walk starts beside it.
  ASSERT_GE(compared.size(), 3u);
  EXPECT_EQ(compared[0], "1?5");
  EXPECT_EQ(compared[1], "2?5");
  // All equal: the pivot swap is what moves elements.
  EXPECT_EQ(Str(array), "5,1,2,3,4,0,6,7,8,9");

  // Fractions of a comparator's result count from version 13 on; before, 0.4 is equal.
  const Value subtract = Value::Obj(m.NewNativeFunction("subtract", Subtract));
  const Value fractions = Array({0.5, 0.1});
  m.swfVersion = 12;
  m.CallPublic(fractions, "sort", {subtract});
  EXPECT_EQ(Str(fractions), "0.5,0.1");
  m.swfVersion = 13;
  m.CallPublic(fractions, "sort", {subtract});
  EXPECT_EQ(Str(fractions), "0.1,0.5");
}

TEST_F(CoreClasses, OldMoviesCompareSmallIntegersByTheirThirtyTwoBitDifference) {
  const Value wraps = Array({87000000, -245000000});
  m.swfVersion = 10;
  m.CallPublic(wraps, "sort", {Value::Number(16)});
  EXPECT_EQ(Str(wraps), "87000000,-245000000");
  m.swfVersion = 11;
  m.CallPublic(wraps, "sort", {Value::Number(16)});
  EXPECT_EQ(Str(wraps), "-245000000,87000000");
  // Numbers beyond 29 bits compare by value in every version.
  const Value large = Array({287000000, -273000000});
  m.swfVersion = 10;
  m.CallPublic(large, "sort", {Value::Number(16)});
  EXPECT_EQ(Str(large), "-273000000,287000000");
}

TEST_F(CoreClasses, SortAndSpliceReadHolesThroughThePrototype) {
  ArrayObject* a = m.NewArray({Value::Number(3), Value::Hole(), Value::Number(1), Value::Hole()});
  m.SetPublic(Value::Obj(m.arrayClass->prototype), "1", Value::Number(2));
  m.CallPublic(Value::Obj(a), "sort");
  // The hole at 1 sorted as 2; the one at 3 (undefined) stays last as a hole.
  ASSERT_EQ(a->elements.size(), 4u);
  EXPECT_EQ(Str(a->elements[1]), "2");
  EXPECT_EQ(a->elements[3].type, Value::Type::Hole);

  ArrayObject* b = m.NewArray({Value::Number(0), Value::Number(1), Value::Hole(), Value::Number(3)});
  m.SetPublic(Value::Obj(m.arrayClass->prototype), "2", Value::Number(7));
  m.CallPublic(Value::Obj(b), "splice", {Value::Number(0), Value::Number(1)});
  EXPECT_EQ(b->elements[1].type, Value::Type::Number) << "the moved hole took its old index's inherited value";
  EXPECT_EQ(Str(b->elements[1]), "7");
}

TEST_F(CoreClasses, VectorSpliceCountsBackFromTheEndAndAFixedVectorMayShrink) {
  const Value v = Value::Obj(m.ConstructClass(ApplyVector(m, m.intClass), nullptr, 0));
  m.CallPublic(v, "push", {Value::Number(1), Value::Number(2), Value::Number(3), Value::Number(4), Value::Number(5),
                           Value::Number(6)});
  // A negative count counts back from what follows start: 6 - 2 - 3 = 1.
  EXPECT_EQ(Str(m.CallPublic(v, "splice", {Value::Number(2), Value::Number(-3)})), "3");
  EXPECT_EQ(Str(m.CallPublic(v, "splice", {Value::Number(3), Value::Number(-9)})), "");
  m.SetPublic(v, "fixed", Value::Bool(true));
  EXPECT_EQ(Str(m.CallPublic(v, "splice", {Value::Number(0), Value::Number(2)})), "1,2");
  EXPECT_EQ(Str(v), "4,5,6");
  EXPECT_THROW(m.CallPublic(v, "splice", {Value::Number(0), Value::Number(0), Value::Number(9)}), Thrown);
  // Called as a function, the class converts a ByteArray byte by byte; a plain object is refused.
  const Value bytes = Construct("flash.utils.ByteArray");
  m.CallPublic(bytes, "writeByte", {Value::Number(7)});
  m.CallPublic(bytes, "writeByte", {Value::Number(-1)});
  const Value intVector = Value::Obj(ApplyVector(m, m.intClass));
  EXPECT_EQ(Str(m.Call(intVector, Value::Null(), &bytes, 1)), "7,255");
  const Value plain = Value::Obj(m.NewObject());
  EXPECT_THROW(m.Call(intVector, Value::Null(), &plain, 1), Thrown);
}

TEST_F(CoreClasses, ByteArrayTextKeepsZerosAndReadsBothUtf16Orders) {
  const Value bytes = Construct("flash.utils.ByteArray");
  m.CallPublic(bytes, "writeUTFBytes", {m.StrValue("hello")});
  m.CallPublic(bytes, "writeByte", {Value::Number(0)});
  m.CallPublic(bytes, "writeUTFBytes", {m.StrValue("world")});
  EXPECT_EQ(m.ToNumber(m.GetPublic(m.CallPublic(bytes, "toString"), "length")), 11);
  m.SetPublic(bytes, "position", Value::Number(0));
  EXPECT_EQ(Str(m.CallPublic(bytes, "readUTFBytes", {Value::Number(11)})), "hello");

  for (const char* charset : {"utf-16be", "utf-16le", "unicodeFFFE"}) {
    const Value b = Construct("flash.utils.ByteArray");
    m.CallPublic(b, "writeMultiByte", {m.StrValue("A"), m.StrValue(charset)});
    m.SetPublic(b, "position", Value::Number(0));
    const bool big = std::string(charset) != "utf-16le";
    EXPECT_EQ(m.ToNumber(m.CallPublic(b, "readUnsignedByte")), big ? 0 : 0x41) << charset;
    m.SetPublic(b, "position", Value::Number(0));
    EXPECT_EQ(Str(m.CallPublic(b, "readMultiByte", {Value::Number(2), m.StrValue(charset)})), "A") << charset;
  }
}

TEST_F(CoreClasses, XmlComparesBooleansAsTextAndPrintsAttributesBeforeDeclarations) {
  Value text = m.StrValue("<a x=\"1\" xmlns:p=\"urn:p\">true</a>");
  const Value xml = Value::Obj(m.ConstructClass(m.xmlClass, &text, 1));
  EXPECT_TRUE(m.LooseEquals(xml, Value::Bool(true)));
  EXPECT_FALSE(m.LooseEquals(xml, Value::Bool(false)));
  EXPECT_EQ(Str(m.CallPublic(xml, "toXMLString")), "<a x=\"1\" xmlns:p=\"urn:p\">true</a>");
  // "@x" given as text names the attribute; the prototypes' methods count for "in".
  EXPECT_TRUE(m.HasProperty(xml, m.PublicName("@x")));
  EXPECT_FALSE(m.HasProperty(xml, m.PublicName("@y")));
  EXPECT_TRUE(m.HasProperty(xml, m.PublicName("propertyIsEnumerable")));

  // So does "@y" written, read and asked for with hasOwnProperty.
  m.SetPublic(xml, "@y", m.StrValue("2"));
  EXPECT_EQ(Str(m.GetPublic(xml, "@y")), "2");
  EXPECT_TRUE(m.ToBoolean(m.CallPublic(xml, "hasOwnProperty", {m.StrValue("@y")})));
  EXPECT_FALSE(m.ToBoolean(m.CallPublic(xml, "hasOwnProperty", {m.StrValue("@z")})));

  // An unknown reference stays as written, with any "&" before it.
  Value unknown = m.StrValue("<d>A &&amp; B &x; C</d>");
  EXPECT_EQ(Str(Value::Obj(m.ConstructClass(m.xmlClass, &unknown, 1))), "A &&amp; B &x; C");

  // A child printed alone repeats its ancestors' declarations after its own.
  Value nested = m.StrValue("<r xmlns=\"urn:d\" xmlns:a=\"urn:a\"><a:c xmlns:b=\"urn:b\"/></r>");
  const Value root = Value::Obj(m.ConstructClass(m.xmlClass, &nested, 1));
  const Value child = m.CallPublic(root, "child", {Value::Number(0)});
  EXPECT_EQ(Str(m.CallPublic(child, "toXMLString")), "<a:c xmlns:b=\"urn:b\" xmlns=\"urn:d\" xmlns:a=\"urn:a\"/>");
}

TEST_F(CoreClasses, XmlNormalizeDropsBlankTextsButAListKeepsThem) {
  Value text = m.StrValue("<r/>");
  const Value element = Value::Obj(m.ConstructClass(m.xmlClass, &text, 1));
  m.CallPublic(element, "appendChild", {m.StrValue("  ")});
  m.CallPublic(element, "appendChild", {m.StrValue("\t")});
  const Value listCopy = m.CallPublic(m.CallPublic(element, "copy"), "children");
  m.CallPublic(element, "normalize");
  EXPECT_EQ(m.ToNumber(m.CallPublic(m.CallPublic(element, "children"), "length")), 0);
  m.CallPublic(listCopy, "normalize");
  EXPECT_EQ(m.ToNumber(m.CallPublic(listCopy, "length")), 1);
}

TEST_F(CoreClasses, QNamesAndNamespacesEnumerateTheirTwoParts) {
  const Value q = Construct("QName", {m.StrValue("urn:u"), m.StrValue("local")});
  std::vector<std::string> names, values;
  for (int i = m.NextIndex(q.object, 0); i > 0; i = m.NextIndex(q.object, i)) {
    names.push_back(Str(m.NameAt(q.object, i)));
    values.push_back(Str(m.ValueAt(q.object, i)));
  }
  // The names start with uri, a QName's values with its local name.
  EXPECT_EQ(names, (std::vector<std::string>{"uri", "localName"}));
  EXPECT_EQ(values, (std::vector<std::string>{"local", "urn:u"}));
  const Value ns = Construct("Namespace", {m.StrValue("p"), m.StrValue("urn:n")});
  EXPECT_EQ(Str(m.NameAt(ns.object, 2)), "prefix");
  EXPECT_EQ(Str(m.ValueAt(ns.object, 1)), "urn:n");
}

TEST_F(CoreClasses, AFunctionWithoutPrototypeGetsANewOneWhenConstructed) {
  const Value f = Value::Obj(m.NewNativeFunction("f", [](Machine&, const Value&, const Value*, int) { return Value(); }));
  m.SetPublic(f, "prototype", Value::Null());
  EXPECT_TRUE(m.GetPublic(f, "prototype").IsUndefined());
  const Value made = m.Construct(f, nullptr, 0);
  const Value proto = m.GetPublic(f, "prototype");
  ASSERT_TRUE(proto.IsObject());
  EXPECT_EQ(made.object->proto, proto.object);
}

}  // namespace
}  // namespace vantrel::flash::avm2
