// The player's menus without widgets: every item with its caption, shortcut, tag and
// checked / enabled / visible state, addressable by name (and index for item arrays).
// The check marks double as option values; the window mirrors this model into menus.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::player {

enum class MenuKind : std::uint8_t {
  Menu,       // a menu with items below it (top-level menus and sub-menus)
  Item,       // a command
  Separator,  // a line; its caption is "-"
};

// The mark the menu drawing puts in front of a checked item.
enum class MenuMark : std::uint8_t { None, Check, Radio };

struct MenuItem {
  std::string name;   // "mnuOpen"; separators outside arrays have no name
  int index = -1;     // position inside an item array ("mnuQLvl"(2)), -1 for single items
  std::string caption;
  std::string shortcut;  // "Ctrl+O", "F6", "" when none
  std::string tag;       // quality and sort values, "!" language references
  MenuKind kind = MenuKind::Item;
  MenuMark mark = MenuMark::None;
  bool checked = false;
  bool enabled = true;
  bool visible = true;
  // False for items whose work comes with another part of the program that is not
  // built yet: they stay greyed whatever their enabled state says.
  bool available = true;
  int parent = -1;  // position of the parent in Items(), -1 for top-level menus
};

class MenuModel {
 public:
  // Called after any property of an item changed, with its position in Items(); -1
  // when items were added or removed (positions moved: rebuild what is shown).
  using Listener = std::function<void(int position)>;

  MenuModel() = default;

  // Every item in tree order (a menu is followed by its items).
  const std::vector<MenuItem>& Items() const { return items_; }

  // The position of the item, or -1 when there is none.
  int Find(std::string_view name, int index = -1) const;
  // The item, or nullptr.
  const MenuItem* Get(std::string_view name, int index = -1) const;
  // Positions of the direct children of parent (-1: the top-level menus), in order.
  std::vector<int> Children(int parent) const;
  // The number of items of an item array (0 when there is none).
  int ArrayCount(std::string_view name) const;

  // State reads; a missing item reads as false / "".
  bool Checked(std::string_view name, int index = -1) const;
  bool Enabled(std::string_view name, int index = -1) const;
  bool Visible(std::string_view name, int index = -1) const;
  std::string Caption(std::string_view name, int index = -1) const;
  std::string Tag(std::string_view name, int index = -1) const;
  // Enabled and available: what the user can click.
  bool Clickable(std::string_view name, int index = -1) const;

  // State writes; a missing item is ignored. The listener hears only real changes.
  void SetChecked(std::string_view name, bool value) { SetChecked(name, -1, value); }
  void SetChecked(std::string_view name, int index, bool value);
  void SetEnabled(std::string_view name, bool value) { SetEnabled(name, -1, value); }
  void SetEnabled(std::string_view name, int index, bool value);
  void SetVisible(std::string_view name, bool value) { SetVisible(name, -1, value); }
  void SetVisible(std::string_view name, int index, bool value);
  void SetCaption(std::string_view name, std::string_view caption) { SetCaption(name, -1, caption); }
  void SetCaption(std::string_view name, int index, std::string_view caption);
  void SetTag(std::string_view name, int index, std::string_view tag);
  // Shows or hides the item at a position of Items() (separators have no name).
  void SetVisibleAt(int position, bool value);
  // Marks every item of that name (all indexes) available or not.
  void SetAvailable(std::string_view name, bool value);

  // Grows or shrinks an item array to count items (at least 1: index 0 always stays).
  // New items copy the last one's kind, mark and parent and start visible, enabled and
  // unchecked with an empty caption. Returns false when there is no such array.
  bool ResizeArray(std::string_view name, int count);

  void SetListener(Listener listener) { listener_ = std::move(listener); }

  // Adds an item under parent (a position, -1 for a top-level menu); returns its
  // position. Used by BuildPlayerMenus and by tests.
  int Add(int parent, MenuItem item);

 private:
  void Changed(int position) {
    if (listener_) listener_(position);
  }
  MenuItem* Mutable(std::string_view name, int index);

  std::vector<MenuItem> items_;
  Listener listener_;
};

// The player window's whole menu tree with its initial states: the six menus of the
// menu bar ("MenuFile" .. "MenuHelp") and the two hidden pop-up menus ("PopUp",
// "PupItem").
MenuModel BuildPlayerMenus();

}  // namespace vantrel::player
