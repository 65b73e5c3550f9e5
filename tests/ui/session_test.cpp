// The whole player window in a temporary home: start-up, loading from the command
// line, keys, drops, the menu bar, and what survives a restart.
#include <QAction>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "core/paths.h"
#include "core/text.h"
#include "player/player.h"
#include "support/temp_home.h"
#include "ui/first_run_dialog.h"
#include "ui/instance_link.h"
#include "ui/movie_view.h"
#include "ui/player_session.h"
#include "ui/player_window.h"
#include "browser/browser_session.h"
#include "ui/movie_engine.h"
#include "ui/playlist_pane.h"
#include "fake_engine.h"

namespace vantrel::ui {
namespace {

namespace fs = std::filesystem;
using testing::FakeEngine;

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VANTREL_APP_PATH", VANTREL_BUILD_DIR, 1);
    demo_ = std::string(VANTREL_BUILD_DIR) + "/Media/Demo/Orbits.swf";
    ASSERT_TRUE(core::ReadFileBytes(demo_, demoBytes_)) << "the build makes " << demo_;
  }

  // A copy of the demo movie under a name of our choosing.
  std::string Movie(const std::string& name) {
    return home_.WriteFile("movies/" + name, std::string(demoBytes_.begin(), demoBytes_.end()));
  }

  std::unique_ptr<PlayerSession> Start(const std::string& commandLine) {
    SessionHooks hooks;
    hooks.makeEngine = [this] {
      auto engine = std::make_unique<FakeEngine>();
      engine_ = engine.get();
      return engine;
    };
    hooks.firstRun = [this](FirstRunDialog& dialog) {
      ++firstRuns_;
      dialog.findChild<QPushButton*>(QStringLiteral("cbGo"))->click();
    };
    auto session = std::make_unique<PlayerSession>(hooks);
    result_ = session->Start(commandLine);
    return session;
  }

  testing::TempHome home_;
  std::string demo_;
  std::vector<std::uint8_t> demoBytes_;
  FakeEngine* engine_ = nullptr;
  int firstRuns_ = 0;
  player::StartUpResult result_ = player::StartUpResult::Failed;
};

TEST_F(SessionTest, FirstStartMakesFoldersLogAndOptionsAndShowsTheBrowsePage) {
  auto session = Start("");
  ASSERT_EQ(result_, player::StartUpResult::Running);
  const core::Paths& paths = session->Paths();
  EXPECT_TRUE(core::FolderExists(paths.UserPath));
  EXPECT_TRUE(core::FolderExists(paths.UserSkinPath));
  EXPECT_TRUE(core::FolderExists(paths.CachePath));
  EXPECT_TRUE(core::FileExists(paths.LogPath));
  EXPECT_TRUE(core::FileExists(session->Options().FilePath()));
  EXPECT_EQ(firstRuns_, 1);
  EXPECT_FALSE(session->Options().ReadBool("System", "FirstRun", true));
  // The media browser page is the program's own movie, loaded with its query.
  EXPECT_EQ(engine_->Last().rfind(paths.FlashPath + "browse.swf?myXML=", 0), 0u) << engine_->Last();
  EXPECT_TRUE(session->Window()->isVisible());

  // A second start in the same home asks nothing.
  session.reset();
  auto again = Start("");
  EXPECT_EQ(firstRuns_, 1);
}

TEST_F(SessionTest, MovieOnTheCommandLinePlaysWithItsFileNameInTheCaption) {
  const std::string movie = Movie("Space Trip.swf");
  auto session = Start("\"" + movie + "\"");
  ASSERT_EQ(result_, player::StartUpResult::Running);
  EXPECT_EQ(engine_->Last(), movie);
  EXPECT_EQ(session->Window()->windowTitle(), QStringLiteral("Vantrel - Space Trip.swf"));
  PlaylistPane* pane = session->Window()->PlayList();
  ASSERT_EQ(pane->count(), 1);
  EXPECT_EQ(pane->item(0)->text(), QStringLiteral("Space Trip"));
  EXPECT_EQ(pane->item(0)->toolTip(), QString::fromStdString(movie));
}

TEST_F(SessionTest, CtrlRightPlaysTheNextEntryAndCtrlLeftGoesBack) {
  const std::string first = Movie("first.swf");
  const std::string second = Movie("second.swf");
  auto session = Start(first + " " + second);
  PlayerWindow* window = session->Window();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  ASSERT_EQ(engine_->Last(), first);

  QTest::keyClick(window, Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(engine_->Last(), second);
  EXPECT_EQ(session->GetPlayer()->GetPlaylist().Current(), 1);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Vantrel - second.swf"));

  QTest::keyClick(window, Qt::Key_Left, Qt::ControlModifier);
  EXPECT_EQ(engine_->Last(), first);
  // Alt+Right belongs to the browser's history and does nothing while a movie shows.
  const std::size_t loads = engine_->loaded.size();
  QTest::keyClick(window, Qt::Key_Right, Qt::AltModifier);
  EXPECT_EQ(engine_->loaded.size(), loads);
}

TEST_F(SessionTest, FilesDroppedOnThePaneAreAppendedAndTheMovieKeepsPlaying) {
  const std::string playing = Movie("playing.swf");
  auto session = Start(playing);
  PlaylistPane* pane = session->Window()->PlayList();
  const std::size_t loads = engine_->loaded.size();

  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(Movie("one.swf"))),
                QUrl::fromLocalFile(QString::fromStdString(Movie("two.swf"))),
                QUrl::fromLocalFile(QString::fromStdString(Movie("three.swf")))});
  const QPoint at = pane->viewport()->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(pane->viewport(), &enter);
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(pane->viewport(), &drop);

  const player::Playlist& list = session->GetPlayer()->GetPlaylist();
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.At(3), Movie("three.swf"));
  EXPECT_EQ(list.Current(), 0);
  EXPECT_EQ(engine_->loaded.size(), loads);
  EXPECT_EQ(pane->count(), 4);

  // The same files dropped on the movie area replace the list and play its first entry.
  session->Window()->FilesDropped({Movie("one.swf"), Movie("two.swf")}, false);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(engine_->Last(), Movie("one.swf"));
}

TEST_F(SessionTest, HiddenMenuBarComesBackWithF2) {
  auto session = Start(Movie("movie.swf"));
  PlayerWindow* window = session->Window();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  auto* item = window->findChild<QAction*>(QStringLiteral("mnuMenuBar"));
  ASSERT_NE(item, nullptr);
  EXPECT_TRUE(item->isChecked());
  item->trigger();
  EXPECT_FALSE(window->menuBar()->isVisible());
  EXPECT_FALSE(item->isChecked());

  QTest::keyClick(window, Qt::Key_F2);
  EXPECT_TRUE(window->menuBar()->isVisible());
  EXPECT_TRUE(session->GetPlayer()->Menus().Checked("mnuMenuBar"));
}

TEST_F(SessionTest, ClosingSavesOptionsAndPlaylistAndTheNextStartRestoresThem) {
  const std::string a = Movie("a.swf");
  const std::string b = Movie("b.swf");
  std::string lastPlayed;
  {
    auto session = Start(a + " " + b);
    PlayerWindow* window = session->Window();
    window->findChild<QAction*>(QStringLiteral("mnuRepeatMode_2"))->trigger();
    window->findChild<QAction*>(QStringLiteral("mnuQLvl_2"))->trigger();
    lastPlayed = session->Paths().LastPlayedPath;
    // The running window is published while it lives and withdrawn when it closes.
    EXPECT_NE(session->Options().ReadText("Window", "hWnd", "0"), "0");
    window->close();
    EXPECT_EQ(session->Options().ReadText("Window", "hWnd", ""), "0");
    EXPECT_FALSE(session->GetPlayer()->Loaded());
    EXPECT_TRUE(core::FileExists(lastPlayed));
    EXPECT_EQ(session->Options().ReadNumber("Playback", "RepeatMode", 0), 2);
  }
  auto session = Start("");
  player::Player& player = *session->GetPlayer();
  EXPECT_EQ(player.RepeatMode(), 2);
  EXPECT_TRUE(player.Menus().Checked("mnuRepeatMode", 2));
  EXPECT_EQ(engine_->quality, "Low");
  ASSERT_EQ(player.GetPlaylist().Count(), 2);
  EXPECT_EQ(player.GetPlaylist().At(0), a);
  EXPECT_EQ(player.GetPlaylist().At(1), b);
  EXPECT_EQ(session->Window()->PlayList()->count(), 2);
}

TEST_F(SessionTest, ASecondInstanceLeavesTheRunningWindowPublishedWhenItQuits) {
  // Another player answers on the hand-over socket; One Instance is off, so this start
  // becomes a whole second player.
  const std::string optionsFile = core::OptionsStore::DefaultFilePath();
  core::OptionsStore(optionsFile).WriteBool("System", "OneInstance", false);
  InstanceServer first;
  ASSERT_TRUE(first.Listen(InstanceSocketName(QString::fromStdString(optionsFile))));
  auto second = Start("");
  ASSERT_EQ(result_, player::StartUpResult::Running);
  second->Window()->close();
  EXPECT_NE(second->Options().ReadText("Window", "hWnd", "0"), "0");
}

TEST_F(SessionTest, WithoutAnEngineTheProgramAsksForFlashAndSavesNothing) {
  SessionHooks hooks;
  hooks.makeEngine = [] {
    auto engine = std::make_unique<FakeEngine>();
    engine->major = 0;
    return engine;
  };
  hooks.firstRun = [](FirstRunDialog& dialog) { dialog.accept(); };
  std::string shown;
  hooks.flashRequired = [&](const std::string& message) { shown = message; };
  PlayerSession session(hooks);
  EXPECT_EQ(session.Start(""), player::StartUpResult::FlashRequired);
  EXPECT_EQ(shown.rfind("Adobe Flash ActiveX (version 0) needs to be updated.", 0), 0u) << shown;
  EXPECT_FALSE(session.Window()->isVisible());
}

}  // namespace
}  // namespace vantrel::ui

namespace vantrel::ui {
namespace {

class WindowStateTest : public SessionTest {};

TEST_F(WindowStateTest, ZoomSizesTheMovieAreaAndFullScreenTakesTheChromeAway) {
  auto session = Start(Movie("zoom.swf"));
  PlayerWindow* window = session->Window();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  player::Player& player = *session->GetPlayer();
  // The demo movie is 480x360; start-up sizes the window to it.
  EXPECT_EQ(window->MovieArea()->size(), QSize(480, 360));
  EXPECT_TRUE(player.Menus().Checked("mnuZoom100"));

  window->findChild<QAction*>(QStringLiteral("mnuZoom50"))->trigger();
  EXPECT_EQ(window->MovieArea()->size(), QSize(240, 180));
  EXPECT_TRUE(player.Menus().Checked("mnuZoom50"));
  EXPECT_FALSE(player.Menus().Checked("mnuZoom100"));

  QTest::keyClick(window, Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(window->isFullScreen());
  EXPECT_FALSE(window->menuBar()->isVisible());
  EXPECT_FALSE(window->PlayList()->isVisible());
  EXPECT_TRUE(player.Menus().Checked("mnuFullScreen"));
  QTest::keyClick(window, Qt::Key_F, Qt::ControlModifier);
  EXPECT_FALSE(window->isFullScreen());
  EXPECT_TRUE(window->menuBar()->isVisible());
  EXPECT_TRUE(window->PlayList()->isVisible());
}

TEST_F(WindowStateTest, CaptureFrameAndSetThumbnailAreOfTheMovieNotOfTheOpacity) {
  // The program's own engine, so that the opacity really fades the picture.
  home_.WriteFile(".config/Vantrel/options.conf",
                  "[System]\n\"FirstRun\"=\"False\"\n[View]\n\"FlashAlpha\"=dword:25\n[Recent]\n\"MyFlash\"=\"" +
                      home_.Path() + "flash/\"\n");
  SessionHooks hooks;
  hooks.noTips = true;
  auto session = std::make_unique<PlayerSession>(hooks);
  ASSERT_EQ(session->Start("\"" + Movie("faded.swf") + "\""), player::StartUpResult::Running);
  player::Player& player = *session->GetPlayer();
  ASSERT_EQ(player.FlashAlpha(), 25);
  session->Engine()->AdvanceTime(200);
  const auto meanRed = [](const std::string& path) {
    QImage picture(QString::fromStdString(path));
    double sum = 0;
    for (int y = 0; y < picture.height(); ++y)
      for (int x = 0; x < picture.width(); ++x) sum += picture.pixelColor(x, y).redF();
    return picture.isNull() ? -1.0 : sum / (picture.width() * picture.height());
  };
  const double faded = meanRed(session->Browser()->SavePicture(false));
  const double thumbFaded = meanRed(session->Browser()->SaveThumbnail());
  player.SetFlashAlpha(100);
  const double full = meanRed(session->Browser()->SavePicture(false));
  const double background = std::stoi(player.Record().BackColor.substr(0, 2), nullptr, 16) / 255.0;
  ASSERT_GT(full - background, 0.03) << "the demo movie shows little above its background";
  EXPECT_NEAR(faded, full, (full - background) * 0.1);
  EXPECT_NEAR(thumbFaded, full, (full - background) * 0.1);
  // The player's own look is untouched by the shots.
  player.SetFlashAlpha(25);
  session->Browser()->SavePicture(false);
  EXPECT_EQ(player.FlashAlpha(), 25);
}

TEST_F(WindowStateTest, AMovieThatEndsEarlyIsSaidOverTheMovie) {
  const std::string cut =
      home_.WriteFile("movies/cut.swf", std::string(demoBytes_.begin(), demoBytes_.begin() + demoBytes_.size() / 2));
  auto session = Start("\"" + cut + "\"");
  PlayerWindow* window = session->Window();
  auto* note = window->findChild<QLabel*>(QStringLiteral("lblNote"));
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(note->isVisible());
  EXPECT_TRUE(note->text().startsWith(QStringLiteral("The movie is incomplete: its data ends after"))) << note->text().toStdString();
  EXPECT_LT(note->y(), window->centralWidget()->height() / 2);
  // A click puts it away.
  QTest::mouseClick(note, Qt::LeftButton);
  EXPECT_FALSE(note->isVisible());
}

TEST_F(WindowStateTest, RightClickOnTheMovieOpensThePopUpWithThePlayCaption) {
  auto session = Start(Movie("popup.swf"));
  PlayerWindow* window = session->Window();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  session->GetPlayer()->Menus().SetCaption("mnuPlay", "Pause");
  const QPoint at = window->MovieArea()->rect().center();
  QContextMenuEvent click(QContextMenuEvent::Mouse, at, window->MovieArea()->mapToGlobal(at));
  QCoreApplication::sendEvent(window->MovieArea(), &click);
  auto* popUp = window->findChild<QMenu*>(QStringLiteral("PopUp"));
  ASSERT_NE(popUp, nullptr);
  EXPECT_TRUE(popUp->isVisible());
  EXPECT_EQ(window->findChild<QAction*>(QStringLiteral("mnuPopPlay"))->text(), QStringLiteral("Pause"));
  popUp->hide();

  // The playlist's pop-up shows only the playlist's items.
  PlaylistPane* pane = window->PlayList();
  const QPoint inPane = pane->viewport()->rect().center();
  QContextMenuEvent paneClick(QContextMenuEvent::Mouse, inPane, pane->viewport()->mapToGlobal(inPane));
  QCoreApplication::sendEvent(pane->viewport(), &paneClick);
  auto* items = window->findChild<QMenu*>(QStringLiteral("PupItem"));
  ASSERT_NE(items, nullptr);
  EXPECT_TRUE(items->isVisible());
  EXPECT_TRUE(window->findChild<QAction*>(QStringLiteral("mnuRemoveAll"))->isVisible());
  EXPECT_FALSE(window->findChild<QAction*>(QStringLiteral("mnuItemDelete"))->isVisible());
  items->hide();
}

}  // namespace
}  // namespace vantrel::ui
