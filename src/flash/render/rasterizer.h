// The scanline rasterizer. A shape reaches it as straight edges in device pixels, each
// carrying the fill on its left and its right; one pass over the rows samples every
// pixel on a grid (4x4 at high quality, 2x2 at medium, its centre at low), gives each
// sample to the fill it lies in, and blends the pixel's mix of fills over the target
// once. Two fills sharing an edge therefore cover its pixels completely: no seam.
#pragma once

#include <QImage>
#include <QRect>
#include <QTransform>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "flash/render/color.h"

namespace vantrel::flash::render {

// Where drawing goes: the pixels of a premultiplied image inside clip.
struct Target {
  QImage* image = nullptr;  // Format_ARGB32_Premultiplied
  QRect clip;               // device pixels; empty = the whole image
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

// Edges of one pass, built from lines and quadratic curves mapped through a transform.
// Curves are cut into straight pieces that stray at most a tenth of a pixel.
class EdgeList {
 public:
  // The most edges one pass takes; what comes after is dropped (and reported).
  static constexpr std::size_t kMaxEdges = 1u << 20;

  explicit EdgeList(const QTransform& toDevice) : toDevice_(toDevice) {}
  void AddLine(QPointF from, QPointF to, std::uint32_t left, std::uint32_t right);
  void AddCurve(QPointF from, QPointF control, QPointF to, std::uint32_t left, std::uint32_t right);
  // Every closed subpath of path (mapped by inner, then the list's transform) with
  // fill 1 on one side.
  void AddPath(const class QPainterPath& path, const QTransform& inner = QTransform());
  std::span<const Edge> Edges() const { return edges_; }
  bool Truncated() const { return truncated_; }
  bool Empty() const { return edges_.empty(); }

 private:
  void Push(QPointF a, QPointF b, std::uint32_t left, std::uint32_t right);
  QTransform toDevice_;
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

// Reports a bound the renderer applied (once per distinct reason) on standard error,
// the program's log for the engine.
void ReportLimit(std::string_view reason);

}  // namespace vantrel::flash::render
