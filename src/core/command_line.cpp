#include "core/command_line.h"

#include "core/text.h"

namespace vantrel::core {

bool IsExecCommand(std::string_view text) {
  return text.size() >= 5 && EqualsNoCase(text.substr(0, 5), "/exec");
}

std::vector<std::string> SplitCommandItems(std::string_view text) {
  // Items are delimited by NULs; the delimited text ends with one, and the scan stops
  // when fewer than three characters remain (so a lone trailing character is dropped).
  std::string delimited;
  delimited.reserve(text.size() + 1);
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ' ' && !quoted) {
      delimited += '\0';
    } else if (c != '\0') {
      delimited += c;
    }
  }
  delimited += '\0';

  std::vector<std::string> items;
  std::string_view rest(delimited);
  while (rest.size() >= 3) {
    const auto end = rest.find('\0');
    std::string_view item = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    if (!item.empty()) items.emplace_back(item);
  }
  return items;
}

}  // namespace vantrel::core
