// The data classes' readers of outside bytes: XML text (movies' strings and loaded
// files), AMF0 values (local connection messages) and .sol files (shared objects on
// disk). The first byte picks the reader; what was read is written back, which must
// not crash either.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/interpreter.h"

using namespace vantrel::flash::avm1;

namespace {

// One runtime with its built-ins serves every input: setting it up costs far more than
// reading a value. The readers only make new objects; the heap collects them after each
// input, so that an input frees what it made (libFuzzer takes more allocations than frees
// for a leak and looks for one, which is slow).
struct Shared {
  Runtime rt;
  std::unique_ptr<Interpreter> machine;
  Shared() {
    InstallBuiltins(rt);
    machine = std::make_unique<Interpreter>(rt, nullptr);
  }
  void Collect() {
    rt.heap.Collect([this](vantrel::flash::gc::Tracer& tracer) {
      rt.Trace(tracer);
      machine->TraceRoots(tracer);
    });
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static Shared* shared = new Shared();
  Interpreter& machine = *shared->machine;
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 3) {
    case 0: {
      Object* document = data::ParseXmlDocument(machine, bytes);
      if (document) {
        const std::string text = data::XmlToString(machine, document);
        data::ParseXmlDocument(machine, text);
      }
      break;
    }
    case 1: {
      data::AmfReader reader(machine, bytes);
      data::AmfWriter writer(machine);
      for (int i = 0; i < 64 && !reader.AtEnd(); ++i) {
        const auto value = reader.ReadValue();
        if (!value) break;
        writer.WriteValue(*value);
      }
      break;
    }
    default: {
      Object* target = machine.NewObject();
      data::ReadSolFile(machine, bytes, target);
      data::SolFile(machine, "fuzz", target);
      break;
    }
  }
  shared->Collect();
  return 0;
}
