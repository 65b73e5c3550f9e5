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

// Characters whose cells stand side by side: 200 twips wide, from y -300 to 0.
StaticTextSnapshot Cells(int count) {
  StaticTextSnapshot s;
  for (int i = 0; i < count; ++i) {
    StaticTextSnapshot::Glyph g;
    const double left = i * 200.0, right = left + 200;
    g.corners[0] = {left, -300};
    g.corners[1] = {right, -300};
    g.corners[2] = {right, 0};
    g.corners[3] = {left, 0};
    s.glyphs.push_back(g);
  }
  return s;
}

TEST(TextSnapshotText, NearestCharacterWithinTheDistance) {
  const StaticTextSnapshot s = Cells(3);
  EXPECT_EQ(s.Nearest({450, -100}, 0), 2);   // inside the third cell
  EXPECT_EQ(s.Nearest({700, -100}, 0), -1);  // beyond the last cell
  EXPECT_EQ(s.Nearest({700, -100}, 100), 2);
  EXPECT_EQ(s.Nearest({-50, 50}, 60), -1);   // 70.7 twips from the first cell's corner
  EXPECT_EQ(s.Nearest({-50, 50}, 80), 0);
  EXPECT_EQ(s.Nearest({200, -100}, 0), 0);   // on a shared edge the first cell wins
  EXPECT_EQ(StaticTextSnapshot().Nearest({0, 0}, 1000), -1);
}

}  // namespace
}  // namespace vantrel::flash
