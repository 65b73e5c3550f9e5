// The table the interpreter's loop dispatches on: for every action code the action's
// name and function (avm1/action_list.h), the rest skipped.
#include "flash/avm1/interpreter_internal.h"

namespace vantrel::flash::avm1 {

constinit const std::array<Interpreter::ActionEntry, 256> Interpreter::kActions = [] {
  std::array<ActionEntry, 256> table;
  table.fill({nullptr, &Interpreter::ActionUnknown});
#define VANTREL_AVM1_ACTION(code, name) table[code] = {#name, &Interpreter::Action##name};
#define VANTREL_AVM1_ALIAS(code, name, runs) table[code] = {#name, &Interpreter::Action##runs};
#include "flash/avm1/action_list.h"
#undef VANTREL_AVM1_ACTION
#undef VANTREL_AVM1_ALIAS
  return table;
}();

const char* Interpreter::ActionName(std::uint8_t code) { return kActions[code].name; }

// An action the player does not know does nothing; the loop has already stepped over it.
void Interpreter::ActionUnknown(Step&) {}

}  // namespace vantrel::flash::avm1
