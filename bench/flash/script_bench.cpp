// The script machine's speed and memory on movies made here.
// ScriptActions: a loop over arithmetic, object properties, an array, string
// concatenation and a function call; "actions_per_s" counts the actions run (the
// target is 20 million per second on one core).
// ObjectChurn: 100 frames that each make 50000 objects pointing at themselves and drop
// them (5 million in all); "objects_made" is how many objects the script machine made
// (its strings and built-ins included) and
// "peak_rss_mb" the process's peak memory afterwards (the target is under 300 MB).
// UnloadOfANest: a deep nest of clips removed and placed again every other frame;
// "unloads_per_s" counts the unload events run.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>

#include "flash/avm1/movie_host.h"
#include "flash/control/flash_control.h"
#include "flash/display/player.h"
#include "support/swf_movie_writer.h"

namespace {

using vantrel::flash::FlashControl;
using vantrel::testing::Actions;
using vantrel::testing::Bytes;
using vantrel::testing::PutU16;

Actions& Jump(Actions& a, std::uint8_t code, int offset) {
  Bytes data;
  PutU16(data, static_cast<std::uint16_t>(static_cast<std::int16_t>(offset)));
  return a.OpWith(code, data);
}

// while (name < limit) { body }: the condition, a branch past the body and a jump back.
Actions WhileLess(const std::string& name, double limit, const Actions& body) {
  Actions condition;
  condition.PushString(name).GetVariable().PushNumber(limit).Op(0x48).Op(0x12);  // !(name < limit)
  const int bodySize = static_cast<int>(body.Data().size()) + 5;                  // with the jump back
  Actions loop = condition;
  Jump(loop, 0x9D, bodySize).Raw(body.Data());
  const int back = -static_cast<int>(loop.Data().size() + 5);
  return Jump(loop, 0x99, back);
}

Bytes ScriptMovie(double iterations) {
  Actions a;
  a.PushString("i").PushNumber(0).SetVariable();
  a.PushString("o").PushNumber(0).PushString("Object").Op(0x40).SetVariable();
  a.PushString("a").PushNumber(0).PushString("Array").Op(0x40).SetVariable();
  // function f(x) { return x + 1; }
  Actions f;
  f.PushString("x").GetVariable().PushNumber(1).Op(0x47).Op(0x3E);
  Bytes header;
  vantrel::testing::PutString(header, "f");
  PutU16(header, 1);
  vantrel::testing::PutString(header, "x");
  PutU16(header, static_cast<std::uint16_t>(f.Data().size()));
  a.OpWith(0x9B, header).Raw(f.Data());
  Actions body;
  body.PushString("o").GetVariable().PushString("p").PushString("i").GetVariable().PushNumber(2).Op(0x0C);
  body.PushNumber(1).Op(0x47).Op(0x4F);                                        // o.p = i * 2 + 1
  body.PushString("o").GetVariable().PushString("p").Op(0x4E).PushNumber(1);  // a.push(o.p)
  body.PushString("a").GetVariable().PushString("push").Op(0x52).Op(0x17);
  body.PushString("s").PushString("x").PushString("i").GetVariable().Op(0x47).SetVariable();  // s = "x" + i
  body.PushString("i").PushString("i").GetVariable().PushNumber(1).PushString("f").Op(0x3D).SetVariable();
  a.Raw(WhileLess("i", iterations, body).Data());
  Bytes tags = a.Tag();
  vantrel::testing::PutBytes(tags, vantrel::testing::ShowFrame());
  vantrel::testing::PutBytes(tags, vantrel::testing::End());
  return vantrel::testing::MakeMovie(tags, 100, 100, 1, 8);
}

void ScriptActions(benchmark::State& state) {
  // Under the instruction limits of one block and one tick, so the whole loop runs.
  const Bytes movie = ScriptMovie(20000);
  double actions = 0;
  for (auto _ : state) {
    FlashControl control;
    if (!control.LoadMovieData(movie)) {
      state.SkipWithError("movie does not load");
      return;
    }
    auto* player = control.Engine();
    actions += static_cast<double>(vantrel::flash::MovieRuntime::kInstructionsPerTick - vantrel::flash::avm1::HostOf(*player).Machine().Budget());
    if (control.GetVariable("i") != "20000") {
      state.SkipWithError(("the loop stopped at i = " + control.GetVariable("i")).c_str());
      return;
    }
  }
  state.counters["actions_per_s"] = benchmark::Counter(actions, benchmark::Counter::kIsRate);
}
BENCHMARK(ScriptActions)->Unit(benchmark::kMillisecond)->MinTime(2);

void ObjectChurn(benchmark::State& state) {
  // Frame 2: n = 0; while (n < 50000) { o = new Object(); o.self = o; n = n + 1; }
  Actions body;
  body.PushString("o").PushNumber(0).PushString("Object").Op(0x40).SetVariable();
  body.PushString("o").GetVariable().PushString("self").PushString("o").GetVariable().Op(0x4F);
  body.PushString("n").PushString("n").GetVariable().PushNumber(1).Op(0x47).SetVariable();
  Actions frame;
  frame.PushString("n").PushNumber(0).SetVariable();
  frame.Raw(WhileLess("n", 50000, body).Data());
  Bytes tags = vantrel::testing::ShowFrame();
  vantrel::testing::PutBytes(tags, frame.Tag());
  vantrel::testing::PutBytes(tags, vantrel::testing::ShowFrame());
  vantrel::testing::PutBytes(tags, vantrel::testing::End());
  const Bytes movie = vantrel::testing::MakeMovie(tags, 100, 100, 2, 8);
  double made = 0;
  for (auto _ : state) {
    FlashControl control;
    if (!control.LoadMovieData(movie)) {
      state.SkipWithError("movie does not load");
      return;
    }
    // The movie loops over its two frames: 100 passes through frame 2.
    for (int tick = 0; tick < 200; ++tick) control.Tick();
    made = static_cast<double>(control.Engine()->Heap().CellsMade());
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["objects_made"] = made;
  state.counters["peak_rss_mb"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(ObjectChurn)->Unit(benchmark::kMillisecond)->Iterations(1);

// A nest of 63 clips (as deep as clips go), each holding the next as "c" and seven
// leaves, that the main timeline removes and places again every other frame: each
// removal queues 504 unload events, and each looks up what now stands at its clip's old
// path (the new nest).
void UnloadOfANest(benchmark::State& state) {
  using namespace vantrel::testing;
  constexpr std::uint16_t kNest = 63, kLeaves = 7, kLeaf = kNest + 1;
  Bytes tags = DefineSprite(kLeaf, 1, ShowFrame());
  for (std::uint16_t id = kNest; id >= 1; --id) {
    Bytes inner;
    if (id < kNest) {
      Place next;
      next.depth = 1;
      next.character = id + 1;
      next.name = "c";
      PutBytes(inner, PlaceObject2(next));
    }
    for (std::uint16_t n = 0; n < kLeaves; ++n) {
      Place leaf;
      leaf.depth = 2 + n;
      leaf.character = kLeaf;
      leaf.name = "e" + std::to_string(n);
      PutBytes(inner, PlaceObject2(leaf));
    }
    PutBytes(inner, ShowFrame());
    PutBytes(tags, DefineSprite(id, 1, inner));
  }
  Place top;
  top.depth = 1;
  top.character = 1;
  top.name = "c";
  PutBytes(tags, PlaceObject2(top));
  PutBytes(tags, ShowFrame());
  PutBytes(tags, RemoveObject2(1));
  PutBytes(tags, PlaceObject2(top));
  PutBytes(tags, ShowFrame());
  PutBytes(tags, End());
  const Bytes movie = MakeMovie(tags, 100, 100, 2, 8);
  FlashControl control;
  if (!control.LoadMovieData(movie)) {
    state.SkipWithError("movie does not load");
    return;
  }
  std::string deep;
  for (int k = 0; k < 60; ++k) deep += "c.";
  if (control.GetVariable(deep + "e0._name") != "e0") {
    state.SkipWithError("the nest was not built");
    return;
  }
  double unloads = 0;
  for (auto _ : state) {
    control.Tick();
    control.Tick();
    unloads += kNest * (1 + kLeaves);
  }
  state.counters["unloads_per_s"] = benchmark::Counter(unloads, benchmark::Counter::kIsRate);
}
BENCHMARK(UnloadOfANest)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
