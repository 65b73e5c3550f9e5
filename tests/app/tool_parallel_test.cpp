// vantrel-tool over many files on several workers: the same answers in the same order as
// on one, a bad file reported while the rest go on, one JSON object a line, and --out
// leaving the movies' folders alone.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_process.h"
#include "support/swf_movie_writer.h"
#include "support/temp_home.h"

namespace {

namespace fs = std::filesystem;
using vantrel::testing::ProcessResult;
using vantrel::testing::RunProcess;
using vantrel::testing::TempHome;

const std::string kTool = VANTREL_TOOL_PATH;

// A movie of its own: a rectangle of a colour made from n, and metadata naming it.
std::string Movie(int n) {
  namespace t = vantrel::testing;
  t::Bytes tags = t::SetBackgroundColor(255, 255, 255);
  const std::string rdf = "<rdf:RDF>movie " + std::to_string(n) + "</rdf:RDF>";
  t::Bytes metadata(rdf.begin(), rdf.end());
  metadata.push_back(0);
  t::PutBytes(tags, t::Tag(77, metadata));
  t::PutBytes(tags, t::DefineRectangle(1, 200, 200, 1200, 1000, static_cast<std::uint8_t>(n * 37),
                                       static_cast<std::uint8_t>(255 - n * 11), static_cast<std::uint8_t>(n * 73)));
  t::Place place;
  place.character = 1;
  t::PutBytes(tags, t::PlaceObject2(place));
  t::PutBytes(tags, t::ShowFrame());
  t::PutBytes(tags, t::End());
  const t::Bytes bytes = t::MakeMovie(tags, 80, 60, 1, 8, 12, n % 2 == 1);
  return std::string(bytes.begin(), bytes.end());
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every file under root, by relative path, with its bytes.
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = ReadAll(entry.path());
  return files;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

class ToolParallelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kTool)) GTEST_SKIP() << "vantrel-tool is not built";
    // Names whose order tells a walk of sorted paths from one of sorted folders
    // ("dir.swf" sorts before "dir/..."), compressed and plain movies, and a file that
    // is no movie in the middle.
    movies = home.Path() + "movies/";
    int n = 0;
    for (const std::string name : {"a.swf", "dir.swf", "dir/b.swf", "dir/c.swf", "dir/deeper/d.swf", "dir-x.swf",
                                    "e.swf", "f.swf", "g/h.swf", "g/i.swf", "j.swf", "k.swf"})
      home.WriteFile("movies/" + name, Movie(++n));
    home.WriteFile("movies/dir/broken.swf", "plain text, no movie");
    home.WriteFile("movies/notes.txt", "not listed");
  }

  TempHome home;
  std::string movies;
};

TEST_F(ToolParallelTest, InfoGivesTheSameLinesInTheSameOrderOnSeveralWorkers) {
  const ProcessResult one = RunProcess(kTool, {"info", "-r", "-j", "1", "--json", movies});
  const ProcessResult three = RunProcess(kTool, {"info", "-r", "-j3", "--json", movies});
  EXPECT_EQ(one.exitCode, 1) << one.err;
  EXPECT_EQ(three.exitCode, 1);
  EXPECT_EQ(three.out, one.out);
  EXPECT_EQ(three.err, one.err);

  // Thirteen files, the broken one with its error, in the order of their sorted paths.
  const std::vector<std::string> lines = Lines(one.out);
  ASSERT_EQ(lines.size(), 13u) << one.out;
  std::vector<std::string> paths;
  for (const std::string& line : lines) {
    const auto at = line.find("\"SourcePath\":\"") + 14;
    paths.push_back(line.substr(at, line.find('"', at) - at));
  }
  EXPECT_TRUE(std::is_sorted(paths.begin(), paths.end())) << one.out;
  EXPECT_EQ(paths[1], movies + "dir-x.swf");
  EXPECT_EQ(paths[2], movies + "dir.swf");
  EXPECT_EQ(paths[3], movies + "dir/b.swf");
  EXPECT_NE(lines[4].find("\"error\":\"Not a Flash Movie\""), std::string::npos) << lines[4];
  EXPECT_NE(lines.back().find("k.swf"), std::string::npos);

  // The text form: the broken file on stderr, every other file on stdout.
  const ProcessResult plain = RunProcess(kTool, {"info", "-r", "-j", "2", movies});
  EXPECT_EQ(plain.exitCode, 1);
  EXPECT_NE(plain.err.find("broken.swf: Not a Flash Movie"), std::string::npos) << plain.err;
  EXPECT_EQ(plain.out, RunProcess(kTool, {"info", "-r", "-j", "1", movies}).out);
  EXPECT_NE(plain.out.find(movies + "k.swf\n"), std::string::npos);

  EXPECT_EQ(RunProcess(kTool, {"info", "-j", "0", movies}).exitCode, 2);
  EXPECT_EQ(RunProcess(kTool, {"info", movies, "-j"}).exitCode, 2);
}

TEST_F(ToolParallelTest, JsonLinesIsOneJsonObjectALine) {
  const ProcessResult lines = RunProcess(kTool, {"info", "--json-lines", "-r", "-j", "2", movies});
  EXPECT_EQ(lines.exitCode, 1);
  // The same objects as --json, written as each file is read.
  EXPECT_EQ(lines.out, RunProcess(kTool, {"info", "--json", "-r", "-j", "1", movies}).out);
  ASSERT_EQ(Lines(lines.out).size(), 13u);
  if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "python3 is not installed to read the JSON";
  const std::string file = home.WriteFile("lines.json", lines.out);
  const ProcessResult check = RunProcess(
      "/usr/bin/python3",
      {"-c",
       "import json, sys\n"
       "lines = open(sys.argv[1], encoding='utf-8').read().split('\\n')\n"
       "assert lines[-1] == '', 'no line end at the end'\n"
       "for line in lines[:-1]:\n"
       "    value = json.loads(line)\n"
       "    assert isinstance(value, dict) and 'SourcePath' in value and 'error' in value, line\n"
       "print(len(lines) - 1)\n",
       file});
  EXPECT_EQ(check.exitCode, 0) << check.err;
  EXPECT_EQ(check.out, "13\n");
}

TEST_F(ToolParallelTest, ThumbsOnTwoWorkersMakeTheSamePicturesInTheSameOrder) {
  if (!fs::exists(fs::path(kTool).parent_path() / "vantrel-tool-engine")) GTEST_SKIP() << "no engine helper";
  const std::string one = home.Path() + "one", two = home.Path() + "two";
  const ProcessResult a = RunProcess(kTool, {"thumbs", movies, "-r", "-j", "1", "--out", one, "--info-xml"});
  const ProcessResult b = RunProcess(kTool, {"thumbs", movies, "-r", "-j", "2", "--out", two, "--info-xml"});
  // The broken movie is reported, the rest made, and the exit code says something failed.
  EXPECT_EQ(a.exitCode, 1) << a.err;
  EXPECT_EQ(b.exitCode, 1) << b.err;
  EXPECT_NE(b.err.find("broken.swf: Not a Flash Movie"), std::string::npos) << b.err;
  EXPECT_NE(b.err.find("13 found, 12 written, 1 failed"), std::string::npos) << b.err;
  EXPECT_EQ(Replace(b.out, two, one), a.out);
  EXPECT_EQ(Lines(a.out).size(), 12u) << a.out;
  const auto first = Tree(one), second = Tree(two);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first.size(), 13u);  // twelve pictures and "Flash Info.xml"
  // Each movie has its own picture: a shot given to the wrong file would show here.
  EXPECT_NE(first.at("a.jpg"), first.at("dir.jpg"));
  EXPECT_NE(first.at("dir/b.jpg"), first.at("dir/c.jpg"));
  // The picture's size and quality travel to the workers with each movie.
  const std::string three = home.Path() + "three", four = home.Path() + "four";
  std::vector<std::string> small = {"thumbs", movies, "-r", "--width", "64", "--height", "48", "--quality", "40", "--out"};
  std::vector<std::string> c = small, d = small;
  c.insert(c.end(), {three, "-j", "1"});
  d.insert(d.end(), {four, "-j", "2"});
  EXPECT_EQ(RunProcess(kTool, c).exitCode, 1);
  EXPECT_EQ(RunProcess(kTool, d).exitCode, 1);
  const auto third = Tree(three);
  EXPECT_EQ(third, Tree(four));
  EXPECT_EQ(third.size(), 12u);
  EXPECT_NE(third.at("a.jpg"), first.at("a.jpg"));
}

TEST_F(ToolParallelTest, OutLeavesTheMoviesFolderAsItWas) {
  if (!fs::exists(fs::path(kTool).parent_path() / "vantrel-tool-engine")) GTEST_SKIP() << "no engine helper";
  fs::remove(movies + "dir/broken.swf");
  const auto snapshot = [&] {
    std::map<std::string, std::pair<std::string, long long>> seen;
    for (const auto& entry : fs::recursive_directory_iterator(movies)) {
      struct stat info {};
      ::stat(entry.path().c_str(), &info);
      seen[entry.path().string()] = {entry.is_regular_file() ? ReadAll(entry.path()) : "",
                                     static_cast<long long>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    }
    return seen;
  };
  // Read-only, as on a mounted archive (root writes anyway: the snapshot says the rest).
  std::vector<fs::path> folders = {movies};
  for (const auto& entry : fs::recursive_directory_iterator(movies))
    if (entry.is_directory()) folders.push_back(entry.path());
  for (const fs::path& folder : folders) fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);
  const auto before = snapshot();
  const std::string out = home.Path() + "thumbs/";
  const ProcessResult r = RunProcess(kTool, {"thumbs", movies, "-r", "--out", out, "--info-xml", "-j", "2"});
  const auto after = snapshot();
  for (const fs::path& folder : folders) fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(after, before);
  // The pictures mirror the folders, "Flash Info.xml" names every movie, and nothing
  // half-written is left.
  const auto made = Tree(out);
  for (const std::string name : {"a.jpg", "dir.jpg", "dir/b.jpg", "dir/deeper/d.jpg", "g/i.jpg", "k.jpg"})
    EXPECT_EQ(made.count(name), 1u) << name;
  EXPECT_EQ(made.size(), 13u);
  for (const auto& [name, bytes] : made) {
    EXPECT_EQ(name.find(".vantrel-"), std::string::npos) << name;
    if (name.ends_with(".jpg")) EXPECT_EQ(bytes.substr(0, 2), "\xFF\xD8") << name;
  }
  EXPECT_NE(made.at("Flash Info.xml").find("path=\"dir/deeper/\""), std::string::npos);

  // A single movie goes to the folder itself.
  const ProcessResult single = RunProcess(kTool, {"thumbs", movies + "g/h.swf", "--out", home.Path() + "single"});
  EXPECT_EQ(single.exitCode, 0) << single.err;
  EXPECT_TRUE(fs::exists(home.Path() + "single/h.jpg"));
}

TEST_F(ToolParallelTest, ExtractOverFoldersOnSeveralWorkers) {
  const std::string one = home.Path() + "one", two = home.Path() + "two";
  const ProcessResult a = RunProcess(kTool, {"extract", movies, one, "-r", "-j", "1"});
  const ProcessResult b = RunProcess(kTool, {"extract", movies, two, "-r", "-j", "3"});
  EXPECT_EQ(a.exitCode, 1) << a.err;
  EXPECT_EQ(b.exitCode, 1);
  EXPECT_EQ(b.out, a.out);
  EXPECT_EQ(b.err, a.err);
  EXPECT_NE(b.err.find("broken.swf: Not a Flash Movie"), std::string::npos) << b.err;
  const auto first = Tree(one);
  EXPECT_EQ(first, Tree(two));
  // Every movie's metadata in the folder that mirrors the movie's, after the broken one too.
  EXPECT_EQ(first.size(), 12u);
  EXPECT_EQ(first.at("dir/deeper/d.swf.rdf.xml").find("<rdf:RDF>movie 5</rdf:RDF>"), 0u);
  EXPECT_EQ(first.at("k.swf.rdf.xml").find("<rdf:RDF>movie 12</rdf:RDF>"), 0u);
  EXPECT_NE(a.out.find(movies + "k.swf\n  No resources were extracted\n"), std::string::npos) << a.out;

  // Several movies named one by one go to DESTDIR itself.
  const ProcessResult named =
      RunProcess(kTool, {"extract", movies + "a.swf", movies + "g/i.swf", home.Path() + "named", "-j", "2"});
  EXPECT_EQ(named.exitCode, 0) << named.err;
  EXPECT_EQ(Tree(home.Path() + "named").size(), 2u);
  EXPECT_TRUE(fs::exists(home.Path() + "named/i.swf.rdf.xml"));
}

}  // namespace
