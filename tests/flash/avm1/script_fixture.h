// A script machine without a movie, for tests of the language and the data classes:
// the runtime with every built-in class and an interpreter that runs at a SWF version.
#pragma once

#include <string>
#include <vector>

#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/interpreter.h"

namespace vantrel::flash::avm1::testing {

struct ScriptFixture {
  Runtime rt;
  Interpreter machine{rt, nullptr};
  std::vector<std::string> traces;

  ScriptFixture() {
    InstallBuiltins(rt);
    machine.onTrace = [this](const std::string& line) { traces.push_back(line); };
  }
  Value Global(const char* name) { return machine.Get(rt.global, name); }
  Value Str(const char* text) { return machine.Str(text); }
  Value Num(double n) { return Value::Number(n); }
  std::string Text(const Value& v) { return machine.ToString(v); }
};

}  // namespace vantrel::flash::avm1::testing
