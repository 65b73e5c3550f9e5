#include "player/playlist.h"

#include <algorithm>
#include <utility>

namespace vantrel::player {

std::string Playlist::At(std::int32_t index) const {
  if (index < 0 || index >= Count()) return {};
  return entries_[static_cast<std::size_t>(index)];
}

bool Playlist::Append(const std::string& path) {
  if (Count() >= kMaxEntries) return false;
  entries_.push_back(path);
  return true;
}

void Playlist::Clear() {
  entries_.clear();
  current_ = -1;
}

bool Playlist::Move(std::int32_t index, std::int32_t delta) {
  const std::int32_t target = index + delta;
  if (index < 0 || index > LastIndex() || target < 0 || target > LastIndex() || delta == 0) return false;
  std::swap(entries_[static_cast<std::size_t>(index)], entries_[static_cast<std::size_t>(target)]);
  // Only the moved entry carries the current index along; when the current entry is the
  // one displaced, the index stays and then names the moved neighbour.
  if (current_ == index) current_ = target;
  return true;
}

bool Playlist::Remove(std::int32_t index) {
  if (index < 0 || index > LastIndex()) return false;
  entries_.erase(entries_.begin() + index);
  return true;
}

int Playlist::RemoveLines(std::vector<std::int32_t> indices) {
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  int removed = 0;
  for (const std::int32_t line : indices) {
    if (Remove(line - removed)) ++removed;
  }
  return removed;
}

std::string DisplayName(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const auto dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

}  // namespace vantrel::player
