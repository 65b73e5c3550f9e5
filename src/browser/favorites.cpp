#include "browser/favorites.h"

#include "core/options.h"
#include "core/paths.h"
#include "core/text.h"

namespace vantrel::browser {

std::vector<std::string> LoadFavorites(core::OptionsStore& options) {
  std::vector<std::string> folders;
  const std::int32_t last = options.ReadNumber("Favorites", "", 0);
  for (std::int32_t i = 0; i <= last && i < 1000; ++i) {
    const std::string folder = options.ReadText("Favorites", std::to_string(i), "");
    if (!folder.empty()) folders.push_back(folder);
  }
  return folders;
}

bool SaveFavorites(core::OptionsStore& options, const std::vector<std::string>& folders) {
  const std::int32_t previous = options.ReadNumber("Favorites", "", 0);
  options.BeginBatch();
  for (std::size_t i = 0; i < folders.size(); ++i) options.WriteText("Favorites", std::to_string(i), folders[i]);
  for (auto i = static_cast<std::int32_t>(folders.size()); i <= previous; ++i)
    options.DeleteKey("Favorites", std::to_string(i));
  options.WriteNumber("Favorites", "", static_cast<std::int32_t>(folders.size()) - 1);
  return options.EndBatch();
}

bool AddFavorite(std::vector<std::string>& folders, const std::string& folder) {
  if (folder.empty()) return false;
  const std::string slashed = core::AddSlash(folder);
  for (const std::string& known : folders)
    if (core::EqualsNoCase(known, slashed)) return false;
  folders.push_back(slashed);
  return true;
}

void ShowFavoritesMenu(player::MenuModel& menus, const std::vector<std::string>& folders,
                       const std::string& emptyCaption) {
  if (folders.empty()) {
    menus.ResizeArray("mnuFavList", 1);
    menus.SetCaption("mnuFavList", 0, emptyCaption);
    menus.SetEnabled("mnuFavList", 0, false);
    return;
  }
  menus.ResizeArray("mnuFavList", static_cast<int>(folders.size()));
  for (std::size_t i = 0; i < folders.size(); ++i) {
    menus.SetCaption("mnuFavList", static_cast<int>(i), folders[i]);
    menus.SetEnabled("mnuFavList", static_cast<int>(i), true);
  }
}

}  // namespace vantrel::browser
