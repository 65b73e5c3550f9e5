#include <gtest/gtest.h>

#include "core/language.h"
#include "support/temp_home.h"

namespace vantrel::core {
namespace {

constexpr const char* kEnglish = R"(<LANG title="English" author="team" langID="1033">
  <BROWSEMEDIA><STRMOVIE text="Flash Film"/><STREMPTY text=""/><STRREF text="!SHARED/OK"/>
    <strLower text="lower"/></BROWSEMEDIA>
  <SHARED><OK text="Okay"/></SHARED>
  <PLAYER><MNUOPEN text="Open..." tooltip="Open a movie"/></PLAYER>
</LANG>)";

class LanguagesTest : public ::testing::Test {
 protected:
  testing::TempHome home;
  std::string dir = home.Path() + "Languages/";
  void Write(const std::string& name, const std::string& text) { home.WriteFile("Languages/" + name, text); }
};

TEST_F(LanguagesTest, LangTextFollowsKeyRules) {
  Write("English.xml", kEnglish);
  Languages languages(dir);
  languages.EnumerateLanguages("", 1033);
  ASSERT_TRUE(languages.LoadLanguage());
  EXPECT_EQ(languages.LangText("BrowseMedia/strMovie", "Flash Movie"), "Flash Film");
  EXPECT_EQ(languages.LangText("BrowseMedia/strEmpty", "Default"), "Default");
  EXPECT_EQ(languages.LangText("BrowseMedia/strLower", "Default"), "Default") << "lower-case elements are not found";
  EXPECT_EQ(languages.LangText("BrowseMedia/strRef", "Default"), "Okay");
  EXPECT_EQ(languages.LangText("Has Spaces/and, punctuation!", "Default"), "Default");
  EXPECT_EQ(languages.LangText("Missing/key", "Literal"), "Literal");
  EXPECT_EQ(GetNodeValue(languages.Document(), "LANG/PLAYER/MNUOPEN/@tooltip", ""), "Open a movie");
}

TEST_F(LanguagesTest, ReferencesAreFollowedOnceAndCaseMatters) {
  Write("English.xml",
        R"(<LANG title="English"><A><B text="!SHARED/OK"/><C text="!shared/ok"/><D text="!A/B"/></A>)"
        R"(<SHARED><OK text="Okay"/></SHARED></LANG>)");
  Languages languages(dir);
  languages.EnumerateLanguages("", 1033);
  ASSERT_TRUE(languages.LoadLanguage());
  EXPECT_EQ(languages.LangText("a/b", "x"), "Okay");
  EXPECT_EQ(languages.LangText("a/c", "x"), "x");
  EXPECT_EQ(languages.LangText("a/d", "x"), "!SHARED/OK") << "the text a reference leads to is used unchanged";
}

TEST_F(LanguagesTest, EnumerationListsValidFilesAndChoosesTheLanguage) {
  Write("Deutsch.xml", R"(<LANG title="Deutsch" langID="1031"><X><Y text="ja"/></X></LANG>)");
  Write("-Draft.xml", R"(<LANG title="Draft"/>)");
  Write("Broken.xml", R"(<LANG title="Broken"><open></LANG>)");
  Write("Untitled.xml", R"(<LANG langID="1036"/>)");
  Write("notes.txt", "ignored");
  Languages languages(dir);
  languages.EnumerateLanguages("", 1031);
  ASSERT_EQ(languages.Table().size(), 2u) << "English is entry 0 even when its file is missing";
  EXPECT_EQ(languages.Table()[0].FileBase, "English");
  EXPECT_EQ(languages.Table()[0].Author, ".vantrel");
  EXPECT_EQ(languages.Table()[1].FileBase, "Deutsch");
  EXPECT_EQ(languages.Current(), 1u) << "chosen by the user's locale";

  languages.EnumerateLanguages("deutsch", 1033);
  EXPECT_EQ(languages.Current(), 1u) << "the option ignores letter case";
  ASSERT_TRUE(languages.LoadLanguage());
  EXPECT_EQ(languages.LangText("x/y", "no"), "ja");

  languages.EnumerateLanguages("Gone", 1049);
  EXPECT_EQ(languages.Current(), 0u) << "a missing option and no locale match fall back to English";
  EXPECT_FALSE(languages.LoadLanguage()) << "English.xml is absent";
  EXPECT_EQ(languages.LangText("x/y", "no"), "no");
}

TEST(EscapeText, PercentEscapesForMovies) {
  EXPECT_EQ(EscapeText("A-1"), "A%2D%31");
  EXPECT_EQ(EscapeText("\t~"), "%09~");
  EXPECT_EQ(EscapeText("\xC3\xA9"), "%C3%A9");           // é
  EXPECT_EQ(EscapeText("\xE2\x82\xAC"), "%E2%82%AC");     // euro sign
  EXPECT_EQ(EscapeText("\xC2\xB9"), "\xC2\xB9");          // superscript one passes
  EXPECT_EQ(EscapeText("a\xFF" "b"), "a%3Fb");            // not UTF-8: "?"
  EXPECT_EQ(EscapeText("a b&c"), "a%20b%26c");
}

TEST(Locale, PosixNamesMapToLanguageIds) {
  EXPECT_EQ(LocaleIdFromName("de_DE.UTF-8"), 1031);
  EXPECT_EQ(LocaleIdFromName("fr_CA"), 3084);
  EXPECT_EQ(LocaleIdFromName("fr_LU.UTF-8@euro"), 1036);
  EXPECT_EQ(LocaleIdFromName("xx_YY"), 0);
  EXPECT_EQ(CharsetOfLanguage(1049), 204);
  EXPECT_EQ(CharsetOfLanguage(1033), 0);
  EXPECT_EQ(CharsetOfLanguage(1041), 128);
}

}  // namespace
}  // namespace vantrel::core
