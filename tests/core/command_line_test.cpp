#include <gtest/gtest.h>

#include "core/command_line.h"

namespace vantrel::core {
namespace {

using Items = std::vector<std::string>;

TEST(SplitCommandItems, SpacesSeparateOutsideQuotes) {
  EXPECT_EQ(SplitCommandItems("a.swf b.swf"), (Items{"a.swf", "b.swf"}));
  EXPECT_EQ(SplitCommandItems("\"/my movies/a b.swf\""), (Items{"/my movies/a b.swf"}));
  EXPECT_EQ(SplitCommandItems("\"/x y/one.swf\" \"/x y/two.swf\" name.swf"),
            (Items{"/x y/one.swf", "/x y/two.swf", "name.swf"}));
  EXPECT_EQ(SplitCommandItems("a.swf   b.swf "), (Items{"a.swf", "b.swf"}));
}

TEST(SplitCommandItems, DropsATrailingSingleCharacterItem) {
  EXPECT_EQ(SplitCommandItems("a.swf x"), (Items{"a.swf"}));
  EXPECT_EQ(SplitCommandItems("x a.swf"), (Items{"x", "a.swf"}));
  EXPECT_EQ(SplitCommandItems("a.swf xy"), (Items{"a.swf", "xy"}));
  EXPECT_EQ(SplitCommandItems(""), Items{});
}

TEST(IsExecCommand, AnyLetterCase) {
  EXPECT_TRUE(IsExecCommand("/exec Uninstall"));
  EXPECT_TRUE(IsExecCommand("/EXEC Player.Stop"));
  EXPECT_FALSE(IsExecCommand("/exe"));
  EXPECT_FALSE(IsExecCommand("movie.swf /exec"));
}

}  // namespace
}  // namespace vantrel::core
