// Reading and searching the static text a snapshot holds.
#include <gtest/gtest.h>

#include "flash/display/text_snapshot.h"

namespace vantrel::flash {
namespace {

StaticTextSnapshot TwoLines() {
  StaticTextSnapshot s;
  s.text = "ABCDEFGHIJK";
  s.lineStart.assign(11, false);
  s.lineStart[6] = true;  // "GHIJK" is a second line
  return s;
}

TEST(TextSnapshotText, RangesClampToAtLeastOneCharacter) {
  const StaticTextSnapshot s = TwoLines();
  EXPECT_EQ(s.Range(1, 3, false), "BC");
  EXPECT_EQ(s.Range(100, 200, false), "K");
  EXPECT_EQ(s.Range(3, 1, false), "D");
  EXPECT_EQ(s.Range(0, 0, false), "A");
  EXPECT_EQ(s.Range(1, 10, true), "BCDEF\nGHIJ");
  EXPECT_EQ(s.Range(6, 10, true), "GHIJ");  // no line end before the range's first character
  EXPECT_EQ(StaticTextSnapshot().Range(0, 5, true), "");
}

TEST(TextSnapshotText, FindsFromAStartIndex) {
  const StaticTextSnapshot s = TwoLines();
  EXPECT_EQ(s.Find(0, "EF", true), 4);
  EXPECT_EQ(s.Find(5, "EF", true), -1);
  EXPECT_EQ(s.Find(0, "gh", true), -1);
  EXPECT_EQ(s.Find(0, "gh", false), 6);
  EXPECT_EQ(s.Find(0, "F\nG", false), -1);  // line ends are not part of the text
}

}  // namespace
}  // namespace vantrel::flash
