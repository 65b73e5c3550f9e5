#include "flash/render/effects.h"

#include "flash/control/flash_control.h"
#include "support/swf_movie_writer.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <cstring>
#include <string>
#include <vector>

namespace vantrel::flash {
namespace {

constexpr std::uint32_t kRed = 0xffff0000u, kWhite = 0xffffffffu, kBlack = 0xff000000u, kGrey = 0xff808080u;

int Channel(std::uint32_t p, int shift) { return static_cast<int>((p >> shift) & 0xff); }

void ExpectNear(std::uint32_t actual, std::uint32_t expected, int tolerance = 1) {
  for (int shift : {24, 16, 8, 0})
    EXPECT_NEAR(Channel(actual, shift), Channel(expected, shift), tolerance)
        << std::hex << "actual " << actual << " expected " << expected;
}

std::uint8_t Mode(BlendMode mode) { return static_cast<std::uint8_t>(mode); }

TEST(BlendPixel, OpaqueSeparableModes) {
  ExpectNear(BlendPixel(Mode(BlendMode::Multiply), kGrey, kRed), 0xff800000u);
  ExpectNear(BlendPixel(Mode(BlendMode::Screen), kGrey, kBlack), kGrey);
  ExpectNear(BlendPixel(Mode(BlendMode::Screen), kGrey, kRed), 0xffff8080u);
  ExpectNear(BlendPixel(Mode(BlendMode::Lighten), kGrey, kRed), 0xffff8080u);
  ExpectNear(BlendPixel(Mode(BlendMode::Darken), kGrey, kRed), 0xff800000u);
  ExpectNear(BlendPixel(Mode(BlendMode::Difference), kWhite, kRed), 0xff00ffffu);
  ExpectNear(BlendPixel(Mode(BlendMode::Add), kGrey, kGrey), kWhite);
  ExpectNear(BlendPixel(Mode(BlendMode::Subtract), kGrey, kRed), 0xff7f0000u);
  // Overlay keys on the backdrop, hard light on the source.
  ExpectNear(BlendPixel(Mode(BlendMode::Overlay), 0xff404040u, kWhite), kWhite);
  ExpectNear(BlendPixel(Mode(BlendMode::HardLight), 0xff404040u, kWhite), 0xff808080u);
  ExpectNear(BlendPixel(Mode(BlendMode::Normal), kGrey, kRed), kGrey);
}

TEST(BlendPixel, TransparentSourceLeavesBackdropAndHalfAlphaMixes) {
  for (std::uint8_t mode = 1; mode <= 10; ++mode) ExpectNear(BlendPixel(mode, 0, 0xff123456u), 0xff123456u);
  // Half-transparent white multiplied over red keeps red; screened lifts it half way.
  ExpectNear(BlendPixel(Mode(BlendMode::Multiply), 0x80808080u, kRed), kRed);
  ExpectNear(BlendPixel(Mode(BlendMode::Screen), 0x80808080u, kBlack), 0xff808080u);
}

TEST(BlendPixel, LayerModesActOnTheBackdropAlpha) {
  ExpectNear(BlendPixel(Mode(BlendMode::Invert), kWhite, kRed), 0xff00ffffu);
  ExpectNear(BlendPixel(Mode(BlendMode::Invert), kWhite, 0), 0);  // nothing to invert
  ExpectNear(BlendPixel(Mode(BlendMode::Alpha), 0x80000000u, kRed), 0x80800000u);
  ExpectNear(BlendPixel(Mode(BlendMode::Erase), 0x80000000u, kRed), 0x7f7f0000u);
  ExpectNear(BlendPixel(Mode(BlendMode::Erase), kBlack, kRed), 0);
}

TEST(BlendInto, ClipsToTargetAndKeepsOpaqueTargetsOpaque) {
  QImage target(4, 4, QImage::Format_RGB32);
  target.fill(QColor(255, 0, 0));
  QImage layer(4, 4, QImage::Format_ARGB32_Premultiplied);
  layer.fill(QColor(128, 128, 128));
  BlendInto(target, QPoint(2, 2), layer, Mode(BlendMode::Multiply));
  EXPECT_EQ(target.pixel(1, 1), kRed);
  ExpectNear(target.pixel(3, 3), 0xff800000u);
}

QImage Square(int size, int inset, QColor color) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.fillRect(QRect(inset, inset, size - 2 * inset, size - 2 * inset), color);
  return image;
}

TEST(BoxBlur, SpreadsEdgesAndKeepsFlatAreas) {
  QImage image = Square(20, 5, Qt::black);
  BoxBlur(image, 5, 5, 1);
  EXPECT_EQ(qAlpha(image.pixel(10, 10)), 255);  // deep inside stays solid
  EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);      // beyond the radius stays clear
  const int edge = qAlpha(image.pixel(5, 10));
  EXPECT_GT(edge, 100);
  EXPECT_LT(edge, 200);
  EXPECT_GT(qAlpha(image.pixel(3, 10)), 0);
  // More passes reach further.
  QImage twice = Square(20, 5, Qt::black);
  BoxBlur(twice, 5, 5, 2);
  EXPECT_GT(qAlpha(twice.pixel(1, 10)), 0);
  EXPECT_EQ(qAlpha(image.pixel(1, 10)), 0);
}

// The player's box is as wide as the blur, its outermost pixels weighed by what is
// left over, and its results rounded down: a step from black to white blurred 2 pixels
// wide reads 63 and 191 beside the edge, 3 wide 85 and 170. Widths keep five bits below
// their leading one: 2.1 blurs as 2.0625 (65 and 189, the reference player's values).
TEST(BoxBlur, FractionalWidthsWeighTheOuterPixels) {
  const auto stepAfter = [](double width) {
    QImage image(12, 1, QImage::Format_ARGB32_Premultiplied);
    for (int x = 0; x < 12; ++x) image.setPixel(x, 0, x < 6 ? 0xff000000u : 0xffffffffu);
    BoxBlur(image, width, 1, 1);
    return std::vector<int>{qRed(image.pixel(4, 0)), qRed(image.pixel(5, 0)), qRed(image.pixel(6, 0)),
                            qRed(image.pixel(7, 0))};
  };
  EXPECT_EQ(stepAfter(1), (std::vector<int>{0, 0, 255, 255}));
  EXPECT_EQ(stepAfter(2), (std::vector<int>{0, 63, 191, 255}));
  EXPECT_EQ(stepAfter(3), (std::vector<int>{0, 85, 170, 255}));
  EXPECT_EQ(stepAfter(2.1), (std::vector<int>{0, 65, 189, 255}));
  EXPECT_EQ(stepAfter(4), (std::vector<int>{31, 95, 159, 223}));
}

Filter MakeFilter(std::uint8_t type, std::vector<std::uint8_t> data) { return Filter{type, std::move(data)}; }

void PutFixed(std::vector<std::uint8_t>& out, double value) {
  const auto v = static_cast<std::uint32_t>(static_cast<std::int32_t>(value * 65536));
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::vector<std::uint8_t> DropShadowBytes(double blur, double angle, double distance, std::uint8_t flags) {
  std::vector<std::uint8_t> data{0, 0, 255, 255};  // blue, opaque
  PutFixed(data, blur);
  PutFixed(data, blur);
  PutFixed(data, angle);
  PutFixed(data, distance);
  data.push_back(0);  // strength 1.0 as 8.8
  data.push_back(1);
  data.push_back(flags);
  return data;
}

TEST(DecodeFilter, ReadsFieldsAndRejectsShortRecords) {
  FilterParams params;
  ASSERT_TRUE(DecodeFilter(MakeFilter(0, DropShadowBytes(4, 0.5, 6, 0x20 | 3)), params));
  EXPECT_DOUBLE_EQ(params.blurX, 4);
  EXPECT_DOUBLE_EQ(params.distance, 6);
  EXPECT_DOUBLE_EQ(params.strength, 1);
  EXPECT_EQ(params.passes, 3);
  EXPECT_TRUE(params.compositeSource);
  EXPECT_FALSE(params.inner);
  ASSERT_EQ(params.colors.size(), 1u);
  EXPECT_EQ(params.colors[0].b, 255);
  std::vector<std::uint8_t> blur;
  PutFixed(blur, 10);
  PutFixed(blur, 2);
  blur.push_back(2 << 3);
  ASSERT_TRUE(DecodeFilter(MakeFilter(1, blur), params));
  EXPECT_EQ(params.passes, 2);
  EXPECT_DOUBLE_EQ(params.blurY, 2);
  blur.pop_back();
  EXPECT_FALSE(DecodeFilter(MakeFilter(1, blur), params));
  EXPECT_FALSE(DecodeFilter(MakeFilter(9, blur), params));
  // A gradient record whose colour count runs past its bytes.
  EXPECT_FALSE(DecodeFilter(MakeFilter(4, {200, 1, 2, 3}), params));
}

TEST(FilterMargins, GrowByBlurAndOffsetAndScale) {
  FilterParams shadow;
  shadow.type = 0;
  shadow.blurX = shadow.blurY = 4;
  shadow.passes = 2;
  shadow.distance = 5;
  const QMargins one = FilterMargins({shadow}, 1);
  EXPECT_EQ(one.left(), 2 * 2 + 5);
  EXPECT_EQ(one.top(), 2 * 2);
  const QMargins doubled = FilterMargins({shadow}, 2);
  // At twice the size the blur of 4 is 7 pixels wide: 3 on each side per pass.
  EXPECT_EQ(doubled.left(), 3 * 2 + 10);
  FilterParams matrix;
  matrix.type = 6;
  EXPECT_EQ(FilterMargins({matrix}, 1), QMargins());
}

TEST(ApplyFilters, DropShadowFallsOnTheFarSideUnlessHidden) {
  FilterParams shadow;
  ASSERT_TRUE(DecodeFilter(MakeFilter(0, DropShadowBytes(0, 0, 4, 0x20 | 1)), shadow));
  QImage layer = Square(20, 6, Qt::red);
  ApplyFilters(layer, {shadow}, 1);
  EXPECT_EQ(layer.pixel(10, 10), kRed);          // the object stays on top
  EXPECT_EQ(layer.pixel(16, 10), 0xff0000ffu);   // shadow to the right (angle 0)
  EXPECT_EQ(qAlpha(layer.pixel(3, 10)), 0);      // nothing to the left
  // Knockout keeps only the shadow outside the object.
  ASSERT_TRUE(DecodeFilter(MakeFilter(0, DropShadowBytes(0, 0, 4, 0x40 | 0x20 | 1)), shadow));
  QImage knocked = Square(20, 6, Qt::red);
  ApplyFilters(knocked, {shadow}, 1);
  EXPECT_EQ(qAlpha(knocked.pixel(10, 10)), 0);
  EXPECT_EQ(knocked.pixel(16, 10), 0xff0000ffu);
  // Hidden object: the whole shadow, the object gone.
  ASSERT_TRUE(DecodeFilter(MakeFilter(0, DropShadowBytes(0, 0, 4, 1)), shadow));
  QImage hidden = Square(20, 6, Qt::red);
  ApplyFilters(hidden, {shadow}, 1);
  EXPECT_EQ(hidden.pixel(12, 10), 0xff0000ffu);
  // An inner shadow falls inside the object's near edge; hiding the object leaves the
  // shadow alone there, as knockout does, and nothing where no shadow falls.
  for (const std::uint8_t flags : {0x80 | 0x20 | 1, 0x80 | 1, 0x80 | 0x40 | 0x20 | 1}) {
    ASSERT_TRUE(DecodeFilter(MakeFilter(0, DropShadowBytes(0, 0, 4, static_cast<std::uint8_t>(flags))), shadow));
    QImage inner = Square(20, 6, Qt::red);
    ApplyFilters(inner, {shadow}, 1);
    const bool objectShown = flags == (0x80 | 0x20 | 1);
    EXPECT_EQ(inner.pixel(7, 10), 0xff0000ffu) << flags;
    EXPECT_EQ(inner.pixel(12, 10), objectShown ? kRed : 0u) << flags;
    EXPECT_EQ(qAlpha(inner.pixel(3, 10)), 0) << flags;
  }
}

TEST(ApplyFilters, AHalfTransparentObjectIsDrawnOverItsWholeShadow) {
  // Unblurred and not moved, the shadow lies right under the object: the object at half
  // alpha over the shadow at half alpha covers three quarters. Knockout cuts the shadow
  // down by the object's alpha instead.
  FilterParams shadow;
  ASSERT_TRUE(DecodeFilter(MakeFilter(0, DropShadowBytes(0, 0, 0, 0x20 | 1)), shadow));
  QImage layer = Square(20, 6, QColor(255, 0, 0, 128));
  ApplyFilters(layer, {shadow}, 1);
  ExpectNear(layer.pixel(10, 10), 0xc0800040u, 2);
  ASSERT_TRUE(DecodeFilter(MakeFilter(0, DropShadowBytes(0, 0, 0, 0x40 | 0x20 | 1)), shadow));
  QImage knocked = Square(20, 6, QColor(255, 0, 0, 128));
  ApplyFilters(knocked, {shadow}, 1);
  ExpectNear(knocked.pixel(10, 10), 0x40000040u, 2);
}

TEST(ApplyFilters, AnInnerEffectKeepsTheObjectsAlpha) {
  // Inside a half-transparent object the inner shadow lies on the object: full shadow
  // replaces the object's colour, the object's alpha stays.
  FilterParams shadow;
  ASSERT_TRUE(DecodeFilter(MakeFilter(0, DropShadowBytes(0, 0, 4, 0x80 | 0x20 | 1)), shadow));
  QImage layer = Square(20, 6, QColor(255, 0, 0, 128));
  ApplyFilters(layer, {shadow}, 1);
  ExpectNear(layer.pixel(7, 10), 0x80000080u, 1);
  EXPECT_NEAR(qAlpha(layer.pixel(12, 10)), 128, 1);
  EXPECT_EQ(qAlpha(layer.pixel(3, 10)), 0);
}

TEST(ApplyFilters, AFullBevelWithKnockoutKeepsTheBevelOverTheObjectsArea) {
  FilterParams bevel;
  bevel.type = 3;
  bevel.colors = {Rgba{255, 0, 255, 255}, Rgba{0, 0, 255, 255}};  // highlight, shadow
  bevel.blurX = bevel.blurY = 1;
  bevel.distance = 1;
  bevel.onTop = true;
  bevel.knockout = true;
  QImage layer = Square(20, 4, Qt::black);  // the object covers 4..15
  ApplyFilters(layer, {bevel}, 1);
  EXPECT_EQ(qAlpha(layer.pixel(10, 10)), 0) << "the object is gone";
  EXPECT_EQ(qAlpha(layer.pixel(15, 10)), 255) << "the bevel inside its edge stays";
  EXPECT_EQ(qAlpha(layer.pixel(16, 10)), 255) << "and outside it";
}

TEST(ApplyFilters, AnInnerBevelsBandIsTheDistanceWideOnAScaledStage) {
  FilterParams bevel;
  bevel.type = 3;
  bevel.colors = {Rgba{255, 0, 255, 255}, Rgba{0, 0, 255, 255}};  // highlight, shadow
  bevel.blurX = bevel.blurY = 1;  // no blur
  bevel.distance = 1;
  bevel.inner = true;
  // Lit from the left (angle 0): the band along the right edge is one colour, the one
  // along the left edge the other; each is distance x scale pixels wide.
  const auto band = [&](double scale) {
    QImage layer = Square(20, 4, Qt::black);
    ApplyFilters(layer, {bevel}, scale);
    const std::uint32_t right = layer.pixel(15, 10);
    int width = 0;
    while (width < 8 && layer.pixel(15 - width, 10) == right) ++width;
    EXPECT_NE(right, kBlack);
    EXPECT_NE(layer.pixel(4, 10), right) << "the other edge takes the other colour";
    EXPECT_EQ(layer.pixel(10, 10), kBlack) << "the middle is left alone";
    return width;
  };
  EXPECT_EQ(band(1), 1);
  EXPECT_EQ(band(2), 2);
  EXPECT_EQ(band(3), 3);
}

TEST(ApplyFilters, ColorMatrixSwapsChannels) {
  FilterParams params;
  params.type = 6;
  params.matrix = {0, 0, 1, 0, 0,  0, 1, 0, 0, 0,  1, 0, 0, 0, 0,  0, 0, 0, 1, 0};
  QImage layer = Square(4, 0, Qt::red);
  ApplyFilters(layer, {params}, 1);
  EXPECT_EQ(layer.pixel(1, 1), 0xff0000ffu);
}

TEST(ApplyFilters, ConvolutionIdentityAndBias) {
  FilterParams params;
  params.type = 5;
  params.matrixX = params.matrixY = 3;
  params.matrix = {0, 0, 0, 0, 1, 0, 0, 0, 0};
  params.divisor = 1;
  params.bias = 0;
  params.preserveAlpha = true;
  QImage layer = Square(6, 0, QColor(10, 20, 30));
  ApplyFilters(layer, {params}, 1);
  EXPECT_EQ(layer.pixel(2, 2), qRgb(10, 20, 30));
  params.bias = 100;
  ApplyFilters(layer, {params}, 1);
  EXPECT_EQ(layer.pixel(0, 0), qRgb(110, 120, 130));
}

// A band of the frame filters only the rows it shows: those rows must come out as
// they do when the whole layer is filtered, for every kind of filter and for chains
// (each filter before the last works on the rows the next one reads).
TEST(ApplyFilters, RowsAskedForComeOutAsInTheWholeLayer) {
  QImage source(61, 53, QImage::Format_ARGB32_Premultiplied);
  source.fill(Qt::transparent);
  {
    QPainter painter(&source);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(200, 40, 90));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(9.5, 7.25, 38, 31));
    painter.setBrush(QColor(20, 160, 60, 180));
    painter.drawEllipse(QRectF(25, 20, 27, 26));
  }
  FilterParams blur;
  blur.type = 1;
  blur.blurX = 5.5;
  blur.blurY = 7.25;
  blur.passes = 3;
  FilterParams glow;
  glow.type = 2;
  glow.colors = {Rgba{255, 255, 0, 255}};
  glow.blurX = glow.blurY = 6;
  glow.passes = 2;
  glow.strength = 1.5;
  FilterParams shadow = glow;
  shadow.type = 0;
  shadow.angle = 1.1;
  shadow.distance = 4;
  shadow.inner = true;
  shadow.knockout = true;
  FilterParams bevel;
  bevel.type = 3;
  bevel.colors = {Rgba{255, 255, 255, 255}, Rgba{0, 0, 0, 255}};
  bevel.blurX = bevel.blurY = 4;
  bevel.passes = 1;
  bevel.distance = 3;
  bevel.angle = 0.8;
  bevel.strength = 1;
  FilterParams convolution;
  convolution.type = 5;
  convolution.matrixX = 3;
  convolution.matrixY = 5;
  convolution.matrix = {1, 0, -1, 2, 0, -2, 1, 3, -1, 0, 1, 0, 1, 2, 1};
  convolution.divisor = 4;
  convolution.clamp = true;
  FilterParams matrix;
  matrix.type = 6;
  matrix.matrix = {0.5, 0.5, 0, 0, 10, 0, 1, 0, 0, 0, 0.2, 0, 0.8, 0, 0, 0, 0, 0, 1, 0};
  const std::vector<std::vector<FilterParams>> chains = {
      {blur}, {glow}, {shadow}, {bevel}, {convolution}, {matrix}, {blur, bevel, convolution}, {convolution, glow, matrix}};
  for (std::size_t c = 0; c < chains.size(); ++c) {
    for (const double scale : {1.0, 1.7}) {
      QImage whole = source.copy();
      ApplyFilters(whole, chains[c], scale);
      for (const auto& [first, last] : {std::pair{0, 12}, std::pair{20, 21}, std::pair{30, 53}, std::pair{17, 40}}) {
        QImage part = source.copy();
        ApplyFilters(part, chains[c], scale, first, last);
        for (int y = first; y < last; ++y)
          ASSERT_EQ(std::memcmp(whole.constScanLine(y), part.constScanLine(y), static_cast<std::size_t>(whole.bytesPerLine())), 0)
              << "chain " << c << " scale " << scale << " rows " << first << ".." << last << ": row " << y;
      }
    }
  }
  // The rows away from those asked for are left (not worth filtering): the test above
  // would prove nothing if the range were ignored.
  QImage part = source.copy();
  ApplyFilters(part, {blur}, 1, 0, 5);
  QImage whole = source.copy();
  ApplyFilters(whole, {blur}, 1);
  EXPECT_NE(std::memcmp(whole.constScanLine(40), part.constScanLine(40), static_cast<std::size_t>(whole.bytesPerLine())), 0);
}

// How far a filtered pixel depends on the rows around it: a convolution does not grow
// the layer, but its kernel still reads rows above and below.
TEST(FilterRowReach, CountsBlurOffsetsAndKernels) {
  FilterParams shadow;
  shadow.type = 0;
  shadow.blurX = shadow.blurY = 4;
  shadow.passes = 2;
  shadow.distance = 5;
  shadow.angle = 1.5707963267948966;  // straight down
  EXPECT_EQ(FilterRowReach({shadow}, 1), FilterMargins({shadow}, 1).top());
  FilterParams convolution;
  convolution.type = 5;
  convolution.matrixX = 3;
  convolution.matrixY = 7;
  EXPECT_EQ(FilterMargins({convolution}, 1), QMargins());
  EXPECT_EQ(FilterRowReach({convolution}, 1), 3);
  EXPECT_EQ(FilterRowReach({shadow, convolution}, 1), FilterMargins({shadow}, 1).top() + 3);
}

// PlaceObject3 of character id at depth with a blend mode (0: none) and filters.
testing::Bytes PlaceObject3(std::uint16_t depth, std::uint16_t id, int blendMode, const std::vector<Filter>& filters) {
  testing::Bytes body;
  body.push_back(0x02 | 0x04);  // character, matrix
  body.push_back(static_cast<std::uint8_t>((blendMode > 0 ? 0x02 : 0) | (filters.empty() ? 0 : 0x01)));
  testing::PutU16(body, depth);
  testing::PutU16(body, id);
  testing::PutBytes(body, testing::MatrixRecord(0, 0));
  if (!filters.empty()) {
    body.push_back(static_cast<std::uint8_t>(filters.size()));
    for (const Filter& filter : filters) {
      body.push_back(filter.type);
      testing::PutBytes(body, filter.data);
    }
  }
  if (blendMode > 0) body.push_back(static_cast<std::uint8_t>(blendMode));
  return testing::Tag(70, body);
}

QImage RenderStage(const testing::Bytes& tags, QSize size = QSize(100, 100)) {
  testing::Bytes all = testing::SetBackgroundColor(255, 255, 255);
  testing::PutBytes(all, tags);
  testing::PutBytes(all, testing::ShowFrame());
  testing::PutBytes(all, testing::End());
  FlashControl control;
  EXPECT_TRUE(control.LoadMovieData(testing::MakeMovie(all, 100, 100, 1, 8)));
  QImage image(size, QImage::Format_RGB32);
  control.PaintTo(image);
  return image;
}

TEST(RendererEffects, BlendModesMixWithWhatIsBelow) {
  testing::Bytes tags = testing::DefineRectangle(1, 0, 0, 2000, 2000, 255, 0, 0);    // red stage
  testing::PutBytes(tags, testing::DefineRectangle(2, 0, 0, 1000, 2000, 128, 128, 128));  // grey left half
  testing::PutBytes(tags, testing::PlaceObject2([] { testing::Place p; p.character = 1; p.hasMatrix = true; return p; }()));
  testing::PutBytes(tags, PlaceObject3(2, 2, static_cast<int>(BlendMode::Multiply), {}));
  const QImage multiplied = RenderStage(tags);
  ExpectNear(multiplied.pixel(25, 50), 0xff800000u);
  EXPECT_EQ(multiplied.pixel(75, 50), kRed);
  // Alpha and erase outside a layer leave the stage alone.
  tags.resize(tags.size() - PlaceObject3(2, 2, 3, {}).size());
  testing::PutBytes(tags, PlaceObject3(2, 2, static_cast<int>(BlendMode::Erase), {}));
  EXPECT_EQ(RenderStage(tags).pixel(25, 50), kRed);
}

TEST(RendererEffects, DropShadowDrawsBeyondTheObjectAndScalesWithTheStage) {
  testing::Bytes tags = testing::DefineRectangle(1, 400, 400, 800, 800, 255, 0, 0);  // 20..60 px
  const Filter shadow = MakeFilter(0, DropShadowBytes(0, 0, 10, 0x20 | 1));
  testing::PutBytes(tags, PlaceObject3(1, 1, 0, {shadow}));
  const QImage image = RenderStage(tags);
  EXPECT_EQ(image.pixel(40, 40), kRed);
  EXPECT_EQ(image.pixel(65, 40), 0xff0000ffu);  // shadow 10 px right, past the object's bounds
  EXPECT_EQ(image.pixel(75, 40), kWhite);
  // On a stage shown twice as large the shadow moves 20 px.
  const QImage large = RenderStage(tags, QSize(200, 200));
  EXPECT_EQ(large.pixel(135, 80), 0xff0000ffu);
  EXPECT_EQ(large.pixel(150, 80), kWhite);
}

TEST(RendererEffects, AfterAFramePastTheDrawingBudgetLaterFramesGetLess) {
  // Right (40..100 px), drawn first: a box with one strong blur, within the budget, not
  // within a sixteenth of it. Left (0..20 px): a box whose twelve strong blurs cost more
  // than a drawing may spend.
  std::vector<std::uint8_t> blur;
  PutFixed(blur, 100);
  PutFixed(blur, 100);
  blur.push_back(15 << 3);
  testing::Bytes tags = testing::DefineRectangle(1, 0, 0, 400, 2000, 255, 0, 0);
  testing::PutBytes(tags, testing::DefineRectangle(2, 800, 0, 1200, 2000, 255, 0, 0));
  testing::PutBytes(tags, PlaceObject3(1, 2, 0, {MakeFilter(1, blur)}));
  testing::PutBytes(tags, PlaceObject3(2, 1, 0, std::vector<Filter>(12, MakeFilter(1, blur))));
  testing::Bytes all = testing::SetBackgroundColor(255, 255, 255);
  testing::PutBytes(all, tags);
  testing::PutBytes(all, testing::ShowFrame());
  testing::PutBytes(all, testing::ShowFrame());
  testing::PutBytes(all, testing::End());
  const testing::Bytes movie = testing::MakeMovie(all, 100, 100, 2, 8);
  FlashControl control;
  std::vector<std::string> said;
  control.OnScriptStopped = [&](const std::string& message) { said.push_back(message); };
  QImage image(100, 100, QImage::Format_RGB32);
  for (int load = 0; load < 2; ++load) {
    ASSERT_TRUE(control.LoadMovieData(movie));
    control.PaintTo(image);
    EXPECT_EQ(image.pixel(10, 50), kRed);  // drawn without its filters
    EXPECT_LT(qGreen(image.pixel(70, 50)), 255);  // blurred: faint red
    EXPECT_GT(qGreen(image.pixel(70, 50)), 0);
    control.GotoFrame(1);
    control.PaintTo(image);
    EXPECT_EQ(image.pixel(10, 50), kRed);
    EXPECT_EQ(image.pixel(70, 50), kRed);  // the small budget leaves its blur out
  }
  // Said once per movie; a new movie starts with the whole budget.
  ASSERT_EQ(said.size(), 2u);
  EXPECT_NE(said[0].find("filters and blend modes"), std::string::npos);
}

}  // namespace
}  // namespace vantrel::flash
