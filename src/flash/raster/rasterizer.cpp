#include "flash/raster/rasterizer.h"

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

#include "flash/raster/vector_state.h"

namespace vantrel::flash::render {
namespace {

using Prepared = PreparedEdges::SampleEdge;

// How far (device pixels) a straight piece of a curve may stray from it. Finer than a
// sample step: the player's curves come out rounder than a quarter-pixel cut.
constexpr double kCurveTolerance = 0.1;
// The same tenth of a pixel in a shape's own space, in twips.
constexpr double kShapeCurveTolerance = 2.0;
// The finest cut of a shape drawn small (a glyph's outline is a shape of 1,024 or 20,480
// units to the em), in device pixels.
constexpr double kFinestCurveTolerance = 0.01;

struct Crossing {
  double x;
  std::uint32_t edge;
};

using SpanRecord = PreparedEdges::Span;

// What a pass knows of one fill, kept together: shapes with thousands of fills visit
// them in no order, and one cache line per fill is cheaper than three.
struct FillState {
  int winding = 0;
  Pixel color = 0;  // the colour of a solid paint
  // 0 = not looked at yet this pass, 1 = solid, 2 = shaded per pixel, 3 = no paint.
  std::uint8_t kind = 0;
};

// What a pass needs besides the edges and paints, kept per thread between passes so
// that drawing many small shapes allocates nothing. Between passes the windings are
// zero and no spans are held.
struct Scratch {
  std::vector<FillState> fills;
  std::vector<std::uint32_t> touched;
  std::vector<std::uint32_t> inside;
  std::vector<Pixel> shade;
  std::vector<Pixel> before;
  std::vector<Crossing> crossings;
  std::vector<Crossing> merged;
  // The spans of the pixel row being drawn, sample row after sample row: sample row s
  // has spans rowStart[s]..rowStart[s + 1]-1.
  std::vector<SpanRecord> spans;
  std::size_t rowStart[5] = {};
  // Shaded fills of the row: the pixels each touches (shadeMin > shadeMax between
  // rows) and where its colours start in shadePool.
  std::vector<std::uint32_t> shaded;
  std::vector<int> shadeMin, shadeMax;
  std::vector<std::ptrdiff_t> shadeAt;
  std::vector<Pixel> shadePool;
  // Sample counts of the pixels of a row of one fill (ComposeOneFill).
  std::vector<std::int32_t> partial, whole;
};

template <typename T>
void GrowTo(std::vector<T>& v, std::size_t size, const T& value) {
  if (v.size() < size) v.resize(size, value);
}

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
  RowPass(const Target& target, const QRect& clip, std::span<const Paint* const> paints, FillRule rule, int n,
          Scratch& scratch)
      : image_(*target.image), clip_(clip), paints_(paints), rule_(rule), n_(n), width_(clip.width()),
        coverage_(target.coverage), coverageOrigin_(target.coverageOrigin), coverageRuns_(target.coverageRuns),
        drawn_(target.drawn), s_(scratch) {
    const std::size_t width = static_cast<std::size_t>(width_);
    if (coverage_) {
      GrowTo(s_.before, width, Pixel{0});
      coverageWidth_ = coverage_->width();
      coverageHeight_ = coverage_->height();
      coverageBits_ = coverage_->constBits();
      coverageStride_ = coverage_->bytesPerLine();
    }
    // Rows are found from the first pixel (scanLine would check for sharing each time).
    bits_ = image_.bits();
    stride_ = image_.bytesPerLine();
    GrowTo(s_.fills, paints.size() + 1, FillState{});
    for (std::size_t i = 0; i <= paints.size(); ++i) s_.fills[i].kind = 0;
    GrowTo(s_.shadeMin, paints.size() + 1, 0);
    GrowTo(s_.shadeMax, paints.size() + 1, -1);
    GrowTo(s_.shadeAt, paints.size() + 1, std::ptrdiff_t{0});
    GrowTo(s_.shade, width, Pixel{0});
    if (n > 1) {
      GrowTo(s_.partial, width + 2, std::int32_t{0});
      GrowTo(s_.whole, width + 2, std::int32_t{0});
    }
    s_.spans.clear();
    shift_ = n == 4 ? 4 : n == 2 ? 2 : 0;
    sampleShift_ = n == 4 ? 2 : n == 2 ? 1 : 0;
  }

  // Draws the spans kept by an earlier pass with the same clip.
  void Replay(const PreparedEdges::SpanCache& cache) {
    for (int r = 0; r < clip_.height(); ++r) {
      const std::size_t first = static_cast<std::size_t>(r) * static_cast<std::size_t>(n_);
      const std::size_t base = cache.rowStart[first];
      if (cache.rowStart[first + static_cast<std::size_t>(n_)] == base) continue;
      if (n_ == 1) {
        // One sample per pixel: each span is drawn as the walk drew it.
        for (std::size_t j = base; j < cache.rowStart[first + 1]; ++j) {
          const SpanRecord& span = cache.spans[j];
          DrawSpan(span.fill, span.from, span.to, clip_.top() + r);
        }
        continue;
      }
      std::size_t starts[5];
      for (int s = 0; s <= n_; ++s) starts[s] = cache.rowStart[first + static_cast<std::size_t>(s)] - base;
      ComposeRow(clip_.top() + r, cache.spans.data() + base, starts);
    }
  }

  // edges: sorted by their first row. keep: where the spans go for Replay (null =
  // nowhere).
  void Run(std::span<const Prepared> edges, PreparedEdges::SpanCache* keep) {
    keeping_ = keep != nullptr;
    if (keep) {
      keep->spans.clear();
      keep->rowStart.clear();
    }
    std::size_t next = 0;
    // The edges crossing the current sample row, kept in x order: from one row to the
    // next the order barely changes, so an insertion sort is nearly linear.
    std::vector<Crossing>& crossings = s_.crossings;
    crossings.clear();
    const std::int64_t sampleLeft = static_cast<std::int64_t>(clip_.left()) * n_;
    const std::int64_t sampleRight = static_cast<std::int64_t>(clip_.left() + width_) * n_;
    for (int py = clip_.top(); py < clip_.top() + clip_.height(); ++py) {
      for (int s = 0; s < n_; ++s) {
        sampleRow_ = s;
        s_.rowStart[s] = s_.spans.size();
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
        InsertionSort(crossings.begin(), crossings.begin() + static_cast<std::ptrdiff_t>(kept));
        if (kept < crossings.size()) {
          if (crossings.size() - kept <= 16) {
            InsertionSort(crossings.begin() + static_cast<std::ptrdiff_t>(kept), crossings.end());
          } else {
            std::sort(crossings.begin() + static_cast<std::ptrdiff_t>(kept), crossings.end(), byX);
          }
          if (kept > 0) {
            s_.merged.clear();
            std::merge(crossings.begin(), crossings.begin() + static_cast<std::ptrdiff_t>(kept),
                       crossings.begin() + static_cast<std::ptrdiff_t>(kept), crossings.end(),
                       std::back_inserter(s_.merged), byX);
            crossings.swap(s_.merged);
          }
        }
        WalkRow(edges, crossings, sampleLeft, sampleRight, py);
      }
      s_.rowStart[n_] = s_.spans.size();
      if (keep) Keep(*keep);
      if (n_ > 1 && !s_.spans.empty()) ComposeRow(py, s_.spans.data(), s_.rowStart);
      s_.spans.clear();
      if (next >= edges.size() && crossings.empty()) break;
    }
    if (!keep) return;
    if (keep->tooLarge) {
      keep->spans = {};
      keep->rowStart = {};
      return;
    }
    // Rows after the last edge have no spans.
    const std::size_t rows = static_cast<std::size_t>(clip_.height()) * static_cast<std::size_t>(n_);
    keep->rowStart.resize(rows + 1, static_cast<std::uint32_t>(keep->spans.size()));
    keep->complete = true;
  }

  // Adds the spans of the pixel row just walked to keep.
  void Keep(PreparedEdges::SpanCache& keep) {
    if (keep.tooLarge) return;
    if (keep.spans.size() + s_.spans.size() > PreparedEdges::kMaxKeptSpans) {
      keep.tooLarge = true;
      return;
    }
    const auto base = static_cast<std::uint32_t>(keep.spans.size());
    for (int s = 0; s < n_; ++s) keep.rowStart.push_back(base + static_cast<std::uint32_t>(s_.rowStart[s]));
    keep.spans.insert(keep.spans.end(), s_.spans.begin(), s_.spans.end());
  }

 private:
  static void InsertionSort(std::vector<Crossing>::iterator first, std::vector<Crossing>::iterator last) {
    if (first == last) return;
    for (auto i = first + 1; i < last; ++i) {
      const Crossing moving = *i;
      auto j = i;
      while (j > first && (j - 1)->x > moving.x) {
        *j = *(j - 1);
        --j;
      }
      *j = moving;
    }
  }

  bool Inside(int w) const { return rule_ == FillRule::NonZero ? w != 0 : (w & 1) != 0; }

  void Toggle(std::uint32_t fill, int delta) {
    if (fill == 0 || delta == 0) return;
    int& winding = s_.fills[fill].winding;
    const bool was = Inside(winding);
    if (winding == 0) s_.touched.push_back(fill);
    winding += delta;
    const bool now = Inside(winding);
    if (was == now) return;
    if (now) {
      s_.inside.push_back(fill);
    } else {
      std::erase(s_.inside, fill);
    }
  }

  std::uint32_t Top() const {
    std::uint32_t top = 0;
    for (const std::uint32_t f : s_.inside) top = std::max(top, f);
    return top;
  }

  void WalkRow(std::span<const Prepared> edges, const std::vector<Crossing>& crossings, std::int64_t sampleLeft,
               std::int64_t sampleRight, int py) {
    for (std::size_t i = 0; i + 1 <= crossings.size(); ++i) {
      const Prepared& edge = edges[crossings[i].edge];
      Toggle(edge.right, edge.winding);
      Toggle(edge.left, -edge.winding);
      if (i + 1 == crossings.size()) break;
      if (s_.inside.empty()) continue;
      const std::uint32_t top = Top();
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
        if (keeping_) AddSamples(top, from - sampleLeft, to - sampleLeft);
      } else {
        AddSamples(top, from - sampleLeft, to - sampleLeft);
      }
    }
    for (const std::uint32_t f : s_.touched) s_.fills[f].winding = 0;
    s_.touched.clear();
    s_.inside.clear();
  }

  // The fill's state with its paint looked at (once a pass).
  FillState& Resolve(std::uint32_t fill) {
    FillState& state = s_.fills[fill];
    if (state.kind == 0) {
      const Paint* paint = fill <= paints_.size() ? paints_[fill - 1] : nullptr;
      Pixel solid = 0;
      state.kind = !paint ? 3 : paint->IsSolid(&solid) ? 1 : 2;
      state.color = solid;
    }
    return state;
  }

  // True (with its colour) when fill's paint has one colour.
  bool SolidColor(std::uint32_t fill, Pixel* color) {
    const FillState& state = Resolve(fill);
    *color = state.color;
    return state.kind == 1;
  }

  // Pixels from..to-1 (relative to the clip) of row py, wholly in fill: the fill over
  // each pixel, and under a mask the pixel moved that far towards it by the coverage.
  void DrawSpan(std::uint32_t fill, int from, int to, int py) {
    const Paint* paint = fill <= paints_.size() ? paints_[fill - 1] : nullptr;
    if (!paint) return;
    Pixel* row = ImageRow(py) + clip_.left();
    const Pixel* mask = nullptr;
    if (coverage_) {
      const int cy = py - coverageOrigin_.y();
      if (cy < 0 || cy >= coverageHeight_) return;  // nothing shows outside the coverage
      const int offset = clip_.left() - coverageOrigin_.x();  // coverage column of row[0]
      from = std::max(from, -offset);
      to = std::min(to, coverageWidth_ - offset);
      if (from >= to) return;
      mask = CoverageRow(cy) + offset;
      if (coverageRuns_ && coverageRuns_->Known(cy)) {
        // Only the runs where the coverage shows anything are drawn; whole runs are
        // drawn as without a mask.
        for (const CoverageRuns::Run& run : coverageRuns_->Row(cy)) {
          if (run.from - offset >= to) break;
          const int a = std::max(from, run.from - offset), b = std::min(to, run.to - offset);
          if (a < b) DrawSpanPart(fill, *paint, row, run.whole ? nullptr : mask, a, b, py);
        }
        return;
      }
    }
    DrawSpanPart(fill, *paint, row, mask, from, to, py);
  }

  void DrawSpanPart(std::uint32_t fill, const Paint& paint, Pixel* row, const Pixel* mask, int from, int to, int py) {
    if (from >= to) return;
    Pixel solid = 0;
    const bool isSolid = SolidColor(fill, &solid);
    if (drawn_) {
      const bool opaque = !mask && isSolid && Alpha(solid) == 255;
      drawn_->Add(py, clip_.left() + from, clip_.left() + to, opaque);
      if (opaque && drawn_->SkipsOpaque()) return;
    }
    const Pixel* shade = s_.shade.data();
    if (!isSolid) paint.Shade(py, clip_.left() + from, clip_.left() + to, s_.shade.data() + from);
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

  // Samples from..to-1 (sample columns relative to the clip) of the current sample row
  // go to fill. Spans come left to right; one that continues the last one's fill joins it.
  void AddSamples(std::uint32_t fill, std::int64_t from, std::int64_t to) {
    auto& spans = s_.spans;
    // With one sample per pixel spans are drawn one by one (a paint shades each from its
    // own start), so they stay apart.
    if (n_ > 1 && spans.size() > s_.rowStart[sampleRow_] && spans.back().fill == fill && spans.back().to == from) {
      spans.back().to = static_cast<std::int32_t>(to);
      return;
    }
    spans.push_back({static_cast<std::int32_t>(from), static_cast<std::int32_t>(to), fill});
  }

  // The colour fill's paint gives pixel x of the row being composed.
  Pixel ColorAt(std::uint32_t fill, int x) const {
    const FillState& state = s_.fills[fill];
    return state.kind == 1 ? state.color : s_.shadePool[static_cast<std::size_t>(s_.shadeAt[fill] + x)];
  }

  // Each pixel becomes the mix of what every fill would make of it at full coverage,
  // weighted by the samples the fill got, and of the pixel itself for the samples no
  // fill got; the mix is truncated as the player does (half-covered black on white is
  // 127, not 128). The row's spans (one list per sample row) are walked together:
  // pixels that one fill covers on every sample row are drawn as a run, the others
  // (along edges) are mixed one by one.
  void ComposeRow(int py, const SpanRecord* spans, const std::size_t* rowStart) {
    const int n = n_;
    auto* row = ImageRow(py) + clip_.left();
    // The pixels touched, and the colours of the fills that are not one colour over
    // the pixels each touches (asked of the paint over that stretch, first to last).
    int touchedMin = width_, touchedMax = -1;
    bool oneFill = true;
    s_.shaded.clear();
    for (std::size_t j = 0; j < rowStart[n]; ++j) {
      const SpanRecord& span = spans[j];
      oneFill = oneFill && span.fill == spans[0].fill;
      const int first = span.from >> sampleShift_, last = (span.to - 1) >> sampleShift_;
      touchedMin = std::min(touchedMin, first);
      touchedMax = std::max(touchedMax, last);
      if (Resolve(span.fill).kind != 2) continue;
      if (s_.shadeMin[span.fill] > s_.shadeMax[span.fill]) {
        s_.shaded.push_back(span.fill);
        s_.shadeMin[span.fill] = first;
        s_.shadeMax[span.fill] = last;
      } else {
        s_.shadeMin[span.fill] = std::min(s_.shadeMin[span.fill], first);
        s_.shadeMax[span.fill] = std::max(s_.shadeMax[span.fill], last);
      }
    }
    s_.shadePool.clear();
    for (const std::uint32_t fill : s_.shaded) {
      const int minX = s_.shadeMin[fill], maxX = s_.shadeMax[fill];
      const std::size_t offset = s_.shadePool.size();
      s_.shadePool.resize(offset + static_cast<std::size_t>(maxX - minX + 1));
      paints_[fill - 1]->Shade(py, clip_.left() + minX, clip_.left() + maxX + 1, s_.shadePool.data() + offset);
      s_.shadeAt[fill] = static_cast<std::ptrdiff_t>(offset) - minX;
      s_.shadeMin[fill] = 0;
      s_.shadeMax[fill] = -1;
    }
    if (touchedMin > touchedMax) return;
    // Under a mask whose runs are known a row of one fill is drawn only where the
    // coverage shows, and mixed by it as it is drawn.
    const int cy = py - coverageOrigin_.y();
    if (oneFill && coverage_ && coverageRuns_ && (cy < 0 || cy >= coverageHeight_)) return;
    if (oneFill && coverage_ && coverageRuns_ && coverageRuns_->Known(cy)) {
      const int offset = clip_.left() - coverageOrigin_.x();  // coverage column of row[0]
      rowClip_ = {true, coverageRuns_->Row(cy), 0, offset, CoverageRow(cy) + offset, std::max(0, -offset),
                  std::min(width_, coverageWidth_ - offset)};
      ComposeOneFill(py, spans, rowStart, row);
      rowClip_.active = false;
      return;
    }
    // Otherwise the row is composed as usual, then each pixel moves from what it was
    // towards the result by the mask's coverage there.
    if (coverage_) std::copy(row + touchedMin, row + touchedMax + 1, s_.before.begin() + touchedMin);
    if (oneFill) {
      ComposeOneFill(py, spans, rowStart, row);
    } else {
      ComposeFills(py, spans, rowStart, row, touchedMin, touchedMax);
    }
    if (coverage_) ApplyCoverage(py, row, touchedMin, touchedMax);
  }

  // Pixels from..to-1 of row, drawn by draw(a, b) stretch by stretch: all of them, or
  // under a mask (rowClip_) only where the coverage shows, moved by it where partial.
  // Calls on one row come left to right.
  template <typename DrawFn>
  void Clipped(Pixel* row, int from, int to, DrawFn&& draw) {
    RowClip& c = rowClip_;
    if (!c.active) {
      draw(from, to);
      return;
    }
    from = std::max(from, c.lo);
    to = std::min(to, c.hi);
    while (c.next < c.runs.size() && c.runs[c.next].to - c.offset <= from) ++c.next;
    for (std::size_t k = c.next; k < c.runs.size() && c.runs[k].from - c.offset < to; ++k) {
      const int a = std::max(from, c.runs[k].from - c.offset), b = std::min(to, c.runs[k].to - c.offset);
      if (a >= b) continue;
      if (c.runs[k].whole) {
        draw(a, b);
        continue;
      }
      std::copy(row + a, row + b, s_.before.begin() + a);
      draw(a, b);
      MixCoverage(row, c.mask, a, b);
    }
  }

  // ComposeRow's pixels touchedMin..touchedMax of row, with any number of fills.
  void ComposeFills(int py, const SpanRecord* spans, const std::size_t* rowStart, Pixel* row, int touchedMin,
                    int touchedMax) {
    const int n = n_;
    std::size_t at[4], end[4];
    for (int s = 0; s < n; ++s) {
      at[s] = rowStart[s];
      end[s] = rowStart[s + 1];
    }
    int x = touchedMin;
    while (x <= touchedMax) {
      const std::int32_t left = x * n, right = left + n;  // pixel x's samples
      bool any = false, uniform = true;
      std::uint32_t fill = 0;
      std::int32_t nextStart = INT32_MAX, runEnd = INT32_MAX;
      for (int s = 0; s < n; ++s) {
        while (at[s] < end[s] && spans[at[s]].to <= left) ++at[s];
        if (at[s] == end[s]) {
          uniform = false;
          continue;
        }
        const SpanRecord& span = spans[at[s]];
        nextStart = std::min(nextStart, span.from);
        if (span.from < right) any = true;
        if (span.from > left || span.to < right || (s > 0 && span.fill != fill)) uniform = false;
        fill = span.fill;
        runEnd = std::min(runEnd, span.to);
      }
      if (uniform) {
        const int to = std::min(runEnd >> sampleShift_, touchedMax + 1);
        DrawRun(fill, row, x, to, py);
        x = to;
        continue;
      }
      if (!any) {
        if (nextStart == INT32_MAX) break;
        x = nextStart >> sampleShift_;
        continue;
      }
      if (MixPixel(spans, row, x, left, right, at, end) && drawn_) drawn_->Add(py, clip_.left() + x, clip_.left() + x + 1, false);
      ++x;
    }
  }

  // ComposeRow for a row whose spans all belong to one fill (a stroke, a shape of one
  // fill: most rows): each pixel's samples are counted in one pass over the spans, and
  // the pixels touched are walked stretch by stretch, the same pixels as ComposeFills
  // makes.
  void ComposeOneFill(int py, const SpanRecord* spans, const std::size_t* rowStart, Pixel* row) {
    const std::uint32_t fill = spans[0].fill;
    if (Resolve(fill).kind == 3) return;  // no paint: nothing drawn
    const int n = n_;
    const int all = n * n, step = n;  // samples of a pixel, of one of its sample rows
    // partial[x]: samples of pixel x in sample rows that cover it partly; whole: how
    // many sample rows cover it fully, kept as a difference (+n where such a stretch
    // starts, -n past its end).
    std::int32_t* partial = s_.partial.data();
    std::int32_t* whole = s_.whole.data();
    std::size_t at[4], end[4];
    for (int s = 0; s < n; ++s) {
      at[s] = rowStart[s];
      end[s] = rowStart[s + 1];
    }
    int first = 0, last = -1;  // the stretch of touched pixels being gathered
    const auto flush = [&] {
      int count = 0;
      for (int x = first; x <= last;) {
        count += whole[x];
        const int c = count + partial[x];
        if (c >= all) {
          // A run of fully covered pixels.
          int to = x + 1;
          int next = count;
          while (to <= last) {
            // Where no span starts or ends, whole sample rows stay whole.
            if (next >= all) to = SkipUnchanged(partial, whole, to, last + 1);
            if (to > last) break;
            next += whole[to];
            if (next + partial[to] < all) break;
            count = next;
            ++to;
          }
          if (rowClip_.active) {
            Clipped(row, x, to, [&](int a, int b) { DrawRun(fill, row, a, b, py); });
          } else {
            DrawRun(fill, row, x, to, py);
          }
          x = to;
          if (x <= last) count = next - whole[x];
          continue;
        }
        const auto mix = [&](int a, int) {
          MixOne(row, a, fill, static_cast<std::uint32_t>(c));
          if (drawn_) drawn_->Add(py, clip_.left() + a, clip_.left() + a + 1, false);
        };
        if (rowClip_.active) {
          Clipped(row, x, x + 1, mix);
        } else {
          MixOne(row, x, fill, static_cast<std::uint32_t>(c));
          if (drawn_) drawn_->Add(py, clip_.left() + x, clip_.left() + x + 1, false);
        }
        ++x;
      }
    };
    for (;;) {
      // The next span from the left, whichever sample row it is on.
      int pick = -1;
      for (int s = 0; s < n; ++s)
        if (at[s] < end[s] && (pick < 0 || spans[at[s]].from < spans[at[pick]].from)) pick = s;
      if (pick < 0) break;
      const SpanRecord& span = spans[at[pick]++];
      const int fx = span.from >> sampleShift_, lx = (span.to - 1) >> sampleShift_;
      if (fx > last + 1 || last < first) {
        if (last >= first) flush();
        first = fx;
        last = fx - 1;
      }
      if (lx > last) {
        std::fill(partial + last + 1, partial + lx + 2, 0);
        std::fill(whole + last + 1, whole + lx + 2, 0);
        last = lx;
      }
      if (fx == lx) {
        partial[fx] += span.to - span.from;
        continue;
      }
      partial[fx] += ((fx + 1) << sampleShift_) - span.from;
      partial[lx] += span.to - (lx << sampleShift_);
      if (lx > fx + 1) {
        whole[fx + 1] += step;
        whole[lx] -= step;
      }
    }
    if (last >= first) flush();
  }

  // The first pixel from x on (before end) where partial or whole is not zero, or end.
  static int SkipUnchanged(const std::int32_t* partial, const std::int32_t* whole, int x, int end) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    while (x + 4 <= end) {
      const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(partial + x));
      const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(whole + x));
      if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_or_si128(p, w), zero)) != 0xffff) break;
      x += 4;
    }
#endif
    while (x < end && partial[x] == 0 && whole[x] == 0) ++x;
    return x;
  }

  // Pixel x with count of its samples in fill (less than all), the rest keeping the
  // pixel: as MixPixel makes it.
  void MixOne(Pixel* row, int x, std::uint32_t fill, std::uint32_t count) {
    const Pixel d = row[x];
    const Pixel full = SourceOver(ColorAt(fill, x), d);
    const std::uint32_t rest = static_cast<std::uint32_t>(n_ * n_) - count;
    row[x] = Pack((Alpha(full) * count + Alpha(d) * rest) >> shift_, (Red(full) * count + Red(d) * rest) >> shift_,
                  (Green(full) * count + Green(d) * rest) >> shift_, (Blue(full) * count + Blue(d) * rest) >> shift_);
  }

  // Pixels from..to-1 wholly in fill.
  void DrawRun(std::uint32_t fill, Pixel* row, int from, int to, int py) {
    const FillState& state = Resolve(fill);
    if (state.kind == 3) return;
    if (drawn_) {
      const bool opaque = !coverage_ && state.kind == 1 && Alpha(state.color) == 255;
      drawn_->Add(py, clip_.left() + from, clip_.left() + to, opaque);
      if (opaque && drawn_->SkipsOpaque()) return;
    }
    if (state.kind == 1) {
      const Pixel solid = state.color;
      if (Alpha(solid) == 255) {
        FillPixels(row + from, to - from, solid);
      } else {
        for (int x = from; x < to; ++x) row[x] = SourceOver(solid, row[x]);
      }
      return;
    }
    for (int x = from; x < to; ++x) row[x] = SourceOver(ColorAt(fill, x), row[x]);
  }

  // Pixel x (samples left..right-1 of each sample row), shared by several fills or
  // partly covered. False when no fill there has a paint (nothing drawn).
  bool MixPixel(const SpanRecord* spans, Pixel* row, int x, std::int32_t left, std::int32_t right,
                const std::size_t* at, const std::size_t* end) {
    // The samples of each fill; a pixel has at most one fill per sample.
    std::uint32_t fills[16], counts[16];
    int distinct = 0;
    for (int s = 0; s < n_; ++s) {
      for (std::size_t j = at[s]; j < end[s] && spans[j].from < right; ++j) {
        const SpanRecord& span = spans[j];
        if (s_.fills[span.fill].kind == 3) continue;
        const auto k = static_cast<std::uint32_t>(std::min(span.to, right) - std::max(span.from, left));
        int i = 0;
        while (i < distinct && fills[i] != span.fill) ++i;
        if (i == distinct) {
          if (distinct == 16) continue;  // cannot happen: 16 samples
          fills[distinct] = span.fill;
          counts[distinct++] = 0;
        }
        counts[i] += k;
      }
    }
    if (distinct == 0) return false;
    const Pixel d = row[x];
    const std::uint32_t all = static_cast<std::uint32_t>(n_ * n_);
    std::uint32_t a = 0, r = 0, g = 0, b = 0, covered = 0;
    for (int i = 0; i < distinct; ++i) {
      const Pixel full = SourceOver(ColorAt(fills[i], x), d);
      a += Alpha(full) * counts[i];
      r += Red(full) * counts[i];
      g += Green(full) * counts[i];
      b += Blue(full) * counts[i];
      covered += counts[i];
    }
    const std::uint32_t rest = covered >= all ? 0 : all - covered;
    row[x] = Pack((a + Alpha(d) * rest) >> shift_, (r + Red(d) * rest) >> shift_, (g + Green(d) * rest) >> shift_,
                  (b + Blue(d) * rest) >> shift_);
    return true;
  }

  void ApplyCoverage(int py, Pixel* row, int from, int to) {
    const Pixel* before = s_.before.data();
    const int cy = py - coverageOrigin_.y();
    const int offset = clip_.left() - coverageOrigin_.x();  // coverage column of row[0]
    const Pixel* mask = cy >= 0 && cy < coverageHeight_ ? CoverageRow(cy) : nullptr;
    // Pixels left or right of the coverage image keep what they were.
    const int inFrom = mask ? std::max(from, -offset) : to + 1;
    const int inTo = mask ? std::min(to, coverageWidth_ - 1 - offset) : to;
    for (int x = from; x < std::min(inFrom, to + 1); ++x) row[x] = before[x];
    for (int x = std::max(inTo + 1, from); x <= to; ++x) row[x] = before[x];
    if (mask && coverageRuns_ && coverageRuns_->Known(cy) && inFrom <= inTo) {
      // Between runs the row keeps what it was, whole runs keep what was drawn, and
      // only partial runs are mixed.
      int x = inFrom;
      for (const CoverageRuns::Run& run : coverageRuns_->Row(cy)) {
        const int a = std::clamp(run.from - offset, x, inTo + 1), b = std::clamp(run.to - offset, a, inTo + 1);
        std::copy(before + x, before + a, row + x);
        if (!run.whole) MixCoverage(row, mask + offset, a, b);
        x = b;
        if (x > inTo) break;
      }
      std::copy(before + x, before + inTo + 1, row + x);
      return;
    }
    MixCoverage(row, mask ? mask + offset : nullptr, inFrom, inTo + 1);
  }

  // Pixels from..to-1 of row move from what they were before the row was composed
  // towards what it made of them by the coverage (mask[x] for pixel x).
  void MixCoverage(Pixel* row, const Pixel* mask, int from, int to) {
    const Pixel* before = s_.before.data();
    for (int x = from; x < to; ++x) {
      const Pixel old = before[x];
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

  Pixel* ImageRow(int y) const { return reinterpret_cast<Pixel*>(bits_ + stride_ * y); }
  const Pixel* CoverageRow(int y) const { return reinterpret_cast<const Pixel*>(coverageBits_ + coverageStride_ * y); }

  // The coverage runs of the row being composed (ComposeRow, Clipped).
  struct RowClip {
    bool active = false;
    std::span<const CoverageRuns::Run> runs;
    std::size_t next = 0;         // the first run not wholly left of what was drawn last
    int offset = 0;               // coverage column of row[0]
    const Pixel* mask = nullptr;  // the coverage row, mask[x] under row[x]
    int lo = 0, hi = 0;           // the row's pixels lo..hi-1 lie on the coverage
  } rowClip_;

  QImage& image_;
  QRect clip_;
  std::span<const Paint* const> paints_;
  FillRule rule_;
  int n_;
  int width_;
  int shift_ = 0;        // log2 of the samples per pixel
  int sampleShift_ = 0;  // log2 of the samples per pixel side
  int sampleRow_ = 0;    // of the pixel row, being walked
  bool keeping_ = false;  // spans are kept for Replay
  const QImage* coverage_ = nullptr;
  const uchar* coverageBits_ = nullptr;
  qsizetype coverageStride_ = 0;
  uchar* bits_ = nullptr;
  qsizetype stride_ = 0;

  QPoint coverageOrigin_;
  const CoverageRuns* coverageRuns_ = nullptr;
  int coverageWidth_ = 0, coverageHeight_ = 0;
  DrawnStretches* drawn_ = nullptr;
  Scratch& s_;
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
  // A shape drawn small (text above all) is still cut nearly where the player cuts it:
  // at low quality a tenth of a pixel inside a glyph's curve moves its edge off pixel
  // centres. Finer than a hundredth of a device pixel would only cost time.
  const double device = 1 / std::max(scale, 1e-9);
  return std::clamp(kShapeCurveTolerance, kFinestCurveTolerance * device, 0.5 * device);
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
        // Quadratic curves are cut as the quadratics they are.
        QPointF control;
        if (QuadraticOfCubic(at, c1, c2, end, control)) {
          FlattenQuadratic(at, control, end, pathTolerance, [&](QPointF point) { line(point); });
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
  spanCache_ = SpanCache();
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
  const auto bound = [](double v) { return std::isnan(v) ? 0 : static_cast<int>(std::clamp(v, -1e8, 1e8)); };
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
  ClearUpperVectorState();
  if (target.image->format() != QImage::Format_ARGB32_Premultiplied && target.image->format() != QImage::Format_RGB32)
    return;
  QRect clip = target.image->rect();
  if (!target.clip.isEmpty()) clip &= target.clip;
  // Fills lie between edges, so the edges' bounds limit the pass.
  clip &= edges.bounds_;
  if (clip.isEmpty()) return;
  // Edges above the clip are passed over as the pass starts; those below it are never
  // reached.
  // One scratch per thread; a paint never draws, so passes do not nest.
  thread_local Scratch scratch;
  RowPass pass(target, clip, paints, rule, edges.n_, scratch);
  PreparedEdges::SpanCache& cache = edges.spanCache_;
  if (cache.clip != clip || cache.rule != rule) {
    cache = PreparedEdges::SpanCache();
    cache.clip = clip;
    cache.rule = rule;
  }
  if (cache.complete) {
    pass.Replay(cache);
    return;
  }
  // A drawing seen once is not kept: most are not drawn again the same way.
  cache.fills = std::min(cache.fills + 1, 2);
  pass.Run(edges.edges_, cache.fills >= 2 && !cache.tooLarge ? &cache : nullptr);
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

namespace {

// Appends a run to the row being built (the last run of out belongs to it when
// rowStart says so), joining it to the run before when they meet and are alike.
void PushRun(CoverageRuns& out, int from, int to, bool whole) {
  if (from >= to) return;
  if (out.runs.size() > out.rowStart.back() && out.runs.back().to == from && out.runs.back().whole == whole) {
    out.runs.back().to = to;
    return;
  }
  out.runs.push_back({from, to, whole});
}

// The runs of pixels from..to-1 of one row, looking at each pixel.
void ScanRuns(CoverageRuns& out, const Pixel* p, int from, int to) {
  int x = from;
  while (x < to) {
    while (x < to && p[x] == 0) ++x;
    if (x >= to) break;
    const int start = x;
    if (Alpha(p[x]) == 255) {
      while (x < to && Alpha(p[x]) == 255) ++x;
      PushRun(out, start, x, true);
    } else {
      while (x < to && p[x] != 0 && Alpha(p[x]) != 255) ++x;
      PushRun(out, start, x, false);
    }
  }
}

}  // namespace

void DrawnStretches::Erase(QImage& image) const {
  const int width = image.width(), height = std::min(image.height(), height_);
  auto* bits = image.bits();
  const qsizetype stride = image.bytesPerLine();
  for (const Stretch& s : stretches_) {
    if (s.y >= height || (s.opaque && skipOpaque_)) continue;
    const int from = std::clamp(s.from, 0, width), to = std::clamp(s.to, from, width);
    std::fill_n(reinterpret_cast<Pixel*>(bits + stride * s.y) + from, to - from, Pixel{0});
  }
}

void ClearPartialRuns(QImage& coverage, const CoverageRuns& runs) {
  const int width = coverage.width(), height = coverage.height();
  auto* bits = coverage.bits();
  const qsizetype stride = coverage.bytesPerLine();
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<Pixel*>(bits + stride * y);
    for (const CoverageRuns::Run& run : runs.Row(y)) {
      if (run.whole) continue;
      const int from = std::clamp(run.from, 0, width), to = std::clamp(run.to, from, width);
      std::fill(row + from, row + to, Pixel{0});
    }
  }
}

CoverageRuns DrawnStretches::Runs(const QImage& image) const {
  CoverageRuns out;
  const int width = image.width();
  const int height = std::min(image.height(), height_);
  out.rowStart.reserve(static_cast<std::size_t>(std::max(0, height)) + 1);
  out.runs.reserve(stretches_.size());
  std::vector<Stretch> row;
  std::vector<std::pair<int, int>> opaque;
  for (int y = 0; y < height; ++y) {
    out.rowStart.push_back(static_cast<std::uint32_t>(out.runs.size()));
    row.clear();
    for (std::uint32_t i = head_[static_cast<std::size_t>(y)]; i != kNone; i = stretches_[i].next)
      row.push_back(stretches_[i]);
    if (row.empty()) continue;
    // Each drawing notes a row's stretches left to right: a row drawn more than once
    // is put in order.
    const auto byFrom = [](const Stretch& a, const Stretch& b) { return a.from < b.from; };
    if (!std::is_sorted(row.begin(), row.end(), byFrom)) std::sort(row.begin(), row.end(), byFrom);
    if (std::all_of(row.begin(), row.end(), [](const Stretch& s) { return s.opaque; })) {
      // Only opaque drawing (a mask of solid fills): the stretches joined are the runs.
      const std::size_t rowFirst = out.runs.size();
      for (const Stretch& s : row) {
        const int from = std::clamp(s.from, 0, width), to = std::clamp(s.to, from, width);
        if (from >= to) continue;
        if (out.runs.size() > rowFirst && from <= out.runs.back().to) {
          out.runs.back().to = std::max(out.runs.back().to, to);
        } else {
          out.runs.push_back({from, to, true});
        }
      }
      continue;
    }
    // The pixels some opaque drawing covered are whole whatever came before or after.
    opaque.clear();
    for (const Stretch& s : row) {
      if (!s.opaque) continue;
      const int from = std::clamp(s.from, 0, width), to = std::clamp(s.to, from, width);
      if (!opaque.empty() && from <= opaque.back().second) {
        opaque.back().second = std::max(opaque.back().second, to);
      } else if (from < to) {
        opaque.emplace_back(from, to);
      }
    }
    const auto* pixels = reinterpret_cast<const Pixel*>(image.constScanLine(y));
    std::size_t next = 0;  // the first opaque stretch not wholly left of x
    int x = 0;             // pixels left of x have their runs
    for (const Stretch& s : row) {
      const int from = std::clamp(std::max(s.from, x), 0, width), to = std::clamp(s.to, from, width);
      // Between the opaque stretches the pixels are looked at.
      int at = from;
      while (at < to) {
        while (next < opaque.size() && opaque[next].second <= at) ++next;
        if (next < opaque.size() && opaque[next].first <= at) {
          const int end = std::min(to, opaque[next].second);
          PushRun(out, at, end, true);
          at = end;
          continue;
        }
        const int end = next < opaque.size() ? std::min(to, opaque[next].first) : to;
        ScanRuns(out, pixels, at, end);
        at = end;
      }
      x = std::max(x, to);
    }
  }
  out.rowStart.push_back(static_cast<std::uint32_t>(out.runs.size()));
  return out;
}

void MultiplyCoverage(Pixel* row, const Pixel* outer, int from, int to) {
  for (int x = from; x < to; ++x) {
    const Pixel p = row[x];
    if (p == 0) continue;
    const std::uint32_t m = Alpha(outer[x]);
    if (m == 255) continue;
    row[x] = m == 0 ? 0 : Pack(Div255(Alpha(p) * m), Div255(Red(p) * m), Div255(Green(p) * m), Div255(Blue(p) * m));
  }
}

CoverageRuns IntersectCoverageRuns(const CoverageRuns& inner, const CoverageRuns& outer, QPoint shift,
                                   const QImage& outerCoverage, QImage& coverage) {
  CoverageRuns out;
  const int height = coverage.height(), width = coverage.width();
  out.rowStart.reserve(static_cast<std::size_t>(std::max(0, height)) + 1);
  out.runs.reserve(inner.runs.size());
  uchar* bits = coverage.bits();
  const qsizetype stride = coverage.bytesPerLine();
  const uchar* outerBits = outerCoverage.constBits();
  const qsizetype outerStride = outerCoverage.bytesPerLine();
  for (int y = 0; y < height; ++y) {
    out.rowStart.push_back(static_cast<std::uint32_t>(out.runs.size()));
    const int oy = y + shift.y();
    if (!outer.Known(oy) || oy >= outerCoverage.height()) continue;  // the outer coverage shows nothing here
    const auto a = inner.Row(y), b = outer.Row(oy);
    if (a.empty() || b.empty()) continue;
    auto* pixels = reinterpret_cast<Pixel*>(bits + stride * y);
    // outerPixels[x] lies under pixels[x].
    const auto* outerPixels = reinterpret_cast<const Pixel*>(outerBits + outerStride * oy) + shift.x();
    std::size_t j = 0;
    for (const CoverageRuns::Run& run : a) {
      while (j < b.size() && b[j].to - shift.x() <= run.from) ++j;
      for (std::size_t k = j; k < b.size() && b[k].from - shift.x() < run.to; ++k) {
        const int from = std::clamp(std::max(run.from, b[k].from - shift.x()), 0, width);
        const int to = std::clamp(std::min(run.to, b[k].to - shift.x()), from, width);
        if (from >= to) continue;
        if (b[k].whole) {
          // Whole outside: the inner pixels as they are.
          PushRun(out, from, to, run.whole);
        } else if (run.whole) {
          // Whole inside: the outer pixels.
          std::copy(outerPixels + from, outerPixels + to, pixels + from);
          PushRun(out, from, to, false);
        } else {
          MultiplyCoverage(pixels, outerPixels, from, to);
          ScanRuns(out, pixels, from, to);
        }
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
