// The limits that hold whatever a movie says: the work of reading a movie follows its
// real bytes, pictures stay within the drawing limit, and a killed run's temporary files
// go at the next start. Also the command line's answers to such files.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/cache.h"
#include "core/surface_limit.h"
#include "core/text.h"
#include "media/extract_resources.h"
#include "media/identify.h"
#include "robustness/mutations.h"
#include "support/run_process.h"
#include "support/swf_writer.h"
#include "support/temp_home.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

const std::map<std::string, std::string>& Hostile() {
  static const std::map<std::string, std::string> files = [] {
    std::map<std::string, std::string> made;
    for (auto& [name, bytes] : robustness::HostileFiles()) made[name] = std::move(bytes);
    return made;
  }();
  return files;
}

// The processor time this process has used, in seconds: unlike the wall clock it does
// not grow while other programs keep the machine busy.
double ProcessCpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

const std::string kTool = std::string(VANTREL_BUILD_DIR) + "/vantrel-tool";

// Runs the tool and reports its CPU seconds and peak resident size.
struct Measured {
  int exitCode = -1;
  double cpuSeconds = 0;
  long maxRssMb = 0;
};

Measured RunMeasured(const std::vector<std::string>& args) {
  Measured result;
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::vector<char*> argv = {const_cast<char*>(kTool.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::freopen("/dev/null", "w", stdout);
    ::freopen("/dev/null", "w", stderr);
    ::execv(kTool.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  result.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  result.maxRssMb = usage.ru_maxrss / 1024;
  return result;
}

TEST(MovieLimits, CompressedMovieDeclaringFourGigabytesExtractsAtOnce) {
  const testing::TempHome home;
  const auto& files = Hostile();
  for (const char* name : {"declares-4gib.swf", "declares-4gib-lzma.swf"}) {
    const std::string path = home.WriteFile(name, files.at(name));
    media::MediaContext context;
    context.CachePath = home.Path() + "cache/";
    fs::create_directories(context.CachePath);
    // Work that followed the declared size would inflate four gigabytes: many seconds
    // of processor time on any machine.
    const double start = ProcessCpuSeconds();
    media::MediaRecord record;
    ASSERT_EQ(media::IdentifyMedia(context, path, record, true), "") << name;
    const std::string destination = home.Path() + "out/";
    fs::create_directories(destination);
    media::ExtractCounters counters = media::CountersFor(media::kExtractDefaults);
    const media::ExtractReport report = media::ExtractResources(record, destination, {}, counters, nullptr);
    EXPECT_LT(ProcessCpuSeconds() - start, 1.0) << name;
    EXPECT_EQ(report.failed, 0) << report.firstFailure;
    EXPECT_EQ(media::ExtractMessage(counters), "The following resources were extracted:\r\n\r\nEvent MP3 Sounds: 1");
    // The cache copy holds the data and a bounded run of zeros, not gigabytes.
    EXPECT_LT(fs::file_size(record.MoviePath), 2u << 20) << name;
  }
}

TEST(MovieLimits, ZerosAfterTheEndTagArePassedOverAndTheWalkGoesOn) {
  const testing::TempHome home;
  // 16 MiB of zeros (8 million End tags) between the End tag and a metadata tag.
  testing::SwfWriter writer(8, 100, 100, 12, 1);
  writer.ShowFrame().End().Raw(std::string(16u << 20, '\0')).Metadata("<rdf/>");
  const std::string path = home.WriteFile("padded.swf", writer.Plain());
  media::MediaContext context;
  context.CachePath = home.Path();
  media::MediaRecord record;
  ASSERT_EQ(media::IdentifyMedia(context, path, record, true), "");
  media::ExtractCounters counters = media::CountersFor(media::kExtractDefaults);
  const double start = ProcessCpuSeconds();
  media::ExtractResources(record, home.Path(), {}, counters, nullptr);
  EXPECT_LT(ProcessCpuSeconds() - start, 1.0);
  EXPECT_TRUE(fs::exists(home.Path() + "padded.swf.rdf.xml"));
}

TEST(SurfaceLimit, LargePicturesAreScaledDownWithTheirShape) {
  const core::SurfaceSize same = core::BoundSurface(1920, 1080);
  EXPECT_FALSE(same.reduced);
  EXPECT_EQ(same.width, 1920);
  EXPECT_EQ(same.height, 1080);

  for (const auto& [width, height] : std::vector<std::pair<std::int64_t, std::int64_t>>{
           {65535, 65535}, {16385, 16385}, {65535, 1}, {1, 65535}, {65535, 300}, {4000, 3000}}) {
    const core::SurfaceSize size = core::BoundSurface(width, height);
    ASSERT_TRUE(size.Usable());
    EXPECT_TRUE(size.reduced);
    EXPECT_GE(size.width, 1);
    EXPECT_GE(size.height, 1);
    EXPECT_LE(size.width, core::kMaxSurfaceSide);
    EXPECT_LE(size.height, core::kMaxSurfaceSide);
    EXPECT_LE(std::int64_t{size.width} * size.height, core::kMaxSurfacePixels);
    // The shape is kept to a pixel (measured along the longer side).
    if (width >= height) EXPECT_NEAR(static_cast<double>(size.width) * height / width, size.height, 1.0);
    else EXPECT_NEAR(static_cast<double>(size.height) * width / height, size.width, 1.0);
    EXPECT_NE(core::ReducedSurfaceNote(width, height, size).find("drawn at"), std::string::npos);
  }
  EXPECT_FALSE(core::BoundSurface(0, 100).Usable());
  EXPECT_FALSE(core::BoundSurface(100, -1).Usable());
}

TEST(TemporaryFiles, OnlyThoseOfEndedProcessesAreRemoved) {
  const testing::TempHome home;
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  const std::string dead = home.WriteFile("a.swf.vantrel-" + std::to_string(child) + "-Ab12Cd", "x");
  const std::string alive = home.WriteFile("b.swf.vantrel-" + std::to_string(::getpid()) + "-Ab12Cd", "x");
  const std::string user = home.WriteFile("c.vantrel-notes", "x");
  EXPECT_EQ(core::RemoveStaleTemporaries(home.Path()), 1);
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_TRUE(fs::exists(alive));
  EXPECT_TRUE(fs::exists(user));
  // The pattern names this process, so a later start can tell.
  EXPECT_NE(core::TemporaryPatternFor("/x/y.swf").find(".vantrel-" + std::to_string(::getpid()) + "-XXXXXX"),
            std::string::npos);
}

class ToolLimits : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kTool)) GTEST_SKIP() << "vantrel-tool is not built";
  }
  testing::TempHome home;
};

TEST_F(ToolLimits, HugeFramesRenderScaledDownQuicklyAndSmall) {
  const auto& files = Hostile();
  const std::string movie = home.WriteFile("huge.swf", files.at("frame-65535.swf"));
  const std::string out = home.Path() + "huge.png";
  const Measured run = RunMeasured({"render", movie, "-o", out});
  if (run.exitCode == 1 && !fs::exists(out)) GTEST_SKIP() << "this build renders nothing";
  ASSERT_EQ(run.exitCode, 0);
  EXPECT_LT(run.cpuSeconds, 1.0);
  EXPECT_LT(run.maxRssMb, 200);
  // The PNG's IHDR: a square within the limit.
  const std::string png = [&] {
    std::vector<std::uint8_t> bytes;
    core::ReadFileBytes(out, bytes);
    return std::string(bytes.begin(), bytes.end());
  }();
  ASSERT_GT(png.size(), 24u);
  const auto be32 = [&](std::size_t at) {
    return (static_cast<std::uint32_t>(static_cast<std::uint8_t>(png[at])) << 24) |
           (static_cast<std::uint8_t>(png[at + 1]) << 16) | (static_cast<std::uint8_t>(png[at + 2]) << 8) |
           static_cast<std::uint8_t>(png[at + 3]);
  };
  const core::SurfaceSize expected = core::BoundSurface(65535, 65535);
  EXPECT_EQ(be32(16), static_cast<std::uint32_t>(expected.width));
  EXPECT_EQ(be32(20), static_cast<std::uint32_t>(expected.height));
}

TEST_F(ToolLimits, FailuresSayWhyAndLeaveNothingBehind) {
  // A file that is no movie: refused before the destination folder is made.
  const std::string text = home.WriteFile("notes.swf", "not a movie at all");
  const std::string dest = home.Path() + "never/made/";
  testing::ProcessResult result = testing::RunProcess(kTool, {"extract", text, dest});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_FALSE(result.err.empty());
  EXPECT_FALSE(fs::exists(home.Path() + "never"));

  // Files that cannot be read: the reason (the player's text), not just the name.
  for (const char* verb : {"render", "trace"}) {
    std::vector<std::string> args = {verb, home.Path() + "missing.swf"};
    if (std::string(verb) == "render") args.insert(args.end(), {"-o", home.Path() + "x.png"});
    result = testing::RunProcess(kTool, args);
    EXPECT_EQ(result.exitCode, 1) << verb;
    EXPECT_NE(result.err.find("missing.swf: File Not Found"), std::string::npos) << verb << ": " << result.err;
  }

  // An image tag whose data cannot be decoded is reported as such, not as a write failure.
  const std::string movie = testing::SwfWriter(8)
                                .Tag(36, testing::Le16(1) + "\x05" + testing::Le16(50) + testing::Le16(50) + "not zlib")
                                .ShowFrame()
                                .End()
                                .Plain();
  result = testing::RunProcess(kTool, {"extract", home.WriteFile("bad.swf", movie), home.Path() + "res", "--png"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.err.find("could not be decoded"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("could not be written"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace vantrel
