// Making Vantrel the opener of movies, videos and playlists on a freedesktop desktop,
// remembering what opened them before and giving it back.
//
// The handler of a MIME type is a desktop-file id in the user's mimeapps.list
// ([Default Applications]); Vantrel's id is "vantrel.desktop". What the user's list
// said before Vantrel took a type over (its raw value, "" when it had no entry) is kept
// in the options under "FileTypes" ("PrevSWF", "PrevFLV", "PrevPL"), so that giving the
// type back restores the list as it was.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "system/xdg_dirs.h"

namespace vantrel::core {
class OptionsStore;
}

namespace vantrel::system {

// A language lookup: key and default text in, the text of the current language out.
using TextLookup = std::function<std::string(std::string_view key, std::string_view defaultText)>;

struct FileType {
  std::string_view extension;       // ".swf"
  std::string_view mimeType;        // "application/x-shockwave-flash"
  std::string_view descriptionKey;  // language key of the type's name
  std::string_view description;     // its default text
  std::string_view iconName;        // icon of the type in the hicolor theme
  std::string_view previousKey;     // "FileTypes" option that keeps the previous opener
  // The name the shared MIME database may know the type by instead (the freedesktop
  // database calls movies "application/vnd.adobe.flash.movie" and keeps
  // "application/x-shockwave-flash" as its alias); both names are associated.
  std::string_view aliasMimeType = {};
  std::string_view aliasPreviousKey = {};
};

// Movie, video, playlist.
inline constexpr std::array<FileType, 3> kFileTypes = {{
    {".swf", "application/x-shockwave-flash", "BrowseMedia/strMovie", "Flash Movie",
     "application-x-shockwave-flash", "PrevSWF", "application/vnd.adobe.flash.movie", "PrevSWFAlias"},
    {".flv", "video/x-flv", "BrowseMedia/strVideo", "Flash Video", "video-x-flv", "PrevFLV"},
    {".vantrel", "application/x-vantrel-playlist", "BrowseMedia/strPlaylist", "Flash Playlist",
     "application-x-vantrel-playlist", "PrevPL"},
}};

// The desktop-file id that names Vantrel as a handler.
inline constexpr std::string_view kDesktopId = "vantrel.desktop";

// ---- mimeapps.list text --------------------------------------------------------------

// The raw value of mimeType under [Default Applications] in a mimeapps.list text; ""
// when the key is missing.
std::string MimeAppsDefault(std::string_view listText, std::string_view mimeType);

// The list text with mimeType's default set to value (the key removed when value is
// ""). Every other line stays as it was; a [Default Applications] section is added
// when missing and dropped again when its last key goes.
std::string SetMimeAppsDefault(std::string_view listText, std::string_view mimeType, std::string_view value);

// The desktop-file id that opens mimeType for this user, following the lookup order of
// the mimeapps.list files (the user's, the desktop's own, the system's); "" when none
// names one. Only the first id of a list is returned.
std::string DefaultHandler(const XdgDirs& dirs, std::string_view mimeType);

// The user's list, $XDG_CONFIG_HOME/mimeapps.list.
std::string UserMimeAppsPath(const XdgDirs& dirs);

// ---- associating ---------------------------------------------------------------------

struct AssociationRequest {
  bool movie = false;
  bool video = false;
  bool playlist = false;
  std::string executable;  // the player's full path, for a desktop entry of the user's own
  TextLookup lookup;       // type names; unset: the default texts
};

struct AssociationResult {
  std::string error;      // "" on success, else why the user's list could not be written
  bool changed = false;   // a type was newly taken over
  bool userEntry = false; // a desktop entry and MIME package of the user's own were written
};

// Makes Vantrel the opener of each type whose flag is set and gives every other type
// back to its previous opener. A type that is Vantrel's already keeps the previous
// opener saved the first time. When no installed vantrel.desktop is found in the data
// folders, a desktop entry for request.executable and the MIME package are written to
// the user's data folder (so a program run from its build folder can still be the
// opener); giving back all three types removes them again.
AssociationResult SetAssociations(core::OptionsStore& options, const XdgDirs& dirs, const AssociationRequest& request);

// True when the user's list names Vantrel as the opener of the type.
bool IsAssociated(const XdgDirs& dirs, const FileType& type);

// The shared-mime-info package for the three types (type names from lookup).
std::string MimePackageXml(const TextLookup& lookup);

// The desktop entry that starts executable with the files it is given.
std::string DesktopEntryText(const std::string& executable, const TextLookup& lookup);

// Quotes one argument of a desktop entry's Exec key.
std::string QuoteExecArgument(std::string_view argument);

}  // namespace vantrel::system
