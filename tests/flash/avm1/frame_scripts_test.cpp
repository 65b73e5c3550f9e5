// What a frame's scripts share and see of the display list: the stack that lives from
// one action block to the next, variables bound to text fields, and references to
// clips that have gone.
#include <gtest/gtest.h>

#include <algorithm>

#include "../movie_test_support.h"
#include "flash/avm1/display_binding.h"
#include "flash/avm1/movie_host.h"
#include "flash/display/text_field.h"

namespace vantrel::flash {
namespace {

using testing::Actions;
using testing::Bytes;

// What a block leaves on the stack is there for the next block of the same frame (in
// this clip or another), and gone in the next frame.
TEST(FrameScripts, ActionBlocksShareTheStackUntilTheFrameEnds) {
  Bytes tags;
  testing::PutBytes(tags, Actions().PushString("bottom").PushString("top").Tag());
  testing::PutBytes(tags, Actions().Trace().Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, Actions().Trace().Stop().Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 2);
  ASSERT_TRUE(run->player);
  run->player->Tick();
  EXPECT_EQ(run->traces, (std::vector<std::string>{"top", "undefined"}));
}

// A field "f" bound to variable with initial text, then the frame's actions.
std::unique_ptr<RunningMovie> BoundField(const std::string& variable, const std::string& text, const Actions& actions) {
  return StartFieldMovie({.text = text, .version = 6, .variable = variable, .actions = actions.Tag()});
}

Actions& TraceFieldText(Actions& a) {
  testing::PushTarget(a, "f");
  return a.PushString("text").Op(0x4E).Trace();
}

TEST(FrameScripts, AVariableSetOnTheClipShowsInItsFieldAtOnce) {
  Actions a;
  a.PushString("v").PushString("now").SetVariable();
  TraceFieldText(a);
  auto run = BoundField("v", "start", a);
  ASSERT_TRUE(run->player);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"now"}));
}

// "o.v" binds to the member of a plain object; setting the text writes it there, and an
// empty field does not make the variable.
TEST(FrameScripts, BoundPathsGoThroughPlainObjectsAndEmptyFieldsMakeNoVariable) {
  Actions a;
  a.PushString("o").PushNumber(0).Op(0x43).SetVariable();  // o = {}
  testing::PushTarget(a, "f");
  a.PushString("text").PushString("typed").Op(0x4F);  // f.text = "typed"
  a.PushString("o.v").GetVariable().Trace();
  auto run = BoundField("o.v", "", a);
  ASSERT_TRUE(run->player);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"typed"}));

  auto empty = BoundField("w", "", Actions());
  ASSERT_TRUE(empty->player);
  auto& m = avm1::HostOf(*empty->player).Machine();
  EXPECT_FALSE(m.Has(avm1::ScriptObjectOf(&empty->player->Root()), "w"));
}

// Going back to frame 1 clears the timeline's depths of what a script put there; going
// past the last frame stops on it without running its actions.
TEST(FrameScripts, ARewindClearsScriptClipsAtTimelineDepthsAndAGotoPastTheEndRunsNothing) {
  Bytes tags;
  testing::PutBytes(tags, Actions().TraceString("frame 1").Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  Actions second;
  second.PushNumber(-100).PushString("e").PushNumber(2);
  testing::PushTarget(second, "_root");
  second.PushString("createEmptyMovieClip").Op(0x52).Op(0x17);
  second.PushString("_root").GetVariable().PushString("e").Op(0x4E).Op(0x44).Trace();  // typeof _root.e
  second.GotoFrame(0);
  second.PushString("_root").GetVariable().PushString("e").Op(0x4E).Op(0x44).Trace();
  second.PushNumber(100).OpWith(0x9F, Bytes{0});  // gotoAndStop(100)
  second.PushString("").PushNumber(4).Op(0x22).Trace();  // _currentframe
  testing::PutBytes(tags, second.Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, Actions().TraceString("frame 3").Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 3);
  ASSERT_TRUE(run->player);
  run->player->Tick();
  run->player->Tick();
  ASSERT_GE(run->traces.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(run->traces.begin(), run->traces.begin() + 4),
            (std::vector<std::string>{"frame 1", "movieclip", "undefined", "3"}));
  EXPECT_EQ(std::count(run->traces.begin(), run->traces.end(), "frame 3"), 0);
}

// Inside a tellTarget whose clip is removed, names are read and written on the clip
// whose code runs.
TEST(FrameScripts, VariablesOfATellTargetWhoseClipWentLiveOnTheRunningClip) {
  Actions a;
  a.PushNumber(1).PushString("t").PushNumber(2);
  testing::PushTarget(a, "_root");
  a.PushString("createEmptyMovieClip").Op(0x52).Op(0x17);
  testing::SetTarget(a, "t");
  testing::Call(a, "_root.t", "removeMovieClip", {});
  a.PushString("v").PushString("here").SetVariable();
  a.PushString("v").GetVariable().Trace();
  testing::SetTarget(a, "");
  a.PushString("v").GetVariable().Trace();
  auto run = StartFrameScript(a);
  ASSERT_TRUE(run->player);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"here", "here"}));
}

TEST(FrameScripts, AReferenceToARemovedClipIsStillAMovieClip) {
  Actions a;
  a.PushString("k").PushNumber(5).PushString("c").PushNumber(2);
  testing::PushTarget(a, "_root");
  a.PushString("createEmptyMovieClip").Op(0x52).SetVariable();
  testing::Call(a, "k", "removeMovieClip", {});
  a.PushString("k").GetVariable().Op(0x44).Trace();  // typeof k
  a.PushString("k").GetVariable().PushString("_name").Op(0x4E).Trace();  // nothing stands there
  auto run = StartFrameScript(a);
  ASSERT_TRUE(run->player);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"movieclip", "undefined"}));
}

// A dragged clip's _droptarget is the clip whose own content is topmost under the mouse
// (a shape of the outer clip above its child answers for the outer clip), and stays
// once the drag ends.
TEST(FrameScripts, DropTargetIsTheClipOfTheTopmostContentAndOutlivesTheDrag) {
  const auto placeAt = [](Bytes& into, std::uint16_t depth, int character, const char* name, std::int32_t x) {
    testing::Place place;
    place.depth = depth;
    place.character = character;
    place.name = name;
    place.hasMatrix = x != 0;
    place.x = x;
    testing::PutBytes(into, testing::PlaceObject2(place));
  };
  const auto sprite = [](Bytes& into, std::uint16_t id, Bytes frame) {
    testing::PutBytes(frame, testing::ShowFrame());
    testing::PutBytes(frame, testing::End());
    testing::PutBytes(into, testing::DefineSprite(id, 1, frame));
  };
  Bytes tags = testing::DefineRectangle(1, 0, 0, 400, 400, 255, 0, 0);  // 20 x 20 px
  Bytes inner;
  placeAt(inner, 1, 1, "", 0);
  sprite(tags, 2, inner);
  Bytes outer;
  placeAt(outer, 1, 2, "inner", 0);
  placeAt(outer, 2, 1, "", 200);  // covers the right half of inner
  sprite(tags, 3, outer);
  placeAt(tags, 1, 3, "outer", 0);
  placeAt(tags, 2, 2, "dragged", 1600);
  Actions a;
  testing::Call(a, "dragged", "startDrag", {1});
  testing::PutBytes(tags, a.Stop().Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1);
  ASSERT_TRUE(run->player);
  run->player->MouseMove(QPointF(100, 100));
  EXPECT_EQ(RootVariable(*run, "dragged._droptarget"), "/outer/inner");
  run->player->MouseMove(QPointF(300, 100));
  EXPECT_EQ(RootVariable(*run, "dragged._droptarget"), "/outer");
  avm1::StopDrag(avm1::HostOf(*run->player).Machine());
  run->player->MouseMove(QPointF(100, 100));
  EXPECT_EQ(RootVariable(*run, "dragged._droptarget"), "/outer");
  EXPECT_EQ(RootVariable(*run, "outer._droptarget"), "");
}

}  // namespace
}  // namespace vantrel::flash
