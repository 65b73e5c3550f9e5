// The unpack, pack and extract verbs of vantrel-tool, run as a user would run them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
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
  // DefineBitsJPEG2 data goes out from the sixth byte of the tag on.
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

}  // namespace
}  // namespace vantrel
