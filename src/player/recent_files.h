// The recent-files list of the File menu: at most five paths, newest first.
#pragma once

#include <string>
#include <vector>

namespace vantrel::core {
class OptionsStore;
}

namespace vantrel::player {

class RecentFiles {
 public:
  static constexpr std::size_t kMaxEntries = 5;

  // ignoredPath is the program's own current-playlist file, which is never listed.
  explicit RecentFiles(std::string ignoredPath = {}) : ignored_(std::move(ignoredPath)) {}

  // Puts path at the top: an entry equal to it apart from letter case moves up, else it
  // is added and the oldest falls off a full list. The path's folder becomes the last
  // folder. Returns false (and changes nothing) for the ignored path or an empty path.
  bool Add(const std::string& path);

  // Newest first.
  const std::vector<std::string>& Entries() const { return entries_; }
  // The folder part of the most recently added path, with its trailing slash; "" when
  // nothing was added yet.
  const std::string& LastFolder() const { return lastFolder_; }

  // Reads "Recent"/"4" down to "Recent"/"0"; entries whose file is gone are skipped.
  void Load(core::OptionsStore& store);
  // Writes "Recent"/"0".. for every entry and clears the unused numbers.
  void Save(core::OptionsStore& store) const;

 private:
  std::string ignored_;
  std::vector<std::string> entries_;
  std::string lastFolder_;
};

}  // namespace vantrel::player
