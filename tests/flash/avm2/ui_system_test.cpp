// What applications set up in their first frame: the context menu's classes, the
// pointer, fscommand, and the classes of the API that are declared without behaviour.
#include <gtest/gtest.h>

#include "script_movie.h"

namespace vantrel::flash::avm2 {
namespace {

using namespace vantrel::testing;
using Bytes = AbcWriter::Bytes;
using Lines = std::vector<std::string>;

// A menu starts with every built-in item; hiding them clears the flags; a clone copies
// the custom items rather than sharing them.
TEST(Avm2ContextMenu, BuiltInItemsCustomItemsAndClones) {
  AbcWriter w;
  Code code{w};
  code.New("flash.ui", "ContextMenu", 1).Trace(L(1), "builtInItems.zoom");
  code.Do(L(1), "hideBuiltInItems").Trace(L(1), "builtInItems.zoom").Trace(L(1), "builtInItems.print");
  code.New("flash.ui", "ContextMenuItem", 2, {S("About"), B(true)});
  code.Push(L(1)).OpName(0x66, w.Name("customItems")).Push(L(2)).Call(0x4F, w.Name("push"), 1);
  code.Keep(3, L(1), "clone");
  code.Set(L(2), "caption", S("Changed"));
  code.Push(L(3)).OpName(0x66, w.Name("customItems")).Call(0x46, w.Name("pop"), 0).SetLocal(4);
  code.Trace(L(4), "caption").Trace(L(4), "separatorBefore").Trace(L(4), "enabled").Trace(L(3), "builtInItems.zoom");
  code.New("flash.net", "FileFilter", 2, {S("Images"), S("*.jpg;*.png")});
  code.Trace(L(2), "description").Trace(L(2), "extension").Trace(L(2), "macType");
  EXPECT_EQ(RunMovie(w, code),
            (std::vector<std::string>{"true", "false", "false", "About", "true", "true", "false", "Images", "*.jpg;*.png",
                                      "null"}));
}

// The pointer's cursor takes only the names the player knows; fscommand reaches the
// program around the player; a declared member without behaviour names itself when
// called (an IllegalOperationError prints as an Error), and declared constants have
// their values.
TEST(Avm2PlayerApi, CursorFsCommandAndDeclaredClasses) {
  AbcWriter w;
  Code code{w};
  const std::uint32_t mouse = w.PackageName("flash.ui", "Mouse");
  code.OpName(0x60, mouse).SetLocal(1);  // getlex Mouse
  code.Set(L(1), "cursor", S("hand")).Trace(L(1), "cursor");
  code.TryTrace([](Code& c) { c.Set(L(1), "cursor", S("pointer")); });
  const std::uint32_t fscommand = w.PackageName("flash.system", "fscommand");
  code.OpName(0x5D, fscommand).Str("fullscreen").Str("true").Call(0x4F, fscommand, 2);
  code.New("flash.display", "Sprite", 2);
  code.TryTrace([](Code& c) { c.Do(L(2), "startTouchDrag", {I(0)}); });
  code.OpName(0x60, w.PackageName("flash.net", "URLRequestMethod")).SetLocal(3).Trace(L(3), "POST");
  code.OpName(0x60, w.PackageName("flash.ui", "KeyLocation")).SetLocal(3).Trace(L(3), "NUM_PAD");
  // A desktop player has no accelerometer and no touch screen.
  code.OpName(0x60, w.PackageName("flash.sensors", "Accelerometer")).SetLocal(3).Trace(L(3), "isSupported");
  code.OpName(0x60, w.PackageName("flash.ui", "Multitouch")).SetLocal(3).Trace(L(3), "maxTouchPoints");
  code.New("flash.media", "SoundLoaderContext", 3).Trace(L(3), "bufferTime");
  code.Op({0x47});
  w.Script(w.Method(code.bytes, code.handlers, 8));
  Bytes tags = AbcTags(w);
  PutBytes(tags, ShowFrame());
  PutBytes(tags, End());
  flash::FlashControl control;
  std::vector<std::string> lines;
  control.OnTrace = [&](const std::string& line) { lines.push_back(line); };
  control.FSCommand = [&](const std::string& command, const std::string& arguments) {
    lines.push_back("fscommand " + command + " " + arguments);
  };
  ASSERT_TRUE(control.LoadMovieData(MakeMovie(tags, 100, 100, 1, 10)));
  control.Tick();
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "hand", "ArgumentError: Error #2008: Parameter cursor must be one of the accepted values.",
                       "fscommand fullscreen true",
                       "Error: Error #2014: flash.display::Sprite/startTouchDrag() is not implemented.", "POST",
                       "3", "false", "0", "1000"}));
}

// A sprite's soundTransform reads back what a script set (the mixer keeps whole percent);
// a null one is refused.
TEST(Avm2Sound, SpriteSoundTransformReadsBackWhatWasSet) {
  AbcWriter w;
  Code code{w};
  code.New("flash.display", "Sprite", 1).Trace(L(1), "soundTransform.volume");
  code.New("flash.media", "SoundTransform", 2, {S("0.333"), S("1")}).Set(L(1), "soundTransform", L(2));
  code.Set(L(2), "volume", I(0));  // the sprite keeps its own copy
  code.Trace(L(1), "soundTransform.volume").Trace(L(1), "soundTransform.leftToLeft");
  code.TryTrace([](Code& c) { c.Set(L(1), "soundTransform", Null()); });
  EXPECT_EQ(RunMovie(w, code), (Lines{"1", "0.333", "0", "TypeError: Error #2007: Parameter sndTransform must be non-null."}));
}

// decompose takes a matrix apart into translation, rotation and scale; a projection
// matrix divides by z, and the projection's focal length and field of view follow each
// other on a 500-pixel stage.
TEST(Avm2Matrix3D, DecomposeProjectAndPerspective) {
  AbcWriter w;
  Code code{w};
  code.New("flash.geom", "Vector3D", 2, {I(0), I(0), I(1)});
  code.New("flash.geom", "Matrix3D", 1).Do(L(1), "appendRotation", {I(90), L(2)});
  code.Do(L(1), "appendScale", {I(2), I(3), I(4)}).Do(L(1), "appendTranslation", {I(5), I(6), I(7)});
  code.TraceCall(L(1), "decompose");
  code.TryTrace([](Code& c) { c.Do(L(1), "decompose", {S("sideways")}); });
  // A scale and a translation come back as they went in.
  code.New("flash.geom", "Vector3D", 3, {I(1), I(2), I(3)}).New("flash.geom", "Vector3D", 4, {I(0), I(0), I(0)});
  code.New("flash.geom", "Vector3D", 5, {I(2), I(4), I(8)}).New("flash.geom", "Matrix3D", 6);
  code.Keep(7, L(1), "decompose").Do(L(7), "splice", {I(0), I(3), L(3), L(4), L(5)});
  code.TraceCall(L(6), "recompose", {L(7)}).Trace(L(6), "rawData");

  code.New("flash.geom", "PerspectiveProjection", 3).Trace(L(3), "fieldOfView").Trace(L(3), "focalLength");
  code.Set(L(3), "focalLength", I(250)).Trace(L(3), "fieldOfView").Trace(L(3), "projectionCenter");
  code.TryTrace([](Code& c) { c.Set(L(3), "fieldOfView", I(180)); });
  code.Keep(4, L(3), "toMatrix3D").New("flash.geom", "Vector3D", 5, {I(10), I(20), I(50)});
  const std::uint32_t trace = w.Name("trace");
  code.OpName(0x5D, trace).OpName(0x60, w.PackageName("flash.geom", "Utils3D")).Push(L(4)).Push(L(5));
  code.Call(0x46, w.Name("projectVector"), 2).Call(0x4F, trace, 1);
  const auto lines = RunMovie(w, code);
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[0], "Vector3D(5, 6, 7),Vector3D(0, 0, 1.5707963705062866),Vector3D(3, 2, 4)");
  EXPECT_EQ(lines[1], "Error: Error #2187: Invalid orientation style sideways.  Value must be one of "
                      "'Orientation3D.EULER_ANGLES', 'Orientation3D.AXIS_ANGLE', or 'Orientation3D.QUATERNION'.");
  EXPECT_EQ(lines[2], "true");
  EXPECT_EQ(lines[3], "2,0,0,0,0,4,0,0,0,0,8,0,1,2,3,1");
  EXPECT_EQ(Lines(lines.begin() + 4, lines.end()),
            (Lines{"55", "480.24554443359375", "90", "(x=250, y=250)",
                   "ArgumentError: Error #2182: Invalid fieldOfView value.  The value must be greater than 0 and less than 180.",
                   "Vector3D(50, 100, 1)"}));
}

}  // namespace
}  // namespace vantrel::flash::avm2

namespace vantrel::flash::avm2 {
namespace {

using namespace vantrel::testing;

// What is appended happens after what is there: a translation then a scale moves the
// position too, the other way round it does not; a matrix without inverse stays.
TEST(Avm2Matrix3D, AppendPrependAndInverse) {
  AbcWriter w;
  Code code{w};
  code.New("flash.geom", "Matrix3D", 1).Do(L(1), "appendTranslation", {I(1), I(2), I(3)});
  code.Do(L(1), "appendScale", {I(2), I(2), I(2)}).Trace(L(1), "position");
  code.New("flash.geom", "Matrix3D", 2).Do(L(2), "appendScale", {I(2), I(2), I(2)});
  code.Do(L(2), "appendTranslation", {I(1), I(2), I(3)}).Trace(L(2), "position").Trace(L(2), "determinant");
  code.TraceCall(L(2), "invert").Trace(L(2), "position");
  code.Do(L(2), "appendScale", {I(0), I(1), I(1)}).TraceCall(L(2), "invert").Trace(L(2), "position");
  EXPECT_EQ(RunMovie(w, code), (std::vector<std::string>{"Vector3D(2, 4, 6)", "Vector3D(1, 2, 3)", "8", "true",
                                                         "Vector3D(-0.5, -1, -1.5)", "false", "Vector3D(0, -1, -1.5)"}));
}

}  // namespace
}  // namespace vantrel::flash::avm2
