#include "flash/raster/target.h"

#include <QPaintDevice>
#include <QRegion>
#include <algorithm>
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

thread_local const CoverageScope* innermostScope = nullptr;

}  // namespace

CoverageScope::CoverageScope(const QImage* image, QImage& coverage, QPoint origin, const CoverageRuns* drawnRuns)
    : image_(image), coverage_(&coverage), origin_(origin), outer_(innermostScope) {
  const CoverageScope* outer = Innermost(image);
  if (!outer) {
    runs_ = drawnRuns ? *drawnRuns : FindCoverageRuns(coverage);
    innermostScope = this;
    return;
  }
  // Only what both masks cover shows.
  const QImage& outerCoverage = *outer->coverage_;
  const QPoint delta = origin - outer->origin_;  // outer coverage position of pixel (0, 0)
  if (drawnRuns) {
    // What the rasterizer drew is all there is: the product's runs follow from the two
    // sets of runs, and only its partial pixels are worked out.
    runs_ = IntersectCoverageRuns(*drawnRuns, outer->runs_, delta, outerCoverage, coverage);
    innermostScope = this;
    return;
  }
  const int width = coverage.width(), height = coverage.height();
  const int outerWidth = outerCoverage.width(), outerHeight = outerCoverage.height();
  // Columns left and right of the outer coverage show nothing.
  const int inFrom = std::clamp(-delta.x(), 0, width), inTo = std::clamp(outerWidth - delta.x(), inFrom, width);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<Pixel*>(coverage.scanLine(y));
    const int oy = y + delta.y();
    if (oy < 0 || oy >= outerHeight) {
      std::fill(row, row + width, Pixel{0});
      continue;
    }
    const auto* outerPixels = reinterpret_cast<const Pixel*>(outerCoverage.constScanLine(oy)) + delta.x();
    std::fill(row, row + inFrom, Pixel{0});
    std::fill(row + inTo, row + width, Pixel{0});
    if (!outer->runs_.Known(oy)) {
      MultiplyCoverage(row, outerPixels, inFrom, inTo);
      continue;
    }
    // Nothing between the outer runs, unchanged where they are whole.
    int x = inFrom;
    for (const CoverageRuns::Run& run : outer->runs_.Row(oy)) {
      const int a = std::clamp(run.from - delta.x(), x, inTo), b = std::clamp(run.to - delta.x(), a, inTo);
      std::fill(row + x, row + a, Pixel{0});
      if (!run.whole) MultiplyCoverage(row, outerPixels, a, b);
      x = b;
    }
    std::fill(row + x, row + inTo, Pixel{0});
  }
  runs_ = FindCoverageRuns(coverage);
  innermostScope = this;
}

CoverageScope::~CoverageScope() { innermostScope = outer_; }

static thread_local DrawnScope* innermostDrawnScope = nullptr;

DrawnScope::DrawnScope(const QImage* image, DrawnStretches& stretches)
    : image_(image), stretches_(&stretches), outer_(innermostDrawnScope) {
  innermostDrawnScope = this;
}

DrawnScope::~DrawnScope() { innermostDrawnScope = outer_; }

DrawnScope* DrawnScope::Innermost(const QImage* image) {
  for (DrawnScope* scope = innermostDrawnScope; scope; scope = scope->outer_)
    if (scope->image_ == image) return scope;
  return nullptr;
}

const CoverageScope* CoverageScope::Innermost(const QImage* image) {
  for (const CoverageScope* scope = innermostScope; scope; scope = scope->outer_)
    if (scope->image_ == image) return scope;
  return nullptr;
}

PainterTarget::PainterTarget(QPainter& painter, const QRectF& area) : painter_(painter) {
  QPaintDevice* device = painter.device();
  if (!device) return;
  const QRect deviceRect(0, 0, device->width(), device->height());
  QRect bounds = PaddedPixelRect(area, 1) & deviceRect;
  QRegion clip;
  if (painter.hasClipping()) {
    clip = painter.transform().map(painter.clipRegion());
    bounds &= clip.boundingRect();
  }
  if (bounds.isEmpty()) return;
  if (QImage* image = DirectImage(painter); image && (!painter.hasClipping() || clip.rectCount() == 1)) {
    target_.image = image;
    target_.clip = bounds;
    if (DrawnScope* scope = DrawnScope::Innermost(image)) target_.drawn = scope->stretches_;
    if (const CoverageScope* scope = CoverageScope::Innermost(image)) {
      target_.coverage = scope->coverage_;
      target_.coverageOrigin = scope->origin_;
      target_.coverageRuns = &scope->runs_;
    }
    return;
  }
  if (device->devType() == QInternal::Image) {
    if (DrawnScope* scope = DrawnScope::Innermost(static_cast<const QImage*>(device))) scope->spoiled_ = true;
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
  if (device->devType() == QInternal::Image) {
    if (const CoverageScope* scope = CoverageScope::Innermost(static_cast<const QImage*>(device))) {
      target_.coverage = scope->coverage_;
      target_.coverageOrigin = scope->origin_ - origin_;
      target_.coverageRuns = &scope->runs_;
    }
  }
}

PainterTarget::~PainterTarget() {
  if (offscreen_.isNull()) return;
  painter_.save();
  painter_.resetTransform();
  painter_.drawImage(origin_, offscreen_);
  painter_.restore();
}

QRect PaddedPixelRect(const QRectF& area, int pad) {
  static constexpr double kLimit = 1 << 28;
  const double edges[] = {area.left(), area.top(), area.right(), area.bottom()};
  if (std::any_of(std::begin(edges), std::end(edges), [](double v) { return std::isnan(v); })) return {};
  const auto clamp = [](double v) { return std::clamp(v, -kLimit, kLimit); };
  const QRectF within(QPointF(clamp(edges[0]), clamp(edges[1])), QPointF(clamp(edges[2]), clamp(edges[3])));
  return within.toAlignedRect().adjusted(-pad, -pad, pad, pad);
}

}  // namespace vantrel::flash::render
