// The window's widget-free rules and its menus: keys, aspect ratio, the command-line
// text, and the menu mirror's names and states.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/language.h"
#include "core/options.h"
#include "player/menu_model.h"
#include "ui/languages_ui.h"
#include "ui/aspect_ratio.h"
#include "ui/command_line_text.h"
#include "ui/hot_keys.h"
#include "ui/menu_mirror.h"
#include "ui/video_page.h"
#include "player/time_text.h"

namespace vantrel::ui {
namespace {

TEST(HotKeys, TheSetMatchesItsActions) {
  const auto& keys = PlayerHotKeys();
  ASSERT_EQ(keys.size(), 24u);  // ids 0..24 without 5
  for (const HotKey& key : keys) {
    if (key.id == 19 || key.id == 20) continue;
    EXPECT_NE(HotKeyAction(key.id, false).kind, KeyAction::None) << key.id;
  }
  EXPECT_EQ(HotKeyAction(17, false), KeyAction::Click("mnuPlayNext"));
  EXPECT_EQ(HotKeyAction(17, true), KeyAction::Click("mnuBrowseForward"));
  EXPECT_EQ(HotKeyAction(20, false), KeyAction{});
  EXPECT_EQ(HotKeyAction(20, true), KeyAction::Click("mnuBrowseBack"));
  EXPECT_EQ(HotKeyAction(7, false), KeyAction::Click("mnuQLvl", 0));
  EXPECT_EQ(HotKeyAction(5, false), KeyAction{});
}

TEST(HotKeys, HandyKeysOnlyWhenSwitchedOnAndFunctionKeysOnlyWithoutMenuBar) {
  KeyState state;
  EXPECT_EQ(HandyAction(Qt::Key_Space, state), KeyAction{});
  EXPECT_EQ(HandyAction(Qt::Key_F2, state), KeyAction{});
  state.handyKeys = true;
  EXPECT_EQ(HandyAction(Qt::Key_Space, state), KeyAction::Click("mnuPlay"));
  EXPECT_EQ(HandyAction(Qt::Key_Escape, state).kind, KeyAction::LeaveFullScreen);
  EXPECT_EQ(HandyAction(Qt::Key_Down, state), KeyAction::Click("mnuVolumeDown"));
  state.menuBarHidden = true;
  EXPECT_EQ(HandyAction(Qt::Key_F2, state), KeyAction::Click("mnuMenuBar"));
  EXPECT_EQ(HandyAction(Qt::Key_F8, state), KeyAction::Click("mnuHideUI"));
  EXPECT_EQ(HandyAction(Qt::Key_Backspace, state), KeyAction{});
  state.browserShowing = true;
  EXPECT_EQ(HandyAction(Qt::Key_Backspace, state), KeyAction::Click("mnuBrowseUp"));
  EXPECT_EQ(AppCommandAction(Qt::Key_MediaNext), KeyAction::Click("mnuPlayNext"));
  EXPECT_EQ(AppCommandAction(Qt::Key_VolumeMute), KeyAction::Click("mnuMute"));
  EXPECT_EQ(AppCommandAction(Qt::Key_A), KeyAction{});
}

TEST(AspectRatio, EdgesMoveTheSideTheRuleNames) {
  const ChromeMargins m{4, 4, 30, 20};
  // A 400x300 movie; the right edge dragged to a 804-wide window: area 796 wide.
  const EdgeRect right = KeepAspectRatio({100, 100, 904, 400}, ResizeEdge::Right, m, 400, 300);
  EXPECT_EQ(right, (EdgeRect{100, 100, 904, 100 + 597 + 50}));
  const EdgeRect topLeft = KeepAspectRatio({100, 100, 904, 900}, ResizeEdge::TopLeft, m, 400, 300);
  EXPECT_EQ(topLeft, (EdgeRect{100, 900 - 597 - 50, 904, 900}));
  // The bottom edge moves the right side: 250 inside -> 333.33 -> 333.
  const EdgeRect bottom = KeepAspectRatio({0, 0, 500, 300}, ResizeEdge::Bottom, m, 400, 300);
  EXPECT_EQ(bottom, (EdgeRect{0, 0, 333 + 8, 300}));
  // Halves go to even: 5 inside at 1:2 -> 2.5 -> 2.
  const EdgeRect half = KeepAspectRatio({0, 0, 5, 1}, ResizeEdge::Right, {}, 2, 1);
  EXPECT_EQ(half.bottom, 2);
  EXPECT_EQ(KeepAspectRatio({0, 0, 50, 50}, ResizeEdge::Right, m, 0, 0), (EdgeRect{0, 0, 50, 50}));
}

TEST(AspectRatio, AWindowLargerThanTheScreenShrinksToItAndMovesOntoIt) {
  const ChromeMargins m{0, 0, 60, 52};
  const EdgeRect screen{0, 0, 1440, 900};
  // 900 wide for a 4:3 movie asks for 675 + 112 = 787 high at y = 200: it moves up.
  EXPECT_EQ(FitInside({100, 200, 1000, 987}, screen, m, 400, 300), (EdgeRect{100, 113, 1000, 900}));
  // 900x899 at y = 89 on a 900-pixel screen: moved up to fit.
  const EdgeRect tall = FitInside({0, 89, 900, 988}, screen, m, 900, 787);
  EXPECT_GE(tall.top, 0);
  EXPECT_LE(tall.bottom, 900);
  // Taller than the screen: the height becomes the screen's and the width follows.
  const EdgeRect huge = FitInside({10, 10, 1410, 1212}, screen, m, 400, 300);
  EXPECT_EQ(huge.bottom - huge.top, 900);
  EXPECT_EQ(huge.right - huge.left, 1051);  // (900 - 112) * 4 / 3
  EXPECT_GE(huge.top, 0);
  // A window that fits is left alone.
  EXPECT_EQ(FitInside({50, 50, 450, 412}, screen, m, 400, 300), (EdgeRect{50, 50, 450, 412}));
}

TEST(VideoBar, TellsTheTimeAsTheSkinDoes) {
  // A 2.4 s video at 25 frames per second, 1.6 s played: the skin shows 0:02 / 0:02.
  const player::DisplayTexts skin = player::BuildDisplayTexts(player::kTimeElapsed, 40, 60, 25.0, "Time");
  EXPECT_EQ(PlayerVideoTimeText(1.6, 60, 25.0), skin.current + " / " + skin.total);
  EXPECT_EQ(PlayerVideoTimeText(1.6, 60, 25.0), "0:02 / 0:02");
}

TEST(CommandLineText, QuotesBlanksAndMakesExistingRelativePathsAbsolute) {
  QTemporaryDir folder;
  QFile(folder.filePath(QStringLiteral("my movie.swf"))).open(QIODevice::WriteOnly);
  const std::string text =
      CommandLineText({QStringLiteral("my movie.swf"), QStringLiteral("missing.swf"), QStringLiteral("/abs/x.swf")},
                      folder.path());
  EXPECT_EQ(text, "\"" + QDir(folder.path()).filePath(QStringLiteral("my movie.swf")).toStdString() +
                      "\" missing.swf /abs/x.swf");
  EXPECT_EQ(CommandLineText({QStringLiteral("/EXEC"), QStringLiteral("Player.SetQuality"), QStringLiteral("\"Low\"")}, "/"),
            "/EXEC Player.SetQuality \"Low\"");
  EXPECT_EQ(CommandLineText({}, "/"), "");
}

TEST(MenuMirror, ActionsCarryTheModelsNamesTextsAndStates) {
  player::MenuModel model = player::BuildPlayerMenus();
  QWidget owner;
  QMenuBar bar(&owner);
  std::vector<std::pair<std::string, int>> clicks;
  MenuMirror mirror(model, &bar, &owner, [&](const std::string& name, int index) {
    clicks.emplace_back(name, index);
    if (name == "mnuShuffle") model.SetChecked("mnuShuffle", !model.Checked("mnuShuffle"));
  });

  // Six menus on the bar; the two pop-ups stay off it.
  ASSERT_EQ(bar.actions().size(), 6);
  EXPECT_EQ(bar.actions().front()->objectName(), QStringLiteral("MenuFile"));
  ASSERT_NE(mirror.PopUp("PopUp"), nullptr);
  ASSERT_NE(mirror.PopUp("PupItem"), nullptr);

  QAction* open = owner.findChild<QAction*>(QStringLiteral("mnuOpen"));
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(open->text(), QStringLiteral("Open...\tCtrl+O"));
  QAction* low = owner.findChild<QAction*>(QStringLiteral("mnuQLvl_2"));
  ASSERT_NE(low, nullptr);
  EXPECT_EQ(low->text(), QStringLiteral("Low"));
  EXPECT_TRUE(owner.findChild<QAction*>(QStringLiteral("mnuPlaylist"))->isChecked());
  EXPECT_FALSE(owner.findChild<QAction*>(QStringLiteral("mnuDownload"))->isVisible());

  // The model decides the check, not Qt's own toggling: a click the model ignores
  // leaves the mark as it was.
  QAction* nonStop = owner.findChild<QAction*>(QStringLiteral("mnuNonStop"));
  nonStop->trigger();
  EXPECT_FALSE(nonStop->isChecked());
  QAction* shuffle = owner.findChild<QAction*>(QStringLiteral("mnuShuffle"));
  shuffle->trigger();
  EXPECT_TRUE(shuffle->isChecked());
  ASSERT_EQ(clicks.size(), 2u);
  EXPECT_EQ(clicks[1], (std::pair<std::string, int>{"mnuShuffle", -1}));

  // State changes in the model reach the actions, also after items were added.
  model.SetCaption("mnuPlay", "Pause");
  EXPECT_EQ(owner.findChild<QAction*>(QStringLiteral("mnuPlay"))->text(), QStringLiteral("Pause\tCtrl+P"));
  model.ResizeArray("mnuMRU", 3);
  model.SetCaption("mnuMRU", 2, "/movies/c.swf");
  ASSERT_NE(mirror.Action("mnuMRU", 2), nullptr);
  EXPECT_EQ(mirror.Action("mnuMRU", 2)->text(), QStringLiteral("/movies/c.swf"));
  model.SetEnabled("mnuSavePL", false);
  EXPECT_FALSE(mirror.Action("mnuSavePL")->isEnabled());
}

}  // namespace
}  // namespace vantrel::ui

namespace vantrel::ui {
namespace {

TEST(LanguageMenu, GoesWithItsSeparatorWhenOnlyEnglishShips) {
  QTemporaryDir folder;
  const std::string path = folder.path().toStdString() + "/";
  QFile::copy(QStringLiteral(VANTREL_BUILD_DIR "/Languages/English.xml"), folder.filePath(QStringLiteral("English.xml")));
  core::Languages only(path);
  only.EnumerateLanguages("", 1033);
  player::MenuModel menus = player::BuildPlayerMenus();
  const int language = menus.Find("mnuLang");
  BuildLanguageMenu(menus, only);
  EXPECT_FALSE(menus.Visible("mnuLang"));
  EXPECT_FALSE(menus.Items()[static_cast<std::size_t>(language - 1)].visible);

  QFile::copy(QStringLiteral(VANTREL_BUILD_DIR "/Languages/German.xml"), folder.filePath(QStringLiteral("German.xml")));
  core::Languages two(path);
  two.EnumerateLanguages("German", 1033);
  BuildLanguageMenu(menus, two);
  EXPECT_TRUE(menus.Visible("mnuLang"));
  EXPECT_TRUE(menus.Items()[static_cast<std::size_t>(language - 1)].visible);
  ASSERT_EQ(menus.ArrayCount("mnuLangList"), 2);
  EXPECT_EQ(menus.Caption("mnuLangList", 1), "German - Deutsch");
  EXPECT_TRUE(menus.Checked("mnuLangList", 1));
}

TEST(InterfaceFont, TheSizeAppliesWhateverFamilyWins) {
  const QFont saved = QApplication::font();
  QTemporaryDir folder;
  core::OptionsStore options((folder.path() + QStringLiteral("/options.conf")).toStdString());
  options.WriteText("Window", "FontName", "No Such Family Anywhere");
  options.WriteNumber("Window", "FontSize", 14);
  InitInterfaceFont(options);
  EXPECT_EQ(QApplication::font().pointSize(), 14);
  // A family the font system has is taken with the size.
  const QStringList installed = QFontDatabase::families();
  if (installed.isEmpty()) {
    QApplication::setFont(saved);
    return;
  }
  const QString family = installed.first();
  options.WriteText("Window", "FontName", family.toStdString());
  options.WriteNumber("Window", "FontSize", 11);
  EXPECT_EQ(InitInterfaceFont(options).compare(family, Qt::CaseInsensitive), 0);
  EXPECT_EQ(QApplication::font().pointSize(), 11);
  QApplication::setFont(saved);
}

}  // namespace
}  // namespace vantrel::ui
