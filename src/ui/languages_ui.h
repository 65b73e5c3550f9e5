// Languages applied to windows: translating a window's captions, the player's menu
// texts, the language menu and the interface font.
#pragma once

#include <QWidget>

namespace vantrel::core {
class Languages;
class OptionsStore;
}  // namespace vantrel::core
namespace vantrel::player {
class MenuModel;
}

namespace vantrel::ui {

// Translates window (its title unless it is "Player", then every named child's
// caption, tooltip and list entries) from the language document.
void ApplyLanguage(QWidget* window, const core::Languages& languages);

// Translates the player's menu captions ("LANG/PLAYER/MNUOPEN/@text", array items with
// "_" and the index; "!" references followed once). The arrays filled at run time
// (recent files, skins, favourites, languages) keep their texts.
void ApplyMenuLanguage(player::MenuModel& menus, const core::Languages& languages);

// Fills "mnuLangList" with every language ("FileBase - Title") and checks the current
// one; with fewer than two languages the language menu stays hidden.
void BuildLanguageMenu(player::MenuModel& menus, const core::Languages& languages);

// Chooses the interface font: the first of the option "Window"/"FontName", "Lucida Sans
// Unicode" and "Tahoma" that the font system really has, at "Window"/"FontSize" points.
// When none is there the system font stays. Returns the family used.
QString InitInterfaceFont(core::OptionsStore& options);

}  // namespace vantrel::ui
