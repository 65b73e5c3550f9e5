// The display side of ActionScript 3 movies in the player: the drawing API's bounds and
// the event classes that carry input fields.
#include <gtest/gtest.h>

#include "script_movie.h"

namespace vantrel::flash::avm2 {
namespace {

using namespace vantrel::testing;
using Bytes = AbcWriter::Bytes;

TEST(Avm2Graphics, DrawingSetsTheBoundsAndClearEmptiesThem) {
  AbcWriter w;
  Code code{w};
  code.New("flash.display", "Sprite", 1);
  code.Draw(1, "beginFill", {0xFF0000}).Draw(1, "drawRect", {10, 20, 30, 40}).Draw(1, "endFill", {});
  code.Trace(L(1), "width").Trace(L(1), "height");
  // A line widens the bounds by half its thickness on every side.
  code.Draw(1, "lineStyle", {4}).Draw(1, "drawCircle", {50, 50, 10});
  code.Trace(L(1), "width");
  code.Draw(1, "clear", {}).Trace(L(1), "width");
  // Shapes draw too.
  code.New("flash.display", "Shape", 2);
  code.Draw(2, "beginFill", {0}).Draw(2, "drawEllipse", {0, 0, 16, 8}).Trace(L(2), "width").Trace(L(2), "height");
  EXPECT_EQ(RunMovie(w, code), (std::vector<std::string>{"30", "40", "52", "0", "16", "8"}));
}

// Paths from commands and numbers: GraphicsPath builds them, drawPath, drawTriangles and
// drawGraphicsData draw them, copyFrom copies a drawing; numbers too few for the
// commands draw nothing and throw, and string properties refuse values they do not know.
TEST(Avm2Graphics, PathsStrokesAndCopiesOfDrawings) {
  AbcWriter w;
  Code code{w};
  code.New("flash.display", "GraphicsPath", 2).Trace(L(2), "winding");
  code.Do(L(2), "moveTo", {I(10), I(0)}).Do(L(2), "lineTo", {I(50), I(0)});
  code.Do(L(2), "wideLineTo", {I(50), I(30)}).Do(L(2), "lineTo", {I(10), I(30)});
  code.Trace(L(2), "commands").Trace(L(2), "data");
  // shape.graphics.drawPath(path.commands, path.data)
  const auto drawPath = [&](Code& c) {
    c.Push(L(1)).OpName(0x66, w.Name("graphics"));
    c.Push(L(2)).OpName(0x66, w.Name("commands")).Push(L(2)).OpName(0x66, w.Name("data"));
    c.Call(0x4F, w.Name("drawPath"), 2);
  };
  code.New("flash.display", "Shape", 1).Draw(1, "beginFill", {0});
  drawPath(code);
  code.Trace(L(1), "width").Trace(L(1), "height");
  // copyFrom: a second shape gets the same drawing.
  code.New("flash.display", "Shape", 3);
  code.Push(L(3)).OpName(0x66, w.Name("graphics")).Push(L(1)).OpName(0x66, w.Name("graphics"));
  code.Call(0x4F, w.Name("copyFrom"), 1).Trace(L(3), "width");
  // One number short: nothing is drawn.
  code.Draw(1, "clear", {});
  code.Push(L(2)).OpName(0x66, w.Name("data")).Call(0x4F, w.Name("pop"), 0);
  code.TryTrace(drawPath).Trace(L(1), "width");
  code.TryTrace([&](Code& c) { c.Set(L(2), "winding", S("nonzero")); });
  code.Set(L(2), "winding", S("nonZero")).Trace(L(2), "winding");
  // drawGraphicsData with a 2-pixel stroke and the path made whole again.
  code.Push(L(2)).OpName(0x66, w.Name("data")).Int(30).Call(0x4F, w.Name("push"), 1);
  code.Do(L(2), "lineTo", {I(10), I(0)});
  code.New("flash.display", "GraphicsStroke", 4, {I(2)}).Trace(L(4), "thickness").Trace(L(4), "caps");
  code.TryTrace([&](Code& c) { c.Set(L(4), "caps", S("flat")); });
  code.New("flash.display", "GraphicsSolidFill", 6, {I(0xFF)}).Set(L(4), "fill", L(6));
  code.New("", "Array", 7, {L(4), L(2)});
  code.New("flash.display", "Shape", 3);
  code.Push(L(3)).OpName(0x66, w.Name("graphics")).Push(L(7)).Call(0x4F, w.Name("drawGraphicsData"), 1);
  code.Trace(L(3), "width").Trace(L(3), "height");
  // drawTriangles: a triangle turning clockwise on the screen is left out by "positive"
  // culling and drawn by "negative"; points that make no whole triangle are refused.
  code.New("flash.display", "GraphicsPath", 2);
  code.Do(L(2), "moveTo", {I(0), I(0)}).Do(L(2), "lineTo", {I(20), I(0)}).Do(L(2), "lineTo", {I(20), I(10)});
  const auto triangles = [&](Code& c, const char* culling) {
    c.Push(L(1)).OpName(0x66, w.Name("graphics")).Push(L(2)).OpName(0x66, w.Name("data")).Push(Null()).Push(Null());
    c.Str(culling).Call(0x4F, w.Name("drawTriangles"), 4);
  };
  code.Draw(1, "clear", {}).Draw(1, "beginFill", {0});
  triangles(code, "positive");
  code.Trace(L(1), "width");
  triangles(code, "negative");
  code.Trace(L(1), "width").Trace(L(1), "height");
  code.Push(L(2)).OpName(0x66, w.Name("data")).Call(0x4F, w.Name("pop"), 0);
  code.TryTrace([&](Code& c) { triangles(c, "none"); });
  EXPECT_EQ(RunMovie(w, code),
            (std::vector<std::string>{
                "evenOdd", "1,2,5,2", "10,0,50,0,0,0,50,30,10,30", "40", "30", "40",
                "ArgumentError: Error #2004: One of the parameters is invalid.", "0",
                "ArgumentError: Error #2008: Parameter winding must be one of the accepted values.", "nonZero", "2",
                "none", "ArgumentError: Error #2008: Parameter caps must be one of the accepted values.", "42", "32",
                "0", "20", "10", "ArgumentError: Error #2004: One of the parameters is invalid."}));
}

TEST(Avm2Events, MouseAndKeyboardEventsKeepTheirFieldsAndCloneThem) {
  AbcWriter w;
  Code code{w};
  // new MouseEvent("click") bubbles by default; its local point is not set.
  const std::uint32_t mouse = w.PackageName("flash.events", "MouseEvent");
  code.OpName(0x5D, mouse).Str("click").Call(0x4A, mouse, 1).Op({0xD5});
  code.Trace(L(1)).Trace(L(1), "localX");
  const std::uint32_t keyboard = w.PackageName("flash.events", "KeyboardEvent");
  code.OpName(0x5D, keyboard).Str("keyDown").Op({0x26, 0x27}).Int(97).Int(65).Call(0x4A, keyboard, 5).Op({0xD6});
  code.Op({0xD2}).Call(0x46, w.Name("clone"), 0).Op({0xD7});  // local3 = local2.clone()
  code.Trace(L(3), "keyCode").Trace(L(3), "charCode").Trace(L(3), "bubbles").Trace(L(3));
  // formatToString takes each name as a String: undefined is null (which a sealed event lacks).
  code.TryTrace([&](Code& c) { c.Push(L(1)).Str("C").Op({0x21}).Call(0x4F, w.Name("formatToString"), 2); });
  EXPECT_EQ(RunMovie(w, code),
            (std::vector<std::string>{
                "[MouseEvent type=\"click\" bubbles=true cancelable=false eventPhase=2 localX=NaN localY=NaN stageX=NaN "
                "stageY=NaN relatedObject=null ctrlKey=false altKey=false shiftKey=false buttonDown=false delta=0]",
                "NaN", "65", "97", "true",
                "[KeyboardEvent type=\"keyDown\" bubbles=true cancelable=false eventPhase=2 charCode=97 keyCode=65 "
                "keyLocation=0 ctrlKey=false altKey=false shiftKey=false]",
                "ReferenceError: Error #1069: Property null not found on flash.events.MouseEvent and there is no "
                "default value."}));
}

TEST(Avm2Geom, RectanglesAndMatricesComputeAsThePlayerPrintsThem) {
  AbcWriter w;
  Code code{w};
  code.New("flash.geom", "Rectangle", 1, {I(10), I(10), I(20), I(20)});
  code.New("flash.geom", "Rectangle", 2, {I(20), I(0), I(20), I(15)});
  code.Op({0xD1, 0xD2}).Call(0x46, w.Name("union"), 1).Op({0xD7});  // local3 = r1.union(r2)
  code.Trace(L(3));
  code.Op({0xD1, 0xD2}).Call(0x46, w.Name("intersection"), 1).Op({0xD7});
  code.Trace(L(3)).Trace(L(3), "bottomRight");
  // Rectangles that only touch do not intersect; an empty one adds nothing to a union.
  code.New("flash.geom", "Rectangle", 2, {I(30), I(0), I(5), I(5)});
  code.Op({0xD1, 0xD2}).Call(0x46, w.Name("intersects"), 1).Op({0xD7}).Trace(L(3));
  code.New("flash.geom", "Rectangle", 2, {I(-50), I(-50), I(0), I(5)});
  code.Op({0xD1, 0xD2}).Call(0x46, w.Name("union"), 1).Op({0xD7}).Trace(L(3));
  // A scaled, translated matrix inverted maps its image back.
  code.New("flash.geom", "Matrix", 1, {I(2), I(0), I(0), I(4), I(10), I(20)});
  code.New("flash.geom", "Point", 2, {I(3), I(5)});
  code.Op({0xD1, 0xD2}).Call(0x46, w.Name("transformPoint"), 1).Op({0xD7}).Trace(L(3));
  code.Op({0xD1}).Call(0x4F, w.Name("invert"), 0).Trace(L(1));
  code.Op({0xD1, 0xD3}).Call(0x46, w.Name("transformPoint"), 1).Op({0xD7}).Trace(L(3));
  // A singular matrix inverts to the identity; the default colour transform changes nothing.
  code.New("flash.geom", "Matrix", 1, {I(0), I(0), I(0), I(0), I(5), I(5)});
  code.Op({0xD1}).Call(0x4F, w.Name("invert"), 0).Trace(L(1));
  code.New("flash.geom", "ColorTransform", 1, {});
  code.Trace(L(1), "color").Trace(L(1));
  EXPECT_EQ(RunMovie(w, code),
            (std::vector<std::string>{"(x=10, y=0, w=30, h=30)", "(x=20, y=10, w=10, h=5)", "(x=30, y=15)", "false",
                                      "(x=10, y=10, w=20, h=20)", "(x=16, y=40)", "(a=0.5, b=0, c=0, d=0.25, tx=-5, ty=-5)",
                                      "(x=3, y=5)", "(a=1, b=0, c=0, d=1, tx=0, ty=0)", "0",
                                      "(redMultiplier=1, greenMultiplier=1, blueMultiplier=1, alphaMultiplier=1, "
                                      "redOffset=0, greenOffset=0, blueOffset=0, alphaOffset=0)"}));
}

TEST(Avm2Display, BoundsAndPointsFollowTheChildsTransform) {
  AbcWriter w;
  Code code{w};
  code.New("flash.display", "Sprite", 1).New("flash.display", "Sprite", 2);
  code.Draw(2, "beginFill", {0}).Draw(2, "drawRect", {0, 0, 10, 10});
  // The child moved to (5, 7) and scaled twice in x, inside its parent.
  code.Op({0xD2}).Int(5).OpName(0x61, w.Name("x")).Op({0xD2}).Int(7).OpName(0x61, w.Name("y"));
  code.Op({0xD2}).Int(2).OpName(0x61, w.Name("scaleX"));
  code.Op({0xD1, 0xD2}).Call(0x4F, w.Name("addChild"), 1);
  code.Op({0xD2, 0xD1}).Call(0x46, w.Name("getBounds"), 1).Op({0xD7}).Trace(L(3));
  code.TraceCall(L(2), "getBounds", {});  // null space: its own
  code.New("flash.geom", "Point", 3, {I(1), I(1)});
  code.Op({0xD2, 0xD3}).Call(0x46, w.Name("localToGlobal"), 1).Op({0xD7}).Trace(L(3));
  code.Op({0xD2, 0xD3}).Call(0x46, w.Name("globalToLocal"), 1).Op({0xD7}).Trace(L(3));
  // The point test goes by bounds, or by the shape with shapeFlag.
  code.TraceCall(L(2), "hitTestPoint", {I(24), I(16)});
  code.TraceCall(L(2), "hitTestPoint", {I(26), I(16)});
  // An empty sprite's bounds are the point its origin lands on.
  code.New("flash.display", "Sprite", 3).Op({0xD3}).Int(4).OpName(0x61, w.Name("x"));
  code.Op({0xD1, 0xD3}).Call(0x4F, w.Name("addChild"), 1);
  code.Op({0xD3, 0xD1}).Call(0x46, w.Name("getBounds"), 1).Op({0xD7}).Trace(L(3));
  EXPECT_EQ(RunMovie(w, code), (std::vector<std::string>{"(x=5, y=7, w=20, h=10)", "(x=0, y=0, w=10, h=10)", "(x=7, y=8)",
                                                         "(x=1, y=1)", "true", "false", "(x=4, y=0, w=0, h=0)"}));
}

TEST(Avm2Text, TextFieldsKeepTextAndFormatsAndRefuseBadRanges) {
  AbcWriter w;
  Code code{w};
  code.New("flash.text", "TextField", 1);
  code.Op({0xD1}).Str("Hello").OpName(0x61, w.Name("text"));
  code.Op({0xD1}).Str(" world").Call(0x4F, w.Name("appendText"), 1);
  code.Trace(L(1), "text").Trace(L(1), "length").Trace(L(1), "type").Trace(L(1), "width");
  // A new format has every field null; one set on a range shows only there.
  code.New("flash.text", "TextFormat", 2).Trace(L(2), "bold").Trace(L(2), "size");
  code.Op({0xD2, 0x26}).OpName(0x61, w.Name("bold"));
  code.Op({0xD1, 0xD2}).Int(0).Int(5).Call(0x4F, w.Name("setTextFormat"), 3);
  code.Op({0xD1}).Int(0).Int(5).Call(0x46, w.Name("getTextFormat"), 2).Op({0xD7}).Trace(L(3), "bold");
  // Over the whole text bold differs: null; the font is shared.
  code.Op({0xD1}).Call(0x46, w.Name("getTextFormat"), 0).Op({0xD7}).Trace(L(3), "bold").Trace(L(3), "font");
  // An end beyond the text is a RangeError (caught: the next trace still runs).
  code.TryTrace([](Code& c) { c.Do(L(1), "setTextFormat", {L(2), I(0), I(99)}); });
  code.Trace(L(1), "length");
  const std::vector<std::string> lines = RunMovie(w, code);
  EXPECT_EQ(lines, (std::vector<std::string>{"Hello world", "11", "dynamic", "100", "null", "null", "true", "null",
                                             "Times New Roman",
                                             "RangeError: Error #2006: The supplied index is out of bounds.", "11"}));
}

// Paragraphs end after each carriage return; the index just past the text counts as one
// more character of the last paragraph. Rendering settings are held to their ranges.
TEST(Avm2Text, ParagraphsAndRenderingSettings) {
  AbcWriter w;
  Code code{w};
  code.New("flash.text", "TextField", 1).Set(L(1), "text", S("ab\rcde"));
  for (int i : {0, 2, 3, 6, 7, -1}) code.TraceCall(L(1), "getFirstCharInParagraph", {I(i)});
  for (int i : {1, 2, 5, 6}) code.TraceCall(L(1), "getParagraphLength", {I(i)});
  code.Set(L(1), "antiAliasType", S("bogus")).Trace(L(1), "antiAliasType");
  code.Set(L(1), "antiAliasType", S("advanced")).Trace(L(1), "antiAliasType");
  code.Set(L(1), "gridFitType", S("bogus")).Trace(L(1), "gridFitType");
  code.Set(L(1), "sharpness", I(-900)).Trace(L(1), "sharpness");
  code.Set(L(1), "thickness", I(300)).Trace(L(1), "thickness");
  // (trace shows the carriage return as a line end)
  code.Do(L(1), "setSelection", {I(1), I(4)}).Trace(L(1), "selectedText");
  EXPECT_EQ(RunMovie(w, code), (std::vector<std::string>{"0", "0", "3", "3", "-1", "-1", "3", "3", "3", "4", "normal",
                                                         "advanced", "none", "-400", "200", "b\nc"}));
}

// Compiled code names the top level's static methods in the AS3 namespace
// (String.fromCharCode, XML.settings); a name in another namespace still finds nothing.
TEST(Avm2Names, StaticMethodsOfBuiltInClassesAnswerToTheAs3Namespace) {
  AbcWriter w;
  Code code{w};
  const std::uint32_t as3 = w.Namespace(0x08, "http://adobe.com/AS3/2006/builtin");
  const std::uint32_t other = w.Namespace(0x08, "http://example.org/other");
  const std::uint32_t trace = w.Name("trace");
  code.OpName(0x5D, trace).OpName(0x60, w.Name("String")).Int(72).Int(105);
  code.Call(0x46, w.NameIn(as3, "fromCharCode"), 2).Call(0x4F, trace, 1);
  code.TryTrace([&](Code& c) { c.OpName(0x60, w.Name("String")).Int(72).Call(0x4F, w.NameIn(other, "fromCharCode"), 1); });
  EXPECT_EQ(RunMovie(w, code), (std::vector<std::string>{"Hi", "TypeError: Error #1006: fromCharCode is not a function."}));
}

// A number's prototype chain is Number's, whether or not its value is whole.
TEST(Avm2Names, NumbersAreInstancesOfNumberNotOfInt) {
  AbcWriter w;
  Code code{w};
  const std::uint32_t trace = w.Name("trace");
  for (const char* cls : {"int", "Number", "Object"}) {
    code.OpName(0x5D, trace).Int(5).OpName(0x60, w.Name(cls)).Op({0xB1}).Call(0x4F, trace, 1);
  }
  EXPECT_EQ(RunMovie(w, code), (std::vector<std::string>{"false", "true", "true"}));
}

TEST(Avm2BitmapData, PixelOperationsAndTheBitmapThatShowsThem) {
  AbcWriter w;
  Code code{w};
  code.New("flash.display", "BitmapData", 1, {I(4), I(4), B(true), I(0)});
  // Rectangle edges snap to the nearest pixel: (0.6, 0.6, 2, 2) covers pixels 1 and 2.
  code.New("flash.geom", "Rectangle", 2, {I(1), I(1), I(2), I(2)});
  code.Set(L(2), "x", S("0.6")).Set(L(2), "y", S("0.6")).Set(L(2), "width", I(2)).Set(L(2), "height", I(2));
  code.Do(L(1), "fillRect", {L(2), I(-1)});
  code.TraceCall(L(1), "getPixel32", {I(1), I(1)}).TraceCall(L(1), "getPixel32", {I(2), I(2)});
  code.TraceCall(L(1), "getPixel32", {I(3), I(3)}).Trace(L(1), "rect");
  // hitTest against a point: an opaque pixel hits, a transparent one does not.
  code.New("flash.geom", "Point", 3, {I(0), I(0)});
  code.New("flash.geom", "Point", 4, {I(2), I(2)});
  code.TraceCall(L(1), "hitTest", {L(3), I(255), L(4)});
  code.New("flash.geom", "Point", 4, {I(3), I(0)});
  code.TraceCall(L(1), "hitTest", {L(3), I(255), L(4)});
  // copyPixels from an opaque bitmap, then the pixels as bytes (position left at the end).
  code.New("flash.display", "BitmapData", 7, {I(2), I(2), B(false), I(0x112233)});
  code.New("flash.geom", "Rectangle", 2, {I(0), I(0), I(2), I(2)});
  code.Do(L(1), "copyPixels", {L(7), L(2), L(3)});
  code.TraceCall(L(1), "getPixel32", {I(0), I(0)});
  code.Keep(4, L(1), "getPixels", {L(2)}).Trace(L(4), "length").Trace(L(4), "position");
  // A Bitmap shows it, and keeps its size when the pixels are disposed of.
  code.New("flash.display", "Bitmap", 6, {L(1)});
  code.Trace(L(6), "width");
  code.Do(L(1), "dispose").Trace(L(6), "width");
  code.TryTrace([](Code& c) { c.Trace(L(1), "width"); });
  code.New("flash.display", "Bitmap", 6).Trace(L(6), "bitmapData").Trace(L(6), "width");
  // A shape filled with a bitmap, drawn into another bitmap, shows the bitmap's pixels
  // (repeated past its edge).
  code.New("flash.display", "BitmapData", 1, {I(2), I(2), B(false), I(0x00FF00)});
  code.New("flash.display", "Shape", 6);
  code.Push(L(6)).OpName(0x66, w.Name("graphics")).Push(L(1)).Call(0x4F, w.Name("beginBitmapFill"), 1);
  code.Draw(6, "drawRect", {0, 0, 4, 4});
  code.New("flash.display", "BitmapData", 4, {I(4), I(4), B(false), I(0)});
  code.Do(L(4), "draw", {L(6)}).TraceCall(L(4), "getPixel", {I(3), I(3)});
  EXPECT_EQ(RunMovie(w, code), (std::vector<std::string>{"4294967295", "4294967295", "0", "(x=0, y=0, w=4, h=4)", "true",
                                                         "false", "4279312947", "16", "16", "4", "4",
                                                         "ArgumentError: Error #2015: Invalid BitmapData.", "null",
                                                         "0", "65280"}));
}

TEST(Avm2Display, ContainerRangesMouseFlagsAndBackgrounds) {
  AbcWriter w;
  Code code{w};
  code.New("flash.display", "Sprite", 1);
  for (int i = 0; i < 3; ++i) code.New("flash.display", "Shape", 2).Do(L(1), "addChild", {L(2)});
  // From 1 to the end; a begin past the children removes nothing; an explicit range
  // outside them is an error.
  code.Do(L(1), "removeChildren", {I(1)}).Trace(L(1), "numChildren");
  code.Do(L(1), "removeChildren", {I(5)}).Trace(L(1), "numChildren");
  code.TryTrace([](Code& c) { c.Do(L(1), "removeChildren", {I(0), I(3)}); });
  code.Do(L(1), "removeChildren").Trace(L(1), "numChildren");
  code.Trace(L(1), "mouseEnabled").Trace(L(1), "doubleClickEnabled").Trace(L(1), "mouseChildren");
  code.Set(L(1), "mouseEnabled", B(false)).Trace(L(1), "mouseEnabled");
  code.Trace(L(1), "opaqueBackground").Set(L(1), "opaqueBackground", I(0x123456)).Trace(L(1), "opaqueBackground");
  code.Set(L(1), "opaqueBackground", Null()).Trace(L(1), "opaqueBackground");
  // scrollRect edges snap to the nearest pixel, halves to the even one.
  code.New("flash.geom", "Rectangle", 3, {I(1), I(2), I(3), I(4)});
  code.Set(L(3), "x", S("1.2")).Set(L(3), "width", S("0.3")).Set(L(1), "scrollRect", L(3)).Trace(L(1), "scrollRect");
  EXPECT_EQ(RunMovie(w, code), (std::vector<std::string>{"1", "1", "RangeError: Error #2006: The supplied index is out of bounds.",
                                                         "0", "true", "false", "true", "false", "null", "1193046",
                                                         "null", "(x=1, y=2, w=1, h=4)"}));
}

TEST(Avm2Display, FrameLabelsScenesFocusRectangleAndBlendModes) {
  AbcWriter w;
  Code code{w};
  code.New("flash.display", "FrameLabel", 1, {S("intro"), I(3)}).Trace(L(1), "name").Trace(L(1), "frame");
  code.New("flash.display", "Scene", 2, {S("Scene 2"), Null(), I(7)}).Trace(L(2), "name").Trace(L(2), "numFrames");
  // A script-made clip has no frames and no labels.
  code.New("flash.display", "MovieClip", 3).Trace(L(3), "currentLabels.length");
  // focusRect: null until set; only true itself is true.
  code.Trace(L(3), "focusRect").Set(L(3), "focusRect", B(true)).Trace(L(3), "focusRect");
  code.Set(L(3), "focusRect", I(1)).Trace(L(3), "focusRect").Set(L(3), "focusRect", Null()).Trace(L(3), "focusRect");
  // blendMode by name: null and unknown names are refused.
  code.Trace(L(3), "blendMode").Set(L(3), "blendMode", S("multiply")).Trace(L(3), "blendMode");
  code.TryTrace([](Code& c) { c.Set(L(3), "blendMode", Null()); });
  code.TryTrace([](Code& c) { c.Set(L(3), "blendMode", S("sparkle")); });
  code.Trace(L(3), "blendMode");
  EXPECT_EQ(RunMovie(w, code),
            (std::vector<std::string>{"intro", "3", "Scene 2", "7", "0", "null", "true", "false", "null", "normal", "multiply",
                                      "TypeError: Error #2007: Parameter blendMode must be non-null.",
                                      "ArgumentError: Error #2008: Parameter blendMode must be one of the accepted values.",
                                      "multiply"}));
}

TEST(Avm2Display, CacheAsBitmapFollowsFiltersAndKeptPropertiesReadBack) {
  AbcWriter w;
  Code code{w};
  code.New("flash.display", "Sprite", 1).Trace(L(1), "cacheAsBitmap").Trace(L(1), "metaData");
  code.New("flash.filters", "BlurFilter", 2);
  code.Push(L(1)).Push(L(2)).Op({0x56, 1}).OpName(0x61, w.Name("filters"));  // filters = [blur]
  code.Trace(L(1), "cacheAsBitmap");
  code.New("flash.display", "Sprite", 3).Set(L(3), "cacheAsBitmap", B(true)).Trace(L(3), "cacheAsBitmap");
  // What a script keeps on an object is the same object when read back, per object.
  code.Set(L(1), "metaData", L(2)).Set(L(3), "accessibilityImplementation", L(2));
  code.Trace(L(1), "metaData").Trace(L(3), "metaData").Trace(L(3), "accessibilityImplementation");
  EXPECT_EQ(RunDocument(w, code), (std::vector<std::string>{"false", "null", "true", "true", "[object BlurFilter]",
                                                             "null", "[object BlurFilter]"}));
}

// The grid a script gives a sprite reads back as a copy; getObjectsUnderPoint lists what
// draws under a point itself, back to front; drawRoundRectComplex rounds each corner by
// its own radius, none past half the shorter side; the stage's menu and colour switches.
TEST(Avm2Display, GridsObjectsUnderAPointRoundedCornersAndStageSwitches) {
  AbcWriter w;
  Code code{w};
  code.New("flash.display", "Sprite", 1).Trace(L(1), "scale9Grid");
  code.Draw(1, "beginFill", {0}).Draw(1, "drawRect", {0, 0, 40, 40});
  code.New("flash.geom", "Rectangle", 2, {I(10), I(10), I(20), I(20)}).Set(L(1), "scale9Grid", L(2));
  code.Set(L(2), "x", I(0)).Trace(L(1), "scale9Grid").Set(L(1), "scale9Grid", Null()).Trace(L(1), "scale9Grid");
  code.New("flash.display", "Shape", 3).Draw(3, "beginFill", {0}).Draw(3, "drawRect", {20, 20, 10, 10});
  code.Do(L(1), "addChild", {L(3)}).Do(L(0), "addChild", {L(1)});
  for (int at : {25, 5, 90}) {
    code.New("flash.geom", "Point", 2, {I(at), I(at)}).Keep(4, L(0), "getObjectsUnderPoint", {L(2)});
    code.Trace(L(4), "length");
  }
  code.Trace(L(4));  // the last list: nothing under (90, 90)
  code.New("flash.display", "Shape", 3).Set(L(3), "x", I(50));
  code.Push(L(3)).OpName(0x66, w.Name("graphics")).Int(0).Call(0x4F, w.Name("beginFill"), 1);
  code.Push(L(3)).OpName(0x66, w.Name("graphics"));
  for (int v : {0, 0, 50, 30, 10, 100, 0, 0}) code.Int(v);
  code.Call(0x4F, w.Name("drawRoundRectComplex"), 8).Do(L(0), "addChild", {L(3)});
  code.TraceCall(L(3), "hitTestPoint", {I(51), I(1), B(true)});    // top left: rounded by 10
  code.TraceCall(L(3), "hitTestPoint", {I(51), I(29), B(true)});   // bottom left: square
  code.TraceCall(L(3), "hitTestPoint", {I(99), I(2), B(true)});    // top right: rounded by 15
  code.TraceCall(L(3), "hitTestPoint", {I(90), I(15), B(true)});
  code.Push(L(0)).OpName(0x66, w.Name("stage")).SetLocal(7);
  code.Trace(L(7), "showDefaultContextMenu").Set(L(7), "showDefaultContextMenu", B(false)).Trace(L(7), "showDefaultContextMenu");
  code.Trace(L(7), "colorCorrection").Set(L(7), "colorCorrection", S("off")).Trace(L(7), "colorCorrection");
  code.TryTrace([](Code& c) { c.Set(L(7), "colorCorrection", S("sometimes")); });
  code.Trace(L(7), "colorCorrectionSupport").Trace(L(7), "fullScreenWidth").Trace(L(1), "contextMenu");
  EXPECT_EQ(RunDocument(w, code),
            (std::vector<std::string>{"null", "(x=10, y=10, w=20, h=20)", "null", "2", "1", "0", "", "false", "true",
                                      "false", "true", "true", "false", "default", "off",
                                      "ArgumentError: Error #2008: Parameter colorCorrection must be one of the accepted values.",
                                      "unsupported", "1536", "null"}));
}

// The event classes of status and errors: their constructors' arguments, the defaults of
// an UncaughtErrorEvent, and the player's dispatch of one for an error no script caught:
// a listener that prevents its default keeps the error from being printed.
std::uint32_t UncaughtListener(AbcWriter& w, bool prevent) {
  Code f{w};
  f.bytes.clear();
  const std::uint32_t trace = w.Name("trace");
  f.OpName(0x5D, trace).Op({0xD1}).OpName(0x66, w.Name("error")).Call(0x4F, trace, 1);
  if (prevent) f.Op({0xD1}).Call(0x4F, w.Name("preventDefault"), 0);
  f.Op({0x47});
  const std::uint32_t method = w.Method(f.bytes);
  w.methods[method] = 1;  // (event)
  return method;
}

std::vector<std::string> ThrowUnderListener(bool prevent) {
  AbcWriter w;
  Code code{w};
  code.New("flash.events", "StatusEvent", 1, {S("status"), B(false), B(false), S("c1"), S("warning")}).Trace(L(1));
  code.New("", "Error", 2, {S("boom")});
  code.New("flash.events", "AsyncErrorEvent", 1, {S("asyncError"), B(false), B(false), S("late"), L(2)});
  code.Trace(L(1), "text").Trace(L(1), "error").Trace(L(1), "errorID");
  code.New("flash.events", "UncaughtErrorEvent", 1).Trace(L(1), "type").Trace(L(1), "bubbles").Trace(L(1), "cancelable");
  code.New("flash.events", "FullScreenEvent", 1, {S("fullScreen"), B(false), B(false), B(true)});
  code.Trace(L(1), "fullScreen").Trace(L(1), "activating");
  code.Push(L(0)).OpName(0x66, w.Name("loaderInfo")).OpName(0x66, w.Name("uncaughtErrorEvents"));
  code.Str("uncaughtError").OpName(0x40, UncaughtListener(w, prevent)).Call(0x4F, w.Name("addEventListener"), 2);
  code.Push(L(2)).Op({0x03});  // throw
  return RunDocument(w, code);
}

TEST(Avm2Events, StatusAndErrorEventsAndTheUncaughtErrorsAMovieListensFor) {
  const std::vector<std::string> head = {
      "[StatusEvent type=\"status\" bubbles=false cancelable=false eventPhase=2 code=\"c1\" level=\"warning\"]",
      "late", "Error: boom", "0", "uncaughtError", "true", "true", "true", "false", "Error: boom"};
  EXPECT_EQ(ThrowUnderListener(true), head);
  const std::vector<std::string> printed = ThrowUnderListener(false);
  ASSERT_EQ(printed.size(), head.size() + 1);
  EXPECT_EQ(printed.back().rfind("Error: boom", 0), 0u) << printed.back();
}

}  // namespace
}  // namespace vantrel::flash::avm2
