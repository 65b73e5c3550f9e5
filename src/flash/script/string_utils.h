// Text helpers of the script machine. Strings are UTF-8 inside, but scripts count in
// UTF-16 units (length, charAt, indexOf, substr, ...), as the reference player does.
// A lone surrogate (half of a pair cut by substr, or made by fromCharCode) has no UTF-8
// form; it becomes U+FFFD, which is also what the player prints for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantrel::flash::script {

// The text as UTF-16 units. Bytes that are no valid UTF-8 count as Latin-1 characters.
std::u16string Utf16Units(std::string_view utf8);
// UTF-16 units back to UTF-8 (lone surrogates as U+FFFD).
std::string Utf8FromUnits(std::u16string_view utf16);
// Appends one UTF-16 unit or code point (above 0xFFFF: the pair's four bytes).
void AppendCodePoint(std::string& out, std::uint32_t codePoint);
// Text of the Western Windows code page (1252) as UTF-8: the strings of movies before
// SWF 6 are in the system's code page, not UTF-8.
std::string Utf8FromWindows1252(std::string_view text);

// Every byte of the text as %XX (hex in capitals) but ASCII letters, digits and the
// characters of alsoKept.
std::string PercentEncode(std::string_view text, std::string_view alsoKept = {});

// Number of UTF-16 units of the text.
std::size_t Utf16UnitCount(std::string_view utf8);
// The units [start, start + count) of the text, clamped to its length.
std::string Utf16Substring(std::string_view utf8, std::size_t start, std::size_t count = std::string_view::npos);
// The unit at index, or -1 when index is out of range.
int Utf16UnitAt(std::string_view utf8, std::size_t index);
// First index (in units) at or after from where needle starts; -1 when absent.
long Utf16IndexOf(std::string_view haystack, std::string_view needle, std::size_t from = 0);
// Last index at or before from where needle starts; -1 when absent.
long Utf16LastIndexOf(std::string_view haystack, std::string_view needle, std::size_t from = std::string_view::npos);

// Case mappings of every character (Unicode simple mappings, one unit for one unit).
std::string ToUpperText(std::string_view utf8);
std::string ToLowerText(std::string_view utf8);
char16_t LowerUnit(char16_t unit);
// Compares two texts unit by unit as UTF-16 (negative, zero, positive), optionally
// ignoring case.
int CompareUtf16(std::string_view a, std::string_view b, bool ignoreCase = false);

// Whether two names are equal with ASCII letters' case ignored (names of the movie's
// exports and of children in movies before SWF 7).
inline bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

// Whether two names are equal with case ignored, as names compare in movies before SWF 7:
// ASCII letters, and other letters by the player's older case table (that of Unicode
// 3.0: letters assigned later keep their case here).
bool EqualIgnoringCase(std::string_view a, std::string_view b);

}  // namespace vantrel::flash::script
