// Number printing and the UTF-16 view of strings: pure functions, no machine needed.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "flash/script/string_utils.h"
#include "flash/avm1/value.h"

namespace vantrel::flash::avm1 {
namespace {

TEST(NumberToString, PrintsFifteenDigitsAndPlayerExponents) {
  EXPECT_EQ(NumberToString(0.1 + 0.2), "0.3");
  EXPECT_EQ(NumberToString(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(NumberToString(-2.5), "-2.5");
  EXPECT_EQ(NumberToString(123456789012345.0), "123456789012345");
  EXPECT_EQ(NumberToString(1e15), "1e+15");
  EXPECT_EQ(NumberToString(8.64e15), "8.64e+15");
  EXPECT_EQ(NumberToString(-6.77681005680783e19), "-6.77681005680783e+19");
  EXPECT_EQ(NumberToString(0.00001), "0.00001");
  EXPECT_EQ(NumberToString(0.000001), "1e-6");
  EXPECT_EQ(NumberToString(0.0001234), "0.0001234");
  EXPECT_EQ(NumberToString(5e-324), "4.94065645841247e-324");
  EXPECT_EQ(NumberToString(1e21), "1e+21");
  // The player's digits are not exactly rounded; these are what it prints.
  EXPECT_EQ(NumberToString(std::numeric_limits<double>::max()), "1.79769313486231e+308");
  EXPECT_EQ(NumberToString(-22222222.222222222), "-22222222.2222222");
  EXPECT_EQ(NumberToString(2147483648.5), "2147483648.5");
  EXPECT_EQ(NumberToString(4294967296.0), "4294967296");
  EXPECT_EQ(NumberToString(-0.0), "0");
  EXPECT_EQ(NumberToString(std::nan("")), "NaN");
  EXPECT_EQ(NumberToString(-INFINITY), "-Infinity");
  // Rounding to 15 digits carries into the integer part.
  EXPECT_EQ(NumberToString(0.9999999999999999), "1");
  EXPECT_EQ(NumberToString(99999999999999.99), "100000000000000");
}

TEST(StringUtils, CountsUtf16UnitsOverUtf8) {
  const std::string text = "a\xC3\xA9\xF0\x9D\x94\x84z";  // "aé𝔄z"
  EXPECT_EQ(script::Utf16UnitCount(text), 5u);
  EXPECT_EQ(script::Utf16UnitAt(text, 1), 0xE9);
  EXPECT_EQ(script::Utf16UnitAt(text, 2), 0xD835);
  EXPECT_EQ(script::Utf16UnitAt(text, 4), 'z');
  EXPECT_EQ(script::Utf16UnitAt(text, 5), -1);
  EXPECT_EQ(script::Utf16Substring(text, 1, 1), "\xC3\xA9");
  EXPECT_EQ(script::Utf16Substring(text, 2, 2), "\xF0\x9D\x94\x84");
  // Half a pair cannot be written as UTF-8: it prints as the replacement character.
  EXPECT_EQ(script::Utf16Substring(text, 3), "\xEF\xBF\xBDz");
  EXPECT_EQ(script::Utf16IndexOf(text, "z"), 4);
  EXPECT_EQ(script::Utf16IndexOf(text, "z", 5), -1);
  EXPECT_EQ(script::Utf16LastIndexOf("abcabc", "bc"), 4);
  EXPECT_EQ(script::Utf16LastIndexOf("abcabc", "bc", 3), 1);
  // Bytes that are no UTF-8 read as Latin-1 rather than disappearing.
  EXPECT_EQ(script::Utf16UnitCount("\xE9t\xE9"), 3u);
  EXPECT_EQ(script::Utf8FromUnits(script::Utf16Units("\xE9")), "\xC3\xA9");
}

TEST(StringUtils, CaseMappingAndComparison) {
  EXPECT_EQ(script::ToUpperText("teST\xC3\xA9"), "TEST\xC3\x89");
  EXPECT_EQ(script::ToLowerText("\xD0\x90" "B"), "\xD0\xB0" "b");
  EXPECT_LT(script::CompareUtf16("B", "a"), 0);
  EXPECT_EQ(script::CompareUtf16("h\xC3\xABllo", "H\xC3\x8BLLO", true), 0);
  EXPECT_GT(script::CompareUtf16("ab", "a"), 0);
  // UTF-16 order puts a supplementary character (a surrogate pair) before U+FFxx.
  EXPECT_LT(script::CompareUtf16("\xF0\x9D\x94\x84", "\xEF\xBC\xA1"), 0);
}

}  // namespace
}  // namespace vantrel::flash::avm1
