// The browser's dialogs driven like a user would: frmInfo's fields for a compressed
// movie, a projector and a video; frmGenerator's field rules and its run; the Resource
// Extractor's folder question; the page reading browse.xml and answering clicks.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QImage>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "browser/browser_page.h"
#include "browser/decompiler_dialog.h"
#include "browser/favorites_dialog.h"
#include "browser/generator_dialog.h"
#include "browser/info_dialog.h"
#include "browser/media_browser.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/text.h"
#include "media/identify.h"
#include "media/projector.h"
#include "player/dialog_port.h"
#include "support/pe_writer.h"
#include "support/swf_writer.h"
#include "support/temp_home.h"
#include "ui/presentation.h"

namespace vantrel::browser {
namespace {

using testing::TempHome;

// Answers every question with a fixed button and remembers the texts.
class ScriptedDialogs : public player::DialogPort {
 public:
  int answer = 0;
  std::vector<std::string> texts;
  std::vector<std::string> OpenFiles(const std::string&, const std::vector<player::FileFilter>&, const std::string&,
                                     const std::string&, bool) override {
    return {};
  }
  std::string SaveFile(const std::string&, const std::vector<player::FileFilter>&, const std::string&) override {
    return {};
  }
  std::string ChooseFolder(const std::string&, const std::string& start) override {
    starts.push_back(start);
    return {};
  }
  std::vector<std::string> starts;  // where each folder chooser began
  int ShowMessage(const std::string& text, const std::string&, const std::vector<std::string>&,
                  const std::string&) override {
    texts.push_back(text);
    return answer;
  }
};

class DialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context.CachePath = home.Path() + "cache/";
    context.UserPath = home.Path();
    core::MakeFolder(context.CachePath);
    context.ExtractProjector = media::ExtractEXE;
  }
  media::MediaRecord Identify(const std::string& path) {
    media::MediaRecord record;
    EXPECT_EQ(media::IdentifyMedia(context, path, record, false), "") << path;
    return record;
  }
  std::unique_ptr<InfoDialog> Info(const media::MediaRecord& record) {
    return std::make_unique<InfoDialog>(record, media::TextLookup{}, home.Path() + "thumb.jpg", nullptr);
  }

  TempHome home;
  media::MediaContext context;
};

TEST_F(DialogsTest, InfoShowsTheFactsOfAMovieAProjectorAndAVideo) {
  testing::SwfWriter writer(8, 550, 400, 12, 240);
  for (int i = 0; i < 240; ++i) writer.ShowFrame();
  writer.Metadata("<rdf:RDF><dc:title>Orbit</dc:title></rdf:RDF>").End();
  const std::string movie = home.WriteFile("c.swf", writer.Compressed());
  auto info = Info(Identify(movie));
  EXPECT_EQ(info->Value("TypeValue"), QStringLiteral("Flash Movie (SWF)"));
  EXPECT_EQ(info->Value("VersionValue"), QStringLiteral("8"));
  EXPECT_TRUE(info->Value("lblNone").endsWith(QStringLiteral("% of Original"))) << info->Value("lblNone").toStdString();
  EXPECT_EQ(info->Value("FrameValue"), QStringLiteral("550x400, 12 fps"));
  EXPECT_EQ(info->Value("TimeValue"), QStringLiteral("240 (0:20)"));
  EXPECT_EQ(info->findChild<QLabel*>(QStringLiteral("WhereValue"))->toolTip().toStdString(), movie);
  EXPECT_FALSE(info->Value("ModifiedValue").isEmpty());

  testing::SwfWriter plain(6, 100, 100, 12, 1);
  plain.ShowFrame().End();
  const std::string exe = testing::AppendMovie(
      testing::BuildPeImage(testing::BuildVersionInfo(testing::StubVersion("SAFlashPlayer.exe"))), plain.Plain());
  auto projector = Info(Identify(home.WriteFile("p.exe", exe)));
  EXPECT_EQ(projector->Value("TypeValue"), QStringLiteral("Flash Projector (EXE)"));
  EXPECT_EQ(projector->Value("VersionValue"), QStringLiteral("6 \"MX\""));
  EXPECT_EQ(projector->Value("lblNone"), QStringLiteral("None"));
  EXPECT_EQ(projector->Value("TitleSummary"), QStringLiteral("p.exe"));

  testing::FlvWriter flv;
  flv.Script(0, testing::FlvMetaData({{"videocodecid", testing::AmfValue::Number(2)},
                                      {"videodatarate", testing::AmfValue::Number(400)},
                                      {"audiodatarate", testing::AmfValue::Number(96)},
                                      {"width", testing::AmfValue::Number(320)},
                                      {"height", testing::AmfValue::Number(240)}}));
  flv.Video(0, testing::H263VideoData(1, 320, 240));
  auto video = Info(Identify(home.WriteFile("v.flv", flv.Bytes())));
  EXPECT_EQ(video->Value("TypeValue"), QStringLiteral("Flash Video (FLV)"));
  EXPECT_EQ(video->Value("lblNone"), QStringLiteral("Sorenson H.263"));
  EXPECT_EQ(video->Value("BitrateValue"), QStringLiteral("400 kbps (video) + 96 kbps (audio)"));
}

TEST_F(DialogsTest, InfoMakesTheMissingThumbnailOnTheSummaryPage) {
  int made = 0;
  InfoDialog dialog(media::MediaRecord{}, {}, home.Path() + "t.jpg", [&] {
    ++made;
    home.WriteFile("t.jpg", "x");
  });
  EXPECT_EQ(made, 1);
  dialog.ShowPage(1);
  dialog.ShowPage(0);
  EXPECT_EQ(made, 1);  // it exists now
}

TEST_F(DialogsTest, GeneratorFieldRulesAndRun) {
  core::OptionsStore options(home.Path() + "options.conf");
  ScriptedDialogs dialogs;
  testing::SwfWriter writer(8, 550, 400, 12, 3);
  writer.ShowFrame().ShowFrame().ShowFrame().End();
  home.WriteFile("src/a.swf", writer.Plain());
  home.WriteFile("src/sub/b.swf", writer.Compressed());
  GeneratorServices services;
  services.options = &options;
  services.media = &context;
  services.dialogs = &dialogs;
  GeneratorDialog dialog(services);
  auto* quality = dialog.findChild<QLineEdit*>(QStringLiteral("txtQuality"));
  quality->setText(QStringLiteral("150"));
  emit quality->editingFinished();
  EXPECT_EQ(quality->text(), QStringLiteral("100"));
  auto* source = dialog.findChild<QLineEdit*>(QStringLiteral("txtSource"));
  source->clear();
  EXPECT_FALSE(dialog.findChild<QPushButton*>(QStringLiteral("cbGo"))->isEnabled());
  source->setText(QString::fromStdString(home.Path() + "src"));
  EXPECT_TRUE(dialog.findChild<QPushButton*>(QStringLiteral("cbGo"))->isEnabled());
  dialog.findChild<QCheckBox*>(QStringLiteral("chkInfo"))->setChecked(true);

  dialog.show();
  QCoreApplication::processEvents();
  const QSize before = dialog.size();
  dialogs.answer = 0;
  const GeneratorReport report = dialog.Generate(false);
  QCoreApplication::processEvents();
  EXPECT_EQ(dialog.size(), before);  // the busy view leaves no trace
  EXPECT_EQ(report.made, 2);
  EXPECT_TRUE(core::FileExists(home.Path() + "src/a.jpg"));
  EXPECT_TRUE(core::FileExists(home.Path() + "src/sub/b.jpg"));
  EXPECT_TRUE(core::FileExists(home.Path() + "src/Flash Info.xml"));
  ASSERT_EQ(dialogs.texts.size(), 1u);
  EXPECT_EQ(dialogs.texts[0], "Thumbnail Generation Complete!\r\n\r\nThumbnails created: 2\r\nFolders Searched: 2");
  // The settings were stored for the next time.
  EXPECT_EQ(options.ReadNumber("Generator", "Quality", 0), 100);
  EXPECT_TRUE(options.ReadBool("Generator", "Info", false));

  // An automatic run asks nothing.
  dialog.Generate(true);
  EXPECT_EQ(dialogs.texts.size(), 1u);
}

TEST_F(DialogsTest, ExtractorAsksBeforeMakingTheFolder) {
  core::OptionsStore options(home.Path() + "options.conf");
  ScriptedDialogs dialogs;
  testing::SwfWriter writer(8, 100, 100, 12, 1);
  writer.ShowFrame().End();
  media::MediaRecord record;
  ASSERT_EQ(media::IdentifyMedia(context, home.WriteFile("m.swf", writer.Plain()), record, true), "");
  DecompilerDialog dialog(record, options, &dialogs, {}, nullptr);
  const std::string target = home.Path() + "out";
  dialog.SetDestination(target);
  dialogs.answer = 1;  // Cancel
  EXPECT_FALSE(dialog.Extract());
  EXPECT_FALSE(core::FolderExists(target));
  ASSERT_EQ(dialogs.texts.size(), 1u);
  EXPECT_EQ(dialogs.texts[0], "Specified path does not exist:\r\n" + target + "/\r\n\r\nWould you like it to be created?");
  dialogs.answer = 0;  // Create Folder, then Close
  EXPECT_TRUE(dialog.Extract());
  EXPECT_TRUE(core::FolderExists(target));
  EXPECT_EQ(dialogs.texts.back(), "No resources were extracted");
}

TEST_F(DialogsTest, ExtractorIntoAFolderThatCannotBeWrittenCountsWhatItTriedAndLeavesNoFile) {
  core::OptionsStore options(home.Path() + "options.conf");
  ScriptedDialogs dialogs;
  // Four JPEG images (the smallest stream a decoder takes: SOI, EOI).
  testing::SwfWriter writer(8, 100, 100, 12, 1);
  std::string tags;
  for (int id = 1; id <= 4; ++id) tags += testing::SwfTag(21, testing::Le16(id) + std::string("\xFF\xD8\xFF\xD9", 4));
  writer.Raw(tags);
  writer.ShowFrame().End();
  media::MediaRecord record;
  ASSERT_EQ(media::IdentifyMedia(context, home.WriteFile("m.swf", writer.Plain()), record, true), "");
  // Every image's name is taken by a folder, so no file can be written there (a
  // folder the user may not write to fails the same way, but not for root).
  const std::string target = home.Path() + "taken/";
  for (int id = 1; id <= 4; ++id) std::filesystem::create_directories(target + "m.swf." + std::to_string(id) + ".jpg");
  DecompilerDialog dialog(record, options, &dialogs, {}, nullptr);
  dialog.SetDestination(target);
  EXPECT_TRUE(dialog.Extract());
  for (const auto& entry : std::filesystem::directory_iterator(target)) EXPECT_TRUE(entry.is_directory()) << entry.path();
  // The walk goes on past write errors and counts the images it tried; no file is left.
  const std::string& message = dialog.LastMessage();
  EXPECT_EQ(message.rfind("The following resources were extracted:", 0), 0u) << message;
  EXPECT_NE(message.find("JPEG Compressed Images: 4"), std::string::npos) << message;
  EXPECT_EQ(message.find("m.swf.1.jpg"), std::string::npos) << message;
}

TEST_F(DialogsTest, FavouritesAddBeginsInTheFlashFolderAndPathFieldsShowAPath) {
  ScriptedDialogs dialogs;
  FavoritesDialog favourites({}, &dialogs, nullptr, home.Path() + "My Flash/");
  favourites.findChild<QPushButton*>(QStringLiteral("cpPlus"))->click();
  ASSERT_EQ(dialogs.starts.size(), 1u);
  EXPECT_EQ(dialogs.starts[0], home.Path() + "My Flash/");

  // The extractor's destination shows a path of forty characters, and the dialog keeps
  // its size through an extraction.
  core::OptionsStore options(home.Path() + "options.conf");
  testing::SwfWriter writer(8, 100, 100, 12, 1);
  writer.ShowFrame().End();
  media::MediaRecord record;
  ASSERT_EQ(media::IdentifyMedia(context, home.WriteFile("m.swf", writer.Plain()), record, true), "");
  DecompilerDialog extractor(record, options, &dialogs, {}, nullptr);
  extractor.show();
  auto* dest = extractor.findChild<QLineEdit*>(QStringLiteral("txtDest"));
  ASSERT_NE(dest, nullptr);
  EXPECT_GE(dest->width(), dest->fontMetrics().horizontalAdvance(QString(40, QLatin1Char('x'))));
  const QSize before = extractor.size();
  extractor.SetDestination(home.Path() + "out/");
  core::MakeFolder(home.Path() + "out/");
  EXPECT_TRUE(extractor.Extract());
  QCoreApplication::processEvents();
  EXPECT_EQ(extractor.size(), before);
}

// Each dialog's Help opens its own page of the shipped help, and that page exists.
TEST_F(DialogsTest, HelpButtonsOpenTheirPages) {
  std::vector<std::string> opened;
  ui::Presentation presentation;
  presentation.helpPath = std::string(VANTREL_BUILD_DIR) + "/Media/Help/";
  presentation.openAddress = [&opened](const std::string& address) { opened.push_back(address); };
  ui::ScopedPresentation scoped(presentation);
  core::OptionsStore options(home.Path() + "options.conf");
  ScriptedDialogs dialogs;
  testing::SwfWriter writer(8, 100, 100, 12, 1);
  writer.ShowFrame().End();
  const media::MediaRecord record = Identify(home.WriteFile("m.swf", writer.Plain()));
  DecompilerDialog extractor(record, options, &dialogs, {}, nullptr);
  std::unique_ptr<InfoDialog> info = Info(record);
  GeneratorServices services;
  services.options = &options;
  GeneratorDialog generator(services);
  FavoritesDialog favourites({}, &dialogs, nullptr, home.Path());
  BrowserPage page;
  const std::pair<QWidget*, const char*> cases[] = {{&extractor, "flash-decompiler"},
                                                     {info.get(), "get-info"},
                                                     {&generator, "thumbnail-generator"},
                                                     {&favourites, "favorite-folders"},
                                                     {&page, "thumbnails"}};
  for (const auto& [window, topic] : cases) {
    SCOPED_TRACE(topic);
    auto* help = window->findChild<QPushButton*>(QStringLiteral("cbHelp"));
    ASSERT_NE(help, nullptr);
    opened.clear();
    help->click();
    ASSERT_EQ(opened.size(), 1u);
    const std::string page_file = presentation.helpPath + topic + ".html";
    EXPECT_EQ(opened[0], "file://" + page_file);
    EXPECT_TRUE(core::FileExists(page_file));
  }
}

// frmInfo: the web link opens what is typed beside it (nothing when that is empty), and
// the Info and Options pages carry their pictures.
TEST_F(DialogsTest, InfoWebLinkAndPageIcons) {
  std::vector<std::string> opened;
  ui::Presentation presentation;
  presentation.imagesPath = std::string(VANTREL_BUILD_DIR) + "/Media/Images/";
  presentation.openAddress = [&opened](const std::string& address) { opened.push_back(address); };
  ui::ScopedPresentation scoped(presentation);
  testing::SwfWriter writer(8, 100, 100, 12, 1);
  writer.ShowFrame().End();
  std::unique_ptr<InfoDialog> info = Info(Identify(home.WriteFile("m.swf", writer.Plain())));
  auto* link = info->findChild<QPushButton*>(QStringLiteral("WebLink"));
  auto* site = info->findChild<QLineEdit*>(QStringLiteral("WebSiteText"));
  ASSERT_NE(link, nullptr);
  ASSERT_NE(site, nullptr);
  link->click();
  EXPECT_TRUE(opened.empty());
  site->setText(QStringLiteral(" http://example.org/movies/ "));
  link->click();
  EXPECT_EQ(opened, std::vector<std::string>{"http://example.org/movies/"});
  for (const char* icon : {"imgLink", "imgNoMedia"}) {
    auto* label = info->findChild<QLabel*>(QString::fromLatin1(icon));
    ASSERT_NE(label, nullptr) << icon;
    EXPECT_FALSE(label->pixmap().isNull()) << icon;
  }
}

TEST_F(DialogsTest, PageReadsBrowseXmlAndAnswersWithCommands) {
  BrowseListing listing;
  listing.folder = home.Path();
  listing.items.push_back({"sub", home.Path() + "sub/", kTypeFolder, 0, 0, ""});
  listing.items.push_back({"a & b.swf", home.Path() + "a & b.swf", kTypeMovie, 2048, 0, "a.jpg"});
  const std::string path = home.Path() + "browse.xml";
  core::SaveXML(path, BrowseXmlText(listing, {}, 0, home.Path(), "Execution: x >> ", false));
  BrowserPage page;
  page.resize(640, 480);
  page.show();
  ASSERT_TRUE(page.LoadXml(QString::fromStdString(path)));
  ASSERT_EQ(page.Entries().size(), 2u);
  EXPECT_EQ(page.Entries()[1].name, QStringLiteral("a & b.swf"));
  EXPECT_EQ(page.Entries()[1].detail, QStringLiteral("2.00 KB"));
  EXPECT_EQ(page.ErrorText(), QStringLiteral("Execution: x >> "));
  std::vector<std::string> commands;
  page.onCommand = [&](const std::string& name, const std::string& argument) { commands.push_back(name + " " + argument); };
  QTest::mouseClick(page.Grid(), Qt::LeftButton, Qt::NoModifier, page.Grid()->TileRect(1).center());
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), "SHOTCLICK 2");
  // Empty space reports nothing.
  commands.clear();
  QTest::mouseClick(page.Grid(), Qt::LeftButton, Qt::NoModifier, QPoint(page.Grid()->width() - 2, 400));
  EXPECT_TRUE(commands.empty() || commands.back().rfind("SHOTOVER", 0) == 0);
  EXPECT_FALSE(page.LoadXml(QString::fromStdString(home.Path() + "missing.xml")));
  EXPECT_EQ(page.Entries().size(), 2u);
}

}  // namespace
}  // namespace vantrel::browser
