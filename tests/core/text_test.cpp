#include <gtest/gtest.h>

#include <filesystem>

#include "core/text.h"
#include "support/temp_home.h"

namespace vantrel::core {
namespace {

TEST(HtmlEncode, EscapesMarkupAndLoneAmpersands) {
  EXPECT_EQ(HtmlEncode("a<b & c"), "a&#60;b &#38; c");
  EXPECT_EQ(HtmlEncode("x > \"y\""), "x &#62; &#34;y&#34;");
  EXPECT_EQ(HtmlEncode("&#38; stays"), "&#38; stays");
  EXPECT_EQ(HtmlEncode("ends with &"), "ends with &#38;");
  EXPECT_EQ(HtmlEncode("it's"), "it's");
  EXPECT_EQ(HtmlEncode(""), "");
}

TEST(PlainText, NumericReferencesBecomeTheirCharacters) {
  EXPECT_EQ(PlainText("Tools &#62; Options &#62; Advanced"), "Tools > Options > Advanced");
  EXPECT_EQ(PlainText(HtmlEncode("a < b & \"c\"")), "a < b & \"c\"");
  EXPECT_EQ(PlainText("&#233;t&#8364;"), "\xC3\xA9t\xE2\x82\xAC");
  // Anything that is no whole decimal reference stays as it is.
  EXPECT_EQ(PlainText("&#; &#x41; &#65 &amp; &#0; &#99999999999;"), "&#; &#x41; &#65 &amp; &#0; &#99999999999;");
}

TEST(ReadTextFile, PrefixesEveryLineWithABreak) {
  testing::TempHome home;
  EXPECT_EQ(ReadTextFile(home.WriteFile("two.txt", "first\r\nsecond\r\n")), "\r\nfirst\r\nsecond");
  EXPECT_EQ(ReadTextFile(home.WriteFile("lf.txt", "first\nsecond")), "\r\nfirst\r\nsecond");
  EXPECT_EQ(ReadTextFile(home.WriteFile("empty.txt", "")), "");
  EXPECT_EQ(ReadTextFile(home.Path() + "missing.txt"), "");
}

TEST(WriteTextFile, ReplacesTheFileWithExactBytes) {
  testing::TempHome home;
  const std::string path = home.WriteFile("out.txt", "a much longer old content");
  ASSERT_TRUE(WriteTextFile(path, "new"));
  EXPECT_EQ(ReadTextFile(path), "\r\nnew");
  EXPECT_EQ(std::filesystem::file_size(path), 3u);
}

TEST(SaveXML, SavesWellFormedDocumentsAndReportsParseFailures) {
  testing::TempHome home;
  const std::string good = home.Path() + "good.xml";
  SaveXML(good, "<a><b x=\"1\">t</b></a>");
  const std::string saved = ReadTextFile(good);
  EXPECT_NE(saved.find("<b x=\"1\">t</b>"), std::string::npos);

  const std::string bad = home.Path() + "bad.xml";
  SaveXML(bad, "<a>\n  <b></a>");
  const std::string text = ReadTextFile(bad);
  ASSERT_EQ(text.rfind("\r\nSaveXML: ", 0), 0u) << text;
  EXPECT_NE(text.find("(2 - "), std::string::npos) << "line number of the failure: " << text;
  EXPECT_EQ(text.find('\n', 2), std::string::npos) << "one line only";
}

TEST(WriteFileAtomic, LeavesNoTemporaryFilesAndKeepsOldFileOnFailure) {
  testing::TempHome home;
  const std::string path = home.WriteFile("target.bin", "old");
  EXPECT_EQ(WriteFileAtomic(path, std::string("new\0bytes", 9)), "");
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(ReadFileBytes(path, bytes));
  EXPECT_EQ(bytes.size(), 9u);
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(home.Path())) ++entries;
  EXPECT_EQ(entries, 1);

  EXPECT_NE(WriteFileAtomic(home.Path() + "no/such/folder/file", "x"), "");
}

TEST(TextCase, AsciiOnly) {
  EXPECT_EQ(UpperAscii("BrowseMedia/strMovie é"), "BROWSEMEDIA/STRMOVIE é");
  EXPECT_TRUE(EqualsNoCase("English.XML", "english.xml"));
  EXPECT_FALSE(EqualsNoCase("abc", "abcd"));
}

}  // namespace
}  // namespace vantrel::core
