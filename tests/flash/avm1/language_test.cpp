// The language's built-in classes as scripts use them, called through the machine the
// way compiled code calls them (methods on values, constructors with new).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <string>
#include <vector>

#include "flash/avm1/builtins/broadcaster.h"
#include "script_fixture.h"

namespace vantrel::flash::avm1 {
namespace {

class Language : public ::testing::Test, public testing::ScriptFixture {
 protected:
  Value Call(const Value& target, const char* method, std::initializer_list<Value> args = {}) {
    const std::vector<Value> list(args);
    return machine.CallMethod(target, method, list);
  }
  // The same call from code of an older movie.
  Value CallAt(int version, const Value& target, const char* method, std::initializer_list<Value> args = {}) {
    const std::vector<Value> list(args);
    return machine.CallTopLevel(machine.GetMember(target, method), target, list, nullptr, version);
  }
  Value Fn(const char* name, std::initializer_list<Value> args) {
    const std::vector<Value> list(args);
    return machine.CallFunction(Global(name), Value(), list);
  }
  Value New(const char* name, std::initializer_list<Value> args = {}) {
    const std::vector<Value> list(args);
    return Value::Obj(machine.Construct(Global(name).AsObject(), list));
  }
  Value Array(std::initializer_list<Value> items) { return Value::Obj(machine.NewArray(std::vector<Value>(items))); }
  Value Strings(std::initializer_list<const char*> items) {
    std::vector<Value> v;
    for (const char* s : items) v.push_back(Str(s));
    return Value::Obj(machine.NewArray(v));
  }
  Value Record(std::initializer_list<std::pair<const char*, Value>> fields) {
    Object* o = machine.NewObject();
    for (const auto& [name, value] : fields) o->Define(name, value);
    return Value::Obj(o);
  }
  std::string Field(const Value& array, const char* name) {
    std::string out;
    for (const Value& e : array.AsObject()->Array()->elements) {
      if (!out.empty()) out += ",";
      out += Text(machine.Get(e.AsObject(), name));
    }
    return out;
  }
};

constexpr int kCaseInsensitive = 1, kDescending = 2, kUnique = 4, kIndexed = 8, kNumeric = 16;

TEST_F(Language, SortFlagsFollowThePlayer) {
  EXPECT_EQ(Text(Call(Array({Num(4), Num(1), Num(3), Num(22), Num(2)}), "sort")), "1,2,22,3,4");
  EXPECT_EQ(Text(Call(Array({Num(4), Num(1), Num(22), Num(2)}), "sort", {Num(kNumeric | kDescending)})), "22,4,2,1");
  EXPECT_EQ(Text(Call(Array({Num(INFINITY), Num(NAN), Num(4), Num(1), Num(NAN), Num(-INFINITY)}), "sort", {Num(kNumeric)})),
            "-Infinity,1,4,Infinity,NaN,NaN");
  // The player's quicksort is not stable: equal elements move the way it moves them.
  EXPECT_EQ(Text(Call(Strings({"TeSt", "h\xC3\xABllo", "H\xC3\x8BLLO", "test"}), "sort", {Num(kCaseInsensitive)})),
            "H\xC3\x8BLLO,h\xC3\xABllo,TeSt,test");
  // A duplicate makes UNIQUESORT give 0 and leave the array as it was.
  const Value dup = Array({Num(4), Num(1), Num(3), Num(3)});
  EXPECT_EQ(Text(Call(dup, "sort", {Num(kUnique)})), "0");
  EXPECT_EQ(Text(dup), "4,1,3,3");
  const Value letters = Strings({"d", "c", "a", "b"});
  EXPECT_EQ(Text(Call(letters, "sort", {Num(kIndexed)})), "2,3,1,0");
  EXPECT_EQ(Text(letters), "d,c,a,b");
  const Value mixed = Array({Str("test"), Num(4), Num(1), Str("22"), Value(), Num(3), Num(23), Num(2), Value::Bool(true)});
  EXPECT_EQ(Text(Call(mixed, "sort", {Num(31)})), "4,8,0,6,1,5,3,7,2");
  // Arguments the player does not understand give undefined; (flags, flags) takes the second.
  EXPECT_TRUE(Call(Array({Num(1), Num(2)}), "sort", {Value::Bool(true)}).IsUndefined());
  EXPECT_EQ(Text(Call(Array({Num(2), Num(3), Num(1)}), "sort", {Num(kDescending), Num(kNumeric)})), "1,2,3");
}

TEST_F(Language, SortWithAFunctionAndSortOnFields) {
  const Value descending = Value::Obj(rt.MakeFunction([](avm1::Call& c) -> Value {
    return Value::Number(c.machine.ToNumber(c.Arg(1)) - c.machine.ToNumber(c.Arg(0)));
  }));
  EXPECT_EQ(Text(Call(Array({Num(3), Num(10), Num(1)}), "sort", {descending})), "10,3,1");

  const Value people = Array({Record({{"n", Num(3)}}), Record({{"n", Num(22)}}), Record({{"n", Num(1)}})});
  Call(people, "sortOn", {Str("n")});
  EXPECT_EQ(Field(people, "n"), "1,22,3");
  Call(people, "sortOn", {Str("n"), Num(kNumeric | kDescending)});
  EXPECT_EQ(Field(people, "n"), "22,3,1");

  const Value rows = Array({Record({{"n", Str("foo")}, {"b", Num(2)}}), Record({{"n", Str("bar")}, {"b", Num(3)}}),
                            Record({{"n", Str("BAR")}, {"b", Num(22)}}), Record({{"n", Str("foo")}, {"b", Num(1)}})});
  Call(rows, "sortOn", {Strings({"n", "b"}), Array({Num(kCaseInsensitive), Num(kNumeric)})});
  EXPECT_EQ(Field(rows, "n") + "/" + Field(rows, "b"), "bar,BAR,foo,foo/3,22,1,2");

  // Only own data properties count: prototypes and getters are not asked.
  Object* a = machine.NewObject();
  a->proto = Record({{"order", Num(1)}}).AsObject();
  a->Define("name", Str("a"));
  Object* b = machine.NewObject();
  b->Define("name", Str("b"));
  b->Define("order", Num(2));
  const Value both = Array({Value::Obj(b), Value::Obj(a)});
  Call(both, "sortOn", {Str("order"), Num(kNumeric)});
  EXPECT_EQ(Field(both, "name"), "b,a");
  EXPECT_TRUE(Call(Array({Num(1)}), "sortOn").IsUndefined());
}

TEST_F(Language, ArrayMethodsOnArraysAndArrayLikes) {
  const Value a = Strings({"a", "b", "c", "d", "e"});
  EXPECT_TRUE(Call(a, "splice", {Value()}).IsUndefined());
  EXPECT_TRUE(Call(a, "splice", {Num(2), Value()}).IsUndefined());
  EXPECT_TRUE(Call(a, "splice", {Num(2), Num(-2)}).IsUndefined());
  EXPECT_EQ(Text(Call(a, "splice", {Num(1), Num(2), Str("x"), Str("y"), Str("z")})), "b,c");
  EXPECT_EQ(Text(a), "a,x,y,z,d,e");
  EXPECT_EQ(Text(Call(a, "splice", {Num(-2)})), "d,e");
  EXPECT_EQ(Text(Call(a, "slice", {Num(-3), Num(-1)})), "x,y");
  EXPECT_EQ(Text(Call(a, "slice", {Num(1), Value::Null()})), "");
  EXPECT_EQ(Text(Call(a, "concat", {Array({Num(1), Array({Num(2), Num(3)})}), Num(4)})), "a,x,y,z,1,2,3,4");
  EXPECT_EQ(machine.Get(Call(a, "concat", {Array({Num(1), Array({Num(2), Num(3)})})}).AsObject(), "length").number, 6);
  EXPECT_EQ(Text(Call(a, "join", {Str(" - ")})), "a - x - y - z");
  EXPECT_EQ(Text(Call(a, "reverse")), "z,y,x,a");
  EXPECT_EQ(Text(Fn("Array", {Num(3)})), "undefined,undefined,undefined");
  EXPECT_EQ(Text(New("Array", {Str("3")})), "3");

  // A native object is made once: Date's constructor run on an array (super() in a
  // script class) leaves it an array, while a plain object becomes a date.
  Object* dateCtor = Global("Date").AsObject();
  const auto initialize = [&](Object* self) {
    std::vector<Value> none;
    avm1::Call call{machine, Value::Obj(self), self, none, dateCtor, true};
    dateCtor->Function()->constructor(call);
  };
  Object* list = machine.NewArray({Num(1)});
  initialize(list);
  EXPECT_TRUE(list->IsArray());
  Object* plain = machine.NewObject();
  initialize(plain);
  EXPECT_EQ(plain->kind, NativeKind::Date);

  // An array holding itself, or a toString that converts `this` again, ends instead of
  // overflowing the stack.
  Object* self = machine.NewArray({Num(1)});
  self->Array()->elements.push_back(Value::Obj(self));
  EXPECT_EQ(Text(Call(Value::Obj(self), "join", {Str("-")})).substr(0, 7), "1-1,1,1");
  Object* loop = machine.NewObject();
  loop->Define("toString", machine.Get(rt.stringProto, "toUpperCase"));
  EXPECT_EQ(Text(machine.CallFunction(machine.Get(rt.stringProto, "toUpperCase"), Value::Obj(loop), {})), "");

  // The methods are generic: an object with a length works too.
  Object* like = machine.NewObject();
  like->Define("length", Num(0));
  const Value o = Value::Obj(like);
  EXPECT_EQ(machine.CallFunction(machine.Get(rt.arrayProto, "push"), o, std::vector<Value>{Str("p"), Str("q")}).number, 2);
  EXPECT_EQ(Text(machine.Get(like, "1")), "q");
  EXPECT_EQ(Text(machine.CallFunction(machine.Get(rt.arrayProto, "shift"), o, {})), "p");
  EXPECT_EQ(machine.ToNumber(machine.Get(like, "length")), 1);
  EXPECT_EQ(Text(machine.Get(like, "0")), "q");
}

TEST_F(Language, StringMethodsCountUtf16Units) {
  const Value s = Str("HELLO\xF0\x9D\x94\x84hello");  // a pair at units 5 and 6
  EXPECT_EQ(machine.Get(New("String", {s}).AsObject(), "length").number, 12);
  EXPECT_EQ(Text(Call(s, "substr", {Num(5), Num(2)})), "\xF0\x9D\x94\x84");
  // Half a pair stays a unit of its own, and the halves join again into the character.
  const Value low = Call(s, "substr", {Num(6), Num(3)});
  const Value high = Call(s, "substring", {Num(6), Num(3)});
  EXPECT_EQ(Text(low), "\xED\xB4\x84he");
  EXPECT_EQ(Text(high), "LO\xED\xA0\xB5");
  EXPECT_EQ(Text(Call(high, "concat", {low})), "LO\xF0\x9D\x94\x84he");
  EXPECT_EQ(Text(Call(s, "substr", {Num(4294967296.0), Num(-4294967294.0)})), "HE");
  EXPECT_EQ(Text(Call(s, "slice", {Num(-5)})), "hello");
  EXPECT_EQ(Text(Call(Str("hello world"), "substr", {Num(3), Num(-4)})), "lo worl");
  EXPECT_EQ(Text(Call(Str("hello world"), "substr", {Num(3), Num(-3)})), "");
  EXPECT_EQ(Call(s, "indexOf", {Str("h")}).number, 7);
  EXPECT_EQ(Call(s, "charCodeAt", {Num(5)}).number, 0xD835);
  EXPECT_TRUE(std::isnan(Call(s, "charCodeAt", {Num(-1)}).number));
  EXPECT_EQ(Text(Call(s, "toLowerCase")), "hello\xF0\x9D\x94\x84hello");

  const Value t = Str("aaatestFOOtestaaanull");
  EXPECT_EQ(Call(t, "indexOf", {Str("test"), Num(4294967300.0)}).number, 10);
  EXPECT_EQ(Call(t, "lastIndexOf", {Str("test"), Num(4294967300.0)}).number, 3);
  EXPECT_EQ(Call(t, "lastIndexOf", {Str("test"), Value::Null()}).number, -1);
  EXPECT_EQ(Call(t, "indexOf", {Str(""), Num(100)}).number, -1);
  EXPECT_TRUE(Call(t, "indexOf").IsUndefined());

  const Value fromCharCode = machine.Get(Global("String").AsObject(), "fromCharCode");
  EXPECT_EQ(Text(machine.CallFunction(fromCharCode, Value(), std::vector<Value>{Num(80), Num(-65456), Num(0), Num(82)})), "PP");
  EXPECT_EQ(Text(machine.CallFunction(fromCharCode, Value(), std::vector<Value>{Num(0x3039)})), "\xE3\x80\xB9");
}

TEST_F(Language, SplitDiffersBeforeSwf6) {
  const Value s = Str("A,,b,c,");
  const auto count = [&](const Value& parts) { return machine.Get(parts.AsObject(), "length").number; };
  EXPECT_EQ(count(Call(s, "split", {Str(",")})), 5);
  EXPECT_EQ(count(Call(s, "split", {Str(","), Num(2)})), 2);
  EXPECT_EQ(count(Call(s, "split", {Str(","), Num(-100)})), 0);
  EXPECT_EQ(count(Call(s, "split", {Str("")})), 7);
  EXPECT_EQ(count(Call(s, "split", {Value(), Num(0)})), 1);
  // SWF 5 code: no separator means a comma, an empty one the whole text.
  EXPECT_EQ(count(CallAt(5, s, "split", {Value()})), 5);
  EXPECT_EQ(count(CallAt(5, s, "split", {Str("")})), 1);
}

TEST_F(Language, NumberBooleanAndMath) {
  EXPECT_EQ(Text(Call(Num(255), "toString", {Num(16)})), "ff");
  EXPECT_EQ(Text(Call(Num(-255.9), "toString", {Num(2)})), "-11111111");
  EXPECT_EQ(Text(Call(Num(0.5), "toString", {Num(99)})), "0.5");
  EXPECT_EQ(Text(Call(New("Number", {Str("12")}), "valueOf")), "12");
  EXPECT_EQ(Text(Call(New("Boolean", {Num(1)}), "toString")), "true");
  const Value math = Global("Math");
  EXPECT_EQ(Call(math, "round", {Num(-12.5)}).number, -12);
  EXPECT_EQ(Call(math, "min").number, INFINITY);
  EXPECT_TRUE(std::isnan(Call(math, "max", {Num(1)}).number));
  EXPECT_EQ(Call(math, "max", {Num(1), Str("2")}).number, 2);
  for (int i = 0; i < 100; ++i) {
    const double r = Call(math, "random").number;
    ASSERT_TRUE(r >= 0 && r < 1);
  }
}

// Runs the body with the process in a fixed time zone.
class ZoneScope {
 public:
  explicit ZoneScope(const char* zone) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneScope() {
    if (had_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

TEST_F(Language, DateInUtcAndLocalTime) {
  ZoneScope zone("Asia/Kathmandu");  // +05:45 today; the player uses today's rules for 1970 too
  const Value epoch = New("Date", {Num(0)});
  EXPECT_EQ(Text(epoch), "Thu Jan 1 05:45:00 GMT+0545 1970");
  EXPECT_EQ(Call(epoch, "getTimezoneOffset").number, -345);
  const Value before = New("Date", {Num(-500)});
  EXPECT_EQ(Call(before, "getUTCFullYear").number, 1969);
  EXPECT_EQ(Call(before, "getUTCMilliseconds").number, 500);
  EXPECT_EQ(Call(before, "getUTCDay").number, 3);
  EXPECT_EQ(Call(New("Date", {Num(5.5)}), "getTime").number, 5.5);

  const Value d = New("Date", {Num(2001), Num(1), Num(3), Num(4), Num(5), Num(6)});
  EXPECT_EQ(Call(d, "getTime").number, 981152406000.0);
  EXPECT_EQ(Call(d, "getUTCDate").number, 2);
  EXPECT_EQ(Call(d, "getUTCHours").number, 22);
  // Setters carry over: month 13 is February of the next year.
  Call(d, "setMonth", {Num(13)});
  EXPECT_EQ(Text(d), "Sun Feb 3 04:05:06 GMT+0545 2002");
  Call(d, "setUTCHours", {Num(25), Num(61)});
  EXPECT_EQ(Call(d, "getUTCDate").number, 3);
  EXPECT_EQ(Call(d, "getUTCHours").number, 2);
  EXPECT_EQ(Call(d, "getUTCMinutes").number, 1);
  Call(d, "setYear", {Num(99)});
  EXPECT_EQ(Call(d, "getFullYear").number, 1999);

  const Value utc = machine.Get(Global("Date").AsObject(), "UTC");
  EXPECT_EQ(machine.CallFunction(utc, Value(), std::vector<Value>{Num(2001), Num(1), Num(3)}).number, 981158400000.0);
  EXPECT_EQ(Text(New("Date", {Num(NAN)})), "Invalid Date");
  EXPECT_EQ(Text(New("Date", {Num(8.64e15)})), "Sat Sep 13 05:45:00 GMT+0545 275760");
  EXPECT_TRUE(std::isnan(Call(New("Date", {Num(8.64e15 + 1)}), "getTime").number));
}

TEST_F(Language, CallAndApplyGivenNoObjectCallOnGlobal) {
  const Value self = Value::Obj(rt.MakeFunction([](avm1::Call& call) { return call.thisValue; }));
  const Value global = Value::Obj(rt.global);
  EXPECT_EQ(Call(self, "call", {Value()}).AsObject(), global.AsObject());
  EXPECT_EQ(Call(self, "apply", {Value::Null()}).AsObject(), global.AsObject());
  EXPECT_EQ(Call(self, "apply", {Value(), Array({Num(1)})}).AsObject(), global.AsObject());
  EXPECT_EQ(Text(Call(self, "call", {Num(5)})), "5");
  Object* o = machine.NewObject();
  EXPECT_EQ(Call(self, "apply", {Value::Obj(o)}).AsObject(), o);
}

TEST_F(Language, NumbersInOtherBasesAreWorkedOutIn32Bits) {
  const auto inRadix = [&](double n, double radix) { return Text(Call(New("Number", {Num(n)}), "toString", {Num(radix)})); };
  EXPECT_EQ(inRadix(255, 16), "ff");
  EXPECT_EQ(inRadix(-2147483647.9, 36), "-zik0zj");
  EXPECT_EQ(inRadix(5e9, 2), "1111111111111111111111111111111");  // clamped to 2^31 - 1
  // NaN and -2^31 have no positive counterpart in 32 bits: their digits fall below '0'.
  EXPECT_EQ(inRadix(NAN, 2), "-/" + std::string(31, '0'));
  EXPECT_EQ(inRadix(-2147483648.0, 4), "-." + std::string(15, '0'));  // 2 x 4^15
  EXPECT_EQ(inRadix(NAN, 10), "NaN");
}

TEST_F(Language, ParseIntRadixRules) {
  const auto parse = [&](const char* s, double radix = NAN) {
    return std::isnan(radix) ? Fn("parseInt", {Str(s)}) : Fn("parseInt", {Str(s), Num(radix)});
  };
  EXPECT_EQ(parse("0x1F").number, 31);
  EXPECT_EQ(parse("077").number, 63);       // octal only without spaces and other characters
  EXPECT_EQ(parse("  077").number, 77);
  EXPECT_EQ(parse("-0100z").number, -100);
  EXPECT_EQ(parse("0x100", 36).number, 1296);  // "0x" is skipped whatever the radix
  EXPECT_EQ(parse(" 0x100", 36).number, 1540944);
  EXPECT_EQ(parse("-0x100", 36).number, 1540944);  // and a sign before it is lost
  EXPECT_TRUE(std::isnan(parse("-0x100").number));
  EXPECT_EQ(parse("0x -100").number, -256);
  EXPECT_EQ(parse("11", 3.8).number, 4);
  EXPECT_TRUE(std::isnan(parse("100", 1).number));
  EXPECT_TRUE(std::isnan(parse("100", 37).number));
  EXPECT_TRUE(std::isnan(parse("0x").number));
  EXPECT_TRUE(Fn("parseInt", {}).IsUndefined());

  EXPECT_EQ(Text(Fn("parseFloat", {Str("1.2345.678")})), "1.2345678");
  EXPECT_EQ(Fn("parseFloat", {Str("1e4294967297")}).number, 10);
  EXPECT_EQ(Fn("parseFloat", {Str("10e-")}).number, 10);
  EXPECT_EQ(Fn("parseFloat", {Str(".1499999")}).number, 0.14999990000000005);
  EXPECT_TRUE(std::isnan(Fn("parseFloat", {Str("Infinity")}).number));
  EXPECT_FALSE(Fn("isFinite", {Str("1e400")}).boolean);
  EXPECT_TRUE(Fn("isNaN", {Str("x")}).boolean);
}

TEST_F(Language, EscapeAndUnescape) {
  EXPECT_EQ(Text(Fn("escape", {Str("az09@*_+-./ \xC4\x80")})), "az09%40%2A%5F%2B%2D%2E%2F%20%C4%80");
  EXPECT_EQ(Text(Fn("unescape", {Str("%C4%80%e3%81%82+x")})), "\xC4\x80\xE3\x81\x82 x");
  EXPECT_EQ(Text(Fn("unescape", {Str("aaa%zz")})), "aaaz");
  EXPECT_EQ(Text(Fn("unescape", {Str("aaa%4zz")})), "aaaz");
  EXPECT_EQ(Text(Fn("unescape", {Str("%_a%@b%.c%")})), "abc");
  EXPECT_EQ(Text(Fn("unescape", {Str("%u0100")})), "0100");
  EXPECT_TRUE(Fn("escape", {}).IsUndefined());
}

TEST_F(Language, ObjectMethodsAndPropertyFlags) {
  Object* o = machine.NewObject();
  o->Define("a", Num(1));
  o->Define("b", Num(2));
  const Value ov = Value::Obj(o);
  EXPECT_TRUE(Call(ov, "hasOwnProperty", {Str("a")}).boolean);
  EXPECT_FALSE(Call(ov, "hasOwnProperty", {Str("toString")}).boolean);
  EXPECT_TRUE(machine.CallMethod(Value::Obj(rt.objectProto), "isPrototypeOf", std::vector<Value>{ov}).boolean);

  const Value flags = Global("ASSetPropFlags");
  machine.CallFunction(flags, Value(), std::vector<Value>{ov, Str("a,b"), Num(kDontEnum | kReadOnly)});
  EXPECT_FALSE(Call(ov, "isPropertyEnumerable", {Str("a")}).boolean);
  EXPECT_EQ(o->FindOwn("b", true)->attributes, kDontEnum | kReadOnly);
  machine.CallFunction(flags, Value(), std::vector<Value>{ov, Value::Null(), Num(0), Num(kReadOnly)});
  EXPECT_EQ(o->FindOwn("a", true)->attributes, kDontEnum);
  // A property hidden from SWF 7 code reads as undefined in SWF 6 code but is still own
  // there; 0x100 hides only from SWF 6.
  machine.CallFunction(flags, Value(), std::vector<Value>{ov, Str("b"), Num(kVersion7)});
  EXPECT_TRUE(CallAt(6, ov, "hasOwnProperty", {Str("b")}).boolean);
  EXPECT_TRUE(VisibleIn(kVersion7, 7));
  EXPECT_FALSE(VisibleIn(kVersion7, 6));
  EXPECT_TRUE(VisibleIn(kHiddenInSwf6, 5));
  EXPECT_FALSE(VisibleIn(kHiddenInSwf6, 6));
  EXPECT_TRUE(VisibleIn(kHiddenInSwf6, 7));

  const Value getter = Value::Obj(rt.MakeFunction([](avm1::Call& c) -> Value { return c.machine.Str("got"); }));
  EXPECT_FALSE(Call(ov, "addProperty", {Str("p"), getter, Num(1)}).boolean);  // a setter must be a function or null
  EXPECT_FALSE(Call(ov, "addProperty", {Str(""), getter, Value::Null()}).boolean);
  EXPECT_TRUE(Call(ov, "addProperty", {Str("p"), getter, Value::Null()}).boolean);
  EXPECT_EQ(Text(machine.Get(o, "p")), "got");
  EXPECT_TRUE(o->FindOwn("p", true)->attributes & kReadOnly);

  EXPECT_TRUE(Call(ov, "watch", {Str("a"), getter}).boolean);
  EXPECT_FALSE(Call(ov, "watch", {Str("a"), Num(1)}).boolean);
  EXPECT_TRUE(Call(ov, "unwatch", {Str("a")}).boolean);
  EXPECT_FALSE(Call(ov, "unwatch", {Str("a")}).boolean);

  const Value registerClass = machine.Get(Global("Object").AsObject(), "registerClass");
  EXPECT_TRUE(machine.CallFunction(registerClass, Value(), std::vector<Value>{Str("sym"), getter}).boolean);
  EXPECT_EQ(rt.RegisteredClasses(machine.Version())["sym"], getter.AsObject());
  EXPECT_FALSE(machine.CallFunction(registerClass, Value(), std::vector<Value>{Str("sym"), Num(3)}).boolean);
  EXPECT_EQ(Text(Call(Value::Obj(machine.NewObject()), "toString")), "[object Object]");
  EXPECT_EQ(Text(Call(getter, "toString")), "[type Function]");
}

TEST_F(Language, NativeTables) {
  const Value asnative = Global("ASnative");
  const Value escape = machine.CallFunction(asnative, Value(), std::vector<Value>{Num(100), Num(0)});
  EXPECT_EQ(escape.AsObject(), Global("escape").AsObject());
  EXPECT_TRUE(machine.CallFunction(asnative, Value(), std::vector<Value>{Num(100)}).IsUndefined());
  // The index wraps at 32 bits.
  EXPECT_EQ(machine.CallFunction(asnative, Value(), std::vector<Value>{Num(103), Num(4294967296.0 + 16)}).AsObject(),
            machine.Get(rt.dateProto, "getTime").AsObject());

  Object* o = machine.NewObject();
  o->Define("f", Str("mine"));
  machine.CallFunction(Global("ASSetNative"), Value(), std::vector<Value>{Value::Obj(o), Num(200), Str("1a,,8c,f,6g"), Num(0)});
  EXPECT_EQ(machine.Get(o, "a").AsObject(), machine.Get(Global("Math").AsObject(), "abs").AsObject());
  EXPECT_EQ(o->FindOwn("c", true)->attributes, kVersion8);  // 200,2 is max
  EXPECT_EQ(o->FindOwn("f", true)->attributes, 0);          // kept its own attributes
  EXPECT_EQ(machine.Get(o, "g").AsObject(), machine.Get(Global("Math").AsObject(), "cos").AsObject());

  // ASSetNativeAccessor: a getter and setter pair per name. A name that was there takes
  // the version its list gives too; a number without a native still makes the name.
  Object* filters = machine.Get(Global("flash").AsObject(), "filters").AsObject();
  Object* filter = machine.Construct(machine.Get(filters, "ConvolutionFilter").AsObject(), {});
  ASSERT_NE(filter, nullptr);
  Object* a = machine.NewObject();
  a->Define("opacity", Str("mine"));
  machine.CallFunction(Global("ASSetNativeAccessor"), Value(),
                       std::vector<Value>{Value::Obj(a), Num(1109), Str("9opacity,,1late"), Num(17)});
  EXPECT_EQ(a->FindOwn("opacity", true)->attributes, kVersion9);
  EXPECT_NE(a->FindOwn("late", true), nullptr);
  machine.CallFunction(Global("ASSetNativeAccessor"), Value(),
                       std::vector<Value>{Value::Obj(filter), Num(1109), Str("opacity"), Num(17)});
  machine.Set(filter, "opacity", Num(0.2));
  EXPECT_DOUBLE_EQ(machine.Get(filter, "alpha").number, 0.2);
}

TEST_F(Language, ErrorAndBroadcaster) {
  EXPECT_EQ(Text(Call(New("Error", {Str("boom")}), "toString")), "boom");
  const Value plain = New("Error");
  EXPECT_EQ(Text(Call(plain, "toString")), "Error");
  EXPECT_FALSE(Call(plain, "hasOwnProperty", {Str("message")}).boolean);
  EXPECT_EQ(Text(machine.Get(plain.AsObject(), "name")), "Error");

  Object* source = machine.NewObject();
  machine.CallMethod(Global("AsBroadcaster"), "initialize", std::vector<Value>{Value::Obj(source)});
  const Value src = Value::Obj(source);
  Object* listener = machine.NewObject();
  listener->Define("ping", Value::Obj(rt.MakeFunction([](avm1::Call& c) -> Value {
                     c.machine.Trace("ping " + c.machine.ToString(c.Arg(0)));
                     // A listener may leave during the broadcast; the others still hear it.
                     c.machine.CallMethod(c.machine.Get(c.machine.Rt().global, "source"), "removeListener",
                                          std::vector<Value>{c.thisValue});
                     return Value();
                   })));
  rt.global->Define("source", src);
  const Value l = Value::Obj(listener);
  Object* second = machine.NewObject();
  second->Define("ping", listener->FindOwn("ping", true)->value);
  EXPECT_TRUE(Call(src, "addListener", {l}).boolean);
  EXPECT_TRUE(Call(src, "addListener", {l}).boolean);  // once only
  EXPECT_TRUE(Call(src, "addListener", {Value::Obj(second)}).boolean);
  EXPECT_EQ(machine.Get(machine.Get(source, "_listeners").AsObject(), "length").number, 2);
  EXPECT_TRUE(BroadcastMessage(machine, source, "ping", std::vector<Value>{Num(7)}));
  EXPECT_EQ(traces, (std::vector<std::string>{"ping 7", "ping 7"}));
  EXPECT_FALSE(Call(src, "removeListener", {l}).boolean);
  EXPECT_FALSE(BroadcastMessage(machine, machine.NewObject(), "ping"));
}


TEST_F(Language, PlayerQuirksOfConversions) {
  // Case tables are the player's older ones.
  EXPECT_EQ(Text(Call(Str("\xCF\x82"), "toUpperCase")), "\xCE\xA2");             // final sigma
  EXPECT_EQ(Text(Call(Str("\xE1\x82\xA0"), "toLowerCase")), "\xE1\x83\x90");  // Georgian
  // ASnative(200, n) of an unknown n still converts its arguments and gives NaN.
  const Value unknown = machine.CallFunction(Global("ASnative"), Value(), std::vector<Value>{Num(200), Num(50)});
  ASSERT_TRUE(unknown.IsObject());
  EXPECT_TRUE(std::isnan(machine.CallFunction(unknown, Value(), std::vector<Value>{Num(1)}).number));

  // ASSetPropFlags reads its flags before its names.
  std::vector<std::string> order;
  static std::vector<std::string>* log = nullptr;
  log = &order;
  Object* flags = machine.NewObject();
  flags->Define("valueOf", Value::Obj(rt.MakeFunction([](avm1::Call&) -> Value {
                  log->push_back("flags");
                  return Value::Number(1);
                })));
  Object* names = machine.NewObject();
  names->Define("toString", Value::Obj(rt.MakeFunction([](avm1::Call& c) -> Value {
                  log->push_back("names");
                  return c.machine.Str("a");
                })));
  Object* target = machine.NewObject();
  target->Define("a", Num(1));
  machine.CallFunction(Global("ASSetPropFlags"), Value(),
                       std::vector<Value>{Value::Obj(target), Value::Obj(names), Value::Obj(flags)});
  EXPECT_EQ(order, (std::vector<std::string>{"flags", "names"}));
  EXPECT_EQ(target->FindOwn("a", true)->attributes, kDontEnum);
  log = nullptr;
}

TEST_F(Language, BroadcasterListenersAsThePlayerKeepsThem) {
  Object* source = machine.NewObject();
  machine.CallMethod(Global("AsBroadcaster"), "initialize", std::vector<Value>{Value::Obj(source)});
  const Value src = Value::Obj(source);
  const auto listeners = [&] { return Text(machine.Get(source, "_listeners")); };
  Call(src, "addListener", {Value()});
  Call(src, "addListener", {Value::Null()});  // replaces undefined
  Call(src, "addListener", {Value::Bool(false)});
  EXPECT_EQ(listeners(), "null,false");
  EXPECT_TRUE(Call(src, "removeListener", {Value()}).boolean);
  EXPECT_EQ(listeners(), "false");
  // A broadcaster whose list was taken away gets a new one.
  machine.Set(source, "_listeners", Value::Null());
  EXPECT_TRUE(Call(src, "addListener", {Num(1)}).boolean);
  EXPECT_EQ(listeners(), "1");
  EXPECT_TRUE(Call(src, "broadcastMessage").IsUndefined());
  // The listener list is hidden from for..in.
  EXPECT_TRUE(source->FindOwn("_listeners", true)->attributes & kDontEnum);
}

// A watcher sees the value stored in the property, never what a getter answers; a getter
// put over an array index wins over the element.
TEST_F(Language, WatchersSeeStoredValuesAndGettersWinOverElements) {
  static std::vector<std::string> seen;
  seen.clear();
  const Value getter = Value::Obj(rt.MakeFunction([](avm1::Call& c) -> Value {
    seen.push_back("getter");
    return c.machine.Str("ten");
  }));
  const Value watcher = Value::Obj(rt.MakeFunction([](avm1::Call& c) -> Value {
    seen.push_back("old " + c.machine.ToString(c.Arg(1)));
    return c.Arg(2);
  }));
  Object* proto = machine.NewObject();
  proto->Define("x", Num(3));
  EXPECT_TRUE(Call(Value::Obj(proto), "addProperty", {Str("x"), getter, Value::Null()}).boolean);
  Object* o = machine.NewObject();
  o->proto = proto;
  EXPECT_TRUE(Call(Value::Obj(o), "watch", {Str("x"), watcher}).boolean);
  machine.Set(o, "x", Num(4));
  EXPECT_EQ(seen, (std::vector<std::string>{"old 3"}));

  const Value list = Array({Num(1), Num(2), Num(3)});
  EXPECT_TRUE(Call(list, "addProperty", {Num(2), getter, Value::Null()}).boolean);
  EXPECT_EQ(Text(machine.GetMember(list, "2")), "ten");
}

}  // namespace
}  // namespace vantrel::flash::avm1
