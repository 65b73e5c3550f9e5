// Text in the legacy character sets movies name for readMultiByte and writeMultiByte.
#include "flash/script/charsets.h"

#include <gtest/gtest.h>

namespace vantrel::flash::script {
namespace {

TEST(Charsets, ShiftJisRoundTripsAndUnknownSetsAreLeftToTheCaller) {
  const std::string text = "\xE6\xAC\xA1 \xE6\xBB\x8B";  // two kanji and a space
  const auto encoded = EncodeInCharset(text, "shift-jis");
  ASSERT_TRUE(encoded);
  EXPECT_EQ(*encoded, "\x8E\x9F \x8E\xA0");
  EXPECT_EQ(DecodeFromCharset(*encoded, "Shift_JIS"), text);
  EXPECT_FALSE(EncodeInCharset(text, "utf-8"));
  EXPECT_FALSE(DecodeFromCharset(text, "UTF8"));
  EXPECT_FALSE(EncodeInCharset(text, "no-such-set"));
}

TEST(Charsets, WhatASetLacksIsReplaced) {
  // Latin-1 has no kanji: each becomes "?", the rest stays.
  EXPECT_EQ(EncodeInCharset("a\xE6\xAC\xA1\xC3\xA9", "iso-8859-1"), std::string("a?\xE9"));
  // 0x81 starts a two-byte character in Shift-JIS; alone at the end it is U+FFFD.
  EXPECT_EQ(DecodeFromCharset("A\x81", "shift-jis"), std::string("A\xEF\xBF\xBD"));
  EXPECT_EQ(DecodeFromCharset("caf\xE9", "windows-1252"), std::string("caf\xC3\xA9"));
}

}  // namespace
}  // namespace vantrel::flash::script
