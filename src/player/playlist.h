// The player's one in-memory playlist: the ordered entries and the index being played.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::player {

class Playlist {
 public:
  const std::vector<std::string>& Entries() const { return entries_; }
  std::int32_t Count() const { return static_cast<std::int32_t>(entries_.size()); }
  bool Empty() const { return entries_.empty(); }
  // -1 when the list is empty.
  std::int32_t LastIndex() const { return Count() - 1; }
  // The entry being played, -1 when none.
  std::int32_t Current() const { return current_; }
  void SetCurrent(std::int32_t index) { current_ = index; }

  // The entry at index, or "" outside the list.
  std::string At(std::int32_t index) const;

  // Appends path. Returns false when the list is full (the index is 16-bit).
  bool Append(const std::string& path);

  // Empties the list; nothing is current.
  void Clear();

  // Swaps the entry at index with the one at index + delta when both lie in the list;
  // when the moved entry is the current one, the current index follows it. Returns false
  // when nothing moved.
  bool Move(std::int32_t index, std::int32_t delta);

  // Removes the entry at index (later entries move up one place). The current index is
  // kept as a number, as the list box keeps its selection. Returns false outside the list.
  bool Remove(std::int32_t index);

  // Removes every line in indices (line numbers as they were before any removal),
  // lowest first. Duplicates and lines outside the list are skipped. Returns the count.
  int RemoveLines(std::vector<std::int32_t> indices);

  // The largest number of entries a list holds.
  static constexpr std::int32_t kMaxEntries = 32767;

 private:
  std::vector<std::string> entries_;
  std::int32_t current_ = -1;
};

// The line a list shows for path: the file name without its folder and extension.
std::string DisplayName(const std::string& path);

}  // namespace vantrel::player
