// The player's part of starting and ending: loading the window's state, quitting in
// the fixed order, uninstalling, and the command-line processor.
#include <chrono>
#include <filesystem>

#include "core/cache.h"
#include "core/command_line.h"
#include "core/options.h"
#include "player/player.h"

namespace vantrel::player {

void Player::Load() {
  Log("");
  Log(" :: Form Load");
  ClearPlaylist();
  LoadOpts();
  if (!menus_.Checked("mnuFullScreen")) {
    // A window that was minimised when the program ended comes back normal.
    const std::int32_t state = services_.options->ReadNumberOption("Window", "State");
    if (state == static_cast<std::int32_t>(WindowState::Maximized)) services_.window->SetState(WindowState::Maximized);
  }
  playerLoaded_ = true;
}

void Player::Quit(const std::string& reason, bool save) {
  WindowPort& window = *services_.window;
  if (playerLoaded_) window.Hide();
  if (save && playerLoaded_) ClearPlaylist();
  window.ReleaseHooks();
  Log("Removed Hotkeys");
  if (save) {
    generator_.seed(static_cast<std::mt19937::result_type>(std::chrono::steady_clock::now().time_since_epoch().count()));
    SaveOpts();
    services_.host->RestoreScreenSaver();
  }
  core::CleanCache(services_.paths.CachePath, services_.options->ReadNumberOption("System", "CacheMode"));
  playerLoaded_ = false;
  timerRunning_ = false;
  window.UnloadAll();
  Log("");
  Log("<B>Quit: " + reason + "</B>");
}

void Player::Uninstall() {
  const core::Paths& paths = services_.paths;
  core::CleanCache(paths.CachePath, 2);
  std::error_code error;
  // Folder removal fails quietly when something is left inside.
  std::filesystem::remove(paths.CachePath, error);
  std::filesystem::remove(paths.LastPlayedPath, error);
  std::filesystem::remove(paths.UserPath, error);
  services_.host->ClearFileTypes();
  Quit("Unistallation", false);
  services_.host->EndProcess();
}

void Player::ProcessCommand(const std::string& text) {
  if (core::IsExecCommand(text)) {
    std::string path = text;
    std::string caption;
    LoadFlash(path, caption, false);
    return;
  }
  ClearPlaylist();
  const std::vector<std::string> items = core::SplitCommandItems(text);
  ClearPlaylist();
  for (const std::string& item : items) AddToPlaylist(item, 0);
  PlayItem(0);
}

void Player::CopyData(const std::string& text) {
  if (text.empty()) return;
  if (services_.window->State() == WindowState::Minimized) {
    services_.window->SetState(menus_.Checked("mnuFullScreen") ? WindowState::Maximized : WindowState::Normal);
  }
  Log("Other Instance Requested: \"" + text + "\"");
  ProcessCommand(text);
}

}  // namespace vantrel::player
