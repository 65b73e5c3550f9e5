// The data classes of the ActionScript 3 machine driven through its public calls:
// RegExp and the String methods that take one, JSON, ByteArray, searches in arrays and vectors.
#include <cmath>

#include <gtest/gtest.h>

#include "abc_writer.h"
#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {
namespace {

class DataClasses : public ::testing::Test {
 protected:
  gc::Heap heap;
  Machine m{heap};

  Value New(const std::string& cls, std::vector<Value> args = {}) {
    return Value::Obj(m.ConstructClass(m.FindClass(cls), args.data(), static_cast<int>(args.size())));
  }
  Value Re(const std::string& source, const std::string& flags = "") {
    return New("RegExp", {m.StrValue(source), m.StrValue(flags)});
  }
  Value S(const std::string& text) { return m.StrValue(text); }
  std::string Str(const Value& v) { return m.ToString(v); }
  // The text of the error a call throws ("" when it throws none).
  std::string ErrorOf(const std::function<void()>& fn) {
    try {
      fn();
    } catch (const Thrown& thrown) {
      return m.ToString(thrown.value);
    }
    return "";
  }
  std::string ErrorClassOf(const std::function<void()>& fn) {
    try {
      fn();
    } catch (const Thrown& thrown) {
      return m.QualifiedClassName(thrown.value);
    }
    return "";
  }
  Value Json(const std::string& method, std::vector<Value> args) {
    return m.CallPublic(Value::Obj(m.FindClass("JSON")), method, std::move(args));
  }
};

TEST_F(DataClasses, RegExpExecKeepsGroupsIndicesAndLastIndexAsTheLanguageDoes) {
  const Value re = Re("(?P<word>s\\w*)(x)?", "g");
  const Value first = m.CallPublic(re, "exec", {S("She sells seashells")});
  EXPECT_EQ(Str(first), "sells,sells,");
  EXPECT_EQ(Str(m.GetPublic(first, "word")), "sells");
  EXPECT_EQ(m.ToNumber(m.GetPublic(first, "index")), 4);
  EXPECT_EQ(m.ToNumber(m.GetPublic(re, "lastIndex")), 9);
  EXPECT_EQ(Str(m.CallPublic(re, "exec", {S("She sells seashells")})), "seashells,seashells,");
  EXPECT_TRUE(m.CallPublic(re, "exec", {S("She sells seashells")}).IsNull());
  EXPECT_EQ(m.ToNumber(m.GetPublic(re, "lastIndex")), 0) << "a failed global search starts over";

  // Without g the search always starts at 0 and lastIndex stays where it was.
  const Value once = Re("b+", "i");
  m.SetPublic(once, "lastIndex", Value::Number(3));
  EXPECT_EQ(Str(m.CallPublic(once, "exec", {S("aBba")})), "Bb");
  EXPECT_EQ(m.ToNumber(m.GetPublic(once, "lastIndex")), 3);

  // Indices count UTF-16 units: the emoji before the match is two.
  EXPECT_EQ(m.ToNumber(m.GetPublic(m.CallPublic(Re("x"), "exec", {S("\xF0\x9F\x91\xBEx")}), "index")), 2);
  // Flags print in one order whatever order they came in; unknown ones are dropped.
  EXPECT_EQ(Str(Re("a/b", "xsmigg?")), "/a/b/gimsx");
  EXPECT_EQ(ErrorOf([&] { New("RegExp", {Re("a"), S("g")}); }),
            "TypeError: Error #1100: Cannot supply flags when constructing one RegExp from another.");
  // A pattern that does not compile matches nothing instead of failing.
  EXPECT_FALSE(m.ToBoolean(m.CallPublic(Re("(unclosed"), "test", {S("(unclosed")})));
}

TEST_F(DataClasses, StringMethodsTakeRegExps) {
  EXPECT_EQ(Str(m.CallPublic(S("abcb"), "replace", {Re("(b)", "g"), S("[$1$&$$]")})), "a[bb$]c[bb$]");
  // $0 alone is text, before another digit it is the whole match; $2 without a group is text.
  EXPECT_EQ(Str(m.CallPublic(S("abc"), "replace", {Re("(b)"), S("<$0|$01|$2>")})), "a<$0|b1|$2>c");
  EXPECT_EQ(Str(m.CallPublic(S("a-b"), "replace", {Re("[ab]", "g"), S("$`")})), "-a-");
  const Value upper = Value::Obj(m.NewNativeFunction("upper", [](Machine& mm, const Value&, const Value* a, int n) {
    return mm.StrValue(mm.ToString(a[0]) + "@" + mm.ToString(a[n - 2]));
  }));
  EXPECT_EQ(Str(m.CallPublic(S("xyx"), "replace", {Re("x", "g"), upper})), "x@0yx@2");

  EXPECT_EQ(Str(m.CallPublic(S("abba"), "split", {Re("(b(b))")})), "a,bb,b,a");
  // An empty match splits wherever the last piece did not end: the text falls into its
  // units (the language's acceptance tests split every Unicode block this way).
  EXPECT_EQ(Str(m.CallPublic(S("a\xC4\x85" "bcde"), "split", {Re("f*")})), "a,\xC4\x85,b,c,d,e");
  EXPECT_EQ(Str(m.CallPublic(S("abc"), "split", {Re("x*")})), "a,b,c");
  EXPECT_EQ(Str(m.CallPublic(S("a,b"), "split", {Re(",?")})), "a,b");
  EXPECT_EQ(Str(m.CallPublic(S("a1b22c"), "split", {Re("\\d+"), Value::Number(2)})), "a,b");

  const Value all = m.CallPublic(S("matchablematmat"), "match", {Re("ma*t|a[a-z]*e", "g")});
  EXPECT_EQ(Str(all), "mat,able,mat,mat");
  EXPECT_EQ(m.ToNumber(m.GetPublic(m.CallPublic(S("AAA"), "match", {Re("A*", "g")}), "length")), 1);
  EXPECT_EQ(m.ToNumber(m.CallPublic(S("abc"), "search", {S("c$")})), 2);
  EXPECT_EQ(m.ToNumber(m.CallPublic(S("abc"), "search", {Re("z")})), -1);
  // A start past the end (Infinity included) searches from the end.
  EXPECT_EQ(m.ToNumber(m.CallPublic(S("abcabc"), "lastIndexOf", {S("b"), Value::Number(INFINITY)})), 4);
  EXPECT_EQ(m.ToNumber(m.CallPublic(S("abcabc"), "lastIndexOf", {S("b"), Value::Number(1e300)})), 4);
}

TEST_F(DataClasses, JsonRoundTripsAndReportsWhatItCannotDo) {
  const Value parsed = Json("parse", {S(R"({"a":[1,2.5,"x\u0041\n"],"b":{"c":null,"d":true},"a":[3]})")});
  EXPECT_EQ(Str(m.GetPublic(parsed, "a")), "3") << "a repeated key keeps the last value";
  EXPECT_EQ(Str(Json("stringify", {parsed})), R"({"a":[3],"b":{"c":null,"d":true}})");
  EXPECT_EQ(Str(Json("stringify", {Json("parse", {S(R"(["x\u0041\n\"", -0.5e1])")})})), R"(["xA\n\"",-5])");
  EXPECT_EQ(Str(Json("stringify", {parsed, Value::Null(), Value::Number(2)})),
            "{\n  \"a\": [\n    3\n  ],\n  \"b\": {\n    \"c\": null,\n    \"d\": true\n  }\n}");
  EXPECT_EQ(Str(Json("stringify", {parsed, Value::Obj(m.NewArray({S("b"), S("d")}))})), R"({"b":{"d":true}})");
  EXPECT_EQ(Str(Json("stringify", {Value::Obj(m.NewArray({Value::Number(1)})), Value::Null(), Value::Number(NAN)})), "[1]")
      << "a space of NaN is no space";
  const Value dropD = Value::Obj(m.NewNativeFunction("drop", [](Machine& mm, const Value&, const Value* a, int) {
    return mm.ToString(a[0]) == "d" ? Value() : a[1];
  }));
  EXPECT_EQ(Str(Json("stringify", {Json("parse", {S(R"({"c":1,"d":2})"), dropD})})), R"({"c":1})");

  for (const char* bad : {"", "{", "[1,]", "{'a':1}", "01", "[1] x", "\"\x01\""})
    EXPECT_EQ(ErrorOf([&] { Json("parse", {S(bad)}); }), "SyntaxError: Error #1132: Invalid JSON parse input.") << bad;
  Object* cyclic = m.NewObject();
  cyclic->SetOwn("self", Value::Obj(cyclic));
  EXPECT_EQ(ErrorOf([&] { Json("stringify", {Value::Obj(cyclic)}); }),
            "TypeError: Error #1129: Cyclic structure cannot be converted to JSON string.");
  EXPECT_EQ(ErrorOf([&] { Json("stringify", {Value::Number(1), S("x")}); }),
            "TypeError: Error #1131: Replacer argument to JSON stringifier must be an array or a two parameter function.");
  // A sealed object has no toJSON to call: it is written from its properties.
  const Value point = New("flash.geom.Point", {Value::Number(1), Value::Number(2)});
  EXPECT_EQ(ErrorOf([&] { Json("stringify", {point}); }), "");
  EXPECT_NE(Str(Json("stringify", {point})).find("\"x\":1"), std::string::npos);
  // A class is written as an object; a function is left out, alone it gives null.
  const Value objectClass = Value::Obj(m.objectClass);
  EXPECT_EQ(Str(Json("stringify", {objectClass})), R"({"length":1,"prototype":{}})");
  const Value fn = m.GetPublic(Value::Obj(m.objectClass->prototype), "hasOwnProperty");
  EXPECT_TRUE(Json("stringify", {fn}).IsNull());
  EXPECT_EQ(Str(Json("stringify", {Value::Obj(m.NewArray({fn, objectClass}))})), R"([null,{"length":1,"prototype":{}}])");
  EXPECT_TRUE(Json("stringify", {Value()}).IsUndefined());
}

// Array takes the start of a search as an int (NaN and 1e300 become 0), a vector as a Number;
// both hold it within the list, and lastIndexOf from before the first element still looks at it.
TEST_F(DataClasses, ArrayAndVectorSearchesHoldTheirStartWithinTheList) {
  auto n = [](double v) { return Value::Number(v); };
  const Value array = Value::Obj(m.NewArray({n(7), n(8), n(7)}));
  const Value vector = Value::Obj(m.ConstructClass(ApplyVector(m, m.numberClass), nullptr, 0));
  m.CallPublic(vector, "push", {n(7), n(8), n(7)});
  auto at = [&](const Value& list, const char* method, double wanted, double from) {
    return m.ToNumber(m.CallPublic(list, method, {n(wanted), n(from)}));
  };
  for (const Value& list : {array, vector}) {
    EXPECT_EQ(at(list, "lastIndexOf", 7, NAN), 0);
    EXPECT_EQ(at(list, "lastIndexOf", 7, -10), 0);
    EXPECT_EQ(at(list, "lastIndexOf", 8, -10), -1);
    EXPECT_EQ(at(list, "lastIndexOf", 7, 1.9), 0);
    EXPECT_EQ(at(list, "lastIndexOf", 7, -1), 2);
    EXPECT_EQ(at(list, "indexOf", 7, NAN), 0);
    EXPECT_EQ(at(list, "indexOf", 7, -1.5), 2);
    EXPECT_EQ(at(list, "indexOf", 7, 3), -1);
  }
  EXPECT_EQ(at(array, "indexOf", 8, 1e300), 1);
  EXPECT_EQ(at(array, "indexOf", 7, 4294967298.0), 2);
  EXPECT_EQ(at(array, "lastIndexOf", 7, INFINITY), 0);
  EXPECT_EQ(at(vector, "indexOf", 8, 1e300), -1);
  EXPECT_EQ(at(vector, "lastIndexOf", 7, INFINITY), 2);
  EXPECT_EQ(m.ToNumber(m.CallPublic(Value::Obj(m.NewArray({})), "lastIndexOf", {n(7)})), -1);
}

TEST_F(DataClasses, ByteArrayReadsWhatItWroteInEitherByteOrder) {
  const Value ba = New("flash.utils.ByteArray");
  m.CallPublic(ba, "writeInt", {Value::Number(-2)});
  m.SetPublic(ba, "endian", S("littleEndian"));
  m.CallPublic(ba, "writeShort", {Value::Number(0x1234)});
  m.CallPublic(ba, "writeDouble", {Value::Number(1.5)});
  m.CallPublic(ba, "writeUTF", {S("h\xC3\xA9")});
  EXPECT_EQ(m.ToNumber(m.GetPublic(ba, "length")), 4 + 2 + 8 + 2 + 3);
  EXPECT_EQ(m.ToNumber(m.GetPublic(ba, "0")), 0xFF);
  EXPECT_EQ(m.ToNumber(m.GetPublic(ba, "4")), 0x34) << "little-endian puts the low byte first";
  m.SetPublic(ba, "position", Value::Number(0));
  m.SetPublic(ba, "endian", S("bigEndian"));
  EXPECT_EQ(m.ToNumber(m.CallPublic(ba, "readInt")), -2);
  m.SetPublic(ba, "endian", S("littleEndian"));
  EXPECT_EQ(m.ToNumber(m.CallPublic(ba, "readUnsignedShort")), 0x1234);
  EXPECT_EQ(m.ToNumber(m.CallPublic(ba, "readDouble")), 1.5);
  EXPECT_EQ(Str(m.CallPublic(ba, "readUTF")), "h\xC3\xA9");
  // flash.errors classes print with Error's name
  EXPECT_EQ(ErrorOf([&] { m.CallPublic(ba, "readByte"); }), "Error: Error #2030: End of file was encountered.");
  EXPECT_EQ(ErrorClassOf([&] { m.CallPublic(ba, "readByte"); }), "flash.errors::EOFError");
  EXPECT_EQ(ErrorOf([&] { m.SetPublic(ba, "endian", S("middle")); }),
            "ArgumentError: Error #2008: Parameter endian must be one of the accepted values.");

  // Compression in both formats gives the bytes back; garbage does not inflate.
  for (const char* format : {"zlib", "deflate"}) {
    const Value packed = New("flash.utils.ByteArray");
    for (int i = 0; i < 200; ++i) m.CallPublic(packed, "writeUTFBytes", {S("abc")});
    m.CallPublic(packed, "compress", {S(format)});
    EXPECT_LT(m.ToNumber(m.GetPublic(packed, "length")), 100) << format;
    m.CallPublic(packed, "uncompress", {S(format)});
    EXPECT_EQ(m.ToNumber(m.GetPublic(packed, "length")), 600) << format;
    EXPECT_EQ(Str(m.CallPublic(packed, "readUTFBytes", {Value::Number(6)})), "abcabc");
  }
  const Value garbage = New("flash.utils.ByteArray");
  m.SetPublic(garbage, "7", Value::Number(300));
  EXPECT_EQ(m.ToNumber(m.GetPublic(garbage, "7")), 44) << "stored bytes wrap";
  EXPECT_NE(ErrorOf([&] { m.CallPublic(garbage, "uncompress"); }), "");

  // Text skips a UTF-8 byte order mark; the whole text keeps a zero byte, text read
  // as a string stops at it.
  const Value text = New("flash.utils.ByteArray");
  m.CallPublic(text, "writeUTFBytes", {S("\xEF\xBB\xBFok")});
  m.CallPublic(text, "writeByte", {Value::Number(0)});
  m.CallPublic(text, "writeUTFBytes", {S("hidden")});
  EXPECT_EQ(Str(text), std::string("ok\0hidden", 9));
  m.SetPublic(text, "position", Value::Number(3));
  EXPECT_EQ(Str(m.CallPublic(text, "readUTFBytes", {Value::Number(9)})), "ok");
}

// writeObject and readObject speak Action Message Format 3: the bytes of simple values
// as the format lays them out, strings and objects sent again by reference, and what
// was written reads back.
TEST_F(DataClasses, ByteArrayObjectsInActionMessageFormat3) {
  const auto bytesOf = [&](const Value& v) {
    const Value b = New("flash.utils.ByteArray");
    m.CallPublic(b, "writeObject", {v});
    std::string hex;
    for (unsigned char c : static_cast<NativeObject*>(b.object)->text) {
      static const char* digits = "0123456789ABCDEF";
      hex += {digits[c >> 4], digits[c & 15], ' '};
    }
    return hex;
  };
  EXPECT_EQ(bytesOf(Value::Number(1)), "04 01 ");
  EXPECT_EQ(bytesOf(Value::Number(-1)), "04 FF FF FF FF ");
  EXPECT_EQ(bytesOf(Value::Number(268435456)), "05 41 B0 00 00 00 00 00 00 ") << "past 29 bits: a double";
  EXPECT_EQ(bytesOf(Value::Null()), "01 ");
  const Value list = New("Array");
  m.CallPublic(list, "push", {S("ab"), S("ab")});
  EXPECT_EQ(bytesOf(list), "09 05 01 06 05 61 62 06 00 ") << "the second string is a reference";
  const Value object = New("Object");
  m.SetPublic(object, "a", Value::Number(1));
  EXPECT_EQ(bytesOf(object), "0A 0B 01 03 61 04 01 01 ");

  // A structure with a shared date reads back with the sharing kept.
  const Value date = New("Date", {Value::Number(86400000)});
  const Value outer = New("Object");
  m.SetPublic(outer, "when", date);
  m.SetPublic(outer, "again", date);
  m.SetPublic(outer, "list", list);
  m.SetPublic(outer, "text", S("x\xC3\xA9"));
  const Value b = New("flash.utils.ByteArray");
  m.CallPublic(b, "writeObject", {outer});
  m.SetPublic(b, "position", Value::Number(0));
  const Value back = m.CallPublic(b, "readObject");
  EXPECT_EQ(m.ToNumber(m.CallPublic(m.GetPublic(back, "when"), "getTime")), 86400000);
  EXPECT_EQ(m.GetPublic(back, "when").object, m.GetPublic(back, "again").object);
  EXPECT_EQ(Str(m.GetPublic(back, "list")), "ab,ab");
  EXPECT_EQ(Str(m.GetPublic(back, "text")), "x\xC3\xA9");
  EXPECT_EQ(m.ToNumber(m.GetPublic(b, "bytesAvailable")), 0);
  EXPECT_NE(ErrorOf([&] { m.CallPublic(b, "readObject"); }).find("Error #2030: End of file was encountered."), std::string::npos);
}

// Date.prototype is an invalid date: its methods read from there are bound to it, so a
// function taken from it and stored on another object still works on the prototype's time.
TEST_F(DataClasses, DatePrototypeMethodsAreBoundToThePrototypeDate) {
  const Value proto = m.GetPublic(Value::Obj(m.FindClass("Date")), "prototype");
  EXPECT_EQ(Str(proto), "Invalid Date");
  const Value other = New("Object");
  m.SetPublic(other, "setTime", m.GetPublic(proto, "setTime"));
  m.SetPublic(other, "getTime", m.GetPublic(proto, "getTime"));
  m.SetPublic(other, "toString", m.GetPublic(proto, "toString"));
  EXPECT_TRUE(std::isnan(m.ToNumber(m.CallPublic(other, "getTime"))));
  EXPECT_EQ(Str(m.CallPublic(other, "toString")), "Invalid Date");
  EXPECT_EQ(m.ToNumber(m.CallPublic(other, "setTime", {Value::Number(86400000)})), 86400000);
  EXPECT_EQ(m.ToNumber(m.CallPublic(other, "getTime")), 86400000);
  EXPECT_EQ(m.ToNumber(m.CallPublic(proto, "getTime")), 86400000) << "the prototype's own time changed";
  // A real date still answers with its own time.
  EXPECT_EQ(m.ToNumber(m.CallPublic(New("Date", {Value::Number(5)}), "getTime")), 5);
  EXPECT_EQ(ErrorOf([&] { m.SetPublic(proto, "valueOf", m.GetPublic(proto, "getTime")); }),
            "ReferenceError: Error #1037: Cannot assign to a method valueOf on Date.");
}

}  // namespace
}  // namespace vantrel::flash::avm2

namespace vantrel::flash::avm2 {
namespace {

// Typed parameters: an explicit undefined is NaN for a Number (0 for a count) and null
// for a String (found nowhere), unlike a missing argument, which takes the default.
TEST_F(DataClasses, StringMethodsCoerceExplicitUndefinedAsTypedParameters) {
  const Value s = S("123456789");
  const auto call = [&](const Value& on, const char* method, std::vector<Value> args) {
    return Str(m.CallPublic(on, method, std::move(args)));
  };
  EXPECT_EQ(call(s, "substr", {Value::Number(2), Value()}), "");
  EXPECT_EQ(call(s, "substr", {Value::Number(2)}), "3456789");
  EXPECT_EQ(call(s, "substring", {Value::Number(2), Value()}), "12");
  EXPECT_EQ(call(s, "charAt", {Value::Number(std::nan(""))}), "1");
  EXPECT_EQ(call(s, "charAt", {Value::Number(1.7)}), "2");
  const Value text = S("hello undefined null");
  EXPECT_EQ(call(text, "indexOf", {Value()}), "-1");
  EXPECT_EQ(call(text, "indexOf", {Value::Null()}), "-1");
  EXPECT_EQ(call(text, "lastIndexOf", {Value::Null()}), "-1");
  EXPECT_EQ(call(text, "indexOf", {}), "6") << "a missing needle is the text undefined";
}

// removeAt and insertAt splice one element; negative indices count from the end, a hole
// removed reads as undefined.
TEST_F(DataClasses, ArrayRemoveAtAndInsertAt) {
  const auto num = [](double d) { return Value::Number(d); };
  const Value a = Value::Obj(m.NewArray({num(1), Value::Hole(), num(3), num(4)}));
  EXPECT_EQ(Str(m.CallPublic(a, "removeAt", {num(-1)})), "4");
  EXPECT_TRUE(m.CallPublic(a, "removeAt", {num(1)}).IsUndefined());
  EXPECT_TRUE(m.CallPublic(a, "removeAt", {num(9)}).IsUndefined());
  EXPECT_EQ(Str(a), "1,3");
  m.CallPublic(a, "insertAt", {num(-1), S("x")});
  m.CallPublic(a, "insertAt", {num(99), S("y")});
  EXPECT_EQ(Str(a), "1,x,3,y");
}

TEST_F(DataClasses, DeletingFromASealedObjectAnswersFalse) {
  const Value bytes = New("flash.utils.ByteArray");
  m.SetPublic(bytes, "0", Value::Number(7));
  EXPECT_FALSE(m.DeleteProperty(bytes, m.PublicName("0")));
  EXPECT_FALSE(m.DeleteProperty(bytes, m.PublicName("nothing")));
  EXPECT_EQ(m.ToNumber(m.GetPublic(bytes, "length")), 1);
  const Value plain = New("Object");
  m.SetPublic(plain, "a", Value::Number(1));
  EXPECT_TRUE(m.DeleteProperty(plain, m.PublicName("a")));
  EXPECT_TRUE(m.GetPublic(plain, "a").IsUndefined());
}

TEST_F(DataClasses, DictionaryKeysStayEnumerable) {
  const Value dict = New("flash.utils.Dictionary");
  m.SetPublic(dict, "1234567", Value::Bool(true));
  m.CallPublic(dict, "setPropertyIsEnumerable", {Value::Number(1234567), Value::Bool(false)});
  EXPECT_TRUE(m.ToBoolean(m.CallPublic(dict, "propertyIsEnumerable", {Value::Number(1234567)})));
  const Value plain = New("Object");
  m.SetPublic(plain, "k", Value::Bool(true));
  m.CallPublic(plain, "setPropertyIsEnumerable", {S("k"), Value::Bool(false)});
  EXPECT_FALSE(m.ToBoolean(m.CallPublic(plain, "propertyIsEnumerable", {S("k")})));
}

// Every number, an int-valued one too, reads dynamic properties from Number.prototype.
// Method closures cannot be constructed; other functions, natives too, can.
TEST_F(DataClasses, NumbersShareNumbersPrototypeAndOnlyClosuresRefuseNew) {
  m.SetPublic(Value::Obj(m.numberClass->prototype), "abc", Value::Number(99));
  EXPECT_EQ(Str(m.GetPublic(Value::Number(19), "abc")), "99");
  EXPECT_EQ(Str(m.GetPublic(Value::Number(1.5), "abc")), "99");
  EXPECT_TRUE(m.HasProperty(Value::Number(19), m.PublicName("abc")));
  const Value closure = m.GetPublic(New("flash.geom.Point"), "add");
  EXPECT_EQ(ErrorOf([&] { m.Construct(closure, nullptr, 0, CallerHolds::Nothing); }).substr(0, 22), "TypeError: Error #1064");
  const Value empty = m.Construct(Value::Obj(m.functionClass), nullptr, 0, CallerHolds::Nothing);
  EXPECT_TRUE(m.Construct(empty, nullptr, 0, CallerHolds::Nothing).IsObject());
}

// new on a movie's interface runs its bodiless constructor, which fails verification;
// RegExp's toString takes only a RegExp.
TEST_F(DataClasses, ConstructingAnInterfaceAndRegExpToStringOnAnotherObject) {
  vantrel::testing::AbcWriter w;
  const std::uint32_t name = w.NameIn(w.Namespace(0x16, "pkg"), "ITest");
  w.Class({name, 0, 0x04, {}, w.Declared({}, 0), w.Method({0xD0, 0x30, 0x47}), {}, {}});
  vantrel::testing::AbcWriter::Bytes code = {0xD0, 0x30, 0x65, 0x00, 0x20, 0x58, 0x00, 0x68};  // ... pushnull newclass 0 initproperty
  vantrel::testing::AbcWriter::U30(code, name);
  code.push_back(0x47);
  w.Script(w.Method(code));
  w.scriptClasses[0] = {{name, 4, 0}};
  std::string error;
  ASSERT_TRUE(m.LoadAbc(w.Finish(), false, error)) << error;
  ClassObject* iface = m.FindClass("pkg.ITest");
  ASSERT_TRUE(iface);
  EXPECT_EQ(ErrorOf([&] { m.ConstructClass(iface, nullptr, 0); }),
            "VerifyError: Error #1001: The method pkg::ITest() is not implemented.");
  const Value toString = m.GetPublic(Value::Obj(m.FindClass("RegExp")->prototype), "toString");
  EXPECT_EQ(ErrorOf([&] { m.Call(toString, New("Object"), nullptr, 0); }).substr(0, 22), "TypeError: Error #1034");
}

// URLVariables print as a query string (an Array gives one pair per element, names and
// values in UTF-8 percent escapes), and decode replaces a null variable.
TEST_F(DataClasses, UrlVariablesPrintAsAQueryString) {
  const Value vars = New("flash.net.URLVariables");
  m.SetPublic(vars, "a b", S("x=y"));
  m.SetPublic(vars, "list", Value::Obj(m.NewArray({Value::Number(1), S("\xF0\x9F\x98\xAD")})));
  m.SetPublic(vars, "empty", Value::Null());
  EXPECT_EQ(Str(m.CallPublic(vars, "toString", {})), "a%20b=x%3Dy&list=1&list=%F0%9F%98%AD&empty=null");
  m.CallPublic(vars, "decode", {S("empty=10")});
  EXPECT_EQ(Str(m.GetPublic(vars, "empty")), "10");
}

// escapeMultiByte writes every byte of the UTF-8 text but letters and digits as %XX, up to
// a NUL; unescapeMultiByte reads %XX back, drops a "%" without two hex digits after it (and
// what it took), and reads bytes that are not UTF-8 one character a byte.
TEST_F(DataClasses, MultiByteEscapesRoundTripAndDropBrokenPercents) {
  const auto call = [&](const char* name, const std::string& text) {
    Multiname mn;
    mn.id = m.Intern(name);
    mn.text = &m.NameText(mn.id);
    const NsId ns = m.InternNs(kNsNamespace, "flash.utils");
    mn.ns = &ns;
    mn.nsCount = 1;
    bool found = false;
    const Value fn = m.LookupDomain(mn, found);
    EXPECT_TRUE(found) << name;
    const Value arg = S(text);
    return Str(m.Call(fn, Value::Null(), &arg, 1));
  };
  EXPECT_EQ(call("escapeMultiByte", "a-b.c_\xF0\x9F\x91\xBE" "9"), "a%2Db%2Ec%5F%F0%9F%91%BE9");
  EXPECT_EQ(call("escapeMultiByte", std::string("P\0P", 3)), "P");
  EXPECT_EQ(call("unescapeMultiByte", "%F0%9f%91%BE%50"), "\xF0\x9F\x91\xBEP");
  for (const char* broken : {"%", "%A", "%AG", "%%", "%A%", "%G%"}) EXPECT_EQ(call("unescapeMultiByte", broken), "") << broken;
  EXPECT_EQ(call("unescapeMultiByte", "%GA"), "A");
  EXPECT_EQ(call("unescapeMultiByte", std::string("P\0P", 3)), "P");
  EXPECT_EQ(call("unescapeMultiByte", std::string("%\0H", 3)), "H");
  // Half a four-byte character is not UTF-8: each byte is a character of its own.
  EXPECT_EQ(call("unescapeMultiByte", "%F0%9F%91"), "\xC3\xB0\xC2\x9F\xC2\x91");
  // A surrogate's three bytes are its lone surrogate here, but U+FFFD in a ByteArray's text.
  EXPECT_EQ(call("unescapeMultiByte", "%ED%B0%80"), "\xED\xB0\x80");
  const Value bytes = New("flash.utils.ByteArray");
  m.CallPublic(bytes, "writeUTFBytes", {S("a")});
  static_cast<NativeObject*>(bytes.object)->text += "\xED\xB0\x80";
  EXPECT_EQ(Str(m.CallPublic(bytes, "toString", {})), "a\xEF\xBF\xBD");
}

TEST_F(DataClasses, UrlRequestMethodsAreGetOrPostInOneCase) {
  const Value request = New("flash.net.URLRequest");
  EXPECT_EQ(Str(m.GetPublic(request, "method")), "GET");
  m.SetPublic(request, "method", S("post"));
  EXPECT_EQ(Str(m.GetPublic(request, "method")), "post");
  for (const char* bad : {"Get", "PUT", "delete"})
    EXPECT_EQ(ErrorOf([&] { m.SetPublic(request, "method", S(bad)); }),
              "ArgumentError: Error #2008: Parameter method must be one of the accepted values.");
  EXPECT_EQ(Str(m.GetPublic(request, "method")), "post");
}

TEST_F(DataClasses, Vector3DKeepsItsOwnWAndMatrixRowsMoveThroughIt) {
  const auto v3 = [&](double x, double y, double z, double w) {
    return New("flash.geom.Vector3D", {Value::Number(x), Value::Number(y), Value::Number(z), Value::Number(w)});
  };
  const auto w = [&](const Value& v) { return m.ToNumber(m.GetPublic(v, "w")); };
  const Value a = v3(3, -4, 5, 6);
  EXPECT_EQ(Str(m.CallPublic(a, "add", {v3(1, 2, 3, 4)})), "Vector3D(4, -2, 8)");
  EXPECT_EQ(w(m.CallPublic(a, "add", {v3(1, 2, 3, 4)})), 0) << "a sum has w 0";
  m.CallPublic(a, "decrementBy", {v3(1, 2, -3, 4)});
  EXPECT_EQ(Str(a), "Vector3D(2, -6, 8)");
  EXPECT_EQ(w(a), 6) << "decrementBy keeps the receiver's w";
  m.CallPublic(a, "copyFrom", {v3(7, 8, 9, 10)});
  EXPECT_EQ(w(a), 6) << "copyFrom copies x, y and z only";
  EXPECT_EQ(w(m.CallPublic(v3(2, 4, 6, 8), "crossProduct", {v3(0.6, 0.5, 0.1, -0.2)})), 1);
  EXPECT_EQ(m.ToNumber(m.CallPublic(v3(-9, 12, 20, -100), "normalize", {})), 25);
  // An explicit undefined is NaN, a missing argument 0.
  EXPECT_EQ(Str(New("flash.geom.Vector3D", {Value(), Value::Number(1)})), "Vector3D(NaN, 1, 0)");
  // nearEquals is strict, and with allFour it holds the other vector's w to the tolerance.
  const Value p = v3(100, 200, 300, 200), q = v3(100, 200, 300, 0);
  EXPECT_FALSE(m.ToBoolean(m.CallPublic(p, "nearEquals", {p, Value::Number(0)})));
  EXPECT_TRUE(m.ToBoolean(m.CallPublic(p, "nearEquals", {q, Value::Number(100), Value::Bool(true)})));
  EXPECT_FALSE(m.ToBoolean(m.CallPublic(q, "nearEquals", {p, Value::Number(100), Value::Bool(true)})));

  // Matrix rows are (a, c, tx) and (b, d, ty); copyColumnFrom writes rows as the player does.
  const auto num = [](double d) { return Value::Number(d); };
  const Value matrix = New("flash.geom.Matrix", {num(2), num(3), num(5), num(7), num(11), num(13)});
  const Value row = v3(1, 2, 3, 4);
  m.CallPublic(matrix, "copyRowTo", {num(1), row});
  EXPECT_EQ(Str(row), "Vector3D(3, 7, 13)");
  m.CallPublic(matrix, "copyColumnTo", {num(2), row});
  EXPECT_EQ(Str(row), "Vector3D(11, 13, 1)");
  EXPECT_EQ(w(row), 4);
  m.CallPublic(matrix, "copyColumnFrom", {num(0), v3(17, 19, 23, 29)});
  EXPECT_EQ(Str(matrix), "(a=17, b=3, c=19, d=7, tx=23, ty=13)");
}

}  // namespace
}  // namespace vantrel::flash::avm2
