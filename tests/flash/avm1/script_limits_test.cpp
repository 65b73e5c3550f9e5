// Scripts that take all memory or all time within one frame are stopped; the movie
// and the next frame go on.
#include <gtest/gtest.h>

#include <chrono>

#include "flash/script/script_clock.h"

#include "../movie_test_support.h"

namespace vantrel::flash {
namespace {

using testing::Actions;
using testing::Bytes;
using testing::PutBytes;

constexpr std::size_t kMiB = std::size_t{1} << 20;

// Jumps back to the start of body, forever.
void Forever(Actions& a, const Actions& body) {
  a.Raw(body.Data());
  const int back = -static_cast<int>(body.Data().size() + 5);
  a.OpWith(0x99, {static_cast<std::uint8_t>(back & 0xFF), static_cast<std::uint8_t>((back >> 8) & 0xFF)});
}

// `name = new Array(args...)` with the arguments already pushed in reverse.
Actions& NewArray(Actions& a, int argc) { return a.PushNumber(argc).PushString("Array").Op(0x40); }

// a.push(<top of stack>); the result dropped.
Actions& PushOntoA(Actions& a) { return a.PushNumber(1).PushString("a").GetVariable().PushString("push").Op(0x52).Op(0x17); }

struct Budgeted {
  std::shared_ptr<Movie> movie;
  std::unique_ptr<MovieRuntime> player;
  std::vector<std::string> traces;
  std::vector<std::string> stops;
};

// A two-frame movie: frame 1 runs first, frame 2 traces "frame 2"; the heap's budget
// is lowered to budget before the first frame.
std::unique_ptr<Budgeted> RunWithBudget(const Actions& first, std::size_t budget, double seconds = 0) {
  auto run = std::make_unique<Budgeted>();
  Bytes tags = first.Tag();
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, Actions().TraceString("frame 2").Stop().Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  std::string error;
  run->movie = LoadMovieFromBytes(testing::MakeMovie(tags, 100, 100, 2, 8), &error);
  EXPECT_TRUE(run->movie) << error;
  PlayerHooks hooks;
  Budgeted* raw = run.get();
  hooks.trace = [raw](const std::string& line) { raw->traces.push_back(line); };
  hooks.scriptStopped = [raw](const std::string& message) { raw->stops.push_back(message); };
  hooks.scriptSeconds = seconds;
  run->player = std::make_unique<MovieRuntime>(run->movie, hooks, MakeScriptHost);
  run->player->Heap().SetBudget(budget);
  run->player->Tick();
  return run;
}

TEST(ScriptMemoryBudget, ArraysOfArraysStopAtTheBudgetAndTheNextFrameRuns) {
  // a = []; while (true) a.push(new Array(3355443).reverse());   (64 MiB each: an
  // array's holes take nothing until reverse makes them elements)
  Actions a;
  a.PushString("a");
  NewArray(a, 0).SetVariable();
  Actions body;
  body.PushNumber(0).PushNumber(3355443);
  NewArray(body, 1).PushString("reverse").Op(0x52);
  PushOntoA(body);
  Forever(a, body);
  a.TraceString("not reached");
  const std::size_t budget = 160 * kMiB;
  auto run = RunWithBudget(a, budget);
  gc::Heap& heap = run->player->Heap();
  // The array that crossed the limit is made before the check sees it.
  EXPECT_LE(heap.Bytes(), heap.HardLimit() + 65 * kMiB);
  ASSERT_EQ(run->stops.size(), 1u);
  EXPECT_NE(run->stops[0].find("160 MB of memory"), std::string::npos) << run->stops[0];
  run->player->Tick();
  EXPECT_EQ(run->traces, std::vector<std::string>{"frame 2"});
  // The arrays made stay alive (a holds them): within the budget plus one array.
  run->player->Collect();
  EXPECT_LE(heap.LiveBytes(), budget + 65 * kMiB);
  EXPECT_GE(heap.LiveBytes(), budget - 65 * kMiB);
}

TEST(ScriptMemoryBudget, BigStringsStopAtTheBudgetWhileGarbageIsCollected) {
  // s = "x" doubled to 16 MiB; a = []; while (true) a.push(s.substr(1) + "y");
  // Each round leaves 16 MiB of garbage besides the 16 MiB it keeps.
  Actions a;
  a.PushString("s").PushString("x").SetVariable();
  for (int i = 0; i < 24; ++i) {
    a.PushString("s").PushString("s").GetVariable().PushString("s").GetVariable().Op(0x21).SetVariable();
  }
  a.PushString("a");
  NewArray(a, 0).SetVariable();
  Actions body;
  body.PushString("y").PushNumber(1).PushNumber(1).PushString("s").GetVariable().PushString("substr").Op(0x52);
  body.Op(0x4D).Op(0x47);  // swap, add: s.substr(1) + "y"
  PushOntoA(body);
  Forever(a, body);
  const std::size_t budget = 64 * kMiB;
  auto run = RunWithBudget(a, budget);
  gc::Heap& heap = run->player->Heap();
  EXPECT_LE(heap.Bytes(), heap.HardLimit() + 16 * kMiB);
  ASSERT_EQ(run->stops.size(), 1u);
  run->player->Tick();
  EXPECT_EQ(run->traces, std::vector<std::string>{"frame 2"});
  // Garbage was collected on the way: far more than the budget went through the loop
  // only if the kept strings reached it, so the live data is near the budget.
  run->player->Collect();
  EXPECT_GE(heap.LiveBytes(), budget - 2 * 16 * kMiB);
}

// s = "x" doubled to 1 MiB.
void MegabyteString(Actions& a) {
  a.PushString("s").PushString("x").SetVariable();
  for (int i = 0; i < 20; ++i)
    a.PushString("s").PushString("s").GetVariable().PushString("s").GetVariable().Op(0x21).SetVariable();
}

// obj.method(arg) with arg already pushed; the result left on the stack.
Actions& CallOne(Actions& a, const char* object, const char* method) {
  return a.PushNumber(1).PushString(object).GetVariable().PushString(method).Op(0x52);
}

// One string of a MiB repeated costs the player nothing to hold, but joining it (with
// holes, as a concatenation's arguments, as the text of many XML nodes) built a string
// of any size: each is stopped at the longest string a script may build.
TEST(ScriptMemoryBudget, NativesBuildingALongStringStopTheScript) {
  Actions join;  // a = []; a[99] = 0; t = a.join(s);
  MegabyteString(join);
  join.PushString("a");
  NewArray(join, 0).SetVariable();
  join.PushString("a").GetVariable().PushNumber(99).PushNumber(0).Op(0x4F);
  join.PushString("t").PushString("s").GetVariable();
  CallOne(join, "a", "join").SetVariable();
  Actions concat;  // t = s.concat(s, s, ... 20 times);
  MegabyteString(concat);
  concat.PushString("t");
  for (int i = 0; i < 20; ++i) concat.PushString("s").GetVariable();
  concat.PushNumber(20).PushString("s").GetVariable().PushString("concat").Op(0x52).SetVariable();
  Actions xml;  // x = new XML(); 20 times x.appendChild(x.createTextNode(s)); t = x.toString();
  MegabyteString(xml);
  xml.PushString("x").PushNumber(0).PushString("XML").Op(0x40).SetVariable();
  for (int i = 0; i < 20; ++i) {
    xml.PushString("s").GetVariable();
    CallOne(xml, "x", "createTextNode");
    CallOne(xml, "x", "appendChild").Op(0x17);
  }
  xml.PushString("t").PushNumber(0).PushString("x").GetVariable().PushString("toString").Op(0x52).SetVariable();
  // t = flash.external.ExternalInterface._arrayToXML({length: 1e300});  (an object may
  // claim any length: the walk went on for ever)
  Actions bridge;
  bridge.PushString("t").PushString("length").PushNumber(1e300).PushNumber(1).Op(0x43).PushNumber(1);
  bridge.PushString("flash").GetVariable().PushString("external").Op(0x4E).PushString("ExternalInterface").Op(0x4E);
  bridge.PushString("_arrayToXML").Op(0x52).SetVariable();
  for (Actions* script : {&join, &concat, &xml, &bridge}) {
    script->TraceString("not reached");
    auto run = RunWithBudget(*script, gc::Heap::kDefaultBudget);
    ASSERT_EQ(run->stops.size(), 1u);
    EXPECT_NE(run->stops[0].find("a script built a string over"), std::string::npos) << run->stops[0];
    run->player->Tick();
    EXPECT_EQ(run->traces, std::vector<std::string>{"frame 2"});
  }
}

// Array.prototype[method].call({length: 2^31 - 1}): each element of an object is one of
// its properties (found by name), and a walk over two billion of them goes on for hours
// (a sort of equal elements takes n^2 / 2 comparisons, in arrays too); so does a menu's
// copy of custom items claiming a length of 1e300. The walks stop with the script's
// time, which the test cuts to a fifth of a second: the work cannot finish on any
// machine. (The array methods take the length as a 32-bit integer: 1e300 would be 0.)
TEST(ScriptTimeBudget, WalksOfAnObjectThatClaimsALengthStopWithTheScriptsTime) {
  std::vector<Actions> scripts;
  for (const char* method : {"reverse", "sort", "shift"}) {
    Actions& a = scripts.emplace_back();
    a.PushString("length").PushNumber(2147483647.0).PushNumber(1).Op(0x43).PushNumber(1);
    a.PushString("Array").GetVariable().PushString("prototype").Op(0x4E).PushString(method).Op(0x4E);
    a.PushString("call").Op(0x52).Op(0x17);
  }
  Actions& menu = scripts.emplace_back();  // m = new ContextMenu(); m.customItems = {length: 1e300}; m.copy();
  menu.PushString("m").PushNumber(0).PushString("ContextMenu").Op(0x40).SetVariable();
  menu.PushString("m").GetVariable().PushString("customItems");
  menu.PushString("length").PushNumber(1e300).PushNumber(1).Op(0x43).Op(0x4F);
  menu.PushNumber(0).PushString("m").GetVariable().PushString("copy").Op(0x52).Op(0x17);
  for (Actions& a : scripts) {
    a.TraceString("not reached");
    auto run = RunWithBudget(a, gc::Heap::kDefaultBudget, 0.2);
    ASSERT_EQ(run->stops.size(), 1u);
    EXPECT_NE(run->stops[0].find("running too long"), std::string::npos) << run->stops[0];
    run->player->Tick();
    EXPECT_EQ(run->traces, std::vector<std::string>{"frame 2"});
  }
}

// for (i = 0; i < rounds; i++) t = s + i;  with s 1 MiB: a MiB of garbage a round.
Actions GarbageLoop(int rounds) {
  Actions a;
  MegabyteString(a);
  a.PushString("i").PushNumber(0).SetVariable();
  Actions body;
  body.PushString("t").PushString("s").GetVariable().PushString("i").GetVariable().Op(0x47).SetVariable();
  body.PushString("i").PushString("i").GetVariable().Op(0x50).SetVariable();
  body.PushString("i").GetVariable().PushNumber(rounds).Op(0x48);  // i < rounds
  a.Raw(body.Data());
  const int back = -static_cast<int>(body.Data().size() + 5);
  a.OpWith(0x9D, {static_cast<std::uint8_t>(back & 0xFF), static_cast<std::uint8_t>((back >> 8) & 0xFF)});
  a.PushString("i").GetVariable().Trace();
  return a;
}

TEST(ScriptMemoryBudget, GarbageAloneNeverStopsAScript) {
  auto run = RunWithBudget(GarbageLoop(60), 16 * kMiB);  // 60 MiB of garbage, budget 16 MiB
  EXPECT_TRUE(run->stops.empty());
  EXPECT_EQ(run->traces, std::vector<std::string>{"60"});
  EXPECT_LE(run->player->Heap().Bytes(), run->player->Heap().HardLimit());
}

// Far under the budget too, a long loop collects as it goes rather than growing the
// process by its garbage until the frame ends.
TEST(ScriptMemoryBudget, ALongLoopCollectsLongBeforeTheBudget) {
  auto run = RunWithBudget(GarbageLoop(200), gc::Heap::kDefaultBudget);
  EXPECT_TRUE(run->stops.empty());
  EXPECT_EQ(run->traces, std::vector<std::string>{"200"});
  const gc::Heap& heap = run->player->Heap();
  EXPECT_GE(heap.CollectionCount(), 4u);
  EXPECT_LE(heap.Bytes(), gc::Heap::kScriptGarbage + 8 * kMiB);
}

// ScriptLimits: the movie's own timeout bounds each tick's scripts (in processor time, so
// the bounds below hold on a busy machine too).
Bytes ScriptLimits(int depth, int seconds) {
  return testing::Tag(65, {static_cast<std::uint8_t>(depth & 0xFF), static_cast<std::uint8_t>(depth >> 8),
                           static_cast<std::uint8_t>(seconds & 0xFF), static_cast<std::uint8_t>(seconds >> 8)});
}

TEST(ScriptTimeBudget, GotoPingPongWithinOneTickEndsAtTheMoviesTimeout) {
  // Frame 1: gotoAndPlay(2); frame 2: gotoAndPlay(1): every action runs at once, so
  // one tick would go on forever without the time limit.
  Bytes tags = ScriptLimits(256, 1);
  PutBytes(tags, Actions().GotoFrame(1).Play().Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, Actions().TraceString("2").GotoFrame(0).Play().Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  std::string error;
  auto movie = LoadMovieFromBytes(testing::MakeMovie(tags, 100, 100, 2, 8), &error);
  ASSERT_TRUE(movie) << error;
  EXPECT_EQ(movie->scriptTimeoutSeconds, 1);
  PlayerHooks hooks;
  std::size_t traces = 0;
  std::vector<std::string> stops;
  std::vector<double> notices;
  hooks.trace = [&](const std::string&) { ++traces; };
  hooks.scriptStopped = [&](const std::string& message) { stops.push_back(message); };
  hooks.scriptRunningLong = [&](double seconds) { notices.push_back(seconds); };
  MovieRuntime player(movie, hooks, MakeScriptHost);
  EXPECT_EQ(player.ScriptSeconds(), 1.0);
  const double start = ThreadCpuSeconds();
  player.Tick();
  player.Tick();
  const double seconds = ThreadCpuSeconds() - start;
  // Each tick ran its second and no more than a little past it.
  EXPECT_GE(seconds, 2.0);
  EXPECT_LT(seconds, 2.0 + 2 * 0.5);
  EXPECT_GT(traces, 0u);
  EXPECT_EQ(stops.size(), 1u);  // said once per movie
  // The host heard of the long run from inside it, from the first second on.
  ASSERT_FALSE(notices.empty());
  EXPECT_GE(notices.front(), ScriptClock::kNoticeAfter);
  EXPECT_LE(notices.back(), 1.0 + ScriptClock::kNoticeEvery);
}

TEST(ScriptTimeBudget, WithoutScriptLimitsTheReferenceDefaultHolds) {
  Bytes tags = Actions().TraceString("1").Tag();
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  std::string error;
  auto movie = LoadMovieFromBytes(testing::MakeMovie(tags, 100, 100, 1, 8), &error);
  ASSERT_TRUE(movie) << error;
  EXPECT_EQ(MovieRuntime(movie, PlayerHooks{}, MakeScriptHost).ScriptSeconds(), kDefaultScriptSeconds);
  EXPECT_EQ(kDefaultScriptSeconds, 15.0);
  // The host may set its own limit (the tools' --script-timeout); a movie's depth limit
  // alone leaves the timeout at the default.
  PlayerHooks hooks;
  hooks.scriptSeconds = 3;
  EXPECT_EQ(MovieRuntime(movie, hooks, MakeScriptHost).ScriptSeconds(), 3.0);
  Bytes limited = ScriptLimits(100, 0);
  PutBytes(limited, tags);
  auto depthOnly = LoadMovieFromBytes(testing::MakeMovie(limited, 100, 100, 1, 8), &error);
  ASSERT_TRUE(depthOnly) << error;
  EXPECT_EQ(depthOnly->maxRecursionDepth, 100);
  EXPECT_EQ(MovieRuntime(depthOnly, PlayerHooks{}, MakeScriptHost).ScriptSeconds(), kDefaultScriptSeconds);
}

}  // namespace
}  // namespace vantrel::flash
