// Test doubles for the player's ports: each records what the player asked of it and
// answers from fields the test sets.
#pragma once

#include <algorithm>
#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "player/browser_port.h"
#include "player/dialog_port.h"
#include "player/flash_port.h"
#include "player/host_port.h"
#include "player/shell_port.h"
#include "player/system_shell.h"
#include "player/window_port.h"

namespace vantrel::player::testing {

class FakeFlash : public FlashPort {
 public:
  std::vector<std::string> calls;
  std::string url;
  std::int32_t total = 0;
  std::int32_t frame = 0;
  bool playing = false;
  std::string quality = "High";
  std::int32_t scale = 0;
  std::string background;
  bool loop = true;
  std::map<std::string, std::string> variables;

  void LoadMovie(std::int32_t layer, const std::string& path) override {
    calls.push_back("LoadMovie " + std::to_string(layer) + " " + path);
    url = path;
    frame = 0;
  }
  void Play() override {
    calls.push_back("Play");
    playing = true;
  }
  void Stop() override {
    calls.push_back("Stop");
    playing = false;
  }
  void Rewind() override {
    calls.push_back("Rewind");
    frame = 0;
  }
  void Forward() override { frame = std::min(frame + 1, std::max(total - 1, 0)); }
  void Back() override { frame = std::max(frame - 1, 0); }
  void GotoFrame(std::int32_t target) override {
    calls.push_back("GotoFrame " + std::to_string(target));
    frame = std::clamp(target, 0, std::max(total - 1, 0));
  }
  std::int32_t TotalFrames() override { return total; }
  std::int32_t FrameNum() override { return frame; }
  std::int32_t CurrentFrame() override { return frame; }
  bool Playing() override { return playing; }
  // Set by a test for a movie that showed its last frame between two ticks.
  bool passedLast = false;
  bool PassedLastFrame() override {
    const bool passed = passedLast || FlashPort::PassedLastFrame();
    passedLast = false;
    return passed;
  }
  void SetPlaying(bool value) override { playing = value; }
  std::string Quality2() override { return quality; }
  void SetQuality2(const std::string& value) override { quality = value; }
  std::int32_t ScaleMode() override { return scale; }
  void SetScaleMode(std::int32_t mode) override {
    if (mode >= 0 && mode <= 3) scale = mode;
  }
  void SetAlignMode(std::int32_t mode) override { calls.push_back("AlignMode " + std::to_string(mode)); }
  void SetBGColor(const std::string& color) override { background = color; }
  void SetLoop(bool value) override { loop = value; }
  void SetVariable(const std::string& name, const std::string& value) override { variables[name] = value; }
  std::string GetVariable(const std::string& name) override {
    const auto found = variables.find(name);
    return found == variables.end() ? std::string() : found->second;
  }
  std::int32_t FlashVersion() override { return 32 << 16; }
  // The address given for the next movie ("": the file it loads).
  std::string address;
  void SetMovieAddress(const std::string& value) override { address = value; }
};

class FakeWindow : public WindowPort {
 public:
  WindowState state = WindowState::Normal;
  WindowRect geometry{100, 100, 400, 300};
  WindowMargins margins{4, 4, 30, 4};
  WindowRect screen{0, 0, 1920, 1080};
  ViewSize view{0, 0};
  std::string caption;
  bool shown = false, frameless = false, menuBar = true, topMost = false, pane = false, addressBar = false;
  bool skinLoaded = false;
  std::string skinView;
  std::vector<std::int32_t> selection;
  std::int32_t selectedLine = -1;
  int playlistChanges = 0, layouts = 0, unloads = 0, hookReleases = 0;
  std::vector<std::string> calls;

  WindowState State() override { return state; }
  void SetState(WindowState value) override {
    calls.push_back("SetState " + std::to_string(static_cast<int>(value)));
    state = value;
  }
  WindowRect Geometry() override { return geometry; }
  void SetGeometry(const WindowRect& rect) override {
    geometry = rect;
    // The movie area follows the window, as the real window lays itself out.
    view.width = rect.width - margins.left - margins.right;
    view.height = rect.height - margins.top - margins.bottom;
  }
  WindowMargins FrameMargins() override { return margins; }
  WindowRect ScreenArea() override { return screen; }
  ViewSize View() override { return view; }
  void LayoutView() override { ++layouts; }
  void SetCaption(const std::string& text) override { caption = text; }
  void Show() override { shown = true; }
  void Hide() override {
    calls.push_back("Hide");
    shown = false;
  }
  void SetFrameless(bool value) override { frameless = value; }
  void SetMenuBarVisible(bool value) override { menuBar = value; }
  void SetTopMost(bool value) override { topMost = value; }
  void SetPlaylistPaneVisible(bool value) override { pane = value; }
  void SetAddressBarVisible(bool value) override { addressBar = value; }
  bool SkinLoaded() override { return skinLoaded; }
  void SetSkinView(const std::string& name) override { skinView = name; }
  void ShowFullScreenControls() override { calls.push_back("ShowFullScreenControls"); }
  void UpdateSkin() override { calls.push_back("UpdateSkin"); }
  void RefreshPlayback() override {}
  std::vector<std::string> statuses;  // every note shown in the status line
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }
  void PlaylistChanged() override { ++playlistChanges; }
  std::vector<std::int32_t> PlaylistSelection() override { return selection; }
  void SelectPlaylistLine(std::int32_t line) override { selectedLine = line; }
  void LockRedraw(bool locked) override { calls.push_back(locked ? "Lock" : "Unlock"); }
  void ProcessEvents() override {}
  void ReleaseHooks() override {
    calls.push_back("ReleaseHooks");
    ++hookReleases;
  }
  void UnloadAll() override {
    calls.push_back("UnloadAll");
    ++unloads;
  }
};

// Moves and copies for real (the loading road checks the disk afterwards); the trash is
// a folder the test names, and opened addresses are only recorded.
class FakeShell : public ShellPort {
 public:
  std::vector<std::string> opened;
  std::vector<std::string> trashed;
  std::string trashFolder;
  bool systemTrash = false;  // use the real freedesktop trash (of the test's home)

  bool Open(const std::string& target) override {
    opened.push_back(target);
    return true;
  }
  bool MoveFile(const std::string& from, const std::string& to) override {
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return !error;
  }
  bool CopyFile(const std::string& from, const std::string& to) override {
    std::error_code error;
    return std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
  }
  bool MoveToTrash(const std::string& path) override {
    trashed.push_back(path);
    if (systemTrash) return SystemShell().MoveToTrash(path);
    if (trashFolder.empty()) return false;
    std::error_code error;
    std::filesystem::rename(path, trashFolder + std::filesystem::path(path).filename().string(), error);
    return !error;
  }
};

class FakeDialogs : public DialogPort {
 public:
  std::deque<std::vector<std::string>> openAnswers;
  std::string saveAnswer;
  std::string folderAnswer;
  std::vector<std::string> titles;
  std::vector<FileFilter> lastFilters;
  std::vector<std::string> messages;

  std::vector<std::string> OpenFiles(const std::string& title, const std::vector<FileFilter>& filters,
                                     const std::string&, const std::string&, bool) override {
    titles.push_back(title);
    lastFilters = filters;
    if (openAnswers.empty()) return {};
    std::vector<std::string> answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
  }
  std::string SaveFile(const std::string& title, const std::vector<FileFilter>& filters, const std::string&) override {
    titles.push_back(title);
    lastFilters = filters;
    return saveAnswer;
  }
  std::string ChooseFolder(const std::string& prompt, const std::string&) override {
    titles.push_back(prompt);
    return folderAnswer;
  }
  int ShowMessage(const std::string& text, const std::string& title, const std::vector<std::string>&,
                  const std::string&) override {
    messages.push_back(title + ": " + text);
    return 0;
  }
};

class FakeBrowser : public BrowserPort {
 public:
  std::vector<std::string> calls;
  std::vector<BrowserItem> items;

  void BrowseMedia() override { calls.push_back("BrowseMedia"); }
  void ShowFolder(const std::string& folder, bool resetScroll) override {
    calls.push_back("ShowFolder " + folder + (resetScroll ? " reset" : " keep"));
  }
  void ShowError(const std::string& message) override { calls.push_back("ShowError " + message); }
  void GoLevelUp() override { calls.push_back("GoLevelUp"); }
  std::vector<BrowserItem> Items() override { return items; }
};

class FakeHost : public HostPort {
 public:
  std::vector<std::string> calls;
  bool decompilerOpen = false;

  void WebUpdate(bool automatic) override { calls.push_back(automatic ? "WebUpdate auto" : "WebUpdate"); }
  void OpenHelp(const std::string& topic) override { calls.push_back("OpenHelp " + topic); }
  void OfferTip(const std::string& key) override { calls.push_back("OfferTip " + key); }
  void RestoreScreenSaver() override { calls.push_back("RestoreScreenSaver"); }
  void ClearFileTypes() override { calls.push_back("ClearFileTypes"); }
  bool DialogOpen(const std::string& name) override { return name == "frmDecompiler" && decompilerOpen; }
  void EndProcess() override { calls.push_back("EndProcess"); }
};

}  // namespace vantrel::player::testing
