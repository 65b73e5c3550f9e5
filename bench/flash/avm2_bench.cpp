// The ActionScript 3 interpreter's speed on code made here: a loop over int arithmetic,
// a Vector.<int> written and read back at a computed index, and a closure called every
// turn. "instructions_per_s" counts the instructions the machine ran (the called
// function's included); the target is 50 million per second on one core, and
// "of_target" is the measured rate divided by it.
#include <benchmark/benchmark.h>

#include <string>

#include "flash/avm2/abc_writer.h"
#include "flash/avm2/machine.h"

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

}  // namespace

BENCHMARK_MAIN();
