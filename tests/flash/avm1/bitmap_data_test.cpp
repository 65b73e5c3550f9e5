// flash.display.BitmapData: premultiplied storage read back as the player rounds it,
// the refusing constructor, disposal, and the pixel operations' clipping and results.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "flash/character/bitmap.h"
#include "flash/render/bitmap_ops.h"
#include "script_fixture.h"

namespace vantrel::flash::avm1::testing {
namespace {

struct BitmapFixture : ScriptFixture {
  Value Class() {
    const Value display = machine.GetMember(machine.GetMember(Value::Obj(rt.global), "flash"), "display");
    return machine.GetMember(display, "BitmapData");
  }
  Object* New(std::vector<Value> args) {
    Object* ctor = Class().AsObject();
    EXPECT_NE(ctor, nullptr);
    return ctor ? machine.Construct(ctor, args) : nullptr;
  }
  Object* New(double width, double height, bool transparent = true, double fill = 0xffffffffu) {
    return New({Num(width), Num(height), Value::Bool(transparent), Num(fill)});
  }
  Value Call(Object* target, const char* method, std::vector<Value> args = {}) {
    return machine.CallMethod(Value::Obj(target), method, args);
  }
  double Pixel32(Object* bitmap, int x, int y) { return Call(bitmap, "getPixel32", {Num(x), Num(y)}).number; }
  Object* Rect(double x, double y, double w, double h) {
    Object* r = machine.NewObject();
    machine.Set(r, "x", Num(x));
    machine.Set(r, "y", Num(y));
    machine.Set(r, "width", Num(w));
    machine.Set(r, "height", Num(h));
    return r;
  }
  Object* Point(double x, double y) {
    Object* p = machine.NewObject();
    machine.Set(p, "x", Num(x));
    machine.Set(p, "y", Num(y));
    return p;
  }
};

TEST(BitmapPixelsTest, PremultipliedColoursReadBackRounded) {
  // Every alpha keeps white white, and a grey survives half transparency.
  for (std::uint32_t alpha = 1; alpha < 256; ++alpha) {
    EXPECT_EQ(UnmultiplyArgb(PremultiplyArgb((alpha << 24) | 0xffffff)), (alpha << 24) | 0xffffff) << alpha;
  }
  EXPECT_EQ(UnmultiplyArgb(PremultiplyArgb(0x80bbbbbbu)), 0x80bbbbbbu);
  EXPECT_EQ(PremultiplyArgb(0x00ffffffu), 0u);
  BitmapPixels opaque(2, 2, false, 0x80ffffffu);
  EXPECT_EQ(opaque.GetPixel32(1, 1), 0xffffffffu);
  EXPECT_EQ(opaque.GetPixel32(2, 0), 0u);
}

TEST(BitmapPixelsTest, FloodFillStopsAtOtherColours) {
  BitmapPixels p(5, 5, true, 0xff000000u);
  for (int y = 0; y < 5; ++y) p.SetPixel32(2, y, 0xffff0000u);  // a wall down the middle
  p.FloodFill(0, 0, 0xff00ff00u);
  EXPECT_EQ(p.GetPixel32(1, 4), 0xff00ff00u);
  EXPECT_EQ(p.GetPixel32(2, 2), 0xffff0000u);
  EXPECT_EQ(p.GetPixel32(3, 0), 0xff000000u);
}

TEST(BitmapPixelsTest, ScrollKeepsWhatMovesIn) {
  BitmapPixels p(3, 1, true, 0);
  p.SetPixel32(0, 0, 0xff000001u);
  p.SetPixel32(1, 0, 0xff000002u);
  p.SetPixel32(2, 0, 0xff000003u);
  p.Scroll(1, 0);
  EXPECT_EQ(p.GetPixel32(0, 0), 0xff000001u);
  EXPECT_EQ(p.GetPixel32(1, 0), 0xff000001u);
  EXPECT_EQ(p.GetPixel32(2, 0), 0xff000002u);
}

TEST(BitmapPixelsTest, DissolveVisitsEveryPixelOnceACycle) {
  for (const std::uint32_t count : {2u, 3u, 4u, 7u, 63u, 64u, 65u, 100u, 300u, 4097u, 70000u}) {
    const DissolveSequence sequence(count);
    std::vector<bool> seen(count, false);
    const std::uint32_t start = sequence.Start(12345);
    std::uint32_t position = start;
    for (std::uint32_t i = 1; i < count; ++i) {
      ASSERT_GT(position, 0u);
      ASSERT_LT(position, count);
      EXPECT_FALSE(seen[position]) << count << " revisits " << position;
      seen[position] = true;
      position = sequence.Next(position);
    }
    EXPECT_EQ(position, start) << count;  // back at the start after a full cycle
  }
}

TEST(BitmapPixelsTest, DissolveStartsFromTheSeedAndAnswersWhereItStopped) {
  // A 2x2 area: the first pixel always, then the register's positions from the seed.
  const auto dissolve = [](std::int32_t seed, std::int64_t numPixels, std::int32_t& answer) {
    BitmapPixels target(2, 2, false, 0xff000000u);
    answer = DissolveInto(target, target, PixelArea{0, 0, 2, 2}, 0, 0, seed, numPixels, 0xffffffffu);
    int written = 0;
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x) written += target.GetPixel32(x, y) == 0xffffffffu;
    return written;
  };
  std::int32_t answer = 0;
  EXPECT_EQ(dissolve(100, 0, answer), 1);
  EXPECT_EQ(answer, 100);  // nothing moved: the seed comes back
  EXPECT_EQ(dissolve(100, 2, answer), 3);
  EXPECT_EQ(answer, 3);
  EXPECT_EQ(dissolve(100, 40, answer), 4);
  EXPECT_EQ(answer, 1);  // the register ran on past the full cycle
  EXPECT_EQ(dissolve(0, 40, answer), 4);
  EXPECT_EQ(answer, 2);
  EXPECT_EQ(dissolve(10, 40, answer), 4);
  EXPECT_EQ(answer, 3);
  EXPECT_EQ(dissolve(-1, 40, answer), 4);
  EXPECT_EQ(answer, 2);
}

TEST(BitmapPixelsTest, PerlinNoiseIsSeededAndStaysInRange) {
  BitmapPixels a(16, 16, true, 0), b(16, 16, true, 0);
  a.PerlinNoise(8, 8, 3, 7, false, true, 15, false, {});
  b.PerlinNoise(8, 8, 3, 7, false, true, 15, false, {});
  EXPECT_EQ(a.Image(), b.Image());
  b.PerlinNoise(8, 8, 3, 8, false, true, 15, false, {});
  EXPECT_NE(a.Image(), b.Image());
  // Gray turbulence without alpha: opaque, three equal channels.
  a.PerlinNoise(4, 4, 2, 1, true, false, 7, true, {});
  const std::uint32_t p = a.GetPixel32(5, 5);
  EXPECT_EQ(p >> 24, 0xffu);
  EXPECT_EQ((p >> 16) & 255, p & 255);
}

TEST(BitmapDataTest, ConstructorRefusesBadSizesWithUndefined) {
  BitmapFixture f;
  f.machine.SetDefaultVersion(8);
  EXPECT_EQ(f.New({}), nullptr);
  EXPECT_EQ(f.New(0, 10), nullptr);
  EXPECT_EQ(f.New(2881, 1), nullptr);
  Object* b = f.New(10.5, 10.5, false);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(f.Text(f.machine.Get(b, "width")), "10");
  EXPECT_EQ(f.Text(f.machine.Get(b, "transparent")), "false");
  EXPECT_EQ(f.Text(f.machine.Get(b, "rectangle")), "(x=0, y=0, w=10, h=10)");
}

TEST(BitmapDataTest, PixelsAndDisposal) {
  BitmapFixture f;
  Object* b = f.New(4, 4);
  f.Call(b, "setPixel32", {f.Num(0), f.Num(0), f.Num(0x80ffffffu)});
  EXPECT_EQ(f.Pixel32(b, 0, 0), -2130706433);
  f.Call(b, "setPixel", {f.Num(0), f.Num(0), f.Num(0xbbbbbb)});
  EXPECT_EQ(f.Pixel32(b, 0, 0), -2135180357);  // the alpha stays
  EXPECT_EQ(f.Call(b, "getPixel", {f.Num(0)}).number, -1);  // a missing argument
  EXPECT_EQ(f.Call(b, "getPixel", {f.Num(-1), f.Num(-1)}).number, 0);

  EXPECT_EQ(f.Call(b, "fillRect", {Value::Obj(f.Rect(-2, 1, 4, 10)), f.Num(0xff121212u)}).number, 0);
  // A rectangle needs all four fields.
  EXPECT_EQ(f.Call(b, "fillRect", {Value::Obj(f.machine.NewObject()), f.Num(0)}).number, -1);
  EXPECT_EQ(f.Pixel32(b, 1, 3), -15592942);
  EXPECT_EQ(f.Pixel32(b, 2, 3), -1);
  // A negative size reaches back from the corner: x 3 - 2 .. 3, y 3 - 1 .. 3.
  f.Call(b, "fillRect", {Value::Obj(f.Rect(3, 3, -2, -1)), f.Num(0xff343434u)});
  EXPECT_EQ(f.Pixel32(b, 1, 2), -13355980);
  EXPECT_EQ(f.Pixel32(b, 2, 2), -13355980);
  EXPECT_EQ(f.Pixel32(b, 3, 2), -1);
  EXPECT_EQ(f.Pixel32(b, 1, 3), -15592942);

  f.Call(b, "dispose");
  EXPECT_EQ(f.machine.Get(b, "width").number, -1);
  EXPECT_EQ(f.Pixel32(b, 0, 0), -1);
  EXPECT_EQ(f.Call(b, "fillRect", {Value::Obj(f.Rect(0, 0, 1, 1)), f.Num(0)}).number, -1);
}

TEST(BitmapDataTest, CopyPixelsClipsBothSides) {
  BitmapFixture f;
  Object* src = f.New(4, 4, true, 0xffff0000u);
  Object* dst = f.New(4, 4, true, 0);
  f.Call(dst, "copyPixels", {Value::Obj(src), Value::Obj(f.Rect(-1, -1, 3, 3)), Value::Obj(f.Point(2, 2))});
  // The source's first row and column do not exist, so the copy starts one pixel in.
  EXPECT_EQ(f.Pixel32(dst, 2, 2), 0);
  EXPECT_EQ(f.Pixel32(dst, 3, 3), static_cast<double>(static_cast<std::int32_t>(0xffff0000u)));
}

TEST(BitmapDataTest, ThresholdCountsAndCompareReportsDifferences) {
  BitmapFixture f;
  Object* a = f.New(2, 2, true, 0xff000010u);
  f.Call(a, "setPixel32", {f.Num(1), f.Num(1), f.Num(0xff0000f0u)});
  Object* b = f.New(2, 2, true, 0);
  const Value hits = f.Call(b, "threshold", {Value::Obj(a), Value::Obj(f.Rect(0, 0, 2, 2)), Value::Obj(f.Point(0, 0)),
                                             f.Str(">"), f.Num(0x80), f.Num(0xff00ff00u), f.Num(0xff)});
  EXPECT_EQ(hits.number, 1);
  EXPECT_EQ(f.Pixel32(b, 1, 1), static_cast<double>(static_cast<std::int32_t>(0xff00ff00u)));
  EXPECT_EQ(f.Pixel32(b, 0, 0), 0);

  EXPECT_EQ(f.Call(a, "compare", {Value::Obj(a)}).number, 0);
  EXPECT_EQ(f.Call(a, "compare", {Value::Obj(f.New(3, 2))}).number, -3);
  Object* diff = f.Call(a, "compare", {Value::Obj(f.New(2, 2, true, 0xff000010u))}).AsObject();
  ASSERT_NE(diff, nullptr);
  EXPECT_EQ(f.Pixel32(diff, 1, 1), static_cast<double>(static_cast<std::int32_t>(0xff0000e0u)));
  EXPECT_EQ(f.Pixel32(diff, 0, 0), 0);
}

TEST(BitmapDataTest, NoiseIsTheSeededGenerator) {
  BitmapFixture f;
  Object* a = f.New(8, 8);
  Object* b = f.New(8, 8);
  f.Call(a, "noise", {f.Num(42)});
  f.Call(b, "noise", {f.Num(42)});
  EXPECT_EQ(f.Call(a, "compare", {Value::Obj(b)}).number, 0);
  f.Call(b, "noise", {f.Num(43)});
  EXPECT_TRUE(f.Call(a, "compare", {Value::Obj(b)}).IsObject());
  // Gray noise between two levels stays between them, opaque.
  f.Call(a, "noise", {f.Num(7), f.Num(100), f.Num(110), f.Num(7), Value::Bool(true)});
  for (int i = 0; i < 8; ++i) {
    const auto p = static_cast<std::uint32_t>(static_cast<std::int32_t>(f.Pixel32(a, i, i)));
    EXPECT_EQ(p >> 24, 0xffu);
    EXPECT_GE(p & 255, 100u);
    EXPECT_LE(p & 255, 110u);
    EXPECT_EQ((p >> 8) & 255, p & 255);
  }
}

TEST(BitmapDataTest, DrawsAnotherBitmapThroughTheRenderer) {
  BitmapFixture f;
  Object* target = f.New(4, 4, true, 0);
  Object* source = f.New(2, 2, false, 0xff0000ffu);
  const Value geom = f.machine.GetMember(f.machine.GetMember(Value::Obj(f.rt.global), "flash"), "geom");
  Object* matrix = f.machine.Construct(f.machine.GetMember(geom, "Matrix").AsObject(), std::vector<Value>{});
  f.machine.CallMethod(Value::Obj(matrix), "translate", std::vector<Value>{f.Num(2), f.Num(2)});
  f.Call(target, "draw", {Value::Obj(source), Value::Obj(matrix)});
  EXPECT_EQ(f.Pixel32(target, 3, 3), static_cast<double>(static_cast<std::int32_t>(0xff0000ffu)));
  EXPECT_EQ(f.Pixel32(target, 1, 1), 0);
  // A clip rectangle keeps the drawing out of the rest.
  Object* other = f.New(4, 4, true, 0);
  f.Call(other, "draw", {Value::Obj(source), Value::Obj(matrix), Value(), Value(), Value::Obj(f.Rect(0, 0, 3, 3))});
  EXPECT_EQ(f.Pixel32(other, 2, 2), static_cast<double>(static_cast<std::int32_t>(0xff0000ffu)));
  EXPECT_EQ(f.Pixel32(other, 3, 3), 0);
}

}  // namespace
}  // namespace vantrel::flash::avm1::testing
