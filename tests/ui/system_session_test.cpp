// The whole player window (with a stand-in engine) and the desktop around it: the Flash
// screen saver items and the saver program, the window's operations from "/exec", and
// what confirming the options changes at once (file types, the Flash folder, the
// screen saver, the cropped viewport).
#include <QApplication>
#include <QCheckBox>
#include <QDBusConnection>
#include <QObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "browser/browser_session.h"
#include "core/options.h"
#include "core/text.h"
#include "player/dialog_port.h"
#include "player/player.h"
#include "support/session_bus.h"
#include "support/temp_home.h"
#include "system/associations.h"
#include "system/system_integration.h"
#include "system/xdg_dirs.h"
#include "ui/first_run_dialog.h"
#include "ui/options_dialog.h"
#include "ui/player_session.h"
#include "ui/player_window.h"
#include "fake_engine.h"

namespace vantrel::ui {
namespace {

namespace fs = std::filesystem;
using testing::FakeEngine;

// Questions are answered with "cancel"; messages are counted.
class QuietDialogs : public player::DialogPort {
 public:
  std::vector<std::string> OpenFiles(const std::string&, const std::vector<player::FileFilter>&, const std::string&,
                                     const std::string&, bool) override {
    return {};
  }
  std::string SaveFile(const std::string&, const std::vector<player::FileFilter>&, const std::string&) override {
    return {};
  }
  std::string ChooseFolder(const std::string&, const std::string&) override { return {}; }
  int ShowMessage(const std::string& text, const std::string&, const std::vector<std::string>&,
                  const std::string&) override {
    messages.push_back(text);
    return 0;
  }
  std::vector<std::string> messages;
};

std::string ReadAll(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  core::ReadFileBytes(path, bytes);
  return std::string(bytes.begin(), bytes.end());
}

class SystemSession : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VANTREL_APP_PATH", VANTREL_BUILD_DIR, 1);
    // Programs of the test's own come first on PATH (xdg-open records what it opens).
    bin_ = home_.Path() + "bin/";
    fs::create_directories(bin_);
    Script("xdg-open", "echo \"$1\" >> \"" + home_.Path() + "opened.txt\"\n");
    savedPath_ = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", (bin_ + ":" + savedPath_).c_str(), 1);
  }
  void TearDown() override { setenv("PATH", savedPath_.c_str(), 1); }

  void Script(const std::string& name, const std::string& text) {
    std::ofstream(bin_ + name) << "#!/bin/sh\n" << text;
    fs::permissions(bin_ + name, fs::perms::owner_all);
  }

  std::unique_ptr<PlayerSession> Start(const std::string& commandLine) {
    SessionHooks hooks;
    hooks.makeEngine = [this] {
      auto engine = std::make_unique<FakeEngine>();
      engine_ = engine.get();
      return engine;
    };
    hooks.firstRun = [](FirstRunDialog& dialog) { dialog.findChild<QPushButton*>(QStringLiteral("cbGo"))->click(); };
    hooks.options = [this](OptionsDialog& dialog) {
      if (onOptions) onOptions(dialog);
    };
    hooks.skin = false;
    hooks.dialogs = &dialogs_;
    auto session = std::make_unique<PlayerSession>(hooks);
    EXPECT_EQ(session->Start(commandLine), player::StartUpResult::Running);
    return session;
  }

  // Opens the options, lets change() work on the controls and confirms.
  void Confirm(PlayerSession& session, const std::function<void(OptionsDialog&)>& change) {
    onOptions = [&](OptionsDialog& dialog) {
      change(dialog);
      dialog.findChild<QPushButton*>(QStringLiteral("cbOK"))->click();
    };
    ASSERT_TRUE(session.Window()->ClickMenu("mnuOpt"));
    onOptions = nullptr;
  }

  std::string Demo() const { return std::string(VANTREL_BUILD_DIR) + "/Media/Demo/Orbits.swf"; }

  testing::TempHome home_;
  std::string bin_;
  std::string savedPath_;
  FakeEngine* engine_ = nullptr;
  QuietDialogs dialogs_;
  std::function<void(OptionsDialog&)> onOptions;
};

// The Flash screen saver items wait for the saver program, and hand it the movie once it
// is installed; the window's own operations answer "/exec" statements.
TEST_F(SystemSession, TheScreenSaverItemsFollowTheSaverProgramAndExecReachesTheWindow) {
  // Not installed: both items stay off.
  {
    auto session = Start("\"" + Demo() + "\"");
    EXPECT_EQ(session->GetPlayer()->ScreenSaverProgram(), "");
    EXPECT_FALSE(session->GetPlayer()->Menus().Enabled("mnuScreenSaver"));
    EXPECT_FALSE(session->GetPlayer()->Menus().Enabled("mnuMovieSaver"));
    session->GetPlayer()->Quit("Exit", true);
  }
  Script("vantrel-saver", "exit 0\n");
  Script("xscreensaver-settings", "echo settings >> \"" + home_.Path() + "settings.txt\"\n");
  auto session = Start("\"" + Demo() + "\"");
  player::Player& player = *session->GetPlayer();
  EXPECT_EQ(player.ScreenSaverProgram(), bin_ + "vantrel-saver");
  ASSERT_TRUE(player.Menus().Enabled("mnuScreenSaver"));
  EXPECT_TRUE(player.Menus().Enabled("mnuMovieSaver"));
  ASSERT_TRUE(session->Window()->ClickMenu("mnuScreenSaver"));
  EXPECT_EQ(session->Options().ReadText("ScreenSaver", "FileName", ""), Demo());
  // XScreenSaver is told to run the saver, and its settings open for the user.
  EXPECT_NE(ReadAll(home_.Path() + ".xscreensaver").find(bin_ + "vantrel-saver"), std::string::npos);
  EXPECT_TRUE(QTest::qWaitFor([&] { return fs::exists(home_.Path() + "settings.txt"); }, 60000));

  // "/exec" reaches SetAsSS, GoLevelUp and WebUpdate like the core's own operations.
  const std::string second = home_.WriteFile("movies/second.swf", "FWS");
  player.ProcessCommand("/exec SetAsSS \"" + second + "\"");
  EXPECT_EQ(session->Options().ReadText("ScreenSaver", "FileName", ""), second);
  EXPECT_EQ(session->Options().ReadText("ScreenSaver", "FileOld", ""), Demo());
  session->Browser()->ShowFolder(home_.Path() + "movies/", true);
  player.ProcessCommand("/exec GoLevelUp");
  EXPECT_EQ(session->Browser()->Folder(), home_.Path());
  player.ProcessCommand("/exec WebUpdate");
  bool updateShown = false;
  for (QWidget* widget : QApplication::topLevelWidgets())
    updateShown = updateShown || (widget->objectName() == QStringLiteral("frmUpdate") && widget->isVisible());
  EXPECT_TRUE(updateShown) << "the update check the user asks for shows its window";
}

// The File Types boxes take the types over, or give them back, when the options are
// confirmed, as the first-run dialog does.
TEST_F(SystemSession, TheFileTypeBoxesAssociateAndRestoreOnConfirm) {
  const system::XdgDirs dirs = system::XdgDirsFromEnvironment();
  // Another player opened movies before.
  home_.WriteFile(".config/mimeapps.list",
                  "[Default Applications]\napplication/x-shockwave-flash=other-player.desktop\n");
  auto session = Start("");
  const system::FileType& movie = system::kFileTypes[0];
  const system::FileType& video = system::kFileTypes[1];
  ASSERT_TRUE(system::IsAssociated(dirs, movie)) << "the first run took the types over";
  ASSERT_TRUE(system::IsAssociated(dirs, video));

  Confirm(*session, [](OptionsDialog& dialog) {
    dialog.findChild<QCheckBox*>(QStringLiteral("chkFlash"))->setChecked(false);
  });
  EXPECT_FALSE(system::IsAssociated(dirs, movie));
  EXPECT_EQ(system::MimeAppsDefault(ReadAll(system::UserMimeAppsPath(dirs)), movie.mimeType), "other-player.desktop");
  EXPECT_TRUE(system::IsAssociated(dirs, video));
  EXPECT_FALSE(session->Options().ReadBool("FileTypes", "SWF", true));

  Confirm(*session, [](OptionsDialog& dialog) {
    dialog.findChild<QCheckBox*>(QStringLiteral("chkFlash"))->setChecked(true);
  });
  EXPECT_TRUE(system::IsAssociated(dirs, movie));
  EXPECT_EQ(session->Options().ReadText("FileTypes", "PrevSWF", ""), "other-player.desktop");
}

// A new My Flash Folder takes the old one's contents along; the old one loses its mark
// and goes, the new one gets it.
TEST_F(SystemSession, AChangedFlashFolderMovesItsContentsAndTakesTheMark) {
  auto session = Start("");
  const std::string old = session->Options().ReadText("Recent", "MyFlash", "");
  ASSERT_FALSE(old.empty());
  ASSERT_TRUE(fs::exists(old + ".directory")) << "the first run marks the folder";
  home_.WriteFile(old.substr(home_.Path().size()) + "orbit.swf", "FWS");
  home_.WriteFile(old.substr(home_.Path().size()) + "ScreenShots/orbit.1.jpg", "jpg");
  const std::string moved = home_.Path() + "Movies/Flash/";
  Confirm(*session, [&](OptionsDialog& dialog) {
    dialog.findChild<QLineEdit*>(QStringLiteral("txtMyFlash"))->setText(QString::fromStdString(moved));
  });
  EXPECT_EQ(session->Options().ReadText("Recent", "MyFlash", ""), moved);
  EXPECT_EQ(ReadAll(moved + "orbit.swf"), "FWS");
  EXPECT_EQ(ReadAll(moved + "ScreenShots/orbit.1.jpg"), "jpg");
  EXPECT_FALSE(fs::exists(old)) << "the emptied old folder is removed";
  EXPECT_NE(ReadAll(moved + ".directory").find("Comment=My Flash Folder: "), std::string::npos);
  EXPECT_TRUE(dialogs_.messages.empty());
}

// "Crop Movie Viewport" reaches the engine at start and at once when it changes.
TEST_F(SystemSession, CropMovieViewportReachesTheEngine) {
  auto session = Start("\"" + Demo() + "\"");
  EXPECT_TRUE(engine_->crop) << "on by default";
  Confirm(*session, [](OptionsDialog& dialog) {
    dialog.findChild<QCheckBox*>(QStringLiteral("chkCrop"))->setChecked(false);
  });
  EXPECT_FALSE(engine_->crop);
}

// A screen-saver service on a session bus of the test's own, counting what it was asked.
class FakeScreenSaver : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

 public:
  int inhibited = 0;
  int released = 0;

 public slots:
  quint32 Inhibit(const QString&, const QString&) { return 41 + static_cast<quint32>(++inhibited); }
  void UnInhibit(quint32) { ++released; }
};

// "Temporarily Disable Screen Saver" switches the screen saver off, or back on, when the
// options are confirmed, not at the next start.
TEST_F(SystemSession, DisablingTheScreenSaverTakesEffectOnConfirm) {
  const testing::PrivateSessionBus sessionBus;
  if (!sessionBus.Missing().empty()) GTEST_SKIP() << sessionBus.Missing();
  const std::string& busAddress = sessionBus.Address();
  {
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(busAddress), QStringLiteral("saver-bus"));
    ASSERT_TRUE(bus.isConnected());
    FakeScreenSaver service;
    ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &service,
                                   QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));

    auto session = Start("");
    session->System()->Inhibitor().bus = bus;
    Confirm(*session, [](OptionsDialog& dialog) {
      dialog.findChild<QCheckBox*>(QStringLiteral("chkScreenSaver"))->setChecked(true);
    });
    EXPECT_EQ(service.inhibited, 1);
    EXPECT_TRUE(session->System()->Inhibitor().Inhibited());
    Confirm(*session, [](OptionsDialog& dialog) {
      dialog.findChild<QCheckBox*>(QStringLiteral("chkScreenSaver"))->setChecked(false);
    });
    EXPECT_EQ(service.released, 1);
    EXPECT_FALSE(session->System()->Inhibitor().Inhibited());
    session.reset();
    bus.unregisterObject(QStringLiteral("/org/freedesktop/ScreenSaver"));
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("saver-bus"));
}

}  // namespace
}  // namespace vantrel::ui

#include "system_session_test.moc"
