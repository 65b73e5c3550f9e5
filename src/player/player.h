// The player without widgets: the loading road, the playback commands, the playlist,
// the movie-command bridge, the options binding and the update tick. The window draws
// it and forwards its events; tests drive it directly through the ports.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/paths.h"
#include "media/media_record.h"
#include "player/browser_port.h"
#include "player/dialog_port.h"
#include "player/flash_port.h"
#include "player/host_port.h"
#include "player/menu_model.h"
#include "player/playlist.h"
#include "player/recent_files.h"
#include "player/script_host.h"
#include "player/shell_port.h"
#include "player/time_text.h"
#include "player/web_port.h"
#include "player/window_port.h"

namespace vantrel::core {
class ExecutionLog;
class Languages;
class OptionsStore;
}  // namespace vantrel::core

namespace vantrel::media {
struct MediaContext;
}

namespace vantrel::player {

// Identifies the file at path into record (header-only decompression). Returns "" on
// success, else the failure text; the context's LastError and Error say more.
using MediaIdentifier =
    std::function<std::string(media::MediaContext& context, const std::string& path, media::MediaRecord& record)>;

// True when the executable at path is a Flash projector that passes the version check.
using ProjectorCheck = std::function<bool(const std::string& path)>;

// Everything the player works with. Every pointer must stay valid for the player's
// life; only languages may be null (every lookup then gives its default).
struct PlayerServices {
  core::Paths paths;
  core::OptionsStore* options = nullptr;
  core::ExecutionLog* log = nullptr;
  const core::Languages* languages = nullptr;
  media::MediaContext* media = nullptr;
  MediaIdentifier identify;
  ProjectorCheck isGenericProjector;

  FlashPort* flash = nullptr;
  WindowPort* window = nullptr;
  ShellPort* shell = nullptr;
  DialogPort* dialogs = nullptr;
  BrowserPort* browser = nullptr;
  HostPort* host = nullptr;
  // Fetches movies named by web addresses; unset: such addresses fail to load.
  WebPort* web = nullptr;

  // A pseudo-random number in [0, 1) for shuffled play; unset: the player's own.
  std::function<double()> random;
  // Hears every line the player hands to the execution log (whose writer is silent).
  std::function<void(std::string_view line)> logObserver;
};

// The product's web host: VANTREL_WEB_HOST when set, else the language text of
// "PLAYER/MNUWEB" (languages may be null), else the built-in host.
std::string ProductWebHost(const core::Languages* languages);
inline constexpr std::string_view kDefaultWebHost = "www.vantrel.org";

class Player {
 public:
  explicit Player(PlayerServices services);
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  // ---- Life cycle -------------------------------------------------------------------
  // The player's part of loading the window: clears the playlist, reads the options,
  // restores the window state, and marks the player loaded.
  void Load();
  // Shuts down in its fixed order: hides the window, saves the history and (with
  // save) the options, cleans the cache, unloads every window.
  void Quit(const std::string& reason, bool save);
  // Removes the cache, the history and the per-user folder, clears the file types,
  // quits without saving and ends the process.
  void Uninstall();
  // The command-line processor: "/exec ..." runs a statement, anything else is split
  // into playlist items and the first is played.
  void ProcessCommand(const std::string& text);
  // A command line handed over by a second instance.
  void CopyData(const std::string& text);
  bool Loaded() const { return playerLoaded_; }

  // ---- Loading ----------------------------------------------------------------------
  // The one road from a path to a playing movie. path loses its double quotes; caption
  // becomes the file name when empty. Failures are logged, shown on the browser page
  // in browser mode, and leave the previous movie in the control.
  void LoadFlash(std::string& path, std::string& caption, bool browserPage);
  void OpenMovie(const std::string& path);
  void BrowseMedia();
  // True for the playback items that act on a playing video though the Playback menu is
  // greyed for it (the skin's buttons and the hot keys use them).
  bool ActsOnVideo(std::string_view name) const;

  // ---- Playback ---------------------------------------------------------------------
  void PlayMedia();
  void PauseMedia();
  void PlayPauseMedia();
  void StopMedia();
  void GoToFrame(float position);
  void FFwd();
  void Rwd();
  float MoviePercent();
  void SetQuality(const std::string& quality);
  void SetScaleMode(std::int32_t mode);
  void SetSound(std::int32_t volume, std::int32_t pan);
  void MuteSound(bool mute);
  void SetFlashAlpha(std::int32_t alpha);
  void ToggleTimeMode();
  void ZoomFlash(std::int32_t percent, std::int32_t repeatCount);
  void ZoomWindow(std::int32_t mode);
  void FullScreen(bool full, bool force, bool interfaceOnly);
  void MenuVisible(bool visible);
  void GoWeb(const std::string& page);
  void HelpMe();

  // ---- Playlist ---------------------------------------------------------------------
  // Adds path: a playlist file chosen by the user (depth 0) or the history (depth
  // kHistoryDepth) is expanded, a folder adds the files directly in it, ".swf", ".flv"
  // and nested ".vantrel" files are appended, ".exe" only when it passes the projector
  // filter; anything else is ignored.
  void AddToPlaylist(const std::string& path, std::int32_t depth);
  void ClearPlaylist();
  void PlayItem(std::int32_t index);
  // Writes the playlist file (".vantrel" added when path has no extension). Returns
  // false when it could not be written; nothing half-written is left.
  bool SavePlaylist(std::string path);
  void MoveItem(std::int32_t index, std::int32_t delta);
  void RemoveItem(std::int32_t index);
  void RemoveLines(const std::vector<std::int32_t>& lines);
  void StartPlayList();
  void PlayNext();
  void PlayPrev();
  std::int32_t PlayRandom();
  void SetRepeatMode(std::int32_t mode);
  void TogglePlaylist(std::int32_t mode);
  void OpenMedia(bool open);
  // Double-click or Enter on the playlist pane.
  void PlaylistActivated();

  // ---- Events from the window and the control ----------------------------------------
  void UpdateTick();
  bool UpdateTimerRunning() const { return timerRunning_; }
  void FSCommand(const std::string& command, const std::string& arguments);
  void OnReadyStateChange(std::int32_t state);
  // After every resize: checks the zoom item that matches the movie area.
  void CheckZoomItems();
  // A click on a menu item; false when the item's action lies outside the player.
  bool MenuClick(std::string_view name, int index = -1);
  // Prepares a pop-up menu before it is shown: "PopUp" (the movie) or "Playlist".
  void PreparePopUp(std::string_view kind);

  // ---- Options ----------------------------------------------------------------------
  void LoadOpts();
  void SaveOpts();

  // ---- State ------------------------------------------------------------------------
  MenuModel& Menus() { return menus_; }
  const Playlist& GetPlaylist() const { return playlist_; }
  const RecentFiles& Recent() const { return recent_; }
  ScriptHost& Script() { return script_; }
  const media::MediaRecord& Record() const { return record_; }
  bool OwnMovie() const { return ownMovie_; }
  // The screen-saver program the Flash screen saver items hand movies to ("" when it is
  // not installed: the items stay disabled).
  void SetScreenSaverProgram(std::string path);
  const std::string& ScreenSaverProgram() const { return screenSaverProgram_; }
  // Where the current movie came from: its web address when it was fetched, else its
  // file. The base for the addresses the movie itself asks for.
  const std::string& MovieAddress() const { return movieAddress_; }
  bool BrowserMode() const { return browserMode_; }
  bool IsShortMovie() const { return isShortMovie_; }
  bool PendingZoom() const { return pendingZoom_; }
  std::int32_t TimeMode() const { return timeMode_; }
  std::int32_t Volume() const { return volume_; }
  std::int32_t Pan() const { return pan_; }
  bool Muted() const { return mute_; }
  std::int32_t FlashAlpha() const { return flashAlpha_; }
  std::int32_t RepeatMode() const { return repeatMode_; }
  std::int32_t Played() const { return played_; }
  std::int32_t UsageTicks() const { return usageTicks_; }
  const DisplayTexts& Texts() const { return texts_; }
  const std::string& Title() const { return title_; }
  const std::string& LastFolder() const { return lastFolder_; }
  std::int32_t HoveredItem() const { return hoveredItem_; }
  std::int32_t BrowseScroll() const { return browseScroll_; }
  const core::Paths& Paths() const { return services_.paths; }

 private:
  void Log(std::string_view line);
  std::string LangText(std::string_view key, std::string_view defaultText) const;
  bool OptionBool(std::string_view section, std::string_view key);
  void FailLoad(const std::string& failure);
  void ReportIncomplete();
  void LoadWebMovie(const std::string& address, const std::string& caption);
  std::string movieAddress_;
  std::string screenSaverProgram_;
  std::string fetchedAddress_;  // the web address of the copy being loaded
  void SetMenuStates(bool browserPage);
  void SetScreenSaverItems();
  void SwitchBrowserMode(bool browserPage);
  void CenterWindow();
  void ShowMenuBar(bool show);
  void CheckRadio(std::string_view name, int count, int checkedIndex);
  void AddRecent(const std::string& path);
  bool KeepsHistory();
  void SyncRecentMenu();
  void UpdatePlaybackCaption();
  void UpdateQualityChecks();
  bool EndOfMovie();
  void RegisterScriptOperations();
  void ApplyWindowPlacement();
  void PlaylistChanged();
  friend class PlaylistBatch;

  PlayerServices services_;
  MenuModel menus_;
  Playlist playlist_;
  RecentFiles recent_;
  ScriptHost script_;
  std::mt19937 generator_;

  media::MediaRecord record_;
  bool ownMovie_ = false;
  bool browserMode_ = false;
  std::int32_t browserScaleMode_ = 2;  // the scale mode remembered on entering browser mode
  bool isShortMovie_ = false;
  bool pendingZoom_ = false;
  bool timerRunning_ = false;
  bool playerLoaded_ = false;

  std::int32_t timeMode_ = kTimeElapsed;
  std::int32_t volume_ = 100;
  std::int32_t savedVolume_ = 100;
  bool mute_ = false;
  std::int32_t pan_ = 0;
  std::int32_t flashAlpha_ = 100;
  std::int32_t repeatMode_ = 0;
  bool wasMaximized_ = false;
  bool menuBarHidden_ = false;
  std::int32_t played_ = 0;
  std::int32_t usageTicks_ = 0;
  DisplayTexts texts_;
  std::string title_;
  std::string lastFolder_;
  std::int32_t hoveredItem_ = 0;
  std::int32_t browseScroll_ = 0;
  int playlistBatch_ = 0;  // while above 0, the pane hears of changes once at the end
  bool playlistDirty_ = false;
};

// The depth at which start-up loads the history playlist.
inline constexpr std::int32_t kHistoryDepth = -2;

// Screen units of the stored window sizes: twentieths of a point, 15 to a pixel.
inline constexpr std::int32_t kTwipsPerPixel = 15;

}  // namespace vantrel::player
