// The thumbnail generator over real files: search, overwrite and projector rules, sizes,
// "Flash Info.xml" and the summary; and the shot helpers around it.
#include "browser/generator.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <jpeglib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

// Decodes a JPEG file into RGB bytes; false when it is not one.
bool ReadJpegPixels(const std::string& path, int& width, int& height, std::vector<std::uint8_t>& rgb) {
  const std::string bytes = ReadAll(path);
  if (!testing::DecodesAsJpeg(bytes)) return false;
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  width = static_cast<int>(info.output_width);
  height = static_cast<int>(info.output_height);
  rgb.resize(static_cast<std::size_t>(width) * height * 3);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = rgb.data() + static_cast<std::size_t>(info.output_scanline) * width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

// Frame n of video as ffmpeg decodes it, filled into width x height the way shots fill
// (scaled up to cover, the overflow cut evenly), as RGB bytes; empty when ffmpeg fails.
std::vector<std::uint8_t> FfmpegFrame(const std::string& video, int n, int width, int height) {
  const std::string command = "ffmpeg -v error -i '" + video + "' -vf 'select=eq(n\\," + std::to_string(n) +
                              "),scale=" + std::to_string(width) + ":" + std::to_string(height) +
                              ":force_original_aspect_ratio=increase,crop=" + std::to_string(width) + ":" +
                              std::to_string(height) + "' -frames:v 1 -f rawvideo -pix_fmt rgb24 - 2>/dev/null";
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return {};
  const std::size_t read = std::fread(rgb.data(), 1, rgb.size(), pipe);
  ::pclose(pipe);
  if (read != rgb.size()) return {};
  return rgb;
}

double MeanDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) sum += std::abs(int(a[i]) - int(b[i]));
  return a.empty() ? 1e9 : sum / static_cast<double>(a.size());
}

// A Flash video with two Sorenson H.263 key frames whose pictures are noise.
std::string BrokenVideo() {
  std::string flv("FLV\x01\x01\x00\x00\x00\x09\x00\x00\x00\x00", 13);
  for (const int time : {0, 83}) {
    const std::string data = std::string("\x12", 1) + "not a picture at all";
    const std::uint32_t size = static_cast<std::uint32_t>(data.size());
    const char header[11] = {9, char(size >> 16), char(size >> 8), char(size), 0, 0, char(time), 0, 0, 0, 0};
    flv.append(header, 11);
    flv += data;
    const std::uint32_t total = size + 11;
    const char back[4] = {char(total >> 24), char(total >> 16), char(total >> 8), char(total)};
    flv.append(back, 4);
  }
  return flv;
}

// A Flash video's thumbnail is a frame of its own video: the one at the sampled place,
// as ffmpeg decodes it; a video whose pictures do not decode gets the no-media picture.
TEST(VideoThumbnailTest, AFlashVideoShowsAFrameOfItsVideo) {
  TempHome home;
  media::MediaContext context;
  context.CachePath = home.Path() + "cache/";
  context.UserPath = home.Path();
  core::MakeFolder(context.CachePath);
  ShotOptions options;  // 120 x 90
  // A red no-media picture, 16 x 16.
  std::string red;
  for (int x = 0; x < 16; ++x) red += "\xE0\x10\x10";
  home.WriteFile("nomedia.png",
                 testing::SimplePng(testing::IhdrData(16, 16, 8, 2), testing::UnfilteredRows(std::vector<std::string>(16, red))));
  options.noMediaPath = home.Path() + "nomedia";
  int width = 0, height = 0;
  std::vector<std::uint8_t> thumb;
  media::MediaRecord record;

  // Pictures that do not decode: the no-media picture at (8, 8) on the background.
  const std::string broken = home.WriteFile("broken.flv", BrokenVideo());
  ASSERT_EQ(MakeThumbnail(context, broken, home.Path() + "broken.jpg", options, 0.5, record), "");
  EXPECT_TRUE(record.IsVideo);
  ASSERT_TRUE(ReadJpegPixels(home.Path() + "broken.jpg", width, height, thumb));
  const auto pixel = [&](int x, int y) { return thumb.data() + (static_cast<std::size_t>(y) * width + x) * 3; };
  EXPECT_GT(pixel(15, 15)[0], 180);
  EXPECT_LT(pixel(15, 15)[1], 80);
  EXPECT_GT(pixel(100, 70)[1], 200);  // white around it

  const std::string corpus = testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is absent";
  const std::string video = corpus + "flv/h263_176x144_12fps.flv";  // 36 frames of ffmpeg's test pattern
  if (!std::filesystem::exists(video)) GTEST_SKIP() << video << " is absent";
  if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is missing";
  ASSERT_EQ(MakeThumbnail(context, video, home.Path() + "video.jpg", options, 0.5, record), "");
  ASSERT_TRUE(ReadJpegPixels(home.Path() + "video.jpg", width, height, thumb));
  ASSERT_EQ(width, 120);
  ASSERT_EQ(height, 90);
  const int frame = ShotFrame(36, 30, 50, 0.5);
  const std::vector<std::uint8_t> expected = FfmpegFrame(video, frame, width, height);
  ASSERT_FALSE(expected.empty()) << "ffmpeg gave no frame " << frame;
  EXPECT_LT(MeanDifference(thumb, expected), 8.0) << "the thumbnail is not frame " << frame;
  // Frames far from the sampled one are told apart: the pattern's counter and colours move.
  EXPECT_LT(MeanDifference(thumb, expected), MeanDifference(thumb, FfmpegFrame(video, 35, width, height)));
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
