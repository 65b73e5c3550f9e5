// Input into a running movie: buttons and their states, the Key and Mouse listeners,
// and the recorded input files the tool and the conformance tests replay.
#include <gtest/gtest.h>

#include <QImage>

#include "flash/control/flash_control.h"
#include "flash/control/input_script.h"
#include "flash/movie_test_support.h"

namespace vantrel::flash {
namespace {

using testing::Actions;
using testing::ButtonRecord;
using testing::DefineButton2;
using testing::Bytes;
using testing::PutBytes;
using testing::PutString;
using testing::PutU16;
using testing::PutU8;
using testing::Place;
using testing::PlaceObject2;

// A function literal of no parameters: DefineFunction with the body's actions.
Actions& DefineFunction(Actions& a, const Actions& body) {
  Bytes data;
  PutString(data, "");
  PutU16(data, 0);
  PutU16(data, static_cast<std::uint16_t>(body.Data().size()));
  a.OpWith(0x9B, data);
  return a.Raw(body.Data());
}

// trace(Object.method()) inside a function body.
Actions TraceCall(const std::string& object, const std::string& method) {
  Actions a;
  a.PushNumber(0).PushString(object).GetVariable().PushString(method).Op(0x52).Trace();
  return a;
}

std::unique_ptr<FlashControl> LoadControl(const Bytes& tags, std::vector<std::string>& traces) {
  auto control = std::make_unique<FlashControl>();
  control->OnTrace = [&traces](const std::string& line) { traces.push_back(line); };
  const Bytes movie = testing::MakeMovie(tags, 100, 100, 1, 8);
  EXPECT_TRUE(control->LoadMovieData(movie)) << control->LastError();
  control->SetSize(100, 100);
  return control;
}

TEST(MovieInput, ButtonFollowsThePointerThroughItsStatesAndRunsItsActions) {
  Bytes tags = testing::DefineRectangle(1, 400, 400, 800, 800, 255, 0, 0);  // 20..60 px
  PutBytes(tags, testing::DefineRectangle(2, 400, 400, 800, 800, 0, 255, 0));
  const std::uint16_t keyA = 'a' << 9;
  PutBytes(tags, DefineButton2(3,
                               {ButtonRecord(0x01 | 0x08, 1, 1), ButtonRecord(0x02 | 0x04, 2, 1), ButtonRecord(0x04, 2, 2)},
                               {{0x01, Actions().TraceString("over")},
                                {0x02, Actions().TraceString("out")},
                                {0x04, Actions().TraceString("press")},
                                {0x08, Actions().TraceString("release")},
                                {0x40, Actions().TraceString("release outside")},
                                {keyA, Actions().TraceString("key a")}}));
  std::vector<std::string> traces;
  auto control = LoadControl(testing::WithOneFramePlacing(tags, 3, "button"), traces);
  const auto* button = static_cast<const MovieClip*>(control->Engine()->Root().ChildByName("button", false));
  ASSERT_NE(button, nullptr);
  auto shownIds = [&] {
    std::vector<int> ids;
    for (const auto& [depth, object] : button->Children()) ids.push_back(object->characterId);
    return ids;
  };
  EXPECT_EQ(shownIds(), std::vector<int>{1});

  control->MouseMove(80, 80);  // beside the hit area
  EXPECT_TRUE(traces.empty());
  EXPECT_FALSE(control->WantsHandCursor());
  control->MouseMove(30, 30);
  EXPECT_TRUE(control->WantsHandCursor());
  EXPECT_EQ(shownIds(), std::vector<int>{2});
  control->MouseDown(30, 30);
  EXPECT_EQ(shownIds(), (std::vector<int>{2, 2}));
  control->MouseUp(31, 31);
  control->MouseMove(90, 90);
  EXPECT_EQ(shownIds(), std::vector<int>{1});
  // Pressed inside, released outside.
  control->MouseMove(30, 30);
  control->MouseDown(30, 30);
  control->MouseMove(90, 90);
  control->MouseUp(90, 90);
  // The right button presses nothing.
  control->MouseMove(30, 30);
  control->MouseDown(30, 30, 1);
  // A character's key press comes with the character typed, not with its key.
  control->KeyDown(65, 'a');
  EXPECT_EQ(traces.size(), 8u);
  control->TextInput('a');
  control->KeyDown(66, 'b');
  control->TextInput('b');
  EXPECT_EQ(traces, (std::vector<std::string>{"over", "press", "release", "out", "over", "press",
                                              "release outside", "over", "key a"}));
}

// A button over 20..60 px whose transitions trace their names.
Bytes TracingButton(std::uint16_t id) {
  Bytes tags = testing::DefineRectangle(1, 400, 400, 800, 800, 255, 0, 0);
  PutBytes(tags, DefineButton2(id, {ButtonRecord(0x0F, 1, 1)},
                               {{0x01, Actions().TraceString("over")},
                                {0x02, Actions().TraceString("out")},
                                {0x04, Actions().TraceString("press")},
                                {0x08, Actions().TraceString("release")},
                                {0x10, Actions().TraceString("drag out")},
                                {0x20, Actions().TraceString("drag over")},
                                {0x40, Actions().TraceString("release outside")}}));
  return tags;
}

TEST(MovieInput, AStillPointerHearsOfButtonsThatHideOrShowButADisabledOneKeepsItUntilItLeaves) {
  std::vector<std::string> traces;
  auto control = LoadControl(testing::WithOneFramePlacing(TracingButton(3), 3, "button"), traces);
  auto* button = control->Engine()->Root().ChildByName("button", false);
  ASSERT_NE(button, nullptr);
  control->Tick();
  EXPECT_TRUE(traces.empty());  // no pointer yet: nothing is under it
  control->MouseMove(30, 30);
  button->visible = false;
  control->Tick();
  button->visible = true;
  control->Tick();
  control->Tick();  // nothing changed under the pointer
  EXPECT_EQ(traces, (std::vector<std::string>{"over", "out", "over"}));

  avm1::MachineInterface& m = avm1::HostOf(*control->Engine()).Machine();
  avm1::Object* object = avm1::ScriptObjectOf(button);
  ASSERT_NE(object, nullptr);
  traces.clear();
  m.Set(object, "enabled", avm1::Value::Bool(false));
  control->Tick();
  control->MouseDown(30, 30);
  control->MouseUp(30, 30);
  m.Set(object, "enabled", avm1::Value::Bool(true));
  control->Tick();
  EXPECT_TRUE(traces.empty());  // disabled under the pointer and back: no word either way
  m.Set(object, "enabled", avm1::Value::Bool(false));
  control->MouseMove(90, 90);
  control->MouseMove(30, 30);
  m.Set(object, "enabled", avm1::Value::Bool(true));
  control->Tick();
  EXPECT_EQ(traces, std::vector<std::string>{"over"});  // it left while disabled
}

TEST(MovieInput, AButtonATimelinePlacesAgainUnderTheHeldPointerKeepsThePress) {
  // Frame 1 places the button; frame 2 takes it off and goes back to frame 1.
  Bytes tags = TracingButton(3);
  Place place;
  place.character = 3;
  PutBytes(tags, PlaceObject2(place));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::RemoveObject2(1));
  PutBytes(tags, Actions().GotoFrame(0).Play().Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  std::vector<std::string> traces;
  auto control = std::make_unique<FlashControl>();
  control->OnTrace = [&traces](const std::string& line) { traces.push_back(line); };
  ASSERT_TRUE(control->LoadMovieData(testing::MakeMovie(tags, 100, 100, 2, 8))) << control->LastError();
  control->SetSize(100, 100);
  control->MouseMove(30, 30);
  control->MouseDown(30, 30);
  for (int i = 0; i < 3; ++i) control->Tick();
  control->MouseMove(90, 90);
  for (int i = 0; i < 3; ++i) control->Tick();
  control->MouseMove(30, 30);
  for (int i = 0; i < 3; ++i) control->Tick();
  control->MouseUp(30, 30);
  for (int i = 0; i < 3; ++i) control->Tick();
  control->MouseMove(90, 90);
  EXPECT_EQ(traces, (std::vector<std::string>{"over", "press", "drag out", "drag over", "release", "out"}));
}

TEST(MovieInput, ThePointerIsOnWholePixelsOfTheViewNotOfTheStage) {
  std::vector<std::string> traces;
  auto control = LoadControl(testing::WithOneFramePlacing(TracingButton(3), 3, "button"), traces);
  control->SetSize(200, 200);  // the stage shown at twice its size
  control->MouseMove(61.4, 80.6);
  EXPECT_EQ(control->Engine()->MousePosition(), QPointF(610, 810));  // 30.5, 40.5 px of the stage
}

TEST(MovieInput, AClipSeesThePointerThroughItsPlaceInTheViewOnWholeViewPixels) {
  // A clip at 12.5 px on a stage shown at twice its size: on the view it is at 25 px.
  Bytes tags = testing::DefineRectangle(1, 0, 0, 400, 400, 255, 0, 0);
  PutBytes(tags, testing::DefineSprite(2, 1, [] {
             Place square;
             square.character = 1;
             Bytes frame = PlaceObject2(square);
             PutBytes(frame, testing::ShowFrame());
             PutBytes(frame, testing::End());
             return frame;
           }()));
  Place clip;
  clip.character = 2;
  clip.name = "clip";
  clip.hasMatrix = true;
  clip.x = 250;
  clip.y = 250;
  PutBytes(tags, PlaceObject2(clip));
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  std::vector<std::string> traces;
  auto control = LoadControl(tags, traces);
  control->SetSize(200, 200);
  control->MouseMove(61, 61);
  avm1::MachineInterface& m = avm1::HostOf(*control->Engine()).Machine();
  avm1::Object* object = avm1::ScriptObjectOf(control->Engine()->Root().ChildByName("clip", false));
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(m.ToString(m.Get(object, "_xmouse")), "18");  // (61 - 25) / 2
}

TEST(MovieInput, AButtonThatShowsItselfStopsAtTheNestingLimit) {
  Bytes tags = testing::DefineRectangle(1, 400, 400, 800, 800, 255, 0, 0);
  PutBytes(tags, DefineButton2(3, {ButtonRecord(0x0F, 1, 1), ButtonRecord(0x0F, 3, 2)},
                               {{0x08, Actions().TraceString("release")}}));
  std::vector<std::string> traces;
  auto control = LoadControl(testing::WithOneFramePlacing(tags, 3, "button"), traces);
  const auto* button = static_cast<const MovieClip*>(control->Engine()->Root().ChildByName("button", false));
  ASSERT_NE(button, nullptr);
  int levels = 1;
  for (const DisplayObject* inner = ObjectAt(*button, 2); inner; ++levels) {
    ASSERT_EQ(inner->Kind(), DisplayKind::Button);
    inner = ObjectAt(static_cast<const MovieClip&>(*inner), 2);
  }
  EXPECT_GT(levels, 10);
  EXPECT_LE(levels, MovieClip::kMaxNesting + 1);
  // The movie goes on.
  control->Tick();
  QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
  control->PaintTo(image);
  EXPECT_EQ(image.pixel(30, 30), 0xffff0000u);
}

TEST(MovieInput, AKeyGoesToOneVisibleButtonAndUnnamedShapesTakeNoInstanceNumber) {
  Bytes tags = testing::DefineRectangle(1, 0, 0, 400, 400, 255, 0, 0);
  const std::uint16_t keyA = 'a' << 9, keyB = 'b' << 9, tab = 18 << 9;
  PutBytes(tags, DefineButton2(2, {ButtonRecord(0x0F, 1, 1)}, {{keyA, Actions().TraceString("a")}}));
  PutBytes(tags, DefineButton2(3, {ButtonRecord(0x0F, 1, 1)},
                               {{keyA, Actions().TraceString("a")}, {keyB, Actions().TraceString("b")},
                                {tab, Actions().TraceString("tab")}}));
  for (std::uint16_t depth : {1, 2, 3}) {
    testing::Place place;
    place.depth = depth;
    place.character = depth;
    if (depth == 3) place.name = "hidden";
    PutBytes(tags, testing::PlaceObject2(place));
  }
  PutBytes(tags, Actions().PushString("hidden").PushNumber(7).PushNumber(0).Op(0x23).Tag());  // _visible = 0
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  std::vector<std::string> traces;
  auto control = LoadControl(tags, traces);
  // The shape at depth 1 is passed over: the first button is instance1.
  const DisplayObject* first = control->Engine()->Root().ChildAt(2 - 16384);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->name, "instance1");
  control->KeyDown(65, 'a');
  control->TextInput('a');  // both buttons wait for it, one takes it
  control->KeyDown(66, 'b');
  control->TextInput('b');  // only the hidden button waits for it
  control->KeyDown(9, 9);
  EXPECT_EQ(traces, std::vector<std::string>{"a"});
}

TEST(MovieInput, KeyAndMouseListenersHearEventsWithTheKeyAndPointerState) {
  Actions a;
  // k = new Object(); k.onKeyDown = function () { trace(Key.getCode()); trace(Key.getAscii()); };
  a.PushString("k").PushNumber(0).PushString("Object").Op(0x40).SetVariable();
  a.PushString("k").GetVariable().PushString("onKeyDown");
  Actions keyBody = TraceCall("Key", "getCode");
  keyBody.Raw(TraceCall("Key", "getAscii").Data());
  DefineFunction(a, keyBody).Op(0x4F);
  // Key.addListener(k); Mouse.addListener(k) (k has no mouse handlers yet).
  for (const char* source : {"Key", "Mouse"}) {
    a.PushString("k").GetVariable().PushNumber(1).PushString(source).GetVariable().PushString("addListener");
    a.Op(0x52).Op(0x17);
  }
  // k.onMouseDown = function () { trace(_xmouse); trace(_ymouse); };
  a.PushString("k").GetVariable().PushString("onMouseDown");
  DefineFunction(a, Actions().PushString("_xmouse").GetVariable().Trace().PushString("_ymouse").GetVariable().Trace())
      .Op(0x4F);
  Bytes tags = a.Tag();
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  std::vector<std::string> traces;
  auto control = LoadControl(tags, traces);
  control->KeyDown(37, 0);
  control->KeyDown(65, 'a');
  control->MouseDown(12, 34);
  control->MouseUp(12, 34);
  EXPECT_EQ(traces, (std::vector<std::string>{"37", "0", "65", "97", "12", "34"}));
  MovieRuntime& player = *control->Engine();
  EXPECT_TRUE(player.KeyIsDown(65));
  control->KeyUp(65, 'a');
  EXPECT_FALSE(player.KeyIsDown(65));
  EXPECT_TRUE(player.KeyIsDown(37));
  // Every key and mouse button flips its toggle state on each press (held keys do not).
  EXPECT_TRUE(player.KeyIsToggled(65));
  EXPECT_TRUE(player.KeyIsToggled(1));
  control->KeyDown(37, 0);
  EXPECT_TRUE(player.KeyIsToggled(37));
  control->KeyDown(65, 'a');
  control->MouseDown(12, 34);
  EXPECT_FALSE(player.KeyIsToggled(65));
  EXPECT_FALSE(player.KeyIsToggled(1));
}

TEST(InputScript, WaitsSplitTheEventsIntoFramesAndKeysGetTheMoviesCodes) {
  InputScript script;
  std::string error;
  ASSERT_TRUE(ParseInputScript(R"([
      { "type": "MouseMove", "pos": [10.5, 20.0] },
      { "type": "MouseDown", "pos": [10.5, 20.0], "btn": "Right" },
      { "type": "Wait" },
      { "type": "KeyDown", "key": { "Char": "a" } },
      { "type": "TextInput", "codepoint": "a" },
      { "type": "KeyUp", "key": "ArrowLeft" },
      { "type": "KeyDown", "key": { "Numpad": "1" } },
      { "type": "TextInput", "codepoint": "\u0008" },
      { "type": "TextControl", "code": "Backspace" },
      { "type": "Wait" }
    ])",
                               script, error))
      << error;
  ASSERT_EQ(script.batches.size(), 3u);
  ASSERT_EQ(script.batches[0].size(), 2u);
  EXPECT_EQ(script.batches[0][0].type, InputEvent::Type::MouseMove);
  EXPECT_DOUBLE_EQ(script.batches[0][0].x, 10.5);
  EXPECT_EQ(script.batches[0][1].button, 1);
  ASSERT_EQ(script.batches[1].size(), 6u);
  EXPECT_EQ(script.batches[1][0].keyCode, 65);
  EXPECT_EQ(script.batches[1][0].ascii, 97);
  EXPECT_EQ(script.batches[1][1].type, InputEvent::Type::TextInput);
  EXPECT_EQ(script.batches[1][1].character, U'a');
  EXPECT_EQ(script.batches[1][2].keyCode, 37);
  EXPECT_EQ(script.batches[1][3].keyCode, 97);
  // The Backspace a key types edits nothing by itself: its TextControl does, once.
  EXPECT_EQ(script.batches[1][4].type, InputEvent::Type::Other);
  EXPECT_EQ(script.batches[1][5].type, InputEvent::Type::TextInput);
  EXPECT_EQ(script.batches[1][5].character, U'\b');
  EXPECT_TRUE(script.batches[2].empty());

  EXPECT_EQ(KeyCodeForName("Tab"), 9);
  EXPECT_EQ(KeyCodeForName("KeyZ"), 90);
  EXPECT_EQ(KeyCodeForName("Digit7"), 55);
  EXPECT_EQ(KeyCodeForName("F12"), 123);
  EXPECT_EQ(KeyCodeForName("NoSuchKey"), 0);
  EXPECT_EQ(KeyCodeForChar('"'), 222);

  EXPECT_FALSE(ParseInputScript("{\"type\": \"Wait\"}", script, error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(ParseInputScript("[{\"type\": \"Wait\"", script, error));
  EXPECT_FALSE(ParseInputScript("[1, 2]", script, error));
}

TEST(InputScript, RecordedRunDeliversEachBatchAfterItsFrameAndStopsOnQuit) {
  // Frame 1 traces the key held; frame 2 too, then asks to quit; frame 3 never runs.
  auto keyHeld = [] {
    Actions a;
    a.PushNumber(65).PushNumber(1).PushString("Key").GetVariable().PushString("isDown").Op(0x52).Trace();
    return a;
  };
  Bytes tags = keyHeld().Tag();
  PutBytes(tags, testing::ShowFrame());
  Actions second = keyHeld();
  second.GetUrl("FSCommand:quit", "");
  PutBytes(tags, second.Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, Actions().TraceString("frame 3").Tag());
  PutBytes(tags, testing::ShowFrame());
  PutBytes(tags, testing::End());
  FlashControl control;
  std::vector<std::string> traces;
  control.OnTrace = [&](const std::string& line) { traces.push_back(line); };
  ASSERT_TRUE(control.LoadMovieData(testing::MakeMovie(tags, 100, 100, 3, 8)));
  InputScript script;
  std::string error;
  ASSERT_TRUE(ParseInputScript(R"([{"type": "KeyDown", "key": "KeyA"}, {"type": "Wait"}])", script, error));
  std::vector<int> seen;
  EXPECT_EQ(RunRecorded(control, 5, &script, [&](int iteration) { seen.push_back(iteration); }), 2);
  EXPECT_EQ(seen, std::vector<int>{1});  // the quitting frame ends the run before its batch
  EXPECT_EQ(traces, (std::vector<std::string>{"false", "true"}));
}

}  // namespace
}  // namespace vantrel::flash
