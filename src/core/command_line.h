// The command-line grammar shared by the process command line and the hand-over text
// of a second instance.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel::core {

// True when text starts with "/exec" in any letter case: such a text is a script
// command for the movie-loading road and is not split.
bool IsExecCommand(std::string_view text);

// Splits a command line into playlist items: spaces outside double quotes separate
// items, spaces inside belong to the item, every double quote is dropped, empty items
// are skipped, and a trailing item of a single character is not returned.
std::vector<std::string> SplitCommandItems(std::string_view text);

}  // namespace vantrel::core
