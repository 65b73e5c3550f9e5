#include "flash/display/drawing.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "flash/display/movie_clip.h"

namespace vantrel::flash {

void ScriptDrawing::Grow(QPointF p, double margin) {
  // The player keeps drawn points in whole twips, so a point a hair away from the
  // origin gives no extent. Points without a line make empty boxes, which
  // QRectF::united ignores.
  p = QPointF(std::round(p.x()), std::round(p.y()));
  const QRectF box(p.x() - margin, p.y() - margin, 2 * margin, 2 * margin);
  if (!hasExtent) {
    extent = box;
    hasExtent = true;
  } else {
    extent.setCoords(std::min(extent.left(), box.left()), std::min(extent.top(), box.top()),
                     std::max(extent.right(), box.right()), std::max(extent.bottom(), box.bottom()));
  }
  bounds = Rect{static_cast<std::int32_t>(std::floor(extent.left())), static_cast<std::int32_t>(std::ceil(extent.right())),
                static_cast<std::int32_t>(std::floor(extent.top())), static_cast<std::int32_t>(std::ceil(extent.bottom()))};
}

double ScriptDrawing::LineMargin() const {
  if (line == 0 || data.styleSets.empty() || line > data.styleSets[0].lines.size()) return 0;
  return data.styleSets[0].lines[line - 1].width / 2.0;
}

ScriptDrawing* DrawingOf(MovieClip& clip, bool create) {
  auto* drawing = dynamic_cast<ScriptDrawing*>(clip.drawing.get());
  if (!drawing && create) {
    auto made = std::make_shared<ScriptDrawing>();
    made->data.styleSets.emplace_back();
    drawing = made.get();
    clip.drawing = made;
  }
  return drawing;
}

void DropProvisionalClose(ScriptDrawing& d) {
  if (!d.provisionalClose) return;
  d.provisionalClose = false;
  if (!d.data.ops.empty()) d.data.ops.pop_back();
  d.Invalidate();
}

void AddProvisionalClose(ScriptDrawing& d) {
  if (!d.fillOpen || d.pen == d.fillStart || d.data.ops.size() >= kMaxDrawingOps) return;
  PathOp op;
  op.kind = PathOp::Kind::Line;
  op.x = d.fillStart.x();
  op.y = d.fillStart.y();
  d.data.ops.push_back(op);
  d.provisionalClose = true;
}

void AddEdge(ScriptDrawing& d, QPointF to, const QPointF* control) {
  DropProvisionalClose(d);
  if (d.data.ops.size() >= kMaxDrawingOps) return;
  PathOp op;
  op.kind = control ? PathOp::Kind::Curve : PathOp::Kind::Line;
  op.x = to.x();
  op.y = to.y();
  if (control) {
    op.cx = control->x();
    op.cy = control->y();
    d.Grow(*control, d.LineMargin());
  }
  d.data.ops.push_back(op);
  d.Grow(d.pen, d.LineMargin());
  d.Grow(to, d.LineMargin());
  d.pen = to;
  AddProvisionalClose(d);
  d.Invalidate();
}

void CloseFill(ScriptDrawing& d) {
  if (d.fillOpen && d.pen != d.fillStart) AddEdge(d, d.fillStart, nullptr);
}

void StyleOp(ScriptDrawing& d, bool setFill, std::uint32_t fill, bool setLine, std::uint32_t line) {
  DropProvisionalClose(d);
  if (d.data.ops.size() >= kMaxDrawingOps) return;
  PathOp op;
  op.kind = PathOp::Kind::Style;
  op.move = true;
  op.x = d.pen.x();
  op.y = d.pen.y();
  op.setFill0 = setFill;
  op.fill0 = fill;
  op.setFill1 = setFill;
  op.fill1 = 0;
  op.setLine = setLine;
  op.line = line;
  d.data.ops.push_back(op);
  AddProvisionalClose(d);
  d.Invalidate();
}

}  // namespace vantrel::flash
