// The unpack, pack and extract verbs of vantrel-tool, run as a user would run them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "core/options.h"
#include "core/text.h"
#include "support/image_check.h"
#include "support/pe_writer.h"
#include "support/swf_writer.h"
#include "support/temp_home.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

struct Result {
  int code = -1;
  std::string output;  // stdout and stderr together
};

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

Result Tool(const std::vector<std::string>& args) {
  std::string command = Quote(std::string(VANTREL_BUILD_DIR) + "/vantrel-tool");
  for (const std::string& arg : args) command += " " + Quote(arg);
  command += " 2>&1";
  Result result;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) result.output.append(buffer, got);
  const int status = ::pclose(pipe);
  result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string ReadAll(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!core::ReadFileBytes(path, bytes)) return "<missing>";
  return std::string(bytes.begin(), bytes.end());
}

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(std::string(VANTREL_BUILD_DIR) + "/vantrel-tool")) GTEST_SKIP() << "vantrel-tool is not built";
    movie = testing::SwfWriter(10).ShowFrame().End().Plain();
    stub = home.WriteFile("stub", testing::BuildPeImage(testing::BuildVersionInfo(testing::StubVersion("SAFlashPlayer.exe"))));
  }
  testing::TempHome home;
  std::string movie, stub;
};

TEST_F(ToolTest, PackThenUnpackGivesTheMovieBack) {
  const std::string moviePath = home.WriteFile("movie.swf", movie);
  Result r = Tool({"pack", moviePath, home.Path() + "game.exe", "--stub", stub});
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(ReadAll(home.Path() + "game.exe"), testing::AppendMovie(ReadAll(stub), movie));
  r = Tool({"unpack", home.Path() + "game.exe", home.Path() + "back.swf"});
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(ReadAll(home.Path() + "back.swf"), movie);

  // Without --stub the program's own stub "Media/Binary/projector" is used.
  ::setenv("VANTREL_APP_PATH", home.Path().c_str(), 1);  // TempHome restores it
  r = Tool({"pack", moviePath, home.Path() + "other.exe"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("--stub"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(home.Path() + "other.exe"));
  home.WriteFile("Media/Binary/projector", ReadAll(stub));
  r = Tool({"pack", moviePath, home.Path() + "other.exe"});
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(ReadAll(home.Path() + "other.exe"), ReadAll(home.Path() + "game.exe"));
}

TEST_F(ToolTest, UnpackRefusesWithTheReasonAndLeavesNoOutput) {
  const std::string notepad = home.WriteFile(
      "notepad.exe",
      testing::AppendMovie(testing::BuildPeImage(testing::BuildVersionInfo(testing::StubVersion("notepad.exe"))), movie));
  const std::string out = home.Path() + "out.swf";
  Result r = Tool({"unpack", notepad, out});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("Not a Generic Projector. Uncheck"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(out));

  r = Tool({"unpack", notepad, out, "--any-exe"});
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(ReadAll(out), movie);
  fs::remove(out);

  // The option in the user's options file switches the check off as well.
  const std::string other = home.WriteFile("other.exe", ReadAll(notepad));
  core::OptionsStore options(core::OptionsStore::DefaultFilePath());
  options.WriteBool("System", "GenericProjectors", false);
  EXPECT_EQ(Tool({"unpack", other, out}).code, 0);
  fs::remove(out);

  const std::string v100 = home.WriteFile("v100.exe", testing::AppendMovie(ReadAll(stub), testing::FakeMovie(64, 100)));
  r = Tool({"unpack", v100, out});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("Invalid Generic Projector"), std::string::npos) << r.output;

  const std::string bare = home.WriteFile("bare.exe", ReadAll(stub));
  r = Tool({"unpack", bare, out});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("Not a Flash Movie"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(Tool({"unpack", bare}).code, 2);
  EXPECT_EQ(Tool({"unpack", notepad, notepad, "--any-exe"}).code, 1);  // never over its source
  EXPECT_EQ(ReadAll(bare), ReadAll(stub));
}

TEST_F(ToolTest, ExtractPrintsTheSummaryAndCreatesTheFolder) {
  const testing::JpegParts jpeg = testing::EncodeJpeg(8, 8);
  const std::string withImage =
      testing::SwfWriter(10).Tag(21, testing::Le16(3) + jpeg.whole).Metadata("<rdf:RDF/>").ShowFrame().End().Plain();
  const std::string path = home.WriteFile("pics.swf", withImage);
  const std::string dest = home.Path() + "new/folder";
  Result r = Tool({"extract", path, dest});
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(r.output, "The following resources were extracted:\n\nJPEG Compressed Images: 1\n");
  // DefineBitsJPEG2 is written from the body's seventh byte: the id and four bytes go.
  EXPECT_EQ(ReadAll(dest + "/pics.swf.3.jpg"), jpeg.whole.substr(4));
  EXPECT_TRUE(fs::exists(dest + "/pics.swf.rdf.xml"));

  r = Tool({"extract", path, dest, "--event"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.output, "No resources were extracted\n");

  r = Tool({"extract", home.WriteFile("text.swf", "plain text, no movie"), dest});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("Not a Flash Movie"), std::string::npos) << r.output;
  EXPECT_EQ(ReadAll(path), withImage);
}

TEST_F(ToolTest, ProjectorsBuiltByUsAreFlashProjectorsForEveryVerb) {
  const std::string ownStub = std::string(VANTREL_BUILD_DIR) + "/Media/Binary/projector";
  if (!fs::exists(ownStub)) GTEST_SKIP() << "the projector stub is not built";
  // A compressed movie of two frames with a text that compresses well.
  testing::SwfWriter writer(10, 100, 80, 12, 2);
  writer.Metadata("<rdf:RDF>" + std::string(4000, 'a') + "</rdf:RDF>").ShowFrame().ShowFrame().End();
  const std::string moviePath = home.WriteFile("movies/movie.swf", writer.Compressed());
  const std::string game = home.Path() + "movies/game.exe";
  Result r = Tool({"pack", moviePath, game});
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("game.exe: projector"), std::string::npos) << r.output;

  // info: a projector, its file size is the file's, the compression the embedded
  // movie's (below 100%), never the player's size against the movie's.
  r = Tool({"info", game});
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("File Type:    Flash Projector (EXE)"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Movie Size:"), std::string::npos) << r.output;
  const std::size_t compression = r.output.find("Compression:");
  ASSERT_NE(compression, std::string::npos) << r.output;
  const double percent = std::atof(r.output.c_str() + compression + std::string("Compression:").size());
  EXPECT_GT(percent, 0.0) << r.output;
  EXPECT_LT(percent, 100.0) << r.output;

  // unpack without --any-exe, with the option "Skip Doubtful Projectors" on.
  r = Tool({"unpack", game, home.Path() + "back.swf"});
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(ReadAll(home.Path() + "back.swf"), ReadAll(moviePath));

  // thumbs makes its picture (and one for the movie), skipping nothing.
  r = Tool({"thumbs", home.Path() + "movies"});
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_TRUE(fs::exists(home.Path() + "movies/game.jpg")) << r.output;
  EXPECT_TRUE(fs::exists(home.Path() + "movies/movie.jpg")) << r.output;
  EXPECT_NE(r.output.find("2 found, 2 written, 0 failed in"), std::string::npos) << r.output;

  // The stub a development build makes carries no debug information: a projector is
  // not the size of a debugger's view of the whole program.
  char kind[256] = {};
  FILE* file = ::popen(("file -b " + Quote(ownStub)).c_str(), "r");
  ASSERT_NE(file, nullptr);
  const std::size_t got = std::fread(kind, 1, sizeof kind - 1, file);
  ::pclose(file);
  kind[got] = 0;
  if (std::string(kind).find("ELF") != std::string::npos)
    EXPECT_NE(std::string(kind).find(", stripped"), std::string::npos) << kind;
}

TEST_F(ToolTest, ThumbsReportsFilesThatAreNoMoviesAndWritesNoPictureForThem) {
  home.WriteFile("mixed/text.swf", "plain text, no movie");
  home.WriteFile("mixed/empty.swf", "");
  home.WriteFile("mixed/good.swf", movie);
  const Result r = Tool({"thumbs", home.Path() + "mixed"});
  EXPECT_EQ(r.code, 1) << r.output;
  EXPECT_TRUE(fs::exists(home.Path() + "mixed/good.jpg"));
  EXPECT_FALSE(fs::exists(home.Path() + "mixed/text.jpg"));
  EXPECT_FALSE(fs::exists(home.Path() + "mixed/empty.jpg"));
  EXPECT_NE(r.output.find("text.swf: Not a Flash Movie"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("empty.swf: File is Too Small to Be Valid"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("3 found, 1 written, 2 failed"), std::string::npos) << r.output;
}

TEST_F(ToolTest, TextsAreThePlayersAndReadAsPlainText) {
  // One empty file gets the player's text from every verb that reads movies.
  const std::string empty = home.WriteFile("empty.swf", "");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"info", empty}, {"render", empty, "-o", home.Path() + "out.png"},
        {"extract", empty, home.Path() + "dest"}, {"pack", empty, home.Path() + "p.exe"}}) {
    const Result r = Tool(args);
    EXPECT_EQ(r.code, 1) << args[0];
    EXPECT_NE(r.output.find("File is Too Small to Be Valid"), std::string::npos) << args[0] << ": " << r.output;
  }
  const Result missing = Tool({"info", home.Path() + "gone.swf"});
  EXPECT_NE(missing.output.find("File Not Found"), std::string::npos) << missing.output;

  // The doubtful-projector text names the option's place in plain characters.
  const std::string notepad = home.WriteFile(
      "notepad.exe",
      testing::AppendMovie(testing::BuildPeImage(testing::BuildVersionInfo(testing::StubVersion("notepad.exe"))), movie));
  Result r = Tool({"info", notepad});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("\"Tools > Options > Advanced > Skip Doubtful Projectors\""), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("&#"), std::string::npos) << r.output;

  // A render that cannot write names its target, not a temporary file.
  if (::geteuid() != 0) {
    const std::string locked = home.Path() + "locked/";
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    r = Tool({"render", home.WriteFile("good.swf", movie), "-o", locked + "out.png"});
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("Cannot create " + locked + "out.png: "), std::string::npos) << r.output;
  }

  // A video's line names its file as MoviePath, the same on every run.
  testing::FlvWriter flv;
  flv.Video(0, testing::H263VideoData(0, 32, 24));
  const std::string video = home.WriteFile("clip.flv", flv.Bytes());
  r = Tool({"info", "--json", video});
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("\"MoviePath\":\"" + video + "\""), std::string::npos) << r.output;
}

}  // namespace
}  // namespace vantrel
