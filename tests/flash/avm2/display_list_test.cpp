// The display list as ActionScript 3 code sees it: child order and moves between
// parents, the errors of bad indices and cycles, and events travelling through the
// capture, target and bubble phases (added/removed included), the frame events and the
// gotos of frame scripts.
#include <gtest/gtest.h>

#include "script_movie.h"

namespace vantrel::flash::avm2 {
namespace {

using namespace vantrel::testing;
using Lines = std::vector<std::string>;

// s (local 1) holds a (local 2) and the shape b (local 3), each named after its local.
void ThreeObjects(Code& code) {
  code.New("flash.display", "Sprite", 1).New("flash.display", "Sprite", 2).New("flash.display", "Shape", 3);
  code.Set(L(1), "name", S("s")).Set(L(2), "name", S("a")).Set(L(3), "name", S("b"));
}

TEST(Avm2DisplayList, ChildrenKeepTheirOrderAndMoveBetweenParents) {
  AbcWriter w;
  Code code{w};
  ThreeObjects(code);
  code.Do(L(1), "addChild", {L(2)}).Do(L(1), "addChild", {L(3)});
  code.Trace(L(1), "numChildren").TraceCall(L(1), "getChildIndex", {L(3)}).Trace(L(3), "parent.name");
  // setChildIndex moves one child and shifts the rest; swapChildrenAt exchanges two.
  code.Do(L(1), "setChildIndex", {L(3), I(0)}).Keep(4, L(1), "getChildAt", {I(0)}).Trace(L(4), "name");
  code.Do(L(1), "swapChildrenAt", {I(0), I(1)}).Keep(4, L(1), "getChildAt", {I(0)}).Trace(L(4), "name");
  // Adding a child it already has moves it, it does not add it twice.
  code.Do(L(1), "addChildAt", {L(3), I(0)}).Trace(L(1), "numChildren").TraceCall(L(1), "getChildIndex", {L(3)});
  code.Keep(4, L(1), "getChildByName", {S("a")}).Trace(L(4), "name").TraceCall(L(1), "getChildByName", {S("zz")});
  // contains answers for the object itself and its descendants only.
  code.TraceCall(L(1), "contains", {L(1)}).TraceCall(L(1), "contains", {L(3)}).TraceCall(L(2), "contains", {L(1)});
  // A child added elsewhere leaves its old parent.
  code.New("flash.display", "Sprite", 4).Do(L(4), "addChild", {L(3)});
  code.Trace(L(1), "numChildren").Trace(L(4), "numChildren").TraceCall(L(1), "contains", {L(3)});
  code.Keep(4, L(1), "removeChild", {L(2)}).Trace(L(4), "name").Trace(L(2), "parent").Trace(L(1), "numChildren");
  EXPECT_EQ(RunMovie(w, code), (Lines{"2", "1", "s", "b", "a", "2", "0", "a", "null", "true", "true", "false", "1", "1",
                                      "false", "a", "null", "0"}));
}

TEST(Avm2DisplayList, BadIndicesAndCyclesAreRefusedWithThePlayersErrors) {
  AbcWriter w;
  Code code{w};
  ThreeObjects(code);
  code.Do(L(1), "addChild", {L(2)});
  code.TryTrace([](Code& c) { c.Do(L(1), "addChild", {L(1)}); });
  code.TryTrace([](Code& c) { c.Do(L(2), "addChild", {L(1)}); });  // s is a's parent
  code.TryTrace([](Code& c) { c.Do(L(1), "addChild", {Null()}); });
  code.TryTrace([](Code& c) { c.Do(L(1), "getChildAt", {I(1)}); });
  code.TryTrace([](Code& c) { c.Do(L(1), "getChildAt", {I(-1)}); });
  code.TryTrace([](Code& c) { c.Do(L(1), "addChildAt", {L(3), I(2)}); });
  code.TryTrace([](Code& c) { c.Do(L(1), "setChildIndex", {L(2), I(1)}); });
  code.TryTrace([](Code& c) { c.Do(L(1), "removeChild", {L(3)}); });
  code.TryTrace([](Code& c) { c.Do(L(1), "removeChildAt", {I(3)}); });
  code.TryTrace([](Code& c) { c.Do(L(1), "getChildIndex", {L(3)}); });
  // Nothing refused changed the list.
  code.Trace(L(1), "numChildren").Trace(L(2), "numChildren").Trace(L(3), "parent");
  const std::string range = "RangeError: Error #2006: The supplied index is out of bounds.";
  const std::string notChild = "ArgumentError: Error #2025: The supplied DisplayObject must be a child of the caller.";
  EXPECT_EQ(RunMovie(w, code),
            (Lines{"ArgumentError: Error #2024: An object cannot be added as a child of itself.",
                   "ArgumentError: Error #2150: An object cannot be added as a child to one of it's children (or "
                   "children's children, etc.).",
                   "TypeError: Error #2007: Parameter child must be non-null.", range, range, range, range, notChild,
                   range, notChild, "1", "0", "null"}));
}

// A listener function tracing "<tag> <phase> <currentTarget.name>", then running extra
// code with the event in local 1.
std::uint32_t Listener(AbcWriter& w, const std::string& tag, const AbcWriter::Bytes& extra = {}) {
  Code f{w};
  f.bytes.clear();
  const std::uint32_t trace = w.Name("trace");
  f.OpName(0x5D, trace).Str(tag + " ").Op({0xD1}).OpName(0x66, w.Name("eventPhase")).Op({0xA0});
  f.Str(" ").Op({0xA0, 0xD1}).OpName(0x66, w.Name("currentTarget")).OpName(0x66, w.Name("name")).Op({0xA0});
  f.Call(0x4F, trace, 1);
  f.bytes.insert(f.bytes.end(), extra.begin(), extra.end());
  f.Op({0x47});
  const std::uint32_t method = w.Method(f.bytes);
  w.methods[method] = 1;  // (event)
  return method;
}

// object.addEventListener(type, listener, useCapture): a new closure of the function,
// or the one a local holds.
void Listen(Code& code, const Arg& object, const std::string& type, const Arg& listener, bool capture = false) {
  code.Push(object).Str(type).Push(listener).Push(B(capture));
  code.Call(0x4F, code.w.Name("addEventListener"), 3);
}
void Listen(Code& code, const Arg& object, const std::string& type, std::uint32_t function, bool capture = false) {
  code.Push(object).Str(type).OpName(0x40, function).Push(B(capture));
  code.Call(0x4F, code.w.Name("addEventListener"), 3);
}

TEST(Avm2Events, EventsGoDownInCaptureAndBackUpWhenTheyBubble) {
  AbcWriter w;
  Code code{w};
  ThreeObjects(code);
  code.Do(L(1), "addChild", {L(2)}).Do(L(2), "addChild", {L(3)});  // s > a > b
  code.OpName(0x40, Listener(w, "on")).SetLocal(6);
  Listen(code, L(1), "x", Listener(w, "capture"), true);
  Listen(code, L(1), "x", L(6));
  Listen(code, L(2), "x", L(6));
  Listen(code, L(3), "x", L(6));
  code.New("flash.events", "Event", 4, {S("x"), B(true)}).Do(L(3), "dispatchEvent", {L(4)});
  // Not bubbling: capture and target only; the target's own capture listener is not called.
  Listen(code, L(3), "x", Listener(w, "own capture"), true);
  code.New("flash.events", "Event", 4, {S("x")}).Do(L(3), "dispatchEvent", {L(4)});
  // The same listener added twice is called once; removed, it is not called at all.
  Listen(code, L(2), "x", L(6));
  code.Do(L(2), "removeEventListener", {S("x"), L(6)});
  code.New("flash.events", "Event", 4, {S("x"), B(true)}).Do(L(3), "dispatchEvent", {L(4)});
  EXPECT_EQ(RunMovie(w, code), (Lines{"capture 1 s", "on 2 b", "on 3 a", "on 3 s",  //
                                      "capture 1 s", "on 2 b",                      //
                                      "capture 1 s", "on 2 b", "on 3 s"}));
}

TEST(Avm2Events, StoppingPropagationEndsThePathAtTheCurrentObject) {
  AbcWriter w;
  Code code{w};
  ThreeObjects(code);
  code.Do(L(1), "addChild", {L(2)}).Do(L(2), "addChild", {L(3)});
  // On a: stopPropagation lets a's other listeners run; stopImmediatePropagation does not.
  AbcWriter::Bytes stop = {0xD1};
  AbcWriter::Bytes stopNow = {0xD1};
  stop.push_back(0x4F);
  AbcWriter::U30(stop, w.Name("stopPropagation"));
  stop.push_back(0);
  stopNow.push_back(0x4F);
  AbcWriter::U30(stopNow, w.Name("stopImmediatePropagation"));
  stopNow.push_back(0);
  Listen(code, L(2), "soft", Listener(w, "stop", stop));
  Listen(code, L(2), "soft", Listener(w, "second"));
  Listen(code, L(1), "soft", Listener(w, "never"));
  Listen(code, L(2), "hard", Listener(w, "stop now", stopNow));
  Listen(code, L(2), "hard", Listener(w, "never"));
  code.New("flash.events", "Event", 4, {S("soft"), B(true)}).TraceCall(L(3), "dispatchEvent", {L(4)});
  code.New("flash.events", "Event", 4, {S("hard"), B(true)}).TraceCall(L(3), "dispatchEvent", {L(4)});
  // A cancelable event's preventDefault makes dispatchEvent answer false.
  AbcWriter::Bytes prevent = {0xD1};
  prevent.push_back(0x4F);
  AbcWriter::U30(prevent, w.Name("preventDefault"));
  prevent.push_back(0);
  Listen(code, L(3), "ask", Listener(w, "prevent", prevent));
  code.New("flash.events", "Event", 4, {S("ask"), B(false), B(true)}).TraceCall(L(3), "dispatchEvent", {L(4)});
  code.Trace(L(4), "target.name");
  EXPECT_EQ(RunMovie(w, code),
            (Lines{"stop 3 a", "second 3 a", "true", "stop now 3 a", "true", "prevent 2 b", "false", "b"}));
}

TEST(Avm2Events, AddingAndRemovingChildrenTellsTheChildAndBubblesToTheParent) {
  AbcWriter w;
  Code code{w};
  ThreeObjects(code);
  const std::uint32_t log = Listener(w, "");
  for (const char* type : {"added", "removed"}) {
    Listen(code, L(1), type, log);
    Listen(code, L(2), type, log);
  }
  // Off the stage: no addedToStage.
  Listen(code, L(2), "addedToStage", Listener(w, "stage"));
  code.Do(L(1), "addChild", {L(2)});
  code.Do(L(1), "removeChild", {L(2)});
  EXPECT_EQ(RunMovie(w, code), (Lines{" 2 a", " 3 s", " 2 a", " 3 s"}));
}

// new EventDispatcher(a): its events name a as their target and bubble up a's parents;
// willTrigger looks there too. currentTarget stays on the last object whose listeners
// heard the event, and is null when none did.
TEST(Avm2Events, ADispatcherMadeForAnObjectSendsItsEventsUpThatObjectsParents) {
  AbcWriter w;
  Code code{w};
  ThreeObjects(code);
  code.Do(L(1), "addChild", {L(2)});
  code.New("flash.events", "EventDispatcher", 4, {L(2)});
  Listen(code, L(4), "x", TracingListener(w, "eventPhase"));
  Listen(code, L(1), "x", Listener(w, "parent"));
  code.TraceCall(L(4), "willTrigger", {S("x")}).TraceCall(L(4), "willTrigger", {S("y")});
  Listen(code, L(1), "y", Listener(w, "parent"));
  code.TraceCall(L(4), "willTrigger", {S("y")}).TraceCall(L(4), "hasEventListener", {S("y")});
  code.New("flash.events", "Event", 5, {S("x"), B(true)}).Do(L(4), "dispatchEvent", {L(5)});
  code.Trace(L(5), "target.name").Trace(L(5), "currentTarget.name");
  code.New("flash.events", "Event", 5, {S("z")}).Do(L(4), "dispatchEvent", {L(5)});
  code.Trace(L(5), "currentTarget").Trace(L(5), "target");
  EXPECT_EQ(RunMovie(w, code), (Lines{"true", "false", "true", "false", "x 2", "parent 3 s", "a", "s", "null", "null"}));
}

// Each frame event goes to its listeners in the order they first listened for that
// event, whatever order they listened for the others in.
TEST(Avm2Events, FrameEventsKeepAnOrderPerEvent) {
  AbcWriter w;
  Code code{w};
  ThreeObjects(code);
  Listen(code, L(1), "enterFrame", Listener(w, "enter"));
  Listen(code, L(2), "exitFrame", Listener(w, "exit"));
  Listen(code, L(2), "enterFrame", Listener(w, "enter"));
  Listen(code, L(1), "exitFrame", Listener(w, "exit"));
  EXPECT_EQ(RunMovie(w, code, 1), (Lines{"exit 2 a", "exit 2 s", "enter 2 s", "enter 2 a", "exit 2 a", "exit 2 s"}));
}

// A frame script's function: traces tag, then calls this.method(args) when method is given.
std::uint32_t FrameScript(AbcWriter& w, const std::string& tag, const std::string& method = {},
                          std::vector<Arg> args = {}, const std::string& after = {}) {
  Code f{w};
  f.Trace(S(tag));
  if (!method.empty()) f.Do(L(0), method, std::move(args));
  if (!after.empty()) f.Trace(S(after));
  f.Op({0x47});
  return w.Method(f.bytes);
}

// A goto a clip's own frame script makes waits for the script to return; then (in a
// version 10 movie) it runs a frame of its own: frameConstructed, the new frame's
// script, exitFrame, before the frame's own exitFrame. A goto to the frame the clip is
// on still runs that frame.
TEST(Avm2Timeline, AGotoInTheClipsOwnFrameScriptWaitsForTheScriptToReturn) {
  AbcWriter w;
  Code code{w};
  code.Op({0xD0}).Int(0).OpName(0x40, FrameScript(w, "frame 1", "gotoAndStop", {I(3)}, "after goto"));
  code.Int(2).OpName(0x40, FrameScript(w, "frame 3", "gotoAndStop", {I(3)}, "after goto to itself"));
  code.Call(0x4F, w.Name("addFrameScript"), 4);
  Listen(code, L(0), "frameConstructed", TracingListener(w, ""));
  Listen(code, L(0), "exitFrame", TracingListener(w, ""));
  EXPECT_EQ(RunDocument(w, code, {}, {}, 3),
            (Lines{"frameConstructed", "frame 1", "after goto",                            //
                   "frameConstructed", "frame 3", "after goto to itself",                  //
                   "frameConstructed", "exitFrame", "exitFrame", "exitFrame"}));
}

// The objects a frame places are made once its tags are done: one the same frame
// removes again is never constructed and never heard of.
TEST(Avm2Timeline, WhatAFrameRemovesAgainIsNeverConstructed) {
  AbcWriter w;
  Code code{w};
  Listen(code, L(0), "added", TracingListener(w, "target.name"));
  Listen(code, L(0), "removed", TracingListener(w, "target.name"));
  Bytes sprite = ShowFrame();
  PutBytes(sprite, End());
  Bytes extra = DefineSprite(5, 1, sprite);
  PutBytes(extra, ShowFrame());
  for (const char* name : {"first", "second"}) {
    Place place;
    place.character = 5;
    place.name = name;
    PutBytes(extra, PlaceObject2(place));
    if (std::string(name) == "first") PutBytes(extra, RemoveObject2(1));
  }
  PutBytes(extra, ShowFrame());
  PutBytes(extra, RemoveObject2(1));
  const auto ticks = [](FlashControl& c) {
    for (int i = 0; i < 3; ++i) c.Tick();
  };
  EXPECT_EQ(RunDocument(w, code, ticks, extra), (Lines{"added root1", "added second", "removed second"}));
}

}  // namespace
}  // namespace vantrel::flash::avm2
