// The whole player on a corpus video under a real X server (Xvfb) with SDL's dummy sound
// driver: the picture moves, the time display advances, pause stops picture and sound,
// and Volume Down lowers what the mixer sends to the sound device by one step.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

#include "flash/audio/mixer.h"
#include "player/player.h"
#include "support/temp_home.h"
#include "ui/first_run_dialog.h"
#include "ui/movie_engine.h"
#include "ui/player_session.h"
#include "ui/player_window.h"

namespace vantrel::ui {
namespace {

namespace fs = std::filesystem;

// Lets the program run for milliseconds of real time.
void RunFor(int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < milliseconds) QTest::qWait(10);
}

// Lets the program run until done() holds (a busy machine may take its time) or a
// minute passed; returns done().
bool RunUntil(const std::function<bool()>& done) { return QTest::qWaitFor(done, 60000); }

TEST(VideoPageEndToEnd, PlaysPausesAndFollowsTheVolume) {
  const std::string corpus = vantrel::testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is absent";
  const std::string video = corpus + "flv/h263_400x300_25fps_mp3_44k.flv";
  if (!fs::exists(video)) GTEST_SKIP() << video << " is absent";
  vantrel::testing::TempHome home;
  setenv("VANTREL_APP_PATH", VANTREL_BUILD_DIR, 1);

  SessionHooks hooks;
  hooks.firstRun = [](FirstRunDialog& dialog) { dialog.findChild<QPushButton*>(QStringLiteral("cbGo"))->click(); };
  PlayerSession session(hooks);
  ASSERT_EQ(session.Start("\"" + video + "\""), player::StartUpResult::Running);
  PlayerWindow* window = session.Window();
  player::Player* player = session.GetPlayer();
  ASSERT_TRUE(window && player && session.Engine());
  flash::audio::Mixer* mixer = session.Engine()->SoundMixer();
  ASSERT_TRUE(mixer);
  player::FlashPort& port = session.Engine()->Port();
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  ASSERT_TRUE(player->Record().IsVideo);
  auto* view = window->findChild<QWidget*>(QStringLiteral("View"));
  auto* time = window->findChild<QLabel*>(QStringLiteral("lblVideoTime"));
  ASSERT_TRUE(view && time) << "the video page shows its bar";
  if (!port.Playing()) player->PlayPauseMedia();

  const auto playhead = [&] { return QString::fromStdString(port.GetVariable("myVideo.playheadTime")).toDouble(); };
  // Waits for what playing does rather than for a time: on a busy machine it comes later.
  ASSERT_TRUE(RunUntil([&] { return playhead() > 0.2 && mixer->OutputLevel() > 0.01f; }))
      << "the video plays and its sound reaches the device";
  const QImage early = view->grab().toImage();
  const double earlyTime = playhead();

  window->findChild<QAction*>(QStringLiteral("mnuVolumeDown"))->trigger();
  EXPECT_EQ(player->Volume(), 90);
  // The music's own loudness changes between two moments, so the output level cannot
  // show the step; the mixer's volume does (from the next tick on), and the sound goes on.
  EXPECT_TRUE(RunUntil([&] { return mixer->Volume() == 90; })) << "the mixer's volume stays at " << mixer->Volume();
  EXPECT_TRUE(RunUntil([&] { return mixer->OutputLevel() > 0.01f; }));

  ASSERT_TRUE(RunUntil([&] { return playhead() > earlyTime + 0.7; })) << "the playhead stays at " << playhead();
  const QImage late = view->grab().toImage();
  EXPECT_NE(early, late) << "the picture did not change in 0.7 s of the video";
  EXPECT_NE(time->text().toStdString(), "0:00 / 0:02");

  player->PlayPauseMedia();
  EXPECT_TRUE(RunUntil([&] { return mixer->OutputLevel() < 0.001f; })) << "pause silences the sound";
  RunFor(300);
  const QImage paused = view->grab().toImage();
  const std::string pausedAt = port.GetVariable("myVideo.playheadTime");
  RunFor(300);
  EXPECT_EQ(port.GetVariable("myVideo.playheadTime"), pausedAt);
  EXPECT_EQ(view->grab().toImage(), paused);
  EXPECT_LT(mixer->OutputLevel(), 0.001f) << "pause silences the sound";
  EXPECT_EQ(port.GetVariable("playing"), "0");
}

}  // namespace
}  // namespace vantrel::ui
