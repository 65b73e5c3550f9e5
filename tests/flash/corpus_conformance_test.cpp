// Conformance over the shared corpus: every ActionScript 1/2 test movie with an expected
// image is rendered after its frames and compared with the test's tolerances; every one
// with an expected trace output is run and its output compared. Movies run the way their
// expectations were recorded: one frame, then the next batch of the test's input.json,
// then the images due at that frame; fscommand("quit") ends the run. Tests whose
// expected output is empty assert nothing about traces and are not counted. Each test
// fails only when a movie on the committed list of known passes no longer passes; the
// passes of this run are written into the build folder for updating the list.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "core/text.h"
#include "corpus_toml.h"
#include "flash/control/flash_control.h"
#include "flash/control/input_script.h"
#include "flash/control/socket_script.h"
#include "flash/avm1/builtins/system_hooks.h"
#include "flash/character/definition.h"
#include "flash/swf/movie_loader.h"
#include "support/temp_home.h"

namespace vantrel::flash {
namespace {

namespace fs = std::filesystem;

struct CorpusCase {
  std::string name;  // relative to the corpus, such as "avm1/color"
  fs::path folder;
  CorpusTest toml;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// The corpus's expectations were recorded on a clock in a +05:45 time zone (dates print
// as GMT+0545); the movies run in that zone here too.
[[maybe_unused]] const bool kRecordedTimeZone = [] {
  setenv("TZ", "<+0545>-5:45", 1);
  tzset();
  return true;
}();

std::vector<CorpusCase> FindCases(const std::string& corpus,
                                  std::initializer_list<const char*> areas = {"avm1", "visual", "timeline", "text", "fonts",
                                                                              "swf"}) {
  std::vector<CorpusCase> cases;
  for (const char* area : areas) {
    const fs::path root = fs::path(corpus) / area;
    std::error_code ec;
    if (!fs::is_directory(root, ec)) continue;
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (ec) break;
      if (it.depth() > 4) it.disable_recursion_pending();
      const fs::path folder = it->path();
      if (!it->is_directory() || !fs::exists(folder / "test.swf") || !fs::exists(folder / "test.toml")) continue;
      CorpusTest toml = ParseCorpusToml(ReadAll(folder / "test.toml"));
      if (toml.ignore) continue;
      cases.push_back({fs::relative(folder, corpus).generic_string(), folder, std::move(toml)});
    }
  }
  std::sort(cases.begin(), cases.end(), [](const CorpusCase& a, const CorpusCase& b) { return a.name < b.name; });
  return cases;
}

std::set<std::string> ReadList(const std::string& path) {
  std::set<std::string> names;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] != '#') names.insert(line);
  }
  return names;
}

void WriteList(const std::string& path, const std::vector<std::string>& names) {
  std::ofstream out(path);
  for (const std::string& name : names) out << name << "\n";
}

bool IsActionScript3(const CorpusCase& test) {
  std::vector<std::uint8_t> bytes;
  if (!core::ReadFileBytes((test.folder / "test.swf").string(), bytes)) return true;
  const auto movie = LoadMovieFromBytes(bytes, nullptr);
  return !movie || movie->actionScript3;
}

// Pixels whose largest channel difference is above tolerance.
long Outliers(const QImage& actual, const QImage& expected, int tolerance) {
  long outliers = 0;
  for (int y = 0; y < expected.height(); ++y) {
    const auto* a = reinterpret_cast<const QRgb*>(actual.constScanLine(y));
    const auto* e = reinterpret_cast<const QRgb*>(expected.constScanLine(y));
    for (int x = 0; x < expected.width(); ++x) {
      const int d = std::max({std::abs(qRed(a[x]) - qRed(e[x])), std::abs(qGreen(a[x]) - qGreen(e[x])),
                              std::abs(qBlue(a[x]) - qBlue(e[x])), std::abs(qAlpha(a[x]) - qAlpha(e[x]))});
      if (d > tolerance) ++outliers;
    }
  }
  return outliers;
}

// The test's recorded input, when it has an input.json; false when it has one that
// cannot be read.
bool ReadInput(const CorpusCase& test, InputScript& input, bool& hasInput, std::string& why) {
  hasInput = fs::exists(test.folder / "input.json");
  if (!hasInput) return true;
  return LoadInputScript((test.folder / "input.json").string(), input, why);
}

// What a case's movie sees of the world it was recorded in, for as long as the case
// runs: the scripted server of its socket.json as the socket hook (without one sockets
// are refused, as in a player without the network) and, for a test that names a
// viewport, that viewport in logical pixels as the screen.
class CaseEnvironment {
 public:
  explicit CaseEnvironment(const CorpusCase& test) {
    SocketScript script;
    std::string why;
    const fs::path path = test.folder / "socket.json";
    if (fs::exists(path) && LoadSocketScript(path.string(), script, why)) SocketOpener() = ScriptedSocketHook(script);
    if (test.toml.viewportWidth > 0 && test.toml.viewportHeight > 0 && test.toml.viewportScale > 0) {
      const int width = static_cast<int>(test.toml.viewportWidth / test.toml.viewportScale);
      const int height = static_cast<int>(test.toml.viewportHeight / test.toml.viewportScale);
      avm1::Hooks().screenSize = [width, height] { return std::make_pair(width, height); };
    }
  }
  ~CaseEnvironment() {
    SocketOpener() = nullptr;
    avm1::Hooks().screenSize = nullptr;
  }
  CaseEnvironment(const CaseEnvironment&) = delete;
  CaseEnvironment& operator=(const CaseEnvironment&) = delete;
};

// Loads the case's movie into control at the size its expectations were recorded at.
bool LoadCase(const CorpusCase& test, FlashControl& control, std::string& why) {
  // By path, as the tool and the player load it: the movie's own address is what its
  // relative loads (XML, variables, other movies) resolve against.
  control.SetScriptSeconds(test.toml.scriptSeconds);
  // The quality is the player's before the movie starts: a first frame's script that
  // reads it or draws into a bitmap sees the recorded one.
  if (test.toml.quality == "low") control.SetQuality2("Low");
  if (test.toml.quality == "medium") control.SetQuality2("Medium");
  // A test that names a viewport was recorded in it: the first frame's scripts see its
  // size, and the recorded pointer positions are its pixels.
  const bool viewport = test.toml.viewportWidth > 0 && test.toml.viewportHeight > 0;
  if (viewport) control.SetSize(test.toml.viewportWidth, test.toml.viewportHeight);
  if (!control.LoadMovie(0, (test.folder / "test.swf").string())) {
    why = "does not load: " + control.LastError();
    return false;
  }
  const Movie* movie = control.GetMovie();
  if (!viewport) control.SetSize(movie->Width(), movie->Height());
  return true;
}

// Runs the case and compares every image; the reason for the first failure in why.
bool ImagesMatch(const CorpusCase& test, std::string& why) {
  InputScript input;
  bool hasInput = false;
  if (!ReadInput(test, input, hasInput, why)) return false;
  FlashControl control;
  if (!LoadCase(test, control, why)) return false;
  const int last = test.toml.frames;
  bool ok = true;
  RunRecorded(control, last, hasInput ? &input : nullptr, [&](int frame) {
    for (const ImageComparison& image : test.toml.images) {
      const int at = image.trigger > 0 ? std::min(image.trigger, last) : last;
      if (!ok || at != frame) continue;
      const fs::path expectedPath = test.folder / (image.name + ".expected.png");
      QImage expected(QString::fromStdString(expectedPath.string()));
      if (expected.isNull()) {
        why = "no expected image " + image.name;
        ok = false;
        return;
      }
      expected = expected.convertToFormat(QImage::Format_ARGB32);
      // The test's viewport (when it names one) is what the picture was taken of.
      if (test.toml.viewportWidth > 0 && test.toml.viewportHeight > 0)
        control.SetSize(test.toml.viewportWidth, test.toml.viewportHeight);
      QImage actual(expected.size(), QImage::Format_ARGB32_Premultiplied);
      control.PaintTo(actual);
      actual = actual.convertToFormat(QImage::Format_ARGB32);
      // VANTREL_IMAGE_DUMP=folder keeps each drawn picture for a look beside the expected one.
      if (const char* dump = std::getenv("VANTREL_IMAGE_DUMP")) {
        std::string name = test.name + "." + image.name;
        std::replace(name.begin(), name.end(), '/', '_');
        actual.save(QString::fromStdString((fs::path(dump) / (name + ".png")).string()));
      }
      for (const ImageCheck& check : image.checks) {
        const long outliers = Outliers(actual, expected, check.tolerance);
        if (outliers > check.maxOutliers) {
          why = image.name + ": " + std::to_string(outliers) + " pixels off by more than " +
                std::to_string(check.tolerance);
          ok = false;
          return;
        }
      }
    }
  });
  return ok;
}

std::string Normalised(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// The counts leave out the tests the reference emulator itself marks as known failures
// (their expectations are doubtful); they still run, and a pass among them is listed.
void Report(const char* what, const std::vector<std::string>& passes, const std::vector<std::string>& failures,
            const std::set<std::string>& known, const std::string& listName,
            const std::set<std::string>& uncounted = {}) {
  auto counted = [&](const std::vector<std::string>& names) {
    return std::count_if(names.begin(), names.end(), [&](const std::string& name) {
      return !uncounted.count(name.substr(0, name.find(" (")));
    });
  };
  std::printf("%s: %ld of %ld pass", what, static_cast<long>(counted(passes)),
              static_cast<long>(counted(passes) + counted(failures)));
  if (!uncounted.empty())
    std::printf(" (not counted: %zu marked as known failures, %ld of them pass)",
                uncounted.size(), static_cast<long>(passes.size()) - static_cast<long>(counted(passes)));
  std::printf("\n");
  for (const std::string& name : failures) std::printf("  fail %s\n", name.c_str());
  const std::string written = std::string(VANTREL_BUILD_DIR) + "/" + listName;
  WriteList(written, passes);
  std::printf("this run's passes are in %s\n", written.c_str());
  std::vector<std::string> regressions;
  const std::set<std::string> passed(passes.begin(), passes.end());
  for (const std::string& name : known) {
    if (!passed.count(name)) regressions.push_back(name);
  }
  for (const std::string& name : regressions) ADD_FAILURE() << "regression: " << name << " passed before";
}

TEST(FlashCorpus, ImagesOfActionScript12Movies) {
  const std::string corpus = testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is not there";
  std::vector<std::string> passes, failures;
  for (const CorpusCase& test : FindCases(corpus)) {
    if (test.toml.images.empty() || IsActionScript3(test)) continue;
    std::string why;
    if (ImagesMatch(test, why))
      passes.push_back(test.name);
    else
      failures.push_back(test.name + " (" + why + ")");
  }
  Report("image tests", passes, failures, ReadList(std::string(VANTREL_FLASH_TEST_DIR) + "/known_image_passes.txt"),
         "flash_image_passes.txt");
}

// The ActionScript 3 image tests of avm2/, run like the ones above; tests the reference
// emulator marks as known failures run but are not counted.
TEST(FlashCorpus, ImagesOfActionScript3Movies) {
  const std::string corpus = testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is not there";
  std::vector<std::string> passes, failures;
  std::set<std::string> knownFailures;
  for (const CorpusCase& test : FindCases(corpus, {"avm2"})) {
    if (test.toml.images.empty()) continue;
    if (test.toml.knownFailure) knownFailures.insert(test.name);
    std::string why;
    if (ImagesMatch(test, why))
      passes.push_back(test.name);
    else
      failures.push_back(test.name + " (" + why + ")");
  }
  Report("ActionScript 3 image tests", passes, failures,
         ReadList(std::string(VANTREL_FLASH_TEST_DIR) + "/known_avm2_image_passes.txt"), "flash_avm2_image_passes.txt",
         knownFailures);
}

TEST(FlashCorpus, TraceOutputOfActionScript12Movies) {
  const std::string corpus = testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is not there";
  std::vector<std::string> passes, failures;
  std::set<std::string> knownFailures;
  for (const CorpusCase& test : FindCases(corpus)) {
    if (!fs::exists(test.folder / "output.txt")) continue;
    const std::string expected = Normalised(ReadAll(test.folder / "output.txt"));
    if (expected.find_first_not_of(" \t\n") == std::string::npos) continue;  // asserts nothing
    InputScript input;
    bool hasInput = false;
    std::string why;
    if (!ReadInput(test, input, hasInput, why)) {
      failures.push_back(test.name + " (" + why + ")");
      continue;
    }
    const CaseEnvironment environment(test);
    FlashControl control;
    std::string output;
    control.OnTrace = [&](const std::string& line) {
      if (output.size() < (1u << 20)) output += line + "\n";
    };
    if (!LoadCase(test, control, why)) {
      failures.push_back(test.name + " (" + why + ")");
      continue;
    }
    if (control.GetMovie()->actionScript3) continue;
    if (test.toml.knownFailure) knownFailures.insert(test.name);
    RunRecorded(control, test.toml.frames, hasInput ? &input : nullptr);
    if (OutputsMatch(Normalised(output), expected, test.toml.approximations))
      passes.push_back(test.name);
    else
      failures.push_back(test.name);
  }
  Report("trace tests", passes, failures, ReadList(std::string(VANTREL_FLASH_TEST_DIR) + "/known_trace_passes.txt"),
         "flash_trace_passes.txt", knownFailures);
}

// The ActionScript 3 tests: every movie of avm2/ with an expected trace output.
// Runs the ActionScript 3 trace tests of the corpus's areas: each with its input, tests
// whose expected output is empty not counted.
void RunActionScript3Traces(const std::string& corpus, std::initializer_list<const char*> areas,
                            std::vector<std::string>& passes, std::vector<std::string>& failures,
                            std::set<std::string>& knownFailures) {
  for (const CorpusCase& test : FindCases(corpus, areas)) {
    if (!fs::exists(test.folder / "output.txt")) continue;
    const std::string expected = Normalised(ReadAll(test.folder / "output.txt"));
    if (expected.find_first_not_of(" \t\n") == std::string::npos) continue;  // asserts nothing
    if (test.toml.knownFailure) knownFailures.insert(test.name);
    InputScript input;
    bool hasInput = false;
    std::string why;
    if (!ReadInput(test, input, hasInput, why)) {
      failures.push_back(test.name + " (" + why + ")");
      continue;
    }
    const CaseEnvironment environment(test);
    FlashControl control;
    std::string output;
    control.OnTrace = [&](const std::string& line) {
      if (output.size() < (1u << 20)) output += line + "\n";
    };
    if (!LoadCase(test, control, why)) {
      failures.push_back(test.name + " (" + why + ")");
      continue;
    }
    RunRecorded(control, test.toml.frames, hasInput ? &input : nullptr);
    if (OutputsMatch(Normalised(output), expected, test.toml.approximations))
      passes.push_back(test.name);
    else
      failures.push_back(test.name);
  }
}

TEST(FlashCorpus, TraceOutputOfActionScript3Movies) {
  const std::string corpus = testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is not there";
  std::vector<std::string> passes, failures;
  std::set<std::string> knownFailures;
  RunActionScript3Traces(corpus, {"avm2"}, passes, failures, knownFailures);
  Report("ActionScript 3 trace tests", passes, failures,
         ReadList(std::string(VANTREL_FLASH_TEST_DIR) + "/known_avm2_trace_passes.txt"), "flash_avm2_trace_passes.txt",
         knownFailures);
}

// The language's acceptance suite (ECMAScript 3 and E4X), counted per folder.
TEST(FlashCorpus, LanguageSuiteOfActionScript3) {
  const std::string corpus = testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is not there";
  std::vector<std::string> passes, failures;
  std::set<std::string> knownFailures;
  RunActionScript3Traces(corpus, {"avm2-language"}, passes, failures, knownFailures);
  // avm2-language/ecma3/Date/e15_9_1_1_1 counts in "ecma3/Date", avm2-language/e4x/... in "e4x".
  const auto folderOf = [](const std::string& name) {
    const std::size_t first = name.find('/') + 1;
    std::size_t end = name.find('/', first);
    if (name.compare(first, 5, "ecma3") == 0) end = name.find('/', end + 1);
    return name.substr(first, end - first);
  };
  std::map<std::string, std::pair<int, int>> folders;  // passes, counted tests
  for (const auto* list : {&passes, &failures}) {
    for (const std::string& name : *list) {
      const std::string plain = name.substr(0, name.find(" ("));
      if (knownFailures.count(plain)) continue;
      auto& [passed, total] = folders[folderOf(plain)];
      passed += list == &passes;
      ++total;
    }
  }
  for (const auto& [folder, counts] : folders) std::printf("  %-28s %4d of %4d\n", folder.c_str(), counts.first, counts.second);
  Report("ActionScript 3 language suite", passes, failures,
         ReadList(std::string(VANTREL_FLASH_TEST_DIR) + "/known_avm2_language_passes.txt"),
         "flash_avm2_language_passes.txt", knownFailures);
}

// Every movie of the corpus in every folder (language suites and real applications
// too), passing test or not, and every movie a test loads besides its own, runs its
// frames with its input in a child process under a wall-time limit, and its last frame
// is drawn: a crash, an abort, a sanitizer report or a run past the limit fails the
// test. Scripts that loop forever must be ended by the engine's own script time limit.
struct CorpusMovie {
  std::string name;
  fs::path swf;
  int frames = 1;
  double scriptSeconds = 0;  // the test's own limit; 0: the movie's
  fs::path input;  // empty when the run has no input
};

// Real applications have no test of their own: they run this many frames.
constexpr int kApplicationFrames = 30;

std::vector<CorpusMovie> FindCorpusMovies(const std::string& corpus) {
  std::vector<CorpusMovie> movies;
  std::error_code ec;
  for (auto area = fs::directory_iterator(corpus, ec); area != fs::directory_iterator(); area.increment(ec)) {
    if (ec) break;
    const fs::path root = area->path();
    if (!area->is_directory()) continue;
    const bool applications = root.filename() == "realworld";
    for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (ec) break;
      const fs::path path = it->path();
      if (!it->is_regular_file() || path.extension() != ".swf") continue;
      CorpusMovie movie{fs::relative(path, corpus).generic_string(), path, applications ? kApplicationFrames : 1, 0, {}};
      // The test whose folder holds the movie gives the frame count (the nearest test.toml up).
      for (fs::path folder = path.parent_path(); folder.string().size() >= root.string().size();
           folder = folder.parent_path()) {
        if (fs::exists(folder / "test.toml")) {
          const CorpusTest toml = ParseCorpusToml(ReadAll(folder / "test.toml"));
          movie.frames = std::max(1, toml.frames);
          movie.scriptSeconds = toml.scriptSeconds;
          if (path.filename() == "test.swf" && fs::exists(folder / "input.json")) movie.input = folder / "input.json";
          break;
        }
        if (folder == root) break;
      }
      movies.push_back(std::move(movie));
    }
  }
  std::sort(movies.begin(), movies.end(), [](const CorpusMovie& a, const CorpusMovie& b) { return a.name < b.name; });
  return movies;
}

// Starts a child process that runs the movie and ends with status 0, or 3 when the
// movie does not load; -1 when no child could be made.
pid_t StartIsolated(const CorpusMovie& movie) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child != 0) return child;
  int code = 0;
  {
    InputScript input;
    std::string why;
    const bool hasInput = !movie.input.empty() && LoadInputScript(movie.input.string(), input, why);
    FlashControl control;
    control.SetScriptSeconds(movie.scriptSeconds);
    if (control.LoadMovie(0, movie.swf.string())) {
      control.SetSize(control.GetMovie()->Width(), control.GetMovie()->Height());
      RunRecorded(control, movie.frames, hasInput ? &input : nullptr);
      QImage picture(64, 64, QImage::Format_ARGB32_Premultiplied);
      control.PaintTo(picture);  // the drawing code runs over the final frame too
    } else {
      code = 3;
    }
  }
  std::fflush(nullptr);
  _exit(code);
}

// What a child's end says: "" for a run to the end.
std::string Verdict(int status) {
  if (WIFSIGNALED(status)) return std::string("ended by signal ") + strsignal(WTERMSIG(status));
  if (WIFEXITED(status) && WEXITSTATUS(status) == 3) return "";  // refused with a message: no crash
  if (WIFEXITED(status) && WEXITSTATUS(status) != 0) return "exit status " + std::to_string(WEXITSTATUS(status));
  return "";
}

TEST(FlashCorpus, EveryMovieRunsItsFramesWithoutCrashOrHang) {
  const std::string corpus = testing::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "the corpus (../shared/corpus) is not there";
  // Generous: the machine may be busy; a script loop is stopped by the engine long before.
  const char* env = std::getenv("VANTREL_MOVIE_TIME_LIMIT");
  const std::chrono::seconds limit(env ? std::max(1, std::atoi(env)) : 60);
  const std::vector<CorpusMovie> movies = FindCorpusMovies(corpus);
  EXPECT_GT(movies.size(), 2000u);
  // Movies that once ended the process must still be among them.
  std::set<std::string> names;
  for (const CorpusMovie& movie : movies) names.insert(movie.name);
  for (const std::string& name : ReadList(std::string(VANTREL_FLASH_TEST_DIR) + "/past_crashes.txt"))
    EXPECT_TRUE(names.count(name)) << name << " (listed in past_crashes.txt) is not in the corpus";
  // Two movies at a time.
  struct Running {
    pid_t pid;
    const CorpusMovie* movie;
    std::chrono::steady_clock::time_point start;
  };
  std::vector<Running> running;
  int bad = 0;
  auto report = [&](const Running& r, const std::string& what) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - r.start).count();
    if (seconds > 5) std::printf("  slow %s: %.1f s\n", r.movie->name.c_str(), seconds);
    if (what.empty()) return;
    ++bad;
    ADD_FAILURE() << r.movie->name << ": " << what;
  };
  std::size_t next = 0;
  while (next < movies.size() || !running.empty()) {
    while (running.size() < 2 && next < movies.size()) {
      const CorpusMovie& movie = movies[next++];
      const pid_t pid = StartIsolated(movie);
      if (pid < 0) {
        ++bad;
        ADD_FAILURE() << movie.name << ": fork failed";
        continue;
      }
      running.push_back({pid, &movie, std::chrono::steady_clock::now()});
    }
    bool progressed = false;
    for (auto it = running.begin(); it != running.end();) {
      int status = 0;
      if (waitpid(it->pid, &status, WNOHANG) == it->pid) {
        report(*it, Verdict(status));
        it = running.erase(it);
        progressed = true;
      } else if (std::chrono::steady_clock::now() - it->start > limit) {
        kill(it->pid, SIGKILL);
        waitpid(it->pid, &status, 0);
        report(*it, "still running after " + std::to_string(limit.count()) + " s");
        it = running.erase(it);
        progressed = true;
      } else {
        ++it;
      }
    }
    if (!progressed) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  std::printf("corpus movies: %zu run, %d crashed, hung or did not load\n", movies.size(), bad);
}

// An image's checks may each be a table of their own: [[image_comparisons.NAME.checks]].
TEST(CorpusToml, ImageChecksInTablesOfTheirOwnBelongToTheirImage) {
  const CorpusTest test = ParseCorpusToml(
      "num_ticks = 1\n[[image_comparisons.output.checks]]\ntolerance = 0\nmax_outliers = 16\n"
      "[[image_comparisons.output.checks]]\ntolerance = 144\nmax_outliers = 0\n"
      "[image_comparisons.later]\ntrigger = 2\ntolerance = 3\n[player_options]\nwith_renderer = {}\n");
  ASSERT_EQ(test.images.size(), 2u);
  EXPECT_EQ(test.images[0].name, "output");
  ASSERT_EQ(test.images[0].checks.size(), 2u);
  EXPECT_EQ(test.images[0].checks[0].maxOutliers, 16);
  EXPECT_EQ(test.images[0].checks[1].tolerance, 144);
  EXPECT_EQ(test.images[1].name, "later");
  EXPECT_EQ(test.images[1].trigger, 2);
  ASSERT_EQ(test.images[1].checks.size(), 1u);
  EXPECT_EQ(test.images[1].checks[0].tolerance, 3);
}

TEST(CorpusToml, ApproximationsCompareOnlyNumbersWithinEpsilon) {
  const CorpusTest bare = ParseCorpusToml("num_frames = 1\n[approximations]\nbare_numbers = true\nepsilon = 3.0\n");
  ASSERT_TRUE(bare.approximations);
  EXPECT_TRUE(OutputsMatch("a\n158\n", "a\n160\n", bare.approximations));
  EXPECT_FALSE(OutputsMatch("a\n150\n", "a\n160\n", bare.approximations));
  EXPECT_FALSE(OutputsMatch("W: 158", "W: 160", bare.approximations));  // not a number alone
  EXPECT_FALSE(OutputsMatch("1\n2", "1", bare.approximations));
  EXPECT_FALSE(OutputsMatch("158", "160", std::nullopt));

  const CorpusTest patterns =
      ParseCorpusToml("[approximations]\nnumber_patterns = [\"angle=([\\\\d.]+)\"]\nepsilon = 0.001\n");
  ASSERT_TRUE(patterns.approximations);
  ASSERT_EQ(patterns.approximations->numberPatterns.size(), 1u);
  EXPECT_EQ(patterns.approximations->numberPatterns[0], "angle=([\\d.]+)");
  EXPECT_TRUE(OutputsMatch("x angle=0.7854 y", "x angle=0.78539 y", patterns.approximations));
  EXPECT_FALSE(OutputsMatch("x angle=0.7854 z", "x angle=0.78539 y", patterns.approximations));
  EXPECT_FALSE(OutputsMatch("x angle=0.8 y", "x angle=0.78539 y", patterns.approximations));

  // A relative bound scales with the numbers: a last digit apart passes, a wrong digit
  // earlier does not, however large the numbers are.
  const CorpusTest relative = ParseCorpusToml("[approximations]\nbare_numbers = true\nmax_relative = 1e-15\n");
  ASSERT_TRUE(relative.approximations);
  EXPECT_TRUE(OutputsMatch("24343.00942440838", "24343.00942440837", relative.approximations));
  EXPECT_TRUE(OutputsMatch("1.2686556140109568e+24", "1.2686556140109567e+24", relative.approximations));
  EXPECT_FALSE(OutputsMatch("24343.0094244084", "24343.0094244083", relative.approximations));
  EXPECT_FALSE(OutputsMatch("1", "0", relative.approximations));
}

}  // namespace
}  // namespace vantrel::flash
