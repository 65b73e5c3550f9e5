// Mouse, keyboard and focus input of ActionScript 3 movies: which object the pointer
// picks (mouseEnabled, mouseChildren, masks, shapes over siblings), the order of the
// pointer's events, the focus a press gives, and the keys going to the focus.
#include <gtest/gtest.h>

#include "script_movie.h"

namespace vantrel::flash::avm2 {
namespace {

using namespace vantrel::testing;
using Lines = std::vector<std::string>;

// local = a new Sprite named name with a filled square (x, y, size) in its graphics.
void Square(Code& code, std::uint8_t local, const std::string& name, std::int32_t x, std::int32_t y, std::int32_t size) {
  code.New("flash.display", "Sprite", local).Set(L(local), "name", S(name));
  code.Draw(local, "beginFill", {0}).Draw(local, "drawRect", {x, y, size, size});
}

// Traces "<type> <target.name>" for each event of the types on object.
void Log(AbcWriter& w, Code& code, const Arg& object, std::initializer_list<const char*> types) {
  const std::uint32_t listener = TracingListener(w, "target.name");
  for (const char* type : types) {
    code.Push(object).Str(type).OpName(0x40, listener);
    code.Call(0x4F, w.Name("addEventListener"), 2);
  }
}

void KeepStage(Code& code) { code.Push(L(0)).OpName(0x66, code.w.Name("stage")).SetLocal(7); }

TEST(Avm2Input, ThePointerPicksTheTopmostObjectThatTakesMouseEvents) {
  AbcWriter w;
  Code code{w};
  KeepStage(code);
  // outer (0..60) holds a (0..20) and, over both, a sprite that takes no mouse events;
  // b (70..90) holds another and takes no events of its children.
  Square(code, 1, "outer", 0, 0, 60);
  Square(code, 2, "a", 0, 0, 20);
  Square(code, 3, "cover", 0, 0, 40);
  code.Set(L(3), "mouseEnabled", B(false)).Set(L(3), "mouseChildren", B(false));
  code.Do(L(1), "addChild", {L(2)}).Do(L(1), "addChild", {L(3)}).Do(L(0), "addChild", {L(1)});
  // A shape on top of them all does not hide a from the pointer either.
  code.New("flash.display", "Shape", 6).Draw(6, "beginFill", {0}).Draw(6, "drawRect", {0, 0, 15, 15});
  code.Do(L(1), "addChild", {L(6)});
  Square(code, 4, "b", 70, 70, 20);
  Square(code, 5, "inner", 70, 70, 10);
  code.Set(L(4), "mouseChildren", B(false)).Do(L(4), "addChild", {L(5)}).Do(L(7), "addChild", {L(4)});
  Log(w, code, L(7), {"mouseDown"});
  const Lines lines = RunDocument(w, code, [](FlashControl& c) {
    c.MouseDown(10, 10);  // a, under the cover that takes no events
    c.MouseUp(10, 10);
    c.MouseDown(30, 30);  // the cover's square counts for outer
    c.MouseUp(30, 30);
    c.MouseDown(72, 72);  // inner, but b keeps its children's events
    c.MouseUp(72, 72);
    c.MouseDown(95, 5);  // nothing: the stage
    c.MouseUp(95, 5);
  });
  EXPECT_EQ(lines, (Lines{"mouseDown a", "mouseDown outer", "mouseDown b", "mouseDown null"}));
}

// The root is never a target itself: what it holds that takes no mouse events (its
// drawing, a shape, a sprite that takes none) leaves the press to the stage.
TEST(Avm2Input, WhatTheRootHoldsWithoutMouseEventsIsTheStages) {
  AbcWriter w;
  Code code{w};
  KeepStage(code);
  code.Draw(0, "beginFill", {0}).Draw(0, "drawRect", {0, 0, 20, 20});
  code.New("flash.display", "Shape", 1).Draw(1, "beginFill", {0}).Draw(1, "drawRect", {30, 0, 20, 20});
  Square(code, 2, "off", 60, 0, 20);
  code.Set(L(2), "mouseEnabled", B(false));
  Square(code, 3, "on", 0, 60, 20);
  code.Do(L(0), "addChild", {L(1)}).Do(L(0), "addChild", {L(2)}).Do(L(0), "addChild", {L(3)});
  Log(w, code, L(7), {"mouseDown"});
  const Lines lines = RunDocument(w, code, [](FlashControl& c) {
    for (const auto& [x, y] : {std::pair{5, 5}, {35, 5}, {65, 5}, {5, 65}}) {
      c.MouseDown(x, y);
      c.MouseUp(x, y);
    }
  });
  EXPECT_EQ(lines, (Lines{"mouseDown null", "mouseDown null", "mouseDown null", "mouseDown on"}));
}

TEST(Avm2Input, MovesRollOutAndOverAndAPressAndReleaseOnOneObjectIsAClick) {
  AbcWriter w;
  Code code{w};
  KeepStage(code);
  Square(code, 1, "a", 0, 0, 40);
  Square(code, 2, "inner", 0, 0, 20);
  Square(code, 3, "b", 50, 50, 40);
  code.Do(L(1), "addChild", {L(2)}).Do(L(0), "addChild", {L(1)}).Do(L(0), "addChild", {L(3)});
  Log(w, code, L(1), {"rollOver", "rollOut"});
  Log(w, code, L(7), {"mouseOver", "mouseOut", "mouseDown", "mouseUp", "click"});
  const Lines lines = RunDocument(w, code, [](FlashControl& c) {
    c.MouseMove(10, 10);  // into inner: a rolls over, inner's mouseOver bubbles
    c.MouseMove(30, 30);  // inner to a: still inside a, no roll
    c.MouseDown(30, 30);
    c.MouseUp(30, 30);
    c.MouseDown(30, 30);
    c.MouseMove(60, 60);  // released over b: no click
    c.MouseUp(60, 60);
  });
  EXPECT_EQ(lines, (Lines{"rollOver a", "mouseOver inner", "mouseOut inner", "mouseOver a", "mouseDown a",
                          "mouseUp a", "click a", "mouseDown a", "mouseOut a", "rollOut a", "mouseOver b",
                          "mouseUp b"}));
}

TEST(Avm2Input, APressMovesTheFocusAndKeysGoToTheFocusedObject) {
  AbcWriter w;
  Code code{w};
  KeepStage(code);
  Square(code, 1, "a", 0, 0, 40);
  Square(code, 2, "b", 50, 50, 40);
  code.Set(L(1), "tabEnabled", B(true)).Do(L(0), "addChild", {L(1)}).Do(L(0), "addChild", {L(2)});
  Log(w, code, L(7), {"mouseFocusChange", "focusIn", "focusOut", "keyDown"});
  const Lines lines = RunDocument(w, code, [](FlashControl& c) {
    c.KeyDown(65, 'a');  // no focus: the stage hears it
    c.MouseDown(10, 10);  // a is in the tab order: it takes the focus
    c.MouseUp(10, 10);
    c.KeyDown(66, 'b');
    c.MouseDown(95, 5);  // the stage takes the focus away
    c.MouseUp(95, 5);
    c.MouseDown(60, 60);  // b is not in the tab order: the focus stays where it is
    c.MouseUp(60, 60);
  });
  EXPECT_EQ(lines, (Lines{"keyDown null", "mouseFocusChange null", "focusIn a", "keyDown a", "mouseFocusChange a",
                          "focusOut a", "mouseFocusChange null"}));
}

TEST(Avm2Input, ADraggedSpriteFollowsThePointerInsideItsBounds) {
  AbcWriter w;
  Code code{w};
  KeepStage(code);
  Square(code, 1, "a", 0, 0, 10);
  code.Do(L(7), "addChild", {L(1)});
  code.New("flash.geom", "Rectangle", 2, {I(0), I(0), I(50), I(30)});
  for (const char* path : {"target.x", "target.y"})
    code.Push(L(1)).Str("mouseDown").OpName(0x40, TracingListener(w, path)).Call(0x4F, w.Name("addEventListener"), 2);
  Log(w, code, L(7), {"mouseDown", "mouseUp"});
  code.Do(L(1), "startDrag", {B(false), L(2)});
  const Lines lines = RunDocument(w, code, [](FlashControl& c) {
    c.MouseMove(5, 5);
    c.MouseMove(25, 15);
    c.MouseDown(25, 15);  // the sprite came along
    c.MouseMove(95, 95);  // it stops at the bounds' corner (50, 30)
    c.MouseUp(95, 95);    // so the pointer is off it
    c.MouseMove(45, 25);
    c.MouseDown(45, 25);
  });
  EXPECT_EQ(lines, (Lines{"mouseDown 25", "mouseDown 15", "mouseDown a", "mouseUp null", "mouseDown 45", "mouseDown 25",
                          "mouseDown a"}));
}

}  // namespace
}  // namespace vantrel::flash::avm2
