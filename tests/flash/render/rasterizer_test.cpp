// The scanline rasterizer, its paints and colour maths, checked on small images.
#include <gtest/gtest.h>

#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <optional>
#include <set>

#include "flash/character/fill_paint.h"
#include "flash/character/shape.h"
#include "flash/render/layer_image.h"
#include "flash/raster/paints.h"
#include "flash/raster/rasterizer.h"
#include "flash/raster/target.h"

namespace vantrel::flash::render {
namespace {

QImage Canvas(int size, QRgb color) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(color);
  return image;
}

void Fill(QImage& image, const std::vector<Edge>& edges, std::vector<const Paint*> paints, int samples,
          FillRule rule = FillRule::EvenOdd) {
  FillEdges(Target{&image, {}}, edges, paints, rule, samples);
}

// A square split along a slanted diagonal: fill 1 left of it, fill 2 right of it.
std::vector<Edge> SplitSquare(double size) {
  return {
      {0, 0, size * 0.7, 0, 0, 0},          // top (horizontal, no effect)
      {size * 0.7, 0, size, 0, 0, 0},
      {size * 0.7, 0, size * 0.3, size, 1, 2},  // the shared diagonal, running down
      {0, 0, 0, size, 0, 1},                    // left side: fill 1 on its right
      {size, 0, size, size, 2, 0},              // right side: fill 2 on its left
  };
}

TEST(Rasterizer, FillsSharingAnEdgeLeaveNoSeamAtAnyQuality) {
  const SolidPaint red(0xffff0000), blue(0xff0000ff);
  for (const int samples : {1, 2, 4}) {
    QImage image = Canvas(40, 0xff00ff00);
    std::vector<Edge> edges = SplitSquare(33.3);
    for (Edge& e : edges) {  // off the pixel grid, so the diagonal cuts pixels everywhere
      e.x0 += 3.37, e.x1 += 3.37, e.y0 += 2.61, e.y1 += 2.61;
    }
    Fill(image, edges, {&red, &blue}, samples);
    int split = 0;
    for (int y = 4; y < 35; ++y) {
      for (int x = 5; x < 36; ++x) {
        const QRgb p = image.pixel(x, y);
        ASSERT_EQ(qGreen(p), 0) << "background shows at " << x << "," << y << " with " << samples << " samples";
        ASSERT_EQ(qRed(p) + qBlue(p) >= 254, true) << x << "," << y;
        if (qRed(p) > 0 && qBlue(p) > 0) ++split;
      }
    }
    if (samples > 1) {
      EXPECT_GT(split, 10) << "the diagonal's pixels mix both fills";
    } else {
      EXPECT_EQ(split, 0) << "one sample gives each pixel to one fill";
    }
  }
}

TEST(Rasterizer, RowsOfOneFillComeOutAsRowsSharedWithAnotherFill) {
  // A star of thin slivers and wide parts (every slope, pixels covered by several
  // spans of a sample row) in a translucent colour over a varied background, drawn
  // alone and with a far-away bar of another fill in every row: rows of one fill are
  // counted on their own, rows of several mix fill by fill, with the same pixels.
  const SolidPaint star(0xa0305070), bar(0xff00ff00);
  std::vector<Edge> edges;
  const double cx = 40.3, cy = 40.7;
  for (int k = 0; k < 11; ++k) {
    const double a0 = k * 2 * M_PI / 11, a1 = a0 + 0.21, r = k % 2 ? 38.2 : 17.9;
    const QPointF p0(cx + r * std::cos(a0), cy + r * std::sin(a0)), p1(cx + r * std::cos(a1), cy + r * std::sin(a1));
    edges.push_back({cx, cy, p0.x(), p0.y(), 1, 0});
    edges.push_back({p0.x(), p0.y(), p1.x(), p1.y(), 1, 0});
    edges.push_back({p1.x(), p1.y(), cx, cy, 1, 0});
  }
  for (const int samples : {2, 4}) {
    QImage alone = Canvas(120, 0xffffffff);
    for (int y = 0; y < 120; ++y)
      for (int x = 0; x < 120; ++x) alone.setPixel(x, y, qRgba(x * 2, y * 2, 128, 255));
    QImage shared = alone;
    Fill(alone, edges, {&star, &bar}, samples, FillRule::NonZero);
    std::vector<Edge> withBar = edges;
    withBar.push_back({100.5, -1, 100.5, 121, 0, 2});
    withBar.push_back({110.5, -1, 110.5, 121, 2, 0});
    Fill(shared, withBar, {&star, &bar}, samples, FillRule::NonZero);
    EXPECT_EQ(alone.copy(0, 0, 90, 120), shared.copy(0, 0, 90, 120)) << "samples " << samples;
    EXPECT_NE(alone.pixel(105, 60), shared.pixel(105, 60));
  }
}

TEST(Rasterizer, DiagonalEdgeCoverageUsesThePlayersLevelsPerQuality) {
  const SolidPaint black(0xff000000);
  for (const int samples : {1, 2, 4}) {
    QImage image = Canvas(64, 0xffffffff);
    // A shape whose top edge is shallow and off the grid, so it meets every sub-sample offset.
    const std::vector<Edge> edges = {{2.2, 1.1, 61.7, 17.9, 0, 1}, {61.7, 17.9, 61.7, 60.3, 0, 1},
                                     {2.2, 60.3, 2.2, 1.1, 0, 1}};
    Fill(image, edges, {&black}, samples);
    const int all = samples * samples;
    std::set<int> allowed;
    for (int k = 0; k <= all; ++k) allowed.insert(255 * (all - k) / all);  // truncated, as the player does
    std::set<int> seen;
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) {
        const int v = qRed(image.pixel(x, y));
        ASSERT_TRUE(allowed.count(v)) << v << " at " << x << "," << y << " with " << samples << " samples";
        seen.insert(v);
      }
    }
    EXPECT_EQ(seen.size(), allowed.size()) << "every level occurs along the diagonal with " << samples << " samples";
  }
  // Half-covered black on white is 127 (truncated), a quarter 191, three quarters 63.
  QImage image = Canvas(4, 0xffffffff);
  Fill(image, {{1.5, 0, 1.5, 4, 0, 1}, {4, 0, 4, 4, 1, 0}}, {&black}, 4);
  EXPECT_EQ(qRed(image.pixel(1, 0)), 127);
  image = Canvas(4, 0xffffffff);
  Fill(image, {{1.75, 0, 1.75, 4, 0, 1}, {4, 0, 4, 4, 1, 0}}, {&black}, 4);
  EXPECT_EQ(qRed(image.pixel(1, 0)), 191);
}

TEST(Rasterizer, FillRulesAndOpenOrOversizedInput) {
  const SolidPaint black(0xff000000);
  // Two squares, one inside the other, both running the same way.
  const auto square = [](double a, double b) {
    return std::vector<Edge>{{a, a, a, b, 0, 1}, {b, b, b, a, 0, 1}};
  };
  std::vector<Edge> nested = square(2, 18);
  for (const Edge& e : square(6, 14)) nested.push_back(e);
  QImage evenOdd = Canvas(20, 0xffffffff), nonZero = Canvas(20, 0xffffffff);
  Fill(evenOdd, nested, {&black}, 4, FillRule::EvenOdd);
  Fill(nonZero, nested, {&black}, 4, FillRule::NonZero);
  EXPECT_EQ(qRed(evenOdd.pixel(10, 10)), 255) << "even-odd leaves the inner square open";
  EXPECT_EQ(qRed(evenOdd.pixel(4, 10)), 0);
  EXPECT_EQ(qRed(nonZero.pixel(10, 10)), 0) << "non-zero fills it";

  // Edges far outside the image, NaNs and fill numbers without a paint are skipped.
  QImage image = Canvas(8, 0xffffffff);
  Fill(image, {{-1e30, -1e30, 1e30, 1e30, 0, 1}, {NAN, 0, 1, 1, 0, 1}, {1, 1, 2, 7, 0, 9}}, {&black}, 4);
  SUCCEED();

  // A pass takes a bounded number of edges and says it dropped the rest.
  EdgeList list{QTransform()};
  for (std::size_t i = 0; i <= EdgeList::kMaxEdges; ++i) list.AddLine({0, 0}, {1, 1}, 0, 1);
  EXPECT_TRUE(list.Truncated());
  EXPECT_EQ(list.Edges().size(), EdgeList::kMaxEdges);
}

// A sample exactly on an edge belongs to the fill on the edge's right (the span starts
// there) and to the row where an edge starts, whatever transform brought it there:
// ends snap to 1/256 pixel, so a scale that leaves 0.1 + 0.2 style rounding behind
// still lands on the sample.
TEST(Rasterizer, SamplesOnAnEdgeAreDecidedByTheRuleNotByRounding) {
  const SolidPaint red(0xffff0000);
  // A triangle whose left side runs through the pixel centre (2.5, 2.5) from below
  // and above, drawn at 1/3 scale so its ends are not exact in binary.
  const QTransform third = QTransform::fromScale(1.0 / 3, 1.0 / 3);
  EdgeList list(third);
  const QPointF bottom(4.5 * 3, 6 * 3), tip(2.5 * 3, 2.5 * 3), top(4.5 * 3, 0);
  list.AddLine(bottom, tip, 0, 1);  // running up, the fill on its right
  list.AddLine(tip, top, 0, 1);
  list.AddLine(top, bottom, 0, 1);
  QImage image = Canvas(8, 0xffffffff);
  FillEdges(Target{&image, {}}, list.Edges(), std::vector<const Paint*>{&red}, FillRule::EvenOdd, 1);
  EXPECT_EQ(image.pixel(2, 2), 0xffff0000u);  // on the left edge: inside
  EXPECT_EQ(image.pixel(1, 2), 0xffffffffu);
  // The mirror image: a sample on a right edge stays outside.
  EdgeList mirrored(third);
  const QPointF mb(0.5 * 3, 6 * 3), mt(2.5 * 3, 2.5 * 3), mtop(0.5 * 3, 0);
  mirrored.AddLine(mb, mtop, 0, 1);
  mirrored.AddLine(mtop, mt, 0, 1);
  mirrored.AddLine(mt, mb, 0, 1);
  QImage other = Canvas(8, 0xffffffff);
  FillEdges(Target{&other, {}}, mirrored.Edges(), std::vector<const Paint*>{&red}, FillRule::EvenOdd, 1);
  EXPECT_EQ(other.pixel(2, 2), 0xffffffffu);
  EXPECT_EQ(other.pixel(1, 2), 0xffff0000u);
}

TEST(Rasterizer, CurvesAreCutCloseToTheCurveWithFewPiecesOnFlatStretches) {
  const QPointF from(0, 0), control(50, 100), to(100, 0);
  for (const double tolerance : {0.1, 1.0}) {
    std::vector<QPointF> points{from};
    FlattenQuadratic(from, control, to, tolerance, [&](QPointF p) { points.push_back(p); });
    ASSERT_GE(points.size(), 3u);
    EXPECT_EQ(points.back(), to);
    // Every point of the curve (x = 100t, y = 200t(1 - t)) lies within the tolerance
    // of the chord that spans it.
    for (std::size_t i = 1; i < points.size(); ++i) {
      const QPointF a = points[i - 1], b = points[i];
      const double length = std::hypot(b.x() - a.x(), b.y() - a.y());
      for (int k = 1; k < 20; ++k) {
        const double t = (a.x() + (b.x() - a.x()) * k / 20) / 100;
        const QPointF p(100 * t, 200 * t * (1 - t));
        const double distance = std::abs((b.x() - a.x()) * (a.y() - p.y()) - (a.x() - p.x()) * (b.y() - a.y())) / length;
        EXPECT_LE(distance, tolerance * 1.05) << "piece " << i;
      }
    }
  }
  std::size_t straight = 0;
  FlattenQuadratic(from, QPointF(50, 0), to, 0.1, [&](QPointF) { ++straight; });
  EXPECT_EQ(straight, 1u);  // a straight curve is one piece
  const auto pieces = [&](QPointF c) {
    std::size_t count = 0;
    FlattenQuadratic(from, c, to, 1.0, [&](QPointF) { ++count; });
    return count;
  };
  // The curve strays half as far from its chord as its control point.
  EXPECT_EQ(pieces(QPointF(20, 1.9)), 1u) << "strays 0.95: one piece";
  EXPECT_GT(pieces(QPointF(20, 2.2)), 1u) << "strays 1.1";
}

TEST(RenderLayer, ReusedBuffersComeBackClearAndHugeLayersAreRefused) {
  {
    LayerImage first(QSize(40, 30));
    ASSERT_FALSE(first.Image().isNull());
    first.Image().fill(0xffff0000);
  }
  LayerImage again(QSize(20, 10));  // takes the first one's buffer
  ASSERT_EQ(again.Image().size(), QSize(20, 10));
  EXPECT_EQ(again.Image().format(), QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 20; ++x) ASSERT_EQ(again.Image().pixel(x, y), 0u);
  }
  EXPECT_TRUE(LayerImage(QSize(5000, 5000)).Image().isNull());
  EXPECT_TRUE(LayerImage(QSize(0, 10)).Image().isNull());
}

TEST(RenderColor, TransformsInFixedPointWithClamping) {
  ColorTransform half;
  half.mulR = 128 / 256.0;  // 8.8 as movies store it
  half.addG = 300;
  half.addB = -20;
  const auto fixed = FixedColorTransform::From(half);
  const Rgba out = fixed.Apply(Rgba{255, 10, 10, 255});
  EXPECT_EQ(out.r, 127);
  EXPECT_EQ(out.g, 255);
  EXPECT_EQ(out.b, 0);
  // Script multipliers such as 0.3 keep their precision: 255 * 0.3 = 76.5, rounded down.
  ColorTransform fade;
  fade.mulA = 0.3;
  EXPECT_EQ(FixedColorTransform::From(fade).Apply(Rgba{0, 0, 255, 255}).a, 76);
  // Premultiplied pixels survive the round trip through straight colour.
  EXPECT_EQ(FixedColorTransform().ApplyPremultiplied(0x80402010u), 0x80402010u);
  EXPECT_EQ(SourceOver(0x80000000u, 0xffffffffu), 0xff7f7f7fu);
}

// A colour transform of translucent pixels: every premultiplied pixel (each alpha, each
// channel value up to it) against straight colour computed here in doubles. With the
// identity the round trip hides rounding faults of either direction; a tint does not.
TEST(RenderPaint, TransformsOfTranslucentPixelsUnpremultiplyRoundedToNearest) {
  ColorTransform tint;
  tint.mulR = 0.75;
  tint.addR = 13;
  tint.mulG = 1.25;
  tint.addG = -7;
  tint.mulB = 0.5;
  const FixedColorTransform fixed = FixedColorTransform::From(tint);
  const auto straight = [](std::uint32_t c, std::uint32_t a) {
    return std::min(255.0, std::floor(c * 255.0 / a + 0.5));
  };
  const auto channel = [](double c, double mul, double add) { return std::clamp(std::floor(c * mul) + add, 0.0, 255.0); };
  const auto premultiplied = [](double c, std::uint32_t a) {
    return static_cast<std::uint32_t>(std::floor(c * a / 255.0 + 0.5));
  };
  std::size_t checked = 0, wrong = 0;
  for (std::uint32_t a = 1; a < 255; ++a) {
    for (std::uint32_t c = 0; c <= a; ++c) {
      const Pixel in = Pack(a, c, c, c);
      const Pixel out = fixed.ApplyPremultiplied(in);
      const double s = straight(c, a);
      const Pixel expected = Pack(a, premultiplied(channel(s, 0.75, 13), a), premultiplied(channel(s, 1.25, -7), a),
                                  premultiplied(channel(s, 0.5, 0), a));
      ++checked;
      if (out != expected && ++wrong <= 5) ADD_FAILURE() << std::hex << in << " gave " << out << ", not " << expected;
    }
  }
  EXPECT_EQ(checked, 32639u);
  EXPECT_EQ(wrong, 0u);
}

TEST(RenderPaint, GradientTableFollowsTheStops) {
  Gradient gradient;
  gradient.stops = {{0, {255, 0, 0, 255}}, {128, {0, 0, 255, 255}}, {128, {0, 255, 0, 255}}, {200, {0, 255, 0, 0}}};
  const auto table = GradientTable(gradient, FixedColorTransform());
  EXPECT_EQ(table[0], 0xffff0000u);
  EXPECT_EQ(table[64], Premultiply(Rgba{127, 0, 128, 255}));
  EXPECT_EQ(table[128], 0xff0000ffu) << "the first of two equal stops ends its segment";
  EXPECT_EQ(Red(table[129]) + Blue(table[129]), 0u) << "the second starts the next: a hard edge";
  EXPECT_GT(Green(table[129]), 240u);
  EXPECT_EQ(table[255], 0u) << "past the last stop: its (transparent) colour";

  // Pad, repeat and reflect beyond the square, sampled along a linear gradient 16 pixels wide.
  std::array<Pixel, 256> ramp{};
  for (int i = 0; i < 256; ++i) ramp[i] = Pack(255, i, 0, 0);
  const QTransform square = QTransform::fromScale(8 / 16384.0, 1) * QTransform::fromTranslate(8, 0);
  Pixel row[32];
  GradientPaint(ramp, square, GradientShape::Linear, GradientSpread::Pad, 0).Shade(0, -8, 24, row);
  EXPECT_EQ(Red(row[0]), 0u);
  EXPECT_EQ(Red(row[31]), 255u);
  GradientPaint(ramp, square, GradientShape::Linear, GradientSpread::Repeat, 0).Shade(0, -8, 24, row);
  EXPECT_LT(Red(row[24]), 20u) << "repeat starts over";
  GradientPaint(ramp, square, GradientShape::Linear, GradientSpread::Reflect, 0).Shade(0, -8, 24, row);
  EXPECT_GT(Red(row[24]), 230u) << "reflect comes back down from the end";
}

// Linear-light gradients go through 8-bit linear values rounded down, so dark channels
// lose precision even at the stops: sRGB 20 comes back as 13, as in the reference images.
TEST(RenderPaint, LinearLightGradientsKeepEightBitsOfLinearLight) {
  Gradient gradient;
  gradient.interpolation = InterpolationMode::LinearRgb;
  gradient.stops = {{0, {255, 20, 25, 255}}, {255, {14, 20, 255, 255}}};
  const auto table = GradientTable(gradient, FixedColorTransform());
  EXPECT_EQ(table[0], 0xffff0d16u);
  EXPECT_EQ(Green(table[128]), 13u);
  EXPECT_GT(Red(table[128]), 180u) << "halfway in linear light is bright in sRGB";
  EXPECT_EQ(Blue(table[255]), 255u);
}

TEST(RenderPaint, BitmapsRepeatOrStretchTheirEdges) {
  QImage bitmap(2, 1, QImage::Format_ARGB32_Premultiplied);
  bitmap.setPixel(0, 0, 0xffff0000);
  bitmap.setPixel(1, 0, 0xff0000ff);
  const QTransform fourTimes = QTransform::fromScale(4, 4);
  Pixel row[16];
  BitmapPaint(bitmap, fourTimes, true, false, FixedColorTransform()).Shade(0, 0, 16, row);
  EXPECT_EQ(row[0], 0xffff0000u);
  EXPECT_EQ(row[4], 0xff0000ffu);
  EXPECT_EQ(row[8], 0xffff0000u) << "repeating";
  BitmapPaint(bitmap, fourTimes, false, false, FixedColorTransform()).Shade(0, 0, 16, row);
  EXPECT_EQ(row[15], 0xff0000ffu) << "clipped bitmaps stretch their last pixel";
  BitmapPaint(bitmap, fourTimes, false, true, FixedColorTransform()).Shade(0, 0, 16, row);
  EXPECT_NE(row[4], 0xff0000ffu) << "smoothing blends across the pixel boundary";
  EXPECT_GT(Red(row[4]), 0u);
}

TEST(RenderTarget, PaintersWithOpacityOrClipPathsGetAnOffscreenImage) {
  const SolidPaint black(0xff000000);
  QImage image = Canvas(10, 0xffffffff);
  {
    QPainter painter(&image);
    painter.setOpacity(0.5);
    PainterTarget target(painter, QRectF(0, 0, 10, 10));
    ASSERT_TRUE(target.Valid());
    EXPECT_NE(target.Get().image, &image);
    const Paint* paints[] = {&black};
    const std::vector<Edge> edges = {{0, 0, 0, 10, 0, 1}, {10, 0, 10, 10, 1, 0}};
    FillEdges(target.Get(), edges, paints, FillRule::EvenOdd, 4);
  }
  EXPECT_NEAR(qRed(image.pixel(5, 5)), 128, 1) << "the painter's opacity applies";
}

// Fills the whole of image black through a PainterTarget of painter.
void FillAllThroughPainter(QPainter& painter, QImage& image, int samples = 4, Pixel color = 0xff000000) {
  const SolidPaint paint(color);
  PainterTarget target(painter, QRectF(image.rect()));
  ASSERT_TRUE(target.Valid());
  const Paint* paints[] = {&paint};
  const double w = image.width(), h = image.height();
  const QPointF a = target.FromDevice().map(QPointF(0, 0)), b = target.FromDevice().map(QPointF(w, h));
  const std::vector<Edge> edges = {{a.x(), a.y(), a.x(), b.y(), 0, 1}, {b.x(), a.y(), b.x(), b.y(), 1, 0}};
  FillEdges(target.Get(), edges, paints, FillRule::EvenOdd, samples);
}

TEST(RenderTarget, CoverageScopesMaskWhatIsDrawnAndNest) {
  // The mask covers columns 3..7 (column 3 by half), placed with its corner at (3, 0).
  QImage outer(5, 10, QImage::Format_ARGB32_Premultiplied);
  outer.fill(0xff000000);
  for (int y = 0; y < 10; ++y) outer.setPixel(0, y, 0x80000000);
  for (const int samples : {4, 1}) {
    for (const bool offscreen : {false, true}) {
      // Opaque black, and half-transparent black (premultiplied) which blends.
      for (const Pixel color : {0xff000000u, 0x80000000u}) {
        QImage image = Canvas(10, 0xffffffff);
        QPainter painter(&image);
        if (offscreen) painter.setClipRegion(QRegion(0, 0, 10, 10) - QRegion(9, 9, 1, 1));  // not one rectangle
        QImage coverage = outer;
        const CoverageScope scope(&image, coverage, QPoint(3, 0));
        FillAllThroughPainter(painter, image, samples, color);
        painter.end();
        const int full = color == 0xff000000u ? 0 : 127;
        const auto where = testing::Message() << "samples " << samples << " offscreen " << offscreen << " colour "
                                              << std::hex << color;
        EXPECT_EQ(image.pixel(2, 5), 0xffffffffu) << "left of the mask; " << where;
        EXPECT_EQ(image.pixel(8, 5), 0xffffffffu) << "right of the mask; " << where;
        EXPECT_NEAR(qRed(image.pixel(5, 5)), full, 1) << where;
        EXPECT_NEAR(qRed(image.pixel(3, 5)), (255 + full) / 2, 1) << "half covered; " << where;
      }
    }
  }
  // An inner mask over rows 0..4 only: what shows is what both cover.
  QImage image = Canvas(10, 0xffffffff);
  QPainter painter(&image);
  QImage coverage = outer;
  const CoverageScope scope(&image, coverage, QPoint(3, 0));
  QImage inner(10, 5, QImage::Format_ARGB32_Premultiplied);
  inner.fill(0xff000000);
  {
    const CoverageScope innerScope(&image, inner, QPoint(0, 0));
    FillAllThroughPainter(painter, image);
  }
  EXPECT_EQ(image.pixel(5, 2), 0xff000000u);
  EXPECT_EQ(image.pixel(1, 2), 0xffffffffu) << "outside the outer mask";
  EXPECT_EQ(image.pixel(8, 2), 0xffffffffu) << "outside the outer mask, on its right";
  EXPECT_EQ(image.pixel(5, 7), 0xffffffffu) << "outside the inner mask";
  FillAllThroughPainter(painter, image);
  EXPECT_EQ(image.pixel(5, 7), 0xff000000u) << "the outer mask alone once the inner one closes";
}

// A coverage image with, on each row, empty, partial and whole stretches at places
// that vary with the row.
QImage StripedCoverage(int width, int height) {
  QImage coverage(width, height, QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int phase = (x + y * 3) % 11;
      const int alpha = phase < 3 ? 0 : phase < 5 ? 40 * phase : phase == 9 ? 1 : 255;
      coverage.setPixel(x, y, qRgba(0, 0, 0, alpha));
    }
  }
  return coverage;
}

TEST(Rasterizer, CoverageRunsDrawWhatEveryPixelOfTheCoverageDraws) {
  // Drawn once looking at every coverage pixel and once by the coverage's runs: the
  // same pixels, with opaque, translucent and shaded fills, at one and at 16 samples.
  const QImage coverage = StripedCoverage(30, 20);
  const CoverageRuns runs = FindCoverageRuns(coverage);
  const SolidPaint opaque(0xff2050a0), translucent(0x80402000);
  const std::vector<Edge> triangle = {{2, 1, 25, 18, 0, 1}, {25, 18, 1, 19, 0, 1}, {1, 19, 2, 1, 0, 1}};
  for (const int samples : {1, 4}) {
    for (const Paint* paint : {static_cast<const Paint*>(&opaque), static_cast<const Paint*>(&translucent)}) {
      QImage byPixel = Canvas(32, 0xffe0e0e0), byRuns = byPixel;
      Target target{&byPixel, {}, &coverage, QPoint(1, 2)};
      FillEdges(target, triangle, std::vector<const Paint*>{paint}, FillRule::NonZero, samples);
      target.image = &byRuns;
      target.coverageRuns = &runs;
      FillEdges(target, triangle, std::vector<const Paint*>{paint}, FillRule::NonZero, samples);
      EXPECT_EQ(byPixel, byRuns) << "samples " << samples << " colour " << std::hex << (paint == &opaque);
    }
  }
  // The runs themselves: sorted, inside the row, never empty, whole exactly where the
  // alpha is 255 and covering every pixel that is not empty.
  for (int y = 0; y < coverage.height(); ++y) {
    std::vector<int> kind(coverage.width(), 0);
    int last = 0;
    for (const CoverageRuns::Run& run : runs.Row(y)) {
      ASSERT_LE(last, run.from);
      ASSERT_LT(run.from, run.to);
      for (int x = run.from; x < run.to; ++x) kind[x] = run.whole ? 2 : 1;
      last = run.to;
    }
    for (int x = 0; x < coverage.width(); ++x) {
      const int alpha = qAlpha(coverage.pixel(x, y));
      EXPECT_EQ(kind[x], alpha == 0 ? 0 : alpha == 255 ? 2 : 1) << x << "," << y;
    }
  }
}

TEST(Rasterizer, EdgesFilledAgainMatchAFreshFillWhateverChangesBetweenFills) {
  // A five-pointed star (its middle is inside twice: the rules differ there) in fill 2
  // over a square in fill 1, at non-integer places so that pixels along the edges mix.
  std::vector<Edge> edges;
  const QPointF centre(15.3, 14.6);
  QPointF points[5];
  for (int i = 0; i < 5; ++i) {
    const double angle = -M_PI / 2 + i * 4 * M_PI / 5;
    points[i] = centre + QPointF(std::cos(angle), std::sin(angle)) * 12.7;
  }
  for (int i = 0; i < 5; ++i) {
    const QPointF a = points[i], b = points[(i + 1) % 5];
    edges.push_back({a.x(), a.y(), b.x(), b.y(), 0, 2});
  }
  edges.push_back({4.25, 6.5, 4.25, 24.75, 1, 0});
  edges.push_back({26.5, 24.75, 26.5, 6.5, 1, 0});
  const SolidPaint red(0xffff0000), blue(0xff0000ff), translucent(0x80402000);
  const QImage coverage = StripedCoverage(30, 30);
  const CoverageRuns runs = FindCoverageRuns(coverage);
  struct Step {
    QRect clip;
    FillRule rule;
    const Paint* first;
    bool masked;
  };
  // The same clip and rule three times (the third draws kept spans), then each of
  // rule, clip, paint and mask changing.
  const Step steps[] = {{{}, FillRule::EvenOdd, &red, false},          {{}, FillRule::EvenOdd, &red, false},
                        {{}, FillRule::EvenOdd, &translucent, false},  {{}, FillRule::NonZero, &red, false},
                        {{}, FillRule::NonZero, &red, false},          {{}, FillRule::NonZero, &red, true},
                        {QRect(3, 9, 17, 11), FillRule::NonZero, &red, false},
                        {QRect(3, 9, 17, 11), FillRule::NonZero, &red, false},
                        {QRect(3, 9, 17, 11), FillRule::NonZero, &translucent, true},
                        {{}, FillRule::EvenOdd, &blue, false}};
  for (const int samples : {1, 2, 4}) {
    PreparedEdges prepared;
    prepared.Prepare(edges, 2, samples);
    for (std::size_t i = 0; i < std::size(steps); ++i) {
      const Step& step = steps[i];
      const std::vector<const Paint*> paints = {step.first, &blue};
      QImage again = Canvas(32, 0xffe0e0e0), fresh = again;
      Target target{&again, step.clip};
      if (step.masked) {
        target.coverage = &coverage;
        target.coverageOrigin = QPoint(1, 2);
        target.coverageRuns = &runs;
      }
      FillPrepared(target, prepared, paints, step.rule);
      target.image = &fresh;
      FillEdges(target, edges, paints, step.rule, samples);
      EXPECT_EQ(again, fresh) << "samples " << samples << " step " << i;
    }
  }
}

// Each pixel's kind by the runs: 0 empty, 1 partial, 2 whole.
std::vector<int> RunKinds(const CoverageRuns& runs, int width, int height) {
  std::vector<int> kinds(static_cast<std::size_t>(width * height), 0);
  for (int y = 0; y < height; ++y) {
    int last = 0;
    for (const CoverageRuns::Run& run : runs.Row(y)) {
      EXPECT_LE(last, run.from) << "row " << y;
      EXPECT_LT(run.from, run.to) << "row " << y;
      last = run.to;
      for (int x = run.from; x < run.to; ++x) kinds[static_cast<std::size_t>(y * width + x)] = run.whole ? 2 : 1;
    }
  }
  return kinds;
}

// A mask's coverage drawn as the renderer draws it: overlapping triangles, opaque and
// translucent (as a gradient or bitmap under a mask's colour may leave them), noting
// what was drawn.
QImage DrawCoverage(DrawnStretches& drawn, int samples) {
  QImage coverage(40, 30, QImage::Format_ARGB32_Premultiplied);
  coverage.fill(0);
  const DrawnScope scope(&coverage, drawn);
  QPainter painter(&coverage);
  const SolidPaint opaque(0xff000000), translucent(0x60000000);
  const std::vector<std::vector<Edge>> shapes = {
      {{2.3, 1.2, 30.7, 20.1, 0, 1}, {30.7, 20.1, 4.5, 27.9, 0, 1}, {4.5, 27.9, 2.3, 1.2, 0, 1}},
      {{20.2, 3.6, 38.6, 8.4, 0, 1}, {38.6, 8.4, 12.1, 25.3, 0, 1}, {12.1, 25.3, 20.2, 3.6, 0, 1}},
      {{6.5, 14.5, 24.5, 14.5, 0, 1}, {24.5, 14.5, 15.5, 29.5, 0, 1}, {15.5, 29.5, 6.5, 14.5, 0, 1}}};
  const Paint* paints[] = {&opaque, &translucent, &opaque};
  for (std::size_t i = 0; i < shapes.size(); ++i) {
    const PainterTarget target(painter, QRectF(coverage.rect()));
    FillEdges(target.Get(), shapes[i], std::span<const Paint* const>(&paints[i], 1), FillRule::NonZero, samples);
  }
  EXPECT_FALSE(scope.Spoiled());
  return coverage;
}

TEST(RenderTarget, MaskRunsFromWhatWasDrawnMatchItsPixelsAlsoInsideAnotherMask) {
  for (const int samples : {1, 2, 4}) {
    DrawnStretches drawn(30), skipped(30, true);
    const QImage coverage = DrawCoverage(drawn, samples);
    // Noting opaque stretches without painting them leaves other pixels but the same runs.
    const QImage sparse = DrawCoverage(skipped, samples);
    EXPECT_NE(sparse, coverage);
    const auto kinds = RunKinds(FindCoverageRuns(coverage), 40, 30);
    EXPECT_EQ(RunKinds(drawn.Runs(coverage), 40, 30), kinds) << "samples " << samples;
    EXPECT_EQ(RunKinds(skipped.Runs(sparse), 40, 30), kinds) << "samples " << samples;
    // Alone and inside an outer mask (striped: empty, partial and whole stretches),
    // drawing through the inner one shows the same whether its runs came from the
    // drawing or not, and whether its opaque stretches were painted or not.
    const QImage outer = StripedCoverage(40, 30);
    for (const bool nested : {false, true}) {
      const QImage byPixels = [&] {
        QImage image = Canvas(48, 0xffe0e0e0);
        QPainter painter(&image);
        QImage outerCopy = outer, inner = coverage;
        std::optional<CoverageScope> outerScope;
        if (nested) outerScope.emplace(&image, outerCopy, QPoint(2, 3));
        const CoverageScope innerScope(&image, inner, QPoint(5, 1));
        FillAllThroughPainter(painter, image, samples, 0xff2050a0);
        return image;
      }();
      for (DrawnStretches* notes : {&drawn, &skipped}) {
        QImage image = Canvas(48, 0xffe0e0e0);
        QPainter painter(&image);
        QImage outerCopy = outer, inner = notes->SkipsOpaque() ? sparse : coverage;
        std::optional<CoverageScope> outerScope;
        if (nested) outerScope.emplace(&image, outerCopy, QPoint(2, 3));
        {
          const CoverageRuns drawnRuns = notes->Runs(inner);
          const CoverageScope innerScope(&image, inner, QPoint(5, 1), &drawnRuns);
          FillAllThroughPainter(painter, image, samples, 0xff2050a0);
          // What the drawing and the scope left in the coverage is all in the notes
          // and the runs.
          notes->Erase(inner);
          ClearPartialRuns(inner, innerScope.Runs());
        }
        EXPECT_EQ(image, byPixels) << "samples " << samples << " nested " << nested << " skipped "
                                   << notes->SkipsOpaque();
        QImage clear(inner.size(), inner.format());
        clear.fill(0);
        EXPECT_EQ(inner, clear) << "samples " << samples << " nested " << nested << " skipped "
                                << notes->SkipsOpaque();
      }
    }
  }
  {
    // A layer cleared where the rasterizer drew goes back clean: the next one, of
    // another width, is taken without a clear.
    LayerImage noted(QSize(30, 20));
    DrawnStretches notes(20);
    {
      const DrawnScope scope(&noted.Image(), notes);
      QPainter painter(&noted.Image());
      FillAllThroughPainter(painter, noted.Image(), 4, 0xff804020);
    }
    notes.Erase(noted.Image());
    noted.MarkClean();
  }
  LayerImage next(QSize(22, 24));
  QImage clear(22, 24, QImage::Format_ARGB32_Premultiplied);
  clear.fill(0);
  EXPECT_EQ(next.Image(), clear);
  // A drawing that needs an offscreen picture (a clip of two rectangles) spoils the notes.
  QImage coverage(10, 10, QImage::Format_ARGB32_Premultiplied);
  coverage.fill(0);
  DrawnStretches drawn(10);
  const DrawnScope scope(&coverage, drawn);
  QPainter painter(&coverage);
  painter.setClipRegion(QRegion(0, 0, 10, 5) + QRegion(0, 6, 10, 4));
  FillAllThroughPainter(painter, coverage);
  EXPECT_TRUE(scope.Spoiled());
}

QImage DrawShape(const ShapeGeometry& geometry, const QTransform& transform, const ColorTransform& colors,
                 Quality quality, bool asMask) {
  QImage image = Canvas(120, 0xffffffff);
  QPainter painter(&image);
  RenderContext context;
  context.painter = &painter;
  context.transform = transform;
  context.colorTransform = colors;
  context.quality = quality;
  context.asMask = asMask;
  DrawGeometry(context, geometry);
  return image;
}

TEST(RenderShapes, AShapeDrawnAgainFollowsItsTransformColoursAndQuality) {
  // A red fill under a bulging curve with a blue line around it.
  ShapeData data;
  StyleSet styles;
  FillStyle red;
  red.color = Rgba{255, 0, 0, 255};
  styles.fills.push_back(red);
  LineStyle blue;
  blue.width = 60;
  blue.color = Rgba{0, 0, 255, 255};
  styles.lines.push_back(blue);
  data.styleSets.push_back(styles);
  PathOp start;
  start.move = start.setFill1 = start.setLine = true;
  start.fill1 = start.line = 1;
  start.x = start.y = 100;
  data.ops.push_back(start);
  const auto edge = [&](PathOp::Kind kind, double x, double y, double cx = 0, double cy = 0) {
    PathOp op;
    op.kind = kind;
    op.x = x, op.y = y, op.cx = cx, op.cy = cy;
    data.ops.push_back(op);
  };
  edge(PathOp::Kind::Curve, 1900, 100, 1000, -500);
  edge(PathOp::Kind::Line, 1900, 1900);
  edge(PathOp::Kind::Line, 100, 1900);
  edge(PathOp::Kind::Line, 100, 100);
  const ShapeGeometry geometry = BuildGeometry(data);

  const QTransform a = QTransform::fromScale(0.05, 0.05) * QTransform::fromTranslate(10.3, 20.6);
  const QTransform b = QTransform::fromScale(0.04, 0.05) * QTransform().rotate(17) * QTransform::fromTranslate(40, 5);
  ColorTransform tinted;
  tinted.mulR = 0.5;
  tinted.addG = 100;
  struct Step {
    QTransform transform;
    ColorTransform colors;
    Quality quality;
    bool asMask;
  };
  // The same shape, drawn again and again as a movie would: each drawing must match a
  // drawing of a fresh copy (which keeps nothing from earlier ones).
  const Step steps[] = {{a, {}, Quality::High, false},     {a, {}, Quality::High, false},
                        {b, {}, Quality::High, false},     {a, tinted, Quality::High, false},
                        {a, tinted, Quality::Low, false},  {a, {}, Quality::High, true},
                        {a, {}, Quality::High, false},     {b, tinted, Quality::Medium, false}};
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    const Step& step = steps[i];
    const ShapeGeometry fresh = geometry;
    const QImage again = DrawShape(geometry, step.transform, step.colors, step.quality, step.asMask);
    EXPECT_EQ(again, DrawShape(fresh, step.transform, step.colors, step.quality, step.asMask)) << "step " << i;
    EXPECT_NE(again, Canvas(120, 0xffffffff)) << "step " << i << " drew nothing";
  }
}

}  // namespace
}  // namespace vantrel::flash::render
