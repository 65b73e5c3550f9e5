#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "flash/movie_test_support.h"

namespace vantrel::flash {
namespace {

using testing::Bytes;
using testing::Place;
using testing::PutBytes;

Place At(std::uint16_t depth, int character, std::int32_t x = 0) {
  Place place;
  place.depth = depth;
  place.character = character;
  place.hasMatrix = true;
  place.x = x;
  return place;
}

Place MoveTo(std::uint16_t depth, std::int32_t x) {
  Place place;
  place.depth = depth;
  place.move = true;
  place.hasMatrix = true;
  place.x = x;
  return place;
}

// Frame 1: A at depth 1. Frame 2: A moves, B at depth 2. Frame 3: A removed, B moves.
// Frame 4: A again (a new placement) at depth 1.
Bytes FourFrames() {
  Bytes tags = testing::DefineRectangle(1, 0, 0, 100, 100, 255, 0, 0);
  PutBytes(tags, testing::DefineRectangle(2, 0, 0, 100, 100, 0, 255, 0));
  PutBytes(tags, testing::PlaceObject2(At(1, 1, 20)));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::PlaceObject2(MoveTo(1, 40)));
  PutBytes(tags, testing::PlaceObject2(At(2, 2, 60)));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::RemoveObject2(1));
  PutBytes(tags, testing::PlaceObject2(MoveTo(2, 80)));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::PlaceObject2(At(1, 1, 100)));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  return tags;
}

TEST(Timeline, PlacesMovesAndRemovesFrameByFrame) {
  auto run = StartMovie(FourFrames(), 4);
  MovieClip& root = run->player->Root();
  EXPECT_EQ(root.CurrentFrame(), 0);
  EXPECT_EQ(Depths(root), (std::vector<int>{1}));
  EXPECT_DOUBLE_EQ(ObjectAt(root, 1)->GetMatrix().tx, 20);
  run->player->Tick();
  EXPECT_EQ(Depths(root), (std::vector<int>{1, 2}));
  EXPECT_DOUBLE_EQ(ObjectAt(root, 1)->GetMatrix().tx, 40);
  run->player->Tick();
  EXPECT_EQ(Depths(root), (std::vector<int>{2}));
  EXPECT_DOUBLE_EQ(ObjectAt(root, 2)->GetMatrix().tx, 80);
  run->player->Tick();
  EXPECT_EQ(Depths(root), (std::vector<int>{1, 2}));
  run->player->Tick();  // loops to the first frame: B goes, A is back where frame 1 had it
  EXPECT_EQ(root.CurrentFrame(), 0);
  EXPECT_EQ(Depths(root), (std::vector<int>{1}));
  EXPECT_DOUBLE_EQ(ObjectAt(root, 1)->GetMatrix().tx, 20);
}

TEST(Timeline, AClipAColorHasChangedNoLongerFollowsTheTimelinesMoves) {
  // Two sprites; frame 1 colours "tinted" through a Color, frame 2 moves both.
  Bytes tags = testing::DefineRectangle(1, 0, 0, 100, 100, 255, 0, 0);
  Bytes sprite = testing::PlaceObject2(At(1, 1));
  PutBytes(sprite, testing::ShowFrame());
  PutBytes(sprite, testing::End());
  PutBytes(tags, testing::DefineSprite(2, 1, sprite));
  Place tinted = At(1, 2, 20);
  tinted.name = "tinted";
  Place plain = At(2, 2, 20);
  plain.name = "plain";
  PutBytes(tags, testing::PlaceObject2(tinted));
  PutBytes(tags, testing::PlaceObject2(plain));
  testing::Actions colour;
  colour.PushString("c").PushString("tinted").PushNumber(1).PushString("Color").Op(0x40).SetVariable();
  colour.PushNumber(0xFF00).PushNumber(1).PushString("c").GetVariable().PushString("setRGB").Op(0x52).Op(0x17);
  PutBytes(tags, colour.Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::PlaceObject2(MoveTo(1, 40)));
  PutBytes(tags, testing::PlaceObject2(MoveTo(2, 40)));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 2);
  ASSERT_TRUE(run->player);
  run->player->Tick();
  MovieClip& root = run->player->Root();
  EXPECT_DOUBLE_EQ(ObjectAt(root, 1)->GetMatrix().tx, 20);
  EXPECT_DOUBLE_EQ(ObjectAt(root, 1)->GetColorTransform().addG, 255);
  EXPECT_DOUBLE_EQ(ObjectAt(root, 2)->GetMatrix().tx, 40);
}

TEST(Timeline, SwapDepthsTakesASiblingByPathOrAWrappedAndBoundedDepth) {
  Bytes tags = testing::DefineRectangle(1, 0, 0, 100, 100, 255, 0, 0);
  Bytes sprite = testing::PlaceObject2(At(1, 1));
  PutBytes(sprite, testing::ShowFrame());
  PutBytes(sprite, testing::End());
  PutBytes(tags, testing::DefineSprite(2, 1, sprite));
  for (const auto& [depth, name] : {std::pair<std::uint16_t, const char*>{1, "a"}, {2, "b"}}) {
    Place place = At(depth, 2);
    place.name = name;
    PutBytes(tags, testing::PlaceObject2(place));
  }
  testing::Actions a;
  const auto traceDepth = [&](const char* clip) {
    a.PushNumber(0).PushString(clip).GetVariable().PushString("getDepth").Op(0x52).Trace();
  };
  for (double depth : {4294967297.1, 2130690045.0, -20000.0, std::nan("")}) {
    testing::Call(a, "a", "swapDepths", {depth});
    traceDepth("a");
  }
  // b takes a's place through a path from b; undefined changes nothing.
  a.PushString("../a").PushNumber(1).PushString("b").GetVariable().PushString("swapDepths").Op(0x52).Op(0x17);
  traceDepth("a");
  traceDepth("b");
  a.OpWith(0x96, {3}).PushNumber(1).PushString("a").GetVariable().PushString("swapDepths").Op(0x52).Op(0x17);
  traceDepth("a");
  PutBytes(tags, a.Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1);
  ASSERT_TRUE(run->player);
  EXPECT_EQ(run->traces,
            (std::vector<std::string>{"1", "2130690044", "-16384", "0", "-16382", "0", "-16382"}));
}

TEST(Timeline, GotoRebuildsTheDisplayListBothWays) {
  auto run = StartMovie(FourFrames(), 4);
  MovieClip& root = run->player->Root();
  run->player->GotoFrame(2, false);  // forward over frame 2
  EXPECT_EQ(Depths(root), (std::vector<int>{2}));
  EXPECT_DOUBLE_EQ(ObjectAt(root, 2)->GetMatrix().tx, 80);
  run->player->GotoFrame(1, false);  // backward
  EXPECT_EQ(Depths(root), (std::vector<int>{1, 2}));
  EXPECT_DOUBLE_EQ(ObjectAt(root, 1)->GetMatrix().tx, 40);
  EXPECT_DOUBLE_EQ(ObjectAt(root, 2)->GetMatrix().tx, 60);
  run->player->GotoFrame(3, false);
  EXPECT_EQ(Depths(root), (std::vector<int>{1, 2}));
  EXPECT_DOUBLE_EQ(ObjectAt(root, 1)->GetMatrix().tx, 100);
  run->player->GotoFrame(0, false);
  EXPECT_EQ(Depths(root), (std::vector<int>{1}));
  EXPECT_DOUBLE_EQ(ObjectAt(root, 1)->GetMatrix().tx, 20);
  EXPECT_FALSE(root.Playing());
  run->player->GotoFrame(99, true);  // past the last frame: the clip only plays
  EXPECT_EQ(root.CurrentFrame(), 0);
  EXPECT_TRUE(root.Playing());
}

// ActionScript 3 steps a clip in two halves around the frame's enterFrame event: the
// playhead moves and what goes goes, then the frame's placements are made.
TEST(Timeline, ActionScript3StepsThePlayheadAndRemovesBeforePlacing) {
  Bytes tags = testing::FileAttributes(true);
  PutBytes(tags, FourFrames());
  auto run = StartMovie(tags, 4, 9);
  MovieClip& root = run->player->Root();
  ASSERT_EQ(root.CurrentFrame(), 0);
  root.AdvanceFrame();
  EXPECT_EQ(root.CurrentFrame(), 1);
  EXPECT_DOUBLE_EQ(ObjectAt(root, 1)->GetMatrix().tx, 20);  // the move waits too
  EXPECT_EQ(Depths(root), (std::vector<int>{1}));
  root.RunFrame();
  EXPECT_EQ(Depths(root), (std::vector<int>{1, 2}));
  EXPECT_DOUBLE_EQ(ObjectAt(root, 1)->GetMatrix().tx, 40);
  root.AdvanceFrame();
  EXPECT_EQ(Depths(root), (std::vector<int>{2}));
  root.RunFrame();
  EXPECT_DOUBLE_EQ(ObjectAt(root, 2)->GetMatrix().tx, 80);
  root.AdvanceFrame();
  root.RunFrame();
  EXPECT_EQ(Depths(root), (std::vector<int>{1, 2}));
  // Back to the first frame: B and frame 4's A go before the event, frame 1's A comes after.
  root.AdvanceFrame();
  EXPECT_EQ(root.CurrentFrame(), 0);
  EXPECT_TRUE(Depths(root).empty());
  root.RunFrame();
  EXPECT_EQ(Depths(root), (std::vector<int>{1}));
  EXPECT_DOUBLE_EQ(ObjectAt(root, 1)->GetMatrix().tx, 20);
  // A goto while the placements wait takes the waiting frame's into account.
  root.AdvanceFrame();
  root.GotoFrame(2, false);
  EXPECT_EQ(Depths(root), (std::vector<int>{2}));
  EXPECT_DOUBLE_EQ(ObjectAt(root, 2)->GetMatrix().tx, 80);
  root.RunFrame();  // nothing is left to place
  EXPECT_EQ(Depths(root), (std::vector<int>{2}));
  // A whole tick ends with the frame built, as before.
  root.Play();
  run->player->Tick();
  EXPECT_EQ(root.CurrentFrame(), 3);
  EXPECT_EQ(Depths(root), (std::vector<int>{1, 2}));
}

// A three-frame sprite placed on frame 1 of a two-frame root, and a script in the
// sprite's first frame.
Bytes SpriteMovie() {
  Bytes spriteTags;
  PutBytes(spriteTags, testing::Actions().TraceString("sprite frame 1").Tag());
  PutBytes(spriteTags, testing::ShowFrame());
  PutBytes(spriteTags, testing::ShowFrame());
  PutBytes(spriteTags, testing::ShowFrame());
  PutBytes(spriteTags, testing::End());
  Bytes tags = testing::DefineSprite(5, 3, spriteTags);
  Place place = At(1, 5);
  place.name = "clip";
  PutBytes(tags, testing::PlaceObject2(place));
  PutBytes(tags, testing::Actions().TraceString("root frame 1").Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::FrameLabel("Second"));
  PutBytes(tags, testing::Actions().TraceString("root frame 2").Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  return tags;
}

TEST(Timeline, SpritesAdvanceWithTheRootAndKeepTheirPlayheadOverABackwardGoto) {
  auto run = StartMovie(SpriteMovie(), 2);
  MovieClip& root = run->player->Root();
  auto* clip = static_cast<MovieClip*>(root.ChildByName("CLIP", false));
  ASSERT_NE(clip, nullptr);
  EXPECT_EQ(clip->CurrentFrame(), 0);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"sprite frame 1", "root frame 1"}));
  run->player->Tick();
  EXPECT_EQ(clip->CurrentFrame(), 1);
  run->player->Tick();  // root loops; the sprite was placed on frame 1 and stays
  EXPECT_EQ(root.CurrentFrame(), 0);
  ASSERT_EQ(root.ChildByName("clip", false), clip);
  EXPECT_EQ(clip->CurrentFrame(), 2);
  run->player->Tick();
  EXPECT_EQ(clip->CurrentFrame(), 0);  // the sprite loops on its own
  // The newer clip runs first in a frame: the sprite's actions before the root's.
  ASSERT_GE(run->traces.size(), 2u);
  EXPECT_EQ(run->traces[run->traces.size() - 2], "sprite frame 1");
  EXPECT_EQ(run->traces.back(), "root frame 2");
  EXPECT_EQ(root.GetTimeline()->FindLabel("second"), 1);
  EXPECT_EQ(root.GetTimeline()->FindLabel("third"), -1);
}

TEST(Timeline, LoopingOffStopsTheRootAtItsLastFrame) {
  auto run = StartMovie(FourFrames(), 4);
  run->player->loop = false;
  for (int i = 0; i < 6; ++i) run->player->Tick();
  EXPECT_EQ(run->player->Root().CurrentFrame(), 3);
  EXPECT_FALSE(run->player->Root().Playing());
}

TEST(Timeline, AFileThatEndsEarlyWaitsAtItsLastFrame) {
  Bytes tags = testing::Actions().TraceString("first").Tag();
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::Actions().TraceString("second").Tag());
  PutBytes(tags, testing::ShowFrame());
  auto run = StartMovie(tags, 5);  // the header promises five frames
  for (int i = 0; i < 5; ++i) run->player->Tick();
  EXPECT_EQ(run->player->Root().TotalFrames(), 5);
  EXPECT_EQ(run->player->Root().CurrentFrame(), 1);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"first", "second"}));
}

TEST(Timeline, ASpriteThatPlacesItselfStopsAtTheNestingLimit) {
  Bytes spriteTags = testing::PlaceObject2(At(1, 3));
  PutBytes(spriteTags, testing::PlaceObject2(At(2, 3)));
  PutBytes(spriteTags, testing::ShowFrame());
  PutBytes(spriteTags, testing::End());
  Bytes tags = testing::DefineSprite(3, 1, spriteTags);
  PutBytes(tags, testing::PlaceObject2(At(1, 3)));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1);  // two copies per level: only the creation cap ends it
  run->player->Tick();
  EXPECT_EQ(Depths(run->player->Root()), (std::vector<int>{1}));
}

// tellTarget to a name that leads nowhere hands gotos and variables to the root; a frame
// that is not a number is frame 0 (NaN included), so the root starts over and plays.
TEST(Timeline, AJumpPlacesClipsInTimelineOrderNotDepthOrder) {
  Bytes tags;
  for (std::uint16_t id : {3, 4}) {
    Bytes spriteTags = testing::Actions().TraceString(id == 3 ? "placed first, above" : "placed second, below").Tag();
    PutBytes(spriteTags, testing::ShowFrame());
    PutBytes(spriteTags, testing::End());
    PutBytes(tags, testing::DefineSprite(id, 1, spriteTags));
  }
  PutBytes(tags, testing::Actions().OpWith(0x81, {3, 0}).Stop().Tag());  // gotoAndStop(4)
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::PlaceObject2(At(5, 3)));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::PlaceObject2(At(2, 4)));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 4);
  EXPECT_EQ(run->player->Root().CurrentFrame(), 3);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"placed first, above", "placed second, below"}));
}

TEST(Timeline, APlacementOnAnOccupiedDepthIsRefusedWithAWarning) {
  Bytes tags = testing::DefineRectangle(1, 0, 0, 100, 100, 255, 0, 0);
  PutBytes(tags, testing::DefineRectangle(2, 0, 0, 100, 100, 0, 255, 0));
  PutBytes(tags, testing::PlaceObject2(At(1, 1)));
  PutBytes(tags, testing::PlaceObject2(At(1, 2)));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1);
  const DisplayObject* kept = run->player->Root().ChildAt(1 - 16384);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->characterId, 1);
  EXPECT_EQ(run->traces, std::vector<std::string>{"Warning: Failed to place object at depth 1."});
}

TEST(Timeline, ATellTargetThatFindsNothingActsOnTheRoot) {
  auto setTarget = [](const std::string& path) {
    Bytes data;
    testing::PutString(data, path);
    return data;
  };
  testing::Actions sprite;
  sprite.OpWith(0x8B, setTarget("nothing_here"));
  sprite.PushString("n").PushNumber(3).Op(0x3C);  // var n = 3
  sprite.PushString("n").GetVariable().OpWith(0x9F, {0});  // gotoAndStop(n)
  sprite.OpWith(0x8B, setTarget(""));
  Bytes spriteTags = sprite.Tag();
  PutBytes(spriteTags, testing::ShowFrame());
  PutBytes(spriteTags, testing::End());
  Bytes tags = testing::DefineSprite(3, 1, spriteTags);
  PutBytes(tags, testing::Actions().Stop().Tag());
  PutBytes(tags, testing::PlaceObject2(At(1, 3)));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::Actions().TraceString("root frame 3").Tag());
  PutBytes(tags, testing::ShowFrame());
  auto run = StartMovie(tags, 3, 7);
  EXPECT_EQ(RootVariable(*run, "n"), "3");
  EXPECT_EQ(run->player->Root().CurrentFrame(), 2);  // counted from 0
  EXPECT_EQ(run->traces, (std::vector<std::string>{"root frame 3"}));

  Bytes rootTags = testing::Actions().Stop().Tag();
  PutBytes(rootTags, testing::ShowFrame());
  PutBytes(rootTags, testing::Actions().TraceString("root frame 2").Stop().Tag());
  PutBytes(rootTags, testing::ShowFrame());
  auto run2 = StartMovie(rootTags, 2, 7);
  testing::Actions gotoNaN;
  gotoNaN.PushNumber(0).PushNumber(0).Op(0x0D).OpWith(0x9F, {1}).Op(0);  // gotoAndPlay(0/0)
  avm1::HostOf(*run2->player).Machine().RunBlock(std::make_shared<const std::vector<std::uint8_t>>(gotoNaN.Data()),
                                   avm1::ScriptObjectOf(&run2->player->Root()), 7);
  run2->player->Tick();
  // NaN names no frame ("NaN" is no label): the root neither moves nor plays.
  EXPECT_EQ(run2->traces, std::vector<std::string>{});
  EXPECT_FALSE(run2->player->Root().Playing());
}

// PlaceObject2 of character at depth named name, with onClipEvent handlers that trace:
// (event bits, text) pairs. allEvents is the union the tag declares (by default that of
// the handlers).
Bytes PlaceWithHandlers(std::uint16_t depth, std::uint16_t character, const std::string& name,
                        const std::vector<std::pair<std::uint32_t, std::string>>& handlers,
                        std::optional<std::uint32_t> allEvents = std::nullopt) {
  Bytes body{0x80 | 0x20 | 0x02};  // clip actions, name, character
  testing::PutU16(body, depth);
  testing::PutU16(body, character);
  testing::PutString(body, name);
  testing::PutU16(body, 0);
  std::uint32_t all = 0;
  for (const auto& [events, text] : handlers) all |= events;
  testing::PutU32(body, allEvents.value_or(all));
  for (const auto& [events, text] : handlers) {
    Bytes code = testing::Actions().TraceString(text).Data();
    code.push_back(0);
    testing::PutU32(body, events);
    testing::PutU32(body, static_cast<std::uint32_t>(code.size()));
    PutBytes(body, code);
  }
  testing::PutU32(body, 0);
  return testing::Tag(26, body);
}

// A placed clip's initialize and construct events come before those of the children its
// first frame places; getBytesTotal of a sprite counts its own tags.
TEST(Timeline, ParentClipEventsOfPlacementComeBeforeItsChildrens) {
  constexpr std::uint32_t kInitialize = 0x200, kConstruct = 0x40000;
  Bytes inner;
  PutBytes(inner, testing::ShowFrame());
  PutBytes(inner, testing::End());
  Bytes tags = testing::DefineSprite(1, 1, inner);
  Bytes outer = PlaceWithHandlers(1, 1, "child", {{kInitialize, "child initialize"}, {kConstruct, "child construct"}});
  PutBytes(outer, testing::ShowFrame());
  PutBytes(outer, testing::End());
  const std::size_t outerTags = outer.size();
  PutBytes(tags, testing::DefineSprite(2, 1, outer));
  PutBytes(tags, PlaceWithHandlers(1, 2, "outer", {{kInitialize, "outer initialize"}, {kConstruct, "outer construct"}}));
  testing::Actions bytes;
  bytes.PushNumber(0).PushString("outer").GetVariable().PushString("getBytesTotal").Op(0x52).Trace();
  PutBytes(tags, bytes.Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1, 8);
  EXPECT_EQ(run->traces, (std::vector<std::string>{"outer initialize", "child initialize", "outer construct",
                                                   "child construct", std::to_string(outerTags)}));
}

// A handler runs only for the events that are also in the tag's union of events.
TEST(Timeline, ClipHandlersRunOnlyForEventsTheTagDeclaresForAll) {
  constexpr std::uint32_t kEnterFrame = 0x02, kInitialize = 0x200, kConstruct = 0x40000;
  Bytes inner;
  PutBytes(inner, testing::ShowFrame());
  PutBytes(inner, testing::End());
  Bytes tags = testing::DefineSprite(1, 1, inner);
  const std::vector<std::pair<std::uint32_t, std::string>> handlers = {
      {kInitialize | kConstruct, "both"}, {kConstruct, "construct"}, {kEnterFrame, "enterFrame"}};
  PutBytes(tags, PlaceWithHandlers(1, 1, "some", handlers, kInitialize));
  PutBytes(tags, PlaceWithHandlers(2, 1, "none", handlers, 0));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1, 8);
  run->player->Tick();
  EXPECT_EQ(run->traces, (std::vector<std::string>{"both"}));
}

// A placed clip's load event comes before its first frame's scripts (and before the
// events of the children that frame places); a removed clip's children unload before
// it, and what was queued for it earlier in that frame (enterFrame) no longer runs.
TEST(Timeline, LoadBeforeTheFirstFrameAndUnloadFromTheInside) {
  constexpr std::uint32_t kLoad = 0x01, kEnterFrame = 0x02, kUnload = 0x04;
  Bytes inner = testing::Actions().TraceString("child frame 1").Tag();
  PutBytes(inner, testing::ShowFrame());
  PutBytes(inner, testing::End());
  Bytes tags = testing::DefineSprite(1, 1, inner);
  Bytes outer = testing::Actions().TraceString("clip frame 1").Tag();
  PutBytes(outer, PlaceWithHandlers(1, 1, "child",
                                    {{kLoad, "child load"}, {kEnterFrame, "child enterFrame"}, {kUnload, "child unload"}}));
  PutBytes(outer, testing::ShowFrame());
  PutBytes(outer, testing::End());
  PutBytes(tags, testing::DefineSprite(2, 1, outer));
  PutBytes(tags, PlaceWithHandlers(1, 2, "clip",
                                   {{kLoad, "clip load"}, {kEnterFrame, "clip enterFrame"}, {kUnload, "clip unload"}}));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::RemoveObject2(1));
  PutBytes(tags, testing::Actions().TraceString("root frame 3").Stop().Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 3, 8);
  run->player->Tick();
  run->player->Tick();
  EXPECT_EQ(run->traces, (std::vector<std::string>{"clip load", "clip frame 1", "child load", "child frame 1",
                                                   "child enterFrame", "clip enterFrame", "child unload",
                                                   "clip unload", "root frame 3"}));
}

// attachMovie copies its init object's properties in the order they were made, so the
// new clip lists them (most recent first) as the init object does.
TEST(Timeline, AttachMovieCopiesTheInitObjectInTheOrderItWasMade) {
  Bytes tags = testing::DefineSprite(1, 1, testing::End());
  PutBytes(tags, testing::Tag(56, {1, 0, 1, 0, 's', 'y', 'm', 0}));  // ExportAssets: 1 as "sym"
  testing::Actions a;
  a.PushString("init").PushNumber(0).PushString("Object").Op(0x40).SetVariable();
  a.PushString("init").GetVariable().PushString("a").PushNumber(1).Op(0x4F);
  a.PushString("init").GetVariable().PushString("b").PushNumber(2).Op(0x4F);
  a.PushString("init").GetVariable().PushNumber(1).PushString("c").PushString("sym").PushNumber(4);
  a.PushString("this").GetVariable().PushString("attachMovie").Op(0x52).Op(0x17);
  PutBytes(tags, a.Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 1, 8);
  DisplayObject* clip = run->player->Root().ChildAt(1);
  ASSERT_TRUE(clip);
  auto& machine = avm1::HostOf(*run->player).Machine();
  EXPECT_EQ(machine.Enumerate(avm1::ScriptObjectOf(clip)), (std::vector<std::string>{"b", "a"}));
}

// A scale changes its own column of the matrix and nothing else; a scale set to NaN
// reads back as NaN and counts as 0 there, and a NaN rotation leaves the matrix.
TEST(Timeline, ScalesAndRotationSetByScriptsKeepTheRestOfTheMatrix) {
  auto run = StartMovie(FourFrames(), 4);
  DisplayObject* a = ObjectAt(run->player->Root(), 1);
  ASSERT_TRUE(a);
  Matrix skewed;
  skewed.a = 2, skewed.b = 0, skewed.c = 4, skewed.d = 0, skewed.tx = 100, skewed.ty = 120;
  a->SetMatrix(skewed);
  a->SetXScale(300);
  EXPECT_DOUBLE_EQ(a->GetMatrix().a, 3);
  EXPECT_EQ(a->GetMatrix().c, 4);
  EXPECT_EQ(a->GetMatrix().d, 0);  // exactly: the other column is not recomputed
  a->SetRotation(std::nan(""));
  EXPECT_TRUE(std::isnan(a->Rotation()));
  EXPECT_DOUBLE_EQ(a->GetMatrix().a, 3);
  EXPECT_EQ(a->GetMatrix().c, 4);
  a->SetYScale(std::nan(""));
  EXPECT_TRUE(std::isnan(a->YScale()));
  EXPECT_EQ(a->GetMatrix().c, 0);
  EXPECT_EQ(a->GetMatrix().d, 0);
  EXPECT_DOUBLE_EQ(a->GetMatrix().a, 3);
  EXPECT_DOUBLE_EQ(a->GetMatrix().tx, 100);
}

}  // namespace
}  // namespace vantrel::flash
