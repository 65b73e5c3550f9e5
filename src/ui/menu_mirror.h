// Mirrors the player's menu model into Qt menus: the menu bar's top-level menus and the
// hidden pop-up menus, every item a QAction named as in the model ("mnuOpen", array
// items "mnuQLvl_2"), kept in step with the model's captions and states.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "player/menu_model.h"

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;
class QWidget;

namespace vantrel::ui {

class MenuMirror : public QObject {
  Q_OBJECT

 public:
  using ClickHandler = std::function<void(const std::string& name, int index)>;

  // Builds the menus from model into menuBar (top-level menus named "Menu...") and into
  // stand-alone pop-ups (the others) owned by owner; clicks go to onClick.
  MenuMirror(player::MenuModel& model, QMenuBar* menuBar, QWidget* owner, ClickHandler onClick);
  ~MenuMirror() override;

  // The action of an item, or nullptr.
  QAction* Action(const std::string& name, int index = -1) const;
  // A hidden top-level menu ("PopUp", "PupItem"), or nullptr.
  QMenu* PopUp(const std::string& name) const;
  // The object name an item's action carries.
  static QString ObjectName(const player::MenuItem& item);
  // An item's text with its shortcut after a tab, as the menus show it.
  static QString ActionText(const player::MenuItem& item);

  // Builds every menu again from the model (after items were added or removed). The
  // old menus go later, so a menu whose click caused this can finish its work.
  void Rebuild();

  // The caption mnuPlay shows while a movie plays; it carries the pause icon.
  void SetPauseCaption(const std::string& caption) { pauseCaption_ = caption; }

 private:
  void Sync(int position);
  void Clear();

  player::MenuModel& model_;
  QPointer<QMenuBar> menuBar_;
  QPointer<QWidget> owner_;
  ClickHandler onClick_;
  std::vector<QPointer<QAction>> actions_;  // by model position
  std::vector<QPointer<QMenu>> menus_;      // by model position, for menu kinds
  std::map<std::string, QPointer<QMenu>> popUps_;
  std::map<std::pair<int, int>, QActionGroup*> radioGroups_;  // by parent and run; owned by their menus
  std::string pauseCaption_ = "Pause";
};

}  // namespace vantrel::ui
