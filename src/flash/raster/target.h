// The rasterizer's target behind a QPainter: the painter's own image when it paints
// on a premultiplied image with plain source-over and a rectangular clip, otherwise an
// offscreen image of the area drawn that the painter gets at the end (so opacity,
// other composition modes, clip paths and non-image devices still work).
#pragma once

#include <QImage>
#include <QPainter>
#include <QTransform>
#include <vector>

#include "flash/raster/rasterizer.h"

namespace vantrel::flash::render {

// While a scope lives, whatever the rasterizer draws into image (directly or through a
// PainterTarget's offscreen picture) shows only by the alpha of coverage, whose pixel
// (0, 0) lies on image's pixel origin: a mask applied as the content is drawn, without
// a layer for the content. Scopes nest: an inner scope's coverage is multiplied by the
// outer one's when it opens (coverage is changed in place).
class CoverageScope {
 public:
  // drawnRuns: the runs of coverage, when known from what drew it (its whole runs'
  // pixels are then never looked at); null = find them in the pixels.
  CoverageScope(const QImage* image, QImage& coverage, QPoint origin, const CoverageRuns* drawnRuns = nullptr);
  ~CoverageScope();
  CoverageScope(const CoverageScope&) = delete;
  CoverageScope& operator=(const CoverageScope&) = delete;
  // The runs of the coverage as applied (after the outer scope's).
  const CoverageRuns& Runs() const { return runs_; }

 private:
  friend class PainterTarget;
  static const CoverageScope* Innermost(const QImage* image);
  const QImage* image_;
  const QImage* coverage_;
  CoverageRuns runs_;  // of coverage_, after the outer scope's
  QPoint origin_;
  const CoverageScope* outer_;
};

// While a scope lives, what the rasterizer draws straight into image is noted in
// stretches. A drawing there that needs an offscreen picture spoils the notes.
class DrawnScope {
 public:
  DrawnScope(const QImage* image, DrawnStretches& stretches);
  ~DrawnScope();
  DrawnScope(const DrawnScope&) = delete;
  DrawnScope& operator=(const DrawnScope&) = delete;
  // True when something was drawn into the image other than straight by the rasterizer.
  bool Spoiled() const { return spoiled_; }

 private:
  friend class PainterTarget;
  static DrawnScope* Innermost(const QImage* image);
  const QImage* image_;
  DrawnStretches* stretches_;
  bool spoiled_ = false;
  DrawnScope* outer_;
};

class PainterTarget {
 public:
  // area: the device pixels the drawing may touch.
  PainterTarget(QPainter& painter, const QRectF& area);
  ~PainterTarget();
  PainterTarget(const PainterTarget&) = delete;
  PainterTarget& operator=(const PainterTarget&) = delete;

  // False when nothing can be drawn (empty area, no device).
  bool Valid() const { return target_.image != nullptr; }
  const Target& Get() const { return target_; }
  // Device pixels to the target's pixels (a translation for offscreen images).
  const QTransform& FromDevice() const { return fromDevice_; }

 private:
  QPainter& painter_;
  Target target_;
  QImage offscreen_;
  QPoint origin_;
  QTransform fromDevice_;
};

// The whole device pixels that area touches, grown by pad on every side. Bounds far past
// any picture (a hostile movie can scale a shape to billions of pixels) are first brought
// within a quarter of a billion pixels so that neither the rounding nor the padding can
// pass the int range; NaN bounds touch nothing.
QRect PaddedPixelRect(const QRectF& area, int pad);

}  // namespace vantrel::flash::render
