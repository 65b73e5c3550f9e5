// Every dialog of the program in each of the three visual styles, shown on a real X
// server (Xvfb) and photographed from the screen: the pictures stay in
// tests/ui/artifacts/ as looks_<window>_<style>.png. A window that paints the chosen
// style has a flat face-coloured margin in "Simply Flat", starts from the light colour
// at its top in the two gradient styles, and looks different in each of the three.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <filesystem>
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
#include "support/temp_home.h"
#include "system/desktop_dialog.h"
#include "ui/about_window.h"
#include "ui/first_run_dialog.h"
#include "ui/message_window.h"
#include "ui/options_dialog.h"
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

}  // namespace
}  // namespace vantrel::ui
