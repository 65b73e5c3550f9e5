// The words of an export: formats by name and by extension, points of a movie, sizes,
// sequence names and the targets the dialog proposes.
#include <gtest/gtest.h>

#include "browser/export_format.h"

namespace vantrel::browser {
namespace {

TEST(ExportFormat, FollowsTheNameOrTheTargetsExtension) {
  ExportFormat format{};
  EXPECT_TRUE(ExportFormatFromName("WebM", format));
  EXPECT_EQ(format, ExportFormat::WebM);
  EXPECT_FALSE(ExportFormatFromName("avi", format));
  const std::pair<const char*, ExportFormat> targets[] = {
      {"a/b.MP4", ExportFormat::Mp4},      {"clip.m4v", ExportFormat::Mp4},   {"x.webm", ExportFormat::WebM},
      {"x.mkv", ExportFormat::Mkv},        {"x.gif", ExportFormat::Gif},      {"x.apng", ExportFormat::Apng},
      {"anim.png", ExportFormat::Apng},    {"frames/%05d.png", ExportFormat::Png},
  };
  for (const auto& [target, expected] : targets) {
    ASSERT_TRUE(ExportFormatFromTarget(target, format)) << target;
    EXPECT_EQ(format, expected) << target;
  }
  EXPECT_FALSE(ExportFormatFromTarget("movie.avi", format));
  EXPECT_FALSE(ExportFormatFromTarget("folder.mp4/noextension", format)) << "a dot in a folder is no extension";
  EXPECT_TRUE(ExportHasSound(ExportFormat::Mkv));
  EXPECT_FALSE(ExportHasSound(ExportFormat::Gif));
  ExportQuality quality{};
  EXPECT_TRUE(ExportQualityFromName("LOW", quality));
  EXPECT_EQ(quality, ExportQuality::Low);
  EXPECT_FALSE(ExportQualityFromName("best", quality));
}

TEST(ExportFormat, ReadsFramesAndTimes) {
  MoviePoint point;
  std::string why;
  ASSERT_TRUE(ParseMoviePoint("120", point, why));
  EXPECT_FALSE(point.isTime);
  EXPECT_EQ(point.FrameIndex(30), 119);
  EXPECT_DOUBLE_EQ(point.Seconds(30), 119.0 / 30);
  const std::pair<const char*, double> times[] = {{"2.5s", 2.5}, {"1:30", 90}, {"0:01.5", 1.5}, {"1:02:03", 3723}};
  for (const auto& [text, seconds] : times) {
    ASSERT_TRUE(ParseMoviePoint(text, point, why)) << text << ": " << why;
    EXPECT_TRUE(point.isTime) << text;
    EXPECT_DOUBLE_EQ(point.seconds, seconds) << text;
  }
  ASSERT_TRUE(ParseMoviePoint("1s", point, why));
  EXPECT_EQ(point.FrameIndex(24), 24) << "one second in, frame index 24 of a 24 fps movie shows";
  for (const char* bad : {"0", "2.5", "-3", "1:75", "1:2:3:4", "s", "", "abc", "1e3s"}) {
    EXPECT_FALSE(ParseMoviePoint(bad, point, why)) << bad;
    EXPECT_FALSE(why.empty()) << bad;
  }
}

TEST(ExportFormat, SizesKeepTheirShapeAndVideoSidesAreEven) {
  int width = 0, height = 0;
  EXPECT_TRUE(ParseExportSize("1280x720", width, height));
  EXPECT_EQ(width, 1280);
  EXPECT_EQ(height, 720);
  for (const char* bad : {"0x0", "10x0", "x10", "10x", "20000x10", "10*10", "-5x5"})
    EXPECT_FALSE(ParseExportSize(bad, width, height)) << bad;
  ExportSize size = ResolveExportSize(551, 401, 0, 0, 0, true);
  EXPECT_EQ(size.width, 550);
  EXPECT_EQ(size.height, 400);
  size = ResolveExportSize(480, 360, 0, 0, 2.5, false);
  EXPECT_EQ(size.width, 1200);
  EXPECT_EQ(size.height, 900);
  size = ResolveExportSize(480, 360, 1280, 720, 0, true);
  EXPECT_EQ(size.width, 1280);
  EXPECT_EQ(size.height, 720);
  size = ResolveExportSize(1, 1, 0, 0, 0, true);
  EXPECT_EQ(size.width, 2) << "the smallest video picture is 2x2";
  EXPECT_EQ(AspectSide(1280, 480, 360, false), 960);
  EXPECT_EQ(AspectSide(641, 550, 400, false), 466);
  EXPECT_EQ(AspectSide(641, 550, 400, true), 466);
  EXPECT_EQ(AspectSide(101, 100, 33, true), 34) << "33.3 goes to the nearest even side";
}

TEST(ExportFormat, NumbersThePicturesOfASequence) {
  EXPECT_TRUE(IsFramePattern("frames/%05d.png"));
  EXPECT_TRUE(IsFramePattern("100%% %d.png"));
  for (const char* bad : {"frames.png", "%d-%d.png", "%s.png", "%5d.png", "%0d.png", "%"}) EXPECT_FALSE(IsFramePattern(bad)) << bad;
  EXPECT_EQ(FramePatternName("frames/%05d.png", 7), "frames/00007.png");
  EXPECT_EQ(FramePatternName("100%% %d.png", 12), "100% 12.png");
}

TEST(ExportFormat, ProposesTargetsForEachFormat) {
  EXPECT_EQ(ExportTargetFor("/home/u/My Flash/", "Orbits", ExportFormat::Mp4), "/home/u/My Flash/Orbits.mp4");
  EXPECT_EQ(ExportTargetFor("/tmp", "Orbits", ExportFormat::Png), "/tmp/Orbits/%05d.png");
  EXPECT_EQ(RetargetExport("/tmp/Orbits.mp4", ExportFormat::Gif), "/tmp/Orbits.gif");
  EXPECT_EQ(RetargetExport("/tmp/Orbits.mp4", ExportFormat::Png), "/tmp/Orbits/%05d.png");
  EXPECT_EQ(RetargetExport("/tmp/Orbits/%05d.png", ExportFormat::WebM), "/tmp/Orbits.webm");
  EXPECT_EQ(RetargetExport("/tmp/v1.2/clip", ExportFormat::Mkv), "/tmp/v1.2/clip.mkv");
}

}  // namespace
}  // namespace vantrel::browser
