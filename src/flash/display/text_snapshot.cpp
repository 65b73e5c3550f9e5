#include "flash/display/text_snapshot.h"

#include <algorithm>

#include "flash/display/movie_clip.h"
#include "flash/text.h"

namespace vantrel::flash {

StaticTextSnapshot SnapshotOf(const MovieClip& clip) {
  StaticTextSnapshot snapshot;
  for (const auto& [depth, child] : clip.Children()) {
    if (!child || child->Kind() != DisplayKind::StaticText || !child->character) continue;
    const auto& text = static_cast<const StaticText&>(*child->character);
    // Each text object after the first starts a line, and so does a record lower down.
    bool first = true;
    bool textStart = !snapshot.text.isEmpty();
    double lineY = 0;
    for (const TextRecord& record : text.records) {
      const bool newLine = (!first && record.y != lineY) || textStart;
      bool startOfRecord = true;
      for (const TextRecord::Glyph& glyph : record.glyphs) {
        char16_t code = 0;
        if (record.font && glyph.index < record.font->codes.size()) code = record.font->codes[glyph.index];
        snapshot.text += QChar(code);
        snapshot.lineStart.push_back(newLine && startOfRecord);
        startOfRecord = false;
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

int StaticTextSnapshot::Find(int start, const QString& needle, bool caseSensitive) const {
  if (start < 0 || needle.isEmpty()) return -1;
  return static_cast<int>(text.indexOf(needle, start, caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive));
}

}  // namespace vantrel::flash
