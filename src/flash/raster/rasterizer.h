// The scanline rasterizer. A shape reaches it as straight edges in device pixels, each
// carrying the fill on its left and its right; one pass over the rows samples every
// pixel on a grid (4x4 at high quality, 2x2 at medium, its centre at low), gives each
// sample to the fill it lies in, and blends the pixel's mix of fills over the target
// once. Two fills sharing an edge therefore cover its pixels completely: no seam.
#pragma once

#include <QImage>
#include <QRect>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "flash/raster/color.h"

namespace vantrel::flash::render {

// The stretches of a coverage image's rows that show anything, each whole (alpha 255
// throughout) or partial; the columns between them show nothing.
struct CoverageRuns {
  struct Run {
    int from = 0, to = 0;  // columns from..to-1
    bool whole = false;
  };
  std::vector<Run> runs;
  std::vector<std::uint32_t> rowStart;  // row y's runs: rowStart[y]..rowStart[y + 1]-1

  std::span<const Run> Row(int y) const {
    if (y < 0 || static_cast<std::size_t>(y) + 1 >= rowStart.size()) return {};
    return std::span<const Run>(runs).subspan(rowStart[y], rowStart[y + 1] - rowStart[y]);
  }
  bool Known(int y) const { return y >= 0 && static_cast<std::size_t>(y) + 1 < rowStart.size(); }
};

// The runs of a coverage image (Format_ARGB32_Premultiplied).
CoverageRuns FindCoverageRuns(const QImage& coverage);

// What the rasterizer drew into an image, row by row: the stretches of pixels it
// touched, and which of them it covered with an opaque colour. When everything in an
// image (cleared before) was drawn by the rasterizer, its coverage runs follow from
// these, looking only at the pixels drawn partly.
class DrawnStretches {
 public:
  // skipOpaque: opaque stretches are only noted, their pixels left as they were (for
  // a coverage image whose whole runs are never looked at, only its runs).
  explicit DrawnStretches(int height, bool skipOpaque = false)
      : height_(std::max(0, height)), skipOpaque_(skipOpaque),
        head_(static_cast<std::size_t>(height_), kNone), tail_(static_cast<std::size_t>(height_), kNone) {}
  bool SkipsOpaque() const { return skipOpaque_; }
  // Pixels from..to-1 of row y; opaque: each now has alpha 255.
  void Add(int y, int from, int to, bool opaque) {
    if (y < 0 || y >= height_ || from >= to) return;
    // Spans of one drawing come left to right: one that continues the row's last
    // stretch joins it.
    const std::uint32_t tail = tail_[static_cast<std::size_t>(y)];
    if (tail != kNone) {
      Stretch& last = stretches_[tail];
      if (last.to == from && last.opaque == opaque) {
        last.to = to;
        return;
      }
    }
    const auto index = static_cast<std::uint32_t>(stretches_.size());
    stretches_.push_back({y, from, to, opaque, kNone});
    (tail == kNone ? head_[static_cast<std::size_t>(y)] : stretches_[tail].next) = index;
    tail_[static_cast<std::size_t>(y)] = index;
  }
  // The runs of image (what was drawn into it, as recorded here).
  CoverageRuns Runs(const QImage& image) const;
  // Clears the pixels of image drawn as recorded here (opaque stretches too unless
  // they were skipped).
  void Erase(QImage& image) const;

 private:
  static constexpr std::uint32_t kNone = 0xffffffffu;
  struct Stretch {
    int y = 0, from = 0, to = 0;
    bool opaque = false;
    std::uint32_t next = kNone;  // the row's next stretch
  };
  int height_ = 0;
  bool skipOpaque_ = false;
  std::vector<Stretch> stretches_;
  // Each row's stretches, in the order drawn, as a list: its first and last.
  std::vector<std::uint32_t> head_, tail_;
};

// Clears the pixels of the partial runs of runs in coverage.
void ClearPartialRuns(QImage& coverage, const CoverageRuns& runs);

// Pixels from..to-1 of a coverage row times the outer coverage's alpha (outer[x] lies
// under row[x]).
void MultiplyCoverage(Pixel* row, const Pixel* outer, int from, int to);

// Multiplies coverage by an outer coverage where it matters and returns the product's
// runs: inner are coverage's runs before, outer the runs of outerCoverage, whose pixel
// (x + shift.x, y + shift.y) lies under coverage's pixel (x, y). Only the pixels of the
// product's partial runs are made the product (where coverage is whole they become the
// outer pixels: a whole run's pixels need not have been drawn); pixels outside the
// product's runs are left as they were, as nothing looks at them.
CoverageRuns IntersectCoverageRuns(const CoverageRuns& inner, const CoverageRuns& outer, QPoint shift,
                                   const QImage& outerCoverage, QImage& coverage);

// Where drawing goes: the pixels of a premultiplied image inside clip.
struct Target {
  QImage* image = nullptr;  // Format_ARGB32_Premultiplied
  QRect clip;               // device pixels; empty = the whole image
  // A mask's coverage: what is drawn at pixel p shows by the alpha of the coverage
  // image's pixel p - coverageOrigin (nothing shows outside that image).
  const QImage* coverage = nullptr;  // Format_ARGB32_Premultiplied
  QPoint coverageOrigin;
  // The coverage's runs (FindCoverageRuns), so whole and empty stretches are drawn at
  // once; null = look at every pixel.
  const CoverageRuns* coverageRuns = nullptr;
  // Where to note the pixels drawn (image coordinates); null = nowhere.
  DrawnStretches* drawn = nullptr;
};

// The colour of a fill at each pixel centre.
class Paint {
 public:
  virtual ~Paint() = default;
  // Writes the premultiplied colours of pixels x0..x1-1 of row y.
  virtual void Shade(int y, int x0, int x1, Pixel* out) const = 0;
  // True (with the colour) when every pixel has the same colour.
  virtual bool IsSolid(Pixel* color) const { return false; }
};

class SolidPaint : public Paint {
 public:
  explicit SolidPaint(Pixel color) : color_(color) {}
  void Shade(int y, int x0, int x1, Pixel* out) const override;
  bool IsSolid(Pixel* color) const override {
    *color = color_;
    return true;
  }

 private:
  Pixel color_;
};

// One straight edge in device pixels; left and right are 1-based indexes into the
// paints of the pass (0 = no fill on that side).
struct Edge {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  std::uint32_t left = 0, right = 0;
};

enum class FillRule { EvenOdd, NonZero };

// Cuts the quadratic curve from-control-to into straight pieces that stray at most
// tolerance from it (in the curve's own units), spaced along the curve so that every
// piece strays about as far (a flat stretch gets few, a tight bend many). Calls
// point(p) for each piece's end, the last one being to.
template <typename PointFn>
void FlattenQuadratic(QPointF from, QPointF control, QPointF to, double tolerance, PointFn&& point);

// How finely a shape's curves are cut, in the shape's own units (twips): a tenth of a
// pixel of the shape's own space, which is where the player cuts them, but never coarser
// than half a device pixel, so a shape scaled far up keeps smooth curves, and never finer
// than a hundredth of a device pixel, so a shape scaled far down costs little more than it
// shows.
double ShapeCurveTolerance(const QTransform& toDevice);

// Quadratic curves reach QPainterPath as cubics with controls two thirds of the way to
// the quadratic's control point. For such a cubic from-c1-c2-to, sets control to that
// point and answers true; false for a true cubic (round caps and joins of strokes).
inline bool QuadraticOfCubic(QPointF from, QPointF c1, QPointF c2, QPointF to, QPointF& control) {
  const QPointF q1 = from + 1.5 * (c1 - from), q2 = to + 1.5 * (c2 - to);
  if (std::abs(q1.x() - q2.x()) + std::abs(q1.y() - q2.y()) > 1e-6 * (1 + std::abs(q1.x()) + std::abs(q1.y()))) return false;
  control = (q1 + q2) / 2;
  return true;
}

// Edges of one pass, built from lines and quadratic curves mapped through a transform.
// Curves are cut into straight pieces in their own space (see FlattenQuadratic).
class EdgeList {
 public:
  // The most edges one pass takes; what comes after is dropped (and reported).
  static constexpr std::size_t kMaxEdges = 1u << 20;

  // curveTolerance: how far curve pieces may stray, in the units of the points given to
  // AddCurve; 0 = a tenth of a device pixel.
  explicit EdgeList(const QTransform& toDevice, double curveTolerance = 0);
  void AddLine(QPointF from, QPointF to, std::uint32_t left, std::uint32_t right);
  void AddCurve(QPointF from, QPointF control, QPointF to, std::uint32_t left, std::uint32_t right);
  // Every closed subpath of path (mapped by inner, then the list's transform) with
  // fill 1 on one side. Quadratic curves are cut in the path's own units with
  // pathTolerance (0 = a tenth of a device pixel).
  void AddPath(const class QPainterPath& path, const QTransform& inner = QTransform(), double pathTolerance = 0);
  std::span<const Edge> Edges() const { return edges_; }
  bool Truncated() const { return truncated_; }
  bool Empty() const { return edges_.empty(); }

 private:
  void Push(QPointF a, QPointF b, std::uint32_t left, std::uint32_t right);
  QTransform toDevice_;
  double curveTolerance_ = 0;
  std::vector<Edge> edges_;
  bool truncated_ = false;
};

// Samples per pixel side for a quality: 4 at high, 2 at medium, 1 at low.
int SamplesPerAxis(int quality);

// Fills the edges' areas: each sample goes to the highest-numbered fill it lies inside
// (by the rule, counted per fill), and each pixel's mix of fills is blended over the
// target once. Edges or paints that do not fit are ignored.
void FillEdges(const Target& target, std::span<const Edge> edges, std::span<const Paint* const> paints,
               FillRule rule, int samplesPerAxis);

// Edges made ready for one sample grid: in sample space, pointing down, sorted by their
// first sample row. A shape drawn again with the same transform and quality fills the
// same prepared edges without cutting its curves or sorting again.
class PreparedEdges {
 public:
  // Replaces the content with edges for samplesPerAxis; edges naming a fill above
  // paintCount are left out.
  void Prepare(std::span<const Edge> edges, std::size_t paintCount, int samplesPerAxis);
  bool Empty() const { return edges_.empty(); }
  std::size_t Size() const { return edges_.size(); }
  int SamplesPerAxis() const { return n_; }

  struct SampleEdge {
    double x = 0, y = 0;    // upper end
    double dx = 0, dy = 0;  // lower end minus upper end
    std::int64_t firstRow = 0, endRow = 0;  // sample rows crossed: firstRow..endRow-1
    std::uint32_t left = 0, right = 0;
    int winding = 1;  // +1 when the original edge ran down
  };
  // Samples from..to-1 of one sample row (sample columns relative to the clip's left)
  // that go to fill.
  struct Span {
    std::int32_t from = 0, to = 0;
    std::uint32_t fill = 0;
  };
  // Which samples go to which fill does not depend on the paints: edges filled again
  // with the same clip and rule (a shape that stays where it is) reuse the spans of
  // the last time instead of walking the edges. Kept from the second fill with the
  // same clip on.
  struct SpanCache {
    QRect clip;
    FillRule rule = FillRule::EvenOdd;
    int fills = 0;                      // fills seen with this clip and rule
    bool tooLarge = false;              // more spans than are kept
    bool complete = false;              // spans and rowStart hold every row of clip
    std::vector<Span> spans;
    std::vector<std::uint32_t> rowStart;  // sample row r of the clip: rowStart[r]..rowStart[r + 1]-1
  };
  // The most spans kept (about 24 MB); a larger fill walks its edges every time.
  static constexpr std::size_t kMaxKeptSpans = 1u << 21;

 private:
  friend void FillPrepared(const Target&, const PreparedEdges&, std::span<const Paint* const>, FillRule);
  std::vector<SampleEdge> edges_;
  int n_ = 1;
  std::size_t paintCount_ = 0;
  QRect bounds_;  // device pixels the edges reach
  mutable SpanCache spanCache_;
};

// FillEdges for edges prepared before; paints must hold at least the paint count they
// were prepared for (nothing is drawn otherwise).
void FillPrepared(const Target& target, const PreparedEdges& edges, std::span<const Paint* const> paints,
                  FillRule rule);

namespace detail {
// The parabola integral and its inverse that place the pieces of FlattenQuadratic.
inline double ParabolaIntegral(double x) {
  constexpr double d = 0.67;
  return x / (1 - d + std::sqrt(std::sqrt(d * d * d * d + 0.25 * x * x)));
}
inline double ParabolaInverseIntegral(double x) {
  constexpr double b = 0.39;
  return x * (1 - b + std::sqrt(b * b + 0.25 * x * x));
}
}  // namespace detail

template <typename PointFn>
void FlattenQuadratic(QPointF from, QPointF control, QPointF to, double tolerance, PointFn&& point) {
  // A curve that strays no more than tolerance from its chord (half as far as its
  // control point lies off it) is one straight piece, as long as the control point
  // lies beside the chord rather than beyond its ends.
  const double chordX = to.x() - from.x(), chordY = to.y() - from.y();
  const double chord2 = chordX * chordX + chordY * chordY;
  const double along = (control.x() - from.x()) * chordX + (control.y() - from.y()) * chordY;
  const double off = (control.x() - from.x()) * chordY - (control.y() - from.y()) * chordX;
  if (chord2 > 0 && along >= 0 && along <= chord2 && std::abs(off) <= 2 * tolerance * std::sqrt(chord2)) {
    point(to);
    return;
  }
  // The curve is a piece of the parabola y = x^2, scaled, turned and moved: x0..x2 is
  // that piece. Pieces of equal error follow the integral of the parabola's curvature
  // to the power one half, which the two closed forms above approximate.
  const double ddx = 2 * control.x() - from.x() - to.x();
  const double ddy = 2 * control.y() - from.y() - to.y();
  const double cross = (to.x() - from.x()) * ddy - (to.y() - from.y()) * ddx;
  const double x0 = ((control.x() - from.x()) * ddx + (control.y() - from.y()) * ddy) / cross;
  const double x2 = ((to.x() - control.x()) * ddx + (to.y() - control.y()) * ddy) / cross;
  const double scale = std::abs(cross) / (std::hypot(ddx, ddy) * std::abs(x2 - x0));
  const double a0 = detail::ParabolaIntegral(x0), a2 = detail::ParabolaIntegral(x2);
  double count = std::ceil(0.5 * std::abs(a2 - a0) * std::sqrt(scale / tolerance));
  // A straight curve (cross = 0) leaves NaN: one piece. A huge count means a curve far
  // larger than the target; 1000 pieces still stray less than any pixel it could show.
  if (!std::isfinite(count) || count < 1) count = 1;
  count = std::min(count, 1000.0);
  const double u0 = detail::ParabolaInverseIntegral(a0), u2 = detail::ParabolaInverseIntegral(a2);
  const int pieces = static_cast<int>(count);
  for (int i = 1; i < pieces; ++i) {
    const double u = detail::ParabolaInverseIntegral(a0 + (a2 - a0) * i / count);
    const double t = (u - u0) / (u2 - u0);
    const double s = 1 - t;
    point(QPointF(s * s * from.x() + 2 * s * t * control.x() + t * t * to.x(),
                  s * s * from.y() + 2 * s * t * control.y() + t * t * to.y()));
  }
  point(to);
}

// Reports a bound the renderer applied (once per distinct reason) on standard error,
// the program's log for the engine.
void ReportLimit(std::string_view reason);

}  // namespace vantrel::flash::render
