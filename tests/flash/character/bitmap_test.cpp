#include "flash/character/bitmap.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <QBuffer>
#include <QPainter>
#include <cstdlib>

extern "C" {
#include <jpeglib.h>
}

#include "flash/character/definition.h"
#include "flash/character/loaded_image.h"
#include "flash/character/shape.h"
#include "flash/render_helpers.h"
#include "support/swf_shape_writer.h"

namespace vantrel::flash {
namespace {

using vantrel::testing::SwfBits;

std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::vector<std::uint8_t> out(size);
  compress(out.data(), &size, data.data(), static_cast<uLong>(data.size()));
  out.resize(size);
  return out;
}

// A width x height JPEG: left half red, right half blue.
std::vector<std::uint8_t> EncodeJpeg(int width, int height) {
  jpeg_compress_struct info;
  jpeg_error_mgr error;
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
  for (int x = 0; x < width; ++x) {
    const bool left = x < width / 2;
    row[3 * x] = left ? 255 : 0;
    row[3 * x + 1] = 0;
    row[3 * x + 2] = left ? 0 : 255;
  }
  while (info.next_scanline < info.image_height) {
    JSAMPROW line = row.data();
    jpeg_write_scanlines(&info, &line, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<std::uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&info);
  return out;
}

// Splits a JPEG as old authoring tools did: the quantisation and Huffman tables in
// their own SOI..EOI block, the frame and scan in another.
void SplitTables(const std::vector<std::uint8_t>& jpeg, std::vector<std::uint8_t>* tables,
                 std::vector<std::uint8_t>* image) {
  *tables = {0xFF, 0xD8};
  *image = {0xFF, 0xD8};
  std::size_t pos = 2;
  while (pos + 4 <= jpeg.size()) {
    const std::uint8_t marker = jpeg[pos + 1];
    if (marker == 0xDA) {
      image->insert(image->end(), jpeg.begin() + static_cast<std::ptrdiff_t>(pos), jpeg.end());
      break;
    }
    const std::size_t length = (jpeg[pos + 2] << 8) | jpeg[pos + 3];
    auto* target = marker == 0xDB || marker == 0xC4 ? tables : image;
    target->insert(target->end(), jpeg.begin() + static_cast<std::ptrdiff_t>(pos),
                   jpeg.begin() + static_cast<std::ptrdiff_t>(pos + 2 + length));
    pos += 2 + length;
  }
  tables->insert(tables->end(), {0xFF, 0xD9});
}

std::shared_ptr<Bitmap> ParseOk(std::uint16_t tag, const std::vector<std::uint8_t>& body,
                                DefinitionContext context = {}) {
  std::string error;
  auto character = ParseDefinition(tag, body, context, &error);
  EXPECT_TRUE(character) << error;
  return std::static_pointer_cast<Bitmap>(character);
}

bool NearRgb(QRgb pixel, int r, int g, int b, int tolerance = 12) {
  return std::abs(qRed(pixel) - r) <= tolerance && std::abs(qGreen(pixel) - g) <= tolerance &&
         std::abs(qBlue(pixel) - b) <= tolerance;
}

TEST(BitmapLossless, PaletteRowsArePaddedToFourBytes) {
  SwfBits w;
  w.U16(7);
  w.U8(3);
  w.U16(3);  // width 3: rows of 4 bytes
  w.U16(2);
  w.U8(1);  // two colours
  const std::vector<std::uint8_t> pixels{255, 0, 0, 0, 0, 255, 0, 1, 0, 7, 1, 0, 1, 7};
  w.Bytes(Deflate(pixels));
  auto bitmap = ParseOk(20, w.bytes);
  ASSERT_EQ(bitmap->image.size(), QSize(3, 2));
  EXPECT_EQ(bitmap->image.pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(bitmap->image.pixel(1, 0), qRgb(0, 0, 255));
  EXPECT_EQ(bitmap->image.pixel(0, 1), qRgb(0, 0, 255));
  EXPECT_EQ(bitmap->image.pixel(2, 1), qRgb(0, 0, 255));
}

TEST(BitmapLossless, FifteenAndTwentyFourBitPixels) {
  SwfBits w15;
  w15.U16(1);
  w15.U8(4);
  w15.U16(1);
  w15.U16(1);
  w15.Bytes(Deflate({0x7C, 0x00, 0, 0}));  // 0 11111 00000 00000: full red
  EXPECT_EQ(ParseOk(20, w15.bytes)->image.pixel(0, 0), qRgb(255, 0, 0));

  SwfBits w24;
  w24.U16(1);
  w24.U8(5);
  w24.U16(2);
  w24.U16(1);
  w24.Bytes(Deflate({0, 10, 20, 30, 0, 40, 50, 60}));
  auto bitmap = ParseOk(20, w24.bytes);
  EXPECT_EQ(bitmap->image.pixel(0, 0), qRgb(10, 20, 30));
  EXPECT_EQ(bitmap->image.pixel(1, 0), qRgb(40, 50, 60));
}

TEST(BitmapLossless, Lossless2KeepsPremultipliedAlpha) {
  SwfBits argb;
  argb.U16(1);
  argb.U8(5);
  argb.U16(1);
  argb.U16(1);
  argb.Bytes(Deflate({128, 100, 200, 0}));  // green above alpha is clamped
  auto bitmap = ParseOk(36, argb.bytes);
  const QRgb p = reinterpret_cast<const QRgb*>(bitmap->image.constScanLine(0))[0];
  EXPECT_EQ(qAlpha(p), 128);
  EXPECT_EQ(qRed(p), 100);
  EXPECT_EQ(qGreen(p), 128);

  SwfBits palette;
  palette.U16(1);
  palette.U8(3);
  palette.U16(1);
  palette.U16(1);
  palette.U8(0);
  palette.Bytes(Deflate({0, 0, 0, 0, 0, 0, 0, 0}));  // one transparent entry, one pixel
  auto clear = ParseOk(36, palette.bytes);
  EXPECT_EQ(qAlpha(clear->image.pixel(0, 0)), 0);
}

TEST(BitmapLossless, BrokenOrHugeDataLeavesAnEmptyBitmap) {
  DefinitionContext context;
  std::string error;
  const auto empty = [&](const SwfBits& w) {
    error.clear();
    auto character = ParseDefinition(20, w.bytes, context, &error);
    return character && character->id == 1 && static_cast<const Bitmap&>(*character).image.isNull() && !error.empty();
  };
  SwfBits huge;
  huge.U16(1);
  huge.U8(5);
  huge.U16(9000);
  huge.U16(2000);
  huge.Bytes(Deflate({0, 0, 0, 0}));
  EXPECT_TRUE(empty(huge));
  SwfBits broken;
  broken.U16(1);
  broken.U8(5);
  broken.U16(4);
  broken.U16(4);
  broken.Bytes({1, 2, 3, 4, 5, 6});
  EXPECT_TRUE(empty(broken));
  SwfBits format;
  format.U16(1);
  format.U8(9);
  format.U16(1);
  format.U16(1);
  EXPECT_TRUE(empty(format));
}

TEST(BitmapJpeg, Jpeg2WithStrayMarkersBeforeTheImage) {
  SwfBits w;
  w.U16(3);
  w.Bytes({0xFF, 0xD9, 0xFF, 0xD8});
  w.Bytes(EncodeJpeg(16, 8));
  auto bitmap = ParseOk(21, w.bytes);
  ASSERT_EQ(bitmap->image.size(), QSize(16, 8));
  EXPECT_TRUE(NearRgb(bitmap->image.pixel(2, 4), 255, 0, 0));
  EXPECT_TRUE(NearRgb(bitmap->image.pixel(13, 4), 0, 0, 255));
}

TEST(BitmapJpeg, DefineBitsTakesTheMovieTables) {
  std::vector<std::uint8_t> tables, image;
  SplitTables(EncodeJpeg(16, 8), &tables, &image);
  DefinitionContext context;
  context.jpegTables = tables;
  SwfBits w;
  w.U16(4);
  w.Bytes(image);
  auto bitmap = ParseOk(6, w.bytes, context);
  EXPECT_TRUE(NearRgb(bitmap->image.pixel(2, 4), 255, 0, 0));
  // Without the tables the image cannot be decoded.
  std::string error;
  DefinitionContext bare;
  auto broken = ParseDefinition(6, w.bytes, bare, &error);
  ASSERT_TRUE(broken);
  EXPECT_TRUE(static_cast<const Bitmap&>(*broken).image.isNull());
  EXPECT_FALSE(error.empty());
}

TEST(BitmapJpeg, Jpeg3AlphaIsPremultiplied) {
  const auto jpeg = EncodeJpeg(16, 8);
  std::vector<std::uint8_t> alpha(16 * 8, 255);
  for (int y = 0; y < 8; ++y) alpha[static_cast<std::size_t>(y) * 16] = 0;
  for (int y = 0; y < 8; ++y) alpha[static_cast<std::size_t>(y) * 16 + 2] = 128;
  for (std::uint16_t tag : {35, 90}) {
    SwfBits w;
    w.U16(5);
    w.U32(static_cast<std::uint32_t>(jpeg.size()));
    if (tag == 90) w.U16(0);
    w.Bytes(jpeg);
    w.Bytes(Deflate(alpha));
    auto bitmap = ParseOk(tag, w.bytes);
    const auto* line = reinterpret_cast<const QRgb*>(bitmap->image.constScanLine(4));
    EXPECT_EQ(line[0], 0u) << tag;
    EXPECT_EQ(qAlpha(line[2]), 128) << tag;
    EXPECT_LE(qRed(line[2]), 128) << tag;
    EXPECT_GE(qRed(line[2]), 116) << tag;
    EXPECT_EQ(qAlpha(line[5]), 255) << tag;
  }
}

TEST(BitmapJpeg, PngInsideJpeg2) {
  QImage source(4, 4, QImage::Format_ARGB32);
  source.fill(qRgba(0, 255, 0, 255));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  source.save(&buffer, "PNG");
  SwfBits w;
  w.U16(6);
  w.Bytes(std::vector<std::uint8_t>(png.begin(), png.end()));
  auto bitmap = ParseOk(21, w.bytes);
  EXPECT_EQ(bitmap->image.pixel(1, 1), qRgb(0, 255, 0));
}

std::vector<std::uint8_t> Encoded(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

TEST(LoadedImage, PicturesBecomeOneFrameMoviesOfTheirSize) {
  QImage source(7, 5, QImage::Format_ARGB32);
  source.fill(qRgba(0, 0, 255, 255));
  // Straight (255, 174, 49) at alpha 63: green premultiplies to 42.98, kept as 42.
  source.setPixel(2, 3, qRgba(255, 174, 49, 63));
  // (Qt writes no GIF; the corpus loads GIF 87a and 89a pictures.)
  for (const char* format : {"PNG", "JPEG"}) {
    std::string error;
    const auto movie = MovieFromImage(Encoded(source, format), &error);
    ASSERT_TRUE(movie) << format << ": " << error;
    EXPECT_EQ(movie->Width(), 7) << format;
    EXPECT_EQ(movie->Height(), 5) << format;
    EXPECT_EQ(movie->header.version, -1) << format;
    ASSERT_EQ(movie->root.frames.size(), 1u);
    const auto& commands = movie->root.frames[0].commands;
    ASSERT_EQ(commands.size(), 1u);
    const auto bitmap = std::dynamic_pointer_cast<Bitmap>(movie->dictionary.Find(*commands[0].place.characterId));
    ASSERT_TRUE(bitmap) << format;
    EXPECT_EQ(bitmap->image.size(), QSize(7, 5));
    if (std::string(format) == "PNG")
      EXPECT_EQ(reinterpret_cast<const QRgb*>(bitmap->image.constScanLine(3))[2], 0x3F3F2A0Cu) << "premultiplied down";
  }
}

TEST(LoadedImage, OtherOrBrokenDataIsRefusedWithAReason) {
  std::string error;
  EXPECT_FALSE(MovieFromImage(std::vector<std::uint8_t>{'F', 'W', 'S', 8}, &error));
  EXPECT_FALSE(error.empty());
  std::vector<std::uint8_t> png = Encoded(QImage(4, 4, QImage::Format_ARGB32), "PNG");
  png.resize(png.size() / 2);
  png[20] ^= 0xFF;  // the header's size, damaged
  error.clear();
  EXPECT_FALSE(MovieFromImage(png, &error));
  EXPECT_FALSE(error.empty());
}

TEST(BitmapFill, ShapesDrawBitmapsAtTheirMatrix) {
  SwfBits bits;
  bits.U16(9);
  bits.U8(5);
  bits.U16(2);
  bits.U16(1);
  bits.Bytes(Deflate({0, 255, 0, 0, 0, 0, 0, 255}));  // red, blue
  Dictionary dictionary;
  DefinitionContext context;
  context.dictionary = &dictionary;
  dictionary.Add(ParseDefinition(20, bits.bytes, context));

  // A 40x10 px rectangle filled with the 2x1 bitmap scaled to 10 px per bitmap pixel.
  SwfBits w;
  w.U16(1);
  w.Rect(0, 800, 0, 200);
  w.U8(1);
  w.U8(0x42);  // repeating, not smoothed
  w.U16(9);
  w.Matrix(200, 200);
  w.U8(0);
  w.StyleBits(1, 0);
  w.StyleChange(true, 0, 0, -1, 1);
  vantrel::testing::RectEdges(w, 800, 200);
  w.EndShape();
  auto shape = ParseDefinition(2, w.bytes, context);
  ASSERT_TRUE(shape);
  const QImage image = testing::RenderToImage(*shape, 40, 10);
  EXPECT_EQ(testing::Pixel(image, 5, 5), 0xFF0000u);
  EXPECT_EQ(testing::Pixel(image, 15, 5), 0x0000FFu);
  EXPECT_EQ(testing::Pixel(image, 25, 5), 0xFF0000u);  // repeats

  ColorTransform toGreen;
  toGreen.mulR = 0;
  toGreen.addG = 255;
  const QImage tinted = testing::RenderToImage(*shape, 40, 10, Quality::High, toGreen);
  EXPECT_EQ(testing::Pixel(tinted, 5, 5), 0x00FF00u);
  EXPECT_EQ(testing::Pixel(tinted, 15, 5), 0x00FFFFu);
}


TEST(BitmapDraw, ATurnedBitmapFillsItsTurnedSquare) {
  // A white 10x10 bitmap turned 45 degrees about its corner and moved to (15, 5): a
  // diamond with its top at (15, 5). Rows above its side corners cross only one of the
  // bitmap's left and right sides, so its top and bottom sides must close them.
  QImage white(10, 10, QImage::Format_ARGB32_Premultiplied);
  white.fill(0xFFFFFFFFu);
  QImage target(30, 30, QImage::Format_ARGB32_Premultiplied);
  target.fill(0);
  QPainter painter(&target);
  RenderContext context;
  context.painter = &painter;
  context.quality = Quality::Low;
  context.transform = QTransform::fromScale(1 / 20.0, 1 / 20.0) * QTransform().rotate(45) * QTransform::fromTranslate(15, 5);
  Bitmap::DrawImage(white, context, false);
  painter.end();
  EXPECT_EQ(target.pixel(15, 8), 0xFFFFFFFFu);   // near the top corner
  EXPECT_EQ(target.pixel(15, 16), 0xFFFFFFFFu);  // near the bottom corner
  EXPECT_EQ(qAlpha(target.pixel(25, 8)), 0);     // right of the top side
  EXPECT_EQ(qAlpha(target.pixel(4, 22)), 0);     // left of the bottom side
  EXPECT_EQ(qAlpha(target.pixel(15, 3)), 0);     // above the top corner
}
}  // namespace
}  // namespace vantrel::flash

namespace vantrel::flash {
namespace {

TEST(BitmapFill, SmoothedClippedFillsDoNotWrapAtTheEdges) {
  SwfBits bits;
  bits.U16(9);
  bits.U8(5);
  bits.U16(2);
  bits.U16(1);
  bits.Bytes(Deflate({0, 255, 0, 0, 0, 0, 0, 255}));  // red, blue
  Dictionary dictionary;
  DefinitionContext context;
  context.dictionary = &dictionary;
  dictionary.Add(ParseDefinition(20, bits.bytes, context));
  SwfBits w;
  w.U16(1);
  w.Rect(0, 800, 0, 400);
  w.U8(1);
  w.U8(0x41);  // clipped, smoothed
  w.U16(9);
  w.Matrix(400, 400);
  w.U8(0);
  w.StyleBits(1, 0);
  w.StyleChange(true, 0, 0, -1, 1);
  vantrel::testing::RectEdges(w, 800, 400);
  w.EndShape();
  auto shape = ParseDefinition(2, w.bytes, context);
  ASSERT_TRUE(shape);
  const QImage image = testing::RenderToImage(*shape, 40, 20);
  EXPECT_TRUE(NearRgb(image.pixel(0, 10), 255, 0, 0, 8));
  EXPECT_TRUE(NearRgb(image.pixel(39, 10), 0, 0, 255, 8));
  EXPECT_TRUE(NearRgb(image.pixel(20, 10), 128, 0, 128, 40));  // smoothed in the middle
}

}  // namespace
}  // namespace vantrel::flash
