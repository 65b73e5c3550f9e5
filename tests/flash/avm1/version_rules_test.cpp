// Rules that depend on the SWF version of the code that runs, and variable paths, checked
// on raw action bytes the way a movie's DoAction hands them to the interpreter.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "script_fixture.h"

namespace vantrel::flash::avm1 {
namespace {

using testing::ScriptFixture;

// Builds an action block: pushes of strings, numbers and booleans and one-byte actions.
class Actions {
 public:
  Actions& Str(const std::string& s) {
    std::vector<std::uint8_t> data{0};
    data.insert(data.end(), s.begin(), s.end());
    data.push_back(0);
    return Push(data);
  }
  Actions& Num(double v) {
    std::vector<std::uint8_t> data{6};
    std::uint8_t b[8];
    std::memcpy(b, &v, 8);
    // Doubles in a push are stored high word first.
    for (int i = 4; i < 8; ++i) data.push_back(b[i]);
    for (int i = 0; i < 4; ++i) data.push_back(b[i]);
    return Push(data);
  }
  Actions& Bool(bool v) { return Push({5, static_cast<std::uint8_t>(v)}); }
  Actions& Raw(const Actions& other) {
    bytes_.insert(bytes_.end(), other.bytes_.begin(), other.bytes_.end());
    return *this;
  }
  Actions& Op(std::uint8_t code) {
    bytes_.push_back(code);
    return *this;
  }
  // function name() { body } without parameters.
  Actions& Function(const std::string& name, const Actions& body) {
    std::vector<std::uint8_t> head(name.begin(), name.end());
    head.push_back(0);
    head.insert(head.end(), {0, 0});  // no parameters
    head.push_back(static_cast<std::uint8_t>(body.bytes_.size() & 0xFF));
    head.push_back(static_cast<std::uint8_t>(body.bytes_.size() >> 8));
    bytes_.push_back(0x9B);
    bytes_.push_back(static_cast<std::uint8_t>(head.size() & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(head.size() >> 8));
    bytes_.insert(bytes_.end(), head.begin(), head.end());
    bytes_.insert(bytes_.end(), body.bytes_.begin(), body.bytes_.end());
    return *this;
  }
  // with (popped object) { body }
  Actions& With(const Actions& body) {
    bytes_.insert(bytes_.end(), {0x94, 2, 0, static_cast<std::uint8_t>(body.bytes_.size() & 0xFF),
                                 static_cast<std::uint8_t>(body.bytes_.size() >> 8)});
    bytes_.insert(bytes_.end(), body.bytes_.begin(), body.bytes_.end());
    return *this;
  }
  // try { body } finally { cleanup }, without a catch block.
  Actions& TryFinally(const Actions& body, const Actions& cleanup) {
    const auto u16 = [](std::size_t v) { return std::vector<std::uint8_t>{static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>(v >> 8)}; };
    std::vector<std::uint8_t> head{0x02};  // flags: a finally block
    for (std::size_t size : {body.bytes_.size(), std::size_t{0}, cleanup.bytes_.size()}) {
      const auto b = u16(size);
      head.insert(head.end(), b.begin(), b.end());
    }
    head.push_back(0);  // the catch name: empty
    bytes_.push_back(0x8F);
    const auto length = u16(head.size());
    bytes_.insert(bytes_.end(), length.begin(), length.end());
    bytes_.insert(bytes_.end(), head.begin(), head.end());
    bytes_.insert(bytes_.end(), body.bytes_.begin(), body.bytes_.end());
    bytes_.insert(bytes_.end(), cleanup.bytes_.begin(), cleanup.bytes_.end());
    return *this;
  }
  ActionBlock Block() const {
    auto v = bytes_;
    v.push_back(0);
    return std::make_shared<const std::vector<std::uint8_t>>(std::move(v));
  }

 private:
  Actions& Push(const std::vector<std::uint8_t>& data) {
    bytes_.push_back(0x96);
    bytes_.push_back(static_cast<std::uint8_t>(data.size() & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(data.size() >> 8));
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
  }
  std::vector<std::uint8_t> bytes_;
};

constexpr std::uint8_t kTrace = 0x26, kEquals = 0x0E, kDivide = 0x0D, kGetVariable = 0x1C, kSetVariable = 0x1D,
                       kStringLess = 0x29, kTypeOf = 0x44, kCharToAscii = 0x32, kAsciiToChar = 0x33,
                       kSubString = 0x15, kInitObject = 0x43, kDefineLocal = 0x3C;

std::vector<std::string> RunActions(ScriptFixture& f, const Actions& a, int version, Object* target = nullptr) {
  f.traces.clear();
  f.machine.RunBlock(a.Block(), target ? target : f.rt.MakeObject(), version);
  return f.traces;
}

// ASnative(2, 0) tells whether the script function that runs was called by `new`.
TEST(Avm1VersionRules, AsNewAnswersForTheRunningScriptFunction) {
  ScriptFixture f;
  Actions asNew;  // trace(ASnative(2, 0)())
  asNew.Num(0).Num(0).Num(2).Num(2).Str("ASnative").Op(0x3D).Str("").Op(0x52).Op(kTrace);
  Actions a;
  a.Function("f", asNew);
  a.Num(0).Str("f").Op(0x3D).Op(0x17);  // f()
  a.Num(0).Str("f").Op(0x40).Op(0x17);  // new f()
  a.Raw(asNew);                          // outside any function
  EXPECT_EQ(RunActions(f, a, 8), (std::vector<std::string>{"false", "true", "false"}));
}

// Numeric strings: from SWF 6 on, "0x" starts a hexadecimal and a leading 0 an octal
// 32-bit integer (their values wrap); before, both are plain decimals or not numbers.
TEST(Avm1VersionRules, HexadecimalAndOctalStringsAreNumbersFromSwf6) {
  ScriptFixture f;
  Actions a;
  for (const char* text : {"0x1F", "017", "0xFFFFFFFF", "-017", "09", " 0x10"}) a.Str(text).Op(0x4A).Op(kTrace);
  EXPECT_EQ(RunActions(f, a, 6), (std::vector<std::string>{"31", "15", "-1", "-15", "9", "NaN"}));
  EXPECT_EQ(RunActions(f, a, 5), (std::vector<std::string>{"NaN", "17", "NaN", "-17", "9", "NaN"}));
}

// The unsigned shift gives its 32 bits back as a signed integer in movies up to SWF 8,
// unsigned from SWF 9.
TEST(Avm1VersionRules, UnsignedShiftIsSignedUpToSwf8) {
  ScriptFixture f;
  Actions a;
  a.Num(-1).Num(0).Op(0x65).Op(kTrace);
  a.Num(-16).Num(32).Op(0x65).Op(kTrace);  // the count is taken modulo 32
  a.Num(-16).Num(2).Op(0x65).Op(kTrace);
  EXPECT_EQ(RunActions(f, a, 8), (std::vector<std::string>{"-1", "-16", "1073741820"}));
  EXPECT_EQ(RunActions(f, a, 9), (std::vector<std::string>{"4294967295", "4294967280", "1073741820"}));
}

TEST(Avm1VersionRules, Swf4ComparisonsAreBooleansThatPrintAsDigits) {
  ScriptFixture f;
  Actions a;
  a.Num(1).Num(1).Op(kEquals).Op(kTrace);                    // 1
  a.Num(1).Num(1).Op(kEquals).Op(kTypeOf).Op(kTrace);        // boolean
  a.Num(4).Num(0).Op(kDivide).Op(kTrace);                    // #ERROR#
  EXPECT_EQ(RunActions(f, a, 4), (std::vector<std::string>{"1", "boolean", "#ERROR#"}));
  EXPECT_EQ(RunActions(f, a, 5), (std::vector<std::string>{"true", "boolean", "Infinity"}));
}

TEST(Avm1VersionRules, Swf4SeesNoThisOrGlobalAndObjectsReadAsZero) {
  ScriptFixture f;
  Actions a;
  a.Str("this").Op(kGetVariable).Op(kTrace);
  a.Str("_global").Op(kGetVariable).Op(kTypeOf).Op(kTrace);
  a.Num(0).Op(kInitObject).Num(2).Op(kDivide).Op(kTrace);  // {} / 2
  EXPECT_EQ(RunActions(f, a, 4), (std::vector<std::string>{"undefined", "undefined", "0"}));
  EXPECT_EQ(RunActions(f, a, 6), (std::vector<std::string>{"[object Object]", "object", "NaN"}));
}

TEST(Avm1VersionRules, StringsCompareByCodePointsAndCharactersBeyondTheBmp) {
  ScriptFixture f;
  Actions a;
  a.Str("\xEF\xBD\xA1").Str("\xF0\x90\x80\x82").Op(kStringLess).Op(kTrace);  // U+FF61 < U+10002
  a.Str("\xF0\x9F\x98\x8B").Op(kCharToAscii).Op(kTrace);                     // no single code
  a.Num(65616).Op(kAsciiToChar).Op(kTrace);                                  // low 16 bits: "P"
  a.Num(0xD801).Op(kAsciiToChar).Op(kCharToAscii).Op(kTrace);                // lone half: U+FFFD
  a.Str("abcdefghij").Num(4294967303.0).Num(-4294967294.0).Op(kSubString).Op(kTrace);  // wraps to 7, 2
  EXPECT_EQ(RunActions(f, a, 6), (std::vector<std::string>{"true", "65533", "P", "65533", "gh"}));
}

TEST(Avm1VersionRules, DotPathsFallBackToOuterScopesAndVarFollowsPaths) {
  ScriptFixture f;
  Object* timeline = f.rt.MakeObject();
  Object* local = f.rt.MakeObject();
  f.machine.Set(local, "b", f.Str("from timeline"));
  f.machine.Set(timeline, "a", Value::Obj(local));
  Object* ga = f.rt.MakeObject();
  Object* gb = f.rt.MakeObject();
  f.machine.Set(gb, "c", f.Str("from global"));
  f.machine.Set(ga, "b", Value::Obj(gb));
  f.machine.Set(f.rt.global, "a", Value::Obj(ga));
  Actions a;
  a.Str("a.b").Op(kGetVariable).Op(kTrace);
  a.Str("a.b.c").Op(kGetVariable).Op(kTrace);
  a.Str("a.b.d").Str("set").Op(kSetVariable);  // the timeline's a.b is a string: the global one takes it
  a.Str("o.p").Str("made").Op(kDefineLocal);    // no o: var through a path makes nothing
  EXPECT_EQ(RunActions(f, a, 7, timeline), (std::vector<std::string>{"from timeline", "from global"}));
  EXPECT_EQ(f.Text(f.machine.Get(gb, "d")), "set");
  EXPECT_FALSE(f.machine.Has(timeline, "o.p"));
}

TEST(Avm1VersionRules, ALookupThroughAPrototypeLoopStopsTheScript) {
  ScriptFixture f;
  Actions a;
  a.Str("o").Num(0).Op(kInitObject).Op(kDefineLocal);                      // var o = {}
  a.Str("o").Op(kGetVariable).Str("__proto__").Str("o").Op(kGetVariable).Op(0x4F);  // o.__proto__ = o
  a.Str("before").Op(kTrace);
  a.Str("o").Op(kGetVariable).Str("x").Op(0x4E).Op(0x17);                   // o.x;
  a.Str("after").Op(kTrace);
  EXPECT_EQ(RunActions(f, a, 8), (std::vector<std::string>{"before"}));
}

TEST(Avm1VersionRules, AReturnInsideTryRunsEveryFinallyBlockFirst) {
  ScriptFixture f;
  constexpr std::uint8_t kReturn = 0x3E;
  Actions inner, innerCleanup, outer, outerCleanup, a;
  inner.Str("try").Op(kTrace).Num(5).Op(kReturn).Str("not reached").Op(kTrace);
  innerCleanup.Str("inner finally").Op(kTrace);
  outer.TryFinally(inner, innerCleanup).Str("not reached either").Op(kTrace);
  outerCleanup.Str("outer finally").Op(kTrace);
  a.TryFinally(outer, outerCleanup).Str("after").Op(kTrace);
  EXPECT_EQ(RunActions(f, a, 7), (std::vector<std::string>{"try", "inner finally", "outer finally"}));
}

TEST(Avm1VersionRules, AFunctionCalledFromALocalVariableRunsOnTheActivation) {
  ScriptFixture f;
  constexpr std::uint8_t kCallFunction = 0x3D, kPop = 0x17, kGetMember = 0x4E;
  Actions show, outer, a;
  show.Str("this").Op(kGetVariable).Str("x").Op(kGetMember).Op(kTrace);  // trace(this.x)
  outer.Str("x").Str("local").Op(kDefineLocal);                          // var x = "local"
  outer.Str("g").Str("show").Op(kGetVariable).Op(kDefineLocal);          // var g = show
  outer.Num(0).Str("g").Op(kCallFunction).Op(kPop);                      // g()
  outer.Num(0).Str("show").Op(kCallFunction).Op(kPop);                   // show()
  a.Function("show", show).Function("outer", outer);
  a.Str("x").Str("timeline").Op(kSetVariable);
  a.Num(0).Str("outer").Op(kCallFunction).Op(kPop);
  EXPECT_EQ(RunActions(f, a, 7), (std::vector<std::string>{"local", "timeline"}));
}

// SWF 5 functions are no closures: a function made inside another one sees the
// timeline's variables, not the locals of the call that made it.
TEST(Avm1VersionRules, Swf5FunctionsSeeTheTimelineNotTheScopeTheyWereMadeIn) {
  ScriptFixture f;
  constexpr std::uint8_t kCallFunction = 0x3D, kPop = 0x17;
  Actions inner, outer, a;
  inner.Str("foo").Op(kGetVariable).Op(kTrace);               // trace(foo)
  outer.Str("foo").Str("local").Op(kDefineLocal);             // var foo = "local"
  outer.Function("inner", inner);
  outer.Num(0).Str("inner").Op(kCallFunction).Op(kPop);       // inner()
  a.Function("outer", outer);
  a.Str("foo").Str("timeline").Op(kSetVariable);
  a.Num(0).Str("outer").Op(kCallFunction).Op(kPop);
  EXPECT_EQ(RunActions(f, a, 5), (std::vector<std::string>{"timeline"}));
  EXPECT_EQ(RunActions(f, a, 6), (std::vector<std::string>{"local"}));
}

// Which globals a movie sees by its version: the flash.* packages from SWF 8,
// TextField.StyleSheet from SWF 7, MovieClipLoader from SWF 6. The classes of what the
// player offers none of answer so: no camera, no screen reader, no socket.
TEST(Avm1VersionRules, GlobalsAppearByVersionAndDevicesAnswerThatThereAreNone) {
  ScriptFixture f;
  constexpr std::uint8_t kGetMember = 0x4E, kCallMethod = 0x52, kNewObject = 0x40;
  Actions a;
  a.Str("flash").Op(kGetVariable).Op(kTypeOf).Op(kTrace);
  a.Str("flash").Op(kGetVariable).Str("text").Op(kGetMember).Str("TextRenderer").Op(kGetMember).Op(kTypeOf).Op(kTrace);
  a.Str("TextField").Op(kGetVariable).Str("StyleSheet").Op(kGetMember).Op(kTypeOf).Op(kTrace);
  a.Str("MovieClipLoader").Op(kGetVariable).Op(kTypeOf).Op(kTrace);
  EXPECT_EQ(RunActions(f, a, 8), (std::vector<std::string>{"object", "function", "function", "function"}));
  EXPECT_EQ(RunActions(f, a, 7), (std::vector<std::string>{"undefined", "undefined", "function", "function"}));
  EXPECT_EQ(RunActions(f, a, 6), (std::vector<std::string>{"undefined", "undefined", "undefined", "function"}));

  // MovieClip's getDepth, like Button's, is hidden from code of SWF 5 and earlier.
  Actions depth;
  depth.Str("MovieClip").Op(kGetVariable).Str("prototype").Op(kGetMember).Str("getDepth").Op(kGetMember).Op(kTypeOf).Op(kTrace);
  EXPECT_EQ(RunActions(f, depth, 6), (std::vector<std::string>{"function"}));
  EXPECT_EQ(RunActions(f, depth, 5), (std::vector<std::string>{"undefined"}));

  Actions devices;
  devices.Num(0).Str("Camera").Op(kGetVariable).Str("get").Op(kCallMethod).Op(kTrace);
  devices.Num(0).Str("Microphone").Op(kGetVariable).Str("names").Op(kGetMember).Str("length").Op(kGetMember).Op(kTrace);
  devices.Num(0).Str("Accessibility").Op(kGetVariable).Str("isActive").Op(kCallMethod).Op(kTrace);
  devices.Num(1024).Str("localhost").Num(2).Num(0).Str("XMLSocket").Op(kNewObject).Str("connect").Op(kCallMethod).Op(kTrace);
  EXPECT_EQ(RunActions(f, devices, 8), (std::vector<std::string>{"null", "0", "false", "false"}));
}

// A function called by name and found on the object of a with block runs on that object.
TEST(Avm1VersionRules, AFunctionFoundOnAWithObjectRunsOnIt) {
  ScriptFixture f;
  constexpr std::uint8_t kCallFunction = 0x3D, kPop = 0x17, kGetMember = 0x4E;
  Actions show, call, a;
  show.Str("this").Op(kGetVariable).Str("bar").Op(kGetMember).Op(kTrace);  // trace(this.bar)
  call.Num(0).Str("f").Op(kCallFunction).Op(kPop);                          // f()
  a.Str("bar").Str("timeline").Op(kSetVariable);
  a.Str("o").Str("bar").Str("object").Str("f").Function("", show).Num(2).Op(kInitObject).Op(kSetVariable);
  a.Str("o").Op(kGetVariable).With(call);
  EXPECT_EQ(RunActions(f, a, 7), (std::vector<std::string>{"object"}));
}

TEST(Avm1VersionRules, AToStringThatGivesNoStringLeavesTheTypeName) {
  ScriptFixture f;
  constexpr std::uint8_t kReturn = 0x3E, kSetMember = 0x4F;
  Actions number, text, a;
  number.Num(4).Op(kReturn);
  text.Str("fine").Op(kReturn);
  a.Function("four", number).Function("fine", text);
  a.Str("o").Num(0).Op(kInitObject).Op(kSetVariable);
  a.Str("o").Op(kGetVariable).Str("toString").Str("four").Op(kGetVariable).Op(kSetMember);
  a.Str("o").Op(kGetVariable).Op(kTrace);
  a.Str("o").Op(kGetVariable).Str("toString").Str("fine").Op(kGetVariable).Op(kSetMember);
  a.Str("o").Op(kGetVariable).Op(kTrace);
  EXPECT_EQ(RunActions(f, a, 7), (std::vector<std::string>{"[type Object]", "fine"}));
}

TEST(Avm1VersionRules, Swf5ComparesTwoObjectsByTheirValuesAndIgnoresNamelessMembers) {
  ScriptFixture f;
  constexpr std::uint8_t kNewObject = 0x40, kEquals2 = 0x49, kSetMember = 0x4F, kGetMember = 0x4E;
  Actions a;
  a.Num(1).Num(1).Str("Number").Op(kNewObject);  // new Number(1)
  a.Num(1).Num(1).Str("Number").Op(kNewObject);
  a.Op(kEquals2).Op(kTrace);
  a.Str("o").Num(0).Op(kInitObject).Op(kSetVariable);
  a.Str("o").Op(kGetVariable).Str("").Str("x").Op(kSetMember);  // o[""] = "x"
  a.Str("o").Op(kGetVariable).Str("").Op(kGetMember).Op(kTrace);
  EXPECT_EQ(RunActions(f, a, 5), (std::vector<std::string>{"true", "undefined"}));
  EXPECT_EQ(RunActions(f, a, 6), (std::vector<std::string>{"false", "undefined"}));
}

TEST(Avm1VersionRules, VarInsideWithOutsideFunctionsSetsTheWithObjectsOwnName) {
  ScriptFixture f;
  constexpr std::uint8_t kSetMember = 0x4F, kGetMember = 0x4E;
  Actions body, a;
  body.Str("b").Num(10).Op(kDefineLocal).Str("c").Num(10).Op(kDefineLocal);  // var b = 10; var c = 10
  a.Str("m").Num(0).Op(kInitObject).Op(kSetVariable);
  a.Str("m").Op(kGetVariable).Str("b").Num(20).Op(kSetMember);
  a.Str("m").Op(kGetVariable);
  a.With(body);
  a.Str("m").Op(kGetVariable).Str("b").Op(kGetMember).Op(kTrace);
  a.Str("m").Op(kGetVariable).Str("c").Op(kGetMember).Op(kTrace);
  a.Str("c").Op(kGetVariable).Op(kTrace);
  EXPECT_EQ(RunActions(f, a, 7), (std::vector<std::string>{"10", "undefined", "10"}));
}

TEST(Avm1VersionRules, TheNearestResolveThatIsAnObjectAnswers) {
  ScriptFixture f;
  constexpr std::uint8_t kSetMember = 0x4F, kGetMember = 0x4E, kReturn = 0x3E;
  Actions answer, a;
  answer.Str("resolved").Op(kReturn);
  a.Function("answer", answer);
  a.Str("p").Num(0).Op(kInitObject).Op(kSetVariable);
  a.Str("p").Op(kGetVariable).Str("__resolve").Str("answer").Op(kGetVariable).Op(kSetMember);
  a.Str("o").Num(0).Op(kInitObject).Op(kSetVariable);
  a.Str("o").Op(kGetVariable).Str("__proto__").Str("p").Op(kGetVariable).Op(kSetMember);
  a.Str("o").Op(kGetVariable).Str("__resolve").Num(42).Op(kSetMember);  // passed over
  a.Str("o").Op(kGetVariable).Str("foo").Op(kGetMember).Op(kTrace);
  a.Str("o").Op(kGetVariable).Str("__resolve").Num(0).Op(kInitObject).Op(kSetMember);  // an object: ends it
  a.Str("o").Op(kGetVariable).Str("foo").Op(kGetMember).Op(kTrace);
  EXPECT_EQ(RunActions(f, a, 7), (std::vector<std::string>{"resolved", "undefined"}));
}

TEST(Avm1VersionRules, ForInListsThePrototypesNamesBeforeTheObjectsOwn) {
  ScriptFixture f;
  Object* base = f.rt.MakeObject();
  for (const char* name : {"c", "b", "a"}) f.machine.Set(base, name, f.Str(name));
  Object* derived = f.rt.MakeObject(base);
  f.machine.Set(derived, "c", f.Str("own c"));
  f.machine.Set(derived, "e", f.Str("own e"));
  // Newest first on each object; c is listed where it is own.
  EXPECT_EQ(f.machine.Enumerate(derived), (std::vector<std::string>{"a", "b", "e", "c"}));
}


// Getters and setters that touch their own property: nested calls stop at the player's
// limit (65 getter and setter calls together from SWF 7, one at a time before), and the
// access past it reads or writes the value the property keeps underneath, which is the
// outermost assignment's once everything has returned.
struct Reentrant {
  static inline int getterCalls = 0, setterCalls = 0;
  static inline Object* target = nullptr;
  static Value Getter(Call& call) {
    ++getterCalls;
    return call.machine.Get(target, "prop");
  }
  static Value Setter(Call& call) {
    ++setterCalls;
    call.machine.Set(target, "prop", call.machine.Str("inner"));
    return Value();
  }
};

TEST(Avm1VersionRules, AccessorsThatTouchTheirOwnPropertyStopAtTheNestingLimit) {
  for (const int version : {6, 7}) {
    ScriptFixture f;
    f.machine.SetDefaultVersion(version);
    Object* o = f.rt.MakeObject();
    Reentrant::target = o;
    Reentrant::getterCalls = Reentrant::setterCalls = 0;
    o->DefineAccessor("prop", f.rt.MakeFunction(&Reentrant::Getter), f.rt.MakeFunction(&Reentrant::Setter));
    f.machine.Set(o, "prop", f.Str("outer"));
    EXPECT_EQ(Reentrant::setterCalls, version >= 7 ? 65 : 1) << version;
    EXPECT_EQ(f.Text(f.machine.Get(o, "prop")), "outer") << version;
    EXPECT_EQ(Reentrant::getterCalls, version >= 7 ? 65 : 1) << version;
    // The count starts again for the next access.
    f.machine.Get(o, "prop");
    EXPECT_EQ(Reentrant::getterCalls, version >= 7 ? 130 : 2) << version;
  }
}

struct Rewatch {
  static inline int calls = 0;
  static Value Watcher(Call& call) {
    ++calls;
    call.machine.Set(call.self, "w", call.machine.Str("again"));
    return call.Arg(2);
  }
};

TEST(Avm1VersionRules, AWatcherThatAssignsItsPropertyRunsAgainUpToTheLimit) {
  for (const int version : {6, 7}) {
    ScriptFixture f;
    f.machine.SetDefaultVersion(version);
    Object* o = f.rt.MakeObject();
    Rewatch::calls = 0;
    o->AddWatcher(Watcher{"w", f.rt.MakeFunction(&Rewatch::Watcher), Value()});
    f.machine.Set(o, "w", f.Str("first"));
    EXPECT_EQ(Rewatch::calls, version >= 7 ? 65 : 1) << version;
    // The outermost watcher's answer is stored last.
    EXPECT_EQ(f.Text(f.machine.Get(o, "w")), "first") << version;
  }
}

// Add2 converts its second operand first, with one method each (valueOf, or toString
// for a date from SWF 6); a method that gives an object leaves the object itself, which
// the addition then converts again, and a missing method gives undefined.
TEST(Avm1VersionRules, AddConvertsTheSecondOperandFirstAndKeepsObjectsThatStayObjects) {
  ScriptFixture f;
  constexpr std::uint8_t kAdd2 = 0x47, kSetMember = 0x4F, kReturn = 0x3E;
  const auto method = [](const char* name, Actions result) {
    Actions body;
    body.Str(name).Op(kTrace).Raw(result).Op(kReturn);
    return body;
  };
  Actions a;
  a.Function("one", method("one", Actions().Num(1)));
  a.Function("obj", method("obj", Actions().Num(0).Op(kInitObject)));
  a.Function("str", method("str", Actions().Str("s")));
  const auto object = [&](const char* name, const char* valueOf, const char* toString) {
    a.Str(name).Num(0).Op(kInitObject).Op(kSetVariable);
    a.Str(name).Op(kGetVariable).Str("valueOf").Str(valueOf).Op(kGetVariable).Op(kSetMember);
    a.Str(name).Op(kGetVariable).Str("toString").Str(toString).Op(kGetVariable).Op(kSetMember);
  };
  object("x", "one", "str");
  object("y", "obj", "str");
  object("z", "none", "none");
  a.Str("x").Op(kGetVariable).Str("y").Op(kGetVariable).Op(kAdd2).Op(kTrace);  // x + y
  a.Str("").Str("y").Op(kGetVariable).Op(kAdd2).Op(kTrace);                     // "" + y
  a.Str("").Str("z").Op(kGetVariable).Op(kAdd2).Op(kTrace);                     // "" + z
  EXPECT_EQ(RunActions(f, a, 8), (std::vector<std::string>{"obj", "one", "obj", "NaN", "obj", "str", "s", "undefined"}));

  // The old arithmetic: Subtract and Divide convert the second operand first, Add and
  // Multiply the first.
  Actions b;
  b.Function("two", method("two", Actions().Num(2)));
  b.Function("three", method("three", Actions().Num(3)));
  object("p", "two", "none");
  object("q", "three", "none");
  b.Raw(a);
  for (const std::uint8_t op : {std::uint8_t{0x0A}, std::uint8_t{0x0B}, std::uint8_t{0x0C}, kDivide})
    b.Str("p").Op(kGetVariable).Str("q").Op(kGetVariable).Op(op).Op(kTrace);
  const std::vector<std::string> traces = RunActions(f, b, 8);
  EXPECT_EQ(std::vector<std::string>(traces.end() - 12, traces.end()),
            (std::vector<std::string>{"two", "three", "5", "three", "two", "-1", "two", "three", "6", "three", "two",
                                      "0.666666666666667"}));
}

// The strings in the code of movies before SWF 6 are in the Western Windows code page;
// from SWF 6 they are UTF-8.
TEST(Avm1VersionRules, CodeStringsBeforeSwf6AreInTheWindowsCodePage) {
  ScriptFixture f;
  Actions a;
  a.Str("A\xC5\x80").Op(kTrace);
  a.Str("A\xC5\x80").Str("length").Op(0x4E).Op(kTrace);
  EXPECT_EQ(RunActions(f, a, 5), (std::vector<std::string>{"A\xC3\x85\xE2\x82\xAC", "3"}));
  Actions b;
  b.Str("A\xC3\x85").Op(kTrace);
  EXPECT_EQ(RunActions(f, b, 6), (std::vector<std::string>{"A\xC3\x85"}));
}

}  // namespace
}  // namespace vantrel::flash::avm1
