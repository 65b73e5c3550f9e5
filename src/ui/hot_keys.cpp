#include "ui/hot_keys.h"

#include <Qt>

namespace vantrel::ui {

const std::vector<HotKey>& PlayerHotKeys() {
  static const std::vector<HotKey> keys = {
      {0, QKeySequence(Qt::CTRL | Qt::Key_O)},       {1, QKeySequence(Qt::CTRL | Qt::Key_I)},
      {2, QKeySequence(Qt::CTRL | Qt::Key_Q)},       {3, QKeySequence(Qt::CTRL | Qt::Key_F)},
      {4, QKeySequence(Qt::ALT | Qt::Key_Return)},   {6, QKeySequence(Qt::CTRL | Qt::Key_T)},
      {7, QKeySequence(Qt::CTRL | Qt::Key_H)},       {8, QKeySequence(Qt::CTRL | Qt::Key_L)},
      {9, QKeySequence(Qt::CTRL | Qt::Key_Z)},       {10, QKeySequence(Qt::CTRL | Qt::Key_P)},
      {11, QKeySequence(Qt::CTRL | Qt::Key_S)},      {12, QKeySequence(Qt::CTRL | Qt::Key_N)},
      {13, QKeySequence(Qt::CTRL | Qt::Key_B)},      {14, QKeySequence(Qt::CTRL | Qt::Key_U)},
      {15, QKeySequence(Qt::CTRL | Qt::Key_J)},      {16, QKeySequence(Qt::CTRL | Qt::Key_M)},
      {17, QKeySequence(Qt::CTRL | Qt::Key_Right)},  {18, QKeySequence(Qt::CTRL | Qt::Key_Left)},
      {19, QKeySequence(Qt::ALT | Qt::Key_Right)},   {20, QKeySequence(Qt::ALT | Qt::Key_Left)},
      {21, QKeySequence(Qt::CTRL | Qt::Key_Insert)}, {22, QKeySequence(Qt::SHIFT | Qt::Key_Insert)},
      {23, QKeySequence(Qt::SHIFT | Qt::Key_Delete)}, {24, QKeySequence(Qt::CTRL | Qt::Key_K)},
  };
  return keys;
}

KeyAction HotKeyAction(int id, bool browserShowing) {
  switch (id) {
    case 0: return KeyAction::Click("mnuOpen");
    case 1: return KeyAction::Click("mnuInfo");
    case 2: return KeyAction::Click("mnuExit");
    case 3:
    case 4: return KeyAction::Click("mnuFullScreen");
    case 6: return KeyAction::Click("mnuTopMost");
    case 7: return KeyAction::Click("mnuQLvl", 0);
    case 8: return KeyAction::Click("mnuQLvl", 2);
    case 9: return KeyAction::Click("mnuZoom100");
    case 10: return KeyAction::Click("mnuPlay");
    case 11: return KeyAction::Click("mnuStop");
    case 12: return KeyAction::Click("mnuFFwd");
    case 13: return KeyAction::Click("mnuRwd");
    case 14: return KeyAction::Click("mnuVolumeUp");
    case 15: return KeyAction::Click("mnuVolumeDown");
    case 16: return KeyAction::Click("mnuMute");
    case 17: return KeyAction::Click(browserShowing ? "mnuBrowseForward" : "mnuPlayNext");
    case 18: return KeyAction::Click(browserShowing ? "mnuBrowseBack" : "mnuPlayPrev");
    case 19: return browserShowing ? KeyAction::Click("mnuBrowseForward") : KeyAction{};
    case 20: return browserShowing ? KeyAction::Click("mnuBrowseBack") : KeyAction{};
    case 21: return KeyAction::Click("mnuPicture");
    case 22: return KeyAction::Click("mnuThumbnail");
    case 23: return KeyAction::Click("mnuClearCache");
    case 24: return KeyAction::Click("mnuHandyKeys");
    default: return {};
  }
}

KeyAction HandyAction(int key, const KeyState& state) {
  if (state.menuBarHidden) {
    switch (key) {
      case Qt::Key_F1: return KeyAction::Click("mnuHelpMe");
      case Qt::Key_F2: return KeyAction::Click("mnuMenuBar");
      case Qt::Key_F3: return KeyAction::Click("mnuBrowse");
      case Qt::Key_F6: return KeyAction::Click("mnuPlaylist");
      case Qt::Key_F8: return KeyAction::Click("mnuHideUI");
      default: break;
    }
  }
  if (key == Qt::Key_Backspace && state.browserShowing) return KeyAction::Click("mnuBrowseUp");
  if (!state.handyKeys) return {};
  switch (key) {
    case Qt::Key_Escape: return {KeyAction::LeaveFullScreen, {}, -1};
    case Qt::Key_Space: return KeyAction::Click("mnuPlay");
    case Qt::Key_Left: return KeyAction::Click("mnuRwd");
    case Qt::Key_Right: return KeyAction::Click("mnuFFwd");
    case Qt::Key_Up: return KeyAction::Click("mnuVolumeUp");
    case Qt::Key_Down: return KeyAction::Click("mnuVolumeDown");
    default: return {};
  }
}

KeyAction AppCommandAction(int key) {
  switch (key) {
    case Qt::Key_Back: return KeyAction::Click("mnuBrowseBack");
    case Qt::Key_Forward: return KeyAction::Click("mnuBrowseForward");
    case Qt::Key_Refresh:
    case Qt::Key_Search: return KeyAction::Click("mnuBrowse");
    case Qt::Key_Favorites: return KeyAction::Click("mnuFavManage");
    case Qt::Key_HomePage: return {KeyAction::BrowseHome, {}, -1};
    case Qt::Key_VolumeMute: return KeyAction::Click("mnuMute");
    case Qt::Key_VolumeDown: return KeyAction::Click("mnuVolumeDown");
    case Qt::Key_VolumeUp: return KeyAction::Click("mnuVolumeUp");
    case Qt::Key_MediaNext: return KeyAction::Click("mnuPlayNext");
    case Qt::Key_MediaPrevious: return KeyAction::Click("mnuPlayPrev");
    case Qt::Key_MediaStop: return KeyAction::Click("mnuStop");
    case Qt::Key_MediaPlay:
    case Qt::Key_MediaPause:
    case Qt::Key_MediaTogglePlayPause: return KeyAction::Click("mnuPlay");
    case Qt::Key_LaunchMedia: return KeyAction::Click("mnuBrowsePick");
    case Qt::Key_Help: return KeyAction::Click("mnuHelpMe");
    case Qt::Key_Open: return KeyAction::Click("mnuOpen");
    case Qt::Key_Save: return KeyAction::Click("mnuConvert");
    case Qt::Key_Copy: return KeyAction::Click("mnuItemCopy");
    case Qt::Key_Cut: return KeyAction::Click("mnuItemCut");
    case Qt::Key_Paste: return KeyAction::Click("mnuFolderPaste");
    default: return {};
  }
}

}  // namespace vantrel::ui
