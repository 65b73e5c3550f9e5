#include "ui/menu_mirror.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace vantrel::ui {

using player::MenuItem;
using player::MenuKind;

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
  menus_.clear();
  actions_.clear();
}

void MenuMirror::Rebuild() {
  Clear();
  const std::vector<MenuItem>& items = model_.Items();
  actions_.resize(items.size());
  menus_.resize(items.size());
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
    QAction* action = item.kind == MenuKind::Separator ? parentMenu->addSeparator() : parentMenu->addAction(QString());
    if (!name.isEmpty()) action->setObjectName(name);
    actions_[i] = action;
    if (item.kind == MenuKind::Item) {
      action->setCheckable(item.mark != player::MenuMark::None);
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
  action->setEnabled(item.enabled);
  if (item.kind == MenuKind::Separator) return;
  if (QMenu* menu = menus_[static_cast<std::size_t>(position)]) menu->setTitle(QString::fromStdString(item.caption));
  else action->setText(ActionText(item));
  if (action->isCheckable()) action->setChecked(item.checked);
}

}  // namespace vantrel::ui
