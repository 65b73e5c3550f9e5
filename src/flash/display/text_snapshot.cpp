#include "flash/display/text_snapshot.h"

#include <algorithm>
#include <cmath>

#include "flash/character/text.h"
#include "flash/display/movie_clip.h"

namespace vantrel::flash {

namespace {

QPointF Apply(const Matrix& m, double x, double y) { return {m.a * x + m.c * y + m.tx, m.b * x + m.d * y + m.ty}; }

StaticTextSnapshot::Glyph GlyphAt(const Matrix& toClip, const TextRecord& record, double x, double advance) {
  StaticTextSnapshot::Glyph g;
  const double scale = record.font ? record.height / record.font->emSize : 0;
  Matrix origin;
  origin.a = origin.d = scale;
  origin.tx = x;
  origin.ty = record.y;
  g.matrix = toClip * origin;
  // The cell reaches from the font's ascent above the baseline to its descent below
  // (the whole height above it for fonts without metrics).
  double ascent = record.height, descent = 0;
  if (record.font && record.font->ascent + record.font->descent > 0) {
    ascent = record.font->ascent * scale;
    descent = record.font->descent * scale;
  }
  g.corners[0] = Apply(toClip, x, record.y - ascent);
  g.corners[1] = Apply(toClip, x + advance, record.y - ascent);
  g.corners[2] = Apply(toClip, x + advance, record.y + descent);
  g.corners[3] = Apply(toClip, x, record.y + descent);
  if (record.font) g.font = record.font->name;
  g.color = (std::uint32_t{record.color.r} << 16) | (std::uint32_t{record.color.g} << 8) | record.color.b;
  g.height = record.height;
  return g;
}

// Distance from point to the quadrilateral's bounding box (0 inside).
double DistanceTo(const QPointF (&corners)[4], QPointF point) {
  double left = corners[0].x(), right = left, top = corners[0].y(), bottom = top;
  for (const QPointF& c : corners) {
    left = std::min(left, c.x());
    right = std::max(right, c.x());
    top = std::min(top, c.y());
    bottom = std::max(bottom, c.y());
  }
  const double dx = std::max({left - point.x(), 0.0, point.x() - right});
  const double dy = std::max({top - point.y(), 0.0, point.y() - bottom});
  return std::hypot(dx, dy);
}

}  // namespace

StaticTextSnapshot SnapshotOf(const MovieClip& clip) {
  StaticTextSnapshot snapshot;
  for (const auto& [depth, child] : clip.Children()) {
    if (!child || child->Kind() != DisplayKind::StaticText || !child->character) continue;
    const auto& text = static_cast<const StaticText&>(*child->character);
    // Each text object after the first starts a line, and so does a record lower down.
    bool first = true;
    bool textStart = !snapshot.text.isEmpty();
    double lineY = 0;
    const Matrix toClip = child->GetMatrix() * text.matrix;
    for (const TextRecord& record : text.records) {
      const bool newLine = (!first && record.y != lineY) || textStart;
      bool startOfRecord = true;
      double x = record.x;
      for (const TextRecord::Glyph& glyph : record.glyphs) {
        char16_t code = 0;
        if (record.font && glyph.index < record.font->codes.size()) code = record.font->codes[glyph.index];
        snapshot.text += QChar(code);
        snapshot.lineStart.push_back(newLine && startOfRecord);
        startOfRecord = false;
        snapshot.glyphs.push_back(GlyphAt(toClip, record, x, glyph.advance));
        x += glyph.advance;
      }
      if (!record.glyphs.empty()) {
        first = textStart = false;
        lineY = record.y;
      }
    }
  }
  return snapshot;
}

QString StaticTextSnapshot::Range(int begin, int end, bool lineEndings) const {
  const int count = static_cast<int>(text.size());
  if (count == 0) return {};
  begin = std::clamp(begin, 0, count - 1);
  end = std::clamp(std::max(end, begin + 1), begin + 1, count);
  QString out;
  for (int i = begin; i < end; ++i) {
    if (lineEndings && i > begin && lineStart[static_cast<std::size_t>(i)]) out += '\n';
    out += text[i];
  }
  return out;
}

int StaticTextSnapshot::Nearest(QPointF point, double maxDistance) const {
  int best = -1;
  double bestDistance = 0;
  for (std::size_t i = 0; i < glyphs.size(); ++i) {
    const double distance = DistanceTo(glyphs[i].corners, point);
    if (distance > maxDistance || (best >= 0 && distance >= bestDistance)) continue;
    best = static_cast<int>(i);
    bestDistance = distance;
  }
  return best;
}

int StaticTextSnapshot::Find(int start, const QString& needle, bool caseSensitive) const {
  if (start < 0 || needle.isEmpty()) return -1;
  return static_cast<int>(text.indexOf(needle, start, caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive));
}

}  // namespace vantrel::flash
