// The entry to the drawable definitions: the tag walk hands each definition tag here
// and keeps what comes back in the movie's dictionary.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "flash/swf/character.h"

namespace vantrel::flash {

// Parses a drawable definition tag: DefineShape 1-4 (2, 22, 32, 83), DefineMorphShape
// 1-2 (46, 84), DefineBits (6), DefineBitsJPEG2/3/4 (21, 35, 90), DefineBitsLossless 1-2
// (20, 36), DefineFont 1-3 (10, 48, 75) and DefineFontInfo 1-2 (13, 62, which amend a
// font already in the dictionary), DefineText 1-2 (11, 33), DefineEditText (37).
// Returns the character (nullptr for DefineFontInfo, for other tags, or for malformed
// data, with the reason in *error). A bitmap whose image cannot be decoded is still
// returned, empty, with the reason in *error.
std::shared_ptr<Character> ParseDefinition(std::uint16_t tagCode, std::span<const std::uint8_t> body,
                                           DefinitionContext& context, std::string* error = nullptr);

}  // namespace vantrel::flash
