// What a frame's scripts share and see of the display list: the stack that lives from
// one action block to the next, variables bound to text fields, and references to
// clips that have gone.
#include <gtest/gtest.h>

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
  Bytes body;
  testing::PutU16(body, 1);
  testing::PutBytes(body, testing::RectRecord(0, 2000, 0, 400));
  testing::PutU8(body, text.empty() ? 0 : 0x80);
  testing::PutU8(body, 0);
  testing::PutString(body, variable);
  if (!text.empty()) testing::PutString(body, text);
  Bytes tags;
  testing::PutBytes(tags, testing::Tag(37, body));
  testing::Place place;
  place.depth = 1;
  place.character = 1;
  place.name = "f";
  testing::PutBytes(tags, testing::PlaceObject2(place));
  testing::PutBytes(tags, actions.Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  return StartMovie(tags, 1, 6);
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

TEST(FrameScripts, AReferenceToARemovedClipIsStillAMovieClip) {
  Actions a;
  a.PushString("k").PushNumber(5).PushString("c").PushNumber(2);
  testing::PushTarget(a, "_root");
  a.PushString("createEmptyMovieClip").Op(0x52).SetVariable();
  testing::Call(a, "k", "removeMovieClip", {});
  a.PushString("k").GetVariable().Op(0x44).Trace();  // typeof k
  a.PushString("k").GetVariable().PushString("_name").Op(0x4E).Trace();  // nothing stands there
  Bytes tags;
  testing::PutBytes(tags, a.Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1);
  ASSERT_TRUE(run->player);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"movieclip", "undefined"}));
}

// A dragged clip's _droptarget is the clip whose own content is topmost under the mouse
// (a shape of the outer clip above its child answers for the outer clip), and stays
// once the drag ends.
TEST(FrameScripts, DropTargetIsTheClipOfTheTopmostContentAndOutlivesTheDrag) {
  Bytes tags = testing::DefineRectangle(1, 0, 0, 400, 400, 255, 0, 0);  // 20 x 20 px
  Bytes inner;
  testing::Place place;
  place.character = 1;
  testing::PutBytes(inner, testing::PlaceObject2(place));
  testing::PutBytes(inner, testing::ShowFrame());
  testing::PutBytes(inner, testing::End());
  testing::PutBytes(tags, testing::DefineSprite(2, 1, inner));
  Bytes outer;
  place = {};
  place.character = 2;
  place.name = "inner";
  testing::PutBytes(outer, testing::PlaceObject2(place));
  place = {};
  place.depth = 2;
  place.character = 1;
  place.hasMatrix = true;
  place.x = 200;  // covers the right half of inner
  testing::PutBytes(outer, testing::PlaceObject2(place));
  testing::PutBytes(outer, testing::ShowFrame());
  testing::PutBytes(outer, testing::End());
  testing::PutBytes(tags, testing::DefineSprite(3, 1, outer));
  place = {};
  place.character = 3;
  place.name = "outer";
  testing::PutBytes(tags, testing::PlaceObject2(place));
  place = {};
  place.depth = 2;
  place.character = 2;
  place.name = "dragged";
  place.hasMatrix = true;
  place.x = 1600;
  testing::PutBytes(tags, testing::PlaceObject2(place));
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
