// File > Export Video: the dialog's choices, and the export running under the progress
// window with its Cancel button.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

#include "core/options.h"
#include "support/swf_movie_writer.h"
#include "support/temp_home.h"
#include "ui/export_dialog.h"

namespace vantrel::ui {
namespace {

namespace fs = std::filesystem;

// A 100x100 movie of frames frames at 10 fps: a box moving right.
std::string BoxMovie(testing::TempHome& home, int frames) {
  using namespace vantrel::testing;
  Bytes tags = DefineRectangle(1, 0, 0, 400, 400, 200, 40, 40);
  for (int frame = 1; frame <= frames; ++frame) {
    Place place;
    place.hasMatrix = true;
    place.x = frame * 20;
    if (frame == 1) place.character = 1;
    else place.move = true;
    PutBytes(tags, PlaceObject2(place));
    PutBytes(tags, ShowFrame());
  }
  PutBytes(tags, End());
  const Bytes movie = MakeMovie(tags, 100, 100, frames, 8, 10);
  return home.WriteFile("box.swf", std::string(movie.begin(), movie.end()));
}

ExportMovie Movie(const std::string& source) {
  ExportMovie movie;
  movie.source = source;
  movie.title = "box";
  movie.width = 480;
  movie.height = 360;
  movie.rate = 10;
  movie.frames = 40;
  movie.currentFrame = 12;
  return movie;
}

TEST(ExportDialog, KeepsTheMoviesShapeAndNamesTheTargetByTheFormat) {
  testing::TempHome home;
  core::OptionsStore options(home.Path() + "options.conf");
  options.WriteText("Export", "Folder", home.Path() + "videos/");
  ExportDialog dialog(Movie(home.Path() + "box.swf"), options);
  EXPECT_EQ(dialog.objectName(), QStringLiteral("frmExport"));
  EXPECT_EQ(dialog.WidthBox()->value(), 480);
  EXPECT_EQ(dialog.HeightBox()->value(), 360);
  EXPECT_EQ(dialog.TargetBox()->text().toStdString(), home.Path() + "videos/box.mp4");
  dialog.WidthBox()->setValue(1280);
  EXPECT_EQ(dialog.HeightBox()->value(), 960);
  dialog.HeightBox()->setValue(301);
  EXPECT_EQ(dialog.HeightBox()->value(), 300) << "an H.264 picture has even sides";
  EXPECT_EQ(dialog.WidthBox()->value(), 400);

  dialog.FormatBox()->setCurrentIndex(3);  // Animated GIF
  EXPECT_EQ(dialog.TargetBox()->text().toStdString(), home.Path() + "videos/box.gif");
  EXPECT_FALSE(dialog.SoundBox()->isEnabled()) << "a GIF has no sound";
  dialog.FormatBox()->setCurrentIndex(5);  // PNG pictures
  EXPECT_EQ(dialog.TargetBox()->text().toStdString(), home.Path() + "videos/box/%05d.png");

  dialog.FromCurrent()->setChecked(true);
  dialog.LengthBox()->setValue(2);
  const browser::ExportSettings settings = dialog.Settings();
  EXPECT_EQ(settings.format, browser::ExportFormat::Png);
  EXPECT_EQ(settings.width, 400);
  EXPECT_EQ(settings.fps, 0) << "the movie's own rate";
  ASSERT_TRUE(settings.from.set);
  EXPECT_EQ(settings.from.frame, 12);
  ASSERT_TRUE(settings.to.set);
  EXPECT_DOUBLE_EQ(settings.to.seconds, 1.1 + 2) << "two seconds from frame 12";

  dialog.StoreChoices();
  EXPECT_EQ(options.ReadTextOption("Export", "Format"), "png");
  EXPECT_EQ(options.ReadTextOption("Export", "Folder"), home.Path() + "videos/");
  ExportDialog again(Movie(home.Path() + "box.swf"), options);
  EXPECT_EQ(again.FormatBox()->currentIndex(), 5) << "the format chosen last comes back";

  ExportMovie single = Movie(home.Path() + "box.swf");
  single.frames = 1;
  single.currentFrame = 1;
  ExportDialog still(single, options);
  EXPECT_FALSE(still.FromCurrent()->isEnabled());
  EXPECT_GT(still.LengthBox()->value(), 0) << "a movie of one frame needs a length";
}

TEST(ExportDialog, RunsUnderTheProgressWindowAndCancelLeavesNothing) {
  testing::TempHome home;
  browser::ExportSettings settings;
  settings.source = BoxMovie(home, 20);
  settings.target = home.Path() + "box.mp4";
  browser::ExportResult result = RunExportWithProgress(settings, QStringLiteral("Exporting box"), nullptr);
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(result.pictures, 20);
  EXPECT_TRUE(fs::exists(settings.target));

  settings.target = home.Path() + "long.mp4";
  settings.frames = 1000000;
  settings.width = 640;
  settings.height = 640;
  QString status;
  QTimer::singleShot(300, [&status] {
    auto* window = qobject_cast<ProgressWindow*>(QApplication::activeModalWidget());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->objectName(), QStringLiteral("frmProgress"));
    status = window->Status()->text();
    window->CancelButton()->click();
  });
  result = RunExportWithProgress(settings, QStringLiteral("Exporting box"), nullptr);
  EXPECT_TRUE(result.stopped);
  EXPECT_TRUE(status.contains(QStringLiteral(" of 1000000"))) << status.toStdString();
  EXPECT_FALSE(fs::exists(settings.target));
  std::size_t left = 0;
  for (const auto& entry : fs::directory_iterator(home.Path())) left += entry.path().filename().string().find("long") == 0;
  EXPECT_EQ(left, 0u) << "no temporary file is left";
}

}  // namespace
}  // namespace vantrel::ui
