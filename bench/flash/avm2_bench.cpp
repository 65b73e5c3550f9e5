// The ActionScript 3 interpreter's speed on code made here: a loop over int arithmetic,
// a Vector.<int> written and read back at a computed index, and a closure called every
// turn. "instructions_per_s" counts the instructions the machine ran (the called
// function's included); the target is 50 million per second on one core, and
// "of_target" is the measured rate divided by it.
// DisplayTree: a movie of 1,000 sprites in ten groups, each moved by its own enterFrame
// listener, which also dispatches an event that bubbles through its group to the root;
// ticked and drawn at 550x400, in frames a second (the target is 60 on one core).
#include <benchmark/benchmark.h>

#include <QImage>
#include <string>

#include "flash/avm2/abc_writer.h"
#include "flash/avm2/machine.h"
#include "flash/control/flash_control.h"
#include "support/swf_movie_writer.h"

namespace {

using vantrel::testing::AbcWriter;
using Bytes = AbcWriter::Bytes;

constexpr std::int32_t kTurns = 1000000;  // positive in the writer's 3-byte encoding
constexpr double kTarget = 50e6;

Bytes LoopAbc() {
  AbcWriter w;
  const std::uint32_t vector = w.PackageName("__AS3__.vec", "Vector");
  const std::uint32_t intName = w.Name("int");
  const std::uint32_t element = w.RuntimeName();
  const std::uint32_t trace = w.Name("trace");
  const std::uint32_t one = w.Method({0x24, 0x01, 0x48});  // pushbyte 1, returnvalue
  Bytes code = {0xD0, 0x30};                                 // getlocal0 pushscope
  auto u30 = [&](std::uint32_t v) { AbcWriter::U30(code, v); };
  code.push_back(0x60), u30(vector);    // getlex Vector
  code.push_back(0x60), u30(intName);   // getlex int
  code.push_back(0x53), u30(1);         // applytype 1
  code.push_back(0x2D), u30(w.Int(1024));
  code.push_back(0x42), u30(1);         // construct 1
  code.push_back(0xD7);                 // setlocal3 = the vector
  code.push_back(0x40), u30(one);       // newfunction
  code.push_back(0x63), u30(4);         // setlocal 4 = the function
  code.insert(code.end(), {0x24, 0x00, 0xD5, 0x24, 0x00, 0xD6});  // i = 0, sum = 0
  const std::size_t top = code.size();
  code.push_back(0x09);                                   // label
  code.insert(code.end(), {0xD2, 0xD1, 0x24, 0x03, 0xC7, 0xC5});  // sum + i * 3
  code.push_back(0x62), u30(4);                           // getlocal 4
  code.insert(code.end(), {0x20, 0x41, 0x00, 0xC5, 0xD6});  // call it, add_i, sum =
  const std::uint32_t mask = w.Int(1023);
  code.insert(code.end(), {0xD3, 0xD1, 0x2D}), u30(mask);
  code.insert(code.end(), {0xA8, 0xD2, 0x61}), u30(element);  // vector[i & 1023] = sum
  code.insert(code.end(), {0xD3, 0xD1, 0x25}), u30(512);
  code.push_back(0xC5), code.push_back(0x2D), u30(mask);
  code.insert(code.end(), {0xA8, 0x66}), u30(element);        // vector[(i + 512) & 1023]
  code.insert(code.end(), {0x73, 0xD2, 0xAA, 0xD6});           // sum ^= it
  code.insert(code.end(), {0xC2, 0x01});                       // inclocal_i 1
  code.insert(code.end(), {0xD1, 0x2D}), u30(w.Int(kTurns));
  code.push_back(0x15);                                        // iflt top
  AbcWriter::S24(code, -static_cast<std::int32_t>(code.size() + 3 - top));
  code.push_back(0x5D), u30(trace);
  code.push_back(0xD2);
  code.push_back(0x4F), u30(trace), u30(1);                    // trace(sum)
  code.push_back(0x47);
  w.Script(w.Method(code, {}, 5));
  return w.Finish();
}

void Avm2Loop(benchmark::State& state) {
  const Bytes abc = LoopAbc();
  double instructions = 0;
  std::string result;
  for (auto _ : state) {
    vantrel::flash::gc::Heap heap;
    vantrel::flash::avm2::Machine machine(heap);
    std::string error;
    machine.onTrace = [&](const std::string& line) { result = line; };
    machine.onUncaught = [&](const std::string& text) { error = text; };
    const long budget = 1L << 40;
    machine.SetBudget(budget);
    if (!machine.LoadAbc(abc, false, error) || !error.empty()) {
      state.SkipWithError(error.c_str());
      return;
    }
    instructions += static_cast<double>(budget - machine.budget_);
  }
  state.counters["instructions_per_s"] = benchmark::Counter(instructions, benchmark::Counter::kIsRate);
  state.counters["of_target"] = benchmark::Counter(instructions / kTarget, benchmark::Counter::kIsRate);
  state.counters["instructions"] = instructions / static_cast<double>(state.iterations());
  state.SetLabel("sum " + result);
}
BENCHMARK(Avm2Loop)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The document class's constructor builds the tree; each sprite's listener moves it one
// pixel right (wrapping at 550) and dispatches a bubbling "tick" the root listens for.
std::vector<std::uint8_t> DisplayTreeMovie() {
  AbcWriter w;
  const std::uint32_t sprite = w.PackageName("flash.display", "Sprite");
  const std::uint32_t event = w.PackageName("flash.events", "Event");
  const std::uint32_t addChild = w.Name("addChild"), listen = w.Name("addEventListener");
  const std::uint32_t graphics = w.Name("graphics"), x = w.Name("x"), y = w.Name("y");
  const auto u30 = [](Bytes& code, std::uint32_t v) { AbcWriter::U30(code, v); };
  const auto op = [&](Bytes& code, std::uint8_t o, std::uint32_t a) { code.push_back(o), u30(code, a); };
  const auto call = [&](Bytes& code, std::uint8_t o, std::uint32_t name, std::uint32_t argc) {
    op(code, o, name), u30(code, argc);
  };
  // function (e) { var s = e.currentTarget; s.x = (s.x + 1) % 550; s.dispatchEvent(new Event("tick", true)); }
  Bytes move = {0xD1};
  op(move, 0x66, w.Name("currentTarget")), move.push_back(0xD6);
  move.insert(move.end(), {0xD2, 0xD2}), op(move, 0x66, x), move.insert(move.end(), {0x24, 0x01, 0xA0});
  op(move, 0x25, 550), move.push_back(0xA4), op(move, 0x61, x);
  move.push_back(0xD2), op(move, 0x5D, event), op(move, 0x2C, w.String("tick")), move.push_back(0x26);
  call(move, 0x4A, event, 2), call(move, 0x4F, w.Name("dispatchEvent"), 1), move.push_back(0x47);
  const std::uint32_t mover = w.Method(move, {}, 3);
  w.methods[mover] = 1;
  const std::uint32_t hearer = w.Method({0x47});
  w.methods[hearer] = 1;

  Bytes ctor = {0xD0, 0x30, 0xD0, 0x49, 0x00};  // super()
  op(ctor, 0x40, mover), op(ctor, 0x63, 5);
  ctor.push_back(0xD0), op(ctor, 0x2C, w.String("tick")), op(ctor, 0x40, hearer), call(ctor, 0x4F, listen, 2);
  ctor.insert(ctor.end(), {0x24, 0x00, 0xD7});  // i = 0
  const std::size_t outer = ctor.size();
  ctor.push_back(0x09);
  op(ctor, 0x5D, sprite), call(ctor, 0x4A, sprite, 0), ctor.push_back(0xD5);  // group
  ctor.insert(ctor.end(), {0xD0, 0xD1}), call(ctor, 0x4F, addChild, 1);
  ctor.insert(ctor.end(), {0x24, 0x00}), op(ctor, 0x63, 4);  // j = 0
  const std::size_t inner = ctor.size();
  ctor.push_back(0x09);
  op(ctor, 0x5D, sprite), call(ctor, 0x4A, sprite, 0), ctor.push_back(0xD6);
  ctor.push_back(0xD2), op(ctor, 0x66, graphics), op(ctor, 0x2D, w.Int(0xCC3300)), call(ctor, 0x4F, w.Name("beginFill"), 1);
  ctor.push_back(0xD2), op(ctor, 0x66, graphics), ctor.insert(ctor.end(), {0x24, 0, 0x24, 0, 0x24, 4, 0x24, 30});
  call(ctor, 0x4F, w.Name("drawRect"), 4);
  ctor.push_back(0xD2), op(ctor, 0x62, 4), ctor.insert(ctor.end(), {0x24, 5, 0xA2}), op(ctor, 0x61, x);
  ctor.insert(ctor.end(), {0xD2, 0xD3, 0x24, 40, 0xA2}), op(ctor, 0x61, y);
  ctor.push_back(0xD2), op(ctor, 0x2C, w.String("enterFrame")), op(ctor, 0x62, 5), call(ctor, 0x4F, listen, 2);
  ctor.insert(ctor.end(), {0xD1, 0xD2}), call(ctor, 0x4F, addChild, 1);
  op(ctor, 0xC2, 4), op(ctor, 0x62, 4), ctor.insert(ctor.end(), {0x24, 100, 0x15});
  AbcWriter::S24(ctor, -static_cast<std::int32_t>(ctor.size() + 3 - inner));
  op(ctor, 0xC2, 3), ctor.insert(ctor.end(), {0xD3, 0x24, 10, 0x15});
  AbcWriter::S24(ctor, -static_cast<std::int32_t>(ctor.size() + 3 - outer));
  ctor.push_back(0x47);

  const std::uint32_t clip = w.PackageName("flash.display", "MovieClip");
  const std::uint32_t name = w.Name("Test");
  const std::uint32_t cls = w.Class({name, clip, 0x01, {}, w.Method(ctor, {}, 7), w.Method({0x47}), {}, {}});
  Bytes init = {0xD0, 0x30, 0x65, 0x00};
  op(init, 0x60, clip), op(init, 0x58, cls), op(init, 0x68, name), init.push_back(0x47);
  w.Script(w.Method(init), {});
  w.scriptClasses[static_cast<std::uint32_t>(w.scripts.size() - 1)] = {{name, 4, cls}};
  using namespace vantrel::testing;
  Bytes abc;
  PutU32(abc, 0);
  PutString(abc, "tree");
  PutBytes(abc, w.Finish());
  Bytes tags = FileAttributes(true);
  PutBytes(tags, Tag(82, abc));
  PutBytes(tags, Tag(76, {1, 0, 0, 0, 'T', 'e', 's', 't', 0}));  // SymbolClass 0 -> Test
  PutBytes(tags, ShowFrame());
  PutBytes(tags, End());
  return MakeMovie(tags, 550, 400, 1, 10, 30);
}

void DisplayTree(benchmark::State& state) {
  vantrel::flash::FlashControl control;
  std::string error;
  control.OnTrace = [&](const std::string& line) { error = line; };
  if (!control.LoadMovieData(DisplayTreeMovie())) {
    state.SkipWithError("movie does not load");
    return;
  }
  QImage image(550, 400, QImage::Format_RGB32);
  control.Tick();
  if (!error.empty()) {
    state.SkipWithError(error.c_str());
    return;
  }
  for (auto _ : state) {
    control.Tick();
    control.PaintTo(image);
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["of_target"] = benchmark::Counter(static_cast<double>(state.iterations()) / 60, benchmark::Counter::kIsRate);
  // What the last frame shows of the sprites, as a check that the tree was built.
  int shown = 0;
  for (int row = 0; row < image.height(); ++row)
    for (int col = 0; col < image.width(); ++col) shown += (image.pixel(col, row) & 0xFFFFFF) == 0xCC3300;
  state.SetLabel(std::to_string(shown) + " sprite pixels");
}
BENCHMARK(DisplayTree)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
