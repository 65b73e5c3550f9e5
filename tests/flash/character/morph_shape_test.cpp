#include "flash/character/morph_shape.h"

#include <gtest/gtest.h>

#include "flash/character/definition.h"
#include "flash/render_helpers.h"
#include "support/swf_shape_writer.h"

namespace vantrel::flash {
namespace {

using testing::Pixel;
using testing::RenderToImage;
using vantrel::testing::RectEdges;
using vantrel::testing::SwfBits;

// A 10 px red square at the origin morphing into a blue one at (20, 20) px; the end
// shape's top edge bows upwards as a curve when curvedEnd is set.
std::shared_ptr<MorphShape> MakeMorph(bool curvedEnd = false) {
  SwfBits start;
  start.StyleBits(1, 0);
  start.StyleChange(true, 0, 0, -1, 1);
  RectEdges(start, 200, 200);
  start.EndShape();
  SwfBits end;
  end.StyleBits(0, 0);
  end.StyleChange(true, 400, 400);
  if (curvedEnd) {
    end.Curve(100, -200, 100, 200);
  } else {
    end.Line(200, 0);
  }
  end.Line(0, 200);
  end.Line(-200, 0);
  end.Line(0, -200);
  end.EndShape();

  SwfBits w;
  w.U16(3);
  w.Rect(0, 200, 0, 200);
  w.Rect(400, 600, 400, 600);
  SwfBits styles;
  styles.U8(1);
  styles.U8(0);
  styles.Rgba(255, 0, 0, 255);
  styles.Rgba(0, 0, 255, 255);
  styles.U8(0);
  w.U32(static_cast<std::uint32_t>(styles.bytes.size() + start.bytes.size()));
  w.Bytes(styles.bytes);
  w.Bytes(start.bytes);
  w.Bytes(end.bytes);
  DefinitionContext context;
  std::string error;
  auto character = ParseDefinition(46, w.bytes, context, &error);
  EXPECT_TRUE(character) << error;
  return std::static_pointer_cast<MorphShape>(character);
}

TEST(MorphShape, InterpolatesEdgesAndColoursByRatio) {
  auto morph = MakeMorph();
  ASSERT_TRUE(morph);
  const QImage start = RenderToImage(*morph, 40, 40, Quality::High, {}, 0);
  EXPECT_EQ(Pixel(start, 5, 5), 0xFF0000u);
  EXPECT_EQ(Pixel(start, 25, 25), 0xFFFFFFu);

  const QImage end = RenderToImage(*morph, 40, 40, Quality::High, {}, 65535);
  EXPECT_EQ(Pixel(end, 5, 5), 0xFFFFFFu);
  EXPECT_EQ(Pixel(end, 25, 25), 0x0000FFu);

  const QImage half = RenderToImage(*morph, 40, 40, Quality::High, {}, 32768);
  EXPECT_EQ(Pixel(half, 5, 5), 0xFFFFFFu);
  EXPECT_TRUE(testing::Near(Pixel(half, 15, 15), 0x800080, 2));
  EXPECT_NEAR(morph->Bounds(32768).left(), 200, 0.1);
  EXPECT_NEAR(morph->Bounds(32768).width(), 200, 0.1);
  EXPECT_TRUE(morph->HitTest({300, 300}, 32768));
  EXPECT_FALSE(morph->HitTest({100, 100}, 32768));
}

TEST(MorphShape, StraightEdgeMorphsIntoACurve) {
  auto morph = MakeMorph(true);
  ASSERT_TRUE(morph);
  // At the end the top edge bulges up to y = 15 px in its middle.
  const QImage end = RenderToImage(*morph, 40, 40, Quality::Low, {}, 65535);
  EXPECT_EQ(Pixel(end, 25, 17), 0x0000FFu);
  const QImage start = RenderToImage(*morph, 40, 40, Quality::Low, {}, 0);
  EXPECT_EQ(Pixel(start, 5, 1), 0xFF0000u);
}

TEST(MorphShape, ShortEndShapeKeepsTheStartEdges) {
  auto morph = MakeMorph();
  morph->endOps.resize(2);  // one end edge only
  const ShapeGeometry& geometry = *morph->GeometryAt(65535);
  ASSERT_EQ(geometry.layers.size(), 1u);
  EXPECT_EQ(geometry.layers[0].fills.size(), 1u);
  // The first edge moved to the end shape's; the others stayed where they started.
  EXPECT_EQ(morph->DataAt(65535).ops[1].x, 600);
  EXPECT_EQ(morph->DataAt(65535).ops[2].y, 200);
}

}  // namespace
}  // namespace vantrel::flash
