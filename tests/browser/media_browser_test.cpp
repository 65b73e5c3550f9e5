// The media browser's rules: thumbnail names, folder resolution, listing and sorting,
// the text of browse.xml and the history of the address bar.
#include "browser/media_browser.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include "support/temp_home.h"

namespace vantrel::browser {
namespace {

using testing::TempHome;

TEST(ThumbNameTest, FlattensThePathOrKeepsTheBaseName) {
  EXPECT_EQ(ThumbName("C:\\Movies\\intro.swf", false), "C@Movies#intro.swf.jpg");
  EXPECT_EQ(ThumbName("C:\\a\\b.swf", false), "C@a#b.swf.jpg");
  EXPECT_EQ(ThumbName("/home/me/Flash/intro.swf", false), "#home#me#Flash#intro.swf.jpg");
  EXPECT_EQ(ThumbName("//server/share/x.swf", false), "#server#share#x.swf.jpg");
  EXPECT_EQ(ThumbName("C:\\a\\b.swf", true), "b.jpg");
  EXPECT_EQ(ThumbName("/m/clip.v2.flv", true), "clip.v2.jpg");
  EXPECT_EQ(ThumbName("/m/noextension", true), "noextension.jpg");
}

TEST(ResolveBrowseFolderTest, SlashesParentsAndTheDriveList) {
  EXPECT_EQ(ResolveBrowseFolder("/srv/Movies", "", ""), "/srv/Movies/");
  EXPECT_EQ(ResolveBrowseFolder("/srv/Movies/", "", ""), "/srv/Movies/");
  EXPECT_EQ(ResolveBrowseFolder("/srv/Movies/..", "", ""), "/srv/");
  EXPECT_EQ(ResolveBrowseFolder("/srv/a/b/../..", "", ""), "/srv/");
  EXPECT_EQ(ResolveBrowseFolder("/srv/./a/", "", ""), "/srv/a/");
  EXPECT_EQ(ResolveBrowseFolder("", "/now/", "/fallback/"), "/now/");
  EXPECT_EQ(ResolveBrowseFolder("", "", "/fallback/"), "/fallback/");
  // Above the root lies the drive list, and up from there stays there.
  EXPECT_EQ(ResolveBrowseFolder("/..", "", ""), std::string(kDriveList));
  EXPECT_EQ(ResolveBrowseFolder(":\\", "", ""), std::string(kDriveList));
  EXPECT_EQ(ResolveBrowseFolder(":\\..", "", ""), std::string(kDriveList));
  EXPECT_EQ(ResolveBrowseFolder("C:\\..\\", "", ""), std::string(kDriveList));
  // A drive chosen from the list loses the list's prefix.
  EXPECT_EQ(ResolveBrowseFolder(":\\/media/usb/", "", ""), "/media/usb/");
}

TEST(ListDrivesTest, RootAndHomeComeFirst) {
  TempHome home;
  const std::vector<MediaItem> drives = ListDrives();
  ASSERT_GE(drives.size(), 2u);
  EXPECT_EQ(drives[0].Path, "/");
  EXPECT_EQ(drives[1].Path, home.Path());
  for (const MediaItem& drive : drives) EXPECT_EQ(drive.Type, kTypeFolder);
}

class ListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = home.Path() + "movies/";
    home.WriteFile("movies/b.SwF", std::string(30, 'x'));
    home.WriteFile("movies/a.swf", std::string(10, 'x'));
    home.WriteFile("movies/clip.flv", std::string(20, 'x'));
    home.WriteFile("movies/notes.txt", "x");
    home.WriteFile("movies/odd.swf2", "x");
    home.WriteFile("movies/game.exe", std::string(5, 'x'));
    home.WriteFile("movies/zeta/inner.swf", "x");
    home.WriteFile("movies/alpha/inner.swf", "x");
    settings.cachePath = home.Path() + "cache/";
    SetTime("a.swf", 1000);
    SetTime("b.SwF", 3000);
    SetTime("clip.flv", 2000);
    SetTime("game.exe", 500);
  }
  void SetTime(const std::string& name, long seconds) {
    utimbuf times{seconds, seconds};
    ::utime((folder + name).c_str(), &times);
  }
  static std::vector<std::string> Names(const BrowseListing& listing) {
    std::vector<std::string> names;
    for (const MediaItem& item : listing.items) names.push_back(item.Name);
    return names;
  }

  TempHome home;
  std::string folder;
  BrowseSettings settings;
};

TEST_F(ListingTest, FiltersByTypeAndShowItems) {
  settings.sortBy = SortBy::Name;
  BrowseListing listing = ListBrowseFolder(folder, settings);
  EXPECT_EQ(Names(listing), (std::vector<std::string>{"alpha", "zeta", "a.swf", "b.SwF", "clip.flv", "game.exe"}));
  EXPECT_EQ(listing.items[0].Path, folder + "alpha/");
  EXPECT_EQ(listing.items[2].Type, kTypeMovie);
  EXPECT_EQ(listing.items[4].Type, kTypeVideo);
  EXPECT_EQ(listing.items[5].Type, kTypeProjector);
  EXPECT_EQ(listing.items[3].Size, 30);
  EXPECT_EQ(listing.missingThumbs, (std::vector<std::size_t>{2, 3, 4, 5}));

  settings.showVideo = false;
  settings.showFolder = false;
  settings.isFlashProjector = [](const std::string&) { return false; };
  EXPECT_EQ(Names(ListBrowseFolder(folder, settings)), (std::vector<std::string>{"a.swf", "b.SwF"}));
  settings.genericProjectors = false;
  EXPECT_EQ(Names(ListBrowseFolder(folder, settings)), (std::vector<std::string>{"a.swf", "b.SwF", "game.exe"}));
}

TEST_F(ListingTest, SortsTheMediaPartOnly) {
  settings.sortBy = SortBy::Date;
  EXPECT_EQ(Names(ListBrowseFolder(folder, settings)),
            (std::vector<std::string>{"alpha", "zeta", "b.SwF", "clip.flv", "a.swf", "game.exe"}));
  settings.sortBack = true;
  EXPECT_EQ(Names(ListBrowseFolder(folder, settings)),
            (std::vector<std::string>{"alpha", "zeta", "game.exe", "a.swf", "clip.flv", "b.SwF"}));
  settings.sortBy = SortBy::Name;
  EXPECT_EQ(Names(ListBrowseFolder(folder, settings)),
            (std::vector<std::string>{"zeta", "alpha", "game.exe", "clip.flv", "b.SwF", "a.swf"}));
  settings.sortBack = false;
  settings.sortBy = SortBy::Size;
  EXPECT_EQ(Names(ListBrowseFolder(folder, settings)),
            (std::vector<std::string>{"alpha", "zeta", "game.exe", "a.swf", "clip.flv", "b.SwF"}));
  settings.sortBy = SortBy::Type;
  EXPECT_EQ(Names(ListBrowseFolder(folder, settings)),
            (std::vector<std::string>{"alpha", "zeta", "a.swf", "b.SwF", "game.exe", "clip.flv"}));
}

TEST_F(ListingTest, ExistingThumbnailsAreNotMissing) {
  settings.sortBy = SortBy::Name;
  home.WriteFile("cache/" + ThumbName(folder + "a.swf", false), "jpeg");
  EXPECT_EQ(ListBrowseFolder(folder, settings).missingThumbs, (std::vector<std::size_t>{3, 4, 5}));
  settings.satellite = true;
  home.WriteFile("movies/clip.jpg", "jpeg");
  EXPECT_EQ(ListBrowseFolder(folder, settings).missingThumbs, (std::vector<std::size_t>{2, 3, 5}));
}

TEST_F(ListingTest, MissingFolderGivesAnEmptyPage) {
  const BrowseListing listing = ListBrowseFolder(home.Path() + "nothing/", settings);
  EXPECT_TRUE(listing.items.empty());
  const std::string xml = BrowseXmlText(listing, {}, 0, "/c/", "", false);
  EXPECT_NE(xml.find("<FOUND>Media Files Found: 0</FOUND>"), std::string::npos);
  EXPECT_EQ(xml.find("<JPEG>"), std::string::npos);
}

TEST(BrowseXmlTest, DesignedOrderAndEscaping) {
  BrowseListing listing;
  listing.folder = "/m/";
  listing.items.push_back({"Sub & Co", "/m/Sub & Co/", kTypeFolder, 0, 0, ""});
  listing.items.push_back({"a.swf", "/m/a.swf", kTypeMovie, 1240, 0, "#m#a.swf.jpg"});
  listing.items.push_back({"v.flv", "/m/v.flv", kTypeVideo, 532, 0, "#m#v.flv.jpg"});
  BrowsePageTexts texts;
  texts.font = "DejaVu Sans";
  const std::string xml = BrowseXmlText(listing, texts, 42, "/cache/", "Oops <1>", false);
  EXPECT_EQ(xml,
            "<?xml version=\"1.0\"?><BROWSE>\r\n"
            "<FONT>DejaVu Sans</FONT>\r\n"
            "<FOUND>Media Files Found: 2</FOUND>\r\n"
            "<SCROLL>42</SCROLL>\r\n"
            "<FOLDER>/m/</FOLDER>\r\n"
            "<CACHE>/cache/</CACHE>\r\n"
            "<WAIT>Loading</WAIT>\r\n"
            "<ERROR>Oops &#60;1&#62;</ERROR>\r\n\r\n"
            "<JPEG></JPEG>\r\n<TITLE>Sub &#38; Co</TITLE>\r\n<TYPE>3</TYPE>\r\n"
            "<JPEG>#m#a.swf.jpg</JPEG>\r\n<TITLE>a.swf&#60;BR&#62;&#60;font size='10'&#62;1.21 KB</TITLE>\r\n"
            "<TYPE>1</TYPE>\r\n"
            "<JPEG>#m#v.flv.jpg</JPEG>\r\n<TITLE>v.flv&#60;BR&#62;&#60;font size='10'&#62;532 bytes</TITLE>\r\n"
            "<TYPE>4</TYPE>\r\n"
            "</BROWSE>");
  // Sorting by date shows dates instead of sizes.
  listing.items[1].Date = 0;
  EXPECT_NE(BrowseXmlText(listing, texts, 0, "/c/", "", true).find(DateText(0)), std::string::npos);
}

TEST(BrowseHistoryTest, BackForwardAndBranching) {
  BrowseHistory history;
  EXPECT_EQ(history.Back(), "");
  history.Visited("/A/");
  history.Visited("/B/");
  history.Visited("/C/");
  history.Visited("/c/");  // the same folder in another case changes nothing
  EXPECT_EQ(history.Entries().size(), 3u);
  EXPECT_EQ(history.Back(), "/B/");
  EXPECT_EQ(history.Back(), "/A/");
  EXPECT_EQ(history.Back(), "");
  history.Visited("/A/");  // walking the history shows the selected entry again
  EXPECT_EQ(history.Forward(), "/B/");
  EXPECT_EQ(history.Back(), "/A/");
  history.Visited("/D/");
  EXPECT_EQ(history.Entries(), (std::vector<std::string>{"/A/", "/D/"}));
  EXPECT_EQ(history.Selected(), 1);
  EXPECT_EQ(history.Forward(), "");
}

}  // namespace
}  // namespace vantrel::browser
