// The Linux shell: the freedesktop trash and moves that never lose the source.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "player/system_shell.h"
#include "support/temp_home.h"

namespace vantrel::player {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(SystemShell, TrashKeepsARestorableRecordAndNeverOverwrites) {
  vantrel::testing::TempHome home;
  SystemShell shell;
  const std::string first = home.WriteFile("games/my game.exe", "one");
  ASSERT_TRUE(shell.MoveToTrash(first));
  EXPECT_FALSE(fs::exists(first));
  const std::string trash = HomeTrashFolder();
  EXPECT_EQ(trash, home.Path() + ".local/share/Trash/");
  EXPECT_EQ(ReadAll(trash + "files/my game.exe"), "one");
  const std::string info = ReadAll(trash + "info/my game.exe.trashinfo");
  EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + home.Path() + "games/my%20game.exe\nDeletionDate=", 0), 0u) << info;

  const std::string second = home.WriteFile("other/my game.exe", "two");
  ASSERT_TRUE(shell.MoveToTrash(second));
  EXPECT_EQ(ReadAll(trash + "files/my game.exe"), "one");
  EXPECT_EQ(ReadAll(trash + "files/my game.exe.2"), "two");
  EXPECT_TRUE(fs::exists(trash + "info/my game.exe.2.trashinfo"));

  EXPECT_FALSE(shell.MoveToTrash(home.Path() + "nothing-here"));
  EXPECT_FALSE(fs::exists(trash + "info/nothing-here.trashinfo"));
}

TEST(SystemShell, MoveAndCopyReplaceTheTargetAndKeepFailuresHarmless) {
  vantrel::testing::TempHome home;
  SystemShell shell;
  const std::string from = home.WriteFile("a.swf", "movie");
  const std::string to = home.WriteFile("b.swf", "old");
  ASSERT_TRUE(shell.CopyFile(from, to));
  EXPECT_EQ(ReadAll(to), "movie");
  ASSERT_TRUE(shell.MoveFile(from, home.Path() + "c.swf"));
  EXPECT_FALSE(fs::exists(from));
  EXPECT_FALSE(shell.MoveFile(home.Path() + "missing", to));
  EXPECT_EQ(ReadAll(to), "movie");
  EXPECT_FALSE(shell.CopyFile(home.Path() + "missing", home.Path() + "d.swf"));
  EXPECT_FALSE(fs::exists(home.Path() + "d.swf"));
  EXPECT_FALSE(fs::exists(home.Path() + "d.swf.vantrel-copy"));
}

}  // namespace
}  // namespace vantrel::player
