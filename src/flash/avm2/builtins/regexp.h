// RegExp objects as the String methods use them: match, replace, search and split take a
// RegExp (or a string, which match and search turn into one).
#pragma once

#include <string>

#include "flash/avm2/machine.h"

namespace vantrel::flash::avm2 {

bool IsRegExp(const Value& v);
// A new RegExp of the text with no flags.
Value MakeRegExp(Machine& m, const std::string& source, const std::string& flags);
Value RegExpMatch(Machine& m, Object* re, const std::string& subject);
Value RegExpReplace(Machine& m, Object* re, const std::string& subject, const Value& with);
Value RegExpSearch(Machine& m, Object* re, const std::string& subject);
Value RegExpSplit(Machine& m, Object* re, const std::string& subject, std::size_t limit);

}  // namespace vantrel::flash::avm2
