// The UTF-16 view of the machines' UTF-8 strings: pure functions, no machine needed.
#include <gtest/gtest.h>

#include <string>

#include "flash/script/string_utils.h"
#include "flash/script/utf16.h"

namespace vantrel::flash::script {
namespace {

TEST(StringUtils, CountsUtf16UnitsOverUtf8) {
  const std::string text = "a\xC3\xA9\xF0\x9D\x94\x84z";  // "aé𝔄z"
  EXPECT_EQ(Utf16UnitCount(text), 5u);
  EXPECT_EQ(Utf16UnitAt(text, 1), 0xE9);
  EXPECT_EQ(Utf16UnitAt(text, 2), 0xD835);
  EXPECT_EQ(Utf16UnitAt(text, 4), 'z');
  EXPECT_EQ(Utf16UnitAt(text, 5), -1);
  EXPECT_EQ(Utf16Substring(text, 1, 1), "\xC3\xA9");
  EXPECT_EQ(Utf16Substring(text, 2, 2), "\xF0\x9D\x94\x84");
  // Half a pair stays itself: its units, its length, and the whole character again
  // once joined with the other half. Only printing shows it as the replacement character.
  const std::string high = Utf16Substring(text, 2, 1), low = Utf16Substring(text, 3);
  EXPECT_EQ(Utf16UnitCount(high), 1u);
  EXPECT_EQ(Utf16UnitAt(high, 0), 0xD835);
  EXPECT_EQ(Utf16UnitAt(low, 0), 0xDD04);
  EXPECT_EQ(JoinUtf16("a" + high, low), "a\xF0\x9D\x94\x84z");
  EXPECT_EQ(JoinUtf16(low, high), low + high);  // the wrong order is no pair
  EXPECT_EQ(PrintableUtf8(low), "\xEF\xBF\xBDz");
  EXPECT_EQ(Utf16IndexOf(text, "z"), 4);
  EXPECT_EQ(Utf16IndexOf(text, "z", 5), -1);
  EXPECT_EQ(Utf16LastIndexOf("abcabc", "bc"), 4);
  EXPECT_EQ(Utf16LastIndexOf("abcabc", "bc", 3), 1);
  // Bytes that are no UTF-8 read as Latin-1 rather than disappearing.
  EXPECT_EQ(Utf16UnitCount("\xE9t\xE9"), 3u);
  EXPECT_EQ(Utf8FromUnits(Utf16Units("\xE9")), "\xC3\xA9");
}

TEST(StringUtils, CaseMappingAndComparison) {
  EXPECT_EQ(ToUpperText("teST\xC3\xA9"), "TEST\xC3\x89");
  EXPECT_EQ(ToLowerText("\xD0\x90" "B"), "\xD0\xB0" "b");
  EXPECT_LT(CompareUtf16("B", "a"), 0);
  EXPECT_EQ(CompareUtf16("h\xC3\xABllo", "H\xC3\x8BLLO", true), 0);
  EXPECT_GT(CompareUtf16("ab", "a"), 0);
  // UTF-16 order puts a supplementary character (a surrogate pair) before U+FFxx.
  EXPECT_LT(CompareUtf16("\xF0\x9D\x94\x84", "\xEF\xBC\xA1"), 0);
}

// The player's case tables are older than today's Unicode: letters whose other case came
// later keep their case, and the micro sign has no capital.
TEST(StringUtils, CaseTablesAreThePlayersOlderOnes) {
  EXPECT_EQ(ToUpperText("\xC2\xB5"), "\xC2\xB5");          // micro sign (U+00B5)
  EXPECT_EQ(ToUpperText("\xCE\xBC"), "\xCE\x9C");          // Greek mu (U+03BC) has one
  EXPECT_EQ(ToUpperText("\xE1\x83\x90"), "\xE1\x83\x90");  // Georgian an (U+10D0): no Mtavruli
  EXPECT_EQ(ToLowerText("\xE1\x83\x87"), "\xE1\x83\x87");  // Georgian capital yn (U+10C7, Unicode 6.1)
  EXPECT_EQ(ToLowerText("\xE1\x82\xA0"), "\xE1\x83\x90");  // Georgian capital an lowers to Mkhedruli
  EXPECT_EQ(ToLowerText("\xC4\xB0"), "i");                    // capital I with dot (U+0130)
  EXPECT_EQ(ToUpperText("\xC4\xB1"), "I");                    // dotless i (U+0131)
  EXPECT_EQ(ToUpperText("\xC7\x86"), "\xC7\x84");          // dz with caron (U+01C6)
}

// Export names and the child names of movies before SWF 7 ignore the case of ASCII
// letters only: "É" and "é" stay different names.
TEST(StringUtils, NamesIgnoreTheCaseOfAsciiLettersOnly) {
  EXPECT_TRUE(EqualIgnoringAsciiCase("Clip_A1", "cLIP_a1"));
  EXPECT_FALSE(EqualIgnoringAsciiCase("\xC3\xA9", "\xC3\x89"));
  EXPECT_FALSE(EqualIgnoringAsciiCase("ab", "abc"));
  EXPECT_FALSE(EqualIgnoringAsciiCase("[", "{"));  // 0x5B is no letter: no fold to 0x7B
}

TEST(StringUtils, NamesBeforeSwf7FoldLettersByTheOlderTable) {
  EXPECT_TRUE(EqualIgnoringCase("Clip_A1", "cLIP_a1"));
  EXPECT_TRUE(EqualIgnoringCase("\xC3\x84", "\xC3\xA4"));                  // Ä ä
  EXPECT_TRUE(EqualIgnoringCase("\xD3\xA4", "\xD3\xA5"));                  // Cyrillic Ӥ ӥ
  EXPECT_TRUE(EqualIgnoringCase("\xC7\xB2\xC7\xB1", "\xC7\xB3\xC7\xB3"));  // title and capital DZ
  EXPECT_FALSE(EqualIgnoringCase("\xC8\xBA", "\xE2\xB1\xA5"));            // Ⱥ ⱥ: assigned later
  EXPECT_FALSE(EqualIgnoringCase("\xCF\xB7", "\xCF\xB8"));                 // Ϸ ϸ: assigned later
  EXPECT_FALSE(EqualIgnoringCase("\xC3\xA4", "a"));
  EXPECT_FALSE(EqualIgnoringCase("[", "{"));
}

}  // namespace
}  // namespace vantrel::flash::script
