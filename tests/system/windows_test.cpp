// The movie window of projectors, the saver and the desktop; the desktop dialog; the
// screen-saver switch over a session bus of the test's own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QDBusConnection>
#include <QObject>
#include <cstdio>
#include <filesystem>

#include "core/language.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/text.h"
#include "flash/control/flash_control.h"
#include "support/session_bus.h"
#include "support/temp_home.h"
#include "system/associations.h"
#include "system/desktop_dialog.h"
#include "system/movie_window.h"
#include "system/screen_saver_inhibit.h"
#include "ui/first_run_dialog.h"

namespace vantrel::system {
namespace {

namespace fs = std::filesystem;

QApplication& App() {
  static int argc = 1;
  static char name[] = "system_windows_tests";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

std::string DemoMovie() { return std::string(VANTREL_BUILD_DIR) + "/Media/Demo/Orbits.swf"; }

TEST(MovieWindow, PlaysAMovieAtItsOwnSizeAndRefusesOtherBytes) {
  App();
  MovieWindow window(MovieWindow::Role::Projector);
  ASSERT_TRUE(window.LoadFile(DemoMovie())) << window.LastError();
  EXPECT_EQ(window.MovieSize(), QSize(480, 360));
  window.ShowForRole();
  EXPECT_EQ(window.size(), QSize(480, 360));
  EXPECT_TRUE(window.Control().Playing());

  const std::uint8_t junk[] = {'M', 'Z', 0, 0, 1, 2, 3, 4, 5, 6};
  EXPECT_FALSE(window.LoadBytes(junk));
  EXPECT_FALSE(window.LastError().empty());
  EXPECT_FALSE(window.LoadFile("/no/such/movie.swf"));
}

TEST(MovieWindow, TheProjectorMenuOffersWhatAProjectorOffers) {
  App();
  MovieWindow window(MovieWindow::Role::Projector);
  ASSERT_TRUE(window.LoadFile(DemoMovie()));
  for (const char* name : {"mnuPlay", "mnuLoop", "mnuRewind", "mnuForward", "mnuBack", "mnuQuality", "mnuFullScreen",
                           "mnuExit"}) {
    EXPECT_NE(window.findChild<QAction*>(QString::fromUtf8(name)), nullptr) << name;
  }
  window.findChild<QAction*>(QStringLiteral("mnuPlay"))->trigger();  // checked -> unchecked: pause
  EXPECT_FALSE(window.Control().Playing());
  // The saver has no menu at all.
  MovieWindow saver(MovieWindow::Role::ScreenSaver);
  EXPECT_EQ(saver.findChild<QAction*>(QStringLiteral("mnuExit")), nullptr);
}

TEST(DesktopDialog, GoPutsTheMovieOnTheDesktopAndTheNextDialogSeesIt) {
  App();
  testing::TempHome home;
  core::OptionsStore options(home.Path() + "options.conf");
  DesktopDialogSetup setup;
  setup.moviePath = DemoMovie();
  setup.caption = "Vantrel - Orbits";
  setup.backColor = "000000";
  setup.userPath = home.Path() + "user/";
  setup.mediaPath = std::string(VANTREL_BUILD_DIR) + "/Media/";
  setup.flashPath = setup.mediaPath + "Flash/";
  setup.saverProgram = "/bin/true";
  setup.dirs.configHome = home.Path() + "config/";
  {
    DesktopDialog dialog(setup, options);
    EXPECT_FALSE(dialog.EnableBox()->isChecked());
    dialog.EnableBox()->setChecked(true);
    dialog.TransparentBox()->setChecked(true);
    const DesktopResult result = dialog.Go(false);
    EXPECT_TRUE(result.error.empty()) << result.error;
  }
  const std::string page = home.Path() + "user/Desktop/Desktop.html";
  std::vector<std::uint8_t> html;
  ASSERT_TRUE(core::ReadFileBytes(page, html));
  const std::string text(html.begin(), html.end());
  EXPECT_NE(text.find("wmode=\"transparent\""), std::string::npos);
  EXPECT_NE(text.find("<title>Vantrel - Orbits</title>"), std::string::npos);
  EXPECT_TRUE(fs::exists(home.Path() + "user/Desktop/sound.swf"));

  DesktopDialog again(setup, options);
  EXPECT_TRUE(again.EnableBox()->isChecked());
  // Mute and Transparent are remembered from one Go to the next dialog (both start on).
  EXPECT_TRUE(again.MuteBox()->isChecked());
  EXPECT_TRUE(again.TransparentBox()->isChecked());
  again.MuteBox()->setChecked(false);
  again.TransparentBox()->setChecked(false);
  again.Go(false);
  {
    DesktopDialog remembered(setup, options);
    EXPECT_FALSE(remembered.MuteBox()->isChecked());
    EXPECT_FALSE(remembered.TransparentBox()->isChecked());
  }
  EXPECT_FALSE(core::OptionsStore(home.Path() + "options.conf").ReadBoolOption("Desktop", "Mute"));
  // Without the program that shows the item, the box cannot be ticked.
  setup.saverProgram.clear();
  DesktopDialog missing(setup, options);
  EXPECT_FALSE(missing.EnableBox()->isEnabled());
}

TEST(FirstRunDialog, MakeDefaultAssociatesTheThreeTypesAndCanBeLeftOff) {
  App();
  testing::TempHome home;
  core::OptionsStore options(home.Path() + "options.conf");
  core::Languages languages(std::string(VANTREL_BUILD_DIR) + "/Languages/");
  languages.EnumerateLanguages("", core::UserLocaleId());
  languages.LoadLanguage();
  XdgDirs dirs;
  dirs.configHome = home.Path() + "config/";
  dirs.dataHome = home.Path() + "data/";
  dirs.dataDirs = {home.Path() + "usr/"};
  home.WriteFile("usr/applications/vantrel.desktop", "[Desktop Entry]\n");
  {
    ui::FirstRunDialog dialog(languages, options);
    dialog.dirs = dirs;
    EXPECT_TRUE(dialog.MakeDefault()->isEnabled());
    dialog.MakeDefault()->setChecked(false);
    dialog.Confirm();
    EXPECT_FALSE(fs::exists(dirs.configHome + "mimeapps.list"));
  }
  ui::FirstRunDialog dialog(languages, options);
  dialog.dirs = dirs;
  EXPECT_TRUE(dialog.MakeDefault()->isChecked());  // offered ticked
  dialog.Confirm();
  for (const FileType& type : kFileTypes) EXPECT_TRUE(IsAssociated(dirs, type)) << type.mimeType;
  // The Flash folder is made and marked for file managers.
  const std::string folder = dialog.FlashFolder()->text().toStdString();
  std::vector<std::uint8_t> marker;
  ASSERT_TRUE(core::ReadFileBytes(core::AddSlash(folder) + ".directory", marker)) << folder;
  EXPECT_NE(std::string(marker.begin(), marker.end()).find("Comment=My Flash Folder: Your default folder with Flash files"),
            std::string::npos);
}

// A screen-saver service that counts what it was asked.
class FakeScreenSaver : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

 public:
  int inhibited = 0;
  int released = 0;
  quint32 lastCookie = 0;

 public slots:
  quint32 Inhibit(const QString&, const QString&) {
    ++inhibited;
    return lastCookie = 41 + static_cast<quint32>(inhibited);
  }
  void UnInhibit(quint32 cookie) {
    if (cookie == lastCookie) ++released;
  }
};

TEST(ScreenSaverInhibitor, SwitchesOffOnceAndBackWithTheSameCookie) {
  App();
  // A session bus of our own.
  const testing::PrivateSessionBus sessionBus;
  if (!sessionBus.Missing().empty()) GTEST_SKIP() << sessionBus.Missing();
  const std::string& busAddress = sessionBus.Address();

  QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(busAddress), QStringLiteral("test-bus"));
  ASSERT_TRUE(bus.isConnected());
  FakeScreenSaver service;
  ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &service,
                                 QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));

  {
    ScreenSaverInhibitor inhibitor;
    inhibitor.bus = bus;
    EXPECT_TRUE(inhibitor.SetSSState(0));
    EXPECT_TRUE(inhibitor.SetSSState(0));  // already off: not asked twice
    EXPECT_TRUE(inhibitor.Inhibited());
    EXPECT_EQ(service.inhibited, 1);
    EXPECT_TRUE(inhibitor.SetSSState(1));
    EXPECT_EQ(service.released, 1);
    EXPECT_TRUE(inhibitor.SetSSState(0));
  }  // ending the program gives the screen saver back
  EXPECT_EQ(service.released, 2);
  QDBusConnection::disconnectFromBus(QStringLiteral("test-bus"));
}

TEST(ScreenSaverInhibitor, WithoutAServiceNothingChanges) {
  App();
  ScreenSaverInhibitor inhibitor;
  inhibitor.service = QStringLiteral("org.example.NoSuchScreenSaver");
  EXPECT_FALSE(inhibitor.SetSSState(0));
  EXPECT_FALSE(inhibitor.Inhibited());
}

}  // namespace
}  // namespace vantrel::system

#include "windows_test.moc"
