#include "flash/render/target.h"

#include <QPaintDevice>
#include <QRegion>
#include <algorithm>
#include <cmath>
#include <span>

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

// Pixels from..to-1 of a coverage row times the outer coverage's alpha (outer[x] lies
// under row[x]).
void MultiplyCoverage(Pixel* row, const Pixel* outer, int from, int to) {
  for (int x = from; x < to; ++x) {
    const Pixel p = row[x];
    if (p == 0) continue;
    const std::uint32_t m = Alpha(outer[x]);
    if (m == 255) continue;
    row[x] = m == 0 ? 0 : Pack(Div255(Alpha(p) * m), Div255(Red(p) * m), Div255(Green(p) * m), Div255(Blue(p) * m));
  }
}

}  // namespace

CoverageScope::CoverageScope(const QImage* image, QImage& coverage, QPoint origin, const DrawnStretches* drawn)
    : image_(image), coverage_(&coverage), origin_(origin), outer_(innermostScope) {
  const CoverageScope* outer = Innermost(image);
  // The runs of the coverage as drawn, before the outer coverage multiplies it.
  CoverageRuns drawnRuns;
  if (drawn) drawnRuns = drawn->Runs(coverage);
  if (!outer && drawn) {
    runs_ = std::move(drawnRuns);
    innermostScope = this;
    return;
  }
  if (outer) {
    // Only what both masks cover shows.
    const QImage& outerCoverage = *outer->coverage_;
    const int width = coverage.width(), height = coverage.height();
    const int outerWidth = outerCoverage.width(), outerHeight = outerCoverage.height();
    const QPoint delta = origin - outer->origin_;  // outer coverage position of pixel (0, 0)
    // Columns left and right of the outer coverage show nothing.
    const int inFrom = std::clamp(-delta.x(), 0, width), inTo = std::clamp(outerWidth - delta.x(), inFrom, width);
    for (int y = 0; y < height; ++y) {
      auto* row = reinterpret_cast<Pixel*>(coverage.scanLine(y));
      const int oy = y + delta.y();
      const bool outerRow = oy >= 0 && oy < outerHeight;
      const auto* outerPixels = outerRow ? reinterpret_cast<const Pixel*>(outerCoverage.constScanLine(oy)) + delta.x() : nullptr;
      const std::span<const CoverageRuns::Run> outerRuns = outerRow ? outer->runs_.Row(oy) : std::span<const CoverageRuns::Run>();
      const bool outerRunsKnown = outerRow && outer->runs_.Known(oy);
      std::size_t j = 0;  // the first outer run not wholly left of the columns at hand
      // Columns from..to-1 of the row times the outer coverage: nothing between the
      // outer runs, unchanged where they are whole. Where the row is whole (its pixels
      // may not be drawn: see DrawnStretches) the product is the outer coverage.
      const auto multiply = [&](int from, int to, bool whole) {
        if (!outerRow) {
          std::fill(row + from, row + to, Pixel{0});
          return;
        }
        std::fill(row + from, row + std::max(from, std::min(to, inFrom)), Pixel{0});
        std::fill(row + std::min(to, std::max(from, inTo)), row + to, Pixel{0});
        const int lo = std::max(from, inFrom), hi = std::min(to, inTo);
        if (lo >= hi) return;
        if (!outerRunsKnown) {
          if (whole) {
            std::copy(outerPixels + lo, outerPixels + hi, row + lo);
          } else {
            MultiplyCoverage(row, outerPixels, lo, hi);
          }
          return;
        }
        while (j < outerRuns.size() && outerRuns[j].to - delta.x() <= lo) ++j;
        int x = lo;
        for (std::size_t k = j; k < outerRuns.size() && x < hi; ++k) {
          const CoverageRuns::Run& run = outerRuns[k];
          const int a = std::clamp(run.from - delta.x(), x, hi), b = std::clamp(run.to - delta.x(), a, hi);
          std::fill(row + x, row + a, Pixel{0});
          if (!run.whole && whole) {
            std::copy(outerPixels + a, outerPixels + b, row + a);
          } else if (!run.whole) {
            MultiplyCoverage(row, outerPixels, a, b);
          }
          x = b;
        }
        std::fill(row + x, row + hi, Pixel{0});
      };
      // What the rasterizer drew is all there is; elsewhere the pixels are clear.
      if (drawn) {
        for (const CoverageRuns::Run& run : drawnRuns.Row(y)) multiply(run.from, run.to, run.whole);
      } else {
        multiply(0, width, false);
      }
    }
  }
  // Every scope knows the runs of every row of its coverage, so the inner runs follow
  // from the two sets of runs.
  runs_ = drawn ? IntersectCoverageRuns(drawnRuns, outer->runs_, origin - outer->origin_, coverage)
                : FindCoverageRuns(coverage);
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

}  // namespace vantrel::flash::render
