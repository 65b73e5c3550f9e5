#include "system/flash_folder.h"

#include <sys/stat.h>

#include <filesystem>

#include "core/language.h"
#include "core/paths.h"
#include "core/text.h"

namespace fs = std::filesystem;

namespace vantrel::system {

std::string FlashFolderTip(const std::string& label, const std::string& tooltip) { return label + " " + tooltip; }

std::string FlashFolderTipFor(const core::Languages& languages) {
  return FlashFolderTip(
      core::GetNodeValue(languages.Document(), "LANG/FRMOPTIONS/LBLMYFLASH/@text", "My Flash Folder:"),
      core::GetNodeValue(languages.Document(), "LANG/FRMOPTIONS/TXTMYFLASH/@tooltip",
                         "Your default folder with Flash files"));
}

bool CustomiseFolder(const std::string& folder, const std::string& tip) {
  const std::string target = core::AddSlash(folder) + ".directory";
  std::error_code ec;
  // The file is left read-only, so the old one goes first.
  if (fs::exists(fs::symlink_status(target, ec))) {
    if (!fs::remove(target, ec)) return false;
  }
  std::string tipLine = tip;
  for (char& c : tipLine) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  const std::string text = std::string("[Desktop Entry]\nIcon=") + kFlashFolderIcon + "\nComment=" + tipLine + "\n";
  if (!core::WriteFileAtomic(target, text).empty()) return false;
  return chmod(target.c_str(), 0444) == 0;
}

std::string MoveFlashFolder(const std::string& oldFolder, const std::string& newFolder, const std::string& tip) {
  const std::string from = core::AddSlash(oldFolder);
  const std::string to = core::AddSlash(newFolder);
  std::error_code ec;
  fs::create_directories(to, ec);
  if (!core::FolderExists(to)) return "cannot create " + to;
  std::string failure;
  if (core::FolderExists(from) && !fs::equivalent(from, to, ec)) {
    fs::remove(from + ".directory", ec);
    // A new folder inside the old one stays where it is with whatever leads to it: it
    // cannot move into itself.
    const fs::path inside = fs::weakly_canonical(to, ec);
    for (const fs::directory_entry& entry : fs::directory_iterator(from, ec)) {
      const fs::path destination = fs::path(to) / entry.path().filename();
      if (fs::exists(fs::symlink_status(destination, ec))) continue;
      const std::string entryPath = core::AddSlash(fs::weakly_canonical(entry.path(), ec).string());
      if (core::AddSlash(inside.string()).starts_with(entryPath)) continue;
      fs::rename(entry.path(), destination, ec);
      if (ec) {
        // Another file system: copy, then remove the original once the copy is whole.
        std::error_code copyError;
        fs::copy(entry.path(), destination, fs::copy_options::recursive | fs::copy_options::copy_symlinks, copyError);
        if (copyError) {
          std::error_code ignored;
          fs::remove_all(destination, ignored);
          if (failure.empty()) failure = "cannot move " + entry.path().string() + ": " + copyError.message();
          continue;
        }
        fs::remove_all(entry.path(), ec);
      }
    }
    fs::remove(from, ec);  // only when empty
  }
  if (!CustomiseFolder(to, tip) && failure.empty()) failure = "cannot write " + to + ".directory";
  return failure;
}

std::string ScreenShotsFolder(const std::string& flashFolder) { return core::AddSlash(flashFolder) + "ScreenShots/"; }

}  // namespace vantrel::system
