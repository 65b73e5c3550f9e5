// The static text of a clip as TextSnapshot reads it: the characters of the clip's own
// static text objects in depth order, with where lines start.
#pragma once

#include <QPointF>
#include <QString>
#include <cstdint>
#include <vector>

#include "flash/swf/types.h"

namespace vantrel::flash {

class MovieClip;

struct StaticTextSnapshot {
  QString text;
  std::vector<bool> lineStart;  // per character: a new line of text starts here
  // Per character: where its glyph stands in the clip and how it is drawn.
  struct Glyph {
    Matrix matrix;            // glyph space (font units scaled to the text height) to the clip, twips
    QPointF corners[4];       // its cell (advance x ascent..descent) in the clip, twips
    QString font;
    std::uint32_t color = 0;  // 0xRRGGBB
    double height = 0;        // text height, twips
  };
  std::vector<Glyph> glyphs;
  // Characters from begin to end (clamped: at least one when there are any), with
  // "\n" before each line but the first when lineEndings is set.
  QString Range(int begin, int end, bool lineEndings) const;
  // The first index at or after start where needle starts; -1 when none.
  int Find(int start, const QString& needle, bool caseSensitive) const;
  // The character whose cell is nearest to point (clip coordinates, twips) and no
  // farther than maxDistance; -1 when none.
  int Nearest(QPointF point, double maxDistance) const;
};

StaticTextSnapshot SnapshotOf(const MovieClip& clip);

}  // namespace vantrel::flash
