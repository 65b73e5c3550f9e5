// flash.filters: the clamping of properties as the player does it, clone(), and the
// filter records a display object keeps (the renderer reads them; scripts read back
// what they set).
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "flash/avm1/builtins/filters.h"
#include "flash/render/effects.h"
#include "script_fixture.h"

namespace vantrel::flash::avm1::testing {
namespace {

struct FilterFixture : ScriptFixture {
  Object* New(const char* name, std::vector<Value> args = {}) {
    const Value filters = machine.GetMember(machine.GetMember(Value::Obj(rt.global), "flash"), "filters");
    Object* ctor = machine.GetMember(filters, name).AsObject();
    EXPECT_NE(ctor, nullptr) << name;
    return ctor ? machine.Construct(ctor, args) : nullptr;
  }
  std::string Get(Object* o, const char* name) { return Text(machine.Get(o, name)); }
  void Set(Object* o, const char* name, const Value& v) { machine.Set(o, name, v); }
  Value Array(std::vector<double> numbers) {
    std::vector<Value> elements;
    for (const double n : numbers) elements.push_back(Num(n));
    return Value::Obj(machine.NewArray(std::move(elements)));
  }
};

TEST(FiltersTest, PropertiesClampAsThePlayerDoes) {
  FilterFixture f;
  Object* glow = f.New("GlowFilter");
  ASSERT_NE(glow, nullptr);
  EXPECT_EQ(f.Get(glow, "color"), "16711680");
  EXPECT_EQ(f.Get(glow, "blurX"), "6");
  f.Set(glow, "alpha", f.Num(0.5));
  EXPECT_EQ(f.Get(glow, "alpha"), "0.498039215686275");  // whole 1/255 steps, truncated
  f.Set(glow, "color", f.Num(-0x12345678));
  EXPECT_EQ(f.Get(glow, "color"), "13347208");
  f.Set(glow, "quality", f.Num(100));
  EXPECT_EQ(f.Get(glow, "quality"), "15");
  f.Set(glow, "strength", f.Num(-1));
  EXPECT_EQ(f.Get(glow, "strength"), "0");
  f.Set(glow, "blurY", f.Num(256));
  EXPECT_EQ(f.Get(glow, "blurY"), "255");

  Object* shadow = f.New("DropShadowFilter");
  EXPECT_EQ(f.Get(shadow, "angle"), "44.9999999772279");  // the player's 45 degrees
  f.Set(shadow, "angle", f.Num(366));
  EXPECT_EQ(f.Get(shadow, "angle"), "6");

  Object* bevel = f.New("BevelFilter");
  f.Set(bevel, "type", f.Str("INNER"));
  EXPECT_EQ(f.Get(bevel, "type"), "full");
  f.Set(bevel, "type", f.Str("outer"));
  EXPECT_EQ(f.Get(bevel, "type"), "outer");
}

TEST(FiltersTest, AConvolutionsSubstituteColourGivenWithoutAlphaIsOpaque) {
  FilterFixture f;
  const Value kernel = f.Array({1, 1, 1, 1, 1, 1, 1, 1, 1});
  std::vector<Value> args{f.Num(3), f.Num(3), kernel, f.Num(9), f.Num(0), Value::Bool(true), Value::Bool(true)};
  EXPECT_EQ(f.Get(f.New("ConvolutionFilter", args), "alpha"), "0");
  args.push_back(f.Num(128));
  Object* coloured = f.New("ConvolutionFilter", args);
  EXPECT_EQ(f.Get(coloured, "color"), "128");
  EXPECT_EQ(f.Get(coloured, "alpha"), "1");
  args.push_back(f.Num(0.5));
  EXPECT_EQ(f.Get(f.New("ConvolutionFilter", args), "alpha"), "0.498039215686275");
}

TEST(FiltersTest, ConstructingAFilterAgainConvertsTheArgumentsButChangesNothing) {
  FilterFixture f;
  Object* blur = f.New("BlurFilter", {f.Num(10), f.Num(20), f.Num(4)});
  ASSERT_NE(blur, nullptr);
  // As a subclass's second super() call does: the constructor called on the object.
  Object* noisy = f.machine.NewObject();
  f.machine.Set(noisy, "valueOf", Value::Obj(f.rt.MakeFunction([](Call& call) {
    call.machine.Trace("valueOf called");
    return Value::Number(5);
  })));
  const Value ctor = f.machine.GetMember(f.machine.GetMember(Value::Obj(f.rt.global), "flash"), "filters");
  const Value args[] = {f.Num(20), f.Num(10), Value::Obj(noisy)};
  f.machine.CallFunction(f.machine.GetMember(ctor, "BlurFilter"), Value::Obj(blur), args);
  EXPECT_EQ(f.traces, std::vector<std::string>{"valueOf called"});
  EXPECT_EQ(f.Get(blur, "blurX"), "10");
  EXPECT_EQ(f.Get(blur, "blurY"), "20");
  EXPECT_EQ(f.Get(blur, "quality"), "4");
}

TEST(FiltersTest, MapPointsTakeBothCoordinatesOrNone) {
  FilterFixture f;
  Object* filter = f.New("DisplacementMapFilter");
  ASSERT_NE(filter, nullptr);
  // An object whose conversion to a number throws what it is named.
  const auto failing = [&](const char* what) {
    Object* o = f.machine.NewObject();
    const auto throwA = [](Call& call) {
      call.machine.Throw(call.machine.Str("a"));
      return Value();
    };
    const auto throwB = [](Call& call) {
      call.machine.Throw(call.machine.Str("b"));
      return Value();
    };
    f.machine.Set(o, "valueOf", Value::Obj(f.rt.MakeFunction(std::string(what) == "a" ? +throwA : +throwB)));
    return Value::Obj(o);
  };
  // Sets mapPoint from {x, y} (a missing one left out) and answers what was caught and
  // what the filter kept.
  const auto set = [&](std::optional<Value> x, std::optional<Value> y) {
    Object* point = f.machine.NewObject();
    if (x) f.Set(point, "x", *x);
    if (y) f.Set(point, "y", *y);
    f.Set(filter, "mapPoint", Value::Obj(point));
    std::string caught;
    if (f.machine.Throwing()) {
      caught = "caught ";
      f.machine.DropThrown();
    }
    Object* kept = f.machine.Get(filter, "mapPoint").AsObject();
    return caught + f.Get(kept, "x") + "," + f.Get(kept, "y");
  };
  EXPECT_EQ(set(f.Num(1), f.Num(2)), "1,2");
  EXPECT_EQ(set(failing("a"), std::nullopt), "caught 0,0");
  EXPECT_EQ(set(failing("a"), f.Num(8)), "caught -2147483648,8");
  EXPECT_EQ(set(f.Num(3), failing("a")), "caught 3,-2147483648");
  EXPECT_EQ(set(failing("a"), failing("b")), "caught -2147483648,-2147483648");
  EXPECT_EQ(set(f.Num(1), std::nullopt), "0,0");
  EXPECT_EQ(set(f.Num(1), f.Num(0)), "1,0");
}

TEST(FiltersTest, KernelsAndGradientsKeepThePlayersShapes) {
  FilterFixture f;
  Object* convolution = f.New("ConvolutionFilter");
  f.Set(convolution, "matrix", f.Array({-1000.5}));
  f.Set(convolution, "matrixX", f.Num(2));
  EXPECT_EQ(f.Get(convolution, "matrix"), "-1000.5");  // grows only when both sides do
  f.Set(convolution, "matrixY", f.Num(2));
  EXPECT_EQ(f.Get(convolution, "matrix"), "-1000.5,0,0,0");
  f.Set(convolution, "matrixX", f.Num(100));
  EXPECT_EQ(f.Get(convolution, "matrixX"), "15");

  Object* colorMatrix = f.New("ColorMatrixFilter", {f.Num(-1)});
  EXPECT_EQ(f.Get(colorMatrix, "matrix").substr(0, 8), "NaN,NaN,");
  f.Set(colorMatrix, "matrix", Value());  // undefined leaves it
  EXPECT_EQ(f.Get(colorMatrix, "matrix").substr(0, 8), "NaN,NaN,");

  Object* gradient = f.New("GradientBevelFilter");
  f.Set(gradient, "alphas", f.Array({1}));  // no colours yet: nothing to set
  f.Set(gradient, "colors", f.Array({-0x12345678, 10}));
  EXPECT_EQ(f.Get(gradient, "alphas"), "0,0");
  f.Set(gradient, "ratios", f.Array({500, 50.5, 100}));
  EXPECT_EQ(f.Get(gradient, "ratios"), "255,50");
  f.Set(gradient, "ratios", f.Array({50}));  // fewer ratios cut the stops
  EXPECT_EQ(f.Get(gradient, "colors"), "13347208");
}

TEST(FiltersTest, CloneCopiesAndDrawingParametersFollow) {
  FilterFixture f;
  Object* blur = f.New("BlurFilter", {f.Num(10), f.Num(20), f.Num(3)});
  Object* copy = f.machine.CallMethod(Value::Obj(blur), "clone", std::vector<Value>{}).AsObject();
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, blur);
  f.Set(blur, "blurX", f.Num(1));
  EXPECT_EQ(f.Get(copy, "blurX"), "10");

  FilterParams params;
  ASSERT_TRUE(FilterParamsOf(f.machine, Value::Obj(copy), params));
  EXPECT_EQ(params.type, 1);
  EXPECT_EQ(params.blurY, 20);
  EXPECT_EQ(params.passes, 3);
  EXPECT_FALSE(FilterParamsOf(f.machine, f.Num(1), params));
  // The displacement map has no drawing of its own.
  EXPECT_FALSE(FilterParamsOf(f.machine, Value::Obj(f.New("DisplacementMapFilter")), params));
}

TEST(FilterRecordTest, EncodedRecordsDecodeToTheSameParameters) {
  FilterParams glow;
  glow.type = 2;
  glow.colors = {Rgba{255, 0, 0, 128}};
  glow.blurX = 10.5;
  glow.blurY = 4;
  glow.strength = 1.5;
  glow.inner = true;
  glow.passes = 3;
  FilterParams back;
  ASSERT_TRUE(DecodeFilter(EncodeFilter(glow), back));
  EXPECT_EQ(back.colors, glow.colors);
  EXPECT_DOUBLE_EQ(back.blurX, 10.5);
  EXPECT_DOUBLE_EQ(back.strength, 1.5);
  EXPECT_TRUE(back.inner);
  EXPECT_EQ(back.passes, 3);

  FilterParams kernel;
  kernel.type = 5;
  kernel.matrixX = 2;
  kernel.matrixY = 1;
  kernel.matrix = {0.5f};  // shorter than 2x1: the rest is 0
  kernel.divisor = 2;
  ASSERT_TRUE(DecodeFilter(EncodeFilter(kernel), back));
  ASSERT_EQ(back.matrix.size(), 2u);
  EXPECT_FLOAT_EQ(back.matrix[0], 0.5f);
  EXPECT_FLOAT_EQ(back.matrix[1], 0.0f);
  EXPECT_FLOAT_EQ(back.divisor, 2.0f);
}

TEST(FilterRecordTest, BlendModeNames) {
  EXPECT_EQ(BlendModeByName("multiply"), 3);
  EXPECT_EQ(BlendModeByName("lAyEr"), 0);
  EXPECT_STREQ(BlendModeName(14), "hardlight");
  EXPECT_STREQ(BlendModeName(0), "normal");
  EXPECT_STREQ(BlendModeName(200), "normal");
}

}  // namespace
}  // namespace vantrel::flash::avm1::testing
