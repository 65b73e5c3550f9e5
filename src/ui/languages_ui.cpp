#include "ui/languages_ui.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "core/language.h"
#include "core/options.h"
#include "core/text.h"
#include "player/menu_model.h"

namespace vantrel::ui {

namespace {

std::string Value(const core::Languages& languages, const std::string& path, const std::string& fallback) {
  return core::GetNodeValue(languages.Document(), path, fallback);
}

QString CaptionOf(QWidget* control) {
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
  if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
  if (auto* group = qobject_cast<QGroupBox*>(control)) return group->title();
  return {};
}

void SetCaptionOf(QWidget* control, const QString& text) {
  if (auto* button = qobject_cast<QAbstractButton*>(control)) button->setText(text);
  else if (auto* label = qobject_cast<QLabel*>(control)) label->setText(text);
  else if (auto* group = qobject_cast<QGroupBox*>(control)) group->setTitle(text);
}

bool FilledAtRunTime(const std::string& name) {
  return name == "mnuMRU" || name == "mnuLangList" || name == "mnuSkinList" || name == "mnuFavList" || name == "mnuWeb";
}

}  // namespace

void ApplyLanguage(QWidget* window, const core::Languages& languages) {
  const std::string name = window->objectName().toStdString();
  if (name != "Player") {
    const QString tag = window->property("tag").toString();
    const std::string key = tag.startsWith(QLatin1Char('!')) ? "LANG/" + tag.mid(1).toStdString() + "/@text"
                                                             : "LANG/" + core::UpperAscii(name) + "/@title";
    window->setWindowTitle(QString::fromStdString(Value(languages, key, window->windowTitle().toStdString())));
  }
  for (QWidget* control : window->findChildren<QWidget*>()) {
    const std::string controlName = control->objectName().toStdString();
    if (controlName.empty() || controlName.rfind("qt_", 0) == 0) continue;
    const std::string base = "LANG/" + core::UpperAscii(name + "/" + controlName);
    const QString present = CaptionOf(control);
    std::string text = present.toStdString();
    if (present == QStringLiteral("?")) {
      control->setToolTip(QString::fromStdString(
          Value(languages, "LANG/SHARED/HELP/@tooltip", control->toolTip().toStdString())));
    }
    const QString tag = control->property("tag").toString();
    if (tag.startsWith(QLatin1Char('!'))) text = tag.toStdString();
    if (!present.isEmpty() || !text.empty()) {
      text = Value(languages, base + "/@text", text);
      SetCaptionOf(control, text.rfind('!', 0) == 0 ? present : QString::fromStdString(text));
    }
    control->setToolTip(QString::fromStdString(Value(languages, base + "/@tooltip", control->toolTip().toStdString())));
    if (auto* list = qobject_cast<QComboBox*>(control)) {
      for (int i = 0; i < list->count(); ++i) {
        const std::string entry = Value(languages, base + "/LIST_" + std::to_string(i) + "/@text", list->itemText(i).toStdString());
        list->setItemText(i, QString::fromStdString(entry));
      }
    }
  }
}

void ApplyMenuLanguage(player::MenuModel& menus, const core::Languages& languages) {
  // Positions stay valid: captions change, items are not added or removed.
  const std::size_t count = menus.Items().size();
  for (std::size_t i = 0; i < count; ++i) {
    const player::MenuItem item = menus.Items()[i];
    if (item.name.empty() || item.kind == player::MenuKind::Separator || FilledAtRunTime(item.name)) continue;
    std::string base = "LANG/PLAYER/" + core::UpperAscii(item.name);
    if (item.index >= 0) base += "_" + std::to_string(item.index);
    std::string text = item.tag.rfind('!', 0) == 0 ? item.tag : item.caption;
    text = Value(languages, base + "/@text", text);
    if (text.rfind('!', 0) == 0) text = item.caption;
    menus.SetCaption(item.name, item.index, text);
  }
}

void BuildLanguageMenu(player::MenuModel& menus, const core::Languages& languages) {
  // The separator above the Language menu goes and comes with it.
  const auto showLanguageMenu = [&menus](bool show) {
    menus.SetVisible("mnuLang", show);
    const int position = menus.Find("mnuLang");
    if (position > 0 && menus.Items()[static_cast<std::size_t>(position - 1)].kind == player::MenuKind::Separator)
      menus.SetVisibleAt(position - 1, show);
  };
  showLanguageMenu(false);
  menus.ResizeArray("mnuLangList", 1);
  const auto& table = languages.Table();
  if (table.size() < 2) return;
  showLanguageMenu(true);
  menus.ResizeArray("mnuLangList", static_cast<int>(table.size()));
  for (std::size_t i = 0; i < table.size(); ++i) {
    const int index = static_cast<int>(i);
    menus.SetCaption("mnuLangList", index, table[i].FileBase + " - " + table[i].Title);
    menus.SetEnabled("mnuLangList", index, true);
    menus.SetVisible("mnuLangList", index, true);
    menus.SetChecked("mnuLangList", index, i == languages.Current());
  }
}

QString InitInterfaceFont(core::OptionsStore& options) {
  const QString candidates[] = {QString::fromStdString(options.ReadText("Window", "FontName", "Century Gothic")),
                                QStringLiteral("Lucida Sans Unicode"), QStringLiteral("Tahoma")};
  const QStringList families = QFontDatabase::families();
  // The first candidate the font system has wins; without any, the system's family
  // stays, but the chosen size applies either way.
  QFont font = QApplication::font();
  for (const QString& candidate : candidates) {
    if (!families.contains(candidate, Qt::CaseInsensitive)) continue;
    font.setFamily(candidate);
    break;
  }
  font.setPointSize(std::max(1, static_cast<int>(options.ReadNumber("Window", "FontSize", 8))));
  QApplication::setFont(font);
  return font.family();
}

}  // namespace vantrel::ui
