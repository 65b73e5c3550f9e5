#include "player/recent_files.h"

#include "core/options.h"
#include "core/paths.h"
#include "core/text.h"

namespace vantrel::player {

bool RecentFiles::Add(const std::string& path) {
  if (path.empty() || path == ignored_) return false;
  const auto slash = path.find_last_of("/\\");
  lastFolder_ = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);

  const std::string key = core::UpperAscii(path);
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (core::UpperAscii(entries_[i]) != key) continue;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
    entries_.insert(entries_.begin(), path);
    return true;
  }
  entries_.insert(entries_.begin(), path);
  if (entries_.size() > kMaxEntries) entries_.resize(kMaxEntries);
  return true;
}

void RecentFiles::Load(core::OptionsStore& store) {
  entries_.clear();
  for (int index = static_cast<int>(kMaxEntries) - 1; index >= 0; --index) {
    const std::string path = store.ReadText("Recent", std::to_string(index), "");
    if (!path.empty() && core::FileExists(path)) Add(path);
  }
}

void RecentFiles::Save(core::OptionsStore& store) const {
  for (std::size_t index = 0; index < kMaxEntries; ++index) {
    const std::string key = std::to_string(index);
    if (index < entries_.size()) {
      store.WriteText("Recent", key, entries_[index]);
    } else if (!store.ReadText("Recent", key, "").empty()) {
      store.DeleteKey("Recent", key);
    }
  }
}

}  // namespace vantrel::player
