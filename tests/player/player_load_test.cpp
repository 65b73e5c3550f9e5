// The loading road: checks, identification, own movies, videos, projectors, "/exec".
#include <filesystem>
#include <fstream>

#include "core/text.h"
#include "media/decompress.h"
#include "media/projector.h"
#include "player_fixture.h"
#include "support/swf_writer.h"

namespace vantrel::player::testing {
namespace {

namespace fs = std::filesystem;
using vantrel::testing::MovieSpec;

TEST_F(PlayerTest, QuotedPathWithQueryLoadsTheFileBeforeTheLastQuestionMark) {
  const std::string movie = Movie("movies/My Movie.swf");
  Load("\"" + movie + "\"?a=1&b=2");
  EXPECT_EQ(flash.url, movie + "?a=1&b=2");
  EXPECT_EQ(window.caption, "Vantrel - My Movie.swf");
  EXPECT_EQ(P().Title(), "My Movie.swf");
  EXPECT_EQ(flash.background, "336699");
  EXPECT_FALSE(flash.loop);
  EXPECT_TRUE(flash.playing);
  EXPECT_TRUE(P().UpdateTimerRunning());
  EXPECT_EQ(P().Played(), 1);
  ASSERT_EQ(P().Recent().Entries().size(), 1u);
  EXPECT_EQ(P().Recent().Entries()[0], movie);
  EXPECT_EQ(P().LastFolder(), home.Path() + "movies/");
  // The control is set up in order: alignment, then the movie.
  const auto align = std::find(flash.calls.begin(), flash.calls.end(), "AlignMode 0");
  const auto load = std::find(flash.calls.begin(), flash.calls.end(), "LoadMovie 0 " + movie + "?a=1&b=2");
  EXPECT_LT(align, load);
  EXPECT_NE(load, flash.calls.end());

  // Only the last question mark splits: what comes before it is the file.
  Load(movie + "?a=1?b=2");
  EXPECT_TRUE(Logged("Failed to load, since File Not Found"));
  const std::string odd = Movie("odd?name.swf");
  Load(odd + "?x=1");
  EXPECT_EQ(flash.url, odd + "?x=1");
}

TEST_F(PlayerTest, FilesUnderEightBytesFailAndEightBytesReachIdentification) {
  const std::string seven = home.WriteFile("seven.swf", "FWS\x06\x07\x00\x00");
  Load(seven);
  EXPECT_TRUE(Logged("File is too short!"));
  EXPECT_TRUE(Logged("Failed to load, since File is Too Small to Be Valid"));
  EXPECT_TRUE(flash.url.empty());
  EXPECT_FALSE(P().UpdateTimerRunning());

  const std::string eight = home.WriteFile("eight.swf", "ABCDEFGH");
  Load(eight);
  EXPECT_TRUE(Logged("Failed to load, since Not a Flash Movie"));
  EXPECT_EQ(media.LastError, "Not a Flash Movie");
  EXPECT_TRUE(flash.url.empty());
}

TEST_F(PlayerTest, FailureKeepsThePreviousMovieAndShowsOnTheBrowserPageOnlyInBrowserMode) {
  const std::string movie = Movie("a.swf");
  Load(movie);
  Load(home.Path() + "missing.swf");
  EXPECT_TRUE(Logged("Not found"));
  EXPECT_TRUE(Logged("Failed to load, since File Not Found"));
  EXPECT_EQ(flash.url, movie);
  EXPECT_EQ(P().Record().FrameCount, 0);  // the record is reset
  EXPECT_TRUE(browser.calls.empty());

  Load(Movie("app/Media/Flash/browse.swf"), true);
  ASSERT_TRUE(P().BrowserMode());
  Load(home.Path() + "missing.swf");
  EXPECT_EQ(browser.calls.back(), "ShowError File Not Found");
}

TEST_F(PlayerTest, FailingBrowserPageDoesNotRegenerateItself) {
  Load(Movie("app/Media/Flash/browse.swf"), true);
  browser.calls.clear();
  Load(paths.FlashPath + "broken.swf", true);
  EXPECT_TRUE(browser.calls.empty());
}

TEST_F(PlayerTest, FolderOpensTheBrowserThereAndReportsNothing) {
  fs::create_directories(home.Path() + "folder");
  Load(home.Path() + "folder");
  ASSERT_EQ(browser.calls.size(), 1u);
  EXPECT_EQ(browser.calls[0], "ShowFolder " + home.Path() + "folder/ reset");
  for (const std::string& line : lines) EXPECT_EQ(line.find("Failed"), std::string::npos) << line;
}

TEST_F(PlayerTest, EmptyPathShowsTheBrowser) {
  Load("\"\"");
  EXPECT_EQ(browser.calls, std::vector<std::string>{"BrowseMedia"});
}

TEST_F(PlayerTest, OwnMoviesAreNotCountedNotRememberedAndDisableMovieCommands) {
  Load(Movie("app/Media/Flash/intro.swf"));
  EXPECT_TRUE(P().OwnMovie());
  EXPECT_EQ(P().Played(), 0);
  EXPECT_TRUE(P().Recent().Entries().empty());
  MenuModel& m = P().Menus();
  EXPECT_FALSE(m.Enabled("MenuPlayback"));
  EXPECT_FALSE(m.Enabled("mnuConvert"));
  EXPECT_FALSE(m.Enabled("mnuInfo"));
  EXPECT_FALSE(m.Enabled("mnuShowExplorer"));
  EXPECT_FALSE(m.Visible("mnuPopPlay"));
  EXPECT_FALSE(m.Visible("mnuPopConvert"));
  EXPECT_FALSE(m.Visible("mnuPopInfo"));

  Load(Movie("b.swf"));
  EXPECT_TRUE(m.Enabled("MenuPlayback"));
  EXPECT_TRUE(m.Enabled("mnuConvert"));
  EXPECT_TRUE(m.Visible("mnuPopPlay"));
  EXPECT_EQ(m.Caption("mnuConvert"), "Convert to EXE");
}

TEST_F(PlayerTest, VideoEnablesInfoAndThumbnailOnly) {
  // An FLV header with video and audio flags and no tags.
  const std::string video =
      home.WriteFile("clip.flv", std::string("FLV\x01\x05\x00\x00\x00\x09\x00\x00\x00\x00", 13));
  Load(video);
  ASSERT_TRUE(P().Record().IsVideo) << (lines.empty() ? "" : lines.back());
  MenuModel& m = P().Menus();
  EXPECT_TRUE(m.Enabled("mnuInfo"));
  EXPECT_TRUE(m.Enabled("mnuThumbnail"));
  EXPECT_FALSE(m.Enabled("mnuConvert"));
  EXPECT_FALSE(m.Enabled("mnuExtract"));
  EXPECT_FALSE(m.Enabled("MenuPlayback"));
  EXPECT_FALSE(P().OwnMovie());  // the wrapper is ours, the video is not
  EXPECT_EQ(flash.url.rfind(paths.FlashPath + "video.swf?myXML=", 0), 0u) << flash.url;
}

TEST_F(PlayerTest, ExtractMenuStaysOffWhileTheExtractionDialogIsOpen) {
  host.decompilerOpen = true;
  Load(Movie("a.swf"));
  EXPECT_FALSE(P().Menus().Enabled("mnuExtract"));
  EXPECT_TRUE(P().Menus().Enabled("mnuDesktop"));
}

TEST_F(PlayerTest, ShortMovieIsUnderOneHundredFrames) {
  Load(Movie("99.swf", MovieSpec{.frames = 99}));
  EXPECT_TRUE(P().IsShortMovie());
  Load(Movie("100.swf", MovieSpec{.frames = 100}));
  EXPECT_FALSE(P().IsShortMovie());
}

TEST_F(PlayerTest, RemoveProjectorsKeepsTheMovieBesideAndTrashesTheProjector) {
  media.ExtractProjector = media::ExtractEXE;
  options->WriteBool("System", "GenericProjectors", false);  // the fixture has no version resource
  options->WriteBool("System", "RemoveProjectors", true);
  shell.systemTrash = true;
  const std::string exe = home.WriteFile("games/game.exe", vantrel::testing::MakeProjector(vantrel::testing::MakeMovie()));

  Load(exe);
  EXPECT_TRUE(fs::exists(exe + ".swf"));
  EXPECT_FALSE(fs::exists(exe));
  EXPECT_TRUE(fs::exists(HomeTrashFolder() + "files/game.exe"));
  EXPECT_TRUE(fs::exists(HomeTrashFolder() + "info/game.exe.trashinfo"));
  EXPECT_EQ(flash.url, exe + ".swf");
  EXPECT_EQ(window.caption, "Vantrel - game.exe.swf");
  EXPECT_FALSE(P().Record().IsProjector);
}

TEST_F(PlayerTest, ProjectorStaysWhenItCannotBeTrashedAndPlaysFromItsNewPlace) {
  media.ExtractProjector = media::ExtractEXE;
  options->WriteBool("System", "GenericProjectors", false);
  options->WriteBool("System", "RemoveProjectors", true);
  const std::string exe = home.WriteFile("game.exe", vantrel::testing::MakeProjector(vantrel::testing::MakeMovie()));
  Load(exe);  // the fake shell has no trash folder: the projector stays
  EXPECT_TRUE(fs::exists(exe));
  EXPECT_TRUE(fs::exists(exe + ".swf"));
  EXPECT_EQ(flash.url, exe + ".swf");
  EXPECT_TRUE(P().Record().IsProjector);
  EXPECT_EQ(P().Menus().Caption("mnuConvert"), "Convert EXE to SWF");
}

TEST_F(PlayerTest, DoubtfulProjectorFailsWithTheRefusalText) {
  media.ExtractProjector = media::ExtractEXE;
  Load(home.WriteFile("tool.exe", vantrel::testing::MakeProjector(vantrel::testing::MakeMovie())));
  EXPECT_TRUE(Logged("Failed to load, since " + std::string(media::kNotGenericProjector)));
  EXPECT_TRUE(flash.url.empty());
}

TEST_F(PlayerTest, OurOwnProjectorsOpenFromTheCommandLineWhateverTheirName) {
  media.ExtractProjector = media::ExtractEXE;  // "Skip Doubtful Projectors" stays on
  std::string elf = vantrel::testing::MakeProjector(vantrel::testing::MakeMovie());
  elf.replace(0, 4, "\x7F" "ELF");
  const std::string game = home.WriteFile("games/game", elf);
  const std::string other = home.WriteFile("games/tool", std::string("\x7F" "ELF") + std::string(600, '\0'));
  P().ProcessCommand(game + " " + other);
  ASSERT_EQ(P().GetPlaylist().Count(), 1);  // a program that carries no movie is left out
  EXPECT_EQ(flash.url, media::CachePathFor(paths.CachePath, game, ".swf", true, false));
  EXPECT_TRUE(P().Record().IsProjector);
  EXPECT_EQ(window.caption, "Vantrel - game");
  // The movie plays from the cache but lives beside its projector: what it reads, it
  // reads there.
  EXPECT_EQ(flash.address, game);
  const std::string plain = Movie("plain.swf");
  Load(plain);
  EXPECT_EQ(flash.url, plain);
  EXPECT_EQ(flash.address, "");
}

TEST_F(PlayerTest, ExecRunsAStatementInsteadOfLoading) {
  Load("/EXEC Uninstall");
  EXPECT_TRUE(Logged("Execute script:  Uninstall"));
  ASSERT_FALSE(browser.calls.empty());
  EXPECT_EQ(browser.calls[0], "ShowError Execution:  Uninstall >> ");
  EXPECT_EQ(std::count(host.calls.begin(), host.calls.end(), "ClearFileTypes"), 1);
  EXPECT_EQ(host.calls.back(), "EndProcess");
  EXPECT_TRUE(flash.url.empty());
}

TEST_F(PlayerTest, ExecErrorsGoToTheLogAndThePage) {
  P().ProcessCommand("/exec Player.SetQuality \"Low\"");
  EXPECT_EQ(flash.quality, "Low");
  P().ProcessCommand("/exec Nonsense 1");
  const std::string error = "Object doesn't support this property or method: 'Nonsense'";
  EXPECT_TRUE(Logged(error));
  EXPECT_EQ(browser.calls.back(), "ShowError Execution:  Nonsense 1 >> " + error);
  P().ProcessCommand("/exec SetSound \"loud\", 0");
  EXPECT_TRUE(Logged("Type mismatch: 'SetSound'"));
}

// Over the browser, Media Browser (F3, the skin's button) refreshes the page and the
// Playlist item only changes its check: the pane stays hidden while the browser shows
// and comes back with the check when a movie takes the page's place.
TEST_F(PlayerTest, BrowserItemsOverTheBrowserRefreshItAndKeepThePlaylistHidden) {
  const std::string movie = Movie("a.swf", vantrel::testing::MovieSpec{.frames = 40});
  P().OpenMovie(movie);
  P().Menus().SetChecked("mnuPlaylist", true);
  const std::string page = Movie("app/Media/Flash/browse.swf");
  Load(page, true);
  ASSERT_TRUE(P().BrowserMode());
  EXPECT_FALSE(P().Menus().Enabled("MenuPlayback"));
  browser.calls.clear();
  flash.calls.clear();

  EXPECT_TRUE(P().MenuClick("mnuBrowse"));
  EXPECT_TRUE(P().BrowserMode());
  EXPECT_EQ(browser.calls, std::vector<std::string>{"BrowseMedia"});
  EXPECT_EQ(flash.url, page);

  EXPECT_TRUE(P().MenuClick("mnuPlaylist"));
  EXPECT_FALSE(P().Menus().Checked("mnuPlaylist"));
  EXPECT_TRUE(P().MenuClick("mnuPlaylist"));
  EXPECT_TRUE(P().Menus().Checked("mnuPlaylist"));
  EXPECT_TRUE(P().BrowserMode());
  EXPECT_FALSE(window.pane);

  // A movie from the browser (a tile, a recent file) brings the pane back with it.
  P().OpenMovie(movie);
  EXPECT_FALSE(P().BrowserMode());
  EXPECT_TRUE(window.pane);
}

TEST_F(PlayerTest, MovieThatEndsEarlySaysSoAndPlays) {
  const std::string whole = vantrel::testing::MakeMovie({.frames = 30});
  Load(home.WriteFile("cut.swf", whole.substr(0, whole.size() / 2)));
  EXPECT_EQ(flash.url, home.Path() + "cut.swf");
  ASSERT_EQ(window.statuses.size(), 1u);
  EXPECT_EQ(window.statuses[0].rfind("The movie is incomplete: its data ends after", 0), 0u) << window.statuses[0];
  Load(home.WriteFile("whole.swf", whole));
  EXPECT_EQ(window.statuses.size(), 1u);

  // A video cut short says so too (the page shows what there is).
  vantrel::testing::FlvWriter flv;
  flv.Script(0, vantrel::testing::FlvMetaData({{"duration", vantrel::testing::AmfValue::Number(3.0)}}));
  for (int i = 0; i < 10; ++i) flv.Video(i * 100, vantrel::testing::H263VideoData(3));
  Load(home.WriteFile("cut.flv", flv.Bytes().substr(0, flv.Bytes().size() - 5)));
  ASSERT_TRUE(P().Record().IsVideo);
  ASSERT_EQ(window.statuses.size(), 2u);
  EXPECT_EQ(window.statuses[1], "The video is incomplete: its data ends after 0:01 of 0:03.");
}

TEST_F(PlayerTest, PlaybackItemsActOnAVideoFromTheSkinAndKeysOnly) {
  const std::string video =
      home.WriteFile("clip.flv", std::string("FLV\x01\x05\x00\x00\x00\x09\x00\x00\x00\x00", 13));
  Load(video);
  ASSERT_TRUE(P().Record().IsVideo);
  EXPECT_FALSE(P().Menus().Enabled("MenuPlayback"));
  EXPECT_TRUE(P().ActsOnVideo("mnuPlay"));
  EXPECT_TRUE(P().ActsOnVideo("mnuMute"));
  EXPECT_FALSE(P().ActsOnVideo("mnuRepeatMode"));
  Load(Movie("a.swf"));
  EXPECT_FALSE(P().ActsOnVideo("mnuPlay"));
}

TEST_F(PlayerTest, CommandLineItemsBecomeThePlaylist) {
  const std::string a = Movie("dir with space/a.swf");
  const std::string b = Movie("b.swf");
  P().ProcessCommand("\"" + a + "\" " + b);
  ASSERT_EQ(P().GetPlaylist().Count(), 2);
  EXPECT_EQ(P().GetPlaylist().At(0), a);
  EXPECT_EQ(P().GetPlaylist().At(1), b);
  EXPECT_EQ(flash.url, a);
  EXPECT_EQ(window.selectedLine, 0);
}

}  // namespace
}  // namespace vantrel::player::testing
