// PLACEHOLDER: replaced by the file's real content before this branch lands.
#include "flash/avm1/builtins/builtins.h"

namespace vantrel::flash::avm1 {

void InstallError(Runtime&) {}

}  // namespace vantrel::flash::avm1
