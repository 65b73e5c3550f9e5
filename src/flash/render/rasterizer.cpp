#include "flash/render/rasterizer.h"

#include <QPainterPath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <algorithm>
#include <iterator>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>

namespace vantrel::flash::render {
namespace {

using Prepared = PreparedEdges::SampleEdge;

// How far (device pixels) a straight piece of a curve may stray from it. Finer than a
// sample step: the player's curves come out rounder than a quarter-pixel cut.
constexpr double kCurveTolerance = 0.1;
// The same tenth of a pixel in a shape's own space, in twips.
constexpr double kShapeCurveTolerance = 2.0;

struct Crossing {
  double x;
  std::uint32_t edge;
};

// The samples each fill got in one pixel row.
struct Slot {
  std::uint32_t fill = 0;
  int minX = 0, maxX = -1;  // touched pixels, relative to the clip's left
  std::vector<std::uint16_t> counts;  // samples at the ends of runs
  std::vector<std::int32_t> full;     // runs of whole pixels, as differences (n at the start, -n past the end)
};

// Sets count pixels from p to color (four at a time where the processor can).
inline void FillPixels(Pixel* p, int count, Pixel color) {
  int i = 0;
#if defined(__SSE2__)
  const __m128i four = _mm_set1_epi32(static_cast<int>(color));
  for (; i + 4 <= count; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), four);
#endif
  for (; i < count; ++i) p[i] = color;
}

class RowPass {
 public:
  RowPass(const Target& target, const QRect& clip, std::span<const Paint* const> paints, FillRule rule, int n)
      : image_(*target.image), clip_(clip), paints_(paints), rule_(rule), n_(n), width_(clip.width()),
        coverage_(target.coverage), coverageOrigin_(target.coverageOrigin), coverageRuns_(target.coverageRuns) {
    if (coverage_) {
      before_.assign(width_, 0);
      coverageWidth_ = coverage_->width();
      coverageHeight_ = coverage_->height();
    }
    slotOf_.assign(paints.size() + 1, -1);
    winding_.assign(paints.size() + 1, 0);
    accA_.assign(width_, 0);
    accR_.assign(width_, 0);
    accG_.assign(width_, 0);
    accB_.assign(width_, 0);
    covered_.assign(width_, 0);
    shade_.assign(width_, 0);
    shift_ = n == 4 ? 4 : n == 2 ? 2 : 0;
  }

  // edges: sorted by their first row.
  void Run(std::span<const Prepared> edges) {
    std::size_t next = 0;
    // The edges crossing the current sample row, kept in x order: from one row to the
    // next the order barely changes, so an insertion sort is nearly linear.
    std::vector<Crossing> crossings;
    const std::int64_t sampleLeft = static_cast<std::int64_t>(clip_.left()) * n_;
    const std::int64_t sampleRight = static_cast<std::int64_t>(clip_.left() + width_) * n_;
    for (int py = clip_.top(); py < clip_.top() + clip_.height(); ++py) {
      for (int s = 0; s < n_; ++s) {
        const std::int64_t row = static_cast<std::int64_t>(py) * n_ + s;
        std::erase_if(crossings, [&](const Crossing& c) { return edges[c.edge].endRow <= row; });
        const std::size_t kept = crossings.size();
        while (next < edges.size() && edges[next].firstRow <= row) {
          if (edges[next].endRow > row) crossings.push_back({0, static_cast<std::uint32_t>(next)});
          ++next;
        }
        if (crossings.empty()) continue;
        const double sampleY = static_cast<double>(row) + 0.5;
        for (Crossing& c : crossings) {
          const Prepared& edge = edges[c.edge];
          // Ends lie on a 1/256 pixel grid, so a crossing that falls exactly on a
          // sample comes out exact (the product is exact and the division is
          // correctly rounded), and the sample's side is decided by the rule, not by
          // rounding.
          c.x = edge.x + ((sampleY - edge.y) * edge.dx) / edge.dy;
        }
        // The edges kept from the row before barely change order: an insertion sort
        // is nearly linear. The edges starting here are sorted on their own and merged
        // in, rather than each walking through the whole row.
        const auto byX = [](const Crossing& a, const Crossing& b) { return a.x < b.x; };
        for (std::size_t i = 1; i < kept; ++i) {
          const Crossing moving = crossings[i];
          std::size_t j = i;
          while (j > 0 && crossings[j - 1].x > moving.x) {
            crossings[j] = crossings[j - 1];
            --j;
          }
          crossings[j] = moving;
        }
        if (kept < crossings.size()) {
          std::sort(crossings.begin() + static_cast<std::ptrdiff_t>(kept), crossings.end(), byX);
          if (kept > 0) {
            merged_.clear();
            std::merge(crossings.begin(), crossings.begin() + static_cast<std::ptrdiff_t>(kept),
                       crossings.begin() + static_cast<std::ptrdiff_t>(kept), crossings.end(), std::back_inserter(merged_),
                       byX);
            crossings.swap(merged_);
          }
        }
        WalkRow(edges, crossings, sampleLeft, sampleRight, py);
      }
      if (!usedSlots_.empty()) ComposeRow(py);
      if (next >= edges.size() && crossings.empty()) break;
    }
  }

 private:
  bool Inside(int w) const { return rule_ == FillRule::NonZero ? w != 0 : (w & 1) != 0; }

  void Toggle(std::uint32_t fill, int delta) {
    if (fill == 0 || delta == 0) return;
    const bool was = Inside(winding_[fill]);
    if (winding_[fill] == 0) touched_.push_back(fill);
    winding_[fill] += delta;
    const bool now = Inside(winding_[fill]);
    if (was == now) return;
    if (now) {
      inside_.push_back(fill);
    } else {
      std::erase(inside_, fill);
    }
  }

  std::uint32_t Top() const {
    std::uint32_t top = 0;
    for (const std::uint32_t f : inside_) top = std::max(top, f);
    return top;
  }

  void WalkRow(std::span<const Prepared> edges, const std::vector<Crossing>& crossings, std::int64_t sampleLeft,
               std::int64_t sampleRight, int py) {
    for (std::size_t i = 0; i + 1 <= crossings.size(); ++i) {
      const Prepared& edge = edges[crossings[i].edge];
      Toggle(edge.right, edge.winding);
      Toggle(edge.left, -edge.winding);
      if (i + 1 == crossings.size()) break;
      const std::uint32_t top = Top();
      if (top == 0) continue;
      // Sample k sits at k + 0.5; it belongs to this span when x_i <= k + 0.5 < x_i+1.
      std::int64_t from = static_cast<std::int64_t>(std::ceil(crossings[i].x - 0.5));
      std::int64_t to = static_cast<std::int64_t>(std::ceil(crossings[i + 1].x - 0.5));
      from = std::max(from, sampleLeft);
      to = std::min(to, sampleRight);
      if (from >= to) continue;
      // With one sample per pixel every pixel takes one fill whole: the span is
      // composed at once, without counting samples.
      if (n_ == 1) {
        DrawSpan(top, static_cast<int>(from - sampleLeft), static_cast<int>(to - sampleLeft), py);
      } else {
        AddSamples(top, from - sampleLeft, to - sampleLeft);
      }
    }
    for (const std::uint32_t f : touched_) winding_[f] = 0;
    touched_.clear();
    inside_.clear();
  }

  // Pixels from..to-1 (relative to the clip) of row py, wholly in fill: the fill over
  // each pixel, and under a mask the pixel moved that far towards it by the coverage.
  void DrawSpan(std::uint32_t fill, int from, int to, int py) {
    const Paint* paint = fill <= paints_.size() ? paints_[fill - 1] : nullptr;
    if (!paint) return;
    Pixel* row = reinterpret_cast<Pixel*>(image_.scanLine(py)) + clip_.left();
    const Pixel* mask = nullptr;
    if (coverage_) {
      const int cy = py - coverageOrigin_.y();
      if (cy < 0 || cy >= coverageHeight_) return;  // nothing shows outside the coverage
      const int offset = clip_.left() - coverageOrigin_.x();  // coverage column of row[0]
      from = std::max(from, -offset);
      to = std::min(to, coverageWidth_ - offset);
      if (from >= to) return;
      mask = reinterpret_cast<const Pixel*>(coverage_->constScanLine(cy)) + offset;
      if (coverageRuns_ && coverageRuns_->Known(cy)) {
        // Only the runs where the coverage shows anything are drawn; whole runs are
        // drawn as without a mask.
        for (const CoverageRuns::Run& run : coverageRuns_->Row(cy)) {
          if (run.from - offset >= to) break;
          const int a = std::max(from, run.from - offset), b = std::min(to, run.to - offset);
          if (a < b) DrawSpanPart(*paint, row, run.whole ? nullptr : mask, a, b, py);
        }
        return;
      }
    }
    DrawSpanPart(*paint, row, mask, from, to, py);
  }

  void DrawSpanPart(const Paint& paint, Pixel* row, const Pixel* mask, int from, int to, int py) {
    if (from >= to) return;
    Pixel solid = 0;
    const bool isSolid = paint.IsSolid(&solid);
    const Pixel* shade = shade_.data();
    if (!isSolid) paint.Shade(py, clip_.left() + from, clip_.left() + to, shade_.data() + from);
    if (!mask) {
      if (isSolid && Alpha(solid) == 255) {
        FillPixels(row + from, to - from, solid);
      } else {
        for (int x = from; x < to; ++x) row[x] = SourceOver(isSolid ? solid : shade[x], row[x]);
      }
      return;
    }
    if (isSolid && Alpha(solid) == 255) {
      for (int x = from; x < to; ++x) {
        const std::uint32_t m = Alpha(mask[x]);
        if (m == 255) {
          row[x] = solid;
        } else if (m != 0) {
          row[x] = Lerp(row[x], solid, m);
        }
      }
      return;
    }
    for (int x = from; x < to; ++x) {
      const std::uint32_t m = Alpha(mask[x]);
      if (m == 0) continue;
      const Pixel old = row[x];
      const Pixel now = SourceOver(isSolid ? solid : shade[x], old);
      row[x] = m == 255 ? now : Lerp(old, now, m);
    }
  }

  // old moved towards now by m / 255, rounded.
  static Pixel Lerp(Pixel old, Pixel now, std::uint32_t m) {
    const auto lerp = [m](std::uint32_t a, std::uint32_t b) { return (a * (255 - m) + b * m + 127) / 255; };
    return Pack(lerp(Alpha(old), Alpha(now)), lerp(Red(old), Red(now)), lerp(Green(old), Green(now)),
                lerp(Blue(old), Blue(now)));
  }

  Slot& SlotFor(std::uint32_t fill) {
    int& index = slotOf_[fill];
    if (index < 0) {
      index = static_cast<int>(usedSlots_.size());
      if (usedSlots_.size() == slots_.size()) {
        slots_.emplace_back();
        slots_.back().counts.assign(width_, 0);
        slots_.back().full.assign(width_ + 1, 0);
      }
      usedSlots_.push_back(fill);
      Slot& slot = slots_[index];
      slot.fill = fill;
      slot.minX = width_;
      slot.maxX = -1;
    }
    return slots_[index];
  }

  // Samples from..to-1 (sample columns relative to the clip) of one sample row.
  void AddSamples(std::uint32_t fill, std::int64_t from, std::int64_t to) {
    Slot& slot = SlotFor(fill);
    const int first = static_cast<int>(from / n_);
    const int last = static_cast<int>((to - 1) / n_);
    slot.minX = std::min(slot.minX, first);
    slot.maxX = std::max(slot.maxX, last);
    std::uint16_t* counts = slot.counts.data();
    if (first == last) {
      counts[first] = static_cast<std::uint16_t>(counts[first] + (to - from));
      return;
    }
    counts[first] = static_cast<std::uint16_t>(counts[first] + (n_ - from % n_));
    if (last > first + 1) {
      slot.full[first + 1] += n_;
      slot.full[last] -= n_;
    }
    counts[last] = static_cast<std::uint16_t>(counts[last] + ((to - 1) % n_ + 1));
  }

  // Each pixel becomes the mix of what every fill would make of it at full coverage,
  // weighted by the samples the fill got, and of the pixel itself for the samples no
  // fill got; the mix is truncated as the player does (half-covered black on white is
  // 127, not 128).
  void ComposeRow(int py) {
    int unionMin = width_, unionMax = -1;
    const std::uint32_t all = static_cast<std::uint32_t>(n_ * n_);
    auto* row = reinterpret_cast<Pixel*>(image_.scanLine(py)) + clip_.left();
    const bool single = usedSlots_.size() == 1;
    // Under a mask the row is composed as usual, then each pixel moves from what it
    // was towards the result by the mask's coverage there.
    int touchedMin = width_, touchedMax = -1;
    if (coverage_) {
      for (std::size_t i = 0; i < usedSlots_.size(); ++i) {
        const Slot& slot = slots_[i];
        touchedMin = std::min(touchedMin, slot.minX);
        touchedMax = std::max(touchedMax, slot.maxX);
      }
      if (touchedMin <= touchedMax) std::copy(row + touchedMin, row + touchedMax + 1, before_.begin() + touchedMin);
    }
    for (std::size_t i = 0; i < usedSlots_.size(); ++i) {
      Slot& slot = slots_[i];
      const Paint* paint = slot.fill <= paints_.size() ? paints_[slot.fill - 1] : nullptr;
      if (paint && slot.minX <= slot.maxX) {
        Pixel solid = 0;
        const bool isSolid = paint->IsSolid(&solid);
        if (!isSolid) paint->Shade(py, clip_.left() + slot.minX, clip_.left() + slot.maxX + 1, shade_.data() + slot.minX);
        if (single) {
          // Locals, so the loop does not reload them after every store to the row.
          const int minX = slot.minX, maxX = slot.maxX;
          const std::int32_t* fullRuns = slot.full.data();
          const std::uint16_t* counts = slot.counts.data();
          const Pixel* shade = shade_.data();
          const bool opaque = isSolid && Alpha(solid) == 255;
          std::int32_t run = 0;
          for (int x = minX; x <= maxX; ++x) {
            run += fullRuns[x];
            const std::uint32_t k = counts[x] + static_cast<std::uint32_t>(run);
            if (k == 0) continue;
            if (k == all && opaque) {
              row[x] = solid;
              continue;
            }
            const Pixel full = SourceOver(isSolid ? solid : shade[x], row[x]);
            row[x] = k == all ? full : Mix(full, row[x], k, all - k);
          }
        } else {
          std::int32_t run = 0;
          for (int x = slot.minX; x <= slot.maxX; ++x) {
            run += slot.full[x];
            const std::uint32_t k = slot.counts[x] + static_cast<std::uint32_t>(run);
            if (k == 0) continue;
            const Pixel full = SourceOver(isSolid ? solid : shade_[x], row[x]);
            accA_[x] += Alpha(full) * k;
            accR_[x] += Red(full) * k;
            accG_[x] += Green(full) * k;
            accB_[x] += Blue(full) * k;
            covered_[x] = static_cast<std::uint16_t>(covered_[x] + k);
          }
          unionMin = std::min(unionMin, slot.minX);
          unionMax = std::max(unionMax, slot.maxX);
        }
      }
      if (slot.minX <= slot.maxX) {
        std::fill(slot.counts.begin() + slot.minX, slot.counts.begin() + slot.maxX + 1, 0);
        std::fill(slot.full.begin() + slot.minX, slot.full.begin() + slot.maxX + 2, 0);
      }
      slotOf_[slot.fill] = -1;
    }
    usedSlots_.clear();
    for (int x = unionMin; x <= unionMax; ++x) {
      const std::uint32_t k = covered_[x];
      if (k == 0) continue;
      const Pixel d = row[x];
      const std::uint32_t rest = k >= all ? 0 : all - k;
      row[x] = Pack((accA_[x] + Alpha(d) * rest) >> shift_, (accR_[x] + Red(d) * rest) >> shift_,
                    (accG_[x] + Green(d) * rest) >> shift_, (accB_[x] + Blue(d) * rest) >> shift_);
      accA_[x] = accR_[x] = accG_[x] = accB_[x] = 0;
      covered_[x] = 0;
    }
    if (coverage_ && touchedMin <= touchedMax) ApplyCoverage(py, row, touchedMin, touchedMax);
  }

  void ApplyCoverage(int py, Pixel* row, int from, int to) {
    const int cy = py - coverageOrigin_.y();
    const int offset = clip_.left() - coverageOrigin_.x();  // coverage column of row[0]
    const Pixel* mask = cy >= 0 && cy < coverageHeight_ ? reinterpret_cast<const Pixel*>(coverage_->constScanLine(cy)) : nullptr;
    // Pixels left or right of the coverage image keep what they were.
    const int inFrom = mask ? std::max(from, -offset) : to + 1;
    const int inTo = mask ? std::min(to, coverageWidth_ - 1 - offset) : to;
    for (int x = from; x < std::min(inFrom, to + 1); ++x) row[x] = before_[x];
    for (int x = std::max(inTo + 1, from); x <= to; ++x) row[x] = before_[x];
    if (mask && coverageRuns_ && coverageRuns_->Known(cy) && inFrom <= inTo) {
      // Between runs the row keeps what it was, whole runs keep what was drawn, and
      // only partial runs are mixed.
      int x = inFrom;
      for (const CoverageRuns::Run& run : coverageRuns_->Row(cy)) {
        const int a = std::clamp(run.from - offset, x, inTo + 1), b = std::clamp(run.to - offset, a, inTo + 1);
        std::copy(before_.begin() + x, before_.begin() + a, row + x);
        if (!run.whole) MixCoverage(row, mask + offset, a, b);
        x = b;
        if (x > inTo) break;
      }
      std::copy(before_.begin() + x, before_.begin() + inTo + 1, row + x);
      return;
    }
    MixCoverage(row, mask ? mask + offset : nullptr, inFrom, inTo + 1);
  }

  // Pixels from..to-1 of row move from what they were before the row was composed
  // towards what it made of them by the coverage (mask[x] for pixel x).
  void MixCoverage(Pixel* row, const Pixel* mask, int from, int to) {
    for (int x = from; x < to; ++x) {
      const Pixel old = before_[x];
      if (row[x] == old) continue;  // nothing drawn here
      const std::uint32_t m = Alpha(mask[x]);
      if (m == 255) continue;
      if (m == 0) {
        row[x] = old;
        continue;
      }
      row[x] = Lerp(old, row[x], m);
    }
  }

  // a weighted ka, b weighted kb, over ka + kb samples.
  Pixel Mix(Pixel a, Pixel b, std::uint32_t ka, std::uint32_t kb) const {
    return Pack((Alpha(a) * ka + Alpha(b) * kb) >> shift_, (Red(a) * ka + Red(b) * kb) >> shift_,
                (Green(a) * ka + Green(b) * kb) >> shift_, (Blue(a) * ka + Blue(b) * kb) >> shift_);
  }

  QImage& image_;
  QRect clip_;
  std::span<const Paint* const> paints_;
  FillRule rule_;
  int n_;
  int width_;
  int shift_ = 0;
  std::vector<int> slotOf_;
  std::vector<Slot> slots_;
  std::vector<std::uint32_t> usedSlots_;
  std::vector<int> winding_;
  std::vector<std::uint32_t> touched_;
  std::vector<std::uint32_t> inside_;
  std::vector<std::uint32_t> accA_, accR_, accG_, accB_;
  std::vector<std::uint16_t> covered_;
  std::vector<Pixel> shade_;
  const QImage* coverage_ = nullptr;
  QPoint coverageOrigin_;
  const CoverageRuns* coverageRuns_ = nullptr;
  int coverageWidth_ = 0, coverageHeight_ = 0;
  std::vector<Pixel> before_;  // the row before composing, under a mask
  std::vector<Crossing> merged_;  // scratch for merging a row's new crossings
};

}  // namespace

void SolidPaint::Shade(int, int x0, int x1, Pixel* out) const { std::fill(out, out + (x1 - x0), color_); }

void EdgeList::Push(QPointF a, QPointF b, std::uint32_t left, std::uint32_t right) {
  if (left == right) return;
  if (!std::isfinite(a.x()) || !std::isfinite(a.y()) || !std::isfinite(b.x()) || !std::isfinite(b.y())) return;
  if (edges_.size() >= kMaxEdges) {
    if (!truncated_) ReportLimit("a shape has more than 1048576 edges; the rest are not drawn");
    truncated_ = true;
    return;
  }
  // Ends snap to 1/256 pixel, as hardware rasterizers and the player do: an edge
  // through a sample centre then always counts the same way.
  const auto snap = [](double v) { return std::nearbyint(std::clamp(v, -1e9, 1e9) * 256.0) / 256.0; };
  if (snap(a.y()) == snap(b.y())) return;  // horizontal edges cross no sample row
  edges_.push_back({snap(a.x()), snap(a.y()), snap(b.x()), snap(b.y()), left, right});
}

void EdgeList::AddLine(QPointF from, QPointF to, std::uint32_t left, std::uint32_t right) {
  Push(toDevice_.map(from), toDevice_.map(to), left, right);
}

EdgeList::EdgeList(const QTransform& toDevice, double curveTolerance) : toDevice_(toDevice) {
  const double scale = std::sqrt(std::abs(toDevice.determinant()));
  curveTolerance_ = curveTolerance > 0 ? curveTolerance : kCurveTolerance / std::max(scale, 1e-9);
}

double ShapeCurveTolerance(const QTransform& toDevice) {
  const double scale = std::sqrt(std::abs(toDevice.determinant()));
  // A shape drawn small is cut no finer than a tenth of a device pixel: finer pieces
  // would only cost time.
  const double device = 1 / std::max(scale, 1e-9);
  return std::clamp(kShapeCurveTolerance, kCurveTolerance * device, 0.5 * device);
}

void EdgeList::AddCurve(QPointF from, QPointF control, QPointF to, std::uint32_t left, std::uint32_t right) {
  if (left == right) return;
  QPointF previous = toDevice_.map(from);
  FlattenQuadratic(from, control, to, curveTolerance_, [&](QPointF point) {
    const QPointF mapped = toDevice_.map(point);
    Push(previous, mapped, left, right);
    previous = mapped;
  });
}

void EdgeList::AddPath(const QPainterPath& path, const QTransform& inner, double pathTolerance) {
  const QTransform full = inner * toDevice_;
  if (pathTolerance <= 0) {
    const double scale = std::sqrt(std::abs(full.determinant()));
    pathTolerance = kCurveTolerance / std::max(scale, 1e-9);
  }
  QPointF start, at;  // path units
  bool open = false;
  const auto line = [&](QPointF to) {
    Push(full.map(at), full.map(to), 0, 1);
    at = to;
  };
  const auto close = [&]() {
    if (open && at != start) line(start);
    open = false;
  };
  const int count = path.elementCount();
  for (int i = 0; i < count; ++i) {
    const QPainterPath::Element& e = path.elementAt(i);
    const QPointF p(e.x, e.y);
    switch (e.type) {
      case QPainterPath::MoveToElement:
        close();
        start = at = p;
        open = true;
        break;
      case QPainterPath::LineToElement:
        line(p);
        break;
      case QPainterPath::CurveToElement: {
        if (i + 2 >= count) {
          i = count;
          break;
        }
        const QPointF c1 = p;
        const QPointF c2(path.elementAt(i + 1).x, path.elementAt(i + 1).y);
        const QPointF end(path.elementAt(i + 2).x, path.elementAt(i + 2).y);
        i += 2;
        // Quadratic curves reach QPainterPath as cubics with controls two thirds of the
        // way to the quadratic's control point; those are cut as the quadratics they are.
        const QPointF q1 = at + 1.5 * (c1 - at), q2 = end + 1.5 * (c2 - end);
        if (std::abs(q1.x() - q2.x()) + std::abs(q1.y() - q2.y()) <= 1e-6 * (1 + std::abs(q1.x()) + std::abs(q1.y()))) {
          FlattenQuadratic(at, (q1 + q2) / 2, end, pathTolerance, [&](QPointF point) { line(point); });
        } else {
          // A true cubic (round caps and joins of strokes): even pieces are fine there.
          const QPointF a = full.map(at), b = full.map(c1), c = full.map(c2), d = full.map(end);
          const double bend = std::max(std::hypot((a - 2 * b + c).x(), (a - 2 * b + c).y()),
                                       std::hypot((b - 2 * c + d).x(), (b - 2 * c + d).y()));
          const int pieces = std::clamp(static_cast<int>(std::ceil(std::sqrt(0.75 * bend / kCurveTolerance))), 1, 100);
          const QPointF from = at;
          for (int k = 1; k <= pieces; ++k) {
            const double t = static_cast<double>(k) / pieces, s = 1 - t;
            line(k == pieces ? end
                             : s * s * s * from + 3 * s * s * t * c1 + 3 * s * t * t * c2 + t * t * t * end);
          }
        }
        break;
      }
      case QPainterPath::CurveToDataElement:
        break;
    }
  }
  close();
}

int SamplesPerAxis(int quality) { return quality >= 2 ? 4 : quality == 1 ? 2 : 1; }

void FillEdges(const Target& target, std::span<const Edge> edges, std::span<const Paint* const> paints,
               FillRule rule, int samplesPerAxis) {
  if (edges.empty() || paints.empty()) return;
  // One scratch list per thread: drawing many small shapes allocates nothing.
  thread_local PreparedEdges prepared;
  prepared.Prepare(edges, paints.size(), samplesPerAxis);
  FillPrepared(target, prepared, paints, rule);
  if (prepared.Size() > 4096) prepared = PreparedEdges();  // keep no large list around
}

void PreparedEdges::Prepare(std::span<const Edge> edges, std::size_t paintCount, int samplesPerAxis) {
  const int n = samplesPerAxis >= 4 ? 4 : samplesPerAxis >= 2 ? 2 : 1;
  n_ = n;
  paintCount_ = paintCount;
  edges_.clear();
  bounds_ = QRect();
  if (edges.empty()) return;
  // Only the rows and columns the edges reach need a pass.
  double minX = edges[0].x0, maxX = minX, minY = edges[0].y0, maxY = minY;
  for (const Edge& e : edges) {
    minX = std::min({minX, e.x0, e.x1});
    maxX = std::max({maxX, e.x0, e.x1});
    minY = std::min({minY, e.y0, e.y1});
    maxY = std::max({maxY, e.y0, e.y1});
  }
  const auto bound = [](double v) { return static_cast<int>(std::clamp(v, -1e8, 1e8)); };
  bounds_ = QRect(QPoint(bound(std::floor(minX)), bound(std::floor(minY))),
                  QPoint(bound(std::ceil(maxX)), bound(std::ceil(maxY))));
  edges_.reserve(edges.size());
  for (const Edge& e : edges) {
    if (e.left == e.right) continue;
    if (e.left > paintCount || e.right > paintCount) continue;
    double x0 = e.x0 * n, y0 = e.y0 * n, x1 = e.x1 * n, y1 = e.y1 * n;
    int winding = 1;
    if (y0 > y1) {
      std::swap(x0, x1);
      std::swap(y0, y1);
      winding = -1;
    }
    Prepared p;
    p.firstRow = static_cast<std::int64_t>(std::ceil(std::max(y0, -1e12) - 0.5));
    p.endRow = static_cast<std::int64_t>(std::ceil(std::min(y1, 1e12) - 0.5));
    if (p.firstRow >= p.endRow) continue;
    p.x = x0;
    p.y = y0;
    p.dx = x1 - x0;
    p.dy = y1 - y0;
    p.left = e.left;
    p.right = e.right;
    p.winding = winding;
    edges_.push_back(p);
  }
  std::sort(edges_.begin(), edges_.end(), [](const Prepared& a, const Prepared& b) { return a.firstRow < b.firstRow; });
}

void FillPrepared(const Target& target, const PreparedEdges& edges, std::span<const Paint* const> paints,
                  FillRule rule) {
  if (!target.image || target.image->isNull() || edges.edges_.empty() || paints.size() < edges.paintCount_) return;
  if (target.image->format() != QImage::Format_ARGB32_Premultiplied && target.image->format() != QImage::Format_RGB32)
    return;
  QRect clip = target.image->rect();
  if (!target.clip.isEmpty()) clip &= target.clip;
  // Fills lie between edges, so the edges' bounds limit the pass.
  clip &= edges.bounds_;
  if (clip.isEmpty()) return;
  // Edges above the clip are passed over as the pass starts; those below it are never
  // reached.
  RowPass pass(target, clip, paints, rule, edges.n_);
  pass.Run(edges.edges_);
}

namespace {

// How many of the 4 pixels at p are empty (all zero) and whole (alpha 255), as bit masks
// of 4 bits.
#if defined(__SSE2__)
inline int EmptyOf4(const Pixel* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(v, _mm_setzero_si128())));
}
inline int WholeOf4(const Pixel* p) {
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xff000000u));
  const __m128i v = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), alpha);
  return _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(v, alpha)));
}
#else
inline int EmptyOf4(const Pixel* p) {
  return (p[0] == 0) | (p[1] == 0) << 1 | (p[2] == 0) << 2 | (p[3] == 0) << 3;
}
inline int WholeOf4(const Pixel* p) {
  return (Alpha(p[0]) == 255) | (Alpha(p[1]) == 255) << 1 | (Alpha(p[2]) == 255) << 2 | (Alpha(p[3]) == 255) << 3;
}
#endif

}  // namespace

CoverageRuns FindCoverageRuns(const QImage& coverage) {
  CoverageRuns out;
  const int width = coverage.width(), height = std::max(0, coverage.height());
  out.rowStart.reserve(static_cast<std::size_t>(height) + 1);
  for (int y = 0; y < height; ++y) {
    out.rowStart.push_back(static_cast<std::uint32_t>(out.runs.size()));
    const auto* p = reinterpret_cast<const Pixel*>(coverage.constScanLine(y));
    int x = 0;
    while (x < width) {
      // Premultiplied pixels with no alpha are zero.
      while (x + 4 <= width && EmptyOf4(p + x) == 0xf) x += 4;
      while (x < width && p[x] == 0) ++x;
      if (x >= width) break;
      const int start = x;
      if (Alpha(p[x]) == 255) {
        while (x + 4 <= width && WholeOf4(p + x) == 0xf) x += 4;
        while (x < width && Alpha(p[x]) == 255) ++x;
        out.runs.push_back({start, x, true});
      } else {
        while (x < width && p[x] != 0 && Alpha(p[x]) != 255) ++x;
        out.runs.push_back({start, x, false});
      }
    }
  }
  out.rowStart.push_back(static_cast<std::uint32_t>(out.runs.size()));
  return out;
}

void ReportLimit(std::string_view reason) {
  static std::mutex mutex;
  static std::set<std::string, std::less<>> reported;
  const std::lock_guard lock(mutex);
  if (reported.size() > 64 || !reported.insert(std::string(reason)).second) return;
  std::fprintf(stderr, "vantrel: renderer: %.*s\n", static_cast<int>(reason.size()), reason.data());
}

}  // namespace vantrel::flash::render
