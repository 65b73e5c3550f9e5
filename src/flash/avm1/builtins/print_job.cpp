// PrintJob: printing pages of a movie. The player offers movies no printer, so a job
// never starts: start() answers false as when the user closes the print dialog,
// addPage() refuses pages of a job that did not start and send() has nothing to send.
// The paper and page sizes and the orientation read 0 while no job runs.
#include "flash/avm1/builtins/builtins.h"
#include "flash/avm1/builtins/data_support.h"

namespace vantrel::flash::avm1 {

namespace {

Value Refuse(Call&) { return Value::Bool(false); }
Value Nothing(Call&) { return {}; }
Value Zero(Call&) { return Value::Number(0); }

Value Construct(Call& call) { return Value::Obj(call.self); }

}  // namespace

void InstallPrintJob(Runtime& rt) {
  Object* ctor = rt.MakeClass(Construct, Construct);
  // The sizes are enumerable read-only properties of the prototype: writing them
  // changes nothing, deleting them from an instance leaves them in place.
  static const Member kMembers[] = {
      {"start", Refuse, nullptr, kDontEnum | kVersion7},
      {"addPage", Refuse, nullptr, kDontEnum | kVersion7},
      {"send", Nothing, nullptr, kDontEnum | kVersion7},
      {"paperHeight", Zero, nullptr, kGetterOnly | kVersion7},
      {"paperWidth", Zero, nullptr, kGetterOnly | kVersion7},
      {"pageHeight", Zero, nullptr, kGetterOnly | kVersion7},
      {"pageWidth", Zero, nullptr, kGetterOnly | kVersion7},
      {"orientation", Zero, nullptr, kGetterOnly | kVersion7},
  };
  rt.AddMembers(data::PrototypeOf(ctor), kMembers);
  data::RegisterClass(rt, rt.global, "PrintJob", ctor);
}

}  // namespace vantrel::flash::avm1
