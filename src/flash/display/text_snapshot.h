// The static text of a clip as TextSnapshot reads it: the characters of the clip's own
// static text objects in depth order, with where lines start.
#pragma once

#include <QString>
#include <vector>

namespace vantrel::flash {

class MovieClip;

struct StaticTextSnapshot {
  QString text;
  std::vector<bool> lineStart;  // per character: a new line of text starts here
  // Characters from begin to end (clamped: at least one when there are any), with
  // "\n" before each line but the first when lineEndings is set.
  QString Range(int begin, int end, bool lineEndings) const;
  // The first index at or after start where needle starts; -1 when none.
  int Find(int start, const QString& needle, bool caseSensitive) const;
};

StaticTextSnapshot SnapshotOf(const MovieClip& clip);

}  // namespace vantrel::flash
