#include "flash/render/target.h"

#include <QPaintDevice>
#include <QRegion>
#include <cmath>

namespace vantrel::flash::render {
namespace {

// The most pixels one offscreen drawing may take (about 64 MB).
constexpr qint64 kMaxOffscreenPixels = 16 * 1024 * 1024;

QImage* DirectImage(QPainter& painter) {
  QPaintDevice* device = painter.device();
  if (!device || device->devType() != QInternal::Image) return nullptr;
  auto* image = static_cast<QImage*>(device);
  // RGB32 has the same layout with every pixel opaque, which source-over keeps.
  if (image->format() != QImage::Format_ARGB32_Premultiplied && image->format() != QImage::Format_RGB32) return nullptr;
  if (painter.opacity() < 1 || painter.compositionMode() != QPainter::CompositionMode_SourceOver) return nullptr;
  return image;
}

}  // namespace

PainterTarget::PainterTarget(QPainter& painter, const QRectF& area) : painter_(painter) {
  QPaintDevice* device = painter.device();
  if (!device) return;
  const QRect deviceRect(0, 0, device->width(), device->height());
  QRect bounds = area.toAlignedRect().adjusted(-1, -1, 1, 1) & deviceRect;
  QRegion clip;
  if (painter.hasClipping()) {
    clip = painter.transform().map(painter.clipRegion());
    bounds &= clip.boundingRect();
  }
  if (bounds.isEmpty()) return;
  if (QImage* image = DirectImage(painter); image && (!painter.hasClipping() || clip.rectCount() == 1)) {
    target_.image = image;
    target_.clip = bounds;
    return;
  }
  if (static_cast<qint64>(bounds.width()) * bounds.height() > kMaxOffscreenPixels) {
    ReportLimit("a drawing larger than 16 million pixels was left out");
    return;
  }
  offscreen_ = QImage(bounds.size(), QImage::Format_ARGB32_Premultiplied);
  if (offscreen_.isNull()) return;
  offscreen_.fill(0);
  origin_ = bounds.topLeft();
  fromDevice_ = QTransform::fromTranslate(-origin_.x(), -origin_.y());
  target_.image = &offscreen_;
  target_.clip = offscreen_.rect();
}

PainterTarget::~PainterTarget() {
  if (offscreen_.isNull()) return;
  painter_.save();
  painter_.resetTransform();
  painter_.drawImage(origin_, offscreen_);
  painter_.restore();
}

}  // namespace vantrel::flash::render
