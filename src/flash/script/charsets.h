// Text in the character sets movies name (readMultiByte and writeMultiByte: "shift-jis",
// "gb2312", "iso-8859-1", "windows-1252", ...), through the C library's converters.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel::flash::script {

// The bytes of UTF-8 text in charset; a character the set lacks becomes "?". Nothing
// when the set is UTF-8 itself or one the converters do not know.
std::optional<std::string> EncodeInCharset(std::string_view utf8, std::string_view charset);
// UTF-8 text of bytes in charset; a byte that starts no character becomes U+FFFD.
// Nothing when the set is UTF-8 itself or one the converters do not know.
std::optional<std::string> DecodeFromCharset(std::string_view bytes, std::string_view charset);

}  // namespace vantrel::flash::script
