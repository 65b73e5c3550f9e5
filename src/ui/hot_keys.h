// The player's keyboard: the hot-key set that works while Vantrel is the active
// application, the single "handy" keys, and the multimedia and browser keys. Each key
// becomes a menu command of the player.
#pragma once

#include <QKeySequence>
#include <string>
#include <vector>

namespace vantrel::ui {

struct KeyAction {
  enum Kind { None, Menu, LeaveFullScreen, BrowseHome } kind = None;
  std::string menu;  // the menu item clicked for Kind::Menu
  int index = -1;

  static KeyAction Click(std::string name, int index = -1) { return {Menu, std::move(name), index}; }
  bool operator==(const KeyAction&) const = default;
};

struct HotKey {
  int id;
  QKeySequence keys;
};

// The hot-key set in id order (Ctrl+O .. Ctrl+K).
const std::vector<HotKey>& PlayerHotKeys();

// What hot key id does; browserShowing switches Ctrl/Alt+Left/Right to the browser's
// history. Unknown ids do nothing.
KeyAction HotKeyAction(int id, bool browserShowing);

struct KeyState {
  bool menuBarHidden = false;
  bool handyKeys = false;  // "Handy Hot Keys" checked
  bool browserShowing = false;
};

// The single-key shortcuts for a key press (a Qt::Key) in state.
KeyAction HandyAction(int key, const KeyState& state);

// The multimedia and browser keys (Qt::Key_MediaPlay, Qt::Key_Back, ...): what they do,
// or nothing for a key that is not one of them.
KeyAction AppCommandAction(int key);

}  // namespace vantrel::ui
