// Playback rules: the update tick's texts and end-of-movie behaviour, seeking, sound,
// window sizing, full screen and the usage counter.
#include "player_fixture.h"

namespace vantrel::player::testing {
namespace {

using vantrel::testing::MovieSpec;

class PlaybackTest : public PlayerTest {
 protected:
  // Loads a movie and tells the fake control how many frames it has.
  void LoadMovie(const std::string& name, int frames, int rate = 12) {
    Load(Movie(name, MovieSpec{.frames = frames, .rate = rate}));
    flash.total = frames;
  }
  int Loads() const {
    return static_cast<int>(std::count_if(flash.calls.begin(), flash.calls.end(),
                                          [](const std::string& call) { return call.rfind("LoadMovie", 0) == 0; }));
  }
};

TEST_F(PlaybackTest, TickShowsTimeOrFramesByMode) {
  LoadMovie("a.swf", 120, 12);
  flash.frame = 60;
  P().UpdateTick();
  EXPECT_EQ(P().Texts().status, "Time: 0:05 / 0:10");
  EXPECT_EQ(P().Texts().remaining, "-0:05");
  P().ToggleTimeMode();
  P().UpdateTick();
  EXPECT_EQ(P().Texts().status, "Time: -0:05 / 0:10");
  P().ToggleTimeMode();
  P().UpdateTick();
  EXPECT_EQ(P().Texts().status, "Frame: 61 / 120");
  P().ToggleTimeMode();
  P().UpdateTick();
  EXPECT_EQ(P().Texts().status, "Frame: -60 / 120");
  P().ToggleTimeMode();
  EXPECT_EQ(P().TimeMode(), 0);
}

TEST_F(PlaybackTest, TickKeepsThePlayCaptionAndQualityChecksInStep) {
  LoadMovie("a.swf", 50);
  P().UpdateTick();
  EXPECT_EQ(P().Menus().Caption("mnuPlay"), "Pause");
  P().PauseMedia();
  P().UpdateTick();
  EXPECT_EQ(P().Menus().Caption("mnuPlay"), "Play");

  P().SetQuality("Low");
  EXPECT_FALSE(P().Menus().Checked("mnuQLvl", 0));
  P().UpdateTick();
  EXPECT_TRUE(P().Menus().Checked("mnuQLvl", 2));
  EXPECT_FALSE(P().Menus().Checked("mnuQLvl", 3));  // the separator
  P().PreparePopUp("PopUp");
  EXPECT_TRUE(P().Menus().Checked("mnuPopLQ"));
  EXPECT_FALSE(P().Menus().Checked("mnuPopHQ"));
  P().SetQuality("Medium");
  P().PreparePopUp("PopUp");
  EXPECT_FALSE(P().Menus().Checked("mnuPopLQ"));
  EXPECT_FALSE(P().Menus().Checked("mnuPopHQ"));
}

TEST_F(PlaybackTest, NonStopRestartsAMovieThatStoppedItself) {
  LoadMovie("a.swf", 50);
  P().Menus().SetChecked("mnuNonStop", true);
  flash.playing = false;
  P().UpdateTick();
  EXPECT_TRUE(flash.playing);
  P().PauseMedia();  // pausing by hand ends non-stop play
  EXPECT_FALSE(P().Menus().Checked("mnuNonStop"));
}

TEST_F(PlaybackTest, RepeatOneRewindsButNeverAOneFrameMovie) {
  P().SetRepeatMode(1);
  P().OpenMovie(Movie("one.swf", MovieSpec{.frames = 1}));
  flash.total = 1;
  flash.calls.clear();
  P().UpdateTick();
  EXPECT_EQ(std::count(flash.calls.begin(), flash.calls.end(), "Rewind"), 0);

  P().OpenMovie(Movie("ten.swf", MovieSpec{.frames = 10}));
  flash.total = 10;
  flash.frame = 9;
  flash.calls.clear();
  P().UpdateTick();
  EXPECT_EQ(flash.calls, (std::vector<std::string>{"Rewind", "Play"}));
}

TEST_F(PlaybackTest, EmptyPlaylistNeverTriggersTheEndOfMovie) {
  P().SetRepeatMode(2);
  LoadMovie("a.swf", 10);  // straight through the loading road, not the playlist
  flash.frame = 9;
  const int before = Loads();
  P().UpdateTick();
  EXPECT_EQ(Loads(), before);
}

TEST_F(PlaybackTest, RepeatOffAdvancesOnlyInNonStopAndNotPastTheLastEntry) {
  const std::string a = Movie("a.swf"), b = Movie("b.swf");
  P().AddToPlaylist(a, 0);
  P().AddToPlaylist(b, 0);
  P().PlayItem(0);
  flash.total = 10;
  flash.frame = 9;
  P().UpdateTick();
  EXPECT_EQ(P().GetPlaylist().Current(), 0);
  P().Menus().SetChecked("mnuNonStop", true);
  P().UpdateTick();
  EXPECT_EQ(P().GetPlaylist().Current(), 1);
  EXPECT_EQ(flash.url, b);
  flash.frame = 9;
  P().UpdateTick();
  EXPECT_EQ(P().GetPlaylist().Current(), 1);
}

TEST_F(PlaybackTest, NonStopWaitsOnOneFrameMoviesAndCatchesLoopingOnes) {
  const std::string one = Movie("one.swf", MovieSpec{.frames = 1});
  const std::string loop = Movie("loop.swf", MovieSpec{.frames = 10});
  const std::string last = Movie("last.swf", MovieSpec{.frames = 10});
  for (const std::string& path : {one, loop, last}) P().AddToPlaylist(path, 0);
  P().Menus().SetChecked("mnuNonStop", true);
  P().PlayItem(0);
  flash.total = 1;
  flash.playing = true;
  for (int tick = 0; tick < 5; ++tick) P().UpdateTick();
  EXPECT_EQ(P().GetPlaylist().Current(), 0);  // stays until the user moves on

  P().PlayNext();
  flash.total = 10;
  flash.playing = true;
  flash.frame = 3;
  P().UpdateTick();
  EXPECT_EQ(P().GetPlaylist().Current(), 1);
  // It looped: the last frame showed between the ticks, which both saw an early frame.
  flash.passedLast = true;
  flash.frame = 2;
  P().UpdateTick();
  EXPECT_EQ(P().GetPlaylist().Current(), 2);
  EXPECT_EQ(flash.url, last);
  // Repeat All moves on from a looping movie the same way (to the first entry).
  P().SetRepeatMode(2);
  flash.passedLast = true;
  P().UpdateTick();
  EXPECT_EQ(P().GetPlaylist().Current(), 0);
}

TEST_F(PlaybackTest, VolumeStepsClampAndResetPan) {
  P().SetSound(95, 40);
  P().MenuClick("mnuVolumeUp");
  EXPECT_EQ(P().Volume(), 100);
  EXPECT_EQ(P().Pan(), 0);
  P().SetSound(5, -300);
  EXPECT_EQ(P().Pan(), -100);
  P().MenuClick("mnuVolumeDown");
  EXPECT_EQ(P().Volume(), 0);
}

TEST_F(PlaybackTest, MuteAndUnmuteRestoreTheVolume) {
  P().SetSound(70, 0);
  P().MenuClick("mnuMute");
  EXPECT_TRUE(P().Muted());
  EXPECT_EQ(P().Volume(), 0);
  EXPECT_TRUE(P().Menus().Checked("mnuPopMute"));
  P().MenuClick("mnuMute");
  EXPECT_FALSE(P().Muted());
  EXPECT_EQ(P().Volume(), 70);
  // A mute while muted saves the volume again: the silence.
  P().MuteSound(true);
  P().MuteSound(true);
  P().MuteSound(false);
  EXPECT_EQ(P().Volume(), 0);
}

TEST_F(PlaybackTest, OpacityFadesTheMovieOnceAndIsKept) {
  P().MenuClick("mnuOpMed");
  EXPECT_EQ(flash.variables["_alpha"], "50");
  EXPECT_TRUE(P().Menus().Checked("mnuOpMed"));
  EXPECT_FALSE(P().Menus().Checked("mnuOpFull"));
  P().SaveOpts();
  EXPECT_EQ(options->ReadNumberOption("View", "FlashAlpha"), 50);
  P().MenuClick("mnuOpFull");
  EXPECT_EQ(flash.variables["_alpha"], "100");
}

TEST_F(PlaybackTest, GoToFrameSeeksByShareAndKeepsThePlayingState) {
  LoadMovie("a.swf", 100);
  flash.playing = true;
  P().GoToFrame(0.5f);
  EXPECT_EQ(flash.frame, 50);
  EXPECT_TRUE(flash.playing);
  flash.playing = false;
  P().GoToFrame(0.25f);
  EXPECT_EQ(flash.frame, 25);
  EXPECT_FALSE(flash.playing);
  EXPECT_FLOAT_EQ(P().MoviePercent(), 25.0f / 99.0f);
}

TEST_F(PlaybackTest, StepsOfOneSecondKeepThePlayingState) {
  LoadMovie("a.swf", 100, 12);
  flash.frame = 50;
  flash.playing = false;
  P().FFwd();
  EXPECT_EQ(flash.frame, 62);
  EXPECT_FALSE(flash.playing);
  P().Rwd();
  P().Rwd();
  EXPECT_EQ(flash.frame, 38);
}

TEST_F(PlaybackTest, ZoomSizesTheWindowToTheMoviePlusChromeAndCentresIt) {
  Load(Movie("a.swf", MovieSpec{.width = 550, .height = 400}));
  EXPECT_EQ(window.geometry.width, 558);
  EXPECT_EQ(window.geometry.height, 434);
  EXPECT_EQ(window.geometry.left, (1920 - 558) / 2);
  P().CheckZoomItems();
  EXPECT_TRUE(P().Menus().Checked("mnuZoom100"));

  P().MenuClick("mnuZoom200");
  EXPECT_EQ(window.geometry.width, 1108);
  EXPECT_EQ(window.geometry.height, 834);
  P().CheckZoomItems();
  EXPECT_TRUE(P().Menus().Checked("mnuZoom200"));
  EXPECT_FALSE(P().Menus().Checked("mnuZoom100"));

  window.screen = {0, 0, 1000, 700};
  P().ZoomFlash(200, 1);
  EXPECT_EQ(window.geometry.width, 1000);  // cut to the screen
  EXPECT_EQ(window.geometry.height, 700);

  options->WriteBool("Window", "Centered", false);
  window.geometry.left = 7;
  P().ZoomFlash(50, 1);
  EXPECT_EQ(window.geometry.left, 7);
  EXPECT_EQ(window.geometry.width, 283);
  P().CheckZoomItems();
  EXPECT_TRUE(P().Menus().Checked("mnuZoom50"));

  window.state = WindowState::Maximized;
  P().ZoomFlash(100, 1);
  EXPECT_EQ(window.geometry.width, 283);
}

TEST_F(PlaybackTest, FullScreenRemembersMaximisedAndZoomsAfterALoadInside) {
  Load(Movie("a.swf"));
  window.state = WindowState::Maximized;
  P().FullScreen(true, false, false);
  EXPECT_TRUE(P().Menus().Checked("mnuFullScreen"));
  EXPECT_TRUE(P().Menus().Checked("mnuPopFullScreen"));
  EXPECT_FALSE(P().Menus().Enabled("mnuHideUI"));
  EXPECT_FALSE(window.menuBar);
  EXPECT_TRUE(window.frameless);
  EXPECT_EQ(window.skinView, "viewFullScreen");

  Load(Movie("b.swf", MovieSpec{.width = 300, .height = 200}));
  EXPECT_TRUE(P().PendingZoom());
  P().FullScreen(false, false, false);
  EXPECT_EQ(window.state, WindowState::Maximized);  // as it was before
  EXPECT_TRUE(window.menuBar);
  EXPECT_FALSE(window.frameless);

  // From a normal window the pending zoom sizes it to the movie.
  window.state = WindowState::Normal;
  P().FullScreen(true, false, false);
  Load(Movie("c.swf", MovieSpec{.width = 320, .height = 240}));
  P().FullScreen(false, false, false);
  EXPECT_EQ(window.state, WindowState::Normal);
  EXPECT_EQ(window.geometry.width, 328);
  EXPECT_FALSE(P().PendingZoom());
}

TEST_F(PlaybackTest, HideInterfaceIsFullScreenOfTheChromeOnly) {
  Load(Movie("a.swf"));
  P().MenuClick("mnuHideUI");
  EXPECT_EQ(host.calls, std::vector<std::string>{"OfferTip mnuHideUI_Click"});
  EXPECT_TRUE(P().Menus().Checked("mnuHideUI"));
  EXPECT_FALSE(P().Menus().Checked("mnuFullScreen"));
  EXPECT_FALSE(window.menuBar);
  EXPECT_FALSE(window.pane);
  EXPECT_EQ(window.state, WindowState::Normal);
  P().MenuClick("mnuHideUI");
  EXPECT_FALSE(P().Menus().Checked("mnuHideUI"));
  EXPECT_TRUE(window.menuBar);
  EXPECT_TRUE(window.pane);
}

TEST_F(PlaybackTest, MenuBarToggleHidesTheTopLevelMenusOnly) {
  P().MenuClick("mnuMenuBar");
  EXPECT_FALSE(window.menuBar);
  EXPECT_FALSE(P().Menus().Visible("MenuFile"));
  EXPECT_FALSE(P().Menus().Visible("MenuHelp"));
  EXPECT_FALSE(P().Menus().Visible("PopUp"));  // hidden from the start
  P().MenuClick("mnuMenuBar");
  EXPECT_TRUE(window.menuBar);
  EXPECT_TRUE(P().Menus().Visible("MenuFile"));
  EXPECT_TRUE(P().Menus().Checked("mnuMenuBar"));
}

TEST_F(PlaybackTest, UsageGrowsByThreeTenthsOfASecondPerTick) {
  LoadMovie("a.swf", 1000);
  for (int i = 0; i < 10; ++i) P().UpdateTick();
  P().SaveOpts();
  EXPECT_EQ(options->ReadNumber("Update", "Usage", -1), 3);
  P().SaveOpts();
  EXPECT_EQ(options->ReadNumber("Update", "Usage", -1), 3);
  for (int i = 0; i < 5; ++i) P().UpdateTick();
  P().SaveOpts();
  EXPECT_EQ(options->ReadNumber("Update", "Usage", -1), 5);  // 3 + round(1.5) halves to even
}

TEST_F(PlaybackTest, StoppedTimerDoesNothingUntilTheNextLoad) {
  LoadMovie("a.swf", 50);
  Load(home.Path() + "missing.swf");
  EXPECT_FALSE(P().UpdateTimerRunning());
  P().UpdateTick();
  EXPECT_EQ(P().UsageTicks(), 0);
}

TEST_F(PlaybackTest, VideoTickFollowsThePlayheadOfTheWrapper) {
  const std::string video =
      home.WriteFile("clip.flv", std::string("FLV\x01\x05\x00\x00\x00\x09\x00\x00\x00\x00", 13));
  Load(video);
  ASSERT_TRUE(P().Record().IsVideo);
  // The wrapper's own timeline is short; the video's position maps onto it.
  flash.total = 11;
  flash.variables["myVideo.playheadTime"] = "2,5";
  flash.variables["playing"] = "0";
  P().UpdateTick();
  EXPECT_FALSE(flash.playing);
}

}  // namespace
}  // namespace vantrel::player::testing
