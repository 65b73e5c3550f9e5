// Movie commands, the options binding and the quit order.
#include <filesystem>

#include "player_fixture.h"

namespace vantrel::player::testing {
namespace {

namespace fs = std::filesystem;

TEST_F(PlayerTest, CommandsAreMatchedInAnyCase) {
  P().FSCommand("meowlog", "Hello There");
  EXPECT_TRUE(Logged("Media debug :: Hello There"));
  P().FSCommand("MeowMsg", "boo");
  EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Media Debug: boo"});
  P().FSCommand("goweb", "ignored");
  EXPECT_EQ(shell.opened, std::vector<std::string>{"http://www.vantrel.org/"});
  P().FSCommand("NOSUCHTHING", "x");  // ignored
}

TEST_F(PlayerTest, SystemCommandsObeyTheOption) {
  options->WriteBool("System", "FSCommand", false);
  P().FSCommand("FULLSCREEN", "true");
  EXPECT_FALSE(P().Menus().Checked("mnuFullScreen"));
  P().FSCommand("EXEC", "/usr/bin/xterm");
  EXPECT_TRUE(Logged("Movie opened: '/usr/bin/xterm'"));
  EXPECT_TRUE(shell.opened.empty());
  P().FSCommand("QUIT", "");
  EXPECT_EQ(window.unloads, 0);

  options->WriteBool("System", "FSCommand", true);
  P().FSCommand("fullscreen", "TRUE");
  EXPECT_TRUE(P().Menus().Checked("mnuFullScreen"));
  P().FSCommand("FULLSCREEN", "maybe");  // not a Boolean: nothing happens
  EXPECT_TRUE(P().Menus().Checked("mnuFullScreen"));
  P().FSCommand("FULLSCREEN", "0");
  EXPECT_FALSE(P().Menus().Checked("mnuFullScreen"));
  P().FSCommand("EXEC", "http://example.org/");
  EXPECT_EQ(shell.opened, std::vector<std::string>{"http://example.org/"});
  P().FSCommand("QUIT", "");
  EXPECT_EQ(window.unloads, 1);
  EXPECT_TRUE(Logged("<B>Quit: Movie Request</B>"));
}

TEST_F(PlayerTest, BrowserCommandsWorkAgainstItsListing) {
  const std::string movie = Movie("m.swf");
  browser.items = {{home.Path() + "folder/", kBrowserFolder}, {movie, 1}};
  P().FSCommand("SHOTCLICK", "0");
  P().FSCommand("SHOTCLICK", "3");
  EXPECT_TRUE(browser.calls.empty());
  P().FSCommand("SHOTOVER", "0");
  EXPECT_EQ(P().HoveredItem(), 0);
  P().FSCommand("SHOTOVER", "2.5");  // halves to even: 2
  EXPECT_EQ(P().HoveredItem(), 2);
  P().FSCommand("SHOTOVER", "3");
  EXPECT_EQ(P().HoveredItem(), 2);
  P().FSCommand("BROWSESCROLL", "-40");
  EXPECT_EQ(P().BrowseScroll(), -40);
  P().FSCommand("BROWSESCROLL", "far");
  EXPECT_EQ(P().BrowseScroll(), 0);

  P().FSCommand("SHOTCLICK", "1");
  EXPECT_EQ(browser.calls.back(), "ShowFolder " + home.Path() + "folder/ reset");
  P().FSCommand("SHOTCLICK", "2");
  EXPECT_EQ(P().GetPlaylist().Entries(), std::vector<std::string>{movie});
  EXPECT_EQ(flash.url, movie);

  P().FSCommand("MEOWUP", "");
  EXPECT_EQ(browser.calls.back(), "GoLevelUp");
  P().FSCommand("MEOWSEARCH", "");
  EXPECT_EQ(browser.calls.back(), "ShowFolder  keep");
  dialogs.folderAnswer = "/picked/";
  P().FSCommand("MEOWBROWSE", "");
  EXPECT_EQ(dialogs.titles.back(), "Select Folder to Browse Media in:");
  EXPECT_EQ(browser.calls.back(), "ShowFolder /picked/ reset");
  P().FSCommand("MEOWLOAD", movie);
  EXPECT_EQ(P().GetPlaylist().Count(), 1);
}

TEST_F(PlayerTest, DefaultOptionsGiveTheDefaultStartState) {
  P().Load();
  MenuModel& m = P().Menus();
  EXPECT_EQ(flash.quality, "High");
  EXPECT_TRUE(m.Checked("mnuSMode", 2));
  EXPECT_TRUE(m.Checked("mnuOpFull"));
  EXPECT_TRUE(m.Checked("mnuPlaylist"));
  EXPECT_TRUE(window.pane);
  EXPECT_TRUE(m.Checked("mnuRepeatMode", 0));
  EXPECT_TRUE(m.Checked("mnuSortName"));
  EXPECT_FALSE(m.Checked("mnuSortDate"));
  EXPECT_TRUE(m.Checked("mnuSortForward"));
  EXPECT_EQ(P().Volume(), 100);
  EXPECT_FALSE(P().Muted());
  EXPECT_TRUE(m.Checked("mnuMenuBar"));
  EXPECT_TRUE(P().Loaded());
  EXPECT_FALSE(m.Enabled("mnuSavePL"));
}

TEST_F(PlayerTest, SavedOptionsComeBackInTheNextRun) {
  const std::string movie = Movie("recent.swf");
  P().Load();
  P().SetQuality("Low");
  P().MenuClick("mnuSMode", 0);
  P().MenuClick("mnuOpMed");
  P().MenuClick("mnuRepeatMode", 2);
  P().MenuClick("mnuShuffle");
  P().MenuClick("mnuSortSize");
  P().SetSound(60, 20);
  P().MenuClick("mnuMute");
  P().MenuClick("mnuTopMost");
  P().ToggleTimeMode();
  Load(movie);
  window.geometry = {30, 40, 500, 350};
  P().SaveOpts();
  EXPECT_EQ(options->ReadText("Sound", "Volume", ""), "60");  // the volume unmuting gives back
  EXPECT_EQ(options->ReadText("Window", "Left", ""), "450");  // in twips
  EXPECT_EQ(options->ReadText("Generator", "Width", ""), "120");  // defaults are written too

  player.reset();
  window = FakeWindow{};
  flash = FakeFlash{};
  P().Load();
  MenuModel& m = P().Menus();
  EXPECT_EQ(flash.quality, "Low");
  EXPECT_TRUE(m.Checked("mnuSMode", 0));
  EXPECT_TRUE(m.Checked("mnuOpMed"));
  EXPECT_EQ(P().RepeatMode(), 2);
  EXPECT_TRUE(m.Checked("mnuShuffle"));
  EXPECT_TRUE(m.Checked("mnuSortSize"));
  EXPECT_TRUE(P().Muted());
  EXPECT_EQ(P().Volume(), 0);
  EXPECT_EQ(P().Pan(), 0);  // muting sets the pan back to the middle
  P().MuteSound(false);
  EXPECT_EQ(P().Volume(), 60);
  EXPECT_TRUE(window.topMost);
  EXPECT_EQ(P().TimeMode(), 1);
  EXPECT_EQ(P().Played(), 1);
  EXPECT_EQ(window.geometry.left, 30);
  EXPECT_EQ(window.geometry.height, 350);
  ASSERT_EQ(P().Recent().Entries().size(), 1u);
  EXPECT_EQ(m.Caption("mnuMRU", 0), movie);
  EXPECT_EQ(P().LastFolder(), home.Path());
}

TEST_F(PlayerTest, BooleanStoredAsNumberReadsAsTrue) {
  options->WriteNumber("Playback", "NonStop", 1);
  options->WriteText("Window", "MenuBar", "False");
  P().Load();
  EXPECT_TRUE(P().Menus().Checked("mnuNonStop"));
  EXPECT_FALSE(window.menuBar);
}

TEST_F(PlayerTest, QuitSavesHistoryAndOptionsInOrderAndCleansTheCache) {
  P().Load();
  P().OpenMovie(Movie("a.swf"));
  home.WriteFile(".cache/Vantrel Cache/x.swf", "x");
  home.WriteFile(".cache/Vantrel Cache/keep.jpg", "x");
  P().Quit("Form Unload", true);
  const auto at = [&](const char* call) { return std::find(window.calls.begin(), window.calls.end(), call); };
  EXPECT_LT(at("Hide"), at("ReleaseHooks"));
  EXPECT_EQ(window.calls.back(), "UnloadAll");
  EXPECT_TRUE(fs::exists(paths.LastPlayedPath));
  EXPECT_EQ(options->ReadText("View", "Quality", ""), "High");
  EXPECT_EQ(host.calls, std::vector<std::string>{"RestoreScreenSaver"});
  EXPECT_FALSE(fs::exists(paths.CachePath + "x.swf"));
  EXPECT_TRUE(fs::exists(paths.CachePath + "keep.jpg"));
  EXPECT_FALSE(P().Loaded());
  EXPECT_EQ(lines.back(), "<B>Quit: Form Unload</B>");
}

TEST_F(PlayerTest, QuitWithoutSaveWritesNothing) {
  P().Quit("Flash Required", false);
  EXPECT_FALSE(fs::exists(options->FilePath()));
  EXPECT_FALSE(fs::exists(paths.LastPlayedPath));
  EXPECT_EQ(window.unloads, 1);
}

TEST_F(PlayerTest, HandOverRestoresAMinimisedWindowAndProcessesTheText) {
  const std::string movie = Movie("a.swf");
  P().CopyData("");
  EXPECT_TRUE(window.calls.empty());
  window.state = WindowState::Minimized;
  P().CopyData(movie);
  EXPECT_EQ(window.state, WindowState::Normal);
  EXPECT_TRUE(Logged("Other Instance Requested: \"" + movie + "\""));
  EXPECT_EQ(flash.url, movie);
}

TEST_F(PlayerTest, RecentFilesMenuOpensTheEntry) {
  const std::string a = Movie("a.swf");
  Load(a);
  Load(Movie("b.swf"));
  EXPECT_EQ(P().Menus().ArrayCount("mnuMRU"), 2);
  EXPECT_TRUE(P().MenuClick("mnuMRU", 1));
  EXPECT_EQ(flash.url, a);
  EXPECT_EQ(P().Menus().Caption("mnuMRU", 0), a);
  EXPECT_FALSE(P().MenuClick("mnuOpt"));  // the options dialog is the window's
}

TEST_F(PlayerTest, WithoutHistoryNoRecentFileIsListedKeptOrLoaded) {
  Load(Movie("a.swf"));
  P().SaveOpts();
  ASSERT_EQ(options->ReadText("Recent", "0", ""), home.Path() + "a.swf");
  // "Keep a List of Recent Files" off: opening adds nothing, the next save forgets the
  // list, and a restart lists nothing.
  options->WriteBool("Recent", "History", false);
  Load(Movie("b.swf"));
  EXPECT_EQ(P().Recent().Entries(), std::vector<std::string>{home.Path() + "a.swf"});
  EXPECT_EQ(P().LastFolder(), home.Path());
  P().SaveOpts();
  EXPECT_TRUE(P().Recent().Entries().empty());
  EXPECT_EQ(P().Menus().Caption("mnuMRU", 0), "No Recent Files");
  EXPECT_FALSE(P().Menus().Enabled("mnuMRU", 0));
  EXPECT_EQ(options->ReadText("Recent", "0", ""), "");
  options->WriteText("Recent", "0", home.Path() + "b.swf");
  P().LoadOpts();
  EXPECT_TRUE(P().Recent().Entries().empty());
}

}  // namespace
}  // namespace vantrel::player::testing
