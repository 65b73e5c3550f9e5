// Program folders and the small path routines every layer uses.
#pragma once

#include <string>
#include <string_view>

namespace vantrel::core {

// The product title used in paths, captions and the log.
inline constexpr std::string_view kProductTitle = "Vantrel";

// Special folder ids understood by SpecialFolder.
inline constexpr int kFolderAppData = 26;  // $XDG_DATA_HOME (default ~/.local/share)
inline constexpr int kFolderDocuments = 5; // XDG documents folder (default ~/Documents)

// Returns path & "/" with every doubled slash folded into one, so a path that already
// ends with a slash keeps exactly one.
std::string AddSlash(std::string_view path);

// Returns the value of an environment variable, or "" when it is unset.
std::string EnvText(const char* name);

// The user's home folder with a trailing slash ($HOME, else the password database).
std::string HomeFolder();

// The per-user special folder for id (kFolderAppData, kFolderDocuments), ending with "/";
// "" for an unknown id.
std::string SpecialFolder(int id);

// The per-user folder for temporary and cache files ($XDG_CACHE_HOME, default ~/.cache/),
// ending with "/". Vantrel keeps its cache below it, never in a world-writable folder.
std::string TempFolder();

// Creates one folder level; an existing folder or a failure is ignored.
void MakeFolder(const std::string& path);

// True when path names something whose length can be read (a file, or a folder);
// any error means false.
bool FileExists(const std::string& path);

// True when path names a folder.
bool FolderExists(const std::string& path);

// The folder that holds Media/ and Languages/: next to the executable in a build tree,
// or <prefix>/share/vantrel/ when installed. Overridable with VANTREL_APP_PATH.
std::string FindAppPath();

// Every folder the program uses; each folder path ends with "/".
struct Paths {
  std::string AppPath;
  std::string MediaPath;
  std::string BinaryPath;
  std::string FlashPath;
  std::string ImagesPath;
  std::string MenusPath;
  std::string GadgetsPath;
  std::string SkinPath;
  std::string LanguagesPath;
  std::string UserPath;
  std::string UserSkinPath;
  std::string CachePath;
  std::string LogPath;
  std::string LastPlayedPath;
};

// Computes the folder layout for appPath without touching the disk.
Paths LayoutPaths(const std::string& appPath, const std::string& logBase);

// Lays out the folders in the start-up order (UserPath, UserSkinPath and CachePath are
// created when missing) and recreates the execution log. Returns the layout; folder
// creation failures are ignored, as the start-up procedure expects.
Paths InitPaths(const std::string& appPath, const std::string& logBase);

}  // namespace vantrel::core
