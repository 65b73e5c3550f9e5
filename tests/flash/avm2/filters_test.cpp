// flash.filters in ActionScript 3: values held to the player's ranges and types, copies
// in and out of a display object's filter list, and filters applied to bitmaps.
#include <gtest/gtest.h>

#include "script_movie.h"

namespace vantrel::flash::avm2 {
namespace {

using namespace vantrel::testing;

// Arguments convert to the declared types and are held to their ranges; the fields the
// player keeps as 32-bit floats read back as such; a kernel is never shorter than its
// sides; fewer ratios than colours cut the gradient, and a hole is 0.
TEST(Avm2Filters, ValuesAreConvertedAndHeldToTheirRanges) {
  AbcWriter w;
  Code code{w};
  code.New("flash.filters", "BlurFilter", 1, {I(-2), I(300), I(20)});
  code.Trace(L(1), "blurX").Trace(L(1), "blurY").Trace(L(1), "quality");
  code.New("flash.filters", "GlowFilter", 1, {S("0x1ABCDEF"), S("2")});
  code.Trace(L(1), "color").Trace(L(1), "alpha").Trace(L(1), "strength");
  code.New("", "Array", 2);
  code.New("flash.filters", "ConvolutionFilter", 1, {I(2), I(2), L(2), S("1.5"), S("0.1")});
  code.Trace(L(1), "matrix").Trace(L(1), "divisor").Trace(L(1), "bias");
  code.New("", "Array", 2, {I(0xFF0000), I(0x00FF00), I(0x0000FF)});
  code.New("", "Array", 3, {I(3)});  // three holes
  code.New("", "Array", 4, {I(0), I(255)});
  code.New("flash.filters", "GradientGlowFilter", 1, {I(4), I(45), L(2), L(3), L(4)});
  code.Trace(L(1), "colors").Trace(L(1), "alphas").Trace(L(1), "ratios").Trace(L(1), "type");
  code.TryTrace([](Code& c) { c.Set(L(1), "type", Null()); });
  code.TryTrace([](Code& c) { c.Set(L(1), "colors", I(1)); });
  EXPECT_EQ(RunMovie(w, code),
            (std::vector<std::string>{"0", "255", "15", "11259375", "1", "2", "0,0,0,0", "1.5", "0.10000000149011612",
                                      "16711680,65280", "0,0", "0,255", "inner",
                                      "TypeError: Error #2007: Parameter type must be non-null.",
                                      "TypeError: Error #1034: Type Coercion failed: cannot convert 1 to Array."}));
}

// The list reads and writes copies; only filters go in; a displacement map keeps its
// values through the list though it draws nothing.
TEST(Avm2Filters, DisplayObjectFiltersAreCopies) {
  AbcWriter w;
  Code code{w};
  code.New("flash.display", "Sprite", 1);
  code.New("flash.filters", "DropShadowFilter", 2, {I(3), I(90)});
  code.New("", "Array", 3, {L(2)});
  code.Set(L(1), "filters", L(3));
  code.Set(L(2), "distance", I(9));  // the list holds a copy
  code.Push(L(1)).OpName(0x66, w.Name("filters")).Call(0x46, w.Name("pop"), 0).SetLocal(4);
  code.Trace(L(4)).Trace(L(4), "distance").Trace(L(4), "angle");
  code.New("flash.geom", "Point", 6, {S("1.5"), I(-2)});
  code.New("flash.filters", "DisplacementMapFilter", 2, {Null(), L(6), I(1), I(2), S("1.1"), I(2), S("ignore")});
  code.New("", "Array", 3, {L(2)});
  code.Set(L(1), "filters", L(3));
  code.Push(L(1)).OpName(0x66, w.Name("filters")).Call(0x46, w.Name("pop"), 0).SetLocal(4);
  code.Trace(L(4), "mapPoint").Trace(L(4), "scaleX").Trace(L(4), "mode").Trace(L(4), "componentY");
  code.New("", "Array", 3, {I(1)});
  code.TryTrace([](Code& c) { c.Set(L(1), "filters", L(3)); });
  code.Set(L(1), "filters", Null()).Trace(L(1), "filters.length");
  EXPECT_EQ(RunMovie(w, code),
            (std::vector<std::string>{"[object DropShadowFilter]", "3", "90", "(x=1, y=-2)", "1.100000023841858", "ignore",
                                      "2",
                                      "ArgumentError: Error #2005: Parameter 0 is of the incorrect type. Should be type "
                                      "Filter.",
                                      "0"}));
}

// applyFilter draws the filter into the target; generateFilterRect grows the area by
// what the filter reaches.
TEST(Avm2Filters, AppliedToBitmaps) {
  AbcWriter w;
  Code code{w};
  code.New("flash.display", "BitmapData", 1, {I(2), I(2), B(false), I(0x102030)});
  // A colour matrix that swaps red and blue (the entries left out are 0).
  code.New("", "Array", 2);
  for (const char* entry : {"2", "6", "10", "18"}) code.Set(L(2), entry, I(1));
  code.New("flash.filters", "ColorMatrixFilter", 3, {L(2)});
  code.New("flash.geom", "Rectangle", 4, {I(0), I(0), I(2), I(2)});
  code.New("flash.geom", "Point", 6, {I(0), I(0)});
  code.Do(L(1), "applyFilter", {L(1), L(4), L(6), L(3)});
  code.TraceCall(L(1), "getPixel", {I(1), I(1)});
  code.New("flash.filters", "BlurFilter", 3, {I(4), I(2), I(1)});
  code.TraceCall(L(1), "generateFilterRect", {L(4), L(3)});
  code.TryTrace([](Code& c) { c.Do(L(1), "applyFilter", {L(1), L(4), L(6), Null()}); });
  EXPECT_EQ(RunMovie(w, code), (std::vector<std::string>{"3153936", "(x=-5, y=-4, w=12, h=10)",
                                                         "TypeError: Error #2007: Parameter filter must be non-null."}));
}

}  // namespace
}  // namespace vantrel::flash::avm2
