// The user's Flash folder: where the media browser starts, marked with its own icon
// and tip for file managers through a ".directory" file.
#pragma once

#include <string>

namespace vantrel::core {
class Languages;
}

namespace vantrel::system {

// The icon file managers show for the Flash folder (hicolor theme).
inline constexpr const char* kFlashFolderIcon = "vantrel-folder";

// The tip of the folder: the options label and the folder box's tooltip, as the
// options dialog words them ("My Flash Folder: Your default folder with Flash files").
std::string FlashFolderTip(const std::string& label, const std::string& tooltip);
// The same texts from the current language (the options dialog's `lblMyFlash` label
// and `txtMyFlash` tooltip).
std::string FlashFolderTipFor(const core::Languages& languages);

// Writes folder's ".directory" (icon and tip) after removing an old one. The folder
// gets a trailing slash when it has none. Returns false at the first step that fails.
bool CustomiseFolder(const std::string& folder, const std::string& tip);

// Moves the Flash folder: everything in oldFolder goes to newFolder (created when
// missing), the old folder loses its ".directory" and is removed when it is empty, and
// the new one is customised with tip. An entry whose name exists in newFolder already
// stays where it is, and so does the entry that holds newFolder when it lies inside
// oldFolder. Returns "" on success, else the first failure (what was moved
// stays moved).
std::string MoveFlashFolder(const std::string& oldFolder, const std::string& newFolder, const std::string& tip);

// The screenshots folder of a Flash folder: folder + "ScreenShots/".
std::string ScreenShotsFolder(const std::string& flashFolder);

}  // namespace vantrel::system
