// SimpleButton: the state objects a library button makes from its records, the states a
// script gives, the state the pointer shows and the hit test state that takes the clicks.
#include <gtest/gtest.h>

#include "script_movie.h"

namespace vantrel::flash::avm2 {
namespace {

using namespace vantrel::testing;
using Lines = std::vector<std::string>;

void NamedSquare(Code& code, std::uint8_t local, const std::string& name, std::int32_t size) {
  code.New("flash.display", "Sprite", local).Set(L(local), "name", S(name));
  code.Draw(local, "beginFill", {0}).Draw(local, "drawRect", {0, 0, size, size});
}

TEST(Avm2SimpleButton, ALibraryButtonMakesAnObjectPerStateAndASpriteWhereAStateHasSeveral) {
  Bytes extra = DefineRectangle(1, 0, 0, 800, 800, 255, 0, 0);
  PutBytes(extra, DefineRectangle(2, 0, 0, 400, 400, 0, 255, 0));
  // up: two records; over: one; down and hit test: one record shared by both.
  PutBytes(extra, DefineButton2(3, {testing::ButtonRecord(0x01, 1, 1), testing::ButtonRecord(0x01, 2, 2), testing::ButtonRecord(0x02, 2, 1),
                                    testing::ButtonRecord(0x04 | 0x08, 1, 1)},
                                {}));
  Place place;
  place.character = 3;
  place.name = "button";
  PutBytes(extra, PlaceObject2(place));
  AbcWriter w;
  Code code{w};
  code.Keep(1, L(0), "getChildAt", {I(0)});
  code.Trace(L(1)).Trace(L(1), "upState").Trace(L(1), "upState.numChildren").Trace(L(1), "upState.parent");
  code.Trace(L(1), "overState").Trace(L(1), "overState.parent").Trace(L(1), "hitTestState");
  // The shown state is under the stage though scripts see no parent above it.
  code.Trace(L(1), "upState.stage").Trace(L(1), "overState.stage");
  // down and hit test come from the same record but are objects of their own.
  code.Push(L(1)).OpName(0x66, w.Name("downState")).SetLocal(2);
  code.Set(L(2), "name", S("down")).Trace(L(1), "downState.name").Trace(L(1), "hitTestState.name");
  const Lines lines = RunDocument(w, code, {}, extra);
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], "[object SimpleButton]");
  EXPECT_EQ(lines[1], "[object Sprite]");
  EXPECT_EQ(lines[2], "2");
  EXPECT_EQ(lines[3], "null");
  EXPECT_EQ(lines[4], "[object Shape]");
  EXPECT_EQ(lines[5], "null");
  EXPECT_EQ(lines[6], "[object Shape]");
  EXPECT_EQ(lines[7], "[object Stage]");
  EXPECT_EQ(lines[8], "null");
  EXPECT_EQ(lines[9], "down");
  EXPECT_NE(lines[10], "down");
}

TEST(Avm2SimpleButton, AStateTakenFromItsParentAndStatesThatAreNoDisplayObjects) {
  AbcWriter w;
  Code code{w};
  code.New("flash.display", "Sprite", 1).New("flash.display", "MovieClip", 2).Set(L(2), "name", S("mc"));
  code.Do(L(1), "addChild", {L(2)});
  code.New("flash.display", "SimpleButton", 3).Trace(L(3), "upState");
  code.Set(L(3), "upState", L(2)).Trace(L(1), "numChildren").Trace(L(2), "parent").Trace(L(3), "upState.name");
  // Added back elsewhere it stays the button's state.
  code.Do(L(1), "addChild", {L(2)}).Trace(L(1), "numChildren").Trace(L(3), "upState.name");
  code.TryTrace([](Code& c) { c.Set(L(3), "overState", I(5)); });
  code.Set(L(3), "upState", Null()).Trace(L(3), "upState").Trace(L(3), "enabled").Trace(L(3), "trackAsMenu");
  EXPECT_EQ(RunDocument(w, code), (Lines{"null", "0", "null", "mc", "1", "mc",
                                         "TypeError: Error #1034: Type Coercion failed: cannot convert 5 to "
                                         "flash.display.DisplayObject.",
                                         "null", "true", "false"}));
}

TEST(Avm2SimpleButton, ThePointerShowsOverAndDownAndOnlyTheHitTestStateTakesIt) {
  AbcWriter w;
  Code code{w};
  code.Push(L(0)).OpName(0x66, w.Name("stage")).SetLocal(7);
  NamedSquare(code, 1, "up", 80);
  NamedSquare(code, 2, "over", 80);
  NamedSquare(code, 3, "down", 80);
  NamedSquare(code, 4, "hit", 40);
  code.New("flash.display", "SimpleButton", 6, {L(1), L(2), L(3), L(4)}).Do(L(7), "addChild", {L(6)});
  const std::uint32_t over = TracingListener(w, "target.overState.stage");
  const std::uint32_t down = TracingListener(w, "target.downState.stage");
  for (const char* type : {"mouseMove", "mouseDown", "mouseUp", "click"})
    for (std::uint32_t listener : {over, down}) {
      code.Push(L(6)).Str(type).OpName(0x40, listener);
      code.Call(0x4F, w.Name("addEventListener"), 2);
    }
  const Lines lines = RunDocument(w, code, [](FlashControl& c) {
    c.MouseMove(10, 10);  // onto the button: it shows over afterwards
    c.MouseDown(10, 10);  // over shown; down afterwards
    c.MouseMove(60, 60);  // off the hit area (the up state still draws here): over while pressed
    c.MouseMove(20, 20);  // back on it, still pressed: down afterwards
    c.MouseUp(20, 20);    // down shown; a click, then over
  });
  EXPECT_EQ(lines, (Lines{"mouseMove null", "mouseMove null",                      // up
                          "mouseDown [object Stage]", "mouseDown null",            // over
                          "mouseMove [object Stage]", "mouseMove null",            // over, pressed away
                          "mouseUp null", "mouseUp [object Stage]",                // down
                          "click null", "click [object Stage]"}));
}

}  // namespace
}  // namespace vantrel::flash::avm2
