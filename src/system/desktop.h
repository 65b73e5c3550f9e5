// Flash desktop: the current movie shown full screen below every other window, in
// place of the desktop picture, from a page filled from the "Desktop.html" template;
// and the desktop picture itself (Set as Wallpaper).
//
// The desktop item lives in the user's data folder ("Desktop/": Desktop.swf,
// sound.swf, Desktop.html). It is shown by "vantrel-saver --desktop", started now and
// at every login through an autostart entry; removing the item removes the entry and
// ends the running window.
#pragma once

#include <string>
#include <vector>

#include "system/xdg_dirs.h"

namespace vantrel::system {

// What the page template's placeholders are replaced by.
struct DesktopPage {
  std::string title;        // [TITLE]: the player window's caption
  std::string moviePath;    // [MOVIEPATH]: the desktop folder's "Desktop.swf"
  std::string dataPath;     // [DATAPATH]: the per-user data folder
  std::string backColor;    // [BGCOLOR]: six hexadecimal digits
  int width = 0;            // [MOVIEWIDTH]: screen width in pixels
  int height = 0;           // [MOVIEHEIGHT]
  bool transparent = false; // [WMODE]: "transparent" or "opaque"
  bool mute = false;        // [SOUND]: "sound.swf?volume=100" when ticked, else 0
};

// The template with every placeholder replaced, in the page's fixed order.
std::string FillDesktopTemplate(std::string templateText, const DesktopPage& page);

// userPath + "Desktop/".
std::string DesktopFolder(const std::string& userPath);

// The autostart entry that shows the desktop item at login.
std::string DesktopAutostartPath(const XdgDirs& dirs);

// True while the desktop item is registered (its autostart entry exists).
bool DesktopItemEnabled(const XdgDirs& dirs);

struct DesktopRequest {
  bool enable = false;
  bool hideIcons = false;
  std::string moviePath;     // the current movie, copied as "Desktop.swf"
  std::string soundMovie;    // the program's "sound.swf"
  std::string templatePath;  // the program's "Desktop.html"
  std::string saverProgram;  // the program that shows the item ("vantrel-saver")
  DesktopPage page;          // moviePath is filled in here
};

struct DesktopResult {
  std::string error;  // "" when every step worked, else the first failure
  std::vector<std::string> startCommand;  // what starts the desktop window now (empty: nothing to start)
};

// "Go" of the desktop dialog without the dialog: sets the desktop icons, and with
// enable copies the movie and the sound movie into the desktop folder, fills the page,
// ends a running desktop window and registers the item again. Without enable the item
// is removed and its files stay. folder is DesktopFolder(userPath).
DesktopResult ApplyDesktop(const XdgDirs& dirs, const std::string& folder, const DesktopRequest& request);

// Ends the desktop window whose process id the folder's "Desktop.pid" holds, if that
// process is a Vantrel desktop window. Returns true when one was ended.
bool StopDesktopWindow(const std::string& folder);

// Records the running desktop window (called by the window itself).
void WriteDesktopPid(const std::string& folder);

// The commands that switch the desktop icons off (hide) or on, for the desktops named
// by dirs.currentDesktop; empty when the desktop offers no way.
std::vector<std::vector<std::string>> DesktopIconCommands(const XdgDirs& dirs, bool hide);

// The commands that make imagePath the desktop picture on the running desktop (GNOME,
// Cinnamon, MATE, XFCE, KDE Plasma, or feh/xwallpaper on a bare X session).
std::vector<std::vector<std::string>> WallpaperCommands(const XdgDirs& dirs, const std::string& imagePath);

// Sets imagePath as the wallpaper. Returns "" when the desktop took it, else a sentence
// for the user saying why not.
std::string SetWallpaper(const XdgDirs& dirs, const std::string& imagePath);

}  // namespace vantrel::system
