#include "ui/menu_mirror.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QApplication>
#include <QFileInfo>
#include <QFileIconProvider>
#include <QMenuBar>
#include <QStyle>

namespace vantrel::ui {

using player::MenuItem;
using player::MenuKind;

namespace {

// The icon each command carries in the menus, drawn from the desktop style's own set so
// that the menus match the rest of the desktop.
QIcon StandardIcon(QStyle::StandardPixmap pixmap) { return QApplication::style()->standardIcon(pixmap); }

QIcon ItemIcon(const MenuItem& item, bool paused) {
  const std::string& n = item.name;
  const auto is = [&](std::initializer_list<const char*> names) {
    for (const char* name : names)
      if (n == name) return true;
    return false;
  };
  if (is({"mnuPlay", "mnuPopPlay", "mnuMoviePlay"}))
    return StandardIcon(paused ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay);
  if (is({"mnuStop", "mnuPopStop"})) return StandardIcon(QStyle::SP_MediaStop);
  if (is({"mnuOpen", "mnuPopOpen"})) return StandardIcon(QStyle::SP_DialogOpenButton);
  if (is({"mnuConvert", "mnuPopConvert", "mnuMovieConvert", "mnuSavePL", "mnuExportVideo"}))
    return StandardIcon(QStyle::SP_DialogSaveButton);
  if (is({"mnuHelpMe", "mnuAutomate"})) return StandardIcon(QStyle::SP_DialogHelpButton);
  if (is({"mnuInfo", "mnuPopInfo", "mnuMovieInfo"})) return StandardIcon(QStyle::SP_MessageBoxInformation);
  if (is({"mnuClearCache", "mnuItemDelete", "mnuRemove", "mnuRemoveAll"})) return StandardIcon(QStyle::SP_TrashIcon);
  if (is({"mnuExit", "mnuPopExit"})) return StandardIcon(QStyle::SP_DialogCloseButton);
  if (is({"mnuBrowse", "mnuPopBrowse", "mnuFolderBrowse"})) return StandardIcon(QStyle::SP_FileDialogContentsView);
  if (is({"mnuFavorites", "mnuFavAdd"})) return StandardIcon(QStyle::SP_DirLinkIcon);
  if (is({"mnuScreenSaver", "mnuMovieSaver", "mnuDesktop"})) return StandardIcon(QStyle::SP_ComputerIcon);
  if (is({"mnuOpt"})) return StandardIcon(QStyle::SP_FileDialogDetailedView);
  if (is({"mnuWeb", "mnuUpd", "mnuFeedback", "mnuDownload"})) return StandardIcon(QStyle::SP_DriveNetIcon);
  if (is({"mnuSkin"})) return StandardIcon(QStyle::SP_DesktopIcon);
  if (is({"mnuAbout", "mnuPopAbout"})) return StandardIcon(QStyle::SP_MessageBoxQuestion);
  if (is({"mnuPlayNext"})) return StandardIcon(QStyle::SP_MediaSkipForward);
  if (is({"mnuPlayPrev"})) return StandardIcon(QStyle::SP_MediaSkipBackward);
  if (is({"mnuFFwd"})) return StandardIcon(QStyle::SP_MediaSeekForward);
  if (is({"mnuRwd"})) return StandardIcon(QStyle::SP_MediaSeekBackward);
  if (is({"mnuVolumeUp", "mnuVolumeDown"})) return StandardIcon(QStyle::SP_MediaVolume);
  if (is({"mnuBrowseBack"})) return StandardIcon(QStyle::SP_ArrowBack);
  if (is({"mnuBrowseForward"})) return StandardIcon(QStyle::SP_ArrowForward);
  if (is({"mnuBrowseUp"})) return StandardIcon(QStyle::SP_FileDialogToParent);
  if (is({"mnuAddtoPL", "mnuPLadd", "mnuItemAdd"})) return StandardIcon(QStyle::SP_FileIcon);
  if (is({"mnuPLaddFolder"})) return StandardIcon(QStyle::SP_DirIcon);
  // Recent files show the icon of their file type.
  if (n == "mnuMRU" && item.enabled && QFileInfo::exists(QString::fromStdString(item.caption)))
    return QFileIconProvider().icon(QFileInfo(QString::fromStdString(item.caption)));
  return {};
}

}  // namespace

MenuMirror::MenuMirror(player::MenuModel& model, QMenuBar* menuBar, QWidget* owner, ClickHandler onClick)
    : QObject(owner), model_(model), menuBar_(menuBar), owner_(owner), onClick_(std::move(onClick)) {
  Rebuild();
  model_.SetListener([this](int position) {
    if (position < 0) Rebuild();
    else Sync(position);
  });
}

MenuMirror::~MenuMirror() { model_.SetListener({}); }

QString MenuMirror::ObjectName(const MenuItem& item) {
  QString name = QString::fromStdString(item.name);
  if (item.index >= 0) name += QStringLiteral("_%1").arg(item.index);
  return name;
}

QString MenuMirror::ActionText(const MenuItem& item) {
  QString text = QString::fromStdString(item.caption);
  if (!item.shortcut.empty()) text += QLatin1Char('\t') + QString::fromStdString(item.shortcut);
  return text;
}

QAction* MenuMirror::Action(const std::string& name, int index) const {
  const int position = model_.Find(name, index);
  if (position < 0 || static_cast<std::size_t>(position) >= actions_.size()) return nullptr;
  return actions_[static_cast<std::size_t>(position)];
}

QMenu* MenuMirror::PopUp(const std::string& name) const {
  const auto found = popUps_.find(name);
  return found == popUps_.end() ? nullptr : found->second.data();
}

void MenuMirror::Clear() {
  if (menuBar_) menuBar_->clear();
  for (auto& menu : menus_) {
    if (menu) menu->deleteLater();
  }
  popUps_.clear();
  radioGroups_.clear();
  menus_.clear();
  actions_.clear();
}

void MenuMirror::Rebuild() {
  Clear();
  const std::vector<MenuItem>& items = model_.Items();
  actions_.resize(items.size());
  menus_.resize(items.size());
  std::map<int, int> segment;  // separators seen so far, by parent position
  // Items come in tree order, so a parent always exists before its children.
  for (std::size_t i = 0; i < items.size(); ++i) {
    const MenuItem& item = items[i];
    const QString name = ObjectName(item);
    QMenu* parentMenu = item.parent >= 0 ? menus_[static_cast<std::size_t>(item.parent)].data() : nullptr;
    if (item.kind == MenuKind::Menu) {
      auto* menu = new QMenu(QString::fromStdString(item.caption), owner_);
      menu->setObjectName(name);
      menu->menuAction()->setObjectName(name);
      menus_[i] = menu;
      actions_[i] = menu->menuAction();
      if (parentMenu) {
        parentMenu->addMenu(menu);
      } else if (item.name.rfind("Menu", 0) == 0 && menuBar_) {
        menuBar_->addMenu(menu);
      } else {
        popUps_[item.name] = menu;
      }
      Sync(static_cast<int>(i));
      continue;
    }
    if (!parentMenu) continue;
    if (item.kind == MenuKind::Separator || item.caption == "-") ++segment[item.parent];
    QAction* action = item.kind == MenuKind::Separator ? parentMenu->addSeparator() : parentMenu->addAction(QString());
    if (!name.isEmpty()) action->setObjectName(name);
    actions_[i] = action;
    if (item.kind == MenuKind::Item) {
      action->setCheckable(item.mark != player::MenuMark::None);
      if (item.mark == player::MenuMark::Radio) {
        // Radio items are drawn with the style's round mark: one group per run of
        // items between separators (the sort menu holds two such runs).
        const auto key = std::make_pair(item.parent, segment[item.parent]);
        if (!radioGroups_.count(key)) {
          radioGroups_[key] = new QActionGroup(parentMenu);
          radioGroups_[key]->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
        }
        radioGroups_[key]->addAction(action);
      }
      const std::string itemName = item.name;
      const int index = item.index;
      connect(action, &QAction::triggered, this, [this, itemName, index] {
        onClick_(itemName, index);
        // Qt flips a checkable action by itself; the model decides.
        const int position = model_.Find(itemName, index);
        if (position >= 0) Sync(position);
      });
    }
    Sync(static_cast<int>(i));
  }
}

void MenuMirror::Sync(int position) {
  if (position < 0 || static_cast<std::size_t>(position) >= actions_.size()) return;
  QAction* action = actions_[static_cast<std::size_t>(position)];
  if (!action) return;
  const MenuItem& item = model_.Items()[static_cast<std::size_t>(position)];
  action->setVisible(item.visible);
  action->setEnabled(item.enabled && item.available);
  if (item.kind == MenuKind::Separator) return;
  if (QMenu* menu = menus_[static_cast<std::size_t>(position)]) menu->setTitle(QString::fromStdString(item.caption));
  else action->setText(ActionText(item));
  if (action->isCheckable()) action->setChecked(item.checked);
  // Checked and radio items show their mark, the others their command's icon.
  if (item.kind == MenuKind::Item && item.mark == player::MenuMark::None) {
    const bool paused = (item.name == "mnuPlay" || item.name == "mnuPopPlay") && item.caption == pauseCaption_;
    action->setIcon(ItemIcon(item, paused));
  }
}

}  // namespace vantrel::ui
