// Between TextFormat script objects and the display side's text formats.
#pragma once

#include "flash/avm1/machine.h"
#include "flash/display/text_format_runs.h"

namespace vantrel::flash::avm1 {

// The fields a TextFormat object sets (null fields stay unset); an empty format for
// anything that is not a TextFormat.
flash::TextFormat ReadTextFormat(MachineInterface& m, const Value& value);
bool IsTextFormat(const Value& value);
// A new TextFormat object with the fields format sets (the others null).
Value MakeTextFormat(MachineInterface& m, const flash::TextFormat& format);

// TextField.StyleSheet, installed on the TextField class.
void InstallStyleSheet(Runtime& rt, Object* textFieldClass);
// The rules of a StyleSheet object as TextFormats by selector (lower case).
flash::TextStyles ReadStyleSheet(MachineInterface& m, Object* sheet);

}  // namespace vantrel::flash::avm1
