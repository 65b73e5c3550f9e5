// String positions as ActionScript counts them: UTF-16 code units over the machine's
// UTF-8 strings. ASCII text (the common case) takes the fast path.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel::flash::script {

// Number of UTF-16 units of text.
std::size_t Utf16Length(std::string_view text);
// Strings compare by code points, as the player's < and > on strings do.
bool CodePointLess(std::string_view a, std::string_view b);
// The substring of count units from 1-based index (the SWF 4 substring action):
// index below 1 counts from 1, a negative count runs to the end.
std::string Utf16Extract(std::string_view text, double index, double count);
// The first UTF-16 unit of text (0 for "", U+FFFD for a character beyond U+FFFF).
std::uint32_t FirstCodeUnit(std::string_view text);
// The text of one code unit (or code point above 0xFFFF); "" for 0.
std::string CodeUnitToString(std::uint32_t unit);
// Conversions between UTF-8 and UTF-16 units. Invalid UTF-8 bytes become U+FFFD.
std::u16string ToUtf16(std::string_view text);
std::string FromUtf16(std::u16string_view text);

// a followed by b. Half a surrogate pair at the end of a and the other half at the
// start of b become one character, as joining their UTF-16 units would make it.
std::string JoinUtf16(std::string_view a, std::string_view b);

// text as plain UTF-8 for the world outside the scripts: a lone surrogate, which
// strings keep as its own three-byte sequence, becomes U+FFFD.
std::string PrintableUtf8(std::string_view text);

// Form encoding ("a%20b" and "a+b" both give "a b"; malformed escapes stay as they are).
std::string UrlDecode(std::string_view text);

}  // namespace vantrel::flash::script
