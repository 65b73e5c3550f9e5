#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "flash/avm1/interpreter.h"
#include "flash/movie_test_support.h"

namespace vantrel::flash {
namespace {

using testing::Actions;
using testing::Bytes;
using testing::PutBytes;
using testing::PutString;
using testing::PutU16;
using testing::PutU32;

std::unique_ptr<RunningMovie> RunScript(const Actions& actions, int version = 8) {
  Bytes tags = actions.Tag();
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  return StartMovie(tags, 1, version);
}

TEST(Avm1Values, NumbersPrintAsActionScriptWritesThem) {
  EXPECT_EQ(avm1::NumberToString(0), "0");
  EXPECT_EQ(avm1::NumberToString(-3), "-3");
  EXPECT_EQ(avm1::NumberToString(0.1), "0.1");
  EXPECT_EQ(avm1::NumberToString(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(avm1::NumberToString(1e21), "1e+21");
  EXPECT_EQ(avm1::NumberToString(1.5e-7), "1.5e-7");
  EXPECT_EQ(avm1::NumberToString(NAN), "NaN");
  EXPECT_EQ(avm1::NumberToString(-INFINITY), "-Infinity");
  avm1::Runtime rt;
  avm1::Interpreter m(rt, nullptr);
  m.SetDefaultVersion(6);
  EXPECT_EQ(m.ToString(avm1::Value::Undefined()), "");
  EXPECT_FALSE(m.ToBoolean(m.Str("0")));
  m.SetDefaultVersion(7);
  EXPECT_EQ(m.ToString(avm1::Value::Undefined()), "undefined");
  EXPECT_TRUE(m.ToBoolean(m.Str("0")));
  m.SetDefaultVersion(8);
  EXPECT_TRUE(std::isnan(m.ToNumber(m.Str("12px"))));
  // Spaces may lead a number but not follow it; hexadecimal takes no leading space.
  EXPECT_EQ(m.ToNumber(m.Str("0x1F")), 31);
  EXPECT_TRUE(std::isnan(m.ToNumber(m.Str(" 0x1F "))));
  EXPECT_EQ(m.ToNumber(m.Str(" 12")), 12);  // leading spaces only
  EXPECT_TRUE(std::isnan(m.ToNumber(m.Str("0x1F "))));
  EXPECT_EQ(avm1::ToInt32(4294967297.0), 1);
}

TEST(Avm1, TracesArithmeticStringsAndConstants) {
  Actions a;
  // constant pool ["hello", "world"]
  Bytes pool;
  testing::PutU16(pool, 2);
  testing::PutString(pool, "hello");
  testing::PutString(pool, "world");
  a.OpWith(0x88, pool);
  a.Raw({0x96, 4, 0, 8, 0, 8, 1}).Op(0x21).Trace();              // "hello" + "world"
  a.PushNumber(2).PushNumber(3).Op(0x47).Trace();                 // 2 + 3
  a.PushString("2").PushNumber(3).Op(0x47).Trace();               // "2" + 3 concatenates
  a.PushNumber(7).PushNumber(2).Op(0x3F).Trace();                 // 7 % 2
  a.PushNumber(1).PushNumber(2).Op(0x48).Trace();                 // 1 < 2
  a.Raw({0x96, 1, 0, 3}).Trace();                                 // undefined
  auto run = RunScript(a);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"helloworld", "5", "23", "1", "true", "undefined"}));
}

TEST(Avm1, VariablesLoopsAndJumpsAreBounded) {
  Actions a;
  a.PushString("i").PushNumber(0).SetVariable();
  // loop: i = i + 1; if (i < 5) jump back
  Actions body;
  body.PushString("i").PushString("i").GetVariable().Op(0x50).SetVariable();
  body.PushString("i").GetVariable().PushNumber(5).Op(0x48);
  const int backward = -static_cast<int>(body.Data().size() + 5);
  a.Raw(body.Data());
  a.OpWith(0x9D, {static_cast<std::uint8_t>(backward & 0xFF), static_cast<std::uint8_t>((backward >> 8) & 0xFF)});
  a.PushString("i").GetVariable().Trace();
  // An endless loop (jump to itself) is stopped by the instruction budget.
  a.OpWith(0x99, {0xFB, 0xFF});
  auto run = RunScript(a);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"5"}));
  EXPECT_EQ(RootVariable(*run, "I"), "undefined");  // case matters in SWF 8 ...
  EXPECT_EQ(RootVariable(*run, "i"), "5");
  auto old = RunScript(Actions().PushString("Name").PushString("v").SetVariable(), 6);
  EXPECT_EQ(RootVariable(*old, "NAME"), "v");  // ... and not before SWF 7
}

TEST(Avm1, ADoublingStringStopsTheScriptBeforeMemoryRunsOut) {
  Actions a;
  a.PushString("s").PushString("x").SetVariable();
  Actions body;
  body.PushString("s").PushString("s").GetVariable().PushString("s").GetVariable().Op(0x21).SetVariable();
  a.Raw(body.Data());
  const int back = -static_cast<int>(body.Data().size() + 5);
  a.OpWith(0x99, {static_cast<std::uint8_t>(back & 0xFF), static_cast<std::uint8_t>((back >> 8) & 0xFF)});
  auto run = RunScript(a);
  const std::size_t length = RootVariable(*run, "s").size();
  EXPECT_GE(length, 1u << 20);
  EXPECT_LE(length, 16u << 20);
}

TEST(Avm1, RandomTakesItsLimitModuloTwoToThe32) {
  Actions a;
  a.PushNumber(1e300).Op(0x30).Trace();      // 0 modulo 2^32
  a.PushNumber(INFINITY).Op(0x30).Trace();
  for (int i = 0; i < 3; ++i)  // 2^32 + 2^31 - 1: the largest limit
    a.PushNumber(6442450943.0).Op(0x30).PushNumber(0).Op(0x67).Trace();
  auto run = RunScript(a);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"0", "0", "true", "true", "true"}));
}

TEST(Avm1, NumbersPastTheIntRangeInCloneAndPropertyActions) {
  // A clone's depth is taken modulo 2^32 (Infinity is 0, the bottom of the script range);
  // a property number past the int range names no property.
  Actions a;
  a.PushNumber(1).PushString("a").PushNumber(2).PushString("_root").GetVariable();
  a.PushString("createEmptyMovieClip").Op(0x52).Op(0x17);
  a.PushString("a").PushString("b").PushNumber(INFINITY).Op(0x24);
  a.PushNumber(0).PushString("b").GetVariable().PushString("getDepth").Op(0x52).Trace();
  a.PushString("a").PushNumber(1e300).Op(0x22).Trace();
  a.PushString("a").PushNumber(-1e300).PushNumber(5).Op(0x23);
  a.PushString("a").PushNumber(0).Op(0x22).Trace();
  auto run = RunScript(a);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"-16384", "undefined", "0"}));
}

TEST(Avm1, NumbersPastTheIntRangeInClipMethods) {
  // gotoAndStop(-Infinity) clamps like the goto action (the first frame); a depth past
  // the int range wraps as other integer arguments do (Infinity is depth 0).
  Bytes tags = Actions()
                   .PushNumber(0).PushString("a").PushNumber(2).PushString("_root").GetVariable()
                   .PushString("createEmptyMovieClip").Op(0x52).Op(0x17)
                   .PushNumber(-INFINITY).PushNumber(1).PushString("_root").GetVariable()
                   .PushString("gotoAndStop").Op(0x52).Op(0x17)
                   .PushString("_currentframe").GetVariable().Trace()
                   .PushNumber(INFINITY).PushNumber(1).PushString("_root").GetVariable()
                   .PushString("getInstanceAtDepth").Op(0x52).Trace()
                   .Tag();
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 3);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"1", "_level0.a"}));
}

TEST(Avm1, AMovieFilterThatHoldsTheScriptMarkReadsBackWithinTheSettersRanges) {
  // Scripts' filters carry their exact values behind a mark; a convolution kernel of the
  // movie whose floats hold that mark, followed by numbers no setter allows, must not give
  // the script a kernel of 2^31 columns.
  Bytes kernel(900, 0);
  const std::uint8_t mark[] = {'V', 'S', 'F', 1};
  std::memcpy(kernel.data(), mark, 4);
  auto put = [&](int index, double v) { std::memcpy(kernel.data() + 4 + 8 * index, &v, 8); };
  put(0, 5);  // the record's type
  put(6, 1e300);  // quality
  put(16, 1e300);  // matrixX
  put(17, -1e300);  // matrixY
  put(70, 1e300);  // the kernel's length
  Bytes body{0x22, 0x01};  // a character and a name; a filter list
  PutU16(body, 1);
  PutU16(body, 1);
  PutString(body, "c");
  PutBytes(body, {1, 5, 15, 15});
  PutU32(body, 0x3F800000);  // divisor 1
  PutU32(body, 0);           // bias
  PutBytes(body, kernel);
  PutBytes(body, {0, 0, 0, 0, 0});
  Bytes tags = testing::DefineSprite(1, 1, testing::End());
  PutBytes(tags, testing::Tag(70, body));
  PutBytes(tags, Actions()
                     .PushString("f")
                     .PushString("c").GetVariable().PushString("filters").Op(0x4E).PushNumber(0).Op(0x4E)
                     .Op(0x3C)
                     .PushString("f").GetVariable().PushString("matrixX").Op(0x4E).Trace()
                     .PushString("f").GetVariable().PushString("matrixY").Op(0x4E).Trace()
                     .PushString("f").GetVariable().PushString("matrix").Op(0x4E).PushString("length").Op(0x4E).Trace()
                     .Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"15", "0", "225"}));
}

TEST(Avm1, GetUrlWithTheFsCommandPrefixRaisesTheCommand) {
  Actions a;
  a.GetUrl("FSCommand:MeowLog", "hello there");
  a.GetUrl("fscommand:quit", "");
  a.GetUrl("http://example.com/", "_blank");
  a.PushString("FSCommand:fullscreen").PushString("true").OpWith(0x9A, {0});
  auto run = RunScript(a);
  EXPECT_EQ(run->commands, (std::vector<std::pair<std::string, std::string>>{
                               {"MeowLog", "hello there"}, {"quit", ""}, {"fullscreen", "true"}}));
}

TEST(Avm1, TimelineActionsStopPlayAndJumpToLabels) {
  // Frame 1 goes to label "end" (frame 3) and stops there; frame 2 would trace.
  Bytes tags = Actions().GotoLabel("End").Tag();
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, Actions().TraceString("frame 2").Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::FrameLabel("end"));
  PutBytes(tags, Actions().TraceString("frame 3").PushString("_currentframe").GetVariable().Trace().Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 3);
  EXPECT_EQ(run->player->Root().CurrentFrame(), 2);
  EXPECT_FALSE(run->player->Root().Playing());
  run->player->Tick();
  EXPECT_EQ(run->traces, (std::vector<std::string>{"frame 3", "3"}));
}

TEST(Avm1, PropertiesOfTheRootAndOfNamedClips) {
  Bytes sprite = testing::ShowFrame();
  PutBytes(sprite, testing::End());
  Bytes tags = testing::DefineSprite(2, 1, sprite);
  testing::Place place;
  place.character = 2;
  place.name = "ball";
  place.hasMatrix = true;
  place.x = 200;
  PutBytes(tags, testing::PlaceObject2(place));
  Actions a;
  a.PushString("ball._x").GetVariable().Trace();
  a.PushString("ball").GetVariable().Trace();
  a.PushString("_alpha").PushNumber(40).SetVariable();
  a.PushString("/ball").PushNumber(0).PushNumber(25).Op(0x23);  // setProperty(_x)
  a.PushString("ball").PushNumber(0).Op(0x22).Trace();
  // An object that is no clip names its target by its text: new String("/ball").
  a.PushString("/ball").PushNumber(1).PushString("String").Op(0x40).PushNumber(0).Op(0x22).Trace();
  PutBytes(tags, a.Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"10", "_level0.ball", "25", "25"}));
  EXPECT_DOUBLE_EQ(run->player->Root().GetColorTransform().mulA, 0.4);
}

TEST(Avm1, AfterATellTargetThatFindsNothingGetPropertyOfTheTargetIsUndefined) {
  const auto setTarget = [](Actions& a, const std::string& path) {
    Bytes data;
    PutString(data, path);
    a.OpWith(0x8B, data);
  };
  Actions a;
  setTarget(a, "nothing");
  a.PushString("").PushNumber(13).Op(0x22).Trace();  // getProperty("", _name)
  setTarget(a, "");
  a.PushString("").PushNumber(13).Op(0x22).Trace();
  Bytes tags = a.Tag();
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1, 7);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"undefined", ""}));
}

TEST(Avm1, MalformedBlocksStopWhereTheyBreak) {
  Actions a;
  a.TraceString("before");
  a.Raw({0x96, 0x40, 0x00, 0x00, 'x'});  // push whose length runs past the end
  auto run = RunScript(a);
  EXPECT_EQ(run->traces.front(), "before");
  Actions jump;
  jump.OpWith(0x99, {0x00, 0x70}).TraceString("not reached");
  auto jumped = RunScript(jump);
  EXPECT_TRUE(jumped->traces.empty());
}

}  // namespace
}  // namespace vantrel::flash
