// What tests of the machine's built-ins ask of a call that may throw a script error.
#pragma once

#include <functional>
#include <string>

#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {

// The text of the script error fn throws ("" when it throws none).
inline std::string ScriptErrorOf(Machine& m, const std::function<void()>& fn) {
  try {
    fn();
  } catch (const Thrown& thrown) {
    return m.ToString(thrown.value);
  }
  return "";
}

}  // namespace vantrel::flash::avm2
