// File associations in the user's mimeapps.list: taking the three types over, the
// previous openers kept in the options, and giving them back without a trace.
#include "system/associations.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/options.h"
#include "core/text.h"
#include "support/temp_home.h"

namespace vantrel::system {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!core::ReadFileBytes(path, bytes)) return "<missing>";
  return std::string(bytes.begin(), bytes.end());
}

TEST(MimeAppsText, SetsReplacesAndRemovesOneKeyLeavingEveryOtherLine) {
  const std::string list =
      "# mine\n[Added Associations]\nvideo/x-flv=vlc.desktop;\n\n[Default Applications]\n"
      "video/x-flv=mpv.desktop;vlc.desktop;\ntext/plain=gedit.desktop\n\n[Removed Associations]\n";
  EXPECT_EQ(MimeAppsDefault(list, "video/x-flv"), "mpv.desktop;vlc.desktop;");
  EXPECT_EQ(MimeAppsDefault(list, "application/x-shockwave-flash"), "");

  const std::string replaced = SetMimeAppsDefault(list, "video/x-flv", "vantrel.desktop");
  EXPECT_EQ(MimeAppsDefault(replaced, "video/x-flv"), "vantrel.desktop");
  // The Added Associations key of the same name is not the default and stays.
  EXPECT_NE(replaced.find("[Added Associations]\nvideo/x-flv=vlc.desktop;"), std::string::npos);
  EXPECT_EQ(SetMimeAppsDefault(replaced, "video/x-flv", "mpv.desktop;vlc.desktop;"), list);

  // A new key goes at the end of the section, before the blank line that ends it.
  const std::string added = SetMimeAppsDefault(list, "application/x-shockwave-flash", "vantrel.desktop");
  EXPECT_NE(added.find("text/plain=gedit.desktop\napplication/x-shockwave-flash=vantrel.desktop\n\n[Removed"),
            std::string::npos);
  EXPECT_EQ(SetMimeAppsDefault(added, "application/x-shockwave-flash", ""), list);
}

TEST(MimeAppsText, ASectionAddedForUsGoesAgainWithItsLastKey) {
  for (const std::string list : {std::string(), std::string("[Added Associations]\nimage/png=eog.desktop\n"),
                                 std::string("[Added Associations]\nimage/png=eog.desktop")}) {
    const std::string added = SetMimeAppsDefault(list, "video/x-flv", "vantrel.desktop");
    EXPECT_EQ(MimeAppsDefault(added, "video/x-flv"), "vantrel.desktop");
    EXPECT_EQ(SetMimeAppsDefault(added, "video/x-flv", ""), list) << "from: " << list;
  }
}

class AssociationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dirs_.configHome = home_.Path() + "config/";
    dirs_.dataHome = home_.Path() + "data/";
    dirs_.configDirs = {home_.Path() + "etc/"};
    dirs_.dataDirs = {home_.Path() + "usr/"};
    fs::create_directories(dirs_.configHome);
  }

  AssociationResult Associate(bool on, const std::string& executable = "") {
    AssociationRequest request;
    request.movie = request.video = request.playlist = on;
    request.executable = executable;
    return SetAssociations(options_, dirs_, request);
  }

  // A desktop entry for Vantrel as an installed package puts it.
  void InstallSystemEntry() { home_.WriteFile("usr/applications/vantrel.desktop", "[Desktop Entry]\n"); }

  testing::TempHome home_;
  XdgDirs dirs_;
  core::OptionsStore options_{home_.Path() + "options.conf"};
};

TEST_F(AssociationsTest, AssociateTwiceThenRestoreLeavesTheListAsItWas) {
  InstallSystemEntry();
  const std::string list =
      "[Default Applications]\nvideo/x-flv=mpv.desktop;vlc.desktop;\napplication/pdf=evince.desktop\n";
  home_.WriteFile("config/mimeapps.list", list);

  AssociationResult first = Associate(true);
  EXPECT_TRUE(first.error.empty()) << first.error;
  EXPECT_TRUE(first.changed);
  for (const FileType& type : kFileTypes) EXPECT_TRUE(IsAssociated(dirs_, type)) << type.mimeType;
  EXPECT_EQ(DefaultHandler(dirs_, "application/x-vantrel-playlist"), "vantrel.desktop");
  EXPECT_EQ(DefaultHandler(dirs_, "application/vnd.adobe.flash.movie"), "vantrel.desktop");
  EXPECT_EQ(options_.ReadText("FileTypes", "PrevFLV", "?"), "mpv.desktop;vlc.desktop;");
  EXPECT_EQ(options_.ReadText("FileTypes", "PrevSWF", "?"), "");

  // The second run finds its own name and keeps the opener saved the first time.
  AssociationResult second = Associate(true);
  EXPECT_FALSE(second.changed);
  EXPECT_EQ(options_.ReadText("FileTypes", "PrevFLV", "?"), "mpv.desktop;vlc.desktop;");

  Associate(false);
  EXPECT_EQ(ReadAll(dirs_.configHome + "mimeapps.list"), list);
  EXPECT_EQ(DefaultHandler(dirs_, "video/x-flv"), "mpv.desktop");
}

TEST_F(AssociationsTest, ReleasingWhatWasNeverTakenChangesNothing) {
  InstallSystemEntry();
  const std::string list = "[Default Applications]\napplication/x-shockwave-flash=other.desktop\n";
  home_.WriteFile("config/mimeapps.list", list);
  const AssociationResult result = Associate(false);
  EXPECT_FALSE(result.changed);
  EXPECT_EQ(ReadAll(dirs_.configHome + "mimeapps.list"), list);
  EXPECT_EQ(options_.ReadText("FileTypes", "PrevSWF", "?"), "other.desktop");

  // Without any list, associating and giving back leaves no list behind.
  fs::remove(dirs_.configHome + "mimeapps.list");
  Associate(true);
  EXPECT_EQ(DefaultHandler(dirs_, "video/x-flv"), "vantrel.desktop");
  Associate(false);
  EXPECT_FALSE(fs::exists(dirs_.configHome + "mimeapps.list"));
}

TEST_F(AssociationsTest, OnlyTheChosenTypesAreTakenOver) {
  InstallSystemEntry();
  AssociationRequest request;
  request.video = true;
  SetAssociations(options_, dirs_, request);
  EXPECT_FALSE(IsAssociated(dirs_, kFileTypes[0]));
  EXPECT_TRUE(IsAssociated(dirs_, kFileTypes[1]));
  EXPECT_FALSE(IsAssociated(dirs_, kFileTypes[2]));
}

TEST_F(AssociationsTest, DefaultHandlerFollowsTheListOrder) {
  home_.WriteFile("usr/applications/mimeapps.list", "[Default Applications]\nvideo/x-flv=system.desktop\n");
  home_.WriteFile("etc/mimeapps.list", "[Default Applications]\nvideo/x-flv=admin.desktop\n");
  EXPECT_EQ(DefaultHandler(dirs_, "video/x-flv"), "admin.desktop");
  dirs_.currentDesktop = "ubuntu:GNOME";
  home_.WriteFile("config/gnome-mimeapps.list", "[Default Applications]\nvideo/x-flv=desktop.desktop\n");
  home_.WriteFile("config/mimeapps.list", "[Default Applications]\nvideo/x-flv=user.desktop\n");
  EXPECT_EQ(DefaultHandler(dirs_, "video/x-flv"), "desktop.desktop");
  EXPECT_EQ(DefaultHandler(dirs_, "application/x-shockwave-flash"), "");
}

TEST_F(AssociationsTest, WithoutAnInstalledEntryTheUserGetsOneThatGoesOnRestore) {
  const AssociationResult result = Associate(true, "/opt/my build/vantrel");
  EXPECT_TRUE(result.userEntry);
  const std::string entry = ReadAll(dirs_.dataHome + "applications/vantrel.desktop");
  EXPECT_NE(entry.find("Exec=\"/opt/my build/vantrel\" %F\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("MimeType=application/x-shockwave-flash;application/vnd.adobe.flash.movie;video/x-flv;"
                      "application/x-vantrel-playlist;"),
            std::string::npos);
  EXPECT_TRUE(fs::exists(dirs_.dataHome + "mime/packages/vantrel.xml"));

  Associate(false);
  EXPECT_FALSE(fs::exists(dirs_.dataHome + "applications/vantrel.desktop"));
  EXPECT_FALSE(fs::exists(dirs_.dataHome + "mime/packages/vantrel.xml"));
}

TEST_F(AssociationsTest, AUserEntryOfTheSameNameThatWeDidNotWriteIsKept) {
  home_.WriteFile("data/applications/vantrel.desktop", "[Desktop Entry]\nName=Mine\n");
  EXPECT_FALSE(Associate(true, "/usr/bin/vantrel").userEntry);
  Associate(false);
  EXPECT_EQ(ReadAll(dirs_.dataHome + "applications/vantrel.desktop"), "[Desktop Entry]\nName=Mine\n");
}

TEST(DesktopEntry, ExecArgumentsAreQuotedTwice) {
  // One level of backslashes for the desktop-entry string, one for the quoting.
  EXPECT_EQ(QuoteExecArgument("/a b/v"), "\"/a b/v\"");
  EXPECT_EQ(QuoteExecArgument("/x\"$`\\y"), "\"/x\\\\\"\\\\$\\\\`\\\\\\\\y\"");
  EXPECT_EQ(QuoteExecArgument("/100%/v"), "\"/100%%/v\"");
}

}  // namespace
}  // namespace vantrel::system
