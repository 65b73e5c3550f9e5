// What the player needs from its window: geometry and state, caption, the chrome that
// full screen and hide-interface mode switch, the playlist pane and the skin.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantrel::player {

enum class WindowState : std::uint8_t { Normal = 0, Minimized = 1, Maximized = 2 };

struct WindowRect {
  std::int32_t left = 0, top = 0, width = 0, height = 0;
};

// The window's chrome around the movie area (skin frame, menu bar, playlist pane).
struct WindowMargins {
  std::int32_t left = 0, right = 0, top = 0, bottom = 0;
};

struct ViewSize {
  std::int32_t width = 0, height = 0;
};

class WindowPort {
 public:
  virtual ~WindowPort() = default;

  virtual WindowState State() = 0;
  virtual void SetState(WindowState state) = 0;
  // The outer frame in pixels.
  virtual WindowRect Geometry() = 0;
  virtual void SetGeometry(const WindowRect& rect) = 0;
  virtual WindowMargins FrameMargins() = 0;
  // The screen area a window may use.
  virtual WindowRect ScreenArea() = 0;
  // The movie area, which is the Flash control's size.
  virtual ViewSize View() = 0;
  // Lays the movie area out again (after a load, a skin or pane change).
  virtual void LayoutView() = 0;

  virtual void SetCaption(const std::string& caption) = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void SetFrameless(bool frameless) = 0;  // border and caption removed
  virtual void SetMenuBarVisible(bool visible) = 0;
  virtual void SetTopMost(bool topMost) = 0;
  virtual void SetPlaylistPaneVisible(bool visible) = 0;
  virtual void SetAddressBarVisible(bool visible) = 0;

  // The skin: switch its view ("viewNormal", "viewFullScreen"), show the full-screen
  // controls and playlist, re-apply it, refresh its playback elements.
  virtual bool SkinLoaded() = 0;
  virtual void SetSkinView(const std::string& view) = 0;
  virtual void ShowFullScreenControls() = 0;
  virtual void UpdateSkin() = 0;
  virtual void RefreshPlayback() = 0;
  // A short note about the movie for the status line (the skin's time field), shown for
  // a while without stopping anything.
  virtual void ShowStatus(const std::string& text) { (void)text; }

  // The playlist pane: rebuild its lines from the playlist, read and set the selection,
  // and hold redrawing while several lines go.
  virtual void PlaylistChanged() = 0;
  virtual std::vector<std::int32_t> PlaylistSelection() = 0;
  virtual void SelectPlaylistLine(std::int32_t line) = 0;
  virtual void LockRedraw(bool locked) = 0;

  // Lets pending window events run.
  virtual void ProcessEvents() = 0;
  // Releases the window's event hooks and the application shortcuts (on quitting).
  virtual void ReleaseHooks() = 0;
  // Unloads every window of the program, the player window last.
  virtual void UnloadAll() = 0;
};

}  // namespace vantrel::player
