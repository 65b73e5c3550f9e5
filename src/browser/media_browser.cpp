#include "browser/media_browser.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <fstream>

#include "core/paths.h"
#include "core/text.h"
#include "media/movie_facts.h"

namespace vantrel::browser {

namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
}

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Case-insensitive name order, the order users know from other file managers.
bool NameBefore(const std::string& a, const std::string& b) {
  const std::string ua = core::UpperAscii(a), ub = core::UpperAscii(b);
  return ua != ub ? ua < ub : a < b;
}

std::int32_t TypeOfName(std::string_view name) {
  if (name.size() < 4) return 0;
  const std::string tail = core::UpperAscii(name.substr(name.size() - 4));
  if (tail == ".SWF") return kTypeMovie;
  if (tail == ".EXE") return kTypeProjector;
  if (tail == ".FLV") return kTypeVideo;
  return 0;
}

bool Shown(std::int32_t type, const BrowseSettings& settings) {
  switch (type) {
    case kTypeMovie: return settings.showMovie;
    case kTypeProjector: return settings.showProjector;
    case kTypeVideo: return settings.showVideo;
    default: return false;
  }
}

}  // namespace

std::string ThumbName(std::string_view path, bool satellite) {
  if (satellite) {
    std::string_view name = path;
    if (const auto slash = name.find_last_of("/\\"); slash != std::string_view::npos) name.remove_prefix(slash + 1);
    if (const auto dot = name.rfind('.'); dot != std::string_view::npos) name = name.substr(0, dot);
    return std::string(name) + ".jpg";
  }
  std::string flat(path);
  ReplaceAll(flat, ":\\", "@");
  for (std::string_view separator : {"\\\\", "//", "\\", "/"}) ReplaceAll(flat, separator, "#");
  return flat + ".jpg";
}

std::string ThumbFolder(const std::string& browseFolder, const BrowseSettings& settings) {
  return settings.satellite ? browseFolder : settings.cachePath;
}

std::string ResolveBrowseFolder(std::string_view requested, const std::string& current, const std::string& fallback) {
  std::string folder(requested);
  if (folder.empty()) folder = current;
  if (folder.empty()) folder = fallback;
  if (folder.empty()) folder = "/";
  if (folder == kDriveList || EndsWith(folder, ":\\..") || EndsWith(folder, ":\\..\\") || EndsWith(folder, ":\\../"))
    return std::string(kDriveList);
  if (folder.starts_with(kDriveList)) folder.erase(0, kDriveList.size());
  if (folder.empty()) folder = current.empty() ? fallback : current;
  if (folder.empty() || folder == kDriveList) return std::string(kDriveList);
  folder = core::AddSlash(folder);
  if (folder[0] != '/') return folder;
  // "X/../" shows X's parent; above the root lies the drive list.
  std::vector<std::string> parts;
  std::size_t start = 1;
  while (start < folder.size()) {
    const std::size_t slash = folder.find('/', start);
    const std::string part = folder.substr(start, slash - start);
    start = slash + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (parts.empty()) return std::string(kDriveList);
      parts.pop_back();
    } else {
      parts.push_back(part);
    }
  }
  std::string resolved = "/";
  for (const std::string& part : parts) resolved += part + "/";
  return resolved;
}

std::vector<MediaItem> ListDrives() {
  std::vector<MediaItem> drives;
  const auto add = [&](const std::string& name, const std::string& path) {
    for (const MediaItem& known : drives)
      if (known.Path == path) return;
    MediaItem item;
    item.Name = name;
    item.Path = path;
    item.Type = kTypeFolder;
    drives.push_back(item);
  };
  add("/", "/");
  const std::string home = core::HomeFolder();
  if (!home.empty()) add(home, home);
  std::ifstream mounts("/proc/mounts");
  std::string device, point, rest;
  while (mounts >> device >> point && std::getline(mounts, rest)) {
    // Mount points with blanks come octal-escaped.
    ReplaceAll(point, "\\040", " ");
    if (point.starts_with("/media/") || point.starts_with("/mnt/") || point.starts_with("/run/media/")) {
      const std::string path = core::AddSlash(point);
      const auto slash = point.find_last_of('/');
      add(point.substr(slash + 1), path);
    }
  }
  return drives;
}

BrowseListing ListBrowseFolder(const std::string& folder, const BrowseSettings& settings) {
  BrowseListing listing;
  listing.folder = folder;
  if (folder == kDriveList) {
    listing.items = ListDrives();
    return listing;
  }
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  // The file system lists in its own hash order; name order is the listing order the
  // page's "by name" sorting keeps.
  std::sort(names.begin(), names.end(), NameBefore);

  std::vector<std::string> files;
  for (const std::string& name : names) {
    if (core::FolderExists(folder + name)) {
      if (!settings.showFolder) continue;
      MediaItem item;
      item.Name = name;
      item.Path = folder + name + "/";
      item.Type = kTypeFolder;
      listing.items.push_back(item);
    } else {
      files.push_back(name);
    }
  }
  const bool byDate = settings.sortBy == SortBy::Date;
  for (const std::string& name : files) {
    const std::int32_t type = TypeOfName(name);
    if (!Shown(type, settings)) continue;
    MediaItem item;
    item.Name = name;
    item.Path = folder + name;
    item.Type = type;
    if (type == kTypeProjector && settings.genericProjectors && settings.isFlashProjector &&
        !settings.isFlashProjector(item.Path))
      continue;
    item.Thumb = ThumbName(item.Path, settings.satellite);
    struct stat info {};
    if (::stat(item.Path.c_str(), &info) == 0) {
      if (byDate) item.Date = static_cast<std::int64_t>(info.st_mtime);
      else item.Size = static_cast<std::int64_t>(info.st_size);
    }
    listing.items.push_back(item);
  }
  SortMediaItems(listing.items, settings);
  const std::string thumbs = ThumbFolder(folder, settings);
  for (std::size_t i = 0; i < listing.items.size(); ++i) {
    const MediaItem& item = listing.items[i];
    if (item.Type != kTypeFolder && !core::FileExists(thumbs + item.Thumb)) listing.missingThumbs.push_back(i);
  }
  return listing;
}

void SortMediaItems(std::vector<MediaItem>& items, const BrowseSettings& settings) {
  const auto media = std::find_if(items.begin(), items.end(), [](const MediaItem& i) { return i.Type != kTypeFolder; });
  switch (settings.sortBy) {
    case SortBy::Size:
      std::stable_sort(media, items.end(), [](const MediaItem& a, const MediaItem& b) { return a.Size < b.Size; });
      break;
    case SortBy::Type:
      std::stable_sort(media, items.end(), [](const MediaItem& a, const MediaItem& b) { return a.Type < b.Type; });
      break;
    case SortBy::Date:
      std::stable_sort(media, items.end(), [](const MediaItem& a, const MediaItem& b) { return a.Date > b.Date; });
      break;
    case SortBy::Name: break;
  }
  if (!settings.sortBack) return;
  std::reverse(media, items.end());
  if (settings.sortBy == SortBy::Name) std::reverse(items.begin(), media);
}

std::string DateText(std::int64_t seconds) {
  const std::time_t when = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (!::localtime_r(&when, &local)) return {};
  char text[64];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(text, length);
}

std::string BrowseXmlText(const BrowseListing& listing, const BrowsePageTexts& texts, std::int32_t scroll,
                          const std::string& thumbFolder, const std::string& error, bool byDate) {
  constexpr std::string_view kEnd = "\r\n";
  const auto count = std::count_if(listing.items.begin(), listing.items.end(),
                                   [](const MediaItem& item) { return item.Type != kTypeFolder; });
  std::string xml = "<?xml version=\"1.0\"?><BROWSE>";
  xml += kEnd;
  const auto element = [&](std::string_view name, std::string_view value) {
    xml += "<" + std::string(name) + ">" + core::HtmlEncode(value) + "</" + std::string(name) + ">";
  };
  element("FONT", texts.font), xml += kEnd;
  element("FOUND", texts.found + " " + std::to_string(count)), xml += kEnd;
  element("SCROLL", std::to_string(scroll)), xml += kEnd;
  element("FOLDER", listing.folder), xml += kEnd;
  element("CACHE", thumbFolder), xml += kEnd;
  element("WAIT", texts.wait), xml += kEnd;
  element("ERROR", error), xml += kEnd, xml += kEnd;
  for (const MediaItem& item : listing.items) {
    element("JPEG", item.Thumb), xml += kEnd;
    std::string title = item.Name;
    if (item.Type != kTypeFolder)
      title += "<BR><font size='10'>" + (byDate ? DateText(item.Date) : media::FormatByteSize(static_cast<double>(item.Size)));
    element("TITLE", title), xml += kEnd;
    element("TYPE", std::to_string(item.Type)), xml += kEnd;
  }
  xml += "</BROWSE>";
  return xml;
}

std::string RenamedName(const std::string& oldName, const std::string& typed, bool folder) {
  if (folder || typed.find('.') != std::string::npos) return typed;
  const std::size_t point = oldName.rfind('.');
  if (point == std::string::npos || point == 0) return typed;
  return typed + oldName.substr(point);
}

void BrowseHistory::Visited(const std::string& folder) {
  if (selected_ >= 0 && selected_ < static_cast<int>(entries_.size()) &&
      core::EqualsNoCase(entries_[static_cast<std::size_t>(selected_)], folder))
    return;
  entries_.resize(static_cast<std::size_t>(selected_ + 1));
  entries_.push_back(folder);
  selected_ = static_cast<int>(entries_.size()) - 1;
}

std::string BrowseHistory::Back() {
  if (selected_ <= 0) return {};
  return entries_[static_cast<std::size_t>(--selected_)];
}

std::string BrowseHistory::Forward() {
  if (selected_ < 0 || selected_ + 1 >= static_cast<int>(entries_.size())) return {};
  return entries_[static_cast<std::size_t>(++selected_)];
}

std::string BrowseHistory::Select(int position) {
  if (position < 0 || position >= static_cast<int>(entries_.size())) return {};
  selected_ = position;
  return entries_[static_cast<std::size_t>(position)];
}

}  // namespace vantrel::browser
