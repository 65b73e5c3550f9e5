// The thumbnail generator over real files: search, overwrite and projector rules, sizes,
// "Flash Info.xml" and the summary; and the shot helpers around it.
#include "browser/generator.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <set>

#include "browser/shot_rules.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/surface_limit.h"
#include "core/text.h"
#include "media/projector.h"
#include "support/image_check.h"
#include "support/pe_writer.h"
#include "support/png_writer.h"
#include "support/swf_movie_writer.h"
#include "support/temp_home.h"

namespace vantrel::browser {
namespace {

using testing::TempHome;

std::string Movie(int width, int height, int frames, bool compress = false) {
  using namespace vantrel::testing;
  Bytes tags = SetBackgroundColor(0x33, 0x66, 0x99);
  for (int i = 0; i < frames; ++i) PutBytes(tags, ShowFrame());
  PutBytes(tags, End());
  const Bytes bytes = MakeMovie(tags, width, height, frames, 8, 12, compress);
  return std::string(bytes.begin(), bytes.end());
}

// A generic projector: a stub whose version resource names the standalone player, with
// the movie appended.
std::string Projector(const std::string& movie) {
  return testing::AppendMovie(testing::BuildPeImage(testing::BuildVersionInfo(testing::StubVersion("SAFlashPlayer.exe"))),
                              movie);
}

std::string ReadAll(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  core::ReadFileBytes(path, bytes);
  return std::string(bytes.begin(), bytes.end());
}

TEST(ShotRulesTest, FrameInsideTheSampleRange) {
  for (double r : {0.0, 0.25, 0.5, 0.999}) {
    const int frame = ShotFrame(200, 30, 50, r);
    EXPECT_GE(frame, 60);
    EXPECT_LE(frame, 100);
  }
  EXPECT_EQ(ShotFrame(1, 30, 50, 0.5), -1);
  EXPECT_EQ(ShotFrame(0, 30, 50, 0.5), -1);
  EXPECT_EQ(ShotFrame(10, 100, 100, 0.9), 9);  // never past the last frame
}

TEST(ShotRulesTest, NumberedScreenshotsAndGeneratorNames) {
  const std::set<std::string> taken = {"/s/T.12.jpg", "/s/T.12(1).jpg"};
  const auto exists = [&](const std::string& path) { return taken.count(path) > 0; };
  EXPECT_EQ(ScreenshotPath("/s/", "T", 12, exists), "/s/T.12(2).jpg");
  EXPECT_EQ(ScreenshotPath("/s/", "T", 13, exists), "/s/T.13.jpg");
  EXPECT_EQ(GeneratorThumbPath("/m/intro.swf"), "/m/intro.jpg");
  EXPECT_EQ(GeneratorThumbPath("/m.d/intro"), "/m.d/intro.jpg");
}

TEST(FlashInfoTest, LineFormat) {
  media::MediaRecord record;
  record.Width = 550;
  record.Height = 400;
  record.FrameCount = 240;
  record.FrameRate = 12;
  record.FileSize = 1234;
  record.Version = 6;
  record.IsCompressed = true;
  record.BackColor = "336699";
  record.FileName = "a.swf";
  record.Title = "T";
  EXPECT_EQ(FlashInfoLine(record, "/src/sub/deeper/a.swf", "/src/"),
            "\t<MOVIE path=\"sub/deeper/\" title=\"T\" width=\"550\" height=\"400\" time=\"0:20\" size=\"1234\" "
            "version=\"6\" compressed=\"True\" frameRate=\"12\" bgColor=\"336699\" frames=\"240\">a.swf</MOVIE>\r\n");
  record.Title.clear();
  EXPECT_EQ(FlashInfoLine(record, "/src/a.swf", "/src/").substr(0, 20), "\t<MOVIE width=\"550\" ");
  EXPECT_EQ(FlashInfoHeader(), "<?xml version=\"1.0\"?><FLASHINFO app=\"Vantrel\" build=\"760\">\r\n");
}

class GeneratorRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source = home.Path() + "src/";
    home.WriteFile("src/a.swf", Movie(550, 400, 20));
    home.WriteFile("src/b.exe", Projector(Movie(200, 100, 5, true)));
    home.WriteFile("src/sub/c.swf", Movie(100, 100, 1, true));
    home.WriteFile("src/sub/notes.txt", "x");
    context.CachePath = home.Path() + "cache/";
    context.UserPath = home.Path();
    core::MakeFolder(context.CachePath);
    context.ExtractProjector = media::ExtractEXE;
    settings.source = source;
  }
  GeneratorReport Run(bool skipDoubtful = false, std::function<bool(const std::string&)> check = {}) {
    return RunGenerator(context, settings, ShotOptions{}, skipDoubtful, check, {}, {});
  }

  TempHome home;
  std::string source;
  media::MediaContext context;
  GeneratorSettings settings;
};

TEST_F(GeneratorRunTest, MakesEveryThumbnailAndCounts) {
  settings.info = true;
  const GeneratorReport report = Run();
  EXPECT_EQ(report.found, 3);
  EXPECT_EQ(report.made, 3);
  EXPECT_EQ(report.folders, 2);
  int width = 0, height = 0;
  for (const char* thumb : {"src/a.jpg", "src/b.jpg", "src/sub/c.jpg"}) {
    ASSERT_TRUE(testing::DecodesAsJpeg(ReadAll(home.Path() + thumb), &width, &height)) << thumb;
    EXPECT_EQ(width, 120);
    EXPECT_EQ(height, 90);
  }
  EXPECT_EQ(GeneratorSummary(report, settings, {}),
            "Thumbnail Generation Complete!\r\n\r\nThumbnails created: 3\r\nFolders Searched: 2");
  const std::string info = ReadAll(source + "Flash Info.xml");
  EXPECT_NE(info.find(">a.swf</MOVIE>"), std::string::npos);
  EXPECT_NE(info.find("path=\"sub/\""), std::string::npos);
  EXPECT_NE(info.find(">b.exe</MOVIE>"), std::string::npos);
}

TEST_F(GeneratorRunTest, KeepsExistingAndSkipsDoubtfulProjectors) {
  home.WriteFile("src/a.jpg", "mine");
  settings.overwrite = false;
  settings.info = true;
  const GeneratorReport report = Run(true, [](const std::string&) { return false; });
  EXPECT_EQ(report.made, 1);
  EXPECT_EQ(ReadAll(source + "a.jpg"), "mine");
  EXPECT_FALSE(core::FileExists(source + "b.jpg"));
  EXPECT_NE(ReadAll(source + "Flash Info.xml").find(">b.exe</MOVIE>"), std::string::npos);
  EXPECT_EQ(GeneratorSummary(report, settings, {}),
            "Thumbnail Generation Complete!\r\n\r\nThumbnails created: 1 of 3\r\nFolders Searched: 2");
}

TEST_F(GeneratorRunTest, PercentSizeNonRecursiveAndCancel) {
  settings.fixedSize = false;
  settings.percent = 50;
  settings.recursive = false;
  const GeneratorReport report = Run();
  EXPECT_EQ(report.found, 2);
  EXPECT_EQ(report.folders, 1);
  int width = 0, height = 0;
  ASSERT_TRUE(testing::DecodesAsJpeg(ReadAll(source + "a.jpg"), &width, &height));
  EXPECT_EQ(width, 275);
  EXPECT_EQ(height, 200);
  EXPECT_FALSE(core::FileExists(source + "sub/c.jpg"));

  GeneratorEvents events;
  events.cancelled = [] { return true; };
  const GeneratorReport stopped = RunGenerator(context, settings, ShotOptions{}, false, {}, {}, events);
  EXPECT_TRUE(stopped.cancelled);
  EXPECT_EQ(GeneratorSummary(stopped, settings, {}).rfind("Thumbnail Generation Cancelled!", 0), 0u);
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTREL_TEST_SANITIZED 1
#endif
#elif defined(__SANITIZE_ADDRESS__)
#define VANTREL_TEST_SANITIZED 1
#endif
#ifdef VANTREL_TEST_SANITIZED
constexpr int kSanitizerFactor = 5;  // the sanitizers' shadow memory and checks
#else
constexpr int kSanitizerFactor = 1;
#endif

// A movie whose frame is 65535 pixels square, covered by one shape, shot at its own size
// (a generator's percentage or a size typed into the options): the shot is drawn within
// the drawing limit, quickly and in bounded memory. Run in a child process so its time
// and peak memory are its own.
TEST(ShotLimitTest, HugeFramesAreShotScaledDownQuicklyAndSmall) {
  using namespace vantrel::testing;
  constexpr int kSide = 65535;
  Bytes tags = SetBackgroundColor(0x10, 0x20, 0x30);
  PutBytes(tags, DefineRectangle(1, 0, 0, kSide * 20, kSide * 20, 200, 40, 40));
  Place place;
  place.character = 1;
  PutBytes(tags, PlaceObject2(place));
  PutBytes(tags, ShowFrame());
  PutBytes(tags, End());
  const Bytes bytes = MakeMovie(tags, kSide, kSide, 1);
  TempHome home;
  const std::string movie = home.WriteFile("huge.swf", std::string(bytes.begin(), bytes.end()));
  const std::string jpeg = home.Path() + "huge.jpg";

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    media::MediaContext context;
    context.CachePath = home.Path();
    ShotOptions options;
    options.width = kSide;
    options.height = kSide;
    media::MediaRecord record;
    ::_exit(MakeThumbnail(context, movie, jpeg, options, 0.5, record).empty() ? 0 : 1);
  }
  int status = 0;
  struct rusage usage {};
  ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  EXPECT_LT(cpu, 1.0 * kSanitizerFactor);
  EXPECT_LT(usage.ru_maxrss / 1024, 200 * kSanitizerFactor);  // kilobytes to megabytes
  std::printf("shot of a %d px movie: %.2f s CPU, %ld MB\n", kSide, cpu, usage.ru_maxrss / 1024);

  int width = 0, height = 0;
  ASSERT_TRUE(DecodesAsJpeg(ReadAll(jpeg), &width, &height));
  const core::SurfaceSize bounded = core::BoundSurface(kSide, kSide);
  EXPECT_EQ(width, bounded.width);
  EXPECT_EQ(height, bounded.height);
}

TEST(WatermarkTest, LogoInTheBottomRightCornerOrNothing) {
  TempHome home;
  cDIBSection surface;
  ASSERT_TRUE(surface.Create(120, 90));
  surface.Fill(0xFFFFFF);
  // A 40x20 opaque red RGB picture.
  const std::string row = [] {
    std::string r;
    for (int x = 0; x < 40; ++x) r += std::string("\xFF\x00\x00", 3);
    return r;
  }();
  const std::string png =
      testing::SimplePng(testing::IhdrData(40, 20, 8, 2), testing::UnfilteredRows(std::vector<std::string>(20, row)));
  const std::string logoPath = home.WriteFile("logo.png", png);
  EXPECT_FALSE(DrawWatermark(surface, home.Path() + "missing.png"));
  EXPECT_EQ(surface.Pixel(100, 80), 0xFFFFFFu);
  ASSERT_TRUE(DrawWatermark(surface, logoPath));
  EXPECT_EQ(surface.Pixel(79, 69), 0xFFFFFFu);
  EXPECT_EQ(surface.Pixel(80, 70), 0xFF0000u);
  EXPECT_EQ(surface.Pixel(119, 89), 0xFF0000u);
}

}  // namespace
}  // namespace vantrel::browser
