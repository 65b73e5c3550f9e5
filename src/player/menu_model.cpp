#include "player/menu_model.h"

namespace vantrel::player {

int MenuModel::Find(std::string_view name, int index) const {
  if (name.empty()) return -1;
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].index == index && items_[i].name == name) return static_cast<int>(i);
  return -1;
}

const MenuItem* MenuModel::Get(std::string_view name, int index) const {
  const int position = Find(name, index);
  return position < 0 ? nullptr : &items_[static_cast<std::size_t>(position)];
}

MenuItem* MenuModel::Mutable(std::string_view name, int index) {
  const int position = Find(name, index);
  return position < 0 ? nullptr : &items_[static_cast<std::size_t>(position)];
}

std::vector<int> MenuModel::Children(int parent) const {
  std::vector<int> children;
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].parent == parent) children.push_back(static_cast<int>(i));
  return children;
}

int MenuModel::ArrayCount(std::string_view name) const {
  int count = 0;
  for (const MenuItem& item : items_)
    if (item.index >= 0 && item.name == name) ++count;
  return count;
}

bool MenuModel::Checked(std::string_view name, int index) const {
  const MenuItem* item = Get(name, index);
  return item && item->checked;
}

bool MenuModel::Enabled(std::string_view name, int index) const {
  const MenuItem* item = Get(name, index);
  return item && item->enabled;
}

bool MenuModel::Clickable(std::string_view name, int index) const {
  const MenuItem* item = Get(name, index);
  return item && item->enabled && item->available;
}

void MenuModel::SetVisibleAt(int position, bool value) {
  if (position < 0 || static_cast<std::size_t>(position) >= items_.size()) return;
  if (items_[static_cast<std::size_t>(position)].visible == value) return;
  items_[static_cast<std::size_t>(position)].visible = value;
  Changed(position);
}

void MenuModel::SetAvailable(std::string_view name, bool value) {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].name != name || items_[i].available == value) continue;
    items_[i].available = value;
    Changed(static_cast<int>(i));
  }
}

bool MenuModel::Visible(std::string_view name, int index) const {
  const MenuItem* item = Get(name, index);
  return item && item->visible;
}

std::string MenuModel::Caption(std::string_view name, int index) const {
  const MenuItem* item = Get(name, index);
  return item ? item->caption : std::string();
}

std::string MenuModel::Tag(std::string_view name, int index) const {
  const MenuItem* item = Get(name, index);
  return item ? item->tag : std::string();
}

void MenuModel::SetChecked(std::string_view name, int index, bool value) {
  const int position = Find(name, index);
  if (position < 0 || items_[static_cast<std::size_t>(position)].checked == value) return;
  items_[static_cast<std::size_t>(position)].checked = value;
  Changed(position);
}

void MenuModel::SetEnabled(std::string_view name, int index, bool value) {
  const int position = Find(name, index);
  if (position < 0 || items_[static_cast<std::size_t>(position)].enabled == value) return;
  items_[static_cast<std::size_t>(position)].enabled = value;
  Changed(position);
}

void MenuModel::SetVisible(std::string_view name, int index, bool value) {
  const int position = Find(name, index);
  if (position < 0 || items_[static_cast<std::size_t>(position)].visible == value) return;
  items_[static_cast<std::size_t>(position)].visible = value;
  Changed(position);
}

void MenuModel::SetCaption(std::string_view name, int index, std::string_view caption) {
  const int position = Find(name, index);
  if (position < 0 || items_[static_cast<std::size_t>(position)].caption == caption) return;
  items_[static_cast<std::size_t>(position)].caption = std::string(caption);
  Changed(position);
}

void MenuModel::SetTag(std::string_view name, int index, std::string_view tag) {
  const int position = Find(name, index);
  if (position < 0 || items_[static_cast<std::size_t>(position)].tag == tag) return;
  items_[static_cast<std::size_t>(position)].tag = std::string(tag);
  Changed(position);
}

bool MenuModel::ResizeArray(std::string_view name, int count) {
  const int current = ArrayCount(name);
  if (current == 0) return false;
  if (count < 1) count = 1;
  if (count == current) return true;
  if (count < current) {
    for (int index = current - 1; index >= count; --index) {
      const int position = Find(name, index);
      if (position < 0) continue;
      items_.erase(items_.begin() + position);
      for (MenuItem& item : items_)
        if (item.parent > position) --item.parent;
    }
  } else {
    const MenuItem model = items_[static_cast<std::size_t>(Find(name, current - 1))];
    for (int index = current; index < count; ++index) {
      const int position = Find(name, index - 1) + 1;
      for (MenuItem& item : items_)
        if (item.parent >= position) ++item.parent;
      MenuItem item;
      item.name = model.name;
      item.index = index;
      item.kind = model.kind == MenuKind::Separator ? MenuKind::Item : model.kind;
      item.mark = model.mark;
      item.parent = model.parent;
      items_.insert(items_.begin() + position, std::move(item));
    }
  }
  // Positions after the array moved: the listener hears -1 and rebuilds what it shows.
  Changed(-1);
  return true;
}

int MenuModel::Add(int parent, MenuItem item) {
  item.parent = parent;
  if (item.caption == "-") item.kind = MenuKind::Separator;
  items_.push_back(std::move(item));
  return static_cast<int>(items_.size()) - 1;
}

}  // namespace vantrel::player
