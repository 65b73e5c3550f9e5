// Placeholder until the drawable characters land: every definition is reported as not
// yet readable. Removed when the definition parser is merged.
#include "flash/character.h"

namespace vantrel::flash {

std::shared_ptr<Character> ParseDefinition(std::uint16_t, std::span<const std::uint8_t>, DefinitionContext&,
                                           std::string* error) {
  if (error) *error = "drawable definitions are not read yet";
  return nullptr;
}

}  // namespace vantrel::flash
