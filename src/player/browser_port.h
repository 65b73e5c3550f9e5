// The media browser as the player drives it: showing folders and failures on its page,
// and the listing its movie reports clicks against.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::player {

// Kind 3 is a folder; other kinds are media files.
struct BrowserItem {
  std::string path;
  std::int32_t kind = 0;
};

inline constexpr std::int32_t kBrowserFolder = 3;

class BrowserPort {
 public:
  virtual ~BrowserPort() = default;
  // Refreshes the browse folder and shows the page (the Media Browser command).
  virtual void BrowseMedia() = 0;
  // Shows folder ("" = the last used folder) on the page, its scroll reset or kept.
  virtual void ShowFolder(const std::string& folder, bool resetScroll) = 0;
  // Writes the page again with message in its error element and loads it.
  virtual void ShowError(const std::string& message) = 0;
  // The parent of the browse folder.
  virtual void GoLevelUp() = 0;
  // The listing on the page, item 1 first.
  virtual std::vector<BrowserItem> Items() = 0;
};

}  // namespace vantrel::player
