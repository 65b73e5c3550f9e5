// Every dialog of the program in each of the three visual styles, shown on a real X
// server (Xvfb) and photographed from the screen: the pictures stay in
// tests/ui/artifacts/ as looks_<window>_<style>.png. A window that paints the chosen
// style has a flat face-coloured margin in "Simply Flat", starts from the light colour
// at its top in the two gradient styles, and looks different in each of the three.
#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QDir>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "browser/browser_page.h"
#include "browser/decompiler_dialog.h"
#include "browser/favorites_dialog.h"
#include "browser/generator_dialog.h"
#include "browser/info_dialog.h"
#include "core/language.h"
#include "core/options.h"
#include "core/paths.h"
#include "net/frm_download.h"
#include "net/frm_update.h"
#include "player/player.h"
#include "support/temp_home.h"
#include "system/desktop_dialog.h"
#include "ui/about_window.h"
#include "ui/first_run_dialog.h"
#include "ui/message_window.h"
#include "ui/options_dialog.h"
#include "ui/player_session.h"
#include "ui/player_window.h"
#include "ui/playlist_pane.h"
#include "ui/presentation.h"
#include "ui/visual_style.h"

namespace vantrel::ui {
namespace {

const char* const kStyleNames[] = {"flat", "smooth", "glassy"};

struct Window {
  const char* name;
  // Makes the window (shown by the test); part names the child to photograph instead of
  // the whole window ("" for the window itself).
  std::function<std::unique_ptr<QWidget>()> make;
  const char* part = "";
};

int Distance(const QColor& a, const QColor& b) {
  return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

// The largest difference between two pictures' left margin columns (x = 1), 0 when
// they are equal.
int ColumnDifference(const QImage& a, const QImage& b) {
  const int height = std::min(a.height(), b.height());
  int largest = 0;
  for (int y = 0; y < height; ++y) largest = std::max(largest, Distance(a.pixelColor(1, y), b.pixelColor(1, y)));
  return largest;
}

class LooksEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
      GTEST_SKIP() << "needs a real X server (xvfb-run); the platform is " << QGuiApplication::platformName().toStdString();
    artifacts_ = std::string(VANTREL_BUILD_DIR) + "/tests/ui/artifacts/";
    QDir().mkpath(QString::fromStdString(artifacts_));
    options_ = std::make_unique<core::OptionsStore>(home_.Path() + "options.conf");
    languages_ = std::make_unique<core::Languages>(std::string(VANTREL_BUILD_DIR) + "/Languages/");
    core::MakeFolder(home_.Path() + "cache/");
    movie_.FileName = "Orbits.swf";
    movie_.SourcePath = std::string(VANTREL_BUILD_DIR) + "/Media/Demo/Orbits.swf";
    movie_.MoviePath = movie_.SourcePath;
    movie_.Version = 8;
    movie_.Width = 480;
    movie_.Height = 360;
    movie_.FrameRate = 12;
    movie_.FrameCount = 48;
  }

  // Shows window in style, photographs it from the screen and keeps the picture.
  QImage Photograph(const Window& window, int style) {
    Presentation presentation;
    presentation.style = style;
    presentation.imagesPath = std::string(VANTREL_BUILD_DIR) + "/Media/Images/";
    presentation.helpPath = std::string(VANTREL_BUILD_DIR) + "/Media/Help/";
    presentation.openAddress = [](const std::string&) {};
    ScopedPresentation scoped(presentation);
    std::unique_ptr<QWidget> shown = window.make();
    shown->setAttribute(Qt::WA_DeleteOnClose, false);
    shown->move(40, 40);
    shown->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(shown.get())) << window.name;
    QTest::qWait(150);
    QWidget* target = shown.get();
    if (*window.part) target = shown->findChild<QWidget*>(QString::fromLatin1(window.part));
    EXPECT_NE(target, nullptr) << window.name << " has no " << window.part;
    if (!target) return {};
    const QPoint at = target->mapToGlobal(QPoint(0, 0));
    const QImage picture =
        shown->screen()->grabWindow(0, at.x(), at.y(), target->width(), target->height()).toImage();
    picture.save(QString::fromStdString(artifacts_ + "looks_" + window.name + "_" + kStyleNames[style] + ".png"));
    shown->close();
    return picture;
  }

  std::vector<Window> Windows() {
    core::OptionsStore* options = options_.get();
    core::Languages* languages = languages_.get();
    const media::MediaRecord movie = movie_;
    const std::string home = home_.Path();
    net::NetContext net;
    net.options = options;
    net.cachePath = home + "cache/";
    net.imagesPath = std::string(VANTREL_BUILD_DIR) + "/Media/Images/";
    return {
        {"options", [options] { return std::make_unique<OptionsDialog>(*options, OptionsDialog::Effects{}); }},
        {"message",
         [] {
           auto message = std::make_unique<MessageWindow>();
           message->Fill("The resources were extracted.", "Resource Extractor", "cubes", "Close", "Show Files", "x", -1);
           return message;
         }},
        {"first_run", [languages, options] { return std::make_unique<FirstRunDialog>(*languages, *options); }},
        {"about", [] { return std::make_unique<AboutWindow>(32, "127.0.0.1:9"); }},
        {"extractor",
         [movie, options] {
           return std::make_unique<browser::DecompilerDialog>(movie, *options, nullptr, media::TextLookup{}, nullptr);
         }},
        {"info",
         [movie, home] { return std::make_unique<browser::InfoDialog>(movie, media::TextLookup{}, home + "t.jpg", nullptr); }},
        {"generator",
         [options] {
           browser::GeneratorServices services;
           services.options = options;
           return std::make_unique<browser::GeneratorDialog>(services);
         }},
        {"favourites",
         [home] {
           return std::make_unique<browser::FavoritesDialog>(std::vector<std::string>{home + "Movies/", home + "Games/"},
                                                             nullptr, nullptr, home);
         }},
        {"desktop",
         [options, movie, home] {
           system::DesktopDialogSetup setup;
           setup.moviePath = movie.SourcePath;
           setup.caption = "Vantrel - Orbits.swf";
           setup.backColor = "336699";
           setup.userPath = home;
           return std::make_unique<system::DesktopDialog>(setup, *options);
         }},
        {"update", [net] { return std::make_unique<net::frmUpdate>(net, false); }},
        {"download", [net] { return std::make_unique<net::frmDownload>(net); }},
        {"shot",
         [] {
           auto page = std::make_unique<browser::BrowserPage>();
           page->resize(560, 320);
           page->ShowProgress(3, 12, QStringLiteral("Making thumbnails"), QStringLiteral("/home/user/Movies/Orbits.swf"));
           return page;
         },
         "frmShot"},
    };
  }

  vantrel::testing::TempHome home_;
  std::unique_ptr<core::OptionsStore> options_;
  std::unique_ptr<core::Languages> languages_;
  media::MediaRecord movie_;
  std::string artifacts_;
};

TEST_F(LooksEndToEnd, EveryDialogShowsEachOfTheThreeStyles) {
  const QColor face = QPalette().color(QPalette::Button);
  const QColor light = QPalette().color(QPalette::Light);
  const QColor below = MixColour(face, QPalette().color(QPalette::Dark), 160);
  for (const Window& window : Windows()) {
    SCOPED_TRACE(window.name);
    QImage pictures[3];
    for (int style = 0; style < 3; ++style) pictures[style] = Photograph(window, style);
    for (const QImage& picture : pictures) ASSERT_GT(picture.height(), 4);
    const QImage& flat = pictures[0];
    const bool panel = *window.part != '\0';
    // Flat: the margin is one plain colour, the face (a panel: the colour below a band).
    const QColor flatColour = panel ? below : face;
    EXPECT_LE(Distance(flat.pixelColor(1, flat.height() - 3), flatColour), 3) << flat.pixelColor(1, flat.height() - 3).name().toStdString();
    EXPECT_LE(Distance(flat.pixelColor(1, 3), flatColour), 3);
    // A dialog's band starts from the light colour at its top in both gradient styles.
    if (!panel) {
      for (int style : {1, 2}) EXPECT_LE(Distance(pictures[style].pixelColor(1, 0), light), 8) << kStyleNames[style];
    }
    // And the three looks differ.
    EXPECT_GT(ColumnDifference(pictures[0], pictures[1]), 6);
    EXPECT_GT(ColumnDifference(pictures[0], pictures[2]), 6);
    EXPECT_GT(ColumnDifference(pictures[1], pictures[2]), 6);
  }
}

// Photographs widget from the screen into the artifacts as name.png.
QImage Screenshot(QWidget* widget, const std::string& name) {
  const QPoint at = widget->mapToGlobal(QPoint(0, 0));
  const QImage picture = widget->screen()->grabWindow(0, at.x(), at.y(), widget->width(), widget->height()).toImage();
  const std::string folder = std::string(VANTREL_BUILD_DIR) + "/tests/ui/artifacts/";
  QDir().mkpath(QString::fromStdString(folder));
  picture.save(QString::fromStdString(folder + name + ".png"));
  return picture;
}

// The skin's control bar in the normal view: the controls that show, by name, with
// their places in the view.
std::vector<std::pair<QString, QRect>> BarControls(PlayerWindow* window) {
  std::vector<std::pair<QString, QRect>> controls;
  auto* view = window->findChild<QWidget*>(QStringLiteral("viewNormal"));
  if (!view) return controls;
  for (const char* name : {"mnuPlay", "mnuPlayPrev", "mnuPlayNext", "mnuBrowseUp", "mnuBrowseBack", "mnuBrowseForward",
                           "picTime", "picVolume", "mnuMute", "mnuPlaylist", "mnuFullScreen", "mnuOpen", "mnuBrowse"}) {
    for (QWidget* control : view->findChildren<QWidget*>(QString::fromLatin1(name))) {
      if (!control->isVisibleTo(window) || control->width() <= 0) continue;
      controls.emplace_back(QString::fromLatin1(name), QRect(control->mapTo(view, QPoint(0, 0)), control->size()));
    }
  }
  return controls;
}

// A 176 x 144 video in the skinned window: no two of the bar's controls overlap, with
// the playlist beside the window (the bar then leaves buttons out) or without it, and the
// playlist wears the skin's colours.
TEST(SkinEndToEnd, ASmallVideoKeepsTheBarsControlsApart) {
  if (QGuiApplication::platformName() != QStringLiteral("xcb")) GTEST_SKIP() << "needs a real X server (xvfb-run)";
  const std::string corpus = vantrel::testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is absent";
  const std::string video = corpus + "flv/h263_176x144_12fps.flv";
  if (!std::filesystem::exists(video)) GTEST_SKIP() << video << " is absent";
  vantrel::testing::TempHome home;
  setenv("VANTREL_APP_PATH", VANTREL_BUILD_DIR, 1);
  SessionHooks hooks;
  hooks.firstRun = [](FirstRunDialog& dialog) { dialog.findChild<QPushButton*>(QStringLiteral("cbGo"))->click(); };
  hooks.skin = true;
  hooks.noTips = true;
  PlayerSession session(hooks);
  ASSERT_EQ(session.Start("\"" + video + "\""), player::StartUpResult::Running);
  PlayerWindow* window = session.Window();
  ASSERT_TRUE(window && window->SkinLoaded());
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  QTest::qWait(400);
  auto* pane = window->PlayList();
  ASSERT_TRUE(pane->isVisible()) << "the playlist shows beside the window by default";

  for (const bool withPane : {true, false}) {
    SCOPED_TRACE(withPane ? "with the playlist" : "without the playlist");
    if (!withPane) {
      window->findChild<QAction*>(QStringLiteral("mnuPlaylist"))->trigger();
      QTest::qWait(300);
      ASSERT_FALSE(pane->isVisible());
    }
    Screenshot(window, withPane ? "skin_small_video" : "skin_small_video_no_playlist");
    const auto controls = BarControls(window);
    const auto shows = [&controls](const char* name) {
      return std::any_of(controls.begin(), controls.end(), [name](const auto& c) { return c.first == QLatin1String(name); });
    };
    // Play, previous and next always; at the skin's smallest window without the
    // playlist, everything but the volume.
    for (const char* name : {"mnuPlay", "mnuPlayPrev", "mnuPlayNext"}) EXPECT_TRUE(shows(name)) << name;
    if (!withPane) {
      for (const char* name : {"picTime", "mnuMute", "mnuPlaylist", "mnuFullScreen", "mnuOpen", "mnuBrowse"})
        EXPECT_TRUE(shows(name)) << name;
    }
    auto* view = window->findChild<QWidget*>(QStringLiteral("viewNormal"));
    for (std::size_t i = 0; i < controls.size(); ++i) {
      EXPECT_GE(controls[i].second.left(), 0) << controls[i].first.toStdString();
      EXPECT_LE(controls[i].second.right(), view->width() - 1) << controls[i].first.toStdString();
      for (std::size_t j = i + 1; j < controls.size(); ++j)
        EXPECT_FALSE(controls[i].second.intersects(controls[j].second))
            << controls[i].first.toStdString() << " overlaps " << controls[j].first.toStdString();
    }
  }

  // The playlist beside the skin: the skin's face behind the lines, not a white list, and
  // rounded corners that leave the window's own colour in the very corner.
  window->findChild<QAction*>(QStringLiteral("mnuPlaylist"))->trigger();
  QTest::qWait(300);
  ASSERT_TRUE(pane->isVisible());
  const QImage list = Screenshot(pane, "skin_playlist");
  const QColor middle = list.pixelColor(list.width() / 2, list.height() - 12);
  EXPECT_LT(middle.lightness(), 250) << "the list is still plain white: " << middle.name().toStdString();
  EXPECT_NE(list.pixelColor(0, 0), list.pixelColor(list.width() / 2, list.height() / 2)) << "square corners";
  Screenshot(window, "skin_playlist_window");
}

}  // namespace
}  // namespace vantrel::ui
