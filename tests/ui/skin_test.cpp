// The skin without the player: colours, shapes, the window outline, the generated
// pictures and the loader's table, views and states.
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "core/options.h"
#include "ui/skin.h"
#include "ui/skin_rules.h"

namespace vantrel::ui {
namespace {

namespace fs = std::filesystem;

TEST(SkinRules, ColoursAreWrittenRedFirst) {
  EXPECT_EQ(ParseSkinColour("#FF8000"), QColor(255, 128, 0));
  EXPECT_EQ(ParseSkinColour("00FF00"), QColor(0, 255, 0));
  EXPECT_EQ(ParseSkinColour("##0000FF"), QColor(0, 0, 255));
  // Short texts are padded with blanks; read blue first, a blank ends the number at once.
  EXPECT_EQ(ParseSkinColour("#12"), QColor(0, 0, 0));
  EXPECT_EQ(ParseSkinColour(""), QColor(0, 0, 0));
}

TEST(SkinRules, ShapesAreTheRunsOfPixelsThatDifferFromTheMaskColour) {
  const QColor key(255, 0, 255);
  QImage image(8, 4, QImage::Format_RGB32);
  image.fill(key);
  EXPECT_TRUE(RegionExceptColour(image, key).isEmpty());
  EXPECT_EQ(RegionFromColour(image, key), QRegion(0, 0, 8, 4));
  image.fill(Qt::white);
  EXPECT_EQ(RegionExceptColour(image, key), QRegion(0, 0, 8, 4));
  image.setPixel(0, 0, key.rgb());
  image.setPixel(7, 3, key.rgb());
  const QRegion shape = RegionExceptColour(image, key);
  EXPECT_FALSE(shape.contains(QPoint(0, 0)));
  EXPECT_TRUE(shape.contains(QPoint(1, 0)));
  EXPECT_FALSE(shape.contains(QPoint(7, 3)));
  EXPECT_EQ(RegionFromColour(image, key), QRegion(0, 0, 1, 1) + QRegion(7, 3, 1, 1));
}

TEST(SkinRules, TheWindowOutlineCutsHolesAndOverlapsPutThemBack) {
  const QSize client(100, 50);
  const std::vector<WindowHole> holes = {{QRegion(0, 0, 10, 10), QPoint(0, 40)},
                                         {QRegion(0, 0, 10, 10), QPoint(5, 40)}};
  const QRegion shape = ComposeWindowRegion(client, holes, false, false);
  EXPECT_FALSE(shape.contains(QPoint(2, 45)));
  EXPECT_TRUE(shape.contains(QPoint(7, 45)));  // inside both holes: back in the window
  EXPECT_FALSE(shape.contains(QPoint(12, 45)));
  EXPECT_TRUE(shape.contains(QPoint(50, 10)));
  // Hidden interface, or the menu bar shown: a plain rectangle.
  EXPECT_TRUE(ComposeWindowRegion(client, holes, true, false).isEmpty());
  EXPECT_TRUE(ComposeWindowRegion(client, holes, false, true).isEmpty());
  EXPECT_TRUE(ComposeWindowRegion(client, {}, false, false).isEmpty());
}

TEST(SkinRules, LabelsKeepTheirColourOnlyWhileItStandsOut) {
  const QColor dark(0x10, 0x10, 0x10);
  EXPECT_EQ(ReadableTextColour(dark, QColor(0xE0, 0xE0, 0xE0)), dark);
  EXPECT_EQ(ReadableTextColour(dark, QColor(0x66, 0x66, 0x66)), QColor(255, 255, 255));
  EXPECT_EQ(ReadableTextColour(QColor(0xEE, 0xEE, 0xEE), QColor(0xF0, 0xF0, 0xF0)), QColor(0, 0, 0));
}

TEST(SkinRules, FadesRiseOrFallOverTheirSteps) {
  EXPECT_EQ(FadeAlpha(0, 20, 1), 0);
  EXPECT_EQ(FadeAlpha(20, 20, 1), 255);
  EXPECT_EQ(FadeAlpha(10, 20, 1), 128);  // 127.5 to even
  EXPECT_EQ(FadeAlpha(20, 20, -1), 0);
  EXPECT_EQ(FadeAlpha(0, 20, -1), 255);
}

class SkinFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    root_ = folder_.path().toStdString() + "/";
    skinPath_ = std::string(VANTREL_BUILD_DIR) + "/Media/Skin/";
    userSkin_ = root_ + "user/";
  }
  QTemporaryDir folder_;
  std::string root_, skinPath_, userSkin_;
};

TEST_F(SkinFolders, TheGeneratedSkinIsDrawnOnlyWhenTheThemeChanged) {
  core::OptionsStore options(root_ + "options.conf");
  const int written = BuildGeneratedSkin(skinPath_, userSkin_, options, 1234);
  EXPECT_GT(written, 60);
  for (const char* picture : {"up/play.bmp", "over/play.bmp", "down/play.bmp", "disabled/play.bmp", "base/left.bmp",
                              "base/mid.bmp", "base/right.bmp", "up/volume.bmp", "base/playlist.bmp", "up/inset.bmp",
                              "disabled/convex.bmp", "up/tip.bmp"})
    EXPECT_TRUE(fs::exists(userSkin_ + picture)) << picture;
  EXPECT_EQ(QImage(QString::fromStdString(userSkin_ + "up/play.bmp")).size(), QSize(38, 38));
  EXPECT_EQ(QImage(QString::fromStdString(userSkin_ + "up/next.bmp")).size(), QSize(24, 24));
  EXPECT_EQ(options.ReadNumber("View", "ThemeHash", 0), 1234);

  const auto stamp = fs::last_write_time(userSkin_ + "up/play.bmp");
  EXPECT_EQ(BuildGeneratedSkin(skinPath_, userSkin_, options, 1234), 0);
  EXPECT_EQ(fs::last_write_time(userSkin_ + "up/play.bmp"), stamp);

  // The dark scheme draws the bar from its fixed greys whatever the desktop says.
  options.WriteNumber("Window", "SkinColor", 1);
  EXPECT_GT(BuildGeneratedSkin(skinPath_, userSkin_, options, 99), 0);
  const QImage bar(QString::fromStdString(userSkin_ + "base/mid.bmp"));
  const QColor bottom(bar.pixel(10, 51));
  EXPECT_NEAR(bottom.red(), 0x33, 4);
  EXPECT_EQ(bottom.red(), bottom.blue());
  // The bar's lower corners are the mask colour: that is the window's outline.
  const QImage left(QString::fromStdString(userSkin_ + "base/left.bmp"));
  EXPECT_EQ(QColor(left.pixel(0, 51)), QColor(255, 0, 255));
  EXPECT_NE(QColor(left.pixel(23, 20)), QColor(255, 0, 255));
}

TEST_F(SkinFolders, TheLoaderFillsTheTableWithTheFilesDefaults) {
  const std::string mySkin = root_ + "skin/";
  fs::create_directories(mySkin);
  core::OptionsStore options(root_ + "options.conf");
  BuildGeneratedSkin(skinPath_, userSkin_, options, 5);
  std::ofstream(mySkin + "skin.xml") << R"(<THEME minWidth="300" hidesMenu="true">
    <view name="viewNormal" backColor="#102030">
      <SUBVIEW name="both" image="left.bmp" windowMask="#FF00FF" maskColor="#000000"/>
      <BUTTON name="plain"/>
      <BUTTON name="play" image="play.bmp" left="5" top="6"/>
      <BUTTONLITE name="lite" image="next.bmp"/>
      <LABEL name="label" fontSize="8.25" caption="PLAYER/MNUOPEN"/>
      <UNKNOWN><BUTTON name="never"/></UNKNOWN>
    </view>
    <VIEW name="viewFullScreen"/>
    <BUTTON name="VIEWNORMAL"/>
  </THEME>)";
  QWidget host;
  host.resize(400, 300);
  Skin::Services services{mySkin, userSkin_, &options, nullptr, nullptr};
  Skin skin(&host, services);
  ASSERT_TRUE(skin.LoadSkin()) << skin.LastError();
  const auto& table = skin.Table();
  ASSERT_EQ(table.size(), 9u);  // 1-based: entry 0 is empty
  EXPECT_EQ(skin.MinWidth(), 300);
  EXPECT_TRUE(skin.HidesMenu());
  EXPECT_EQ(table[2].Name, "both");
  EXPECT_EQ(table[2].ViewIndex, 1);
  EXPECT_EQ(table[3].Width, "10");  // no picture: 10 by 10
  EXPECT_EQ(table[3].Height, "10");
  EXPECT_FALSE(table[3].HasNormal);
  EXPECT_EQ(table[4].Width, "38");  // from the picture's size
  EXPECT_EQ(table[4].Control->geometry(), QRect(5, 6, 38, 38));
  EXPECT_TRUE(table[4].HasOver && table[4].HasDown && table[4].HasDisabled);
  EXPECT_FALSE(table[5].HasOver);  // a lite button has no hover picture
  EXPECT_EQ(table[6].Height, "16");  // twice the font size, halves to even
  EXPECT_EQ(qobject_cast<QLabel*>(table[6].Control.data())->text(), QStringLiteral("PLAYER/MNUOPEN"));
  EXPECT_EQ(table[8].Name, "VIEWNORMAL");
  // The window mask wins over the element's own mask colour: the holes are the
  // magenta corners, and the sub-view keeps everything else.
  ASSERT_EQ(skin.Holes().size(), 0u);  // no view shown yet
  ASSERT_TRUE(skin.SetSkinView("VIEWNORMAL"));
  EXPECT_EQ(skin.CurrentView(), 1);  // the view, not the button of that name
  const std::vector<WindowHole> holes = skin.Holes();
  ASSERT_EQ(holes.size(), 1u);
  EXPECT_TRUE(holes[0].region.contains(QPoint(0, 51)));
  EXPECT_FALSE(table[2].Control->mask().contains(QPoint(0, 51)));
  EXPECT_TRUE(table[2].Control->mask().contains(QPoint(12, 20)));
  EXPECT_FALSE(skin.SetSkinView("viewMissing"));
  EXPECT_EQ(skin.CurrentView(), 1);
  ASSERT_TRUE(skin.SetSkinView("viewFullScreen"));
  EXPECT_FALSE(table[1].Control->isVisible());
  EXPECT_TRUE(skin.Holes().empty());
}

TEST_F(SkinFolders, StatesFadeAndLiteButtonsNeverHover) {
  core::OptionsStore options(root_ + "options.conf");
  BuildGeneratedSkin(skinPath_, userSkin_, options, 5);
  const std::string mySkin = root_ + "skin/";
  fs::create_directories(mySkin);
  std::ofstream(mySkin + "skin.xml") << R"(<THEME><VIEW name="viewNormal">
      <BUTTON name="play" image="play.bmp" noStretch="True"/>
      <BUTTONLITE name="lite" image="next.bmp"/></VIEW></THEME>)";
  QWidget host;
  Skin skin(&host, {mySkin, userSkin_, &options, nullptr, nullptr});
  ASSERT_TRUE(skin.LoadSkin());
  const auto& play = skin.Table()[2];

  int state = 2;
  skin.SetSkinState(2, state);
  EXPECT_EQ(play.State, 2);
  EXPECT_EQ(play.FadeStep, 1);
  ASSERT_NE(play.FadeTimer, nullptr);
  EXPECT_EQ(play.FadeTimer->interval(), 30);
  state = 1;
  skin.SetSkinState(2, state);
  EXPECT_EQ(play.FadePos, 20);
  EXPECT_EQ(play.FadeStep, -1);
  EXPECT_EQ(play.FadeTimer->interval(), 60);
  // State 0 repaints only stretched pictures.
  state = 0;
  skin.SetSkinState(2, state);
  EXPECT_EQ(state, 0);

  state = 2;
  skin.SetSkinState(3, state);
  EXPECT_EQ(skin.Table()[3].State, 1);

  // Another application active: the view's buttons go grey.
  skin.SetSkinView("viewNormal");
  skin.ActivateApp(false);
  EXPECT_FALSE(play.Control->isEnabled());
  EXPECT_EQ(play.State, 4);
  skin.ActivateApp(true);
  EXPECT_TRUE(play.Control->isEnabled());
  EXPECT_EQ(play.State, 1);
}

TEST_F(SkinFolders, AMissingOrBrokenSkinLoadsNothing) {
  core::OptionsStore options(root_ + "options.conf");
  QWidget host;
  Skin missing(&host, {root_ + "nowhere/", userSkin_, &options, nullptr, nullptr});
  EXPECT_FALSE(missing.LoadSkin());
  EXPECT_FALSE(missing.LastError().empty());
  EXPECT_FALSE(missing.SetSkinView("viewNormal"));
  fs::create_directories(root_ + "broken/");
  std::ofstream(root_ + "broken/skin.xml") << "<THEME><VIEW>";
  Skin broken(&host, {root_ + "broken/", userSkin_, &options, nullptr, nullptr});
  EXPECT_FALSE(broken.LoadSkin());
  EXPECT_TRUE(host.findChildren<QWidget*>().isEmpty());
}

}  // namespace
}  // namespace vantrel::ui
