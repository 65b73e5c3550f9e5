// Scenes and frame labels of an ActionScript 3 movie's timeline: the scene data of the
// file, frames counted from the first frame of a scene, gotos into a named scene and the
// steps between scenes, and a header that declares fewer frames than the file holds.
#include <gtest/gtest.h>

#include "script_movie.h"

namespace vantrel::flash::avm2 {
namespace {

using namespace vantrel::testing;
using Lines = std::vector<std::string>;

// Five frames: scene "A" of frames 1-3 (labels a1 on 1 and a1 again on 2), scene "B" of
// frames 4-5 (label b on 4). A FrameLabel tag of the first frame gives way to the data.
Bytes SceneData() {
  Bytes body = {2, 0};
  PutString(body, "A");
  body.push_back(3);
  PutString(body, "B");
  body.push_back(3);
  for (const auto& [frame, name] : std::vector<std::pair<int, std::string>>{{0, "a1"}, {1, "a1"}, {3, "b"}}) {
    body.push_back(static_cast<std::uint8_t>(frame));
    PutString(body, name);
  }
  Bytes tags = Tag(86, body);
  Bytes label;
  PutString(label, "ignored");
  PutBytes(tags, Tag(43, label));
  return tags;
}

// trace(currentScene.name + " " + currentFrame + " " + currentLabel)
void Where(Code& code) {
  const std::uint32_t trace = code.w.Name("trace");
  code.OpName(0x5D, trace).Op({0xD0}).OpName(0x66, code.w.Name("currentScene")).OpName(0x66, code.w.Name("name"));
  code.Str(" ").Op({0xA0, 0xD0}).OpName(0x66, code.w.Name("currentFrame")).Op({0xA0});
  code.Str(" ").Op({0xA0, 0xD0}).OpName(0x66, code.w.Name("currentLabel")).Op({0xA0}).Call(0x4F, trace, 1);
}

TEST(Avm2Scenes, FramesCountFromTheirSceneAndGotosNameTheScene) {
  AbcWriter w;
  Code code{w};
  code.Do(L(0), "stop");
  code.Trace(L(0), "scenes.length").Trace(L(0), "totalFrames").Trace(L(0), "currentLabels.length");
  Where(code);
  code.Do(L(0), "gotoAndStop", {I(1), S("B")});
  Where(code);
  code.Trace(L(0), "currentScene.numFrames").Trace(L(0), "currentScene.labels.length");
  code.Do(L(0), "prevScene");
  Where(code);
  code.Do(L(0), "gotoAndStop", {S("a1")}).Do(L(0), "nextFrame");
  Where(code);
  code.Trace(L(0), "currentFrameLabel");
  code.Do(L(0), "nextScene").Do(L(0), "nextScene");  // after B: B again, from its first frame
  Where(code);
  code.TryTrace([](Code& c) { c.Do(L(0), "gotoAndStop", {I(1), S("C")}); });
  // A string that reads as a whole number is a frame number; a label missing from a
  // movie of version 10 sends the clip to its first frame.
  code.Do(L(0), "gotoAndStop", {S("2"), S("B")});
  Where(code);
  code.TryTrace([](Code& c) { c.Do(L(0), "gotoAndStop", {S("b"), S("A")}); });
  Where(code);
  EXPECT_EQ(RunDocument(w, code, {}, SceneData(), 5),
            (Lines{"2", "5", "2", "A 1 a1", "B 1 b", "2", "1", "A 1 a1", "A 2 a1", "a1", "B 1 b",
                   "ArgumentError: Error #2108: Scene C was not found.", "B 2 b", "A 1 a1"}));
}

TEST(Avm2Scenes, TheMainTimelineCountsTheFramesItsHeaderDeclaresAndStillPlaysTheOthers) {
  AbcWriter w;
  Code code{w};
  code.Trace(L(0), "totalFrames").Trace(L(0), "framesLoaded").Trace(L(0), "isPlaying");
  code.Push(L(0)).Str("enterFrame").OpName(0x40, TracingListener(w, "currentTarget.currentFrame"));
  code.Call(0x4F, w.Name("addEventListener"), 2);
  // The header says one frame; the file holds three.
  Bytes extra = ShowFrame();
  PutBytes(extra, ShowFrame());
  const Lines lines = RunDocument(w, code, [](FlashControl& c) {
    c.Tick();
    c.Tick();
  }, extra, 1);
  EXPECT_EQ(lines, (Lines{"1", "1", "false", "enterFrame 2", "enterFrame 3"}));
}

}  // namespace
}  // namespace vantrel::flash::avm2
