// The Flash desktop's page and item, the wallpaper commands, the screen saver's movie,
// the Flash folder and the player's own command-line options.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "core/options.h"
#include "core/paths.h"
#include "core/text.h"
#include "support/temp_home.h"
#include "system/command_options.h"
#include "system/desktop.h"
#include "system/flash_folder.h"
#include "system/screen_saver.h"

namespace vantrel::system {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!core::ReadFileBytes(path, bytes)) return "<missing>";
  return std::string(bytes.begin(), bytes.end());
}

TEST(DesktopPage, EveryPlaceholderIsReplacedEverywhereAndOthersStay) {
  DesktopPage page;
  page.title = "Vantrel - Orbits";
  page.moviePath = "/d/Desktop.swf";
  page.dataPath = "/u/";
  page.backColor = "FF8000";
  page.width = 1280;
  page.height = 800;
  page.transparent = true;
  page.mute = true;
  const std::string filled = FillDesktopTemplate(
      "[TITLE]|[MOVIEPATH]|[DATAPATH]|[BGCOLOR]/[BGCOLOR]|[MOVIEWIDTH]x[MOVIEHEIGHT]|[SCALEMODE]|[WMODE]|[SOUND]|[OTHER]",
      page);
  EXPECT_EQ(filled,
            "Vantrel - Orbits|/d/Desktop.swf|/u/|FF8000/FF8000|1280x800|showall|transparent|sound.swf?volume=100|"
            "[OTHER]");
  page.transparent = false;
  page.mute = false;
  EXPECT_EQ(FillDesktopTemplate("[WMODE] [SOUND]", page), "opaque sound.swf?volume=0");
  // Replacement runs in the page's order: a title holding a later placeholder is filled too.
  page.title = "[BGCOLOR]";
  EXPECT_EQ(FillDesktopTemplate("[TITLE]", page), "FF8000");
}

class DesktopItemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dirs_.configHome = home_.Path() + "config/";
    folder_ = DesktopFolder(home_.Path() + "user");
    request_.moviePath = home_.WriteFile("movie.swf", "FWS movie");
    request_.soundMovie = home_.WriteFile("sound.swf", "FWS sound");
    request_.templatePath = home_.WriteFile("Desktop.html", "<embed src=\"[MOVIEPATH]\" bgcolor=\"#[BGCOLOR]\">");
    request_.saverProgram = "/usr/libexec/xscreensaver/vantrel-saver";
    request_.page.backColor = "102030";
  }

  testing::TempHome home_;
  XdgDirs dirs_;
  std::string folder_;
  DesktopRequest request_;
};

TEST_F(DesktopItemTest, EnablingCopiesFillsAndRegistersDisablingKeepsTheFiles) {
  request_.enable = true;
  const DesktopResult result = ApplyDesktop(dirs_, folder_, request_);
  EXPECT_TRUE(result.error.empty()) << result.error;
  EXPECT_EQ(folder_, home_.Path() + "user/Desktop/");
  EXPECT_EQ(ReadAll(folder_ + "Desktop.swf"), "FWS movie");
  EXPECT_EQ(ReadAll(folder_ + "sound.swf"), "FWS sound");
  EXPECT_EQ(ReadAll(folder_ + "Desktop.html"), "<embed src=\"" + folder_ + "Desktop.swf\" bgcolor=\"#102030\">");
  EXPECT_TRUE(DesktopItemEnabled(dirs_));
  EXPECT_NE(ReadAll(DesktopAutostartPath(dirs_)).find("--desktop \"" + folder_ + "Desktop.swf\""), std::string::npos);
  ASSERT_EQ(result.startCommand.size(), 3u);
  EXPECT_EQ(result.startCommand[1], "--desktop");

  request_.enable = false;
  const DesktopResult off = ApplyDesktop(dirs_, folder_, request_);
  EXPECT_TRUE(off.startCommand.empty());
  EXPECT_FALSE(DesktopItemEnabled(dirs_));
  EXPECT_TRUE(fs::exists(folder_ + "Desktop.swf"));
  EXPECT_TRUE(fs::exists(folder_ + "Desktop.html"));
}

TEST_F(DesktopItemTest, AMissingTemplateIsReportedAndTheItemStillComes) {
  request_.enable = true;
  request_.templatePath = home_.Path() + "missing.html";
  const DesktopResult result = ApplyDesktop(dirs_, folder_, request_);
  EXPECT_NE(result.error.find("missing.html"), std::string::npos);
  EXPECT_TRUE(DesktopItemEnabled(dirs_));
}

TEST_F(DesktopItemTest, AStalePidFileNeverEndsAnotherProgram) {
  fs::create_directories(folder_);
  WriteDesktopPid(folder_);  // this test process, which is no desktop window
  EXPECT_FALSE(StopDesktopWindow(folder_));
  core::WriteFileAtomic(folder_ + "Desktop.pid", "garbage");
  EXPECT_FALSE(StopDesktopWindow(folder_));
}

TEST(Wallpaper, EachDesktopGetsItsOwnSettingAndTheUriIsEscaped) {
  XdgDirs dirs;
  dirs.currentDesktop = "ubuntu:GNOME";
  auto commands = WallpaperCommands(dirs, "/home/u/My Pics/w#1.jpg");
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands[0], (std::vector<std::string>{"gsettings", "set", "org.gnome.desktop.background", "picture-uri",
                                                   "file:///home/u/My%20Pics/w%231.jpg"}));
  dirs.currentDesktop = "X-Cinnamon";
  EXPECT_EQ(WallpaperCommands(dirs, "/w.jpg")[0][2], "org.cinnamon.desktop.background");
  dirs.currentDesktop = "MATE";
  EXPECT_EQ(WallpaperCommands(dirs, "/w.jpg")[0], (std::vector<std::string>{"gsettings", "set", "org.mate.background",
                                                                            "picture-filename", "/w.jpg"}));
  dirs.currentDesktop = "XFCE";
  EXPECT_EQ(WallpaperCommands(dirs, "/w.jpg")[0][0], "xfconf-query");
  EXPECT_EQ(DesktopIconCommands(dirs, true)[0].back(), "0");
}

TEST(Wallpaper, AMissingPictureOrADesktopWithoutAWayIsSaid) {
  XdgDirs dirs;
  EXPECT_NE(SetWallpaper(dirs, "/no/such/picture.jpg").find("missing"), std::string::npos);
  testing::TempHome home;
  const std::string picture = home.WriteFile("w.jpg", "jpeg");
  const std::string path = core::EnvText("PATH");
  setenv("PATH", (home.Path() + "empty").c_str(), 1);  // neither feh nor xwallpaper
  EXPECT_NE(SetWallpaper(dirs, picture).find("offers no way"), std::string::npos);
  dirs.currentDesktop = "GNOME";  // gsettings is not on this PATH either
  EXPECT_NE(SetWallpaper(dirs, picture).find("not installed"), std::string::npos);
  setenv("PATH", path.c_str(), 1);
}

TEST(ScreenSaverMovie, FileOldKeepsTheMovieBeforeTheLast) {
  testing::TempHome home;
  core::OptionsStore options(home.Path() + "options.conf");
  SetAsSS(options, "/m/first.swf");
  SetAsSS(options, "/m/second.swf");
  EXPECT_EQ(ScreenSaverMovie(options), "/m/second.swf");
  EXPECT_EQ(options.ReadText("ScreenSaver", "FileOld", ""), "/m/first.swf");
  SetAsSS(options, "/m/third.swf");
  EXPECT_EQ(options.ReadText("ScreenSaver", "FileOld", ""), "/m/second.swf");
}

TEST(ScreenSaverMovie, XScreenSaverGetsTheModuleListedFirstAndChosen) {
  const std::string fresh = ChooseSaverInSettings("", "/opt/v/vantrel-saver");
  EXPECT_EQ(fresh,
            "mode:\t\tone\nselected:\t0\nprograms:\t\t\t\t\t\t\t      \\\n"
            "\t\t\t\t\"Vantrel Flash\" /opt/v/vantrel-saver -root\t\t\t    \\n\n");
  const std::string settings =
      "timeout:\t0:10:00\nmode:\t\trandom\nselected:\t3\nprograms:\t\t\\\n"
      "\t\t\t\tmaze -root\t\t\\n\\\n"
      "  GL:\t\tsuperquadrics -root\t\\n\\\n"
      "\t\t\t\txanalogtv -root\t\\n\n\npointerHysteresis: 10\n";
  const std::string chosen = ChooseSaverInSettings(settings, "/my build/vantrel-saver");
  EXPECT_NE(chosen.find("mode:\t\tone\nselected:\t0\n"), std::string::npos) << chosen;
  EXPECT_NE(chosen.find("programs:\t\t\\\n\t\t\t\t\"Vantrel Flash\" '/my build/vantrel-saver' -root"), std::string::npos)
      << chosen;
  EXPECT_NE(chosen.find("maze -root"), std::string::npos);
  EXPECT_NE(chosen.find("pointerHysteresis: 10\n"), std::string::npos);
  // Listed already: chosen where it stands, not listed twice.
  const std::string listed = "programs:\t\\\n\tmaze -root\t\\n\\\n\t\"Vantrel Flash\" vantrel-saver -root \\n\n";
  const std::string again = ChooseSaverInSettings(listed, "vantrel-saver");
  EXPECT_NE(again.find("selected:\t1\n"), std::string::npos) << again;
  EXPECT_EQ(again.find("Vantrel Flash"), again.rfind("Vantrel Flash"));
}

TEST(FlashFolder, CustomisingTwiceAndMovingTheFolder) {
  testing::TempHome home;
  const std::string old = home.Path() + "My Flash";  // no trailing slash
  fs::create_directories(old + "/ScreenShots");
  home.WriteFile("My Flash/a.swf", "FWS");
  home.WriteFile("My Flash/ScreenShots/a.1.jpg", "jpg");
  ASSERT_TRUE(CustomiseFolder(old, FlashFolderTip("My Flash Folder:", "Your default folder with Flash files")));
  ASSERT_TRUE(CustomiseFolder(old, "second"));  // the read-only file is replaced
  EXPECT_EQ(ReadAll(old + "/.directory"), "[Desktop Entry]\nIcon=vantrel-folder\nComment=second\n");
  struct stat info {};
  ASSERT_EQ(stat((old + "/.directory").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0222, 0u);

  const std::string moved = home.Path() + "Flash/";
  home.WriteFile("Flash/a.swf", "kept");  // a name that exists stays where it is
  EXPECT_EQ(MoveFlashFolder(old, moved, "tip"), "");
  EXPECT_EQ(ReadAll(moved + "a.swf"), "kept");
  EXPECT_EQ(ReadAll(ScreenShotsFolder(moved) + "a.1.jpg"), "jpg");
  EXPECT_EQ(ReadAll(old + "/a.swf"), "FWS");
  EXPECT_FALSE(fs::exists(old + "/.directory"));
  EXPECT_NE(ReadAll(moved + ".directory").find("Comment=tip"), std::string::npos);

  // A new folder inside the old one: the rest moves in, the way to it stays.
  home.WriteFile("Outer/b.swf", "FWS");
  home.WriteFile("Outer/Games/c.swf", "FWS");
  const std::string inner = home.Path() + "Outer/Games/Flash/";
  EXPECT_EQ(MoveFlashFolder(home.Path() + "Outer/", inner, "tip"), "");
  EXPECT_EQ(ReadAll(inner + "b.swf"), "FWS");
  EXPECT_EQ(ReadAll(home.Path() + "Outer/Games/c.swf"), "FWS");
  EXPECT_TRUE(fs::exists(inner + ".directory"));
}

TEST(PlayerCommandLine, OptionsEndTheProgramFilesAndQtOptionsGoOn) {
  using V = std::vector<std::string>;
  EXPECT_EQ(ParsePlayerCommand(V{"vantrel", "a.swf", "--help"}).action, PlayerAction::Help);
  EXPECT_EQ(ParsePlayerCommand(V{"vantrel", "--version"}).action, PlayerAction::Version);
  EXPECT_EQ(ParsePlayerCommand(V{"vantrel", "--associate"}).action, PlayerAction::Associate);
  EXPECT_EQ(ParsePlayerCommand(V{"vantrel", "--restore-associations"}).action, PlayerAction::RestoreAssociations);

  const PlayerCommand unknown = ParsePlayerCommand(V{"vantrel", "--fullscreen", "a.swf"});
  EXPECT_EQ(unknown.action, PlayerAction::UsageError);
  EXPECT_NE(unknown.error.find("--fullscreen"), std::string::npos);
  EXPECT_EQ(ParsePlayerCommand(V{"vantrel", "--associate", "a.swf"}).action, PlayerAction::UsageError);
  EXPECT_EQ(ParsePlayerCommand(V{"vantrel", "-platform"}).action, PlayerAction::UsageError);

  const PlayerCommand run =
      ParsePlayerCommand(V{"vantrel", "-platform", "offscreen", "/exec", "Uninstall", "--", "-odd.swf", "--help"});
  EXPECT_EQ(run.action, PlayerAction::Run);
  EXPECT_EQ(run.rest, (V{"vantrel", "-platform", "offscreen", "/exec", "Uninstall", "-odd.swf", "--help"}));
}

}  // namespace
}  // namespace vantrel::system
