// A real corpus movie through the whole road: identification, the engine behind the
// control port, the update tick's texts and the end-of-movie rule.
#include <filesystem>

#include "flash/control/flash_control.h"
#include "player/engine_control.h"
#include "player/time_text.h"
#include "player_fixture.h"
#include "support/swf_writer.h"

namespace vantrel::player::testing {
namespace {

namespace fs = std::filesystem;

class EngineEndToEnd : public PlayerTest {
 protected:
  // One update-timer period: the engine's clock runs 300 ms in steps, then the tick.
  void Tick() {
    for (int step = 0; step < 4; ++step) engine.Advance(75);
    P().UpdateTick();
  }

  // The player built over the real engine instead of the fake control.
  Player& Real() {
    if (!player) {
      PlayerServices services;
      services.paths = paths;
      services.options = options.get();
      services.log = &log;
      services.media = &media;
      services.flash = &engine;
      services.window = &window;
      services.shell = &shell;
      services.dialogs = &dialogs;
      services.browser = &browser;
      services.host = &host;
      services.logObserver = [this](std::string_view line) { lines.emplace_back(line); };
      player = std::make_unique<Player>(std::move(services));
      engine.Connect(player.get());
    }
    return *player;
  }

  flash::FlashControl control;
  EngineControl engine{control};
};

TEST_F(EngineEndToEnd, CorpusMoviePlaysWithTimeTextsAndRepeatAllMovesOn) {
  const std::string corpus = vantrel::testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is absent";
  // 60 frames at 12 frames per second, ActionScript 1/2: it ends inside 30 ticks.
  const std::string first = corpus + "avm1/mouse_events/test.swf";
  const std::string second = corpus + "avm1/goto_frame2/test.swf";
  if (!fs::exists(first) || !fs::exists(second)) GTEST_SKIP() << "the chosen corpus movies are absent";

  Player& p = Real();
  p.Load();
  p.SetRepeatMode(2);
  p.AddToPlaylist(first, 0);
  p.AddToPlaylist(second, 0);
  p.PlayItem(0);
  ASSERT_EQ(p.Record().FrameCount, 60) << (lines.empty() ? "" : lines.back());
  ASSERT_EQ(control.TotalFrames(), 60) << control.LastError();
  EXPECT_EQ(window.caption, "Vantrel - test.swf");
  EXPECT_TRUE(control.Playing());

  bool movedOn = false;
  int lastFrame = -1;
  int movedAtTick = -1;
  for (int tick = 0; tick < 30 && !movedOn; ++tick) {
    const int frameBefore = control.FrameNum();
    Tick();
    if (p.GetPlaylist().Current() == 1) {
      // The tick that saw the last frame played the next entry.
      movedOn = true;
      movedAtTick = tick;
      break;
    }
    const int frame = control.FrameNum();
    EXPECT_GE(frame, frameBefore) << "tick " << tick;
    lastFrame = frame;
    EXPECT_EQ(p.Texts().current, FormatMovieTime(frame, 12)) << "tick " << tick;
    EXPECT_EQ(p.Texts().total, "0:05");
    EXPECT_EQ(p.Texts().status, "Time: " + FormatMovieTime(frame, 12) + " / 0:05");
    EXPECT_EQ(p.Menus().Caption("mnuPlay"), "Pause");
  }
  ASSERT_TRUE(movedOn) << "the first movie never reached its last frame; stopped at " << lastFrame;
  // 60 frames at 12 per second take 5 s: the 17th tick (4.8 to 5.1 s) sees the end.
  EXPECT_NEAR(movedAtTick, 16, 1);
  EXPECT_EQ(lastFrame, 57);
  EXPECT_EQ(p.Record().SourcePath, second);
  EXPECT_EQ(control.TotalFrames(), p.Record().FrameCount);
  EXPECT_EQ(p.Played(), 2);
  EXPECT_EQ(p.Recent().Entries().front(), second);
}

TEST_F(EngineEndToEnd, MovieCommandsReachThePlayerAfterTheFrame) {
  // Frame 1 runs getURL("FSCommand:meowlog", "from the movie").
  std::string action = "\x83";
  const std::string url = std::string("FSCommand:meowlog") + '\0' + "from the movie" + '\0';
  action += vantrel::testing::Le16(static_cast<std::uint32_t>(url.size())) + url + '\0';
  vantrel::testing::SwfWriter movie(6, 100, 100, 12, 2);
  movie.Tag(12, action).ShowFrame().ShowFrame().End();
  const std::string path = home.WriteFile("talks.swf", movie.Plain());

  Player& p = Real();
  p.OpenMovie(path);
  ASSERT_EQ(control.TotalFrames(), 2) << control.LastError();
  EXPECT_FALSE(Logged("Media debug :: from the movie"));  // never inside the player's own call
  engine.Advance(200);
  EXPECT_TRUE(Logged("Media debug :: from the movie"));
  EXPECT_EQ(engine.PendingEvents(), 0u);
}

TEST_F(EngineEndToEnd, MovieThatStopsOnItsFirstFrameStaysThereAndRunsTheFrameOnce) {
  // Frame 1 traces and stops; frame 2 would trace again.
  std::string stopHere = "\x96";
  const std::string text = std::string("\0first", 7);
  stopHere += vantrel::testing::Le16(static_cast<std::uint32_t>(text.size())) + text + "\x26\x07" + '\0';
  vantrel::testing::SwfWriter movie(6, 100, 100, 12, 2);
  movie.Tag(12, stopHere).ShowFrame().ShowFrame().End();
  const std::string path = home.WriteFile("stops.swf", movie.Plain());
  int traces = 0;
  control.OnTrace = [&traces](const std::string&) { ++traces; };

  Player& p = Real();
  p.OpenMovie(path);
  ASSERT_EQ(control.TotalFrames(), 2) << control.LastError();
  for (int tick = 0; tick < 3; ++tick) Tick();
  EXPECT_EQ(control.FrameNum(), 0);
  EXPECT_FALSE(control.Playing());
  EXPECT_EQ(traces, 1);
  // The user's own Play still starts it.
  p.PlayMedia();
  Tick();
  EXPECT_EQ(control.FrameNum(), 1);
}

TEST_F(EngineEndToEnd, ALoopingMovieEndsForNonStopPlayEvenBetweenTicks) {
  // Nine frames at 10 per second; the last one's actions go back to the first
  // (gotoAndPlay(1)), so the last frame is entered but never stays on screen.
  vantrel::testing::SwfWriter looping(6, 100, 100, 10, 9);
  for (int frame = 0; frame < 8; ++frame) looping.ShowFrame();
  looping.Tag(12, std::string("\x81\x02\x00\x00\x00\x06\x00", 7)).ShowFrame();
  const std::string a = home.WriteFile("loop.swf", looping.End().Plain());
  const std::string b = home.WriteFile("next.swf", vantrel::testing::SwfWriter(6, 100, 100, 12, 3).ShowFrame().End().Plain());
  Player& p = Real();
  p.Load();
  p.AddToPlaylist(a, 0);
  p.AddToPlaylist(b, 0);
  p.Menus().SetChecked("mnuNonStop", true);
  p.PlayItem(0);
  int ticks = 0;
  for (; ticks < 8 && p.GetPlaylist().Current() == 0; ++ticks) Tick();
  EXPECT_EQ(p.GetPlaylist().Current(), 1);
  EXPECT_LE(ticks, 4);  // within the first pass through the movie
}

}  // namespace
}  // namespace vantrel::player::testing
