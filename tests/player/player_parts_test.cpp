// The player's widget-free parts on their own: the playlist file, the time texts, the
// statement interpreter, the menu model, the recent files and the number rules.
#include <gtest/gtest.h>

#include "core/options.h"
#include "player/menu_model.h"
#include "player/playlist_file.h"
#include "player/recent_files.h"
#include "player/rounding.h"
#include "player/script_host.h"
#include "player/time_text.h"
#include "support/temp_home.h"

namespace vantrel::player {
namespace {

TEST(PlaylistFile, WrittenToTheByte) {
  EXPECT_EQ(WritePlaylistText({"/m/a.swf", "/m/R&D <1> \"x\" &#38;.swf"}, 1),
            "<?xml version=\"1.0\"?><PLAYLIST app=\"Vantrel\" build=\"680\" play=\"1\">\r\n"
            "\r\n\t<FILE>/m/a.swf</FILE>\r\n"
            "\r\n\t<FILE>/m/R&#38;D &#60;1&#62; &#34;x&#34; &#38;.swf</FILE>\r\n"
            "\r\n\t</PLAYLIST>");
  EXPECT_EQ(WritePlaylistText({}, -1),
            "<?xml version=\"1.0\"?><PLAYLIST app=\"Vantrel\" build=\"680\" play=\"-1\">\r\n\r\n\t</PLAYLIST>");
}

TEST(PlaylistFile, ReadsEntriesAndBuild) {
  const PlaylistFile file =
      ParsePlaylistText(WritePlaylistText({"/a b/é.swf", "/x&y.flv"}, 0));
  ASSERT_TRUE(file.loaded);
  EXPECT_TRUE(file.hasBuild);
  EXPECT_EQ(file.build, 680);
  EXPECT_EQ(file.entries, (std::vector<std::string>{"/a b/é.swf", "/x&y.flv"}));
  EXPECT_FALSE(ParsePlaylistText("<PLAYLIST><FILE>a</PLAYLIST>").loaded);
  EXPECT_FALSE(ParsePlaylistText("<PLAYLIST/>").hasBuild);
}

TEST(TimeText, SecondsRoundBeforeMinutes) {
  EXPECT_EQ(FormatMovieTime(596, 10), "1:00");  // 59.6 s
  EXPECT_EQ(FormatMovieTime(60, 12), "0:05");
  EXPECT_EQ(FormatMovieTime(6050, 10), "10:05");
  EXPECT_EQ(FormatMovieTime(25, 10), "0:02");  // 2.5 s halves to even
  EXPECT_EQ(FormatMovieTime(100, 0), "0:00");
  const DisplayTexts texts = BuildDisplayTexts(kFramesRemaining, 9, 10, 12, "Frame");
  EXPECT_EQ(texts.current, "10");
  EXPECT_EQ(texts.remaining, "-1");
  EXPECT_EQ(texts.status, "Frame: -1 / 10");
}

TEST(Rounding, HalvesGoToEvenAndTextReadsLeniently) {
  EXPECT_EQ(RoundHalfEven(0.5), 0);
  EXPECT_EQ(RoundHalfEven(1.5), 2);
  EXPECT_EQ(RoundHalfEven(-2.5), -2);
  EXPECT_EQ(RoundHalfEven(1e30), 2147483647);
  EXPECT_DOUBLE_EQ(ReadDecimal(" 12,75s"), 12.75);
  EXPECT_DOUBLE_EQ(ReadDecimal("-3.5e1"), -35);
  EXPECT_DOUBLE_EQ(ReadDecimal("abc"), 0);
  EXPECT_DOUBLE_EQ(ReadDecimal("1e999999"), 0);
}

class ScriptHostTest : public ::testing::Test {
 protected:
  ScriptHostTest() {
    using T = ScriptType;
    host.Add("Generate", {{T::Number}, {T::Number}, {T::Text}, {T::Number}, {T::Boolean}}, [this](const ScriptArgs& a) {
      calls.push_back("Generate " + std::to_string(a.Whole(0)) + " " + std::to_string(a.Whole(1)) + " " + a.Text(2) +
                      " " + std::to_string(a.Whole(3)) + " " + (a.Boolean(4) ? "T" : "F"));
    });
    host.Add("SetQuality", {{T::Text}}, [this](const ScriptArgs& a) { calls.push_back("SetQuality " + a.Text(0)); });
    host.Add("Uninstall", {}, [this](const ScriptArgs&) { calls.push_back("Uninstall"); });
    host.Add("Zoom", {{T::Number}, {T::Number, true, ScriptValue::Of(7.0)}},
             [this](const ScriptArgs& a) { calls.push_back("Zoom " + std::to_string(a.Whole(0)) + " " + std::to_string(a.Whole(1))); });
  }
  ScriptHost host;
  std::vector<std::string> calls;
};

TEST_F(ScriptHostTest, CallsOperationsInEveryStatementForm) {
  EXPECT_EQ(host.Execute(" Uninstall"), "");
  EXPECT_EQ(host.Execute("Generate 120, 90, \"/movies\", 90, True"), "");
  EXPECT_EQ(host.Execute("Player.SetQuality \"Low\""), "");
  EXPECT_EQ(host.Execute("call player.setquality(\"say \"\"hi\"\"\") : zoom -2.5 ' comment"), "");
  EXPECT_EQ(host.Execute("Zoom(3, 4)\r\nZoom 1,"), "");
  EXPECT_EQ(calls, (std::vector<std::string>{"Uninstall", "Generate 120 90 /movies 90 T", "SetQuality Low",
                                             "SetQuality say \"hi\"", "Zoom -2 7", "Zoom 3 4", "Zoom 1 7"}));
}

TEST_F(ScriptHostTest, ConvertsArgumentsOrRefuses) {
  EXPECT_EQ(host.Execute("Generate \"120\", False, 5, \" 9 \", 1"), "");
  EXPECT_EQ(calls.back(), "Generate 120 0 5 9 T");
  EXPECT_EQ(host.Execute("Zoom \"big\""), "Type mismatch: 'Zoom'");
  EXPECT_EQ(host.Execute("Generate 1, 2, \"x\", 3, \"maybe\""), "Type mismatch: 'Generate'");
}

TEST_F(ScriptHostTest, ReportsErrorsAndStopsThere) {
  EXPECT_EQ(host.Execute("Nonsense"), "Object doesn't support this property or method: 'Nonsense'");
  EXPECT_EQ(host.Execute("SetQuality"), "Wrong number of arguments or invalid property assignment: 'SetQuality'");
  EXPECT_EQ(host.Execute("Uninstall 1"), "Wrong number of arguments or invalid property assignment: 'Uninstall'");
  EXPECT_EQ(host.Execute("SetQuality \"Low"), "Unterminated string constant");
  EXPECT_EQ(host.Execute("SetQuality Low"), "Variable is undefined: 'Low'");
  EXPECT_EQ(host.Execute("Other.SetQuality \"Low\""), "Object required: 'Other'");
  EXPECT_EQ(host.Execute("Zoom (1) 2"), "Expected end of statement");
  EXPECT_EQ(host.Execute("Zoom 1 $"), "Invalid character");
  calls.clear();
  EXPECT_NE(host.Execute("Uninstall : Nonsense : Uninstall"), "");
  EXPECT_EQ(calls, std::vector<std::string>{"Uninstall"});
}

TEST(MenuModel, TreeNamesStatesAndMarks) {
  MenuModel menus = BuildPlayerMenus();
  EXPECT_EQ(menus.Children(-1).size(), 8u);
  EXPECT_EQ(menus.ArrayCount("mnuQLvl"), 6);
  EXPECT_EQ(menus.Get("mnuQLvl", 3)->kind, MenuKind::Separator);
  EXPECT_EQ(menus.Get("mnuQLvl", 3)->mark, MenuMark::None);
  EXPECT_EQ(menus.Get("mnuQLvl", 4)->tag, "AutoHigh");
  EXPECT_EQ(menus.Get("mnuOpen")->shortcut, "Ctrl+O");
  EXPECT_TRUE(menus.Checked("mnuPlaylist"));
  EXPECT_FALSE(menus.Enabled("mnuConvert"));
  EXPECT_FALSE(menus.Visible("mnuDownload"));
  EXPECT_FALSE(menus.Visible("PupItem"));
  EXPECT_EQ(menus.Get("mnuPopStop")->tag, "!PLAYER/MNUSTOP");
  EXPECT_EQ(menus.Items()[static_cast<std::size_t>(menus.Get("mnuZoom100")->parent)].name, "mnuZoom");
}

TEST(MenuModel, ArraysGrowAndShrinkKeepingParentsAndTellTheListener) {
  MenuModel menus = BuildPlayerMenus();
  std::vector<int> heard;
  menus.SetListener([&](int position) { heard.push_back(position); });
  menus.SetChecked("mnuMute", true);
  menus.SetChecked("mnuMute", true);  // no change, nothing heard
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0], menus.Find("mnuMute"));

  ASSERT_TRUE(menus.ResizeArray("mnuMRU", 5));
  EXPECT_EQ(menus.ArrayCount("mnuMRU"), 5);
  EXPECT_EQ(heard.back(), -1);
  EXPECT_EQ(menus.Find("mnuMRU", 4) + 2, menus.Find("mnuExit"));  // then a separator, then Exit
  const auto parentName = [&](const char* name) {
    return menus.Items()[static_cast<std::size_t>(menus.Get(name)->parent)].name;
  };
  EXPECT_EQ(parentName("mnuExit"), "MenuFile");
  EXPECT_EQ(parentName("mnuZoom100"), "mnuZoom");
  EXPECT_EQ(parentName("mnuPLaddFolder"), "PupItem");
  menus.ResizeArray("mnuMRU", 0);
  EXPECT_EQ(menus.ArrayCount("mnuMRU"), 1);
  EXPECT_EQ(parentName("mnuZoom100"), "mnuZoom");
  EXPECT_FALSE(menus.ResizeArray("mnuOpen", 3));
}

TEST(RecentFiles, FiveNewestFirstWithCaseInsensitiveDuplicates) {
  vantrel::testing::TempHome home;
  RecentFiles recent("/user/Last Played.vantrel");
  EXPECT_FALSE(recent.Add("/user/Last Played.vantrel"));
  for (const char* path : {"/m/1.swf", "/m/2.swf", "/m/3.swf", "/m/4.swf", "/m/5.swf"}) recent.Add(path);
  recent.Add("/M/2.SWF");
  EXPECT_EQ(recent.Entries(), (std::vector<std::string>{"/M/2.SWF", "/m/5.swf", "/m/4.swf", "/m/3.swf", "/m/1.swf"}));
  recent.Add("/n/6.swf");
  EXPECT_EQ(recent.Entries().size(), 5u);
  EXPECT_EQ(recent.Entries().back(), "/m/3.swf");
  EXPECT_EQ(recent.LastFolder(), "/n/");

  // Saved and read back: entries whose file is gone are dropped, the order kept.
  const std::string a = home.WriteFile("a.swf", "x"), b = home.WriteFile("b.swf", "x");
  RecentFiles real;
  real.Add(a);
  real.Add("/gone/c.swf");
  real.Add(b);
  core::OptionsStore store(home.Path() + "options.conf");
  store.WriteText("Recent", "4", "/stale.swf");
  real.Save(store);
  EXPECT_EQ(store.ReadText("Recent", "4", "none"), "none");
  RecentFiles loaded;
  loaded.Load(store);
  EXPECT_EQ(loaded.Entries(), (std::vector<std::string>{b, a}));
}

}  // namespace
}  // namespace vantrel::player

namespace vantrel::player {
namespace {

TEST(OptionsBatch, WritesTheFileOnceAtTheEnd) {
  vantrel::testing::TempHome home;
  core::OptionsStore store(home.Path() + "options.conf");
  store.WriteText("View", "Quality", "Low");
  store.BeginBatch();
  store.WriteNumber("Sound", "Volume", 40);
  store.WriteText("View", "Quality", "High");
  EXPECT_EQ(store.ReadText("View", "Quality", ""), "High");  // the batch reads its own writes
  EXPECT_EQ(core::OptionsStore(home.Path() + "options.conf").ReadText("View", "Quality", ""), "Low");
  EXPECT_TRUE(store.EndBatch());
  core::OptionsStore other(home.Path() + "options.conf");
  EXPECT_EQ(other.ReadText("View", "Quality", ""), "High");
  EXPECT_EQ(other.ReadNumber("Sound", "Volume", 0), 40);
}

}  // namespace
}  // namespace vantrel::player
