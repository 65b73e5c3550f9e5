#include "flash/character/bitmap.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>

#include "flash/character/style.h"
#include "flash/raster/paints.h"
#include "flash/raster/target.h"
#include "flash/swf/stream.h"

namespace vantrel::flash {
namespace {

bool SameTransform(const ColorTransform& a, const ColorTransform& b) {
  return a.mulR == b.mulR && a.mulG == b.mulG && a.mulB == b.mulB && a.mulA == b.mulA && a.addR == b.addR &&
         a.addG == b.addG && a.addB == b.addB && a.addA == b.addA;
}

bool SizeAllowed(int width, int height) {
  return width > 0 && height > 0 && static_cast<std::int64_t>(width) * height <= kMaxBitmapPixels;
}

std::uint8_t Premultiply(int channel, int alpha) { return static_cast<std::uint8_t>((channel * alpha + 127) / 255); }

// Applies zlib-compressed alpha (one byte per pixel) to an opaque image.
void ApplyAlpha(QImage& image, std::span<const std::uint8_t> compressed) {
  const std::size_t count = static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height());
  std::vector<std::uint8_t> alpha;
  InflateBounded(compressed, count, &alpha);
  if (alpha.empty()) return;  // no usable alpha: the image stays opaque
  alpha.resize(count, 255);
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    const std::uint8_t* a = alpha.data() + static_cast<std::size_t>(y) * image.width();
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = line[x];
      const int av = a[x];
      line[x] = qRgba(Premultiply(qRed(p), av), Premultiply(qGreen(p), av), Premultiply(qBlue(p), av), av);
    }
  }
}

std::shared_ptr<Bitmap> ParseLossless(std::span<const std::uint8_t> body, bool withAlpha, std::string* error) {
  SwfStream in(body);
  auto bitmap = std::make_shared<Bitmap>();
  bitmap->id = in.U16();
  const int format = in.U8();
  const int width = in.U16();
  const int height = in.U16();
  if (in.Overrun() || !SizeAllowed(width, height)) {
    if (error) *error = "bad bitmap size in bitmap " + std::to_string(bitmap->id);
    return nullptr;
  }
  std::size_t tableSize = 0, rowBytes = 0;
  const std::size_t entryBytes = withAlpha ? 4 : 3;
  switch (format) {
    case 3:
      tableSize = static_cast<std::size_t>(in.U8()) + 1;
      rowBytes = (static_cast<std::size_t>(width) + 3) & ~std::size_t{3};
      break;
    case 4:
      rowBytes = (static_cast<std::size_t>(width) * 2 + 3) & ~std::size_t{3};
      break;
    case 5:
      rowBytes = static_cast<std::size_t>(width) * 4;
      break;
    default:
      if (error) *error = "unknown bitmap format " + std::to_string(format);
      return nullptr;
  }
  const std::size_t tableBytes = tableSize * entryBytes;
  const std::size_t expected = tableBytes + rowBytes * static_cast<std::size_t>(height);
  std::vector<std::uint8_t> pixels;
  InflateBounded(in.Rest(), expected, &pixels);
  if (pixels.empty()) {
    if (error) *error = "bad zlib data in bitmap " + std::to_string(bitmap->id);
    return nullptr;
  }
  pixels.resize(expected, 0);  // a short stream leaves the rest transparent
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) {
    if (error) *error = "out of memory for bitmap";
    return nullptr;
  }
  std::vector<QRgb> table(256, 0);
  for (std::size_t i = 0; i < tableSize; ++i) {
    const std::uint8_t* e = pixels.data() + i * entryBytes;
    if (withAlpha) {  // premultiplied already; keep the channels within alpha
      const int a = e[3];
      table[i] = qRgba(std::min<int>(e[0], a), std::min<int>(e[1], a), std::min<int>(e[2], a), a);
    } else {
      table[i] = qRgba(e[0], e[1], e[2], 255);
    }
  }
  const std::uint8_t* data = pixels.data() + tableBytes;
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    const std::uint8_t* row = data + rowBytes * static_cast<std::size_t>(y);
    for (int x = 0; x < width; ++x) {
      if (format == 3) {
        line[x] = table[row[x]];
      } else if (format == 4) {
        const int v = (row[2 * x] << 8) | row[2 * x + 1];
        const auto expand = [](int c) { return (c << 3) | (c >> 2); };
        line[x] = qRgba(expand((v >> 10) & 31), expand((v >> 5) & 31), expand(v & 31), 255);
      } else {
        const std::uint8_t* p = row + 4 * x;
        if (withAlpha) {
          const int a = p[0];
          line[x] = qRgba(std::min<int>(p[1], a), std::min<int>(p[2], a), std::min<int>(p[3], a), a);
        } else {
          line[x] = qRgba(p[1], p[2], p[3], 255);
        }
      }
    }
  }
  bitmap->image = std::move(image);
  return bitmap;
}

}  // namespace

bool InflateBounded(std::span<const std::uint8_t> in, std::size_t maxSize, std::vector<std::uint8_t>* out) {
  out->assign(maxSize, 0);
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) {
    out->clear();
    return false;
  }
  stream.next_in = const_cast<Bytef*>(in.data());
  stream.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), 0xFFFFFFFFu));
  stream.next_out = out->data();
  stream.avail_out = static_cast<uInt>(maxSize);
  int status = Z_OK;
  while (status == Z_OK && stream.avail_out > 0) status = inflate(&stream, Z_NO_FLUSH);
  const std::size_t produced = maxSize - stream.avail_out;
  inflateEnd(&stream);
  out->resize(produced);
  return status == Z_STREAM_END || (status == Z_OK && stream.avail_out == 0);
}

void Bitmap::Render(const RenderContext& context) const { DrawImage(image, context, true); }

void Bitmap::DrawImage(const QImage& image, const RenderContext& context, bool smooth) {
  if (!context.painter || image.isNull()) return;
  // Drawn as a rectangle filled with the bitmap (clamped at its edges), so its edges
  // sample like a shape's and its colours go through the same colour maths.
  const QTransform toDevice = QTransform::fromScale(20, 20) * context.transform;
  const render::PainterTarget target(*context.painter, toDevice.mapRect(QRectF(image.rect())));
  if (!target.Valid()) return;
  const QTransform toTarget = toDevice * target.FromDevice();
  render::EdgeList edges(toTarget);
  const QRectF box(image.rect());
  // All four sides: a turned bitmap's top and bottom are slanted edges too.
  edges.AddLine(box.topLeft(), box.bottomLeft(), 0, 1);
  edges.AddLine(box.topRight(), box.bottomRight(), 1, 0);
  edges.AddLine(box.topRight(), box.topLeft(), 0, 1);
  edges.AddLine(box.bottomLeft(), box.bottomRight(), 0, 1);
  const int samples = render::SamplesPerAxis(static_cast<int>(context.quality));
  if (context.asMask) {
    // A bitmap masks with its whole rectangle.
    const render::SolidPaint opaque(0xff000000u);
    const render::Paint* paints[] = {&opaque};
    render::FillEdges(target.Get(), edges.Edges(), paints, render::FillRule::EvenOdd, samples);
    return;
  }
  const render::BitmapPaint paint(image, toTarget, false, smooth && context.quality == Quality::High,
                                  render::FixedColorTransform::From(context.colorTransform));
  const render::Paint* paints[] = {&paint};
  render::FillEdges(target.Get(), edges.Edges(), paints, render::FillRule::EvenOdd, samples);
}

QRectF Bitmap::Bounds(std::uint16_t) const { return QRectF(0, 0, image.width() * 20.0, image.height() * 20.0); }

bool Bitmap::HitTest(QPointF point, std::uint16_t) const { return Bounds().contains(point); }

QPainterPath Bitmap::Outline(std::uint16_t) const {
  QPainterPath path;
  path.addRect(Bounds());
  return path;
}

QImage Bitmap::Transformed(const ColorTransform& t) const {
  if (t.IsIdentity() || image.isNull()) return image;
  LastTransformed& last = last_.Mine();
  if (!last.image.isNull() && SameTransform(t, last.transform)) return last.image;
  QImage out(image.size(), QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < image.height(); ++y) {
    const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = qUnpremultiply(src[x]);
      const int a = ChannelByte(qAlpha(p) * t.mulA + t.addA);
      const int r = ChannelByte(qRed(p) * t.mulR + t.addR);
      const int g = ChannelByte(qGreen(p) * t.mulG + t.addG);
      const int b = ChannelByte(qBlue(p) * t.mulB + t.addB);
      dst[x] = qPremultiply(qRgba(r, g, b, a));
    }
  }
  last.transform = t;
  last.image = out;
  return out;
}

std::shared_ptr<Bitmap> ParseBitmap(std::uint16_t tagCode, std::span<const std::uint8_t> body,
                                    const DefinitionContext& context, std::string* error) {
  if (tagCode == 20 || tagCode == 36) return ParseLossless(body, tagCode == 36, error);
  SwfStream in(body);
  auto bitmap = std::make_shared<Bitmap>();
  bitmap->id = in.U16();
  std::span<const std::uint8_t> imageData;
  std::span<const std::uint8_t> alphaData;
  if (tagCode == 35 || tagCode == 90) {
    const std::uint32_t alphaOffset = in.U32();
    if (tagCode == 90) in.U16();  // deblocking strength: the player's filter is not applied
    imageData = in.ReadBytes(alphaOffset);
    alphaData = in.Rest();
  } else {
    imageData = in.Rest();
  }
  if (in.Overrun() && imageData.empty()) {
    if (error) *error = "truncated bitmap " + std::to_string(bitmap->id);
    return nullptr;
  }
  const std::span<const std::uint8_t> tables =
      tagCode == 6 ? std::span<const std::uint8_t>(context.jpegTables) : std::span<const std::uint8_t>();
  std::string reason;
  QImage image = tagCode == 6 ? DecodeSwfJpeg(tables, imageData, &reason) : DecodeImageData(tables, imageData, &reason);
  if (image.isNull()) {
    if (error) *error = "bitmap " + std::to_string(bitmap->id) + ": " + reason;
    return nullptr;
  }
  const bool isJpeg = imageData.size() >= 2 && !(imageData[0] == 0x89 || imageData[0] == 'G');
  if (!alphaData.empty() && isJpeg) ApplyAlpha(image, alphaData);
  bitmap->image = std::move(image);
  return bitmap;
}

}  // namespace vantrel::flash
