// Device text in the player window and in `vantrel-tool render`: the window under a real
// X server (Xvfb) shows the same frame of a movie whose fields use the system's faces
// (no font of the movie's own) pixel for pixel as the tool draws it without a desktop.
#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "player/player.h"
#include "support/run_process.h"
#include "support/swf_movie_writer.h"
#include "support/temp_home.h"
#include "ui/first_run_dialog.h"
#include "ui/movie_engine.h"
#include "ui/player_session.h"
#include "ui/player_window.h"

namespace vantrel::ui {
namespace {

namespace fs = std::filesystem;
using namespace vantrel::testing;

// DefineEditText id with text at x, y (pixels) in a w x h box; html when the text is HTML.
Bytes Field(std::uint16_t id, int w, int h, const std::string& text, bool html) {
  Bytes body;
  PutU16(body, id);
  PutBytes(body, RectRecord(0, w * 20, 0, h * 20));
  PutU8(body, 0x80 | 0x20 | 0x08);                     // has text, multiline, read-only
  PutU8(body, static_cast<std::uint8_t>(html ? 0x02 : 0x00));
  PutString(body, "");
  PutString(body, text);
  return Tag(37, body);
}

Bytes Movie() {
  Bytes tags = SetBackgroundColor(255, 255, 240);
  PutBytes(tags, Field(1, 300, 30, "Device text: Hello, world! 0123 WAVE", false));
  PutBytes(tags, Field(2, 300, 70,
                       "<p><font face=\"_serif\" size=\"20\" color=\"#336699\">Serif face</font></p>"
                       "<p align=\"right\"><font face=\"_typewriter\" size=\"14\">Typewriter, right</font></p>",
                       true));
  Place first;
  first.depth = 1;
  first.character = 1;
  first.hasMatrix = true;
  first.x = 10 * 20;
  first.y = 8 * 20;
  PutBytes(tags, PlaceObject2(first));
  Place second = first;
  second.depth = 2;
  second.character = 2;
  second.y = 44 * 20;
  PutBytes(tags, PlaceObject2(second));
  PutBytes(tags, ShowFrame());
  PutBytes(tags, End());
  return MakeMovie(tags, 320, 120, 1, 8);
}

TEST(DeviceTextEndToEnd, PlayerWindowShowsWhatRenderDraws) {
  TempHome home;
  setenv("VANTREL_APP_PATH", VANTREL_BUILD_DIR, 1);
  const fs::path movie = fs::path(home.Path()) / "device text.swf";
  {
    const Bytes bytes = Movie();
    std::ofstream(movie, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
  }

  SessionHooks hooks;
  hooks.firstRun = [](FirstRunDialog& dialog) { dialog.findChild<QPushButton*>(QStringLiteral("cbGo"))->click(); };
  PlayerSession session(hooks);
  ASSERT_EQ(session.Start("\"" + movie.string() + "\""), player::StartUpResult::Running);
  PlayerWindow* window = session.Window();
  ASSERT_TRUE(window);
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  auto* view = window->findChild<QWidget*>(QStringLiteral("View"));
  ASSERT_TRUE(view);
  // The text is there: dark pixels in the rows of both fields, not only the background.
  const auto darkIn = [](const QImage& image, int top, int bottom) {
    int dark = 0;
    for (int y = top; y < std::min(bottom, image.height()); ++y)
      for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 128;
    return dark;
  };
  // The window's first frame (the movie has one) is the one `render` draws by default;
  // a busy machine may take a while to show it.
  QImage shown;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        shown = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
        return darkIn(shown, 0, shown.height()) > 100;
      },
      30000))
      << "the window shows no text";

  // The tool draws at the size of the window's movie area with the window's scale mode.
  const fs::path out = fs::path(home.Path()) / "render.png";
  const std::string size = std::to_string(shown.width()) + "x" + std::to_string(shown.height());
  const int mode = session.Engine()->Port().ScaleMode();
  ASSERT_TRUE(mode >= 0 && mode <= 3) << mode;
  const char* const scales[] = {"showall", "noborder", "exactfit", "noscale"};
  const ProcessResult run =
      RunProcess(std::string(VANTREL_BUILD_DIR) + "/vantrel-tool",
                 {"render", movie.string(), "-o", out.string(), "--size", size, "--scale", scales[mode]});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const QImage drawn = QImage(QString::fromStdString(out.string())).convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(drawn.size(), shown.size());

  // Both fields' rows of the stage (120 pixels high), scaled to the area's height.
  const auto row = [&](int stageRow) { return stageRow * drawn.height() / 120; };
  EXPECT_GT(darkIn(drawn, row(8), row(30)), 50) << "the first field's text";
  EXPECT_GT(darkIn(drawn, row(46), row(110)), 50) << "the second field's text";

  int differing = 0;
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x) differing += shown.pixel(x, y) != drawn.pixel(x, y);
  if (differing > 0) {
    shown.save(QString::fromStdString((fs::temp_directory_path() / "device_text_window.png").string()));
    drawn.save(QString::fromStdString((fs::temp_directory_path() / "device_text_render.png").string()));
    fs::copy_file(movie, fs::temp_directory_path() / "device_text.swf", fs::copy_options::overwrite_existing);
  }
  EXPECT_EQ(differing, 0) << "pixels of the window differ from render's picture (both saved in "
                          << fs::temp_directory_path() << " with the movie)";
}

}  // namespace
}  // namespace vantrel::ui
