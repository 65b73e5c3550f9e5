// Movies loading movies and data: MovieClipLoader's events in the player's order, loads
// through the host's network hook (relative addresses, GET/POST, progress), and loads
// that end unheard when their target unloads or the movie goes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include <unistd.h>

#include "flash/control/flash_control.h"
#include "support/swf_movie_writer.h"

namespace vantrel::flash {
namespace {

using testing::Actions;
using testing::Bytes;

namespace fs = std::filesystem;

// target.name = function(args...) { body }
void DefineMethod(Actions& a, const std::string& target, const std::string& name, const std::vector<std::string>& args,
                  const Actions& body) {
  a.PushString(target).GetVariable().PushString(name);
  Bytes header;
  testing::PutString(header, "");
  testing::PutU16(header, static_cast<std::uint16_t>(args.size()));
  for (const std::string& arg : args) testing::PutString(header, arg);
  testing::PutU16(header, static_cast<std::uint16_t>(body.Data().size()));
  a.OpWith(0x9B, header).Raw(body.Data());
  a.Op(0x4F);
}

// trace(text + a + " " + b ...) of variables.
Actions TraceVars(const std::string& text, const std::vector<std::string>& variables) {
  Actions a;
  a.PushString(text);
  bool first = true;
  for (const std::string& v : variables) {
    if (!first) a.PushString(" ").Op(0x47);
    a.PushString(v).GetVariable().Op(0x47);
    first = false;
  }
  return a.Trace();
}

// object.method(args) with string arguments, result dropped.
void CallMethod(Actions& a, const std::string& object, const std::string& method, const std::vector<std::string>& args) {
  for (auto it = args.rbegin(); it != args.rend(); ++it) a.PushString(*it);
  a.PushNumber(static_cast<double>(args.size())).PushString(object).GetVariable().PushString(method).Op(0x52).Op(0x17);
}

Bytes Movie(const Actions& frame1, int frames = 1, int version = 8) {
  Bytes tags = frame1.Tag();
  testing::PutBytes(tags, testing::ShowFrame());
  for (int i = 1; i < frames; ++i) testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  return testing::MakeMovie(tags, 100, 100, frames, version, 30);
}

// A movie whose MovieClipLoader loads url into a new clip "holder" and traces each event.
Bytes LoaderMovie(const std::string& url) {
  Actions a;
  a.PushNumber(1).PushString("holder").PushNumber(2).PushString("_root").GetVariable();
  a.PushString("createEmptyMovieClip").Op(0x52).Op(0x17);
  a.PushString("holder").GetVariable().PushString("kept").PushString("yes").Op(0x4F);
  a.PushString("mcl").PushNumber(0).PushString("MovieClipLoader").Op(0x40).SetVariable();
  DefineMethod(a, "mcl", "onLoadStart", {"t"}, TraceVars("start ", {"t"}));
  DefineMethod(a, "mcl", "onLoadProgress", {"t", "l", "n"}, TraceVars("progress ", {"l", "n"}));
  DefineMethod(a, "mcl", "onLoadComplete", {"t"}, TraceVars("complete ", {"t", "t.kept"}));
  DefineMethod(a, "mcl", "onLoadInit", {"t"}, TraceVars("init ", {"t"}));
  DefineMethod(a, "mcl", "onLoadError", {"t", "e"}, TraceVars("error ", {"t", "e"}));
  CallMethod(a, "mcl", "loadClip", {url, "holder"});
  a.Stop();
  return Movie(a);
}

Bytes ChildMovie() {
  Actions a;
  a.TraceString("child frame 1");
  a.Stop();
  return Movie(a);
}

struct FakeNetwork {
  struct Asked {
    FetchRequest request;
    FetchCallbacks callbacks;
    bool cancelled = false;
  };
  std::map<std::uint64_t, Asked> asked;
  std::uint64_t next = 100;

  void Install(FlashControl& control) {
    control.Fetch = [this](const FetchRequest& request, FetchCallbacks callbacks) {
      asked[++next] = {request, std::move(callbacks), false};
      return next;
    };
    control.CancelFetch = [this](std::uint64_t id) { asked[id].cancelled = true; };
  }
  Asked* Find(const std::string& url) {
    for (auto& [id, a] : asked)
      if (a.request.url == url) return &a;
    return nullptr;
  }
};

class LoadingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("vantrel_loading_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    control.OnTrace = [this](const std::string& line) { traces.push_back(line); };
  }
  void TearDown() override { fs::remove_all(folder); }

  std::string Write(const std::string& name, const Bytes& bytes) {
    const fs::path path = folder / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path.string();
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) control.Tick();
  }

  fs::path folder;
  FlashControl control;
  std::vector<std::string> traces;
};

TEST_F(LoadingTest, LoaderEventsComeInThePlayersOrderAndTheClipKeepsWhatStartSet) {
  Write("child.swf", ChildMovie());
  ASSERT_TRUE(control.LoadMovie(0, Write("main.swf", LoaderMovie("child.swf"))));
  Ticks(3);
  const std::size_t size = fs::file_size(folder / "child.swf");
  const std::vector<std::string> expected = {
      "start _level0.holder",
      "progress " + std::to_string(size) + " " + std::to_string(size),
      // The clip lost its variables when the movie took its place.
      "complete _level0.holder undefined",
      "child frame 1",
      "init _level0.holder",
  };
  EXPECT_EQ(traces, expected);
  EXPECT_EQ(control.GetVariable("holder._name"), "holder");
}

// Object.registerClass keeps two lists: one for movies of SWF 6 and earlier, names
// compared ignoring case, and one for later movies, where case counts. A movie loaded
// into a level sees what movies of its side registered, never the other side's. A clip
// attachMovie makes has its class (or none) from that moment on.
TEST_F(LoadingTest, RegisteredClassesBelongToTheirSideOfSwf7) {
  auto attach = [](Actions& a, const std::string& name, double depth) {
    a.PushNumber(depth).PushString(name).PushString("sym").PushNumber(3).PushString("this").GetVariable();
    a.PushString("attachMovie").Op(0x52).Op(0x17);
  };
  auto registerClass = [](Actions& a, const std::string& symbol) {
    a.PushString("_global").GetVariable().PushString("C").Op(0x4E).PushString(symbol).PushNumber(2);
    a.PushString("Object").GetVariable().PushString("registerClass").Op(0x52).Op(0x17);
  };
  auto movie = [](const Actions& frame1, int version) {
    Bytes sprite = testing::ShowFrame();
    testing::PutBytes(sprite, testing::End());
    Bytes tags = testing::DefineSprite(1, 1, sprite);
    testing::PutBytes(tags, testing::Tag(56, {1, 0, 1, 0, 's', 'y', 'm', 0}));  // ExportAssets: 1 as "sym"
    testing::PutBytes(tags, frame1.Tag());
    testing::PutBytes(tags, testing::ShowFrame());
    testing::PutBytes(tags, testing::End());
    return testing::MakeMovie(tags, 100, 100, 1, version, 30);
  };
  Actions main;
  DefineMethod(main, "_global", "C", {}, Actions().PushString("this").GetVariable().PushString("_target").Op(0x4E).Trace());
  registerClass(main, "SYM");
  attach(main, "a", 1);  // "SYM" is not "sym" here
  registerClass(main, "sym");
  attach(main, "b", 2);
  main.GetUrl("child.swf", "_level1");
  Actions child;
  child.TraceString("child");
  attach(child, "c", 1);  // the later movies' "sym" is unknown on this side
  registerClass(child, "SYM");
  attach(child, "d", 2);
  Write("child.swf", movie(child, 6));
  ASSERT_TRUE(control.LoadMovie(0, Write("main.swf", movie(main, 8))));
  Ticks(3);
  // C traces the clip it constructs.
  EXPECT_EQ(traces, (std::vector<std::string>{"/b", "child", "_level1/d"}));
}

// A call made by SWF 5 code is no closure, whatever movie made the function: a SWF 6
// function then acts on the caller's clip by SWF 5 rules and sees nothing of the
// timeline it was defined on.
TEST_F(LoadingTest, ASwf5CallerMakesAnyFunctionActOnItsOwnClip) {
  Actions child;
  child.PushString("foo").PushString("child").SetVariable();
  DefineMethod(child, "_level0", "g", {},
               Actions().PushString("_target").GetVariable().Trace().PushString("foo").GetVariable().Trace());
  child.Stop();
  Write("child.swf", Movie(child, 1, 6));
  // Frame 1 loads the child into level 1, frame 3 calls g().
  Bytes tags = Actions().GetUrl("child.swf", "_level1").Tag();
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, Actions().PushNumber(0).PushString("g").Op(0x3D).Op(0x17).Stop().Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  ASSERT_TRUE(control.LoadMovie(0, Write("main.swf", testing::MakeMovie(tags, 100, 100, 3, 5, 30))));
  Ticks(4);
  EXPECT_EQ(traces, (std::vector<std::string>{"/", "undefined"}));
}

// The stage keeps ticking at the first movie's rate when another movie replaces it in
// level 0, and the clock timers run by counts those ticks: a 500 ms timeout of a 1 fps
// movie is not due after a few 30 fps frames.
TEST_F(LoadingTest, AReplacedLevelZeroKeepsTheClockOfTheFirstMovie) {
  Actions slow;
  DefineMethod(slow, "_root", "late", {}, Actions().TraceString("late"));
  slow.PushNumber(500).PushString("_root").GetVariable().PushString("late").Op(0x4E);
  slow.PushNumber(2).PushString("setTimeout").Op(0x3D).Op(0x17);
  slow.TraceString("slow").Stop();
  Bytes tags = slow.Tag();
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  Write("slow.swf", testing::MakeMovie(tags, 100, 100, 1, 8, 1));
  Actions main;
  main.GetUrl("slow.swf", "_level0");
  ASSERT_TRUE(control.LoadMovie(0, Write("main.swf", Movie(main))));
  Ticks(8);
  EXPECT_EQ(traces, (std::vector<std::string>{"slow"}));
  Ticks(15);
  EXPECT_EQ(traces, (std::vector<std::string>{"slow", "late"}));
}

TEST_F(LoadingTest, MissingFilesAndDataThatIsNoMovie) {
  Write("notes.txt", Bytes{'h', 'e', 'l', 'l', 'o'});
  ASSERT_TRUE(control.LoadMovie(0, Write("main.swf", LoaderMovie("missing.swf"))));
  Ticks(3);
  EXPECT_EQ(traces, (std::vector<std::string>{"error _level0.holder URLNotFound"}));

  traces.clear();
  ASSERT_TRUE(control.LoadMovie(0, Write("main2.swf", LoaderMovie("notes.txt"))));
  Ticks(3);
  // Data that is no movie empties the clip and still completes.
  EXPECT_EQ(traces, (std::vector<std::string>{"start _level0.holder", "progress 0 0", "complete _level0.holder undefined",
                                              "init _level0.holder"}));
}

// getProgress counts the bytes of the file as stored: a compressed movie's own size,
// not the length its header gives.
TEST_F(LoadingTest, GetProgressCountsTheStoredBytesOfACompressedMovie) {
  Actions a;
  a.PushString("_level0").GetVariable().PushNumber(1);
  a.PushNumber(0).PushString("MovieClipLoader").Op(0x40).PushString("getProgress").Op(0x52);
  a.PushString("bytesTotal").Op(0x4E).Trace();
  for (int i = 0; i < 20; ++i) a.TraceString("padding that compresses well");
  Bytes tags = a.Tag();
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  const Bytes file = testing::MakeMovie(tags, 100, 100, 1, 8, 30, true);
  ASSERT_TRUE(control.LoadMovie(0, Write("packed.swf", file)));
  ASSERT_FALSE(traces.empty());
  EXPECT_EQ(traces.front(), std::to_string(file.size()));
}

TEST_F(LoadingTest, WebLoadsGoThroughTheHostWithProgressAndRelativeAddresses) {
  FakeNetwork network;
  network.Install(control);
  control.SetMovieAddress("http://example.test/site/main.swf");
  ASSERT_TRUE(control.LoadMovie(0, Write("main.swf", LoaderMovie("parts/child.swf"))));
  ASSERT_EQ(network.asked.size(), 1u);
  FakeNetwork::Asked& load = network.asked.begin()->second;
  EXPECT_EQ(load.request.url, "parts/child.swf");
  EXPECT_EQ(load.request.base, "http://example.test/site/main.swf");
  EXPECT_EQ(load.request.method, "GET");
  EXPECT_EQ(control.Engine()->PendingLoads(), 1u);

  // The host answers between frames; the movie hears it at the next frame.
  load.callbacks.progress(100, 400);
  EXPECT_TRUE(traces.empty());
  control.Tick();
  EXPECT_EQ(traces, (std::vector<std::string>{"progress 100 400"}));
  const Bytes child = ChildMovie();
  load.callbacks.progress(static_cast<std::int64_t>(child.size()), static_cast<std::int64_t>(child.size()));
  load.callbacks.done(true, std::string(child.begin(), child.end()));
  Ticks(2);
  const std::string n = std::to_string(child.size());
  EXPECT_EQ(traces, (std::vector<std::string>{"progress 100 400", "progress " + n + " " + n, "start _level0.holder",
                                              "progress " + n + " " + n, "complete _level0.holder undefined",
                                              "child frame 1", "init _level0.holder"}));
  EXPECT_EQ(control.Engine()->PendingLoads(), 0u);
  EXPECT_EQ(control.GetVariable("holder._url"), "http://example.test/site/parts/child.swf");
}

TEST_F(LoadingTest, LoadVariablesSendsTheTimelinesVariablesAndUnloadingCancels) {
  FakeNetwork network;
  network.Install(control);
  control.SetMovieAddress("http://example.test/site/main.swf");
  Actions a;
  a.PushString("score").PushString("12").SetVariable();
  // loadVariablesNum("vars.php", 0, "POST") and loadMovieNum("big.swf", 3).
  a.PushString("vars.php").PushString("_level0").OpWith(0x9A, {0x82});
  a.GetUrl("big.swf", "_level3");
  DefineMethod(a, "_root", "onData", {}, TraceVars("got ", {"answer"}));
  a.Stop();
  ASSERT_TRUE(control.LoadMovie(0, Write("main.swf", Movie(a))));
  FakeNetwork::Asked* vars = network.Find("vars.php");
  FakeNetwork::Asked* big = network.Find("big.swf");
  ASSERT_TRUE(vars && big);
  EXPECT_EQ(vars->request.method, "POST");
  EXPECT_NE(vars->request.formData.find("score=12"), std::string::npos) << vars->request.formData;
  vars->callbacks.done(true, "answer=42&x=1");
  control.Tick();
  EXPECT_EQ(control.GetVariable("answer"), "42");
  EXPECT_EQ(traces, (std::vector<std::string>{"got 42"}));

  // A failed transfer changes nothing.
  big->callbacks.done(false, "HTTP status 404");
  control.Tick();
  EXPECT_EQ(control.Engine()->Level(3), nullptr);

  // A movie that goes cancels what it still waits for; late answers are dropped.
  Actions b;
  b.GetUrl("slow.swf", "_level2");
  b.Stop();
  ASSERT_TRUE(control.LoadMovie(0, Write("other.swf", Movie(b))));
  FakeNetwork::Asked* slow = network.Find("slow.swf");
  ASSERT_TRUE(slow);
  ASSERT_TRUE(control.LoadMovie(0, Write("third.swf", ChildMovie())));
  EXPECT_TRUE(slow->cancelled);
}

TEST_F(LoadingTest, ALoadedMovieThatLocksItsRootSeesItselfAsRootAndKeepsItsQuery) {
  // The child: this._lockroot = 1; trace(_root); trace(_root.from); trace(_level0.from)
  Actions child;
  child.PushString("this").GetVariable().PushString("_lockroot").PushNumber(1).Op(0x4F);
  child.PushString("_root").GetVariable().Trace();
  child.PushString("_root").GetVariable().PushString("from").Op(0x4E).Trace();
  child.PushString("_level0").GetVariable().PushString("from").Op(0x4E).Trace();
  child.Stop();
  Write("child.swf", Movie(child));
  Actions main;
  main.PushNumber(1).PushString("holder").PushNumber(2).PushString("_root").GetVariable();
  main.PushString("createEmptyMovieClip").Op(0x52).Op(0x17);
  // loadMovie("child.swf?from=query", "holder"): GetURL2 into a target.
  main.PushString("child.swf?from=query").PushString("holder").OpWith(0x9A, {0x40});
  main.PushString("_root").GetVariable().PushString("_lockroot").Op(0x4E).Trace();
  main.Stop();
  ASSERT_TRUE(control.LoadMovie(0, Write("main.swf", Movie(main))));
  Ticks(2);
  EXPECT_EQ(traces, (std::vector<std::string>{"false", "_level0.holder", "query", "undefined"}));
}

}  // namespace
}  // namespace vantrel::flash
