// Clips as a movie's scripts see them: depths given by scripts, gotos past the end,
// the order for..in lists a clip's members in, a removal that waits for an unload
// handler, the text of loaded variables, and an exception no script catches.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include <unistd.h>

#include "flash/control/flash_control.h"
#include "support/swf_movie_writer.h"

namespace vantrel::flash {
namespace {

using testing::Actions;
using testing::Bytes;

namespace fs = std::filesystem;

// _root.method(args...) with the arguments already pushed (last first) and counted.
Actions& CallRoot(Actions& a, double count, const std::string& method) {
  return a.PushNumber(count).PushString("_root").GetVariable().PushString(method).Op(0x52);
}

// _root.createEmptyMovieClip(name, depth), result dropped.
void CreateClip(Actions& a, const std::string& name, double depth) {
  a.PushNumber(depth).PushString(name);
  CallRoot(a, 2, "createEmptyMovieClip").Op(0x17);
}

// trace(_root.NAME.PROPERTY)
void TraceMember(Actions& a, const std::string& name, const std::string& property) {
  a.PushString("_root").GetVariable().PushString(name).Op(0x4E).PushString(property).Op(0x4E).Trace();
}

// _root.NAME.PROPERTY = value
void SetMember(Actions& a, const std::string& name, const std::string& property, double value) {
  a.PushString("_root").GetVariable().PushString(name).Op(0x4E).PushString(property).PushNumber(value).Op(0x4F);
}

// _root.NAME.method(args...) with the arguments already pushed (last first) and counted,
// result dropped.
void CallOn(Actions& a, const std::string& name, double count, const std::string& method) {
  a.PushNumber(count).PushString("_root").GetVariable().PushString(name).Op(0x4E).PushString(method).Op(0x52).Op(0x17);
}

// Fills a square of SIZE pixels at the origin of _root.NAME with the drawing API.
void DrawSquare(Actions& a, const std::string& name, double size) {
  a.PushNumber(0xFF0000);
  CallOn(a, name, 1, "beginFill");
  const double corners[][2] = {{size, 0}, {size, size}, {0, size}, {0, 0}};
  for (const auto& corner : corners) {
    a.PushNumber(corner[1]).PushNumber(corner[0]);
    CallOn(a, name, 2, "lineTo");
  }
  CallOn(a, name, 0, "endFill");
}

Bytes Movie(const std::vector<Actions>& frames, int version = 8) {
  Bytes tags;
  for (const Actions& frame : frames) {
    testing::PutBytes(tags, frame.Tag());
    testing::PutBytes(tags, testing::ShowFrame());
  }
  testing::PutBytes(tags, testing::End());
  return testing::MakeMovie(tags, 100, 100, static_cast<int>(frames.size()), version, 30);
}

class ClipsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("vantrel_clips_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    control.OnTrace = [this](const std::string& line) { traces.push_back(line); };
  }
  void TearDown() override { fs::remove_all(folder); }

  void Run(const Bytes& movie, int ticks) {
    const fs::path path = folder / "main.swf";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(movie.data()), movie.size());
    ASSERT_TRUE(control.LoadMovie(0, path.string()));
    for (int i = 0; i < ticks; ++i) control.Tick();
  }

  fs::path folder;
  FlashControl control;
  std::vector<std::string> traces;
};

TEST_F(ClipsTest, ScriptDepthsWrapToThirtyTwoBitsBeforeTheRangeCheck) {
  Actions a;
  CreateClip(a, "first", 0);
  CreateClip(a, "second", 4294967296.0);  // wraps to depth 0 and replaces "first"
  CreateClip(a, "refused", 2130690045.0);
  CreateClip(a, "negative", -4294967295.0);  // wraps to depth 1
  a.PushNumber(0);
  CallRoot(a, 1, "getInstanceAtDepth").PushString("_name").Op(0x4E).Trace();
  a.PushNumber(1);
  CallRoot(a, 1, "getInstanceAtDepth").PushString("_name").Op(0x4E).Trace();
  a.PushString("refused").GetVariable().Op(0x44).Trace();  // typeof
  a.Stop();
  Run(Movie({a}), 1);
  EXPECT_EQ(traces, (std::vector<std::string>{"second", "negative", "undefined"}));
}

TEST_F(ClipsTest, AGotoPastTheLastFrameStaysWhereItIs) {
  Actions first;
  first.TraceString("frame 1").GotoFrame(998);
  Actions last;
  last.TraceString("frame 2");
  Run(Movie({first, last}), 1);
  EXPECT_EQ(traces, (std::vector<std::string>{"frame 1"}));
  EXPECT_EQ(control.CurrentFrame(), 0);
  EXPECT_FALSE(control.Playing());
}

// ifFrameLoaded: once the movie is in, every frame up to the player's 16000 counts;
// WaitForFrame2 reads its value as gotoAndStop does and is not held by a value that
// names no frame.
TEST_F(ClipsTest, WaitForFrameCountsEveryFrameOfALoadedMovieAndSkipsWhatNamesNone) {
  Actions a;
  const auto wait = [&](int frame, const std::string& text) {
    a.OpWith(0x8A, {static_cast<std::uint8_t>(frame & 0xFF), static_cast<std::uint8_t>(frame >> 8), 2});  // skips the push and the trace
    a.TraceString(text);
  };
  const auto wait2 = [&](const std::function<void(Actions&)>& push, const std::string& text) {
    push(a);
    a.OpWith(0x8D, {2});
    a.TraceString(text);
  };
  wait(1, "frame index 1");
  wait(16000, "frame index 16000");
  wait(16001, "frame index 16001");
  wait2([](Actions& x) { x.PushNumber(16001); }, "frame 16001");
  wait2([](Actions& x) { x.PushNumber(16002); }, "frame 16002");
  wait2([](Actions& x) { x.PushNumber(16002.5); }, "frame 16002.5");
  wait2([](Actions& x) { x.PushString("abc"); }, "label abc");
  wait2([](Actions& x) { x.PushNumber(2147483649.0); }, "frame 2^31 + 1");
  Run(Movie({a}), 1);
  EXPECT_EQ(traces, (std::vector<std::string>{"frame index 1", "frame index 16000", "frame 16001", "frame 16002.5",
                                              "label abc", "frame 2^31 + 1"}));
}

// gotoAndStop as GotoFrame2 and as the method: whole numbers wrap to 32 bits, frame 0
// and below go nowhere, past the last frame goes to the last; a number with a fraction
// goes nowhere; a label counts from its frame plus the scene bias; anything else is
// read as text.
TEST_F(ClipsTest, GotoFrameValuesWrapClampAndFallBackToText) {
  auto gotoStop = [](Actions& a, double frame) { a.PushNumber(frame).OpWith(0x9F, {0}); };
  auto traceFrame = [](Actions& a) { a.PushString("_root").GetVariable().PushString("_currentframe").Op(0x4E).Trace(); };
  Actions a;
  for (double frame : {999.0, 0.0, 4294967298.0, -2147483648.0, 1.5, -2147483647.0}) {
    gotoStop(a, frame);
    traceFrame(a);
  }
  gotoStop(a, 2);
  a.PushString("two").OpWith(0x9F, {2, 1, 0});  // gotoAndStop("two") one frame on
  traceFrame(a);
  a.PushString("2");
  CallRoot(a, 1, "gotoAndStop").Op(0x17);
  traceFrame(a);
  a.OpWith(0x96, {5, 1});  // push true: the text "true" names no frame
  CallRoot(a, 1, "gotoAndPlay").Op(0x17);
  traceFrame(a);
  Bytes tags = a.Tag();
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::FrameLabel("two"));
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  Run(testing::MakeMovie(tags, 100, 100, 3, 8, 30), 1);
  EXPECT_EQ(traces, (std::vector<std::string>{"3", "3", "2", "3", "3", "3", "3", "2", "2"}));
  EXPECT_FALSE(control.Playing());  // the goto that went nowhere did not play either
}

// attachMovie of an exported button symbol makes a button (typeof "object", of class
// Button).
TEST_F(ClipsTest, AttachMovieAttachesButtons) {
  Bytes tags = testing::Tag(34, {1, 0, 0, 0, 0, 0});  // DefineButton2 1 without records
  testing::PutBytes(tags, testing::Tag(56, {1, 0, 1, 0, 'b', 't', 'n', 0}));  // ExportAssets: 1 as "btn"
  Actions a;
  a.PushNumber(1).PushString("b").PushString("btn");
  CallRoot(a, 3, "attachMovie").Op(0x44).Trace();  // typeof
  a.PushString("_root").GetVariable().PushString("b").Op(0x4E).PushString("Button").GetVariable().Op(0x54).Trace();
  testing::PutBytes(tags, a.Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  Run(testing::MakeMovie(tags, 100, 100, 1, 8, 30), 1);
  EXPECT_EQ(traces, (std::vector<std::string>{"object", "true"}));
}

// A timer whose interval is missing or undefined is never made (the call gives
// undefined and takes no id); a null interval counts as 0.
TEST_F(ClipsTest, TimersWithoutAnIntervalAreNotMade) {
  Actions a;
  // _root.tick = function() { trace("tick"); }
  a.PushString("_root").GetVariable().PushString("tick");
  Bytes header;
  testing::PutString(header, "");
  testing::PutU16(header, 0);
  const Bytes body = Actions().TraceString("tick").Data();
  testing::PutU16(header, static_cast<std::uint16_t>(body.size()));
  a.OpWith(0x9B, header).Raw(body).Op(0x4F);
  auto call = [&](const char* function, const std::vector<std::function<void()>>& args) {
    for (auto it = args.rbegin(); it != args.rend(); ++it) (*it)();
    a.PushNumber(static_cast<double>(args.size())).PushString(function).Op(0x3D).Trace();
  };
  auto tick = [&] { a.PushString("_root").GetVariable().PushString("tick").Op(0x4E); };
  auto root = [&] { a.PushString("_root").GetVariable(); };
  auto undefinedValue = [&] { a.OpWith(0x96, {3}); };
  auto nullValue = [&] { a.OpWith(0x96, {2}); };
  auto name = [&] { a.PushString("tick"); };
  call("setInterval", {tick, undefinedValue});
  call("setInterval", {tick});
  call("setInterval", {root, name});
  call("setTimeout", {tick, nullValue});
  a.Stop();
  Run(Movie({a}), 3);
  EXPECT_EQ(traces, (std::vector<std::string>{"undefined", "undefined", "undefined", "1", "tick"}));
}

// A clip's script stops at the first call or construction that returns after the clip
// left the display list; a method of undefined is no call, and other actions (a goto
// through tellTarget) go on.
TEST_F(ClipsTest, AScriptStopsAfterACallOnceItsClipIsGone) {
  auto setTarget = [](const std::string& path) {
    Bytes data;
    testing::PutString(data, path);
    return data;
  };
  Actions clip;
  clip.TraceString("clip");
  clip.OpWith(0x8B, setTarget("_root")).Op(0x04).OpWith(0x8B, setTarget(""));  // the root's next frame drops it
  clip.TraceString("still");
  clip.PushNumber(0).OpWith(0x96, {3}).PushString("f").Op(0x52).Op(0x17);  // undefined.f()
  clip.TraceString("still 2");
  clip.PushNumber(0).PushString("_root").GetVariable().PushString("play").Op(0x52).Op(0x17);
  clip.TraceString("not reached");
  Bytes sprite = clip.Tag();
  testing::PutBytes(sprite, testing::ShowFrame());
  testing::PutBytes(sprite, testing::End());
  Bytes tags = testing::DefineSprite(1, 1, sprite);
  testing::Place place;
  place.depth = 1;
  place.character = 1;
  testing::PutBytes(tags, testing::PlaceObject2(place));
  testing::PutBytes(tags, Actions().Stop().Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::RemoveObject2(1));
  testing::PutBytes(tags, Actions().TraceString("root 2").Stop().Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  Run(testing::MakeMovie(tags, 100, 100, 2, 8, 30), 2);
  EXPECT_EQ(traces, (std::vector<std::string>{"clip", "still", "still 2", "root 2"}));
}

// A function whose clip is gone (nothing stands at its path) acts on `this` when that
// is a clip, else on the root.
TEST_F(ClipsTest, AFunctionOfAGoneClipActsOnItsThisOrTheRoot) {
  Actions clip;
  clip.PushString("_root").GetVariable().PushString("f");
  Bytes header;
  testing::PutString(header, "");
  testing::PutU16(header, 0);
  const Bytes body = Actions().PushString("_target").GetVariable().Trace().Data();
  testing::PutU16(header, static_cast<std::uint16_t>(body.size()));
  clip.OpWith(0x9B, header).Raw(body).Op(0x4F);
  Bytes sprite = clip.Tag();
  testing::PutBytes(sprite, testing::ShowFrame());
  testing::PutBytes(sprite, testing::End());
  Bytes tags = testing::DefineSprite(1, 1, sprite);
  testing::Place place;
  place.character = 1;
  testing::PutBytes(tags, testing::PlaceObject2(place));
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::RemoveObject2(1));
  Actions a;
  CreateClip(a, "c", 5);
  a.PushString("_root").GetVariable().PushString("c").Op(0x4E).PushString("f");
  a.PushString("_root").GetVariable().PushString("f").Op(0x4E).Op(0x4F);  // c.f = _root.f
  CallOn(a, "c", 0, "f");
  a.PushString("o").PushNumber(0).Op(0x43).SetVariable();  // o = {}
  a.PushString("o").GetVariable().PushString("f").PushString("_root").GetVariable().PushString("f").Op(0x4E).Op(0x4F);
  a.PushNumber(0).PushString("o").GetVariable().PushString("f").Op(0x52).Op(0x17);
  a.Stop();
  testing::PutBytes(tags, a.Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  Run(testing::MakeMovie(tags, 100, 100, 2, 8, 30), 2);
  EXPECT_EQ(traces, (std::vector<std::string>{"/c", "/"}));
}

TEST_F(ClipsTest, ForInListsAClipsPropertiesBeforeItsChildren) {
  Actions a;
  CreateClip(a, "low", 1);
  CreateClip(a, "high", 2);
  a.PushString("_root").GetVariable().PushString("own").PushNumber(1).Op(0x4F);
  // for (k in _root) trace(k);
  a.PushString("_root").GetVariable().Op(0x55);
  // register 0 = name; if (name == null) break; trace(name)
  Bytes store{0};
  Actions step;
  step.OpWith(0x87, store);
  Bytes pushNull{2};
  step.OpWith(0x96, pushNull).Op(0x49);
  Actions traceName;
  Bytes pushRegister{4, 0};
  traceName.OpWith(0x96, pushRegister).Trace();
  Bytes jumpBack;
  const auto loopSize = static_cast<int>(step.Data().size() + 5 + traceName.Data().size() + 5);
  testing::PutU16(jumpBack, static_cast<std::uint16_t>(-loopSize));
  Bytes skip;
  testing::PutU16(skip, static_cast<std::uint16_t>(traceName.Data().size() + 5));
  a.Raw(step.Data()).OpWith(0x9D, skip).Raw(traceName.Data()).OpWith(0x99, jumpBack);
  a.Stop();
  Run(Movie({a}), 1);
  ASSERT_EQ(traces.size(), 3u);
  EXPECT_EQ(traces[0], "own");
  EXPECT_EQ(traces[1], "high");
  EXPECT_EQ(traces[2], "low");
}

TEST_F(ClipsTest, AClipWithAnUnloadHandlerStaysReachableUntilTheNextFrame) {
  Actions a;
  CreateClip(a, "waits", 1);
  CreateClip(a, "plain", 2);
  // waits.onUnload = function () { trace("unload"); };
  a.PushString("waits").GetVariable().PushString("onUnload");
  const Actions body = Actions().TraceString("unload");
  Bytes header;
  testing::PutString(header, "");
  testing::PutU16(header, 0);
  testing::PutU16(header, static_cast<std::uint16_t>(body.Data().size()));
  a.OpWith(0x9B, header).Raw(body.Data()).Op(0x4F);
  for (const char* name : {"waits", "plain"}) {
    a.PushNumber(0).PushString(name).GetVariable().PushString("removeMovieClip").Op(0x52).Op(0x17);
  }
  a.PushString("waits").GetVariable().Op(0x44).Trace();  // typeof
  a.PushNumber(0).PushString("waits").GetVariable().PushString("getDepth").Op(0x52).Trace();
  a.PushString("plain").GetVariable().Op(0x44).Trace();
  Actions second;
  second.PushString("waits").GetVariable().Op(0x44).Trace().Stop();
  Run(Movie({a, second}), 1);
  EXPECT_EQ(traces, (std::vector<std::string>{"movieclip", "-32770", "undefined", "unload", "undefined"}));
}

TEST_F(ClipsTest, LoadedVariablesAreReadInTheCodePageOrAsLenientUtf8) {
  // Latin-1 and Shift-JIS bytes, raw and escaped; a lead byte at the end is dropped.
  std::ofstream(folder / "vars.txt", std::ios::binary) << "a=\xC4\xD6\xDC\x20\x80&b=%95%D0%89%DF";
  Actions load;
  load.PushString("vars.txt").PushString("_level0").OpWith(0x9A, {0x80});  // loadVariablesNum
  Actions show;
  show.PushString("a").GetVariable().Trace().PushString("b").GetVariable().Trace().Stop();
  Run(Movie({load, Actions(), show}, 6), 2);
  Run(Movie({load, Actions(), show}, 5), 2);
  EXPECT_EQ(traces, (std::vector<std::string>{"\u0156\u06A0\u0080", "\u0095\u0409",
                                              "\u00C4\u00D6\u00DC \u20AC", "\u2022\u00D0\u2030\u00DF"}));
}

TEST_F(ClipsTest, AnUncaughtExceptionIsReportedAndTheMovieGoesOn) {
  Actions first;
  first.PushString("Oh no!").Op(0x2A).TraceString("not reached");
  Actions second;
  second.TraceString("frame 2").Stop();
  Run(Movie({first, second}), 2);
  EXPECT_EQ(traces, (std::vector<std::string>{"Warning: Uncaught exception, Oh no!", "frame 2"}));
}

TEST_F(ClipsTest, SizingWorksFromTheClipsOwnBoundsAndRotation) {
  Actions a;
  CreateClip(a, "box", 1);
  SetMember(a, "box", "_width", 100);  // nothing to size: both scales become 0
  TraceMember(a, "box", "_yscale");
  DrawSquare(a, "box", 50);
  TraceMember(a, "box", "_width");  // still drawn at scale 0
  SetMember(a, "box", "_width", 100);  // from the square's own size, not the zero scale
  TraceMember(a, "box", "_xscale");
  TraceMember(a, "box", "_width");
  // Turned a quarter, a clip's _height still sets its y scale.
  CreateClip(a, "turned", 2);
  DrawSquare(a, "turned", 50);
  SetMember(a, "turned", "_rotation", 90);
  SetMember(a, "turned", "_height", 25);
  TraceMember(a, "turned", "_xscale");
  TraceMember(a, "turned", "_yscale");
  a.Stop();
  Run(Movie({a}), 1);
  EXPECT_EQ(traces, (std::vector<std::string>{"0", "0", "200", "100", "100", "50"}));
}

TEST_F(ClipsTest, AnEmptyClipsBoundsCornerDependsOnTheMoviesVersion) {
  for (const int version : {7, 8}) {
    Actions a;
    CreateClip(a, "empty", 1);
    a.PushNumber(0).PushString("_root").GetVariable().PushString("empty").Op(0x4E).PushString("getBounds").Op(0x52);
    a.PushString("xMin").Op(0x4E).Trace();
    a.Stop();
    FlashControl fresh;
    std::vector<std::string> lines;
    fresh.OnTrace = [&lines](const std::string& line) { lines.push_back(line); };
    const fs::path path = folder / ("bounds" + std::to_string(version) + ".swf");
    const Bytes movie = Movie({a}, version);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(movie.data()), movie.size());
    ASSERT_TRUE(fresh.LoadMovie(0, path.string()));
    fresh.Tick();
    EXPECT_EQ(lines, (std::vector<std::string>{version >= 8 ? "6710886.4" : "6710886.35"})) << version;
  }
}

TEST_F(ClipsTest, Delete2FollowsPathsToTheMemberItDeletes) {
  Actions a;
  a.PushString("o").PushNumber(0).PushString("Object").Op(0x40).SetVariable();  // o = new Object()
  a.PushString("o").GetVariable().PushString("a").PushNumber(1).Op(0x4F);     // o.a = 1
  a.PushString("o").GetVariable().PushString("b").PushNumber(2).Op(0x4F);     // o.b = 2
  a.PushString("s").PushString("text").SetVariable();                          // s = "text"
  a.PushString("o.a").Op(0x3B).Trace();
  a.PushString("o:b").Op(0x3B).Trace();
  a.PushString("o.a").GetVariable().Trace();
  a.PushString("s.length").Op(0x3B).Trace();   // through a primitive: the player's warning
  a.PushString("nothing.x").Op(0x3B).Trace();  // through nothing: just false
  a.Stop();
  Run(Movie({a}, 7), 1);
  EXPECT_EQ(traces, (std::vector<std::string>{
                        "true", "true", "undefined",
                        "Parameters of primitive types are no longer coerced into the required type - Object.", "false",
                        "false"}));
}

// Variable paths: a dot after a slash or colon path names the member; dots separate
// clips only before the first slash; a child clip wins over a variable of its name
// on the way, the last name is a variable first.
TEST_F(ClipsTest, PathsSplitAtTheirLastDotOrColonAndWalkChildrenFirst) {
  Actions a;
  CreateClip(a, "a", 1);
  a.PushNumber(1).PushString("b");
  CallOn(a, "a", 2, "createEmptyMovieClip");
  // _root.a.b.createEmptyMovieClip("c", 1)
  a.PushNumber(1).PushString("c").PushNumber(2).PushString("_root").GetVariable().PushString("a").Op(0x4E);
  a.PushString("b").Op(0x4E).PushString("createEmptyMovieClip").Op(0x52).Op(0x17);
  a.PushString("_root").GetVariable().PushString("a").Op(0x4E).PushString("b").Op(0x4E).PushString("x").PushNumber(5).Op(0x4F);
  a.PushString("_root").GetVariable().PushString("a").Op(0x4E).PushString("b").Op(0x4E).PushString("c").Op(0x4E);
  a.PushString("x").PushNumber(7).Op(0x4F);
  a.PushString("a").PushString("a variable").SetVariable();  // a variable beside the child a
  for (const char* path : {"a", "a.b", "a/b.x", "a:b.x", "a/b.c.x", "a.b/c.x", "a.b/x"})
    a.PushString(path).GetVariable().Trace();
  a.Stop();
  Run(Movie({a}, 7), 1);
  EXPECT_EQ(traces, (std::vector<std::string>{"a variable", "_level0.a.b", "5", "5", "undefined", "7", "undefined"}));
}

// The part of a variable path before its last colon or dot names the holder; with only
// slashes the whole text is one name. Target paths (GetProperty here) skip colons before
// a part but not an empty last part, step up with "..", and know no `this`.
TEST_F(ClipsTest, VariableAndTargetPathsFollowThePlayersSplitting) {
  Actions a;
  CreateClip(a, "a", 1);
  a.PushNumber(1).PushString("b");
  CallOn(a, "a", 2, "createEmptyMovieClip");
  a.PushString("a/x").PushNumber(1).SetVariable();  // a variable named "a/x" of the root
  a.PushString("a:y").PushNumber(2).SetVariable();  // a.y
  for (const char* path : {"a/x", "a:x", "a::y", "a:", "a/..:a", "this.a.b"}) a.PushString(path).GetVariable().Trace();
  TraceMember(a, "a", "y");
  for (const char* path : {"a:", "a::", "a/../a:b", "this.a", "a.b", "::a.:b"})
    a.PushString(path).PushNumber(13).Op(0x22).Trace();  // getProperty(path, _name)
  a.Stop();
  Run(Movie({a}, 8), 1);
  EXPECT_EQ(traces, (std::vector<std::string>{"1", "undefined", "2", "undefined", "_level0.a", "_level0.a.b", "2",
                                              "a", "undefined", "b", "undefined", "b", "b"}));
}

// SWF 4 code splits variable paths at colons only and walks target paths by slashes: a
// level may open the path (anything after its digits ignored), _root and colons inside
// a part name nothing.
TEST_F(ClipsTest, Swf4PathsKnowSlashesLevelsAndColonsOnly) {
  Bytes sprite = testing::ShowFrame();
  testing::PutBytes(sprite, testing::End());
  Bytes tags = testing::DefineSprite(1, 1, sprite);
  testing::Place place;
  place.character = 1;
  place.name = "a";
  testing::PutBytes(tags, testing::PlaceObject2(place));
  Actions a;
  a.PushString("a:v").PushString("set").SetVariable();
  for (const char* path : {"a:v", "a.v", "/a:v"}) a.PushString(path).GetVariable().Trace();
  for (const char* path : {"_flash0/a", "_level0:x/a", "a/../a", "a:", "_root/a", "//a"})
    a.PushString(path).PushNumber(13).Op(0x22).Trace();
  a.Stop();
  testing::PutBytes(tags, a.Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  Run(testing::MakeMovie(tags, 100, 100, 1, 4, 30), 1);
  EXPECT_EQ(traces, (std::vector<std::string>{"set", "undefined", "set", "a", "a", "a", "undefined", "undefined",
                                              "undefined"}));
}

// A flag of startDrag counts only when its number is 1 as an integer: with "7" for the
// constraint no rectangle is taken from the stack.
TEST_F(ClipsTest, StartDragFlagsAreSetOnlyByOne) {
  Actions a;
  CreateClip(a, "c", 1);
  a.PushString("rest");
  for (double v : {1.0, 2.0, 3.0, 4.0}) a.PushNumber(v);
  a.PushString("7").PushString("1").PushString("c").Op(0x27).Op(0x28);  // startDrag("c", "1", "7"), stopDrag
  a.Trace();  // the rectangle is still there
  a.PushNumber(5).PushString("1").PushString("2").PushString("c").Op(0x27).Op(0x28);  // constrained: takes 5, 3, 2, 1
  a.Trace();
  a.Stop();
  Run(Movie({a}, 8), 1);
  EXPECT_EQ(traces, (std::vector<std::string>{"4", "rest"}));
}

// Clips compare by their paths: a clip and another that took its name at another depth
// are equal, clips of different names are not.
TEST_F(ClipsTest, ClipsAtTheSamePathAreEqual) {
  Actions a;
  a.PushString("first").PushNumber(1).PushString("x").PushNumber(2).PushString("_root").GetVariable();
  a.PushString("createEmptyMovieClip").Op(0x52).SetVariable();
  a.PushString("second").PushNumber(2).PushString("x").PushNumber(2).PushString("_root").GetVariable();
  a.PushString("createEmptyMovieClip").Op(0x52).SetVariable();
  a.PushString("other").PushNumber(3).PushString("y").PushNumber(2).PushString("_root").GetVariable();
  a.PushString("createEmptyMovieClip").Op(0x52).SetVariable();
  a.PushString("first").GetVariable().PushString("second").GetVariable().Op(0x66).Trace();
  a.PushString("first").GetVariable().PushString("second").GetVariable().Op(0x49).Trace();
  a.PushString("first").GetVariable().PushString("other").GetVariable().Op(0x66).Trace();
  a.Stop();
  Run(Movie({a}, 8), 1);
  EXPECT_EQ(traces, (std::vector<std::string>{"true", "true", "false"}));
}

// Timers run for the time up to the next frame: an interval shorter than a frame fires
// as often as it fell due. A 7 ms interval made in the first 33.3 ms frame is due four
// times before the second frame, then five times in each frame (loading runs a frame).
TEST_F(ClipsTest, TimersCatchUpOnTheTimeOfAFrame) {
  Actions a;
  a.PushString("n").PushNumber(0).SetVariable();
  a.PushString("_root").GetVariable().PushString("tick");
  Bytes header;
  testing::PutString(header, "");
  testing::PutU16(header, 0);
  Actions body;
  body.PushString("n").PushString("n").GetVariable().Op(0x50).SetVariable();
  body.PushString("tick ").PushString("n").GetVariable().Op(0x47).Trace();
  testing::PutU16(header, static_cast<std::uint16_t>(body.Data().size()));
  a.OpWith(0x9B, header).Raw(body.Data()).Op(0x4F);
  a.PushNumber(7).PushString("_root").GetVariable().PushString("tick").Op(0x4E);
  a.PushNumber(2).PushString("setInterval").Op(0x3D).Op(0x17);
  a.Stop();
  Run(Movie({a}, 8), 1);
  ASSERT_EQ(traces.size(), 9u);
  EXPECT_EQ(traces.back(), "tick 9");
  control.Tick();
  EXPECT_EQ(traces.size(), 14u);
}

// _rotation keeps angles within -180..180 (180 itself stays), whatever a script sets.
TEST_F(ClipsTest, RotationWrapsIntoAHalfTurnEitherWay) {
  Actions a;
  for (double degrees : {270.0, -270.0, 180.0, 540.0, -180.0, 725.0}) {
    a.PushString("").PushNumber(10).PushNumber(degrees).Op(0x23);  // setProperty("", _rotation, degrees)
    a.PushString("").PushNumber(10).Op(0x22).Trace();                // trace(getProperty("", _rotation))
  }
  Run(Movie({a}), 0);
  EXPECT_EQ(traces, (std::vector<std::string>{"-90", "90", "180", "180", "-180", "5"}));
}

// getNextHighestDepth counts only depths from 0 up: a clip whose children all sit below
// 0 answers 0.
TEST_F(ClipsTest, NextHighestDepthPassesOverNegativeDepths) {
  Actions a;
  const auto traceNext = [&] { CallRoot(a, 0, "getNextHighestDepth").Trace(); };
  traceNext();
  CreateClip(a, "low", -5);
  traceNext();
  CreateClip(a, "high", 7);
  traceNext();
  Run(Movie({a}, 7), 0);
  EXPECT_EQ(traces, (std::vector<std::string>{"0", "0", "8"}));
}

}  // namespace
}  // namespace vantrel::flash
