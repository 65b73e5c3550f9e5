// The player window `Player`: the movie area `View`, the playlist pane `PlayList`, the
// menus mirrored from the player's menu model, the keyboard, drops and the timers. It
// draws the player core and forwards every user action to it.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "player/window_port.h"
#include "ui/hot_keys.h"

class QLabel;
class QShortcut;

namespace vantrel::player {
class Player;
}
namespace vantrel::core {
class ExecutionLog;
class Languages;
class OptionsStore;
}  // namespace vantrel::core

namespace vantrel::ui {

class MenuMirror;
class Skin;
class MovieEngine;
class MovieView;
class PlaylistPane;

class PlayerWindow : public QMainWindow, public player::WindowPort {
  Q_OBJECT

 public:
  explicit PlayerWindow(QWidget* parent = nullptr);
  ~PlayerWindow() override;

  // Connects the window to the player core and the engine (both outlive the window):
  // builds the menus from the core's model and starts the engine's clock.
  void Attach(player::Player* player, MovieEngine* engine);

  // Where the skin comes from; set before UseSkin.
  struct SkinSetup {
    std::string skinPath, userSkinPath;
    core::OptionsStore* options = nullptr;
    const core::Languages* languages = nullptr;
    core::ExecutionLog* log = nullptr;
  };
  void SetSkinSetup(SkinSetup setup) { skinSetup_ = std::move(setup); }
  // Wears the shipped skin (true) or none; checks the matching item of the Skin menu.
  // Returns whether a skin is on afterwards.
  bool UseSkin(bool on);
  Skin* CurrentSkin() const { return skin_.get(); }
  // The window's outline from the skin's masks (force: even with the menu bar shown).
  void UpdateRegion(bool force);

  MovieView* MovieArea() const { return view_; }
  // The height of the skin's control bar at the bottom of the central area (0 without a
  // skin or in full screen).
  int ControlBarHeight() const;
  PlaylistPane* PlayList() const { return pane_; }
  MenuMirror* Menus() const { return menus_.get(); }
  QTimer* UpdateTimer() const { return tmrUpdate_; }

  // A command line handed over by a second instance: the window comes to the front and
  // the core processes the text.
  void HandOver(const QString& text);
  // Files dropped on the window; onPane when the drop point lies inside the pane.
  void FilesDropped(const std::vector<std::string>& paths, bool onPane);
  // Shows a message in the status line for a while.
  void ShowStatusMessage(const QString& text);
  // The options dialog was confirmed: the skin is drawn again in its colours and the
  // movie area laid out again.
  void OptionsChanged();
  // Performs a key's action (hot keys, handy keys, multimedia keys).
  void Perform(const KeyAction& action);

  // Places the media browser page beside the movie area; it shows instead of the movie
  // while the browser page is loaded.
  void SetBrowserPage(QWidget* page);

  // The skin's view or the window's chrome changed (the control bar came or went).
  std::function<void()> onChromeChanged;
  // A skin element that is no menu item was clicked (the tip button): true when handled.
  std::function<bool(const std::string& name)> onSkinCommand;
  // Called for the "browser home" key: show the user's Flash folder.
  std::function<void()> onBrowseHome;
  // Menu items whose action lies outside the player core (the language list, ...).
  std::function<bool(const std::string& name, int index)> onOtherMenu;  // true: handled
  // Gives a menu item (all indexes of an array) an action outside the player core.
  void SetMenuAction(const std::string& name, std::function<void(int index)> action);
  // Clicks a menu item as the user would: nothing for greyed items. Returns false when
  // the item is clickable but nothing does its work (the menu walk looks for these).
  bool ClickMenu(const std::string& name, int index = -1);
  // Called by UnloadAll after the player window has closed (the application ends).
  std::function<void()> onUnloaded;

  // ---- player::WindowPort -------------------------------------------------------------
  player::WindowState State() override;
  void SetState(player::WindowState state) override;
  player::WindowRect Geometry() override;
  void SetGeometry(const player::WindowRect& rect) override;
  player::WindowMargins FrameMargins() override;
  player::WindowRect ScreenArea() override;
  player::ViewSize View() override;
  void LayoutView() override;
  void SetCaption(const std::string& caption) override;
  void Show() override;
  void Hide() override;
  void SetFrameless(bool frameless) override;
  void SetMenuBarVisible(bool visible) override;
  void SetTopMost(bool topMost) override;
  void SetPlaylistPaneVisible(bool visible) override;
  void SetAddressBarVisible(bool visible) override;
  bool SkinLoaded() override;
  void SetSkinView(const std::string& view) override;
  void ShowFullScreenControls() override;
  void UpdateSkin() override;
  void RefreshPlayback() override;
  // A note about the movie: over the top of the movie area for a while (a click puts
  // it away), and in the status line.
  void ShowStatus(const std::string& text) override;
  void PlaylistChanged() override;
  std::vector<std::int32_t> PlaylistSelection() override;
  void SelectPlaylistLine(std::int32_t line) override;
  void LockRedraw(bool locked) override;
  void ProcessEvents() override;
  void ReleaseHooks() override;
  void UnloadAll() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Click(const std::string& name, int index = -1) { ClickMenu(name, index); }
  void ShowPopUp(const std::string& kind, QPoint globalPos);
  void InstallShortcuts();
  void AdvanceEngine();
  int ClockInterval() const;
  bool HandleKey(QKeyEvent* event);
  void ApplyAspectRatio(QSize oldSize);
  QSize Decoration() const;
  void ArrangeSkin();
  void FitSkinToWindow();
  void ShowSkinTime(const QString& text);
  void ShowFullScreenTime();
  QString FullScreenTimeText() const;
  bool FullScreenGroupUnderMouse() const;
  void SkinClick(const std::string& name);
  void SetVolumeFromSkin(int x);
  void PlaceVolumeKnob();

  QPointer<QWidget> central_;
  MovieView* view_;
  PlaylistPane* pane_;
  PlaylistPane* fullList_ = nullptr;  // the skin's playlist in full screen
  bool browserShowing_ = false;
  QPointer<QWidget> browserPage_;
  QLabel* status_;
  QTimer* tmrUpdate_;
  QTimer* clock_;
  QTimer* fullBarTimer_;  // hides the full-screen controls when the mouse rests
  QElapsedTimer clockWatch_;
  std::unique_ptr<MenuMirror> menus_;
  std::map<std::string, std::function<void(int)>> menuActions_;
  std::vector<QShortcut*> shortcuts_;
  player::Player* player_ = nullptr;
  MovieEngine* engine_ = nullptr;
  bool frameless_ = false;
  bool closing_ = false;
  bool adjusting_ = false;
  QWidget* skinHost_ = nullptr;
  QPointer<QWidget> cornerBacking_[2];  // behind the bar's rounded lower corners
  QLabel* note_ = nullptr;              // the note over the movie (ShowStatus)
  QTimer* noteTimer_ = nullptr;
  std::unique_ptr<Skin> skin_;
  SkinSetup skinSetup_;
  QElapsedTimer skinMessage_;  // runs while a status message shows in the skin
  bool skinShowsPause_ = false;
  bool skinShowsMute_ = false;
};

}  // namespace vantrel::ui
