// Display properties as setProperty and getProperty reach them: values that are no
// number, ranges past what the player keeps, and the stage-wide properties by SWF version.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include <unistd.h>

#include "../movie_test_support.h"
#include "flash/control/flash_control.h"
#include "support/swf_movie_writer.h"

namespace vantrel::flash {
namespace {

using testing::Actions;
using testing::Bytes;

namespace fs = std::filesystem;

enum PropertyIndex { kX = 0, kXScale = 2, kYScale = 3, kAlpha = 6, kVisible = 7, kWidth = 8, kHeight = 9, kRotation = 10, kName = 13, kHighQuality = 16, kFocusRect = 17, kSoundBufTime = 18 };

// setProperty("_level0", property, value) with the value pushed by push.
template <typename Push>
void SetProperty(Actions& a, PropertyIndex property, Push push, const char* target = "_level0") {
  a.PushString(target).PushNumber(property);
  push(a);
  a.Op(0x23);
}

// trace(getProperty(target, property))
void TraceProperty(Actions& a, PropertyIndex property, const char* target = "_level0") {
  a.PushString(target).PushNumber(property).Op(0x22).Trace();
}

auto Number(double v) {
  return [v](Actions& a) { a.PushNumber(v); };
}
auto Text(const char* s) {
  return [s](Actions& a) { a.PushString(s); };
}
auto Undefined() {
  return [](Actions& a) { a.OpWith(0x96, Bytes{3}); };
}
auto Null() {
  return [](Actions& a) { a.OpWith(0x96, Bytes{2}); };
}

class DisplayPropertiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("vantrel_display_properties_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    control.OnTrace = [this](const std::string& line) { traces.push_back(line); };
  }
  void TearDown() override { fs::remove_all(folder); }

  std::vector<std::string> Run(const Actions& frame, int version) {
    // A clip of a 100 x 50 pixel rectangle, placed as "clip" and, mirrored, as "mirror".
    Bytes tags = testing::DefineRectangle(1, 0, 0, 2000, 1000, 255, 0, 0);
    testing::Place shape, clip, mirror;
    shape.character = 1;
    Bytes sprite = testing::PlaceObject2(shape);
    testing::PutBytes(sprite, testing::ShowFrame());
    testing::PutBytes(sprite, testing::End());
    testing::PutBytes(tags, testing::DefineSprite(2, 1, sprite));
    clip.character = mirror.character = 2;
    clip.name = "clip";
    mirror.depth = 2;
    mirror.hasMatrix = true;
    mirror.scaleX = -1;
    mirror.name = "mirror";
    testing::PutBytes(tags, testing::PlaceObject2(clip));
    testing::PutBytes(tags, testing::PlaceObject2(mirror));
    testing::PutBytes(tags, frame.Tag());
    testing::PutBytes(tags, testing::ShowFrame());
    testing::PutBytes(tags, testing::End());
    const Bytes movie = testing::MakeMovie(tags, 100, 100, 1, version, 30);
    const fs::path path = folder / "main.swf";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(movie.data()), movie.size());
    EXPECT_TRUE(control.LoadMovie(0, path.string()));
    control.Tick();
    return traces;
  }

  fs::path folder;
  FlashControl control;
  std::vector<std::string> traces;
};

TEST_F(DisplayPropertiesTest, WhatIsNoNumberLeavesAPropertyAsItWas) {
  for (const int version : {5, 7}) {
    SCOPED_TRACE(version);
    traces.clear();
    Actions a;
    // SWF 5 code turns undefined into 0 elsewhere; a property keeps its value.
    SetProperty(a, kX, Number(1));
    SetProperty(a, kX, Undefined());
    TraceProperty(a, kX);
    SetProperty(a, kX, Null());
    TraceProperty(a, kX);
    SetProperty(a, kVisible, Text("10x"));
    TraceProperty(a, kVisible);
    SetProperty(a, kVisible, Text("0"));
    TraceProperty(a, kVisible);
    SetProperty(a, kVisible, Number(std::numeric_limits<double>::infinity()));
    TraceProperty(a, kVisible);
    EXPECT_EQ(Run(a, version), (std::vector<std::string>{"1", "1", "true", "false", "true"}));
  }
}

TEST_F(DisplayPropertiesTest, PositionsAndAlphaKeepThePlayersIntegerForms) {
  Actions a;
  SetProperty(a, kX, Number(std::numeric_limits<double>::infinity()));
  TraceProperty(a, kX);
  SetProperty(a, kAlpha, Number(2));
  TraceProperty(a, kAlpha);
  SetProperty(a, kAlpha, Number(-5));
  TraceProperty(a, kAlpha);
  SetProperty(a, kAlpha, Number(std::numeric_limits<double>::infinity()));
  TraceProperty(a, kAlpha);
  SetProperty(a, kSoundBufTime, Number(1.5));
  TraceProperty(a, kSoundBufTime);
  SetProperty(a, kSoundBufTime, Text("abc"));
  TraceProperty(a, kSoundBufTime);
  SetProperty(a, kName, Number(std::numeric_limits<double>::quiet_NaN()));
  TraceProperty(a, kName);
  EXPECT_EQ(Run(a, 7), (std::vector<std::string>{"-107374182.4", "1.953125", "-4.6875", "0", "1", "1", "0"}));
}

TEST_F(DisplayPropertiesTest, PathsNameClipsFromTheTargetDownNotThroughVariables) {
  Actions a;
  SetProperty(a, kX, Number(7), "mirror");
  a.PushString("v").PushString("mirror").GetVariable().SetVariable();  // a root variable holding the clip
  a.PushString("_global").GetVariable().PushString("g").PushString("mirror").GetVariable().Op(0x4F);  // and a global
  testing::SetTarget(a, "clip");
  TraceProperty(a, kX, "v");             // not a clip under "clip"
  TraceProperty(a, kX, "g");
  TraceProperty(a, kX, "mirror");        // nor is its sibling
  TraceProperty(a, kX, "_root.mirror");  // a path from the root is
  TraceProperty(a, kX, "../mirror");
  testing::SetTarget(a, "");
  TraceProperty(a, kX, "mirror");
  EXPECT_EQ(Run(a, 7), (std::vector<std::string>{"undefined", "undefined", "undefined", "7", "7", "7"}));
}

TEST_F(DisplayPropertiesTest, HighQualityTwoReadsBackAsBestWhileTheHostDrawsHigh) {
  Actions a;
  SetProperty(a, kHighQuality, Number(2));
  TraceProperty(a, kHighQuality);
  a.PushString("_quality").GetVariable().Trace();
  SetProperty(a, kHighQuality, Number(-5));
  TraceProperty(a, kHighQuality);
  SetProperty(a, kHighQuality, Number(0));
  TraceProperty(a, kHighQuality);
  EXPECT_EQ(Run(a, 7), (std::vector<std::string>{"2", "BEST", "1", "0"}));
  EXPECT_EQ(control.Quality2(), "Low");
}

TEST_F(DisplayPropertiesTest, TheStagesFocusRectangleByVersion) {
  // SWF 5 code knows only the stage's, as a number, and sets it through any object.
  Actions swf5;
  SetProperty(swf5, kFocusRect, Number(0), "_root.clip");
  TraceProperty(swf5, kFocusRect, "_level0");
  TraceProperty(swf5, kFocusRect, "_root.clip");
  EXPECT_EQ(Run(swf5, 5), (std::vector<std::string>{"0", "0"}));

  // Later code: undefined, null and words leave the stage's as it is; objects clear it.
  traces.clear();
  Actions swf6;
  SetProperty(swf6, kFocusRect, Undefined());
  TraceProperty(swf6, kFocusRect);
  SetProperty(swf6, kFocusRect, Text("test"));
  TraceProperty(swf6, kFocusRect);
  SetProperty(swf6, kFocusRect, Number(0));
  SetProperty(swf6, kFocusRect, Null());
  TraceProperty(swf6, kFocusRect);
  SetProperty(swf6, kFocusRect, Text("2"));
  TraceProperty(swf6, kFocusRect);
  EXPECT_EQ(Run(swf6, 6), (std::vector<std::string>{"true", "true", "false", "true"}));
}

TEST_F(DisplayPropertiesTest, SizesAreMeasuredWithTheCornersOnWholeTwips) {
  Actions a;
  SetProperty(a, kRotation, Number(27), "clip");
  TraceProperty(a, kWidth, "clip");
  TraceProperty(a, kHeight, "clip");
  EXPECT_EQ(Run(a, 8), (std::vector<std::string>{"111.8", "89.95"}));
}

TEST_F(DisplayPropertiesTest, AMirroredClipReadsBackPositiveScalesAndAHalfTurn) {
  Actions a;
  for (const PropertyIndex p : {kXScale, kYScale, kRotation, kWidth}) TraceProperty(a, p, "mirror");
  // Setting a scale keeps the mirror.
  SetProperty(a, kYScale, Number(50), "mirror");
  for (const PropertyIndex p : {kXScale, kYScale, kRotation, kHeight}) TraceProperty(a, p, "mirror");
  EXPECT_EQ(Run(a, 8), (std::vector<std::string>{"100", "100", "180", "100", "100", "50", "180", "25"}));
}

TEST(DisplayProperties, ThePointerIsReadBackOnWholeTwipsOrAsPixelsWhenScaledToNothing) {
  // Frame 1 makes a clip at x = 10.25; frame 2, with the pointer at (30, 20), reads it.
  Actions first;
  first.PushNumber(1).PushString("c").PushNumber(2);
  testing::PushTarget(first, "_root");
  first.PushString("createEmptyMovieClip").Op(0x52).Op(0x17);
  SetProperty(first, kX, Number(10.25), "c");
  Actions second;
  // The clip's place on screen starts on a whole pixel (10, not 10.25), so the pointer
  // is 20 pixels into it rather than 19.75.
  TraceProperty(second, static_cast<PropertyIndex>(20), "c");
  // Scaled to nothing there is no way back: 30 screen pixels are taken as 30 twips.
  SetProperty(second, kXScale, Number(0), "c");
  TraceProperty(second, static_cast<PropertyIndex>(20), "c");
  second.Stop();
  Bytes tags;
  testing::PutBytes(tags, first.Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, second.Tag());
  testing::PutBytes(tags, testing::ShowFrame());
  testing::PutBytes(tags, testing::End());
  auto run = StartMovie(tags, 2);
  ASSERT_TRUE(run->player);
  run->player->MouseMove(QPointF(600, 400));
  run->player->Tick();
  EXPECT_EQ(run->traces, (std::vector<std::string>{"20", "1.5"}));
}

TEST_F(DisplayPropertiesTest, AClipsChildrenAndLevelsComeBeforeItsPropertiesAndPrototypes) {
  // _root[name] as GetMember reads it.
  const auto traceMember = [](Actions& a, const char* name) {
    a.PushString("_root").GetVariable().PushString(name).Op(0x4E).Trace();
  };
  Actions a;
  // _root.createEmptyMovieClip("_x", 5): a child named like a property hides it.
  a.PushNumber(5).PushString("_x").PushNumber(2).PushString("_root").GetVariable();
  a.PushString("createEmptyMovieClip").Op(0x52).Op(0x17);
  traceMember(a, "_x");
  // Level names are read leniently, and a level that is not there is undefined even
  // when a prototype has a member of that name.
  traceMember(a, "_flash0a");
  traceMember(a, "_level4294967296");
  a.PushString("MovieClip").GetVariable().PushString("prototype").Op(0x4E);
  a.PushString("_level1").PushNumber(99).Op(0x4F);
  traceMember(a, "_level1");
  EXPECT_EQ(Run(a, 8), (std::vector<std::string>{"_level0._x", "_level0", "_level0", "undefined"}));
}

}  // namespace
}  // namespace vantrel::flash
