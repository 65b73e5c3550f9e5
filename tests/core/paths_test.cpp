#include <gtest/gtest.h>

#include <filesystem>

#include "core/cache.h"
#include "core/paths.h"
#include "support/temp_home.h"

namespace vantrel::core {
namespace {

TEST(AddSlash, EndsWithExactlyOneSlash) {
  EXPECT_EQ(AddSlash("/home/user"), "/home/user/");
  EXPECT_EQ(AddSlash("/home/user/"), "/home/user/");
  EXPECT_EQ(AddSlash("/a//b"), "/a/b/");
  EXPECT_EQ(AddSlash(""), "/");
}

TEST(Paths, FollowTheXdgFoldersOfTheUser) {
  testing::TempHome home;
  const Paths p = InitPaths(home.Path() + "app", "Flash Player");
  EXPECT_EQ(p.AppPath, home.Path() + "app/");
  EXPECT_EQ(p.BinaryPath, home.Path() + "app/Media/Binary/");
  EXPECT_EQ(p.LanguagesPath, home.Path() + "app/Languages/");
  EXPECT_EQ(p.UserPath, home.Path() + ".local/share/Vantrel/");
  EXPECT_EQ(p.UserSkinPath, p.UserPath + "Skin/");
  EXPECT_EQ(p.CachePath, home.Path() + ".cache/Vantrel Cache/");
  EXPECT_EQ(p.LastPlayedPath, p.UserPath + "Last Played.vantrel");
  EXPECT_TRUE(FolderExists(p.UserPath));
  EXPECT_TRUE(FolderExists(p.UserSkinPath));
  EXPECT_TRUE(FolderExists(p.CachePath));
  EXPECT_TRUE(FileExists(p.LogPath));
  EXPECT_EQ(SpecialFolder(kFolderDocuments), home.Path() + "Documents/");
  EXPECT_EQ(SpecialFolder(99), "");
}

TEST(Paths, DocumentsFolderComesFromUserDirs) {
  testing::TempHome home;
  home.WriteFile(".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
  EXPECT_EQ(SpecialFolder(kFolderDocuments), home.Path() + "Dokumente/");
}

TEST(FileExists, FalseForMissingAndEmptyPaths) {
  testing::TempHome home;
  EXPECT_TRUE(FileExists(home.WriteFile("a.swf", "FWS")));
  EXPECT_FALSE(FileExists(home.Path() + "b.swf"));
  EXPECT_FALSE(FileExists(""));
}

TEST(CleanCache, DeletesByMode) {
  testing::TempHome home;
  const std::string cache = home.Path() + "cache/";
  auto fill = [&] {
    for (const char* name : {"a.swf", "b.EXE", "c.tmp", "d.jpg", "e.xml"}) home.WriteFile(std::string("cache/") + name, "x");
  };
  auto count = [&] {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(cache)) ++n;
    return n;
  };
  fill();
  EXPECT_EQ(CleanCache(cache, 7), 0);
  EXPECT_EQ(CleanCache(cache, 0), 0);
  EXPECT_EQ(CleanCache(cache, 3), 1);  // d.jpg
  EXPECT_EQ(CleanCache(cache, 1), 3);  // swf, exe (any case), tmp
  EXPECT_EQ(count(), 1);
  fill();
  EXPECT_EQ(CleanCache(cache, 2), 5);
  EXPECT_EQ(count(), 0);
  EXPECT_EQ(CleanCache(home.Path() + "missing/", 2), 0);
}

}  // namespace
}  // namespace vantrel::core
