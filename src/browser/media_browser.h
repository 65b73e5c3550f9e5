// The media browser's rules without widgets: listing a folder as browser entries,
// filtering and sorting them, naming thumbnails, writing the text of "browse.xml", and
// the address-bar history. The page and its window live in ui/.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::browser {

inline constexpr std::int32_t kTypeMovie = 1;
inline constexpr std::int32_t kTypeProjector = 2;
inline constexpr std::int32_t kTypeFolder = 3;
inline constexpr std::int32_t kTypeVideo = 4;

// The text that stands for the list of drives (root, home folder, mounted volumes).
inline constexpr std::string_view kDriveList = ":\\";

// One listed entry: a folder (or drive) or a media file.
struct MediaItem {
  std::string Name;
  std::string Path;
  std::int32_t Type = 0;
  std::int64_t Size = 0;  // bytes; read unless sorting by date
  std::int64_t Date = 0;  // modification time in seconds since 1970; read when sorting by date
  std::string Thumb;      // thumbnail file name relative to the thumbnail folder; "" for folders
};

enum class SortBy { Name, Type, Size, Date };

// The show and sort menu items and the options the listing obeys.
struct BrowseSettings {
  bool showFolder = true;
  bool showMovie = true;
  bool showVideo = true;
  bool showProjector = true;
  SortBy sortBy = SortBy::Date;
  bool sortBack = false;
  bool satellite = false;          // thumbnails next to the movies instead of in the cache
  bool genericProjectors = true;   // skip executables that are not Flash projectors
  std::string cachePath;           // the program's cache folder, ending with "/"
  // True when the executable at path is a Flash projector; unset: every .exe is one.
  std::function<bool(const std::string& path)> isFlashProjector;
};

// The thumbnail file name of the media at path. Satellite off: the whole path flattened
// (":\" becomes "@", "\\", "//", "\" and "/" become "#") and ".jpg" appended, for a file
// in the cache; Satellite on: the file name without its last extension and ".jpg".
std::string ThumbName(std::string_view path, bool satellite);

// Where thumbnails of browseFolder live: the folder itself with Satellite on, the cache
// otherwise.
std::string ThumbFolder(const std::string& browseFolder, const BrowseSettings& settings);

// The folder a browse request shows, given the requested text and the folder shown now:
// "" means the current folder (or fallback when there is none), a trailing "/" is added,
// "X/../" goes to X's parent, the parent of "/" and any ":\" text give kDriveList.
std::string ResolveBrowseFolder(std::string_view requested, const std::string& current, const std::string& fallback);

// The drive list: "/", the home folder and the mounted volumes (below /media, /mnt and
// /run/media), as folder entries.
std::vector<MediaItem> ListDrives();

struct BrowseListing {
  std::string folder;            // the browse folder (or kDriveList)
  std::vector<MediaItem> items;  // folders first, then media
  std::vector<std::size_t> missingThumbs;  // 0-based indexes of media without a thumbnail
};

// Lists folder (already resolved) by the settings: folders first in listing order, then
// the .swf, .exe and .flv files (matched on the last four characters, any case) that the
// settings show, sorted. A folder that cannot be read gives an empty listing.
BrowseListing ListBrowseFolder(const std::string& folder, const BrowseSettings& settings);

// Sorts the media part (after the folders) stably by the settings, newest first by date;
// reverses it with sortBack, and with sortBack and Name the folder part too.
void SortMediaItems(std::vector<MediaItem>& items, const BrowseSettings& settings);

// The texts of the page, looked up in the language by the caller.
struct BrowsePageTexts {
  std::string font;                          // the interface font's face name
  std::string found = "Media Files Found:";  // "BROWSEMEDIA/STRFOUND"
  std::string wait = "Loading";              // "BROWSEMEDIA/STRWAIT"
};

// The date of an entry as the page shows it (local time).
std::string DateText(std::int64_t seconds);

// The whole text of "browse.xml" for listing. byDate says whether entries show their
// date (sorting by date) or their size.
std::string BrowseXmlText(const BrowseListing& listing, const BrowsePageTexts& texts, std::int32_t scroll,
                          const std::string& thumbFolder, const std::string& error, bool byDate);

// The new name of an entry renamed to typed: a file keeps its extension when the typed
// name has none (a movie renamed "copied shapes" stays a movie the browser lists);
// folders and names with an extension are taken as typed.
std::string RenamedName(const std::string& oldName, const std::string& typed, bool folder);

// The address bar's history of folders and its selected position.
class BrowseHistory {
 public:
  // After a page has loaded: unless the selected entry already names folder (any case),
  // the entries after the selection are dropped and folder becomes the new last, selected.
  void Visited(const std::string& folder);
  // Moves the selection one back or forward; returns the folder to show, "" when there is
  // nowhere to go.
  std::string Back();
  std::string Forward();
  // Selects position when it exists; returns its folder ("" otherwise).
  std::string Select(int position);
  // Whether Back and Forward have somewhere to go (the menu items and the address bar's
  // buttons follow them).
  bool CanGoBack() const { return selected_ > 0; }
  bool CanGoForward() const { return selected_ >= 0 && selected_ + 1 < static_cast<int>(entries_.size()); }
  const std::vector<std::string>& Entries() const { return entries_; }
  int Selected() const { return selected_; }

 private:
  std::vector<std::string> entries_;
  int selected_ = -1;
};

}  // namespace vantrel::browser
