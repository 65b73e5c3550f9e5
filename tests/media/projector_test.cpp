#include "media/projector.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "core/options.h"
#include "core/text.h"
#include "media/decompress.h"
#include "media/file_versioning.h"
#include "media/identify.h"
#include "support/pe_writer.h"
#include "support/swf_writer.h"
#include "support/temp_home.h"

namespace vantrel::media {
namespace {

namespace fs = std::filesystem;
using testing::AppendMovie;
using testing::BuildPeImage;
using testing::BuildVersionInfo;
using testing::FakeMovie;
using testing::StubVersion;

std::string ReadAll(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!core::ReadFileBytes(path, bytes)) return "<unreadable>";
  return std::string(bytes.begin(), bytes.end());
}

std::string Stub(const std::string& originalName = "SAFlashPlayer.exe") {
  return BuildPeImage(BuildVersionInfo(StubVersion(originalName)));
}

class ProjectorTest : public ::testing::Test {
 protected:
  std::string Extract(const std::string& exe, bool skipDoubtful = true) {
    ExtractRequest request;
    request.target = home.Path() + "cache/" + fs::path(exe).filename().string() + ".swf";
    request.skipDoubtful = skipDoubtful;
    return ExtractProjectorMovie(exe, request, lastError, nullptr);
  }
  void SetUp() override { fs::create_directories(home.Path() + "cache"); }

  testing::TempHome home;
  std::string lastError;
};

TEST_F(ProjectorTest, MovieIsTakenFromTheTrailerLayout) {
  const std::string movie = FakeMovie(1000);
  const std::string exe = home.WriteFile("game.exe", AppendMovie(Stub(), movie));
  const std::string before = ReadAll(exe);
  // The marker sits at N - 8 and the movie starts at N - 1008.
  ASSERT_EQ(before.substr(before.size() - 8), std::string("\x56\x34\x12\xFA\xE8\x03\x00\x00", 8));

  const std::string target = Extract(exe);
  ASSERT_FALSE(target.empty()) << lastError;
  EXPECT_EQ(ReadAll(target), before.substr(before.size() - 1008, 1000));
  EXPECT_EQ(ReadAll(exe), before);  // the source is untouched

  // A second extraction reuses the cached movie without reading the executable.
  fs::remove(exe);
  EXPECT_EQ(Extract(exe), target);
  EXPECT_EQ(lastError, "File Already Cached");
}

TEST_F(ProjectorTest, GenericTestAndTheSkipOption) {
  const std::string movie = FakeMovie(300);
  const std::string lower = home.WriteFile("lower.exe", AppendMovie(Stub("saflashplayer.EXE"), movie));
  const std::string swflsh = home.WriteFile("swflsh.exe", AppendMovie(Stub("SwFlsh32.exe"), movie));
  const std::string other = home.WriteFile("other.exe", AppendMovie(Stub("notepad.exe"), movie));
  EXPECT_TRUE(IsGenericProjector(lower, true));
  EXPECT_FALSE(IsGenericProjector(swflsh, true));
  EXPECT_TRUE(IsGenericProjector(swflsh, false));
  EXPECT_FALSE(IsGenericProjector(other, false));

  EXPECT_EQ(Extract(other), "");
  EXPECT_EQ(lastError,
            "Not a Generic Projector. Uncheck \"Tools &#62; Options &#62; Advanced &#62; Skip Doubtful "
            "Projectors\" to try to open it anyways");
  EXPECT_FALSE(fs::exists(home.Path() + "cache/other.exe.swf"));
  EXPECT_EQ(ReadAll(Extract(other, false)), movie);
  EXPECT_EQ(ReadAll(Extract(swflsh)), movie);
}

TEST_F(ProjectorTest, EmbeddedDataMustBeAMovieOfVersion1To99) {
  for (const auto& [name, movie] : std::vector<std::pair<std::string, std::string>>{
           {"v0.exe", FakeMovie(500, 0)},
           {"v100.exe", FakeMovie(500, 100)},
           {"text.exe", "Just some text that is no movie at all"},
           {"empty.exe", ""}}) {
    const std::string exe = home.WriteFile(name, AppendMovie(Stub(), movie));
    EXPECT_EQ(Extract(exe), "") << name;
    EXPECT_EQ(lastError, "Invalid Generic Projector") << name;
    EXPECT_FALSE(fs::exists(home.Path() + "cache/" + name + ".swf")) << name;
  }
  EXPECT_FALSE(Extract(home.WriteFile("v1.exe", AppendMovie(Stub(), FakeMovie(500, 1, 'C')))).empty());
  EXPECT_FALSE(Extract(home.WriteFile("v99.exe", AppendMovie(Stub(), FakeMovie(500, 99)))).empty());
}

TEST_F(ProjectorTest, BrokenAndTruncatedProjectors) {
  // A length that reaches before the start of the file.
  std::string exe = AppendMovie(Stub(), FakeMovie(400));
  exe[exe.size() - 2] = 0x7F;
  EXPECT_EQ(Extract(home.WriteFile("long.exe", exe)), "");
  EXPECT_EQ(lastError, "Invalid Generic Projector");

  // Cut in the middle of the movie: no marker, so an empty movie (identification then
  // refuses it as not a movie).
  const std::string cut = AppendMovie(Stub(), FakeMovie(400)).substr(0, Stub().size() + 100);
  const std::string target = Extract(home.WriteFile("cut.exe", cut));
  ASSERT_FALSE(target.empty());
  EXPECT_EQ(fs::file_size(target), 0u);

  // Shorter than a trailer, and missing altogether.
  EXPECT_EQ(Extract(home.WriteFile("tiny.exe", "MZ"), false), "");
  EXPECT_NE(lastError.find("too short"), std::string::npos) << lastError;
  EXPECT_EQ(Extract(home.Path() + "nothing.exe", false), "");
  EXPECT_NE(lastError.find("nothing.exe"), std::string::npos) << lastError;
}

TEST_F(ProjectorTest, ReplacedExecutableIsNotAnsweredFromTheCache) {
  // Without a marker the cache gets an empty movie, reused while the file stays as it is.
  const std::string exe = home.WriteFile("swap.exe", AppendMovie(Stub(), FakeMovie(400)).substr(0, Stub().size() + 50));
  const std::string target = Extract(exe);
  ASSERT_FALSE(target.empty());
  EXPECT_EQ(fs::file_size(target), 0u);
  EXPECT_EQ(Extract(exe), target);
  EXPECT_EQ(lastError, "File Already Cached");

  // A real projector put in its place, dated before the cached copy: taken out afresh.
  const std::string movie = FakeMovie(600);
  home.WriteFile("swap.exe", AppendMovie(Stub(), movie));
  const struct timespec old[2] = {{1000000, 0}, {1000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, exe.c_str(), old, 0), 0);
  lastError.clear();
  EXPECT_EQ(Extract(exe), target);
  EXPECT_NE(lastError, "File Already Cached");
  EXPECT_EQ(ReadAll(target), movie);
}

TEST_F(ProjectorTest, BuildThenExtractGivesTheMovieBack) {
  const std::string movie = FakeMovie(1000);
  const std::string moviePath = home.WriteFile("movie.swf", movie);
  const std::string stub = Stub();
  const std::string stubPath = home.WriteFile("projector", stub);
  const std::string target = home.Path() + "built.exe";
  ASSERT_EQ(BuildProjector(target, moviePath, stubPath, nullptr), "");
  EXPECT_EQ(ReadAll(target), stub + movie + std::string("\x56\x34\x12\xFA\xE8\x03\x00\x00", 8));
  EXPECT_EQ(ReadAll(Extract(target)), movie);

  // A stub that carries a movie gives only its part before that movie.
  const std::string carrying = home.WriteFile("carrying.dll", AppendMovie(stub, FakeMovie(777)));
  ASSERT_EQ(BuildProjector(home.Path() + "again.exe", moviePath, carrying, nullptr), "");
  EXPECT_EQ(ReadAll(home.Path() + "again.exe"), ReadAll(target));
}

TEST_F(ProjectorTest, FailedBuildLeavesTargetAlone) {
  const std::string moviePath = home.WriteFile("movie.swf", FakeMovie(100));
  const std::string target = home.WriteFile("keep.exe", "old contents");
  EXPECT_NE(BuildProjector(target, moviePath, home.Path() + "no-stub", nullptr), "");
  EXPECT_NE(BuildProjector(target, home.Path() + "no-movie.swf", home.WriteFile("stub", Stub()), nullptr), "");
  EXPECT_EQ(ReadAll(target), "old contents");
  std::string broken = AppendMovie(Stub(), FakeMovie(50));
  broken[broken.size() - 1] = 0x40;  // its movie length runs past the start
  EXPECT_NE(BuildProjector(target, moviePath, home.WriteFile("broken", broken), nullptr), "");
  EXPECT_EQ(ReadAll(target), "old contents");
  EXPECT_EQ(fs::directory_iterator(home.Path()) != fs::directory_iterator(), true);
  for (const auto& entry : fs::directory_iterator(home.Path()))
    EXPECT_EQ(entry.path().filename().string().find(".vantrel-"), std::string::npos) << entry.path();
}

TEST_F(ProjectorTest, ExtractEXEUsesTheCacheNameAndTheOption) {
  MediaContext context;
  context.CachePath = home.Path() + "cache/";
  core::OptionsStore options(home.Path() + "options.conf");
  context.Options = &options;
  const std::string exe = home.WriteFile("other.exe", AppendMovie(Stub("notepad.exe"), FakeMovie(64)));
  EXPECT_EQ(ExtractEXE(context, exe), "");  // the option is on by default
  options.WriteBool("System", "GenericProjectors", false);
  EXPECT_EQ(ExtractEXE(context, exe), CachePathFor(context.CachePath, exe, ".swf", true, false));
}

// Projectors made by our own packing are ELF programs without a version resource: they
// open like generic projectors while doubtful Windows ones are still refused, and other
// programs stay "Not a Flash Movie".
TEST_F(ProjectorTest, OurOwnLinuxProjectorsIdentifyAsProjectors) {
  const std::string elfStub = std::string("\x7F" "ELF\x02\x01\x01", 7) + std::string(200, '\0');
  const std::string movie = testing::SwfWriter(8, 320, 240, 12, 1).ShowFrame().End().Plain();
  const std::string own = home.WriteFile("game", AppendMovie(elfStub, movie));
  const std::string program = home.WriteFile("program", elfStub);
  const std::string windows = home.WriteFile("other.exe", AppendMovie(Stub("notepad.exe"), movie));
  EXPECT_TRUE(IsOwnProjector(own));
  EXPECT_FALSE(IsOwnProjector(program));
  EXPECT_FALSE(IsOwnProjector(windows));

  MediaContext context;
  context.CachePath = home.Path() + "cache/";
  core::OptionsStore options(home.Path() + "options.conf");  // "Skip Doubtful Projectors" on
  context.Options = &options;
  context.ExtractProjector = ExtractEXE;
  MediaRecord record;
  ASSERT_EQ(IdentifyMedia(context, own, record, false), "") << context.LastError;
  EXPECT_TRUE(record.IsProjector);
  EXPECT_EQ(record.Width, 320);
  EXPECT_EQ(record.SourcePath, own);
  EXPECT_EQ(ReadAll(record.MoviePath), movie);

  EXPECT_EQ(IdentifyMedia(context, program, record, false), "Not a Flash Movie");
  EXPECT_EQ(IdentifyMedia(context, windows, record, false), kNotGenericProjector);
  // A damaged appended movie is refused as any projector's would be.
  const std::string damaged = home.WriteFile("damaged", AppendMovie(elfStub, "XWS" + movie.substr(3)));
  EXPECT_EQ(IdentifyMedia(context, damaged, record, false), kInvalidGenericProjector);
}

TEST(ConvertMedia, ProposesTheMoviesOwnName) {
  // Without its extension: the kind chosen in the dialog adds the right one.
  EXPECT_EQ(ConvertDefaultName("/home/u/Movies/Orbits.swf", ""), "/home/u/Movies/Orbits");
  EXPECT_EQ(ConvertDefaultName("/home/u/Games/space.game.exe", "/home/u/Browse/"), "/home/u/Browse/space.game");
  EXPECT_EQ(ConvertDefaultName("/m/.swf", ""), "/m/.swf");
  EXPECT_EQ(ConvertDefaultName("clip", ""), "clip");
  EXPECT_EQ(ConvertDefaultName("", "/m/"), "");
}

TEST(ConvertMedia, ChoiceRules) {
  EXPECT_EQ(ConvertSetupFor(true).filter, "Macromedia Flash (SWF)|*.swf|Flash Projector (EXE)|*.exe");
  EXPECT_EQ(ConvertSetupFor(true).titleDefault, "Convert EXE to SWF");
  EXPECT_EQ(ConvertSetupFor(false).filter, "Flash Projector (EXE)|*.exe|Macromedia Flash (SWF)|*.swf");
  EXPECT_EQ(ConvertSetupFor(false).titleKey, "Player/mnuConvert");

  ConvertPlan plan = PlanConversion(true, 1, "/out/game");
  EXPECT_EQ(plan.action, ConvertAction::CopyMovie);
  EXPECT_EQ(plan.target, "/out/game.swf");
  plan = PlanConversion(true, 2, "/out/game");
  EXPECT_EQ(plan.action, ConvertAction::CopySource);
  EXPECT_EQ(plan.target, "/out/game.exe");
  plan = PlanConversion(false, 1, "/out/v1.2/intro");
  EXPECT_EQ(plan.action, ConvertAction::BuildProjector);
  EXPECT_EQ(plan.target, "/out/v1.2/intro.exe");
  plan = PlanConversion(false, 2, "/out/intro.SWF");
  EXPECT_EQ(plan.action, ConvertAction::CopySource);
  EXPECT_EQ(plan.target, "/out/intro.SWF");
}

TEST_F(ProjectorTest, ConversionWritesWhatThePlanSays) {
  MediaContext context;
  MediaRecord record;
  record.SourcePath = home.WriteFile("game.exe", AppendMovie(Stub(), FakeMovie(120)));
  record.MoviePath = home.WriteFile("cache/game.swf", FakeMovie(120));
  record.IsProjector = true;
  const std::string stub = home.WriteFile("projector", Stub());
  ASSERT_EQ(RunConversion(context, PlanConversion(true, 1, home.Path() + "movie"), record, stub), "");
  EXPECT_EQ(ReadAll(home.Path() + "movie.swf"), FakeMovie(120));
  ASSERT_EQ(RunConversion(context, PlanConversion(true, 2, home.Path() + "copy"), record, stub), "");
  EXPECT_EQ(ReadAll(home.Path() + "copy.exe"), ReadAll(record.SourcePath));
  record.IsProjector = false;
  ASSERT_EQ(RunConversion(context, PlanConversion(false, 1, home.Path() + "built"), record, stub), "");
  EXPECT_EQ(ReadAll(home.Path() + "built.exe"), ReadAll(record.SourcePath));
}

// The fixtures of the corpus and the outcome their README states.
struct CorpusCase {
  const char* file;
  bool strict, notStrict;
  long optionOff, optionOn;  // movie offset; -1 refused (Invalid / Not Generic); -2 empty movie
  std::uint32_t length;
};

TEST(ProjectorCorpus, EveryFixtureGivesItsStatedResult) {
  const std::string dir = testing::CorpusDir();
  if (dir.empty() || !fs::exists(dir + "projectors")) GTEST_SKIP() << "corpus not found beside the checkout";
  const CorpusCase cases[] = {
      {"proj_saflashplayer_fws.exe", true, true, 15872, 15872, 1512},
      {"proj_saflashplayer_cws.exe", true, true, 15872, 15872, 489},
      {"proj_saflashplayer_case_cws.exe", true, true, 15872, 15872, 489},
      {"proj_swflsh32_fws.exe", false, true, 15872, 15872, 1512},
      {"proj_notepad_cws.exe", false, false, 15872, -1, 489},
      {"proj_no_version_fws.exe", false, false, 14848, -1, 1512},
      {"proj_no_internalname_cws.exe", false, false, 15872, -1, 489},
      {"proj_lang0407_cp04E4_fws.exe", true, true, 15872, 15872, 1512},
      {"proj_bad_signature.exe", true, true, -1, -1, 0},
      {"proj_version0.exe", true, true, -1, -1, 0},
      {"proj_version100.exe", true, true, -1, -1, 0},
      {"proj_length_into_stub.exe", true, true, -1, -1, 0},
      {"proj_length_zero.exe", true, true, -1, -1, 0},
      {"stub_saflashplayer.exe", true, true, -2, -2, 0},
      {"stub_carrying_movie.dll", true, true, 15872, 15872, 489},
  };
  const std::string visual = dir + "visual/";
  for (const CorpusCase& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string exe = dir + "projectors/" + c.file;
    EXPECT_EQ(IsGenericProjector(exe, true), c.strict);
    EXPECT_EQ(IsGenericProjector(exe, false), c.notStrict);
    const std::string whole = ReadAll(exe);
    for (const bool optionOn : {false, true}) {
      const testing::TempHome home;
      ExtractRequest request{home.Path() + "movie.swf", optionOn};
      std::string lastError;
      const std::string target = ExtractProjectorMovie(exe, request, lastError, nullptr);
      const long expected = optionOn ? c.optionOn : c.optionOff;
      if (expected == -1) {
        EXPECT_EQ(target, "");
        EXPECT_TRUE(lastError == "Invalid Generic Projector" || lastError == std::string(kNotGenericProjector))
            << lastError;
        EXPECT_EQ(lastError == "Invalid Generic Projector", c.notStrict);
        EXPECT_FALSE(fs::exists(request.target));
      } else if (expected == -2) {
        ASSERT_EQ(target, request.target);
        EXPECT_EQ(fs::file_size(target), 0u);
      } else {
        ASSERT_EQ(target, request.target) << lastError;
        EXPECT_EQ(ReadAll(target), whole.substr(static_cast<std::size_t>(expected), c.length));
      }
    }
  }

  // Building from the corpus movie with either stub reproduces the fixture exactly.
  const testing::TempHome home;
  for (const char* stub : {"stub_carrying_movie.dll", "stub_saflashplayer.exe"}) {
    const std::string target = home.Path() + "built.exe";
    ASSERT_EQ(BuildProjector(target, visual + "scale_rotation_cache/test.swf", dir + "projectors/" + stub, nullptr), "");
    EXPECT_EQ(ReadAll(target), ReadAll(dir + "projectors/proj_saflashplayer_fws.exe")) << stub;
  }
}

}  // namespace
}  // namespace vantrel::media
