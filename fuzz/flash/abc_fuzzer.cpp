// Arbitrary bytes as an ABC file: the parser must refuse what does not hold together,
// every method body of what parses goes through the verifier, and the file is run (its
// last script, then every script as class lookups would run them) with a small
// instruction budget, without a crash or a hang.
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
  if (!machine.LoadAbc(std::span(data, size), true, error)) return 0;
  avm2::AbcUnit& unit = *machine.units.back();
  for (const auto& method : unit.methods) {
    machine.Guard([&] { machine.Verify(method.get()); });
  }
  machine.SetBudget(20000);
  machine.Guard([&] { machine.RunScript(unit, unit.abc->scripts.size() - 1); });
  // Every script, as class lookups from other movies' code would run them.
  for (std::size_t i = 0; i < abc->scripts.size() && i < 16; ++i) {
    machine.SetBudget(20000);
    machine.Guard([&] { machine.RunScript(unit, i); });
  }
  return 0;
}
