// The ActionScript 3 machine without a movie: ABC parsing and its refusals, the
// verifier, and the interpreter's arithmetic, conversions, exceptions and printing.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>

#include "abc_writer.h"
#include "flash/avm2/abc.h"
#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {
namespace {

using testing::AbcWriter;
using Bytes = AbcWriter::Bytes;

struct Session {
  gc::Heap heap;
  Machine machine{heap};
  std::vector<std::string> traces, errors;
  Session() {
    machine.onTrace = [this](const std::string& line) { traces.push_back(line); };
    machine.onUncaught = [this](const std::string& text) { errors.push_back(text); };
  }
  bool Load(const Bytes& abc) {
    std::string error;
    const bool ok = machine.LoadAbc(abc, false, error);
    if (!ok) errors.push_back(error);
    return ok;
  }
};

// Code that traces the value the `push` bytes leave on the stack.
Bytes TraceOf(AbcWriter& w, const Bytes& push) {
  const std::uint32_t trace = w.Name("trace");
  Bytes code = {0xD0, 0x30, 0x5D};  // getlocal0 pushscope findpropstrict trace
  AbcWriter::U30(code, trace);
  code.insert(code.end(), push.begin(), push.end());
  code.push_back(0x4F);  // callpropvoid trace 1
  AbcWriter::U30(code, trace);
  code.push_back(1);
  code.push_back(0x47);  // returnvoid
  return code;
}

std::vector<std::string> RunCode(const std::function<Bytes(AbcWriter&)>& make) {
  AbcWriter w;
  const Bytes code = make(w);
  w.Script(w.Method(code));
  Session run;
  run.Load(w.Finish());
  std::vector<std::string> out = run.traces;
  for (const std::string& e : run.errors) out.push_back("! " + e);
  return out;
}

Bytes PushInt(AbcWriter& w, std::int32_t v) {
  Bytes b = {0x2D};
  AbcWriter::U30(b, w.Int(v));
  return b;
}
Bytes PushString(AbcWriter& w, const std::string& s) {
  Bytes b = {0x2C};
  AbcWriter::U30(b, w.String(s));
  return b;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(Avm2Abc, ParsesAFileAndRefusesEveryTruncationOfIt) {
  AbcWriter w;
  const Bytes code = TraceOf(w, PushString(w, "hello"));
  w.Script(w.Method(code));
  const Bytes abc = w.Finish();
  std::string error;
  const auto file = ParseAbc(abc, &error);
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->majorVersion, 46);
  ASSERT_EQ(file->scripts.size(), 1u);
  ASSERT_EQ(file->bodies.size(), 1u);
  EXPECT_EQ(file->bodies[0].code, code);
  EXPECT_EQ(file->methods[0].body, 0);
  for (std::size_t length = 0; length < abc.size(); ++length) {
    error.clear();
    const Bytes cut(abc.begin(), abc.begin() + static_cast<long>(length));
    EXPECT_FALSE(ParseAbc(cut, &error)) << "length " << length;
    EXPECT_EQ(error.rfind("VerifyError: Error #", 0), 0u) << error;
  }
}

TEST(Avm2Abc, RefusesIndicesOutsideThePools) {
  AbcWriter w;
  w.Name("x");
  w.multinames[0][2] = 99;  // the name's string is not in the pool
  w.Script(w.Method({0x47}));
  std::string error;
  EXPECT_FALSE(ParseAbc(w.Finish(), &error));
  EXPECT_EQ(error, "VerifyError: Error #1032: Cpool index 99 is out of range 3.");

  // A trait must have a name: a QName of "*" is refused (the machine had no text for it).
  for (bool named : {true, false}) {
    AbcWriter w2;
    const std::uint32_t method = w2.Method({0x47});
    const std::uint32_t name = w2.Name("f");
    if (!named) w2.multinames[0][2] = 0;
    w2.Script(w2.Method({0x47}), {{name, method}});
    EXPECT_EQ(ParseAbc(w2.Finish(), &error) != nullptr, named) << error;
  }
  EXPECT_NE(error.find("Error #1107"), std::string::npos) << error;

  AbcWriter version;
  Bytes bytes = version.Finish();
  bytes[2] = 47;
  EXPECT_FALSE(ParseAbc(bytes, &error));
  EXPECT_NE(error.find("Error #1014"), std::string::npos);
}

TEST(Avm2Verifier, RejectsMalformedMethodsBeforeTheyRun) {
  // A branch into the middle of pushint's operand.
  auto branchInside = RunCode([](AbcWriter& w) {
    Bytes code = {0x10};
    AbcWriter::S24(code, 1);
    const Bytes push = PushInt(w, 70000);
    code.insert(code.end(), push.begin(), push.end());
    code.push_back(0x47);
    return code;
  });
  ASSERT_EQ(branchInside.size(), 1u);
  EXPECT_EQ(branchInside[0], "! VerifyError: Error #1021: At least one branch target was not on a valid instruction in the method.");

  auto badOpcode = RunCode([](AbcWriter&) { return Bytes{0xFF, 0x47}; });
  ASSERT_EQ(badOpcode.size(), 1u);
  EXPECT_NE(badOpcode[0].find("Error #1011"), std::string::npos);

  auto badRegister = RunCode([](AbcWriter&) { return Bytes{0x62, 40, 0x29, 0x47}; });
  ASSERT_EQ(badRegister.size(), 1u);
  EXPECT_NE(badRegister[0].find("Error #1025: An invalid register 40 was accessed."), std::string::npos);

  auto fallsOff = RunCode([](AbcWriter&) { return Bytes{0x02}; });
  ASSERT_EQ(fallsOff.size(), 1u);
  EXPECT_NE(fallsOff[0].find("Error #1020"), std::string::npos);
}

TEST(Avm2Interpreter, NumbersPrintAsThePlayerPrintsThem) {
  EXPECT_EQ(NumberToString(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(NumberToString(1e21), "1e+21");
  // Past 1e21 fifteen digits are kept, cut and not rounded; small numbers keep all of theirs.
  EXPECT_EQ(NumberToString(1.2315987654321987e21), "1.23159876543219e+21");
  EXPECT_EQ(NumberToString(-1.2000000000000001e30), "-1.2e+30");
  EXPECT_EQ(NumberToString(1.2315987654321988e-8), "1.2315987654321988e-8");
  EXPECT_EQ(NumberToString(123456789012345680000.0), "123456789012345680000");
  EXPECT_EQ(NumberToString(1e-7), "1e-7");
  EXPECT_EQ(NumberToString(0.000001), "0.000001");
  EXPECT_EQ(NumberToString(-0.0), "0");
  EXPECT_EQ(NumberToString(-1.5), "-1.5");
  EXPECT_EQ(NumberToString(std::nan("")), "NaN");
  EXPECT_EQ(NumberToString(-INFINITY), "-Infinity");
  EXPECT_EQ(NumberToRadix(255, 16), "ff");
  EXPECT_EQ(NumberToRadix(-8, 2), "-1000");
}

TEST(Avm2Interpreter, IntArithmeticWrapsAndNumberArithmeticDoesNot) {
  auto out = RunCode([](AbcWriter& w) {
    Bytes code = TraceOf(w, Cat({PushInt(w, 2147483647), Bytes{0x24, 1, 0xC5}}));  // add_i
    code.pop_back();
    const Bytes more = TraceOf(w, Cat({PushInt(w, 2147483647), Bytes{0x24, 1, 0xA0}}));  // add
    code.insert(code.end(), more.begin() + 2, more.end());
    return code;
  });
  EXPECT_EQ(out, (std::vector<std::string>{"-2147483648", "2147483648"}));

  // "5" - 2 converts, "5" + 2 concatenates; uint conversion of -1.
  auto conversions = RunCode([](AbcWriter& w) {
    Bytes code = TraceOf(w, Cat({PushString(w, "5"), Bytes{0x24, 2, 0xA1}}));
    code.pop_back();
    Bytes b = TraceOf(w, Cat({PushString(w, "5"), Bytes{0x24, 2, 0xA0}}));
    code.insert(code.end(), b.begin() + 2, b.end() - 1);
    b = TraceOf(w, Bytes{0x24, 0xFF, 0x74});  // pushbyte -1, convert_u
    code.insert(code.end(), b.begin() + 2, b.end());
    return code;
  });
  EXPECT_EQ(conversions, (std::vector<std::string>{"3", "52", "4294967295"}));
}

// Number, int and uint share one native per method, told apart by the tag of the member
// that runs it: a wrong receiver names the class whose method was called.
TEST(Avm2Interpreter, SharedNumberMethodsNameTheirOwnClass) {
  for (const std::string cls : {"Number", "int", "uint"}) {
    for (const std::string method : {"toString", "valueOf"}) {
      auto out = RunCode([&](AbcWriter& w) {
        Bytes push = {0x60};  // getlex cls, getproperty prototype, getproperty method
        AbcWriter::U30(push, w.Name(cls));
        push.push_back(0x66);
        AbcWriter::U30(push, w.Name("prototype"));
        push.push_back(0x66);
        AbcWriter::U30(push, w.Name(method));
        return TraceOf(w, Cat({push, PushString(w, "x"), Bytes{0x41, 0}}));  // call with "x" as this
      });
      ASSERT_EQ(out.size(), 1u) << cls << "." << method;
      EXPECT_NE(out[0].find("Method " + cls + ".prototype." + method + " was invoked on an incompatible object."),
                std::string::npos)
          << out[0];
    }
  }
  // On a number the shared toString formats it: (255).toString(16).
  auto out = RunCode([](AbcWriter& w) {
    Bytes push = {0x25, 0xFF, 0x01, 0x24, 16, 0x46};  // pushshort 255, pushbyte 16, callproperty toString 1
    AbcWriter::U30(push, w.Name("toString"));
    push.push_back(1);
    return TraceOf(w, push);
  });
  EXPECT_EQ(out, (std::vector<std::string>{"ff"}));
}

// A number on the scope chain answers a name its prototype has (getlex toExponential
// inside pushbyte 4, pushscope), and Function.prototype is a Function.
TEST(Avm2Interpreter, PrimitiveScopesAndFunctionPrototype) {
  auto out = RunCode([](AbcWriter& w) {
    Bytes push = {0x24, 4, 0x30, 0x60};  // pushbyte 4, pushscope, getlex toExponential
    AbcWriter::U30(push, w.Name("toExponential"));
    push.push_back(0x1D);  // popscope
    return TraceOf(w, Cat({push, Bytes{0x95}}));  // typeof
  });
  EXPECT_EQ(out, (std::vector<std::string>{"function"}));
  out = RunCode([](AbcWriter& w) {
    Bytes push = {0x60};  // getlex Function, getproperty prototype, getlex Function, istypelate
    AbcWriter::U30(push, w.Name("Function"));
    push.push_back(0x66);
    AbcWriter::U30(push, w.Name("prototype"));
    push.push_back(0x60);
    AbcWriter::U30(push, w.Name("Function"));
    push.push_back(0xB3);
    return TraceOf(w, push);
  });
  EXPECT_EQ(out, (std::vector<std::string>{"true"}));
}

// Runs one method body with the given stack and scope limits; its traces and errors.
std::vector<std::string> RunBody(const Bytes& code, std::uint32_t maxStack, std::uint32_t maxScope = 4,
                                 std::vector<std::array<std::uint32_t, 5>> exceptions = {}) {
  AbcWriter w;
  w.Script(w.Method(code, std::move(exceptions)));
  w.bodies.back().maxStack = maxStack;
  w.bodies.back().maxScopeDepth = maxScope;
  Session run;
  run.Load(w.Finish());
  std::vector<std::string> out = run.traces;
  for (const std::string& e : run.errors) out.push_back("! " + e);
  return out;
}

TEST(Avm2Verifier, FollowsStackDepthsOverEveryReachablePath) {
  const std::string overflow = "! VerifyError: Error #1023: Stack overflow occurred.";
  using Out = std::vector<std::string>;
  // pushbyte 1, pushbyte 1, pop, pop, returnvoid under max_stack 1, straight or through a jump.
  EXPECT_EQ(RunBody({0x24, 1, 0x24, 1, 0x29, 0x29, 0x47}, 1), Out{overflow});
  EXPECT_EQ(RunBody({0x24, 1, 0x10, 0, 0, 0, 0x24, 1, 0x29, 0x29, 0x47}, 1), Out{overflow});
  EXPECT_TRUE(RunBody({0x24, 1, 0x24, 1, 0x29, 0x29, 0x47}, 2).empty());
  // The same push skipped by the jump is never reached and not checked.
  EXPECT_TRUE(RunBody({0x24, 1, 0x10, 2, 0, 0, 0x24, 2, 0x29, 0x47}, 1).empty());
  // dup on a full stack, pop on an empty one.
  EXPECT_EQ(RunBody({0x24, 1, 0x2A, 0x29, 0x29, 0x47}, 1), Out{overflow});
  EXPECT_EQ(RunBody({0x29, 0x47}, 4), Out{"! VerifyError: Error #1024: Stack underflow occurred."});
  // A call takes its receiver and arguments: two values are not enough for call(1 arg).
  EXPECT_EQ(RunBody({0x20, 0x20, 0x41, 1, 0x29, 0x47}, 4), Out{"! VerifyError: Error #1024: Stack underflow occurred."});
  // pushtrue, iffalse L, pushbyte 1, L: returnvoid: the two paths meet at L with 0 and 1 values.
  EXPECT_EQ(RunBody({0x26, 0x12, 2, 0, 0, 0x24, 1, 0x47}, 4),
            Out{"! VerifyError: Error #1030: Stack depth is unbalanced. 1 != 0."});
  // The same with the scope stack: getlocal0 pushscope on one path only.
  EXPECT_EQ(RunBody({0x26, 0x12, 2, 0, 0, 0xD0, 0x30, 0x47}, 4),
            Out{"! VerifyError: Error #1031: Scope depth is unbalanced. 1 != 0."});
  // Scopes beyond max_scope_depth, popscope with none, getscopeobject past the top.
  EXPECT_EQ(RunBody({0xD0, 0x30, 0xD0, 0x30, 0x47}, 4, 1), Out{"! VerifyError: Error #1017: Scope stack overflow occurred."});
  EXPECT_TRUE(RunBody({0xD0, 0x30, 0x1D, 0xD0, 0x30, 0x47}, 4, 1).empty());
  EXPECT_EQ(RunBody({0x1D, 0x47}, 4), Out{"! VerifyError: Error #1018: Scope stack underflow occurred."});
  EXPECT_EQ(RunBody({0xD0, 0x30, 0x65, 1, 0x29, 0x47}, 4), Out{"! VerifyError: Error #1019: Getscopeobject 1 is out of bounds."});
  // A branch back (or to itself) must land on a label: L: pushfalse, pop, pushtrue, iftrue L;
  // L: jump L. With the label, the loop verifies (and runs until the budget stops it).
  const Out badTarget{"! VerifyError: Error #1021: At least one branch target was not on a valid instruction in the method."};
  EXPECT_EQ(RunBody({0x27, 0x29, 0x26, 0x11, 0xF9, 0xFF, 0xFF, 0x47}, 4), badTarget);
  EXPECT_EQ(RunBody({0x10, 0xFC, 0xFF, 0xFF, 0x47}, 4), badTarget);
  EXPECT_EQ(RunBody({0x09, 0x10, 0xFB, 0xFF, 0xFF, 0x47}, 4).at(0).find("Error #1021"), std::string::npos);
  // A jump to the end of the code falls off it.
  EXPECT_EQ(RunBody({0x10, 1, 0, 0, 0x47}, 4), Out{"! VerifyError: Error #1020: Code cannot fall off the end of a method."});
  // A lookupswitch target is a path too: case 0 lands on a pop with nothing to pop.
  EXPECT_EQ(RunBody({0x24, 0, 0x1B, 9, 0, 0, 0, 9, 0, 0, 0x47, 0x29, 0x47}, 4),
            Out{"! VerifyError: Error #1024: Stack underflow occurred."});
}

TEST(Avm2Interpreter, DeclaredStackAndScopeSizesAreOnlyHints) {
  // A body that claims a billion stack slots and scopes runs without setting them aside
  // (found by fuzzing: the method's frame reserved 12 GB).
  EXPECT_TRUE(RunBody({0x24, 1, 0x29, 0x47}, 0x3FFFFFFF, 0x3FFFFFFF).empty());
}

TEST(Avm2Verifier, OnlyReachedCodeMustBeValidAndNumberConstantsStartAtOne) {
  using Out = std::vector<std::string>;
  // returnvoid, then an unknown opcode and a register far out of range that no path reaches.
  EXPECT_TRUE(RunBody({0x47, 0xFF, 0x62, 40, 0x47}, 4).empty());
  const Out illegal = RunBody({0x02, 0xFF, 0x47}, 4);
  ASSERT_EQ(illegal.size(), 1u);
  EXPECT_EQ(illegal[0].rfind("! VerifyError: Error #1011: Method ", 0), 0u);
  EXPECT_NE(illegal[0].find(" contained illegal opcode 255 at offset 1."), std::string::npos);
  // dxns needs the method's SET_DXNS flag.
  const Out dxns = RunCode([](AbcWriter& w) {
    Bytes code = {0x06};
    AbcWriter::U30(code, w.String("urn:x"));
    code.push_back(0x47);
    return code;
  });
  ASSERT_EQ(dxns.size(), 1u);
  EXPECT_NE(dxns[0].find("Error #1015: Method "), std::string::npos);
  EXPECT_NE(dxns[0].find(" cannot set default xml namespace"), std::string::npos);
  // pushint 0 names no constant, whatever the pool holds.
  auto pushZero = RunCode([](AbcWriter& w) {
    w.Int(5);
    return Bytes{0x2D, 0, 0x29, 0x47};
  });
  EXPECT_EQ(pushZero, Out{"! VerifyError: Error #1032: Cpool index 0 is out of range 2."});
  // A method index past the file's methods.
  AbcWriter w;
  w.Method({0x47});
  w.Script(7);
  Session run;
  EXPECT_FALSE(run.Load(w.Finish()));
  EXPECT_EQ(run.errors, Out{"VerifyError: Error #1027: Method_info 7 exceeds method_count=1."});
}

TEST(Avm2Verifier, AHandlerIsCheckedOnlyWhenItsRangeCanThrow) {
  // a: <range> b: returnvoid; exc: four pushes under max_stack 3, then four pops.
  auto run = [](const Bytes& range) {
    Bytes code = range;
    const auto to = static_cast<std::uint32_t>(code.size());
    code.push_back(0x47);
    const auto target = static_cast<std::uint32_t>(code.size());
    for (int i = 0; i < 4; ++i) code.insert(code.end(), {0x24, 1});
    for (int i = 0; i < 4; ++i) code.push_back(0x29);
    code.push_back(0x47);
    return RunBody(code, 3, 4, {{0, to, target, 0, 0}});
  };
  EXPECT_TRUE(run({0x24, 1, 0x29}).empty());  // pushbyte, pop: nothing there throws
  EXPECT_EQ(run({0x24, 1, 0x91, 0x29}),           // increment may call valueOf
            std::vector<std::string>{"! VerifyError: Error #1023: Stack overflow occurred."});
}

TEST(Avm2Interpreter, ThrownValuesReachTheirHandlerAndUncaughtOnesAreReported) {
  // try { throw "boom" } catch (e) { trace(e) }
  AbcWriter w;
  const std::uint32_t trace = w.Name("trace");
  Bytes code = {0xD0, 0x30};
  const Bytes push = PushString(w, "boom");
  code.insert(code.end(), push.begin(), push.end());
  code.push_back(0x03);
  const auto to = static_cast<std::uint32_t>(code.size());
  code.push_back(0xD5);
  code.push_back(0x5D);
  AbcWriter::U30(code, trace);
  code.push_back(0xD1);
  code.push_back(0x4F);
  AbcWriter::U30(code, trace);
  code.push_back(1);
  code.push_back(0x47);
  w.Script(w.Method(code, {{2, to, to, 0, 0}}));
  Session run;
  ASSERT_TRUE(run.Load(w.Finish()));
  EXPECT_EQ(run.traces, (std::vector<std::string>{"boom"}));
  EXPECT_TRUE(run.errors.empty());

  // A property read on null is a TypeError no one catches: reported, not thrown out.
  auto uncaught = RunCode([](AbcWriter& w) {
    const std::uint32_t name = w.Name("x");
    Bytes code = {0x20, 0x66};
    AbcWriter::U30(code, name);
    code.push_back(0x29);
    code.push_back(0x47);
    return code;
  });
  ASSERT_EQ(uncaught.size(), 1u);
  EXPECT_EQ(uncaught[0], "! TypeError: Error #1009: Cannot access a property or method of a null object reference.\n\tat global$init()");
}

// Comparisons with NaN are neither true nor false: ifnlt (jump unless less) jumps where
// iflt (jump if less) falls through, and the same for the other pairs.
TEST(Avm2Interpreter, NegatedComparisonsJumpOnNaN) {
  for (const auto& [op, expected] : std::vector<std::pair<std::uint8_t, const char*>>{
           {0x0C, "jumped"}, {0x15, "fell through"}, {0x0F, "jumped"}, {0x18, "fell through"},
           {0x0D, "jumped"}, {0x16, "fell through"}, {0x0E, "jumped"}, {0x17, "fell through"}}) {
    auto lines = RunCode([op = op](AbcWriter& w) {
      const std::uint32_t trace = w.Name("trace");
      const auto say = [&](const char* text) {
        Bytes b = {0x5D};
        AbcWriter::U30(b, trace);
        const Bytes push = PushString(w, text);
        b.insert(b.end(), push.begin(), push.end());
        b.push_back(0x4F);
        AbcWriter::U30(b, trace);
        b.push_back(1);
        b.push_back(0x47);
        return b;
      };
      const Bytes fall = say("fell through");
      Bytes code = {0xD0, 0x30, 0x28, 0x24, 1, op};  // NaN op 1
      AbcWriter::S24(code, static_cast<std::int32_t>(fall.size()));
      code.insert(code.end(), fall.begin(), fall.end());
      const Bytes jumped = say("jumped");
      code.insert(code.end(), jumped.begin(), jumped.end());
      return code;
    });
    EXPECT_EQ(lines, std::vector<std::string>{expected}) << "opcode " << int(op);
  }
}

TEST(Avm2Interpreter, EndlessLoopsStopAtTheBudget) {
  AbcWriter w;
  Bytes code = {0x09, 0x10};
  AbcWriter::S24(code, -5);  // jump back to the label
  w.Script(w.Method(code));
  Session run;
  run.machine.SetBudget(100000);
  ASSERT_TRUE(run.Load(w.Finish()));
  ASSERT_EQ(run.errors.size(), 1u);
  EXPECT_NE(run.errors[0].find("Error #1502"), std::string::npos);
}

// A join of holes with a long separator (or a concatenation of one long string) would
// build a string of any size: past what is left of the memory budget the script stops.
TEST(Avm2Interpreter, LongStringsBuiltByNativesStopAtTheMemoryBudget) {
  gc::Heap heap;
  heap.SetBudget(std::size_t{16} << 20);
  Machine m(heap);
  std::vector<std::string> errors;
  m.onUncaught = [&](const std::string& text) { errors.push_back(text); };
  const Value megabyte = m.StrValue(std::string(std::size_t{1} << 20, 'x'));
  const Value holes = Value::Obj(m.NewArray());
  m.SetPublic(holes, "length", Value::Number(100));
  EXPECT_FALSE(m.Guard([&] { m.CallPublic(holes, "join", {megabyte}); }));
  EXPECT_FALSE(m.Guard([&] { m.CallPublic(megabyte, "concat", std::vector<Value>(20, megabyte)); }));
  ASSERT_EQ(errors.size(), 2u);
  for (const std::string& error : errors) EXPECT_NE(error.find("Error #1000"), std::string::npos) << error;
  EXPECT_TRUE(m.Guard([&] { EXPECT_EQ(m.ToString(m.CallPublic(holes, "join", {m.StrValue("")})), ""); }));
}

TEST(Avm2Objects, BuiltInClassesAnswerAsTheLanguageDoes) {
  gc::Heap heap;
  Machine m(heap);
  // Names keep their texts while many more are interned.
  const Multiname first = m.PublicName("first");
  for (int i = 0; i < 20000; ++i) m.Intern("name" + std::to_string(i));
  EXPECT_EQ(*first.text, "first");
  ArrayObject* a = m.NewArray({Value::Number(3), Value::Number(10), Value::Number(1)});
  const Value array = Value::Obj(a);
  m.CallPublic(array, "sort");
  EXPECT_EQ(m.ToString(array), "1,10,3");
  m.CallPublic(array, "sort", {Value::Number(16)});
  EXPECT_EQ(m.ToString(array), "1,3,10");
  EXPECT_EQ(m.ToNumber(m.GetPublic(array, "length")), 3);
  m.SetPublic(array, "5", m.StrValue("x"));
  EXPECT_EQ(m.ToString(array), "1,3,10,,,x");
  EXPECT_EQ(m.ToString(m.CallPublic(m.StrValue("abcdef"), "substr", {Value::Number(-3), Value::Number(2)})), "de");
  EXPECT_EQ(m.ToString(m.CallPublic(Value::Number(255), "toString", {Value::Number(16)})), "ff");
  EXPECT_EQ(m.QualifiedClassName(Value::Number(5)), "int");
  EXPECT_EQ(m.QualifiedClassName(Value::Number(5.5)), "Number");
  EXPECT_TRUE(m.IsInstance(Value::Number(5), m.uintClass));
  EXPECT_FALSE(m.IsInstance(Value::Number(-5), m.uintClass));
  EXPECT_TRUE(m.LooseEquals(m.StrValue("1"), Value::Number(1)));
  EXPECT_TRUE(m.LooseEquals(Value::Null(), Value()));
  EXPECT_FALSE(m.StrictEquals(Value::Null(), Value()));
  try {
    m.Coerce(m.StrValue("x"), m.arrayClass);
    ADD_FAILURE() << "coercion should fail";
  } catch (const Thrown& thrown) {
    EXPECT_EQ(m.ToString(thrown.value), "TypeError: Error #1034: Type Coercion failed: cannot convert \"x\" to Array.");
  }
}

}  // namespace
}  // namespace vantrel::flash::avm2

namespace vantrel::flash::avm2 {
namespace {

TEST(Avm2Abc, IntConstantsAreTheirThirtyTwoBitPatterns) {
  // Compilers write ints in the unsigned variable-length form: 100 is the single byte
  // 0x64 and must not be sign-extended from bit 6; negative numbers take five bytes.
  for (const std::int32_t v : {100, 127, 64, 8191, -1, -100, INT32_MIN, INT32_MAX}) {
    const auto out = RunCode([&](AbcWriter& w) { return TraceOf(w, PushInt(w, v)); });
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], std::to_string(v));
  }
}

TEST(Avm2Interpreter, ErrorsCarryTheFramesTheyWereMadeIn) {
  // new Error("boom") thrown by the script's initialiser and not caught.
  auto out = RunCode([](AbcWriter& w) {
    const std::uint32_t error = w.Name("Error");
    Bytes code = {0xD0, 0x30, 0x5D};
    AbcWriter::U30(code, error);
    code = Cat({code, PushString(w, "boom"), {0x4A}});
    AbcWriter::U30(code, error);
    code.push_back(1);
    code.push_back(0x03);  // throw
    return code;
  });
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], "! Error: boom\n\tat global$init()");

  // A built-in method's refusal shows Error.throwError and the method above the script.
  out = RunCode([](AbcWriter& w) {
    const std::uint32_t fixed = w.Name("toFixed");
    Bytes code = Cat({{0xD0, 0x30}, PushInt(w, 1), PushInt(w, 99), {0x46}});
    AbcWriter::U30(code, fixed);
    code.push_back(1);
    code.push_back(0x29);
    code.push_back(0x47);
    return code;
  });
  ASSERT_EQ(out.size(), 1u);
  EXPECT_NE(out[0].find("Error #1002"), std::string::npos) << out[0];
  EXPECT_NE(out[0].find("\n\tat Error$/throwError()\n\tat "), std::string::npos) << out[0];
  EXPECT_EQ(out[0].substr(out[0].size() - 18), "\n\tat global$init()") << out[0];
}

TEST(Avm2Objects, BuiltInMethodsAndClassPrototypesCannotBeReplaced) {
  gc::Heap heap;
  Machine m{heap};
  const auto errorOf = [&](const std::function<void()>& fn) -> std::string {
    try {
      fn();
    } catch (const Thrown& thrown) {
      return m.ToString(thrown.value);
    }
    return "";
  };
  // A name as compiled code writes it, with the AS3 namespace open.
  std::string text = "toString";
  const NsId open[2] = {m.PublicNs(), m.As3Ns()};
  Multiname name;
  name.id = m.Intern(text);
  name.text = &text;
  name.ns = open;
  name.nsCount = 2;
  name.publicNs = true;
  EXPECT_EQ(errorOf([&] { m.SetProperty(Value::Bool(true), name, Value::Null()); }),
            "ReferenceError: Error #1037: Cannot assign to a method toString on Boolean.");
  EXPECT_EQ(errorOf([&] { m.SetProperty(m.StrValue("s"), name, Value::Null()); }),
            "ReferenceError: Error #1037: Cannot assign to a method toString on String.");
  const Value date = Value::Obj(m.ConstructClass(m.FindClass("Date"), nullptr, 0));
  text = "valueOf";
  name.id = m.Intern(text);
  EXPECT_EQ(errorOf([&] { m.SetProperty(date, name, Value::Null()); }),
            "ReferenceError: Error #1037: Cannot assign to a method valueOf on Date.");
  // Number's toLocaleString is on its prototype only: a new property, as without AS3.
  text = "toLocaleString";
  name.id = m.Intern(text);
  EXPECT_EQ(errorOf([&] { m.SetProperty(Value::Number(1.5), name, Value::Null()); }),
            "ReferenceError: Error #1056: Cannot create property toLocaleString on Number.");
  text = "valueOf";
  name.id = m.Intern(text);
  // Without AS3 the name is a new property, which a primitive cannot take.
  name.nsCount = 1;
  EXPECT_EQ(errorOf([&] { m.SetProperty(Value::Number(4), name, Value::Null()); }),
            "ReferenceError: Error #1056: Cannot create property valueOf on int.");
  EXPECT_EQ(errorOf([&] { m.SetPublic(m.StrValue("s"), "length", Value::Number(1)); }),
            "ReferenceError: Error #1074: Illegal write to read-only property length on String.");

  const Value array = Value::Obj(m.arrayClass);
  const Value prototype = m.GetPublic(array, "prototype");
  EXPECT_EQ(errorOf([&] { m.SetPublic(array, "prototype", Value::Null()); }),
            "ReferenceError: Error #1074: Illegal write to read-only property prototype on Array.");
  EXPECT_FALSE(m.DeleteProperty(array, m.PublicName("prototype")));
  EXPECT_EQ(m.GetPublic(array, "prototype").object, prototype.object);
}

TEST(Avm2Objects, NewFunctionIsAFunctionAndRefusesSourceText) {
  gc::Heap heap;
  Machine m{heap};
  const Value made = m.Construct(Value::Obj(m.functionClass), nullptr, 0);
  ASSERT_TRUE(made.IsObject());
  EXPECT_EQ(made.object->kind, ObjectKind::Function);
  EXPECT_EQ(m.TypeOf(made), "function");
  // Object's toString names a function's class with its method's number; its own prints
  // the source the player keeps of none.
  const Value objectToString = m.GetPublic(Value::Obj(m.objectClass->prototype), "toString");
  EXPECT_EQ(m.ToString(m.Call(objectToString, made, nullptr, 0)).substr(0, 17), "[object Function-");
  EXPECT_EQ(m.ToString(made), "function Function() {}");
  Value body = m.StrValue("return 1");
  try {
    m.Construct(Value::Obj(m.functionClass), &body, 1);
    ADD_FAILURE() << "new Function(text) should throw";
  } catch (const Thrown& thrown) {
    EXPECT_EQ(m.ToString(thrown.value), "EvalError: Error #1066: The form function('function body') is not supported.");
  }
}

// The li*/si* instructions read and write the domain memory little-endian, li8 and li16
// unsigned, li32 signed; without a ByteArray set they use the player's own kilobyte, and
// an access past its end throws RangeError #1506.
TEST(Avm2Interpreter, DomainMemoryLoadsAndStoresLittleEndian) {
  const auto run = [](std::uint8_t store, const std::function<Bytes(AbcWriter&)>& value, std::int32_t address,
                      std::uint8_t load, std::int32_t loadAddress) {
    return RunCode([&](AbcWriter& w) {
      return TraceOf(w, Cat({value(w), PushInt(w, address), {store}, PushInt(w, loadAddress), {load}}));
    });
  };
  const auto integer = [](std::int32_t v) { return [v](AbcWriter& w) { return PushInt(w, v); }; };
  const auto number = [](double v) {
    return [v](AbcWriter& w) {
      Bytes b = {0x2F};  // pushdouble
      AbcWriter::U30(b, w.Double(v));
      return b;
    };
  };
  constexpr std::uint8_t li8 = 0x35, li16 = 0x36, li32 = 0x37, lf32 = 0x38, lf64 = 0x39, si8 = 0x3A, si16 = 0x3B,
                         si32 = 0x3C, sf32 = 0x3D, sf64 = 0x3E;
  EXPECT_EQ(run(si32, integer(0x12345678), 4, li8, 4), std::vector<std::string>{"120"});
  EXPECT_EQ(run(si32, integer(0x12345678), 4, li16, 5), std::vector<std::string>{"13398"});
  EXPECT_EQ(run(si32, integer(-2), 4, li32, 4), std::vector<std::string>{"-2"});
  EXPECT_EQ(run(si16, integer(-1), 0, li16, 0), std::vector<std::string>{"65535"});
  EXPECT_EQ(run(si8, integer(0x1FF), 1023, li8, 1023), std::vector<std::string>{"255"});
  EXPECT_EQ(run(sf64, number(1.5), 8, lf64, 8), std::vector<std::string>{"1.5"});
  EXPECT_EQ(run(sf32, number(0.1), 16, lf32, 16), std::vector<std::string>{"0.10000000149011612"});
  const auto past = run(si8, integer(1), 0, li16, 1023);
  ASSERT_EQ(past.size(), 1u);
  EXPECT_NE(past[0].find("RangeError: Error #1506"), std::string::npos) << past[0];
}

}  // namespace
}  // namespace vantrel::flash::avm2
