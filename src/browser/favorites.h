// The favourite folders: stored in the options section "Favorites" (the section's own
// value holds the highest index, "0", "1", ... the folders) and shown as mnuFavList.
#pragma once

#include <string>
#include <vector>

#include "player/menu_model.h"

namespace vantrel::core {
class OptionsStore;
}

namespace vantrel::browser {

// The stored folders in order; empty entries are skipped.
std::vector<std::string> LoadFavorites(core::OptionsStore& options);
// Replaces the stored list (every folder ends with "/"). Returns false when the file
// could not be written.
bool SaveFavorites(core::OptionsStore& options, const std::vector<std::string>& folders);
// Appends folder (with a trailing "/") unless it is already there (any case). Returns
// whether it was added.
bool AddFavorite(std::vector<std::string>& folders, const std::string& folder);
// Rebuilds the menu item array mnuFavList: one item per folder, or the disabled
// emptyCaption item when there is none.
void ShowFavoritesMenu(player::MenuModel& menus, const std::vector<std::string>& folders,
                       const std::string& emptyCaption);

}  // namespace vantrel::browser
