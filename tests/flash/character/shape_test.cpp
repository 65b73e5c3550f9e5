#include "flash/character/shape.h"

#include <gtest/gtest.h>

#include "flash/character/definition.h"
#include "flash/raster/rasterizer.h"
#include "flash/render_helpers.h"
#include "support/swf_shape_writer.h"

namespace vantrel::flash {
namespace {

using testing::Near;
using testing::Pixel;
using testing::RenderToImage;
using vantrel::testing::RectEdges;
using vantrel::testing::SwfBits;

constexpr QRgb kWhite = 0xFFFFFF, kRed = 0xFF0000, kBlue = 0x0000FF, kBlack = 0x000000;

// Shape header with solid fills (RGB) and no lines; returns the writer positioned at the records.
SwfBits ShapeHeader(std::initializer_list<QRgb> fills, std::int32_t size = 800) {
  SwfBits w;
  w.U16(1);
  w.Rect(0, size, 0, size);
  w.U8(static_cast<std::uint8_t>(fills.size()));
  for (QRgb c : fills) {
    w.U8(0);
    w.Rgb(qRed(c), qGreen(c), qBlue(c));
  }
  w.U8(0);  // lines
  w.StyleBits(2, 0);
  return w;
}

std::shared_ptr<Shape> Parse(const SwfBits& w, std::uint16_t tag = 2) {
  DefinitionContext context;
  std::string error;
  auto character = ParseDefinition(tag, w.bytes, context, &error);
  EXPECT_TRUE(character) << error;
  return std::static_pointer_cast<Shape>(character);
}

TEST(ShapeFill, EitherSideOfTheEdgeFillsTheSameSquare) {
  SwfBits right = ShapeHeader({kRed});
  right.StyleChange(true, 0, 0, -1, 1);
  RectEdges(right, 400, 400);
  right.EndShape();

  SwfBits left = ShapeHeader({kRed});
  left.StyleChange(true, 0, 0, 1, -1);
  left.Line(0, 400);
  left.Line(400, 0);
  left.Line(0, -400);
  left.Line(-400, 0);
  left.EndShape();

  for (const auto* w : {&right, &left}) {
    const QImage image = RenderToImage(*Parse(*w), 40, 40);
    EXPECT_EQ(Pixel(image, 10, 10), kRed);
    EXPECT_EQ(Pixel(image, 30, 30), kWhite);
  }
}

TEST(ShapeFill, AdjacentFillsJoinEdgesRecordedOutOfOrder) {
  // Left square red; the shared edge carries blue on its other side; the blue square's
  // own three edges come later in a second path.
  SwfBits w = ShapeHeader({kRed, kBlue});
  w.StyleChange(true, 0, 0, 0, 1);
  w.Line(400, 0);
  w.StyleChange(false, 0, 0, 2, -1);
  w.Line(0, 400);
  w.StyleChange(false, 0, 0, 0, -1);
  w.Line(-400, 0);
  w.Line(0, -400);
  w.StyleChange(true, 400, 0, 0, 2);
  w.Line(400, 0);
  w.Line(0, 400);
  w.Line(-400, 0);
  w.EndShape();
  const QImage image = RenderToImage(*Parse(w), 50, 30);
  EXPECT_EQ(Pixel(image, 10, 10), kRed);
  EXPECT_EQ(Pixel(image, 30, 10), kBlue);
  EXPECT_EQ(Pixel(image, 45, 10), kWhite);
  EXPECT_EQ(Pixel(image, 10, 25), kWhite);
}

TEST(ShapeFill, InnerContourOfTheSameFillMakesAHole) {
  SwfBits w = ShapeHeader({kRed});
  w.StyleChange(true, 0, 0, -1, 1);
  RectEdges(w, 600, 600);
  w.StyleChange(true, 200, 200, 1, 0);
  w.Line(0, 200);
  w.Line(200, 0);
  w.Line(0, -200);
  w.Line(-200, 0);
  w.EndShape();
  const QImage image = RenderToImage(*Parse(w), 40, 40);
  EXPECT_EQ(Pixel(image, 5, 5), kRed);
  EXPECT_EQ(Pixel(image, 15, 15), kWhite);
  EXPECT_EQ(Pixel(image, 25, 25), kRed);
}

TEST(ShapeFill, CurvesAreQuadraticNotStraight) {
  // From (200,0) via control (400,0) to (400,200), then straight back round.
  SwfBits w = ShapeHeader({kRed});
  w.StyleChange(true, 200, 0, -1, 1);
  w.Curve(200, 0, 0, 200);
  w.Line(0, 200);
  w.Line(-400, 0);
  w.Line(0, -400);
  w.Line(200, 0);
  w.EndShape();
  const QImage image = RenderToImage(*Parse(w), 40, 40, Quality::Low);
  EXPECT_EQ(Pixel(image, 16, 4), kRed);    // inside the curve, outside its chord
  EXPECT_EQ(Pixel(image, 19, 0), kWhite);  // the corner the curve cuts off
}

TEST(ShapeFill, NewStylesDrawAboveEarlierOnes) {
  SwfBits w = ShapeHeader({kRed});
  w.StyleChange(true, 0, 0, -1, 1);
  RectEdges(w, 400, 400);
  w.NewStylesFlag();
  w.U8(1);
  w.U8(0);
  w.Rgb(0, 0, 255);
  w.U8(0);
  w.StyleBits(1, 0);
  w.StyleChange(true, 200, 200, -1, 1);
  RectEdges(w, 400, 400);
  w.EndShape();
  auto shape = Parse(w, 22);
  ASSERT_EQ(shape->data.styleSets.size(), 2u);
  const QImage image = RenderToImage(*shape, 40, 40);
  EXPECT_EQ(Pixel(image, 5, 5), kRed);
  EXPECT_EQ(Pixel(image, 15, 15), kBlue);
  EXPECT_EQ(Pixel(image, 25, 25), kBlue);
}

TEST(ShapeFill, ColourTransformChangesFillColours) {
  SwfBits w = ShapeHeader({kRed});
  w.StyleChange(true, 0, 0, -1, 1);
  RectEdges(w, 400, 400);
  w.EndShape();
  auto shape = Parse(w);
  ColorTransform toBlue;
  toBlue.mulR = 0;
  toBlue.addB = 255;
  EXPECT_EQ(Pixel(RenderToImage(*shape, 30, 30, Quality::High, toBlue), 10, 10), kBlue);
  ColorTransform half;
  half.mulA = 0.5;
  EXPECT_TRUE(Near(Pixel(RenderToImage(*shape, 30, 30, Quality::High, half), 10, 10), 0xFF8080));
}

TEST(ShapeFill, QualityLowDoesNotAntiAlias) {
  SwfBits w = ShapeHeader({kBlack});
  w.StyleChange(true, 10, 10, -1, 1);  // half a pixel off the grid
  RectEdges(w, 400, 400);
  w.EndShape();
  auto shape = Parse(w);
  const auto isGrey = [](QRgb c) { return qRed(c) > 10 && qRed(c) < 245; };
  const QImage low = RenderToImage(*shape, 30, 30, Quality::Low);
  const QImage high = RenderToImage(*shape, 30, 30, Quality::High);
  EXPECT_FALSE(isGrey(Pixel(low, 0, 10)));
  EXPECT_TRUE(isGrey(Pixel(high, 0, 10)));
}

TEST(ShapeFill, LinearGradientRunsAcrossItsSquare) {
  SwfBits w;
  w.U16(1);
  w.Rect(0, 640, 0, 200);
  w.U8(1);
  w.U8(0x10);
  // The 32768-twip square scaled to 640 twips and centred on the shape.
  w.Matrix(640.0 / 32768, 640.0 / 32768, 320, 100);
  w.U8(2);  // pad, RGB interpolation, two stops
  w.U8(0);
  w.Rgb(255, 0, 0);
  w.U8(255);
  w.Rgb(0, 0, 255);
  w.U8(0);
  w.StyleBits(1, 0);
  w.StyleChange(true, 0, 0, -1, 1);
  RectEdges(w, 640, 200);
  w.EndShape();
  const QImage image = RenderToImage(*Parse(w), 32, 10);
  EXPECT_TRUE(Near(Pixel(image, 0, 5), 0xF80007, 12));
  EXPECT_TRUE(Near(Pixel(image, 31, 5), 0x0700F8, 12));
  EXPECT_TRUE(Near(Pixel(image, 16, 5), 0x7D0082, 12));
}

TEST(ShapeFill, GradientStopsPiledAtTheEndKeepTheFirst) {
  FillStyle fill;
  fill.type = FillType::LinearGradient;
  fill.gradient.stops = {{0, {0, 0, 255, 255}}, {255, {255, 0, 0, 255}}, {255, {0, 255, 0, 255}}};
  const QBrush brush = MakeGradientBrush(fill, {});
  ASSERT_TRUE(brush.gradient());
  EXPECT_EQ(brush.gradient()->stops().back().second, QColor(255, 0, 0));
  // Backward ratios skip their segment: blue up to 100, then green from there on.
  fill.gradient.stops = {{0, {0, 0, 255, 255}}, {100, {0, 0, 255, 255}}, {50, {255, 0, 0, 255}},
                         {200, {0, 255, 0, 255}}};
  const auto stops = MakeGradientBrush(fill, {}).gradient()->stops();
  for (const auto& [position, color] : stops) {
    if (position <= 100 / 255.0) {
      EXPECT_EQ(color, QColor(0, 0, 255)) << position;
    }
  }
}

TEST(ShapeLine, HairlinesStayOnePixelWide) {
  SwfBits w;
  w.U16(1);
  w.Rect(0, 600, 0, 600);
  w.U8(0);
  w.U8(1);
  w.U16(1);  // one twip
  w.Rgb(0, 0, 0);
  w.StyleBits(0, 1);
  w.StyleChange(true, 0, 210, -1, -1, 1);
  w.Line(600, 0);
  w.EndShape();
  const QImage image = RenderToImage(*Parse(w), 30, 30, Quality::Low);
  int dark = 0;
  for (int y = 8; y < 13; ++y) dark += qRed(Pixel(image, 15, y)) < 128;
  EXPECT_EQ(dark, 1);
}

// A DefineShape4 header of one black five-pixel line (caps, join 0 round, 1 bevel,
// 2 miter with its limit in 8.8) in a box of width by height twips; the writer is
// positioned at the records, its pen on the line at (x, y).
SwfBits LineStyle2Shape(std::int32_t width, std::int32_t height, std::uint8_t capBits, std::uint8_t join,
                        std::uint16_t miterLimit, std::int32_t x, std::int32_t y) {
  SwfBits w;
  w.U16(1);
  w.Rect(0, width, 0, height);
  w.Rect(0, width, 0, height);
  w.U8(0);
  w.U8(0);
  w.U8(1);
  w.U16(100);  // five pixels
  w.UB(2, capBits);
  w.UB(2, join);
  w.UB(12, capBits);
  if (join == 2) w.U16(miterLimit);
  w.Rgba(0, 0, 0, 255);
  w.StyleBits(0, 1);
  w.StyleChange(true, x, y, -1, -1, 1);
  return w;
}

TEST(ShapeLine, CapsOfLineStyle2) {
  const auto render = [](std::uint8_t capBits) {
    SwfBits w = LineStyle2Shape(800, 400, capBits, 1, 0, 200, 200);
    w.Line(400, 0);
    w.EndShape();
    return RenderToImage(*Parse(w, 83), 40, 20, Quality::Low);
  };
  EXPECT_EQ(Pixel(render(1), 8, 10), kWhite);  // no cap: the line ends at x = 10 px
  EXPECT_EQ(Pixel(render(2), 8, 10), kBlack);  // square cap: half the width further
}

TEST(ShapeLine, MitersAreCutAtTheLimitTimesHalfTheWidth) {
  // A five-pixel line turning back up at 45 degrees at (10, 20): its full miter reaches
  // 6.5 pixels from the corner, down and to the left. A limit of 3 keeps all of it; a
  // limit of 1 cuts it square to the corner's bisector 2.5 pixels from the corner.
  const auto render = [](std::uint16_t limit) {
    SwfBits w = LineStyle2Shape(800, 600, 0, 2, static_cast<std::uint16_t>(limit << 8), 600, 400);
    w.Line(-400, 0);
    w.Line(400, -400);
    w.EndShape();
    return RenderToImage(*Parse(w, 83), 40, 30, Quality::Low);
  };
  const QImage full = render(3), cut = render(1);
  EXPECT_EQ(Pixel(full, 5, 21), kBlack);  // 4.7 pixels out along the bisector
  EXPECT_EQ(Pixel(cut, 5, 21), kWhite);
  EXPECT_EQ(Pixel(cut, 8, 21), kBlack);   // 2 pixels out: kept, past the bevel
  EXPECT_EQ(Pixel(full, 8, 21), kBlack);
}

TEST(ShapeLine, ScalingFlagsFollowTheOtherAxis) {
  // A vertical 1-pixel line scaled 5x horizontally and 1x vertically: it thickens to 5
  // pixels normally, but stays thin when it must not scale horizontally.
  const auto width = [](bool noHScale) {
    SwfBits w;
    w.U16(1);
    w.Rect(0, 200, 0, 400);
    w.Rect(0, 200, 0, 400);
    w.U8(0);
    w.U8(0);
    w.U8(1);
    w.U16(20);
    w.UB(2, 1);
    w.UB(2, 1);
    w.UB(1, 0);
    w.UB(1, noHScale);
    w.UB(10, 0);
    w.Rgba(0, 0, 0, 255);
    w.StyleBits(0, 1);
    w.StyleChange(true, 100, 0, -1, -1, 1);
    w.Line(0, 400);
    w.EndShape();
    auto shape = Parse(w, 83);
    QImage image(60, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    RenderContext context;
    context.painter = &painter;
    context.quality = Quality::Low;
    context.transform = QTransform::fromScale(5.0 / 20, 1.0 / 20);
    shape->Render(context);
    painter.end();
    int dark = 0;
    for (int x = 0; x < 60; ++x) dark += qRed(Pixel(image, x, 10)) < 128;
    return dark;
  };
  EXPECT_EQ(width(false), 5);
  EXPECT_EQ(width(true), 1);
}

// The distance from p to the quadratic curve from-control-to, measured on a fine walk.
double DistanceToCurve(QPointF p, QPointF from, QPointF control, QPointF to) {
  double best = 1e9;
  for (int i = 0; i <= 4000; ++i) {
    const double t = i / 4000.0, s = 1 - t;
    const QPointF q = s * s * from + 2 * s * t * control + t * t * to;
    best = std::min(best, std::hypot(q.x() - p.x(), q.y() - p.y()));
  }
  return best;
}

// The distance from p to the segment a-b.
double DistanceToSegment(QPointF p, QPointF a, QPointF b) {
  const QPointF d = b - a;
  const double length2 = d.x() * d.x() + d.y() * d.y();
  const double t = length2 > 0 ? std::clamp(((p - a).x() * d.x() + (p - a).y() * d.y()) / length2, 0.0, 1.0) : 0;
  const QPointF q = a + t * d;
  return std::hypot(q.x() - p.x(), q.y() - p.y());
}

// A line follows its curve as the player cuts it, a tenth of a pixel of the shape's own
// space, and at low quality a pixel is the line's when its centre lies within half the
// width of those pieces (round caps and joins). Centres a few hundredths of a pixel in
// or out must come out right: the player's pictures depend on them.
TEST(ShapeLine, LowQualityCurvedLineCoversTheCentresWithinHalfItsWidth) {
  const auto check = [](double scale) {
    SwfBits w;
    w.U16(1);
    w.Rect(0, 800, 0, 800);
    w.U8(0);
    w.U8(1);
    const auto twips = static_cast<std::uint16_t>(std::lround(20 / scale));  // about one device pixel
    const double half = twips * scale / 40;
    w.U16(twips);
    w.Rgb(0, 0, 0);
    w.StyleBits(0, 1);
    // A bend like a quarter circle, off the pixel grid.
    w.StyleChange(true, 47, 683, -1, -1, 1);
    w.Curve(0, -640, 619, 0);
    w.EndShape();
    const QImage image = RenderToImage(*Parse(w), 40, 40, Quality::Low, {}, 0, scale);
    std::vector<QPointF> pieces{QPointF(47, 683) * scale / 20};
    render::FlattenQuadratic(QPointF(47, 683), QPointF(47, 43), QPointF(666, 43), 2.0,
                             [&](QPointF p) { pieces.push_back(p * scale / 20); });
    int checked = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        double d = 1e9;
        for (std::size_t i = 1; i < pieces.size(); ++i)
          d = std::min(d, DistanceToSegment(QPointF(x + 0.5, y + 0.5), pieces[i - 1], pieces[i]));
        if (std::abs(d - half) < 0.01) continue;  // too close to the edge to call
        ++checked;
        EXPECT_EQ(Pixel(image, x, y), d < half ? kBlack : kWhite) << x << "," << y << " at " << d << ", scale " << scale;
      }
    }
    EXPECT_GT(checked, 1000);
  };
  check(1);
  check(1.37);
}

// Glyphs are shapes drawn at a small fraction of their size: their curves must still be
// cut finely enough that a low-quality picture fills exactly the centres inside them.
TEST(ShapeFill, CurvesDrawnSmallStayTrueToTheirCentres) {
  const double scale = 0.025;  // 20,000 twips across drawn 25 pixels across
  SwfBits w = ShapeHeader({kBlack}, 20000);
  w.StyleChange(true, 0, 20000, -1, 1);
  w.Curve(0, -20000, 20000, 0);
  w.Line(0, 20000);
  w.Line(-20000, 0);
  w.EndShape();
  const QImage image = RenderToImage(*Parse(w), 26, 26, Quality::Low, {}, 0, scale);
  const QPointF from(0, 25), control(0, 0), to(25, 0);
  int checked = 0;
  for (int y = 0; y < 25; ++y) {
    for (int x = 0; x < 25; ++x) {
      const QPointF centre(x + 0.5, y + 0.5);
      const double d = DistanceToCurve(centre, from, control, to);
      if (d < 0.005) continue;
      // Inside is below and right of the curve: x(t) = 25 t^2, y(t) = 25 (1 - t)^2.
      const double t = std::sqrt(centre.x() / 25);
      const double curveY = 25 * (1 - t) * (1 - t);
      ++checked;
      EXPECT_EQ(Pixel(image, x, y), centre.y() > curveY ? kBlack : kWhite) << x << "," << y << " at " << d;
    }
  }
  EXPECT_GT(checked, 500);
}

TEST(Shape, HitTestBoundsAndOutline) {
  SwfBits w = ShapeHeader({kRed});
  w.StyleChange(true, 0, 0, -1, 1);
  RectEdges(w, 400, 400);
  w.EndShape();
  auto shape = Parse(w);
  EXPECT_TRUE(shape->HitTest({100, 100}));
  EXPECT_FALSE(shape->HitTest({500, 100}));
  EXPECT_EQ(shape->Bounds(), QRectF(0, 0, 800, 800));
  EXPECT_EQ(shape->Outline().boundingRect(), QRectF(0, 0, 400, 400));
}

TEST(Shape, MalformedDataFailsOrDrawsWhatItHas) {
  SwfBits badFill;
  badFill.U16(1);
  badFill.Rect(0, 10, 0, 10);
  badFill.U8(1);
  badFill.U8(0x77);
  DefinitionContext context;
  std::string error;
  EXPECT_EQ(ParseDefinition(2, badFill.bytes, context, &error), nullptr);
  EXPECT_FALSE(error.empty());

  SwfBits cut = ShapeHeader({kRed});
  cut.StyleChange(true, 0, 0, -1, 1);
  RectEdges(cut, 400, 400);  // no end record
  cut.bytes.resize(cut.bytes.size() - 3);
  auto shape = Parse(cut);
  ASSERT_TRUE(shape);
  EXPECT_EQ(Pixel(RenderToImage(*shape, 30, 30), 10, 10), kRed);  // closed by assembly
  // A count larger than the data is refused rather than allocated.
  SwfBits huge;
  huge.U16(1);
  huge.Rect(0, 10, 0, 10);
  huge.U8(0xFF);
  huge.U16(0xFFFF);
  EXPECT_EQ(ParseDefinition(22, huge.bytes, context, &error), nullptr);
}

}  // namespace
}  // namespace vantrel::flash
