// Rendering a character into a small image for pixel checks.
#pragma once

#include <QImage>
#include <QPainter>

#include "flash/raster/drawable.h"

namespace vantrel::flash::testing {

// Draws the character at 20 twips per pixel (times scale) on white (nothing for a
// character that does not draw itself).
inline QImage RenderToImage(const Character& character, int width, int height, Quality quality = Quality::High,
                            ColorTransform colors = {}, std::uint16_t ratio = 0, double scale = 1) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter painter(&image);
  RenderContext context;
  context.painter = &painter;
  context.transform = QTransform::fromScale(scale / 20.0, scale / 20.0);
  context.colorTransform = colors;
  context.quality = quality;
  context.ratio = ratio;
  if (const Drawable* drawn = AsDrawable(&character)) drawn->Render(context);
  painter.end();
  return image;
}

inline QRgb Pixel(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFFu; }

// True when every channel is within tolerance.
inline bool Near(QRgb a, QRgb b, int tolerance = 2) {
  return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

}  // namespace vantrel::flash::testing
