// String actions: joins, comparisons, lengths, slices and character codes.
#include <string>

#include "flash/avm1/interpreter_internal.h"
#include "flash/script/utf16.h"

namespace vantrel::flash::avm1 {

void Interpreter::ActionStringEquals(Step& step) {
  const int version = step.frame.version;
  const std::string b = ToString(Pop());
  const std::string a = ToString(Pop());
  PushBool(version, a == b);
}

void Interpreter::ActionStringLess(Step& step) {
  const int version = step.frame.version;
  const std::string b = ToString(Pop());
  const std::string a = ToString(Pop());
  PushBool(version, CodePointLess(a, b));
}

void Interpreter::ActionStringGreater(Step& step) {
  const int version = step.frame.version;
  const std::string b = ToString(Pop());
  const std::string a = ToString(Pop());
  PushBool(version, CodePointLess(b, a));
}

void Interpreter::ActionStringAdd(Step&) {
  const std::string b = ToString(Pop());
  const std::string a = ToString(Pop());
  PushJoined(a, b);
}

void Interpreter::ActionStringLength(Step&) {
  Push(Value::Number(static_cast<double>(Utf16Length(ToString(Pop())))));
}

void Interpreter::ActionStringExtract(Step&) {
  const double count = ToNumber(Pop());
  const double index = ToNumber(Pop());
  const std::string text = ToString(Pop());
  Push(Str(Utf16Extract(text, index, count)));
}

void Interpreter::ActionCharToAscii(Step&) {
  const std::string text = ToString(Pop());
  Push(Value::Number(text.empty() ? 0 : static_cast<double>(FirstCodeUnit(text))));
}

void Interpreter::ActionAsciiToChar(Step&) {
  Push(Str(CodeUnitToString(static_cast<std::uint32_t>(ToInt32(ToNumber(Pop()))))));
}

}  // namespace vantrel::flash::avm1
