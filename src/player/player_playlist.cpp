// The playlist operations: adding files, folders and playlist files, clearing with the
// history, walking the list, and the open / add / export dialogs.
#include <algorithm>
#include <filesystem>

#include "core/log.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/text.h"
#include "core/version.h"
#include "media/projector.h"
#include "player/player.h"
#include "player/playlist_file.h"
#include "player/rounding.h"

namespace vantrel::player {

namespace {

// The extension of the file name in path, from its last point ("" when none).
std::string ExtensionOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return core::UpperAscii(std::string_view(path).substr(dot));
}

const std::string kPlaylistExt = core::UpperAscii(kPlaylistExtension);

}  // namespace

// Holds the pane's updates while a playlist file or a folder adds many entries.
class PlaylistBatch {
 public:
  explicit PlaylistBatch(Player& player) : player_(player) { ++player_.playlistBatch_; }
  ~PlaylistBatch() {
    if (--player_.playlistBatch_ == 0 && player_.playlistDirty_) player_.PlaylistChanged();
  }
  PlaylistBatch(const PlaylistBatch&) = delete;
  PlaylistBatch& operator=(const PlaylistBatch&) = delete;

 private:
  Player& player_;
};

void Player::PlaylistChanged() {
  if (playlistBatch_ > 0) {
    playlistDirty_ = true;
    return;
  }
  playlistDirty_ = false;
  services_.window->PlaylistChanged();
}

void Player::AddToPlaylist(const std::string& path, std::int32_t depth) {
  // A web address names no local file to look at: the fetched copy is identified when
  // it plays.
  if (IsWebAddress(path)) {
    if (!playlist_.Append(path)) return;
    PlaylistChanged();
    menus_.SetEnabled("mnuSavePL", true);
    menus_.SetEnabled("mnuPlayNext", playlist_.Count() >= 2);
    return;
  }
  const std::string ext = ExtensionOf(path);
  // Depth 0 is a file the user chose; -2 is the history loaded at start-up.
  if (ext == kPlaylistExt && (depth == 0 || depth == kHistoryDepth)) {
    const PlaylistFile file = ReadPlaylistFile(path);
    if (!file.loaded) {
      Log("Failed to load PL XML");
      return;
    }
    const std::int64_t build = file.hasBuild ? file.build : core::kBuildNumber + 1;
    if (build > core::kBuildNumber) {
      Log("PL Version is incompatible");
      return;
    }
    AddRecent(path);
    const PlaylistBatch batch(*this);
    for (const std::string& entry : file.entries) {
      if (playlist_.Count() >= Playlist::kMaxEntries) break;
      AddToPlaylist(entry, 1);
    }
    return;
  }

  if (core::FolderExists(path)) {
    // One level only: the files directly in the folder, by name (the order a file
    // manager shows; the raw directory order on Linux is arbitrary).
    std::vector<std::string> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
      if (files.size() >= static_cast<std::size_t>(Playlist::kMaxEntries)) break;
      std::error_code statusError;
      if (it->is_directory(statusError)) continue;
      files.push_back(it->path().string());
    }
    std::sort(files.begin(), files.end());
    const PlaylistBatch batch(*this);
    for (const std::string& file : files) {
      if (playlist_.Count() >= Playlist::kMaxEntries) break;
      AddToPlaylist(file, depth + 1);
    }
    return;
  }

  // Our own projectors are Linux programs, named as their maker liked (usually without
  // an extension); they play like generic projectors.
  if (ext != ".SWF" && ext != ".FLV" && ext != kPlaylistExt && !media::IsOwnProjector(path)) {
    if (ext != ".EXE") return;
    const bool onlyGeneric = OptionBool("System", "GenericProjectors");
    if (onlyGeneric && !(services_.isGenericProjector && services_.isGenericProjector(path))) return;
  }
  if (!playlist_.Append(path)) return;
  PlaylistChanged();
  // Past two entries both states are settled (only clearing turns them off again), so
  // long lists skip the menu lookups.
  if (playlist_.Count() <= 2) {
    menus_.SetEnabled("mnuSavePL", true);
    menus_.SetEnabled("mnuPlayNext", playlist_.Count() >= 2);
    // Previous follows Next: with one entry there is nowhere to go either way.
    menus_.SetEnabled("mnuPlayPrev", playlist_.Count() >= 2);
  }
}

void Player::ClearPlaylist() {
  if (!playlist_.Empty() && OptionBool("Recent", "History")) SavePlaylist(services_.paths.LastPlayedPath);
  playlist_.Clear();
  PlaylistChanged();
  menus_.SetEnabled("mnuSavePL", false);
}

void Player::PlayItem(std::int32_t index) {
  if (index > -2) playlist_.SetCurrent(index);
  if (playlist_.Current() < 0) {
    BrowseMedia();
  } else {
    std::string path = playlist_.At(playlist_.Current());
    std::string caption;
    LoadFlash(path, caption, false);
  }
  services_.window->SelectPlaylistLine(playlist_.Current());
}

bool Player::SavePlaylist(std::string path) {
  const auto slash = path.find_last_of("/\\");
  const auto dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) path += kPlaylistExtension;
  const std::string error = core::WriteFileAtomic(path, WritePlaylistText(playlist_.Entries(), playlist_.Current()));
  if (!error.empty()) Log(error);
  return error.empty();
}

void Player::MoveItem(std::int32_t index, std::int32_t delta) {
  if (playlist_.Move(index, delta)) PlaylistChanged();
}

void Player::RemoveItem(std::int32_t index) {
  if (playlist_.Remove(index)) PlaylistChanged();
}

void Player::RemoveLines(const std::vector<std::int32_t>& lines) {
  if (lines.size() == 1) {
    RemoveItem(lines.front());
    return;
  }
  services_.window->LockRedraw(true);
  playlist_.RemoveLines(lines);
  PlaylistChanged();
  services_.window->LockRedraw(false);
}

void Player::StartPlayList() { PlayItem(0); }

void Player::PlayNext() {
  if (playlist_.Empty()) return;
  if (menus_.Checked("mnuShuffle")) {
    PlayItem(PlayRandom());
    return;
  }
  const std::int32_t next = playlist_.Current() + 1;
  PlayItem(next > playlist_.LastIndex() ? 0 : next);
}

void Player::PlayPrev() {
  if (playlist_.Empty()) return;
  if (playlist_.Count() >= 2) {
    if (menus_.Checked("mnuShuffle")) {
      PlayItem(PlayRandom());
      return;
    }
    const std::int32_t previous = playlist_.Current() - 1;
    PlayItem(previous < 0 ? playlist_.LastIndex() : previous);
    return;
  }
  // With one entry, Previous brings the list before it back from the history file; the
  // present one-entry list becomes the new history.
  const std::string history = services_.paths.LastPlayedPath;
  const std::string copy = history + std::string(kPlaylistExtension);
  services_.shell->CopyFile(history, copy);
  ClearPlaylist();
  AddToPlaylist(copy, 0);
  std::error_code error;
  std::filesystem::remove(copy, error);
  PlayItem(0);
}

std::int32_t Player::PlayRandom() {
  if (playlist_.Count() < 2) return playlist_.Current();
  // Draws until the index differs from the current one; a generator that keeps
  // repeating itself cannot hold the player forever.
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::int32_t index = RoundHalfEven(playlist_.LastIndex() * services_.random());
    Log(std::to_string(index));
    if (index != playlist_.Current()) return index;
  }
  return playlist_.Current() + 1 > playlist_.LastIndex() ? 0 : playlist_.Current() + 1;
}

void Player::SetRepeatMode(std::int32_t mode) {
  repeatMode_ = std::clamp(mode, 0, 2);
  CheckRadio("mnuRepeatMode", menus_.ArrayCount("mnuRepeatMode"), repeatMode_);
}

void Player::TogglePlaylist(std::int32_t mode) {
  if (mode == 1) menus_.SetChecked("mnuPlaylist", !menus_.Checked("mnuPlaylist"));
  else menus_.SetChecked("mnuPlaylist", mode != 0);
  services_.window->SetPlaylistPaneVisible(menus_.Checked("mnuPlaylist") && !menus_.Checked("mnuHideUI") &&
                                           !browserMode_);
  services_.window->LayoutView();
}

void Player::OpenMedia(bool open) {
  Log(" :: Open Media Dialog");
  const std::string title =
      open ? LangText("Player/strOpen", "Open Movie...") : LangText("Player/strAdd", "Add to Playlist...");
  const std::vector<FileFilter> filters = {
      {LangText("Player/strAllSupp", "All Supported Files"), "*.swf;*.exe;*.flv;*" + std::string(kPlaylistExtension)},
      {"Macromedia Flash (SWF)", "*.swf"},
      {LangText("BrowseMedia/strProjector", "Flash Projector"), "*.exe"},
      {LangText("BrowseMedia/strVideo", "Flash Video"), "*.flv"},
      {LangText("BrowseMedia/strPlaylist", "Flash Playlist") + " ", "*" + std::string(kPlaylistExtension)},
  };
  const std::vector<std::string> files = services_.dialogs->OpenFiles(title, filters, "swf", lastFolder_, true);
  if (files.empty()) return;
  const auto slash = files.front().find_last_of('/');
  if (slash != std::string::npos) lastFolder_ = files.front().substr(0, slash + 1);
  if (open) ClearPlaylist();
  for (const std::string& file : files) AddToPlaylist(file, 0);
  if (open) PlayItem(0);
}

void Player::PlaylistActivated() {
  const std::vector<std::int32_t> selection = services_.window->PlaylistSelection();
  if (selection.empty()) OpenMedia(true);
  else PlayItem(selection.front());
}

}  // namespace vantrel::player
