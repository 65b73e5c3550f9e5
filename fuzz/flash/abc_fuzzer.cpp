// Arbitrary bytes as an ABC file: the parser must refuse what does not hold together,
// and what parses is verified and run (its last script, then every class lookup it
// defines) with a small instruction budget, without a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "flash/avm2/abc.h"
#include "flash/avm2/machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantrel::flash;
  std::string error;
  const auto abc = avm2::ParseAbc(std::span(data, size), &error);
  if (!abc) return 0;
  gc::Heap heap;
  avm2::Machine machine(heap);
  machine.SetBudget(20000);
  machine.LoadAbc(std::span(data, size), false, error);
  // Every script, as class lookups from other movies' code would run them.
  for (std::size_t i = 0; i < abc->scripts.size() && i < 16; ++i) {
    machine.SetBudget(20000);
    machine.Guard([&] { machine.RunScript(*machine.units.back(), i); });
  }
  return 0;
}
