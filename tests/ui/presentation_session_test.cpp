// The presentation in a whole player window: every menu item does something or is
// greyed, the options dialog round trip, switching languages and skins, and the
// window's outline under the shipped skin.
#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <optional>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "core/paths.h"
#include "core/version.h"
#include "core/text.h"
#include "player/player.h"
#include "support/temp_home.h"
#include "ui/first_run_dialog.h"
#include "ui/menu_mirror.h"
#include "ui/movie_view.h"
#include "ui/options_dialog.h"
#include "ui/player_session.h"
#include "ui/player_window.h"
#include "ui/playlist_pane.h"
#include "ui/presentation.h"
#include "ui/skin.h"
#include "ui/tips.h"
#include "fake_engine.h"

namespace vantrel::ui {
namespace {

namespace fs = std::filesystem;
using testing::FakeEngine;

// Every question the core asks is answered with "cancel".
class CancelDialogs : public player::DialogPort {
 public:
  std::vector<std::string> OpenFiles(const std::string&, const std::vector<player::FileFilter>&, const std::string&,
                                     const std::string&, bool) override {
    ++asked;
    return {};
  }
  std::string SaveFile(const std::string&, const std::vector<player::FileFilter>&, const std::string&) override {
    ++asked;
    return {};
  }
  std::string ChooseFolder(const std::string&, const std::string&) override {
    ++asked;
    return {};
  }
  int ShowMessage(const std::string&, const std::string&, const std::vector<std::string>&, const std::string&) override {
    ++asked;
    return 0;
  }
  int asked = 0;
};

class PresentationSession : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("VANTREL_APP_PATH", VANTREL_BUILD_DIR, 1);
    // Web pages and folders "open" through a recorder instead of the desktop.
    const std::string bin = home_.Path() + "bin/";
    fs::create_directories(bin);
    std::ofstream(bin + "xdg-open") << "#!/bin/sh\necho \"$1\" >> \"" << home_.Path() << "opened.txt\"\n";
    fs::permissions(bin + "xdg-open", fs::perms::owner_all);
    savedPath_ = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", (bin + ":" + savedPath_).c_str(), 1);
  }
  void TearDown() override { setenv("PATH", savedPath_.c_str(), 1); }

  std::unique_ptr<PlayerSession> Start(const std::string& commandLine, std::optional<bool> skin = false) {
    SessionHooks hooks;
    hooks.makeEngine = [this] {
      auto engine = std::make_unique<FakeEngine>();
      engine_ = engine.get();
      return engine;
    };
    hooks.firstRun = [this](FirstRunDialog& dialog) {
      if (onFirstRun) onFirstRun(dialog);
      dialog.findChild<QPushButton*>(QStringLiteral("cbGo"))->click();
    };
    hooks.options = [this](OptionsDialog& dialog) {
      ++optionsShown_;
      if (onOptions) onOptions(dialog);
    };
    hooks.skin = skin;
    hooks.dialogs = &dialogs_;
    auto session = std::make_unique<PlayerSession>(hooks);
    EXPECT_EQ(session->Start(commandLine), player::StartUpResult::Running);
    CurrentPresentation().openAddress = [this](const std::string& address) { opened_.push_back(address); };
    return session;
  }

  std::string Demo() const { return std::string(VANTREL_BUILD_DIR) + "/Media/Demo/Orbits.swf"; }

  testing::TempHome home_;
  std::string savedPath_;
  FakeEngine* engine_ = nullptr;
  int optionsShown_ = 0;
  std::function<void(OptionsDialog&)> onOptions;
  std::function<void(FirstRunDialog&)> onFirstRun;
  std::vector<std::string> opened_;
  CancelDialogs dialogs_;
};

TEST_F(PresentationSession, EveryClickableMenuItemIsWired) {
  auto session = Start("\"" + Demo() + "\"");
  PlayerWindow* window = session->Window();
  player::Player* player = session->GetPlayer();
  // Every menu of the window, the pop-ups included, in the states a movie gives them.
  player->PreparePopUp("PopUp");
  player->PreparePopUp("Playlist");
  std::vector<std::pair<std::string, int>> clickable;
  for (const player::MenuItem& item : player->Menus().Items()) {
    if (item.kind != player::MenuKind::Item || item.name.empty()) continue;
    if (!item.enabled || !item.available) continue;
    clickable.emplace_back(item.name, item.index);
  }
  ASSERT_GT(clickable.size(), 60u);
  // Items that open a modal dialog (the generator, favourites, the folder picker) get it
  // closed again at once, so the walk goes on.
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  closer.start(20);
  std::vector<std::string> unwired;
  for (const auto& [name, index] : clickable) {
    // Exit ends the session; it is the core's own (Quit) and checked elsewhere.
    if (name == "mnuExit" || name == "mnuPopExit") continue;
    if (!window->ClickMenu(name, index)) unwired.push_back(name + (index >= 0 ? "(" + std::to_string(index) + ")" : ""));
    QCoreApplication::processEvents();
  }
  std::string list;
  for (const std::string& name : unwired) list += name + " ";
  EXPECT_TRUE(unwired.empty()) << "enabled but wired to nothing: " << list;
  EXPECT_GE(optionsShown_, 1);
  EXPECT_GE(dialogs_.asked, 3);  // open, add to playlist, export, add folder
  // Help opens the shipped pages; the web items go to the product's site.
  ASSERT_FALSE(opened_.empty());
  EXPECT_NE(opened_.front().find("/Media/Help/index.html"), std::string::npos) << opened_.front();
}

TEST_F(PresentationSession, OptionsAreStoredOnOkAndComeBackAfterARestart) {
  auto session = Start("");
  onOptions = [](OptionsDialog& dialog) {
    dialog.findChild<QCheckBox*>(QStringLiteral("chkCrop"))->setChecked(false);
    dialog.findChild<QComboBox*>(QStringLiteral("cmbStyle"))->setCurrentIndex(2);
    auto* quality = dialog.findChild<QLineEdit*>(QStringLiteral("txtQuality"));
    quality->setText(QStringLiteral("250"));
    dialog.findChild<QLineEdit*>(QStringLiteral("txtFrom"))->setText(QStringLiteral("60"));
    dialog.findChild<QLineEdit*>(QStringLiteral("txtTo"))->setText(QStringLiteral("40"));
    dialog.ShowPage(3);
    dialog.findChild<QPushButton*>(QStringLiteral("cbOK"))->click();
  };
  ASSERT_TRUE(session->Window()->ClickMenu("mnuOpt"));
  EXPECT_EQ(optionsShown_, 1);
  EXPECT_EQ(CurrentPresentation().style, 2);
  const std::string file = session->Options().FilePath();
  session->GetPlayer()->Quit("Exit", true);
  session.reset();

  core::OptionsStore stored(file);
  EXPECT_FALSE(stored.ReadBool("Window", "Crop", true));
  EXPECT_EQ(stored.ReadNumber("Window", "Style", 1), 2);
  // Out-of-range values are held within 0..100, and the range kept in order.
  EXPECT_EQ(stored.ReadNumber("Thumbnails", "ShotJpeg", 0), 100);
  EXPECT_EQ(stored.ReadNumber("Thumbnails", "SampleFrom", 0), 60);
  EXPECT_EQ(stored.ReadNumber("Thumbnails", "SampleTo", 0), 60);
  EXPECT_EQ(stored.ReadNumber("System", "OptionsPage", 0), 3);
  EXPECT_EQ(stored.ReadNumber("View", "ThemeHash", -1), 0);

  onOptions = [](OptionsDialog& dialog) {
    EXPECT_FALSE(dialog.findChild<QCheckBox*>(QStringLiteral("chkCrop"))->isChecked());
    EXPECT_EQ(dialog.findChild<QComboBox*>(QStringLiteral("cmbStyle"))->currentIndex(), 2);
    EXPECT_EQ(dialog.Page(), 3);
  };
  auto again = Start("");
  again->Window()->ClickMenu("mnuOpt");
  EXPECT_EQ(optionsShown_, 2);
}

TEST_F(PresentationSession, AChangedFlashFolderIsCreatedAndStored) {
  auto session = Start("");
  const std::string folder = home_.Path() + "Movies/Flash/";
  onOptions = [&](OptionsDialog& dialog) {
    dialog.findChild<QLineEdit*>(QStringLiteral("txtMyFlash"))->setText(QString::fromStdString(folder));
    dialog.ApplyOptions();
  };
  session->Window()->ClickMenu("mnuOpt");
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(session->Options().ReadText("Recent", "MyFlash", ""), folder);
}

TEST_F(PresentationSession, FirstRunHelpsMakesTheFlashFolderAndStoresItTwice) {
  const std::string folder = home_.Path() + "Documents/My Flash/";
  bool defaultBoxUsable = false;
  onFirstRun = [&](FirstRunDialog& dialog) {
    CurrentPresentation().openAddress = [this](const std::string& address) { opened_.push_back(address); };
    dialog.findChild<QPushButton*>(QStringLiteral("cbHelp"))->click();
    auto* box = dialog.findChild<QCheckBox*>(QStringLiteral("chkDefault"));
    defaultBoxUsable = box->isEnabled() && box->isVisibleTo(&dialog);
    box->setChecked(false);
    dialog.findChild<QLineEdit*>(QStringLiteral("txtMyFlash"))->setText(QString::fromStdString(folder));
  };
  auto session = Start("");
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_NE(opened_[0].find("elp/"), std::string::npos) << opened_[0];  // the shipped index or the web help
  EXPECT_TRUE(defaultBoxUsable);
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(session->Options().ReadText("Recent", "MyFlash", ""), folder);
  EXPECT_EQ(session->Options().ReadText("Recent", "", ""), folder);
}

TEST_F(PresentationSession, TipLinksRunTheTipsActionOrOpenTheirPage) {
  auto session = Start("");
  player::Player& player = *session->GetPlayer();
  Tip tip;
  tip.Action = "ToggleTimeMode";
  tip.Link = "automation";
  const std::int32_t before = player.TimeMode();
  session->FollowTip(tip);
  EXPECT_EQ(player.TimeMode(), (before + 1) % 4);
  EXPECT_TRUE(opened_.empty());
  tip.Action = "NoSuchOperation 1";
  session->FollowTip(tip);  // an error in the log, nothing else
  EXPECT_TRUE(opened_.empty());
  tip.Action.clear();
  session->FollowTip(tip);
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_NE(opened_[0].find("automation"), std::string::npos) << opened_[0];
  // Every shipped tip with an action names an operation the player has.
  for (const char* language : {"English", "German"}) {
    for (const Tip& shipped : LoadTips(session->Paths().MediaPath, language, 0, nullptr)) {
      if (shipped.Action.empty()) continue;
      EXPECT_TRUE(player.Script().Execute(shipped.Action).empty()) << language << ": " << shipped.Action;
    }
  }
}

TEST_F(PresentationSession, SwitchingTheLanguageRelabelsTheMenusAndIsKeptOnSave) {
  auto session = Start("");
  PlayerWindow* window = session->Window();
  player::MenuModel& menus = session->GetPlayer()->Menus();
  ASSERT_TRUE(menus.Visible("mnuLang")) << "a second language ships";
  int german = -1;
  for (int i = 0; i < menus.ArrayCount("mnuLangList"); ++i)
    if (menus.Caption("mnuLangList", i).rfind("German", 0) == 0) german = i;
  ASSERT_GE(german, 0);
  const std::string file = session->Options().FilePath();
  ASSERT_TRUE(window->ClickMenu("mnuLangList", german));
  EXPECT_EQ(window->Menus()->Action("mnuOpen")->text().left(7), QStringLiteral("Öffnen."));
  EXPECT_EQ(window->menuBar()->actions().front()->text(), QStringLiteral("Datei"));
  // Written when the options are saved, not at the click (the first run chose English).
  EXPECT_EQ(core::OptionsStore(file).ReadText("System", "Language", ""), "English");
  session->GetPlayer()->SaveOpts();
  EXPECT_EQ(core::OptionsStore(file).ReadText("System", "Language", ""), "German");
  // Every check box and label of the options dialog speaks German too.
  onOptions = [](OptionsDialog& dialog) {
    for (QWidget* control : dialog.findChildren<QWidget*>()) {
      const QString name = control->objectName();
      if (!name.startsWith(QLatin1String("chk")) && !name.startsWith(QLatin1String("lbl"))) continue;
      EXPECT_TRUE(UiText(("frmOptions/" + name).toStdString(), "").size() > 0) << name.toStdString();
    }
  };
  window->ClickMenu("mnuOpt");
  window->ClickMenu("mnuLangList", 0);
  EXPECT_EQ(window->Menus()->Action("mnuOpen")->text().left(7), QStringLiteral("Open..."));
}

TEST_F(PresentationSession, FullScreenShowsTheSkinsControlsOverTheMovie) {
  auto session = Start("\"" + Demo() + "\"", true);
  PlayerWindow* window = session->Window();
  player::MenuModel& menus = session->GetPlayer()->Menus();
  ASSERT_TRUE(window->SkinLoaded());
  auto* bar = window->findChild<SkinElement*>(QStringLiteral("picFullBar"));
  ASSERT_NE(bar, nullptr);
  EXPECT_FALSE(bar->isVisibleTo(window));
  window->ClickMenu("mnuFullScreen");
  ASSERT_TRUE(menus.Checked("mnuFullScreen"));
  QCoreApplication::processEvents();
  ASSERT_TRUE(bar->isVisibleTo(window));
  // Centred over the movie near the bottom, and inside the window.
  const QRect area = bar->geometry();
  const QWidget* view = bar->parentWidget();
  EXPECT_NEAR(area.center().x(), view->width() / 2, 1);
  EXPECT_LE(area.bottom(), view->height());
  EXPECT_GT(area.top(), view->height() / 2);
  // Its buttons click the items they are named after: the last one leaves full screen.
  SkinElement* leave = nullptr;
  for (auto* element : bar->findChildren<SkinElement*>(QStringLiteral("mnuFullScreen"))) leave = element;
  ASSERT_NE(leave, nullptr);
  QTest::mouseClick(leave, Qt::LeftButton, {}, leave->rect().center());
  EXPECT_FALSE(menus.Checked("mnuFullScreen"));
  QCoreApplication::processEvents();
  EXPECT_FALSE(bar->isVisibleTo(window));

  // The mute buttons change their picture with the sound: the speaker, then crossed out.
  auto* mute = window->findChild<SkinElement*>(QStringLiteral("mnuMute"));
  ASSERT_NE(mute, nullptr);
  const QImage sounding = mute->Picture();
  window->ClickMenu("mnuMute");
  session->GetPlayer()->UpdateTick();
  EXPECT_NE(mute->Picture(), sounding);
  window->ClickMenu("mnuMute");
  session->GetPlayer()->UpdateTick();
  EXPECT_EQ(mute->Picture(), sounding);
}

TEST_F(PresentationSession, TheShippedSkinShapesTheWindowAndSwitchesAtRunTime) {
  auto session = Start("\"" + Demo() + "\"", true);
  PlayerWindow* window = session->Window();
  player::MenuModel& menus = session->GetPlayer()->Menus();
  ASSERT_TRUE(window->SkinLoaded());
  EXPECT_TRUE(menus.Checked("mnuSkinList", 1));
  // With the menu bar shown the window stays a rectangle; without it the skin's
  // rounded bar cuts the outline.
  EXPECT_TRUE(window->mask().isEmpty());
  window->ClickMenu("mnuMenuBar");
  ASSERT_FALSE(menus.Checked("mnuMenuBar"));
  QCoreApplication::processEvents();
  const QRegion shape = window->mask();
  ASSERT_FALSE(shape.isEmpty());
  EXPECT_NE(shape, QRegion(window->rect()));
  EXPECT_FALSE(shape.contains(QPoint(0, window->height() - 1)));
  EXPECT_TRUE(shape.contains(QPoint(window->width() / 2, window->height() - 1)));
  // The movie area sits above the skin's bar.
  EXPECT_EQ(engine_->viewSize.height(), window->MovieArea()->height());

  // The skin's buttons click the menu items they are named after.
  auto* play = window->findChild<SkinElement*>(QStringLiteral("mnuPlaylist"));
  ASSERT_NE(play, nullptr);
  const bool pane = menus.Checked("mnuPlaylist");
  QTest::mouseClick(play, Qt::LeftButton, {}, play->rect().center());
  EXPECT_NE(menus.Checked("mnuPlaylist"), pane);

  ASSERT_TRUE(window->ClickMenu("mnuSkinList", 0));
  EXPECT_FALSE(window->SkinLoaded());
  EXPECT_TRUE(window->mask().isEmpty());
  EXPECT_TRUE(menus.Checked("mnuSkinList", 0));
  EXPECT_EQ(session->Options().ReadNumber("Window", "Skin", 1), 0);
}

}  // namespace
}  // namespace vantrel::ui

namespace vantrel::ui {
namespace {

SkinElement* SkinPart(QWidget* window, const char* name) {
  return window->findChild<SkinElement*>(QString::fromLatin1(name));
}

TEST_F(PresentationSession, TheFullScreenPlaylistOpensFromItsSideStripAndActsOnItsOwnSelection) {
  const std::string demo = Demo();
  auto session = Start("\"" + demo + "\" \"" + demo + "\" \"" + demo + "\"", true);
  PlayerWindow* window = session->Window();
  player::Player& player = *session->GetPlayer();
  player::MenuModel& menus = player.Menus();
  ASSERT_TRUE(window->SkinLoaded());
  auto* list = window->findChild<PlaylistPane*>(QStringLiteral("lstFullPlaylist"));
  ASSERT_NE(list, nullptr);
  if (menus.Checked("mnuPlaylist")) window->ClickMenu("mnuPlaylist");
  window->ClickMenu("mnuFullScreen");
  QCoreApplication::processEvents();
  // Closed: only the side strip shows, at the right edge.
  SkinElement* side = SkinPart(window, "picFullSide");
  ASSERT_NE(side, nullptr);
  ASSERT_TRUE(side->isVisibleTo(window));
  EXPECT_FALSE(list->isVisibleTo(window));
  EXPECT_EQ(side->geometry().right(), side->parentWidget()->width() - 1);

  QTest::mouseClick(side, Qt::LeftButton, {}, side->rect().center());
  ASSERT_TRUE(menus.Checked("mnuPlaylist"));
  ASSERT_TRUE(list->isVisibleTo(window));
  EXPECT_EQ(list->count(), 3);
  EXPECT_EQ(side->geometry().right() + 1, list->geometry().left());
  // The window's own pane stays away in full screen.
  EXPECT_FALSE(window->PlayList()->isVisibleTo(window));

  // The playlist bar's buttons work on the line chosen in this list.
  list->SelectLine(2);
  SkinElement* remove = SkinPart(window, "mnuRemove");
  ASSERT_NE(remove, nullptr);
  ASSERT_TRUE(remove->isVisibleTo(window));
  QTest::mouseClick(remove, Qt::LeftButton, {}, remove->rect().center());
  EXPECT_EQ(player.GetPlaylist().Count(), 2);
  EXPECT_EQ(list->count(), 2);
  EXPECT_EQ(window->PlayList()->count(), 2);

  QTest::mouseClick(side, Qt::LeftButton, {}, side->rect().center());
  EXPECT_FALSE(menus.Checked("mnuPlaylist"));
  EXPECT_FALSE(list->isVisibleTo(window));
}

TEST_F(PresentationSession, TheBarsVolumeControlAndTimeFieldAnswerTheMouse) {
  auto session = Start("\"" + Demo() + "\"", true);
  PlayerWindow* window = session->Window();
  player::Player& player = *session->GetPlayer();
  window->resize(900, 480);
  QCoreApplication::processEvents();
  SkinElement* track = SkinPart(window, "picVolume");
  SkinElement* knob = SkinPart(window, "picVolumeKnob");
  ASSERT_NE(track, nullptr);
  ASSERT_NE(knob, nullptr);
  ASSERT_TRUE(track->isVisibleTo(window));
  QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(1, track->height() / 2));
  EXPECT_EQ(player.Volume(), 0);
  const int quiet = knob->x();
  QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(track->width() / 2, track->height() / 2));
  EXPECT_NEAR(player.Volume(), 50, 3);
  QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(track->width() - 1, track->height() / 2));
  EXPECT_EQ(player.Volume(), 100);
  EXPECT_GT(knob->x(), quiet);
  EXPECT_EQ(knob->geometry().center().y(), track->geometry().center().y());

  SkinElement* time = SkinPart(window, "picTime");
  ASSERT_NE(time, nullptr);
  const int mode = player.TimeMode();
  QTest::mouseClick(time, Qt::LeftButton, {}, time->rect().center());
  EXPECT_EQ(player.TimeMode(), (mode + 1) % 4);

  // A narrow window gives the bar's room to the time and drops the volume control.
  window->resize(window->width() - 260, 480);
  QCoreApplication::processEvents();
  EXPECT_FALSE(track->isVisibleTo(window));
  EXPECT_FALSE(knob->isVisibleTo(window));
  EXPECT_GE(time->width(), 96);
}

TEST_F(PresentationSession, AClickOnTheTimeTextChangesWhatItCounts) {
  auto session = Start("\"" + Demo() + "\"", true);
  PlayerWindow* window = session->Window();
  window->resize(900, 480);
  QCoreApplication::processEvents();
  auto* label = window->findChild<QLabel*>(QStringLiteral("lblTime"));
  ASSERT_NE(label, nullptr);
  // The click lands where the user sees the time: on whatever lies under the text.
  QWidget* bar = label->parentWidget();
  const QPoint at = label->geometry().center();
  QWidget* hit = bar->childAt(at);
  ASSERT_NE(hit, nullptr);
  const int mode = session->GetPlayer()->TimeMode();
  QTest::mouseClick(hit, Qt::LeftButton, {}, hit->mapFrom(bar, at));
  EXPECT_EQ(session->GetPlayer()->TimeMode(), (mode + 1) % 4);
}

TEST_F(PresentationSession, TheSkinFitsTheWindowsLookTheTipAndTheHiddenInterface) {
  home_.WriteFile(".config/Vantrel/options.conf", "[Window]\n\"SkinColor\"=dword:1\n");
  auto session = Start("\"" + Demo() + "\" \"" + Demo() + "\"", true);
  PlayerWindow* window = session->Window();
  window->resize(640, 420);
  QCoreApplication::processEvents();
  ASSERT_TRUE(window->SkinLoaded());
  ASSERT_TRUE(session->GetPlayer()->Menus().Checked("mnuMenuBar"));

  // With the menu bar the window is a rectangle: the bar's cut-away lower corners show
  // the window's colour, not the movie's black.
  EXPECT_TRUE(window->mask().isEmpty());
  QWidget* host = window->findChild<QWidget*>(QStringLiteral("picSkin"));
  const QImage shot = host->grab().toImage();
  EXPECT_EQ(shot.pixelColor(1, shot.height() - 2), window->palette().color(QPalette::Window));
  EXPECT_EQ(shot.pixelColor(shot.width() - 2, shot.height() - 2), window->palette().color(QPalette::Window));

  // In the "Dark!" colours the time's text stands out from its field.
  auto* label = window->findChild<QLabel*>(QStringLiteral("lblTime"));
  SkinElement* field = SkinPart(window, "picTime");
  ASSERT_TRUE(label && field);
  const QColor text = label->palette().color(QPalette::WindowText);
  const QColor back = field->Picture().pixelColor(field->Picture().width() / 2, field->Picture().height() / 2);
  const auto luminance = [](const QColor& c) {
    const auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
  };
  const double lighter = std::max(luminance(text), luminance(back)), darker = std::min(luminance(text), luminance(back));
  EXPECT_GE((lighter + 0.05) / (darker + 0.05), 4.5) << text.name().toStdString() << " on " << back.name().toStdString();

  // The tip lies above the control bar and never takes the keyboard.
  auto* tip = window->findChild<QFrame*>(QStringLiteral("picTip"));
  ASSERT_NE(tip, nullptr);
  ASSERT_TRUE(tip->isVisible());
  EXPECT_LE(tip->geometry().bottom(), tip->parentWidget()->height() - window->ControlBarHeight());
  EXPECT_EQ(tip->focusPolicy(), Qt::NoFocus);
  for (QWidget* child : tip->findChildren<QWidget*>()) EXPECT_EQ(child->focusPolicy(), Qt::NoFocus) << child->objectName().toStdString();

  // After entries are added the playing one stays marked in the pane.
  session->GetPlayer()->AddToPlaylist(Demo(), 0);
  EXPECT_EQ(window->PlayList()->currentRow(), 0);
  EXPECT_EQ(window->PlayList()->SelectedLines(), std::vector<std::int32_t>{0});

  // F8 leaves only the movie: no full-screen bar or side strip over it. F8 again brings
  // the bar back, and the tip keeps clear of it.
  window->ClickMenu("mnuHideUI");
  QCoreApplication::processEvents();
  for (const char* name : {"picFullBar", "picFullSide", "picFullSideTop", "picFullSideBottom"})
    EXPECT_FALSE(SkinPart(window, name)->isVisibleTo(window)) << name;
  window->ClickMenu("mnuHideUI");
  QCoreApplication::processEvents();
  ASSERT_GT(window->ControlBarHeight(), 0);
  EXPECT_LE(tip->geometry().bottom(), tip->parentWidget()->height() - window->ControlBarHeight());
}

TEST_F(PresentationSession, KeepAspectRatioKeepsTheWindowOnTheScreen) {
  auto session = Start("\"" + Demo() + "\"", true);
  PlayerWindow* window = session->Window();
  window->ClickMenu("mnuAspectRatio");
  ASSERT_TRUE(session->GetPlayer()->Menus().Checked("mnuAspectRatio"));
  const player::WindowRect screen = window->ScreenArea();
  // A drag of the right edge far out: the height that follows would leave the screen.
  window->move(screen.left + 20, screen.top + screen.height / 10);
  window->resize(screen.width * 2, window->height());
  QCoreApplication::processEvents();
  const QRect frame = window->frameGeometry();
  EXPECT_GE(frame.top(), screen.top);
  EXPECT_LE(frame.bottom(), screen.top + screen.height - 1);
  EXPECT_LE(frame.right(), screen.left + screen.width - 1);
  const QSize movie = window->MovieArea()->size();
  EXPECT_NEAR(static_cast<double>(movie.width()) / movie.height(),
              static_cast<double>(session->GetPlayer()->Record().Width) / session->GetPlayer()->Record().Height, 0.02);
}

TEST_F(PresentationSession, AboutNamesTheProgramsVersionAndTheEngines) {
  auto session = Start("\"" + Demo() + "\"");
  session->Window()->ClickMenu("mnuAbout");
  QWidget* about = nullptr;
  for (QWidget* open : QApplication::topLevelWidgets())
    if (open->objectName() == QLatin1String("frmAbout") && open->isVisible()) about = open;
  ASSERT_NE(about, nullptr);
  const QString body = about->findChild<QLabel*>(QStringLiteral("lblBody"))->text();
  EXPECT_TRUE(body.contains(QString::fromStdString(core::VersionNumberText()))) << body.toStdString();
  EXPECT_TRUE(body.contains(QStringLiteral("32.0"))) << body.toStdString();
  EXPECT_FALSE(body.contains(QStringLiteral("2097152"))) << body.toStdString();
  about->close();
}

TEST_F(PresentationSession, TheMediaBrowserShowsInsideTheSkinsFrameWithItsOwnButtons) {
  auto session = Start("\"" + Demo() + "\"", true);
  PlayerWindow* window = session->Window();
  player::Player& player = *session->GetPlayer();
  ASSERT_TRUE(window->SkinLoaded());
  window->ClickMenu("mnuBrowse");
  QCoreApplication::processEvents();
  ASSERT_TRUE(player.BrowserMode());
  QWidget* skinHost = window->findChild<QWidget*>(QStringLiteral("picSkin"));
  ASSERT_NE(skinHost, nullptr);
  EXPECT_TRUE(skinHost->isVisibleTo(window));
  for (const char* name : {"mnuBrowseUp", "mnuBrowseBack", "mnuBrowseForward"}) {
    SkinElement* button = SkinPart(window, name);
    ASSERT_NE(button, nullptr) << name;
    EXPECT_TRUE(button->isVisibleTo(window)) << name;
  }
  EXPECT_FALSE(SkinPart(window, "mnuPlayPrev")->isVisibleTo(window));
  // The page fills the movie's place above the bar.
  QWidget* page = nullptr;
  for (QWidget* child : skinHost->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    if (child->isVisibleTo(window) && child->objectName() != QLatin1String("viewNormal")) page = child;
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->geometry(), window->MovieArea()->geometry());
  EXPECT_GT(page->height(), 0);

  // Without the skin the page goes back into the window beside the pane, still shown.
  window->ClickMenu("mnuSkinList", 0);
  EXPECT_NE(page->parentWidget(), skinHost);
  EXPECT_TRUE(page->isVisibleTo(window));
  window->ClickMenu("mnuSkinList", 1);
  EXPECT_EQ(page->parentWidget(), skinHost);
  EXPECT_TRUE(page->isVisibleTo(window));
  EXPECT_TRUE(SkinPart(window, "mnuBrowseUp")->isVisibleTo(window));
}

}  // namespace
}  // namespace vantrel::ui
