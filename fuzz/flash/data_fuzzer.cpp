// The data classes' readers of outside bytes: XML text (movies' strings and loaded
// files), AMF0 values (local connection messages) and .sol files (shared objects on
// disk). The first byte picks the reader; what was read is written back, which must
// not crash either.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"
#include "flash/avm1/interpreter.h"

using namespace vantrel::flash::avm1;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Runtime rt;
  InstallBuiltins(rt);
  Interpreter machine(rt, nullptr);
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
  return 0;
}
