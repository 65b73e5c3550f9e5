// The playlist: files, folders and playlist files, walking, history, removal, export.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "core/text.h"
#include "core/version.h"
#include "player/playlist_file.h"
#include "player_fixture.h"

namespace vantrel::player::testing {
namespace {

namespace fs = std::filesystem;

class PlaylistTest : public PlayerTest {
 protected:
  std::vector<std::string> Entries() { return P().GetPlaylist().Entries(); }
  std::string PlaylistFileOf(const std::vector<std::string>& entries, const std::string& build = "680") {
    std::string text = "<?xml version=\"1.0\"?><PLAYLIST app=\"Vantrel\"";
    if (!build.empty()) text += " build=\"" + build + "\"";
    text += ">";
    for (const std::string& entry : entries) text += "<FILE>" + core::HtmlEncode(entry) + "</FILE>";
    return text + "</PLAYLIST>";
  }
};

TEST_F(PlaylistTest, ExportedPlaylistLoadsBackIdentically) {
  const std::vector<std::string> files = {Movie("a & b.swf"), Movie("<odd> \"name\".swf"), Movie("x/c.flv"),
                                          home.Path() + "R&D #1; é.swf"};
  for (const std::string& file : files) P().AddToPlaylist(file, 0);
  ASSERT_EQ(Entries(), files);
  dialogs.saveAnswer = home.Path() + "export";
  P().MenuClick("mnuSavePL");
  EXPECT_EQ(dialogs.titles.back(), "Save Playlist...");
  ASSERT_EQ(dialogs.lastFilters.size(), 1u);
  EXPECT_EQ(dialogs.lastFilters[0].patterns, "*.vantrel");
  ASSERT_TRUE(fs::exists(home.Path() + "export.vantrel"));

  options->WriteBool("Recent", "History", false);
  P().ClearPlaylist();
  options->WriteBool("Recent", "History", true);
  P().AddToPlaylist(home.Path() + "export.vantrel", 0);
  EXPECT_EQ(Entries(), files);
  EXPECT_EQ(P().Recent().Entries().front(), home.Path() + "export.vantrel");
}

TEST_F(PlaylistTest, PlaylistFromAnotherBuildOrWithoutBuildIsRefused) {
  const std::string movie = Movie("a.swf");
  P().AddToPlaylist(home.WriteFile("none.vantrel", PlaylistFileOf({movie}, "")), 0);
  EXPECT_TRUE(Logged("PL Version is incompatible"));
  // Files of a later build than the program's are refused; every playlist ever written
  // (the format's build stamp) is taken.
  P().AddToPlaylist(home.WriteFile("later.vantrel", PlaylistFileOf({movie}, std::to_string(core::kBuildNumber + 1))), 0);
  EXPECT_TRUE(Entries().empty());
  P().AddToPlaylist(home.WriteFile("ours.vantrel", PlaylistFileOf({movie}, std::to_string(core::kPlaylistFormatBuild))), 0);
  EXPECT_EQ(Entries(), std::vector<std::string>{movie});
  P().AddToPlaylist(home.WriteFile("this.vantrel", PlaylistFileOf({movie}, std::to_string(core::kBuildNumber))), 0);
  EXPECT_EQ(Entries().size(), 2u);
}

TEST_F(PlaylistTest, NestedPlaylistIsOneEntryNotExpanded) {
  const std::string inner = home.WriteFile("inner.vantrel", PlaylistFileOf({Movie("deep.swf")}));
  P().AddToPlaylist(home.WriteFile("outer.vantrel", PlaylistFileOf({inner, Movie("a.swf")})), 0);
  EXPECT_EQ(Entries(), (std::vector<std::string>{inner, home.Path() + "a.swf"}));
}

TEST_F(PlaylistTest, BrokenHugeOrUnreadablePlaylistsAddNothing) {
  P().AddToPlaylist(home.WriteFile("broken.vantrel", "<PLAYLIST build=\"680\"><FILE>a.swf</FI"), 0);
  EXPECT_TRUE(Logged("Failed to load PL XML"));

  // A sparse file far above the size a playlist may have is refused without reading it.
  const std::string huge = home.Path() + "huge.vantrel";
  { std::ofstream(huge) << "<PLAYLIST>"; }
  fs::resize_file(huge, kMaxPlaylistBytes + 1);
  lines.clear();
  P().AddToPlaylist(huge, 0);
  EXPECT_TRUE(Logged("Failed to load PL XML"));

  const std::string locked = home.WriteFile("locked.vantrel", PlaylistFileOf({Movie("a.swf")}));
  ::chmod(locked.c_str(), 0);
  if (::geteuid() != 0) {
    lines.clear();
    P().AddToPlaylist(locked, 0);
    EXPECT_TRUE(Logged("Failed to load PL XML"));
  }
  EXPECT_TRUE(Entries().empty() || ::geteuid() == 0);
}

TEST_F(PlaylistTest, VeryLongEntryListStopsAtTheListLimit) {
  std::string text = "<PLAYLIST build=\"680\">";
  for (int i = 0; i < 40000; ++i) text += "<FILE>/m/" + std::to_string(i) + ".swf</FILE>";
  text += "</PLAYLIST>";
  P().AddToPlaylist(home.WriteFile("long.vantrel", text), 0);
  EXPECT_EQ(P().GetPlaylist().Count(), Playlist::kMaxEntries);
  EXPECT_EQ(P().GetPlaylist().At(Playlist::kMaxEntries - 1), "/m/32766.swf");
}

TEST_F(PlaylistTest, NextAndPreviousNeedTwoEntries) {
  P().AddToPlaylist(Movie("one.swf"), 0);
  EXPECT_FALSE(P().Menus().Enabled("mnuPlayNext"));
  EXPECT_FALSE(P().Menus().Enabled("mnuPlayPrev"));
  P().AddToPlaylist(Movie("two.swf"), 0);
  EXPECT_TRUE(P().Menus().Enabled("mnuPlayNext"));
  EXPECT_TRUE(P().Menus().Enabled("mnuPlayPrev"));
}

TEST_F(PlaylistTest, FoldersAddOneLevelAndOnlyPlayableFiles) {
  Movie("dir/b.swf");
  Movie("dir/a.swf");
  home.WriteFile("dir/notes.txt", "x");
  home.WriteFile("dir/clip.FLV", "x");
  home.WriteFile("dir/tool.exe", "MZ");
  home.WriteFile("dir/game.exe", "MZ");
  Movie("dir/sub/deep.swf");
  genericProjectors.insert(home.Path() + "dir/game.exe");
  P().AddToPlaylist(home.Path() + "dir", 0);
  EXPECT_EQ(Entries(), (std::vector<std::string>{home.Path() + "dir/a.swf", home.Path() + "dir/b.swf",
                                                 home.Path() + "dir/clip.FLV", home.Path() + "dir/game.exe"}));
  EXPECT_TRUE(P().Menus().Enabled("mnuSavePL"));
  EXPECT_TRUE(P().Menus().Enabled("mnuPlayNext"));

  options->WriteBool("System", "GenericProjectors", false);
  P().AddToPlaylist(home.Path() + "dir/tool.exe", 0);
  EXPECT_EQ(Entries().back(), home.Path() + "dir/tool.exe");
}

TEST_F(PlaylistTest, NextAndPreviousWrapAround) {
  for (const char* name : {"a.swf", "b.swf", "c.swf"}) P().AddToPlaylist(Movie(name), 0);
  P().PlayItem(2);
  P().PlayNext();
  EXPECT_EQ(P().GetPlaylist().Current(), 0);
  EXPECT_EQ(flash.url, home.Path() + "a.swf");
  P().PlayPrev();
  EXPECT_EQ(P().GetPlaylist().Current(), 2);
  P().PlayPrev();
  EXPECT_EQ(P().GetPlaylist().Current(), 1);
  EXPECT_EQ(window.selectedLine, 1);
}

TEST_F(PlaylistTest, RandomOnTwoEntriesAlwaysPicksTheOther) {
  P().AddToPlaylist(Movie("a.swf"), 0);
  P().AddToPlaylist(Movie("b.swf"), 0);
  P().PlayItem(0);
  randomValues = {0.1, 0.5, 0.2, 0.7};  // 0, 0 (half to even), 0, then 1
  EXPECT_EQ(P().PlayRandom(), 1);
  EXPECT_TRUE(randomValues.empty());
  P().PlayItem(1);
  randomValues = {0.9, 0.3};
  EXPECT_EQ(P().PlayRandom(), 0);

  P().Menus().SetChecked("mnuShuffle", true);
  P().PlayItem(0);
  randomValues = {0.9};
  P().PlayNext();
  EXPECT_EQ(P().GetPlaylist().Current(), 1);
}

TEST_F(PlaylistTest, EmptyListNeverAdvances) {
  P().PlayNext();
  P().PlayPrev();
  EXPECT_TRUE(flash.url.empty());
  EXPECT_EQ(P().PlayRandom(), -1);
  P().StartPlayList();
  EXPECT_EQ(browser.calls, std::vector<std::string>{"BrowseMedia"});
}

TEST_F(PlaylistTest, RemovingSelectedLinesRemovesExactlyThose) {
  for (const char* name : {"0.swf", "1.swf", "2.swf", "3.swf", "4.swf", "5.swf"}) P().AddToPlaylist(home.Path() + name, 0);
  window.selection = {4, 1, 2};
  P().MenuClick("mnuRemove");
  EXPECT_EQ(Entries(), (std::vector<std::string>{home.Path() + "0.swf", home.Path() + "3.swf", home.Path() + "5.swf"}));
  EXPECT_EQ(window.calls.front(), "Lock");
  EXPECT_EQ(window.calls.back(), "Unlock");
  window.selection = {0};
  P().MenuClick("mnuRemove");
  EXPECT_EQ(Entries(), (std::vector<std::string>{home.Path() + "3.swf", home.Path() + "5.swf"}));
}

TEST_F(PlaylistTest, MovingTheCurrentEntryCarriesTheIndex) {
  for (const char* name : {"0.swf", "1.swf", "2.swf"}) P().AddToPlaylist(home.Path() + name, 0);
  P().PreparePopUp("Playlist");
  EXPECT_FALSE(P().Menus().Enabled("mnuMoveUp"));
  EXPECT_FALSE(P().Menus().Visible("mnuItemCut"));
  EXPECT_TRUE(P().Menus().Visible("mnuRemoveAll"));

  window.selection = {1};
  P().PreparePopUp("Playlist");
  EXPECT_TRUE(P().Menus().Enabled("mnuMoveUp"));
  EXPECT_TRUE(P().Menus().Enabled("mnuMoveDown"));
  P().PlayItem(1);  // (the file is missing: it only becomes current)
  P().MenuClick("mnuMoveDown");
  EXPECT_EQ(Entries()[2], home.Path() + "1.swf");
  EXPECT_EQ(P().GetPlaylist().Current(), 2);
  EXPECT_EQ(window.selectedLine, 2);
  P().MoveItem(2, 1);  // past the end: nothing
  EXPECT_EQ(Entries()[2], home.Path() + "1.swf");
}

TEST_F(PlaylistTest, ClearingSavesTheHistoryAndPreviousOnOneEntryBringsItBack) {
  const std::string a = Movie("a.swf"), b = Movie("b.swf"), c = Movie("c.swf");
  P().AddToPlaylist(a, 0);
  P().AddToPlaylist(b, 0);
  P().OpenMovie(c);  // clears: the two-entry list becomes the history
  ASSERT_TRUE(fs::exists(paths.LastPlayedPath));
  EXPECT_EQ(Entries(), std::vector<std::string>{c});

  P().PlayPrev();
  EXPECT_EQ(Entries(), (std::vector<std::string>{a, b}));
  EXPECT_EQ(flash.url, a);
  EXPECT_FALSE(fs::exists(paths.LastPlayedPath + ".vantrel"));
  // The one-entry list is the history now.
  const PlaylistFile history = ReadPlaylistFile(paths.LastPlayedPath);
  EXPECT_EQ(history.entries, std::vector<std::string>{c});
  for (const std::string& entry : P().Recent().Entries()) EXPECT_EQ(entry.find("Last Played"), std::string::npos);
}

TEST_F(PlaylistTest, OpenDialogClearsAndPlaysOrAppends) {
  const std::string a = Movie("a.swf"), b = Movie("b.swf");
  P().AddToPlaylist(Movie("old.swf"), 0);
  dialogs.openAnswers = {{a, b}};
  P().MenuClick("mnuOpen");
  EXPECT_EQ(dialogs.titles.back(), "Open Movie...");
  ASSERT_EQ(dialogs.lastFilters.size(), 5u);
  EXPECT_EQ(dialogs.lastFilters[0].patterns, "*.swf;*.exe;*.flv;*.vantrel");
  EXPECT_EQ(dialogs.lastFilters[4].name, "Flash Playlist ");
  EXPECT_EQ(Entries(), (std::vector<std::string>{a, b}));
  EXPECT_EQ(flash.url, a);

  dialogs.openAnswers = {{Movie("c.swf")}};
  P().MenuClick("mnuAddtoPL");
  EXPECT_EQ(dialogs.titles.back(), "Add to Playlist...");
  EXPECT_EQ(Entries().size(), 3u);
  EXPECT_EQ(flash.url, a);

  P().MenuClick("mnuOpen");  // cancelled: nothing changes
  EXPECT_EQ(Entries().size(), 3u);
}

TEST_F(PlaylistTest, ActivatingThePaneWithoutSelectionOpensTheDialog) {
  P().PlaylistActivated();
  EXPECT_EQ(dialogs.titles.back(), "Open Movie...");
  P().AddToPlaylist(Movie("a.swf"), 0);
  P().AddToPlaylist(Movie("b.swf"), 0);
  window.selection = {1};
  P().PlaylistActivated();
  EXPECT_EQ(flash.url, home.Path() + "b.swf");
}

}  // namespace
}  // namespace vantrel::player::testing
