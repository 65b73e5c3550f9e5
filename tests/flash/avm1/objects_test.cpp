// Functions, objects, arrays, prototypes and built-ins of the script core.
#include <algorithm>
#include <gtest/gtest.h>

#include "flash/movie_test_support.h"

namespace vantrel::flash {
namespace {

using testing::Actions;
using testing::Bytes;
using testing::PutBytes;

// Script helpers named after the source they stand for.
class Script : public Actions {
 public:
  Script& Op(std::uint8_t code) { Actions::Op(code); return *this; }
  Script& OpWith(std::uint8_t code, const Bytes& data) { Actions::OpWith(code, data); return *this; }
  Script& Raw(const Bytes& bytes) { Actions::Raw(bytes); return *this; }
  Script& Trace() { Actions::Trace(); return *this; }
  Script& TraceString(const std::string& s) { Actions::TraceString(s); return *this; }
  Script& GetVariable() { Actions::GetVariable(); return *this; }
  Script& SetVariable() { Actions::SetVariable(); return *this; }
  Script& Push(const std::string& s) { PushString(s); return *this; }
  Script& Push(double n) { PushNumber(n); return *this; }
  Script& PushRegister(std::uint8_t r) { Raw({0x96, 2, 0, 4, r}); return *this; }
  Script& PushNull() { Raw({0x96, 1, 0, 2}); return *this; }
  Script& Get(const std::string& name) { Push(name); GetVariable(); return *this; }
  Script& Call(const std::string& name, int args) { Push(args).Push(name); Op(0x3D); return *this; }
  // object and then the arguments must be pushed first (arguments last to first).
  Script& Method(const std::string& name) { Push(name); Op(0x52); return *this; }
  Script& Member(const std::string& name) { Push(name); Op(0x4E); return *this; }
  // function NAME(params) { body }: v1 definition.
  Script& Function(const std::string& name, const std::vector<std::string>& params, const Actions& body) {
    Bytes data;
    testing::PutString(data, name);
    testing::PutU16(data, static_cast<std::uint16_t>(params.size()));
    for (const auto& p : params) testing::PutString(data, p);
    testing::PutU16(data, static_cast<std::uint16_t>(body.Data().size()));
    OpWith(0x9B, data);
    Raw(body.Data());
    return *this;
  }
  // DefineFunction2 with each parameter in register 1 + its index and the given flags.
  Script& Function2(const std::string& name, int params, std::uint16_t flags, const Actions& body) {
    Bytes data;
    testing::PutString(data, name);
    testing::PutU16(data, static_cast<std::uint16_t>(params));
    data.push_back(8);
    testing::PutU16(data, flags);
    for (int i = 0; i < params; ++i) {
      data.push_back(static_cast<std::uint8_t>(2 + i));
      testing::PutString(data, "p" + std::to_string(i));
    }
    testing::PutU16(data, static_cast<std::uint16_t>(body.Data().size()));
    OpWith(0x8E, data);
    Raw(body.Data());
    return *this;
  }
};

std::vector<std::string> Traces(const Actions& actions, int version = 8) {
  Bytes tags = actions.Tag();
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1, version);
  return run->traces;
}

TEST(Avm1Objects, FunctionsReturnValuesAndRecurse) {
  Script add;
  add.Get("a").Get("b").Op(0x47).Op(0x3E);
  // function fact(n) { if (n > 1) return n * fact(n - 1); return 1; } written as a jump
  Script tail;
  tail.Get("n").Get("n").Push(1).Op(0x0B).Push(1).Push("fact").Op(0x3D).Op(0x0C).Op(0x3E);
  Script one;
  one.Push(1).Op(0x3E);
  Script body;
  body.Get("n").Push(1).Op(0x67);  // n > 1
  const auto skip = static_cast<std::uint8_t>(one.Data().size());
  body.OpWith(0x9D, {skip, 0}).Raw(one.Data()).Raw(tail.Data());
  Script s;
  s.Function("add", {"a", "b"}, add).Function("fact", {"n"}, body);
  s.Push(3).Push(2).Call("add", 2).Trace();
  s.Push(" world").Push("hello").Call("add", 2).Trace();
  s.Push(10).Call("fact", 1).Trace();
  s.Call("missing", 0).Trace();
  EXPECT_EQ(Traces(s), (std::vector<std::string>{"5", "hello world", "3628800", "undefined"}));
}

TEST(Avm1Objects, EndlessRecursionStopsAtTheCallDepth) {
  Script body;
  body.Call("f", 0).Op(0x3E);
  Script s;
  s.TraceString("before").Function("f", {}, body).Call("f", 0).Trace().TraceString("after");
  // The whole action list stops at the limit; the movie goes on.
  EXPECT_EQ(Traces(s), (std::vector<std::string>{"before"}));
}

// call() of the frame that runs it: the frame's actions nest like function calls and
// stop at the same depth instead of overflowing the stack (found by fuzzing).
TEST(Avm1Objects, AFrameThatCallsItselfStopsAtTheCallDepth) {
  Script s;
  s.TraceString("in").Push(1).Op(0x9E).TraceString("out");
  const auto traces = Traces(s);
  ASSERT_FALSE(traces.empty());
  EXPECT_LE(traces.size(), 257u);
  EXPECT_EQ(std::count(traces.begin(), traces.end(), "out"), 0);
}

TEST(Avm1Objects, ObjectLiteralsArraysAndMembers) {
  Script s;
  // o = {x: 1, y: "a"}; o.z = 5; trace(o.x); trace(o.z);
  s.Push("o").Push("x").Push(1).Push("y").Push("a").Push(2).Op(0x43).SetVariable();
  s.Get("o").Push("z").Push(5).Op(0x4F);
  s.Get("o").Member("x").Trace();
  s.Get("o").Member("z").Trace();
  // a = [1, 2, 3]; a.push(4); trace(a.length); trace(a.join("-")); trace(a);
  s.Push("a").Push(3).Push(2).Push(1).Push(3).Op(0x42).SetVariable();
  s.Push(4).Push(1).Get("a").Method("push").Op(0x17);
  s.Get("a").Member("length").Trace();
  s.Push("-").Push(1).Get("a").Method("join").Trace();
  s.Get("a").Trace();
  // a[1] = "b"; a.length = 2; trace(a); trace(a.slice(1));  trace(a.pop());
  s.Get("a").Push("1").Push("b").Op(0x4F);
  s.Get("a").Push("length").Push(2).Op(0x4F);
  s.Get("a").Trace();
  s.Push(1).Push(1).Get("a").Method("slice").Trace();
  s.Push(0).Get("a").Method("pop").Trace();
  // delete o.x; trace(o.x); trace(typeof o); trace(typeof a.push)
  s.Get("o").Push("x").Op(0x3A).Trace();
  s.Get("o").Member("x").Trace();
  s.Get("o").Op(0x44).Trace();
  s.Get("a").Member("push").Op(0x44).Trace();
  EXPECT_EQ(Traces(s), (std::vector<std::string>{"1", "5", "4", "1-2-3-4", "1,2,3,4", "1,b", "b", "b", "true",
                                               "undefined", "object", "function"}));
}

TEST(Avm1Objects, ConstructorsPrototypesAndInheritance) {
  // function P(v) { this.v = v; }  P.prototype.get = function () { return this.v; };
  Script ctor;
  ctor.Get("this").Push("v").Get("v").Op(0x4F);
  Script get;
  get.Get("this").Member("v").Op(0x3E);
  Script s;
  s.Function("P", {"v"}, ctor);
  s.Get("P").Member("prototype").Push("get").Function("", {}, get).Op(0x4F);
  s.Push("p").Push(7).Push(1).Push("P").Op(0x40).SetVariable();
  s.Push(0).Get("p").Method("get").Trace();
  s.Get("p").Get("P").Op(0x54).Trace();           // p instanceof P
  s.Get("p").Get("Array").Op(0x54).Trace();       // p instanceof Array
  // function Q() { super(); }  Q extends P;  q = new Q(); trace(q.get()); q.v = 3; trace(q.get())
  Script qctor;
  qctor.Push(9).Push(1).Push("super").GetVariable().Raw({0x96, 1, 0, 3}).Op(0x52).Op(0x17);
  s.Function("Q", {}, qctor);
  s.Get("Q").Get("P").Op(0x69);
  s.Push("q").Push(0).Push("Q").Op(0x40).SetVariable();
  s.Push(0).Get("q").Method("get").Trace();
  s.Get("q").Get("P").Op(0x54).Trace();
  // for (k in {a: 1, b: 2}) trace(k): enumerate pushes the names above an undefined
  // marker; the literal makes its members in stack order (b first), so a is the newest
  s.Push("e").Push("a").Push(1).Push("b").Push(2).Push(2).Op(0x43).SetVariable();
  s.Get("e").Op(0x55).Trace().Trace().Trace();
  EXPECT_EQ(Traces(s), (std::vector<std::string>{"7", "true", "false", "9", "true", "a", "b", "undefined"}));
}

TEST(Avm1Objects, SuperFollowsANewPrototypeChainOfThis) {
  // P.prototype.m = function () {
  //   this.__proto__ = {__proto__: Array.prototype, __constructor__: Array};
  //   return super(1, 2);
  // };  o = new P(); trace(o.m()); trace(o.length); trace(o instanceof P)
  Script m;
  m.Get("this").Push("__proto__");
  m.Push("__proto__").Get("Array").Member("prototype").Push("__constructor__").Get("Array").Push(2).Op(0x43);
  m.Op(0x4F);
  m.Push(2).Push(1).Push(2).Push("super").GetVariable().Raw({0x96, 1, 0, 3}).Op(0x52).Op(0x3E);
  Script s;
  s.Function("P", {}, Script());
  s.Get("P").Member("prototype").Push("m").Function("", {}, m).Op(0x4F);
  s.Push("o").Push(0).Push("P").Op(0x40).SetVariable();
  s.Push(0).Get("o").Method("m").Trace();
  s.Get("o").Member("length").Trace();
  s.Get("o").Get("P").Op(0x54).Trace();
  EXPECT_EQ(Traces(s), (std::vector<std::string>{"1,2", "2", "false"}));
}

TEST(Avm1Objects, AProtoThatIsNoObjectReadsBackAndEndsTheChain) {
  Script s;
  // o = {}; o.__proto__ = 5; trace(o.__proto__); trace(typeof o.__proto__); trace(o.toString)
  s.Push("o").Push(0).Op(0x43).SetVariable();
  s.Get("o").Push("__proto__").Push(5).Op(0x4F);
  s.Get("o").Member("__proto__").Trace();
  s.Get("o").Member("__proto__").Op(0x44).Trace();
  s.Get("o").Member("toString").Trace();
  // o.__proto__ = null reads null; delete o.__proto__ leaves nothing
  s.Get("o").Push("__proto__").PushNull().Op(0x4F);
  s.Get("o").Member("__proto__").Trace();
  s.Get("o").Push("__proto__").Op(0x3A).Trace();
  s.Get("o").Member("__proto__").Trace();
  EXPECT_EQ(Traces(s), (std::vector<std::string>{"5", "number", "undefined", "null", "true", "undefined"}));
}

TEST(Avm1Objects, InstanceofReadsTheClassesOwnStoredPrototype) {
  // function C() {}  x = new C();
  Script s;
  s.Function("C", {}, Script());
  s.Push("x").Push(0).Push("C").Op(0x40).SetVariable();
  // k = {prototype: C.prototype}: a plain object with the prototype is a class too
  s.Push("k").Push("prototype").Get("C").Member("prototype").Push(1).Op(0x43).SetVariable();
  s.Get("x").Get("k").Op(0x54).Trace();
  // j = {__proto__: k}: an inherited prototype is not looked at
  s.Push("j").Push("__proto__").Get("k").Push(1).Op(0x43).SetVariable();
  s.Get("x").Get("j").Op(0x54).Trace();
  // C.addProperty("prototype", getter, null): the getter is not asked, the value stays
  Script getter;
  getter.Push(0).Op(0x43).Op(0x3E);
  s.PushNull().Function("", {}, getter).Push("prototype").Push(3).Get("C").Method("addProperty").Op(0x17);
  s.Get("x").Get("C").Op(0x54).Trace();
  // primitives are instances of nothing
  s.Push("abc").Get("String").Op(0x54).Trace();
  // I1 and I2: C implements I1, then I2 (ignored: a class implements once)
  s.Function("I1", {}, Script()).Function("I2", {}, Script());
  s.Get("I1").Push(1).Get("C").Op(0x2C);
  s.Get("I2").Push(1).Get("C").Op(0x2C);
  s.Get("x").Get("I1").Op(0x54).Trace();
  s.Get("x").Get("I2").Op(0x54).Trace();
  EXPECT_EQ(Traces(s), (std::vector<std::string>{"true", "false", "true", "false", "true", "false"}));
}

TEST(Avm1Objects, APrimitiveIsBoxedByTheClassScriptsPutOnGlobal) {
  // function S(v) { trace("boxed " + v); }  _global.String = S;
  Script body;
  body.Push("boxed ").Get("v").Op(0x47).Trace();
  Script s;
  s.Function("S", {"v"}, body);
  s.Get("_global").Push("String").Get("S").Op(0x4F);
  // "hi".length asks the box, an S without a length
  s.Push("hi").Member("length").Trace();
  // S.prototype.twice = function () { return "t"; }  trace("hi".twice())
  Script twice;
  twice.Push("t").Op(0x3E);
  s.Get("S").Member("prototype").Push("twice").Function("", {}, twice).Op(0x4F);
  s.Push(0).Push("hi").Method("twice").Trace();
  // _global.String = 5: nothing boxes the string, its members are undefined
  s.Get("_global").Push("String").Push(5).Op(0x4F);
  s.Push("hi").Member("length").Trace();
  // numbers still box natively
  s.Push(0).Push(12).Method("toString").Trace();
  EXPECT_EQ(Traces(s), (std::vector<std::string>{"boxed hi", "undefined", "boxed hi", "t", "undefined", "12"}));
}

TEST(Avm1Objects, ANewEmptyClipRunsItsOnConstructOnItsOwn) {
  // MovieClip.prototype.onConstruct = function () { trace(this._name); throw "boom"; };
  Script handler;
  handler.Get("this").Member("_name").Trace().Push("boom").Op(0x2A);
  Script s;
  s.Get("MovieClip").Member("prototype").Push("onConstruct").Function("", {}, handler).Op(0x4F);
  // this.createEmptyMovieClip("m", 1); trace("after"): the throw stops in the handler
  s.Push(1).Push("m").Push(2).Get("this").Method("createEmptyMovieClip").Op(0x17);
  s.TraceString("after");
  EXPECT_EQ(Traces(s), (std::vector<std::string>{"m", "Warning: Uncaught exception, boom", "after"}));
}

TEST(Avm1Objects, StringNumberAndMathMethods) {
  Script s;
  s.Push(0).Push("Hello").Method("toUpperCase").Trace();
  s.Push(3).Push(1).Push(2).Push("Hello").Method("substr").Trace();
  s.Push(4).Push(2).Push(2).Push("Hello").Method("substring").Trace();
  s.Push("l").Push(1).Push("Hello").Method("indexOf").Trace();
  s.Push(",").Push(1).Push("a,b,c").Method("split").Member("length").Trace();
  s.Push(1).Push(1).Push("Hello").Method("charAt").Trace();
  s.Push("Hello").Member("length").Trace();
  s.Push(16).Push(1).Push(255).Method("toString").Trace();
  s.Push(2.5).Push(1).Get("Math").Method("floor").Trace();
  // Math.max(2, 1, 3): the player's Math functions look at their first two arguments only.
  s.Push(3).Push(1).Push(2).Push(3).Get("Math").Method("max").Trace();
  s.Push("0x1A").Call("parseInt", 1).Trace();
  s.Push("3.5px").Call("parseFloat", 1).Trace();
  s.Push(0.1).Push(0.2).Op(0x47).Trace();
  EXPECT_EQ(Traces(s), (std::vector<std::string>{"HELLO", "ell", "ll", "2", "3", "e", "5", "ff", "2", "2", "26", "3.5",
                                               "0.3"}));
}

TEST(Avm1Objects, DefineFunction2UsesRegistersAndCallApply) {
  // function f(p0, p1) { return this.k + p0 + p1; }   registers: this in 1, p0 in 2, p1 in 3
  Script body;
  body.PushRegister(1).Member("k").PushRegister(2).Op(0x47).PushRegister(3).Op(0x47).Op(0x3E);
  Script s;
  s.Function2("f", 2, 0x01 | 0x08 | 0x20, body);
  s.Push("o").Push("k").Push(100).Push(1).Op(0x43).SetVariable();
  // f.call(o, 1, 2)
  s.Push(2).Push(1).Get("o").Push(3).Get("f").Method("call").Trace();
  // f.apply(o, [10, 20])
  s.Push(20).Push(10).Push(2).Op(0x42).Get("o").Push(2).Get("f").Method("apply").Trace();
  EXPECT_EQ(Traces(s), (std::vector<std::string>{"103", "130"}));
}

TEST(Avm1Objects, ThrowLandsInTheCatchBlock) {
  Script tryBody;
  tryBody.Push("oops").Op(0x2A).TraceString("not reached");
  Script catchBody;
  catchBody.Get("e").Trace();
  Bytes data{1};  // catch present, caught value in a variable
  testing::PutU16(data, static_cast<std::uint16_t>(tryBody.Data().size()));
  testing::PutU16(data, static_cast<std::uint16_t>(catchBody.Data().size()));
  testing::PutU16(data, 0);
  testing::PutString(data, "e");
  Script s;
  s.OpWith(0x8F, data).Raw(tryBody.Data()).Raw(catchBody.Data()).TraceString("after");
  // A throw nobody catches ends the block and is reported in the trace log.
  s.Push("x").Op(0x2A).TraceString("not reached");
  EXPECT_EQ(Traces(s), (std::vector<std::string>{"oops", "after", "Warning: Uncaught exception, x"}));
}

TEST(Avm1Objects, WithAndClipMethods) {
  Script s;
  s.Push("o").Push("k").Push("inside").Push(1).Op(0x43).SetVariable();
  Script inner;
  inner.Get("k").Trace();
  Bytes size;
  testing::PutU16(size, static_cast<std::uint16_t>(inner.Data().size()));
  s.Get("o").OpWith(0x94, size).Raw(inner.Data());
  s.Get("k").Trace();
  s.Push(0).Get("_root").Method("stop").Op(0x17);
  s.Push(0).Get("this").Method("getDepth").Op(0x44).Trace();
  EXPECT_EQ(Traces(s, 6), (std::vector<std::string>{"inside", "undefined", "number"}));
}

TEST(Avm1Objects, DeleteRemovesTimelineVariablesAndIntWraps) {
  Script s;
  s.Push("v").Push(1).SetVariable();
  s.Push("v").Op(0x3B).Trace();
  s.Get("v").Trace();
  s.Push("v").Op(0x3B).Trace();
  s.Push(4294967295.0).Op(0x18).Trace();
  EXPECT_EQ(Traces(s), (std::vector<std::string>{"true", "undefined", "false", "-1"}));
}

TEST(Avm1Objects, MalformedFunctionsNeverRunPastTheBlock) {
  Script s;
  // A definition whose body length runs past the end of the block.
  Bytes data;
  testing::PutString(data, "f");
  testing::PutU16(data, 0);
  testing::PutU16(data, 0x7FFF);
  s.TraceString("before").OpWith(0x9B, data).Push(1);
  const auto traces = Traces(s);
  EXPECT_EQ(traces, (std::vector<std::string>{"before"}));
  // Calling non-functions and members of undefined gives undefined.
  Script t;
  t.Push(0).Push(5).Method("nothing").Trace();
  t.Push(0).Raw({0x96, 1, 0, 3}).Method("x").Trace();
  t.Push(0).Push("nothing").Op(0x40).Trace();
  EXPECT_EQ(Traces(t), (std::vector<std::string>{"undefined", "undefined", "undefined"}));
}

}  // namespace
}  // namespace vantrel::flash
