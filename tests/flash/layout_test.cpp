// The engine's rooms and which may use which, read from the include lines of src/flash.
// Bytes are read in swf/, turned into drawable characters in character/ (which draw
// with raster/'s rasterizer), and the stage is drawn in render/; display/ runs them and
// knows scripting only through its script host, which avm1/ and avm2/ implement side by
// side, and the control on top starts. A new include that breaks these lines fails
// here, with the file and the line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Include {
  std::string file;    // relative to src/flash
  std::string folder;  // the file's room ("" for a loose file)
  std::string target;  // the included room
  std::string header;  // the included file, relative to src/flash
  std::string line;
};

std::string RoomOf(const std::string& relative) {
  const auto slash = relative.find('/');
  return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

std::vector<Include> EngineIncludes(const fs::path& engine) {
  static const std::regex kInclude(R"re(^\s*#\s*include\s+"flash/(([a-z0-9_]+)/[^"]*)")re");
  std::vector<Include> includes;
  for (const auto& entry : fs::recursive_directory_iterator(engine)) {
    if (!entry.is_regular_file()) continue;
    const std::string extension = entry.path().extension().string();
    if (extension != ".h" && extension != ".cpp") continue;
    const std::string relative = fs::relative(entry.path(), engine).generic_string();
    std::ifstream in(entry.path());
    std::string line;
    std::smatch match;
    while (std::getline(in, line)) {
      if (std::regex_search(line, match, kInclude)) includes.push_back({relative, RoomOf(relative), match[2], match[1], line});
    }
  }
  std::sort(includes.begin(), includes.end(),
            [](const Include& a, const Include& b) { return std::tie(a.file, a.line) < std::tie(b.file, b.line); });
  return includes;
}

// What each rule forbids: an include from a room into another, and why.
struct Rule {
  std::set<std::string> from;  // empty: every room
  std::set<std::string> to;
  const char* why;
};

const std::vector<Rule>& Rules() {
  static const std::vector<Rule> rules = {
      {{"swf", "raster", "character", "render", "display", "script", "audio", "video", "pixel_bender"},
       {"avm1", "avm2"},
       "the engine knows the script machines only through display's script host; the control on top picks one"},
      {{"avm1"}, {"avm2"}, "the two script machines stand side by side"},
      {{"avm2"}, {"avm1"}, "the two script machines stand side by side"},
      {{"swf"},
       {"raster", "character", "render", "display", "script", "avm1", "avm2", "audio", "video", "pixel_bender", "control"},
       "swf/ reads bytes into the movie model and uses nothing of the engine above it"},
      {{"character"}, {"display", "control", "avm1", "avm2"}, "characters are drawn, not run"},
      {{"raster"},
       {"character", "render", "display", "script", "avm1", "avm2", "audio", "video", "pixel_bender", "control"},
       "the rasterizer draws what it is handed: it knows no characters, display objects or scripts"},
      {{"render"}, {"control", "avm1", "avm2"}, "drawing does not reach up to the control or the script machines"},
      {{"swf", "raster", "character", "render", "display", "script", "avm1", "avm2", "audio", "video", "pixel_bender"},
       {"control"},
       "the control is the facade on top; nothing inside the engine uses it"},
  };
  return rules;
}

// Edges still waiting for their cut, each "file -> room". The test fails when one of them
// is gone too, so that the list only ever shrinks.
const std::set<std::string>& KnownExceptions() {
  static const std::set<std::string> known = {
#include "layout_exceptions.inc"
  };
  return known;
}

fs::path EngineFolder() { return fs::path(VANTREL_SOURCE_DIR) / "src" / "flash"; }

// A breach of the rooms' rules: its key (as layout_exceptions.inc spells it) and what to
// tell the developer.
struct Breach {
  std::string key;
  std::string message;
};

std::vector<Breach> ForbiddenIncludes(const std::vector<Include>& includes) {
  std::vector<Breach> breaches;
  for (const Include& include : includes) {
    if (include.folder == include.target) continue;
    for (const Rule& rule : Rules()) {
      if (rule.from.count(include.folder) && rule.to.count(include.target))
        breaches.push_back({include.file + " -> " + include.target, include.file + ": " + include.line + "\n  " + rule.why});
    }
  }
  return breaches;
}

// Bytes enter the engine in swf/ (and the definition parsers of character/): everything
// else works on the model.
std::vector<Breach> ByteReaderUsers(const std::vector<Include>& includes) {
  std::vector<Breach> breaches;
  for (const Include& include : includes) {
    if (include.header != "swf/stream.h" || include.folder == "swf" || include.folder == "character") continue;
    breaches.push_back({include.file + " -> " + include.header, include.file + " reads movie bytes itself: " + include.line});
  }
  return breaches;
}

std::vector<Breach> RoomsIncludingEachOther(const std::vector<Include>& includes) {
  std::map<std::pair<std::string, std::string>, std::string> firstEdge;
  for (const Include& include : includes) {
    if (include.folder.empty() || include.folder == include.target) continue;
    firstEdge.emplace(std::make_pair(include.folder, include.target), include.file + ": " + include.line);
  }
  std::vector<Breach> breaches;
  for (const auto& [edge, where] : firstEdge) {
    if (edge.first > edge.second) continue;
    const auto back = firstEdge.find({edge.second, edge.first});
    if (back == firstEdge.end()) continue;
    breaches.push_back({edge.first + " <-> " + edge.second,
                        edge.first + " and " + edge.second + " include each other:\n  " + where + "\n  " + back->second});
  }
  return breaches;
}

void ExpectNone(const std::vector<Breach>& breaches) {
  for (const Breach& breach : breaches) {
    if (!KnownExceptions().count(breach.key)) ADD_FAILURE() << breach.message;
  }
}

TEST(EngineLayout, NoRoomIncludesWhatItsRulesForbid) { ExpectNone(ForbiddenIncludes(EngineIncludes(EngineFolder()))); }

TEST(EngineLayout, OnlyTheParsersUseTheByteReader) { ExpectNone(ByteReaderUsers(EngineIncludes(EngineFolder()))); }

TEST(EngineLayout, NoTwoRoomsIncludeEachOther) { ExpectNone(RoomsIncludingEachOther(EngineIncludes(EngineFolder()))); }

TEST(EngineLayout, TheListOfExceptionsOnlyShrinks) {
  const auto includes = EngineIncludes(EngineFolder());
  std::set<std::string> present;
  for (const auto& find : {ForbiddenIncludes, ByteReaderUsers, RoomsIncludingEachOther}) {
    for (const Breach& breach : find(includes)) present.insert(breach.key);
  }
  for (const std::string& key : KnownExceptions()) {
    EXPECT_TRUE(present.count(key)) << key << " no longer happens: take it off layout_exceptions.inc";
  }
}

TEST(EngineLayout, EveryFileHasARoom) {
  for (const auto& entry : fs::directory_iterator(EngineFolder())) {
    if (!entry.is_regular_file()) continue;
    const std::string extension = entry.path().extension().string();
    EXPECT_TRUE(extension != ".h" && extension != ".cpp")
        << entry.path().filename() << " lies loose at the top of src/flash: it belongs in one of the rooms";
  }
}

}  // namespace
